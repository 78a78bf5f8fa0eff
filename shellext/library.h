// The library's process-wide objects and small helpers: the live-object count that
// decides whether the library may be unloaded, the device proxy, the registered
// clipboard formats, the owner window of its modal UI, diagnostics, and a few
// formatting routines.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/short_hash.h"
#include "device/kernel_device_client.h"
#include "platform/window/window.h"

namespace shellext {

// Live COM objects of the library, the application object included. Objects of any
// thread change it.
extern std::atomic<unsigned> g_LiveObjectCount;

// A member of every counted COM object: counts the object while it lives.
class LiveObject {
 public:
  LiveObject() { g_LiveObjectCount.fetch_add(1); }
  ~LiveObject() { g_LiveObjectCount.fetch_sub(1); }
  LiveObject(const LiveObject&) = delete;
  LiveObject& operator=(const LiveObject&) = delete;
};

// The library's one device proxy (connected at start-up by variants that connect).
extern device::KernelDeviceClient g_DeviceClient;

// The device the library's folders ask: g_DeviceClient, or the one a test set.
device::KernelDevice& Device();
void SetDeviceForTesting(device::KernelDevice* device);  // null: back to g_DeviceClient

// The full path of the library's own file, kept at start-up.
extern std::string g_DllInstance;

// "Quorvane Explorer Kernel ID List" (0 until start-up registers it) and "Quorvane
// Explorer No Transfer to Self".
extern platform::UINT g_cfKernelIdList;
extern platform::UINT g_cfNoTransferToSelf;
inline constexpr std::string_view kKernelIdListFormat = "Quorvane Explorer Kernel ID List";
inline constexpr std::string_view kNoTransferToSelfFormat = "Quorvane Explorer No Transfer to Self";

// The owner of the library's message boxes and modal dialogs; a window that is gone
// is forgotten when asked for.
void SetOwnerWindow(platform::HWND owner);
platform::HWND GetOwnerWindow();

// A diagnostic line (printf format) on stderr, prefixed by the tick count, when the
// shared settings key has a sub-key named "PipeBufferSize" (looked up once per process).
// Each call formats into its own buffer.
void DebugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The user's default date format, a blank and the default time format, of a time in
// seconds since 1970, in local time.
std::string FormatDateTimeLocale(std::int64_t time);

// A whole number with the user's digit grouping ("1,200,000"), no fraction.
std::string FormatIntegerLocale(std::int64_t value);
// A number with the user's grouping and decimal sign, two decimals ("0.98").
std::string FormatFloatLocale(double value);

}  // namespace shellext
