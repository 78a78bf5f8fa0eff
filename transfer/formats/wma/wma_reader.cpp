#include "transfer/formats/wma/wma_reader.h"

#include <cstring>
#include <optional>
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

namespace {

// GUIDs of ASF objects, as the file stores them.
constexpr unsigned char kHeaderObject[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                             0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr unsigned char kPaddingObject[16] = {0x74, 0xD4, 0x06, 0x18, 0xDF, 0xCA, 0x09, 0x45,
                                              0xA4, 0xBA, 0x9A, 0xAB, 0xCB, 0x96, 0xAA, 0xE8};
constexpr unsigned char kFileProperties[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                               0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr std::size_t kHeaderFixed = 30;  // GUID, size, object count, two reserved bytes
constexpr std::size_t kObjectHead = 24;   // GUID and size
// A header larger than this is no file's we would change.
constexpr std::uint64_t kMaxHeaderBytes = std::uint64_t(64) << 20;

std::uint64_t LittleEndian64(const unsigned char* p) {
  return std::uint64_t(LittleEndian32(p)) | (std::uint64_t(LittleEndian32(p + 4)) << 32);
}

void PutLittleEndian(std::string& s, std::size_t at, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

// The header object without its top-level padding objects; false when its objects do
// not add up.
bool WithoutPadding(const std::string& header, std::string& out) {
  if (header.size() < kHeaderFixed) return false;
  const auto* h = reinterpret_cast<const unsigned char*>(header.data());
  out = header.substr(0, kHeaderFixed);
  std::uint32_t count = 0;
  std::size_t pos = kHeaderFixed;
  while (pos < header.size()) {
    if (header.size() - pos < kObjectHead) return false;
    const std::uint64_t size = LittleEndian64(h + pos + 16);
    if (size < kObjectHead || size > header.size() - pos) return false;
    if (std::memcmp(h + pos, kPaddingObject, 16) != 0) {
      out.append(header, pos, static_cast<std::size_t>(size));
      ++count;
    }
    pos += static_cast<std::size_t>(size);
  }
  PutLittleEndian(out, 16, out.size(), 8);
  PutLittleEndian(out, 24, count, 4);
  return true;
}

// The header `size` bytes long (a padding object takes the room, when there is any), with
// the file size it declares.
std::optional<std::string> SizedHeader(const std::string& bare, std::uint64_t size, std::uint64_t fileSize) {
  if (size != bare.size() && size < bare.size() + kObjectHead) return std::nullopt;
  std::string out = bare;
  if (size > bare.size()) {
    std::string padding(static_cast<std::size_t>(size - bare.size()), '\0');
    padding.replace(0, 16, reinterpret_cast<const char*>(kPaddingObject), 16);
    PutLittleEndian(padding, 16, padding.size(), 8);
    out += padding;
    PutLittleEndian(out, 24, LittleEndian32(reinterpret_cast<const unsigned char*>(out.data()) + 24) + 1, 4);
  }
  PutLittleEndian(out, 16, out.size(), 8);
  // The file properties object carries the file's size 40 bytes in.
  for (std::size_t pos = kHeaderFixed; pos + kObjectHead <= out.size();) {
    const auto* o = reinterpret_cast<const unsigned char*>(out.data()) + pos;
    const std::uint64_t objectSize = LittleEndian64(o + 16);
    if (objectSize < kObjectHead) break;
    if (std::memcmp(o, kFileProperties, 16) == 0 && objectSize >= 48) PutLittleEndian(out, pos + 40, fileSize, 8);
    pos += static_cast<std::size_t>(objectSize);
  }
  return out;
}

}  // namespace

bool WmaWriter::Plan(ByteSource& source, const TrackRecord& record, TagEdit& edit) const {
  unsigned char h[kHeaderFixed];
  if (!source.ReadExact(0, h, sizeof h) || std::memcmp(h, kHeaderObject, 16) != 0) return false;
  const std::uint64_t headerBytes = LittleEndian64(h + 16);
  if (headerBytes < kHeaderFixed || headerBytes > source.Size() || headerBytes > kMaxHeaderBytes) return false;
  std::string header(static_cast<std::size_t>(headerBytes), '\0');
  if (!source.ReadExact(0, header.data(), header.size())) return false;

  platform::WmMetadataEditor editor;
  if (!editor.OpenHeader(header)) return false;
  const struct {
    const char* name;
    std::string value;  // empty: the attribute is removed, never written as a placeholder
  } rows[] = {
      {"Author", record.artist.Str()},
      {"WM/AlbumTitle", record.album.Str()},
      {"Title", record.title.Str()},
      {"WM/TrackNumber", record.trackNumber > 0 ? FormatInt(record.trackNumber) : std::string()},
      {"WM/Track", record.trackNumber > 0 ? FormatInt(std::int64_t(record.trackNumber) - 1) : std::string()},
      {"WM/Year", record.year > 0 ? FormatInt(record.year) : std::string()},
      {"WM/Genre", record.genre.Str()},
      {"Description", record.comment.Str()},
  };
  for (const auto& row : rows) {
    if (!(row.value.empty() ? editor.RemoveAttribute(row.name) : editor.SetAttribute(row.name, row.value)))
      return false;
  }
  std::string rendered, bare;
  if (!editor.RenderHeader(rendered) || !WithoutPadding(rendered, bare)) return false;
  const std::uint64_t rest = source.Size() - headerBytes;
  edit.headBytes = headerBytes;
  edit.headMinimum = bare.size();
  edit.renderHead = [bare, rest](std::uint64_t size) { return SizedHeader(bare, size, rest + size); };
  return true;
}

}  // namespace transfer
