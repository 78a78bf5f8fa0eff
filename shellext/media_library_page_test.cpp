// The media-library plug-in in this process, with a stand-in of the media player's library
// window that records what the plug-in asks of it: the tree entry, the page's list, its
// status, the play and enqueue requests with their stream addresses, the host's skin
// routines, and the page going with its window.
#include "shellext/media_library_page.h"

#include <gtest/gtest.h>

#include <map>

#include "device/kernel_device_client.h"
#include "device/track_names.h"
#include "testing/processes.h"
#include "platform/shell/shell.h"
#include "platform/window/wait.h"
#include "platform/ui/scripted_host.h"
#include "testing/shellext.h"

using namespace device;

namespace shellexttest {
namespace {

using namespace shellext;
using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::WPARAM;

const bool kIsolated = platform::testing::IsolateNamespace();

struct SentRecord {
  std::string address, title, album, artist, genre;
  int year, track, length;
  bool commentNull, extendedNull;
};
struct SentRequest {
  int kind;
  bool enqueue;
  std::vector<SentRecord> records;
};

// What the host's skin routines were given.
struct SkinCalls {
  std::vector<std::vector<std::pair<int, int>>> registered;  // control tables of routine 32
  int resized = 0;                                            // routine 33
  std::vector<std::vector<int>> borders;                      // routine 3
  std::vector<platform::UINT> offered;                        // routine 2
  platform::UINT takes = 0;  // the message routine 2 answers for
};
SkinCalls g_Skin;

platform::COLORREF SkinColour(int index) { return index == 0 ? 0x00202020 : 0x0000FF00; }
LRESULT SkinMessage(HWND, platform::UINT message, WPARAM, LPARAM) {
  g_Skin.offered.push_back(message);
  return message == g_Skin.takes ? 77 : 0;
}
void SkinBorders(HWND, const int* table, int count) { g_Skin.borders.emplace_back(table, table + count); }
void SkinRegister(HWND, const MediaLibraryControlAnchor* table, int count) {
  std::vector<std::pair<int, int>> entries;
  for (int i = 0; i < count; ++i) {
    entries.emplace_back(table[i].id, table[i].flags);
    for (int r : table[i].reserved) EXPECT_EQ(r, 0);
  }
  g_Skin.registered.push_back(entries);
}
void SkinResize(HWND, const MediaLibraryControlAnchor*, int count) {
  EXPECT_EQ(count, 8);
  ++g_Skin.resized;
}

// A player the manager cannot reach: its folders list the message rows.
class UnreachableDevice : public MemoryDeviceBase {
 public:
  void Connect() override { throw KernelDeviceClientException(0, "Device Connection", "Kestrova Manager is not running."); }
};

class MediaLibraryTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    g_Skin = SkinCalls();
    Use(device_);
    // The page lists the top level's first folder: all tracks on this player without its radio.
    Settings().SetDword("N2_HideFMTuner", 1);
    platform::RegisterClass("Test Media Library");
    library_ = platform::CreateWindow("Test Media Library", 0, [this](HWND, platform::UINT m, WPARAM w, LPARAM l) {
      return m == WM_ML_IPC ? Ipc(w, l) : 0;
    });
    ASSERT_NE(library_, 0u);
    MediaLibraryPluginHeader* header = GetMediaLibraryPluginHeader();
    header->mainWindow = library_;
    header->libraryWindow = library_;
  }
  void TearDown() override {
    if (platform::IsWindow(library_)) platform::DestroyWindow(library_);  // the page goes with it
    LibraryTest::TearDown();
  }

