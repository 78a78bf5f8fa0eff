#include "transfer/formats/taglib_stream.h"

#include <algorithm>
#include <climits>

namespace transfer {

TagLib::ByteVector TagLibSourceStream::readBlock(unsigned long length) {
  const std::uint64_t size = source_.Size();
  const std::uint64_t pos = static_cast<std::uint64_t>(position_);
  if (pos >= size || length == 0) return TagLib::ByteVector();
  const std::uint64_t count = std::min<std::uint64_t>(length, size - pos);
  TagLib::ByteVector block(static_cast<unsigned int>(count), '\0');
  const std::size_t got = source_.ReadAt(pos, block.data(), static_cast<std::size_t>(count));
  block.resize(static_cast<unsigned int>(got));
  position_ += static_cast<long>(got);
  return block;
}

void TagLibSourceStream::seek(long offset, Position p) {
  long base = 0;
  if (p == Current) base = position_;
  if (p == End) base = static_cast<long>(source_.Size());
  long target = 0;
  // Offsets come from sizes in the file: an overflow lands past the end, not anywhere.
  if (__builtin_add_overflow(base, offset, &target)) target = offset < 0 ? 0 : LONG_MAX;
  position_ = target < 0 ? 0 : target;
}

}  // namespace transfer
