#include "shellext/send_files.h"

#include <unistd.h>

#include <cstdio>

#include "common/folders.h"
#include "common/identity.h"
#include "common/settings.h"
#include "device/device_client_error.h"
#include "platform/com/drop_files.h"
#include "platform/paths/paths.h"
#include "platform/shell/drag_drop.h"
#include "platform/shell/shell.h"
#include "platform/ui/desktop.h"
#include "platform/ui/host.h"
#include "shellext/library.h"
#include "shellext/shell_item.h"

using namespace device;

namespace shellext {
namespace {

// Writes the list file and starts the launcher; `header` is the first line when not empty.
void WriteListAndStart(const KernelId& target, const char* fileName, const std::string& header,
                       const std::vector<std::string>& paths) {
  // A list file holds one path a line: a name with a line break would arrive as two.
  std::vector<std::string> sendable;
  std::string refused;
  for (const std::string& p : paths) {
    if (p.find_first_of("\r\n") == std::string::npos) {
      sendable.push_back(p);
    } else {
      refused += "\n" + p;
    }
  }
  if (!refused.empty()) ShowInformation("These files cannot be sent, their names hold a line break:" + refused);
  if (sendable.empty()) return;

  std::string folder, problem;
  EmptyWorkFolder(folder, "tx2device");
  const std::string listPath = folder + fileName;
  // The launcher reads only a list of this user's making (platform::ReadPrivateFile).
  const int fd = platform::CreatePrivateFile(listPath, &problem);
  std::FILE* list = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
  if (list == nullptr) {
    if (fd >= 0) ::close(fd);
    ShowInformation(problem.empty() ? std::string("Could not set up transfer.") : "Could not set up transfer.\n" + problem);
    return;
  }
  bool written = header.empty() || std::fprintf(list, "%s\r\n", header.c_str()) > 0;
  for (const std::string& p : sendable) written = written && std::fprintf(list, "%s\r\n", p.c_str()) > 0;
  written = std::fclose(list) == 0 && written;
  if (!written) {
    platform::RemoveFile(listPath);
    ShowInformation("Could not set up transfer.");
    return;
  }

  std::string installFolder;
  if (ReadSettingString("", installFolder) == 0) {
    ShowInformation("Could not read path to tovarinxx.exe from registry.  " + g_ProductIdentity.suiteName +
                    " was not installed properly.");
    return;  // the list stays; the next send empties the folder
  }
  std::string modelCode;
  try {
    modelCode = Device().GetModelCode(target);
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not set up transfer.", e);
    return;
  }
  // The list's path is the launcher's one argument, whole, whatever characters it holds.
  // A launcher that is missing, cannot run or cannot load its libraries would otherwise
  // fail unseen, its list left behind.
  platform::StartOptions options;
  options.awaitStart = true;
  const platform::StartResult started = platform::StartProcess(
      platform::ToPosixPath(LauncherPathFor(installFolder, modelCode)), {platform::ToPosixPath(listPath)}, options);
  if (!started.started) {
    platform::RemoveFile(listPath);
    ShowInformation(started.error + ".  " + g_ProductIdentity.suiteName + " was not installed properly.");
  }
}

}  // namespace

std::string LauncherPathFor(const std::string& installFolder, const std::string& modelCode) {
  return installFolder + "\\tovarin" + modelCode;
}

void SendFilesToPlayer(const KernelId& target, const std::vector<std::string>& paths) {
  WriteListAndStart(target, "_txman.dat", "", paths);
}

void SyncFilesToPlayer(const std::vector<std::string>& paths) { WriteListAndStart(KernelId(), "_txsync.dat", "", paths); }

void SendDataFilesToFolder(const KernelId& folder, const std::vector<std::string>& paths) {
  WriteListAndStart(folder, "_txdat.dat", std::to_string(folder.word[0]), paths);
}

namespace {

// Where files pasted into a folder go: the folder's storage medium when the player lists
// media (the folder must be one), else the player as a whole. False after a message.
bool PasteTarget(platform::LPCITEMIDLIST folder, KernelId& target) {
  target = KernelId();
  try {
    if (Device().SupportsStorageList() == 0) return true;
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not set up transfer.", e);
    return false;
  }
  const ShellItemData* item = GetLastItemId(folder);
  if (item == nullptr || item->nodeType != NT_MEMSEG) {
    ShowInformation("Please paste files to either the Internal Memory or SmartMedia Card folders.");
    return false;
  }
  target = item->id;
  return true;
}

}  // namespace

void SendFilesIntoFolder(platform::LPCITEMIDLIST folder, const std::vector<std::string>& paths) {
  const ShellItemData* item = GetLastItemId(folder);
  if (item != nullptr && item->nodeType == NT_DATAFOLDER) {
    SendDataFilesToFolder(item->id, paths);
    return;
  }
  KernelId target;
  if (PasteTarget(folder, target)) SendFilesToPlayer(target, paths);
}

void PasteFilesToPlayer(platform::LPCITEMIDLIST folder) {
  KernelId target;
  if (!PasteTarget(folder, target)) return;
  platform::ComPtr<platform::IDataObject> clip;
  platform::OleGetClipboard(clip.Put());
  platform::FORMATETC files;
  files.cfFormat = platform::CF_HDROP;
  platform::FORMATETC mark;
  mark.cfFormat = static_cast<platform::CLIPFORMAT>(g_cfNoTransferToSelf);
  // The player's own items (copied in a view) never go back to it as files.
  if (!clip || clip->QueryGetData(&files) != platform::S_OK ||
      (g_cfNoTransferToSelf != 0 && clip->QueryGetData(&mark) == platform::S_OK)) {
    ShowInformation("There is nothing in the clipboard that can be pasted to your device.");
    return;
  }
  platform::STGMEDIUM medium;
  std::optional<std::vector<std::string>> names;
  if (clip->GetData(&files, &medium) == platform::S_OK) names = platform::ReadDropFiles(medium.hGlobal);
  platform::ReleaseStgMedium(&medium);
  if (!names) {
    ShowInformation("Paste object is invalid.");
    return;
  }
  if (names->empty()) {
    ShowInformation("Did not find any files to paste.");
    return;
  }
  SendFilesToPlayer(target, *names);
}

}  // namespace shellext
