// An in-memory player: a complete KernelDevice for tests, and for running the manager
// before a player driver is present.
//
// It holds tracks with full TrackRecords (and optional file content), playlists, data
// folders and files, notes, contacts, radio presets and storage media; the play queue
// and the catalogue are the base class's. Every operation with a code can be made to
// fail (throw a DeviceError, or answer a status with a reply error), once, a few times
// or always.
//
//   MemoryDevice device;
//   KernelId a = device.AddTrack({.artist = "Artist", .album = "Album", .title = "One",
//                                 .number = 1});
//   KernelId list = device.AddPlaylist("Mix", {a});
//   device.FailWithStatus(DeviceOp::UploadTrack, 8, "Storage full.");
//
// Ids: word 0 is the object's number (unique across all kinds of object, from 101 on);
// tracks carry nothing else; playlists, storage media, presets, notes and contacts carry
// their name; data items carry word 1 = 1 for a folder and their name (as the player's
// driver does). Lookups use word 0 only. An operation on an id that the device does not
// hold throws DeviceError("No such ..."); the Is/Exists questions answer 0 instead.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <unordered_map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "device/codec.h"
#include "device/device_error.h"
#include "device/kernel_device.h"
#include "device/operations.h"

// What AddTrack fills into a TrackRecord (designated initializers name what matters).
// fileSize < 0: the size of `content`.
// An empty path becomes "artist - album - NN - title.ext".
struct TrackSpec {
  std::string artist = {};
  std::string album = {};
  std::string title = {};
  std::string genre = {};
  std::string comment = {};
  std::string composer = {};
  std::string path = {};
  std::string content = {};
  int number = 0;
  int year = 0;
  int length = 0;
  int bitrate = 128;
  int fileSize = -1;
  int codec = kCodecMp3;
  bool locked = false;
};

// The device's own texts and numbers; tests may change them at any time.
struct MemoryDeviceInfo {
  std::string modelName = "Memory Player";
  std::string modelCode = "j1";
  std::string hardwareVersion = "1.0.0.0";
  std::string firmwareVersion = "1.0.0.0";
  std::string driverVersion = "1.0.0.0";
  std::string uniqueId = "00112233445566778899AABBCCDDEEFF";
  std::string ownerName = "Owner";
  std::string dataFilesStatus;
  int totalKB = 20 * 1024 * 1024;  // free space is what the files leave of it
  int deviceTime = 0;
  int hasClock = 1;
};

class MemoryDeviceBase : public KernelDevice {
 public:
  MemoryDeviceBase();
  ~MemoryDeviceBase() override;

  // ---- Building the content ----
  KernelId AddTrack(const TrackSpec& desc);
  KernelId AddTrack(const TrackRecord& record, std::string content = std::string());
  KernelId AddPlaylist(std::string_view name, const std::vector<KernelId>& tracks = {});
  // An empty parent means the root folder.
  KernelId AddDataFolder(const KernelId& parent, std::string_view name);
  KernelId AddDataFile(const KernelId& folder, std::string_view name, std::string content = {});
  KernelId AddNoteFolder(const KernelId& parent, std::string_view name);
  KernelId AddNote(const KernelId& folder, std::string_view name, std::string text = {});
  KernelId AddContactFolder(const KernelId& parent, std::string_view name);
  KernelId AddContact(const KernelId& folder, std::string_view name,
                      const ContactRecord& record = ContactRecord());
  KernelId AddFMPreset(std::string_view name, int frequency);
  KernelId AddStorage(std::string_view name, int totalKB, int freeKB);

  KernelId DataRoot() const;
  KernelId NotesRoot() const;
  KernelId ContactsRoot() const;

  // ---- Looking inside ----
  std::size_t TrackCount() const { return tracks_.size(); }
  // The stored record; after changing it call InvalidateTrackIndex().
  TrackRecord& RecordOf(const KernelId& track);
  const std::string& ContentOf(const KernelId& item) const;
  std::vector<KernelId> PlaylistItems(const KernelId& playlist) const;
  // Tracks that PlayTrack started, in order.
  const std::vector<KernelId>& PlayLog() const { return playLog_; }
  MemoryDeviceInfo& Info() { return info_; }
  void SetConnected(bool connected) { connected_ = connected; }

