// The operation table of the device interface, written once.
//
// KERNEL_DEVICE_OPERATIONS(X) calls X once per operation that has an operation code:
//
//   X(opcode, Name, Result, Flow, Field...)
//
//   opcode  the number the request carries in DeviceRequestBlock::opcode
//   Name    the KernelDevice method
//   Result  where the return value goes: Int (intResult), Text (textResult, cut to 256
//           bytes), None (void; intResult 0) or Note (the text goes into noteText)
//   Flow    what the proxy does after the manager answered: Plain (raise a reported
//           error, show a reported message), Quiet (return the result fields as they
//           are) or Capability (no request of its own: answered from the probe's cache)
//   Field   the block fields that carry the arguments, in call order (below)
//
// Everything is generated from this one list: the DeviceOp codes, the switch of
// KernelDevice::Dispatch (which also checks at compile time that every method's
// signature matches its row), and the proxy's forwarding methods. A forwarding method
// is generated like this:
//
//   #define X(code, Name, R, Flow, ...)  (one line each, joined with backslashes)
//     ::devop::R::Type Name(DEVOP_PARAMS(__VA_ARGS__)) override {
//       return DEVOP_ROW(code, R, Flow, __VA_ARGS__)::Forward(
//           *block, [&] { Exchange(code, ::devop::Flow{}); } DEVOP_COMMA_ARGS(__VA_ARGS__));
//     }
//   KERNEL_DEVICE_OPERATIONS(X)
//   #undef X
//
// Fields (each a type in namespace devop with Param, Arg, Put and Take):
//   ItemIn1, ItemIn2      const KernelId&       itemArg1 / itemArg2
//   ItemOut1, ItemOut2    KernelId&             itemArg1 / itemArg2, filled by the operation
//   TextIn1..TextIn3      std::string_view      textArg1..3, bounded to 256 bytes
//   TextOut1, TextOut2    FixedString256&       textArg1 / textArg2, filled by the operation
//   IntIn1, IntIn2        int                   intArg1 / intArg2
//   WindowIn              platform::HWND        windowArg
//   TrackIn, TrackOut     (const) TrackRecord&  trackArg
//   ContactIn, ContactOut (const) ContactRecord& contactArg
//   NoteIn                std::string_view      noteText up to its NUL (4100 bytes at most)
// Out fields travel both ways: the caller's value is written into the block before the
// request, so an operation that fills only part of it (a queue entry's word 0) leaves
// the rest as the caller had it, exactly as a call inside one process does.
#pragma once

#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "device/kernel_id.h"
#include "device/records.h"
#include "device/request_block.h"
#include "platform/text/text.h"
#include "platform/window/window.h"

