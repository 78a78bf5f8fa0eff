#include "platform/shell/change_notify.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "platform/kernel/kernel.h"
#include "platform/text/little_endian.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr char kMagic[4] = {'S', 'H', 'C', 'N'};
constexpr auto kNoticeLife = std::chrono::seconds(60);
constexpr std::size_t kMaxNoticeBytes = 4u << 20;

std::string NoticeFolder() {
  const std::string runtime = RuntimeFolder();
  if (runtime.empty()) return {};
  const std::string folder = runtime + "/shell-notices";
  std::error_code ec;
  fs::create_directories(folder, ec);
  return folder;
}

struct Target {
  HWND window;
  UINT message;
  LONG events;
};

// The registrations, one line each ("window message events"), under an exclusive flock
// for the caller's whole read-modify-write.
class TargetFile {
 public:
  TargetFile() {
    const std::string folder = NoticeFolder();
    if (folder.empty()) return;
    path_ = folder + "/targets";
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~TargetFile() {
    if (fd_ >= 0) ::close(fd_);  // also drops the lock
  }
  TargetFile(const TargetFile&) = delete;
  TargetFile& operator=(const TargetFile&) = delete;

  bool ok() const { return fd_ >= 0; }

  std::vector<Target> Read() const {
    std::vector<Target> targets;
    std::string text;
    char buf[4096];
    ::lseek(fd_, 0, SEEK_SET);
    for (ssize_t n; (n = ::read(fd_, buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      unsigned window = 0, message = 0;
      long events = 0;
      if (std::sscanf(line.c_str(), "%u %u %ld", &window, &message, &events) == 3 && window != 0) {
        targets.push_back({window, message, static_cast<LONG>(events)});
      }
    }
    return targets;
  }

  bool Write(const std::vector<Target>& targets) const {
    std::string text;
    for (const Target& t : targets) {
      text += std::to_string(t.window) + " " + std::to_string(t.message) + " " + std::to_string(t.events) + "\n";
    }
    if (::ftruncate(fd_, 0) != 0) return false;
    ::lseek(fd_, 0, SEEK_SET);
    return ::write(fd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }

 private:
  std::string path_;
  int fd_ = -1;
};

std::string NoticePath(const std::string& folder, LPARAM number) {
  const auto n = static_cast<std::uint64_t>(number);
  return folder + "/" + std::to_string(n >> 32) + "-" + std::to_string(n & 0xFFFFFFFFu) + ".notice";
}

void RemoveOldNotices(const std::string& folder) {
  std::error_code ec;
  const auto now = fs::file_time_type::clock::now();
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (entry.path().extension() != ".notice") continue;
    const auto written = entry.last_write_time(ec);
    if (!ec && now - written > kNoticeLife) fs::remove(entry.path(), ec);
  }
}

bool TakeU32(const std::uint8_t*& p, std::size_t& left, std::uint32_t& v) {
  if (left < 4) return false;
  v = ReadLe32(p);
  p += 4;
  left -= 4;
  return true;
}

bool TakeList(const std::uint8_t*& p, std::size_t& left, std::vector<std::uint8_t>& list) {
  std::uint32_t size = 0;
  if (!TakeU32(p, left, size) || size > left) return false;
  if (size != 0 && ItemIdListSize(p, size) != size) return false;
  list.assign(p, p + size);
  p += size;
  left -= size;
  return true;
}

std::vector<std::uint8_t> ListBytes(LPCITEMIDLIST list) {
  const std::size_t size = ItemIdListSize(list);
  if (size == 0) return {};
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(list);
  return std::vector<std::uint8_t>(bytes, bytes + size);
}

}  // namespace

std::vector<std::uint8_t> SerializeChangeNotice(const ChangeNotice& notice) {
  std::vector<std::uint8_t> out(kMagic, kMagic + 4);
  AppendLe32(out, static_cast<std::uint32_t>(notice.event));
  AppendLe32(out, static_cast<std::uint32_t>(notice.item1.size()));
  out.insert(out.end(), notice.item1.begin(), notice.item1.end());
  AppendLe32(out, static_cast<std::uint32_t>(notice.item2.size()));
  out.insert(out.end(), notice.item2.begin(), notice.item2.end());
  return out;
}

bool ParseChangeNotice(const void* data, std::size_t size, ChangeNotice* out) {
  if (data == nullptr || out == nullptr || size < 4 || std::memcmp(data, kMagic, 4) != 0) return false;
  const auto* p = static_cast<const std::uint8_t*>(data) + 4;
  std::size_t left = size - 4;
  ChangeNotice notice;
  std::uint32_t event = 0;
  if (!TakeU32(p, left, event) || !TakeList(p, left, notice.item1) || !TakeList(p, left, notice.item2) ||
      left != 0) {
    return false;
  }
  notice.event = static_cast<LONG>(event);
  *out = std::move(notice);
  return true;
}

void SHChangeNotify(LONG event, UINT flags, LPCITEMIDLIST item1, LPCITEMIDLIST item2) {
  if ((flags & 0xFF) != SHCNF_IDLIST) return;  // only item-id lists are carried
  const std::string folder = NoticeFolder();
  if (folder.empty()) return;
  RemoveOldNotices(folder);

  std::vector<Target> targets;
  {
    TargetFile file;
    if (!file.ok()) return;
    std::vector<Target> kept;
    for (const Target& t : file.Read()) {
      if (!IsWindow(t.window)) continue;  // its process is gone
      kept.push_back(t);
      if ((t.events & event) != 0) targets.push_back(t);
    }
    file.Write(kept);
  }
  if (targets.empty()) return;

  // Each copy of this code in the process (a host's, a library's) counts from its own
  // random start, so two copies never name the same notice.
  static std::atomic<std::uint32_t> sequence{static_cast<std::uint32_t>(std::random_device{}())};
  const LPARAM number = static_cast<LPARAM>((static_cast<std::uint64_t>(GetCurrentProcessId()) << 32) |
                                            sequence.fetch_add(1));
  ChangeNotice notice;
  notice.event = event;
  notice.item1 = ListBytes(item1);
  notice.item2 = ListBytes(item2);
  const std::vector<std::uint8_t> bytes = SerializeChangeNotice(notice);
  const std::string path = NoticePath(folder, number);
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) return;
  }
  std::error_code ec;
  fs::rename(temp, path, ec);
  if (ec) return;
  for (const Target& t : targets) PostMessage(t.window, t.message, static_cast<WPARAM>(static_cast<std::uint32_t>(event)), number);
}

ULONG SHChangeNotifyRegister(HWND window, LONG events, UINT message) {
  if (!IsWindow(window)) return 0;
  TargetFile file;
  if (!file.ok()) return 0;
  std::vector<Target> targets;
  for (const Target& t : file.Read()) {
    if (t.window != window && IsWindow(t.window)) targets.push_back(t);
  }
  targets.push_back({window, message, events});
  return file.Write(targets) ? window : 0;
}

bool SHChangeNotifyDeregister(ULONG id) {
  TargetFile file;
  if (!file.ok()) return false;
  std::vector<Target> targets;
  bool found = false;
  for (const Target& t : file.Read()) {
    if (t.window == id) {
      found = true;
    } else {
      targets.push_back(t);
    }
  }
  return file.Write(targets) && found;
}

bool ReadChangeNotice(LPARAM number, ChangeNotice* out) {
  const std::string folder = NoticeFolder();
  if (folder.empty() || out == nullptr) return false;
  const std::string path = NoticePath(folder, number);
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  if (ec || size > kMaxNoticeBytes) return false;
  std::ifstream in(path, std::ios::binary);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) return false;
  return ParseChangeNotice(bytes.data(), bytes.size(), out);
}

}  // namespace platform
