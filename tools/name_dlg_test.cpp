// The name dialog and the progress pop-up that many commands share.
#include "tools/name_dlg.h"

#include <gtest/gtest.h>

#include "testing/processes.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"

namespace shellext {
namespace {

using platform::DialogDriver;
using platform::IDCANCEL;
using platform::IDOK;

const bool kIsolated = platform::testing::IsolateNamespace();

TEST(NameDlgTest, OkHandsBackTheEditedNameAndEveryOtherWayOutCancels) {
  const struct {
    const char* way;
    std::function<void(DialogDriver&)> leave;
    int result;
    const char* name;
  } kWays[] = {
      {"OK", [](DialogDriver& d) { d.Ok(); }, IDOK, "Road Trip"},
      {"Enter", [](DialogDriver& d) { d.Key(platform::VK_RETURN); }, IDOK, "Road Trip"},
      {"Cancel", [](DialogDriver& d) { d.Cancel(); }, IDCANCEL, "type name here"},
      {"Escape", [](DialogDriver& d) { d.Key(platform::VK_ESCAPE); }, IDCANCEL, "type name here"},
      {"close box", [](DialogDriver& d) { d.Close(); }, IDCANCEL, "type name here"},
  };
  for (const auto& way : kWays) {
    SCOPED_TRACE(way.way);
    platform::ScriptedHost host;
    CNameDlg dlg(0, "Playlist Name");
    dlg.name = "type name here";
    host.ExpectDialog(CNameDlg::kTemplateId, [&](DialogDriver& d) {
      EXPECT_EQ(d.Caption(), "Playlist Name");
      EXPECT_EQ(d.Text(CNameDlg::kNameId), "type name here");
      d.Type(CNameDlg::kNameId, "Road Trip");
      way.leave(d);
    });
    EXPECT_EQ(dlg.DoModal(), way.result);
    EXPECT_EQ(dlg.name, way.name);
  }
  // Blank names are the caller's to refuse: the dialog hands them back.
  platform::ScriptedHost host;
  CNameDlg dlg;
  host.ExpectDialog(CNameDlg::kTemplateId, [](DialogDriver& d) { d.Type(CNameDlg::kNameId, "   ").Ok(); });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.name, "   ");
}

TEST(DeleteDialogTest, StartShowsTheTitleAndAnEmptyBarThatStepsAndClosesCleanly) {
  platform::ScriptedHost host;
  CDeleteDialog popup;
  EXPECT_FALSE(popup.IsOpen());
  popup.Step();  // nothing to step yet
  popup.Start("Deleting tracks...", 3);
  ASSERT_TRUE(popup.IsOpen());
  ASSERT_NE(popup.progress, nullptr);
  EXPECT_EQ(host.FindOpenWindow(CDeleteDialog::kTemplateId), &popup);
  EXPECT_TRUE(popup.IsWindowVisible());
  EXPECT_TRUE(popup.IsCentred());
  EXPECT_EQ(popup.GetWindowText(), "Deleting tracks...");
  EXPECT_EQ(popup.GetDlgItemText(CDeleteDialog::kTextId), "Preparing to delete...");
  EXPECT_EQ(popup.progress->GetRangeMax(), 3);
  EXPECT_EQ(popup.progress->GetPos(), 0);
  popup.SetItemText("One.mp3");
  popup.Step();
  popup.Step();
  EXPECT_EQ(popup.progress->GetPos(), 2);
  EXPECT_EQ(popup.GetDlgItemText(CDeleteDialog::kTextId), "One.mp3");
  popup.UserKey(platform::VK_ESCAPE);  // the work closes it, not a key
  EXPECT_TRUE(popup.IsOpen());
  popup.Close();
  EXPECT_FALSE(popup.IsOpen());
  EXPECT_EQ(popup.progress, nullptr);
  EXPECT_TRUE(host.OpenWindows().empty());

  popup.Start("Updating tag information", 0);  // no steps: an empty bar
  EXPECT_EQ(popup.progress->GetPos(), 0);
  popup.Step();
  EXPECT_EQ(popup.progress->GetPos(), 0);
  EXPECT_EQ(popup.GetDlgItemText(CDeleteDialog::kTextId), "Preparing to delete...");  // a fresh window
  popup.Close();
  popup.Close();
  EXPECT_TRUE(host.OpenWindows().empty());
}

}  // namespace
}  // namespace shellext
