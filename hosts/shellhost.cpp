// shellhost: our stand-in for the file manager that hosts the library's namespace. It
// loads a variant copy of tovarin.so as a file manager loads a namespace extension (the
// library's class factory, the root folder initialised with its absolute list), and
// shows the player's folders on the command line.
//
//   shellhost [-l LIBRARY] [-c CLASS] ls [FOLDER PATH]
//   shellhost [-l LIBRARY] [-c CLASS] tree [FOLDER PATH]
//   shellhost [-l LIBRARY] [-c CLASS] script      commands from standard input, one a line
//
// LIBRARY defaults to $TOVARIN_SHELL_LIBRARY, else ombrixj1.so beside this program; CLASS
// to the class the library's file name serves. A folder path names folders by their
// display names, separated by "\" or "/" ("Artists\Harbor Lights").
//
// Listings print one line per item: "D" for a folder or "I" for an item, the display
// name, the second text and the icon name, separated by tabs.
//
// Script commands: ls [PATH], tree [PATH], flags N (what ls and tree enumerate:
// 0x20 folders, 0x40 other items; both by default), name PATH (the full display name),
// attributes PATH, classid, canunload, # comments. Each command's output follows a line
// "> command"; failures print "error: ...". The exit code is 0, or 1 when the library
// could not be loaded or would not give its folder.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/identity.h"
#include "platform/com/allocator.h"
#include "platform/com/module.h"
#include "platform/shell/shell_interfaces.h"
#include "platform/text/text.h"
#include "shellext/shell_item.h"

using namespace device;

namespace {

using platform::ComPtr;
using platform::HRESULT;
using platform::IShellFolder;
using platform::LPCITEMIDLIST;
using platform::LPITEMIDLIST;

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

// A list owned by the host, freed through the shell allocator.
struct List {
  LPITEMIDLIST p = nullptr;
  explicit List(LPITEMIDLIST list = nullptr) : p(list) {}
  List(List&& o) noexcept : p(std::exchange(o.p, nullptr)) {}
  List& operator=(List&& o) noexcept {
    std::swap(p, o.p);
    return *this;
  }
  ~List() { platform::FreeItemIdList(p); }
};

// The host's own item for the place of the namespace in its tree: the class id.
List RootList(const platform::CLSID& clsid) {
  std::uint8_t bytes[2 + 2 + 16 + 2] = {20, 0, 0x1F, 0x50};
  std::memcpy(bytes + 4, &clsid, 16);
  return List(platform::ItemIdListFromBytes(bytes, sizeof bytes));
}

struct Entry {
  List list;
  std::string name;
  bool folder = false;
};

class Host {
 public:
  Host(std::unique_ptr<platform::ComModule> module, ComPtr<IShellFolder> root)
      : module_(std::move(module)), root_(std::move(root)) {}

  void SetFlags(platform::DWORD flags) { flags_ = flags; }

  std::vector<Entry> Enumerate(IShellFolder* folder, platform::DWORD flags) {
    std::vector<Entry> entries;
    ComPtr<platform::IEnumIDList> items;
    const HRESULT hr = folder->EnumObjects(0, flags, items.Put());
    if (hr != platform::S_OK || !items) {
      Print("error: EnumObjects: " + Result(hr));
      return entries;
    }
    for (;;) {
      LPITEMIDLIST item = nullptr;
      platform::ULONG fetched = 0;
      if (items->Next(1, &item, &fetched) != platform::S_OK || fetched != 1) break;
      Entry e;
      e.list = List(item);
      platform::STRRET name;
      if (folder->GetDisplayNameOf(item, platform::SHGDN_INFOLDER, &name) == platform::S_OK) {
        e.name = platform::StrRetToString(&name, item);
      }
      LPCITEMIDLIST one = item;
      platform::ULONG attributes = 0;
      folder->GetAttributesOf(1, &one, &attributes);
      e.folder = (attributes & platform::SFGAO_FOLDER) != 0;
      entries.push_back(std::move(e));
    }
    return entries;
  }

  // The folder at a path of display names; null (after a message) when there is none.
  ComPtr<IShellFolder> Open(const std::string& path) {
    ComPtr<IShellFolder> folder = root_;
    std::string rest = path;
    while (!rest.empty() && (rest.front() == '/' || rest.front() == '\\')) rest.erase(0, 1);
    while (!rest.empty()) {
      std::vector<Entry> entries = Enumerate(folder.Get(), platform::SHCONTF_FOLDERS | platform::SHCONTF_NONFOLDERS);
      // The longest name that the rest of the path starts with, up to a separator.
      const Entry* match = nullptr;
      for (const Entry& e : entries) {
        if (!e.folder || rest.compare(0, e.name.size(), e.name) != 0) continue;
        if (rest.size() != e.name.size() && rest[e.name.size()] != '/' && rest[e.name.size()] != '\\') continue;
        if (match == nullptr || e.name.size() > match->name.size()) match = &e;
      }
      if (match == nullptr) {
        Print("error: no folder \"" + rest.substr(0, rest.find_first_of("/\\")) + "\"");
        return nullptr;
      }
      ComPtr<IShellFolder> child;
      const HRESULT hr = folder->BindToObject(match->list.p, nullptr, platform::IID_IShellFolder, child.PutVoid());
      if (hr != platform::S_OK) {
        Print("error: BindToObject: " + Result(hr));
        return nullptr;
      }
      folder = child;
      rest.erase(0, match->name.size());
      while (!rest.empty() && (rest.front() == '/' || rest.front() == '\\')) rest.erase(0, 1);
    }
    return folder;
  }

