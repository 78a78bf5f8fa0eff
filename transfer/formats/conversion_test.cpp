// Decoders and encoders on files made by the usual tools: what each decoder writes against
// its source, what each encoder writes decoded back by an outside decoder, and the jobs'
// reports, failures and cancellation.
#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/media/codec_library.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "testing/audio_fixtures.h"
#include "testing/temp_home.h"
#include "transfer/conversion_job.h"
#include "transfer/conversion_rules.h"
#include "transfer/formats/audio_file_tags.h"
#include "transfer/formats/flac/flac_decoder.h"
#include "transfer/formats/mp3/mp3_encoder.h"
#include "transfer/formats/ogg/ogg_decoder.h"
#include "transfer/formats/wav/pcm_convert.h"
#include "transfer/formats/wav/wav_reader.h"
#include "transfer/formats/wma/wm_decoder.h"
#include "transfer/formats/wma/wma_encoder.h"

using namespace device;

namespace transfer {
namespace {

using testing::MakeTone;
using testing::ScratchFolder;
using testing::Tool;

// A stereo 44.1 kHz WAV file of 20-bit samples in 3-byte containers, as the extensible
// header describes them (the FLAC encoder then writes a 20-bit stream).
bool WriteTwentyBitWav(const std::string& path, int seconds) {
  auto le = [](std::uint32_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i) s += char(v >> (8 * i));
    return s;
  };
  const std::uint32_t frames = 44100u * seconds;
  std::string data;
  for (std::uint32_t i = 0; i < frames; ++i) {
    const auto v = static_cast<std::int32_t>(std::lround(std::sin(2 * M_PI * 440 * i / 44100) * (1 << 18)));
    const std::string sample = le(static_cast<std::uint32_t>(v) << 4, 3);
    data += sample + sample;
  }
  const std::string pcmGuid("\x01\0\0\0\0\0\x10\0\x80\0\0\xaa\0\x38\x9b\x71", 16);
  const std::string fmt = le(0xFFFE, 2) + le(2, 2) + le(44100, 4) + le(44100 * 6, 4) + le(6, 2) + le(24, 2) +
                          le(22, 2) + le(20, 2) + le(3, 4) + pcmGuid;
  const std::string body = "WAVEfmt " + le(static_cast<std::uint32_t>(fmt.size()), 4) + fmt + "data" +
                           le(static_cast<std::uint32_t>(data.size()), 4) + data;
  testing::WriteBytes(path, "RIFF" + le(static_cast<std::uint32_t>(body.size()), 4) + body);
  return true;
}

// The files, made once for the whole suite.
class ConversionFiles {
 public:
  ConversionFiles() {
    ok_ = MakeTone(dir_ / "tone.wav", 2) && MakeTone(dir_ / "mono8.wav", 1, 22050, 1, 8) &&
          MakeTone(dir_ / "mono48.wav", 2, 48000, 1) && MakeTone(dir_ / "hires.wav", 1, 96000, 2, 24) &&
          MakeTone(dir_ / "long.wav", 12) &&
          Tool({"lame", "--quiet", "-V", "4", dir_ / "tone.wav", dir_ / "vbr.mp3"}) &&
          Tool({"lame", "--quiet", "-b", "64", dir_ / "mono8.wav", dir_ / "mono.mp3"}) &&
          Tool({"lame", "--quiet", "-b", "128", dir_ / "long.wav", dir_ / "long.mp3"}) &&
          Tool({"ffmpeg", "-loglevel", "error", "-y", "-i", dir_ / "tone.wav", "-c:a", "wmav2", "-b:a", "128k",
                dir_ / "tone.wma"}) &&
          Tool({"ffmpeg", "-loglevel", "error", "-y", "-i", dir_ / "long.wav", "-c:a", "wmav2", "-b:a", "128k",
                dir_ / "long.wma"}) &&
          Tool({"oggenc", "--quiet", "-q", "3", dir_ / "mono48.wav", "-o", dir_ / "mono48.ogg"}) &&
          Tool({"oggenc", "--quiet", "-q", "3", dir_ / "tone.wav", "-o", dir_ / "tone.ogg"}) &&
          Tool({"oggenc", "--quiet", "-q", "3", dir_ / "long.wav", "-o", dir_ / "long.ogg"}) &&
          Tool({"flac", "--silent", "--force", dir_ / "tone.wav", "-o", dir_ / "tone.flac"}) &&
          Tool({"flac", "--silent", "--force", dir_ / "mono8.wav", "-o", dir_ / "mono8.flac"}) &&
          Tool({"flac", "--silent", "--force", dir_ / "hires.wav", "-o", dir_ / "hires.flac"}) &&
          Tool({"flac", "--silent", "--force", dir_ / "long.wav", "-o", dir_ / "long.flac"}) &&
          WriteTwentyBitWav(dir_ / "bits20.wav", 2) &&
          Tool({"flac", "--silent", "--force", dir_ / "bits20.wav", "-o", dir_ / "bits20.flac"});
    if (!ok_) return;
    // A chain of two streams of one format, and one of two formats.
    testing::WriteBytes(dir_ / "chained.ogg",
                        testing::ReadBytes(dir_ / "tone.ogg") + testing::ReadBytes(dir_ / "tone.ogg"));
    testing::WriteBytes(dir_ / "mixed.ogg",
                        testing::ReadBytes(dir_ / "tone.ogg") + testing::ReadBytes(dir_ / "mono48.ogg"));
    testing::WriteBytes(dir_ / "garbage.mp3", std::string(20000, 'x'));
    testing::WriteBytes(dir_ / "garbage.ogg", std::string(20000, 'x'));
    testing::WriteBytes(dir_ / "garbage.flac", std::string(20000, 'x'));
    // A WAV with a chunk after its data, which is not audio.
    const std::string tone = testing::ReadBytes(dir_ / "tone.wav");
    testing::WriteBytes(dir_ / "trailer.wav", tone + "LIST" + std::string("\x04\0\0\0", 4) + "INFO");
    // WAV files written while they were streamed: sizes of 0, and sizes never reached.
    std::string streamed = tone;
    streamed.replace(4, 4, std::string(4, '\0'));
    streamed.replace(40, 4, std::string(4, '\0'));
    testing::WriteBytes(dir_ / "streamed0.wav", streamed);
    streamed.replace(4, 4, std::string(4, '\xFF'));
    streamed.replace(40, 4, std::string(4, '\xFF'));
    testing::WriteBytes(dir_ / "streamedff.wav", streamed);
  }

