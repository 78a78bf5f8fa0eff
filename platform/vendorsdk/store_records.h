// The record files of the simulated player's store (see simplayer.h): their text and its
// strict reading.
//
// A record is "key=value" lines, each ended by LF; "\" escapes "\", CR and LF in values.
// The writers put every key of a record's kind into it, so a record that lacks one, ends
// in the middle of a line or holds a line that is not "key=value" is damaged, not a
// record with defaults: the readers refuse it and say why. Keys they do not know are
// passed over. A playlist also says how many entries it holds ("entries"), so one cut
// at a line end is found too; a playlist without that line (written before it existed)
// is read as it is.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/vendorsdk/simplayer.h"

namespace platform::simstore {

// The store format that player.txt names.
constexpr int kFormat = 1;

// A number that is the whole text (decimal digits, a sign where T has one); false for
// anything else, out of range included.
template <typename T>
bool ReadNumber(std::string_view text, T* out) {
  T v{};
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return false;
  *out = v;
  return true;
}

std::string PropertiesText(const SimProperties& properties);
std::string ItemText(const SimItem& item);
std::string PlaylistText(const SimPlaylist& playlist);

// Each reads one record file's text. False, with *why saying what is wrong ("it ends in
// the middle of a line", "its line \"file\" is missing"), when the text is not a whole
// record of its kind; *out is then left in an unspecified state.
enum class PropertiesRead {
  kOk,
  kDamaged,
  kOtherFormat,  // *why: "not a player of this version"
};
PropertiesRead ReadProperties(std::string_view text, SimProperties* out, std::string* why);
// The item's id comes from its file name. Content file names never hold a "/".
bool ReadItem(std::string_view text, std::uint32_t id, SimItem* out, std::string* why);
bool ReadPlaylist(std::string_view text, std::uint32_t id, SimPlaylist* out, std::string* why);

}  // namespace platform::simstore
