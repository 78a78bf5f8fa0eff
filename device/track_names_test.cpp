#include "device/track_names.h"

#include <gtest/gtest.h>

#include "testing/temp_home.h"
#include "device/memory_device.h"
#include "platform/settings/settings.h"

namespace device {

namespace {

class TrackNames : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    key_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
  }
  std::optional<platform::SettingsKey> key_;
  MemoryDevice device_;
};

TEST(FormatTrackPattern, Table) {
  struct Case {
    TrackSpec desc;
    const char* pattern;
    const char* expected;
  };
  const Case cases[] = {
      {{.album = "Album", .title = "Title", .number = 3}, "%A - %L - %N - %T.%C", "Unknown - Album - 03 - Title.mp3"},
      {{.artist = " AC/DC ", .album = "\\", .title = "AC/DC Live"}, "%A|%L|%T", "ACDC|Unknown|ACDC Live"},
      {{.artist = "a / b"}, "[%A]", "[a  b]"},  // slashes go before the trim, inner blanks stay
      {{.genre = "Rock", .year = 999, .codec = kCodecFlac}, "%G %Y %C", "Rock 0999 flac"},
      {{.artist = "100%Gold", .title = "x%Ty"}, "%A-%T", "100%Gold-x%Ty"},  // tags are never read as tokens
      {{.artist = "A"}, "%%A %Z %", "%A %Z %"},
      {{.number = 12, .codec = 99}, "%N.%C", "12."},
  };
  for (const Case& c : cases) {
    MemoryDevice device;
    TrackRecord record;
    device.GetTrackInfo(device.AddTrack(c.desc), record);
    EXPECT_EQ(FormatTrackPattern(c.pattern, record), c.expected) << c.pattern;
  }
}

TEST(FormatTrackPattern, RawFieldsAreTakenAsTheyAre) {
  struct Case {
    TrackSpec desc;
    const char* pattern;
    const char* expected;
  };
  const Case cases[] = {
      {{.artist = " AC/DC ", .album = "\\", .title = "Live"}, "%A|%L|%T", " AC/DC |\\|Live"},
      {{.title = "Title", .number = 3}, "%A - %L - %N - %T", " -  - 03 - Title"},
      {{.artist = "Band %T", .title = "Song"}, "%A / %T", "Band %T / Song"},
  };
  for (const Case& c : cases) {
    MemoryDevice device;
    TrackRecord record;
    device.GetTrackInfo(device.AddTrack(c.desc), record);
    EXPECT_EQ(FormatTrackPattern(c.pattern, record, TrackFieldMode::kRaw), c.expected) << c.pattern;
  }
}

TEST_F(TrackNames, SettingsChooseThePatterns) {
  const KernelId t = device_.AddTrack({.artist = "Art", .album = "Alb", .title = "Tit", .number = 7});
  std::string out;
  EXPECT_EQ(GetTrackDisplayName(out, device_, t), "Art - Alb - 07 - Tit");
  // The display name keeps the slashes of the tags; file and stream names lose them.
  const KernelId slashed = device_.AddTrack({.artist = " AC/DC ", .album = "B\\Sides", .title = "", .number = 1});
  EXPECT_EQ(GetTrackDisplayName(out, device_, slashed), "AC/DC - B\\Sides - 01 - Unknown");
  EXPECT_EQ(GetTrackFileName(out, device_, slashed), "ACDC - BSides - 01 - Unknown.mp3");
  EXPECT_EQ(GetTrackStreamName(out, device_, slashed), "ACDC%20-%20BSides%20-%2001%20-%20Unknown.mp3");
  EXPECT_EQ(GetTrackFileName(out, device_, t), "Art - Alb - 07 - Tit.mp3");
  EXPECT_EQ(FormatTransferFileName(out, device_, t), "Art - Alb - 07 - Tit.mp3");

  key_->SetString("JB_TrackDisplayFormat", "%T by %A");
  key_->SetString("JB_Tx2PC_FilenameFormat", "");  // empty: the default
  EXPECT_EQ(GetTrackDisplayName(out, device_, t), "Tit by Art");
  EXPECT_EQ(GetTrackFileName(out, device_, t), "Art - Alb - 07 - Tit.mp3");
  EXPECT_EQ(FormatTrackFileName(out, device_, t, "JB_TrackDisplayFormat", "x"), "Tit by Art");

  // Without a tag index the device's own file name answers, whatever the setting says.
  device_.SetCapability(DeviceOp::SupportsTagIndex, 0);
  device_.RecordOf(t).path.Set("TRK0007.MP3");
  EXPECT_EQ(GetTrackDisplayName(out, device_, t), "TRK0007.MP3");
  EXPECT_EQ(GetTrackFileName(out, device_, t), "TRK0007.MP3");

  // A device error gives the empty text, never an exception.
  device_.FailWithError(DeviceOp::GetTrackInfo);
  out = "stale";
  EXPECT_EQ(GetTrackDisplayName(out, device_, t), "");
  EXPECT_EQ(GetTrackStreamName(out, device_, t), "");
}

