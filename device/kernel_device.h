// KernelDevice: the interface of one connected player, one virtual operation per row of
// the operation table (device/operations.h), and what every device shares: the request
// dispatcher, a device lock, the pending-id list, the play queue, the notify windows and
// the catalogue caches (artist/album/genre index, tag search, sorted playlists, the
// track-to-playlists map, query results, content ids).
//
// Two kinds of class derive from it: real devices (the player driver, the in-memory
// device) and the cross-process proxy. Operations that only a real device can perform
// are pure; the caches are built from the device's own per-track operations and rebuilt
// at most once per invalidation.
//
// Conventions: operations answer an int (status, count or flag) or a text; ids and
// records are filled in place. Enumerations follow GetFirst / GetNext: GetFirst answers
// the number of entries and the first one, GetNext 1 and the next one, or 0 at the end.
// Failures are thrown as DeviceError (device/device_error.h).
//
// Threading: the caches and the queue are not locked; a device object is used by one
// thread at a time (the manager runs every request on its window thread). The device
// lock is for callers that run several operations as one unit; the base never takes it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/kernel_id.h"
#include "device/records.h"
#include "device/request_block.h"
#include "platform/window/window.h"

namespace device {

// What a device asks the driver that created it (the manager's drivers implement it).
class DeviceOwner {
 public:
  virtual ~DeviceOwner() = default;
  // Whether the driver still knows the device with this id.
  virtual int CheckDevice(const KernelId& device) = 0;
};

class KernelDevice {
 public:
  // Runs one SELECT statement for QueryFirst and answers the text of the "id" column of
  // every present result row, in order ("" where a row has no such column); nullopt when
  // the statement is not a SELECT or cannot be parsed. Errors of the engine are thrown.
  // The SQL engine registers itself at start-up; without it QueryFirst answers 0.
  using QueryEngine =
      std::function<std::optional<std::vector<std::string>>(KernelDevice&, std::string_view)>;
  static void SetQueryEngine(QueryEngine engine);

  KernelDevice();
  // A device created by a driver.
  KernelDevice(DeviceOwner* owner, const KernelId& device, const KernelId& segment);
  virtual ~KernelDevice();
  KernelDevice(const KernelDevice&) = delete;
  KernelDevice& operator=(const KernelDevice&) = delete;

  // ---- Local operations (never sent to another process) ----

  // Executes the request in `block` and leaves its results there. An exception thrown by
  // the operation becomes a failure reply (errorCode, errorTitle, errorDetail), so the
  // request always completes.
  void Dispatch(DeviceRequestBlock* block);

  // Marks the artist/album/genre index for rebuilding and drops the content-id map. A
  // real device calls it after every change of its tracks.
  virtual void InvalidateTrackIndex();
  // Marks the playlist list and the track-to-playlists map for rebuilding; answers 1.
  virtual int InvalidatePlaylistCache();
  // The owner driver's answer about this device's id; 0 without an owner.
  virtual int CheckDriverDevice();
  // IsConnected(); the model text is not looked at.
  virtual int IsConnectedModel(std::string_view model);
  virtual void RebuildTrackIndex();
  virtual void ClearTrackIndex();
  virtual void RebuildPlaylistCache();
  virtual void RebuildTrackPlaylistMap();
  // The raw, uncached walks on which the playlist caches are built.
  virtual int EnumFirstPlaylist(KernelId& playlist) = 0;
  virtual int EnumNextPlaylist(KernelId& playlist) = 0;
  virtual int EnumFirstPlaylistItem(const KernelId& playlist, KernelId& track) = 0;
  virtual int EnumNextPlaylistItem(const KernelId& playlist, KernelId& track) = 0;
  // Transfer notices, sent to the progress window: the window's answer (-1 = stop the
  // file), or 0 when it is gone (it is then forgotten). The Done notices forget the
  // progress window in every case.
  virtual int NotifyUploadProgress(int value);
  virtual int NotifyUploadDone(const KernelId& item, int value);
  virtual int NotifyDownloadProgress(int value);
  virtual int NotifyDownloadDone(const KernelId& item, int value);
  // Playback notices, posted to the notify windows newest first; dead windows are
  // dropped. NotifyStopped then plays the next queue entry when the low byte of `flag`
  // is set (the track ended by itself), else only moves the queue on.
  virtual int NotifyNowPlaying(int value);
  virtual int NotifyStopped(int flag);

