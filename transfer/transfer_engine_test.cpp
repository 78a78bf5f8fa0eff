// The transfer engine against an in-memory player: what each file becomes on the player
// and in the log, the tag checks and fills, the device's outcomes and completion notices,
// commits, the progress shown, the end of a run and the playlists made afterwards.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <limits>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "common/folders.h"
#include "common/last_transfer.h"
#include "device/device_client_error.h"
#include "device/memory_device.h"
#include "device/messages.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/host.h"
#include "platform/ui/scripted_host.h"
#include "platform/window/wait.h"
#include "transfer/formats/audio_file_tags.h"
#include "testing/audio_fixtures.h"
#include "testing/processes.h"
#include "testing/temp_home.h"
#include "transfer/conversion_rules.h"
#include "transfer/formats/mp3/mp3_reader.h"
#include "transfer/tag_fill_dlg.h"
#include "transfer/transfer_dialog.h"

using namespace device;

namespace transfer {
namespace {

const bool kIsolated = platform::testing::IsolateNamespace();

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::WriteBytes;

// The in-memory player, with completion notices sent later as a real player's are, and
// answers chosen by the test.
class TestDevice : public MemoryDeviceBase {
 public:
  enum class Completion { kAtOnce, kNotice, kFailedNotice, kFullNotice, kNever };
  Completion completion = Completion::kAtOnce;
  std::deque<int> uploadAnswers;  // answered (with a reply text) before anything is done
  int commits = 0;
  int notices = 0;  // progress notices sent before a completion notice
  std::function<void()> duringUpload;  // runs once the device took a file

  int CommitChanges() override {
    ++commits;
    return 0;
  }
  // The transfer's target is a memory segment's number, which names no medium here; the
  // segment current at each upload is kept.
  std::uint32_t segment = 0;
  std::vector<std::pair<std::uint32_t, std::string>> sentTo;
  int SelectStorage(const KernelId& s) override {
    segment = s.word[0];
    return 0;
  }
  int UploadTrack(std::string_view path, const TrackRecord& record, KernelId& id) override {
    if (int s; Answer(s)) return s;
    sentTo.emplace_back(segment, path);
    return Complete(MemoryDeviceBase::UploadTrack(path, record, id), id);
  }
  int UploadDataFile(std::string_view path, const KernelId& folder, KernelId& id) override {
    if (int s; Answer(s)) return s;
    sentTo.emplace_back(segment, path);
    return Complete(MemoryDeviceBase::UploadDataFile(path, folder, id), id);
  }

 private:
  bool Answer(int& status) {
    if (uploadAnswers.empty()) return false;
    status = uploadAnswers.front();
    uploadAnswers.pop_front();
    SetReplyError(status, "The test player refused it.");
    return true;
  }
  int Complete(int status, const KernelId& id) {
    if (status != kOutcomeSynchronous || completion == Completion::kAtOnce) return status;
    if (duringUpload) duringUpload();
    for (int i = 0; i < notices; ++i) platform::PostMessage(GetProgressWindow(), WM_UPLOADPROGRESS, 50, 0);
    if (completion == Completion::kNotice) platform::PostMessage(GetProgressWindow(), WM_UPLOADDONE, id.word[0], 0);
    if (completion == Completion::kFailedNotice) platform::PostMessage(GetProgressWindow(), WM_UPLOADDONE, 0, 0x80);
    if (completion == Completion::kFullNotice) {
      platform::PostMessage(GetProgressWindow(), WM_UPLOADDONE, 0, kNoticeStorageFull);
    }
    return kOutcomeSent;
  }
};

// An MP3 of a second of tone with an ID3v1 tag of the given texts (none when all empty).
class Mp3Maker {
 public:
  Mp3Maker() {
    if (testing::MakeTone(dir_ / "tone.wav", 1) &&
        testing::Tool({"lame", "--quiet", "-b", "64", dir_ / "tone.wav", dir_ / "plain.mp3"})) {
      plain_ = ReadBytes(dir_ / "plain.mp3");
    }
  }
  void Make(const std::string& path, const std::string& title, const std::string& artist, const std::string& album) {
    std::string bytes = plain_;
    if (!title.empty() || !artist.empty() || !album.empty()) {
      std::string tag = "TAG";
      for (const std::string* field : {&title, &artist, &album}) tag += field->substr(0, 30) + std::string(30 - std::min<std::size_t>(30, field->size()), '\0');
      tag += std::string(4 + 30, '\0');
      tag += '\xff';
      bytes += tag;
    }
    WriteBytes(path, bytes);
  }
  bool ok() const { return !plain_.empty(); }

 private:
  testing::ScratchFolder dir_;
  std::string plain_;
};

class EngineTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    settings_ = platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
    settings_->SetDword("Gen_Tx_AutoCloseDialog", 1);
    src_ = root_ + "/src";
    fs::create_directories(src_);
    device_ = std::make_unique<TestDevice>();
    dialog_ = std::make_unique<CTransferDialog>(*device_);
    ASSERT_TRUE(dialog_->Create(0));
  }
  void TearDown() override {
    dialog_.reset();
    device_.reset();
    SetTagReadLimitForTesting(0);
    TempHome::TearDown();
  }

  static Mp3Maker& Mp3() {
    static Mp3Maker maker;
    return maker;
  }
  // A file under src/ (Windows form); MP3s get a tag of the texts.
  std::string Mp3File(const std::string& name, const std::string& title, const std::string& artist,
                      const std::string& album) {
    Mp3().Make(src_ + "/" + name, title, artist, album);
    return platform::FromPosixPath(src_ + "/" + name);
  }
  std::string DataFile(const std::string& name, const std::string& bytes = "data") {
    WriteBytes(src_ + "/" + name, bytes);
    return platform::FromPosixPath(src_ + "/" + name);
  }

  // Runs the direct route; the transfer log after its first line.
  std::string Run(const std::vector<std::string>& files, const SourceGroups* roots = nullptr) {
    TransferLogFile log;
    log.Open();
    dialog_->StartTransfer(&log, KernelId(0), &files, roots, 0, 0);
    log.Close();
    const std::string text = ReadBytes(platform::ToPosixPath(log.GetPath()));
    return text.substr(text.find("\r\n") + 2);
  }

  // The player's track of this title; empty id when none.
  KernelId TrackTitled(const std::string& title) {
    KernelId track;
    for (int n = D().GetFirstAudioTrack(track); n != 0; n = D().GetNextAudioTrack(track)) {
      if (device_->RecordOf(track).title.GetText() == title) return track;
    }
    return KernelId();
  }

  KernelDevice& D() { return *device_; }

  platform::ScriptedHost host_;
  std::optional<platform::SettingsKey> settings_;
  std::string src_;
  std::unique_ptr<TestDevice> device_;
  std::unique_ptr<CTransferDialog> dialog_;
};

