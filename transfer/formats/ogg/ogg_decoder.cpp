#include "transfer/formats/ogg/ogg_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/media/acm.h"
#include "transfer/formats/ogg/ogg_library.h"

namespace transfer {

namespace {

// What the decoding loop calls, from both libraries.
struct OggApi : OggFunctions, VorbisFunctions {};

bool LoadOgg(OggApi& api) {
  const platform::SharedLibrary* ogg =
      platform::SharedLibrary::Load(CodecLibraryPath("ogg.dll", kOggLibraryName));
  if (!ogg) return false;
  const platform::SharedLibrary* vorbis =
      platform::SharedLibrary::Load(CodecLibraryPath("vorbis.dll", kVorbisLibraryName));
  if (!vorbis) return false;
  return ResolveOggFunctions(*ogg, api) && ResolveVorbisFunctions(*vorbis, api);
}

constexpr int kPiece = 4096;

// The state of one logical stream, cleared on every way out.
struct LogicalStream {
  const OggApi& api;
  ogg_stream_state stream;
  vorbis_info info;
  vorbis_comment comment;
  vorbis_dsp_state dsp;
  vorbis_block block;
  bool dspReady = false;

  LogicalStream(const OggApi& a, int serial) : api(a) {
    api.ogg_stream_init(&stream, serial);
    api.vorbis_info_init(&info);
    api.vorbis_comment_init(&comment);
  }
  ~LogicalStream() {
    if (dspReady) {
      api.vorbis_block_clear(&block);
      api.vorbis_dsp_clear(&dsp);
    }
    api.ogg_stream_clear(&stream);
    api.vorbis_comment_clear(&comment);
    api.vorbis_info_clear(&info);
  }
};

struct SyncState {
  const OggApi& api;
  ogg_sync_state sync;
  explicit SyncState(const OggApi& a) : api(a) { api.ogg_sync_init(&sync); }
  ~SyncState() { api.ogg_sync_clear(&sync); }
};

// Converts a later stream of a chained file to the format of the first one, which the
// output's one header declares.
class StreamConverter {
 public:
  StreamConverter() : buffer_(1 << 16) {}
  ~StreamConverter() {
    if (stream_) {
      platform::acmStreamUnprepareHeader(stream_, &header_);
      platform::acmStreamClose(stream_);
    }
  }
  StreamConverter(const StreamConverter&) = delete;
  StreamConverter& operator=(const StreamConverter&) = delete;

  bool Open(const platform::WAVEFORMATEX& from, const platform::WAVEFORMATEX& to) {
    if (platform::acmStreamOpen(&stream_, from, to, platform::ACM_STREAMOPENF_NONREALTIME) !=
        platform::MMSYSERR_NOERROR) {
      stream_ = nullptr;
      return false;
    }
    header_.pbSrc = header_.pbDst = buffer_.data();
    return platform::acmStreamPrepareHeader(stream_, &header_) == platform::MMSYSERR_NOERROR;
  }
  // Converts the bytes (whole sample frames) and writes what comes out.
  bool Write(const std::uint8_t* data, std::size_t bytes, OutputFile& output) {
    while (bytes > 0) {
      if (!Convert(data, bytes, 0, output)) return false;
      if (header_.cbSrcLengthUsed == 0 && header_.cbDstLengthUsed == 0) break;
      data += header_.cbSrcLengthUsed;
      bytes -= header_.cbSrcLengthUsed;
    }
    return true;
  }
  // The samples the converter still holds, at the end of the stream.
  bool Finish(OutputFile& output) {
    do {
      if (!Convert(buffer_.data(), 0, platform::ACM_STREAMCONVERTF_END, output)) return false;
    } while (header_.cbDstLengthUsed > 0);
    return true;
  }

 private:
  bool Convert(const std::uint8_t* data, std::size_t bytes, std::uint32_t flags, OutputFile& output) {
    header_.pbSrc = const_cast<std::uint8_t*>(data);
    header_.cbSrcLength = static_cast<std::uint32_t>(bytes);
    header_.pbDst = out_.data();
    header_.cbDstLength = static_cast<std::uint32_t>(out_.size());
    return platform::acmStreamConvert(stream_, &header_, flags) == platform::MMSYSERR_NOERROR &&
           output.Write(out_.data(), header_.cbDstLengthUsed);
  }

