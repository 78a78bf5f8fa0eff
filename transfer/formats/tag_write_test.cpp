// Writing tags back: every frame and byte the writer does not own survives, the tag kinds
// chosen by the settings and by the file, numbers and texts as they were meant, files
// written in place where there is room, and nothing left behind when a write fails or is
// killed.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <taglib/asffile.h>
#include <taglib/asftag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/unsynchronizedlyricsframe.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "testing/audio_fixtures.h"
#include "testing/temp_home.h"
#include "transfer/formats/audio_file_tags.h"
#include "transfer/formats/mp3/id3v2_tag.h"
#include "transfer/formats/mp3/mp3_reader.h"

extern char** environ;

using namespace device;

namespace transfer {
namespace {

using testing::ReadBytes;
using testing::Tool;
using testing::WriteBytes;

constexpr const char* kChildPath = "TOVARIN_TAGWRITE_CHILD";

using testing::Be32;
using testing::SynchSafe;
std::string Frame3(const std::string& id, const std::string& body) { return testing::Id3Frame(3, id, body); }
std::string Frame4(const std::string& id, const std::string& body) { return testing::Id3Frame(4, id, body); }
std::string Text(const std::string& latin1) { return std::string(1, '\0') + latin1; }

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
  note->setText(" 0000044E 00000061 00009B67 000044C3");
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
  const std::string bytes = ReadBytes(path);
  MemorySource source(bytes.data(), bytes.size());
  Id3v2Tag tag;
  TagKinds k;
  k.v2 = ReadId3v2Tag(source, tag);
  k.v2Version = tag.version;
  k.v1 = Id3v1TagBytes(source) != 0;
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

// The ID3v2 frames of a file, each as its bytes, by id.
std::multimap<std::string, std::string> FramesOf(const std::string& path) {
  const std::string bytes = ReadBytes(path);
  MemorySource source(bytes.data(), bytes.size());
  Id3v2Tag tag;
  ReadId3v2Tag(source, tag);
  std::multimap<std::string, std::string> frames;
  for (const Id3v2Frame& f : tag.frames) frames.emplace(f.id, f.bytes);
  return frames;
}

// The frames besides those the writer owns.
std::multimap<std::string, std::string> ForeignFrames(const std::string& path, int version) {
  std::multimap<std::string, std::string> frames = FramesOf(path);
  for (const char* id :
       {"TIT2", "TPE1", "TALB", "TRCK", "TYER", "TDRC", "TCON", "TT2", "TP1", "TAL", "TRK", "TYE", "TCO"}) {
    frames.erase(id);
  }
  for (auto it = frames.begin(); it != frames.end();) {
    Id3v2Frame f{it->first, it->second};
    const bool ownComment = (it->first == "COMM" || it->first == "COM") && IsPlainComment(version, f);
    it = ownComment ? frames.erase(it) : std::next(it);
  }
  return frames;
}

std::string Prefix(const std::string& path, std::size_t bytes) {
  std::string out(bytes, '\0');
  std::ifstream(path, std::ios::binary).read(out.data(), static_cast<std::streamsize>(bytes));
  return out;
}

ino_t InodeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_ino;
}

std::vector<std::string> Leftovers(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename().string().find(".tagwrite") != std::string::npos) found.push_back(entry.path());
  }
  return found;
}

// A folder on a file system that cannot make room at the start of a file (tmpfs), where
// a growing tag is written through a copy; empty when there is none.
std::string CopyingFolder() {
  std::string tmpl = "/dev/shm/tovtagwrite.XXXXXX";
  if (!std::filesystem::is_directory("/dev/shm") || ::mkdtemp(tmpl.data()) == nullptr) return {};
  return tmpl;
}

