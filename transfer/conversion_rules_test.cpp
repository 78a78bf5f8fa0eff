// Conversion rules per player family and file, with the codecs this computer has and
// without some of them.
#include "transfer/conversion_rules.h"

#include <gtest/gtest.h>

#include <optional>

#include "common/settings.h"
#include "device/codec.h"
#include "testing/temp_home.h"
#include "platform/media/codec_library.h"
#include "platform/settings/settings.h"

using namespace device;

namespace transfer {
namespace {

constexpr std::uint32_t kSep = kRuleSeparator;
constexpr std::uint32_t Convert(int target) { return kRuleConvert + static_cast<std::uint32_t>(target); }
constexpr std::uint32_t Reduce(int format) { return kRuleReduceBitrate + static_cast<std::uint32_t>(format); }

// Which codec libraries a case takes away.
enum Missing : unsigned {
  kNone = 0,
  kNoLame = 1,       // the BladeEnc-style MP3 encoder
  kNoFfmpeg = 2,     // the media runtime, the ACM's MP3 codec
  kNoFlac = 4,
  kNoVorbis = 8,
};

class ConversionRulesTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    settings_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
    shared_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.sharedSettingsKey));
  }
  void TearDown() override {
    Take(kNone);
    TempHome::TearDown();
  }
  void Take(unsigned missing) {
    platform::SetMediaLibraryPath(platform::MediaLibrary::kMp3Lame, missing & kNoLame ? "/nonexistent/lame.so" : "");
    platform::SetMediaLibraryPath(platform::MediaLibrary::kAvCodec,
                                  missing & kNoFfmpeg ? "/nonexistent/libavcodec.so" : "");
    if (missing & kNoFlac) {
      shared_->SetString("libFLAC.dll", "C:\\nonexistent\\libFLAC.dll");
    } else {
      shared_->DeleteValue("libFLAC.dll");
    }
    if (missing & kNoVorbis) {
      shared_->SetString("vorbis.dll", "C:\\nonexistent\\vorbis.dll");
    } else {
      shared_->DeleteValue("vorbis.dll");
    }
  }
  std::optional<platform::SettingsKey> settings_, shared_;
};

TEST_F(ConversionRulesTest, FamilyAndFileGiveTheRule) {
  const struct {
    int family;
    const char* file;
    bool on;
    std::uint32_t stored;  // 0: none
    unsigned missing;
    std::uint32_t rule;
    bool transferable;
  } cases[] = {
      // Played formats go as they are unless a rule says otherwise.
      {2, "a.flac", false, 0, kNone, 11, true},
      {2, "a.ogg", true, 0, kNone, 10, true},
      {0, "a.mp3", true, Reduce(2), kNone, Reduce(2), true},
      {0, "a.mp3", false, Reduce(2), kNone, Reduce(2), true},
      {7, "a.wma", true, Convert(2), kNone, Convert(2), true},
      // Family 8 plays neither Ogg nor WAV: they are audio only while conversion is on.
      {8, "a.ogg", false, 0, kNone, Convert(2), false},
      {8, "a.ogg", true, 0, kNone, Convert(2), true},
      {8, "a.ogg", true, Convert(3), kNone, Convert(3), true},
      {8, "a.wav", true, 0, kNone, Convert(2), true},
      {8, "a.flac", true, Convert(3), kNone, Convert(3), true},
      // Family 4 plays no WMA; WAV is the first target it has an encoder for.
      {4, "a.wma", true, 0, kNone, Convert(1), true},
      {4, "a.m4a", true, 0, kNone, 5, true},
      // No decoder for the family's missing formats.
      {7, "a.m4a", true, Convert(2), kNone, 0, false},
      {2, "a.txt", true, 0, kNone, 0, false},
      // A stored rule that is not among the choices gives the first choice; so does a
      // stored separator, which is no rule.
      {0, "a.mp3", true, Convert(5), kNone, 2, true},
      {0, "a.mp3", true, kSep, kNone, 2, true},
      {2, "a.flac", true, kSep, kNone, 11, true},
      // A library that cannot be loaded takes its choices away.
      {8, "a.ogg", true, Convert(3), kNoVorbis, 0, false},
      {8, "a.flac", true, Convert(3), kNoFlac, 0, false},
      {4, "a.wma", true, Convert(1), kNoFfmpeg, 0, false},
      {8, "a.ogg", true, Convert(3), kNoFfmpeg, Convert(2), true},  // no WMA encoder: the choice left
      {8, "a.ogg", true, Convert(2), kNoFfmpeg | kNoLame, 0, false},
      {0, "a.mp3", true, Reduce(2), kNoFfmpeg, 2, true},    // no decoder: as it is
      // Without the BladeEnc-style encoder, the ACM's MP3 codec still encodes.
      {8, "a.ogg", true, Convert(2), kNoLame, Convert(2), true},
      {0, "a.mp3", true, Reduce(2), kNoLame, Reduce(2), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "family " << c.family << " " << c.file << " missing " << c.missing);
    g_ProductIdentity.variantCode = c.family;
    Take(c.missing);
    WriteSettingDword("Xc2_On", c.on ? 1 : 0);
    DeleteConversionRules();
    const int format = GetCodecFromPath(c.file);
    if (c.stored) WriteConversionRule(format, c.stored);
    EXPECT_EQ(GetConversionRule(format), c.rule);
    EXPECT_EQ(IsTransferableFormat(c.file), c.transferable);
  }
}

