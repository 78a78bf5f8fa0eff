// Content made for a simulated player without an upload from the computer: audio files
// with their tags, the attributes an upload would carry, and the step that stores them
// (the demo player and generated players use them).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/vendorsdk/simplayer.h"
#include "platform/vendorsdk/vendorsdk.h"

namespace platform {

struct SimTrackTags {
  std::string title, artist, album, genre;
  std::string codec;  // "MP3", "WMA", "WAV"
  std::uint32_t seconds = 0;
  std::uint32_t number = 0;
  std::uint32_t year = 0;
};

SdkAttribute SimText(std::string_view name, std::string value);
SdkAttribute SimNumber(std::string_view name, std::uint32_t value);
// What an upload of a track with these tags sends.
std::vector<SdkAttribute> SimTrackAttributes(const SimTrackTags& tags);
// What an upload of a data file into `folder` sends.
std::vector<SdkAttribute> SimDataFileAttributes(std::string_view name, std::uint32_t folder,
                                                std::uint32_t modified);

// 16-bit mono PCM at `rate`, with the tags in a LIST INFO chunk after the samples.
std::string MakeWavFile(const std::vector<std::int16_t>& pcm, int rate, const SimTrackTags& tags);
// Constant bit rate MP3 (64 kbit/s, mono) with an ID3v2 tag in front; false with *error.
bool MakeMp3File(const std::vector<std::int16_t>& pcm, int rate, const SimTrackTags& tags,
                 std::string* out, std::string* error);

// Puts the bytes into the player as a new item through the same steps as an upload.
SdkResult AddSimContent(SimPlayer& player, std::uint32_t type, const std::vector<SdkAttribute>& attrs,
                        const std::string& bytes, std::uint32_t* id);

// Creates a player in `folder` (Windows form), which must not exist or be empty, and has
// `fill` put its content in. The player is made beside its place and renamed into it, so
// a half-made one is never taken for a player. `what` names it in messages ("demo").
bool CreateFilledSimPlayer(std::string_view folder, const SimPlayerOptions& options, std::string_view what,
                           const std::function<bool(SimPlayer&, std::string*)>& fill, std::string* error);

}  // namespace platform
