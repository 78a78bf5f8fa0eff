// The transfer preparation sheet: its pages over generated audio and data files, the
// record commands as a table, reordering by dragging, the playlist choice, the tag
// write-back and its log, Help; and the prepared route of the engine, whose edits reach
// the player, the source files and the playlists made afterwards.
#include "transfer/transfer_manager_sheet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "common/settings.h"
#include "testing/temp_home.h"
#include "device/memory_device.h"
#include "testing/processes.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/shell/shell.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"
#include "tools/auto_fill_track_num_dialog.h"
#include "tools/field_swap_dlg.h"
#include "tools/tag_edit_dlg.h"
#include "transfer/formats/audio_file_tags.h"
#include "testing/audio_fixtures.h"
#include "transfer/log_file.h"
#include "transfer/transfer_dialog.h"

using namespace device;

namespace transfer {
namespace {

namespace fs = std::filesystem;
using platform::DialogDriver;
using platform::IDOK;
using testing::ReadBytes;
using tools::TagEditDlg;

const bool kIsolated = platform::testing::IsolateNamespace();

// Audio files made from one second of tone.
class AudioMaker {
 public:
  AudioMaker() { ok_ = testing::MakeTone(dir_ / "tone.wav", 1); }
  bool ok() const { return ok_; }
  // An MP3 with these tags (none when all are empty).
  bool Mp3(const std::string& path, const std::string& artist, const std::string& album, const std::string& title,
           int track = 0) {
    std::vector<std::string> args = {"lame", "--quiet", "-b", "64"};
    if (!artist.empty()) args.insert(args.end(), {"--ta", artist});
    if (!album.empty()) args.insert(args.end(), {"--tl", album});
    if (!title.empty()) args.insert(args.end(), {"--tt", title});
    if (track != 0) args.insert(args.end(), {"--tn", std::to_string(track)});
    args.insert(args.end(), {dir_ / "tone.wav", path});
    return testing::Tool(args);
  }
  bool Flac(const std::string& path, const std::string& artist, const std::string& album, const std::string& title) {
    return testing::Tool({"flac", "--silent", "-f", "-T", "ARTIST=" + artist, "-T", "ALBUM=" + album, "-T", "TITLE=" + title,
                          "-o", path, dir_ / "tone.wav"});
  }

 private:
  testing::ScratchFolder dir_;
  bool ok_ = false;
};

AudioMaker& Audio() {
  static AudioMaker maker;
  return maker;
}

// A player that takes every file at once; storage numbers name no medium here.
class Player : public MemoryDeviceBase {
 public:
  int SelectStorage(const KernelId&) override { return 0; }
};

class SheetTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    settings_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
    src_ = root_ + "/src";
    fs::create_directories(src_ + "/Rock/Album");
  }
  // A file under src/ in the system's form.
  std::string Win(const std::string& name) { return platform::FromPosixPath(src_ + "/" + name); }
  std::string Mp3(const std::string& name, const std::string& artist, const std::string& album,
                  const std::string& title, int track = 0) {
    EXPECT_TRUE(Audio().Mp3(src_ + "/" + name, artist, album, title, track));
    return Win(name);
  }
  std::string Data(const std::string& name) {
    testing::WriteBytes(src_ + "/" + name, "data of " + name);
    return Win(name);
  }
  // The audio list's rows as "artist|album|#|title".
  static std::vector<std::string> Rows(platform::UiWindow& page) {
    platform::ListViewControl& list = page.ListView(CTMAudioPage::kListId);
    std::vector<std::string> rows;
    for (int r = 0; r < list.GetItemCount(); ++r) {
      rows.push_back(list.GetItemText(r, 0) + "|" + list.GetItemText(r, 1) + "|" + list.GetItemText(r, 2) + "|" +
                     list.GetItemText(r, 3));
    }
    return rows;
  }
  std::string ReadLog(const std::string& name) { return ReadBytes(platform::ToPosixPath(GetReportPath(name))); }

  platform::ScriptedHost host_;
  std::optional<platform::SettingsKey> settings_;
  std::string src_;
};

