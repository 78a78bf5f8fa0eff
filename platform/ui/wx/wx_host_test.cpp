// The real-window host on a (virtual) display: messages from other threads and processes
// and timers reach their windows while a modal dialog runs; PumpMessages keeps the
// toolkit's events going; what code changes shows on screen and what a person does
// reaches the core; message boxes answer with the button chosen; pickers cancel; the
// clipboard holds text and file lists. Runs under tests/gui/headless; skipped without a
// display.
#include "platform/ui/wx/wx_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

#include <X11/keysym.h>

#include "testing/person.h"
#include "testing/processes.h"
#include "testing/tray.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/desktop.h"
#include "platform/ui/list_view.h"
#include "platform/ui/menu.h"
#include "platform/ui/tree_view.h"
#include "platform/ui/ui_window.h"
#include "platform/window/wait.h"

namespace platform {
namespace {

const bool kIsolated = testing::IsolateNamespace();
constexpr int kName = 100;
constexpr int kCount = 101;
constexpr int kFlag = 102;
constexpr int kBar = 103;

const DialogTemplate& TestTemplate() {
  using namespace layout;
  static const DialogTemplate t = MakeTemplate(
      900, "Test Dialog",
      Column({Row({Text("Name:"), Edit(kName).Width(20)}), Row({Text("Count:"), Edit(kCount).Number().Width(6)}),
              Check(kFlag, "Flag"), Progress(kBar),
              Buttons({DefaultButton(IDOK, "OK"), Button(IDCANCEL, "Cancel")})}));
  return t;
}

class TestDialog : public Dialog {
 public:
  TestDialog() : Dialog(TestTemplate()) {}
  std::string name = "first";
  int count = 3;
  int flag = 0;
  void DoDataExchange(DataExchange& dx) override {
    dx.Text(kName, name);
    dx.Int(kCount, count, 0, 99);
    dx.Check(kFlag, flag);
  }
};

class WxHostTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (HasDisplay()) host_ = WxHost::Open("wx_host_test").release();
  }
  static void TearDownTestSuite() {
    delete host_;
    host_ = nullptr;
  }
  void SetUp() override {
    if (host_ == nullptr) GTEST_SKIP() << "no display (run under tests/gui/headless)";
  }
  void TearDown() override {
    if (host_ != nullptr) host_->SetPromptObserver({});
  }
  static WxHost* host_;
};
WxHost* WxHostTest::host_ = nullptr;

