#include <cstring>

#include "platform/com/allocator.h"
#include "platform/shell/shell_interfaces.h"
#include "platform/text/text.h"

namespace platform {

std::string StrRetToString(STRRET* strret, LPCITEMIDLIST item) {
  if (strret == nullptr) return {};
  std::string text;
  switch (strret->uType) {
    case STRRET_WSTR:
      if (strret->pOleStr != nullptr) {
        const std::size_t known = ShellAllocatedBytesFrom(strret->pOleStr);
        text = std::string(ReadField(strret->pOleStr, known));
        IMalloc* malloc = nullptr;
        if (SUCCEEDED(SHGetMalloc(&malloc))) {
          malloc->Free(strret->pOleStr);
          malloc->Release();
        }
        strret->pOleStr = nullptr;
      }
      break;
    case STRRET_OFFSET: {
      const std::size_t size = ItemIdListSize(item);
      if (size != 0 && strret->uOffset < size) {
        text = std::string(ReadField(reinterpret_cast<const char*>(item) + strret->uOffset, size - strret->uOffset));
      }
      break;
    }
    default:
      text = std::string(ReadField(strret->cStr, sizeof strret->cStr));
      break;
  }
  return text;
}

}  // namespace platform
