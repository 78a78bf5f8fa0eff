// A file's version block through GetFileVersionString: any bytes (an ELF file's section
// headers and names, or a file looked through for the marker), no crash, no read outside
// the file, a version text.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int fd = ::memfd_create("version", MFD_CLOEXEC);
  if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  // "65535.65535.65535" and a letter at the most; "1.0.0" without a block.
  const std::string text = GetFileVersionString(path, true);
  if (text.empty() || text.size() > 18) std::abort();
  return 0;
}
