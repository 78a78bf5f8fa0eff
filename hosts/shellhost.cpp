// shellhost: our stand-in for the file manager that hosts the library's namespace. It
// loads a variant copy of tovarin.so as a file manager loads a namespace extension (the
// library's class factory, the root folder initialised with its absolute list), and
// shows the player's folders on the command line, in a script, or in its window.
//
//   shellhost [-l LIBRARY] [-c CLASS] ls [FOLDER PATH]
//   shellhost [-l LIBRARY] [-c CLASS] tree [FOLDER PATH]
//   shellhost [-l LIBRARY] [-c CLASS] [-w] script commands from standard input, one a line
//   shellhost [-l LIBRARY] [-c CLASS] [FOLDER PATH]  the window on the display
//
// The window opens on the folder of the path, or on the namespace's root when the path is
// the file manager's own command line ("/e,/n,::{...}\::{...}", as trayhub starts it).
// With -w a script drives the window on the display (else the window is made without
// one), and two more commands work: shot FILE (a PNG of the window) and rendered (the
// differences between the view's controls and what the display shows).
//
// LIBRARY defaults to $TOVARIN_SHELL_LIBRARY, else ombrixj1.so beside this program; CLASS
// to the class the library's file name serves. A folder path names folders by their
// display names, separated by "\" or "/" ("Artists\Harbor Lights").
//
// A script's commands are the table kCommands below; `shellhost --help` prints them. Each
// command's output follows a line "> command"; failures print "error: ...". The exit code
// is 0, or 1 when the library could not be loaded or would not give its folder.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "common/identity.h"
#include "common/shell_utilities.h"
#include "hosts/script_commands.h"
#include "hosts/shell_frame.h"
#include "platform/com/allocator.h"
#include "platform/com/module.h"
#include "platform/paths/paths.h"
#include "platform/shell/shell_interfaces.h"
#include "platform/text/text.h"
#include "platform/ui/data_offer.h"
#include "platform/ui/wx/wx_host.h"
#include "platform/window/wait.h"
#include "shellext/shell_item.h"

using namespace device;

namespace {

using platform::ComPtr;
using platform::HRESULT;
using platform::IShellFolder;
using platform::LPCITEMIDLIST;
using platform::LPITEMIDLIST;
using shellhost::FolderEntry;
using shellhost::OwnedList;

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

std::string Explain(HRESULT hr) {
  switch (hr) {
    case platform::S_OK: return "ok";
    case platform::S_FALSE: return "false";
    case platform::CLASS_E_CLASSNOTAVAILABLE: return "class not available";
    case platform::CLASS_E_NOAGGREGATION: return "no aggregation";
    case platform::E_NOINTERFACE: return "no such interface";
    case platform::E_NOTIMPL: return "not implemented";
    case platform::E_OUTOFMEMORY: return "out of memory";
    case platform::E_INVALIDARG: return "invalid argument";
    case platform::E_FAIL: return "failed";
    default: return "error";
  }
}

std::string Result(HRESULT hr) { return Explain(hr) + " (" + Hex(hr) + ")"; }

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);  // in step with the library's messages on stderr
}

// The host's own item for the place of the namespace in its tree: the class id.
OwnedList RootList(const platform::CLSID& clsid) {
  std::uint8_t bytes[2 + 2 + 16 + 2] = {20, 0, 0x1F, 0x50};
  std::memcpy(bytes + 4, &clsid, 16);
  return OwnedList(platform::ItemIdListFromBytes(bytes, sizeof bytes));
}

class Host {
 public:
  Host(std::unique_ptr<platform::ComModule> module, ComPtr<IShellFolder> root, OwnedList rootList)
      : module_(std::move(module)), root_(std::move(root)), rootList_(std::move(rootList)) {}
  ~Host() { frame_.reset(); }  // the view and folders go before the library may

  void SetFlags(platform::DWORD flags) { flags_ = flags; }

  std::vector<FolderEntry> Enumerate(IShellFolder* folder, platform::DWORD flags) {
    HRESULT hr = platform::S_OK;
    std::vector<FolderEntry> entries = shellhost::EnumerateFolder(folder, flags, &hr);
    if (hr != platform::S_OK) Print("error: EnumObjects: " + Result(hr));
    return entries;
  }

  // The folder at a path of display names; null (after a message) when there is none.
  ComPtr<IShellFolder> Open(const std::string& path) {
    OwnedList relative;
    std::string error;
    if (!Frame(false).FindPath(path, relative, error)) {
      Print("error: " + error);
      return nullptr;
    }
    if (relative.Get() == nullptr) return root_;
    ComPtr<IShellFolder> folder;
    const HRESULT hr = root_->BindToObject(relative.Get(), nullptr, platform::IID_IShellFolder, folder.PutVoid());
    if (hr != platform::S_OK) Print("error: BindToObject: " + Result(hr));
    return folder;
  }

