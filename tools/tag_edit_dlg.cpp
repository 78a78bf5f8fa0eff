#include "tools/tag_edit_dlg.h"

#include <cstdio>
#include <stdexcept>

#include "platform/ui/data_exchange.h"
#include "platform/ui/host.h"

using namespace device;

namespace tools {

using namespace platform::layout;

namespace {

constexpr std::size_t kTextLimit = 255;

// A check box with the field it applies: one row of the form the host lines up.
platform::LayoutNode FieldRow(int check, const char* text, platform::LayoutNode field) {
  return Row({Check(check, text), std::move(field.Label(text))});
}

platform::LayoutNode TextRow(int check, const char* text, int edit) {
  return FieldRow(check, text, Edit(edit).Width(40).Expand());
}

platform::LayoutNode NumberRow(int check, const char* text, int edit) {
  return FieldRow(check, text, Edit(edit).Number().Width(6));
}

platform::DialogTemplate MakeLayout(int id) {
  using D = TagEditDlg;
  const bool extended = id != D::kBasicTemplateId;
  const bool full = id == D::kFullTemplateId;
  std::vector<platform::LayoutNode> rows = {
      Text("Only checked fields will be updated in the selected tracks."),
      TextRow(D::kTitleCheck, "Title", D::kTitleId),
      TextRow(D::kArtistCheck, "Artist", D::kArtistId),
      TextRow(D::kAlbumCheck, "Album", D::kAlbumId),
      NumberRow(D::kTrackCheck, "Track #", D::kTrackId),
      NumberRow(D::kYearCheck, "Year", D::kYearId),
      TextRow(D::kGenreCheck, "Genre", D::kGenreId),
      TextRow(D::kCommentCheck, "Comment", D::kCommentId),
  };
  if (extended) {
    rows.push_back(TextRow(D::kComposerCheck, "Composer", D::kComposerId));
    rows.push_back(NumberRow(D::kBpmCheck, "BPM", D::kBpmId));
    rows.push_back(FieldRow(D::kRatingCheck, "Rating", Combo(D::kRatingId).DropDownList().Width(12)));
  }
  if (full) {
    rows.push_back(FieldRow(D::kVolumeCheck, "Volume Adj.", Slider(D::kVolumeId).Expand()));
    rows.push_back(Row({Text("Play Count: 0  ", D::kPlayCountId).Width(20), Button(D::kResetCountId, "Reset Count")}));
  }
  rows.push_back(Buttons({DefaultButton(platform::IDOK, "OK"), Button(platform::IDCANCEL, "Cancel")}));
  return platform::MakeTemplate(id, "Edit Track Information", Column(std::move(rows)));
}

}  // namespace

const platform::DialogTemplate& TagEditTemplate(int templateId) {
  static const platform::DialogTemplate basic = MakeLayout(TagEditDlg::kBasicTemplateId);
  static const platform::DialogTemplate full = MakeLayout(TagEditDlg::kFullTemplateId);
  static const platform::DialogTemplate extended = MakeLayout(TagEditDlg::kExtendedTemplateId);
  switch (templateId) {
    case TagEditDlg::kBasicTemplateId: return basic;
    case TagEditDlg::kFullTemplateId: return full;
    case TagEditDlg::kExtendedTemplateId: return extended;
    default: throw std::invalid_argument("no tag editor layout " + std::to_string(templateId));
  }
}

int RatingIndex(int rating) {
  // The field is a byte: anything from 100 up is the top entry, never one past the list.
  if (rating >= 100) return 0;
  if (rating <= 0) return 5;
  return 5 - rating / 20;
}

TagEditDlg::TagEditDlg(int templateId, const int applyFlags[kFieldCount], platform::HWND parent)
    : Dialog(TagEditTemplate(templateId), parent) {
  for (int i = 0; i < kFieldCount; ++i) apply[static_cast<std::size_t>(i)] = applyFlags != nullptr ? applyFlags[i] : 0;
  for (std::size_t i = 0; i < kChecks.size(); ++i) {
    const int check = kChecks[i];
    HandleCommand(check, [this, i, check] {
      apply[i] = Button(check).GetCheck();
      ApplyChecks();
    });
  }
  HandleCommand(kResetCountId, [this] {
    playCount = 0;
    playCountReset = true;
    ShowPlayCount();
  });
}

bool TagEditDlg::HasControl(int id) const { return GetTemplate().Find(id) != nullptr; }

namespace {

// Each field of a record in flag order, as the records are compared.
std::array<std::string, TagEditDlg::kFieldCount> FieldsOf(const TrackRecord& r) {
  return {r.artist.Str(),          r.album.Str(),          std::to_string(r.trackNumber), r.title.Str(),
          std::to_string(r.year),  r.genre.Str(),          r.comment.Str(),               r.composer.Str(),
          std::to_string(r.tempo), std::to_string(r.extraNumber1), std::to_string(r.rating)};
}

}  // namespace

std::array<int, TagEditDlg::kFieldCount> TagEditDlg::AgreementOf(const std::vector<const TrackRecord*>& records) {
  std::array<int, kFieldCount> flags;
  flags.fill(1);
  if (records.empty()) return flags;
  const auto first = FieldsOf(*records.front());
  for (const TrackRecord* r : records) {
    const auto fields = FieldsOf(*r);
    for (std::size_t k = 0; k < fields.size(); ++k) {
      if (fields[k] != first[k]) flags[k] = 0;
    }
  }
  return flags;
}

void TagEditDlg::PresetFrom(const TrackRecord& r) {
  const auto agreed = [&](Field field) { return apply[static_cast<std::size_t>(field)] != 0; };
  if (agreed(kArtist)) artist = r.artist.Str();
  if (agreed(kAlbum)) album = r.album.Str();
  if (agreed(kTrackNumber)) trackNumber = r.trackNumber;
  if (agreed(kTitle)) title = r.title.Str();
  if (agreed(kYear)) year = r.year;
  if (agreed(kGenre)) genre = r.genre.Str();
  if (agreed(kComment)) comment = r.comment.Str();
  if (agreed(kComposer)) composer = r.composer.Str();
  if (agreed(kBpm)) bpm = r.tempo;
  if (agreed(kVolume)) volumeAdjustment = r.extraNumber1;
  if (agreed(kRating)) rating = r.rating;
  playCount = r.playCount;
}

void TagEditDlg::ApplyTo(TrackRecord& r, bool genreMayEmpty) const {
  const auto on = [&](Field field) {
    if (field == kComment && !offerComment) return false;
    return apply[static_cast<std::size_t>(field)] != 0 && HasControl(kChecks[static_cast<std::size_t>(field)]);
  };
  if (on(kArtist) && !artist.empty()) r.artist.Set(artist);
  if (on(kAlbum) && !album.empty()) r.album.Set(album);
  if (on(kTitle) && !title.empty()) r.title.Set(title);
  if (on(kTrackNumber)) r.trackNumber = trackNumber;
  if (on(kYear)) r.year = year;
  if (on(kGenre) && (genreMayEmpty || !genre.empty())) r.genre.Set(genre);
  if (on(kComment)) r.comment.Set(comment);
  if (on(kComposer)) r.composer.Set(composer);
  if (on(kBpm)) r.tempo = static_cast<std::int16_t>(bpm);
  if (on(kVolume)) r.extraNumber1 = volumeAdjustment;
  if (on(kRating)) r.rating = static_cast<std::uint8_t>(rating);
}

bool TagEditDlg::OnInitDialog() {
  if (HasControl(kRatingId)) {
    platform::ListControl& combo = List(kRatingId);
    for (const char* text : kRatingTexts) combo.AddString(text);
  }
  if (HasControl(kVolumeId)) {
    platform::SliderControl& slider = Slider(kVolumeId);
    slider.SetRange(-255, 255);
    slider.SetTicFreq(255);
  }
  for (int id : {kAlbumId, kArtistId, kCommentId, kGenreId, kTitleId, kComposerId}) {
    if (HasControl(id)) Edit(id).SetLimitText(kTextLimit);
  }
  if (!offerComment) apply[kComment] = 0;
  Dialog::OnInitDialog();
  if (!offerComment) {
    ShowDlgItem(kCommentCheck, false);
    ShowDlgItem(kCommentId, false);
  }
  ShowPlayCount();
  ApplyChecks();
  return true;
}

void TagEditDlg::DoDataExchange(platform::DataExchange& dx) {
  for (std::size_t i = 0; i < kChecks.size(); ++i) {
    if (HasControl(kChecks[i])) dx.Check(kChecks[i], apply[i]);
  }
  dx.Text(kAlbumId, album, kTextLimit);
  dx.Text(kArtistId, artist, kTextLimit);
  dx.Text(kCommentId, comment, kTextLimit);
  dx.Text(kGenreId, genre, kTextLimit);
  dx.Text(kTitleId, title, kTextLimit);
  dx.Int(kYearId, year, 0, 9999);
  dx.Int(kTrackId, trackNumber, 0, kMaxTrackNumber);
  if (HasControl(kBpmId)) dx.Int(kBpmId, bpm, 0, 9999);
  if (HasControl(kComposerId)) dx.Text(kComposerId, composer, kTextLimit);
  if (HasControl(kVolumeId)) dx.SliderPos(kVolumeId, volumeAdjustment);
  if (HasControl(kRatingId)) {
    int index = RatingIndex(rating);
    dx.ListIndex(kRatingId, index);
    // Nothing chosen keeps the rating the dialog was given.
    if (dx.IsSaving() && index >= 0) rating = 100 - 20 * index;
  }
  if (dx.IsSaving()) ApplyChecks();
}

void TagEditDlg::ApplyChecks() {
  static constexpr std::array<int, kFieldCount> kValues = {kArtistId, kAlbumId,    kTrackId, kTitleId,  kYearId,  kGenreId,
                                                           kCommentId, kComposerId, kBpmId,   kVolumeId, kRatingId};
  for (std::size_t i = 0; i < kValues.size(); ++i) {
    const int id = kValues[i];
    if (!HasControl(id)) continue;
    const bool on = apply[i] != 0;
    if (id == kVolumeId || id == kRatingId) {
      EnableDlgItem(id, on);
    } else {
      Edit(id).SetReadOnly(!on);
    }
  }
}

void TagEditDlg::ShowPlayCount() {
  if (!HasControl(kPlayCountId) || !IsOpen()) return;
  char text[48];
  std::snprintf(text, sizeof text, "Play Count: %d  ", playCount);
  SetDlgItemText(kPlayCountId, text);
}

}  // namespace tools
