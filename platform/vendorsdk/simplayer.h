// The simulated player: a folder that holds what a real player holds, behind the SDK.
//
//   player.txt          properties: model, owner, versions, unique id, capacity, volume,
//                       mute, clock offset, the first id not yet reserved (ids are
//                       reserved in blocks, so one open may leave some of them unused)
//   items/<id>.txt      one per track, data file and data folder: its attributes
//   files/<id>.<ext>    the content of tracks and data files
//   playlists/<id>.txt  name and entries of one playlist
//   lock                held (flock) by the one process that has the player open
//
// Text files are "key=value" lines; "\" escapes "\", CR and LF in values (store_records.h).
// Every change is written at once (a new file, then a rename; a new item's content and
// record are written into nameless files, named once whole), so the player survives
// restarts and crashes. A record file that cannot be read whole is damaged: its item or
// playlist is not listed, its id is never given out again, and nothing it may name is
// removed, so the item comes back as it was once the file is repaired. Opening names each
// such record (Problems(), and on stderr for the program that holds the player).
// One SimPlayer object stands for a folder in a process: every SDK object and test handle
// opened on it shares it. All members are thread-safe.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/vendorsdk/attribute_block.h"
#include "platform/vendorsdk/vendorsdk.h"

namespace platform {

// Failures a test can inject into a player. Each is armed for a number of occasions
// (-1: until cleared); every refused call or dropped notification uses one.
enum class SimFault {
  kInitializeFails,  // Initialize answers kSdkErrDriverLoad
  kNoDevice,         // GetDeviceCount answers 0 players
  kBusy,             // every call that names the device answers kSdkErrBusy
  kStorageFull,      // adding a track or data file answers kSdkErrStorageFull
  kFileExists,       // adding a track or data file answers kSdkErrFileExists
  kFolderExists,     // adding a data folder answers kSdkErrFolderExists
  kProtected,        // adding or copying out a track or data file answers kSdkErrCopyProtected
  kEventsNeverCome,  // notifications are dropped; the operations still complete
  kNoNamelessFiles,  // new content and records are written through a name, as on a file
                     // system without nameless files
  kUnplugMidUpload,  // the player is pulled out once an upload's content is partly written
  kDiskFull,         // a file copied out to the computer finds the computer's disk full
};

struct SimPlayerOptions {
  std::string modelName = "Dozi Jukebox";
  std::string ownerName;
  std::uint64_t capacityBytes = 20'000'000'000ull;
};

// One track, data file or data folder.
struct SimItem {
  std::uint32_t id = 0;
  std::uint32_t type = 0;     // kSdkTrack, kSdkDataFile, kSdkDataFolder
  std::uint32_t parent = 0;   // data items: the folder (kSdkDataRootId for the root)
  std::string name;           // tracks: the title; data items: the file or folder name
  std::string album, artist, genre;
  std::string codec;          // "MP3", "WMA", "WAV"
  std::uint32_t length = 0;   // seconds
  std::uint32_t trackNumber = 0;
  std::uint32_t year = 0;
  std::uint32_t playOnly = 0;
  std::uint32_t fileAttributes = 0;
  std::uint32_t modified = 0;  // seconds since 1970
  std::uint64_t size = 0;      // bytes of content
  std::string file;            // content file name under files/ ("" for folders)
};

struct SimPlaylist {
  std::uint32_t id = 0;
  std::string name;
  std::vector<std::uint32_t> tracks;
};

struct SimProperties {
  std::uint8_t uniqueId[16] = {};
  std::uint16_t firmwareVersion[4] = {1, 20, 5, 0};
  std::uint16_t hardwareVersion[4] = {2, 1, 0, 0};
  std::string modelName;
  std::string ownerName;
  std::uint64_t capacityBytes = 0;
  std::int32_t volume = 50;
  std::int32_t mute = 0;
  std::int64_t clockOffset = 0;  // the player's clock minus the computer's local time, s
  std::int32_t property4 = 0;
  std::uint32_t nextId = 16;
};

// Creates an empty player in `folder` (Windows form), which must not exist or be empty.
bool CreateSimPlayer(std::string_view folder, const SimPlayerOptions& options,
                     std::string* error);

// Creates the demo player in `folder` (Windows form), which must not exist or be empty:
// a dozen short tracks in WAV and MP3 by several artists, albums and genres, two
// playlists, a data folder with a file and an owner name. The audio is synthesised here.
bool CreateDemoPlayer(std::string_view folder, std::string* error);

// A record of the store that the last load could not use, or a repair that it made.
struct SimStoreProblem {
  std::string record;  // relative to the player's folder: "items/104.txt"
  std::string text;    // what is wrong and what follows, beginning with the record
};

// Receives the player's unplugging (called without any of the player's locks held).
class SimPlayerListener {
 public:
  virtual ~SimPlayerListener() = default;
  virtual void OnUnplugged() = 0;
};

class SimPlayer {
 public:
  // The player in `folder` (Windows form), shared within the process. Null, with *code and
  // *error set, when the folder holds no player (kSdkErrNotConnected), another process has
  // it open (kSdkErrPortInUse), or the store is damaged or of another version
  // (kSdkErrLibraryCorrupt: "player.txt missing", "not a player of this version", ...).
  // readOnly opens a private snapshot without taking the lock; it refuses every change.
  static std::shared_ptr<SimPlayer> Open(std::string_view folder, SdkResult* code,
                                         std::string* error, bool readOnly = false);
  ~SimPlayer();
  SimPlayer(const SimPlayer&) = delete;
  SimPlayer& operator=(const SimPlayer&) = delete;

