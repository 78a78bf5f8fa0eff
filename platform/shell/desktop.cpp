#include "platform/shell/desktop.h"

#include <gio/gio.h>

#include "platform/shell/applications.h"
#include "platform/text/text.h"

namespace platform {

FileTypeIcon FileTypeIconOf(std::string_view fileName) {
  FileTypeIcon icon;
  const std::string name(fileName);
  gchar* type = g_content_type_guess(name.c_str(), nullptr, 0, nullptr);
  if (type == nullptr) return {"application-octet-stream", "application-x-generic"};
  if (GIcon* gicon = g_content_type_get_icon(type)) {
    if (G_IS_THEMED_ICON(gicon)) {
      const gchar* const* names = g_themed_icon_get_names(G_THEMED_ICON(gicon));
      if (names != nullptr && names[0] != nullptr) icon.name = names[0];
    }
    g_object_unref(gicon);
  }
  if (gchar* generic = g_content_type_get_generic_icon_name(type)) {
    icon.fallback = generic;
    g_free(generic);
  }
  g_free(type);
  if (icon.name.empty()) icon.name = icon.fallback;
  return icon;
}

std::string FileTypeNameOf(std::string_view fileName) {
  const std::string name(fileName);
  gboolean uncertain = FALSE;
  gchar* type = g_content_type_guess(name.c_str(), nullptr, 0, &uncertain);
  std::string text;
  if (type != nullptr && !g_content_type_is_unknown(type)) {
    if (gchar* description = g_content_type_get_description(type)) {
      text = description;
      g_free(description);
    }
  }
  g_free(type);
  if (!text.empty()) return text;
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot + 1 == name.size()) return "File";
  std::string extension = name.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return extension + " File";
}

std::string DefaultApplicationName(std::string_view mimeType) {
  const std::string id = DefaultApplicationId(mimeType);
  if (id.empty()) return {};
  const std::optional<DesktopApplication> app = FindApplication(id);
  return app ? app->name : std::string();
}

}  // namespace platform
