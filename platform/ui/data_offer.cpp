#include "platform/ui/data_offer.h"

#include <glib.h>

#include "platform/text/text.h"

namespace platform {

bool DataOffer::Offers(std::string_view format) {
  for (const std::string& f : Formats()) {
    if (EqualsNoCase(f, format)) return true;
  }
  return false;
}

std::string FormatUriList(const std::vector<std::string>& posixPaths) {
  std::string list;
  for (const std::string& path : posixPaths) {
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);  // null for a relative path
    if (uri == nullptr) continue;
    list += uri;
    list += "\r\n";
    g_free(uri);
  }
  return list;
}

std::vector<std::string> ParseUriList(std::string_view text) {
  std::vector<std::string> paths;
  const std::string copy(text);  // the parser wants a NUL; a NUL inside ends the list there
  gchar** uris = g_uri_list_extract_uris(copy.c_str());
  for (gchar** uri = uris; uri != nullptr && *uri != nullptr; ++uri) {
    gchar* host = nullptr;
    gchar* path = g_filename_from_uri(*uri, &host, nullptr);  // null for anything but file:
    const bool local = host == nullptr || *host == '\0' || std::string_view(host) == "localhost" ||
                       std::string_view(host) == g_get_host_name();
    if (path != nullptr && local) paths.emplace_back(path);
    g_free(path);
    g_free(host);
  }
  g_strfreev(uris);
  return paths;
}

std::optional<std::string> FilesOffer::Data(std::string_view format) {
  if (!EqualsNoCase(format, kUriListFormat)) return std::nullopt;
  return FormatUriList(paths_);
}

std::optional<std::string> TextOffer::Data(std::string_view format) {
  if (!EqualsNoCase(format, kUtf8TextFormat)) return std::nullopt;
  return text_;
}

DWORD DropOffer(DropHandler& handler, const std::shared_ptr<DataOffer>& offer, const DragState& state) {
  handler.DragEnter(offer, state);
  const DWORD effect = handler.DragOver(state);  // the pointer's last move decides, as in a real drag
  if (effect == DROPEFFECT_NONE) {
    handler.DragLeave();
    return DROPEFFECT_NONE;
  }
  return handler.Drop(offer, state);
}

}  // namespace platform
