// The order of a folder's items (IShellFolder::CompareIDs and the folder view's sort by
// folder order): leading action rows, items by their place in the folder, tracks by their
// tags, the named items of data, notes and contacts folders (folders before their files,
// then by name), the trailing action row, and unreadable items last. It is a strict weak
// ordering whatever the items (ties are broken by id, then place), so a sort by it is
// defined.
#pragma once

#include "shellext/shell_item.h"

namespace shellext {

// -1 when a goes first, 1 when b does, 0 when they are the same item. Null stands for an
// unreadable item. Tracks go by their tags (artist, album, track number, title, ...);
// `column` below 99 puts that key of CompareTrackRecords first (2: one album's tracks by
// number); `tagIndex` says whether tracks carry their tags (else they go by place).
int CompareFolderItems(const ShellItemData* a, const ShellItemData* b, int column, bool tagIndex);

// Whether an action row is one of those that lead a folder (2055, 2056, 2071, 2072,
// 2081-2084) or the one that ends it (2099).
bool IsLeadingActionRow(const ShellItemData& item);
bool IsTrailingActionRow(const ShellItemData& item);

}  // namespace shellext
