#include <gtest/gtest.h>

#include <cstring>

#include "platform/com/allocator.h"
#include "platform/com/data_object.h"
#include "platform/com/drop_files.h"
#include "platform/com/global_memory.h"
#include "platform/com/guid.h"
#include "platform/com/unknown.h"

namespace platform {
namespace {

TEST(GuidTest, TextRoundTripsAndReadsEitherCase) {
  GUID g{};
  ASSERT_EQ(IIDFromString("{6e3f1b27-c48a-4d05-9b7e-52a0f8c3d14b}", &g), S_OK);
  EXPECT_EQ(g.Data1, 0x6E3F1B27u);
  EXPECT_EQ(g.Data2, 0xC48A);
  EXPECT_EQ(g.Data3, 0x4D05);
  EXPECT_EQ(g.Data4[0], 0x9B);
  EXPECT_EQ(g.Data4[7], 0x4B);
  EXPECT_EQ(GuidToString(g), "{6E3F1B27-C48A-4D05-9B7E-52A0F8C3D14B}");
  GUID again{};
  ASSERT_EQ(IIDFromString(GuidToString(g), &again), S_OK);
  EXPECT_EQ(again, g);
  EXPECT_NE(again, GUID_NULL);
}

TEST(GuidTest, MalformedTextsAreRefusedAndLeaveTheResult) {
  const char* bad[] = {
      "",
      "6E3F1B27-C48A-4D05-9B7E-52A0F8C3D14B",      // no braces
      "{6E3F1B27-C48A-4D05-9B7E-52A0F8C3D14}",     // one digit short
      "{6E3F1B27-C48A-4D05-9B7E-52A0F8C3D14BB}",   // one digit too many
      "{6E3F1B27xC48A-4D05-9B7E-52A0F8C3D14B}",    // separator
      "{6E3F1B27-C48A-4D05-9B7E-52A0F8C3D1G4}",    // not hex
      "{6E3F1B27-C48A-4D05-9B7E-52A0F8C3D14B",
  };
  for (const char* text : bad) {
    GUID g = IID_IUnknown;
    EXPECT_EQ(IIDFromString(text, &g), E_INVALIDARG) << text;
    EXPECT_EQ(g, IID_IUnknown) << text;
  }
}

TEST(ShellAllocatorTest, KnowsHowManyBytesFollowAnyPointerIntoALiveBlock) {
  ComPtr<IMalloc> malloc;
  ASSERT_EQ(SHGetMalloc(malloc.Put()), S_OK);
  const std::size_t before = ShellAllocatorLiveBlocks();
  auto* block = static_cast<unsigned char*>(malloc->Alloc(100));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(ShellAllocatorLiveBlocks(), before + 1);
  EXPECT_EQ(malloc->GetSize(block), 100u);
  EXPECT_EQ(malloc->DidAlloc(block), 1);
  EXPECT_EQ(ShellAllocatedBytesFrom(block), 100u);
  EXPECT_EQ(ShellAllocatedBytesFrom(block + 30), 70u);
  EXPECT_EQ(ShellAllocatedBytesFrom(block + 99), 1u);
  EXPECT_EQ(ShellAllocatedBytesFrom(block + 100), 0u);
  int onTheStack = 0;
  EXPECT_EQ(ShellAllocatedBytesFrom(&onTheStack), 0u);
  EXPECT_EQ(malloc->DidAlloc(&onTheStack), 0);
  malloc->Free(&onTheStack);  // not ours: ignored
  malloc->Free(nullptr);

  block = static_cast<unsigned char*>(malloc->Realloc(block, 300));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(ShellAllocatedBytesFrom(block + 200), 100u);
  malloc->Free(block);
  EXPECT_EQ(ShellAllocatedBytesFrom(block), 0u);
  EXPECT_EQ(ShellAllocatorLiveBlocks(), before);
}

TEST(ShellAllocatorTest, InjectedFailuresHitTheChosenAllocationsOnly) {
  ComPtr<IMalloc> malloc;
  ASSERT_EQ(SHGetMalloc(malloc.Put()), S_OK);
  void* kept = malloc->Alloc(8);
  {
    ShellAllocatorFailures failures(2, 1);
    void* a = malloc->Alloc(8);
    void* b = malloc->Alloc(8);
    void* c = malloc->Alloc(8);
    void* d = malloc->Alloc(8);
    EXPECT_NE(a, nullptr);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(c, nullptr);
    EXPECT_NE(d, nullptr);
    for (void* p : {a, b, d}) malloc->Free(p);
  }
  {
    ShellAllocatorFailures failures(0, -1);
    EXPECT_EQ(malloc->Alloc(8), nullptr);
    EXPECT_EQ(malloc->Realloc(kept, 64), nullptr);
    EXPECT_EQ(malloc->GetSize(kept), 8u);  // a failed Realloc keeps the block
  }
  void* after = malloc->Alloc(8);
  EXPECT_NE(after, nullptr);
  malloc->Free(after);
  malloc->Free(kept);
}

TEST(GlobalMemoryTest, BlocksKeepTheirSizeContentAndLockCount) {
  HGLOBAL h = GlobalAlloc(GHND, 16);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalSize(h), 16u);
  auto* bytes = static_cast<unsigned char*>(GlobalLock(h));
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(bytes[i], 0);
  std::memcpy(bytes, "0123456789abcdef", 16);
  EXPECT_TRUE(GlobalLock(h) != nullptr);
  EXPECT_TRUE(GlobalUnlock(h));   // still locked once
  EXPECT_FALSE(GlobalUnlock(h));  // now unlocked
  h = GlobalReAlloc(h, 32, GMEM_ZEROINIT);
  ASSERT_NE(h, nullptr);
  bytes = static_cast<unsigned char*>(GlobalLock(h));
  EXPECT_EQ(std::memcmp(bytes, "0123456789abcdef", 16), 0);
  for (int i = 16; i < 32; ++i) EXPECT_EQ(bytes[i], 0);
  GlobalUnlock(h);
  STGMEDIUM medium;
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = h;
  ReleaseStgMedium(&medium);
  EXPECT_EQ(medium.hGlobal, nullptr);
  EXPECT_EQ(GlobalSize(nullptr), 0u);
  EXPECT_EQ(GlobalLock(nullptr), nullptr);
}

TEST(DropFilesTest, BlocksCarryWholeNamesInOrder) {
  const std::string longName = "\\music\\" + std::string(400, 'x') + ".mp3";
  HGLOBAL block = MakeDropFilesBlock({"C:\\a.mp3", longName, "\\b c.flac"});
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalSize(block), 20 + (8 + 1) + (longName.size() + 1) + (9 + 1) + 1);
  const auto* header = static_cast<const DROPFILES*>(GlobalLock(block));
  EXPECT_EQ(header->pFiles, 20u);
  EXPECT_EQ(header->fWide, 0);
  GlobalUnlock(block);
  EXPECT_EQ(ReadDropFiles(block), (std::vector<std::string>{"C:\\a.mp3", longName, "\\b c.flac"}));
  GlobalFree(block);

