// trayhub as other processes meet it: a real trayhub (or trayhub_test_host, the same
// start-up around a player with a slow, a pumping and a notifying operation) in a child
// process, and clients in this process and in trayhub_test_client processes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "common/folders.h"
#include "common/identity.h"
#include "device/kernel_device_client.h"
#include "device/messages.h"
#include "testing/device_operations.h"
#include "testing/device_proxy.h"
#include "manager/hosted_device.h"
#include "manager/manager_wnd.h"
#include "testing/ports.h"
#include "testing/trayhub.h"
#include "testing/processes.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/ui/host.h"
#include "platform/window/window.h"

namespace manager {

using namespace device;

namespace {

using namespace std::chrono_literals;
using platform::testing::ChildProcess;

const bool kIsolated = platform::testing::IsolateNamespace();

class TrayhubTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = std::getenv("TOVARIN_HOME");
    key_.emplace(trayhubtest::PrepareManagerHome(home_, "1000,2000"));
    ::setenv("TOVARIN_DEVICE", "memory", 1);  // these tests run the manager over the in-memory player
  }

  static std::unique_ptr<ChildProcess> Start(const std::string& tool, std::vector<std::string> args = {}) {
    return trayhubtest::StartTool(tool, std::move(args));
  }
  static platform::HWND WaitForManager(platform::HWND other = 0) { return trayhubtest::WaitForManager(other); }
  static std::string ReadAll(ChildProcess& p) {
    std::string all;
    while (auto line = p.ReadLine(5000)) all += *line + "\n";
    return all;
  }
  static bool Connect(KernelDeviceClient& client) { return client.ConnectToManager(0, KernelId(5), KernelId(1), 0) == 1; }
  // Reads the host's output until `line` (trayhub_test_host's timing points); false when
  // its output ends or the time limit passes first.
  static bool WaitForLine(ChildProcess& p, const std::string& line) {
    const auto deadline = std::chrono::steady_clock::now() + 10s * platform::testing::SlowFactor();
    while (std::chrono::steady_clock::now() < deadline) {
      const auto got = p.ReadLine(static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count()));
      if (!got) return false;
      if (*got == line) return true;
    }
    return false;
  }

  std::string home_;
  std::optional<platform::SettingsKey> key_;
};

TEST_F(TrayhubTest, WithoutInstalledOptionsItRefusesEvenASkinRegistration) {
  key_->DeleteValue("Kor_InstallResult");
  std::ofstream(home_ + "/a.osk") << "skin";
  auto p = Start("trayhub", {"-s", home_ + "/a.osk"});
  std::string out = ReadAll(*p);
  EXPECT_EQ(p->Wait(), 0);
  EXPECT_NE(out.find("Kestrova Manager could not start.  No device support options were detected.\n\nOmbrix Suite "
                     "may not have been properly installed.  Please make sure you are installing\nunder the user "
                     "account in which you will be running Ombrix Suite.\n\nIf you keep getting this message, "
                     "please contact our technical support\nand refer to error code 629 so we can help you get the "
                     "problem resolved."),
            std::string::npos)
      << out;
  EXPECT_FALSE(std::filesystem::exists(home_ + "/appdata/skins/a.osk"));
  EXPECT_EQ(platform::FindWindow(g_ProductIdentity.windowClassName), 0u);
}

TEST_F(TrayhubTest, SkinSwitchRegistersASkinAndExitsEvenBesideARunningManager) {
  auto manager = Start("trayhub");
  ASSERT_NE(WaitForManager(), 0u);
  std::ofstream(home_ + "/My Skin.OSK") << "skin bytes";
  auto p = Start("trayhub", {"-s", "\"" + home_ + "/My Skin.OSK\"  "});
  std::string out = ReadAll(*p);
  EXPECT_EQ(p->Wait(), 0);
  EXPECT_NE(out.find("Pallidor Skin \"My Skin.OSK\" has been registered."), std::string::npos) << out;
  std::ifstream copied(home_ + "/appdata/skins/My Skin.OSK");
  std::string bytes;
  std::getline(copied, bytes);
  EXPECT_EQ(bytes, "skin bytes");

  // Form feed and vertical tab around the path are white space like blanks.
  std::ofstream(home_ + "/Spaced.osk") << "spaced";
  auto spaced = Start("trayhub", {"-s", "\f\"" + home_ + "/Spaced.osk\"\v"});
  out = ReadAll(*spaced);
  EXPECT_NE(out.find("Pallidor Skin \"Spaced.osk\" has been registered."), std::string::npos) << out;
  EXPECT_TRUE(std::filesystem::exists(home_ + "/appdata/skins/Spaced.osk"));

  std::ofstream(home_ + "/notes.txt") << "x";
  auto q = Start("trayhub", {"-s" + home_ + "/notes.txt"});
  out = ReadAll(*q);
  EXPECT_NE(out.find("The file \"" + home_ + "/notes.txt\" does not appear to be a valid Pallidor Skin file."),
            std::string::npos)
      << out;
  EXPECT_FALSE(std::filesystem::exists(home_ + "/appdata/skins/notes.txt"));
}

