#include "driver/driver_clsdk3.h"

#include "driver/device_clsdk3.h"

namespace driver {

using namespace device;

// ---- KernelDriverCLSDK3 ----

KernelDriverCLSDK3::KernelDriverCLSDK3(std::string playerFolder)
    : KernelDriver(""), playerFolder_(std::move(playerFolder)) {}

std::unique_ptr<platform::VendorSdk> KernelDriverCLSDK3::MakeSdk() const {
  return sdkFactory_ ? sdkFactory_(playerFolder_) : platform::CreateVendorSdk(playerFolder_);
}

std::unique_ptr<KernelDevice> KernelDriverCLSDK3::CreateDevice(const KernelId& device,
                                                               const KernelId& segment) {
  auto made = std::make_unique<KernelDeviceCLSDK3>(this, [this] { return MakeSdk(); }, device, segment);
  made->CreateSdkObject();  // without an SDK object the device still answers
  AddDevice(made.get());
  return made;
}

}  // namespace driver
