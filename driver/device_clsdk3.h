// KernelDeviceCLSDK3: the manager's real device, the device interface over the player
// vendor's SDK (platform/vendorsdk/vendorsdk.h).
//
// The SDK names the player by its device number (word 0 of the segment id) and reports
// what happens later (transfer progress and ends, playback start and stop, the player
// going away) by posting messages to a hidden receiver window that the device owns; the
// handlers pass them on to the base's progress and notify windows. A process hosts one
// such device (Current(): the one made last); each receiver window serves the device
// that made it.
//
// Results: most operations answer the SDK result mapped to a device status (0 success;
// 1 failure, with the SDK code and its text left in the request block's reply-error
// fields; 2 busy; 4 playlist exists; 6 transfer refused; 7 file exists; 8 storage full;
// 11 folder exists). Reads answer defaults ("" and 0) when the SDK fails, and leave the
// failure in the reply-error fields like any other (a read of an item the player does not
// hold: 1 with "Invalid track, file, or playlist ID."), never as a message to show.
//
// Waits: a download waits for the previous one, a folder creation and each contact track
// wait for the SDK's notice, pumping the thread's messages (which is how the notices
// arrive). Every wait also ends when the player goes away or is disconnected, and after a
// time limit: 10 s for a folder creation, and for transfers 60 s without any notice of
// theirs (a transfer that makes progress is never cut short).
//
// Everything runs on the thread that created the device (the manager's main thread).
// device_clsdk3.cpp: connection, notices, device, tracks, transfers, data items;
// device_clsdk3_playlists.cpp: playlists, playback, contacts.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_status.h"
#include "device/kernel_device.h"
#include "device/operations.h"
#include "driver/sdk_attributes.h"
#include "platform/vendorsdk/vendorsdk.h"
#include "platform/window/window.h"

namespace driver {

class KernelDriver;

class KernelDeviceCLSDK3 final : public device::KernelDevice {
 public:
  // Makes the device's SDK object (null: none could be made).
  using SdkMaker = std::function<std::unique_ptr<platform::VendorSdk>()>;
  // `driver` (may be null) made the device and hears when it goes; `makeSdk` makes its SDK
  // object in CreateSdkObject.
  KernelDeviceCLSDK3(KernelDriver* driver, SdkMaker makeSdk, const device::KernelId& device, const device::KernelId& segment);
  ~KernelDeviceCLSDK3() override;

  // The device of this process that the receiver window's handlers act on (null: none).
  static KernelDeviceCLSDK3* Current();

  // Makes the receiver window and the SDK object; 1 when the SDK object was made.
  int CreateSdkObject();
  // 1 when the SDK object can be used. Otherwise 0; a second failed check within 5 s of
  // the previous one tells the user that the drivers are missing.
  int CheckSdkPresent();
  // The device status of an SDK result; a result without a status of its own gives 1 and
  // leaves the code and its text in the request block's reply-error fields.
  int MapSdkResult(platform::SdkResult result);
  // kStatusOk when the file an upload names is a plain file that opens (its facts into
  // `st` when given); else 1, with the reason left as the reply error.
  int RefuseUnopenable(std::string_view sourcePath, struct stat* st);

  // Writes the playlist anew with the given entries, in order, under the name carried in
  // `playlist`: the new playlist is made and filled before the old one is deleted, so a
  // failure part-way leaves the old one as it was. 0, or the status of the failed step.
  // The pending-id list is left holding the entries.
  int RewritePlaylist(const std::vector<device::KernelId>& entries, const device::KernelId& playlist);

  platform::HWND GetReceiverWindow() const { return receiver_; }
  platform::VendorSdk* GetSdk() const { return sdk_.get(); }
  int SdkDeviceNumber() const { return static_cast<int>(GetSegmentId().word[0]); }

  // Shorter waits for tests: the folder creation's limit and the transfers' limit without
  // notices, in milliseconds (0 restores the defaults).
  static void SetWaitLimitsForTesting(unsigned folderMs, unsigned transferIdleMs);
  // The clock of the SDK check's 5-second rule, for tests (null: the tick count).
  static void SetCheckClockForTesting(std::uint32_t (*tickCount)());

  // ---- KernelDevice ----
  void InvalidateTrackIndex() override;
  int InvalidatePlaylistCache() override;
  int EnumFirstPlaylist(device::KernelId& playlist) override;
  int EnumNextPlaylist(device::KernelId& playlist) override;
  int EnumFirstPlaylistItem(const device::KernelId& playlist, device::KernelId& track) override;
  int EnumNextPlaylistItem(const device::KernelId& playlist, device::KernelId& track) override;

  // Every operation the interface leaves to each device (operations.h).
  KERNEL_DEVICE_OWN_OPERATIONS(DEVOP_OVERRIDE)
  DEVOP_OVERRIDE(VerifyDeviceModel)
  DEVOP_OVERRIDE(Disconnect)
  int IsConnectedModel(std::string_view model) override;

  // What the track getters answer, read once; the status of that read.
  DEVOP_OVERRIDE(GetTrackInfo)

  DEVOP_OVERRIDE(GetContactsRootFolder)
  DEVOP_OVERRIDE(GetFirstContact)
  DEVOP_OVERRIDE(GetNextContact)
  DEVOP_OVERRIDE(GetContactName)
  DEVOP_OVERRIDE(CreateContact)
  DEVOP_OVERRIDE(DeleteContact)
  DEVOP_OVERRIDE(Op12170)
  DEVOP_OVERRIDE(IsContactFolder)
  DEVOP_OVERRIDE(CreateContactFolder)
  DEVOP_OVERRIDE(DeleteContactFolder)
  DEVOP_OVERRIDE(GetContactRecord)
  DEVOP_OVERRIDE(SetContactRecord)

