// mlhost's library window on a (virtual) display against trayhub with the demo player: a
// picture of the window with the plug-in's page showing the player's tracks (and one
// without a manager), the page rendered as its model holds it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "testing/mlhost.h"

namespace {

using namespace mlhosttest;
using shellhosttest::PicturesFolder;

const bool kIsolated = platform::testing::IsolateNamespace();

class MlhostWindowTest : public MlhostTest {
 protected:
  // Opens the entry, selects rows, takes the picture and compares the page's rendering;
  // `wideColumns`: the columns are wider than the list.
  void Picture(const std::string& name, const std::string& rows, bool wideColumns) {
    const std::string file = PicturesFolder() + "/mlhost_" + name + ".png";
    std::filesystem::remove(file);
    const Output out = Run({"open", "select " + rows, "shot " + file, "rendered", "place"},
                           "ml_ombrixj1.so", true);
    // The page fits the window: the list (its scroll bars inside it) ends inside the
    // window's client area, which lies on the 1,280 px wide screen.
    // Only its own lines: a sanitizer's report at the program's end may follow them.
    std::vector<std::string> place = Lines(out, "place");
    place.erase(std::remove_if(place.begin(), place.end(),
                               [](const std::string& l) {
                                 return l.rfind("window\t", 0) != 0 && l.rfind("list\t", 0) != 0 &&
                                        l.rfind("scroll bars\t", 0) != 0;
                               }),
                place.end());
    ASSERT_EQ(place.size(), 3u) << all_;
    int window[4] = {}, list[4] = {};
    ASSERT_EQ(std::sscanf(place[0].c_str(), "window\t%d\t%d\t%d\t%d", &window[0], &window[1], &window[2], &window[3]), 4);
    ASSERT_EQ(std::sscanf(place[1].c_str(), "list\t%d\t%d\t%d\t%d", &list[0], &list[1], &list[2], &list[3]), 4);
    EXPECT_LE(window[2], 1280) << place[0];
    EXPECT_GE(list[0], window[0]) << place[1];
    EXPECT_LE(list[2], window[2]) << place[1];
    EXPECT_LT(list[3], window[1]) << "the list ends above the status bar: " << place[1];
    if (wideColumns) {
      // Columns wider than the list: its horizontal bar is there to reach them.
      EXPECT_EQ(place[2].rfind("scroll bars\thorizontal\t", 0), 0u) << place[2];
    }
    const std::vector<std::string> rendered = Lines(out, "rendered");
    EXPECT_FALSE(rendered.empty()) << all_;
    if (!rendered.empty()) {
      EXPECT_EQ(rendered[0], "as the page holds it") << all_;
    }
    EXPECT_EQ(all_.find("error:"), std::string::npos) << all_;
    EXPECT_TRUE(std::filesystem::exists(file) && std::filesystem::file_size(file) > 1000) << file;
  }
};

TEST_F(MlhostWindowTest, ThePageOfTheDemoPlayer) {
  StartManagerWithPlayer("trayhub");
  Picture("page", "1 2", true);
}

// The window resized from outside, as a window manager does when a person drags its edge:
// the page's list follows, keeping its margins to the window's edges.
TEST_F(MlhostWindowTest, ThePageFollowsTheWindowsSize) {
  StartManagerWithPlayer("trayhub");
  const std::unique_ptr<platform::testing::ChildProcess> mlhost = Start("ml_ombrixj1.so", true);
  // The lines of one "place", up to the echo after it.
  const auto place = [&] {
    mlhost->WriteLine("place");
    mlhost->WriteLine("echo placed");
    std::map<std::string, std::vector<int>> where;
    while (auto line = mlhost->ReadLine(60000 * platform::testing::SlowFactor())) {
      all_ += *line + "\n";
      if (*line == "placed") break;
      for (const char* what : {"x window", "window", "list"}) {
        const std::string head = std::string(what) + "\t";
        if (line->rfind(head, 0) != 0) continue;
        std::istringstream numbers(line->substr(head.size()));
        for (long v = 0; numbers >> v;) where[what].push_back(static_cast<int>(v));
      }
    }
    return where;
  };
  mlhost->WriteLine("open");
  auto before = place();
  ASSERT_EQ(before["x window"].size(), 1u) << all_;
  ASSERT_EQ(before["window"].size(), 4u) << all_;
  ASSERT_EQ(before["list"].size(), 4u) << all_;
  const int width = before["window"][2] - before["window"][0];
  const int wanted = width - 300;
  ASSERT_GT(wanted, 300) << all_;
  platform::testing::ChildProcess resize("/bin/sh", {"-c", "DISPLAY=\"$0\" exec xdotool windowsize \"$1\" \"$2\" 500",
                                                    shellhosttest::kStartDisplay,
                                                    std::to_string(before["x window"][0]), std::to_string(wanted)});
  ASSERT_TRUE(resize.started());
  EXPECT_EQ(resize.Wait(), 0);
  // The toolkit hears of the new size when the display tells it: ask until it has.
  std::map<std::string, std::vector<int>> after;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20 * platform::testing::SlowFactor());
  do {
    after = place();
  } while (after["window"].size() == 4 && after["window"][2] - after["window"][0] != wanted &&
           std::chrono::steady_clock::now() < until);
  ASSERT_EQ(after["window"].size(), 4u) << all_;
  ASSERT_EQ(after["list"].size(), 4u) << all_;
  EXPECT_EQ(after["window"][2] - after["window"][0], wanted) << all_;
  // The same margins as before: the list grew or shrank with the window.
  EXPECT_EQ(after["window"][2] - after["list"][2], before["window"][2] - before["list"][2]) << all_;
  EXPECT_EQ(after["list"][0] - after["window"][0], before["list"][0] - before["window"][0]) << all_;
  EXPECT_LT(after["list"][3], after["window"][1]) << "the list ends above the status bar";
  mlhost->WriteLine("shot " + PicturesFolder() + "/mlhost_page_resized.png");
  mlhost->CloseInput();
  while (mlhost->ReadLine(60000 * platform::testing::SlowFactor())) {
  }
  EXPECT_EQ(mlhost->Wait(), 0) << all_;
}

TEST_F(MlhostWindowTest, ThePageWithoutAManager) { Picture("manager_not_running", "none", false); }

}  // namespace
