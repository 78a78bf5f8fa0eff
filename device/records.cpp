#include "device/records.h"

#include <cstring>

namespace device {

TrackRecord::TrackRecord() {
  std::memset(static_cast<void*>(this), 0, sizeof(*this));
  Clear();
}

void TrackRecord::Clear() {
  path.Clear();
  playOnly = 0;
  codec = 2;
  for (FixedString256* t : {&artist, &album, &title, &genre, &comment, &composer, &grouping}) {
    t->Clear();
  }
  compilation = 0;
  modifiedTime = 0;
  fileSize = length = trackNumber = trackCount = year = bitrate = sampleRate = 0;
  extraNumber1 = extraNumber2 = extraNumber3 = playCount = 0;
  lastPlayed = 0;
  discNumber = discCount = 0;
  addedTime = 0;
  rating = 0;
  tempo = 0;
  extraFlag = 0;
  extraText.Clear();
  extraWord1 = extraWord2 = 0;
}

void TrackRecord::Copy(TrackRecord& dst, const TrackRecord& src) {
  if (&dst == &src) return;
  dst.path = src.path;
  dst.playOnly = src.playOnly;
  dst.codec = src.codec;
  dst.artist = src.artist;
  dst.album = src.album;
  dst.title = src.title;
  dst.genre = src.genre;
  dst.comment = src.comment;
  dst.composer = src.composer;
  dst.grouping = src.grouping;
  dst.compilation = src.compilation;
  dst.modifiedTime = src.modifiedTime;
  dst.fileSize = src.fileSize;
  dst.length = src.length;
  dst.trackNumber = src.trackNumber;
  dst.trackCount = src.trackCount;
  dst.year = src.year;
  dst.bitrate = src.bitrate;
  dst.sampleRate = src.sampleRate;
  dst.extraNumber1 = src.extraNumber1;
  dst.extraNumber2 = src.extraNumber2;
  dst.extraNumber3 = src.extraNumber3;
  dst.playCount = src.playCount;
  dst.lastPlayed = src.lastPlayed;
  dst.discNumber = src.discNumber;
  dst.discCount = src.discCount;
  dst.addedTime = src.addedTime;
  dst.rating = src.rating;
  dst.tempo = src.tempo;
  dst.extraFlag = src.extraFlag;
  dst.extraText = src.extraText;
  dst.extraWord1 = src.extraWord1;
  dst.extraWord2 = src.extraWord2;
}

int TrackRecord::Compare(const TrackRecord& a, const TrackRecord& b) {
  const bool same = a.path.GetText() == b.path.GetText() && a.fileSize == b.fileSize &&
                    a.playOnly == b.playOnly && a.artist.GetText() == b.artist.GetText() &&
                    a.album.GetText() == b.album.GetText() && a.trackNumber == b.trackNumber &&
                    a.title.GetText() == b.title.GetText() && a.length == b.length &&
                    a.bitrate == b.bitrate && a.codec == b.codec && a.year == b.year &&
                    a.genre.GetText() == b.genre.GetText() &&
                    a.comment.GetText() == b.comment.GetText();
  return same ? 0 : -1;
}

void ContactRecord::Clear() {
  for (FixedString260& f : field) f.Clear();
}

}  // namespace device