  void List(const std::string& path) {
    ComPtr<IShellFolder> folder = Open(path);
    if (!folder) return;
    for (const FolderEntry& e : Enumerate(folder.Get(), flags_)) Print(Line(folder.Get(), e, ""));
  }

  void Tree(const std::string& path) {
    ComPtr<IShellFolder> folder = Open(path);
    if (folder) Tree(folder.Get(), "", 0);
  }

  void Name(const std::string& path) {
    // The parent folder and the item in it.
    const std::size_t cut = path.find_last_of("/\\");
    const std::string parentPath = cut == std::string::npos ? "" : path.substr(0, cut);
    const std::string leaf = cut == std::string::npos ? path : path.substr(cut + 1);
    ComPtr<IShellFolder> parent = Open(parentPath);
    if (!parent) return;
    for (const FolderEntry& e : Enumerate(parent.Get(), platform::SHCONTF_FOLDERS | platform::SHCONTF_NONFOLDERS)) {
      if (e.name != leaf) continue;
      platform::STRRET name;
      const HRESULT hr = parent->GetDisplayNameOf(e.list.Get(), platform::SHGDN_NORMAL, &name);
      Print(hr == platform::S_OK ? platform::StrRetToString(&name, e.list.Get()) : "error: GetDisplayNameOf: " + Result(hr));
      LPCITEMIDLIST one = e.list.Get();
      platform::ULONG attributes = 0;
      parent->GetAttributesOf(1, &one, &attributes);
      Print("attributes " + Hex(static_cast<HRESULT>(attributes)));
      return;
    }
    Print("error: no item \"" + leaf + "\"");
  }

  void ClassId() {
    ComPtr<platform::IPersistFolder> persist;
    HRESULT hr = root_.As(persist);
    if (hr != platform::S_OK) {
      Print("error: IPersistFolder: " + Result(hr));
      return;
    }
    platform::CLSID clsid{};
    hr = persist->GetClassID(&clsid);
    Print(hr == platform::S_OK ? platform::GuidToString(clsid) : "error: GetClassID: " + Result(hr));
  }

  void CanUnload() { Print("DllCanUnloadNow: " + Result(module_->CanUnloadNow())); }

  // The frame; `shown` makes it (without a display here) for the window commands.
  shellhost::ShellFrame& Frame(bool shown = true) {
    if (!frame_) {
      frame_ = std::make_unique<shellhost::ShellFrame>(root_, rootList_.Get(), g_ProductIdentity.productName);
    }
    if (shown && frame_->Frame() == nullptr && !frame_->Create()) Print("error: the window cannot be made");
    return *frame_;
  }

  // ---- The window's commands ----

  void View(const std::string& path) {
    std::string error;
    if (!Frame().Open(path, error)) Print("error: " + error);
  }

  platform::ListViewControl* ViewList() {
    platform::ListViewControl* list = Frame().ViewList();
    if (list == nullptr) Print("error: no view");
    return list;
  }

  void Rows() {
    platform::ListViewControl* list = ViewList();
    if (list == nullptr) return;
    for (const std::string& line : hostscript::ListRows(*list)) Print(line);
  }

  void Sort(const std::string& title) {
    platform::ListViewControl* list = ViewList();
    if (list != nullptr && !hostscript::ClickColumnTitled(*list, title)) Print("error: no column \"" + title + "\"");
  }

  void Select(const std::string& what) {
    platform::ListViewControl* list = ViewList();
    if (list != nullptr && !hostscript::SelectListRows(*list, what)) Print("error: no such rows");
  }

  void Activate() {
    if (ActiveView() == nullptr) return;
    platform::SendMessage(ViewWindow(), WM_VIEWCOMMAND, 0, static_cast<platform::LPARAM>(kViewCommandActivate));
    Frame().Pump();
  }

  void Key(std::string name) {
    platform::ListViewControl* list = ViewList();
    if (list == nullptr) return;
    platform::UINT modifiers = 0;
    for (const auto& [prefix, bit] : {std::pair<const char*, platform::UINT>{"ctrl+", platform::kModCtrl},
                                      {"shift+", platform::kModShift}, {"alt+", platform::kModAlt}}) {
      if (name.rfind(prefix, 0) == 0) {
        modifiers |= bit;
        name.erase(0, std::strlen(prefix));
      }
    }
    platform::UINT key = 0;
    if (name == "Delete") key = platform::VK_DELETE;
    if (name == "Enter") key = platform::VK_RETURN;
    if (name == "Escape") key = platform::VK_ESCAPE;
    if (name == "Insert") key = platform::VK_INSERT;
    if (name.size() == 1 && name[0] >= 'a' && name[0] <= 'z') key = static_cast<platform::UINT>(name[0] - 'a' + 'A');
    if (key == 0) {
      Print("error: no key \"" + name + "\"");
      return;
    }
    list->UserKey(key, modifiers);
    Frame().Pump();
  }

