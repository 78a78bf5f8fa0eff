#include "web/pages/handler_default.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <exception>
#include <mutex>

#include "common/escape.h"
#include "common/identity.h"
#include "common/settings.h"
#include "common/version.h"
#include "device/device_client_error.h"
#include "device/device_error.h"
#include "device/kernel_device.h"
#include "device/track_cache.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "web/pages/handler_files.h"
#include "web/http/http_exception.h"
#include "web/http/http_request.h"
#include "web/http/http_tables.h"
#include "web/http/response.h"
#include "web/pages/skin_files.h"
#include "web/pages/template_loop.h"

namespace web {

using namespace device;

namespace {

constexpr std::size_t kFileBlock = 4096;
constexpr std::size_t kMaxErrorDetail = 255;

class ConnectionOutput : public TemplateOutput {
 public:
  explicit ConnectionOutput(Connection& connection) : connection_(connection) {}
  void Write(std::string_view text) override { SocketWriteText(connection_, text); }

 private:
  Connection& connection_;
};

std::string Number(int value) { return std::to_string(value); }

std::string DateText() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char text[128];
  const std::size_t n = std::strftime(text, sizeof text, "%A, %B %d, %Y", &tm);
  return std::string(text, n);
}

const std::string& VersionText() {
  static const std::string version = [] {
    std::string v;
    GetModuleVersion(v);
    return v;
  }();
  return version;
}

// Splits the query as sent, then decodes each name and value, so an "&", "=" or "+"
// typed into a form field stays part of its value.
void SetQueryVariables(std::string_view rawQuery, PageVariables& variables) {
  std::string query(rawQuery);
  for (char& c : query) {
    if (c == '+') c = ' ';
  }
  std::size_t start = 0;
  while (start <= query.size()) {
    std::size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string_view piece = std::string_view(query).substr(start, end - start);
    const std::size_t eq = piece.find('=');
    if (eq != std::string_view::npos) {
      const std::string name = PercentDecode(piece.substr(0, eq));
      const std::string value = DecodeUrlTokens(PercentDecode(piece.substr(eq + 1)));
      variables[name] = HtmlEscape(value);
      variables[name + "_passable"] = EncodeUrlTokens(value);
    }
    start = end + 1;
  }
}

void SetSearchMemory(PageVariables& variables) {
  const std::string kind = GetPageVariable(variables, "larg1");
  auto copy = [&](const char* target, const char* source) { variables[target] = GetPageVariable(variables, source); };
  if (kind == "quick") {
    copy("slast_quick", "larg2");
  } else if (kind == "simple") {
    copy("slast_simple_artist", "larg2");
    copy("slast_simple_album", "larg3");
    copy("slast_simple_title", "larg4");
    copy("slast_simple_genre", "larg5");
  } else if (kind == "advanced") {
    copy("slast_advanced", "larg2");
  }
}

// The message of a skin file that cannot be found.
std::string SkinMissingText() {
  return g_ProductIdentity.webServerName +
         " could not load the main <code>index.html</code> page of the currently selected skin.<br>Please check "
         "your skin setting in the " +
         g_ProductIdentity.managerName + " options dialog.";
}

std::string ExtensionOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot);
}

void SendPlainFile(Connection& connection, const std::string& path, std::uint64_t size) {
  const int fd = open(platform::ToPosixPath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw FileException(FileException::Cause::FileNotFound, "cannot open " + path);
  char buffer[kFileBlock];
  std::uint64_t sent = 0;
  try {
    while (sent < size) {
      const ssize_t n = read(fd, buffer, static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buffer, size - sent)));
      if (n <= 0) break;
      connection.Write(std::string_view(buffer, static_cast<std::size_t>(n)));
      sent += static_cast<std::uint64_t>(n);
    }
  } catch (...) {
    close(fd);
    throw;
  }
  close(fd);
}

}  // namespace

void SetPageVariables(KernelDevice& device, const HttpRequest& request, PageVariables& variables) {
  const std::string* host = request.Header("host");
  std::string hostName = host ? platform::Trim(*host) : std::string();
  if (hostName.empty()) hostName = request.localAddress() + ":" + Number(request.localPort());
  variables["hostname"] = HtmlEscape(hostName);
  variables["devname"] = HtmlEscape(device.GetModelName());
  variables["devowner"] = HtmlEscape(device.GetOwnerName());
  variables["devhw"] = HtmlEscape(device.GetHardwareVersion());
  variables["devfw"] = HtmlEscape(device.GetFirmwareVersion());
  const int totalKB = device.GetTotalSpaceKB();
  const int freeKB = device.GetFreeSpaceKB();
  variables["stortotal"] = Number(totalKB / 1024);
  variables["storfree"] = Number(freeKB / 1024);
  // The used share, for a meter (pages cannot subtract).
  variables["storused"] = Number(std::max(totalKB - freeKB, 0) / 1024);
  variables["date"] = HtmlEscape(DateText());
  variables["vexhalver"] = VersionText();
  variables["volume"] = Number(device.GetVolume());
  variables["paused"] = device.IsPaused() ? "Paused" : "Not Paused";
  variables["pausedcode"] = device.IsPaused() ? "q_paused" : "q_notpaused";
  SetQueryVariables(request.rawQuery(), variables);
  SetSearchMemory(variables);
}

