// WAV in the conversion: the plain copy that is the WAV "codec", and conversion between
// audio formats through the audio compression manager (platform/media/acm.h).
#pragma once

#include <string>

#include "platform/media/wave_format.h"
#include "transfer/formats/conversion.h"

namespace transfer {

// ConvertWithAcm's results.
constexpr int kAcmStreamNotOpened = -100;
constexpr int kAcmNoBuffers = -200;
constexpr int kAcmHeaderNotPrepared = -300;
constexpr int kAcmConversionFailed = -400;
constexpr int kAcmFileError = -500;

// Converts the job's source (a WAV file whose data is in `from`) to `to` in pieces of
// 16,384 bytes, into `destination`: a WAV file when `to` is PCM, else the converted bytes
// alone. Whatever the converter holds back is written at the end. 0 or a code above.
int ConvertWithAcm(const ConversionJob& job, const std::string& destination, const platform::WAVEFORMATEX& from,
                   const platform::WAVEFORMATEX& to, ProgressReporter& progress);

// Copies `source` to `destination` (overwriting) in pieces: 0, kConversionNothingDone
// when it could not, kConversionCancelled.
int CopyAudioFile(const ConversionJob& job, const std::string& source, const std::string& destination,
                  ProgressReporter& progress);

// "Internal WAV Support": decoding and encoding WAV is copying it.
class WavCodec final : public AudioDecoder, public AudioEncoder {
 public:
  bool Available(std::string& libraryName) const override;
  int Decode(const ConversionJob& job, const std::string& destination, ProgressReporter& progress) const override;
  int Encode(const ConversionJob& job, const std::string& destination, ProgressReporter& progress) const override;
};

}  // namespace transfer
