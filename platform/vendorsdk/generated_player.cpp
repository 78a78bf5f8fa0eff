#include "platform/vendorsdk/generated_player.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <random>
#include <vector>

#include "platform/vendorsdk/sim_content.h"
#include "platform/vendorsdk/simplayer.h"

namespace platform {
namespace {

// Names that have broken or may break naming, escaping, links, sorting and layout.
const char* const kHostileArtists[] = {
    "AC/DC", "Back\\Slash Trio", "Simon & Sons", "<b>Bold</b> Move", "\"Quoted\" Quartet",
    "O'Brien's Band", "  Spaced Out  ", "100% Pure", "C++ Orchestra", "#1 Hits", "Questions? Answers!",
    "a=b&c=d", "|amp| |plus| Markers", "from_url", "\xC3\x85sa \xC3\x98\x62\x65rg",
    "\xE6\x9D\xB1\xE4\xBA\xAC Strings", "\xCE\x96\xCF\x89\xCE\xAE Band", "\xF0\x9F\x8E\xB5 Emoji Band",
    "Line\r\nBreak", "Tab\tStop", "The Glass Ferns", "the glass ferns", "../../etc/passwd",
    "%2F%00 Encoded", "+Plus+Signs+", "&amp; Already Escaped", "Semi;colon, Comma",
};

const char* const kHostileAlbums[] = {
    "Greatest Hits", "Live at <Club>", "Vol. 1/2", "Rock & Roll", "50% Off", "What?", "B-Sides \\ Rarities",
    "\"Unplugged\"", "S\xC3\xA3o Paulo Sessions", "Line\nTwo", "  Padded  ", "C:\\Music\\Album",
};

const char* const kHostileTitles[] = {
    "AC/DC Live", "Rock & Roll", "What?", "50/50", "C:\\Music\\song", "<script>alert(1)</script>",
    "Line one\nLine two", "Carriage\rReturn", "Hash #tag", "Per%cent", "x=1&y=2", "A+B", "It's \"quoted\"",
    "  Blank ends  ", "Caf\xC3\xA9 Cr\xC3\xA8me", "\xF0\x9F\x8E\xB6 Note", "Tab\there", "?qcmd=clear",
};

const char* const kGenres[] = {
    "Rock", "Jazz", "Folk", "Electronic", "Ambient", "Hip-Hop", "R&B", "Drum & Bass", "Rock/Pop", "Classical",
    "Blues", "Country", "Soul", "Reggae", "Metal", "Punk", "Latin", "M\xC3\xBAsica Popular", "rock",
    "<Experimental>", "Spoken Word", "Soundtrack", "World", "Funk", "Disco",
};

const char* const kAdjectives[] = {
    "Silver", "Crimson", "Quiet", "Electric", "Velvet", "Northern", "Golden", "Hollow", "Wild", "Paper",
    "Broken", "Distant", "Neon", "Midnight", "Salt", "Iron", "Glass", "Amber", "Lucky", "Lonely",
    "Secret", "Frozen", "Burning", "Gentle", "Restless", "Sleepy", "Hidden", "Bright", "Faded", "Early",
};

const char* const kNouns[] = {
    "Foxes", "Harbor", "Lanterns", "Rivers", "Engines", "Sparrows", "Mountains", "Strangers", "Signals",
    "Orchards", "Tides", "Ghosts", "Mirrors", "Highways", "Gardens", "Clocks", "Wolves", "Bells", "Islands",
    "Shadows", "Meadows", "Circuits", "Pilots", "Letters", "Windows", "Sailors", "Towers", "Rooms", "Roads",
};

const char* const kTitleWords[] = {
    "Love", "Night", "Rain", "Home", "Fire", "Dream", "Light", "Heart", "Road", "Summer", "Winter", "Song",
    "Blue", "Time", "Dance", "River", "Moon", "Sun", "Ocean", "City", "Stars", "Morning", "Goodbye", "Hello",
};

template <typename T, std::size_t N>
std::size_t CountOf(const T (&)[N]) {
  return N;
}

class Words {
 public:
  explicit Words(unsigned seed) : rng_(seed) {}
  std::size_t Pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }
  std::uint32_t Between(std::uint32_t low, std::uint32_t high) {
    return std::uniform_int_distribution<std::uint32_t>(low, high)(rng_);
  }
  bool Chance(int percent) { return Between(1, 100) <= std::uint32_t(percent); }
  template <std::size_t N>
  std::string Of(const char* const (&list)[N]) {
    return list[Pick(N)];
  }
  std::mt19937& rng() { return rng_; }

