#include "transfer/formats/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/paths/paths.h"

namespace transfer {

FileSource::~FileSource() { Close(); }

bool FileSource::Open(std::string_view path) {
  Close();
  path_ = std::string(path);
  posixPath_ = platform::ToPosixPath(path);
  return OpenDescriptor(false);
}

bool FileSource::OpenPosix(const std::string& posixPath, bool update) {
  Close();
  path_ = platform::FromPosixPath(posixPath);
  posixPath_ = posixPath;
  return OpenDescriptor(update);
}

bool FileSource::OpenDescriptor(bool update) {
  // A FIFO named like an audio file would block the open for good.
  platform::OpenFileError error = platform::OpenFileError::kNone;
  std::uint64_t size = 0;
  const int fd = platform::OpenRegularFile(posixPath_, error, &size, update ? O_RDWR : 0);
  if (fd < 0) return false;
  fd_ = fd;
  size_ = size;
  return true;
}

void FileSource::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
}

std::size_t FileSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
  if (fd_ < 0 || offset >= size_) return 0;
  count = static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - offset));
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd_, static_cast<char*>(buffer) + done, count - done,
                              static_cast<off_t>(offset + done));
    if (n <= 0) break;  // an error, or the file shrank meanwhile
    done += static_cast<std::size_t>(n);
  }
  return done;
}

std::size_t MemorySource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
  if (offset >= size_) return 0;
  count = static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - offset));
  if (count) std::memcpy(buffer, data_ + offset, count);
  return count;
}

std::size_t BufferedSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
  if (count == 0) return 0;
  if (count >= blockBytes_) return source_.ReadAt(offset, buffer, count);
  if (offset < start_ || offset + count > start_ + held_) {
    if (!block_) block_.reset(new unsigned char[blockBytes_]);
    held_ = source_.ReadAt(offset, block_.get(), blockBytes_);
    start_ = offset;
  }
  if (offset >= start_ + held_) return 0;
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, start_ + held_ - offset));
  std::memcpy(buffer, block_.get() + (offset - start_), n);
  return n;
}

int SourceCursor::Seek(std::int64_t offset, int whence) {
  std::int64_t base = 0;
  if (whence == SEEK_CUR) base = static_cast<std::int64_t>(position);
  else if (whence == SEEK_END) base = static_cast<std::int64_t>(source.Size());
  else if (whence != SEEK_SET) return -1;
  std::int64_t target = 0;
  if (__builtin_add_overflow(base, offset, &target) || target < 0) return -1;
  position = static_cast<std::uint64_t>(target);
  return 0;
}

}  // namespace transfer
