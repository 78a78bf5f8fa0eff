// The tray icon and its menu: the icon's picture and tooltip, the menu built for a right
// click, and its commands. Members of OmbrixManagerWnd; they run on its thread.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <system_error>

#include "common/identity.h"
#include "common/settings.h"
#include "device/sortable.h"
#include "device/track_names.h"
#include "manager/manager_wnd.h"
#include "manager/option_pages.h"
#include "manager/utilities.h"
#include "options/tree_prop_sheet.h"
#include "options/volume_dialog.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "platform/ui/desktop.h"
#include "web/http/http_server.h"
#include "device/stream_playlist.h"

namespace manager {

using namespace web;

using namespace device;

namespace {

constexpr int kIconConnected = 189;
constexpr int kIconDisconnected = 190;
constexpr std::size_t kTooltipBytes = 63;

// The file manager's command line: two panes, a new window, on the player's namespace
// folder under My Computer.
constexpr const char* kPlayerFolderParameters =
    "/e,/n,::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{6E3F1B27-C48A-4D05-9B7E-52A0F8C3D1"
    "31}";

// The short name of the hosted player that the menu's items end with: the product's
// family word ("Jukebox" of "Ombrix Jukebox").
std::string DeviceLabel() {
  const std::string& product = g_ProductIdentity.productName;
  const std::size_t space = product.find(' ');
  return space == std::string::npos ? product : product.substr(space + 1);
}

}  // namespace

std::string FindFileManager(const std::filesystem::path& programFolder, std::string_view pathVariable) {
  if (!programFolder.empty()) {
    const std::filesystem::path beside = programFolder / "shellhost";
    if (::access(beside.c_str(), X_OK) == 0) return beside.string();
  }
  std::string_view dirs = pathVariable;
  while (!dirs.empty()) {
    const std::size_t colon = dirs.find(':');
    const std::string dir(dirs.substr(0, colon));
    dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
    const std::string candidate = (dir.empty() ? "." : dir) + "/shellhost";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

namespace {

// The file manager of this program: beside it, else on PATH.
std::string FindThisProgramsFileManager() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  const char* path = std::getenv("PATH");
  return manager::FindFileManager(ec ? std::filesystem::path() : self.parent_path(), path != nullptr ? path : "");
}

template <class F>
auto Quietly(F&& f, decltype(f()) fallback) -> decltype(f()) {
  try {
    return f();
  } catch (const std::exception&) {
    return fallback;
  }
}

}  // namespace

void OmbrixManagerWnd::UpdateTrayIcon(int action) {
  const int presence = device_ ? 1 : 0;
  const int connected = device_ ? (Quietly([&] { return device_->IsConnected(); }, 0) != 0 ? 1 : 0) : 0;
  if (presence == cachedDriverPresence_ && connected == cachedConnection_) return;
  if (presence != cachedDriverPresence_) {
    RemoveTrayIcon();
    action = platform::NIM_ADD;
  }
  cachedDriverPresence_ = presence;
  cachedConnection_ = connected;
  if (!device_ || (mask_ & kInstallJukeboxTray) == 0) return;

  const int length = NowPlayingLength();
  char buffer[1024];
  std::snprintf(buffer, sizeof buffer, "%s\nNow Playing: %s (%d:%02d)", "Dozi Digital Jukebox",
                NowPlayingText().c_str(), length / 60, length % 60);
  std::string tip(buffer);
  tip.resize(platform::Utf8PrefixLength(tip, kTooltipBytes));
  const int model = Quietly([&] { return device_->IsConnectedModel("Dozi"); }, 0);
  tray_.tooltip = tip;
  tray_.icon = model != 0 ? kIconConnected : kIconDisconnected;
  tray_.picture = model != 0 ? kTrayIconConnected : kTrayIconDisconnected;
  if (action == platform::NIM_ADD) {
    tray_.shown = true;
    ++tray_.adds;
  } else if (tray_.shown) {
    ++tray_.modifies;
  }
  platform::TrayIcon icon{hwnd_, TRAY_ICON_ID, WM_TRAYNOTIFY, tray_.picture, tray_.tooltip};
  platform::ShellNotifyIcon(action == platform::NIM_ADD ? platform::NIM_ADD : platform::NIM_MODIFY, icon);
}

void OmbrixManagerWnd::RemoveTrayIcon() {
  if (!tray_.shown) return;
  tray_.shown = false;
  ++tray_.deletes;
  platform::TrayIcon icon{hwnd_, TRAY_ICON_ID, WM_TRAYNOTIFY, {}, {}};
  platform::ShellNotifyIcon(platform::NIM_DELETE, icon);
}

platform::LRESULT OmbrixManagerWnd::OnTrayNotify(platform::WPARAM iconId, platform::LPARAM mouseMessage) {
  const auto id = static_cast<platform::UINT>(iconId);
  if (mouseMessage == platform::WM_LBUTTONDBLCLK && id == TRAY_ICON_ID) {
    OpenPlayerFolder();
  } else if (mouseMessage == platform::WM_RBUTTONDOWN) {
    lastTrayIconId_ = id;
    const platform::Menu menu = BuildTrayMenu(id);
    const platform::Point at = platform::GetCursorPos();
    platform::TrackPopupMenu(menu, platform::TPM_RIGHTBUTTON, at.x, at.y, hwnd_);
    platform::PostMessage(hwnd_, platform::WM_NULL, 0, 0);
  }
  return 0;
}

platform::Menu OmbrixManagerWnd::BuildTrayMenu(platform::UINT iconId) {
  const ProductIdentity& product = g_ProductIdentity;
  KernelDevice* device = iconId == TRAY_ICON_ID ? device_.get() : nullptr;
  const std::string label = device != nullptr ? platform::MenuLiteral(DeviceLabel()) : std::string();
  const bool browse = iconId == TRAY_ICON_ID;
  const int connectedModel = device != nullptr ? Quietly([&] { return device->IsConnectedModel("Dozi"); }, 0) : 0;
  const bool autoConnect = device != nullptr && Quietly([&] { return device->IsAutoConnect(); }, 0) != 0;

  platform::Menu menu;
  if (!autoConnect) {
    menu.Append(platform::MF_STRING, ID_TRAY_CONNECT, "Connect " + label);
    menu.Append(platform::MF_STRING, ID_TRAY_DISCONNECT, "Disconnect " + label);
    menu.AppendSeparator();
  }
  if (device != nullptr && Quietly([&] { return device->SupportsEject(); }, 0) != 0) {
    menu.Append(platform::MF_STRING, ID_TRAY_EJECT, "Eject " + label);
    menu.AppendSeparator();
  }
  menu.Append(platform::MF_STRING, ID_TRAY_OPEN, "Open " + product.productName + " ...");
  if (browse) menu.Append(platform::MF_STRING, ID_TRAY_BROWSE, "Browse " + product.webServerName + " ...");

  if (device != nullptr) {
    KernelId first;
    const int count = Quietly([&] { return device->GetFirstQueueEntry(first); }, 0);
    const bool live = Quietly([&] { return device->SupportsPlayback() != 0 && device->IsConnected() != 0; }, false);
    if (live && count != 0) {
      const int position = Quietly([&] { return device->GetQueuePosition(); }, 0);
      const bool paused = Quietly([&] { return device->IsPaused(); }, 0) != 0;
      platform::Menu queue;
      queue.Append(platform::MF_STRING, ID_TRAY_NEXT, "Next Track");
      queue.Append(platform::MF_STRING, ID_TRAY_PREVIOUS, "Previous Track");
      queue.AppendSeparator();
      queue.Append(platform::MF_STRING, ID_TRAY_PLAY, "Play");
      queue.Append(platform::MF_STRING, ID_TRAY_PAUSE, paused ? "Resume" : "Pause");
      queue.Append(platform::MF_STRING, ID_TRAY_STOP, "Stop");
      queue.AppendSeparator();
      queue.Append(platform::MF_STRING, ID_TRAY_VOLUME, "Set Volume");
      // The title tells what the player does now: a queue played out, or stopped, is not
      // playing, whatever entry it stands at.
      const bool stopped = device->PlaybackStoppedNow().value_or(false);
      char title[64];
      if (position >= count) {
        std::snprintf(title, sizeof title, "Active Queue (End Reached)");
      } else if (stopped) {
        std::snprintf(title, sizeof title, "Active Queue (Stopped %d/%d)", std::max(position, 0) + 1, count);
      } else if (paused) {
        std::snprintf(title, sizeof title, "Active Queue (Paused)");
      } else {
        std::snprintf(title, sizeof title, "Active Queue (Playing %d/%d)", position + 1, count);
      }
      menu.AppendPopup(title, std::move(queue));
    }
  }

  menu.AppendSeparator();
  menu.Append(platform::MF_STRING, ID_TRAY_OPTIONS, product.managerName + " Options...");
  menu.Append(platform::MF_STRING, ID_TRAY_ABOUT, "About " + product.managerName + "...");
  menu.AppendSeparator();
  menu.Append(platform::MF_STRING, platform::ID_APP_EXIT, "Exit " + product.managerName);

  if (!autoConnect) {
    const platform::UINT whenConnected = connectedModel != 0 ? platform::MF_GRAYED : platform::MF_ENABLED;
    const platform::UINT whenNot = connectedModel == 0 ? platform::MF_GRAYED : platform::MF_ENABLED;
    menu.EnableItem(ID_TRAY_CONNECT, whenConnected);
    menu.EnableItem(ID_TRAY_EJECT, whenConnected);
    menu.EnableItem(ID_TRAY_DISCONNECT, whenNot);
    menu.EnableItem(ID_TRAY_OPEN, whenNot);
    menu.EnableItem(ID_TRAY_BROWSE, whenNot);
  }
  return menu;
}

void OmbrixManagerWnd::OpenPlayerFolder() {
  const std::string fileManager = FindThisProgramsFileManager();
  if (fileManager.empty() || !ShellOpen(platform::FromPosixPath(fileManager), kPlayerFolderParameters)) {
    ShowMessageBox("The player's folder cannot be opened: its window program (shellhost) is not installed.",
                   platform::MB_ICONINFORMATION);
  }
}

void OmbrixManagerWnd::OnTrayCommand(platform::UINT id) {
  const bool iconMatches = lastTrayIconId_ == TRAY_ICON_ID;
  KernelDevice* device = device_.get();
  const bool live = device != nullptr && Quietly([&] { return device->IsConnected(); }, 0) != 0;
  // A device operation runs like a request: requests arriving while it pumps wait.
  auto run = [&](const std::function<void()>& operation) {
    try {
      if (server_) {
        server_->RunHoldingRequests(hwnd_, operation);
      } else {
        operation();
      }
    } catch (const std::exception& e) {
      ShowMessageBox(e.what(), platform::MB_ICONINFORMATION);
    }
  };
  switch (id) {
    case ID_TRAY_CONNECT:
    case ID_TRAY_DISCONNECT:
    case ID_TRAY_EJECT:
      if (id != ID_TRAY_EJECT && device != nullptr && iconMatches) {
        run([&] { id == ID_TRAY_CONNECT ? device->Connect() : device->Disconnect(); });
      }
      cachedConnection_ = -1;
      UpdateTrayIcon(platform::NIM_MODIFY);
      break;
    case ID_TRAY_OPEN:
      if (iconMatches) OpenPlayerFolder();
      break;
    case ID_TRAY_BROWSE:
      // The port the server listens on, as every stream address names it.
      ShellOpenFile("http://127.0.0.1:" + std::to_string(GetStreamPort()) + "/");
      break;
    case ID_TRAY_ABOUT: {
      platform::PropertySheet sheet(g_ProductIdentity.managerName + " Options");
      sheet.SetFlags(sheet.GetFlags() | platform::PSH_NOAPPLYNOW);
      std::unique_ptr<manager::CManagerOptionAbout> about;
      if (iconMatches && device != nullptr) {
        about = std::make_unique<manager::CManagerOptionAbout>(device);
        sheet.AddPage(about.get());
      }
      sheet.DoModal();
      break;
    }
    case ID_TRAY_PLAY:
      if (live) run([&] { device->PlayQueueCurrent(); });
      break;
    case ID_TRAY_STOP:
      if (live) run([&] { device->StopPlayback(); });
      break;
    case ID_TRAY_PAUSE:
      if (live) run([&] { device->SetPaused(device->IsPaused() == 0 ? 1 : 0); });
      break;
    case ID_TRAY_PREVIOUS:
      if (live) run([&] { device->PlayPreviousInQueue(); });
      break;
    case ID_TRAY_NEXT:
      if (live) run([&] { device->PlayNextInQueue(); });
      break;
    case ID_TRAY_VOLUME:
      if (live) {
        options::VolumeDialog volume(device);
        volume.DoModal();
      }
      break;
    case ID_TRAY_STREAMALL:
      if (iconMatches && device != nullptr) {
        run([&] {
          SortableKernelIdArray ids(device);
          KernelId track;
          for (int more = device->GetFirstAudioTrack(track); more != 0; more = device->GetNextAudioTrack(track)) {
            ids.push_back(track);
          }
          ids.SortByTrackInfo(-1);
          WriteStreamPlaylist(*device, ids);
        });
      }
      break;
    case ID_TRAY_OPTIONS: {
      options::TreePropSheet::CTreePropSheet sheet(g_ProductIdentity.managerName + " Options", 0, 0);
      sheet.SetTreeViewMode(true, true, false);
      sheet.SetFlags(sheet.GetFlags() | platform::PSH_NOAPPLYNOW);
      manager::COptionGeneral general;
      sheet.AddPage(&general);
      std::unique_ptr<manager::VexhalOptionsDlg> web;
      if (iconMatches && http_) {
        web = std::make_unique<manager::VexhalOptionsDlg>(http_.get(), "D");
        sheet.AddPage(web.get());
      }
      std::unique_ptr<manager::CManagerOptionAbout> about;
      if (iconMatches && device != nullptr) {
        about = std::make_unique<manager::CManagerOptionAbout>(device);
        sheet.AddPage(about.get());
      }
      sheet.DoModal();
      break;
    }
    default:
      break;
  }
  RefreshFolderViews();
  UpdateTrayIcon(platform::NIM_MODIFY);
}

}  // namespace manager
