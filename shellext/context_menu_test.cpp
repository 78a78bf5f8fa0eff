// The context menus: the entries of each kind of item against what the player can do,
// and each command reaching its handler.
#include "shellext/context_menu.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <set>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "common/folders.h"
#include "platform/paths/paths.h"
#include "platform/shell/drag_drop.h"
#include "platform/shell/shell.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"
#include "shellext/computer_player.h"
#include "tools/name_dlg.h"
#include "shellext/shell_folder.h"
#include "testing/shellext.h"

using namespace device;

namespace shellexttest {
namespace {

using namespace shellext;
using platform::ComPtr;
using platform::Menu;

// A menu on one line: entries by ", ", a sub-menu's in brackets, greyed ones in
// parentheses.
std::string Flat(const Menu& menu) {
  std::string out;
  for (const Menu::Item& item : menu.Items()) {
    if (!out.empty()) out += ", ";
    std::string text = item.IsSeparator() ? "-" : item.text;
    if (item.IsGrayed()) text = "(" + text + ")";
    if (item.popup) text += " [" + Flat(*item.popup) + "]";
    out += text;
  }
  return out;
}

class ContextMenuTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    c_ = Seed(device_);
    Use(device_);
    g_cfNoTransferToSelf = platform::RegisterClipboardFormat(kNoTransferToSelfFormat);
    root_ = ComPtr<platform::IShellFolder>::Attach(new CShellFolder(nullptr, nullptr));
  }
  void TearDown() override {
    root_.Reset();
    LibraryTest::TearDown();
  }

  // The context menu of one item of the root folder.
  ComPtr<platform::IContextMenu> MenuOf(platform::LPCITEMIDLIST item) {
    ComPtr<platform::IContextMenu> menu;
    EXPECT_EQ(root_->GetUIObjectOf(0, item != nullptr ? 1 : 0, item != nullptr ? &item : nullptr,
                                   platform::IID_IContextMenu, nullptr, menu.PutVoid()),
              platform::S_OK);
    return menu;
  }
  std::string Shown(platform::LPCITEMIDLIST item, platform::HRESULT* result = nullptr) {
    Menu menu;
    const platform::HRESULT hr = MenuOf(item)->QueryContextMenu(&menu, 0, 1, 0x7FFF, platform::CMF_NORMAL);
    if (result != nullptr) *result = hr;
    return Flat(menu);
  }
  void Invoke(platform::LPCITEMIDLIST item, int command) {
    platform::CMINVOKECOMMANDINFO info;
    info.lpVerb = platform::VerbFromOffset(static_cast<platform::UINT>(command));
    EXPECT_EQ(MenuOf(item)->InvokeCommand(&info), platform::S_OK);
  }
  // A command on two items of the root at once, which one-item commands refuse.
  void InvokeOnTwo(platform::LPCITEMIDLIST first, platform::LPCITEMIDLIST second, int command) {
    platform::LPCITEMIDLIST two[] = {first, second};
    ComPtr<platform::IContextMenu> menu;
    ASSERT_EQ(root_->GetUIObjectOf(0, 2, two, platform::IID_IContextMenu, nullptr, menu.PutVoid()), platform::S_OK);
    host_.ExpectMessageBox(platform::IDOK, "Please select one item at a time.");
    platform::CMINVOKECOMMANDINFO info;
    info.lpVerb = platform::VerbFromOffset(static_cast<platform::UINT>(command));
    menu->InvokeCommand(&info);
    EXPECT_EQ(host_.pendingAnswers(), 0u);
  }

  platform::ScriptedHost host_;
  MemoryDevice device_;
  Catalogue c_;
  ComPtr<platform::IShellFolder> root_;
};

