// The player vendor's SDK as the driver sees it, and the simulated player behind it.
//
// `VendorSdk` is the SDK interface: one object per driver, every call names the device by
// its SDK device number (players are numbered from 1). A result of 0 is success; any other
// value is one of the SDK codes below. Strings cross the interface as SDK strings (UTF-16,
// the SDK's wide strings); Utf8ToSdkString / SdkStringToUtf8 are the conversions with the
// system's text (UTF-8). Paths given to the SDK are in Windows form ("C:\dir\a.mp3").
//
// The SDK reports what happens asynchronously by posting window messages to the window
// given with SetNotifyWindow, always after the call that caused them has returned:
//   1524 upload progress      wParam = per cent of the file copied (0..100)
//   1525 upload done          wParam = 0 or the SDK code of the failure; lParam = the new
//                             item's id (0 on failure); also ends a folder creation
//   1526 download progress    wParam = per cent
//   1527 download done        wParam = 0 or the SDK code of the failure
//   1529 playback stopped     the track ended or a stop command stopped it
//   1531 track started        wParam = the track's id
//   1532 device removed       the player went away; the device answers "not connected"
// Starting a track while another plays posts 1531 for the new track and no 1529.
//
// The simulated player keeps its content in a folder (see simplayer.h): ids are non-zero,
// never 0xFFFFFFFF, never reused, and survive restarts. The data root has id 1 and is named
// "DATA"; the playlist root has id 2 and is named "PLAY LISTS"; the parent of all audio
// tracks is {0xFFFFFFFF, 1}. Data items are known by their id: the types 3 and 4 are
// interchangeable in every call that names one.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "platform/vendorsdk/sdk_results.h"
#include "platform/window/window.h"

namespace platform {

using SdkString = std::u16string;

// Result codes: sdk_results.h. A play-only track refused for a copy gives kSdkErrCopyProtected.

// Notifications (see above).
constexpr UINT kSdkUploadProgress = 1524;
constexpr UINT kSdkUploadDone = 1525;
constexpr UINT kSdkDownloadProgress = 1526;
constexpr UINT kSdkDownloadDone = 1527;
constexpr UINT kSdkPlaybackStopped = 1529;
constexpr UINT kSdkTrackStarted = 1531;
constexpr UINT kSdkDeviceRemoved = 1532;

// Item types.
constexpr std::uint32_t kSdkTrack = 1;
constexpr std::uint32_t kSdkPlaylist = 2;
constexpr std::uint32_t kSdkDataFile = 3;
constexpr std::uint32_t kSdkDataFolder = 4;

constexpr std::uint32_t kSdkDataRootId = 1;
constexpr std::uint32_t kSdkPlaylistRootId = 2;
constexpr std::uint32_t kSdkAllTracksId = 0xFFFFFFFF;

// Value types of attribute entries.
constexpr std::uint16_t kSdkAttrText = 0;    // UTF-8 text, no terminator
constexpr std::uint16_t kSdkAttrNumber = 1;  // 4-byte little-endian integer
constexpr std::uint16_t kSdkAttrUtf16 = 2;   // UTF-16 text, no terminator

// Device properties and the sizes of their values in bytes.
constexpr std::uint32_t kSdkPropUniqueId = 1;         // 16 bytes
constexpr std::uint32_t kSdkPropFirmwareVersion = 2;  // 4 x u16
constexpr std::uint32_t kSdkPropModelName = 3;        // SDK string, NUL-terminated
constexpr std::uint32_t kSdkPropProperty4 = 4;        // i32
constexpr std::uint32_t kSdkPropSpace = 5;            // 4 x u32: total low, high, free low, high
constexpr std::uint32_t kSdkPropClock = 6;            // 8 x i16: year, month, day, 0, h, m, s, 0
constexpr std::uint32_t kSdkPropOwnerName = 7;        // SDK string, NUL-terminated
constexpr std::uint32_t kSdkPropHardwareVersion = 11; // 4 x u16
constexpr std::uint32_t kSdkPropVolume = 12;          // i32, 0..100
constexpr std::uint32_t kSdkPropMute = 13;            // i32, 0 or 1

// Playback commands.
constexpr std::uint32_t kSdkPlay = 1;    // argument: const SdkItem* {track id, 1}
constexpr std::uint32_t kSdkStop = 2;    // argument: null
constexpr std::uint32_t kSdkPause = 3;   // argument: null
constexpr std::uint32_t kSdkResume = 4;  // argument: the caller's resume value (not used)

// How the SDK names an item. The receiver of an item owns its name.
struct SdkItem {
  std::uint32_t id = 0;
  std::uint32_t type = 0;
  SdkString name;
};

// The longest name the SDK keeps (characters of an SDK string).
constexpr std::size_t kSdkMaxNameLength = 255;

class VendorSdk {
 public:
  virtual ~VendorSdk() = default;  // releasing the object shuts it down

