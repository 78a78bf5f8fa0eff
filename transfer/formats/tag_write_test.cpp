// Writing tags back: round trips that keep what the writer does not own, the tag kinds
// chosen by the settings and by the file, and files that must stay as they were.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <taglib/asffile.h>
#include <taglib/asftag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/unsynchronizedlyricsframe.h>

#include <filesystem>

#include "testing/temp_home.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "transfer/formats/audio_file_tags.h"
#include "testing/audio_fixtures.h"
#include "transfer/formats/mp3/mp3_reader.h"

using namespace device;

namespace transfer {
namespace {

using testing::ReadBytes;
using testing::Tool;

// Frames other programs put into ID3v2 tags, which a write-back must keep.
void AddForeignFrames(const std::string& path) {
  TagLib::MPEG::File f(path.c_str(), false);
  TagLib::ID3v2::Tag* tag = f.ID3v2Tag(true);
  auto* picture = new TagLib::ID3v2::AttachedPictureFrame();
  picture->setMimeType("image/png");
  picture->setPicture(TagLib::ByteVector(5000, 'p'));
  tag->addFrame(picture);
  auto* lyrics = new TagLib::ID3v2::UnsynchronizedLyricsFrame(TagLib::String::UTF8);
  lyrics->setText("la la la");
  tag->addFrame(lyrics);
  tag->addFrame(new TagLib::ID3v2::UserTextIdentificationFrame("replaygain_track_gain", {"-6.5 dB"}));
  auto* note = new TagLib::ID3v2::CommentsFrame();
  note->setDescription("iTunNORM");
  note->setText("000001");
  tag->addFrame(note);
  auto* composer = new TagLib::ID3v2::TextIdentificationFrame("TCOM", TagLib::String::Latin1);
  composer->setText("Old Composer");
  tag->addFrame(composer);
  f.save(TagLib::MPEG::File::ID3v2 | (f.hasID3v1Tag() ? TagLib::MPEG::File::ID3v1 : 0), TagLib::File::StripNone,
         TagLib::ID3v2::v3);
}

struct TagKinds {
  bool v1 = false;
  bool v2 = false;
  int v2Version = 0;
};

TagKinds KindsOf(const std::string& path) {
  TagLib::MPEG::File f(path.c_str(), false);
  TagKinds k{f.hasID3v1Tag(), f.hasID3v2Tag(), 0};
  if (k.v2) k.v2Version = static_cast<int>(f.ID3v2Tag()->header()->majorVersion());
  return k;
}

// The bytes between the tags.
std::string AudioOf(const std::string& path) {
  const std::string bytes = ReadBytes(path);
  MemorySource source(bytes.data(), bytes.size());
  const std::uint64_t before = Id3v2TagBytes(source);
  const std::uint64_t after = Id3v1TagBytes(source);
  return bytes.substr(before, bytes.size() - before - after);
}

class TagWriteTest : public TempHome {
 protected:
  static void SetUpTestSuite() {
    dir_ = new testing::ScratchFolder();
    const std::string tone = *dir_ / "tone.wav";
    ok_ = testing::MakeTone(tone, 2) && Tool({"lame", "--quiet", "-b", "64", tone, *dir_ / "bare.mp3"}) &&
          Tool({"lame", "--quiet", "-b", "64", "--id3v2-only", "--tt", "Old", "--ta", "Old Artist", tone,
                *dir_ / "v2.mp3"}) &&
          Tool({"lame", "--quiet", "-b", "64", "--id3v1-only", "--tt", "Old", tone, *dir_ / "v1.mp3"}) &&
          Tool({"lame", "--quiet", "-b", "64", "--tt", "Old", "--tn", "1", tone, *dir_ / "both.mp3"}) &&
          Tool({"ffmpeg", "-loglevel", "error", "-y", "-i", tone, "-c:a", "libmp3lame", "-b:a", "64k", "-metadata",
                "title=Old", "-metadata", "composer=Kept", *dir_ / "v24.mp3"}) &&
          Tool({"ffmpeg", "-loglevel", "error", "-y", "-i", tone, "-c:a", "wmav2", "-metadata", "title=Old",
                "-metadata", "composer=WKept", *dir_ / "tags.wma"}) &&
          Tool({"oggenc", "--quiet", "-t", "Old", tone, "-o", *dir_ / "tags.ogg"});
    if (ok_) AddForeignFrames(*dir_ / "both.mp3");
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    TempHome::SetUp();
    ASSERT_TRUE(ok_);
    key_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
  }