const RenderedControl* Find(const std::vector<RenderedControl>& controls, int id) {
  for (const auto& c : controls) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

// While a modal dialog runs, posts from another thread and from another process, and the
// window's timer, are served by the dialog's loop.
TEST_F(WxHostTest, MessagesAndTimersArriveWhileADialogIsOpen) {
  RegisterClass("Wx Test Receiver");
  std::atomic<int> posted{0};
  int ticks = 0;
  HWND receiver = CreateWindow("Wx Test Receiver", 0, [&](HWND h, UINT m, WPARAM w, LPARAM) -> LRESULT {
    if (m == WM_USER + 5 || m == WM_USER + 1) ++posted;
    if (m == WM_TIMER && w == 7) {
      ++ticks;
      KillTimer(h, 7);
    }
    return 0;
  });
  ASSERT_NE(receiver, 0u);
  bool served = false;
  host_->SetPromptObserver([&](WxPrompt& p) {
    SetTimer(receiver, 7, 30);
    std::thread([receiver] { PostMessage(receiver, WM_USER + 1, 0, 0); }).join();
    testing::ChildProcess poster("window_test_helper", {"poster", std::to_string(receiver), "0", "1"});
    served = host_->PumpUntil([&] { return posted.load() == 2 && ticks == 1; }, 10000);
    p.Cancel();
  });
  TestDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_TRUE(served);
  DestroyWindow(receiver);
}

// A window that a modal dialog's command opens and waits for (a transfer's window over the
// dialog that started it) takes a person's clicks: the dialog's hold on the input does not
// leave it dead, and the dialog has it back once the window is gone.
TEST_F(WxHostTest, AWindowOpenedOverAModalDialogTakesClicks) {
  auto click = [](const Rect& r) {
    // Away first: a move to where the pointer already is would never be seen.
    testing::ChildProcess xdotool("/usr/bin/xdotool",
                                  {"mousemove", "--sync", "0", "0", "mousemove", "--sync", std::to_string((r.left + r.right) / 2),
                                   std::to_string((r.top + r.bottom) / 2), "click", "1"});
    return xdotool.Wait() == 0;
  };
  bool overTookIt = false, dialogHasItBack = false;
  UiWindow* modal = nullptr;
  host_->SetPromptObserver([&](WxPrompt& p) {
    host_->SetPromptObserver({});
    modal = p.window();
    TestDialog over;
    ASSERT_TRUE(over.Create(modal->GetSafeHwnd()));
    over.ShowWindow(SW_SHOW);
    std::optional<Rect> box;
    host_->PumpUntil([&] { return (box = host_->ScreenRect(over, kFlag)).has_value(); }, 10000);
    ASSERT_TRUE(box.has_value());
    for (int i = 0; i < 3 && !overTookIt; ++i) {
      ASSERT_TRUE(click(*box));
      overTookIt = host_->PumpUntil([&] { return over.IsDlgButtonChecked(kFlag) != 0; }, 2000);
    }
    over.DestroyWindow();
    const std::optional<Rect> own = host_->ScreenRect(*modal, kFlag);
    ASSERT_TRUE(own.has_value());
    for (int i = 0; i < 3 && !dialogHasItBack; ++i) {
      ASSERT_TRUE(click(*own));
      dialogHasItBack = host_->PumpUntil([&] { return modal->IsDlgButtonChecked(kFlag) != 0; }, 2000);
    }
    p.Cancel();
  });
  TestDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_TRUE(overTookIt);
  EXPECT_TRUE(dialogHasItBack);
}

// A long operation that only calls PumpMessages still lets the toolkit run.
TEST_F(WxHostTest, PumpMessagesRunsTheToolkitsEvents) {
  TestDialog dialog;
  ASSERT_TRUE(dialog.Create());
  dialog.ShowWindow(SW_SHOW);
  bool called = false;
  host_->CallSoon([&] { called = true; });
  for (int i = 0; i < 200 && !called; ++i) PumpMessages(1);
  EXPECT_TRUE(called);
  dialog.DestroyWindow();
}

// What code sets shows in the widgets; what a person types, clicks and refuses reaches
// the core.
TEST_F(WxHostTest, CodeChangesShowAndAPersonsActionsReachTheCore) {
  std::vector<std::string> faults;
  host_->SetPromptObserver([&](WxPrompt& p) {
    UiWindow& w = *p.window();
    w.SetDlgItemText(kName, "second");
    w.EnableDlgItem(kCount, false);
    w.Progress(kBar).SetRange32(0, 4);
    w.Progress(kBar).SetPos(3);
    auto shown = p.Controls();
    if (Find(shown, kName)->text != "second") faults.push_back("text not shown");
    if (Find(shown, kCount)->enabled) faults.push_back("still enabled");
    if (Find(shown, kBar)->position != 3 || Find(shown, kBar)->rangeMax != 4) faults.push_back("bar not shown");
    if (p.Type(kCount, "7")) faults.push_back("typed into a disabled field");
    w.EnableDlgItem(kCount, true);
    p.Type(kCount, "1x");  // a number field takes no letters: the core refuses, the widget follows
    if (Find(p.Controls(), kCount)->text != "3") faults.push_back("letters stayed in the number field");
    p.Type(kCount, "42");
    p.SetCheck(kFlag, true);
    p.Click(IDOK);
  });
  TestDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(faults, std::vector<std::string>{});
  EXPECT_EQ(dialog.name, "second");
  EXPECT_EQ(dialog.count, 42);
  EXPECT_EQ(dialog.flag, 1);
}

using platform::testing::Person;

// What a person does with the display's own pointer and keys, under a window manager
// (a CTest entry of its own runs these with one).
class WxHostPersonTest : public WxHostTest {};

// A pop-up menu opened from a modal dialog (a context menu of its list, say) runs the
// command a person clicks or picks with the keys, like one opened from any other window.
TEST_F(WxHostPersonTest, APopupMenuOpenedFromAModalDialogRunsTheCommandAPersonPicks) {
  Person person;
  ASSERT_TRUE(person.ok());
  Menu menu;
  menu.Append(MF_STRING, 41, "First");
  menu.Append(MF_STRING, 42, "Second");
  menu.Append(MF_STRING, 43, "Third");
  for (const bool mouse : {true, false}) {
    UINT chosen = 0;
    bool shown = false;
    host_->SetPromptObserver([&](WxPrompt& p) {
      if (p.kind() == WxPrompt::Kind::Dialog) {
        chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, 200, 200, p.window()->GetSafeHwnd());
        p.Cancel();
        return;
      }
      ASSERT_EQ(p.kind(), WxPrompt::Kind::Menu);
      shown = true;
      if (mouse) {
        const std::optional<Rect> r = p.ItemRect(42);
        ASSERT_TRUE(r.has_value());
        person.ClickAt((r->left + r->right) / 2, (r->top + r->bottom) / 2);
      } else {
        person.Key(XK_Down);
        person.Key(XK_Down);
        person.Key(XK_Return);
      }
      // The menu closes on the person's act; one still open then is closed for them.
      if (!host_->PumpUntil([&] { return !p.ItemRect(42).has_value(); }, 5000)) p.Cancel();
    });
    TestDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_TRUE(shown);
    EXPECT_EQ(chosen, 42u) << (mouse ? "clicked" : "keys");
  }
}

