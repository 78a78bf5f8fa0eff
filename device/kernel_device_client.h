// KernelDeviceClient: the device proxy. Every process but the manager reaches the player
// through one of these (the library's g_DeviceClient; the launcher's), and the manager's
// web threads through its own. Each operation of the table is written into the shared
// request block, announced to the manager's window with WM_DEVICEREQUEST, and its
// results are read back once the manager released the call-complete semaphore.
//
//   KernelDeviceClient client;                        // after g_ProductIdentity is filled
//   client.ConnectToManager(0, KernelId(5), KernelId(1), 0);
//   try {
//     KernelId track;
//     for (int n = client.GetFirstAudioTrack(track); n != 0; n = client.GetNextAudioTrack(track)) ...
//     if (client.UploadTrack(path, record, track) != 0) log(client.GetLastErrorCode(), ...);
//   } catch (const KernelDeviceClientException& e) {
//     KernelDeviceClient::ReportError("Could not read the tracks.", e);
//   }
//
// Failures: KernelDeviceClientException (device/device_client_error.h) when the manager
// is not running, does not complete in time, or its device failed; an operation's status
// and reply text are left for GetLastErrorCode / GetLastErrorText. The 17 capability
// questions never throw: the first runs the capability probe (18 requests), later ones
// answer from its cache.
//
// Threads: any thread may call. One request of the process runs at a time, and one of
// all processes of the namespace (a cross-process lock that frees itself when its holder
// dies, held from writing the request to reading its results). While a request waits
// for the manager, messages sent to the calling thread's windows (the device's transfer
// notices) are served. An information message that the manager left is shown after both
// locks are released.
//
// Limits: the manager has 7,000 ms to take a request and 60,000 ms to complete it
// (without limit when the setting Gen_DisableManagerTimeout is non-zero). Both are read
// when connecting; $TOVARIN_REQUEST_LIMITS ("<taken ms>,<complete ms>") shortens them for
// tests.
#pragma once

#include <array>
#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>

#include "device/device_client_error.h"
#include "device/kernel_device.h"
#include "device/operations.h"
#include "device/request_road.h"
#include "platform/kernel/kernel.h"

namespace device {

class KernelDeviceClient : public KernelDevice {
 public:
  static constexpr int kCapabilityCount = 17;

  // Not connected; every forwarded operation throws the not-running error until
  // ConnectToManager succeeds.
  KernelDeviceClient();
  ~KernelDeviceClient() override;

  // Binds the client to a device index and ids, and finds the manager: `manager` when it
  // is a window, else the window of the manager's class. 1 when connected, 0 when not.
  int ConnectToManager(int deviceIndex, const KernelId& device, const KernelId& segment,
                       platform::HWND manager = 0);
  // Finds the manager's window anew and maps its block again (after a restart of the
  // manager); 1 when found and mapped. Does not change whether the client counts as
  // connected.
  int ReconnectToManager();
  bool IsConnectedToManager() const { return connected_ != 0; }
  platform::HWND GetManagerWindow() const { return manager_; }

  // Status code and text that the last completed request left in the block's reply
  // fields (copied at the end of that request).
  std::string& GetLastErrorText(std::string& out) const;
  // A proxy cannot tell these without a request.
  std::optional<std::uint64_t> CatalogueVersion() const override { return std::nullopt; }
  std::optional<bool> PlaybackStoppedNow() const override { return std::nullopt; }
  int GetLastErrorCode() const;

  // Runs the capability probe while it is pending; never throws.
  void ProbeCapabilities();
  bool IsProbePending() const { return probePending_.load() != 0; }
  std::string GetDeviceDescription() const;

  // Shows a failed command's report (`context`, then the error) in an information box.
  // Uses nothing of a client object.
  static void ReportError(const char* context, const std::exception& error);
  static void ReportError(const char* context, std::exception_ptr error);

