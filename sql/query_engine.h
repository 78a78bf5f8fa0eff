// The engine's entry points for the rest of the system: the device query hook behind
// KernelDevice::QueryFirst / QueryNext, and the quoting that every producer of statement
// text applies to what a user typed.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace device {
class KernelDevice;
}  // namespace device

namespace sql {

// Makes KernelDevice::QueryFirst run statements through this engine. Call once at
// start-up (the manager and the library both do); calling it again does no harm.
void RegisterSqlEngine();

// Runs one statement over a device's tables and answers the id of every result row, in
// order: its "id" text read with SqlIdValue, in decimal ("" where a row has none).
// nullopt when the text is not a SELECT or does not parse. Throws COmbrixSQLException and
// the device's errors.
std::optional<std::vector<std::string>> RunDeviceQuery(device::KernelDevice& device, std::string_view sql);

// `text` as a string literal: enclosed in single quotes, each quote inside doubled, so
// that user text is always one value and never changes a statement's structure
// ("Don't" -> "'Don''t'").
std::string SqlStringLiteral(std::string_view text);

}  // namespace sql
