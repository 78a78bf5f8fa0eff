// Dialogs through the scripted host: data exchange both ways with range refusals, the ways
// a dialog ends, radio groups, the driver's refusals, and messages that reach a dialog's
// handle from timers and from another process while work runs.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>

#include "testing/processes.h"
#include "platform/paths/paths.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"
#include "platform/window/wait.h"

namespace platform {
namespace {

const bool kIsolated = testing::IsolateNamespace();

enum : int { kCount = 1001, kName = 1002, kLoud = 1003, kModeA = 1004, kModeB, kModeC, kOtherX, kOtherY };

const DialogTemplate& NumbersTemplate() {
  using namespace layout;
  static const DialogTemplate t = MakeTemplate(
      700, "Numbers",
      Column({Row({Text("Track &count:"), Edit(kCount).Number()}), Row({Text("Name:"), Edit(kName)}),
              Check(kLoud, "Loud"),
              Group("Mode", {Radio(kModeA, "A").GroupStart(), Radio(kModeB, "B"), Radio(kModeC, "C")}),
              Group("Other", {Radio(kOtherX, "X").GroupStart(), Radio(kOtherY, "Y")}),
              Buttons({DefaultButton(IDOK, "OK"), Button(IDCANCEL, "Cancel")})}));
  return t;
}

class NumbersDialog : public Dialog {
 public:
  NumbersDialog() : Dialog(NumbersTemplate()) {}
  int count = 3;
  std::string name = "mix";
  int loud = 1;
  int mode = 1;
  int other = 0;
  void DoDataExchange(DataExchange& dx) override {
    dx.Int(kCount, count, 1, 99);
    dx.Text(kName, name, 8);
    dx.Check(kLoud, loud);
    dx.Radio(kModeA, mode);
    dx.Radio(kOtherX, other);
  }
};

TEST(TemplateTest, LabelsComeFromTheTextBeforeAControlAndIdsAreUnique) {
  const DialogTemplate& t = NumbersTemplate();
  EXPECT_EQ(t.Find(kCount)->label, "Track count");
  EXPECT_EQ(t.Find(kName)->label, "Name");
  EXPECT_EQ(t.Find(kLoud)->label, "Loud");
  EXPECT_EQ(t.Find(IDOK)->label, "OK");
  EXPECT_EQ(t.Find(IDC_STATIC), nullptr);
  using namespace layout;
  EXPECT_EQ(MakeTemplate(1, "", Group("Temporary Files Directory", {Edit(5)})).Find(5)->label,
            "Temporary Files Directory");
  EXPECT_THROW(MakeTemplate(1, "Twice", Column({Edit(5), Check(5, "again")})), std::logic_error);
  EXPECT_NO_THROW(MakeTemplate(1, "Statics", Column({Text("a"), Text("b")})));
  const struct {
    const char* in;
    const char* out;
  } kLabels[] = {{"&Browse ...", "Browse ..."}, {"Starting Number:", "Starting Number"}, {"R&&B:", "R&B"},
                 {"  Volume  ", "Volume"},      {"Path: :", "Path"},                     {"", ""}};
  for (const auto& c : kLabels) EXPECT_EQ(CleanLabel(c.in), c.out) << c.in;
}

TEST(DialogTest, ARefusedValueNamesTheFieldAndItsRangeAndKeepsTheDialogOpen) {
  ScriptedHost host;
  NumbersDialog dlg;
  host.ExpectDialog(700, [&](DialogDriver& d) {
    EXPECT_EQ(d.Text(kCount), "3");
    EXPECT_EQ(d.Text(kName), "mix");
    EXPECT_EQ(d.Check(kModeB), 1);
    EXPECT_EQ(d.Check(kOtherX), 1);
    d.Type(kCount, "150");
    host.ExpectNextMessageBox(IDOK, "between 1 and 99 in \"Track count\"");
    d.Ok();
    EXPECT_FALSE(d.Ended());
    EXPECT_EQ(d.Focus(), kCount);
    EXPECT_EQ(dlg.count, 3);  // nothing taken from a refused exchange
    d.Type(kCount, "");
    host.ExpectNextMessageBox(IDOK, "between 1 and 99");
    d.Ok();
    d.Type(kCount, "42").Type(kName, "too long a name");
    host.ExpectNextMessageBox(IDOK, "no more than 8 characters in \"Name\"");
    d.Ok();
    EXPECT_FALSE(d.Ended());
    d.Type(kName, "road").Click(kLoud).Click(kModeC).Ok();
    EXPECT_TRUE(d.Ended());
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.count, 42);
  EXPECT_EQ(dlg.name, "road");
  EXPECT_EQ(dlg.loud, 0);
  EXPECT_EQ(dlg.mode, 2);
  EXPECT_EQ(dlg.other, 0);  // the other group kept its choice
  EXPECT_FALSE(dlg.IsOpen());
  auto prompts = host.prompts();
  ASSERT_EQ(prompts.size(), 4u);
  EXPECT_EQ(prompts[0].kind, PromptKind::Dialog);
  EXPECT_EQ(prompts[0].answer, IDOK);
  EXPECT_EQ(prompts[1].caption, "Numbers");  // the refusal is captioned with its dialog
}

// Paths are kept in the system's form but shown and typed as the desktop writes them.
TEST(DialogTest, APathBoxShowsAndTakesTheDesktopsForm) {
  ::setenv("TOVARIN_DRIVES", "C=/srv/c", 1);
  struct PathDialog : Dialog {
    PathDialog() : Dialog(NumbersTemplate()) {}
    std::string path;
    void DoDataExchange(DataExchange& dx) override { dx.Path(kName, path); }
  };
  const struct {
    std::string stored;
    std::string shown;
    std::optional<std::string> typed;  // nullopt: left as shown
    std::string kept;
  } kCases[] = {
      {"C:\\music", "/srv/c/music", std::nullopt, "C:\\music"},  // untouched: kept to the byte
      {"C:\\music", "/srv/c/music", "/srv/c/other ", "C:\\other"},
      {"C:\\music", "/srv/c/music", "/home/a", "\\home\\a"},
      {"", "", std::nullopt, ""},
      {"", "", "D:\\x", "D:\\x"},  // the system's own form, as typed
      {"\\home\\b", "/home/b", "", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.stored + " -> " + c.typed.value_or("(as shown)"));
    ScriptedHost host;
    PathDialog dlg;
    dlg.path = c.stored;
    host.ExpectDialog(700, [&](DialogDriver& d) {
      EXPECT_EQ(d.Text(kName), c.shown);
      if (c.typed) d.Type(kName, *c.typed);
      d.Ok();
    });
    dlg.DoModal();
    EXPECT_EQ(dlg.path, c.kept);
  }
  ::unsetenv("TOVARIN_DRIVES");
}

TEST(DialogTest, EveryWayOutButOkAnswersCancelWhateverWasTyped) {
  const struct {
    const char* way;
    std::function<void(DialogDriver&)> leave;
    int result;
  } kWays[] = {
      {"Cancel", [](DialogDriver& d) { d.Cancel(); }, IDCANCEL},
      {"Escape", [](DialogDriver& d) { d.Key(VK_ESCAPE); }, IDCANCEL},
      {"close box", [](DialogDriver& d) { d.Close(); }, IDCANCEL},
      {"Enter presses the default button", [](DialogDriver& d) { d.Key(VK_RETURN); }, IDOK},
  };
  for (const auto& way : kWays) {
    SCOPED_TRACE(way.way);
    ScriptedHost host;
    NumbersDialog dlg;
    host.ExpectDialog(700, [&](DialogDriver& d) {
      d.Type(kCount, "7");
      way.leave(d);
    });
    EXPECT_EQ(dlg.DoModal(), way.result);
    EXPECT_EQ(dlg.count, way.result == IDOK ? 7 : 3);
  }
}

TEST(DialogTest, ScriptingMistakesAreTestFailures) {
  {
    ScriptedHost host;
    NumbersDialog dlg;
    int result = 0;
    EXPECT_NONFATAL_FAILURE(result = dlg.DoModal(), "unexpected modal dialog");
    EXPECT_EQ(result, IDCANCEL);
  }
  {
    ScriptedHost host;
    NumbersDialog dlg;
    host.ExpectDialog(700, [](DialogDriver& d) { d.Type(kCount, "5"); });
    EXPECT_NONFATAL_FAILURE(dlg.DoModal(), "left open by its script");
  }
  {
    ScriptedHost host;
    NumbersDialog dlg;
    host.ExpectDialog(700, [&](DialogDriver& d) {
      dlg.EnableDlgItem(kLoud, false);
      EXPECT_NONFATAL_FAILURE(d.Click(kLoud), "is disabled");
      dlg.ShowDlgItem(kName, false);
      EXPECT_NONFATAL_FAILURE(d.Type(kName, "x"), "is hidden");
      EXPECT_NONFATAL_FAILURE(d.Click(4242), "does not exist");
      EXPECT_NONFATAL_FAILURE(d.Type(kCount, "12a"), "cannot type");  // a number edit takes digits
      d.Cancel();
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.loud, 1);
  }
  {
    ScriptedHost host;
    NumbersDialog dlg;
    host.ExpectMessageBox(IDOK);
    EXPECT_NONFATAL_FAILURE(dlg.DoModal(), "a message box was expected next");
    EXPECT_EQ(host.pendingAnswers(), 1u);
    host.MessageBox("then", "Numbers", MB_OK);
  }
}

// A modeless progress window that counts the messages it gets.
constexpr UINT kProgressMessage = WM_USER + 5;
enum : int { kStatus = 1001, kBar = 1002 };

const DialogTemplate& ProgressTemplate() {
  using namespace layout;
  static const DialogTemplate t =
      MakeTemplate(701, "Working...", Column({Text("Starting...", kStatus).Width(30), Progress(kBar)}),
                   kFrameCaption | kFrameToolWindow | kFrameVisible);
  return t;
}

class ProgressWindow : public Dialog {
 public:
  ProgressWindow() : Dialog(ProgressTemplate()) {
    HandleMessage(kProgressMessage, [this](WPARAM, LPARAM l) {
      ++received;
      last = l;
      SetDlgItemText(kStatus, "Item " + std::to_string(l));
      return 0;
    });
    HandleTimer(7, [this] { ++ticks; });
  }
  int received = 0;
  LPARAM last = -1;
  int ticks = 0;
};

TEST(DialogTest, AModelessWindowLivesWithItsHostAndHearsItsTimer) {
  ScriptedHost host;
  {
    ProgressWindow w;
    ASSERT_TRUE(w.Create());
    EXPECT_TRUE(w.IsWindowVisible());
    EXPECT_EQ(host.FindOpenWindow(701), &w);
    EXPECT_EQ(UiWindow::FromHandle(w.GetSafeHwnd()), &w);
    ASSERT_TRUE(w.SetTimer(7, 5));
    const auto start = std::chrono::steady_clock::now();
    while (w.ticks < 2 && testing::ElapsedMs(start) < 5000) PumpMessages(1);
    EXPECT_GE(w.ticks, 2);
    const HWND h = w.GetSafeHwnd();
    SendMessage(h, WM_CLOSE, 0, 0);  // a modeless window closes itself
    EXPECT_FALSE(w.IsOpen());
    EXPECT_FALSE(IsWindow(h));
    EXPECT_TRUE(host.OpenWindows().empty());
    ASSERT_TRUE(w.Create());  // and can be made again
  }
  EXPECT_TRUE(host.OpenWindows().empty());  // destroying the object closes it
}

TEST(DialogTest, AModelessProgressWindowServesMessagesPostedFromAnotherProcessWhileWorkRuns) {
  ScriptedHost host;
  ProgressWindow w;
  ASSERT_TRUE(w.Create());
  w.Progress(kBar).SetRange32(0, 1000);
  w.Progress(kBar).SetStep(1);
  constexpr int kPosts = 200;
  testing::ChildProcess poster("window_test_helper", {"poster", std::to_string(w.GetSafeHwnd()), "0",
                                                      std::to_string(kPosts)});
  ASSERT_TRUE(poster.started());
  // The work: a step at a time, pumping after each, as long operations do.
  int steps = 0;
  const auto start = std::chrono::steady_clock::now();
  while (w.received < kPosts && testing::ElapsedMs(start) < 10000) {
    w.Progress(kBar).StepIt();
    ++steps;
    PumpMessages(1);
  }
  EXPECT_EQ(poster.ReadLine(), "done 0");
  EXPECT_EQ(w.received, kPosts);
  EXPECT_EQ(w.last, kPosts - 1);  // in order, none lost
  EXPECT_EQ(w.GetDlgItemText(kStatus), "Item " + std::to_string(kPosts - 1));
  EXPECT_GT(steps, 0);
  EXPECT_TRUE(w.IsOpen());
}

TEST(DialogTest, AWindowOutlivingItsHostForgetsIt) {
  ProgressWindow w;
  {
    ScriptedHost host;
    ASSERT_TRUE(w.Create());
  }
  EXPECT_TRUE(w.DestroyWindow());  // the host is gone: nothing to tell
}

TEST(DialogTest, FilesDroppedOnAWindowArriveInTheSystemsFormOnlyWhenItTakesThem) {
  ScriptedHost host;
  ProgressWindow w;
  std::vector<std::string> dropped;
  w.HandleDropFiles([&](const std::vector<std::string>& paths, Point) { dropped = paths; });
  EXPECT_FALSE(w.UserDropFiles({"/home/me/a.mp3"}));  // not made yet
  ASSERT_TRUE(w.Create());
  EXPECT_FALSE(w.UserDropFiles({"/home/me/a.mp3"}));  // does not take files
  w.DragAcceptFiles();
  EXPECT_TRUE(w.UserDropFiles({"/home/me/a.mp3", "/mnt/music/b c.flac"}));
  EXPECT_EQ(dropped, (std::vector<std::string>{FromPosixPath("/home/me/a.mp3"), FromPosixPath("/mnt/music/b c.flac")}));
}

// A pane of a frame: other processes find it by its class and reach it by posting.
TEST(ViewTest, AViewIsFoundByItsClassAndHearsPostsFromAnotherProcess) {
  ScriptedHost host;
  using namespace layout;
  static const DialogTemplate t = MakeTemplate(0, "", Column({ListView(1001).Expand()}), kFrameChild);
  View view(t, "Test Folder View Class");
  int posted = 0;
  view.HandleMessage(kProgressMessage, [&](WPARAM, LPARAM) { return ++posted; });
  ASSERT_TRUE(view.Create(0));
  EXPECT_EQ(FindWindow("test folder view class"), view.GetSafeHwnd());
  EXPECT_EQ(host.OpenWindows(), (std::vector<UiWindow*>{&view}));
  EXPECT_EQ(view.ListView(1001).GetItemCount(), 0);
  testing::ChildProcess poster("window_test_helper", {"poster", std::to_string(view.GetSafeHwnd()), "0", "3"});
  const auto start = std::chrono::steady_clock::now();
  while (posted < 3 && testing::ElapsedMs(start) < 10000) PumpMessages(1);
  EXPECT_EQ(posted, 3);
  view.Destroy();
  EXPECT_EQ(FindWindow("Test Folder View Class"), 0u);
  EXPECT_TRUE(host.OpenWindows().empty());
}

}  // namespace
}  // namespace platform
