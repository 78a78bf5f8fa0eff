// The main window in this process: set-up, the request server without a device, the
// now-playing cache and the tray icon's state, the close confirmation, the HTTP port.
#include "manager/manager_wnd.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <thread>

#include "common/identity.h"
#include "device/messages.h"
#include "manager/manager_app.h"
#include "testing/trayhub.h"
#include "manager/utilities.h"
#include "testing/processes.h"
#include "platform/settings/settings.h"
#include "platform/ui/scripted_host.h"
#include "web/http/http_server.h"

namespace manager {

using namespace device;

namespace {

const bool kIsolated = platform::testing::IsolateNamespace();

class ManagerWndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    key_.emplace(trayhubtest::PrepareWindowInThisProcess());  // over the in-memory player
  }
  std::unique_ptr<OmbrixManagerWnd> Make() {
    auto wnd = std::make_unique<OmbrixManagerWnd>(MakeHostedDevice);
    EXPECT_TRUE(wnd->Create());
    return wnd;
  }
  std::optional<platform::SettingsKey> key_;
};

TEST_F(ManagerWndTest, CreationConnectsTheOwnClientAndShowsTheTrayIcon) {
  auto wnd = Make();
  ASSERT_NE(wnd->GetDevice(), nullptr);
  ASSERT_NE(wnd->GetClient(), nullptr);
  EXPECT_TRUE(wnd->GetClient()->IsConnectedToManager());
  EXPECT_EQ(wnd->GetClient()->GetManagerWindow(), wnd->GetSafeHwnd());
  ASSERT_NE(wnd->GetHttpServer(), nullptr);
  EXPECT_EQ(wnd->GetHttpServer()->port(), 0);  // VX_Disable
  EXPECT_TRUE(wnd->GetTrayIcon().shown);
  EXPECT_EQ(wnd->GetTrayIcon().icon, 189);
  EXPECT_EQ(wnd->GetTrayIcon().tooltip, "Dozi Digital Jukebox\nNow Playing: Playback Stopped (0:00)");
  // The manager's own thread never waits for itself through its client.
  EXPECT_THROW(wnd->GetClient()->GetModelName(), KernelDeviceClientException);
}

TEST_F(ManagerWndTest, NowPlayingNoticesFeedTheTooltip) {
  auto wnd = Make();
  const platform::HWND h = wnd->GetSafeHwnd();
  KernelId first;
  wnd->GetDevice()->GetFirstAudioTrack(first);  // "Harbour", 180 s
  platform::SendMessage(h, WM_NOWPLAYING, first.word[0], 0);
  EXPECT_EQ(wnd->GetTrayIcon().tooltip, "Dozi Digital Jukebox\nNow Playing: Harbour (3:00)");
  const int modifies = wnd->GetTrayIcon().modifies;
  platform::SendMessage(h, WM_NOWPLAYING, first.word[0], 0);
  EXPECT_EQ(wnd->GetTrayIcon().modifies, modifies);  // the same track changes nothing
  platform::SendMessage(h, WM_PLAYBACKSTOPPED, 0, 0);
  EXPECT_EQ(NowPlayingText(), "Playback Stopped");
  EXPECT_EQ(NowPlayingTrackId(), 0xFFFFFFFFu);

  auto* memory = dynamic_cast<MemoryDeviceBase*>(wnd->GetDevice());
  KernelId long_ = memory->AddTrack({.title = "A title that is much too long for the tray's tooltip", .length = 185});
  platform::SendMessage(h, WM_NOWPLAYING, long_.word[0], 0);
  EXPECT_EQ(wnd->GetTrayIcon().tooltip, std::string("Dozi Digital Jukebox\nNow Playing: A title that is much too long"));  // 63 bytes
  EXPECT_EQ(NowPlayingLength(), 185);
  platform::SendMessage(h, WM_NOWPLAYING, 999999, 0);  // no such track
  EXPECT_EQ(NowPlayingText(), "Could not read name of current track.");
}

