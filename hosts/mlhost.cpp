// mlhost: our stand-in for the media player that loads library plug-ins. It loads each
// "ml_" copy of the library as the media player does (its plug-in entry, the header with
// the player's windows filled in, init), answers the plug-ins' requests to its library
// window (message 0x1400: tree entries, send-to-player, list skins and skin routines),
// shows their tree entries beside the area where a chosen entry's page goes, and hands
// every send-to-player request to the desktop's media player: an M3U of the stream
// addresses, opened with the desktop's handler.
//
//   mlhost [-l LIBRARY]... [-w] script   commands from standard input, one a line
//   mlhost [-l LIBRARY]...               the library window on the display
//
// LIBRARY defaults to every "ml_*.so" in the "Plugins" folder beside the program (where
// the install step and the streaming playback options put them). The player's main
// window has the class "Winamp v1.x", which the options look for to tell it is running.
//
// A script's commands are the table Script::Commands below; `mlhost --help` prints them.
// Each is echoed as "> command"; failures print "error: ...". A send-to-player request
// prints "play N" or "enqueue N" and one line per track: address, artist, title, album,
// genre, year, track number and length, by tabs; in script mode nothing is opened.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "hosts/script_commands.h"
#include "platform/kernel/kernel.h"
#include "platform/shell/shell.h"
#include "platform/text/text.h"
#include "platform/ui/host.h"
#include "platform/ui/menu.h"
#include "platform/ui/ui_window.h"
#include "platform/ui/wx/wx_host.h"
#include "platform/window/wait.h"
#include "shellext/media_library_plugin.h"

namespace {

using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::UINT;
using platform::WPARAM;
using namespace shellext;

constexpr const char* kPlayerWindowClass = "Winamp v1.x";
constexpr const char* kLibraryWindowClass = "mlhost Media Library";
constexpr int kTreeId = 1;
constexpr int kPageAreaId = 2;
constexpr int kStatusBarId = 3;
constexpr int kCmdExit = 0x6000;  // below 0x7000, as the toolkit's menus want it
// The controls' ids of the page, as the plug-in's template gives them.
constexpr int kPageListId = 1101;
constexpr int kPageStatusId = 6002;

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);  // in step with the plug-ins' messages on stderr
}

std::string Text(const char* text) { return text != nullptr ? text : ""; }

// ---- The skin routines the player offers its plug-ins ----

struct SkinLog {
  std::vector<std::string> lines;
} g_SkinLog;

std::string AnchorTable(const MediaLibraryControlAnchor* table, int count) {
  std::string out;
  char entry[48];
  for (int i = 0; i < count; ++i) {
    std::snprintf(entry, sizeof entry, "%s%d:0x%X", i ? " " : "", table[i].id, static_cast<unsigned>(table[i].flags));
    out += entry;
  }
  return out;
}

// The player's list colours: dark blue text on a faint blue (the rows' background only:
// the list's empty part keeps the desktop's colour, which this stays close to).
platform::COLORREF SkinColour(int index) { return index == 0 ? platform::RGB(0xF2, 0xF6, 0xFB) : platform::RGB(0x10, 0x24, 0x48); }
LRESULT SkinMessage(HWND, UINT, WPARAM, LPARAM) { return 0; }  // the player's skin takes no message of the page's
void SkinBorders(HWND, const int* table, int count) {
  std::string out;
  char entry[24];
  for (int i = 0; i < count; ++i) {
    std::snprintf(entry, sizeof entry, "%s0x%X", i ? " " : "", static_cast<unsigned>(table[i]));
    out += entry;
  }
  g_SkinLog.lines.push_back("borders " + out);
}
void SkinRegister(HWND, const MediaLibraryControlAnchor* table, int count) {
  g_SkinLog.lines.push_back("register " + AnchorTable(table, count));
}
void SkinResize(HWND, const MediaLibraryControlAnchor* table, int count) {
  g_SkinLog.lines.push_back("resize " + AnchorTable(table, count));
}

// ---- Plug-ins ----

struct Plugin {
  std::string path;
  void* handle = nullptr;
  MediaLibraryPluginHeader* header = nullptr;
};

