// The dispatcher against a recording device. The expected operations, argument fields and
// result fields come from the interface's own statement of the protocol (kOperations
// below, one line per operation code), not from the operation table in operations.h.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "device/device_error.h"
#include "device/kernel_device.h"
#include "device/memory_device.h"
#include "device/operations.h"

namespace device {

namespace {

// opcode | method | argument fields in call order (in/out) | where the result goes
const char kOperations[] = R"(
500|GetHostVersion||textResult
1010|ShowSdkVersion||none
2000|VerifyDeviceModel|itemArg1 in,textArg1 out,textArg2 out|intResult
2010|Connect||none
2020|Disconnect||none
2030|IsConnected||intResult
2040|Op2040||none
2060|GetModelName||textResult
2070|GetHardwareVersion||textResult
2080|GetFirmwareVersion||textResult
2085|GetDriverVersion||textResult
2090|GetDeviceUniqueId||textResult
2100|GetOwnerName||textResult
2110|SetOwnerName|textArg1 in|intResult
2120|Op2120||intResult
2140|TryLockDevice|intArg1 in|intResult
2150|UnlockDevice||intResult
2160|ClearPendingIds||intResult
2170|AddPendingId|itemArg1 in|intResult
2180|GetDeviceTime||intResult
2190|SetDeviceTime|intArg1 in|intResult
2200|HasClock||intResult
2300|CommitChanges||intResult
2310|IsAutoConnect||intResult
2320|SupportsEject||intResult
2330|Op2330||intResult
2400|UsesTrackDatabase||intResult
2410|RunSetupWizard|intArg1 in|intResult
3010|SupportsStorageList||intResult
3020|GetFirstStorage|itemArg1 out|intResult
3030|GetNextStorage|itemArg1 out|intResult
3040|GetStorageName|itemArg1 in|textResult
3050|SelectStorage|itemArg1 in|intResult
3060|SupportsStorageFlag2||intResult
3070|RefreshStorage||intResult
3080|RecoverMissingTracks||intResult
3090|GetTotalSpaceKB||intResult
3100|GetFreeSpaceKB||intResult
3110|SupportsTrackReorder||intResult
3120|Op3120|intArg1 in,intArg2 in|intResult
3130|GetStorageTotalKB|itemArg1 in|intResult
3140|GetStorageFreeKB|itemArg1 in|intResult
3150|GetStorageUsedKB|itemArg1 in|intResult
3160|StorageHasItems|itemArg1 in|intResult
3170|Op3170||intResult
4010|SupportsTagIndex||intResult
4020|GetFirstTrackByTags|itemArg1 out,textArg1 in,textArg2 in,textArg3 in|intResult
4030|GetNextTrackByTags|itemArg1 out|intResult
4040|GetTrackInfo|itemArg1 in,trackArg out|intResult
4050|SetTrackInfo|itemArg1 in,trackArg in|intResult
4055|GetFileTrackInfo|textArg1 in,trackArg out|intResult
4060|GetTrackSize|itemArg1 in|intResult
4070|GetTrackArtist|itemArg1 in|textResult
4080|GetTrackAlbum|itemArg1 in|textResult
4090|GetTrackNumber|itemArg1 in|intResult
4100|GetTrackTitle|itemArg1 in|textResult
4110|GetTrackCodec|itemArg1 in|intResult
4120|GetTrackLength|itemArg1 in|intResult
4130|GetTrackBitrate|itemArg1 in|intResult
4140|GetTrackYear|itemArg1 in|intResult
4150|GetTrackGenre|itemArg1 in|textResult
4160|GetTrackComment|itemArg1 in|textResult
4170|IsTrackLocked|itemArg1 in|intResult
4180|GetDefaultFileName|itemArg1 in|textResult
4190|SetTrackArtist|itemArg1 in,textArg1 in|intResult
4200|SetTrackAlbum|itemArg1 in,textArg1 in|intResult
4210|SetTrackNumber|itemArg1 in,intArg1 in|intResult
4220|SetTrackTitle|itemArg1 in,textArg1 in|intResult
4230|SetTrackYear|itemArg1 in,intArg1 in|intResult
4240|SetTrackGenre|itemArg1 in,textArg1 in|intResult
4250|SetTrackComment|itemArg1 in,textArg1 in|intResult
4260|GetFirstArtist|textArg1 out|intResult
4270|GetNextArtist|textArg1 out|intResult
4280|GetFirstAlbum|textArg1 out,textArg2 in|intResult
4290|GetNextAlbum|textArg1 out|intResult
4300|GetFirstGenre|textArg1 out|intResult
4310|GetNextGenre|textArg1 out|intResult
4320|SupportsSearch||intResult
4330|QueryFirst|textArg1 in,itemArg1 out|intResult
4340|QueryNext|itemArg1 out|intResult
4350|FindTrackByContentId|textArg1 in,itemArg1 out|intResult
5010|SupportsTransfers||intResult
5020|SetProgressWindow|windowArg in|none
5030|AddNotifyWindow|windowArg in|none
5040|UploadTrack|textArg1 in,trackArg in,itemArg1 out|intResult
5050|UploadDataFile|textArg1 in,itemArg1 in,itemArg2 out|intResult
5060|DownloadTrack|itemArg1 in,textArg1 in,intArg1 in|intResult
5070|DownloadDataFile|itemArg1 in,textArg1 in|intResult
5080|IsDownloadRunning||intResult
5090|IsUploadRunning||intResult
5100|CancelTransfer||none
5110|GetModelCode|itemArg1 in|textResult
5120|SupportsTransferFlag2||intResult
5130|SupportsCopyToComputer||intResult
6010|SupportsAudio||intResult
6020|GetFirstAudioTrack|itemArg1 out|intResult
6030|GetNextAudioTrack|itemArg1 out|intResult
6040|GetAudioFilesSize||intResult
6050|DeleteAudioTrack|itemArg1 in|intResult
6060|GetTrackFileName|itemArg1 in|textResult
6070|TrackExists|itemArg1 in|intResult
6080|GetFirstAudioTrackInfo|itemArg1 out,trackArg out|intResult
6090|GetNextAudioTrackInfo|itemArg1 out,trackArg out|intResult
7010|SupportsDataFiles||intResult
7011|SupportsDataFlag2||intResult
7015|GetDataRootFolder|itemArg1 out|intResult
7020|GetFirstDataItem|itemArg1 in,itemArg2 out|intResult
7030|GetNextDataItem|itemArg1 in,itemArg2 out|intResult
7040|GetDataFilesSize||intResult
7050|DeleteDataFile|itemArg1 in|intResult
7170|GetDataFileCount||intResult
7060|GetDataItemName|itemArg1 in|textResult
7070|GetDataFileSize|itemArg1 in|intResult
7080|IsDataFolder|itemArg1 in|intResult
7090|CreateDataFolder|textArg1 in,itemArg1 in,itemArg2 out|intResult
7100|GetDataItemModifiedTime|itemArg1 in|intResult
7110|GetDataItemAttributes|itemArg1 in|intResult
7120|DeleteDataFolder|itemArg1 in|intResult
7130|RenameDataFile|itemArg1 in,textArg1 in|intResult
7140|RenameDataFolder|itemArg1 in,textArg1 in|intResult
7150|MoveDataItem|itemArg1 in,itemArg2 in|intResult
7160|GetDataItemParent|itemArg1 in,itemArg2 out|intResult
7180|HasDataFilesStatus||intResult
7190|GetDataFilesStatus||textResult
8010|SupportsPlaylists||intResult
8020|GetFirstPlaylist|itemArg1 out|intResult
8030|GetNextPlaylist|itemArg1 out|intResult
8040|CreatePlaylist|textArg1 in,itemArg1 out|intResult
8050|DeletePlaylist|itemArg1 in|intResult
8060|GetFirstPlaylistItem|itemArg1 in,itemArg2 out|intResult
8070|GetNextPlaylistItem|itemArg1 in,itemArg2 out|intResult
8080|GetPlaylistName|itemArg1 in|textResult
8090|RenamePlaylist|itemArg1 in,textArg1 in|intResult
8100|AddPendingToPlaylist|itemArg1 in|intResult
8110|RemovePendingFromPlaylist|itemArg1 in|intResult
8120|MovePlaylistItem|itemArg1 in,intArg1 in,intArg2 in|intResult
8130|ShufflePlaylist|itemArg1 in|intResult
8140|SortPlaylist|itemArg1 in,intArg1 in|intResult
8150|GetTrackPlaylistCount|itemArg1 in|intResult
8160|GetTrackPlaylistNames|itemArg1 in|textResult
8170|GetRulePlaylistFolder||textResult
9010|SupportsPlayback||intResult
9020|GetVolume||intResult
9030|SetVolume|intArg1 in|intResult
9050|SetMute|intArg1 in|intResult
9040|IsMuted||intResult
9060|ShowAdvancedSoundSettings||none
9070|PlayTrack|itemArg1 in|intResult
9080|StopPlayback||intResult
9090|IsPaused||intResult
9100|SetPaused|intArg1 in|intResult
9110|GetFirstQueueEntry|itemArg1 out|intResult
9120|GetNextQueueEntry|itemArg1 out|intResult
9130|EnqueueTrack|itemArg1 in|intResult
9140|RemoveFromQueue|itemArg1 in|intResult
9150|ClearQueue||intResult
9160|ShuffleQueue||intResult
9170|MoveQueueEntry|intArg1 in,intArg2 in|intResult
9180|GetQueuePosition||intResult
9200|SetQueuePositionToTrack|itemArg1 in|intResult
9190|SetQueuePosition|intArg1 in|intResult
9210|PlayQueueCurrent||intResult
9220|PlayNextInQueue||intResult
9230|PlayPreviousInQueue||intResult
10010|SupportsFMPresets||intResult
10020|Op10020|itemArg1 in|intResult
10030|Op10030|intArg1 in|intResult
10040|Op10040|itemArg1 in|intResult
10050|GetFirstFMPreset|itemArg1 out|intResult
10060|GetNextFMPreset|itemArg1 out|intResult
10070|GetFMPresetFrequency|itemArg1 in|intResult
10080|Op10080|itemArg1 in,intArg1 in|intResult
11010|SupportsNotes||intResult
11100|GetNotesRootFolder|itemArg1 out|intResult
11110|GetFirstNote|itemArg1 in,itemArg2 out|intResult
11120|GetNextNote|itemArg1 in,itemArg2 out|intResult
11130|GetNoteName|itemArg1 in|textResult
11140|Op11140|itemArg1 in|intResult
11150|CreateNote|textArg1 in,itemArg1 in,itemArg2 out|intResult
11160|DeleteNote|itemArg1 in|intResult
11170|Op11170|itemArg1 in,textArg1 in|intResult
11180|IsNoteFolder|itemArg1 in|intResult
11190|CreateNoteFolder|textArg1 in,itemArg1 in,itemArg2 out|intResult
11200|DeleteNoteFolder|itemArg1 in|intResult
11210|GetNoteText|itemArg1 in|noteText
11220|SetNoteText|itemArg1 in,noteText in|intResult
12010|SupportsContacts||intResult
12100|GetContactsRootFolder|itemArg1 out|intResult
12110|GetFirstContact|itemArg1 in,itemArg2 out|intResult
12120|GetNextContact|itemArg1 in,itemArg2 out|intResult
12130|GetContactName|itemArg1 in|textResult
12140|Op12140|itemArg1 in|intResult
12150|CreateContact|textArg1 in,contactArg in,itemArg1 in,itemArg2 out|intResult
12160|DeleteContact|itemArg1 in|intResult
12170|Op12170|itemArg1 in,textArg1 in|intResult
12180|IsContactFolder|itemArg1 in|intResult
12190|CreateContactFolder|textArg1 in,itemArg1 in,itemArg2 out|intResult
12200|DeleteContactFolder|itemArg1 in|intResult
12210|GetContactRecord|itemArg1 in,contactArg out|intResult
12220|SetContactRecord|itemArg1 in,contactArg in|intResult
13010|SupportsGroup13000||intResult
)";

struct OperationRow {
  int opcode;
  std::string name;
  std::vector<std::string> fields;
  std::string result;
};

std::vector<OperationRow> OperationRows() {
  std::vector<OperationRow> rows;
  std::istringstream in(kOperations);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t bar; (bar = line.find('|', start)) != std::string::npos; start = bar + 1) {
      parts.push_back(line.substr(start, bar - start));
    }
    parts.push_back(line.substr(start));
    OperationRow row{std::stoi(parts[0]), parts[1], {}, parts[3]};
    std::istringstream fields(parts[2]);
    for (std::string f; std::getline(fields, f, ',');) row.fields.push_back(f);
    rows.push_back(row);
  }
  return rows;
}

