#include "transfer/formats/conversion.h"

#include <algorithm>
#include <cstring>

#include "common/settings.h"
#include "platform/paths/paths.h"
#include "transfer/formats/wav/wav_reader.h"

namespace transfer {

platform::WAVEFORMATEX FixedPcmFormat() {
  platform::WAVEFORMATEX f;
  f.wFormatTag = platform::WAVE_FORMAT_PCM;
  f.nChannels = 2;
  f.nSamplesPerSec = 44100;
  f.nAvgBytesPerSec = 176400;
  f.nBlockAlign = 4;
  f.wBitsPerSample = 16;
  f.cbSize = 0;
  return f;
}

bool SameFormat(const platform::WAVEFORMATEX& a, const platform::WAVEFORMATEX& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

void ProgressReporter::Report(std::uint64_t done, std::uint64_t total) {
  if (!progress_ || total == 0) return;
  const std::uint64_t p = (done >= total ? total : done) * 100 / total;
  const int percent = static_cast<int>(p);
  if (percent == last_ || percent % step_ != 0) return;
  last_ = percent;
  progress_(user_, kConversionProgress, percent, 100);
}

bool WavInput::Open(std::string_view path) {
  if (!source_.Open(path)) return false;
  format_ = platform::WAVEFORMATEX();
  std::uint32_t offset = 0, declared = 0;
  const bool hasData = ReadWavChunks(source_, format_, offset, &declared);
  dataOffset_ = offset;
  const std::uint64_t rest = source_.Size() - std::min<std::uint64_t>(offset, source_.Size());
  dataBytes_ = hasData && declared != 0 && declared <= rest ? declared : rest;
  position_ = 0;
  return true;
}

std::size_t WavInput::Read(void* buffer, std::size_t count) {
  const std::uint64_t left = dataBytes_ - position_;
  if (count > left) count = static_cast<std::size_t>(left);
  const std::size_t n = count ? source_.ReadAt(dataOffset_ + position_, buffer, count) : 0;
  position_ += n;
  return n;
}

void WavInput::StepBack(std::size_t count) { position_ -= count > position_ ? position_ : count; }

OutputFile::~OutputFile() {
  if (file_) std::fclose(file_);
}

bool OutputFile::Create(std::string_view path, bool wavHeader) {
  file_ = std::fopen(platform::ToPosixPath(path).c_str(), "wb");
  if (!file_) return false;
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 18);
  wavHeader_ = wavHeader;
  failed_ = false;
  dataBytes_ = 0;
  if (wavHeader_) {
    const unsigned char zeros[kWavHeaderSize] = {};
    failed_ = std::fwrite(zeros, 1, sizeof zeros, file_) != sizeof zeros;
  }
  return !failed_;
}

bool OutputFile::Write(const void* data, std::size_t count) {
  if (!file_ || failed_) return false;
  if (count && std::fwrite(data, 1, count, file_) != count) failed_ = true;
  dataBytes_ += count;
  return !failed_;
}

bool OutputFile::Finish(const platform::WAVEFORMATEX* format) {
  if (!file_) return false;
  if (wavHeader_ && !failed_) {
    unsigned char header[kWavHeaderSize];
    const std::uint32_t bytes = dataBytes_ > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(dataBytes_);
    WriteWavHeader(header, format ? *format : FixedPcmFormat(), bytes);
    failed_ = std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(header, 1, sizeof header, file_) != sizeof header;
  }
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

std::string CodecLibraryPath(std::string_view settingName, const char* systemLibrary) {
  std::string path;
  ReadSharedSettingString(settingName, path);
  // A path is mapped like any other; a bare library name is searched by the loader.
  return path.empty() ? std::string(systemLibrary) : platform::ToPosixPath(path);
}

}  // namespace transfer
