// The seam of the desktop's answers: installed answers stand in for the desktop, a cache
// keeps each answer for its life until something is changed, and the default application
// and its entry are kept past it while the files they are read from stay unchanged.
#include "platform/shell/desktop_queries.h"

#include <stdlib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include "platform/shell/desktop.h"
#include "testing/desktop_answers.h"
#include "testing/temp_folder.h"
#include "testing/xdg_folders.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using Asked = std::map<std::string, int>;

class DesktopQueriesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing::MakeTempFolder("tovdq");
    ASSERT_FALSE(root_.empty());
    xdg_.emplace(root_);
    std::ofstream(root_ + "/config/mimeapps.list") << "[Default Applications]\naudio/x-mpegurl=alpha.desktop\n";
    std::ofstream(root_ + "/system/applications/mimeinfo.cache") << "[MIME Cache]\naudio/x-mpegurl=alpha.desktop;\n";
    std::ofstream(root_ + "/system/applications/alpha.desktop") << "[Desktop Entry]\nType=Application\nName=Alpha\n";
    desktop_.AddApplication("alpha.desktop", "Alpha", "/usr/bin/alpha", {"audio/x-mpegurl"});
    desktop_.AddApplication("beta.desktop", "Beta", "/usr/bin/beta", {"audio/x-mpegurl"});
    desktop_.systemDefaults["audio/x-mpegurl"] = "alpha.desktop";
  }
  void TearDown() override {
    xdg_.reset();
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

 public:
  // Every file and folder as if written an hour ago.
  void Settle() { testing::SetTimesBelow(root_, settled_); }
  // A file or folder changed a while ago, after the settled ones.
  void Changed(const std::string& path) { fs::last_write_time(root_ + "/" + path, settled_ + std::chrono::seconds(1)); }
  Asked AskTwice() {
    desktop_.asked.clear();
    for (int i = 0; i < 2; ++i) EXPECT_EQ(DefaultApplicationName("audio/x-mpegurl"), "Alpha");
    return desktop_.asked;
  }

  std::string root_;
  std::optional<testing::XdgTestFolders> xdg_;
  testing::DesktopAnswers desktop_;
  const fs::file_time_type settled_ = fs::file_time_type::clock::now() - std::chrono::hours(1);
};

TEST_F(DesktopQueriesTest, WhileACacheLivesEachQuestionReachesTheDesktopOnce) {
  // Files changed just now (or by a clock ahead) keep nothing past a cache.
  testing::SetTimesBelow(root_, fs::file_time_type::clock::now() + std::chrono::hours(1));
  const auto ask = [] {
    ListApplicationsFor({"audio/x-mpegurl"});
    GetFileVersionInfo("/usr/bin/alpha");
    return DefaultApplicationName("audio/x-mpegurl");
  };

  EXPECT_EQ(ask(), "Alpha");
  EXPECT_EQ(ask(), "Alpha");
  EXPECT_EQ(desktop_.asked["default audio/x-mpegurl"], 2);  // no cache: asked every time
  desktop_.asked.clear();
  {
    DesktopQueryCache cache;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ask(), "Alpha");
    EXPECT_EQ(desktop_.asked, (Asked{{"default audio/x-mpegurl", 1},
                                     {"find alpha.desktop", 1},
                                     {"list audio/x-mpegurl", 1},
                                     {"version /usr/bin/alpha", 1}}));
    // A change is seen at once.
    ASSERT_TRUE(SetDefaultApplication("audio/x-mpegurl", "beta.desktop"));
    EXPECT_EQ(ask(), "Beta");
    EXPECT_EQ(desktop_.asked["default audio/x-mpegurl"], 2);
  }
  desktop_.asked.clear();
  ask();
  EXPECT_EQ(desktop_.asked["default audio/x-mpegurl"], 1);
}

// The default application and its entry outlive a cache; a change to any file the desktop
// reads them from is seen at the next question.
TEST_F(DesktopQueriesTest, TheDefaultAndItsEntryAreKeptUntilTheirFilesChange) {
  const Asked both = {{"default audio/x-mpegurl", 1}, {"find alpha.desktop", 1}};
  const Asked theDefault = {{"default audio/x-mpegurl", 1}};
  const Asked theEntry = {{"find alpha.desktop", 1}};
  struct Case {
    const char* what;
    std::function<void(DesktopQueriesTest&)> change;
    Asked asked;  // of the next two questions
  };
  const std::vector<Case> cases = {
      {"nothing changed", [](DesktopQueriesTest&) {}, {}},
      {"the person's list rewritten in place, same size",
       [](DesktopQueriesTest& t) {
         std::ofstream(t.root_ + "/config/mimeapps.list") << "[Default Applications]\naudio/x-mpegurl=gamma.desktop\n";
         t.Changed("config/mimeapps.list");
       },
       theDefault},
      {"a list in a system configuration folder",
       [](DesktopQueriesTest& t) {
         fs::create_directories(t.root_ + "/none");
         std::ofstream(t.root_ + "/none/mimeapps.list") << "[Default Applications]\naudio/x-mpegurl=beta.desktop\n";
         t.Changed("none/mimeapps.list");
         t.Changed("none");
       },
       theDefault},
      {"a defaults.list beside the system's entries",
       [](DesktopQueriesTest& t) {
         std::ofstream(t.root_ + "/system/applications/defaults.list") << "[Default Applications]\n";
         t.Changed("system/applications/defaults.list");
         t.Changed("system/applications");
       },
       theDefault},
      {"the type cache replaced by one of the same size and time",
       [](DesktopQueriesTest& t) {
         const std::string cache = t.root_ + "/system/applications/mimeinfo.cache";
         fs::copy_file(cache, cache + ".new");
         fs::rename(cache + ".new", cache);
         testing::SetTimesBelow(t.root_, t.settled_);
       },
       theDefault},
      {"the entry edited in place",
       [](DesktopQueriesTest& t) {
         std::ofstream(t.root_ + "/system/applications/alpha.desktop", std::ios::app) << "Comment=Plays\n";
         t.Changed("system/applications/alpha.desktop");
       },
       theEntry},
      {"an entry of that id in the person's folder, ahead of the system's",
       [](DesktopQueriesTest& t) {
         std::ofstream(t.root_ + "/data/applications/alpha.desktop") << "[Desktop Entry]\nType=Application\n";
         t.Changed("data/applications/alpha.desktop");
         t.Changed("data/applications");
       },
       both},
      {"another configuration folder",
       [](DesktopQueriesTest& t) {
         fs::create_directories(t.root_ + "/other");
         testing::SetTimesBelow(t.root_, t.settled_);
         ::setenv("XDG_CONFIG_HOME", (t.root_ + "/other").c_str(), 1);
       },
       theDefault},
      {"the answers themselves", [](DesktopQueriesTest& t) { t.desktop_.choices["audio/x-mpegurl"] = "alpha.desktop"; },
       both},
      // A second change in the same tick of the file's clock would not show: nothing is
      // kept until it has settled.
      {"the person's list changed just now",
       [](DesktopQueriesTest& t) { fs::last_write_time(t.root_ + "/config/mimeapps.list", fs::file_time_type::clock::now()); },
       {{"default audio/x-mpegurl", 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ::setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
    desktop_.choices.clear();
    Settle();
    AskTwice();
    EXPECT_EQ(AskTwice(), Asked{}) << "settled files: kept";
    c.change(*this);
    EXPECT_EQ(AskTwice(), c.asked);
  }
}

}  // namespace
}  // namespace platform
