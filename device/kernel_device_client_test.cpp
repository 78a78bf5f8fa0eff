// The device proxy against a manager on another thread of this process (the request
// server of device/request_server.h on its own window thread). Two-process behaviour
// (a real trayhub, kill -9, several client processes) is tested in manager/.
#include "device/kernel_device_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "common/identity.h"
#include "common/settings.h"
#include "device/memory_device.h"
#include "device/messages.h"
#include "testing/device_operations.h"
#include "testing/device_proxy.h"
#include "device/request_server.h"
#include "testing/processes.h"
#include "platform/settings/settings.h"
#include "platform/ui/scripted_host.h"
#include "platform/window/window.h"

namespace device {

namespace {

using namespace std::chrono_literals;
using platform::HWND;

const bool kIsolated = platform::testing::IsolateNamespace();

bool IsCapability(int opcode) {
  switch (opcode) {
#define CAPABILITY_ROW(code, Name, R, Flow, ...) \
  case code:                                     \
    return ::device::devop::Flow::kCapability;
    KERNEL_DEVICE_OPERATIONS(CAPABILITY_ROW)
#undef CAPABILITY_ROW
    default:
      return false;
  }
}

// A player whose operations show what the road must carry: a slow one, one that sends a
// transfer notice to the progress window while it runs, one that leaves a message.
class TestDevice : public MemoryDeviceBase {
 public:
  std::atomic<int> refreshDelayMs{0};
  std::atomic<int> refreshes{0};

  int RefreshStorage() override {
    platform::Sleep(static_cast<platform::DWORD>(refreshDelayMs.load()));
    return ++refreshes;
  }
  int UploadTrack(std::string_view, const TrackRecord&, KernelId& newTrack) override {
    newTrack = KernelId(77);
    return NotifyUploadProgress(40);  // the progress window's answer
  }
  std::string GetOwnerName() override {
    SetReplyMessage("The owner is shown.");
    return "Owner";
  }
};

// A manager's window thread serving the request road for one device.
class FakeManager {
 public:
  explicit FakeManager(KernelDevice* device) : device_(device) {
    thread_ = std::thread([this] { Run(); });
    std::unique_lock<std::mutex> lock(mutex_);
    started_.wait(lock, [&] { return ready_; });
  }
  ~FakeManager() { Stop(); }

  void Stop() {
    if (!thread_.joinable()) return;
    platform::PostMessage(window_, platform::WM_CLOSE, 0, 0);
    thread_.join();
  }
  HWND window() const { return window_; }
  bool ok() const { return window_ != 0 && serverOk_; }
  std::vector<int> Opcodes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return opcodes_;
  }
  void ClearOpcodes() {
    std::lock_guard<std::mutex> lock(mutex_);
    opcodes_.clear();
  }
  std::atomic<bool> answering{true};
  std::atomic<int> answerLimit{-1};  // requests still answered; -1: all
  // Answers, then keeps its serving mark until the next request comes: a manager thread
  // that lost its CPU to the woken proxy between its answer and the end of its serving.
  std::atomic<bool> finishesLate{false};

 private:
  void Run() {
    const std::string cls = g_ProductIdentity.windowClassName;
    platform::RegisterClass(cls);
    auto server = RequestServer::Create();
    serverOk_ = server != nullptr;
    window_ = platform::CreateWindow(cls, 0, [&](HWND h, platform::UINT m, platform::WPARAM, platform::LPARAM) -> platform::LRESULT {
      if (m == WM_DEVICEREQUEST && server) {
        if (!answering.load() || answerLimit.load() == 0) return 0;
        if (answerLimit.load() > 0) --answerLimit;
        if (server->control()->requestTicket.load() != 0) {
          std::lock_guard<std::mutex> lock(mutex_);
          opcodes_.push_back(server->block()->opcode);
        }
        if (finishesLate.load()) {
          ServeFinishingLate(*server);
        } else {
          server->Serve(device_, h);
        }
      } else if (m == platform::WM_CLOSE) {
        platform::DestroyWindow(h);
        platform::PostQuitMessage(0);
      }
      return 0;
    });
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ready_ = true;
    }
    started_.notify_all();
    platform::MSG msg;
    while (platform::GetMessage(&msg) > 0) platform::DispatchMessage(&msg);
  }