TEST_F(TrackNames, StreamNamesAreUrlSafe) {
  struct Case {
    TrackSpec desc;
    const char* expected;
  };
  const Case cases[] = {
      {{.artist = "A", .album = "B", .title = "C", .number = 1}, "A%20-%20B%20-%2001%20-%20C.mp3"},
      {{.artist = "#1 <hits>", .album = "x:y", .title = "100% \"pure\"", .number = 2},
       "1%20hits%20-%20xy%20-%2002%20-%20100%25%20pure.mp3"},
      {{.artist = "C:", .album = "a?b*c|d", .title = "AC&DC's", .number = 3},
       "C:%20-%20abcd%20-%2003%20-%20AC&DC's.mp3"},
      {{.artist = "Bj\xC3\xB6rk", .album = "{[^`]}", .title = "t", .number = 4},
       "Bj%C3%B6rk%20-%20%7B%5B%5E%60%5D%7D%20-%2004%20-%20t.mp3"},
      {{.artist = "Q", .album = "R", .title = "Why? Not", .number = 5}, "Q%20-%20R%20-%2005%20-%20Why%20Not.mp3"},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(GetTrackStreamName(out, device_, device_.AddTrack(c.desc)), c.expected);
  }
  // The setting of the stream name is normally absent: the file-name setting does not apply.
  key_->SetString("JB_Tx2PC_FilenameFormat", "%T/%A");
  std::string out;
  EXPECT_EQ(FormatTrackUrlName(out, device_, device_.AddTrack({.artist = "a", .album = "b", .title = "c"})),
            "a%20-%20b%20-%2000%20-%20c.mp3");
}

TEST(CanonicalizeUrlName, LongNamesKeepTheirExtension) {
  const std::string longName = std::string(300, 'a') + ".flac";
  const std::string cut = CanonicalizeUrlName(longName);
  EXPECT_EQ(cut.size(), 259u);
  EXPECT_TRUE(cut.ends_with("a.flac"));

  // Escapes and characters are never cut in half.
  std::string umlauts;
  for (int i = 0; i < 100; ++i) umlauts += "\xC3\xB6";
  const std::string escaped = CanonicalizeUrlName(umlauts + ".mp3");
  EXPECT_LE(escaped.size(), 259u);
  EXPECT_TRUE(escaped.ends_with("%C3%B6.mp3")) << escaped;
  EXPECT_EQ((escaped.size() - 4) % 12, 0u);

  EXPECT_EQ(CanonicalizeUrlName("short name.mp3"), "short%20name.mp3");
  EXPECT_EQ(CanonicalizeUrlName(std::string(400, 'b')), std::string(259, 'b'));
}

TEST_F(TrackNames, StreamPortIsTheHttpPort) {
  EXPECT_EQ(GetStreamPort(), 8047);
  device_.Info().modelCode = "nr";  // the model does not choose the port
  const struct {
    std::uint32_t value;
    int port;
  } cases[] = {{0, 8047}, {1, 1}, {9999, 9999}, {10000, 8047}, {0xFFFFFFFFu, 8047}, {8080, 8080}};
  for (const auto& c : cases) {
    key_->SetDword("VX_PortD", c.value);
    EXPECT_EQ(GetStreamPort(), c.port) << c.value;
  }
  const KernelId t = device_.AddTrack({.artist = "a", .album = "b", .title = "c", .number = 1});
  EXPECT_EQ(FormatStreamAddress(device_, t),
            "http://127.0.0.1:8080/stream/" + std::to_string(t.GetItemId()) + "/a%20-%20b%20-%2001%20-%20c.mp3");
  EXPECT_EQ(FormatStreamPath(0x100000002ull, "x.mp3"), "/stream/4294967298/x.mp3");
}

}  // namespace

}  // namespace device
