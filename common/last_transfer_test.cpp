#include "common/last_transfer.h"

#include <string>

#include "testing/temp_home.h"
#include "platform/settings/settings.h"

namespace {

using platform::Hive;
using platform::SettingsKey;

TEST(ShortDigestTest, FirstFourBytesOfTheSha1InUpperCaseHex) {
  EXPECT_EQ(GetShortSha1Hex(""), "DA39A3EE");
  EXPECT_EQ(GetShortSha1Hex("abc"), "A9993E36");
  EXPECT_EQ(LastTransferValueName("abc"), "Kor_Tx_LastTransferA9993E36");
}

class LastTransferTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    SettingsKey::Create(Hive::CurrentUser, g_ProductIdentity.settingsKey);
  }
};

TEST_F(LastTransferTest, IdsAreStoredAsLittleEndianWordsUnderThePlayersOwnName) {
  WriteLastTransfer("player-a", {1, 0x01020304});
  WriteLastTransfer("player-b", {7});
  const auto key = SettingsKey::Open(Hive::CurrentUser, g_ProductIdentity.settingsKey);
  const auto value = key->Get(LastTransferValueName("player-a"));
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->type, platform::ValueType::Binary);
  EXPECT_EQ(value->data, std::string("\x01\0\0\0\x04\x03\x02\x01", 8));
  EXPECT_EQ(ReadLastTransfer("player-a", 100), (std::vector<std::uint32_t>{1, 0x01020304}));
  EXPECT_EQ(ReadLastTransfer("player-b", 100), (std::vector<std::uint32_t>{7}));
  EXPECT_TRUE(ReadLastTransfer("player-c", 100).empty());
}

TEST_F(LastTransferTest, ALongRecordIsWrittenWholeAndReadUpToTheReadersLimit) {
  std::vector<std::uint32_t> ids;
  for (std::uint32_t i = 1; i <= 1500; ++i) ids.push_back(i);
  WriteLastTransfer("player", ids);
  const auto key = SettingsKey::Open(Hive::CurrentUser, g_ProductIdentity.settingsKey);
  EXPECT_EQ(key->Get(LastTransferValueName("player"))->data.size(), 6000u);
  const std::vector<std::uint32_t> read = ReadLastTransfer("player", 1024);
  ASSERT_EQ(read.size(), 1024u);
  EXPECT_EQ(read.front(), 1u);
  EXPECT_EQ(read.back(), 1024u);
}

TEST_F(LastTransferTest, AValueOfAnotherTypeOrAPartialWordReadsAsNoIds) {
  auto key = SettingsKey::Create(Hive::CurrentUser, g_ProductIdentity.settingsKey);
  key.SetString(LastTransferValueName("text"), "1234");
  EXPECT_TRUE(ReadLastTransfer("text", 10).empty());
  key.Set(LastTransferValueName("short"), platform::ValueType::Binary, std::string("\x05\0\0\0\x06\0", 6));
  EXPECT_EQ(ReadLastTransfer("short", 10), (std::vector<std::uint32_t>{5}));
}

}  // namespace
