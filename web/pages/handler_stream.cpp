#include "web/pages/handler_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "common/folders.h"
#include "device/codec.h"
#include "device/kernel_device.h"
#include "device/track_names.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "web/http/http_exception.h"
#include "web/http/http_request.h"
#include "web/http/http_tables.h"
#include "web/http/response.h"

namespace web {

using namespace device;

namespace {

using Clock = std::chrono::steady_clock;

// The debug log of the current request; every write is skipped when it could not be opened.
class StreamLog {
 public:
  StreamLog() {
    std::string folder;
    GetWorkFolder(folder, "skarnel");
    // Made anew, never through a link that someone put in its place.
    const int fd = platform::CreatePrivateFile(folder + "log.txt");
    if (fd >= 0 && (file_ = ::fdopen(fd, "wb")) == nullptr) ::close(fd);
  }
  ~StreamLog() {
    if (file_) std::fclose(file_);
  }
  StreamLog(const StreamLog&) = delete;
  StreamLog& operator=(const StreamLog&) = delete;

  // Text lines end in CR LF.
  void Write(std::string_view text) {
    if (!file_) return;
    for (char c : text) {
      if (c == '\n') std::fputc('\r', file_);
      std::fputc(c, file_);
    }
    std::fflush(file_);
  }

 private:
  std::FILE* file_ = nullptr;
};

// The temporary copies that requests read, by file path. The first request that needs an
// item has the device copy it; every request for the same item that comes while the copy
// exists reads that copy; the last of them to finish deletes it once it is complete (or
// failed). So no request ever loses its file to another one, however many read it. A copy
// that its last reader leaves unfinished is the sweeper's (see Sweep and RemoveUnread).
class SharedCopies {
 public:
  enum class State { Starting, Written, Failed };
  struct Use {
    std::uint64_t serial = 0;
    bool copy = false;    // this request asks the device for the copy
    bool exists = false;  // the file was there already
  };

  // Joins the copy at `path`, or registers a new one for this request to make. `size` is
  // the item's size: a file that holds it is a finished copy. A copy that nobody reads and
  // that stopped short counts as failed once the device says it is not copying.
  Use Join(const std::string& path, std::int64_t size, KernelDevice& device) {
    std::optional<bool> deviceCopying;
    for (;;) {
      std::unique_lock<std::mutex> lock(mu_);
      const platform::FileInfo info = platform::QueryFile(path);
      const bool complete = info.exists && !info.directory && static_cast<std::int64_t>(info.size) >= size;
      auto it = copies_.find(path);
      if (it != copies_.end() && it->second.state != State::Failed) {
        Entry& entry = it->second;
        const bool abandoned = entry.readers == 0 && entry.state == State::Written && !complete;
        if (abandoned && !deviceCopying) {
          lock.unlock();
          deviceCopying = AskDeviceCopying(device);
          continue;  // the registry may have changed meanwhile
        }
        if (!abandoned || *deviceCopying) {
          ++entry.readers;
          return {entry.serial, false, info.exists};
        }
        entry.state = State::Failed;  // stopped short, and nobody will finish it
      }
      if (it != copies_.end()) {
        // A failed copy: its readers keep their open files; a new copy gets a new file.
        copies_.erase(it);
        RemoveCopy(path);
      } else if (info.exists && !complete) {
        RemoveCopy(path);  // left by a copy that failed
      }
      Entry& entry = copies_[path];
      entry.serial = nextSerial_++;
      entry.readers = 1;
      entry.state = complete ? State::Written : State::Starting;
      return {entry.serial, !complete, complete};
    }
  }

  // The device has begun the copy (or refused it).
  void Started(const std::string& path, std::uint64_t serial, bool ok) {
    std::lock_guard<std::mutex> lock(mu_);
    if (Entry* entry = Find(path, serial)) entry->state = ok ? State::Written : State::Failed;
  }

  // The state once the device has been asked for the copy, waiting at most `waitMs`.
  State WaitStarted(const std::string& path, std::uint64_t serial, int waitMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(mu_);
        const Entry* entry = Find(path, serial);
        if (!entry) return State::Failed;
        if (entry->state != State::Starting) return entry->state;
      }
      if (Clock::now() >= deadline) return State::Failed;
      PumpHandlerMessages(5);
    }
  }

  // A request is done with the copy: `fd` is its open file (-1 when it never opened it).
  // True when the device is still writing a copy that nobody reads now: it stays for a
  // request that comes soon, and the caller hands it to the sweeper.
  bool Leave(const std::string& path, std::uint64_t serial, int fd, std::int64_t size, bool failed) {
    std::lock_guard<std::mutex> lock(mu_);
    Entry* entry = Find(path, serial);
    if (!entry) return false;  // replaced by a newer copy: this one's file is gone already
    if (failed) entry->state = State::Failed;
    if (--entry->readers > 0) return false;
    struct stat st {};
    const bool complete = fd >= 0 && fstat(fd, &st) == 0 && st.st_size >= size && IsSameFile(fd, path);
    if (entry->state == State::Failed || complete) {
      RemoveCopy(path);
      copies_.erase(path);
      return false;
    }
    return true;
  }