TEST_F(SheetTest, ThePagesListTheAudioAndDataFilesAndEachCommandChangesTheSelectedRecords) {
  ASSERT_TRUE(Audio().ok());
  const std::vector<std::string> files = {Mp3("a.mp3", "Ada Lind", "North Light", "Harbour", 3),
                                          Mp3("b.mp3", "Ada Lind", "North Light", "Long Road", 4),
                                          Mp3("Cyra - Glass Rooms - Mirror.mp3", "", "", ""), Data("notes.txt")};
  struct Step {
    const char* what;
    std::vector<int> rows;
    int command;
    std::function<void()> dialogs;  // queues the dialogs the command opens
    std::vector<std::string> after;
  };
  const std::vector<std::string> start = {"Ada Lind|North Light|3|Harbour", "Ada Lind|North Light|4|Long Road",
                                          "Cyra|Glass Rooms|0|Mirror"};
  const std::vector<Step> steps = {
      {"prepend the number", {0}, kCmdPrependNumber, {},
       {"Ada Lind|North Light|3|03 - Harbour", start[1], start[2]}},
      {"prepend the artist", {2}, kCmdPrependArtist, {},
       {"Ada Lind|North Light|3|03 - Harbour", start[1], "Cyra|Glass Rooms|0|Cyra - Mirror"}},
      {"re-read the tags", {0}, kCmdRereadTags, {},
       {start[0], start[1], "Cyra|Glass Rooms|0|Cyra - Mirror"}},
      {"number from 5 by 2", {0, 1, 2}, kCmdAutoFillNumbers,
       [this] {
         host_.ExpectDialog(tools::CAutoFillTrackNumDialog::kTemplateId, [](DialogDriver& d) {
           d.Type(tools::CAutoFillTrackNumDialog::kStartingNumberId, "5").Type(tools::CAutoFillTrackNumDialog::kIncrementId, "2").Ok();
         });
       },
       {"Ada Lind|North Light|5|Harbour", "Ada Lind|North Light|7|Long Road", "Cyra|Glass Rooms|9|Cyra - Mirror"}},
      {"swap artist and title", {2}, kCmdSwapFields,
       [this] {
         host_.ExpectDialog(tools::CFieldSwapDlg::kTemplateId, [](DialogDriver& d) {
           EXPECT_EQ(d.Caption(), "Swap Tag Fields");
           d.Select(tools::CFieldSwapDlg::kFirstFieldId, "Artist").Select(tools::CFieldSwapDlg::kSecondFieldId, "Title").Ok();
         });
       },
       {"Ada Lind|North Light|5|Harbour", "Ada Lind|North Light|7|Long Road", "Cyra - Mirror|Glass Rooms|9|Cyra"}},
      {"swapping a title with the number is refused", {0}, kCmdSwapFields,
       [this] {
         host_.ExpectDialog(tools::CFieldSwapDlg::kTemplateId, [](DialogDriver& d) {
           d.Select(tools::CFieldSwapDlg::kFirstFieldId, "Title").Select(tools::CFieldSwapDlg::kSecondFieldId, "Track Number").Ok();
         });
         host_.ExpectMessageBox(IDOK, "can only take a number");
       },
       {"Ada Lind|North Light|5|Harbour", "Ada Lind|North Light|7|Long Road", "Cyra - Mirror|Glass Rooms|9|Cyra"}},
      {"copy the album into the artist", {2}, kCmdCopyField,
       [this] {
         host_.ExpectDialog(tools::CFieldSwapDlg::kTemplateId, [](DialogDriver& d) {
           EXPECT_EQ(d.Caption(), "Copy Tag Field");
           EXPECT_EQ(d.Text(tools::CFieldSwapDlg::kSecondLabelId), "to this field:");
           d.Select(tools::CFieldSwapDlg::kFirstFieldId, "Album").Select(tools::CFieldSwapDlg::kSecondFieldId, "Artist").Ok();
         });
       },
       {"Ada Lind|North Light|5|Harbour", "Ada Lind|North Light|7|Long Road", "Glass Rooms|Glass Rooms|9|Cyra"}},
      {"reparse from the file name", {2}, kCmdReparseNames, {},
       {"Ada Lind|North Light|5|Harbour", "Ada Lind|North Light|7|Long Road", "Cyra|Glass Rooms|9|Mirror"}},
      {"edit two: only agreed fields are preset, an emptied album is kept", {0, 1}, kCmdEditTags,
       [this] {
         host_.ExpectDialog(TagEditDlg::kBasicTemplateId, [](DialogDriver& d) {
           EXPECT_EQ(d.Text(TagEditDlg::kArtistId), "Ada Lind");
           EXPECT_EQ(d.Check(TagEditDlg::kTitleCheck), 0);
           EXPECT_EQ(d.Text(TagEditDlg::kTitleId), "");
           d.Type(TagEditDlg::kArtistId, "Ada Lind Trio").Type(TagEditDlg::kAlbumId, "").Ok();
         });
       },
       {"Ada Lind Trio|North Light|5|Harbour", "Ada Lind Trio|North Light|7|Long Road", "Cyra|Glass Rooms|9|Mirror"}},
      {"remove", {1}, kCmdRemove, {}, {"Ada Lind Trio|North Light|5|Harbour", "Cyra|Glass Rooms|9|Mirror"}},
      {"nothing selected", {}, kCmdPrependArtist, [this] { host_.ExpectMessageBox(IDOK, "No items selected."); },
       {"Ada Lind Trio|North Light|5|Harbour", "Cyra|Glass Rooms|9|Mirror"}},
  };
  SourceGroups groups;
  CTransferManagerSheet sheet(&files, &groups);
  host_.ExpectDialog("Prepare for Transfer...", [&](DialogDriver& d) {
    EXPECT_EQ(d.Caption(), "Prepare for Transfer...");
    EXPECT_FALSE(d.Visible(platform::ID_APPLY_NOW));
    DialogDriver audio = d.Page();
    EXPECT_EQ(audio.TemplateId(), CTMAudioPage::kTemplateId);
    platform::ListViewControl& list = audio.window().ListView(CTMAudioPage::kListId);
    EXPECT_EQ(Rows(audio.window()), start);  // the untagged file's names come from its path
    EXPECT_EQ(list.GetItemText(0, 7), "0:01");
    EXPECT_EQ(list.GetItemText(0, 8), "64 Kbps");
    EXPECT_EQ(list.GetItemImage(0), 0);
    for (const Step& s : steps) {
      SCOPED_TRACE(s.what);
      list.UserSelectRows(s.rows);
      host_.ExpectMenu(static_cast<platform::UINT>(s.command));
      if (s.dialogs) s.dialogs();
      ASSERT_TRUE(list.UserRightClick(-1));
      EXPECT_EQ(Rows(audio.window()), s.after);
      EXPECT_EQ(host_.pendingAnswers(), 0u);
    }
    // One selected row shows its path; Delete removes; activating a row edits it.
    ASSERT_TRUE(list.UserClickRow(1));
    EXPECT_EQ(audio.Text(CTMAudioPage::kPathId), files[2]);
    host_.ExpectDialog(TagEditDlg::kBasicTemplateId, [](DialogDriver& e) { e.Cancel(); });
    audio.ActivateRow(CTMAudioPage::kListId, 1);
    ASSERT_TRUE(list.UserKey(platform::VK_DELETE));
    EXPECT_EQ(Rows(audio.window()), (std::vector<std::string>{"Ada Lind Trio|North Light|5|Harbour"}));

    // The data page: its file, a menu of five entries of which only Remove acts.
    d.SelectTab(1);
    DialogDriver data = d.Page();
    platform::ListViewControl& dataList = data.window().ListView(CTMDataPage::kListId);
    ASSERT_EQ(dataList.GetItemCount(), 1);
    EXPECT_EQ(dataList.GetItemText(0, 0), "notes.txt");
    EXPECT_EQ(dataList.GetItemText(0, 1), files[3]);
    ASSERT_TRUE(dataList.UserSelectRows({0}));
    host_.ExpectMenu([](const platform::Menu& menu) {
      EXPECT_EQ(menu.Describe(), "(Prepend Artist to Title)\n(Prepend Track Number to Title)\n(Re-Read Fields from Tag)\n"
                                 "(Reparse Fields from Filename)\nRemove from Transfer List\n");
      return 0u;
    });
    ASSERT_TRUE(dataList.UserRightClick(0));
    EXPECT_EQ(dataList.GetItemCount(), 1);
    d.Ok();
  });
  ASSERT_EQ(sheet.DoModal(), IDOK);
  std::vector<std::string> sent;
  for (const TrackRecord* r : sheet.RecordsToSend()) sent.push_back(r->path.Str() + "|" + r->artist.Str());
  EXPECT_EQ(sent, (std::vector<std::string>{files[0] + "|Ada Lind Trio", files[3] + "|"}));
}