  void Drag(const std::string& arguments) {
    platform::ListViewControl* list = ViewList();
    if (list == nullptr) return;
    int from = 0;
    int to = 0;
    if (std::sscanf(arguments.c_str(), "%d %d", &from, &to) != 2) {
      Print("error: drag FROM TO");
      return;
    }
    if (!list->UserBeginDrag(from)) {
      Print("error: no row " + std::to_string(from));
      return;
    }
    if (list->GetReorderSource() < 0) return;  // the view refused the drag
    list->UserReorderOver(to);
    list->UserReorderDrop(to);
    Frame().Pump();
  }

  void Command(int id) {
    Frame().Command(id);
    Frame().Pump();
  }

  void Invoke(int id, bool folder) {
    platform::IShellView* view = ActiveView();
    if (view == nullptr) return;
    ComPtr<platform::IContextMenu> menu;
    const HRESULT hr = view->GetItemObject(folder ? platform::SVGIO_BACKGROUND : platform::SVGIO_SELECTION,
                                           platform::IID_IContextMenu, menu.PutVoid());
    if (hr != platform::S_OK) {
      Print("error: GetItemObject: " + Result(hr));
      return;
    }
    platform::CMINVOKECOMMANDINFO info;
    info.hwnd = ViewWindow();
    info.lpVerb = platform::VerbFromOffset(static_cast<platform::UINT>(id));
    menu->InvokeCommand(&info);
    Frame().Pump();
  }

  // The view's list: its mode, selected rows, focused row and the first row it shows.
  void ListState() {
    platform::ListViewControl* list = ViewList();
    if (list == nullptr) return;
    const platform::ListViewMode mode = list->GetView();
    Print(std::string("mode ") + (mode == platform::ListViewMode::Report ? "details" : mode == platform::ListViewMode::Icon ? "large icons"
                                  : mode == platform::ListViewMode::SmallIcon ? "small icons" : "list"));
    std::string rows = "selected";
    for (int row : list->GetSelectedRows()) rows += " " + std::to_string(row);
    Print(rows);
    Print("focused " + std::to_string(list->GetNextItem(-1, platform::LVNI_FOCUSED)));
    Print("top " + std::to_string(list->GetTopVisible()));
  }

  void Status() {
    for (int part = 0; part < 3; ++part) Print(std::to_string(part) + ": " + Frame().StatusBar().GetPartText(part));
  }

  void Menu() {
    std::istringstream in(Frame().MenuBar().Describe());
    for (std::string line; std::getline(in, line);) Print(line);
  }

  void Toolbar() {
    platform::ToolbarControl& bar = Frame().Toolbar();
    for (int i = 0; i < bar.GetButtonCount(); ++i) {
      const auto& b = bar.GetButton(i);
      if (b.separator) {
        Print("-");
        continue;
      }
      Print(std::to_string(b.command) + "\t" + (b.label.empty() ? bar.GetTooltip(b.command) : b.label) +
            (b.checked ? "\t[x]" : ""));
    }
  }

  void Pane() {
    platform::TreeViewControl& tree = Frame().Tree();
    std::function<void(platform::HTREEITEM, const std::string&)> walk = [&](platform::HTREEITEM parent,
                                                                            const std::string& indent) {
      for (platform::HTREEITEM item : tree.GetChildren(parent)) {
        const std::string text = tree.GetItemText(item);
        if (text.empty()) continue;  // an unopened folder's placeholder
        Print(indent + text + (tree.GetSelectedItem() == item ? "  <" : ""));
        if (tree.IsExpanded(item)) walk(item, indent + "  ");
      }
    };
    walk(platform::TVI_ROOT, "");
  }

  void Where() { Print(Frame().CurrentPath()); }

  // The display's host, when the window is on a display.
  void SetDisplayHost(platform::WxHost* host) { display_ = host; }

  void Shot(const std::string& file) {
    if (display_ == nullptr) {
      Print("error: no display");
      return;
    }
    platform::UiWindow* frame = Frame().Frame();
    display_->Settle(5000);  // what waits to be drawn is drawn
    if (frame == nullptr || !display_->SaveWindowImage(*frame, file)) Print("error: no picture written to " + file);
  }

  void Rendered() {
    platform::UiWindow* view = Frame().ViewWindow();
    if (display_ == nullptr || view == nullptr) {
      Print("error: no view on a display");
      return;
    }
    const std::vector<std::string> differences =
        platform::CompareWithModel(*view, display_->RenderedControls(*view));
    for (const std::string& d : differences) Print(d);
    if (differences.empty()) Print("as the view holds it");
  }

  void Back() {
    Frame().Command(shellhost::kCmdBack);
    Frame().Pump();
  }