// After the rows are filled again with one row selected again (as a list does after an
// edit), a click on another row selects that row alone, in the widget and in the core.
constexpr int kRows = 104;

// A dialog of four rows that fills them again, some selected, as a list does after an edit.
class RowsDialog : public Dialog {
 public:
  RowsDialog() : Dialog(Template()) {}
  static const DialogTemplate& Template() {
    using namespace layout;
    static const DialogTemplate t = MakeTemplate(
        903, "Rows", Column({layout::ListView(kRows).Lines(6).Width(40), Buttons({DefaultButton(IDOK, "OK")})}));
    return t;
  }
  void Fill(const std::vector<int>& selected) {
    ListViewControl& list = ListView(kRows);
    list.DeleteAllItems();
    for (int i = 0; i < 4; ++i) {
      const int row = list.InsertItem(i, "Row " + std::to_string(i));
      if (std::find(selected.begin(), selected.end(), i) != selected.end()) {
        list.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
      }
    }
  }
  bool OnInitDialog() override {
    Dialog::OnInitDialog();
    ListView(kRows).InsertColumn(0, {"Name", 200});
    Fill({});
    return true;
  }
};

TEST_F(WxHostPersonTest, AClickOnAnotherRowSelectsItAloneAfterTheRowsAreFilledAgain) {
  Person person;
  ASSERT_TRUE(person.ok());
  RowsDialog dialog;
  std::vector<int> after;
  host_->SetPromptObserver([&](WxPrompt& p) {
    ListViewControl& list = dialog.ListView(kRows);
    // Row 1 was edited: the list is filled again with it selected.
    dialog.Fill({1});
    // The window manager may still be placing the dialog: a click that landed before it
    // was placed changes nothing and is made again where the row now is.
    for (int attempt = 0; attempt < 3 && list.GetSelectedRows() == std::vector<int>{1}; ++attempt) {
      host_->Settle(2000);
      const std::optional<Rect> three = host_->ScreenRect(dialog, kRows, 3);
      ASSERT_TRUE(three.has_value());
      person.ClickAt((three->left + three->right) / 2, (three->top + three->bottom) / 2);
      host_->PumpUntil([&] { return list.GetSelectedRows() != std::vector<int>{1}; }, 3000);
    }
    host_->Settle(2000);
    after = list.GetSelectedRows();
    p.Cancel();
  });
  dialog.DoModal();
  EXPECT_EQ(after, std::vector<int>{3});
}

