// The rule of a Quodrel (a rule-defined playlist): its thirteen values, the statement that
// finds its tracks, the caps that choose among them, and the small enciphered file that
// keeps it between edits. Rule files are shared with other installations, so their
// record, cipher and names are fixed to the byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tools {

inline constexpr std::string_view kQuodrelPrefix = "QL: ";
inline constexpr std::string_view kNotUsed = "(not used)";
// The longest list name whose rule file name (two hex digits per byte of the device's
// 8-digit tag and the name) still fits the file system's 255 bytes.
inline constexpr std::size_t kMaxListNameBytes = 119;

struct QuodrelRule {
  int limit = 90;                  // 1..9999
  std::string unit = "minutes";    // "minutes", "hours", "tracks", "MB"
  std::string match = "all";       // "all", "any"
  std::string field[3] = {"Artist", std::string(kNotUsed), std::string(kNotUsed)};
  std::string op[3] = {"contains", "contains", "contains"};
  std::string value[3];
  std::string order = "randomly";  // "randomly", "by artist/album/trackname"

  bool Uses(int condition) const { return condition == 0 || field[condition] != kNotUsed; }
};

// The playlist's name with every "QL: " taken out.
std::string ListNameOf(std::string_view playlistName);

// "%d|%s|...": the thirteen values in order, an empty value written as "-".
std::string FormatRuleRecord(const QuodrelRule& rule);
// Splits a deciphered record at "|" (runs of separators count as one, the text ends at its
// first NUL). Only a record of exactly thirteen pieces is taken: the limit as atoi reads
// it, a value "-" as empty. False leaves `rule` as it was.
bool ParseRuleRecord(std::string_view text, QuodrelRule& rule);

// Blowfish in CBC mode with the rule key, a zero initialisation vector and PKCS#5
// padding; the ciphertext alone. Deciphering answers nullopt for data that is not whole
// blocks or whose padding is wrong.
std::string EncipherRule(std::string_view record);
std::optional<std::string> DecipherRule(std::string_view cipher);

// The rule file's name: upper-case hex of the bytes of `deviceTag` (the 8-digit short
// digest of the device's unique id) followed by the list name.
std::string RuleFileName(std::string_view deviceTag, std::string_view listName);

// The column of a field's name ("Track Title" -> "title"); any other name lower-cased.
std::string ColumnOfField(std::string_view field);
// Whether a field's value goes into the statement as a number rather than as a text.
bool IsNumericField(std::string_view field);
// "contains" -> "?", "does not contain" -> "#", ... ; anything else "=".
std::string_view OperatorSymbol(std::string_view op);

// What keeps a rule from being used or stored, for the person to mend; nullopt when
// nothing does. Numeric fields take whole numbers only, and no value may hold "|".
std::optional<std::string> RuleValueProblem(const QuodrelRule& rule, int condition);

// "SELECT id FROM audio WHERE <conditions>;": texts as string literals, numbers as
// numbers ("Minutes" times 60), joined by AND or (match "any") OR. The values must have
// passed RuleValueProblem.
std::string RuleStatement(const QuodrelRule& rule);

// The caps of the track walk: the unit's limit replaces one of them.
struct RuleCaps {
  std::int64_t tracks = 10000;
  std::int64_t seconds = 36000000;
  std::int64_t kilobytes = 100000000;
};
RuleCaps CapsOf(const QuodrelRule& rule);

// Adds one track to running totals; false (totals unchanged) when taking it would pass a
// cap, which ends the walk.
struct RuleTotals {
  std::int64_t tracks = 0;
  std::int64_t seconds = 0;
  std::int64_t kilobytes = 0;
  bool Take(const RuleCaps& caps, std::int64_t lengthSeconds, std::int64_t sizeBytes);
};

}  // namespace tools
