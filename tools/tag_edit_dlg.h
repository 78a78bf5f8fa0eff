// TagEditDlg: the tag editor for one or more tracks. Each field has a check box that says
// whether the field is applied; a clear box makes its field read-only (the value is still
// exchanged, and the caller decides by the box). The caller presets the values and the
// boxes, runs the dialog and applies what is checked itself.
//
// Three layouts: 528 the seven basic fields; 6003 also BPM, composer and rating; 529 also
// the volume adjustment and the play count with "Reset Count".
#pragma once

#include <array>
#include <string>
#include <vector>

#include "device/records.h"

#include "platform/ui/ui_window.h"

namespace tools {

class TagEditDlg : public platform::Dialog {
 public:
  static constexpr int kBasicTemplateId = 528;
  static constexpr int kFullTemplateId = 529;
  static constexpr int kExtendedTemplateId = 6003;
  // The largest track number the editor takes (numberings stop there too).
  static constexpr int kMaxTrackNumber = 9999;

  // The check boxes and edits.
  static constexpr int kArtistCheck = 1109, kArtistId = 1007;
  static constexpr int kAlbumCheck = 1110, kAlbumId = 1008;
  static constexpr int kTrackCheck = 1111, kTrackId = 1009;
  static constexpr int kTitleCheck = 1153, kTitleId = 1013;
  static constexpr int kYearCheck = 1114, kYearId = 1010;
  static constexpr int kCommentCheck = 1113, kCommentId = 1012;
  static constexpr int kGenreCheck = 1112, kGenreId = 1011;
  static constexpr int kBpmCheck = 1115, kBpmId = 1014;
  static constexpr int kComposerCheck = 1116, kComposerId = 1015;
  static constexpr int kRatingCheck = 1117, kRatingId = 1233;
  static constexpr int kVolumeCheck = 1118, kVolumeId = 1235;
  static constexpr int kPlayCountId = 1252;
  static constexpr int kResetCountId = 1253;

  // Positions of the apply flags.
  enum Field {
    kArtist, kAlbum, kTrackNumber, kTitle, kYear, kGenre, kComment, kComposer, kBpm, kVolume, kRating, kFieldCount
  };
  // The check box of each flag, in flag order.
  static constexpr std::array<int, kFieldCount> kChecks = {kArtistCheck, kAlbumCheck, kTrackCheck,    kTitleCheck,
                                                           kYearCheck,   kGenreCheck, kCommentCheck,  kComposerCheck,
                                                           kBpmCheck,    kVolumeCheck, kRatingCheck};

  // `templateId` is 528, 529 or 6003; `applyFlags` (eleven, in Field order) start the
  // check boxes. Texts empty, numbers 0.
  TagEditDlg(int templateId, const int applyFlags[kFieldCount], platform::HWND parent = 0);

  // Whether the layout has this control (529 has all, 528 only the basic fields).
  bool HasControl(int id) const;

  // The flags of the records: 1 where every record has the first one's value (texts byte
  // for byte, numbers by value).
  static std::array<int, kFieldCount> AgreementOf(const std::vector<const device::TrackRecord*>& records);
  // Takes each field whose flag is set from the record, and the play count.
  void PresetFrom(const device::TrackRecord& record);
  // Writes the checked fields that this layout shows into the record. Artist, album and
  // title are never emptied (a track is found by them); genre is emptied only when
  // `genreMayEmpty`; comment and composer may be emptied.
  void ApplyTo(device::TrackRecord& record, bool genreMayEmpty) const;

  std::array<int, kFieldCount> apply{};
  std::string album, artist, comment, genre, title, composer;  // at most 255 bytes each
  int year = 0;              // 0..9999
  int trackNumber = 0;       // 0..9999
  int bpm = 0;               // 0..9999
  int volumeAdjustment = 0;  // -255..255
  int rating = 0;            // 0, 20, 40, 60, 80 or 100
  int playCount = 0;
  // Set when the person pressed "Reset Count".
  bool playCountReset = false;
  // Cleared for a player that keeps no comments: the field is not shown and never applied.
  bool offerComment = true;

  bool OnInitDialog() override;
  void DoDataExchange(platform::DataExchange& dx) override;

 private:
  // Edits read-only and the rating and volume controls disabled where their box is clear.
  void ApplyChecks();
  void ShowPlayCount();
};

const platform::DialogTemplate& TagEditTemplate(int templateId);

// The rating list's entries, first to last: "5 stars" (100) down to "no rating" (0).
inline constexpr const char* kRatingTexts[6] = {"5 stars", "4 stars", "3 stars", "2 stars", "1 star", "no rating"};
// The entry a rating selects: 100 and above the first, 0 the last.
int RatingIndex(int rating);

}  // namespace tools
