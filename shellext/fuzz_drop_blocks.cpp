// Fuzz target for the blocks a drop or a paste hands over from another program: the file
// list (CF_HDROP) and the library's item-id list. Beyond "no crash, no sanitizer report"
// it checks that what a reader takes lies within the block and that a block written from
// it reads back the same.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/com/drop_files.h"
#include "shellext/clipboard_formats.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (const std::optional<std::vector<std::string>> names = platform::ReadDropFiles(data, size)) {
    std::size_t bytes = sizeof(platform::DROPFILES);
    for (const std::string& n : *names) bytes += n.size() + 1;
    Check(bytes <= size);
    platform::HGLOBAL block = platform::MakeDropFilesBlock(*names);
    Check(platform::ReadDropFiles(block) == names);
    platform::GlobalFree(block);
  }
  if (const std::optional<std::vector<device::KernelId>> ids = shellext::ReadKernelIdListBlock(data, size)) {
    Check(ids->empty() || (ids->size() + 1) * shellext::kKernelIdSlot <= size);
    platform::HGLOBAL block = shellext::MakeKernelIdListBlock(*ids);
    const std::optional<std::vector<device::KernelId>> again = shellext::ReadKernelIdListBlock(block);
    Check(again && *again == *ids);
    platform::GlobalFree(block);
  }
  return 0;
}
