// A stand-in audiobook runtime for tests: answers for any file whose name does not end in
// "bad.aa", with fixed facts, the file's name as the title and a long description.
#include <cstring>
#include <string>

namespace {

void PutLittleEndian32(unsigned char* p, unsigned v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int AudibleGetFileInfoWindows(const char* path,
                                                                                unsigned char* info) {
  const std::string p(path);
  if (p.size() >= 6 && p.compare(p.size() - 6, 6, "bad.aa") == 0) return 5;
  PutLittleEndian32(info + 0, 32000);    // bits per second
  PutLittleEndian32(info + 4, 22050);    // sample rate
  PutLittleEndian32(info + 16, 3723500); // milliseconds
  const std::string name = p.substr(p.find_last_of('/') + 1);
  std::memcpy(info + 572, name.data(), name.size() < 255 ? name.size() : 255);
  std::memcpy(info + 828, "An Author", 9);
  std::memset(info + 956, 'd', 300);    // a description longer than the comment takes
  return 0;
}