// clang-format off
#define KERNEL_DEVICE_OPERATIONS(X) \
  X(500, GetHostVersion, Text, Quiet) \
  X(1010, ShowSdkVersion, None, Plain) \
  X(2000, VerifyDeviceModel, Int, Quiet, ItemIn1, TextOut1, TextOut2) \
  X(2010, Connect, None, Quiet) \
  X(2020, Disconnect, None, Quiet) \
  X(2030, IsConnected, Int, Quiet) \
  X(2040, Op2040, None, Quiet) \
  X(2060, GetModelName, Text, Quiet) \
  X(2070, GetHardwareVersion, Text, Plain) \
  X(2080, GetFirmwareVersion, Text, Plain) \
  X(2085, GetDriverVersion, Text, Plain) \
  X(2090, GetDeviceUniqueId, Text, Quiet) \
  X(2100, GetOwnerName, Text, Plain) \
  X(2110, SetOwnerName, Int, Plain, TextIn1) \
  X(2120, Op2120, Int, Plain) \
  X(2140, TryLockDevice, Int, Plain, IntIn1) \
  X(2150, UnlockDevice, Int, Plain) \
  X(2160, ClearPendingIds, Int, Plain) \
  X(2170, AddPendingId, Int, Plain, ItemIn1) \
  X(2180, GetDeviceTime, Int, Plain) \
  X(2190, SetDeviceTime, Int, Plain, IntIn1) \
  X(2200, HasClock, Int, Plain) \
  X(2300, CommitChanges, Int, Plain) \
  X(2310, IsAutoConnect, Int, Plain) \
  X(2320, SupportsEject, Int, Plain) \
  X(2330, Op2330, Int, Plain) \
  X(2400, UsesTrackDatabase, Int, Plain) \
  X(2410, RunSetupWizard, Int, Plain, IntIn1) \
  X(3010, SupportsStorageList, Int, Capability) \
  X(3020, GetFirstStorage, Int, Plain, ItemOut1) \
  X(3030, GetNextStorage, Int, Plain, ItemOut1) \
  X(3040, GetStorageName, Text, Plain, ItemIn1) \
  X(3050, SelectStorage, Int, Plain, ItemIn1) \
  X(3060, SupportsStorageFlag2, Int, Capability) \
  X(3070, RefreshStorage, Int, Plain) \
  X(3080, RecoverMissingTracks, Int, Plain) \
  X(3090, GetTotalSpaceKB, Int, Plain) \
  X(3100, GetFreeSpaceKB, Int, Plain) \
  X(3110, SupportsTrackReorder, Int, Capability) \
  X(3120, Op3120, Int, Plain, IntIn1, IntIn2) \
  X(3130, GetStorageTotalKB, Int, Plain, ItemIn1) \
  X(3140, GetStorageFreeKB, Int, Plain, ItemIn1) \
  X(3150, GetStorageUsedKB, Int, Plain, ItemIn1) \
  X(3160, StorageHasItems, Int, Plain, ItemIn1) \
  X(3170, Op3170, Int, Plain) \
  X(4010, SupportsTagIndex, Int, Capability) \
  X(4020, GetFirstTrackByTags, Int, Plain, ItemOut1, TextIn1, TextIn2, TextIn3) \
  X(4030, GetNextTrackByTags, Int, Plain, ItemOut1) \
  X(4040, GetTrackInfo, Int, Plain, ItemIn1, TrackOut) \
  X(4050, SetTrackInfo, Int, Plain, ItemIn1, TrackIn) \
  X(4055, GetFileTrackInfo, Int, Plain, TextIn1, TrackOut) \
  X(4060, GetTrackSize, Int, Plain, ItemIn1) \
  X(4070, GetTrackArtist, Text, Plain, ItemIn1) \
  X(4080, GetTrackAlbum, Text, Plain, ItemIn1) \
  X(4090, GetTrackNumber, Int, Plain, ItemIn1) \
  X(4100, GetTrackTitle, Text, Plain, ItemIn1) \
  X(4110, GetTrackCodec, Int, Plain, ItemIn1) \
  X(4120, GetTrackLength, Int, Plain, ItemIn1) \
  X(4130, GetTrackBitrate, Int, Plain, ItemIn1) \
  X(4140, GetTrackYear, Int, Plain, ItemIn1) \
  X(4150, GetTrackGenre, Text, Plain, ItemIn1) \
  X(4160, GetTrackComment, Text, Plain, ItemIn1) \
  X(4170, IsTrackLocked, Int, Plain, ItemIn1) \
  X(4180, GetDefaultFileName, Text, Plain, ItemIn1) \
  X(4190, SetTrackArtist, Int, Plain, ItemIn1, TextIn1) \
  X(4200, SetTrackAlbum, Int, Plain, ItemIn1, TextIn1) \
  X(4210, SetTrackNumber, Int, Plain, ItemIn1, IntIn1) \
  X(4220, SetTrackTitle, Int, Plain, ItemIn1, TextIn1) \
  X(4230, SetTrackYear, Int, Plain, ItemIn1, IntIn1) \
  X(4240, SetTrackGenre, Int, Plain, ItemIn1, TextIn1) \
  X(4250, SetTrackComment, Int, Plain, ItemIn1, TextIn1) \
  X(4260, GetFirstArtist, Int, Plain, TextOut1) \
  X(4270, GetNextArtist, Int, Plain, TextOut1) \
  X(4280, GetFirstAlbum, Int, Plain, TextOut1, TextIn2) \
  X(4290, GetNextAlbum, Int, Plain, TextOut1) \
  X(4300, GetFirstGenre, Int, Plain, TextOut1) \
  X(4310, GetNextGenre, Int, Plain, TextOut1) \
  X(4320, SupportsSearch, Int, Capability) \
  X(4330, QueryFirst, Int, Plain, TextIn1, ItemOut1) \
  X(4340, QueryNext, Int, Plain, ItemOut1) \
  X(4350, FindTrackByContentId, Int, Plain, TextIn1, ItemOut1) \
  X(5010, SupportsTransfers, Int, Capability) \
  X(5020, SetProgressWindow, None, Plain, WindowIn) \
  X(5030, AddNotifyWindow, None, Plain, WindowIn) \
  X(5040, UploadTrack, Int, Plain, TextIn1, TrackIn, ItemOut1) \
  X(5050, UploadDataFile, Int, Plain, TextIn1, ItemIn1, ItemOut2) \
  X(5060, DownloadTrack, Int, Plain, ItemIn1, TextIn1, IntIn1) \
  X(5070, DownloadDataFile, Int, Plain, ItemIn1, TextIn1) \
  X(5080, IsDownloadRunning, Int, Plain) \
  X(5090, IsUploadRunning, Int, Plain) \
  X(5100, CancelTransfer, None, Plain) \
  X(5110, GetModelCode, Text, Plain, ItemIn1) \
  X(5120, SupportsTransferFlag2, Int, Capability) \
  X(5130, SupportsCopyToComputer, Int, Capability) \
  X(6010, SupportsAudio, Int, Capability) \
  X(6020, GetFirstAudioTrack, Int, Plain, ItemOut1) \
  X(6030, GetNextAudioTrack, Int, Plain, ItemOut1) \
  X(6040, GetAudioFilesSize, Int, Plain) \
  X(6050, DeleteAudioTrack, Int, Plain, ItemIn1) \
  X(6060, GetTrackFileName, Text, Plain, ItemIn1) \
  X(6070, TrackExists, Int, Plain, ItemIn1) \
  X(6080, GetFirstAudioTrackInfo, Int, Plain, ItemOut1, TrackOut) \
  X(6090, GetNextAudioTrackInfo, Int, Plain, ItemOut1, TrackOut) \
  X(7010, SupportsDataFiles, Int, Capability) \
  X(7011, SupportsDataFlag2, Int, Capability) \
  X(7015, GetDataRootFolder, Int, Plain, ItemOut1) \
  X(7020, GetFirstDataItem, Int, Plain, ItemIn1, ItemOut2) \
  X(7030, GetNextDataItem, Int, Plain, ItemIn1, ItemOut2) \
  X(7040, GetDataFilesSize, Int, Plain) \
  X(7050, DeleteDataFile, Int, Plain, ItemIn1) \
  X(7170, GetDataFileCount, Int, Plain) \
  X(7060, GetDataItemName, Text, Plain, ItemIn1) \
  X(7070, GetDataFileSize, Int, Plain, ItemIn1) \
  X(7080, IsDataFolder, Int, Plain, ItemIn1) \
  X(7090, CreateDataFolder, Int, Plain, TextIn1, ItemIn1, ItemOut2) \
  X(7100, GetDataItemModifiedTime, Int, Plain, ItemIn1) \
  X(7110, GetDataItemAttributes, Int, Plain, ItemIn1) \
  X(7120, DeleteDataFolder, Int, Plain, ItemIn1) \
  X(7130, RenameDataFile, Int, Plain, ItemIn1, TextIn1) \
  X(7140, RenameDataFolder, Int, Plain, ItemIn1, TextIn1) \
  X(7150, MoveDataItem, Int, Plain, ItemIn1, ItemIn2) \
  X(7160, GetDataItemParent, Int, Plain, ItemIn1, ItemOut2) \
  X(7180, HasDataFilesStatus, Int, Plain) \
  X(7190, GetDataFilesStatus, Text, Plain) \
  X(8010, SupportsPlaylists, Int, Capability) \
  X(8020, GetFirstPlaylist, Int, Plain, ItemOut1) \
  X(8030, GetNextPlaylist, Int, Plain, ItemOut1) \
  X(8040, CreatePlaylist, Int, Plain, TextIn1, ItemOut1) \
  X(8050, DeletePlaylist, Int, Plain, ItemIn1) \
  X(8060, GetFirstPlaylistItem, Int, Plain, ItemIn1, ItemOut2) \
  X(8070, GetNextPlaylistItem, Int, Plain, ItemIn1, ItemOut2) \
  X(8080, GetPlaylistName, Text, Plain, ItemIn1) \
  X(8090, RenamePlaylist, Int, Plain, ItemIn1, TextIn1) \
  X(8100, AddPendingToPlaylist, Int, Plain, ItemIn1) \
  X(8110, RemovePendingFromPlaylist, Int, Plain, ItemIn1) \
  X(8120, MovePlaylistItem, Int, Plain, ItemIn1, IntIn1, IntIn2) \
  X(8130, ShufflePlaylist, Int, Plain, ItemIn1) \
  X(8140, SortPlaylist, Int, Plain, ItemIn1, IntIn1) \
  X(8150, GetTrackPlaylistCount, Int, Plain, ItemIn1) \
  X(8160, GetTrackPlaylistNames, Text, Plain, ItemIn1) \
  X(8170, GetRulePlaylistFolder, Text, Plain) \
  X(9010, SupportsPlayback, Int, Capability) \
  X(9020, GetVolume, Int, Plain) \
  X(9030, SetVolume, Int, Plain, IntIn1) \
  X(9050, SetMute, Int, Plain, IntIn1) \
  X(9040, IsMuted, Int, Plain) \
  X(9060, ShowAdvancedSoundSettings, None, Plain) \
  X(9070, PlayTrack, Int, Plain, ItemIn1) \
  X(9080, StopPlayback, Int, Plain) \
  X(9090, IsPaused, Int, Plain) \
  X(9100, SetPaused, Int, Plain, IntIn1) \
  X(9110, GetFirstQueueEntry, Int, Plain, ItemOut1) \
  X(9120, GetNextQueueEntry, Int, Plain, ItemOut1) \
  X(9130, EnqueueTrack, Int, Plain, ItemIn1) \
  X(9140, RemoveFromQueue, Int, Plain, ItemIn1) \
  X(9150, ClearQueue, Int, Plain) \
  X(9160, ShuffleQueue, Int, Plain) \
  X(9170, MoveQueueEntry, Int, Plain, IntIn1, IntIn2) \
  X(9180, GetQueuePosition, Int, Plain) \
  X(9200, SetQueuePositionToTrack, Int, Plain, ItemIn1) \
  X(9190, SetQueuePosition, Int, Plain, IntIn1) \
  X(9210, PlayQueueCurrent, Int, Plain) \
  X(9220, PlayNextInQueue, Int, Plain) \
  X(9230, PlayPreviousInQueue, Int, Plain) \
  X(10010, SupportsFMPresets, Int, Capability) \
  X(10020, Op10020, Int, Plain, ItemIn1) \
  X(10030, Op10030, Int, Plain, IntIn1) \
  X(10040, Op10040, Int, Plain, ItemIn1) \
  X(10050, GetFirstFMPreset, Int, Plain, ItemOut1) \
  X(10060, GetNextFMPreset, Int, Plain, ItemOut1) \
  X(10070, GetFMPresetFrequency, Int, Plain, ItemIn1) \
  X(10080, Op10080, Int, Plain, ItemIn1, IntIn1) \
  X(11010, SupportsNotes, Int, Capability) \
  X(11100, GetNotesRootFolder, Int, Plain, ItemOut1) \
  X(11110, GetFirstNote, Int, Plain, ItemIn1, ItemOut2) \
  X(11120, GetNextNote, Int, Plain, ItemIn1, ItemOut2) \
  X(11130, GetNoteName, Text, Plain, ItemIn1) \
  X(11140, Op11140, Int, Plain, ItemIn1) \
  X(11150, CreateNote, Int, Plain, TextIn1, ItemIn1, ItemOut2) \
  X(11160, DeleteNote, Int, Plain, ItemIn1) \
  X(11170, Op11170, Int, Plain, ItemIn1, TextIn1) \
  X(11180, IsNoteFolder, Int, Plain, ItemIn1) \
  X(11190, CreateNoteFolder, Int, Plain, TextIn1, ItemIn1, ItemOut2) \
  X(11200, DeleteNoteFolder, Int, Plain, ItemIn1) \
  X(11210, GetNoteText, Note, Plain, ItemIn1) \
  X(11220, SetNoteText, Int, Plain, ItemIn1, NoteIn) \
  X(12010, SupportsContacts, Int, Capability) \
  X(12100, GetContactsRootFolder, Int, Plain, ItemOut1) \
  X(12110, GetFirstContact, Int, Plain, ItemIn1, ItemOut2) \
  X(12120, GetNextContact, Int, Plain, ItemIn1, ItemOut2) \
  X(12130, GetContactName, Text, Plain, ItemIn1) \
  X(12140, Op12140, Int, Plain, ItemIn1) \
  X(12150, CreateContact, Int, Plain, TextIn1, ContactIn, ItemIn1, ItemOut2) \
  X(12160, DeleteContact, Int, Plain, ItemIn1) \
  X(12170, Op12170, Int, Plain, ItemIn1, TextIn1) \
  X(12180, IsContactFolder, Int, Plain, ItemIn1) \
  X(12190, CreateContactFolder, Int, Plain, TextIn1, ItemIn1, ItemOut2) \
  X(12200, DeleteContactFolder, Int, Plain, ItemIn1) \
  X(12210, GetContactRecord, Int, Plain, ItemIn1, ContactOut) \
  X(12220, SetContactRecord, Int, Plain, ItemIn1, ContactIn) \
  X(13010, SupportsGroup13000, Int, Capability)
