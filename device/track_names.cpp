#include "device/track_names.h"

#include <cstdio>
#include <algorithm>
#include <exception>

#include "common/folders.h"
#include "common/settings.h"
#include "device/codec.h"
#include "device/kernel_device.h"
#include "platform/text/text.h"

namespace device {

namespace {

constexpr int kDefaultStreamPort = 8047;

// Slashes out (for file and stream names), white space trimmed, "Unknown" for nothing,
// slashes out again.
std::string FieldText(std::string_view raw, TrackFieldMode mode) {
  if (mode == TrackFieldMode::kDisplay) {
    std::string text = platform::Trim(raw);
    return text.empty() ? "Unknown" : text;
  }
  std::string text;
  StripSlashes(text, platform::BlankControls(raw));  // blanks first, so trailing ones trim away
  text = platform::Trim(text);
  if (text.empty()) text = "Unknown";
  std::string out;
  return StripSlashes(out, text);
}

std::string Number(const char* format, int value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Bytes a URL path carries as they are; everything else is escaped. "%" is escaped too,
// so the server's decoding gives the name back exactly, and "?" so a title holding one
// does not start the query.
bool UrlSafe(unsigned char c) {
  if (c <= 0x20 || c >= 0x7f) return false;
  switch (c) {
    case '"': case '#': case '%': case '<': case '>': case '?': case '[': case '\\': case ']':
    case '^': case '`': case '{': case '|': case '}':
      return false;
    default:
      return true;
  }
}

std::string EscapeUrl(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (UrlSafe(c)) {
      out.push_back(ch);
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

}  // namespace

std::string FormatTrackPattern(std::string_view pattern, const TrackRecord& record, TrackFieldMode mode) {
  auto field = [mode](const FixedString256& tag) {
    return mode == TrackFieldMode::kRaw ? tag.Str() : FieldText(tag.GetText(), mode);
  };
  std::string out;
  out.reserve(pattern.size() + 64);
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size()) {
      std::string value;
      bool token = true;
      switch (pattern[i + 1]) {
        case 'A': value = field(record.artist); break;
        case 'L': value = field(record.album); break;
        case 'T': value = field(record.title); break;
        case 'G': value = field(record.genre); break;
        case 'N': value = Number("%02d", record.trackNumber); break;
        case 'C': value = GetCodecExtension(record.codec); break;
        case 'Y': value = Number("%04d", record.year); break;
        default: token = false; break;
      }
      if (token) {
        out += value;
        ++i;
        continue;
      }
    }
    out.push_back(pattern[i]);
  }
  return out;
}

std::string& FormatTrackText(KernelDevice& device, std::string& out, const KernelId& track,
                             std::string_view settingName, std::string_view defaultFormat, TrackFieldMode mode) {
  out.clear();
  try {
    TrackRecord record;
    device.GetTrackInfo(track, record);
    if (device.SupportsTagIndex() != 0) {
      std::string format;
      ReadSettingString(settingName, format);
      if (format.empty()) format = defaultFormat;
      out = FormatTrackPattern(format, record, mode);
    } else {
      out = device.GetTrackFileName(track);
    }
  } catch (const std::exception&) {
    out.clear();
  }
  // A file or stream name, and a playlist's line made of it, is one line with no controls.
  if (mode == TrackFieldMode::kCleaned) out = platform::BlankControls(out);
  return out;
}

std::string& GetTrackDisplayName(std::string& out, KernelDevice& device, const KernelId& track) {
  return FormatTrackText(device, out, track, kDisplayFormatSetting, kDisplayFormatDefault, TrackFieldMode::kDisplay);
}

std::string& GetTrackFileName(std::string& out, KernelDevice& device, const KernelId& track) {
  return FormatTrackText(device, out, track, kFileFormatSetting, kFileFormatDefault);
}

std::string& GetTrackStreamName(std::string& out, KernelDevice& device, const KernelId& track) {
  std::string text;
  FormatTrackText(device, text, track, kStreamFormatSetting, kFileFormatDefault);
  std::string bare;
  for (char c : text) {
    if (c != '#' && c != '\\' && c != '/') bare.push_back(c);
  }
  std::string clean;
  CleanPathName(clean, bare);
  out = CanonicalizeUrlName(clean);
  return out;
}

std::string CanonicalizeUrlName(std::string_view rawName, std::size_t maxBytes) {
  // No address path may hold a control character, escaped or not (the server refuses
  // them): a line break or tab of a name becomes a blank. The name of a stream or data
  // address only carries the extension and the download's name; the id finds the item.
  const std::string blanked = platform::BlankControls(rawName);
  const std::string_view name = blanked;
  std::string whole = EscapeUrl(name);
  if (whole.size() <= maxBytes) return whole;
  // Too long: keep the extension (it selects the stream's type) and as much of the stem
  // as fits, cut on a character boundary.
  const std::size_t dot = name.rfind('.');
  std::string_view stem = name;
  std::string ext;
  if (dot != std::string_view::npos && name.size() - dot <= 16) {
    stem = name.substr(0, dot);
    ext = EscapeUrl(name.substr(dot));
  }
  if (ext.size() > maxBytes) ext.clear();
  std::string out;
  std::size_t i = 0;
  while (i < stem.size()) {
    std::size_t len = 1;
    const auto lead = static_cast<unsigned char>(stem[i]);
    if (lead >= 0xC0) len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    len = std::min(len, stem.size() - i);
    const std::string piece = EscapeUrl(stem.substr(i, len));
    if (out.size() + piece.size() + ext.size() > maxBytes) break;
    out += piece;
    i += len;
  }
  return out + ext;
}

int GetStreamPort() {
  std::uint32_t port = kDefaultStreamPort;
  ReadSettingDword("VX_PortD", port);
  if (port < 1 || port > 9999) port = kDefaultStreamPort;
  return static_cast<int>(port);
}

std::string FormatStreamPath(std::uint64_t itemId, std::string_view streamName) {
  return "/stream/" + std::to_string(itemId) + "/" + std::string(streamName);
}

std::string FormatStreamAddress(KernelDevice& device, const KernelId& track) {
  std::string name;
  GetTrackStreamName(name, device, track);
  return "http://127.0.0.1:" + std::to_string(GetStreamPort()) + FormatStreamPath(track.GetItemId(), name);
}

}  // namespace device
