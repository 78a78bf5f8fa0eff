#include "device/kernel_id.h"

#include <cstring>
#include <functional>

#include "platform/text/text.h"

namespace device {

template <std::size_t N>
void FixedString<N>::Clear() {
  std::memset(text, 0, N);
  zero = 0;
  capacity = N;
}

template <std::size_t N>
void FixedString<N>::Set(std::string_view s) {
  const std::size_t n = platform::Utf8PrefixLength(s, N);
  // memmove: the source may be this very field.
  if (n != 0) std::memmove(text, s.data(), n);
  std::memset(text + n, 0, N - n);
  zero = 0;
  capacity = N;
}

template <std::size_t N>
std::string_view FixedString<N>::GetText() const {
  return platform::ReadField(text, N);
}

template <std::size_t N>
int FixedString<N>::Compare(std::string_view s) const {
  return platform::CompareBytes(GetText(), s);
}

template <std::size_t N>
int FixedString<N>::CompareNoCase(std::string_view s) const {
  return platform::CompareNoCase(GetText(), s);
}

template struct FixedString<256>;
template struct FixedString<260>;

KernelId::KernelId() { std::memset(static_cast<void*>(this), 0, sizeof(*this)); }

KernelId::KernelId(std::uint32_t kind) : KernelId() { word[0] = kind; }

KernelId::KernelId(const KernelId& other) {
  std::memset(padding, 0, sizeof(padding));
  std::memcpy(word, other.word, sizeof(word));
  const std::string_view text = other.GetName();
  const std::size_t n = platform::Utf8PrefixLength(text, kNameSize - 1);
  if (n != 0) std::memcpy(name, text.data(), n);
  std::memset(name + n, 0, kNameSize - n);
}

KernelId& KernelId::operator=(const KernelId& other) {
  Assign(other);
  return *this;
}

void KernelId::Assign(const KernelId& src) {
  const std::string_view text = src.GetName();
  const std::size_t n = platform::Utf8PrefixLength(text, kNameSize - 1);
  if (this != &src) {
    std::memcpy(word, src.word, sizeof(word));
    if (n != 0) std::memcpy(name, text.data(), n);
  }
  std::memset(name + n, 0, kNameSize - n);
}

bool KernelId::operator==(const KernelId& other) const {
  return std::memcmp(word, other.word, sizeof(word)) == 0 && GetName() == other.GetName();
}

bool KernelId::IsEmpty() const {
  return word[0] == 0 && word[1] == 0 && word[2] == 0 && word[3] == 0 && GetName().empty();
}

std::string_view KernelId::GetName() const {
  if (name[0] == '\0') return std::string_view();  // most ids: no name to measure
  return platform::ReadField(name, kNameSize);
}

void KernelId::SetName(std::string_view text) {
  char copy[kNameSize - 1];
  const std::size_t n = platform::Utf8PrefixLength(text, sizeof(copy));
  if (n != 0) std::memcpy(copy, text.data(), n);
  std::memset(name, 0, kNameSize);
  std::memcpy(name, copy, n);
}

std::uint64_t KernelId::GetItemId() const {
  return (static_cast<std::uint64_t>(word[1]) << 32) | word[0];
}

KernelId KernelId::FromItemId(std::uint64_t itemId) {
  KernelId id;
  id.word[0] = static_cast<std::uint32_t>(itemId);
  id.word[1] = static_cast<std::uint32_t>(itemId >> 32);
  return id;
}

std::size_t KernelIdHash::operator()(const KernelId& id) const {
  std::size_t h = std::hash<std::string_view>()(id.GetName());
  for (std::uint32_t w : id.word) h = h * 1000003u ^ w;
  return h;
}

}  // namespace device
