// HandlerDefault (empty prefix): the selected web skin. Plain skin files are sent as
// they are; pages (".html", ".htm", ".m3u", extension case-sensitive) run through the
// page-template language with the page variables of the request, one page at a time
// under the device's lock (at most 5,000 ms of waiting).
//
// A query "newskin=<name>" selects another skin (VX_Skin) before the page is served,
// when <name> is a skin of the skins folder; any other name changes nothing.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "web/http/handler.h"
#include "web/template/template.h"

namespace device {
class KernelDevice;
class TrackCacheDevice;
}  // namespace device

namespace web {

class HandlerDefault : public Handler {
 public:
  // Answers from `device` (the manager passes its device client).
  HandlerDefault(HttpServer* server, device::KernelDevice* device);

  void Handle(const HttpRequest& request, Connection& connection) override;

  ~HandlerDefault() override;

  // How long a page waits for the device's lock (5,000 ms).
  void SetPageLockWait(std::chrono::milliseconds wait) { lockWait_ = wait; }

  // The device object that holds the player when the handler's device is a proxy of it
  // (trayhub's own client): pages read only what it tells any thread, its
  // CatalogueVersion (the tracks that pages read are kept while it stays, see
  // device/track_cache.h) and PlaybackStoppedNow ("playstate"). Without it the handler's
  // own device tells them; a proxy cannot, so its pages read the tracks afresh and do
  // not tell a stopped player from a playing one.
  void SetPlayerDevice(const device::KernelDevice* player) { player_ = player; }

 private:
  device::KernelDevice* device_;
  const device::KernelDevice* player_ = nullptr;
  std::chrono::milliseconds lockWait_{5000};
  std::unique_ptr<device::TrackCacheDevice> pageDevice_;  // used under the page lock only
};

// The page variables of a request, in this order: hostname (the Host header, or the
// local address and port), devname, devowner, devhw, devfw, stortotal, storfree,
// storused (MB; used = total - free),
// date, vexhalver, volume, paused, pausedcode; then one variable per "name=value" of the
// query ("+" read as a blank, the value through DecodeUrlTokens, stored HTML-escaped,
// with a "<name>_passable" twin in URL tokens); then the search memory
// (slast_quick, slast_simple_*, slast_advanced) by the variable larg1. Texts from the
// request and the device are HTML-escaped.
void SetPageVariables(device::KernelDevice& device, const HttpRequest& request, PageVariables& variables);

// "playstate" and "playstatecode": "Stopped" / "q_stopped" while nothing plays, else
// "Paused" / "q_paused" or "Playing" / "q_playing" by the variable pausedcode. The
// variables "paused" and "pausedcode" only tell a paused player from any other.
void SetPlayStateVariables(bool stopped, PageVariables& variables);

}  // namespace web