  // A private copy of one of the suite's files.
  std::string Copy(const std::string& name) {
    const std::string to = root_ + "/" + name;
    std::filesystem::copy_file(*dir_ / name, to, std::filesystem::copy_options::overwrite_existing);
    return to;
  }

  static TrackRecord Record(const std::string& posixPath) {
    TrackRecord r;
    r.path.Set(platform::FromPosixPath(posixPath));
    r.artist.Set("New Artist");
    r.album.Set("New Album");
    r.title.Set("New Title");
    r.genre.Set("Jazz");
    r.comment.Set("New Comment");
    r.trackNumber = 5;
    r.year = 2020;
    return r;
  }

  void Use(std::uint32_t v1, std::uint32_t v2) {
    key_->SetDword("ATM_TWB_UseV1", v1);
    key_->SetDword("ATM_TWB_UseV2", v2);
  }

  static testing::ScratchFolder* dir_;
  static bool ok_;
  std::optional<platform::SettingsKey> key_;
};

testing::ScratchFolder* TagWriteTest::dir_ = nullptr;
bool TagWriteTest::ok_ = false;

TEST_F(TagWriteTest, RoundTripKeepsForeignFrames) {
  Use(0, 1);
  const std::string path = Copy("both.mp3");
  const std::string audio = AudioOf(path);
  ASSERT_EQ(WriteAudioFileTags(Record(path)), 1);

  TrackRecord back;
  EXPECT_EQ(ReadAudioFileTags(platform::FromPosixPath(path), back), 1);
  EXPECT_EQ(back.artist.Str(), "New Artist");
  EXPECT_EQ(back.album.Str(), "New Album");
  EXPECT_EQ(back.title.Str(), "New Title");
  EXPECT_EQ(back.genre.Str(), "Jazz");
  EXPECT_EQ(back.comment.Str(), "New Comment");
  EXPECT_EQ(back.trackNumber, 5);
  EXPECT_EQ(back.year, 2020);
  EXPECT_EQ(back.composer.Str(), "Old Composer");

  TagLib::MPEG::File f(path.c_str(), false);
  TagLib::ID3v2::Tag* v2 = f.ID3v2Tag();
  ASSERT_NE(v2, nullptr);
  EXPECT_EQ(v2->header()->majorVersion(), 3u);
  ASSERT_EQ(v2->frameList("APIC").size(), 1u);
  EXPECT_EQ(dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(v2->frameList("APIC").front())->picture().size(),
            5000u);
  EXPECT_EQ(v2->frameList("USLT").size(), 1u);
  EXPECT_EQ(v2->frameList("TXXX").size(), 1u);
  EXPECT_EQ(v2->frameList("COMM").size(), 2u);  // iTunNORM and the new comment
  // The file had an ID3v1 tag: it is updated too, not left stale.
  ASSERT_TRUE(f.hasID3v1Tag());
  EXPECT_EQ(f.ID3v1Tag()->title().to8Bit(true), "New Title");
  EXPECT_EQ(f.ID3v1Tag()->genreNumber(), 8u);  // Jazz
  EXPECT_EQ(AudioOf(path), audio);
}

TEST_F(TagWriteTest, TagKindsFromSettingsAndFromTheFile) {
  const struct {
    const char* file;
    std::uint32_t useV1, useV2;
    TagKinds want;
  } cases[] = {
      {"bare.mp3", 0, 0, {true, false, 0}},  // neither setting: ID3v1
      {"bare.mp3", 1, 0, {true, false, 0}},
      {"bare.mp3", 0, 1, {false, true, 3}},
      {"bare.mp3", 1, 1, {true, true, 3}},
      {"v2.mp3", 1, 0, {true, true, 3}},   // the existing ID3v2 tag is updated as well
      {"v1.mp3", 0, 1, {true, true, 3}},   // and the existing ID3v1 tag
      {"v24.mp3", 0, 1, {false, true, 4}},  // an ID3v2.4 tag stays 2.4
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.useV1) + std::to_string(c.useV2));
    Use(c.useV1, c.useV2);
    const std::string path = Copy(c.file);
    const std::string audio = AudioOf(path);
    ASSERT_EQ(WriteAudioFileTags(Record(path)), 1);
    const TagKinds k = KindsOf(path);
    EXPECT_EQ(k.v1, c.want.v1);
    EXPECT_EQ(k.v2, c.want.v2);
    EXPECT_EQ(k.v2Version, c.want.v2Version);
    TagLib::MPEG::File f(path.c_str(), false);
    if (k.v1) {
      EXPECT_EQ(f.ID3v1Tag()->title().to8Bit(true), "New Title");
    }
    if (k.v2) {
      EXPECT_EQ(f.ID3v2Tag()->title().to8Bit(true), "New Title");
    }
    EXPECT_EQ(AudioOf(path), audio);
  }
  // The ID3v2.4 file keeps its composer frame.
  TrackRecord back;
  ReadAudioFileTags(platform::FromPosixPath(root_ + "/v24.mp3"), back);
  EXPECT_EQ(back.composer.Str(), "Kept");
}

