#include "transfer/tags_from_path.h"

#include <string>
#include <vector>

#include "common/settings.h"
#include "platform/text/text.h"

using namespace device;

namespace transfer {

namespace {

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (const char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

void Trim(FixedString256& field) { field.Set(platform::Trim(field.GetText())); }

}  // namespace

int TagsFromPath(std::string_view path, TrackRecord& record) {
  std::uint32_t useFolders = 0;
  std::string delimiterList = "-";
  std::string defaultAlbum = "Single";
  ReadSettingDword("ATM_UseFolders", useFolders);
  ReadSettingString("ATM_DelimiterList", delimiterList);
  ReadSettingString("ATM_DefaultAlbum", defaultAlbum);

  // Folder without the drive, and the file name without its extension.
  if (path.size() >= 2 && path[1] == ':') path.remove_prefix(2);
  const std::size_t slash = path.find_last_of("\\/");
  const std::string_view folder = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  const std::string text = useFolders ? std::string(folder) + std::string(name) : std::string(name);

  std::string delimiters = "/\\";
  for (const char c : delimiterList) {
    if (c != ' ') delimiters += c;
  }
  const std::vector<std::string_view> tokens = platform::SplitDroppingEmpty(text, delimiters);

  int counted = 0;
  for (auto it = tokens.rbegin(); it != tokens.rend(); ++it) {
    const std::string_view token = platform::TrimView(*it);
    if (token.empty()) continue;  // blanks between two delimiters
    if (AllDigits(token)) {
      record.trackNumber = platform::ParseInt32(token);
      continue;
    }
    switch (counted++) {
      case 0: record.title.Set(token); break;
      case 1: record.album.Set(token); break;
      case 2: record.artist.Set(token); break;
      default: break;
    }
  }
  if (record.artist.GetText().empty()) {
    const std::string album = record.album.Str();
    record.artist.Set(album);
    record.album.Set(defaultAlbum);
  }
  return 1;
}

void TrimTrackTags(TrackRecord& record) {
  Trim(record.title);
  Trim(record.album);
  Trim(record.artist);
  Trim(record.genre);
  Trim(record.comment);
}

}  // namespace transfer
