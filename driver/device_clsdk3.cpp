// KernelDeviceCLSDK3: the SDK object and the receiver window, the SDK check, connecting,
// the notices, the result map, and the device, track, transfer and data-item operations.
#include "driver/device_clsdk3.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/identity.h"
#include "common/settings.h"
#include "device/codec.h"
#include "device/device_error.h"
#include "device/device_client_error.h"
#include "driver/kernel_driver.h"
#include "driver/sdk_support.h"
#include "platform/ui/host.h"
#include "platform/window/wait.h"
#include "platform/window/window.h"
#include "platform/paths/paths.h"
#include "platform/text/little_endian.h"
#include "platform/text/text.h"
#include "platform/vendorsdk/attribute_block.h"

namespace driver {

using namespace device;

using platform::SdkItem;
using platform::SdkResult;

namespace {

KernelDeviceCLSDK3* g_currentDevice = nullptr;

constexpr unsigned kDefaultFolderWaitMs = 10000;
constexpr unsigned kDefaultTransferIdleMs = 60000;
unsigned g_folderWaitMs = kDefaultFolderWaitMs;
unsigned g_transferIdleMs = kDefaultTransferIdleMs;
std::uint32_t (*g_checkClock)() = nullptr;

std::uint32_t CheckClock() { return g_checkClock != nullptr ? g_checkClock() : platform::GetTickCount(); }

constexpr std::size_t kAttributeBufferSize = 4096;
// A block larger than this is not an attribute block of any item.
constexpr std::uint32_t kMaxAttributeBlock = 1u << 20;

constexpr const char* kSupportAddress = "support@quorvane.example";

// Model words of device kinds 1, 4 and 5.
constexpr const char* kModelWordKind1 = "Jukebox";
constexpr const char* kModelWordKind4 = "Z";
constexpr const char* kModelWordKind5 = "DJ";

const char16_t* OrNull(const std::optional<platform::SdkString>& s) {
  return s ? s->c_str() : nullptr;
}

// The SDK while there is no SDK object: the player is never there.
class AbsentSdk final : public platform::VendorSdk {
 public:
  SdkResult Initialize() override { return platform::kSdkErrDriverLoad; }
  SdkResult Shutdown() override { return platform::kSdkOk; }
  SdkResult SetNotifyWindow(int, platform::HWND) override { return No(); }
  SdkResult GetDeviceCount(int* count) override {
    if (count != nullptr) *count = 0;
    return No();
  }
  SdkResult GetSdkVersion(std::uint16_t version[4]) override {
    if (version != nullptr) std::fill(version, version + 4, std::uint16_t(0));
    return No();
  }
  SdkResult FindFirstRootItem(int, SdkItem*) override { return No(); }
  SdkResult FindNextRootItem(int, SdkItem*) override { return No(); }
  SdkResult FindFirstPlaylist(int, const SdkItem&, SdkItem*) override { return No(); }
  SdkResult FindNextPlaylist(int, const SdkItem&, SdkItem*) override { return No(); }
  SdkResult CreatePlaylist(int, const SdkItem&, SdkItem*) override { return No(); }
  SdkResult DeletePlaylist(int, const SdkItem&) override { return No(); }
  SdkResult RenamePlaylist(int, const SdkItem&, const char16_t*) override { return No(); }
  SdkResult AddTracksToPlaylist(int, const SdkItem&, std::uint32_t, const SdkItem*) override { return No(); }
  SdkResult FindFirstChild(int, const SdkItem&, SdkItem*) override { return No(); }
  SdkResult FindNextChild(int, const SdkItem&, SdkItem*) override { return No(); }
  SdkResult GetItemAttributes(int, const SdkItem&, std::uint32_t, std::uint32_t*, void*) override { return No(); }
  SdkResult SetItemAttribute(int, const SdkItem&, const char16_t*, std::uint16_t, std::uint32_t,
                             const void*) override {
    return No();
  }
  SdkResult AddItem(int, std::uint32_t, const char16_t*, std::uint32_t, const void*) override { return No(); }
  SdkResult DeleteItem(int, const SdkItem&) override { return No(); }
  SdkResult GetItemToFile(int, const char16_t*, const SdkItem&) override { return No(); }
  SdkResult GetDeviceProperty(int, std::uint32_t, void*, std::uint32_t) override { return No(); }
  SdkResult SetDeviceProperty(int, std::uint32_t, const void*, std::uint32_t) override { return No(); }
  SdkResult PlaybackControl(int, std::uint32_t, void*) override { return No(); }