  // A copy that Leave left unread: deleted once its file holds the whole item. The size
  // of its file so far (-1 when there is none) while it stays unread and unfinished;
  // nullopt once that is over (deleted, read again, or replaced by a newer copy).
  std::optional<std::int64_t> Sweep(const std::string& path, std::uint64_t serial, std::int64_t size) {
    std::lock_guard<std::mutex> lock(mu_);
    const Entry* entry = Find(path, serial);
    if (!entry || entry->readers > 0) return std::nullopt;
    const platform::FileInfo info = platform::QueryFile(path);
    const std::int64_t written = info.exists && !info.directory ? static_cast<std::int64_t>(info.size) : -1;
    if (written < size) return written;
    RemoveCopy(path);
    copies_.erase(path);
    return std::nullopt;
  }

  // Deletes the copy unless a reader came back to it or a newer copy replaced it.
  void RemoveUnread(const std::string& path, std::uint64_t serial) {
    std::lock_guard<std::mutex> lock(mu_);
    const Entry* entry = Find(path, serial);
    if (!entry || entry->readers > 0) return;
    RemoveCopy(path);
    copies_.erase(path);
  }

 private:
  struct Entry {
    std::uint64_t serial = 0;
    int readers = 0;
    State state = State::Starting;
  };

  Entry* Find(const std::string& path, std::uint64_t serial) {
    const auto it = copies_.find(path);
    return it == copies_.end() || it->second.serial != serial ? nullptr : &it->second;
  }
  static bool AskDeviceCopying(KernelDevice& device) {
    try {
      return device.IsDownloadRunning() != 0;
    } catch (const std::exception&) {
      return false;  // no answer: copy again rather than wait for nothing
    }
  }
  static void RemoveCopy(const std::string& path) {
    platform::RemoveFile(path);
    platform::RemoveFile(path + ".tmp");
  }

  std::mutex mu_;
  std::map<std::string, Entry> copies_;
  std::uint64_t nextSerial_ = 1;
};

// One registry for the process, as the work folder is one. Every handler's sweeper holds
// it, so it outlives their threads whatever the order of destruction at exit.
std::shared_ptr<SharedCopies> Copies() {
  static const std::shared_ptr<SharedCopies> copies = std::make_shared<SharedCopies>();
  return copies;
}

struct Range {
  bool used = false;       // a readable, satisfiable range: answered 206
  std::int64_t start = 0;
  std::int64_t end = -1;   // last byte, inclusive
  bool unsatisfiable = false;
};

// "bytes=<start>-[<end>]" or "bytes=-<suffix>"; the first range of a list counts. A
// header that cannot be read is not used (the whole item is sent); an end past the item
// means its last byte.
Range ParseRange(std::string_view value, std::int64_t size) {
  Range range;
  value = platform::TrimView(value);
  const std::size_t eq = value.find('=');
  if (eq == std::string_view::npos || !platform::EqualsNoCase(platform::TrimView(value.substr(0, eq)), "bytes")) {
    return range;
  }
  std::string_view ranges = platform::TrimView(value.substr(eq + 1));
  ranges = platform::TrimView(ranges.substr(0, ranges.find(',')));
  const bool suffix = ranges.starts_with('-');
  if (suffix) ranges.remove_prefix(1);
  std::size_t digits = 0;
  std::int64_t number = 0;
  bool overflow = false;
  while (digits < ranges.size() && ranges[digits] >= '0' && ranges[digits] <= '9') {
    const int d = ranges[digits] - '0';
    if (number > (std::numeric_limits<std::int64_t>::max() - d) / 10) overflow = true;
    else number = number * 10 + d;
    ++digits;
  }
  if (digits == 0) return range;
  const std::string_view after = platform::TrimView(ranges.substr(digits));
  if (suffix ? !after.empty() : !(after.starts_with('-'))) return range;
  if (suffix) {
    range.unsatisfiable = number == 0;  // the last 0 bytes
    range.start = overflow || number >= size ? 0 : size - number;
    range.used = !range.unsatisfiable && size > 0;
    range.end = size - 1;
    return range;
  }
  if (overflow || number >= size) {
    range.unsatisfiable = number > 0;  // "bytes=0-" of an empty item is the whole (empty) item
    range.start = 0;
    return range;
  }
  // An optional last byte after the "-".
  std::string_view last = platform::TrimView(after.substr(1));
  std::int64_t end = size - 1;
  if (!last.empty()) {
    std::int64_t value = 0;
    for (char c : last) {
      if (c < '0' || c > '9') return Range{};  // unreadable: the whole item
      if (value <= (std::numeric_limits<std::int64_t>::max() - (c - '0')) / 10) value = value * 10 + (c - '0');
      else value = std::numeric_limits<std::int64_t>::max();
    }
    if (value < number) return Range{};  // not a range: the whole item
    end = std::min(value, size - 1);
  }
  range.used = true;
  range.start = number;
  range.end = end;
  return range;
}

}  // namespace