  LRESULT Ipc(WPARAM w, LPARAM code) {
    codes_.push_back(code);
    switch (code) {
      case kMlAddTreeEntry: {
        auto* entry = reinterpret_cast<MediaLibraryTreeEntry*>(w);
        entryTitle_ = entry->title;
        EXPECT_EQ(entry->parentId, 0);
        EXPECT_EQ(entry->hasChildren, 1);
        entry->id = 4711;
        return 0;
      }
      case kMlSendToPlayer: {
        const auto* request = reinterpret_cast<const MediaLibrarySendToPlayer*>(w);
        SentRequest sent{request->kind, request->enqueue != 0, {}};
        EXPECT_LE(request->list->size, request->list->allocated);
        for (int i = 0; i < request->list->size; ++i) {
          const MediaLibraryRecord& r = request->list->items[i];
          sent.records.push_back({r.fileName, r.title, r.album, r.artist, r.genre, r.year, r.track, r.length,
                                  r.comment == nullptr, r.extendedInfo == nullptr});
        }
        requests_.push_back(sent);
        return 0;
      }
      case kMlSkinList:
        skinnedList_ = w;
        return 555;
      case kMlUnskinList:
        unskinned_.push_back(static_cast<LRESULT>(w));
        return 0;
      case kMlSkinRoutine:
        if (!routines_) return 0;
        switch (static_cast<int>(w)) {
          case kSkinColour: return reinterpret_cast<LRESULT>(&SkinColour);
          case kSkinMessage: return reinterpret_cast<LRESULT>(&SkinMessage);
          case kSkinDrawBorders: return reinterpret_cast<LRESULT>(&SkinBorders);
          case kSkinRegisterResize: return reinterpret_cast<LRESULT>(&SkinRegister);
          case kSkinResize: return reinterpret_cast<LRESULT>(&SkinResize);
          default: return 0;
        }
      default:
        ADD_FAILURE() << "unexpected code " << code;
        return 0;
    }
  }

  // The plug-in's init, then the page as the host makes it when its entry is chosen.
  CWinampMLDlg& OpenPage() {
    EXPECT_EQ(GetMediaLibraryPluginHeader()->init(), 0);
    const std::intptr_t page = GetMediaLibraryPluginHeader()->messageProc(kMlCreatePage, 4711, 0, library_);
    EXPECT_NE(page, 0);
    page_ = static_cast<HWND>(page);
    return *dynamic_cast<CWinampMLDlg*>(platform::UiWindow::FromHandle(page_));
  }
  platform::ListViewControl& PageList() { return dynamic_cast<CWinampMLDlg*>(platform::UiWindow::FromHandle(page_))->List(); }
  std::vector<std::string> RowTexts(int row) {
    std::vector<std::string> texts;
    for (int c = 0; c < PageList().GetColumnCount(); ++c) texts.push_back(PageList().GetItemText(row, c));
    return texts;
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (int row = 0; row < PageList().GetItemCount(); ++row) names.push_back(PageList().GetItemText(row, 0));
    return names;
  }
  int RowOf(const std::string& name) {
    for (int row = 0; row < PageList().GetItemCount(); ++row) {
      if (PageList().GetItemText(row, 0) == name) return row;
    }
    ADD_FAILURE() << "no row " << name;
    return -1;
  }
  std::string Status() { return platform::UiWindow::FromHandle(page_)->GetDlgItemText(CWinampMLDlg::kStatusId); }
  void Click(int id) {
    auto* button = dynamic_cast<platform::ButtonControl*>(platform::UiWindow::FromHandle(page_)->GetDlgItem(id));
    ASSERT_NE(button, nullptr);
    button->UserClick();
  }
  std::vector<std::string> Titles(const SentRequest& r) {
    std::vector<std::string> titles;
    for (const SentRecord& record : r.records) titles.push_back(record.title);
    return titles;
  }
  std::string Address(const KernelId& track, const std::string& name) {
    return "http://127.0.0.1:9123/stream/" + std::to_string(track.GetItemId()) + "/" + name;
  }

  platform::ScriptedHost host_;
  MemoryDevice device_;
  HWND library_ = 0;
  HWND page_ = 0;
  bool routines_ = true;
  std::string entryTitle_;
  std::vector<LPARAM> codes_;
  std::vector<SentRequest> requests_;
  WPARAM skinnedList_ = 0;
  std::vector<LRESULT> unskinned_;
};

