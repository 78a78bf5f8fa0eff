// The tag editor and the field picker: which fields each layout has, the check boxes that
// make fields read-only at once, the ranges the editor refuses, the rating list (also for
// ratings outside it and an empty choice), the volume slider and the play count.
#include "tools/tag_edit_dlg.h"

#include <gtest/gtest.h>

#include "testing/processes.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"
#include "tools/field_swap_dlg.h"

namespace tools {
namespace {

using platform::DialogDriver;
using platform::IDCANCEL;
using platform::IDOK;
using D = TagEditDlg;

const bool kIsolated = platform::testing::IsolateNamespace();

constexpr int kAllOn[D::kFieldCount] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

TEST(TagEditDlgTest, EachLayoutHasItsFields) {
  const int kBasic[] = {D::kArtistId, D::kAlbumId, D::kTrackId, D::kTitleId, D::kYearId, D::kGenreId, D::kCommentId};
  const int kExtended[] = {D::kComposerId, D::kBpmId, D::kRatingId};
  const int kFull[] = {D::kVolumeId, D::kPlayCountId, D::kResetCountId};
  const struct {
    int id;
    bool extended, full;
  } kLayouts[] = {{D::kBasicTemplateId, false, false}, {D::kExtendedTemplateId, true, false}, {D::kFullTemplateId, true, true}};
  for (const auto& l : kLayouts) {
    SCOPED_TRACE(l.id);
    const platform::DialogTemplate& t = TagEditTemplate(l.id);
    EXPECT_EQ(t.caption, "Edit Track Information");
    for (int id : kBasic) EXPECT_NE(t.Find(id), nullptr) << id;
    for (int id : kExtended) EXPECT_EQ(t.Find(id) != nullptr, l.extended) << id;
    for (int id : kFull) EXPECT_EQ(t.Find(id) != nullptr, l.full) << id;
  }
}

TEST(TagEditDlgTest, AClearBoxMakesItsFieldReadOnlyAtOnceButTheValueIsStillExchanged) {
  platform::ScriptedHost host;
  int flags[D::kFieldCount] = {1, 0, 1, 1, 1, 1, 1, 1, 1, 0, 0};  // album, volume and rating off
  D dlg(D::kFullTemplateId, flags);
  dlg.artist = "Ada Lind";
  dlg.album = "North Light";
  dlg.genre = "Folk";
  dlg.volumeAdjustment = 40;
  host.ExpectDialog(D::kFullTemplateId, [&](DialogDriver& d) {
    auto& w = d.window();
    EXPECT_EQ(d.Check(D::kAlbumCheck), 0);
    EXPECT_TRUE(w.Edit(D::kAlbumId).IsReadOnly());
    EXPECT_FALSE(w.Edit(D::kArtistId).IsReadOnly());
    EXPECT_FALSE(d.Enabled(D::kRatingId));
    EXPECT_FALSE(d.Enabled(D::kVolumeId));
    EXPECT_EQ(d.Selection(D::kVolumeId), 40);
    EXPECT_EQ(w.Slider(D::kVolumeId).GetRangeMin(), -255);
    EXPECT_EQ(w.Slider(D::kVolumeId).GetRangeMax(), 255);
    EXPECT_EQ(w.Slider(D::kVolumeId).GetTicFreq(), 255);
    // Clearing Genre locks its edit at once; ticking Album and Volume frees them.
    d.Click(D::kGenreCheck);
    EXPECT_TRUE(w.Edit(D::kGenreId).IsReadOnly());
    d.Click(D::kAlbumCheck).Click(D::kVolumeCheck);
    EXPECT_FALSE(w.Edit(D::kAlbumId).IsReadOnly());
    EXPECT_TRUE(d.Enabled(D::kVolumeId));
    d.Type(D::kAlbumId, "South Light").DragSlider(D::kVolumeId, -20).Ok();
  });
  ASSERT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.apply, (std::array<int, D::kFieldCount>{1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 0}));
  EXPECT_EQ(dlg.album, "South Light");
  EXPECT_EQ(dlg.genre, "Folk");  // exchanged although its box is clear
  EXPECT_EQ(dlg.volumeAdjustment, -20);
}

TEST(TagEditDlgTest, NumbersOutsideTheirRangeAreRefusedAndTextsAreHeldTo255Bytes) {
  const struct {
    int id;
    const char* text;
    const char* refusal;
  } kCases[] = {
      {D::kYearId, "10000", "between 0 and 9999 in \"Year\""},
      {D::kTrackId, "10000", "between 0 and 9999 in \"Track #\""},
      {D::kBpmId, "10000", "between 0 and 9999 in \"BPM\""},
      {D::kYearId, "", "between 0 and 9999 in \"Year\""},
      {D::kBpmId, "9999", nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.id) + " " + c.text);
    platform::ScriptedHost host;
    D dlg(D::kExtendedTemplateId, kAllOn);
    host.ExpectDialog(D::kExtendedTemplateId, [&](DialogDriver& d) {
      d.Type(c.id, c.text);
      if (c.refusal != nullptr) host.ExpectNextMessageBox(IDOK, c.refusal);
      d.Ok();
      EXPECT_EQ(d.Ended(), c.refusal == nullptr);
      if (!d.Ended()) d.Cancel();
    });
    dlg.DoModal();
  }
  platform::ScriptedHost host;
  D dlg(D::kBasicTemplateId, kAllOn);
  host.ExpectDialog(D::kBasicTemplateId, [&](DialogDriver& d) { d.Type(D::kCommentId, std::string(300, 'c')).Ok(); });
  ASSERT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.comment, std::string(255, 'c'));
}

