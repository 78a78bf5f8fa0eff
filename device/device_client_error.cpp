#include "device/device_client_error.h"

#include <cstdio>
#include <vector>

#include "common/identity.h"
#include "device/kernel_device_client.h"
#include "platform/text/text.h"
#include "platform/window/message_box.h"

namespace device {

namespace {

constexpr int kCodeUnexpected = static_cast<int>(0x8000FFFFu);

}  // namespace

KernelDeviceClientException ManagerNotRunningError() {
  return KernelDeviceClientException(0, "Device Connection", g_ProductIdentity.managerName + " is not running.");
}

KernelDeviceClientException ManagerTimeoutError(int opcode) {
  return KernelDeviceClientException(
      opcode, "Device Timeout",
      "Your device did not complete an operation within 60 seconds.\n"
      "This is not a crash.  Contact Quorvane for help with this issue.");
}

KernelDeviceClientException DeviceBusyError(int opcode) {
  return KernelDeviceClientException(opcode, "Device Busy",
                                     "The device is still busy with an operation of this program.");
}

int ShowMessageBox(std::string_view text, platform::UINT type) {
  return platform::ShowProcessMessageBox(std::string(text), g_ProductIdentity.productName, type);
}

void ShowInformation(std::string_view text) { ShowMessageBox(text, platform::MB_OK | platform::MB_ICONINFORMATION); }

std::string DeviceErrorReportText(const char* context, const std::exception* error) {
  const ProductIdentity& id = g_ProductIdentity;
  const char* ctx = context != nullptr ? context : "";
  if (const auto* e = dynamic_cast<const KernelDeviceClientException*>(error)) {
    if (e->code() == kCodeUnexpected) {
      return platform::Printf(
          "%s\n\nCode: 0x%X\nSource: %s\nDetail: %s\n\nIf this problem persists, try switching driver modes.\n"
          "Select '%s Options' from the systray\nicon to access this option.  See our Known Issues page for more "
          "details.",
          ctx, static_cast<unsigned>(e->code()), e->source().c_str(), e->detail().c_str(), id.managerName.c_str());
    }
    return platform::Printf("%s\n\nCode: 0x%X\nSource: %s\nDetail: %s\n\nYou may need to terminate and restart %s (%s).", ctx,
                  static_cast<unsigned>(e->code()), e->source().c_str(), e->detail().c_str(),
                  id.managerName.c_str(), id.managerExeName.c_str());
  }
  // Any other error: its message, cut as the report's buffer of 256 characters cuts it.
  std::string message = error != nullptr ? error->what() : "";
  message.resize(platform::Utf8PrefixLength(message, 255));
  return platform::Printf("%s\n\nDetail: %s\n\nYou may need to terminate and restart %s (%s).", ctx, message.c_str(),
                id.managerName.c_str(), id.managerExeName.c_str());
}

void LastDeviceError(KernelDevice& device, int& code, std::string& text) {
  if (auto* client = dynamic_cast<KernelDeviceClient*>(&device)) {
    code = client->GetLastErrorCode();
    client->GetLastErrorText(text);
    return;
  }
  const DeviceRequestBlock* block = device.GetCurrentBlock();
  code = block->replyCode;
  text = block->replyText.Str();
}

bool DeviceStillThere(KernelDevice& device) {
  if (auto* client = dynamic_cast<KernelDeviceClient*>(&device)) {
    if (!platform::IsWindow(client->GetManagerWindow())) return false;
  }
  try {
    return device.IsConnected() != 0;
  } catch (const std::exception&) {
    return false;
  }
}

void KernelDeviceClient::ReportError(const char* context, const std::exception& error) {
  ShowMessageBox(DeviceErrorReportText(context, &error), platform::MB_ICONINFORMATION);
}

void KernelDeviceClient::ReportError(const char* context, std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const std::exception& e) {
    ReportError(context, e);
    return;
  } catch (...) {
  }
  ShowMessageBox(DeviceErrorReportText(context, nullptr), platform::MB_ICONINFORMATION);
}

}  // namespace device
