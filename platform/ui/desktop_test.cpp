// Menus, pickers, the clipboard, the wait cursor, tray icons, painting, and what the
// console host does with what it cannot show.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "testing/processes.h"
#include "platform/paths/paths.h"
#include "platform/ui/desktop.h"
#include "platform/ui/dialog_template.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/menu.h"
#include "platform/ui/scripted_host.h"
#include "platform/window/wait.h"

namespace platform {
namespace {

const bool kIsolated = testing::IsolateNamespace();

Menu TrayMenu(bool paused) {
  Menu queue;
  queue.Append(MF_STRING, 511, "Next Track").Append(MF_STRING, 510, "Previous Track").AppendSeparator();
  queue.Append(MF_STRING, 509, paused ? "Resume" : "Pause");
  Menu m;
  m.Append(MF_STRING, 501, "Connect Jukebox").Append(MF_GRAYED, 502, "Disconnect Jukebox").AppendSeparator();
  m.Append(MF_STRING, 503, "Open Ombrix Jukebox ...");
  m.AppendPopup("Active Queue (Playing 2/5)", std::move(queue));
  m.AppendSeparator().Append(MF_CHECKED, 506, "About");
  m.SetDefaultItem(503);
  return m;
}

TEST(MenuTest, ItemsCanBeFoundChangedAndDescribed) {
  Menu m = TrayMenu(false);
  EXPECT_EQ(m.Describe(),
            "Connect Jukebox\n(Disconnect Jukebox)\n-\n*Open Ombrix Jukebox ...*\nActive Queue (Playing 2/5) >\n"
            "  Next Track\n  Previous Track\n  -\n  Pause\n-\n[x] About\n");
  ASSERT_NE(m.Find(509), nullptr);
  EXPECT_EQ(m.Find(509)->text, "Pause");
  EXPECT_FALSE(m.Find(502)->IsChoosable());
  EXPECT_FALSE(m.GetItem(4).IsChoosable());  // a sub-menu is opened, not chosen
  EXPECT_TRUE(m.EnableItem(502, MF_ENABLED));
  EXPECT_TRUE(m.Find(502)->IsChoosable());
  EXPECT_TRUE(m.CheckItem(506, false));
  EXPECT_TRUE(m.SetItemText(509, "Resume"));
  EXPECT_TRUE(m.Remove(510));
  EXPECT_EQ(m.Find(510), nullptr);
  EXPECT_FALSE(m.EnableItem(999, MF_GRAYED));
  EXPECT_EQ(m.FindText("&Resume")->id, 509u);
}

// A name put into a menu shows as it stands: its "&" marks no key.
TEST(MenuTest, NamesShowAsTheyStand) {
  for (const std::string name : {"Rock & Roll", "&&", "&Start", "End&", "Plain"}) {
    Menu m;
    m.Append(MF_STRING, 1, MenuLiteral(name));
    EXPECT_EQ(CleanLabel(m.GetItem(0).text), name);
  }
}

TEST(MenuTest, APersonChoosesThroughTheHostAndTheOwnerHearsTheCommand) {
  ScriptedHost host;
  RegisterClass("Menu Owner");
  std::vector<WPARAM> commands;
  HWND owner = CreateWindow("Menu Owner", 0, [&](HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_COMMAND) commands.push_back(w);
    return DefWindowProc(h, m, w, l);
  });
  ASSERT_NE(owner, 0u);
  host.ExpectMenu("Pause").ExpectMenu(503u).ExpectMenu(0u);
  EXPECT_EQ(TrackPopupMenu(TrayMenu(false), TPM_RETURNCMD, 0, 0, owner), 509u);
  EXPECT_EQ(TrackPopupMenu(TrayMenu(false), TPM_RIGHTBUTTON, 0, 0, owner), 1u);
  EXPECT_EQ(TrackPopupMenu(TrayMenu(false), TPM_RIGHTBUTTON, 0, 0, owner), 0u);
  PumpMessages(0);
  EXPECT_EQ(commands, (std::vector<WPARAM>{503}));  // only the posted choice, once
  auto prompts = host.prompts();
  ASSERT_EQ(prompts.size(), 3u);
  EXPECT_EQ(prompts[0].kind, PromptKind::Menu);
  EXPECT_NE(prompts[0].text.find("(Disconnect Jukebox)"), std::string::npos);

