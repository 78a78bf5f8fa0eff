// OmbrixManagerWnd: trayhub's hidden main window. It owns the server side of the request
// road (mapping, semaphores, WM_DEVICEREQUEST), the hosted device, the manager's own
// device client for the web server's threads, the HTTP server, the one-second timer, the
// tray icon's state and the now-playing cache, and it runs the shutdown. Every device
// operation of the manager runs on this window's thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "common/settings.h"
#include "device/kernel_device.h"
#include "device/kernel_device_client.h"
#include "device/request_server.h"
#include "manager/hosted_device.h"
#include "platform/ui/menu.h"
#include "platform/window/window.h"

namespace web {
class HttpServer;
}  // namespace web

namespace manager {

// shellhost stands in for the desktop's file manager: the one in `programFolder`, else the
// first on `pathVariable` (a PATH value); "" when it is not installed.
std::string FindFileManager(const std::filesystem::path& programFolder, std::string_view pathVariable);

constexpr std::uint32_t TRAY_ICON_ID = 0x01000800;

constexpr platform::UINT WM_TRAYNOTIFY = 0x65;
constexpr platform::UINT kTimerTray = 15;
// The tray menu's commands.
constexpr platform::UINT ID_TRAY_CONNECT = 501;
constexpr platform::UINT ID_TRAY_DISCONNECT = 502;
constexpr platform::UINT ID_TRAY_OPEN = 503;
constexpr platform::UINT ID_TRAY_BROWSE = 504;
constexpr platform::UINT ID_TRAY_ABOUT = 506;
constexpr platform::UINT ID_TRAY_PLAY = 507;
constexpr platform::UINT ID_TRAY_STOP = 508;
constexpr platform::UINT ID_TRAY_PAUSE = 509;
constexpr platform::UINT ID_TRAY_PREVIOUS = 510;
constexpr platform::UINT ID_TRAY_NEXT = 511;
constexpr platform::UINT ID_TRAY_VOLUME = 512;
constexpr platform::UINT ID_TRAY_STREAMALL = 523;
constexpr platform::UINT ID_TRAY_OPTIONS = 524;
constexpr platform::UINT ID_TRAY_EJECT = 525;
// The tray icon's pictures: the theme's player, greyed while the player is not connected.
constexpr const char* kTrayIconConnected = "tovarin-player-connected";
constexpr const char* kTrayIconDisconnected = "tovarin-player-disconnected";
// The close path without the confirmation (SIGTERM and the like).
constexpr platform::UINT WM_MANAGERCLOSEQUIET = platform::WM_APP + 1;

// The tray icon as the manager last set it (the host shows it in the notification area).
struct TrayIconState {
  bool shown = false;
  int icon = 0;  // 189 connected, 190 not
  std::string picture;  // the named icon the host shows
  std::string tooltip;
  int adds = 0;
  int modifies = 0;
  int deletes = 0;
};

// Process-wide now-playing cache that the tray tooltip reads.
std::string& NowPlayingText();        // "Playback Stopped" at start
std::uint32_t& NowPlayingTrackId();   // 0 at start, 0xFFFFFFFF after a stop
int& NowPlayingLength();              // seconds

class OmbrixManagerWnd {
 public:
  // Maps the request block and creates the semaphores, reads the install mask and, when
  // it has the driver bit, creates the hosted device with `makeDevice`.
  explicit OmbrixManagerWnd(DeviceFactory makeDevice);
  ~OmbrixManagerWnd();
  OmbrixManagerWnd(const OmbrixManagerWnd&) = delete;
  OmbrixManagerWnd& operator=(const OmbrixManagerWnd&) = delete;

  // Creates the hidden window of the manager's class (registered already); the creation
  // handler does the rest of the set-up. False when no window could be made.
  bool Create();
  platform::HWND GetSafeHwnd() const { return hwnd_; }

  int OnCreate();
  // The close path; `confirm` false skips the question (signals, the quiet close message).
  void OnClose(bool confirm = true);
  platform::LRESULT OnDeviceRequest(platform::WPARAM wParam, platform::LPARAM lParam);
  [[noreturn]] void OnManagerShutdown();
  void OnTimer(platform::UINT_PTR id);
  // The tray icon's clicks: a double click opens the player's folder, the right button
  // the tray menu.
  platform::LRESULT OnTrayNotify(platform::WPARAM iconId, platform::LPARAM mouseMessage);
  // The tray menu as it would be shown for a click on icon `iconId`.
  platform::Menu BuildTrayMenu(platform::UINT iconId);
  // The tray menu's commands (500 to 599).
  void OnTrayCommand(platform::UINT id);
  // The player's folder in the file-manager stand-in; a message when it is not installed.
  void OpenPlayerFolder();
  platform::LRESULT OnNowPlaying(platform::WPARAM wParam, platform::LPARAM lParam);
  platform::LRESULT OnPlaybackStopped(platform::WPARAM wParam, platform::LPARAM lParam);
  void UpdateTrayIcon(int action);
  void RemoveTrayIcon();
  platform::LRESULT WindowProc(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam);

  device::KernelDevice* GetDevice() const { return device_.get(); }
  device::KernelDeviceClient* GetClient() const { return client_.get(); }
  web::HttpServer* GetHttpServer() const { return http_.get(); }
  bool HasRequestServer() const { return server_ != nullptr; }
  std::uint32_t GetInstallMask() const { return mask_; }
  const TrayIconState& GetTrayIcon() const { return tray_; }

 private:
  // The window thread's spin probe: a request written into the block is served without
  // waiting for its message, which then finds nothing left to run.
  static bool ProbeRequests(void* self, platform::SpinProbeCall call);

  std::uint32_t announcedTicket_ = 0;  // the last written request the probe posted for
  int cachedDriverPresence_ = 0;
  int cachedConnection_ = -1;
  std::unique_ptr<device::RequestServer> server_;
  std::unique_ptr<device::KernelDevice> device_;
  std::unique_ptr<device::KernelDeviceClient> client_;
  std::unique_ptr<web::HttpServer> http_;
  std::uint32_t mask_ = 0;
  int closeConfirmationOff_ = 0;
  platform::UINT lastTrayIconId_ = 0;
  platform::UINT taskbarCreated_ = 0;
  platform::HWND hwnd_ = 0;
  TrayIconState tray_;
};

}  // namespace manager
