#include "platform/media/acm.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/media/ffmpeg_api.h"
#include "platform/media/pcm.h"

namespace platform {

namespace {

// Output made but not yet handed out: converters fill it, each call empties what fits.
class PendingOutput {
 public:
  std::vector<std::uint8_t>& Buffer() { return bytes_; }
  bool Empty() const { return start_ >= bytes_.size(); }
  // The start of every conversion call: nothing used yet, what is waiting goes out first.
  // True when the call may take input (nothing is left waiting).
  bool Begin(std::uint8_t* dst, std::uint32_t dstLength, std::uint32_t& srcUsed, std::uint32_t& dstUsed) {
    srcUsed = 0;
    dstUsed = 0;
    Drain(dst, dstLength, dstUsed);
    return Empty();
  }
  // Moves what fits into dst at `used`.
  void Drain(std::uint8_t* dst, std::uint32_t dstLength, std::uint32_t& used) {
    const std::size_t n = std::min<std::size_t>(bytes_.size() - start_, dstLength - used);
    if (n) std::memcpy(dst + used, bytes_.data() + start_, n);
    used += static_cast<std::uint32_t>(n);
    start_ += n;
    if (Empty()) {
      bytes_.clear();
      start_ = 0;
    }
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t start_ = 0;
};

class PcmAcmConverter final : public AcmConverter {
 public:
  explicit PcmAcmConverter(const FfmpegApi& api) : converter_(api) {}
  bool Open(const WAVEFORMATEX& from, const WAVEFORMATEX& to) { return converter_.Open(from, to); }

  bool Convert(const std::uint8_t* src, std::uint32_t srcLength, std::uint32_t& srcUsed, std::uint8_t* dst,
               std::uint32_t dstLength, std::uint32_t& dstUsed, bool end) override {
    if (!pending_.Begin(dst, dstLength, srcUsed, dstUsed)) return true;
    const std::uint32_t frameBytes = static_cast<std::uint32_t>(converter_.From().FrameBytes());
    const int frames =
        std::min<int>(static_cast<int>(srcLength / frameBytes), converter_.FramesThatFit(dstLength - dstUsed));
    if (frames > 0) {
      if (!converter_.Convert(src, frames, pending_.Buffer())) return false;
      srcUsed = static_cast<std::uint32_t>(frames) * frameBytes;
      pending_.Drain(dst, dstLength, dstUsed);
    }
    // At the end, once every whole frame is in, the resampler gives up what it holds.
    if (end && !drained_ && pending_.Empty() && srcLength - srcUsed < frameBytes) {
      if (!converter_.Convert(nullptr, 0, pending_.Buffer())) return false;
      drained_ = true;
      pending_.Drain(dst, dstLength, dstUsed);
    }
    return true;
  }

 private:
  PcmConverter converter_;
  PendingOutput pending_;
  bool drained_ = false;
};

class PcmDriver final : public AcmDriver {
 public:
  std::string LongName() const override { return "PCM Converter (libswresample)"; }
  std::unique_ptr<AcmConverter> Open(const WAVEFORMATEX& from, const WAVEFORMATEX& to) const override {
    PcmSpec a, b;
    if (!PcmSpecOf(from, a) || !PcmSpecOf(to, b)) return nullptr;
    const FfmpegApi* api = LoadResampler();
    if (!api) return nullptr;
    auto converter = std::make_unique<PcmAcmConverter>(*api);
    if (!converter->Open(from, to)) return nullptr;
    return converter;
  }
};

// 16-bit PCM in, MPEG Layer-3 frames out, at the rate and channels of the input and the
// bitrate of the target's average bytes per second.
class Mp3AcmConverter final : public AcmConverter {
 public:
  explicit Mp3AcmConverter(const FfmpegApi& api) : api_(api) {}
  ~Mp3AcmConverter() override {
    api_.av_frame_free(&frame_);
    api_.av_packet_free(&packet_);
    api_.avcodec_free_context(&context_);
  }