int GetCodecClass(int codec) {
  if (codec == 4) return 4;
  if ((codec >= 1 && codec <= 3) || (codec >= 5 && codec <= 11)) return 2;
  return 3;
}

// Watches the copies that the device still writes while nobody reads them: each is
// deleted once its file is whole, or once it has not grown for the stall limit (when a
// reader too would give it up); one that a reader came back to is its readers' again.
// It looks at files only, never asks the device: a thread of its own must not call a
// client that the manager may be shutting down.
class HandlerStream::CopySweeper {
 public:
  CopySweeper() : copies_(Copies()) { thread_ = std::thread([this] { Run(); }); }
  ~CopySweeper() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
    // Nobody reads them through this handler any more.
    for (const Watch& watch : watches_) copies_->RemoveUnread(watch.path, watch.serial);
  }
  CopySweeper(const CopySweeper&) = delete;
  CopySweeper& operator=(const CopySweeper&) = delete;

  SharedCopies& copies() { return *copies_; }

  // Takes the copy that Leave left unread; deletes it at once when it cannot watch it.
  void Add(const std::string& path, std::uint64_t serial, std::int64_t size, const CopyWaits& waits) noexcept {
    try {
      std::lock_guard<std::mutex> lock(mu_);
      for (const Watch& watch : watches_) {
        if (watch.path == path && watch.serial == serial) return;
      }
      watches_.push_back({path, serial, size, waits});
    } catch (const std::exception&) {
      copies_->RemoveUnread(path, serial);
      return;
    }
    wake_.notify_all();
  }

 private:
  struct Watch {
    std::string path;
    std::uint64_t serial;
    std::int64_t size;
    CopyWaits waits;
    std::int64_t lastSize = -2;  // none seen yet
    Clock::time_point lastGrowth{};
  };

  void Run() {
    std::unique_lock<std::mutex> lock(mu_);
    while (!stop_) {
      if (watches_.empty()) {
        wake_.wait(lock, [&] { return stop_ || !watches_.empty(); });
        continue;
      }
      int periodMs = watches_.front().waits.idleCheckMs;
      for (const Watch& watch : watches_) periodMs = std::min(periodMs, watch.waits.idleCheckMs);
      if (wake_.wait_for(lock, std::chrono::milliseconds(std::max(periodMs, 1)), [&] { return stop_; })) break;
      std::vector<Watch> looked;
      looked.swap(watches_);
      lock.unlock();
      std::vector<Watch> kept;
      for (Watch& watch : looked) {
        if (!Settled(watch)) kept.push_back(std::move(watch));
      }
      lock.lock();
      watches_.insert(watches_.end(), std::make_move_iterator(kept.begin()), std::make_move_iterator(kept.end()));
    }
  }

  // One look at the copy; true when it is no longer the sweeper's.
  bool Settled(Watch& watch) {
    const std::optional<std::int64_t> written = copies_->Sweep(watch.path, watch.serial, watch.size);
    if (!written) return true;
    const auto now = Clock::now();
    if (*written != watch.lastSize) {
      watch.lastSize = *written;
      watch.lastGrowth = now;
      return false;
    }
    if (now - watch.lastGrowth < std::chrono::milliseconds(watch.waits.stallMs)) return false;
    copies_->RemoveUnread(watch.path, watch.serial);
    return true;
  }

  const std::shared_ptr<SharedCopies> copies_;
  std::mutex mu_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::vector<Watch> watches_;
  std::thread thread_;  // last: it starts once the rest is there
};

HandlerStream::HandlerStream(HttpServer* server, KernelDevice* device)
    : Handler(server, "stream"), device_(device), sweeper_(std::make_unique<CopySweeper>()) {}

HandlerStream::~HandlerStream() = default;

