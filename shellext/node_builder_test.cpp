// The node builder: the numbers and texts each item type carries.
#include <gtest/gtest.h>

#include "platform/com/allocator.h"
#include "testing/shellext.h"

using namespace device;

namespace shellexttest {
namespace {

using namespace shellext;

class NodeBuilderTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    c_ = Seed(device_);
    Use(device_);
    enumerator_ = new CEnumIDList(nullptr, Folder(0x7777, 0), 0x60);  // a type without a listing: empty
  }
  void TearDown() override {
    enumerator_->Release();
    LibraryTest::TearDown();
  }
  const ShellItemData* Add(std::uint32_t type, const KernelId& id, std::string_view name = "name", int value = 0,
                           std::string_view second = {}) {
    return enumerator_->AddItem(type, id, 5, name, value, second);
  }
  std::string TrackName(const KernelId& track) { return std::string(Add(NT_TRACK, track)->DisplayName()); }

  MemoryDevice device_;
  Catalogue c_;
  CEnumIDList* enumerator_ = nullptr;
};

TEST_F(NodeBuilderTest, AnItemIsOneFixedRecordInAListOfItsOwn) {
  const ShellItemData* item = Add(NT_MESSAGE, KernelId(), "Hello", 9, "ignored");
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->cb, kShellItemSize);
  EXPECT_EQ(std::string(item->signature, 4), "OBXE");
  EXPECT_EQ(item->position, 5);
  EXPECT_EQ(item->DisplayName(), "Hello");
  EXPECT_EQ(item->SecondText(), "");  // a message row ignores the second text
  EXPECT_EQ(item->value3, 0);
  EXPECT_EQ(platform::ItemIdListSize(reinterpret_cast<platform::LPCITEMIDLIST>(item)), kOneItemListSize);
  EXPECT_EQ(enumerator_->ItemCount(), 1u);
}

TEST_F(NodeBuilderTest, RowsThatOpenSomethingCarryTheSecondText) {
  for (std::uint32_t type : {NT_INFOROW, NT_LINK, NT_HELPLINK, NT_ACTION, NT_NOTICE}) {
    EXPECT_EQ(Add(type, KernelId(), "row", 0, "https://x.example/")->SecondText(), "https://x.example/") << type;
  }
  EXPECT_EQ(Add(NT_ERROR, KernelId(), "row", 0, "https://x.example/")->SecondText(), "");
}

TEST_F(NodeBuilderTest, FoldersAskTheDeviceForTheirNumbers) {
  const ShellItemData* tracks = Add(NT_CONTAINER, KernelId(kKindAudioTracks));
  EXPECT_EQ(tracks->itemClass, kClassFolder);
  EXPECT_EQ(tracks->value3, 4);
  EXPECT_EQ(tracks->value2, device_.Info().totalKB);
  const ShellItemData* playlist = Add(NT_PLAYLIST, c_.evening);
  EXPECT_EQ(playlist->value3, 2);
  const ShellItemData* data = Add(NT_DATAFOLDER, c_.documents, "Documents", 3);
  EXPECT_EQ(data->itemClass, kClassRow);
  EXPECT_EQ(data->value3, 3);
  const ShellItemData* file = Add(NT_DATA, c_.top);
  EXPECT_EQ(file->itemClass, kClassDataFile);
  EXPECT_EQ(file->value2, 3);  // bytes
  EXPECT_EQ(Add(NT_NOTE, KernelId(1))->itemClass, kClassNote);
  EXPECT_EQ(Add(NT_FREQ, KernelId(1))->itemClass, kClassFolder);
  EXPECT_EQ(Add(0x2099, KernelId(1))->itemClass, kClassRow);  // unknown types: common fields only
}

TEST_F(NodeBuilderTest, TrackNamesFollowTheDisplayFormatInOnePass) {
  EXPECT_EQ(TrackName(c_.mirror), "Cyra - Glass Rooms - 07 - Mirror");
  struct Case {
    const char* format;
    std::string expected;
  };
  const Case cases[] = {
      {"", "Cyra - Glass Rooms - 07 - Mirror"},
      {"%T (%Y) [%C] %G", "Mirror (0000) [mp3] Pop"},
      {"no tokens at all", "no tokens at all"},
      {"%A%%T", "Cyra%Mirror"},
  };
  for (const Case& c : cases) {
    Settings().SetString("JB_TrackDisplayFormat", c.format);
    EXPECT_EQ(TrackName(c_.mirror), c.expected) << c.format;
  }
  // A tag that holds a token is not filled again.
  Settings().SetString("JB_TrackDisplayFormat", "%A / %T");
  device_.RecordOf(c_.mirror).artist.Set("Band %T");
  device_.RecordOf(c_.mirror).codec = 99;  // unknown codec: empty extension
  device_.InvalidateTrackIndex();
  EXPECT_EQ(TrackName(c_.mirror), "Band %T / Mirror");
  // Display names take the tags as they are.
  device_.RecordOf(c_.mirror).artist.Set("AC/DC");
  device_.RecordOf(c_.mirror).album.Set("");
  device_.InvalidateTrackIndex();
  Settings().SetString("JB_TrackDisplayFormat", "");
  EXPECT_EQ(TrackName(c_.mirror), "AC/DC -  - 07 - Mirror");
  Settings().SetString("JB_TrackDisplayFormat", "%C.");
  EXPECT_EQ(TrackName(c_.mirror), ".");
}

TEST_F(NodeBuilderTest, TrackItemsCarryTheRecordOrTheFileFields) {
  const ShellItemData* track = Add(NT_TRACK, c_.opening);
  EXPECT_EQ(track->itemClass, kClassTrack);
  EXPECT_EQ(track->track.length, 210);
  EXPECT_EQ(track->track.codec, kCodecWav);
  EXPECT_EQ(track->value2, track->track.fileSize);

  // Without a tag index: the file name, and of the record only length and bitrate.
  device_.SetCapability(DeviceOp::SupportsTagIndex, 0);
  const ShellItemData* bare = Add(NT_PLITEM, c_.opening);
  EXPECT_EQ(bare->DisplayName(), device_.GetTrackFileName(c_.opening));
  EXPECT_EQ(bare->track.length, 210);
  EXPECT_EQ(bare->track.bitrate, 128);
  EXPECT_EQ(bare->track.artist.GetText(), "");
  EXPECT_EQ(bare->track.codec, 0);
}

TEST_F(NodeBuilderTest, WithoutMemoryNothingIsListedAndADeviceErrorLeavesNothingBehind) {
  const std::size_t live = platform::ShellAllocatorLiveBlocks();
  {
    platform::ShellAllocatorFailures failing(0, -1);
    EXPECT_EQ(Add(NT_MESSAGE, KernelId()), nullptr);
  }
  device_.FailWithError(DeviceOp::GetFirstPlaylistItem);
  EXPECT_THROW(Add(NT_PLAYLIST, c_.evening), DeviceError);
  EXPECT_EQ(enumerator_->ItemCount(), 0u);
  EXPECT_EQ(platform::ShellAllocatorLiveBlocks(), live);
}

}  // namespace
}  // namespace shellexttest
