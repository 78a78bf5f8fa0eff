// CExtractIcon: the icon handler of one item. GetIconLocation chooses the item's icon
// index (a fixed picture, or its file type's icon, appended to the icon table once per
// type); Extract hands out named icons of that index in both sizes.
#pragma once

#include "platform/shell/shell_interfaces.h"
#include "shellext/library.h"
#include "shellext/shell_item.h"

namespace shellext {

class CExtractIcon final : public platform::ComObject<platform::IExtractIconA> {
 public:
  // Keeps its own copy of the item's list.
  explicit CExtractIcon(LPCITEMIDLIST item);

  platform::HRESULT GetIconLocation(platform::UINT flags, char* iconFile, platform::UINT fileSize, int* index,
                                    platform::UINT* outFlags) override;
  platform::HRESULT Extract(const char* iconFile, platform::UINT index, platform::HICON* large,
                            platform::HICON* small, platform::UINT iconSize) override;

 private:
  ~CExtractIcon() override;

  LiveObject live_;
  PidlManager pidls_;
  LPITEMIDLIST list_ = nullptr;
};

}  // namespace shellext
