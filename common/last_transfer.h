// The record of the last transfer to a player: the settings value "Kor_Tx_LastTransfer"
// followed by the short SHA-1 of the player's unique id (so each player has its own),
// holding the word 0 of each new item's id as a little-endian u32, in transfer order,
// without a limit on the count. The transfer engine writes it after every file; the
// "Last Transfer" folder reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/short_hash.h"

// "Kor_Tx_LastTransfer" + GetShortSha1Hex(deviceUniqueId).
std::string LastTransferValueName(std::string_view deviceUniqueId);

// Replaces the record of that player (product key) with the ids.
void WriteLastTransfer(std::string_view deviceUniqueId, const std::vector<std::uint32_t>& ids);
// The first `maxIds` ids of the record (fewer when it holds fewer); empty when there is
// none or it is not binary.
std::vector<std::uint32_t> ReadLastTransfer(std::string_view deviceUniqueId, std::size_t maxIds);
