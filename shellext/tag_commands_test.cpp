// The tag commands: editing several tracks (only the checked fields change, every track
// keeps its own play count, play-only tracks are passed over, failures are reported),
// the editor's layout per product, renumbering, the album lookup and the sync log, run
// through the context menu's ids as the view runs them; and a multi-track edit on the
// player of a running manager.
#include "shellext/tag_commands.h"

#include <gtest/gtest.h>

#include <fstream>

#include "device/device_error.h"
#include "device/kernel_device_client.h"
#include "testing/trayhub.h"
#include "platform/paths/paths.h"
#include "platform/shell/shell.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"
#include "shellext/context_menu.h"
#include "testing/shellext.h"
#include "tools/artist_info_dlg.h"
#include "tools/auto_fill_track_num_dialog.h"
#include "tools/item_editors.h"
#include "tools/tag_edit_dlg.h"
#include "transfer/log_file.h"

using namespace device;

namespace shellexttest {
namespace {

using namespace shellext;
using platform::DialogDriver;
using platform::IDOK;
using tools::TagEditDlg;

const bool kIsolated = platform::testing::IsolateNamespace();

// The selection of these tracks, in this order, as items the test keeps.
template <class Test>
CPidlList SelectionOf(Test& test, const std::vector<KernelId>& tracks) {
  CPidlList selection;
  for (const KernelId& t : tracks) selection.emplace_back(test.Track(t));
  return selection;
}

class TagCommandsTest : public LibraryTest {
 public:
  platform::LPITEMIDLIST Track(const KernelId& t) { return Folder(NT_TRACK, t.word[0]); }

 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    catalogue_ = Seed(device_);
    Use(device_);
  }

  CPidlList Select(const std::vector<KernelId>& tracks) { return SelectionOf(*this, tracks); }
  // Runs a command of the context menu of these items, as the view does.
  void Invoke(int command, const std::vector<KernelId>& tracks) {
    std::vector<LPCITEMIDLIST> lists;
    for (const KernelId& t : tracks) lists.push_back(Folder(NT_TRACK, t.word[0]));
    auto* menu = new CContextMenu(nullptr, static_cast<platform::UINT>(lists.size()), lists.data());
    platform::CMINVOKECOMMANDINFO info;
    info.lpVerb = platform::VerbFromOffset(static_cast<platform::UINT>(command));
    EXPECT_EQ(menu->InvokeCommand(&info), platform::S_OK);
    menu->Release();
  }
  TrackRecord& Record(const KernelId& t) { return device_.RecordOf(t); }

