// Copying and swapping tag fields: a table of field pairs over one record, each with the
// seven fields it must leave; a number field never takes (or loses its value to) a text
// that is no number.
#include "tools/tag_fields.h"

#include <gtest/gtest.h>

#include <array>

using namespace device;

namespace tools {
namespace {

using Fields = std::array<std::string, kTagFieldCount>;  // artist, album, track, title, year, genre, comment

TrackRecord Sample(const std::string& title = "Harbour") {
  TrackRecord r;
  r.artist.Set("Ada Lind");
  r.album.Set("North Light");
  r.trackNumber = 3;
  r.title.Set(title);
  r.year = 1999;
  r.genre.Set("Folk");
  r.comment.Set("Evening");
  return r;
}

Fields Read(const TrackRecord& r) {
  Fields f;
  for (int code = 0; code < kTagFieldCount; ++code) f[static_cast<std::size_t>(code)] = *ReadTagField(r, code);
  return f;
}

const Fields kUnchanged = {"Ada Lind", "North Light", "3", "Harbour", "1999", "Folk", "Evening"};

TEST(TagFieldsTest, CopiesAndSwapsFieldPairs) {
  enum Op { kCopy, kSwap };
  const struct {
    Op op;
    int a, b;
    std::string title;  // the record's title before
    int result;
    Fields after;
  } kCases[] = {
      {kCopy, kFieldYear, kFieldComment, "Harbour", kTagFieldsChanged,
       {"Ada Lind", "North Light", "3", "Harbour", "1999", "Folk", "1999"}},
      {kCopy, kFieldArtist, kFieldTitle, "Harbour", kTagFieldsChanged,
       {"Ada Lind", "North Light", "3", "Ada Lind", "1999", "Folk", "Evening"}},
      {kCopy, kFieldTrackNumber, kFieldYear, "Harbour", kTagFieldsChanged,
       {"Ada Lind", "North Light", "3", "Harbour", "3", "Folk", "Evening"}},
      {kCopy, kFieldTitle, kFieldTrackNumber, " 12 ", kTagFieldsChanged,
       {"Ada Lind", "North Light", "12", " 12 ", "1999", "Folk", "Evening"}},
      // A text that is no number leaves a number field as it was.
      {kCopy, kFieldComment, kFieldYear, "Harbour", kTagFieldNotANumber, kUnchanged},
      {kCopy, kFieldTitle, kFieldTrackNumber, "10000", kTagFieldNotANumber,
       {"Ada Lind", "North Light", "3", "10000", "1999", "Folk", "Evening"}},
      {kCopy, kFieldComment, 7, "Harbour", kTagFieldUnknown, kUnchanged},
      {kCopy, -1, kFieldArtist, "Harbour", kTagFieldUnknown, kUnchanged},
      {kSwap, kFieldArtist, kFieldTitle, "Harbour", kTagFieldsChanged,
       {"Harbour", "North Light", "3", "Ada Lind", "1999", "Folk", "Evening"}},
      {kSwap, kFieldTrackNumber, kFieldYear, "Harbour", kTagFieldsChanged,
       {"Ada Lind", "North Light", "1999", "Harbour", "3", "Folk", "Evening"}},
      {kSwap, kFieldTitle, kFieldTrackNumber, "12", kTagFieldsChanged,
       {"Ada Lind", "North Light", "12", "3", "1999", "Folk", "Evening"}},
      // The title would become "3" and the number could not take "Harbour": refused whole.
      {kSwap, kFieldTitle, kFieldTrackNumber, "Harbour", kTagFieldNotANumber, kUnchanged},
      {kSwap, kFieldYear, kFieldGenre, "Harbour", kTagFieldNotANumber, kUnchanged},
      {kSwap, kFieldGenre, kFieldGenre, "Harbour", kTagFieldsChanged, kUnchanged},
      {kSwap, kFieldArtist, 9, "Harbour", kTagFieldUnknown, kUnchanged},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE((c.op == kCopy ? "copy " : "swap ") + std::to_string(c.a) + " " + std::to_string(c.b) + " title \"" +
                 c.title + "\"");
    TrackRecord r = Sample(c.title);
    const int result = c.op == kCopy ? CopyTagField(c.a, c.b, r) : SwapTagFields(c.a, c.b, r);
    EXPECT_EQ(result, c.result);
    Fields expected = c.after;
    if (c.result != kTagFieldsChanged) expected = Read(Sample(c.title));
    EXPECT_EQ(Read(r), expected);
  }
}

}  // namespace
}  // namespace tools
