// The context menus' resources: the first popup of each, by resource id, and the choice
// of resource by the item's node type.
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

// The placeholder where the playlist sub-menu is made.
Menu Placeholder() { return Build({{"blah", 0}}); }

// Play on the player and on the computer.
Menu PlayOnJukebox(const char* chooser) {
  return Build({{"Play on Jukebox", 3050}, {"Queue on Jukebox", 3055}, kSeparator, {"Play on Computer", 3075},
                kSeparator, {chooser, 3023}});
}
// Only on the computer.
Menu PlayOnComputer(const char* chooser) { return Build({{"Play on Computer", 3075}, kSeparator, {chooser, 3023}}); }

const Entry kRefresh{"Refresh", 3005};
const Entry kRebuild{"Rebuild Left Pane Tree", 3024};
const Entry kCopy{"Copy to Computer...", 4010};
const Entry kDelete{"Delete", 3035};
const Entry kRename{"Rename...", 4000};
// Numbers the selected tracks in their order, beside the other tag commands.
const Entry kRenumber{"Auto-Fill Track Numbers...", 4020};

}  // namespace

Menu ContextMenuResource(int id) {
  const auto addTo = [] { return Placeholder(); };
  switch (id) {
    case 515:
      return Build({kRefresh, kRebuild, kSeparator, {"Sort", 3021}, {"Shuffle", 3080}, kSeparator,
                    {"Format Memory Segment", 3010}, kSeparator, {"Paste Tracks", 3065}});
    case 523:
      return Build({kRefresh, kSeparator, {"Change Frequency...", 3044}});
    case 525:
      return Build({{"New Playlist...", 3045}, {"New Quodrel...", 3047}, kSeparator, {"Backup Playlists...", 4030},
                    {"Restore Playlist...", 4040}, kSeparator, kRefresh, kRebuild});
    case 527:
      return Build({{"Play Track", 0, [] { return PlayOnJukebox("Choose software player..."); }}, kSeparator,
                    {"Add to Playlist", 0, addTo}, kSeparator, kCopy,
                    {"Delete", 0,
                     [] { return Build({{"Remove from Playlist Only", 3085}, {"Remove and Delete Track", 3035}}); }},
                    kSeparator, {"Properties (Edit Tag)...", 3044}, kRenumber});
    case 530:
      return Build({{"Add to Playlist", 0, addTo}, kSeparator, kRefresh, kRebuild, kSeparator,
                    {"Shuffle Queue", 3019}, {"Clear Queue", 3060}});
    case 531:
      return Build({kRefresh, kRebuild, kSeparator, kCopy, kSeparator, kDelete, kRename});
    case 538:
      return Build({{"Edit Quodrel...", 3052}, kSeparator,
                    {"Play these Tracks", 0, [] { return PlayOnJukebox("Choose software player..."); }}, kSeparator,
                    kRefresh, kRebuild, kSeparator, {"Sort", 3021}, {"Shuffle", 3080}, {"Merge", 3095}, kSeparator,
                    kCopy, {"Backup Playlist...", 3037}, kSeparator, kDelete, kRename});
    case 539:
      return Build({{"Play Track", 0, [] { return PlayOnJukebox("Choose playback software..."); }}, kSeparator,
                    {"Add to Playlist", 0, addTo}, kSeparator, kCopy, {"&Delete", 3035}, kSeparator,
                    {"Albums by this Artist...", 3068}, kSeparator, {"Properties (Edit Tag)", 3044}, kRenumber});
    case 540:
      return Build({kRefresh, kRebuild, kSeparator, {"Paste Tracks", 3065}});
    case 541:
      return Build({kRefresh, kRebuild});
    case 543:
      return Build({{"Play these Tracks", 0, [] { return PlayOnJukebox("Choose software player..."); }}, kSeparator,
                    {"Add to Playlist", 0, addTo}, kSeparator, kRefresh, kRebuild, kSeparator, kCopy, kDelete,
                    kRename});
    case 544:
      return Build({kRefresh, kRebuild, kSeparator, {"New Simple Search...", 3027},
                    {"New Advanced Search...", 3026}});
    case 565:
      return Build({{"Add to Playlist", 0, addTo}, kCopy, kSeparator, {"Skip to this Track", 3022}, kSeparator,
                    {"Remove from Queue", 3085}});
    case 600:
      return Build({kRefresh, kRebuild, kSeparator, {"Change Owner Name...", 3046}, {"Synchronize Time to PC", 3028}});
    case 631:
      return Build({{"New Folder...", 4045}, kSeparator, kRefresh, kRebuild, kSeparator, kCopy, kSeparator, kDelete,
                    kRename});
    case 633:
      return Build({{"Play Track", 0, [] { return PlayOnComputer("Choose software player..."); }}, kSeparator,
                    {"Move to Playlist", 0, addTo}, kSeparator, kCopy, kDelete, kSeparator,
                    {"Properties (Edit Tag)...", 3044}, kRenumber});
    case 634:
      return Build({{"Play Track", 0, [] { return PlayOnComputer("Choose software player..."); }}, kSeparator,
                    {"Move to Playlist", 0, addTo}, kSeparator, kCopy, kSeparator, {"Remove from Playlist", 3085},
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
                    {"Add to Playlist", 0, addTo}, kSeparator, kCopy, {"&Delete", 3035}, kSeparator,
                    {"Albums by this Artist...", 3068}, kSeparator, {"Properties (Edit Tag)", 3044}, kRenumber});
    case 704:
      return Build({{"Edit Note...", 3044}, kSeparator, kRefresh, kRebuild, kSeparator, kDelete, kRename});
    case 705:
      return Build({{"New Note...", 3043}, {"New Folder...", 4045}, kSeparator,
                    {"Synchronize with", 0,
                     [] { return Build({{"Google News", 3056}, {"Microsoft Outlook", 3057}}); }},
                    kSeparator, kRefresh, kRebuild, kSeparator, kDelete, kRename});
    case 706:
      return Build({{"Edit Contact...", 3044}, kSeparator, kRefresh, kRebuild, kSeparator, kDelete, kRename});
    case 707:
      return Build({{"New Contact...", 3043}, kSeparator,
                    {"Synchronize with", 0,
                     [] {
                       return Build({{"vCard Folder (Default Contact Folder)", 3042},
                                     {"vCard Folder (Choose Folder)", 3059}});
                     }},
                    {"View Synchronization Log", 3061}, kSeparator, kRefresh, kRebuild, kSeparator, kDelete,
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
