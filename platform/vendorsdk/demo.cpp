// The demo player a new user gets: short tracks synthesised here (WAV and MP3), tags,
// playlists, a data folder with a file and an owner name.
#include <fcntl.h>
#include <lame/lame.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/paths/paths.h"
#include "platform/vendorsdk/file_copy.h"
#include "platform/vendorsdk/simplayer.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

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

// ---- file formats ---------------------------------------------------------------------------

void PutU16(std::string& s, std::uint16_t v) {
  s.push_back(char(v & 0xFF));
  s.push_back(char(v >> 8));
}
void PutU32(std::string& s, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(char((v >> (8 * i)) & 0xFF));
}

// 16-bit mono PCM, with the tags in a LIST INFO chunk after the samples.
std::string MakeWav(const std::vector<std::int16_t>& pcm, const DemoTrack& t) {
  std::string info = "INFO";
  auto tag = [&info](const char* id, const std::string& text) {
    std::string v = text;
    v.push_back('\0');
    if (v.size() % 2) v.push_back('\0');
    info.append(id, 4);
    PutU32(info, std::uint32_t(v.size()));
    info += v;
  };
  tag("INAM", t.title);
  tag("IART", t.artist);
  tag("IPRD", t.album);
  tag("IGNR", t.genre);
  tag("ICRD", std::to_string(t.year));
  tag("ITRK", std::to_string(t.number));

  const std::uint32_t dataBytes = std::uint32_t(pcm.size() * 2);
  std::string out = "RIFF";
  PutU32(out, 4 + (8 + 16) + (8 + dataBytes) + (8 + std::uint32_t(info.size())));
  out += "WAVEfmt ";
  PutU32(out, 16);
  PutU16(out, 1);  // PCM
  PutU16(out, 1);  // mono
  PutU32(out, kRate);
  PutU32(out, kRate * 2);
  PutU16(out, 2);
  PutU16(out, 16);
  out += "data";
  PutU32(out, dataBytes);
  for (std::int16_t s : pcm) PutU16(out, std::uint16_t(s));
  out += "LIST";
  PutU32(out, std::uint32_t(info.size()));
  out += info;
  return out;
}

// Constant bit rate MP3 with an ID3v2 tag in front.
bool MakeMp3(std::vector<std::int16_t> pcm, const DemoTrack& t, std::string* out,
             std::string* error) {
  lame_global_flags* gf = lame_init();
  if (gf == nullptr) {
    *error = "The MP3 encoder could not be started.";
    return false;
  }
  lame_set_in_samplerate(gf, kRate);
  lame_set_out_samplerate(gf, kRate);
  lame_set_num_channels(gf, 1);
  lame_set_mode(gf, MONO);
  lame_set_brate(gf, 64);
  lame_set_quality(gf, 5);
  lame_set_bWriteVbrTag(gf, 0);
  id3tag_init(gf);
  id3tag_add_v2(gf);
  id3tag_set_title(gf, t.title);
  id3tag_set_artist(gf, t.artist);
  id3tag_set_album(gf, t.album);
  id3tag_set_year(gf, std::to_string(t.year).c_str());
  id3tag_set_genre(gf, t.genre);
  id3tag_set_track(gf, std::to_string(t.number).c_str());
  if (lame_init_params(gf) < 0) {
    lame_close(gf);
    *error = "The MP3 encoder refused its settings.";
    return false;
  }
  std::vector<unsigned char> buffer(pcm.size() * 5 / 4 + 7200 + 65536);
  const int n = lame_encode_buffer(gf, pcm.data(), pcm.data(), int(pcm.size()), buffer.data(),
                                   int(buffer.size()));
  if (n < 0) {
    lame_close(gf);
    *error = "The MP3 encoder failed (" + std::to_string(n) + ").";
    return false;
  }
  out->assign(reinterpret_cast<const char*>(buffer.data()), std::size_t(n));
  const int tail = lame_encode_flush(gf, buffer.data(), int(buffer.size()));
  lame_close(gf);
  if (tail < 0) {
    *error = "The MP3 encoder failed at the end (" + std::to_string(tail) + ").";
    return false;
  }
  out->append(reinterpret_cast<const char*>(buffer.data()), std::size_t(tail));
  return true;
}

