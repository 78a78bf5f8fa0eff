// The launcher end to end: trayhub with the simulated player, the launcher installed
// under the family names, and what a send does to the player, the logs, the last
// transfer's record and the player's playlists; a cancelled send and a player pulled out
// mid-send leave nothing half-written; shellhost's script hands files to two folders; a
// hostile collection goes through whole.
//
// With $TOVARIN_TEST_INSTALLED naming an installed copy's folder (scripts/install's
// TOVARIN_PREFIX), the launchers and trayhub are that copy's, not the build's.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "common/folders.h"
#include "common/last_transfer.h"
#include "device/kernel_device_client.h"
#include "testing/trayhub.h"
#include "testing/processes.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/vendorsdk/simplayer.h"
#include "platform/window/window.h"
#include "testing/audio_fixtures.h"
#include "transfer/log_file.h"

using namespace device;

namespace {

const bool kIsolated = platform::testing::IsolateNamespace();

namespace fs = std::filesystem;
using platform::testing::ChildProcess;
using transfer::testing::ReadBytes;
using transfer::testing::WriteBytes;

// An MP3 of a second of tone, and the same with an ID3v1 tag.
std::string MakeMp3(int seconds) {
  transfer::testing::ScratchFolder dir;
  if (!transfer::testing::MakeTone(dir / "t.wav", seconds) ||
      !transfer::testing::Tool({"lame", "--quiet", "-b", "64", dir / "t.wav", dir / "t.mp3"})) {
    return std::string();
  }
  return ReadBytes(dir / "t.mp3");
}

const std::string& PlainMp3() {
  static const std::string bytes = MakeMp3(1);
  return bytes;
}
// Two seconds long: told apart from PlainMp3 on the player by its length.
const std::string& LongerMp3() {
  static const std::string bytes = MakeMp3(2);
  return bytes;
}

// The installed copy the tests are pointed at; empty: the build's.
std::string InstalledPrefix() {
  const char* prefix = std::getenv("TOVARIN_TEST_INSTALLED");
  return prefix != nullptr ? prefix : "";
}

void WriteMp3(const std::string& path, const std::string& title, const std::string& artist, const std::string& album,
              const std::string& audio = PlainMp3()) {
  std::string bytes = audio;
  if (!title.empty()) {
    std::string tag = "TAG";
    for (const std::string* f : {&title, &artist, &album}) tag += f->substr(0, 30) + std::string(30 - std::min<std::size_t>(30, f->size()), '\0');
    tag += std::string(34, '\0') + '\xff';
    bytes += tag;
  }
  fs::create_directories(fs::path(path).parent_path());
  WriteBytes(path, bytes);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(PlainMp3().empty());
    home_ = std::getenv("TOVARIN_HOME");
    settings_.emplace(trayhubtest::PrepareManagerHome(home_, "2000,20000"));
    ::unsetenv("TOVARIN_DEVICE");
    ::unsetenv("LAUNCHER_TEST_UNPLUG");
    ::unsetenv("LAUNCHER_TEST_UPLOADING");
    // The install step's layout: the library and one launcher copy per family name.
    install_ = InstalledPrefix();
    if (install_.empty()) {
      install_ = home_ + "/install";
      fs::remove_all(install_);
      fs::create_directories(install_);
      const std::string tools = platform::testing::ToolsFolder();
      for (const char* name : {"tovarin.so", "ombrixj1.so"}) {
        fs::copy_file(tools + "/../lib/tovarin.so", install_ + "/" + name);
      }
      fs::copy_file(tools + "/../lib/tovarinwx.so", install_ + "/tovarinwx.so");
      for (const char* family : {"j1", "j2", "j3", "jz"}) {
        fs::copy_file(tools + "/tovarinxx", install_ + "/tovarin" + family);
      }
    }
    settings_->SetString("", platform::FromPosixPath(install_));
    // The conversion of formats the player cannot play: Ogg Vorbis to MP3.
    settings_->SetDword("Xc2_On", 1);
    settings_->SetDword("Xc2_S10", 0x10002);
    src_ = home_ + "/src";
    fs::remove_all(src_);
    fs::create_directories(src_);
    player_ = home_ + "/appdata/player";
    fs::remove_all(player_);
  }
  void TearDown() override {
    client_.reset();
    if (manager_) {
      manager_->Kill(SIGTERM);
      manager_->Wait();
      for (int i = 0; i < 500 && platform::FindWindow(g_ProductIdentity.windowClassName) != 0; ++i) {
        platform::Sleep(10);
      }
    }
  }