  void List_(const std::string& path) {
    ComPtr<IShellFolder> folder = Open(path);
    if (!folder) return;
    for (const Entry& e : Enumerate(folder.Get(), flags_)) Print(Line(folder.Get(), e, ""));
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
    for (const Entry& e : Enumerate(parent.Get(), platform::SHCONTF_FOLDERS | platform::SHCONTF_NONFOLDERS)) {
      if (e.name != leaf) continue;
      platform::STRRET name;
      const HRESULT hr = parent->GetDisplayNameOf(e.list.p, platform::SHGDN_NORMAL, &name);
      Print(hr == platform::S_OK ? platform::StrRetToString(&name, e.list.p) : "error: GetDisplayNameOf: " + Result(hr));
      LPCITEMIDLIST one = e.list.p;
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

  static void Print(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);  // in step with the library's messages on stderr
  }

 private:
  void Tree(IShellFolder* folder, const std::string& indent, int depth) {
    for (const Entry& e : Enumerate(folder, flags_)) {
      Print(Line(folder, e, indent));
      if (!e.folder || depth >= 16) continue;
      ComPtr<IShellFolder> child;
      if (folder->BindToObject(e.list.p, nullptr, platform::IID_IShellFolder, child.PutVoid()) == platform::S_OK) {
        Tree(child.Get(), indent + "  ", depth + 1);
      }
    }
  }

  static std::string IconName(IShellFolder* folder, const Entry& e) {
    ComPtr<platform::IExtractIconA> icon;
    LPCITEMIDLIST one = e.list.p;
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

  static std::string SecondText(const Entry& e) {
    const std::size_t length = platform::HandedOverLength(e.list.p);
    if (!shellext::IsShellItem(e.list.p, length)) return "";
    const auto* item = reinterpret_cast<const std::uint8_t*>(e.list.p);
    return std::string(platform::ReadField(reinterpret_cast<const char*>(item) + offsetof(shellext::ShellItemData, secondText),
                                           sizeof(FixedString256::text)));
  }

  std::string Line(IShellFolder* folder, const Entry& e, const std::string& indent) {
    return indent + (e.folder ? "D\t" : "I\t") + e.name + "\t" + SecondText(e) + "\t" + IconName(folder, e);
  }

  std::unique_ptr<platform::ComModule> module_;
  ComPtr<IShellFolder> root_;
  platform::DWORD flags_ = platform::SHCONTF_FOLDERS | platform::SHCONTF_NONFOLDERS;
};

void Usage() {
  std::fprintf(stderr,
               "usage: shellhost [-l LIBRARY] [-c CLASS] ls [FOLDER PATH]\n"
               "       shellhost [-l LIBRARY] [-c CLASS] tree [FOLDER PATH]\n"
               "       shellhost [-l LIBRARY] [-c CLASS] script   (commands on standard input)\n");
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

int RunScript(Host& host) {
  std::string line;
  while (std::getline(std::cin, line)) {
    const std::string command = platform::Trim(line);
    if (command.empty() || command[0] == '#') continue;
    Host::Print("> " + command);
    const std::size_t space = command.find(' ');
    const std::string verb = command.substr(0, space);
    const std::string arg = space == std::string::npos ? "" : platform::Trim(command.substr(space + 1));
    if (verb == "ls") {
      host.List_(arg);
    } else if (verb == "tree") {
      host.Tree(arg);
    } else if (verb == "flags") {
      host.SetFlags(static_cast<platform::DWORD>(std::strtoul(arg.c_str(), nullptr, 0)));
    } else if (verb == "name") {
      host.Name(arg);
    } else if (verb == "classid") {
      host.ClassId();
    } else if (verb == "canunload") {
      host.CanUnload();
    } else if (verb == "quit") {
      break;
    } else {
      Host::Print("error: unknown command \"" + verb + "\"");
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string library = DefaultLibrary();
  std::optional<std::string> classText;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    const std::string option = argv[i];
    if ((option == "-l" || option == "-c") && i + 1 < argc) {
      (option == "-l" ? library : classText.emplace()) = argv[++i];
    } else {
      Usage();
      return 2;
    }
  }
  if (i >= argc) {
    Usage();
    return 2;
  }
  const std::string command = argv[i++];
  const std::string path = i < argc ? argv[i] : "";
  if (command != "ls" && command != "tree" && command != "script") {
    Usage();
    return 2;
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
    Host::Print("DllGetClassObject: " + Result(hr));
    Host::Print("DllCanUnloadNow: " + Result(module->CanUnloadNow()));
    return 1;
  }
  ComPtr<IShellFolder> root;
  hr = factory->CreateInstance(nullptr, platform::IID_IShellFolder, root.PutVoid());
  if (hr != platform::S_OK) {
    Host::Print("CreateInstance: " + Result(hr));
    return 1;
  }
  {
    ComPtr<platform::IPersistFolder> persist;
    if (root.As(persist) == platform::S_OK) {
      List rootList = RootList(clsid);
      persist->Initialize(rootList.p);
    }
  }
  factory.Reset();

  // The host holds the last references; they go before the library may be unloaded.
  Host host(std::move(module), std::move(root));
  if (command == "ls") host.List_(path);
  if (command == "tree") host.Tree(path);
  if (command == "script") RunScript(host);
  return 0;
}