  // ---- Device ----
  virtual std::string GetHostVersion();  // version of the program that runs this code
  virtual void ShowSdkVersion() = 0;
  // 1 when the connected model is of the expected kind (or nothing is connected); fills
  // the expected designation and the actual model name. Base: 1.
  virtual int VerifyDeviceModel(const KernelId& expectedKind, FixedString256& expected,
                                FixedString256& actual);
  virtual void Connect() = 0;
  // Base: clears the track index, the tag results, the artist's albums, the playlist list
  // and the query results.
  virtual void Disconnect();
  virtual int IsConnected() = 0;
  virtual void Op2040() = 0;
  virtual std::string GetModelName() = 0;
  virtual std::string GetHardwareVersion() = 0;
  virtual std::string GetFirmwareVersion() = 0;
  virtual std::string GetDriverVersion() = 0;
  virtual std::string GetDeviceUniqueId() = 0;
  virtual std::string GetOwnerName() = 0;
  virtual int SetOwnerName(std::string_view name) = 0;
  virtual int Op2120() = 0;
  // Busy flag: 1 when taken now, 0 when it was taken already. The argument is carried.
  virtual int TryLockDevice(int value);
  virtual int UnlockDevice();  // answers 0
  virtual int ClearPendingIds();  // answers 0
  virtual int AddPendingId(const KernelId& id);  // answers the new number of ids
  virtual int GetDeviceTime() = 0;  // seconds since 1970
  virtual int SetDeviceTime(int time) = 0;
  virtual int HasClock() = 0;
  virtual int CommitChanges();  // base: 0
  virtual int IsAutoConnect();  // base: 0
  virtual int SupportsEject();  // base: 0
  virtual int Op2330();  // base: 0
  virtual int UsesTrackDatabase();  // base: 0
  virtual int RunSetupWizard(int flag);  // base: does nothing, 0

  // ---- Storage ----
  virtual int SupportsStorageList() = 0;
  virtual int GetFirstStorage(KernelId& storage) = 0;
  virtual int GetNextStorage(KernelId& storage) = 0;
  virtual std::string GetStorageName(const KernelId& storage) = 0;
  virtual int SelectStorage(const KernelId& storage) = 0;
  virtual int SupportsStorageFlag2() = 0;
  virtual int RefreshStorage() = 0;
  virtual int RecoverMissingTracks() = 0;
  virtual int GetTotalSpaceKB() = 0;
  virtual int GetFreeSpaceKB() = 0;
  virtual int SupportsTrackReorder() = 0;
  virtual int Op3120(int a, int b) = 0;
  virtual int GetStorageTotalKB(const KernelId& storage);  // select, then total
  virtual int GetStorageFreeKB(const KernelId& storage);   // select, then free
  virtual int GetStorageUsedKB(const KernelId& storage);   // select, data + audio KB
  virtual int StorageHasItems(const KernelId& storage);    // nonzero: holds something
  virtual int Op3170() = 0;

