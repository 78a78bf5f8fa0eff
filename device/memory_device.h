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

namespace device {

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

  // Every operation the interface leaves to each device (operations.h).
  KERNEL_DEVICE_OWN_OPERATIONS(DEVOP_OVERRIDE)
  DEVOP_OVERRIDE(Disconnect)

  DEVOP_OVERRIDE(SupportsTagIndex)
  DEVOP_OVERRIDE(SupportsSearch)
  DEVOP_OVERRIDE(GetTrackInfo)

  DEVOP_OVERRIDE(GetNotesRootFolder)
  DEVOP_OVERRIDE(GetFirstNote)
  DEVOP_OVERRIDE(GetNextNote)
  DEVOP_OVERRIDE(GetNoteName)
  DEVOP_OVERRIDE(CreateNote)
  DEVOP_OVERRIDE(DeleteNote)
  DEVOP_OVERRIDE(IsNoteFolder)
  DEVOP_OVERRIDE(CreateNoteFolder)
  DEVOP_OVERRIDE(DeleteNoteFolder)
  DEVOP_OVERRIDE(GetNoteText)
  DEVOP_OVERRIDE(SetNoteText)

  DEVOP_OVERRIDE(GetContactsRootFolder)
  DEVOP_OVERRIDE(GetFirstContact)
  DEVOP_OVERRIDE(GetNextContact)
  DEVOP_OVERRIDE(GetContactName)
  DEVOP_OVERRIDE(CreateContact)
  DEVOP_OVERRIDE(DeleteContact)
  DEVOP_OVERRIDE(IsContactFolder)
  DEVOP_OVERRIDE(CreateContactFolder)
  DEVOP_OVERRIDE(DeleteContactFolder)
  DEVOP_OVERRIDE(GetContactRecord)
  DEVOP_OVERRIDE(SetContactRecord)

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
  // NewId for a tree operation, asked only when the item is made.
  auto NewIds() {
    return [this] { return NewId(); };
  }
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
  KERNEL_DEVICE_OPERATIONS(DEVOP_OVERRIDE_ROW)
};

}  // namespace device
