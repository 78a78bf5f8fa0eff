#include "platform/shell/named_icon.h"

#include <cstdlib>

#include "platform/text/text.h"

namespace platform {

struct NamedIcon {
  char name[128];
  char fallback[128];
  char emblem[128];
  int size;
};

HICON CreateNamedIcon(std::string_view name, std::string_view fallback, int size, std::string_view emblem) {
  auto* icon = static_cast<NamedIcon*>(std::calloc(1, sizeof(NamedIcon)));
  if (icon == nullptr) return nullptr;
  CopyToField(icon->name, sizeof icon->name, name);
  CopyToField(icon->fallback, sizeof icon->fallback, fallback);
  CopyToField(icon->emblem, sizeof icon->emblem, emblem);
  icon->size = size;
  return icon;
}

std::string IconName(HICON icon) {
  return icon == nullptr ? std::string() : std::string(ReadField(icon->name, sizeof icon->name));
}

std::string IconFallbackName(HICON icon) {
  return icon == nullptr ? std::string() : std::string(ReadField(icon->fallback, sizeof icon->fallback));
}

std::string IconEmblemName(HICON icon) {
  return icon == nullptr ? std::string() : std::string(ReadField(icon->emblem, sizeof icon->emblem));
}

int IconSize(HICON icon) { return icon == nullptr ? 0 : icon->size; }

void DestroyIcon(HICON icon) { std::free(icon); }

}  // namespace platform