  // ---- Track tags and search ----
  virtual int SupportsTagIndex();  // base: 1
  // Tracks whose artist, album and genre equal the given texts (case-sensitive; an empty
  // text matches any). Three empty texts answer 0 and keep the previous results.
  virtual int GetFirstTrackByTags(KernelId& track, std::string_view artist,
                                  std::string_view album, std::string_view genre);
  virtual int GetNextTrackByTags(KernelId& track);
  // Base: fills path, size, artist, album, number, title, codec, length, bitrate, year,
  // genre, comment and the play-only flag from the single-field operations; the other
  // fields stay as passed. Answers 0.
  virtual int GetTrackInfo(const KernelId& track, TrackRecord& record);
  virtual int SetTrackInfo(const KernelId& track, const TrackRecord& record) = 0;
  virtual int GetFileTrackInfo(std::string_view path, TrackRecord& record);  // base: 0
  virtual int GetTrackSize(const KernelId& track) = 0;
  virtual std::string GetTrackArtist(const KernelId& track) = 0;
  virtual std::string GetTrackAlbum(const KernelId& track) = 0;
  virtual int GetTrackNumber(const KernelId& track) = 0;
  virtual std::string GetTrackTitle(const KernelId& track) = 0;
  virtual int GetTrackCodec(const KernelId& track) = 0;
  virtual int GetTrackLength(const KernelId& track) = 0;
  virtual int GetTrackBitrate(const KernelId& track) = 0;
  virtual int GetTrackYear(const KernelId& track) = 0;
  virtual std::string GetTrackGenre(const KernelId& track) = 0;
  virtual std::string GetTrackComment(const KernelId& track) = 0;
  virtual int IsTrackLocked(const KernelId& track) = 0;
  // "artist - album - NN - title.ext"; no character is replaced.
  virtual std::string GetDefaultFileName(const KernelId& track);
  virtual int SetTrackArtist(const KernelId& track, std::string_view text) = 0;
  virtual int SetTrackAlbum(const KernelId& track, std::string_view text) = 0;
  virtual int SetTrackNumber(const KernelId& track, int number) = 0;
  virtual int SetTrackTitle(const KernelId& track, std::string_view text) = 0;
  virtual int SetTrackYear(const KernelId& track, int year) = 0;
  virtual int SetTrackGenre(const KernelId& track, std::string_view text) = 0;
  virtual int SetTrackComment(const KernelId& track, std::string_view text) = 0;
  // Distinct non-empty names, sorted without regard to case (names that differ only in
  // case: byte order).
  virtual int GetFirstArtist(FixedString256& name);
  virtual int GetNextArtist(FixedString256& name);
  // All albums, or (artist not empty) the albums of that artist's tracks, including an
  // empty album name when one of its tracks has none.
  virtual int GetFirstAlbum(FixedString256& name, std::string_view artist);
  virtual int GetNextAlbum(FixedString256& name);
  virtual int GetFirstGenre(FixedString256& name);
  virtual int GetNextGenre(FixedString256& name);
  virtual int SupportsSearch();  // base: 1
  // Runs a SELECT through the registered query engine; the "id" column of each row
  // becomes a track id. Answers the number of ids (0 on any failure).
  virtual int QueryFirst(std::string_view sql, KernelId& first);
  virtual int QueryNext(KernelId& next);
  // 1 and the track whose content id this is, or 0 and the empty id.
  virtual int FindTrackByContentId(std::string_view contentId, KernelId& track);

  // ---- Transfers ----
  virtual int SupportsTransfers() = 0;
  // The window that receives the transfer notices, when it is a window.
  virtual void SetProgressWindow(platform::HWND window);
  // Adds a window for the playback notices, when it is a window (duplicates allowed).
  virtual void AddNotifyWindow(platform::HWND window);
  virtual int UploadTrack(std::string_view sourcePath, const TrackRecord& record,
                          KernelId& newTrack) = 0;
  virtual int UploadDataFile(std::string_view sourcePath, const KernelId& folder,
                             KernelId& newItem) = 0;
  virtual int DownloadTrack(const KernelId& track, std::string_view targetPath, int flag) = 0;
  virtual int DownloadDataFile(const KernelId& item, std::string_view targetPath) = 0;
  virtual int IsDownloadRunning() = 0;
  virtual int IsUploadRunning() = 0;
  virtual void CancelTransfer() = 0;
  virtual std::string GetModelCode(const KernelId& item) = 0;
  virtual int SupportsTransferFlag2() = 0;
  virtual int SupportsCopyToComputer() = 0;

