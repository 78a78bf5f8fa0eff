#include "manager/manager_wnd.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>

#include "common/folders.h"
#include "common/identity.h"
#include "common/settings.h"
#include "device/messages.h"
#include "manager/utilities.h"
#include "platform/text/text.h"
#include "device/device_client_error.h"
#include "device/track_names.h"
#include "web/pages/handler_data.h"
#include "web/pages/handler_default.h"
#include "web/pages/handler_stream.h"
#include "web/http/http_exception.h"
#include "web/http/http_server.h"

namespace manager {

using namespace web;

using namespace device;

std::string& NowPlayingText() {
  static std::string text = "Playback Stopped";
  return text;
}

std::uint32_t& NowPlayingTrackId() {
  static std::uint32_t id = 0;
  return id;
}

int& NowPlayingLength() {
  static int length = 0;
  return length;
}

OmbrixManagerWnd::OmbrixManagerWnd(DeviceFactory makeDevice) {
  server_ = RequestServer::Create();
  if (!server_) {
    std::fprintf(stderr, "trayhub: the request block and its semaphores could not be created; "
                         "other programs cannot reach the player\n");
  }
  ReadSettingDword("Kor_InstallResult", mask_);
  if ((mask_ & kInstallJukeboxDriver) != 0 && makeDevice) device_ = makeDevice();
}

OmbrixManagerWnd::~OmbrixManagerWnd() {
  if (hwnd_ != 0) platform::SetSpinProbe(nullptr, nullptr);
  // The web threads use the client: the server goes first.
  http_.reset();
  client_.reset();
  if (hwnd_ != 0 && platform::IsWindow(hwnd_)) platform::DestroyWindow(hwnd_);
}

bool OmbrixManagerWnd::Create() {
  platform::HWND h = platform::CreateWindow(
      g_ProductIdentity.windowClassName, 0,
      [this](platform::HWND window, platform::UINT m, platform::WPARAM w, platform::LPARAM l) -> platform::LRESULT {
        if (hwnd_ == 0) hwnd_ = window;
        return WindowProc(m, w, l);
      });
  if (h == 0) return false;
  hwnd_ = h;
  if (server_) platform::SetSpinProbe(&OmbrixManagerWnd::ProbeRequests, this);
  return true;
}

bool OmbrixManagerWnd::ProbeRequests(void* self, platform::SpinProbeCall call) {
  auto* wnd = static_cast<OmbrixManagerWnd*>(self);
  RequestControl& control = *wnd->server_->control();
  // The proxies post no message while the mark is up. Both sides are sequentially
  // consistent: a proxy that saw the mark wrote its ticket before the mark came down, and
  // the look at the ticket after taking it down sees it.
  if (call == platform::SpinProbeCall::kSpinStarts) control.managerPolling.store(1);
  if (call == platform::SpinProbeCall::kSpinEnds) control.managerPolling.store(0);
  const std::uint32_t ticket = control.requestTicket.load();
  if (ticket == 0 || ticket == wnd->announcedTicket_) return false;
  // Once per request: the message goes through the window, so a request that comes while
  // another runs is held back as its own message would be.
  wnd->announcedTicket_ = ticket;
  platform::PostMessage(wnd->hwnd_, WM_DEVICEREQUEST, 0, 0);
  return true;
}

platform::LRESULT OmbrixManagerWnd::WindowProc(platform::UINT message, platform::WPARAM wParam,
                                               platform::LPARAM lParam) {
  switch (message) {
    case platform::WM_CREATE:
      return OnCreate();
    case platform::WM_CLOSE:
      OnClose(true);
      return 0;
    case WM_MANAGERCLOSEQUIET:
      OnClose(false);
      return 0;
    case platform::WM_DESTROY:
      platform::PostQuitMessage(0);  // the main window is gone: the message loop ends
      return 0;
    case platform::WM_COMMAND:
      if ((wParam & 0xFFFF) == platform::ID_APP_EXIT) {
        platform::SendMessage(hwnd_, platform::WM_CLOSE, 0, 0);
        return 0;
      }
      if ((wParam & 0xFFFF) >= 500 && (wParam & 0xFFFF) <= 599) {
        OnTrayCommand(static_cast<platform::UINT>(wParam & 0xFFFF));
        return 0;
      }
      break;
    case WM_TRAYNOTIFY:
      return OnTrayNotify(wParam, lParam);
    case WM_DEVICEREQUEST:
      return OnDeviceRequest(wParam, lParam);
    case WM_MANAGERSHUTDOWN:
      OnManagerShutdown();
    case platform::WM_TIMER:
      OnTimer(static_cast<platform::UINT_PTR>(wParam));
      return 0;
    case WM_NOWPLAYING:
      return OnNowPlaying(wParam, lParam);
    case WM_PLAYBACKSTOPPED:
      return OnPlaybackStopped(wParam, lParam);
    default:
      if (taskbarCreated_ != 0 && message == taskbarCreated_) {
        cachedDriverPresence_ = 0;
        UpdateTrayIcon(platform::NIM_ADD);
      }
      break;
  }
  return platform::DefWindowProc(hwnd_, message, wParam, lParam);
}

int OmbrixManagerWnd::OnCreate() {
  taskbarCreated_ = platform::RegisterWindowMessage("TaskbarCreated");
  if ((mask_ & kInstallJukeboxDriver) != 0) {
    client_ = std::make_unique<KernelDeviceClient>();
    client_->ConnectToManager(0, KernelId(5), KernelId(1), 0);
    http_ = std::make_unique<HttpServer>();
    auto pages = std::make_unique<HandlerDefault>(http_.get(), client_.get());
    // Pages keep the tracks they read until the player's tracks change, and tell a
    // stopped player from a playing one.
    pages->SetPlayerDevice(device_.get());
    http_->AddHandler(std::move(pages));
    http_->AddHandler(std::make_unique<HandlerStream>(http_.get(), client_.get()));
    http_->AddHandler(std::make_unique<HandlerData>(http_.get(), client_.get()));
    // A device error escaping a handler becomes the device error page.
    http_->SetErrorMapper([](std::exception_ptr error) -> std::optional<HttpException> {
      try {
        std::rethrow_exception(error);
      } catch (const KernelDeviceClientException& e) {
        return DeviceErrorException(static_cast<std::uint32_t>(e.code()), e.source(), e.detail());
      } catch (...) {
        return std::nullopt;
      }
    });
    if (device_) device_->AddNotifyWindow(hwnd_);
    std::uint32_t disabled = 0;
    ReadSettingDword("VX_Disable", disabled);
    if (disabled == 0) {
      // The port every stream address names (VX_PortD, 8047 when unusable).
      if (!http_->Start(GetStreamPort())) {
        ShowMessageBox("Could not start Pallidor HTTP server.  Port was already occupied.",
                       platform::MB_ICONINFORMATION);
      }
    }
  }
  platform::SetTimer(hwnd_, kTimerTray, 1000);
  UpdateTrayIcon(platform::NIM_ADD);
  // Without a desktop tray nobody can click "Connect": the manager gives that command
  // itself once its message loop runs.
  if (device_ && device_->IsAutoConnect() == 0 && !platform::CurrentHost().ShowsTrayIcons()) {
    lastTrayIconId_ = TRAY_ICON_ID;  // as if the manager's own icon had been clicked
    platform::PostMessage(hwnd_, platform::WM_COMMAND, ID_TRAY_CONNECT, 0);
  }
  return 0;
}

void OmbrixManagerWnd::OnClose(bool confirm) {
  std::uint32_t disable = 0;
  ReadSettingDword("Gen_DisableOmbMgrCloseConfirm", disable);
  if (disable != 0) closeConfirmationOff_ = 1;
  if (confirm && closeConfirmationOff_ == 0) {
    const ProductIdentity& id = g_ProductIdentity;
    std::string text = "We recommend that you do not close " + id.managerName + ".\n\n" + id.productName +
                       " needs the Manager to be running to communicate with your player.\n\nDo you still want to "
                       "close " +
                       id.managerName + "?";
    if (ShowMessageBox(text, platform::MB_YESNO | platform::MB_ICONQUESTION) == platform::IDNO) return;
  }
  if (device_) {
    try {
      device_->Disconnect();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "trayhub: disconnecting the player failed: %s\n", e.what());
    }
    if (http_) http_->Stop();
  }
  ResetWorkFolder("tx2pc");
  ResetWorkFolder("lumarest");
  ResetWorkFolder("skarnel");
  RemoveTrayIcon();
  platform::DestroyWindow(hwnd_);
}

