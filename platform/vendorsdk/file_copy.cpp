#include "platform/vendorsdk/file_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace platform {
namespace {

constexpr std::size_t kRangeStep = 8u << 20;
constexpr std::size_t kBufferSize = 1u << 20;

int CopyByReading(int source, int target, std::uint64_t done,
                  const std::function<bool(std::uint64_t)>& step) {
  std::unique_ptr<char[]> buffer(new char[kBufferSize]);
  for (;;) {
    const ssize_t n = ::read(source, buffer.get(), kBufferSize);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
    if (const int e = WriteFully(target, buffer.get(), std::size_t(n))) return e;
    done += std::uint64_t(n);
    if (!step(done)) return ECANCELED;
  }
}

}  // namespace

int WriteFully(int fd, const char* data, std::size_t size) {
  std::size_t written = 0;
  while (written < size) {
    const ssize_t w = ::write(fd, data + written, size - written);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) return errno;
    if (w == 0) return EIO;
    written += std::size_t(w);
  }
  return 0;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool written = WriteFully(fd, bytes.data(), bytes.size()) == 0;
  const bool closed = ::close(fd) == 0;
  return written && closed;
}

int CopyFileData(int source, int target, const std::function<bool(std::uint64_t)>& step) {
  std::uint64_t done = 0;
  for (;;) {
    const ssize_t n = ::copy_file_range(source, nullptr, target, nullptr, kRangeStep, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      // Nothing copied yet and the kernel or file systems cannot do it: copy by hand.
      if (done == 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                        errno == EOPNOTSUPP || errno == EBADF)) {
        return CopyByReading(source, target, done, step);
      }
      return errno;
    }
    if (n == 0) return 0;
    done += std::uint64_t(n);
    if (!step(done)) return ECANCELED;
  }
}

}  // namespace platform