  bool ok() const { return ok_; }
  std::string Path(const std::string& name) const { return platform::FromPosixPath(dir_ / name); }
  std::string Posix(const std::string& name) const { return dir_ / name; }

 private:
  ScratchFolder dir_;
  bool ok_ = false;
};

struct WavFacts {
  platform::WAVEFORMATEX format;
  std::uint64_t frames = 0;
};

// The format and sample frames of a WAV file (posix path).
WavFacts ReadWav(const std::string& posixPath) {
  WavFacts facts;
  FileSource source;
  if (!source.Open(platform::FromPosixPath(posixPath))) return facts;
  std::uint32_t offset = 0, bytes = 0;
  if (ReadWavChunks(source, facts.format, offset, &bytes) && facts.format.nBlockAlign)
    facts.frames = bytes / facts.format.nBlockAlign;
  return facts;
}

// What an outside decoder makes of a file: its WAV facts.
WavFacts DecodedByFfmpeg(const std::string& posixPath) {
  const std::string wav = posixPath + ".check.wav";
  if (!Tool({"ffmpeg", "-loglevel", "error", "-y", "-i", posixPath, "-f", "wav", wav})) return {};
  WavFacts facts = ReadWav(wav);
  std::filesystem::remove(wav);
  return facts;
}

bool Exists(const std::string& posixPath) { return std::filesystem::exists(posixPath); }

// The reports of one job, and a cancel that trips at the first progress report at or past
// a percentage.
struct Reports {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::array<int, 3>> seen;
  ConversionCancel cancel = MakeConversionCancel();
  int cancelAt = 1000;

