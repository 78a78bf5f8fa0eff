// CTagFillDlg: shown during a transfer when a file lacks required tags. The person fills
// the fields or skips the file; ApplyToTrack then writes the fields into the file's track
// record, filling an artist, album or genre left empty with the fill text of the
// settings. The engine also applies the fill step without showing the dialog when tags
// are completed automatically.
#pragma once

#include <string>

#include "device/records.h"
#include "platform/ui/ui_window.h"

namespace transfer {

class CTagFillDlg : public platform::Dialog {
 public:
  static constexpr int kTemplateId = 535;
  static constexpr int kFileNameId = 1001;
  static constexpr int kArtistId = 1007;
  static constexpr int kAlbumId = 1008;
  static constexpr int kTrackNumberId = 1009;
  static constexpr int kYearId = 1010;
  static constexpr int kGenreId = 1011;
  static constexpr int kCommentId = 1012;
  static constexpr int kTitleId = 1013;

  // Takes track number, year, artist, album, title, genre and comment from the record.
  CTagFillDlg(const std::string& fileName, device::TrackRecord* record, platform::HWND parent = 0);

  // After IDOK (or instead of showing the dialog): artist, album and genre trimmed, each
  // that is then empty taking the fill text (`JB_Tx_ITagFillWith`; "<Unknown>" when the
  // settings key opens but the value is missing or empty); then track number, year and
  // the texts stored into the record (title and comment as entered).
  void ApplyToTrack();
  // Empties in `record` the fields that ApplyToTrack filled with the fill text: a
  // placeholder for the player's catalogue, never a value to write into a file.
  void RemovePlaceholders(device::TrackRecord& record) const;

  std::string fileName;
  std::string album, artist, comment, genre, title;
  int trackNumber = 0;  // 0..999
  int year = 0;         // 0..9999

  void DoDataExchange(platform::DataExchange& dx) override;

 private:
  device::TrackRecord* record_;
  bool filledArtist_ = false, filledAlbum_ = false, filledGenre_ = false;
};

const platform::DialogTemplate& TagFillDlgTemplate();

}  // namespace transfer
