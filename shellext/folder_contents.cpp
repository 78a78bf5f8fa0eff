// What every folder of the player contains: CEnumIDList::BuildContents builds the whole
// content of one folder at once through the node builder, with the text rows that stand
// in for content when the manager is not running, the device is not connected, the
// versions or the model differ, the device is empty or a request fails.
#include <atomic>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "common/identity.h"
#include "common/settings.h"
#include "common/last_transfer.h"
#include "common/version.h"
#include "device/kernel_device_client.h"
#include "platform/text/text.h"
#include "platform/ui/host.h"
#include "shellext/enum_id_list.h"
#include "shellext/playlist_commands.h"
#include "shellext/shell_folder.h"

using namespace device;

namespace shellext {

std::vector<KernelId> g_SearchResults;
std::mutex g_SearchResultsLock;

namespace {

constexpr int kMaxStorages = 5;
constexpr int kMaxPresets = 40;
constexpr int kMaxStorageItems = 256;
constexpr int kMaxEntries = 100000;
constexpr std::uint32_t kLastTransferBytes = 4096;

// Builds run one at a time in the process; a build that shows a message box keeps it
// (the same thread may enter again while the box runs its loop).
std::recursive_mutex g_ContentBuildLock;

std::atomic<LPITEMIDLIST> g_FixedFolderLists[static_cast<int>(FixedFolder::kCount)];

std::atomic<LPITEMIDLIST>& Fixed(FixedFolder which) { return g_FixedFolderLists[static_cast<int>(which)]; }

// Stores the list when none is recorded yet; frees it otherwise.
void Record(FixedFolder which, LPITEMIDLIST list) {
  LPITEMIDLIST expected = nullptr;
  if (list != nullptr && !Fixed(which).compare_exchange_strong(expected, list)) platform::FreeItemIdList(list);
}

std::string SettingText(std::string_view name) {
  std::string value;
  ReadSettingString(name, value);
  return value;
}

// Shows an exception's own report: its text, or the framework's words for none.
void ShowOwnReport(const std::exception& e) {
  const std::string what = e.what();
  ShowMessageBox(what.empty() ? "No error message is available." : what, platform::MB_OK | platform::MB_ICONINFORMATION);
}

}  // namespace

LPCITEMIDLIST GetFixedFolderList(FixedFolder which) { return Fixed(which).load(); }

void ForgetFixedFolderListsForTesting() {
  std::lock_guard<std::recursive_mutex> lock(g_ContentBuildLock);
  for (auto& list : g_FixedFolderLists) platform::FreeItemIdList(list.exchange(nullptr));
}

// One build: the enumerator's folder, flags and device, and the listings.
class ContentBuilder {
 public:
  explicit ContentBuilder(CEnumIDList& e) : e_(e), device_(e.device_), flags_(e.flags_) {}

  void Build(LPCITEMIDLIST relativeList);

 private:
  bool NonFolders() const { return (flags_ & platform::SHCONTF_NONFOLDERS) != 0; }
  bool Folders() const { return (flags_ & platform::SHCONTF_FOLDERS) != 0; }
  ShellItemData* Add(std::uint32_t type, const KernelId& id, int position, std::string_view name, int value = 0,
                     std::string_view second = {}, const TrackRecord* record = nullptr) {
    return e_.AddItem(type, id, position, name, value, second, record);
  }
  LPCITEMIDLIST FolderAbsoluteList() const { return e_.folder_ != nullptr ? e_.folder_->AbsoluteList() : nullptr; }
  void RecordItem(FixedFolder which, const ShellItemData* item) {
    if (item == nullptr || Fixed(which).load() != nullptr) return;
    Record(which, e_.pidls_.Concatenate(FolderAbsoluteList(), reinterpret_cast<LPCITEMIDLIST>(item)));
  }

  void TimeoutBlock();
  void VersionBlock(const std::string& own, const std::string& host);
  void WrongModelBlock(const std::string& expected, const std::string& actual);
  void NotConnectedBlock();

  void ListDeviceRoot();
  void ListStorage(const ShellItemData& folder);
  void ListTuner();
  void ListPlaylist(const ShellItemData& folder);
  void ListDeviceInfo();
  void ListItemFolder(const ShellItemData& folder);
  void ListLists(const ShellItemData& folder);
  void ListTracks(const ShellItemData& folder);
  void ListEmptyPlayer();
  std::vector<std::uint32_t> LastTransferIds();
  int DeviceInfoRowCount();