// A message box holds its whole title, shows the icon its flags name, and Enter chooses
// its default button (Yes unless another is named).
TEST_F(WxHostPersonTest, EnterChoosesTheMessageBoxsDefaultButton) {
  Person person;
  ASSERT_TRUE(person.ok());
  const struct {
    UINT flags;
    int expected;
  } cases[] = {{MB_YESNO | MB_ICONQUESTION, IDYES},
               {MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, IDNO},
               {MB_OKCANCEL | MB_ICONEXCLAMATION, IDOK}};
  for (const auto& c : cases) {
    host_->SetPromptObserver([&](WxPrompt& p) {
      ASSERT_EQ(p.kind(), WxPrompt::Kind::MessageBox);
      if (const char* out = std::getenv("TOVARIN_GUI_OUT"); out != nullptr && c.expected == IDYES) {
        p.SaveImage(std::string(out) + "/message_box_question.png");
      }
      // A key pressed before the box is active is lost, and the box would wait for good.
      EXPECT_TRUE(host_->PumpUntil([&] { return person.ActiveCaption() == p.caption(); }, 5000));
      person.Key(XK_Return);
    });
    EXPECT_EQ(host_->MessageBox("Remove it?", "Remove the Playlist from the Player", c.flags), c.expected) << c.flags;
  }
}

// The mean colour of some pixels.
struct Mean {
  double r = 0, g = 0, b = 0;
};
Mean MeanOf(const std::vector<COLORREF>& pixels) {
  Mean m;
  for (COLORREF c : pixels) {
    m.r += GetRValue(c);
    m.g += GetGValue(c);
    m.b += GetBValue(c);
  }
  const double n = pixels.empty() ? 1.0 : static_cast<double>(pixels.size());
  return {m.r / n, m.g / n, m.b / n};
}

