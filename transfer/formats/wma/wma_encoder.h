// WMA output: the media runtime's writer (platform/media/wm_runtime.h), with the codec
// format chosen from the VBR quality or the constant bitrate.
#pragma once

#include <string>

#include "transfer/formats/conversion.h"

namespace transfer {

// EncodeWma's results.
constexpr int kWmaRuntimeMissing = -125;
constexpr int kWmaNoWriterExport = -150;
constexpr int kWmaNoProfileManagerExport = -175;
constexpr int kWmaWriterNotCreated = -200;
constexpr int kWmaProfileManagerNotCreated = -300;
constexpr int kWmaNoCodecInfo = -400;
constexpr int kWmaCodecSettingRefused = -500;
constexpr int kWmaCodecFormatNotFound = -600;
constexpr int kWmaStreamNumberRefused = -700;
constexpr int kWmaEmptyProfileNotCreated = -800;
constexpr int kWmaStreamNotAdded = -900;
constexpr int kWmaProfileRefused = -1300;
constexpr int kWmaInputPropsNotFound = -1400;
constexpr int kWmaInputTypeRefused = -1500;
constexpr int kWmaInputPropsRefused = -1600;
constexpr int kWmaOutputNameRefused = -1700;
constexpr int kWmaWritingNotBegun = -1800;
constexpr int kWmaSampleNotAllocated = -1900;
constexpr int kWmaSampleBufferMissing = -2000;
constexpr int kWmaSampleLengthRefused = -2100;
constexpr int kWmaSampleNotWritten = -2200;  // also: the writer could not finish the file
constexpr int kWmaFileError = -2300;

// The index into the codec's formats: with VBR by quality (98 0, 90 1, 75 2, 25 4, 10 5,
// else 3), without by bitrate (320 24, 256 25, 192 26, 160 27, 96 29, 80 30, 64 31,
// 48 32, 32 33, else 28).
int WmaCodecFormatIndex(bool vbr, int value);

// Encodes the job's source (PCM WAV) into an ASF file of one WMA stream. 0 or a code
// above.
int EncodeWma(const ConversionJob& job, const std::string& destination, bool vbr, int value,
              ProgressReporter& progress);

class WmaEncoder final : public AudioEncoder {
 public:
  // "Windows Media Format" when the runtime offers its writer and profile manager.
  bool Available(std::string& libraryName) const override;
  int Encode(const ConversionJob& job, const std::string& destination, ProgressReporter& progress) const override {
    return EncodeWma(job, destination, job.vbr, job.value, progress);
  }
};

}  // namespace transfer
