#include "shellext/shell_item.h"

#include <algorithm>
#include <cstring>

#include "platform/text/text.h"

using namespace device;

namespace shellext {

void SetItemText(FixedString256& field, std::string_view text) {
  const std::size_t n = platform::Utf8PrefixLength(text, sizeof field.text);
  if (n != 0) std::memmove(field.text, text.data(), n);
  std::memset(field.text + n, 0, sizeof field.text - n);
  field.zero = 0;
  field.capacity = 0;
}

const ShellItemData* GetLastItemId(LPCITEMIDLIST list) {
  const std::size_t length = platform::HandedOverLength(list);
  const platform::SHITEMID* last = platform::LastItemId(list, length);
  if (last == nullptr) return nullptr;
  const std::size_t available = length - static_cast<std::size_t>(reinterpret_cast<const std::uint8_t*>(last) -
                                                                  reinterpret_cast<const std::uint8_t*>(list));
  if (!IsShellItem(last, available)) return nullptr;
  return reinterpret_cast<const ShellItemData*>(last);
}

// ---- PidlManager ----

PidlManager::PidlManager() {
  platform::SHGetMalloc(&malloc_);
  if (malloc_ != nullptr) malloc_->AddRef();  // held for the manager's life
}

PidlManager::~PidlManager() {
  if (malloc_ != nullptr) {
    malloc_->Release();
    malloc_->Release();
  }
}

std::size_t PidlManager::GetSize(LPCITEMIDLIST list) const { return platform::ItemIdListSize(list); }

LPITEMIDLIST PidlManager::Copy(LPCITEMIDLIST list) const { return platform::CloneItemIdList(list); }

LPITEMIDLIST PidlManager::Concatenate(LPCITEMIDLIST first, LPCITEMIDLIST second) const {
  return platform::CombineItemIdLists(first, second);
}

void PidlManager::Free(LPITEMIDLIST list) const { platform::FreeItemIdList(list); }

// ---- CPidlLast ----

CPidlLast::CPidlLast(LPCITEMIDLIST list) {
  const ShellItemData* item = GetLastItemId(list);
  if (item == nullptr) throw CPidlException();
  Hold(item);
}

CPidlLast::CPidlLast(const CPidlLast& other) : item_(other.item_), copy_(other.copy_) {}

CPidlLast& CPidlLast::operator=(const CPidlLast& other) {
  item_ = other.item_;
  copy_ = other.copy_;
  return *this;
}

void CPidlLast::Attach(const ShellItemData* item) {
  if (item == nullptr) throw CPidlException();
  Hold(item);
}

void CPidlLast::Hold(const void* item) {
  if (reinterpret_cast<std::uintptr_t>(item) % alignof(ShellItemData) == 0) {
    item_ = static_cast<const ShellItemData*>(item);
    copy_.reset();
    return;
  }
  // An item behind a host's item of odd length: read it from an aligned copy.
  copy_ = std::make_shared<ShellItemData>();
  std::memcpy(static_cast<void*>(copy_.get()), item, sizeof(ShellItemData));
  item_ = copy_.get();
}

void CPidlList::SortById(int direction) {
  std::stable_sort(begin(), end(), [direction](const CPidlLast& a, const CPidlLast& b) {
    const std::uint32_t x = a->id.word[0];
    const std::uint32_t y = b->id.word[0];
    return direction < 0 ? x > y : x < y;
  });
}

}  // namespace shellext
