// The entry points the transfer engine and the preparation sheet call: read an audio
// file's tags and facts into a track record, and write a record's tags back into its file.
#pragma once

#include <chrono>
#include <string_view>

#include "device/records.h"

namespace transfer {

// The codec code of the path's extension (device/codec.h), 0 when unknown.
int GetAudioFileCodec(std::string_view path);

// Stores the path, the file size (low 32 bits) and the codec, resets the numbers (year,
// track number and count, length, bitrate, disc number and count, rating, tempo, the
// counters; sample rate 44,100) and leaves the texts as the caller set them; then the
// format's reader fills the record. Answers the reader's result; 0 when the file cannot be
// opened or its format has no reader.
int ReadAudioFileTags(std::string_view path, device::TrackRecord& record);

// Writes the record's tags into the file its path names (MP3 and WMA; other formats are
// left alone and answer 1). The file is changed all at once: the tags are written into a
// copy beside it, which then replaces it, so a failure leaves it as it was. 1 written (or
// nothing to write), 0 failed, also for a file that may not be written.
int WriteAudioFileTags(const device::TrackRecord& record);

// The same on a worker thread, waiting at most `limit`; 0 on time-out, and then the file
// stays as it was even when the worker finishes later. A call made while an earlier
// overrunning write still runs waits for it within its own limit and does not start its
// write when that passes.
constexpr std::chrono::milliseconds kTagWriteLimit{5000};
int WriteAudioFileTagsTimed(const device::TrackRecord& record, std::chrono::milliseconds limit = kTagWriteLimit);

}  // namespace transfer
