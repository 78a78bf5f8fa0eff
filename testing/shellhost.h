// Test support for shellhost against real managers: a manager's home with the library
// under its variant names, runs of shellhost's script mode (whole, or a batch at a time),
// and their output read back as listings and rows.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "device/kernel_device_client.h"
#include "testing/trayhub.h"
#include "testing/processes.h"

namespace shellhosttest {

using platform::testing::ChildProcess;

// The display the tests were started on (the managers' start-up unsets it: they answer on
// the console); shellhost's window goes there.
inline const std::string kStartDisplay = [] {
  const char* d = std::getenv("DISPLAY");
  return d != nullptr ? std::string(d) : std::string();
}();

// The folder the window tests keep their pictures in: $TOVARIN_GUI_OUT/gui (the build
// folder's pictures), else ./gui.
inline std::string PicturesFolder() {
  const char* out = std::getenv("TOVARIN_GUI_OUT");
  const std::string folder = std::string(out != nullptr && *out != '\0' ? out : ".") + "/gui";
  std::filesystem::create_directories(folder);
  return folder;
}

struct Line {
  std::string kind;  // "D" or "I"
  std::string name;
  std::string second;
  std::string icon;
};

inline std::vector<std::string> Split(const std::string& text, char at) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, at)) parts.push_back(part);
  if (!text.empty() && text.back() == at) parts.emplace_back();
  return parts;
}

// One run of shellhost: everything it printed, and per script command its listing.
struct Output {
  int exitCode = -1;
  std::string all;
  std::map<std::string, std::vector<Line>> listings;
  std::map<std::string, std::vector<std::string>> text;

  std::vector<std::string> Names(const std::string& command) const {
    std::vector<std::string> names;
    auto it = listings.find(command);
    if (it != listings.end()) {
      for (const Line& l : it->second) names.push_back(l.name);
    }
    return names;
  }
  std::vector<std::string> SortedNames(const std::string& command) const {
    std::vector<std::string> names = Names(command);
    std::sort(names.begin(), names.end());
    return names;
  }
  bool Shows(const std::string& text) const { return all.find(text) != std::string::npos; }
};

class ShellhostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = std::getenv("TOVARIN_HOME");
    trayhubtest::PrepareManagerHome(home_, "2000,20000");
    ::unsetenv("TOVARIN_DEVICE");
    ::unsetenv("SHELLHOST_TEST_PLAYER");
    ::unsetenv("SHELLHOST_TEST_FAIL");
    // The library under its variant names, as the install step lays it out.
    const std::string built = platform::testing::ToolsFolder() + "/../lib/tovarin.so";
    std::filesystem::create_directories(home_ + "/lib");
    for (const char* name : {"ombrixj1.so", "ombrixq7.so"}) {
      std::filesystem::copy_file(built, home_ + "/lib/" + name, std::filesystem::copy_options::overwrite_existing);
    }
  }
  void TearDown() override {
    if (manager_) {
      manager_->Kill(SIGTERM);
      manager_->Wait();
      for (int i = 0; i < 500 && platform::FindWindow(g_ProductIdentity.windowClassName) != 0; ++i) {
        platform::Sleep(10);
      }
    }
  }

  void StartManager(const char* tool) {
    manager_ = trayhubtest::StartTool(tool);
    ASSERT_NE(trayhubtest::WaitForManager(0, 2000), 0u) << tool << " did not start";
  }

  Output Run(const std::vector<std::string>& script, const std::string& library = "ombrixj1.so") {
    ChildProcess shellhost("/bin/sh", {"-c", "exec \"$0\" \"$@\" 2>&1", platform::testing::ToolsFolder() + "/shellhost",
                                       "-l", home_ + "/lib/" + library, "script"});
    for (const std::string& line : script) shellhost.WriteLine(line);
    shellhost.CloseInput();
    Output out;
    std::string command;
    while (auto line = shellhost.ReadLine(60000 * platform::testing::SlowFactor())) {
      out.all += *line + "\n";
      if (line->rfind("> ", 0) == 0) {
        command = line->substr(2);
        out.listings[command];
        continue;
      }
      out.text[command].push_back(*line);
      const std::vector<std::string> parts = Split(*line, '\t');
      if (parts.size() == 4 && (parts[0] == "D" || parts[0] == "I")) {
        out.listings[command].push_back({parts[0], parts[1], parts[2], parts[3]});
      }
    }
    out.exitCode = shellhost.Wait();
    return out;
  }

 public:
  // A shellhost that takes commands one batch at a time: each batch's output (its "> "
  // lines included) up to an end marker.
  class Session {
   public:
    // `onDisplay`: the window on the display ($DISPLAY), driven by the script.
    explicit Session(const std::string& home, bool onDisplay = false, const std::string& library = "ombrixj1.so")
        : process_("/bin/sh", Arguments(home, onDisplay, library)) {}
    static std::vector<std::string> Arguments(const std::string& home, bool onDisplay, const std::string& library) {
      std::vector<std::string> args = {"-c", "exec \"$0\" \"$@\" 2>&1"};
      if (onDisplay) {
        args.push_back("/usr/bin/env");
        args.push_back("DISPLAY=" + kStartDisplay);
      }
      args.push_back(platform::testing::ToolsFolder() + "/shellhost");
      args.push_back("-l");
      args.push_back(home + "/lib/" + library);
      if (onDisplay) args.push_back("-w");
      args.push_back("script");
      return args;
    }
    ~Session() {
      process_.CloseInput();
      process_.Wait();
    }
    std::vector<std::string> Run(const std::vector<std::string>& commands) {
      Start(commands);
      return Finish();
    }
    // A batch started, its output read later (the window keeps its loop meanwhile when the
    // batch pumps).
    void Start(const std::vector<std::string>& commands) {
      for (const std::string& c : commands) process_.WriteLine(c);
      process_.WriteLine("echo --end--");
    }
    std::vector<std::string> Finish() {
      std::vector<std::string> out;
      while (auto line = process_.ReadLine(60000 * platform::testing::SlowFactor())) {
        if (*line == "--end--") break;
        if (*line != "> echo --end--") out.push_back(*line);
      }
      return out;
    }
    // The rows a command printed: title line first ("# ..."), each split at tabs.
    std::vector<std::vector<std::string>> Rows(const std::string& view = {}) {
      std::vector<std::string> commands;
      if (!view.empty()) commands.push_back("view " + view);
      commands.push_back("rows");
      std::vector<std::vector<std::string>> rows;
      bool in = false;
      for (const std::string& line : Run(commands)) {
        if (line == "> rows") {
          in = true;
        } else if (in && line.rfind("> ", 0) != 0) {
          rows.push_back(Split(line.rfind("# ", 0) == 0 ? line.substr(2) : line, '\t'));
        }
      }
      return rows;
    }

   private:
    ChildProcess process_;
  };

 protected:

  std::string home_;
  std::unique_ptr<ChildProcess> manager_;
};

inline std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& l : lines) all += l + "\n";
  return all;
}

// A device client of the test process, connected to the running manager.
inline bool Connect(device::KernelDeviceClient& client) { return client.ConnectToManager(0, device::KernelId(5), device::KernelId(1), 0) == 1; }

// The player's first `count` audio tracks (fewer when it has fewer), put in its queue.
inline std::vector<device::KernelId> EnqueueFirstTracks(device::KernelDeviceClient& client, std::size_t count) {
  std::vector<device::KernelId> tracks;
  device::KernelId track;
  for (int n = client.GetFirstAudioTrack(track); n != 0 && tracks.size() < count; n = client.GetNextAudioTrack(track)) {
    tracks.push_back(track);
  }
  for (const device::KernelId& t : tracks) client.EnqueueTrack(t);
  return tracks;
}

inline std::vector<std::string> Column(const std::vector<std::vector<std::string>>& rows, const std::string& title) {
  std::vector<std::string> texts;
  if (rows.empty()) return texts;
  const auto at = std::find(rows[0].begin(), rows[0].end(), title);
  if (at == rows[0].end()) return texts;
  const std::size_t c = static_cast<std::size_t>(at - rows[0].begin());
  for (std::size_t r = 1; r < rows.size(); ++r) texts.push_back(c < rows[r].size() ? rows[r][c] : "");
  return texts;
}

}  // namespace shellhosttest
