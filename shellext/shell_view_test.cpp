// The folder view in shellhost's frame: columns and texts per kind of folder, sorting,
// status texts, activation, reordering inside a playlist, merged menus and buttons.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/settings.h"
#include "common/shell_utilities.h"
#include "platform/shell/shell.h"
#include "platform/ui/dialog_driver.h"
#include "tools/name_dlg.h"
#include "shellext/search_commands.h"
#include "sql/query_engine.h"
#include "testing/shell_view.h"
#include "tools/search_dialogs.h"

using namespace device;

namespace shellexttest {
namespace {

using namespace shellext;

const bool kIsolated = platform::testing::IsolateNamespace();

// Each kind of folder: its columns in display order and the texts of one row.
TEST_F(ViewTest, EachKindOfFolderShowsItsColumnsAndTexts) {
  const KernelId big = device_.AddDataFile(device_.DataRoot(), "big.bin", std::string(5000, 'x'));
  const std::string bigTime = FormatDateTimeLocale(device_.GetDataItemModifiedTime(big));
  const std::string oldTime = FormatDateTimeLocale(device_.GetDataItemModifiedTime(catalogue_.old));
  device_.EnqueueTrack(catalogue_.mirror);
  struct Case {
    std::string path;
    std::vector<std::string> titles;
    std::string row;  // the row's name
    std::vector<std::string> texts;
  };
  const std::vector<Case> cases = {
      {"", {"Name", "Count", "Used Space", "Free Space", "Total Space"}, "Audio Tracks",
       {"Audio Tracks", "4", "0 MB", "20479 MB", "20480 MB"}},
      {"Audio Tracks", {"Name", "Size", "Type", "Length", "Bitrate", "Year", "Genre", "Comment"},
       "Brass Fold - Metal Hours - 01 - Opening", {"Brass Fold - Metal Hours - 01 - Opening", "0 KB", "wav", "3:30",
                                                   "128 Kbps", "1998", "Jazz", ""}},
      {"Playlists", {"Name", "Contains"}, "Evening", {"Evening", "2"}},
      {"Playlists/Evening", {"#", "Name", "Type", "Size", "Length", "Bitrate", "Genre", "Year", "Comment"},
       "Ada Lind - North Light - 01 - Harbour", {"1", "Ada Lind - North Light - 01 - Harbour", "mp3", "0 KB", "3:00",
                                                 "128 Kbps", "Folk", "2004", ""}},
      {"Playlists/[ Playlist Index ]", {"Name", "Count", "Playlists"}, "Brass Fold - Metal Hours - 01 - Opening",
       {"Brass Fold - Metal Hours - 01 - Opening", "2", "Evening, Jazz Mix"}},
      {"Artists", {"Name", "Contains"}, "Ada Lind", {"Ada Lind", "1"}},
      {"Active Queue", {"#", "Name", "Status", "Length"}, "Cyra - Glass Rooms - 07 - Mirror",
       {"1", "Cyra - Glass Rooms - 07 - Mirror", "Current track.", "2:30"}},
      {"Data Files", {"Name", "Size", "Type", "Modified", "Attributes"}, "big.bin",
       {"big.bin", "4 KB", "BIN File", bigTime, "A"}},
      {"Data Files/Documents", {"Name", "Size", "Type", "Modified", "Attributes"}, "Old",
       {"Old", "1", "File Folder", oldTime, ""}},
      {"Notes", {"Name", "Contains"}, "Shopping", {"Shopping", ""}},
      {"FM Radio Tuner", {"#", "Frequency"}, "88.50 MHz", {"1", "88.50 MHz"}},
      {"Device Information", {"Device Property", "Value"}, "Owner", {"Owner", "Owner"}},
  };
  for (const Case& c : cases) {
    Open(c.path);
    EXPECT_EQ(Titles(), c.titles) << c.path;
    const int row = RowOf(c.row);
    ASSERT_GE(row, 0) << c.path << ": no row " << c.row;
    EXPECT_EQ(RowTexts(row), c.texts) << c.path;
  }
}

// The texts the design spells out: a small file, a variable bitrate, a sample rate, the
// attribute letters, playlists' counts of the tracks they hold.
TEST_F(ViewTest, TextsOfSizesRatesAndAttributes) {
  const KernelId small = device_.AddDataFile(device_.DataRoot(), "small.txt", std::string(1000, 'x'));
  (void)small;
  const KernelId vbr = device_.AddTrack({.artist = "V", .album = "B", .title = "R", .number = 1, .bitrate = 1});
  device_.RecordOf(vbr).sampleRate = 44100;
  device_.RecordOf(vbr).rating = 80;
  device_.InvalidateTrackIndex();
  Open("Data Files");
  EXPECT_EQ(List().GetItemText(RowOf("small.txt"), ColumnOf("Size")), "1 KB");  // 1,000 bytes is not 0 KB
  Open("Audio Tracks");
  const int row = RowOf("V - B - 01 - R");
  ASSERT_GE(row, 0);
  EXPECT_EQ(List().GetItemText(row, ColumnOf("Bitrate")), "VBR");
  View().Columns()->ToggleColumn(9);   // Samplerate
  View().Columns()->ToggleColumn(14);  // Rating
  EXPECT_EQ(List().GetItemText(row, ColumnOf("Samplerate")), "44 kHz");  // the record holds Hz
  EXPECT_EQ(List().GetItemText(row, ColumnOf("Rating")), "4");
}

// Every column sorts both ways: a total order (sorting again changes nothing) in which the
// descending order is the ascending one turned round.
TEST_F(ViewTest, EveryColumnSortsBothWaysTotallyAndStably) {
  // Ties on every column but the name's: equal lengths, years, genres and sizes.
  device_.AddTrack({.artist = "Ada Lind", .album = "North Light", .title = "Harbour", .genre = "Folk", .number = 1,
                    .year = 2004, .length = 180});
  Open("Audio Tracks");
  View().Columns()->RestoreDefaults();
  for (int d = 1; d < static_cast<int>(View().Columns()->Table().columns.size()); ++d) {
    if (!View().Columns()->IsShown(d)) View().Columns()->ToggleColumn(d);
  }
  auto order = [&] {
    std::vector<std::uint64_t> rows;
    for (int row = 0; row < List().GetItemCount(); ++row) rows.push_back(List().GetItemData(row));
    return rows;
  };
  for (int c = 0; c < List().GetColumnCount(); ++c) {
    View().ClickColumn(c);
    if (View().SortDirection() > 0) View().ClickColumn(c);  // descending first
    const std::vector<std::uint64_t> down = order();
    View().SortList();
    EXPECT_EQ(order(), down) << List().GetColumn(c).title << " is not stable";
    View().ClickColumn(c);
    ASSERT_EQ(View().SortDirection(), 1);
    std::vector<std::uint64_t> up = order();
    std::reverse(up.begin(), up.end());
    EXPECT_EQ(up, down) << List().GetColumn(c).title;
  }
  // Lengths by their text's length first, then the text; numbers as numbers.
  View().ClickColumn(ColumnOf("Length"));
  if (View().SortDirection() < 0) View().ClickColumn(ColumnOf("Length"));
  EXPECT_EQ(ColumnTexts(ColumnOf("Length")), (std::vector<std::string>{"2:30", "3:00", "3:00", "3:20", "3:30"}));
  View().ClickColumn(ColumnOf("#"));
  if (View().SortDirection() < 0) View().ClickColumn(ColumnOf("#"));
  EXPECT_EQ(ColumnTexts(ColumnOf("#")), (std::vector<std::string>{"1", "1", "1", "2", "7"}));
}

TEST_F(ViewTest, TheListComesUpSortedUpwardsAndTheFirstClickTurnsItDown) {
  Open("Artists/Ada Lind");
  EXPECT_EQ(View().SortColumn(), 0);
  EXPECT_EQ(View().SortDirection(), 1);
  EXPECT_EQ(List().GetItemText(0, 0), "[ All: Ada Lind ]");
  View().ClickColumn(0);
  EXPECT_EQ(View().SortDirection(), -1);
  EXPECT_EQ(List().GetItemText(0, 0), "[ All: Ada Lind ]");  // on top either way
  View().ClickColumn(1);
  EXPECT_EQ(View().SortDirection(), 1);
}

TEST_F(ViewTest, StatusTextsForTheFolderAndTheSelection) {
  const KernelId three = device_.AddTrack({.artist = "S", .album = "T", .title = "Three", .number = 1, .length = 180,
                                           .fileSize = 3 * 1024 * 1024});
  const KernelId four = device_.AddTrack({.artist = "S", .album = "T", .title = "Four", .number = 2, .length = 270,
                                          .fileSize = 1024 * 1024});
  device_.AddPlaylist("Pair", {three, four});
  Open("Playlists/Pair");
  EXPECT_EQ(Status(0).rfind("2 files (4 MB, 00:07:30). ", 0), 0u) << Status(0);
  EXPECT_EQ(Status(0).substr(Status(0).size() - 9), " MB free.");
  ASSERT_TRUE(List().UserSelectRows({0, 1}));
  EXPECT_EQ(Status(0), "2 files selected (4 MB, 00:07:30).");
  EXPECT_EQ(Status(2), List().GetItemText(1, 0));
  ASSERT_TRUE(List().UserSelectRows({0}));
  EXPECT_EQ(Status(0), "1 file selected (3 MB, 00:03:00).");
  Open("Device Information");
  EXPECT_EQ(Status(0), std::to_string(List().GetItemCount()) + " items.");
  // Every part keeps room of its own.
  const std::vector<int> parts = Frame().StatusBar().GetParts();
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_LT(parts[0], parts[1]);
  EXPECT_EQ(parts[2], -1);
  // The search folder counts its matches.
  {
    std::lock_guard<std::mutex> lock(g_SearchResultsLock);
    g_SearchResults = {catalogue_.harbour};
  }
  Open("Search");
  EXPECT_EQ(Status(0), "1 match.");
  {
    std::lock_guard<std::mutex> lock(g_SearchResultsLock);
    g_SearchResults = {catalogue_.harbour, catalogue_.mirror};
  }
  View().RefreshList();
  EXPECT_EQ(Status(0), "2 matches.");
  std::lock_guard<std::mutex> lock(g_SearchResultsLock);
  g_SearchResults.clear();
}

TEST_F(ViewTest, ActivatingARowBrowsesOpensOrActs) {
  Open("");
  ASSERT_TRUE(List().UserSelectRows({RowOf("Artists")}));
  View().ActivateSelectedRow();
  Frame().Pump();  // the frame browses from its queue
  EXPECT_EQ(Frame().CurrentPath(), "Artists");

  // With no row selected nothing happens.
  List().SetItemState(-1, 0, platform::LVIS_SELECTED);
  View().ActivateSelectedRow();
  Frame().Pump();
  EXPECT_EQ(Frame().CurrentPath(), "Artists");

  // A help row opens its address and browses nowhere.
  struct NeverConnected : MemoryDeviceBase {
    void Connect() override {}
  } away;
  away.SetConnected(false);
  Use(away);
  Settings().SetString("URL_HelpTshooter", "http://help.example/t");
  View().RefreshList();
  platform::ShellOpenRecording opened;
  const int help = RowOf("For more help, double-click here to browse to our online Troubleshooter.");
  ASSERT_GE(help, 0);
  ASSERT_TRUE(List().UserSelectRows({help}));
  ASSERT_TRUE(List().UserActivate(help));
  Frame().Pump();
  ASSERT_EQ(opened.calls().size(), 1u);
  EXPECT_EQ(opened.calls()[0].target, "http://help.example/t");
  EXPECT_EQ(Frame().CurrentPath(), "Artists");
  frame_.reset();  // before the player it asks goes
}

// The toolbar's fill button and the top level's "Open Ferrowin..." row open the fill
// dialog on the player's memory segments.
TEST_F(ViewTest, TheFillButtonAndRowOpenTheFillDialogOnTheSegments) {
  device_.SetCapability(DeviceOp::SupportsStorageList, 1);
  device_.AddStorage("Internal Memory", 16384, 16384);
  int opened = 0;
  const auto expectDialog = [&] {
    host_.ExpectDialog(572, [&](platform::DialogDriver& d) {
      ++opened;
      platform::ListViewControl& segments = d.window().ListView(1074);
      EXPECT_EQ(segments.GetItemText(segments.GetItemCount() - 1, 0), "Internal Memory");
      d.Close();
    });
  };
  Open("");
  expectDialog();
  Frame().Command(kCmdFill);
  EXPECT_EQ(opened, 1);
  const int row = RowOf("Open " + g_ProductIdentity.fillFeatureName + "...");
  ASSERT_GE(row, 0);
  ASSERT_TRUE(List().UserSelectRows({row}));
  expectDialog();
  View().ActivateSelectedRow();
  EXPECT_EQ(opened, 2);
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

// An action row of the folder's own commands starts that command on the folder shown, as
// its menu entry or toolbar button would: the first thing each shows, declined.
TEST_F(ViewTest, ActionRowsStartTheFoldersCommands) {
  const auto cancel = [](platform::DialogDriver& d) { d.Cancel(); };
  struct Case {
    std::uint32_t action;
    const char* folder;
    std::function<void()> expect;
  };
  const std::vector<Case> cases = {
      {kActionNewSimpleSearch, "Search", [&] { host_.ExpectDialog(tools::CSearchSimpleDlg::kTemplateId, cancel); }},
      {kActionNewAdvancedSearch, "Search", [&] { host_.ExpectDialog(tools::CSearchDlg::kTemplateId, cancel); }},
      {kActionNewPlaylist, "Playlists", [&] { host_.ExpectDialog(CNameDlg::kTemplateId, cancel); }},
      {kActionNewQuodrel, "Playlists", [&] { host_.ExpectDialog(CNameDlg::kTemplateId, cancel); }},
      {kActionSyncContacts, "Contacts", [&] { host_.ExpectMessageBox(platform::IDNO, "Synchronizing will clear"); }},
      {kActionSyncContactsChoose, "Contacts",
       [&] {
         host_.ExpectMessageBox(platform::IDYES, "Synchronizing will clear");
         host_.ExpectFolderPicker(std::nullopt, "Select the Contacts folder");
         host_.ExpectMessageBox(platform::IDOK, "Could not open selected Contacts folder.");
       }},
      {kActionNewContact, "Contacts", [&] { host_.ExpectDialog(CNameDlg::kTemplateId, cancel); }},
      {kActionNewNote, "Notes", [&] { host_.ExpectDialog(CNameDlg::kTemplateId, cancel); }},
      // The new-item command is the folder's: only notes and contacts folders take one.
      {kActionNewNote, "Audio Tracks",
       [&] { host_.ExpectMessageBox(platform::IDOK, "Cannot create new items in this folder."); }},
  };
  for (const Case& c : cases) {
    Open(c.folder);
    // The row as a folder would list it; the list owns its copy.
    PidlManager pidls;
    const int row = List().InsertItemOnDemand(
        List().GetItemCount(), reinterpret_cast<std::uintptr_t>(pidls.Copy(Folder(NT_ACTION, c.action, "Do it"))));
    ASSERT_GE(row, 0);
    ASSERT_TRUE(List().UserSelectRows({row}));
    const std::size_t before = host_.prompts().size();
    c.expect();
    View().ActivateSelectedRow();
    EXPECT_EQ(host_.pendingAnswers(), 0u) << c.action << " in " << c.folder;
    EXPECT_GT(host_.prompts().size(), before) << c.action << " in " << c.folder;
    EXPECT_EQ(Frame().CurrentPath(), c.folder);
  }
  frame_.reset();  // before the player it asks goes
}

TEST_F(ViewTest, AnActionRowWithoutAnActionDoesNothing) {
  MemoryDevice empty;  // uses no track database: the empty player's row has no action
  Use(empty);
  Open("Audio Tracks");
  const int row = RowOf("Player is empty. Drag and drop your audio files here to transfer.");
  ASSERT_GE(row, 0);
  ASSERT_TRUE(List().UserSelectRows({row}));
  View().ActivateSelectedRow();
  Frame().Pump();
  EXPECT_EQ(Frame().CurrentPath(), "Audio Tracks");
  EXPECT_TRUE(host_.prompts().empty());
  frame_.reset();  // before the player it asks goes
}

TEST_F(ViewTest, ATrackDraggedInsideAPlaylistMovesThere) {
  device_.AddPlaylist("Three", {catalogue_.harbour, catalogue_.longRoad, catalogue_.mirror});
  Open("Playlists/Three");
  ASSERT_EQ(List().GetItemCount(), 3);
  host_.ExpectMessageBox(platform::IDOK, "You can only reorder one track at a time.");
  ASSERT_TRUE(List().UserSelectRows({0, 1}));
  ASSERT_TRUE(List().UserBeginDrag(0));
  EXPECT_EQ(List().GetReorderSource(), -1);

  struct Case {
    int source;
    int target;  // -1: past the end
    const char* message;
  };
  const Case refused[] = {{0, 0, "Item was not moved."}, {0, 1, "Item was not moved."},
                          {1, -1, "You cannot drag past the last item in the list."}};
  for (const Case& c : refused) {
    host_.ExpectMessageBox(platform::IDOK, c.message);
    ASSERT_TRUE(List().UserSelectRows({c.source}));
    ASSERT_TRUE(List().UserBeginDrag(c.source));
    ASSERT_TRUE(List().UserReorderDrop(c.target));
  }
  auto words = [&] {
    std::vector<std::uint32_t> ids;
    for (const KernelId& id : device_.PlaylistItems(CPidlLast(Frame().CurrentList()).GetId())) ids.push_back(id.word[0]);
    return ids;
  };
  EXPECT_EQ(words(), (std::vector<std::uint32_t>{catalogue_.harbour.word[0], catalogue_.longRoad.word[0],
                                                  catalogue_.mirror.word[0]}));
  // The last track goes in front of the first.
  ASSERT_TRUE(List().UserSelectRows({2}));
  ASSERT_TRUE(List().UserBeginDrag(2));
  ASSERT_TRUE(List().UserReorderOver(0));
  ASSERT_TRUE(List().UserReorderDrop(0));
  EXPECT_EQ(words(), (std::vector<std::uint32_t>{catalogue_.mirror.word[0], catalogue_.harbour.word[0],
                                                  catalogue_.longRoad.word[0]}));
  EXPECT_EQ(List().GetItemText(0, ColumnOf("Name")), "Cyra - Glass Rooms - 07 - Mirror");  // shown at once
}

TEST_F(ViewTest, TheViewMergesItsMenusOnceAndItsButtonsByCapability) {
  Open("Audio Tracks");
  const platform::Menu& bar = Frame().MenuBar();
  platform::Menu* edit = const_cast<platform::Menu&>(bar).FindPopup(platform::FCIDM_MENU_EDIT);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->GetItem(0).text, "Copy");
  EXPECT_TRUE(edit->GetItem(5).IsSeparator());
  platform::Menu* view = const_cast<platform::Menu&>(bar).FindPopup(platform::FCIDM_MENU_VIEW);
  ASSERT_NE(view, nullptr);
  EXPECT_GE(view->IndexOf(kCmdDetails), 0);
  EXPECT_LT(view->IndexOf(kCmdDetails), view->IndexOf(platform::FCIDM_MENU_VIEW_SEP_OPTIONS));
  const platform::Menu* merged = &bar;
  View().UIActivate(platform::SVUIA_ACTIVATE_FOCUS);  // the same state again
  EXPECT_EQ(&Frame().MenuBar(), merged);

  auto commands = [&] {
    std::vector<int> ids;
    for (int i = 0; i < Frame().Toolbar().GetButtonCount(); ++i) ids.push_back(Frame().Toolbar().GetButton(i).command);
    return ids;
  };
  auto has = [](const std::vector<int>& ids, int id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); };
  EXPECT_TRUE(has(commands(), kCmdPlay));
  EXPECT_TRUE(has(commands(), kCmdActiveQueue));
  device_.SetCapability(DeviceOp::SupportsPlayback, 0);
  Open("Artists");
  EXPECT_FALSE(has(commands(), kCmdPlay));
  EXPECT_FALSE(has(commands(), kCmdActiveQueue));
  EXPECT_TRUE(has(commands(), kCmdTopLevel));
  // A merged button's command reaches the view: Top Level browses to the root.
  Frame().Toolbar().UserClick(kCmdTopLevel);
  Frame().Pump();
  EXPECT_EQ(Frame().CurrentPath(), "");
}

TEST_F(ViewTest, TheRootAndDeviceInformationShowThePictureWithoutGrid) {
  for (const char* path : {"", "Device Information"}) {
    Open(path);
    EXPECT_FALSE(List().GetBackgroundImage().empty()) << path;
    EXPECT_EQ(List().GetExtendedStyle() & platform::LVS_EX_GRIDLINES, 0u) << path;
    EXPECT_EQ(List().GetCellColours(0, 0).second, platform::CLR_NONE) << path;
  }
  Open("Audio Tracks");
  EXPECT_TRUE(List().GetBackgroundImage().empty());
  EXPECT_NE(List().GetExtendedStyle() & platform::LVS_EX_GRIDLINES, 0u);
  EXPECT_EQ(List().GetCellColours(0, 0).second, 0x00FFE6E6u);
  EXPECT_EQ(List().GetCellColours(1, 0).second, platform::CLR_DEFAULT);
}

TEST_F(ViewTest, ExplorerAsksForLargeIconsAndGetsDetailsUnlessTheStyleWasChosen) {
  Open("Audio Tracks");
  EXPECT_EQ(View().ViewMode(), platform::FVM_DETAILS);
  EXPECT_EQ(List().GetView(), platform::ListViewMode::Report);
  Frame().Command(kCmdList);
  EXPECT_EQ(List().GetView(), platform::ListViewMode::List);
  Open("Artists");  // a list folder takes the audio folders' style
  EXPECT_EQ(List().GetView(), platform::ListViewMode::List);
  Open("Data Files");
  EXPECT_EQ(List().GetView(), platform::ListViewMode::Report);
}

// A refresh posted to the Explorer windows reaches the view in the frame and the tree.
TEST_F(ViewTest, ARefreshReloadsTheViewAndTheTree) {
  Open("Playlists");
  ASSERT_EQ(RowOf("Late"), -1);
  device_.AddPlaylist("Late");
  RefreshFolderViews();
  Frame().Pump();
  EXPECT_GE(RowOf("Late"), 0);
  EXPECT_NE(Frame().Tree().FindByPath(g_ProductIdentity.productName + "/Playlists"), 0u);
}

// A row is one line: line breaks and other control characters of names and tags show as
// blanks (the player keeps them as they are).
TEST_F(ViewTest, ControlCharactersOfNamesAndTagsShowAsBlanks) {
  device_.AddTrack({.artist = "Line", .album = "Break", .title = "Two\r\nLines", .genre = "Tab\tGenre", .number = 1});
  device_.AddPlaylist("Late\nNight\x01");
  Open("Audio Tracks");
  const int row = RowOf("Line - Break - 01 - Two  Lines");
  ASSERT_GE(row, 0) << ::testing::PrintToString(ColumnTexts(0));
  EXPECT_EQ(List().GetItemText(row, ColumnOf("Genre")), "Tab Genre");
  Open("Playlists");
  EXPECT_GE(RowOf("Late Night "), 0) << ::testing::PrintToString(ColumnTexts(0));
}

// A refresh (a new track playing, a transfer, another program's change) keeps what the
// person chose and the rows they look at, also when the rows come back in other places.
TEST_F(ViewTest, ARefreshKeepsTheSelectionAndTheRowsShown) {
  for (int i = 0; i < 60; ++i) {
    device_.AddTrack({.artist = "Many", .album = "Rows", .title = "T" + std::to_string(100 + i), .number = i + 1});
  }
  Open("Audio Tracks");
  List().HostPageRows(10);
  List().HostTopRow(30);  // the person scrolled
  ASSERT_TRUE(List().UserSelectRows({35, 31, 36}));
  const std::vector<std::string> names = {List().GetItemText(31, 0), List().GetItemText(35, 0), List().GetItemText(36, 0)};
  const std::string focused = List().GetItemText(35, 0);
  View().RefreshList();
  std::vector<std::string> now;
  for (int row : List().GetSelectedRows()) now.push_back(List().GetItemText(row, 0));
  EXPECT_EQ(now, names);
  EXPECT_EQ(List().GetItemText(List().GetNextItem(-1, platform::LVNI_FOCUSED), 0), focused);
  EXPECT_EQ(List().GetTopVisible(), 30);
  EXPECT_EQ(Status(0), "3 files selected (0 MB, 00:00:00).");
  // A row added above the selection: the same tracks stay chosen in their new rows.
  device_.AddTrack({.artist = "Aaa", .album = "First", .title = "Top", .number = 1});
  View().RefreshList();
  now.clear();
  for (int row : List().GetSelectedRows()) now.push_back(List().GetItemText(row, 0));
  EXPECT_EQ(now, names);
  // A playlist's entry removed above the chosen one: the entry after it stays chosen.
  const KernelId a = device_.AddTrack({.artist = "P", .album = "Q", .title = "A", .number = 1});
  const KernelId b = device_.AddTrack({.artist = "P", .album = "Q", .title = "B", .number = 2});
  const KernelId list = device_.AddPlaylist("Pair", {a, b});
  Open("Playlists/Pair");
  ASSERT_TRUE(List().UserSelectRows({RowOf("P - Q - 02 - B")}));
  device_.ClearPendingIds();
  device_.AddPendingId(a);
  device_.RemovePendingFromPlaylist(list);
  View().RefreshList();
  ASSERT_EQ(List().GetSelectedRows(), std::vector<int>{RowOf("P - Q - 02 - B")});
}

// Part 2 names the last selected row only while there is one; part 1 belongs to the
// search; a player that cannot be listed shows no counts beside its rows.
TEST_F(ViewTest, TheStatusFollowsTheSelectionAndTheFolder) {
  {
    std::lock_guard<std::mutex> lock(g_SearchResultsLock);
    g_SearchResults = {catalogue_.harbour};
  }
  WriteSettingString("SQL_LastSearchQuery", "Harbour");
  Open("Search");
  EXPECT_EQ(Status(1), "Harbour");
  Open("Audio Tracks");
  EXPECT_EQ(Status(1), "");
  ASSERT_TRUE(List().UserSelectRows({0}));
  EXPECT_EQ(Status(2), List().GetItemText(0, 0));
  ASSERT_TRUE(List().UserSelectRows({}));
  EXPECT_EQ(Status(2), "");
  ASSERT_TRUE(List().UserSelectRows({1}));
  Open("Playlists/Evening");
  EXPECT_EQ(Status(2), "");
  device_.FailWithError(DeviceOp::GetHostVersion, platform::E_FAIL, "Memory Device", "Gone.");  // not connected
  View().RefreshList();
  ASSERT_GT(List().GetItemCount(), 0);
  EXPECT_EQ(Status(0), "");
  ASSERT_TRUE(List().UserSelectRows({0}));
  EXPECT_EQ(Status(0), "");
  EXPECT_EQ(Status(2), "");
  std::lock_guard<std::mutex> lock(g_SearchResultsLock);
  g_SearchResults.clear();
}

// "Show all columns" off: a track folder shows its names alone; the person's columns come
// back when it is on again, and other folders keep theirs.
TEST_F(ViewTest, WithoutAllColumnsTrackFoldersShowTheirNamesAlone) {
  Open("Audio Tracks");
  const std::vector<std::string> all = Titles();
  ASSERT_GT(all.size(), 1u);
  WriteSettingDword("JB_ShowAllColumns", 0);
  Open("Audio Tracks");
  EXPECT_EQ(Titles(), std::vector<std::string>{"Name"});
  platform::Menu menu = ColumnPopupMenu();
  View().Columns()->AppendColumnMenu(menu);
  EXPECT_EQ(menu.GetItemCount(), 2);  // nothing to show or hide
  Open("Artists/Ada Lind/[ All: Ada Lind ]");
  EXPECT_EQ(Titles(), std::vector<std::string>{"Name"});
  Open("Playlists/Evening");
  EXPECT_GT(Titles().size(), 1u);
  WriteSettingDword("JB_ShowAllColumns", 1);
  Open("Audio Tracks");
  EXPECT_EQ(Titles(), all);
}

// Buttons of different commands look different: Sync is not the frame's Refresh, Restore
// Playlist not Backup Playlists.
TEST_F(ViewTest, ButtonsOfDifferentCommandsHaveDifferentPictures) {
  Open("Playlists");
  auto icon = [](platform::ToolbarControl& bar, int command) {
    const int i = bar.CommandToIndex(command);
    EXPECT_GE(i, 0) << command;
    return i < 0 ? std::string() : bar.GetImageList()->GetIcon(bar.GetButton(i).image);
  };
  EXPECT_NE(icon(Frame().Toolbar(), kCmdSync), icon(Frame().Toolbar(), shellhost::kCmdRefresh));
  platform::ToolbarControl& folderBar = View().Window()->Toolbar(kFolderToolbarId);
  EXPECT_NE(icon(folderBar, 4030), icon(folderBar, 4040));
}

// The Delete key acts on the selected rows only: with none it does nothing in any
// folder (the folder's own item never goes); in the Active Queue it takes the entry out
// of the queue and leaves its track on the player.
TEST_F(ViewTest, TheDeleteKeyTakesOnlyTheSelectedRows) {
  for (const char* path : {"Albums/North Light", "Artists/Ada Lind", "Data Files/Documents", "Playlists/Evening"}) {
    Open(path);
    ASSERT_GT(List().GetItemCount(), 0) << path;
    List().SetItemState(-1, 0, platform::LVIS_SELECTED);
    ASSERT_TRUE(List().UserKey(platform::VK_DELETE)) << path;
    Frame().Pump();
    EXPECT_TRUE(host_.prompts().empty()) << path;
  }
  for (const KernelId& t : {catalogue_.harbour, catalogue_.longRoad, catalogue_.opening, catalogue_.mirror}) {
    EXPECT_EQ(device_.TrackExists(t), 1);
  }
  EXPECT_EQ(device_.PlaylistItems(catalogue_.evening).size(), 2u);
  EXPECT_EQ(device_.IsDataFolder(catalogue_.documents), 1);

  for (const KernelId& t : {catalogue_.harbour, catalogue_.mirror, catalogue_.opening}) device_.EnqueueTrack(t);
  Open("Active Queue");
  ASSERT_EQ(List().GetItemCount(), 3);
  ASSERT_TRUE(List().UserSelectRows({1}));
  ASSERT_TRUE(List().UserKey(platform::VK_DELETE));
  Frame().Pump();
  std::vector<std::uint32_t> queue;
  for (const KernelId& id : device_.GetQueue()) queue.push_back(id.word[0]);
  EXPECT_EQ(queue, (std::vector<std::uint32_t>{catalogue_.harbour.word[0], catalogue_.opening.word[0]}));
  EXPECT_EQ(device_.TrackExists(catalogue_.mirror), 1);
  EXPECT_EQ(List().GetItemCount(), 2);
  EXPECT_TRUE(host_.prompts().empty());
}

// A player that writes a playlist anew for every change of its entries, as the jukebox
// does: the same name and entries, a new id.
class RewritingPlayer : public MemoryDeviceBase {
 public:
  int RemovePendingFromPlaylist(const KernelId& p) override { return Rewrite(p, MemoryDeviceBase::RemovePendingFromPlaylist(p)); }
  int MovePlaylistItem(const KernelId& p, int from, int to) override {
    return Rewrite(p, MemoryDeviceBase::MovePlaylistItem(p, from, to));
  }
  int SortPlaylist(const KernelId& p, int key) override { return Rewrite(p, MemoryDeviceBase::SortPlaylist(p, key)); }
  int ShufflePlaylist(const KernelId& p) override { return Rewrite(p, MemoryDeviceBase::ShufflePlaylist(p)); }

