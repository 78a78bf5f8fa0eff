// Walking an enumerator: Next, Skip, Reset, Clone.
#include <gtest/gtest.h>

#include "testing/shellext.h"

using namespace device;

namespace shellexttest {
namespace {

using namespace shellext;

class EnumIDListTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    device_.AddPlaylist("One");
    device_.AddPlaylist("Two");
    device_.SetLast8();
    Use(device_);
    // "Playlists" of a device of index 8: exactly the two playlists.
    e_ = new CEnumIDList(nullptr, Folder(NT_LISTS, kListPlaylists), 0x60);
  }
  void TearDown() override {
    e_->Release();
    LibraryTest::TearDown();
  }
  static std::string Name(platform::LPITEMIDLIST list) {
    std::string name = list ? std::string(CPidlLast(list).GetDisplayName()) : "(null)";
    platform::FreeItemIdList(list);
    return name;
  }

  class Index8 : public MemoryDeviceBase {
   public:
    void SetLast8() { deviceIndex_ = 8; }
  } device_;
  CEnumIDList* e_ = nullptr;
};

TEST_F(EnumIDListTest, NextHandsOutCopiesAndSaysWhenTheListEnded) {
  platform::LPITEMIDLIST out[3] = {};
  platform::ULONG fetched = 99;
  EXPECT_EQ(e_->Next(0, out, &fetched), platform::S_OK);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(e_->Next(2, out, nullptr), platform::E_INVALIDARG);
  EXPECT_EQ(e_->Next(3, out, &fetched), platform::S_FALSE);
  EXPECT_EQ(fetched, 2u);
  EXPECT_EQ(Name(out[0]), "One");
  EXPECT_EQ(Name(out[1]), "Two");
  EXPECT_EQ(e_->Next(1, out, &fetched), platform::S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(e_->Reset(), platform::S_OK);
  EXPECT_EQ(e_->Next(1, out, nullptr), platform::S_OK);  // one entry needs no count
  EXPECT_EQ(Name(out[0]), "One");
}

TEST_F(EnumIDListTest, SkipReachesTheEndExactly) {
  EXPECT_EQ(e_->Skip(2), platform::S_OK);
  EXPECT_EQ(e_->Skip(1), platform::S_FALSE);
  e_->Reset();
  EXPECT_EQ(e_->Skip(3), platform::S_FALSE);
}

TEST_F(EnumIDListTest, CloneIsNotOfferedAndQueriesAnswerForTheEnumeratorOnly) {
  platform::IEnumIDList* clone = nullptr;
  EXPECT_EQ(e_->Clone(&clone), platform::E_NOTIMPL);
  EXPECT_EQ(clone, nullptr);
  void* p = nullptr;
  EXPECT_EQ(e_->QueryInterface(platform::IID_IEnumIDList, &p), platform::S_OK);
  e_->Release();
  EXPECT_EQ(e_->QueryInterface(platform::IID_IShellFolder, &p), platform::E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
}

TEST_F(EnumIDListTest, ANotConnectedDeviceListedForFoldersOnlyIsEmpty) {
  device_.SetConnected(false);
  class Refusing : public MemoryDeviceBase {
    void Connect() override {}
  } refusing;
  refusing.SetConnected(false);
  Use(refusing);
  auto* empty = new CEnumIDList(nullptr, nullptr, platform::SHCONTF_FOLDERS);
  platform::LPITEMIDLIST out = nullptr;
  platform::ULONG fetched = 7;
  EXPECT_EQ(empty->Next(1, &out, &fetched), platform::S_FALSE);
  EXPECT_EQ(fetched, 0u);
  empty->Release();
}

}  // namespace
}  // namespace shellexttest