  platform::ScriptedHost host_;
  MemoryDevice device_;
  Catalogue catalogue_;
};

// A comment is offered only by a player that keeps it: one that refuses comments gets an
// editor without the field, and a comment never goes to it to be lost.
TEST_F(TagCommandsTest, TheCommentIsOfferedOnlyWhereThePlayerKeepsIt) {
  Record(catalogue_.harbour).comment.Set("kept");
  device_.InvalidateTrackIndex();
  host_.ExpectDialog(TagEditDlg::kBasicTemplateId, [&](DialogDriver& d) {
    EXPECT_TRUE(d.Visible(TagEditDlg::kCommentId));
    EXPECT_EQ(d.Text(TagEditDlg::kCommentId), "kept");
    d.Type(TagEditDlg::kCommentId, "changed").Ok();
  });
  EditTrackTags(Select({catalogue_.harbour}));
  EXPECT_EQ(Record(catalogue_.harbour).comment.Str(), "changed");

  device_.FailWithStatus(DeviceOp::SetTrackComment, 1, "This player does not keep comments.");
  host_.ExpectDialog(TagEditDlg::kBasicTemplateId, [&](DialogDriver& d) {
    EXPECT_FALSE(d.Visible(TagEditDlg::kCommentId));
    EXPECT_FALSE(d.Visible(TagEditDlg::kCommentCheck));
    EXPECT_TRUE(d.Visible(TagEditDlg::kGenreId));
    d.Type(TagEditDlg::kGenreId, "Sea").Ok();
  });
  EditTrackTags(Select({catalogue_.harbour}));
  EXPECT_EQ(Record(catalogue_.harbour).genre.Str(), "Sea");
  EXPECT_EQ(Record(catalogue_.harbour).comment.Str(), "changed");  // nothing was taken for it
}

TEST_F(TagCommandsTest, SeveralTracksGetOnlyTheCheckedFieldsAndKeepTheirOwnPlayCounts) {
  Record(catalogue_.harbour).playCount = 5;
  Record(catalogue_.longRoad).playCount = 9;
  Record(catalogue_.harbour).comment.Set("first");
  device_.InvalidateTrackIndex();
  host_.ExpectDialog(TagEditDlg::kBasicTemplateId, [&](DialogDriver& d) {
    // Same artist, album, genre and year; titles and numbers differ.
    EXPECT_EQ(d.Check(TagEditDlg::kArtistCheck), 1);
    EXPECT_EQ(d.Text(TagEditDlg::kArtistId), "Ada Lind");
    EXPECT_EQ(d.Check(TagEditDlg::kTitleCheck), 0);
    EXPECT_EQ(d.Text(TagEditDlg::kTitleId), "");
    EXPECT_EQ(d.Check(TagEditDlg::kTrackCheck), 0);
    EXPECT_EQ(d.Check(TagEditDlg::kCommentCheck), 0);
    // Title checked and emptied keeps the titles; comment checked and emptied clears them.
    d.Click(TagEditDlg::kTitleCheck).Click(TagEditDlg::kCommentCheck).Type(TagEditDlg::kGenreId, "Jazz");
    d.Type(TagEditDlg::kAlbumId, "").Ok();
  });
  EditTrackTags(Select({catalogue_.harbour, catalogue_.longRoad}));
  const struct {
    KernelId track;
    const char* title;
    int number;
    int playCount;
  } kAfter[] = {{catalogue_.harbour, "Harbour", 1, 5}, {catalogue_.longRoad, "Long Road", 2, 9}};
  for (const auto& a : kAfter) {
    SCOPED_TRACE(a.title);
    const TrackRecord& r = Record(a.track);
    EXPECT_EQ(r.title.Str(), a.title);
    EXPECT_EQ(r.trackNumber, a.number);
    EXPECT_EQ(r.album.Str(), "North Light");  // emptied: kept
    EXPECT_EQ(r.genre.Str(), "Jazz");
    EXPECT_EQ(r.comment.Str(), "");
    EXPECT_EQ(r.playCount, a.playCount);
  }
  EXPECT_FALSE(host_.prompts().empty());

  // "Reset Count" resets them all; a single track takes the dialog's count as it is.
  g_ProductIdentity.variantCode = 4;
  host_.ExpectDialog(TagEditDlg::kFullTemplateId, [&](DialogDriver& d) {
    EXPECT_EQ(d.Text(TagEditDlg::kPlayCountId), "Play Count: 5  ");
    d.Click(TagEditDlg::kResetCountId).Ok();
  });
  EditTrackTags(Select({catalogue_.harbour, catalogue_.longRoad}));
  EXPECT_EQ(Record(catalogue_.harbour).playCount, 0);
  EXPECT_EQ(Record(catalogue_.longRoad).playCount, 0);
}

TEST_F(TagCommandsTest, APlayOnlyTrackIsPassedOverAndTheOthersAreWritten) {
  Record(catalogue_.mirror).playOnly = 1;
  device_.InvalidateTrackIndex();
  host_.ExpectDialog(TagEditDlg::kBasicTemplateId, [&](DialogDriver& d) {
    d.Click(TagEditDlg::kYearCheck).Type(TagEditDlg::kYearId, "2020").Ok();
  });
  EditTrackTags(Select({catalogue_.opening, catalogue_.mirror, catalogue_.harbour}));
  EXPECT_EQ(Record(catalogue_.opening).year, 2020);
  EXPECT_EQ(Record(catalogue_.harbour).year, 2020);
  EXPECT_EQ(Record(catalogue_.mirror).year, 0);
}

TEST_F(TagCommandsTest, ReadAndWriteFailuresAreReportedAndWhatWasWrittenStays) {
  device_.FailWithError(DeviceOp::GetTrackInfo, platform::E_FAIL, "Test Player", "It failed on purpose.", 1);
  host_.ExpectMessageBox(IDOK, "Could not read tag.");
  EditTrackTags(Select({catalogue_.harbour}));

  // The second write fails: the first track keeps its new genre.
  int writes = 0;
  struct FailingSecondWrite : MemoryDeviceBase {
    int* writes;
    int SetTrackInfo(const KernelId& t, const TrackRecord& r) override {
      if (++*writes == 2) throw DeviceError(platform::E_FAIL, "Test Player", "It failed on purpose.");
      return MemoryDeviceBase::SetTrackInfo(t, r);
    }
  } player;
  player.writes = &writes;
  const Catalogue c = Seed(player);
  Use(player);
  host_.ExpectDialog(TagEditDlg::kBasicTemplateId, [&](DialogDriver& d) { d.Type(TagEditDlg::kGenreId, "Jazz").Ok(); });
  host_.ExpectMessageBox(IDOK, "Could not write tag.");
  EditTrackTags(Select({c.harbour, c.longRoad}));
  EXPECT_EQ(player.RecordOf(c.harbour).genre.Str(), "Jazz");
  EXPECT_EQ(player.RecordOf(c.longRoad).genre.Str(), "Folk");
  Use(device_);
}

TEST_F(TagCommandsTest, TheEditorsLayoutFollowsTheProductAndThePlayer) {
  const struct {
    int variant;
    const char* model;
    int layout;
  } kCases[] = {{4, "j1", TagEditDlg::kFullTemplateId},     {7, "j1", TagEditDlg::kExtendedTemplateId},
                {8, "j1", TagEditDlg::kExtendedTemplateId}, {1, "m2", TagEditDlg::kExtendedTemplateId},
                {1, "j1", TagEditDlg::kBasicTemplateId},    {2, "m3", TagEditDlg::kBasicTemplateId}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.variant) + " " + c.model);
    g_ProductIdentity.variantCode = c.variant;
    device_.Info().modelCode = c.model;
    EXPECT_EQ(TagEditLayout(device_), c.layout);
  }
}