TEST_F(TrayhubTest, SecondManagerExitsAndTheFirstKeepsServing) {
  auto first = Start("trayhub");
  platform::HWND window = WaitForManager();
  ASSERT_NE(window, 0u);
  auto second = Start("trayhub");
  EXPECT_EQ(second->Wait(), 0);
  EXPECT_EQ(platform::FindWindow(g_ProductIdentity.windowClassName), window);
  KernelDeviceClient client;
  ASSERT_TRUE(Connect(client));
  EXPECT_EQ(client.GetModelName(), "Memory Player");
}

// Every operation code through a real trayhub hosting the in-memory player, compared with
// the same operations run here on a player with the same catalogue.
TEST_F(TrayhubTest, EveryOperationRoundTripsWithItsArgumentsAndResults) {
  ::setenv("TOVARIN_REQUEST_LIMITS", "7000,30000", 1);
  auto manager = Start("trayhub");
  ASSERT_NE(WaitForManager(), 0u);
  MemoryDevice local;
  SeedDemoCatalogue(local);
  optest::Context seeds;
  {
    KernelId track, list, storage, folder, file, preset;
    local.GetFirstAudioTrack(track);
    local.GetFirstPlaylist(list);
    local.GetFirstStorage(storage);
    local.GetFirstDataItem(local.DataRoot(), folder);
    local.GetFirstDataItem(folder, file);
    local.GetFirstFMPreset(preset);
    KernelId note, contact;
    local.GetFirstNote(local.NotesRoot(), note);
    local.GetFirstContact(local.ContactsRoot(), contact);
    seeds.items = {{3000, storage}, {4000, track}, {5000, track}, {6000, track}, {7000, file}, {8000, list},
                   {9000, track}, {10000, preset}, {11000, note}, {12000, contact}, {5050, folder}, {5070, file},
                   {7020, folder}, {7030, folder}, {7090, folder}, {71501, folder}};
  }
  // The reference starts from a fresh copy: the walks above moved its cursors.
  MemoryDevice reference;
  SeedDemoCatalogue(reference);
  KernelDeviceClient client;
  ASSERT_TRUE(Connect(client));
  optest::ProxyAndReferenceRun run(client, reference, seeds);
  const auto& got = run.got;
  const auto& want = run.want;

  ASSERT_EQ(got.size(), want.size());
  int withoutError = 0;
  for (std::size_t i = 0; i < got.size(); ++i) {
    const int op = want[i].opcode;
    // The program's own version, the clock and creation stamps differ between the two.
    if (op == OpCode(DeviceOp::GetHostVersion)) {
      EXPECT_FALSE(got[i].result.empty());
      continue;
    }
    if (op == OpCode(DeviceOp::GetDeviceTime) || op == OpCode(DeviceOp::GetDataItemModifiedTime)) continue;
    EXPECT_EQ(got[i], want[i]) << DeviceOpName(op) << optest::GotAndWant(got[i], want[i]);
    withoutError += got[i].error.empty();
  }
  EXPECT_GT(withoutError, 150);
  EXPECT_EQ(run.host.texts, run.loopback.messages);
}

