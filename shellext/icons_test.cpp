// Which icon every item shows, and the computer's player.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "shellext/computer_player.h"
#include "shellext/extract_icon.h"
#include "shellext/icons.h"
#include "testing/shellext.h"

using namespace device;

namespace shellexttest {
namespace {

using namespace shellext;

class IconsTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    c_ = Seed(device_);
    Use(device_);
    BuildIconTable();
  }
  // An item of a type, id word 0 and codec, with a name and a locked flag.
  ShellItemData Item(std::uint32_t type, std::uint32_t word0, int codec = 0, bool locked = false,
                     std::string_view name = {}, std::int32_t itemClass = kClassRow) {
    ShellItemData item;
    std::memset(static_cast<void*>(&item), 0, sizeof item);
    item.cb = kShellItemSize;
    std::memcpy(item.signature, kShellItemSignature, 4);
    item.nodeType = type;
    item.id.word[0] = word0;
    item.itemClass = itemClass;
    item.track.codec = static_cast<std::uint8_t>(codec);
    item.track.playOnly = locked ? 1 : 0;
    SetItemText(item.displayName, name);
    return item;
  }
  // GetIconLocation and Extract through the icon handler: the large icon's name.
  std::string Shown(const ShellItemData& item) {
    platform::LPITEMIDLIST list = MakeList(item);
    auto* icon = new CExtractIcon(list);
    platform::FreeItemIdList(list);
    char file[512] = {};
    int index = -1;
    platform::UINT flags = 0;
    std::string shown = "none";
    if (icon->GetIconLocation(0, file, sizeof file, &index, &flags) == platform::S_OK) {
      EXPECT_NE(flags & platform::GIL_NOTFILENAME, 0u);
      platform::HICON large = nullptr;
      platform::HICON small = nullptr;
      if (icon->Extract(file, static_cast<platform::UINT>(index), &large, &small, 32) == platform::S_OK && large) {
        shown = platform::IconName(large);
        if (!platform::IconEmblemName(large).empty()) shown += "+" + platform::IconEmblemName(large);
        EXPECT_EQ(platform::IconSize(small), 16);
      }
      platform::DestroyIcon(large);
      platform::DestroyIcon(small);
    }
    icon->Release();
    return shown;
  }

  MemoryDevice device_;
  Catalogue c_;
};

int IndexOf(const IconChoice& choice) { return choice.kind == IconChoice::kIndex ? choice.index : -choice.kind; }

TEST_F(IconsTest, FixedPicturesByNodeTypeAndKind) {
  KernelId root;
  device_.GetDataRootFolder(root);
  struct Case {
    std::uint32_t type;
    std::uint32_t word0;
    int index;
  };
  const Case cases[] = {
      {NT_MEMSEG, 0, 6}, {NT_MEMSEG, 1, 7}, {NT_MEMSEG, 101, 6},  // a medium id past the pictures
      {NT_FMTUNER, 99, 8}, {NT_FREQ, 5, 8},
      {NT_CONTAINER, kKindSearch, 11}, {NT_CONTAINER, kKindActiveQueue, 12}, {NT_CONTAINER, kKindAlbumTracks, 15},
      {NT_CONTAINER, kKindArtistTracks, 14}, {NT_CONTAINER, kKindAudioTracks, 9}, {NT_CONTAINER, kKindLastTransfer, 35},
      {NT_CONTAINER, kKindPlaylistIndex, 36},
      {NT_LISTS, kListArtists, 14}, {NT_LISTS, kListOneArtist, 14}, {NT_LISTS, kListGenres, 16},
      {NT_LISTS, 4000, 13}, {NT_PLAYLIST, 3, 17}, {NT_INFO, 0, 22}, {NT_INFOROW, 0, 22},
      {NT_DATAFOLDER, root.word[0], 10}, {NT_DATAFOLDER, c_.documents.word[0], 23},
      {NT_NOTE, 1, 32}, {NT_CONTACTFOLDER, 1, 31}, {NT_ERROR, 1028, 18}, {NT_ERROR, 0, 25},
      {NT_LINK, 0, 20}, {NT_NOTICE, 0, 20}, {NT_HELPLINK, 0, 24},
      {NT_ACTION, 2056, 11}, {NT_ACTION, 2072, 13}, {NT_ACTION, 2082, 30}, {NT_ACTION, 2083, 31},
      {NT_ACTION, 2084, 32}, {NT_ACTION, kActionOpenLocation, 10}, {NT_ACTION, kActionFillDialog, 26},
      {NT_ACTION, 0, 24},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IndexOf(ChooseIcon(Item(c.type, c.word0), device_)), c.index) << std::hex << c.type << " " << std::dec
                                                                            << c.word0;
  }
  device_.FailWithError(DeviceOp::GetDataRootFolder);
  EXPECT_EQ(IndexOf(ChooseIcon(Item(NT_DATAFOLDER, 3), device_)), 31);
  EXPECT_EQ(ChooseIcon(Item(NT_MESSAGE, 0), device_).kind, IconChoice::kNone);
  EXPECT_EQ(ChooseIcon(Item(NT_NONE, 0), device_).kind, IconChoice::kNoIcon);
}

