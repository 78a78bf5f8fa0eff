#include "platform/shell/drag_drop.h"

#include <cstring>
#include <new>

#include "platform/com/drop_files.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "platform/ui/host.h"
#include "platform/ui/ui_window.h"
#include "platform/window/window.h"

namespace platform {

std::string ClipboardFormatToName(CLIPFORMAT format) {
  if (format == CF_HDROP) return std::string(kUriListFormat);
  return GetClipboardFormatName(format);
}

CLIPFORMAT ClipboardFormatFromName(std::string_view name) {
  if (EqualsNoCase(name, kUriListFormat)) return CF_HDROP;
  return static_cast<CLIPFORMAT>(RegisterClipboardFormat(name));
}

namespace {

constexpr std::string_view kDataObjectKind = "IDataObject";

FORMATETC HGlobalFormat(CLIPFORMAT format) {
  FORMATETC f;
  f.cfFormat = format;
  f.tymed = TYMED_HGLOBAL;
  return f;
}

// The offer of a data object of this process.
class OleDataOffer final : public DataOffer {
 public:
  OleDataOffer(IDataObject* data, IDropSource* source) : data_(Hold(data)), source_(Hold(source)) {}

  bool Cancelled() const { return cancelled_; }

  std::vector<std::string> Formats() override {
    std::vector<std::string> names;
    ComPtr<IEnumFORMATETC> formats;
    if (!data_ || data_->EnumFormatEtc(DATADIR_GET, formats.Put()) != S_OK || !formats) return names;
    FORMATETC f;
    ULONG fetched = 0;
    while (formats->Next(1, &f, &fetched) == S_OK && fetched == 1) {
      std::string name = ClipboardFormatToName(f.cfFormat);
      if (name.empty()) continue;
      bool seen = false;
      for (const std::string& n : names) seen = seen || EqualsNoCase(n, name);
      if (!seen) names.push_back(std::move(name));
    }
    return names;
  }

  std::optional<std::string> Data(std::string_view format) override {
    const CLIPFORMAT cf = ClipboardFormatFromName(format);
    if (!data_ || cf == 0) return std::nullopt;
    if (cf == CF_HDROP && source_ && !decided_) {
      // The receiver wants the files: the source decides now, as at the button's release.
      decided_ = true;
      cancelled_ = source_->QueryContinueDrag(false, 0) != DRAGDROP_S_DROP;
    }
    if (cancelled_) return std::nullopt;
    const FORMATETC f = HGlobalFormat(cf);
    STGMEDIUM medium;
    if (FAILED(data_->GetData(&f, &medium))) return std::nullopt;
    std::optional<std::string> bytes;
    if (medium.tymed == TYMED_HGLOBAL && cf == CF_HDROP) {
      if (std::optional<std::vector<std::string>> names = ReadDropFiles(medium.hGlobal)) {
        std::vector<std::string> posix;
        for (const std::string& n : *names) posix.push_back(ToPosixPath(n));
        bytes = FormatUriList(posix);
      }
    } else if (medium.tymed == TYMED_HGLOBAL) {
      const auto* p = static_cast<const char*>(GlobalLock(medium.hGlobal));
      if (p != nullptr) bytes.emplace(p, GlobalSize(medium.hGlobal));
      GlobalUnlock(medium.hGlobal);
    }
    ReleaseStgMedium(&medium);
    return bytes;
  }

  void Feedback(DWORD effect) override {
    if (source_) source_->GiveFeedback(effect);
  }
  void* Source(std::string_view kind) override { return kind == kDataObjectKind ? data_.Get() : nullptr; }

 private:
  template <class T>
  static ComPtr<T> Hold(T* p) {
    if (p != nullptr) p->AddRef();
    return ComPtr<T>::Attach(p);
  }

