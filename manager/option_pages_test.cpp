// The manager's option pages: what they show from the settings (and their defaults), what
// OK writes, the port's range and defaults, the skin list, the password file and the log.
#include "manager/option_pages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "common/identity.h"
#include "common/settings.h"
#include "testing/processes.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/shell/shell.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"
#include "web/http/http_server.h"

using namespace web;

namespace manager {
namespace {

using platform::DialogDriver;

const bool kIsolated = platform::testing::IsolateNamespace();

class OptionPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_ProductIdentity.InitFromPath("trayhub");
    home_ = std::getenv("TOVARIN_HOME");
    std::filesystem::remove_all(home_ + "/appdata");
    std::filesystem::remove_all(home_ + "/install");
    std::filesystem::create_directories(home_ + "/appdata/skins");
    std::filesystem::create_directories(home_ + "/install");
    platform::SettingsKey::Delete(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
    key_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
    key_->SetString("Gen_AppDataDir", platform::FromPosixPath(home_ + "/appdata"));
    key_->SetString("", platform::FromPosixPath(home_ + "/install"));
  }
  std::uint32_t Dword(const char* name) {
    std::uint32_t v = 0xDEAD;
    ReadSettingDword(name, v);
    return v;
  }
  std::string String(const char* name) {
    std::string v = "<none>";
    ReadSettingString(name, v);
    return v;
  }
  // Runs `page` alone in a sheet; the script acts on the page.
  void Run(platform::PropertyPage& page, const std::function<void(DialogDriver&)>& script) {
    platform::ScriptedHost host;
    host.ExpectDialog("Options", [&](DialogDriver& d) {
      DialogDriver p = d.Page();
      script(p);
      if (!d.Ended()) d.Ok();
    });
    platform::PropertySheet sheet("Options");
    sheet.AddPage(&page);
    sheet.DoModal();
  }
  std::string home_;
  std::optional<platform::SettingsKey> key_;
};

TEST_F(OptionPagesTest, GeneralPageShowsDefaultsAndWritesItsFourSettings) {
  COptionGeneral page;
  Run(page, [](DialogDriver& p) {
    EXPECT_EQ(p.Check(COptionGeneral::kNoCloseConfirm), 0);
    EXPECT_EQ(p.Check(COptionGeneral::kContextMenu), 1);  // absent: on
    EXPECT_EQ(p.Check(COptionGeneral::kNoManagerTimeout), 0);
    EXPECT_EQ(p.Check(COptionGeneral::kNoSystrayProgress), 0);
    p.Click(COptionGeneral::kNoCloseConfirm).Click(COptionGeneral::kNoSystrayProgress);
  });
  EXPECT_EQ(Dword("Gen_DisableOmbMgrCloseConfirm"), 1u);
  EXPECT_EQ(Dword("Gen_Tx_EnableContextMenu"), 1u);
  EXPECT_EQ(Dword("Gen_DisableManagerTimeout"), 0u);
  EXPECT_EQ(Dword("Gen_DisableSystrayProgress"), 1u);
}

TEST_F(OptionPagesTest, PortDefaultsBySuffixAndStoredValuesOutOfRange) {
  struct Case {
    const char* suffix;
    std::optional<std::uint32_t> stored;
    int shown;
  };
  const Case kCases[] = {{"D", std::nullopt, 8047}, {"X", std::nullopt, 8045}, {"M", 0, 8042},
                         {"1", 10000, 8044},        {"P", std::nullopt, 8046}, {"R", std::nullopt, 8048},
                         {"I", std::nullopt, 8049}, {"Q", std::nullopt, 8045}, {"D", 9999, 9999},
                         {"D", 1, 1}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.suffix) + " " + (c.stored ? std::to_string(*c.stored) : "absent"));
    if (c.stored) key_->SetDword(std::string("VX_Port") + c.suffix, *c.stored);
    VexhalOptionsDlg page(nullptr, c.suffix);
    EXPECT_EQ(page.port, c.shown);
    key_->DeleteValue(std::string("VX_Port") + c.suffix);
  }
}

TEST_F(OptionPagesTest, PortOutsideItsRangeIsRefused) {
  VexhalOptionsDlg page(nullptr, "D");
  platform::ScriptedHost host;
  host.ExpectDialog("Options", [&](DialogDriver& d) {
    for (const char* bad : {"0", "10000"}) {
      d.Page().Type(VexhalOptionsDlg::kPort, bad);
      host.ExpectNextMessageBox(platform::IDOK, "between 1 and 9999");
      d.Ok();
      EXPECT_FALSE(d.Ended());
    }
    d.Page().Type(VexhalOptionsDlg::kPort, "8050");
    d.Ok();
  });
  platform::PropertySheet sheet("Options");
  sheet.AddPage(&page);
  sheet.DoModal();
  EXPECT_EQ(Dword("VX_PortD"), 8050u);
}

