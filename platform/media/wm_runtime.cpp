#include "platform/media/wm_runtime.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/media/ffmpeg_api.h"
#include "platform/media/pcm.h"

namespace platform {

namespace {

constexpr std::uint64_t kHundredNanoseconds = 10000000;

// One format of the codec's list.
struct FormatRow {
  std::uint32_t rate;
  std::uint16_t channels;
  std::uint32_t kbps;
  std::uint32_t quality;  // VBR formats only
};

// Quality-based formats, best first. The encoder at hand has no VBR mode of its own, so a
// quality is encoded at a constant bitrate that matches it.
constexpr FormatRow kVbrFormats[] = {
    {44100, 2, 256, 98}, {44100, 2, 192, 90}, {44100, 2, 160, 75},
    {44100, 2, 128, 50}, {44100, 2, 96, 25},  {44100, 2, 64, 10},
};

// Constant-bitrate formats in the runtime's order: by rate and channels, highest bitrate
// first; 44.1 kHz stereo at 24 to 33.
constexpr FormatRow kCbrFormats[] = {
    {48000, 2, 320, 0}, {48000, 2, 256, 0}, {48000, 2, 192, 0}, {48000, 2, 160, 0}, {48000, 2, 128, 0},
    {48000, 2, 96, 0},  {48000, 2, 80, 0},  {48000, 2, 64, 0},  {48000, 2, 48, 0},  {48000, 2, 32, 0},
    {32000, 2, 128, 0}, {32000, 2, 96, 0},  {32000, 2, 80, 0},  {32000, 2, 64, 0},  {32000, 2, 48, 0},
    {32000, 2, 40, 0},  {32000, 2, 32, 0},  {32000, 2, 24, 0},  {22050, 1, 64, 0},  {22050, 1, 48, 0},
    {22050, 1, 40, 0},  {22050, 1, 32, 0},  {22050, 1, 24, 0},  {22050, 1, 20, 0},  {44100, 2, 320, 0},
    {44100, 2, 256, 0}, {44100, 2, 192, 0}, {44100, 2, 160, 0}, {44100, 2, 128, 0}, {44100, 2, 96, 0},
    {44100, 2, 80, 0},  {44100, 2, 64, 0},  {44100, 2, 48, 0},  {44100, 2, 32, 0},  {44100, 1, 64, 0},
    {44100, 1, 48, 0},  {44100, 1, 32, 0},
};

WAVEFORMATEX Pcm16(std::uint32_t rate, std::uint16_t channels) {
  WAVEFORMATEX f;
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = channels;
  f.nSamplesPerSec = rate;
  f.wBitsPerSample = 16;
  f.nBlockAlign = static_cast<std::uint16_t>(2 * channels);
  f.nAvgBytesPerSec = rate * f.nBlockAlign;
  return f;
}

WmMediaType PcmType(const WAVEFORMATEX& format) {
  WmMediaType t;
  t.format = format;
  t.sampleSize = format.nBlockAlign;
  return t;
}

}  // namespace

bool WmMediaProps::SetMediaType(const WmMediaType& type) {
  PcmSpec spec;
  if (!type.audio || !type.pcm || !PcmSpecOf(type.format, spec)) return false;
  type_ = type;
  return true;
}

// ----- reader -----

struct WmSyncReader::State {
  const FfmpegApi* api = nullptr;
  AVFormatContext* format = nullptr;
  AVCodecContext* decoder = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  int streamIndex = -1;
  WmMediaProps output;
  PcmSpec outSpec;
  std::unique_ptr<Resampler> resampler;
  int inFormat = -1, inChannels = 0, inRate = 0;  // what the resampler was opened for
  bool packetsDone = false, decoderDone = false, drained = false;
  std::uint64_t framesOut = 0;
  int errors = 0;

  ~State() { Close(); }
  void Close() {
    if (!api) return;
    api->av_frame_free(&frame);
    api->av_packet_free(&packet);
    api->avcodec_free_context(&decoder);
    if (format) api->avformat_close_input(&format);
    resampler.reset();
    streamIndex = -1;
  }