TEST_F(ContextMenuTest, TheMenuOfEachKindOfItemFollowsThePlayer) {
  const std::string play = "%PLAY%";  // "Play in " + the computer's player, as the player's kind names it
  const std::string jukebox = "Play on Jukebox, Queue on Jukebox, -, " + play + ", -, ";
  const std::string playlists = "Create New Playlist..., -, Evening, Jazz Mix";
  struct Case {
    const char* what;
    std::uint32_t type;
    std::uint32_t kind;
    const char* name;
    std::function<void(MemoryDevice&)> player;
    std::string menu;
  };
  const auto none = [](MemoryDevice&) {};
  const Case cases[] = {
      {"a track", NT_TRACK, 11, "Harbour", none,
       "Play Track [" + jukebox + "Choose playback software...], -, Add to Playlist [" + playlists +
           "], -, Copy to Computer..., &Delete, -, Albums by this Artist..., -, Properties (Edit Tag), Auto-Fill Track Numbers..."},
      // A name's "&" is shown as it stands, not taken for the mark of a key.
      {"a track, a playlist named with &", NT_TRACK, 11, "Harbour",
       [](MemoryDevice& d) { d.AddPlaylist("Rock & Roll", {}); },
       "Play Track [" + jukebox + "Choose playback software...], -, Add to Playlist [" + playlists +
           ", Rock && Roll], -, Copy to Computer..., &Delete, -, Albums by this Artist..., -, Properties (Edit Tag), Auto-Fill Track Numbers..."},
      {"a track, no playlists", NT_TRACK, 11, "Harbour",
       [](MemoryDevice& d) { d.SetCapability(DeviceOp::SupportsPlaylists, 0); },
       "Play Track [" + jukebox +
           "Choose playback software...], -, Copy to Computer..., &Delete, -, Albums by this Artist..., -, "
           "Properties (Edit Tag), Auto-Fill Track Numbers..."},
      {"a track, no playback", NT_TRACK, 11, "Harbour",
       [](MemoryDevice& d) { d.SetCapability(DeviceOp::SupportsPlayback, 0); },
       "Play Track [" + play + ", -, Choose playback software...], -, Add to Playlist [" + playlists +
           "], -, Copy to Computer..., &Delete, -, Albums by this Artist..., -, Properties (Edit Tag), Auto-Fill Track Numbers..."},
      {"a track, no copies to the computer", NT_TRACK, 11, "Harbour",
       [](MemoryDevice& d) { d.SetCapability(DeviceOp::SupportsCopyToComputer, 0); },
       "Add to Playlist [" + playlists + "], -, &Delete, -, Albums by this Artist..., -, Properties (Edit Tag), Auto-Fill Track Numbers..."},
      {"a track, a player with storage media", NT_TRACK, 11, "Harbour",
       [](MemoryDevice& d) { d.SetCapability(DeviceOp::SupportsStorageList, 1); },
       "Add to Playlist [" + playlists +
           "], -, Copy to Computer..., &Delete, -, Albums by this Artist..., -, Properties (Edit Tag), Auto-Fill Track Numbers..."},
      {"a track, an Eigen player", NT_TRACK, 11, "Harbour", [](MemoryDevice& d) { d.Info().modelName = "Eigen 20"; },
       "Add to Playlist [" + playlists +
           "], -, Copy to Computer..., &Delete, -, Albums by this Artist..., -, Properties (Edit Tag), Auto-Fill Track Numbers..."},
      {"a track, no tag index", NT_TRACK, 11, "Harbour",
       [](MemoryDevice& d) { d.SetCapability(DeviceOp::SupportsTagIndex, 0); },
       "Play Track [" + play + ", -, Choose software player...], -, Add to Playlist [" + playlists +
           "], -, Refresh, Rebuild Left Pane Tree, -, Copy to Computer..., Delete"},
      {"a playlist entry", NT_PLITEM, 11, "Harbour", none,
       "Play Track [" + jukebox + "Choose software player...], -, Add to Playlist [" + playlists +
           "], -, Copy to Computer..., Delete [Remove from Playlist Only, Remove and Delete Track], -, "
           "Properties (Edit Tag)..., Auto-Fill Track Numbers..."},
      {"a queue entry", NT_QITEM, 11, "Harbour", none,
       "Add to Playlist [" + playlists + "], Copy to Computer..., -, Skip to this Track, -, Remove from Queue"},
      {"a Quodrel", NT_PLAYLIST, 21, "QL: Fresh", none,
       "Edit Quodrel..., -, Play these Tracks [" + jukebox +
           "Choose software player...], -, Refresh, Rebuild Left Pane Tree, -, Sort, Shuffle, -, "
           "Copy to Computer..., Backup Playlist..., -, Delete, Rename..."},
      {"a playlist", NT_PLAYLIST, 21, "QR: Fresh", none,
       "Play these Tracks [" + jukebox +
           "Choose software player...], -, Refresh, Rebuild Left Pane Tree, -, Sort, Shuffle, -, "
           "Copy to Computer..., Backup Playlist..., -, Delete, Rename..."},
      {"the playlists", NT_LISTS, kListPlaylists, "Playlists", none,
       "New Playlist..., New Quodrel..., -, Backup Playlists..., Restore Playlist..., -, Refresh, "
       "Rebuild Left Pane Tree"},
      {"the playlists, no tag index", NT_LISTS, kListPlaylists, "Playlists",
       [](MemoryDevice& d) { d.SetCapability(DeviceOp::SupportsTagIndex, 0); },
       "New Playlist..., -, Backup Playlists..., Restore Playlist..., -, Refresh, Rebuild Left Pane Tree"},
      {"an artist", NT_CONTAINER, kKindArtistTracks, "Ada Lind", none,
       "Play these Tracks [" + jukebox + "Choose software player...], -, Add to Playlist [" + playlists +
           "], -, Refresh, Rebuild Left Pane Tree, -, Copy to Computer..., Delete"},
      {"an album, no playback", NT_CONTAINER, kKindAlbumTracks, "North Light",
       [](MemoryDevice& d) { d.SetCapability(DeviceOp::SupportsPlayback, 0); },
       "Play these Tracks [" + play + ", -, Choose playback software...], -, Add to Playlist [" + playlists +
           "], -, Refresh, Rebuild Left Pane Tree, -, Copy to Computer..., Delete"},
      {"the active queue", NT_CONTAINER, kKindActiveQueue, "Active Queue", none,
       "Add to Playlist [" + playlists + "], -, Refresh, Rebuild Left Pane Tree, -, Shuffle Queue, Clear Queue"},
      {"the search", NT_CONTAINER, kKindSearch, "Search", none,
       "Refresh, Rebuild Left Pane Tree, -, New Simple Search..., New Advanced Search..."},
      {"the audio tracks", NT_CONTAINER, kKindAudioTracks, "Audio Tracks", none, "Refresh, Rebuild Left Pane Tree"},
      {"a storage medium", NT_MEMSEG, 7, "Internal", none, "Refresh, Rebuild Left Pane Tree, -, (Paste Tracks)"},
      {"the device information", NT_INFO, 0, "Device Information", none,
       "Refresh, Rebuild Left Pane Tree, -, Change Owner Name..., Synchronize Time to PC"},
      {"the device information, no clock", NT_INFOROW, 0, "Owner", [](MemoryDevice& d) { d.Info().hasClock = 0; },
       "Refresh, Rebuild Left Pane Tree, -, Change Owner Name..., (Synchronize Time to PC)"},
      {"a data folder", NT_DATAFOLDER, 31, "Documents", none,
       "New Folder..., -, Refresh, Rebuild Left Pane Tree, -, Copy to Computer..., -, Delete, Rename..."},
      {"a data file", NT_DATA, 32, "readme.txt", none,
       "Refresh, Rebuild Left Pane Tree, -, Copy to Computer..., -, Delete, Rename..."},
      {"a notes folder", NT_NOTEFOLDER, 41, "Notes", none,
       "New Note..., New Folder..., -, Synchronize with [Google News, Microsoft Outlook], -, Refresh, "
       "Rebuild Left Pane Tree, -, Delete"},
      {"a note", NT_NOTE, 42, "Shopping", none, "Edit Note..., -, Refresh, Rebuild Left Pane Tree, -, Delete"},
      {"a contacts folder", NT_CONTACTFOLDER, 51, "Contacts", none,
       "New Contact..., -, Synchronize with [vCard Folder (Default Contact Folder), vCard Folder "
       "(Choose Folder)], View Synchronization Log, -, Refresh, Rebuild Left Pane Tree, -, Delete"},
      {"a contact", NT_CONTACT, 52, "Mara Quill", none,
       "Edit Contact..., -, Refresh, Rebuild Left Pane Tree, -, Delete"},
      {"a radio preset", NT_FREQ, 61, "City FM", none, "Refresh"},
      {"a text row", NT_MESSAGE, 0, "Nothing here", none, "Refresh, Rebuild Left Pane Tree"},
  };
  for (const Case& c : cases) {
    MemoryDevice player;
    Seed(player);
    c.player(player);
    Use(player);
    std::string name;
    GetDefaultPlayerName(name);
    std::string want = c.menu;
    for (std::size_t at; (at = want.find(play)) != std::string::npos;) want.replace(at, play.size(), "Play in " + name);
    EXPECT_EQ(Shown(Folder(c.type, c.kind, c.name)), want) << c.what;
  }
  Use(device_);
  EXPECT_EQ(Shown(nullptr), "Refresh, Rebuild Left Pane Tree, -, (Paste Tracks)") << "no item";
  const std::vector<std::uint8_t> foreign = {4, 0, 1, 2, 0, 0};
  platform::LPITEMIDLIST list = platform::ItemIdListFromBytes(foreign.data(), foreign.size());
  EXPECT_EQ(Shown(list), "Refresh, Rebuild Left Pane Tree, -, (Paste Tracks)") << "a list that is not the library's";
  platform::FreeItemIdList(list);
}

