// The operation table of the device interface, written once.
//
// KERNEL_DEVICE_OPERATIONS(X) calls X once per operation that has an operation code, and
// DEVOP_ROW_<Name>(X) for the one operation Name:
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
// signature matches its row), the proxy's forwarding methods, and every device class's
// declarations of the operations it implements (DEVOP_OVERRIDE(Name), below). A
// forwarding method is generated like this:
//
//   #define X(code, Name, R, Flow, ...)  (one line each, joined with backslashes)
//     ::device::devop::R::Type Name(DEVOP_PARAMS(__VA_ARGS__)) override {
//       return DEVOP_ROW(code, R, Flow, __VA_ARGS__)::Forward(
//           *block, [&] { Exchange(code, ::device::devop::Flow{}); } DEVOP_COMMA_ARGS(__VA_ARGS__));
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

namespace device {

// clang-format off
#define DEVOP_ROW_GetHostVersion(X) X(500, GetHostVersion, Text, Quiet)
#define DEVOP_ROW_ShowSdkVersion(X) X(1010, ShowSdkVersion, None, Plain)
#define DEVOP_ROW_VerifyDeviceModel(X) X(2000, VerifyDeviceModel, Int, Quiet, ItemIn1, TextOut1, TextOut2)
#define DEVOP_ROW_Connect(X) X(2010, Connect, None, Quiet)
#define DEVOP_ROW_Disconnect(X) X(2020, Disconnect, None, Quiet)
#define DEVOP_ROW_IsConnected(X) X(2030, IsConnected, Int, Quiet)
#define DEVOP_ROW_Op2040(X) X(2040, Op2040, None, Quiet)
#define DEVOP_ROW_GetModelName(X) X(2060, GetModelName, Text, Quiet)
#define DEVOP_ROW_GetHardwareVersion(X) X(2070, GetHardwareVersion, Text, Plain)
#define DEVOP_ROW_GetFirmwareVersion(X) X(2080, GetFirmwareVersion, Text, Plain)
#define DEVOP_ROW_GetDriverVersion(X) X(2085, GetDriverVersion, Text, Plain)
#define DEVOP_ROW_GetDeviceUniqueId(X) X(2090, GetDeviceUniqueId, Text, Quiet)
#define DEVOP_ROW_GetOwnerName(X) X(2100, GetOwnerName, Text, Plain)
#define DEVOP_ROW_SetOwnerName(X) X(2110, SetOwnerName, Int, Plain, TextIn1)
#define DEVOP_ROW_Op2120(X) X(2120, Op2120, Int, Plain)
#define DEVOP_ROW_TryLockDevice(X) X(2140, TryLockDevice, Int, Plain, IntIn1)
#define DEVOP_ROW_UnlockDevice(X) X(2150, UnlockDevice, Int, Plain)
#define DEVOP_ROW_ClearPendingIds(X) X(2160, ClearPendingIds, Int, Plain)
#define DEVOP_ROW_AddPendingId(X) X(2170, AddPendingId, Int, Plain, ItemIn1)
#define DEVOP_ROW_GetDeviceTime(X) X(2180, GetDeviceTime, Int, Plain)
#define DEVOP_ROW_SetDeviceTime(X) X(2190, SetDeviceTime, Int, Plain, IntIn1)
#define DEVOP_ROW_HasClock(X) X(2200, HasClock, Int, Plain)
#define DEVOP_ROW_CommitChanges(X) X(2300, CommitChanges, Int, Plain)
#define DEVOP_ROW_IsAutoConnect(X) X(2310, IsAutoConnect, Int, Plain)
#define DEVOP_ROW_SupportsEject(X) X(2320, SupportsEject, Int, Plain)
#define DEVOP_ROW_Op2330(X) X(2330, Op2330, Int, Plain)
#define DEVOP_ROW_UsesTrackDatabase(X) X(2400, UsesTrackDatabase, Int, Plain)
#define DEVOP_ROW_RunSetupWizard(X) X(2410, RunSetupWizard, Int, Plain, IntIn1)
#define DEVOP_ROW_SupportsStorageList(X) X(3010, SupportsStorageList, Int, Capability)
#define DEVOP_ROW_GetFirstStorage(X) X(3020, GetFirstStorage, Int, Plain, ItemOut1)
#define DEVOP_ROW_GetNextStorage(X) X(3030, GetNextStorage, Int, Plain, ItemOut1)
#define DEVOP_ROW_GetStorageName(X) X(3040, GetStorageName, Text, Plain, ItemIn1)
#define DEVOP_ROW_SelectStorage(X) X(3050, SelectStorage, Int, Plain, ItemIn1)
#define DEVOP_ROW_SupportsStorageFlag2(X) X(3060, SupportsStorageFlag2, Int, Capability)
#define DEVOP_ROW_RefreshStorage(X) X(3070, RefreshStorage, Int, Plain)
#define DEVOP_ROW_RecoverMissingTracks(X) X(3080, RecoverMissingTracks, Int, Plain)
#define DEVOP_ROW_GetTotalSpaceKB(X) X(3090, GetTotalSpaceKB, Int, Plain)
#define DEVOP_ROW_GetFreeSpaceKB(X) X(3100, GetFreeSpaceKB, Int, Plain)
#define DEVOP_ROW_SupportsTrackReorder(X) X(3110, SupportsTrackReorder, Int, Capability)
#define DEVOP_ROW_Op3120(X) X(3120, Op3120, Int, Plain, IntIn1, IntIn2)
#define DEVOP_ROW_GetStorageTotalKB(X) X(3130, GetStorageTotalKB, Int, Plain, ItemIn1)
#define DEVOP_ROW_GetStorageFreeKB(X) X(3140, GetStorageFreeKB, Int, Plain, ItemIn1)
#define DEVOP_ROW_GetStorageUsedKB(X) X(3150, GetStorageUsedKB, Int, Plain, ItemIn1)
#define DEVOP_ROW_StorageHasItems(X) X(3160, StorageHasItems, Int, Plain, ItemIn1)
#define DEVOP_ROW_Op3170(X) X(3170, Op3170, Int, Plain)
#define DEVOP_ROW_SupportsTagIndex(X) X(4010, SupportsTagIndex, Int, Capability)
#define DEVOP_ROW_GetFirstTrackByTags(X) X(4020, GetFirstTrackByTags, Int, Plain, ItemOut1, TextIn1, TextIn2, TextIn3)
#define DEVOP_ROW_GetNextTrackByTags(X) X(4030, GetNextTrackByTags, Int, Plain, ItemOut1)
#define DEVOP_ROW_GetTrackInfo(X) X(4040, GetTrackInfo, Int, Plain, ItemIn1, TrackOut)
#define DEVOP_ROW_SetTrackInfo(X) X(4050, SetTrackInfo, Int, Plain, ItemIn1, TrackIn)
#define DEVOP_ROW_GetFileTrackInfo(X) X(4055, GetFileTrackInfo, Int, Plain, TextIn1, TrackOut)
#define DEVOP_ROW_GetTrackSize(X) X(4060, GetTrackSize, Int, Plain, ItemIn1)
#define DEVOP_ROW_GetTrackArtist(X) X(4070, GetTrackArtist, Text, Plain, ItemIn1)
#define DEVOP_ROW_GetTrackAlbum(X) X(4080, GetTrackAlbum, Text, Plain, ItemIn1)
#define DEVOP_ROW_GetTrackNumber(X) X(4090, GetTrackNumber, Int, Plain, ItemIn1)
#define DEVOP_ROW_GetTrackTitle(X) X(4100, GetTrackTitle, Text, Plain, ItemIn1)
#define DEVOP_ROW_GetTrackCodec(X) X(4110, GetTrackCodec, Int, Plain, ItemIn1)
#define DEVOP_ROW_GetTrackLength(X) X(4120, GetTrackLength, Int, Plain, ItemIn1)
#define DEVOP_ROW_GetTrackBitrate(X) X(4130, GetTrackBitrate, Int, Plain, ItemIn1)
#define DEVOP_ROW_GetTrackYear(X) X(4140, GetTrackYear, Int, Plain, ItemIn1)
#define DEVOP_ROW_GetTrackGenre(X) X(4150, GetTrackGenre, Text, Plain, ItemIn1)
#define DEVOP_ROW_GetTrackComment(X) X(4160, GetTrackComment, Text, Plain, ItemIn1)
#define DEVOP_ROW_IsTrackLocked(X) X(4170, IsTrackLocked, Int, Plain, ItemIn1)
#define DEVOP_ROW_GetDefaultFileName(X) X(4180, GetDefaultFileName, Text, Plain, ItemIn1)
#define DEVOP_ROW_SetTrackArtist(X) X(4190, SetTrackArtist, Int, Plain, ItemIn1, TextIn1)
#define DEVOP_ROW_SetTrackAlbum(X) X(4200, SetTrackAlbum, Int, Plain, ItemIn1, TextIn1)
#define DEVOP_ROW_SetTrackNumber(X) X(4210, SetTrackNumber, Int, Plain, ItemIn1, IntIn1)
#define DEVOP_ROW_SetTrackTitle(X) X(4220, SetTrackTitle, Int, Plain, ItemIn1, TextIn1)
#define DEVOP_ROW_SetTrackYear(X) X(4230, SetTrackYear, Int, Plain, ItemIn1, IntIn1)
#define DEVOP_ROW_SetTrackGenre(X) X(4240, SetTrackGenre, Int, Plain, ItemIn1, TextIn1)
#define DEVOP_ROW_SetTrackComment(X) X(4250, SetTrackComment, Int, Plain, ItemIn1, TextIn1)
#define DEVOP_ROW_GetFirstArtist(X) X(4260, GetFirstArtist, Int, Plain, TextOut1)
#define DEVOP_ROW_GetNextArtist(X) X(4270, GetNextArtist, Int, Plain, TextOut1)
#define DEVOP_ROW_GetFirstAlbum(X) X(4280, GetFirstAlbum, Int, Plain, TextOut1, TextIn2)
#define DEVOP_ROW_GetNextAlbum(X) X(4290, GetNextAlbum, Int, Plain, TextOut1)
#define DEVOP_ROW_GetFirstGenre(X) X(4300, GetFirstGenre, Int, Plain, TextOut1)
#define DEVOP_ROW_GetNextGenre(X) X(4310, GetNextGenre, Int, Plain, TextOut1)
#define DEVOP_ROW_SupportsSearch(X) X(4320, SupportsSearch, Int, Capability)
#define DEVOP_ROW_QueryFirst(X) X(4330, QueryFirst, Int, Plain, TextIn1, ItemOut1)
#define DEVOP_ROW_QueryNext(X) X(4340, QueryNext, Int, Plain, ItemOut1)
#define DEVOP_ROW_FindTrackByContentId(X) X(4350, FindTrackByContentId, Int, Plain, TextIn1, ItemOut1)
#define DEVOP_ROW_SupportsTransfers(X) X(5010, SupportsTransfers, Int, Capability)
#define DEVOP_ROW_SetProgressWindow(X) X(5020, SetProgressWindow, None, Plain, WindowIn)
#define DEVOP_ROW_AddNotifyWindow(X) X(5030, AddNotifyWindow, None, Plain, WindowIn)
#define DEVOP_ROW_UploadTrack(X) X(5040, UploadTrack, Int, Plain, TextIn1, TrackIn, ItemOut1)
#define DEVOP_ROW_UploadDataFile(X) X(5050, UploadDataFile, Int, Plain, TextIn1, ItemIn1, ItemOut2)
#define DEVOP_ROW_DownloadTrack(X) X(5060, DownloadTrack, Int, Plain, ItemIn1, TextIn1, IntIn1)
#define DEVOP_ROW_DownloadDataFile(X) X(5070, DownloadDataFile, Int, Plain, ItemIn1, TextIn1)
#define DEVOP_ROW_IsDownloadRunning(X) X(5080, IsDownloadRunning, Int, Plain)
#define DEVOP_ROW_IsUploadRunning(X) X(5090, IsUploadRunning, Int, Plain)
#define DEVOP_ROW_CancelTransfer(X) X(5100, CancelTransfer, None, Plain)
#define DEVOP_ROW_GetModelCode(X) X(5110, GetModelCode, Text, Plain, ItemIn1)
#define DEVOP_ROW_SupportsTransferFlag2(X) X(5120, SupportsTransferFlag2, Int, Capability)
#define DEVOP_ROW_SupportsCopyToComputer(X) X(5130, SupportsCopyToComputer, Int, Capability)
#define DEVOP_ROW_SupportsAudio(X) X(6010, SupportsAudio, Int, Capability)
#define DEVOP_ROW_GetFirstAudioTrack(X) X(6020, GetFirstAudioTrack, Int, Plain, ItemOut1)
#define DEVOP_ROW_GetNextAudioTrack(X) X(6030, GetNextAudioTrack, Int, Plain, ItemOut1)
#define DEVOP_ROW_GetAudioFilesSize(X) X(6040, GetAudioFilesSize, Int, Plain)
#define DEVOP_ROW_DeleteAudioTrack(X) X(6050, DeleteAudioTrack, Int, Plain, ItemIn1)
#define DEVOP_ROW_GetTrackFileName(X) X(6060, GetTrackFileName, Text, Plain, ItemIn1)
#define DEVOP_ROW_TrackExists(X) X(6070, TrackExists, Int, Plain, ItemIn1)
#define DEVOP_ROW_GetFirstAudioTrackInfo(X) X(6080, GetFirstAudioTrackInfo, Int, Plain, ItemOut1, TrackOut)
#define DEVOP_ROW_GetNextAudioTrackInfo(X) X(6090, GetNextAudioTrackInfo, Int, Plain, ItemOut1, TrackOut)
#define DEVOP_ROW_SupportsDataFiles(X) X(7010, SupportsDataFiles, Int, Capability)
#define DEVOP_ROW_SupportsDataFlag2(X) X(7011, SupportsDataFlag2, Int, Capability)
#define DEVOP_ROW_GetDataRootFolder(X) X(7015, GetDataRootFolder, Int, Plain, ItemOut1)
#define DEVOP_ROW_GetFirstDataItem(X) X(7020, GetFirstDataItem, Int, Plain, ItemIn1, ItemOut2)
#define DEVOP_ROW_GetNextDataItem(X) X(7030, GetNextDataItem, Int, Plain, ItemIn1, ItemOut2)
#define DEVOP_ROW_GetDataFilesSize(X) X(7040, GetDataFilesSize, Int, Plain)
#define DEVOP_ROW_DeleteDataFile(X) X(7050, DeleteDataFile, Int, Plain, ItemIn1)
#define DEVOP_ROW_GetDataFileCount(X) X(7170, GetDataFileCount, Int, Plain)
#define DEVOP_ROW_GetDataItemName(X) X(7060, GetDataItemName, Text, Plain, ItemIn1)
#define DEVOP_ROW_GetDataFileSize(X) X(7070, GetDataFileSize, Int, Plain, ItemIn1)
#define DEVOP_ROW_IsDataFolder(X) X(7080, IsDataFolder, Int, Plain, ItemIn1)
#define DEVOP_ROW_CreateDataFolder(X) X(7090, CreateDataFolder, Int, Plain, TextIn1, ItemIn1, ItemOut2)
#define DEVOP_ROW_GetDataItemModifiedTime(X) X(7100, GetDataItemModifiedTime, Int, Plain, ItemIn1)
#define DEVOP_ROW_GetDataItemAttributes(X) X(7110, GetDataItemAttributes, Int, Plain, ItemIn1)
#define DEVOP_ROW_DeleteDataFolder(X) X(7120, DeleteDataFolder, Int, Plain, ItemIn1)
#define DEVOP_ROW_RenameDataFile(X) X(7130, RenameDataFile, Int, Plain, ItemIn1, TextIn1)
#define DEVOP_ROW_RenameDataFolder(X) X(7140, RenameDataFolder, Int, Plain, ItemIn1, TextIn1)
#define DEVOP_ROW_MoveDataItem(X) X(7150, MoveDataItem, Int, Plain, ItemIn1, ItemIn2)
#define DEVOP_ROW_GetDataItemParent(X) X(7160, GetDataItemParent, Int, Plain, ItemIn1, ItemOut2)
#define DEVOP_ROW_HasDataFilesStatus(X) X(7180, HasDataFilesStatus, Int, Plain)
#define DEVOP_ROW_GetDataFilesStatus(X) X(7190, GetDataFilesStatus, Text, Plain)
#define DEVOP_ROW_SupportsPlaylists(X) X(8010, SupportsPlaylists, Int, Capability)
#define DEVOP_ROW_GetFirstPlaylist(X) X(8020, GetFirstPlaylist, Int, Plain, ItemOut1)
#define DEVOP_ROW_GetNextPlaylist(X) X(8030, GetNextPlaylist, Int, Plain, ItemOut1)
#define DEVOP_ROW_CreatePlaylist(X) X(8040, CreatePlaylist, Int, Plain, TextIn1, ItemOut1)
#define DEVOP_ROW_DeletePlaylist(X) X(8050, DeletePlaylist, Int, Plain, ItemIn1)
#define DEVOP_ROW_GetFirstPlaylistItem(X) X(8060, GetFirstPlaylistItem, Int, Plain, ItemIn1, ItemOut2)
#define DEVOP_ROW_GetNextPlaylistItem(X) X(8070, GetNextPlaylistItem, Int, Plain, ItemIn1, ItemOut2)
#define DEVOP_ROW_GetPlaylistName(X) X(8080, GetPlaylistName, Text, Plain, ItemIn1)
#define DEVOP_ROW_RenamePlaylist(X) X(8090, RenamePlaylist, Int, Plain, ItemIn1, TextIn1)
#define DEVOP_ROW_AddPendingToPlaylist(X) X(8100, AddPendingToPlaylist, Int, Plain, ItemIn1)
#define DEVOP_ROW_RemovePendingFromPlaylist(X) X(8110, RemovePendingFromPlaylist, Int, Plain, ItemIn1)
#define DEVOP_ROW_MovePlaylistItem(X) X(8120, MovePlaylistItem, Int, Plain, ItemIn1, IntIn1, IntIn2)
#define DEVOP_ROW_ShufflePlaylist(X) X(8130, ShufflePlaylist, Int, Plain, ItemIn1)
#define DEVOP_ROW_SortPlaylist(X) X(8140, SortPlaylist, Int, Plain, ItemIn1, IntIn1)
#define DEVOP_ROW_GetTrackPlaylistCount(X) X(8150, GetTrackPlaylistCount, Int, Plain, ItemIn1)
#define DEVOP_ROW_GetTrackPlaylistNames(X) X(8160, GetTrackPlaylistNames, Text, Plain, ItemIn1)
#define DEVOP_ROW_GetRulePlaylistFolder(X) X(8170, GetRulePlaylistFolder, Text, Plain)
#define DEVOP_ROW_SupportsPlayback(X) X(9010, SupportsPlayback, Int, Capability)
#define DEVOP_ROW_GetVolume(X) X(9020, GetVolume, Int, Plain)
#define DEVOP_ROW_SetVolume(X) X(9030, SetVolume, Int, Plain, IntIn1)
#define DEVOP_ROW_SetMute(X) X(9050, SetMute, Int, Plain, IntIn1)
#define DEVOP_ROW_IsMuted(X) X(9040, IsMuted, Int, Plain)
#define DEVOP_ROW_ShowAdvancedSoundSettings(X) X(9060, ShowAdvancedSoundSettings, None, Plain)
#define DEVOP_ROW_PlayTrack(X) X(9070, PlayTrack, Int, Plain, ItemIn1)
#define DEVOP_ROW_StopPlayback(X) X(9080, StopPlayback, Int, Plain)
#define DEVOP_ROW_IsPaused(X) X(9090, IsPaused, Int, Plain)
#define DEVOP_ROW_SetPaused(X) X(9100, SetPaused, Int, Plain, IntIn1)
#define DEVOP_ROW_GetFirstQueueEntry(X) X(9110, GetFirstQueueEntry, Int, Plain, ItemOut1)
#define DEVOP_ROW_GetNextQueueEntry(X) X(9120, GetNextQueueEntry, Int, Plain, ItemOut1)
#define DEVOP_ROW_EnqueueTrack(X) X(9130, EnqueueTrack, Int, Plain, ItemIn1)
#define DEVOP_ROW_RemoveFromQueue(X) X(9140, RemoveFromQueue, Int, Plain, ItemIn1)
#define DEVOP_ROW_ClearQueue(X) X(9150, ClearQueue, Int, Plain)
#define DEVOP_ROW_ShuffleQueue(X) X(9160, ShuffleQueue, Int, Plain)
#define DEVOP_ROW_MoveQueueEntry(X) X(9170, MoveQueueEntry, Int, Plain, IntIn1, IntIn2)
#define DEVOP_ROW_GetQueuePosition(X) X(9180, GetQueuePosition, Int, Plain)
#define DEVOP_ROW_SetQueuePositionToTrack(X) X(9200, SetQueuePositionToTrack, Int, Plain, ItemIn1)
#define DEVOP_ROW_SetQueuePosition(X) X(9190, SetQueuePosition, Int, Plain, IntIn1)
#define DEVOP_ROW_PlayQueueCurrent(X) X(9210, PlayQueueCurrent, Int, Plain)
#define DEVOP_ROW_PlayNextInQueue(X) X(9220, PlayNextInQueue, Int, Plain)
#define DEVOP_ROW_PlayPreviousInQueue(X) X(9230, PlayPreviousInQueue, Int, Plain)
#define DEVOP_ROW_SupportsFMPresets(X) X(10010, SupportsFMPresets, Int, Capability)
#define DEVOP_ROW_Op10020(X) X(10020, Op10020, Int, Plain, ItemIn1)
#define DEVOP_ROW_Op10030(X) X(10030, Op10030, Int, Plain, IntIn1)
#define DEVOP_ROW_Op10040(X) X(10040, Op10040, Int, Plain, ItemIn1)
#define DEVOP_ROW_GetFirstFMPreset(X) X(10050, GetFirstFMPreset, Int, Plain, ItemOut1)
#define DEVOP_ROW_GetNextFMPreset(X) X(10060, GetNextFMPreset, Int, Plain, ItemOut1)
#define DEVOP_ROW_GetFMPresetFrequency(X) X(10070, GetFMPresetFrequency, Int, Plain, ItemIn1)
#define DEVOP_ROW_Op10080(X) X(10080, Op10080, Int, Plain, ItemIn1, IntIn1)
#define DEVOP_ROW_SupportsNotes(X) X(11010, SupportsNotes, Int, Capability)
#define DEVOP_ROW_GetNotesRootFolder(X) X(11100, GetNotesRootFolder, Int, Plain, ItemOut1)
#define DEVOP_ROW_GetFirstNote(X) X(11110, GetFirstNote, Int, Plain, ItemIn1, ItemOut2)
#define DEVOP_ROW_GetNextNote(X) X(11120, GetNextNote, Int, Plain, ItemIn1, ItemOut2)
#define DEVOP_ROW_GetNoteName(X) X(11130, GetNoteName, Text, Plain, ItemIn1)
#define DEVOP_ROW_Op11140(X) X(11140, Op11140, Int, Plain, ItemIn1)
#define DEVOP_ROW_CreateNote(X) X(11150, CreateNote, Int, Plain, TextIn1, ItemIn1, ItemOut2)
#define DEVOP_ROW_DeleteNote(X) X(11160, DeleteNote, Int, Plain, ItemIn1)
#define DEVOP_ROW_Op11170(X) X(11170, Op11170, Int, Plain, ItemIn1, TextIn1)
#define DEVOP_ROW_IsNoteFolder(X) X(11180, IsNoteFolder, Int, Plain, ItemIn1)
#define DEVOP_ROW_CreateNoteFolder(X) X(11190, CreateNoteFolder, Int, Plain, TextIn1, ItemIn1, ItemOut2)
#define DEVOP_ROW_DeleteNoteFolder(X) X(11200, DeleteNoteFolder, Int, Plain, ItemIn1)
#define DEVOP_ROW_GetNoteText(X) X(11210, GetNoteText, Note, Plain, ItemIn1)
#define DEVOP_ROW_SetNoteText(X) X(11220, SetNoteText, Int, Plain, ItemIn1, NoteIn)
#define DEVOP_ROW_SupportsContacts(X) X(12010, SupportsContacts, Int, Capability)
#define DEVOP_ROW_GetContactsRootFolder(X) X(12100, GetContactsRootFolder, Int, Plain, ItemOut1)
#define DEVOP_ROW_GetFirstContact(X) X(12110, GetFirstContact, Int, Plain, ItemIn1, ItemOut2)
#define DEVOP_ROW_GetNextContact(X) X(12120, GetNextContact, Int, Plain, ItemIn1, ItemOut2)
#define DEVOP_ROW_GetContactName(X) X(12130, GetContactName, Text, Plain, ItemIn1)
#define DEVOP_ROW_Op12140(X) X(12140, Op12140, Int, Plain, ItemIn1)
#define DEVOP_ROW_CreateContact(X) X(12150, CreateContact, Int, Plain, TextIn1, ContactIn, ItemIn1, ItemOut2)
#define DEVOP_ROW_DeleteContact(X) X(12160, DeleteContact, Int, Plain, ItemIn1)
#define DEVOP_ROW_Op12170(X) X(12170, Op12170, Int, Plain, ItemIn1, TextIn1)
#define DEVOP_ROW_IsContactFolder(X) X(12180, IsContactFolder, Int, Plain, ItemIn1)
#define DEVOP_ROW_CreateContactFolder(X) X(12190, CreateContactFolder, Int, Plain, TextIn1, ItemIn1, ItemOut2)
#define DEVOP_ROW_DeleteContactFolder(X) X(12200, DeleteContactFolder, Int, Plain, ItemIn1)
#define DEVOP_ROW_GetContactRecord(X) X(12210, GetContactRecord, Int, Plain, ItemIn1, ContactOut)
#define DEVOP_ROW_SetContactRecord(X) X(12220, SetContactRecord, Int, Plain, ItemIn1, ContactIn)
#define DEVOP_ROW_SupportsGroup13000(X) X(13010, SupportsGroup13000, Int, Capability)

// The operations every device implements itself (KernelDevice declares them pure); a
// device class declares them with KERNEL_DEVICE_OWN_OPERATIONS(DEVOP_OVERRIDE) and the
// others it overrides one by one.
#define KERNEL_DEVICE_OWN_OPERATIONS(X) \
  X(ShowSdkVersion) \
  X(Connect) \
  X(IsConnected) \
  X(Op2040) \
  X(GetModelName) \
  X(GetHardwareVersion) \
  X(GetFirmwareVersion) \
  X(GetDriverVersion) \
  X(GetDeviceUniqueId) \
  X(GetOwnerName) \
  X(SetOwnerName) \
  X(Op2120) \
  X(GetDeviceTime) \
  X(SetDeviceTime) \
  X(HasClock) \
  X(SupportsStorageList) \
  X(GetFirstStorage) \
  X(GetNextStorage) \
  X(GetStorageName) \
  X(SelectStorage) \
  X(SupportsStorageFlag2) \
  X(RefreshStorage) \
  X(RecoverMissingTracks) \
  X(GetTotalSpaceKB) \
  X(GetFreeSpaceKB) \
  X(SupportsTrackReorder) \
  X(Op3120) \
  X(Op3170) \
  X(SetTrackInfo) \
  X(GetTrackSize) \
  X(GetTrackArtist) \
  X(GetTrackAlbum) \
  X(GetTrackNumber) \
  X(GetTrackTitle) \
  X(GetTrackCodec) \
  X(GetTrackLength) \
  X(GetTrackBitrate) \
  X(GetTrackYear) \
  X(GetTrackGenre) \
  X(GetTrackComment) \
  X(IsTrackLocked) \
  X(SetTrackArtist) \
  X(SetTrackAlbum) \
  X(SetTrackNumber) \
  X(SetTrackTitle) \
  X(SetTrackYear) \
  X(SetTrackGenre) \
  X(SetTrackComment) \
  X(SupportsTransfers) \
  X(UploadTrack) \
  X(UploadDataFile) \
  X(DownloadTrack) \
  X(DownloadDataFile) \
  X(IsDownloadRunning) \
  X(IsUploadRunning) \
  X(CancelTransfer) \
  X(GetModelCode) \
  X(SupportsTransferFlag2) \
  X(SupportsCopyToComputer) \
  X(SupportsAudio) \
  X(GetFirstAudioTrack) \
  X(GetNextAudioTrack) \
  X(GetAudioFilesSize) \
  X(DeleteAudioTrack) \
  X(GetTrackFileName) \
  X(TrackExists) \
  X(SupportsDataFiles) \
  X(SupportsDataFlag2) \
  X(GetDataRootFolder) \
  X(GetFirstDataItem) \
  X(GetNextDataItem) \
  X(GetDataFilesSize) \
  X(DeleteDataFile) \
  X(GetDataFileCount) \
  X(GetDataItemName) \
  X(GetDataFileSize) \
  X(IsDataFolder) \
  X(CreateDataFolder) \
  X(GetDataItemModifiedTime) \
  X(GetDataItemAttributes) \
  X(DeleteDataFolder) \
  X(RenameDataFile) \
  X(RenameDataFolder) \
  X(MoveDataItem) \
  X(GetDataItemParent) \
  X(HasDataFilesStatus) \
  X(GetDataFilesStatus) \
  X(SupportsPlaylists) \
  X(CreatePlaylist) \
  X(DeletePlaylist) \
  X(GetPlaylistName) \
  X(RenamePlaylist) \
  X(AddPendingToPlaylist) \
  X(RemovePendingFromPlaylist) \
  X(MovePlaylistItem) \
  X(ShufflePlaylist) \
  X(SortPlaylist) \
  X(SupportsPlayback) \
  X(GetVolume) \
  X(SetVolume) \
  X(SetMute) \
  X(IsMuted) \
  X(ShowAdvancedSoundSettings) \
  X(PlayTrack) \
  X(StopPlayback) \
  X(IsPaused) \
  X(SetPaused) \
  X(SupportsFMPresets) \
  X(Op10020) \
  X(Op10030) \
  X(Op10040) \
  X(GetFirstFMPreset) \
  X(GetNextFMPreset) \
  X(GetFMPresetFrequency) \
  X(Op10080) \
  X(SupportsNotes) \
  X(SupportsContacts) \
  X(SupportsGroup13000)

// Every row, in operation-code order.
#define KERNEL_DEVICE_OPERATIONS(X) \
  DEVOP_ROW_GetHostVersion(X) \
  DEVOP_ROW_ShowSdkVersion(X) \
  DEVOP_ROW_VerifyDeviceModel(X) \
  DEVOP_ROW_Connect(X) \
  DEVOP_ROW_Disconnect(X) \
  DEVOP_ROW_IsConnected(X) \
  DEVOP_ROW_Op2040(X) \
  DEVOP_ROW_GetModelName(X) \
  DEVOP_ROW_GetHardwareVersion(X) \
  DEVOP_ROW_GetFirmwareVersion(X) \
  DEVOP_ROW_GetDriverVersion(X) \
  DEVOP_ROW_GetDeviceUniqueId(X) \
  DEVOP_ROW_GetOwnerName(X) \
  DEVOP_ROW_SetOwnerName(X) \
  DEVOP_ROW_Op2120(X) \
  DEVOP_ROW_TryLockDevice(X) \
  DEVOP_ROW_UnlockDevice(X) \
  DEVOP_ROW_ClearPendingIds(X) \
  DEVOP_ROW_AddPendingId(X) \
  DEVOP_ROW_GetDeviceTime(X) \
  DEVOP_ROW_SetDeviceTime(X) \
  DEVOP_ROW_HasClock(X) \
  DEVOP_ROW_CommitChanges(X) \
  DEVOP_ROW_IsAutoConnect(X) \
  DEVOP_ROW_SupportsEject(X) \
  DEVOP_ROW_Op2330(X) \
  DEVOP_ROW_UsesTrackDatabase(X) \
  DEVOP_ROW_RunSetupWizard(X) \
  DEVOP_ROW_SupportsStorageList(X) \
  DEVOP_ROW_GetFirstStorage(X) \
  DEVOP_ROW_GetNextStorage(X) \
  DEVOP_ROW_GetStorageName(X) \
  DEVOP_ROW_SelectStorage(X) \
  DEVOP_ROW_SupportsStorageFlag2(X) \
  DEVOP_ROW_RefreshStorage(X) \
  DEVOP_ROW_RecoverMissingTracks(X) \
  DEVOP_ROW_GetTotalSpaceKB(X) \
  DEVOP_ROW_GetFreeSpaceKB(X) \
  DEVOP_ROW_SupportsTrackReorder(X) \
  DEVOP_ROW_Op3120(X) \
  DEVOP_ROW_GetStorageTotalKB(X) \
  DEVOP_ROW_GetStorageFreeKB(X) \
  DEVOP_ROW_GetStorageUsedKB(X) \
  DEVOP_ROW_StorageHasItems(X) \
  DEVOP_ROW_Op3170(X) \
  DEVOP_ROW_SupportsTagIndex(X) \
  DEVOP_ROW_GetFirstTrackByTags(X) \
  DEVOP_ROW_GetNextTrackByTags(X) \
  DEVOP_ROW_GetTrackInfo(X) \
  DEVOP_ROW_SetTrackInfo(X) \
  DEVOP_ROW_GetFileTrackInfo(X) \
  DEVOP_ROW_GetTrackSize(X) \
  DEVOP_ROW_GetTrackArtist(X) \
  DEVOP_ROW_GetTrackAlbum(X) \
  DEVOP_ROW_GetTrackNumber(X) \
  DEVOP_ROW_GetTrackTitle(X) \
  DEVOP_ROW_GetTrackCodec(X) \
  DEVOP_ROW_GetTrackLength(X) \
  DEVOP_ROW_GetTrackBitrate(X) \
  DEVOP_ROW_GetTrackYear(X) \
  DEVOP_ROW_GetTrackGenre(X) \
  DEVOP_ROW_GetTrackComment(X) \
  DEVOP_ROW_IsTrackLocked(X) \
  DEVOP_ROW_GetDefaultFileName(X) \
  DEVOP_ROW_SetTrackArtist(X) \
  DEVOP_ROW_SetTrackAlbum(X) \
  DEVOP_ROW_SetTrackNumber(X) \
  DEVOP_ROW_SetTrackTitle(X) \
  DEVOP_ROW_SetTrackYear(X) \
  DEVOP_ROW_SetTrackGenre(X) \
  DEVOP_ROW_SetTrackComment(X) \
  DEVOP_ROW_GetFirstArtist(X) \
  DEVOP_ROW_GetNextArtist(X) \
  DEVOP_ROW_GetFirstAlbum(X) \
  DEVOP_ROW_GetNextAlbum(X) \
  DEVOP_ROW_GetFirstGenre(X) \
  DEVOP_ROW_GetNextGenre(X) \
  DEVOP_ROW_SupportsSearch(X) \
  DEVOP_ROW_QueryFirst(X) \
  DEVOP_ROW_QueryNext(X) \
  DEVOP_ROW_FindTrackByContentId(X) \
  DEVOP_ROW_SupportsTransfers(X) \
  DEVOP_ROW_SetProgressWindow(X) \
  DEVOP_ROW_AddNotifyWindow(X) \
  DEVOP_ROW_UploadTrack(X) \
  DEVOP_ROW_UploadDataFile(X) \
  DEVOP_ROW_DownloadTrack(X) \
  DEVOP_ROW_DownloadDataFile(X) \
  DEVOP_ROW_IsDownloadRunning(X) \
  DEVOP_ROW_IsUploadRunning(X) \
  DEVOP_ROW_CancelTransfer(X) \
  DEVOP_ROW_GetModelCode(X) \
  DEVOP_ROW_SupportsTransferFlag2(X) \
  DEVOP_ROW_SupportsCopyToComputer(X) \
  DEVOP_ROW_SupportsAudio(X) \
  DEVOP_ROW_GetFirstAudioTrack(X) \
  DEVOP_ROW_GetNextAudioTrack(X) \
  DEVOP_ROW_GetAudioFilesSize(X) \
  DEVOP_ROW_DeleteAudioTrack(X) \
  DEVOP_ROW_GetTrackFileName(X) \
  DEVOP_ROW_TrackExists(X) \
  DEVOP_ROW_GetFirstAudioTrackInfo(X) \
  DEVOP_ROW_GetNextAudioTrackInfo(X) \
  DEVOP_ROW_SupportsDataFiles(X) \
  DEVOP_ROW_SupportsDataFlag2(X) \
  DEVOP_ROW_GetDataRootFolder(X) \
  DEVOP_ROW_GetFirstDataItem(X) \
  DEVOP_ROW_GetNextDataItem(X) \
  DEVOP_ROW_GetDataFilesSize(X) \
  DEVOP_ROW_DeleteDataFile(X) \
  DEVOP_ROW_GetDataFileCount(X) \
  DEVOP_ROW_GetDataItemName(X) \
  DEVOP_ROW_GetDataFileSize(X) \
  DEVOP_ROW_IsDataFolder(X) \
  DEVOP_ROW_CreateDataFolder(X) \
  DEVOP_ROW_GetDataItemModifiedTime(X) \
  DEVOP_ROW_GetDataItemAttributes(X) \
  DEVOP_ROW_DeleteDataFolder(X) \
  DEVOP_ROW_RenameDataFile(X) \
  DEVOP_ROW_RenameDataFolder(X) \
  DEVOP_ROW_MoveDataItem(X) \
  DEVOP_ROW_GetDataItemParent(X) \
  DEVOP_ROW_HasDataFilesStatus(X) \
  DEVOP_ROW_GetDataFilesStatus(X) \
  DEVOP_ROW_SupportsPlaylists(X) \
  DEVOP_ROW_GetFirstPlaylist(X) \
  DEVOP_ROW_GetNextPlaylist(X) \
  DEVOP_ROW_CreatePlaylist(X) \
  DEVOP_ROW_DeletePlaylist(X) \
  DEVOP_ROW_GetFirstPlaylistItem(X) \
  DEVOP_ROW_GetNextPlaylistItem(X) \
  DEVOP_ROW_GetPlaylistName(X) \
  DEVOP_ROW_RenamePlaylist(X) \
  DEVOP_ROW_AddPendingToPlaylist(X) \
  DEVOP_ROW_RemovePendingFromPlaylist(X) \
  DEVOP_ROW_MovePlaylistItem(X) \
  DEVOP_ROW_ShufflePlaylist(X) \
  DEVOP_ROW_SortPlaylist(X) \
  DEVOP_ROW_GetTrackPlaylistCount(X) \
  DEVOP_ROW_GetTrackPlaylistNames(X) \
  DEVOP_ROW_GetRulePlaylistFolder(X) \
  DEVOP_ROW_SupportsPlayback(X) \
  DEVOP_ROW_GetVolume(X) \
  DEVOP_ROW_SetVolume(X) \
  DEVOP_ROW_SetMute(X) \
  DEVOP_ROW_IsMuted(X) \
  DEVOP_ROW_ShowAdvancedSoundSettings(X) \
  DEVOP_ROW_PlayTrack(X) \
  DEVOP_ROW_StopPlayback(X) \
  DEVOP_ROW_IsPaused(X) \
  DEVOP_ROW_SetPaused(X) \
  DEVOP_ROW_GetFirstQueueEntry(X) \
  DEVOP_ROW_GetNextQueueEntry(X) \
  DEVOP_ROW_EnqueueTrack(X) \
  DEVOP_ROW_RemoveFromQueue(X) \
  DEVOP_ROW_ClearQueue(X) \
  DEVOP_ROW_ShuffleQueue(X) \
  DEVOP_ROW_MoveQueueEntry(X) \
  DEVOP_ROW_GetQueuePosition(X) \
  DEVOP_ROW_SetQueuePositionToTrack(X) \
  DEVOP_ROW_SetQueuePosition(X) \
  DEVOP_ROW_PlayQueueCurrent(X) \
  DEVOP_ROW_PlayNextInQueue(X) \
  DEVOP_ROW_PlayPreviousInQueue(X) \
  DEVOP_ROW_SupportsFMPresets(X) \
  DEVOP_ROW_Op10020(X) \
  DEVOP_ROW_Op10030(X) \
  DEVOP_ROW_Op10040(X) \
  DEVOP_ROW_GetFirstFMPreset(X) \
  DEVOP_ROW_GetNextFMPreset(X) \
  DEVOP_ROW_GetFMPresetFrequency(X) \
  DEVOP_ROW_Op10080(X) \
  DEVOP_ROW_SupportsNotes(X) \
  DEVOP_ROW_GetNotesRootFolder(X) \
  DEVOP_ROW_GetFirstNote(X) \
  DEVOP_ROW_GetNextNote(X) \
  DEVOP_ROW_GetNoteName(X) \
  DEVOP_ROW_Op11140(X) \
  DEVOP_ROW_CreateNote(X) \
  DEVOP_ROW_DeleteNote(X) \
  DEVOP_ROW_Op11170(X) \
  DEVOP_ROW_IsNoteFolder(X) \
  DEVOP_ROW_CreateNoteFolder(X) \
  DEVOP_ROW_DeleteNoteFolder(X) \
  DEVOP_ROW_GetNoteText(X) \
  DEVOP_ROW_SetNoteText(X) \
  DEVOP_ROW_SupportsContacts(X) \
  DEVOP_ROW_GetContactsRootFolder(X) \
  DEVOP_ROW_GetFirstContact(X) \
  DEVOP_ROW_GetNextContact(X) \
  DEVOP_ROW_GetContactName(X) \
  DEVOP_ROW_Op12140(X) \
  DEVOP_ROW_CreateContact(X) \
  DEVOP_ROW_DeleteContact(X) \
  DEVOP_ROW_Op12170(X) \
  DEVOP_ROW_IsContactFolder(X) \
  DEVOP_ROW_CreateContactFolder(X) \
  DEVOP_ROW_DeleteContactFolder(X) \
  DEVOP_ROW_GetContactRecord(X) \
  DEVOP_ROW_SetContactRecord(X) \
  DEVOP_ROW_SupportsGroup13000(X)
// clang-format on

// Operation codes by name: DeviceOp::GetTrackInfo == 4040.
enum class DeviceOp : int {
#define DEVOP_ENUM_ROW(code, Name, ...) Name = code,
  KERNEL_DEVICE_OPERATIONS(DEVOP_ENUM_ROW)
#undef DEVOP_ENUM_ROW
};

// The declaration of one operation of the table in a device class that implements it,
// its signature taken from the row (parameters p0, p1, ...):
//   DEVOP_OVERRIDE(GetTrackInfo)   int GetTrackInfo(const KernelId& p0, TrackRecord& p1) override;
#define DEVOP_OVERRIDE(Name) DEVOP_ROW_##Name(DEVOP_OVERRIDE_ROW)
#define DEVOP_OVERRIDE_ROW(code, Name, R, Flow, ...) ::device::devop::R::Type Name(DEVOP_PARAMS(__VA_ARGS__)) override;

constexpr int OpCode(DeviceOp op) { return static_cast<int>(op); }

// The method name of an operation code ("GetTrackInfo"), or nullptr for a code that is
// not in the table.
const char* DeviceOpName(int opcode);

// ---------------------------------------------------------------------------------------
// Helpers for code generated from the table. For a row's fields F...:
//   DEVOP_TYPES(F...)       ", ::device::devop::F1, ::device::devop::F2"   (empty for no fields)
//   DEVOP_PARAMS(F...)      "::device::devop::F1::Param p0, ::device::devop::F2::Param p1"
//   DEVOP_ARGS(F...)        "p0, p1"
//   DEVOP_COMMA_ARGS(F...)  ", p0, p1"
//   DEVOP_ROW(code, R, Flow, F...)   the row as a type, ::device::devop::Row<...>
#define DEVOP_CAT(a, b) DEVOP_CAT_I(a, b)
#define DEVOP_CAT_I(a, b) a##b
#define DEVOP_COUNT(...) DEVOP_COUNT_I(__VA_OPT__(__VA_ARGS__, ) 6, 5, 4, 3, 2, 1, 0)
#define DEVOP_COUNT_I(a1, a2, a3, a4, a5, a6, n, ...) n

#define DEVOP_TYPES(...) DEVOP_CAT(DEVOP_TYPES_, DEVOP_COUNT(__VA_ARGS__))(__VA_ARGS__)
#define DEVOP_TYPES_0()
#define DEVOP_TYPES_1(a) , ::device::devop::a
#define DEVOP_TYPES_2(a, b) DEVOP_TYPES_1(a), ::device::devop::b
#define DEVOP_TYPES_3(a, b, c) DEVOP_TYPES_2(a, b), ::device::devop::c
#define DEVOP_TYPES_4(a, b, c, d) DEVOP_TYPES_3(a, b, c), ::device::devop::d
#define DEVOP_TYPES_5(a, b, c, d, e) DEVOP_TYPES_4(a, b, c, d), ::device::devop::e
#define DEVOP_TYPES_6(a, b, c, d, e, f) DEVOP_TYPES_5(a, b, c, d, e), ::device::devop::f

#define DEVOP_PARAMS(...) DEVOP_CAT(DEVOP_PARAMS_, DEVOP_COUNT(__VA_ARGS__))(__VA_ARGS__)
#define DEVOP_PARAMS_0()
#define DEVOP_PARAMS_1(a) ::device::devop::a::Param p0
#define DEVOP_PARAMS_2(a, b) DEVOP_PARAMS_1(a), ::device::devop::b::Param p1
#define DEVOP_PARAMS_3(a, b, c) DEVOP_PARAMS_2(a, b), ::device::devop::c::Param p2
#define DEVOP_PARAMS_4(a, b, c, d) DEVOP_PARAMS_3(a, b, c), ::device::devop::d::Param p3
#define DEVOP_PARAMS_5(a, b, c, d, e) DEVOP_PARAMS_4(a, b, c, d), ::device::devop::e::Param p4
#define DEVOP_PARAMS_6(a, b, c, d, e, f) DEVOP_PARAMS_5(a, b, c, d, e), ::device::devop::f::Param p5

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
  ::device::devop::Row<code, ::device::devop::R, ::device::devop::Flow DEVOP_TYPES(__VA_ARGS__)>

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
  const std::size_t n = platform::Utf8PrefixLength(text, DeviceRequestBlock::kNoteTextMaxBytes);
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

}  // namespace device
