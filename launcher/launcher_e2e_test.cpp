// The launcher end to end: trayhub with the simulated player, the launcher installed
// under the family names, and what a send does to the player, the logs, the last
// transfer's record and the player's playlists; a cancelled send and a player pulled out
// mid-send leave nothing half-written; shellhost's script hands files to two folders.
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
const std::string& PlainMp3() {
  static const std::string bytes = [] {
    transfer::testing::ScratchFolder dir;
    if (!transfer::testing::MakeTone(dir / "t.wav", 1) ||
        !transfer::testing::Tool({"lame", "--quiet", "-b", "64", dir / "t.wav", dir / "t.mp3"})) {
      return std::string();
    }
    return ReadBytes(dir / "t.mp3");
  }();
  return bytes;
}

void WriteMp3(const std::string& path, const std::string& title, const std::string& artist, const std::string& album) {
  std::string bytes = PlainMp3();
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
    manager_ = trayhubtest::StartTool(tool);
    ASSERT_NE(trayhubtest::WaitForManager(0, 2000), 0u) << tool << " did not start";
    client_ = std::make_unique<KernelDeviceClient>();
    ASSERT_EQ(client_->ConnectToManager(0, KernelId(5), KernelId(1)), 1);
  }

  // Runs a launcher copy to its end; what it printed.
  std::string Launch(const std::string& family, const std::vector<std::string>& names, ChildProcess** running = nullptr) {
    std::vector<std::string> args = {"-c", "exec \"$0\" \"$@\" 2>&1 </dev/null", install_ + "/tovarin" + family};
    args.insert(args.end(), names.begin(), names.end());
    ChildProcess launcher("/bin/sh", args);
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

}  // namespace
