#include "transfer/formats/audio_file_tags.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "device/codec.h"
#include "platform/paths/paths.h"
#include "transfer/formats/audio_format.h"
#include "transfer/timed_worker.h"

using namespace device;

namespace transfer {

namespace {

// Result of preparing a write: nothing to do, failed, or a written copy that waits to
// replace the file.
struct PreparedWrite {
  int result = 1;
  std::string target;  // the file to replace
  std::string copy;    // the written copy beside it; empty: nothing to replace

  void Discard() {
    if (!copy.empty()) ::unlink(copy.c_str());
    copy.clear();
  }
  // Puts the copy in place of the file; answers the write's result.
  int Commit() {
    if (copy.empty()) return result;
    const bool moved = ::rename(copy.c_str(), target.c_str()) == 0;
    if (!moved) Discard();
    copy.clear();
    return moved ? 1 : 0;
  }
};

bool CopyFileContents(const std::string& from, int toFd) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  bool ok = true;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      ok = false;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(toFd, buffer + done, static_cast<std::size_t>(n - done));
      if (w <= 0) {
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  ::close(in);
  return ok;
}

PreparedWrite PrepareWrite(const TrackRecord& record) {
  PreparedWrite w;
  const std::string path = record.path.Str();
  const AudioFormat* format = FindAudioFormat(GetAudioFileCodec(path));
  if (!format || !format->writer) return w;  // nothing is written for this format
  w.result = 0;
  // Write beside the real file, so a link keeps pointing at the changed file.
  std::error_code ec;
  const std::filesystem::path target = std::filesystem::canonical(platform::ToPosixPath(path), ec);
  if (ec) return w;
  w.target = target.string();
  struct stat st {};
  // A read-only file (no write permission for its owner, whoever we are) stays unchanged.
  if (::stat(w.target.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !(st.st_mode & S_IWUSR) ||
      ::access(w.target.c_str(), W_OK) != 0) {
    return w;
  }
  std::string copy = (target.parent_path() / ("." + target.filename().string() + ".tagwrite-XXXXXX")).string();
  const int fd = ::mkstemp(copy.data());
  if (fd < 0) return w;
  w.copy = copy;
  const bool copied = CopyFileContents(w.target, fd) && ::fchmod(fd, st.st_mode & 07777) == 0;
  ::close(fd);
  if (!copied || format->writer->Write(w.copy, record) != 1) {
    w.Discard();
    return w;
  }
  // The copy is on disk before it replaces the file.
  const int sync = ::open(w.copy.c_str(), O_RDONLY | O_CLOEXEC);
  const bool synced = sync >= 0 && ::fsync(sync) == 0;
  if (sync >= 0) ::close(sync);
  if (!synced) {
    w.Discard();
    return w;
  }
  w.result = 1;
  return w;
}

// The one worker of timed tag writes in this process. Never destroyed: a write that hangs
// must not hold up the end of the process.
TimedWorker& TagWriteWorker() {
  static TimedWorker* worker = new TimedWorker();
  return *worker;
}

// The worker's body: writes a copy, then replaces the file only while its caller waits.
void TagWriteThreadProc(std::shared_ptr<const TrackRecord> record, TimedCall& call) {
  PreparedWrite w = PrepareWrite(*record);
  if (!call.Complete([&] { return w.Commit(); })) w.Discard();
}

}  // namespace

int GetAudioFileCodec(std::string_view path) { return GetCodecFromPath(path); }

int ReadAudioFileTags(std::string_view path, TrackRecord& record) {
  record.path.Set(path);
  FileSource source;
  if (!source.Open(path)) return 0;
  // The record's field holds 32 bits: a larger file reads as the largest size it holds,
  // never as a wrapped (negative or small) one.
  record.fileSize = static_cast<std::int32_t>(
      std::min<std::uint64_t>(source.Size(), std::numeric_limits<std::int32_t>::max()));
  const int codec = GetAudioFileCodec(path);
  record.codec = static_cast<std::uint8_t>(codec);
  record.year = 0;
  record.trackNumber = 0;
  record.trackCount = 0;
  record.length = 0;
  record.bitrate = 0;
  record.sampleRate = 44100;
  record.extraNumber1 = 0;
  record.extraNumber2 = 0;
  record.extraNumber3 = 0;
  record.playCount = 0;
  record.discNumber = 0;
  record.discCount = 0;
  record.rating = 0;
  record.tempo = 0;
  const AudioFormat* format = FindAudioFormat(codec);
  if (!format) return 0;
  return format->reader->Read(source, record);
}

int WriteAudioFileTags(const TrackRecord& record) {
  PreparedWrite w = PrepareWrite(record);
  return w.Commit();
}

int WriteAudioFileTagsTimed(const TrackRecord& record, std::chrono::milliseconds limit) {
  // The worker keeps its own copy: it may outlive this call.
  auto parked = std::make_shared<TrackRecord>();
  TrackRecord::Copy(*parked, record);
  return TagWriteWorker().Run(limit, [parked](TimedCall& call) { TagWriteThreadProc(parked, call); });
}

}  // namespace transfer
