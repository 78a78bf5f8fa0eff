#include "platform/vendorsdk/attribute_block.h"

#include <cstring>

#include "platform/vendorsdk/vendorsdk.h"

namespace platform {
namespace {

std::uint16_t ReadU16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t ReadU32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}
void PutU16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(std::uint8_t(v));
  out.push_back(std::uint8_t(v >> 8));
}
void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}

}  // namespace

bool ParseAttributeBlock(const void* data, std::size_t length, std::vector<SdkAttribute>* out) {
  out->clear();
  const auto* p = static_cast<const std::uint8_t*>(data);
  if (length < 2 || p == nullptr) return false;
  const auto count = static_cast<std::int16_t>(ReadU16(p));
  std::size_t pos = 2;
  for (int i = 0; i < count; ++i) {
    if (length - pos < 8) return false;
    SdkAttribute a;
    a.type = ReadU16(p + pos);
    const std::size_t n = ReadU16(p + pos + 2);
    const std::size_t v = ReadU32(p + pos + 4);
    pos += 8;
    if (length - pos < n) return false;
    a.name.assign(reinterpret_cast<const char*>(p + pos), n);
    pos += n;
    if (length - pos < v) return false;
    const std::uint8_t* value = p + pos;
    pos += v;
    switch (a.type) {
      case kSdkAttrNumber:
        if (v != 4) return false;
        a.number = ReadU32(value);
        break;
      case kSdkAttrText:
        a.text.assign(reinterpret_cast<const char*>(value), v);
        break;
      case kSdkAttrUtf16: {
        if (v % 2 != 0) return false;
        std::u16string wide(v / 2, u'\0');
        for (std::size_t k = 0; k < wide.size(); ++k) wide[k] = char16_t(ReadU16(value + 2 * k));
        a.text = SdkStringToUtf8(wide);
        break;
      }
      default:
        return false;
    }
    out->push_back(std::move(a));
  }
  return true;
}

void AttributeBlockWriter::AddText(std::string_view name, std::string_view utf8) {
  const SdkString wide = Utf8ToSdkString(utf8);
  std::string bytes;
  bytes.reserve(wide.size() * 2);
  for (char16_t c : wide) {
    bytes.push_back(char(c & 0xFF));
    bytes.push_back(char(c >> 8));
  }
  AddRaw(kSdkAttrUtf16, name, bytes);
}

void AttributeBlockWriter::AddNumber(std::string_view name, std::uint32_t value) {
  char bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = char((value >> (8 * i)) & 0xFF);
  AddRaw(kSdkAttrNumber, name, std::string_view(bytes, 4));
}

void AttributeBlockWriter::AddRaw(std::uint16_t type, std::string_view name,
                                  std::string_view valueBytes) {
  PutU16(entries_, type);
  PutU16(entries_, std::uint16_t(name.size()));
  PutU32(entries_, std::uint32_t(valueBytes.size()));
  entries_.insert(entries_.end(), name.begin(), name.end());
  entries_.insert(entries_.end(), valueBytes.begin(), valueBytes.end());
  ++count_;
}

std::vector<std::uint8_t> AttributeBlockWriter::Finish() const {
  std::vector<std::uint8_t> out;
  out.reserve(2 + entries_.size());
  PutU16(out, count_);
  out.insert(out.end(), entries_.begin(), entries_.end());
  return out;
}

}  // namespace platform
