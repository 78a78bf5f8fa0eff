#include "common/last_transfer.h"

#include "common/identity.h"
#include "common/settings.h"
#include "platform/settings/settings.h"

std::string LastTransferValueName(std::string_view deviceUniqueId) {
  return "Kor_Tx_LastTransfer" + GetShortSha1Hex(deviceUniqueId);
}

void WriteLastTransfer(std::string_view deviceUniqueId, const std::vector<std::uint32_t>& ids) {
  std::string bytes;
  bytes.reserve(ids.size() * 4);
  for (std::uint32_t id : ids) {
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((id >> shift) & 0xFF);
  }
  WriteSettingBinary(LastTransferValueName(deviceUniqueId), bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

std::vector<std::uint32_t> ReadLastTransfer(std::string_view deviceUniqueId, std::size_t maxIds) {
  std::vector<std::uint32_t> ids;
  // The value may be longer than the reader wants: it is read whole and cut, never
  // refused for its length.
  const auto key = platform::SettingsKey::Open(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
  if (!key) return ids;
  const auto value = key->Get(LastTransferValueName(deviceUniqueId));
  if (!value || value->type != platform::ValueType::Binary) return ids;
  const std::string& data = value->data;
  for (std::size_t at = 0; at + 4 <= data.size() && ids.size() < maxIds; at += 4) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + i])); };
    ids.push_back(byte(0) | (byte(1) << 8) | (byte(2) << 16) | (byte(3) << 24));
  }
  return ids;
}
