#include "transfer/formats/mp3/mp3_encoder.h"

#include <cstring>
#include <new>
#include <vector>

#include "platform/media/acm.h"
#include "platform/media/be_encoder.h"
#include "platform/paths/paths.h"
#include "transfer/formats/wav/pcm_convert.h"

namespace transfer {

namespace {

platform::MPEGLAYER3WAVEFORMAT Mp3Format(int kbps) {
  platform::MPEGLAYER3WAVEFORMAT f;
  f.wfx.wFormatTag = platform::WAVE_FORMAT_MPEGLAYER3;
  f.wfx.nChannels = 2;
  f.wfx.nSamplesPerSec = 44100;
  f.wfx.nAvgBytesPerSec = static_cast<std::uint32_t>(kbps / 8 * 1000);
  f.wfx.nBlockAlign = 1;
  f.wfx.wBitsPerSample = 0;
  f.wfx.cbSize = 12;
  f.wID = 1;  // MPEG
  f.fdwFlags = 0;
  f.nBlockSize = 1;
  f.nFramesPerBlock = 0;
  f.nCodecDelay = 1000;
  return f;
}

// Closes an open stream on every way out that did not close it.
struct BladeEncStream {
  const platform::BeEncoderExports* be = nullptr;
  platform::HBE_STREAM handle = 0;
  bool open = false;
  ~BladeEncStream() { Close(); }
  void Close() {
    if (open) be->beCloseStream(handle);
    open = false;
  }
};

}  // namespace

int EncodeMp3WithBladeEnc(const ConversionJob& job, const std::string& destination, bool vbr, int value,
                          ProgressReporter& progress) {
  const platform::BeEncoderExports* be = platform::LoadBeEncoder();
  if (!be) return kBladeEncMissing;
  if (!be->beInitStream || !be->beEncodeChunk || !be->beDeinitStream || !be->beCloseStream || !be->beWriteVBRHeader)
    return kBladeEncNoExport;

  platform::BE_CONFIG config;
  std::memset(&config, 0, sizeof config);
  config.dwConfig = platform::BE_CONFIG_LAME;
  platform::BE_CONFIG::LHV1& c = config.lhv1;
  c.dwStructVersion = 1;
  c.dwStructSize = sizeof config;
  c.dwSampleRate = 44100;
  c.dwReSampleRate = 0;
  c.nMode = platform::BE_MP3_MODE_JSTEREO;
  c.dwBitrate = static_cast<std::uint32_t>(value);
  c.nPreset = platform::LQP_NOPRESET;
  c.dwMpegVersion = platform::MPEG1;
  if (vbr) {
    c.dwBitrate = 32;
    c.dwMaxBitrate = 320;
    c.bWriteVBRHeader = 1;
    c.bEnableVBR = 1;
    c.nVBRQuality = value;
    c.nVbrMethod = platform::VBR_METHOD_NEW;
  }
  BladeEncStream stream;
  stream.be = be;
  std::uint32_t samplesPerChunk = 0, outputSize = 0;
  if (be->beInitStream(&config, &samplesPerChunk, &outputSize, &stream.handle) != platform::BE_ERR_SUCCESSFUL)
    return kBladeEncInitFailed;
  stream.open = true;

  std::vector<std::int16_t> input;
  std::vector<std::uint8_t> output;
  try {
    input.resize(samplesPerChunk);
    output.resize(outputSize);
  } catch (const std::bad_alloc&) {
    return kBladeEncNoExport;
  }
  WavInput source;
  if (!source.Open(job.source)) return kBladeEncNoSource;
  OutputFile file;
  if (!file.Create(destination, false)) return kBladeEncFileError;
  for (;;) {
    if (job.Cancelled()) return kConversionCancelled;
    const std::size_t samples = source.Read(input.data(), input.size() * sizeof(std::int16_t)) / sizeof(std::int16_t);
    if (samples == 0) break;
    std::uint32_t bytes = 0;
    if (be->beEncodeChunk(stream.handle, static_cast<std::uint32_t>(samples), input.data(), output.data(), &bytes) !=
        platform::BE_ERR_SUCCESSFUL)
      return kBladeEncChunkFailed;
    if (!file.Write(output.data(), bytes)) return kBladeEncFileError;
    progress.Report(source.FilePosition(), source.FileLength());
  }
  std::uint32_t bytes = 0;
  if (be->beDeinitStream(stream.handle, output.data(), &bytes) != platform::BE_ERR_SUCCESSFUL)
    return kBladeEncDeinitFailed;
  if (!file.Write(output.data(), bytes)) return kBladeEncFileError;
  stream.Close();
  if (!file.Finish()) return kBladeEncFileError;
  if (vbr) be->beWriteVBRHeader(platform::ToPosixPath(destination).c_str());
  return 0;
}

int EncodeMp3WithAcm(const ConversionJob& job, const std::string& destination, bool qualityIndex, int value,
                     ProgressReporter& progress) {
  WavInput source;
  if (!source.Open(job.source)) return kAcmFileError;
  int kbps = value;
  if (qualityIndex) {
    const int last = static_cast<int>(std::size(kMp3QualityBitrates)) - 1;
    kbps = kMp3QualityBitrates[value < 0 ? 0 : value > last ? last : value];
  }
  const platform::MPEGLAYER3WAVEFORMAT mp3 = Mp3Format(kbps);
  return ConvertWithAcm(job, destination, source.Format(), mp3.wfx, progress);
}

bool Mp3Encoder::Available(std::string& libraryName) const {
  if (platform::LoadBeEncoder()) {
    libraryName = "BE Compatible Library";
    return true;
  }
  platform::HACMSTREAM stream = nullptr;
  const platform::MPEGLAYER3WAVEFORMAT mp3 = Mp3Format(128);
  if (platform::acmStreamOpen(&stream, FixedPcmFormat(), mp3.wfx, platform::ACM_STREAMOPENF_NONREALTIME) !=
      platform::MMSYSERR_NOERROR)
    return false;
  libraryName = platform::acmStreamDriverName(stream);
  platform::acmStreamClose(stream);
  return true;
}

int Mp3Encoder::Encode(const ConversionJob& job, const std::string& destination, ProgressReporter& progress) const {
  const int result = EncodeMp3WithBladeEnc(job, destination, job.vbr, job.value, progress);
  if (result == 0 || result == kConversionCancelled) return result;
  return EncodeMp3WithAcm(job, destination, job.vbr, job.value, progress);
}

}  // namespace transfer
