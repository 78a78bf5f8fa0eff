#include "shellext/extract_icon.h"

#include <algorithm>
#include <cstring>

#include "shellext/icons.h"

using namespace device;

namespace shellext {

using platform::HRESULT;
using platform::S_FALSE;
using platform::S_OK;

CExtractIcon::CExtractIcon(LPCITEMIDLIST item) : list_(pidls_.Copy(item)) {}

CExtractIcon::~CExtractIcon() { pidls_.Free(list_); }

HRESULT CExtractIcon::GetIconLocation(platform::UINT, char* iconFile, platform::UINT fileSize, int* index,
                                      platform::UINT* outFlags) {
  if (outFlags != nullptr) *outFlags |= platform::GIL_NOTFILENAME;
  const ShellItemData* item = GetLastItemId(list_);
  if (item == nullptr) return S_FALSE;
  CPidlLast last(list_);
  if (iconFile != nullptr && fileSize > 0) {
    const std::size_t n = std::min<std::size_t>(g_DllInstance.size(), fileSize - 1);
    std::memcpy(iconFile, g_DllInstance.data(), n);
    iconFile[n] = '\0';
  }
  KernelDevice& device = Device();
  const IconChoice choice = ChooseIcon(last.Item(), device);
  switch (choice.kind) {
    case IconChoice::kNoIcon:
      return S_FALSE;
    case IconChoice::kNone:
      return S_OK;
    case IconChoice::kIndex:
      if (index != nullptr) *index = choice.index;
      return S_OK;
    case IconChoice::kFileType: {
      const FileTypeKey key = FileTypeKeyOf(last.Item(), device);
      const int at = FileTypeIcon(key, last->nodeType == NT_PLITEM);
      if (index != nullptr) *index = at;
      if (outFlags != nullptr) *outFlags |= platform::GIL_SIMULATEDOC;
      return S_OK;
    }
  }
  return S_OK;
}

HRESULT CExtractIcon::Extract(const char*, platform::UINT index, platform::HICON* large, platform::HICON* small,
                              platform::UINT) {
  if (GetLastItemId(list_) == nullptr) return S_FALSE;
  CPidlLast last(list_);
  int at = static_cast<int>(index);
  if (IsFileLikeItem(last->nodeType)) {
    KernelDevice& device = Device();
    const IconChoice choice = ChooseIcon(last.Item(), device);
    if (choice.kind == IconChoice::kIndex) {
      at = choice.index;  // locked, or a codec with a picture of its own
    } else {
      const auto cached = CachedFileTypeIcon(FileTypeKeyOf(last.Item(), device).key);
      if (!cached) return S_OK;  // GetIconLocation has not stored it
      at = *cached;
    }
  } else if (last->nodeType == NT_MESSAGE) {
    return S_OK;  // a message row has no picture
  }
  const IconEntry entry = IconAt(at);
  if (entry.name.empty()) return S_FALSE;
  if (large != nullptr) *large = platform::CreateNamedIcon(entry.name, entry.fallback, 32, entry.emblem);
  if (small != nullptr) *small = platform::CreateNamedIcon(entry.name, entry.fallback, 16, entry.emblem);
  return S_OK;
}

}  // namespace shellext
