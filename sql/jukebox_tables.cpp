// The device tables (see jukebox_tables.h).
#include "sql/jukebox_tables.h"

#include <charconv>

#include "device/codec.h"
#include "sql/sql_exception.h"
#include "sql/values.h"

namespace sql {

using namespace device;

namespace {

const std::vector<std::string_view> kAudioColumns = {
    "id",      "artist", "album", "tracknum", "title", "genre",  "composer", "year",
    "comment", "length", "codec", "bitrate",  "size",  "locked", "rating",   "playcount"};
enum AudioColumn {
  kAudioId, kAudioArtist, kAudioAlbum, kAudioTrackNum, kAudioTitle, kAudioGenre, kAudioComposer,
  kAudioYear, kAudioComment, kAudioLength, kAudioCodec, kAudioBitrate, kAudioSize, kAudioLocked,
  kAudioRating, kAudioPlayCount,
};
constexpr std::int32_t kAudioSelectAllColumns = 13;

const std::vector<std::string_view> kDataColumns = {"id", "name", "size"};
const std::vector<std::string_view> kPlaylistColumns = {"id", "name"};
const std::vector<std::string_view> kPlaylistItemColumns = {"id", "plid", "pos", "aid"};

std::string_view IdText(std::uint64_t id, std::string& out) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, id);
  out.assign(buf, r.ptr);
  return out;
}

}  // namespace

// ---- Row ids ----

void CTableJukebox::ClearRows() {
  ids_.clear();
  names_.clear();
  currentRow_ = -1;
  SetRowCount(0);
}

void CTableJukebox::ReserveRows(int count) {
  if (count > 0) ids_.reserve(static_cast<std::size_t>(count));
}

void CTableJukebox::AddRow(const KernelId& id) {
  StoredId stored{{id.word[0], id.word[1], id.word[2], id.word[3]}, 0};
  const std::string_view name = id.GetName();
  if (!name.empty()) {
    // Rows of one playlist repeat its id: keep the name once.
    if (names_.empty() || names_.back() != name) names_.emplace_back(name);
    stored.name = static_cast<std::uint32_t>(names_.size());
  }
  ids_.push_back(stored);
}

const KernelId& CTableJukebox::GetRowId(std::int32_t row) {
  if (row != currentRow_) {
    const StoredId& stored = ids_[static_cast<std::size_t>(row)];
    current_ = KernelId();
    for (int i = 0; i < 4; ++i) current_.word[i] = stored.word[i];
    if (stored.name != 0) current_.SetName(names_[stored.name - 1]);
    currentRow_ = row;
  }
  return current_;
}

// ---- audio ----

CTableJukeboxAudio::CTableJukeboxAudio(KernelDevice* device)
    : CTableJukebox("audio", kAudioSelectAllColumns, kAudioColumns, device) {}

void CTableJukeboxAudio::Fill() {
  ClearRows();
  recordRow_ = -1;
  locked_.Forget();
  KernelId track;
  AddWalkedRows(track, device_->GetFirstAudioTrack(track), [&] { return device_->GetNextAudioTrack(track); });
}

const TrackRecord& CTableJukeboxAudio::Record(std::int32_t row) {
  if (row != recordRow_) {
    recordRow_ = -1;
    // What Clear() gives for every field read here (texts empty, numbers 0, codec 2),
    // without clearing 2 KB per row; a device writes texts with FixedString::Set, which
    // zero-fills behind them, so nothing of the previous row shows through.
    TrackRecord& r = record_;
    for (auto* text : {&r.artist, &r.album, &r.title, &r.genre, &r.comment, &r.composer}) text->text[0] = '\0';
    r.trackNumber = r.length = r.year = r.playCount = r.bitrate = r.fileSize = 0;
    r.rating = 0;
    r.codec = 2;
    if (const int answer = device_->GetTrackInfo(GetRowId(row), record_); answer != 0) {
      std::string id;
      throw COmbrixSQLDeviceReadException(std::string(IdText(GetRowItemId(row), id)), answer);
    }
    recordRow_ = row;
  }
  return record_;
}

