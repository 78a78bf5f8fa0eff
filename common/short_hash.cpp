#include "common/short_hash.h"

#include <nettle/sha1.h>

#include <cstdint>
#include <cstdio>

std::string GetShortSha1Hex(std::string_view text) {
  sha1_ctx sha;
  sha1_init(&sha);
  sha1_update(&sha, text.size(), reinterpret_cast<const std::uint8_t*>(text.data()));
  std::uint8_t digest[4];  // the digest's first bytes
  sha1_digest(&sha, sizeof digest, digest);
  char hex[9];
  std::snprintf(hex, sizeof hex, "%02X%02X%02X%02X", digest[0], digest[1], digest[2], digest[3]);
  return hex;
}
