// The library's icons: a table of freedesktop icon names whose positions are the icon
// indexes the items use (it stands in for the two image lists of 16 and 32 pixels, which
// hold the same pictures at the same positions), and the file-type icons appended to it
// once per file type.
#pragma once

#include <optional>
#include <string>

#include "device/kernel_device.h"
#include "platform/ui/image_list.h"
#include "shellext/shell_item.h"

namespace shellext {

struct IconEntry {
  std::string name;      // freedesktop icon name
  std::string fallback;  // when the theme lacks `name`
  std::string emblem;    // drawn over it ("emblem-symbolic-link"), or empty
};

// The fixed pictures, in index order.
inline constexpr int kFixedIconCount = 37;

// Makes the table afresh: the fixed pictures, no file-type icons.
void BuildIconTable();
// The picture at an index; an empty entry when there is none.
IconEntry IconAt(int index);
int IconCount();

// How an item shows: a fixed index, the file-type icon, or none at all.
struct IconChoice {
  enum Kind { kIndex, kFileType, kNone, kNoIcon } kind = kNone;
  int index = -1;  // kIndex
};
// The library's two image lists (16 and 32 pixels) that every view's list shows its
// icons from, holding the table's pictures at their indexes (brought up to date with the
// table on every call).
const platform::ImageList& SharedImageList(bool small);

// The icon of an item (Kind kNone: success without an index, a message row; kNoIcon:
// the item asks for no icon at all). May ask the device (a data folder's root test).
IconChoice ChooseIcon(const ShellItemData& item, device::KernelDevice& device);

// Whether items of the type show the file-type icon (or a locked or codec picture):
// tracks, data files, playlist and queue entries and every type without a picture of
// its own.
bool IsFileLikeItem(std::uint32_t nodeType);

// The file name and cache key of an item's file-type icon: a track of a device with a
// tag index is named "a." + its codec's extension; the key is the name's extension
// (from its last "."), "lnk" appended for a playlist entry.
struct FileTypeKey {
  std::string name;
  std::string key;
};
FileTypeKey FileTypeKeyOf(const ShellItemData& item, device::KernelDevice& device);

// The index of a key's file-type icon, appending it (asking the desktop for the type's
// icon) the first time; a playlist entry's icon carries the link emblem.
int FileTypeIcon(const FileTypeKey& key, bool link);
// The index cached for a key, if any.
std::optional<int> CachedFileTypeIcon(const std::string& key);

}  // namespace shellext