TEST_F(ManagerWndTest, WithoutTheDriverBitRequestsAreAnsweredUnchanged) {
  key_->SetDword("Kor_InstallResult", kInstallJukeboxTray);
  auto wnd = Make();
  EXPECT_EQ(wnd->GetDevice(), nullptr);
  EXPECT_EQ(wnd->GetClient(), nullptr);
  EXPECT_EQ(wnd->GetHttpServer(), nullptr);
  EXPECT_FALSE(wnd->GetTrayIcon().shown);

  std::atomic<bool> done{false};
  std::string model = "unset";
  int raised = 0;
  std::thread caller([&] {
    KernelDeviceClient client;
    if (client.ConnectToManager(0, KernelId(5), KernelId(1), 0) == 1) {
      try {
        model = client.GetModelName();
        client.GetTrackTitle(KernelId(101));
      } catch (const KernelDeviceClientException&) {
        ++raised;
      }
    }
    done = true;
  });
  while (!done) PumpMessages();
  caller.join();
  EXPECT_EQ(model, "");
  EXPECT_EQ(raised, 0);
}

TEST_F(ManagerWndTest, CloseAsksAndNoKeepsEverything) {
  auto wnd = Make();
  const platform::HWND h = wnd->GetSafeHwnd();
  {
    platform::ScriptedHost host;
    host.ExpectMessageBox(platform::IDNO, "Do you still want to close Kestrova Manager?");
    platform::SendMessage(h, platform::WM_CLOSE, 0, 0);
    EXPECT_EQ(host.shown()[0].flags, platform::MB_YESNO | platform::MB_ICONQUESTION);
  }
  EXPECT_TRUE(platform::IsWindow(h));
  EXPECT_TRUE(wnd->GetTrayIcon().shown);
  key_->SetDword("Gen_DisableOmbMgrCloseConfirm", 1);
  {
    platform::ScriptedHost host;  // no box expected
    platform::SendMessage(h, platform::WM_CLOSE, 0, 0);
  }
  EXPECT_FALSE(platform::IsWindow(h));
  EXPECT_FALSE(wnd->GetTrayIcon().shown);
  EXPECT_EQ(wnd->GetDevice()->IsConnected(), 0);
}

// Without a desktop tray the manager gives the tray's "Connect" itself; a request that
// arrives while connecting pumps messages waits until it is done.
TEST_F(ManagerWndTest, ConnectsItsPlayerOnceTheMessageLoopRuns) {
  auto wnd = std::make_unique<OmbrixManagerWnd>([] {
    auto device = MakeHostedDevice();
    if (device) device->Disconnect();
    return device;
  });
  ASSERT_TRUE(wnd->Create());
  ASSERT_NE(wnd->GetDevice(), nullptr);
  EXPECT_EQ(wnd->GetDevice()->IsConnected(), 0);
  PumpMessages();
  EXPECT_EQ(wnd->GetDevice()->IsConnected(), 1);
  platform::PostMessage(wnd->GetSafeHwnd(), platform::WM_COMMAND, ID_TRAY_DISCONNECT, 0);
  PumpMessages();
  EXPECT_EQ(wnd->GetDevice()->IsConnected(), 0);
}

TEST_F(ManagerWndTest, OccupiedPortIsReported) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  int port = 0;
  for (int p = 9000 + ::getpid() % 900; p < 10000; ++p) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(p));
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && ::listen(fd, 1) == 0) {
      port = p;
      break;
    }
  }
  ASSERT_NE(port, 0);
  key_->DeleteValue("VX_Disable");
  key_->SetDword("VX_PortD", static_cast<std::uint32_t>(port));
  {
    platform::ScriptedHost host;
    host.ExpectMessageBox(platform::IDOK, "Could not start Pallidor HTTP server.  Port was already occupied.");
    auto wnd = Make();
    EXPECT_EQ(wnd->GetHttpServer()->port(), 0);
  }
  ::close(fd);
  auto wnd = Make();
  EXPECT_EQ(wnd->GetHttpServer()->port(), port);
}

}  // namespace

}  // namespace manager