  CEnumIDList& e_;
  KernelDevice& device_;
  platform::DWORD flags_;
};

void CEnumIDList::BuildContents(LPCITEMIDLIST relativeList) {
  std::lock_guard<std::recursive_mutex> lock(g_ContentBuildLock);
  ContentBuilder(*this).Build(relativeList);
}

void ContentBuilder::Build(LPCITEMIDLIST relativeList) {
  if (auto* client = dynamic_cast<KernelDeviceClient*>(&device_)) client->ReconnectToManager();

  // Phase 1: versions, model, connection. Any failure counts as not connected.
  bool connected = false;
  try {
    const std::string host = device_.GetHostVersion();
    std::string own;
    GetModuleVersion(own);
    if (host.empty()) {
      if (NonFolders()) TimeoutBlock();
      return;
    }
    if (host != own) {
      if (NonFolders()) VersionBlock(own, host);
      return;
    }
    FixedString256 expected;
    FixedString256 actual;
    if (device_.VerifyDeviceModel(device_.GetDeviceId(), expected, actual) == 0) {
      if (NonFolders()) WrongModelBlock(expected.Str(), actual.Str());
      return;
    }
    device_.Connect();
    connected = device_.IsConnected() != 0;
  } catch (const std::exception&) {
    connected = false;
  }
  if (!connected) {
    if (NonFolders()) NotConnectedBlock();
    return;
  }

  if (relativeList == nullptr) {
    ListDeviceRoot();
    return;
  }
  const ShellItemData* folder = GetLastItemId(relativeList);
  if (folder == nullptr) return;  // a list without an item of ours: an empty folder
  const CPidlLast last(relativeList);
  switch (last->nodeType) {
    case NT_MEMSEG: ListStorage(last.Item()); break;
    case NT_FMTUNER: ListTuner(); break;
    case NT_PLAYLIST: ListPlaylist(last.Item()); break;
    case NT_INFO: ListDeviceInfo(); break;
    case NT_DATAFOLDER:
    case NT_NOTEFOLDER:
    case NT_CONTACTFOLDER: ListItemFolder(last.Item()); break;
    case NT_LISTS: ListLists(last.Item()); break;
    case NT_CONTAINER: ListTracks(last.Item()); break;
    default: break;
  }
}

// ---- Row blocks ----

void ContentBuilder::TimeoutBlock() {
  const ProductIdentity& id = g_ProductIdentity;
  Add(NT_ERROR, KernelId(), 0, "It appears " + id.managerName + " timed out while counting items on your device.");
  Add(NT_MESSAGE, KernelId(), 1, "Please try closing this file manager window and opening a new one.");
  Add(NT_HELPLINK, KernelId(), 3, "If this problem persists, please contact us by double-clicking here.", 0,
      SettingText("URL_SupportMail"));
}

void ContentBuilder::VersionBlock(const std::string& own, const std::string& host) {
  const ProductIdentity& id = g_ProductIdentity;
  Add(NT_ERROR, KernelId(), 0,
      "The installed versions of " + id.productName + " and " + id.managerName + " are different:");
  Add(NT_MESSAGE, KernelId(), 1, "File manager: " + own + ", " + "Manager: " + host);
  Add(NT_MESSAGE, KernelId(), 2,
      "If you just upgraded, please reboot so " + id.suiteName + " can update the remaining files.");
  Add(NT_HELPLINK, KernelId(), 4,
      "If this message persists, please follow the clean-reinstall steps in section 2.2.4 of the " + id.suiteName +
          " Fennwick.",
      0, SettingText("URL_Help"));
}

void ContentBuilder::WrongModelBlock(const std::string& expected, const std::string& actual) {
  Add(NT_ERROR, KernelId(), 0, platform::Printf("The device currently connected is not a '%s'.", expected.c_str()));
  Add(NT_MESSAGE, KernelId(), 1, platform::Printf("It is a '%s'.", actual.c_str()));
  Add(NT_MESSAGE, KernelId(), 2, "Make sure you are using the correct systray icon to connect.");
  Add(NT_HELPLINK, KernelId(), 3,
      "For more help, double-click here to browse section 2.3.2 of the " + g_ProductIdentity.suiteName + " Fennwick.",
      0, SettingText("URL_Help"));
}

void ContentBuilder::NotConnectedBlock() {
  const ProductIdentity& id = g_ProductIdentity;
  Add(NT_ERROR, KernelId(), 0, id.suiteName + " cannot currently establish communication with your device.");
  Add(NT_MESSAGE, KernelId(), 1, "Please make sure that " + id.managerName + " is running in the systray and");
  Add(NT_MESSAGE, KernelId(), 2, "verify that your device is on and properly connected.");
  std::string troubleshooter = SettingText("URL_HelpTshooter");
  if (troubleshooter.empty()) troubleshooter = SettingText("URL_Help");
  Add(NT_HELPLINK, KernelId(), 3, "For more help, double-click here to browse to our online Troubleshooter.", 0,
      troubleshooter);
}

// ---- The device root ----

int ContentBuilder::DeviceInfoRowCount() {
  int rows = 5;
  if (device_.HasClock() != 0) ++rows;
  for (int flag : {device_.SupportsAudio(), device_.SupportsTagIndex(), device_.SupportsPlaylists(),
                   device_.SupportsDataFiles(), device_.SupportsFMPresets(), device_.SupportsPlayback()}) {
    if (flag != 0) ++rows;
  }
  return rows;
}

void ContentBuilder::ListDeviceRoot() {
  if (Fixed(FixedFolder::kDeviceRoot).load() == nullptr) {
    Record(FixedFolder::kDeviceRoot, e_.pidls_.Copy(FolderAbsoluteList()));
  }
  try {
    int position = 1;
    KernelId scratch;
    FixedString256 text;
    if (device_.SupportsStorageList() != 0) {
      KernelId medium;
      int count = 0;
      for (int n = device_.GetFirstStorage(medium); n != 0 && count < kMaxStorages;
           n = device_.GetNextStorage(medium), ++count) {
        Add(NT_MEMSEG, medium, position++, device_.GetStorageName(medium));
      }
    }
    if (device_.SupportsFMPresets() != 0) {
      std::uint32_t hide = 0;
      ReadSettingDword("N2_HideFMTuner", hide);
      if (hide == 0) Add(NT_FMTUNER, KernelId(kKindFMTuner), position++, "FM Radio Tuner");
    }
    const bool tags = device_.SupportsTagIndex() != 0;
    if (tags) RecordItem(FixedFolder::kAudioTracks, Add(NT_CONTAINER, KernelId(kKindAudioTracks), position++, "Audio Tracks"));
    if (device_.SupportsDataFiles() != 0) {
      KernelId root;
      device_.GetDataRootFolder(root);
      const int value = device_.GetFirstDataItem(root, scratch);
      RecordItem(FixedFolder::kDataFiles, Add(NT_DATAFOLDER, root, position++, "Data Files", value));
    }
    // The status row always takes a number, shown or not.
    const int statusPosition = position++;
    if (device_.HasDataFilesStatus() != 0 && NonFolders()) {
      Add(NT_ACTION, KernelId(kActionOpenLocation), statusPosition, "Data Files", 0, device_.GetDataFilesStatus());
    }
    if (tags && device_.SupportsSearch() != 0) {
      RecordItem(FixedFolder::kSearch, Add(NT_CONTAINER, KernelId(kKindSearch), position++, "Search"));
    }
    if (device_.SupportsPlayback() != 0) {
      RecordItem(FixedFolder::kActiveQueue, Add(NT_CONTAINER, KernelId(kKindActiveQueue), position++, "Active Queue"));
    }
    if (device_.SupportsPlaylists() != 0) {
      const int value = device_.GetFirstPlaylist(scratch);
      RecordItem(FixedFolder::kPlaylists, Add(NT_LISTS, KernelId(kListPlaylists), position++, "Playlists", value));
    }
    if (tags) {
      int value = device_.GetFirstArtist(text);
      RecordItem(FixedFolder::kArtists, Add(NT_LISTS, KernelId(kListArtists), position++, "Artists", value));
      value = device_.GetFirstAlbum(text, "");
      RecordItem(FixedFolder::kAlbums, Add(NT_LISTS, KernelId(kListAlbums), position++, "Albums", value));
      value = device_.GetFirstGenre(text);
      RecordItem(FixedFolder::kGenres, Add(NT_LISTS, KernelId(kListGenres), position++, "Genres", value));
    }
    if (device_.SupportsContacts() != 0) {
      KernelId root;
      device_.GetContactsRootFolder(root);
      const int value = device_.GetFirstContact(root, scratch);
      RecordItem(FixedFolder::kContacts, Add(NT_CONTACTFOLDER, root, position++, "Contacts", value));
    }
    if (device_.SupportsNotes() != 0) {
      KernelId root;
      device_.GetNotesRootFolder(root);
      const int value = device_.GetFirstNote(root, scratch);
      RecordItem(FixedFolder::kNotes, Add(NT_NOTEFOLDER, root, position++, "Notes", value));
    }
    if (tags && device_.SupportsPlaylists() != 0) {
      const int value = static_cast<int>(LastTransferIds().size());
      Add(NT_CONTAINER, KernelId(kKindLastTransfer), position++, "Last Transfer", value);
    }
    if (device_.SupportsStorageList() != 0 && NonFolders()) {
      Add(NT_ACTION, KernelId(kActionFillDialog), 0, "Open " + g_ProductIdentity.fillFeatureName + "...");
    }
    Add(NT_INFO, KernelId(), position++, "Device Information", DeviceInfoRowCount());
  } catch (const KernelDeviceClientException& e) {
    if (e.source() == "Device Timeout") {
      const char* what = e.code() == 6020 ? "audio tracks" : e.code() == 7020 ? "data files"
                                                         : e.code() == 8020 ? "playlists" : "items";
      char text[1024];
      std::snprintf(text, sizeof text,
                    "%s timed out while counting the number of %s\non your device (op: %d).\n\n"
                    "Please try closing the file manager window and opening a new one.\n"
                    "If this problem persists, please contact Quorvane support.",
                    g_ProductIdentity.managerName.c_str(), what, e.code());
      ShowMessageBox(text, platform::MB_OK | platform::MB_ICONINFORMATION);
    } else {
      const std::string context = "Could not access device.  " + g_ProductIdentity.managerName + " may not be running.";
      KernelDeviceClient::ReportError(context.c_str(), e);
    }
  } catch (const std::exception& e) {
    const std::string context = "Could not access device.  " + g_ProductIdentity.managerName + " may not be running.";
    KernelDeviceClient::ReportError(context.c_str(), e);
  }
}

std::vector<std::uint32_t> ContentBuilder::LastTransferIds() {
  return ReadLastTransfer(device_.GetDeviceUniqueId(), kLastTransferBytes / 4);
}

// ---- Folders below the root ----

void ContentBuilder::ListStorage(const ShellItemData& folder) {
  const KernelId medium = folder.id;
  try {
    device_.SelectStorage(medium);
    int position = 1;
    KernelId track;
    int count = 0;
    for (int n = device_.GetFirstAudioTrack(track); n != 0 && count < kMaxStorageItems;
         n = device_.GetNextAudioTrack(track), ++count) {
      Add(NT_TRACK, track, position++, device_.GetTrackFileName(track));
    }
    KernelId root;
    device_.GetDataRootFolder(root);
    KernelId item;
    count = 0;
    for (int n = device_.GetFirstDataItem(root, item); n != 0 && count < kMaxStorageItems;
         n = device_.GetNextDataItem(root, item), ++count) {
      const std::string name = device_.GetDataItemName(item);
      if (name.rfind("N0", 0) == 0 && name.find(".AUX") != std::string::npos) continue;  // the player's own
      Add(NT_DATA, item, position++, name);
    }
    if (e_.ItemCount() == 0) {
      Add(NT_ACTION, KernelId(kActionNone), 0, "Memory is empty. Drag and drop your audio files here to transfer.");
    }
  } catch (const std::exception& e) {
    std::string name;
    try {
      name = device_.GetStorageName(medium);
    } catch (const std::exception&) {
      name = std::string(folder.DisplayName());  // the name the folder was listed with
    }
    const std::string context = "Could not access " + name + ".";
    KernelDeviceClient::ReportError(context.c_str(), e);
  }
}

void ContentBuilder::ListTuner() {
  try {
    KernelId preset;
    int position = 1;
    int count = 0;
    for (int n = device_.GetFirstFMPreset(preset); n != 0 && count < kMaxPresets;
         n = device_.GetNextFMPreset(preset), ++count) {
      char name[64];
      std::snprintf(name, sizeof name, "%.2f MHz", device_.GetFMPresetFrequency(preset) * 0.01);
      Add(NT_FREQ, preset, position++, name);
    }
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not access FM presets.", e);
  }
}

void ContentBuilder::ListPlaylist(const ShellItemData& folder) {
  try {
    KernelId playlist = folder.id;
    KernelId track;
    int first = 0;
    try {
      first = device_.GetFirstPlaylistItem(playlist, track);
    } catch (const std::exception&) {
      first = -1;  // asked again below when the playlist has a new id
    }
    // A playlist the player wrote anew (an entry removed, moved, sorted) has a new id.
    if (first <= 0) {
      if (const std::optional<KernelId> now = FindRewrittenPlaylist(device_, folder)) {
        playlist = *now;
        first = device_.GetFirstPlaylistItem(playlist, track);
      } else if (first < 0) {
        first = device_.GetFirstPlaylistItem(playlist, track);  // its own failure is reported
      }
    }
    int position = 1;
    int count = 0;
    for (int n = first; n != 0 && count < kMaxEntries; n = device_.GetNextPlaylistItem(playlist, track), ++count) {
      Add(NT_PLITEM, track, position++, "");
    }
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not access playlist items.", e);
  }
}

void ContentBuilder::ListDeviceInfo() {
  try {
    int position = 1;
    auto row = [&](const char* name, const std::string& value) { Add(NT_INFOROW, KernelId(), position++, name, 0, value); };
    row("Model", device_.GetModelName());
    if (device_.HasClock() != 0) row("Date/Time", FormatDateTimeLocale(device_.GetDeviceTime()));
    row("Owner", device_.GetOwnerName());
    row("Hardware Version", device_.GetHardwareVersion());
    row("Firmware Version", device_.GetFirmwareVersion());
    row("Driver Version", device_.GetDriverVersion());
    if (device_.SupportsAudio() != 0) row("Audio Support", "Yes");
    if (device_.SupportsTagIndex() != 0) row("Tag/Search Support", "Yes");
    if (device_.SupportsPlaylists() != 0) row("Playlist Support", "Yes");
    if (device_.SupportsDataFiles() != 0) row("Data Support", "Yes");
    if (device_.SupportsFMPresets() != 0) row("FM Preset Support", "Yes");
    if (device_.SupportsPlayback() != 0) row("'Play on Jukebox' Support", "Yes");
  } catch (const std::exception& e) {
    ShowMessageBox("Could not display Device Info items.", platform::MB_OK | platform::MB_ICONINFORMATION);
    ShowOwnReport(e);
  }
}

void ContentBuilder::ListItemFolder(const ShellItemData& folder) {
  const KernelId parent = folder.id;
  const std::uint32_t type = folder.nodeType;
  const char* what = type == NT_DATAFOLDER ? "data files" : type == NT_NOTEFOLDER ? "notes" : "contacts";
  try {
    auto first = [&](const KernelId& f, KernelId& out) {
      return type == NT_DATAFOLDER ? device_.GetFirstDataItem(f, out)
             : type == NT_NOTEFOLDER ? device_.GetFirstNote(f, out) : device_.GetFirstContact(f, out);
    };
    auto next = [&](const KernelId& f, KernelId& out) {
      return type == NT_DATAFOLDER ? device_.GetNextDataItem(f, out)
             : type == NT_NOTEFOLDER ? device_.GetNextNote(f, out) : device_.GetNextContact(f, out);
    };
    auto isFolder = [&](const KernelId& id) {
      return type == NT_DATAFOLDER ? device_.IsDataFolder(id)
             : type == NT_NOTEFOLDER ? device_.IsNoteFolder(id) : device_.IsContactFolder(id);
    };
    auto name = [&](const KernelId& id) {
      return type == NT_DATAFOLDER ? device_.GetDataItemName(id)
             : type == NT_NOTEFOLDER ? device_.GetNoteName(id) : device_.GetContactName(id);
    };
    const std::uint32_t leafType = type == NT_DATAFOLDER ? NT_DATA : type == NT_NOTEFOLDER ? NT_NOTE : NT_CONTACT;

    // All ids first, so that the device's walk is not interleaved with other requests.
    std::vector<KernelId> ids;
    KernelId id;
    for (int n = first(parent, id); n != 0 && static_cast<int>(ids.size()) < kMaxEntries; n = next(parent, id)) {
      ids.push_back(id);
    }
    for (const KernelId& entry : ids) {
      const int folderFlag = isFolder(entry);
      if (folderFlag == 0) {
        if (NonFolders()) Add(leafType, entry, static_cast<int>(entry.word[0]), name(entry));
      } else if (folderFlag == 1) {
        if (!Folders()) continue;
        KernelId scratch;
        const int value = first(entry, scratch);
        Add(type, entry, static_cast<int>(entry.word[0]), name(entry), value);
      }
    }
  } catch (const std::exception& e) {
    const std::string context = std::string("Could not access ") + what + ".";
    KernelDeviceClient::ReportError(context.c_str(), e);
  }
}

void ContentBuilder::ListLists(const ShellItemData& folder) {
  const std::uint32_t kind = folder.id.word[0];
  try {
    FixedString256 text;
    FixedString256 scratchText;
    KernelId scratch;
    switch (kind) {
      case kListPlaylists: {
        int position = 1;
        if (device_.GetDeviceIndex() != 8) Add(NT_CONTAINER, KernelId(kKindPlaylistIndex), position++, "[ Playlist Index ]");
        KernelId playlist;
        int count = 0;
        for (int n = device_.GetFirstPlaylist(playlist); n != 0 && count < kMaxEntries;
             n = device_.GetNextPlaylist(playlist), ++count) {
          Add(NT_PLAYLIST, playlist, position++, device_.GetPlaylistName(playlist));
        }
        break;
      }
      case kListArtists: {
        int position = 1;
        int count = 0;
        for (int n = device_.GetFirstArtist(text); n != 0 && count < kMaxEntries; n = device_.GetNextArtist(text), ++count) {
          const std::string artist = text.Str();
          const int albums = device_.GetFirstAlbum(scratchText, artist);
          Add(NT_LISTS, KernelId(kListOneArtist), position++, artist, albums, artist);
        }
        break;
      }
      case kListAlbums: {
        int position = 1;
        int count = 0;
        for (int n = device_.GetFirstAlbum(text, ""); n != 0 && count < kMaxEntries; n = device_.GetNextAlbum(text), ++count) {
          const std::string album = text.Str();
          Add(NT_CONTAINER, KernelId(kKindAlbumTracks), position++, album, device_.GetFirstTrackByTags(scratch, "", album, ""));
        }
        break;
      }
      case kListGenres: {
        int position = 1;
        int count = 0;
        for (int n = device_.GetFirstGenre(text); n != 0 && count < kMaxEntries; n = device_.GetNextGenre(text), ++count) {
          const std::string genre = text.Str();
          Add(NT_CONTAINER, KernelId(kKindGenreTracks), position++, genre, device_.GetFirstTrackByTags(scratch, "", "", genre));
        }
        break;
      }
      case kListOneArtist: {
        const std::string artist(folder.DisplayName());
        const int all = device_.GetFirstTrackByTags(scratch, artist, "", "");
        Add(NT_CONTAINER, KernelId(kKindArtistTracks), 1, "[ All: " + artist + " ]", all, artist);
        int position = 2;
        int count = 0;
        for (int n = device_.GetFirstAlbum(text, artist); n != 0 && count < kMaxEntries;
             n = device_.GetNextAlbum(text), ++count) {
          const std::string album = text.Str();
          const int tracks = device_.GetFirstTrackByTags(scratch, artist, album, "");
          Add(NT_CONTAINER, KernelId(kKindAlbumTracks), position++, album, tracks, artist);
        }
        break;
      }
      default:
        break;
    }
  } catch (const std::exception& e) {
    const char* name = kind == kListPlaylists ? "playlists" : kind == kListArtists ? "artists"
                       : kind == kListAlbums ? "albums" : kind == kListGenres ? "genres" : "artist";
    const std::string context = std::string("Could not access ") + name + ".";
    KernelDeviceClient::ReportError(context.c_str(), e);
  }
}

void ContentBuilder::ListEmptyPlayer() {
  const ProductIdentity& id = g_ProductIdentity;
  if (device_.UsesTrackDatabase() != 0) {
    Add(NT_NOTICE, KernelId(), 0, "No tracks found in the " + id.suiteName + " database.");
    std::string first = "If this is your first use, please run the Setup and Import Wizard or";
    first.resize(93, ' ');
    Add(NT_MESSAGE, KernelId(), 1, first);
    Add(NT_MESSAGE, KernelId(), 2, "transfer new tracks by dragging and dropping them here.");
    Add(NT_ACTION, KernelId(kActionSetupWizard), 3, "Double-click here to run the Setup and Import Wizard.");
  } else {
    Add(NT_ACTION, KernelId(kActionNone), 0, "Player is empty. Drag and drop your audio files here to transfer.");
    if (id.variantCode == 4) {
      Add(NT_MESSAGE, KernelId(), 1,
          "If you think are you missing some tracks, try using the 'Recover Missing Tracks'");
      Add(NT_MESSAGE, KernelId(), 2, "utility under 'Kestrova Manager Options' in the systray icon's menu.");
    }
  }
}

void ContentBuilder::ListTracks(const ShellItemData& folder) {
  const std::uint32_t kind = folder.id.word[0];
  try {
    KernelId track;
    TrackRecord record;
    int count = 0;
    switch (kind) {
      case kKindAudioTracks:
        for (int n = device_.GetFirstAudioTrackInfo(track, record); n != 0 && count < kMaxEntries;
             n = device_.GetNextAudioTrackInfo(track, record), ++count) {
          Add(NT_TRACK, track, static_cast<int>(track.word[0]), "", 0, {}, &record);
        }
        if (count == 0) ListEmptyPlayer();
        break;
      case kKindSearch: {
        std::vector<KernelId> results;
        {
          std::lock_guard<std::mutex> lock(g_SearchResultsLock);
          results = g_SearchResults;
        }
        for (std::size_t i = 0; i < results.size(); ++i) {
          if (device_.TrackExists(results[i]) != 0) Add(NT_TRACK, results[i], static_cast<int>(i), "");
        }
        break;
      }
      case kKindActiveQueue: {
        const int current = device_.GetQueuePosition();
        int i = 0;
        for (int n = device_.GetFirstQueueEntry(track); n != 0 && i < kMaxEntries; n = device_.GetNextQueueEntry(track), ++i) {
          Add(NT_QITEM, track, i, "", i < current ? -1 : i == current ? 0 : 1);
        }
        break;
      }
      case kKindArtistTracks:
      case kKindAlbumTracks:
      case kKindGenreTracks: {
        const std::string artist = kind == kKindGenreTracks ? std::string() : std::string(folder.SecondText());
        const std::string album = kind == kKindAlbumTracks ? std::string(folder.DisplayName()) : std::string();
        const std::string genre = kind == kKindGenreTracks ? std::string(folder.DisplayName()) : std::string();
        for (int n = device_.GetFirstTrackByTags(track, artist, album, genre); n != 0 && count < kMaxEntries;
             n = device_.GetNextTrackByTags(track), ++count) {
          Add(NT_TRACK, track, static_cast<int>(track.word[0]), "");
        }
        break;
      }
      case kKindLastTransfer:
        for (std::uint32_t w : LastTransferIds()) {
          const KernelId id(w);
          if (device_.TrackExists(id) != 0) Add(NT_TRACK, id, static_cast<int>(w), "");
        }
        break;
      case kKindPlaylistIndex:
        // Every audio track with the playlists that hold it.
        for (int n = device_.GetFirstAudioTrackInfo(track, record); n != 0 && count < kMaxEntries;
             n = device_.GetNextAudioTrackInfo(track, record), ++count) {
          Add(NT_INDEXTRACK, track, static_cast<int>(track.word[0]), "", 0, {}, &record);
        }
        break;
      default:
        break;
    }
  } catch (const std::exception& e) {
    const char* name = kind == kKindAudioTracks ? "audio tracks" : kind == kKindActiveQueue ? "active queue tracks"
                       : kind == kKindArtistTracks ? "artist tracks" : kind == kKindAlbumTracks ? "album tracks"
                       : kind == kKindGenreTracks ? "genre tracks" : "";
    const std::string context = std::string("Could not access ") + name + ".";
    KernelDeviceClient::ReportError(context.c_str(), e);
  }
}

}  // namespace shellext
