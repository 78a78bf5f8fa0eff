// Bounded random-access reading of an audio file (or of bytes in memory, for fuzzing and
// tests). Readers ask for bytes at an offset and get at most what the source holds, so a
// size read from the file can never make them read past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace transfer {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Copies up to `count` bytes from `offset` into `buffer`; answers how many it copied
  // (0 at or past the end, or on a read error).
  virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;
  // The file's path in Windows form; empty for bytes in memory.
  virtual const std::string& Path() const = 0;

  // Exactly `count` bytes at `offset`, or false.
  bool ReadExact(std::uint64_t offset, void* buffer, std::size_t count) {
    return ReadAt(offset, buffer, count) == count;
  }
};

// A file opened for reading (others may read and write it meanwhile).
class FileSource : public ByteSource {
 public:
  FileSource() = default;
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  // Opens a Windows-form path; false when it cannot be opened or is not a regular file.
  bool Open(std::string_view path);
  // Opens a POSIX path, for reading and writing with `update`.
  bool OpenPosix(const std::string& posixPath, bool update = false);
  bool IsOpen() const { return fd_ >= 0; }
  void Close();

  std::uint64_t Size() const override { return size_; }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;
  const std::string& Path() const override { return path_; }
  // The POSIX path that was opened.
  const std::string& PosixPath() const { return posixPath_; }
  int Descriptor() const { return fd_; }

 private:
  bool OpenDescriptor(bool update);

  int fd_ = -1;
  std::uint64_t size_ = 0;
  std::string path_;
  std::string posixPath_;
};

// Bytes held by someone else for the source's lifetime.
class MemorySource : public ByteSource {
 public:
  MemorySource(const void* data, std::size_t size, std::string path = {})
      : data_(static_cast<const unsigned char*>(data)), size_(size), path_(std::move(path)) {}

  std::uint64_t Size() const override { return size_; }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;
  const std::string& Path() const override { return path_; }

 private:
  const unsigned char* data_;
  std::size_t size_;
  std::string path_;
};

// Small reads of another source served from one block read ahead (walkers that read many
// headers of a few bytes each); reads of a block or more go through.
class BufferedSource : public ByteSource {
 public:
  explicit BufferedSource(ByteSource& source, std::size_t blockBytes = 1 << 16)
      : source_(source), blockBytes_(blockBytes) {}

  std::uint64_t Size() const override { return source_.Size(); }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;
  const std::string& Path() const override { return source_.Path(); }

 private:
  ByteSource& source_;
  std::size_t blockBytes_;
  std::unique_ptr<unsigned char[]> block_;
  std::uint64_t start_ = 0;
  std::size_t held_ = 0;
};

// A read position on a source, for libraries that read through stdio-like callbacks.
struct SourceCursor {
  explicit SourceCursor(ByteSource& s) : source(s) {}
  ByteSource& source;
  std::uint64_t position = 0;

  std::size_t Read(void* buffer, std::size_t count) {
    const std::size_t n = source.ReadAt(position, buffer, count);
    position += n;
    return n;
  }
  // fseek rules (0 from the start, 1 from here, 2 from the end); -1 for a position
  // before the start, which leaves the cursor where it was.
  int Seek(std::int64_t offset, int whence);
  bool AtEnd() const { return position >= source.Size(); }
};

// Big-endian and little-endian numbers from bytes.
inline std::uint32_t BigEndian32(const unsigned char* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}
inline std::uint16_t BigEndian16(const unsigned char* p) { return std::uint16_t((p[0] << 8) | p[1]); }
inline std::uint64_t BigEndian64(const unsigned char* p) {
  return (std::uint64_t(BigEndian32(p)) << 32) | BigEndian32(p + 4);
}
inline std::uint32_t LittleEndian32(const unsigned char* p) {
  return (std::uint32_t(p[3]) << 24) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
}
inline std::uint16_t LittleEndian16(const unsigned char* p) { return std::uint16_t((p[1] << 8) | p[0]); }

// A count for a 32-bit record field, pinned at its largest value instead of wrapping.
inline std::int32_t SaturateInt32(std::uint64_t v) {
  return v > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<std::int32_t>(v);
}

}  // namespace transfer
