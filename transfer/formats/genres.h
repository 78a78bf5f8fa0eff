// The genre list of ID3v1 tags with its common extensions: 148 names, 0 "Blues" to
// 147 "Synthpop", as the tag library spells them (so names read and written agree).
#pragma once

#include <string>
#include <string_view>

namespace transfer {

constexpr int kGenreCount = 148;

// The name of a genre number, or "" outside 0..147.
std::string GenreName(int number);
// The number of a genre name (letter case aside), or -1 when the list lacks it.
int GenreNumber(std::string_view name);

}  // namespace transfer
