// A stand-in codec library for the tests of the ACM's added drivers: an MPEG Layer-3
// "encoder" that takes any 16-bit PCM and writes nothing.
#include "platform/media/acm.h"

namespace {

class NothingConverter final : public platform::AcmConverter {
 public:
  bool Convert(const std::uint8_t*, std::uint32_t srcLength, std::uint32_t& srcUsed, std::uint8_t*, std::uint32_t,
               std::uint32_t& dstUsed, bool) override {
    srcUsed = srcLength;
    dstUsed = 0;
    return true;
  }
};

class FakeDriver final : public platform::AcmDriver {
 public:
  std::string LongName() const override { return "Fake MPEG Layer-3 Codec"; }
  std::unique_ptr<platform::AcmConverter> Open(const platform::WAVEFORMATEX& from,
                                               const platform::WAVEFORMATEX& to) const override {
    if (from.wFormatTag != platform::WAVE_FORMAT_PCM || to.wFormatTag != platform::WAVE_FORMAT_MPEGLAYER3)
      return nullptr;
    return std::make_unique<NothingConverter>();
  }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) platform::AcmDriver* AcmDriverEntry() {
  static FakeDriver driver;
  return &driver;
}
