#include "tools/tag_fields.h"

#include <cstdint>

#include "platform/text/text.h"

using namespace device;

namespace tools {
namespace {

constexpr const char* kNames[kTagFieldCount] = {"Artist", "Album", "Track Number", "Title", "Year", "Genre", "Comment"};

// The number fields take what the tag editor takes.
constexpr int kNumberMax = 9999;

FixedString256* TextField(TrackRecord& r, int code) {
  switch (code) {
    case kFieldArtist: return &r.artist;
    case kFieldAlbum: return &r.album;
    case kFieldTitle: return &r.title;
    case kFieldGenre: return &r.genre;
    case kFieldComment: return &r.comment;
    default: return nullptr;
  }
}

std::int32_t* NumberField(TrackRecord& r, int code) {
  switch (code) {
    case kFieldTrackNumber: return &r.trackNumber;
    case kFieldYear: return &r.year;
    default: return nullptr;
  }
}

// A whole decimal number of 0..kNumberMax, blanks around it allowed.
std::optional<int> ParseFieldNumber(const std::string& text) {
  const std::string t = platform::Trim(text);
  if (t.empty() || t.size() > 4) return std::nullopt;
  int value = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value <= kNumberMax ? std::optional<int>(value) : std::nullopt;
}

// Whether the field can take the text (a number field only a number it can hold).
bool Takes(int code, const std::string& text) { return !IsNumericTagField(code) || ParseFieldNumber(text).has_value(); }

void Put(TrackRecord& r, int code, const std::string& text) {
  if (FixedString256* field = TextField(r, code)) {
    field->Set(text);
  } else if (std::int32_t* number = NumberField(r, code)) {
    *number = *ParseFieldNumber(text);
  }
}

}  // namespace

const char* TagFieldName(int code) { return IsTagField(code) ? kNames[code] : ""; }

bool IsTagField(int code) { return code >= 0 && code < kTagFieldCount; }

bool IsNumericTagField(int code) { return code == kFieldTrackNumber || code == kFieldYear; }

std::optional<std::string> ReadTagField(const TrackRecord& record, int code) {
  auto& r = const_cast<TrackRecord&>(record);
  if (const FixedString256* field = TextField(r, code)) return field->Str();
  if (const std::int32_t* number = NumberField(r, code)) return std::to_string(*number);
  return std::nullopt;
}

int CopyTagField(int from, int to, TrackRecord& record) {
  const std::optional<std::string> text = ReadTagField(record, from);
  if (!text || !IsTagField(to)) return kTagFieldUnknown;
  if (!Takes(to, *text)) return kTagFieldNotANumber;
  Put(record, to, *text);
  return kTagFieldsChanged;
}

int SwapTagFields(int a, int b, TrackRecord& record) {
  const std::optional<std::string> textA = ReadTagField(record, a);
  const std::optional<std::string> textB = ReadTagField(record, b);
  if (!textA || !textB) return kTagFieldUnknown;
  // Both or neither: a half-done swap would lose the field that was written.
  if (!Takes(a, *textB) || !Takes(b, *textA)) return kTagFieldNotANumber;
  Put(record, a, *textB);
  Put(record, b, *textA);
  return kTagFieldsChanged;
}

std::string TagFieldMessage(int result) {
  switch (result) {
    case kTagFieldUnknown: return "Unknown field.";
    case kTagFieldNotANumber: return "A number field can only take a number from 0 to 9999.  Nothing was changed.";
    default: return {};
  }
}

}  // namespace tools
