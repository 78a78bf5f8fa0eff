#include "transfer/formats/wav/wav_reader.h"

#include <cstring>

using namespace device;

namespace transfer {

namespace {

void PutLittleEndian32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

void PutLittleEndian16(unsigned char* p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

}  // namespace

bool ReadWavChunks(ByteSource& source, platform::WAVEFORMATEX& format, std::uint32_t& dataOffset,
                   std::uint32_t* dataBytes) {
  // The RIFF header is not checked: a file that only looks like WAV still gives its chunks.
  std::uint64_t pos = 12;
  if (source.Size() < pos) {
    dataOffset = static_cast<std::uint32_t>(source.Size());
    return false;
  }
  unsigned char header[8];
  while (source.ReadExact(pos, header, sizeof header)) {
    const std::uint32_t size = LittleEndian32(header + 4);
    pos += sizeof header;
    if (std::memcmp(header, "data", 4) == 0) {
      dataOffset = static_cast<std::uint32_t>(pos);
      if (dataBytes) *dataBytes = size;
      return true;
    }
    if (std::memcmp(header, "fmt ", 4) == 0 && size >= 16) {
      unsigned char f[16];
      if (!source.ReadExact(pos, f, sizeof f)) break;
      format.wFormatTag = LittleEndian16(f);
      format.nChannels = LittleEndian16(f + 2);
      format.nSamplesPerSec = LittleEndian32(f + 4);
      format.nAvgBytesPerSec = LittleEndian32(f + 8);
      format.nBlockAlign = LittleEndian16(f + 12);
      format.wBitsPerSample = LittleEndian16(f + 14);
      format.cbSize = 0;
    }
    // Chunks are word-aligned: an odd size is followed by a pad byte.
    pos += std::uint64_t(size) + (size & 1);
  }
  dataOffset = static_cast<std::uint32_t>(pos < source.Size() ? pos : source.Size());
  return false;
}

void ReadWavChunks(std::string_view path, platform::WAVEFORMATEX* format, std::uint32_t* dataOffset) {
  if (!format || !dataOffset) return;
  FileSource source;
  if (!source.Open(path)) return;
  ReadWavChunks(source, *format, *dataOffset);
}

void WriteWavHeader(unsigned char* header, const platform::WAVEFORMATEX& format, std::uint32_t dataBytes) {
  if (!header) return;
  const std::uint32_t riffSize = dataBytes > 0xFFFFFFFFu - 36 ? 0xFFFFFFFFu : dataBytes + 36;
  std::memcpy(header, "RIFF", 4);
  PutLittleEndian32(header + 4, riffSize);
  std::memcpy(header + 8, "WAVE", 4);
  std::memcpy(header + 12, "fmt ", 4);
  PutLittleEndian32(header + 16, 16);
  PutLittleEndian16(header + 20, format.wFormatTag);
  PutLittleEndian16(header + 22, format.nChannels);
  PutLittleEndian32(header + 24, format.nSamplesPerSec);
  PutLittleEndian32(header + 28, format.nAvgBytesPerSec);
  PutLittleEndian16(header + 32, format.nBlockAlign);
  PutLittleEndian16(header + 34, format.wBitsPerSample);
  std::memcpy(header + 36, "data", 4);
  PutLittleEndian32(header + 40, dataBytes);
}

int WavReader::Read(ByteSource& source, TrackRecord& record) const {
  platform::WAVEFORMATEX format;
  std::uint32_t dataOffset = 0;
  ReadWavChunks(source, format, dataOffset);
  const std::uint32_t avg = format.nAvgBytesPerSec;
  record.bitrate = SaturateInt32(std::uint64_t(avg) * 8 / 1000);
  record.sampleRate = static_cast<std::int32_t>(format.nSamplesPerSec);
  record.length = avg ? SaturateInt32(source.Size() / avg) : 0;
  return 1;
}

int ReadWavInfo(std::string_view path, TrackRecord& record) {
  return ReadFileWith(WavReader(), path, record);
}

}  // namespace transfer