// The tree entry's title ends with the tag of the driver and the kind of device the
// library's proxy is bound to.
TEST_F(MediaLibraryTest, TreeEntryTitleNamesTheBoundDevice) {
  const struct {
    int driver;
    std::uint32_t kind;
    const char* tag;
  } kCases[] = {{0, 1, "JB1"}, {0, 2, "JB2"}, {0, 3, "JB3"}, {0, 4, "Zen"}, {0, 5, "Unknown"},
                {1, 1, "JB1"}, {1, 2, "Unknown"}, {2, 1, "Unknown"}};
  for (const auto& c : kCases) {
    KernelDeviceClient device;  // bound, with no manager to reach
    device.ConnectToManager(c.driver, KernelId(c.kind), KernelId(1));
    Use(device);
    codes_.clear();
    EXPECT_EQ(GetMediaLibraryPluginHeader()->init(), 0);
    EXPECT_EQ(entryTitle_, "Ombrix Jukebox " + std::string(c.tag)) << c.driver << "/" << c.kind;
    EXPECT_EQ(codes_, std::vector<LPARAM>{kMlAddTreeEntry});
  }
  Use(device_);
  // Only the page message for the entry the host numbered makes a page.
  const MediaLibraryPluginHeader* header = GetMediaLibraryPluginHeader();
  EXPECT_EQ(header->version, 0x15);
  EXPECT_STREQ(header->description, "ml_ombrix");
  EXPECT_NE(header->instance, nullptr);
  EXPECT_EQ(header->messageProc(kMlCreatePage, 4712, 0, library_), 0);
  EXPECT_EQ(header->messageProc(0x101, 4711, 0, library_), 0);
}

// The page lists the player's first folder (every track of a jukebox) with the eight
// columns, each track's texts, and the totals of the rows looked at in the status.
TEST_F(MediaLibraryTest, PageListsTheTracksWithTheirTextsAndTotals) {
  const KernelId a = device_.AddTrack({.artist = "Ada Lind", .album = "North Light", .title = "Harbour",
                                       .genre = "Folk", .comment = "live", .number = 1, .year = 2004,
                                       .length = 60, .fileSize = 1048576});
  device_.AddTrack({.artist = "Brass Fold", .album = "Metal Hours", .title = "Opening", .genre = "Jazz", .number = 2,
                    .year = 1998, .length = 60, .bitrate = 1, .fileSize = 1048576, .codec = kCodecWav});
  device_.AddTrack({.artist = "Cyra", .album = "Glass Rooms", .title = "Mirror", .number = 7, .length = 60,
                    .fileSize = 1048576});
  (void)a;
  OpenPage();
  platform::ListViewControl& list = PageList();
  ASSERT_EQ(list.GetColumnCount(), 8);
  const std::vector<std::tuple<std::string, int, int>> columns = {
      {"Name", 500, platform::LVCFMT_CENTER}, {"Type", 40, platform::LVCFMT_LEFT},   {"Size", 70, platform::LVCFMT_LEFT},
      {"Length", 60, platform::LVCFMT_RIGHT}, {"Bitrate", 70, platform::LVCFMT_RIGHT}, {"Genre", 100, platform::LVCFMT_RIGHT},
      {"Year", 40, platform::LVCFMT_LEFT},    {"Comment", 200, platform::LVCFMT_RIGHT}};
  for (int c = 0; c < 8; ++c) {
    EXPECT_EQ(list.GetColumn(c).title, std::get<0>(columns[c]));
    EXPECT_EQ(list.GetColumn(c).width, std::get<1>(columns[c]));
    EXPECT_EQ(list.GetColumn(c).format, std::get<2>(columns[c]));
  }
  EXPECT_NE(list.GetExtendedStyle() & platform::LVS_EX_FULLROWSELECT, 0u);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Ada Lind - North Light - 01 - Harbour",
                                               "Brass Fold - Metal Hours - 02 - Opening",
                                               "Cyra - Glass Rooms - 07 - Mirror"}));
  EXPECT_EQ(RowTexts(0), (std::vector<std::string>{"Ada Lind - North Light - 01 - Harbour", "mp3", "1.00 MB", "1:00",
                                                   "128 Kbps", "Folk", "2004", "live"}));
  EXPECT_EQ(RowTexts(1)[1], "wav");
  EXPECT_EQ(RowTexts(1)[4], "VBR");
  EXPECT_GE(list.GetItemImage(0), 0);

  EXPECT_EQ(Status(), "3 files (3.00MB, 00:03:00).");
  list.UserClickRow(2);
  EXPECT_EQ(Status(), "1 file selected (1.00MB, 00:01:00).");
  list.UserClickRow(0, platform::kModCtrl);
  EXPECT_EQ(Status(), "2 files selected (2.00MB, 00:02:00).");
}

