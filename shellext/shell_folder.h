// CShellFolder: one folder level of the player as the host browses it. The class factory
// makes the namespace root; BindToObject makes the folders below it. Its identity is the
// last item of its own list (null for the root).
//
// Data objects and drop targets come with drag and drop; the context menu's entries with
// the context menus.
#pragma once

#include <functional>

#include "platform/shell/shell_interfaces.h"
#include "shellext/library.h"
#include "shellext/shell_item.h"

namespace shellext {

class CShellFolder final : public platform::IShellFolder, public platform::IPersistFolder {
 public:
  // `ownList` (copied) is the folder's list relative to `parent`, null for the root.
  CShellFolder(CShellFolder* parent, LPCITEMIDLIST ownList);

  // IUnknown (shared by both interfaces)
  platform::HRESULT QueryInterface(platform::REFIID riid, void** ppv) override;
  platform::ULONG AddRef() override;
  platform::ULONG Release() override;

  // IShellFolder
  platform::HRESULT ParseDisplayName(platform::HWND owner, void* bindContext, const char* displayName,
                                     platform::ULONG* eaten, LPITEMIDLIST* out, platform::ULONG* attributes) override;
  platform::HRESULT EnumObjects(platform::HWND owner, platform::DWORD flags, platform::IEnumIDList** out) override;
  platform::HRESULT BindToObject(LPCITEMIDLIST list, void* bindContext, platform::REFIID riid, void** ppv) override;
  platform::HRESULT BindToStorage(LPCITEMIDLIST list, void* bindContext, platform::REFIID riid, void** ppv) override;
  platform::HRESULT CompareIDs(platform::LPARAM column, LPCITEMIDLIST a, LPCITEMIDLIST b) override;
  platform::HRESULT CreateViewObject(platform::HWND owner, platform::REFIID riid, void** ppv) override;
  platform::HRESULT GetAttributesOf(platform::UINT count, LPCITEMIDLIST* items, platform::ULONG* inOut) override;
  platform::HRESULT GetUIObjectOf(platform::HWND owner, platform::UINT count, LPCITEMIDLIST* items,
                                  platform::REFIID riid, platform::UINT* reserved, void** ppv) override;
  platform::HRESULT GetDisplayNameOf(LPCITEMIDLIST list, platform::DWORD flags, platform::STRRET* name) override;
  platform::HRESULT SetNameOf(platform::HWND owner, LPCITEMIDLIST list, const char* name, platform::DWORD flags,
                              LPITEMIDLIST* out) override;

  // IPersistFolder
  platform::HRESULT GetClassID(platform::CLSID* clsid) override;
  platform::HRESULT Initialize(LPCITEMIDLIST absoluteList) override;

  CShellFolder* Parent() const { return parent_; }
  LPCITEMIDLIST OwnList() const { return ownList_; }
  LPCITEMIDLIST AbsoluteList() const { return absoluteList_; }
  const PidlManager& Pidls() const { return pidls_; }

 private:
  ~CShellFolder() override;

  LiveObject live_;
  platform::RefCount refs_;
  CShellFolder* parent_;  // not counted
  PidlManager pidls_;
  LPITEMIDLIST ownList_ = nullptr;
  LPITEMIDLIST absoluteList_ = nullptr;
};

// The class id the module serves (the variant table); E_FAIL when its name has none.
platform::HRESULT GetModuleClassId(platform::CLSID* clsid);

// Every item the folder enumerates for the SHCONTF flags, in order, each one-item list
// handed to `take`, which owns it; false when the folder cannot be enumerated.
bool EnumerateFolderItems(platform::IShellFolder& folder, platform::HWND owner, platform::DWORD flags,
                          const std::function<void(LPITEMIDLIST)>& take);
// The icon index a list shows for an item of the folder (its icon handler's, for the
// shell's own lists); -1 when it has none.
int FolderItemIcon(platform::IShellFolder& folder, platform::HWND owner, LPCITEMIDLIST item);

}  // namespace shellext
