// The view's player buttons in shellhost against trayhub with the demo player: they drive
// the manager's player, and the status bar shows the track it plays.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "testing/shellhost.h"

using namespace device;

namespace shellhosttest {
namespace {

const bool kIsolated = platform::testing::IsolateNamespace();

// The status bar's third part as shellhost prints it ("2: ...").
std::string PlaybackStatus(ShellhostTest::Session& session) {
  for (const std::string& line : session.Run({"pump 100", "status"})) {
    if (line.rfind("2: ", 0) == 0) return line.substr(3);
  }
  return {};
}

// Serves the view's messages until the status bar's third part begins with `start`.
std::string WaitForStatus(ShellhostTest::Session& session, const std::string& start) {
  std::string status;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(15 * platform::testing::SlowFactor());
  while (std::chrono::steady_clock::now() < until) {
    status = PlaybackStatus(session);
    if (status.rfind(start, 0) == 0) break;
  }
  return status;
}

bool Pressed(ShellhostTest::Session& session, int command) {
  for (const std::string& line : session.Run({"toolbar"})) {
    if (line.rfind(std::to_string(command) + "\t", 0) == 0) return line.find("\t[x]") != std::string::npos;
  }
  return false;
}

TEST_F(ShellhostTest, ThePlayersButtonsInTheViewDriveTheManagersPlayer) {
  StartManager("trayhub");
  KernelDeviceClient client;
  ASSERT_TRUE(Connect(client));
  const std::vector<KernelId> tracks = EnqueueFirstTracks(client, 3);
  ASSERT_EQ(tracks.size(), 3u);
  auto playing = [&](const KernelId& t) {
    const int length = client.GetTrackLength(t);
    char text[32];
    std::snprintf(text, sizeof text, "Playing (0:00/%d:%02d)  ", length / 60, length % 60);
    return text + client.GetTrackTitle(t);
  };

  // Paused at once: the demo's tracks last a few seconds, and a paused one stays.
  Session session(home_);
  session.Run({"view Active Queue", "command 2601", "command 2604"});
  EXPECT_EQ(WaitForStatus(session, "Playing"), playing(tracks[0]));
  EXPECT_EQ(client.IsPaused(), 1);
  EXPECT_TRUE(Pressed(session, 2604));

  session.Run({"command 2604", "command 2602"});  // on again, and the next track
  EXPECT_EQ(client.IsPaused(), 0);
  EXPECT_FALSE(Pressed(session, 2604));
  EXPECT_EQ(WaitForStatus(session, playing(tracks[1])), playing(tracks[1]));

  session.Run({"command 2606"});  // mute
  EXPECT_EQ(client.IsMuted(), 1);
  EXPECT_TRUE(Pressed(session, 2606));
  session.Run({"command 2606"});
  EXPECT_EQ(client.IsMuted(), 0);

  session.Run({"command 2603"});  // stop
  EXPECT_EQ(WaitForStatus(session, "Playback Stopped"), "Playback Stopped");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(PlaybackStatus(session), "Playback Stopped");
}

// Without a display the sheets and dialogs are declined on the console, by their captions.
TEST_F(ShellhostTest, TheViewsSheetsAndDialogsOpenFromTheLibrary) {
  StartManager("trayhub");
  Session session(home_);
  session.Run({"view Audio Tracks"});
  const struct {
    int command;
    const char* caption;
  } cases[] = {{2605, "Ombrix Jukebox Options"}, {2607, "On-Board Volume"}, {2610, "Logs and Reports"}};
  for (const auto& c : cases) {
    const std::vector<std::string> out = session.Run({"command " + std::to_string(c.command)});
    EXPECT_TRUE(std::any_of(
        out.begin(), out.end(),
        [&](const std::string& line) { return line.find(std::string("\"") + c.caption + "\"") != std::string::npos; }))
        << c.command << "\n"
        << Joined(out);
  }
}

}  // namespace
}  // namespace shellhosttest