 private:
  std::mt19937 rng_;
};

// The longest name the player keeps, in characters.
std::string LongestName() {
  std::string name;
  while (name.size() < kSdkMaxNameLength) name += "Very Long Name ";
  name.resize(kSdkMaxNameLength);
  return name;
}

// `count` distinct names: the hostile ones first, then made-up ones.
template <std::size_t N>
std::vector<std::string> MakeNames(Words& words, std::size_t count, const char* const (&hostile)[N],
                                   const char* prefix) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < N && names.size() < count; ++i) names.emplace_back(hostile[i]);
  if (names.size() < count) names.push_back(LongestName());
  for (std::size_t i = 0; names.size() < count; ++i) {
    std::string name = std::string(prefix) + words.Of(kAdjectives) + " " + words.Of(kNouns);
    if (std::find(names.begin(), names.end(), name) != names.end()) name += " " + std::to_string(i);
    names.push_back(std::move(name));
  }
  return names;
}

std::string MakeTitle(Words& words, std::size_t index) {
  if (index % 23 == 5) return kHostileTitles[(index / 23) % CountOf(kHostileTitles)];
  if (index % 211 == 7) return "";
  std::string title = words.Of(kTitleWords);
  const std::uint32_t more = words.Between(0, 2);
  for (std::uint32_t i = 0; i < more; ++i) title += " " + words.Of(kTitleWords);
  return title;
}

std::vector<std::int16_t> Tone(int rate, double seconds, double frequency) {
  std::vector<std::int16_t> pcm(std::size_t(rate * seconds));
  for (std::size_t i = 0; i < pcm.size(); ++i) {
    const double t = double(i) / rate;
    const double fade = std::min({1.0, t * 50, (seconds - t) * 50});
    pcm[i] = std::int16_t(std::lround(8000 * fade * std::sin(2 * 3.14159265358979323846 * frequency * t)));
  }
  return pcm;
}