  std::string PosixFolder() const { return root_; }

  // Failure injection.
  void InjectFault(SimFault fault, int occasions = -1);
  void ClearFaults();
  // Uses one occasion of the fault when it is armed.
  bool TakeFault(SimFault fault);
  // The player goes away: listeners hear of it, the device count is 0 and every call
  // answers kSdkErrNotConnected until Replug.
  void Unplug();
  void Replug();
  bool IsPlugged() const;
  void AddListener(SimPlayerListener* listener);
  void RemoveListener(SimPlayerListener* listener);

  // What the load found wrong with the store.
  std::vector<SimStoreProblem> Problems() const;

  // A copy of everything, for tools and tests. Playlists may name held items (ids of
  // records that could not be read), which are not in `items`.
  struct Snapshot {
    SimProperties properties;
    std::map<std::uint32_t, SimItem> items;
    std::map<std::uint32_t, SimPlaylist> playlists;
    std::uint64_t usedBytes = 0;
  };
  Snapshot TakeSnapshot() const;
  bool GetItem(std::uint32_t id, SimItem* item) const;
  std::string ContentPath(const SimItem& item) const;  // POSIX path of the content file
  SdkResult SetPlayOnly(std::uint32_t trackId, bool playOnly);

  // Enumeration: the next child of `parent` after the cursor (cursor 0 = from the start).
  // Sets and playlists keep their own cursor kinds: an item id for sets, a position for
  // playlists.
  SdkResult NextChild(const SdkItem& parent, std::uint64_t* cursor, SdkItem* child) const;
  SdkResult NextPlaylist(std::uint64_t* cursor, SdkItem* playlist) const;

  // Playlists.
  SdkResult CreatePlaylist(std::string_view name, std::uint32_t* id);
  SdkResult DeletePlaylist(std::uint32_t id);
  SdkResult RenamePlaylist(std::uint32_t id, std::string_view name);
  SdkResult AddTracksToPlaylist(std::uint32_t id, const std::vector<std::uint32_t>& tracks);

  // Attributes.
  SdkResult GetAttributeBlock(const SdkItem& item, std::vector<std::uint8_t>* block) const;
  SdkResult SetAttribute(const SdkItem& item, const SdkAttribute& attribute);

  // Adding content. An upload is prepared (checked, its id taken, its space reserved), its
  // content written by the caller into the file OpenUploadTarget opens (or to tempPath),
  // then committed or abandoned. The content gets its name, and the item its record, only
  // once the content is whole.
  struct PendingUpload {
    SimItem item;
    std::string tempPath;   // POSIX: the content's file while it is written, unless nameless
    int fd = -1;            // from OpenUploadTarget; CommitUpload or AbandonUpload closes it
    bool nameless = false;  // fd is a file without a name yet (a crash leaves nothing)
  };
  SdkResult PrepareUpload(std::uint32_t type, const std::vector<SdkAttribute>& attributes,
                          std::string_view sourceName, std::uint64_t size,
                          std::uint32_t sourceModified, PendingUpload* pending);
  // The file, open for writing, that receives the content: a nameless file (one made
  // ahead when there is one) where the file system has them, else tempPath. -1 (errno set)
  // when it cannot be opened.
  int OpenUploadTarget(PendingUpload* pending);
  SdkResult CommitUpload(PendingUpload& pending);
  void AbandonUpload(PendingUpload& pending);
  // Wakes the makers of nameless files where a stock is down to half. Takes wake them only
  // when a stock runs low: a wake costs the waker tens of microseconds, so the upload lane
  // pays it once its notice is out, while the sender turns to its next file.
  void RefillSpares();
  // Uploads prepared and not yet committed or abandoned, for tests.
  std::size_t UploadsInProgress() const;
  SdkResult CreateFolder(std::string_view name, const std::vector<SdkAttribute>& attributes,
                         std::uint32_t* id);
  SdkResult DeleteItem(const SdkItem& item);

