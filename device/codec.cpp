#include "device/codec.h"

#include "platform/text/text.h"

namespace device {

std::string GetCodecExtension(int code) {
  static const char* const kExtensions[] = {"",    "wav", "mp3", "wma", "nvf", "m4a",
                                            "aa",  "m4p", "m4b", "mp4", "ogg", "flac"};
  if (code < 1 || code > 11) return std::string();
  return kExtensions[code];
}

int GetCodecFromExtension(std::string_view extension) {
  if (extension.size() < 3) return 0;
  if (extension.front() == '.') extension.remove_prefix(1);
  const std::string ext = platform::ToLowerAscii(extension);
  // Order matters only in that the first match wins; "mp4" maps to the m4a code.
  static const struct {
    const char* ext;
    int code;
  } kTable[] = {{"mp3", 2}, {"wma", 3}, {"ogg", 10}, {"wav", 1}, {"nvf", 4}, {"m4a", 5},
                {"m4p", 7}, {"m4b", 8}, {"mp4", 5},  {"flac", 11}, {"aa", 6}};
  for (const auto& row : kTable) {
    if (ext == row.ext) return row.code;
  }
  return 0;
}

int GetCodecFromPath(std::string_view path) {
  const std::size_t sep = path.find_last_of("\\/:");
  const std::string_view file = sep == std::string_view::npos ? path : path.substr(sep + 1);
  const std::size_t dot = file.rfind('.');
  if (dot == std::string_view::npos) return 0;
  return GetCodecFromExtension(file.substr(dot));
}

}  // namespace device