constexpr int kIntArg1 = 1111;
constexpr int kIntArg2 = 2222;
constexpr platform::HWND kWindowArg = 3333;

int IntResultFor(int opcode) { return 1000000 + opcode; }
std::string TextResultFor(int opcode) { return "text " + std::to_string(opcode); }

// Records each call: the method's name and, for every argument, the block field it came
// from ("itemArg1 in", "textArg2 out", ...), found by address or by value.
// KERNEL_DEVICE_OWN_OPERATIONS names every operation the interface leaves to the devices:
// a class that declares only those (and the playlist walks, which are not operations) is
// not abstract. Nothing is made of it, so its methods need no bodies.
class OwnOperationsOnly final : public KernelDevice {
  KERNEL_DEVICE_OWN_OPERATIONS(DEVOP_OVERRIDE)
  int EnumFirstPlaylist(KernelId& playlist) override;
  int EnumNextPlaylist(KernelId& playlist) override;
  int EnumFirstPlaylistItem(const KernelId& playlist, KernelId& track) override;
  int EnumNextPlaylistItem(const KernelId& playlist, KernelId& track) override;
};
static_assert(!std::is_abstract_v<OwnOperationsOnly>);

class RecordingDevice : public KernelDevice {
 public:
  struct Call {
    std::string name;
    std::vector<std::string> fields;
  };
  std::vector<Call> calls;
  std::string textResult;  // replaces the canned text result when set
  bool throwInNext = false;

#define RECORDING_ROW(code, Name, R, Flow, ...)                                   \
  ::device::devop::R::Type Name(DEVOP_PARAMS(__VA_ARGS__)) override {                     \
    calls.push_back({#Name, {}});                                                 \
    Describe(calls.back().fields DEVOP_COMMA_ARGS(__VA_ARGS__));                  \
    if (throwInNext) throw DeviceError(0x1234, "Recorder", "thrown on purpose");  \
    return Result<::device::devop::R::Type>(code);                                        \
  }
  KERNEL_DEVICE_OPERATIONS(RECORDING_ROW)
#undef RECORDING_ROW

  int EnumFirstPlaylist(KernelId&) override { return 0; }
  int EnumNextPlaylist(KernelId&) override { return 0; }
  int EnumFirstPlaylistItem(const KernelId&, KernelId&) override { return 0; }
  int EnumNextPlaylistItem(const KernelId&, KernelId&) override { return 0; }

 private:
  template <class T>
  T Result(int code) {
    if constexpr (std::is_same_v<T, int>) {
      return IntResultFor(code);
    } else if constexpr (std::is_same_v<T, std::string>) {
      return textResult.empty() ? TextResultFor(code) : textResult;
    }
  }

  DeviceRequestBlock& B() { return *GetCurrentBlock(); }

  std::string Field(const KernelId& v, const char* dir) {
    const char* name = &v == &B().itemArg1 ? "itemArg1"
                       : &v == &B().itemArg2 ? "itemArg2"
                       : &v == &B().itemArg3 ? "itemArg3" : "?id";
    return std::string(name) + dir;
  }
  std::string Name(const KernelId& v) { return Field(v, " in"); }
  std::string Name(KernelId& v) { return Field(v, " out"); }
  std::string Name(FixedString256& v) {
    const char* name = &v == &B().textArg1 ? "textArg1" : &v == &B().textArg2 ? "textArg2"
                       : &v == &B().textArg3 ? "textArg3" : "?text";
    return std::string(name) + " out";
  }
  std::string Name(std::string_view v) {
    auto inside = [&](const void* begin, std::size_t size) {
      const char* b = static_cast<const char*>(begin);
      return v.data() >= b && v.data() < b + size;
    };
    if (inside(&B().textArg1, sizeof(FixedString256))) return "textArg1 in";
    if (inside(&B().textArg2, sizeof(FixedString256))) return "textArg2 in";
    if (inside(&B().textArg3, sizeof(FixedString256))) return "textArg3 in";
    if (inside(B().noteText, sizeof(B().noteText))) return "noteText in";
    return "?text in";
  }
  std::string Name(int v) {
    return v == kIntArg1 ? "intArg1 in" : v == kIntArg2 ? "intArg2 in" : "?int in";
  }
  std::string Name(platform::HWND v) { return v == kWindowArg ? "windowArg in" : "?window in"; }
  std::string Name(const TrackRecord& v) { return &v == &B().trackArg ? "trackArg in" : "?track"; }
  std::string Name(TrackRecord& v) { return &v == &B().trackArg ? "trackArg out" : "?track"; }
  std::string Name(const ContactRecord& v) {
    return &v == &B().contactArg ? "contactArg in" : "?contact";
  }
  std::string Name(ContactRecord& v) { return &v == &B().contactArg ? "contactArg out" : "?contact"; }

  template <class... A>
  void Describe(std::vector<std::string>& out, A&&... args) {
    (out.push_back(Name(std::forward<A>(args))), ...);
  }
};

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    block.intArg1 = kIntArg1;
    block.intArg2 = kIntArg2;
    block.windowArg = kWindowArg;
  }
  void Run(int opcode) {
    block.opcode = opcode;
    device.Dispatch(&block);
  }
  RecordingDevice device;
  DeviceRequestBlock block;
};

