#include <sys/stat.h>

#include <algorithm>
#include <thread>

#include "testing/sim_player.h"

namespace platform {
namespace testing_sim {
namespace {

TEST_F(SimSdkTest, ConnectsAndFindsBothRoots) {
  std::map<std::string, std::uint32_t> roots;
  SdkItem item;
  for (SdkResult r = sdk_->FindFirstRootItem(kDev, &item); r == kSdkOk;
       r = sdk_->FindNextRootItem(kDev, &item)) {
    roots[SdkStringToUtf8(item.name)] = item.id;
  }
  EXPECT_EQ(roots, (std::map<std::string, std::uint32_t>{{"DATA", 1}, {"PLAY LISTS", 2}}));
  EXPECT_EQ(sdk_->FindNextRootItem(kDev, &item), kSdkErrNoMoreItems);
  std::uint16_t version[4] = {};
  EXPECT_EQ(sdk_->GetSdkVersion(version), kSdkOk);
  EXPECT_NE(version[0], 0);
  // Only device 1 exists.
  EXPECT_EQ(sdk_->FindFirstRootItem(2, &item), kSdkErrNotConnected);
}

TEST_F(SimSdkTest, FolderWithoutPlayerIsNoDeviceUntilOneAppears) {
  const std::string empty = FromPosixPath(dir_ + "/later");
  auto sdk = CreateVendorSdk(empty);
  ASSERT_NE(sdk, nullptr);
  ASSERT_EQ(sdk->Initialize(), kSdkOk);
  int count = -1;
  EXPECT_EQ(sdk->GetDeviceCount(&count), kSdkOk);
  EXPECT_EQ(count, 0);
  SdkItem item;
  EXPECT_EQ(sdk->FindFirstRootItem(kDev, &item), kSdkErrNotConnected);
  std::string error;
  ASSERT_TRUE(CreateSimPlayer(empty, {}, &error)) << error;
  EXPECT_EQ(sdk->GetDeviceCount(&count), kSdkOk);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(sdk->FindFirstRootItem(kDev, &item), kSdkOk);
}

TEST_F(SimSdkTest, NotInstalledGivesNoObject) {
  SetVendorSdkInstalled(false);
  EXPECT_EQ(CreateVendorSdk(folder_), nullptr);
  SetVendorSdkInstalled(true);
  EXPECT_NE(CreateVendorSdk(folder_), nullptr);
}

TEST_F(SimSdkTest, TrackUploadListAttributesAndByteIdenticalCopyOut) {
  const std::vector<char> content = RandomBytes(3 * 1024 * 1024 + 17, 1);
  TrackTags tags;
  tags.title = "Caf\xC3\xA9 Song";
  tags.artist = "The Band";
  tags.codec = "mp3";
  tags.length = 215;
  tags.number = 7;
  tags.year = 1999;
  const std::uint32_t id = UploadTrack(MakeFile("in.mp3", content), tags);
  ASSERT_NE(id, 0u);
  ASSERT_NE(id, kSdkAllTracksId);

  // Progress ran up to 100 per cent before the end notice.
  std::vector<WPARAM> progress;
  for (const Notice& n : notices_) {
    if (n.message == kSdkUploadProgress) progress.push_back(n.wParam);
  }
  ASSERT_FALSE(progress.empty());
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ(progress.back(), 100u);

  const std::vector<SdkItem> tracks = Children(kAllTracks);
  ASSERT_EQ(tracks.size(), 1u);
  EXPECT_EQ(tracks[0].id, id);
  EXPECT_EQ(tracks[0].type, kSdkTrack);
  EXPECT_EQ(SdkStringToUtf8(tracks[0].name), tags.title);

  auto attrs = Attributes(Item(id, kSdkTrack));
  EXPECT_EQ(attrs["TITLE"].text, tags.title);
  EXPECT_EQ(attrs["ARTIST"].text, "The Band");
  EXPECT_EQ(attrs["ALBUM"].text, "Album");
  EXPECT_EQ(attrs["GENRE"].text, "Genre");
  EXPECT_EQ(attrs["CODEC"].text, "MP3");
  EXPECT_EQ(attrs["FILE SIZE"].number, content.size());  // the real size, not the block's 0
  EXPECT_EQ(attrs["LENGTH"].number, 215u);
  EXPECT_EQ(attrs["TRACK NUM"].number, 7u);
  EXPECT_EQ(attrs["YEAR"].number, 1999u);
  EXPECT_EQ(attrs["PLAYONLY"].number, 0u);

  const std::string out = dir_ + "/out.mp3";
  EXPECT_EQ(Download(Item(id, kSdkTrack), out), kSdkOk);
  EXPECT_TRUE(ReadFile(out) == content);
  Notice n{};
  EXPECT_TRUE(Take(kSdkDownloadProgress, &n));
}

TEST_F(SimSdkTest, CopyOutTargetExistsWhenTheCallReturns) {
  const std::vector<char> content = RandomBytes(8 * 1024 * 1024, 2);
  const std::uint32_t id = UploadTrack(MakeFile("big.mp3", content));
  const std::string out = dir_ + "/stream.mp3";
  ASSERT_EQ(StartDownload(Item(id, kSdkTrack), out), kSdkOk);
  struct stat st;
  EXPECT_EQ(::stat(out.c_str(), &st), 0);  // a reader may open it at once
  Notice done{};
  ASSERT_TRUE(Take(kSdkDownloadDone, &done));
  EXPECT_EQ(done.wParam, kSdkOk);
  EXPECT_TRUE(ReadFile(out) == content);
}

TEST_F(SimSdkTest, CopyOutRefusals) {
  const std::uint32_t id = UploadTrack(MakeFile("a.mp3", RandomBytes(1000, 3)));
  const std::uint32_t folder = MakeFolder("F");
  SimItem track;
  ASSERT_TRUE(player_->GetItem(id, &track));
  struct Case {
    const char* what;
    SdkItem item;
    std::string dest;
    SdkResult expected;
  };
  const Case cases[] = {
      {"unknown id", Item(9999, kSdkTrack), dir_ + "/x", kSdkErrInvalidId},
      {"a folder", Item(folder, kSdkDataFolder), dir_ + "/x", kSdkErrUnsupportedType},
      {"a track named as a data file", Item(id, kSdkDataFile), dir_ + "/x", kSdkErrInvalidId},
      {"a folder that does not exist", Item(id, kSdkTrack), dir_ + "/no/x", kSdkErrBadPath},
      {"the player's own file", Item(id, kSdkTrack), player_->ContentPath(track), kSdkErrBadPath},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StartDownload(c.item, c.dest), c.expected) << c.what;
  }
  EXPECT_EQ(ReadFile(player_->ContentPath(track)).size(), 1000u);
  EXPECT_EQ(sdk_->GetItemToFile(kDev, nullptr, Item(id, kSdkTrack)), kSdkErrInvalidArg);
}

TEST_F(SimSdkTest, AttributeSizeProbeAndShortBuffer) {
  const std::uint32_t id = UploadTrack(MakeFile("a.mp3", RandomBytes(10, 4)));
  std::uint32_t size = 0;
  ASSERT_EQ(sdk_->GetItemAttributes(kDev, Item(id, kSdkTrack), 0, &size, nullptr), kSdkOk);
  ASSERT_GT(size, 2u);
  std::vector<std::uint8_t> buffer(size);
  std::uint32_t got = 0;
  EXPECT_EQ(sdk_->GetItemAttributes(kDev, Item(id, kSdkTrack), size - 1, &got, buffer.data()),
            kSdkErrInvalidArg);
  EXPECT_EQ(got, size);  // the caller learns what it needs
  EXPECT_EQ(sdk_->GetItemAttributes(kDev, Item(id, kSdkTrack), size, &got, buffer.data()), kSdkOk);
  std::vector<SdkAttribute> attrs;
  EXPECT_TRUE(ParseAttributeBlock(buffer.data(), got, &attrs));
  // The probe is the existence test.
  EXPECT_EQ(sdk_->GetItemAttributes(kDev, Item(id + 100, kSdkTrack), 0, &size, nullptr),
            kSdkErrInvalidId);
  EXPECT_EQ(sdk_->GetItemAttributes(kDev, Item(id, kSdkDataFile), 0, &size, nullptr),
            kSdkErrInvalidId);
}

TEST_F(SimSdkTest, SettingTrackAttributes) {
  const std::uint32_t id = UploadTrack(MakeFile("a.mp3", RandomBytes(10, 5)));
  const SdkItem track = Item(id, kSdkTrack);
  const std::uint32_t three = 3;
  const std::string wide = std::string("N\0e\0w\0", 6);  // UTF-16 "New"
  struct Case {
    const char* what;
    const char16_t* name;
    std::uint16_t type;
    std::uint32_t length;
    const void* value;
    SdkResult expected;
  };
  const Case cases[] = {
      {"title as text", u"TITLE", kSdkAttrText, 5, "Hello", kSdkOk},
      {"artist as UTF-16", u"ARTIST", kSdkAttrUtf16, 6, wide.data(), kSdkOk},
      {"year as number", u"YEAR", kSdkAttrNumber, 4, &three, kSdkOk},
      {"track number", u"TRACK NUM", kSdkAttrNumber, 4, &three, kSdkOk},
      {"codec is read-only", u"CODEC", kSdkAttrText, 3, "WMA", kSdkErrUnsupportedType},
      {"file size is read-only", u"FILE SIZE", kSdkAttrNumber, 4, &three, kSdkErrUnsupportedType},
      {"title given as number", u"TITLE", kSdkAttrNumber, 4, &three, kSdkErrUnsupportedType},
      {"number of 3 bytes", u"YEAR", kSdkAttrNumber, 3, &three, kSdkErrInvalidArg},
      {"odd UTF-16 length", u"ALBUM", kSdkAttrUtf16, 3, "abc", kSdkErrInvalidArg},
      {"unknown value type", u"ALBUM", 9, 1, "a", kSdkErrUnsupportedType},
      {"no name", nullptr, kSdkAttrText, 1, "a", kSdkErrInvalidArg},
      {"no value", u"ALBUM", kSdkAttrText, 4, nullptr, kSdkErrInvalidArg},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sdk_->SetItemAttribute(kDev, track, c.name, c.type, c.length, c.value), c.expected)
        << c.what;
  }
  auto attrs = Attributes(track);
  EXPECT_EQ(attrs["TITLE"].text, "Hello");
  EXPECT_EQ(attrs["ARTIST"].text, "New");
  EXPECT_EQ(attrs["YEAR"].number, 3u);
  EXPECT_EQ(attrs["TRACK NUM"].number, 3u);
  EXPECT_EQ(attrs["CODEC"].text, "MP3");
  EXPECT_EQ(SetText(Item(id + 50, kSdkTrack), u"TITLE", "x"), kSdkErrInvalidId);
}

TEST_F(SimSdkTest, DataFilesAndFolders) {
  const std::vector<char> content = RandomBytes(5000, 6);
  const std::uint32_t docs = MakeFolder("Docs");
  const std::uint32_t file = UploadData(MakeFile("note.txt", content), docs, "note.txt");
  ASSERT_NE(docs, 0u);
  ASSERT_NE(file, 0u);

  const std::vector<SdkItem> top = Children(kDataRoot);
  ASSERT_EQ(top.size(), 1u);
  EXPECT_EQ(top[0].type, kSdkDataFolder);
  EXPECT_EQ(SdkStringToUtf8(top[0].name), "Docs");
  const std::vector<SdkItem> inside = Children(Item(docs, kSdkDataFolder));
  ASSERT_EQ(inside.size(), 1u);
  EXPECT_EQ(inside[0].id, file);
  EXPECT_EQ(inside[0].type, kSdkDataFile);
  // The data root answers to both data types.
  EXPECT_EQ(ChildIds(Item(kSdkDataRootId, kSdkDataFolder)), std::vector<std::uint32_t>{docs});

  auto fileAttrs = Attributes(Item(file, kSdkDataFile));
  EXPECT_EQ(fileAttrs["FILE NAME"].text, "note.txt");
  EXPECT_EQ(fileAttrs["FILE SIZE"].number, 5000u);
  EXPECT_EQ(fileAttrs["PARENT FOLDER"].number, docs);
  EXPECT_EQ(fileAttrs["MODIFIED FILETIME"].number, 1100000000u);
  EXPECT_EQ(fileAttrs["FILE ATTRIB"].number, 0x20u);
  EXPECT_EQ(fileAttrs.count("FOLDER NAME"), 0u);
  auto folderAttrs = Attributes(Item(docs, kSdkDataFolder));
  EXPECT_EQ(folderAttrs["FOLDER NAME"].text, "Docs");
  EXPECT_EQ(folderAttrs["PARENT FOLDER"].number, kSdkDataRootId);

  EXPECT_EQ(Download(Item(file, kSdkDataFile), dir_ + "/back.txt"), kSdkOk);
  EXPECT_TRUE(ReadFile(dir_ + "/back.txt") == content);

  // Renames, with names taken in the same folder refused (without regard to case).
  const std::uint32_t other = UploadData(MakeFile("b.txt", {'b'}), docs, "b.txt");
  EXPECT_EQ(SetText(Item(other, kSdkDataFile), u"FILE NAME", "NOTE.TXT"), kSdkErrFileExists);
  EXPECT_EQ(SetText(Item(other, kSdkDataFile), u"FILE NAME", "c.txt"), kSdkOk);
  EXPECT_EQ(SetText(Item(other, kSdkDataFile), u"FILE NAME", "a\\b"), kSdkErrInvalidArg);
  EXPECT_EQ(SetText(Item(other, kSdkDataFile), u"FOLDER NAME", "x"), kSdkErrUnsupportedType);
  const std::uint32_t sub = MakeFolder("Sub", docs);
  EXPECT_EQ(SetText(Item(sub, kSdkDataFolder), u"FOLDER NAME", "Docs2"), kSdkOk);
  EXPECT_EQ(SetText(Item(sub, kSdkDataFolder), u"FILE NAME", "c.txt"), kSdkErrFolderExists);
  EXPECT_EQ(Attributes(Item(sub, kSdkDataFolder))["FOLDER NAME"].text, "Docs2");
  EXPECT_EQ(StartFolder("DOCS2", docs), kSdkErrFolderExists);
  EXPECT_EQ(StartDataUpload(MakeFile("dup", {'x'}), docs, "c.TXT"), kSdkErrFileExists);
  EXPECT_EQ(StartDataUpload(MakeFile("dup2", {'x'}), 4242, "z"), kSdkErrInvalidId);
}

TEST_F(SimSdkTest, MovingDataItemsRefusesCycles) {
  const std::uint32_t a = MakeFolder("A");
  const std::uint32_t b = MakeFolder("B");
  const std::uint32_t c = MakeFolder("C", a);
  const std::uint32_t f = UploadData(MakeFile("f", {'f'}), kSdkDataRootId, "f");
  struct Case {
    const char* what;
    std::uint32_t item, type, target;
    SdkResult expected;
  };
  const Case cases[] = {
      {"folder into itself", a, kSdkDataFolder, a, kSdkErrInvalidArg},
      {"folder below itself", a, kSdkDataFolder, c, kSdkErrInvalidArg},
      {"into a file", b, kSdkDataFolder, f, kSdkErrInvalidId},
      {"into nothing", b, kSdkDataFolder, 777, kSdkErrInvalidId},
      {"folder into a sibling", b, kSdkDataFolder, a, kSdkOk},
      {"file named as type 3, into a folder", f, kSdkDataFile, c, kSdkOk},
      {"folder named as type 3 (as the driver deletes)", b, kSdkDataFile, kSdkDataRootId, kSdkOk},
      {"back below its own child", a, kSdkDataFolder, c, kSdkErrInvalidArg},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(SetNumber(Item(k.item, k.type), u"PARENT FOLDER", k.target), k.expected) << k.what;
  }
  EXPECT_EQ(ChildIds(kDataRoot), (std::vector<std::uint32_t>{a, b}));
  EXPECT_EQ(ChildIds(Item(a, kSdkDataFolder)), std::vector<std::uint32_t>{c});
  EXPECT_EQ(ChildIds(Item(c, kSdkDataFolder)), std::vector<std::uint32_t>{f});
  EXPECT_EQ(Attributes(Item(f, kSdkDataFile))["PARENT FOLDER"].number, c);

  // A name taken in the target folder is refused and nothing moves.
  const std::uint32_t f2 = UploadData(MakeFile("f2", {'g'}), kSdkDataRootId, "F");
  EXPECT_EQ(SetNumber(Item(f2, kSdkDataFile), u"PARENT FOLDER", c), kSdkErrFileExists);
  const std::uint32_t c2 = MakeFolder("c");
  EXPECT_EQ(SetNumber(Item(c2, kSdkDataFolder), u"PARENT FOLDER", a), kSdkErrFolderExists);
  EXPECT_EQ(ChildIds(kDataRoot), (std::vector<std::uint32_t>{a, b, f2, c2}));
}

TEST_F(SimSdkTest, DeletingItems) {
  const std::uint32_t t1 = UploadTrack(MakeFile("1.mp3", {'1'}));
  const std::uint32_t t2 = UploadTrack(MakeFile("2.mp3", {'2'}));
  const SdkItem pl = MakePlaylist(u"Mix", {t1, t2, t1});
  const std::uint32_t folder = MakeFolder("Full");
  const std::uint32_t file = UploadData(MakeFile("d", {'d'}), folder, "d");

  EXPECT_EQ(sdk_->DeleteItem(kDev, Item(folder, kSdkDataFolder)), kSdkErrFail);  // not empty
  EXPECT_EQ(ChildIds(Item(folder, kSdkDataFolder)), std::vector<std::uint32_t>{file});
  EXPECT_EQ(sdk_->DeleteItem(kDev, Item(file, kSdkDataFile)), kSdkOk);
  EXPECT_EQ(sdk_->DeleteItem(kDev, Item(folder, kSdkDataFile)), kSdkOk);  // type 3 for a folder
  EXPECT_TRUE(Children(kDataRoot).empty());
  EXPECT_EQ(sdk_->DeleteItem(kDev, Item(kSdkDataRootId, kSdkDataFolder)), kSdkErrInvalidArg);

  // A deleted track leaves every playlist.
  EXPECT_EQ(sdk_->DeleteItem(kDev, Item(t1, kSdkTrack)), kSdkOk);
  EXPECT_EQ(ChildIds(pl), std::vector<std::uint32_t>{t2});
  EXPECT_EQ(ChildIds(kAllTracks), std::vector<std::uint32_t>{t2});
  EXPECT_EQ(sdk_->DeleteItem(kDev, Item(t1, kSdkTrack)), kSdkErrInvalidId);

  // Ids are never given out again.
  const std::uint32_t t3 = UploadTrack(MakeFile("3.mp3", {'3'}));
  EXPECT_GT(t3, std::max({t1, t2, folder, file, pl.id}));
}

TEST_F(SimSdkTest, Playlists) {
  const std::uint32_t a = UploadTrack(MakeFile("a.mp3", {'a'}));
  const std::uint32_t b = UploadTrack(MakeFile("b.mp3", {'b'}));
  SdkItem rock, jazz;
  rock.type = jazz.type = kSdkPlaylist;
  rock.name = u"Rock";
  jazz.name = u"Rock";  // names need not be unique
  ASSERT_EQ(sdk_->CreatePlaylist(kDev, kPlaylistRoot, &rock), kSdkOk);
  ASSERT_EQ(sdk_->CreatePlaylist(kDev, kPlaylistRoot, &jazz), kSdkOk);
  EXPECT_NE(rock.id, jazz.id);
  EXPECT_EQ(sdk_->RenamePlaylist(kDev, jazz, u"Jazz"), kSdkOk);
  EXPECT_EQ(sdk_->RenamePlaylist(kDev, jazz, u""), kSdkErrInvalidArg);

  std::vector<std::pair<std::uint32_t, std::string>> listed;
  SdkItem p;
  for (SdkResult r = sdk_->FindFirstPlaylist(kDev, kPlaylistRoot, &p); r == kSdkOk;
       r = sdk_->FindNextPlaylist(kDev, kPlaylistRoot, &p)) {
    EXPECT_EQ(p.type, kSdkPlaylist);
    listed.emplace_back(p.id, SdkStringToUtf8(p.name));
  }
  EXPECT_EQ(listed, (std::vector<std::pair<std::uint32_t, std::string>>{{rock.id, "Rock"},
                                                                        {jazz.id, "Jazz"}}));

  const SdkItem first[] = {Item(b, kSdkTrack), Item(a, kSdkTrack)};
  EXPECT_EQ(sdk_->AddTracksToPlaylist(kDev, rock, 2, first), kSdkOk);
  const SdkItem more[] = {Item(b, kSdkTrack), Item(999, kSdkTrack)};
  EXPECT_EQ(sdk_->AddTracksToPlaylist(kDev, rock, 2, more), kSdkErrInvalidId);  // none added
  const SdkItem again[] = {Item(b, kSdkTrack)};
  EXPECT_EQ(sdk_->AddTracksToPlaylist(kDev, rock, 1, again), kSdkOk);
  EXPECT_EQ(ChildIds(rock), (std::vector<std::uint32_t>{b, a, b}));
  EXPECT_TRUE(Children(jazz).empty());

  EXPECT_EQ(sdk_->DeletePlaylist(kDev, rock), kSdkOk);
  EXPECT_EQ(sdk_->DeletePlaylist(kDev, rock), kSdkErrInvalidId);
  ASSERT_EQ(sdk_->FindFirstPlaylist(kDev, kPlaylistRoot, &p), kSdkOk);
  EXPECT_EQ(p.id, jazz.id);
  EXPECT_EQ(sdk_->FindNextPlaylist(kDev, kPlaylistRoot, &p), kSdkErrNoMoreItems);
  EXPECT_EQ(ChildIds(kAllTracks), (std::vector<std::uint32_t>{a, b}));  // tracks stay
  SdkItem wrongRoot = Item(kSdkDataRootId, kSdkDataFolder);
  EXPECT_EQ(sdk_->FindFirstPlaylist(kDev, wrongRoot, &p), kSdkErrInvalidId);
}

TEST_F(SimSdkTest, EachParentKeepsItsOwnCursor) {
  const std::uint32_t a = MakeFolder("A");
  const std::uint32_t b = MakeFolder("B");
  std::vector<std::uint32_t> inA, inB;
  for (int i = 0; i < 3; ++i) {
    inA.push_back(UploadData(MakeFile("a" + std::to_string(i), {'a'}), a, "a" + std::to_string(i)));
    inB.push_back(UploadData(MakeFile("b" + std::to_string(i), {'b'}), b, "b" + std::to_string(i)));
  }
  const std::uint32_t t = UploadTrack(MakeFile("t.mp3", {'t'}));
  const SdkItem A = Item(a, kSdkDataFolder), B = Item(b, kSdkDataFolder);

  SdkItem x;
  EXPECT_EQ(sdk_->FindNextChild(kDev, A, &x), kSdkErrNoMoreItems);  // no walk begun yet
  ASSERT_EQ(sdk_->FindFirstChild(kDev, A, &x), kSdkOk);
  EXPECT_EQ(x.id, inA[0]);
  ASSERT_EQ(sdk_->FindFirstChild(kDev, B, &x), kSdkOk);
  EXPECT_EQ(x.id, inB[0]);
  ASSERT_EQ(sdk_->FindFirstChild(kDev, kAllTracks, &x), kSdkOk);
  EXPECT_EQ(x.id, t);
  ASSERT_EQ(sdk_->FindNextChild(kDev, A, &x), kSdkOk);
  EXPECT_EQ(x.id, inA[1]);
  // Removing the next entry of a walk neither stops it nor repeats an entry.
  ASSERT_EQ(sdk_->DeleteItem(kDev, Item(inB[1], kSdkDataFile)), kSdkOk);
  ASSERT_EQ(sdk_->FindNextChild(kDev, B, &x), kSdkOk);
  EXPECT_EQ(x.id, inB[2]);
  EXPECT_EQ(sdk_->FindNextChild(kDev, B, &x), kSdkErrNoMoreItems);
  EXPECT_EQ(sdk_->FindNextChild(kDev, kAllTracks, &x), kSdkErrNoMoreItems);
  ASSERT_EQ(sdk_->FindNextChild(kDev, A, &x), kSdkOk);
  EXPECT_EQ(x.id, inA[2]);
  EXPECT_EQ(sdk_->FindNextChild(kDev, A, &x), kSdkErrNoMoreItems);

  // Parents that cannot have children.
  EXPECT_EQ(sdk_->FindFirstChild(kDev, Item(inA[0], kSdkDataFile), &x), kSdkErrUnsupportedType);
  EXPECT_EQ(sdk_->FindFirstChild(kDev, Item(t, kSdkTrack), &x), kSdkErrUnsupportedType);
  EXPECT_EQ(sdk_->FindFirstChild(kDev, Item(5555, kSdkDataFolder), &x), kSdkErrInvalidId);
}

TEST_F(SimSdkTest, NoticesArriveAfterTheCallReturns) {
  ASSERT_EQ(Call([&] { return StartFolder("New", kSdkDataRootId); }), kSdkOk);
  Notice done{};
  ASSERT_TRUE(Take(kSdkUploadDone, &done));
  EXPECT_FALSE(done.duringCall);
  EXPECT_EQ(done.wParam, kSdkOk);
  EXPECT_EQ(ChildIds(kDataRoot), std::vector<std::uint32_t>{std::uint32_t(done.lParam)});

  const std::uint32_t id = UploadTrack(MakeFile("t.mp3", RandomBytes(100000, 9)));
  ASSERT_EQ(Call([&] { return StartDownload(Item(id, kSdkTrack), dir_ + "/t.out"); }), kSdkOk);
  ASSERT_TRUE(Take(kSdkDownloadDone, &done));
  for (const Notice& n : notices_) EXPECT_FALSE(n.duringCall) << n.message;
}

TEST_F(SimSdkTest, NoticesFromAnotherThreadsCallsReachTheWindow) {
  // The driver's window thread pumps while a worker thread calls.
  std::uint32_t id = 0;
  std::thread worker([&] {
    const auto block = TrackBlock({});
    const SdkString source = Utf8ToSdkString(MakeFile("w.mp3", RandomBytes(1000, 10)));
    EXPECT_EQ(sdk_->AddItem(kDev, kSdkTrack, source.c_str(), std::uint32_t(block.size()),
                            block.data()),
              kSdkOk);
  });
  worker.join();
  Notice done{};
  ASSERT_TRUE(Take(kSdkUploadDone, &done));
  id = std::uint32_t(done.lParam);
  EXPECT_EQ(ChildIds(kAllTracks), std::vector<std::uint32_t>{id});
}

TEST_F(SimSdkTest, PlaybackEndsOnItsTimer) {
  TrackTags oneSecond;
  oneSecond.length = 1;
  const std::uint32_t id = UploadTrack(MakeFile("p.mp3", {'p'}), oneSecond);
  SdkItem track = Item(id, kSdkTrack);
  const auto start = Clock::now();
  ASSERT_EQ(sdk_->PlaybackControl(kDev, kSdkPlay, &track), kSdkOk);
  Notice n{};
  ASSERT_TRUE(Take(kSdkTrackStarted, &n));
  EXPECT_EQ(n.wParam, id);
  ASSERT_TRUE(Take(kSdkPlaybackStopped, &n, 5000));
  const auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(950));
  EXPECT_LT(elapsed, std::chrono::milliseconds(3000));
}

