// Temporary folders for tests and benchmarks: always under $TMPDIR (else /tmp), never at a
// fixed path, so parallel runs and users never meet and a run's $TMPDIR holds all it wrote.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace platform::testing {

// A new folder "<prefix>.XXXXXX" under the temporary folder (POSIX path); empty when it
// could not be made.
inline std::string MakeTempFolder(const std::string& prefix) {
  std::string tmpl = (std::filesystem::temp_directory_path() / (prefix + ".XXXXXX")).string();
  if (::mkdtemp(tmpl.data()) == nullptr) return {};
  return tmpl;
}

}  // namespace platform::testing