TEST_F(DispatchTest, EveryOperationCodeReachesItsMethodWithItsFieldsAndResult) {
  const std::vector<OperationRow> rows = OperationRows();
  ASSERT_EQ(rows.size(), 201u);
  // Every row of the table is one of these (each code below dispatches to its own row).
#define COUNT_ROW(...) +1
  constexpr std::size_t kTableRows = 0 KERNEL_DEVICE_OPERATIONS(COUNT_ROW);
#undef COUNT_ROW
  EXPECT_EQ(kTableRows, rows.size());
  for (const OperationRow& row : rows) {
    SCOPED_TRACE(row.opcode);
    device.calls.clear();
    block.intResult = -5;
    block.textResult.Set("stale");
    std::memset(block.noteText, 'n', sizeof(block.noteText));
    Run(row.opcode);
    ASSERT_EQ(device.calls.size(), 1u);
    EXPECT_EQ(device.calls[0].name, row.name);
    EXPECT_EQ(device.calls[0].fields, row.fields);
    if (row.result == "intResult") {
      EXPECT_EQ(block.intResult, IntResultFor(row.opcode));
      EXPECT_EQ(block.textResult.GetText(), "");
    } else if (row.result == "textResult") {
      EXPECT_EQ(block.intResult, 0);
      EXPECT_EQ(block.textResult.GetText(), TextResultFor(row.opcode));
    } else if (row.result == "noteText") {
      EXPECT_EQ(block.intResult, 0);
      EXPECT_EQ(block.textResult.GetText(), "");
      EXPECT_EQ(device::devop::ReadNoteText(block), TextResultFor(row.opcode));
    } else {
      ASSERT_EQ(row.result, "none");
      EXPECT_EQ(block.intResult, 0);
      EXPECT_EQ(block.textResult.GetText(), "");
    }
    EXPECT_EQ(block.errorCode, 0);
    EXPECT_STREQ(DeviceOpName(row.opcode), row.name.c_str());
  }
}