TEST_F(EngineTest, TaggedAudioAndDataFilesReachThePlayerAndEveryStepIsLogged) {
  ASSERT_TRUE(Mp3().ok());
  const std::string song = Mp3File("song.mp3", "Harbour", "Ada Lind", "North Light");
  const std::string notes = DataFile("notes.txt", "liner notes");
  const std::string log = Run({song, notes});

  EXPECT_EQ(log, "Transferring to Device\r\n"
                 "Transfer target is Memory Player and memory segment 0.\r\n"
                 "Auto-completing incomplete tags.\r\n"
                 "File: " + song + ".File is audio...reading tag...tag is good...a(Ada Lind)b(North Light)t(Harbour)"
                 "...starting transfer...synchronous...complete.\r\n"
                 "File: " + notes + ".File is data...starting transfer...synchronous...complete.\r\n");
  const KernelId track = TrackTitled("Harbour");
  ASSERT_FALSE(track.IsEmpty());
  EXPECT_EQ(device_->RecordOf(track).artist.GetText(), "Ada Lind");
  KernelId item;
  ASSERT_NE(D().GetFirstDataItem(device_->DataRoot(), item), 0);
  EXPECT_EQ(D().GetDataItemName(item), "notes.txt");
  EXPECT_EQ(device_->ContentOf(item), "liner notes");

  EXPECT_EQ(dialog_->FilesCompleted(), 2);
  EXPECT_EQ(dialog_->SentIds(), (std::vector<std::uint32_t>{track.word[0], item.word[0]}));
  EXPECT_EQ(ReadLastTransfer(device_->Info().uniqueId, 100), dialog_->SentIds());
  EXPECT_EQ(dialog_->SentTracks().at(song).item, track.word[0]);
  EXPECT_EQ(dialog_->SentTracks().at(song).contentId, KernelDevice::MakeContentId("Ada Lind", "North Light", "Harbour"));
  // The window ends showing the totals.
  EXPECT_EQ(dialog_->GetWindowText(), "Transfer complete.");
  EXPECT_EQ(dialog_->GetDlgItemText(CTransferDialog::kTransferredId), "2");
  EXPECT_EQ(dialog_->GetDlgItemText(CTransferDialog::kProcessingId), "Processing complete.");
  for (int id : {CTransferDialog::kCloseId, CTransferDialog::kViewLogsId, CTransferDialog::kCompareId,
                 CTransferDialog::kPostResultsId}) {
    EXPECT_TRUE(dialog_->GetDlgItem(id)->IsEnabled()) << id;
  }
  EXPECT_FALSE(dialog_->GetDlgItem(CTransferDialog::kCancelId)->IsEnabled());
}

// A planned run makes each file's segment current before the file goes, and says so in
// the log once per change of segment.
TEST_F(EngineTest, APlannedRunSendsEachFileIntoItsSegment) {
  ASSERT_TRUE(Mp3().ok());
  const std::string one = Mp3File("one.mp3", "One", "Ada Lind", "North Light");
  const std::string two = Mp3File("two.mp3", "Two", "Ada Lind", "North Light");
  const std::string notes = DataFile("notes.txt");
  const std::string three = Mp3File("three.mp3", "Three", "Ada Lind", "North Light");
  TransferLogFile log;
  log.Open();
  dialog_->TransferToSegments(&log, {one, two, notes, three}, {KernelId(1), KernelId(1), KernelId(2), KernelId(2)}, 0);
  log.Close();
  const std::vector<std::pair<std::uint32_t, std::string>> expected = {
      {1, "one.mp3"}, {1, "two.mp3"}, {2, "notes.txt"}, {2, "three.mp3"}};
  ASSERT_EQ(device_->sentTo.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(device_->sentTo[i].first, expected[i].first) << i;
    EXPECT_TRUE(device_->sentTo[i].second.ends_with(expected[i].second)) << device_->sentTo[i].second;
  }
  EXPECT_EQ(dialog_->FilesCompleted(), 4);
  const std::string text = ReadBytes(platform::ToPosixPath(log.GetPath()));
  const std::size_t first = text.find("Transfer target is Memory Player and memory segment 1.\r\n");
  const std::size_t second = text.find("Transfer target is Memory Player and memory segment 2.\r\n");
  ASSERT_NE(first, std::string::npos) << text;
  ASSERT_NE(second, std::string::npos) << text;
  EXPECT_LT(first, text.find("File: " + one));
  EXPECT_LT(text.find("File: " + two), second);
  EXPECT_LT(second, text.find("File: " + notes));
  EXPECT_EQ(text.find("Transfer target", second + 1), std::string::npos) << text;
  EXPECT_EQ(dialog_->GetWindowText(), "Transfer complete.");
}

TEST_F(EngineTest, IncompleteTagsAreSkippedFilledOrAskedFor) {
  ASSERT_TRUE(Mp3().ok());
  struct Case {
    std::uint32_t skip, fill;
    const char* fillWith;  // null: the setting is absent
    std::function<void(platform::ScriptedHost&)> dialog;
    const char* logged;
    const char* artist;  // null: nothing sent
  };
  const Case cases[] = {
      {1, 1, nullptr, nullptr, "some required tag fields are missing...autoskipping...skipped.", nullptr},
      {0, 1, nullptr, nullptr, "some required tag fields are missing...autofilling...starting transfer", "<Unknown>"},
      {0, 1, "Various", nullptr, "autofilling...", "Various"},
      {0, 0, nullptr,
       [](platform::ScriptedHost& h) {
         h.ExpectDialog(CTagFillDlg::kTemplateId, [](platform::DialogDriver& d) { d.Click(platform::IDCANCEL); });
       },
       "some required tag fields are missing...user wanted to skip...skipped.", nullptr},
      {0, 0, nullptr,
       [](platform::ScriptedHost& h) {
         h.ExpectDialog(CTagFillDlg::kTemplateId, [](platform::DialogDriver& d) {
           EXPECT_EQ(d.Text(CTagFillDlg::kFileNameId), "untagged.mp3");
           EXPECT_EQ(d.Text(CTagFillDlg::kTitleId), "untagged");
           d.Type(CTagFillDlg::kArtistId, "  Typed Artist ");
           d.Click(platform::IDOK);
         });
       },
       "manual fill...starting transfer", "Typed Artist"},
  };
  for (const Case& c : cases) {
    device_ = std::make_unique<TestDevice>();
    dialog_ = std::make_unique<CTransferDialog>(*device_);
    ASSERT_TRUE(dialog_->Create(0));
    settings_->SetDword("JB_Tx_ITagSkip", c.skip);
    settings_->SetDword("JB_Tx_ITagFill", c.fill);
    if (c.fillWith != nullptr) settings_->SetString("JB_Tx_ITagFillWith", c.fillWith);
    else settings_->DeleteValue("JB_Tx_ITagFillWith");
    if (c.dialog) c.dialog(host_);
    const std::string log = Run({Mp3File("untagged.mp3", "", "", "")});
    EXPECT_NE(log.find(c.logged), std::string::npos) << c.logged << "\n" << log;
    const KernelId track = TrackTitled("untagged");
    if (c.artist == nullptr) {
      EXPECT_TRUE(track.IsEmpty()) << log;
      EXPECT_EQ(dialog_->FilesSkipped(), 1);
    } else {
      ASSERT_FALSE(track.IsEmpty()) << log;
      EXPECT_EQ(device_->RecordOf(track).artist.GetText(), c.artist);
      EXPECT_EQ(device_->RecordOf(track).album.GetText(), c.fill != 0 ? c.artist : "<Unknown>");
    }
    EXPECT_EQ(host_.pendingAnswers(), 0u);
  }
}