  // ---- Capabilities: every Supports... operation answers its value. Default 1, except
  // SupportsStorageList and the four unnamed flags (0).
  void SetCapability(DeviceOp op, int value) { capabilities_[OpCode(op)] = value; }

  // ---- Failures ----
  // The operation throws DeviceError(code, source, detail), `times` calls or (-1) always.
  void FailWithError(DeviceOp op, std::int32_t code = platform::E_FAIL,
                     std::string source = "Memory Device",
                     std::string detail = "The operation failed.", int times = -1);
  // The operation answers `status` (texts: empty; none: nothing) and leaves `replyText`
  // with SetReplyError, without doing anything else.
  void FailWithStatus(DeviceOp op, int status, std::string replyText = std::string(),
                      int times = -1);
  void ClearFailures() { failures_.clear(); }

 protected:
  // True when the call of `opcode` is to fail with a status (then in `status`); throws
  // for an injected error.
  bool TakeFailure(int opcode, int& status);

  // ---- KernelDevice ----
  int EnumFirstPlaylist(KernelId& playlist) override;
  int EnumNextPlaylist(KernelId& playlist) override;
  int EnumFirstPlaylistItem(const KernelId& playlist, KernelId& track) override;
  int EnumNextPlaylistItem(const KernelId& playlist, KernelId& track) override;

  void ShowSdkVersion() override;
  void Connect() override;
  void Disconnect() override;
  int IsConnected() override;
  void Op2040() override;
  std::string GetModelName() override;
  std::string GetHardwareVersion() override;
  std::string GetFirmwareVersion() override;
  std::string GetDriverVersion() override;
  std::string GetDeviceUniqueId() override;
  std::string GetOwnerName() override;
  int SetOwnerName(std::string_view name) override;
  int Op2120() override;
  int GetDeviceTime() override;
  int SetDeviceTime(int time) override;
  int HasClock() override;

  int SupportsStorageList() override;
  int GetFirstStorage(KernelId& storage) override;
  int GetNextStorage(KernelId& storage) override;
  std::string GetStorageName(const KernelId& storage) override;
  int SelectStorage(const KernelId& storage) override;
  int SupportsStorageFlag2() override;
  int RefreshStorage() override;
  int RecoverMissingTracks() override;
  int GetTotalSpaceKB() override;
  int GetFreeSpaceKB() override;
  int SupportsTrackReorder() override;
  int Op3120(int a, int b) override;
  int Op3170() override;

  int SupportsTagIndex() override;
  int SupportsSearch() override;
  int SetTrackInfo(const KernelId& track, const TrackRecord& record) override;
  int GetTrackSize(const KernelId& track) override;
  int GetTrackInfo(const KernelId& track, TrackRecord& record) override;
  std::string GetTrackArtist(const KernelId& track) override;
  std::string GetTrackAlbum(const KernelId& track) override;
  int GetTrackNumber(const KernelId& track) override;
  std::string GetTrackTitle(const KernelId& track) override;
  int GetTrackCodec(const KernelId& track) override;
  int GetTrackLength(const KernelId& track) override;
  int GetTrackBitrate(const KernelId& track) override;
  int GetTrackYear(const KernelId& track) override;
  std::string GetTrackGenre(const KernelId& track) override;
  std::string GetTrackComment(const KernelId& track) override;
  int IsTrackLocked(const KernelId& track) override;
  int SetTrackArtist(const KernelId& track, std::string_view text) override;
  int SetTrackAlbum(const KernelId& track, std::string_view text) override;
  int SetTrackNumber(const KernelId& track, int number) override;
  int SetTrackTitle(const KernelId& track, std::string_view text) override;
  int SetTrackYear(const KernelId& track, int year) override;
  int SetTrackGenre(const KernelId& track, std::string_view text) override;
  int SetTrackComment(const KernelId& track, std::string_view text) override;

