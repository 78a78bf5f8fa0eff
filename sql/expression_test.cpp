#include "sql/expression.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/sqlparser/parser.h"
#include "sql/sql_exception.h"
#include "testing/sql_tables.h"

namespace sql {

namespace {

namespace ps = platform::sqlparser;

std::shared_ptr<const ps::Statement> Parse(const std::string& sql) {
  ps::Parser parser;
  parser.Parse(sql);
  return parser.Statement();
}

std::unique_ptr<CExpItem> Condition(const std::string& condition) {
  return BuildExpression(Parse("SELECT id FROM t WHERE " + condition)->Where());
}

std::unique_ptr<CExpItem> SelectItem(const std::string& item) {
  return BuildExpression(Parse("SELECT " + item + " FROM t")->SelectList().Item(1));
}

// One row with texts chosen to tell text from number comparisons apart.
class ExpressionTest : public ::testing::Test {
 protected:
  ExpressionTest()
      : table_("t", {"artist", "band", "genre", "length", "title", "year", "blank", "neg", "num"},
               {{"Beatles", "The Beatles", "Pop", "250", "abc", "1990", "", "-5", "12abc"}}),
        row_(0, &table_) {
    table_.Fill();
  }

  std::int32_t Truth(const std::string& condition) { return Condition(condition)->IsTrue(row_); }

