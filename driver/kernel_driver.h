// KernelDriver, the base of every player driver: its name, the devices it made (a device
// leaves the list when destroyed) and the systray progress pop-up its devices report to.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device/kernel_device.h"
#include "driver/systray_progress.h"

namespace driver {

class KernelDriver : public device::DeviceOwner {
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
  virtual std::unique_ptr<device::KernelDevice> CreateDevice(const device::KernelId& device,
                                                     const device::KernelId& segment) = 0;
  // Whether the driver still knows the device with this id.
  int CheckDevice(const device::KernelId& device) override = 0;

  DlgSystrayProgress* GetSystrayProgress() { return progress_.get(); }
  const std::vector<device::KernelDevice*>& GetDevices() const { return devices_; }
  // A device going away leaves the list.
  void ForgetDevice(device::KernelDevice* device);

 protected:
  void AddDevice(device::KernelDevice* device) { devices_.push_back(device); }

 private:
  std::unique_ptr<DlgSystrayProgress> progress_;
  std::string name_;
  std::vector<device::KernelDevice*> devices_;
};

}  // namespace driver