TEST_F(DispatchTest, UnknownCodeCallsNothingAndClearsTheResults) {
  for (int opcode : {2130, 0, -1, 99999}) {
    block.intResult = 7;
    block.textResult.Set("left over");
    Run(opcode);
    EXPECT_TRUE(device.calls.empty());
    EXPECT_EQ(block.intResult, 0);
    EXPECT_EQ(block.textResult.GetText(), "");
    EXPECT_EQ(DeviceOpName(opcode), nullptr);
  }
}

TEST_F(DispatchTest, ClearsTheStatusFieldsBeforeTheOperation) {
  block.messageFlag = 1;
  block.errorCode = 5;
  block.flags = 9;
  Run(OpCode(DeviceOp::Connect));
  EXPECT_EQ(block.messageFlag, 0u);
  EXPECT_EQ(block.errorCode, 0);
  EXPECT_EQ(block.flags, 0u);
}

TEST_F(DispatchTest, TextResultIsCutTo256Bytes) {
  device.textResult = std::string(300, 'x');
  Run(OpCode(DeviceOp::GetModelName));
  EXPECT_EQ(block.textResult.GetText(), std::string(256, 'x'));
  // A cut never leaves half a character: 255 ASCII bytes and a two-byte letter.
  device.textResult = std::string(255, 'x') + "\xC3\xA9" + "tail";
  Run(OpCode(DeviceOp::GetModelName));
  EXPECT_EQ(block.textResult.GetText(), std::string(255, 'x'));
}

