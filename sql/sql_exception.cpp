// The engine's exception family (see sql_exception.h).
#include "sql/sql_exception.h"

#include <utility>

namespace sql {

COmbrixSQLException::COmbrixSQLException(std::string subject, std::int32_t code)
    : COmbrixSQLException("", std::move(subject), code) {}

COmbrixSQLException::COmbrixSQLException(const char* sentence, std::string subject,
                                         std::int32_t code)
    : sentence_(sentence), subject_(std::move(subject)), code_(code) {
  description_ = sentence_ + "\n\n" + subject_ + "\n" + std::to_string(code_);
}

}  // namespace sql
