// The item commands through shellhost's view against a real trayhub with the demo player:
// deleting playlists, data folders and tracks refreshes the open view after the player
// has changed, and playing on the player fills and starts its queue. shellhost answers
// the delete question on its console with the default button (Yes).
#include <gtest/gtest.h>

#include "testing/shellhost.h"

using namespace device;

namespace shellhosttest {
namespace {

const bool kIsolated = platform::testing::IsolateNamespace();

int RowOf(const std::vector<std::vector<std::string>>& rows, const std::string& name) {
  const std::vector<std::string> names = Column(rows, "Name");
  const auto at = std::find(names.begin(), names.end(), name);
  return at == names.end() ? -1 : static_cast<int>(at - names.begin());
}

// How long the view may take to follow the player's change notices.
std::string Limit() { return std::to_string(10000 * platform::testing::SlowFactor()); }

TEST_F(ShellhostTest, DeletingFromTheViewRefreshesItOnceThePlayerHasChanged) {
  (void)kIsolated;
  StartManager("trayhub");
  Session session(home_);
  struct Case {
    std::string folder;
    std::string name;
  };
  for (const Case& k : {Case{"Playlists", "Road Trip"}, Case{"Data Files", "Documents"}}) {
    const int row = RowOf(session.Rows(k.folder), k.name);
    ASSERT_GE(row, 0) << k.name;
    const std::vector<std::string> out =
        session.Run({"select " + std::to_string(row), "invoke 3035", "pump " + Limit() + " !" + k.name});
    EXPECT_EQ(RowOf(session.Rows(), k.name), -1) << k.name << "\n" << Joined(out);
    EXPECT_EQ(RowOf(session.Rows(k.folder), k.name), -1) << k.name << " listed anew";
  }
  // Two tracks: the view loses both rows, the player both tracks.
  KernelDeviceClient client;
  ASSERT_TRUE(Connect(client));
  auto count = [&client] {
    int n = 0;
    KernelId t;
    for (int more = client.GetFirstAudioTrack(t); more != 0; more = client.GetNextAudioTrack(t)) ++n;
    return n;
  };
  const int before = count();
  const std::vector<std::string> names = Column(session.Rows("Audio Tracks"), "Name");
  ASSERT_GE(names.size(), 2u);
  session.Run({"select 0 1", "invoke 3035", "pump " + Limit() + " !" + names[0], "pump " + Limit() + " !" + names[1]});
  EXPECT_EQ(Column(session.Rows(), "Name").size(), names.size() - 2);
  EXPECT_EQ(count(), before - 2);
}

TEST_F(ShellhostTest, PlayingOnThePlayerQueuesTheSelectionAndPlays) {
  StartManager("trayhub");
  Session session(home_);
  const auto rows = session.Rows("Playlists/Evening Mix");
  // The commands ask the manager before they return.
  session.Run({"select all", "invoke 3050"});
  KernelDeviceClient client;
  ASSERT_TRUE(Connect(client));
  std::vector<std::string> queued;
  KernelId t;
  for (int n = client.GetFirstQueueEntry(t); n != 0; n = client.GetNextQueueEntry(t)) {
    queued.push_back(client.GetTrackTitle(t));
  }
  EXPECT_EQ(queued.size(), rows.size() - 1);
  EXPECT_EQ(client.IsPaused(), 0);
  // Selected again: the player's change notices may have reloaded the view meanwhile.
  session.Run({"select all", "invoke 3055"});  // queued once more, after
  int entries = 0;
  for (int n = client.GetFirstQueueEntry(t); n != 0; n = client.GetNextQueueEntry(t)) ++entries;
  EXPECT_EQ(entries, static_cast<int>(2 * queued.size()));
}

}  // namespace
}  // namespace shellhosttest
