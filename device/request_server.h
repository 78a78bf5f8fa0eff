// The manager's side of the request road: the named mapping with the request block, the
// three semaphores, and the serving of one WM_DEVICEREQUEST on the manager's window
// thread.
//
// Serve always completes a request it runs: the request-taken semaphore is released
// before the operation, the call-complete semaphore after it, whatever the operation
// did. A message that arrives while a request runs (an operation that pumps messages)
// is not served into the same block: it is re-posted once the running one is complete.
// A message that finds no written request runs nothing and releases nothing.
#pragma once

#include <functional>
#include <memory>

#include "device/kernel_device.h"
#include "device/request_road.h"
#include "platform/kernel/kernel.h"

namespace device {

class RequestServer {
 public:
  // Creates the mapping and the semaphores under the names of g_ProductIdentity. Objects
  // that a dead manager left behind are replaced; null when they cannot be made, or when
  // a live process holds them already.
  static std::unique_ptr<RequestServer> Create();
  ~RequestServer();

  enum class Outcome { Served, Deferred, NoRequest };

  // Runs the written request on `device` (device index 0 only; without a device, or for
  // another index, the block is answered unchanged). `window` receives the re-posted
  // message of a deferred request.
  Outcome Serve(KernelDevice* device, platform::HWND window);

  // Runs one of the manager's own device operations (a tray command) as if it were a
  // request: a request message arriving while it pumps messages is re-posted after it.
  void RunHoldingRequests(platform::HWND window, const std::function<void()>& operation);

  bool IsServing() const { return serving_; }
  DeviceRequestBlock* block() const { return RequestBlockOf(view_.data()); }
  RequestControl* control() const { return RequestControlOf(view_.data()); }

 private:
  RequestServer() = default;
  std::unique_ptr<platform::FileMapping> mapping_;
  platform::MappedView view_;
  std::unique_ptr<platform::NamedSemaphore> taken_;
  std::unique_ptr<platform::NamedSemaphore> complete_;
  std::unique_ptr<platform::NamedSemaphore> extended_;
  bool serving_ = false;
  bool deferred_ = false;
};

}  // namespace device