TEST_F(SimSdkTest, PlaybackCommands) {
  TrackTags longer;
  longer.length = 1;
  const std::uint32_t id = UploadTrack(MakeFile("p.mp3", {'p'}), longer);
  longer.length = 60;
  const std::uint32_t other = UploadTrack(MakeFile("q.mp3", {'q'}), longer);
  SdkItem track = Item(id, kSdkTrack), second = Item(other, kSdkTrack);
  int resume = 0;

  EXPECT_EQ(sdk_->PlaybackControl(kDev, kSdkPause, nullptr), kSdkErrFail);  // nothing plays
  EXPECT_EQ(sdk_->PlaybackControl(kDev, kSdkResume, &resume), kSdkErrFail);
  SdkItem missing = Item(id + 99, kSdkTrack);
  EXPECT_EQ(sdk_->PlaybackControl(kDev, kSdkPlay, &missing), kSdkErrInvalidId);
  EXPECT_EQ(sdk_->PlaybackControl(kDev, kSdkPlay, nullptr), kSdkErrInvalidArg);
  EXPECT_EQ(sdk_->PlaybackControl(kDev, 9, nullptr), kSdkErrInvalidArg);

  // Paused time does not count: a 1-second track paused for 1.5 s is still playing.
  ASSERT_EQ(sdk_->PlaybackControl(kDev, kSdkPlay, &track), kSdkOk);
  ASSERT_EQ(sdk_->PlaybackControl(kDev, kSdkPause, nullptr), kSdkOk);
  PumpUntil([] { return false; }, 1500);
  EXPECT_EQ(Count(kSdkPlaybackStopped), 0u);
  ASSERT_EQ(sdk_->PlaybackControl(kDev, kSdkResume, &resume), kSdkOk);
  Notice n{};
  ASSERT_TRUE(Take(kSdkPlaybackStopped, &n, 5000));

  // Another track replaces the one playing without a stopped notice; stop gives one.
  ASSERT_EQ(sdk_->PlaybackControl(kDev, kSdkPlay, &second), kSdkOk);
  ASSERT_EQ(sdk_->PlaybackControl(kDev, kSdkPlay, &track), kSdkOk);
  ASSERT_EQ(sdk_->PlaybackControl(kDev, kSdkPlay, &second), kSdkOk);
  EXPECT_EQ(sdk_->PlaybackControl(kDev, kSdkStop, nullptr), kSdkOk);
  ASSERT_TRUE(Take(kSdkPlaybackStopped, &n));
  PumpUntil([] { return false; }, 1300);  // the replaced 1-second track does not end either
  EXPECT_EQ(Count(kSdkTrackStarted), 4u);
  EXPECT_EQ(Count(kSdkPlaybackStopped), 2u);
  EXPECT_EQ(sdk_->PlaybackControl(kDev, kSdkStop, nullptr), kSdkOk);  // stopping twice: no notice

  // Deleting the track that plays stops it.
  ASSERT_EQ(sdk_->PlaybackControl(kDev, kSdkPlay, &second), kSdkOk);
  ASSERT_EQ(sdk_->DeleteItem(kDev, second), kSdkOk);
  ASSERT_TRUE(Take(kSdkPlaybackStopped, &n));
  EXPECT_EQ(Count(kSdkPlaybackStopped), 3u);
}

