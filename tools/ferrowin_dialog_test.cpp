// The fill dialog: the fit as a table of file sizes over segment capacities, the usable
// size of a segment, and the dialog on the in-memory player with files of known sizes:
// start-up, dropped files, ticks, the totals, deleting, reordering, the random pick, a
// playlist loaded and saved, the folders, and the plan handed to the transfer.
#include "tools/ferrowin_dialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "common/identity.h"
#include "testing/temp_home.h"
#include "device/memory_device.h"
#include "testing/processes.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/shell/shell.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"

using namespace device;

namespace tools {
namespace {

using platform::DialogDriver;
using platform::IDOK;
using D = FerrowinDialog;

const bool kIsolated = platform::testing::IsolateNamespace();
constexpr std::int64_t MB = 1024;

TEST(FerrowinFitTest, FilesOverTickedSegmentsInOrder) {
  struct Case {
    const char* what;
    std::vector<std::int64_t> files;
    std::vector<std::int64_t> capacities;
    std::vector<bool> ticked;
    std::size_t kept;
    std::vector<int> segments;
    std::vector<std::int64_t> remaining;
  };
  const Case cases[] = {
      {"the cursor never returns to the first segment", {6 * MB, 6 * MB, 3 * MB, 9 * MB}, {10 * MB, 10 * MB},
       {true, true}, 3, {0, 1, 1}, {4 * MB, 1 * MB}},
      {"a later smaller file is not tried", {900, 200, 50}, {1000}, {true}, 1, {0}, {100}},
      {"an exact fit", {400, 600}, {1000}, {true}, 2, {0, 0}, {0}},
      {"an unticked segment is passed", {500, 600}, {1000, 1000}, {false, true}, 1, {1}, {0, 500}},
      {"every segment unticked, even a file under 1 KB stays off", {0, 100}, {1000, 1000}, {false, false}, 0, {},
       {0, 0}},
      {"a file larger than every segment stops at once", {2000, 10}, {1000, 1000}, {true, true}, 0, {}, {1000, 1000}},
      {"no files", {}, {1000}, {true}, 0, {}, {1000}},
      {"no segments", {10}, {}, {}, 0, {}, {}},
  };
  for (const Case& c : cases) {
    const FitResult fit = FitFiles(c.files, c.capacities, c.ticked);
    EXPECT_EQ(fit.kept, c.kept) << c.what;
    EXPECT_EQ(fit.fileSegment, c.segments) << c.what;
    EXPECT_EQ(fit.remainingKB, c.remaining) << c.what;
  }
}

TEST(FerrowinFitTest, UsableSizeIsTheTotalLessThreeAndAHalfPercentTruncated) {
  const std::pair<std::int64_t, std::int64_t> cases[] = {
      {1000, 965}, {999, 965}, {1, 1}, {0, 0}, {20000000, 19300000}, {31457280, 30356276}};
  for (const auto& [total, usable] : cases) EXPECT_EQ(UsableSegmentKB(total), usable) << total;
}

class FerrowinDialogTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    g_ProductIdentity.InitFromPath("/opt/tovarin/ombrixj1.so");
    key_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
    device_.SetCapability(DeviceOp::SupportsStorageList, 1);
    music_ = root_ + "/music";
    std::filesystem::create_directories(music_);
  }