TEST_F(DispatchTest, TextArgumentWithoutTerminatorIsReadUpToTheFieldsCapacity) {
  // A block written by another process: text area, zero word and capacity all non-zero.
  std::memset(static_cast<void*>(&block.textArg1), 'a', sizeof(block.textArg1));
  MemoryDevice memory;
  const KernelId track = memory.AddTrack({.artist = "x", .title = "t"});
  block.itemArg1 = track;
  block.opcode = OpCode(DeviceOp::SetTrackArtist);
  memory.Dispatch(&block);
  EXPECT_EQ(memory.GetTrackArtist(track), std::string(256, 'a'));
}

TEST_F(DispatchTest, ThrownErrorBecomesAFailureReply) {
  device.throwInNext = true;
  block.intResult = 3;
  Run(OpCode(DeviceOp::GetTrackTitle));
  EXPECT_EQ(block.errorCode, 0x1234);
  EXPECT_EQ(block.errorTitle.GetText(), "Recorder");
  EXPECT_EQ(block.errorDetail.GetText(), "thrown on purpose");
  EXPECT_EQ(block.intResult, 0);
  EXPECT_EQ(block.textResult.GetText(), "");
  // The next request starts clean.
  device.throwInNext = false;
  Run(OpCode(DeviceOp::GetTrackTitle));
  EXPECT_EQ(block.errorCode, 0);
}