  // ---- Forwarded operations, one per row of the operation table ----
#define KDC_FORWARD_ROW(code, Name, R, Flow, ...)                                                    \
  ::device::devop::R::Type Name(DEVOP_PARAMS(__VA_ARGS__)) override {                                        \
    using Row = DEVOP_ROW(code, R, Flow, __VA_ARGS__);                                               \
    return Forward<Row>([&](DeviceRequestBlock& b, Call& call) {                                     \
      return Row::Forward(b, [&] { Exchange(call); } DEVOP_COMMA_ARGS(__VA_ARGS__));                 \
    });                                                                                              \
  }
  KERNEL_DEVICE_OPERATIONS(KDC_FORWARD_ROW)
#undef KDC_FORWARD_ROW

  // The raw playlist walks are not forwarded: they answer 0.
  int EnumFirstPlaylist(KernelId&) override { return 0; }
  int EnumNextPlaylist(KernelId&) override { return 0; }
  int EnumFirstPlaylistItem(const KernelId&, KernelId&) override { return 0; }
  int EnumNextPlaylistItem(const KernelId&, KernelId&) override { return 0; }

 private:
  // One request in flight.
  struct Call {
    int opcode = 0;
    bool raisesErrors = true;
    bool hasMessage = false;
    std::string message;  // information text to show once the locks are released
  };

  template <class Row, class Body>
  typename Row::Result::Type Forward(Body&& body) {
    if constexpr (Row::Flow::kCapability) {
      return CapabilityAnswer(Row::kOpcode);
    } else {
      Call call;
      call.opcode = Row::kOpcode;
      call.raisesErrors = Row::Flow::kRaisesErrors;
      if constexpr (std::is_void_v<typename Row::Result::Type>) {
        {
          Session session(*this, call);
          body(*GetCurrentBlock(), call);
        }
        ShowPendingMessage(call);
      } else {
        typename Row::Result::Type result{};
        {
          Session session(*this, call);
          result = body(*GetCurrentBlock(), call);
        }
        ShowPendingMessage(call);
        return result;
      }
    }
  }

  // Holds the client lock and the cross-process lock for one request, after the
  // connected test; writes the request's header.
  class Session {
   public:
    Session(KernelDeviceClient& client, Call& call);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

   private:
    KernelDeviceClient& client_;
    std::unique_lock<std::mutex> lock_;
    bool crossLocked_ = false;
  };

  struct Semaphores;

  // The request is written: announce it, wait for the manager, take over its answer.
  void Exchange(Call& call);
  void WaitForReply(Call& call);
  void RaisePendingError(Call& call);
  void ShowPendingMessage(const Call& call);
  int CapabilityAnswer(int opcode);
  // Throws unless connected to a live manager window (and not called on its thread).
  void CheckConnected(int opcode) const;
  void PrepareBlock(const Call& call);
  bool ManagerStillRunsRequest() const;
  bool OpenRoad(platform::HWND manager);
  void ReadLimits();
  void KeepLastReply();
  void AcquireClientLock(std::unique_lock<std::mutex>& lock, int opcode);
  bool TryAcquireClientLock(std::unique_lock<std::mutex>& lock);

  std::mutex lock_;                           // the client lock
  std::atomic<platform::DWORD> lockOwner_{0};  // thread holding it, for re-entry
  std::unique_ptr<platform::NamedLock> crossLock_;

  platform::HWND manager_ = 0;
  platform::DWORD managerPid_ = 0;
  platform::DWORD managerTid_ = 0;
  int connected_ = 0;
  std::unique_ptr<platform::FileMapping> mapping_;
  platform::MappedView view_;
  RequestControl* control_ = nullptr;
  std::unique_ptr<Semaphores> semaphores_;

  platform::DWORD takenLimitMs_ = kRequestTakenLimitMs;
  platform::DWORD callLimitMs_ = kRequestCallLimitMs;

  std::atomic<int> probePending_{1};
  std::array<std::atomic<int>, kCapabilityCount> capabilities_{};
  std::string description_;

  mutable std::mutex replyMutex_;
  int lastReplyCode_ = 0;
  std::string lastReplyText_;
};

}  // namespace device
