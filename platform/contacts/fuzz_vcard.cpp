// libFuzzer target: any bytes as the content of a contacts folder's file.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/contacts/vcard_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto items = platform::ParseVCardText(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz");
  for (const auto& item : items) {
    // Whatever came out is text the rest of the system can hold.
    if (item.isContact && item.contact.fullName.empty()) __builtin_trap();
  }
  return 0;
}
