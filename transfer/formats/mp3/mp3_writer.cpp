#include "transfer/formats/mp3/mp3_writer.h"

#include <taglib/tstring.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/settings.h"
#include "transfer/formats/genres.h"
#include "transfer/formats/mp3/id3v2_tag.h"
#include "transfer/formats/mp3/mp3_reader.h"

using namespace device;

namespace transfer {

namespace {

constexpr int kNewTagVersion = 3;  // what players read most widely

TagLib::String FromUtf8(const std::string& s) { return TagLib::String(s, TagLib::String::UTF8); }

std::string Bytes(const TagLib::ByteVector& v) { return std::string(v.data(), v.size()); }

// The encoding byte and the text: Latin-1 where it holds the text, else UTF-8 (2.4) or
// UTF-16 with a byte order mark (2.2, 2.3).
char Encoding(int version, const TagLib::String& text) {
  if (text.isLatin1()) return 0;
  return version == 4 ? 3 : 1;
}

std::string Encoded(char encoding, const TagLib::String& text) {
  switch (encoding) {
    case 0:
      return Bytes(text.data(TagLib::String::Latin1));
    case 3:
      return Bytes(text.data(TagLib::String::UTF8));
    default:
      return Bytes(text.data(TagLib::String::UTF16));
  }
}

std::string TextFrame(int version, const std::string& utf8) {
  const TagLib::String text = FromUtf8(utf8);
  const char encoding = Encoding(version, text);
  return std::string(1, encoding) + Encoded(encoding, text);
}

std::string CommentFrame(int version, const std::string& utf8) {
  const TagLib::String text = FromUtf8(utf8);
  const char encoding = Encoding(version, text);
  // Language, then an empty description and its terminator.
  std::string body(1, encoding);
  body += "eng";
  body += encoding == 1 ? std::string("\xFF\xFE\0\0", 4) : std::string(1, '\0');
  return body + Encoded(encoding, text);
}

// A field of the record and the frames that hold it in each version.
struct Field {
  std::initializer_list<const char*> ids;  // every id the field has in any version
  const char* v2;
  const char* v3;
  const char* v4;
  const char* For(int version) const { return version == 2 ? v2 : version == 3 ? v3 : v4; }
};
const Field kTitle{{"TIT2", "TT2"}, "TT2", "TIT2", "TIT2"};
const Field kArtist{{"TPE1", "TP1"}, "TP1", "TPE1", "TPE1"};
const Field kAlbum{{"TALB", "TAL"}, "TAL", "TALB", "TALB"};
const Field kTrack{{"TRCK", "TRK"}, "TRK", "TRCK", "TRCK"};
const Field kYear{{"TYER", "TDRC", "TYE"}, "TYE", "TYER", "TDRC"};
const Field kGenre{{"TCON", "TCO"}, "TCO", "TCON", "TCON"};
const Field kComment{{"COMM", "COM"}, "COM", "COMM", "COMM"};

bool HoldsField(const Field& field, const Id3v2Frame& frame) {
  return std::any_of(field.ids.begin(), field.ids.end(), [&](const char* id) { return frame.id == id; });
}

class FrameEdit {
 public:
  explicit FrameEdit(Id3v2Tag& tag) : tag_(tag) {}

  // Drops the field's frames (comments: only the plain ones) and, for a value, adds one.
  void Replace(const Field& field, const std::string& body) {
    auto& frames = tag_.frames;
    frames.erase(std::remove_if(frames.begin(), frames.end(),
                                [&](const Id3v2Frame& f) {
                                  if (!HoldsField(field, f)) return false;
                                  return &field != &kComment || IsPlainComment(tag_.version, f);
                                }),
                 frames.end());
    if (body.empty()) return;
    Id3v2Frame frame;
    frame.id = field.For(tag_.version);
    frame.bytes = MakeId3v2Frame(tag_.version, frame.id, body);
    added_.push_back(std::move(frame));
  }

  // New frames go first: some players stop reading at a large picture.
  void Finish() { tag_.frames.insert(tag_.frames.begin(), added_.begin(), added_.end()); }

