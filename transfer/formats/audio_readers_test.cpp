// Reading tags and facts from files made by the usual encoders: one table of file ->
// expected record, through the one entry point the engine calls.
#include <gtest/gtest.h>

#include <taglib/asffile.h>
#include <taglib/asftag.h>
#include <vorbis/vorbisfile.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "testing/temp_home.h"
#include "device/codec.h"
#include "platform/kernel/shared_library.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "transfer/formats/audio_file_tags.h"
#include "testing/audio_fixtures.h"
#include "transfer/formats/flac/flac_library.h"
#include "transfer/formats/audible/audible_reader.h"
#include "transfer/formats/flac/flac_reader.h"
#include "transfer/formats/mp3/mp3_reader.h"
#include "transfer/formats/mp4/mp4_reader.h"
#include "transfer/formats/ogg/ogg_library.h"
#include "transfer/formats/ogg/ogg_reader.h"
#include "transfer/formats/wav/wav_reader.h"
#include "transfer/formats/wma/wma_reader.h"

using namespace device;

namespace transfer {
namespace {

using testing::MakeTone;
using testing::ScratchFolder;
using testing::Tool;

// The files, made once for the whole suite.
class AudioFiles {
 public:
  AudioFiles() {
    const std::string tone = dir_ / "tone10.wav";
    ok_ = MakeTone(tone, 10) && MakeTone(dir_ / "mono8.wav", 4, 22050, 1, 8) &&
          MakeTone(dir_ / "tone48.wav", 20, 48000) &&
          Tool({"lame", "--quiet", "-b",   "128", "--tt", "Title", "--ta", "Artist", "--tl", "Album",
                "--ty", "2001",    "--tn", "3",   "--tg", "Rock",  "--tc", "Note",   tone,   dir_ / "cbr.mp3"}) &&
          Tool({"lame", "--quiet", "-V", "4", tone, dir_ / "vbr.mp3"}) &&
          Tool({"lame", "--quiet", "-V", "4", dir_ / "tone48.wav", dir_ / "vbr48.mp3"}) &&
          Tool({"lame", "--quiet", "-b", "64", "--resample", "22.05", tone, dir_ / "mpeg2.mp3"}) &&
          Tool({"lame", "--quiet", "-b", "128", "-t", tone, dir_ / "notag.mp3"}) &&
          // Without a Xing header: the frames tell the mean bitrate.
          Tool({"lame", "--quiet", "-V", "2", "-t", tone, dir_ / "vbrnoxing.mp3"}) &&
          Tool({"lame", "--quiet", "-b", "32", "--resample", "11.025", tone, dir_ / "rate11.mp3"}) &&
          Tool({"sox", "-n", "-r", "44100", "-c", "2", "-b", "16", dir_ / "half.wav", "synth", "0.5", "sine", "440"}) &&
          Tool({"lame", "--quiet", "-b", "128", dir_ / "half.wav", dir_ / "short.mp3"}) &&
          Tool({"lame", "--quiet", "-b", "16", "--resample", "8", tone, dir_ / "rate8.mp3"}) &&
          Tool({"lame", "--quiet", "-b", "128", "--id3v1-only", "--tt", "T1", "--ta", "A1", "--tg", "Jazz", tone,
                dir_ / "v1only.mp3"}) &&
          Tool({"lame", "--quiet", "-b", "128", "--id3v2-only", "--pad-id3v2-size", "20000", "--tt", "Pad", tone,
                dir_ / "padded.mp3"}) &&
          Tool({"ffmpeg",
                "-loglevel",
                "error",
                "-y",
                "-i",
                tone,
                "-c:a",
                "libmp3lame",
                "-b:a",
                "128k",
                "-metadata",
                "title=\xC3\x9Cn\xC3\xAF\x63ode \xE2\x98\x83",
                "-metadata",
                "artist=FA",
                "-metadata",
                "date=2010",
                "-metadata",
                "track=7/12",
                "-metadata",
                "composer=Comp",
                dir_ / "v24.mp3"}) &&
          // Serial numbers of their own: oggenc takes one from the clock, so two files made in
          // one second shared it and their chain read as one stream.
          Tool({"oggenc",
                "--quiet",
                "-q",
                "3",
                "--serial",
                "1",
                "-t",
                "Title",
                "-a",
                "Artist",
                "-l",
                "Album",
                "-N",
                "5",
                "-d",
                "2003-04-05",
                "-G",
                "Pop",
                "-c",
                "PERFORMER=Perf",
                "-c",
                "DESCRIPTION=Desc",
                tone,
                "-o",
                dir_ / "tags.ogg"}) &&
          Tool({"oggenc", "--quiet", "-q", "3", "--serial", "2", "-a", "Artist", "-c", "COMPOSER=Writer", tone, "-o",
                dir_ / "composer.ogg"}) &&
          Tool({"oggenc", "--quiet", "-q", "3", "--serial", "3", "-c", "PERFORMER=Only Performer", dir_ / "tone48.wav",
                "-o", dir_ / "rate48.ogg"}) &&
          MakeTone(dir_ / "tone22.wav", 10, 22050) &&
          Tool({"oggenc", "--quiet", "-q", "3", "--serial", "4", dir_ / "tone22.wav", "-o", dir_ / "rate22.ogg"}) &&
          MakeTone(dir_ / "long.wav", 75, 22050, 1) &&
          Tool({"oggenc", "--quiet", "-q", "-1", dir_ / "long.wav", "-o", dir_ / "long.ogg"}) && MakeFlac(16, 44100) &&
          MakeFlac(8, 22050) && MakeFlac(24, 48000) &&
          Tool({"ffmpeg",
                "-loglevel",
                "error",
                "-y",
                "-i",
                tone,
                "-c:a",
                "wmav2",
                "-b:a",
                "128k",
                "-metadata",
                "title=WTitle",
                "-metadata",
                "artist=WArtist",
                "-metadata",
                "album=WAlbum",
                "-metadata",
                "track=4",
                "-metadata",
                "WM/Year=1999",
                "-metadata",
                "genre=Jazz",
                "-metadata",
                "composer=WComp",
                "-metadata",
                "comment=WComment",
                dir_ / "tags.wma"}) &&
          Tool({"ffmpeg", "-loglevel", "error", "-y", "-i", tone, "-c:a", "wmav2", "-ar", "22050", "-b:a", "64k",
                dir_ / "rate22.wma"}) &&
          // "genre" becomes a "\xA9gen" text item; 48 kHz.
          Tool({"ffmpeg", "-loglevel", "error", "-y", "-i", dir_ / "tone48.wav", "-c:a", "aac", "-b:a", "128k",
                "-metadata", "genre=Trip-Hop", dir_ / "genre48.m4a"}) &&
          // 10.9 s: a rate over whole seconds would be 9 % high.
          Tool({"sox", "-n", "-r", "44100", "-c", "2", "-b", "16", dir_ / "tone109.wav", "synth", "10.9", "sine",
                "440"}) &&
          Tool({"ffmpeg", "-loglevel", "error", "-y", "-i", dir_ / "tone109.wav", "-c:a", "aac", "-b:a", "128k",
                dir_ / "frac.m4a"}) &&
          MakeFlacPicture() &&
          Tool({"ffmpeg",
                "-loglevel",
                "error",
                "-y",
                "-i",
                tone,
                "-c:a",
                "aac",
                "-b:a",
                "128k",
                "-metadata",
                "title=MTitle",
                "-metadata",
                "artist=MArtist",
                "-metadata",
                "album=MAlbum",
                "-metadata",
                "track=2/9",
                "-metadata",
                "disc=1/2",
                "-metadata",
                "date=2005",
                "-metadata",
                "composer=MComp",
                "-metadata",
                "comment=MCmt",
                "-metadata",
                "grouping=MGrp",
                dir_ / "tags.m4a"});
    if (!ok_) return;
    // A FLAC cut in its audio keeps its metadata; one cut in its metadata does not.
    const std::string flac = testing::ReadBytes(dir_ / "flac16.flac");
    testing::WriteBytes(dir_ / "cut.flac", flac.substr(0, flac.size() / 2));
    testing::WriteBytes(dir_ / "header.flac", flac.substr(0, 30));
    // A WMA file whose track is only the numeric attribute counted from 0.
    std::filesystem::copy_file(dir_ / "tags.wma", dir_ / "track.wma");
    TagLib::ASF::File wma((dir_ / "track.wma").c_str());
    wma.tag()->removeItem("WM/TrackNumber");
    wma.tag()->setAttribute("WM/Track", TagLib::ASF::Attribute(4u));
    ok_ = wma.save();
    // Two streams one after the other: a chained file.
    testing::WriteBytes(dir_ / "chained.ogg",
                        testing::ReadBytes(dir_ / "tags.ogg") + testing::ReadBytes(dir_ / "composer.ogg"));
    testing::WriteBytes(dir_ / "other.nvf", "nothing");
    // A FLAC file named as an MP3: read by what it holds.
    std::filesystem::copy_file(dir_ / "flac16.flac", dir_ / "flacnamed.mp3");
    std::filesystem::copy_file(dir_ / "cbr.mp3", dir_ / "mp3named.flac");
    MakeHandTags();
    testing::WriteBytes(dir_ / "noextension", "nothing");
  }

