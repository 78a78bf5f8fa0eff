// The seven tag fields that the copy and swap commands address by number, and the two
// routines that copy one into another or exchange two inside one track record. The field
// dialog only picks the two numbers; every caller does the work here.
//
//   0 artist   1 album   2 track number   3 title   4 year   5 genre   6 comment
//
// Texts go into text fields bounded by the field's capacity. A number field takes a text
// only when the text is a whole decimal number within the field's range; otherwise the
// copy or swap is refused and nothing changes, so no field loses its value to a text that
// cannot be kept.
#pragma once

#include <optional>
#include <string>

#include "device/records.h"

namespace tools {

enum TagFieldCode : int {
  kFieldArtist = 0,
  kFieldAlbum = 1,
  kFieldTrackNumber = 2,
  kFieldTitle = 3,
  kFieldYear = 4,
  kFieldGenre = 5,
  kFieldComment = 6,
};
inline constexpr int kTagFieldCount = 7;

// The names the field dialog lists, by code.
const char* TagFieldName(int code);

// Whether the code names a field, and whether that field holds a number.
bool IsTagField(int code);
bool IsNumericTagField(int code);

// The field as text: texts as they are, numbers with "%d"; nullopt for an unknown code.
std::optional<std::string> ReadTagField(const device::TrackRecord& record, int code);

// Results of the two routines.
constexpr int kTagFieldsChanged = 0;
constexpr int kTagFieldUnknown = -1;     // "Unknown field."; nothing changed
constexpr int kTagFieldNotANumber = -2;  // a number field would get a text that is no number; nothing changed

// Copies the source field into the target field. Unknown codes answer kTagFieldUnknown;
// a number target and a source text that is not a number it can hold, kTagFieldNotANumber.
int CopyTagField(int from, int to, device::TrackRecord& record);

// Exchanges the two fields. When a number field would receive a text that is not a
// number it can hold, nothing changes and the answer is kTagFieldNotANumber.
int SwapTagFields(int a, int b, device::TrackRecord& record);

// The message for a refusal of the routines; empty for kTagFieldsChanged.
std::string TagFieldMessage(int result);

}  // namespace tools
