// Expressions: building from postfix tokens and evaluation (see expression.h).
#include "sql/expression.h"

#include <algorithm>
#include <vector>

#include "platform/text/text.h"
#include "sql/sql_exception.h"
#include "sql/values.h"

namespace sql {

using platform::sqlparser::TokenKind;

std::int32_t CExpItem::GetValueInt(CRow& row) { return sql::SqlAtoi(ValueView(row)); }

std::string_view CExpField::ValueView(CRow& row) {
  const RowShape shape = row.Shape();
  if (!(shape == shape_)) {
    slot_ = row.ResolveField(Text());
    shape_ = shape;
  }
  return row.FieldView(slot_, scratch_);
}

namespace {

std::string Unquote(std::string_view token) {
  if (!token.empty() && token.front() == '\'' && token.back() == '\'') {
    if (token.size() == 1) return std::string();
    return std::string(token.substr(1, token.size() - 2));
  }
  return std::string(token);
}

}  // namespace

CExpLiteral::CExpLiteral(std::string_view token)
    : CExpItem(platform::sqlparser::kLiteral, Unquote(token)), number_(sql::SqlAtoi(Text())) {}

CExpBinOp::CExpBinOp(std::int32_t kind, std::string op, std::unique_ptr<CExpItem> left,
                     std::unique_ptr<CExpItem> right)
    : CExpItem(kind, std::move(op)),
      op_(Text().empty() ? '\0' : Text()[0]),
      depth_(1 + std::max(left->Depth(), right->Depth())),
      leftIsField_(dynamic_cast<CExpField*>(left.get()) != nullptr),
      rightIsConstant_(dynamic_cast<CExpLiteral*>(right.get()) != nullptr ||
                       dynamic_cast<CExpNull*>(right.get()) != nullptr),
      left_(std::move(left)),
      right_(std::move(right)) {
  if (rightIsConstant_) sql::LowerInto(right_->Text(), needle_);
}

CExpBinOp::~CExpBinOp() = default;

std::int32_t CExpBinOp::IsTrue(CRow& row) {
  switch (Kind()) {
    case platform::sqlparser::kArithmetic:
      return Arithmetic(row) != 0 ? 1 : 0;
    case platform::sqlparser::kLogical:
      if (op_ == 'a') return left_->IsTrue(row) != 0 && right_->IsTrue(row) != 0 ? 1 : 0;
      if (op_ == 'o') return left_->IsTrue(row) != 0 || right_->IsTrue(row) != 0 ? 1 : 0;
      return Compare(row);
    case platform::sqlparser::kComparison:
      return Compare(row);
    default:
      return 0;
  }
}

std::int32_t CExpBinOp::GetValueInt(CRow& row) {
  if (Kind() == platform::sqlparser::kArithmetic) return Arithmetic(row);
  return IsTrue(row);
}

std::string CExpBinOp::GetText() const {
  return left_->GetText() + " " + Text() + " " + right_->GetText();
}

std::string_view CExpBinOp::ValueView(CRow& row) {
  return sql::FormatInt(GetValueInt(row), scratch_);
}

bool CExpBinOp::Contains(CRow& row) {
  const std::string_view hay = left_->ValueView(row);
  if (!leftIsField_) {
    const bool equal = platform::EqualsNoCase(hay, right_->ValueView(row));
    return equal;
  }
  if (!rightIsConstant_) sql::LowerInto(right_->ValueView(row), needle_);
  return sql::ContainsLowered(hay, needle_);
}

std::int32_t CExpBinOp::Compare(CRow& row) {
  // Operands are evaluated left first, so the first failing field is the one reported.
  const std::string& op = Text();
  switch (op_) {
    case '=':
    case '<':
      if (op_ == '=' || op == "<>") {
        const std::string_view a = left_->ValueView(row);
        const bool equal = platform::EqualsNoCase(a, right_->ValueView(row));
        return (op_ == '=') == equal ? 1 : 0;
      } else {
        const std::int32_t a = left_->GetValueInt(row);
        const std::int32_t b = right_->GetValueInt(row);
        return (op == "<=" ? a <= b : a < b) ? 1 : 0;
      }
    case '>': {
      const std::int32_t a = left_->GetValueInt(row);
      const std::int32_t b = right_->GetValueInt(row);
      return (op == ">=" ? a >= b : a > b) ? 1 : 0;
    }
    case '?':
      return Contains(row) ? 1 : 0;
    case '#':
      return Contains(row) ? 0 : 1;
    default:
      return 0;
  }
}

std::int32_t CExpBinOp::Arithmetic(CRow& row) {
  // 64-bit intermediates, then the low 32 bits: overflow wraps instead of being undefined.
  const std::int64_t a = left_->GetValueInt(row);
  const std::int64_t b = right_->GetValueInt(row);
  std::int64_t r;
  switch (op_) {
    case '*': r = a * b; break;
    case '+': r = a + b; break;
    case '-': r = a - b; break;
    case '/':
      if (b == 0) throw COmbrixSQLDivideByZeroException(Text());
      r = a / b;
      break;
    default:
      throw COmbrixSQLBadOperatorException(Text());
  }
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(r));
}

std::unique_ptr<CExpItem> BuildExpression(const platform::sqlparser::TokenList& tokens) {
  std::vector<std::unique_ptr<CExpItem>> stack;
  for (std::int32_t i = 1; i <= tokens.Count(); ++i) {
    const platform::sqlparser::Token& token = tokens.Item(i);
    switch (token.Kind()) {
      case platform::sqlparser::kSelectAll:
        stack.push_back(std::make_unique<CExpSelectStar>());
        break;
      case platform::sqlparser::kColumn:
        stack.push_back(std::make_unique<CExpField>(token.Text()));
        break;
      case platform::sqlparser::kArithmetic:
      case platform::sqlparser::kLogical:
      case platform::sqlparser::kComparison: {
        std::string op;
        op.reserve(token.Text().size());
        for (char c : token.Text()) {
          if (c == ' ') continue;
          op += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }
        if (stack.size() < 2) throw COmbrixSQLExpressionStackUnderflowException(op);
        std::unique_ptr<CExpItem> right = std::move(stack.back());
        stack.pop_back();
        std::unique_ptr<CExpItem> left = std::move(stack.back());
        stack.pop_back();
        if (std::max(left->Depth(), right->Depth()) >= kMaxExpressionDepth)
          throw COmbrixSQLExpressionTooDeepException(kMaxExpressionDepth);
        stack.push_back(
            std::make_unique<CExpBinOp>(token.Kind(), std::move(op), std::move(left), std::move(right)));
        break;
      }
      case platform::sqlparser::kLiteral:
        stack.push_back(std::make_unique<CExpLiteral>(token.Text()));
        break;
      case platform::sqlparser::kNull:
        stack.push_back(std::make_unique<CExpNull>());
        break;
      default:
        break;
    }
  }
  if (stack.empty()) return nullptr;
  return std::move(stack.back());
}

}  // namespace sql