// A person's double click on a tray icon reaches its window as one double click (the
// desktop reports each of its clicks), and a later double click as one more. The icons of a
// connected and of a disconnected player, as the tray shows them, differ at a glance.
TEST_F(WxHostPersonTest, ADoubleClickOnATrayIconReachesItsWindowOnce) {
  Person person;
  ASSERT_TRUE(person.ok());
  testing::Tray tray;
  ASSERT_TRUE(tray.started()) << "trayer could not be started";
  RegisterClass("Wx Tray Owner");
  int doubleClicks = 0;
  HWND owner = CreateWindow("Wx Tray Owner", 0, [&](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m == WM_USER + 1 && l == static_cast<LPARAM>(WM_LBUTTONDBLCLK)) ++doubleClicks;
    return DefWindowProc(h, m, w, l);
  });
  TrayIcon icon{owner, 1, WM_USER + 1, "tovarin-player-connected", "Test Jukebox"};
  ASSERT_TRUE(ShellNotifyIcon(NIM_ADD, icon));
  // The tray grows to hold the icon after taking it: the icon's place holds once it lies
  // wholly on the screen and stays there while nothing else happens.
  const int screenWidth = host_->GetSystemMetric(SM_CXSCREEN);
  std::optional<Rect> place;
  ASSERT_TRUE(host_->PumpUntil(
      [&] {
        const std::optional<Rect> before = host_->TrayIconRect(owner, 1);
        host_->Settle(1000);
        place = host_->TrayIconRect(owner, 1);
        return place.has_value() && place == before && place->right <= screenWidth;
      },
      15000))
      << "the icon never sat in the tray";
  const Rect at = *place;
  for (int gesture = 1; gesture <= 2; ++gesture) {
    // A busy tray may still be taking the icon in: clicks that reached nothing are made
    // again (a double click counted twice stays counted twice).
    bool heard = false;
    for (int attempt = 0; attempt < 3 && !heard; ++attempt) {
      person.DoubleClickAt((at.left + at.right) / 2, (at.top + at.bottom) / 2);
      heard = host_->PumpUntil([&] { return doubleClicks >= gesture; }, 3000);
    }
    ASSERT_TRUE(heard) << gesture;
    host_->Settle(3000);  // both clicks are in: the display took them before it answered
    EXPECT_EQ(doubleClicks, gesture);
    // The next gesture comes once the desktop's double-click time (400 ms) is over.
    const auto over = std::chrono::steady_clock::now() + std::chrono::milliseconds(600);
    host_->PumpUntil([&] { return std::chrono::steady_clock::now() >= over; }, 2000);
  }

  const char* out = std::getenv("TOVARIN_GUI_OUT");
  const std::string folder = std::string(out != nullptr && *out != '\0' ? out : ".") + "/gui";
  std::filesystem::create_directories(folder);
  const std::vector<COLORREF> connected = host_->ScreenPixels(at);
  ASSERT_FALSE(connected.empty());
  EXPECT_TRUE(host_->SaveScreenImage(at, folder + "/tray_icon_connected.png"));
  icon.icon = "tovarin-player-disconnected";
  ASSERT_TRUE(ShellNotifyIcon(NIM_MODIFY, icon));
  ASSERT_TRUE(host_->PumpUntil([&] { return host_->ScreenPixels(at) != connected; }, 5000));
  host_->Settle(3000);
  const std::vector<COLORREF> disconnected = host_->ScreenPixels(at);
  EXPECT_TRUE(host_->SaveScreenImage(at, folder + "/tray_icon_disconnected.png"));
  // Green on the one, red on the other, in what a person sees of the whole icon.
  const Mean on = MeanOf(connected), off = MeanOf(disconnected);
  std::printf("mean colours: connected %.0f %.0f %.0f, disconnected %.0f %.0f %.0f\n", on.r, on.g, on.b, off.r, off.g, off.b);
  EXPECT_GT(on.g - on.r, 8.0);
  EXPECT_GT(off.r - off.g, 8.0);
  EXPECT_TRUE(ShellNotifyIcon(NIM_DELETE, icon));
  DestroyWindow(owner);
}

enum { kEdit = 200, kButton, kCheck, kRadioA, kRadioB, kCombo, kChoice, kList, kListView, kTree,
       kSlider, kProgress, kSpinEdit, kSpin, kLink, kToolbar, kStatus, kPaint, kPicture, kTitle };

const DialogTemplate& EveryKindTemplate() {
  using namespace layout;
  static const DialogTemplate t = MakeTemplate(
      901, "Every Kind",
      Column({Row({Picture(kPicture, "folder"), Text("Every kind of control", kTitle).Style(kStyleTitle)}),
              Toolbar(kToolbar),
              Row({Group("Choices", {Check(kCheck, "Checked"), Radio(kRadioA, "First").GroupStart(),
                                     Radio(kRadioB, "Second"), Combo(kCombo).Width(12),
                                     Combo(kChoice).DropDownList().Width(12)}),
                   Group("Lists", {List(kList).Lines(3), Tree(kTree).Lines(4)}).Expand()}),
              ListView(kListView).Lines(4),
              Row({Text("Slide:"), Slider(kSlider).Width(16)}), Progress(kProgress),
              Row({Text("Count:"), Edit(kSpinEdit).Number().Width(4), Spin(kSpin, kSpinEdit)}),
              Row({Edit(kEdit, "typed").Width(16), Button(kButton, "Press")}),
              Link(kLink, "An address", "https://example.invalid/"), Paint(kPaint).Width(8).Lines(1),
              StatusBar(kStatus), Buttons({DefaultButton(IDOK, "OK"), Button(IDCANCEL, "Cancel")})}));
  return t;
}

