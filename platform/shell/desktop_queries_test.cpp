// The seam of the desktop's answers: installed answers stand in for the desktop, and a
// cache keeps each answer for its life until something is changed.
#include "platform/shell/desktop_queries.h"

#include <gtest/gtest.h>

#include "platform/shell/desktop.h"
#include "testing/desktop_answers.h"

namespace platform {
namespace {

TEST(DesktopQueriesTest, WhileACacheLivesEachQuestionReachesTheDesktopOnce) {
  testing::DesktopAnswers desktop;
  desktop.AddApplication("alpha.desktop", "Alpha", "/usr/bin/alpha", {"audio/x-mpegurl"});
  desktop.AddApplication("beta.desktop", "Beta", "/usr/bin/beta", {"audio/x-mpegurl"});
  desktop.systemDefaults["audio/x-mpegurl"] = "alpha.desktop";
  const auto ask = [] {
    ListApplicationsFor({"audio/x-mpegurl"});
    GetFileVersionInfo("/usr/bin/alpha");
    return DefaultApplicationName("audio/x-mpegurl");
  };

  EXPECT_EQ(ask(), "Alpha");
  EXPECT_EQ(ask(), "Alpha");
  EXPECT_EQ(desktop.asked["default audio/x-mpegurl"], 2);  // no cache: asked every time
  desktop.asked.clear();
  {
    DesktopQueryCache cache;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ask(), "Alpha");
    EXPECT_EQ(desktop.asked, (std::map<std::string, int>{{"default audio/x-mpegurl", 1},
                                                         {"find alpha.desktop", 1},
                                                         {"list audio/x-mpegurl", 1},
                                                         {"version /usr/bin/alpha", 1}}));
    // A change is seen at once.
    ASSERT_TRUE(SetDefaultApplication("audio/x-mpegurl", "beta.desktop"));
    EXPECT_EQ(ask(), "Beta");
    EXPECT_EQ(desktop.asked["default audio/x-mpegurl"], 2);
  }
  desktop.asked.clear();
  ask();
  EXPECT_EQ(desktop.asked["default audio/x-mpegurl"], 1);
}

}  // namespace
}  // namespace platform