  sqltest::FakeTable table_;
  CRow row_;
};

TEST_F(ExpressionTest, TruthTable) {
  const struct {
    const char* condition;
    std::int32_t expected;
  } cases[] = {
      // "=" and "<>" compare texts ignoring case; "<" ">" compare the numbers at the start.
      {"artist='beatles' AND length < 300", 1},
      {"artist='beatles' AND length < 200", 0},
      {"genre <> 'rock'", 1},
      {"genre <> 'POP'", 0},
      {"genre != 'pop'", 0},
      {"genre != 'rock'", 1},
      {"length = 250", 1},
      {"length = 250.0", 0},
      {"length <= 250", 1},
      {"length < 250", 0},
      {"length >= 251", 0},
      {"length > 249", 1},
      {"title < 1", 1},
      {"title = 0", 0},
      {"neg < 3", 1},
      // Contains: only with a field on the left; otherwise equality.
      {"band ? 'beat'", 1},
      {"band ? 'BEAT'", 1},
      {"band ? 'stones'", 0},
      {"'beat' ? band", 0},
      {"'the beatles' ? band", 1},
      {"band ? ''", 1},
      {"band # ''", 0},
      {"band # 'xyz'", 1},
      {"band # 'beat'", 0},
      // A lone operand is true when it starts with a non-zero number.
      {"num", 1},
      {"title", 0},
      {"blank = NULL", 1},
      {"blank IS NULL", 1},
      {"blank IS NOT NULL", 0},
      {"artist IS NOT NULL", 1},
      // Arithmetic: 32 bits, truncating division, wrapping overflow.
      {"length * 2 = 500", 1},
      {"length / 3 = 83", 1},
      {"-7 / 2 = -3", 1},
      {"2147483647 + 1 = -2147483648", 1},
      {"0 - 2147483647 - 2 = 2147483647", 1},
      {"65536 * 65536 = 0", 1},
      {"length - 250", 0},
      // Logic and precedence.
      {"year > 1989 AND year < 1991", 1},
      {"(genre = 'rock' OR genre = 'pop') AND length > 100", 1},
      {"genre = 'rock' OR genre = 'pop' AND length > 1000", 0},
      {"1=1", 1},
      {"'Don''t' = 'don''t'", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(Truth(c.condition), c.expected) << c.condition;
}

TEST_F(ExpressionTest, AndOrSkipTheRightOperandWhenTheLeftDecides) {
  EXPECT_EQ(Truth("1 = 0 AND nosuch = 1"), 0);
  EXPECT_EQ(Truth("1 = 1 OR nosuch = 1"), 1);
  try {
    Truth("1 = 1 AND nosuch = 1");
    FAIL() << "no exception";
  } catch (const COmbrixSQLNoSuchFieldException& e) {
    EXPECT_EQ(e.GetSubject(), "nosuch");
  }
}

TEST_F(ExpressionTest, ZeroDivisorIsAnSqlError) {
  try {
    Truth("length / 0 = 1");
    FAIL() << "no exception";
  } catch (const COmbrixSQLDivideByZeroException& e) {
    EXPECT_EQ(e.GetDescription(), "Division by zero.\n\n/\n0");
  }
  EXPECT_THROW(Truth("length / (year - 1990) = 1"), COmbrixSQLException);
}

TEST_F(ExpressionTest, ValuesOfOperators) {
  EXPECT_EQ(SelectItem("length * 2")->GetValueText(row_), "500");
  EXPECT_EQ(SelectItem("genre = 'pop'")->GetValueText(row_), "1");
  EXPECT_EQ(SelectItem("'x'")->GetValueText(row_), "x");
  EXPECT_EQ(SelectItem("NULL")->GetValueText(row_), "");
  EXPECT_EQ(SelectItem(std::string(400, '9'))->GetValueInt(row_), 2147483647);
}

TEST(ExpressionText, DefaultColumnNames) {
  const struct {
    const char* item;
    const char* text;
  } cases[] = {
      {"length * 60", "length * 60"},
      {"audio.artist", "audio.artist"},
      {"artist ? 'x'", "artist ? x"},
      {"a = 1 AND b = 2", "a = 1 and b = 2"},
      {"a != b", "a <> b"},
      {"NULL", " NULL "},
      {"'it''s'", "it's"},
      {"-5", "-5"},
  };
  for (const auto& c : cases) EXPECT_EQ(SelectItem(c.item)->GetText(), c.text) << c.item;
}

// Token lists the grammar never produces, built by hand.
TEST(BuildExpression, HandBuiltTokenLists) {
  ps::TokenList andFirst;
  andFirst.Append(ps::Token("AND", ps::kLogical));
  andFirst.Append(ps::Token("a", ps::kColumn));
  try {
    BuildExpression(andFirst);
    FAIL() << "no exception";
  } catch (const COmbrixSQLExpressionStackUnderflowException& e) {
    EXPECT_EQ(e.GetDescription(), "Stack underflow while processing expression.\n\nand\n0");
  }

  ps::TokenList noOperator;  // the top of the stack wins
  noOperator.Append(ps::Token("artist", ps::kColumn));
  noOperator.Append(ps::Token("'x'", ps::kLiteral));
  noOperator.Append(ps::Token("ignored", 6));
  auto literal = BuildExpression(noOperator);
  ASSERT_TRUE(literal);
  EXPECT_EQ(literal->Kind(), ps::kLiteral);
  EXPECT_EQ(literal->Text(), "x");

  EXPECT_EQ(BuildExpression(ps::TokenList()), nullptr);

  const struct {
    const char* token;
    const char* text;
  } literals[] = {{"'", ""}, {"''", ""}, {"'it''s'", "it''s"}, {"12", "12"}, {"'open", "'open"}};
  for (const auto& c : literals) {
    ps::TokenList list;
    list.Append(ps::Token(c.token, ps::kLiteral));
    EXPECT_EQ(BuildExpression(list)->Text(), c.text) << c.token;
  }

  ps::TokenList spaced;  // operators are read lower-cased with blanks removed
  spaced.Append(ps::Token("1", ps::kLiteral));
  spaced.Append(ps::Token("2", ps::kLiteral));
  spaced.Append(ps::Token("< =", ps::kComparison));
  auto op = BuildExpression(spaced);
  sqltest::FakeTable none("t", {"a"}, {{"x"}});
  none.Fill();
  CRow row(0, &none);
  EXPECT_EQ(op->Text(), "<=");
  EXPECT_EQ(op->IsTrue(row), 1);

  ps::TokenList odd;  // an arithmetic operator of no known kind fails cleanly
  odd.Append(ps::Token("1", ps::kLiteral));
  odd.Append(ps::Token("2", ps::kLiteral));
  odd.Append(ps::Token("%", ps::kArithmetic));
  EXPECT_THROW(BuildExpression(odd)->IsTrue(row), COmbrixSQLBadOperatorException);
}

TEST(BuildExpression, DepthIsBounded) {
  auto chain = [](int operators) {
    ps::TokenList list;
    list.Append(ps::Token("1", ps::kLiteral));
    for (int i = 0; i < operators; ++i) {
      list.Append(ps::Token("1", ps::kLiteral));
      list.Append(ps::Token("+", ps::kArithmetic));
    }
    return BuildExpression(list);
  };
  sqltest::FakeTable none("t", {"a"}, {{"x"}});
  none.Fill();
  CRow row(0, &none);
  EXPECT_EQ(chain(kMaxExpressionDepth - 1)->GetValueInt(row), kMaxExpressionDepth);
  EXPECT_THROW(chain(kMaxExpressionDepth), COmbrixSQLExpressionTooDeepException);

  std::string condition = "1=1";
  for (int i = 0; i < 5000; ++i) condition += " OR 1=1";
  EXPECT_THROW(Condition(condition), COmbrixSQLExpressionTooDeepException);
}

TEST(SqlExceptions, Descriptions) {
  const struct {
    std::function<void()> raise;
    const char* description;
  } cases[] = {
      {[] { throw COmbrixSQLException("subject", 7); }, "\n\nsubject\n7"},
      {[] { throw COmbrixSQLExpressionStackUnderflowException("or"); },
       "Stack underflow while processing expression.\n\nor\n0"},
      {[] { throw COmbrixSQLNoSuchFieldException("Artist"); }, "No such field.\n\nArtist\n0"},
      {[] { throw COmbrixSQLNoSuchColumnException(13); }, "No such column.\n\n\n13"},
      {[] { throw COmbrixSQLBadSelectExpressionException(2); }, "Bad select expression.\n\n\n2"},
      {[] { throw COmbrixSQLSortException(); }, "Sort failed.\n\n\n0"},
      {[] { throw COmbrixSQLBadJoinRowFieldException("artist"); }, "Bad join row field.\n\nartist\n0"},
      {[] { throw COmbrixSQLJoinRowUnderflowException(); }, "Join row underflow.\n\n\n0"},
      {[] { throw COmbrixSQLJoinRowException(); }, "Join row failed.\n\n\n0"},
      {[] { throw COmbrixSQLNoSuchTableException("songs"); }, "No such table.\n\nsongs\n0"},
      {[] { throw COmbrixSQLNoTablesSpecifiedException(); }, "No tables specified.\n\n\n0"},
      {[] { throw COmbrixSQLBadResultRowException(4); }, "Bad result row.\n\n\n4"},
      {[] { throw COmbrixSQLBadJoinTableException(); }, "Bad join table.\n\n\n0"},
      {[] { throw COmbrixSQLDivideByZeroException("/"); }, "Division by zero.\n\n/\n0"},
  };
  for (const auto& c : cases) {
    try {
      c.raise();
      ADD_FAILURE() << "no exception";
    } catch (const COmbrixSQLException& e) {
      EXPECT_EQ(e.GetDescription(), c.description);
      EXPECT_STREQ(e.what(), c.description);
    }
  }
}

}  // namespace

}  // namespace sql
