#include "web/handler_data.h"

#include <unistd.h>

#include <atomic>

#include "common/folders.h"
#include "device/kernel_device.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "web/http_exception.h"
#include "web/http_request.h"
#include "web/http_tables.h"
#include "web/response.h"

namespace {

// Removes the request's temporary file and the device's companion file on every way out.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (fd_ >= 0) close(fd_);
    platform::RemoveFile(path_);
    platform::RemoveFile(path_ + ".tmp");
  }
  const std::string& path() const { return path_; }
  int fd_ = -1;

 private:
  std::string path_;
};

std::string TemporaryPath(const KernelId& id, std::string_view extension) {
  static std::atomic<unsigned> serial{0};
  std::string folder;
  GetWorkFolder(folder, "skarnel");
  return folder + "data" + std::to_string(static_cast<std::int32_t>(id.word[0])) + "-" +
         std::to_string(getpid()) + "-" + std::to_string(serial++) + SafeFileExtension(extension);
}

}  // namespace

HandlerData::HandlerData(HttpServer* server) : Handler(server, "data"), device_(ServerDevice(server)) {}

HandlerData::HandlerData(HttpServer* server, KernelDevice* device) : Handler(server, "data"), device_(device) {}

void HandlerData::Handle(const HttpRequest& request, Connection& connection) {
  const ItemUrl url = SplitItemUrl(std::string_view(request.url()).substr(GetPrefix().size()));
  const KernelId id = KernelId::FromItemId(ParseLeadingDigits(url.folder));
  const std::string extension = platform::ToLowerAscii(url.extension);
  const int method = request.method();
  if (method != kHttpGet && method != kHttpHead && method != kHttpTrace) throw HttpException(500);
  if (!device_) throw HttpException(500);
  KernelDevice& device = *device_;

  const std::int64_t size = std::max(0, device.GetDataFileSize(id));
  const int contentCode = ContentCodeForExtension(extension);
  const std::string attachment = url.name + url.extension;
  if (method == kHttpTrace) {
    WriteTraceEcho(request, connection);
    return;
  }
  if (method == kHttpHead || size == 0) {
    WriteResponseHeaders(connection, 200, size, contentCode, attachment);
    return;
  }

  // The copy is made before the answer begins, so that a failed copy is a plain error page.
  TemporaryFile file(TemporaryPath(id, extension));
  const int status = RunDownload([&] { return device.DownloadDataFile(id, file.path()); }, waits_.retryMs);
  if (status != 0) throw FileException(FileException::Cause::Generic, "the device did not copy the file");
  file.fd_ = OpenWhenPresent(file.path(), waits_.openMs);
  if (file.fd_ < 0) throw FileException(FileException::Cause::Generic, "the device's copy did not appear");
  WriteResponseHeaders(connection, 200, size, contentCode, attachment);
  SendGrowingFile(file.fd_, connection, 0, size, device, waits_);
}
