// KernelDevice's catalogue: the artist/album/genre index and tag search, the sorted
// playlist list, the track-to-playlists map, query results and content ids.
#include "device/catalogue.h"

#include <nettle/base16.h>
#include <nettle/sha1.h>

#include <algorithm>
#include <cstdint>
#include <mutex>

#include "platform/text/text.h"

namespace device {

namespace {

// The catalogue's own walks over the tracks run as the catalogue's caller, so that they
// leave the walk of the caller whose request built the catalogue where it was.
class WalkAsCatalogue {
 public:
  explicit WalkAsCatalogue(std::uint32_t& caller) : caller_(caller), saved_(caller) {
    caller_ = KernelDevice::kCatalogueCaller;
  }
  ~WalkAsCatalogue() { caller_ = saved_; }
  WalkAsCatalogue(const WalkAsCatalogue&) = delete;
  WalkAsCatalogue& operator=(const WalkAsCatalogue&) = delete;

 private:
  std::uint32_t& caller_;
  std::uint32_t saved_;
};

// Sets hash by word 0 into this many buckets; a tag search visits the buckets in
// ascending order and, within one, the most recently added track first.
constexpr std::uint32_t kTrackSetBuckets = 17;

// Case-insensitive order; names that differ only in case in byte order, so the lists
// come out the same whatever order the device walked its tracks in.
void SortNames(std::vector<std::string>& names) {
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return platform::NameLess(a, b); });
}

template <class Map>
void CollectNames(const Map& map, std::vector<std::string>& out) {
  out.clear();
  for (const auto& entry : map) {
    if (!entry.first.empty()) out.push_back(entry.first);
  }
  SortNames(out);
}

std::mutex& QueryEngineMutex() {
  static std::mutex m;
  return m;
}

KernelDevice::QueryEngine& QueryEngineSlot() {
  static KernelDevice::QueryEngine engine;
  return engine;
}

// _atoi64 rules: leading white space, an optional sign, digits up to the first other
// character; no digits give 0.
// An item id as the query engine writes it (decimal, 64 bits); a negative number stands
// for its two's complement.
std::uint64_t ParseItemId(std::string_view text) {
  const platform::ScannedNumber n = platform::ScanNumber(text);
  return n.negative ? 0 - n.magnitude : n.magnitude;
}

}  // namespace

// ---- Invalidation and disconnect ----

void KernelDevice::InvalidateTrackIndex() {
  catalogueVersion_.fetch_add(1);
  catalogue_->trackIndexDirty = 1;
  catalogue_->contentIds.clear();
}

int KernelDevice::InvalidatePlaylistCache() {
  catalogue_->playlistCacheDirty = 1;
  catalogue_->trackPlaylistMapDirty = 1;
  return 1;
}

void KernelDevice::Disconnect() {
  catalogueVersion_.fetch_add(1);
  ClearTrackIndex();
  Catalogue& c = *catalogue_;
  c.tagResults.clear();
  c.artistAlbums.clear();
  c.playlistIds.clear();
  c.queryResults.clear();
}

// ---- Track index ----

void KernelDevice::ClearTrackIndex() {
  Catalogue& c = *catalogue_;
  c.artists.clear();
  c.albums.clear();
  c.genres.clear();
  c.artistEntries.clear();
  c.albumTracks.clear();
  c.genreTracks.clear();
  c.tracks.clear();
}

