#include "device/stream_playlist.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "testing/temp_home.h"
#include "device/memory_device.h"
#include "device/sortable.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/shell/shell.h"
#include "platform/ui/scripted_host.h"

using namespace device;

namespace {

namespace fs = std::filesystem;

class StreamPlaylist : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    key_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
  }
  std::string Lumarest() { return root_ + "/tmp/$Ombrix Jukebox$/lumarest"; }
  static std::string Read(const std::string& posixPath) {
    std::ifstream in(posixPath, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::optional<platform::SettingsKey> key_;
  MemoryDevice device_;
  platform::ScriptedHost host_;
  platform::ShellOpenRecording shell_;
};

TEST_F(StreamPlaylist, WritesCrLfLinesAndOpensTheFile) {
  fs::create_directories(Lumarest());
  std::ofstream(Lumarest() + "/old.m3u") << "earlier";
  key_->SetDword("VX_PortD", 9090);
  device_.Info().modelCode = "j1";  // the model does not choose the port
  SortableKernelIdArray ids(&device_);
  ids.push_back(device_.AddTrack({.artist = "A", .album = "B", .title = "One", .number = 1, .length = 61}));
  ids.push_back(device_.AddTrack({.artist = "AC/DC", .album = "#x", .title = "T w", .number = 2, .length = 5,
                                  .codec = kCodecWma}));
  const std::string path = WriteStreamPlaylist(device_, ids);
  ASSERT_FALSE(path.empty());
  const std::string expected =
      "#EXTM3U\r\n"
      "#EXTINF:61,A - B - 01 - One.mp3\r\n"
      "http://127.0.0.1:9090/stream/" + std::to_string(ids[0].GetItemId()) + "/A%20-%20B%20-%2001%20-%20One.mp3\r\n"
      "#EXTINF:5,ACDC - #x - 02 - T w.wma\r\n"
      "http://127.0.0.1:9090/stream/" + std::to_string(ids[1].GetItemId()) + "/ACDC%20-%20x%20-%2002%20-%20T%20w.wma\r\n";
  EXPECT_EQ(Read(platform::ToPosixPath(path)), expected);
  EXPECT_EQ(fs::path(platform::ToPosixPath(path)).parent_path(), fs::path(Lumarest()));
  EXPECT_FALSE(fs::exists(Lumarest() + "/old.m3u"));
  ASSERT_EQ(shell_.calls().size(), 1u);
  EXPECT_EQ(shell_.calls()[0].target, platform::ToPosixPath(path));
  EXPECT_TRUE(host_.ShownTexts().empty());
}

// A tag holding line breaks and other controls adds no line to the playlist: each track
// is its two lines, and the name reads with blanks where the controls were.
TEST_F(StreamPlaylist, ControlCharactersInTagsStayOnTheirLine) {
  SortableKernelIdArray ids(&device_);
  ids.push_back(device_.AddTrack({.artist = "A\r\nhttp://evil.example/x.mp3\r\n#EXTINF:1,", .album = "B\tC",
                                  .title = "T\x1b[2J\x7f", .number = 1, .length = 3}));
  const std::string text = Read(platform::ToPosixPath(WriteStreamPlaylist(device_, ids)));
  std::vector<std::string> lines;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line, '\n');) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u) << text;
  EXPECT_EQ(lines[1], "#EXTINF:3,A  http:evil.examplex.mp3  #EXTINF:1, - B C - 01 - T [2J.mp3\r");
  EXPECT_EQ(lines[2].rfind("http://127.0.0.1:8047/stream/", 0), 0u);
  for (const std::string& line : lines) {
    for (std::size_t i = 0; i + 1 < line.size(); ++i) EXPECT_GE(static_cast<unsigned char>(line[i]), 0x20u) << line;
  }
}

TEST_F(StreamPlaylist, LockedTracksAreLeftOutWithOneMessage) {
  SortableKernelIdArray ids(&device_);
  for (int i = 0; i < 10; ++i) {
    ids.push_back(device_.AddTrack({.artist = "A", .title = "t" + std::to_string(i), .number = i, .locked = i % 3 == 0 && i > 0}));
  }
  host_.ExpectMessageBox(platform::IDOK, "Locked tracks cannot be streamed off of the player.");
  const std::string text = Read(platform::ToPosixPath(WriteStreamPlaylist(device_, ids)));
  std::size_t entries = 0;
  for (std::size_t at = text.find("#EXTINF:"); at != std::string::npos; at = text.find("#EXTINF:", at + 1)) ++entries;
  EXPECT_EQ(entries, 7u);
  EXPECT_EQ(text.find("t3"), std::string::npos);
  EXPECT_EQ(host_.ShownTexts().size(), 1u);
  EXPECT_NE(text.find(":8047/stream/"), std::string::npos);
}

TEST_F(StreamPlaylist, RefusedWithoutTagIndexOrServer) {
  SortableKernelIdArray ids(&device_);
  ids.push_back(device_.AddTrack({.title = "t"}));
  device_.SetCapability(DeviceOp::SupportsTagIndex, 0);
  host_.ExpectMessageBox(platform::IDOK, "Skarnel mode is only supported by Jukebox-type devices.");
  EXPECT_EQ(WriteStreamPlaylist(device_, ids), "");

  device_.SetCapability(DeviceOp::SupportsTagIndex, 1);
  key_->SetDword("VX_Disable", 1);
  host_.ExpectMessageBox(platform::IDOK, "Pallidor must be enabled for Skarnel Mode.\nPlease re-enable it");
  EXPECT_EQ(WriteStreamPlaylist(device_, ids), "");
  EXPECT_TRUE(shell_.calls().empty());
  EXPECT_FALSE(fs::exists(Lumarest()) && !fs::is_empty(Lumarest()));
}

TEST_F(StreamPlaylist, AFileThatCannotBeWrittenIsReportedAndNotOpened) {
  // The work folder cannot be made where a file of its name stands.
  fs::create_directories(root_ + "/tmp");
  std::ofstream(root_ + "/tmp/$Ombrix Jukebox$") << "in the way";
  SortableKernelIdArray ids(&device_);
  ids.push_back(device_.AddTrack({.title = "t"}));
  // The path as the desktop writes it.
  host_.ExpectMessageBox(platform::IDOK, "Could not write the stream playlist " + root_ + "/tmp/");
  EXPECT_EQ(WriteStreamPlaylist(device_, ids), "");
  EXPECT_TRUE(shell_.calls().empty());
}

}  // namespace
