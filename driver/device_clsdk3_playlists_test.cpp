// Playlists, playback and contacts of the driver's device against the simulated player.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "common/folders.h"
#include "device/device_error.h"
#include "device/sortable.h"
#include "testing/driver.h"

namespace driver {

using namespace device;

namespace {

using namespace drivertest;

const bool kIsolated = platform::testing::IsolateNamespace();

class PlaylistTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    if (HasFatalFailure()) return;
    const char* titles[] = {"a", "b", "c", "d"};
    for (int i = 0; i < 4; ++i) {
      tracks_.push_back(UploadTrack(MakeFile(std::string(titles[i]) + ".mp3", RandomBytes(2000, i)),
                                    Record("Artist", "Album", titles[i], 4 - i, 1)));
    }
  }

  KernelId MakeList(const std::string& name, const std::vector<int>& entries) {
    KernelId list;
    EXPECT_EQ(device_->CreatePlaylist(name, list), 0);
    device_->ClearPendingIds();
    for (int i : entries) device_->AddPendingId(tracks_[static_cast<std::size_t>(i)]);
    EXPECT_EQ(device_->AddPendingToPlaylist(list), 0);
    return list;
  }
  // The playlists on the player: name -> entries as titles.
  std::map<std::string, std::vector<std::string>> Lists() {
    std::map<std::string, std::vector<std::string>> out;
    for (const auto& [id, p] : player_->TakeSnapshot().playlists) {
      std::vector<std::string>& titles = out[p.name];
      for (std::uint32_t t : p.tracks) titles.push_back(device_->GetTrackTitle(KernelId(t)));
    }
    return out;
  }
  // The one playlist of that name, as the driver lists it.
  KernelId Find(const std::string& name) {
    KernelId found;
    int matches = 0;
    KernelId list;
    for (int n = device_->EnumFirstPlaylist(list); n != 0; n = device_->EnumNextPlaylist(list)) {
      if (list.GetName() == name) {
        found = list;
        ++matches;
      }
    }
    EXPECT_EQ(matches, 1) << name;
    return found;
  }

  std::vector<KernelId> tracks_;
};

using Titles = std::vector<std::string>;

TEST_F(PlaylistTest, CreateTrimsTheNameAndFindsAnExistingOneCaseSensitively) {
  KernelId rock;
  ASSERT_EQ(device_->CreatePlaylist("Rock", rock), 0);
  EXPECT_EQ(rock.GetName(), "Rock");
  KernelId again;
  EXPECT_EQ(device_->CreatePlaylist(" Rock ", again), 4);
  EXPECT_EQ(again.word[0], rock.word[0]);
  KernelId spaced;
  EXPECT_EQ(device_->CreatePlaylist("\vRock\f", spaced), 4);
  EXPECT_EQ(spaced.word[0], rock.word[0]);
  KernelId lower;
  EXPECT_EQ(device_->CreatePlaylist("rock", lower), 0);
  EXPECT_NE(lower.word[0], rock.word[0]);
  KernelId trimmed;
  ASSERT_EQ(device_->CreatePlaylist("  Pop\t", trimmed), 0);
  EXPECT_EQ(device_->GetPlaylistName(trimmed), "Pop");

  // A failed creation reports its status and hands back no id.
  sdk_->Fail("CreatePlaylist", platform::kSdkErrBusy);
  KernelId failed;
  EXPECT_EQ(device_->CreatePlaylist("Jazz", failed), 2);
  EXPECT_EQ(failed, KernelId());
  sdk_->Fail("CreatePlaylist", platform::kSdkErrStorageFull);
  EXPECT_EQ(device_->CreatePlaylist("Jazz", failed), 8);
  EXPECT_EQ(Lists().count("Jazz"), 0u);

  EXPECT_EQ(device_->RenamePlaylist(lower, "  Roll "), 0);
  EXPECT_EQ(Lists().count("Roll"), 1u);
  // Renaming onto another playlist's name is refused as creating it is; its own name is not.
  EXPECT_EQ(device_->RenamePlaylist(lower, " Pop "), 4);
  EXPECT_EQ(Lists().count("Roll"), 1u);
  EXPECT_EQ(device_->RenamePlaylist(lower, "Roll "), 0);
  EXPECT_EQ(device_->DeletePlaylist(rock), 0);
  EXPECT_EQ(Lists().count("Rock"), 0u);
  KernelId first;
  EXPECT_EQ(device_->GetFirstPlaylist(first), 2);  // the cache was told
  EXPECT_EQ(device_->GetPlaylistName(first), "Pop");
}