// clang-format on

// Operation codes by name: DeviceOp::GetTrackInfo == 4040.
enum class DeviceOp : int {
#define DEVOP_ENUM_ROW(code, Name, ...) Name = code,
  KERNEL_DEVICE_OPERATIONS(DEVOP_ENUM_ROW)
#undef DEVOP_ENUM_ROW
};

constexpr int OpCode(DeviceOp op) { return static_cast<int>(op); }

// The method name of an operation code ("GetTrackInfo"), or nullptr for a code that is
// not in the table.
const char* DeviceOpName(int opcode);

// ---------------------------------------------------------------------------------------
// Helpers for code generated from the table. For a row's fields F...:
//   DEVOP_TYPES(F...)       ", ::devop::F1, ::devop::F2"   (empty for no fields)
//   DEVOP_PARAMS(F...)      "::devop::F1::Param p0, ::devop::F2::Param p1"
//   DEVOP_ARGS(F...)        "p0, p1"
//   DEVOP_COMMA_ARGS(F...)  ", p0, p1"
//   DEVOP_ROW(code, R, Flow, F...)   the row as a type, ::devop::Row<...>
#define DEVOP_CAT(a, b) DEVOP_CAT_I(a, b)
#define DEVOP_CAT_I(a, b) a##b
#define DEVOP_COUNT(...) DEVOP_COUNT_I(__VA_OPT__(__VA_ARGS__, ) 6, 5, 4, 3, 2, 1, 0)
#define DEVOP_COUNT_I(a1, a2, a3, a4, a5, a6, n, ...) n

