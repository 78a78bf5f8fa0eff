// Audible audiobooks (.aa): their facts come from the audiobook runtime's information
// entry (platform/media), found through the shared setting "iPodAudible.dll".
#pragma once

#include <string_view>

#include "transfer/formats/audio_format.h"

namespace transfer {

// Offsets in the runtime's information block.
constexpr std::size_t kAudibleBitrateOffset = 0;
constexpr std::size_t kAudibleSampleRateOffset = 4;
constexpr std::size_t kAudibleMillisecondsOffset = 16;
constexpr std::size_t kAudibleTitleOffset = 572;
constexpr std::size_t kAudibleTitleSize = 256;
constexpr std::size_t kAudibleAuthorOffset = 828;
constexpr std::size_t kAudibleAuthorSize = 128;
constexpr std::size_t kAudibleDescriptionOffset = 956;

// 1 when the runtime named by the setting filled `info` (platform::kAudibleInfoSize
// bytes) for the file; 0 when it is missing, lacks its entry or fails.
int GetAudibleFileInfo(std::string_view path, unsigned char* info);

class AudibleReader final : public TagReader {
 public:
  // Length, bitrate, sample rate, title, artist (the author), album "Audio Book",
  // comment (the first 200 characters of the description), genre "Spoken Word".
  int Read(ByteSource& source, device::TrackRecord& record) const override;
};

int ReadAudibleTags(std::string_view path, device::TrackRecord& record);

}  // namespace transfer
