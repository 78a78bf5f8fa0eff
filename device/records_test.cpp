// Byte layouts of the wire records (the offsets below are the protocol's, written out
// here rather than taken from the headers) and the copy and compare rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <functional>
#include <string>
#include <vector>

#include "device/kernel_id.h"
#include "device/records.h"
#include "device/request_block.h"

namespace device {

namespace {

// Little-endian unsigned value of `width` bytes at `offset` of an object.
template <class T>
std::uint64_t BytesAt(const T& object, std::size_t offset, std::size_t width) {
  const auto* p = reinterpret_cast<const unsigned char*>(&object);
  std::uint64_t v = 0;
  for (std::size_t i = width; i-- > 0;) v = (v << 8) | p[offset + i];
  return v;
}

struct Slot {
  const char* name;
  std::size_t offset;
  std::size_t width;
};

// The low `width` bytes of 0x8182838485868788: in memory 88 87 86 ...
std::uint64_t Pattern(std::size_t width) {
  return width >= 8 ? 0x8182838485868788ull
                    : 0x8182838485868788ull & ((std::uint64_t{1} << (8 * width)) - 1);
}

template <class T>
void ExpectSlots(const std::vector<std::pair<Slot, std::function<void(T&)>>>& slots) {
  for (const auto& [slot, write] : slots) {
    SCOPED_TRACE(slot.name);
    auto object = std::make_unique<T>();
    std::memset(static_cast<void*>(object.get()), 0, sizeof(T));
    write(*object);  // writes the bytes 88 87 86 ... over the field's width
    const std::uint64_t expected = Pattern(slot.width);
    EXPECT_EQ(BytesAt(*object, slot.offset, slot.width), expected);
    if (slot.offset > 0) {
      EXPECT_EQ(BytesAt(*object, slot.offset - 1, 1), 0u);
    }
    if (slot.offset + slot.width < sizeof(T)) {
      EXPECT_EQ(BytesAt(*object, slot.offset + slot.width, 1), 0u);
    }
  }
}

template <class F>
void Put(F& field, std::size_t width) {
  const std::uint64_t v = Pattern(width);
  std::memcpy(&field, &v, width);
}

TEST(LayoutTest, RecordSizes) {
  EXPECT_EQ(sizeof(KernelId), 276u);
  EXPECT_EQ(sizeof(FixedString256), 264u);
  EXPECT_EQ(sizeof(FixedString260), 268u);
  EXPECT_EQ(sizeof(TrackRecord), 2468u);
  EXPECT_EQ(sizeof(ContactRecord), 7236u);
  EXPECT_EQ(sizeof(DeviceRequestBlock), 17344u);
}

TEST(LayoutTest, KernelIdAndFixedStrings) {
  KernelId id;
  id.word[0] = 0x11111111;
  id.word[3] = 0x44444444;
  id.SetName("n");
  EXPECT_EQ(BytesAt(id, 0, 4), 0x11111111u);
  EXPECT_EQ(BytesAt(id, 12, 4), 0x44444444u);
  EXPECT_EQ(BytesAt(id, 16, 1), static_cast<unsigned>('n'));
  EXPECT_EQ(BytesAt(id, 17, 1), 0u);

  FixedString256 s;
  EXPECT_EQ(BytesAt(s, 256, 4), 0u);
  EXPECT_EQ(BytesAt(s, 260, 4), 256u);
  FixedString260 p;
  EXPECT_EQ(BytesAt(p, 260, 4), 0u);
  EXPECT_EQ(BytesAt(p, 264, 4), 260u);
}

TEST(LayoutTest, TrackRecordFields) {
  using T = TrackRecord;
  auto text = [](FixedString256 T::*f) { return [f](T& r) { (r.*f).Set("\x88\x87"); }; };
  ExpectSlots<T>({
      {{"path", 0, 2}, [](T& r) { r.path.Set("\x88\x87"); }},
      {{"playOnly", 268, 1}, [](T& r) { Put(r.playOnly, 1); }},
      {{"codec", 269, 1}, [](T& r) { Put(r.codec, 1); }},
      {{"artist", 272, 2}, text(&T::artist)},
      {{"album", 536, 2}, text(&T::album)},
      {{"title", 800, 2}, text(&T::title)},
      {{"genre", 1064, 2}, text(&T::genre)},
      {{"comment", 1328, 2}, text(&T::comment)},
      {{"composer", 1592, 2}, text(&T::composer)},
      {{"grouping", 1856, 2}, text(&T::grouping)},
      {{"compilation", 2120, 1}, [](T& r) { Put(r.compilation, 1); }},
      {{"modifiedTime", 2124, 4}, [](T& r) { Put(r.modifiedTime, 4); }},
      {{"fileSize", 2128, 4}, [](T& r) { Put(r.fileSize, 4); }},
      {{"length", 2132, 4}, [](T& r) { Put(r.length, 4); }},
      {{"trackNumber", 2136, 4}, [](T& r) { Put(r.trackNumber, 4); }},
      {{"trackCount", 2140, 4}, [](T& r) { Put(r.trackCount, 4); }},
      {{"year", 2144, 4}, [](T& r) { Put(r.year, 4); }},
      {{"bitrate", 2148, 4}, [](T& r) { Put(r.bitrate, 4); }},
      {{"sampleRate", 2152, 4}, [](T& r) { Put(r.sampleRate, 4); }},
      {{"extraNumber1", 2156, 4}, [](T& r) { Put(r.extraNumber1, 4); }},
      {{"extraNumber2", 2160, 4}, [](T& r) { Put(r.extraNumber2, 4); }},
      {{"extraNumber3", 2164, 4}, [](T& r) { Put(r.extraNumber3, 4); }},
      {{"playCount", 2168, 4}, [](T& r) { Put(r.playCount, 4); }},
      {{"lastPlayed", 2172, 4}, [](T& r) { Put(r.lastPlayed, 4); }},
      {{"discNumber", 2176, 4}, [](T& r) { Put(r.discNumber, 4); }},
      {{"discCount", 2180, 4}, [](T& r) { Put(r.discCount, 4); }},
      {{"addedTime", 2184, 4}, [](T& r) { Put(r.addedTime, 4); }},
      {{"rating", 2188, 1}, [](T& r) { Put(r.rating, 1); }},
      {{"tempo", 2190, 2}, [](T& r) { Put(r.tempo, 2); }},
      {{"extraFlag", 2192, 1}, [](T& r) { Put(r.extraFlag, 1); }},
      {{"extraText", 2196, 2}, text(&T::extraText)},
      {{"extraWord1", 2460, 4}, [](T& r) { Put(r.extraWord1, 4); }},
      {{"extraWord2", 2464, 4}, [](T& r) { Put(r.extraWord2, 4); }},
  });
}

TEST(LayoutTest, ContactElementsLieAtMultiplesOf268) {
  ContactRecord c;
  for (int n = 0; n < ContactRecord::kFieldCount; ++n) c.field[n].Set(std::string(1, char('A' + n)));
  for (int n = 0; n < ContactRecord::kFieldCount; ++n) {
    EXPECT_EQ(BytesAt(c, static_cast<std::size_t>(n) * 268, 1), static_cast<unsigned>('A' + n));
  }
}

TEST(LayoutTest, RequestBlockFields) {
  using B = DeviceRequestBlock;
  auto id = [](KernelId B::*f) { return [f](B& b) { Put((b.*f).word[0], 2); }; };
  auto text = [](FixedString256 B::*f) { return [f](B& b) { (b.*f).Set("\x88\x87"); }; };
  ExpectSlots<B>({
      {{"deviceIndex", 0, 4}, [](B& b) { Put(b.deviceIndex, 4); }},
      {{"connectionId", 4, 2}, id(&B::connectionId)},
      {{"segmentId", 280, 2}, id(&B::segmentId)},
      {{"opcode", 556, 4}, [](B& b) { Put(b.opcode, 4); }},
      {{"intResult", 560, 4}, [](B& b) { Put(b.intResult, 4); }},
      {{"textResult", 564, 2}, text(&B::textResult)},
      {{"intArg1", 828, 4}, [](B& b) { Put(b.intArg1, 4); }},
      {{"intArg2", 832, 4}, [](B& b) { Put(b.intArg2, 4); }},
      {{"textArg1", 836, 2}, text(&B::textArg1)},
      {{"textArg2", 1100, 2}, text(&B::textArg2)},
      {{"textArg3", 1364, 2}, text(&B::textArg3)},
      {{"itemArg1", 1628, 2}, id(&B::itemArg1)},
      {{"itemArg2", 1904, 2}, id(&B::itemArg2)},
      {{"itemArg3", 2180, 2}, id(&B::itemArg3)},
      {{"flags", 2456, 4}, [](B& b) { Put(b.flags, 4); }},
      {{"errorCode", 2460, 4}, [](B& b) { Put(b.errorCode, 4); }},
      {{"errorTitle", 2464, 2}, text(&B::errorTitle)},
      {{"errorDetail", 2728, 2}, text(&B::errorDetail)},
      {{"messageFlag", 2992, 4}, [](B& b) { Put(b.messageFlag, 4); }},
      {{"messageText", 2996, 2}, text(&B::messageText)},
      {{"replyCode", 3260, 4}, [](B& b) { Put(b.replyCode, 4); }},
      {{"replyText", 3264, 2}, text(&B::replyText)},
      {{"extraWaitMs", 3528, 4}, [](B& b) { Put(b.extraWaitMs, 4); }},
      {{"windowArg", 3532, 4}, [](B& b) { Put(b.windowArg, 4); }},
      {{"trackArg", 3536, 2}, [](B& b) { b.trackArg.path.Set("\x88\x87"); }},
      {{"callerThreadId", 6004, 4}, [](B& b) { Put(b.callerThreadId, 4); }},
      {{"noteText", 6008, 2}, [](B& b) { std::memcpy(b.noteText, "\x88\x87", 2); }},
      {{"contactArg", 10108, 2}, [](B& b) { b.contactArg.field[0].Set("\x88\x87"); }},
  });
}

// ---- Fixed strings ----

TEST(FixedStringTest, SetIsBoundedAndNeverSplitsACharacter) {
  FixedString256 s;
  s.Set(std::string(300, 'a'));
  EXPECT_EQ(s.GetText(), std::string(256, 'a'));
  EXPECT_EQ(s.zero, 0u);

  s.Set(std::string(255, 'a') + "\xE2\x82\xAC");  // a three-byte sign across the end
  EXPECT_EQ(s.GetText(), std::string(255, 'a'));
  s.Set("short");
  EXPECT_EQ(s.GetText(), "short");
  EXPECT_EQ(s.text[6], '\0');  // rest zero-filled after a longer text
  EXPECT_EQ(s.text[255], '\0');
  s.Set(static_cast<const char*>(nullptr));
  EXPECT_EQ(s.GetText(), "");

  FixedString260 path;
  path.Set(std::string(270, 'p'));
  EXPECT_EQ(path.GetText().size(), 260u);
}

TEST(FixedStringTest, ReadingAFieldWithoutTerminatorStopsAtItsCapacity) {
  FixedString256 s;
  std::memset(static_cast<void*>(&s), 'x', sizeof(s));  // text, zero word and capacity all overwritten
  EXPECT_EQ(s.GetText().size(), 256u);
  EXPECT_EQ(s.Compare(std::string(256, 'x')), 0);
  EXPECT_EQ(s.CompareNoCase(std::string(256, 'X')), 0);
  s.Clear();
  EXPECT_EQ(s.capacity, 256u);
  EXPECT_EQ(s.zero, 0u);
  EXPECT_EQ(s.GetText(), "");
}

TEST(FixedStringTest, Compare) {
  FixedString256 s;
  s.Set("Abc");
  EXPECT_EQ(s.Compare("Abc"), 0);
  EXPECT_LT(s.Compare("abc"), 0);
  EXPECT_EQ(s.CompareNoCase("aBC"), 0);
  EXPECT_GT(s.CompareNoCase("ab"), 0);
}

// ---- KernelId ----

TEST(KernelIdTest, ConstructionAndEquality) {
  const KernelId empty;
  EXPECT_TRUE(empty.IsEmpty());
  const KernelId kind(7);
  EXPECT_EQ(kind.word[0], 7u);
  EXPECT_FALSE(kind.IsEmpty());
  EXPECT_EQ(kind, KernelId(7));
  EXPECT_NE(kind, KernelId(8));

  KernelId named(7);
  named.SetName("a");
  EXPECT_NE(named, kind);
  KernelId other(7);
  other.word[3] = 1;
  EXPECT_NE(other, kind);
}

TEST(KernelIdTest, BytesAfterTheNameDoNotCount) {
  KernelId a(1), b(1);
  a.SetName("x");
  b.SetName("x");
  b.name[100] = 'z';  // stray byte after the NUL
  EXPECT_EQ(a, b);
  const KernelId copy = b;  // copies zero-fill after the name
  EXPECT_EQ(copy.name[100], '\0');
}

TEST(KernelIdTest, AssignIsBoundedWhenTheSourceHasNoTerminator) {
  KernelId foreign(3);
  std::memset(foreign.name, 'q', sizeof(foreign.name));
  KernelId copy;
  copy.Assign(foreign);
  EXPECT_EQ(copy.word[0], 3u);
  EXPECT_EQ(copy.GetName(), std::string(256, 'q'));
  EXPECT_EQ(copy.name[256], '\0');
  EXPECT_EQ(foreign.GetName().size(), 257u);  // read bounded to the field as it stands

  KernelId self(4);
  self.SetName("me");
  self.Assign(self);
  EXPECT_EQ(self.GetName(), "me");
}

TEST(KernelIdTest, ItemIds) {
  const KernelId id = KernelId::FromItemId(0x0000000100000002ull);
  EXPECT_EQ(id.word[0], 2u);
  EXPECT_EQ(id.word[1], 1u);
  EXPECT_EQ(id.GetItemId(), 0x0000000100000002ull);
  EXPECT_EQ(KernelIdHash()(id), KernelIdHash()(KernelId::FromItemId(id.GetItemId())));
}

// ---- Track and contact records ----

TEST(TrackRecordTest, ClearedRecordIsAnEmptyMp3) {
  TrackRecord r;
  r.title.Set("t");
  r.rating = 80;
  r.extraWord2 = 5;
  r.codec = 10;
  r.Clear();
  EXPECT_EQ(r.codec, 2);
  EXPECT_EQ(r.title.GetText(), "");
  EXPECT_EQ(r.rating, 0);
  EXPECT_EQ(r.extraWord2, 0u);
}

TEST(TrackRecordTest, CopyTakesEveryField) {
  TrackRecord src;
  std::memset(static_cast<void*>(&src), 0x5A, sizeof(src));
  TrackRecord dst;
  TrackRecord::Copy(dst, src);
  // Every byte but the padding came across.
  const std::size_t padding[] = {270, 271, 2121, 2122, 2123, 2189, 2193, 2194, 2195};
  for (std::size_t i = 0; i < sizeof(TrackRecord); ++i) {
    if (std::find(std::begin(padding), std::end(padding), i) != std::end(padding)) continue;
    ASSERT_EQ(BytesAt(dst, i, 1), 0x5Au) << "byte " << i;
  }
}

TEST(TrackRecordTest, CompareLooksAtTheTaggedFieldsOnly) {
  TrackRecord a;
  a.title.Set("t");
  a.artist.Set("x");
  struct Case {
    const char* what;
    std::function<void(TrackRecord&)> change;
    int expected;
  };
  const std::vector<Case> cases = {
      {"rating", [](TrackRecord& r) { r.rating = 60; }, 0},
      {"play count", [](TrackRecord& r) { r.playCount = 3; }, 0},
      {"composer", [](TrackRecord& r) { r.composer.Set("c"); }, 0},
      {"disc", [](TrackRecord& r) { r.discNumber = 2; }, 0},
      {"artist case", [](TrackRecord& r) { r.artist.Set("X"); }, -1},
      {"genre", [](TrackRecord& r) { r.genre.Set("g"); }, -1},
      {"comment", [](TrackRecord& r) { r.comment.Set("c"); }, -1},
      {"path", [](TrackRecord& r) { r.path.Set("p"); }, -1},
      {"size", [](TrackRecord& r) { r.fileSize = 1; }, -1},
      {"locked", [](TrackRecord& r) { r.playOnly = 1; }, -1},
      {"number", [](TrackRecord& r) { r.trackNumber = 1; }, -1},
      {"length", [](TrackRecord& r) { r.length = 1; }, -1},
      {"bitrate", [](TrackRecord& r) { r.bitrate = 1; }, -1},
      {"codec", [](TrackRecord& r) { r.codec = 3; }, -1},
      {"year", [](TrackRecord& r) { r.year = 1; }, -1},
  };
  for (const Case& c : cases) {
    TrackRecord b = a;
    c.change(b);
    EXPECT_EQ(TrackRecord::Compare(a, b), c.expected) << c.what;
  }
}

TEST(ContactRecordTest, ClearEmptiesEveryElement) {
  ContactRecord c;
  for (auto& f : c.field) f.Set("x");
  c.Clear();
  for (auto& f : c.field) {
    EXPECT_EQ(f.GetText(), "");
    EXPECT_EQ(f.capacity, 260u);
  }
}

TEST(RequestBlockTest, ClearEmptiesIdsTextsAndRecordsButNotNumbers) {
  auto b = std::make_unique<DeviceRequestBlock>();
  b->opcode = 4040;
  b->intArg1 = 3;
  b->itemArg2 = KernelId(9);
  b->replyText.Set("r");
  b->trackArg.codec = 10;
  b->contactArg.field[26].Set("n");
  b->Clear();
  EXPECT_EQ(b->opcode, 4040);
  EXPECT_EQ(b->intArg1, 3);
  EXPECT_TRUE(b->itemArg2.IsEmpty());
  EXPECT_EQ(b->replyText.GetText(), "");
  EXPECT_EQ(b->trackArg.codec, 2);
  EXPECT_EQ(b->contactArg.field[26].GetText(), "");
}

}  // namespace

}  // namespace device
