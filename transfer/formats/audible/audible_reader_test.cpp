// The audiobook reader with and without the runtime that describes the files.
#include "transfer/formats/audible/audible_reader.h"

#include <gtest/gtest.h>

#include "testing/temp_home.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "transfer/formats/audio_file_tags.h"
#include "testing/audio_fixtures.h"

using namespace device;

namespace transfer {
namespace {

class AudibleReaderTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    shared_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.sharedSettingsKey));
    testing::WriteBytes(dir_ / "book.aa", "audio");
    testing::WriteBytes(dir_ / "bad.aa", "audio");
  }
  void UseRuntime(const std::string& posixPath) {
    shared_->SetString("iPodAudible.dll", platform::FromPosixPath(posixPath));
  }
  std::string Path(const std::string& name) { return platform::FromPosixPath(dir_ / name); }

  testing::ScratchFolder dir_;
  std::optional<platform::SettingsKey> shared_;
};

TEST_F(AudibleReaderTest, WithoutItsRuntimeNothingIsRead) {
  const struct {
    const char* what;
    std::string runtime;  // empty: no setting
  } cases[] = {
      {"no setting", ""},
      {"no library there", "/nonexistent/runtime.so"},
      {"a library without the entry", "libz.so.1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.runtime.empty()) shared_->SetString("iPodAudible.dll", c.runtime);
    TrackRecord r;
    EXPECT_EQ(ReadAudioFileTags(Path("book.aa"), r), 0);
    EXPECT_EQ(r.codec, 6);
    EXPECT_EQ(r.fileSize, 5);
    EXPECT_EQ(r.title.Str(), "");
  }
}

TEST_F(AudibleReaderTest, TheRuntimeDescribesTheBook) {
  UseRuntime(TOVARIN_FAKE_AUDIBLE_RUNTIME);
  TrackRecord r;
  ASSERT_EQ(ReadAudioFileTags(Path("book.aa"), r), 1);
  EXPECT_EQ(r.length, 3723);
  EXPECT_EQ(r.bitrate, 32);
  EXPECT_EQ(r.sampleRate, 22050);
  EXPECT_EQ(r.title.Str(), "book.aa");
  EXPECT_EQ(r.artist.Str(), "An Author");
  EXPECT_EQ(r.album.Str(), "Audio Book");
  EXPECT_EQ(r.comment.Str(), std::string(200, 'd'));
  EXPECT_EQ(r.genre.Str(), "Spoken Word");

  TrackRecord failed;
  EXPECT_EQ(ReadAudioFileTags(Path("bad.aa"), failed), 0);
  EXPECT_EQ(failed.title.Str(), "");
}

}  // namespace
}  // namespace transfer