  host.ExpectMenu(502u);
  UINT chosen = 99;
  EXPECT_NONFATAL_FAILURE(chosen = TrackPopupMenu(TrayMenu(false), TPM_RETURNCMD, 0, 0, owner), "cannot be chosen");
  EXPECT_EQ(chosen, 0u);  // a greyed item is never chosen
  EXPECT_NONFATAL_FAILURE(TrackPopupMenu(TrayMenu(false), TPM_RETURNCMD, 0, 0, owner), "unexpected menu");
  DestroyWindow(owner);
}

TEST(DesktopTest, PickersSpeakSystemPathsToCallersAndHostPathsToTheHost) {
  ScriptedHost host;
  host.ExpectFolderPicker("/home/me/music", "temporary space")
      .ExpectFolderPicker(std::nullopt)
      .ExpectFilePicker("/usr/bin/firefox", "Browser")
      .ExpectColourPicker(RGB(1, 2, 3))
      .ExpectColourPicker(std::nullopt);
  EXPECT_EQ(PickFolder(0, "Select a directory to use as temporary space:"), FromPosixPath("/home/me/music"));
  EXPECT_EQ(PickFolder(0, "Pick"), std::nullopt);
  EXPECT_EQ(PickOpenFile(0, "Select an External Web Browser...", "External Web Browsers (*.exe)|*.exe||", ".exe"),
            FromPosixPath("/usr/bin/firefox"));
  std::array<COLORREF, 16> custom{RGB(230, 230, 255)};
  EXPECT_EQ(PickColour(0, RGB(9, 9, 9), custom), RGB(1, 2, 3));
  EXPECT_EQ(PickColour(0, RGB(9, 9, 9), custom), std::nullopt);
  EXPECT_EQ(custom[0], RGB(230, 230, 255));
  auto prompts = host.prompts();
  ASSERT_EQ(prompts.size(), 5u);
  EXPECT_EQ(prompts[0].picked, "/home/me/music");
  EXPECT_EQ(prompts[3].picked, "#010203");
  EXPECT_EQ(prompts[4].answer, IDCANCEL);

  const struct {
    const char* filter;
    std::vector<std::pair<std::string, std::vector<std::string>>> want;
  } kFilters[] = {
      {"External Web Browsers (*.exe)|*.exe||", {{"External Web Browsers (*.exe)", {"*.exe"}}}},
      {"Playlists|*.m3u;*.pls|All files|*.*||", {{"Playlists", {"*.m3u", "*.pls"}}, {"All files", {"*.*"}}}},
      {"", {}},
      {"No patterns|", {{"No patterns", {}}}},
  };
  for (const auto& c : kFilters) {
    std::vector<FileFilter> got = ParseFileFilter(c.filter);
    ASSERT_EQ(got.size(), c.want.size()) << c.filter;
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].name, c.want[i].first);
      EXPECT_EQ(got[i].patterns, c.want[i].second);
    }
  }
}

