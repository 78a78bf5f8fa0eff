// Data objects, drop sources and drop targets of the player's items: the formats offered,
// the blocks served, hostile blocks refused, each kind of drop target, and the mark that
// keeps the player's own items from going back to it as files.
#include "shellext/drag_drop.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/folders.h"
#include "platform/com/drop_files.h"
#include "platform/paths/paths.h"
#include "platform/shell/drag_drop.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"
#include "shellext/clipboard_formats.h"
#include "shellext/data_object.h"
#include "tools/name_dlg.h"
#include "shellext/shell_folder.h"
#include "testing/processes.h"
#include "testing/shellext.h"

using namespace device;

namespace shellexttest {
namespace {

const bool kIsolated = platform::testing::IsolateNamespace();

namespace fs = std::filesystem;
using namespace shellext;
using platform::ComPtr;
using platform::DWORD;
using platform::FORMATETC;
using platform::HRESULT;
using platform::S_OK;

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

FORMATETC Format(platform::UINT format, DWORD tymed = platform::TYMED_HGLOBAL) {
  FORMATETC f;
  f.cfFormat = static_cast<platform::CLIPFORMAT>(format);
  f.tymed = tymed;
  return f;
}

std::vector<std::uint32_t> Words(const std::vector<KernelId>& ids) {
  std::vector<std::uint32_t> words;
  for (const KernelId& id : ids) words.push_back(id.word[0]);
  return words;
}

std::string Bytes(platform::HGLOBAL block) {
  std::string out(static_cast<const char*>(platform::GlobalLock(block)), platform::GlobalSize(block));
  platform::GlobalUnlock(block);
  return out;
}

// A data object of another program: the formats it offers, each format's bytes.
class Foreign final : public platform::ComObject<platform::IDataObject> {
 public:
  std::map<platform::CLIPFORMAT, std::string> blocks;
  HRESULT GetData(const FORMATETC* f, platform::STGMEDIUM* m) override {
    auto it = blocks.find(f->cfFormat);
    if (it == blocks.end()) return platform::DV_E_FORMATETC;
    m->tymed = platform::TYMED_HGLOBAL;
    m->hGlobal = platform::GlobalAlloc(platform::GMEM_ZEROINIT, it->second.size());
    if (!it->second.empty()) std::memcpy(platform::GlobalLock(m->hGlobal), it->second.data(), it->second.size());
    platform::GlobalUnlock(m->hGlobal);
    return S_OK;
  }
  HRESULT GetDataHere(const FORMATETC*, platform::STGMEDIUM*) override { return platform::E_NOTIMPL; }
  HRESULT QueryGetData(const FORMATETC* f) override {
    return blocks.count(f->cfFormat) != 0 ? S_OK : platform::DV_E_FORMATETC;
  }
  HRESULT GetCanonicalFormatEtc(const FORMATETC*, FORMATETC*) override { return platform::E_NOTIMPL; }
  HRESULT SetData(const FORMATETC*, platform::STGMEDIUM*, bool) override { return platform::E_NOTIMPL; }
  HRESULT EnumFormatEtc(DWORD, platform::IEnumFORMATETC**) override { return platform::E_NOTIMPL; }
};

class DragDropTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    c_ = Seed(device_);
    Use(device_);
    g_cfKernelIdList = platform::RegisterClipboardFormat(kKernelIdListFormat);
    g_cfNoTransferToSelf = platform::RegisterClipboardFormat(kNoTransferToSelfFormat);
    folder_ = ComPtr<platform::IShellFolder>::Attach(new CShellFolder(nullptr, nullptr));
    // A launcher that writes down the list it was given.
    install_ = fs::path(InstallLauncher("cp \"$1\" \"$0.list.tmp\" && mv \"$0.list.tmp\" \"$0.list\"")).parent_path();
  }
  void TearDown() override {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // launchers nobody waits for
    folder_.Reset();
    g_DragOverOwnTarget = 0;
    LibraryTest::TearDown();
  }