TEST_F(TagWriteTest, TrackNumberKeepsItsLowEightBits) {
  Use(1, 1);
  const std::string path = Copy("bare.mp3");
  TrackRecord r = Record(path);
  r.trackNumber = 300;
  ASSERT_EQ(WriteAudioFileTags(r), 1);
  TagLib::MPEG::File f(path.c_str(), false);
  EXPECT_EQ(f.ID3v1Tag()->track(), 44u);
  EXPECT_EQ(f.ID3v2Tag()->track(), 44u);
}

TEST_F(TagWriteTest, FilesThatAreNotWrittenStayAsTheyWere) {
  const std::string ogg = Copy("tags.ogg");
  const std::string before = ReadBytes(ogg);
  EXPECT_EQ(WriteAudioFileTags(Record(ogg)), 1);  // not a written format: success, untouched
  EXPECT_EQ(ReadBytes(ogg), before);

  const std::string locked = Copy("both.mp3");
  ::chmod(locked.c_str(), 0444);
  const std::string lockedBefore = ReadBytes(locked);
  EXPECT_EQ(WriteAudioFileTags(Record(locked)), 0);
  EXPECT_EQ(ReadBytes(locked), lockedBefore);

  TrackRecord missing = Record(root_ + "/absent.mp3");
  EXPECT_EQ(WriteAudioFileTags(missing), 0);

  // Nothing of the written copies is left beside the files.
  for (const auto& entry : std::filesystem::directory_iterator(root_)) {
    EXPECT_EQ(entry.path().filename().string().find(".tagwrite"), std::string::npos) << entry.path();
  }
}

TEST_F(TagWriteTest, WmaAttributesAsStrings) {
  const std::string path = Copy("tags.wma");
  TrackRecord r = Record(path);
  r.trackNumber = 7;
  ASSERT_EQ(WriteAudioFileTagsTimed(r), 1);
  TagLib::ASF::File f(path.c_str());
  const auto& map = f.tag()->attributeListMap();
  auto text = [&](const char* name) {
    const auto it = map.find(name);
    return it == map.end() ? std::string("<missing>") : it->second.front().toString().to8Bit(true);
  };
  EXPECT_EQ(text("WM/TrackNumber"), "7");
  EXPECT_EQ(text("WM/Track"), "6");
  EXPECT_EQ(text("WM/Year"), "2020");
  EXPECT_EQ(text("WM/AlbumTitle"), "New Album");
  EXPECT_EQ(text("WM/Genre"), "Jazz");
  EXPECT_EQ(text("WM/Composer"), "WKept");
  EXPECT_EQ(f.tag()->title().to8Bit(true), "New Title");
  EXPECT_EQ(f.tag()->artist().to8Bit(true), "New Artist");
  EXPECT_EQ(f.tag()->comment().to8Bit(true), "New Comment");

  TrackRecord back;
  ASSERT_EQ(ReadAudioFileTags(platform::FromPosixPath(path), back), 1);
  EXPECT_EQ(back.trackNumber, 7);
  EXPECT_EQ(back.comment.Str(), "New Comment");
  EXPECT_EQ(back.composer.Str(), "WKept");
}

}  // namespace
}  // namespace transfer
