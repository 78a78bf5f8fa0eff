#include "platform/shell/desktop_queries.h"

#include <sys/stat.h>
#include <time.h>

#include <map>
#include <mutex>
#include <utility>

#include "platform/shell/system_desktop.h"

namespace platform {
namespace {

class SystemDesktop final : public DesktopQueries {
 public:
  std::vector<DesktopApplication> ListApplicationsFor(const std::vector<std::string>& types) override {
    return system_desktop::ListApplicationsFor(types);
  }
  std::optional<DesktopApplication> FindApplication(std::string_view id) override {
    return system_desktop::FindApplication(id);
  }
  std::string DefaultApplicationId(std::string_view type) override { return system_desktop::DefaultApplicationId(type); }
  std::string SystemDefaultApplicationId(std::string_view type) override {
    return system_desktop::SystemDefaultApplicationId(type);
  }
  std::string UserDefaultApplicationId(std::string_view type) override {
    return system_desktop::UserDefaultApplicationId(type);
  }
  std::optional<FileVersionInfo> GetFileVersionInfo(std::string_view posixPath) override {
    return system_desktop::GetFileVersionInfo(posixPath);
  }
  bool SetDefaultApplication(std::string_view type, std::string_view id) override {
    return system_desktop::SetDefaultApplication(type, id);
  }
  bool ResetDefaultApplication(std::string_view type) override { return system_desktop::ResetDefaultApplication(type); }
  Registration RegisterApplication(const std::string& program, const std::vector<std::string>& types,
                                   std::string& id) override {
    return system_desktop::RegisterApplication(program, types, id);
  }
};

struct Answers {
  std::map<std::vector<std::string>, std::vector<DesktopApplication>> lists;
  std::map<std::string, std::optional<DesktopApplication>, std::less<>> entries;
  std::map<std::string, std::string, std::less<>> defaults, systemDefaults, choices;
  std::map<std::string, std::optional<FileVersionInfo>, std::less<>> versions;
};

// An answer kept for the process, with the state of what it was read from.
template <class T>
struct Kept {
  std::string stamp;
  T answer;
};

struct Lasting {
  std::map<std::string, Kept<std::string>, std::less<>> defaults;
  std::map<std::string, Kept<std::optional<DesktopApplication>>, std::less<>> entries;
};

struct Seam {
  std::mutex mutex;
  DesktopQueries* installed = nullptr;
  int caches = 0;
  Answers answers;
  Lasting lasting;
};

Seam& TheSeam() {
  static auto* seam = new Seam;
  return *seam;
}

DesktopQueries& Current() {
  static auto* system = new SystemDesktop;
  Seam& s = TheSeam();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.installed != nullptr ? *s.installed : *system;
}

// The kept answer to a question, or the desktop's, kept while a cache lives. The
// question is asked outside the lock: it may take a while.
template <class Map, class Key, class Ask>
typename Map::mapped_type Answer(Map Answers::*map, const Key& key, Ask ask) {
  Seam& s = TheSeam();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.caches > 0) {
      const Map& kept = s.answers.*map;
      if (const auto it = kept.find(key); it != kept.end()) return it->second;
    }
  }
  typename Map::mapped_type answer = ask(Current());
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.caches > 0) (s.answers.*map).emplace(typename Map::key_type(key), answer);
  return answer;
}

// What the files say now: each one's device, inode, size and modification time, or that
// it is missing. Empty when one was changed so lately that a second change in the same
// tick of its clock would leave the same time (the answer is not kept then).
std::string Stamp(const std::vector<std::string>& files) {
  constexpr long long kSettleNs = 2'000'000'000LL;  // also covers file systems of whole seconds
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const long long nowNs = static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec;
  std::string stamp;
  for (const std::string& f : files) {
    stamp += f;
    struct stat st {};
    if (::stat(f.c_str(), &st) != 0) {
      stamp += "|-\n";
      continue;
    }
    const long long mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1'000'000'000LL + st.st_mtim.tv_nsec;
    if (mtimeNs > nowNs - kSettleNs) return {};
    stamp += "|" + std::to_string(st.st_dev) + "|" + std::to_string(st.st_ino) + "|" + std::to_string(st.st_size) +
             "|" + std::to_string(mtimeNs) + "\n";
  }
  return stamp;
}