TEST_F(SimSdkTest, DeviceProperties) {
  std::uint8_t id[20] = {};
  EXPECT_EQ(sdk_->GetDeviceProperty(kDev, kSdkPropUniqueId, id, sizeof id), kSdkOk);
  EXPECT_TRUE(std::any_of(id, id + 16, [](std::uint8_t b) { return b != 0; }));
  EXPECT_EQ(sdk_->GetDeviceProperty(kDev, kSdkPropUniqueId, id, 15), kSdkErrInvalidArg);

  std::uint16_t version[4] = {};
  EXPECT_EQ(sdk_->GetDeviceProperty(kDev, kSdkPropFirmwareVersion, version, sizeof version), kSdkOk);
  EXPECT_EQ(version[0], 1);
  EXPECT_EQ(sdk_->GetDeviceProperty(kDev, kSdkPropHardwareVersion, version, sizeof version), kSdkOk);
  EXPECT_EQ(version[0], 2);

  char16_t name[256] = {};
  EXPECT_EQ(sdk_->GetDeviceProperty(kDev, kSdkPropModelName, name, sizeof name), kSdkOk);
  EXPECT_EQ(std::u16string(name), u"Dozi Jukebox");
  EXPECT_EQ(sdk_->GetDeviceProperty(kDev, kSdkPropModelName, name, 8), kSdkErrInvalidArg);
  const std::u16string owner = u"Ann \u00C9";
  EXPECT_EQ(sdk_->SetDeviceProperty(kDev, kSdkPropOwnerName, owner.c_str(),
                                    std::uint32_t((owner.size() + 1) * 2)),
            kSdkOk);
  EXPECT_EQ(sdk_->GetDeviceProperty(kDev, kSdkPropOwnerName, name, sizeof name), kSdkOk);
  EXPECT_EQ(std::u16string(name), owner);
  const std::u16string tooLong(256, u'x');
  EXPECT_EQ(sdk_->SetDeviceProperty(kDev, kSdkPropOwnerName, tooLong.c_str(),
                                    std::uint32_t(tooLong.size() * 2)),
            kSdkErrInvalidArg);

  std::int32_t v = 0;
  for (std::int32_t set : {0, 100, 37}) {
    EXPECT_EQ(sdk_->SetDeviceProperty(kDev, kSdkPropVolume, &set, 4), kSdkOk);
  }
  for (std::int32_t bad : {-1, 101}) {
    EXPECT_EQ(sdk_->SetDeviceProperty(kDev, kSdkPropVolume, &bad, 4), kSdkErrInvalidArg);
  }
  EXPECT_EQ(sdk_->GetDeviceProperty(kDev, kSdkPropVolume, &v, 4), kSdkOk);
  EXPECT_EQ(v, 37);
  v = 5;
  EXPECT_EQ(sdk_->SetDeviceProperty(kDev, kSdkPropMute, &v, 4), kSdkOk);
  EXPECT_EQ(sdk_->GetDeviceProperty(kDev, kSdkPropMute, &v, 4), kSdkOk);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(sdk_->GetDeviceProperty(kDev, kSdkPropProperty4, &v, 4), kSdkOk);

  // Space: the capacity, less what the content takes.
  std::uint32_t space[4] = {};
  ASSERT_EQ(sdk_->GetDeviceProperty(kDev, kSdkPropSpace, space, sizeof space), kSdkOk);
  const std::uint64_t total = space[0] | (std::uint64_t(space[1]) << 32);
  const std::uint64_t free = space[2] | (std::uint64_t(space[3]) << 32);
  EXPECT_EQ(total, options_.capacityBytes);
  EXPECT_EQ(free, total);
  UploadTrack(MakeFile("s.mp3", RandomBytes(4096, 11)));
  ASSERT_EQ(sdk_->GetDeviceProperty(kDev, kSdkPropSpace, space, sizeof space), kSdkOk);
  EXPECT_EQ(space[2] | (std::uint64_t(space[3]) << 32), total - 4096);

  // The clock: what was set is read back (give or take the seconds the test takes).
  const std::int16_t set[8] = {2031, 2, 28, 0, 23, 59, 30, 0};
  EXPECT_EQ(sdk_->SetDeviceProperty(kDev, kSdkPropClock, set, sizeof set), kSdkOk);
  std::int16_t clock[8] = {};
  ASSERT_EQ(sdk_->GetDeviceProperty(kDev, kSdkPropClock, clock, sizeof clock), kSdkOk);
  EXPECT_EQ(std::vector<std::int16_t>(clock, clock + 5), std::vector<std::int16_t>(set, set + 5));
  EXPECT_EQ(clock[5], 59);
  EXPECT_LE(clock[6] - 30, 2);
  const std::int16_t invalid[][8] = {{2031, 2, 29, 0, 1, 1, 1, 0},
                                     {2031, 13, 1, 0, 1, 1, 1, 0},
                                     {2031, 0, 0, 0, -1, -1, -1, 0}};
  for (const auto& c : invalid) {
    EXPECT_EQ(sdk_->SetDeviceProperty(kDev, kSdkPropClock, c, 16), kSdkErrInvalidArg);
  }

  EXPECT_EQ(sdk_->SetDeviceProperty(kDev, kSdkPropModelName, name, sizeof name), kSdkErrWriteProtected);
  EXPECT_EQ(sdk_->GetDeviceProperty(kDev, 99, &v, 4), kSdkErrUnsupportedType);

  // They last.
  Reconnect();
  EXPECT_EQ(sdk_->GetDeviceProperty(kDev, kSdkPropOwnerName, name, sizeof name), kSdkOk);
  EXPECT_EQ(std::u16string(name), owner);
  EXPECT_EQ(sdk_->GetDeviceProperty(kDev, kSdkPropVolume, &v, 4), kSdkOk);
  EXPECT_EQ(v, 37);
  std::uint8_t again[16] = {};
  EXPECT_EQ(sdk_->GetDeviceProperty(kDev, kSdkPropUniqueId, again, sizeof again), kSdkOk);
  EXPECT_EQ(std::memcmp(again, id, 16), 0);
}