  bool ok() const { return ok_; }
  std::string Path(const std::string& name) const { return platform::FromPosixPath(dir_ / name); }
  std::string Posix(const std::string& name) const { return dir_ / name; }
  std::uint64_t Size(const std::string& name) const { return std::filesystem::file_size(dir_ / name); }

 private:
  // The same audio with and without a picture of 100 KB, and without padding.
  bool MakeFlacPicture() {
    const std::string picture = dir_ / "picture.png";
    testing::WriteBytes(picture, "\x89PNG\r\n\x1a\n" + std::string(100000, 'p'));
    return Tool({"flac", "--silent", "--force", "--no-padding", "-T", "TITLE=Plain", dir_ / "tone10.wav", "-o",
                 dir_ / "nopicture.flac"}) &&
           Tool({"flac", "--silent", "--force", "--no-padding", "-T", "TITLE=Plain",
                 "--picture=3|image/png||300x300x24|" + picture, dir_ / "tone10.wav", "-o", dir_ / "picture.flac"});
  }

  // ID3v2 tags the encoders do not write, in front of lame's audio: version 2.2, an
  // extended header (2.3, with and without CRC; 2.4 with a footer), several values, a
  // private comment, and a genre list.
  void MakeHandTags() {
    const std::string audio = testing::ReadBytes(dir_ / "notag.mp3");
    using testing::Be32;
    using testing::SynchSafe;
    const auto f2 = [](const std::string& id, const std::string& body) { return testing::Id3Frame(2, id, body); };
    const auto f3 = [](const std::string& id, const std::string& body) { return testing::Id3Frame(3, id, body); };
    const auto f4 = [](const std::string& id, const std::string& body) { return testing::Id3Frame(4, id, body); };
    const auto tag = [](int version, int flags, const std::string& body, const std::string& footer = {}) {
      return testing::Id3Tag(version, flags, body, footer);
    };
    const std::string t = std::string(1, '\0');
    testing::WriteBytes(dir_ / "v22.mp3",
                        tag(2, 0,
                            f2("TT2", t + "Title22") + f2("TP1", t + "Artist22") + f2("TAL", t + "Album22") +
                                f2("TRK", t + "4/9") + f2("TYE", t + "1994") + f2("TCO", t + "(13)") +
                                f2("COM", t + "eng" + t + "Comment22") + f2("TCM", t + "Comp22")) +
                            audio);
    const std::string frames3 =
        f3("TIT2", t + "Title3") + f3("TPE1", t + "Artist3") + f3("TALB", t + "Album3") + f3("TCON", t + "(17)(18)") +
        f3("TRCK", t + "3/12") + f3("TYER", t + "2003") +
        f3("COMM", t + "eng" + "iTunNORM" + t + " 0000044E 00000061 00009B67 000044C3 00022478");
    testing::WriteBytes(
        dir_ / "ext23.mp3",
        tag(3, 0x40, Be32(6) + std::string(2, '\0') + Be32(50) + frames3 + std::string(50, '\0')) + audio);
    testing::WriteBytes(dir_ / "crc23.mp3", tag(3, 0x40,
                                                Be32(10) + std::string("\x80\0", 2) + Be32(50) + Be32(0x12345678) +
                                                    frames3 + std::string(50, '\0')) +
                                                audio);
    const std::string body4 = SynchSafe(6) + std::string("\x01\0", 2) + f4("TIT2", "\3Title4") +
                              f4("TPE1", std::string("\3First Artist\0Second Artist", 27)) +
                              f4("TDRC",
                                 "\3"
                                 "2004-05-06") +
                              f4("TRCK",
                                 "\3"
                                 "6/7");
    testing::WriteBytes(dir_ / "extfoot24.mp3", tag(4, 0x50, body4,
                                                    "3DI" + std::string("\x04\0\x50", 3) +
                                                        SynchSafe(static_cast<std::uint32_t>(body4.size()))) +
                                                    audio);
  }

