// Data objects: the carriers of clipboard and drag-and-drop data. A data object offers
// its data in one or more formats (a registered clipboard format number and a medium);
// the receiver asks for one and releases the medium it gets.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/com/global_memory.h"
#include "platform/com/unknown.h"
#include "platform/kernel/kernel.h"

namespace platform {

using CLIPFORMAT = std::uint16_t;

constexpr DWORD DVASPECT_CONTENT = 1;
constexpr DWORD TYMED_NULL = 0;
constexpr DWORD TYMED_HGLOBAL = 1;
constexpr DWORD TYMED_FILE = 2;
constexpr DWORD TYMED_ISTREAM = 4;
constexpr DWORD DATADIR_GET = 1;
constexpr DWORD DATADIR_SET = 2;

struct FORMATETC {
  CLIPFORMAT cfFormat = 0;
  void* ptd = nullptr;  // target device: always null here
  DWORD dwAspect = DVASPECT_CONTENT;
  std::int32_t lindex = -1;
  DWORD tymed = TYMED_HGLOBAL;
};

struct STGMEDIUM {
  DWORD tymed = TYMED_NULL;
  HGLOBAL hGlobal = nullptr;
  IUnknown* pUnkForRelease = nullptr;  // when set, released instead of freeing the block
};

// Frees the medium's block (or releases its owner) and empties it.
void ReleaseStgMedium(STGMEDIUM* medium);

class IEnumFORMATETC : public IUnknown {
 public:
  static constexpr GUID kIid = {0x00000103, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

  virtual HRESULT Next(ULONG count, FORMATETC* out, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumFORMATETC** out) = 0;
};

class IDataObject : public IUnknown {
 public:
  static constexpr GUID kIid = {0x0000010E, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

  virtual HRESULT GetData(const FORMATETC* format, STGMEDIUM* medium) = 0;
  virtual HRESULT GetDataHere(const FORMATETC* format, STGMEDIUM* medium) = 0;
  virtual HRESULT QueryGetData(const FORMATETC* format) = 0;
  virtual HRESULT GetCanonicalFormatEtc(const FORMATETC* in, FORMATETC* out) = 0;
  virtual HRESULT SetData(const FORMATETC* format, STGMEDIUM* medium, bool release) = 0;
  virtual HRESULT EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) = 0;
};

// An enumerator of a copy of `formats`, at `position` (count 1): what EnumFormatEtc and
// Clone hand out. Next copies from the position on; Skip moves by exactly n (S_OK) or,
// asked for more than is left, to the end (S_FALSE); Clone copies the list and the position.
IEnumFORMATETC* CreateFormatEnumerator(std::vector<FORMATETC> formats, ULONG position = 0);

inline constexpr const GUID& IID_IEnumFORMATETC = IEnumFORMATETC::kIid;
inline constexpr const GUID& IID_IDataObject = IDataObject::kIid;

}  // namespace platform
