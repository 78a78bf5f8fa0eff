// CContextMenu: the menu of a selection of the player's items (or of a folder), and the
// dispatch of its commands (context-menu ids) to their handlers. The view and shellhost's
// tree show it on a right click; the view also runs its item commands through it (the
// default action, properties, delete, the folder toolbar's buttons).
//
// The menu comes from a menu resource chosen by the first item's node type
// (ContextMenuResourceFor), trimmed to what the connected player can do, with the "Add to
// Playlist" sub-menu made from the player's playlists. An entry whose command has no
// operation behind it for that item is left out.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "platform/shell/shell_interfaces.h"
#include "platform/ui/menu.h"
#include "shellext/library.h"
#include "shellext/shell_item.h"

namespace shellext {

class CShellFolder;

// The context-menu commands: the ids of the menu resources' entries, of the item
// commands the view starts and of the folder toolbar's buttons. The table behind
// ItemCommandText and HasOperation (context_menu.cpp) gives each its text, its handler and
// the items it is for.
enum ItemCommand : int {
  kItemRefresh = 3005,
  kItemFormatMemory = 3010,
  kItemActivate = 3015,  // the views' selected row, as a double click
  kItemShuffleQueue = 3019,
  kItemSort = 3021,
  kItemSkipToTrack = 3022,
  kItemChoosePlayer = 3023,
  kItemRebuildTree = 3024,
  kItemNewAdvancedSearch = 3026,
  kItemNewSimpleSearch = 3027,
  kItemSyncTime = 3028,
  kItemDelete = 3035,
  kItemBackupPlaylist = 3037,
  kItemSyncContacts = 3042,
  kItemNewNoteOrContact = 3043,
  kItemEdit = 3044,
  kItemNewPlaylist = 3045,
  kItemChangeOwner = 3046,
  kItemNewQuodrel = 3047,
  kItemPlayOnPlayer = 3050,
  kItemEditQuodrel = 3052,
  kItemQueueOnPlayer = 3055,
  kItemSyncNews = 3056,
  kItemSyncMail = 3057,
  kItemSyncContactsChoose = 3059,
  kItemClearQueue = 3060,
  kItemViewSyncLog = 3061,
  kItemPaste = 3065,
  kItemArtistAlbums = 3068,
  kItemPlayOnComputer = 3075,
  kItemShuffle = 3080,
  kItemRemoveFromList = 3085,
  kItemReload = 3090,  // the views read their folders anew
  kItemMerge = 3095,
  kItemRename = 4000,
  kItemCopyToComputer = 4010,
  kItemRenumber = 4020,
  kItemBackupPlaylists = 4030,
  kItemRestorePlaylist = 4040,
  kItemNewFolder = 4045,
};

// Context-menu commands of the playlist sub-menu: "Create New Playlist..." and the
// player's playlists from kPlaylistCommandFirst + 1 on.
constexpr int kPlaylistCommandFirst = 6000;

// The text the menus give a command unless an entry words it otherwise; null for an id
// without one.
const char* ItemCommandText(int command);
// Whether the command does something for the item its menu was made for (null: none).
bool HasOperation(int command, const ShellItemData* item);

// The menu resource of an item (540 for none, or for an item that cannot be read).
int ContextMenuResourceFor(const ShellItemData* item);
// The first popup of a menu resource, as the resource lists it (an unknown id: empty).
// The entries named "blah" stand where the playlist sub-menu is made.
platform::Menu ContextMenuResource(int id);

class CContextMenu final : public platform::IContextMenu, public platform::IShellExtInit {
 public:
  // The folder (held, may be null) and copies of the selected items' lists.
  CContextMenu(CShellFolder* folder, platform::UINT count, LPCITEMIDLIST* items);

  // IUnknown, shared by both interfaces.
  platform::HRESULT QueryInterface(platform::REFIID riid, void** ppv) override;
  platform::ULONG AddRef() override { return refs_.Add(); }
  platform::ULONG Release() override;

  // Fills `menu` (a platform::Menu) from `index` on; command ids are the resource's plus
  // `firstCommand`. Answers the largest offset used + 1 in a success code (0: nothing
  // added, as for a menu without a folder).
  platform::HRESULT QueryContextMenu(platform::HMENU menu, platform::UINT index, platform::UINT firstCommand,
                                     platform::UINT lastCommand, platform::UINT flags) override;
  // The command is the verb's offset from the first command, which equals the command's
  // id; a verb given as text is refused (E_INVALIDARG). S_OK otherwise, failures are
  // reported in message boxes.
  platform::HRESULT InvokeCommand(platform::CMINVOKECOMMANDINFO* info) override;
  platform::HRESULT GetCommandString(std::uintptr_t, platform::UINT, platform::UINT*, char*, platform::UINT) override {
    return platform::E_NOTIMPL;
  }
  // IShellExtInit: nothing to do.
  platform::HRESULT Initialize(LPCITEMIDLIST, platform::IDataObject*, void*) override { return platform::S_OK; }

 private:
  ~CContextMenu() override;
  void Run(int command);
  // The playlist sub-menu: "Create New Playlist...", a separator, then one entry per
  // playlist of the player, each remembered with its id word.
  platform::Menu PlaylistMenu(platform::UINT firstCommand);
  void AddToPlaylist(int entry, const CPidlList& selection);
  // Where Paste Tracks sends the clipboard's files.
  LPCITEMIDLIST PasteFolder() const;

  LiveObject live_;
  platform::RefCount refs_;
  CShellFolder* folder_;
  PidlManager pidls_;
  std::vector<LPITEMIDLIST> items_;
  // Entry n of this menu's playlist sub-menu -> word 0 of that playlist's id.
  std::map<int, std::uint32_t> playlistMenuMap_;
};

}  // namespace shellext