  // ---- Audio tracks ----
  virtual int SupportsAudio() = 0;
  virtual int GetFirstAudioTrack(KernelId& track) = 0;
  virtual int GetNextAudioTrack(KernelId& track) = 0;
  virtual int GetAudioFilesSize() = 0;  // KB
  virtual int DeleteAudioTrack(const KernelId& track) = 0;
  virtual std::string GetTrackFileName(const KernelId& track) = 0;
  virtual int TrackExists(const KernelId& track) = 0;
  // GetFirstAudioTrack / GetNextAudioTrack, then the record of the track when there is one.
  virtual int GetFirstAudioTrackInfo(KernelId& track, TrackRecord& record);
  virtual int GetNextAudioTrackInfo(KernelId& track, TrackRecord& record);

  // ---- Data files ----
  virtual int SupportsDataFiles() = 0;
  virtual int SupportsDataFlag2() = 0;
  virtual int GetDataRootFolder(KernelId& folder) = 0;
  virtual int GetFirstDataItem(const KernelId& folder, KernelId& item) = 0;
  virtual int GetNextDataItem(const KernelId& folder, KernelId& item) = 0;
  virtual int GetDataFilesSize() = 0;  // KB
  virtual int DeleteDataFile(const KernelId& item) = 0;
  virtual int GetDataFileCount() = 0;
  virtual std::string GetDataItemName(const KernelId& item) = 0;
  virtual int GetDataFileSize(const KernelId& item) = 0;  // bytes
  virtual int IsDataFolder(const KernelId& item) = 0;
  virtual int CreateDataFolder(std::string_view name, const KernelId& parent,
                               KernelId& newFolder) = 0;
  virtual int GetDataItemModifiedTime(const KernelId& item) = 0;
  virtual int GetDataItemAttributes(const KernelId& item) = 0;
  virtual int DeleteDataFolder(const KernelId& item) = 0;
  virtual int RenameDataFile(const KernelId& item, std::string_view name) = 0;
  virtual int RenameDataFolder(const KernelId& item, std::string_view name) = 0;
  virtual int MoveDataItem(const KernelId& item, const KernelId& targetFolder) = 0;
  virtual int GetDataItemParent(const KernelId& item, KernelId& parent) = 0;
  virtual int HasDataFilesStatus() = 0;
  virtual std::string GetDataFilesStatus() = 0;

  // ---- Playlists ----
  virtual int SupportsPlaylists() = 0;
  // All playlists, sorted by name (byte order).
  virtual int GetFirstPlaylist(KernelId& playlist);
  virtual int GetNextPlaylist(KernelId& playlist);
  virtual int CreatePlaylist(std::string_view name, KernelId& playlist) = 0;  // 0, 4 exists
  virtual int DeletePlaylist(const KernelId& playlist) = 0;
  // Base: EnumFirstPlaylistItem / EnumNextPlaylistItem (not cached).
  virtual int GetFirstPlaylistItem(const KernelId& playlist, KernelId& track);
  virtual int GetNextPlaylistItem(const KernelId& playlist, KernelId& track);
  virtual std::string GetPlaylistName(const KernelId& playlist) = 0;
  virtual int RenamePlaylist(const KernelId& playlist, std::string_view name) = 0;
  // Appends every pending id to the playlist / removes them from it.
  virtual int AddPendingToPlaylist(const KernelId& playlist) = 0;
  virtual int RemovePendingFromPlaylist(const KernelId& playlist) = 0;
  virtual int MovePlaylistItem(const KernelId& playlist, int from, int to) = 0;
  virtual int ShufflePlaylist(const KernelId& playlist) = 0;
  virtual int SortPlaylist(const KernelId& playlist, int key) = 0;
  // How many playlists hold the track (a playlist that holds it twice counts twice).
  virtual int GetTrackPlaylistCount(const KernelId& track);
  // Their names joined with ", ".
  virtual std::string GetTrackPlaylistNames(const KernelId& track);
  virtual std::string GetRulePlaylistFolder();  // base: empty

