#include "shellext/shell_folder.h"

#include <cstring>
#include <new>
#include <optional>

#include "common/identity.h"
#include "shellext/context_menu.h"
#include "shellext/enum_id_list.h"
#include "shellext/extract_icon.h"
#include "shellext/item_order.h"
#include "shellext/shell_view.h"

using namespace device;

namespace shellext {

using platform::E_INVALIDARG;
using platform::E_NOINTERFACE;
using platform::E_NOTIMPL;
using platform::E_OUTOFMEMORY;
using platform::HRESULT;
using platform::S_OK;
using platform::ULONG;

HRESULT GetModuleClassId(platform::CLSID* clsid) {
  if (clsid == nullptr) return platform::E_POINTER;
  const int classByte = ClassByteForModule(g_ProductIdentity.moduleName);
  if (classByte < 0) return platform::E_FAIL;  // a name without a class has no identifier to give
  return platform::IIDFromString(ClassIdText(classByte), clsid) == S_OK ? S_OK : platform::E_FAIL;
}

bool EnumerateFolderItems(platform::IShellFolder& folder, platform::HWND owner, platform::DWORD flags,
                          const std::function<void(LPITEMIDLIST)>& take) {
  platform::ComPtr<platform::IEnumIDList> items;
  if (folder.EnumObjects(owner, flags, items.Put()) != S_OK || !items) return false;
  for (;;) {
    LPITEMIDLIST item = nullptr;
    ULONG fetched = 0;
    if (items->Next(1, &item, &fetched) != S_OK || fetched != 1) return true;
    take(item);
  }
}

int FolderItemIcon(platform::IShellFolder& folder, platform::HWND owner, LPCITEMIDLIST item) {
  platform::ComPtr<platform::IExtractIconA> icon;
  if (folder.GetUIObjectOf(owner, 1, &item, platform::IID_IExtractIconA, nullptr, icon.PutVoid()) != S_OK) return -1;
  int index = -1;
  platform::UINT flags = 0;
  return icon->GetIconLocation(platform::GIL_FORSHELL, nullptr, 0, &index, &flags) == S_OK ? index : -1;
}

CShellFolder::CShellFolder(CShellFolder* parent, LPCITEMIDLIST ownList)
    : parent_(parent), ownList_(pidls_.Copy(ownList)) {}

CShellFolder::~CShellFolder() {
  pidls_.Free(ownList_);
  pidls_.Free(absoluteList_);
}

HRESULT CShellFolder::QueryInterface(platform::REFIID riid, void** ppv) {
  if (ppv == nullptr) return platform::E_POINTER;
  if (riid == platform::IID_IUnknown || riid == platform::IID_IShellFolder) {
    *ppv = static_cast<platform::IShellFolder*>(this);
  } else if (riid == platform::IID_IPersistFolder) {
    *ppv = static_cast<platform::IPersistFolder*>(this);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CShellFolder::AddRef() { return refs_.Add(); }

ULONG CShellFolder::Release() {
  const ULONG n = refs_.Drop();
  if (n == 0) delete this;
  return n;
}

HRESULT CShellFolder::Initialize(LPCITEMIDLIST absoluteList) {
  pidls_.Free(absoluteList_);
  absoluteList_ = pidls_.Copy(absoluteList);
  return S_OK;
}

HRESULT CShellFolder::GetClassID(platform::CLSID* clsid) { return GetModuleClassId(clsid); }

HRESULT CShellFolder::ParseDisplayName(platform::HWND, void*, const char*, ULONG*, LPITEMIDLIST*, ULONG*) {
  return E_NOTIMPL;
}

HRESULT CShellFolder::SetNameOf(platform::HWND, LPCITEMIDLIST, const char*, platform::DWORD, LPITEMIDLIST*) {
  return E_NOTIMPL;
}

HRESULT CShellFolder::BindToStorage(LPCITEMIDLIST, void*, platform::REFIID, void** ppv) {
  if (ppv != nullptr) *ppv = nullptr;
  return E_NOTIMPL;
}

HRESULT CShellFolder::EnumObjects(platform::HWND, platform::DWORD flags, platform::IEnumIDList** out) {
  if (out == nullptr) return platform::E_POINTER;
  *out = nullptr;
  try {
    *out = new CEnumIDList(this, ownList_, flags);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return platform::E_FAIL;
  }
}

HRESULT CShellFolder::BindToObject(LPCITEMIDLIST list, void*, platform::REFIID riid, void** ppv) {
  if (ppv == nullptr) return platform::E_POINTER;
  *ppv = nullptr;
  if (GetLastItemId(list) == nullptr) return E_INVALIDARG;  // nothing of ours to bind to
  CShellFolder* child = new (std::nothrow) CShellFolder(this, list);
  if (child == nullptr) return E_OUTOFMEMORY;
  LPITEMIDLIST joined = pidls_.Concatenate(absoluteList_, list);
  child->Initialize(joined);
  pidls_.Free(joined);
  const HRESULT hr = child->QueryInterface(riid, ppv);
  child->Release();
  return hr;
}

HRESULT CShellFolder::CompareIDs(platform::LPARAM column, LPCITEMIDLIST a, LPCITEMIDLIST b) {
  // Held through CPidlLast, so that items at odd places in a host's list are read aligned.
  std::optional<CPidlLast> x, y;
  if (GetLastItemId(a) != nullptr) x.emplace(a);
  if (GetLastItemId(b) != nullptr) y.emplace(b);
  if (!x || !y) DebugTrace("12 1\n");
  auto isTrack = [](const std::optional<CPidlLast>& item) {
    return item && ((*item)->nodeType == NT_TRACK || (*item)->nodeType == NT_INDEXTRACK);
  };
  bool tagIndex = false;
  if (isTrack(x) || isTrack(y)) {
    try {
      tagIndex = Device().SupportsTagIndex() != 0;
    } catch (const std::exception&) {
      tagIndex = false;
    }
  }
  return CompareFolderItems(x ? &x->Item() : nullptr, y ? &y->Item() : nullptr, static_cast<int>(column), tagIndex);
}

HRESULT CShellFolder::CreateViewObject(platform::HWND, platform::REFIID riid, void** ppv) {
  if (ppv == nullptr) return platform::E_POINTER;
  *ppv = nullptr;
  if (riid != platform::IID_IShellView) return E_NOTIMPL;  // the folder's drop target comes with drag and drop
  CShellView* view = new (std::nothrow) CShellView(this, ownList_);
  if (view == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = view->QueryInterface(riid, ppv);
  view->Release();
  return hr;
}

HRESULT CShellFolder::GetAttributesOf(platform::UINT count, LPCITEMIDLIST* items, ULONG* inOut) {
  if (inOut == nullptr) return platform::E_POINTER;
  const ULONG base = platform::SFGAO_BROWSABLE | platform::SFGAO_VALIDATE;
  const ULONG browse = platform::SFGAO_FOLDER | platform::SFGAO_HASSUBFOLDER;
  if (items == nullptr || count == 0) {
    *inOut = base | browse;
    return S_OK;
  }
  const ShellItemData* item = GetLastItemId(items[0]);
  if (item == nullptr) {
    *inOut = base | browse;
    return S_OK;
  }
  switch (CPidlLast(items[0])->nodeType) {
    case NT_DEVICE:
      *inOut = base | browse;
      break;
    case NT_MEMSEG:
    case NT_CONTAINER:
    case NT_PLAYLIST:
      *inOut = base | platform::SFGAO_FOLDER | platform::SFGAO_DROPTARGET;
      break;
    case NT_FMTUNER:
    case NT_INFO:
      *inOut = base | platform::SFGAO_FOLDER;
      break;
    case NT_LISTS:
    case NT_DATAFOLDER:
    case NT_NOTEFOLDER:
    case NT_CONTACTFOLDER:
      *inOut = base | browse | platform::SFGAO_DROPTARGET;
      break;
    default:
      *inOut = platform::SFGAO_VALIDATE;
      break;
  }
  return S_OK;
}

HRESULT CShellFolder::GetUIObjectOf(platform::HWND, platform::UINT count, LPCITEMIDLIST* items,
                                    platform::REFIID riid, platform::UINT*, void** ppv) {
  if (ppv == nullptr) return platform::E_POINTER;
  *ppv = nullptr;
  if (riid == platform::IID_IContextMenu) {
    CContextMenu* menu = new (std::nothrow) CContextMenu(this, count, items);
    if (menu != nullptr) {
      const HRESULT hr = menu->QueryInterface(riid, ppv);
      menu->Release();
      return hr;
    }
  }
  if (riid == platform::IID_IExtractIconA) {
    if (items == nullptr || count == 0) return E_INVALIDARG;
    CExtractIcon* icon = new (std::nothrow) CExtractIcon(items[0]);
    if (icon != nullptr) {
      const HRESULT hr = icon->QueryInterface(riid, ppv);
      icon->Release();
      return hr;
    }
  }
  return E_NOINTERFACE;
}

HRESULT CShellFolder::GetDisplayNameOf(LPCITEMIDLIST list, platform::DWORD flags, platform::STRRET* name) {
  if (name == nullptr || GetLastItemId(list) == nullptr) return E_INVALIDARG;
  const platform::DWORD purpose = flags & 0xFF00;
  const platform::DWORD which = flags & 0x00FF;
  if ((flags & ~0xFFFFu) != 0 || (purpose != 0 && purpose != platform::SHGDN_FORADDRESSBAR &&
                                   purpose != platform::SHGDN_FORPARSING) ||
      which > platform::SHGDN_INFOLDER) {
    return E_INVALIDARG;
  }
  std::string text;
  try {
    const CPidlLast last(list);
    if (which == platform::SHGDN_INFOLDER) {
      text = last.GetDisplayName();
    } else {
      std::string prefix;
      const std::uint32_t word0 = last->id.word[0];
      switch (last->nodeType) {
        case NT_CONTAINER:
          if (word0 == kKindArtistTracks) prefix = "Artists\\";
          if (word0 == kKindAlbumTracks) prefix = "Albums\\";
          if (word0 == kKindGenreTracks) prefix = "Genres\\";
          break;
        case NT_LISTS:
          if (word0 == kListOneArtist) prefix = "Artists\\";
          break;
        case NT_PLAYLIST:
          prefix = "Playlists\\";
          break;
        case NT_DATAFOLDER:
          try {
            KernelId root;
            Device().GetDataRootFolder(root);
            if (root != last->id) prefix = "Data Files\\";
          } catch (const std::exception&) {
            // no prefix when the device cannot say
          }
          break;
        default:
          break;
      }
      text = g_ProductIdentity.productName + "\\" + prefix + last.GetDisplayName();
    }
  } catch (const std::exception&) {
    return E_INVALIDARG;
  }
  void* block = pidls_.Allocator() != nullptr ? pidls_.Allocator()->Alloc(text.size() + 1) : nullptr;
  if (block == nullptr) return E_OUTOFMEMORY;
  std::memcpy(block, text.c_str(), text.size() + 1);
  name->uType = platform::STRRET_WSTR;
  name->pOleStr = static_cast<char*>(block);
  return S_OK;
}

}  // namespace shellext
