// Test support for the library's core: a small catalogue on the in-memory player that the
// folders are listed from in this process, and listings read back as rows.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/identity.h"
#include "testing/desktop_answers.h"
#include "testing/processes.h"
#include "testing/temp_home.h"
#include "device/memory_device.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/shell/shell_interfaces.h"
#include "shellext/enum_id_list.h"
#include "shellext/library.h"
#include "shellext/shell_item.h"

namespace shellexttest {

using shellext::CEnumIDList;
using shellext::ShellItemData;

// The catalogue: four tracks of three artists, two playlists, data files in a folder
// with a sub-folder, a note, a contact, a radio preset and a storage medium.
struct Catalogue {
  device::KernelId harbour, longRoad, opening, mirror;
  device::KernelId evening, jazzMix;
  device::KernelId documents, old, top;
};

inline Catalogue Seed(device::MemoryDeviceBase& device) {
  Catalogue c;
  c.harbour = device.AddTrack({.artist = "Ada Lind", .album = "North Light", .title = "Harbour", .genre = "Folk",
                               .number = 1, .year = 2004, .length = 180});
  c.longRoad = device.AddTrack({.artist = "Ada Lind", .album = "North Light", .title = "Long Road", .genre = "Folk",
                                .number = 2, .year = 2004, .length = 200});
  c.opening = device.AddTrack({.artist = "Brass Fold", .album = "Metal Hours", .title = "Opening", .genre = "Jazz",
                               .number = 1, .year = 1998, .length = 210, .codec = device::kCodecWav});
  c.mirror = device.AddTrack({.artist = "Cyra", .album = "Glass Rooms", .title = "Mirror", .genre = "Pop",
                              .number = 7, .year = 0, .length = 150});
  c.evening = device.AddPlaylist("Evening", {c.harbour, c.opening});
  c.jazzMix = device.AddPlaylist("Jazz Mix", {c.opening});
  c.documents = device.AddDataFolder(device::KernelId(), "Documents");
  device.AddDataFile(c.documents, "readme.txt", "read me");
  device.AddDataFile(c.documents, "list.csv", "a,b");
  c.old = device.AddDataFolder(c.documents, "Old");
  device.AddDataFile(c.old, "a.txt", "a");
  c.top = device.AddDataFile(device::KernelId(), "top.txt", "top");
  device.AddNote(device::KernelId(), "Shopping", "Strings, picks.");
  device.AddContact(device::KernelId(), "Mara Quill");
  device.AddFMPreset("City FM", 8850);
  device.AddStorage("Internal", 1000, 800);
  return c;
}

// One listed item as the tests compare it.
struct Row {
  std::uint32_t type;
  int position;
  std::string name;
  std::string second;
  int value3;
};

inline std::ostream& operator<<(std::ostream& os, const Row& r) {
  return os << "{0x" << std::hex << r.type << std::dec << ", " << r.position << ", \"" << r.name << "\", \""
            << r.second << "\", " << r.value3 << "}";
}
inline bool operator==(const Row& a, const Row& b) {
  return a.type == b.type && a.position == b.position && a.name == b.name && a.second == b.second &&
         a.value3 == b.value3;
}

// A fresh settings store and work folder, the product identity, and the device the
// library's folders ask.
class LibraryTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    g_ProductIdentity.InitFromPath("/opt/tovarin/ombrixj1.so");
    key_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
  }
  void TearDown() override {
    shellext::SetDeviceForTesting(nullptr);
    for (platform::LPITEMIDLIST list : lists_) platform::FreeItemIdList(list);
    TempHome::TearDown();
  }

  void Use(device::KernelDevice& device) { shellext::SetDeviceForTesting(&device); }
  platform::SettingsKey& Settings() { return *key_; }

  // The installation folder (the product key's value, a blank in its name) with a launcher
  // "tovarinj1" that says it runs, as the real one does first, then runs the sh `body`
  // ($0 the launcher, $1 the list file). Its path.
  std::string InstallLauncher(const std::string& body) {
    const std::string folder = root_ + "/install dir";
    std::filesystem::create_directories(folder);
    const std::string launcher = folder + "/tovarinj1";
    std::filesystem::remove(launcher);
    std::ofstream(launcher) << "#!/bin/sh\n" << platform::testing::ScriptReportsStarted() << body << "\n";
    ::chmod(launcher.c_str(), 0755);
    Settings().SetString("", platform::FromPosixPath(folder));
    return launcher;
  }

  // The desktop's applications, answered from tables: no test of the library starts the
  // desktop's tools.
  platform::testing::DesktopAnswers desktop_;

  // The items of the folder whose own list is `folder` (null: the device root).
  std::vector<ShellItemData> Items(platform::LPCITEMIDLIST folder, platform::DWORD flags = 0x60) {
    auto* e = new CEnumIDList(nullptr, folder, flags);
    std::vector<ShellItemData> items;
    for (std::size_t i = 0; i < e->ItemCount(); ++i) {
      items.emplace_back();
      std::memcpy(static_cast<void*>(&items.back()), &e->ItemAt(i), sizeof(ShellItemData));
    }
    e->Release();
    return items;
  }

  std::vector<Row> List(platform::LPCITEMIDLIST folder, platform::DWORD flags = 0x60) {
    std::vector<Row> rows;
    for (const ShellItemData& item : Items(folder, flags)) {
      rows.push_back({item.nodeType, item.position, std::string(item.DisplayName()), std::string(item.SecondText()),
                      item.value3});
    }
    return rows;
  }

  std::vector<std::string> Names(platform::LPCITEMIDLIST folder, platform::DWORD flags = 0x60) {
    std::vector<std::string> names;
    for (const Row& r : List(folder, flags)) names.push_back(r.name);
    return names;
  }

  // The one-item list of the child named `name` of a folder (kept until the test ends);
  // null when there is none.
  platform::LPITEMIDLIST Child(platform::LPCITEMIDLIST folder, const std::string& name) {
    for (const ShellItemData& item : Items(folder)) {
      if (item.DisplayName() != name) continue;
      platform::LPITEMIDLIST list = MakeList(item);
      lists_.push_back(list);
      return list;
    }
    return nullptr;
  }

  // The folder at a path of names from the root.
  platform::LPITEMIDLIST At(const std::vector<std::string>& path) {
    platform::LPITEMIDLIST folder = nullptr;
    for (const std::string& name : path) {
      folder = Child(folder, name);
      if (folder == nullptr) ADD_FAILURE() << "no folder " << name;
      if (folder == nullptr) return nullptr;
    }
    return folder;
  }

  // A folder item made here (kept until the test ends): type and id word 0.
  platform::LPITEMIDLIST Folder(std::uint32_t type, std::uint32_t word0, std::string_view name = {}) {
    std::vector<std::uint8_t> bytes(shellext::kOneItemListSize, 0);
    auto* item = reinterpret_cast<ShellItemData*>(bytes.data());
    item->cb = shellext::kShellItemSize;
    std::memcpy(item->signature, shellext::kShellItemSignature, 4);
    item->nodeType = type;
    item->id.word[0] = word0;
    shellext::SetItemText(item->displayName, name);
    platform::LPITEMIDLIST list = platform::ItemIdListFromBytes(bytes.data(), bytes.size());
    lists_.push_back(list);
    return list;
  }

  // A one-item list of an item, in the shell allocator.
  static platform::LPITEMIDLIST MakeList(const ShellItemData& item) {
    std::vector<std::uint8_t> bytes(shellext::kOneItemListSize, 0);
    std::memcpy(bytes.data(), &item, sizeof item);
    return platform::ItemIdListFromBytes(bytes.data(), bytes.size());
  }

 private:
  std::optional<platform::SettingsKey> key_;
  std::vector<platform::LPITEMIDLIST> lists_;
};

}  // namespace shellexttest
