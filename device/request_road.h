// What the manager and every device proxy agree on besides the request block: the
// window messages, the shape of the named mapping, and the limits of the exchange.
//
// The mapping holds the DeviceRequestBlock at offset 0 (17,344 bytes, layout binding)
// and after it a RequestControl, through which a request is tied to the message that
// announces it: the proxy stores a ticket once the request is written, the manager takes
// the ticket when it runs the request and stores it again as answered before it releases
// the call-complete semaphore. A message that finds no ticket (a duplicate, or one whose
// proxy gave up) runs nothing and releases nothing.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "device/request_block.h"
#include "platform/window/window.h"

namespace device {

constexpr platform::UINT WM_DEVICEREQUEST = platform::WM_USER + 100;    // 0x464
constexpr platform::UINT WM_MANAGERSHUTDOWN = platform::WM_USER + 200;  // 0x4C8

struct RequestControl {
  std::atomic<std::uint32_t> requestTicket;   // non-zero: a written request waits to be run
  std::atomic<std::uint32_t> servingTicket;   // non-zero while the manager runs a request
  std::atomic<std::uint32_t> answeredTicket;  // the request whose results the block holds
  // Non-zero while the manager's window thread spins for input and looks at requestTicket
  // itself: a request then needs no message (see KernelDeviceClient::WaitForReply).
  std::atomic<std::uint32_t> managerPolling;
};
static_assert(std::is_standard_layout_v<RequestControl>);
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

// The manager's claim on the block while it checks for a ticket (never a ticket).
constexpr std::uint32_t kClaimTicket = 0xFFFFFFFF;

constexpr std::size_t kRequestControlOffset = sizeof(DeviceRequestBlock);
constexpr std::size_t kRequestMappingSize = kRequestControlOffset + sizeof(RequestControl);
static_assert(kRequestControlOffset % alignof(RequestControl) == 0);

inline DeviceRequestBlock* RequestBlockOf(void* mapping) { return static_cast<DeviceRequestBlock*>(mapping); }
inline RequestControl* RequestControlOf(void* mapping) {
  return reinterpret_cast<RequestControl*>(static_cast<char*>(mapping) + kRequestControlOffset);
}

// Limits of the exchange: how long the manager may take to pick a request up, and how
// long the operation may run.
constexpr platform::DWORD kRequestTakenLimitMs = 7000;
constexpr platform::DWORD kRequestCallLimitMs = 60000;

}  // namespace device
