// The transfer option pages in a sheet: each control shows its setting (or the default),
// the ranges refused, what the check boxes enable, and every setting written on OK; the
// format list has a row for each format a transfer can send and decides the skip flags.
#include "transfer/opt_transfers.h"

#include <gtest/gtest.h>

#include "common/settings.h"
#include "testing/temp_home.h"
#include "testing/processes.h"
#include "platform/settings/settings.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"

namespace transfer {
namespace {

using platform::DialogDriver;
using platform::IDOK;

const bool kIsolated = platform::testing::IsolateNamespace();

class OptTransfersTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    key_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
  }
  platform::SettingsKey& Key() { return *key_; }
  // A stored value; nullopt when it is missing.
  std::optional<std::uint32_t> Dword(const char* name) {
    if (!Key().Get(name)) return std::nullopt;
    std::uint32_t v = 0xDEAD;
    ReadSettingDword(name, v);
    return v;
  }
  std::optional<std::string> String(const char* name) {
    if (!Key().Get(name)) return std::nullopt;
    std::string v;
    ReadSettingString(name, v);
    return v;
  }
  // Runs a sheet holding the page; `script` acts on the page and the sheet ends with OK.
  void RunSheet(platform::PropertyPage& page, const std::function<void(DialogDriver& page)>& script) {
    platform::ScriptedHost host;
    platform::PropertySheet sheet("Options");
    sheet.AddPage(&page);
    host.ExpectDialog("Options", [&](DialogDriver& d) {
      DialogDriver p = d.Page();
      script(p);
      d.Ok();
    });
    sheet.DoModal();
  }

 private:
  std::optional<platform::SettingsKey> key_;
};

TEST_F(OptTransfersTest, TheGeneralPageShowsItsSettingsAndWritesThemAll) {
  // Each control and its setting: defaults on an empty store, then stored values.
  const struct {
    int id;
    const char* setting;
    int defaultValue;
  } kChecks[] = {
      {OptTransfers::kPauseEnableId, "Gen_Tx2PC_PauseEnable", 0},
      {OptTransfers::kNoRecursionId, "Gen_Tx_DisableRecursion", 0},
      {OptTransfers::kAutoCloseId, "Gen_Tx_AutoCloseDialog", 0},
      {OptTransfers::kStayOpenOnSkipsId, "Gen_Tx_DialogStayOpenOnSkips", 0},
  };
  {
    OptTransfers page;
    RunSheet(page, [&](DialogDriver& p) {
      for (const auto& c : kChecks) EXPECT_EQ(p.Check(c.id), c.defaultValue) << c.setting;
      EXPECT_EQ(p.Text(OptTransfers::kPauseLengthId), "1");
      EXPECT_FALSE(p.Enabled(OptTransfers::kPauseLengthId));
      p.Click(OptTransfers::kPauseEnableId);
      EXPECT_TRUE(p.Enabled(OptTransfers::kPauseLengthId));
      p.Type(OptTransfers::kPauseLengthId, "7").Click(OptTransfers::kNoRecursionId).Click(OptTransfers::kAutoCloseId);
    });
  }
  EXPECT_EQ(Dword("Gen_Tx2PC_PauseEnable"), 1u);
  EXPECT_EQ(Dword("Gen_Tx2PC_PauseLength"), 7u);
  EXPECT_EQ(Dword("Gen_Tx_DisableRecursion"), 1u);
  EXPECT_EQ(Dword("Gen_Tx_AutoCloseDialog"), 1u);
  EXPECT_EQ(Dword("Gen_Tx_DialogStayOpenOnSkips"), 0u);
  EXPECT_EQ(Dword("Gen_Tx_SkipMP3"), 0u);
  EXPECT_EQ(Dword("Gen_Tx_SkipData"), 0u);

  // A stored pause length outside 1..7 shows 1; a typed 0 or 8 is refused.
  for (std::uint32_t stored : {0u, 8u}) {
    Key().SetDword("Gen_Tx2PC_PauseLength", stored);
    OptTransfers page;
    EXPECT_EQ(page.pauseLength, 1);
  }
  for (const char* typed : {"0", "8"}) {
    platform::ScriptedHost host;
    OptTransfers page;
    platform::PropertySheet sheet("Options");
    sheet.AddPage(&page);
    host.ExpectDialog("Options", [&](DialogDriver& d) {
      d.Page().Type(OptTransfers::kPauseLengthId, typed);
      host.ExpectNextMessageBox(IDOK, "between 1 and 7 in \"Insert pause of\"");
      d.Ok();
      EXPECT_FALSE(d.Ended());
      d.Cancel();
    });
    sheet.DoModal();
  }
}