TEST_F(SimSdkTest, StorageFillsUp) {
  options_.capacityBytes = 10000;
  std::string error;
  const std::string small = FromPosixPath(dir_ + "/small");
  ASSERT_TRUE(CreateSimPlayer(small, options_, &error));
  folder_ = small;
  Reconnect();
  const auto block = TrackBlock({});
  const SdkString big = Utf8ToSdkString(MakeFile("big.mp3", RandomBytes(6000, 12)));
  ASSERT_EQ(sdk_->AddItem(kDev, kSdkTrack, big.c_str(), std::uint32_t(block.size()), block.data()),
            kSdkOk);
  // The first upload's space is taken from the moment it is accepted.
  EXPECT_EQ(sdk_->AddItem(kDev, kSdkTrack, big.c_str(), std::uint32_t(block.size()), block.data()),
            kSdkErrStorageFull);
  Notice done{};
  ASSERT_TRUE(Take(kSdkUploadDone, &done));
  EXPECT_EQ(done.wParam, kSdkOk);
  EXPECT_EQ(ChildIds(kAllTracks).size(), 1u);
}

TEST_F(SimSdkTest, RefusedUploads) {
  const std::string file = MakeFile("x.mp3", {'x'});
  struct Case {
    const char* what;
    std::uint32_t type;
    std::string source;
    std::vector<std::uint8_t> block;
    SdkResult expected;
  };
  TrackTags flac;
  flac.codec = "FLAC";
  const std::vector<std::uint8_t> good = TrackBlock({});
  std::vector<std::uint8_t> cut = good;
  cut.resize(cut.size() - 3);
  const Case cases[] = {
      {"missing file", kSdkTrack, FromPosixPath(dir_ + "/none.mp3"), good, kSdkErrBadPath},
      {"a folder as the file", kSdkTrack, FromPosixPath(dir_), good, kSdkErrBadPath},
      {"unknown codec", kSdkTrack, file, TrackBlock(flac), kSdkErrInvalidFileType},
      {"block shorter than it says", kSdkTrack, file, cut, kSdkErrInvalidArg},
      {"playlist type", kSdkPlaylist, file, good, kSdkErrUnsupportedType},
      {"folder without a name", kSdkDataFolder, "", {0, 0}, kSdkErrInvalidArg},
  };
  for (const Case& c : cases) {
    const SdkString source = Utf8ToSdkString(c.source);
    EXPECT_EQ(sdk_->AddItem(kDev, c.type, source.c_str(), std::uint32_t(c.block.size()),
                            c.block.data()),
              c.expected)
        << c.what;
  }
  EXPECT_EQ(sdk_->AddItem(kDev, kSdkTrack, nullptr, std::uint32_t(good.size()), good.data()),
            kSdkErrInvalidArg);
  PumpUntil([] { return false; }, 200);
  EXPECT_EQ(Count(kSdkUploadDone), 0u);
  EXPECT_TRUE(Children(kAllTracks).empty());
  EXPECT_TRUE(Children(kDataRoot).empty());
}