  // The steps of RequestServer::Serve, with the serving mark left standing after the
  // call-complete release.
  void ServeFinishingLate(RequestServer& server) {
    static auto taken = platform::NamedSemaphore::Open(g_ProductIdentity.ackSemaphoreName);
    static auto complete = platform::NamedSemaphore::Open(g_ProductIdentity.doneSemaphoreName);
    RequestControl& control = *server.control();
    const std::uint32_t ticket = control.requestTicket.exchange(0);
    if (ticket == 0) return;
    control.servingTicket.store(ticket);
    taken->Release();
    device_->Dispatch(server.block());
    control.answeredTicket.store(ticket);
    complete->Release();
  }

  KernelDevice* device_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable started_;
  bool ready_ = false;
  bool serverOk_ = false;
  HWND window_ = 0;
  std::vector<int> opcodes_;
};

class ClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_ProductIdentity.InitFromPath("/usr/bin/trayhub");
    platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
    DeleteSetting("Gen_DisableManagerTimeout");
    ::setenv("TOVARIN_REQUEST_LIMITS", "300,600", 1);
  }
  void TearDown() override { ::unsetenv("TOVARIN_REQUEST_LIMITS"); }

  static KernelDeviceClientException Caught(const std::function<void()>& f) {
    try {
      f();
    } catch (const KernelDeviceClientException& e) {
      return e;
    }
    ADD_FAILURE() << "nothing was thrown";
    return KernelDeviceClientException(-1, "", "");
  }
  static void ExpectNotRunning(const KernelDeviceClientException& e) {
    EXPECT_EQ(e.code(), 0);
    EXPECT_EQ(e.source(), "Device Connection");
    EXPECT_EQ(e.detail(), "Kestrova Manager is not running.");
  }
  int Connect(KernelDeviceClient& client) { return client.ConnectToManager(0, KernelId(5), KernelId(1), 0); }
};

TEST_F(ClientTest, WithoutManagerEveryOperationFailsAtOnceAndCapabilitiesAnswerZero) {
  KernelDeviceClient client;
  EXPECT_EQ(Connect(client), 0);
  EXPECT_FALSE(client.IsConnectedToManager());
  optest::Context context;
  const auto t0 = std::chrono::steady_clock::now();
  auto outcomes = optest::RunEveryOperation(client, context);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
  const std::string notRunning = "0|Device Connection|Kestrova Manager is not running.";
  for (const auto& o : outcomes) {
    const char* name = DeviceOpName(o.opcode);
    if (IsCapability(o.opcode)) {
      EXPECT_EQ(o.error, "") << name;
      EXPECT_EQ(o.result, "0") << name;
    } else {
      EXPECT_EQ(o.error, notRunning) << name;
    }
  }
  EXPECT_TRUE(client.IsProbePending());
}

// Every operation of the table through the road, compared with the same operations run
// on an identical device in this thread.
TEST_F(ClientTest, EveryOperationCarriesItsArgumentsAndResults) {
  optest::Context seeds;
  auto build = [&seeds](MemoryDevice& d) {
    KernelId a = d.AddTrack({.artist = "Ann", .album = "One", .title = "First", .genre = "Pop", .number = 1, .year = 1999});
    KernelId b = d.AddTrack({.artist = "Bob", .album = "Two", .title = "Second", .genre = "Rock", .number = 2});
    KernelId list = d.AddPlaylist("Mix", {a, b});
    KernelId folder = d.AddDataFolder(KernelId(), "docs");
    KernelId file = d.AddDataFile(folder, "a.txt", "hello");
    KernelId note = d.AddNote(KernelId(), "note");
    KernelId contact = d.AddContact(KernelId(), "Carla");
    KernelId preset = d.AddFMPreset("Radio", 9470);
    KernelId storage = d.AddStorage("Card", 1000, 400);
    d.Info().deviceTime = 1000;
    seeds.items = {{3000, storage}, {4000, a}, {5000, a}, {6000, b}, {7000, file}, {8000, list}, {9000, a},
                   {10000, preset}, {11000, note}, {12000, contact}, {5050, folder}, {5070, file},
                   {7020, folder}, {7030, folder}, {7090, folder}, {71501, folder}, {11110, d.NotesRoot()},
                   {11120, d.NotesRoot()}, {11150, d.NotesRoot()}, {11190, d.NotesRoot()},
                   {12110, d.ContactsRoot()}, {12120, d.ContactsRoot()}, {12150, d.ContactsRoot()},
                   {12190, d.ContactsRoot()}};
  };
  ::setenv("TOVARIN_REQUEST_LIMITS", "5000,20000", 1);  // reading the program's version takes a while
  MemoryDevice remote, local;
  build(remote);
  build(local);
  FakeManager manager(&remote);
  ASSERT_TRUE(manager.ok());
  KernelDeviceClient client;
  ASSERT_EQ(Connect(client), 1);

  optest::ProxyAndReferenceRun run(client, local, seeds);
  const auto& got = run.got;
  const auto& want = run.want;

  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    const char* name = DeviceOpName(want[i].opcode);
    if (want[i].opcode == OpCode(DeviceOp::GetDataItemModifiedTime)) continue;  // stamped at creation
    EXPECT_EQ(got[i], want[i]) << name << optest::GotAndWant(got[i], want[i]);
  }
  EXPECT_EQ(run.host.texts, run.loopback.messages);
  EXPECT_FALSE(run.host.texts.empty());
  EXPECT_EQ(client.GetLastErrorCode(), run.loopback.lastReplyCode);
  std::string text;
  EXPECT_EQ(client.GetLastErrorText(text), run.loopback.lastReplyText);
}

