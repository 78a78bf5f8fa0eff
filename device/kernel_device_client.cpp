#include "device/kernel_device_client.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/identity.h"
#include "common/settings.h"
#include "platform/window/message_box.h"
#include "platform/window/wait.h"

namespace device {

using platform::DWORD;
using platform::HWND;
using platform::INFINITE;
using platform::WAIT_OBJECT_0;

struct KernelDeviceClient::Semaphores {
  std::unique_ptr<platform::NamedSemaphore> taken;     // request taken
  std::unique_ptr<platform::NamedSemaphore> complete;  // call complete
  std::unique_ptr<platform::NamedSemaphore> extended;  // extended wait (never waited on)
};

namespace {

// The capability probe's requests, in the order sent; the first 17 fill the cache.
constexpr std::array<int, KernelDeviceClient::kCapabilityCount> kProbeOpcodes = {
    3010, 3060, 3110, 4010, 4320, 5010, 5120, 5130, 6010, 7010, 7011, 8010, 9010, 10010, 11010, 12010, 13010};
constexpr int kDescriptionOpcode = 2130;

// How often a long wait looks whether the manager is still there.
constexpr DWORD kLivenessCheckMs = 100;

std::uint32_t NextTicket() {
  static std::atomic<std::uint32_t> next{platform::GetCurrentProcessId() * 2654435761u};
  for (;;) {
    std::uint32_t t = next.fetch_add(1);
    if (t != 0 && t != kClaimTicket) return t;
  }
}

// "<taken ms>,<complete ms>": shorter limits for tests; anything unreadable is ignored.
void ReadLimitOverride(DWORD& taken, DWORD& call) {
  const char* text = std::getenv("TOVARIN_REQUEST_LIMITS");
  if (text == nullptr || *text == '\0') return;
  char* end = nullptr;
  unsigned long a = std::strtoul(text, &end, 10);
  if (end == text || *end != ',') return;
  const char* second = end + 1;
  unsigned long b = std::strtoul(second, &end, 10);
  if (end == second || *end != '\0' || a == 0 || b == 0 || a > 0xFFFFFFFEul || b > 0xFFFFFFFEul) return;
  taken = static_cast<DWORD>(a);
  call = static_cast<DWORD>(b);
}

enum class WaitOutcome { Signalled, TimedOut, ManagerGone };

// Waits for the manager's release, serving the calling thread's sends, and gives up early
// when the manager's window is gone.
WaitOutcome WaitForManager(platform::NamedSemaphore& semaphore, DWORD limitMs, HWND manager) {
  const std::uint64_t begin = platform::GetTickCount64();
  for (;;) {
    DWORD chunk = kLivenessCheckMs;
    if (limitMs != INFINITE) {
      const std::uint64_t elapsed = platform::GetTickCount64() - begin;
      if (elapsed >= limitMs) return semaphore.Wait(0) == WAIT_OBJECT_0 ? WaitOutcome::Signalled : WaitOutcome::TimedOut;
      chunk = static_cast<DWORD>(std::min<std::uint64_t>(chunk, limitMs - elapsed));
    }
    if (platform::WaitServingSends(semaphore, chunk) == WAIT_OBJECT_0) return WaitOutcome::Signalled;
    if (!platform::IsWindow(manager)) {
      return semaphore.Wait(0) == WAIT_OBJECT_0 ? WaitOutcome::Signalled : WaitOutcome::ManagerGone;
    }
  }
}

void Drain(platform::NamedSemaphore* semaphore) {
  if (semaphore == nullptr) return;
  while (semaphore->Wait(0) == WAIT_OBJECT_0) {
  }
}

}  // namespace

KernelDeviceClient::KernelDeviceClient() : semaphores_(std::make_unique<Semaphores>()) {
  for (auto& entry : capabilities_) entry.store(0);
}

KernelDeviceClient::~KernelDeviceClient() = default;

// ---- connection ----

void KernelDeviceClient::ReadLimits() {
  takenLimitMs_ = kRequestTakenLimitMs;
  callLimitMs_ = kRequestCallLimitMs;
  ReadLimitOverride(takenLimitMs_, callLimitMs_);
  std::uint32_t disable = 0;
  ReadSettingDword("Gen_DisableManagerTimeout", disable);
  if (disable != 0) callLimitMs_ = INFINITE;
  if (!crossLock_) crossLock_ = std::make_unique<platform::NamedLock>(g_ProductIdentity.mappingName + ".requests");
}

bool KernelDeviceClient::OpenRoad(HWND manager) {
  const ProductIdentity& id = g_ProductIdentity;
  auto mapping = platform::FileMapping::Open(id.mappingName);
  if (!mapping) return false;
  platform::MappedView view = mapping->Map();
  if (!view || view.size() < kRequestMappingSize) return false;
  auto semaphores = std::make_unique<Semaphores>();
  semaphores->taken = platform::NamedSemaphore::Open(id.ackSemaphoreName);
  semaphores->complete = platform::NamedSemaphore::Open(id.doneSemaphoreName);
  semaphores->extended = platform::NamedSemaphore::Open(id.extendedSemaphoreName);

  mapping_ = std::move(mapping);
  view_ = std::move(view);
  semaphores_ = std::move(semaphores);
  control_ = RequestControlOf(view_.data());
  SetCurrentBlock(RequestBlockOf(view_.data()));
  managerTid_ = platform::GetWindowThreadProcessId(manager, &managerPid_);
  return true;
}

void KernelDeviceClient::AcquireClientLock(std::unique_lock<std::mutex>& lock, int opcode) {
  const DWORD me = platform::GetCurrentThreadId();
  if (lockOwner_.load() == me) throw DeviceBusyError(opcode);
  lock = std::unique_lock<std::mutex>(lock_);
  lockOwner_.store(me);
}

namespace {
// Forgets the lock's owning thread when the holder returns.
struct OwnerReset {
  std::atomic<DWORD>& owner;
  ~OwnerReset() { owner.store(0); }
};
}  // namespace

bool KernelDeviceClient::TryAcquireClientLock(std::unique_lock<std::mutex>& lock) {
  try {
    AcquireClientLock(lock, 0);
    return true;
  } catch (const KernelDeviceClientException&) {
    return false;  // this thread already holds it (a call from inside a served notice)
  }
}

int KernelDeviceClient::ConnectToManager(int deviceIndex, const KernelId& device, const KernelId& segment,
                                         HWND manager) {
  std::unique_lock<std::mutex> lock;
  if (!TryAcquireClientLock(lock)) return 0;
  OwnerReset release{lockOwner_};

  connected_ = 0;
  segmentId_ = segment;
  deviceId_ = device;
  deviceIndex_ = deviceIndex;
  view_.Unmap();
  mapping_.reset();
  semaphores_ = std::make_unique<Semaphores>();
  control_ = nullptr;
  SetCurrentBlock(nullptr);
  ReadLimits();

  HWND window = platform::IsWindow(manager) ? manager : platform::FindWindow(g_ProductIdentity.windowClassName);
  manager_ = window;
  if (!platform::IsWindow(window)) return 0;
  if (!OpenRoad(window)) return 0;
  connected_ = 1;
  return 1;
}

int KernelDeviceClient::ReconnectToManager() {
  std::unique_lock<std::mutex> lock;
  if (!TryAcquireClientLock(lock)) return 0;
  OwnerReset release{lockOwner_};

  HWND window = platform::FindWindow(g_ProductIdentity.windowClassName);
  manager_ = window;
  if (!platform::IsWindow(window)) return 0;
  ReadLimits();
  return OpenRoad(window) ? 1 : 0;
}

void KernelDeviceClient::CheckConnected(int) const {
  if (connected_ == 0 || control_ == nullptr || !platform::IsWindow(manager_)) throw ManagerNotRunningError();
  // The manager's own thread would wait for itself.
  if (managerPid_ == platform::GetCurrentProcessId() && managerTid_ == platform::GetCurrentThreadId()) {
    throw ManagerNotRunningError();
  }
}

// ---- one request ----

KernelDeviceClient::Session::Session(KernelDeviceClient& client, Call& call) : client_(client) {
  client.AcquireClientLock(lock_, call.opcode);
  try {
    client.CheckConnected(call.opcode);
    if (!client.crossLock_ || !client.crossLock_->Lock(INFINITE)) throw ManagerNotRunningError();
    crossLocked_ = true;
    client.PrepareBlock(call);
  } catch (...) {
    if (crossLocked_) client.crossLock_->Unlock();
    client.lockOwner_.store(0);
    throw;
  }
}

KernelDeviceClient::Session::~Session() {
  if (crossLocked_) client_.crossLock_->Unlock();
  client_.lockOwner_.store(0);
}

// The manager marks the request it runs until its serving ends, a moment after it has
// answered: a request whose answer is out (the answered ticket) holds the block no more.
// The next request must not wait for that moment; when the client runs before the
// manager's thread again (both woke on one CPU), that wait would cost a whole pause.
bool KernelDeviceClient::ManagerStillRunsRequest() const {
  const std::uint32_t serving = control_->servingTicket.load();
  return serving != 0 && serving != control_->answeredTicket.load();
}

void KernelDeviceClient::PrepareBlock(const Call& call) {
  // A request whose proxy gave up is not run any more; one that the manager is still
  // running must end before the block is written again.
  control_->requestTicket.store(0);
  if (ManagerStillRunsRequest()) {
    const std::uint64_t begin = platform::GetTickCount64();
    while (ManagerStillRunsRequest()) {
      if (!platform::IsWindow(manager_)) throw ManagerNotRunningError();
      if (callLimitMs_ != INFINITE && platform::GetTickCount64() - begin >= callLimitMs_) {
        throw ManagerTimeoutError(call.opcode);
      }
      platform::ServePendingSends();
      platform::Sleep(1);
    }
  }
  // Releases meant for a request that gave up must not answer this one.
  Drain(semaphores_->taken.get());
  Drain(semaphores_->complete.get());
  Drain(semaphores_->extended.get());

  DeviceRequestBlock& b = *GetCurrentBlock();
  b.deviceIndex = static_cast<std::uint32_t>(deviceIndex_);
  b.connectionId = deviceId_;
  b.segmentId = segmentId_;
  b.opcode = call.opcode;
  b.extraWaitMs = 0;
  b.callerThreadId = platform::GetCurrentThreadId();
}

void KernelDeviceClient::Exchange(Call& call) {
  WaitForReply(call);
  RaisePendingError(call);
}

void KernelDeviceClient::WaitForReply(Call&) {
  DeviceRequestBlock& b = *GetCurrentBlock();
  const std::uint32_t ticket = NextTicket();
  control_->requestTicket.store(ticket);
  view_.Flush(0, sizeof(DeviceRequestBlock));
  auto cancel = [&] {
    std::uint32_t expected = ticket;
    return control_->requestTicket.compare_exchange_strong(expected, 0);
  };

  // A manager that spins for input looks at the ticket itself (managerPolling), so the
  // message would only cost this side its send; one that sleeps is woken by it.
  const bool posted = control_->managerPolling.load() != 0 || platform::PostMessage(manager_, WM_DEVICEREQUEST, 0, 0);
  platform::NamedSemaphore* taken = semaphores_->taken.get();
  platform::NamedSemaphore* complete = semaphores_->complete.get();
  if (!posted || taken == nullptr || complete == nullptr) {
    cancel();
    throw ManagerNotRunningError();
  }
  // The common case needs one wake-up: the complete release, with the taken one consumed
  // after it. Only a request not completed within the taken limit asks whether it was taken.
  const std::uint64_t begin = platform::GetTickCount64();
  WaitOutcome outcome = WaitForManager(*complete, takenLimitMs_, manager_);
  if (outcome != WaitOutcome::Signalled && taken->Wait(0) != WAIT_OBJECT_0) {
    // Withdrawn unless the manager took it at this very moment; then it is waited for.
    if (cancel()) throw ManagerNotRunningError();
    taken->Wait(0);
  }
  if (outcome == WaitOutcome::Signalled) taken->Wait(0);
  b.extraWaitMs = 0;

  while (outcome != WaitOutcome::Signalled || control_->answeredTicket.load() != ticket) {
    // Not complete yet, or a release for another request: keep waiting for ours.
    DWORD left = INFINITE;
    if (callLimitMs_ != INFINITE) {
      const std::uint64_t elapsed = platform::GetTickCount64() - begin;
      left = elapsed >= callLimitMs_ ? 0 : static_cast<DWORD>(callLimitMs_ - elapsed);
    }
    outcome = WaitForManager(*complete, left, manager_);
    if (outcome == WaitOutcome::ManagerGone) throw ManagerNotRunningError();
    if (outcome == WaitOutcome::TimedOut) throw ManagerTimeoutError(b.opcode);
  }
  KeepLastReply();
}

void KernelDeviceClient::RaisePendingError(Call& call) {
  if (!call.raisesErrors) return;
  const DeviceRequestBlock& b = *GetCurrentBlock();
  if (b.errorCode != 0) throw KernelDeviceClientException(b.errorCode, b.errorTitle.Str(), b.errorDetail.Str());
  if (b.messageFlag != 0) {
    call.hasMessage = true;
    call.message = b.messageText.Str();
  }
}

void KernelDeviceClient::ShowPendingMessage(const Call& call) {
  if (call.hasMessage) ShowMessageBox(call.message, platform::MB_ICONINFORMATION);
}

void KernelDeviceClient::KeepLastReply() {
  const DeviceRequestBlock& b = *GetCurrentBlock();
  std::lock_guard<std::mutex> guard(replyMutex_);
  lastReplyCode_ = b.replyCode;
  lastReplyText_ = b.replyText.Str();
}

std::string& KernelDeviceClient::GetLastErrorText(std::string& out) const {
  std::lock_guard<std::mutex> guard(replyMutex_);
  out = lastReplyText_;
  return out;
}

int KernelDeviceClient::GetLastErrorCode() const {
  std::lock_guard<std::mutex> guard(replyMutex_);
  return lastReplyCode_;
}

// ---- capability probe ----

void KernelDeviceClient::ProbeCapabilities() {
  if (probePending_.load() == 0) return;
  try {
    for (std::size_t i = 0; i <= kProbeOpcodes.size(); ++i) {
      Call call;
      call.opcode = i < kProbeOpcodes.size() ? kProbeOpcodes[i] : kDescriptionOpcode;
      call.raisesErrors = false;
      Session session(*this, call);
      WaitForReply(call);
      const DeviceRequestBlock& b = *GetCurrentBlock();
      if (i < kProbeOpcodes.size()) {
        capabilities_[i].store(b.intResult);
      } else {
        std::lock_guard<std::mutex> guard(replyMutex_);
        description_ = b.textResult.Str();
      }
    }
    probePending_.store(0);
  } catch (...) {
    // Capability questions never fail: the cache answers, and the next question probes again.
  }
}

int KernelDeviceClient::CapabilityAnswer(int opcode) {
  ProbeCapabilities();
  for (std::size_t i = 0; i < kProbeOpcodes.size(); ++i) {
    if (kProbeOpcodes[i] == opcode) return capabilities_[i].load();
  }
  return 0;
}

std::string KernelDeviceClient::GetDeviceDescription() const {
  std::lock_guard<std::mutex> guard(replyMutex_);
  return description_;
}

}  // namespace device
