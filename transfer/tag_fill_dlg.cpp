#include "transfer/tag_fill_dlg.h"

#include "common/settings.h"
#include "platform/text/text.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/host.h"

using namespace device;

namespace transfer {

using namespace platform::layout;

const platform::DialogTemplate& TagFillDlgTemplate() {
  using D = CTagFillDlg;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      D::kTemplateId, "Edit Tag",
      Column({Text("This file is missing tag fields.  Fill all fields or skip the file.").Width(52),
              Text("", D::kFileNameId).Style(platform::kStyleTitle).Width(52),
              Row({Text("Artist:"), Edit(D::kArtistId).Width(40).Expand()}),
              Row({Text("Album:"), Edit(D::kAlbumId).Width(40).Expand()}),
              Row({Text("Title:"), Edit(D::kTitleId).Width(40).Expand()}),
              Row({Text("Track #:"), Edit(D::kTrackNumberId).Number().Width(6)}),
              Row({Text("Year:"), Edit(D::kYearId).Number().Width(6)}),
              Row({Text("Genre:"), Edit(D::kGenreId).Width(40).Expand()}),
              Row({Text("Comment:"), Edit(D::kCommentId).Width(40).Expand()}),
              Buttons({DefaultButton(platform::IDOK, "OK"), Button(platform::IDCANCEL, "Skip")})}));
  return t;
}

CTagFillDlg::CTagFillDlg(const std::string& name, TrackRecord* record, platform::HWND parent)
    : Dialog(TagFillDlgTemplate(), parent), fileName(name), record_(record) {
  if (record_ == nullptr) return;
  trackNumber = record_->trackNumber;
  year = record_->year;
  artist = record_->artist.Str();
  album = record_->album.Str();
  title = record_->title.Str();
  genre = record_->genre.Str();
  comment = record_->comment.Str();
}

void CTagFillDlg::DoDataExchange(platform::DataExchange& dx) {
  dx.Text(kFileNameId, fileName);
  dx.Text(kAlbumId, album);
  dx.Text(kArtistId, artist);
  dx.Text(kCommentId, comment);
  dx.Text(kGenreId, genre);
  dx.Text(kTitleId, title);
  dx.Int(kTrackNumberId, trackNumber, 0, 999);
  dx.Int(kYearId, year, 0, 9999);
}

void CTagFillDlg::ApplyToTrack() {
  std::string fill;
  if (ReadSettingString("JB_Tx_ITagFillWith", fill) != 0 && fill.empty()) fill = "<Unknown>";
  const auto complete = [&](std::string& field, bool& filled) {
    field = platform::Trim(field);
    filled = field.empty() && !fill.empty();
    if (field.empty()) field = fill;
  };
  complete(artist, filledArtist_);
  complete(album, filledAlbum_);
  complete(genre, filledGenre_);
  if (record_ == nullptr) return;
  record_->trackNumber = trackNumber;
  record_->year = year;
  record_->artist.Set(artist);
  record_->album.Set(album);
  record_->title.Set(title);
  record_->genre.Set(genre);
  record_->comment.Set(comment);
}

void CTagFillDlg::RemovePlaceholders(TrackRecord& record) const {
  if (filledArtist_) record.artist.Set("");
  if (filledAlbum_) record.album.Set("");
  if (filledGenre_) record.genre.Set("");
}

}  // namespace transfer