  bool Open(const WAVEFORMATEX& from, const WAVEFORMATEX& to) {
    const AVCodec* codec = api_.avcodec_find_encoder(AV_CODEC_ID_MP3);
    if (!codec) return false;
    context_ = api_.avcodec_alloc_context3(codec);
    frame_ = api_.av_frame_alloc();
    packet_ = api_.av_packet_alloc();
    if (!context_ || !frame_ || !packet_) return false;
    channels_ = from.nChannels;
    context_->sample_fmt = AV_SAMPLE_FMT_S16P;
    context_->sample_rate = static_cast<int>(from.nSamplesPerSec);
    context_->bit_rate = std::int64_t(to.nAvgBytesPerSec) * 8;
    api_.av_channel_layout_default(&context_->ch_layout, channels_);
    if (api_.avcodec_open2(context_, codec, nullptr) < 0) return false;
    frameSize_ = context_->frame_size > 0 ? context_->frame_size : 1152;
    smallLastFrame_ = (codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0;
    return true;
  }

  bool Convert(const std::uint8_t* src, std::uint32_t srcLength, std::uint32_t& srcUsed, std::uint8_t* dst,
               std::uint32_t dstLength, std::uint32_t& dstUsed, bool end) override {
    if (!pending_.Begin(dst, dstLength, srcUsed, dstUsed)) return true;
    const std::uint32_t frameBytes = 2u * channels_;
    const std::uint32_t whole = srcLength / frameBytes * frameBytes;
    if (whole) {
      const auto* samples = reinterpret_cast<const std::int16_t*>(src);
      input_.insert(input_.end(), samples, samples + whole / 2);
      srcUsed = whole;
      while (input_.size() >= std::size_t(frameSize_) * channels_) {
        if (!Encode(frameSize_)) return false;
      }
    }
    if (end && !flushed_ && srcLength - srcUsed < frameBytes) {
      if (!input_.empty()) {
        const int left = static_cast<int>(input_.size() / channels_);
        if (!smallLastFrame_) input_.resize(std::size_t(frameSize_) * channels_, 0);
        if (!Encode(smallLastFrame_ ? left : frameSize_)) return false;
      }
      if (api_.avcodec_send_frame(context_, nullptr) < 0 || !Receive()) return false;
      flushed_ = true;
    }
    pending_.Drain(dst, dstLength, dstUsed);
    return true;
  }

 private:
  // Encodes the first `frames` frames of the input.
  bool Encode(int frames) {
    frame_->nb_samples = frames;
    frame_->format = AV_SAMPLE_FMT_S16P;
    frame_->sample_rate = context_->sample_rate;
    if (api_.av_channel_layout_copy(&frame_->ch_layout, &context_->ch_layout) < 0) return false;
    if (api_.av_frame_get_buffer(frame_, 0) < 0) return false;
    for (int c = 0; c < channels_; ++c) {
      auto* plane = reinterpret_cast<std::int16_t*>(frame_->data[c]);
      for (int i = 0; i < frames; ++i) plane[i] = input_[std::size_t(i) * channels_ + c];
    }
    frame_->pts = pts_;
    pts_ += frames;
    input_.erase(input_.begin(), input_.begin() + std::ptrdiff_t(frames) * channels_);
    const int sent = api_.avcodec_send_frame(context_, frame_);
    api_.av_frame_unref(frame_);
    return sent >= 0 && Receive();
  }

  bool Receive() {
    for (;;) {
      const int r = api_.avcodec_receive_packet(context_, packet_);
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
      if (r < 0) return false;
      auto& out = pending_.Buffer();
      out.insert(out.end(), packet_->data, packet_->data + packet_->size);
      api_.av_packet_unref(packet_);
    }
  }

  const FfmpegApi& api_;
  AVCodecContext* context_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  int channels_ = 0;
  int frameSize_ = 1152;
  bool smallLastFrame_ = false;
  bool flushed_ = false;
  std::int64_t pts_ = 0;
  std::vector<std::int16_t> input_;
  PendingOutput pending_;
};

class Mp3Driver final : public AcmDriver {
 public:
  std::string LongName() const override { return "MPEG Layer-3 Encoder (libavcodec)"; }
  std::unique_ptr<AcmConverter> Open(const WAVEFORMATEX& from, const WAVEFORMATEX& to) const override {
    if (from.wFormatTag != WAVE_FORMAT_PCM || from.wBitsPerSample != 16 || to.wFormatTag != WAVE_FORMAT_MPEGLAYER3)
      return nullptr;
    if (from.nChannels < 1 || from.nChannels > 2 || to.nChannels != from.nChannels ||
        to.nSamplesPerSec != from.nSamplesPerSec || from.nBlockAlign != 2 * from.nChannels || to.nAvgBytesPerSec == 0)
      return nullptr;
    const FfmpegApi* api = LoadFfmpeg();
    if (!api) return nullptr;
    auto converter = std::make_unique<Mp3AcmConverter>(*api);
    if (!converter->Open(from, to)) return nullptr;
    return converter;
  }
};

struct AddedDriver {
  std::string name;
  AcmDriver* driver;
};

std::mutex& Lock() {
  static std::mutex m;
  return m;
}

// Never destroyed: added drivers live in libraries that stay loaded.
std::vector<AddedDriver>& Added() {
  static auto* added = new std::vector<AddedDriver>();
  return *added;
}

std::vector<const AcmDriver*> Drivers() {
  static const PcmDriver pcm;
  static const Mp3Driver mp3;
  std::vector<const AcmDriver*> drivers;
  {
    std::lock_guard<std::mutex> lock(Lock());
    for (const AddedDriver& d : Added()) drivers.push_back(d.driver);
  }
  drivers.push_back(&pcm);
  drivers.push_back(&mp3);
  return drivers;
}

}  // namespace

struct AcmStream {
  const AcmDriver* driver;
  std::unique_ptr<AcmConverter> converter;
};

int acmStreamOpen(HACMSTREAM* stream, const WAVEFORMATEX& from, const WAVEFORMATEX& to, std::uint32_t flags) {
  if (!stream) return MMSYSERR_INVALPARAM;
  *stream = nullptr;
  if (flags & ~ACM_STREAMOPENF_NONREALTIME) return MMSYSERR_INVALFLAG;
  for (const AcmDriver* driver : Drivers()) {
    if (auto converter = driver->Open(from, to)) {
      *stream = new AcmStream{driver, std::move(converter)};
      return MMSYSERR_NOERROR;
    }
  }
  return ACMERR_NOTPOSSIBLE;
}

int acmStreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header) {
  if (!stream) return MMSYSERR_INVALHANDLE;
  if (!header || !header->pbSrc || !header->pbDst) return MMSYSERR_INVALPARAM;
  header->fdwStatus |= ACMSTREAMHEADER_STATUSF_PREPARED;
  return MMSYSERR_NOERROR;
}

int acmStreamConvert(HACMSTREAM stream, ACMSTREAMHEADER* header, std::uint32_t flags) {
  if (!stream) return MMSYSERR_INVALHANDLE;
  if (!header) return MMSYSERR_INVALPARAM;
  if (flags & ~ACM_STREAMCONVERTF_END) return MMSYSERR_INVALFLAG;
  if (!(header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
  header->cbSrcLengthUsed = 0;
  header->cbDstLengthUsed = 0;
  const bool ok = stream->converter->Convert(header->pbSrc, header->cbSrcLength, header->cbSrcLengthUsed,
                                             header->pbDst, header->cbDstLength, header->cbDstLengthUsed,
                                             (flags & ACM_STREAMCONVERTF_END) != 0);
  return ok ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

int acmStreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header) {
  if (!stream) return MMSYSERR_INVALHANDLE;
  if (!header) return MMSYSERR_INVALPARAM;
  if (!(header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
  header->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
  return MMSYSERR_NOERROR;
}

int acmStreamClose(HACMSTREAM stream) {
  if (!stream) return MMSYSERR_INVALHANDLE;
  delete stream;
  return MMSYSERR_NOERROR;
}

std::string acmStreamDriverName(HACMSTREAM stream) { return stream ? stream->driver->LongName() : std::string(); }

int acmDriverAdd(void* library, const std::string& name, std::uint32_t /*priority*/, std::uint32_t flags) {
  if (!library || flags != ACM_DRIVERADDF_NAME) return MMSYSERR_INVALPARAM;
  using Entry = AcmDriver* (*)();
  auto entry = reinterpret_cast<Entry>(::dlsym(library, kAcmDriverEntry));
  AcmDriver* driver = entry ? entry() : nullptr;
  if (!driver) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> lock(Lock());
  Added().push_back({name, driver});
  return MMSYSERR_NOERROR;
}

std::vector<std::string> acmAddedDriverNames() {
  std::lock_guard<std::mutex> lock(Lock());
  std::vector<std::string> names;
  for (const AddedDriver& d : Added()) names.push_back(d.name);
  return names;
}

}  // namespace platform