TEST_F(SheetTest, DraggingARowMovesItsRecord) {
  ASSERT_TRUE(Audio().ok());
  std::vector<std::string> files;
  for (const char* t : {"A", "B", "C", "D"}) files.push_back(Mp3(std::string(t) + ".mp3", "X", "Y", t));
  const struct {
    int from, onto;
    const char* order;
  } kCases[] = {{0, 1, "ABCD"}, {1, 1, "ABCD"}, {1, -1, "ABCD"}, {0, 3, "BCAD"}, {3, 1, "ADBC"}, {2, 0, "CABD"}};
  SourceGroups groups;
  CTransferManagerSheet sheet(&files, &groups);
  host_.ExpectDialog("Prepare for Transfer...", [&](DialogDriver& d) {
    CTMAudioPage& page = sheet.AudioPage();
    platform::ListViewControl& list = page.ListView(CTMAudioPage::kListId);
    for (const auto& c : kCases) {
      SCOPED_TRACE(std::to_string(c.from) + " onto " + std::to_string(c.onto));
      ASSERT_TRUE(list.UserBeginDrag(c.from));
      ASSERT_TRUE(list.UserReorderOver(c.onto));
      ASSERT_TRUE(list.UserReorderDrop(c.onto));
      std::string order;
      for (const auto& r : page.Records()) order += r->title.Str();
      EXPECT_EQ(order, c.order);
      for (int row = 0; row < list.GetItemCount(); ++row) EXPECT_EQ(list.GetItemText(row, 3), std::string(1, c.order[row]));
      // Back to the start for the next case.
      std::sort(page.Records().begin(), page.Records().end(),
                [](const auto& a, const auto& b) { return a->title.Str() < b->title.Str(); });
    }
    d.Cancel();
  });
  sheet.DoModal();
}

