#include "transfer/formats/flac/flac_decoder.h"

#include <vector>

#include "platform/kernel/shared_library.h"
#include "platform/paths/paths.h"
#include "transfer/formats/flac/flac_library.h"

namespace transfer {

namespace {

#define TOVARIN_FLAC_FUNCTIONS(X)          \
  X(FLAC__stream_decoder_new)              \
  X(FLAC__stream_decoder_delete)           \
  X(FLAC__stream_decoder_init_file)        \
  X(FLAC__stream_decoder_finish)           \
  X(FLAC__stream_decoder_process_single)   \
  X(FLAC__stream_decoder_get_decode_position) \
  X(FLAC__stream_decoder_get_state)

struct FlacApi {
  TOVARIN_FLAC_FUNCTIONS(TOVARIN_LIBRARY_MEMBER)
};

bool LoadFlac(FlacApi& api) {
  const platform::SharedLibrary* loaded =
      platform::SharedLibrary::Load(CodecLibraryPath("libFLAC.dll", kFlacLibraryName));
  if (!loaded) return false;
  const platform::SharedLibrary& library = *loaded;
  bool ok = true;
  TOVARIN_FLAC_FUNCTIONS(TOVARIN_LIBRARY_RESOLVE)
  return ok;
}

// What the callbacks share with the decode loop.
struct FlacClient {
  const ConversionJob* job = nullptr;
  OutputFile* output = nullptr;
  bool haveFormat = false;
  unsigned channels = 0, bits = 0, rate = 0;
  unsigned containerBytes = 0;  // 1, 2, 3 or 4
  std::vector<unsigned char> interleaved;

  platform::WAVEFORMATEX Format() const {
    platform::WAVEFORMATEX f;
    f.wFormatTag = platform::WAVE_FORMAT_PCM;
    f.nChannels = static_cast<std::uint16_t>(channels);
    f.nSamplesPerSec = rate;
    f.nBlockAlign = static_cast<std::uint16_t>(channels * containerBytes);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    f.wBitsPerSample = static_cast<std::uint16_t>(containerBytes * 8);
    return f;
  }
};

void MetadataCallback(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* client) {
  auto* c = static_cast<FlacClient*>(client);
  if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO || c->haveFormat) return;
  const FLAC__StreamMetadata_StreamInfo& info = metadata->data.stream_info;
  if (info.channels < 1 || info.bits_per_sample < 4 || info.bits_per_sample > 32 || info.sample_rate == 0) return;
  c->channels = info.channels;
  c->bits = info.bits_per_sample;
  c->rate = info.sample_rate;
  c->containerBytes = (c->bits + 7) / 8;
  c->haveFormat = true;
}

void ErrorCallback(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

}  // namespace

FLAC__StreamDecoderWriteStatus FlacWriteCallback(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                 const FLAC__int32* const buffer[], void* client) {
  auto* c = static_cast<FlacClient*>(client);
  if (c->job->Cancelled()) return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
  // Every frame must fit the header written for the stream.
  if (!c->haveFormat || frame->header.channels != c->channels || frame->header.bits_per_sample != c->bits)
    return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
  const unsigned blocksize = frame->header.blocksize;
  const unsigned bytes = c->containerBytes;
  const unsigned shift = bytes * 8 - c->bits;
  c->interleaved.resize(std::size_t(blocksize) * c->channels * bytes);
  unsigned char* out = c->interleaved.data();
  for (unsigned i = 0; i < blocksize; ++i) {
    for (unsigned ch = 0; ch < c->channels; ++ch) {
      const std::uint32_t v = static_cast<std::uint32_t>(buffer[ch][i]) << shift;
      switch (bytes) {
        case 1: *out++ = static_cast<unsigned char>(v + 128); break;
        case 2:
          *out++ = static_cast<unsigned char>(v);
          *out++ = static_cast<unsigned char>(v >> 8);
          break;
        case 3:
          *out++ = static_cast<unsigned char>(v);
          *out++ = static_cast<unsigned char>(v >> 8);
          *out++ = static_cast<unsigned char>(v >> 16);
          break;
        default:
          *out++ = static_cast<unsigned char>(v);
          *out++ = static_cast<unsigned char>(v >> 8);
          *out++ = static_cast<unsigned char>(v >> 16);
          *out++ = static_cast<unsigned char>(v >> 24);
          break;
      }
    }
  }
  return c->output->Write(c->interleaved.data(), c->interleaved.size()) ? FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE
                                                                          : FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
}

int DecodeFlac(const ConversionJob& job, const std::string& destination, ProgressReporter& progress) {
  FlacApi api;
  if (!LoadFlac(api)) return kFlacLibraryMissing;
  OutputFile output;
  if (!output.Create(destination, true)) return kFlacDestinationNotOpened;
  FLAC__StreamDecoder* decoder = api.FLAC__stream_decoder_new();
  if (!decoder) return kFlacDecoderNotCreated;
  struct Release {
    const FlacApi& api;
    FLAC__StreamDecoder* decoder;
    ~Release() {
      api.FLAC__stream_decoder_finish(decoder);
      api.FLAC__stream_decoder_delete(decoder);
    }
  } release{api, decoder};

  FlacClient client;
  client.job = &job;
  client.output = &output;
  const std::string source = platform::ToPosixPath(job.source);
  if (api.FLAC__stream_decoder_init_file(decoder, source.c_str(), FlacWriteCallback, MetadataCallback,
                                         ErrorCallback, &client) != FLAC__STREAM_DECODER_INIT_STATUS_OK)
    return kFlacDecoderNotInitialised;
  FileSource length;
  const std::uint64_t total = length.Open(job.source) ? length.Size() : 0;
  length.Close();

  // One frame at a time until the stream ends, the decoder stops or a call fails (the
  // stream decoder's state stays "searching" between frames, so the state alone does not
  // tell the end).
  bool ok;
  FLAC__StreamDecoderState state;
  do {
    ok = api.FLAC__stream_decoder_process_single(decoder);
    state = api.FLAC__stream_decoder_get_state(decoder);
    FLAC__uint64 position = 0;
    if (api.FLAC__stream_decoder_get_decode_position(decoder, &position)) progress.Report(position, total);
  } while (ok && state != FLAC__STREAM_DECODER_END_OF_STREAM && state != FLAC__STREAM_DECODER_ABORTED);
  if (job.Cancelled()) return kConversionCancelled;
  if (state != FLAC__STREAM_DECODER_END_OF_STREAM || !client.haveFormat) return kFlacFileError;
  const platform::WAVEFORMATEX format = client.Format();
  return output.Finish(&format) ? 0 : kFlacFileError;
}

bool FlacDecoder::Available(std::string& libraryName) const {
  FlacApi api;
  if (!LoadFlac(api)) return false;
  libraryName = "FLAC Dynamic Library";
  return true;
}

}  // namespace transfer
