#include "transfer/formats/genres.h"

#include <taglib/id3v1genres.h>

#include "platform/text/text.h"

namespace transfer {

std::string GenreName(int number) {
  if (number < 0 || number >= kGenreCount) return std::string();
  return TagLib::ID3v1::genre(number).to8Bit(true);
}

int GenreNumber(std::string_view name) {
  for (int n = 0; n < kGenreCount; ++n) {
    if (platform::EqualsNoCase(GenreName(n), name)) return n;
  }
  return -1;
}

}  // namespace transfer
