// libFuzzer target: any bytes through the MP3 reader (the ID3v2 structure and its fields,
// the ID3v1 tag, the tag sizes and the scan of the frames) and through the writer's plan
// of a write-back, which rebuilds the tag from the frames read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "transfer/formats/mp3/id3v2_tag.h"
#include "transfer/formats/mp3/mp3_reader.h"
#include "transfer/formats/mp3/mp3_writer.h"

using namespace device;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  transfer::MemorySource source(data, size);
  TrackRecord record;
  const int result = transfer::Mp3Reader().Read(source, record);
  if (result == 1 && (record.bitrate < 1 || record.bitrate > 999 || record.length < 0 || record.length >= 86400)) {
    std::abort();
  }
  if (record.title.zero != 0 || record.comment.zero != 0) std::abort();

  record.title.Set("Fuzzed title");
  record.trackNumber = 300;
  transfer::TagEdit edit;
  if (transfer::Mp3Writer().Plan(source, record, edit) && edit.renderHead) {
    // The new head has the size asked for and reads back whole.
    const std::optional<std::string> head = edit.renderHead(edit.headMinimum + 100);
    if (!head || head->size() != edit.headMinimum + 100) std::abort();
    transfer::MemorySource written(head->data(), head->size());
    transfer::Id3v2Tag tag;
    if (!transfer::ReadId3v2Tag(written, tag) || !tag.complete) std::abort();
  }
  return 0;
}
