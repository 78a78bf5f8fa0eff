#include "shellext/context_menu.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "common/shell_utilities.h"
#include "device/sortable.h"
#include "platform/com/drop_files.h"
#include "platform/shell/drag_drop.h"
#include "platform/ui/host.h"
#include "shellext/computer_player.h"
#include "shellext/copy_to_computer.h"
#include "shellext/edit_commands.h"
#include "shellext/folder_commands.h"
#include "shellext/item_commands.h"
#include "shellext/playlist_commands.h"
#include "shellext/queue_commands.h"
#include "shellext/search_commands.h"
#include "shellext/send_files.h"
#include "shellext/shell_folder.h"
#include "shellext/tag_commands.h"
#include "shellext/view_commands.h"
#include "tools/contact_sync.h"

using namespace device;

namespace shellext {

using platform::HRESULT;
using platform::Menu;
using platform::S_OK;
using platform::UINT;

namespace {

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// Whether the clipboard holds files that can go to the player: a file list that is not
// the player's own items.
bool ClipboardHasFilesToPaste() {
  platform::ComPtr<platform::IDataObject> clip;
  if (platform::OleGetClipboard(clip.Put()) != S_OK || !clip) return false;
  platform::FORMATETC f;
  f.cfFormat = platform::CF_HDROP;
  if (clip->QueryGetData(&f) != S_OK) return false;
  f.cfFormat = static_cast<platform::CLIPFORMAT>(g_cfNoTransferToSelf);
  return g_cfNoTransferToSelf == 0 || clip->QueryGetData(&f) != S_OK;
}

// What a command works on: the menu's folder (may be null), the selection (empty for a
// command that needs none) and the folder that pasted files go to.
struct CommandTarget {
  CShellFolder* folder;
  const CPidlList& selection;
  LPCITEMIDLIST pasteFolder;
};

struct CommandRow {
  int id;
  const char* text;     // as the menus word it unless an entry says otherwise; null: no menu shows it
  bool needsSelection;  // runs only on a selection that can be read and is not empty
  void (*run)(const CommandTarget&);          // null: nothing runs it ("Unknown option")
  bool (*availableFor)(std::uint32_t nodeType);  // null: every item (0 when there is none)
};

bool Never(std::uint32_t) { return false; }
bool PlaylistsOnly(std::uint32_t type) { return type == NT_PLAYLIST; }

// Every context-menu command, by id.
constexpr CommandRow kCommands[] = {
    {kItemRefresh, "Refresh", false, [](const CommandTarget&) { RefreshFolderViews(); }, nullptr},
    // No operation of the player formats a memory segment.
    {kItemFormatMemory, "Format Memory Segment", true, nullptr, Never},
    {kItemActivate, nullptr, false, [](const CommandTarget&) { PostToFolderViews(kViewCommandActivate); }, nullptr},
    {kItemShuffleQueue, "Shuffle Queue", false, [](const CommandTarget&) { ShuffleActiveQueue(); }, nullptr},
    {kItemSort, "Sort", true, [](const CommandTarget& t) { SortPlaylists(t.selection); }, PlaylistsOnly},
    {kItemSkipToTrack, "Skip to this Track", true, [](const CommandTarget& t) { SkipToTrack(t.selection); }, nullptr},
    {kItemChoosePlayer, "Choose software player...", false,
     [](const CommandTarget&) { ShowPlaybackOptions(GetOwnerWindow()); }, nullptr},
    {kItemRebuildTree, "Rebuild Left Pane Tree", false, [](const CommandTarget&) { NotifyFixedFoldersUpdated(); },
     nullptr},
    {kItemNewAdvancedSearch, "New Advanced Search...", false, [](const CommandTarget&) { OpenAdvancedSearch(); },
     nullptr},
    {kItemNewSimpleSearch, "New Simple Search...", false, [](const CommandTarget&) { OpenSimpleSearch(); }, nullptr},
    {kItemSyncTime, "Synchronize Time to PC", true, [](const CommandTarget&) { SynchronizeDeviceTime(); }, nullptr},
    {kItemDelete, "Delete", true, [](const CommandTarget& t) { DeleteItems(t.folder, t.selection); }, nullptr},
    {kItemBackupPlaylist, "Backup Playlist...", true,
     [](const CommandTarget& t) { BackupSelectedPlaylists(t.selection); }, nullptr},
    {kItemSyncContacts, "vCard Folder (Default Contact Folder)", false,
     [](const CommandTarget&) { tools::SyncOutlookContacts(Device(), 0); }, nullptr},
    {kItemNewNoteOrContact, "New Note...", true, [](const CommandTarget& t) { CreateNoteOrContact(t.selection); },
     nullptr},
    // A radio preset's frequency has no operation of its own.
    {kItemEdit, "Properties (Edit Tag)...", true, [](const CommandTarget& t) { EditItem(t.selection); },
     [](std::uint32_t type) { return type != NT_FREQ; }},
    {kItemNewPlaylist, "New Playlist...", false, [](const CommandTarget&) { CreateNewPlaylist(); }, nullptr},
    {kItemChangeOwner, "Change Owner Name...", true, [](const CommandTarget&) { ChangeOwnerName(); }, nullptr},
    {kItemNewQuodrel, "New Quodrel...", false, [](const CommandTarget&) { CreateRulePlaylist(); }, nullptr},
    {kItemPlayOnPlayer, "Play on Jukebox", true, [](const CommandTarget& t) { PlayOnPlayer(t.selection); }, nullptr},
    {kItemEditQuodrel, "Edit Quodrel...", true, [](const CommandTarget& t) { EditRulePlaylist(t.selection); },
     nullptr},
    {kItemQueueOnPlayer, "Queue on Jukebox", true, [](const CommandTarget& t) { QueueOnPlayer(t.selection); },
     nullptr},
    {kItemSyncNews, "Google News", true, nullptr, nullptr},
    {kItemSyncMail, "Microsoft Outlook", true, nullptr, nullptr},
    {kItemSyncContactsChoose, "vCard Folder (Choose Folder)", false,
     [](const CommandTarget&) { tools::SyncOutlookContacts(Device(), 1); }, nullptr},
    {kItemClearQueue, "Clear Queue", false, [](const CommandTarget&) { ClearActiveQueue(); }, nullptr},
    {kItemViewSyncLog, "View Synchronization Log", true, [](const CommandTarget&) { ViewSyncLog(); }, nullptr},
    {kItemPaste, "Paste Tracks", false, [](const CommandTarget& t) { PasteFilesToPlayer(t.pasteFolder); }, nullptr},
    {kItemArtistAlbums, "Albums by this Artist...", true,
     [](const CommandTarget& t) { ShowArtistAlbums(t.selection); }, nullptr},
    {kItemPlayOnComputer, "Play on Computer", true, [](const CommandTarget& t) { PlayOnComputer(t.selection); },
     nullptr},
    {kItemShuffle, "Shuffle", true, [](const CommandTarget& t) { ShufflePlaylists(t.selection); }, PlaylistsOnly},
    {kItemRemoveFromList, "Remove from Playlist", true,
     [](const CommandTarget& t) {
       RemoveFromPlaylistOrQueue(CPidlLast(t.folder != nullptr ? t.folder->OwnList() : nullptr), t.selection);
     },
     nullptr},
    {kItemReload, nullptr, false, [](const CommandTarget&) { ReloadFolderViews(); }, nullptr},
    // No operation of the player merges playlists.
    {kItemMerge, "Merge", true, nullptr, Never},
    {kItemRename, "Rename...", true, [](const CommandTarget& t) { RenameItem(t.selection); },
     [](std::uint32_t type) { return type == NT_DATA || type == NT_DATAFOLDER || type == NT_PLAYLIST; }},
    {kItemCopyToComputer, "Copy to Computer...", true, [](const CommandTarget& t) { CopyToComputer(t.selection); },
     nullptr},
    {kItemRenumber, "Auto-Fill Track Numbers...", true, [](const CommandTarget& t) { RenumberTracks(t.selection); },
     nullptr},
    {kItemBackupPlaylists, "Backup Playlists...", false, [](const CommandTarget&) { BackupAllPlaylists(); }, nullptr},
    {kItemRestorePlaylist, "Restore Playlist...", false, [](const CommandTarget&) { RestorePlaylist(); }, nullptr},
    {kItemNewFolder, "New Folder...", true, [](const CommandTarget& t) { CreateFolder(t.selection); },
     [](std::uint32_t type) { return type == NT_DATAFOLDER || type == NT_NOTEFOLDER; }},
};

const CommandRow* FindCommand(int id) {
  for (const CommandRow& row : kCommands) {
    if (row.id == id) return &row;
  }
  return nullptr;
}

}  // namespace

const char* ItemCommandText(int command) {
  const CommandRow* row = FindCommand(command);
  return row != nullptr ? row->text : nullptr;
}

bool HasOperation(int command, const ShellItemData* item) {
  const CommandRow* row = FindCommand(command);
  return row == nullptr || row->availableFor == nullptr || row->availableFor(item != nullptr ? item->nodeType : 0);
}

CContextMenu::CContextMenu(CShellFolder* folder, UINT count, LPCITEMIDLIST* items) : folder_(folder) {
  if (folder_ != nullptr) folder_->AddRef();
  for (UINT i = 0; items != nullptr && i < count; ++i) items_.push_back(pidls_.Copy(items[i]));
}

CContextMenu::~CContextMenu() {
  for (LPITEMIDLIST list : items_) pidls_.Free(list);
  if (folder_ != nullptr) folder_->Release();
}

HRESULT CContextMenu::QueryInterface(platform::REFIID riid, void** ppv) {
  if (ppv == nullptr) return platform::E_POINTER;
  if (riid == platform::IID_IUnknown || riid == platform::IID_IContextMenu) {
    *ppv = static_cast<platform::IContextMenu*>(this);
  } else if (riid == platform::IID_IShellExtInit) {
    *ppv = static_cast<platform::IShellExtInit*>(this);
  } else {
    *ppv = nullptr;
    return platform::E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

platform::ULONG CContextMenu::Release() {
  const platform::ULONG n = refs_.Drop();
  if (n == 0) delete this;
  return n;
}

// ---- The menu ----

Menu CContextMenu::PlaylistMenu(UINT firstCommand) {
  Menu popup;
  popup.Append(platform::MF_STRING, firstCommand + kPlaylistCommandFirst, "Create New Playlist...");
  popup.AppendSeparator();
  playlistMenuMap_.clear();
  try {
    KernelDevice& device = Device();
    KernelId playlist;
    int n = 0;
    for (int more = device.GetFirstPlaylist(playlist); more != 0; more = device.GetNextPlaylist(playlist), ++n) {
      popup.Append(platform::MF_STRING, firstCommand + kPlaylistCommandFirst + 1 + static_cast<UINT>(n),
                   platform::MenuLiteral(device.GetPlaylistName(playlist)));
      playlistMenuMap_[n] = playlist.word[0];
    }
  } catch (const std::exception&) {
    // the sub-menu keeps what was listed before the player failed
  }
  return popup;
}

HRESULT CContextMenu::QueryContextMenu(platform::HMENU hmenu, UINT index, UINT firstCommand, UINT, UINT) {
  if (folder_ == nullptr || hmenu == nullptr) return S_OK;
  Menu& menu = *static_cast<Menu*>(hmenu);

  // The resource of the first item, and what that item is.
  std::optional<CPidlLast> first;
  if (!items_.empty() && GetLastItemId(items_.front()) != nullptr) first.emplace(items_.front());
  const ShellItemData* item = first ? &first->Item() : nullptr;
  const Menu popup = ContextMenuResource(items_.empty() ? 540 : ContextMenuResourceFor(item));
  const std::string displayName = first ? first->GetDisplayName() : std::string();

  const bool copyToComputer = Capability(&KernelDevice::SupportsCopyToComputer) != 0;
  const bool storageList = Capability(&KernelDevice::SupportsStorageList) != 0;
  const bool playlists = Capability(&KernelDevice::SupportsPlaylists) != 0;
  const bool tagIndex = Capability(&KernelDevice::SupportsTagIndex) != 0;
  const bool playback = Capability(&KernelDevice::SupportsPlayback) != 0;
  std::string model;
  try {
    model = Device().GetModelName();
  } catch (const std::exception&) {
  }
  const bool noPlayEntries = Contains(model, "Nitrus") || Contains(model, "Eigen");
  std::optional<std::string> playerName;  // asked of the desktop when a menu names it

  UINT largest = 0;
  bool used = false;
  auto use = [&](UINT id) {
    largest = std::max(largest, id - firstCommand);
    used = true;
  };
  // Copies a sub-menu with ids moved by firstCommand; no separator leads it.
  std::function<Menu(const Menu&)> copy = [&](const Menu& from) {
    Menu to;
    for (const Menu::Item& e : from.Items()) {
      if (e.IsSeparator()) {
        if (to.GetItemCount() > 0 && !to.GetItem(to.GetItemCount() - 1).IsSeparator()) to.AppendSeparator();
        continue;
      }
      if ((e.id == kItemPlayOnPlayer || e.id == kItemQueueOnPlayer) && !playback) continue;
      Menu::Item c = e;
      if (e.id == kItemPlayOnComputer) {
        if (!playerName) GetDefaultPlayerName(playerName.emplace());
        c.text = "Play in " + *playerName;
      }
      if (c.popup) {
        c.popup = std::make_shared<Menu>(copy(*e.popup));
      } else {
        c.id = e.id + firstCommand;
        use(c.id);
      }
      to.Insert(-1, c);
    }
    return to;
  };

  int k = 0;  // entries inserted so far
  const std::vector<Menu::Item>& entries = popup.Items();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Menu::Item& entry = entries[i];
    const bool lastWasSeparator = k == 0 || menu.GetItem(static_cast<int>(index) + k - 1).IsSeparator();
    if (entry.IsSeparator()) {
      menu.Insert(static_cast<int>(index) + k++, entry);
      continue;
    }
    const std::string& text = entry.text;
    Menu::Item out = entry;
    bool insert = true;
    bool dropWithNext = false;
    if (!copyToComputer && entry.id == kItemCopyToComputer) insert = false;
    if ((text == "Play Track" || text == "Play these Tracks") && (!copyToComputer || storageList)) dropWithNext = true;
    if ((text == "Add to Playlist" || text == "Move to Playlist") && !playlists) dropWithNext = true;
    if (noPlayEntries && text.rfind("Play", 0) == 0) dropWithNext = true;
    if (!tagIndex && entry.id == kItemNewQuodrel) insert = false;
    if (entry.id == kItemEditQuodrel && !Contains(displayName, "QL: ")) dropWithNext = true;
    // A command with no operation behind it for this item is left out (with the
    // separator after it when nothing else is left between two separators).
    if (!entry.popup && !HasOperation(static_cast<int>(entry.id), item)) {
      if (lastWasSeparator && i + 1 < entries.size() && entries[i + 1].IsSeparator()) ++i;
      continue;
    }
    if (dropWithNext) {
      ++i;
      continue;
    }
    if (!insert) continue;
    if (entry.popup) {
      out.popup = std::make_shared<Menu>(text == "Add to Playlist" || text == "Move to Playlist"
                                             ? PlaylistMenu(firstCommand)
                                             : copy(*entry.popup));
      for (const Menu::Item& sub : out.popup->Items()) {
        if (!sub.IsSeparator() && !sub.popup) use(sub.id);
      }
    } else {
      out.id = entry.id + firstCommand;
      use(out.id);
      if ((entry.id == kItemSyncTime && Capability(&KernelDevice::HasClock) == 0) ||
          (entry.id == kItemPaste && !ClipboardHasFilesToPaste())) {
        out.flags |= platform::MF_GRAYED;
      }
    }
    menu.Insert(static_cast<int>(index) + k++, out);
  }
  // No separator ends what was added.
  while (k > 0 && menu.GetItem(static_cast<int>(index) + k - 1).IsSeparator()) {
    menu.Remove(index + static_cast<UINT>(k) - 1, platform::MF_BYPOSITION);
    --k;
  }
  return used ? static_cast<HRESULT>(largest + 1) : S_OK;
}

// ---- The commands ----

HRESULT CContextMenu::InvokeCommand(platform::CMINVOKECOMMANDINFO* info) {
  if (info == nullptr) return platform::E_INVALIDARG;
  if (!platform::VerbIsOffset(info->lpVerb)) return platform::E_INVALIDARG;  // the menu publishes no verbs
  try {
    Run(static_cast<int>(platform::OffsetOfVerb(info->lpVerb)));
  } catch (const std::exception&) {
    ShowInformation("Please do this operation in the right pane instead.");
  }
  return S_OK;
}

void CContextMenu::AddToPlaylist(int entry, const CPidlList& selection) {
  SortableKernelIdArray tracks(&Device());
  CollectSelectionTrackIds(selection, tracks);
  if (entry < 0) {
    CreatePlaylistFromTracks(tracks);  // "Create New Playlist..."
    return;
  }
  auto found = playlistMenuMap_.find(entry);
  if (found == playlistMenuMap_.end()) {
    char text[96];
    std::snprintf(text, sizeof text, "Unknown command: 0x%X.\nPlease use the right-click context menu.",
                  static_cast<unsigned>(kPlaylistCommandFirst + 1 + entry));
    ShowInformation(text);
    return;
  }
  try {
    KernelDevice& device = Device();
    KernelId playlist;
    for (int more = device.GetFirstPlaylist(playlist); more != 0; more = device.GetNextPlaylist(playlist)) {
      if (playlist.word[0] == found->second) {
        AddTracksToPlaylist(playlist, tracks);
        return;
      }
    }
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not add the tracks to the playlist.", e);
    return;
  }
  // Deleted since the menu was made: never the last playlist instead.
  ShowInformation("That playlist is no longer on the player.");
}

LPCITEMIDLIST CContextMenu::PasteFolder() const {
  // The folder the menu was shown for: the clicked folder item (a storage medium in the
  // tree), else the folder whose contents were clicked.
  if (!items_.empty()) {
    if (const ShellItemData* first = GetLastItemId(items_.front()); first != nullptr && (first->nodeType & 0xF000) == 0x1000) {
      return items_.front();
    }
  }
  return folder_ != nullptr ? folder_->OwnList() : nullptr;
}

void CContextMenu::Run(int command) {
  const CommandRow* row = FindCommand(command);
  if (row != nullptr && !row->needsSelection) {
    const CPidlList none;
    row->run({folder_, none, PasteFolder()});
    return;
  }
  CPidlList selection;
  for (LPITEMIDLIST list : items_) selection.emplace_back(list);  // a bad list throws
  if (selection.empty()) {
    ShowInformation("No items were selected.");
    return;
  }
  if (command >= kPlaylistCommandFirst) {
    AddToPlaylist(command - kPlaylistCommandFirst - 1, selection);
    return;
  }
  if (row != nullptr && row->run != nullptr) {
    row->run({folder_, selection, PasteFolder()});
    return;
  }
  char text[64];
  std::snprintf(text, sizeof text, "Unknown option: %d", command);
  ShowInformation(text);
}

}  // namespace shellext
