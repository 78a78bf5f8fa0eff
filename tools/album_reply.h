// The album-lookup service's reply as the album dialog reads it: line by line, looking
// for a handful of element names, not parsed as XML. The reply comes from outside, so
// nothing in it decides an index, a length or how much is kept.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

struct AlbumEntry {
  std::string title;
  std::string releaseDate;
  std::string label;
  std::string detailAddress;  // the album's own page, empty when the reply gave none
};

struct AlbumReply {
  std::vector<AlbumEntry> albums;
  std::optional<int> totalPages;  // when the reply said
};

// The text between "<Tag>" and the next "</Tag>" of a line, its entities ("&amp;" ...)
// decoded; empty when the line does not hold both tags.
std::string ExtractElementText(std::string_view line, std::string_view tag);

// Scans a reply: each "ProductName" line starts an album; "ReleaseDate" and
// "Manufacturer" lines fill the album last started (and are passed over before the first
// one); a "Details url" line opens an album's entry, so its address belongs to the album
// whose "ProductName" follows it (an entry without an address leaves its album without
// one); "TotalPages" gives the number of pages.
AlbumReply ScanAlbumReply(std::string_view reply);

// Whether an address may be opened: an http or https address.
bool IsWebAddress(std::string_view address);

}  // namespace tools
