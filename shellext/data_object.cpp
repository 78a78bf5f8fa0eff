#include "shellext/data_object.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <set>

#include "common/folders.h"
#include "device/sortable.h"
#include "platform/paths/paths.h"
#include "platform/com/drop_files.h"
#include "platform/shell/drag_drop.h"
#include "platform/ui/host.h"
#include "shellext/clipboard_formats.h"
#include "shellext/copy_to_computer.h"
#include "shellext/item_commands.h"
#include "shellext/shell_folder.h"
#include "transfer/transfer_dialog.h"

using namespace device;

namespace shellext {

using platform::DWORD;
using platform::FORMATETC;
using platform::HRESULT;
using platform::S_OK;

namespace {

// The folders of "tx2pc" whose data objects are alive in this process: each object
// copies into a folder of its own, so a later drag or copy never takes files that the
// clipboard still offers.
std::mutex g_PreparedLock;
std::set<std::string> g_LivePrepared;

// "<process id>-<serial>": the folder's process, or 0 for a name of another form.
long FolderProcess(const std::string& name) {
  const std::size_t dash = name.find('-');
  if (dash == 0 || dash == std::string::npos) return 0;
  for (std::size_t i = 0; i < dash; ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
  }
  return std::strtol(name.c_str(), nullptr, 10);
}

// Everything in "tx2pc" that nobody offers any more: this process's folders of objects
// that are gone (a drop target had its time while the next drag began), folders of
// processes that ended, and anything else found there.
void RemoveStalePrepared(const std::string& tx2pc) {
  const long self = static_cast<long>(::getpid());
  for (const platform::DirectoryEntry& e : platform::ListDirectory(tx2pc)) {
    const long process = FolderProcess(e.name);
    if (process == self) {
      std::lock_guard<std::mutex> lock(g_PreparedLock);
      if (g_LivePrepared.count(e.name) != 0) continue;
    } else if (process > 0 && (::kill(static_cast<pid_t>(process), 0) == 0 || errno == EPERM)) {
      continue;  // another process's, still running
    }
    DeleteFolderTree(tx2pc + e.name);
  }
}

FORMATETC Offered(platform::CLIPFORMAT format) {
  FORMATETC f;
  f.cfFormat = format;
  f.ptd = nullptr;
  f.dwAspect = platform::DVASPECT_CONTENT;
  f.lindex = -1;
  f.tymed = platform::TYMED_HGLOBAL;
  return f;
}

}  // namespace

CDataObject::CDataObject(CShellFolder* folder, platform::UINT count, LPCITEMIDLIST* items) : folder_(folder) {
  if (folder_ != nullptr) folder_->AddRef();
  formats_.push_back(Offered(static_cast<platform::CLIPFORMAT>(g_cfNoTransferToSelf)));
  formats_.push_back(Offered(platform::CF_HDROP));
  if (g_cfKernelIdList != 0 && Capability(&KernelDevice::SupportsPlaylists) != 0) {
    formats_.push_back(Offered(static_cast<platform::CLIPFORMAT>(g_cfKernelIdList)));
  }
  const LPCITEMIDLIST own = folder_ != nullptr ? folder_->OwnList() : nullptr;
  for (platform::UINT i = 0; items != nullptr && i < count; ++i) items_.push_back(pidls_.Concatenate(own, items[i]));
  if (!items_.empty() && GetLastItemId(items_.front()) != nullptr) sourceName_ = CPidlLast(items_.front()).GetDisplayName();
}

CDataObject::~CDataObject() {
  ForgetPrepared(prepareWhenAsked_);
  for (LPITEMIDLIST list : items_) pidls_.Free(list);
  if (folder_ != nullptr) folder_->Release();
}

void CDataObject::ForgetPrepared(bool remove) {
  if (prepared_.empty()) return;
  {
    std::lock_guard<std::mutex> lock(g_PreparedLock);
    g_LivePrepared.erase(prepared_);
  }
  // The clipboard's files go when it lets go of them; a drag's stay until the next
  // drag or copy, for a drop target that reads them after the drop.
  if (remove) {
    std::string tx2pc;
    GetWorkFolder(tx2pc, "tx2pc");
    DeleteFolderTree(tx2pc + prepared_);
  }
  prepared_.clear();
}

HRESULT CDataObject::QueryInterface(platform::REFIID riid, void** ppv) {
  if (ppv == nullptr) return platform::E_POINTER;
  if (riid == platform::IID_IUnknown || riid == platform::IID_IDataObject) {
    *ppv = static_cast<platform::IDataObject*>(this);
  } else if (riid == platform::IID_IEnumFORMATETC) {
    *ppv = static_cast<platform::IEnumFORMATETC*>(this);
  } else {
    *ppv = nullptr;
    return platform::E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

platform::ULONG CDataObject::Release() {
  const platform::ULONG n = refs_.Drop();
  if (n == 0) delete this;
  return n;
}

CPidlList CDataObject::Selection() const {
  CPidlList selection;
  for (LPITEMIDLIST list : items_) selection.emplace_back(list);
  return selection;
}

HRESULT CDataObject::GetData(const FORMATETC* format, platform::STGMEDIUM* medium) {
  if (format == nullptr || medium == nullptr) return platform::E_INVALIDARG;
  medium->pUnkForRelease = nullptr;
  const bool hglobal = (format->tymed & platform::TYMED_HGLOBAL) != 0;
  if (g_cfKernelIdList != 0 && format->cfFormat == g_cfKernelIdList && hglobal) {
    medium->tymed = platform::TYMED_HGLOBAL;
    medium->hGlobal = nullptr;
    if (Capability(&KernelDevice::SupportsPlaylists) == 0 && Capability(&KernelDevice::SupportsTagIndex) == 0) {
      return platform::DV_E_FORMATETC;
    }
    std::vector<KernelId> ids;
    try {
      const CPidlList selection = Selection();
      if (!selection.empty() && (selection.front()->nodeType == NT_DATA || selection.front()->nodeType == NT_DATAFOLDER)) {
        for (const CPidlLast& item : selection) ids.push_back(item.GetId());
      } else {
        SortableKernelIdArray tracks(&Device());
        CollectSelectionTrackIds(selection, tracks);
        ids.assign(tracks.begin(), tracks.end());
      }
    } catch (const CPidlException&) {
      return platform::DV_E_FORMATETC;
    }
    medium->hGlobal = MakeKernelIdListBlock(ids);
    return medium->hGlobal != nullptr ? S_OK : platform::E_OUTOFMEMORY;
  }
  if (format->cfFormat == platform::CF_HDROP && hglobal) {
    medium->tymed = platform::TYMED_HGLOBAL;
    medium->hGlobal = nullptr;
    if (!filesReady_ && prepareWhenAsked_) PrepareFiles();
    if (!filesReady_ || files_.empty()) return platform::DV_E_FORMATETC;
    medium->hGlobal = platform::MakeDropFilesBlock(files_);
    return medium->hGlobal != nullptr ? S_OK : platform::E_OUTOFMEMORY;
  }
  return platform::DV_E_FORMATETC;  // the mark included: it is never rendered
}

HRESULT CDataObject::GetDataHere(const FORMATETC* format, platform::STGMEDIUM* medium) {
  return format == nullptr || medium == nullptr ? platform::E_INVALIDARG : platform::E_NOTIMPL;
}

HRESULT CDataObject::QueryGetData(const FORMATETC* format) {
  if (format == nullptr) return platform::S_FALSE;
  if ((format->dwAspect & platform::DVASPECT_CONTENT) == 0) return platform::DV_E_DVASPECT;
  if (formats_.empty()) return platform::DV_E_TYMED;
  bool number = false;
  for (const FORMATETC& f : formats_) {
    if (f.cfFormat != format->cfFormat) continue;
    number = true;
    if ((f.tymed & format->tymed) == f.tymed) return S_OK;
  }
  return number ? platform::DV_E_TYMED : platform::DV_E_FORMATETC;
}

HRESULT CDataObject::GetCanonicalFormatEtc(const FORMATETC*, FORMATETC* out) {
  if (out == nullptr) return platform::E_INVALIDARG;
  out->ptd = nullptr;
  return platform::DATA_S_SAMEFORMATETC;
}

HRESULT CDataObject::EnumFormatEtc(DWORD direction, platform::IEnumFORMATETC** out) {
  if (out == nullptr) return platform::E_INVALIDARG;
  if (direction != platform::DATADIR_GET) return platform::OLE_S_USEREG;
  *out = platform::CreateFormatEnumerator(formats_);  // a fresh one: another reader's walk is its own
  return *out != nullptr ? S_OK : platform::E_OUTOFMEMORY;
}

HRESULT CDataObject::Next(platform::ULONG count, FORMATETC* out, platform::ULONG* fetched) {
  if (fetched != nullptr) *fetched = 0;
  if (out == nullptr) return platform::E_INVALIDARG;
  platform::ULONG copied = 0;
  while (copied < count && position_ < formats_.size()) out[copied++] = formats_[position_++];
  if (fetched != nullptr) *fetched = copied;
  return copied == count ? S_OK : platform::S_FALSE;
}

HRESULT CDataObject::Skip(platform::ULONG count) {
  const auto left = static_cast<platform::ULONG>(formats_.size()) - position_;
  position_ += count < left ? count : left;
  return count <= left ? S_OK : platform::S_FALSE;
}

HRESULT CDataObject::Reset() {
  position_ = 0;
  return S_OK;
}

HRESULT CDataObject::Clone(platform::IEnumFORMATETC** out) {
  if (out == nullptr) return platform::E_INVALIDARG;
  *out = platform::CreateFormatEnumerator(formats_, position_);
  return *out != nullptr ? S_OK : platform::E_OUTOFMEMORY;
}

void CDataObject::PrepareFiles() {
  files_.clear();
  if (items_.empty() || folder_ == nullptr || folder_->OwnList() == nullptr) {
    ShowMessageBox("Did not find any files to transfer to PC.", platform::MB_ICONINFORMATION);
    return;
  }
  CPidlList selection;
  try {
    selection = Selection();
  } catch (const CPidlException&) {
    ShowMessageBox("Did not find any files to transfer to PC.", platform::MB_ICONINFORMATION);
    return;
  }
  ForgetPrepared(true);
  std::string tx2pc;
  GetWorkFolder(tx2pc, "tx2pc");
  RemoveStalePrepared(tx2pc);
  static std::atomic<unsigned> serial{0};
  const std::string name = std::to_string(::getpid()) + "-" + std::to_string(++serial);
  {
    std::lock_guard<std::mutex> lock(g_PreparedLock);
    g_LivePrepared.insert(name);
  }
  prepared_ = name;
  const std::string root = tx2pc + name + "\\";
  CreateDirectoryPath(root);
  // A drop or a paste waits for these files: the transfer window shows the copy and goes
  // at its end by itself. Its Close is asked for now and taken while the copy runs (the
  // run starts with the window open).
  transfer::CTransferDialog window(Device(), nullptr, GetOwnerWindow());
  if (window.Create(GetOwnerWindow())) {
    window.CenterWindow();
    window.ShowWindow(platform::SW_SHOW);
    platform::PostMessage(window.GetSafeHwnd(), platform::WM_CLOSE, 0, 0);
  }
  const CopyResult copied = BuildCopyToComputerLists(selection, root, &window);
  window.DestroyWindow();
  // A copied playlist is a folder of its tracks: the drop gets the folder.
  for (const std::string& path : copied.written) {
    if (path.compare(0, root.size(), root) != 0) continue;
    const std::size_t cut = path.find('\\', root.size());
    std::string top = cut == std::string::npos ? path : path.substr(0, cut);
    if (std::find(files_.begin(), files_.end(), top) == files_.end()) files_.push_back(std::move(top));
  }
  filesReady_ = true;
}

void CopyItemsToClipboard(CShellFolder& folder, const std::vector<LPCITEMIDLIST>& items) {
  platform::ComPtr<platform::IDataObject> data;
  if (folder.GetUIObjectOf(0, static_cast<platform::UINT>(items.size()), const_cast<LPCITEMIDLIST*>(items.data()),
                           platform::IID_IDataObject, nullptr, data.PutVoid()) != S_OK) {
    return;
  }
  if (auto* own = dynamic_cast<CDataObject*>(data.Get())) own->PrepareFilesWhenAsked();
  platform::OleSetClipboard(data.Get());
}

}  // namespace shellext
