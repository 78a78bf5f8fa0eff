#include "web/pages/handler_data.h"

#include <unistd.h>

#include "common/folders.h"
#include "device/kernel_device.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "web/http/http_exception.h"
#include "web/http/http_request.h"
#include "web/http/http_tables.h"
#include "web/http/response.h"

namespace web {

using namespace device;

HandlerData::HandlerData(HttpServer* server, KernelDevice* device) : Handler(server, "data"), device_(device) {}

void HandlerData::Handle(const HttpRequest& request, Connection& connection) {
  const ItemUrl url = SplitItemUrl(std::string_view(request.url()).substr(GetPrefix().size()));
  const KernelId id = KernelId::FromItemId(ParseLeadingDigits(url.folder));
  const std::string extension = platform::ToLowerAscii(url.extension);
  const int method = request.method();
  if (method != kHttpGet && method != kHttpHead && method != kHttpTrace) throw HttpException(500);
  RequireConnectedItem(device_);
  KernelDevice& device = *device_;

  const std::int64_t size = DataFileSizeOrNotFound(device, id);
  const int contentCode = ContentCodeForExtension(extension);
  const std::string attachment = url.name + url.extension;
  if (method == kHttpTrace) {
    WriteTraceEcho(request, connection);
    return;
  }
  if (size == 0) RequireEmptyDataFileCopies(device, id, extension, waits_);
  if (method == kHttpHead || size == 0) {
    WriteResponseHeaders(connection, 200, size, contentCode, attachment);
    return;
  }

  // The copy is made before the answer begins, so that a failed copy is a plain error page.
  RequestTempFile file(id, extension);
  const int status = RunDownload([&] { return device.DownloadDataFile(id, file.path()); }, waits_.retryMs);
  if (status != 0) throw FileException(FileException::Cause::Generic, "the device did not copy the file");
  file.fd = OpenWhenPresent(file.path(), waits_.openMs);
  if (file.fd < 0) throw FileException(FileException::Cause::Generic, "the device's copy did not appear");
  WriteResponseHeaders(connection, 200, size, contentCode, attachment);
  SendGrowingFile(file.fd, connection, 0, size, device, waits_);
}

}  // namespace web