TEST_F(ConversionRulesTest, ChoicesInDisplayOrder) {
  const struct {
    int family;
    int format;
    std::vector<std::uint32_t> choices;
  } cases[] = {
      {8, 10, {Convert(2), Convert(3)}},
      // WAV is never reduced.
      {0, 1, {1, kSep, Convert(2), Convert(3)}},
      {0, 2, {2, kSep, Reduce(2), kSep, Convert(1), Convert(3)}},
      {2, 11, {11, kSep, Convert(1), Convert(2), Convert(3)}},
      {2, 3, {3, kSep, Reduce(3), kSep, Convert(1), Convert(2)}},
      {4, 5, {5}},
      {7, 9, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "family " << c.family << " format " << c.format);
    g_ProductIdentity.variantCode = c.family;
    std::vector<std::uint32_t> choices{99};
    int selected = -1;
    ListConversionChoices(c.format, choices, selected);
    EXPECT_EQ(choices, c.choices);
    EXPECT_EQ(selected, 0);
  }
  // The stored rule is selected where it is in the list.
  g_ProductIdentity.variantCode = 0;
  WriteConversionRule(2, Convert(3));
  std::vector<std::uint32_t> choices;
  int selected = 0;
  ListConversionChoices(2, choices, selected);
  EXPECT_EQ(selected, 5);
}

TEST_F(ConversionRulesTest, DeletingTheRulesForgetsThemAll) {
  g_ProductIdentity.variantCode = 0;
  for (int format = 1; format <= 11; ++format) WriteConversionRule(format, Convert(3));
  WriteConversionRule(12, Convert(3));  // not a source format: not stored
  EXPECT_FALSE(settings_->Get("Xc2_S12"));
  EXPECT_EQ(settings_->Get("Xc2_S01")->type, platform::ValueType::Dword);
  EXPECT_EQ(GetConversionRule(2), Convert(3));
  DeleteConversionRules();
  for (int format = 1; format <= 11; ++format) {
    char name[16];
    std::snprintf(name, sizeof name, "Xc2_S%02d", format);
    EXPECT_FALSE(settings_->Get(name)) << name;
  }
  std::vector<std::uint32_t> choices;
  int selected = -1;
  ListConversionChoices(2, choices, selected);
  EXPECT_EQ(selected, 0);
}

TEST_F(ConversionRulesTest, RulesAreDescribed) {
  const struct {
    std::uint32_t rule;
    const char* text;
  } cases[] = {
      {2, "Transfer without Tonaveling"},
      {Convert(1), "Convert to WAV, then Transfer"},
      {Convert(2), "Convert to MP3, then Transfer"},
      {Convert(3), "Convert to WMA, then Transfer"},
      {Reduce(11), "Reduce Bitrate, then Transfer"},
      {0x30002, "Invalid Rule"},
      {kSep, "Invalid Rule"},
  };
  for (const auto& c : cases) {
    std::string text = "old";
    DescribeConversionRule(text, c.rule);
    EXPECT_EQ(text, c.text);
  }
}

TEST_F(ConversionRulesTest, CodecsAreNamedByTheirLibraries) {
  const struct {
    int format;
    unsigned missing;
    const char* decoder;  // null: none
    const char* encoder;
  } cases[] = {
      {1, kNone, "Internal WAV Support", "Internal WAV Support"},
      {2, kNone, "Windows Media Format", "BE Compatible Library"},
      {2, kNoLame, "Windows Media Format", "MPEG Layer-3 Encoder (libavcodec)"},
      {2, kNoLame | kNoFfmpeg, nullptr, nullptr},
      {3, kNone, "Windows Media Format", "Windows Media Format"},
      {3, kNoFfmpeg, nullptr, nullptr},
      {10, kNone, "Ogg Vorbis Dynamic Library", nullptr},
      {10, kNoVorbis, nullptr, nullptr},
      {11, kNone, "FLAC Dynamic Library", nullptr},
      {11, kNoFlac, nullptr, nullptr},
      {5, kNone, nullptr, nullptr},
      {0, kNone, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << c.format << " missing " << c.missing);
    Take(c.missing);
    std::string decoder = "unset", encoder = "unset";
    EXPECT_EQ(IsDecoderAvailable(c.format, decoder), c.decoder != nullptr);
    EXPECT_EQ(decoder, c.decoder ? c.decoder : "unset");
    EXPECT_EQ(IsEncoderAvailable(c.format, encoder), c.encoder != nullptr);
    EXPECT_EQ(encoder, c.encoder ? c.encoder : "unset");
  }
}

}  // namespace
}  // namespace transfer
