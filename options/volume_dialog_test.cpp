// The volume dialog: it starts at the player's volume, sends every step of the slider to
// the player, and shrugs off a player that fails; also through a running manager.
#include "options/volume_dialog.h"

#include <gtest/gtest.h>

#include "device/device_error.h"
#include "device/kernel_device_client.h"
#include "device/memory_device.h"
#include "testing/trayhub.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"

using namespace device;

namespace options {
namespace {

using platform::DialogDriver;

const bool kIsolated = platform::testing::IsolateNamespace();
constexpr int kSlider = VolumeDialog::kSliderId;

// A player that logs every volume it is given and fails on demand.
class VolumePlayer : public MemoryDeviceBase {
 public:
  std::vector<int> sent;
  bool failGet = false;
  bool failSet = false;
  int GetVolume() override {
    if (failGet) throw DeviceError(8, "Player", "The player is busy.");
    return MemoryDeviceBase::GetVolume();
  }
  int SetVolume(int volume) override {
    sent.push_back(volume);
    if (failSet) throw DeviceError(8, "Player", "The player is busy.");
    return MemoryDeviceBase::SetVolume(volume);
  }
  // The player's own volume, past the failures.
  void Put(int volume) { MemoryDeviceBase::SetVolume(volume); }
  int Held() { return MemoryDeviceBase::GetVolume(); }
};

TEST(VolumeDialogTest, EveryStepOfTheSliderGoesToThePlayerAtOnce) {
  platform::ScriptedHost host;
  VolumePlayer player;
  player.SetVolume(37);
  player.sent.clear();
  VolumeDialog dlg(&player);
  host.ExpectDialog(VolumeDialog::kTemplateId, [&](DialogDriver& d) {
    EXPECT_EQ(d.Caption(), "On-Board Volume");
    EXPECT_EQ(d.Selection(kSlider), 37);
    d.DragSlider(kSlider, 40);
    // Each step while dragging, then the let-go (thumb position, end of scroll, release).
    EXPECT_EQ(player.sent, (std::vector<int>{38, 39, 40, 40, 40, 40}));
    EXPECT_EQ(player.GetVolume(), 40);
    player.sent.clear();
    d.SliderKey(kSlider, platform::VK_LEFT);
    EXPECT_EQ(player.GetVolume(), 39);
    EXPECT_FALSE(player.sent.empty());
    d.Key(platform::VK_RETURN);
  });
  dlg.DoModal();
  EXPECT_EQ(player.GetVolume(), 39);
}

TEST(VolumeDialogTest, AVolumeOutsideTheRangeIsClampedAndFailuresKeepTheDialogOpen) {
  platform::ScriptedHost host;
  VolumePlayer player;
  for (int volume : {150, -20}) {
    player.Put(volume);
    VolumeDialog dlg(&player);
    host.ExpectDialog(VolumeDialog::kTemplateId, [&](DialogDriver& d) {
      EXPECT_EQ(d.Selection(kSlider), volume > 100 ? 100 : 0);
      d.Close();
    });
    dlg.DoModal();
  }
  player.failGet = true;
  player.failSet = true;
  player.Put(70);
  VolumeDialog dlg(&player);
  host.ExpectDialog(VolumeDialog::kTemplateId, [&](DialogDriver& d) {
    EXPECT_EQ(d.Selection(kSlider), 0);  // the player could not say
    d.DragSlider(kSlider, 2);
    EXPECT_EQ(d.Selection(kSlider), 2);  // the slider keeps its place
    EXPECT_FALSE(d.Ended());
    d.Close();
  });
  dlg.DoModal();
  EXPECT_TRUE(host.ShownTexts().empty());  // nothing reported
  EXPECT_EQ(player.Held(), 70);
}

TEST(VolumeDialogTest, MovesThePlayerOfARunningManagerThroughItsProxy) {
  const std::string home = std::getenv("TOVARIN_HOME");
  auto key = trayhubtest::PrepareManagerHome(home, "1000,2000");
  ::setenv("TOVARIN_DEVICE", "memory", 1);
  auto manager = trayhubtest::StartTool("trayhub");
  ASSERT_NE(trayhubtest::WaitForManager(), 0u);
  platform::ScriptedHost host;
  KernelDeviceClient client;
  ASSERT_EQ(client.ConnectToManager(0, KernelId(5), KernelId(1), 0), 1);
  ASSERT_EQ(client.SetVolume(20), 0);
  VolumeDialog dlg(&client);
  host.ExpectDialog(VolumeDialog::kTemplateId, [&](DialogDriver& d) {
    EXPECT_EQ(d.Selection(kSlider), 20);
    d.DragSlider(kSlider, 64);
    d.Close();
  });
  dlg.DoModal();
  KernelDeviceClient another;
  ASSERT_EQ(another.ConnectToManager(0, KernelId(5), KernelId(1), 0), 1);
  EXPECT_EQ(another.GetVolume(), 64);
  manager->Kill(SIGTERM);
  manager->Wait();
}

}  // namespace
}  // namespace options
