// HandlerData ("/data/<item id>/<name>.<ext>"): a data file of the player as a download.
// The device copies the item into a temporary file of this request's own, which is sent
// as an attachment named <name>.<ext> and deleted afterwards.
#pragma once

#include "web/http/handler.h"
#include "web/pages/handler_files.h"

namespace device {
class KernelDevice;
}  // namespace device

namespace web {

class HandlerData : public Handler {
 public:
  // Answers from `device`.
  HandlerData(HttpServer* server, device::KernelDevice* device);

  void Handle(const HttpRequest& request, Connection& connection) override;

  void SetCopyWaits(const CopyWaits& waits) { waits_ = waits; }

 private:
  device::KernelDevice* device_;
  CopyWaits waits_;
};

}  // namespace web
