#include "transfer/formats/wma/wma_reader.h"

#include <string>

#include "platform/media/wm_editor.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"

using namespace device;

namespace transfer {

namespace {

void ReadText(const platform::WmMetadataEditor& editor, const char* name, FixedString256& field) {
  platform::WmAttribute a;
  if (editor.GetAttributeByName(name, a) && a.type == platform::WMT_TYPE_STRING) {
    field.Set(platform::Trim(a.text));
  }
}

// A number attribute as a number, a text one by its integer value; 0 when missing.
bool ReadNumber(const platform::WmMetadataEditor& editor, const char* name, long long& value, bool& wasText) {
  platform::WmAttribute a;
  if (!editor.GetAttributeByName(name, a)) return false;
  wasText = a.type == platform::WMT_TYPE_STRING;
  value = wasText ? platform::ParseInt32(a.text) : static_cast<long long>(a.number);
  return true;
}

std::int32_t ToInt32(long long v) {
  if (v > 0x7FFFFFFF) return 0x7FFFFFFF;
  if (v < -0x7FFFFFFF - 1) return -0x7FFFFFFF - 1;
  return static_cast<std::int32_t>(v);
}

std::string FormatInt(std::int64_t v) { return std::to_string(v); }

}  // namespace

int WmaReader::Read(ByteSource& source, TrackRecord& record) const {
  platform::WmMetadataEditor editor;
  if (!editor.Open(platform::ToPosixPath(source.Path()))) return 0;
  ReadText(editor, "Author", record.artist);
  ReadText(editor, "WM/AlbumTitle", record.album);
  ReadText(editor, "Title", record.title);
  ReadText(editor, "WM/Genre", record.genre);
  ReadText(editor, "Description", record.comment);
  ReadText(editor, "WM/Composer", record.composer);
  ReadText(editor, "WM/ContentGroupDescription", record.grouping);

  long long number = 0;
  bool wasText = false;
  record.trackNumber = ReadNumber(editor, "WM/TrackNumber", number, wasText) ? ToInt32(number) : 0;
  if (record.trackNumber == 0 && ReadNumber(editor, "WM/Track", number, wasText)) {
    // The numeric attribute counts from 0.
    record.trackNumber = ToInt32(wasText ? number : number + 1);
  }
  platform::WmAttribute a;
  if (editor.GetAttributeByName("WM/Year", a) && a.type == platform::WMT_TYPE_STRING) {
    record.year = platform::ParseInt32(a.text);
  }
  if (editor.GetAttributeByName("Bitrate", a)) record.bitrate = SaturateInt32(a.number / 1000);
  if (editor.GetAttributeByName("Duration", a)) record.length = SaturateInt32(a.number / 10000000);
  if (const int rate = editor.SampleRate(); rate > 0) record.sampleRate = rate;
  editor.Close();
  return 1;
}

int ReadWmaTags(std::string_view path, TrackRecord& record) {
  return ReadFileWith(WmaReader(), path, record);
}

int WmaWriter::Write(const std::string& posixPath, const TrackRecord& record) const {
  platform::WmMetadataEditor editor;
  if (!editor.Open(posixPath)) return 0;
  const struct {
    const char* name;
    std::string value;
  } rows[] = {
      {"Author", record.artist.Str()},
      {"WM/AlbumTitle", record.album.Str()},
      {"Title", record.title.Str()},
      {"WM/TrackNumber", FormatInt(record.trackNumber)},
      {"WM/Track", FormatInt(std::int64_t(record.trackNumber) - 1)},
      {"WM/Year", FormatInt(record.year)},
      {"WM/Genre", record.genre.Str()},
      {"Description", record.comment.Str()},
  };
  for (const auto& row : rows) {
    if (!editor.SetAttribute(row.name, row.value)) return 0;
  }
  return editor.Flush() ? 1 : 0;
}

}  // namespace transfer
