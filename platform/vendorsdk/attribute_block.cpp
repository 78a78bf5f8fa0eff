#include "platform/vendorsdk/attribute_block.h"

#include "platform/text/little_endian.h"
#include "platform/vendorsdk/vendorsdk.h"

namespace platform {

AttributeBlockReader::AttributeBlockReader(const void* data, std::size_t length)
    : data_(static_cast<const std::uint8_t*>(data)), length_(length) {
  if (data_ == nullptr || length_ < 2) {
    whole_ = false;
    return;
  }
  left_ = static_cast<std::int16_t>(ReadLe16(data_));
}

bool AttributeBlockReader::Next(AttributeEntry* entry) {
  if (left_ <= 0) return false;
  const int left = left_;
  // An entry that would run past the end ends the walk.
  left_ = 0;
  whole_ = false;
  if (length_ - pos_ < 8) return false;
  const std::uint16_t type = ReadLe16(data_ + pos_);
  const std::size_t n = ReadLe16(data_ + pos_ + 2);
  const std::size_t v = ReadLe32(data_ + pos_ + 4);
  std::size_t at = pos_ + 8;
  if (length_ - at < n) return false;
  const char* name = reinterpret_cast<const char*>(data_ + at);
  at += n;
  if (length_ - at < v) return false;
  entry->type = type;
  entry->name = std::string_view(name, n);
  entry->value = std::string_view(reinterpret_cast<const char*>(data_ + at), v);
  pos_ = at + v;
  left_ = left - 1;
  whole_ = true;
  return true;
}

AttributeValue ReadAttributeValue(const AttributeEntry& e) {
  AttributeValue out;
  const std::size_t v = e.value.size();
  if (e.type == kSdkAttrNumber) {
    out.isNumber = true;
    out.hasNumber = v >= 4;
    if (out.hasNumber) out.number = ReadLe32(e.value.data());
    out.wellFormed = v == 4;
  } else if (e.type == kSdkAttrText) {
    out.text.assign(e.value);
    out.wellFormed = true;
  } else {
    std::u16string wide(v / 2, u'\0');
    for (std::size_t k = 0; k < wide.size(); ++k) wide[k] = char16_t(ReadLe16(e.value.data() + 2 * k));
    out.text = SdkStringToUtf8(wide);
    out.wellFormed = e.type == kSdkAttrUtf16 && v % 2 == 0;
  }
  return out;
}

bool ParseAttributeBlock(const void* data, std::size_t length, std::vector<SdkAttribute>* out) {
  out->clear();
  AttributeBlockReader reader(data, length);
  AttributeEntry e;
  while (reader.Next(&e)) {
    AttributeValue value = ReadAttributeValue(e);
    if (!value.wellFormed) return false;
    SdkAttribute a;
    a.type = e.type;
    a.name.assign(e.name);
    a.number = value.number;
    a.text = std::move(value.text);
    out->push_back(std::move(a));
  }
  return reader.Whole();
}

void AttributeBlockWriter::AddText(std::string_view name, std::string_view utf8) {
  std::string bytes;
  for (char16_t c : Utf8ToSdkString(utf8)) AppendLe16(bytes, c);
  AddRaw(kSdkAttrUtf16, name, bytes);
}

void AttributeBlockWriter::AddNumber(std::string_view name, std::uint32_t value) {
  std::string bytes;
  AppendLe32(bytes, value);
  AddRaw(kSdkAttrNumber, name, bytes);
}

void AttributeBlockWriter::AddRaw(std::uint16_t type, std::string_view name,
                                  std::string_view valueBytes) {
  AppendLe16(entries_, type);
  AppendLe16(entries_, std::uint16_t(name.size()));
  AppendLe32(entries_, std::uint32_t(valueBytes.size()));
  entries_.insert(entries_.end(), name.begin(), name.end());
  entries_.insert(entries_.end(), valueBytes.begin(), valueBytes.end());
  ++count_;
}

std::vector<std::uint8_t> AttributeBlockWriter::Finish() const {
  std::vector<std::uint8_t> out;
  out.reserve(2 + entries_.size());
  AppendLe16(out, count_);
  out.insert(out.end(), entries_.begin(), entries_.end());
  return out;
}

}  // namespace platform