  HGLOBAL none = MakeDropFilesBlock({});
  EXPECT_EQ(GlobalSize(none), 21u);
  EXPECT_EQ(ReadDropFiles(none), std::vector<std::string>{});
  GlobalFree(none);
}

// Blocks from outside: each is read within its size or refused whole.
TEST(DropFilesTest, HostileBlocksAreRefusedWithoutReadingPastThem) {
  auto block = [](std::uint32_t pFiles, std::int32_t wide, std::string names) {
    std::string bytes(20, '\0');
    std::memcpy(bytes.data(), &pFiles, 4);
    std::memcpy(bytes.data() + 16, &wide, 4);
    return bytes + names;
  };
  const struct {
    const char* what;
    std::string bytes;
    std::optional<std::vector<std::string>> names;
  } cases[] = {
      {"shorter than its header", std::string(19, '\0'), std::nullopt},
      {"names begin inside the header", block(12, 0, std::string("a\0\0", 3)), std::nullopt},
      {"names begin past the end", block(40, 0, std::string("a\0\0", 3)), std::nullopt},
      {"wide names", block(20, 1, std::string("a\0\0\0", 4)), std::nullopt},
      {"last name without its NUL", block(20, 0, std::string("a.mp3\0b.mp3", 11)), std::nullopt},
      {"only a name without its NUL", block(20, 0, "a.mp3"), std::nullopt},
      {"list without its final NUL", block(20, 0, std::string("a.mp3\0", 6)), std::vector<std::string>{"a.mp3"}},
      {"names after a gap", block(24, 0, std::string("zzzza\0\0", 8)), std::vector<std::string>{"a"}},
      {"empty list", block(20, 0, std::string("\0", 1)), std::vector<std::string>{}},
  };
  for (const auto& c : cases) {
    // An exact-size heap copy, so a read past the end would be caught by the sanitizer.
    std::vector<std::uint8_t> exact(c.bytes.begin(), c.bytes.end());
    EXPECT_EQ(ReadDropFiles(exact.data(), exact.size()), c.names) << c.what;
  }
  EXPECT_EQ(ReadDropFiles(static_cast<HGLOBAL>(nullptr)), std::nullopt);
}

// An object of the one-interface base that counts how many of its kind live.
class Counted final : public ComObject<IUnknown> {
 public:
  explicit Counted(int* alive) : alive_(alive) { ++*alive_; }

 private:
  ~Counted() override { --*alive_; }
  int* alive_;
};

TEST(ComPtrTest, ReleasesEveryReferenceItTook) {
  int alive = 0;
  {
    auto first = ComPtr<IUnknown>::Attach(new Counted(&alive));
    ComPtr<IUnknown> copy = first;
    ComPtr<IUnknown> queried;
    EXPECT_EQ(first.As(queried), S_OK);
    ComPtr<IMalloc> none;
    EXPECT_EQ(first.As(none), E_NOINTERFACE);
    EXPECT_FALSE(none);
    ComPtr<IUnknown> moved = std::move(copy);
    EXPECT_FALSE(copy);
    EXPECT_EQ(alive, 1);
  }
  EXPECT_EQ(alive, 0);
}

}  // namespace
}  // namespace platform
