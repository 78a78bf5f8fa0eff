// The engine's failures. Every stage throws a member of this family, and callers catch
// the base class: the SQL dialog shows GetDescription() under its own heading, the web
// search shows it after "SQL Error: ", the device's QueryFirst swallows it.
//
// A description is the class's sentence, two line breaks, the subject, one line break and
// the code ("No such table.\n\nsongs\n0"). The base class alone has no sentence.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace sql {

class COmbrixSQLException : public std::exception {
 public:
  COmbrixSQLException(std::string subject, std::int32_t code);

  // Sentence, "\n\n", subject, "\n", code.
  const std::string& GetDescription() const { return description_; }
  // The sentence alone ("No such table."); empty for the base class.
  const std::string& GetSentence() const { return sentence_; }
  const std::string& GetSubject() const { return subject_; }
  std::int32_t GetCode() const { return code_; }
  // The description.
  const char* what() const noexcept override { return description_.c_str(); }

 protected:
  COmbrixSQLException(const char* sentence, std::string subject, std::int32_t code);

 private:
  std::string sentence_;
  std::string subject_;
  std::int32_t code_;
  std::string description_;
};

// One subclass per failure; subject and code as the constructors name them.
#define OMBRIX_SQL_EXCEPTION_SUBJECT(Name, Sentence)                        \
  class Name : public COmbrixSQLException {                                  \
   public:                                                                   \
    explicit Name(std::string subject, std::int32_t code = 0)                \
        : COmbrixSQLException(Sentence, std::move(subject), code) {}         \
  };
#define OMBRIX_SQL_EXCEPTION_CODE(Name, Sentence)                            \
  class Name : public COmbrixSQLException {                                  \
   public:                                                                   \
    explicit Name(std::int32_t code = 0)                                     \
        : COmbrixSQLException(Sentence, std::string(), code) {}              \
  };

// An operator token found fewer than two operands (subject: the operator text).
OMBRIX_SQL_EXCEPTION_SUBJECT(COmbrixSQLExpressionStackUnderflowException,
                             "Stack underflow while processing expression.")
// A table, joined row or sort key does not know the name (subject: the name).
OMBRIX_SQL_EXCEPTION_SUBJECT(COmbrixSQLNoSuchFieldException, "No such field.")
// A column index beyond the table's columns (code: the index).
OMBRIX_SQL_EXCEPTION_CODE(COmbrixSQLNoSuchColumnException, "No such column.")
// A select item without an expression (code: the item's index, from 0).
OMBRIX_SQL_EXCEPTION_CODE(COmbrixSQLBadSelectExpressionException, "Bad select expression.")
// The sort was handed key and direction lists that do not match.
OMBRIX_SQL_EXCEPTION_CODE(COmbrixSQLSortException, "Sort failed.")
// A joined row was asked for a name without "." (subject: the name).
OMBRIX_SQL_EXCEPTION_SUBJECT(COmbrixSQLBadJoinRowFieldException, "Bad join row field.")
// A row was taken off an empty joined row.
OMBRIX_SQL_EXCEPTION_CODE(COmbrixSQLJoinRowUnderflowException, "Join row underflow.")
// A joined row holds a missing row.
OMBRIX_SQL_EXCEPTION_CODE(COmbrixSQLJoinRowException, "Join row failed.")
// The table source does not know the name (subject: the name).
OMBRIX_SQL_EXCEPTION_SUBJECT(COmbrixSQLNoSuchTableException, "No such table.")
// The statement names no table.
OMBRIX_SQL_EXCEPTION_CODE(COmbrixSQLNoTablesSpecifiedException, "No tables specified.")
// A result row is missing (code: its index).
OMBRIX_SQL_EXCEPTION_CODE(COmbrixSQLBadResultRowException, "Bad result row.")
// A table of a join is missing.
OMBRIX_SQL_EXCEPTION_CODE(COmbrixSQLBadJoinTableException, "Bad join table.")
// A division whose divisor is 0 (subject: the operator text).
OMBRIX_SQL_EXCEPTION_SUBJECT(COmbrixSQLDivideByZeroException, "Division by zero.")
// An arithmetic operator other than + - * / (subject: the operator text).
OMBRIX_SQL_EXCEPTION_SUBJECT(COmbrixSQLBadOperatorException, "Bad operator.")
// An expression nested deeper than the engine evaluates (code: the limit).
OMBRIX_SQL_EXCEPTION_CODE(COmbrixSQLExpressionTooDeepException, "Expression too deep.")
// The device answered a read of a row with a failure instead of throwing (subject: the
// row's id text; code: the device's answer).
OMBRIX_SQL_EXCEPTION_SUBJECT(COmbrixSQLDeviceReadException, "Device read failed.")

#undef OMBRIX_SQL_EXCEPTION_SUBJECT
#undef OMBRIX_SQL_EXCEPTION_CODE

}  // namespace sql
