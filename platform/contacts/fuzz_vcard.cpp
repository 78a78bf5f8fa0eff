// libFuzzer target: any bytes as the content of a contacts folder's file.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/contacts/vcard_folder.h"

// The vCard library's parser keeps a small buffer of some malformed lines (a content line
// without a value) until the process ends: its own, bounded, not ours to mend.
// (Full stacks, so that a leak is seen to come from the library through GLib.)
extern "C" const char* __lsan_default_suppressions() { return "leak:libebook-contacts-1.2.so\n"; }
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto items = platform::ParseVCardText(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz");
  for (const auto& item : items) {
    // Whatever came out is text the rest of the system can hold.
    if (item.isContact && item.contact.fullName.empty()) __builtin_trap();
  }
  return 0;
}