TEST_F(OptTransfersTest, TheFormatListHasTheSendableFormatsAndDecidesTheSkipFlags) {
  // Family 1 plays WAV, MP3 and WMA; nothing is converted.
  Key().SetDword("Gen_Tx_SkipWMA", 1);
  Key().SetDword("Gen_Tx_SkipData", 1);
  Key().SetDword("Gen_Tx_SkipOGG", 1);
  OptTransfers page;
  RunSheet(page, [&](DialogDriver& p) {
    platform::ListViewControl& list = p.window().ListView(OptTransfers::kFormatsId);
    ASSERT_EQ(list.GetItemCount(), 4);
    std::vector<std::string> rows;
    for (int r = 0; r < list.GetItemCount(); ++r) rows.push_back(list.GetItemText(r, 0) + (list.GetCheck(r) ? "+" : "-"));
    EXPECT_EQ(rows, (std::vector<std::string>{"WAV-", "MP3-", "WMA+", "Data Files+"}));
    EXPECT_EQ(list.GetColumn(0).title, "Excluded Formats");
    EXPECT_EQ(p.Check(OptTransfers::kSkipDataId), 1);  // the hidden box holds the stored flag
    EXPECT_FALSE(p.Visible(OptTransfers::kSkipDataId));
    ASSERT_TRUE(list.UserToggleCheck(3));  // data files no longer skipped
    ASSERT_TRUE(list.UserToggleCheck(1));  // MP3 skipped
  });
  EXPECT_EQ(Dword("Gen_Tx_SkipData"), 0u);
  EXPECT_EQ(Dword("Gen_Tx_SkipMP3"), 1u);
  EXPECT_EQ(Dword("Gen_Tx_SkipWMA"), 1u);
  EXPECT_EQ(Dword("Gen_Tx_SkipWAV"), 0u);
  EXPECT_EQ(Dword("Gen_Tx_SkipOGG"), 1u);  // no row: left as it was
}

TEST_F(OptTransfersTest, TheAdvancedPageShowsItsSettingsAndTheWriteBackBoxEnablesItsKinds) {
  {
    Key().SetString("ATM_DelimiterList", "");  // empty counts as missing
    OptTransfersAdvanced page;
    RunSheet(page, [&](DialogDriver& p) {
      EXPECT_EQ(p.Text(OptTransfersAdvanced::kDelimitersId), "-");
      EXPECT_EQ(p.Text(OptTransfersAdvanced::kDefaultAlbumId), "Single");
      EXPECT_EQ(p.Check(OptTransfersAdvanced::kUseFoldersId), 0);
      EXPECT_FALSE(p.Enabled(OptTransfersAdvanced::kUseV1Id));
      EXPECT_FALSE(p.Enabled(OptTransfersAdvanced::kUseV2Id));
      p.Click(OptTransfersAdvanced::kWriteBackId);
      EXPECT_TRUE(p.Enabled(OptTransfersAdvanced::kUseV1Id));
      p.Click(OptTransfersAdvanced::kUseV2Id).Type(OptTransfersAdvanced::kDelimitersId, "- _");
      p.Click(OptTransfersAdvanced::kUseFoldersId).Type(OptTransfersAdvanced::kDefaultAlbumId, "Loose");
    });
  }
  EXPECT_EQ(String("ATM_DelimiterList"), "- _");
  EXPECT_EQ(Dword("ATM_UseFolders"), 1u);
  EXPECT_EQ(String("ATM_DefaultAlbum"), "Loose");
  EXPECT_EQ(Dword("ATM_TWB_Enable"), 1u);
  EXPECT_EQ(Dword("ATM_TWB_UseV1"), 0u);
  EXPECT_EQ(Dword("ATM_TWB_UseV2"), 1u);
  OptTransfersAdvanced again;
  EXPECT_EQ(again.delimiterList, "- _");
  EXPECT_EQ(again.writeBack, 1);
}

}  // namespace
}  // namespace transfer
