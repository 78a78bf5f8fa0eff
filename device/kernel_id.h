// Device identifiers and fixed text fields.
//
// These records cross processes inside the shared request block and are stored inside
// shell item identifiers, so their layouts are binding: standard layout, little-endian,
// sizes and offsets checked below. Text is bytes (UTF-8); every copy into a field is
// bounded by the field's capacity and never splits a UTF-8 sequence, and every read is
// bounded too, because a field filled by another process may lack its NUL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace device {

// A fixed text area of N bytes, a word that is always 0 (it terminates a text that fills
// the whole area) and the capacity N.
template <std::size_t N>
struct FixedString {
  char text[N];
  std::uint32_t zero;
  std::uint32_t capacity;

  FixedString() { Clear(); }

  // Capacity word set, text zero-filled, the word after the text 0.
  void Clear();
  // Copies at most N bytes of `s`, cut on a character boundary; the rest is zero-filled.
  void Set(std::string_view s);
  void Set(const char* s) { Set(s ? std::string_view(s) : std::string_view()); }
  // The text up to its NUL, never more than N bytes.
  std::string_view GetText() const;
  std::string Str() const { return std::string(GetText()); }
  // Byte-wise comparison of the text with `s`: <0, 0, >0.
  int Compare(std::string_view s) const;
  // The same with ASCII letters folded.
  int CompareNoCase(std::string_view s) const;
};

using FixedString256 = FixedString<256>;
using FixedString260 = FixedString<260>;

static_assert(std::is_standard_layout_v<FixedString256>);
static_assert(sizeof(FixedString256) == 264);
static_assert(offsetof(FixedString256, zero) == 256);
static_assert(offsetof(FixedString256, capacity) == 260);
static_assert(sizeof(FixedString260) == 268);
static_assert(offsetof(FixedString260, zero) == 260);
static_assert(offsetof(FixedString260, capacity) == 264);

extern template struct FixedString<256>;
extern template struct FixedString<260>;

// The identifier of any object on the player (track, playlist, folder, data file,
// contact, note, storage medium, preset, the device itself) and of the shell's nodes.
// Words 0 and 1 carry the device's 64-bit item id (low half first); for folder and
// category nodes word 0 is a kind code. The name is NUL-terminated and zero-filled after
// its NUL, so ids can be compared and stored as bytes.
struct KernelId {
  static constexpr std::size_t kNameSize = 257;  // 256 bytes of text and the NUL

  std::uint32_t word[4];
  char name[kNameSize];
  std::uint8_t padding[3];

  // The empty id: all words 0, name zero-filled.
  KernelId();
  // Word 0 = kind, everything else zero.
  explicit KernelId(std::uint32_t kind);
  // Copies keep the zero fill after the name (see Assign).
  KernelId(const KernelId& other);
  KernelId& operator=(const KernelId& other);

  // Copies the four words, zero-fills the name, then copies the source's name up to its
  // NUL (at most 256 bytes, so a source without a NUL is cut on a character boundary).
  void Assign(const KernelId& src);

  // Words equal and names equal byte for byte.
  bool operator==(const KernelId& other) const;
  bool operator!=(const KernelId& other) const { return !(*this == other); }

  bool IsEmpty() const;
  std::string_view GetName() const;
  // Bounded copy (256 bytes, cut on a character boundary), rest zero-filled.
  void SetName(std::string_view text);

  // The 64-bit item id of words 0 (low) and 1 (high).
  std::uint64_t GetItemId() const;
  // An id with the 64-bit item id in words 0 and 1, words 2 and 3 zero, no name.
  static KernelId FromItemId(std::uint64_t itemId);
};

static_assert(std::is_standard_layout_v<KernelId>);
static_assert(sizeof(KernelId) == 276);
static_assert(offsetof(KernelId, word) == 0);
static_assert(offsetof(KernelId, name) == 16);
static_assert(offsetof(KernelId, padding) == 273);

// Hash over the words and the name, for unordered containers keyed by full id equality.
struct KernelIdHash {
  std::size_t operator()(const KernelId& id) const;
};

}  // namespace device
