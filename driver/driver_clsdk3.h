// KernelDriverCLSDK3, the driver over the player vendor's SDK, which creates the manager's
// one real device (KernelDeviceCLSDK3, device_clsdk3.h). The base of every driver is
// kernel_driver.h; the SDK's texts and the driver version lookups are sdk_support.h.
//
//   KernelDriverCLSDK3 driver(playerFolder);
//   driver.Initialize();
//   std::unique_ptr<KernelDevice> device = driver.CreateDevice(KernelId(5), KernelId(1));
//
// The caller owns each device it is given; the driver keeps a list of the devices it made
// (a device leaves it when destroyed) and must outlive them. Everything runs on the thread
// that created the devices (the manager's main thread).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/kernel_device.h"
#include "driver/kernel_driver.h"
#include "platform/vendorsdk/vendorsdk.h"

namespace driver {

class KernelDriverCLSDK3 final : public KernelDriver {
 public:
  // `playerFolder` (Windows form) is where the SDK finds the player.
  explicit KernelDriverCLSDK3(std::string playerFolder);

  int Initialize() override { return 1; }
  // A KernelDeviceCLSDK3 with its SDK object made (a device whose SDK object could not be
  // made still exists: it answers "not connected" and reports the missing drivers).
  std::unique_ptr<device::KernelDevice> CreateDevice(const device::KernelId& device,
                                             const device::KernelId& segment) override;
  int CheckDevice(const device::KernelId&) override { return 1; }

  const std::string& GetPlayerFolder() const { return playerFolder_; }

  // Makes the SDK object of each new device (tests put a recording SDK around the
  // simulated one); null: CreateVendorSdk.
  using SdkFactory = std::function<std::unique_ptr<platform::VendorSdk>(std::string_view playerFolder)>;
  void SetSdkFactory(SdkFactory factory) { sdkFactory_ = std::move(factory); }
  std::unique_ptr<platform::VendorSdk> MakeSdk() const;

 private:
  std::string playerFolder_;
  SdkFactory sdkFactory_;
};

}  // namespace driver
