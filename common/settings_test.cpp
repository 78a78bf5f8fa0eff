#include "common/settings.h"

#include <string>

#include "testing/temp_home.h"
#include "platform/settings/settings.h"

namespace {

using platform::Hive;
using platform::SettingsKey;
using platform::ValueType;

class SettingsFamily : public TempHome {
 protected:
  SettingsKey ProductKey() { return SettingsKey::Create(Hive::CurrentUser, g_ProductIdentity.settingsKey); }
};

TEST_F(SettingsFamily, MissingKeyIsNotOpenedAndNeverCreated) {
  std::uint32_t d = 42;
  EXPECT_EQ(ReadSettingDword("X", d), 0);
  EXPECT_EQ(d, 42u);
  std::string s = "keep";
  EXPECT_EQ(ReadSettingString("X", s), 0);
  EXPECT_EQ(s, "keep");
  std::uint32_t size = 8;
  char buf[8];
  EXPECT_EQ(ReadSettingBinary("X", buf, size), 0);
  EXPECT_EQ(size, 8u);
  EXPECT_NE(WriteSettingDword("X", 1), 0);
  WriteSettingString("X", "v");
  WriteSettingBinary("X", "ab", 2);
  EXPECT_FALSE(SettingsKey::Open(Hive::CurrentUser, g_ProductIdentity.settingsKey).has_value());
}

TEST_F(SettingsFamily, DwordReadsOnlyDwordValues) {
  auto key = ProductKey();
  key.SetString("AsText", "5");
  key.Set("AsBinary", ValueType::Binary, std::string("\x07\0\0\0", 4));
  key.SetDword("AsDword", 7);
  struct Case { const char* name; std::uint32_t expect; };
  for (const Case& c : {Case{"AsText", 99}, Case{"AsBinary", 99}, Case{"AsDword", 7}, Case{"Absent", 99},
                        Case{"asdword", 7}}) {
    std::uint32_t v = 99;
    EXPECT_EQ(ReadSettingDword(c.name, v), 1) << c.name;
    EXPECT_EQ(v, c.expect) << c.name;
  }
  EXPECT_EQ(WriteSettingDword("Written", 0xDEADBEEF), 0);
  std::uint32_t v = 0;
  ReadSettingDword("WRITTEN", v);
  EXPECT_EQ(v, 0xDEADBEEFu);
}

TEST_F(SettingsFamily, StringReadsTerminatedStringsThatFit) {
  auto key = ProductKey();
  const std::string fits(1023, 'a');   // 1024 bytes with its NUL
  const std::string tooLong(1024, 'b');
  key.SetString("Fits", fits);
  key.SetString("TooLong", tooLong);
  key.Set("Expand", ValueType::ExpandString, std::string("x\0", 2));
  key.Set("Unterminated", ValueType::String, "abc");
  key.SetDword("Number", 3);
  key.SetString("", "C:\\Program Files\\Ombrix");
  struct Case { const char* name; std::string expect; };
  const Case cases[] = {{"Fits", fits},          {"TooLong", "default"}, {"Expand", "x"},
                        {"Unterminated", "default"}, {"Number", "default"}, {"Absent", "default"},
                        {"", "C:\\Program Files\\Ombrix"}};
  for (const auto& c : cases) {
    std::string s = "default";
    EXPECT_EQ(ReadSettingString(c.name, s), 1) << c.name;
    EXPECT_EQ(s, c.expect) << c.name;
  }
  WriteSettingString("Round", "caf\xC3\xA9");
  std::string s;
  ReadSettingString("round", s);
  EXPECT_EQ(s, "caf\xC3\xA9");
}

TEST_F(SettingsFamily, SharedKeyIsSeparate) {
  SettingsKey::Create(Hive::CurrentUser, g_ProductIdentity.sharedSettingsKey).SetString("ogg.dll", "/usr/lib/x");
  ProductKey();
  std::string own = "none", shared = "none";
  ReadSettingString("ogg.dll", own);
  ReadSharedSettingString("ogg.dll", shared);
  EXPECT_EQ(own, "none");
  EXPECT_EQ(shared, "/usr/lib/x");
}

TEST_F(SettingsFamily, BinarySizesFollowTheValue) {
  auto key = ProductKey();
  WriteSettingBinary("Blob", "a\0b\0c", 5);
  key.SetString("Text", "abc");
  struct Case { const char* name; std::uint32_t capacity; std::uint32_t size; };
  for (const Case& c : {Case{"Blob", 16, 5}, Case{"Blob", 5, 5}, Case{"Blob", 4, 0}, Case{"Text", 16, 0},
                        Case{"Absent", 16, 0}}) {
    char buf[16] = {};
    std::uint32_t size = c.capacity;
    EXPECT_EQ(ReadSettingBinary(c.name, buf, size), 1);
    EXPECT_EQ(size, c.size) << c.name << " capacity " << c.capacity;
    if (c.size == 5) {
      EXPECT_EQ(std::string(buf, 5), std::string("a\0b\0c", 5));
    }
  }
  DeleteSetting("Blob");
  std::uint32_t size = 16;
  char buf[16];
  ReadSettingBinary("Blob", buf, size);
  EXPECT_EQ(size, 0u);
}

}  // namespace