#define DEVOP_TYPES(...) DEVOP_CAT(DEVOP_TYPES_, DEVOP_COUNT(__VA_ARGS__))(__VA_ARGS__)
#define DEVOP_TYPES_0()
#define DEVOP_TYPES_1(a) , ::devop::a
#define DEVOP_TYPES_2(a, b) DEVOP_TYPES_1(a), ::devop::b
#define DEVOP_TYPES_3(a, b, c) DEVOP_TYPES_2(a, b), ::devop::c
#define DEVOP_TYPES_4(a, b, c, d) DEVOP_TYPES_3(a, b, c), ::devop::d
#define DEVOP_TYPES_5(a, b, c, d, e) DEVOP_TYPES_4(a, b, c, d), ::devop::e
#define DEVOP_TYPES_6(a, b, c, d, e, f) DEVOP_TYPES_5(a, b, c, d, e), ::devop::f

#define DEVOP_PARAMS(...) DEVOP_CAT(DEVOP_PARAMS_, DEVOP_COUNT(__VA_ARGS__))(__VA_ARGS__)
#define DEVOP_PARAMS_0()
#define DEVOP_PARAMS_1(a) ::devop::a::Param p0
#define DEVOP_PARAMS_2(a, b) DEVOP_PARAMS_1(a), ::devop::b::Param p1
#define DEVOP_PARAMS_3(a, b, c) DEVOP_PARAMS_2(a, b), ::devop::c::Param p2
#define DEVOP_PARAMS_4(a, b, c, d) DEVOP_PARAMS_3(a, b, c), ::devop::d::Param p3
#define DEVOP_PARAMS_5(a, b, c, d, e) DEVOP_PARAMS_4(a, b, c, d), ::devop::e::Param p4
#define DEVOP_PARAMS_6(a, b, c, d, e, f) DEVOP_PARAMS_5(a, b, c, d, e), ::devop::f::Param p5