TEST_F(PlaylistTest, MovingAnEntryWritesThePlaylistAnewInTheNewOrder) {
  const struct {
    int from, to;
    Titles order;
  } kCases[] = {
      {0, 3, {"b", "c", "a", "d"}}, {3, 0, {"d", "a", "b", "c"}}, {1, 4, {"a", "c", "d", "b"}}, {2, 2, {"a", "b", "c", "d"}}};
  for (const auto& c : kCases) {
    const KernelId list = MakeList("Move", {0, 1, 2, 3});
    EXPECT_EQ(device_->MovePlaylistItem(list, c.from, c.to), 0);
    EXPECT_EQ(Lists()["Move"], c.order) << c.from << " -> " << c.to;
    const KernelId now = Find("Move");
    EXPECT_NE(now.word[0], list.word[0]);  // a new playlist of the same name
    device_->DeletePlaylist(now);
  }
  const KernelId list = MakeList("Move", {0, 1});
  EXPECT_THROW(device_->MovePlaylistItem(list, 2, 0), DeviceError);
  EXPECT_THROW(device_->MovePlaylistItem(list, 0, 3), DeviceError);
  EXPECT_EQ(Lists()["Move"], (Titles{"a", "b"}));
}

TEST_F(PlaylistTest, RemovingSortingAndShuffling) {
  KernelId list = MakeList("Mix", {0, 1, 2, 3, 1});
  device_->ClearPendingIds();
  device_->AddPendingId(tracks_[1]);
  device_->AddPendingId(tracks_[3]);
  EXPECT_EQ(device_->RemovePendingFromPlaylist(list), 0);
  EXPECT_EQ(Lists()["Mix"], (Titles{"a", "c"}));

  list = MakeList("Sorted", {0, 1, 2, 3});
  EXPECT_EQ(device_->SortPlaylist(list, kSortTrackNumber), 0);  // numbers 4 3 2 1
  EXPECT_EQ(Lists()["Sorted"], (Titles{"d", "c", "b", "a"}));
  EXPECT_EQ(device_->SortPlaylist(Find("Sorted"), kSortTitle), 0);
  EXPECT_EQ(Lists()["Sorted"], (Titles{"a", "b", "c", "d"}));

  // A shuffle is a permutation; over many shuffles every entry reaches every place.
  list = MakeList("Shuffled", {0, 1, 2, 3});
  std::set<std::pair<std::string, int>> seen;
  for (int round = 0; round < 40; ++round) {
    ASSERT_EQ(device_->ShufflePlaylist(list), 0);
    Titles now = Lists()["Shuffled"];
    for (int i = 0; i < 4; ++i) seen.insert({now[static_cast<std::size_t>(i)], i});
    std::sort(now.begin(), now.end());
    ASSERT_EQ(now, (Titles{"a", "b", "c", "d"}));
    list = Find("Shuffled");
  }
  EXPECT_EQ(seen.size(), 16u);

  list = MakeList("One", {2});
  EXPECT_EQ(device_->ShufflePlaylist(list), 0);
  EXPECT_EQ(Lists()["One"], (Titles{"c"}));
  KernelId empty;
  ASSERT_EQ(device_->CreatePlaylist("Empty", empty), 0);
  EXPECT_EQ(device_->ShufflePlaylist(empty), 0);
  EXPECT_EQ(Lists().count("Empty"), 1u);
  EXPECT_TRUE(Lists()["Empty"].empty());
}

