#include "transfer/formats/wma/wma_encoder.h"

#include "platform/media/wm_runtime.h"
#include "platform/paths/paths.h"

namespace transfer {

int WmaCodecFormatIndex(bool vbr, int value) {
  if (vbr) {
    switch (value) {
      case 98: return 0;
      case 90: return 1;
      case 75: return 2;
      case 25: return 4;
      case 10: return 5;
      default: return 3;
    }
  }
  switch (value) {
    case 320: return 24;
    case 256: return 25;
    case 192: return 26;
    case 160: return 27;
    case 96: return 29;
    case 80: return 30;
    case 64: return 31;
    case 48: return 32;
    case 32: return 33;
    default: return 28;
  }
}

int EncodeWma(const ConversionJob& job, const std::string& destination, bool vbr, int value,
              ProgressReporter& progress) {
  const platform::WmRuntime* runtime = platform::LoadWmRuntime();
  if (!runtime) return kWmaRuntimeMissing;
  if (!runtime->WMCreateWriter) return kWmaNoWriterExport;
  if (!runtime->WMCreateProfileManager) return kWmaNoProfileManagerExport;
  std::unique_ptr<platform::WmWriter> writer = runtime->WMCreateWriter();
  if (!writer) return kWmaWriterNotCreated;
  std::unique_ptr<platform::WmProfileManager> manager = runtime->WMCreateProfileManager();
  if (!manager) return kWmaProfileManagerNotCreated;
  platform::WmCodecInfo* codecs = manager->GetCodecInfo();
  if (!codecs) return kWmaNoCodecInfo;

  if (!codecs->SetCodecEnumerationSetting(0, "_VBRENABLED", vbr ? 1 : 0) ||
      !codecs->SetCodecEnumerationSetting(0, "_PASSESUSED", 1))
    return kWmaCodecSettingRefused;
  std::unique_ptr<platform::WmStreamConfig> config = codecs->GetCodecFormat(0, WmaCodecFormatIndex(vbr, value));
  if (!config) return kWmaCodecFormatNotFound;
  config->SetStreamName("Audio Stream");
  config->SetConnectionName("Audio");
  if (!config->SetStreamNumber(1)) return kWmaStreamNumberRefused;
  std::unique_ptr<platform::WmProfile> profile = manager->CreateEmptyProfile(platform::WMT_VER_9_0);
  if (!profile) return kWmaEmptyProfileNotCreated;
  if (!profile->AddStream(*config)) return kWmaStreamNotAdded;
  if (!writer->SetProfile(*profile)) return kWmaProfileRefused;

  WavInput source;
  if (!source.Open(job.source)) return kWmaFileError;
  platform::WmMediaProps props;
  if (!writer->GetInputProps(0, props)) return kWmaInputPropsNotFound;
  platform::WmMediaType type;
  type.format = source.Format();
  type.sampleSize = type.format.nBlockAlign;
  if (!props.SetMediaType(type)) return kWmaInputTypeRefused;
  if (!writer->SetInputProps(0, props)) return kWmaInputPropsRefused;
  if (!writer->SetOutputFilename(platform::ToPosixPath(destination))) return kWmaOutputNameRefused;
  if (!writer->BeginWriting()) return kWmaWritingNotBegun;

  constexpr std::uint32_t kPiece = 20000;
  std::uint64_t time = 0;
  for (;;) {
    if (job.Cancelled()) return kConversionCancelled;
    std::unique_ptr<platform::WmBuffer> sample = writer->AllocateSample(kPiece);
    if (!sample) return kWmaSampleNotAllocated;
    std::uint8_t* buffer = sample->Buffer();
    if (!buffer) return kWmaSampleBufferMissing;
    const std::size_t read = source.Read(buffer, kPiece);
    if (read == 0) break;
    if (!sample->SetLength(static_cast<std::uint32_t>(read))) return kWmaSampleLengthRefused;
    if (!writer->WriteSample(0, time, 0, *sample)) return kWmaSampleNotWritten;
    // 100-nanosecond units of 16-bit stereo at 44,100 Hz.
    time += static_cast<std::uint64_t>(double(read) * 56.69);
    progress.Report(source.FilePosition(), source.FileLength());
  }
  return writer->EndWriting() ? 0 : kWmaSampleNotWritten;
}

bool WmaEncoder::Available(std::string& libraryName) const {
  const platform::WmRuntime* runtime = platform::LoadWmRuntime();
  if (!runtime || !runtime->WMCreateWriter || !runtime->WMCreateProfileManager) return false;
  libraryName = "Windows Media Format";
  return true;
}

}  // namespace transfer