  // Files pasted into a folder of the player, as a file manager pastes them
  // (FOLDER<tab>FILE..., POSIX paths).
  void Paste(const std::string& arguments) {
    // The folder may be the top one, "": only the files drop empty pieces.
    const std::size_t tab = arguments.find('\t');
    std::vector<std::string> parts{arguments.substr(0, tab)};
    if (tab != std::string::npos) {
      for (std::string_view file : platform::SplitDroppingEmpty(std::string_view(arguments).substr(tab + 1), "\t")) {
        parts.emplace_back(file);
      }
    }
    if (parts.size() < 2) {
      Print("error: paste FOLDER<tab>FILE...");
      return;
    }
    OwnedList folder;
    std::string error;
    if (!Frame(false).FindPath(parts[0], folder, error)) {
      Print("error: " + error);
      return;
    }
    using Entry = void (*)(const void*, const char* const*, int);
    const auto entry = reinterpret_cast<Entry>(module_->Symbol("PasteFilesIntoFolder"));
    if (entry == nullptr) {
      Print("error: the library takes no files");
      return;
    }
    std::vector<std::string> files;
    for (std::size_t i = 1; i < parts.size(); ++i) files.push_back(platform::FromPosixPath(parts[i]));
    std::vector<const char*> names;
    for (const std::string& f : files) names.push_back(f.c_str());
    entry(folder.Get(), names.data(), static_cast<int>(names.size()));
  }

  // The context menu of the view's selection (of its folder when nothing is selected),
  // or of a tree item: its entries printed; an entry named by its text (without "&")
  // is run as when chosen.
  void Popup(const std::string& arguments, bool tree) {
    std::string path = arguments;
    std::string choose;
    if (const std::size_t tab = arguments.find('\t'); tab != std::string::npos) {
      path = arguments.substr(0, tab);
      choose = arguments.substr(tab + 1);
    } else if (!tree) {
      choose = arguments;
    }
    ComPtr<platform::IContextMenu> menu;
    if (tree) {
      const platform::HTREEITEM item = TreeItemAt(path);
      if (item == 0) return;
      menu = Frame().TreeItemMenu(item);
    } else if (platform::IShellView* view = ActiveView()) {
      platform::ListViewControl* list = Frame().ViewList();
      const bool selection = list != nullptr && list->GetSelectedCount() > 0;
      view->GetItemObject(selection ? platform::SVGIO_SELECTION : platform::SVGIO_BACKGROUND,
                          platform::IID_IContextMenu, menu.PutVoid());
    }
    if (!menu) {
      Print("error: no context menu");
      return;
    }
    platform::Menu popup;
    constexpr platform::UINT kFirst = 1;
    menu->QueryContextMenu(&popup, 0, kFirst, 0x7FFF, platform::CMF_NORMAL);
    std::istringstream lines(popup.Describe());
    for (std::string line; std::getline(lines, line);) Print(line);
    if (choose.empty()) return;
    const platform::Menu::Item* item = popup.FindText(choose);
    if (item == nullptr || !item->IsChoosable()) {
      Print("error: no entry \"" + choose + "\" to choose");
      return;
    }
    platform::CMINVOKECOMMANDINFO info;
    info.lpVerb = platform::VerbFromOffset(item->id - kFirst);
    menu->InvokeCommand(&info);
    Frame().Pump();
  }

  // On the display: a right click on the first selected row of the view (its background
  // when none is selected) or on a tree item, the menu shown saved as a picture, then
  // dismissed.
  void PopupShot(const std::string& arguments, bool tree) {
    if (display_ == nullptr) {
      Print("error: no display");
      return;
    }
    std::string path;
    std::string file = arguments;
    if (tree) {
      const std::size_t tab = arguments.find('\t');
      if (tab == std::string::npos) {
        Print("error: tree-popup-shot PATH<tab>FILE");
        return;
      }
      path = arguments.substr(0, tab);
      file = arguments.substr(tab + 1);
    }
    bool saved = false;
    display_->SetPromptObserver([&](platform::WxPrompt& prompt) {
      if (prompt.kind() != platform::WxPrompt::Kind::Menu) return;
      saved = prompt.SaveImage(file);
      prompt.Cancel();
    });
    if (tree) {
      if (const platform::HTREEITEM item = TreeItemAt(path)) Frame().Tree().UserRightClick(item);
    } else if (platform::ListViewControl* list = ViewList()) {
      list->UserRightClick(list->GetSelectedCount() > 0 ? list->GetNextItem(-1, platform::LVNI_SELECTED) : -1);
    }
    display_->SetPromptObserver(nullptr);
    if (!saved) Print("error: no menu picture written to " + file);
  }