  static void Callback(void* user, int state, int value, int maximum) {
    auto* r = static_cast<Reports*>(user);
    std::lock_guard<std::mutex> lock(r->mutex);
    r->seen.push_back({state, value, maximum});
    if (state == kConversionProgress && value >= r->cancelAt) r->cancel->store(true);
    r->changed.notify_all();
  }
  // Waits for the last report (state 2 or 3); its state and value.
  std::pair<int, int> WaitForEnd() {
    std::unique_lock<std::mutex> lock(mutex);
    const bool ended = changed.wait_for(lock, std::chrono::seconds(60), [this] {
      return !seen.empty() && seen.back()[0] >= kConversionDone;
    });
    if (!ended) return {-1, 0};
    return {seen.back()[0], seen.back()[1]};
  }
  // States 0 .. 3 in the order reported.
  std::vector<int> States() {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<int> states;
    for (const auto& s : seen) states.push_back(s[0]);
    return states;
  }
};

class ConversionTest : public TempHome {
 protected:
  static void SetUpTestSuite() { files_ = new ConversionFiles(); }
  static void TearDownTestSuite() {
    delete files_;
    files_ = nullptr;
  }
  void SetUp() override {
    TempHome::SetUp();
    ASSERT_TRUE(files_->ok());
    shared_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.sharedSettingsKey));
  }
  void TearDown() override {
    for (auto library : {platform::MediaLibrary::kMp3Lame, platform::MediaLibrary::kAvCodec})
      platform::SetMediaLibraryPath(library, "");
    TempHome::TearDown();
  }
  std::string Out(const std::string& name) const { return out_ / name; }
  std::string OutPath(const std::string& name) const { return platform::FromPosixPath(out_ / name); }

  // Runs a job on this thread; the result of its last report (0 for state 2).
  int Decode(const std::string& source, const std::string& destination, Reports& reports) {
    auto job = std::make_unique<ConversionJob>();
    job->source = files_->Path(source);
    job->destination = OutPath(destination);
    job->progress = Reports::Callback;
    job->user = &reports;
    job->step = 5;
    job->cancel = reports.cancel;
    DecodeJobThreadProc(std::move(job));
    return reports.seen.back()[0] == kConversionDone ? 0 : reports.seen.back()[1];
  }
  int Encode(const std::string& sourcePath, const std::string& destination, int codec, bool vbr, int value,
             Reports& reports) {
    auto job = std::make_unique<ConversionJob>();
    job->source = sourcePath;
    job->destination = OutPath(destination);
    job->targetCodec = codec;
    job->vbr = vbr;
    job->value = value;
    job->progress = Reports::Callback;
    job->user = &reports;
    job->step = 5;
    job->cancel = reports.cancel;
    EncodeJobThreadProc(std::move(job));
    return reports.seen.back()[0] == kConversionDone ? 0 : reports.seen.back()[1];
  }

  static ConversionFiles* files_;
  ScratchFolder out_;
  std::optional<platform::SettingsKey> shared_;
};

ConversionFiles* ConversionTest::files_ = nullptr;