// A player that cannot be reached shows its message rows in one wide column; a stored
// first-column width wins over the column table's unless it is missing or 0.
TEST_F(MediaLibraryTest, MessageRowsTakeTheWholeWidthAndAStoredWidthWins) {
  device_.AddTrack({.artist = "A", .album = "B", .title = "C", .number = 1});
  const struct {
    bool connected;
    std::optional<std::uint32_t> stored;
    std::vector<int> widths;
  } kCases[] = {
      {true, std::nullopt, {500, 40, 70, 60, 70, 100, 40, 200}},
      {true, 0u, {500, 40, 70, 60, 70, 100, 40, 200}},
      {true, 0x00070123u, {0x123, 40, 70, 60, 70, 100, 40, 200}},
      {false, std::nullopt, {500, 0, 0, 0, 0, 0, 0, 0}},
  };
  UnreachableDevice unreachable;
  for (const auto& c : kCases) {
    Use(c.connected ? static_cast<KernelDevice&>(device_) : unreachable);
    if (c.stored) {
      Settings().SetDword("JB_ViewFirstColumnWidth", *c.stored);
    } else {
      Settings().DeleteValue("JB_ViewFirstColumnWidth");
    }
    OpenPage();
    std::vector<int> widths;
    for (int col = 0; col < PageList().GetColumnCount(); ++col) widths.push_back(PageList().GetColumn(col).width);
    EXPECT_EQ(widths, c.widths) << c.connected;
    if (!c.connected) {
      ASSERT_GT(PageList().GetItemCount(), 0);
      EXPECT_EQ(PageList().GetItemText(0, 0), "Ombrix Suite cannot currently establish communication with your device.");
    }
    platform::DestroyWindow(page_);
  }
}

// A player that could not be reached while the top level was read, but can when the page
// lists, shows the top level: never an empty page made from a text row.
TEST_F(MediaLibraryTest, AFirstTextRowGivesThePageTheTopLevel) {
  struct LateDevice : MemoryDeviceBase {
    int refusals = 1;
    void Connect() override {
      if (refusals-- > 0) throw KernelDeviceClientException(0, "Device Connection", "Kestrova Manager is not running.");
      MemoryDeviceBase::Connect();
    }
  } late;
  late.AddTrack({.artist = "A", .album = "B", .title = "C", .number = 1});
  Use(late);
  OpenPage();
  const std::vector<std::string> names = Names();
  EXPECT_NE(std::find(names.begin(), names.end(), "Audio Tracks"), names.end()) << names.size();
}