TEST_F(PlaylistTest, ARewriteThatFailsPartWayKeepsTheOldPlaylist) {
  const KernelId list = MakeList("Keep", {0, 1, 2});
  const struct {
    const char* method;
    SdkResult result;
    int status;
  } kCases[] = {{"CreatePlaylist", platform::kSdkErrStorageFull, 8},
                {"AddTracksToPlaylist", platform::kSdkErrBusy, 2},
                {"DeletePlaylist", platform::kSdkErrFail, 1},
                {"FindNextChild", platform::kSdkErrBusy, 2}};
  for (const auto& c : kCases) {
    sdk_->Fail(c.method, c.result);
    EXPECT_EQ(device_->MovePlaylistItem(list, 0, 3), c.status) << c.method;
    const auto lists = Lists();
    EXPECT_EQ(lists.size(), 1u) << c.method;
    ASSERT_EQ(lists.count("Keep"), 1u) << c.method;
    EXPECT_EQ(lists.at("Keep"), (Titles{"a", "b", "c"})) << c.method;
    EXPECT_EQ(Find("Keep").word[0], list.word[0]) << c.method;
  }
  sdk_->Fail("FindNextChild", platform::kSdkErrBusy);
  EXPECT_EQ(device_->ShufflePlaylist(list), 2);  // a walk cut short is never written back
  EXPECT_EQ(Lists()["Keep"], (Titles{"a", "b", "c"}));
  EXPECT_EQ(device_->MovePlaylistItem(list, 0, 3), 0);
  EXPECT_EQ(Lists()["Keep"], (Titles{"b", "c", "a"}));
}

TEST_F(PlaylistTest, TheTrackToPlaylistMapFollowsChanges) {
  const KernelId list = MakeList("Twice", {0, 0, 1});
  EXPECT_EQ(device_->GetTrackPlaylistCount(tracks_[0]), 2);
  EXPECT_EQ(device_->GetTrackPlaylistNames(tracks_[1]), "Twice");
  device_->ClearPendingIds();
  device_->AddPendingId(tracks_[0]);
  device_->RemovePendingFromPlaylist(list);
  EXPECT_EQ(device_->GetTrackPlaylistCount(tracks_[0]), 0);
  device_->DeleteAudioTrack(tracks_[1]);
  EXPECT_EQ(device_->GetTrackPlaylistCount(tracks_[1]), 0);
}

// ---- Playback ----

TEST_F(PlaylistTest, PlaybackNoticesReachTheWindowAndTheQueueAdvancesOnlyByItself) {
  device_->EnqueueTrack(tracks_[0]);
  device_->EnqueueTrack(tracks_[1]);
  device_->EnqueueTrack(tracks_[2]);
  ASSERT_EQ(device_->PlayQueueCurrent(), 0);
  auto playing = Take(WM_NOWPLAYING);
  ASSERT_TRUE(playing.has_value());
  EXPECT_EQ(playing->wParam, tracks_[0].word[0]);
  // The one-second track ends by itself: stopped notice, then the next entry plays.
  ASSERT_TRUE(Take(WM_PLAYBACKSTOPPED, 5000).has_value());
  playing = Take(WM_NOWPLAYING, 5000);
  ASSERT_TRUE(playing.has_value());
  EXPECT_EQ(playing->wParam, tracks_[1].word[0]);
  EXPECT_EQ(device_->GetQueuePosition(), 1);
  EXPECT_EQ(device_->GetNowPlaying().word[0], tracks_[1].word[0]);

  // A stop the user asks for neither tells the stop nor advances the queue.
  EXPECT_EQ(device_->StopPlayback(), 0);
  PumpFor(1500);
  EXPECT_EQ(Count(WM_PLAYBACKSTOPPED), 0u);
  EXPECT_EQ(Count(WM_NOWPLAYING), 0u);
  EXPECT_EQ(device_->GetQueuePosition(), 1);
}

