// The rule of a Quodrel: the stored record and its cipher against files made by another
// implementation, the names of rule files, the statement that finds the tracks (string
// literals, numbers, refusals) and the caps that choose among them.
#include "tools/quodrel_rule.h"

#include <gtest/gtest.h>

#include <array>

#include "sql/query_engine.h"
#include "sql/small_parser.h"

using namespace device;
using namespace sql;

namespace tools {
namespace {

std::string Hex(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

std::string Unhex(std::string_view hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return out;
}

QuodrelRule Rule(std::string match, std::vector<std::array<std::string, 3>> conditions) {
  QuodrelRule r;
  r.match = std::move(match);
  for (std::size_t i = 0; i < conditions.size(); ++i) {
    r.field[i] = conditions[i][0];
    r.op[i] = conditions[i][1];
    r.value[i] = conditions[i][2];
  }
  return r;
}

// Ciphertexts made with another Blowfish implementation (CBC, the rule key, a zero
// vector, PKCS#5 padding): what another installation writes.
TEST(QuodrelRuleTest, RecordsAndTheirCipherMatchFilesOfOtherInstallations) {
  struct Case {
    QuodrelRule rule;
    const char* record;
    const char* cipherHex;
  };
  QuodrelRule jazz = Rule("any", {{"Genre", "is equal to", "Jazz"}, {"Year", "is greater than", "1990"}});
  jazz.limit = 3;
  jazz.unit = "tracks";
  jazz.order = "by artist/album/trackname";
  const Case cases[] = {
      {QuodrelRule(), "90|minutes|all|Artist|contains|-|(not used)|contains|-|(not used)|contains|-|randomly",
       "9C2538F148C2C6BE6B0A30D9900E6F144E8E02869E93D1DA3A1BF3C5EB449E28E64CF2412C7DF1AF347B8896ED814604E3D69AF56DC1"
       "A5530A03AB2495EC088D51B49D5114666B28DEC72D2BC3FF834992D4B248012FEA00"},
      {jazz,
       "3|tracks|any|Genre|is equal to|Jazz|Year|is greater than|1990|(not used)|contains|-|by artist/album/trackname",
       "AD88511155AFBD1BEC90B2E038C5A053A599995365D09FFCF558C8490384045BF32EC5B98AD2E362394988B62A9106EE367A5070DA06"
       "8FC7507D479289710600FDD7299B8174D993B9B8803C282FEA6A3E9021E1C0173520DB9937DA924C94BFBD3ACA9AA01AF714E3748FA6"
       "FBA396C6"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    EXPECT_EQ(FormatRuleRecord(c.rule), c.record);
    EXPECT_EQ(Hex(EncipherRule(c.record)), c.cipherHex);
    const std::optional<std::string> plain = DecipherRule(Unhex(c.cipherHex));
    ASSERT_TRUE(plain);
    EXPECT_EQ(*plain, c.record);
    QuodrelRule read;
    read.limit = 7;
    ASSERT_TRUE(ParseRuleRecord(*plain, read));
    EXPECT_EQ(FormatRuleRecord(read), c.record);
  }
}

// Ciphertexts as stored rule files hold them, for every shape of the padding: an empty
// text (a block of padding alone), 1 and 7 bytes (one short block), 8 and 16 (a block of
// padding after whole blocks), 9 (one byte into a second block), and a record with a
// two-byte letter.
TEST(QuodrelRuleTest, EachLengthOfPaddingEnciphersAsStoredFilesHoldIt) {
  const struct {
    std::string_view plain;
    const char* cipherHex;
  } cases[] = {
      {"", "6B8356708ABD0162"},
      {"9", "1F2EE7C1D9AE597F"},
      {"1234567", "D0C7A747C15C9BB4"},
      {"12345678", "32359F4A555B3660B8F413E345C791B9"},
      {"123456789", "32359F4A555B36603342D7AF7F9D1706"},
      {"0123456789ABCDEF", "B10DC9996EA6D3E08711CE10D50CB574E3F7387124245496"},
      {"250|MB|all|Artist|contains|Sj\xC3\xB6lund Trio|Rating|is greater than|3|(not used)|contains|-|randomly",
       "9C62B6F20C219B325620A46CFE3886E845F2B7B025B4C142F50F293BCF32325CA2EA39469678E190E908B098D66DD0C8"
       "8B2026BCE0CDBD3AB06204BEA5822DDD87DAB97ECD3859C74003C9477B53B75DA9E93F0952A6077ABAA4D0BDB08B32C8"
       "BAE35F9AF31C4822"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.plain);
    EXPECT_EQ(Hex(EncipherRule(c.plain)), c.cipherHex);
    EXPECT_EQ(DecipherRule(Unhex(c.cipherHex)), c.plain);
  }
}

// Changing a byte of the block before the last changes the same byte of the last
// deciphered block, where the padding is: only n bytes of value n (1..8) are taken.
TEST(QuodrelRuleTest, OnlyWholeBlocksWithGoodPaddingDecipher) {
  // Deciphered, the last block is "abcde" and three bytes of 3; of "12345678" a whole
  // block of 8 follows.
  const std::string shortTail = EncipherRule("12345678abcde");
  const std::string wholeTail = EncipherRule("12345678");
  ASSERT_EQ(shortTail.size(), 16u);
  ASSERT_EQ(wholeTail.size(), 16u);
  auto flip = [](std::string cipher, std::size_t at, unsigned char mask) {
    cipher[at] = static_cast<char>(cipher[at] ^ mask);
    return cipher;
  };
  const struct {
    const char* what;
    std::string cipher;
    std::optional<std::size_t> length;  // of the deciphered text; nullopt: refused
  } cases[] = {
      {"as enciphered", shortTail, 13},
      {"a block of padding alone", wholeTail, 8},
      {"nothing", "", std::nullopt},
      {"not whole blocks", shortTail.substr(0, 12), std::nullopt},
      {"a byte past the blocks", shortTail + 'x', std::nullopt},
      {"the first block without padding", shortTail.substr(0, 8), std::nullopt},
      {"a padding of 0", flip(shortTail, 7, 0x03), std::nullopt},
      {"a padding of 9", flip(shortTail, 7, 0x03 ^ 0x09), std::nullopt},
      {"a padding of 3 over a 2", flip(shortTail, 6, 0x03 ^ 0x02), std::nullopt},
      {"a padding of 8 over a 0", flip(wholeTail, 0, 0x08), std::nullopt},
      {"a padding of 1 after two 3s", flip(shortTail, 7, 0x03 ^ 0x01), 15},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::optional<std::string> plain = DecipherRule(c.cipher);
    EXPECT_EQ(plain ? std::optional<std::size_t>(plain->size()) : std::nullopt, c.length);
  }
  EXPECT_EQ(DecipherRule(shortTail), "12345678abcde");
  EXPECT_EQ(DecipherRule(flip(shortTail, 7, 0x03 ^ 0x01)).value_or("").substr(8), "abcde\x03\x03");
}

TEST(QuodrelRuleTest, RecordsOfAnyOtherShapeLeaveTheRuleAsItWas) {
  const struct {
    const char* text;
    bool taken;
    int limit;
    const char* value1;
  } kCases[] = {
      {"5|hours|all|Album|contains|-|(not used)|contains|-|(not used)|contains|-|randomly", true, 5, ""},
      {"5|hours|all|Album|contains|---|(not used)|contains|-|(not used)|contains|-|randomly", true, 5, "---"},
      // Runs of separators count as one: an empty value written as "" is lost, 12 pieces.
      {"5|hours|all|Album|contains||(not used)|contains|-|(not used)|contains|-|randomly", false, 0, nullptr},
      // A value holding "|" splits into 14 pieces.
      {"5|hours|all|Album|contains|a|b|(not used)|contains|-|(not used)|contains|-|randomly", false, 0, nullptr},
      {"x|hours|all|Album|contains|-|(not used)|contains|-|(not used)|contains|-|randomly", true, 0, ""},
      {"", false, 0, nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    QuodrelRule rule;
    rule.limit = 42;
    EXPECT_EQ(ParseRuleRecord(c.text, rule), c.taken);
    EXPECT_EQ(rule.limit, c.taken ? c.limit : 42);
    if (c.taken) {
      EXPECT_EQ(rule.value[0], c.value1);
    }
  }
  // The text ends at its first NUL.
  QuodrelRule rule;
  const std::string withNul =
      std::string("9|tracks|all|Album|contains|-|(not used)|contains|-|(not used)|contains|-|randomly") + '\0' + "|x";
  EXPECT_TRUE(ParseRuleRecord(withNul, rule));
  EXPECT_EQ(rule.order, "randomly");
}

TEST(QuodrelRuleTest, FileNamesAreTheHexOfTheDeviceTagAndTheListName) {
  EXPECT_EQ(RuleFileName("0A1B2C3D", "Party"), "30413142324333445061727479");
  EXPECT_EQ(RuleFileName("0A1B2C3D", "é"), "3041314232433344C3A9");
  EXPECT_NE(RuleFileName("0A1B2C3D", "Party"), RuleFileName("0A1B2C3E", "Party"));
  const std::string longest(kMaxListNameBytes, 'x');
  EXPECT_EQ(RuleFileName("0A1B2C3D", longest).size(), 254u);
  EXPECT_EQ(ListNameOf("QL: Party"), "Party");
  EXPECT_EQ(ListNameOf("QL: QL: Party"), "Party");
  EXPECT_EQ(ListNameOf("Mix QL: 2"), "Mix 2");
  EXPECT_EQ(ListNameOf("Party"), "Party");
}

TEST(QuodrelRuleTest, StatementsQuoteTextsAndWriteNumbers) {
  const struct {
    QuodrelRule rule;
    const char* statement;
  } kCases[] = {
      {Rule("any", {{"Artist", "contains", "x"}, {"Minutes", "is greater than", "5"}}),
       "SELECT id FROM audio WHERE artist?'x' OR length>300;"},
      {Rule("all", {{"Genre", "is equal to", "R&B"}, {"Year", "is less than", " 2000 "},
                    {"Track Title", "does not contain", "it's"}}),
       "SELECT id FROM audio WHERE genre='R&B' AND year<2000 AND title#'it''s';"},
      {Rule("all", {{"Artist", "contains", "' OR 1=1 OR artist='"}}),
       "SELECT id FROM audio WHERE artist?''' OR 1=1 OR artist=''';"},
      {Rule("all", {{"Bytes", "is not equal to", "100"}, {"Rating", "no such operator", "-20"}}),
       "SELECT id FROM audio WHERE size!='100' AND rating=-20;"},
      {Rule("all", {{"Album", "contains", ""}, {"(not used)", "contains", "ignored"}, {"PlayCount", "is equal to", "+3"}}),
       "SELECT id FROM audio WHERE album?'' AND playcount=3;"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.statement);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(RuleValueProblem(c.rule, i));
    EXPECT_EQ(RuleStatement(c.rule), c.statement);
    CSmallParser parser;  // every statement reads as one SELECT
    EXPECT_NO_THROW(parser.Parse(RuleStatement(c.rule)));
    EXPECT_EQ(parser.GetStatementType(), CSmallParser::kSelect);
  }
}

TEST(QuodrelRuleTest, NumbersMustBeWholeAndNoValueMayHoldTheSeparator) {
  const struct {
    std::array<std::string, 3> condition;
    int row;
    const char* problem;  // nullptr: none
  } kCases[] = {
      {{"Minutes", "is greater than", "abc"}, 0, "The value of condition 1 (Minutes) must be a whole number."},
      {{"Year", "is equal to", ""}, 1, "The value of condition 2 (Year) must be a whole number."},
      {{"Bitrate", "is equal to", "128 OR 1=1"}, 2, "The value of condition 3 (Bitrate) must be a whole number."},
      {{"Track Number", "is equal to", "1.5"}, 0, "must be a whole number"},
      {{"Year", "is equal to", "99999999999"}, 0, "must be a whole number"},
      {{"Artist", "contains", "a|b"}, 0, "cannot hold the character \"|\""},
      {{"(not used)", "contains", "a|b"}, 1, "cannot hold the character \"|\""},
      {{"(not used)", "contains", "abc"}, 2, nullptr},
      {{"", "contains", "x"}, 0, "Please choose a field for condition 1."},
      {{"Artist", "contains", "abc"}, 0, nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.condition[0] + " " + c.condition[2]);
    QuodrelRule rule;
    rule.field[c.row] = c.condition[0];
    rule.op[c.row] = c.condition[1];
    rule.value[c.row] = c.condition[2];
    const std::optional<std::string> problem = RuleValueProblem(rule, c.row);
    if (c.problem == nullptr) {
      EXPECT_FALSE(problem) << *problem;
    } else {
      ASSERT_TRUE(problem);
      EXPECT_NE(problem->find(c.problem), std::string::npos) << *problem;
    }
  }
}

TEST(QuodrelRuleTest, TheUnitsLimitCapsTheWalkWhichStopsAtTheFirstTrackPastIt) {
  auto caps = [](int limit, const char* unit) {
    QuodrelRule r;
    r.limit = limit;
    r.unit = unit;
    return CapsOf(r);
  };
  const RuleCaps minutes = caps(1, "minutes");
  EXPECT_EQ(minutes.seconds, 60);
  EXPECT_EQ(minutes.tracks, 10000);
  EXPECT_EQ(minutes.kilobytes, 100000000);
  EXPECT_EQ(caps(2, "hours").seconds, 7200);
  EXPECT_EQ(caps(3, "tracks").tracks, 3);
  EXPECT_EQ(caps(9999, "MB").kilobytes, 9999000);
  EXPECT_EQ(caps(5, "furlongs").seconds, 36000000);  // another unit changes no cap

  RuleTotals totals;
  EXPECT_FALSE(totals.Take(minutes, 61, 0));  // a first track past the cap: nothing taken
  EXPECT_EQ(totals.tracks, 0);
  EXPECT_TRUE(totals.Take(minutes, 30, 0));
  EXPECT_TRUE(totals.Take(minutes, 30, 0));   // exactly at the cap is still in
  EXPECT_FALSE(totals.Take(minutes, 1, 0));

  RuleTotals mb;
  const RuleCaps one = caps(1, "MB");
  EXPECT_FALSE(mb.Take(one, 0, 1048576));  // 1024 kilobytes pass 1000
  EXPECT_TRUE(mb.Take(one, 0, 1000 * 1024 + 1023));  // whole kilobytes only
  EXPECT_EQ(mb.kilobytes, 1000);
}

}  // namespace
}  // namespace tools
