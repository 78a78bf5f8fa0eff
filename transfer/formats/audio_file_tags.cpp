#include "transfer/formats/audio_file_tags.h"

#include <fcntl.h>
#include <linux/falloc.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "device/codec.h"
#include "platform/paths/paths.h"
#include "transfer/formats/audio_format.h"
#include "transfer/formats/mp3/mp3_reader.h"
#include "transfer/timed_worker.h"

using namespace device;

namespace transfer {

namespace {

constexpr unsigned char kAsfHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

// Room left in a head that grows, for later edits to be made in place.
constexpr std::uint64_t kHeadRoom = 2048;
static_assert(kHeadRoom >= kHeadRoomMinimum, "every writer can fill this room");
constexpr const char* kCopyMark = ".tagwrite-";

bool WriteAll(int fd, const std::string& bytes, std::uint64_t at) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(at + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string ReadRange(ByteSource& source, std::uint64_t at, std::uint64_t count) {
  std::string bytes(static_cast<std::size_t>(count), '\0');
  bytes.resize(source.ReadAt(at, bytes.data(), bytes.size()));
  return bytes;
}

// Whether the file system can insert room at the start of a file (ext4, XFS ...): it
// refuses a request of one byte as misaligned, where others refuse the kind of request.
bool CanInsertRange(int fd) { return ::fallocate(fd, FALLOC_FL_INSERT_RANGE, 0, 1) != 0 && errno == EINVAL; }

std::uint64_t AllocationUnit(int fd) {
  std::uint64_t unit = 4096;
  struct statfs fs {};
  if (::fstatfs(fd, &fs) == 0 && fs.f_bsize > 0) unit = static_cast<std::uint64_t>(fs.f_bsize);
  struct stat st {};
  if (::fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_blksize) > unit)
    unit = static_cast<std::uint64_t>(st.st_blksize);
  return unit;
}

// The copies killed writes left in `folder`: ".<name>.tagwrite-<pid>-..." whose process
// is gone (or is this one: it writes one file at a time), and copies of the older form
// without a process id.
bool Alphanumeric(const std::string& t) {
  return !t.empty() && std::all_of(t.begin(), t.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

bool ProcessNumber(const std::string& t) {
  return !t.empty() && t.size() < 10 && t.find_first_not_of("0123456789") == std::string::npos;
}

void RemoveStaleCopies(const std::filesystem::path& folder) {
  // Once per folder and process: a folder of thousands of files is not listed per file.
  static std::mutex mutex;
  static std::set<std::string> cleaned;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!cleaned.insert(folder.string()).second) return;
  }
  const std::string mark = kCopyMark;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    const std::size_t at = entry.rfind(mark);
    if (entry.empty() || entry[0] != '.' || at == std::string::npos) continue;
    const std::string rest = entry.substr(at + mark.size());
    const std::size_t dash = rest.find('-');
    bool stale = false;
    if (dash == std::string::npos) {
      stale = rest.size() == 6 && Alphanumeric(rest);  // the older form: mkstemp's six characters
    } else if (ProcessNumber(rest.substr(0, dash)) && Alphanumeric(rest.substr(dash + 1))) {
      const pid_t pid = static_cast<pid_t>(std::stol(rest.substr(0, dash)));
      stale = pid == ::getpid() || (::kill(pid, 0) != 0 && errno == ESRCH);
    }
    if (stale) ::unlink(it->path().c_str());
  }
}

// A write prepared by the worker; Commit makes it while the caller waits, and is short.
struct PreparedWrite {
  enum class Kind { kNothing, kFailed, kInPlace, kReplace };
  Kind kind = Kind::kNothing;
  FileSource file;  // the file, open for reading and writing (in place)
  std::string target;
  TagEdit edit;
  std::string head;  // written at the start, when `writeHead`
  bool writeHead = false;
  std::uint64_t insertBytes = 0;  // room inserted at the start first
  std::string oldHead, oldTail;   // what a failed write puts back
  int copyFd = -1;                // kReplace: the written copy
  std::string copyPath;           // its name; empty while it has none

  ~PreparedWrite() { Discard(); }

  void Discard() {
    if (copyFd >= 0) ::close(copyFd);
    copyFd = -1;
    if (!copyPath.empty()) ::unlink(copyPath.c_str());
    copyPath.clear();
  }

  int Commit() {
    switch (kind) {
      case Kind::kNothing:
        return 1;
      case Kind::kFailed:
        return 0;
      case Kind::kInPlace:
        return CommitInPlace() ? 1 : 0;
      case Kind::kReplace:
        return CommitReplace() ? 1 : 0;
    }
    return 0;
  }

