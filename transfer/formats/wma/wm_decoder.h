// MP3 and WMA input: decoded by the media runtime's synchronous reader
// (platform/media/wm_runtime.h) into the fixed PCM format.
#pragma once

#include <string>

#include "transfer/formats/conversion.h"

namespace transfer {

// DecodeWithWindowsMedia's results.
constexpr int kWmRuntimeMissing = -125;
constexpr int kWmNoSyncReaderExport = -150;
constexpr int kWmReaderNotCreated = -200;
constexpr int kWmOutputPropsNotFound = -210;
constexpr int kWmOutputTypeRefused = -220;
constexpr int kWmOutputPropsRefused = -230;
constexpr int kWmSourceNotOpened = -300;
constexpr int kWmSampleBufferMissing = -400;
constexpr int kWmDecodeError = -500;  // a file error, or a sample the reader could not give

// Decodes the job's source into a WAV file in the fixed format. 0 or a code above.
int DecodeWithWindowsMedia(const ConversionJob& job, const std::string& destination, ProgressReporter& progress);

class WmDecoder final : public AudioDecoder {
 public:
  // "Windows Media Format" when the runtime offers its synchronous reader.
  bool Available(std::string& libraryName) const override;
  int Decode(const ConversionJob& job, const std::string& destination, ProgressReporter& progress) const override {
    return DecodeWithWindowsMedia(job, destination, progress);
  }
};

}  // namespace transfer
