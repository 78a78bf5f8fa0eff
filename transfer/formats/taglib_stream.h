// A read-only TagLib stream over a ByteSource, so the tag library reads files and bytes
// in memory alike, through the same bounded reads as our own walkers.
#pragma once

#include <taglib/tiostream.h>

#include "transfer/formats/byte_source.h"

namespace transfer {

class TagLibSourceStream final : public TagLib::IOStream {
 public:
  explicit TagLibSourceStream(ByteSource& source) : source_(source) {}

  TagLib::FileName name() const override { return source_.Path().c_str(); }
  TagLib::ByteVector readBlock(unsigned long length) override;
  void writeBlock(const TagLib::ByteVector&) override {}
  void insert(const TagLib::ByteVector&, unsigned long = 0, unsigned long = 0) override {}
  void removeBlock(unsigned long = 0, unsigned long = 0) override {}
  bool readOnly() const override { return true; }
  bool isOpen() const override { return true; }
  void seek(long offset, Position p = Beginning) override;
  long tell() const override { return position_; }
  long length() override { return static_cast<long>(source_.Size()); }
  void truncate(long) override {}

 private:
  ByteSource& source_;
  long position_ = 0;
};

}  // namespace transfer