// Files dragged out reach the host as POSIX paths, as a file list; a host without a
// desktop takes none.
TEST(DesktopTest, DraggedFilesReachTheHostAsPosixPaths) {
  struct Recorder : ScriptedHost {
    std::vector<std::string> dragged;
    int DragFiles(const std::vector<std::string>& paths) override {
      dragged = paths;
      return DROPEFFECT_COPY;
    }
  };
  {
    ConsoleHost console(stdin, stderr, false);
    SetCurrentHost(&console);
    EXPECT_EQ(DragFilesOut({"C:\\music\\a.mp3"}), DROPEFFECT_NONE);
    SetCurrentHost(nullptr);
  }
  {
    ScriptedHost scripted;
    std::optional<std::string> list;
    scripted.ExpectDrag([&](const std::shared_ptr<DataOffer>& offer) {
      list = offer->Data(kUriListFormat);
      return DROPEFFECT_MOVE;
    });
    EXPECT_EQ(DragFilesOut({"\\home\\me\\a b.mp3"}), DROPEFFECT_MOVE);
    EXPECT_EQ(list, "file:///home/me/a%20b.mp3\r\n");
  }
  Recorder host;
  EXPECT_EQ(DragFilesOut({"\\home\\me\\a.mp3", "\\home\\me\\b c.mp3"}), DROPEFFECT_COPY);
  EXPECT_EQ(host.dragged, (std::vector<std::string>{"/home/me/a.mp3", "/home/me/b c.mp3"}));
}

// File lists between programs carry local file URIs; anything else in them is passed over.
TEST(DesktopTest, UriListsCarryLocalFilesOnly) {
  EXPECT_EQ(FormatUriList({"/home/me/a b#1%.mp3", "relative.mp3", "/\xC3\xA9t\xC3\xA9.flac"}),
            "file:///home/me/a%20b%231%25.mp3\r\nfile:///%C3%A9t%C3%A9.flac\r\n");
  const struct {
    std::string list;
    std::vector<std::string> paths;
  } cases[] = {
      {"file:///home/me/a%20b%231%25.mp3\r\nfile:///x.flac\r\n", {"/home/me/a b#1%.mp3", "/x.flac"}},
      {"file:///a.mp3\nfile:///b.mp3", {"/a.mp3", "/b.mp3"}},  // LF only, no final line end
      {"# a comment\r\nfile://localhost/c.mp3\r\n", {"/c.mp3"}},
      {"http://example.org/d.mp3\r\nfile://elsewhere.example/e.mp3\r\nfile:///f.mp3\r\n", {"/f.mp3"}},
      {"", {}},
      {std::string("file:///g.mp3\0file:///h.mp3", 26), {"/g.mp3"}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseUriList(c.list), c.paths) << c.list;
}

TEST(DesktopTest, ClipboardWaitCursorAndTrayIcons) {
  ScriptedHost host;
  SetClipboardText("R&B");
  EXPECT_EQ(GetClipboardText(), "R&B");
  SetClipboardFiles({"\\home\\me\\a.mp3", "\\home\\me\\b c.mp3"});
  EXPECT_EQ(host.GetClipboardFiles(), (std::vector<std::string>{"/home/me/a.mp3", "/home/me/b c.mp3"}));
  EXPECT_EQ(GetClipboardText(), std::nullopt);  // the clipboard holds one thing
  EXPECT_EQ(GetClipboardFiles()->at(1), "\\home\\me\\b c.mp3");
  // An offer of any formats: its file list is the clipboard's files.
  host.SetClipboardOffer(std::make_shared<FilesOffer>(std::vector<std::string>{"/x/y.mp3"}));
  EXPECT_EQ(GetClipboardFiles(), std::vector<std::string>{"\\x\\y.mp3"});
  SetClipboardText("back to text");
  EXPECT_EQ(GetClipboardFiles(), std::nullopt);

  {
    WaitCursor outer;
    WaitCursor inner;
    EXPECT_EQ(host.WaitCursorDepth(), 2);
  }
  EXPECT_EQ(host.WaitCursorDepth(), 0);
  EXPECT_EQ(host.WaitCursorShows(), 1);

  RegisterClass("Tray Owner");
  std::vector<std::pair<WPARAM, LPARAM>> clicks;
  HWND owner = CreateWindow("Tray Owner", 0, [&](HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_USER + 1) clicks.emplace_back(w, l);
    return DefWindowProc(h, m, w, l);
  });
  TrayIcon icon{owner, 0x01000800, WM_USER + 1, "multimedia-player", "Jukebox"};
  EXPECT_FALSE(ShellNotifyIcon(NIM_MODIFY, icon));
  EXPECT_TRUE(ShellNotifyIcon(NIM_ADD, icon));
  EXPECT_FALSE(ShellNotifyIcon(NIM_ADD, icon));
  icon.tooltip = "Jukebox\nNow Playing: One (3:05)";
  EXPECT_TRUE(ShellNotifyIcon(NIM_MODIFY, icon));
  ASSERT_EQ(host.TrayIcons().size(), 1u);
  EXPECT_EQ(host.TrayIcons()[0].tooltip, icon.tooltip);
  EXPECT_TRUE(host.ClickTrayIcon(0x01000800, WM_RBUTTONDOWN));
  EXPECT_FALSE(host.ClickTrayIcon(7, WM_RBUTTONDOWN));
  EXPECT_EQ(clicks, (std::vector<std::pair<WPARAM, LPARAM>>{{0x01000800, WM_RBUTTONDOWN}}));
  EXPECT_TRUE(ShellNotifyIcon(NIM_DELETE, icon));
  EXPECT_TRUE(host.TrayIcons().empty());
  DestroyWindow(owner);
}

