#include "tools/quodrel_rule.h"

#include <nettle/blowfish.h>
#include <nettle/cbc.h>

#include <charconv>
#include <climits>
#include <cstdint>
#include <vector>

#include "common/shell_utilities.h"
#include "platform/text/text.h"
#include "sql/query_engine.h"

using namespace device;
using namespace sql;

namespace tools {

namespace {

constexpr std::uint8_t kRuleKey[8] = {0x5D, 0x0A, 0x73, 0xE6, 0x29, 0xB4, 0xC1, 0x4F};
constexpr std::size_t kBlock = BLOWFISH_BLOCK_SIZE;

struct RuleCipher CBC_CTX(blowfish_ctx, BLOWFISH_BLOCK_SIZE);

// Blowfish with the rule key, at the start of a chain (a zero vector).
RuleCipher StartCipher() {
  RuleCipher cipher = {};
  blowfish_set_key(&cipher.ctx, sizeof kRuleKey, kRuleKey);
  return cipher;
}

std::uint8_t* Bytes(std::string& text) { return reinterpret_cast<std::uint8_t*>(text.data()); }
const std::uint8_t* Bytes(std::string_view text) { return reinterpret_cast<const std::uint8_t*>(text.data()); }

struct FieldColumn {
  std::string_view field;
  std::string_view column;
  bool numeric;
};

constexpr FieldColumn kFields[] = {
    {"Artist", "artist", false},   {"Album", "album", false},       {"Track Number", "tracknum", true},
    {"Track Title", "title", false}, {"Genre", "genre", false},     {"Year", "year", true},
    {"Minutes", "length", true},   {"Bitrate", "bitrate", true},    {"Bytes", "size", false},
    {"Composer", "composer", false}, {"Rating", "rating", true},    {"PlayCount", "playcount", true},
};

const FieldColumn* FindField(std::string_view field) {
  for (const FieldColumn& f : kFields) {
    if (f.field == field) return &f;
  }
  return nullptr;
}

// A whole number written with an optional sign, blanks around it allowed.
std::optional<int> WholeNumber(std::string_view text) {
  text = platform::TrimView(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || at != end) return std::nullopt;
  return value;
}

}  // namespace

std::string ListNameOf(std::string_view playlistName) {
  std::string name(playlistName);
  for (std::size_t at = name.find(kQuodrelPrefix); at != std::string::npos; at = name.find(kQuodrelPrefix, at)) {
    name.erase(at, kQuodrelPrefix.size());
  }
  return name;
}

std::string FormatRuleRecord(const QuodrelRule& rule) {
  auto value = [](const std::string& v) { return v.empty() ? std::string("-") : v; };
  std::string record = std::to_string(rule.limit);
  for (const std::string* piece : {&rule.unit, &rule.match}) record += "|" + *piece;
  for (int i = 0; i < 3; ++i) record += "|" + rule.field[i] + "|" + rule.op[i] + "|" + value(rule.value[i]);
  record += "|" + rule.order;
  return record;
}

bool ParseRuleRecord(std::string_view text, QuodrelRule& rule) {
  text = text.substr(0, text.find('\0'));
  std::vector<std::string> pieces;
  if (SplitString(text, "|", pieces) != 13) return false;
  auto value = [](const std::string& v) { return v == "-" ? std::string() : v; };
  QuodrelRule read;
  read.limit = platform::ParseInt32(pieces[0]);
  read.unit = pieces[1];
  read.match = pieces[2];
  for (int i = 0; i < 3; ++i) {
    read.field[i] = pieces[3 + 3 * i];
    read.op[i] = pieces[4 + 3 * i];
    read.value[i] = value(pieces[5 + 3 * i]);
  }
  read.order = pieces[12];
  rule = std::move(read);
  return true;
}

std::string EncipherRule(std::string_view record) {
  // PKCS#5: 1 to 8 bytes, each holding their count; the last byte says how many to drop.
  const std::size_t padding = kBlock - record.size() % kBlock;
  std::string plain(record);
  plain.append(padding, static_cast<char>(padding));
  std::string out(plain.size(), '\0');
  RuleCipher cipher = StartCipher();
  CBC_ENCRYPT(&cipher, blowfish_encrypt, plain.size(), Bytes(out), Bytes(plain));
  return out;
}

std::optional<std::string> DecipherRule(std::string_view data) {
  if (data.empty() || data.size() % kBlock != 0) return std::nullopt;
  std::string plain(data.size(), '\0');
  RuleCipher cipher = StartCipher();
  CBC_DECRYPT(&cipher, blowfish_decrypt, data.size(), Bytes(plain), Bytes(data));
  const std::size_t padding = static_cast<unsigned char>(plain.back());
  if (padding < 1 || padding > kBlock ||
      plain.find_first_not_of(static_cast<char>(padding), plain.size() - padding) != std::string::npos) {
    return std::nullopt;
  }
  plain.resize(plain.size() - padding);
  return plain;
}

std::string RuleFileName(std::string_view deviceTag, std::string_view listName) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string name;
  name.reserve(2 * (deviceTag.size() + listName.size()));
  for (std::string_view part : {deviceTag, listName}) {
    for (unsigned char c : part) {
      name += kHex[c >> 4];
      name += kHex[c & 15];
    }
  }
  return name;
}

