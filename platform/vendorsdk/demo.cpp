// The demo player a new user gets: short tracks synthesised here (WAV and MP3), tags,
// playlists, a data folder with a file and an owner name.
#include <algorithm>
#include <cmath>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "platform/vendorsdk/sim_content.h"
#include "platform/vendorsdk/simplayer.h"

namespace platform {
namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

enum class Style { kAmbient, kJazz, kFolk, kElectronic };

struct DemoTrack {
  const char* title;
  const char* artist;
  const char* album;
  const char* genre;
  int year;
  int number;
  bool mp3;
  int seconds;
  Style style;
  int key;  // MIDI note of the key's root
};

const DemoTrack kTracks[] = {
    {"Low Tide", "Harbor Lights", "Tidewater Sketches", "Ambient", 2003, 1, false, 5, Style::kAmbient, 57},
    {"Salt and Glass", "Harbor Lights", "Tidewater Sketches", "Ambient", 2003, 2, true, 4, Style::kAmbient, 62},
    {"Fog Bell", "Harbor Lights", "Tidewater Sketches", "Ambient", 2003, 3, false, 6, Style::kAmbient, 55},
    {"Midnight Stroll", "Northwind Brass", "Small Hours", "Jazz", 2001, 1, true, 5, Style::kJazz, 53},
    {"Blue Lantern", "Northwind Brass", "Small Hours", "Jazz", 2001, 2, false, 4, Style::kJazz, 58},
    {"Last Tram Home", "Northwind Brass", "Small Hours", "Jazz", 2001, 3, true, 6, Style::kJazz, 55},
    {"Orchard Song", "Mira Solenne", "Paper Lanterns", "Folk", 2004, 1, false, 5, Style::kFolk, 60},
    {"River Road", "Mira Solenne", "Paper Lanterns", "Folk", 2004, 2, true, 4, Style::kFolk, 62},
    {"Winter Wheat", "Mira Solenne", "Paper Lanterns", "Folk", 2004, 3, false, 5, Style::kFolk, 57},
    {"Pulse", "The Glass Ferns", "Signals", "Electronic", 2005, 1, true, 4, Style::kElectronic, 57},
    {"Circuit Garden", "The Glass Ferns", "Signals", "Electronic", 2005, 2, false, 5, Style::kElectronic, 60},
    {"Neon Rain", "The Glass Ferns", "Afterglow", "Electronic", 2006, 1, true, 6, Style::kElectronic, 55},
};

// Playlists by track index.
const struct {
  const char* name;
  std::vector<int> tracks;
} kPlaylists[] = {
    {"Evening Mix", {0, 3, 6, 11, 4}},
    {"Road Trip", {9, 7, 5, 10, 1, 8}},
};

const char kWelcome[] =
    "Welcome to your demo player.\r\n"
    "\r\n"
    "It holds a dozen short tracks, two playlists and this folder of data files.\r\n"
    "Play the tracks, make playlists, and copy files to and from the player as you\r\n"
    "would with a real one.\r\n";

double Midi(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

// ---- synthesis ------------------------------------------------------------------------------

// Adds one note of an instrument into the buffer.
void AddNote(std::vector<float>& out, Style instrument, bool bass, double freq, double start,
             double length, double amp) {
  const std::size_t first = std::size_t(start * kRate);
  const std::size_t count = std::size_t((length + (instrument == Style::kAmbient ? 0.6 : 0.5)) * kRate);
  const std::size_t fade = kRate / 30;  // the note's end fades out instead of clicking
  for (std::size_t i = 0; i < count && first + i < out.size(); ++i) {
    const double t = double(i) / kRate;
    const double ph = 2 * kPi * freq * t;
    double v = 0;
    double env = 0;
    if (bass) {
      v = std::sin(ph) + 0.25 * std::sin(2 * ph);
      env = std::exp(-2.5 * t) * std::min(1.0, t * 200);
    } else {
      switch (instrument) {
        case Style::kAmbient:  // a soft pad: slow swell, gentle release
          v = std::sin(ph) + 0.3 * std::sin(2 * ph + 0.5) + 0.12 * std::sin(3 * ph);
          env = std::min(1.0, t / 0.35) * (t < length ? 1.0 : std::exp(-(t - length) * 6));
          break;
        case Style::kJazz:  // an electric-piano-like tone with a little bell
          v = std::sin(ph + 0.8 * std::sin(ph) * std::exp(-3 * t)) + 0.2 * std::sin(4 * ph) * std::exp(-8 * t);
          env = std::exp(-2.2 * t) * std::min(1.0, t * 300);
          break;
        case Style::kFolk:  // a plucked string
          v = std::sin(ph) + 0.5 * std::sin(2 * ph) * std::exp(-2 * t) + 0.3 * std::sin(3 * ph) * std::exp(-4 * t);
          env = std::exp(-3.5 * t) * std::min(1.0, t * 500);
          break;
        case Style::kElectronic:  // a bright square-ish lead
          for (int k = 1; k <= 9; k += 2) v += std::sin(k * ph) / k;
          env = std::exp(-5.0 * t) * std::min(1.0, t * 400);
          break;
      }
    }
    if (count - i < fade) env *= double(count - i) / fade;
    out[first + i] += float(amp * env * v);
  }
}

void AddKick(std::vector<float>& out, double start) {
  const std::size_t first = std::size_t(start * kRate);
  double phase = 0;
  for (std::size_t i = 0; i < std::size_t(0.25 * kRate) && first + i < out.size(); ++i) {
    const double t = double(i) / kRate;
    phase += 2 * kPi * (45 + 90 * std::exp(-25 * t)) / kRate;
    out[first + i] += float(0.7 * std::exp(-14 * t) * std::sin(phase));
  }
}

std::vector<std::int16_t> Synthesise(const DemoTrack& track, unsigned seed) {
  std::vector<float> mix(std::size_t(track.seconds) * kRate, 0.0f);
  std::mt19937 rng(seed);
  static const int kMajor[] = {0, 2, 4, 5, 7, 9, 11};
  static const int kProgressions[][4] = {{0, 5, 3, 4}, {0, 3, 4, 0}, {5, 3, 0, 4}, {1, 4, 0, 0}};
  const int* progression = kProgressions[seed % 4];
  const double beat = track.style == Style::kAmbient ? 0.75
                      : track.style == Style::kElectronic ? 0.25
                                                          : 0.4;
  const double bar = 4 * beat * (track.style == Style::kElectronic ? 2 : 1);
  for (double start = 0; start < track.seconds; start += bar) {
    const int chordIndex = int(start / bar) % 4;
    const int degree = progression[chordIndex];
    auto scaleNote = [&](int step) {
      const int d = degree + step;
      return track.key + kMajor[((d % 7) + 7) % 7] + 12 * (d >= 0 ? d / 7 : -1);
    };
    // Bass on the chord's root, chord tones on the instrument.
    AddNote(mix, track.style, true, Midi(scaleNote(0) - 24), start, bar, 0.35);
    if (track.style == Style::kAmbient) {
      for (int s : {0, 2, 4}) AddNote(mix, track.style, false, Midi(scaleNote(s)), start, bar, 0.16);
    }
    const int steps = int(std::lround(bar / beat));
    for (int b = 0; b < steps; ++b) {
      double at = start + b * beat;
      if (track.style == Style::kJazz && b % 2 == 1) at += beat * 0.18;  // swing
      if (track.style == Style::kElectronic && b % 4 == 0) AddKick(mix, at);
      const int chordTone = std::uniform_int_distribution<int>(0, 2)(rng) * 2;
      const int octave = track.style == Style::kAmbient ? 12 : 0;
      const double amp = track.style == Style::kAmbient ? 0.12 : 0.28;
      if (track.style == Style::kAmbient && b % 2 == 1) continue;
      AddNote(mix, track.style, false, Midi(scaleNote(chordTone) + octave), at, beat * 0.9, amp);
    }
  }
  // Normalise, with a short fade at both ends so that nothing clicks.
  float peak = 1e-6f;
  for (float v : mix) peak = std::max(peak, std::fabs(v));
  std::vector<std::int16_t> pcm(mix.size());
  const std::size_t fadeIn = kRate / 50, fadeOut = kRate / 4;
  for (std::size_t i = 0; i < mix.size(); ++i) {
    double g = 0.85 / peak;
    if (i < fadeIn) g *= double(i) / fadeIn;
    if (mix.size() - i < fadeOut) g *= double(mix.size() - i) / fadeOut;
    pcm[i] = std::int16_t(std::lround(std::clamp(mix[i] * g, -1.0, 1.0) * 32767));
  }
  return pcm;
}

SimTrackTags TagsOf(const DemoTrack& t) {
  return {.title = t.title,
          .artist = t.artist,
          .album = t.album,
          .genre = t.genre,
          .codec = t.mp3 ? "MP3" : "WAV",
          .seconds = std::uint32_t(t.seconds),
          .number = std::uint32_t(t.number),
          .year = std::uint32_t(t.year)};
}

bool FillDemo(SimPlayer& player, std::string* error) {
  std::vector<std::uint32_t> ids;
  unsigned seed = 7;
  for (const DemoTrack& t : kTracks) {
    const SimTrackTags tags = TagsOf(t);
    const std::vector<std::int16_t> pcm = Synthesise(t, seed++);
    std::string bytes;
    if (t.mp3) {
      if (!MakeMp3File(pcm, kRate, tags, &bytes, error)) return false;
    } else {
      bytes = MakeWavFile(pcm, kRate, tags);
    }
    std::uint32_t id = 0;
    if (AddSimContent(player, kSdkTrack, SimTrackAttributes(tags), bytes, &id) != kSdkOk) {
      *error = std::string("The demo track \"") + t.title + "\" could not be stored.";
      return false;
    }
    ids.push_back(id);
  }
  for (const auto& pl : kPlaylists) {
    std::uint32_t id = 0;
    std::vector<std::uint32_t> tracks;
    for (int i : pl.tracks) tracks.push_back(ids[std::size_t(i)]);
    if (player.CreatePlaylist(pl.name, &id) != kSdkOk ||
        player.AddTracksToPlaylist(id, tracks) != kSdkOk) {
      *error = std::string("The demo playlist \"") + pl.name + "\" could not be stored.";
      return false;
    }
  }
  const std::uint32_t now = std::uint32_t(std::time(nullptr));
  std::uint32_t folder = 0;
  std::uint32_t file = 0;
  if (player.CreateFolder("Documents", {SimNumber(kAttrModifiedTime, now)}, &folder) != kSdkOk ||
      AddSimContent(player, kSdkDataFile, SimDataFileAttributes("Welcome.txt", folder, now), kWelcome, &file) !=
          kSdkOk) {
    *error = "The demo data folder could not be stored.";
    return false;
  }
  return true;
}

}  // namespace

bool CreateDemoPlayer(std::string_view folder, std::string* error) {
  SimPlayerOptions options;
  options.ownerName = "Demo User";
  return CreateFilledSimPlayer(folder, options, "demo", FillDemo, error);
}

}  // namespace platform
