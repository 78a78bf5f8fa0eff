#include "device/request_server.h"

#include <cstdio>

#include "common/identity.h"

namespace device {

std::unique_ptr<RequestServer> RequestServer::Create() {
  const ProductIdentity& id = g_ProductIdentity;
  std::unique_ptr<RequestServer> server(new RequestServer);
  bool existed = false;
  server->mapping_ = platform::FileMapping::Create(id.mappingName, kRequestMappingSize, &existed);
  if (!server->mapping_ || existed) return nullptr;
  server->view_ = server->mapping_->Map();
  if (!server->view_ || server->view_.size() < kRequestMappingSize) return nullptr;
  server->taken_ = platform::NamedSemaphore::Create(id.ackSemaphoreName, 0, 1, &existed);
  if (!server->taken_ || existed) return nullptr;
  server->complete_ = platform::NamedSemaphore::Create(id.doneSemaphoreName, 0, 1, &existed);
  if (!server->complete_ || existed) return nullptr;
  server->extended_ = platform::NamedSemaphore::Create(id.extendedSemaphoreName, 0, 1, &existed);
  if (!server->extended_ || existed) return nullptr;
  return server;
}

RequestServer::~RequestServer() = default;

void RequestServer::RunHoldingRequests(platform::HWND window, const std::function<void()>& operation) {
  if (serving_) {  // inside a served request: requests are held already
    operation();
    return;
  }
  struct Hold {
    RequestServer& server;
    platform::HWND window;
    ~Hold() {
      server.serving_ = false;
      if (server.deferred_) {
        server.deferred_ = false;
        platform::PostMessage(window, WM_DEVICEREQUEST, 0, 0);
      }
    }
  } hold{*this, window};
  serving_ = true;
  operation();
}

RequestServer::Outcome RequestServer::Serve(KernelDevice* device, platform::HWND window) {
  if (serving_) {
    deferred_ = true;
    return Outcome::Deferred;
  }
  RequestControl& control = *this->control();
  // Claim first, then take the ticket: a proxy that withdraws the ticket and then finds
  // no claim knows that nothing runs any more.
  control.servingTicket.store(kClaimTicket);
  const std::uint32_t ticket = control.requestTicket.exchange(0);
  if (ticket == 0) {
    control.servingTicket.store(0);
    return Outcome::NoRequest;
  }
  control.servingTicket.store(ticket);
  serving_ = true;
  taken_->Release();

  DeviceRequestBlock* b = block();
  if (b->deviceIndex == 0 && device != nullptr) {
    try {
      device->Dispatch(b);
    } catch (...) {
      // Dispatch answers every failure in the block; nothing may stop the completion.
    }
  }
  b->flags = 0;
  view_.Flush(0, sizeof(DeviceRequestBlock));
  control.answeredTicket.store(ticket);
  if (b->extraWaitMs > 0) extended_->Release();
  complete_->Release();
  control.servingTicket.store(0);
  serving_ = false;

  if (deferred_) {
    deferred_ = false;
    platform::PostMessage(window, WM_DEVICEREQUEST, 0, 0);
  }
  return Outcome::Served;
}

}  // namespace device
