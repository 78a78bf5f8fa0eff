#include "transfer/playlist_files.h"

#include "platform/text/text.h"

namespace transfer {
namespace {

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The character a numeric reference ("#233", "#xE9") names; nothing for one that names
// no character (NUL, a surrogate, past U+10FFFF) or is not a number.
std::optional<char32_t> NumericReference(std::string_view body) {
  if (body.size() < 2 || body[0] != '#') return std::nullopt;
  const bool hex = body[1] == 'x' || body[1] == 'X';
  const std::string_view digits = body.substr(hex ? 2 : 1);
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  char32_t cp = 0;
  for (char c : digits) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    if (hex && c >= 'a' && c <= 'f') v = c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F') v = c - 'A' + 10;
    if (v < 0) return std::nullopt;
    cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(v);
    if (cp > 0x10FFFF) return std::nullopt;
  }
  if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
  return cp;
}

// XML's five named entities and numeric references, in one pass, so a decoded "&"
// never starts another one. Anything else stays as written.
std::string DecodeEntities(std::string_view text) {
  static constexpr struct {
    std::string_view name;
    char c;
  } kNamed[] = {{"amp", '&'}, {"apos", '\''}, {"quot", '"'}, {"lt", '<'}, {"gt", '>'}};
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t semicolon = text[i] == '&' ? text.find(';', i + 1) : std::string_view::npos;
    if (semicolon != std::string_view::npos && semicolon - i <= 12) {
      const std::string_view body = text.substr(i + 1, semicolon - i - 1);
      bool decoded = false;
      for (const auto& n : kNamed) {
        if (body == n.name) {
          out += n.c;
          decoded = true;
          break;
        }
      }
      if (!decoded) {
        if (const std::optional<char32_t> cp = NumericReference(body)) {
          AppendUtf8(out, *cp);
          decoded = true;
        }
      }
      if (decoded) {
        i = semicolon + 1;
        continue;
      }
    }
    out += text[i++];
  }
  return out;
}

// An attribute's value that begins at `at` with its quote (either kind): up to the same
// quote, or the end of the line.
std::string_view QuotedValue(std::string_view line, std::size_t at) {
  if (at >= line.size()) return {};
  const char quote = line[at];
  const std::size_t begin = at + 1;
  if (quote != '"' && quote != '\'') {
    // No quote: the design takes the next character as the opening one all the same.
    const std::size_t end = line.find('"', begin);
    return line.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
  }
  const std::size_t end = line.find(quote, begin);
  return line.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
}

}  // namespace

PlaylistFormat PlaylistFormatOf(std::string_view extension) {
  const std::string e = platform::ToLowerAscii(extension);
  if (e == ".m3u" || e == ".m3u8") return PlaylistFormat::kM3u;  // ".m3u8" is M3U in UTF-8, our own text
  if (e == ".pls") return PlaylistFormat::kPls;
  if (e == ".bpl") return PlaylistFormat::kBpl;
  if (e == ".b4s") return PlaylistFormat::kB4s;
  if (e == ".wpl") return PlaylistFormat::kWpl;
  if (e == ".rmp") return PlaylistFormat::kRmp;
  if (e == ".asx") return PlaylistFormat::kAsx;
  return PlaylistFormat::kNone;
}

std::optional<std::string> PlaylistEntry(PlaylistFormat format, std::string_view raw) {
  const std::string_view line = platform::TrimView(raw);
  if (line.empty() || line[0] == '#') return std::nullopt;
  // Markers are looked for in a lower-cased copy; the text is cut out of the line as read.
  const std::string lower = platform::ToLowerAscii(line);
  switch (format) {
    case PlaylistFormat::kM3u:
      return std::string(line);
    case PlaylistFormat::kPls: {
      if (lower.compare(0, 4, "file") != 0) return std::nullopt;
      const std::size_t equals = line.find('=');
      if (equals == std::string_view::npos) return std::nullopt;
      return std::string(line.substr(equals + 1));
    }
    case PlaylistFormat::kBpl:
    case PlaylistFormat::kB4s: {
      static constexpr std::string_view kMarker = "playstring=\"file:";
      const std::size_t at = lower.find(kMarker);
      if (at == std::string::npos) return std::nullopt;
      const std::string_view rest = platform::TrimView(line.substr(at + kMarker.size()));
      return std::string(rest.substr(0, rest.size() >= 2 ? rest.size() - 2 : 0));
    }
    case PlaylistFormat::kWpl: {
      static constexpr std::string_view kMarker = "media src=";
      const std::size_t at = lower.find(kMarker);
      if (at == std::string::npos) return std::nullopt;
      // The character after the marker opens the value.
      return DecodeEntities(QuotedValue(line, at + kMarker.size()));
    }
    case PlaylistFormat::kAsx: {
      // <ref href = "..."/>: the entry's address, one a line.
      const std::size_t ref = lower.find("<ref");
      if (ref == std::string::npos) return std::nullopt;
      const std::size_t href = lower.find("href", ref + 4);
      if (href == std::string::npos) return std::nullopt;
      std::size_t at = href + 4;
      while (at < line.size() && platform::IsWhiteSpace(line[at])) ++at;
      if (at >= line.size() || line[at] != '=') return std::nullopt;
      ++at;
      while (at < line.size() && platform::IsWhiteSpace(line[at])) ++at;
      return DecodeEntities(QuotedValue(line, at));
    }
    case PlaylistFormat::kRmp: {
      static constexpr std::string_view kOpen = "<filename>";
      static constexpr std::string_view kClose = "</filename>";
      const std::size_t at = lower.find(kOpen);
      if (at == std::string::npos) return std::nullopt;
      const std::size_t begin = at + kOpen.size();
      const std::size_t end = lower.find(kClose, begin);
      return DecodeEntities(line.substr(begin, end == std::string::npos ? std::string_view::npos : end - begin));
    }
    case PlaylistFormat::kNone:
      break;
  }
  return std::nullopt;
}

std::vector<std::string> PlaylistEntries(PlaylistFormat format, std::string_view text) {
  std::vector<std::string> entries;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a UTF-8 byte order mark
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (auto entry = PlaylistEntry(format, line)) entries.push_back(std::move(*entry));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return entries;
}

}  // namespace transfer
