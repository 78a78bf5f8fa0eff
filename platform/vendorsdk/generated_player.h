// A large simulated player made up from words and a seed, for measuring and for trying
// the interfaces on a catalogue of a realistic size: about one artist per thirteen tracks
// and one album per eleven, albums shared between artists, tracks without artist, album or
// genre, names that differ only in case, and hostile tags (slashes, markup, quotes, "&",
// "+", "%", "#", "?", "=", CR and LF, tabs, blanks at the ends, non-ASCII, the longest
// name the player keeps). It also holds a playlist of up to 1,000 entries, a few smaller
// ones, play-only tracks and data files with awkward names.
//
// The tracks' content is one short tone per codec, the same bytes for every track of that
// codec (WMA tracks carry the WAV bytes); the lengths in the tags are made up.
#pragma once

#include <string>
#include <string_view>

namespace platform {

struct GeneratedPlayerOptions {
  int tracks = 5000;
  unsigned seed = 1;
};

// Creates the player in `folder` (Windows form), which must not exist or be empty. The
// same options always give the same catalogue.
bool CreateGeneratedPlayer(std::string_view folder, const GeneratedPlayerOptions& options,
                           std::string* error);

}  // namespace platform