  // Converts a decoded frame (null: what the resampler holds) into `out`; false on error.
  bool Convert(const AVFrame* f, std::vector<std::uint8_t>& out) {
    if (f && (!resampler || inFormat != f->format || inChannels != f->ch_layout.nb_channels ||
              inRate != f->sample_rate)) {
      resampler = std::make_unique<Resampler>(*api);
      inFormat = f->format;
      inChannels = f->ch_layout.nb_channels;
      inRate = f->sample_rate;
      if (!resampler->Open(static_cast<AVSampleFormat>(inFormat), inChannels, inRate, outSpec.format,
                           outSpec.channels, outSpec.rate)) {
        resampler.reset();
        return false;
      }
    }
    if (!resampler) return true;
    const int capacity = std::max(resampler->MaxOut(f ? f->nb_samples : 0), 1);
    out.resize(std::size_t(capacity) * outSpec.FrameBytes());
    std::uint8_t* plane = out.data();
    const int n = resampler->Convert(f ? f->extended_data : nullptr, f ? f->nb_samples : 0, &plane, capacity);
    if (n < 0) return false;
    out.resize(std::size_t(n) * outSpec.FrameBytes());
    return true;
  }
};

WmSyncReader::WmSyncReader() : state_(std::make_unique<State>()) {}
WmSyncReader::~WmSyncReader() = default;

bool WmSyncReader::Open(const std::string& posixPath) {
  state_ = std::make_unique<State>();
  State& s = *state_;
  s.api = LoadFfmpeg();
  if (!s.api) return false;
  const FfmpegApi& api = *s.api;
  if (api.avformat_open_input(&s.format, posixPath.c_str(), nullptr, nullptr) < 0) return false;
  if (api.avformat_find_stream_info(s.format, nullptr) < 0) return false;
  const AVCodec* codec = nullptr;
  s.streamIndex = api.av_find_best_stream(s.format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (s.streamIndex < 0 || !codec) return false;
  s.decoder = api.avcodec_alloc_context3(codec);
  s.packet = api.av_packet_alloc();
  s.frame = api.av_frame_alloc();
  if (!s.decoder || !s.packet || !s.frame) return false;
  if (api.avcodec_parameters_to_context(s.decoder, s.format->streams[s.streamIndex]->codecpar) < 0) return false;
  if (api.avcodec_open2(s.decoder, codec, nullptr) < 0) return false;
  const int rate = s.decoder->sample_rate;
  const int channels = s.decoder->ch_layout.nb_channels;
  if (rate <= 0 || channels <= 0 || channels > 8) return false;
  s.output.SetMediaType(PcmType(Pcm16(static_cast<std::uint32_t>(rate), static_cast<std::uint16_t>(channels))));
  PcmSpecOf(s.output.MediaType().format, s.outSpec);
  return true;
}

bool WmSyncReader::GetOutputProps(std::uint32_t output, WmMediaProps& props) const {
  if (output != 0 || state_->streamIndex < 0) return false;
  props = state_->output;
  return true;
}

bool WmSyncReader::SetOutputProps(std::uint32_t output, const WmMediaProps& props) {
  State& s = *state_;
  if (output != 0 || s.streamIndex < 0) return false;
  PcmSpec spec;
  // The reader gives whole samples of 1, 2, 4 or 8 bytes.
  if (!PcmSpecOf(props.MediaType().format, spec) || spec.fileBytes == 3) return false;
  s.output = props;
  s.outSpec = spec;
  s.resampler.reset();
  return true;
}

bool WmSyncReader::GetDuration(std::uint64_t& duration) const {
  const State& s = *state_;
  if (!s.format || s.format->duration == AV_NOPTS_VALUE || s.format->duration <= 0) return false;
  duration = static_cast<std::uint64_t>(s.format->duration) * (kHundredNanoseconds / AV_TIME_BASE);
  return true;
}

int WmSyncReader::GetNextSample(std::uint16_t /*stream*/, std::vector<std::uint8_t>& sample,
                                std::uint64_t& sampleTime, std::uint64_t& duration) {
  State& s = *state_;
  if (s.streamIndex < 0) return -1;
  const FfmpegApi& api = *s.api;
  sample.clear();
  while (sample.empty()) {
    if (!s.decoderDone) {
      const int r = api.avcodec_receive_frame(s.decoder, s.frame);
      if (r == 0) {
        const bool ok = s.Convert(s.frame, sample);
        api.av_frame_unref(s.frame);
        if (!ok) return -1;
        s.errors = 0;
      } else if (r == AVERROR(EAGAIN)) {
        if (api.av_read_frame(s.format, s.packet) < 0) {
          s.packetsDone = true;
          api.avcodec_send_packet(s.decoder, nullptr);
        } else {
          // A damaged packet is skipped, as players do; only a long run of them ends the read.
          if (s.packet->stream_index == s.streamIndex && api.avcodec_send_packet(s.decoder, s.packet) < 0 &&
              ++s.errors > 1000) {
            api.av_packet_unref(s.packet);
            return -1;
          }
          api.av_packet_unref(s.packet);
        }
      } else if (r == AVERROR_EOF) {
        s.decoderDone = true;
      } else if (++s.errors > 1000) {
        return -1;
      }
    } else if (!s.drained) {
      s.drained = true;
      if (!s.Convert(nullptr, sample)) return -1;
    } else {
      return NS_E_NO_MORE_SAMPLES;
    }
  }
  const std::uint64_t frames = sample.size() / static_cast<std::size_t>(s.outSpec.FrameBytes());
  const auto rate = static_cast<std::uint64_t>(s.outSpec.rate);
  sampleTime = s.framesOut * kHundredNanoseconds / rate;
  s.framesOut += frames;
  duration = s.framesOut * kHundredNanoseconds / rate - sampleTime;
  return 0;
}

void WmSyncReader::Close() { state_->Close(); }

// ----- profiles -----

bool WmStreamConfig::SetStreamName(const std::string& name) {
  streamName = name;
  return true;
}

bool WmStreamConfig::SetConnectionName(const std::string& name) {
  connectionName = name;
  return true;
}

bool WmStreamConfig::SetStreamNumber(std::uint16_t number) {
  if (number < 1 || number > 63) return false;
  streamNumber = number;
  return true;
}

bool WmProfile::AddStream(const WmStreamConfig& config) {
  if (config.streamNumber == 0) return false;
  for (const WmStreamConfig& s : streams_)
    if (s.streamNumber == config.streamNumber) return false;
  streams_.push_back(config);
  return true;
}

bool WmCodecInfo::SetCodecEnumerationSetting(std::uint32_t codecIndex, const std::string& name, std::uint32_t value) {
  if (codecIndex != 0) return false;
  if (name == "_VBRENABLED") {
    vbr_ = value != 0;
    return true;
  }
  if (name == "_PASSESUSED") return value == 1;
  return false;
}

std::uint32_t WmCodecInfo::GetCodecFormatCount(std::uint32_t codecIndex) const {
  if (codecIndex != 0) return 0;
  return static_cast<std::uint32_t>(vbr_ ? std::size(kVbrFormats) : std::size(kCbrFormats));
}

std::unique_ptr<WmStreamConfig> WmCodecInfo::GetCodecFormat(std::uint32_t codecIndex, std::uint32_t formatIndex) const {
  if (formatIndex >= GetCodecFormatCount(codecIndex)) return nullptr;
  const FormatRow& row = vbr_ ? kVbrFormats[formatIndex] : kCbrFormats[formatIndex];
  auto config = std::make_unique<WmStreamConfig>();
  config->bitrate = row.kbps * 1000;
  config->vbr = vbr_;
  config->vbrQuality = row.quality;
  config->sampleRate = row.rate;
  config->channels = row.channels;
  return config;
}

std::unique_ptr<WmProfile> WmProfileManager::CreateEmptyProfile(std::uint32_t version) const {
  switch (version) {
    case 0x00040000:
    case 0x00070000:
    case 0x00080000:
    case WMT_VER_9_0: return std::make_unique<WmProfile>(version);
    default: return nullptr;
  }
}

bool WmBuffer::SetLength(std::uint32_t length) {
  if (length > bytes_.size()) return false;
  length_ = length;
  return true;
}

// ----- writer -----

struct WmWriter::State {
  const FfmpegApi* api = nullptr;
  bool haveProfile = false;
  WmStreamConfig stream;
  WmMediaProps input;
  std::string path;
  AVFormatContext* format = nullptr;
  AVCodecContext* encoder = nullptr;
  AVStream* avStream = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  std::unique_ptr<PcmConverter> converter;  // input format to float at the codec's rate
  std::vector<std::uint8_t> carry;           // the start of a frame split between samples
  std::vector<std::uint8_t> converted;
  std::vector<std::vector<float>> planes;   // converted samples waiting for a whole frame
  int frameSize = 0;
  std::int64_t pts = 0;
  bool writing = false, fileOpen = false;

  ~State() { Release(); }
  void Release() {
    if (!api) return;
    if (format) {
      if (fileOpen) api->avio_closep(&format->pb);
      api->avformat_free_context(format);
      format = nullptr;
    }
    fileOpen = false;
    api->av_frame_free(&frame);
    api->av_packet_free(&packet);
    api->avcodec_free_context(&encoder);
    writing = false;
  }

  bool WritePackets() {
    for (;;) {
      const int r = api->avcodec_receive_packet(encoder, packet);
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
      if (r < 0) return false;
      packet->stream_index = avStream->index;
      api->av_packet_rescale_ts(packet, encoder->time_base, avStream->time_base);
      if (api->av_interleaved_write_frame(format, packet) < 0) return false;
    }
  }

  // Encodes `count` frames from the front of the planes (zeros past what they hold).
  bool EncodeFrame(int count) {
    frame->nb_samples = count;
    frame->format = encoder->sample_fmt;
    frame->sample_rate = encoder->sample_rate;
    if (api->av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout) < 0) return false;
    if (api->av_frame_get_buffer(frame, 0) < 0) return false;
    for (std::size_t c = 0; c < planes.size(); ++c) {
      auto* out = reinterpret_cast<float*>(frame->data[c]);
      const std::size_t have = std::min<std::size_t>(planes[c].size(), std::size_t(count));
      std::copy_n(planes[c].begin(), have, out);
      std::fill(out + have, out + count, 0.0f);
      planes[c].erase(planes[c].begin(), planes[c].begin() + static_cast<std::ptrdiff_t>(have));
    }
    frame->pts = pts;
    pts += count;
    const int sent = api->avcodec_send_frame(encoder, frame);
    api->av_frame_unref(frame);
    return sent >= 0 && WritePackets();
  }

  // Splits interleaved float samples into the planes and encodes every whole frame.
  bool Queue(const std::vector<std::uint8_t>& interleaved) {
    const std::size_t channels = planes.size();
    const std::size_t samples = interleaved.size() / sizeof(float);
    const auto* f = reinterpret_cast<const float*>(interleaved.data());
    for (std::size_t i = 0; i < samples; ++i) planes[i % channels].push_back(f[i]);
    while (planes[0].size() >= std::size_t(frameSize))
      if (!EncodeFrame(frameSize)) return false;
    return true;
  }
};

WmWriter::WmWriter() : state_(std::make_unique<State>()) { state_->api = LoadFfmpeg(); }
WmWriter::~WmWriter() = default;

bool WmWriter::SetProfile(const WmProfile& profile) {
  State& s = *state_;
  if (s.writing || profile.Streams().size() != 1) return false;
  const WmStreamConfig& c = profile.Streams().front();
  if (c.sampleRate == 0 || c.channels == 0 || c.bitrate == 0) return false;
  s.stream = c;
  s.haveProfile = true;
  s.input.SetMediaType(PcmType(Pcm16(c.sampleRate, c.channels)));
  return true;
}

bool WmWriter::GetInputProps(std::uint32_t input, WmMediaProps& props) const {
  if (input != 0 || !state_->haveProfile) return false;
  props = state_->input;
  return true;
}

bool WmWriter::SetInputProps(std::uint32_t input, const WmMediaProps& props) {
  State& s = *state_;
  if (input != 0 || !s.haveProfile || s.writing) return false;
  PcmSpec spec;
  if (!PcmSpecOf(props.MediaType().format, spec)) return false;
  s.input = props;
  return true;
}

bool WmWriter::SetOutputFilename(const std::string& posixPath) {
  if (posixPath.empty() || state_->writing) return false;
  state_->path = posixPath;
  return true;
}

bool WmWriter::BeginWriting() {
  State& s = *state_;
  if (!s.api || !s.haveProfile || s.path.empty() || s.writing) return false;
  const FfmpegApi& api = *s.api;
  const AVCodec* codec = api.avcodec_find_encoder(AV_CODEC_ID_WMAV2);
  if (!codec) return false;
  if (api.avformat_alloc_output_context2(&s.format, nullptr, "asf", s.path.c_str()) < 0 || !s.format) {
    s.Release();
    return false;
  }
  s.encoder = api.avcodec_alloc_context3(codec);
  s.packet = api.av_packet_alloc();
  s.frame = api.av_frame_alloc();
  s.avStream = api.avformat_new_stream(s.format, nullptr);
  if (!s.encoder || !s.packet || !s.frame || !s.avStream) {
    s.Release();
    return false;
  }
  s.encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
  s.encoder->sample_rate = static_cast<int>(s.stream.sampleRate);
  s.encoder->bit_rate = s.stream.bitrate;
  s.encoder->time_base = AVRational{1, s.encoder->sample_rate};
  api.av_channel_layout_default(&s.encoder->ch_layout, s.stream.channels);
  if (s.format->oformat->flags & AVFMT_GLOBALHEADER) s.encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (api.avcodec_open2(s.encoder, codec, nullptr) < 0 ||
      api.avcodec_parameters_from_context(s.avStream->codecpar, s.encoder) < 0) {
    s.Release();
    return false;
  }
  s.avStream->time_base = s.encoder->time_base;
  s.frameSize = s.encoder->frame_size > 0 ? s.encoder->frame_size : 2048;

  WAVEFORMATEX floats;
  floats.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
  floats.nChannels = s.stream.channels;
  floats.nSamplesPerSec = s.stream.sampleRate;
  floats.wBitsPerSample = 32;
  floats.nBlockAlign = static_cast<std::uint16_t>(4 * s.stream.channels);
  floats.nAvgBytesPerSec = floats.nSamplesPerSec * floats.nBlockAlign;
  s.converter = std::make_unique<PcmConverter>(api);
  if (!s.converter->Open(s.input.MediaType().format, floats)) {
    s.Release();
    return false;
  }
  s.planes.assign(s.stream.channels, {});
  s.carry.clear();
  s.pts = 0;
  if (api.avio_open(&s.format->pb, s.path.c_str(), AVIO_FLAG_WRITE) < 0) {
    s.Release();
    return false;
  }
  s.fileOpen = true;
  if (api.avformat_write_header(s.format, nullptr) < 0) {
    s.Release();
    return false;
  }
  s.writing = true;
  return true;
}

std::unique_ptr<WmBuffer> WmWriter::AllocateSample(std::uint32_t size) const {
  if (size == 0) return nullptr;
  return std::make_unique<WmBuffer>(size);
}

bool WmWriter::WriteSample(std::uint32_t input, std::uint64_t /*sampleTime*/, std::uint32_t /*flags*/,
                           const WmBuffer& sample) {
  State& s = *state_;
  if (input != 0 || !s.writing) return false;
  const std::uint8_t* bytes = const_cast<WmBuffer&>(sample).Buffer();
  s.carry.insert(s.carry.end(), bytes, bytes + sample.Length());
  const std::size_t frameBytes = static_cast<std::size_t>(s.converter->From().FrameBytes());
  const std::size_t frames = s.carry.size() / frameBytes;
  if (frames == 0) return true;
  s.converted.clear();
  if (!s.converter->Convert(s.carry.data(), static_cast<int>(frames), s.converted)) return false;
  s.carry.erase(s.carry.begin(), s.carry.begin() + static_cast<std::ptrdiff_t>(frames * frameBytes));
  return s.Queue(s.converted);
}

bool WmWriter::EndWriting() {
  State& s = *state_;
  if (!s.writing) return false;
  const FfmpegApi& api = *s.api;
  s.converted.clear();
  bool ok = s.converter->Convert(nullptr, 0, s.converted) && s.Queue(s.converted);
  // The encoder takes whole frames only: the last one is filled with silence.
  if (ok && !s.planes[0].empty()) ok = s.EncodeFrame(s.frameSize);
  ok = ok && api.avcodec_send_frame(s.encoder, nullptr) >= 0 && s.WritePackets();
  ok = ok && api.av_write_trailer(s.format) >= 0;
  if (s.fileOpen && api.avio_closep(&s.format->pb) < 0) ok = false;
  s.fileOpen = false;
  s.Release();
  return ok;
}

// ----- the runtime -----

namespace {

std::unique_ptr<WmSyncReader> CreateSyncReader() { return std::make_unique<WmSyncReader>(); }
std::unique_ptr<WmWriter> CreateWriter() { return std::make_unique<WmWriter>(); }
std::unique_ptr<WmProfileManager> CreateProfileManager() { return std::make_unique<WmProfileManager>(); }

}  // namespace

const WmRuntime* LoadWmRuntime() {
  const FfmpegApi* api = LoadFfmpeg();
  if (!api) return nullptr;
  // What this FFmpeg offers decides the exports; the answer for one build stays the same.
  static const WmRuntime runtime = [api] {
    WmRuntime r;
    if (api->avcodec_find_decoder(AV_CODEC_ID_MP3) && api->avcodec_find_decoder(AV_CODEC_ID_WMAV2))
      r.WMCreateSyncReader = CreateSyncReader;
    if (api->avcodec_find_encoder(AV_CODEC_ID_WMAV2)) {
      r.WMCreateWriter = CreateWriter;
      r.WMCreateProfileManager = CreateProfileManager;
    }
    return r;
  }();
  return &runtime;
}

}  // namespace platform