bool Fill(SimPlayer& player, const GeneratedPlayerOptions& options, std::string* error) {
  Words words(options.seed);
  const std::size_t trackCount = std::size_t(std::max(options.tracks, 0));
  const std::size_t artistCount = std::max<std::size_t>(1, trackCount / 13);
  const std::size_t albumCount = std::max<std::size_t>(1, trackCount / 11);
  const std::vector<std::string> artists = MakeNames(words, artistCount, kHostileArtists, "The ");
  const std::vector<std::string> albums = MakeNames(words, albumCount, kHostileAlbums, "");

  // Each artist records on one to three albums; "Greatest Hits" (the first album) is shared.
  std::vector<std::vector<std::size_t>> albumsOf(artists.size());
  for (std::size_t a = 0; a < artists.size(); ++a) {
    albumsOf[a].push_back(a % albums.size());
    const std::uint32_t more = words.Between(0, 2);
    for (std::uint32_t i = 0; i < more; ++i) albumsOf[a].push_back(words.Pick(albums.size()));
  }

  SimTrackTags sample;
  sample.title = "Tone";
  const int rate = 22050;
  const std::string wav = MakeWavFile(Tone(8000, 0.5, 440), 8000, sample);
  std::string mp3;
  if (!MakeMp3File(Tone(rate, 0.5, 523.25), rate, sample, &mp3, error)) return false;

  std::vector<std::uint32_t> ids;
  ids.reserve(trackCount);
  for (std::size_t i = 0; i < trackCount; ++i) {
    const std::size_t artist = i < artists.size() ? i : words.Pick(artists.size());
    SimTrackTags t;
    t.artist = i % 97 == 13 ? "" : artists[artist];
    const std::vector<std::size_t>& own = albumsOf[artist];
    t.album = i % 89 == 11 ? "" : albums[own[words.Pick(own.size())]];
    t.title = MakeTitle(words, i);
    t.genre = i % 83 == 3 ? "" : words.Of(kGenres);
    const std::uint32_t kind = words.Between(1, 10);
    t.codec = kind <= 6 ? "MP3" : kind <= 9 ? "WAV" : "WMA";
    t.seconds = words.Between(30, 720);
    t.number = i % 71 == 2 ? 0 : words.Between(1, 20);
    t.year = i % 61 == 4 ? 0 : words.Between(1955, 2024);
    std::uint32_t id = 0;
    const std::string& bytes = t.codec == "MP3" ? mp3 : wav;
    if (SdkResult r = AddSimContent(player, kSdkTrack, SimTrackAttributes(t), bytes, &id)) {
      *error = "Track " + std::to_string(i + 1) + " could not be stored (" + std::to_string(r) + ").";
      return false;
    }
    ids.push_back(id);
    if (i % 97 == 50 && player.SetPlayOnly(id, true) != kSdkOk) {
      *error = "Track " + std::to_string(i + 1) + " could not be made play-only.";
      return false;
    }
  }

  // A long playlist (entries may repeat), a few short ones and an empty one.
  std::vector<std::uint32_t> longList;
  for (std::size_t i = 0; i < std::min<std::size_t>(1000, ids.size()); ++i) {
    longList.push_back(ids[words.Pick(ids.size())]);
  }
  std::vector<std::uint32_t> twice;
  if (!ids.empty()) twice = {ids.front(), ids.back(), ids.front()};
  std::vector<std::uint32_t> some(ids.begin(), ids.begin() + std::ptrdiff_t(std::min<std::size_t>(25, ids.size())));
  const struct {
    const char* name;
    const std::vector<std::uint32_t>* tracks;
  } playlists[] = {
      {"Long Mix", &longList},
      {"Rock & <Roll> \"Best\"", &some},
      {"Twice the Same", &twice},
      {"Empty", nullptr},
      {"Caf\xC3\xA9 #1 50% ?", &some},
  };
  for (const auto& pl : playlists) {
    std::uint32_t id = 0;
    if (player.CreatePlaylist(pl.name, &id) != kSdkOk ||
        (pl.tracks != nullptr && !pl.tracks->empty() && player.AddTracksToPlaylist(id, *pl.tracks) != kSdkOk)) {
      *error = std::string("The playlist \"") + pl.name + "\" could not be stored.";
      return false;
    }
  }

  // Data files with awkward names, in a folder and a folder inside it.
  const std::uint32_t now = std::uint32_t(std::time(nullptr));
  std::uint32_t documents = 0;
  std::uint32_t deeper = 0;
  if (player.CreateFolder("Documents & <Notes>", {SimNumber(kAttrModifiedTime, now)}, &documents) != kSdkOk ||
      player.CreateFolder("Deeper #2", {SimNumber(kAttrModifiedTime, now), SimNumber(kAttrParentFolder, documents)},
                          &deeper) != kSdkOk) {
    *error = "The data folders could not be stored.";
    return false;
  }
  const struct {
    const char* name;
    std::uint32_t folder;
  } files[] = {
      {"Read me.txt", documents}, {"Notes & <Plans>.txt", documents}, {"100% #1 ?.txt", documents},
      {"R\xC3\xA9sum\xC3\xA9.PDF", documents}, {"Picture.SVG", documents}, {"a+b=c.txt", deeper},
  };
  for (const auto& f : files) {
    std::uint32_t id = 0;
    const std::string text = std::string("This is ") + f.name + ".\r\n";
    if (AddSimContent(player, kSdkDataFile, SimDataFileAttributes(f.name, f.folder, now), text, &id) != kSdkOk) {
      *error = std::string("The data file \"") + f.name + "\" could not be stored.";
      return false;
    }
  }
  return true;
}

}  // namespace

bool CreateGeneratedPlayer(std::string_view folder, const GeneratedPlayerOptions& options,
                           std::string* error) {
  SimPlayerOptions playerOptions;
  playerOptions.ownerName = "Generated";
  playerOptions.capacityBytes = 200'000'000'000ull;
  return CreateFilledSimPlayer(
      folder, playerOptions, "generated", [&](SimPlayer& player, std::string* e) { return Fill(player, options, e); },
      error);
}

}  // namespace platform