TEST_F(DispatchTest, AnyExceptionBecomesAFailureReplyWithANonZeroCode) {
  MemoryDevice memory;
  block.opcode = OpCode(DeviceOp::MoveQueueEntry);  // index outside the empty queue
  block.intArg1 = 4;
  block.intArg2 = 0;
  memory.Dispatch(&block);
  EXPECT_EQ(block.errorCode, platform::E_INVALIDARG);
  EXPECT_EQ(block.errorTitle.GetText(), "Invalid Argument");
  EXPECT_NE(block.errorDetail.GetText(), "");

  memory.FailWithError(DeviceOp::GetOwnerName, 0, "", "no code given");
  block.opcode = OpCode(DeviceOp::GetOwnerName);
  memory.Dispatch(&block);
  EXPECT_EQ(block.errorCode, platform::E_FAIL);
  EXPECT_EQ(block.errorTitle.GetText(), "Device Error");
  EXPECT_EQ(block.errorDetail.GetText(), "no code given");
}

TEST_F(DispatchTest, NoteTextIsClearedBeforeAReadAndBoundedBothWays) {
  MemoryDevice memory;
  const KernelId note = memory.AddNote(KernelId(), "n", std::string(5000, 'z'));
  std::memset(block.noteText, 'q', sizeof(block.noteText));
  block.itemArg1 = note;
  block.opcode = OpCode(DeviceOp::GetNoteText);
  memory.Dispatch(&block);
  EXPECT_EQ(device::devop::ReadNoteText(block), std::string(4099, 'z'));
  EXPECT_EQ(block.noteText[4099], '\0');
  EXPECT_EQ(block.textResult.GetText(), "");

  // A body without its terminator is read up to the end of the field, no further.
  std::memset(block.noteText, 'w', sizeof(block.noteText));
  block.opcode = OpCode(DeviceOp::SetNoteText);
  memory.Dispatch(&block);
  EXPECT_EQ(memory.GetNoteText(note), std::string(DeviceRequestBlock::kNoteTextSize, 'w'));

  // A device without notes leaves an all-zero note.
  const KernelId other = memory.AddNote(KernelId(), "empty");
  std::memset(block.noteText, 'q', sizeof(block.noteText));
  block.itemArg1 = other;
  block.opcode = OpCode(DeviceOp::GetNoteText);
  memory.Dispatch(&block);
  EXPECT_EQ(std::string(block.noteText, sizeof(block.noteText)),
            std::string(sizeof(block.noteText), '\0'));
}

TEST_F(DispatchTest, RepliesOfTheOperationLandInTheExecutedBlock) {
  MemoryDevice memory;
  block.opcode = OpCode(DeviceOp::ShowAdvancedSoundSettings);
  memory.Dispatch(&block);
  EXPECT_EQ(block.messageFlag, 0xFFFFFFFFu);
  EXPECT_EQ(block.messageText.GetText(),
            "Advanced Sound Settings for this Jukebox model are not yet available.");
  EXPECT_EQ(memory.GetCurrentBlock(), &block);

  memory.FailWithStatus(DeviceOp::UploadTrack, 8, "Storage full.");
  block.opcode = OpCode(DeviceOp::UploadTrack);
  memory.Dispatch(&block);
  EXPECT_EQ(block.intResult, 8);
  EXPECT_EQ(block.replyCode, 8);
  EXPECT_EQ(block.replyText.GetText(), "Storage full.");
  EXPECT_EQ(block.errorCode, 0);
}

