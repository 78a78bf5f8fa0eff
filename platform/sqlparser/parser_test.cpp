#include "platform/sqlparser/parser.h"

#include <gtest/gtest.h>

#include <string>

namespace platform::sqlparser {
namespace {

// Tokens as "text/kind", separated by blanks.
std::string Render(const TokenList& tokens) {
  std::string out;
  for (std::int32_t i = 1; i <= tokens.Count(); ++i) {
    if (i > 1) out += ' ';
    out += tokens.Item(i).Text() + "/" + std::to_string(tokens.Item(i).Kind());
  }
  return out;
}

std::string Render(const ColumnRef& c) {
  return c.TableName().empty() ? c.ColumnName() : c.TableName() + "." + c.ColumnName();
}

// The whole tree in one line, walked the way the engine walks it.
std::string Render(const Statement& st) {
  std::string out = st.Distinct() ? "DISTINCT " : "";
  for (std::int32_t i = 1; i <= st.SelectList().Count(); ++i) {
    const SelectItem& item = st.SelectList().Item(i);
    out += (i > 1 ? ", " : "") + Render(item);
    if (!item.Alias().empty()) out += " AS " + item.Alias();
  }
  out += " FROM";
  for (std::int32_t i = 1; i <= st.Tables().Count(); ++i)
    out += (i > 1 ? ", " : " ") + st.Tables().Item(i).TableName();
  if (st.Where().Count() > 0) out += " WHERE " + Render(st.Where());
  for (std::int32_t i = 1; i <= st.OrderBy().Count(); ++i) {
    const OrderItem& o = st.OrderBy().Item(i);
    out += (i > 1 ? ", " : " ORDER BY ") + Render(o.Column()) + (o.Ascending() ? " ASC" : " DESC");
  }
  return out;
}

std::string ParseAndRender(std::string_view sql) {
  Parser p;
  p.Parse(sql);
  EXPECT_EQ(p.StatementType(), Parser::kSelectStatement) << sql;
  if (!p.Statement()) return "(no tree)";
  // Clauses this grammar never fills stay empty.
  EXPECT_EQ(p.Statement()->ColumnList().Count(), 0);
  EXPECT_EQ(p.Statement()->SecondCondition().Count(), 0);
  return Render(*p.Statement());
}

struct TreeCase {
  const char* sql;
  const char* tree;
};

// Every form of statement the system builds: searches (simple, quick, advanced, the
// help texts' examples), rule-playlist conditions, the canned report queries.
TEST(ParserTrees, StatementsTheSystemProduces) {
  const TreeCase cases[] = {
      {"SELECT id FROM audio WHERE artist?'love' OR album?'love' OR genre?'love' OR title?'love';",
       "id/2 FROM audio WHERE artist/2 'love'/7 ?/5 album/2 'love'/7 ?/5 OR/4 genre/2 'love'/7 ?/5 OR/4 "
       "title/2 'love'/7 ?/5 OR/4"},
      {"SELECT id FROM audio WHERE artist?'a' AND album?'b' AND title?'c' AND genre?'d' AND 1=1;",
       "id/2 FROM audio WHERE artist/2 'a'/7 ?/5 album/2 'b'/7 ?/5 AND/4 title/2 'c'/7 ?/5 AND/4 "
       "genre/2 'd'/7 ?/5 AND/4 1/7 1/7 =/5 AND/4"},
      {"SELECT id FROM audio WHERE 1=1;", "id/2 FROM audio WHERE 1/7 1/7 =/5"},
      {"SELECT id FROM audio WHERE artist?'x' OR length>300;",
       "id/2 FROM audio WHERE artist/2 'x'/7 ?/5 length/2 300/7 >/5 OR/4"},
      {"SELECT id FROM audio WHERE artist#'x' AND year=1995 AND tracknum!=3;",
       "id/2 FROM audio WHERE artist/2 'x'/7 #/5 year/2 1995/7 =/5 AND/4 tracknum/2 3/7 <>/5 AND/4"},
      {"SELECT id FROM audio WHERE genre<'m' OR size>'1000' OR playcount<5 OR rating>3 OR composer='';",
       "id/2 FROM audio WHERE genre/2 'm'/7 </5 size/2 '1000'/7 >/5 OR/4 playcount/2 5/7 </5 OR/4 "
       "rating/2 3/7 >/5 OR/4 composer/2 ''/7 =/5 OR/4"},
      {"SELECT id FROM audio WHERE artist='beatles' AND length < 300;",
       "id/2 FROM audio WHERE artist/2 'beatles'/7 =/5 length/2 300/7 </5 AND/4"},
      {"SELECT id FROM audio WHERE genre='rock' OR genre='classical' AND year=1995;",
       "id/2 FROM audio WHERE genre/2 'rock'/7 =/5 genre/2 'classical'/7 =/5 year/2 1995/7 =/5 AND/4 OR/4"},
      {"SELECT id FROM audio WHERE year > 1990;", "id/2 FROM audio WHERE year/2 1990/7 >/5"},
      {"SELECT id FROM audio WHERE year <= 1990 AND year >= 1980 AND genre <> 'rock';",
       "id/2 FROM audio WHERE year/2 1990/7 <=/5 year/2 1980/7 >=/5 AND/4 genre/2 'rock'/7 <>/5 AND/4"},
      {"SELECT artist, album, tracknum, title, codec, length, size, bitrate, year, genre, composer, rating, "
       "playcount, comment, locked FROM audio ORDER BY artist, album, tracknum, title",
       "artist/2, album/2, tracknum/2, title/2, codec/2, length/2, size/2, bitrate/2, year/2, genre/2, "
       "composer/2, rating/2, playcount/2, comment/2, locked/2 FROM audio "
       "ORDER BY artist ASC, album ASC, tracknum ASC, title ASC"},
      {"SELECT artist, album, tracknum, title, codec, length, size, bitrate, year, genre, comment, locked "
       "FROM audio ORDER BY artist, album, tracknum, title",
       "artist/2, album/2, tracknum/2, title/2, codec/2, length/2, size/2, bitrate/2, year/2, genre/2, "
       "comment/2, locked/2 FROM audio ORDER BY artist ASC, album ASC, tracknum ASC, title ASC"},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseAndRender(c.sql), c.tree) << c.sql;
}

// What a user may type into the report page or the advanced search.
TEST(ParserTrees, GrammarForms) {
  const TreeCase cases[] = {
      {"SELECT * FROM data", "*/1 FROM data"},
      {"SELECT DISTINCT artist FROM audio", "DISTINCT artist/2 FROM audio"},
      {"select distinct Artist from audio where artist?'x' and year>1 order by title desc;",
       "DISTINCT Artist/2 FROM audio WHERE artist/2 'x'/7 ?/5 year/2 1/7 >/5 and/4 ORDER BY title DESC"},
      {"SELECT playlist.name, plitem.pos FROM playlist, plitem WHERE playlist.id = plitem.plid "
       "ORDER BY playlist.name ASC, plitem . pos DESC",
       "playlist.name/2, plitem.pos/2 FROM playlist, plitem WHERE playlist.id/2 plitem.plid/2 =/5 "
       "ORDER BY playlist.name ASC, plitem.pos DESC"},
      {"SELECT title, length/60 AS minutes, size*8/length bps FROM audio WHERE (length+59)/60 >= 5 - 1",
       "title/2, length/2 60/7 //3 AS minutes, size/2 8/7 */3 length/2 //3 AS bps FROM audio "
       "WHERE length/2 59/7 +/3 60/7 //3 5/7 1/7 -/3 >=/5"},
      {"SELECT id FROM audio WHERE a - b - c = a * (b + c)",
       "id/2 FROM audio WHERE a/2 b/2 -/3 c/2 -/3 a/2 b/2 c/2 +/3 */3 =/5"},
      {"SELECT id FROM audio WHERE (artist?'a' OR album?'a') AND year>1990",
       "id/2 FROM audio WHERE artist/2 'a'/7 ?/5 album/2 'a'/7 ?/5 OR/4 year/2 1990/7 >/5 AND/4"},
      {"SELECT id FROM audio WHERE comment IS NULL OR genre is not null",
       "id/2 FROM audio WHERE comment/2 NULL/9 =/5 genre/2 null/9 <>/5 OR/4"},
      {"SELECT id FROM audio WHERE artist = NULL", "id/2 FROM audio WHERE artist/2 NULL/9 =/5"},
      {"SELECT id FROM audio WHERE year > -5 AND year-1 > 0 AND year - -1 > 2.5",
       "id/2 FROM audio WHERE year/2 -5/7 >/5 year/2 1/7 -/3 0/7 >/5 AND/4 year/2 -1/7 -/3 2.5/7 >/5 AND/4"},
      {"SELECT 'x' AS k, NULL, 42 FROM audio, audio", "'x'/7 AS k, NULL/9, 42/7 FROM audio, audio"},
      {"  SELECT\tid\r\nFROM\naudio  ;  ", "id/2 FROM audio"},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseAndRender(c.sql), c.tree) << c.sql;
}

// A doubled quote is one quote of the value; the token keeps the enclosing pair, so the
// engine's removal of that pair yields the value.
TEST(ParserFaults, DoubledQuoteInLiteralIsOneQuote) {
  EXPECT_EQ(ParseAndRender("SELECT id FROM audio WHERE title?'Don''t'"),
            "id/2 FROM audio WHERE title/2 'Don't'/7 ?/5");
  // User text with its quotes doubled stays one literal, whatever it holds.
  EXPECT_EQ(ParseAndRender("SELECT id FROM audio WHERE artist?'x'' OR 1=1 OR artist?''' OR album?'y'"),
            "id/2 FROM audio WHERE artist/2 'x' OR 1=1 OR artist?''/7 ?/5 album/2 'y'/7 ?/5 OR/4");
}

TEST(ParserFaults, NotEqualIsDeliveredAsAngleBrackets) {
  EXPECT_EQ(ParseAndRender("SELECT id FROM audio WHERE tracknum!=3 AND genre != 'rock'"),
            "id/2 FROM audio WHERE tracknum/2 3/7 <>/5 genre/2 'rock'/7 <>/5 AND/4");
}

TEST(ParserFaults, NumbersAreNeverConverted) {
  // Far beyond 64 bits: handed over as written; what it is worth is the engine's affair.
  const std::string big(400, '9');
  EXPECT_EQ(ParseAndRender("SELECT id FROM audio WHERE size > " + big + " OR size < -" + big),
            "id/2 FROM audio WHERE size/2 " + big + "/7 >/5 size/2 -" + big + "/7 </5 OR/4");
}

TEST(ParserTrees, DepthLimitIsExact) {
  const int max = Parser::kMaxDepth;
  auto nested = [](int depth) {
    return "SELECT id FROM audio WHERE " + std::string(depth, '(') + "1" + std::string(depth, ')');
  };
  EXPECT_EQ(ParseAndRender(nested(max)), "id/2 FROM audio WHERE 1/7");

  Parser p;
  const std::string sql = nested(max + 1);
  try {
    p.Parse(sql);
    FAIL() << "accepted " << max + 1 << " levels";
  } catch (const SyntaxError& e) {
    EXPECT_EQ(e.Offset(), sql.find('(') + max);
  }
  // Deeply nested text far beyond the limit fails the same way instead of overflowing.
  EXPECT_THROW(p.Parse(nested(100'000)), SyntaxError);
  // Long flat chains are loops, not recursion.
  std::string chain = "SELECT id FROM audio WHERE 1";
  for (int i = 0; i < 20'000; ++i) chain += " + 1 OR a";
  p.Parse(chain);
  EXPECT_EQ(p.Statement()->Where().Count(), 1 + 20'000 * 4);
}

TEST(ParserErrors, FaultsNameTheirByteOffset) {
  struct Case {
    std::string sql;
    std::size_t offset;
    const char* reason;
  } cases[] = {
      {"", 0, "the statement is empty"},
      {"   ", 3, "the statement is empty"},
      {"(SELECT id FROM audio)", 0, "expected SELECT"},
      {"42", 0, "expected SELECT"},
      {"SELECT", 6, "expected '*' or an expression in the select list"},
      {"SELECT id,", 10, "expected '*' or an expression in the select list"},
      {"SELECT FROM audio", 7, "expected '*' or an expression in the select list"},
      {"SELECT id", 9, "expected FROM"},
      {"SELECT *, id FROM audio", 8, "expected FROM"},
      {"SELECT id, * FROM audio", 11, "'*' must be the whole select list"},
      {"SELECT count(*) FROM audio", 12, "expected FROM"},
      {"SELECT id AS FROM audio", 13, "expected a name after AS"},
      {"SELECT id FROM", 14, "expected a table name"},
      {"SELECT id FROM audio,", 21, "expected a table name"},
      {"SELECT id FROM audio a", 21, "expected WHERE, ORDER BY or the end of the statement"},
      {"SELECT id FROM audio WHERE", 26, "expected an expression, found the end of the statement"},
      {"SELECT id FROM audio WHERE artist='x", 34, "unterminated string literal"},
      {"SELECT id FROM audio WHERE artist='x''", 34, "unterminated string literal"},
      {"SELECT id FROM audio WHERE (year=1", 34, "expected ')'"},
      {"SELECT id FROM audio WHERE year=1)", 33, "expected an operator, ORDER BY or the end of the statement"},
      {"SELECT id FROM audio WHERE artist 'x'", 34, "expected an operator, ORDER BY or the end of the statement"},
      {"SELECT id FROM audio WHERE a AND OR b", 33, "expected an expression, found the keyword OR"},
      {"SELECT id FROM audio WHERE ?", 27, "expected an expression"},
      {"SELECT id FROM audio WHERE - year", 27, "expected an expression"},
      {"SELECT id FROM audio WHERE NOT a", 27, "expected an expression, found the keyword NOT"},
      {"SELECT id FROM audio WHERE audio.", 33, "expected a column name after '.'"},
      {"SELECT id FROM audio WHERE artist IS 'x'", 37, "expected NULL after IS"},
      {"SELECT id FROM audio WHERE artist IS NOT 1", 41, "expected NULL after IS NOT"},
      {"SELECT id FROM audio WHERE a ~ b", 29, "unexpected character '~'"},
      {"SELECT id FROM audio WHERE a = \"b\"", 31, "unexpected character '\"'"},
      {"SELECT id FROM audio WHERE a ! b", 29, "'!' must be followed by '='"},
      {std::string("SELECT id FROM audio WHERE a = \x01", 32), 31, "unexpected byte 0x01"},
      {std::string("SELECT id FROM audio WHERE a = \0", 32), 31, "unexpected byte 0x00"},
      {"SELECT id FROM audio WHERE a = \xC3\xA9", 31, "unexpected byte 0xC3"},
      {"SELECT id FROM audio WHERE year = 12abc", 34, "malformed number"},
      {"SELECT id FROM audio WHERE year = 1.2.3", 34, "malformed number"},
      {"SELECT id FROM audio ORDER artist", 27, "expected BY after ORDER"},
      {"SELECT id FROM audio ORDER BY", 29, "expected a column name in ORDER BY"},
      {"SELECT id FROM audio ORDER BY 1", 30, "expected a column name in ORDER BY"},
      {"SELECT id FROM audio ORDER BY a DESC b", 37, "expected ',', ASC, DESC or the end of the statement"},
      {"SELECT id FROM audio; SELECT id FROM data", 22, "expected the end of the statement after ';'"},
      {"SELECT id FROM audio;;", 21, "expected the end of the statement after ';'"},
  };
  for (const auto& c : cases) {
    Parser p;
    try {
      p.Parse(c.sql);
      ADD_FAILURE() << "accepted: " << c.sql;
    } catch (const SyntaxError& e) {
      EXPECT_EQ(e.Offset(), c.offset) << c.sql;
      EXPECT_EQ(e.Reason(), c.reason) << c.sql;
      EXPECT_EQ(std::string(e.what()), "syntax error at byte " + std::to_string(c.offset) + ": " + c.reason);
    }
    EXPECT_EQ(p.StatementType(), Parser::kNoStatement) << c.sql;
    EXPECT_EQ(p.Statement(), nullptr) << c.sql;
  }
}

TEST(ParserStatementType, OnlySelectIsTypeTwo) {
  struct Case {
    const char* sql;
    std::int32_t type;
  } cases[] = {
      {"SELECT id FROM audio", Parser::kSelectStatement},
      {"\n  sElEcT id FROM audio", Parser::kSelectStatement},
      {"DELETE FROM audio", Parser::kOtherStatement},
      {"update audio set artist='x", Parser::kOtherStatement},  // not read past its first word
      {"selector", Parser::kOtherStatement},
      {"artist?'x'", Parser::kOtherStatement},
  };
  for (const auto& c : cases) {
    Parser p;
    p.Parse(c.sql);
    EXPECT_EQ(p.StatementType(), c.type) << c.sql;
    EXPECT_EQ(p.Statement() != nullptr, c.type == Parser::kSelectStatement) << c.sql;
  }
}

TEST(ParserStatementType, EachParseReplacesTheLast) {
  Parser p;
  EXPECT_EQ(p.StatementType(), Parser::kNoStatement);
  p.Parse("SELECT id FROM audio");
  auto kept = p.Statement();
  EXPECT_THROW(p.Parse("SELECT id FROM"), SyntaxError);
  EXPECT_EQ(p.StatementType(), Parser::kNoStatement);
  EXPECT_EQ(p.Statement(), nullptr);
  p.Parse("DROP TABLE audio");
  EXPECT_EQ(p.StatementType(), Parser::kOtherStatement);
  EXPECT_EQ(p.Statement(), nullptr);
  // A tree handed out earlier stays whole after its parser moved on or went away.
  p = Parser();
  EXPECT_EQ(Render(*kept), "id/2 FROM audio");
}

TEST(ParserCollections, ItemsCountFromOne) {
  Parser p;
  p.Parse("SELECT id, title t FROM audio");
  const Statement& st = *p.Statement();
  const auto& items = st.SelectList();
  ASSERT_EQ(items.Count(), 2);
  EXPECT_EQ(items.Item(1).Alias(), "");
  EXPECT_EQ(items.Item(2).Alias(), "t");
  EXPECT_EQ(items.Item(2).Item(1).Text(), "title");
  EXPECT_THROW(items.Item(0), std::out_of_range);
  EXPECT_THROW(items.Item(3), std::out_of_range);
  EXPECT_THROW(items.Item(-1), std::out_of_range);
  // Absent clauses are empty collections, not errors.
  EXPECT_EQ(st.Where().Count(), 0);
  EXPECT_EQ(st.OrderBy().Count(), 0);
  EXPECT_THROW(st.Where().Item(1), std::out_of_range);
  EXPECT_EQ(st.Distinct(), 0);
}

}  // namespace
}  // namespace platform::sqlparser
