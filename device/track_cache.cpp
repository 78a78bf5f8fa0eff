#include "device/track_cache.h"

namespace device {

namespace {

// A text as a request's text result carries it.
std::string AsTextResult(std::string_view text) {
  FixedString256 field;
  field.Set(text);
  return field.Str();
}

// The fields that GetTrackInfo fills; the others keep what the caller passed.
void CopyTrackFields(TrackRecord& to, const TrackRecord& from) {
  to.path = from.path;
  to.fileSize = from.fileSize;
  to.artist = from.artist;
  to.album = from.album;
  to.trackNumber = from.trackNumber;
  to.title = from.title;
  to.codec = from.codec;
  to.length = from.length;
  to.bitrate = from.bitrate;
  to.year = from.year;
  to.genre = from.genre;
  to.comment = from.comment;
  to.playOnly = from.playOnly;
}

}  // namespace

void TrackCacheDevice::Revalidate(std::optional<std::uint64_t> version) {
  if (!version || version != version_) Drop();
  version_ = version;
}

void TrackCacheDevice::Drop() {
  records_.clear();
  tracks_.reset();
  cursor_ = 0;
  version_.reset();
  InvalidateTrackIndex();  // the catalogue built over the kept tracks
}

const TrackRecord& TrackCacheDevice::Record(const KernelId& track) {
  const auto found = records_.find(track);
  if (found != records_.end()) return found->second;
  TrackRecord record;
  ++fetches_;
  inner().GetTrackInfo(track, record);
  return records_.insert_or_assign(track, record).first->second;
}

const std::vector<KernelId>& TrackCacheDevice::Tracks() {
  if (tracks_) return *tracks_;
  std::vector<KernelId> tracks;
  KernelId track;
  TrackRecord record;
  ++fetches_;
  walkCount_ = inner().GetFirstAudioTrackInfo(track, record);
  for (int r = walkCount_; r > 0; r = inner().GetNextAudioTrackInfo(track, record)) {
    ++fetches_;
    tracks.push_back(track);
    records_.insert_or_assign(track, record);
    record = TrackRecord();
  }
  tracks_ = std::move(tracks);
  return *tracks_;
}

// ---- Walks ----

int TrackCacheDevice::GetFirstAudioTrack(KernelId& track) {
  const std::vector<KernelId>& tracks = Tracks();
  cursor_ = 0;
  if (tracks.empty()) return 0;
  track = tracks[cursor_++];
  return walkCount_;  // what the device answered (a count, or 1 without summary counts)
}

int TrackCacheDevice::GetNextAudioTrack(KernelId& track) {
  const std::vector<KernelId>& tracks = Tracks();
  if (cursor_ >= tracks.size()) return 0;
  track = tracks[cursor_++];
  return 1;
}

// ---- A track's fields ----

int TrackCacheDevice::GetTrackInfo(const KernelId& track, TrackRecord& record) {
  CopyTrackFields(record, Record(track));
  return 0;
}

std::string TrackCacheDevice::GetTrackFileName(const KernelId& track) { return AsTextResult(Record(track).path.Str()); }
int TrackCacheDevice::GetTrackSize(const KernelId& track) { return Record(track).fileSize; }
std::string TrackCacheDevice::GetTrackArtist(const KernelId& track) { return Record(track).artist.Str(); }
std::string TrackCacheDevice::GetTrackAlbum(const KernelId& track) { return Record(track).album.Str(); }
int TrackCacheDevice::GetTrackNumber(const KernelId& track) { return Record(track).trackNumber; }
std::string TrackCacheDevice::GetTrackTitle(const KernelId& track) { return Record(track).title.Str(); }
int TrackCacheDevice::GetTrackCodec(const KernelId& track) { return Record(track).codec; }
int TrackCacheDevice::GetTrackLength(const KernelId& track) { return Record(track).length; }
int TrackCacheDevice::GetTrackBitrate(const KernelId& track) { return Record(track).bitrate; }
int TrackCacheDevice::GetTrackYear(const KernelId& track) { return Record(track).year; }
std::string TrackCacheDevice::GetTrackGenre(const KernelId& track) { return Record(track).genre.Str(); }
std::string TrackCacheDevice::GetTrackComment(const KernelId& track) { return Record(track).comment.Str(); }
int TrackCacheDevice::IsTrackLocked(const KernelId& track) { return Record(track).playOnly; }

// ---- Changes ----

template <typename Call>
auto TrackCacheDevice::Changing(Call call) {
  // Drops what it keeps once the call is over, also when it throws.
  struct DropAfter {
    TrackCacheDevice& cache;
    ~DropAfter() { cache.Drop(); }
  } drop{*this};
  return call();
}

void TrackCacheDevice::Connect() {
  Changing([&] { inner().Connect(); });
}
void TrackCacheDevice::Disconnect() {
  Changing([&] {
    KernelDevice::Disconnect();
    inner().Disconnect();
  });
}
int TrackCacheDevice::SelectStorage(const KernelId& s) { return Changing([&] { return inner().SelectStorage(s); }); }
int TrackCacheDevice::RefreshStorage() { return Changing([&] { return inner().RefreshStorage(); }); }
int TrackCacheDevice::RecoverMissingTracks() { return Changing([&] { return inner().RecoverMissingTracks(); }); }
int TrackCacheDevice::SetTrackInfo(const KernelId& t, const TrackRecord& r) {
  return Changing([&] { return inner().SetTrackInfo(t, r); });
}
int TrackCacheDevice::SetTrackArtist(const KernelId& t, std::string_view v) {
  return Changing([&] { return inner().SetTrackArtist(t, v); });
}
int TrackCacheDevice::SetTrackAlbum(const KernelId& t, std::string_view v) {
  return Changing([&] { return inner().SetTrackAlbum(t, v); });
}
int TrackCacheDevice::SetTrackNumber(const KernelId& t, int v) { return Changing([&] { return inner().SetTrackNumber(t, v); }); }
int TrackCacheDevice::SetTrackTitle(const KernelId& t, std::string_view v) {
  return Changing([&] { return inner().SetTrackTitle(t, v); });
}
int TrackCacheDevice::SetTrackYear(const KernelId& t, int v) { return Changing([&] { return inner().SetTrackYear(t, v); }); }
int TrackCacheDevice::SetTrackGenre(const KernelId& t, std::string_view v) {
  return Changing([&] { return inner().SetTrackGenre(t, v); });
}
int TrackCacheDevice::SetTrackComment(const KernelId& t, std::string_view v) {
  return Changing([&] { return inner().SetTrackComment(t, v); });
}
int TrackCacheDevice::UploadTrack(std::string_view path, const TrackRecord& r, KernelId& made) {
  return Changing([&] { return inner().UploadTrack(path, r, made); });
}
int TrackCacheDevice::DeleteAudioTrack(const KernelId& t) { return Changing([&] { return inner().DeleteAudioTrack(t); }); }

}  // namespace device