// A read held up on its worker until the test lets it go: the tag read of a file that
// hangs.
// The hook's state is shared with it: a read released at the end of a test may wake after
// the test has gone, and must not find its mutex gone with it.
class HeldRead {
 public:
  explicit HeldRead(std::string path) : state_(std::make_shared<State>()) {
    state_->path = std::move(path);
    SetTagReadHookForTesting([state = state_](const std::string& p) {
      if (p != state->path) return;
      std::unique_lock<std::mutex> lock(state->mutex);
      state->started = true;
      state->changed.notify_all();
      state->changed.wait(lock, [&] { return state->released; });
    });
  }
  ~HeldRead() {
    Release();
    SetTagReadHookForTesting(nullptr);
  }
  void Release() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->released = true;
    state_->changed.notify_all();
  }
  bool WaitStarted() {
    std::unique_lock<std::mutex> lock(state_->mutex);
    return state_->changed.wait_for(lock, std::chrono::seconds(10), [this] { return state_->started; });
  }

 private:
  struct State {
    std::string path;
    std::mutex mutex;
    std::condition_variable changed;
    bool started = false, released = false;
  };
  std::shared_ptr<State> state_;
};

TEST_F(EngineTest, ATagReadThatHangsSkipsTheFileAndNeverReachesALaterRecord) {
  ASSERT_TRUE(Mp3().ok());
  settings_->SetDword("JB_EnableTimedTagReads", 1);  // "Skip files with corrupt tags"
  SetTagReadLimitForTesting(300);
  const std::string hang = Mp3File("hang.mp3", "From The Hung Read", "Hung", "Hung");
  HeldRead held(hang);
  // The file after the one that hangs is read and sent.
  const std::string log = Run({hang, Mp3File("next.mp3", "Next", "A", "B")});
  EXPECT_NE(log.find("File is audio...reading tag...tag could not be read, file may be corrupted...skipped."),
            std::string::npos)
      << log;
  EXPECT_EQ(dialog_->FilesSkipped(), 1);
  EXPECT_FALSE(TrackTitled("Next").IsEmpty()) << log;
  EXPECT_TRUE(TrackTitled("From The Hung Read").IsEmpty()) << log;

  // The abandoned read ends while a later one waits: the later one sees only its own file.
  SetTagReadLimitForTesting(5000);
  const std::string own = Mp3File("own.mp3", "Own", "Own Artist", "Own Album");
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    held.Release();
  });
  TrackRecord record;
  EXPECT_EQ(ReadTagsTimed(own, &record, 0, 0), 1);
  release.join();
  EXPECT_EQ(record.title.GetText(), "Own");
  EXPECT_EQ(record.artist.GetText(), "Own Artist");
}

// "Skip files with corrupt tags" off: a slow read is waited for, and the file sent.
TEST_F(EngineTest, WithoutTimedTagReadsASlowReadIsWaitedFor) {
  ASSERT_TRUE(Mp3().ok());
  SetTagReadLimitForTesting(100);
  const std::string slow = Mp3File("slow.mp3", "Slow", "A", "B");
  HeldRead held(slow);
  std::thread release([&] {
    if (held.WaitStarted()) std::this_thread::sleep_for(std::chrono::milliseconds(400));  // well past the limit
    held.Release();
  });
  const std::string log = Run({slow});
  release.join();
  EXPECT_NE(log.find("tag is good...a(A)b(B)t(Slow)...starting transfer"), std::string::npos) << log;
  EXPECT_FALSE(TrackTitled("Slow").IsEmpty()) << log;
  EXPECT_EQ(dialog_->FilesSkipped(), 0);
}

// The next file's tags are read while the device copies the file before it: each file
// still gets its own tags and the log its order, and a file that hangs, read ahead, is
// given up within its own limit.
TEST_F(EngineTest, TagsReadAheadBelongToTheirOwnFile) {
  ASSERT_TRUE(Mp3().ok());
  settings_->SetDword("JB_EnableTimedTagReads", 1);
  SetTagReadLimitForTesting(300);
  const std::string hang = Mp3File("hang.mp3", "Hung", "Hung", "Hung");
  HeldRead held(hang);
  device_->completion = TestDevice::Completion::kNotice;  // the engine waits for every file
  const struct {
    std::string file, title, artist, album;
  } songs[] = {{Mp3File("a.mp3", "Alpha", "Artist A", "Album A"), "Alpha", "Artist A", "Album A"},
               {Mp3File("b.mp3", "Beta", "Artist B", "Album B"), "Beta", "Artist B", "Album B"},
               {Mp3File("c.mp3", "Gamma", "Artist C", "Album C"), "Gamma", "Artist C", "Album C"}};
  const std::string notes = DataFile("notes.txt");
  const std::string log = Run({songs[0].file, hang, songs[1].file, notes, songs[2].file});

  const auto sent = [](const auto& song) {
    return "File: " + song.file + ".File is audio...reading tag...tag is good...a(" + song.artist + ")b(" + song.album +
           ")t(" + song.title + ")...starting transfer...complete.\r\n";
  };
  EXPECT_EQ(log.substr(log.find("File: ")),
            sent(songs[0]) + "File: " + hang +
                ".File is audio...reading tag...tag could not be read, file may be corrupted...skipped.\r\n" +
                sent(songs[1]) + "File: " + notes + ".File is data...starting transfer...complete.\r\n" + sent(songs[2]));
  for (const auto& song : songs) {
    const KernelId track = TrackTitled(song.title);
    ASSERT_FALSE(track.IsEmpty()) << song.title;
    EXPECT_EQ(device_->RecordOf(track).artist.GetText(), song.artist);
    EXPECT_EQ(device_->RecordOf(track).album.GetText(), song.album);
  }
}