// Loads a plug-in's file and asks its entry for the header; null (after a message) when
// it is no plug-in of this version.
std::unique_ptr<Plugin> LoadPlugin(const std::string& path) {
  auto plugin = std::make_unique<Plugin>();
  plugin->path = path;
  plugin->handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (plugin->handle == nullptr) {
    const char* why = ::dlerror();
    std::fprintf(stderr, "mlhost: %s\n", why != nullptr ? why : ("cannot load " + path).c_str());
    return nullptr;
  }
  auto entry = reinterpret_cast<MediaLibraryPluginEntry>(::dlsym(plugin->handle, kMediaLibraryPluginEntryName));
  if (entry == nullptr) {
    std::fprintf(stderr, "mlhost: %s is no media library plug-in\n", path.c_str());
    return nullptr;
  }
  plugin->header = entry();
  if (plugin->header == nullptr) {
    std::fprintf(stderr, "mlhost: %s refused to start\n", path.c_str());
    return nullptr;
  }
  if (plugin->header->version != kMediaLibraryPluginVersion) {
    std::fprintf(stderr, "mlhost: %s is a plug-in of version 0x%X, not 0x%X\n", path.c_str(),
                 static_cast<unsigned>(plugin->header->version), static_cast<unsigned>(kMediaLibraryPluginVersion));
    return nullptr;
  }
  return plugin;
}

// ---- The library window ----

const platform::DialogTemplate& LibraryTemplate() {
  using namespace platform::layout;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      0, "Media Library",
      Column({Row({Tree(kTreeId)
                       .Style(platform::kStyleHasLines | platform::kStyleLinesAtRoot | platform::kStyleShowSelAlways)
                       .Width(30),
                   Paint(kPageAreaId).Expand()})
                  .Expand(),
              StatusBar(kStatusBarId)}),
      platform::kFrameCaption | platform::kFrameSystemMenu | platform::kFrameThick);
  return t;
}

struct Entry {
  Plugin* plugin;
  std::intptr_t id;
  std::string title;
  platform::HTREEITEM item;
};

class Player;

// The player's menu bar: File with Exit.
platform::Menu PlayerMenu() {
  platform::Menu file;
  file.Append(platform::MF_STRING, kCmdExit, "E&xit");
  platform::Menu bar;
  bar.AppendPopup("&File", std::move(file));
  return bar;
}

class LibraryWindow final : public platform::View {
 public:
  explicit LibraryWindow(Player& player) : View(LibraryTemplate(), kLibraryWindowClass), player_(player) {
    SetMenuBar(&menu_);
  }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnNotify(platform::Notification& n) override;
  bool OnCommand(int id, int code) override {
    if (id != kCmdExit) return View::OnCommand(id, code);
    platform::PostQuitMessage(0);  // the loop ends; the windows go after it
    return true;
  }
  void OnClose() override { platform::PostQuitMessage(0); }

 private:
  Player& player_;
  platform::Menu menu_ = PlayerMenu();
};

class Player {
 public:
  explicit Player(bool script) : script_(script) {}
  ~Player() { Close(); }

  bool Create() {
    platform::RegisterClass(kPlayerWindowClass);
    main_ = platform::CreateWindow(kPlayerWindowClass);
    library_ = std::make_unique<LibraryWindow>(*this);
    library_->SetWindowText("Media Library");
    library_->SetWindowPos(platform::HWND_TOP, 0, 0, 1100, 640, platform::SWP_NOMOVE | platform::SWP_NOZORDER);
    library_->SetChildArea("#32770", kPageAreaId);
    return main_ != 0 && library_->Create(0);
  }

  // The plug-in gets the player's windows, then starts.
  void Start(std::unique_ptr<Plugin> plugin) {
    plugin->header->mainWindow = main_;
    plugin->header->libraryWindow = library_->GetSafeHwnd();
    starting_ = plugin.get();
    plugins_.push_back(std::move(plugin));
    starting_->header->init();
    starting_ = nullptr;
  }

  void Close() {
    LeaveEntry();
    for (auto& p : plugins_) p->header->quit();
    if (library_) {
      library_->Destroy();
      library_.reset();
    }
    if (main_ != 0) platform::DestroyWindow(main_);
    main_ = 0;
    // The plug-ins stay loaded, as the player keeps them until it ends.
  }

  platform::UiWindow* LibraryWindowObject() const { return library_.get(); }
  const std::vector<Entry>& Entries() const { return entries_; }