  // A file of `kb` kilobytes (and `extra` bytes) under the music folder; its Windows-form path.
  std::string File(const std::string& name, std::int64_t kb, int extra = 0) {
    const std::string path = music_ + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << "";
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(kb * 1024 + extra));
    return platform::FromPosixPath(path);
  }

  FerrowinRoutes Routes() {
    FerrowinRoutes routes;
    routes.expand = [this](const std::vector<std::string>& names, bool sorted, bool audioOnly) {
      expansions_.push_back({names, sorted, audioOnly});
      std::vector<std::string> out;
      for (const std::string& n : names) {
        auto it = expandsTo_.find(n);
        if (it == expandsTo_.end()) {
          out.push_back(n);
        } else {
          out.insert(out.end(), it->second.begin(), it->second.end());
        }
      }
      return out;
    };
    routes.transfer = [this](platform::HWND owner, const std::vector<std::string>& files,
                             const std::vector<int>& segments, const std::vector<KernelId>& ids) {
      transfers_.push_back({owner, files, segments, ids});
    };
    return routes;
  }

  // Runs the dialog with the script.
  void Run(const std::function<void(DialogDriver&, D&)>& script) {
    D dlg(device_, &images_, Routes());
    host_.ExpectDialog(D::kTemplateId, [&](DialogDriver& d) {
      script(d, dlg);
      if (!d.Ended()) d.Close();
    });
    dlg.DoModal();
    EXPECT_EQ(host_.pendingAnswers(), 0u);
  }

  static std::vector<std::string> Column(DialogDriver& d, int list, int column) {
    platform::ListViewControl& l = d.window().ListView(list);
    std::vector<std::string> texts;
    for (int row = 0; row < l.GetItemCount(); ++row) texts.push_back(l.GetItemText(row, column));
    return texts;
  }
  static std::vector<std::string> Names(const D& dlg) {
    std::vector<std::string> names;
    for (const std::string& f : dlg.Files()) names.push_back(f.substr(f.find_last_of('\\') + 1));
    return names;
  }

  struct Expansion {
    std::vector<std::string> names;
    bool sorted;
    bool audioOnly;
  };
  struct Transfer {
    platform::HWND owner;
    std::vector<std::string> files;
    std::vector<int> segments;
    std::vector<KernelId> ids;
  };

  std::optional<platform::SettingsKey> key_;
  platform::ScriptedHost host_;
  MemoryDevice device_;
  platform::ImageList images_{16, 16};
  std::string music_;
  std::map<std::string, std::vector<std::string>> expandsTo_;
  std::vector<Expansion> expansions_;
  std::vector<Transfer> transfers_;
};

// Start-up lists the media with their usable sizes, ticked, and shows both folders.
TEST_F(FerrowinDialogTest, StartUpListsTheSegmentsTickedWithTheirUsableSize) {
  const KernelId internal = device_.AddStorage("Internal", 1000, 800);
  const KernelId card = device_.AddStorage("SmartMedia Card", 10240, 10000);
  key_->SetString("FWN_RandomPath", "C:\\music");
  key_->SetString("FWN_PlaylistPath", "C:\\lists");
  Run([&](DialogDriver& d, D& dlg) {
    EXPECT_EQ(d.Caption(), "Ombrix Ferrowin");
    EXPECT_EQ(Column(d, D::kSegmentListId, 0), (std::vector<std::string>{"Internal", "SmartMedia Card"}));
    EXPECT_EQ(Column(d, D::kSegmentListId, 1), (std::vector<std::string>{"0.94 MB", "9.65 MB"}));
    platform::ListViewControl& segments = d.window().ListView(D::kSegmentListId);
    EXPECT_TRUE(segments.GetCheck(0) && segments.GetCheck(1));
    EXPECT_EQ(segments.GetItemImage(0), 6);
    EXPECT_EQ(segments.GetItemImage(1), 7);
    EXPECT_EQ(dlg.SegmentCapacityKB(), (std::vector<std::int64_t>{965, 9882}));
    EXPECT_EQ(dlg.Segments(), (std::vector<KernelId>{internal, card}));
    // The folders as the desktop writes them.
    EXPECT_EQ(d.Text(D::kRandomPathId), platform::ToPosixPath("C:\\music"));
    EXPECT_EQ(d.Text(D::kPlaylistPathId), platform::ToPosixPath("C:\\lists"));
    EXPECT_EQ(d.Text(D::kRandomPathId).front(), '/');
    EXPECT_TRUE(d.window().AcceptsFiles());
    d.Click(platform::IDCANCEL);  // the dialog's own Close
    EXPECT_TRUE(d.Ended());
  });
}

