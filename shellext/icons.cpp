#include "shellext/icons.h"

#include <map>
#include <mutex>
#include <vector>

#include "device/codec.h"
#include "platform/shell/desktop.h"

using namespace device;

namespace shellext {
namespace {

// The fixed pictures. Several indexes name what the design's rows and folders show:
// 6 and 7 storage media, 8 the tuner, 9 track folders, 10 the data root, 11 search,
// 12 the queue, 13-16 the list folders, 17 a playlist, 18 a locked track, 22 device
// information, 23 a data folder, 24 help, 25 an error, 26 filling the player, 27-29
// protected or book audio, 30 a new folder, 31 contacts, 32 notes, 34 the album lookup's
// mark of an album the player holds, 35 the last transfer, 36 the playlist index. The
// fallbacks are the desktop theme's own pictures, each folder of the player its own.
const IconEntry kFixed[kFixedIconCount] = {
    {"multimedia-player", "drive-removable-media", ""},       // 0
    {"audio-x-generic", "", ""},                              // 1
    {"text-x-generic", "", ""},                               // 2
    {"folder", "", ""},                                       // 3
    {"folder-open", "folder", ""},                            // 4
    {"drive-removable-media", "", ""},                        // 5
    {"drive-harddisk", "drive-removable-media", ""},          // 6  internal memory
    {"media-flash", "drive-removable-media", ""},             // 7  memory card
    {"network-wireless", "audio-x-generic", ""},              // 8  FM tuner and presets
    {"folder-music", "folder", ""},                           // 9  track folders
    {"folder-documents", "folder", ""},                       // 10 data root
    {"edit-find", "system-search", ""},                       // 11 search
    {"media-playback-start", "audio-x-generic", ""},          // 12 active queue
    {"view-media-playlist", "format-justify-fill", ""},       // 13 playlists
    {"avatar-default", "system-users", ""},                   // 14 artists
    {"media-optical-audio", "media-optical", ""},             // 15 albums
    {"applications-multimedia", "audio-speakers", ""},        // 16 genres
    {"audio-x-mpegurl", "x-office-document", ""},             // 17 a playlist
    {"changes-prevent", "emblem-readonly", ""},               // 18 locked
    {"emblem-default", "", ""},                               // 19
    {"text-html", "emblem-symbolic-link", ""},                // 20 link rows
    {"dialog-information", "", ""},                          // 21
    {"dialog-information", "", ""},                           // 22 device information
    {"folder", "", ""},                                       // 23 data folder
    {"help-browser", "help-contents", ""},                    // 24 help
    {"dialog-error", "dialog-warning", ""},                   // 25 error rows
    {"document-send", "media-flash", ""},                     // 26 fill the player
    {"audio-mp4", "audio-x-generic", ""},                     // 27 codec 5
    {"audio-mp4", "audio-x-generic", "emblem-readonly"},      // 28 codec 7, protected
    {"audio-x-generic", "", "emblem-documents"},              // 29 codec 8, audio book
    {"folder-new", "list-add", ""},                           // 30 new folder
    {"x-office-address-book", "contact-new", ""},             // 31 contacts
    {"accessories-text-editor", "text-x-generic", ""},        // 32 notes
    {"image-missing", "", ""},                                // 33
    {"emblem-default", "object-select-symbolic", ""},         // 34 an album the player holds
    {"document-open-recent", "folder-download", ""},          // 35 the last transfer
    {"x-office-spreadsheet", "x-office-spreadsheet-template", ""},  // 36 the playlist index
};

struct Table {
  std::mutex mutex;
  std::vector<IconEntry> entries;
  std::map<std::string, int> fileTypes;  // key -> index
};

Table& TheTable() {
  static Table table;
  return table;
}

void FillFixed(Table& t) {
  t.entries.assign(std::begin(kFixed), std::end(kFixed));
  t.fileTypes.clear();
}

}  // namespace

void BuildIconTable() {
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mutex);
  FillFixed(t);
}

const platform::ImageList& SharedImageList(bool small) {
  static platform::ImageList smallList(16, 16);
  static platform::ImageList largeList(32, 32);
  platform::ImageList& list = small ? smallList : largeList;
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mutex);
  if (t.entries.empty()) FillFixed(t);
  const int n = static_cast<int>(t.entries.size());
  // A table made afresh (the file-type icons dropped) starts the list again.
  bool same = list.GetImageCount() <= n;
  for (int i = 0; same && i < list.GetImageCount(); ++i) same = list.GetIcon(i) == t.entries[static_cast<std::size_t>(i)].name;
  if (!same) list.Remove(-1);
  for (int i = list.GetImageCount(); i < n; ++i) {
    const IconEntry& e = t.entries[static_cast<std::size_t>(i)];
    list.Add(e.name, e.fallback, e.emblem);
  }
  return list;
}

IconEntry IconAt(int index) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mutex);
  if (t.entries.empty()) FillFixed(t);
  if (index < 0 || static_cast<std::size_t>(index) >= t.entries.size()) return {};
  return t.entries[static_cast<std::size_t>(index)];
}

int IconCount() {
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mutex);
  if (t.entries.empty()) FillFixed(t);
  return static_cast<int>(t.entries.size());
}

