// Fuzz target for the readers of the simulated player's record files. Beyond "no crash,
// no sanitizer report" it checks that whatever a reader accepts, written back, is read
// again as the same record.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/vendorsdk/store_records.h"

namespace simstore = platform::simstore;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string why;

  platform::SimProperties properties;
  if (simstore::ReadProperties(text, &properties, &why) == simstore::PropertiesRead::kOk) {
    const std::string written = simstore::PropertiesText(properties);
    platform::SimProperties again;
    Check(simstore::ReadProperties(written, &again, &why) == simstore::PropertiesRead::kOk);
    Check(simstore::PropertiesText(again) == written);
  } else {
    Check(!why.empty());
  }

  platform::SimItem item;
  if (simstore::ReadItem(text, 104, &item, &why)) {
    Check(item.id == 104);
    const std::string written = simstore::ItemText(item);
    platform::SimItem again;
    Check(simstore::ReadItem(written, 104, &again, &why));
    Check(simstore::ItemText(again) == written);
    Check(item.type == platform::kSdkDataFolder || (!item.file.empty() && item.file.find('/') == std::string::npos));
  } else {
    Check(!why.empty());
  }

  platform::SimPlaylist playlist;
  if (simstore::ReadPlaylist(text, 20, &playlist, &why)) {
    const std::string written = simstore::PlaylistText(playlist);
    platform::SimPlaylist again;
    Check(simstore::ReadPlaylist(written, 20, &again, &why));
    Check(again.tracks == playlist.tracks && again.name == playlist.name);
  } else {
    Check(!why.empty());
  }
  return 0;
}
