// The player's own result codes: a failed operation leaves one in the reply fields, and a
// transfer's completion notice carries one as it came from the player (0: done). Callers
// on either side of the request road put them in words from this one table.
#pragma once

#include <cstdint>
#include <string>

namespace device {

// The computer's disk was full while a file came from the player.
inline constexpr std::uint32_t kPlayerResultDiskFull = 0x90;

// The code in words; "" for a code the table does not know.
std::string PlayerResultText(std::uint32_t code);

}  // namespace device
