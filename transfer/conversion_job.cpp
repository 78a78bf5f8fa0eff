#include "transfer/conversion_job.h"

#include <filesystem>
#include <system_error>
#include <thread>

#include "device/codec.h"
#include "platform/paths/paths.h"
#include "transfer/conversion_rules.h"
#include "transfer/formats/audio_format.h"
#include "transfer/formats/wav/pcm_convert.h"
#include "transfer/formats/wav/wav_reader.h"

using namespace device;

namespace transfer {

namespace {

void Report(const ConversionJob& job, int state, int value, int maximum) {
  if (job.progress) job.progress(job.user, state, value, maximum);
}

// Whether the two paths name one existing file (a job must never write over its source).
bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(platform::ToPosixPath(a), platform::ToPosixPath(b), ec) && !ec;
}

void Remove(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove(platform::ToPosixPath(path), ec);
}

// The one last report, after the files are in order.
void Finish(const ConversionJob& job, int result, const std::string& temporary, bool outputIsSource) {
  if (!temporary.empty()) Remove(temporary);
  if (result != 0 && !outputIsSource) Remove(job.destination);
  if (result == 0) {
    Report(job, kConversionDone, 100, 100);
  } else {
    Report(job, kConversionFailed, result, result);
  }
}

std::unique_ptr<ConversionJob> MakeJob(const std::string& source, const std::string& destination,
                                       ConversionProgress progress, void* user, int step, ConversionCancel cancel) {
  auto job = std::make_unique<ConversionJob>();
  job->source = source;
  job->destination = destination;
  job->progress = progress;
  job->user = user;
  job->step = step;
  job->cancel = std::move(cancel);
  return job;
}

// Starts the worker; when no thread can be made the job ends at once, so the starter
// still hears its end.
void Start(void (*body)(std::unique_ptr<ConversionJob>), std::unique_ptr<ConversionJob> job) {
  const ConversionProgress progress = job->progress;
  void* const user = job->user;
  try {
    std::thread(body, std::move(job)).detach();
  } catch (const std::system_error&) {
    if (progress) progress(user, kConversionFailed, kConversionNothingDone, kConversionNothingDone);
  }
}

}  // namespace

void StartEncodeJob(const std::string& source, const std::string& destination, int targetCodec, bool vbr, int value,
                    ConversionProgress progress, void* user, int step, ConversionCancel cancel) {
  auto job = MakeJob(source, destination, progress, user, step, std::move(cancel));
  job->targetCodec = targetCodec;
  job->vbr = vbr;
  job->value = value;
  Start(EncodeJobThreadProc, std::move(job));
}

void StartDecodeJob(const std::string& source, const std::string& destination, ConversionProgress progress,
                    void* user, int step, ConversionCancel cancel) {
  Start(DecodeJobThreadProc, MakeJob(source, destination, progress, user, step, std::move(cancel)));
}

void EncodeJobThreadProc(std::unique_ptr<ConversionJob> job) {
  RegisterAcmCodecs();
  const std::string temporary = job->destination + ".tmp";
  if (SameFile(job->source, job->destination) || SameFile(job->source, temporary)) {
    Report(*job, kConversionStarted, 0, 100);
    Finish(*job, kConversionNothingDone, {}, true);
    return;
  }
  platform::WAVEFORMATEX format;
  std::uint32_t dataOffset = 0;
  ReadWavChunks(job->source, &format, &dataOffset);

  // The encoders take the fixed format only; a failed conversion to it ends the job.
  ConversionJob encode = *job;
  int result = 0;
  if (!SameFormat(format, FixedPcmFormat())) {
    ProgressReporter silent(nullptr, nullptr, 1);
    result = ConvertWithAcm(*job, temporary, format, FixedPcmFormat(), silent);
    encode.source = temporary;
  }
  Report(*job, kConversionStarted, 0, 100);
  if (result == 0) {
    const AudioFormat* target = FindAudioFormat(job->targetCodec);
    ProgressReporter progress(*job);
    result = target && target->encoder ? target->encoder->Encode(encode, job->destination, progress)
                                       : kConversionNothingDone;
    if (result == 0) progress.Report(1, 1);  // the whole, whatever the codec's last piece said
  }
  Finish(*job, result, temporary, false);
}

void DecodeJobThreadProc(std::unique_ptr<ConversionJob> job) {
  RegisterAcmCodecs();
  Report(*job, kConversionStarted, 0, 100);
  if (SameFile(job->source, job->destination)) {
    Finish(*job, kConversionNothingDone, {}, true);
    return;
  }
  const AudioFormat* format = FindAudioFormat(GetCodecFromPath(job->source));
  ProgressReporter progress(*job);
  const int result =
      format && format->decoder ? format->decoder->Decode(*job, job->destination, progress) : kConversionNothingDone;
  if (result == 0) progress.Report(1, 1);  // the whole, whatever the codec's last piece said
  Finish(*job, result, {}, false);
}

}  // namespace transfer
