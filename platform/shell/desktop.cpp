#include "platform/shell/desktop.h"

#include <gio/gio.h>

#include "platform/kernel/shared_library.h"
#include "platform/shell/applications.h"
#include "platform/text/text.h"

namespace platform {

namespace {

// The desktop's type database (GIO), loaded when a file's type is first asked for: GIO
// and the libraries under it would otherwise be loaded at every start of every program
// that links this code, the launcher's included. Without it, types are named by their
// extension and shown with the generic icon.
struct TypeLibrary {
  decltype(&g_content_type_guess) guess = nullptr;
  decltype(&g_content_type_is_unknown) isUnknown = nullptr;
  decltype(&g_content_type_get_description) description = nullptr;
  decltype(&g_content_type_get_icon) icon = nullptr;
  decltype(&g_content_type_get_generic_icon_name) genericIconName = nullptr;
  decltype(&g_themed_icon_get_type) themedIconType = nullptr;
  decltype(&g_themed_icon_get_names) themedIconNames = nullptr;
  decltype(&g_type_check_instance_is_a) isA = nullptr;  // the object system it loads
  decltype(&g_object_unref) unref = nullptr;
};

bool ResolveTypeLibrary(const SharedLibrary& library, TypeLibrary& api) {
  return library.Resolve("g_content_type_guess", api.guess) &&
         library.Resolve("g_content_type_is_unknown", api.isUnknown) &&
         library.Resolve("g_content_type_get_description", api.description) &&
         library.Resolve("g_content_type_get_icon", api.icon) &&
         library.Resolve("g_content_type_get_generic_icon_name", api.genericIconName) &&
         library.Resolve("g_themed_icon_get_type", api.themedIconType) &&
         library.Resolve("g_themed_icon_get_names", api.themedIconNames) &&
         library.Resolve("g_type_check_instance_is_a", api.isA) && library.Resolve("g_object_unref", api.unref);
}

const TypeLibrary* LoadTypeLibrary() {
  static auto* functions = new LibraryFunctions<TypeLibrary>("libgio-2.0.so.0", "type database", &ResolveTypeLibrary);
  return functions->Get();
}

}  // namespace

FileTypeIcon FileTypeIconOf(std::string_view fileName) {
  const FileTypeIcon unknown{"application-octet-stream", "application-x-generic"};
  const TypeLibrary* api = LoadTypeLibrary();
  if (api == nullptr) return unknown;
  FileTypeIcon icon;
  const std::string name(fileName);
  gchar* type = api->guess(name.c_str(), nullptr, 0, nullptr);
  if (type == nullptr) return unknown;
  if (GIcon* gicon = api->icon(type)) {
    if (api->isA(reinterpret_cast<GTypeInstance*>(gicon), api->themedIconType()) != 0) {
      const gchar* const* names = api->themedIconNames(reinterpret_cast<GThemedIcon*>(gicon));
      if (names != nullptr && names[0] != nullptr) icon.name = names[0];
    }
    api->unref(gicon);
  }
  if (gchar* generic = api->genericIconName(type)) {
    icon.fallback = generic;
    g_free(generic);
  }
  g_free(type);
  if (icon.name.empty()) icon.name = icon.fallback;
  return icon;
}

std::string FileTypeNameOf(std::string_view fileName) {
  const std::string name(fileName);
  std::string text;
  if (const TypeLibrary* api = LoadTypeLibrary()) {
    gboolean uncertain = FALSE;
    gchar* type = api->guess(name.c_str(), nullptr, 0, &uncertain);
    if (type != nullptr && !api->isUnknown(type)) {
      if (gchar* description = api->description(type)) {
        text = description;
        g_free(description);
      }
    }
    g_free(type);
  }
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