TEST_F(ClientTest, ErrorsOfTheManagerAreThrownExceptForQuietOperations) {
  MemoryDevice device;
  KernelId a = device.AddTrack({.artist = "Ann", .title = "A"});
  FakeManager manager(&device);
  KernelDeviceClient client;
  ASSERT_EQ(Connect(client), 1);

  device.FailWithError(DeviceOp::GetTrackTitle, platform::E_UNEXPECTED, "Jukebox", "It broke.");
  auto e = Caught([&] { client.GetTrackTitle(a); });
  EXPECT_EQ(e.code(), platform::E_UNEXPECTED);
  EXPECT_EQ(e.source(), "Jukebox");
  EXPECT_EQ(e.detail(), "It broke.");

  device.FailWithError(DeviceOp::GetModelName);
  EXPECT_NO_THROW(EXPECT_EQ(client.GetModelName(), ""));

  // A status with a reply text: no exception, the text is kept for the caller.
  device.FailWithStatus(DeviceOp::DeleteAudioTrack, 8, "The device's storage is full.", 1);
  EXPECT_EQ(client.DeleteAudioTrack(a), 8);
  EXPECT_EQ(client.GetLastErrorCode(), 8);
  // The copy is the caller's: a later write into the shared block does not change it.
  client.GetCurrentBlock()->replyCode = 99;
  std::string text;
  EXPECT_EQ(client.GetLastErrorCode(), 8);
  EXPECT_EQ(client.GetLastErrorText(text), "The device's storage is full.");
}

TEST_F(ClientTest, ShortenedLimitsGiveNotRunningAndTimeout) {
  TestDevice device;
  FakeManager manager(&device);
  KernelDeviceClient client;
  ASSERT_EQ(Connect(client), 1);

  // Not taken within the taken limit (300 ms).
  manager.answering = false;
  auto t0 = std::chrono::steady_clock::now();
  ExpectNotRunning(Caught([&] { client.GetModelName(); }));
  auto waited = std::chrono::steady_clock::now() - t0;
  EXPECT_GE(waited, 280ms);
  EXPECT_LT(waited, 2s);
  manager.answering = true;
  // The withdrawn request never runs later; the next one runs once.
  EXPECT_EQ(client.RefreshStorage(), 1);

  // Taken, but longer than the call limit (600 ms).
  device.refreshDelayMs = 900;
  t0 = std::chrono::steady_clock::now();
  auto e = Caught([&] { client.RefreshStorage(); });
  EXPECT_EQ(e.code(), OpCode(DeviceOp::RefreshStorage));
  EXPECT_EQ(e.source(), "Device Timeout");
  EXPECT_EQ(e.detail(),
            "Your device did not complete an operation within 60 seconds.\nThis is not a crash.  Contact Quorvane for "
            "help with this issue.");
  waited = std::chrono::steady_clock::now() - t0;
  EXPECT_GE(waited, 580ms);
  EXPECT_LT(waited, 2s);
  // The next request waits for the late one to end and gets its own answer.
  device.refreshDelayMs = 0;
  EXPECT_EQ(client.RefreshStorage(), 3);
}

// The manager still marks a request as served for a moment after its answer is out. A
// proxy that woke first (on the manager's CPU, say) writes its next request at once: it
// waited for that moment by pausing, a millisecond per request once the threads had gone
// idle.
TEST_F(ClientTest, NextRequestDoesNotWaitForTheManagerToEndAnAnsweredOne) {
  MemoryDevice device;
  const KernelId track = device.AddTrack({.title = "T", .year = 1999});
  FakeManager manager(&device);
  manager.finishesLate = true;
  KernelDeviceClient client;
  ASSERT_EQ(Connect(client), 1);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(client.GetTrackYear(track), 1999) << "request " << i;
}