TEST_F(SheetTest, UncheckedFoldersMakeNoPlaylistButTheirFilesStayInTheTransfer) {
  SourceGroups groups;
  groups.Add("", Win("top.txt"));
  groups.Add("Rock\\", Win("Rock/a.txt"));
  groups.Add("Rock\\Album\\", Win("Rock/Album/b.txt"));
  groups.Add("Rock\\Album\\", Win("Rock/Album/c.txt"));
  groups.Add("mix", Win("d.txt"));
  const std::vector<std::string> files = {Win("top.txt"), Win("Rock/a.txt"), Win("Rock/Album/b.txt"),
                                          Win("Rock/Album/c.txt"), Win("d.txt")};
  for (const std::string& f : files) testing::WriteBytes(platform::ToPosixPath(f), "x");
  CTransferManagerSheet sheet(&files, &groups);
  host_.ExpectDialog("Prepare for Transfer...", [&](DialogDriver& d) {
    d.SelectTab(2);
    DialogDriver page = d.Page();
    platform::ListViewControl& list = page.window().ListView(CTMPlaylistPage::kListId);
    ASSERT_EQ(list.GetItemCount(), 3);
    std::vector<std::string> rows;
    for (int r = 0; r < 3; ++r) rows.push_back(list.GetItemText(r, 0) + "|" + list.GetItemText(r, 1) + (list.GetCheck(r) ? "+" : "-"));
    EXPECT_EQ(rows, (std::vector<std::string>{"Rock|1+", "Rock\\Album|2+", "mix|1+"}));
    page.Click(kCmdDeselectAll);
    for (int r = 0; r < 3; ++r) EXPECT_FALSE(list.GetCheck(r));
    host_.ExpectMenu(static_cast<platform::UINT>(kCmdSelectAll));
    ASSERT_TRUE(list.UserRightClick(-1));
    ASSERT_TRUE(list.UserToggleCheck(1));
    page.Click(CTMPlaylistPage::kOverwriteId);
    d.Ok();
  });
  ASSERT_EQ(sheet.DoModal(), IDOK);
  std::vector<std::string> keys;
  for (const auto& g : groups.groups()) keys.push_back(g.key);
  EXPECT_EQ(keys, (std::vector<std::string>{"", "Rock\\", "mix"}));
  EXPECT_EQ(sheet.RecordsToSend().size(), files.size());
  std::uint32_t overwrite = 0;
  ReadSettingDword("JB_Tx_OverwritePlaylists", overwrite);
  EXPECT_EQ(overwrite, 1u);

  // Rows start unchecked when the person asked not to be asked.
  settings_->SetDword("JB_Tx_DisableAskAutoPlaylistCreation", 1);
  CTransferManagerSheet again(&files, &groups);
  host_.ExpectDialog("Prepare for Transfer...", [&](DialogDriver& d) {
    d.SelectTab(2);
    platform::ListViewControl& list = d.Page().window().ListView(CTMPlaylistPage::kListId);
    EXPECT_FALSE(list.GetCheck(0));
    EXPECT_EQ(d.Page().Check(CTMPlaylistPage::kOverwriteId), 1);
    d.Cancel();
  });
  again.DoModal();
}

