// Conversion jobs: a decode job turns a source file into a PCM WAV file, an encode job a
// WAV file into the target format, each on a worker thread of its own that reports to a
// progress callback (transfer/formats/conversion.h) and can be cancelled.
//
// Every job reports state 0 when it starts, then state 1 at new percentages that are
// multiples of its step, and ends with exactly one report: state 2 (100, 100) when it
// succeeded, else state 3 with its result (a plain copy that failed and a format without a
// codec end with 1; a cancelled job with kConversionCancelled). Before that last report the
// job has deleted its temporary file and, unless it succeeded, its output; the source is
// never touched. After it the worker touches nothing the starter passed.
#pragma once

#include <memory>
#include <string>

#include "transfer/formats/conversion.h"

namespace transfer {

// Encodes `source` (a WAV file) into `destination` as the target codec (1 wav, 2 mp3,
// 3 wma) with the VBR flag and value (VBR quality, or CBR bitrate in kbit/s). A source
// not in the fixed PCM format is first converted into destination + ".tmp". Returns at
// once.
void StartEncodeJob(const std::string& source, const std::string& destination, int targetCodec, bool vbr, int value,
                    ConversionProgress progress, void* user, int step, ConversionCancel cancel = {});

// Decodes `source` (by its extension: wav copied; mp3, wma, ogg, flac decoded) into the
// WAV file `destination`. Returns at once.
void StartDecodeJob(const std::string& source, const std::string& destination, ConversionProgress progress,
                    void* user, int step, ConversionCancel cancel = {});

// The workers' bodies, run on the calling thread.
void EncodeJobThreadProc(std::unique_ptr<ConversionJob> job);
void DecodeJobThreadProc(std::unique_ptr<ConversionJob> job);

}  // namespace transfer
