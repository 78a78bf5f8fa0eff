// WAV files: the RIFF chunk walk, the facts of a PCM file, and the 44-byte header the
// conversion code writes in front of PCM data.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/media/wave_format.h"
#include "transfer/formats/audio_format.h"

namespace transfer {

constexpr std::size_t kWavHeaderSize = 44;

// Walks the chunks after the 12-byte RIFF header: a "fmt " chunk of at least 16 bytes
// gives the format (cbSize 0), a "data" chunk ends the walk with `dataOffset` at its
// first sample byte; other chunks are skipped by their size and pad byte. A walk that
// runs out of bytes leaves `dataOffset` where it stopped. Answers whether a "data" chunk
// was reached; `dataBytes`, when given, gets its declared size.
bool ReadWavChunks(ByteSource& source, platform::WAVEFORMATEX& format, std::uint32_t& dataOffset,
                   std::uint32_t* dataBytes = nullptr);
// The same on a file; both outputs must be given, else nothing is done.
void ReadWavChunks(std::string_view path, platform::WAVEFORMATEX* format, std::uint32_t* dataOffset);

// Fills the header: "RIFF", data bytes + 36 (saturated), "WAVE", a 16-byte "fmt " chunk
// from `format` (cbSize not written), "data", data bytes. A null `header` does nothing.
void WriteWavHeader(unsigned char* header, const platform::WAVEFORMATEX& format, std::uint32_t dataBytes);

class WavReader final : public TagReader {
 public:
  // Bitrate = average bytes per second x 8 / 1000, sample rate, length = file size /
  // average bytes per second (0 when that is 0). Always 1.
  int Read(ByteSource& source, device::TrackRecord& record) const override;
};

int ReadWavInfo(std::string_view path, device::TrackRecord& record);

}  // namespace transfer