  ComPtr<IDataObject> data_;
  ComPtr<IDropSource> source_;
  bool decided_ = false;
  bool cancelled_ = false;
};

// A data object over an offer from elsewhere (another program, the host's clipboard).
class OfferDataObject final : public ComObject<IDataObject> {
 public:
  explicit OfferDataObject(std::shared_ptr<DataOffer> offer) : offer_(std::move(offer)) {}

  HRESULT GetData(const FORMATETC* format, STGMEDIUM* medium) override {
    if (format == nullptr || medium == nullptr) return E_INVALIDARG;
    *medium = STGMEDIUM{};
    const HRESULT hr = QueryGetData(format);
    if (hr != S_OK) return hr;
    const std::optional<std::string> bytes = offer_->Data(ClipboardFormatToName(format->cfFormat));
    if (!bytes) return DV_E_FORMATETC;
    HGLOBAL block = nullptr;
    if (format->cfFormat == CF_HDROP) {
      std::vector<std::string> paths;
      for (const std::string& p : ParseUriList(*bytes)) paths.push_back(FromPosixPath(p));
      block = MakeDropFilesBlock(paths);
    } else {
      block = GlobalAlloc(GHND, bytes->size());
      if (void* p = GlobalLock(block)) {
        if (!bytes->empty()) std::memcpy(p, bytes->data(), bytes->size());
        GlobalUnlock(block);
      }
    }
    if (block == nullptr) return E_OUTOFMEMORY;
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    return S_OK;
  }
  HRESULT GetDataHere(const FORMATETC* format, STGMEDIUM* medium) override {
    return format == nullptr || medium == nullptr ? E_INVALIDARG : E_NOTIMPL;
  }
  HRESULT QueryGetData(const FORMATETC* format) override {
    if (format == nullptr) return E_INVALIDARG;
    if ((format->dwAspect & DVASPECT_CONTENT) == 0) return DV_E_DVASPECT;
    if ((format->tymed & TYMED_HGLOBAL) == 0) return DV_E_TYMED;
    const std::string name = ClipboardFormatToName(format->cfFormat);
    return offer_ && !name.empty() && offer_->Offers(name) ? S_OK : DV_E_FORMATETC;
  }
  HRESULT GetCanonicalFormatEtc(const FORMATETC*, FORMATETC* out) override {
    if (out == nullptr) return E_INVALIDARG;
    out->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
  }
  HRESULT SetData(const FORMATETC*, STGMEDIUM*, bool) override { return E_NOTIMPL; }
  HRESULT EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
    if (out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    if (direction != DATADIR_GET) return E_NOTIMPL;
    std::vector<FORMATETC> formats;
    if (offer_) {
      for (const std::string& name : offer_->Formats()) {
        if (const CLIPFORMAT cf = ClipboardFormatFromName(name)) formats.push_back(HGlobalFormat(cf));
      }
    }
    *out = CreateFormatEnumerator(std::move(formats));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 private:
  ~OfferDataObject() override = default;
  std::shared_ptr<DataOffer> offer_;
};

class DropTargetHandler final : public DropHandler {
 public:
  explicit DropTargetHandler(DropTargetChooser choose) : choose_(std::move(choose)) {}

  DWORD DragEnter(const std::shared_ptr<DataOffer>& offer, const DragState& state) override {
    Leave();
    data_ = ComPtr<IDataObject>::Attach(DataObjectOfOffer(offer));
    target_ = choose_(state);
    return Enter(state);
  }
  DWORD DragOver(const DragState& state) override {
    if (!data_) return DROPEFFECT_NONE;
    if (Follow(state)) return Enter(state);
    if (!target_) return DROPEFFECT_NONE;
    DWORD effect = state.allowed;
    target_->DragOver(state.keys, Where(state), &effect);
    return effect;
  }
  void DragLeave() override { Leave(); }
  DWORD Drop(const std::shared_ptr<DataOffer>& offer, const DragState& state) override {
    if (!data_) data_ = ComPtr<IDataObject>::Attach(DataObjectOfOffer(offer));
    if (Follow(state) || !entered_) Enter(state);
    DWORD effect = DROPEFFECT_NONE;
    if (target_) {
      effect = state.allowed;
      target_->Drop(data_.Get(), state.keys, Where(state), &effect);
    }
    target_.Reset();
    data_.Reset();
    entered_ = false;
    return effect;
  }

