// Expressions: the nodes a select item, the row condition or the second condition turns
// into, how they are built from a postfix token list, and how they evaluate against a row.
//
// Node kinds are the token kinds of the parser (platform/sqlparser/tree.h). Every value
// is text; numbers are read from text with SqlAtoi (sql/values.h). Comparisons:
//   "="  texts equal ignoring case        "<>"  texts differ ignoring case
//   "<" "<=" ">" ">="  compare numbers     "?"  contains (left operand a field) or equals
//   "#"  the negation of "?"               AND / OR  short-circuit, 1 or 0
// Arithmetic is 32-bit and wraps; a zero divisor throws COmbrixSQLDivideByZeroException.
//
// Evaluation is allocation-free once warm: ValueView answers a view that stays valid until
// the same node is evaluated again or the row moves; a field node resolves its name once
// per row shape and then reads by column number.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/sqlparser/tree.h"
#include "sql/table.h"

namespace sql {

class CExpItem {
 public:
  CExpItem(std::int32_t kind, std::string text) : kind_(kind), text_(std::move(text)) {}
  virtual ~CExpItem() = default;
  CExpItem(const CExpItem&) = delete;
  CExpItem& operator=(const CExpItem&) = delete;

  // Non-zero means true.
  virtual std::int32_t IsTrue(CRow& row) { return GetValueInt(row) != 0 ? 1 : 0; }
  virtual std::string GetValueText(CRow& row) { return std::string(ValueView(row)); }
  virtual std::int32_t GetValueInt(CRow& row);
  // The node's text form, used as a default column name.
  virtual std::string GetText() const { return text_; }
  // The value without a copy; see the file comment for how long it stays valid.
  virtual std::string_view ValueView(CRow& row) = 0;

  // The token kind and the node's text (column name, literal value, operator).
  std::int32_t Kind() const { return kind_; }
  const std::string& Text() const { return text_; }
  // Levels of operators below and including this node (1 for a leaf).
  virtual int Depth() const { return 1; }

 private:
  std::int32_t kind_;
  std::string text_;
};

class CExpSelectStar : public CExpItem {
 public:
  CExpSelectStar() : CExpItem(platform::sqlparser::kSelectAll, std::string()) {}
  std::string_view ValueView(CRow&) override { return Text(); }
};

class CExpField : public CExpItem {
 public:
  explicit CExpField(std::string name) : CExpItem(platform::sqlparser::kColumn, std::move(name)) {}
  std::string_view ValueView(CRow& row) override;

 private:
  RowShape shape_;  // the shape `slot_` was resolved for
  FieldSlot slot_;
  std::string scratch_;
};

class CExpLiteral : public CExpItem {
 public:
  // `token` as the parser hands it: one enclosing pair of single quotes is removed.
  explicit CExpLiteral(std::string_view token);
  std::int32_t GetValueInt(CRow&) override { return number_; }
  std::string_view ValueView(CRow&) override { return Text(); }

 private:
  std::int32_t number_;
};

class CExpNull : public CExpItem {
 public:
  CExpNull() : CExpItem(platform::sqlparser::kLiteral, std::string()) {}
  std::int32_t GetValueInt(CRow&) override { return 0; }
  std::string GetText() const override { return " NULL "; }
  std::string_view ValueView(CRow&) override { return Text(); }
};

class CExpBinOp : public CExpItem {
 public:
  // `op` already lower-cased with its blanks removed.
  CExpBinOp(std::int32_t kind, std::string op, std::unique_ptr<CExpItem> left,
            std::unique_ptr<CExpItem> right);
  ~CExpBinOp() override;

  std::int32_t IsTrue(CRow& row) override;
  std::int32_t GetValueInt(CRow& row) override;
  std::string GetText() const override;
  std::string_view ValueView(CRow& row) override;
  int Depth() const override { return depth_; }

  char OperatorChar() const { return op_; }
  CExpItem* Left() const { return left_.get(); }
  CExpItem* Right() const { return right_.get(); }

 private:
  std::int32_t Compare(CRow& row);
  std::int32_t Arithmetic(CRow& row);
  bool Contains(CRow& row);

  char op_;
  int depth_;
  bool leftIsField_;
  bool rightIsConstant_;
  std::unique_ptr<CExpItem> left_;
  std::unique_ptr<CExpItem> right_;
  std::string scratch_;
  std::string needle_;  // the lowered right operand of "?" / "#"
};

// Deepest operator nesting BuildExpression accepts; evaluation recurses once per level.
constexpr int kMaxExpressionDepth = 1000;

// The expression of a postfix token list; null when the list yields no node. Throws
// COmbrixSQLExpressionStackUnderflowException for an operator short of operands and
// COmbrixSQLExpressionTooDeepException beyond kMaxExpressionDepth.
std::unique_ptr<CExpItem> BuildExpression(const platform::sqlparser::TokenList& tokens);

}  // namespace sql