TEST_F(TrayhubTest, FourClientProcessesGetOnlyTheirOwnAnswers) {
  ::setenv("TOVARIN_REQUEST_LIMITS", "7000,60000", 1);
  auto manager = Start("trayhub");
  ASSERT_NE(WaitForManager(), 0u);
  std::vector<std::unique_ptr<ChildProcess>> clients;
  for (int c = 0; c < 4; ++c) {
    clients.push_back(std::make_unique<ChildProcess>("trayhub_test_client",
                                                     std::vector<std::string>{"stress", "10000", std::to_string(c * 5)}));
    ASSERT_EQ(clients.back()->ReadLine(), "ready");
  }
  for (auto& c : clients) c->WriteLine("go");
  for (auto& c : clients) {
    EXPECT_EQ(c->ReadLine(120000), "done 10000 wrong 0 errors 0");
    EXPECT_EQ(c->Wait(), 0);
  }
}

// kill -9 of the manager while a request runs: the proxy reports it within its limits,
// and a manager started again serves the next call once the client has reconnected.
TEST_F(TrayhubTest, KilledManagerIsReportedAndARestartedOneServesTheNextCall) {
  auto host = Start("trayhub_test_host");
  platform::HWND first = WaitForManager();
  ASSERT_NE(first, 0u);
  KernelDeviceClient client;
  ASSERT_TRUE(Connect(client));
  EXPECT_EQ(client.Op3120(0, 0), 1);

  std::atomic<bool> failed{false};
  std::string source;
  std::chrono::steady_clock::duration took{};
  std::thread caller([&] {
    const auto t0 = std::chrono::steady_clock::now();
    try {
      client.Op3120(10000, 0);
    } catch (const KernelDeviceClientException& e) {
      source = e.source();
      failed = true;
    }
    took = std::chrono::steady_clock::now() - t0;
  });
  EXPECT_TRUE(WaitForLine(*host, "op3120 running"));
  host->Kill(SIGKILL);
  host->Wait();
  caller.join();
  EXPECT_TRUE(failed.load());
  EXPECT_TRUE(source == "Device Connection" || source == "Device Timeout") << source;
  EXPECT_LT(took, 2500ms * platform::testing::SlowFactor());  // the call limit is 2,000 ms, stretched

  // A real trayhub now, started over the leftovers of the killed one.
  auto manager = Start("trayhub");
  ASSERT_NE(WaitForManager(first), 0u);
  EXPECT_THROW(client.GetModelName(), KernelDeviceClientException);
  EXPECT_EQ(client.ReconnectToManager(), 1);
  EXPECT_EQ(client.GetModelName(), "Memory Player");

  // Killed between two requests of a busy client: the same.
  KernelId firstTrack;
  {
    MemoryDevice reference;
    SeedDemoCatalogue(reference);
    reference.GetFirstAudioTrack(firstTrack);
  }
  std::atomic<int> answered{0};
  std::thread busy([&] {
    try {
      for (;;) {
        client.GetTrackYear(firstTrack);
        ++answered;
      }
    } catch (const KernelDeviceClientException&) {
    }
  });
  // Busy: a few calls answered, the next ones on their way.
  const auto busyBy = std::chrono::steady_clock::now() + 10s * platform::testing::SlowFactor();
  while (answered < 3 && std::chrono::steady_clock::now() < busyBy) std::this_thread::sleep_for(1ms);
  EXPECT_GE(answered.load(), 3);
  manager->Kill(SIGKILL);
  manager->Wait();
  busy.join();
  auto again = Start("trayhub");
  ASSERT_NE(WaitForManager(), 0u);
  EXPECT_EQ(client.ReconnectToManager(), 1);
  EXPECT_EQ(client.GetTrackTitle(firstTrack), "Harbour");
}

// The host's player sends three notices to the progress window, which belongs to the
// thread that waits for the request.
TEST_F(TrayhubTest, NoticesSentDuringARequestReachTheWaitingThread) {
  auto host = Start("trayhub_test_host");
  ASSERT_NE(WaitForManager(), 0u);
  KernelDeviceClient client;
  ASSERT_TRUE(Connect(client));
  platform::RegisterClass("Progress");
  std::vector<platform::WPARAM> seen;
  platform::HWND window = platform::CreateWindow("Progress", 0, [&](platform::HWND, platform::UINT m, platform::WPARAM w, platform::LPARAM) -> platform::LRESULT {
    if (m == WM_UPLOADPROGRESS) seen.push_back(w);
    return m == WM_UPLOADPROGRESS ? static_cast<platform::LRESULT>(w + 1) : 0;
  });
  client.SetProgressWindow(window);
  KernelId created;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(client.UploadTrack("a.mp3", TrackRecord(), created), 11 + 21 + 31);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 500ms * platform::testing::SlowFactor());
  EXPECT_EQ(seen, (std::vector<platform::WPARAM>{10, 20, 30}));
  EXPECT_EQ(created, KernelId(4242));
  platform::DestroyWindow(window);
}