// Dropped files are expanded and fitted: each row shows its name, its number within its
// segment and its size; what does not fit is reported; the totals count what stays.
TEST_F(FerrowinDialogTest, DroppedFilesAreFittedOverTheTickedSegments) {
  device_.AddStorage("Internal", 10612, 0);  // 10,240 KB usable
  device_.AddStorage("Card", 10612, 0);
  const std::string a = File("a.mp3", 6 * MB);
  const std::string b = File("b.mp3", 6 * MB);
  const std::string folder = platform::FromPosixPath(music_ + "/more");
  const std::string c = File("more/c.mp3", 3 * MB);
  const std::string e = File("more/e.mp3", 9 * MB);
  expandsTo_[folder] = {c, e};
  Run([&](DialogDriver& d, D& dlg) {
    host_.ExpectNextMessageBox(IDOK, "1 files would not fit.");
    ASSERT_TRUE(d.window().UserDropFiles({platform::ToPosixPath(a), platform::ToPosixPath(b), music_ + "/more"}));
    ASSERT_EQ(expansions_.size(), 1u);
    EXPECT_TRUE(expansions_[0].sorted);
    EXPECT_FALSE(expansions_[0].audioOnly);
    EXPECT_EQ(Names(dlg), (std::vector<std::string>{"a.mp3", "b.mp3", "c.mp3"}));
    EXPECT_EQ(dlg.FileSegments(), (std::vector<int>{0, 1, 1}));
    EXPECT_EQ(Column(d, D::kTrackListId, 0), (std::vector<std::string>{"a.mp3", "b.mp3", "c.mp3"}));
    EXPECT_EQ(Column(d, D::kTrackListId, 1), (std::vector<std::string>{"1", "1", "2"}));
    EXPECT_EQ(Column(d, D::kTrackListId, 2), (std::vector<std::string>{"6.00 MB", "6.00 MB", "3.00 MB"}));
    EXPECT_EQ(d.window().ListView(D::kTrackListId).GetItemImage(2), 7);
    EXPECT_EQ(Column(d, D::kSegmentListId, 1), (std::vector<std::string>{"4.00 MB", "1.00 MB"}));
    EXPECT_EQ(d.Text(D::kTotalsId), "3 tracks.  15.00 MB.");

    // Unticking the second segment leaves only the first file; the report says so.
    host_.ExpectNextMessageBox(IDOK, "2 files would not fit.");
    d.window().ListView(D::kSegmentListId).UserToggleCheck(1);
    EXPECT_EQ(Names(dlg), std::vector<std::string>{"a.mp3"});
    EXPECT_EQ(Column(d, D::kSegmentListId, 1), (std::vector<std::string>{"4.00 MB", "0.00 MB"}));
    EXPECT_EQ(d.Text(D::kTotalsId), "1 track.  6.00 MB.");
  });
}

TEST_F(FerrowinDialogTest, TotalsCountTracksInTheSingularOnlyForOne) {
  device_.AddStorage("Internal", 100000, 0);
  const std::string half = File("half.mp3", 0, 512 * 1024 + 100);
  const std::string two = File("two.mp3", 2 * MB);
  Run([&](DialogDriver& d, D&) {
    d.Click(D::kClearId);
    EXPECT_EQ(d.Text(D::kTotalsId), "0 tracks.  0.00 MB.");
    d.window().UserDropFiles({platform::ToPosixPath(half)});
    EXPECT_EQ(d.Text(D::kTotalsId), "1 track.  0.50 MB.");
    d.window().UserDropFiles({platform::ToPosixPath(two)});
    EXPECT_EQ(d.Text(D::kTotalsId), "2 tracks.  2.50 MB.");
  });
}

