#include "device/track_cache.h"

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

int TrackCacheDevice::GetFirstAudioTrackInfo(KernelId& track, TrackRecord& record) {
  const int r = GetFirstAudioTrack(track);
  if (r > 0) GetTrackInfo(track, record);
  return r;
}

int TrackCacheDevice::GetNextAudioTrackInfo(KernelId& track, TrackRecord& record) {
  const int r = GetNextAudioTrack(track);
  if (r > 0) GetTrackInfo(track, record);
  return r;
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

namespace {
// Drops the cache once the call is over, also when it throws.
struct DropAfter {
  TrackCacheDevice& cache;
  ~DropAfter() { cache.Drop(); }
};
}  // namespace

void TrackCacheDevice::Connect() {
  DropAfter drop{*this};
  inner().Connect();
}
void TrackCacheDevice::Disconnect() {
  DropAfter drop{*this};
  KernelDevice::Disconnect();
  inner().Disconnect();
}
int TrackCacheDevice::SelectStorage(const KernelId& storage) {
  DropAfter drop{*this};
  return inner().SelectStorage(storage);
}
int TrackCacheDevice::RefreshStorage() {
  DropAfter drop{*this};
  return inner().RefreshStorage();
}
int TrackCacheDevice::RecoverMissingTracks() {
  DropAfter drop{*this};
  return inner().RecoverMissingTracks();
}
int TrackCacheDevice::SetTrackInfo(const KernelId& track, const TrackRecord& record) {
  DropAfter drop{*this};
  return inner().SetTrackInfo(track, record);
}
int TrackCacheDevice::SetTrackArtist(const KernelId& track, std::string_view text) {
  DropAfter drop{*this};
  return inner().SetTrackArtist(track, text);
}
int TrackCacheDevice::SetTrackAlbum(const KernelId& track, std::string_view text) {
  DropAfter drop{*this};
  return inner().SetTrackAlbum(track, text);
}
int TrackCacheDevice::SetTrackNumber(const KernelId& track, int number) {
  DropAfter drop{*this};
  return inner().SetTrackNumber(track, number);
}
int TrackCacheDevice::SetTrackTitle(const KernelId& track, std::string_view text) {
  DropAfter drop{*this};
  return inner().SetTrackTitle(track, text);
}
int TrackCacheDevice::SetTrackYear(const KernelId& track, int year) {
  DropAfter drop{*this};
  return inner().SetTrackYear(track, year);
}
int TrackCacheDevice::SetTrackGenre(const KernelId& track, std::string_view text) {
  DropAfter drop{*this};
  return inner().SetTrackGenre(track, text);
}
int TrackCacheDevice::SetTrackComment(const KernelId& track, std::string_view text) {
  DropAfter drop{*this};
  return inner().SetTrackComment(track, text);
}
int TrackCacheDevice::UploadTrack(std::string_view sourcePath, const TrackRecord& record, KernelId& newTrack) {
  DropAfter drop{*this};
  return inner().UploadTrack(sourcePath, record, newTrack);
}
int TrackCacheDevice::DeleteAudioTrack(const KernelId& track) {
  DropAfter drop{*this};
  return inner().DeleteAudioTrack(track);
}