// The console host: a window it cannot show is cancelled with a line, never waited for.
TEST(ConsoleHostTest, DeclinesWhatItCannotShowWithALine) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::tmpfile(), &std::fclose);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::tmpfile(), &std::fclose);
  std::fputs("/home/me/picked\n", in.get());
  std::rewind(in.get());
  {
    ConsoleHost console(in.get(), out.get(), false);
    SetCurrentHost(&console);
    using namespace layout;
    static const DialogTemplate t = MakeTemplate(730, "On-Board Volume", Column({Slider(1100)}));
    Dialog dlg(t);
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(TrackPopupMenu(TrayMenu(false), TPM_RETURNCMD, 0, 0, 0), 0u);
    EXPECT_EQ(PickFolder(0, "Select a folder"), std::nullopt);  // no terminal: no path
    std::array<COLORREF, 16> custom{};
    EXPECT_EQ(PickColour(0, 0, custom), std::nullopt);
    ConsoleHost terminal(in.get(), out.get(), true);
    SetCurrentHost(&terminal);
    EXPECT_EQ(PickFolder(0, "Select a folder"), FromPosixPath("/home/me/picked"));
    SetCurrentHost(nullptr);
  }
  std::rewind(out.get());
  std::string printed;
  char buf[512];
  while (std::fgets(buf, sizeof buf, out.get()) != nullptr) printed += buf;
  EXPECT_NE(printed.find("The window \"On-Board Volume\" cannot be shown here: Cancel"), std::string::npos) << printed;
  EXPECT_NE(printed.find("A menu cannot be shown here"), std::string::npos);
  EXPECT_NE(printed.find("Folder \"Select a folder\" cannot be shown here"), std::string::npos);
  EXPECT_NE(printed.find("A colour picker cannot be shown here"), std::string::npos);
}

TEST(CanvasTest, RecordsWhatIsPaintedForTheHost) {
  Canvas c({0, 0, 100, 20});
  c.FillRect({0, 0, 10, 10}, RGB(1, 2, 3));
  c.GradientH({4, 0, 101, 20}, RGB(0, 0, 0), RGB(255, 255, 255));
  c.GradientH({4, 0, 4, 20}, 0, 0);  // nothing to fill
  c.DrawText(" Jukebox", {4, 0, 100, 20}, DT_LEFT | DT_VCENTER | DT_SINGLELINE, 0, FontKind::System);
  c.DrawIcon("folder", 3, 2);
  ASSERT_EQ(c.Ops().size(), 4u);
  EXPECT_EQ(c.Ops()[1].kind, DrawOp::Kind::Gradient);
  EXPECT_EQ(c.Ops()[1].colour2, RGB(255, 255, 255));
  EXPECT_EQ(c.Ops()[2].font, FontKind::System);
  EXPECT_EQ(c.Ops()[3].rect, (Rect{3, 2, 19, 18}));
}

}  // namespace
}  // namespace platform