TEST_F(TagCommandsTest, PropertiesOpensTheEditorOfTheSelectedKind) {
  // Items of other kinds, made here as the folders list them.
  const auto item = [&](std::uint32_t type, const KernelId& id) { return Folder(type, id.word[0]); };
  const KernelId note = device_.AddNote(device_.NotesRoot(), "Chords", "G C D");
  const KernelId preset = device_.AddFMPreset("Harbour FM", 9470);
  const KernelId data = device_.AddDataFile(KernelId(), "lyrics.txt", "la");
  const struct {
    const char* what;
    std::vector<LPCITEMIDLIST> items;
    std::function<void()> expect;
  } kCases[] = {
      {"a playlist entry edits the track's tags", {item(NT_PLITEM, catalogue_.harbour)},
       [&] { host_.ExpectDialog(TagEditDlg::kBasicTemplateId, [](DialogDriver& d) { d.Type(TagEditDlg::kGenreId, "Sea").Ok(); }); }},
      {"a note its text", {item(NT_NOTE, note)},
       [&] {
         host_.ExpectDialog(tools::EditNoteDialog::kTemplateId, [](DialogDriver& d) {
           EXPECT_EQ(d.Text(tools::EditNoteDialog::kTextId), "G C D");
           d.Type(tools::EditNoteDialog::kTextId, "G C D Em").Ok();
         });
       }},
      {"two notes are one too many", {item(NT_NOTE, note), item(NT_NOTE, note)},
       [&] { host_.ExpectMessageBox(IDOK, "Please edit one item at a time."); }},
      {"a data file", {item(NT_DATA, data)}, [&] { host_.ExpectMessageBox(IDOK, "This item cannot be edited."); }},
      {"a radio preset", {item(NT_FREQ, preset)}, [&] { host_.ExpectMessageBox(IDOK, "This item cannot be edited."); }},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    c.expect();
    auto* menu = new CContextMenu(nullptr, static_cast<platform::UINT>(c.items.size()),
                                  const_cast<LPCITEMIDLIST*>(c.items.data()));
    platform::CMINVOKECOMMANDINFO info;
    info.lpVerb = platform::VerbFromOffset(3044);
    EXPECT_EQ(menu->InvokeCommand(&info), platform::S_OK);
    menu->Release();
    EXPECT_EQ(host_.pendingAnswers(), 0u);
  }
  EXPECT_EQ(Record(catalogue_.harbour).genre.Str(), "Sea");
  EXPECT_EQ(device_.GetNoteText(note), "G C D Em");
}

