// Attribute blocks (layout in vendorsdk.h), read and written one way for the simulated
// player and the driver. Blocks come from outside on both sides: every length is checked
// against the bytes that are there.
//
// One reader: an entry counts only when its header, name and value lie wholly inside the
// block; the walk ends at the first entry that would run past the end (the entries before
// it were read). The count is read as signed: 0 or less is an empty block. A value is read
// one way: a number from its first 4 bytes (one shorter holds none), a text as its bytes,
// UTF-16 text and values of any other type as their whole UTF-16 characters. An entry is
// well-formed when its type is one of the three, a number is exactly 4 bytes and a UTF-16
// text has an even length. The simulated player takes only whole blocks of well-formed
// entries (ParseAttributeBlock); the driver takes what it can read from the player's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The attribute names, compared without regard to case: SDK_ATTRIBUTE_NAMES(X) calls
// X(Name, "TEXT") once per name, giving kAttr<Name> (std::string_view) and
// kAttr<Name>Sdk (the SDK string, for SetItemAttribute).
// clang-format off
#define SDK_ATTRIBUTE_NAMES(X)               \
  X(Title, "TITLE")                          \
  X(Album, "ALBUM")                          \
  X(Artist, "ARTIST")                        \
  X(Genre, "GENRE")                          \
  X(Codec, "CODEC")                          \
  X(FileSize, "FILE SIZE")                   \
  X(Length, "LENGTH")                        \
  X(TrackNumber, "TRACK NUM")                \
  X(Year, "YEAR")                            \
  X(PlayOnly, "PLAYONLY")                    \
  X(FolderName, "FOLDER NAME")               \
  X(FileName, "FILE NAME")                   \
  X(FileAttributes, "FILE ATTRIB")           \
  X(ModifiedTime, "MODIFIED FILETIME")       \
  X(ParentFolder, "PARENT FOLDER")           \
  X(TrackId, "TRACK ID")
// clang-format on
#define SDK_ATTRIBUTE_NAME(Name, text)                     \
  inline constexpr std::string_view kAttr##Name = text;    \
  inline constexpr const char16_t* kAttr##Name##Sdk = u"" text;
SDK_ATTRIBUTE_NAMES(SDK_ATTRIBUTE_NAME)
#undef SDK_ATTRIBUTE_NAME

// One entry as it lies in the block.
struct AttributeEntry {
  std::uint16_t type = 0;
  std::string_view name;
  std::string_view value;  // the value's bytes
};

// Walks a block entry by entry.
class AttributeBlockReader {
 public:
  AttributeBlockReader(const void* data, std::size_t length);
  // The next entry; false at the end, or at an entry that would run past the block.
  bool Next(AttributeEntry* entry);
  // After Next answered false: whether the block held every entry its count says.
  bool Whole() const { return whole_; }

 private:
  const std::uint8_t* data_;
  std::size_t length_;
  std::size_t pos_ = 2;
  int left_ = 0;
  bool whole_ = true;
};

// An entry's value, read as the header says.
struct AttributeValue {
  bool isNumber = false;
  bool hasNumber = false;   // a number entry of at least 4 bytes
  std::uint32_t number = 0;
  std::string text;         // texts, as UTF-8
  bool wellFormed = false;
};
AttributeValue ReadAttributeValue(const AttributeEntry& entry);

struct SdkAttribute {
  std::uint16_t type = 0;   // kSdkAttrText, kSdkAttrNumber or kSdkAttrUtf16
  std::string name;
  std::string text;         // texts, as UTF-8
  std::uint32_t number = 0; // numbers
};

// Parses a whole block, the stricter way: false when the block is shorter than its count
// and entries say, or an entry is not well-formed.
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
