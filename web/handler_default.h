// HandlerDefault (empty prefix): the selected web skin. Plain skin files are sent as
// they are; pages (".html", ".htm", ".m3u", extension case-sensitive) run through the
// page-template language with the page variables of the request, one page at a time
// under the device's lock (at most 5,000 ms of waiting).
//
// A query "newskin=<name>" selects another skin (VX_Skin) before the page is served,
// when <name> is a skin of the skins folder; any other name changes nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "web/handler.h"
#include "web/template.h"

class KernelDevice;
class TrackCacheDevice;

class HandlerDefault : public Handler {
 public:
  // Answers from the server's device client.
  explicit HandlerDefault(HttpServer* server);
  // Answers from `device` (tests, and servers that own a device directly).
  HandlerDefault(HttpServer* server, KernelDevice* device);

  void Handle(const HttpRequest& request, Connection& connection) override;

  ~HandlerDefault() override;

  // How long a page waits for the device's lock (5,000 ms).
  void SetPageLockWait(std::chrono::milliseconds wait) { lockWait_ = wait; }

  // Pages read the tracks through a cache (device/track_cache.h) that lasts while
  // `version` answers the same: the CatalogueVersion of the device that holds the
  // tracks. Without it every page reads the tracks afresh.
  using CatalogueVersionSource = std::function<std::optional<std::uint64_t>()>;
  void SetCatalogueVersion(CatalogueVersionSource version) { catalogueVersion_ = std::move(version); }

 private:
  KernelDevice* device_;
  std::chrono::milliseconds lockWait_{5000};
  CatalogueVersionSource catalogueVersion_;
  std::unique_ptr<TrackCacheDevice> pageDevice_;  // used under the page lock only
};

// The page variables of a request, in this order: hostname (the Host header, or the
// local address and port), devname, devowner, devhw, devfw, stortotal, storfree (MB),
// date, vexhalver, volume, paused, pausedcode; then one variable per "name=value" of the
// query ("+" read as a blank, the value through DecodeUrlTokens, stored HTML-escaped,
// with a "<name>_passable" twin in URL tokens); then the search memory
// (slast_quick, slast_simple_*, slast_advanced) by the variable larg1. Texts from the
// request and the device are HTML-escaped.
void SetPageVariables(KernelDevice& device, const HttpRequest& request, PageVariables& variables);
