// Fuzz target for the walkers of item-id lists that arrive from outside: the bounded
// platform walkers, the library's reading of its own items, the list copies and joins,
// and the stored change notices. Beyond "no crash, no sanitizer report" it checks that
// every walker agrees on where a list ends and that nothing is read as one of the
// library's items unless it is one.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/com/allocator.h"
#include "platform/shell/change_notify.h"
#include "platform/shell/item_id_list.h"
#include "shellext/shell_item.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t listSize = platform::ItemIdListSize(data, size);
  Check(listSize <= size);
  std::size_t walked = 0;
  long items = 0;
  const bool wellFormed = platform::ForEachItemId(data, size, [&](const std::uint8_t* item, std::size_t cb) {
    Check(cb >= 2 && item >= data && item + cb <= data + size);
    walked += cb;
    ++items;
    return true;
  });
  Check(wellFormed == (listSize != 0));
  if (wellFormed) {
    Check(walked + 2 == listSize);
    Check(platform::ItemIdCount(data, size) == items);
  }
  const platform::SHITEMID* last = platform::LastItemId(data, size);
  Check((last != nullptr) == (items > 0));

  // The same bytes handed over in the shell allocator, as a host hands lists over.
  platform::LPITEMIDLIST list = platform::ItemIdListFromBytes(data, size);
  Check((list != nullptr) == wellFormed);
  if (list != nullptr) {
    Check(platform::ItemIdListSize(list) == listSize);
    const shellext::ShellItemData* ours = shellext::GetLastItemId(list);
    bool threw = false;
    try {
      const shellext::CPidlLast held(list);
      Check(held->cb == shellext::kShellItemSize);
      Check(held.GetDisplayName().size() <= 256 && held.GetSecondText().size() <= 256);
    } catch (const shellext::CPidlException&) {
      threw = true;
    }
    Check(threw == (ours == nullptr));
    shellext::PidlManager pidls;
    platform::LPITEMIDLIST joined = pidls.Concatenate(list, list);
    Check(joined != nullptr && pidls.GetSize(joined) == 2 * listSize - 2);
    pidls.Free(joined);
    pidls.Free(list);
  }

  platform::ChangeNotice notice;
  if (platform::ParseChangeNotice(data, size, &notice)) {
    const std::vector<std::uint8_t> again = platform::SerializeChangeNotice(notice);
    Check(again.size() == size && std::memcmp(again.data(), data, size) == 0);
  }
  return 0;
}