 private:
  static SdkResult No() { return platform::kSdkErrNotConnected; }
};

// Runs of backslashes become one.
std::string CollapseBackslashes(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    if (c == '\\' && !out.empty() && out.back() == '\\') continue;
    out += c;
  }
  return out;
}

std::string LastComponent(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\/");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

int ClampToInt(std::int64_t v) {
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

// kbit/s from the size and the length (a length of 0 or less counts as 1 s). The size is
// the player's unsigned byte count; 64 bits hold size x 8 of any file.
int BitrateOf(const TrackRecord& r) {
  const std::int64_t bytes = static_cast<std::uint32_t>(r.fileSize);
  const std::int64_t seconds = r.length > 0 ? r.length : 1;
  return ClampToInt(bytes * 8 / (seconds * 1000));
}

std::string DriversMissingText() {
  return "The Dozi device drivers are not properly installed.\n\n" + g_ProductIdentity.suiteName +
         " needs at least these drivers to be installed in order to run.\nPlease install the latest "
         "drivers.\n\nIf you are sure the drivers are installed, then see section 2.1.1\nof the "
         "Fennwick on our website, or send us an e-mail at\n" +
         std::string(kSupportAddress) + ".";
}

}  // namespace

// ---- Life cycle ----

KernelDeviceCLSDK3::KernelDeviceCLSDK3(KernelDriver* driver, SdkMaker makeSdk, const KernelId& device,
                                       const KernelId& segment)
    : KernelDevice(driver, device, segment),
      driver_(driver),
      makeSdk_(std::move(makeSdk)),
      allTracks_(Item(platform::kSdkAllTracksId, platform::kSdkTrack)),
      attributeBuffer_(kAttributeBufferSize, 0) {
  trackCache_.Clear();
  g_currentDevice = this;
}

KernelDeviceCLSDK3::~KernelDeviceCLSDK3() {
  sdk_.reset();  // releasing the SDK object shuts it down
  if (receiver_ != 0 && platform::IsWindow(receiver_)) platform::DestroyWindow(receiver_);
  if (g_currentDevice == this) g_currentDevice = nullptr;
  if (driver_ != nullptr) driver_->ForgetDevice(this);
}

KernelDeviceCLSDK3* KernelDeviceCLSDK3::Current() { return g_currentDevice; }

void KernelDeviceCLSDK3::SetWaitLimitsForTesting(unsigned folderMs, unsigned transferIdleMs) {
  g_folderWaitMs = folderMs != 0 ? folderMs : kDefaultFolderWaitMs;
  g_transferIdleMs = transferIdleMs != 0 ? transferIdleMs : kDefaultTransferIdleMs;
}

void KernelDeviceCLSDK3::SetCheckClockForTesting(std::uint32_t (*tickCount)()) { g_checkClock = tickCount; }

platform::VendorSdk& KernelDeviceCLSDK3::Sdk() {
  static AbsentSdk absent;
  return sdk_ ? *sdk_ : absent;
}

int KernelDeviceCLSDK3::CreateSdkObject() {
  const bool kind5 = GetDeviceId().word[0] == 5;
  const char* className = kind5 ? "QV_CDMessageReceiver" : "QV_CCMessageReceiver";
  platform::RegisterClass(className);  // fails harmlessly when this process has it already
  receiver_ = platform::CreateWindow(
      className, 0, [this](platform::HWND h, platform::UINT m, platform::WPARAM w, platform::LPARAM l) -> platform::LRESULT {
        // Each receiver window serves the device that made it (it dies with the device).
        if (m >= platform::kSdkUploadProgress && m <= platform::kSdkDeviceRemoved) {
          OnSdkNotice(m, w, l);
          return 0;
        }
        return platform::DefWindowProc(h, m, w, l);
      });
  DisableVendorMp3Library();
  sdk_ = makeSdk_ ? makeSdk_() : nullptr;
  lastFailedCheck_ = 0;
  return sdk_ ? 1 : 0;
}

int KernelDeviceCLSDK3::CheckSdkPresent() {
  if (sdk_) return 1;
  std::uint32_t now = CheckClock();
  // Only a second failure within 5 s of the previous one is reported.
  if (hadFailedCheck_ && lastFailedCheck_ + 5000 > now) {
    ShowMessageBox(DriversMissingText(), platform::MB_ICONINFORMATION);
    now = CheckClock();
  }
  hadFailedCheck_ = true;
  lastFailedCheck_ = now;
  return 0;
}

// Completion notices pass the SDK's code on as they got it.
static_assert(kNoticeStorageFull == static_cast<int>(platform::kSdkErrStorageFull));

int KernelDeviceCLSDK3::MapSdkResult(SdkResult result) {
  switch (result) {
    case platform::kSdkOk:
      return kStatusOk;
    case platform::kSdkErrCopyProtected:
      return kStatusRefused;
    case platform::kSdkErrStorageFull:
      return kStatusStorageFull;
    case platform::kSdkErrFileExists:
      return kStatusFileExists;
    case platform::kSdkErrBusy:
      return kStatusBusy;
    case platform::kSdkErrFolderExists:
      return kStatusFolderExists;
    default:
      SetReplyError(static_cast<int>(result), SdkErrorText(result));
      return kStatusFailed;
  }
}

// ---- Notices and waits ----

void KernelDeviceCLSDK3::OnSdkNotice(platform::UINT message, platform::WPARAM wParam,
                                     platform::LPARAM lParam) {
  try {
    switch (message) {
      case platform::kSdkUploadProgress:
        lastTransferNotice_ = platform::GetTickCount();
        if (!cancel_) NotifyUploadProgress(static_cast<int>(wParam));
        break;
      case platform::kSdkUploadDone:
        lastTransferNotice_ = platform::GetTickCount();
        uploadRunning_ = 0;
        newItemId_ = static_cast<std::uint32_t>(lParam);
        uploadDoneSeen_ = 1;
        lastUploadResult_ = static_cast<SdkResult>(wParam);
        // The track index may have been rebuilt while the file was on its way.
        if (newItemId_ != 0) InvalidateTrackIndex();
        NotifyUploadDone(KernelId(newItemId_), static_cast<int>(wParam));
        break;
      case platform::kSdkDownloadProgress:
        lastTransferNotice_ = platform::GetTickCount();
        if (!cancel_) NotifyDownloadProgress(static_cast<int>(wParam));
        break;
      case platform::kSdkDownloadDone:
        lastTransferNotice_ = platform::GetTickCount();
        downloadRunning_ = 0;
        NotifyDownloadDone(KernelId(0), static_cast<int>(wParam));
        break;
      case platform::kSdkPlaybackStopped:
        if (!IsPlaybackStopped()) NotifyStopped(1);
        break;
      case platform::kSdkTrackStarted:
        NotifyNowPlaying(static_cast<int>(wParam));
        break;
      case platform::kSdkDeviceRemoved:
        Disconnect();
        break;
      default:
        break;
    }
  } catch (const std::exception& e) {
    // A notice has nobody to report to; the message loop must go on.
    std::fprintf(stderr, "trayhub: the player's notice %u failed: %s\n", message, e.what());
  }
}

unsigned KernelDeviceCLSDK3::TransferIdleLimitMs() { return g_transferIdleMs; }

bool KernelDeviceCLSDK3::PumpUntil(const std::function<bool()>& done, unsigned limitMs, bool idle) {
  const std::uint32_t start = platform::GetTickCount();
  while (!done()) {
    if (!connected_) return false;
    std::uint32_t from = start;
    if (idle && static_cast<std::int32_t>(lastTransferNotice_ - start) > 0) from = lastTransferNotice_;
    if (platform::GetTickCount() - from >= limitMs) return false;
    platform::PumpMessages();
  }
  return true;
}

void KernelDeviceCLSDK3::EndRunningTransfers() {
  if (uploadRunning_) {
    uploadRunning_ = 0;
    NotifyUploadDone(KernelId(0), static_cast<int>(platform::kSdkErrNotConnected));
  }
  if (downloadRunning_) {
    downloadRunning_ = 0;
    NotifyDownloadDone(KernelId(0), static_cast<int>(platform::kSdkErrNotConnected));
  }
}

// ---- Connection ----

void KernelDeviceCLSDK3::Connect() {
  if (!CheckSdkPresent()) {
    connected_ = 0;
    return;
  }
  if (connected_) return;
  DisableVendorMp3Library();
  SystrayProgressScope scope(driver_ != nullptr ? driver_->GetSystrayProgress() : nullptr,
                             "Connecting...", 5);
  scope.Step();
  InvalidateTrackIndex();
  InvalidatePlaylistCache();
  trackCacheKey_ = KernelId();
  dataCacheKey_ = KernelId();
  connected_ = 0;
  const int dev = SdkDeviceNumber();
  if (Sdk().Initialize() != platform::kSdkOk) {
    ShowMessageBox("The device driver could not be initialized.", platform::MB_ICONINFORMATION);
    return;
  }
  scope.Step();
  int count = 0;
  if (Sdk().GetDeviceCount(&count) != platform::kSdkOk || count == 0) {
    Sdk().Shutdown();
    return;
  }
  connected_ = count > 0 ? 1 : 0;
  scope.Step();
  Sdk().SetNotifyWindow(dev, receiver_);
  scope.Step();
  SdkItem root;
  for (SdkResult r = Sdk().FindFirstRootItem(dev, &root); r == platform::kSdkOk;
       r = Sdk().FindNextRootItem(dev, &root)) {
    scope.Step();
    std::string name;
    BstrToAnsi(root.name, name);
    if (platform::EqualsNoCase(name, "PLAY LISTS")) playlistRoot_ = root;
    if (platform::EqualsNoCase(name, "DATA")) dataRoot_ = root;
  }
  FinishPlaylistRewrites();
  scope.Step();
}

void KernelDeviceCLSDK3::Disconnect() {
  DisableVendorMp3Library();
  SystrayProgressScope scope(driver_ != nullptr ? driver_->GetSystrayProgress() : nullptr,
                             "Disconnecting...", 3);
  scope.Step();
  KernelDevice::Disconnect();
  InvalidateTrackIndex();
  trackWalks_.clear();
  scope.Step();
  if (connected_) {
    connected_ = 0;
    Sdk().Shutdown();
  }
  // The SDK drops the transfers it was running without a word: they end here.
  EndRunningTransfers();
  trackCacheKey_ = KernelId();
  dataCacheKey_ = KernelId();
  scope.Step();
}

int KernelDeviceCLSDK3::IsConnected() { return connected_; }

int KernelDeviceCLSDK3::IsConnectedModel(std::string_view model) {
  if (!connected_) return 0;
  return GetModelName().find(model) != std::string::npos ? 1 : 0;
}

void KernelDeviceCLSDK3::InvalidateTrackIndex() {
  KernelDevice::InvalidateTrackIndex();
  audioCount_ = audioKB_ = dataKB_ = dataCount_ = dataChildren_ = playlistCount_ = -1;
}

int KernelDeviceCLSDK3::InvalidatePlaylistCache() {
  playlistCount_ = -1;
  return KernelDevice::InvalidatePlaylistCache();
}

// ---- Device ----

void KernelDeviceCLSDK3::ShowSdkVersion() {
  if (GetOwner() == nullptr) return;
  std::uint16_t v[4] = {0, 0, 0, 0};
  Sdk().GetSdkVersion(v);
  char text[64];
  std::snprintf(text, sizeof text, "Version %u.%u.%u.%u", unsigned(v[0]), unsigned(v[1]),
                unsigned(v[2]), unsigned(v[3]));
  SetReplyMessage(text);
}

int KernelDeviceCLSDK3::VerifyDeviceModel(const KernelId& expectedKind, FixedString256& expected,
                                          FixedString256& actual) {
  const std::uint32_t kind = expectedKind.word[0];
  std::string designation;
  switch (kind) {
    case 1: designation = kModelWordKind1; break;
    case 2: designation = "2"; break;
    case 3: designation = "3"; break;
    case 4: designation = kModelWordKind4; break;
    case 5: designation = kModelWordKind5; break;
    default: break;
  }
  Connect();
  if (!connected_) return 1;
  const std::string model = GetModelName();
  if (!designation.empty() && model.find(designation) == std::string::npos) {
    if (kind == 1) designation = "1";
    expected.Set("Jukebox " + designation);
    actual.Set(model);
    return 0;
  }
  return 1;
}

void KernelDeviceCLSDK3::Op2040() {}

bool KernelDeviceCLSDK3::GetProperty(std::uint32_t id, void* buffer, std::uint32_t size,
                                     SdkResult* result) {
  std::memset(buffer, 0, size);
  *result = Sdk().GetDeviceProperty(SdkDeviceNumber(), id, buffer, size);
  return *result == platform::kSdkOk;
}

int KernelDeviceCLSDK3::GetIntProperty(std::uint32_t id) {
  std::int32_t v = 0;
  SdkResult r;
  if (!GetProperty(id, &v, sizeof v, &r)) return MapSdkResult(r);
  return v;
}

int KernelDeviceCLSDK3::SetIntProperty(std::uint32_t id, int value) {
  const std::int32_t v = value;
  return MapSdkResult(Sdk().SetDeviceProperty(SdkDeviceNumber(), id, &v, sizeof v));
}

std::string KernelDeviceCLSDK3::GetStringProperty(std::uint32_t id) {
  // Room for the longest name the SDK keeps and its terminator.
  char16_t buffer[platform::kSdkMaxNameLength + 1];
  SdkResult r;
  if (!GetProperty(id, buffer, sizeof buffer, &r)) return std::string();
  std::u16string_view text(buffer, platform::kSdkMaxNameLength + 1);
  text = text.substr(0, text.find(u'\0'));
  return platform::SdkStringToUtf8(text);
}

std::string KernelDeviceCLSDK3::GetVersionProperty(std::uint32_t id) {
  std::uint16_t v[4];
  SdkResult r;
  if (!GetProperty(id, v, sizeof v, &r)) return std::string();
  char text[64];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned(v[0]), unsigned(v[1]), unsigned(v[2]),
                unsigned(v[3]));
  return text;
}

std::string KernelDeviceCLSDK3::GetModelName() { return GetStringProperty(platform::kSdkPropModelName); }
std::string KernelDeviceCLSDK3::GetHardwareVersion() { return GetVersionProperty(platform::kSdkPropHardwareVersion); }
std::string KernelDeviceCLSDK3::GetFirmwareVersion() { return GetVersionProperty(platform::kSdkPropFirmwareVersion); }
std::string KernelDeviceCLSDK3::GetOwnerName() { return GetStringProperty(platform::kSdkPropOwnerName); }

std::string KernelDeviceCLSDK3::GetDriverVersion() {
  auto firstFound = [](std::initializer_list<const char*> ids) {
    for (const char* id : ids) {
      std::string v = GetClassDriverVersion(id);
      if (v != "1.0.0") return v;
    }
    return std::string("1.0.0");
  };
  switch (GetDeviceId().word[0]) {
    case 0: return GetServiceDriverVersion("NMUSB");
    case 1: return GetServiceDriverVersion("Oasis");
    case 2: return GetClassDriverVersion("usb\\vid_041e&pid_4100");
    case 3: return firstFound({"usb\\vid_041e&pid_4101", "usb\\vid_041e&pid_4130"});
    case 4:
      return firstFound({"usb\\vid_041e&pid_4110", "usb\\vid_041e&pid_4109", "usb\\vid_041e&pid_410b",
                         "usb\\vid_041e&pid_4108", "usb\\vid_041e&pid_4131"});
    case 5: return GetClassDriverVersion("usb\\vid_041e&pid_4111");
    default: return "1.0.0";
  }
}

std::string KernelDeviceCLSDK3::GetDeviceUniqueId() {
  std::uint8_t id[20];
  SdkResult r;
  if (!GetProperty(platform::kSdkPropUniqueId, id, sizeof id, &r)) return std::string();
  std::string text;
  char hex[3];
  for (int i = 0; i < 16; ++i) {
    std::snprintf(hex, sizeof hex, "%02X", unsigned(id[i]));
    text += hex;
  }
  return text;
}

int KernelDeviceCLSDK3::SetOwnerName(std::string_view name) {
  const std::optional<platform::SdkString> text = AnsiToBstr(name);
  const SdkResult r = Sdk().SetDeviceProperty(
      SdkDeviceNumber(), platform::kSdkPropOwnerName, OrNull(text),
      text ? std::uint32_t((text->size() + 1) * sizeof(char16_t)) : 0);
  return MapSdkResult(r);
}

int KernelDeviceCLSDK3::Op2120() { return GetIntProperty(platform::kSdkPropProperty4); }

int KernelDeviceCLSDK3::GetDeviceTime() {
  std::int16_t c[8];
  SdkResult r;
  // A clock that could not be read is no time at all.
  if (!GetProperty(platform::kSdkPropClock, c, sizeof c, &r)) return 0;
  std::tm tm = platform::TmFromClockFields(c);
  return static_cast<int>(std::mktime(&tm));
}

int KernelDeviceCLSDK3::SetDeviceTime(int time) {
  std::int16_t c[8] = {0, 0, 0, 0, -1, -1, -1, 0};
  const std::time_t t = time;
  std::tm tm{};
  if (localtime_r(&t, &tm) != nullptr) platform::ClockFieldsFromTm(tm, c);
  return MapSdkResult(Sdk().SetDeviceProperty(SdkDeviceNumber(), platform::kSdkPropClock, c, sizeof c));
}

int KernelDeviceCLSDK3::HasClock() { return 1; }

// ---- Storage ----

int KernelDeviceCLSDK3::SupportsStorageList() { return 0; }
int KernelDeviceCLSDK3::GetFirstStorage(KernelId&) { return 0; }
int KernelDeviceCLSDK3::GetNextStorage(KernelId&) { return 0; }
std::string KernelDeviceCLSDK3::GetStorageName(const KernelId&) { return std::string(); }

int KernelDeviceCLSDK3::SelectStorage(const KernelId&) {
  if (GetDeviceId().word[0] == 0) InvalidateTrackIndex();
  return 0;
}

int KernelDeviceCLSDK3::SupportsStorageFlag2() { return 0; }

int KernelDeviceCLSDK3::RefreshStorage() {
  InvalidateTrackIndex();
  return 0;
}

int KernelDeviceCLSDK3::RecoverMissingTracks() {
  InvalidateTrackIndex();
  SetReplyMessage(
      "This operation is not supported by the driver you are using.\n\nIf your file listing is "
      "incomplete, please see the Troubleshooter webpage\nfor information on the Jukebox "
      "maintenance boot mode.");
  return 0;
}

int KernelDeviceCLSDK3::GetSpaceKB(int half) {
  std::uint32_t v[4];
  SdkResult r;
  if (!GetProperty(platform::kSdkPropSpace, v, sizeof v, &r)) return MapSdkResult(r);
  const std::int64_t bytes = static_cast<std::int64_t>((std::uint64_t(v[2 * half + 1]) << 32) | v[2 * half]);
  return ClampToInt(bytes / 1024);
}

int KernelDeviceCLSDK3::GetTotalSpaceKB() { return GetSpaceKB(0); }
int KernelDeviceCLSDK3::GetFreeSpaceKB() { return GetSpaceKB(1); }

int KernelDeviceCLSDK3::SupportsTrackReorder() { return 0; }
int KernelDeviceCLSDK3::Op3120(int, int) { return 0; }
int KernelDeviceCLSDK3::Op3170() { return 0; }

// ---- Track attributes ----

SdkResult KernelDeviceCLSDK3::ReadAttributeBlock(const SdkItem& item, std::size_t* length) {
  std::fill(attributeBuffer_.begin(), attributeBuffer_.end(), std::uint8_t(0));
  const int dev = SdkDeviceNumber();
  std::uint32_t size = 0;
  if (SdkResult r = Sdk().GetItemAttributes(dev, item, 0, &size, attributeBuffer_.data())) return r;
  // The buffer follows the size the SDK reports, so a large block never overruns it.
  if (size > kMaxAttributeBlock) return platform::kSdkErrFail;
  if (size > attributeBuffer_.size()) attributeBuffer_.resize(size, 0);
  std::uint32_t got = size;
  if (SdkResult r = Sdk().GetItemAttributes(dev, item, size, &got, attributeBuffer_.data())) return r;
  *length = std::min<std::size_t>(got, size);
  return platform::kSdkOk;
}

int KernelDeviceCLSDK3::LoadTrackAttributes(const KernelId& track) {
  if (track.word[0] == trackCacheKey_.word[0] && trackCacheKey_.word[0] != 0) return kStatusOk;
  trackCacheKey_ = KernelId(track.word[0]);
  trackCache_.Clear();
  trackCache_.codec = 0;
  std::size_t length = 0;
  if (SdkResult r = ReadAttributeBlock(Item(track.word[0], platform::kSdkTrack), &length)) {
    // A failed read is not remembered: the next question asks the SDK again. The read
    // answers the defaults; why it failed ("Invalid track, file, or playlist ID." for a
    // track the player does not hold) goes to the caller.
    trackCacheKey_ = KernelId();
    return MapSdkResult(r);
  }
  ParseTrackAttributes(attributeBuffer_.data(), length, trackCache_);
  return kStatusOk;
}

const TrackRecord& KernelDeviceCLSDK3::CachedTrack(const KernelId& track) {
  LoadTrackAttributes(track);
  return trackCache_;
}

int KernelDeviceCLSDK3::GetTrackInfo(const KernelId& track, TrackRecord& record) {
  // The fields the getters give, from one read; its status is the answer.
  const int status = LoadTrackAttributes(track);
  const TrackRecord& r = trackCache_;
  record.path.Set(r.path.GetText());
  record.fileSize = r.fileSize;
  record.artist.Set(r.artist.GetText());
  record.album.Set(r.album.GetText());
  record.trackNumber = r.trackNumber;
  record.title.Set(r.title.GetText());
  record.codec = r.codec;
  record.length = r.length;
  record.bitrate = BitrateOf(r);
  record.year = r.year;
  record.genre.Set(r.genre.GetText());
  record.comment.Set(r.comment.GetText());
  record.playOnly = r.playOnly;
  return status;
}

int KernelDeviceCLSDK3::SetTrackInfo(const KernelId& track, const TrackRecord& r) {
  SetTrackArtist(track, r.artist.GetText());
  SetTrackAlbum(track, r.album.GetText());
  SetTrackNumber(track, r.trackNumber);
  SetTrackTitle(track, r.title.GetText());
  SetTrackGenre(track, r.genre.GetText());
  SetTrackYear(track, r.year);
  return 0;
}

int KernelDeviceCLSDK3::GetTrackSize(const KernelId& track) { return CachedTrack(track).fileSize; }

std::string KernelDeviceCLSDK3::GetTrackArtist(const KernelId& track) { return CachedTrack(track).artist.Str(); }

std::string KernelDeviceCLSDK3::GetTrackAlbum(const KernelId& track) { return CachedTrack(track).album.Str(); }

int KernelDeviceCLSDK3::GetTrackNumber(const KernelId& track) { return CachedTrack(track).trackNumber; }

std::string KernelDeviceCLSDK3::GetTrackTitle(const KernelId& track) { return CachedTrack(track).title.Str(); }

int KernelDeviceCLSDK3::GetTrackCodec(const KernelId& track) { return CachedTrack(track).codec; }

int KernelDeviceCLSDK3::GetTrackLength(const KernelId& track) { return CachedTrack(track).length; }

int KernelDeviceCLSDK3::GetTrackBitrate(const KernelId& track) { return BitrateOf(CachedTrack(track)); }

int KernelDeviceCLSDK3::GetTrackYear(const KernelId& track) { return CachedTrack(track).year; }

std::string KernelDeviceCLSDK3::GetTrackGenre(const KernelId& track) { return CachedTrack(track).genre.Str(); }

std::string KernelDeviceCLSDK3::GetTrackComment(const KernelId& track) { return CachedTrack(track).comment.Str(); }

int KernelDeviceCLSDK3::IsTrackLocked(const KernelId& track) { return CachedTrack(track).playOnly; }

int KernelDeviceCLSDK3::SetTrackText(const KernelId& track, const char16_t* name, std::string_view text) {
  InvalidateTrackIndex();
  // What is read next must be what was written.
  if (track.word[0] == trackCacheKey_.word[0]) trackCacheKey_ = KernelId();
  return MapSdkResult(Sdk().SetItemAttribute(SdkDeviceNumber(), Item(track.word[0], platform::kSdkTrack), name,
                                             platform::kSdkAttrText, std::uint32_t(text.size()), text.data()));
}

int KernelDeviceCLSDK3::SetTrackNumberAttribute(const KernelId& track, const char16_t* name, int value) {
  InvalidateTrackIndex();
  if (track.word[0] == trackCacheKey_.word[0]) trackCacheKey_ = KernelId();
  const std::uint32_t v = static_cast<std::uint32_t>(value);
  std::string bytes;
  platform::AppendLe32(bytes, v);
  return MapSdkResult(Sdk().SetItemAttribute(SdkDeviceNumber(), Item(track.word[0], platform::kSdkTrack), name,
                                             platform::kSdkAttrNumber, 4, bytes.data()));
}

int KernelDeviceCLSDK3::SetTrackArtist(const KernelId& t, std::string_view s) { return SetTrackText(t, platform::kAttrArtistSdk, s); }
int KernelDeviceCLSDK3::SetTrackAlbum(const KernelId& t, std::string_view s) { return SetTrackText(t, platform::kAttrAlbumSdk, s); }
int KernelDeviceCLSDK3::SetTrackTitle(const KernelId& t, std::string_view s) { return SetTrackText(t, platform::kAttrTitleSdk, s); }
int KernelDeviceCLSDK3::SetTrackGenre(const KernelId& t, std::string_view s) { return SetTrackText(t, platform::kAttrGenreSdk, s); }
int KernelDeviceCLSDK3::SetTrackNumber(const KernelId& t, int n) { return SetTrackNumberAttribute(t, platform::kAttrTrackNumberSdk, n); }
int KernelDeviceCLSDK3::SetTrackYear(const KernelId& t, int y) { return SetTrackNumberAttribute(t, platform::kAttrYearSdk, y); }
int KernelDeviceCLSDK3::SetTrackComment(const KernelId&, std::string_view) {
  // No attribute of the player holds a comment: refused, never taken and lost.
  SetReplyError(kStatusFailed, "This player does not keep comments.");
  return kStatusFailed;
}

// ---- Transfers ----

int KernelDeviceCLSDK3::SupportsTransfers() { return 1; }

int KernelDeviceCLSDK3::RefuseUnopenable(std::string_view sourcePath, struct stat* st) {
  // A FIFO would block the manager's one thread in open(), a device never end: only a
  // plain file is taken, and its refusal ends no transfer.
  platform::OpenFileError error = platform::OpenFileError::kNone;
  const int fd = platform::OpenRegularFile(platform::ToPosixPath(sourcePath), error);
  if (fd >= 0) {
    const bool ok = st == nullptr || ::fstat(fd, st) == 0;
    ::close(fd);
    if (ok) return kStatusOk;
    error = platform::OpenFileError::kUnreadable;
  }
  SetReplyError(static_cast<int>(platform::kSdkErrBadPath),
                "The file \"" + std::string(sourcePath) + "\" could not be opened for reading: " +
                    platform::OpenFileErrorText(error) + ".");
  return kStatusFailed;
}

int KernelDeviceCLSDK3::UploadTrack(std::string_view sourcePath, const TrackRecord& r, KernelId&) {
  InvalidateTrackIndex();
  if (const int refused = RefuseUnopenable(sourcePath, nullptr); refused != kStatusOk) return refused;
  const std::string codec = platform::ToUpperAscii(GetCodecExtension(r.codec));
  const std::vector<std::uint8_t> block = SdkAttributeBlock()
                                              .Text(platform::kAttrTitle, r.title.GetText())
                                              .Text(platform::kAttrAlbum, r.album.GetText())
                                              .Text(platform::kAttrArtist, r.artist.GetText())
                                              .Text(platform::kAttrGenre, r.genre.GetText())
                                              .Text(platform::kAttrCodec, codec)
                                              .Number(platform::kAttrFileSize, static_cast<std::uint32_t>(r.fileSize))
                                              .Number(platform::kAttrLength, static_cast<std::uint32_t>(r.length))
                                              .Number(platform::kAttrTrackNumber, static_cast<std::uint32_t>(r.trackNumber))
                                              .Number(platform::kAttrYear, static_cast<std::uint32_t>(r.year))
                                              .Bytes();
  const std::optional<platform::SdkString> path = AnsiToBstr(sourcePath);
  const SdkResult result = Sdk().AddItem(SdkDeviceNumber(), platform::kSdkTrack, OrNull(path),
                                         std::uint32_t(block.size()), block.data());
  cancel_ = 0;
  const int status = MapSdkResult(result);
  if (status == kStatusOk) uploadRunning_ = 1;
  return status;
}

int KernelDeviceCLSDK3::UploadDataFile(std::string_view sourcePath, const KernelId& folder, KernelId&) {
  InvalidateTrackIndex();
  struct stat st {};
  if (const int refused = RefuseUnopenable(sourcePath, &st); refused != kStatusOk) return refused;
  const std::string name = LastComponent(sourcePath);
  // Sizes past 4 GB do not fit the attribute: the player reads them as the largest size.
  const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
  const std::uint32_t size32 = size > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(size);
  const std::uint32_t attributes = (st.st_mode & S_IWUSR) != 0 ? 0x20u : 0x21u;  // archive, read-only
  const std::vector<std::uint8_t> block = SdkAttributeBlock()
                                              .Text(platform::kAttrTitle, name)
                                              .Number(platform::kAttrFileSize, size32)
                                              .Text(platform::kAttrFileName, name)
                                              .Number(platform::kAttrModifiedTime, static_cast<std::uint32_t>(st.st_mtime))
                                              .Number(platform::kAttrFileAttributes, attributes)
                                              .Number(platform::kAttrTrackId, 0)
                                              .Number(platform::kAttrParentFolder, folder.word[0])
                                              .Bytes();
  const std::optional<platform::SdkString> path = AnsiToBstr(sourcePath);
  const SdkResult result = Sdk().AddItem(SdkDeviceNumber(), platform::kSdkDataFile, OrNull(path),
                                         std::uint32_t(block.size()), block.data());
  cancel_ = 0;
  const int status = MapSdkResult(result);
  if (status == kStatusOk) uploadRunning_ = 1;
  return status;
}

int KernelDeviceCLSDK3::StartDownload(const KernelId& item, std::uint32_t type, std::string_view targetPath,
                                      bool checkLock) {
  // One download at a time; one that went silent counts as lost.
  if (downloadRunning_ && !PumpUntil([this] { return downloadRunning_ == 0; }, g_transferIdleMs, true)) {
    downloadRunning_ = 0;
  }
  cancel_ = 0;
  downloadRunning_ = 1;
  const std::string path = CollapseBackslashes(targetPath);
  if (checkLock && IsTrackLocked(item)) {
    downloadRunning_ = 0;
    return kStatusRefused;
  }
  const std::optional<platform::SdkString> destination = AnsiToBstr(path);
  const int status =
      MapSdkResult(Sdk().GetItemToFile(SdkDeviceNumber(), OrNull(destination), Item(item.word[0], type)));
  if (status != kStatusOk) downloadRunning_ = 0;
  return status;
}

int KernelDeviceCLSDK3::DownloadTrack(const KernelId& track, std::string_view targetPath, int) {
  return StartDownload(track, platform::kSdkTrack, targetPath, true);
}

int KernelDeviceCLSDK3::DownloadDataFile(const KernelId& item, std::string_view targetPath) {
  return StartDownload(item, platform::kSdkDataFile, targetPath, false);
}

int KernelDeviceCLSDK3::IsDownloadRunning() { return downloadRunning_; }
int KernelDeviceCLSDK3::IsUploadRunning() { return uploadRunning_; }
void KernelDeviceCLSDK3::CancelTransfer() { cancel_ = 1; }

std::string KernelDeviceCLSDK3::GetModelCode(const KernelId&) {
  const std::string model = GetModelName();
  if (model.find('2') != std::string::npos) return "j2";
  if (model.find('3') != std::string::npos) return "j3";
  if (model.find('Z') != std::string::npos) return "jz";
  if (model.find(kModelWordKind5) != std::string::npos) return "dj";
  return "j1";
}

int KernelDeviceCLSDK3::SupportsTransferFlag2() { return 0; }
int KernelDeviceCLSDK3::SupportsCopyToComputer() { return 1; }

// ---- Audio tracks ----

int KernelDeviceCLSDK3::SupportsAudio() { return 1; }

int KernelDeviceCLSDK3::GetFirstAudioTrack(KernelId& track) {
  const std::uint32_t caller = GetRequestCaller();
  trackWalks_.erase(caller);
  std::vector<std::uint32_t> ids;
  // A walk the SDK cut short is no list of the tracks.
  if (!WalkAllTracks(&ids)) return 0;
  if (audioCount_ == -1) {
    audioCount_ = 0;
    audioKB_ = 0;
    std::uint32_t disabled = 0;
    ReadSettingDword("JB_DisableSummaryCounts", disabled);
    if (disabled != 0) {
      audioCount_ = 1;
    } else {
      std::int64_t kb = 0;
      for (std::uint32_t id : ids) {
        if (GetTrackArtist(KernelId(id)) == kContactsArtist) continue;
        ++audioCount_;
        kb += static_cast<std::uint32_t>(GetTrackSize(KernelId(id))) / 1024;
      }
      audioKB_ = ClampToInt(kb);
    }
  }
  // Walks of callers gone quiet make room; a caller keeps one walk.
  constexpr std::size_t kMaxWalks = 16;
  if (trackWalks_.size() >= kMaxWalks) {
    trackWalks_.erase(std::min_element(trackWalks_.begin(), trackWalks_.end(), [](const auto& a, const auto& b) {
      return a.second.lastStep < b.second.lastStep;
    }));
  }
  TrackWalk& walk = trackWalks_[caller];
  walk.ids = std::move(ids);
  walk.next = 0;
  return GetNextAudioTrack(track) != 0 ? audioCount_ : 0;
}

int KernelDeviceCLSDK3::GetNextAudioTrack(KernelId& track) {
  const auto it = trackWalks_.find(GetRequestCaller());
  if (it == trackWalks_.end()) return 0;
  TrackWalk& walk = it->second;
  while (walk.next < walk.ids.size()) {
    const KernelId id(walk.ids[walk.next++]);
    // Read here, the track's attributes serve the caller's reads that follow.
    if (GetTrackArtist(id) == kContactsArtist) continue;
    walk.lastStep = ++walkSteps_;
    track = id;
    return 1;
  }
  trackWalks_.erase(it);
  return 0;
}

int KernelDeviceCLSDK3::GetAudioFilesSize() {
  if (audioCount_ != -1) return audioKB_;
  std::vector<std::uint32_t> ids;
  WalkAllTracks(&ids);
  std::int64_t kb = 0;
  for (std::uint32_t id : ids) kb += static_cast<std::uint32_t>(GetTrackSize(KernelId(id))) / 1024;
  return ClampToInt(kb);
}

bool KernelDeviceCLSDK3::WalkAllTracks(std::vector<std::uint32_t>* ids) {
  const int dev = SdkDeviceNumber();
  SdkItem child;
  SdkResult r = Sdk().FindFirstChild(dev, allTracks_, &child);
  for (; r == platform::kSdkOk; r = Sdk().FindNextChild(dev, allTracks_, &child)) ids->push_back(child.id);
  return r == platform::kSdkErrNoMoreItems;
}

int KernelDeviceCLSDK3::DeleteAudioTrack(const KernelId& track) {
  InvalidateTrackIndex();
  InvalidatePlaylistCache();  // the player drops the track from its playlists too
  if (track.word[0] == trackCacheKey_.word[0]) trackCacheKey_ = KernelId();
  return MapSdkResult(Sdk().DeleteItem(SdkDeviceNumber(), Item(track.word[0], platform::kSdkTrack)));
}

std::string KernelDeviceCLSDK3::GetTrackFileName(const KernelId& track) { return CachedTrack(track).path.Str(); }

int KernelDeviceCLSDK3::TrackExists(const KernelId& track) {
  std::fill(attributeBuffer_.begin(), attributeBuffer_.end(), std::uint8_t(0));
  std::uint32_t size = 0;
  return Sdk().GetItemAttributes(SdkDeviceNumber(), Item(track.word[0], platform::kSdkTrack), 0, &size,
                                 attributeBuffer_.data()) == platform::kSdkOk
             ? 1
             : 0;
}

// ---- Data files and folders ----

int KernelDeviceCLSDK3::SupportsDataFiles() { return 1; }
int KernelDeviceCLSDK3::SupportsDataFlag2() { return 1; }

int KernelDeviceCLSDK3::GetDataRootFolder(KernelId& folder) {
  folder.word[0] = dataRoot_.id;
  folder.word[1] = 1;
  return 0;
}

SdkItem KernelDeviceCLSDK3::DataParentOf(const KernelId& folder) const {
  return Item(folder.word[0], IsDataRoot(folder) ? platform::kSdkDataFile : platform::kSdkDataFolder);
}

void KernelDeviceCLSDK3::FillDataItemId(const SdkItem& child, KernelId& out) const {
  out = KernelId(child.id);
  out.word[1] = child.type == platform::kSdkDataFolder ? 1 : 0;
  out.SetName(platform::SdkStringToUtf8(child.name));
}

void KernelDeviceCLSDK3::LoadDataItemAttributes(const KernelId& item) {
  if (IsDataRoot(item)) {
    // The root has no attributes; what the cache held is not the root's.
    dataCache_.Clear();
    dataCacheKey_ = KernelId();
    return;
  }
  if (item.word[0] == dataCacheKey_.word[0] && dataCacheKey_.word[0] != 0) return;
  dataCacheKey_ = item;
  dataCache_.Clear();
  std::size_t length = 0;
  const std::uint32_t type = item.word[1] == 1 ? platform::kSdkDataFolder : platform::kSdkDataFile;
  if (SdkResult r = ReadAttributeBlock(Item(item.word[0], type), &length)) {
    dataCacheKey_ = KernelId();
    MapSdkResult(r);
    return;
  }
  ParseDataItemAttributes(attributeBuffer_.data(), length, dataCache_);
}

int KernelDeviceCLSDK3::GetFirstDataItem(const KernelId& folder, KernelId& item) {
  const int dev = SdkDeviceNumber();
  const SdkItem parent = DataParentOf(folder);
  SdkItem child;
  int count = 0;
  if (!IsDataRoot(folder)) {
    for (SdkResult r = Sdk().FindFirstChild(dev, parent, &child); r == platform::kSdkOk;
         r = Sdk().FindNextChild(dev, parent, &child)) {
      ++count;
    }
  } else {
    if (dataCount_ == -1) {
      dataCount_ = 0;
      dataKB_ = 0;
      dataChildren_ = 0;
      std::uint32_t disabled = 0;
      ReadSettingDword("JB_DisableSummaryCounts", disabled);
      if (disabled != 0) {
        dataCount_ = dataChildren_ = 1;
      } else {
        std::int64_t kb = 0;
        SdkResult r = Sdk().FindFirstChild(dev, parent, &child);
        for (; r == platform::kSdkOk; r = Sdk().FindNextChild(dev, parent, &child)) {
          ++dataChildren_;
          if (child.type == platform::kSdkDataFolder) continue;
          ++dataCount_;
          // The sizes of the first 50 files; beyond them the space figures estimate the rest.
          if (dataCount_ <= 50) kb += static_cast<std::uint32_t>(GetDataFileSize(KernelId(child.id))) / 1024;
        }
        if (r != platform::kSdkErrNoMoreItems) {
          dataCount_ = dataKB_ = dataChildren_ = -1;
          return 0;
        }
        if (dataCount_ > 50) {
          const std::int64_t audio = audioKB_ != -1 ? audioKB_ : GetAudioFilesSize();
          kb = std::int64_t(GetTotalSpaceKB()) - audio - std::int64_t(GetFreeSpaceKB());
          if (kb < 0) kb = 0;
        }
        dataKB_ = ClampToInt(kb);
      }
    }
    // The walk's answer counts every child: a root holding only folders is not empty.
    count = dataChildren_;
  }
  if (Sdk().FindFirstChild(dev, parent, &child) != platform::kSdkOk) return 0;
  FillDataItemId(child, item);
  return count;
}

int KernelDeviceCLSDK3::GetNextDataItem(const KernelId& folder, KernelId& item) {
  SdkItem child;
  if (Sdk().FindNextChild(SdkDeviceNumber(), DataParentOf(folder), &child) != platform::kSdkOk) return 0;
  FillDataItemId(child, item);
  return 1;
}

int KernelDeviceCLSDK3::GetDataFilesSize() { return dataKB_; }
int KernelDeviceCLSDK3::GetDataFileCount() { return dataCount_; }

int KernelDeviceCLSDK3::DeleteDataFile(const KernelId& item) {
  InvalidateTrackIndex();
  if (item.word[0] == dataCacheKey_.word[0]) dataCacheKey_ = KernelId();
  return MapSdkResult(Sdk().DeleteItem(SdkDeviceNumber(), Item(item.word[0], platform::kSdkDataFile)));
}

std::string KernelDeviceCLSDK3::GetDataItemName(const KernelId& item) { return std::string(item.GetName()); }

int KernelDeviceCLSDK3::GetDataFileSize(const KernelId& item) {
  TrackRecord record;
  std::size_t length = 0;
  if (SdkResult r = ReadAttributeBlock(Item(item.word[0], platform::kSdkDataFile), &length)) {
    MapSdkResult(r);
  } else {
    ParseTrackAttributes(attributeBuffer_.data(), length, record);
  }
  return record.fileSize;
}

int KernelDeviceCLSDK3::IsDataFolder(const KernelId& item) { return item.word[1] == 1 ? 1 : 0; }

std::uint32_t KernelDeviceCLSDK3::FindDataFolder(const SdkItem& parent, std::string_view name) {
  const int dev = SdkDeviceNumber();
  SdkItem child;
  for (SdkResult r = Sdk().FindFirstChild(dev, parent, &child); r == platform::kSdkOk;
       r = Sdk().FindNextChild(dev, parent, &child)) {
    if (child.type == platform::kSdkDataFolder && platform::SdkStringToUtf8(child.name) == name) return child.id;
  }
  return 0;
}

int KernelDeviceCLSDK3::CreateDataFolder(std::string_view name, const KernelId& parent, KernelId& newFolder) {
  const std::vector<std::uint8_t> block =
      SdkAttributeBlock()
          .Text(platform::kAttrFolderName, name)
          .Number(platform::kAttrModifiedTime, static_cast<std::uint32_t>(std::time(nullptr)))
          .Number(platform::kAttrFileAttributes, 0)
          .Number(platform::kAttrTrackId, 0)
          .Number(platform::kAttrParentFolder, parent.word[0])
          .Bytes();
  newItemId_ = 0;
  uploadDoneSeen_ = 0;
  const std::optional<platform::SdkString> wide = AnsiToBstr(name);
  const SdkResult r = Sdk().AddItem(SdkDeviceNumber(), platform::kSdkDataFolder, OrNull(wide),
                                    std::uint32_t(block.size()), block.data());
  if (r != platform::kSdkOk) return MapSdkResult(r);
  PumpUntil([this] { return uploadDoneSeen_ != 0; }, g_folderWaitMs, false);
  // The notice that ended the wait may be another transfer's, or none came at all: the
  // id counts only when it names this folder; otherwise the folder is looked up by name.
  std::uint32_t id = newItemId_;
  if (id != 0) {
    DataItemRecord record;
    std::size_t length = 0;
    if (ReadAttributeBlock(Item(id, platform::kSdkDataFolder), &length) != platform::kSdkOk) {
      id = 0;
    } else {
      ParseDataItemAttributes(attributeBuffer_.data(), length, record);
      if (record.folderName.GetText() != name || record.parent.word[0] != parent.word[0]) id = 0;
    }
  }
  if (id == 0) id = FindDataFolder(DataParentOf(parent), name);
  if (id == 0) return MapSdkResult(platform::kSdkErrFail);
  InvalidateTrackIndex();
  newFolder = KernelId(id);
  newFolder.word[1] = 1;
  newFolder.SetName(name);
  return 0;
}

int KernelDeviceCLSDK3::GetDataItemModifiedTime(const KernelId& item) {
  LoadDataItemAttributes(item);
  return static_cast<int>(dataCache_.modifiedTime);
}

int KernelDeviceCLSDK3::GetDataItemAttributes(const KernelId& item) {
  LoadDataItemAttributes(item);
  return static_cast<int>(dataCache_.fileAttributes);
}

int KernelDeviceCLSDK3::DeleteDataFolder(const KernelId& item) { return DeleteDataFile(item); }

int KernelDeviceCLSDK3::RenameDataFile(const KernelId& item, std::string_view name) {
  if (item.word[0] == dataCacheKey_.word[0]) dataCacheKey_ = KernelId();
  return MapSdkResult(Sdk().SetItemAttribute(SdkDeviceNumber(), Item(item.word[0], platform::kSdkDataFile),
                                             platform::kAttrFileNameSdk, platform::kSdkAttrText, std::uint32_t(name.size()),
                                             name.data()));
}

int KernelDeviceCLSDK3::RenameDataFolder(const KernelId& item, std::string_view name) {
  if (item.word[0] == dataCacheKey_.word[0]) dataCacheKey_ = KernelId();
  const SdkItem folder = Item(item.word[0], platform::kSdkDataFolder);
  Sdk().SetItemAttribute(SdkDeviceNumber(), folder, platform::kAttrFileNameSdk, platform::kSdkAttrText,
                         std::uint32_t(name.size()), name.data());
  return MapSdkResult(Sdk().SetItemAttribute(SdkDeviceNumber(), folder, platform::kAttrFolderNameSdk, platform::kSdkAttrText,
                                             std::uint32_t(name.size()), name.data()));
}

int KernelDeviceCLSDK3::MoveDataItem(const KernelId& item, const KernelId& targetFolder) {
  if (item.word[0] == dataCacheKey_.word[0]) dataCacheKey_ = KernelId();
  const std::uint32_t parent = targetFolder.word[0];
  std::string bytes;
  platform::AppendLe32(bytes, parent);
  const std::uint32_t type = item.word[1] != 0 ? platform::kSdkDataFolder : platform::kSdkDataFile;
  return MapSdkResult(Sdk().SetItemAttribute(SdkDeviceNumber(), Item(item.word[0], type), platform::kAttrParentFolderSdk,
                                             platform::kSdkAttrNumber, 4, bytes.data()));
}

int KernelDeviceCLSDK3::GetDataItemParent(const KernelId& item, KernelId& parent) {
  LoadDataItemAttributes(item);
  parent = KernelId(dataCache_.parent.word[0]);
  parent.word[1] = 1;
  parent.SetName(dataCache_.folderName.GetText());
  return 0;
}

int KernelDeviceCLSDK3::HasDataFilesStatus() { return 0; }
std::string KernelDeviceCLSDK3::GetDataFilesStatus() { return std::string(); }

// ---- Capabilities without operations ----

int KernelDeviceCLSDK3::SupportsFMPresets() { return 0; }
int KernelDeviceCLSDK3::Op10020(const KernelId&) { return 0; }
int KernelDeviceCLSDK3::Op10030(int) { return 0; }
int KernelDeviceCLSDK3::Op10040(const KernelId&) { return 0; }
int KernelDeviceCLSDK3::GetFirstFMPreset(KernelId&) { return 0; }
int KernelDeviceCLSDK3::GetNextFMPreset(KernelId&) { return 0; }
int KernelDeviceCLSDK3::GetFMPresetFrequency(const KernelId&) { return 0; }
int KernelDeviceCLSDK3::Op10080(const KernelId&, int) { return 0; }
int KernelDeviceCLSDK3::SupportsNotes() { return 0; }
int KernelDeviceCLSDK3::SupportsGroup13000() { return 0; }

}  // namespace driver