std::string ColumnOfField(std::string_view field) {
  if (const FieldColumn* f = FindField(field)) return std::string(f->column);
  return platform::ToLowerAscii(field);
}

bool IsNumericField(std::string_view field) {
  const FieldColumn* f = FindField(field);
  return f != nullptr && f->numeric;
}

std::string_view OperatorSymbol(std::string_view op) {
  static constexpr std::pair<std::string_view, std::string_view> kOperators[] = {
      {"contains", "?"},        {"does not contain", "#"}, {"is equal to", "="},
      {"is not equal to", "!="}, {"is less than", "<"},     {"is greater than", ">"},
  };
  for (const auto& [name, symbol] : kOperators) {
    if (name == op) return symbol;
  }
  return "=";
}

std::optional<std::string> RuleValueProblem(const QuodrelRule& rule, int condition) {
  const std::string n = std::to_string(condition + 1);
  const std::string& value = rule.value[condition];
  if (value.find('|') != std::string::npos) {
    return "The value of condition " + n + " cannot hold the character \"|\".";
  }
  if (!rule.Uses(condition)) return std::nullopt;
  const std::string& field = rule.field[condition];
  if (field.empty()) return "Please choose a field for condition " + n + ".";
  if (IsNumericField(field) && !WholeNumber(value)) {
    return "The value of condition " + n + " (" + field + ") must be a whole number.";
  }
  return std::nullopt;
}

std::string RuleStatement(const QuodrelRule& rule) {
  const std::string joiner = rule.match == "any" ? " OR " : " AND ";
  std::string conditions;
  for (int i = 0; i < 3; ++i) {
    if (!rule.Uses(i)) continue;
    if (!conditions.empty()) conditions += joiner;
    const std::string& field = rule.field[i];
    std::string value;
    if (IsNumericField(field)) {
      const std::int64_t number = WholeNumber(rule.value[i]).value_or(0);
      value = std::to_string(field == "Minutes" ? number * 60 : number);
    } else {
      value = SqlStringLiteral(rule.value[i]);
    }
    conditions += ColumnOfField(field) + std::string(OperatorSymbol(rule.op[i])) + value;
  }
  return "SELECT id FROM audio WHERE " + conditions + ";";
}

RuleCaps CapsOf(const QuodrelRule& rule) {
  RuleCaps caps;
  const std::int64_t limit = rule.limit;
  if (rule.unit == "tracks") {
    caps.tracks = limit;
  } else if (rule.unit == "minutes") {
    caps.seconds = limit * 60;
  } else if (rule.unit == "hours") {
    caps.seconds = limit * 3600;
  } else if (rule.unit == "MB") {
    caps.kilobytes = limit * 1000;
  }
  return caps;
}

bool RuleTotals::Take(const RuleCaps& caps, std::int64_t lengthSeconds, std::int64_t sizeBytes) {
  const std::int64_t t = tracks + 1;
  const std::int64_t s = seconds + lengthSeconds;
  const std::int64_t k = kilobytes + sizeBytes / 1024;
  if (t > caps.tracks || s > caps.seconds || k > caps.kilobytes) return false;
  tracks = t;
  seconds = s;
  kilobytes = k;
  return true;
}

}  // namespace tools