 private:
  Id3v2Tag& tag_;
  std::vector<Id3v2Frame> added_;
};

std::string Number(int n) { return n > 0 ? std::to_string(n) : std::string(); }

void UpdateId3v2(Id3v2Tag& tag, const TrackRecord& record) {
  TrackRecord old;
  ReadId3v2Fields(tag, old);
  FrameEdit edit(tag);
  const int v = tag.version;
  const auto text = [&](const Field& field, const FixedString256& now, const FixedString256& before) {
    if (now.Str() == before.Str()) return;  // unchanged: its frames stay as they are
    edit.Replace(field, now.Str().empty() ? std::string() : TextFrame(v, now.Str()));
  };
  text(kTitle, record.title, old.title);
  text(kArtist, record.artist, old.artist);
  text(kAlbum, record.album, old.album);
  text(kGenre, record.genre, old.genre);
  if (record.comment.Str() != old.comment.Str()) {
    edit.Replace(kComment, record.comment.Str().empty() ? std::string() : CommentFrame(v, record.comment.Str()));
  }
  const bool sameTrack =
      record.trackNumber == old.trackNumber && (record.trackCount <= 0 || record.trackCount == old.trackCount);
  if (!sameTrack) {
    // A count the record does not know stays as the tag had it.
    const int count = record.trackCount > 0 ? record.trackCount : old.trackCount;
    std::string value = Number(record.trackNumber);
    if (!value.empty() && count > 0) value += "/" + std::to_string(count);
    edit.Replace(kTrack, value.empty() ? std::string() : TextFrame(v, value));
  }
  if (record.year != old.year) {
    const std::string value = Number(record.year);
    edit.Replace(kYear, value.empty() ? std::string() : TextFrame(v, value));
  }
  edit.Finish();
}

// `utf8` in Latin-1, `size` bytes at most, zero-filled.
void PutLatin1(std::string& out, std::size_t at, std::size_t size, const std::string& utf8) {
  std::size_t n = 0;
  for (const wchar_t c : FromUtf8(utf8)) {
    if (n == size) break;
    out[at + n++] = static_cast<char>(c <= 0xFF ? c : L'?');
  }
}

}  // namespace

std::string RenderId3v1(const TrackRecord& record) {
  std::string t(128, '\0');
  t.replace(0, 3, "TAG");
  PutLatin1(t, 3, 30, record.title.Str());
  PutLatin1(t, 33, 30, record.artist.Str());
  PutLatin1(t, 63, 30, record.album.Str());
  if (record.year >= 1000 && record.year <= 9999) t.replace(93, 4, std::to_string(record.year));
  PutLatin1(t, 97, 28, record.comment.Str());
  // A number the byte cannot hold is left out rather than written wrong.
  if (record.trackNumber > 0 && record.trackNumber <= 255) t[126] = static_cast<char>(record.trackNumber);
  const std::string genre = record.genre.Str();
  const int number = GenreNumber(genre.substr(0, genre.find(kValueSeparator)));
  t[127] = static_cast<char>(number >= 0 ? number : 255);
  return t;
}

bool Mp3Writer::Plan(ByteSource& source, const TrackRecord& record, TagEdit& edit) const {
  Id3v2Tag tag;
  if (ReadId3v2Tag(source, tag)) {
    if (!tag.complete) return false;
  } else {
    tag.version = kNewTagVersion;
  }
  // The audio must be there: a file of any other kind is no MP3 to write tags into.
  const std::uint64_t v1Bytes = Id3v1TagBytes(source);
  Mp3Facts facts;
  if (!ScanMp3Audio(source, tag.regionBytes, source.Size() - v1Bytes, facts)) return false;

  UpdateId3v2(tag, record);
  if (tag.MinimumBytes() > kId3v2MaxBytes) return false;
  edit.headBytes = tag.regionBytes;
  edit.headMinimum = tag.MinimumBytes();
  edit.renderHead = [tag](std::uint64_t size) -> std::optional<std::string> {
    if (size < tag.MinimumBytes() || size > kId3v2MaxBytes) return std::nullopt;
    return tag.Render(size);
  };

  std::uint32_t useV1 = 0;
  ReadSettingDword("ATM_TWB_UseV1", useV1);
  if (useV1 != 0 || v1Bytes != 0) {
    edit.changeTail = true;
    edit.tailBytes = v1Bytes;
    edit.tail = RenderId3v1(record);
  }
  return true;
}

}  // namespace transfer