TEST_F(PlaylistTest, PauseVolumeAndMute) {
  // Nothing plays, so the player refuses the pause; the device still counts as paused.
  EXPECT_EQ(device_->SetPaused(1), 1);
  EXPECT_EQ(Block().replyText.Str(), "Unspecified failure.");
  EXPECT_EQ(device_->IsPaused(), 1);
  ASSERT_EQ(device_->PlayTrack(tracks_[3]), 0);
  EXPECT_EQ(device_->SetPaused(1), 0);
  EXPECT_EQ(device_->SetPaused(0), 0);
  EXPECT_EQ(device_->IsPaused(), 0);
  EXPECT_EQ(device_->PlayTrack(KernelId(99999)), 1);  // no such track: still the track asked for
  EXPECT_EQ(device_->GetNowPlaying().word[0], 99999u);

  EXPECT_EQ(device_->SetVolume(73), 0);
  EXPECT_EQ(device_->GetVolume(), 73);
  EXPECT_EQ(device_->SetMute(1), 0);
  EXPECT_EQ(device_->IsMuted(), 1);
  player_->InjectFault(platform::SimFault::kBusy, 1);
  EXPECT_EQ(device_->GetVolume(), 2);  // the status in place of the value
  device_->ShowAdvancedSoundSettings();
  EXPECT_EQ(Block().messageText.Str(), "Advanced Sound Settings for this Jukebox model are not yet available.");
}

// ---- Contacts ----

ContactRecord Contact(const std::string& home, const std::string& work, const std::string& mobile,
                      const std::string& email) {
  ContactRecord r;
  r.Clear();
  r.field[kContactHomePhone].Set(home);
  r.field[kContactWorkPhone].Set(work);
  r.field[kContactMobilePhone].Set(mobile);
  r.field[kContactEmail].Set(email);
  return r;
}

TEST_F(PlaylistTest, ContactsAreStoredAsTracksAndFoundAgain) {
  KernelId root;
  EXPECT_EQ(device_->GetContactsRootFolder(root), 0);
  EXPECT_EQ(root.GetName(), "{Contacts}");
  KernelId mara, bo;
  ASSERT_EQ(device_->CreateContact("Mara Quill", Contact("555 1", "555 2", "  0170 12 34  ", ""), root, mara), 0);
  ASSERT_EQ(device_->CreateContact("Bo", Contact("1", "2", "3", "bo@example.org"), root, bo), 0);
  EXPECT_EQ(mara.GetName(), "{Mara Quill}");
  EXPECT_EQ(device_->GetContactName(mara), "Mara Quill");

  // The track walk leaves them out; the contact operations find them.
  EXPECT_EQ(AudioTracks().size(), 4u);
  std::vector<std::string> names;
  KernelId c;
  for (int n = device_->GetFirstContact(root, c); n != 0; n = device_->GetNextContact(root, c)) {
    names.push_back(std::string(c.GetName()));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"{Bo}", "{Mara Quill}"}));
  KernelId notContacts;
  notContacts.SetName("{Other}");
  EXPECT_EQ(device_->GetFirstContact(notContacts, c), 0);

  ContactRecord got;
  EXPECT_EQ(device_->GetContactRecord(mara, got), 0);
  EXPECT_EQ(got.field[kContactHomePhone].Str(), "555 1");
  EXPECT_EQ(got.field[kContactWorkPhone].Str(), "555 2");
  EXPECT_EQ(got.field[kContactMobilePhone].Str(), "0170 12 34");  // blanks inside kept
  EXPECT_EQ(got.field[kContactEmail].Str(), "");
  const auto snapshot = player_->TakeSnapshot();
  std::set<std::string> titles;
  for (const auto& [id, item] : snapshot.items) {
    if (item.album == "{Mara Quill}") {
      titles.insert(item.name);
      EXPECT_EQ(item.artist, "{Contacts}");
      EXPECT_EQ(item.codec, "WAV");
      EXPECT_EQ(item.size, 45u);
    }
  }
  EXPECT_EQ(titles, (std::set<std::string>{"{ PH 555 1 }", "{ PW 555 2 }", "{ PM   0170 12 34   }", "{ EM  }"}));

  // The small audio file: exactly the 45 bytes of one silent sample.
  std::string work;
  GetWorkFolder(work, "");
  const std::string wav = ReadPosixFile(platform::ToPosixPath(work + "small.wav"));
  EXPECT_EQ(wav, std::string("RIFF\x25\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x11\x2B\x00\x00"
                             "\x11\x2B\x00\x00\x01\x00\x08\x00" "data\x01\x00\x00\x00\x80",
                             45));

  // Writing a contact again replaces its tracks.
  ASSERT_EQ(device_->SetContactRecord(mara, Contact("9", "", "", "m@example.org")), 0);
  EXPECT_EQ(device_->GetContactRecord(mara, got), 0);
  EXPECT_EQ(got.field[kContactHomePhone].Str(), "9");
  EXPECT_EQ(got.field[kContactEmail].Str(), "m@example.org");
  int maraTracks = 0;
  for (const auto& [id, item] : player_->TakeSnapshot().items) maraTracks += item.album == "{Mara Quill}";
  EXPECT_EQ(maraTracks, 4);

  EXPECT_EQ(device_->DeleteContact(bo), 0);
  EXPECT_EQ(device_->GetFirstContact(root, c), 1);
  EXPECT_EQ(AudioTracks().size(), 4u);  // the music is untouched
}