  // ---- Requests of the plug-ins (message 0x1400) ----

  LRESULT OnIpc(WPARAM wParam, LPARAM code) {
    switch (code) {
      case kMlAddTreeEntry: return AddEntry(reinterpret_cast<MediaLibraryTreeEntry*>(wParam));
      case kMlSendToPlayer: return SendToPlayer(reinterpret_cast<const MediaLibrarySendToPlayer*>(wParam));
      case kMlSkinList:
        g_SkinLog.lines.push_back("skin list " + std::to_string(ControlRefId(wParam)));
        return ++skins_;
      case kMlUnskinList:
        g_SkinLog.lines.push_back("unskin " + std::to_string(static_cast<LRESULT>(wParam)));
        return 0;
      case kMlSkinRoutine:
        switch (static_cast<int>(wParam)) {
          case kSkinColour: return reinterpret_cast<LRESULT>(&SkinColour);
          case kSkinMessage: return reinterpret_cast<LRESULT>(&SkinMessage);
          case kSkinDrawBorders: return reinterpret_cast<LRESULT>(&SkinBorders);
          case kSkinRegisterResize: return reinterpret_cast<LRESULT>(&SkinRegister);
          case kSkinResize: return reinterpret_cast<LRESULT>(&SkinResize);
          default: return 0;
        }
      default: return 0;
    }
  }

  LRESULT AddEntry(MediaLibraryTreeEntry* entry) {
    if (entry == nullptr || starting_ == nullptr) return 0;
    entry->id = nextId_++;
    const std::string title = Text(entry->title);
    const platform::HTREEITEM item = Tree().InsertItem(title);
    entries_.push_back({starting_, entry->id, title, item});
    return 0;
  }

  LRESULT SendToPlayer(const MediaLibrarySendToPlayer* request) {
    if (request == nullptr || request->list == nullptr) return 0;
    const MediaLibraryRecordList& list = *request->list;
    const char* verb = request->enqueue != 0 ? "enqueue" : "play";
    std::string m3u = "#EXTM3U\r\n";
    std::vector<std::string> lines;
    for (int i = 0; i < list.size; ++i) {
      const MediaLibraryRecord& r = list.items[i];
      lines.push_back("\t" + hostscript::Joined({Text(r.fileName), Text(r.artist), Text(r.title), Text(r.album), Text(r.genre),
                                     std::to_string(r.year), std::to_string(r.track), std::to_string(r.length)}));
      // One line each, whatever the records hold.
      m3u += "#EXTINF:" + std::to_string(r.length) + "," +
             platform::BlankControls(Text(r.artist) + " - " + Text(r.title)) + "\r\n";
      m3u += platform::BlankControls(Text(r.fileName)) + "\r\n";
    }
    SetStatus(std::string(request->enqueue != 0 ? "Enqueued " : "Playing ") + std::to_string(list.size) + " track" +
              (list.size == 1 ? "" : "s") + ".");
    if (script_) {
      Print(std::string(verb) + " " + std::to_string(list.size));
      for (const std::string& l : lines) Print(l);
      return 0;
    }
    if (list.size == 0) return 0;
    // The desktop's media player gets the tracks as a playlist of streams.
    const std::string path = PlaylistFolder() + "/" + std::to_string(platform::GetTickCount()) + ".m3u";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << m3u;
    out.close();
    if (!out) {
      std::fprintf(stderr, "mlhost: the playlist %s could not be written\n", path.c_str());
      return 0;
    }
    if (!platform::ShellOpen(path)) std::fprintf(stderr, "mlhost: no media player opened %s\n", path.c_str());
    return 0;
  }

  // ---- Entries and pages ----

  // Chooses the entry: its plug-in makes the page inside the library window.
  bool OpenEntry(const Entry& entry) {
    if (page_ != 0 && current_ == entry.id) return true;
    LeaveEntry();
    current_ = entry.id;
    const std::intptr_t page =
        entry.plugin->header->messageProc(kMlCreatePage, entry.id, 0, static_cast<std::intptr_t>(library_->GetSafeHwnd()));
    page_ = static_cast<HWND>(page);
    if (page_ == 0) return false;
    // The page is laid out and painted, as the desktop does for a new child window.
    platform::SendMessage(page_, WM_SIZE, 0, 0);
    platform::SendMessage(page_, WM_PAINT, 0, 0);
    return true;
  }