 private:
  int Rewrite(const KernelId& p, int status) {
    const std::vector<KernelId> entries = PlaylistItems(p);
    const std::string name = GetPlaylistName(p);
    MemoryDeviceBase::DeletePlaylist(p);
    AddPlaylist(name, entries);
    return status;
  }
};

// After Remove from Playlist, a reorder, Sort and Shuffle the open view shows the playlist
// under its new id, never an empty one.
TEST_F(ViewTest, AnOpenPlaylistFollowsItsRewrite) {
  RewritingPlayer player;
  const Catalogue c = Seed(player);
  Use(player);
  player.AddPlaylist("Four", {c.mirror, c.harbour, c.opening, c.longRoad});
  Open("Playlists/Four");
  ASSERT_EQ(List().GetItemCount(), 4);
  std::uint32_t shown = CPidlLast(Frame().CurrentList()).GetId().word[0];
  const auto followed = [&](const char* step, int rows) {
    Frame().Pump();
    const std::uint32_t now = CPidlLast(Frame().CurrentList()).GetId().word[0];
    EXPECT_NE(now, shown) << step;
    EXPECT_EQ(List().GetItemCount(), rows) << step;
    std::uint32_t named = 0;
    KernelDevice& device = player;
    KernelId p;
    for (int n = device.GetFirstPlaylist(p); n != 0; n = device.GetNextPlaylist(p)) {
      if (device.GetPlaylistName(p) == "Four") named = p.word[0];
    }
    EXPECT_EQ(now, named) << step;
    shown = now;
  };
  ASSERT_TRUE(List().UserSelectRows({0}));
  ASSERT_TRUE(List().UserKey(platform::VK_DELETE));  // Remove from Playlist
  followed("remove", 3);
  ASSERT_TRUE(List().UserSelectRows({2}));
  ASSERT_TRUE(List().UserBeginDrag(2));
  ASSERT_TRUE(List().UserReorderOver(0));
  ASSERT_TRUE(List().UserReorderDrop(0));
  followed("move", 3);
  // Sort and Shuffle from the folder's own menu, as a right click on the background runs them.
  for (const int command : {3021, 3080}) {
    platform::ComPtr<platform::IContextMenu> menu;
    ASSERT_EQ(View().GetItemObject(platform::SVGIO_BACKGROUND, platform::IID_IContextMenu, menu.PutVoid()),
              platform::S_OK);
    platform::CMINVOKECOMMANDINFO info;
    info.lpVerb = platform::VerbFromOffset(static_cast<platform::UINT>(command));
    menu->InvokeCommand(&info);
    followed(command == 3021 ? "sort" : "shuffle", 3);
  }
  EXPECT_TRUE(host_.prompts().empty());
  frame_.reset();  // before the player it asks goes
}

// A search that finds nothing leaves no hits of an earlier search in the view.
TEST_F(ViewTest, ASearchWithoutHitsEmptiesTheSearchFolder) {
  sql::RegisterSqlEngine();
  Open("Search");
  RunTrackSearch("title?'Harbour'");
  Frame().Pump();
  EXPECT_GE(RowOf("Ada Lind - North Light - 01 - Harbour"), 0);
  host_.ExpectMessageBox(platform::IDOK, "Search produced no matches.");
  RunTrackSearch("title?'Nowhere'");
  Frame().Pump();
  EXPECT_EQ(RowOf("Ada Lind - North Light - 01 - Harbour"), -1);
  EXPECT_EQ(Status(0), "0 matches.");
}

}  // namespace
}  // namespace shellexttest