#define DEVOP_ARGS(...) DEVOP_CAT(DEVOP_ARGS_, DEVOP_COUNT(__VA_ARGS__))
#define DEVOP_ARGS_0
#define DEVOP_ARGS_1 p0
#define DEVOP_ARGS_2 p0, p1
#define DEVOP_ARGS_3 p0, p1, p2
#define DEVOP_ARGS_4 p0, p1, p2, p3
#define DEVOP_ARGS_5 p0, p1, p2, p3, p4
#define DEVOP_ARGS_6 p0, p1, p2, p3, p4, p5

#define DEVOP_COMMA_ARGS(...) __VA_OPT__(, DEVOP_ARGS(__VA_ARGS__))

#define DEVOP_ROW(code, R, Flow, ...) \
  ::devop::Row<code, ::devop::R, ::devop::Flow DEVOP_TYPES(__VA_ARGS__)>

namespace devop {

// Block fields as operation arguments. Arg: the argument the dispatcher passes, straight
// from the block. Put: the proxy writes the caller's argument into the block. Take: the
// proxy copies what the operation left back to the caller.

template <KernelId DeviceRequestBlock::*F>
struct ItemInField {
  using Param = const KernelId&;
  static Param Arg(DeviceRequestBlock& b) { return b.*F; }
  static void Put(DeviceRequestBlock& b, Param v) { b.*F = v; }
  static void Take(const DeviceRequestBlock&, Param) {}
};

template <KernelId DeviceRequestBlock::*F>
struct ItemOutField {
  using Param = KernelId&;
  static Param Arg(DeviceRequestBlock& b) { return b.*F; }
  static void Put(DeviceRequestBlock& b, Param v) { b.*F = v; }
  static void Take(const DeviceRequestBlock& b, Param v) { v = b.*F; }
};

template <FixedString256 DeviceRequestBlock::*F>
struct TextInField {
  using Param = std::string_view;
  static Param Arg(DeviceRequestBlock& b) { return (b.*F).GetText(); }
  static void Put(DeviceRequestBlock& b, Param v) { (b.*F).Set(v); }
  static void Take(const DeviceRequestBlock&, Param) {}
};

template <FixedString256 DeviceRequestBlock::*F>
struct TextOutField {
  using Param = FixedString256&;
  static Param Arg(DeviceRequestBlock& b) { return b.*F; }
  static void Put(DeviceRequestBlock& b, Param v) { b.*F = v; }
  static void Take(const DeviceRequestBlock& b, Param v) { v = b.*F; }
};

template <std::int32_t DeviceRequestBlock::*F>
struct IntInField {
  using Param = int;
  static Param Arg(DeviceRequestBlock& b) { return b.*F; }
  static void Put(DeviceRequestBlock& b, Param v) { b.*F = v; }
  static void Take(const DeviceRequestBlock&, Param) {}
};

using ItemIn1 = ItemInField<&DeviceRequestBlock::itemArg1>;
using ItemIn2 = ItemInField<&DeviceRequestBlock::itemArg2>;
using ItemOut1 = ItemOutField<&DeviceRequestBlock::itemArg1>;
using ItemOut2 = ItemOutField<&DeviceRequestBlock::itemArg2>;
using TextIn1 = TextInField<&DeviceRequestBlock::textArg1>;
using TextIn2 = TextInField<&DeviceRequestBlock::textArg2>;
using TextIn3 = TextInField<&DeviceRequestBlock::textArg3>;
using TextOut1 = TextOutField<&DeviceRequestBlock::textArg1>;
using TextOut2 = TextOutField<&DeviceRequestBlock::textArg2>;
using IntIn1 = IntInField<&DeviceRequestBlock::intArg1>;
using IntIn2 = IntInField<&DeviceRequestBlock::intArg2>;

struct WindowIn {
  using Param = platform::HWND;
  static Param Arg(DeviceRequestBlock& b) { return b.windowArg; }
  static void Put(DeviceRequestBlock& b, Param v) { b.windowArg = v; }
  static void Take(const DeviceRequestBlock&, Param) {}
};

struct TrackIn {
  using Param = const TrackRecord&;
  static Param Arg(DeviceRequestBlock& b) { return b.trackArg; }
  static void Put(DeviceRequestBlock& b, Param v) { TrackRecord::Copy(b.trackArg, v); }
  static void Take(const DeviceRequestBlock&, Param) {}
};

struct TrackOut {
  using Param = TrackRecord&;
  static Param Arg(DeviceRequestBlock& b) { return b.trackArg; }
  static void Put(DeviceRequestBlock& b, Param v) { TrackRecord::Copy(b.trackArg, v); }
  static void Take(const DeviceRequestBlock& b, Param v) { TrackRecord::Copy(v, b.trackArg); }
};

struct ContactIn {
  using Param = const ContactRecord&;
  static Param Arg(DeviceRequestBlock& b) { return b.contactArg; }
  static void Put(DeviceRequestBlock& b, Param v) { b.contactArg = v; }
  static void Take(const DeviceRequestBlock&, Param) {}
};

struct ContactOut {
  using Param = ContactRecord&;
  static Param Arg(DeviceRequestBlock& b) { return b.contactArg; }
  static void Put(DeviceRequestBlock& b, Param v) { b.contactArg = v; }
  static void Take(const DeviceRequestBlock& b, Param v) { v = b.contactArg; }
};

// The note body: writes are cut to 4099 bytes on a character boundary and the rest of
// the field is zeroed; reads stop at the NUL or at the end of the field.
inline std::string_view ReadNoteText(const DeviceRequestBlock& b) {
  return platform::ReadField(b.noteText, DeviceRequestBlock::kNoteTextSize);
}
inline void WriteNoteText(DeviceRequestBlock& b, std::string_view text) {
  const std::size_t n = platform::Utf8PrefixLength(text, DeviceRequestBlock::kNoteTextSize - 1);
  if (n != 0) std::memmove(b.noteText, text.data(), n);
  std::memset(b.noteText + n, 0, DeviceRequestBlock::kNoteTextSize - n);
}

struct NoteIn {
  using Param = std::string_view;
  static Param Arg(DeviceRequestBlock& b) { return ReadNoteText(b); }
  static void Put(DeviceRequestBlock& b, Param v) { WriteNoteText(b, v); }
  static void Take(const DeviceRequestBlock&, Param) {}
};

// What the dispatcher collects from one operation before writing it to the block.
struct Reply {
  int intResult = 0;
  std::string textResult;
};

// Result kinds. Before: runs ahead of the operation in the dispatcher. Store: the
// dispatcher keeps the returned value. Load: the proxy reads the result from the block.
struct Int {
  using Type = int;
  static void Before(DeviceRequestBlock&) {}
  static void Store(DeviceRequestBlock&, Reply& r, int v) { r.intResult = v; }
  static int Load(const DeviceRequestBlock& b) { return b.intResult; }
};
struct Text {
  using Type = std::string;
  static void Before(DeviceRequestBlock&) {}
  static void Store(DeviceRequestBlock&, Reply& r, std::string v) { r.textResult = std::move(v); }
  static std::string Load(const DeviceRequestBlock& b) { return b.textResult.Str(); }
};
struct None {
  using Type = void;
  static void Before(DeviceRequestBlock&) {}
  static void Load(const DeviceRequestBlock&) {}
};
struct Note {
  using Type = std::string;
  static void Before(DeviceRequestBlock& b) { std::memset(b.noteText, 0, sizeof(b.noteText)); }
  static void Store(DeviceRequestBlock& b, Reply&, const std::string& v) { WriteNoteText(b, v); }
  static std::string Load(const DeviceRequestBlock& b) { return std::string(ReadNoteText(b)); }
};

// Flows: what the proxy does once the manager has answered.
struct Plain {
  static constexpr bool kRaisesErrors = true;
  static constexpr bool kCapability = false;
};
struct Quiet {
  static constexpr bool kRaisesErrors = false;
  static constexpr bool kCapability = false;
};
struct Capability {
  static constexpr bool kRaisesErrors = false;
  static constexpr bool kCapability = true;
};

// One row of the table as a type.
template <int Code, class R, class FlowT, class... F>
struct Row {
  static constexpr int kOpcode = Code;
  using Result = R;
  using Flow = FlowT;

  // Dispatcher side: calls `method` on `device` with the arguments taken from the block
  // and keeps its result. The member pointer's type must match the row exactly.
  template <class D>
  static void Invoke(D& device, typename R::Type (D::*method)(typename F::Param...),
                     DeviceRequestBlock& block, Reply& reply) {
    R::Before(block);
    if constexpr (std::is_void_v<typename R::Type>) {
      (device.*method)(F::Arg(block)...);
    } else {
      R::Store(block, reply, (device.*method)(F::Arg(block)...));
    }
  }

  // Proxy side: writes the arguments, runs `exchange` (which sends the request and waits
  // for the answer), copies the out fields back and returns the result.
  template <class Exchange>
  static typename R::Type Forward(DeviceRequestBlock& block, Exchange&& exchange,
                                  typename F::Param... args) {
    (F::Put(block, args), ...);
    exchange();
    (F::Take(block, args), ...);
    return R::Load(block);
  }
};

}  // namespace devop