 private:
  static POINTL Where(const DragState& state) { return POINTL{state.at.x, state.at.y}; }

  // The target under the pointer changed: the old one is left. True when it changed.
  bool Follow(const DragState& state) {
    ComPtr<IDropTarget> now = choose_(state);
    if (now.Get() == target_.Get()) return false;
    if (target_ && entered_) target_->DragLeave();
    target_ = std::move(now);
    entered_ = false;
    return true;
  }
  DWORD Enter(const DragState& state) {
    if (!target_) return DROPEFFECT_NONE;
    DWORD effect = state.allowed;
    target_->DragEnter(data_.Get(), state.keys, Where(state), &effect);
    entered_ = true;
    return effect;
  }
  void Leave() {
    if (target_ && entered_) target_->DragLeave();
    target_.Reset();
    data_.Reset();
    entered_ = false;
  }

  DropTargetChooser choose_;
  ComPtr<IDataObject> data_;
  ComPtr<IDropTarget> target_;
  bool entered_ = false;
};

}  // namespace

std::shared_ptr<DataOffer> OfferOfDataObject(IDataObject* data, IDropSource* source) {
  return std::make_shared<OleDataOffer>(data, source);  // a receiver in this process gets `data` itself back
}

IDataObject* DataObjectOfOffer(const std::shared_ptr<DataOffer>& offer) {
  // An offer made from a data object of this process, also by another copy of this code.
  if (auto* own = offer ? static_cast<IDataObject*>(offer->Source(kDataObjectKind)) : nullptr) {
    own->AddRef();
    return own;
  }
  return new (std::nothrow) OfferDataObject(offer);
}

HRESULT OleSetClipboard(IDataObject* data) {
  CurrentHost().SetClipboardOffer(data != nullptr ? OfferOfDataObject(data) : nullptr);
  return S_OK;
}

HRESULT OleGetClipboard(IDataObject** out) {
  if (out == nullptr) return E_POINTER;
  *out = DataObjectOfOffer(CurrentHost().GetClipboardOffer());
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT DoDragDrop(IDataObject* data, IDropSource* source, DWORD okEffects, DWORD* effect) {
  if (effect != nullptr) *effect = DROPEFFECT_NONE;
  if (data == nullptr || source == nullptr || effect == nullptr) return E_INVALIDARG;
  auto offer = std::make_shared<OleDataOffer>(data, source);
  DWORD chosen = CurrentHost().DragOffer(offer, okEffects);
  if (offer->Cancelled()) chosen = DROPEFFECT_NONE;
  *effect = chosen;
  return chosen != DROPEFFECT_NONE ? DRAGDROP_S_DROP : DRAGDROP_S_CANCEL;
}

HRESULT RegisterDragDrop(HWND window, IDropTarget* target) {
  UiWindow* w = UiWindow::FromHandle(window);
  if (w == nullptr || target == nullptr) return E_INVALIDARG;
  target->AddRef();
  ComPtr<IDropTarget> held = ComPtr<IDropTarget>::Attach(target);
  w->SetDropHandler(MakeDropTargetHandler([held](const DragState&) { return held; }));
  return S_OK;
}

HRESULT RevokeDragDrop(HWND window) {
  UiWindow* w = UiWindow::FromHandle(window);
  if (w == nullptr) return E_INVALIDARG;
  w->SetDropHandler(nullptr);
  return S_OK;
}

std::shared_ptr<DropHandler> MakeDropTargetHandler(DropTargetChooser choose) {
  return std::make_shared<DropTargetHandler>(std::move(choose));
}

}  // namespace platform
