#include "driver/kernel_driver.h"

#include <algorithm>

namespace driver {

using namespace device;

KernelDriver::KernelDriver(std::string name)
    : progress_(std::make_unique<DlgSystrayProgress>()), name_(std::move(name)) {}

KernelDriver::~KernelDriver() = default;

void KernelDriver::ForgetDevice(KernelDevice* device) {
  devices_.erase(std::remove(devices_.begin(), devices_.end(), device), devices_.end());
}

}  // namespace driver
