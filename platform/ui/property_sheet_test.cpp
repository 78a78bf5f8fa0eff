// Property sheets: pages made when first shown, a page that refuses to be left, OK that
// saves exactly the pages that were shown, Apply, Cancel, keyboard page changes.
#include <gtest/gtest.h>

#include "testing/processes.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"

namespace platform {
namespace {

const bool kIsolated = testing::IsolateNamespace();

constexpr int kPort = 1101;
constexpr int kFlag = 1102;

const DialogTemplate& PortTemplate() {
  using namespace layout;
  static const DialogTemplate t =
      MakeTemplate(720, "Web Server", Column({Row({Text("Port:"), Edit(kPort).Number()})}), kFrameChild);
  return t;
}

const DialogTemplate& FlagTemplate() {
  using namespace layout;
  static const DialogTemplate t = MakeTemplate(721, "General", Column({Check(kFlag, "Confirm")}), kFrameChild);
  return t;
}

// A page that records its life.
class PortPage : public PropertyPage {
 public:
  explicit PortPage(std::vector<std::string>& log) : PropertyPage(PortTemplate()), log_(log) {}
  int port = 8047;
  int saved = 0;
  bool OnInitDialog() override {
    log_.push_back("init " + GetTitle());
    return PropertyPage::OnInitDialog();
  }
  void DoDataExchange(DataExchange& dx) override { dx.Int(kPort, port, 1, 9999); }
  void OnOK() override {
    ++saved;
    log_.push_back("save " + GetTitle() + " " + std::to_string(port));
  }
  void OnCancel() override { log_.push_back("cancel " + GetTitle()); }

 private:
  std::vector<std::string>& log_;
};

class FlagPage : public PropertyPage {
 public:
  explicit FlagPage(std::vector<std::string>& log) : PropertyPage(FlagTemplate()), log_(log) {}
  int flag = 0;
  int saved = 0;
  void DoDataExchange(DataExchange& dx) override { dx.Check(kFlag, flag); }
  void OnOK() override {
    ++saved;
    log_.push_back("save " + GetTitle());
  }

 private:
  std::vector<std::string>& log_;
};

struct SheetFixture : ::testing::Test {
  ScriptedHost host;
  std::vector<std::string> log;
  FlagPage general{log};
  PortPage web{log};
  FlagPage third{log};
  PropertySheet sheet{"Manager Options"};
  void SetUp() override {
    third.SetTitle("About");
    sheet.AddPage(&general);
    sheet.AddPage(&web);
    sheet.AddPage(&third);
  }
};

TEST_F(SheetFixture, OkSavesEveryPageThatWasShownAndNoOther) {
  host.ExpectDialog("Manager Options", [&](DialogDriver& d) {
    EXPECT_EQ(d.Page().TemplateId(), 721);
    EXPECT_EQ(d.Visible(ID_APPLY_NOW), true);
    d.Page().Click(kFlag);
    d.SelectTab(1);
    EXPECT_EQ(d.Page().Text(kPort), "8047");
    d.Page().Type(kPort, "8050");
    d.Ok();
  });
  EXPECT_EQ(sheet.DoModal(), IDOK);
  EXPECT_EQ(general.flag, 1);
  EXPECT_EQ(web.port, 8050);
  EXPECT_EQ(log, (std::vector<std::string>{"init Web Server", "save General", "save Web Server 8050"}));
  EXPECT_EQ(third.saved, 0);  // never shown
  EXPECT_FALSE(general.IsOpen());
  EXPECT_FALSE(web.IsOpen());
}

TEST_F(SheetFixture, APageWithARefusedValueCannotBeLeftAndKeepsTheSheetOpen) {
  host.ExpectDialog("Manager Options", [&](DialogDriver& d) {
    d.SelectTab(1);
    d.Page().Type(kPort, "10000");
    host.ExpectNextMessageBox(IDOK, "between 1 and 9999 in \"Port\"");
    d.SelectTab(2);
    EXPECT_EQ(sheet.GetActiveIndex(), 1);
    EXPECT_EQ(d.Selection(kSheetTabsId), 1);
    EXPECT_EQ(d.Page().Focus(), kPort);
    host.ExpectNextMessageBox(IDOK, "between 1 and 9999");
    d.Ok();
    EXPECT_FALSE(d.Ended());
    d.Page().Type(kPort, "0");
    host.ExpectNextMessageBox(IDOK, "between 1 and 9999");
    d.Key(VK_TAB, kModCtrl);
    EXPECT_EQ(sheet.GetActiveIndex(), 1);
    d.Page().Type(kPort, "9999");
    d.Key(VK_TAB, kModCtrl);  // Ctrl+Tab: the next page
    EXPECT_EQ(sheet.GetActiveIndex(), 2);
    d.Key(VK_TAB, kModCtrl | kModShift);
    d.Key(VK_TAB, kModCtrl | kModShift);
    EXPECT_EQ(sheet.GetActiveIndex(), 0);
    d.Key(VK_TAB, kModCtrl | kModShift);  // from the first round to the last
    EXPECT_EQ(sheet.GetActiveIndex(), 2);
    d.Ok();
  });
  EXPECT_EQ(sheet.DoModal(), IDOK);
  EXPECT_EQ(web.port, 9999);
  EXPECT_EQ(web.saved, 1);
  EXPECT_EQ(third.saved, 1);
}

TEST_F(SheetFixture, ApplySavesWithoutClosingAndCancelTellsTheShownPages) {
  host.ExpectDialog("Manager Options", [&](DialogDriver& d) {
    EXPECT_FALSE(d.Enabled(ID_APPLY_NOW));
    general.SetModified();
    EXPECT_TRUE(d.Enabled(ID_APPLY_NOW));
    d.SelectTab(1).Page().Type(kPort, "81");
    d.Click(ID_APPLY_NOW);
    EXPECT_FALSE(d.Ended());
    EXPECT_FALSE(d.Enabled(ID_APPLY_NOW));
    EXPECT_EQ(web.port, 81);
    d.Page().Type(kPort, "82");
    d.Cancel();
  });
  EXPECT_EQ(sheet.DoModal(), IDCANCEL);
  EXPECT_EQ(web.port, 81);  // what Apply saved stays; the later edit is dropped
  EXPECT_EQ(log, (std::vector<std::string>{"init Web Server", "save General", "save Web Server 81", "cancel Web Server"}));
}

TEST(SheetTest, NoApplyButtonWhenAskedAndTheFirstPageIsChosenByTheCaller) {
  ScriptedHost host;
  std::vector<std::string> log;
  FlagPage general(log);
  PortPage web(log);
  PropertySheet sheet("About", 0, 1);
  sheet.SetFlags(PSH_NOAPPLYNOW);
  sheet.AddPage(&general);
  sheet.AddPage(&web);
  host.ExpectDialog("About", [&](DialogDriver& d) {
    EXPECT_EQ(d.window().GetDlgItem(ID_APPLY_NOW), nullptr);
    EXPECT_EQ(d.Page().TemplateId(), 720);
    d.Close();
  });
  EXPECT_EQ(sheet.DoModal(), IDCANCEL);
}

}  // namespace
}  // namespace platform