SdkAttribute Text(const char* name, std::string value) {
  SdkAttribute a;
  a.type = kSdkAttrText;
  a.name = name;
  a.text = std::move(value);
  return a;
}

SdkAttribute Number(const char* name, std::uint32_t value) {
  SdkAttribute a;
  a.type = kSdkAttrNumber;
  a.name = name;
  a.number = value;
  return a;
}

// Puts the bytes into the player as a new item through the same steps as an upload.
SdkResult AddContent(SimPlayer& player, std::uint32_t type,
                     const std::vector<SdkAttribute>& attrs, const std::string& bytes,
                     std::uint32_t* id) {
  SimPlayer::PendingUpload pending;
  const std::uint32_t now = std::uint32_t(std::time(nullptr));
  if (SdkResult r = player.PrepareUpload(type, attrs, "", bytes.size(), now, &pending)) return r;
  if (!WriteWholeFile(pending.tempPath, bytes)) {
    player.AbandonUpload(pending);
    return kSdkErrFail;
  }
  if (SdkResult r = player.CommitUpload(pending)) return r;
  *id = pending.item.id;
  return kSdkOk;
}

bool FillDemo(SimPlayer& player, std::string* error) {
  std::vector<std::uint32_t> ids;
  unsigned seed = 7;
  for (const DemoTrack& t : kTracks) {
    std::vector<std::int16_t> pcm = Synthesise(t, seed++);
    std::string bytes;
    if (t.mp3) {
      if (!MakeMp3(std::move(pcm), t, &bytes, error)) return false;
    } else {
      bytes = MakeWav(pcm, t);
    }
    const std::vector<SdkAttribute> attrs = {
        Text("TITLE", t.title),   Text("ALBUM", t.album),
        Text("ARTIST", t.artist), Text("GENRE", t.genre),
        Text("CODEC", t.mp3 ? "MP3" : "WAV"),
        Number("LENGTH", std::uint32_t(t.seconds)),
        Number("TRACK NUM", std::uint32_t(t.number)),
        Number("YEAR", std::uint32_t(t.year)),
    };
    std::uint32_t id = 0;
    if (AddContent(player, kSdkTrack, attrs, bytes, &id) != kSdkOk) {
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
  if (player.CreateFolder("Documents", {Number("MODIFIED FILETIME", now)}, &folder) != kSdkOk ||
      AddContent(player, kSdkDataFile,
                 {Text("FILE NAME", "Welcome.txt"), Number("PARENT FOLDER", folder),
                  Number("MODIFIED FILETIME", now), Number("FILE ATTRIB", 0x20)},
                 kWelcome, &file) != kSdkOk) {
    *error = "The demo data folder could not be stored.";
    return false;
  }
  return true;
}

}  // namespace

bool CreateDemoPlayer(std::string_view folder, std::string* error) {
  std::string dir = ToPosixPath(folder);
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  std::error_code ec;
  if (fs::exists(dir, ec) && (!fs::is_directory(dir, ec) || !fs::is_empty(dir, ec))) {
    *error = "The folder " + dir + " is not empty; the demo player needs an empty folder.";
    return false;
  }
  // Made beside its place and renamed into it: a half-made demo is never taken for a player.
  const std::string tmp = dir + ".demo-" + std::to_string(::getpid());
  fs::remove_all(tmp, ec);
  SimPlayerOptions options;
  options.ownerName = "Demo User";
  if (!CreateSimPlayer(FromPosixPath(tmp), options, error)) return false;
  bool filled = false;
  {
    SdkResult code = kSdkOk;
    std::shared_ptr<SimPlayer> player = SimPlayer::Open(FromPosixPath(tmp), &code, error);
    filled = player && FillDemo(*player, error);
  }
  if (filled) {
    if (fs::exists(dir, ec)) fs::remove(dir, ec);  // the empty folder it replaces
    if (::rename(tmp.c_str(), dir.c_str()) == 0) return true;
    *error = "Cannot create the demo player in " + dir + ": " + std::strerror(errno);
  }
  fs::remove_all(tmp, ec);
  return false;
}

}  // namespace platform