  // Leaves the entry: its page's window goes (and the page with it).
  void LeaveEntry() {
    if (page_ != 0 && platform::IsWindow(page_)) platform::DestroyWindow(page_);
    page_ = 0;
    current_ = 0;
  }

  void OnTreeSelection(platform::HTREEITEM item) {
    for (const Entry& e : entries_) {
      if (e.item == item) {
        OpenEntry(e);
        return;
      }
    }
    LeaveEntry();
  }

  // Chooses an entry as a person would: its tree item.
  bool Choose(const Entry& entry) {
    Tree().UserSelect(entry.item);
    return page_ != 0;
  }

  platform::UiWindow* Page() const { return page_ != 0 ? platform::UiWindow::FromHandle(page_) : nullptr; }
  platform::TreeViewControl& Tree() const { return library_->Tree(kTreeId); }
  void SetStatus(const std::string& text) {
    if (library_ && library_->IsOpen()) library_->StatusBar(kStatusBarId).SetPartText(0, text);
  }

 private:
  static std::string PlaylistFolder() {
    std::string folder = std::filesystem::temp_directory_path().string() + "/mlhost-" + std::to_string(::getuid());
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder;
  }

  bool script_;
  HWND main_ = 0;
  std::unique_ptr<LibraryWindow> library_;
  std::vector<std::unique_ptr<Plugin>> plugins_;
  std::vector<Entry> entries_;
  Plugin* starting_ = nullptr;
  std::intptr_t nextId_ = 1000;
  std::intptr_t current_ = 0;
  HWND page_ = 0;
  LRESULT skins_ = 0;
};

LRESULT LibraryWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ML_IPC) return player_.OnIpc(wParam, lParam);
  return View::WindowProc(message, wParam, lParam);
}

void LibraryWindow::OnNotify(platform::Notification& n) {
  if (n.id == kTreeId && n.code == platform::NotifyCode::SelChanged) player_.OnTreeSelection(n.newItem);
}

// ---- Script mode ----

// The host of script mode: message boxes on the console, menus answered from the script.
class ScriptHost final : public platform::ConsoleHost {
 public:
  ScriptHost() : ConsoleHost(stdin, stderr, false) {}
  void ChooseNext(std::string text) { next_ = std::move(text); }
  UINT TrackPopupMenu(const platform::Menu& menu, int, int, HWND) override {
    std::istringstream lines(menu.Describe());
    for (std::string line; std::getline(lines, line);) Print("menu: " + line);
    const platform::Menu::Item* item = next_.empty() ? nullptr : menu.FindText(next_);
    next_.clear();
    if (item == nullptr || !item->IsChoosable()) return 0;
    return item->id;
  }

 private:
  std::string next_;
};

class Script;
using Command = hostscript::ScriptCommand<Script>;

class Script {
 public:
  Script(Player& player, ScriptHost* host, platform::WxHost* display) : player_(player), host_(host), display_(display) {}

  void Run() {
    hostscript::RunCommands<Script>(std::cin, Commands(), *this, Print, [this] { Pump(0); });
  }

