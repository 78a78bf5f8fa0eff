// Icons by name: an icon handle names an icon of the desktop's icon theme (freedesktop
// icon names, "audio-x-generic"), with a second name to fall back on when the theme has
// no icon of the first, and an emblem drawn over it ("emblem-symbolic-link") or none. Whoever draws resolves the names; handles travel between a host
// and the libraries it loads (plain C heap blocks, so any module may read and free them).
#pragma once

#include <string>
#include <string_view>

namespace platform {

struct NamedIcon;
using HICON = NamedIcon*;

// A new handle; the names are cut to 127 bytes. Null when no memory is left.
HICON CreateNamedIcon(std::string_view name, std::string_view fallback, int size,
                      std::string_view emblem = {});
// The names and size of a handle; empty texts and 0 for null.
std::string IconName(HICON icon);
std::string IconFallbackName(HICON icon);
std::string IconEmblemName(HICON icon);
int IconSize(HICON icon);
// Frees the handle; null is ignored.
void DestroyIcon(HICON icon);

}  // namespace platform