// Files that are no plain files, cannot be read or hold no audio never reach the player,
// and none ends the run; a FIFO is never opened for reading (it would block for good).
TEST_F(EngineTest, FilesThatCannotBeSentAreRefusedWithTheirReasonAndTheRunGoesOn) {
  ASSERT_TRUE(Mp3().ok());
  const std::string fifo = src_ + "/pipe.mp3";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string fifoData = src_ + "/pipe.txt";
  ASSERT_EQ(::mkfifo(fifoData.c_str(), 0600), 0);
  const std::string closed = Mp3File("closed.mp3", "Closed", "A", "B");
  ::chmod(platform::ToPosixPath(closed).c_str(), 0);
  const bool canStillRead = ::access(platform::ToPosixPath(closed).c_str(), R_OK) == 0;  // running as root
  const std::string deep = std::string(120, 'd') + "/" + std::string(120, 'e');
  fs::create_directories(src_ + "/" + deep);
  const struct {
    std::string file;
    const char* logged;
  } cases[] = {
      {platform::FromPosixPath(fifo), "File is audio...reading tag...the file cannot be sent: not a regular file...skipped."},
      {platform::FromPosixPath(fifoData), "File is data...not a regular file...skipped."},
      {DataFile("empty.mp3", ""), "File is audio...reading tag...no audio found in the file...skipped."},
      {DataFile("noise.mp3", std::string(20000, '\x5a')), "no audio found in the file...skipped."},
      {DataFile(deep + "/long.txt"), "File is data...the path is longer than 256 bytes, which the player cannot take...skipped."},
      {DataFile("caf\xE9.txt"), "the name is not valid UTF-8, which the player cannot take...skipped."},
      {closed, canStillRead ? "tag is good" : "the file cannot be sent: the file cannot be read...skipped."},
  };
  std::vector<std::string> files;
  for (const auto& c : cases) files.push_back(c.file);
  files.push_back(Mp3File("last.mp3", "Last", "A", "B"));
  host_.ExpectMessageBox(platform::IDOK, canStillRead ? "6 of the files could not be sent" : "7 of the files could not be sent");
  const std::string log = Run(files);
  for (const auto& c : cases) EXPECT_NE(log.find("File: " + c.file + "." ), std::string::npos) << c.file;
  for (const auto& c : cases) EXPECT_NE(log.find(c.logged), std::string::npos) << c.logged << "\n" << log;
  EXPECT_FALSE(TrackTitled("Last").IsEmpty()) << log;
  EXPECT_EQ(dialog_->FilesRefused(), canStillRead ? 6 : 7);
  EXPECT_FALSE(dialog_->IsCancelled());
  for (const auto& [segment, path] : device_->sentTo) EXPECT_EQ(path.find("pipe"), std::string::npos) << path;
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

// One file reached by several names is sent once; every name's playlist gets that track.
TEST_F(EngineTest, AFileReachedTwiceIsSentOnceAndItsPlaylistsShareTheTrack) {
  ASSERT_TRUE(Mp3().ok());
  const std::string song = Mp3File("song.mp3", "Once", "A", "B");
  fs::create_directories(src_ + "/Playlists");
  const std::string other = platform::FromPosixPath(src_ + "/Playlists/../song.mp3");
  fs::create_symlink(src_ + "/song.mp3", src_ + "/link.mp3");
  const std::string linked = platform::FromPosixPath(src_ + "/link.mp3");
  SourceGroups roots;
  roots.Add("one", song);
  roots.Add("two", other);
  roots.Add("three", linked);
  host_.ExpectMessageBox(platform::IDYES, "Would you like to generate playlists out of them?");
  const std::string log = Run({song, other, linked}, &roots);
  EXPECT_EQ(device_->sentTo.size(), 1u) << log;
  EXPECT_NE(log.find("File: " + other + ".already sent in this run as " + song + "...skipped."), std::string::npos)
      << log;
  const KernelId track = TrackTitled("Once");
  KernelId playlist;
  int lists = 0;
  for (int n = device_->GetFirstPlaylist(playlist); n != 0; n = device_->GetNextPlaylist(playlist), ++lists) {
    EXPECT_EQ(device_->PlaylistItems(playlist), std::vector<KernelId>{track}) << D().GetPlaylistName(playlist);
  }
  EXPECT_EQ(lists, 3);
}

// Without a display nobody could answer the preparation sheet: the direct route runs
// and the log says so.
TEST_F(EngineTest, PreparedTransfersWithoutADisplaySendDirectly) {
  ASSERT_TRUE(Mp3().ok());
  settings_->SetDword("JB_Tx_UseATM", 1);
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  platform::ConsoleHost console(in, out, false);
  platform::SetCurrentHost(&console);
  const std::string log = Run({Mp3File("song.mp3", "Harbour", "Ada Lind", "North Light")});
  platform::SetCurrentHost(&host_);
  std::fclose(in);
  std::fclose(out);
  EXPECT_NE(log.find("No display to show the preparation sheet on: the files are sent directly"), std::string::npos)
      << log;
  EXPECT_FALSE(TrackTitled("Harbour").IsEmpty()) << log;
}

TEST_F(EngineTest, TheDevicesAnswersDecideWhatHappensToTheFileAndTheRun) {
  ASSERT_TRUE(Mp3().ok());
  const struct {
    int answer;
    const char* message;  // the box shown, null for none
    const char* logged;
    bool runGoesOn;
  } cases[] = {
      {kOutcomeExists, nullptr, "starting transfer...already exists...skipped.", true},
      {kOutcomeStorageFull, "Memory is full.", "starting transfer...memory is full.", false},
      {kOutcomeNotActivated, "This protected file has not yet been activated", "not activated for transfer...skipped.", true},
      // The player refused the one file: the others still go, and the end says so once.
      {1, "1 of the files could not be sent to the player.  The transfer log says why.",
       "starting transfer...error (0x1)(0x1). The test player refused it.", true},
  };
  for (const auto& c : cases) {
    device_ = std::make_unique<TestDevice>();
    dialog_ = std::make_unique<CTransferDialog>(*device_);
    ASSERT_TRUE(dialog_->Create(0));
    device_->uploadAnswers = {c.answer};
    if (c.message != nullptr) host_.ExpectMessageBox(platform::IDOK, c.message);
    const std::string log = Run({Mp3File("first.mp3", "First", "A", "B"), Mp3File("second.mp3", "Second", "A", "B")});
    EXPECT_NE(log.find(c.logged), std::string::npos) << c.answer << "\n" << log;
    EXPECT_EQ(!TrackTitled("Second").IsEmpty(), c.runGoesOn) << c.answer << "\n" << log;
    EXPECT_EQ(dialog_->IsCancelled(), !c.runGoesOn);
    EXPECT_EQ(dialog_->FilesExisting(), c.answer == kOutcomeExists ? 1 : 0);
    EXPECT_TRUE(TrackTitled("First").IsEmpty());
  }
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

TEST_F(EngineTest, TheWaitForTheCompletionEndsOnItsNoticeOnCancelAndWhenThePlayerIsGone) {
  ASSERT_TRUE(Mp3().ok());
  const std::string song = Mp3File("song.mp3", "Harbour", "Ada Lind", "North Light");
  const struct {
    TestDevice::Completion completion;
    std::function<void(TestDevice&, CTransferDialog&)> meanwhile;
    const char* message;
    const char* logged;
    bool recorded;  // the id is in the last transfer's list
  } cases[] = {
      {TestDevice::Completion::kNotice, nullptr, nullptr, "starting transfer...complete.", true},
      {TestDevice::Completion::kFailedNotice, nullptr, "1 of the files could not be sent to the player.",
       "starting transfer...error (0x1)(0x80). The player did not complete the transfer.", false},
      // A player that ran full says so, and the run ends.
      {TestDevice::Completion::kFullNotice, nullptr, "Memory is full.", "starting transfer...memory is full.", false},
      {TestDevice::Completion::kNever,
       [](TestDevice& device, CTransferDialog& d) {
         device.duringUpload = [&d] {
           platform::PostMessage(d.GetSafeHwnd(), platform::WM_COMMAND, CTransferDialog::kCancelId, 0);
         };
       },
       nullptr, "starting transfer...canceled.", false},
      {TestDevice::Completion::kNever,
       [](TestDevice& device, CTransferDialog&) {
         device.duringUpload = [&device] { device.SetConnected(false); };
       },
       "The player is no longer connected.", "starting transfer...error (0x1)(0x0). The player is no longer connected.",
       false},
  };
  for (const auto& c : cases) {
    device_ = std::make_unique<TestDevice>();
    dialog_ = std::make_unique<CTransferDialog>(*device_);
    ASSERT_TRUE(dialog_->Create(0));
    device_->completion = c.completion;
    device_->notices = 2;
    if (c.meanwhile) c.meanwhile(*device_, *dialog_);
    if (c.message != nullptr) host_.ExpectMessageBox(platform::IDOK, c.message);
    const std::string log = Run({song});
    EXPECT_NE(log.find(c.logged), std::string::npos) << log;
    EXPECT_EQ(!dialog_->SentIds().empty(), c.recorded) << log;
    EXPECT_EQ(dialog_->FilesCompleted(), c.recorded ? 1 : 0);
  }
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

// A run that stops before its end says so and what it did, whoever stopped it: the person
// (during the third of six files), or a player that ran full.
TEST_F(EngineTest, AStoppedRunSaysItStoppedWithTheFilesSentAndNotSent) {
  ASSERT_TRUE(Mp3().ok());
  std::vector<std::string> files;
  for (int i = 1; i <= 6; ++i) files.push_back(DataFile("f" + std::to_string(i) + ".txt"));
  const struct {
    bool full;  // the third file's notice says the player is full; else the person cancels
    const char* caption;
    const char* processing;
  } cases[] = {
      {false, "Transfer cancelled.", "Transfer cancelled: 2 of 6 files sent, 4 not sent."},
      {true, "Transfer stopped.", "Transfer stopped, the player's memory is full: 2 of 6 files sent, 4 not sent."},
  };
  for (const auto& c : cases) {
    device_ = std::make_unique<TestDevice>();
    dialog_ = std::make_unique<CTransferDialog>(*device_);
    ASSERT_TRUE(dialog_->Create(0));
    settings_->SetDword("Gen_Tx_AutoCloseDialog", 1);
    int uploads = 0;
    device_->completion = TestDevice::Completion::kNotice;
    device_->notices = 1;
    device_->duringUpload = [&] {
      if (++uploads != 3) return;
      if (c.full) {
        device_->completion = TestDevice::Completion::kFullNotice;
      } else {
        device_->completion = TestDevice::Completion::kNever;
        platform::PostMessage(dialog_->GetSafeHwnd(), platform::WM_COMMAND, CTransferDialog::kCancelId, 0);
      }
    };
    if (c.full) host_.ExpectMessageBox(platform::IDOK, "Memory is full.");
    Run(files);
    EXPECT_EQ(dialog_->FilesCompleted(), 2);
    EXPECT_EQ(dialog_->GetWindowText(), c.caption);
    EXPECT_EQ(dialog_->GetDlgItemText(CTransferDialog::kProcessingId), c.processing);
    EXPECT_EQ(dialog_->GetDlgItemText(CTransferDialog::kTransferredId), "2");
    // Nothing is left to wait for: the button is itself again, greyed; no time is foretold.
    EXPECT_EQ(dialog_->GetDlgItemText(CTransferDialog::kCancelId), "Cancel");
    EXPECT_FALSE(dialog_->GetDlgItem(CTransferDialog::kCancelId)->IsEnabled());
    EXPECT_EQ(dialog_->GetDlgItemText(CTransferDialog::kRemainingId), "--:--");
    EXPECT_TRUE(dialog_->GetDlgItem(CTransferDialog::kCloseId)->IsEnabled());
  }
  EXPECT_EQ(host_.pendingAnswers(), 0u);

  // A run that went to its end foretells no more time either.
  device_ = std::make_unique<TestDevice>();
  dialog_ = std::make_unique<CTransferDialog>(*device_);
  ASSERT_TRUE(dialog_->Create(0));
  Run({DataFile("last.txt")});
  EXPECT_EQ(dialog_->GetWindowText(), "Transfer complete.");
  EXPECT_EQ(dialog_->GetDlgItemText(CTransferDialog::kProcessingId), "Processing complete.");
  EXPECT_EQ(dialog_->GetDlgItemText(CTransferDialog::kRemainingId), "0:00");
}

// A 3 GB file counts with its whole size in the throughput (a sparse file: no disk is
// filled; at 320 kbit/s it plays for less than a day, as a track may), and the record the
// player gets holds the largest size its field can.
TEST_F(EngineTest, FilesBeyondThirtyOneBitsCountWithTheirWholeSize) {
  testing::ScratchFolder work;
  ASSERT_TRUE(testing::MakeTone(work / "tone.wav", 1));
  const std::string posix = src_ + "/big.mp3";
  ASSERT_TRUE(testing::Tool({"lame", "--quiet", "-b", "320", work / "tone.wav", posix}));
  const std::uint64_t size = 3'000'000'000ull;
  ASSERT_EQ(::truncate(posix.c_str(), static_cast<off_t>(size)), 0);
  const std::string song = platform::FromPosixPath(posix);
  TrackRecord record;
  ReadAudioFileTags(song, record);
  EXPECT_EQ(record.fileSize, std::numeric_limits<std::int32_t>::max());

  // A player that takes the file without reading it, in a little over a second, so that
  // a rate can be told.
  struct Quick : TestDevice {
    int UploadTrack(std::string_view, const TrackRecord&, KernelId& id) override {
      const std::uint64_t until = platform::GetTickCount64() + 1100;
      while (platform::GetTickCount64() < until) WaitForMessages(50);
      id = KernelId(77);
      platform::PostMessage(GetProgressWindow(), WM_UPLOADDONE, 77, 0);
      return kOutcomeSent;
    }
  };
  auto quick = std::make_unique<Quick>();
  dialog_ = std::make_unique<CTransferDialog>(*quick);
  ASSERT_TRUE(dialog_->Create(0));
  const std::uint64_t started = platform::GetTickCount64();
  const std::string log = Run({song});
  const double ms = static_cast<double>(platform::GetTickCount64() - started);
  ASSERT_EQ(dialog_->FilesCompleted(), 1) << log;
  // The rate counts at most twice the run's time for the file (the last report counts
  // the file once more, time and bytes alike): above what 2 GiB would give.
  EXPECT_GE(static_cast<double>(dialog_->LastRateTimes100()) / 100 + 1, static_cast<double>(size) * 8e-6 * 1000 / ms);
  dialog_.reset();
}

// A manager gone in the middle of a file: every later call fails. The person hears of it
// once, the log line says why without a second message run into it, and the record of
// the last transfer is saved all the same.
TEST_F(EngineTest, AManagerGoneMidRunIsReportedOnceAndTheRecordIsKept) {
  ASSERT_TRUE(Mp3().ok());
  // The first file goes at once; during the second the manager dies: its notice never
  // comes and every later call fails.
  struct Dying : TestDevice {
    bool dead = false;
    int uploads = 0;
    void Check() const {
      if (dead) throw KernelDeviceClientException(0, "Device Connection", "The manager is not running.");
    }
    int UploadTrack(std::string_view path, const TrackRecord& record, KernelId& id) override {
      Check();
      if (++uploads == 1) return TestDevice::UploadTrack(path, record, id);
      dead = true;
      return kOutcomeSent;
    }
    int IsConnected() override { return Check(), TestDevice::IsConnected(); }
    int CommitChanges() override { return Check(), TestDevice::CommitChanges(); }
    std::string GetDeviceUniqueId() override { return Check(), TestDevice::GetDeviceUniqueId(); }
    int SupportsPlayback() override { return Check(), TestDevice::SupportsPlayback(); }
  };
  Dying dying;
  dialog_ = std::make_unique<CTransferDialog>(dying);
  ASSERT_TRUE(dialog_->Create(0));
  const std::vector<std::string> files = {Mp3File("first.mp3", "First", "A", "B"), Mp3File("second.mp3", "Second", "A", "B"),
                                          Mp3File("third.mp3", "Third", "A", "B")};
  host_.ExpectMessageBox(platform::IDOK, "Description:The player is no longer connected.");
  TransferLogFile log;
  log.Open();
  dialog_->StartTransfer(&log, KernelId(0), &files, nullptr, 0, 0);
  log.Close();
  const std::string text = ReadBytes(platform::ToPosixPath(log.GetPath()));
  EXPECT_EQ(host_.pendingAnswers(), 0u) << text;  // and no second message (it would fail the host)
  EXPECT_NE(text.find("second.mp3.File is audio"), std::string::npos) << text;
  EXPECT_NE(text.find("error (0x1)(0x0). The player is no longer connected.\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("third.mp3"), std::string::npos) << text;
  dying.dead = false;
  EXPECT_EQ(ReadLastTransfer(dying.Info().uniqueId, 100).size(), 1u) << text;
  dialog_.reset();
}

TEST_F(EngineTest, ChangesAreCommittedEveryFiftyCompletedFilesAndAtTheEnd) {
  std::vector<std::string> files;
  for (int i = 0; i < 52; ++i) files.push_back(DataFile("f" + std::to_string(i) + ".txt"));
  Run(files);
  EXPECT_EQ(device_->commits, 2);  // after the 50th, and at the end

  // While nothing has completed, after every file.
  device_ = std::make_unique<TestDevice>();
  dialog_ = std::make_unique<CTransferDialog>(*device_);
  ASSERT_TRUE(dialog_->Create(0));
  device_->uploadAnswers = {kOutcomeExists, kOutcomeExists, kOutcomeExists};
  Run({files[0], files[1], files[2]});
  EXPECT_EQ(device_->commits, 4);
}

TEST_F(EngineTest, DataFilesGoToTheDataRootOrTheFolderGivenAndFoldersAreNotSent) {
  const KernelId folder = device_->AddDataFolder(KernelId(), "Docs");
  const std::string a = DataFile("a.txt", "A");
  fs::create_directories(src_ + "/sub");
  TransferLogFile log;
  log.Open();
  dialog_->TransferDataFiles(&log, folder, {a, platform::FromPosixPath(src_ + "/sub")}, 0);
  log.Close();
  const std::string text = ReadBytes(platform::ToPosixPath(log.GetPath()));
  EXPECT_NE(text.find("Transfer target is Memory Player and data folder " + std::to_string(folder.word[0]) + "."),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("File is data...not a file...skipped."), std::string::npos) << text;
  KernelId item;
  ASSERT_NE(D().GetFirstDataItem(folder, item), 0);
  EXPECT_EQ(D().GetDataItemName(item), "a.txt");
  EXPECT_EQ(D().GetNextDataItem(folder, item), 0);

  // Folder 0 is no folder: the data root takes the files.
  dialog_->TransferDataFiles(nullptr, KernelId(0), {DataFile("b.txt", "B")}, 0);
  bool found = false;
  for (int n = D().GetFirstDataItem(device_->DataRoot(), item); n != 0;
       n = D().GetNextDataItem(device_->DataRoot(), item)) {
    found = found || D().GetDataItemName(item) == "b.txt";
  }
  EXPECT_TRUE(found);
}

TEST_F(EngineTest, AnEmptyListSendsNothingAndSaysSo) {
  host_.ExpectMessageBox(platform::IDOK, "File queue was empty.  No files transferred.");
  const std::string log = Run({});
  EXPECT_EQ(log, "Transferring to Device\r\nFile queue was empty.  No files transferred.\r\n");
  EXPECT_TRUE(dialog_->IsCancelled());
}

TEST_F(EngineTest, ADeviceFailureEndsTheRunWithTheFilesReason) {
  ASSERT_TRUE(Mp3().ok());
  device_->uploadAnswers.clear();
  struct Throwing : TestDevice {
    int UploadTrack(std::string_view, const TrackRecord&, KernelId&) override {
      throw KernelDeviceClientException(0x87, "Device Error", "Invalid track, file, or playlist ID.");
    }
  };
  auto throwing = std::make_unique<Throwing>();
  dialog_ = std::make_unique<CTransferDialog>(*throwing);
  ASSERT_TRUE(dialog_->Create(0));
  host_.ExpectMessageBox(platform::IDOK, "Problem encountered during transfer to your device.");
  const std::string log = Run({Mp3File("song.mp3", "T", "A", "B"), DataFile("x.txt")});
  EXPECT_NE(log.find("starting transfer...error: Invalid track, file, or playlist ID."), std::string::npos) << log;
  EXPECT_EQ(log.find("x.txt"), std::string::npos) << log;
  dialog_.reset();
}

TEST_F(EngineTest, ProgressStaysWithinTheRunAndForetellsNothingBeforeAnythingIsDone) {
  dialog_->BeginRun("Transferring to Device", "", 0);
  EXPECT_EQ(dialog_->OnUploadProgress(40), 0);  // no file counted yet: no division by zero
  EXPECT_EQ(dialog_->GetDlgItemText(CTransferDialog::kRemainingId), "--:--");
  EXPECT_EQ(dialog_->GetDlgItemText(CTransferDialog::kRateId), "0.00 Mbit/s");
  EXPECT_EQ(dialog_->GetWindowText(), "0% Transferring to Device");

  // Files dropped during the run count in the total.
  dialog_->BeginRun("Transferring to Device", "", 1);
  dialog_->AddFiles({DataFile("late1.txt"), DataFile("late2.txt")});
  for (int i = 0; i < 3; ++i) {
    dialog_->SetCurrentFile("x");
    dialog_->OnUploadProgress(100);
  }
  EXPECT_LE(dialog_->Progress(CTransferDialog::kRunProgressId).GetPos(), 1000);
  EXPECT_EQ(dialog_->GetDlgItemText(CTransferDialog::kProcessingId), "Processing file 0/3.");
  dialog_->OnUploadDone(0, 0);
  EXPECT_TRUE(dialog_->SentIds().empty());

  // Cancel asks a device that plays to stop the file.
  dialog_->SendToWindow(platform::WM_COMMAND, CTransferDialog::kCancelId, 0);
  EXPECT_EQ(dialog_->GetDlgItemText(CTransferDialog::kCancelId), "Wait...");
  EXPECT_FALSE(dialog_->GetDlgItem(CTransferDialog::kCancelId)->IsEnabled());
  EXPECT_EQ(dialog_->SendToWindow(WM_UPLOADPROGRESS, 10, 0), -1);
}

TEST_F(EngineTest, TheEndOfARunWaitsForThePersonUnlessItMayCloseByItself) {
  const struct {
    std::uint32_t autoClose, stayOnSkips;
    bool skipped;
    bool waits;
  } cases[] = {{1, 0, true, false}, {1, 1, true, true}, {1, 1, false, false}, {0, 0, false, true}};
  for (const auto& c : cases) {
    settings_->SetDword("Gen_Tx_AutoCloseDialog", c.autoClose);
    settings_->SetDword("Gen_Tx_DialogStayOpenOnSkips", c.stayOnSkips);
    dialog_ = std::make_unique<CTransferDialog>(*device_);
    ASSERT_TRUE(dialog_->Create(0));
    device_->uploadAnswers.clear();
    if (c.skipped) device_->uploadAnswers = {kOutcomeExists};
    // The person presses Close only when the run has not come back by itself well after
    // its end (a run that closes by itself takes milliseconds, even on a busy machine).
    const platform::HWND window = dialog_->GetSafeHwnd();
    std::mutex mutex;
    std::condition_variable changed;
    bool returned = false, pressedWhileRunning = false;
    std::thread person([&] {
      std::unique_lock<std::mutex> lock(mutex);
      if (changed.wait_for(lock, std::chrono::seconds(3), [&] { return returned; })) return;
      pressedWhileRunning = true;
      platform::PostMessage(window, platform::WM_COMMAND, CTransferDialog::kCloseId, 0);
    });
    dialog_->TransferDataFiles(nullptr, KernelId(0), {DataFile("s.txt")}, 0);
    {
      std::lock_guard<std::mutex> lock(mutex);
      returned = true;
      changed.notify_all();
    }
    person.join();
    EXPECT_EQ(pressedWhileRunning, c.waits) << c.autoClose << c.stayOnSkips << c.skipped;
    EXPECT_EQ(dialog_->IsClosed(), c.waits) << c.autoClose << c.stayOnSkips << c.skipped;
    platform::PumpMessages(0);
    device_ = std::make_unique<TestDevice>();
  }
}

TEST_F(EngineTest, FoldersAndPlaylistFilesBecomePlayerPlaylists) {
  ASSERT_TRUE(Mp3().ok());
  const std::string one = Mp3File("one.mp3", "One", "A", "B");
  const std::string two = Mp3File("two.mp3", "Two", "A", "B");
  const std::string skipped = Mp3File("skip.mp3", "", "", "");
  SourceGroups roots;
  roots.Add("", one);                   // the root's own files make no playlist
  roots.Add("Rock\\Album\\", one);
  roots.Add("Rock\\Album\\", skipped);
  roots.Add("mix", two);
  roots.Add("mix", one);
  device_->AddPlaylist("Old");
  roots.Add("Old", two);
  settings_->SetDword("JB_Tx_ITagSkip", 1);
  host_.ExpectMessageBox(platform::IDYES, "Would you like to generate playlists out of them?");
  const std::string log = Run({one, two, skipped}, &roots);

  EXPECT_EQ(dialog_->PlaylistsCreated(), 2);
  EXPECT_EQ(dialog_->GetDlgItemText(CTransferDialog::kPlaylistsId), "2");
  std::map<std::string, std::vector<std::string>> lists;
  KernelId playlist;
  for (int n = device_->GetFirstPlaylist(playlist); n != 0; n = device_->GetNextPlaylist(playlist)) {
    for (const KernelId& t : device_->PlaylistItems(playlist)) {
      lists[D().GetPlaylistName(playlist)].push_back(device_->RecordOf(t).title.Str());
    }
    lists[D().GetPlaylistName(playlist)];
  }
  EXPECT_EQ(lists["Rock - Album"], (std::vector<std::string>{"One"}));
  EXPECT_EQ(lists["mix"], (std::vector<std::string>{"Two", "One"}));
  EXPECT_TRUE(lists["Old"].empty());
  for (const std::string& text : std::vector<std::string>{"\nAttempting to automatically build playlist 'Rock\\Album\\'.", "Added: A - B - One",
                                 "Could not find matching track for " + skipped + "...skipping.",
                                 "Playlist 'Rock\\Album\\' created with 1 items.",
                                 "Playlist 'Old' was not created, either because of an error, or because it already exists."}) {
    EXPECT_NE(log.find(text), std::string::npos) << text << "\n" << log;
  }

  // An existing playlist is replaced when the setting says so; without asking when the
  // asking is switched off there are none at all.
  settings_->SetDword("JB_Tx_OverwritePlaylists", 1);
  SourceGroups old;
  old.Add("Old", two);
  EXPECT_EQ(dialog_->BuildAutoPlaylists(nullptr, old, dialog_->SentTracks(), 0), 1);
  settings_->SetDword("JB_Tx_DisableAskAutoPlaylistCreation", 1);
  EXPECT_EQ(dialog_->BuildAutoPlaylists(nullptr, old, dialog_->SentTracks(), 1), 0);
  SourceGroups rootOnly;
  rootOnly.Add(" ", one);
  EXPECT_EQ(dialog_->BuildAutoPlaylists(nullptr, rootOnly, dialog_->SentTracks(), 0), 0);
}

TEST_F(EngineTest, AFormatThePlayerCannotPlayIsConvertedAndTheTemporaryFilesGo) {
  ASSERT_TRUE(Mp3().ok());
  testing::ScratchFolder tools;
  ASSERT_TRUE(testing::MakeTone(tools / "tone.wav", 1));
  ASSERT_TRUE(testing::Tool({"oggenc", "--quiet", "-t", "Converted", "-a", "Ogg Artist", "-l", "Ogg Album",
                             tools / "tone.wav", "-o", src_ + "/song.ogg"}));
  // A title beyond Latin-1, and no album: filled for the player only.
  ASSERT_TRUE(testing::Tool({"oggenc", "--quiet", "-t", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "-a",
                             "Ogg Artist", tools / "tone.wav", "-o", src_ + "/cyrillic.ogg"}));
  settings_->SetDword("Xc2_On", 1);
  settings_->SetString("JB_Tx_ITagFillWith", "<Unknown>");
  WriteConversionRule(kCodecOgg, kRuleConvert + kCodecMp3);
  const std::string song = platform::FromPosixPath(src_ + "/song.ogg");
  const std::string log = Run({song, platform::FromPosixPath(src_ + "/cyrillic.ogg")});
  EXPECT_NE(log.find("tag is good...a(Ogg Artist)b(Ogg Album)t(Converted)...Tonaveling to MP3 CBR 128...starting "
                     "transfer...synchronous...complete."),
            std::string::npos)
      << log;
  const struct {
    const char* title;
    const char* album;  // in the file
    const char* playerAlbum;
  } cases[] = {{"Converted", "Ogg Album", "Ogg Album"},
               {"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "", "<Unknown>"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    const KernelId track = TrackTitled(c.title);
    ASSERT_FALSE(track.IsEmpty());
    EXPECT_EQ(device_->RecordOf(track).codec, kCodecMp3);
    EXPECT_EQ(device_->RecordOf(track).album.GetText(), c.playerAlbum);
    // The MP3 carries the whole text in an ID3v2 tag, and no placeholder.
    const std::string& content = device_->ContentOf(track);
    MemorySource source(content.data(), content.size());
    TrackRecord tags;
    ASSERT_EQ(Mp3Reader().Read(source, tags), 1);
    EXPECT_EQ(tags.title.Str(), c.title);
    EXPECT_EQ(tags.artist.Str(), "Ogg Artist");
    EXPECT_EQ(tags.album.Str(), c.album);
    EXPECT_EQ(tags.genre.Str(), "");
    EXPECT_EQ(tags.trackNumber, 0);
    EXPECT_EQ(tags.year, 0);
    EXPECT_NE(Id3v2TagBytes(source), 0u);
  }
  std::string xcode;
  GetWorkFolder(xcode, "xcode");
  EXPECT_TRUE(fs::is_empty(platform::ToPosixPath(xcode)));
  EXPECT_TRUE(fs::exists(src_ + "/song.ogg"));
}

TEST_F(EngineTest, TheClockAndThroughputGoOnDuringAConversion) {
  dialog_->BeginRun("Transferring to Device", "", 1);
  dialog_->SetCurrentFile("song.ogg");
  dialog_->BeginConversion(10000000);
  for (const int id : {CTransferDialog::kElapsedId, CTransferDialog::kRateId}) dialog_->SetDlgItemText(id, "still");
  CTransferDialog::ConversionProgress(dialog_.get(), kConversionProgress, 50, 100);
  platform::PumpMessages(0);
  EXPECT_EQ(dialog_->Progress(CTransferDialog::kFileProgressId).GetPos(), 50);
  EXPECT_NE(dialog_->GetDlgItemText(CTransferDialog::kElapsedId), "still");
  EXPECT_NE(dialog_->GetDlgItemText(CTransferDialog::kRateId), "still");
  EXPECT_EQ(dialog_->LastRateTimes100(), 0);  // the speed report keeps the sending rate
}

TEST_F(EngineTest, ViewLogsOffersTheFourLogs) {
  ASSERT_TRUE(Mp3().ok());
  Run({DataFile("x.txt")});
  platform::ShellOpenRecording opened;
  host_.ExpectMenu(CTransferDialog::kMenuTransferLog);
  host_.ExpectMenu(CTransferDialog::kMenuWriteBackLog);
  host_.ExpectMessageBox(platform::IDOK, "Could not find log file.");
  for (int i = 0; i < 2; ++i) {
    dialog_->SendToWindow(platform::WM_COMMAND, CTransferDialog::kViewLogsId, 0);
    platform::PumpMessages(0);
  }
  ASSERT_EQ(opened.calls().size(), 1u);
  EXPECT_EQ(opened.calls()[0].target, platform::ToPosixPath(GetReportPath("_txlog.txt")));
  const std::vector<platform::Prompt> prompts = host_.prompts();
  ASSERT_FALSE(prompts.empty());
  EXPECT_EQ(prompts[0].text, "Transfer Log\nFilelist Build Log\nTransfer Filelist\nTag WriteBack Log\n");
}

TEST_F(EngineTest, TheSpeedReportNamesTheComputerThePlayerAndTheRun) {
  dialog_->BeginRun("Transferring to Device", "", 7);
  const std::string query = dialog_->SpeedQuery();
  EXPECT_EQ(query.rfind("cpu_make=", 0), 0u) << query;
  for (const char* part : {"&os=Linux&", "&dev_hwver=1.0.0.0&", "&dev_fwver=1.0.0.0&", "&obxe_mbps=0&", "&obxe_sampsize=7"}) {
    EXPECT_NE(query.find(part), std::string::npos) << part << " in " << query;
  }
  EXPECT_EQ(query.find(' '), std::string::npos);
  platform::ShellOpenRecording opened;
  settings_->SetString("URL_VerdassyPost", "http://example.invalid/post?");
  dialog_->PostSpeedResult();
  ASSERT_EQ(opened.calls().size(), 1u);
  EXPECT_EQ(opened.calls()[0].target, "http://example.invalid/post?" + query);
}

}  // namespace
}  // namespace transfer