  // Opens the SDK: 0 when ready. kSdkErrPortInUse when another program holds the player,
  // kSdkErrLibraryCorrupt when its store cannot be read.
  virtual SdkResult Initialize() = 0;
  // Ends transfers in progress (their files are removed, no notification follows), stops
  // playback and closes the SDK.
  virtual SdkResult Shutdown() = 0;
  // The window that receives the notifications (0: none).
  virtual SdkResult SetNotifyWindow(int dev, HWND window) = 0;
  // Players present: 1 with a player in the store folder, else 0 (also while unplugged).
  // A player that appears in the folder after Initialize is found here.
  virtual SdkResult GetDeviceCount(int* count) = 0;
  virtual SdkResult GetSdkVersion(std::uint16_t version[4]) = 0;

  // The top-level folders ("DATA", "PLAY LISTS"), one per call; kSdkErrNoMoreItems at the end.
  virtual SdkResult FindFirstRootItem(int dev, SdkItem* item) = 0;
  virtual SdkResult FindNextRootItem(int dev, SdkItem* item) = 0;

  // Playlists under the playlist root, one per call, in creation order.
  virtual SdkResult FindFirstPlaylist(int dev, const SdkItem& root, SdkItem* playlist) = 0;
  virtual SdkResult FindNextPlaylist(int dev, const SdkItem& root, SdkItem* playlist) = 0;
  // Creates an empty playlist named playlist->name (type 2) and writes its id into it.
  // Names need not be unique.
  virtual SdkResult CreatePlaylist(int dev, const SdkItem& root, SdkItem* playlist) = 0;
  virtual SdkResult DeletePlaylist(int dev, const SdkItem& playlist) = 0;
  virtual SdkResult RenamePlaylist(int dev, const SdkItem& playlist, const char16_t* name) = 0;
  // Appends the tracks in array order; nothing is added when one of them is unknown.
  virtual SdkResult AddTracksToPlaylist(int dev, const SdkItem& playlist, std::uint32_t count,
                                        const SdkItem* tracks) = 0;

  // The children of a parent, one per call: all tracks {0xFFFFFFFF, 1}, the data root or a
  // data folder {id, 3 or 4}, or a playlist's entries {id, 2}. Each parent keeps its own
  // position, so walks of different parents may interleave; items added or removed during
  // a walk neither stop it nor repeat entries. kSdkErrNoMoreItems at the end.
  virtual SdkResult FindFirstChild(int dev, const SdkItem& parent, SdkItem* child) = 0;
  virtual SdkResult FindNextChild(int dev, const SdkItem& parent, SdkItem* child) = 0;

  // The item's attribute block: a u16 count, then per entry u16 value type, u16 name length
  // n, u32 value length v, n name bytes, v value bytes. With bufferSize 0 only *size is set
  // (the size probe, also an existence test); with a buffer too small for the block the
  // call fails with kSdkErrInvalidArg and sets *size; otherwise the block is written and
  // *size is its length.
  // Tracks: TITLE, ALBUM, ARTIST, GENRE, CODEC (UTF-16 texts), FILE SIZE, LENGTH (seconds),
  // TRACK NUM, YEAR, PLAYONLY (numbers). Data files: FILE NAME, TITLE (UTF-16), FILE SIZE,
  // FILE ATTRIB, MODIFIED FILETIME, PARENT FOLDER (numbers). Data folders: FOLDER NAME,
  // FILE ATTRIB, MODIFIED FILETIME, PARENT FOLDER. A file size above 4 GB reads 0xFFFFFFFF.
  // Texts hold at most 255 characters (longer tags are cut when set), so a block never
  // exceeds 2800 bytes.
  virtual SdkResult GetItemAttributes(int dev, const SdkItem& item, std::uint32_t bufferSize,
                                      std::uint32_t* size, void* buffer) = 0;
  // Changes one attribute. Tracks: TITLE, ALBUM, ARTIST, GENRE (text), TRACK NUM, YEAR
  // (numbers). Data items: FILE NAME (renames; for a folder as FOLDER NAME), FOLDER NAME
  // (folders), PARENT FOLDER (moves into a folder or the root; a folder cannot move into
  // itself or below itself: kSdkErrInvalidArg), FILE ATTRIB, MODIFIED FILETIME. A name
  // taken in the folder gives kSdkErrFileExists (files) or kSdkErrFolderExists (folders).
  virtual SdkResult SetItemAttribute(int dev, const SdkItem& item, const char16_t* name,
                                     std::uint16_t valueType, std::uint32_t valueLength,
                                     const void* value) = 0;

