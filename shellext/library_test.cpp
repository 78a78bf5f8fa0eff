// The library's small helpers: the owner window, diagnostics, dates.
#include "shellext/library.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "testing/processes.h"
#include "platform/ui/host.h"
#include "testing/shellext.h"

namespace shellexttest {
namespace {

const bool kIsolated = platform::testing::IsolateNamespace();

using namespace shellext;

TEST(LibraryHelpersTest, AnOwnerWindowThatIsGoneIsForgotten) {
  platform::RegisterClass("LibraryHelpersOwner");
  const platform::HWND owner = platform::CreateWindow("LibraryHelpersOwner");
  SetOwnerWindow(owner);
  EXPECT_EQ(GetOwnerWindow(), owner);
  platform::DestroyWindow(owner);
  EXPECT_EQ(GetOwnerWindow(), 0u);
  EXPECT_EQ(platform::CurrentHost().GetOwnerWindow(), 0u);
}

TEST(LibraryHelpersTest, Dates) {
  ::setenv("TZ", "UTC", 1);
  ::setenv("LC_ALL", "C", 1);
  EXPECT_EQ(FormatDateTimeLocale(86400 + 3723), "01/02/70 01:02:03");
}

class DebugTraceTest : public LibraryTest {};

TEST_F(DebugTraceTest, WritesWhenTheSharedKeyHasTheSwitch) {
  platform::SettingsKey::Create(platform::Hive::CurrentUser, "Software\\Quorvane Software\\Shared\\PipeBufferSize");
  ::testing::internal::CaptureStderr();
  DebugTrace("%d %s\n", 12, std::string(2000, 'x').c_str());  // longer than any fixed buffer
  const std::string written = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(written.find(": 12 " + std::string(2000, 'x') + "\n"), std::string::npos) << written.substr(0, 80);
}

}  // namespace
}  // namespace shellexttest