TEST_F(PlaylistTest, AContactThatCannotBeWrittenKeepsItsOldTracks) {
  KernelId root, mara;
  device_->GetContactsRootFolder(root);
  ASSERT_EQ(device_->CreateContact("Mara", Contact("1", "2", "3", "4"), root, mara), 0);
  sdk_->Fail("AddItem", platform::kSdkErrStorageFull);
  // The first new track is refused: nothing changes.
  EXPECT_EQ(device_->SetContactRecord(mara, Contact("x", "x", "x", "x")), 8);
  ContactRecord got;
  device_->GetContactRecord(mara, got);
  EXPECT_EQ(got.field[kContactHomePhone].Str(), "1");
  EXPECT_EQ(got.field[kContactEmail].Str(), "4");
  int tracks = 0;
  for (const auto& [id, item] : player_->TakeSnapshot().items) tracks += item.album == "{Mara}";
  EXPECT_EQ(tracks, 4);
}

TEST_F(PlaylistTest, AContactNameThePlayerCannotKeepIsRefused) {
  KernelId root;
  device_->GetContactsRootFolder(root);
  // The name goes into the tracks' album in braces, which the player keeps to 255
  // characters, and into the contact's id.
  const std::string longest(253, 'n');
  KernelId fits;
  ASSERT_EQ(device_->CreateContact(longest, Contact("1", "2", "3", "4"), root, fits), 0);
  ContactRecord got;
  EXPECT_EQ(device_->GetContactRecord(fits, got), 0);
  EXPECT_EQ(got.field[kContactEmail].Str(), "4");
  EXPECT_EQ(device_->DeleteContact(fits), 0);

  std::string accents;  // 128 characters the player keeps, in 256 bytes the id cannot hold with braces
  for (int i = 0; i < 128; ++i) accents += "\xC3\xA9";
  for (const std::string& name : {std::string(254, 'n'), std::string(300, 'n'), accents}) {
    SCOPED_TRACE(name.size());
    KernelId refused;
    Block().replyText.Set("");
    EXPECT_EQ(device_->CreateContact(name, Contact("1", "2", "3", "4"), root, refused), 1);
    EXPECT_NE(Block().replyText.Str().find("The contact name is too long for the player"), std::string::npos)
        << Block().replyText.Str();
    EXPECT_EQ(refused, KernelId());
  }
  int contactTracks = 0;
  for (const auto& [id, item] : player_->TakeSnapshot().items) contactTracks += item.artist == "{Contacts}";
  EXPECT_EQ(contactTracks, 0);
}

