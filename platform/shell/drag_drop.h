// The desktop's clipboard and drag and drop for data objects: a data object goes on the
// clipboard or into a drag, and a window's drop target gets the data objects dragged
// over it, from this program or any other.
//
// Underneath, the UI core's offers carry the data (platform/ui/data_offer.h); formats
// cross by name: CF_HDROP is "text/uri-list" (the block's paths are in the system's
// Windows form, the list's are file URIs), a registered clipboard format is its name. A
// data object that stays inside the process reaches its receiver itself; from another
// program only the bytes of each format come, when the receiver asks for them.
//
// A drag's source is asked whether to drop (IDropSource::QueryContinueDrag with the
// button released) when the target first asks for the file list: that is when the files
// have to exist. A target of this system asks for its own formats instead, so dragging
// between its windows, or to another process of it, never makes files.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/com/data_object.h"
#include "platform/shell/shell_interfaces.h"
#include "platform/ui/data_offer.h"

namespace platform {

// Puts the data object on the clipboard (null: empties it); S_OK.
HRESULT OleSetClipboard(IDataObject* data);
// What the clipboard holds, as a data object (one without formats when it is empty);
// E_POINTER for a null out.
HRESULT OleGetClipboard(IDataObject** out);

// Runs a drag of `data` until the person lets go or gives up: DRAGDROP_S_DROP with the
// effect the target chose, DRAGDROP_S_CANCEL with DROPEFFECT_NONE when nothing took it
// or the source cancelled.
HRESULT DoDragDrop(IDataObject* data, IDropSource* source, DWORD okEffects, DWORD* effect);

// The window's drops go to `target` (held until revoked or replaced). E_INVALIDARG for a
// window of another process or none.
HRESULT RegisterDragDrop(HWND window, IDropTarget* target);
HRESULT RevokeDragDrop(HWND window);

// Clipboard format numbers and the names offers use, both ways: CF_HDROP is
// "text/uri-list"; a registered format is its name (registered when first named).
std::string ClipboardFormatToName(CLIPFORMAT format);
CLIPFORMAT ClipboardFormatFromName(std::string_view name);

// The offer a data object makes (its formats, its bytes when asked for); `source`, when
// given, decides at the drop (see above) and hears the target's effects.
std::shared_ptr<DataOffer> OfferOfDataObject(IDataObject* data, IDropSource* source = nullptr);
// A data object over an offer (the offer's own data object when it came from one);
// count 1.
IDataObject* DataObjectOfOffer(const std::shared_ptr<DataOffer>& offer);

// A window's drop handler that hands each drag to the desktop drop target `choose` names
// for where the pointer is (null: nothing takes drops there). When the pointer moves to
// another target, the first one hears DragLeave and the new one DragEnter.
using DropTargetChooser = std::function<ComPtr<IDropTarget>(const DragState& state)>;
std::shared_ptr<DropHandler> MakeDropTargetHandler(DropTargetChooser choose);

}  // namespace platform