namespace {

int ActionIcon(std::uint32_t action) {
  switch (action) {
    case kActionNewSimpleSearch: case kActionNewAdvancedSearch: return 11;
    case kActionNewPlaylist: case kActionNewQuodrel: return 13;
    case kActionSyncContacts: case kActionSyncContactsChoose: return 30;
    case kActionNewContact: return 31;
    case kActionNewNote: return 32;
    case kActionOpenLocation: return 10;
    case kActionFillDialog: return 26;
    default: return 24;
  }
}

IconChoice Index(int index) { return IconChoice{IconChoice::kIndex, index}; }

}  // namespace

IconChoice ChooseIcon(const ShellItemData& item, KernelDevice& device) {
  const std::uint32_t word0 = item.id.word[0];
  switch (item.nodeType) {
    // Two pictures of storage media follow index 6; any other medium shows the first.
    case NT_MEMSEG: return Index(word0 < 2 ? 6 + static_cast<int>(word0) : 6);
    case NT_FMTUNER:
    case NT_FREQ: return Index(8);
    case NT_CONTAINER:
      if (word0 == kKindSearch) return Index(11);
      if (word0 == kKindActiveQueue) return Index(12);
      // The design gives every other track folder index 9; these two have their own.
      if (word0 == kKindLastTransfer) return Index(35);
      if (word0 == kKindPlaylistIndex) return Index(36);
      if (word0 >= kKindArtistTracks && word0 <= kKindGenreTracks) return Index(static_cast<int>(word0) + 9);
      return Index(9);
    case NT_LISTS:
      if (word0 == kListOneArtist) return Index(14);
      // kind + 12; a kind past the fixed pictures shows the playlists' folder.
      return Index(word0 < static_cast<std::uint32_t>(kFixedIconCount - 12) ? static_cast<int>(word0) + 12 : 13);
    case NT_PLAYLIST: return Index(17);
    case NT_INFO:
    case NT_INFOROW: return Index(22);
    case NT_DATAFOLDER:
      try {
        KernelId root;
        device.GetDataRootFolder(root);
        return Index(word0 == root.word[0] ? 10 : 23);
      } catch (const std::exception&) {
        return Index(31);
      }
    case NT_NOTEFOLDER:
    case NT_NOTE: return Index(32);
    case NT_CONTACTFOLDER:
    case NT_CONTACT: return Index(31);
    case NT_MESSAGE: return IconChoice{IconChoice::kNone, -1};
    case NT_ERROR: return Index(word0 == 1028 ? 18 : 25);
    case NT_LINK:
    case NT_NOTICE: return Index(20);
    case NT_HELPLINK: return Index(24);
    case NT_ACTION: return Index(ActionIcon(word0));
    case NT_NONE: return IconChoice{IconChoice::kNoIcon, -1};
    default:
      break;
  }
  // File-like items: tracks, data files, playlist and queue entries and every other type.
  if (item.track.playOnly != 0) return Index(18);
  switch (item.track.codec) {
    case kCodecM4a: return Index(27);
    case kCodecM4p: return Index(28);
    case kCodecM4b: return Index(29);
    default: return IconChoice{IconChoice::kFileType, -1};
  }
}

bool IsFileLikeItem(std::uint32_t nodeType) {
  switch (nodeType) {
    case NT_MEMSEG: case NT_FMTUNER: case NT_FREQ: case NT_CONTAINER: case NT_LISTS: case NT_PLAYLIST:
    case NT_INFO: case NT_INFOROW: case NT_DATAFOLDER: case NT_NOTEFOLDER: case NT_NOTE:
    case NT_CONTACTFOLDER: case NT_CONTACT: case NT_MESSAGE: case NT_ERROR: case NT_LINK: case NT_NOTICE:
    case NT_HELPLINK: case NT_ACTION: case NT_NONE:
      return false;
    default:
      return true;
  }
}

FileTypeKey FileTypeKeyOf(const ShellItemData& item, KernelDevice& device) {
  FileTypeKey k;
  k.name = std::string(item.DisplayName());
  if (item.itemClass == kClassTrack && device.SupportsTagIndex() != 0) {
    k.name = "a." + GetCodecExtension(item.track.codec);
  }
  const std::size_t dot = k.name.rfind('.');
  if (dot != std::string::npos) k.key = k.name.substr(dot);
  if (item.nodeType == NT_PLITEM) k.key += "lnk";
  return k;
}

std::optional<int> CachedFileTypeIcon(const std::string& key) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.fileTypes.find(key);
  if (it == t.fileTypes.end()) return std::nullopt;
  return it->second;
}

int FileTypeIcon(const FileTypeKey& key, bool link) {
  if (auto cached = CachedFileTypeIcon(key.key)) return *cached;
  const platform::FileTypeIcon icon = platform::FileTypeIconOf(key.name);  // outside the lock: may be slow
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mutex);
  if (t.entries.empty()) FillFixed(t);
  auto it = t.fileTypes.find(key.key);
  if (it != t.fileTypes.end()) return it->second;
  const int index = static_cast<int>(t.entries.size());
  t.entries.push_back({icon.name, icon.fallback, link ? "emblem-symbolic-link" : ""});
  t.fileTypes.emplace(key.key, index);
  return index;
}

}  // namespace shellext
