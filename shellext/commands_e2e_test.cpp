// The playlist, search, report, Quodrel, note and contact commands against a real trayhub
// with the demo player (notes and contacts: the in-memory player behind trayhub's
// start-up), through the library's proxy, as a person runs them.
#include <gtest/gtest.h>

#include <mutex>

#include "common/folders.h"
#include "common/settings.h"
#include "common/short_hash.h"
#include "testing/trayhub.h"
#include "platform/shell/shell.h"
#include "platform/ui/property_sheet.h"
#include "testing/shell_commands.h"
#include "shellext/playlist_commands.h"
#include "shellext/search_commands.h"
#include "tools/item_editors.h"
#include "tools/quodrel_edit_dialog.h"
#include "tools/search_dialogs.h"
#include "tools/sql_gen_dlg.h"

using namespace device;

namespace shellexttest {
namespace {

using namespace shellext;
using platform::DialogDriver;
using platform::IDOK;
using platform::IDYES;
using Q = tools::QuodrelEditDialog;

const bool kIsolated = platform::testing::IsolateNamespace();

const std::vector<std::string> kDemoTitles = {
    "Low Tide",    "Salt and Glass", "Fog Bell",     "Midnight Stroll", "Blue Lantern",   "Last Tram Home",
    "Orchard Song", "River Road",    "Winter Wheat", "Pulse",           "Circuit Garden", "Neon Rain"};

class CommandsE2ETest : public CommandRunner {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    home_ = std::getenv("TOVARIN_HOME");
    trayhubtest::PrepareManagerHome(home_, "2000,20000");
    g_ProductIdentity.InitFromPath("/opt/tovarin/ombrixj1.so");  // the library's copy for this player
    ::unsetenv("TOVARIN_DEVICE");
    ::unsetenv("SHELLHOST_TEST_PLAYER");
    ForgetFixedFolderListsForTesting();
  }
  void TearDown() override {
    SetDeviceForTesting(nullptr);
    client_.reset();
    StopManager();
    LibraryTest::TearDown();
  }
  KernelDevice& Player() override { return *client_; }

  // Starts a manager program and connects the library's proxy once its player is there.
  void StartManager(const char* tool) {
    manager_ = trayhubtest::StartTool(tool);
    ASSERT_NE(trayhubtest::WaitForManager(0, 2000), 0u) << tool << " did not start";
    client_ = std::make_unique<KernelDeviceClient>();
    // As the library's copy "ombrixj1" connects: device kind 1, storage kind 1.
    ASSERT_EQ(client_->ConnectToManager(0, KernelId(1), KernelId(1), 0), 1);
    for (int i = 0; i < 1000 && client_->IsConnected() == 0; ++i) platform::Sleep(10);
    ASSERT_NE(client_->IsConnected(), 0) << "the player did not connect";
    SetDeviceForTesting(client_.get());
  }
  void StopManager() {
    if (!manager_) return;
    manager_->Kill(SIGTERM);
    manager_->Wait();
    manager_.reset();
    for (int i = 0; i < 500 && platform::FindWindow(g_ProductIdentity.windowClassName) != 0; ++i) platform::Sleep(10);
  }
  void Restart(const char* tool) {
    SetDeviceForTesting(nullptr);
    client_.reset();
    StopManager();
    ForgetFixedFolderListsForTesting();
    StartManager(tool);
  }

