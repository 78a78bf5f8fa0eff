#include "transfer/formats/wav/pcm_convert.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include "platform/media/acm.h"
#include "platform/paths/paths.h"
#include "transfer/formats/wav/wav_reader.h"

namespace transfer {

namespace {

constexpr std::uint32_t kAcmPiece = 16384;

// Closes the stream and gives the header back on every way out.
struct AcmSession {
  platform::HACMSTREAM stream = nullptr;
  platform::ACMSTREAMHEADER header;
  bool prepared = false;
  ~AcmSession() {
    if (prepared) platform::acmStreamUnprepareHeader(stream, &header);
    if (stream) platform::acmStreamClose(stream);
  }
};

}  // namespace

int ConvertWithAcm(const ConversionJob& job, const std::string& destination, const platform::WAVEFORMATEX& from,
                   const platform::WAVEFORMATEX& to, ProgressReporter& progress) {
  AcmSession acm;
  if (platform::acmStreamOpen(&acm.stream, from, to, platform::ACM_STREAMOPENF_NONREALTIME) !=
      platform::MMSYSERR_NOERROR)
    return kAcmStreamNotOpened;
  std::vector<std::uint8_t> source, converted;
  try {
    source.resize(kAcmPiece);
    converted.resize(kAcmPiece);
  } catch (const std::bad_alloc&) {
    return kAcmNoBuffers;
  }
  acm.header.pbSrc = source.data();
  acm.header.cbSrcLength = kAcmPiece;
  acm.header.pbDst = converted.data();
  acm.header.cbDstLength = kAcmPiece;
  if (platform::acmStreamPrepareHeader(acm.stream, &acm.header) != platform::MMSYSERR_NOERROR)
    return kAcmHeaderNotPrepared;
  acm.prepared = true;

  WavInput input;
  OutputFile output;
  const bool toPcm = to.wFormatTag == platform::WAVE_FORMAT_PCM;
  if (!input.Open(job.source) || !output.Create(destination, toPcm)) return kAcmFileError;
  for (;;) {
    if (job.Cancelled()) return kConversionCancelled;
    const std::size_t read = input.Read(source.data(), kAcmPiece);
    if (read == 0) break;
    acm.header.cbSrcLength = static_cast<std::uint32_t>(read);
    acm.header.cbDstLength = kAcmPiece;
    if (platform::acmStreamConvert(acm.stream, &acm.header, 0) != platform::MMSYSERR_NOERROR)
      return kAcmConversionFailed;
    input.StepBack(read - acm.header.cbSrcLengthUsed);
    if (!output.Write(converted.data(), acm.header.cbDstLengthUsed)) return kAcmFileError;
    progress.Report(input.FilePosition(), input.FileLength());
    // Only a part of a sample frame is left: it is not audio.
    if (acm.header.cbSrcLengthUsed == 0 && acm.header.cbDstLengthUsed == 0) break;
  }
  // What the converter holds back (a resampler's last samples, an encoder's last frames).
  do {
    if (job.Cancelled()) return kConversionCancelled;
    acm.header.cbSrcLength = 0;
    acm.header.cbDstLength = kAcmPiece;
    if (platform::acmStreamConvert(acm.stream, &acm.header, platform::ACM_STREAMCONVERTF_END) !=
        platform::MMSYSERR_NOERROR)
      return kAcmConversionFailed;
    if (!output.Write(converted.data(), acm.header.cbDstLengthUsed)) return kAcmFileError;
  } while (acm.header.cbDstLengthUsed > 0);
  return output.Finish(&to) ? 0 : kAcmFileError;
}

int CopyAudioFile(const ConversionJob& job, const std::string& source, const std::string& destination,
                  ProgressReporter& progress) {
  FileSource in;
  OutputFile out;
  if (!in.Open(source) || !out.Create(destination, false)) return kConversionNothingDone;
  std::vector<unsigned char> piece(1 << 20);
  std::uint64_t at = 0;
  for (;;) {
    if (job.Cancelled()) return kConversionCancelled;
    const std::size_t n = in.ReadAt(at, piece.data(), piece.size());
    if (n == 0) break;
    if (!out.Write(piece.data(), n)) return kConversionNothingDone;
    at += n;
    progress.Report(at, in.Size());
  }
  if (at != in.Size()) return kConversionNothingDone;
  return out.Finish() ? 0 : kConversionNothingDone;
}

namespace {

// A WAV file written while it was streamed declares no sizes (0) or sizes it never reached
// (0xFFFFFFFF); its copy gets the real ones, in whole sample frames.
int CopyWavFile(const ConversionJob& job, const std::string& destination, ProgressReporter& progress) {
  const int copied = CopyAudioFile(job, job.source, destination, progress);
  if (copied != 0) return copied;
  FileSource in;
  if (!in.Open(job.source)) return kConversionNothingDone;
  platform::WAVEFORMATEX format;
  std::uint32_t offset = 0, declared = 0;
  unsigned char riff[4];
  if (!ReadWavChunks(in, format, offset, &declared) || !in.ReadExact(4, riff, 4)) return 0;  // no WAV we know
  const std::uint64_t size = in.Size();
  const std::uint64_t rest = size - std::min<std::uint64_t>(offset, size);
  const bool dataWrong = declared == 0 || declared > rest;
  const bool riffWrong = LittleEndian32(riff) == 0 || LittleEndian32(riff) > size - 8;
  if (!dataWrong && !riffWrong) return 0;
  std::uint64_t data = dataWrong ? rest : declared;
  if (dataWrong && format.nBlockAlign > 0) data -= data % format.nBlockAlign;
  const auto le32 = [](std::uint64_t v) {
    const std::uint32_t x = v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
    return std::string{char(x), char(x >> 8), char(x >> 16), char(x >> 24)};
  };
  std::FILE* out = std::fopen(platform::ToPosixPath(destination).c_str(), "r+b");
  if (!out) return kConversionNothingDone;
  bool ok = true;
  if (dataWrong) {
    ok =
        std::fseek(out, static_cast<long>(offset) - 4, SEEK_SET) == 0 && std::fwrite(le32(data).data(), 1, 4, out) == 4;
  }
  // What follows the data (chunks, or a partial sample frame) stays and counts.
  ok = ok && std::fseek(out, 4, SEEK_SET) == 0 && std::fwrite(le32(size - 8).data(), 1, 4, out) == 4;
  if (std::fclose(out) != 0) ok = false;
  return ok ? 0 : kConversionNothingDone;
}

}  // namespace

bool WavCodec::Available(std::string& libraryName) const {
  libraryName = "Internal WAV Support";
  return true;
}

int WavCodec::Decode(const ConversionJob& job, const std::string& destination, ProgressReporter& progress) const {
  return CopyWavFile(job, destination, progress);
}

int WavCodec::Encode(const ConversionJob& job, const std::string& destination, ProgressReporter& progress) const {
  return CopyWavFile(job, destination, progress);
}

}  // namespace transfer
