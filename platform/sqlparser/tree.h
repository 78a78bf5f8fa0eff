// The parse tree of one SELECT statement, as the SQL engine's binding walks it.
//
// Contract:
//  - every collection answers Count() and Item(i) for i from 1 to Count() inclusive;
//    any other index throws std::out_of_range (index 0 is never an element);
//  - a token collection holds an expression in postfix order: operands first, then
//    their operator; an empty collection means "no expression";
//  - token kinds are the numbers the engine tests (TokenKind); other numbers are never
//    produced;
//  - token texts: a column is "name" or "table.name" (blanks around the dot dropped);
//    a string literal keeps its enclosing single quotes and holds each doubled quote
//    inside it as one quote, so stripping the outer pair gives the value; a number keeps
//    its digits as written (never converted, so no size can overflow); keywords and
//    operators keep their spelling, except that "!=" is handed over as "<>";
//  - the tree is immutable once built; a Statement is shared, so it may outlive the
//    Parser that built it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace platform::sqlparser {

// Token kinds as numbers; the engine reads them as 32-bit integers.
enum TokenKind : std::int32_t {
  kSelectAll = 1,   // "*" as the whole select list
  kColumn = 2,      // column reference
  kArithmetic = 3,  // + - * /
  kLogical = 4,     // AND OR
  kComparison = 5,  // = <> < <= > >= ? (contains) # (does not contain)
  kLiteral = 7,     // 'text' or a number
  kNull = 9,        // NULL
};

class Token {
 public:
  Token(std::string text, std::int32_t kind) : text_(std::move(text)), kind_(kind) {}
  const std::string& Text() const { return text_; }
  std::int32_t Kind() const { return kind_; }

 private:
  std::string text_;
  std::int32_t kind_;
};

template <class T>
class Collection {
 public:
  std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
  // The element at `index`, counted from 1.
  const T& Item(std::int32_t index) const {
    if (index < 1 || index > Count())
      throw std::out_of_range("collection index " + std::to_string(index) + " outside 1.." +
                              std::to_string(Count()));
    return items_[static_cast<std::size_t>(index - 1)];
  }

  // Building (the parser only).
  void Append(T item) { items_.push_back(std::move(item)); }

 private:
  std::vector<T> items_;
};

// An expression in postfix order.
using TokenList = Collection<Token>;

// One entry of the select list: its expression (the tokens) and its alias.
class SelectItem : public TokenList {
 public:
  // The name given with [AS] name; empty when none.
  const std::string& Alias() const { return alias_; }
  void SetAlias(std::string alias) { alias_ = std::move(alias); }

 private:
  std::string alias_;
};

class TableItem {
 public:
  explicit TableItem(std::string name) : name_(std::move(name)) {}
  const std::string& TableName() const { return name_; }

 private:
  std::string name_;
};

class ColumnRef {
 public:
  ColumnRef(std::string table, std::string column)
      : table_(std::move(table)), column_(std::move(column)) {}
  // The table qualifier; empty when the column was written without one.
  const std::string& TableName() const { return table_; }
  const std::string& ColumnName() const { return column_; }

 private:
  std::string table_;
  std::string column_;
};

class OrderItem {
 public:
  OrderItem(ColumnRef column, bool ascending) : column_(std::move(column)), ascending_(ascending) {}
  const ColumnRef& Column() const { return column_; }
  // 1 ascending (also when no direction was written), 0 descending.
  std::int32_t Ascending() const { return ascending_ ? 1 : 0; }

 private:
  ColumnRef column_;
  bool ascending_;
};

class Statement {
 public:
  // 1 with DISTINCT, else 0.
  std::int32_t Distinct() const { return distinct_ ? 1 : 0; }
  // A select-all statement has one item: a single kSelectAll token.
  const Collection<SelectItem>& SelectList() const { return selectList_; }
  const Collection<TableItem>& Tables() const { return tables_; }
  // The row condition; empty without WHERE.
  const TokenList& Where() const { return where_; }
  // Always empty: this grammar has no clause that fills them. They exist because the
  // binding reads them.
  const Collection<ColumnRef>& ColumnList() const { return columnList_; }
  const TokenList& SecondCondition() const { return secondCondition_; }
  const Collection<OrderItem>& OrderBy() const { return orderBy_; }

 private:
  friend class Grammar;  // parser.cpp builds it
  bool distinct_ = false;
  Collection<SelectItem> selectList_;
  Collection<TableItem> tables_;
  TokenList where_;
  Collection<ColumnRef> columnList_;
  TokenList secondCondition_;
  Collection<OrderItem> orderBy_;
};

}  // namespace platform::sqlparser