// Play, Enqueue and their "All" forms: which rows go, locked tracks, and what each record
// carries (the stream address on the manager's port with the whole item id).
TEST_F(MediaLibraryTest, PlayAndEnqueueSendTheRowsAsStreams) {
  Settings().SetDword("VX_PortD", 9123);
  const KernelId harbour = device_.AddTrack({.artist = "Ada Lind", .album = "North Light", .title = "Harbour",
                                             .genre = "Folk", .number = 3, .year = 2004, .length = 181});
  const KernelId locked = device_.AddTrack({.artist = "Brass Fold", .album = "Metal Hours", .title = "Locked",
                                            .number = 1, .length = 60, .locked = true});
  const KernelId mirror = device_.AddTrack({.artist = "Cyra", .album = "Glass Rooms", .title = "Mirror",
                                            .number = 7, .length = 150});
  (void)mirror;
  OpenPage();
  const int harbourRow = RowOf("Ada Lind - North Light - 03 - Harbour");
  const int lockedRow = RowOf("Brass Fold - Metal Hours - 01 - Locked");
  const int mirrorRow = RowOf("Cyra - Glass Rooms - 07 - Mirror");
  struct Case {
    std::vector<int> selected;
    int button;
    bool sent;
    bool enqueue;
    std::vector<std::string> titles;
    bool lockedMessage;
  };
  const std::vector<Case> cases = {
      {{}, CWinampMLDlg::kPlayId, false, false, {}, false},
      {{}, CWinampMLDlg::kEnqueueId, false, false, {}, false},
      {{}, CWinampMLDlg::kPlayAllId, true, false, {"Harbour", "Mirror"}, false},
      {{}, CWinampMLDlg::kEnqueueAllId, true, true, {"Harbour", "Mirror"}, false},
      {{mirrorRow, harbourRow}, CWinampMLDlg::kPlayId, true, false, {"Harbour", "Mirror"}, false},
      {{lockedRow, mirrorRow}, CWinampMLDlg::kEnqueueId, true, true, {"Mirror"}, false},
      {{lockedRow}, CWinampMLDlg::kPlayId, true, false, {}, true},
      {{lockedRow}, CWinampMLDlg::kPlayAllId, true, false, {"Harbour", "Mirror"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    requests_.clear();
    ASSERT_TRUE(PageList().UserSelectRows(c.selected) || c.selected.empty());
    if (c.selected.empty()) PageList().SetItemState(-1, 0, platform::LVIS_SELECTED);
    if (c.lockedMessage) host_.ExpectMessageBox(platform::IDOK, "This track is locked and cannot be played on your computer.");
    Click(c.button);
    ASSERT_EQ(requests_.size(), c.sent ? 1u : 0u);
    if (!c.sent) continue;
    EXPECT_EQ(requests_[0].kind, 0);
    EXPECT_EQ(requests_[0].enqueue, c.enqueue);
    EXPECT_EQ(Titles(requests_[0]), c.titles);
  }
  EXPECT_EQ(host_.pendingAnswers(), 0u);

  // One record in full.
  requests_.clear();
  PageList().UserSelectRows({harbourRow});
  Click(CWinampMLDlg::kPlayId);
  ASSERT_EQ(requests_.size(), 1u);
  ASSERT_EQ(requests_[0].records.size(), 1u);
  const SentRecord& r = requests_[0].records[0];
  std::string name;
  GetTrackStreamName(name, device_, harbour);
  EXPECT_EQ(r.address, Address(harbour, name));
  EXPECT_EQ(name, "Ada%20Lind%20-%20North%20Light%20-%2003%20-%20Harbour.mp3");
  EXPECT_EQ(r.title, "Harbour");
  EXPECT_EQ(r.album, "North Light");
  EXPECT_EQ(r.artist, "Ada Lind");
  EXPECT_EQ(r.genre, "Folk");
  EXPECT_EQ(r.year, 2004);
  EXPECT_EQ(r.track, 3);
  EXPECT_EQ(r.length, 181);
  EXPECT_TRUE(r.commentNull);
  EXPECT_TRUE(r.extendedNull);
  (void)locked;
}

// The host makes lines of a playlist of the records: a tag's line breaks and other
// controls come to it as blanks.
TEST_F(MediaLibraryTest, TheRecordsCarryNoControlCharacters) {
  device_.AddTrack({.artist = "A\r\nB", .album = "C\nD", .title = "E\r\n#EXTINF:1,F", .genre = "G\tH", .number = 9,
                    .length = 5});
  OpenPage();
  Click(CWinampMLDlg::kPlayAllId);
  ASSERT_EQ(requests_.size(), 1u);
  ASSERT_EQ(requests_[0].records.size(), 1u);
  const SentRecord& r = requests_[0].records[0];
  EXPECT_EQ(r.title, "E  #EXTINF:1,F");
  EXPECT_EQ(r.artist, "A  B");
  EXPECT_EQ(r.album, "C D");
  EXPECT_EQ(r.genre, "G H");
  EXPECT_EQ(r.address.find_first_of("\r\n\t"), std::string::npos);
}

// Double click: a notice row opens its address, a track is enqueued; the popup menu's two
// items play and enqueue the selection; Help opens the help address.
TEST_F(MediaLibraryTest, ActivationMenuAndHelp) {
  device_.AddTrack({.artist = "Ada Lind", .album = "North Light", .title = "Harbour", .number = 1, .length = 60});
  device_.AddTrack({.artist = "Cyra", .album = "Glass Rooms", .title = "Mirror", .number = 7, .length = 150});
  Settings().SetString("URL_Help", "https://help.example/ml");
  platform::ShellOpenRecording opened;
  OpenPage();
  PageList().UserActivate(1);  // nothing is selected: nothing happens
  EXPECT_TRUE(requests_.empty());
  PageList().UserClickRow(1);
  PageList().UserActivate(1);
  ASSERT_EQ(requests_.size(), 1u);
  EXPECT_TRUE(requests_[0].enqueue);
  EXPECT_EQ(Titles(requests_[0]), std::vector<std::string>{"Mirror"});

  for (const auto& [item, enqueue] : std::vector<std::pair<std::string, bool>>{{"Play in Media Player", false},
                                                                               {"Enqueue in Media Player", true}}) {
    requests_.clear();
    host_.ExpectMenu(item);
    PageList().UserRightClick(0);
    platform::PumpMessages(0);  // the chosen command comes back as WM_COMMAND
    ASSERT_EQ(requests_.size(), 1u) << item;
    EXPECT_EQ(requests_[0].enqueue, enqueue);
    EXPECT_EQ(Titles(requests_[0]), std::vector<std::string>{"Harbour"});
  }
  EXPECT_EQ(host_.prompts().back().text, "Play in Media Player\nEnqueue in Media Player\n");

  Click(CWinampMLDlg::kHelpId);
  ASSERT_EQ(opened.calls().size(), 1u);
  EXPECT_EQ(opened.calls()[0].target, "https://help.example/ml");
}

TEST_F(MediaLibraryTest, NoticeRowsOpenTheirAddress) {
  UnreachableDevice unreachable;
  Use(unreachable);
  Settings().SetString("URL_HelpTshooter", "https://help.example/t");
  platform::ShellOpenRecording opened;
  OpenPage();
  const int row = RowOf("For more help, double-click here to browse to our online Troubleshooter.");
  PageList().UserClickRow(row);
  PageList().UserActivate(row);
  ASSERT_EQ(opened.calls().size(), 1u);
  EXPECT_EQ(opened.calls()[0].target, "https://help.example/t");
  EXPECT_TRUE(requests_.empty());
}

// A click on a column header sorts by it, the direction turning every click.
TEST_F(MediaLibraryTest, ColumnClicksSortTheRows) {
  device_.AddTrack({.artist = "B", .album = "X", .title = "Two", .number = 1, .year = 1999, .length = 600});
  device_.AddTrack({.artist = "A", .album = "X", .title = "One", .number = 1, .year = 2010, .length = 61});
  device_.AddTrack({.artist = "C", .album = "X", .title = "Three", .number = 1, .year = 1985, .length = 5});
  OpenPage();
  EXPECT_EQ(Names(), (std::vector<std::string>{"A - X - 01 - One", "B - X - 01 - Two", "C - X - 01 - Three"}));
  const struct {
    int column;
    std::vector<std::string> names;
  } kClicks[] = {
      {6, {"A - X - 01 - One", "B - X - 01 - Two", "C - X - 01 - Three"}},  // Year, descending first
      {6, {"C - X - 01 - Three", "B - X - 01 - Two", "A - X - 01 - One"}},
      {3, {"B - X - 01 - Two", "A - X - 01 - One", "C - X - 01 - Three"}},  // Length: "10:00" > "1:01" > "0:05"
  };
  for (const auto& click : kClicks) {
    PageList().UserClickColumn(click.column);
    EXPECT_EQ(Names(), click.names) << click.column;
  }
}

// The host's skin routines: the control table registered at once and used on every size
// but a minimised one, the borders on paint, the colours, the messages the page does not
// handle, and the list skinned until the page goes with its window.
TEST_F(MediaLibraryTest, HostSkinRoutinesAndThePageGoingWithItsWindow) {
  device_.AddTrack({.artist = "A", .album = "B", .title = "C", .number = 1});
  const unsigned objects = g_LiveObjectCount.load();
  CWinampMLDlg& page = OpenPage();
  EXPECT_GT(g_LiveObjectCount.load(), objects);
  ASSERT_EQ(g_Skin.registered.size(), 1u);
  EXPECT_EQ(g_Skin.registered[0], (std::vector<std::pair<int, int>>{{1101, 0x11}, {6004, 0x101}, {6005, 0x101},
                                                                    {6006, 0x101}, {6007, 0x101}, {6008, 0x101},
                                                                    {6002, 0x101}, {6009, 0x1010}}));
  EXPECT_EQ(skinnedList_, ControlRef(page_, 1101));
  const auto colours = PageList().GetCellColours(0, 0);
  EXPECT_EQ(colours.first, 0x0000FF00u);
  EXPECT_EQ(colours.second, 0x00202020u);

  platform::SendMessage(page_, WM_SIZE, 0, 0);
  platform::SendMessage(page_, WM_SIZE, SIZE_MINIMIZED, 0);
  EXPECT_EQ(g_Skin.resized, 1);
  platform::SendMessage(page_, WM_PAINT, 0, 0);
  EXPECT_EQ(g_Skin.borders, (std::vector<std::vector<int>>{{0x1044D}}));
  g_Skin.takes = platform::WM_USER + 5;
  EXPECT_EQ(platform::SendMessage(page_, platform::WM_USER + 5, 0, 0), 77);
  EXPECT_EQ(platform::SendMessage(page_, platform::WM_USER + 6, 0, 0), 0);
  EXPECT_EQ(g_Skin.offered, (std::vector<platform::UINT>{platform::WM_USER + 5, platform::WM_USER + 6}));
  (void)page;

  platform::DestroyWindow(library_);
  EXPECT_FALSE(platform::IsWindow(page_));
  EXPECT_EQ(unskinned_, std::vector<LRESULT>{555});
  EXPECT_EQ(platform::UiWindow::FromHandle(page_), nullptr);
  EXPECT_EQ(g_LiveObjectCount.load(), objects);  // the page's folder and view went with it
}

TEST_F(MediaLibraryTest, WithoutSkinRoutinesThePageKeepsItsOwnColours) {
  routines_ = false;
  device_.AddTrack({.artist = "A", .album = "B", .title = "C", .number = 1});
  OpenPage();
  const auto colours = PageList().GetCellColours(0, 0);
  EXPECT_EQ(colours.first, 0x00FFFFFFu);
  EXPECT_EQ(colours.second, 0x00000000u);
  platform::SendMessage(page_, WM_SIZE, 0, 0);
  platform::SendMessage(page_, WM_PAINT, 0, 0);
  EXPECT_EQ(g_Skin.resized, 0);
  EXPECT_TRUE(g_Skin.borders.empty());
}

}  // namespace
}  // namespace shellexttest
