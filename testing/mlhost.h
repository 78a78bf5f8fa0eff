// Test support for mlhost against real managers: a manager's home whose web server
// listens on a free port, the player's plug-in folder with the library's "ml_" copies, and
// runs of mlhost's script mode with their output by command.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "testing/ports.h"
#include "testing/shellhost.h"

namespace mlhosttest {

using platform::testing::ChildProcess;

using platform::testing::FreePort;

// What mlhost printed after each command of a script ("" first: before any command).
using Output = std::vector<std::pair<std::string, std::vector<std::string>>>;

class MlhostTest : public shellhosttest::ShellhostTest {
 protected:
  void SetUp() override {
    ShellhostTest::SetUp();
    // The player's plug-in folder, as the install step lays it out.
    const std::string built = platform::testing::ToolsFolder() + "/../lib/tovarin.so";
    std::filesystem::create_directories(home_ + "/Plugins");
    for (const char* name : {"ml_ombrixj1.so", "ml_ombrixq7.so"}) {
      std::filesystem::copy_file(built, home_ + "/Plugins/" + name, std::filesystem::copy_options::overwrite_existing);
    }
    port_ = FreePort();
    ASSERT_NE(port_, 0);
    auto key = platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
    key.SetDword("VX_PortD", static_cast<std::uint32_t>(port_));
    key.DeleteValue("VX_Disable");
  }

  // Starts the manager and waits until its player is connected (a slow build takes a
  // while to open the demo player).
  void StartManagerWithPlayer(const char* tool) {
    StartManager(tool);
    device::KernelDeviceClient client;
    ASSERT_TRUE(shellhosttest::Connect(client));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60 * platform::testing::SlowFactor());
    bool connected = false;
    while (!connected && std::chrono::steady_clock::now() < deadline) {
      try {
        connected = client.IsConnected() != 0;
      } catch (const std::exception&) {
        // still busy opening its player
      }
      if (!connected) platform::Sleep(100);
    }
    ASSERT_TRUE(connected) << tool << " did not connect its player";
  }

  // mlhost in script mode, taking commands as they are written; `onDisplay`: the window
  // on the display the tests started on.
  std::unique_ptr<ChildProcess> Start(const std::string& plugin, bool onDisplay) {
    std::vector<std::string> args = {"-c", "exec \"$0\" \"$@\" 2>&1"};
    if (onDisplay) {
      args.push_back("/usr/bin/env");
      args.push_back("DISPLAY=" + shellhosttest::kStartDisplay);
    }
    args.push_back(platform::testing::ToolsFolder() + "/mlhost");
    args.push_back("-l");
    args.push_back(home_ + "/Plugins/" + plugin);
    if (onDisplay) args.push_back("-w");
    args.push_back("script");
    return std::make_unique<ChildProcess>("/bin/sh", args);
  }

  // Runs a whole script.
  Output Run(const std::vector<std::string>& script, const std::string& plugin = "ml_ombrixj1.so",
             bool onDisplay = false) {
    const std::unique_ptr<ChildProcess> process = Start(plugin, onDisplay);
    ChildProcess& mlhost = *process;
    for (const std::string& line : script) mlhost.WriteLine(line);
    mlhost.CloseInput();
    Output out;
    out.emplace_back("", std::vector<std::string>{});
    while (auto line = mlhost.ReadLine(60000 * platform::testing::SlowFactor())) {
      all_ += *line + "\n";
      if (line->rfind("> ", 0) == 0) {
        out.emplace_back(line->substr(2), std::vector<std::string>{});
      } else {
        out.back().second.push_back(*line);
      }
    }
    EXPECT_EQ(mlhost.Wait(), 0) << all_;
    return out;
  }

  // The lines a command printed (its `occurrence`-th run, from 0).
  static std::vector<std::string> Lines(const Output& out, const std::string& command, int occurrence = 0) {
    for (const auto& [c, lines] : out) {
      if (c == command && occurrence-- == 0) return lines;
    }
    ADD_FAILURE() << "no output of " << command;
    return {};
  }

  int port_ = 0;
  std::string all_;  // everything printed by the runs so far
};

}  // namespace mlhosttest
