#include "web/pages/handler_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <vector>

#include "common/folders.h"
#include "common/identity.h"
#include "device/device_error.h"
#include "device/kernel_device_client.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "platform/window/wait.h"
#include "platform/window/window.h"
#include "web/http/http_request.h"
#include "web/http/http_exception.h"
#include "web/http/http_server.h"
#include "web/http/http_tables.h"
#include "web/http/response.h"

namespace web {

using namespace device;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kSendBlock = 128000;

long long ElapsedMs(Clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

}  // namespace

std::string NotConnectedText() {
  return "Your " + g_ProductIdentity.deviceWord + " is not connected. Connect using " + g_ProductIdentity.managerName +
         " in the systray.";
}

void RequireConnectedItem(KernelDevice* device) {
  if (!device || device->IsConnected() == 0) throw HttpException(404, {}, NotConnectedText());
}

void ThrowNoSuchItem() {
  throw HttpException(404, {}, "This item is not on your " + g_ProductIdentity.deviceWord + ".");
}

std::int64_t DataFileSizeOrNotFound(KernelDevice& device, const KernelId& id) {
  if (device.IsDataFolder(id) != 0) ThrowNoSuchItem();
  try {
    return std::max(0, device.GetDataFileSize(id));
  } catch (const DeviceError&) {
    ThrowNoSuchItem();  // a device of this process answers an id it does not hold so
  }
}

RequestTempFile::RequestTempFile(const KernelId& id, std::string_view extension) {
  static std::atomic<unsigned> serial{0};
  std::string folder;
  GetWorkFolder(folder, "skarnel");
  path_ = folder + "data" + std::to_string(static_cast<std::int32_t>(id.word[0])) + "-" + std::to_string(getpid()) +
          "-" + std::to_string(serial++) + SafeFileExtension(extension);
}

RequestTempFile::~RequestTempFile() {
  if (fd >= 0) close(fd);
  platform::RemoveFile(path_);
  platform::RemoveFile(path_ + ".tmp");
}

void RequireEmptyDataFileCopies(KernelDevice& device, const KernelId& id, std::string_view extension,
                                const CopyWaits& waits) {
  RequestTempFile file(id, extension);
  if (RunDownload([&] { return device.DownloadDataFile(id, file.path()); }, waits.retryMs) != 0) ThrowNoSuchItem();
  // The device may create the file after it answers: removed only once it is there.
  file.fd = OpenWhenPresent(file.path(), waits.openMs);
  if (file.fd < 0) throw FileException(FileException::Cause::Generic, "the device's copy did not appear");
}

void PumpHandlerMessages(int sleepMs) {
  platform::PumpMessages(static_cast<platform::DWORD>(sleepMs));
}

void WriteTraceEcho(const HttpRequest& request, Connection& connection) {
  const std::string echo = request.TraceEcho();
  WriteResponseHeaders(connection, 200, static_cast<std::int64_t>(echo.size()), kContentText);
  SocketWriteText(connection, echo);
}

ItemUrl SplitItemUrl(std::string_view rest) {
  rest = rest.substr(0, rest.find('?'));
  ItemUrl url;
  const std::size_t slash = rest.rfind('/');
  std::string_view file = rest;
  if (slash != std::string_view::npos) {
    url.folder = rest.substr(0, slash + 1);
    file = rest.substr(slash + 1);
  }
  const std::size_t dot = file.rfind('.');
  url.name = file.substr(0, dot);
  if (dot != std::string_view::npos) url.extension = file.substr(dot);
  return url;
}

std::uint64_t ParseLeadingDigits(std::string_view text) {
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return 0;
    value = value * 10 + digit;
  }
  return value;
}

std::string SafeFileExtension(std::string_view extension) {
  std::string out;
  for (char c : platform::ToLowerAscii(extension)) {
    if (((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) && out.size() < 16) out.push_back(c);
  }
  return out.empty() ? out : "." + out;
}

int RunDownload(const std::function<int()>& download, int retryMs) {
  const auto start = Clock::now();
  for (;;) {
    const int status = download();
    if (status != 2 || ElapsedMs(start) >= retryMs) return status;
    PumpHandlerMessages(50);
  }
}

int OpenWhenPresent(const std::string& windowsPath, int openMs) {
  const std::string path = platform::ToPosixPath(windowsPath);
  const auto start = Clock::now();
  for (;;) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) return fd;
    if (ElapsedMs(start) > openMs) return -1;
    PumpHandlerMessages(10);
  }
}

bool IsSameFile(int fd, const std::string& windowsPath) {
  struct stat open {}, named {};
  return fstat(fd, &open) == 0 && stat(platform::ToPosixPath(windowsPath).c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

CopyState SendGrowingFile(int fd, Connection& connection, std::int64_t start, std::int64_t size,
                          KernelDevice& device, const CopyWaits& waits,
                          const std::function<void(std::string_view)>& log) {
  auto note = [&](std::string_view text) {
    if (log) log(text);
  };
  std::vector<char> buffer(kSendBlock);
  std::int64_t offset = start;
  auto lastGrowth = Clock::now();
  auto lastCheck = lastGrowth;
  std::int64_t lastSize = -1;
  while (offset < size) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(size - offset, kSendBlock));
    const ssize_t n = pread(fd, buffer.data(), want, offset);
    if (n > 0) {
      note("c: " + std::to_string(n) + "\n");
      connection.Write(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
      offset += n;
      continue;
    }
    struct stat st {};
    if (n < 0 || fstat(fd, &st) != 0 || st.st_nlink == 0) {
      note("\nremoved\n");
      return CopyState::Failed;  // the writer gave its copy up
    }
    if (st.st_size > offset) continue;  // written meanwhile
    if (st.st_size != lastSize) {
      lastSize = st.st_size;
      lastGrowth = lastCheck = Clock::now();
    }
    if (ElapsedMs(lastGrowth) >= waits.stallMs) {
      note("\nstalled\n");
      return CopyState::Failed;
    }
    if (ElapsedMs(lastCheck) >= waits.idleCheckMs) {
      lastCheck = Clock::now();
      int running = 1;
      try {
        running = device.IsDownloadRunning();
      } catch (const std::exception&) {
        // Unknown: wait for the stall limit.
      }
      if (running == 0) {
        // The device has stopped; bytes it wrote before answering are still read.
        if (fstat(fd, &st) == 0 && st.st_size > offset) continue;
        note("\nincomplete\n");
        return CopyState::Failed;
      }
    }
    connection.Flush();  // what has been read goes out while the device writes on
    PumpHandlerMessages(5);
  }
  note("\neof\n");
  return CopyState::Complete;
}

}  // namespace web