  void StartManager(const char* tool = "trayhub") {
    const std::string name = tool;
    if (name == "trayhub" && !InstalledPrefix().empty()) {
      manager_ = std::make_unique<ChildProcess>(
          "/bin/sh", std::vector<std::string>{"-c", "exec \"$0\" \"$@\" 2>&1", InstalledPrefix() + "/trayhub"});
    } else {
      manager_ = trayhubtest::StartTool(tool);
    }
    ASSERT_NE(trayhubtest::WaitForManager(0, 2000), 0u) << tool << " did not start";
    client_ = std::make_unique<KernelDeviceClient>();
    ASSERT_EQ(client_->ConnectToManager(0, KernelId(5), KernelId(1)), 1);
  }

  // Runs a launcher copy to its end (in `folder`, when given); what it printed.
  std::string Launch(const std::string& family, const std::vector<std::string>& names, ChildProcess** running = nullptr,
                     const std::string& folder = "") {
    std::vector<std::string> args = {"-c", "cd \"${TOVARIN_TEST_CWD:-.}\" && exec \"$0\" \"$@\" 2>&1 </dev/null",
                                     install_ + "/tovarin" + family};
    if (!folder.empty()) ::setenv("TOVARIN_TEST_CWD", folder.c_str(), 1);
    args.insert(args.end(), names.begin(), names.end());
    ChildProcess launcher("/bin/sh", args);
    ::unsetenv("TOVARIN_TEST_CWD");
    if (running != nullptr) *running = &launcher;
    std::string out;
    while (auto line = launcher.ReadLine(120000)) out += *line + "\n";
    EXPECT_EQ(launcher.Wait(), 1) << out;
    if (running != nullptr) *running = nullptr;
    return out;
  }

  std::string Report(const char* name) { return ReadBytes(platform::ToPosixPath(transfer::GetReportPath(name))); }

  // The player's store as it is on disk.
  platform::SimPlayer::Snapshot Store() {
    platform::SdkResult code = 0;
    std::string error;
    auto sim = platform::SimPlayer::Open(platform::FromPosixPath(player_), &code, &error, /*readOnly=*/true);
    EXPECT_TRUE(sim) << error;
    return sim ? sim->TakeSnapshot() : platform::SimPlayer::Snapshot();
  }
  // Files of the store that no listed item owns: what a write cut short would leave.
  std::vector<std::string> StrayFiles() {
    std::set<std::string> owned;
    for (const auto& [id, item] : Store().items) {
      owned.insert("items/" + std::to_string(id) + ".txt");
      if (!item.file.empty()) owned.insert("files/" + item.file);
    }
    std::vector<std::string> stray;
    for (const std::string part : {"files", "items"}) {
      for (const auto& e : fs::directory_iterator(player_ + "/" + part)) {
        const std::string name = part + "/" + e.path().filename().string();
        if (owned.count(name) == 0) stray.push_back(name);
      }
    }
    return stray;
  }
  // Starts the manager with a watch on the uploads: uploading_ exists while a file is on
  // its way into the player.
  void StartWatchedManager(bool unplug) {
    uploading_ = home_ + "/uploading";
    fs::remove(uploading_);
    ::setenv("LAUNCHER_TEST_UPLOADING", uploading_.c_str(), 1);
    if (unplug) ::setenv("LAUNCHER_TEST_UNPLUG", "1", 1);
    StartManager("launcher_test_manager");
    ::unsetenv("LAUNCHER_TEST_UPLOADING");
    ::unsetenv("LAUNCHER_TEST_UNPLUG");
  }
  bool Uploading() const { return fs::exists(uploading_); }
  // Every content file of the store, name -> size.
  std::map<std::string, std::uintmax_t> ContentFiles() {
    std::map<std::string, std::uintmax_t> files;
    for (const auto& e : fs::directory_iterator(player_ + "/files")) files[e.path().filename()] = e.file_size();
    return files;
  }
  std::map<std::string, std::vector<std::string>> Playlists() {
    std::map<std::string, std::vector<std::string>> lists;
    KernelId playlist;
    for (int n = client_->GetFirstPlaylist(playlist); n != 0; n = client_->GetNextPlaylist(playlist)) {
      std::vector<std::string>& titles = lists[client_->GetPlaylistName(playlist)];
      KernelId item;
      for (int m = client_->GetFirstPlaylistItem(playlist, item); m != 0; m = client_->GetNextPlaylistItem(playlist, item)) {
        titles.push_back(client_->GetTrackTitle(item));
      }
    }
    return lists;
  }
  // Each playlist's items, in order.
  std::map<std::string, std::vector<KernelId>> PlaylistItems() {
    std::map<std::string, std::vector<KernelId>> lists;
    KernelId playlist;
    for (int n = client_->GetFirstPlaylist(playlist); n != 0; n = client_->GetNextPlaylist(playlist)) {
      std::vector<KernelId>& items = lists[client_->GetPlaylistName(playlist)];
      KernelId item;
      for (int m = client_->GetFirstPlaylistItem(playlist, item); m != 0; m = client_->GetNextPlaylistItem(playlist, item)) {
        items.push_back(KernelId(item.word[0]));
      }
    }
    return lists;
  }
  // Every track, by id.
  std::map<std::uint32_t, TrackRecord> Tracks() {
    std::map<std::uint32_t, TrackRecord> tracks;
    KernelId track;
    for (int n = client_->GetFirstAudioTrack(track); n != 0; n = client_->GetNextAudioTrack(track)) {
      client_->GetTrackInfo(track, tracks[track.word[0]]);
    }
    return tracks;
  }
  std::map<std::string, TrackRecord> TracksByTitle() {
    std::map<std::string, TrackRecord> tracks;
    KernelId track;
    for (int n = client_->GetFirstAudioTrack(track); n != 0; n = client_->GetNextAudioTrack(track)) {
      TrackRecord r;
      client_->GetTrackInfo(track, r);
      tracks[r.title.Str()] = r;
    }
    return tracks;
  }