// Delete removes the selected rows; a drag moves one row in front of another, and a drop
// on itself or just below it moves nothing.
TEST_F(FerrowinDialogTest, DeleteAndReorderByDrag) {
  device_.AddStorage("Internal", 100000, 0);
  std::vector<std::string> posix;
  for (const char* n : {"1.mp3", "2.mp3", "3.mp3", "4.mp3", "5.mp3"}) posix.push_back(platform::ToPosixPath(File(n, 1)));
  Run([&](DialogDriver& d, D& dlg) {
    d.window().UserDropFiles(posix);
    platform::ListViewControl& tracks = d.window().ListView(D::kTrackListId);
    auto drag = [&](int from, int to) {
      tracks.UserSelectRows({from});
      ASSERT_TRUE(tracks.UserBeginDrag(from));
      ASSERT_EQ(tracks.GetReorderSource(), from);
      tracks.UserReorderOver(to);
      tracks.UserReorderDrop(to);
    };
    host_.ExpectNextMessageBox(IDOK, "Item was not moved.");
    drag(2, 3);  // the third row onto the fourth
    host_.ExpectNextMessageBox(IDOK, "Item was not moved.");
    drag(2, 2);
    EXPECT_EQ(Names(dlg), (std::vector<std::string>{"1.mp3", "2.mp3", "3.mp3", "4.mp3", "5.mp3"}));
    drag(3, 1);  // the fourth row onto the second: it is second now
    EXPECT_EQ(Names(dlg), (std::vector<std::string>{"1.mp3", "4.mp3", "2.mp3", "3.mp3", "5.mp3"}));
    drag(0, 3);  // down: in front of the row it was dropped on
    EXPECT_EQ(Names(dlg), (std::vector<std::string>{"4.mp3", "2.mp3", "1.mp3", "3.mp3", "5.mp3"}));
    drag(1, -1);  // past the last row: nothing
    EXPECT_EQ(Names(dlg), (std::vector<std::string>{"4.mp3", "2.mp3", "1.mp3", "3.mp3", "5.mp3"}));

    tracks.UserSelectRows({0, 2});
    host_.ExpectNextMessageBox(IDOK, "You can only reorder one track at a time.");
    tracks.UserBeginDrag(0);
    EXPECT_LT(tracks.GetReorderSource(), 0);
    tracks.UserKey(platform::VK_DELETE);
    EXPECT_EQ(Names(dlg), (std::vector<std::string>{"2.mp3", "3.mp3", "5.mp3"}));
    EXPECT_EQ(Column(d, D::kTrackListId, 0), (std::vector<std::string>{"2.mp3", "3.mp3", "5.mp3"}));
  });
}

// Pick Tracks takes at most 100 distinct files of the folder's sorted audio files not yet
// planned, at random; without a folder it says so.
TEST_F(FerrowinDialogTest, PickTracksTakesAtMostAHundredAtRandom) {
  device_.AddStorage("Internal", 100000, 0);
  std::vector<std::string> candidates;
  for (int i = 0; i < 250; ++i) candidates.push_back(File("pick/" + std::to_string(i) + ".mp3", 0, 100));
  const std::string folder = platform::FromPosixPath(music_ + "/pick");
  expandsTo_[folder] = candidates;
  Run([&](DialogDriver& d, D& dlg) {
    host_.ExpectNextMessageBox(IDOK, "You have not yet set a folder for random selection.");
    d.Click(D::kPickTracksId);
    EXPECT_TRUE(dlg.Files().empty());
    key_->SetString("FWN_RandomPath", folder);
    d.Click(D::kPickTracksId);
    ASSERT_EQ(expansions_.size(), 1u);
    EXPECT_EQ(expansions_[0].names, std::vector<std::string>{folder});
    EXPECT_TRUE(expansions_[0].sorted);
    EXPECT_TRUE(expansions_[0].audioOnly);
    ASSERT_EQ(dlg.Files().size(), 100u);
    const std::set<std::string> distinct(dlg.Files().begin(), dlg.Files().end());
    EXPECT_EQ(distinct.size(), 100u);
    for (const std::string& f : dlg.Files()) {
      EXPECT_NE(std::find(candidates.begin(), candidates.end(), f), candidates.end()) << f;
    }
    // Not simply the first hundred: the picks are drawn from the whole folder.
    const bool beyondFirstHundred = std::any_of(dlg.Files().begin(), dlg.Files().end(), [&](const std::string& f) {
      return std::find(candidates.begin() + 100, candidates.end(), f) != candidates.end();
    });
    EXPECT_TRUE(beyondFirstHundred);
    // Each press draws only from what is not planned yet: three presses plan the whole
    // folder once.
    d.Click(D::kPickTracksId);
    EXPECT_EQ(dlg.Files().size(), 200u);
    d.Click(D::kPickTracksId);
    EXPECT_EQ(dlg.Files().size(), 250u);
    EXPECT_EQ(std::set<std::string>(dlg.Files().begin(), dlg.Files().end()),
              std::set<std::string>(candidates.begin(), candidates.end()));
    d.Click(D::kPickTracksId);
    EXPECT_EQ(dlg.Files().size(), 250u);
  });
}

