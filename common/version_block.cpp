// The version block every program and library of ours carries (see version.h).
#include <cstdint>

#ifndef TOVARIN_VERSION_WORDS
#define TOVARIN_VERSION_WORDS 1, 0, 0, 0
#endif

#define TOVARIN_LE16(x) static_cast<char>((x) & 0xFF), static_cast<char>(((x) >> 8) & 0xFF)
#define TOVARIN_WORDS_BYTES(a, b, c, d) TOVARIN_LE16(a), TOVARIN_LE16(b), TOVARIN_LE16(c), TOVARIN_LE16(d)
#define TOVARIN_EXPAND(...) TOVARIN_WORDS_BYTES(__VA_ARGS__)

// Marker then four little-endian u16 words: major, minor, build, revision.
extern "C" __attribute__((used, visibility("hidden"), section(".tovarin_version")))
const char tovarin_version_block[24] = {
    'T', 'O', 'V', 'V', 'E', 'R', 'S', 'I', 'O', 'N', 'B', 'L', 'O', 'C', 'K', '1',
    TOVARIN_EXPAND(TOVARIN_VERSION_WORDS)};