TEST_F(PlaylistTest, ADeleteThatLeavesTracksBehindReportsIt) {
  KernelId root, mara;
  device_->GetContactsRootFolder(root);
  ASSERT_EQ(device_->CreateContact("Mara", Contact("1", "2", "3", "4"), root, mara), 0);
  sdk_->Fail("DeleteItem", platform::kSdkErrBusy, 2);
  EXPECT_EQ(device_->DeleteContact(mara), 2);
  EXPECT_EQ(device_->DeleteContact(mara), 0);  // the rest goes the second time
  KernelId c;
  EXPECT_EQ(device_->GetFirstContact(root, c), 0);
  // An id whose name no contact of the player can have is no contact deleted.
  KernelId overlong;
  overlong.SetName("{" + std::string(254, 'n') + "}");
  EXPECT_EQ(device_->DeleteContact(overlong), 1);
}

TEST_F(PlaylistTest, AnUpdateCutShortByAnUnplugLeavesTheOldContactOrTheNewOne) {
  KernelId root, ann;
  device_->GetContactsRootFolder(root);
  const ContactRecord before = Contact("old 1", "old 2", "old 3", "old@example.org");
  const ContactRecord after = Contact("new 1", "new 2", "new 3", "new@example.org");
  ASSERT_EQ(device_->CreateContact("Ann", before, root, ann), 0);
  auto fields = [](const ContactRecord& r) {
    std::vector<std::string> out;
    for (int e : {kContactHomePhone, kContactWorkPhone, kContactMobilePhone, kContactEmail}) {
      out.push_back(r.field[e].Str());
    }
    return out;
  };
  // The player goes away before the n-th track of the new contact is added, or before the
  // n-th track of the old one is deleted.
  for (const char* method : {"AddItem", "DeleteItem"}) {
    for (int n = 1; n <= 4; ++n) {
      SCOPED_TRACE(std::string(method) + " " + std::to_string(n));
      int seen = 0;
      sdk_->beforeCall = [&](const std::string& called) {
        if (called == method && ++seen == n) player_->Unplug();
      };
      // Cut short while adding: a failure; while deleting the old tracks the new contact
      // is in place already.
      const int status = device_->SetContactRecord(ann, after);
      sdk_->beforeCall = nullptr;
      if (std::string(method) == "AddItem") {
        EXPECT_NE(status, 0);
      }
      player_->Replug();
      Pump([&] { return device_->IsConnected() == 0; });
      device_->Connect();
      ASSERT_EQ(device_->IsConnected(), 1);
      ContactRecord got;
      EXPECT_EQ(device_->GetContactRecord(ann, got), 0);
      const std::vector<std::string> read = fields(got);
      EXPECT_TRUE(read == fields(before) || read == fields(after)) << ::testing::PrintToString(read);
      KernelId c;
      EXPECT_EQ(device_->GetFirstContact(root, c), 1);
      // A whole update afterwards leaves the contact's four tracks, nothing of before.
      ASSERT_EQ(device_->SetContactRecord(ann, before), 0);
      int tracks = 0;
      for (const auto& [id, item] : player_->TakeSnapshot().items) tracks += item.album == "{Ann}";
      EXPECT_EQ(tracks, 4);
      EXPECT_EQ(device_->GetContactRecord(ann, got), 0);
      EXPECT_EQ(fields(got), fields(before));
    }
  }
}

TEST_F(PlaylistTest, ContactFolders) {
  KernelId folder;
  EXPECT_EQ(device_->CreateContactFolder("Outlook Contacts", KernelId(), folder), 0);
  EXPECT_EQ(folder.GetName(), "{Contacts}");
  EXPECT_EQ(Block().messageFlag, 0u);
  KernelId other;
  EXPECT_EQ(device_->CreateContactFolder("Friends", folder, other), 0);
  EXPECT_EQ(Block().messageText.Str(), "Sub-folders are not supported for contacts.");
  EXPECT_EQ(device_->IsContactFolder(folder), 0);
  EXPECT_EQ(device_->SupportsContacts(), 0);
}

}  // namespace

}  // namespace driver
