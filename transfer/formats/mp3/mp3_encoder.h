// MP3 output: the encoder library with the BladeEnc-style interface
// (platform/media/be_encoder.h), and, without it or when it fails, the audio compression
// manager's MPEG Layer-3 codec.
#pragma once

#include <string>

#include "transfer/formats/conversion.h"

namespace transfer {

// EncodeMp3WithBladeEnc's results.
constexpr int kBladeEncMissing = -100;
constexpr int kBladeEncNoExport = -200;  // an export missing, or no buffers
constexpr int kBladeEncInitFailed = -300;
constexpr int kBladeEncNoSource = -450;
constexpr int kBladeEncChunkFailed = -500;
constexpr int kBladeEncDeinitFailed = -550;
constexpr int kBladeEncFileError = -600;

// The constant bitrates (kbit/s) the ACM encode takes for the quality indexes 0 to 13.
constexpr int kMp3QualityBitrates[14] = {320, 256, 224, 192, 160, 128, 112, 96, 80, 64, 56, 48, 40, 32};

// Encodes the job's source (16-bit PCM WAV) with the BladeEnc-style library: CBR at
// `value` kbit/s, or VBR at quality `value` (0 best .. 9) between 32 and 320 kbit/s with
// the VBR header frame written into the file at the end. 0 or a code above.
int EncodeMp3WithBladeEnc(const ConversionJob& job, const std::string& destination, bool vbr, int value,
                          ProgressReporter& progress);

// Encodes through the ACM at `value` kbit/s, or, with `qualityIndex`, at the bitrate of
// that index into kMp3QualityBitrates (held to 0 .. 13). ConvertWithAcm's results.
int EncodeMp3WithAcm(const ConversionJob& job, const std::string& destination, bool qualityIndex, int value,
                     ProgressReporter& progress);

class Mp3Encoder final : public AudioEncoder {
 public:
  // "BE Compatible Library", else the name of the ACM codec that encodes 44,100 Hz stereo
  // 16-bit PCM at 128 kbit/s.
  bool Available(std::string& libraryName) const override;
  // The BladeEnc-style library, and the ACM when that answers anything but 0 (except
  // when the job was cancelled).
  int Encode(const ConversionJob& job, const std::string& destination, ProgressReporter& progress) const override;
};

}  // namespace transfer
