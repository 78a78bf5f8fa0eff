// shellhost against trayhub with the demo player, without a display: the context menus of
// the tree and the view and their commands, drops on the tree and the view, and copies
// of the player's items through the clipboard.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "hosts/shellhost_test_support.h"
#include "platform/kernel/test_support.h"

namespace {

using namespace shellhosttest;
namespace fs = std::filesystem;

const bool kIsolated = platform::testing::IsolateNamespace();

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The lines a command printed.
const std::vector<std::string>& Said(const Output& out, const std::string& command) {
  static const std::vector<std::string> none;
  auto it = out.text.find(command);
  return it == out.text.end() ? none : it->second;
}

// A copied track becomes a file on the computer when a program asks for the clipboard's
// files, and the clipboard then names that file; it carries the library's own formats.
TEST_F(ShellhostTest, ACopiedTrackBecomesAFileWhenAProgramAsksForIt) {
  StartManager("trayhub");
  const Output out = Run({"view Audio Tracks", "select 0", "key ctrl+c", "clipboard"});
  const std::vector<std::string>& lines = Said(out, "clipboard");
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + std::min<std::size_t>(3, lines.size())),
            (std::vector<std::string>{"format Quorvane Explorer No Transfer to Self", "format text/uri-list",
                                      "format Quorvane Explorer Kernel ID List"}))
      << out.all;
  std::vector<std::string> files;
  for (const std::string& l : lines) {
    if (l.rfind("file ", 0) == 0) files.push_back(l.substr(5));
  }
  ASSERT_EQ(files.size(), 1u) << out.all;
  const std::string bytes = ReadFile(files[0]);
  ASSERT_FALSE(bytes.empty()) << files[0] << "\n" << out.all;
  bool same = false;
  for (const auto& entry : fs::directory_iterator(home_ + "/appdata/player/files")) {
    same = same || ReadFile(entry.path()) == bytes;
  }
  EXPECT_TRUE(same) << files[0];
}

}  // namespace