// Each injected failure: the call that meets it and the answer it gets.
TEST_F(SimSdkTest, InjectedFailures) {
  const std::string file = MakeFile("f.mp3", RandomBytes(100, 13));
  const std::uint32_t track = UploadTrack(file);
  const auto trackBlock = TrackBlock({});
  const SdkString source = Utf8ToSdkString(file);
  auto addTrack = [&] {
    return sdk_->AddItem(kDev, kSdkTrack, source.c_str(), std::uint32_t(trackBlock.size()),
                         trackBlock.data());
  };
  auto addData = [&] { return StartDataUpload(file, kSdkDataRootId, "new.bin"); };
  auto addFolder = [&] { return StartFolder("Brand New", kSdkDataRootId); };
  auto copyOut = [&] { return StartDownload(Item(track, kSdkTrack), dir_ + "/out"); };
  auto count = [&] {
    int n = -1;
    sdk_->GetDeviceCount(&n);
    return SdkResult(n);
  };
  struct Case {
    const char* what;
    SimFault fault;
    std::function<SdkResult()> call;
    SdkResult expected;
  };
  const Case cases[] = {
      {"busy: upload", SimFault::kBusy, addTrack, kSdkErrBusy},
      {"busy: listing", SimFault::kBusy, [&] { SdkItem i; return sdk_->FindFirstChild(kDev, kAllTracks, &i); }, kSdkErrBusy},
      {"no device", SimFault::kNoDevice, count, 0},
      {"storage full: track", SimFault::kStorageFull, addTrack, kSdkErrStorageFull},
      {"storage full: data file", SimFault::kStorageFull, addData, kSdkErrStorageFull},
      {"file exists: track", SimFault::kFileExists, addTrack, kSdkErrFileExists},
      {"file exists: data file", SimFault::kFileExists, addData, kSdkErrFileExists},
      {"folder exists", SimFault::kFolderExists, addFolder, kSdkErrFolderExists},
      {"protected: upload", SimFault::kProtected, addTrack, kSdkErrCopyProtected},
      {"protected: copy out", SimFault::kProtected, copyOut, kSdkErrCopyProtected},
  };
  for (const Case& c : cases) {
    player_->InjectFault(c.fault, 1);
    EXPECT_EQ(c.call(), c.expected) << c.what;
  }
  // Each was armed once: nothing was lost and everything works again.
  EXPECT_EQ(count(), 1u);
  EXPECT_EQ(ChildIds(kAllTracks), std::vector<std::uint32_t>{track});
  EXPECT_TRUE(Children(kDataRoot).empty());
  EXPECT_EQ(Download(Item(track, kSdkTrack), dir_ + "/out"), kSdkOk);
  EXPECT_EQ(ReadFile(dir_ + "/out").size(), 100u);

  // Armed until cleared.
  player_->InjectFault(SimFault::kBusy);
  SdkItem i;
  EXPECT_EQ(sdk_->FindFirstRootItem(kDev, &i), kSdkErrBusy);
  EXPECT_EQ(sdk_->FindFirstRootItem(kDev, &i), kSdkErrBusy);
  player_->ClearFaults();
  EXPECT_EQ(sdk_->FindFirstRootItem(kDev, &i), kSdkOk);
}