// Request messages that arrive while an operation pumps messages are not run into the
// same block: the running operation is called once.
TEST_F(TrayhubTest, RequestMessagesDuringAPumpingOperationWait) {
  auto host = Start("trayhub_test_host");
  platform::HWND window = WaitForManager();
  ASSERT_NE(window, 0u);
  KernelDeviceClient client;
  ASSERT_TRUE(Connect(client));
  int first = 0;
  std::thread caller([&] { first = client.Op3120(400, 1); });
  EXPECT_TRUE(WaitForLine(*host, "op3120 running"));
  for (int i = 0; i < 5; ++i) platform::PostMessage(window, WM_DEVICEREQUEST, 0, 0);
  caller.join();
  EXPECT_EQ(first, 1);
  EXPECT_EQ(client.Op3120(0, 0), 2);
}

// The work folders are emptied before the web server answers: a client that writes there
// once trayhub answers keeps its files. (A full folder takes a while to empty.)
TEST_F(TrayhubTest, TheWorkFoldersAreEmptiedBeforeThePortAnswers) {
  std::string work;
  GetWorkFolder(work, "tx2pc");
  const std::string folder = platform::ToPosixPath(work);
  for (int i = 0; i < 5000; ++i) std::ofstream(folder + "/left" + std::to_string(i) + ".mp3") << "x";
  const int port = platform::testing::FreePort();
  ASSERT_NE(port, 0);
  key_->SetDword("VX_Disable", 0);
  key_->SetDword("VX_PortD", static_cast<std::uint32_t>(port));
  auto manager = Start("trayhub");
  bool answers = false;
  for (int i = 0; i < 30000 && !(answers = platform::testing::PortAnswers(port)); ++i) {
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  ASSERT_TRUE(answers);
  EXPECT_TRUE(std::filesystem::is_empty(folder));
  manager->Kill(SIGTERM);
  EXPECT_EQ(manager->Wait(), 0);
}

TEST_F(TrayhubTest, SigtermClosesWithoutAskingAndShutdownMessageEndsAtOnce) {
  std::string work;
  GetWorkFolder(work, "tx2pc");
  const std::string stray = platform::ToPosixPath(work) + "/left.txt";

  // Once a request was answered, the start-up has emptied the work folders.
  auto served = [&] {
    KernelDeviceClient client;
    return Connect(client) && client.GetModelName() == "Memory Player";
  };
  auto manager = Start("trayhub");
  ASSERT_NE(WaitForManager(), 0u);
  ASSERT_TRUE(served());
  std::ofstream(stray) << "x";
  ASSERT_TRUE(std::filesystem::exists(stray));
  manager->Kill(SIGTERM);
  std::string out = ReadAll(*manager);
  EXPECT_EQ(manager->Wait(), 0);
  EXPECT_EQ(out.find("Do you still want to close"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists(stray));

  // A close from elsewhere asks first (no terminal: the default answer, Yes).
  manager = Start("trayhub");
  platform::HWND window = WaitForManager();
  ASSERT_NE(window, 0u);
  platform::PostMessage(window, platform::WM_CLOSE, 0, 0);
  out = ReadAll(*manager);
  EXPECT_EQ(manager->Wait(), 0);
  EXPECT_NE(out.find("We recommend that you do not close Kestrova Manager.\n\nOmbrix Jukebox needs the Manager to be "
                     "running to communicate with your player.\n\nDo you still want to close Kestrova Manager?"),
            std::string::npos)
      << out;

  manager = Start("trayhub");
  window = WaitForManager();
  ASSERT_NE(window, 0u);
  ASSERT_TRUE(served());
  std::ofstream(stray) << "x";
  platform::PostMessage(window, WM_MANAGERSHUTDOWN, 0, 0);
  EXPECT_EQ(manager->Wait(), 1);
  EXPECT_TRUE(std::filesystem::exists(stray));  // no folder reset on the quick way out
  EXPECT_EQ(platform::FindWindow(g_ProductIdentity.windowClassName), 0u);
}

}  // namespace

}  // namespace manager
