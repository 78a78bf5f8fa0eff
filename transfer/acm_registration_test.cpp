// Codec libraries named in the ACM's driver list, added once per process (so in a
// program of their own).
#include <gtest/gtest.h>

#include "testing/temp_home.h"
#include "platform/media/acm.h"
#include "platform/media/codec_library.h"
#include "platform/settings/settings.h"
#include "transfer/conversion_rules.h"

namespace transfer {
namespace {

using AcmRegistrationTest = TempHome;

TEST_F(AcmRegistrationTest, CodecLibrariesOfTheDriverListAreAddedOnce) {
  auto drivers = platform::SettingsKey::Create(platform::Hive::LocalMachine,
                                               "Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32");
  const std::string fake = TOVARIN_FAKE_ACM_DRIVER;
  drivers.SetString("msacm.fake", fake);
  drivers.SetString("MSACM.LameMp3", fake);     // encoders of that name are left out
  drivers.SetString("vidc.fake", fake);         // not an audio codec
  drivers.SetString("msacm.gone", "/nonexistent/codec.so");
  drivers.SetString("msacm.notacodec", "libz.so.1");  // loads, but offers no driver
  RegisterAcmCodecs();
  EXPECT_EQ(platform::acmAddedDriverNames(), std::vector<std::string>{"msacm.fake"});
  drivers.SetString("msacm.later", fake);
  RegisterAcmCodecs();
  EXPECT_EQ(platform::acmAddedDriverNames(), std::vector<std::string>{"msacm.fake"});
  // An added driver comes before the built-in ones.
  platform::SetMediaLibraryPath(platform::MediaLibrary::kMp3Lame, "/nonexistent/lame.so");
  std::string name;
  EXPECT_TRUE(IsEncoderAvailable(2, name));
  EXPECT_EQ(name, "Fake MPEG Layer-3 Codec");
  platform::SetMediaLibraryPath(platform::MediaLibrary::kMp3Lame, "");
}

}  // namespace
}  // namespace transfer
