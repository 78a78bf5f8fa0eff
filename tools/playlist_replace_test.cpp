// Rebuilding a playlist: the temporary names it takes, and what stays when the player
// refuses a step.
#include "tools/playlist_replace.h"

#include <gtest/gtest.h>

#include "device/memory_device.h"

using namespace device;

namespace tools {
namespace {

// A player that keeps names of at most 12 bytes, and refuses one step on demand.
class ShortNamePlayer : public MemoryDeviceBase {
 public:
  std::vector<std::string> asked;
  int refuseAdd = 0;
  int refuseDelete = 0;
  int refuseRename = 0;
  int CreatePlaylist(std::string_view name, KernelId& playlist) override {
    asked.emplace_back(name);
    if (name.size() > 12) return 1;
    return MemoryDeviceBase::CreatePlaylist(name, playlist);
  }
  int AddPendingToPlaylist(const KernelId& p) override {
    return refuseAdd != 0 ? refuseAdd : MemoryDeviceBase::AddPendingToPlaylist(p);
  }
  int DeletePlaylist(const KernelId& p) override {
    if (refuseDelete != 0 && p.GetName().find("(new") == std::string_view::npos) return refuseDelete;
    return MemoryDeviceBase::DeletePlaylist(p);
  }
  int RenamePlaylist(const KernelId& p, std::string_view name) override {
    return refuseRename != 0 ? refuseRename : MemoryDeviceBase::RenamePlaylist(p, name);
  }
  std::string NameOf(const KernelId& p) { return GetPlaylistName(p); }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    KernelId p;
    for (int n = GetFirstPlaylist(p); n != 0; n = GetNextPlaylist(p)) names.push_back(GetPlaylistName(p));
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST(ReplacePlaylistTest, TheNewPlaylistTakesAFreeTemporaryNameThenTheOldName) {
  ShortNamePlayer player;
  const KernelId a = player.AddTrack({.title = "A"});
  const KernelId b = player.AddTrack({.title = "B"});
  KernelId mix = player.AddPlaylist("Mix", {a});
  player.AddPlaylist("Mix (new)");
  ASSERT_EQ(ReplacePlaylist(player, mix, {b, a}), 0);
  EXPECT_EQ(player.asked, (std::vector<std::string>{"Mix (new)", "Mix (new 2)"}));
  EXPECT_EQ(player.NameOf(mix), "Mix");
  EXPECT_EQ(player.PlaylistItems(mix).size(), 2u);
  EXPECT_EQ(player.Names(), (std::vector<std::string>{"Mix", "Mix (new)"}));

  // A name that leaves no room for the mark: the mark alone.
  player.asked.clear();
  KernelId longer = player.AddPlaylist("Twelve bytes", {a});
  ASSERT_EQ(ReplacePlaylist(player, longer, {b}), 0);
  EXPECT_EQ(player.asked, (std::vector<std::string>{"Twelve bytes (new)", "(new)"}));
  EXPECT_EQ(player.NameOf(longer), "Twelve bytes");
}

TEST(ReplacePlaylistTest, ARefusedStepLeavesTheOldPlaylistOrTheTracksUnderTheTemporaryName) {
  const struct {
    int add, remove, rename;
    std::vector<std::string> names;
    std::size_t oldTracks;  // tracks of "Mix" afterwards
  } kCases[] = {
      {8, 0, 0, {"Mix"}, 1},
      {0, 6, 0, {"Mix"}, 1},
      {0, 0, 1, {"Mix (new)"}, 0},
  };
  for (const auto& c : kCases) {
    ShortNamePlayer player;
    const KernelId a = player.AddTrack({.title = "A"});
    const KernelId b = player.AddTrack({.title = "B"});
    KernelId mix = player.AddPlaylist("Mix", {a});
    const KernelId old = mix;
    player.refuseAdd = c.add;
    player.refuseDelete = c.remove;
    player.refuseRename = c.rename;
    EXPECT_NE(ReplacePlaylist(player, mix, {a, b}), 0);
    EXPECT_EQ(player.Names(), c.names);
    if (c.oldTracks > 0) {
      EXPECT_EQ(mix, old);
      EXPECT_EQ(player.PlaylistItems(old).size(), c.oldTracks);
    } else {
      EXPECT_EQ(player.NameOf(mix), "Mix (new)");
      EXPECT_EQ(player.PlaylistItems(mix).size(), 2u);
    }
  }
}

}  // namespace
}  // namespace tools