// The kept answer while its files are unchanged, else the desktop's (kept).
template <class T, class Ask>
T LastingAnswer(std::map<std::string, Kept<T>, std::less<>> Lasting::*map, std::string_view key,
                const std::vector<std::string>& files, DesktopQueries& q, Ask ask) {
  std::string stamp = Stamp(files);
  if (!stamp.empty()) stamp += "|" + q.Revision();
  Seam& s = TheSeam();
  if (!stamp.empty()) {
    std::lock_guard<std::mutex> lock(s.mutex);
    const auto& kept = s.lasting.*map;
    if (const auto it = kept.find(key); it != kept.end() && it->second.stamp == stamp) return it->second.answer;
  }
  T answer = ask();
  if (!stamp.empty()) {
    std::lock_guard<std::mutex> lock(s.mutex);
    (s.lasting.*map)[std::string(key)] = Kept<T>{stamp, answer};
  }
  return answer;
}

void Forget() {
  Seam& s = TheSeam();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.answers = Answers();
  s.lasting = Lasting();
}

}  // namespace

DesktopQueries* SetDesktopQueries(DesktopQueries* queries) {
  Seam& s = TheSeam();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.answers = Answers();
  s.lasting = Lasting();
  return std::exchange(s.installed, queries);
}

DesktopQueryCache::DesktopQueryCache() {
  Seam& s = TheSeam();
  std::lock_guard<std::mutex> lock(s.mutex);
  ++s.caches;
}

DesktopQueryCache::~DesktopQueryCache() {
  Seam& s = TheSeam();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (--s.caches == 0) s.answers = Answers();
}

std::vector<DesktopApplication> ListApplicationsFor(const std::vector<std::string>& types) {
  return Answer(&Answers::lists, types, [&](DesktopQueries& q) { return q.ListApplicationsFor(types); });
}

std::optional<DesktopApplication> FindApplication(std::string_view id) {
  return Answer(&Answers::entries, id, [&](DesktopQueries& q) {
    return LastingAnswer(&Lasting::entries, id, system_desktop::EntrySources(id), q,
                         [&] { return q.FindApplication(id); });
  });
}

std::string DefaultApplicationId(std::string_view type) {
  return Answer(&Answers::defaults, type, [&](DesktopQueries& q) {
    return LastingAnswer(&Lasting::defaults, type, system_desktop::DefaultApplicationSources(), q,
                         [&] { return q.DefaultApplicationId(type); });
  });
}

std::string SystemDefaultApplicationId(std::string_view type) {
  return Answer(&Answers::systemDefaults, type, [&](DesktopQueries& q) { return q.SystemDefaultApplicationId(type); });
}

std::string UserDefaultApplicationId(std::string_view type) {
  return Answer(&Answers::choices, type, [&](DesktopQueries& q) { return q.UserDefaultApplicationId(type); });
}

std::optional<FileVersionInfo> GetFileVersionInfo(std::string_view posixPath) {
  return Answer(&Answers::versions, posixPath, [&](DesktopQueries& q) { return q.GetFileVersionInfo(posixPath); });
}

bool SetDefaultApplication(std::string_view type, std::string_view id) {
  const bool done = Current().SetDefaultApplication(type, id);
  Forget();
  return done;
}

bool ResetDefaultApplication(std::string_view type) {
  const bool done = Current().ResetDefaultApplication(type);
  Forget();
  return done;
}

Registration RegisterApplication(const std::string& program, const std::vector<std::string>& types, std::string& id) {
  const Registration done = Current().RegisterApplication(program, types, id);
  Forget();
  return done;
}

}  // namespace platform
