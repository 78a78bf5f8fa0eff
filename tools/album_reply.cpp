#include "tools/album_reply.h"

#include "common/escape.h"
#include "platform/text/text.h"

namespace tools {
namespace {

// The albums of one page a reply may list (a page lists ten): each one is a question to
// the player.
constexpr std::size_t kMaxAlbums = 250;

bool Contains(std::string_view line, std::string_view word) { return line.find(word) != std::string_view::npos; }

// The address of a "Details url" line: the quoted value after "url=".
std::string DetailsAddress(std::string_view line) {
  const std::size_t at = line.find("url=");
  if (at == std::string_view::npos || at + 4 >= line.size()) return {};
  const char quote = line[at + 4];
  if (quote != '"' && quote != '\'') return {};
  const std::size_t end = line.find(quote, at + 5);
  if (end == std::string_view::npos) return {};
  return HtmlUnescape(line.substr(at + 5, end - at - 5));
}

// A decimal count of pages; nullopt for anything else or below 1.
std::optional<int> PageCount(const std::string& text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value >= 1 ? std::optional<int>(value) : std::nullopt;
}

}  // namespace

std::string ExtractElementText(std::string_view line, std::string_view tag) {
  const std::string open = "<" + std::string(tag) + ">";
  const std::string close = "</" + std::string(tag) + ">";
  const std::size_t start = line.find(open);
  if (start == std::string_view::npos) return {};
  const std::size_t from = start + open.size();
  const std::size_t end = line.find(close, from);
  if (end == std::string_view::npos) return {};
  return HtmlUnescape(line.substr(from, end - from));
}

AlbumReply ScanAlbumReply(std::string_view reply) {
  AlbumReply out;
  std::string pendingAddress;  // of the entry opened last, until its album comes
  std::size_t pos = 0;
  while (pos < reply.size()) {
    std::size_t end = reply.find('\n', pos);
    if (end == std::string_view::npos) end = reply.size();
    std::string_view line = reply.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    if (Contains(line, "Details url")) pendingAddress = DetailsAddress(line);
    if (Contains(line, "ProductName") && out.albums.size() < kMaxAlbums) {
      out.albums.push_back({ExtractElementText(line, "ProductName"), {}, {}, std::move(pendingAddress)});
      pendingAddress.clear();
    }
    // Before the first album these have nothing to belong to.
    if (Contains(line, "ReleaseDate") && !out.albums.empty()) {
      out.albums.back().releaseDate = ExtractElementText(line, "ReleaseDate");
    }
    if (Contains(line, "Manufacturer") && !out.albums.empty()) {
      out.albums.back().label = ExtractElementText(line, "Manufacturer");
    }
    if (Contains(line, "TotalPages")) {
      if (auto pages = PageCount(ExtractElementText(line, "TotalPages"))) out.totalPages = pages;
    }
  }
  return out;
}

bool IsWebAddress(std::string_view address) {
  const std::string lower = platform::ToLowerAscii(std::string(address.substr(0, 8)));
  return (lower.rfind("http://", 0) == 0 && address.size() > 7) || (lower.rfind("https://", 0) == 0 && address.size() > 8);
}

}  // namespace tools