  // The script's commands; `mlhost --help` prints them.
  static std::span<const Command> Commands() {
    static constexpr Command kCommands[] = {
        {"tree", "", "the plug-ins' tree entries: id, title",
         [](Script& s, const std::string&) {
           for (const Entry& e : s.player_.Entries()) Print(std::to_string(e.id) + "\t" + e.title);
         }},
        {"open", "[TITLE]", "chooses an entry (the first by default): its page shows",
         [](Script& s, const std::string& a) { s.Open(a); }},
        {"close", "", "leaves the entry shown",
         [](Script& s, const std::string&) {
           s.player_.Tree().UserSelect(0);
           s.player_.LeaveEntry();
         }},
        {"rows", "", "the page's column titles, then each row, by tabs", [](Script& s, const std::string&) { s.Rows(); }},
        {"status", "", "the page's status line",
         [](Script& s, const std::string&) {
           if (platform::UiWindow* page = s.Page()) Print(page->GetDlgItemText(kPageStatusId));
         }},
        {"select", "all | none | N...", "selects the page's rows by number from 0",
         [](Script& s, const std::string& a) { s.Select(a); }},
        {"click", "ID", "a button of the page", [](Script& s, const std::string& a) { s.Click(hostscript::Number(a)); }},
        {"activate", "", "the first selected row, as a double click",
         [](Script& s, const std::string&) {
           if (platform::ListViewControl* list = s.List()) {
             if (!list->UserActivate(list->GetNextItem(-1, platform::LVNI_SELECTED))) Print("error: no row selected");
           }
         }},
        {"sort", "TITLE", "a click on that column's header", [](Script& s, const std::string& a) { s.Sort(a); }},
        {"menu", "TEXT", "a right click on the first selected row, choosing the item of that text",
         [](Script& s, const std::string& a) { s.Menu(a); }},
        {"skin", "", "what the skin routines were given since it was last asked",
         [](Script&, const std::string&) {
           for (const std::string& l : g_SkinLog.lines) Print(l);
           g_SkinLog.lines.clear();
         }},
        {"pump", "MS", "serves the windows' messages for MS",
         [](Script& s, const std::string& a) { s.Pump(hostscript::Number(a)); }},
        {"shot", "FILE", "on a display: a PNG of the library window", [](Script& s, const std::string& a) { s.Shot(a); }},
        {"rendered", "", "on a display: how the page's controls differ from what the display shows",
         [](Script& s, const std::string&) { s.Rendered(); }},
        {"place", "", "on a display: where the window's client area and the page's list lie, and the list's scroll bars",
         [](Script& s, const std::string&) { s.Place(); }},
        {"echo", "TEXT", "prints TEXT", [](Script&, const std::string& a) { Print(a); }},
        {"quit", "", "ends the script", nullptr},
    };
    return kCommands;
  }

 private:
  platform::UiWindow* Page() {
    platform::UiWindow* page = player_.Page();
    if (page == nullptr) Print("error: no page");
    return page;
  }
  platform::ListViewControl* List() {
    platform::UiWindow* page = Page();
    return page != nullptr ? &page->ListView(kPageListId) : nullptr;
  }

  void Open(const std::string& title) {
    for (const Entry& e : player_.Entries()) {
      if (title.empty() || e.title == title) {
        if (!player_.Choose(e)) Print("error: the entry \"" + e.title + "\" shows no page");
        return;
      }
    }
    Print("error: no entry \"" + title + "\"");
  }

  void Rows() {
    platform::ListViewControl* list = List();
    if (list == nullptr) return;
    for (const std::string& line : hostscript::ListRows(*list)) Print(line);
  }

  void Select(const std::string& what) {
    platform::ListViewControl* list = List();
    if (list != nullptr && !hostscript::SelectListRows(*list, what)) Print("error: no such rows");
  }

  void Click(int id) {
    platform::UiWindow* page = Page();
    if (page == nullptr) return;
    auto* button = dynamic_cast<platform::ButtonControl*>(page->GetDlgItem(id));
    if (button == nullptr || !button->UserClick()) Print("error: no button " + std::to_string(id));
  }

  void Sort(const std::string& title) {
    platform::ListViewControl* list = List();
    if (list != nullptr && !hostscript::ClickColumnTitled(*list, title)) Print("error: no column \"" + title + "\"");
  }

  void Menu(const std::string& text) {
    platform::ListViewControl* list = List();
    if (list == nullptr) return;
    if (host_ != nullptr) host_->ChooseNext(text);
    list->UserRightClick(list->GetNextItem(-1, platform::LVNI_SELECTED));
  }