  std::string home_, install_, src_, player_, uploading_;
  std::optional<platform::SettingsKey> settings_;
  std::unique_ptr<ChildProcess> manager_;
  std::unique_ptr<KernelDeviceClient> client_;
};

TEST_F(LauncherTest, EachFamilyNameSendsAMixedSelection) {
  StartManager();
  // A data file that is on the player already.
  WriteBytes(src_ + "/existing.txt", "already there");
  Launch("j1", {src_ + "/existing.txt"});

  for (const std::string family : {"j1", "j2", "j3", "jz"}) {
    const std::string dir = src_ + "/" + family;
    const std::string album = dir + "/album_" + family;
    WriteMp3(album + "/one.mp3", "One " + family, "Artist", "Album");
    WriteMp3(album + "/rock/two.mp3", "Two " + family, "Artist", "Album");
    fs::create_directory_symlink(album, album + "/rock/loop");  // back to the selected folder
    // One playlist file of each format, each naming its own track by another kind of path.
    const struct {
      const char* extension;
      std::string text;
    } playlists[] = {
        {"m3u", "#EXTM3U\r\nlists/p_m3u.mp3\r\n"},
        {"pls", "[playlist]\nFile1=" + dir + "/lists/p_pls.mp3\nNumberOfEntries=1\n"},
        {"bpl", "<entry Playstring=\"file:" + dir + "/lists/p_bpl.mp3\">\n"},
        {"b4s", "<entry Playstring=\"file:" + dir + "/lists/p_b4s.mp3\">\n"},
        {"wpl", "<smil><body><seq><media src=\"lists\\p_wpl.mp3\"/></seq></body></smil>\n"},
        {"rmp", "<filename>" + dir + "/lists/p_rmp.mp3</filename>\n"},
    };
    std::vector<std::string> names = {album};
    for (const auto& p : playlists) {
      WriteMp3(dir + "/lists/p_" + p.extension + ".mp3", std::string("P ") + p.extension + " " + family, "Artist", "Lists");
      const std::string list = dir + "/list_" + p.extension + "_" + family + "." + p.extension;
      WriteBytes(list, p.text);
      names.push_back(list);
    }
    transfer::testing::ScratchFolder work;
    ASSERT_TRUE(transfer::testing::MakeTone(work / "t.wav", 1));
    ASSERT_TRUE(transfer::testing::Tool({"oggenc", "--quiet", "-t", "Ogg " + family, "-a", "Artist", "-l", "Album",
                                         work / "t.wav", "-o", dir + "/song.ogg"}));
    WriteMp3(dir + "/untagged_" + family + ".mp3", "", "", "");
    WriteBytes(dir + "/existing.txt", "already there");
    WriteMp3(dir + "/quote \"and\" | pipe " + family + ".mp3", "Quote " + family, "Artist", "Album");
    for (const char* n : {"/song.ogg", "/existing.txt"}) names.push_back(dir + n);
    names.push_back(dir + "/untagged_" + family + ".mp3");
    names.push_back(dir + "/quote \"and\" | pipe " + family + ".mp3");

    const std::string out = Launch(family, names);
    const std::string txlog = Report("_txlog.txt");
    const std::string exlog = Report("_exlog.txt");
    SCOPED_TRACE(family + "\n" + out + txlog + exlog);

    // The player.
    const std::map<std::string, TrackRecord> tracks = TracksByTitle();
    std::vector<std::string> titles = {"One " + family, "Two " + family, "Ogg " + family, "untagged_" + family,
                                       "Quote " + family};
    for (const auto& p : playlists) titles.push_back(std::string("P ") + p.extension + " " + family);
    for (const std::string& t : titles) EXPECT_EQ(tracks.count(t), 1u) << t;
    EXPECT_EQ(tracks.at("untagged_" + family).artist.Str(), "<Unknown>");
    EXPECT_EQ(tracks.at("Ogg " + family).codec, kCodecMp3);
    EXPECT_EQ(StrayFiles(), std::vector<std::string>{});

    // The logs.
    for (const std::string& text :
         {std::string("Transfer target is "), std::string("memory segment 0."),
          "File: " + platform::FromPosixPath(dir + "/quote \"and\" | pipe " + family + ".mp3") + ".File is audio",
          std::string("autofilling..."), std::string("Tonaveling to MP3 CBR 128..."),
          std::string("File is data...starting transfer...already exists...skipped."),
          "Playlist 'album_" + family + "\\' created with 1 items.",
          "Playlist 'album_" + family + "\\rock\\' created with 1 items.",
          "Playlist 'list_rmp_" + family + "' created with 1 items."}) {
      EXPECT_NE(txlog.find(text), std::string::npos) << text;
    }
    EXPECT_EQ(std::count(txlog.begin(), txlog.end(), '\n') >= 12, true);
    EXPECT_NE(exlog.find("Following this shortcut would produce an infinite loop...skipping."), std::string::npos);
    EXPECT_EQ(std::count(exlog.begin(), exlog.end(), '\n') > 20, true);
    const std::vector<std::string> list = Lines(Report("_explist.txt"));
    EXPECT_EQ(list.size(), 1 + 2 + 6 + 4u);  // the time stamp, the folder's two, the lists', the rest

    // The last transfer's record: the new tracks, in transfer order.
    const std::vector<std::uint32_t> ids = ReadLastTransfer(client_->GetDeviceUniqueId(), 100);
    ASSERT_EQ(ids.size(), titles.size());
    std::set<std::string> recorded;
    for (std::uint32_t id : ids) recorded.insert(client_->GetTrackTitle(KernelId::FromItemId(id)));
    EXPECT_EQ(recorded, std::set<std::string>(titles.begin(), titles.end()));

    // The playlists made of the folders and the playlist files.
    const auto lists = Playlists();
    EXPECT_EQ(lists.at("album_" + family), (std::vector<std::string>{"One " + family}));
    EXPECT_EQ(lists.at("album_" + family + " - rock"), (std::vector<std::string>{"Two " + family}));
    for (const auto& p : playlists) {
      EXPECT_EQ(lists.at(std::string("list_") + p.extension + "_" + family),
                (std::vector<std::string>{std::string("P ") + p.extension + " " + family}))
          << p.extension;
    }
  }
}

