#include "shellext/context_menu.h"

#include <cstdio>

#include "common/shell_utilities.h"
#include "platform/ui/host.h"
#include "shellext/copy_to_computer.h"
#include "shellext/item_commands.h"
#include "shellext/playlist_commands.h"
#include "shellext/queue_commands.h"
#include "shellext/search_commands.h"
#include "shellext/shell_folder.h"
#include "shellext/tag_commands.h"
#include "shellext/view_commands.h"
#include "tools/contact_sync.h"

using namespace device;

namespace shellext {

using platform::HRESULT;
using platform::S_OK;

namespace {

void Inform(const std::string& text) { ShowMessageBox(text, platform::MB_OK | platform::MB_ICONINFORMATION); }

}  // namespace

CContextMenu::CContextMenu(CShellFolder* folder, platform::UINT count, LPCITEMIDLIST* items) : folder_(folder) {
  if (folder_ != nullptr) folder_->AddRef();
  for (platform::UINT i = 0; items != nullptr && i < count; ++i) items_.push_back(pidls_.Copy(items[i]));
}

CContextMenu::~CContextMenu() {
  for (LPITEMIDLIST list : items_) pidls_.Free(list);
  if (folder_ != nullptr) folder_->Release();
}

HRESULT CContextMenu::QueryInterface(platform::REFIID riid, void** ppv) {
  if (ppv == nullptr) return platform::E_POINTER;
  if (riid == platform::IID_IUnknown || riid == platform::IID_IContextMenu) {
    *ppv = static_cast<platform::IContextMenu*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return platform::E_NOINTERFACE;
}

platform::ULONG CContextMenu::Release() {
  const platform::ULONG n = refs_.Drop();
  if (n == 0) delete this;
  return n;
}

HRESULT CContextMenu::QueryContextMenu(platform::HMENU, platform::UINT, platform::UINT, platform::UINT, platform::UINT) {
  return platform::E_NOTIMPL;  // no entries yet: the view shows its toolbar menu instead
}

HRESULT CContextMenu::InvokeCommand(platform::CMINVOKECOMMANDINFO* info) {
  if (info == nullptr || !platform::VerbIsOffset(info->lpVerb)) return S_OK;
  try {
    Run(static_cast<int>(platform::OffsetOfVerb(info->lpVerb)));
  } catch (const std::exception&) {
    Inform("Please do this operation in the right pane instead.");
  }
  return S_OK;
}

void CContextMenu::Run(int command) {
  // Commands that need no selection.
  switch (command) {
    case 3005: RefreshFolderViews(); return;
    case 3015: PostToFolderViews(kViewCommandActivate); return;
    case 3019: ShuffleActiveQueue(); return;
    case 3023: ShowPlaybackOptions(GetOwnerWindow()); return;
    case 3024: NotifyFixedFoldersUpdated(); return;
    case 3026: OpenAdvancedSearch(); return;
    case 3027: OpenSimpleSearch(); return;
    case 3042: tools::SyncOutlookContacts(Device(), 0); return;
    case 3045: CreateNewPlaylist(); return;
    case 3047: CreateRulePlaylist(); return;
    case 3059: tools::SyncOutlookContacts(Device(), 1); return;
    case 3060: ClearActiveQueue(); return;
    case 3090: ReloadFolderViews(); return;
    case 4030: BackupAllPlaylists(); return;
    case 4040: RestorePlaylist(); return;
    default: break;
  }
  CPidlList selection;
  for (LPITEMIDLIST list : items_) selection.emplace_back(list);  // a bad list throws
  if (selection.empty()) {
    Inform("No items were selected.");
    return;
  }
  switch (command) {
    case 3022: SkipToTrack(selection); return;
    case 3035: DeleteItems(folder_, selection); return;
    case 3037: BackupSelectedPlaylists(selection); return;
    case 3050: PlayOnPlayer(selection); return;
    case 3052: EditRulePlaylist(selection); return;
    case 3055: QueueOnPlayer(selection); return;
    case 3075: PlayOnComputer(selection); return;
    case 3085: RemoveFromPlaylistOrQueue(CPidlLast(folder_ != nullptr ? folder_->OwnList() : nullptr), selection); return;
    case 4010: CopyToComputer(selection); return;
    default: break;
  }
  if (RunTagCommand(command, selection)) return;
  char text[64];
  std::snprintf(text, sizeof text, "Unknown option: %d", command);
  Inform(text);
}

}  // namespace shellext