  int SupportsTransfers() override;
  int UploadTrack(std::string_view sourcePath, const TrackRecord& record,
                  KernelId& newTrack) override;
  int UploadDataFile(std::string_view sourcePath, const KernelId& folder,
                     KernelId& newItem) override;
  int DownloadTrack(const KernelId& track, std::string_view targetPath, int flag) override;
  int DownloadDataFile(const KernelId& item, std::string_view targetPath) override;
  int IsDownloadRunning() override;
  int IsUploadRunning() override;
  void CancelTransfer() override;
  std::string GetModelCode(const KernelId& item) override;
  int SupportsTransferFlag2() override;
  int SupportsCopyToComputer() override;

  int SupportsAudio() override;
  int GetFirstAudioTrack(KernelId& track) override;
  int GetNextAudioTrack(KernelId& track) override;
  int GetAudioFilesSize() override;
  int DeleteAudioTrack(const KernelId& track) override;
  std::string GetTrackFileName(const KernelId& track) override;
  int TrackExists(const KernelId& track) override;

  int SupportsDataFiles() override;
  int SupportsDataFlag2() override;
  int GetDataRootFolder(KernelId& folder) override;
  int GetFirstDataItem(const KernelId& folder, KernelId& item) override;
  int GetNextDataItem(const KernelId& folder, KernelId& item) override;
  int GetDataFilesSize() override;
  int DeleteDataFile(const KernelId& item) override;
  int GetDataFileCount() override;
  std::string GetDataItemName(const KernelId& item) override;
  int GetDataFileSize(const KernelId& item) override;
  int IsDataFolder(const KernelId& item) override;
  int CreateDataFolder(std::string_view name, const KernelId& parent,
                       KernelId& newFolder) override;
  int GetDataItemModifiedTime(const KernelId& item) override;
  int GetDataItemAttributes(const KernelId& item) override;
  int DeleteDataFolder(const KernelId& item) override;
  int RenameDataFile(const KernelId& item, std::string_view name) override;
  int RenameDataFolder(const KernelId& item, std::string_view name) override;
  int MoveDataItem(const KernelId& item, const KernelId& targetFolder) override;
  int GetDataItemParent(const KernelId& item, KernelId& parent) override;
  int HasDataFilesStatus() override;
  std::string GetDataFilesStatus() override;

  int SupportsPlaylists() override;
  int CreatePlaylist(std::string_view name, KernelId& playlist) override;
  int DeletePlaylist(const KernelId& playlist) override;
  std::string GetPlaylistName(const KernelId& playlist) override;
  int RenamePlaylist(const KernelId& playlist, std::string_view name) override;
  int AddPendingToPlaylist(const KernelId& playlist) override;
  int RemovePendingFromPlaylist(const KernelId& playlist) override;
  int MovePlaylistItem(const KernelId& playlist, int from, int to) override;
  int ShufflePlaylist(const KernelId& playlist) override;
  int SortPlaylist(const KernelId& playlist, int key) override;

  int SupportsPlayback() override;
  int GetVolume() override;
  int SetVolume(int volume) override;
  int SetMute(int mute) override;
  int IsMuted() override;
  void ShowAdvancedSoundSettings() override;
  int PlayTrack(const KernelId& track) override;
  int StopPlayback() override;
  int IsPaused() override;
  int SetPaused(int paused) override;

  int SupportsFMPresets() override;
  int Op10020(const KernelId& preset) override;
  int Op10030(int value) override;
  int Op10040(const KernelId& preset) override;
  int GetFirstFMPreset(KernelId& preset) override;
  int GetNextFMPreset(KernelId& preset) override;
  int GetFMPresetFrequency(const KernelId& preset) override;
  int Op10080(const KernelId& preset, int value) override;

  int SupportsNotes() override;
  int GetNotesRootFolder(KernelId& folder) override;
  int GetFirstNote(const KernelId& folder, KernelId& item) override;
  int GetNextNote(const KernelId& folder, KernelId& item) override;
  std::string GetNoteName(const KernelId& item) override;
  int CreateNote(std::string_view name, const KernelId& folder, KernelId& newNote) override;
  int DeleteNote(const KernelId& item) override;
  int IsNoteFolder(const KernelId& item) override;
  int CreateNoteFolder(std::string_view name, const KernelId& parent,
                       KernelId& newFolder) override;
  int DeleteNoteFolder(const KernelId& item) override;
  std::string GetNoteText(const KernelId& item) override;
  int SetNoteText(const KernelId& item, std::string_view text) override;

