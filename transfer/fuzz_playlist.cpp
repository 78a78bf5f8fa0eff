// libFuzzer target: any bytes as a playlist file of any of its formats (the first byte
// chooses the format). Every entry must be a piece of the text it came from, or shorter
// once entities and character references are decoded (none decodes longer than written).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string_view>

#include "transfer/playlist_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static constexpr transfer::PlaylistFormat kFormats[] = {
      transfer::PlaylistFormat::kM3u, transfer::PlaylistFormat::kPls, transfer::PlaylistFormat::kBpl,
      transfer::PlaylistFormat::kB4s, transfer::PlaylistFormat::kWpl, transfer::PlaylistFormat::kRmp,
      transfer::PlaylistFormat::kAsx};
  const transfer::PlaylistFormat format = kFormats[data[0] % std::size(kFormats)];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  for (const std::string& entry : transfer::PlaylistEntries(format, text)) {
    if (entry.size() > text.size()) std::abort();
  }
  return 0;
}