class TagWriteTest : public TempHome {
 protected:
  static void SetUpTestSuite() {
    dir_ = new testing::ScratchFolder();
    const testing::ScratchFolder& d = *dir_;
    const std::string tone = d / "tone.wav";
    ok_ = testing::MakeTone(tone, 2) && Tool({"lame", "--quiet", "-b", "64", tone, d / "bare.mp3"}) &&
          Tool({"lame", "--quiet", "-b", "64", "--id3v2-only", "--tt", "Old", "--ta", "Old Artist", tone,
                d / "v2.mp3"}) &&
          Tool({"lame", "--quiet", "-b", "64", "--id3v1-only", "--tt", "Old", tone, d / "v1.mp3"}) &&
          Tool({"lame", "--quiet", "-b", "64", "--tt", "Old", "--tn", "1", tone, d / "both.mp3"}) &&
          Tool({"lame", "--quiet", "-b", "64", "--id3v2-only", "--pad-id3v2-size", "4000", "--tt", "Old", tone,
                d / "padded.mp3"}) &&
          Tool({"ffmpeg", "-loglevel", "error", "-y", "-i", tone, "-c:a", "libmp3lame", "-b:a", "64k", "-metadata",
                "title=Old", "-metadata", "composer=Kept", "-metadata", "track=3/12", d / "v24.mp3"}) &&
          Tool({"ffmpeg", "-loglevel", "error", "-y", "-i", tone, "-c:a", "wmav2", "-metadata", "title=Old",
                "-metadata", "composer=WKept", "-metadata", "track=2", "-metadata", "WM/Year=1999", d / "tags.wma"}) &&
          Tool({"oggenc", "--quiet", "-t", "Old", tone, "-o", d / "tags.ogg"});
    if (!ok_) return;
    AddForeignFrames(d / "both.mp3");
    // Tags with an extended header or a footer, in front of the bare audio.
    const std::string audio = ReadBytes(d / "bare.mp3");
    const std::string frames3 = Frame3("TIT2", Text("Title3")) + Frame3("TPE1", Text("Artist3")) +
                                Frame3("TALB", Text("Album3")) + Frame3("TCON", Text("(17)(18)")) +
                                Frame3("TRCK", Text("3/12")) + Frame3("TXXX", Text("mood") + '\0' + "calm");
    const auto tag3 = [](const std::string& body) { return testing::Id3Tag(3, 0x40, body); };
    WriteBytes(d / "ext23.mp3",
               tag3(Be32(6) + std::string(2, '\0') + Be32(100) + frames3 + std::string(100, '\0')) + audio);
    WriteBytes(d / "crc23.mp3", tag3(Be32(10) + std::string("\x80\0", 2) + Be32(100) + Be32(0x12345678) + frames3 +
                                     std::string(100, '\0')) +
                                    audio);
    const std::string frames4 = Frame4("TIT2", "\3Title4") + Frame4("TPE1", std::string("\3First\0Second", 13)) +
                                Frame4("TXXX", std::string("\3mood\0calm", 10)) +
                                Frame4("TRCK",
                                       "\3"
                                       "3/12");
    const std::string body4 = SynchSafe(6) + std::string("\x01\0", 2) + frames4;
    WriteBytes(d / "extfoot24.mp3", testing::Id3Tag(4, 0x50, body4,
                                                    std::string("3DI\x04\x00\x50", 6) +
                                                        SynchSafe(static_cast<std::uint32_t>(body4.size()))) +
                                        audio);
    // A tag whose last bytes are neither a frame nor padding.
    const std::string broken = Frame3("TIT2", Text("Broken")) + "ti t" + std::string(20, 'x');
    WriteBytes(d / "broken.mp3", testing::Id3Tag(3, 0, broken) + audio);
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

  // A private copy of one of the suite's files, in `folder` (the test's own by default).
  std::string Copy(const std::string& name, std::string folder = {}) {
    const std::string to = (folder.empty() ? root_ : folder) + "/" + name;
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

  // The record the reader makes of the file, to be written back changed.
  static TrackRecord ReadBack(const std::string& posixPath) {
    TrackRecord r;
    ReadAudioFileTags(platform::FromPosixPath(posixPath), r);
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

TEST_F(TagWriteTest, EveryOtherFrameAndTheAudioSurvive) {
  const struct {
    const char* file;
    int version;
  } cases[] = {{"both.mp3", 3}, {"v24.mp3", 4}, {"ext23.mp3", 3}, {"crc23.mp3", 3}, {"extfoot24.mp3", 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = Copy(c.file);
    const std::string audio = AudioOf(path);
    const auto foreign = ForeignFrames(path, c.version);
    ASSERT_EQ(WriteAudioFileTags(Record(path)), 1);
    const TrackRecord back = ReadBack(path);
    EXPECT_EQ(back.artist.Str(), "New Artist");
    EXPECT_EQ(back.album.Str(), "New Album");
    EXPECT_EQ(back.title.Str(), "New Title");
    EXPECT_EQ(back.genre.Str(), "Jazz");
    EXPECT_EQ(back.comment.Str(), "New Comment");
    EXPECT_EQ(back.trackNumber, 5);
    EXPECT_EQ(back.year, 2020);
    EXPECT_EQ(KindsOf(path).v2Version, c.version);
    EXPECT_EQ(ForeignFrames(path, c.version), foreign);
    EXPECT_EQ(AudioOf(path), audio);
  }
  // The other programs' frames, the note among them, as the tag library reads them too.
  TagLib::MPEG::File f((root_ + "/both.mp3").c_str(), false);
  ASSERT_TRUE(f.hasID3v2Tag());
  EXPECT_EQ(f.ID3v2Tag()->frameList("APIC").size(), 1u);
  EXPECT_EQ(f.ID3v2Tag()->frameList("COMM").size(), 2u);  // the note and the new comment
  EXPECT_EQ(ReadBack(root_ + "/both.mp3").composer.Str(), "Old Composer");
  // The file's ID3v1 tag is updated too, not left stale.
  ASSERT_TRUE(f.hasID3v1Tag());
  EXPECT_EQ(f.ID3v1Tag()->title().to8Bit(true), "New Title");
  EXPECT_EQ(f.ID3v1Tag()->genreNumber(), 8u);  // Jazz
}

TEST_F(TagWriteTest, AnUnchangedFieldKeepsItsFrame) {
  // A record read from the file and written back with one change changes one frame.
  for (const char* file : {"v24.mp3", "ext23.mp3", "extfoot24.mp3"}) {
    SCOPED_TRACE(file);
    const std::string path = Copy(file);
    const auto before = FramesOf(path);
    TrackRecord r = ReadBack(path);
    r.album.Set("Changed");
    ASSERT_EQ(WriteAudioFileTags(r), 1);
    auto after = FramesOf(path);
    auto expected = before;
    expected.erase("TALB");
    after.erase("TALB");
    EXPECT_EQ(after, expected);
    EXPECT_EQ(ReadBack(path).album.Str(), "Changed");
  }
}

TEST_F(TagWriteTest, TagKindsFromSettingsAndFromTheFile) {
  const struct {
    const char* file;
    std::uint32_t useV1, useV2;
    TagKinds want;
  } cases[] = {
      // Always an ID3v2 tag, which holds every text whole; ID3v1 when asked for.
      {"bare.mp3", 0, 0, {false, true, 3}},
      {"bare.mp3", 1, 0, {true, true, 3}},
      {"bare.mp3", 0, 1, {false, true, 3}},
      {"bare.mp3", 1, 1, {true, true, 3}},
      {"v2.mp3", 1, 0, {true, true, 3}},
      {"v1.mp3", 0, 1, {true, true, 3}},    // the existing ID3v1 tag is updated as well
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
    EXPECT_EQ(f.ID3v2Tag()->title().to8Bit(true), "New Title");
    EXPECT_EQ(AudioOf(path), audio);
  }
}

TEST_F(TagWriteTest, NumbersAndTextsAsTheyWereMeant) {
  Use(1, 1);
  const struct {
    const char* what;
    const char* file;
    int track, count;
    std::string title, artist;
    std::string v2Track;            // the TRCK text read back
    unsigned v1Track;               // the ID3v1 track byte
    std::string v1Title, v1Artist;  // the ID3v1 texts (Latin-1, as UTF-8)
  } cases[] = {
      {"a number the ID3v1 byte cannot hold", "bare.mp3", 300, 0, "T", "A", "300", 0, "T", "A"},
      {"a count the record does not know stays", "v24.mp3", 5, 0, "T", "A", "5/12", 5, "T", "A"},
      {"a count the record has", "bare.mp3", 3, 12, "T", "A", "3/12", 3, "T", "A"},
      // ID3v1 replaces what Latin-1 lacks, and never leaves a field empty for it.
      {"texts beyond Latin-1", "bare.mp3", 1, 0, "Nouveau \xC3\xA9t\xC3\xA9 \xE2\x98\x83",
       "\xD0\x90\xD1\x80\xD1\x82\xD0\xB8\xD1\x81\xD1\x82", "1", 1, "Nouveau \xC3\xA9t\xC3\xA9 ?", "??????"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = Copy(c.file);
    TrackRecord r = Record(path);
    r.trackNumber = c.track;
    r.trackCount = c.count;
    r.title.Set(c.title);
    r.artist.Set(c.artist);
    ASSERT_EQ(WriteAudioFileTags(r), 1);
    TagLib::MPEG::File f(path.c_str(), false);
    ASSERT_TRUE(f.hasID3v2Tag() && f.hasID3v1Tag());
    EXPECT_EQ(f.ID3v2Tag()->frameList("TRCK").front()->toString().to8Bit(true), c.v2Track);
    EXPECT_EQ(f.ID3v2Tag()->title().to8Bit(true), c.title);
    EXPECT_EQ(f.ID3v2Tag()->artist().to8Bit(true), c.artist);
    EXPECT_EQ(f.ID3v1Tag()->track(), c.v1Track);
    EXPECT_EQ(f.ID3v1Tag()->title().to8Bit(true), c.v1Title);
    EXPECT_EQ(f.ID3v1Tag()->artist().to8Bit(true), c.v1Artist);
    // Read back as written: the whole text, the number and the count.
    const TrackRecord back = ReadBack(path);
    EXPECT_EQ(back.title.Str(), c.title);
    EXPECT_EQ(back.trackNumber, c.track);
  }
}

TEST_F(TagWriteTest, AFieldWithoutValueIsNotWritten) {
  // Nothing stands in for an empty text or a number of 0: its frame or attribute goes.
  for (const char* file : {"bare.mp3", "both.mp3", "tags.wma"}) {
    SCOPED_TRACE(file);
    const std::string path = Copy(file);
    TrackRecord r = Record(path);
    r.artist.Set("");
    r.genre.Set("");
    r.trackNumber = 0;
    r.year = 0;
    ASSERT_EQ(WriteAudioFileTags(r), 1);
    if (std::string(file) == "tags.wma") {
      TagLib::ASF::File f(path.c_str());
      const auto& map = f.tag()->attributeListMap();
      for (const char* name : {"WM/TrackNumber", "WM/Track", "WM/Year", "WM/Genre", "Author"}) {
        EXPECT_FALSE(map.contains(name)) << name;
      }
      EXPECT_EQ(f.tag()->artist().to8Bit(true), "");
      EXPECT_EQ(f.tag()->title().to8Bit(true), "New Title");
    } else {
      const auto frames = FramesOf(path);
      for (const char* id : {"TPE1", "TCON", "TRCK", "TYER", "TDRC"}) EXPECT_EQ(frames.count(id), 0u) << id;
      EXPECT_EQ(frames.count("TIT2"), 1u);
    }
    const TrackRecord back = ReadBack(path);
    EXPECT_EQ(back.artist.Str(), "");
    EXPECT_EQ(back.trackNumber, 0);
    EXPECT_EQ(back.year, 0);
  }
}

TEST_F(TagWriteTest, FilesThatAreNotWrittenStayAsTheyWere) {
  const std::string ogg = Copy("tags.ogg");
  const std::string before = ReadBytes(ogg);
  EXPECT_EQ(WriteAudioFileTags(Record(ogg)), 1);  // not a written format: success, untouched
  EXPECT_EQ(ReadBytes(ogg), before);

  const struct {
    const char* what;
    std::string path;
  } refused[] = {
      {"read-only", Copy("both.mp3")},
      // Writing back a tag read in part would lose the rest.
      {"a tag read in part", Copy("broken.mp3")},
      {"no MP3 inside", root_ + "/text.mp3"},
      {"missing", root_ + "/absent.mp3"},
  };
  ::chmod(refused[0].path.c_str(), 0444);
  WriteBytes(root_ + "/text.mp3", std::string(20000, 't'));
  for (const auto& c : refused) {
    SCOPED_TRACE(c.what);
    const std::string was = ReadBytes(c.path);
    EXPECT_EQ(WriteAudioFileTags(Record(c.path)), 0);
    EXPECT_EQ(ReadBytes(c.path), was);
  }
  EXPECT_EQ(Leftovers(root_), std::vector<std::string>());
}

TEST_F(TagWriteTest, WrittenInPlaceWhereTheTagHasRoom) {
  const std::string copying = CopyingFolder();
  struct Case {
    const char* what;
    std::string path;
    bool inPlace;  // the same file, its size unchanged
  };
  std::vector<Case> cases = {
      {"padding takes the new frames", Copy("padded.mp3"), true},
      {"a second write fits the room the first left", Copy("bare.mp3"), false},
      {"a header's padding object takes the change", Copy("tags.wma"), false},
  };
  // Nothing is made beside the file, so a folder the user cannot write to is no hindrance.
  const std::string locked = root_ + "/locked";
  std::filesystem::create_directory(locked);
  cases.push_back({"a folder the user cannot write to", Copy("bare.mp3", locked), false});
  ::chmod(locked.c_str(), 0555);
  if (!copying.empty()) {
    cases.push_back({"a file system that cannot make room: written through a copy", Copy("bare.mp3", copying), false});
  }
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string audio = AudioOf(c.path);
    const std::string wmaData = ReadBytes(c.path).substr(ReadBytes(c.path).size() - 1000);
    const ino_t inode = InodeOf(c.path);
    const auto size = std::filesystem::file_size(c.path);
    TrackRecord r = Record(c.path);
    ASSERT_EQ(WriteAudioFileTags(r), 1);
    if (c.inPlace) {
      EXPECT_EQ(InodeOf(c.path), inode);
      EXPECT_EQ(std::filesystem::file_size(c.path), size);
    }
    // Written again with a longer text: the room of the first write takes it.
    const ino_t first = InodeOf(c.path);
    const auto firstSize = std::filesystem::file_size(c.path);
    r.title.Set("A Longer Title Than Before");
    ASSERT_EQ(WriteAudioFileTags(r), 1);
    EXPECT_EQ(InodeOf(c.path), first);
    EXPECT_EQ(std::filesystem::file_size(c.path), firstSize);
    EXPECT_EQ(ReadBack(c.path).title.Str(), "A Longer Title Than Before");
    if (std::string(c.path).ends_with(".wma")) {
      EXPECT_EQ(ReadBytes(c.path).substr(ReadBytes(c.path).size() - 1000), wmaData);
    } else {
      EXPECT_EQ(AudioOf(c.path), audio);
    }
    EXPECT_EQ(Leftovers(std::filesystem::path(c.path).parent_path()), std::vector<std::string>());
  }
  ::chmod(locked.c_str(), 0755);
  if (!copying.empty()) std::filesystem::remove_all(copying);
}

TEST_F(TagWriteTest, AHugeFileIsWrittenInItsTagsRoom) {
  // 2.2 GB (sparse): the write changes the tag alone, well within the time limit.
  const std::string path = Copy("padded.mp3");
  const std::uint64_t huge = std::uint64_t(2200) << 20;
  std::filesystem::resize_file(path, huge);
  ASSERT_EQ(WriteAudioFileTagsTimed(Record(path)), 1);
  EXPECT_EQ(std::filesystem::file_size(path), huge);
  EXPECT_EQ(ReadBack(path).title.Str(), "New Title");
  EXPECT_EQ(Leftovers(root_), std::vector<std::string>());
}

TEST_F(TagWriteTest, CopiesOfDeadWritesAreRemoved) {
  const std::string path = Copy("bare.mp3");
  // A process that has ended, for a copy it left.
  pid_t gone = 0;
  const char* argv[] = {"true", nullptr};
  ASSERT_EQ(::posix_spawnp(&gone, "true", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  ::waitpid(gone, nullptr, 0);
  const std::string dead = root_ + "/.bare.mp3.tagwrite-" + std::to_string(gone) + "-1";
  const std::string older = root_ + "/.bare.mp3.tagwrite-Ab12Cd";
  const std::string live = root_ + "/.bare.mp3.tagwrite-1-1";  // process 1 runs
  const std::string other = root_ + "/.other.mp3.tagwrite-Ab12Cd";  // another file's
  const std::string mine = root_ + "/bare.mp3.tagwrite-Ab12Cd";  // not hidden: no copy of ours
  for (const std::string& p : {dead, older, live, other, mine}) WriteBytes(p, "partial copy");
  ASSERT_EQ(WriteAudioFileTags(Record(path)), 1);
  EXPECT_FALSE(std::filesystem::exists(dead));
  EXPECT_FALSE(std::filesystem::exists(older));
  EXPECT_FALSE(std::filesystem::exists(other));
  EXPECT_TRUE(std::filesystem::exists(live));
  EXPECT_TRUE(std::filesystem::exists(mine));
}

// The child of KilledWriteLeavesNothing: writes the tags of the file it is given.
TEST(TagWriteChild, Write) {
  const char* path = std::getenv(kChildPath);
  if (path == nullptr) GTEST_SKIP() << "only as the child of another test";
  TrackRecord r;
  r.path.Set(platform::FromPosixPath(path));
  r.title.Set("From the child");
  WriteAudioFileTags(r);
}

TEST_F(TagWriteTest, AKilledWriteLeavesNothingBehind) {
  const std::string copying = CopyingFolder();
  if (copying.empty()) GTEST_SKIP() << "no tmpfs at /dev/shm";
  // Large enough that the copy is seen under way.
  const std::string path = Copy("bare.mp3", copying);
  std::filesystem::resize_file(path, std::uint64_t(256) << 20);
  const std::string was = Prefix(path, 100000);
  const std::string env = std::string(kChildPath) + "=" + path;
  std::vector<char*> envp;
  for (char** e = environ; *e; ++e) envp.push_back(*e);
  envp.push_back(const_cast<char*>(env.c_str()));
  envp.push_back(nullptr);
  const std::string self = std::filesystem::read_symlink("/proc/self/exe");
  const char* argv[] = {self.c_str(), "--gtest_filter=TagWriteChild.Write", nullptr};
  pid_t child = 0;
  ASSERT_EQ(::posix_spawn(&child, self.c_str(), nullptr, nullptr, const_cast<char**>(argv), envp.data()), 0);
  // Killed while it holds its copy open.
  bool seen = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!seen && std::chrono::steady_clock::now() < deadline) {
    std::error_code ec;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(child) + "/fd", ec)) {
      const std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
      if (!ec && target.rfind(copying, 0) == 0 && target != path) seen = true;
    }
    int status = 0;
    if (!seen && ::waitpid(child, &status, WNOHANG) == child) break;
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  if (!seen) {
    std::filesystem::remove_all(copying);
    GTEST_SKIP() << "the write ended before it was seen";
  }
  EXPECT_EQ(Leftovers(copying), std::vector<std::string>());
  EXPECT_EQ(std::filesystem::directory_iterator(copying)->path(), path);
  EXPECT_EQ(Prefix(path, 100000), was);
  std::filesystem::remove_all(copying);
}

TEST_F(TagWriteTest, WmaAttributesAsStrings) {
  const std::string path = Copy("tags.wma");
  TrackRecord r = Record(path);
  r.trackNumber = 7;
  ASSERT_EQ(WriteAudioFileTagsTimed(r), 1);
  TagLib::ASF::File f(path.c_str());
  ASSERT_TRUE(f.isValid());
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
  EXPECT_NEAR(f.audioProperties()->lengthInMilliseconds(), 2000, 100);

  TrackRecord back;
  ASSERT_EQ(ReadAudioFileTags(platform::FromPosixPath(path), back), 1);
  EXPECT_EQ(back.trackNumber, 7);
  EXPECT_EQ(back.comment.Str(), "New Comment");
  EXPECT_EQ(back.composer.Str(), "WKept");
  // Decoded as a whole by another program.
  EXPECT_TRUE(Tool({"ffmpeg", "-loglevel", "error", "-y", "-i", path, "-f", "null", "-"}));
}

}  // namespace
}  // namespace transfer
