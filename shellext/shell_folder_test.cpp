// The folder's identity, binding, attributes and display names.
#include <gtest/gtest.h>

#include "shellext/shell_folder.h"
#include "testing/shellext.h"

using namespace device;

namespace shellexttest {
namespace {

using namespace shellext;
using platform::ComPtr;

class ShellFolderTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    c_ = Seed(device_);
    Use(device_);
    root_ = ComPtr<platform::IShellFolder>::Attach(new CShellFolder(nullptr, nullptr));
  }
  void TearDown() override {
    root_.Reset();
    LibraryTest::TearDown();
  }
  std::string DisplayName(platform::IShellFolder* folder, platform::LPCITEMIDLIST item, platform::DWORD flags) {
    platform::STRRET name;
    const platform::HRESULT hr = folder->GetDisplayNameOf(item, flags, &name);
    if (hr != platform::S_OK) return "error " + std::to_string(hr);
    return platform::StrRetToString(&name, item);
  }
  platform::ULONG Attributes(platform::LPCITEMIDLIST item) {
    platform::ULONG a = 0x12345;  // what is asked for does not matter
    EXPECT_EQ(root_->GetAttributesOf(1, &item, &a), platform::S_OK);
    return a;
  }

  MemoryDevice device_;
  Catalogue c_;
  ComPtr<platform::IShellFolder> root_;
};

TEST_F(ShellFolderTest, InterfacesOfTheFolder) {
  ComPtr<platform::IPersistFolder> persist;
  EXPECT_EQ(root_.As(persist), platform::S_OK);
  ComPtr<platform::IPersist> plain;
  EXPECT_EQ(root_.As(plain), platform::E_NOINTERFACE);
  platform::CLSID clsid{};
  EXPECT_EQ(persist->GetClassID(&clsid), platform::S_OK);
  EXPECT_EQ(platform::GuidToString(clsid), "{6E3F1B27-C48A-4D05-9B7E-52A0F8C3D14B}");
  g_ProductIdentity.InitFromPath("/x/tovarin.so");  // a name without a class
  EXPECT_EQ(persist->GetClassID(&clsid), platform::E_FAIL);
}

TEST_F(ShellFolderTest, AttributesByNodeType) {
  struct Case {
    std::uint32_t type;
    platform::ULONG attributes;
  };
  const Case cases[] = {
      {NT_DEVICE, 0xA9000000}, {NT_MEMSEG, 0x29000100},   {NT_CONTAINER, 0x29000100}, {NT_PLAYLIST, 0x29000100},
      {NT_FMTUNER, 0x29000000}, {NT_INFO, 0x29000000},    {NT_LISTS, 0xA9000100},     {NT_DATAFOLDER, 0xA9000100},
      {NT_NOTEFOLDER, 0xA9000100}, {NT_CONTACTFOLDER, 0xA9000100}, {NT_TRACK, 0x01000000}, {0x1007, 0x01000000},
  };
  for (const Case& c : cases) EXPECT_EQ(Attributes(Folder(c.type, 1)), c.attributes) << std::hex << c.type;
  platform::ULONG a = 0;
  EXPECT_EQ(root_->GetAttributesOf(0, nullptr, &a), platform::S_OK);
  EXPECT_EQ(a, 0xA9000000u);
  const std::vector<std::uint8_t> foreign = {4, 0, 1, 2, 0, 0};
  platform::LPITEMIDLIST list = platform::ItemIdListFromBytes(foreign.data(), foreign.size());
  EXPECT_EQ(Attributes(list), 0xA9000000u);
  platform::FreeItemIdList(list);
}

TEST_F(ShellFolderTest, FullNamesNameTheFolderTheItemLivesIn) {
  struct Case {
    std::vector<std::string> path;
    std::string full;
  };
  const Case cases[] = {
      {{"Playlists", "Evening"}, "Ombrix Jukebox\\Playlists\\Evening"},
      {{"Artists", "Ada Lind"}, "Ombrix Jukebox\\Artists\\Ada Lind"},
      {{"Artists", "Ada Lind", "[ All: Ada Lind ]"}, "Ombrix Jukebox\\Artists\\[ All: Ada Lind ]"},
      {{"Albums", "Metal Hours"}, "Ombrix Jukebox\\Albums\\Metal Hours"},
      {{"Genres", "Pop"}, "Ombrix Jukebox\\Genres\\Pop"},
      {{"Data Files"}, "Ombrix Jukebox\\Data Files"},  // the data root itself
      {{"Data Files", "Documents"}, "Ombrix Jukebox\\Data Files\\Documents"},
      {{"Audio Tracks"}, "Ombrix Jukebox\\Audio Tracks"},
  };
  for (const Case& c : cases) {
    platform::LPITEMIDLIST item = At(c.path);
    EXPECT_EQ(DisplayName(root_.Get(), item, platform::SHGDN_NORMAL), c.full);
    EXPECT_EQ(DisplayName(root_.Get(), item, platform::SHGDN_FORPARSING), c.full);
    EXPECT_EQ(DisplayName(root_.Get(), item, platform::SHGDN_INFOLDER), c.path.back());
  }
  // When the device cannot say which folder is its data root, no prefix.
  platform::LPITEMIDLIST documents = At({"Data Files", "Documents"});
  device_.FailWithError(DeviceOp::GetDataRootFolder);
  EXPECT_EQ(DisplayName(root_.Get(), documents, platform::SHGDN_NORMAL), "Ombrix Jukebox\\Documents");
}