  // Files dropped by another program onto a tree item ("" the top item) or onto the view
  // (a row, -1 its background), through the window's drop handler as the display hands
  // drops to it: the effect it answered.
  void Drop(const std::string& arguments, bool tree) {
    std::vector<std::string> parts;
    for (std::string_view part : platform::SplitKeepingEmpty(arguments, '\t')) parts.emplace_back(part);
    if (parts.size() < 2) {
      Print(tree ? "error: drop PATH<tab>FILE..." : "error: drop-view ROW<tab>FILE...");
      return;
    }
    platform::DragState state;
    platform::UiWindow* window = nullptr;
    if (tree) {
      state.treeItem = TreeItemAt(parts[0]);
      if (state.treeItem == 0) return;
      state.control = shellhost::kTreeId;
      window = Frame().TreePane();
    } else {
      window = Frame().ViewWindow();
      state.row = hostscript::Number(parts[0]);
      state.control = 1001;
    }
    if (window == nullptr || !window->GetDropHandler()) {
      Print("error: the window takes no drops");
      return;
    }
    auto files = std::make_shared<platform::FilesOffer>(std::vector<std::string>(parts.begin() + 1, parts.end()));
    const platform::DWORD effect = platform::DropOffer(*window->GetDropHandler(), files, state);
    Frame().Pump();
    Print("effect " + std::to_string(effect));
  }

  // On the display: where the view's list (or one of its rows) or a tree item is on the
  // screen, as "rect LEFT TOP RIGHT BOTTOM".
  void ScreenRect(const std::string& arguments) {
    if (display_ == nullptr) {
      Print("error: no display");
      return;
    }
    display_->PumpUntil([] { return false; }, 100);  // laid out and drawn
    std::optional<platform::Rect> rect;
    if (arguments.rfind("tree", 0) == 0) {
      const std::string path = platform::Trim(arguments.substr(4));
      if (const platform::HTREEITEM item = TreeItemAt(path)) {
        Frame().Tree().EnsureVisible(item);
        display_->PumpUntil([] { return false; }, 100);
        rect = display_->ScreenRect(*Frame().TreePane(), shellhost::kTreeId, static_cast<long>(item));
      }
    } else if (arguments.rfind("header", 0) == 0) {
      if (platform::UiWindow* view = Frame().ViewWindow()) {
        rect = display_->ScreenRectOfHeader(*view, 1001, hostscript::Number(platform::Trim(arguments.substr(6))));
      }
    } else if (platform::UiWindow* view = Frame().ViewWindow()) {
      const std::string row = platform::Trim(arguments.substr(arguments.rfind("view", 0) == 0 ? 4 : 0));
      rect = display_->ScreenRect(*view, 1001, row.empty() ? -1 : hostscript::Number(row));
    }
    if (!rect) {
      Print("error: not on the screen");
      return;
    }
    Print("rect " + std::to_string(rect->left) + " " + std::to_string(rect->top) + " " + std::to_string(rect->right) +
          " " + std::to_string(rect->bottom));
  }

  // What the clipboard offers: its formats, then its files.
  void Clipboard() {
    std::shared_ptr<platform::DataOffer> offer = platform::CurrentHost().GetClipboardOffer();
    if (!offer) {
      Print("empty");
      return;
    }
    for (const std::string& format : offer->Formats()) Print("format " + format);
    if (offer->Offers(platform::kUriListFormat)) {
      if (std::optional<std::string> list = offer->Data(platform::kUriListFormat)) {
        for (const std::string& path : platform::ParseUriList(*list)) Print("file " + path);
      }
    }
  }

  // Another program copies files (POSIX paths, by tabs).
  void SetClipboard(const std::string& arguments) {
    std::vector<std::string> files;
    for (std::string_view part : platform::SplitDroppingEmpty(arguments, "\t")) files.emplace_back(part);
    platform::CurrentHost().SetClipboardFiles(files);
  }