// A client generated from the table the way the proxy generates its methods: every call
// is written into a block, run by a device's dispatcher and read back.
class LoopbackDevice : public KernelDevice {
 public:
  explicit LoopbackDevice(KernelDevice& target) : target_(target) {}
  int requests = 0;

#define LOOPBACK_ROW(code, Name, R, Flow, ...)                                                \
  ::device::devop::R::Type Name(DEVOP_PARAMS(__VA_ARGS__)) override {                                 \
    return DEVOP_ROW(code, R, Flow, __VA_ARGS__)::Forward(                                    \
        shared_, [&] { Exchange(code); } DEVOP_COMMA_ARGS(__VA_ARGS__));                      \
  }
  KERNEL_DEVICE_OPERATIONS(LOOPBACK_ROW)
#undef LOOPBACK_ROW

  int EnumFirstPlaylist(KernelId&) override { return 0; }
  int EnumNextPlaylist(KernelId&) override { return 0; }
  int EnumFirstPlaylistItem(const KernelId&, KernelId&) override { return 0; }
  int EnumNextPlaylistItem(const KernelId&, KernelId&) override { return 0; }

 private:
  void Exchange(int code) {
    ++requests;
    shared_.opcode = code;
    target_.Dispatch(&shared_);
    if (shared_.errorCode != 0) {
      throw DeviceError(shared_.errorCode, shared_.errorTitle.Str(), shared_.errorDetail.Str());
    }
  }
  KernelDevice& target_;
  DeviceRequestBlock shared_;
};

TEST(LoopbackTest, OperationsGeneratedFromTheTableCarryArgumentsAndResults) {
  MemoryDevice memory;
  const KernelId a = memory.AddTrack({.artist = "Ann", .album = "One", .title = "A", .genre = "Pop"});
  memory.AddTrack({.artist = "Bob", .album = "Two", .title = "B", .genre = "Pop"});
  LoopbackDevice client(memory);

  KernelId found;
  EXPECT_EQ(client.GetFirstTrackByTags(found, "Ann", "", "Pop"), 1);
  EXPECT_EQ(found, a);
  FixedString256 name;
  EXPECT_EQ(client.GetFirstArtist(name), 2);
  EXPECT_EQ(name.GetText(), "Ann");
  EXPECT_EQ(client.GetNextArtist(name), 1);
  EXPECT_EQ(name.GetText(), "Bob");
  EXPECT_EQ(client.GetTrackTitle(a), "A");

  TrackRecord record;
  record.extraWord1 = 77;  // not filled by the device: must come back as the caller had it
  EXPECT_EQ(client.GetTrackInfo(a, record), 0);
  EXPECT_EQ(record.album.GetText(), "One");
  EXPECT_EQ(record.extraWord1, 77u);

  const KernelId note = memory.AddNote(KernelId(), "n");
  EXPECT_EQ(client.SetNoteText(note, "body"), 0);
  EXPECT_EQ(client.GetNoteText(note), "body");

  ContactRecord contact;
  contact.field[kContactEmail].Set("x@example.org");
  KernelId created;
  EXPECT_EQ(client.CreateContact("X", contact, memory.ContactsRoot(), created), 0);
  ContactRecord back;
  EXPECT_EQ(client.GetContactRecord(created, back), 0);
  EXPECT_EQ(back.field[kContactEmail].GetText(), "x@example.org");

  // A queue entry writes only word 0: the rest of the caller's id stays.
  client.EnqueueTrack(a);
  KernelId entry(0);
  entry.word[2] = 9;
  EXPECT_EQ(client.GetFirstQueueEntry(entry), 1);
  EXPECT_EQ(entry.word[0], a.word[0]);
  EXPECT_EQ(entry.word[2], 9u);

  memory.FailWithError(DeviceOp::GetTrackTitle, platform::E_UNEXPECTED, "Device", "gone");
  EXPECT_THROW(client.GetTrackTitle(a), DeviceError);
}

}  // namespace

}  // namespace device