  bool CommitInPlace() {
    const int fd = file.Descriptor();
    const std::uint64_t size = file.Size();
    bool inserted = false, headTried = false, tailTried = false;
    bool ok = true;
    if (insertBytes != 0) {
      ok = ::fallocate(fd, FALLOC_FL_INSERT_RANGE, 0, static_cast<off_t>(insertBytes)) == 0;
      inserted = ok;
    }
    if (ok && writeHead) {
      headTried = true;
      ok = WriteAll(fd, head, 0);
    }
    const std::uint64_t tailAt = size - edit.tailBytes + insertBytes;
    if (ok && edit.changeTail) {
      tailTried = true;
      ok = WriteAll(fd, edit.tail, tailAt) &&
           (edit.tail.size() >= edit.tailBytes || ::ftruncate(fd, static_cast<off_t>(tailAt + edit.tail.size())) == 0);
    }
    if (ok) ok = ::fdatasync(fd) == 0;
    if (ok) return true;
    // Put back what was changed, latest first.
    if (tailTried) {
      if (::ftruncate(fd, static_cast<off_t>(tailAt)) == 0) WriteAll(fd, oldTail, tailAt);
    }
    if (headTried) WriteAll(fd, oldHead, insertBytes);
    if (inserted) ::fallocate(fd, FALLOC_FL_COLLAPSE_RANGE, 0, static_cast<off_t>(insertBytes));
    return false;
  }

  bool CommitReplace() {
    if (copyPath.empty()) {
      // The copy has no name until now, so a write killed before leaves nothing behind.
      const std::filesystem::path t(target);
      const std::string name = (t.parent_path() / ("." + t.filename().string() + kCopyMark +
                                                   std::to_string(::getpid()) + "-" + std::to_string(copyFd)))
                                   .string();
      const std::string self = "/proc/self/fd/" + std::to_string(copyFd);
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) return false;
      copyPath = name;
    }
    if (::rename(copyPath.c_str(), target.c_str()) != 0) return false;
    copyPath.clear();
    return true;
  }
};

// Writes the file anew beside itself: the new head, the audio, the new tail.
bool PrepareCopy(PreparedWrite& w, const struct stat& st) {
  const std::filesystem::path t(w.target);
  const std::string folder = t.parent_path().string();
  w.copyFd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (w.copyFd < 0) {
    // A file system without unnamed files: a named copy, which a later write removes
    // when this process dies before it is done.
    std::string name =
        (t.parent_path() / ("." + t.filename().string() + kCopyMark + std::to_string(::getpid()) + "-XXXXXX")).string();
    w.copyFd = ::mkostemp(name.data(), O_CLOEXEC);
    if (w.copyFd < 0) return false;
    w.copyPath = name;
  }
  const TagEdit& e = w.edit;
  std::string head;
  if (e.renderHead) {
    const std::optional<std::string> h = e.renderHead(e.headMinimum + kHeadRoom);
    if (!h) return false;
    head = *h;
  } else {
    head = ReadRange(w.file, 0, e.headBytes);
  }
  const std::uint64_t size = w.file.Size();
  const std::uint64_t audioEnd = e.changeTail ? size - e.tailBytes : size;
  if (!WriteAll(w.copyFd, head, 0)) return false;
  std::uint64_t out = head.size();
  std::vector<char> piece(1 << 20);
  for (std::uint64_t at = e.headBytes; at < audioEnd;) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), audioEnd - at));
    const std::size_t n = w.file.ReadAt(at, piece.data(), want);
    if (n != want) return false;
    if (!WriteAll(w.copyFd, std::string(piece.data(), n), out)) return false;
    at += n;
    out += n;
  }
  if (e.changeTail && !WriteAll(w.copyFd, e.tail, out)) return false;
  return ::fchmod(w.copyFd, st.st_mode & 07777) == 0 && ::fsync(w.copyFd) == 0;
}