  // What the launcher was handed within the time; empty when it never ran.
  std::string SentList(int waitMs = 3000) {
    const std::string file = install_ + "/tovarinj1.list";
    for (int i = 0; i < waitMs / 10 && !fs::exists(file); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::string list = Read(file);
    fs::remove(file);
    return list;
  }

  // The library's data object of items of a folder (`folder` null: the root).
  ComPtr<platform::IDataObject> DataOf(platform::LPCITEMIDLIST folder, std::vector<platform::LPCITEMIDLIST> items) {
    ComPtr<platform::IShellFolder> f = folder_;
    if (folder != nullptr) folder_->BindToObject(folder, nullptr, platform::IID_IShellFolder, f.PutVoid());
    ComPtr<platform::IDataObject> data;
    EXPECT_EQ(f->GetUIObjectOf(0, static_cast<platform::UINT>(items.size()), items.data(), platform::IID_IDataObject,
                               nullptr, data.PutVoid()),
              S_OK);
    return data;
  }
  // The drop target of a folder item of the root (null: the player as a whole).
  ComPtr<platform::IDropTarget> TargetOf(platform::LPCITEMIDLIST item) {
    ComPtr<platform::IDropTarget> target;
    if (item == nullptr) {
      folder_->CreateViewObject(0, platform::IID_IDropTarget, target.PutVoid());
    } else {
      folder_->GetUIObjectOf(0, 1, &item, platform::IID_IDropTarget, nullptr, target.PutVoid());
    }
    return target;
  }
  // Enter, then drop: the effects of both.
  std::pair<DWORD, DWORD> DropOn(platform::IDropTarget* target, platform::IDataObject* data, DWORD keys = 0) {
    DWORD enter = 99;
    target->DragEnter(data, keys, {}, &enter);
    DWORD drop = 99;
    EXPECT_EQ(target->Drop(data, keys, {}, &drop), S_OK);
    return {enter, drop};
  }
  platform::ScriptedHost host_;
  MemoryDevice device_;
  Catalogue c_;
  ComPtr<platform::IShellFolder> folder_;
  std::string install_;
};

// Three formats with playlists, two without, the mark first; each reader walks its own
// enumerator; Skip moves by exactly n; Clone copies the list and the place.
TEST_F(DragDropTest, TheFormatsOfferedAndTheirEnumerators) {
  platform::LPCITEMIDLIST track = At({"Audio Tracks", "Ada Lind - North Light - 01 - Harbour"});
  for (const int playlists : {1, 0}) {
    device_.SetCapability(DeviceOp::SupportsPlaylists, playlists);
    ComPtr<platform::IDataObject> data = DataOf(At({"Audio Tracks"}), {track});
    ComPtr<platform::IEnumFORMATETC> first;
    ComPtr<platform::IEnumFORMATETC> second;
    ASSERT_EQ(data->EnumFormatEtc(platform::DATADIR_GET, first.Put()), S_OK);
    ASSERT_EQ(data->EnumFormatEtc(platform::DATADIR_GET, second.Put()), S_OK);
    EXPECT_NE(first.Get(), second.Get());
    FORMATETC got[4];
    platform::ULONG fetched = 0;
    EXPECT_EQ(first->Next(4, got, &fetched), platform::S_FALSE);
    ASSERT_EQ(fetched, playlists != 0 ? 3u : 2u);
    EXPECT_EQ(got[0].cfFormat, g_cfNoTransferToSelf);
    EXPECT_EQ(got[1].cfFormat, platform::CF_HDROP);
    if (playlists != 0) {
      EXPECT_EQ(got[2].cfFormat, g_cfKernelIdList);
    }
    for (platform::ULONG i = 0; i < fetched; ++i) EXPECT_EQ(got[i].tymed, platform::TYMED_HGLOBAL);
    // The second walk is its own.
    EXPECT_EQ(second->Skip(fetched), S_OK);  // exactly what is left: done, at the end
    EXPECT_EQ(second->Next(1, got, &fetched), platform::S_FALSE);
    EXPECT_EQ(second->Reset(), S_OK);
    EXPECT_EQ(second->Skip(1), S_OK);
    ComPtr<platform::IEnumFORMATETC> clone;
    ASSERT_EQ(second->Clone(clone.Put()), S_OK);
    ASSERT_EQ(clone->Next(1, got, &fetched), S_OK);
    EXPECT_EQ(got[0].cfFormat, platform::CF_HDROP);
    EXPECT_EQ(clone->Next(1, nullptr, &fetched), platform::E_INVALIDARG);
    // The object is its own enumerator too.
    ComPtr<platform::IEnumFORMATETC> own;
    ASSERT_EQ(data.As(own), S_OK);
    EXPECT_EQ(own->Skip(10), platform::S_FALSE);
    ComPtr<platform::IEnumFORMATETC> ownClone;
    ASSERT_EQ(own->Clone(ownClone.Put()), S_OK);
    EXPECT_EQ(ownClone->Next(1, got, &fetched), platform::S_FALSE);
    EXPECT_EQ(data->EnumFormatEtc(platform::DATADIR_SET, first.Put()), platform::OLE_S_USEREG);
  }
}

// QueryGetData answers for the formats offered, by number and medium.
TEST_F(DragDropTest, QueryGetDataComparesTheFormatsNumber) {
  ComPtr<platform::IDataObject> data = DataOf(At({"Audio Tracks"}), {At({"Audio Tracks", "Ada Lind - North Light - 01 - Harbour"})});
  const platform::UINT other = platform::RegisterClipboardFormat("Some Other Format");
  const struct {
    FORMATETC format;
    HRESULT answer;
  } cases[] = {
      {Format(g_cfNoTransferToSelf), S_OK},
      {Format(platform::CF_HDROP), S_OK},
      {Format(g_cfKernelIdList, platform::TYMED_HGLOBAL | platform::TYMED_FILE), S_OK},
      {Format(other), platform::DV_E_FORMATETC},
      {Format(platform::CF_HDROP, platform::TYMED_FILE), platform::DV_E_TYMED},
  };
  for (const auto& c : cases) EXPECT_EQ(data->QueryGetData(&c.format), c.answer) << c.format.cfFormat;
  FORMATETC aspect = Format(platform::CF_HDROP);
  aspect.dwAspect = 4;
  EXPECT_EQ(data->QueryGetData(&aspect), platform::DV_E_DVASPECT);
  EXPECT_EQ(data->QueryGetData(nullptr), platform::S_FALSE);
  FORMATETC canonical;
  canonical.ptd = &canonical;
  EXPECT_EQ(data->GetCanonicalFormatEtc(&aspect, &canonical), platform::DATA_S_SAMEFORMATETC);
  EXPECT_EQ(canonical.ptd, nullptr);
}

// The mark is never rendered, the file list only after a drop made the files; two data
// files give their own ids, an album the ids of its tracks.
TEST_F(DragDropTest, GetDataServesTheIdsAndNothingBeforeTheFiles) {
  platform::STGMEDIUM medium;
  ComPtr<platform::IDataObject> album = DataOf(At({"Albums"}), {At({"Albums", "North Light"})});
  FORMATETC f = Format(g_cfNoTransferToSelf);
  EXPECT_EQ(album->GetData(&f, &medium), platform::DV_E_FORMATETC);
  f = Format(platform::CF_HDROP);
  EXPECT_EQ(album->GetData(&f, &medium), platform::DV_E_FORMATETC);
  f = Format(g_cfKernelIdList);
  ASSERT_EQ(album->GetData(&f, &medium), S_OK);
  EXPECT_EQ(medium.pUnkForRelease, nullptr);
  const std::optional<std::vector<KernelId>> tracks = ReadKernelIdListBlock(medium.hGlobal);
  platform::ReleaseStgMedium(&medium);
  ASSERT_TRUE(tracks);
  EXPECT_EQ(tracks->size(), 2u);
  EXPECT_EQ(std::count(tracks->begin(), tracks->end(), c_.harbour) + std::count(tracks->begin(), tracks->end(), c_.longRoad), 2);

  platform::LPCITEMIDLIST documents = At({"Data Files", "Documents"});
  ComPtr<platform::IDataObject> files =
      DataOf(documents, {At({"Data Files", "Documents", "readme.txt"}), At({"Data Files", "Documents", "list.csv"})});
  ASSERT_EQ(files->GetData(&f, &medium), S_OK);
  const std::string block = Bytes(medium.hGlobal);
  platform::ReleaseStgMedium(&medium);
  ASSERT_EQ(block.size(), 828u);
  std::uint32_t n = 0;
  std::memcpy(&n, block.data(), 4);
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(block.substr(4, 272), std::string(272, '\0'));
  KernelId one;
  std::memcpy(static_cast<void*>(&one), block.data() + 276, sizeof one);
  EXPECT_EQ(device_.GetDataItemName(one), "readme.txt");
  std::memcpy(static_cast<void*>(&one), block.data() + 552, sizeof one);
  EXPECT_EQ(device_.GetDataItemName(one), "list.csv");
  EXPECT_EQ(files->GetData(nullptr, &medium), platform::E_INVALIDARG);
  EXPECT_EQ(files->GetDataHere(&f, &medium), platform::E_NOTIMPL);
  EXPECT_EQ(files->SetData(&f, &medium, true), platform::E_NOTIMPL);

  // A player without playlists and without a tag index serves no ids.
  device_.SetCapability(DeviceOp::SupportsTagIndex, 0);
  ComPtr<platform::IDataObject> plain = DataOf(documents, {At({"Data Files", "Documents", "readme.txt"})});
  device_.SetCapability(DeviceOp::SupportsPlaylists, 0);
  EXPECT_EQ(plain->GetData(&f, &medium), platform::DV_E_FORMATETC);
}

// Blocks from another program are read within their size: short ones, counts too big and
// names without their NUL never read past them.
TEST_F(DragDropTest, HostileBlocksAreRefusedWithoutReadingPastThem) {
  auto ids = [](std::uint32_t count, std::size_t slots) {
    std::string bytes(kKernelIdSlot * slots, '\0');
    std::memcpy(bytes.data(), &count, 4);
    return bytes;
  };
  std::string unterminated = ids(1, 2);
  std::memset(unterminated.data() + kKernelIdSlot + 16, 'x', kKernelIdSlot - 16);  // the name fills its slot
  const struct {
    const char* what;
    std::string ids;
    std::string message;
  } idCases[] = {
      {"shorter than its first slot", std::string(100, '\0'), "The drop object is invalid."},
      {"a count the block cannot hold", ids(3, 3), "The drop object is invalid."},
      {"a huge count", ids(0x7FFFFFFF, 2), "The drop object is invalid."},
      {"no records", ids(0, 1), "The drop object contained no items."},
      {"the count that means none", ids(0xFFFFFFFFu, 1), "The drop object contained no items."},
  };
  platform::LPCITEMIDLIST queue = Folder(NT_CONTAINER, kKindActiveQueue, "Active Queue");
  for (const auto& c : idCases) {
    auto* data = new Foreign;
    data->blocks[static_cast<platform::CLIPFORMAT>(g_cfKernelIdList)] = c.ids;
    host_.ExpectMessageBox(platform::IDOK, c.message);
    EXPECT_EQ(DropOn(TargetOf(queue).Get(), data).second, platform::DROPEFFECT_NONE) << c.what;
    data->Release();
  }
  // A name without its NUL is cut within its field.
  const std::optional<std::vector<KernelId>> read =
      ReadKernelIdListBlock(reinterpret_cast<const std::uint8_t*>(unterminated.data()), unterminated.size());
  ASSERT_TRUE(read);
  EXPECT_EQ(read->at(0).GetName(), std::string(256, 'x'));

  auto header = [](std::uint32_t pFiles) {
    std::string bytes(20, '\0');
    std::memcpy(bytes.data(), &pFiles, 4);
    return bytes;
  };
  const std::string fileCases[] = {std::string(10, '\0'), header(500) + std::string("a\0\0", 3),
                                   header(20) + "C:\\no-terminator.mp3"};
  platform::LPCITEMIDLIST tracks = Folder(NT_CONTAINER, kKindAudioTracks, "Audio Tracks");
  for (const std::string& block : fileCases) {
    auto* data = new Foreign;
    data->blocks[platform::CF_HDROP] = block;
    host_.ExpectMessageBox(platform::IDOK, "The drop object is invalid.");
    EXPECT_EQ(DropOn(TargetOf(tracks).Get(), data).second, platform::DROPEFFECT_NONE);
    data->Release();
  }
  EXPECT_EQ(SentList(300), "");
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

// Files from another program go to the launcher whole, however long their names; a data
// folder takes them as data files; the player as a whole takes them unless it has media.
TEST_F(DragDropTest, FilesDroppedGoToTheLauncher) {
  const std::string longName = "C:\\music\\" + std::string(300, 'n') + ".mp3";
  auto files = [&] {
    auto* data = new Foreign;
    platform::HGLOBAL block = platform::MakeDropFilesBlock({"C:\\a.mp3", longName});
    data->blocks[platform::CF_HDROP] = Bytes(block);
    platform::GlobalFree(block);
    return ComPtr<platform::IDataObject>::Attach(data);
  };
  EXPECT_EQ(DropOn(TargetOf(Folder(NT_CONTAINER, kKindAudioTracks, "Audio Tracks")).Get(), files().Get()),
            std::make_pair(platform::DROPEFFECT_COPY, platform::DROPEFFECT_COPY));
  EXPECT_EQ(SentList(), "C:\\a.mp3\r\n" + longName + "\r\n");
  EXPECT_EQ(DropOn(TargetOf(Folder(NT_DATAFOLDER, 77, "Documents")).Get(), files().Get()).second,
            platform::DROPEFFECT_COPY);
  EXPECT_EQ(SentList(), "77\r\nC:\\a.mp3\r\n" + longName + "\r\n");
  EXPECT_EQ(DropOn(TargetOf(nullptr).Get(), files().Get()).second, platform::DROPEFFECT_COPY);
  EXPECT_EQ(SentList(), "C:\\a.mp3\r\n" + longName + "\r\n");
  device_.SetCapability(DeviceOp::SupportsStorageList, 1);
  host_.ExpectMessageBox(platform::IDOK, "Please drop directly to either Internal Memory or the SmartMedia card.");
  EXPECT_EQ(DropOn(TargetOf(nullptr).Get(), files().Get()).second, platform::DROPEFFECT_NONE);
  // Folders that take no files.
  host_.ExpectMessageBox(platform::IDOK, "This folder is not a valid drop target");
  EXPECT_EQ(DropOn(TargetOf(Folder(NT_PLAYLIST, 5, "Evening")).Get(), files().Get()),
            std::make_pair(platform::DROPEFFECT_NONE, platform::DROPEFFECT_NONE));
  EXPECT_EQ(SentList(300), "");
}

// The player's own items never go back to it as files: a folder that takes files
// refuses them, also when they come without their ids (a player without playlists).
TEST_F(DragDropTest, NoTransferToSelf) {
  device_.SetCapability(DeviceOp::SupportsPlaylists, 0);
  ComPtr<platform::IDataObject> own = DataOf(At({"Audio Tracks"}), {At({"Audio Tracks", "Ada Lind - North Light - 01 - Harbour"})});
  for (platform::LPCITEMIDLIST target : {Folder(NT_MEMSEG, 7, "Internal"), Folder(NT_CONTAINER, kKindAudioTracks, "Audio Tracks")}) {
    host_.ExpectMessageBox(platform::IDOK, "This folder is not a valid drop target");
    EXPECT_EQ(DropOn(TargetOf(target).Get(), own.Get()),
              std::make_pair(platform::DROPEFFECT_NONE, platform::DROPEFFECT_NONE));
  }
  EXPECT_EQ(SentList(300), "");
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

// The library's own targets: the queue, a tag folder, the playlists, a playlist, a data
// folder. The effect is set on entering, link with the middle button; a drop ends the
// pointer's being over the library's own target.
TEST_F(DragDropTest, TheLibrarysOwnTargets) {
  platform::LPCITEMIDLIST tracks = At({"Audio Tracks"});
  ComPtr<platform::IDataObject> two = DataOf(tracks, {At({"Audio Tracks", "Ada Lind - North Light - 01 - Harbour"}), At({"Audio Tracks", "Brass Fold - Metal Hours - 01 - Opening"})});
  ComPtr<platform::IDataObject> one = DataOf(tracks, {At({"Audio Tracks", "Cyra - Glass Rooms - 07 - Mirror"})});

  ComPtr<platform::IDropTarget> queue = TargetOf(Folder(NT_CONTAINER, kKindActiveQueue, "Active Queue"));
  DWORD effect = 99;
  queue->DragEnter(two.Get(), platform::MK_MBUTTON, {}, &effect);
  EXPECT_EQ(effect, platform::DROPEFFECT_LINK);
  EXPECT_EQ(g_DragOverOwnTarget.load(), 1);
  host_.ExpectMessageBox(platform::IDOK, "2 tracks queued.");
  EXPECT_EQ(queue->Drop(two.Get(), 0, {}, &effect), S_OK);
  EXPECT_EQ(effect, platform::DROPEFFECT_COPY);
  EXPECT_EQ(g_DragOverOwnTarget.load(), 0);
  host_.ExpectMessageBox(platform::IDOK, "1 track queued.");
  DropOn(queue.Get(), one.Get());
  EXPECT_EQ(device_.GetQueue().size(), 3u);

  // Retagging asks first; No changes nothing.
  ComPtr<platform::IDropTarget> artist = TargetOf(Folder(NT_CONTAINER, kKindArtistTracks, "Ada Lind"));
  host_.ExpectMessageBox(platform::IDNO, "This will change the artist to 'Ada Lind' on 1 track.  Are you sure?");
  EXPECT_EQ(DropOn(artist.Get(), one.Get()).second, platform::DROPEFFECT_NONE);
  EXPECT_EQ(device_.GetTrackArtist(c_.mirror), "Cyra");
  host_.ExpectMessageBox(platform::IDYES, "This will change the artist to 'Ada Lind' on 1 track.  Are you sure?");
  host_.ExpectMessageBox(platform::IDOK, "Changed artist to 'Ada Lind' on 1 track.");
  EXPECT_EQ(DropOn(artist.Get(), one.Get()).second, platform::DROPEFFECT_COPY);
  EXPECT_EQ(device_.GetTrackArtist(c_.mirror), "Ada Lind");

  // An album dragged onto the playlists becomes a playlist of its name.
  ComPtr<platform::IDataObject> album = DataOf(At({"Albums"}), {At({"Albums", "Metal Hours"})});
  host_.ExpectMessageBox(platform::IDOK, "Playlist 'Metal Hours' created with 1 track.");
  EXPECT_EQ(DropOn(TargetOf(Folder(NT_LISTS, kListPlaylists, "Playlists")).Get(), album.Get()).second,
            platform::DROPEFFECT_COPY);
  bool made = false;
  KernelId playlist;
  for (int n = device_.GetFirstPlaylist(playlist); n != 0; n = device_.GetNextPlaylist(playlist)) {
    if (device_.GetPlaylistName(playlist) == "Metal Hours") made = device_.PlaylistItems(playlist) == std::vector<KernelId>{c_.opening};
  }
  EXPECT_TRUE(made);
  // The same ids from another program carry no folder name: the name is asked, never
  // taken from the drag before.
  auto foreign = ComPtr<Foreign>::Attach(new Foreign);
  {
    FORMATETC f = Format(g_cfKernelIdList);
    platform::STGMEDIUM m;
    ASSERT_EQ(album->GetData(&f, &m), S_OK);
    foreign->blocks[f.cfFormat] = Bytes(m.hGlobal);
    platform::ReleaseStgMedium(&m);
  }
  host_.ExpectDialog(CNameDlg::kTemplateId, [](platform::DialogDriver& d) {
    EXPECT_EQ(d.Text(CNameDlg::kNameId), "type name here");
    d.Type(CNameDlg::kNameId, "Brought Over").Ok();
  });
  host_.ExpectMessageBox(platform::IDOK, "Playlist 'Brought Over' created with 1 track.");
  EXPECT_EQ(DropOn(TargetOf(Folder(NT_LISTS, kListPlaylists, "Playlists")).Get(), foreign.Get()).second,
            platform::DROPEFFECT_COPY);

  // Onto a playlist: the tracks are added.
  platform::LPITEMIDLIST evening = Folder(NT_PLAYLIST, 0, "Evening");
  reinterpret_cast<ShellItemData*>(evening)->id.Assign(c_.evening);
  host_.ExpectMessageBox(platform::IDOK, "");
  DropOn(TargetOf(evening).Get(), one.Get());
  EXPECT_EQ(device_.PlaylistItems(c_.evening).size(), 3u);

  // Data items dragged onto a data folder move into it.
  ComPtr<platform::IDataObject> top = DataOf(At({"Data Files"}), {At({"Data Files", "top.txt"})});
  platform::LPITEMIDLIST old = Folder(NT_DATAFOLDER, 0, "Old");
  reinterpret_cast<ShellItemData*>(old)->id.Assign(c_.old);
  EXPECT_EQ(DropOn(TargetOf(old).Get(), top.Get()).second, platform::DROPEFFECT_COPY);
  KernelId parent;
  ASSERT_EQ(device_.GetDataItemParent(c_.top, parent), 1);
  EXPECT_EQ(parent.word[0], c_.old.word[0]);
  // A folder into its own sub-folder: the player refuses it.
  ComPtr<platform::IDataObject> documents = DataOf(At({"Data Files"}), {At({"Data Files", "Documents"})});
  host_.ExpectMessageBox(platform::IDOK, "Could not move data items.");
  EXPECT_EQ(DropOn(TargetOf(old).Get(), documents.Get()).second, platform::DROPEFFECT_NONE);

  // Targets that take ids but not these: silently nothing.
  EXPECT_EQ(DropOn(TargetOf(Folder(NT_CONTAINER, kKindAudioTracks, "Audio Tracks")).Get(), one.Get()).second,
            platform::DROPEFFECT_NONE);
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

// Only tracks go to the queue, a playlist, the Playlists folder or a track folder's tags:
// dragged data files are left out, and the reports count what the player took.
TEST_F(DragDropTest, OnlyTracksAreQueuedOrAddedAndTheReportCountsWhatThePlayerTook) {
  ComPtr<platform::IDataObject> file = DataOf(At({"Data Files"}), {At({"Data Files", "top.txt"})});
  auto mixed = ComPtr<Foreign>::Attach(new Foreign);
  {
    platform::HGLOBAL block = MakeKernelIdListBlock({c_.top, c_.mirror});
    mixed->blocks[static_cast<platform::CLIPFORMAT>(g_cfKernelIdList)] = Bytes(block);
    platform::GlobalFree(block);
  }
  platform::LPITEMIDLIST evening = Folder(NT_PLAYLIST, 0, "Evening");
  reinterpret_cast<ShellItemData*>(evening)->id.Assign(c_.evening);
  const platform::LPCITEMIDLIST targets[] = {
      Folder(NT_CONTAINER, kKindActiveQueue, "Active Queue"), evening, Folder(NT_LISTS, kListPlaylists, "Playlists"),
      Folder(NT_CONTAINER, kKindGenreTracks, "Folk")};
  for (platform::LPCITEMIDLIST target : targets) {
    host_.ExpectMessageBox(platform::IDOK, "Only tracks can be dropped here; the dropped items are not tracks.");
    EXPECT_EQ(DropOn(TargetOf(target).Get(), file.Get()).second, platform::DROPEFFECT_NONE);
  }
  EXPECT_TRUE(device_.GetQueue().empty());
  EXPECT_EQ(device_.PlaylistItems(c_.evening).size(), 2u);
  EXPECT_EQ(device_.GetDataItemName(c_.top), "top.txt");

  host_.ExpectMessageBox(platform::IDOK, "1 track queued.");
  EXPECT_EQ(DropOn(TargetOf(targets[0]).Get(), mixed.Get()).second, platform::DROPEFFECT_COPY);
  EXPECT_EQ(Words(device_.GetQueue()), Words({c_.mirror}));
  host_.ExpectMessageBox(platform::IDOK, "1 track added to playlist Evening.");
  EXPECT_EQ(DropOn(TargetOf(evening).Get(), mixed.Get()).second, platform::DROPEFFECT_COPY);
  EXPECT_EQ(Words(device_.PlaylistItems(c_.evening)), Words({c_.harbour, c_.opening, c_.mirror}));

  // A player that takes none says so, and the drop did not happen.
  device_.FailWithStatus(DeviceOp::AddPendingToPlaylist, 8, "Storage full.", 1);
  host_.ExpectMessageBox(platform::IDOK, "Could not add track(s) to playlist Evening (error 8).");
  EXPECT_EQ(DropOn(TargetOf(evening).Get(), mixed.Get()).second, platform::DROPEFFECT_NONE);
  EXPECT_EQ(device_.PlaylistItems(c_.evening).size(), 3u);
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

// Each drag or copy makes its files in a folder of its own: what the clipboard offers
// stays however often something is dragged or copied meanwhile, and goes when the
// clipboard lets go of it; a drag's files go with the next drag once nothing holds them.
TEST_F(DragDropTest, FilesOnTheClipboardStayUntilTheClipboardChanges) {
  Settings().SetDword("Gen_Tx_AutoCloseDialog", 1);
  const platform::LPCITEMIDLIST documents = At({"Data Files", "Documents"});
  ComPtr<platform::IDataObject> copied = DataOf(At({"Data Files"}), {At({"Data Files", "top.txt"})});
  dynamic_cast<CDataObject*>(copied.Get())->PrepareFilesWhenAsked();
  ASSERT_EQ(platform::OleSetClipboard(copied.Get()), S_OK);
  FORMATETC f = Format(platform::CF_HDROP);
  platform::STGMEDIUM m;
  ASSERT_EQ(copied->GetData(&f, &m), S_OK);  // a program pastes
  const std::optional<std::vector<std::string>> pasted = platform::ReadDropFiles(m.hGlobal);
  platform::ReleaseStgMedium(&m);
  ASSERT_TRUE(pasted && pasted->size() == 1u);
  const std::string offered = platform::ToPosixPath(pasted->front());
  EXPECT_EQ(Read(offered), "top");

  const auto prepare = [&](const char* name) {
    ComPtr<platform::IDataObject> data = DataOf(documents, {At({"Data Files", "Documents", name})});
    auto* object = dynamic_cast<CDataObject*>(data.Get());
    object->PrepareFiles();
    EXPECT_EQ(object->PreparedFiles().size(), 1u) << name;
    return object->PreparedFiles().empty() ? std::string() : platform::ToPosixPath(object->PreparedFiles().front());
  };
  const std::string dragged = prepare("readme.txt");
  EXPECT_EQ(Read(dragged), "read me");
  const std::string next = prepare("list.csv");
  EXPECT_FALSE(fs::exists(dragged));  // nothing held that drag any more
  EXPECT_TRUE(fs::exists(next));
  EXPECT_EQ(Read(offered), "top");

  ASSERT_EQ(platform::OleSetClipboard(nullptr), S_OK);
  copied.Reset();
  EXPECT_FALSE(fs::exists(offered));
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

// The source: Escape cancels, the button held goes on, a refused drop cancels, a drop
// over the library's own target makes no files.
TEST_F(DragDropTest, TheSourceDecidesAtTheRelease) {
  ComPtr<platform::IDataObject> data = DataOf(At({"Audio Tracks"}), {At({"Audio Tracks", "Ada Lind - North Light - 01 - Harbour"})});
  auto* object = dynamic_cast<CDataObject*>(data.Get());
  ASSERT_NE(object, nullptr);
  auto source = ComPtr<platform::IDropSource>::Attach(new CDropSource(object));
  EXPECT_EQ(source->QueryContinueDrag(true, platform::MK_LBUTTON), platform::DRAGDROP_S_CANCEL);
  EXPECT_EQ(source->QueryContinueDrag(false, platform::MK_LBUTTON), S_OK);
  EXPECT_EQ(source->QueryContinueDrag(false, 0), platform::DRAGDROP_S_CANCEL);  // nothing took it
  EXPECT_EQ(source->GiveFeedback(platform::DROPEFFECT_COPY), platform::DRAGDROP_S_USEDEFAULTCURSORS);
  g_DragOverOwnTarget = 1;
  EXPECT_EQ(source->QueryContinueDrag(false, 0), platform::DRAGDROP_S_DROP);
  EXPECT_FALSE(object->FilesReady());
  auto none = ComPtr<platform::IDropSource>::Attach(new CDropSource(nullptr));
  EXPECT_EQ(none->QueryContinueDrag(false, 0), platform::DRAGDROP_S_DROP);
}

}  // namespace
}  // namespace shellexttest
