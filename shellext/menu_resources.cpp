// The context menus' resources: the first popup of each, by resource id, and the choice
// of resource by the item's node type. Entries name their commands (context_menu.h); an
// entry's text is its command's own unless the entry says otherwise.
#include <functional>

#include "shellext/context_menu.h"

using namespace device;

namespace shellext {

namespace {

using platform::Menu;

struct Entry {
  const char* text;  // null: a separator
  int id = 0;
  std::function<Menu()> popup = nullptr;
};

Menu Build(std::initializer_list<Entry> entries) {
  Menu m;
  for (const Entry& e : entries) {
    if (e.text == nullptr) {
      m.AppendSeparator();
    } else if (e.popup) {
      m.AppendPopup(e.text, e.popup());
    } else {
      m.Append(platform::MF_STRING, static_cast<platform::UINT>(e.id), e.text);
    }
  }
  return m;
}

const Entry kSeparator{nullptr};

// A command's entry, worded as the command is unless the menu words it otherwise.
Entry Command(int id, const char* text = nullptr) { return {text != nullptr ? text : ItemCommandText(id), id}; }

// The placeholder where the playlist sub-menu is made.
Menu Placeholder() { return Build({{"blah", 0}}); }

// Play on the player and on the computer.
Menu PlayOnJukebox(const char* chooser) {
  return Build({Command(kItemPlayOnPlayer), Command(kItemQueueOnPlayer), kSeparator, Command(kItemPlayOnComputer),
                kSeparator, Command(kItemChoosePlayer, chooser)});
}
// Only on the computer.
Menu PlayOnComputer(const char* chooser) {
  return Build({Command(kItemPlayOnComputer), kSeparator, Command(kItemChoosePlayer, chooser)});
}

const Entry kRefresh = Command(kItemRefresh);
const Entry kRebuild = Command(kItemRebuildTree);
const Entry kCopy = Command(kItemCopyToComputer);
const Entry kDelete = Command(kItemDelete);
const Entry kRename = Command(kItemRename);
// Numbers the selected tracks in their order, beside the other tag commands.
const Entry kRenumber = Command(kItemRenumber);

}  // namespace

Menu ContextMenuResource(int id) {
  const auto addTo = [] { return Placeholder(); };
  switch (id) {
    case 515:
      return Build({kRefresh, kRebuild, kSeparator, Command(kItemSort), Command(kItemShuffle), kSeparator,
                    Command(kItemFormatMemory), kSeparator, Command(kItemPaste)});
    case 523:
      return Build({kRefresh, kSeparator, Command(kItemEdit, "Change Frequency...")});
    case 525:
      return Build({Command(kItemNewPlaylist), Command(kItemNewQuodrel), kSeparator, Command(kItemBackupPlaylists),
                    Command(kItemRestorePlaylist), kSeparator, kRefresh, kRebuild});
    case 527:
      return Build({{"Play Track", 0, [] { return PlayOnJukebox("Choose software player..."); }}, kSeparator,
                    {"Add to Playlist", 0, addTo}, kSeparator, kCopy,
                    {"Delete", 0,
                     [] {
                       return Build({Command(kItemRemoveFromList, "Remove from Playlist Only"),
                                     Command(kItemDelete, "Remove and Delete Track")});
                     }},
                    kSeparator, Command(kItemEdit), kRenumber});
    case 530:
      return Build({{"Add to Playlist", 0, addTo}, kSeparator, kRefresh, kRebuild, kSeparator,
                    Command(kItemShuffleQueue), Command(kItemClearQueue)});
    case 531:
      return Build({kRefresh, kRebuild, kSeparator, kCopy, kSeparator, kDelete, kRename});
    case 538:
      return Build({Command(kItemEditQuodrel), kSeparator,
                    {"Play these Tracks", 0, [] { return PlayOnJukebox("Choose software player..."); }}, kSeparator,
                    kRefresh, kRebuild, kSeparator, Command(kItemSort), Command(kItemShuffle), Command(kItemMerge),
                    kSeparator, kCopy, Command(kItemBackupPlaylist), kSeparator, kDelete, kRename});
    case 539:
      return Build({{"Play Track", 0, [] { return PlayOnJukebox("Choose playback software..."); }}, kSeparator,
                    {"Add to Playlist", 0, addTo}, kSeparator, kCopy, Command(kItemDelete, "&Delete"), kSeparator,
                    Command(kItemArtistAlbums), kSeparator, Command(kItemEdit, "Properties (Edit Tag)"), kRenumber});
    case 540:
      return Build({kRefresh, kRebuild, kSeparator, Command(kItemPaste)});
    case 541:
      return Build({kRefresh, kRebuild});
    case 543:
      return Build({{"Play these Tracks", 0, [] { return PlayOnJukebox("Choose software player..."); }}, kSeparator,
                    {"Add to Playlist", 0, addTo}, kSeparator, kRefresh, kRebuild, kSeparator, kCopy, kDelete,
                    kRename});
    case 544:
      return Build({kRefresh, kRebuild, kSeparator, Command(kItemNewSimpleSearch),
                    Command(kItemNewAdvancedSearch)});
    case 565:
      return Build({{"Add to Playlist", 0, addTo}, kCopy, kSeparator, Command(kItemSkipToTrack), kSeparator,
                    Command(kItemRemoveFromList, "Remove from Queue")});
    case 600:
      return Build({kRefresh, kRebuild, kSeparator, Command(kItemChangeOwner), Command(kItemSyncTime)});
    case 631:
      return Build({Command(kItemNewFolder), kSeparator, kRefresh, kRebuild, kSeparator, kCopy, kSeparator, kDelete,
                    kRename});
    case 633:
      return Build({{"Play Track", 0, [] { return PlayOnComputer("Choose software player..."); }}, kSeparator,
                    {"Move to Playlist", 0, addTo}, kSeparator, kCopy, kDelete, kSeparator,
                    Command(kItemEdit), kRenumber});
    case 634:
      return Build({{"Play Track", 0, [] { return PlayOnComputer("Choose software player..."); }}, kSeparator,
                    {"Move to Playlist", 0, addTo}, kSeparator, kCopy, kSeparator, Command(kItemRemoveFromList),
                    kDelete});
    case 635:
      return Build({{"Play these Tracks", 0, [] { return PlayOnComputer("Choose software player..."); }}, kSeparator,
                    kRefresh, kRebuild, kSeparator, kCopy, kSeparator, kDelete, kRename});
    case 659:
      return Build({{"Play Track", 0, [] { return PlayOnComputer("Choose software player..."); }}, kSeparator,
                    {"Add to Playlist", 0, addTo}, kSeparator, kRefresh, kRebuild, kSeparator, kCopy, kDelete});
    case 660:
      return Build({{"Play these Tracks", 0, [] { return PlayOnComputer("Choose playback software..."); }},
                    kSeparator, {"Add to Playlist", 0, addTo}, kSeparator, kRefresh, kRebuild, kSeparator, kCopy,
                    kDelete, kRename});
    case 661:
      return Build({{"Play Track", 0, [] { return PlayOnComputer("Choose playback software..."); }}, kSeparator,
                    {"Add to Playlist", 0, addTo}, kSeparator, kCopy, Command(kItemDelete, "&Delete"), kSeparator,
                    Command(kItemArtistAlbums), kSeparator, Command(kItemEdit, "Properties (Edit Tag)"), kRenumber});
    case 704:
      return Build({Command(kItemEdit, "Edit Note..."), kSeparator, kRefresh, kRebuild, kSeparator, kDelete, kRename});
    case 705:
      return Build({Command(kItemNewNoteOrContact), Command(kItemNewFolder), kSeparator,
                    {"Synchronize with", 0,
                     [] { return Build({Command(kItemSyncNews), Command(kItemSyncMail)}); }},
                    kSeparator, kRefresh, kRebuild, kSeparator, kDelete, kRename});
    case 706:
      return Build(
          {Command(kItemEdit, "Edit Contact..."), kSeparator, kRefresh, kRebuild, kSeparator, kDelete, kRename});
    case 707:
      return Build({Command(kItemNewNoteOrContact, "New Contact..."), kSeparator,
                    {"Synchronize with", 0,
                     [] {
                       return Build({Command(kItemSyncContacts),
                                     Command(kItemSyncContactsChoose)});
                     }},
                    Command(kItemViewSyncLog), kSeparator, kRefresh, kRebuild, kSeparator, kDelete,
                    kRename});
    default:
      return Menu();
  }
}

int ContextMenuResourceFor(const ShellItemData* item) {
  if (item == nullptr) return 540;
  const std::uint32_t kind = item->id.word[0];
  const bool family8 = Device().GetDeviceIndex() == 8;
  switch (item->nodeType) {
    case NT_DEVICE: return 540;
    case NT_MEMSEG: return 515;
    case NT_CONTAINER:
      if (kind == kKindSearch) return 544;
      if (kind == kKindActiveQueue) return 530;
      if (kind == kKindArtistTracks || kind == kKindAlbumTracks || kind == kKindGenreTracks) {
        return Capability(&KernelDevice::SupportsPlayback) != 0 ? 543 : 660;
      }
      return 541;
    case NT_LISTS:
      if (kind == kListPlaylists) return 525;
      if (kind == kListOneArtist) return Capability(&KernelDevice::SupportsPlayback) != 0 ? 543 : 660;
      return 541;
    case NT_PLAYLIST: return family8 ? 635 : 538;
    case NT_INFO:
    case NT_INFOROW: return 600;
    case NT_DATAFOLDER: return 631;
    case NT_NOTEFOLDER: return 705;
    case NT_CONTACTFOLDER: return 707;
    case NT_FREQ: return 523;
    case NT_TRACK:
    case NT_INDEXTRACK:
      if (Capability(&KernelDevice::SupportsTagIndex) != 0) {
        return Capability(&KernelDevice::SupportsPlayback) != 0 ? 539 : 661;
      }
      return family8 ? 633 : 659;
    case NT_DATA: return 531;
    case NT_PLITEM: return family8 ? 634 : 527;
    case NT_QITEM: return 565;
    case NT_NOTE: return 704;
    case NT_CONTACT: return 706;
    default: return 541;
  }
}

}  // namespace shellext
