#include "shellext/enum_id_list.h"

namespace shellext {

using platform::HRESULT;
using platform::S_FALSE;
using platform::S_OK;

CEnumIDList::CEnumIDList(CShellFolder* folder, LPCITEMIDLIST relativeList, platform::DWORD flags)
    : folder_(folder), flags_(flags), device_(Device()) {
  BuildContents(relativeList);
  folder_ = nullptr;
}

CEnumIDList::~CEnumIDList() {
  for (LPITEMIDLIST item : items_) pidls_.Free(item);
}

HRESULT CEnumIDList::Next(platform::ULONG count, LPITEMIDLIST* out, platform::ULONG* fetched) {
  if (count > 1 && fetched == nullptr) return platform::E_INVALIDARG;
  if (count > 0 && out == nullptr) return platform::E_POINTER;
  platform::ULONG written = 0;
  HRESULT result = S_OK;
  while (written < count) {
    if (current_ >= items_.size()) {
      result = S_FALSE;
      break;
    }
    out[written++] = pidls_.Copy(items_[current_++]);
  }
  if (fetched != nullptr) *fetched = written;
  return result;
}

HRESULT CEnumIDList::Skip(platform::ULONG count) {
  for (platform::ULONG i = 0; i < count; ++i) {
    if (current_ >= items_.size()) return S_FALSE;
    ++current_;
  }
  return S_OK;
}

HRESULT CEnumIDList::Reset() {
  current_ = 0;
  return S_OK;
}

HRESULT CEnumIDList::Clone(IEnumIDList**) { return platform::E_NOTIMPL; }

}  // namespace shellext
