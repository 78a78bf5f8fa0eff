// The error that device operations throw. KernelDevice::Dispatch turns it into the
// failure reply of the request block (errorCode, errorTitle, errorDetail), which the
// proxy raises again in the calling process.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Error codes in the form the reports print them ("Code: 0x%X").
constexpr std::int32_t kErrorFail = static_cast<std::int32_t>(0x80004005u);
constexpr std::int32_t kErrorUnexpected = static_cast<std::int32_t>(0x8000FFFFu);
constexpr std::int32_t kErrorInvalidArgument = static_cast<std::int32_t>(0x80070057u);
constexpr std::int32_t kErrorOutOfMemory = static_cast<std::int32_t>(0x8007000Eu);

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
  return DeviceError(kErrorInvalidArgument, "Invalid Argument", std::move(detail));
}