  // Serves the window's messages for `ms`, or until a cell of the view reads `text`.
  void Pump(const std::string& arguments) {
    Frame();
    const std::size_t space = arguments.find(' ');
    const int ms = hostscript::Number(arguments.substr(0, space));
    std::string text = space == std::string::npos ? std::string() : platform::Trim(arguments.substr(space + 1));
    const bool gone = !text.empty() && text[0] == '!';
    if (gone) text.erase(0, 1);
    const auto reached = [&] { return !text.empty() && Shows(text) != gone; };
    const std::string missed = gone ? "error: a row still shows \"" + text + "\"" : "error: no row shows \"" + text + "\"";
    if (display_ != nullptr) {
      // The window's loop: toolkit events and the messages of every process.
      if (!display_->PumpUntil(reached, ms) && !text.empty()) Print(missed);
      return;
    }
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(ms)) {
      platform::PumpMessages(5);
      if (reached()) return;
    }
    if (!text.empty()) Print(missed);
  }

 private:
  bool Shows(const std::string& text) {
    platform::ListViewControl* list = Frame().ViewList();
    for (int row = 0; list != nullptr && row < list->GetItemCount(); ++row) {
      for (int c = 0; c < list->GetColumnCount(); ++c) {
        if (list->GetItemText(row, c) == text) return true;
      }
    }
    return false;
  }

  // The tree item at a path of names below the top item ("" the top item), the folders
  // on the way opened; 0 (with a message) when there is none.
  platform::HTREEITEM TreeItemAt(const std::string& path) {
    platform::TreeViewControl& tree = Frame().Tree();
    platform::HTREEITEM item = tree.GetRootItem();
    for (std::string_view part : platform::SplitDroppingEmpty(path, "/")) {
      if (item == 0) break;
      const std::string name(part);
      tree.UserExpand(item, true);
      platform::HTREEITEM next = 0;
      for (platform::HTREEITEM child : tree.GetChildren(item)) {
        if (tree.GetItemText(child) == name) next = child;
      }
      item = next;
    }
    if (item == 0) Print("error: no tree item \"" + path + "\"");
    return item;
  }

  platform::IShellView* ActiveView() {
    platform::IShellView* view = Frame().ActiveView();
    if (view == nullptr) Print("error: no view");
    return view;
  }
  platform::HWND ViewWindow() {
    platform::HWND window = 0;
    if (platform::IShellView* view = Frame().ActiveView()) view->GetWindow(&window);
    return window;
  }

  void Tree(IShellFolder* folder, const std::string& indent, int depth) {
    for (const FolderEntry& e : Enumerate(folder, flags_)) {
      Print(Line(folder, e, indent));
      if (!e.folder || depth >= 16) continue;
      ComPtr<IShellFolder> child;
      if (folder->BindToObject(e.list.Get(), nullptr, platform::IID_IShellFolder, child.PutVoid()) == platform::S_OK) {
        Tree(child.Get(), indent + "  ", depth + 1);
      }
    }
  }

  static std::string IconName(IShellFolder* folder, const FolderEntry& e) {
    ComPtr<platform::IExtractIconA> icon;
    LPCITEMIDLIST one = e.list.Get();
    if (folder->GetUIObjectOf(0, 1, &one, platform::IID_IExtractIconA, nullptr, icon.PutVoid()) != platform::S_OK) {
      return "-";
    }
    char file[4096] = {};
    int index = -1;
    platform::UINT flags = 0;
    if (icon->GetIconLocation(0, file, sizeof file, &index, &flags) != platform::S_OK) return "-";
    platform::HICON large = nullptr;
    platform::HICON small = nullptr;
    if (icon->Extract(file, static_cast<platform::UINT>(index), &large, &small, 32) != platform::S_OK) return "-";
    std::string name = platform::IconName(large);
    if (name.empty()) name = "-";
    const std::string emblem = platform::IconEmblemName(large);
    if (!emblem.empty()) name += "+" + emblem;
    platform::DestroyIcon(large);
    platform::DestroyIcon(small);
    return name;
  }

  static std::string SecondText(const FolderEntry& e) {
    const std::size_t length = platform::HandedOverLength(e.list.Get());
    if (!shellext::IsShellItem(e.list.Get(), length)) return "";
    const auto* item = reinterpret_cast<const std::uint8_t*>(e.list.Get());
    return std::string(platform::ReadField(reinterpret_cast<const char*>(item) + offsetof(shellext::ShellItemData, secondText),
                                           sizeof(FixedString256::text)));
  }

  std::string Line(IShellFolder* folder, const FolderEntry& e, const std::string& indent) {
    return indent + (e.folder ? "D\t" : "I\t") + e.name + "\t" + SecondText(e) + "\t" + IconName(folder, e);
  }

  std::unique_ptr<platform::ComModule> module_;
  ComPtr<IShellFolder> root_;
  OwnedList rootList_;
  std::unique_ptr<shellhost::ShellFrame> frame_;
  platform::WxHost* display_ = nullptr;
  platform::DWORD flags_ = platform::SHCONTF_FOLDERS | platform::SHCONTF_NONFOLDERS;
};

void Usage(std::FILE* to = stderr) {
  std::fprintf(to,
               "usage: shellhost [-l LIBRARY] [-c CLASS] ls [FOLDER PATH]\n"
               "       shellhost [-l LIBRARY] [-c CLASS] tree [FOLDER PATH]\n"
               "       shellhost [-l LIBRARY] [-c CLASS] [-w] script   (commands on standard input)\n"
               "       shellhost [-l LIBRARY] [-c CLASS] [FOLDER PATH] (the window)\n");
}

// The file manager's own command line names the namespace's root, not a path of names.
bool IsFileManagerCommandLine(const std::string& argument) {
  return argument.rfind("/e,", 0) == 0 || argument.rfind("/n,", 0) == 0 || argument.rfind("::{", 0) == 0;
}

int RunWindow(Host& host, platform::WxHost& display, const std::string& path) {
  host.SetDisplayHost(&display);
  shellhost::ShellFrame& frame = host.Frame();
  if (frame.Frame() == nullptr) return 1;
  std::string error;
  if (!frame.Open(IsFileManagerCommandLine(path) ? std::string() : path, error)) {
    std::fprintf(stderr, "shellhost: %s\n", error.c_str());
    frame.Open("", error);
  }
  return display.RunMessageLoop();
}

