// HandlerStream ("/stream/<item id>/<name>.<ext>"): a track (or data file) of the player
// played over HTTP while the device is still copying it off the player. The extension
// chooses the kind (an audio codec: a track) and the content type; the device copies the
// item into the work folder "skarnel" as <id><ext>, and the file is sent as it grows.
//
// Requests for the same item share one copy: the first asks the device for it, the others
// read along (a browser asks plain and ranged at once), and the copy is deleted when the
// last of its readers is done with it complete, never under another reader. A copy that
// nobody reads while the device still writes it stays for a request that comes soon (a
// browser's short probe is followed by the real request), and is deleted once it is whole
// or has not grown for the stall limit, unless a reader came back meanwhile. A copy that
// fails is deleted, never served again.
//
// Ranges: "bytes=<start>-[<end>]" answers 206 from the start to the end of the item (the
// end is not used), "bytes=-<n>" the last n bytes; a start at or beyond the end is 416.
// User agents containing "RealMedia" always get the whole item.
//
// Each request writes a debug log, "log.txt" in the work folder "skarnel".
#pragma once

#include <memory>

#include "web/http/handler.h"
#include "web/pages/handler_files.h"

namespace device {
class KernelDevice;
}  // namespace device

namespace web {

// The class of a codec code: 2 for audio (codes 1-3 and 5-11), 4 for code 4, else 3.
int GetCodecClass(int codec);

class HandlerStream : public Handler {
 public:
  // Answers from `device`.
  HandlerStream(HttpServer* server, device::KernelDevice* device);
  // Waits for the sweeper's thread; the copies it still watches are deleted.
  ~HandlerStream() override;

  void Handle(const HttpRequest& request, Connection& connection) override;

  void SetCopyWaits(const CopyWaits& waits) { waits_ = waits; }

 private:
  class CopySweeper;

  device::KernelDevice* device_;
  CopyWaits waits_;
  std::unique_ptr<CopySweeper> sweeper_;
};

}  // namespace web
