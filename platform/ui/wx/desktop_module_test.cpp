// The desktop host module as the launcher's library loads it: without a display, or
// without the module, the program goes on with a console host; with both, the module's
// host is the host of this copy of the platform code too (the registry this program
// exports, as tovarin.so does in the launcher).
#include "platform/ui/desktop_module.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "testing/processes.h"

namespace {

using platform::ConsoleHost;
using platform::CurrentHost;
using platform::LoadDesktopHost;

// The display of the virtual server, taken away where a case plays a computer without one.
class DesktopModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* d = std::getenv("DISPLAY");
    display_ = d != nullptr ? d : "";
    if (display_.empty()) GTEST_SKIP() << "no display (run under tests/gui/headless)";
  }
  void TearDown() override {
    if (!display_.empty()) ::setenv("DISPLAY", display_.c_str(), 1);
  }
  static std::string Module() { return platform::testing::ToolsFolder() + "/../lib/" + platform::kDesktopModuleName; }

  std::string display_;
};

TEST_F(DesktopModuleTest, WithoutADisplayOrTheModuleTheProgramGoesOnWithTheConsole) {
  const struct {
    const char* what;
    bool display;
    std::string module;
    const char* said;  // on stderr; null: nothing
  } cases[] = {
      {"no display", false, Module(), nullptr},
      {"no module", true, "/nonexistent/tovarinwx.so",
       "sender: the windows module could not be loaded, going on without windows: /nonexistent/tovarinwx.so"},
      {"not the module", true, "libc.so.6", "libc.so.6 has no entry tovarin_open_desktop_host"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.display) {
      ::setenv("DISPLAY", display_.c_str(), 1);
    } else {
      ::unsetenv("DISPLAY");
    }
    ::testing::internal::CaptureStderr();
    std::unique_ptr<platform::Host> host = LoadDesktopHost(c.module, "sender");
    const std::string said = ::testing::internal::GetCapturedStderr();
    ASSERT_NE(dynamic_cast<ConsoleHost*>(host.get()), nullptr);
    EXPECT_EQ(&CurrentHost(), host.get());
    if (c.said == nullptr) {
      EXPECT_EQ(said, "");
    } else {
      EXPECT_NE(said.find(c.said), std::string::npos) << said;
    }
    const platform::Host* gone = host.get();
    host.reset();
    EXPECT_NE(&CurrentHost(), gone);
  }
}

// Last: the toolkit, once started, stays for the process.
TEST_F(DesktopModuleTest, TheModulesHostIsEveryCopysCurrentHost) {
  std::unique_ptr<platform::Host> host = LoadDesktopHost(Module(), "sender");
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(dynamic_cast<ConsoleHost*>(host.get()), nullptr);
  EXPECT_EQ(&CurrentHost(), host.get());
  EXPECT_TRUE(CurrentHost().ShowsTrayIcons());
  platform::SetCurrentHost(nullptr);
  EXPECT_NE(&CurrentHost(), host.get());
}

}  // namespace
