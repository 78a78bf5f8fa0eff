#include "transfer/send_to.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

#include "common/folders.h"
#include "common/settings.h"
#include "device/device_client_error.h"
#include "platform/kernel/kernel.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "platform/ui/host.h"
#include "transfer/conversion_rules.h"
#include "transfer/expansion.h"
#include "transfer/file_path.h"

using namespace device;

namespace transfer {
namespace {

constexpr std::uint64_t kMaxListFileBytes = 64u << 20;

std::string Canonical(const std::string& windowsPath) {
  char resolved[PATH_MAX];
  if (::realpath(platform::ToPosixPath(windowsPath).c_str(), resolved) == nullptr) return {};
  return resolved;
}

// The lines of a list file, each without its line end (empty lines kept); false when it
// cannot be opened. The file is deleted after reading.
bool ReadListFile(const std::string& path, std::vector<std::string>& lines) {
  // A FIFO in its place would never answer; a list is never near the bound.
  const platform::ReadFileResult read = platform::ReadRegularFile(path, kMaxListFileBytes);
  if (!read.ok()) return false;
  std::string_view text = read.bytes;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  platform::RemoveFile(path);
  return true;
}

// The target folder id of "_txdat.dat": a decimal u32; anything else names no folder.
std::uint32_t ParseFolderId(std::string_view line) {
  line = platform::TrimView(line);
  if (line.empty() || line.size() > 10) return 0;
  std::uint64_t value = 0;
  for (char c : line) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value > 0xFFFFFFFFull ? 0 : static_cast<std::uint32_t>(value);
}

std::string CommandLineText(std::string_view launcherPath, const std::vector<std::string>& names) {
  std::string text(launcherPath);
  for (const std::string& n : names) text += " \"" + n + "\"";
  return text;
}

// Connects the proxy as the launcher row says.
void ConnectForRow(const LauncherRow& row, KernelDeviceClient& client) {
  int kind = row.driverKind;
  std::uint32_t storage = row.storage < 0 ? 0 : static_cast<std::uint32_t>(row.storage);
  if (row.driverKind < 0 || row.storage < 0) {
    // Absent counts as set, as for the library's own start-up: the driver the manager
    // hosts is the vendor's, and only it answers.
    std::uint32_t useVendorDriver = 1;
    ReadSettingDword("JB_UseCLDriver", useVendorDriver);
    if (row.driverKind < 0) kind = useVendorDriver != 0 ? 0 : 1;
    if (row.storage < 0) storage = useVendorDriver != 0 ? 1 : 0;
  }
  client.ConnectToManager(kind, KernelId(row.device), KernelId(storage), 0);
  if (row.connectAtOnce) client.Connect();
}

}  // namespace

std::string SystemFormOfName(const std::string& name) {
  const FilePathParts parts = SplitFilePath(name);
  if (!parts.drive.empty() || (!name.empty() && name[0] == '\\')) return name;  // the system's own form
  std::string posix = name;
  if (posix.empty() || posix[0] != '/') {
    // A file manager or a shell hands names relative to its own folder, which is ours.
    std::string cwd(PATH_MAX, '\0');
    if (::getcwd(cwd.data(), cwd.size()) == nullptr) return {};
    cwd.resize(std::strlen(cwd.c_str()));
    while (posix.starts_with("./")) posix.erase(0, 2);
    posix = (cwd == "/" ? std::string() : cwd) + "/" + posix;
  }
  // The system's form would read the backslash as a separator: another file.
  if (posix.find('\\') != std::string::npos) return {};
  return platform::FromPosixPath(posix);
}

std::string TransferLockName() {
  return g_ProductIdentity.transferSemaphoreName.empty() ? std::string("TVSEM") : g_ProductIdentity.transferSemaphoreName;
}

const LauncherRow* FindLauncherRow(std::string_view launcherPath) {
  const std::string name = ModuleBaseName(launcherPath);
  for (const LauncherRow& row : LauncherTable()) {
    if (name == LauncherName(row)) return &row;
  }
  return nullptr;
}

std::vector<std::string> SplitQuotedNames(std::string_view files) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= files.size()) {
    const std::size_t quote = files.find('"', start);
    const std::string_view token = files.substr(start, quote == std::string_view::npos ? std::string_view::npos : quote - start);
    if (!platform::TrimView(token).empty()) names.emplace_back(token);
    if (quote == std::string_view::npos) break;
    start = quote + 1;
  }
  return names;
}

ListFileKind ListFileKindOf(const std::string& name) {
  const FilePathParts parts = SplitFilePath(name);
  const std::string file = parts.FileName();
  static const struct {
    const char* file;
    const char* folder;
    ListFileKind kind;
  } kLists[] = {{"_txman.dat", "tx2device", ListFileKind::kTransfer},
                {"_txdat.dat", "tx2device", ListFileKind::kDataFolder},
                {"_txsync.dat", "tx2device", ListFileKind::kSync},
                {"_stq.dat", "stageq", ListFileKind::kStaging}};
  const auto list = std::find_if(std::begin(kLists), std::end(kLists), [&](const auto& l) { return file == l.file; });
  if (list == std::end(kLists)) return ListFileKind::kNone;
  std::string work;
  GetWorkFolder(work, list->folder);
  const std::string here = Canonical(parts.Folder());
  if (here.empty() || here != Canonical(work)) return ListFileKind::kNone;
  return list->kind;
}

