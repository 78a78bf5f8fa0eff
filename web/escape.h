// HTML escaping of texts that the server puts into its own pages and its request log.
#pragma once

#include <string>
#include <string_view>

namespace web {

// "&" -> "&amp;", "<" -> "&lt;", ">" -> "&gt;".
std::string EscapeHtmlText(std::string_view text);

}  // namespace web