 private:
  // The artist of the tracks that hold contacts.
  static constexpr const char* kContactsArtist = "{Contacts}";
  static platform::SdkItem Item(std::uint32_t id, std::uint32_t type) {
    platform::SdkItem item;
    item.id = id;
    item.type = type;
    return item;
  }

  // The SDK object, or a stand-in that answers "not connected" to every call while there
  // is none.
  platform::VendorSdk& Sdk();
  void OnSdkNotice(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam);
  // Pumps messages until done() holds, the device is disconnected, or the limit passed
  // (measured from the start, or with `idle` from the last transfer notice). True when
  // done() held.
  bool PumpUntil(const std::function<bool()>& done, unsigned limitMs, bool idle);
  static unsigned TransferIdleLimitMs();
  // The transfers that the SDK drops when it shuts down end here: their flags are cleared
  // and the progress window hears that they failed.
  void EndRunningTransfers();

  // 0, or the status of the failed read (its code and text left in the reply fields).
  int LoadTrackAttributes(const device::KernelId& track);
  // The cached record after LoadTrackAttributes: what every track getter answers from
  // (the defaults when the read failed).
  const device::TrackRecord& CachedTrack(const device::KernelId& track);
  void LoadDataItemAttributes(const device::KernelId& item);
  // Reads an item's attribute block the SDK's way (its size, then the block) into the
  // attribute buffer and sets its length; the SDK result of the read that failed, or 0.
  platform::SdkResult ReadAttributeBlock(const platform::SdkItem& item, std::size_t* length);
  // Properties. False when the SDK refused (the result is in *result).
  bool GetProperty(std::uint32_t id, void* buffer, std::uint32_t size, platform::SdkResult* result);
  std::string GetStringProperty(std::uint32_t id);
  // A 32-bit number property, or the mapped SDK result when the SDK refused.
  int GetIntProperty(std::uint32_t id);
  int SetIntProperty(std::uint32_t id, int value);
  // Half 0 (total) or 1 (free) of the space property, in KB; the mapped SDK result when refused.
  int GetSpaceKB(int half);
  std::string GetVersionProperty(std::uint32_t id);
  int SetTrackText(const device::KernelId& track, const char16_t* name, std::string_view text);
  int SetTrackNumberAttribute(const device::KernelId& track, const char16_t* name, int value);
  // Starts a download of {id, type} to the path; the status.
  int StartDownload(const device::KernelId& item, std::uint32_t type, std::string_view targetPath,
                    bool checkLock);
  bool IsDataRoot(const device::KernelId& folder) const { return folder.word[0] == dataRoot_.id; }
  platform::SdkItem DataParentOf(const device::KernelId& folder) const;
  void FillDataItemId(const platform::SdkItem& child, device::KernelId& out) const;
  // Finds a folder by name among a parent's children (0: none).
  std::uint32_t FindDataFolder(const platform::SdkItem& parent, std::string_view name);
  // Walks all tracks (contact tracks too) with the SDK. False when the SDK failed.
  bool WalkAllTracks(std::vector<std::uint32_t>* ids);

  // Playlists.
  // The entries in order; false, with the mapped status in *status, when the SDK failed
  // (an empty playlist is not a failure).
  bool CollectPlaylistEntries(const device::KernelId& playlist, std::vector<device::KernelId>* entries,
                              int* status);
  // The SDK's create, without the name check; the new id, or the mapped status.
  int CreateSdkPlaylist(std::string_view name, std::uint32_t* id);
  // kStatusPlaylistExists with `playlist` when a playlist other than `except` has the
  // name (both trimmed); else 0, or the status of a walk that did not see every name.
  int FindPlaylistNamed(std::string_view wanted, std::uint32_t except, device::KernelId& playlist);

  // Contacts.
  // The contact's tracks (every generation); with `current`, those of the newest
  // generation that holds all four fields (the newest one when none does).
  std::vector<device::KernelId> ContactTracks(std::string_view bracedName, bool current = false);

  KernelDriver* driver_;
  SdkMaker makeSdk_;
  platform::HWND receiver_ = 0;
  int connected_ = 0;
  std::uint32_t lastFailedCheck_ = 0;
  bool hadFailedCheck_ = false;
  std::unique_ptr<platform::VendorSdk> sdk_;
  platform::SdkItem playlistRoot_;
  platform::SdkItem allTracks_;
  platform::SdkItem dataRoot_;
  int playlistCount_ = -1;
  int audioCount_ = -1;
  int audioKB_ = -1;
  int dataKB_ = -1;
  int dataCount_ = -1;
  int dataChildren_ = -1;  // files and folders in the data root
  int paused_ = 0;
  std::int32_t resumeArgument_ = 0;
  device::KernelId trackCacheKey_;
  device::TrackRecord trackCache_;
  device::KernelId dataCacheKey_;
  DataItemRecord dataCache_;
  std::vector<std::uint8_t> attributeBuffer_;
  int downloadRunning_ = 0;
  int uploadRunning_ = 0;
  int cancel_ = 0;
  std::uint32_t newItemId_ = 0;
  std::uint8_t uploadDoneSeen_ = 0;
  platform::SdkResult lastUploadResult_ = 0;
  std::uint32_t lastTransferNotice_ = 0;  // tick count of the last transfer notice
  std::vector<std::string> contactNames_;
  std::size_t contactCursor_ = 0;
};

}  // namespace driver