void HandlerStream::Handle(const HttpRequest& request, Connection& connection) {
  const ItemUrl url = SplitItemUrl(std::string_view(request.url()).substr(GetPrefix().size()));
  std::string idText;
  for (char c : url.folder) {
    if (c != '/') idText.push_back(c);
  }
  const KernelId id = KernelId::FromItemId(ParseLeadingDigits(idText));
  const std::string extension = platform::ToLowerAscii(url.extension);
  StreamLog log;
  RequireConnectedItem(device_);
  KernelDevice& device = *device_;

  const bool track = GetCodecClass(GetCodecFromPath(url.name + extension)) == 2;
  std::int64_t size;
  std::string attachment;
  if (track) {
    if (device.TrackExists(id) == 0) ThrowNoSuchItem();
    size = std::max(0, device.GetTrackSize(id));
    std::string name;
    CleanPathName(attachment, GetTrackFileName(name, device, id));
  } else {
    size = DataFileSizeOrNotFound(device, id);
    attachment = device.GetDataItemName(id);
  }

  std::int64_t start = 0;
  std::int64_t end = -1;  // no range: the whole item
  if (const std::string* rangeHeader = request.Header("range")) {
    const std::string* agent = request.Header("user-agent");
    if (!agent || agent->find("RealMedia") == std::string::npos) {
      const Range range = ParseRange(*rangeHeader, size);
      if (range.unsatisfiable) {
        throw HttpException(416, "Content-Range: bytes */" + std::to_string(size) + "\r\nAccept-Ranges: bytes\r\n");
      }
      if (range.used) {
        start = range.start;
        end = range.end;
      }
    }
  }

  const int method = request.method();
  if (method != kHttpGet && method != kHttpHead && method != kHttpTrace) throw HttpException(500);
  const int contentCode = ContentCodeForExtension(extension);
  const int status = end >= 0 ? 206 : 200;
  if (method == kHttpTrace) {
    WriteTraceEcho(request, connection);
    return;
  }
  if (size == 0 && !track) RequireEmptyDataFileCopies(device, id, extension, waits_);
  if (method == kHttpHead || size == 0) {
    WriteResponseHeaders(connection, status, size, contentCode, attachment, start, end, RangeOffer::Bytes);
    log.Write("Header sent.");
    return;
  }

  std::string folder, refusal;
  // Another user's folder could hold a copy of their making, or a link for the device to
  // write through.
  if (!GetPrivateWorkFolder(folder, "skarnel", &refusal)) throw FileException(FileException::Cause::Generic, refusal);
  const std::string path = folder + std::to_string(id.GetItemId()) + SafeFileExtension(extension);
  log.Write("\n" + path + "\n");

  SharedCopies& copies = sweeper_->copies();
  const SharedCopies::Use use = copies.Join(path, size, device);
  // Leaves the copy on every way out, with the file still open so that its size counts;
  // one left unread while the device writes it goes to the sweeper.
  struct Reader {
    CopySweeper& sweeper;
    const std::string& path;
    std::uint64_t serial;
    std::int64_t size;
    const CopyWaits& waits;
    int fd = -1;
    bool copyFailed = false;
    ~Reader() {
      if (sweeper.copies().Leave(path, serial, fd, size, copyFailed)) sweeper.Add(path, serial, size, waits);
      if (fd >= 0) close(fd);
    }
  } reader{*sweeper_, path, use.serial, size, waits_};
  log.Write(use.exists ? "e\n" : "dne\n");
  if (use.copy) {
    int copied = 1;
    try {
      copied = RunDownload(
          [&] { return track ? device.DownloadTrack(id, path, 1) : device.DownloadDataFile(id, path); },
          waits_.retryMs);
    } catch (...) {
      copies.Started(path, use.serial, false);
      throw;
    }
    copies.Started(path, use.serial, copied == 0);
    if (copied != 0) throw FileException(FileException::Cause::Generic, "the device did not copy the item");
  } else if (copies.WaitStarted(path, use.serial, waits_.retryMs + waits_.openMs) != SharedCopies::State::Written) {
    throw FileException(FileException::Cause::Generic, "the device did not copy the item");
  }

  const auto openStart = Clock::now();
  reader.fd = OpenWhenPresent(path, waits_.openMs);
  log.Write("d\n" +
            std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - openStart).count()) +
            "\n");
  if (reader.fd < 0) {
    reader.copyFailed = true;
    throw FileException(FileException::Cause::Generic, "the device's copy did not appear");
  }

  WriteResponseHeaders(connection, status, size, contentCode, attachment, start, end, RangeOffer::Bytes);
  log.Write("Header sent.\nls: " + std::to_string(start) + "\n\n");
  const std::int64_t stop = end >= 0 ? end + 1 : size;  // never more than Content-Length
  const CopyState state = SendGrowingFile(reader.fd, connection, start, stop, device, waits_,
                                          [&](std::string_view text) { log.Write(text); });
  reader.copyFailed = state != CopyState::Complete;
  log.Write(state == CopyState::Complete ? "\ncomplete\n" : "\nfailed\n");
}

}  // namespace web
