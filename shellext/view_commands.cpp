#include "shellext/view_commands.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <vector>

#include "common/identity.h"
#include "common/settings.h"
#include "common/shell_utilities.h"
#include "device/kernel_device_client.h"
#include "options/family_pages.h"
#include "options/general_pages.h"
#include "options/log_page.h"
#include "options/playback_page.h"
#include "options/player_pages.h"
#include "options/transcoding_pages.h"
#include "options/tree_prop_sheet.h"
#include "options/volume_dialog.h"
#include "platform/shell/desktop_queries.h"
#include "platform/ui/host.h"
#include "shellext/computer_player.h"
#include "shellext/library.h"
#include "shellext/send_files.h"
#include "shellext/shell_view.h"
#include "shellext/synchro.h"
#include "tools/sql_gen_dlg.h"
#include "transfer/opt_transfers.h"

using namespace device;

namespace shellext {

namespace {

// What the playback display showed last; module-wide, as every view shows the same player.
struct PlaybackDisplay {
  std::uint32_t track = 0;
  int elapsed = 0;
  int length = 0;
  std::string title;
  std::string shown;  // the status text it wrote last
};

PlaybackDisplay& Display() {
  static PlaybackDisplay display;
  return display;
}

int Ask(KernelDevice& device, int (KernelDevice::*ask)()) {
  try {
    return (device.*ask)();
  } catch (const std::exception&) {
    return 0;
  }
}

using PageList = std::vector<std::unique_ptr<platform::PropertyPage>>;

template <class Page, class... Args>
void Add(platform::PropertySheet& sheet, PageList& pages, Args&&... args) {
  pages.push_back(std::make_unique<Page>(std::forward<Args>(args)...));
  sheet.AddPage(pages.back().get());
}

// The transfer options page: its place in the sheet is after the player's pages.
void AddTransferOptionsPage(platform::PropertySheet& sheet, PageList& pages) { Add<transfer::OptTransfers>(sheet, pages); }

// Brevlink keeps a jukebox in step with the PC source folders of its options page, which
// only such a player shows.
void RunBrevlink() {
  try {
    if (Device().SupportsTagIndex() == 0) {
      ShowInformation("Brevlink synchronizes jukebox players only.");
      return;
    }
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not set up transfer.", e);
    return;
  }
  RunSynchro(SyncFilesToPlayer);
}

}  // namespace

std::string NowPlayingText(int elapsed, int length, const std::string& title) {
  char text[64];
  std::snprintf(text, sizeof text, "Playing (%d:%02d/%d:%02d)  ", elapsed / 60, elapsed % 60, length / 60, length % 60);
  return text + title;
}

void ResetPlaybackDisplayForTesting() { Display() = PlaybackDisplay(); }

std::string PlaybackStatusText() { return Display().shown; }

// ---- Sheets ----

void RunOptionsSheet(KernelDevice& device, platform::HWND owner) {
  // Its pages ask the desktop the same questions: each reaches it once while it is open.
  platform::DesktopQueryCache desktop;
  options::TreePropSheet::CTreePropSheet sheet(g_ProductIdentity.productName + " Options", owner);
  sheet.SetTreeViewMode(true, true, false);
  sheet.SetFlags(sheet.GetFlags() | platform::PSH_NOAPPLYNOW);
  PageList pages;
  std::string player = "Playback Software";
  try {
    GetDefaultPlayerName(player);
  } catch (const std::exception&) {
    // the player cannot say which program it streams to; the generic name stays
  }
  Add<options::OptGeneral>(sheet, pages, &device, player);
  const int kind = device.GetDeviceIndex();
  if (kind == 5) Add<options::OptZaro>(sheet, pages);
  if (kind == 8) Add<options::OptZaroNX>(sheet, pages);
  if (kind == 1 && device.GetDeviceId().word[0] == 0) Add<options::OptVantroII>(sheet, pages);
  if (Ask(device, &KernelDevice::SupportsTagIndex) != 0) {
    const std::string& word = g_ProductIdentity.deviceWord;
    Add<options::OptJukebox>(sheet, pages, word);
    Add<options::OptJukeboxTagHandling>(sheet, pages, word + "::Tag Handling");
    Add<options::OptJukeboxSynchro>(sheet, pages, word + "::Brevlink");
  }
  AddTransferOptionsPage(sheet, pages);
  Add<options::OptTonavel>(sheet, pages);
  Add<options::OptTransfersTranscode>(sheet, pages);
  if (Ask(device, &KernelDevice::SupportsCopyToComputer) != 0 && Ask(device, &KernelDevice::SupportsStorageList) == 0) {
    Add<options::OptLumarest>(sheet, pages);
  }
  Add<options::OptAbout>(sheet, pages, &device);
  sheet.DoModal();
}

void RunReportsSheet(KernelDevice& device, platform::HWND owner) {
  platform::PropertySheet sheet("Logs and Reports", owner);
  sheet.SetFlags(sheet.GetFlags() | platform::PSH_NOAPPLYNOW);
  PageList pages;
  if (Ask(device, &KernelDevice::SupportsTagIndex) != 0) Add<tools::CSQLGenDlg>(sheet, pages, &device);
  Add<options::CLogDlg>(sheet, pages);
  sheet.DoModal();
}

void ShowPlaybackOptions(platform::HWND owner) {
  platform::DesktopQueryCache desktop;
  platform::PropertySheet sheet(g_ProductIdentity.productName + " Options", owner);
  sheet.SetFlags(sheet.GetFlags() | platform::PSH_NOAPPLYNOW);
  options::OptLumarest page;
  sheet.AddPage(&page);
  sheet.DoModal();
}

// ---- The view's commands ----

bool ViewCommands::Run(int id) {
  switch (id) {
    case kCmdPrevious:
    case kCmdPlay:
    case kCmdNext:
    case kCmdStop:
    case kCmdPause:
    case kCmdMute:
    case kCmdVolume: PlayerCommand(id); return true;
    case kCmdOptions: ShowOptions(); return true;
    case kCmdReports: RunReportsSheet(Device(), GetOwnerWindow()); return true;
    case kCmdSync: RunBrevlink(); return true;
    case kCmdHelp: ShowHelp(); return true;
    case kCmdProperties: view_.ShowProperties(); return true;
    default: return false;
  }
}

void ViewCommands::PressButton(int command, bool pressed) {
  if (view_.browser_ == nullptr) return;
  view_.browser_->SendControlMsg(platform::FCW_TOOLBAR, platform::TB_CHECKBUTTON,
                                 static_cast<platform::WPARAM>(command), pressed ? 1 : 0, nullptr);
}

void ViewCommands::PlayerCommand(int id) {
  KernelDevice& device = Device();
  const char* failure = "";
  try {
    // The queue's ends, as the web page tells them. Back and Next never move the place
    // beyond an end, so the other button always comes back to the queue.
    KernelId first;
    switch (id) {
      case kCmdPrevious: {
        failure = "Could not play previous track in queue.";
        const int count = device.GetFirstQueueEntry(first);
        const int position = device.GetQueuePosition();
        if (count <= 0 || position <= 0) {
          ShowPlayback(count <= 0 ? "Nothing to play: the queue is empty." : "Nothing to play: the start of the queue was reached.");
          return;
        }
        if (position >= count) {
          // Played out (the place at or past the end): back to the last entry.
          device.SetQueuePosition(count - 1);
          device.PlayQueueCurrent();
        } else {
          device.PlayPreviousInQueue();
        }
        PressButton(kCmdPause, false);
        return;
      }
      case kCmdPlay: {
        failure = "Could not play next track in the Active Queue.";
        const int count = device.GetFirstQueueEntry(first);
        if (count == 0) {
          ShowInformation("There are no tracks in the Active Queue.");
          return;
        }
        // A queue that played out (or was stepped back before its start) plays again from
        // its first entry.
        const int position = device.GetQueuePosition();
        if (position < 0 || position >= count) device.SetQueuePosition(0);
        device.PlayQueueCurrent();
        PressButton(kCmdPause, false);
        return;
      }
      case kCmdNext: {
        failure = "Could not play next track in queue.";
        const int count = device.GetFirstQueueEntry(first);
        if (count <= 0 || device.GetQueuePosition() + 1 >= count) {
          ShowPlayback(count <= 0 ? "Nothing to play: the queue is empty." : "Nothing to play: the end of the queue was reached.");
          return;
        }
        device.PlayNextInQueue();
        PressButton(kCmdPause, false);
        return;
      }
      case kCmdStop:
        failure = "Could not stop track.";
        device.StopPlayback();
        ShowPlayback("Playback Stopped");
        PressButton(kCmdPause, false);
        view_.RefreshList();
        return;
      case kCmdPause: {
        failure = "Could not change pause state.";
        const int paused = device.IsPaused() == 0 ? 1 : 0;
        device.SetPaused(paused);
        PressButton(kCmdPause, paused != 0);
        return;
      }
      case kCmdMute: {
        failure = "Could not change mute state.";
        const int muted = device.IsMuted() == 0 ? 1 : 0;
        device.SetMute(muted);
        PressButton(kCmdMute, muted != 0);
        return;
      }
      case kCmdVolume: {
        failure = "Could not open Volume/EQ/EAX configuration.";
        options::VolumeDialog dialog(&device, GetOwnerWindow());
        dialog.DoModal();
        return;
      }
      default: return;
    }
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError(failure, e);
  }
}

void ViewCommands::ShowOptions() {
  RunOptionsSheet(Device(), GetOwnerWindow());
  ApplyListSettings();
}

void ViewCommands::ApplyListSettings() {
  platform::ListViewControl* list = view_.List();
  if (list == nullptr) return;
  std::uint32_t grid = 1;
  ReadSettingDword("Gen_EnableSpreadsheetView", grid);
  std::uint32_t colour = view_.spreadsheetColour_;
  ReadSettingDword("Gen_SpreadsheetColor", colour);
  std::uint32_t fullRow = 1;
  ReadSettingDword("Gen_EnableFullRowSelect", fullRow);
  view_.spreadsheet_ = grid != 0;
  view_.spreadsheetColour_ = colour;
  if (!view_.backgroundPicture_) {
    const bool lines = view_.spreadsheet_ && view_.folderType_ != NT_LISTS;
    list->SetExtendedStyle(platform::LVS_EX_GRIDLINES, lines ? platform::LVS_EX_GRIDLINES : 0);
    list->Invalidate();
  }
  list->SetExtendedStyle(platform::LVS_EX_FULLROWSELECT, fullRow != 0 ? platform::LVS_EX_FULLROWSELECT : 0);
  if (view_.columns_ && view_.externalList_ == nullptr) {
    // "Show all columns" may have changed: the columns as the options now say.
    view_.columns_->SaveLayout();
    view_.columns_ = std::make_unique<ColumnManager>(*list, view_.folderList_);
    if (view_.sortColumn_ >= list->GetColumnCount()) view_.sortColumn_ = 0;
  }
  view_.RefreshList();
}

void ViewCommands::ShowHelp() {
  std::string address;
  // An address that is missing or empty is not opened.
  if (ReadSettingString("URL_Help", address) == 0 || address.empty()) {
    ShowInformation("Could not read url for help page from the registry.");
    return;
  }
  ShellOpenFile(address);
}

// ---- The playback display ----

void ViewCommands::NowPlaying(platform::WPARAM track, platform::LPARAM elapsed) {
  PlaybackDisplay& d = Display();
  d.elapsed = static_cast<int>(elapsed);
  const std::uint32_t id = static_cast<std::uint32_t>(track);
  if (id != d.track) {
    d.track = id;
    d.elapsed = 0;  // a new track starts at 0:00 whatever the notice says
    try {
      const KernelId current(id);
      d.title = Device().GetTrackTitle(current);
      d.length = Device().GetTrackLength(current);
    } catch (const std::exception&) {
      d.title = "Could not read name of current track.";
      d.length = 0;
    }
    RefreshFolderViews();
  }
  ShowPlayback(NowPlayingText(d.elapsed, d.length, d.title));
}

void ViewCommands::PlaybackStopped() {
  // The queue played out: its last entry ended and nothing follows.
  std::string text = "Playback Stopped";
  try {
    KernelDevice& device = Device();
    KernelId first;
    const int count = device.GetFirstQueueEntry(first);
    if (count > 0 && device.GetQueuePosition() >= count) text += ": the end of the queue was reached.";
  } catch (const std::exception&) {
    // the plain text
  }
  ShowPlayback(text);
}

void ViewCommands::ShowPlayback(const std::string& text) {
  Display().shown = text;
  view_.SetStatusText(2, text);
}

}  // namespace shellext