void KernelDevice::RebuildTrackIndex() {
  ClearTrackIndex();
  const WalkAsCatalogue walking(requestCaller_);
  Catalogue& c = *catalogue_;
  // A track the device lists twice is indexed once. The set holds positions in
  // c.tracks, so no id is copied twice.
  auto hash = [&c](std::uint32_t slot) { return KernelIdHash()(c.tracks[slot]); };
  auto equal = [&c](std::uint32_t a, std::uint32_t b) { return c.tracks[a] == c.tracks[b]; };
  std::unordered_set<std::uint32_t, decltype(hash), decltype(equal)> seen(0, hash, equal);
  KernelId track;
  const int count = GetFirstAudioTrack(track);
  if (count > 0) {
    c.tracks.reserve(static_cast<std::size_t>(count));
    seen.reserve(static_cast<std::size_t>(count));
  }
  for (int r = count; r > 0; r = GetNextAudioTrack(track)) {
    const auto slot = static_cast<std::uint32_t>(c.tracks.size());
    c.tracks.push_back(track);
    if (!seen.insert(slot).second) {
      c.tracks.pop_back();
      continue;
    }
    std::string artist = GetTrackArtist(track);
    std::string album = GetTrackAlbum(track);
    std::string genre = GetTrackGenre(track);
    Catalogue::ArtistEntry& entry = c.artistEntries[std::move(artist)];
    entry.tracks.push_back(slot);
    if (entry.lastAlbum == nullptr || *entry.lastAlbum != album) {
      entry.lastAlbum = &*entry.albums.insert(album).first;
    }
    c.albumTracks[std::move(album)].push_back(slot);
    c.genreTracks[std::move(genre)].push_back(slot);
  }
  CollectNames(c.artistEntries, c.artists);
  CollectNames(c.albumTracks, c.albums);
  CollectNames(c.genreTracks, c.genres);
}

void KernelDevice::EnsureTrackIndex() {
  if (catalogue_->trackIndexDirty) {
    RebuildTrackIndex();
    catalogue_->trackIndexDirty = 0;
  }
}

int KernelDevice::GetFirstTrackByTags(KernelId& out, std::string_view artist,
                                      std::string_view album, std::string_view genre) {
  EnsureTrackIndex();
  if (artist.empty() && album.empty() && genre.empty()) return 0;
  Catalogue& c = *catalogue_;
  const std::vector<std::uint32_t>* chosen = nullptr;
  std::size_t limit = 1000000;
  auto consider = [&](const std::vector<std::uint32_t>* set) {
    if (set != nullptr && set->size() < limit) {
      chosen = set;
      limit = set->size();
    }
  };
  if (!artist.empty()) {
    auto it = c.artistEntries.find(std::string(artist));
    consider(it == c.artistEntries.end() ? nullptr : &it->second.tracks);
  }
  if (!album.empty()) {
    auto it = c.albumTracks.find(std::string(album));
    consider(it == c.albumTracks.end() ? nullptr : &it->second);
  }
  if (!genre.empty()) {
    auto it = c.genreTracks.find(std::string(genre));
    consider(it == c.genreTracks.end() ? nullptr : &it->second);
  }
  if (chosen == nullptr) return 0;

  // The slots are copied: the walk below asks the device, which must not be able to
  // pull the set from under it.
  const std::vector<std::uint32_t> candidates = *chosen;
  c.tagResults.clear();
  c.tagCursor = 0;
  for (std::uint32_t bucket = 0; bucket < kTrackSetBuckets; ++bucket) {
    for (std::size_t i = candidates.size(); i-- > 0;) {
      if (candidates[i] >= c.tracks.size()) continue;
      const KernelId& t = c.tracks[candidates[i]];
      if (t.word[0] % kTrackSetBuckets != bucket) continue;
      if (!artist.empty() && GetTrackArtist(t) != artist) continue;
      if (!album.empty() && GetTrackAlbum(t) != album) continue;
      if (!genre.empty() && GetTrackGenre(t) != genre) continue;
      c.tagResults.push_back(t);
    }
  }
  if (c.tagResults.empty()) return 0;
  out = c.tagResults.front();
  c.tagCursor = 1;
  return static_cast<int>(c.tagResults.size());
}

int KernelDevice::GetNextTrackByTags(KernelId& out) {
  Catalogue& c = *catalogue_;
  if (c.tagCursor >= c.tagResults.size()) return 0;
  out = c.tagResults[c.tagCursor++];
  return 1;
}

namespace {

int FirstName(const std::vector<std::string>& list, std::size_t& cursor, FixedString256& out) {
  cursor = 0;
  if (list.empty()) return 0;
  out.Set(list.front());
  cursor = 1;
  return static_cast<int>(list.size());
}

int NextName(const std::vector<std::string>* list, std::size_t& cursor, FixedString256& out) {
  if (list == nullptr || cursor >= list->size()) return 0;
  out.Set((*list)[cursor++]);
  return 1;
}

}  // namespace