  std::string Folder(const std::string& name) {
    const std::string folder = home_ + "/" + name;
    std::filesystem::create_directories(folder);
    return folder;
  }
  std::string FileBytes(const std::string& posix) { return ReadFileBytes(platform::FromPosixPath(posix)).value_or("(none)"); }
  std::vector<std::string> Titles(const std::vector<KernelId>& tracks) {
    std::vector<std::string> titles;
    for (const KernelId& t : tracks) titles.push_back(client_->GetTrackTitle(t));
    return titles;
  }
  // What a backup of these tracks holds.
  std::string Records(const std::vector<KernelId>& tracks) {
    std::string bytes;
    for (const KernelId& t : tracks) {
      const std::string hex =
          KernelDevice::MakeContentId(client_->GetTrackArtist(t), client_->GetTrackAlbum(t), client_->GetTrackTitle(t));
      for (std::size_t i = 0; i < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
  }
  std::vector<std::string> SearchTitles() {
    std::vector<KernelId> hits;
    {
      std::lock_guard<std::mutex> lock(g_SearchResultsLock);
      hits = g_SearchResults;
    }
    return Titles(hits);
  }

  std::string home_;
  std::unique_ptr<platform::testing::ChildProcess> manager_;
  std::unique_ptr<KernelDeviceClient> client_;
};

TEST_F(CommandsE2ETest, PlaylistsAreMadeFilledEmptiedBackedUpAndRestored) {
  StartManager("trayhub");
  Items(nullptr);
  ExpectName("type name here", "Night Drive");
  Invoke(3045, {"Playlists"});
  const KernelId night = PlaylistNamed("Night Drive");
  ASSERT_NE(night.word[0], 0u);

  // Fill it with the jazz tracks, then take the middle one out again.
  SortableKernelIdArray jazz(client_.get());
  KernelId t;
  for (int n = client_->GetFirstAudioTrack(t); n > 0; n = client_->GetNextAudioTrack(t)) {
    if (client_->GetTrackArtist(t) == "Northwind Brass") jazz.push_back(t);
  }
  ASSERT_EQ(jazz.size(), 3u);
  host_.ExpectMessageBox(IDOK, "3 tracks added to playlist Night Drive.");
  AddTracksToPlaylist(night, jazz);
  EXPECT_EQ(Titles(TracksOf("Night Drive")), (std::vector<std::string>{"Midnight Stroll", "Blue Lantern", "Last Tram Home"}));
  Invoke(3085, {"Playlists", "Night Drive"}, {"Northwind Brass - Small Hours - 02 - Blue Lantern"});
  EXPECT_EQ(Titles(TracksOf("Night Drive")), (std::vector<std::string>{"Midnight Stroll", "Last Tram Home"}));

  // Of two entries of one track the chosen one goes. The player writes the playlist anew
  // under a new id; the folder as it was listed before lists the new one.
  SortableKernelIdArray again(client_.get());
  again.push_back(jazz[0]);
  host_.ExpectMessageBox(IDOK, "1 track added to playlist Night Drive.");
  AddTracksToPlaylist(PlaylistNamed("Night Drive"), again);
  const platform::LPITEMIDLIST listed = At({"Playlists", "Night Drive"});
  const std::vector<ShellItemData> rows = Items(listed);
  ASSERT_EQ(rows.size(), 3u);
  platform::LPITEMIDLIST last = MakeList(rows[2]);
  CPidlList third;
  third.emplace_back(last);
  RemoveFromPlaylistOrQueue(CPidlLast(listed), third);
  platform::FreeItemIdList(last);
  EXPECT_EQ(Titles(TracksOf("Night Drive")), (std::vector<std::string>{"Midnight Stroll", "Last Tram Home"}));
  EXPECT_NE(PlaylistNamed("Night Drive").word[0], CPidlLast(listed).GetId().word[0]);
  EXPECT_EQ(Items(listed).size(), 2u);

  // Names with every character a path could be led astray by.
  const std::vector<std::pair<std::string, std::string>> hostile = {
      {"a/b:c", "a_b_c.rpb"},         {"..", "__.rpb"},           {"../../evil", "___.._evil.rpb"},
      {"x\\y", "x_y.rpb"},            {"C:\\Windows\\z", "C__Windows_z.rpb"}, {"what?<*>|\"", "what______.rpb"},
      {".hidden", "_hidden.rpb"},     {"Café ☕", "Café ☕.rpb"},  {"a_b_c", "a_b_c (2).rpb"},
  };
  for (const auto& [name, file] : hostile) {
    KernelId p;
    ASSERT_EQ(client_->CreatePlaylist(name, p), 0) << name;
    client_->ClearPendingIds();
    client_->AddPendingId(jazz[2]);
    client_->AddPendingId(jazz[0]);
    ASSERT_EQ(client_->AddPendingToPlaylist(p), 0);
  }
  const std::string folder = Folder("out/backups");
  host_.ExpectFolderPicker(folder, "Select a folder where playlist backup(s) will be created:");
  host_.ExpectMessageBox(IDOK, "Playlist backup complete.");
  Invoke(4030, {"Playlists"});
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(home_ + "/out")) {
    files.push_back(std::filesystem::relative(e.path(), home_ + "/out").string());
  }
  std::sort(files.begin(), files.end());
  std::vector<std::string> expected = {"backups",          "backups/Evening Mix.rpb", "backups/Night Drive.rpb",
                                       "backups/Road Trip.rpb"};
  for (const auto& [name, file] : hostile) expected.push_back("backups/" + file);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(files, expected);
  EXPECT_EQ(FileBytes(folder + "/Evening Mix.rpb"), Records(TracksOf("Evening Mix")));
  EXPECT_EQ(FileBytes(folder + "/Evening Mix.rpb").size(), 100u);
  EXPECT_FALSE(std::filesystem::exists(home_ + "/evil.rpb"));
  EXPECT_EQ(FileBytes(folder + "/___.._evil.rpb"), Records({jazz[2], jazz[0]}));

  // Restored as a new playlist, and over the old one when the person agrees.
  const std::vector<std::string> evening = Titles(TracksOf("Evening Mix"));
  host_.ExpectFilePicker(folder + "/Evening Mix.rpb", "Select a playlist backup to restore:");
  ExpectName("Evening Mix", "Evening Mix (restored)");
  host_.ExpectMessageBox(IDOK, "Playlist 'Evening Mix (restored)' restored with 5 tracks.");
  Invoke(4040, {"Playlists"});
  EXPECT_EQ(Titles(TracksOf("Evening Mix (restored)")), evening);
  host_.ExpectFilePicker(folder + "/Road Trip.rpb");
  ExpectName("Road Trip", "Night Drive");
  host_.ExpectMessageBox(IDYES, "Playlist 'Night Drive' already exists.");
  host_.ExpectMessageBox(IDOK, "Playlist 'Night Drive' restored with 6 tracks.");
  Invoke(4040, {"Playlists"});
  EXPECT_EQ(Titles(TracksOf("Night Drive")), Titles(TracksOf("Road Trip")));
  const std::vector<std::string> names = PlaylistNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), "Night Drive"), 1);
  EXPECT_EQ(std::count_if(names.begin(), names.end(), [](const std::string& n) { return n.find("(new") != std::string::npos; }), 0);
}

