// Stand-in for the MP3 encoder library with the BladeEnc-style interface: the LAME-style
// configuration record, streams opened with it, chunks of 16-bit PCM in, MP3 frames out,
// and the VBR header frame written into the finished file after the stream is closed.
// Built on libmp3lame, loaded at run time: without it the library counts as missing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

using HBE_STREAM = std::uint32_t;
using BE_ERR = std::uint32_t;

constexpr BE_ERR BE_ERR_SUCCESSFUL = 0x00000000;
constexpr BE_ERR BE_ERR_INVALID_FORMAT = 0x00000001;
constexpr BE_ERR BE_ERR_INVALID_FORMAT_PARAMETERS = 0x00000002;
constexpr BE_ERR BE_ERR_NO_MORE_HANDLES = 0x00000003;
constexpr BE_ERR BE_ERR_INVALID_HANDLE = 0x00000004;
constexpr BE_ERR BE_ERR_BUFFER_TOO_SMALL = 0x00000005;

constexpr std::uint32_t BE_CONFIG_LAME = 256;  // the only configuration kind taken

// nMode
constexpr std::int32_t BE_MP3_MODE_STEREO = 0;
constexpr std::int32_t BE_MP3_MODE_JSTEREO = 1;
constexpr std::int32_t BE_MP3_MODE_DUALCHANNEL = 2;
constexpr std::int32_t BE_MP3_MODE_MONO = 3;
// dwMpegVersion
constexpr std::uint32_t MPEG1 = 1;
constexpr std::uint32_t MPEG2 = 0;
// nPreset
constexpr std::int32_t LQP_NOPRESET = -1;
// nVbrMethod
constexpr std::int32_t VBR_METHOD_NONE = -1;
constexpr std::int32_t VBR_METHOD_DEFAULT = 0;
constexpr std::int32_t VBR_METHOD_OLD = 1;
constexpr std::int32_t VBR_METHOD_NEW = 2;
constexpr std::int32_t VBR_METHOD_MTRH = 3;
constexpr std::int32_t VBR_METHOD_ABR = 4;

#pragma pack(push, 1)
struct BE_CONFIG {
  std::uint32_t dwConfig;  // BE_CONFIG_LAME
  struct LHV1 {
    std::uint32_t dwStructVersion;  // 1
    std::uint32_t dwStructSize;     // sizeof(BE_CONFIG)
    std::uint32_t dwSampleRate;     // of the input
    std::uint32_t dwReSampleRate;   // of the output; 0: the encoder's choice
    std::int32_t nMode;
    std::uint32_t dwBitrate;        // CBR bitrate; the minimum with VBR (kbit/s)
    std::uint32_t dwMaxBitrate;     // the maximum with VBR
    std::int32_t nPreset;
    std::uint32_t dwMpegVersion;
    std::uint32_t dwPsyModel;
    std::uint32_t dwEmphasis;
    std::int32_t bPrivate;
    std::int32_t bCRC;
    std::int32_t bCopyright;
    std::int32_t bOriginal;
    std::int32_t bWriteVBRHeader;
    std::int32_t bEnableVBR;
    std::int32_t nVBRQuality;       // 0 best .. 9
    std::uint32_t dwVbrAbr_bps;     // mean bitrate of the ABR method (bit/s)
    std::int32_t nVbrMethod;
    std::int32_t bNoRes;
    std::int32_t bStrictIso;
    // Encoding quality 0 (best) to 9 in the low byte; counted only when the high byte is
    // its complement, so a zeroed record keeps the encoder's default.
    std::uint16_t nQuality;
    std::uint8_t btReserved[255 - 4 * sizeof(std::uint32_t) - sizeof(std::uint16_t)];
  } lhv1;
};
#pragma pack(pop)
static_assert(sizeof(BE_CONFIG) == 331);

// The library's exports, as a caller resolves them by name.
struct BeEncoderExports {
  // Opens a stream; sets the 16-bit samples each chunk should hold and the size of the
  // output buffer each call needs.
  BE_ERR (*beInitStream)(const BE_CONFIG* config, std::uint32_t* samplesPerChunk, std::uint32_t* outputBufferSize,
                         HBE_STREAM* stream);
  // Encodes `samples` 16-bit samples (both channels counted); sets the bytes written.
  BE_ERR (*beEncodeChunk)(HBE_STREAM stream, std::uint32_t samples, const std::int16_t* input,
                          std::uint8_t* output, std::uint32_t* outputBytes);
  // Writes what the encoder still holds.
  BE_ERR (*beDeinitStream)(HBE_STREAM stream, std::uint8_t* output, std::uint32_t* outputBytes);
  BE_ERR (*beCloseStream)(HBE_STREAM stream);
  // Writes the VBR header frame of the stream this thread closed last into the first frame
  // of the file at the POSIX path.
  BE_ERR (*beWriteVBRHeader)(const char* posixPath);
};

// The exports, or null when the library (libmp3lame) cannot be loaded.
const BeEncoderExports* LoadBeEncoder();

}  // namespace platform