void SetPlayStateVariables(bool stopped, PageVariables& variables) {
  const bool paused = GetPageVariable(variables, "pausedcode") == "q_paused";
  variables["playstate"] = stopped ? "Stopped" : paused ? "Paused" : "Playing";
  variables["playstatecode"] = stopped ? "q_stopped" : paused ? "q_paused" : "q_playing";
}

HandlerDefault::HandlerDefault(HttpServer* server, KernelDevice* device) : Handler(server), device_(device) {}

HandlerDefault::~HandlerDefault() = default;

void HandlerDefault::Handle(const HttpRequest& request, Connection& connection) {
  if (!device_ || device_->IsConnected() == 0) throw HttpException(200, {}, NotConnectedText());
  KernelDevice& device = *device_;
  const KernelDevice& player = player_ != nullptr ? *player_ : device;
  const bool stopped = player.PlaybackStoppedNow().value_or(false);
  PageVariables variables;
  SetPageVariables(device, request, variables);
  SetPlayStateVariables(stopped, variables);
  if (request.IsCrossSite() && (variables.count("qcmd") || variables.count("newskin"))) {
    throw HttpException(403, {}, "A command sent from another site was refused.");
  }

  const std::string& url = request.url();
  const std::string_view urlPath = std::string_view(url).substr(0, url.find('?'));
  std::string path = SanitizeSkinPath(urlPath);
  if (path.empty() || urlPath.ends_with('/')) path += path.empty() ? "index.html" : "\\index.html";

  if (variables.count("newskin")) {
    // Only a skin of the skins folder may be selected; the variable holds escaped text.
    const std::string skin = HtmlUnescape(variables["newskin"]);
    if (IsInstalledSkin(skin)) {
      WriteSettingString("VX_Skin", skin);
      SetPageVariables(device, request, variables);
      SetPlayStateVariables(stopped, variables);
    }
  }

  std::string full;
  if (!ResolveSkinFile(path, full)) throw HttpException(404, {}, full);
  platform::FileInfo info = platform::QueryFile(full);
  if (!info.exists) throw HttpException(404, {}, SkinMissingText());
  if (info.directory) {
    full += "\\index.html";
    info = platform::QueryFile(full);
    if (!info.exists || info.directory) throw HttpException(404, {}, SkinMissingText());
  }

  const std::string extension = ExtensionOf(full);
  const int method = request.method();
  if (method != kHttpGet && method != kHttpHead && method != kHttpTrace) {
    throw HttpException(500, {}, "Invalid HTTP method.");
  }
  if (method == kHttpTrace) return WriteTraceEcho(request, connection);

  const bool page = extension == ".html" || extension == ".htm" || extension == ".m3u";
  const int contentCode = ContentCodeForExtension(extension);
  if (!page) {
    WriteResponseHeaders(connection, 200, static_cast<std::int64_t>(info.size), contentCode);
    if (method == kHttpGet) SendPlainFile(connection, full, info.size);
    return;
  }

  // Pages run one at a time: everything they ask the device belongs together.
  std::unique_lock<std::recursive_timed_mutex> lock(device.GetLock(), std::defer_lock);
  if (!lock.try_lock_for(lockWait_)) throw HttpException(200, {}, "Thread timed out.");
  WriteResponseHeaders(connection, 200, 0, contentCode);
  if (method != kHttpGet) return;
  ConnectionOutput output(connection);
  TemplatePage templatePage(full, output, ResolveSkinRequest);
  if (!pageDevice_) pageDevice_ = std::make_unique<TrackCacheDevice>(device);
  pageDevice_->Revalidate(player.CatalogueVersion());
  try {
    DevicePageContext context(*pageDevice_);
    RunTemplatePage(templatePage, variables, context);
  } catch (const FileException& e) {
    if (e.cause() == FileException::Cause::PeerGone) throw;
    throw HttpException(500, {}, "Could not process tags embedded in the page.<br>" + HtmlEscape(e.what()));
  } catch (const KernelDeviceClientException&) {
    // The device failed: the page ends where it is, what was written stays.
  } catch (const DeviceError&) {
  } catch (const HttpException&) {
    throw;
  } catch (const std::exception& e) {
    std::string detail = e.what();
    detail.resize(platform::Utf8PrefixLength(detail, kMaxErrorDetail));
    throw HttpException(500, {}, "Could not process tags embedded in the page.<br>" + HtmlEscape(detail));
  }
}

}  // namespace web