  // ---- Playback and the play queue ----
  virtual int SupportsPlayback() = 0;
  virtual int GetVolume() = 0;
  virtual int SetVolume(int volume) = 0;
  virtual int SetMute(int mute) = 0;
  virtual int IsMuted() = 0;
  virtual void ShowAdvancedSoundSettings() = 0;
  virtual int PlayTrack(const KernelId& track) = 0;
  virtual int StopPlayback() = 0;
  virtual int IsPaused() = 0;
  virtual int SetPaused(int paused) = 0;
  // The queue keeps whole ids but identifies tracks by word 0; the entry operations
  // write only word 0 of `track`.
  virtual int GetFirstQueueEntry(KernelId& track);
  virtual int GetNextQueueEntry(KernelId& track);
  virtual int EnqueueTrack(const KernelId& track);
  virtual int RemoveFromQueue(const KernelId& track);  // every entry of that track
  virtual int ClearQueue();
  virtual int ShuffleQueue();
  // Moves one entry; an index outside the queue throws an invalid-argument error.
  virtual int MoveQueueEntry(int from, int to);
  virtual int GetQueuePosition();
  virtual int SetQueuePositionToTrack(const KernelId& track);
  virtual int SetQueuePosition(int index);  // clamped into the queue
  virtual int PlayQueueCurrent();
  virtual int PlayNextInQueue();
  virtual int PlayPreviousInQueue();

  // ---- Radio presets ----
  virtual int SupportsFMPresets() = 0;
  virtual int Op10020(const KernelId& preset) = 0;
  virtual int Op10030(int value) = 0;
  virtual int Op10040(const KernelId& preset) = 0;
  virtual int GetFirstFMPreset(KernelId& preset) = 0;
  virtual int GetNextFMPreset(KernelId& preset) = 0;
  virtual int GetFMPresetFrequency(const KernelId& preset) = 0;  // units of 10 kHz
  virtual int Op10080(const KernelId& preset, int value) = 0;

  // ---- Notes (base: 0 and empty texts) ----
  virtual int SupportsNotes() = 0;
  virtual int GetNotesRootFolder(KernelId& folder);
  virtual int GetFirstNote(const KernelId& folder, KernelId& item);
  virtual int GetNextNote(const KernelId& folder, KernelId& item);
  virtual std::string GetNoteName(const KernelId& item);
  virtual int Op11140(const KernelId& item);
  virtual int CreateNote(std::string_view name, const KernelId& folder, KernelId& newNote);
  virtual int DeleteNote(const KernelId& item);
  virtual int Op11170(const KernelId& item, std::string_view text);
  virtual int IsNoteFolder(const KernelId& item);
  virtual int CreateNoteFolder(std::string_view name, const KernelId& parent,
                               KernelId& newFolder);
  virtual int DeleteNoteFolder(const KernelId& item);
  virtual std::string GetNoteText(const KernelId& item);
  virtual int SetNoteText(const KernelId& item, std::string_view text);

  // ---- Contacts (base: 0 and empty texts) ----
  virtual int SupportsContacts() = 0;
  virtual int GetContactsRootFolder(KernelId& folder);
  virtual int GetFirstContact(const KernelId& folder, KernelId& item);
  virtual int GetNextContact(const KernelId& folder, KernelId& item);
  virtual std::string GetContactName(const KernelId& item);
  virtual int Op12140(const KernelId& item);
  virtual int CreateContact(std::string_view name, const ContactRecord& record,
                            const KernelId& folder, KernelId& newContact);
  virtual int DeleteContact(const KernelId& item);
  virtual int Op12170(const KernelId& item, std::string_view text);
  virtual int IsContactFolder(const KernelId& item);
  virtual int CreateContactFolder(std::string_view name, const KernelId& parent,
                                  KernelId& newFolder);
  virtual int DeleteContactFolder(const KernelId& item);
  virtual int GetContactRecord(const KernelId& item, ContactRecord& record);
  virtual int SetContactRecord(const KernelId& item, const ContactRecord& record);

  virtual int SupportsGroup13000() = 0;

  // ---- Replies, content ids, state ----

  // Leave an information message for the caller to show (messageFlag -1) / a failure
  // description (replyCode, replyText) in the block being executed.
  void SetReplyMessage(std::string_view text);
  void SetReplyError(int code, std::string_view text);