std::string_view CTableJukeboxAudio::FieldView(std::int32_t row, std::int32_t column,
                                               std::string& scratch) {
  CheckRow(row);
  switch (column) {
    case kAudioId:
      return IdText(GetRowItemId(row), scratch);
    case kAudioLocked:
      return sql::FormatInt(locked_.Get(row, [&] { return device_->IsTrackLocked(GetRowId(row)); }), scratch);
    default:
      if (column < 0 || column >= static_cast<std::int32_t>(kAudioColumns.size())) return std::string_view();
      break;
  }
  const TrackRecord& r = Record(row);
  switch (column) {
    case kAudioArtist: return r.artist.GetText();
    case kAudioAlbum: return r.album.GetText();
    case kAudioTitle: return r.title.GetText();
    case kAudioGenre: return r.genre.GetText();
    case kAudioComment: return r.comment.GetText();
    case kAudioComposer: return r.composer.GetText();
    case kAudioTrackNum: return sql::FormatInt(r.trackNumber, scratch);
    case kAudioLength: return sql::FormatInt(r.length, scratch);
    case kAudioYear: return sql::FormatInt(r.year, scratch);
    case kAudioPlayCount: return sql::FormatInt(r.playCount, scratch);
    case kAudioBitrate: return sql::FormatInt(r.bitrate, scratch);
    case kAudioSize: return sql::FormatInt(r.fileSize, scratch);
    case kAudioRating: return sql::FormatInt(r.rating / 20, scratch);
    case kAudioCodec:
      scratch = GetCodecExtension(r.codec);
      return scratch;
    default:
      return std::string_view();
  }
}

// ---- data ----

CTableJukeboxData::CTableJukeboxData(KernelDevice* device)
    : CTableJukebox("data", 3, kDataColumns, device) {}

void CTableJukeboxData::Fill() {
  ClearRows();
  name_.Forget();
  KernelId root;
  device_->GetDataRootFolder(root);
  KernelId item;
  AddWalkedRows(item, device_->GetFirstDataItem(root, item), [&] { return device_->GetNextDataItem(root, item); });
}

std::string_view CTableJukeboxData::FieldView(std::int32_t row, std::int32_t column,
                                              std::string& scratch) {
  CheckRow(row);
  switch (column) {
    case 0:
      return IdText(GetRowItemId(row), scratch);
    case 1:
      return name_.Get(row, [&] { return device_->GetDataItemName(GetRowId(row)); });
    case 2:
      return sql::FormatInt(device_->GetDataFileSize(GetRowId(row)), scratch);
    default:
      return std::string_view();
  }
}

// ---- playlist ----

CTableJukeboxPlaylist::CTableJukeboxPlaylist(KernelDevice* device)
    : CTableJukebox("playlist", 2, kPlaylistColumns, device) {}

void CTableJukeboxPlaylist::Fill() {
  ClearRows();
  name_.Forget();
  KernelId playlist;
  AddWalkedRows(playlist, device_->GetFirstPlaylist(playlist), [&] { return device_->GetNextPlaylist(playlist); });
}

std::string_view CTableJukeboxPlaylist::FieldView(std::int32_t row, std::int32_t column,
                                                  std::string& scratch) {
  CheckRow(row);
  switch (column) {
    case 0:
      return IdText(GetRowItemId(row), scratch);
    case 1:
      return name_.Get(row, [&] { return device_->GetPlaylistName(GetRowId(row)); });
    default:
      return std::string_view();
  }
}

// ---- plitem ----

CTableJukeboxPlaylistItem::CTableJukeboxPlaylistItem(KernelDevice* device)
    : CTableJukebox("plitem", 4, kPlaylistItemColumns, device) {}

void CTableJukeboxPlaylistItem::Fill() {
  ClearRows();
  positions_.clear();
  trackIds_.clear();
  KernelId playlist;
  for (int more = device_->GetFirstPlaylist(playlist); more != 0;
       more = device_->GetNextPlaylist(playlist)) {
    std::int32_t position = 0;
    KernelId track;
    for (int item = device_->GetFirstPlaylistItem(playlist, track); item != 0;
         item = device_->GetNextPlaylistItem(playlist, track)) {
      AddRow(playlist);
      positions_.push_back(position);
      trackIds_.push_back(track.GetItemId());
      ++position;
    }
  }
  CommitRows();
}

std::string_view CTableJukeboxPlaylistItem::FieldView(std::int32_t row, std::int32_t column,
                                                      std::string& scratch) {
  CheckRow(row);
  const std::size_t r = static_cast<std::size_t>(row);
  switch (column) {
    case 0: {  // plid immediately followed by pos
      char buf[48];
      auto end = std::to_chars(buf, buf + 24, GetRowItemId(row)).ptr;
      end = std::to_chars(end, buf + sizeof buf, positions_[r]).ptr;
      scratch.assign(buf, end);
      return scratch;
    }
    case 1:
      return IdText(GetRowItemId(row), scratch);
    case 2:
      return sql::FormatInt(positions_[r], scratch);
    case 3:
      return IdText(trackIds_[r], scratch);
    default:
      return std::string_view();
  }
}

// ---- source ----

std::unique_ptr<CTable> CTableSourceJukebox::GetTable(std::string_view name) {
  if (name == "audio") return std::make_unique<CTableJukeboxAudio>(device_);
  if (name == "data") return std::make_unique<CTableJukeboxData>(device_);
  if (name == "playlist") return std::make_unique<CTableJukeboxPlaylist>(device_);
  if (name == "plitem") return std::make_unique<CTableJukeboxPlaylistItem>(device_);
  return nullptr;
}

}  // namespace sql