// Every kind of control the core has, filled with values.
class EveryKindDialog : public Dialog {
 public:
  EveryKindDialog() : Dialog(EveryKindTemplate()) {}
  bool OnInitDialog() override {
    CheckDlgButton(kCheck, 1);
    CheckRadioButton(kRadioA, kRadioB, kRadioB);
    for (const char* s : {"one", "two"}) List(kCombo).AddString(s);
    List(kCombo).SetCurSel(1);
    for (const char* s : {"red", "green", "blue"}) List(kChoice).AddString(s);
    List(kChoice).SetCurSel(2);
    for (const char* s : {"alpha", "beta", "gamma"}) List(kList).AddString(s);
    List(kList).SetCurSel(0);
    ListViewControl& lv = ListView(kListView);
    lv.InsertColumn(0, {"Title", 160});
    lv.InsertColumn(1, {"Artist", 120});
    lv.InsertItem(0, "Harbour");
    lv.SetItemText(0, 1, "The Quays");
    lv.InsertItem(1, "Lanterns");
    lv.SetItemText(1, 1, "Mira");
    lv.SetItemState(1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    TreeViewControl& tree = Tree(kTree);
    HTREEITEM music = tree.InsertItem("Music");
    tree.InsertItem("Albums", music);
    HTREEITEM lists = tree.InsertItem("Playlists", music);
    tree.Expand(music, TVE_EXPAND);
    tree.SelectItem(lists);
    Slider(kSlider).SetRange(0, 20);
    Slider(kSlider).SetPos(12);
    Progress(kProgress).SetRange32(0, 10);
    Progress(kProgress).SetPos(7);
    Spin(kSpin).SetRange(0, 9);
    Spin(kSpin).SetPos(4);
    SetDlgItemText(kSpinEdit, "4");
    Toolbar(kToolbar).AddButton({.command = 3001, .label = "Play", .image = -1});
    Toolbar(kToolbar).AddButton({.command = 0, .separator = true});
    Toolbar(kToolbar).AddButton({.command = 3002, .label = "Stop", .enabled = false});
    StatusBar(kStatus).SetParts({120, -1});
    StatusBar(kStatus).SetPartText(0, "2 tracks");
    EnableDlgItem(kButton, false);
    return true;
  }
  void OnPaint(int, Canvas& canvas) override {
    canvas.FillRect(canvas.ClientRect(), RGB(0x35, 0x84, 0xE4));
  }
};

// Every control kind is rendered as the core holds it, and a picture of it is kept.
TEST_F(WxHostTest, EveryControlKindIsRenderedAsTheCoreHoldsIt) {
  std::vector<std::string> faults;
  bool saved = false;
  host_->SetPromptObserver([&](WxPrompt& p) {
    faults = CompareWithModel(*p.window(), p.Controls());
    const char* out = std::getenv("TOVARIN_GUI_OUT");
    saved = p.SaveImage(std::string(out != nullptr && *out ? out : ".") + "/every_control_kind.png");
    // A person picks another list row and another tree item: the core follows.
    p.Cancel();
  });
  EveryKindDialog dialog;
  dialog.DoModal();
  EXPECT_EQ(faults, std::vector<std::string>{});
  EXPECT_TRUE(saved);
}

TEST_F(WxHostTest, MessageBoxesAnswerTheButtonChosen) {
  struct Case {
    UINT flags;
    int choose;
  };
  const Case kCases[] = {{MB_OK, IDOK},           {MB_OKCANCEL, IDCANCEL}, {MB_YESNO, IDNO},
                         {MB_YESNOCANCEL, IDYES}, {MB_ABORTRETRYIGNORE, IDRETRY}, {MB_RETRYCANCEL, IDRETRY}};
  for (const Case& c : kCases) {
    std::string text;
    host_->SetPromptObserver([&](WxPrompt& p) {
      text = p.text();
      EXPECT_TRUE(p.Choose(static_cast<UINT>(c.choose)));
    });
    EXPECT_EQ(host_->MessageBox("Go on?", "Test", c.flags | MB_ICONQUESTION), c.choose) << c.flags;
    EXPECT_EQ(text, "Go on?");
  }
}

// A question closed without a button (Escape) is not answered Yes.
TEST_F(WxHostTest, MessageBoxesClosedWithoutAButtonNeverSayYes) {
  const std::pair<UINT, int> kCases[] = {{MB_YESNO, IDNO}, {MB_YESNOCANCEL, IDCANCEL}, {MB_OKCANCEL, IDCANCEL}, {MB_OK, IDOK}};
  for (const auto& [flags, answer] : kCases) {
    host_->SetPromptObserver([](WxPrompt& p) { p.Cancel(); });
    EXPECT_EQ(host_->MessageBox("Delete them?", "Test", flags | MB_ICONQUESTION), answer) << flags;
  }
}

TEST_F(WxHostTest, PickersCancelledAnswerNothing) {
  host_->SetPromptObserver([](WxPrompt& p) {
    EXPECT_EQ(p.kind(), WxPrompt::Kind::Picker);
    p.Cancel();
  });
  EXPECT_EQ(PickFolder(0, "Pick a folder"), std::nullopt);
  EXPECT_EQ(PickOpenFile(0, "Pick a file", "Playlists (*.m3u)|*.m3u||"), std::nullopt);
}

TEST_F(WxHostTest, ClipboardHoldsTextAndFileLists) {
  SetClipboardText("R&B \xC3\xA9t\xC3\xA9");
  EXPECT_EQ(GetClipboardText(), "R&B \xC3\xA9t\xC3\xA9");
  SetClipboardFiles({"\\tmp\\a.mp3", "\\tmp\\b c.mp3"});
  EXPECT_EQ(GetClipboardFiles(), (std::vector<std::string>{"\\tmp\\a.mp3", "\\tmp\\b c.mp3"}));
}

// An offer on the desktop's clipboard: its formats are announced, each is made once when
// a reader asks (here through the display), and this program gets the offer itself back
// while it holds the clipboard.
TEST_F(WxHostTest, ClipboardOffersAreMadeWhenAReaderAsks) {
  struct Counting : FilesOffer {
    using FilesOffer::FilesOffer;
    std::vector<std::string> Formats() override { return {"Wx Host Test Private", std::string(kUriListFormat)}; }
    std::optional<std::string> Data(std::string_view format) override {
      ++asked;
      if (format == "Wx Host Test Private") return std::string("\x07\x00\x09", 3);
      return FilesOffer::Data(format);
    }
    int asked = 0;
  };
  auto offer = std::make_shared<Counting>(std::vector<std::string>{"/tmp/x y.mp3"});
  host_->SetClipboardOffer(offer);
  EXPECT_EQ(offer->asked, 0);
  EXPECT_EQ(host_->GetClipboardOffer(), offer);
  EXPECT_EQ(GetClipboardFiles(), std::vector<std::string>{"\\tmp\\x y.mp3"});  // read through the display
  EXPECT_EQ(GetClipboardFiles(), std::vector<std::string>{"\\tmp\\x y.mp3"});
  EXPECT_EQ(offer->asked, 1);
  SetClipboardText("another program's turn");
  std::shared_ptr<DataOffer> desktop = host_->GetClipboardOffer();
  ASSERT_NE(desktop, nullptr);
  EXPECT_NE(desktop, offer);
  EXPECT_FALSE(desktop->Offers("Wx Host Test Private"));
}

}  // namespace
}  // namespace platform
