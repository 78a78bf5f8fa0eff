#include "shellext/copy_to_computer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <sstream>

#include "common/folders.h"
#include "common/identity.h"
#include "common/settings.h"
#include "device/device_client_error.h"
#include "device/device_status.h"
#include "device/kernel_device.h"
#include "device/kernel_device_client.h"
#include "device/messages.h"
#include "device/sortable.h"
#include "device/track_names.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "platform/vendorsdk/sdk_results.h"
#include "platform/ui/desktop.h"
#include "platform/ui/host.h"
#include "platform/window/wait.h"
#include "shellext/item_commands.h"
#include "shellext/library.h"
#include "shellext/playlist_commands.h"
#include "transfer/log_file.h"
#include "transfer/transfer_dialog.h"

using namespace device;

namespace shellext {

namespace {

constexpr const char* kSetupFailed = "Could not set up transfer to PC.";
constexpr const char* kLockedMessage =
    "Some of the selected files are locked content and cannot be transferred.\nThey will be skipped, but your "
    "other non-locked files will still be transferred.";

// The files of a run are created with the person's usual permissions (umask).
mode_t FileMode() {
  static const mode_t mode = [] {
    mode_t mask = 022;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("Umask:", 0) == 0) mask = static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

enum class Existing { kReplace, kSkip, kCancel };

Existing AskReplace(const std::string& windowsPath) {
  const int answer = ShowMessageBox("The file\n" + platform::ShownPath(windowsPath) + "\nalready exists.\n\nReplace it?",
                                    platform::MB_YESNOCANCEL | platform::MB_ICONQUESTION | platform::MB_DEFBUTTON2);
  if (answer == platform::IDYES) return Existing::kReplace;
  if (answer == platform::IDNO) return Existing::kSkip;
  return Existing::kCancel;
}

// Where one file goes, checked: each folder part below the root made when missing and
// taken only when it is a real folder (never a link, so nothing leads out of the root),
// and a temporary file beside the place that the content is written to first.
class Placement {
 public:
  // `root` and `folder` are Windows-form folders (the folder inside the root); `name`
  // is the file name (one part).
  Placement(const std::string& root, const std::string& folder, const std::string& name) {
    std::string at = platform::ToPosixPath(root);
    while (at.size() > 1 && at.back() == '/') at.pop_back();
    const std::string whole = platform::ToPosixPath(folder);
    if (whole.compare(0, at.size(), at) != 0 || (whole.size() > at.size() && whole[at.size()] != '/')) return;
    std::stringstream rest(whole.substr(at.size()));
    for (std::string part; std::getline(rest, part, '/');) {
      if (part.empty()) continue;
      if (part == "." || part == "..") return;
      at += "/" + part;
      if (::mkdir(at.c_str(), 0777) != 0 && errno != EEXIST) return;
      struct stat st;
      if (::lstat(at.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
    }
    folderPosix_ = at;
    final_ = at + "/" + name;
    inside_ = true;
  }
  ~Placement() { Discard(); }
  Placement(const Placement&) = delete;
  Placement& operator=(const Placement&) = delete;

  bool Inside() const { return inside_; }
  const std::string& Final() const { return final_; }
  std::string FinalWindows() const { return platform::FromPosixPath(final_); }
  bool Exists() const {
    struct stat st;
    return ::lstat(final_.c_str(), &st) == 0;
  }

  // A new empty file beside the place, owned by this object until placed; its
  // Windows-form path, or "" when none can be made.
  std::string MakeTemporary() {
    std::string pattern = folderPosix_ + "/.tovarin-XXXXXX.part";
    const int fd = ::mkostemps(pattern.data(), 5, O_CLOEXEC);
    if (fd < 0) return {};
    ::fchmod(fd, FileMode());
    ::close(fd);
    temp_ = pattern;
    return platform::FromPosixPath(temp_);
  }

  // The temporary file renamed into place: over an existing file only with `replace`.
  // False (errno set) when that fails; EEXIST when a file took the place meanwhile.
  bool Place(bool replace) {
    const int r = replace ? ::rename(temp_.c_str(), final_.c_str())
                          : ::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, final_.c_str(), RENAME_NOREPLACE);
    if (r != 0) return false;
    temp_.clear();
    return true;
  }

  const std::string& TemporaryPosix() const { return temp_; }

  void Discard() {
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
  }

 private:
  std::string folderPosix_;
  std::string final_;
  std::string temp_;
  bool inside_ = false;
};

// Splits "sub\file" into its folder part ("sub", or "") and its file name.
void SplitName(const std::string& name, std::string& folder, std::string& file) {
  const std::size_t at = name.rfind('\\');
  folder = at == std::string::npos ? std::string() : name.substr(0, at);
  file = at == std::string::npos ? name : name.substr(at + 1);
}

std::string WithBackslash(std::string path) {
  if (path.empty() || path.back() != '\\') path += '\\';
  return path;
}

// The transfer window of a copy: the run's progress, counters and waits. The window's
// own handlers count transfers to the player; while a copy runs, the download notices
// come here, and afterwards they go back to the window.
class CopyRun {
 public:
  CopyRun(transfer::CTransferDialog& dialog, KernelDevice& device, transfer::TransferLogFile& log,
          bool& lockedShown, std::string root)
      : dialog_(dialog), device_(device), log_(log), lockedShown_(lockedShown), root_(std::move(root)) {
    dialog_.HandleMessage(WM_DOWNLOADPROGRESS, [this](platform::WPARAM w, platform::LPARAM) -> platform::LRESULT {
      if (dialog_.IsCancelled()) return -1;  // the player stops the file
      ShowProgress(static_cast<int>(w));
      return 0;
    });
    dialog_.HandleMessage(WM_DOWNLOADDONE, [this](platform::WPARAM, platform::LPARAM l) -> platform::LRESULT {
      done_ = true;
      doneResult_ = static_cast<int>(l);
      return 0;
    });
  }
  ~CopyRun() {
    transfer::CTransferDialog* dialog = &dialog_;
    dialog_.HandleMessage(WM_DOWNLOADPROGRESS, [dialog](platform::WPARAM w, platform::LPARAM) -> platform::LRESULT {
      return dialog->OnUploadProgress(static_cast<int>(w));
    });
    dialog_.HandleMessage(WM_DOWNLOADDONE, [dialog](platform::WPARAM w, platform::LPARAM l) -> platform::LRESULT {
      dialog->OnUploadDone(static_cast<std::uint32_t>(w), static_cast<int>(l));
      return 0;
    });
  }
  CopyRun(const CopyRun&) = delete;
  CopyRun& operator=(const CopyRun&) = delete;

  CopyResult Run(const std::vector<CopyEntry>& all) {
    // The folders first, so an empty one is there too; then the files.
    std::vector<CopyEntry> entries;
    for (const CopyEntry& entry : all) {
      if (entry.itemClass == kCopyFolder) {
        MakeFolder(entry);
      } else {
        entries.push_back(entry);
      }
    }
    count_ = static_cast<int>(entries.size());
    dialog_.BeginRun("Copy to Computer", "Copying to " + platform::ShownPath(root_), count_);
    runStart_ = platform::GetTickCount64();
    for (index_ = 0; index_ < count_ && !stop_; ++index_) {
      if (dialog_.IsCancelled()) break;
      CopyOne(entries[static_cast<std::size_t>(index_)]);
    }
    result_.cancelled = result_.cancelled || dialog_.IsCancelled();
    Finish();
    return result_;
  }

 private:
  void ShowProgress(int percent) {
    if (!dialog_.IsOpen()) return;
    dialog_.Progress(transfer::CTransferDialog::kFileProgressId).SetPos(percent);
    const double fraction =
        count_ > 0 ? std::clamp((index_ * 100.0 + percent) / (count_ * 100.0), 0.0, 1.0) : 1.0;
    dialog_.Progress(transfer::CTransferDialog::kRunProgressId).SetPos(static_cast<int>(fraction * 1000));
    dialog_.SetWindowText(platform::Printf("%d%% Copy to Computer", static_cast<int>(fraction * 100)));
    dialog_.SetDlgItemText(transfer::CTransferDialog::kProcessingId,
                           platform::Printf("Processing file %d/%d.", std::min(index_ + 1, count_), count_));
    const std::uint64_t seconds = (platform::GetTickCount64() - runStart_) / 1000;
    dialog_.SetDlgItemText(transfer::CTransferDialog::kElapsedId,
                           platform::Printf("%d:%02d", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60)));
    platform::PumpMessages(0);
  }

  void ShowCounters() {
    if (!dialog_.IsOpen()) return;
    dialog_.SetDlgItemText(transfer::CTransferDialog::kTransferredId, std::to_string(result_.written.size()));
  }

  void Log(const std::string& line) { log_.WriteString(line); }

  void MakeFolder(const CopyEntry& entry) {
    const std::string folder = WithBackslash(entry.folder);
    Placement place(root_, folder, "");
    if (!place.Inside()) {
      ++result_.failed;
      Log("Creating folder " + folder + "...the folder leads outside " + root_ + "...skipped.");
    }
  }

  // Fetches one entry into `temp` (Windows form). 0, or the device's status (or the
  // completion's result); -1 when cancelled or the player went away (`why` says which).
  int Fetch(const CopyEntry& entry, const std::string& temp, std::string& why) {
    done_ = false;
    doneResult_ = 0;
    completion_ = false;
    int status = kStatusBusy;
    const std::uint64_t start = platform::GetTickCount64();
    while (status == kStatusBusy) {
      device_.SetProgressWindow(dialog_.GetSafeHwnd());
      status = entry.itemClass == kCopyData ? device_.DownloadDataFile(entry.id, temp)
                                            : device_.DownloadTrack(entry.id, temp, 0);
      // A player still busy with another copy answers 2 for a while.
      if (status == kStatusBusy) {
        if (platform::GetTickCount64() - start > 15000) return kStatusBusy;
        transfer::WaitForMessages(50);
      }
    }
    if (status != 0) return status;
    completion_ = true;
    std::uint64_t lastCheck = platform::GetTickCount64();
    while (!done_) {
      if (dialog_.IsCancelled()) {
        why = "canceled.";
        return -1;
      }
      // A player that copies at once sends no completion notice.
      if (device_.IsDownloadRunning() == 0) break;
      transfer::WaitForMessages(50);
      if (platform::GetTickCount64() - lastCheck >= 1000) {
        lastCheck = platform::GetTickCount64();
        if (!DeviceStillThere(device_)) {
          why = "The player is no longer connected.";
          return -1;
        }
      }
    }
    return doneResult_;
  }

  void CopyOne(const CopyEntry& entry) {
    std::string sub, file;
    SplitName(entry.name, sub, file);
    const std::string folder = sub.empty() ? WithBackslash(entry.folder) : WithBackslash(entry.folder) + sub + "\\";
    const std::string target = folder + file;
    dialog_.SetCurrentFile(file);
    ShowCounters();
    ShowProgress(0);
    std::string line = "Copying " + target + "...";
    if (file.empty()) {
      ++result_.skipped;
      Log(line + "no name...skipped.");
      return;
    }
    // One object listed twice for one place (a track twice in a playlist) is copied once.
    if (!placed_.insert({entry.id.word[0], target}).second) {
      Log(line + "copied already...skipped.");
      return;
    }
    Placement place(root_, folder, file);
    if (!place.Inside()) {
      ++result_.failed;
      Log(line + "the folder leads outside " + root_ + "...skipped.");
      return;
    }
    bool replace = false;
    if (place.Exists()) {
      switch (AskReplace(target)) {
        case Existing::kReplace:
          replace = true;
          break;
        case Existing::kSkip:
          ++result_.skipped;
          result_.kept.push_back(target);
          Log(line + "already exists...skipped.");
          return;
        case Existing::kCancel:
          result_.cancelled = stop_ = true;
          result_.kept.push_back(target);
          Log(line + "already exists...canceled.");
          return;
      }
    }
    const std::string temp = place.MakeTemporary();
    if (temp.empty()) {
      ++result_.failed;
      Log(line + "error: " + std::strerror(errno));
      return;
    }
    std::string why;
    int status = 0;
    try {
      status = Fetch(entry, temp, why);
    } catch (const std::exception& e) {
      ++result_.failed;
      stop_ = true;
      Log(line + "error: " + e.what());
      KernelDeviceClient::ReportError(kSetupFailed, e);
      return;
    }
    if (status == -1) {
      if (why == "canceled.") {
        result_.cancelled = true;
        Log(line + why);
      } else {
        ++result_.failed;
        stop_ = true;
        Log(line + "error. " + why);
        ShowInformation("Could not copy " + file + ":\n" + why);
      }
      return;
    }
    if (status == kStatusRefused) {
      ++result_.skipped;
      Log(line + "locked content...skipped.");
      if (!lockedShown_) ShowInformation(kLockedMessage);
      lockedShown_ = true;
      return;
    }
    if (status != 0) {
      ++result_.failed;
      int code = 0;
      std::string text;
      if (completion_) {
        // The player's own result for the file, passed on by its completion notice.
        text = platform::SdkResultText(static_cast<std::uint32_t>(status));
        if (text.empty()) text = "The player did not complete the copy.";
      } else {
        LastDeviceError(device_, code, text);
      }
      Log(line + platform::Printf("error (0x%x)(0x%x).", static_cast<unsigned>(status), static_cast<unsigned>(code)) +
          (text.empty() ? "" : " " + text));
      if (completion_ && static_cast<std::uint32_t>(status) == platform::kSdkErrDownloadDiskFull) {
        // Every further file would fail the same way.
        stop_ = true;
        diskFull_ = true;
      }
      return;
    }
    ShowProgress(100);
    if (!place.Place(replace)) {
      // A file took the place while the content came: ask about that one too.
      if (errno == EEXIST && AskReplace(target) == Existing::kReplace && place.Place(true)) {
        // placed below
      } else {
        ++result_.skipped;
        Log(line + (errno == EEXIST ? "already exists...skipped." : std::string("error: ") + std::strerror(errno)));
        return;
      }
    }
    result_.written.push_back(target);
    Log(line + "complete.");
  }

  void Finish() {
    dialog_.FinishRun(1);  // the window's end without its wait: the counters are ours
    if (!dialog_.IsOpen()) return;
    dialog_.EnableDlgItem(transfer::CTransferDialog::kCompareId, false);
    dialog_.EnableDlgItem(transfer::CTransferDialog::kPostResultsId, false);
    ShowCounters();
    const int copied = static_cast<int>(result_.written.size());
    std::string summary = platform::Printf("%d of %d file%s copied", copied, count_, count_ == 1 ? "" : "s");
    if (result_.skipped > 0) summary += platform::Printf(", %d skipped", result_.skipped);
    if (result_.failed > 0) summary += platform::Printf(", %d failed", result_.failed);
    dialog_.SetDlgItemText(transfer::CTransferDialog::kStatusId, summary + ".");
    dialog_.SetWindowText(result_.cancelled ? "Copy canceled." : "Copy complete.");
    if (diskFull_) {
      const int left = count_ - copied - result_.skipped;
      ShowInformation("The disk of " + platform::ShownPath(root_) + " is full.\n" +
                      platform::Printf("%d file%s could not be copied.", left, left == 1 ? "" : "s"));
    } else if (result_.failed > 0 && !stop_) {
      ShowInformation(platform::Printf("%d file%s could not be copied to ", result_.failed, result_.failed == 1 ? "" : "s") +
                      platform::ShownPath(root_) +
                      ".\nThe transfer log says why.");
    }
    // The same rule as a transfer to the player: the window may close by itself, but
    // stays for the person when something was skipped and the settings ask for that.
    std::uint32_t autoClose = 0, stayOnSkips = 0;
    ReadSettingDword("Gen_Tx_AutoCloseDialog", autoClose);
    ReadSettingDword("Gen_Tx_DialogStayOpenOnSkips", stayOnSkips);
    if (autoClose != 0 && !(stayOnSkips == 1 && result_.skipped + result_.failed > 0)) return;
    if (dynamic_cast<platform::ConsoleHost*>(&platform::CurrentHost()) != nullptr) return;
    while (!dialog_.IsClosed() && dialog_.IsOpen()) transfer::WaitForMessages(50);
  }

  transfer::CTransferDialog& dialog_;
  KernelDevice& device_;
  transfer::TransferLogFile& log_;
  bool& lockedShown_;
  std::string root_;
  int count_ = 0;
  int index_ = 0;
  bool stop_ = false;
  bool done_ = false;
  int doneResult_ = 0;
  bool completion_ = false;  // the last fetch started and its completion notice came
  bool diskFull_ = false;
  std::uint64_t runStart_ = 0;
  std::set<std::pair<std::uint32_t, std::string>> placed_;
  CopyResult result_;
};

// A playlist's M3U list (CR LF lines, names relative to its folder). It is made before the
// copy, so a list that cannot be made is known at once, and written after it, so it names
// only the tracks that are then in the folder (none skipped as locked, refused or failed).
struct ListFile {
  std::unique_ptr<Placement> place;
  std::string path;  // Windows form, for the messages
  bool replace = false;
  std::vector<std::pair<std::string, std::string>> lines;  // a track's file name and its target

  void Write(const CopyResult& copied) const {
    std::set<std::string> present(copied.written.begin(), copied.written.end());
    present.insert(copied.kept.begin(), copied.kept.end());
    std::string text = "#EXTM3U\r\n";
    for (const auto& [file, target] : lines) {
      if (present.count(target) != 0) text += file + "\r\n";
    }
    std::ofstream out(place->TemporaryPosix(), std::ios::binary | std::ios::trunc);
    bool written = static_cast<bool>(out.write(text.data(), static_cast<std::streamsize>(text.size())));
    out.close();
    written = written && out.good() && place->Place(replace);
    if (!written) ShowInformation("Could not create the playlist file\n" + platform::ShownPath(path));
  }
};

// The playlist as a folder of its tracks and its list. False (after saying why) when the
// list file cannot be made; the playlist then adds no entries.
bool AddPlaylist(const ShellItemData& item, const std::string& root, std::vector<CopyEntry>& entries,
                 std::vector<ListFile>& lists, bool& cancelled) {
  std::string display = std::string(item.DisplayName());
  if (!display.empty() && display.back() == '\\') display.pop_back();
  const std::string folderName = SafeFileNamePart(platform::Trim(display));
  // A name that fills the folder's name leaves no room for ".m3u": the list's is shorter.
  const std::string base = folderName.substr(0, platform::Utf8PrefixLength(folderName, 255 - 4));
  ListFile list;
  list.place = std::make_unique<Placement>(root, root + folderName, base + ".m3u");
  list.path = root + folderName + "\\" + base + ".m3u";
  if (!list.place->Inside()) {
    ShowInformation("Could not create the playlist file\n" + platform::ShownPath(list.path) + "\nIts folder leads outside " +
                    platform::ShownPath(root) + ".");
    return false;
  }
  KernelDevice& device = Device();
  std::vector<CopyEntry> added;
  const KernelId playlist = CurrentPlaylistId(device, item);
  KernelId entry;
  for (int n = device.GetFirstPlaylistItem(playlist, entry); n != 0; n = device.GetNextPlaylistItem(playlist, entry)) {
    std::string name;
    GetTrackFileName(name, device, entry);
    const std::string file = SafeFileNamePart(name);
    added.push_back({entry, kCopyTrack, folderName + "\\" + file, root});
    list.lines.emplace_back(file, root + folderName + "\\" + file);
  }
  if (list.place->Exists()) {
    switch (AskReplace(list.path)) {
      case Existing::kReplace:
        list.replace = true;
        break;
      case Existing::kSkip:  // the list stays as it is; its tracks are still copied
        entries.insert(entries.end(), added.begin(), added.end());
        return true;
      case Existing::kCancel:
        cancelled = true;
        return false;
    }
  }
  if (list.place->MakeTemporary().empty()) {
    ShowInformation("Could not create the playlist file\n" + platform::ShownPath(list.path));
    return false;
  }
  entries.insert(entries.end(), added.begin(), added.end());
  lists.push_back(std::move(list));
  return true;
}

}  // namespace

std::string GetCopyFileName(const ShellItemData& item) {
  try {
    KernelDevice& device = Device();
    std::string name;
    if (item.itemClass == kClassTrack && device.SupportsTagIndex() != 0) {
      GetTrackFileName(name, device, item.id);
    } else {
      StripSlashes(name, item.DisplayName());
    }
    return name.empty() ? std::string() : SafeFileNamePart(name);
  } catch (const std::exception&) {
    return {};
  }
}

void CollectDataFolderFiles(const KernelId& folder, const std::string& path, std::vector<CopyEntry>& entries) {
  entries.push_back({folder, kCopyFolder, "", path});  // made even when nothing is in it
  KernelDevice& device = Device();
  std::vector<KernelId> children;
  KernelId child;
  for (int n = device.GetFirstDataItem(folder, child); n != 0; n = device.GetNextDataItem(folder, child)) {
    children.push_back(child);
  }
  for (const KernelId& c : children) {
    const std::string name = SafeFileNamePart(device.GetDataItemName(c));
    if (device.IsDataFolder(c) != 0) {
      CollectDataFolderFiles(c, path + "\\" + name, entries);
    } else {
      entries.push_back({c, kCopyData, name, path});
    }
  }
}

CopyResult BuildCopyToComputerLists(const CPidlList& selection, const std::string& rootIn,
                               transfer::CTransferDialog* progress) {
  CopyResult result;
  const std::string root = WithBackslash(rootIn);
  bool lockedShown = false;
  std::vector<CopyEntry> entries;
  std::vector<ListFile> lists;
  try {
    for (const CPidlLast& selected : selection) {
      const ShellItemData& item = selected.Item();
      if (item.track.playOnly != 0) {
        if (!lockedShown) ShowInformation(kLockedMessage);
        lockedShown = true;
        ++result.skipped;
        continue;
      }
      const std::uint32_t kind = item.id.word[0];
      switch (item.nodeType) {
        case NT_CONTAINER:
        case NT_LISTS: {
          const bool tags = item.nodeType == NT_CONTAINER
                                ? kind == kKindArtistTracks || kind == kKindAlbumTracks || kind == kKindGenreTracks
                                : kind == kListOneArtist;
          if (!tags) break;
          SortableKernelIdArray ids(&Device());
          CollectItemTrackIds(item, ids);
          for (const KernelId& id : ids) {
            std::string name;
            GetTrackFileName(name, Device(), id);
            entries.push_back({id, kCopyTrack, SafeFileNamePart(name), root});
          }
          break;
        }
        case NT_PLAYLIST: {
          bool cancelled = false;
          AddPlaylist(item, root, entries, lists, cancelled);
          if (cancelled) {
            result.cancelled = true;
            return result;
          }
          break;
        }
        case NT_DATAFOLDER: {
          const std::string name = SafeFileNamePart(Device().GetDataItemName(item.id));
          CollectDataFolderFiles(item.id, root + name, entries);
          break;
        }
        case NT_TRACK:
        case NT_DATA:
        case NT_PLITEM:
        case NT_QITEM:
        case NT_INDEXTRACK:
          entries.push_back({item.id, item.itemClass == kClassDataFile ? kCopyData : kCopyTrack, GetCopyFileName(item),
                             root});
          break;
        default:
          break;
      }
    }
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError(kSetupFailed, e);
    return result;
  }

  std::unique_ptr<transfer::CTransferDialog> own;
  transfer::CTransferDialog* dialog = progress;
  platform::WaitCursor wait;
  if (dialog == nullptr) {
    own = std::make_unique<transfer::CTransferDialog>(Device(), nullptr, GetOwnerWindow());
    dialog = own.get();
    if (dialog->Create(GetOwnerWindow())) {
      dialog->CenterWindow();
      dialog->ShowWindow(platform::SW_SHOW);
    }
  }
  transfer::TransferLogFile log;
  log.Open();
  CopyResult copied;
  {
    CopyRun run(*dialog, Device(), log, lockedShown, root);
    copied = run.Run(entries);
  }
  for (const ListFile& list : lists) list.Write(copied);
  log.Close();
  if (own) own->DestroyWindow();
  copied.skipped += result.skipped;
  return copied;
}

void CopyToComputer(const CPidlList& selection) {
  if (selection.empty()) {
    ShowInformation("Did not find any files to transfer to PC.");
    return;
  }
  std::string last;
  ReadSettingString("Kor_Tx2PC_LastFolder", last);
  const std::optional<std::string> picked =
      platform::PickFolder(GetOwnerWindow(), "Select a folder to copy files to:", last);
  if (!picked) return;
  std::string path = *picked;
  StripTrailingBackslash(path, std::string(path));
  if (path.rfind("\\\\", 0) == 0) {
    ShowInformation(g_ProductIdentity.productName +
                    " does not currently support copying to network paths.\nPlease mount your network folder and "
                    "choose it where it is mounted.");
    return;
  }
  struct stat st;
  if (path.empty() || ::stat(platform::ToPosixPath(path).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    ShowInformation("Invalid target folder.");
    return;
  }
  BuildCopyToComputerLists(selection, path + "\\");
  WriteSettingString("Kor_Tx2PC_LastFolder", path);
}

}  // namespace shellext