  platform::HACMSTREAM stream_ = nullptr;
  platform::ACMSTREAMHEADER header_;
  std::vector<std::uint8_t> buffer_;
  std::vector<std::uint8_t> out_ = std::vector<std::uint8_t>(1 << 18);
};

platform::WAVEFORMATEX Pcm16(int channels, long rate) {
  platform::WAVEFORMATEX f;
  f.wFormatTag = platform::WAVE_FORMAT_PCM;
  f.nChannels = static_cast<std::uint16_t>(channels);
  f.nSamplesPerSec = static_cast<std::uint32_t>(rate);
  f.wBitsPerSample = 16;
  f.nBlockAlign = static_cast<std::uint16_t>(2 * channels);
  f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
  f.cbSize = 0;
  return f;
}

// Reads the next piece of the source into the sync layer; the bytes read.
long Feed(const OggApi& api, ogg_sync_state& sync, SourceCursor& cursor) {
  char* buffer = api.ogg_sync_buffer(&sync, kPiece);
  if (!buffer) return 0;
  const long bytes = static_cast<long>(cursor.Read(buffer, kPiece));
  api.ogg_sync_wrote(&sync, bytes);
  return bytes;
}

int Decode(const OggApi& api, ByteSource& source, OutputFile& output, platform::WAVEFORMATEX& format,
           const ConversionJob* job, ProgressReporter& progress) {
  SyncState s(api);
  SourceCursor cursor(source);
  std::vector<std::int16_t> converted;
  bool haveFormat = false;
  for (;;) {  // one logical stream after the other
    ogg_page page;
    const long bytes = Feed(api, s.sync, cursor);
    if (api.ogg_sync_pageout(&s.sync, &page) != 1) {
      // The end of the input; what follows whole streams is not audio.
      if (bytes < kPiece || haveFormat) break;
      return kOggNotOgg;
    }
    LogicalStream ls(api, api.ogg_page_serialno(&page));
    if (api.ogg_stream_pagein(&ls.stream, &page) < 0) return kOggFirstPageUnreadable;
    ogg_packet packet;
    if (api.ogg_stream_packetout(&ls.stream, &packet) != 1) return kOggNoFirstHeader;
    if (api.vorbis_synthesis_headerin(&ls.info, &ls.comment, &packet) < 0) return kOggNotVorbis;

    // The comment and setup headers.
    int headers = 0;
    while (headers < 2) {
      while (headers < 2) {
        const int r = api.ogg_sync_pageout(&s.sync, &page);
        if (r == 0) break;  // more data needed
        if (r == 1) {
          api.ogg_stream_pagein(&ls.stream, &page);
          while (headers < 2) {
            const int p = api.ogg_stream_packetout(&ls.stream, &packet);
            if (p == 0) break;
            if (p < 0 || api.vorbis_synthesis_headerin(&ls.info, &ls.comment, &packet) < 0) return kOggCorruptHeader;
            ++headers;
          }
        }
      }
      if (headers < 2 && Feed(api, s.sync, cursor) == 0) return kOggHeadersCutShort;
    }

    const int channels = ls.info.channels;
    const long rate = ls.info.rate;
    if (channels < 1 || channels > 255 || rate < 1) return kOggCorruptHeader;
    // The first stream sets the output's format; a later one in another is converted to it.
    std::unique_ptr<StreamConverter> converter;
    if (!haveFormat) {
      format = Pcm16(channels, rate);
      haveFormat = true;
    } else if (format.nChannels != channels || format.nSamplesPerSec != static_cast<std::uint32_t>(rate)) {
      converter = std::make_unique<StreamConverter>();
      if (!converter->Open(Pcm16(channels, rate), format)) return kOggFormatChanged;
    }

    if (api.vorbis_synthesis_init(&ls.dsp, &ls.info) != 0) return kOggCorruptHeader;
    api.vorbis_block_init(&ls.dsp, &ls.block);
    ls.dspReady = true;
    const int chunk = std::max(1, kPiece / channels);  // samples per channel written at once
    converted.resize(std::size_t(chunk) * channels);
    bool end = false;
    while (!end) {
      while (!end) {
        const int r = api.ogg_sync_pageout(&s.sync, &page);
        if (r == 0) break;  // more data needed
        if (r < 0) continue;  // a gap in the data: go on with the next page
        api.ogg_stream_pagein(&ls.stream, &page);
        for (;;) {
          const int p = api.ogg_stream_packetout(&ls.stream, &packet);
          if (p == 0) break;
          if (p < 0) continue;
          if (api.vorbis_synthesis(&ls.block, &packet) == 0) api.vorbis_synthesis_blockin(&ls.dsp, &ls.block);
          float** pcm;
          int samples;
          while ((samples = api.vorbis_synthesis_pcmout(&ls.dsp, &pcm)) > 0) {
            if (job && job->Cancelled()) return kConversionCancelled;
            const int n = std::min(samples, chunk);
            for (int c = 0; c < channels; ++c) {
              const float* in = pcm[c];
              for (int i = 0; i < n; ++i) {
                const long v = std::lround(std::floor(in[i] * 32767.f + .5f));
                converted[std::size_t(i) * channels + c] = static_cast<std::int16_t>(std::clamp(v, -32768L, 32767L));
              }
            }
            const std::size_t bytes = std::size_t(n) * channels * sizeof(std::int16_t);
            const bool written =
                converter ? converter->Write(reinterpret_cast<const std::uint8_t*>(converted.data()), bytes, output)
                          : output.Write(converted.data(), bytes);
            if (!written) return kOggFileError;
            api.vorbis_synthesis_read(&ls.dsp, n);
          }
          progress.Report(cursor.position, source.Size());
        }
        if (api.ogg_page_eos(&page)) end = true;
      }
      if (!end && Feed(api, s.sync, cursor) == 0) end = true;
    }
    if (converter && !converter->Finish(output)) return kOggFileError;
  }
  // A source without a single stream gives no audio.
  return haveFormat ? 0 : kOggNotOgg;
}

}  // namespace

int DecodeOggStream(ByteSource& source, OutputFile& output, platform::WAVEFORMATEX& format,
                    const ConversionJob* job, ProgressReporter& progress) {
  OggApi api;
  if (!LoadOgg(api)) return kOggLibraryMissing;
  return Decode(api, source, output, format, job, progress);
}

int DecodeOggVorbis(const ConversionJob& job, const std::string& destination, ProgressReporter& progress) {
  OggApi api;
  if (!LoadOgg(api)) return kOggLibraryMissing;
  FileSource source;
  if (!source.Open(job.source)) return kOggSourceNotOpened;
  OutputFile output;
  if (!output.Create(destination, true)) return kOggDestinationNotOpened;
  platform::WAVEFORMATEX format;
  const int result = Decode(api, source, output, format, &job, progress);
  if (result != 0) return result;
  return output.Finish(&format) ? 0 : kOggFileError;
}

bool OggDecoder::Available(std::string& libraryName) const {
  OggApi api;
  if (!LoadOgg(api)) return false;
  libraryName = "Ogg Vorbis Dynamic Library";
  return true;
}

}  // namespace transfer