TEST_F(ConversionTest, DecodersWriteTheSourcesSamples) {
  // Frames of the sources as sox made them.
  constexpr std::uint64_t kTone = 2 * 44100, kMono8 = 22050, kMono48 = 2 * 48000, kHires = 96000;
  const struct {
    const char* source;
    std::uint16_t channels, bits;
    std::uint32_t rate;
    std::uint64_t frames;  // expected
    std::uint64_t slack;   // allowed difference: a frame of the codec
  } cases[] = {
      // WAV is copied as it is.
      {"mono8.wav", 1, 8, 22050, kMono8, 0},
      // The media runtime gives the fixed format: 44.1 kHz stereo 16-bit.
      {"vbr.mp3", 2, 16, 44100, kTone, 1152},
      {"mono.mp3", 2, 16, 44100, kMono8 * 2, 2 * 1152},
      {"tone.wma", 2, 16, 44100, kTone, 2048},
      // Ogg and FLAC keep the stream's own rate, channels and sample size.
      {"mono48.ogg", 1, 16, 48000, kMono48, 0},
      {"tone.ogg", 2, 16, 44100, kTone, 0},
      {"chained.ogg", 2, 16, 44100, 2 * kTone, 0},
      // A chain of streams of two formats: the second converted to the first one's.
      {"mixed.ogg", 2, 16, 44100, 2 * kTone, 64},
      // A streamed WAV's copy declares its real sizes.
      {"streamed0.wav", 2, 16, 44100, kTone, 0},
      {"streamedff.wav", 2, 16, 44100, kTone, 0},
      {"tone.flac", 2, 16, 44100, kTone, 0},
      {"mono8.flac", 1, 8, 22050, kMono8, 0},
      {"hires.flac", 2, 24, 96000, kHires, 0},
      // 20-bit samples fill 24 bits.
      {"bits20.flac", 2, 24, 44100, kTone, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    Reports reports;
    const std::string out = std::string(c.source) + ".wav";
    ASSERT_EQ(Decode(c.source, out, reports), 0);
    const WavFacts facts = ReadWav(Out(out));
    EXPECT_EQ(facts.format.wFormatTag, platform::WAVE_FORMAT_PCM);
    EXPECT_EQ(facts.format.nChannels, c.channels);
    EXPECT_EQ(facts.format.nSamplesPerSec, c.rate);
    EXPECT_EQ(facts.format.wBitsPerSample, c.bits);
    EXPECT_EQ(facts.format.nBlockAlign, c.channels * c.bits / 8);
    EXPECT_EQ(facts.format.nAvgBytesPerSec, c.rate * c.channels * c.bits / 8);
    EXPECT_LE(facts.frames, c.frames + c.slack);
    EXPECT_GE(facts.frames + c.slack, c.frames);
    EXPECT_EQ(std::filesystem::file_size(Out(out)), kWavHeaderSize + facts.frames * facts.format.nBlockAlign);
  }
}

TEST_F(ConversionTest, DecodedSamplesAreTheSources) {
  // The lossless decoders give back the very samples: PCM of 8, 16, 20 and 24 bits.
  for (const char* name : {"tone", "mono8", "hires", "bits20"}) {
    SCOPED_TRACE(name);
    Reports reports;
    ASSERT_EQ(Decode(std::string(name) + ".flac", std::string(name) + ".out.wav", reports), 0);
    const std::string original = testing::ReadBytes(files_->Posix(std::string(name) + ".wav"));
    const std::string decoded = testing::ReadBytes(Out(std::string(name) + ".out.wav"));
    std::uint32_t offset = 0, bytes = 0;
    platform::WAVEFORMATEX format;
    MemorySource source(original.data(), original.size());
    ASSERT_TRUE(ReadWavChunks(source, format, offset, &bytes));
    EXPECT_TRUE(decoded.substr(kWavHeaderSize) == original.substr(offset, bytes));
  }
}

TEST_F(ConversionTest, DecoderFailuresLeaveNoOutput) {
  const struct {
    const char* source;
    int result;
  } cases[] = {
      {"garbage.mp3", kWmSourceNotOpened},  {"garbage.ogg", kOggNotOgg},
      {"garbage.flac", kFlacFileError},     {"missing.flac", kFlacDecoderNotInitialised},
      {"tone.m4a", kConversionNothingDone},  // no decoder for the format (and no file)
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    Reports reports;
    EXPECT_EQ(Decode(c.source, "out.wav", reports), c.result);
    EXPECT_EQ(reports.States().front(), kConversionStarted);
    EXPECT_EQ(reports.States().back(), kConversionFailed);
    EXPECT_FALSE(Exists(Out("out.wav")));
  }
}

TEST_F(ConversionTest, EncodersOutputDecodesToTheSourcesLength) {
  constexpr std::uint64_t kTone = 2 * 44100;
  const struct {
    const char* what;
    std::string source;
    int codec;
    bool vbr;
    int value;
    const char* out;
    std::uint64_t slack;
  } cases[] = {
      // A VBR header frame tells the decoder the encoder's delay and padding.
      {"mp3 vbr", files_->Path("tone.wav"), 2, true, 4, "vbr.mp3", 1152},
      // Without one, the decoder also gives the encoder's delay (576 + 529 samples).
      {"mp3 cbr", files_->Path("tone.wav"), 2, false, 128, "cbr.mp3", 1152 + 1105},
      {"wma cbr", files_->Path("tone.wav"), 3, false, 128, "cbr.wma", 2048},
      {"wma vbr", files_->Path("tone.wav"), 3, true, 50, "vbr.wma", 2048},
      {"wav", files_->Path("tone.wav"), 1, false, 128, "copy.wav", 0},
      // Sources in other formats are converted to 44.1 kHz stereo 16-bit first.
      {"wav from 22 kHz mono 8-bit", files_->Path("mono8.wav"), 1, false, 128, "up.wav", 0},
      {"wav from 96 kHz 24-bit", files_->Path("hires.wav"), 1, false, 128, "down.wav", 0},
      {"mp3 from 22 kHz mono", files_->Path("mono8.wav"), 2, false, 128, "up.mp3", 1152 + 1105},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Reports reports;
    ASSERT_EQ(Encode(c.source, c.out, c.codec, c.vbr, c.value, reports), 0);
    EXPECT_FALSE(Exists(Out(std::string(c.out) + ".tmp")));
    const WavFacts facts = DecodedByFfmpeg(Out(c.out));
    EXPECT_EQ(facts.format.nSamplesPerSec, 44100u);
    EXPECT_EQ(facts.format.nChannels, 2);
    const std::uint64_t expected = c.source == files_->Path("tone.wav") ? kTone : 44100;
    EXPECT_LE(facts.frames, expected + c.slack);
    EXPECT_GE(facts.frames + c.slack, expected);
  }
}

TEST_F(ConversionTest, EncodersUseTheChosenBitrate) {
  const struct {
    const char* what;
    int codec;
    bool vbr;
    int value;
    bool withoutBladeEnc;
    int kbps;
  } cases[] = {
      {"mp3 cbr 192", 2, false, 192, false, 192},
      // Through the ACM, a VBR quality is an index into the bitrate list: 4 is 160.
      {"mp3 acm quality 4", 2, true, 4, true, 160},
      {"mp3 acm cbr 96", 2, false, 96, true, 96},
      // An index past the 14-entry list takes its last entry.
      {"mp3 acm quality 128", 2, true, 128, true, 32},
      {"mp3 acm quality -3", 2, true, -3, true, 320},
      {"wma cbr 64", 3, false, 64, false, 64},
      {"wma cbr 128", 3, false, 128, false, 128},
      {"wma cbr unknown 150", 3, false, 150, false, 128},
      {"wma vbr 50", 3, true, 50, false, 128},
      {"wma vbr 10", 3, true, 10, false, 64},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    platform::SetMediaLibraryPath(platform::MediaLibrary::kMp3Lame, c.withoutBladeEnc ? "/nonexistent/lame.so" : "");
    Reports reports;
    const std::string out = c.codec == 2 ? "out.mp3" : "out.wma";
    ASSERT_EQ(Encode(files_->Path("long.wav"), out, c.codec, c.vbr, c.value, reports), 0);
    TrackRecord record;
    ASSERT_EQ(ReadAudioFileTags(OutPath(out), record), 1);
    EXPECT_NEAR(record.bitrate, c.kbps, c.kbps / 20 + 1);
  }
}

TEST_F(ConversionTest, ConvertedFilesTakeTheSourcesTags) {
  // The engine writes the source's tags into what the encoders made.
  platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey)
      .SetDword("ATM_TWB_UseV2", 1);
  for (const auto& [codec, name] : {std::pair{2, "out.mp3"}, std::pair{3, "out.wma"}}) {
    SCOPED_TRACE(name);
    Reports reports;
    ASSERT_EQ(Encode(files_->Path("tone.wav"), name, codec, codec == 2, codec == 2 ? 4 : 50, reports), 0);
    TrackRecord record;
    record.path.Set(OutPath(name));
    record.title.Set("Converted");
    record.artist.Set("Someone");
    record.trackNumber = 7;
    ASSERT_EQ(WriteAudioFileTags(record), 1);
    TrackRecord back;
    ASSERT_EQ(ReadAudioFileTags(OutPath(name), back), 1);
    EXPECT_EQ(back.title.Str(), "Converted");
    EXPECT_EQ(back.artist.Str(), "Someone");
    EXPECT_EQ(back.trackNumber, 7);
    EXPECT_EQ(back.length, 2);
  }
}