TEST_F(ClientTest, DisabledManagerTimeoutIsReadWhenConnecting) {
  TestDevice device;
  device.refreshDelayMs = 900;
  FakeManager manager(&device);
  KernelDeviceClient client;
  WriteSettingDword("Gen_DisableManagerTimeout", 1);
  ASSERT_EQ(Connect(client), 1);
  DeleteSetting("Gen_DisableManagerTimeout");
  EXPECT_EQ(client.RefreshStorage(), 1);
}

// The device sends its transfer notice to the progress window, which lives on the very
// thread that waits for the request: the wait serves it, and the window's answer reaches
// the device. A device call from inside that window procedure is refused at once.
TEST_F(ClientTest, WaitsServeNoticesSentToTheWaitingThread) {
  TestDevice device;
  FakeManager manager(&device);
  KernelDeviceClient client;
  ASSERT_EQ(Connect(client), 1);

  platform::RegisterClass("Progress Test");
  std::string nested;
  std::vector<platform::WPARAM> progress;
  HWND window = platform::CreateWindow("Progress Test", 0, [&](HWND, platform::UINT m, platform::WPARAM w, platform::LPARAM) -> platform::LRESULT {
    if (m != WM_UPLOADPROGRESS) return 0;
    progress.push_back(w);
    try {
      client.GetModelName();
    } catch (const KernelDeviceClientException& e) {
      nested = e.source();
    }
    return 99;
  });
  client.SetProgressWindow(window);
  KernelId created;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(client.UploadTrack("a.mp3", TrackRecord(), created), 99);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 250ms);
  EXPECT_EQ(created, KernelId(77));
  EXPECT_EQ(progress, std::vector<platform::WPARAM>{40});
  EXPECT_EQ(nested, "Device Busy");
  platform::DestroyWindow(window);
}

// The manager's information message is shown after the locks are released: another
// thread's request runs while the box is open.
TEST_F(ClientTest, MessageIsShownAfterTheLocksAreReleased) {
  TestDevice device;
  KernelId track = device.AddTrack({.title = "T"});
  FakeManager manager(&device);
  KernelDeviceClient client;
  ASSERT_EQ(Connect(client), 1);

  struct Host : platform::Host {
    KernelDeviceClient* client;
    KernelId track;
    std::string shown, caption, otherThread;
    int MessageBox(const std::string& text, const std::string& cap, platform::UINT) override {
      shown = text;
      caption = cap;
      std::thread other([&] { otherThread = client->GetTrackTitle(track); });
      other.join();
      return platform::IDOK;
    }
  } host;
  host.client = &client;
  host.track = track;
  platform::SetCurrentHost(&host);
  EXPECT_EQ(client.GetOwnerName(), "Owner");
  platform::SetCurrentHost(nullptr);
  EXPECT_EQ(host.shown, "The owner is shown.");
  EXPECT_EQ(host.caption, "Ombrix Jukebox");
  EXPECT_EQ(host.otherThread, "T");
}