TEST_F(TagCommandsTest, RenumberingGoesInSelectionOrderFromTheStartByTheStep) {
  const KernelId extra1 = device_.AddTrack({.artist = "Cyra", .album = "Glass Rooms", .title = "Pane", .number = 1});
  const std::vector<KernelId> order = {catalogue_.mirror, catalogue_.harbour, extra1, catalogue_.opening,
                                       catalogue_.longRoad};
  host_.ExpectDialog(tools::CAutoFillTrackNumDialog::kTemplateId, [&](DialogDriver& d) {
    d.Type(tools::CAutoFillTrackNumDialog::kStartingNumberId, "3").Type(tools::CAutoFillTrackNumDialog::kIncrementId, "2").Ok();
  });
  Invoke(4020, order);
  std::vector<int> numbers;
  for (const KernelId& t : order) numbers.push_back(Record(t).trackNumber);
  EXPECT_EQ(numbers, (std::vector<int>{3, 5, 7, 9, 11}));

  // Five tracks from 9996 would end past what the tag editor takes: refused, nothing set.
  host_.ExpectDialog(tools::CAutoFillTrackNumDialog::kTemplateId, [&](DialogDriver& d) {
    d.Type(tools::CAutoFillTrackNumDialog::kStartingNumberId, "9996");
    host_.ExpectNextMessageBox(IDOK, "The last of the 5 tracks would be numbered 10000");
    d.Ok();
    EXPECT_FALSE(d.Ended());
    d.Cancel();
  });
  Invoke(4020, order);
  EXPECT_EQ(Record(order.back()).trackNumber, 11);

  // A failure midway: a plain message, and the numbers set before it stay.
  device_.FailWithError(DeviceOp::SetTrackNumber, platform::E_FAIL, "Test Player", "It failed on purpose.");
  host_.ExpectDialog(tools::CAutoFillTrackNumDialog::kTemplateId, [](DialogDriver& d) { d.Ok(); });
  host_.ExpectMessageBox(IDOK, "Could not change track numbers.");
  Invoke(4020, order);
  host_.ExpectMessageBox(IDOK, "No items were selected.");
  Invoke(4020, {});
}

TEST_F(TagCommandsTest, AlbumsByThisArtistOpensTheLookupForTheFirstTracksArtist) {
  host_.ExpectDialog(tools::CArtistInfoDlg::kTemplateId, [&](DialogDriver& d) {
    EXPECT_EQ(d.Caption(), "Albums by 'Brass Fold'");
    host_.ExpectNextMessageBox(IDOK, "Could not reach");  // no service address is set
    d.Pump();
    d.Ok();
  });
  Invoke(3068, {catalogue_.opening, catalogue_.harbour});
  device_.FailWithError(DeviceOp::GetTrackInfo, platform::E_FAIL, "Test Player", "It failed on purpose.", 1);
  host_.ExpectMessageBox(IDOK, "Could not read tag.");
  Invoke(3068, {catalogue_.opening});
}

TEST_F(TagCommandsTest, ViewSynchronizationLogOpensTheLogOrSaysItIsMissing) {
  platform::ShellOpenRecording opened;
  host_.ExpectMessageBox(IDOK, "Could not find log file.");
  Invoke(3061, {catalogue_.opening});
  transfer::OutlookSyncLogFile log;
  ASSERT_EQ(log.Open(), 1);
  log.Close();
  Invoke(3061, {catalogue_.opening});
  ASSERT_EQ(opened.calls().size(), 1u);
  EXPECT_EQ(opened.calls()[0].target, platform::ToPosixPath(transfer::GetOutlookSyncLogPath()));
}

