// Result codes of the component interfaces, with the desktop's numbers: S_OK and S_FALSE
// succeed, every value with the top bit set fails.
#pragma once

#include <cstdint>

namespace platform {

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;

constexpr HRESULT MakeHresult(std::uint32_t bits) { return static_cast<HRESULT>(bits); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = MakeHresult(0x80004001u);
constexpr HRESULT E_NOINTERFACE = MakeHresult(0x80004002u);
constexpr HRESULT E_POINTER = MakeHresult(0x80004003u);
constexpr HRESULT E_ABORT = MakeHresult(0x80004004u);
constexpr HRESULT E_FAIL = MakeHresult(0x80004005u);
constexpr HRESULT E_UNEXPECTED = MakeHresult(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = MakeHresult(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = MakeHresult(0x80070057u);
constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHresult(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHresult(0x80040111u);
constexpr HRESULT OLE_E_ADVISENOTSUPPORTED = MakeHresult(0x80040003u);
constexpr HRESULT DV_E_FORMATETC = MakeHresult(0x80040064u);
constexpr HRESULT DV_E_TYMED = MakeHresult(0x80040069u);
constexpr HRESULT DV_E_DVASPECT = MakeHresult(0x8004006Bu);
constexpr HRESULT DATA_S_SAMEFORMATETC = MakeHresult(0x00040130u);
constexpr HRESULT OLE_S_USEREG = MakeHresult(0x00040000u);
constexpr HRESULT DRAGDROP_S_DROP = MakeHresult(0x00040100u);
constexpr HRESULT DRAGDROP_S_CANCEL = MakeHresult(0x00040101u);
constexpr HRESULT DRAGDROP_S_USEDEFAULTCURSORS = MakeHresult(0x00040102u);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

}  // namespace platform