std::string DefaultLibrary() {
  if (const char* env = std::getenv("TOVARIN_SHELL_LIBRARY"); env != nullptr && *env != '\0') return env;
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  const std::string dir = n > 0 ? std::filesystem::path(std::string(self, static_cast<std::size_t>(n))).parent_path().string()
                                : std::string(".");
  return dir + "/ombrixj1.so";
}

// The class a copy serves by its file name; the family's first class for a name that
// serves none (the library then answers for itself).
platform::CLSID ClassOf(const std::string& library) {
  int classByte = ClassByteForModule(ModuleBaseName(library));
  if (classByte < 0) classByte = 0x40;
  platform::CLSID clsid{};
  platform::IIDFromString(ClassIdText(classByte), &clsid);
  return clsid;
}

using Command = hostscript::ScriptCommand<Host>;

// The script's commands; `shellhost --help` prints them.
constexpr Command kCommands[] = {
    {"ls", "[PATH]", "the items of a folder: D (folder) or I, name, second text and icon, by tabs",
     [](Host& h, const std::string& a) { h.List(a); }},
    {"tree", "[PATH]", "the same for the folder and every folder below it, indented",
     [](Host& h, const std::string& a) { h.Tree(a); }},
    {"flags", "N", "what ls and tree enumerate: 0x20 folders, 0x40 other items (both at first)",
     [](Host& h, const std::string& a) { h.SetFlags(static_cast<platform::DWORD>(std::strtoul(a.c_str(), nullptr, 0))); }},
    {"name", "PATH", "an item's full display name and its attributes", [](Host& h, const std::string& a) { h.Name(a); }},
    {"classid", "", "the class id of the namespace's root", [](Host& h, const std::string&) { h.ClassId(); }},
    {"canunload", "", "whether the library could be unloaded now", [](Host& h, const std::string&) { h.CanUnload(); }},
    {"view", "[PATH]", "shows a folder's own view (the first window command makes the window)",
     [](Host& h, const std::string& a) { h.View(a); }},
    {"rows", "", "the view's column titles, then each row's texts, by tabs, in display order",
     [](Host& h, const std::string&) { h.Rows(); }},
    {"sort", "TITLE", "a click on that column's header (the direction flips every click)",
     [](Host& h, const std::string& a) { h.Sort(a); }},
    {"select", "all | none | N...", "selects the view's rows by number from 0",
     [](Host& h, const std::string& a) { h.Select(a); }},
    {"activate", "", "the first selected row, as Enter does", [](Host& h, const std::string&) { h.Activate(); }},
    {"key", "[ctrl+|shift+|alt+]NAME", "Delete, Enter, Escape, Insert or a letter, to the view's list",
     [](Host& h, const std::string& a) { h.Key(a); }},
    {"drag", "FROM TO", "a row dragged onto another (-1: past the end)",
     [](Host& h, const std::string& a) { h.Drag(a); }},
    {"command", "ID", "a menu or toolbar command (decimal, or hexadecimal after 0x)",
     [](Host& h, const std::string& a) { h.Command(hostscript::Number(a)); }},
    {"invoke", "ID", "an item command on the selection, through its context menu",
     [](Host& h, const std::string& a) { h.Invoke(hostscript::Number(a), false); }},
    {"invoke-folder", "ID", "the same on the view's folder",
     [](Host& h, const std::string& a) { h.Invoke(hostscript::Number(a), true); }},
    {"list-state", "", "the view's list: its mode, selected rows, focused row and first row shown",
     [](Host& h, const std::string&) { h.ListState(); }},
    {"status", "", "the status bar's parts", [](Host& h, const std::string&) { h.Status(); }},
    {"menu", "", "the menu bar", [](Host& h, const std::string&) { h.Menu(); }},
    {"toolbar", "", "the toolbar's buttons: command, tooltip, [x] when pressed",
     [](Host& h, const std::string&) { h.Toolbar(); }},
    {"pane", "", "the tree pane, its selected item marked <", [](Host& h, const std::string&) { h.Pane(); }},
    {"where", "", "the path shown", [](Host& h, const std::string&) { h.Where(); }},
    {"back", "", "back to the folder shown before", [](Host& h, const std::string&) { h.Back(); }},
    {"pump", "MS [TEXT]", "serves the window's messages for MS, or until a cell of the view reads TEXT (!TEXT: none)",
     [](Host& h, const std::string& a) { h.Pump(a); }},
    {"shot", "FILE", "on a display: a PNG of the window", [](Host& h, const std::string& a) { h.Shot(a); }},
    {"rendered", "", "on a display: how the view's controls differ from what the display shows",
     [](Host& h, const std::string&) { h.Rendered(); }},
    {"paste", "FOLDER<TAB>FILE...", "files handed to a folder of the player as a paste or a drop hands them",
     [](Host& h, const std::string& a) { h.Paste(a); }},
    {"popup", "[TEXT]", "the context menu of the selection (of the folder when none): its entries; TEXT is run",
     [](Host& h, const std::string& a) { h.Popup(a, false); }},
    {"tree-popup", "PATH[<TAB>TEXT]", "the same for a tree item (\"\" the top one)",
     [](Host& h, const std::string& a) { h.Popup(a, true); }},
    {"popup-shot", "FILE", "on a display: the menu a right click on the view shows, as a picture",
     [](Host& h, const std::string& a) { h.PopupShot(a, false); }},
    {"tree-popup-shot", "PATH<TAB>FILE", "the same for a tree item",
     [](Host& h, const std::string& a) { h.PopupShot(a, true); }},
    {"drop", "PATH<TAB>FILE...", "another program's files dropped on a tree item: the effect",
     [](Host& h, const std::string& a) { h.Drop(a, true); }},
    {"drop-view", "ROW<TAB>FILE...", "the same on a row of the view (-1 its background)",
     [](Host& h, const std::string& a) { h.Drop(a, false); }},
    {"screen-rect", "view [ROW] | header SLOT | tree PATH", "on a display: where it is on the screen",
     [](Host& h, const std::string& a) { h.ScreenRect(a); }},
    {"clipboard", "", "the clipboard's formats and files", [](Host& h, const std::string&) { h.Clipboard(); }},
    {"set-clipboard", "FILE<TAB>...", "another program copies files",
     [](Host& h, const std::string& a) { h.SetClipboard(a); }},
    {"echo", "TEXT", "prints TEXT", [](Host&, const std::string& a) { Print(a); }},
    {"quit", "", "ends the script", nullptr},
};

