// Test support for the item commands: the library's folders on the in-memory player with
// the scripted host, and commands run through a folder's context menu with a selection,
// as the view and the menus run them.
#pragma once

#include <filesystem>

#include "testing/processes.h"
#include "platform/paths/paths.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"
#include "tools/name_dlg.h"
#include "shellext/shell_folder.h"
#include "testing/shellext.h"
#include "sql/query_engine.h"

namespace shellexttest {

// Commands run on the player the library's folders ask (Player()).
class CommandRunner : public LibraryTest {
 protected:
  virtual device::KernelDevice& Player() = 0;

  // Runs a command of the folder at `path` (names from the root) on the children named
  // `names` (none: the folder's own item, as the toolbar passes it; the root has none).
  void Invoke(int command, const std::vector<std::string>& path, const std::vector<std::string>& names = {}) {
    std::vector<shellext::CShellFolder*> folders = {new shellext::CShellFolder(nullptr, nullptr)};
    platform::LPITEMIDLIST list = nullptr;
    for (const std::string& name : path) {
      list = Child(list, name);
      ASSERT_NE(list, nullptr) << name;
      folders.push_back(new shellext::CShellFolder(folders.back(), list));
    }
    std::vector<platform::LPCITEMIDLIST> items;
    for (const std::string& name : names) {
      items.push_back(Child(list, name));
      ASSERT_NE(items.back(), nullptr) << name;
    }
    if (names.empty() && list != nullptr) items.push_back(list);
    {
      platform::ComPtr<platform::IContextMenu> menu;
      ASSERT_EQ(folders.back()->GetUIObjectOf(0, static_cast<platform::UINT>(items.size()),
                                              items.empty() ? nullptr : items.data(), platform::IID_IContextMenu,
                                              nullptr, menu.PutVoid()),
                platform::S_OK);
      platform::CMINVOKECOMMANDINFO info;
      info.lpVerb = platform::VerbFromOffset(static_cast<platform::UINT>(command));
      EXPECT_EQ(menu->InvokeCommand(&info), platform::S_OK);
    }
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) (*it)->Release();
  }

  // The name dialog's next showing: its first text (and its caption, when given) is
  // checked, then `answer` is typed and OK pressed (nullopt: Cancel).
  void ExpectName(const std::string& shown, std::optional<std::string> answer, std::string caption = {}) {
    host_.ExpectDialog(shellext::CNameDlg::kTemplateId, [shown, answer, caption](platform::DialogDriver& d) {
      EXPECT_EQ(d.Text(shellext::CNameDlg::kNameId), shown);
      if (!caption.empty()) {
        EXPECT_EQ(d.Caption(), caption);
      }
      if (!answer) {
        d.Cancel();
        return;
      }
      d.Type(shellext::CNameDlg::kNameId, *answer).Ok();
    });
  }

  // The playlist of a name (empty id when none), the names, and a playlist's tracks.
  device::KernelId PlaylistNamed(const std::string& name) {
    device::KernelDevice& player = Player();
    device::KernelId p;
    for (int n = player.GetFirstPlaylist(p); n != 0; n = player.GetNextPlaylist(p)) {
      if (player.GetPlaylistName(p) == name) return p;
    }
    return device::KernelId();
  }
  std::vector<std::string> PlaylistNames() {
    device::KernelDevice& player = Player();
    std::vector<std::string> names;
    device::KernelId p;
    for (int n = player.GetFirstPlaylist(p); n != 0; n = player.GetNextPlaylist(p)) names.push_back(player.GetPlaylistName(p));
    return names;
  }
  std::vector<device::KernelId> TracksOf(const std::string& name) {
    const device::KernelId p = PlaylistNamed(name);
    if (p.word[0] == 0) {
      ADD_FAILURE() << "no playlist " << name;
      return {};
    }
    std::vector<device::KernelId> tracks;
    device::KernelId t;
    for (int n = Player().GetFirstPlaylistItem(p, t); n != 0; n = Player().GetNextPlaylistItem(p, t)) tracks.push_back(t);
    return tracks;
  }

  platform::ScriptedHost host_;
};

// The commands on the in-memory player with a small catalogue.
class CommandsTest : public CommandRunner {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    sql::RegisterSqlEngine();
    shellext::ForgetFixedFolderListsForTesting();
    catalogue_ = Seed(device_);
    Use(device_);
    Settings().SetString("Gen_AppDataDir", platform::FromPosixPath(root_ + "/appdata"));
    std::filesystem::create_directories(root_ + "/appdata");
  }
  device::KernelDevice& Player() override { return device_; }

  device::MemoryDevice device_;
  Catalogue catalogue_;
};

// The tracks' words 0, for comparing playlists whatever names their ids carry.
inline std::vector<std::uint32_t> Words(const std::vector<device::KernelId>& ids) {
  std::vector<std::uint32_t> words;
  for (const device::KernelId& id : ids) words.push_back(id.word[0]);
  return words;
}

}  // namespace shellexttest