// Paste Tracks can be chosen while the clipboard holds files, not the player's own items.
TEST_F(ContextMenuTest, PasteTracksFollowsTheClipboard) {
  platform::LPCITEMIDLIST internal = Folder(NT_MEMSEG, 7, "Internal");
  host_.SetClipboardFiles({"/music/a.mp3"});
  EXPECT_EQ(Shown(internal), "Refresh, Rebuild Left Pane Tree, -, Paste Tracks");
  struct Own : platform::FilesOffer {
    using FilesOffer::FilesOffer;
    std::vector<std::string> Formats() override {
      return {std::string(kNoTransferToSelfFormat), std::string(platform::kUriListFormat)};
    }
  };
  host_.SetClipboardOffer(std::make_shared<Own>(std::vector<std::string>{"/tmp/x.mp3"}));
  EXPECT_EQ(Shown(internal), "Refresh, Rebuild Left Pane Tree, -, (Paste Tracks)");

  // Pasted through the menu of a storage medium (as the tree shows it), the files go into
  // that medium; through the root's own menu, the player asks for a medium.
  device_.SetCapability(DeviceOp::SupportsStorageList, 1);
  host_.SetClipboardFiles({"/music/a.mp3"});
  const std::string sent = InstallLauncher("cp \"$1\" \"$0.list.tmp\" && mv \"$0.list.tmp\" \"$0.list\"") + ".list";
  Invoke(internal, 3065);
  for (int i = 0; i < 500 && !std::filesystem::exists(sent); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::ifstream in(sent);
  EXPECT_NE(std::string(std::istreambuf_iterator<char>(in), {}).find("a.mp3"), std::string::npos);
  host_.ExpectMessageBox(platform::IDOK, "Please paste files to either the Internal Memory or SmartMedia Card folders.");
  Invoke(nullptr, 3065);
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

// Ids are the resource's plus the first id; the answer is the largest offset used + 1,
// the playlist entries included; a menu without a folder adds nothing.
TEST_F(ContextMenuTest, TheAnswerCountsTheOffsetsUsed) {
  platform::HRESULT hr = 0;
  Shown(Folder(NT_TRACK, 11, "Harbour"), &hr);
  EXPECT_EQ(hr, kPlaylistCommandFirst + 2 + 1);
  Shown(Folder(NT_NOTE, 42, "Shopping"), &hr);
  EXPECT_EQ(hr, 3044 + 1);
  Menu menu;
  menu.Append(platform::MF_STRING, 1, "The host's own");
  ASSERT_EQ(MenuOf(Folder(NT_CONTACT, 52, "Mara Quill"))->QueryContextMenu(&menu, 1, 100, 0x7FFF, 0), 3044 + 1);
  EXPECT_EQ(Flat(menu), "The host's own, Edit Contact..., -, Refresh, Rebuild Left Pane Tree, -, Delete");
  EXPECT_NE(menu.Find(3044 + 100), nullptr);
  auto* bare = new CContextMenu(nullptr, 0, nullptr);
  Menu nothing;
  EXPECT_EQ(bare->QueryContextMenu(&nothing, 0, 1, 0x7FFF, 0), platform::S_OK);
  EXPECT_EQ(nothing.GetItemCount(), 0);
  ComPtr<platform::IShellExtInit> init;
  EXPECT_EQ(bare->QueryInterface(platform::IID_IShellExtInit, init.PutVoid()), platform::S_OK);
  EXPECT_EQ(init->Initialize(nullptr, nullptr, nullptr), platform::S_OK);
  bare->Release();
}

// An Add to Playlist entry names the playlist its own menu listed: a menu that listed none
// knows no entry, and a playlist deleted since is refused, never another one filled instead.
TEST_F(ContextMenuTest, AddToPlaylistEntriesBelongToTheirMenu) {
  platform::LPITEMIDLIST mirror = Folder(NT_TRACK, 0, "Mirror");
  reinterpret_cast<ShellItemData*>(mirror)->id.Assign(c_.mirror);
  auto choose = [](platform::IContextMenu* menu, int command) {
    platform::CMINVOKECOMMANDINFO info;
    info.lpVerb = platform::VerbFromOffset(static_cast<platform::UINT>(command));
    EXPECT_EQ(menu->InvokeCommand(&info), platform::S_OK);
  };
  const int evening = kPlaylistCommandFirst + 1, jazzMix = kPlaylistCommandFirst + 2;
  ComPtr<platform::IContextMenu> shown = MenuOf(mirror);
  Menu popup;
  shown->QueryContextMenu(&popup, 0, 1, 0x7FFF, 0);

  host_.ExpectMessageBox(platform::IDOK, "Unknown command: 0x1772.\nPlease use the right-click context menu.");
  choose(MenuOf(mirror).Get(), jazzMix);

  device_.DeletePlaylist(c_.jazzMix);
  host_.ExpectMessageBox(platform::IDOK, "That playlist is no longer on the player.");
  choose(shown.Get(), jazzMix);
  EXPECT_EQ(device_.PlaylistItems(c_.evening), (std::vector<KernelId>{c_.harbour, c_.opening}));

  host_.ExpectMessageBox(platform::IDOK, "1 track added to playlist Evening.");
  choose(shown.Get(), evening);
  EXPECT_EQ(device_.PlaylistItems(c_.evening), (std::vector<KernelId>{c_.harbour, c_.opening, c_.mirror}));
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

TEST_F(ContextMenuTest, AVerbGivenAsTextIsRefused) {
  platform::CMINVOKECOMMANDINFO info;
  info.lpVerb = "properties";
  EXPECT_EQ(MenuOf(Folder(NT_TRACK, 11, "Harbour"))->InvokeCommand(&info), platform::E_INVALIDARG);
  EXPECT_TRUE(host_.prompts().empty());
}

// The commands that the menus' texts name, each reaching the player; the name dialog
// says what is being named.
TEST_F(ContextMenuTest, RenameNewFolderSortShuffleOwnerAndTime) {
  auto name = [this](const char* text, std::string caption) {
    host_.ExpectDialog(CNameDlg::kTemplateId, [text, caption](platform::DialogDriver& d) {
      EXPECT_EQ(d.Caption(), caption);
      d.Type(CNameDlg::kNameId, text);
      d.Ok();
    });
  };
  name("  Evening Two ", "Playlist Name");
  Invoke(Folder(NT_PLAYLIST, c_.evening.word[0], "Evening"), 4000);
  EXPECT_EQ(device_.GetPlaylistName(c_.evening), "Evening Two");
  // Another playlist's name is refused as "New Playlist..." refuses it.
  name(" Evening Two", "Playlist Name");
  host_.ExpectMessageBox(platform::IDOK, "Playlist 'Evening Two' already exists.");
  Invoke(Folder(NT_PLAYLIST, c_.jazzMix.word[0], "Jazz Mix"), 4000);
  EXPECT_EQ(device_.GetPlaylistName(c_.jazzMix), "Jazz Mix");

  name("notes/2024", "File Name");
  const KernelId readme = [&] {
    KernelId item;
    for (int n = device_.GetFirstDataItem(c_.documents, item); n != 0; n = device_.GetNextDataItem(c_.documents, item)) {
      if (device_.GetDataItemName(item) == "readme.txt") return item;
    }
    return KernelId();
  }();
  platform::LPITEMIDLIST file = Folder(NT_DATA, readme.word[0], "readme.txt");
  reinterpret_cast<ShellItemData*>(file)->id.Assign(readme);
  Invoke(file, 4000);
  EXPECT_EQ(device_.GetDataItemName(readme), "notes2024");  // one part of a path

  name("list.csv", "File Name");  // taken in that folder
  host_.ExpectMessageBox(platform::IDOK, "An item named list.csv already exists.");
  Invoke(file, 4000);

  name("Archive", "Folder Name");
  platform::LPITEMIDLIST documents = Folder(NT_DATAFOLDER, c_.documents.word[0], "Documents");
  reinterpret_cast<ShellItemData*>(documents)->id.Assign(c_.documents);
  Invoke(documents, 4045);
  std::vector<std::string> names;
  KernelId item;
  for (int n = device_.GetFirstDataItem(c_.documents, item); n != 0; n = device_.GetNextDataItem(c_.documents, item)) {
    names.push_back(device_.GetDataItemName(item));
  }
  EXPECT_NE(std::find(names.begin(), names.end(), "Archive"), names.end());

  name("Ideas", "Folder Name");
  platform::LPITEMIDLIST notes = Folder(NT_NOTEFOLDER, device_.NotesRoot().word[0], "Notes");
  reinterpret_cast<ShellItemData*>(notes)->id.Assign(device_.NotesRoot());
  Invoke(notes, 4045);
  bool ideas = false;
  for (int n = device_.GetFirstNote(device_.NotesRoot(), item); n != 0; n = device_.GetNextNote(device_.NotesRoot(), item)) {
    ideas = ideas || (device_.IsNoteFolder(item) != 0 && device_.GetNoteName(item) == "Ideas");
  }
  EXPECT_TRUE(ideas);

  // Sort: the player's default order (artist, album, number).
  const KernelId mix = device_.AddPlaylist("Mix", {c_.mirror, c_.opening, c_.longRoad, c_.harbour});
  Invoke(Folder(NT_PLAYLIST, mix.word[0], "Mix"), 3021);
  EXPECT_EQ(device_.PlaylistItems(mix), (std::vector<KernelId>{c_.harbour, c_.longRoad, c_.opening, c_.mirror}));
  Invoke(Folder(NT_PLAYLIST, mix.word[0], "Mix"), 3080);
  std::vector<KernelId> shuffled = device_.PlaylistItems(mix);
  EXPECT_EQ(shuffled.size(), 4u);

  name("Ada", "Owner Name");
  Invoke(Folder(NT_INFO, 0, "Device Information"), 3046);
  EXPECT_EQ(device_.GetOwnerName(), "Ada");

  const auto before = std::time(nullptr);
  Invoke(Folder(NT_INFO, 0, "Device Information"), 3028);
  EXPECT_GE(device_.GetDeviceTime(), before);
  device_.Info().hasClock = 0;
  host_.ExpectMessageBox(platform::IDOK, "This player has no clock.");
  Invoke(Folder(NT_INFO, 0, "Device Information"), 3028);
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

// New Note... and New Contact...: a name given (asked again while blank), an existing one
// refused; a contact's first field holds at most 260 bytes of its name.
TEST_F(ContextMenuTest, NewNotesAndContacts) {
  std::string caption = "Note Name";
  auto name = [this, &caption](std::vector<std::string> texts) {
    for (std::size_t i = 0; i < texts.size(); ++i) {
      host_.ExpectDialog(CNameDlg::kTemplateId, [t = texts[i], caption](platform::DialogDriver& d) {
        EXPECT_EQ(d.Caption(), caption);
        d.Type(CNameDlg::kNameId, t);
        d.Ok();
      });
    }
  };
  platform::LPITEMIDLIST notes = Folder(NT_NOTEFOLDER, 0, "Notes");
  reinterpret_cast<ShellItemData*>(notes)->id.Assign(device_.NotesRoot());
  name({"   ", " Groceries "});
  Invoke(notes, 3043);
  std::vector<std::string> names;
  KernelId item;
  for (int n = device_.GetFirstNote(device_.NotesRoot(), item); n != 0; n = device_.GetNextNote(device_.NotesRoot(), item)) {
    names.push_back(device_.GetNoteName(item));
  }
  EXPECT_NE(std::find(names.begin(), names.end(), "Groceries"), names.end());
  name({"Shopping"});
  host_.ExpectMessageBox(platform::IDOK, "An item named Shopping already exists.");
  Invoke(notes, 3043);

  platform::LPITEMIDLIST contacts = Folder(NT_CONTACTFOLDER, 0, "Contacts");
  reinterpret_cast<ShellItemData*>(contacts)->id.Assign(device_.ContactsRoot());
  const std::string longName(300, 'c');
  caption = "Contact Name";
  name({longName});
  Invoke(contacts, 3043);
  bool found = false;
  for (int n = device_.GetFirstContact(device_.ContactsRoot(), item); n != 0;
       n = device_.GetNextContact(device_.ContactsRoot(), item)) {
    if (device_.GetContactName(item) != longName) continue;
    ContactRecord record;
    device_.GetContactRecord(item, record);
    found = record.field[0].GetText() == std::string(260, 'c');
  }
  EXPECT_TRUE(found);

  host_.ExpectMessageBox(platform::IDOK, "Cannot create new items in this folder.");
  Invoke(Folder(NT_DATAFOLDER, 3, "Documents"), 3043);
  InvokeOnTwo(notes, contacts, 3043);
}

// Every entry of every menu reaches a handler: chosen on an item of its menu's kind, with
// every question answered No and every dialog and picker cancelled, none answers
// "Unknown option" but the two the design leaves so, and none fails.
TEST_F(ContextMenuTest, EveryEntryOfTheMenusReachesItsHandler) {
  struct Declining : platform::Host {
    int MessageBox(const std::string& text, const std::string&, platform::UINT flags) override {
      texts.push_back(text);
      const std::vector<int> buttons = platform::MessageBoxButtons(flags);
      for (int no : {platform::IDNO, platform::IDCANCEL}) {
        if (std::find(buttons.begin(), buttons.end(), no) != buttons.end()) return no;
      }
      return platform::IDOK;
    }
    std::vector<std::string> texts;
  };
  Declining declining;
  platform::SetCurrentHost(&declining);
  platform::ShellOpenRecording opened;
  const std::set<std::string> allowed = {"Unknown option: 3056", "Unknown option: 3057"};
  device_.EnqueueTrack(c_.mirror);
  device_.AddPlaylist("QL: Fresh", {c_.longRoad});
  // Items as their folders list them: {folder path, item}.
  const std::vector<std::pair<std::vector<std::string>, std::string>> items = {
      {{"Audio Tracks"}, "Ada Lind - North Light - 01 - Harbour"},
      {{"Playlists", "Evening"}, "Ada Lind - North Light - 01 - Harbour"},
      {{"Active Queue"}, ""},  // its first entry
      {{"Playlists"}, "QL: Fresh"},
      {{}, "Playlists"},
      {{}, "Active Queue"},
      {{"Artists"}, "Ada Lind"},
      {{"Albums"}, "North Light"},
      {{}, "Search"},
      {{}, "Audio Tracks"},
      {{}, "Device Information"},
      {{"Data Files"}, "Documents"},
      {{"Data Files"}, "top.txt"},
      {{}, "Notes"},
      {{"Notes"}, "Shopping"},
      {{}, "Contacts"},
      {{"Contacts"}, "Mara Quill"},
      {{"FM Radio Tuner"}, "88.50 MHz"},
  };
  std::vector<platform::LPITEMIDLIST> owned;
  for (const auto& [path, name] : items) {
    platform::LPCITEMIDLIST folderList = path.empty() ? nullptr : At(path);
    platform::LPCITEMIDLIST list = name.empty() ? nullptr : Child(folderList, name);
    if (list == nullptr) {
      const std::vector<ShellItemData> listed = Items(folderList);
      ASSERT_FALSE(listed.empty());
      owned.push_back(MakeList(listed.front()));
      list = owned.back();
    }
    ComPtr<platform::IShellFolder> folder = root_;
    if (folderList != nullptr) root_->BindToObject(folderList, nullptr, platform::IID_IShellFolder, folder.PutVoid());
    ComPtr<platform::IContextMenu> menu;
    ASSERT_EQ(folder->GetUIObjectOf(0, 1, &list, platform::IID_IContextMenu, nullptr, menu.PutVoid()), platform::S_OK);
    Menu popup;
    menu->QueryContextMenu(&popup, 0, 1, 0x7FFF, 0);
    std::vector<platform::UINT> commands;
    std::function<void(const Menu&)> collect = [&](const Menu& m) {
      for (const Menu::Item& e : m.Items()) {
        if (e.popup) collect(*e.popup);
        if (e.IsChoosable()) commands.push_back(e.id);
      }
    };
    collect(popup);
    for (platform::UINT command : commands) {
      declining.texts.clear();
      platform::CMINVOKECOMMANDINFO info;
      info.lpVerb = platform::VerbFromOffset(command - 1);
      EXPECT_EQ(menu->InvokeCommand(&info), platform::S_OK);
      for (const std::string& text : declining.texts) {
        EXPECT_TRUE((text.rfind("Unknown option", 0) != 0 || allowed.count(text) != 0) &&
                    text.find("Unknown command") == std::string::npos &&
                    text.find("Please do this operation in the right pane") == std::string::npos)
            << name << ", " << (command - 1) << ": " << text;
      }
    }
  }
  for (platform::LPITEMIDLIST list : owned) platform::FreeItemIdList(list);
  platform::SetCurrentHost(&host_);
}

TEST_F(ContextMenuTest, CommandsWithoutAnOperationOrASelection) {
  const struct {
    int command;
    std::uint32_t type;
    const char* message;
  } cases[] = {
      {3010, NT_MEMSEG, "Unknown option: 3010"},
      {3095, NT_PLAYLIST, "Unknown option: 3095"},
      {3056, NT_NOTEFOLDER, "Unknown option: 3056"},
      {3057, NT_NOTEFOLDER, "Unknown option: 3057"},
      {4000, NT_NOTE, "This item cannot be renamed."},
      {4045, NT_CONTACTFOLDER, "Cannot create new items in this folder."},
      {3021, NT_CONTAINER, "Please select a playlist."},
      {kPlaylistCommandFirst + 1, NT_TRACK, "Unknown command: 0x1771.\nPlease use the right-click context menu."},
  };
  for (const auto& c : cases) {
    host_.ExpectMessageBox(platform::IDOK, c.message);
    Invoke(Folder(c.type, 5, "Something"), c.command);
  }
  // Every command that works on items says so when none are given.
  for (int command : {3035, 4000, 4045, 3021, 4010}) {
    host_.ExpectMessageBox(platform::IDOK, "No items were selected.");
    Invoke(nullptr, command);
  }
  // Renaming more than one item at a time.
  InvokeOnTwo(Folder(NT_PLAYLIST, 1, "A"), Folder(NT_PLAYLIST, 2, "B"), 4000);
}

}  // namespace
}  // namespace shellexttest