  // Serves the windows' messages (the chosen menu command comes back as one).
  void Pump(int ms) {
    if (display_ != nullptr) {
      display_->PumpUntil([] { return false; }, ms);
      return;
    }
    const auto start = std::chrono::steady_clock::now();
    do {
      platform::PumpMessages(ms > 0 ? 5 : 0);
    } while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(ms));
  }

  void Shot(const std::string& file) {
    platform::UiWindow* window = player_.LibraryWindowObject();
    if (display_ == nullptr || window == nullptr) {
      Print("error: no display");
      return;
    }
    display_->Settle(5000);  // what waits to be drawn is drawn
    if (!display_->SaveWindowImage(*window, file)) Print("error: no picture written to " + file);
  }

  // Where the window's client area (its status bar spans it) and the page's list lie on
  // the screen: left, top, right, bottom.
  void Place() {
    platform::UiWindow* page = Page();
    platform::UiWindow* window = player_.LibraryWindowObject();
    if (display_ == nullptr || page == nullptr || window == nullptr) {
      Print("error: no page on a display");
      return;
    }
    display_->Settle(5000);
    const auto print = [](const std::string& what, const std::optional<platform::Rect>& r) {
      if (!r) {
        Print("error: no " + what + " shown");
        return;
      }
      Print(what + "\t" + hostscript::Joined({std::to_string(r->left), std::to_string(r->top), std::to_string(r->right),
                                              std::to_string(r->bottom)}));
    };
    Print("x window\t" + std::to_string(display_->WindowXid(*window)));
    print("window", display_->ScreenRect(*window, kStatusBarId));
    print("list", display_->ScreenRect(*page, kPageListId));
    for (const platform::RenderedControl& c : display_->RenderedControls(*page)) {
      if (c.id != kPageListId) continue;
      Print(std::string("scroll bars\t") + (c.horizontalBar ? "horizontal" : "-") + "\t" + (c.verticalBar ? "vertical" : "-"));
    }
  }

  void Rendered() {
    platform::UiWindow* page = Page();
    if (display_ == nullptr || page == nullptr) {
      Print("error: no page on a display");
      return;
    }
    const std::vector<std::string> differences = platform::CompareWithModel(*page, display_->RenderedControls(*page));
    for (const std::string& d : differences) Print(d);
    if (differences.empty()) Print("as the page holds it");
  }

  Player& player_;
  ScriptHost* host_;
  platform::WxHost* display_;
};

// ---- Start-up ----

std::vector<std::string> DefaultPlugins() {
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  const std::filesystem::path dir = n > 0 ? std::filesystem::path(std::string(self, static_cast<std::size_t>(n))).parent_path()
                                          : std::filesystem::path(".");
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "Plugins", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("ml_", 0) == 0 && name.size() > 6 && name.compare(name.size() - 3, 3, ".so") == 0) {
      found.push_back(entry.path().string());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

void Usage(std::FILE* to = stderr) {
  std::fprintf(to,
               "usage: mlhost [-l LIBRARY]... [-w] script   (commands on standard input)\n"
               "       mlhost [-l LIBRARY]...               (the library window)\n");
}

// --help: the usage, then the script's commands.
void Help() {
  Usage(stdout);
  std::printf("\nScript commands (one a line; blank lines and lines starting with # are skipped):\n%s",
              hostscript::CommandHelp(Script::Commands()).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> libraries;
  bool onDisplay = false;
  bool script = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-l" && i + 1 < argc) {
      libraries.push_back(argv[++i]);
    } else if (arg == "-w") {
      onDisplay = true;
    } else if (arg == "script") {
      script = true;
    } else if (arg == "--help" && argc == 2) {
      Help();
      return 0;
    } else {
      Usage();
      return 2;
    }
  }
  if (!script) onDisplay = true;
  if (libraries.empty()) libraries = DefaultPlugins();

  std::unique_ptr<platform::Host> desktop;
  platform::WxHost* display = nullptr;
  ScriptHost scriptHost;
  if (onDisplay) {
    desktop = platform::MakeDesktopHost("mlhost");
    display = dynamic_cast<platform::WxHost*>(desktop.get());
    if (display == nullptr) {
      std::fprintf(stderr, "mlhost: no display to show the library window on (script works without one)\n");
      return 2;
    }
  } else {
    platform::SetCurrentHost(&scriptHost);
  }

  int status = 0;
  {
    Player player(script);
    if (!player.Create()) {
      std::fprintf(stderr, "mlhost: the library window cannot be made\n");
      platform::SetCurrentHost(nullptr);
      return 1;
    }
    for (const std::string& path : libraries) {
      if (std::unique_ptr<Plugin> plugin = LoadPlugin(path)) player.Start(std::move(plugin));
    }
    if (player.Entries().empty()) std::fprintf(stderr, "mlhost: no media library plug-in was loaded\n");
    if (script) {
      Script(player, display == nullptr ? &scriptHost : nullptr, display).Run();
    } else {
      status = display->RunMessageLoop();
    }
  }
  if (!onDisplay) platform::SetCurrentHost(nullptr);
  return status;
}
