// shellhost's window on a (virtual) display against trayhub with the demo player: a picture
// of the window on each kind of folder (and on the rows shown without a manager) in the
// pictures folder, each view rendered as its model holds it, and a refresh posted from
// another process reaching the open view through the window's one loop.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "common/shell_utilities.h"
#include "testing/shellhost.h"

namespace {

using namespace device;
using namespace shellhosttest;

const bool kIsolated = platform::testing::IsolateNamespace();

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

// Shows a folder, takes its picture and compares the view's rendering with its model.
void Picture(ShellhostTest::Session& session, const std::string& path, const std::string& name) {
  const std::string file = PicturesFolder() + "/shellhost_" + name + ".png";
  std::filesystem::remove(file);
  const std::vector<std::string> out = session.Run({"view " + path, "shot " + file, "rendered"});
  EXPECT_TRUE(Contains(out, "as the view holds it")) << name << ":\n" << Joined(out);
  EXPECT_FALSE(Contains(out, "error:")) << name << ":\n" << Joined(out);
  EXPECT_TRUE(std::filesystem::exists(file) && std::filesystem::file_size(file) > 1000) << file;
}

TEST_F(ShellhostTest, APictureOfTheWindowOnEachKindOfFolder) {
  StartManager("trayhub");
  Session session(home_, true);
  const std::vector<std::pair<std::string, std::string>> kinds = {
      {"/", "root"},
      {"Audio Tracks", "tracks"},
      {"Artists", "artists"},
      {"Artists/Northwind Brass", "one_artist"},
      {"Albums", "albums"},
      {"Albums/Small Hours", "one_album"},
      {"Genres", "genres"},
      {"Playlists", "playlists"},
      {"Playlists/Evening Mix", "one_playlist"},
      {"Data Files", "data_files"},
      {"Data Files/Documents", "data_folder"},
      {"Device Information", "device_information"},
  };
  for (const auto& [path, name] : kinds) Picture(session, path, name);
}

TEST_F(ShellhostTest, APictureOfTheWindowWithoutAManager) {
  Session session(home_, true);
  Picture(session, "/", "manager_not_running");
}

// The folder kinds the demo player lacks come from the in-memory player.
TEST_F(ShellhostTest, APictureOfTheWindowOnNotesContactsAndTheTuner) {
  StartManager("shellhost_test_player");
  Session session(home_, true);
  for (const auto& [path, name] : std::vector<std::pair<std::string, std::string>>{
           {"Notes", "notes"}, {"Contacts", "contacts"}, {"FM Radio Tuner", "tuner"}, {"Internal", "storage"}}) {
    Picture(session, path, name);
  }
}

// RefreshFolderViews from this process reaches the view in shellhost's window, whose one
// loop serves the toolkit and the messages of other processes.
TEST_F(ShellhostTest, ARefreshFromAnotherProcessReachesTheWindow) {
  StartManager("trayhub");
  Session session(home_, true);
  session.Run({"view Playlists"});
  KernelDeviceClient client;
  ASSERT_TRUE(Connect(client));
  KernelId made;
  ASSERT_EQ(client.CreatePlaylist("Late Night", made), 0);
  RefreshFolderViews();
  const std::vector<std::string> out = session.Run({"pump 10000 Late Night", "rendered"});
  EXPECT_FALSE(Contains(out, "error:")) << Joined(out);
  EXPECT_TRUE(Contains(out, "as the view holds it")) << Joined(out);
}

}  // namespace
