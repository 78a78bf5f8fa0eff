// What the player driver and its device share about the vendor SDK: the SDK's error
// texts, the text conversions to and from SDK strings, and the lookups of installed
// driver versions in the machine-wide settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/vendorsdk/vendorsdk.h"

namespace driver {

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

}  // namespace driver