TEST_F(ShellFolderTest, UnknownNameFlagsAndBadListsAreRefused) {
  platform::LPITEMIDLIST item = At({"Playlists", "Evening"});
  platform::STRRET name;
  for (platform::DWORD flags : {platform::SHGDN_FOREDITING, 0x2000u, 0x0002u, 0x10000u}) {
    EXPECT_EQ(root_->GetDisplayNameOf(item, flags, &name), platform::E_INVALIDARG) << flags;
  }
  EXPECT_EQ(root_->GetDisplayNameOf(item, 0, nullptr), platform::E_INVALIDARG);
  EXPECT_EQ(root_->GetDisplayNameOf(nullptr, 0, &name), platform::E_INVALIDARG);
}

TEST_F(ShellFolderTest, BindingMakesAChildThatListsTheFolder) {
  const std::vector<std::uint8_t> host = {6, 0, 'h', 'o', 's', 't', 0, 0};
  platform::LPITEMIDLIST hostList = platform::ItemIdListFromBytes(host.data(), host.size());
  ComPtr<platform::IPersistFolder> persist;
  root_.As(persist);
  persist->Initialize(hostList);

  platform::LPITEMIDLIST genres = At({"Genres"});
  const unsigned live = g_LiveObjectCount.load();
  ComPtr<platform::IShellFolder> child;
  ASSERT_EQ(root_->BindToObject(genres, nullptr, platform::IID_IShellFolder, child.PutVoid()), platform::S_OK);
  EXPECT_EQ(g_LiveObjectCount.load(), live + 1);
  auto* folder = static_cast<CShellFolder*>(child.Get());
  // Its absolute list is the parent's joined with the item.
  EXPECT_EQ(platform::ItemIdListSize(folder->AbsoluteList()), host.size() - 2 + kOneItemListSize);
  ComPtr<platform::IEnumIDList> items;
  ASSERT_EQ(child->EnumObjects(0, 0x60, items.Put()), platform::S_OK);
  std::vector<std::string> names;
  platform::LPITEMIDLIST out = nullptr;
  while (items->Next(1, &out, nullptr) == platform::S_OK) {
    names.push_back(DisplayName(child.Get(), out, platform::SHGDN_INFOLDER));
    platform::FreeItemIdList(out);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Folk", "Jazz", "Pop"}));
  child.Reset();
  items.Reset();
  EXPECT_EQ(g_LiveObjectCount.load(), live);

  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(root_->BindToObject(hostList, nullptr, platform::IID_IShellFolder, &p), platform::E_INVALIDARG);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(root_->BindToStorage(genres, nullptr, platform::IID_IShellFolder, &p), platform::E_NOTIMPL);
  EXPECT_EQ(root_->GetUIObjectOf(0, 1, const_cast<platform::LPCITEMIDLIST*>(&genres), platform::IID_IDataObject,
                                 nullptr, &p),
            platform::E_NOINTERFACE);
  platform::FreeItemIdList(hostList);
}

TEST_F(ShellFolderTest, TheFirstRootListingRecordsTheFixedFoldersForGood) {
  ForgetFixedFolderListsForTesting();
  const std::vector<std::uint8_t> host = {6, 0, 'h', 'o', 's', 't', 0, 0};
  platform::LPITEMIDLIST hostList = platform::ItemIdListFromBytes(host.data(), host.size());
  ComPtr<platform::IPersistFolder> persist;
  root_.As(persist);
  persist->Initialize(hostList);
  ComPtr<platform::IEnumIDList> items;
  ASSERT_EQ(root_->EnumObjects(0, 0x60, items.Put()), platform::S_OK);
  items.Reset();

  EXPECT_TRUE(platform::ItemIdListsEqual(GetFixedFolderList(FixedFolder::kDeviceRoot), hostList));
  platform::LPCITEMIDLIST playlists = GetFixedFolderList(FixedFolder::kPlaylists);
  ASSERT_EQ(platform::ItemIdListSize(playlists), host.size() - 2 + kOneItemListSize);
  EXPECT_EQ(CPidlLast(playlists).GetDisplayName(), "Playlists");
  EXPECT_EQ(GetFixedFolderList(FixedFolder::kSearch) != nullptr, true);

  // A later listing from another place changes none of them.
  root_ = ComPtr<platform::IShellFolder>::Attach(new CShellFolder(nullptr, nullptr));
  ASSERT_EQ(root_->EnumObjects(0, 0x60, items.Put()), platform::S_OK);
  EXPECT_EQ(GetFixedFolderList(FixedFolder::kPlaylists), playlists);
  EXPECT_TRUE(platform::ItemIdListsEqual(GetFixedFolderList(FixedFolder::kDeviceRoot), hostList));
  platform::FreeItemIdList(hostList);
}

}  // namespace
}  // namespace shellexttest
