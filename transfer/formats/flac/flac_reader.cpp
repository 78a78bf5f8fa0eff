#include "transfer/formats/flac/flac_reader.h"

#include <FLAC/metadata.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/kernel/shared_library.h"
#include "platform/text/text.h"
#include "transfer/formats/flac/flac_library.h"
#include "transfer/formats/mp3/mp3_reader.h"

using namespace device;

namespace transfer {

namespace {

#define TOVARIN_FLAC_METADATA_FUNCTIONS(X)              \
  X(FLAC__metadata_chain_new)                           \
  X(FLAC__metadata_chain_delete)                        \
  X(FLAC__metadata_chain_read_with_callbacks)           \
  X(FLAC__metadata_iterator_new)                        \
  X(FLAC__metadata_iterator_delete)                     \
  X(FLAC__metadata_iterator_init)                       \
  X(FLAC__metadata_iterator_get_block)                  \
  X(FLAC__metadata_iterator_next)                       \
  X(FLAC__metadata_object_vorbiscomment_find_entry_from)

struct FlacApi {
  TOVARIN_FLAC_METADATA_FUNCTIONS(TOVARIN_LIBRARY_MEMBER)
};

bool ResolveFlac(const platform::SharedLibrary& library, FlacApi& api) {
  bool ok = true;
  TOVARIN_FLAC_METADATA_FUNCTIONS(TOVARIN_LIBRARY_RESOLVE)
  return ok;
}

// The system's libFLAC, loaded at the first read; null when it cannot be loaded.
const FlacApi* LoadFlac() {
  static auto* functions = new platform::LibraryFunctions<FlacApi>(kFlacLibraryName, "FLAC library", &ResolveFlac);
  return functions->Get();
}

size_t ReadCallback(void* ptr, size_t size, size_t nmemb, FLAC__IOHandle handle) {
  if (size == 0) return 0;
  auto* cursor = static_cast<SourceCursor*>(handle);
  return cursor->Read(ptr, size * nmemb) / size;
}

int SeekCallback(FLAC__IOHandle handle, FLAC__int64 offset, int whence) {
  return static_cast<SourceCursor*>(handle)->Seek(offset, whence);
}

FLAC__int64 TellCallback(FLAC__IOHandle handle) {
  return static_cast<FLAC__int64>(static_cast<SourceCursor*>(handle)->position);
}

int EofCallback(FLAC__IOHandle handle) { return static_cast<SourceCursor*>(handle)->AtEnd() ? 1 : 0; }

struct ChainDeleter {
  const FlacApi* api;
  void operator()(FLAC__Metadata_Chain* c) const { api->FLAC__metadata_chain_delete(c); }
};
struct IteratorDeleter {
  const FlacApi* api;
  void operator()(FLAC__Metadata_Iterator* i) const { api->FLAC__metadata_iterator_delete(i); }
};

// Whether every metadata block header (after "fLaC", itself after any ID3v2 tag) gives a
// length that the file holds, so the library never allocates for bytes that are not there;
// `audioStart` is where the blocks end.
bool BlockLengthsFit(ByteSource& source, std::uint64_t& audioStart) {
  const std::uint64_t size = source.Size();
  std::uint64_t pos = Id3v2TagBytes(source);
  unsigned char h[4];
  if (!source.ReadExact(pos, h, 4) || std::memcmp(h, "fLaC", 4) != 0) return false;
  pos += 4;
  for (;;) {
    if (!source.ReadExact(pos, h, 4)) return false;
    const std::uint64_t length = (std::uint64_t(h[1]) << 16) | (h[2] << 8) | h[3];
    pos += 4;
    if (length > size - pos) return false;
    pos += length;
    if (h[0] & 0x80) {  // the last block
      audioStart = pos;
      return true;
    }
  }
}

int FindComment(const FlacApi& api, const FLAC__StreamMetadata* block, const char* name, std::string& value) {
  const int index = api.FLAC__metadata_object_vorbiscomment_find_entry_from(block, 0, name);
  if (index < 0) return 0;
  const FLAC__StreamMetadata_VorbisComment_Entry& entry = block->data.vorbis_comment.comments[index];
  const std::size_t length = entry.length < 1023 ? entry.length : 1023;
  const std::string_view text(reinterpret_cast<const char*>(entry.entry), length);
  const std::size_t skip = std::strlen(name) + 1;
  value = skip < text.size() ? std::string(text.substr(skip)) : std::string();
  return 1;
}

void ReadComments(const FlacApi& api, const FLAC__StreamMetadata* block, TrackRecord& record) {
  std::string value;
  // In this order, each found value overwriting the one before.
  if (FindComment(api, block, "title", value)) record.title.Set(value);
  if (FindComment(api, block, "album", value)) record.album.Set(value);
  if (FindComment(api, block, "tracknumber", value)) record.trackNumber = platform::ParseInt32(value);
  // The performer names the artist only where the file has no artist.
  if (FindComment(api, block, "artist", value) || FindComment(api, block, "performer", value)) record.artist.Set(value);
  if (FindComment(api, block, "composer", value)) record.composer.Set(value);
  if (FindComment(api, block, "comment", value)) record.comment.Set(value);
  if (FindComment(api, block, "description", value)) record.comment.Set(value);
  if (FindComment(api, block, "genre", value)) record.genre.Set(value);
  if (FindComment(api, block, "date", value)) record.year = platform::ParseInt32(value);
}

}  // namespace

int FindFlacComment(const FLAC__StreamMetadata* block, const char* name, std::string& value) {
  const FlacApi* api = LoadFlac();
  return api ? FindComment(*api, block, name, value) : 0;
}

int FlacReader::Read(ByteSource& source, TrackRecord& record) const {
  const FlacApi* api = LoadFlac();
  if (!api) return 0;
  std::unique_ptr<FLAC__Metadata_Chain, ChainDeleter> chain(api->FLAC__metadata_chain_new(), ChainDeleter{api});
  if (!chain) return 0;
  std::uint64_t audioStart = 0;
  if (!BlockLengthsFit(source, audioStart)) return kFlacChainUnreadable;
  SourceCursor cursor(source);
  const FLAC__IOCallbacks callbacks{ReadCallback, nullptr, SeekCallback, TellCallback, EofCallback, nullptr};
  if (!api->FLAC__metadata_chain_read_with_callbacks(chain.get(), &cursor, callbacks)) return kFlacChainUnreadable;
  std::unique_ptr<FLAC__Metadata_Iterator, IteratorDeleter> it(api->FLAC__metadata_iterator_new(),
                                                               IteratorDeleter{api});
  if (!it) return 0;
  api->FLAC__metadata_iterator_init(it.get(), chain.get());
  do {
    const FLAC__StreamMetadata* block = api->FLAC__metadata_iterator_get_block(it.get());
    if (!block) break;
    if (block->type == FLAC__METADATA_TYPE_STREAMINFO) {
      const FLAC__StreamMetadata_StreamInfo& info = block->data.stream_info;
      const std::uint64_t length = info.sample_rate ? info.total_samples / info.sample_rate : 0;
      record.length = SaturateInt32(length);
      record.sampleRate = static_cast<std::int32_t>(info.sample_rate);
      // The audio frames over the exact playing time: the metadata (pictures) and an
      // ID3v1 tag at the end are no audio.
      const std::uint64_t end = source.Size() - Id3v1TagBytes(source);
      const double seconds = info.sample_rate ? static_cast<double>(info.total_samples) / info.sample_rate : 0;
      record.bitrate = seconds > 0 && end > audioStart
                           ? SaturateInt32(static_cast<std::uint64_t>(
                                 static_cast<double>(end - audioStart) * 8 / seconds / 1000 + 0.5))
                           : 0;
    } else if (block->type == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
      ReadComments(*api, block, record);
    }
  } while (api->FLAC__metadata_iterator_next(it.get()));
  return 1;
}

int ReadFlacTags(std::string_view path, TrackRecord& record) {
  return ReadFileWith(FlacReader(), path, record);
}

}  // namespace transfer