void PrepareWrite(const TrackRecord& record, PreparedWrite& w) {
  const std::string path = record.path.Str();
  const AudioFormat* format = FindAudioFormat(GetAudioFileCodec(path));
  if (!format || !format->writer) return;  // nothing is written for this format
  w.kind = PreparedWrite::Kind::kFailed;
  // Written where the real file is, so a link keeps pointing at the changed file.
  std::error_code ec;
  const std::filesystem::path target = std::filesystem::canonical(platform::ToPosixPath(path), ec);
  if (ec) return;
  w.target = target.string();
  struct stat st {};
  // A read-only file (no write permission for its owner, whoever we are) stays unchanged.
  if (::stat(w.target.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !(st.st_mode & S_IWUSR)) return;
  if (!w.file.OpenPosix(w.target, true)) return;
  RemoveStaleCopies(target.parent_path());
  TagEdit& e = w.edit;
  if (!format->writer->Plan(w.file, record, e)) return;
  const std::uint64_t size = w.file.Size();
  if (e.headBytes > size || (e.changeTail && e.tailBytes > size - e.headBytes)) return;
  w.oldHead = ReadRange(w.file, 0, e.headBytes);
  if (e.changeTail) w.oldTail = ReadRange(w.file, size - e.tailBytes, e.tailBytes);

  if (e.renderHead) {
    // The new head in the old one's room, else in room made at the start of the file.
    if (std::optional<std::string> h = e.renderHead(e.headBytes)) {
      w.head = std::move(*h);
    } else if (CanInsertRange(w.file.Descriptor())) {
      const std::uint64_t unit = AllocationUnit(w.file.Descriptor());
      const std::uint64_t need = e.headMinimum + kHeadRoom - std::min(e.headBytes, e.headMinimum + kHeadRoom);
      w.insertBytes = (need + unit - 1) / unit * unit;
      h = e.renderHead(e.headBytes + w.insertBytes);
      if (!h) return;
      w.head = std::move(*h);
    } else {
      if (!PrepareCopy(w, st)) {
        w.Discard();
        return;
      }
      w.kind = PreparedWrite::Kind::kReplace;
      return;
    }
    w.writeHead = true;
  }
  w.kind = PreparedWrite::Kind::kInPlace;
}

// The one worker of timed tag writes in this process. Never destroyed: a write that hangs
// must not hold up the end of the process.
TimedWorker& TagWriteWorker() {
  static TimedWorker* worker = new TimedWorker();
  return *worker;
}

// The worker's body: writes a copy, then replaces the file only while its caller waits.
void TagWriteThreadProc(std::shared_ptr<const TrackRecord> record, TimedCall& call) {
  PreparedWrite w;
  PrepareWrite(*record, w);
  call.Complete([&] { return w.Commit(); });
}

// The formats whose start says what they are: 0 for anything else (an MP3 without an
// ID3v2 tag included, which its reader recognises by its frames).
int CodecFromContent(ByteSource& source) {
  unsigned char h[40] = {};
  const std::size_t n = source.ReadAt(0, h, sizeof h);
  if (n >= 12 && std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "WAVE", 4) == 0) return kCodecWav;
  if (n >= 35 && std::memcmp(h, "OggS", 4) == 0 && std::memcmp(h + 28, "\x01vorbis", 7) == 0) return kCodecOgg;
  if (n >= 16 && std::memcmp(h, kAsfHeaderGuid, 16) == 0) return kCodecWma;
  if (n >= 8 && std::memcmp(h + 4, "ftyp", 4) == 0) return kCodecM4a;
  if (n >= 4 && std::memcmp(h, "fLaC", 4) == 0) return kCodecFlac;
  // FLAC after an ID3v2 tag; only then is the tag measured (a read less for the rest).
  unsigned char f[4];
  if (n >= 10 && std::memcmp(h, "ID3", 3) == 0) {
    const std::uint64_t tag = Id3v2TagBytes(source);
    if (tag && source.ReadExact(tag, f, 4) && std::memcmp(f, "fLaC", 4) == 0) return kCodecFlac;
    if (tag) return kCodecMp3;
  }
  return 0;
}

// The MP4 kinds share one reader, which takes its codec from the name.
bool SameFamily(int content, int codec) {
  const auto mp4 = [](int c) { return c == kCodecM4a || c == kCodecM4p || c == kCodecM4b || c == kCodecMp4; };
  return content == codec || (mp4(content) && mp4(codec));
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
  // The content decides the reader where it is plainly of another format (a FLAC file
  // named ".mp3"); the codec stays the name's.
  // The start is read once for that and for the reader's first headers.
  BufferedSource start(source, 4096);
  const int content = CodecFromContent(start);
  const AudioFormat* format = FindAudioFormat(content != 0 && !SameFamily(content, codec) ? content : codec);
  if (!format) return 0;
  return format->reader->Read(start, record);
}

int WriteAudioFileTags(const TrackRecord& record) {
  PreparedWrite w;
  PrepareWrite(record, w);
  return w.Commit();
}

int WriteAudioFileTagsTimed(const TrackRecord& record, std::chrono::milliseconds limit) {
  // The worker keeps its own copy: it may outlive this call.
  auto parked = std::make_shared<TrackRecord>();
  TrackRecord::Copy(*parked, record);
  return TagWriteWorker().Run(limit, [parked](TimedCall& call) { TagWriteThreadProc(parked, call); });
}

}  // namespace transfer