platform::LRESULT OmbrixManagerWnd::OnDeviceRequest(platform::WPARAM, platform::LPARAM) {
  if (server_) server_->Serve(device_.get(), hwnd_);
  return 0;
}

void OmbrixManagerWnd::OnManagerShutdown() {
  RemoveTrayIcon();
  std::fflush(nullptr);
  std::quick_exit(1);
}

void OmbrixManagerWnd::OnTimer(platform::UINT_PTR id) {
  if (id != kTimerTray) return;
  cachedConnection_ = -1;
  UpdateTrayIcon(platform::NIM_MODIFY);
}

platform::LRESULT OmbrixManagerWnd::OnNowPlaying(platform::WPARAM wParam, platform::LPARAM) {
  const auto track = static_cast<std::uint32_t>(wParam);
  if (track == NowPlayingTrackId()) return 0;
  NowPlayingTrackId() = track;
  if (device_) {
    KernelId id(track);
    try {
      NowPlayingText() = device_->GetTrackTitle(id);
      NowPlayingLength() = device_->GetTrackLength(id);
    } catch (const std::exception&) {
      NowPlayingText() = "Could not read name of current track.";
    }
  }
  cachedConnection_ = -1;
  UpdateTrayIcon(platform::NIM_MODIFY);
  return 0;
}

platform::LRESULT OmbrixManagerWnd::OnPlaybackStopped(platform::WPARAM, platform::LPARAM) {
  NowPlayingTrackId() = 0xFFFFFFFF;
  NowPlayingText() = "Playback Stopped";
  NowPlayingLength() = 0;
  return 0;
}

}  // namespace manager