TEST_F(SimSdkTest, PlayOnlyTracksCannotBeCopiedOut) {
  const std::uint32_t id = UploadTrack(MakeFile("l.mp3", {'l'}));
  ASSERT_EQ(player_->SetPlayOnly(id, true), kSdkOk);
  EXPECT_EQ(Attributes(Item(id, kSdkTrack))["PLAYONLY"].number, 1u);
  EXPECT_EQ(StartDownload(Item(id, kSdkTrack), dir_ + "/l.out"), kSdkErrCopyProtected);
  struct stat st;
  EXPECT_NE(::stat((dir_ + "/l.out").c_str(), &st), 0);
  SdkItem track = Item(id, kSdkTrack);
  EXPECT_EQ(sdk_->PlaybackControl(kDev, kSdkPlay, &track), kSdkOk);  // it still plays
}

TEST_F(SimSdkTest, InitialisationFailureAndNoDevice) {
  sdk_.reset();
  player_->InjectFault(SimFault::kInitializeFails, 1);
  auto sdk = CreateVendorSdk(folder_);
  EXPECT_EQ(sdk->Initialize(), kSdkErrDriverLoad);
  int count = -1;
  EXPECT_EQ(sdk->GetDeviceCount(&count), kSdkErrNotConnected);
  EXPECT_EQ(sdk->Initialize(), kSdkOk);
  player_->InjectFault(SimFault::kNoDevice);
  EXPECT_EQ(sdk->GetDeviceCount(&count), kSdkOk);
  EXPECT_EQ(count, 0);
}