TEST_F(CommandsE2ETest, SearchesFindTextAsTextAndSayWhenNothingMatches) {
  StartManager("trayhub");
  const struct {
    const char* word;
    std::vector<std::string> titles;  // empty: no match
  } kCases[] = {
      {"harbor", {"Low Tide", "Salt and Glass", "Fog Bell"}},
      {"Lantern", {"Blue Lantern", "Orchard Song", "River Road", "Winter Wheat"}},
      {"Harbor's", {}},
      {"R&B", {}},
      {"' OR 1=1 OR title?'", {}},
      {"Jazz' OR genre?'Folk", {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.word);
    Settings().SetString("SQL_LastSearchQuery", "before");
    host_.ExpectDialog(tools::CSearchSimpleDlg::kTemplateId,
                       [&](DialogDriver& d) { d.Type(tools::CSearchSimpleDlg::kTextId, c.word).Ok(); });
    if (c.titles.empty()) host_.ExpectMessageBox(IDOK, "Search produced no matches.");
    Invoke(3027, {"Search"});
    std::vector<std::string> got = SearchTitles();
    std::vector<std::string> want = c.titles;
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);
    std::string last;
    ReadSettingString("SQL_LastSearchQuery", last);
    EXPECT_EQ(last, c.titles.empty() ? "before" : SimpleSearchCondition(c.word));
  }
  // The advanced search starts from the last one written (here by the web pages) and
  // finds by the query language.
  Settings().SetString("SQL_LastSearchQuery", "SELECT id FROM audio WHERE genre?'Jazz';");
  host_.ExpectDialog(tools::CSearchDlg::kTemplateId, [&](DialogDriver& d) {
    EXPECT_EQ(d.Text(tools::CSearchDlg::kConditionId), "genre?'Jazz'");
    d.Type(tools::CSearchDlg::kConditionId, "genre = 'Jazz' AND tracknum > 1").Ok();
  });
  Invoke(3026, {"Search"});
  std::vector<std::string> found = SearchTitles();
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{"Blue Lantern", "Last Tram Home"}));
  EXPECT_EQ(Names(At({"Search"})).size(), 2u);  // the Search folder lists them
  host_.ExpectDialog(tools::CSearchDlg::kTemplateId, [&](DialogDriver& d) {
    d.Type(tools::CSearchDlg::kConditionId, "year < 1900").Ok();
  });
  host_.ExpectMessageBox(IDOK, "Search produced no matches.");
  Invoke(3026, {"Search"});
  EXPECT_TRUE(SearchTitles().empty());
}

