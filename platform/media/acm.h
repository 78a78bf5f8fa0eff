// Stand-in for the desktop's audio compression manager: streams that convert audio from
// one format to another through whichever driver can, in pieces, with the caller's
// buffers. Two drivers are built in: PCM conversion (any rate, channels and sample size,
// over FFmpeg's resampler) and an MPEG Layer-3 encoder (over FFmpeg's MP3 encoder). More
// drivers come from libraries added with `acmDriverAdd`.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/media/wave_format.h"

namespace platform {

constexpr std::uint16_t WAVE_FORMAT_MPEGLAYER3 = 0x0055;

// Results, with the desktop's numbers.
constexpr int MMSYSERR_NOERROR = 0;
constexpr int MMSYSERR_ERROR = 1;
constexpr int MMSYSERR_INVALHANDLE = 5;
constexpr int MMSYSERR_NOMEM = 7;
constexpr int MMSYSERR_INVALFLAG = 10;
constexpr int MMSYSERR_INVALPARAM = 11;
constexpr int ACMERR_NOTPOSSIBLE = 512;
constexpr int ACMERR_UNPREPARED = 514;

constexpr std::uint32_t ACM_STREAMOPENF_NONREALTIME = 0x00000004;
constexpr std::uint32_t ACM_STREAMCONVERTF_END = 0x00000020;
constexpr std::uint32_t ACM_DRIVERADDF_NAME = 0x00000001;

// The MPEG Layer-3 format record (the format, then 12 bytes of codec data).
#pragma pack(push, 1)
struct MPEGLAYER3WAVEFORMAT {
  WAVEFORMATEX wfx;
  std::uint16_t wID = 0;
  std::uint32_t fdwFlags = 0;
  std::uint16_t nBlockSize = 0;
  std::uint16_t nFramesPerBlock = 0;
  std::uint16_t nCodecDelay = 0;
};
#pragma pack(pop)
static_assert(sizeof(MPEGLAYER3WAVEFORMAT) == 30);

// One conversion, opened by a driver for a pair of formats.
class AcmConverter {
 public:
  virtual ~AcmConverter() = default;
  // Converts from `src` into `dst`: sets how many source bytes it took and destination
  // bytes it wrote. Bytes not taken are offered again by the caller. With `end`, the
  // source is the last there is and what the converter holds back is written too (called
  // again while it writes anything). False when the conversion failed.
  virtual bool Convert(const std::uint8_t* src, std::uint32_t srcLength, std::uint32_t& srcUsed, std::uint8_t* dst,
                       std::uint32_t dstLength, std::uint32_t& dstUsed, bool end) = 0;
};

class AcmDriver {
 public:
  virtual ~AcmDriver() = default;
  virtual std::string LongName() const = 0;
  // A converter between the two formats, or null when the driver cannot do it.
  virtual std::unique_ptr<AcmConverter> Open(const WAVEFORMATEX& from, const WAVEFORMATEX& to) const = 0;
};

// What a driver library exports for `acmDriverAdd`:
//   extern "C" platform::AcmDriver* AcmDriverEntry();
// The driver returned lives as long as the library.
constexpr const char* kAcmDriverEntry = "AcmDriverEntry";

struct AcmStream;
using HACMSTREAM = AcmStream*;

struct ACMSTREAMHEADER {
  std::uint32_t fdwStatus = 0;
  std::uint8_t* pbSrc = nullptr;
  std::uint32_t cbSrcLength = 0;
  std::uint32_t cbSrcLengthUsed = 0;
  std::uint8_t* pbDst = nullptr;
  std::uint32_t cbDstLength = 0;
  std::uint32_t cbDstLengthUsed = 0;
};
constexpr std::uint32_t ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;

// Opens a stream from one format to the other with the first driver that can convert them
// (added drivers before the built-in ones); ACMERR_NOTPOSSIBLE when none can.
int acmStreamOpen(HACMSTREAM* stream, const WAVEFORMATEX& from, const WAVEFORMATEX& to, std::uint32_t flags);
int acmStreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header);
// Flags 0 or ACM_STREAMCONVERTF_END. Sets the header's used counts.
int acmStreamConvert(HACMSTREAM stream, ACMSTREAMHEADER* header, std::uint32_t flags);
int acmStreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header);
int acmStreamClose(HACMSTREAM stream);
// The long name of the driver that serves the stream.
std::string acmStreamDriverName(HACMSTREAM stream);

// Adds the driver of a loaded library (a dlopen handle) under `name`; MMSYSERR_INVALPARAM
// when the library does not export the entry. Only ACM_DRIVERADDF_NAME is accepted.
int acmDriverAdd(void* library, const std::string& name, std::uint32_t priority, std::uint32_t flags);
// The names under which drivers were added, in order.
std::vector<std::string> acmAddedDriverNames();

}  // namespace platform
