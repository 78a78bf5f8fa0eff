// The player drivers of the manager: KernelDriver, the base of every driver, and
// KernelDriverCLSDK3, the driver over the player vendor's SDK, which creates the manager's
// one real device (KernelDeviceCLSDK3, device_clsdk3.h). Also the SDK's error texts, the
// text conversions to and from SDK strings, and the lookups of installed driver versions
// in the machine-wide settings.
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
#include "manager/systray_progress.h"
#include "platform/vendorsdk/vendorsdk.h"

class KernelDriver : public DeviceOwner {
 public:
  // Stores the name and makes the hidden progress pop-up.
  explicit KernelDriver(std::string name);
  ~KernelDriver() override;
  KernelDriver(const KernelDriver&) = delete;
  KernelDriver& operator=(const KernelDriver&) = delete;

  // Called once right after construction; 1 when the driver can be used.
  virtual int Initialize() = 0;
  std::string GetName() const { return name_; }
  // Makes a device for the device id (word 0 = device kind) and segment id (word 0 = the
  // SDK device number).
  virtual std::unique_ptr<KernelDevice> CreateDevice(const KernelId& device,
                                                     const KernelId& segment) = 0;
  // Whether the driver still knows the device with this id.
  int CheckDevice(const KernelId& device) override = 0;

  DlgSystrayProgress* GetSystrayProgress() { return progress_.get(); }
  const std::vector<KernelDevice*>& GetDevices() const { return devices_; }
  // A device going away leaves the list.
  void ForgetDevice(KernelDevice* device);

 protected:
  void AddDevice(KernelDevice* device) { devices_.push_back(device); }

 private:
  std::unique_ptr<DlgSystrayProgress> progress_;
  std::string name_;
  std::vector<KernelDevice*> devices_;
};

class KernelDriverCLSDK3 final : public KernelDriver {
 public:
  // `playerFolder` (Windows form) is where the SDK finds the player.
  explicit KernelDriverCLSDK3(std::string playerFolder);

  int Initialize() override { return 1; }
  // A KernelDeviceCLSDK3 with its SDK object made (a device whose SDK object could not be
  // made still exists: it answers "not connected" and reports the missing drivers).
  std::unique_ptr<KernelDevice> CreateDevice(const KernelId& device,
                                             const KernelId& segment) override;
  int CheckDevice(const KernelId&) override { return 1; }

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

// The text of an SDK result code; codes outside the table give the fallback text
// formatted with the code.
std::string SdkErrorText(std::uint32_t code);

// System text into an SDK string: nullopt when it does not fit the SDK's 255 characters.
std::optional<platform::SdkString> AnsiToBstr(std::string_view text);
// An SDK string of 1 to 255 characters into `out`; an empty or longer one leaves `out` as
// it was (answers false).
bool BstrToAnsi(const platform::SdkString& text, std::string& out);

// The vendor's MP3 library is a file of the desktop's system folder that the SDK must not
// load; there is no such file here, so renaming it away has nothing to act on.
void DisableVendorMp3Library();

// The version of a kernel service's driver file ("SYSTEM\CurrentControlSet\Services\<name>"
// in HKEY_LOCAL_MACHINE, its ImagePath), and of the driver installed for a USB or IEEE 1394
// hardware id (the device class keys under "SYSTEM\CurrentControlSet\Control\Class").
// "1.0.0" when anything is missing.
std::string GetServiceDriverVersion(std::string_view service);
std::string GetClassDriverVersion(std::string_view hardwareId);