// Load Playlist appends the playlist's tracks in its order; Save as Playlist writes the
// plan as an M3U of the paths the desktop's players read, and says when it cannot.
TEST_F(FerrowinDialogTest, LoadAndSaveAPlaylist) {
  device_.AddStorage("Internal", 100000, 0);
  const std::string lists = music_ + "/lists";
  std::filesystem::create_directories(lists);
  const std::string z = File("z.mp3", 1);
  const std::string y = File("y.mp3", 2);
  const std::string playlist = platform::FromPosixPath(lists + "/mix.m3u");
  expandsTo_[playlist] = {z, y};
  Run([&](DialogDriver& d, D& dlg) {
    host_.ExpectNextMessageBox(IDOK, "You have not yet set a folder for your playlists.");
    d.Click(D::kLoadPlaylistId);
    key_->SetString("FWN_PlaylistPath", platform::FromPosixPath(lists));
    host_.ExpectFilePicker(lists + "/mix.m3u", "Select a Playlist...");
    d.Click(D::kLoadPlaylistId);
    ASSERT_EQ(expansions_.size(), 1u);
    EXPECT_EQ(expansions_[0].names, std::vector<std::string>{playlist});
    EXPECT_FALSE(expansions_[0].sorted);
    EXPECT_FALSE(expansions_[0].audioOnly);
    EXPECT_EQ(Names(dlg), (std::vector<std::string>{"z.mp3", "y.mp3"}));

    host_.ExpectFilePicker(lists + "/saved.m3u", "Save as Playlist...");
    d.Click(D::kSaveId);
    std::ifstream in(lists + "/saved.m3u", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, "#EXTM3U\r\n" + music_ + "/z.mp3\r\n" + music_ + "/y.mp3\r\n");

    host_.ExpectFilePicker(music_ + "/missing/saved.m3u");
    host_.ExpectMessageBox(IDOK, "could not be saved");
    d.Click(D::kSaveId);
    host_.ExpectFilePicker(std::nullopt);
    d.Click(D::kSaveId);
  });
  const auto prompts = host_.prompts();
  const auto picker = std::find_if(prompts.begin(), prompts.end(), [](const platform::Prompt& p) {
    return p.kind == platform::PromptKind::FilePicker && p.caption == "Save as Playlist...";
  });
  ASSERT_NE(picker, prompts.end());
}

TEST_F(FerrowinDialogTest, SavingReplacesAnOldPlaylistOnlyWithAWholeNewOne) {
  const std::string path = music_ + "/old.m3u";
  std::ofstream(path) << "#EXTM3U\r\nold\r\n";
  EXPECT_TRUE(WriteFillPlaylist(platform::FromPosixPath(path), {"C:\\a.mp3"}));
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()),
            "#EXTM3U\r\n/a.mp3\r\n");
  std::filesystem::permissions(music_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  if (::geteuid() != 0) {  // a folder that takes no new file: the old playlist stays
    EXPECT_FALSE(WriteFillPlaylist(platform::FromPosixPath(path), {"C:\\b.mp3"}));
    std::ifstream again(path, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>()),
              "#EXTM3U\r\n/a.mp3\r\n");
  }
  std::filesystem::permissions(music_, std::filesystem::perms::owner_all);
}

