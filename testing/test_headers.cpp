// Owner of the tests' precompiled header; it does nothing itself.
int main() { return 0; }
