// The failures of a forwarded device operation as the caller sees them, and the message
// box that reports them.
#pragma once

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/window/window.h"

namespace device {

// Thrown by KernelDeviceClient: the manager is not running (code 0, "Device Connection"),
// did not complete in time (the request's opcode, "Device Timeout"), or its device
// reported a failure (the block's errorCode, errorTitle and errorDetail).
class KernelDeviceClientException : public std::runtime_error {
 public:
  KernelDeviceClientException(int code, const char* source, const char* detail)
      : KernelDeviceClientException(code, std::string(source ? source : ""), std::string(detail ? detail : "")) {}
  KernelDeviceClientException(int code, std::string source, std::string detail)
      : std::runtime_error(detail), code_(code), source_(std::move(source)), detail_(std::move(detail)) {}

  int code() const { return code_; }
  const std::string& source() const { return source_; }
  const std::string& detail() const { return detail_; }

 private:
  int code_;
  std::string source_;
  std::string detail_;
};

// "<manager> is not running.": the manager's window, mapping or semaphores are missing,
// or it did not take the request in time.
KernelDeviceClientException ManagerNotRunningError();
// The manager took the request but did not complete it within the call wait time.
KernelDeviceClientException ManagerTimeoutError(int opcode);
// A device call made from inside a running request of the same thread (a window
// procedure that the manager's notice reached while the request waited).
KernelDeviceClientException DeviceBusyError(int opcode);

// A modal message box without owner window, captioned with the product name, shown by
// the current UI host (through platform/window/message_box.h); answers the button chosen.
int ShowMessageBox(std::string_view text, platform::UINT type);
// The same with the information icon and an OK button: a note the person only reads.
void ShowInformation(std::string_view text);

class KernelDevice;

// The status and text a device left for its last failure: a proxy's copy of its last
// reply, or the request block of a device in this process.
void LastDeviceError(KernelDevice& device, int& code, std::string& text);

// Whether a transfer can still end well: a proxy's manager is still there, and the
// device says it is connected (an error asking counts as no).
bool DeviceStillThere(KernelDevice& device);

// The report text of a failed device command: `context` (one line, "Could not ...")
// followed by what the error says and what the user can do.
std::string DeviceErrorReportText(const char* context, const std::exception* error);

}  // namespace device
