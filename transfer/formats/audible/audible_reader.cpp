#include "transfer/formats/audible/audible_reader.h"

#include <cstring>
#include <string>
#include <vector>

#include "common/settings.h"
#include "platform/media/audible.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"

using namespace device;

namespace transfer {

namespace {

// A zero-terminated text of at most `size` bytes at `offset`.
std::string_view Text(const unsigned char* info, std::size_t offset, std::size_t size) {
  return platform::ReadField(reinterpret_cast<const char*>(info + offset), size);
}

}  // namespace

int GetAudibleFileInfo(std::string_view path, unsigned char* info) {
  std::string runtime;
  ReadSharedSettingString("iPodAudible.dll", runtime);
  if (runtime.empty()) return 0;
  const platform::AudibleInfoResult result =
      platform::CallAudibleFileInfo(platform::ToPosixPath(runtime), platform::ToPosixPath(path), info);
  return result == platform::AudibleInfoResult::kFilled ? 1 : 0;
}

int AudibleReader::Read(ByteSource& source, TrackRecord& record) const {
  // One byte more than the runtime fills, so the description always ends.
  std::vector<unsigned char> info(platform::kAudibleInfoSize + 1, 0);
  if (!GetAudibleFileInfo(source.Path(), info.data())) return 0;
  info.back() = 0;
  record.length = SaturateInt32(LittleEndian32(&info[kAudibleMillisecondsOffset]) / 1000);
  record.bitrate = SaturateInt32(LittleEndian32(&info[kAudibleBitrateOffset]) / 1000);
  record.sampleRate = SaturateInt32(LittleEndian32(&info[kAudibleSampleRateOffset]));
  record.title.Set(Text(info.data(), kAudibleTitleOffset, kAudibleTitleSize));
  record.artist.Set(Text(info.data(), kAudibleAuthorOffset, kAudibleAuthorSize));
  record.album.Set("Audio Book");
  const std::string_view description =
      Text(info.data(), kAudibleDescriptionOffset, info.size() - kAudibleDescriptionOffset);
  record.comment.Set(description.substr(0, platform::Utf8PrefixLength(description, 200)));
  record.genre.Set("Spoken Word");
  return 1;
}

int ReadAudibleTags(std::string_view path, TrackRecord& record) {
  return ReadFileWith(AudibleReader(), path, record);
}

}  // namespace transfer