TEST_F(SimSdkTest, NoticesThatNeverCome) {
  player_->InjectFault(SimFault::kEventsNeverCome);
  ASSERT_EQ(StartFolder("Silent", kSdkDataRootId), kSdkOk);
  ASSERT_EQ(StartDataUpload(MakeFile("s", RandomBytes(1000, 14)), kSdkDataRootId, "s"), kSdkOk);
  PumpUntil([&] { return Children(kDataRoot).size() == 2; }, 5000);
  PumpUntil([] { return false; }, 200);
  EXPECT_TRUE(notices_.empty());
  // The work was done all the same.
  EXPECT_EQ(Children(kDataRoot).size(), 2u);
  player_->ClearFaults();
  MakeFolder("Heard");
  EXPECT_EQ(Count(kSdkUploadDone), 1u);
}

TEST_F(SimSdkTest, UnplugEndsEverythingAndReplugComesBack) {
  const std::vector<char> content = RandomBytes(32 * 1024 * 1024, 15);
  const std::uint32_t id = UploadTrack(MakeFile("u.mp3", content));
  const std::string out = dir_ + "/u.out";
  ASSERT_EQ(StartDownload(Item(id, kSdkTrack), out), kSdkOk);
  player_->Unplug();
  Notice n{};
  ASSERT_TRUE(Take(kSdkDeviceRemoved, &n));
  PumpUntil([] { return false; }, 300);
  // Either the copy finished first and is whole, or it ended without a trace.
  struct stat st;
  if (Count(kSdkDownloadDone) == 1) {
    EXPECT_TRUE(ReadFile(out) == content);
  } else {
    EXPECT_NE(::stat(out.c_str(), &st), 0);
  }
  SdkItem item;
  EXPECT_EQ(sdk_->FindFirstRootItem(kDev, &item), kSdkErrNotConnected);
  int count = -1;
  EXPECT_EQ(sdk_->GetDeviceCount(&count), kSdkOk);
  EXPECT_EQ(count, 0);

  player_->Replug();
  EXPECT_EQ(sdk_->Shutdown(), kSdkOk);
  EXPECT_EQ(sdk_->Initialize(), kSdkOk);
  EXPECT_EQ(sdk_->GetDeviceCount(&count), kSdkOk);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(ChildIds(kAllTracks), std::vector<std::uint32_t>{id});
}

