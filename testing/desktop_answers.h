// Test support: the desktop's answers about its applications from tables, in place of the
// desktop (xdg-mime, desktop entries, the package database) while one lives; the changes
// a test makes through the seam land in the tables, and each question is counted (also
// those asked from other threads, which the test may hold back).
#pragma once

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/shell/desktop_queries.h"

namespace platform::testing {

class DesktopAnswers final : public platform::DesktopQueries {
 public:
  struct Application {
    platform::DesktopApplication entry;
    std::vector<std::string> types;
  };

  DesktopAnswers() : previous_(platform::SetDesktopQueries(this)) {}
  ~DesktopAnswers() override { platform::SetDesktopQueries(previous_); }
  DesktopAnswers(const DesktopAnswers&) = delete;
  DesktopAnswers& operator=(const DesktopAnswers&) = delete;

  void AddApplication(const std::string& id, const std::string& name, const std::string& program,
                      const std::vector<std::string>& types, const std::string& icon = {}) {
    applications.push_back({{id, name, program + " %U", program, icon}, types});
  }

  std::vector<Application> applications;
  std::map<std::string, std::string, std::less<>> systemDefaults;  // type -> id
  std::map<std::string, std::string, std::less<>> choices;         // the person's: type -> id
  std::map<std::string, platform::FileVersionInfo, std::less<>> versions;  // program -> its version
  std::map<std::string, int> asked;  // "question argument" -> how often it reached the desktop
  std::map<std::string, int> askedOnTestThread;  // the same, of those asked on the thread that made this
  // Runs on the asking thread before each question is answered (to hold it back).
  std::function<void(const std::string& question)> onAsk;

  std::vector<platform::DesktopApplication> ListApplicationsFor(const std::vector<std::string>& types) override {
    std::string key = "list";
    for (const std::string& t : types) key += " " + t;
    Count(key);
    std::vector<platform::DesktopApplication> out;
    for (const Application& a : applications) {
      for (const std::string& t : a.types) {
        if (std::find(types.begin(), types.end(), t) != types.end()) {
          out.push_back(a.entry);
          break;
        }
      }
    }
    return out;
  }
  std::optional<platform::DesktopApplication> FindApplication(std::string_view id) override {
    Count("find " + std::string(id));
    for (const Application& a : applications) {
      if (a.entry.id == id) return a.entry;
    }
    return std::nullopt;
  }
  std::string DefaultApplicationId(std::string_view type) override {
    Count("default " + std::string(type));
    if (const auto it = choices.find(type); it != choices.end()) return it->second;
    return Lookup(systemDefaults, type);
  }
  std::string SystemDefaultApplicationId(std::string_view type) override {
    Count("system default " + std::string(type));
    return Lookup(systemDefaults, type);
  }
  std::string UserDefaultApplicationId(std::string_view type) override {
    Count("choice " + std::string(type));
    return Lookup(choices, type);
  }
  std::optional<platform::FileVersionInfo> GetFileVersionInfo(std::string_view posixPath) override {
    Count("version " + std::string(posixPath));
    if (const auto it = versions.find(posixPath); it != versions.end()) return it->second;
    return std::nullopt;
  }
  bool SetDefaultApplication(std::string_view type, std::string_view id) override {
    if (id.empty()) return false;
    choices[std::string(type)] = std::string(id);
    return true;
  }
  bool ResetDefaultApplication(std::string_view type) override {
    if (const auto it = choices.find(type); it != choices.end()) choices.erase(it);
    return true;
  }
  platform::Registration RegisterApplication(const std::string& program, const std::vector<std::string>& types,
                                             std::string& id) override {
    const std::filesystem::path path(program);
    id = path.filename().string() + ".desktop";
    for (const Application& a : applications) {
      if (a.entry.id == id) return platform::Registration::kAlreadyRegistered;
    }
    AddApplication(id, path.stem().string(), program, types);
    return platform::Registration::kRegistered;
  }

  // The tables as they are: a test that changes them has changed the desktop.
  std::string Revision() override {
    std::string r;
    for (const Application& a : applications) {
      r += a.entry.id + '\x1f' + a.entry.name + '\x1f' + a.entry.command + '\x1f' + a.entry.program + '\x1f' +
           a.entry.icon;
      for (const std::string& t : a.types) r += '\x1f' + t;
      r += '\x1e';
    }
    for (const auto* table : {&systemDefaults, &choices}) {
      for (const auto& [type, id] : *table) r += type + '=' + id + '\x1e';
      r += '\x1d';
    }
    return r;
  }

 private:
  void Count(const std::string& question) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++asked[question];
      if (std::this_thread::get_id() == maker_) ++askedOnTestThread[question];
    }
    if (onAsk) onAsk(question);
  }
  static std::string Lookup(const std::map<std::string, std::string, std::less<>>& map, std::string_view key) {
    const auto it = map.find(key);
    return it != map.end() ? it->second : std::string();
  }

  std::mutex mutex_;
  std::thread::id maker_ = std::this_thread::get_id();
  platform::DesktopQueries* previous_;
};

}  // namespace platform::testing