TEST_F(CommandsE2ETest, EachCannedReportComesOutInEveryFormat) {
  StartManager("trayhub");
  const struct {
    const char* format;
    const char* file;
    const char* head;
  } kCases[] = {
      {"HTML Table (html)", "sqlout.html", "<table"},
      {"Comma-Separated (txt)", "sqlout.txt", "artist,album,tracknum,title"},
      {"Tab-Delimited (txt)", "sqlout.txt", "artist\talbum\ttracknum\ttitle"},
      {"XML Document (xml)", "sqlout.xml", "<item><artist>Harbor Lights</artist>"},
  };
  const std::string reports = home_ + "/tmp/$Ombrix Jukebox$/reports/";
  // The library's own product, then the one whose canned list adds composer, rating and
  // play count.
  ASSERT_NE(g_ProductIdentity.variantCode, 4);
  for (const int variant : {g_ProductIdentity.variantCode, 4}) {
    g_ProductIdentity.variantCode = variant;
    for (const auto& c : kCases) {
      SCOPED_TRACE(std::string(c.format) + " for variant " + std::to_string(variant));
      platform::ShellOpenRecording opened;
      tools::CSQLGenDlg page(client_.get());
      platform::PropertySheet sheet("Logs and Reports");
      sheet.AddPage(&page);
      host_.ExpectDialog("Logs and Reports", [&](DialogDriver& d) {
        DialogDriver p = d.Page();
        p.Click(tools::CSQLGenDlg::kDefaultTracklistId);  // the canned query, as HTML
        if (std::string(c.format) != "HTML Table (html)") {
          p.Select(tools::CSQLGenDlg::kFormatId, c.format).Click(tools::CSQLGenDlg::kGenerateId);
        }
        d.Cancel();
      });
      sheet.DoModal();
      const std::string report = FileBytes(reports + c.file);
      EXPECT_NE(report.find(c.head), std::string::npos) << report;
      EXPECT_EQ(report.find("playcount") != std::string::npos, variant == 4) << report;
      // Every track, by artist, album and number.
      std::size_t at = 0;
      for (const char* title : {"Low Tide", "Salt and Glass", "Fog Bell", "Orchard Song", "River Road", "Winter Wheat",
                                "Midnight Stroll", "Blue Lantern", "Last Tram Home", "Neon Rain", "Pulse",
                                "Circuit Garden"}) {
        const std::size_t next = report.find(title, at);
        EXPECT_NE(next, std::string::npos) << title;
        if (next != std::string::npos) at = next;
      }
      ASSERT_FALSE(opened.calls().empty());
      EXPECT_EQ(opened.calls().back().target, reports + c.file);
    }
  }
}

