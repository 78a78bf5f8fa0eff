// The error that device operations throw. KernelDevice::Dispatch turns it into the
// failure reply of the request block (errorCode, errorTitle, errorDetail), which the
// proxy raises again in the calling process.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/com/hresult.h"

namespace device {

// Error codes are the component result codes (platform/com/hresult.h: E_FAIL,
// E_INVALIDARG ...), printed by the reports as "Code: 0x%X".

class DeviceError : public std::runtime_error {
 public:
  // `code` must not be 0: 0 in the block means "no error".
  DeviceError(std::int32_t code, std::string source, std::string detail)
      : std::runtime_error(detail),
        code_(code),
        source_(std::move(source)),
        detail_(std::move(detail)) {}

  std::int32_t code() const { return code_; }
  const std::string& source() const { return source_; }
  const std::string& detail() const { return detail_; }

 private:
  std::int32_t code_;
  std::string source_;
  std::string detail_;
};

// An index or argument outside what the operation accepts.
inline DeviceError InvalidArgumentError(std::string detail) {
  return DeviceError(platform::E_INVALIDARG, "Invalid Argument", std::move(detail));
}

}  // namespace device