TEST_F(ClientTest, ThreadsOfOneProcessGetTheirOwnAnswers) {
  MemoryDevice device;
  std::vector<KernelId> tracks;
  for (int i = 0; i < 8; ++i) tracks.push_back(device.AddTrack({.title = "Title " + std::to_string(i), .year = 1990 + i}));
  FakeManager manager(&device);
  KernelDeviceClient client;
  ASSERT_EQ(Connect(client), 1);
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        std::size_t k = static_cast<std::size_t>((i + t) % 8);
        if (client.GetTrackTitle(tracks[k]) != "Title " + std::to_string(k)) ++wrong;
        if (client.GetTrackYear(tracks[k]) != 1990 + static_cast<int>(k)) ++wrong;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(ClientTest, CapabilityProbeRunsOnceInOrderAndStartsOverAfterAFailure) {
  MemoryDevice device;
  device.SetCapability(DeviceOp::SupportsStorageList, 1);
  device.SetCapability(DeviceOp::SupportsNotes, 0);
  FakeManager manager(&device);
  KernelDeviceClient client;
  ASSERT_EQ(Connect(client), 1);

  // Gone after five answers: the five entries are kept, the rest answer 0.
  manager.answerLimit = 5;
  EXPECT_EQ(client.SupportsStorageList(), 1);
  EXPECT_TRUE(client.IsProbePending());
  EXPECT_EQ(client.SupportsAudio(), 0);  // probes again: nothing answered, nothing thrown
  manager.answerLimit = -1;
  manager.ClearOpcodes();

  EXPECT_EQ(client.SupportsAudio(), 1);
  const std::vector<int> order = {3010, 3060, 3110, 4010, 4320, 5010, 5120, 5130, 6010,
                                  7010, 7011, 8010, 9010, 10010, 11010, 12010, 13010, 2130};
  EXPECT_EQ(manager.Opcodes(), order);
  EXPECT_FALSE(client.IsProbePending());
  EXPECT_EQ(client.SupportsSearch(), 1);
  EXPECT_EQ(client.SupportsNotes(), 0);
  EXPECT_EQ(client.SupportsStorageList(), 1);
  EXPECT_EQ(manager.Opcodes().size(), order.size());  // later questions send nothing
}

TEST_F(ClientTest, RestartedManagerIsReachedAfterReconnecting) {
  MemoryDevice first;
  first.Info().modelName = "First";
  MemoryDevice second;
  second.Info().modelName = "Second";
  KernelDeviceClient client;
  {
    FakeManager manager(&first);
    ASSERT_EQ(Connect(client), 1);
    EXPECT_EQ(client.GetModelName(), "First");
  }
  ExpectNotRunning(Caught([&] { client.GetModelName(); }));
  EXPECT_EQ(client.ReconnectToManager(), 0);
  FakeManager manager(&second);
  ExpectNotRunning(Caught([&] { client.GetModelName(); }));
  EXPECT_EQ(client.ReconnectToManager(), 1);
  EXPECT_EQ(client.GetModelName(), "Second");
}

TEST_F(ClientTest, ManagerWithoutSemaphoresCountsAsNotRunning) {
  const std::string cls = g_ProductIdentity.windowClassName;
  platform::RegisterClass(cls);
  auto mapping = platform::FileMapping::Create(g_ProductIdentity.mappingName, kRequestMappingSize);
  ASSERT_TRUE(mapping);
  HWND window = platform::CreateWindow(cls);
  KernelDeviceClient client;
  ASSERT_EQ(Connect(client), 1);
  ExpectNotRunning(Caught([&] { client.GetModelName(); }));
  EXPECT_EQ(client.SupportsAudio(), 0);
  platform::DestroyWindow(window);
}

TEST(ReportErrorTest, TextsNameTheFailureAndTheAdvice) {
  g_ProductIdentity.InitFromPath("/usr/bin/trayhub");
  struct Case {
    std::exception_ptr error;
    std::string text;
  };
  const std::vector<Case> cases = {
      {std::make_exception_ptr(ManagerNotRunningError()),
       "Could not list.\n\nCode: 0x0\nSource: Device Connection\nDetail: Kestrova Manager is not running.\n\n"
       "You may need to terminate and restart Kestrova Manager (trayhub)."},
      {std::make_exception_ptr(ManagerTimeoutError(4040)),
       "Could not list.\n\nCode: 0xFC8\nSource: Device Timeout\nDetail: Your device did not complete an operation "
       "within 60 seconds.\nThis is not a crash.  Contact Quorvane for help with this issue.\n\n"
       "You may need to terminate and restart Kestrova Manager (trayhub)."},
      {std::make_exception_ptr(KernelDeviceClientException(platform::E_UNEXPECTED, "Jukebox", "Lost.")),
       "Could not list.\n\nCode: 0x8000FFFF\nSource: Jukebox\nDetail: Lost.\n\nIf this problem persists, try "
       "switching driver modes.\nSelect 'Kestrova Manager Options' from the systray\nicon to access this option.  "
       "See our Known Issues page for more details."},
      {std::make_exception_ptr(std::bad_alloc()),
       "Could not list.\n\nDetail: std::bad_alloc\n\nYou may need to terminate and restart Kestrova Manager (trayhub)."},
      {std::make_exception_ptr(42),
       "Could not list.\n\nDetail: \n\nYou may need to terminate and restart Kestrova Manager (trayhub)."},
  };
  for (const auto& c : cases) {
    platform::ScriptedHost host;
    host.ExpectMessageBox(platform::IDOK);
    KernelDeviceClient::ReportError("Could not list.", c.error);
    ASSERT_EQ(host.shown().size(), 1u);
    EXPECT_EQ(host.shown()[0].text, c.text);
    EXPECT_EQ(host.shown()[0].caption, "Ombrix Jukebox");
    EXPECT_EQ(host.shown()[0].flags, platform::MB_ICONINFORMATION);
  }
}

}  // namespace

}  // namespace device