int KernelDevice::GetFirstArtist(FixedString256& out) {
  EnsureTrackIndex();
  return FirstName(catalogue_->artists, catalogue_->artistCursor, out);
}

int KernelDevice::GetNextArtist(FixedString256& out) {
  return NextName(&catalogue_->artists, catalogue_->artistCursor, out);
}

int KernelDevice::GetFirstGenre(FixedString256& out) {
  EnsureTrackIndex();
  return FirstName(catalogue_->genres, catalogue_->genreCursor, out);
}

int KernelDevice::GetNextGenre(FixedString256& out) {
  return NextName(&catalogue_->genres, catalogue_->genreCursor, out);
}

int KernelDevice::GetFirstAlbum(FixedString256& out, std::string_view artist) {
  EnsureTrackIndex();
  Catalogue& c = *catalogue_;
  c.albumCursor = 0;
  if (!artist.empty()) {
    auto it = c.artistEntries.find(std::string(artist));
    if (it == c.artistEntries.end()) return 0;
    c.artistAlbums.assign(it->second.albums.begin(), it->second.albums.end());
    SortNames(c.artistAlbums);
    c.currentAlbums = &c.artistAlbums;
  } else {
    if (c.albums.empty()) return 0;
    c.currentAlbums = &c.albums;
  }
  return FirstName(*c.currentAlbums, c.albumCursor, out);
}

int KernelDevice::GetNextAlbum(FixedString256& out) {
  return NextName(catalogue_->currentAlbums, catalogue_->albumCursor, out);
}

// ---- Playlists ----

void KernelDevice::RebuildPlaylistCache() {
  Catalogue& c = *catalogue_;
  c.playlistIds.clear();
  KernelId playlist;
  for (int r = EnumFirstPlaylist(playlist); r > 0; r = EnumNextPlaylist(playlist)) {
    c.playlistIds.push_back(playlist);
  }
  c.playlistIds.SortByName();
}

void KernelDevice::EnsurePlaylistCache() {
  if (catalogue_->playlistCacheDirty) {
    RebuildPlaylistCache();
    catalogue_->playlistCacheDirty = 0;
  }
}

int KernelDevice::GetFirstPlaylist(KernelId& out) {
  EnsurePlaylistCache();
  Catalogue& c = *catalogue_;
  c.playlistCursor = 0;
  if (c.playlistIds.empty()) return 0;
  out = c.playlistIds.front();
  c.playlistCursor = 1;
  return static_cast<int>(c.playlistIds.size());
}

int KernelDevice::GetNextPlaylist(KernelId& out) {
  EnsurePlaylistCache();
  Catalogue& c = *catalogue_;
  if (c.playlistCursor >= c.playlistIds.size()) return 0;
  out = c.playlistIds[c.playlistCursor++];
  return 1;
}

int KernelDevice::GetFirstPlaylistItem(const KernelId& playlist, KernelId& track) {
  return EnumFirstPlaylistItem(playlist, track);
}

int KernelDevice::GetNextPlaylistItem(const KernelId& playlist, KernelId& track) {
  return EnumNextPlaylistItem(playlist, track);
}

void KernelDevice::RebuildTrackPlaylistMap() {
  Catalogue& c = *catalogue_;
  c.trackPlaylists.clear();
  // Playlists first, then their items: a device need not support nested walks.
  std::vector<KernelId> playlists;
  KernelId playlist;
  for (int r = EnumFirstPlaylist(playlist); r > 0; r = EnumNextPlaylist(playlist)) {
    playlists.push_back(playlist);
  }
  for (const KernelId& p : playlists) {
    KernelId track;
    for (int r = EnumFirstPlaylistItem(p, track); r > 0; r = EnumNextPlaylistItem(p, track)) {
      c.trackPlaylists[track].push_back(p);
    }
  }
}