TEST_F(OptionPagesTest, SkinListSelectsThePagesSkinOrTheFirstOne) {
  std::filesystem::create_directories(home_ + "/appdata/skins/Blue");
  std::ofstream(home_ + "/appdata/skins/Classic.osk") << "";
  std::ofstream(home_ + "/appdata/skins/notes.txt") << "";
  {
    VexhalOptionsDlg page(nullptr, "D");  // VX_Skin absent: "Default", which is not there
    Run(page, [](DialogDriver& p) {
      std::vector<std::string> items = p.Items(VexhalOptionsDlg::kSkin);
      std::sort(items.begin(), items.end());
      EXPECT_EQ(items, (std::vector<std::string>{"Blue", "Classic.osk"}));
      EXPECT_EQ(p.Selection(VexhalOptionsDlg::kSkin), 0);
    });
    EXPECT_EQ(String("VX_Skin"), page.skin);
    EXPECT_NE(page.skin, "Default");
  }
  std::filesystem::create_directories(home_ + "/appdata/skins/Default");
  key_->DeleteValue("VX_Skin");
  VexhalOptionsDlg page(nullptr, "D");
  Run(page, [](DialogDriver& p) { EXPECT_EQ(p.Text(VexhalOptionsDlg::kSkin), "Default"); });
  EXPECT_EQ(String("VX_Skin"), "Default");
}

TEST_F(OptionPagesTest, OkRestartsTheServerUnlessDisabled) {
  auto server = std::make_unique<HttpServer>();
  ASSERT_TRUE(server->Start(0));
  {
    VexhalOptionsDlg page(server.get(), "D");
    Run(page, [](DialogDriver& p) {
      p.Click(VexhalOptionsDlg::kDisable);
      p.Type(VexhalOptionsDlg::kPort, "8051");
    });
  }
  EXPECT_EQ(server->port(), 0);  // stopped, nothing started, no message
  EXPECT_EQ(Dword("VX_Disable"), 1u);
  EXPECT_EQ(Dword("VX_PortD"), 8051u);
  // The order of writing: the port comes right after the switch (no value is left out).
  for (const char* name : {"VX_BlockRemote", "VX_RequireAuthentication", "VX_LogLocal", "VX_LogRemote",
                           "VX_LogPages", "VX_OldSkinMode"}) {
    EXPECT_EQ(Dword(name), 0u) << name;
  }
}

TEST_F(OptionPagesTest, PasswordFileIsMadeOnceAndOpened) {
  VexhalOptionsDlg page(nullptr, "D");
  const std::string file = home_ + "/appdata/httpauth.txt";
  platform::ShellOpenRecording opened;
  Run(page, [](DialogDriver& p) {
    p.Click(VexhalOptionsDlg::kEditPasswords);
    p.Click(VexhalOptionsDlg::kEditPasswords);
  });
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "# One user entry per line in this format: username:password\r\n"
            "# Hash indicates rest of line is a comment.\r\n");
  ASSERT_EQ(opened.calls().size(), 2u);
  EXPECT_EQ(opened.calls()[0].target, file);
  EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(OptionPagesTest, ClearLogEmptiesTheLogAndViewLogOpensIt) {
  const std::string log = home_ + "/install/httplog.html";
  std::ofstream(log) << "a line<br>\r\n";
  VexhalOptionsDlg page(nullptr, "D");
  platform::ShellOpenRecording opened;
  platform::ScriptedHost host;
  host.ExpectDialog("Options", [&](DialogDriver& d) {
    host.ExpectNextMessageBox(platform::IDOK, "Log cleared.");
    d.Page().Click(VexhalOptionsDlg::kClearLog);
    d.Page().Click(VexhalOptionsDlg::kViewLog);
    d.Cancel();
  });
  platform::PropertySheet sheet("Options");
  sheet.AddPage(&page);
  sheet.DoModal();
  EXPECT_EQ(std::filesystem::file_size(log), 0u);
  ASSERT_EQ(opened.calls().size(), 1u);
  EXPECT_EQ(opened.calls()[0].target, log);
  // A log made by clearing is the person's alone.
  std::filesystem::remove(log);
  host.ExpectDialog("Options", [&](DialogDriver& d) {
    host.ExpectNextMessageBox(platform::IDOK, "Log cleared.");
    d.Page().Click(VexhalOptionsDlg::kClearLog);
    d.Cancel();
  });
  VexhalOptionsDlg fresh(nullptr, "D");
  platform::PropertySheet again("Options");
  again.AddPage(&fresh);
  again.DoModal();
  EXPECT_EQ(std::filesystem::status(log).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(OptionPagesTest, AboutPageShowsTheManagerAndItsVersion) {
  CManagerOptionAbout page(nullptr);
  Run(page, [](DialogDriver& p) {
    const std::string line = p.Text(CManagerOptionAbout::kProductLine);
    EXPECT_EQ(line.rfind("Kestrova Manager ", 0), 0u);
    EXPECT_GT(line.size(), std::string("Kestrova Manager ").size());
  });
}

}  // namespace
}  // namespace manager
