#include "transfer/formats/genres.h"

#include <taglib/id3v1genres.h>

namespace transfer {

std::string GenreName(int number) {
  if (number < 0 || number >= kGenreCount) return std::string();
  return TagLib::ID3v1::genre(number).to8Bit(true);
}

}  // namespace transfer
