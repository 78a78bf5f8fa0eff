// The player SDK's attribute blocks as the driver reads and writes them, and the record of
// one data file or folder.
//
// Block layout (little-endian, no padding): u16 count (read as signed; 0 or less: none),
// then per entry u16 value type (0 text in the system's code page, 1 integer of 4 bytes,
// 2 UTF-16 text), u16 name length n, u32 value length v, n name bytes, v value bytes.
//
// The readers take the block the SDK handed over, which is outside data: every length is
// checked against the bytes actually there, by the reader the simulated player shares
// (platform/vendorsdk/attribute_block.h). The walk stops at the first entry whose header,
// name or value would run past the end (the entries before it count); an integer entry
// shorter than 4 bytes is skipped; a longer one gives its first 4 bytes. Values of any other
// type are read as UTF-16. Names compare without regard to case; unknown names, and values
// whose kind does not fit the field (a number for a text field), are skipped. Texts go into
// the record's fields bounded by their capacity, never splitting a character. Fields not
// named in the block keep what they held (callers clear the record first).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>
#include <vector>

#include "device/kernel_id.h"
#include "device/records.h"
#include "platform/vendorsdk/attribute_block.h"

namespace driver {

// The attributes of one data file or folder.
struct DataItemRecord {
  device::FixedString260 folderName;    // "FOLDER NAME"
  device::FixedString260 fileName;      // "FILE NAME"
  device::KernelId parent;              // word 0 = "PARENT FOLDER"
  std::uint32_t fileAttributes; // "FILE ATTRIB"
  std::uint32_t modifiedTime;   // "MODIFIED FILETIME", seconds since 1970

  DataItemRecord() { Clear(); }
  void Clear();
};
static_assert(std::is_standard_layout_v<DataItemRecord>);

// Track attributes: TITLE, ALBUM, ARTIST, GENRE, CODEC (its extension text, into the codec
// code), FILE SIZE, LENGTH, TRACK NUM, YEAR, PLAYONLY (low byte).
void ParseTrackAttributes(const void* block, std::size_t length, device::TrackRecord& record);
// Data item attributes: FOLDER NAME, FILE NAME, FILE ATTRIB, MODIFIED FILETIME, PARENT FOLDER.
void ParseDataItemAttributes(const void* block, std::size_t length, DataItemRecord& record);

// A block as the driver writes it: texts as type 0 (the system's text, UTF-8), integers as
// type 1, exactly sized.
class SdkAttributeBlock {
 public:
  SdkAttributeBlock& Text(std::string_view name, std::string_view text);
  SdkAttributeBlock& Number(std::string_view name, std::uint32_t value);
  std::vector<std::uint8_t> Bytes() const;

 private:
  platform::AttributeBlockWriter writer_;
};

}  // namespace driver
