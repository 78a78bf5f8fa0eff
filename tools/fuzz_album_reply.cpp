// The album service's reply through the line scanner: any bytes, no crash, no read past
// the reply, every album's texts within the reply's size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tools/album_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view reply(reinterpret_cast<const char*>(data), size);
  const tools::AlbumReply scanned = tools::ScanAlbumReply(reply);
  for (const tools::AlbumEntry& a : scanned.albums) {
    if (a.title.size() > size || a.releaseDate.size() > size || a.label.size() > size || a.detailAddress.size() > size) {
      std::abort();
    }
    tools::IsWebAddress(a.detailAddress);
  }
  if (scanned.totalPages && *scanned.totalPages < 1) std::abort();
  return 0;
}
