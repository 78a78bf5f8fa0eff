#include "transfer/formats/wma/wm_decoder.h"

#include <vector>

#include "platform/media/wm_runtime.h"
#include "platform/paths/paths.h"

namespace transfer {

int DecodeWithWindowsMedia(const ConversionJob& job, const std::string& destination, ProgressReporter& progress) {
  const platform::WmRuntime* runtime = platform::LoadWmRuntime();
  if (!runtime) return kWmRuntimeMissing;
  if (!runtime->WMCreateSyncReader) return kWmNoSyncReaderExport;
  std::unique_ptr<platform::WmSyncReader> reader = runtime->WMCreateSyncReader();
  if (!reader) return kWmReaderNotCreated;
  if (!reader->Open(platform::ToPosixPath(job.source))) return kWmSourceNotOpened;

  platform::WmMediaProps props;
  if (!reader->GetOutputProps(0, props)) return kWmOutputPropsNotFound;
  platform::WmMediaType type;
  type.audio = true;
  type.pcm = true;
  type.fixedSizeSamples = true;
  type.temporalCompression = false;
  type.sampleSize = 2;
  type.format = FixedPcmFormat();
  if (!props.SetMediaType(type)) return kWmOutputTypeRefused;
  if (!reader->SetOutputProps(0, props)) return kWmOutputPropsRefused;

  std::uint64_t total = 0;
  if (!reader->GetDuration(total)) total = 1800000000;

  OutputFile output;
  if (!output.Create(destination, true)) return kWmDecodeError;
  std::vector<std::uint8_t> sample;
  for (;;) {
    if (job.Cancelled()) return kConversionCancelled;
    std::uint64_t time = 0, duration = 0;
    const int r = reader->GetNextSample(0, sample, time, duration);
    if (r == platform::NS_E_NO_MORE_SAMPLES) break;
    if (r != 0) return kWmDecodeError;
    if (sample.empty()) return kWmSampleBufferMissing;
    if (!output.Write(sample.data(), sample.size())) return kWmDecodeError;
    progress.Report(time + duration, total);  // the time at the sample's end
  }
  const platform::WAVEFORMATEX fixed = FixedPcmFormat();
  return output.Finish(&fixed) ? 0 : kWmDecodeError;
}

bool WmDecoder::Available(std::string& libraryName) const {
  const platform::WmRuntime* runtime = platform::LoadWmRuntime();
  if (!runtime || !runtime->WMCreateSyncReader) return false;
  libraryName = "Windows Media Format";
  return true;
}

}  // namespace transfer
