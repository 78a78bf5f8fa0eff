// The driver and its device's connection: result map and error texts, the SDK check and
// its message, connecting and disconnecting, SDK strings, installed driver versions.
#include "driver/driver_clsdk3.h"
#include "driver/sdk_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>

#include "testing/driver.h"

namespace driver {

using namespace device;

namespace {

using namespace drivertest;

const bool kIsolated = platform::testing::IsolateNamespace();

std::string FallbackText(const char* hex) {
  return std::string("Dozi Driver Error: 0x") + hex +
         "\n\nThe Dozi driver could not read this file, it may be corrupted.\nTry re-ripping it from the source CD.";
}

TEST(SdkErrorTextTest, EveryCodeOfTheTableAndTheFallback) {
  std::set<std::uint32_t> seen;
  for (const platform::SdkResultRow& row : platform::kSdkResultRows) {
    EXPECT_TRUE(seen.insert(row.code).second) << "twice: " << row.name;
    EXPECT_NE(row.code, platform::kSdkOk) << row.name;
    const std::string text = SdkErrorText(row.code);
    if (row.text.empty()) {
      EXPECT_EQ(text.rfind("Dozi Driver Error: 0x", 0), 0u) << row.name;
    } else {
      EXPECT_EQ(text, row.text) << row.name;
    }
  }
  // Codes the driver shows by name, and the two it turns into statuses of its own.
  EXPECT_EQ(SdkErrorText(platform::kSdkErrDownloadDiskFull), "Could not download, disk is full.");
  EXPECT_EQ(SdkErrorText(platform::kSdkErrFail), "Unspecified failure.");
  EXPECT_EQ(SdkErrorText(platform::kSdkErrFileExists), FallbackText("8B"));
  EXPECT_EQ(SdkErrorText(platform::kSdkErrFolderExists), FallbackText("1700"));
  EXPECT_EQ(SdkErrorText(0x1234), FallbackText("1234"));
}

TEST(SdkStringTest, TheSdkKeepsAtMost255Characters) {
  EXPECT_EQ(AnsiToBstr(std::string(255, 'a'))->size(), 255u);
  EXPECT_FALSE(AnsiToBstr(std::string(256, 'a')).has_value());
  EXPECT_EQ(*AnsiToBstr("Bj\xC3\xB6rk"), u"Bj\u00F6rk");  // characters, not bytes
  std::string out = "kept";
  EXPECT_FALSE(BstrToAnsi(u"", out));
  EXPECT_FALSE(BstrToAnsi(std::u16string(256, u'x'), out));
  EXPECT_EQ(out, "kept");
  EXPECT_TRUE(BstrToAnsi(u"\u00C5se", out));
  EXPECT_EQ(out, "\xC3\x85se");
}

// ---- Result map, on a device whose SDK is never asked ----

class ResultMapTest : public DriverTest {
 protected:
  ResultMapTest() { connectAtStart_ = false; }
};

TEST_F(ResultMapTest, OwnStatusesLeaveTheReplyAloneEverythingElseReportsCodeAndText) {
  const struct {
    std::uint32_t result;
    int status;
  } kMapped[] = {{0, 0}, {0x18, 6}, {0x83, 8}, {0x8B, 7}, {0x8D, 2}, {0x1700, 11}};
  for (const auto& row : kMapped) {
    Block().replyCode = 77;
    Block().replyText.Set("untouched");
    EXPECT_EQ(device_->MapSdkResult(row.result), row.status) << std::hex << row.result;
    EXPECT_EQ(Block().replyCode, 77);
    EXPECT_EQ(Block().replyText.Str(), "untouched");
  }
  const struct {
    std::uint32_t result;
    const char* firstLine;
  } kFailed[] = {{0x8F, "Selected file path is invalid, or disk is full."},
                 {0x80, "Device not connected."},
                 {0x80004005, "Unspecified failure."},
                 {0x1234, "Dozi Driver Error: 0x1234"}};
  for (const auto& row : kFailed) {
    EXPECT_EQ(device_->MapSdkResult(row.result), 1);
    EXPECT_EQ(static_cast<std::uint32_t>(Block().replyCode), row.result);
    EXPECT_EQ(Block().replyText.Str().substr(0, Block().replyText.Str().find('\n')), row.firstLine);
  }
}

// ---- The SDK check ----

std::uint32_t g_fakeTick = 0;
std::uint32_t FakeTick() { return g_fakeTick; }

TEST_F(ResultMapTest, MissingSdkIsReportedOnlyOnASecondFailureWithinFiveSeconds) {
  platform::SetVendorSdkInstalled(false);
  MakeDevice();
  ASSERT_EQ(device_->GetSdk(), nullptr);
  KernelDeviceCLSDK3::SetCheckClockForTesting(FakeTick);
  platform::ScriptedHost host;
  g_fakeTick = 100000;
  device_->Connect();  // first failure: silent
  EXPECT_EQ(device_->IsConnected(), 0);
  EXPECT_TRUE(host.shown().empty());

  host.ExpectMessageBox(platform::IDOK, "not properly installed");
  g_fakeTick += 3000;
  device_->Connect();
  ASSERT_EQ(host.shown().size(), 1u);
  EXPECT_EQ(host.shown()[0].text,
            "The Dozi device drivers are not properly installed.\n\nOmbrix Suite needs at least these drivers to be "
            "installed in order to run.\nPlease install the latest drivers.\n\nIf you are sure the drivers are "
            "installed, then see section 2.1.1\nof the Fennwick on our website, or send us an e-mail at\n"
            "support@quorvane.example.");
  EXPECT_EQ(host.shown()[0].flags & platform::MB_ICONMASK, platform::MB_ICONINFORMATION);

  g_fakeTick += 6000;
  device_->Connect();
  EXPECT_EQ(host.shown().size(), 1u);
  // Without an SDK object every operation answers "not connected" instead of failing hard.
  EXPECT_EQ(device_->GetModelName(), "");
  EXPECT_EQ(device_->SetVolume(3), 1);
  EXPECT_EQ(Block().replyText.Str(), "Device not connected.");
  KernelId track;
  EXPECT_EQ(device_->GetFirstAudioTrack(track), 0);
}

TEST_F(ResultMapTest, FailedInitialisationTellsTheUserAndAMissingPlayerIsSilent) {
  platform::ScriptedHost host;
  player_->InjectFault(platform::SimFault::kInitializeFails, 1);
  host.ExpectMessageBox(platform::IDOK, "The device driver could not be initialized.");
  device_->Connect();
  EXPECT_EQ(device_->IsConnected(), 0);

  player_->InjectFault(platform::SimFault::kNoDevice, 1);
  device_->Connect();
  EXPECT_EQ(device_->IsConnected(), 0);
  EXPECT_EQ(sdk_->Calls("Shutdown"), 1);  // the SDK is closed again
  EXPECT_EQ(host.shown().size(), 1u);

  device_->Connect();
  EXPECT_EQ(device_->IsConnected(), 1);
}

TEST_F(ResultMapTest, ADamagedPlayerIsNotConnectedAndTheLogSaysWhy) {
  player_.reset();
  std::filesystem::remove(dir_ + "/player/player.txt");
  platform::ScriptedHost host;
  host.ExpectMessageBox(platform::IDOK, "The device driver could not be initialized.");
  ::testing::internal::CaptureStderr();
  device_->Connect();
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(device_->IsConnected(), 0);
  EXPECT_EQ(host.shown().size(), 1u);
  EXPECT_NE(log.find("is damaged: player.txt missing."), std::string::npos) << log;
}

TEST_F(ResultMapTest, ConnectFindsRootsInAnyCaseAndConnectingTwiceAsksNothing) {
  ASSERT_NE(sdk_, nullptr);
  sdk_->rootFilter = [](SdkItem* item) {
    if (item->name == u"PLAY LISTS") item->name = u"Play Lists";
    if (item->name == u"DATA") item->name = u"data";
  };
  device_->Connect();
  ASSERT_EQ(device_->IsConnected(), 1);
  EXPECT_EQ(DataRoot().word[0], platform::kSdkDataRootId);
  KernelId list;
  EXPECT_EQ(device_->CreatePlaylist("Found", list), 0);  // the playlist root was found
  const int calls = sdk_->TotalCalls();
  device_->Connect();
  EXPECT_EQ(sdk_->TotalCalls(), calls);

  device_->Disconnect();
  EXPECT_EQ(device_->IsConnected(), 0);
  EXPECT_EQ(sdk_->Calls("Shutdown"), 1);
  device_->Disconnect();
  EXPECT_EQ(sdk_->Calls("Shutdown"), 1);
  device_->Connect();
  EXPECT_EQ(device_->IsConnected(), 1);
}

TEST_F(ResultMapTest, ConnectAndDisconnectShowTheProgressPopUpUnlessSwitchedOff) {
  DlgSystrayProgress* popup = driver_->GetSystrayProgress();
  device_->Connect();
  EXPECT_EQ(popup->GetShowCount(), 1);
  EXPECT_FALSE(popup->IsVisible());
  EXPECT_EQ(popup->GetText(), "Connecting...");
  device_->Disconnect();
  EXPECT_EQ(popup->GetShowCount(), 2);
  EXPECT_EQ(popup->GetText(), "Disconnecting...");
  EXPECT_EQ(popup->GetPos(), 3);  // its three steps
  EXPECT_FALSE(popup->IsVisible());

  key_->SetDword("Gen_DisableSystrayProgress", 1);
  device_->Connect();
  device_->Disconnect();
  EXPECT_EQ(popup->GetShowCount(), 2);
}

TEST_F(ResultMapTest, TheDriverKeepsTrackOfItsDevices) {
  ASSERT_EQ(driver_->GetDevices().size(), 1u);
  EXPECT_EQ(driver_->GetDevices()[0], device_.get());
  EXPECT_EQ(KernelDeviceCLSDK3::Current(), device_.get());
  EXPECT_EQ(device_->CheckDriverDevice(), 1);
  EXPECT_EQ(driver_->GetName(), "");
  device_.reset();
  EXPECT_TRUE(driver_->GetDevices().empty());
  EXPECT_EQ(KernelDeviceCLSDK3::Current(), nullptr);
}

// ---- Installed driver versions ----

class DriverVersionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SettingsKey::Delete(platform::Hive::LocalMachine, "SYSTEM");
    dir_ = std::string(std::getenv("TOVARIN_HOME")) + "/versions";
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { platform::SettingsKey::Delete(platform::Hive::LocalMachine, "SYSTEM"); }
  static void AddClassDriver(const std::string& classKey, const std::string& sub, const std::string& match,
                             const char* version) {
    auto key = platform::SettingsKey::Create(platform::Hive::LocalMachine,
                                             "SYSTEM\\CurrentControlSet\\Control\\Class\\" + classKey + "\\" + sub);
    key.SetString("MatchingDeviceId", match);
    if (version != nullptr) key.SetString("DriverVersion", version);
  }
  // A file with a version block.
  std::string VersionedFile(const std::string& name, std::uint16_t a, std::uint16_t b, std::uint16_t c,
                            std::uint16_t d) {
    const std::string path = dir_ + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out << "some bytes before TOVVERSIONBLOCK1";
    for (std::uint16_t w : {a, b, c, d}) out.put(char(w & 0xFF)).put(char(w >> 8));
    out << "after";
    return path;
  }
  std::string dir_;
};

TEST_F(DriverVersionTest, ClassDriversMatchTheHardwareIdWithoutRegardToCase) {
  const std::string usb = "{36FC9E60-C465-11CF-8056-444553540000}";
  AddClassDriver(usb, "0000", "usb\\vid_041e&pid_4100", "5.1.0.1");
  AddClassDriver(usb, "0001", "usb\\vid_041e&pid_4111", "6.0.1.7");
  AddClassDriver("{6BDD1FC1-810F-11D0-BEC7-08002BE2092F}", "0000", "1394\\dozi&jb", "2.2.2.2");
  AddClassDriver(usb, "0002", "usb\\vid_041e&pid_4999", nullptr);
  EXPECT_EQ(GetClassDriverVersion("USB\\VID_041E&PID_4111"), "6.0.1.7");
  EXPECT_EQ(GetClassDriverVersion("1394\\DOZI&JB"), "2.2.2.2");
  EXPECT_EQ(GetClassDriverVersion("usb\\vid_041e&pid_4999"), "1.0.0");  // no version value
  EXPECT_EQ(GetClassDriverVersion("usb\\vid_041e&pid_4112"), "1.0.0");
  EXPECT_EQ(GetClassDriverVersion("pci\\vid_041e&pid_4111"), "1.0.0");
}

TEST_F(DriverVersionTest, ServiceDriversAreReadFromTheirImageFile) {
  EXPECT_EQ(GetServiceDriverVersion("NMUSB"), "1.0.0");
  auto key = platform::SettingsKey::Create(platform::Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\NMUSB");
  const std::string file = VersionedFile("nmusb.sys", 3, 2, 1, 9);
  key.SetString("ImagePath", "C:" + platform::FromPosixPath(file));
  EXPECT_EQ(GetServiceDriverVersion("NMUSB"), "3.2.1.9");
  // A value without a drive lies under %SystemRoot%.
  ::setenv("SystemRoot", dir_.c_str(), 1);
  VersionedFile("oasis.sys", 4, 0, 0, 2);
  platform::SettingsKey::Create(platform::Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\Oasis")
      .SetString("ImagePath", "oasis.sys");
  EXPECT_EQ(GetServiceDriverVersion("Oasis"), "4.0.0.2");
  ::unsetenv("SystemRoot");
}

class DeviceDriverVersionTest : public DriverTest {};

TEST_F(DeviceDriverVersionTest, TheDeviceKindChoosesTheLookup) {
  platform::SettingsKey::Create(platform::Hive::LocalMachine,
                                "SYSTEM\\CurrentControlSet\\Control\\Class\\{36FC9E60-C465-11CF-8056-444553540000}\\0003")
      .SetString("MatchingDeviceId", "usb\\vid_041e&pid_4111");
  platform::SettingsKey::Create(platform::Hive::LocalMachine,
                                "SYSTEM\\CurrentControlSet\\Control\\Class\\{36FC9E60-C465-11CF-8056-444553540000}\\0003")
      .SetString("DriverVersion", "7.7.0.1");
  EXPECT_EQ(device_->GetDriverVersion(), "7.7.0.1");  // kind 5
  KernelDriverCLSDK3 other(folder_);
  device_.reset();
  auto kind7 = other.CreateDevice(KernelId(7), KernelId(1));
  EXPECT_EQ(kind7->GetDriverVersion(), "1.0.0");
  platform::SettingsKey::Delete(platform::Hive::LocalMachine, "SYSTEM");
}

}  // namespace

}  // namespace driver
