// Attribute blocks as the simulated player reads and writes them (layout in vendorsdk.h).
// The reader checks every length against the block and refuses anything that does not fit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct SdkAttribute {
  std::uint16_t type = 0;   // kSdkAttrText, kSdkAttrNumber or kSdkAttrUtf16
  std::string name;
  std::string text;         // texts, as UTF-8
  std::uint32_t number = 0; // numbers
};

// Parses a whole block. False when the block is shorter than its count and entries say,
// an entry has an unknown type, a number is not 4 bytes or a UTF-16 text has an odd length.
// A count of 0 or less (read as signed) is an empty block.
bool ParseAttributeBlock(const void* data, std::size_t length, std::vector<SdkAttribute>* out);

class AttributeBlockWriter {
 public:
  void AddText(std::string_view name, std::string_view utf8);   // as UTF-16 text
  void AddNumber(std::string_view name, std::uint32_t value);
  void AddRaw(std::uint16_t type, std::string_view name, std::string_view valueBytes);
  // The finished block: count, then the entries in the order added.
  std::vector<std::uint8_t> Finish() const;

 private:
  std::uint16_t count_ = 0;
  std::vector<std::uint8_t> entries_;
};

}  // namespace platform
