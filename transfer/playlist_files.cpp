#include "transfer/playlist_files.h"

#include "platform/text/text.h"

namespace transfer {
namespace {

// "&amp;" and "&apos;" in one pass, so a decoded "&" never starts another entity.
std::string DecodeEntities(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (text.compare(i, 5, "&amp;") == 0) {
      out += '&';
      i += 5;
    } else if (text.compare(i, 6, "&apos;") == 0) {
      out += '\'';
      i += 6;
    } else {
      out += text[i++];
    }
  }
  return out;
}

}  // namespace

PlaylistFormat PlaylistFormatOf(std::string_view extension) {
  const std::string e = platform::ToLowerAscii(extension);
  if (e == ".m3u") return PlaylistFormat::kM3u;
  if (e == ".pls") return PlaylistFormat::kPls;
  if (e == ".bpl") return PlaylistFormat::kBpl;
  if (e == ".b4s") return PlaylistFormat::kB4s;
  if (e == ".wpl") return PlaylistFormat::kWpl;
  if (e == ".rmp") return PlaylistFormat::kRmp;
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
      // The character after the marker opens the value; it ends at the next double quote.
      const std::size_t begin = at + kMarker.size() + 1;
      if (begin > line.size()) return std::string();
      const std::size_t end = line.find('"', begin);
      return DecodeEntities(line.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin));
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
