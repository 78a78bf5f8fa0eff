#include "platform/com/data_object.h"

#include <new>

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

namespace {

class FormatEnumerator final : public ComObject<IEnumFORMATETC> {
 public:
  FormatEnumerator(std::vector<FORMATETC> formats, ULONG position)
      : formats_(std::move(formats)), position_(position) {}

  HRESULT Next(ULONG count, FORMATETC* out, ULONG* fetched) override {
    if (fetched != nullptr) *fetched = 0;
    if (out == nullptr) return E_INVALIDARG;
    ULONG copied = 0;
    while (copied < count && position_ < formats_.size()) out[copied++] = formats_[position_++];
    if (fetched != nullptr) *fetched = copied;
    return copied == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    const ULONG left = static_cast<ULONG>(formats_.size()) - position_;
    position_ += count < left ? count : left;  // past the end: to the end, and say so
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumFORMATETC** out) override {
    if (out == nullptr) return E_INVALIDARG;
    *out = CreateFormatEnumerator(formats_, position_);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 private:
  ~FormatEnumerator() override = default;
  std::vector<FORMATETC> formats_;
  ULONG position_;
};

}  // namespace

IEnumFORMATETC* CreateFormatEnumerator(std::vector<FORMATETC> formats, ULONG position) {
  if (position > formats.size()) position = static_cast<ULONG>(formats.size());
  return new (std::nothrow) FormatEnumerator(std::move(formats), position);
}

}  // namespace platform