  // SHA-1 of the trimmed, lower-cased artist + album + title, as 40 upper-case hex digits.
  static void MakeContentId(std::string& out, std::string_view artist, std::string_view album,
                            std::string_view title);
  static std::string MakeContentId(std::string_view artist, std::string_view album,
                                   std::string_view title);

  // The lock of callers that run a sequence of operations as one unit (waiters may use
  // try_lock_for, e.g. 5000 ms).
  std::recursive_timed_mutex& GetLock() { return lock_; }

  // What this object knows of the player without asking it, read from any thread; a
  // proxy knows neither (nullopt), a device that forwards asks the one behind it.
  // CatalogueVersion counts InvalidateTrackIndex and Disconnect: a copy of the tracks
  // kept elsewhere (TrackCacheDevice) is good while it stays. PlaybackStoppedNow is
  // IsPlaybackStopped.
  virtual std::optional<std::uint64_t> CatalogueVersion() const { return catalogueVersion_.load(); }
  virtual std::optional<bool> PlaybackStoppedNow() const { return IsPlaybackStopped() != 0; }

  int GetDeviceIndex() const { return deviceIndex_; }
  const KernelId& GetDeviceId() const { return deviceId_; }
  const KernelId& GetSegmentId() const { return segmentId_; }
  DeviceOwner* GetOwner() const { return owner_; }
  DeviceRequestBlock& GetOwnBlock() { return ownBlock_; }
  DeviceRequestBlock* GetCurrentBlock() const { return currentBlock_; }
  // Who asks while an operation runs: the calling thread's id that a request carries
  // (Dispatch), kOwnCaller for a call made in this process, kCatalogueCaller for the walks
  // the catalogue makes for itself. Devices keep a walk per caller with it, so that two
  // callers walking at once, or a catalogue built between the steps of a walk, never cut
  // each other's walk short.
  static constexpr std::uint32_t kOwnCaller = 0;
  static constexpr std::uint32_t kCatalogueCaller = 0xFFFFFFFFu;
  std::uint32_t GetRequestCaller() const { return requestCaller_; }
  void SetCurrentBlock(DeviceRequestBlock* block) { currentBlock_ = block ? block : &ownBlock_; }

  const std::vector<KernelId>& GetPendingIds() const { return pendingIds_; }
  const std::vector<KernelId>& GetQueue() const { return queue_; }
  const KernelId& GetNowPlaying() const { return nowPlaying_; }
  void SetNowPlaying(const KernelId& track) { nowPlaying_ = track; }
  // 1 while nothing plays: after StopPlayback, a stop notice that played no next entry,
  // or before the first PlayTrack. Read from any thread.
  int IsPlaybackStopped() const { return playbackStopped_.load(); }
  void SetPlaybackStopped(int stopped) { playbackStopped_.store(stopped); }
  platform::HWND GetProgressWindow() const { return progressWindow_; }
  const std::vector<platform::HWND>& GetNotifyWindows() const { return notifyWindows_; }

 protected:
  int busy_ = 0;
  int deviceIndex_ = 0;
  std::vector<KernelId> pendingIds_;
  DeviceOwner* owner_ = nullptr;
  KernelId deviceId_;
  KernelId segmentId_;

 private:
  struct Catalogue;  // track index, playlist caches, query results, content ids

  static void WriteFailure(DeviceRequestBlock& block, std::int32_t code, std::string_view title,
                           std::string_view detail);
  void EnsureTrackIndex();
  void EnsurePlaylistCache();
  void EnsureTrackPlaylistMap();

  std::recursive_timed_mutex lock_;
  platform::HWND progressWindow_ = 0;
  std::vector<platform::HWND> notifyWindows_;
  std::unique_ptr<Catalogue> catalogue_;
  std::atomic<std::uint64_t> catalogueVersion_{0};
  std::vector<KernelId> queue_;
  int queuePosition_ = 0;
  std::size_t queueCursor_ = 0;
  KernelId nowPlaying_;
  std::atomic<int> playbackStopped_{1};
  DeviceRequestBlock ownBlock_;
  DeviceRequestBlock* currentBlock_ = &ownBlock_;
  std::uint32_t requestCaller_ = kOwnCaller;
};

}  // namespace device
