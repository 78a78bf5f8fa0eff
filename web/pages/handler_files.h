// What the request handlers share: the device they answer from, the message pump of
// their waits, item URLs ("/data/<id>/<name>", "/stream/<id>/<name>") and sending a file
// that the device is still writing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace device {
class KernelDevice;
struct KernelId;
}  // namespace device

namespace web {

class Connection;
class HttpRequest;
class HttpServer;

// "Your <device> is not connected. Connect using <manager> in the systray."
std::string NotConnectedText();
// HttpException 404 with NotConnectedText when there is no device or it is not connected:
// a stream or a download of nothing is never an empty success.
void RequireConnectedItem(device::KernelDevice* device);
// HttpException 404 for an item that the player does not hold.
[[noreturn]] void ThrowNoSuchItem();
// The size of the data file `id`, 404 (ThrowNoSuchItem) when it is a folder or the device
// refuses to answer for it. A size of 0 does not prove the file exists (see
// RequireDownloadable).
std::int64_t DataFileSizeOrNotFound(device::KernelDevice& device, const device::KernelId& id);

// Dispatches the calling thread's pending messages, then sleeps `sleepMs` ms.
void PumpHandlerMessages(int sleepMs = 1);

// Answers a TRACE: the request's own head (without credentials) as plain text.
void WriteTraceEcho(const HttpRequest& request, Connection& connection);

// The part of an item URL after the handler's prefix, without its query, split at its
// last "/" and its file name's last ".".
struct ItemUrl {
  std::string folder;     // "123/" (with its trailing "/"), "" when there is no "/"
  std::string name;       // the file name without its extension
  std::string extension;  // ".mp3" as written, "" when none
};
ItemUrl SplitItemUrl(std::string_view rest);

// The leading decimal digits of the text; 0 when there are none or they overflow.
std::uint64_t ParseLeadingDigits(std::string_view text);

// A lower-cased extension made safe as the end of a file name: letters and digits only,
// at most 16 of them, with its dot; "" when nothing is left.
std::string SafeFileExtension(std::string_view extension);

// How long a handler waits for a device's copy (milliseconds).
struct CopyWaits {
  int retryMs = 15000;     // repeating a download that answers "busy" (2)
  int openMs = 15000;      // for the copy's file to appear
  int stallMs = 15000;     // for a copy that no longer grows
  int idleCheckMs = 1000;  // no growth this long: ask the device whether it still copies
};

// Calls `download` again while it answers 2, for at most `retryMs`; the last answer.
int RunDownload(const std::function<int()>& download, int retryMs);

// The file opened for reading (a descriptor), retrying until it exists or `openMs`
// passed; -1 then.
int OpenWhenPresent(const std::string& windowsPath, int openMs);

// How sending a file that is still being written ended.
enum class CopyState {
  Complete,  // the file reached the expected size
  Failed,    // the file was removed, or stopped growing short of its size
};

// Sends the bytes [start, size) of the open file to the connection, waiting for the
// device to write them: never more than size - start bytes. `log` hears each step.
// FileException (PeerGone) when the peer goes away.
CopyState SendGrowingFile(int fd, Connection& connection, std::int64_t start, std::int64_t size,
                          device::KernelDevice& device, const CopyWaits& waits,
                          const std::function<void(std::string_view)>& log = {});

// A temporary file of one request in the work folder "skarnel" ("data<low id word>-<pid>-
// <serial><ext>"); it and the device's companion file (+ ".tmp") are removed on every
// way out.
class RequestTempFile {
 public:
  RequestTempFile(const device::KernelId& id, std::string_view extension);
  ~RequestTempFile();
  RequestTempFile(const RequestTempFile&) = delete;
  RequestTempFile& operator=(const RequestTempFile&) = delete;
  const std::string& path() const { return path_; }
  int fd = -1;  // closed by the destructor

 private:
  std::string path_;
};

// An empty data file and a missing one both have size 0: only a copy tells them apart.
// ThrowNoSuchItem when the device does not copy the data file `id`.
void RequireEmptyDataFileCopies(device::KernelDevice& device, const device::KernelId& id, std::string_view extension,
                                const CopyWaits& waits);

// Whether the path still names the file that `fd` holds open.
bool IsSameFile(int fd, const std::string& windowsPath);

}  // namespace web
