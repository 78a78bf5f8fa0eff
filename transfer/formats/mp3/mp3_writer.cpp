#include "transfer/formats/mp3/mp3_writer.h"

#include <taglib/commentsframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <string>

#include "common/settings.h"

using namespace device;

namespace transfer {

namespace {

TagLib::String Utf8(const FixedString256& field) { return TagLib::String(field.Str(), TagLib::String::UTF8); }

// The comment without description; comments with a description (other programs'
// private notes) are not ours to change.
void SetComment(TagLib::ID3v2::Tag& tag, const TagLib::String& text) {
  const TagLib::ID3v2::FrameList comments = tag.frameList("COMM");
  bool set = false;
  for (TagLib::ID3v2::Frame* frame : comments) {
    auto* comment = dynamic_cast<TagLib::ID3v2::CommentsFrame*>(frame);
    if (!comment || !comment->description().isEmpty()) continue;
    if (!text.isEmpty() && !set) {
      comment->setText(text);
      set = true;
    } else {
      tag.removeFrame(comment);
    }
  }
  if (!text.isEmpty() && !set) {
    auto* comment = new TagLib::ID3v2::CommentsFrame(TagLib::String::UTF8);
    comment->setLanguage("eng");
    comment->setText(text);
    tag.addFrame(comment);
  }
}

// The fields of both tag kinds; empty texts and zero numbers remove theirs.
void SetCommon(TagLib::Tag& tag, const TrackRecord& record) {
  tag.setArtist(Utf8(record.artist));
  tag.setAlbum(Utf8(record.album));
  tag.setTitle(Utf8(record.title));
  tag.setTrack(static_cast<unsigned int>(record.trackNumber) & 0xFF);
  tag.setYear(record.year > 0 ? static_cast<unsigned int>(record.year) : 0);
  tag.setGenre(Utf8(record.genre));
}

}  // namespace

int Mp3Writer::Write(const std::string& posixPath, const TrackRecord& record) const {
  TagLib::MPEG::File file(posixPath.c_str(), false);
  if (!file.isValid() || file.readOnly()) return 0;
  std::uint32_t useV1 = 0;
  std::uint32_t useV2 = 0;
  ReadSettingDword("ATM_TWB_UseV1", useV1);
  ReadSettingDword("ATM_TWB_UseV2", useV2);
  const bool hadV2 = file.hasID3v2Tag();
  const bool writeV1 = useV1 != 0 || useV2 == 0 || file.hasID3v1Tag();
  const bool writeV2 = useV2 != 0 || hadV2;
  const bool keepV24 = hadV2 && file.ID3v2Tag()->header()->majorVersion() == 4;

  int kinds = TagLib::MPEG::File::NoTags;
  if (writeV1) {
    TagLib::ID3v1::Tag* v1 = file.ID3v1Tag(true);
    SetCommon(*v1, record);
    v1->setComment(Utf8(record.comment));
    kinds |= TagLib::MPEG::File::ID3v1;
  }
  if (writeV2) {
    TagLib::ID3v2::Tag* v2 = file.ID3v2Tag(true);
    SetCommon(*v2, record);
    SetComment(*v2, Utf8(record.comment));
    kinds |= TagLib::MPEG::File::ID3v2;
  }
  const bool saved = file.save(kinds, TagLib::File::StripNone, keepV24 ? TagLib::ID3v2::v4 : TagLib::ID3v2::v3,
                               TagLib::File::DoNotDuplicate);
  return saved ? 1 : 0;
}

}  // namespace transfer