  // Adds an item described by an attribute block. Type 1 (track, source = the audio file;
  // TITLE ALBUM ARTIST GENRE CODEC LENGTH TRACK NUM YEAR; CODEC "MP3", "WMA" or "WAV") and
  // type 3 (data file, source = the file; FILE NAME, PARENT FOLDER, FILE ATTRIB, MODIFIED
  // FILETIME) are copied in the background: 0 means accepted, then 1524 and 1525 follow.
  // Type 4 (data folder, source = the folder name; PARENT FOLDER, FILE ATTRIB, MODIFIED
  // FILETIME) is created at once and 1525 follows with its id.
  virtual SdkResult AddItem(int dev, std::uint32_t type, const char16_t* source,
                            std::uint32_t blockLength, const void* block) = 0;
  // Deletes a track (and its playlist entries; when it plays, playback stops with 1529), a
  // data file, an empty data folder or a playlist. A folder that still holds items is
  // refused with kSdkErrFail.
  virtual SdkResult DeleteItem(int dev, const SdkItem& item) = 0;
  // Copies a track or data file to the destination file (created or emptied at once, then
  // written progressively in the background): 0 means started, then 1526 and 1527 follow.
  // A play-only track is refused with kSdkErrCopyProtected.
  virtual SdkResult GetItemToFile(int dev, const char16_t* destination, const SdkItem& item) = 0;

  // Reads or writes a device property (table above). bufferSize is the buffer's size in
  // bytes: a buffer too small for the value gives kSdkErrInvalidArg and nothing is written.
  // Writable: the clock, the owner name (at most 255 characters), volume and mute.
  virtual SdkResult GetDeviceProperty(int dev, std::uint32_t property, void* buffer,
                                      std::uint32_t bufferSize) = 0;
  virtual SdkResult SetDeviceProperty(int dev, std::uint32_t property, const void* buffer,
                                      std::uint32_t bufferSize) = 0;

  // Play, stop, pause, resume (commands above). A track plays for its LENGTH in seconds and
  // then stops by itself (1529). Pause and resume fail with kSdkErrFail while nothing plays.
  virtual SdkResult PlaybackControl(int dev, std::uint32_t command, void* argument) = 0;
};

// Creates the SDK object over the player kept in `storeFolder` (Windows form). Null when
// the SDK is not installed (SetVendorSdkInstalled). A folder that holds no player is a
// machine with no player plugged in: the device count is 0.
std::unique_ptr<VendorSdk> CreateVendorSdk(std::string_view storeFolder);

// Whether the SDK counts as installed in this process (default: yes).
void SetVendorSdkInstalled(bool installed);
bool IsVendorSdkInstalled();

// Conversions between the system's text and SDK strings. Invalid sequences become U+FFFD.
SdkString Utf8ToSdkString(std::string_view text);
std::string SdkStringToUtf8(std::u16string_view text);

// The manager's playlist rewrites. The SDK cannot reorder or remove a playlist's entries,
// so the manager writes the new order into a new playlist named RewriteName(name),
// deletes the old one and then gives the new one the name. No name the manager gives
// begins with a blank (it trims them), so a playlist whose name does is a rewrite that was
// cut short: while the old playlist is there the new one may be partly written, once the
// old one is gone the new one is whole and only its name is missing.
// The name of the new playlist: a blank, then the name, cut to the SDK's length.
SdkString RewriteName(std::string_view name);
// Whether an SDK name is one RewriteName made; `original` receives the name without the
// blank (cut when the original was too long to take it).
bool IsRewriteName(std::u16string_view name, SdkString* original = nullptr);
// Whether `other` names the old playlist of the rewrite named `rewrite`: its name, or one
// that begins with it when the rewrite's name had to be cut.
bool IsReplacedByRewrite(std::u16string_view other, std::u16string_view rewrite);

// The clock property's fields (kSdkPropClock) and the calendar time they hold, one way for
// the player and its driver: fields 0-2 year, month (1-12), day; 4-6 hour, minute, second;
// 3 and 7 are 0. Which time zone the calendar time is in is the caller's.
void ClockFieldsFromTm(const std::tm& tm, std::int16_t fields[8]);
// tm_isdst is -1 (not known): mktime works it out, timegm ignores it.
std::tm TmFromClockFields(const std::int16_t fields[8]);

}  // namespace platform
