// Zipped skins made at test time with minizip.
#pragma once

#include <zip.h>
#include <zlib.h>

#include <string>
#include <utility>
#include <vector>

// Writes a zip archive of the members (name, content); `stored` keeps them uncompressed.
inline bool WriteZip(const std::string& posixPath, const std::vector<std::pair<std::string, std::string>>& members,
                     bool stored = false) {
  zipFile zf = zipOpen64(posixPath.c_str(), APPEND_STATUS_CREATE);
  if (!zf) return false;
  bool ok = true;
  for (const auto& [name, content] : members) {
    zip_fileinfo info{};
    ok = ok && zipOpenNewFileInZip64(zf, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                     stored ? 0 : Z_DEFLATED, stored ? 0 : Z_DEFAULT_COMPRESSION, 0) == ZIP_OK;
    ok = ok && zipWriteInFileInZip(zf, content.data(), static_cast<unsigned>(content.size())) == ZIP_OK;
    ok = ok && zipCloseFileInZip(zf) == ZIP_OK;
  }
  return zipClose(zf, nullptr) == ZIP_OK && ok;
}
