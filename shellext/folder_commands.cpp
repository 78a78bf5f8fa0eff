#include "shellext/folder_commands.h"

#include <ctime>

#include "common/folders.h"
#include "common/shell_utilities.h"
#include "device/device_status.h"
#include "platform/text/text.h"
#include "platform/ui/desktop.h"
#include "platform/ui/host.h"
#include "shellext/library.h"
#include "shellext/playlist_commands.h"

using namespace device;

namespace shellext {

namespace {

// The name the person gives (`name` shown first), trimmed; false on Cancel. `caption`
// says what is being named.
bool AskName(std::string& name, const std::string& caption) {
  if (!AskForName(name, caption)) return false;
  name = platform::Trim(name);
  return true;
}

// After a change: written on the player and shown in every view.
void Changed(KernelDevice& device) {
  device.CommitChanges();
  RefreshFolderViews();
}

// Runs `op` on every selected playlist; `what` names the command in its messages.
void ForEachPlaylist(const CPidlList& selection, const char* what, int (*op)(KernelDevice&, const KernelId&)) {
  platform::WaitCursor wait;
  try {
    KernelDevice& device = Device();
    bool any = false;
    bool rewritten = false;
    for (const CPidlLast& item : selection) {
      if (item->nodeType != NT_PLAYLIST) continue;
      any = true;
      const int status = op(device, CurrentPlaylistId(device, item.Item()));
      // A player that writes the playlist anew gives it a new id: trees and views follow.
      rewritten = rewritten || FindRewrittenPlaylist(device, item.Item()).has_value();
      if (status != 0) {
        ShowInformation(std::string("Could not ") + what + " the playlist " + item.GetDisplayName() + ".");
        break;
      }
    }
    if (!any) {
      ShowInformation("Please select a playlist.");
      return;
    }
    device.CommitChanges();
    if (rewritten) {
      NotifyPlaylistsChanged();
    } else {
      RefreshFolderViews();
    }
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError((std::string("Could not ") + what + " the playlist.").c_str(), e);
  }
}

}  // namespace

bool NameTaken(int status) {
  return status == kStatusPlaylistExists || status == kStatusFileExists || status == kStatusFolderExists;
}

void RenameItem(const CPidlList& selection) {
  if (selection.size() != 1) {
    ShowInformation("Please select one item at a time.");
    return;
  }
  const CPidlLast& item = selection.front();
  const std::uint32_t type = item->nodeType;
  if (type != NT_DATA && type != NT_DATAFOLDER && type != NT_PLAYLIST) {
    ShowInformation("This item cannot be renamed.");
    return;
  }
  const std::string old = item.GetDisplayName();
  std::string name = old;
  if (!AskName(name, type == NT_PLAYLIST ? "Playlist Name" : type == NT_DATAFOLDER ? "Folder Name" : "File Name")) return;
  if (type != NT_PLAYLIST) StripSlashes(name, std::string(name));  // a data item's name is one part of a path
  if (name.empty() || name == old) return;
  platform::WaitCursor wait;
  try {
    KernelDevice& device = Device();
    const int status = type == NT_DATA         ? device.RenameDataFile(item.GetId(), name)
                       : type == NT_DATAFOLDER ? device.RenameDataFolder(item.GetId(), name)
                                               : device.RenamePlaylist(item.GetId(), name);
    if (NameTaken(status)) {
      // A playlist's name is refused as "New Playlist..." refuses it.
      ShowInformation(type == NT_PLAYLIST ? "Playlist '" + name + "' already exists."
                                          : "An item named " + name + " already exists.");
      return;
    }
    if (status != 0) {
      ShowInformation("Could not rename " + old + ".");
      return;
    }
    Changed(device);
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not rename item.", e);
  }
}

void CreateFolder(const CPidlList& selection) {
  if (selection.size() != 1) {
    ShowInformation("Please select one item at a time.");
    return;
  }
  const CPidlLast& parent = selection.front();
  if (parent->nodeType != NT_DATAFOLDER && parent->nodeType != NT_NOTEFOLDER) {
    ShowInformation("Cannot create new items in this folder.");
    return;
  }
  std::string name = "New Folder";
  if (!AskName(name, "Folder Name")) return;
  StripSlashes(name, std::string(name));
  if (name.empty()) return;
  platform::WaitCursor wait;
  try {
    KernelDevice& device = Device();
    KernelId made;
    const int status = parent->nodeType == NT_DATAFOLDER ? device.CreateDataFolder(name, parent.GetId(), made)
                                                         : device.CreateNoteFolder(name, parent.GetId(), made);
    if (NameTaken(status)) {
      ShowInformation("An item named " + name + " already exists.");
      return;
    }
    if (status != 0) {
      ShowInformation("Could not create the folder " + name + ".");
      return;
    }
    Changed(device);
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not create new folder.", e);
  }
}

void SortPlaylists(const CPidlList& selection) {
  ForEachPlaylist(selection, "sort", [](KernelDevice& d, const KernelId& p) { return d.SortPlaylist(p, -1); });
}

void ShufflePlaylists(const CPidlList& selection) {
  ForEachPlaylist(selection, "shuffle", [](KernelDevice& d, const KernelId& p) { return d.ShufflePlaylist(p); });
}

void ChangeOwnerName() {
  try {
    KernelDevice& device = Device();
    std::string name = device.GetOwnerName();
    if (!AskName(name, "Owner Name")) return;
    platform::WaitCursor wait;
    if (device.SetOwnerName(name) != 0) {
      ShowInformation("Could not change the owner name.");
      return;
    }
    Changed(device);
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not change the owner name.", e);
  }
}

void SynchronizeDeviceTime() {
  platform::WaitCursor wait;
  try {
    KernelDevice& device = Device();
    if (device.HasClock() == 0) {
      ShowInformation("This player has no clock.");
      return;
    }
    if (device.SetDeviceTime(static_cast<int>(std::time(nullptr))) != 0) {
      ShowInformation("Could not set the player's clock.");
      return;
    }
    RefreshFolderViews();
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not synchronize the time.", e);
  }
}

}  // namespace shellext