TEST_F(SheetTest, WriteBackPutsTheEditsIntoTheFilesItCanAndLogsEveryFile) {
  ASSERT_TRUE(Audio().ok());
  const std::vector<std::string> files = {Mp3("a.mp3", "Ada Lind", "North Light", "Harbour"),
                                          Mp3("b.mp3", "Ada Lind", "North Light", "Long Road")};
  ASSERT_TRUE(Audio().Flac(src_ + "/c.flac", "Ada Lind", "North Light", "Opening"));
  const std::vector<std::string> all = {files[0], files[1], Win("c.flac")};
  const std::string flacBefore = ReadBytes(src_ + "/c.flac");
  g_ProductIdentity.variantCode = 2;  // a family that plays FLAC
  struct Case {
    const char* what;
    std::uint32_t enable, v1, v2;
    std::string log;  // after the opening time
  };
  const Case kCases[] = {
      {"off", 0, 0, 0, "Tag WriteBack is disabled.\r\n"},
      {"on, no kind chosen", 1, 0, 0,
       "Tag WriteBack is enabled.\r\nID3V1 format is disabled.\r\nID3V2 format is disabled.\r\n"
       "Defaulting to ID3V2 format for write-back.\r\n" +
           all[0] + ":\r\nFile type is .mp3...writing...done.\r\n" + all[1] +
           ":\r\nTag data did not change...skipping.\r\n" + all[2] + ":\r\nFile type is .flac...skipping.\r\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    settings_->SetDword("ATM_TWB_Enable", c.enable);
    settings_->SetDword("ATM_TWB_UseV1", c.v1);
    settings_->SetDword("ATM_TWB_UseV2", c.v2);
    SourceGroups groups;
    CTransferManagerSheet sheet(&all, &groups);
    host_.ExpectDialog("Prepare for Transfer...", [&](DialogDriver& d) {
      platform::ListViewControl& list = d.Page().window().ListView(CTMAudioPage::kListId);
      for (int row : {0, 2}) {
        ASSERT_TRUE(list.UserSelectRows({row}));
        host_.ExpectMenu(static_cast<platform::UINT>(kCmdEditTags));
        host_.ExpectDialog(TagEditDlg::kBasicTemplateId, [](DialogDriver& e) { e.Type(TagEditDlg::kTitleId, "Edited").Ok(); });
        ASSERT_TRUE(list.UserRightClick(row));
      }
      d.Ok();
    });
    ASSERT_EQ(sheet.DoModal(), IDOK);
    const std::string log = ReadLog("_twblog.txt");
    EXPECT_EQ(log.substr(log.find("\r\n") + 2), c.log);
    TrackRecord onDisk;
    ReadAudioFileTags(all[0], onDisk);
    EXPECT_EQ(onDisk.title.Str(), c.enable != 0 ? "Edited" : "Harbour");
    EXPECT_EQ(ReadBytes(src_ + "/c.flac"), flacBefore);
  }
}

TEST_F(SheetTest, TheOptionsTabIsTheAdvancedPageAndItsWriteBackChoiceCountsForThisRun) {
  ASSERT_TRUE(Audio().ok());
  const std::vector<std::string> files = {Mp3("a.mp3", "Ada Lind", "North Light", "Harbour")};
  SourceGroups groups;
  CTransferManagerSheet sheet(&files, &groups);
  platform::ShellOpenRecording opened;
  host_.ExpectDialog("Prepare for Transfer...", [&](DialogDriver& d) {
    auto& tabs = d.window().Tabs(platform::kSheetTabsId);
    ASSERT_EQ(tabs.GetItemCount(), 4);
    EXPECT_EQ(tabs.GetItem(0)->text, "Audio Tracks");
    EXPECT_EQ(tabs.GetItem(1)->text, "Data Files");
    EXPECT_EQ(tabs.GetItem(2)->text, "Playlists");
    EXPECT_EQ(tabs.GetItem(3)->text, "Options");
    d.Click(platform::IDHELP);  // no help address: nothing opens
    settings_->SetString("URL_Help", "http://help.example/");
    d.Click(platform::IDHELP);
    settings_->SetString("URL_HelpATM", "http://help.example/atm");
    d.Click(platform::IDHELP);
    host_.ExpectDialog(TagEditDlg::kBasicTemplateId, [](DialogDriver& e) { e.Type(TagEditDlg::kTitleId, "Edited").Ok(); });
    d.Page().ActivateRow(CTMAudioPage::kListId, 0);
    d.SelectTab(3);
    EXPECT_EQ(d.Page().TemplateId(), OptTransfersAdvanced::kTemplateId);
    d.Page().Click(OptTransfersAdvanced::kWriteBackId);
    d.Ok();
  });
  ASSERT_EQ(sheet.DoModal(), IDOK);
  ASSERT_EQ(opened.calls().size(), 2u);
  EXPECT_EQ(opened.calls()[0].target, "http://help.example/");
  EXPECT_EQ(opened.calls()[1].target, "http://help.example/atm");
  TrackRecord onDisk;
  ReadAudioFileTags(files[0], onDisk);
  EXPECT_EQ(onDisk.title.Str(), "Edited");
}

// ---- The prepared route of the engine ----

class PreparedRouteTest : public SheetTest {
 protected:
  void SetUp() override {
    SheetTest::SetUp();
    settings_->SetDword("Gen_Tx_AutoCloseDialog", 1);
    settings_->SetDword("JB_Tx_UseATM", 1);
    ASSERT_TRUE(dialog_.Create(0));
  }
  std::string Run(const std::vector<std::string>& files, const SourceGroups& roots) {
    TransferLogFile log;
    log.Open();
    dialog_.StartTransfer(&log, KernelId(0), &files, &roots, 0, 0);
    log.Close();
    const std::string text = ReadBytes(platform::ToPosixPath(log.GetPath()));
    return text.substr(text.find("\r\n") + 2);
  }
  // The player's tracks as "artist|title", and its playlists with their titles.
  std::vector<std::string> Tracks() {
    std::vector<std::string> out;
    KernelId t;
    for (int n = D().GetFirstAudioTrack(t); n != 0; n = D().GetNextAudioTrack(t)) {
      out.push_back(player_.RecordOf(t).artist.Str() + "|" + player_.RecordOf(t).title.Str());
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  std::map<std::string, std::vector<std::string>> Playlists() {
    std::map<std::string, std::vector<std::string>> lists;
    KernelId p;
    for (int n = D().GetFirstPlaylist(p); n != 0; n = D().GetNextPlaylist(p)) {
      auto& titles = lists[D().GetPlaylistName(p)];
      for (const KernelId& t : player_.PlaylistItems(p)) titles.push_back(player_.RecordOf(t).title.Str());
    }
    return lists;
  }

  KernelDevice& D() { return player_; }

  Player player_;
  CTransferDialog dialog_{player_};
};

TEST_F(PreparedRouteTest, TheSheetsEditsReachThePlayerTheFilesAndThePlaylists) {
  ASSERT_TRUE(Audio().ok());
  settings_->SetDword("ATM_TWB_Enable", 1);
  const std::vector<std::string> files = {Mp3("Rock/a.mp3", "Ada Lind", "North Light", "Harbour"),
                                          Mp3("Rock/Album/b.mp3", "Ada Lind", "North Light", "Long Road"),
                                          Mp3("Rock/Album/c.mp3", "Brass Fold", "Metal Hours", "Opening"),
                                          Data("Rock/notes.txt")};
  SourceGroups roots;
  roots.Add("Rock\\", files[0]);
  roots.Add("Rock\\", files[3]);
  roots.Add("Rock\\Album\\", files[1]);
  roots.Add("Rock\\Album\\", files[2]);
  host_.ExpectDialog("Prepare for Transfer...", [&](DialogDriver& d) {
    platform::ListViewControl& list = d.Page().window().ListView(CTMAudioPage::kListId);
    // The second track gets a new title; the third leaves the transfer.
    host_.ExpectDialog(TagEditDlg::kBasicTemplateId, [](DialogDriver& e) { e.Type(TagEditDlg::kTitleId, "Long Way").Ok(); });
    d.Page().ActivateRow(CTMAudioPage::kListId, 1);
    ASSERT_TRUE(list.UserClickRow(2));
    ASSERT_TRUE(list.UserKey(platform::VK_DELETE));
    d.SelectTab(2);
    ASSERT_TRUE(d.Page().window().ListView(CTMPlaylistPage::kListId).UserToggleCheck(0));  // no playlist "Rock"
    d.Ok();
  });
  const std::string log = Run(files, roots);
  EXPECT_EQ(Tracks(), (std::vector<std::string>{"Ada Lind|Harbour", "Ada Lind|Long Way"}));
  KernelId item;
  ASSERT_NE(D().GetFirstDataItem(player_.DataRoot(), item), 0);
  EXPECT_EQ(D().GetDataItemName(item), "notes.txt");
  // Made without asking, for the checked folder only, of what was sent.
  EXPECT_EQ(Playlists(), (std::map<std::string, std::vector<std::string>>{{"Rock - Album", {"Long Way"}}}));
  TrackRecord onDisk;
  ReadAudioFileTags(files[1], onDisk);
  EXPECT_EQ(onDisk.title.Str(), "Long Way");
  EXPECT_NE(log.find("Transferring to Device\r\nTransfer target is Memory Player and memory segment 0.\r\n"
                     "File: " + files[0] + ".File is audio...starting transfer...synchronous...complete.\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("File: " + files[3] + ".File is data...starting transfer...synchronous...complete."), std::string::npos);
  EXPECT_EQ(log.find("Auto-completing"), std::string::npos);  // no tag settings on this route
  EXPECT_EQ(dialog_.GetDlgItemText(CTransferDialog::kSecondTitleId), "");
}

TEST_F(PreparedRouteTest, CancelSendsNothingAndSkippingDataSendsOnlyAudio) {
  ASSERT_TRUE(Audio().ok());
  const std::vector<std::string> files = {Mp3("a.mp3", "Ada Lind", "North Light", "Harbour"), Data("notes.txt")};
  host_.ExpectDialog("Prepare for Transfer...", [](DialogDriver& d) { d.Cancel(); });
  Run(files, SourceGroups());
  EXPECT_TRUE(Tracks().empty());
  host_.ExpectDialog("Prepare for Transfer...", [](DialogDriver& d) {
    d.SelectTab(1);
    d.Page().Click(CTMDataPage::kSkipId);
    d.Ok();
  });
  Run(files, SourceGroups());
  EXPECT_EQ(Tracks(), (std::vector<std::string>{"Ada Lind|Harbour"}));
  KernelId item;
  EXPECT_EQ(D().GetFirstDataItem(player_.DataRoot(), item), 0);
  // Without a tag index the direct route runs.
  player_.SetCapability(DeviceOp::SupportsTagIndex, 0);
  Run({Data("other.txt")}, SourceGroups());
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

// A file named like audio whose reader finds none is refused on this route too, and the
// end of the run says so.
TEST_F(PreparedRouteTest, AFileWithoutAudioIsRefusedWithItsReason) {
  ASSERT_TRUE(Audio().ok());
  const std::vector<std::string> files = {Mp3("a.mp3", "Ada Lind", "North Light", "Harbour"), Data("noise.mp3")};
  host_.ExpectDialog("Prepare for Transfer...", [](DialogDriver& d) { d.Ok(); });
  host_.ExpectMessageBox(platform::IDOK, "1 of the files could not be sent to the player.");
  const std::string log = Run(files, SourceGroups());
  EXPECT_EQ(Tracks(), (std::vector<std::string>{"Ada Lind|Harbour"}));
  EXPECT_NE(log.find("File: " + files[1] + ".File is audio...no audio found in the file...skipped."), std::string::npos)
      << log;
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

}  // namespace
}  // namespace transfer