TEST_F(SimSdkTest, APlayerPulledOutMidUploadKeepsNoPartOfIt) {
  const std::vector<char> content = RandomBytes(20 * 1024 * 1024, 17);
  const std::string file = MakeFile("half.mp3", content);
  const auto block = TrackBlock({});
  const SdkString source = Utf8ToSdkString(file);
  player_->InjectFault(SimFault::kUnplugMidUpload, 1);
  ASSERT_EQ(sdk_->AddItem(kDev, kSdkTrack, source.c_str(), std::uint32_t(block.size()),
                          block.data()),
            kSdkOk);
  Notice n{};
  ASSERT_TRUE(Take(kSdkDeviceRemoved, &n));
  PumpUntil([&] { return player_->UploadsInProgress() == 0; }, 5000);
  EXPECT_EQ(player_->UploadsInProgress(), 0u);
  EXPECT_EQ(Count(kSdkUploadDone), 0u);
  EXPECT_FALSE(player_->IsPlugged());
  player_->Replug();
  EXPECT_TRUE(player_->TakeSnapshot().items.empty());
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir_ + "/player/files")) {
    files.push_back(e.path().filename());
  }
  EXPECT_EQ(files, std::vector<std::string>{});
}

TEST_F(SimSdkTest, ShutdownStopsTransfersWithoutTrace) {
  const std::vector<char> content = RandomBytes(32 * 1024 * 1024, 16);
  const std::string file = MakeFile("big.mp3", content);
  const std::uint32_t id = UploadTrack(file);
  const auto block = TrackBlock({});
  const SdkString source = Utf8ToSdkString(file);
  ASSERT_EQ(sdk_->AddItem(kDev, kSdkTrack, source.c_str(), std::uint32_t(block.size()),
                          block.data()),
            kSdkOk);
  const std::string out = dir_ + "/big.out";
  ASSERT_EQ(StartDownload(Item(id, kSdkTrack), out), kSdkOk);
  ASSERT_EQ(sdk_->Shutdown(), kSdkOk);
  // Notices posted before Shutdown returned may still wait in the queue: take them first.
  MSG msg;
  while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
  const std::size_t after = notices_.size();
  PumpUntil([] { return false; }, 200);
  EXPECT_EQ(notices_.size(), after);  // nothing is posted after the shutdown
  struct stat st;
  if (::stat(out.c_str(), &st) == 0) {
    EXPECT_TRUE(ReadFile(out) == content);
  }

  // The player holds one or two whole copies, never a part of one.
  Reconnect();
  const std::vector<std::uint32_t> tracks = ChildIds(kAllTracks);
  ASSERT_GE(tracks.size(), 1u);
  for (std::uint32_t t : tracks) {
    EXPECT_EQ(Attributes(Item(t, kSdkTrack))["FILE SIZE"].number, content.size());
  }
  std::size_t files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir_ + "/player/files")) {
    EXPECT_EQ(e.path().extension(), ".mp3");
    ++files;
  }
  EXPECT_EQ(files, tracks.size());
}

}  // namespace
}  // namespace testing_sim
}  // namespace platform
