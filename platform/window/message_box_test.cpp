#include "platform/window/message_box.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

struct Shown {
  std::string text;
  std::string caption;
  UINT flags;
};
std::vector<Shown> g_shown;

int RecordAndRetry(const std::string& text, const std::string& caption, UINT flags) {
  g_shown.push_back({text, caption, flags});
  return IDRETRY;
}

// This program has no UI core, so no one shows its boxes until a shower is set.
TEST(MessageBoxShowerTest, GoesToTheShowerElseIsDeclinedOnTheErrorOutput) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ShowProcessMessageBox("The disk is full.", "Product", MB_OK | MB_ICONERROR), IDCANCEL);
  const std::string printed = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(printed.find("Product"), std::string::npos);
  EXPECT_NE(printed.find("The disk is full."), std::string::npos);

  SetMessageBoxShower(&RecordAndRetry);
  EXPECT_EQ(ShowProcessMessageBox("Try again?", "Product", MB_RETRYCANCEL | MB_ICONQUESTION), IDRETRY);
  ASSERT_EQ(g_shown.size(), 1u);
  EXPECT_EQ(g_shown[0].text, "Try again?");
  EXPECT_EQ(g_shown[0].caption, "Product");
  EXPECT_EQ(g_shown[0].flags, MB_RETRYCANCEL | MB_ICONQUESTION);

  SetMessageBoxShower(nullptr);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ShowProcessMessageBox("Again?", "Product", MB_YESNO), IDCANCEL);
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(g_shown.size(), 1u);
}

}  // namespace
}  // namespace platform