// A manager with the in-memory player; the library's proxy connected to it.
class TagCommandsManagerTest : public LibraryTest {
 public:
  platform::LPITEMIDLIST Track(const KernelId& t) { return Folder(NT_TRACK, t.word[0]); }
  CPidlList Select(const std::vector<KernelId>& tracks) { return SelectionOf(*this, tracks); }

 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    home_ = std::getenv("TOVARIN_HOME");
    trayhubtest::PrepareManagerHome(home_, "2000,20000");
    ::setenv("TOVARIN_DEVICE", "memory", 1);
    manager_ = trayhubtest::StartTool("trayhub");
    ASSERT_NE(trayhubtest::WaitForManager(), 0u);
    ASSERT_EQ(client_.ConnectToManager(0, KernelId(5), KernelId(1), 0), 1);
  }
  void TearDown() override {
    if (manager_) {
      manager_->Kill(SIGTERM);
      manager_->Wait();
    }
    ::unsetenv("TOVARIN_DEVICE");
    LibraryTest::TearDown();
  }
  // A track sent to the player with these tags and play count.
  KernelId Send(const std::string& title, const std::string& album, int number, int playCount) {
    const std::string file = home_ + "/" + title + ".mp3";
    std::ofstream(file) << "not really audio: " << title;
    TrackRecord r;
    r.artist.Set("Tessa Quill");
    r.album.Set(album);
    r.title.Set(title);
    r.genre.Set("Folk");
    r.trackNumber = number;
    KernelId id;
    const int status = client_.UploadTrack(platform::FromPosixPath(file), r, id);
    EXPECT_TRUE(status == 0 || status == 9) << status;
    r.playCount = playCount;
    client_.SetTrackInfo(id, r);
    return id;
  }

  std::string home_;
  std::unique_ptr<platform::testing::ChildProcess> manager_;
  KernelDeviceClient client_;
};

TEST_F(TagCommandsManagerTest, AMultiTrackEditReachesThePlayerAndEachTrackKeepsItsPlayCount) {
  const KernelId a = Send("Tide One", "Low Water", 1, 12);
  const KernelId b = Send("Tide Two", "High Water", 2, 3);
  Use(client_);
  platform::ScriptedHost host;
  host.ExpectDialog(TagEditDlg::kBasicTemplateId, [&](DialogDriver& d) {
    EXPECT_EQ(d.Check(TagEditDlg::kArtistCheck), 1);
    EXPECT_EQ(d.Check(TagEditDlg::kAlbumCheck), 0);  // the albums differ
    EXPECT_EQ(d.Text(TagEditDlg::kAlbumId), "");
    EXPECT_EQ(d.Check(TagEditDlg::kYearCheck), 1);  // neither has a year
    d.Type(TagEditDlg::kArtistId, "Tessa Quill Trio").Type(TagEditDlg::kYearId, "2004").Ok();
  });
  EditTrackTags(Select({a, b}));
  // Read back through a proxy of its own.
  KernelDeviceClient reader;
  ASSERT_EQ(reader.ConnectToManager(0, KernelId(5), KernelId(1), 0), 1);
  const struct {
    KernelId id;
    const char* title;
    const char* album;
    int number, playCount;
  } kAfter[] = {{a, "Tide One", "Low Water", 1, 12}, {b, "Tide Two", "High Water", 2, 3}};
  for (const auto& x : kAfter) {
    SCOPED_TRACE(x.title);
    TrackRecord r;
    ASSERT_EQ(reader.GetTrackInfo(x.id, r), 0);
    EXPECT_EQ(r.artist.Str(), "Tessa Quill Trio");
    EXPECT_EQ(r.year, 2004);
    EXPECT_EQ(r.title.Str(), x.title);
    EXPECT_EQ(r.album.Str(), x.album);
    EXPECT_EQ(r.trackNumber, x.number);
    EXPECT_EQ(r.genre.Str(), "Folk");
    EXPECT_EQ(r.playCount, x.playCount);
  }
}

}  // namespace
}  // namespace shellexttest
