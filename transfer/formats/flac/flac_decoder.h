// FLAC input: decoded frame by frame with libFLAC's stream decoder, loaded at run time
// from the shared setting "libFLAC.dll" (or the system's library), into a WAV file in the
// stream's own rate, channels and sample size.
#pragma once

#include <FLAC/format.h>
#include <FLAC/stream_decoder.h>

#include <string>

#include "transfer/formats/conversion.h"

namespace transfer {

// DecodeFlac's results.
constexpr int kFlacLibraryMissing = -50;
constexpr int kFlacDecoderNotCreated = -100;
constexpr int kFlacDestinationNotOpened = -200;
constexpr int kFlacDecoderNotInitialised = -300;
constexpr int kFlacFileError = -400;  // also: a stream the decoder found no audio in, or a
                                      // damaged one it had to stop

// Decodes the job's source into `destination`. 0 or a code above.
int DecodeFlac(const ConversionJob& job, const std::string& destination, ProgressReporter& progress);

// Writes one frame's samples interleaved: 8-bit samples as unsigned bytes, 16 and 24 bits
// as they are; other widths are shifted up to fill the next of 8, 16, 24 or 32 bits.
// Answers abort when they could not be written or the job was cancelled.
FLAC__StreamDecoderWriteStatus FlacWriteCallback(const FLAC__StreamDecoder* decoder, const FLAC__Frame* frame,
                                                 const FLAC__int32* const buffer[], void* client);

class FlacDecoder final : public AudioDecoder {
 public:
  // "FLAC Dynamic Library" when the library loads with every function the decoder calls.
  bool Available(std::string& libraryName) const override;
  int Decode(const ConversionJob& job, const std::string& destination, ProgressReporter& progress) const override {
    return DecodeFlac(job, destination, progress);
  }
};

}  // namespace transfer
