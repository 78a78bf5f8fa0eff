#include "driver/sdk_attributes.h"

#include <cstring>
#include <string>

#include "device/codec.h"
#include "platform/text/text.h"
#include "platform/vendorsdk/vendorsdk.h"

namespace driver {

using namespace device;

void DataItemRecord::Clear() {
  folderName.Clear();
  fileName.Clear();
  parent = KernelId();
  fileAttributes = 0;
  modifiedTime = 0;
}

namespace {

std::uint16_t ReadU16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t ReadU32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}

struct Entry {
  std::string_view name;
  bool isNumber = false;
  std::uint32_t number = 0;
  std::string text;
};

// Calls `take` for every entry that lies wholly inside the block, in order.
template <typename Take>
void WalkBlock(const void* data, std::size_t length, Take take) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  if (p == nullptr || length < 2) return;
  const int count = static_cast<std::int16_t>(ReadU16(p));
  std::size_t pos = 2;
  for (int i = 0; i < count; ++i) {
    if (length - pos < 8) return;
    const std::uint16_t type = ReadU16(p + pos);
    const std::size_t n = ReadU16(p + pos + 2);
    const std::size_t v = ReadU32(p + pos + 4);
    pos += 8;
    if (length - pos < n) return;
    Entry e;
    e.name = std::string_view(reinterpret_cast<const char*>(p + pos), n);
    pos += n;
    if (length - pos < v) return;
    const std::uint8_t* value = p + pos;
    pos += v;
    if (type == platform::kSdkAttrNumber) {
      if (v < 4) continue;  // too short to hold the integer
      e.isNumber = true;
      e.number = ReadU32(value);
    } else if (type == platform::kSdkAttrText) {
      e.text.assign(reinterpret_cast<const char*>(value), v);
    } else {
      std::u16string wide(v / 2, u'\0');
      for (std::size_t k = 0; k < wide.size(); ++k) wide[k] = char16_t(ReadU16(value + 2 * k));
      const std::size_t nul = wide.find(u'\0');
      if (nul != std::u16string::npos) wide.resize(nul);
      e.text = platform::SdkStringToUtf8(wide);
    }
    // A text ends at its first NUL, as the fixed fields it goes into do.
    if (const std::size_t nul = e.text.find('\0'); nul != std::string::npos) e.text.resize(nul);
    take(e);
  }
}

bool Is(const Entry& e, const char* name) { return platform::EqualsNoCase(e.name, name); }

}  // namespace

void ParseTrackAttributes(const void* block, std::size_t length, TrackRecord& r) {
  WalkBlock(block, length, [&r](const Entry& e) {
    if (!e.isNumber) {
      if (Is(e, "TITLE")) r.title.Set(e.text);
      else if (Is(e, "ALBUM")) r.album.Set(e.text);
      else if (Is(e, "ARTIST")) r.artist.Set(e.text);
      else if (Is(e, "GENRE")) r.genre.Set(e.text);
      else if (Is(e, "CODEC")) r.codec = static_cast<std::uint8_t>(GetCodecFromExtension(e.text));
      return;
    }
    if (Is(e, "FILE SIZE")) r.fileSize = static_cast<std::int32_t>(e.number);
    else if (Is(e, "LENGTH")) r.length = static_cast<std::int32_t>(e.number);
    else if (Is(e, "TRACK NUM")) r.trackNumber = static_cast<std::int32_t>(e.number);
    else if (Is(e, "YEAR")) r.year = static_cast<std::int32_t>(e.number);
    else if (Is(e, "PLAYONLY")) r.playOnly = static_cast<std::uint8_t>(e.number & 0xFF);
  });
}

void ParseDataItemAttributes(const void* block, std::size_t length, DataItemRecord& r) {
  WalkBlock(block, length, [&r](const Entry& e) {
    if (!e.isNumber) {
      if (Is(e, "FOLDER NAME")) r.folderName.Set(e.text);
      else if (Is(e, "FILE NAME")) r.fileName.Set(e.text);
      return;
    }
    if (Is(e, "FILE ATTRIB")) r.fileAttributes = e.number;
    else if (Is(e, "MODIFIED FILETIME")) r.modifiedTime = e.number;
    else if (Is(e, "PARENT FOLDER")) r.parent.word[0] = e.number;
  });
}

SdkAttributeBlock& SdkAttributeBlock::Text(std::string_view name, std::string_view text) {
  writer_.AddRaw(platform::kSdkAttrText, name, text);
  return *this;
}

SdkAttributeBlock& SdkAttributeBlock::Number(std::string_view name, std::uint32_t value) {
  writer_.AddNumber(name, value);
  return *this;
}

std::vector<std::uint8_t> SdkAttributeBlock::Bytes() const { return writer_.Finish(); }

}  // namespace driver