  int SupportsContacts() override;
  int GetContactsRootFolder(KernelId& folder) override;
  int GetFirstContact(const KernelId& folder, KernelId& item) override;
  int GetNextContact(const KernelId& folder, KernelId& item) override;
  std::string GetContactName(const KernelId& item) override;
  int CreateContact(std::string_view name, const ContactRecord& record, const KernelId& folder,
                    KernelId& newContact) override;
  int DeleteContact(const KernelId& item) override;
  int IsContactFolder(const KernelId& item) override;
  int CreateContactFolder(std::string_view name, const KernelId& parent,
                          KernelId& newFolder) override;
  int DeleteContactFolder(const KernelId& item) override;
  int GetContactRecord(const KernelId& item, ContactRecord& record) override;
  int SetContactRecord(const KernelId& item, const ContactRecord& record) override;

  int SupportsGroup13000() override;

 private:
  struct Track {
    TrackRecord record;
    std::string content;
  };
  struct Playlist {
    std::string name;
    std::vector<KernelId> items;
  };
  struct Node;  // data, note and contact folders and items
  struct Tree;
  struct Storage {
    std::uint32_t id;
    std::string name;
    int totalKB;
    int freeKB;
  };
  struct Preset {
    std::string name;
    int frequency;
  };
  struct Failure {
    bool isStatus;
    std::int32_t code;
    std::string source;
    std::string text;
    int remaining;
  };

  std::uint32_t NewId() { return nextId_++; }
  Track& TrackOf(const KernelId& track);
  const Track& TrackOf(const KernelId& track) const;
  Playlist& PlaylistOf(const KernelId& playlist);
  KernelId PlaylistId(std::uint32_t id) const;
  int Capability(DeviceOp op) const;
  int UsedKB() const;

  MemoryDeviceInfo info_;
  int connected_ = 1;
  std::uint32_t nextId_ = 101;

  std::map<std::uint32_t, Track> tracks_;
  std::unordered_map<std::uint32_t, Track*> trackIndex_;  // the same tracks by id, for lookups
  std::uint32_t trackCursor_ = 0;  // id of the track last walked; 0 at the end
  // Ids in ascending order (ids only grow): a walk reads this array, not the big nodes.
  std::vector<std::uint32_t> trackOrder_;
  std::size_t trackAt_ = 0;  // place of trackCursor_ in trackOrder_, while trackAtValid_
  bool trackAtValid_ = false;

  std::map<std::uint32_t, Playlist> playlists_;
  std::uint32_t playlistCursor_ = 0;
  std::map<std::uint32_t, std::size_t> playlistItemCursors_;

  std::unique_ptr<Tree> data_;
  std::unique_ptr<Tree> notes_;
  std::unique_ptr<Tree> contacts_;

  std::vector<Storage> storages_;
  std::size_t storageCursor_ = 0;
  int selectedStorage_ = -1;

  std::map<std::uint32_t, Preset> presets_;
  std::uint32_t presetCursor_ = 0;

  int volume_ = 50;
  int muted_ = 0;
  int paused_ = 0;
  std::vector<KernelId> playLog_;

  std::map<int, int> capabilities_;
  std::map<int, Failure> failures_;
};

// The in-memory device with failure injection on every operation of the table.
class MemoryDevice final : public MemoryDeviceBase {
 public:
#define MEMORY_DEVICE_DECLARE_ROW(code, Name, R, Flow, ...) \
  ::devop::R::Type Name(DEVOP_PARAMS(__VA_ARGS__)) override;
  KERNEL_DEVICE_OPERATIONS(MEMORY_DEVICE_DECLARE_ROW)
#undef MEMORY_DEVICE_DECLARE_ROW
};