// The folders listed side by side in the root and the Playlists folder show pictures a
// person tells apart, on a desktop theme with the names and on one with only the fallbacks.
TEST_F(IconsTest, TheTopFoldersHavePicturesOfTheirOwn) {
  const std::pair<std::uint32_t, std::uint32_t> folders[] = {
      {NT_CONTAINER, kKindAudioTracks}, {NT_CONTAINER, kKindLastTransfer}, {NT_CONTAINER, kKindPlaylistIndex},
      {NT_LISTS, kListPlaylists},       {NT_LISTS, kListArtists},          {NT_LISTS, kListAlbums},
      {NT_LISTS, kListGenres},          {NT_CONTAINER, kKindSearch},       {NT_CONTAINER, kKindActiveQueue},
      {NT_PLAYLIST, 3}};
  // Whichever of its two pictures the theme has, no other folder shows it.
  std::set<std::string> pictures;
  for (const auto& [type, kind] : folders) {
    const IconEntry e = IconAt(IndexOf(ChooseIcon(Item(type, kind), device_)));
    EXPECT_TRUE(pictures.insert(e.name).second) << e.name;
    if (!e.fallback.empty()) {
      EXPECT_TRUE(pictures.insert(e.fallback).second) << e.fallback;
    }
  }
}

TEST_F(IconsTest, TracksShowLockedCodecOrFileTypePictures) {
  EXPECT_EQ(IndexOf(ChooseIcon(Item(NT_TRACK, 1, kCodecM4p, true), device_)), 18);  // locked wins
  EXPECT_EQ(IndexOf(ChooseIcon(Item(NT_PLITEM, 1, kCodecM4a), device_)), 27);
  EXPECT_EQ(IndexOf(ChooseIcon(Item(NT_QITEM, 1, kCodecM4p), device_)), 28);
  EXPECT_EQ(IndexOf(ChooseIcon(Item(NT_INDEXTRACK, 1, kCodecM4b), device_)), 29);
  EXPECT_EQ(ChooseIcon(Item(NT_TRACK, 1, kCodecMp3), device_).kind, IconChoice::kFileType);

  EXPECT_EQ(Shown(Item(NT_TRACK, 1, kCodecMp3, false, "anything", kClassTrack)), "audio-mpeg");
  EXPECT_EQ(Shown(Item(NT_PLITEM, 1, kCodecMp3, false, "", kClassTrack)), "audio-mpeg+emblem-symbolic-link");
  EXPECT_EQ(Shown(Item(NT_TRACK, 1, kCodecMp3, true, "", kClassTrack)), "changes-prevent");
  EXPECT_EQ(Shown(Item(NT_DATA, 1, 0, false, "notes.txt", kClassDataFile)), "text-plain");
  EXPECT_EQ(Shown(Item(NT_MESSAGE, 0)), "none");
  EXPECT_EQ(Shown(Item(NT_ACTION, kActionFillDialog)), "document-send");
  // Without a tag index a track is named by its file name.
  device_.SetCapability(DeviceOp::SupportsTagIndex, 0);
  EXPECT_EQ(Shown(Item(NT_TRACK, 1, kCodecMp3, false, "song.wav", kClassTrack)), "audio-x-wav");
}

TEST_F(IconsTest, OneFileTypeIsAskedForOnce) {
  const int before = IconCount();
  const FileTypeKey a = FileTypeKeyOf(Item(NT_DATA, 1, 0, false, "a.csv", kClassDataFile), device_);
  const FileTypeKey b = FileTypeKeyOf(Item(NT_DATA, 2, 0, false, "b.CSV.csv", kClassDataFile), device_);
  EXPECT_EQ(a.key, ".csv");
  EXPECT_EQ(b.key, ".csv");
  EXPECT_EQ(FileTypeIcon(a, false), FileTypeIcon(b, false));
  EXPECT_EQ(IconCount(), before + 1);
  // A playlist entry and a track of one codec keep apart.
  const FileTypeKey track = FileTypeKeyOf(Item(NT_TRACK, 1, kCodecMp3, false, "", kClassTrack), device_);
  const FileTypeKey entry = FileTypeKeyOf(Item(NT_PLITEM, 1, kCodecMp3, false, "", kClassTrack), device_);
  EXPECT_EQ(track.key, ".mp3");
  EXPECT_EQ(entry.key, ".mp3lnk");
  EXPECT_NE(FileTypeIcon(track, false), FileTypeIcon(entry, true));
  EXPECT_EQ(FileTypeKeyOf(Item(NT_DATA, 1, 0, false, "README", kClassDataFile), device_).key, "");
  BuildIconTable();
  EXPECT_EQ(IconCount(), kFixedIconCount);
  EXPECT_FALSE(CachedFileTypeIcon(".csv"));
}

TEST_F(IconsTest, TheComputersPlayerFollowsTheTagIndex) {
  std::string name;
  device_.SetCapability(DeviceOp::SupportsTagIndex, 0);
  EXPECT_EQ(GetPlaybackApplication(), kPlaybackMediaPlayer);
  device_.SetCapability(DeviceOp::SupportsTagIndex, 1);
  EXPECT_EQ(GetPlaybackApplication(), kPlaybackPlaylistHandler);
  EXPECT_EQ(GetDefaultPlayerName(name), "Playback Software");
  desktop_.AddApplication("lister.desktop", " Lister ", "/usr/bin/lister", {"audio/x-mpegurl"});
  desktop_.choices["audio/x-mpegurl"] = "lister.desktop";
  EXPECT_EQ(GetDefaultPlayerName(name), "Lister");
  // A family without a tag index is played by the same desktop handler, and named so.
  device_.SetCapability(DeviceOp::SupportsTagIndex, 0);
  EXPECT_EQ(GetDefaultPlayerName(name), "Lister");
}

}  // namespace
}  // namespace shellexttest
