// Drag and drop of the player's items. CDropSource accompanies a drag of a CDataObject:
// when the drop lands on another program, the items are copied to the computer first,
// so the program receives ordinary files. CDropTarget stands for one player folder (or
// the player as a whole) and takes either the library's own item ids, which it turns
// into device operations (queue tracks, add them to a playlist, make a playlist, retag
// tracks, move data items), or files from the computer, which go to the transfer
// launcher.
//
// A drag of the player's own items onto a folder that takes files (a storage medium) is
// refused: its data carries the "no transfer to self" mark, and a drop of marked data
// never becomes a transfer.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "platform/shell/shell_interfaces.h"
#include "shellext/library.h"
#include "shellext/shell_item.h"

namespace shellext {

class CDataObject;

// 1 while the pointer is over one of the library's own targets that take item ids; a
// drop while it is 1 makes no files. The view and the drop targets set and clear it.
extern std::atomic<int> g_DragOverOwnTarget;

class CDropSource final : public platform::IDropSource {
 public:
  explicit CDropSource(CDataObject* data);  // the data object is not held

  platform::HRESULT QueryInterface(platform::REFIID riid, void** ppv) override;
  platform::ULONG AddRef() override { return refs_.Add(); }
  platform::ULONG Release() override;

  // Escape cancels; the button still down goes on; with it up, a refused drop cancels and
  // a drop on another program has the items copied to the computer first.
  platform::HRESULT QueryContinueDrag(bool escapePressed, platform::DWORD keyState) override;
  platform::HRESULT GiveFeedback(platform::DWORD effect) override;

 private:
  ~CDropSource() override = default;
  LiveObject live_;
  platform::RefCount refs_;
  CDataObject* data_;
  platform::DWORD lastEffect_ = platform::DROPEFFECT_NONE;
};

class CDropTarget final : public platform::IDropTarget {
 public:
  // The target folder's list (copied; its last item decides); null: the player as a
  // whole.
  explicit CDropTarget(LPCITEMIDLIST target);

  platform::HRESULT QueryInterface(platform::REFIID riid, void** ppv) override;
  platform::ULONG AddRef() override { return refs_.Add(); }
  platform::ULONG Release() override;

  // The effect the drop would have (none, copy, or link with the middle button held).
  platform::HRESULT DragEnter(platform::IDataObject* data, platform::DWORD keyState, platform::POINTL point,
                              platform::DWORD* effect) override;
  platform::HRESULT DragOver(platform::DWORD keyState, platform::POINTL point, platform::DWORD* effect) override;
  platform::HRESULT DragLeave() override;
  // Always S_OK; the effect is DROPEFFECT_COPY when the drop did what it should, else
  // none (a message said why).
  platform::HRESULT Drop(platform::IDataObject* data, platform::DWORD keyState, platform::POINTL point,
                         platform::DWORD* effect) override;

  bool Accepts() const { return accept_; }

 private:
  ~CDropTarget() override;
  bool DropItemIds(platform::IDataObject* data);
  bool DropFiles(platform::IDataObject* data, const device::KernelId& target, bool dataFolder);
  bool QueueDroppedTracks(const std::vector<device::KernelId>& ids);
  bool ChangeFieldByDrop(const std::vector<device::KernelId>& ids, std::uint32_t kind);
  bool CreatePlaylistFromDrop(platform::IDataObject* data, const std::vector<device::KernelId>& ids);
  bool MoveDroppedDataItems(const std::vector<device::KernelId>& ids);

  LiveObject live_;
  platform::RefCount refs_;
  PidlManager pidls_;
  LPITEMIDLIST target_ = nullptr;
  bool accept_ = false;
};

// Moves data items into a data folder of the player, in order (an item already there
// stays): the number moved, -1 after a refusal, which has been shown. Device errors go
// to the caller.
int MoveDataItems(const device::KernelId& folder, const std::vector<device::KernelId>& items);

}  // namespace shellext