TEST_F(ConversionTest, VbrMp3CarriesItsHeaderFrame) {
  Reports reports;
  ASSERT_EQ(Encode(files_->Path("long.wav"), "vbr.mp3", 2, true, 2, reports), 0);
  const std::string bytes = testing::ReadBytes(Out("vbr.mp3"));
  // The first frame is the header, filled in once the stream was closed: the frame count
  // of 12 s (one frame of 1,152 samples is the header itself).
  const std::size_t xing = bytes.find("Xing");
  ASSERT_NE(xing, std::string::npos);
  ASSERT_LT(xing, 64u);
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + xing + 8);
  const std::uint32_t frames = BigEndian32(p);
  EXPECT_NEAR(frames, 12 * 44100 / 1152, 3);
}

TEST_F(ConversionTest, JobsReportProgressInStepsToTheWhole) {
  const struct {
    const char* what;
    bool encode;
    const char* source;
    int codec;
  } cases[] = {
      {"flac", false, "long.flac", 0}, {"mp3", false, "long.mp3", 0},   {"wma", false, "long.wma", 0},
      {"ogg", false, "long.ogg", 0},   {"to mp3", true, "long.wav", 2}, {"to wma", true, "long.wav", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Reports reports;
    const int result = c.encode ? Encode(files_->Path(c.source), "out.bin", c.codec, false, 128, reports)
                                : Decode(c.source, "out.wav", reports);
    ASSERT_EQ(result, 0);
    ASSERT_GE(reports.seen.size(), 3u);
    EXPECT_EQ(reports.seen.front(), (std::array<int, 3>{kConversionStarted, 0, 100}));
    EXPECT_EQ(reports.seen.back(), (std::array<int, 3>{kConversionDone, 100, 100}));
    int last = -1;
    for (std::size_t i = 1; i + 1 < reports.seen.size(); ++i) {
      EXPECT_EQ(reports.seen[i][0], kConversionProgress);
      EXPECT_EQ(reports.seen[i][1] % 5, 0);
      EXPECT_GT(reports.seen[i][1], last);
      EXPECT_EQ(reports.seen[i][2], 100);
      last = reports.seen[i][1];
    }
    EXPECT_EQ(last, 100);
  }
}

// With variable bitrates chosen and no quality stored, the engine's default is a sound one
// (the options page's), not the lowest the encoder has.
TEST_F(ConversionTest, DefaultVbrQualityIsASoundOne) {
  const EncoderSettings mp3 = ReadEncoderSettings(2);
  EXPECT_EQ(mp3.quality, 4);
  EXPECT_EQ(mp3.bitrate, 128);
  EXPECT_EQ(ReadEncoderSettings(3).quality, 50);
  // Beside the value the design read for a missing quality (128), which the encoder holds
  // to its lowest quality.
  const std::string noise = Out("noise.wav");  // a tone would need few bits at any quality
  ASSERT_TRUE(
      Tool({"sox", "-n", "-r", "44100", "-c", "2", "-b", "16", noise, "synth", "5", "pinknoise", "vol", "0.3"}));
  int bitrates[2] = {};
  for (const int i : {0, 1}) {
    Reports reports;
    const std::string out = i == 0 ? "default.mp3" : "lowest.mp3";
    ASSERT_EQ(Encode(platform::FromPosixPath(noise), out, 2, true, i == 0 ? mp3.quality : 128, reports), 0);
    TrackRecord r;
    ASSERT_EQ(ReadAudioFileTags(platform::FromPosixPath(Out(out)), r), 1);
    bitrates[i] = r.bitrate;
  }
  EXPECT_GT(bitrates[0], bitrates[1] * 5 / 4);
}

TEST_F(ConversionTest, ProgressSkipsWhatIsNotANewMultipleOfTheStep) {
  std::vector<int> seen;
  auto record = [](void* user, int, int value, int) { static_cast<std::vector<int>*>(user)->push_back(value); };
  ProgressReporter step5(record, &seen, 5);
  for (std::uint64_t done : {0, 1, 4, 5, 5, 7, 10, 99, 100, 100, 120}) step5.Report(done, 100);
  EXPECT_EQ(seen, (std::vector<int>{0, 5, 10, 100}));
  seen.clear();
  ProgressReporter step0(record, &seen, 0);  // taken as 1
  step0.Report(3, 10);
  step0.Report(3, 0);  // no total: nothing to say
  EXPECT_EQ(seen, (std::vector<int>{30}));
}

TEST_F(ConversionTest, CancelledJobsLeaveNoFileBehind) {
  const struct {
    const char* what;
    bool encode;
    std::string source;
    int codec;
    const char* out;
    int cancelAt;  // percent; -1: before the job starts
  } cases[] = {
      {"decode mp3", false, files_->Path("long.mp3"), 0, "out.wav", 5},
      {"decode wma", false, files_->Path("long.wma"), 0, "out.wav", 5},
      {"decode ogg", false, files_->Path("long.ogg"), 0, "out.wav", 5},
      {"decode flac", false, files_->Path("long.flac"), 0, "out.wav", 5},
      {"decode wav", false, files_->Path("long.wav"), 0, "out.wav", -1},
      {"encode mp3", true, files_->Path("long.wav"), 2, "out.mp3", 5},
      {"encode wma", true, files_->Path("long.wav"), 3, "out.wma", 5},
      // Cancelled while the conversion to the fixed format runs into the temporary file.
      {"encode wav from 24-bit", true, files_->Path("hires.wav"), 1, "out.wav", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string before = testing::ReadBytes(platform::ToPosixPath(c.source));
    Reports reports;
    reports.cancelAt = c.cancelAt;
    if (c.cancelAt < 0) reports.cancel->store(true);
    if (c.encode) {
      StartEncodeJob(c.source, OutPath(c.out), c.codec, false, 128, Reports::Callback, &reports, 5, reports.cancel);
    } else {
      StartDecodeJob(c.source, OutPath(c.out), Reports::Callback, &reports, 5, reports.cancel);
    }
    EXPECT_EQ(reports.WaitForEnd(), std::make_pair(kConversionFailed, kConversionCancelled));
    EXPECT_FALSE(Exists(Out(c.out)));
    EXPECT_FALSE(Exists(Out(std::string(c.out) + ".tmp")));
    EXPECT_TRUE(testing::ReadBytes(platform::ToPosixPath(c.source)) == before);
  }
}

TEST_F(ConversionTest, EncodeFailuresEndTheJob) {
  const struct {
    const char* what;
    std::string source;
    int codec;
    int result;
  } cases[] = {
      // No encoder for the format: a failure, not a success with no file.
      {"no encoder", files_->Path("tone.wav"), 10, kConversionNothingDone},
      {"no source", files_->Path("missing.wav"), 2, kAcmStreamNotOpened},
      // The conversion to the fixed format fails: the encoder never runs.
      {"not pcm", files_->Path("tone.flac"), 1, kAcmStreamNotOpened},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Reports reports;
    EXPECT_EQ(Encode(c.source, "out.bin", c.codec, false, 128, reports), c.result);
    EXPECT_EQ(reports.States(), (std::vector<int>{kConversionStarted, kConversionFailed}));
    EXPECT_FALSE(Exists(Out("out.bin")));
    EXPECT_FALSE(Exists(Out("out.bin.tmp")));
  }
}

TEST_F(ConversionTest, AJobNeverWritesOverItsSource) {
  std::filesystem::copy_file(files_->Posix("tone.wav"), Out("self.wav"));
  const std::string before = testing::ReadBytes(Out("self.wav"));
  Reports encode, decode;
  EXPECT_EQ(Encode(OutPath("self.wav"), "self.wav", 1, false, 128, encode), kConversionNothingDone);
  auto job = std::make_unique<ConversionJob>();
  job->source = job->destination = OutPath("self.wav");
  job->progress = Reports::Callback;
  job->user = &decode;
  DecodeJobThreadProc(std::move(job));
  EXPECT_EQ(decode.seen.back()[0], kConversionFailed);
  EXPECT_TRUE(testing::ReadBytes(Out("self.wav")) == before);
}

TEST_F(ConversionTest, TheDataChunkBoundsWhatIsConverted) {
  // The chunk after the samples is not converted as sound.
  const platform::WAVEFORMATEX fixed = FixedPcmFormat();
  ConversionJob job;
  job.source = files_->Path("trailer.wav");
  ProgressReporter silent(nullptr, nullptr, 1);
  ASSERT_EQ(ConvertWithAcm(job, OutPath("same.wav"), fixed, fixed, silent), 0);
  EXPECT_EQ(ReadWav(Out("same.wav")).frames, 2u * 44100);
}

TEST_F(ConversionTest, MissingLibrariesAreReported) {
  Reports reports;
  shared_->SetString("libFLAC.dll", "/nonexistent/libFLAC.so");
  EXPECT_EQ(Decode("tone.flac", "out.wav", reports), kFlacLibraryMissing);
  Reports ogg;
  shared_->SetString("vorbis.dll", "libz.so.1");  // loads, but is not the library
  EXPECT_EQ(Decode("tone.ogg", "out.wav", ogg), kOggLibraryMissing);
  platform::SetMediaLibraryPath(platform::MediaLibrary::kAvCodec, "/nonexistent/libavcodec.so");
  Reports mp3, wma;
  EXPECT_EQ(Decode("vbr.mp3", "out.wav", mp3), kWmRuntimeMissing);
  EXPECT_EQ(Encode(files_->Path("tone.wav"), "out.wma", 3, false, 128, wma), kWmaRuntimeMissing);
  EXPECT_FALSE(Exists(Out("out.wav")));
  EXPECT_FALSE(Exists(Out("out.wma")));
}

}  // namespace
}  // namespace transfer
