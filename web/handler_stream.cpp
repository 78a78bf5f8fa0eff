#include "web/handler_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <limits>
#include <map>
#include <mutex>
#include <optional>

#include "common/folders.h"
#include "device/codec.h"
#include "device/kernel_device.h"
#include "device/track_names.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "web/http_exception.h"
#include "web/http_request.h"
#include "web/http_tables.h"
#include "web/response.h"

namespace {

using Clock = std::chrono::steady_clock;

// The debug log of the current request; every write is skipped when it could not be opened.
class StreamLog {
 public:
  StreamLog() {
    std::string folder;
    GetWorkFolder(folder, "skarnel");
    file_ = std::fopen(platform::ToPosixPath(folder + "log.txt").c_str(), "wb");
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

// Copies that a request has started and no request has yet seen end, by file path; a
// request that finds its item here reads along instead of copying again.
struct RunningCopies {
  std::mutex mu;
  std::map<std::string, std::pair<std::uint64_t, Clock::time_point>> byPath;  // serial, start
  std::uint64_t nextSerial = 1;
};
RunningCopies& Copies() {
  static RunningCopies copies;
  return copies;
}

enum class Plan { Reuse, ReadAlong, Copy };

// Decides under the lock whether this request copies, reads along or reuses, and
// registers the copy it is to make. `serial` names the copy read.
Plan PlanCopy(const std::string& path, std::int64_t size, int openMs, std::uint64_t& serial) {
  RunningCopies& copies = Copies();
  std::lock_guard<std::mutex> lock(copies.mu);
  const platform::FileInfo info = platform::QueryFile(path);
  const auto running = copies.byPath.find(path);
  if (running != copies.byPath.end()) {
    const bool young = Clock::now() - running->second.second < std::chrono::milliseconds(openMs);
    if (info.exists || young) {
      serial = running->second.first;
      return Plan::ReadAlong;
    }
    copies.byPath.erase(running);  // its file never came or is gone again
  }
  if (info.exists && !info.directory && static_cast<std::int64_t>(info.size) >= size) {
    serial = 0;
    return Plan::Reuse;
  }
  if (info.exists) platform::RemoveFile(path);  // left by a copy that failed
  serial = copies.nextSerial++;
  copies.byPath[path] = {serial, Clock::now()};
  return Plan::Copy;
}

// The copy of `serial` has ended (complete or failed): later requests plan anew.
void EndCopy(const std::string& path, std::uint64_t serial) {
  if (serial == 0) return;
  RunningCopies& copies = Copies();
  std::lock_guard<std::mutex> lock(copies.mu);
  const auto it = copies.byPath.find(path);
  if (it != copies.byPath.end() && it->second.first == serial) copies.byPath.erase(it);
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

HandlerStream::HandlerStream(HttpServer* server) : Handler(server, "stream"), device_(ServerDevice(server)) {}

HandlerStream::HandlerStream(HttpServer* server, KernelDevice* device)
    : Handler(server, "stream"), device_(device) {}

void HandlerStream::Handle(const HttpRequest& request, Connection& connection) {
  const ItemUrl url = SplitItemUrl(std::string_view(request.url()).substr(GetPrefix().size()));
  std::string idText;
  for (char c : url.folder) {
    if (c != '/') idText.push_back(c);
  }
  const KernelId id = KernelId::FromItemId(ParseLeadingDigits(idText));
  const std::string extension = platform::ToLowerAscii(url.extension);
  StreamLog log;
  if (!device_) throw HttpException(500);
  KernelDevice& device = *device_;

  const bool track = GetCodecClass(GetCodecFromPath(url.name + extension)) == 2;
  std::int64_t size;
  std::string attachment;
  if (track) {
    size = device.GetTrackSize(id);
    std::string name;
    CleanPathName(attachment, GetTrackFileName(name, device, id));
  } else {
    size = device.GetDataFileSize(id);
    attachment = device.GetDataItemName(id);
  }
  size = std::max<std::int64_t>(size, 0);

  std::int64_t start = 0;
  std::int64_t end = -1;  // no range: the whole item
  if (const std::string* rangeHeader = request.Header("range")) {
    const std::string* agent = request.Header("user-agent");
    if (!agent || agent->find("RealMedia") == std::string::npos) {
      const Range range = ParseRange(*rangeHeader, size);
      if (range.unsatisfiable) {
        throw HttpException(416, "Content-Range: bytes */" + std::to_string(size) + "\r\n");
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
  if (method == kHttpHead || size == 0) {
    WriteResponseHeaders(connection, status, size, contentCode, attachment, start, end);
    log.Write("Header sent.");
    return;
  }

  std::string folder;
  GetWorkFolder(folder, "skarnel");
  const std::string path = folder + std::to_string(id.GetItemId()) + SafeFileExtension(extension);
  log.Write("\n" + path + "\n");

  std::uint64_t serial = 0;
  const Plan plan = PlanCopy(path, size, waits_.openMs, serial);
  if (plan == Plan::Copy) {
    log.Write("dne\n");
    int copied;
    try {
      copied = RunDownload(
          [&] { return track ? device.DownloadTrack(id, path, 1) : device.DownloadDataFile(id, path); },
          waits_.retryMs);
    } catch (...) {
      EndCopy(path, serial);
      throw;
    }
    if (copied != 0) {
      EndCopy(path, serial);
      platform::RemoveFile(path);
      throw FileException(FileException::Cause::Generic, "the device did not copy the item");
    }
  } else {
    log.Write("e\n");
  }

  const auto openStart = Clock::now();
  const int fd = OpenWhenPresent(path, waits_.openMs);
  log.Write("d\n" +
            std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - openStart).count()) +
            "\n");
  if (fd < 0) {
    EndCopy(path, serial);
    throw FileException(FileException::Cause::Generic, "the device's copy did not appear");
  }
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};

  WriteResponseHeaders(connection, status, size, contentCode, attachment, start, end);
  log.Write("Header sent.\nls: " + std::to_string(start) + "\n\n");
  const std::int64_t stop = end >= 0 ? end + 1 : size;  // never more than Content-Length
  const CopyState state =
      SendGrowingFile(fd, connection, start, stop, device, waits_, [&](std::string_view text) { log.Write(text); });
  EndCopy(path, serial);
  // Sent completely, or a failed copy: either way the file goes (a failed one is never
  // served again). Only the file this request read: a newer copy may have replaced it.
  if (IsSameFile(fd, path)) {
    platform::RemoveFile(path);
    platform::RemoveFile(path + ".tmp");
  }
  log.Write(state == CopyState::Complete ? "\ncomplete\n" : "\nfailed\n");
}