void DoTovarin(const std::vector<std::string>& given, std::string_view launcherPath, KernelDevice& device,
               TransferShell* shell) {
  g_ProductIdentity.InitFromPath(launcherPath);
  platform::NamedLock single(TransferLockName());
  if (!single.Lock(5)) {
    ShowMessageBox("Another transfer is already in progress.", platform::MB_ICONINFORMATION);
    return;
  }
  try {
    // Names come as the file manager gives them (POSIX) or in the system's form. A list
    // file holds one path a line, so a name with a line break could not be kept whole.
    std::vector<std::string> names;
    std::vector<std::pair<std::string, const char*>> refused;  // the name, why
    for (const std::string& n : given) {
      if (platform::TrimView(n).empty()) continue;
      if (n.find_first_of("\r\n") != std::string::npos) {
        refused.emplace_back(n, "the name holds a line break");
        continue;
      }
      std::string name = SystemFormOfName(n);
      if (name.empty()) {
        refused.emplace_back(n, "the name holds a backslash, which the player cannot take");
        continue;
      }
      names.push_back(std::move(name));
    }
    if (names.empty() && refused.empty()) {
      ShowMessageBox("Send To did not receive any filenames.", platform::MB_ICONINFORMATION);
      return;
    }
    const LauncherRow* row = FindLauncherRow(launcherPath);
    if (row == nullptr) {
      ShowMessageBox("Send To was called with an invalid command-line:\n" + CommandLineText(launcherPath, given),
                     platform::MB_ICONINFORMATION);
      return;
    }
    if (auto* client = dynamic_cast<KernelDeviceClient*>(&device)) ConnectForRow(*row, *client);

    const ListFileKind kind = names.size() == 1 ? ListFileKindOf(names[0]) : ListFileKind::kNone;
    bool dataRoute = false;
    std::uint32_t folderId = 0;
    const int syncMode = kind == ListFileKind::kSync ? 1 : 0;
    if (kind != ListFileKind::kNone) {
      std::vector<std::string> lines;
      if (!ReadListFile(names[0], lines)) {
        ShowMessageBox("Transfer setup found no files.", platform::MB_ICONINFORMATION);
        return;
      }
      if (kind == ListFileKind::kDataFolder) {
        dataRoute = true;
        if (!lines.empty()) {
          folderId = ParseFolderId(lines.front());
          lines.erase(lines.begin());
        }
      }
      names = std::move(lines);
    }

    std::vector<std::string> files;
    SourceGroups roots;
    if (dataRoute) {
      files = names;
    } else {
      ExpansionLogFile expansionLog;
      ExpansionListFile expansionList;
      expansionLog.Open();
      expansionList.Open();
      for (const auto& [n, why] : refused) {
        std::string shown = platform::ReplaceAll(platform::ReplaceAll(n, "\r", "\\r"), "\n", "\\n");
        expansionLog.WriteString("Processing " + shown + "..." + why + "...skipped.");
      }
      ExpandTransferList(&expansionLog, &expansionList, names, files, roots, 0, 1, 0);
      expansionLog.Close();
      expansionList.Close();
      if (files.empty()) {
        if (ShowMessageBox("No files found after path expansions.  Would you like to view the expansion log?",
                           platform::MB_YESNO | platform::MB_ICONQUESTION) == platform::IDYES) {
          OpenLogFile("_exlog.txt");
        }
        return;
      }
      bool anyAudio = false;
      for (const std::string& f : files) anyAudio = anyAudio || IsTransferableFormat(f);
      // Only data: sent as data files, into the player's data root (a synchronisation
      // skips them).
      if (!anyAudio && syncMode == 0) dataRoute = true;
    }

    CTransferDialog dialog(device, shell);
    if (dialog.Create(0)) {
      dialog.SetWindowPos(platform::HWND_TOPMOST, 0, 0, 0, 0, platform::SWP_NOMOVE | platform::SWP_NOSIZE);
      dialog.CenterWindow();
      dialog.ShowWindow(platform::SW_SHOW);
      dialog.SetForegroundWindow();
      platform::CurrentHost().SetOwnerWindow(dialog.GetSafeHwnd());
    }
    TransferLogFile log;
    log.Open();
    if (dataRoute) {
      dialog.TransferDataFiles(&log, KernelId(folderId), files, 0);
    } else {
      dialog.StartTransfer(&log, KernelId(row->segment), &files, &roots, syncMode, 0);
    }
    log.Close();
    platform::CurrentHost().SetOwnerWindow(0);
    dialog.DestroyWindow();
  } catch (const std::exception&) {
    platform::CurrentHost().SetOwnerWindow(0);
    ShowMessageBox("Error 552 when attempting transfer.", platform::MB_ICONINFORMATION);
  }
}

}  // namespace transfer