  bool MakeFlac(int bits, int rate) {
    const std::string wav = dir_ / ("flac" + std::to_string(bits) + ".wav");
    return MakeTone(wav, 10, rate, 2, bits) &&
           Tool({"flac", "--silent", "--force", "-T", "TITLE=F" + std::to_string(bits), "-T", "ARTIST=FArtist",
                 "-T", "PERFORMER=FPerformer", "-T", "TRACKNUMBER=9", "-T", "DATE=1987", "-T", "GENRE=Ambient",
                 "-T", "COMMENT=FComment", wav, "-o", dir_ / ("flac" + std::to_string(bits) + ".flac")});
  }

  ScratchFolder dir_;
  bool ok_ = false;
};

class AudioReadersTest : public TempHome {
 protected:
  static void SetUpTestSuite() { files_ = new AudioFiles(); }
  static void TearDownTestSuite() {
    delete files_;
    files_ = nullptr;
  }
  void SetUp() override {
    TempHome::SetUp();
    ASSERT_TRUE(files_->ok());
  }
  static AudioFiles* files_;
};

AudioFiles* AudioReadersTest::files_ = nullptr;

// What a read should give; built with the setters below, unset texts and numbers empty.
struct Expected {
  int result = 1;
  int length = -1;   // -1: not checked
  int bitrate = -1;  // -1: not checked
  int bitrateMax = -1;  // >= 0: the bitrate lies in [bitrate, bitrateMax]
  int sampleRate = 44100;
  std::string artist, album, title, genre, comment, composer, grouping;
  int track = 0, trackCount = 0, year = 0, disc = 0, discCount = 0;

