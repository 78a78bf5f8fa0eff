// Stand-in for the audiobook runtime's metadata entry. No such runtime ships for Linux:
// the entry answers "not available" unless a library exporting
// `AudibleGetFileInfoWindows` is found at the path given (tests provide one).
//
// The entry's contract: int AudibleGetFileInfoWindows(const char* path, unsigned char*
// info), answering 0 when it filled the information block (kAudibleInfoSize bytes, zeroed
// by the caller) for the file at the POSIX path.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

constexpr std::size_t kAudibleInfoSize = 3020;
constexpr const char* kAudibleInfoEntry = "AudibleGetFileInfoWindows";

enum class AudibleInfoResult {
  kFilled,        // the runtime filled the block
  kNoRuntime,     // no library at that path, or it could not be loaded
  kNoEntry,       // the library lacks the entry
  kFailed,        // the entry answered non-zero
};

// Loads the library at `runtimePath` (POSIX), calls the entry for `filePath` (POSIX) with
// `info`, unloads the library.
AudibleInfoResult CallAudibleFileInfo(const std::string& runtimePath, const std::string& filePath,
                                      unsigned char* info);

}  // namespace platform