// --help: the usage, then the script's commands.
void Help() {
  Usage(stdout);
  std::printf("\nScript commands (one a line; blank lines and lines starting with # are skipped):\n%s",
              hostscript::CommandHelp<Host>(kCommands).c_str());
}

int RunScript(Host& host) {
  hostscript::RunCommands<Host>(std::cin, kCommands, host, Print);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    Help();
    return 0;
  }
  std::string library = DefaultLibrary();
  std::optional<std::string> classText;
  bool onDisplay = false;
  int i = 1;
  for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0' && std::strchr("lcw", argv[i][1]) != nullptr &&
         argv[i][2] == '\0';
       ++i) {
    const std::string option = argv[i];
    if (option == "-w") {
      onDisplay = true;
    } else if (i + 1 < argc) {
      (option == "-l" ? library : classText.emplace()) = argv[++i];
    } else {
      Usage();
      return 2;
    }
  }
  // A first word that is no command names the folder the window opens on.
  std::string command = i < argc ? argv[i] : "";
  std::string path;
  if (command == "ls" || command == "tree" || command == "script") {
    ++i;
    path = i < argc ? argv[i] : "";
  } else {
    path = command;
    command = "window";
    onDisplay = true;
  }

  g_ProductIdentity.InitFromPath(library);  // the window's names are the library's product's
  std::unique_ptr<platform::Host> desktop;
  platform::WxHost* display = nullptr;
  if (onDisplay) {
    desktop = platform::MakeDesktopHost("shellhost");
    display = dynamic_cast<platform::WxHost*>(desktop.get());
    if (display == nullptr && command == "window") {
      std::fprintf(stderr, "shellhost: no display to show the window on (ls, tree and script work without one)\n");
      return 2;
    }
  }

  std::string error;
  std::unique_ptr<platform::ComModule> module = platform::ComModule::Load(library, &error);
  if (!module) {
    std::fprintf(stderr, "shellhost: %s\n", error.c_str());
    return 1;
  }
  platform::CLSID clsid = ClassOf(library);
  if (classText && platform::IIDFromString(*classText, &clsid) != platform::S_OK) {
    std::fprintf(stderr, "shellhost: %s is not a class id\n", classText->c_str());
    return 2;
  }
  ComPtr<platform::IClassFactory> factory;
  HRESULT hr = module->GetClassObject(clsid, platform::IID_IClassFactory, factory.PutVoid());
  if (hr != platform::S_OK) {
    Print("DllGetClassObject: " + Result(hr));
    Print("DllCanUnloadNow: " + Result(module->CanUnloadNow()));
    return 1;
  }
  ComPtr<IShellFolder> root;
  hr = factory->CreateInstance(nullptr, platform::IID_IShellFolder, root.PutVoid());
  if (hr != platform::S_OK) {
    Print("CreateInstance: " + Result(hr));
    return 1;
  }
  OwnedList rootList = RootList(clsid);
  {
    ComPtr<platform::IPersistFolder> persist;
    if (root.As(persist) == platform::S_OK) persist->Initialize(rootList.Get());
  }
  factory.Reset();

  int status = 0;
  {
    // The host holds the last references; they go before the library may be unloaded,
    // and the windows before the display's host.
    Host host(std::move(module), std::move(root), std::move(rootList));
    host.SetDisplayHost(display);
    if (command == "ls") host.List(path);
    if (command == "tree") host.Tree(path);
    if (command == "script") RunScript(host);
    if (command == "window") status = RunWindow(host, *display, path);
  }
  return status;
}
