#include "common/short_hash.h"

#include <crypto++/sha.h>

#include <cstdio>

std::string GetShortSha1Hex(std::string_view text) {
  CryptoPP::SHA1 sha;
  CryptoPP::byte digest[CryptoPP::SHA1::DIGESTSIZE];
  sha.CalculateDigest(digest, reinterpret_cast<const CryptoPP::byte*>(text.data()), text.size());
  char hex[9];
  std::snprintf(hex, sizeof hex, "%02X%02X%02X%02X", digest[0], digest[1], digest[2], digest[3]);
  return hex;
}
