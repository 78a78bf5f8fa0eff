// The Quodrel editor on a (virtual) display, driven with the display's own pointer and keys:
// a rule file holding choices the editor does not know opens with those choices empty, and
// a click on OK is refused with a word, the file kept as it was. Runs under
// tests/gui/headless --wm; skipped without a display.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "common/folders.h"
#include "common/short_hash.h"
#include "platform/ui/desktop.h"
#include "platform/ui/wx/wx_host.h"
#include "testing/tools.h"
#include "tools/quodrel_edit_dialog.h"
// Last: the X11 headers define names the project's headers use.
#include "testing/person.h"

#include <X11/keysym.h>

namespace tools {
namespace {

const bool kIsolated = platform::testing::IsolateNamespace();
using D = QuodrelEditDialog;

class QuodrelEditWindowTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    if (!platform::HasDisplay()) GTEST_SKIP() << "no display (run under tests/gui/headless --wm)";
    host_ = platform::WxHost::Open("quodrel_edit_window_test");
    ASSERT_NE(host_, nullptr);
    ASSERT_TRUE(person_.ok());
    sql::RegisterSqlEngine();
    g_ProductIdentity.InitFromPath("/opt/tovarin/ombrixj1.so");
    key_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
    std::filesystem::create_directories(root_ + "/appdata/qlists");
    key_->SetString("Gen_AppDataDir", platform::FromPosixPath(root_ + "/appdata"));
  }
  static std::string Shown(platform::WxPrompt& p, int id) {
    for (const platform::RenderedControl& c : p.Controls()) {
      if (c.id == id) return c.text;
    }
    return "(none)";
  }

  std::unique_ptr<platform::WxHost> host_;
  platform::testing::Person person_;
  std::optional<platform::SettingsKey> key_;
  device::MemoryDevice device_;
};

TEST_F(QuodrelEditWindowTest, ForeignChoicesShowEmptyAndAClickOnOkIsRefused) {
  const char* out = std::getenv("TOVARIN_GUI_OUT");
  const std::string folder = std::string(out != nullptr && *out != '\0' ? out : ".") + "/gui";
  std::filesystem::create_directories(folder);
  const toolstest::Tracks tracks = toolstest::SeedTracks(device_);
  const device::KernelId party = device_.AddPlaylist("QL: Party", {tracks.neon});
  const std::string path = platform::FromPosixPath(
      root_ + "/appdata/qlists/" + RuleFileName(GetShortSha1Hex(device_.Info().uniqueId), "Party"));
  const std::string hostile = EncipherRule("5|weeks|some|Mood|near|x|Year|about|1990|(not used)|maybe|-|sideways");
  ASSERT_TRUE(ReplaceFileBytes(path, hostile));

  D dialog(&device_, party);
  std::string unit, match, field, order, refusal;
  bool openAfterOk = false;
  host_->SetPromptObserver([&](platform::WxPrompt& p) {
    if (p.kind() == platform::WxPrompt::Kind::MessageBox) {
      EXPECT_TRUE(p.SaveImage(folder + "/quodrel_foreign_refused.png"));
      refusal = p.text();
      ASSERT_TRUE(host_->PumpUntil([&] { return person_.ActiveCaption() == p.caption(); }, 5000));
      person_.Key(XK_Return);
      return;
    }
    ASSERT_TRUE(host_->PumpUntil([&] { return person_.ActiveCaption() == "Edit Quodrel - Party"; }, 5000));
    unit = Shown(p, D::kUnitId);
    match = Shown(p, D::kMatchId);
    field = Shown(p, D::kFieldIds[0]);
    order = Shown(p, D::kOrderId);
    EXPECT_TRUE(p.SaveImage(folder + "/quodrel_foreign_choices.png"));
    const std::optional<platform::Rect> ok = host_->ScreenRect(dialog, platform::IDOK);
    ASSERT_TRUE(ok.has_value());
    person_.ClickAt((ok->left + ok->right) / 2, (ok->top + ok->bottom) / 2);
    // The refusal's box has come and gone, and the editor is the active window again.
    host_->PumpUntil([&] { return !refusal.empty() && person_.ActiveCaption() == "Edit Quodrel - Party"; }, 5000);
    openAfterOk = host_->WindowScreenRect(dialog).has_value();
    p.Cancel();
  });
  dialog.DoModal();
  EXPECT_EQ(unit, "");
  EXPECT_EQ(match, "");
  EXPECT_EQ(field, "");
  EXPECT_EQ(order, "");
  EXPECT_NE(refusal.find("Please choose what the limit counts"), std::string::npos) << refusal;
  EXPECT_TRUE(openAfterOk);
  EXPECT_EQ(ReadFileBytes(path), hostile);
}

}  // namespace
}  // namespace tools