void KernelDevice::EnsureTrackPlaylistMap() {
  if (catalogue_->trackPlaylistMapDirty) {
    RebuildTrackPlaylistMap();
    catalogue_->trackPlaylistMapDirty = 0;
  }
}

int KernelDevice::GetTrackPlaylistCount(const KernelId& track) {
  EnsureTrackPlaylistMap();
  auto it = catalogue_->trackPlaylists.find(track);
  return it == catalogue_->trackPlaylists.end() ? 0 : static_cast<int>(it->second.size());
}

std::string KernelDevice::GetTrackPlaylistNames(const KernelId& track) {
  EnsureTrackPlaylistMap();
  auto it = catalogue_->trackPlaylists.find(track);
  if (it == catalogue_->trackPlaylists.end()) return std::string();
  const std::vector<KernelId> playlists = it->second;
  std::string names;
  for (std::size_t i = 0; i < playlists.size(); ++i) {
    if (i > 0) names += ", ";
    names += GetPlaylistName(playlists[i]);
  }
  return names;
}

// ---- Queries ----

void KernelDevice::SetQueryEngine(QueryEngine engine) {
  std::lock_guard<std::mutex> guard(QueryEngineMutex());
  QueryEngineSlot() = std::move(engine);
}

int KernelDevice::QueryFirst(std::string_view sql, KernelId& first) {
  QueryEngine engine;
  {
    std::lock_guard<std::mutex> guard(QueryEngineMutex());
    engine = QueryEngineSlot();
  }
  if (!engine) return 0;
  std::optional<std::vector<std::string>> ids;
  try {
    ids = engine(*this, sql);
  } catch (const std::exception&) {
    return 0;  // the engine's errors are not reported here
  }
  if (!ids) return 0;
  Catalogue& c = *catalogue_;
  c.queryResults.clear();
  if (ids->empty()) return 0;
  for (const std::string& text : *ids) c.queryResults.push_back(KernelId::FromItemId(ParseItemId(text)));
  c.queryCursor = 0;
  first = c.queryResults.front();
  c.queryCursor = 1;
  return static_cast<int>(c.queryResults.size());
}

int KernelDevice::QueryNext(KernelId& next) {
  Catalogue& c = *catalogue_;
  if (c.queryCursor >= c.queryResults.size()) return 0;
  next = c.queryResults[c.queryCursor++];
  return 1;
}

// ---- Content ids ----

void KernelDevice::MakeContentId(std::string& out, std::string_view artist,
                                 std::string_view album, std::string_view title) {
  std::string joined;
  for (std::string_view part : {artist, album, title}) {
    joined += platform::ToLowerAscii(platform::TrimView(part));
  }
  sha1_ctx sha;
  sha1_init(&sha);
  sha1_update(&sha, joined.size(), reinterpret_cast<const std::uint8_t*>(joined.data()));
  std::uint8_t digest[SHA1_DIGEST_SIZE];
  sha1_digest(&sha, sizeof digest, digest);
  // Base16 writes lower-case digits; content ids are upper case.
  out.resize(BASE16_ENCODE_LENGTH(sizeof digest));
  base16_encode_update(out.data(), sizeof digest, digest);
  for (char& c : out) c = platform::ToUpperAscii(c);
}

std::string KernelDevice::MakeContentId(std::string_view artist, std::string_view album,
                                        std::string_view title) {
  std::string out;
  MakeContentId(out, artist, album, title);
  return out;
}

int KernelDevice::FindTrackByContentId(std::string_view contentId, KernelId& track) {
  Catalogue& c = *catalogue_;
  if (c.contentIds.empty()) {
    const WalkAsCatalogue walking(requestCaller_);
    KernelId t;
    for (int r = GetFirstAudioTrack(t); r > 0; r = GetNextAudioTrack(t)) {
      c.contentIds[MakeContentId(GetTrackArtist(t), GetTrackAlbum(t), GetTrackTitle(t))] = t;
    }
  }
  auto it = c.contentIds.find(std::string(contentId));
  if (it == c.contentIds.end()) {
    track = KernelId();
    return 0;
  }
  track = it->second;
  return 1;
}

}  // namespace device