TEST(TagEditDlgTest, TheRatingListSelectsTheNearestEntryAndNothingChosenKeepsTheRating) {
  const struct {
    int rating;
    int entry;
  } kCases[] = {{60, 2}, {0, 5}, {100, 0}, {120, 0}, {255, 0}, {50, 3}, {19, 5}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.rating);
    platform::ScriptedHost host;
    D dlg(D::kExtendedTemplateId, kAllOn);
    dlg.rating = c.rating;
    host.ExpectDialog(D::kExtendedTemplateId, [&](DialogDriver& d) {
      EXPECT_EQ(d.Items(D::kRatingId),
                (std::vector<std::string>{"5 stars", "4 stars", "3 stars", "2 stars", "1 star", "no rating"}));
      EXPECT_EQ(d.Selection(D::kRatingId), c.entry);
      d.Cancel();
    });
    dlg.DoModal();
  }
  platform::ScriptedHost host;
  D dlg(D::kExtendedTemplateId, kAllOn);
  dlg.rating = 60;
  host.ExpectDialog(D::kExtendedTemplateId, [&](DialogDriver& d) { d.Select(D::kRatingId, "no rating").Ok(); });
  ASSERT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.rating, 0);
  dlg.rating = 80;
  host.ExpectDialog(D::kExtendedTemplateId, [&](DialogDriver& d) {
    d.window().List(D::kRatingId).SetCurSel(-1);
    d.Ok();
  });
  ASSERT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.rating, 80);  // not 100 - 20 * -1
}

TEST(TagEditDlgTest, ResetCountZeroesThePlayCountAndSaysSo) {
  platform::ScriptedHost host;
  D dlg(D::kFullTemplateId, kAllOn);
  dlg.playCount = 7;
  host.ExpectDialog(D::kFullTemplateId, [&](DialogDriver& d) {
    EXPECT_EQ(d.Text(D::kPlayCountId), "Play Count: 7  ");
    d.Click(D::kResetCountId);
    EXPECT_EQ(d.Text(D::kPlayCountId), "Play Count: 0  ");
    d.Ok();
  });
  ASSERT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.playCount, 0);
  EXPECT_TRUE(dlg.playCountReset);
}

TEST(FieldSwapDlgTest, ListsTheSevenFieldsUnderTheCallersTextsAndAnswersTwoNumbers) {
  platform::ScriptedHost host;
  CFieldSwapDlg dlg("Copy Tag Field", "Copy this field...", "to this field:");
  host.ExpectDialog(CFieldSwapDlg::kTemplateId, [&](DialogDriver& d) {
    EXPECT_EQ(d.Caption(), "Copy Tag Field");
    EXPECT_EQ(d.Text(CFieldSwapDlg::kFirstLabelId), "Copy this field...");
    EXPECT_EQ(d.Text(CFieldSwapDlg::kSecondLabelId), "to this field:");
    const std::vector<std::string> fields = {"Artist", "Album", "Track Number", "Title", "Year", "Genre", "Comment"};
    EXPECT_EQ(d.Items(CFieldSwapDlg::kFirstFieldId), fields);
    EXPECT_EQ(d.Items(CFieldSwapDlg::kSecondFieldId), fields);
    EXPECT_EQ(d.Selection(CFieldSwapDlg::kFirstFieldId), 0);
    EXPECT_EQ(d.Selection(CFieldSwapDlg::kSecondFieldId), 1);
    d.Select(CFieldSwapDlg::kFirstFieldId, "Year").Select(CFieldSwapDlg::kSecondFieldId, "Comment").Ok();
  });
  ASSERT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.firstField, 4);
  EXPECT_EQ(dlg.secondField, 6);
}

}  // namespace
}  // namespace tools
