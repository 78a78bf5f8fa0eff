#include "driver/sdk_attributes.h"

#include <string>

#include "device/codec.h"
#include "platform/text/text.h"
#include "platform/vendorsdk/vendorsdk.h"

namespace driver {

using namespace device;

void DataItemRecord::Clear() {
  folderName.Clear();
  fileName.Clear();
  parent = KernelId();
  fileAttributes = 0;
  modifiedTime = 0;
}

namespace {

struct Entry {
  std::string_view name;
  bool isNumber = false;
  std::uint32_t number = 0;
  std::string text;
};

// Calls `take` for every entry that lies wholly inside the block, in order. A number too
// short to hold its integer is passed over; a text ends at its first NUL, as the fixed
// fields it goes into do.
template <typename Take>
void WalkBlock(const void* data, std::size_t length, Take take) {
  platform::AttributeBlockReader reader(data, length);
  platform::AttributeEntry raw;
  while (reader.Next(&raw)) {
    platform::AttributeValue value = platform::ReadAttributeValue(raw);
    if (value.isNumber && !value.hasNumber) continue;
    Entry e;
    e.name = raw.name;
    e.isNumber = value.isNumber;
    e.number = value.number;
    e.text = std::move(value.text);
    if (const std::size_t nul = e.text.find('\0'); nul != std::string::npos) e.text.resize(nul);
    take(e);
  }
}

bool Is(const Entry& e, std::string_view name) { return platform::EqualsNoCase(e.name, name); }

}  // namespace

void ParseTrackAttributes(const void* block, std::size_t length, TrackRecord& r) {
  WalkBlock(block, length, [&r](const Entry& e) {
    if (!e.isNumber) {
      if (Is(e, platform::kAttrTitle)) r.title.Set(e.text);
      else if (Is(e, platform::kAttrAlbum)) r.album.Set(e.text);
      else if (Is(e, platform::kAttrArtist)) r.artist.Set(e.text);
      else if (Is(e, platform::kAttrGenre)) r.genre.Set(e.text);
      else if (Is(e, platform::kAttrCodec)) r.codec = static_cast<std::uint8_t>(GetCodecFromExtension(e.text));
      return;
    }
    if (Is(e, platform::kAttrFileSize)) r.fileSize = static_cast<std::int32_t>(e.number);
    else if (Is(e, platform::kAttrLength)) r.length = static_cast<std::int32_t>(e.number);
    else if (Is(e, platform::kAttrTrackNumber)) r.trackNumber = static_cast<std::int32_t>(e.number);
    else if (Is(e, platform::kAttrYear)) r.year = static_cast<std::int32_t>(e.number);
    else if (Is(e, platform::kAttrPlayOnly)) r.playOnly = static_cast<std::uint8_t>(e.number & 0xFF);
  });
}

void ParseDataItemAttributes(const void* block, std::size_t length, DataItemRecord& r) {
  WalkBlock(block, length, [&r](const Entry& e) {
    if (!e.isNumber) {
      if (Is(e, platform::kAttrFolderName)) r.folderName.Set(e.text);
      else if (Is(e, platform::kAttrFileName)) r.fileName.Set(e.text);
      return;
    }
    if (Is(e, platform::kAttrFileAttributes)) r.fileAttributes = e.number;
    else if (Is(e, platform::kAttrModifiedTime)) r.modifiedTime = e.number;
    else if (Is(e, platform::kAttrParentFolder)) r.parent.word[0] = e.number;
  });
}

SdkAttributeBlock& SdkAttributeBlock::Text(std::string_view name, std::string_view text) {
  writer_.AddRaw(platform::kSdkAttrText, name, text);
  return *this;
}

SdkAttributeBlock& SdkAttributeBlock::Number(std::string_view name, std::uint32_t value) {
  writer_.AddNumber(name, value);
  return *this;
}

std::vector<std::uint8_t> SdkAttributeBlock::Bytes() const { return writer_.Finish(); }

}  // namespace driver