// A big file, so that its copy into the player takes a while.
void WriteBig(const std::string& path, std::size_t megabytes) {
  std::ofstream out(path, std::ios::binary);
  std::string block(1 << 20, '\0');
  for (std::size_t i = 0; i < megabytes; ++i) {
    std::fill(block.begin(), block.end(), static_cast<char>('a' + i % 26));
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
}

// The transfer window of a process other than these two.
platform::HWND TransferWindowOfAnother(int managerPid) {
  platform::HWND found = 0;
  platform::EnumWindows([&](platform::HWND w) {
    platform::DWORD pid = 0;
    platform::GetWindowThreadProcessId(w, &pid);
    if (static_cast<int>(pid) != managerPid && pid != platform::GetCurrentProcessId() &&
        platform::GetClassName(w) == "#32770") {
      found = w;
      return false;
    }
    return true;
  });
  return found;
}

// The store's items by name, and whether each one's content is whole (the source's size).
std::map<std::string, bool> ItemsWhole(const platform::SimPlayer::Snapshot& store, const std::string& player,
                                       const std::map<std::string, std::uintmax_t>& sizes) {
  std::map<std::string, bool> items;
  for (const auto& [id, item] : store.items) {
    auto size = sizes.find(item.name);
    if (size == sizes.end()) continue;
    std::error_code ec;
    items[item.name] = fs::file_size(player + "/files/" + item.file, ec) == size->second;
  }
  return items;
}

TEST_F(LauncherTest, ACancelledSendLeavesNothingHalfWrittenOnThePlayer) {
  StartWatchedManager(false);
  std::map<std::string, std::uintmax_t> sizes = {{"big1.bin", 0}, {"big2.bin", 0}, {"z_after.txt", 0}};
  WriteBig(src_ + "/big1.bin", 256);
  WriteBig(src_ + "/big2.bin", 256);
  WriteBytes(src_ + "/z_after.txt", "after");
  for (auto& [name, size] : sizes) size = fs::file_size(src_ + "/" + name);

  // The person presses Cancel once a file is on its way into the player.
  std::atomic<bool> pressed{false};
  std::thread person([&] {
    for (int i = 0; i < 60000 && !pressed; ++i) {
      if (Uploading()) {
        if (platform::HWND w = TransferWindowOfAnother(manager_->pid())) {
          platform::PostMessage(w, platform::WM_COMMAND, 10002, 0);
          pressed = true;
        }
      }
      platform::Sleep(1);
    }
  });
  Launch("j1", {src_ + "/big1.bin", src_ + "/big2.bin", src_ + "/z_after.txt"});
  pressed = true;
  person.join();
  const std::string txlog = Report("_txlog.txt");
  EXPECT_NE(txlog.find("starting transfer...canceled."), std::string::npos) << txlog;

  // The player finishes or drops what it was copying: nothing stays half-written.
  for (int i = 0; i < 1000 && Uploading(); ++i) platform::Sleep(10);
  EXPECT_FALSE(Uploading());
  EXPECT_EQ(StrayFiles(), std::vector<std::string>{});
  const std::map<std::string, bool> items = ItemsWhole(Store(), player_, sizes);
  EXPECT_EQ(items.count("z_after.txt"), 0u) << txlog;
  for (const auto& [name, whole] : items) EXPECT_TRUE(whole) << name;
}

TEST_F(LauncherTest, APlayerPulledOutMidSendLeavesNothingHalfWrittenAndTheLogSaysWhy) {
  StartWatchedManager(true);
  std::map<std::string, std::uintmax_t> sizes = {{"big.bin", 0}, {"z_after.txt", 0}};
  WriteBig(src_ + "/big.bin", 256);
  WriteBytes(src_ + "/z_after.txt", "after");
  for (auto& [name, size] : sizes) size = fs::file_size(src_ + "/" + name);

  const std::string out = Launch("j1", {src_ + "/big.bin", src_ + "/z_after.txt"});
  const std::string txlog = Report("_txlog.txt");
  EXPECT_NE(txlog.find("big.bin.File is data...starting transfer...error (0x1)"), std::string::npos) << out << txlog;
  EXPECT_NE(out.find("Could not send file:\nbig.bin"), std::string::npos) << out;
  EXPECT_TRUE(fs::exists(src_ + "/big.bin"));
  for (int i = 0; i < 1000 && Uploading(); ++i) platform::Sleep(10);
  EXPECT_FALSE(Uploading());
  EXPECT_EQ(StrayFiles(), std::vector<std::string>{});
  const std::map<std::string, bool> items = ItemsWhole(Store(), player_, sizes);
  EXPECT_EQ(items.count("z_after.txt"), 0u);
  for (const auto& [name, whole] : items) EXPECT_TRUE(whole) << name;
}

TEST_F(LauncherTest, ShellhostPastesFilesIntoAudioTracksAndDataFiles) {
  StartManager();
  WriteMp3(src_ + "/pasted.mp3", "Pasted Song", "Paste Artist", "Paste Album");
  WriteBytes(src_ + "/notes.txt", "pasted notes");
  WriteBytes(src_ + "/doc.txt", "a document");
  const auto paste = [&](const std::string& line) {
    ChildProcess shellhost("/bin/sh", {"-c", "exec \"$0\" \"$@\" 2>&1", platform::testing::ToolsFolder() + "/shellhost",
                                       "-l", install_ + "/ombrixj1.so", "script"});
    shellhost.WriteLine(line);
    shellhost.CloseInput();
    std::string out;
    while (auto l = shellhost.ReadLine(30000)) out += *l + "\n";
    EXPECT_EQ(shellhost.Wait(), 0) << out;
    EXPECT_EQ(out.find("error"), std::string::npos) << out;
  };
  const auto dataNames = [&] {
    std::set<std::string> names;
    KernelId root, item;
    client_->GetDataRootFolder(root);
    for (int n = client_->GetFirstDataItem(root, item); n != 0; n = client_->GetNextDataItem(root, item)) {
      names.insert(client_->GetDataItemName(item));
    }
    return names;
  };

  // The launcher the library starts ends on its own; its results show on the player.
  paste("paste Audio Tracks\t" + src_ + "/pasted.mp3\t" + src_ + "/notes.txt");
  for (int i = 0; i < 3000 && (TracksByTitle().count("Pasted Song") == 0 || dataNames().count("notes.txt") == 0); ++i) {
    platform::Sleep(10);
  }
  EXPECT_EQ(TracksByTitle().count("Pasted Song"), 1u);
  EXPECT_EQ(dataNames().count("notes.txt"), 1u);

  paste("paste Data Files\t" + src_ + "/doc.txt");
  for (int i = 0; i < 3000 && dataNames().count("doc.txt") == 0; ++i) platform::Sleep(10);
  EXPECT_EQ(dataNames().count("doc.txt"), 1u);
  std::string list;
  GetWorkFolder(list, "tx2device");
  EXPECT_FALSE(fs::exists(platform::ToPosixPath(list + "_txdat.dat")));  // read and deleted
}

// A collection as people have them, and as someone hostile makes one: links that loop
// (from the root and from inside a linked album), a FIFO, odd names, relative names, one
// file by several names, two albums of "01.mp3", every playlist format with entries that
// must not go. Everything that can go reaches the player once, the playlists hold the
// very tracks in the order a file manager shows them, and the logs say why the rest
// stayed behind. Nothing ends the run, nothing hangs.
TEST_F(LauncherTest, AHostileCollectionGoesThroughWholeAndTheRestIsLoggedWithItsReason) {
  ASSERT_FALSE(LongerMp3().empty());
  StartManager();
  const std::string col = src_ + "/col", out = src_ + "/outside";
  const auto put = [](const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    WriteBytes(path, bytes);
  };
  // Two albums of untagged files of the same names; A's are one second long, B's two.
  WriteMp3(col + "/Albums/A/01.mp3", "", "", "");
  WriteMp3(col + "/Albums/B/01.mp3", "", "", "", LongerMp3());
  WriteMp3(col + "/Albums/A/Track 10.mp3", "Ten", "Artist", "Numbers");
  WriteMp3(col + "/Albums/A/track 2.mp3", "Two", "Artist", "Numbers");
  // Identical tags in both albums.
  WriteMp3(col + "/Albums/A/same.mp3", "Same", "Artist", "Same");
  WriteMp3(col + "/Albums/B/same.mp3", "Same", "Artist", "Same", LongerMp3());
  // Links: a loop outside the root, reached from the root and from inside a linked album.
  fs::create_directories(out + "/Linked Album");
  fs::create_symlink(out + "/l2", out + "/l1");
  fs::create_symlink(out + "/l1", out + "/l2");
  fs::create_symlink(out + "/l1", col + "/Albums/loop");
  fs::create_symlink(out + "/l1", out + "/Linked Album/loop");
  WriteMp3(out + "/Linked Album/far.mp3", "Far", "Artist", "Linked");
  fs::create_directory_symlink(out + "/Linked Album", col + "/Albums/Linked");
  fs::create_symlink(src_ + "/nowhere", col + "/Albums/dangling.mp3");
  // What must not reach the player.
  ASSERT_EQ(::mkfifo((col + "/Albums/A/fifo.mp3").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((col + "/Albums/A/fifo.txt").c_str(), 0600), 0);
  WriteMp3(col + "/Albums/A/back\\slash.mp3", "Backslash", "Artist", "Odd");
  WriteMp3(col + "/Albums/A/bad\xff.mp3", "Not UTF-8", "Artist", "Odd");
  put(col + "/Albums/A/noise.mp3", std::string(30000, '\x5a'));
  put(col + "/Albums/A/empty.mp3", "");
  put(col + "/Albums/Docs/readme.txt", "only data here");
  put(src_ + "/private.txt", "private");
  // Odd names the player takes.
  WriteMp3(col + "/Albums/A/quote \"q\" | pipe & amp.mp3", "Quote", "Artist", "Odd");
  // Every playlist format; each names a good track (twice in the M3U, by two spellings),
  // a private file and an empty entry where its format has one.
  const std::string two = col + "/Albums/A/track 2.mp3";
  const struct {
    const char* file;
    std::string text;
    const char* title;  // the track it must bring
  } lists[] = {
      {"Playlists/mix.m3u", "#EXTM3U\n../Albums/A/track 2.mp3\n" + two + "\n../../private.txt\n" + src_ + "/private.txt\n", "Two"},
      {"Other/mix.pls", "[playlist]\nFile1=\nFile2=../Albums/A/Track 10.mp3\nFile3=../../private.txt\n", "Ten"},
      {"Playlists/utf.m3u8", "\xEF\xBB\xBF" + col + "/Albums/A/Track 10.mp3\n", "Ten"},
      {"Playlists/b.bpl", "<entry Playstring=\"file:" + two + "\">\n", "Two"},
      {"Playlists/b.b4s", "<entry Playstring=\"file:" + col + "/Albums/A/Track 10.mp3\">\n", "Ten"},
      {"Playlists/w.wpl", "<media src=\"..\\Albums\\A\\quote &quot;q&quot; | pipe &amp; amp.mp3\"/>\n"
                          "<media src=\"../../private.txt\"/>\n", "Quote"},
      {"Playlists/r.rmp", "<filename>" + two + "</filename>\n", "Two"},
      {"Playlists/x.asx", "<asx><entry><ref href=\"../Albums/A/Track 10.mp3\"/></entry>\n<entry><ref href='" + src_ +
                              "/private.txt'/></entry></asx>\n", "Ten"},
  };
  std::vector<std::string> names = {"Albums", "Playlists/../Albums/A/track 2.mp3"};
  for (const auto& l : lists) {
    put(col + "/" + l.file, l.text);
    names.push_back(l.file);
  }
  names.push_back("two\nlines.mp3");  // refused: a list holds one name a line

  // The names as a shell in the collection's folder gives them.
  const std::map<std::uint32_t, TrackRecord> before = Tracks();  // the demo player's
  const std::map<std::string, std::vector<KernelId>> playlistsBefore = PlaylistItems();
  const std::string printed = Launch("j1", names, nullptr, col);
  const std::string txlog = Report("_txlog.txt");
  const std::string exlog = Report("_exlog.txt");
  SCOPED_TRACE(printed + txlog + exlog);

  // The manager still answers, and holds each track once: A's and B's "01" both, the
  // identical tags of two files both.
  ASSERT_EQ(client_->GetDeviceUniqueId().empty(), false);
  std::multiset<std::string> titles;
  std::map<std::string, std::set<int>> lengths;
  for (const auto& [id, r] : Tracks()) {
    if (before.count(id) != 0) continue;
    titles.insert(r.title.Str());
    lengths[r.title.Str()].insert(r.length);
  }
  EXPECT_EQ(titles, (std::multiset<std::string>{"01", "01", "Far", "Quote", "Same", "Same", "Ten", "Two"}));
  EXPECT_EQ(lengths["01"], (std::set<int>{1, 2}));
  KernelId root, item;
  client_->GetDataRootFolder(root);
  std::set<std::string> data;
  for (int n = client_->GetFirstDataItem(root, item); n != 0; n = client_->GetNextDataItem(root, item)) {
    data.insert(client_->GetDataItemName(item));
  }
  EXPECT_EQ(data.count("readme.txt"), 1u);
  for (const char* never : {"private.txt", "fifo.txt", "fifo.mp3", "noise.mp3", "empty.mp3"}) EXPECT_EQ(data.count(never), 0u) << never;

  // Playlists: by folder relative to the root, in the file manager's order, each of the
  // very tracks sent; none of the data-only folder; two playlist files of one name apart.
  const std::map<std::uint32_t, TrackRecord> tracks = Tracks();
  const auto described = [&](const std::vector<KernelId>& items) {
    std::vector<std::string> d;
    for (const KernelId& i : items) {
      const auto t = tracks.find(i.word[0]);
      d.push_back(t == tracks.end() ? "?" : t->second.title.Str() + "/" + std::to_string(t->second.length));
    }
    return d;
  };
  const auto playlists = PlaylistItems();
  std::map<std::string, std::vector<std::string>> got;
  for (const auto& [name, items] : playlists) {
    if (playlistsBefore.count(name) == 0) got[name] = described(items);
  }
  const std::map<std::string, std::vector<std::string>> expected = {
      {"Albums - A", {"01/1", "Quote/1", "Same/1", "Two/1", "Ten/1"}},
      {"Albums - B", {"01/2", "Same/2"}},
      {"Albums - Linked", {"Far/1"}},
      {"mix", {"Two/1", "Two/1"}},
      {"mix (2)", {"Ten/1"}},
      {"utf", {"Ten/1"}},
      {"b", {"Two/1"}},
      {"b (2)", {"Ten/1"}},
      {"w", {"Quote/1"}},
      {"r", {"Two/1"}},
      {"x", {"Ten/1"}},
  };
  EXPECT_EQ(got, expected);

  // The logs say why each of the rest stayed behind.
  for (const std::string& text : {
           std::string("The shortcut leads nowhere (a loop of links)...skipping."),
           std::string("The shortcut leads nowhere (the target does not exist)...skipping."),
           std::string("fifo.mp3...file...processing.\r\nnot a regular file...skipping."),
           std::string("fifo.txt...file...processing.\r\nnot a regular file...skipping."),
           std::string("back\\slash.mp3...the name holds a backslash, which the player cannot take...skipped."),
           std::string("the name is not valid UTF-8, which the player cannot take...skipping."),
           std::string("...the name holds a line break...skipped."),
           "Path: " + platform::FromPosixPath(src_ + "/private.txt") + ".\r\nUNC path...not an audio file...skipping.",
           std::string("Relative path...not an audio file...skipping."),
           std::string("Empty entry...skipping."),
       }) {
    EXPECT_NE(exlog.find(text), std::string::npos) << text;
  }
  std::size_t loops = 0;
  for (std::size_t at = exlog.find("(a loop of links)"); at != std::string::npos; at = exlog.find("(a loop of links)", at + 1)) {
    ++loops;
  }
  EXPECT_EQ(loops, 2u);
  EXPECT_EQ(exlog.find("private.txt...added"), std::string::npos);
  for (const std::string& text : {
           std::string("noise.mp3.File is audio...reading tag...no audio found in the file...skipped."),
           std::string("empty.mp3.File is audio...reading tag...no audio found in the file...skipped."),
           "track 2.mp3.already sent in this run as " + platform::FromPosixPath(two) + "...skipped.",
           std::string("readme.txt.File is data...starting transfer...complete."),
       }) {
    EXPECT_NE(txlog.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(txlog.find("playlist 'Albums\\Docs\\'"), std::string::npos);  // data only: no playlist
  // Two refused for having no audio; nothing ended the run.
  EXPECT_NE(printed.find("2 of the files could not be sent to the player."), std::string::npos);
  EXPECT_EQ(printed.find("Could not send file"), std::string::npos);
  EXPECT_EQ(printed.find("Error 552"), std::string::npos);
  EXPECT_EQ(StrayFiles(), std::vector<std::string>{});
}

// The manager stopped in the middle of a run: one clear message, and the record of the
// last transfer is kept on this computer.
TEST_F(LauncherTest, AManagerThatStopsMidRunGivesOneMessageAndTheRecordIsKept) {
  StartWatchedManager(false);
  const std::string unique = client_->GetDeviceUniqueId();
  WriteBytes(src_ + "/a_first.txt", "first");
  WriteBig(src_ + "/b_big.bin", 256);
  WriteBytes(src_ + "/c_after.txt", "after");
  // Stopped while the big file is on its way, once the first is in.
  std::thread stopper([&] {
    for (int i = 0; i < 60000; ++i) {
      if (Uploading() && Report("_txlog.txt").find("a_first.txt.File is data...starting transfer...complete.") !=
                             std::string::npos) {
        break;
      }
      platform::Sleep(1);
    }
    manager_->Kill(SIGKILL);
  });
  const std::string printed = Launch("j1", {src_ + "/a_first.txt", src_ + "/b_big.bin", src_ + "/c_after.txt"});
  stopper.join();
  manager_->Wait();
  manager_.reset();
  client_.reset();
  const std::string txlog = Report("_txlog.txt");
  std::size_t boxes = 0;
  for (std::size_t at = printed.find("---"); at != std::string::npos; at = printed.find("---", at + 1)) {
    if (printed.compare(at, 4, "--- ") == 0) ++boxes;
  }
  EXPECT_EQ(boxes, 1u) << printed;
  EXPECT_EQ(printed.find("Error 552"), std::string::npos) << printed;
  EXPECT_NE(txlog.find("a_first.txt.File is data...starting transfer...complete."), std::string::npos) << txlog;
  EXPECT_EQ(txlog.find("c_after.txt"), std::string::npos) << txlog;
  // The first file's item is in the record.
  EXPECT_EQ(ReadLastTransfer(unique, 100).size(), 1u) << txlog;
}
}  // namespace
