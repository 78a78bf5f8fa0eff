#include "transfer/log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <ctime>

#include "common/folders.h"
#include "device/device_client_error.h"
#include "platform/paths/paths.h"
#include "platform/shell/shell.h"
#include "platform/ui/host.h"

using namespace device;

namespace transfer {

TempFile::TempFile(std::string path) : path_(std::move(path)) {}

TempFile::~TempFile() { Close(); }

int TempFile::Open() {
  Close();
  // Made anew, never through a link that someone put in its place.
  fd_ = platform::CreatePrivateFile(path_);
  if (fd_ < 0) return 0;
  char stamp[64];
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  const std::size_t n = std::strftime(stamp, sizeof stamp, "%I:%M:%S %p  %Y-%m-%d", &local);
  WriteString(std::string_view(stamp, n));
  return 1;
}

void TempFile::WriteString(std::string_view text) {
  if (fd_ < 0) return;
  // One write per line: the line reaches the file whole and at once.
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text);
  line.append("\r\n");
  WriteAll(line);
}

void TempFile::WriteLines(const std::vector<std::string>& texts) {
  if (fd_ < 0) return;
  // A write per line was most of the time a list of a thousand files took to write.
  constexpr std::size_t kBlock = 64 << 10;
  std::string block;
  for (const std::string& text : texts) {
    block.append(text);
    block.append("\r\n");
    if (block.size() >= kBlock) {
      WriteAll(block);
      block.clear();
    }
  }
  if (!block.empty()) WriteAll(block);
}

void TempFile::WriteAll(std::string_view bytes) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd_, p, left);
    if (n <= 0) return;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

void TempFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::string GetReportPath(std::string_view fileName) {
  std::string folder;
  GetWorkFolder(folder, "reports");
  return folder + std::string(fileName);
}

std::string GetSyncLogPath() { return GetReportPath("_synclog.txt"); }
std::string GetOutlookSyncLogPath() { return GetReportPath("_outlsynclog.txt"); }

ExpansionLogFile::ExpansionLogFile() : TempFile(GetReportPath("_exlog.txt")) {}
ExpansionListFile::ExpansionListFile() : TempFile(GetReportPath("_explist.txt")) {}
TransferLogFile::TransferLogFile() : TempFile(GetReportPath("_txlog.txt")) {}
TagWriteBackLogFile::TagWriteBackLogFile() : TempFile(GetReportPath("_twblog.txt")) {}
OutlookSyncLogFile::OutlookSyncLogFile() : TempFile(GetOutlookSyncLogPath()) {}

void OpenLogFile(std::string_view fileName) {
  const std::string path = GetReportPath(fileName);
  if (!platform::QueryFile(path).exists) {
    ShowMessageBox("Could not find log file.", platform::MB_ICONINFORMATION);
    return;
  }
  platform::ShellOpen(platform::ToPosixPath(path));
}

}  // namespace transfer