  Expected& Result(int v) { result = v; return *this; }
  Expected& Length(int v) { length = v; return *this; }
  Expected& Bitrate(int v, int max = -1) { bitrate = v; bitrateMax = max; return *this; }
  Expected& Rate(int v) { sampleRate = v; return *this; }
  Expected& Texts(std::string ar, std::string al, std::string ti) {
    artist = std::move(ar); album = std::move(al); title = std::move(ti); return *this;
  }
  Expected& Genre(std::string v) { genre = std::move(v); return *this; }
  Expected& Comment(std::string v) { comment = std::move(v); return *this; }
  Expected& Composer(std::string v) { composer = std::move(v); return *this; }
  Expected& Grouping(std::string v) { grouping = std::move(v); return *this; }
  Expected& Track(int n, int count = 0) { track = n; trackCount = count; return *this; }
  Expected& Disc(int n, int count) { disc = n; discCount = count; return *this; }
  Expected& Year(int v) { year = v; return *this; }
};

TEST_F(AudioReadersTest, FilesOfEveryFormat) {
  // The average rate of a 10-second file from its size.
  const auto sizeRate = [](const std::string& file) { return static_cast<int>(files_->Size(file) * 8 / 10 / 1000); };
  struct Case {
    std::string file;
    Expected want;
  };
  const std::vector<Case> cases = {
      {"tone10.wav", Expected().Length(10).Bitrate(1411)},
      {"mono8.wav", Expected().Length(4).Bitrate(176).Rate(22050)},
      // CBR with an "Info" header and both tag kinds: the first frame header gives the rate.
      {"cbr.mp3", Expected()
                      .Length(10)
                      .Bitrate(128)
                      .Texts("Artist", "Album", "Title")
                      .Genre("Rock")
                      .Comment("Note")
                      .Track(3)
                      .Year(2001)},
      // VBR: the Xing frame count gives the average.
      {"vbr.mp3", Expected().Length(10).Bitrate(sizeRate("vbr.mp3") - 2, sizeRate("vbr.mp3"))},
      // 48 kHz VBR: the Xing rate uses the frame's own sample rate (44.1 kHz would give 21 s).
      {"vbr48.mp3",
       Expected().Length(20).Bitrate(sizeRate("vbr48.mp3") / 2 - 2, sizeRate("vbr48.mp3") / 2).Rate(48000)},
      {"mpeg2.mp3", Expected().Length(10).Bitrate(64).Rate(22050)},
      {"rate11.mp3", Expected().Length(10).Bitrate(32).Rate(11025)},
      {"rate8.mp3", Expected().Length(10).Bitrate(16).Rate(8000)},
      // No Xing header: the mean of the frames, not the first frame's rate.
      {"vbrnoxing.mp3", Expected().Length(10).Bitrate(sizeRate("vbrnoxing.mp3") - 2, sizeRate("vbrnoxing.mp3"))},
      {"notag.mp3", Expected().Length(10).Bitrate(128)},
      // Half a second: audio, though no whole second long.
      {"short.mp3", Expected().Length(0).Bitrate(128)},
      {"v1only.mp3", Expected().Length(10).Bitrate(128).Texts("A1", "", "T1").Genre("Jazz")},
      // A padded ID3v2 tag of 20 KB is skipped and not counted in the length.
      {"padded.mp3", Expected().Length(10).Bitrate(128).Texts("", "", "Pad")},
      // ID3v2.4 as ffmpeg writes it: UTF-8 texts, the year from TDRC, the composer.
      {"v24.mp3", Expected()
                      .Length(10)
                      .Bitrate(128)
                      .Texts("FA", "", "\xC3\x9Cn\xC3\xAF\x63ode \xE2\x98\x83")
                      .Composer("Comp")
                      .Track(7, 12)
                      .Year(2010)},
      // Tags the encoders do not write: version 2.2; extended headers, with and without a
      // CRC, and a footer; genre numbers and several values joined; a private note that
      // is no comment.
      {"v22.mp3", Expected()
                      .Length(10)
                      .Bitrate(128)
                      .Texts("Artist22", "Album22", "Title22")
                      .Genre("Pop")
                      .Comment("Comment22")
                      .Composer("Comp22")
                      .Track(4, 9)
                      .Year(1994)},
      {"ext23.mp3", Expected()
                        .Length(10)
                        .Bitrate(128)
                        .Texts("Artist3", "Album3", "Title3")
                        .Genre("Rock / Techno")
                        .Track(3, 12)
                        .Year(2003)},
      {"crc23.mp3", Expected()
                        .Length(10)
                        .Bitrate(128)
                        .Texts("Artist3", "Album3", "Title3")
                        .Genre("Rock / Techno")
                        .Track(3, 12)
                        .Year(2003)},
      {"extfoot24.mp3",
       Expected().Length(10).Bitrate(128).Texts("First Artist / Second Artist", "", "Title4").Track(6, 7).Year(2004)},
      // ARTIST is the artist; DESCRIPTION the comment.
      {"tags.ogg", Expected()
                       .Length(10)
                       .Bitrate(10, sizeRate("tags.ogg"))
                       .Texts("Artist", "Album", "Title")
                       .Genre("Pop")
                       .Comment("Desc")
                       .Track(5)
                       .Year(2003)},
      {"composer.ogg", Expected().Length(10).Texts("Artist", "", "").Composer("Writer")},
      // PERFORMER only where there is no ARTIST.
      {"rate48.ogg", Expected().Length(20).Rate(48000).Texts("Only Performer", "", "")},
      {"rate22.ogg", Expected().Length(10).Rate(22050)},
      // Chained: the whole length, the first stream's comments.
      {"chained.ogg",
       Expected().Length(20).Texts("Artist", "Album", "Title").Genre("Pop").Comment("Desc").Track(5).Year(2003)},
      // The audio frames over the playing time (metadata such as padding is no audio).
      {"flac16.flac", Expected()
                          .Length(10)
                          .Bitrate(sizeRate("flac16.flac") - 8, sizeRate("flac16.flac") - 5)
                          .Texts("FArtist", "", "F16")
                          .Genre("Ambient")
                          .Comment("FComment")
                          .Track(9)
                          .Year(1987)},
      {"flac8.flac", Expected()
                         .Length(10)
                         .Bitrate(sizeRate("flac8.flac") - 8, sizeRate("flac8.flac") - 5)
                         .Rate(22050)
                         .Texts("FArtist", "", "F8")
                         .Genre("Ambient")
                         .Comment("FComment")
                         .Track(9)
                         .Year(1987)},
      {"flac24.flac", Expected()
                          .Length(10)
                          .Bitrate(sizeRate("flac24.flac") - 8, sizeRate("flac24.flac") - 5)
                          .Rate(48000)
                          .Texts("FArtist", "", "F24")
                          .Genre("Ambient")
                          .Comment("FComment")
                          .Track(9)
                          .Year(1987)},
      // A picture is no audio: the same bitrate as without it.
      {"nopicture.flac", Expected()
                             .Length(10)
                             .Bitrate(sizeRate("nopicture.flac") - 1, sizeRate("nopicture.flac") + 1)
                             .Texts("", "", "Plain")},
      {"picture.flac", Expected()
                           .Length(10)
                           .Bitrate(sizeRate("nopicture.flac") - 1, sizeRate("nopicture.flac") + 1)
                           .Texts("", "", "Plain")},
      // Cut in the audio: the metadata still tells the whole length.
      {"cut.flac", Expected()
                       .Length(10)
                       .Bitrate(sizeRate("cut.flac") - 8, sizeRate("cut.flac") - 5)
                       .Texts("FArtist", "", "F16")
                       .Genre("Ambient")
                       .Comment("FComment")
                       .Track(9)
                       .Year(1987)},
      // Read by its content, not its name.
      {"flacnamed.mp3",
       Expected()
           .Length(10)
           .Bitrate(sizeRate("flac16.flac") - 8, sizeRate("flac16.flac") - 5)
           .Texts("FArtist", "", "F16")
           .Genre("Ambient")
           .Comment("FComment")
           .Track(9)
           .Year(1987)},
      {"mp3named.flac", Expected()
                            .Length(10)
                            .Bitrate(128)
                            .Texts("Artist", "Album", "Title")
                            .Genre("Rock")
                            .Comment("Note")
                            .Track(3)
                            .Year(2001)},
      {"header.flac", Expected().Result(kFlacChainUnreadable)},
      {"tags.wma", Expected()
                       .Length(10)
                       .Bitrate(128, 140)
                       .Texts("WArtist", "WAlbum", "WTitle")
                       .Genre("Jazz")
                       .Comment("WComment")
                       .Composer("WComp")
                       .Track(4)
                       .Year(1999)},
      // "WM/Track" 4 counts from 0.
      {"track.wma", Expected()
                        .Length(10)
                        .Texts("WArtist", "WAlbum", "WTitle")
                        .Genre("Jazz")
                        .Comment("WComment")
                        .Composer("WComp")
                        .Track(5)
                        .Year(1999)},
      {"rate22.wma", Expected().Length(10).Bitrate(60, 70).Rate(22050)},
      {"genre48.m4a", Expected().Length(20).Bitrate(120, 136).Rate(48000).Genre("Trip-Hop")},
      // The media over the exact playing time, not over its whole seconds.
      {"frac.m4a", Expected().Length(10).Bitrate(120, 136)},
      {"tags.m4a", Expected()
                       .Length(10)
                       .Bitrate(120, 136)
                       .Texts("MArtist", "MAlbum", "MTitle")
                       .Comment("MCmt")
                       .Composer("MComp")
                       .Grouping("MGrp")
                       .Track(2, 9)
                       .Disc(1, 2)
                       .Year(2005)},
      // No reader: path, size and codec are stored all the same.
      {"other.nvf", Expected().Result(0).Length(0).Bitrate(0)},
      {"noextension", Expected().Result(0).Length(0).Bitrate(0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    TrackRecord r;
    r.playCount = 7;
    r.rating = 60;
    const std::string path = files_->Path(c.file);
    EXPECT_EQ(ReadAudioFileTags(path, r), c.want.result);
    EXPECT_EQ(r.path.Str(), path);
    EXPECT_EQ(static_cast<std::uint32_t>(r.fileSize), static_cast<std::uint32_t>(files_->Size(c.file)));
    EXPECT_EQ(r.codec, GetCodecFromPath(path));
    EXPECT_EQ(r.playCount, 0);
    EXPECT_EQ(r.rating, 0);
    if (c.want.length >= 0) {
      EXPECT_EQ(r.length, c.want.length);
    }
    if (c.want.bitrate >= 0 && c.want.bitrateMax < 0) {
      EXPECT_EQ(r.bitrate, c.want.bitrate);
    }
    if (c.want.bitrateMax >= 0) {
      EXPECT_GE(r.bitrate, c.want.bitrate);
      EXPECT_LE(r.bitrate, c.want.bitrateMax);
    }
    EXPECT_EQ(r.sampleRate, c.want.sampleRate);
    EXPECT_EQ(r.artist.Str(), c.want.artist);
    EXPECT_EQ(r.album.Str(), c.want.album);
    EXPECT_EQ(r.title.Str(), c.want.title);
    EXPECT_EQ(r.genre.Str(), c.want.genre);
    EXPECT_EQ(r.comment.Str(), c.want.comment);
    EXPECT_EQ(r.composer.Str(), c.want.composer);
    EXPECT_EQ(r.grouping.Str(), c.want.grouping);
    EXPECT_EQ(r.trackNumber, c.want.track);
    EXPECT_EQ(r.trackCount, c.want.trackCount);
    EXPECT_EQ(r.year, c.want.year);
    EXPECT_EQ(r.discNumber, c.want.disc);
    EXPECT_EQ(r.discCount, c.want.discCount);
  }
}

// The length and bitrate of Ogg files as vorbisfile tells them.
TEST_F(AudioReadersTest, OggFactsAgreeWithVorbisfile) {
  for (const char* name : {"tags.ogg", "composer.ogg", "chained.ogg", "long.ogg"}) {
    SCOPED_TRACE(name);
    OggVorbis_File vf;
    ASSERT_EQ(ov_fopen(files_->Posix(name).c_str(), &vf), 0);
    const long bitrate = ov_bitrate(&vf, -1) / 1000;
    const int length = static_cast<int>(ov_time_total(&vf, -1));
    ov_clear(&vf);
    TrackRecord r;
    EXPECT_EQ(ReadAudioFileTags(files_->Path(name), r), 1);
    EXPECT_EQ(r.bitrate, bitrate);
    EXPECT_EQ(r.length, length);
  }
}

// The Ogg and FLAC libraries are loaded at the first read. On a computer without one (or
// with some other library under its name) a file of its format reads as a file that
// cannot be read: 0, and only what the caller stores; the other format still reads, and
// once the library is there again so does the file.
TEST_F(AudioReadersTest, WithoutItsLibraryAFileReadsAsUnreadable) {
  struct Case {
    const char* library;
    const char* to;
    const char* file;   // needs the library
    const char* other;  // does not
  };
  const Case cases[] = {
      {kOggLibraryName, "/nonexistent/libogg.so", "tags.ogg", "flac16.flac"},
      {kVorbisLibraryName, "/nonexistent/libvorbis.so", "tags.ogg", "flac16.flac"},
      // The page walk alone would read this file, but the reader takes all three or none.
      {kVorbisFileLibraryName, "/nonexistent/libvorbisfile.so", "tags.ogg", "flac16.flac"},
      {kVorbisFileLibraryName, "libz.so.1", "chained.ogg", "flac16.flac"},
      {kFlacLibraryName, "/nonexistent/libFLAC.so", "flac16.flac", "tags.ogg"},
      {kFlacLibraryName, "libz.so.1", "cut.flac", "chained.ogg"},
  };
  // Undone however the case ends, so no other test runs without the library.
  struct Redirect {
    const char* name;
    Redirect(const char* n, const char* to) : name(n) { platform::SharedLibrary::Redirect(name, to); }
    ~Redirect() { platform::SharedLibrary::Redirect(name, ""); }
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.library) + " -> " + c.to);
    const std::string path = files_->Path(c.file);
    {
      const Redirect away(c.library, c.to);
      TrackRecord r;
      r.artist.Set("kept");
      EXPECT_EQ(ReadAudioFileTags(path, r), 0);
      EXPECT_EQ(r.path.Str(), path);
      EXPECT_EQ(static_cast<std::uint32_t>(r.fileSize), static_cast<std::uint32_t>(files_->Size(c.file)));
      EXPECT_EQ(r.codec, GetCodecFromPath(path));
      EXPECT_EQ(r.artist.Str(), "kept");
      EXPECT_EQ(r.title.Str(), "");
      EXPECT_EQ(r.length, 0);
      EXPECT_EQ(r.bitrate, 0);
      TrackRecord other;
      EXPECT_EQ(ReadAudioFileTags(files_->Path(c.other), other), 1);
      EXPECT_GT(other.length, 0);
    }
    TrackRecord back;
    EXPECT_EQ(ReadAudioFileTags(path, back), 1);
    EXPECT_GT(back.length, 0);
    EXPECT_NE(back.title.Str(), "");
  }
}

// Each format's own entry point reads a file of its format as the common one does, and a
// file that cannot be opened as nothing, leaving the record as it was.
TEST_F(AudioReadersTest, EachFormatsEntryPointReadsItsFiles) {
  using Read = int (*)(std::string_view, TrackRecord&);
  struct Case {
    Read read;
    const char* file;  // null: no file of the format here (the book format needs its runtime)
  };
  const std::vector<Case> cases = {
      {ReadWavInfo, "tone10.wav"},   {ReadMp3Info, "cbr.mp3"},     {ReadWmaTags, "tags.wma"},
      {ReadFlacTags, "flac16.flac"}, {ReadOggTags, "tags.ogg"},    {ReadMp4Tags, "genre48.m4a"},
      {ReadAudibleTags, nullptr},
  };
  for (const Case& c : cases) {
    TrackRecord untouched;
    untouched.artist.Set("kept");
    TrackRecord missing = untouched;
    EXPECT_EQ(c.read(files_->Path("absent.bin"), missing), 0) << (c.file ? c.file : "book");
    EXPECT_EQ(TrackRecord::Compare(missing, untouched), 0) << (c.file ? c.file : "book");
    if (c.file == nullptr) continue;
    TrackRecord common;
    ASSERT_EQ(ReadAudioFileTags(files_->Path(c.file), common), 1) << c.file;
    TrackRecord own = common;  // the fields the common entry point sets before its reader
    own.artist.Set("");
    own.album.Set("");
    own.title.Set("");
    own.length = 0;
    own.bitrate = 0;
    EXPECT_EQ(c.read(files_->Path(c.file), own), 1) << c.file;
    EXPECT_EQ(TrackRecord::Compare(own, common), 0) << c.file << ": " << own.title.Str() << " / " << common.title.Str();
  }
}

TEST_F(AudioReadersTest, MissingFileStoresOnlyThePath) {
  TrackRecord r;
  r.artist.Set("kept");
  EXPECT_EQ(ReadAudioFileTags(files_->Path("absent.mp3"), r), 0);
  EXPECT_EQ(r.path.Str(), files_->Path("absent.mp3"));
  EXPECT_EQ(r.artist.Str(), "kept");
}

}  // namespace
}  // namespace transfer
