#include "platform/com/data_object.h"

namespace platform {

void ReleaseStgMedium(STGMEDIUM* medium) {
  if (medium == nullptr) return;
  if (medium->pUnkForRelease != nullptr) {
    medium->pUnkForRelease->Release();
  } else if (medium->tymed == TYMED_HGLOBAL) {
    GlobalFree(medium->hGlobal);
  }
  *medium = STGMEDIUM{};
}

}  // namespace platform
