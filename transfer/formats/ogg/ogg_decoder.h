// Ogg Vorbis input: the reference decoding loop over libogg and libvorbis, loaded at run
// time from the shared settings "ogg.dll" and "vorbis.dll" (or the system's libraries),
// into a 16-bit WAV file at the first stream's rate and channels (later streams of a
// chained file are converted to them).
#pragma once

#include <string>

#include "transfer/formats/byte_source.h"
#include "transfer/formats/conversion.h"

namespace transfer {

// DecodeOggVorbis's results.
constexpr int kOggLibraryMissing = -50;
constexpr int kOggSourceNotOpened = -74;
constexpr int kOggDestinationNotOpened = -75;
constexpr int kOggNotOgg = -100;
constexpr int kOggFirstPageUnreadable = -200;
constexpr int kOggNoFirstHeader = -300;
constexpr int kOggNotVorbis = -400;
constexpr int kOggCorruptHeader = -500;
constexpr int kOggHeadersCutShort = -600;
// A later stream of a chained file has another rate or channel count than the first, and
// no converter takes it to the first one's.
constexpr int kOggFormatChanged = -700;
constexpr int kOggFileError = -800;  // the destination could not be written

// Decodes the job's source into `destination`. 0 or a code above.
int DecodeOggVorbis(const ConversionJob& job, const std::string& destination, ProgressReporter& progress);

// The loop itself, from any source into `output` (a WAV file whose header the caller
// writes with `format` after a 0). Null `job` never cancels.
int DecodeOggStream(ByteSource& source, OutputFile& output, platform::WAVEFORMATEX& format,
                    const ConversionJob* job, ProgressReporter& progress);

class OggDecoder final : public AudioDecoder {
 public:
  // "Ogg Vorbis Dynamic Library" when both libraries load with every function the loop
  // calls.
  bool Available(std::string& libraryName) const override;
  int Decode(const ConversionJob& job, const std::string& destination, ProgressReporter& progress) const override {
    return DecodeOggVorbis(job, destination, progress);
  }
};

}  // namespace transfer
