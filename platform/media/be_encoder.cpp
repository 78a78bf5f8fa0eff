#include "platform/media/be_encoder.h"

#include <lame/lame.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/media/codec_library.h"

namespace platform {

namespace {

#define TOVARIN_LAME_FUNCTIONS(X)     \
  X(lame_init)                        \
  X(lame_close)                       \
  X(lame_set_in_samplerate)           \
  X(lame_set_out_samplerate)          \
  X(lame_set_num_channels)            \
  X(lame_set_mode)                    \
  X(lame_set_brate)                   \
  X(lame_set_VBR)                     \
  X(lame_set_VBR_q)                   \
  X(lame_set_VBR_min_bitrate_kbps)    \
  X(lame_set_VBR_max_bitrate_kbps)    \
  X(lame_set_VBR_mean_bitrate_kbps)   \
  X(lame_set_bWriteVbrTag)            \
  X(lame_set_error_protection)        \
  X(lame_set_copyright)               \
  X(lame_set_original)                \
  X(lame_set_extension)               \
  X(lame_set_emphasis)                \
  X(lame_set_strict_ISO)              \
  X(lame_set_disable_reservoir)       \
  X(lame_set_quality)                 \
  X(lame_init_params)                 \
  X(lame_get_framesize)               \
  X(lame_encode_buffer)               \
  X(lame_encode_buffer_interleaved)   \
  X(lame_encode_flush)                \
  X(lame_get_lametag_frame)

struct LameApi {
  TOVARIN_LAME_FUNCTIONS(TOVARIN_LIBRARY_MEMBER)
};

std::mutex& Lock() {
  static std::mutex m;
  return m;
}

// One table per library path, kept for the process's life like the library.
const LameApi* LoadLame() {
  static auto* tables = new std::map<std::string, LameApi>();
  const std::string path = MediaLibraryPath(MediaLibrary::kMp3Lame);
  std::lock_guard<std::mutex> lock(Lock());
  if (auto it = tables->find(path); it != tables->end()) return &it->second;
  const SharedLibrary* loaded = SharedLibrary::Load(path);
  if (!loaded) return nullptr;
  const SharedLibrary& library = *loaded;
  LameApi api;
  bool ok = true;
  TOVARIN_LAME_FUNCTIONS(TOVARIN_LIBRARY_RESOLVE)
  if (!ok) return nullptr;
  return &tables->emplace(path, api).first->second;
}

struct Stream {
  const LameApi* lame = nullptr;
  lame_global_flags* flags = nullptr;
  int channels = 2;
  std::uint32_t outputSize = 0;
  std::vector<unsigned char> tag;  // the VBR header frame, once the stream is flushed
  ~Stream() {
    if (flags) lame->lame_close(flags);
  }
};

std::map<HBE_STREAM, std::unique_ptr<Stream>>& Streams() {
  static auto* streams = new std::map<HBE_STREAM, std::unique_ptr<Stream>>();
  return *streams;
}

// The VBR header frame of the stream this thread closed last.
thread_local std::vector<unsigned char> t_lastTag;

Stream* Find(HBE_STREAM handle) {
  auto& streams = Streams();
  auto it = streams.find(handle);
  return it == streams.end() ? nullptr : it->second.get();
}

vbr_mode VbrModeOf(std::int32_t method) {
  switch (method) {
    case VBR_METHOD_OLD: return vbr_rh;
    case VBR_METHOD_NEW:
    case VBR_METHOD_MTRH: return vbr_mtrh;
    case VBR_METHOD_ABR: return vbr_abr;
    default: return vbr_default;
  }
}

BE_ERR InitStream(const BE_CONFIG* config, std::uint32_t* samplesPerChunk, std::uint32_t* outputBufferSize,
                  HBE_STREAM* handle) {
  if (!config || !samplesPerChunk || !outputBufferSize || !handle) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  if (config->dwConfig != BE_CONFIG_LAME) return BE_ERR_INVALID_FORMAT;
  const BE_CONFIG::LHV1& c = config->lhv1;
  if (c.dwStructSize < sizeof(BE_CONFIG) - sizeof(c.btReserved)) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  const LameApi* lame = LoadLame();
  if (!lame) return BE_ERR_INVALID_FORMAT;
  auto stream = std::make_unique<Stream>();
  stream->lame = lame;
  stream->flags = lame->lame_init();
  if (!stream->flags) return BE_ERR_NO_MORE_HANDLES;
  lame_global_flags* f = stream->flags;
  MPEG_mode mode = JOINT_STEREO;
  switch (c.nMode) {
    case BE_MP3_MODE_STEREO: mode = STEREO; break;
    case BE_MP3_MODE_JSTEREO: mode = JOINT_STEREO; break;
    case BE_MP3_MODE_DUALCHANNEL: mode = DUAL_CHANNEL; break;
    case BE_MP3_MODE_MONO: mode = MONO; break;
    default: return BE_ERR_INVALID_FORMAT_PARAMETERS;
  }
  stream->channels = mode == MONO ? 1 : 2;
  lame->lame_set_in_samplerate(f, static_cast<int>(c.dwSampleRate));
  if (c.dwReSampleRate) lame->lame_set_out_samplerate(f, static_cast<int>(c.dwReSampleRate));
  lame->lame_set_num_channels(f, stream->channels);
  lame->lame_set_mode(f, mode);
  if (c.bEnableVBR) {
    lame->lame_set_VBR(f, VbrModeOf(c.nVbrMethod));
    const int quality = c.nVBRQuality < 0 ? 0 : c.nVBRQuality > 9 ? 9 : c.nVBRQuality;
    lame->lame_set_VBR_q(f, quality);
    if (c.dwBitrate) lame->lame_set_VBR_min_bitrate_kbps(f, static_cast<int>(c.dwBitrate));
    if (c.dwMaxBitrate) lame->lame_set_VBR_max_bitrate_kbps(f, static_cast<int>(c.dwMaxBitrate));
    if (c.nVbrMethod == VBR_METHOD_ABR && c.dwVbrAbr_bps)
      lame->lame_set_VBR_mean_bitrate_kbps(f, static_cast<int>(c.dwVbrAbr_bps / 1000));
  } else {
    lame->lame_set_brate(f, static_cast<int>(c.dwBitrate));
  }
  lame->lame_set_bWriteVbrTag(f, c.bEnableVBR && c.bWriteVBRHeader ? 1 : 0);
  lame->lame_set_error_protection(f, c.bCRC ? 1 : 0);
  lame->lame_set_copyright(f, c.bCopyright ? 1 : 0);
  lame->lame_set_original(f, c.bOriginal ? 1 : 0);
  lame->lame_set_extension(f, c.bPrivate ? 1 : 0);
  lame->lame_set_emphasis(f, static_cast<int>(c.dwEmphasis));
  lame->lame_set_strict_ISO(f, c.bStrictIso ? 1 : 0);
  lame->lame_set_disable_reservoir(f, c.bNoRes ? 1 : 0);
  const int q = c.nQuality & 0xFF;
  if (((c.nQuality >> 8) & 0xFF) == (~q & 0xFF) && q <= 9) lame->lame_set_quality(f, q);
  if (lame->lame_init_params(f) < 0) return BE_ERR_INVALID_FORMAT_PARAMETERS;

  const int frame = lame->lame_get_framesize(f);  // samples per channel in one frame
  *samplesPerChunk = static_cast<std::uint32_t>(frame * stream->channels);
  // The encoder's own bound for one call's output.
  stream->outputSize = static_cast<std::uint32_t>(5 * frame / 4 + 7200);
  *outputBufferSize = stream->outputSize;
  std::lock_guard<std::mutex> lock(Lock());
  static HBE_STREAM next = 0;
  do {
    ++next;
  } while (next == 0 || Streams().count(next));
  *handle = next;
  Streams()[next] = std::move(stream);
  return BE_ERR_SUCCESSFUL;
}

BE_ERR EncodeChunk(HBE_STREAM handle, std::uint32_t samples, const std::int16_t* input, std::uint8_t* output,
                   std::uint32_t* outputBytes) {
  Stream* s;
  {
    std::lock_guard<std::mutex> lock(Lock());
    s = Find(handle);
  }
  if (!s || !outputBytes || (samples && (!input || !output))) return BE_ERR_INVALID_HANDLE;
  *outputBytes = 0;
  const int perChannel = static_cast<int>(samples / static_cast<std::uint32_t>(s->channels));
  int n;
  if (s->channels == 2) {
    n = s->lame->lame_encode_buffer_interleaved(s->flags, const_cast<short*>(input), perChannel, output,
                                                static_cast<int>(s->outputSize));
  } else {
    n = s->lame->lame_encode_buffer(s->flags, input, input, perChannel, output, static_cast<int>(s->outputSize));
  }
  if (n < 0) return n == -1 ? BE_ERR_BUFFER_TOO_SMALL : BE_ERR_INVALID_FORMAT_PARAMETERS;
  *outputBytes = static_cast<std::uint32_t>(n);
  return BE_ERR_SUCCESSFUL;
}

BE_ERR DeinitStream(HBE_STREAM handle, std::uint8_t* output, std::uint32_t* outputBytes) {
  Stream* s;
  {
    std::lock_guard<std::mutex> lock(Lock());
    s = Find(handle);
  }
  if (!s || !output || !outputBytes) return BE_ERR_INVALID_HANDLE;
  *outputBytes = 0;
  const int n = s->lame->lame_encode_flush(s->flags, output, static_cast<int>(s->outputSize));
  if (n < 0) return BE_ERR_BUFFER_TOO_SMALL;
  *outputBytes = static_cast<std::uint32_t>(n);
  unsigned char tag[2880];
  const std::size_t tagSize = s->lame->lame_get_lametag_frame(s->flags, tag, sizeof tag);
  if (tagSize > 0 && tagSize <= sizeof tag) s->tag.assign(tag, tag + tagSize);
  return BE_ERR_SUCCESSFUL;
}

BE_ERR CloseStream(HBE_STREAM handle) {
  std::unique_ptr<Stream> stream;
  {
    std::lock_guard<std::mutex> lock(Lock());
    auto it = Streams().find(handle);
    if (it == Streams().end()) return BE_ERR_INVALID_HANDLE;
    stream = std::move(it->second);
    Streams().erase(it);
  }
  t_lastTag = std::move(stream->tag);
  return BE_ERR_SUCCESSFUL;
}

// Bytes of an ID3v2 tag at the start of the file (0 when there is none).
long Id3v2Length(std::FILE* f) {
  unsigned char h[10];
  if (std::fseek(f, 0, SEEK_SET) != 0 || std::fread(h, 1, sizeof h, f) != sizeof h) return 0;
  if (std::memcmp(h, "ID3", 3) != 0) return 0;
  const long size = (long(h[6] & 0x7F) << 21) | (long(h[7] & 0x7F) << 14) | (long(h[8] & 0x7F) << 7) | (h[9] & 0x7F);
  return 10 + size + ((h[5] & 0x10) ? 10 : 0);
}

BE_ERR WriteVbrHeader(const char* path) {
  if (!path || t_lastTag.empty()) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  std::FILE* f = std::fopen(path, "r+b");
  if (!f) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  // The stream's first frame was written as a placeholder of the header frame's size.
  const long at = Id3v2Length(f);
  unsigned char sync[2];
  BE_ERR result = BE_ERR_INVALID_FORMAT_PARAMETERS;
  if (std::fseek(f, at, SEEK_SET) == 0 && std::fread(sync, 1, 2, f) == 2 && sync[0] == 0xFF &&
      (sync[1] & 0xE0) == 0xE0 && std::fseek(f, at, SEEK_SET) == 0 &&
      std::fwrite(t_lastTag.data(), 1, t_lastTag.size(), f) == t_lastTag.size()) {
    result = BE_ERR_SUCCESSFUL;
  }
  if (std::fclose(f) != 0) result = BE_ERR_INVALID_FORMAT_PARAMETERS;
  return result;
}

}  // namespace

const BeEncoderExports* LoadBeEncoder() {
  static const BeEncoderExports exports{InitStream, EncodeChunk, DeinitStream, CloseStream, WriteVbrHeader};
  return LoadLame() ? &exports : nullptr;
}

}  // namespace platform
