#include "platform/media/wm_editor.h"

#include <taglib/asffile.h>
#include <taglib/asfproperties.h>
#include <taglib/asftag.h>
#include <taglib/tbytevectorstream.h>

namespace platform {

namespace {

enum class ContentField { kNone, kTitle, kAuthor, kDescription, kCopyright, kRating };

ContentField ContentFieldOf(std::string_view name) {
  if (name == "Title") return ContentField::kTitle;
  if (name == "Author") return ContentField::kAuthor;
  if (name == "Description") return ContentField::kDescription;
  if (name == "Copyright") return ContentField::kCopyright;
  if (name == "Rating") return ContentField::kRating;
  return ContentField::kNone;
}

TagLib::String Utf8(std::string_view s) { return TagLib::String(std::string(s), TagLib::String::UTF8); }

std::string ToUtf8(const TagLib::String& s) { return s.to8Bit(true); }

}  // namespace

struct WmMetadataEditor::State {
  std::unique_ptr<TagLib::ByteVectorStream> header;  // OpenHeader's bytes
  std::unique_ptr<TagLib::ASF::File> file;
};

WmMetadataEditor::WmMetadataEditor() : state_(std::make_unique<State>()) {}
WmMetadataEditor::~WmMetadataEditor() = default;

bool WmMetadataEditor::Open(const std::string& posixPath) {
  Close();
  auto file = std::make_unique<TagLib::ASF::File>(posixPath.c_str(), true, TagLib::AudioProperties::Fast);
  if (!file->isValid() || !file->tag()) return false;
  state_->file = std::move(file);
  return true;
}

bool WmMetadataEditor::OpenHeader(const std::string& headerBytes) {
  Close();
  auto stream = std::make_unique<TagLib::ByteVectorStream>(
      TagLib::ByteVector(headerBytes.data(), static_cast<unsigned int>(headerBytes.size())));
  auto file = std::make_unique<TagLib::ASF::File>(stream.get(), true, TagLib::AudioProperties::Fast);
  if (!file->isValid() || !file->tag()) return false;
  state_->header = std::move(stream);
  state_->file = std::move(file);
  return true;
}

bool WmMetadataEditor::IsOpen() const { return state_->file != nullptr; }

bool WmMetadataEditor::GetAttributeByName(std::string_view name, WmAttribute& out) const {
  if (!state_->file) return false;
  TagLib::ASF::Tag* tag = state_->file->tag();
  const TagLib::ASF::Properties* props = state_->file->audioProperties();
  if (name == "Bitrate" || name == "Duration") {
    if (!props) return false;
    out.text.clear();
    if (name == "Bitrate") {
      out.type = WMT_TYPE_DWORD;
      out.number = static_cast<std::uint64_t>(props->bitrate() > 0 ? props->bitrate() : 0) * 1000;
    } else {
      out.type = WMT_TYPE_QWORD;
      const int ms = props->lengthInMilliseconds();
      out.number = static_cast<std::uint64_t>(ms > 0 ? ms : 0) * 10000;
    }
    return true;
  }
  const ContentField field = ContentFieldOf(name);
  if (field != ContentField::kNone) {
    TagLib::String value;
    switch (field) {
      case ContentField::kTitle: value = tag->title(); break;
      case ContentField::kAuthor: value = tag->artist(); break;
      case ContentField::kDescription: value = tag->comment(); break;
      case ContentField::kCopyright: value = tag->copyright(); break;
      case ContentField::kRating: value = tag->rating(); break;
      case ContentField::kNone: break;
    }
    if (!value.isEmpty()) {
      out.type = WMT_TYPE_STRING;
      out.text = ToUtf8(value);
      out.number = 0;
      return true;
    }
    // Some writers keep these names among the extended attributes instead.
  }
  const TagLib::String key = Utf8(name);
  const auto& map = tag->attributeListMap();
  const auto it = map.find(key);
  if (it == map.end() || it->second.isEmpty()) return false;
  const TagLib::ASF::Attribute& a = it->second.front();
  out.text.clear();
  out.number = 0;
  switch (a.type()) {
    case TagLib::ASF::Attribute::UnicodeType:
      out.type = WMT_TYPE_STRING;
      out.text = ToUtf8(a.toString());
      break;
    case TagLib::ASF::Attribute::BytesType:
    case TagLib::ASF::Attribute::GuidType: {
      out.type = a.type() == TagLib::ASF::Attribute::BytesType ? WMT_TYPE_BINARY : WMT_TYPE_GUID;
      const TagLib::ByteVector bytes = a.toByteVector();
      out.text.assign(bytes.data(), bytes.size());
      break;
    }
    case TagLib::ASF::Attribute::BoolType:
      out.type = WMT_TYPE_BOOL;
      out.number = a.toBool();
      break;
    case TagLib::ASF::Attribute::DWordType:
      out.type = WMT_TYPE_DWORD;
      out.number = a.toUInt();
      break;
    case TagLib::ASF::Attribute::QWordType:
      out.type = WMT_TYPE_QWORD;
      out.number = a.toULongLong();
      break;
    case TagLib::ASF::Attribute::WordType:
      out.type = WMT_TYPE_WORD;
      out.number = a.toUShort();
      break;
  }
  return true;
}

bool WmMetadataEditor::SetAttribute(std::string_view name, std::string_view text) {
  if (!state_->file || name == "Bitrate" || name == "Duration") return false;
  TagLib::ASF::Tag* tag = state_->file->tag();
  const TagLib::String key = Utf8(name);
  const TagLib::String value = Utf8(text);
  switch (ContentFieldOf(name)) {
    case ContentField::kTitle: tag->setTitle(value); break;
    case ContentField::kAuthor: tag->setArtist(value); break;
    case ContentField::kDescription: tag->setComment(value); break;
    case ContentField::kCopyright: tag->setCopyright(value); break;
    case ContentField::kRating: tag->setRating(value); break;
    case ContentField::kNone:
      tag->setAttribute(key, TagLib::ASF::Attribute(value));
      return true;
  }
  // One value per name: an extended attribute of the same name would contradict it.
  tag->removeItem(key);
  return true;
}

bool WmMetadataEditor::RemoveAttribute(std::string_view name) {
  if (!state_->file || name == "Bitrate" || name == "Duration") return false;
  TagLib::ASF::Tag* tag = state_->file->tag();
  switch (ContentFieldOf(name)) {
    case ContentField::kTitle:
      tag->setTitle(TagLib::String());
      break;
    case ContentField::kAuthor:
      tag->setArtist(TagLib::String());
      break;
    case ContentField::kDescription:
      tag->setComment(TagLib::String());
      break;
    case ContentField::kCopyright:
      tag->setCopyright(TagLib::String());
      break;
    case ContentField::kRating:
      tag->setRating(TagLib::String());
      break;
    case ContentField::kNone:
      break;
  }
  tag->removeItem(Utf8(name));
  return true;
}

int WmMetadataEditor::SampleRate() const {
  const TagLib::ASF::Properties* props = state_->file ? state_->file->audioProperties() : nullptr;
  return props && props->sampleRate() > 0 ? props->sampleRate() : 0;
}

bool WmMetadataEditor::RenderHeader(std::string& out) {
  if (!state_->file || !state_->header || !state_->file->save()) return false;
  const TagLib::ByteVector* bytes = state_->header->data();
  out.assign(bytes->data(), bytes->size());
  return true;
}

bool WmMetadataEditor::Flush() {
  if (!state_->file || state_->file->readOnly()) return false;
  return state_->file->save();
}

void WmMetadataEditor::Close() {
  state_->file.reset();
  state_->header.reset();
}

}  // namespace platform
