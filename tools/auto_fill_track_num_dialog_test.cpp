// The numbering dialog: its defaults, the ranges it refuses while staying open, and the
// numbers a caller gives its tracks with the answer.
#include "tools/auto_fill_track_num_dialog.h"

#include <gtest/gtest.h>

#include "testing/processes.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"

namespace tools {
namespace {

using platform::DialogDriver;
using platform::IDCANCEL;
using platform::IDOK;

const bool kIsolated = platform::testing::IsolateNamespace();
constexpr int kStart = CAutoFillTrackNumDialog::kStartingNumberId;
constexpr int kStep = CAutoFillTrackNumDialog::kIncrementId;

TEST(AutoFillTrackNumTest, ZeroStartsButDoesNotStepAndFiveByTwoNumbersThreeTracksFiveSevenNine) {
  platform::ScriptedHost host;
  CAutoFillTrackNumDialog dlg;
  host.ExpectDialog(CAutoFillTrackNumDialog::kTemplateId, [&](DialogDriver& d) {
    EXPECT_EQ(d.Caption(), "Auto-Fill Track Numbers");
    EXPECT_EQ(d.Text(kStart), "1");
    EXPECT_EQ(d.Text(kStep), "1");
    d.Type(kStart, "0").Type(kStep, "0");
    host.ExpectNextMessageBox(IDOK, "between 1 and 9999 in \"Increment\"");
    d.Ok();
    EXPECT_FALSE(d.Ended());  // 0 was fine as a start; the increment keeps it open
    EXPECT_EQ(d.Focus(), kStep);
    d.Type(kStart, "5").Type(kStep, "2").Ok();
  });
  ASSERT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.startingNumber, 5);
  EXPECT_EQ(dlg.increment, 2);
  // A caller numbering its three tracks in its order.
  std::vector<std::int64_t> numbers;
  for (std::size_t i = 0; i < 3; ++i) numbers.push_back(dlg.NumberFor(i));
  EXPECT_EQ(numbers, (std::vector<std::int64_t>{5, 7, 9}));
}

TEST(AutoFillTrackNumTest, EachFieldKeepsItsOwnRange) {
  const struct {
    const char* start;
    const char* step;
    const char* refusal;  // nullptr: accepted
  } kCases[] = {
      {"0", "1", nullptr},
      {"9999", "9999", nullptr},
      {"10000", "1", "between 0 and 9999 in \"Starting Number\""},
      {"", "1", "between 0 and 9999 in \"Starting Number\""},
      {"1", "10000", "between 1 and 9999 in \"Increment\""},
      {"1", "", "between 1 and 9999 in \"Increment\""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.start) + " / " + c.step);
    platform::ScriptedHost host;
    CAutoFillTrackNumDialog dlg;
    host.ExpectDialog(CAutoFillTrackNumDialog::kTemplateId, [&](DialogDriver& d) {
      d.Type(kStart, c.start).Type(kStep, c.step);
      if (c.refusal != nullptr) host.ExpectNextMessageBox(IDOK, c.refusal);
      d.Ok();
      EXPECT_EQ(d.Ended(), c.refusal == nullptr);
      if (!d.Ended()) d.Cancel();
    });
    const int result = dlg.DoModal();
    EXPECT_EQ(result, c.refusal == nullptr ? IDOK : IDCANCEL);
    if (c.refusal != nullptr) {
      EXPECT_EQ(dlg.startingNumber, 1);  // a cancelled dialog leaves the caller's values
      EXPECT_EQ(dlg.increment, 1);
    }
  }
}

// The numbers go to the tag editor, which takes none past 9999: a start and a step that
// would number the caller's last track past it are refused, naming that number.
TEST(AutoFillTrackNumTest, NoTrackOfTheCallersIsNumberedPastTheEditorsLimit) {
  const struct {
    std::size_t tracks;
    const char* start;
    const char* step;
    const char* refusal;  // nullptr: accepted
    int focus;
  } kCases[] = {
      {5, "9995", "1", nullptr, 0},
      {5, "9996", "1", "would be numbered 10000", kStart},
      {5, "1", "2499", nullptr, 0},
      {5, "1", "2500", "would be numbered 10001", kStep},
      {5, "5000", "1500", "would be numbered 11000", kStep},
      {2, "9999", "1", "would be numbered 10000", kStart},
      {1, "9999", "9999", nullptr, 0},
      {0, "9999", "9999", nullptr, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.tracks) + " tracks from " + c.start + " by " + c.step);
    platform::ScriptedHost host;
    CAutoFillTrackNumDialog dlg(0, c.tracks);
    host.ExpectDialog(CAutoFillTrackNumDialog::kTemplateId, [&](DialogDriver& d) {
      d.Type(kStart, c.start).Type(kStep, c.step);
      if (c.refusal != nullptr) host.ExpectNextMessageBox(IDOK, c.refusal);
      d.Ok();
      EXPECT_EQ(d.Ended(), c.refusal == nullptr);
      if (c.refusal != nullptr) {
        EXPECT_EQ(d.Focus(), c.focus);
      }
      if (!d.Ended()) d.Cancel();
    });
    dlg.DoModal();
    for (std::size_t i = 0; c.refusal == nullptr && i < c.tracks; ++i) {
      EXPECT_LE(dlg.NumberFor(i), TagEditDlg::kMaxTrackNumber);
    }
  }
}

}  // namespace
}  // namespace tools