TEST_F(CommandsE2ETest, QuodrelsAreMadeRefilledAndKeptAcrossARestart) {
  StartManager("trayhub");
  ExpectName("type name here", "Jazz Hour");
  Invoke(3047, {"Playlists"});
  ASSERT_NE(PlaylistNamed("QL: Jazz Hour").word[0], 0u);

  host_.ExpectDialog(Q::kTemplateId, [](DialogDriver& d) {
    EXPECT_EQ(d.Caption(), "Edit Quodrel - Jazz Hour");
    d.Type(Q::kLimitId, "2").Select(Q::kUnitId, "tracks");
    d.Select(Q::kFieldIds[0], "Genre").Select(Q::kOperatorIds[0], "is equal to").Type(Q::kValueIds[0], "Jazz");
    d.Select(Q::kOrderId, "by artist/album/trackname").Ok();
  });
  Invoke(3052, {"Playlists"}, {"QL: Jazz Hour"});
  EXPECT_EQ(Titles(TracksOf("QL: Jazz Hour")), (std::vector<std::string>{"Midnight Stroll", "Blue Lantern"}));

  // Refilled with a wider rule: any of two conditions, three tracks.
  host_.ExpectDialog(Q::kTemplateId, [](DialogDriver& d) {
    EXPECT_EQ(d.Text(Q::kLimitId), "2");
    d.Type(Q::kLimitId, "3").Select(Q::kMatchId, "any");
    d.Select(Q::kFieldIds[1], "Artist").Type(Q::kValueIds[1], "Mira").Ok();
  });
  Invoke(3052, {"Playlists"}, {"QL: Jazz Hour"});
  EXPECT_EQ(Titles(TracksOf("QL: Jazz Hour")), (std::vector<std::string>{"Orchard Song", "River Road", "Winter Wheat"}));
  const std::string file = home_ + "/appdata/qlists/" +
                           tools::RuleFileName(GetShortSha1Hex(client_->GetDeviceUniqueId()), "Jazz Hour");
  EXPECT_EQ(tools::DecipherRule(FileBytes(file)),
            "3|tracks|any|Genre|is equal to|Jazz|Artist|contains|Mira|(not used)|contains|-|by artist/album/trackname");

  Restart("trayhub");
  EXPECT_EQ(Titles(TracksOf("QL: Jazz Hour")), (std::vector<std::string>{"Orchard Song", "River Road", "Winter Wheat"}));
  host_.ExpectDialog(Q::kTemplateId, [](DialogDriver& d) {
    EXPECT_EQ(d.Text(Q::kLimitId), "3");
    EXPECT_EQ(d.Text(Q::kMatchId), "any");
    EXPECT_EQ(d.Text(Q::kFieldIds[0]), "Genre");
    EXPECT_EQ(d.Text(Q::kValueIds[0]), "Jazz");
    EXPECT_EQ(d.Text(Q::kFieldIds[1]), "Artist");
    EXPECT_EQ(d.Text(Q::kValueIds[1]), "Mira");
    EXPECT_EQ(d.Text(Q::kOrderId), "by artist/album/trackname");
    d.Cancel();
  });
  Invoke(3052, {"Playlists"}, {"QL: Jazz Hour"});
}

TEST_F(CommandsE2ETest, NotesAndContactsAreEditedAndFoundOnThePlayer) {
  StartManager("shellhost_test_player");
  CPidlList note;
  note.emplace_back(Child(At({"Notes"}), "Shopping"));
  host_.ExpectDialog(tools::EditNoteDialog::kTemplateId, [](DialogDriver& d) {
    EXPECT_EQ(d.Text(tools::EditNoteDialog::kTextId), "Strings, picks.");
    d.Type(tools::EditNoteDialog::kTextId, "Strings, picks,\ncapo & tuner.").Ok();
  });
  EditNote(note);
  CPidlList contact;
  contact.emplace_back(Child(At({"Contacts"}), "Mara Quill"));
  host_.ExpectDialog(tools::EditContactDialog::kTemplateId, [](DialogDriver& d) {
    d.Type(1217, "Mara").Type(1218, "Quill").Type(1214, "mara@example.org").Type(1216, "Bass, Thursdays").Ok();
  });
  EditContact(contact);
  Player().CommitChanges();

  // Another process's look at the player.
  KernelDeviceClient other;
  ASSERT_EQ(other.ConnectToManager(0, KernelId(1), KernelId(1), 0), 1);
  EXPECT_EQ(other.GetNoteText(note.front().GetId()), "Strings, picks,\ncapo & tuner.");
  ContactRecord record;
  other.GetContactRecord(contact.front().GetId(), record);
  EXPECT_EQ(record.field[kContactFirstName].Str(), "Mara");
  EXPECT_EQ(record.field[kContactLastName].Str(), "Quill");
  EXPECT_EQ(record.field[kContactEmail].Str(), "mara@example.org");
  EXPECT_EQ(record.field[kContactNote].Str(), "Bass, Thursdays");
}

}  // namespace
}  // namespace shellexttest