  // Properties.
  SimProperties GetProperties() const;
  std::uint64_t FreeBytes() const;
  std::uint64_t UsedBytes() const;
  SdkResult SetOwnerName(std::string_view owner);
  SdkResult SetVolume(std::int32_t volume);
  SdkResult SetMute(std::int32_t mute);
  SdkResult SetClockOffset(std::int64_t offset);

 private:
  SimPlayer() = default;
  bool Load(std::string* error);
  bool SaveProperties();
  // Sets one property and saves them all; the old value stays when saving fails. mu_ held.
  template <typename T>
  SdkResult SaveProperty(T SimProperties::*field, T value);
  bool SaveItem(const SimItem& item);
  // The record of an item that has none yet, written whole before it gets its name.
  bool SaveNewItem(const SimItem& item);
  // Nameless files kept ready for new content (files/) and new records (items/), each
  // stock filled by a thread of its own from the first take on: the file system's search
  // for a free inode, slow on a disk where many files were deleted lately, then runs beside
  // the transfers, and the two searches of an upload run side by side.
  struct SpareStock {
    explicit SpareStock(const char* sub) : part(sub) {}
    const char* part;  // the sub-folder
    std::vector<int> fds;
    std::thread maker;
    bool making = false;  // the maker is making one
    bool failed = false;  // its last attempt failed: takers make their own
  };
  // A nameless file of the stock: a spare (waiting for the one being made), else a new
  // one; -1 where the file system makes none.
  int TakeNameless(SpareStock& stock);
  void MakeSpares(SpareStock& stock);
  static constexpr std::size_t kSpares = 8;     // a stock when full
  static constexpr std::size_t kLowSpares = 2;  // below it a take wakes the maker at once
  bool SavePlaylist(const SimPlaylist& playlist);
  std::uint32_t AllocateId();
  bool TakeFaultLocked(SimFault fault);
  bool IsDataContainer(std::uint32_t id) const;
  bool NameTakenLocked(std::uint32_t parent, std::string_view name, std::uint32_t except) const;
  SdkResult CheckWritable() const;
  void IndexItem(const SimItem& item);
  void UnindexItem(const SimItem& item);

  std::string root_;  // POSIX folder
  // Ids below this are reserved in player.txt (see AllocateId).
  static constexpr std::uint32_t kIdBlock = 256;
  std::uint32_t idCeiling_ = 0;
  bool readOnly_ = false;
  bool registered_ = false;  // in the process's table of open players, holding the lock

  mutable std::mutex mu_;
  SimProperties props_;
  std::map<std::uint32_t, SimItem> items_;
  std::map<std::uint32_t, SimPlaylist> playlists_;
  std::map<std::uint32_t, std::set<std::uint32_t>> children_;  // parent -> ids (all tracks: 0xFFFFFFFF)
  std::map<std::uint32_t, SimItem> pending_;                    // uploads in progress
  std::uint64_t used_ = 0;
  std::uint64_t reserved_ = 0;
  std::map<SimFault, int> faults_;
  bool plugged_ = true;
  std::vector<SimStoreProblem> problems_;
  std::set<std::uint32_t> held_;  // ids of records that exist but are not listed

  std::mutex sparesMu_;
  std::condition_variable sparesCv_;
  SpareStock spareContent_{"files"}, spareRecords_{"items"};
  bool namelessRefused_ = false;  // the file system makes no nameless files
  bool stopSpares_ = false;

  std::mutex listenersMu_;
  std::vector<SimPlayerListener*> listeners_;
};

}  // namespace platform