// Set Folder stores the chosen folder and shows it; Cancel changes nothing.
TEST_F(FerrowinDialogTest, SetFolderStoresTheChoice) {
  device_.AddStorage("Internal", 100000, 0);
  struct Case {
    int button;
    int shown;
    const char* setting;
    const char* title;
  };
  for (const Case& c : {Case{D::kRandomFolderId, D::kRandomPathId, "FWN_RandomPath",
                             "Select a directory from which to pick randomly:"},
                        Case{D::kPlaylistFolderId, D::kPlaylistPathId, "FWN_PlaylistPath",
                             "Select the directory where you store your playlists:"}}) {
    Run([&](DialogDriver& d, D&) {
      host_.ExpectFolderPicker(music_, c.title);
      d.Click(c.button);
      EXPECT_EQ(d.Text(c.shown), music_);
      host_.ExpectFolderPicker(std::nullopt);
      d.Click(c.button);
      EXPECT_EQ(d.Text(c.shown), music_);
    });
    const auto stored = key_->Get(c.setting);
    ASSERT_TRUE(stored.has_value()) << c.setting;
    EXPECT_EQ(stored->data, platform::FromPosixPath(music_) + std::string(1, '\0'));
  }
}

// A player without segments keeps no plan (and says so once started); a file that can
// no longer be read leaves the plan with a word about it.
TEST_F(FerrowinDialogTest, NoSegmentsAndFilesThatWentAway) {
  const std::string a = File("a.mp3", 1);
  Run([&](DialogDriver& d, D& dlg) {
    host_.ExpectNextMessageBox(IDOK, "There are no available memory segments.  Are you sure your device is connected?");
    d.window().UserDropFiles({platform::ToPosixPath(a)});
    EXPECT_TRUE(dlg.Files().empty());
  });
  device_.AddStorage("Internal", 100000, 0);
  const std::string b = File("b.mp3", 1 * MB);
  Run([&](DialogDriver& d, D& dlg) {
    d.window().UserDropFiles({platform::ToPosixPath(a), platform::ToPosixPath(b)});
    std::filesystem::remove(platform::ToPosixPath(a));
    host_.ExpectNextMessageBox(IDOK, "can no longer be read");
    d.Click(D::kSortId);
    EXPECT_EQ(Names(dlg), std::vector<std::string>{"b.mp3"});
    EXPECT_EQ(d.Text(D::kTotalsId), "1 track.  1.00 MB.");
  });
}

// Sort orders by path without case; Transfer to Device hands over the plan.
TEST_F(FerrowinDialogTest, SortAndTransferTheFitPlan) {
  const KernelId internal = device_.AddStorage("Internal", 2122, 0);  // 2,048 KB usable
  const KernelId card = device_.AddStorage("Card", 10000, 0);
  const std::string b = File("B.mp3", 1500);
  const std::string a = File("a.mp3", 1000);
  const std::string c = File("c.mp3", 1000);
  Run([&](DialogDriver& d, D& dlg) {
    host_.ExpectNextMessageBox(IDOK, "There are no tracks to transfer.");
    d.Click(D::kTransferId);
    EXPECT_TRUE(transfers_.empty());
    d.window().UserDropFiles({platform::ToPosixPath(b), platform::ToPosixPath(c), platform::ToPosixPath(a)});
    d.Click(D::kSortId);
    EXPECT_EQ(Names(dlg), (std::vector<std::string>{"a.mp3", "B.mp3", "c.mp3"}));
    d.Click(D::kTransferId);
    ASSERT_EQ(transfers_.size(), 1u);
    EXPECT_EQ(transfers_[0].owner, dlg.GetSafeHwnd());
  });
  ASSERT_EQ(transfers_.size(), 1u);
  EXPECT_EQ(transfers_[0].files, (std::vector<std::string>{a, b, c}));
  EXPECT_EQ(transfers_[0].segments, (std::vector<int>{0, 1, 1}));
  EXPECT_EQ(transfers_[0].ids, (std::vector<KernelId>{internal, card}));
}

TEST_F(FerrowinDialogTest, HelpOpensTheFillPageOfTheHelp) {
  key_->SetString("URL_Help", "https://help.example/");
  key_->SetString("URL_HelpFWN", "ferrowin.html");
  platform::ShellOpenRecording opened;
  Run([&](DialogDriver& d, D&) { d.Click(D::kHelpId); });
  ASSERT_EQ(opened.calls().size(), 1u);
  EXPECT_EQ(opened.calls()[0].target, "https://help.example/ferrowin.html");
}

}  // namespace
}  // namespace tools
