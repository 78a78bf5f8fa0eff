// The transfer engine: the steps CTransferDialog runs for each file of a transfer, the
// conversion before sending, the timed tag read and the speed report.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "common/folders.h"
#include "common/identity.h"
#include "common/settings.h"
#include "common/shell_utilities.h"
#include "common/version.h"
#include "device/codec.h"
#include "device/device_client_error.h"
#include "device/kernel_device_client.h"
#include "platform/kernel/kernel.h"
#include "platform/paths/paths.h"
#include "platform/shell/shell.h"
#include "platform/text/text.h"
#include "platform/ui/host.h"
#include "platform/window/wait.h"
#include "transfer/conversion_job.h"
#include "transfer/conversion_rules.h"
#include "transfer/expansion.h"
#include "transfer/file_path.h"
#include "transfer/formats/audio_file_tags.h"
#include "transfer/tag_fill_dlg.h"
#include "transfer/tags_from_path.h"
#include "transfer/timed_worker.h"
#include "transfer/transfer_manager_sheet.h"
#include "transfer/transfer_dialog.h"

using namespace device;

namespace transfer {

struct CTransferDialog::FileResult {
  std::string path;
  std::string line;           // the file's log line, written when the file is done
  int outcome = kOutcomeSent;
  std::uint32_t newId = 0;    // the item the device made, when it tells at once
  std::int64_t size = 0;      // bytes, for the totals
  std::string convertedPath;  // a file made by the conversion, deleted afterwards
  int errorCode = 0;          // a failure's code and text, for the log and the message
  std::string errorText;
  bool delivered = false;     // the device reported the file complete
  std::string contentId;      // of the tags sent, for an audio file
  std::optional<std::int64_t> sourceSize;  // the source's size when its identity was taken
};

namespace {

constexpr const char* kSecondLine = "You can drop more files onto this dialog box during the transfer.";

bool SettingOn(const char* name, std::uint32_t fallback) {
  std::uint32_t value = fallback;
  ReadSettingDword(name, value);
  return value != 0;
}

void WriteLog(TransferLogFile* log, const std::string& line) {
  if (log != nullptr) log->WriteString(line);
}

std::atomic<unsigned> g_tagReadLimitMs{5000};
std::mutex g_tagReadHookMutex;
std::function<void(const std::string&)> g_tagReadHook;

void RunTagReadHook(const std::string& path) {
  std::function<void(const std::string&)> hook;
  {
    std::lock_guard<std::mutex> lock(g_tagReadHookMutex);
    hook = g_tagReadHook;
  }
  if (hook) hook(path);
}

}  // namespace

// ---- Tags ----

void SetTagReadLimitForTesting(unsigned milliseconds) { g_tagReadLimitMs.store(milliseconds != 0 ? milliseconds : 5000); }

void SetTagReadHookForTesting(std::function<void(const std::string& path)> hook) {
  std::lock_guard<std::mutex> lock(g_tagReadHookMutex);
  g_tagReadHook = std::move(hook);
}

namespace {

bool TimedTagReadsOn() { return SettingOn("JB_EnableTimedTagReads", 0); }

// Appends a step's text to a log line: a line that ends in a whole sentence gets a blank
// first, so two messages never run together.
void AppendStep(std::string& line, const std::string& text) {
  if (!line.empty() && line.back() == '.' && !line.ends_with("...")) line += ' ';
  line += text;
}

}  // namespace

// One tag read: its worker, and the record the worker's answer goes into (never the
// caller's own, so a read given up never reaches a later file's record). A timed read is
// given up after the limit; an untimed one only when its caller gives up.
struct TagRead {
  std::string path;
  bool timed;
  TimedWorker* worker = new TimedWorker;  // a worker of its own for each read
  std::shared_ptr<TrackRecord> answer = std::make_shared<TrackRecord>();
  std::shared_ptr<TagReadFacts> facts = std::make_shared<TagReadFacts>();
  std::shared_ptr<TimedCall> call;

  TagRead(const std::string& file, const TrackRecord& from, int flagA, int flagB, bool timedRead)
      : path(file), timed(timedRead) {
    auto start = std::make_shared<TrackRecord>();
    TrackRecord::Copy(*start, from);
    const std::chrono::milliseconds limit =
        timed ? std::chrono::milliseconds(g_tagReadLimitMs.load()) : std::chrono::hours(24 * 365);
    call = worker->Start(limit, [path = path, answer = answer, facts = facts, start, flagA, flagB](TimedCall& call) {
      TrackRecord& r = *start;
      TagReadFacts found;
      if (flagB == 0) {
        // Only a plain file is read: a FIFO would block the reader for good.
        const int fd = platform::OpenRegularFile(platform::ToPosixPath(path), found.openError);
        if (fd >= 0) {
          ::close(fd);
          RunTagReadHook(path);
          ReadAudioFileTags(path, r);
          TrimTrackTags(r);
          found.audio = r.length > 0 || r.bitrate > 0;
        } else {
          r.path.Set(path);
          found.audio = false;
        }
      }
      if (flagA != 0 && (r.artist.GetText().empty() || r.album.GetText().empty() || r.title.GetText().empty())) {
        TagsFromPath(path, r);
        TrimTrackTags(r);
      }
      call.Complete([&] {
        TrackRecord::Copy(*answer, r);
        *facts = found;
        return 1;
      });
    });
  }
  TagRead(const TagRead&) = delete;
  TagRead& operator=(const TagRead&) = delete;

  // Waits for the answer (a timed read within its limit, counted from the start) and
  // copies it into `record`; 1 when it came, else 0 and `record` as it was. An untimed
  // read serves the thread's window while it waits and ends when `givenUp` says so.
  int Finish(TrackRecord* record, TagReadFacts* found, const std::function<bool()>& givenUp = nullptr) {
    int result = 0;
    if (timed || !givenUp) {
      result = TimedWorker::Finish(call, 0);
    } else {
      for (;;) {
        if (const std::optional<int> r = TimedWorker::FinishWithin(call, std::chrono::milliseconds(20))) {
          result = *r;
          break;
        }
        WaitForMessages(0);
        if (givenUp()) {
          TimedWorker::Abandon(call);
          break;
        }
      }
    }
    answered = result != 0;
    if (answered) {
      TrackRecord::Copy(*record, *answer);
      if (found != nullptr) *found = *facts;
    }
    return result;
  }
  bool answered = false;

  // A finished read's worker ends at once (its destructor waits for it); one that still
  // runs (a file that hangs, a read given up) keeps its object until a later read finds it
  // done: it must not hold up the end of the process.
  ~TagRead() {
    static std::mutex mutex;
    static auto* running = new std::vector<TimedWorker*>;
    std::lock_guard<std::mutex> lock(mutex);
    std::erase_if(*running, [](TimedWorker* w) {
      if (!w->WaitIdle(std::chrono::milliseconds(0))) return false;
      delete w;
      return true;
    });
    if (answered || worker->WaitIdle(std::chrono::milliseconds(0))) {
      delete worker;
    } else {
      running->push_back(worker);
    }
  }
};

int ReadTagsTimed(const std::string& path, TrackRecord* record, int flagA, int flagB, TagReadFacts* facts) {
  if (record == nullptr) return 0;
  return TagRead(path, *record, flagA, flagB, TimedTagReadsOn()).Finish(record, facts);
}

// ---- Runs ----

void CTransferDialog::StartTransfer(TransferLogFile* log, const KernelId& target, const std::vector<std::string>* files,
                                    const SourceGroups* roots, int syncMode, int finishFlag) {
  std::uint32_t useAtm = 0;
  ReadSettingDword("JB_Tx_UseATM", useAtm);
  if (IsOpen()) SetWindowText("Transfer Manager");
  static const std::vector<std::string> kNone;
  const std::vector<std::string>& list = files != nullptr ? *files : kNone;
  bool prepared = false;
  try {
    prepared = useAtm != 0 && syncMode == 0 && device_.SupportsTagIndex() != 0;
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Problem encountered during transfer to your device.", e);
    return;
  }
  // Without a display nobody could answer the sheet: the files go the direct way.
  if (prepared && dynamic_cast<platform::ConsoleHost*>(&platform::CurrentHost()) != nullptr) {
    prepared = false;
    runNote_ = "No display to show the preparation sheet on: the files are sent directly, their tags checked as set.";
  }
  if (prepared) {
    TransferPrepared(log, target, list, roots, syncMode, finishFlag);
  } else {
    TransferFiles(log, target, list, roots, syncMode, finishFlag);
  }
  shell_->NotifyFixedFoldersUpdated();
  ReloadFolderViews();
}

bool CTransferDialog::OpenRun(TransferLogFile* log, const std::string& title, const std::vector<std::string>& files,
                              const std::string& secondLine) {
  fileList_.assign(files.begin(), files.end());
  dropRoots_ = SourceGroups();
  sentFiles_.clear();
  refused_ = 0;
  deviceGone_ = false;
  timedTagReads_ = TimedTagReadsOn();
  conversionOn_.reset();
  BeginRun(title, secondLine, static_cast<int>(fileList_.size()));
  WriteLog(log, title);
  if (!runNote_.empty()) WriteLog(log, runNote_);
  runNote_.clear();
  if (!fileList_.empty()) return true;
  cancelled_ = true;
  WriteLog(log, "File queue was empty.  No files transferred.");
  ShowMessageBox("File queue was empty.  No files transferred.", platform::MB_ICONINFORMATION);
  return false;
}

void CTransferDialog::TransferFiles(TransferLogFile* log, const KernelId& target, const std::vector<std::string>& files,
                                    const SourceGroups* roots, int syncMode, int finishFlag) {
  RunDirect(log, files, {target}, roots, syncMode, finishFlag);
}

void CTransferDialog::TransferPrepared(TransferLogFile* log, const KernelId& target, const std::vector<std::string>& files,
                                       const SourceGroups* roots, int syncMode, int finishFlag) {
  SourceGroups groups = roots != nullptr ? *roots : SourceGroups();
  std::deque<TrackRecord> records;
  std::vector<std::string> paths;
  {
    CTransferManagerSheet sheet(&files, &groups, GetSafeHwnd());
    if (sheet.DoModal() != platform::IDOK) {
      cancelled_ = true;  // nothing is sent
      return;
    }
    for (const TrackRecord* record : sheet.RecordsToSend()) {
      TrackRecord::Copy(records.emplace_back(), *record);
      paths.push_back(record->path.Str());
    }
  }
  RunDirect(log, paths, {target}, &groups, syncMode, finishFlag, &records);
}

void CTransferDialog::TransferToSegments(TransferLogFile* log, const std::vector<std::string>& files,
                                         const std::vector<KernelId>& targets, int finishFlag) {
  if (IsOpen()) SetWindowText("Transfer Manager");
  RunDirect(log, files, targets.empty() ? std::vector<KernelId>{KernelId(0)} : targets, nullptr, 0, finishFlag);
  shell_->NotifyFixedFoldersUpdated();
  ReloadFolderViews();
}

void CTransferDialog::RunDirect(TransferLogFile* log, const std::vector<std::string>& files,
                                const std::vector<KernelId>& targets, const SourceGroups* roots, int syncMode,
                                int finishFlag, std::deque<TrackRecord>* prepared) {
  const std::string title = syncMode != 0 ? "Synchronizing Device to PC" : "Transferring to Device";
  if (!OpenRun(log, title, files, prepared != nullptr ? "" : kSecondLine)) return;
  try {
    // The segment of the file at `index` is made current when it is not already; files
    // beyond the targets (dropped during the run) stay with the last one.
    bool selected = false;
    const auto selectFor = [&](std::size_t index) {
      const KernelId& target = targets[std::min(index, targets.size() - 1)];
      if (selected && target == target_) return;
      WriteLog(log, platform::Printf("Transfer target is %s and memory segment %d.", device_.GetModelName().c_str(),
                           static_cast<int>(target.word[0])));
      device_.SelectStorage(target);
      target_ = target;
      dataTarget_.reset();
      selected = true;
    };
    selectFor(0);
    // Asked now, while the player is surely there: the last transfer's record is kept
    // whatever happens to the manager later.
    if (deviceUniqueId_.empty()) deviceUniqueId_ = device_.GetDeviceUniqueId();
    // The prepared records are sent as edited; files dropped on the window during such a
    // run are checked as on the direct route, which logs the settings.
    itagSkip_ = SettingOn("JB_Tx_ITagSkip", 0);
    itagFill_ = SettingOn("JB_Tx_ITagFill", 1);
    if (prepared == nullptr) {
      WriteLog(log, std::string(itagSkip_ ? "Auto-skipping files with incomplete tags.\n" : "") +
                        (itagFill_ ? "Auto-completing incomplete tags." : ""));
    }
    runStart_ = platform::GetTickCount64();
    for (std::size_t index = 0; !fileList_.empty() && !cancelled_; ++index) {
      selectFor(index);
      FileResult r;
      r.path = fileList_.front();
      fileList_.pop_front();
      try {
        // The sheet's records come first in the list; drops are appended after them.
        if (prepared != nullptr && !prepared->empty()) {
          TrackRecord record;
          TrackRecord::Copy(record, prepared->front());
          prepared->pop_front();
          SendPreparedFile(r, record);
        } else {
          TransferOneFile(r, syncMode);
        }
        // While the device copies this file, the next one's tags are read (a file of the
        // sheet has its record already).
        if (prepared == nullptr || prepared->empty()) ReadTagsAhead();
        FinishOutcome(log, r);
      } catch (const std::exception& e) {
        AppendStep(r.line, std::string("error: ") + e.what());  // the run ends; the file says why
        WriteLog(log, r.line);
        throw;
      }
    }
    SourceGroups all = roots != nullptr ? *roots : SourceGroups();
    for (const SourceGroups::Group& g : dropRoots_.groups()) {
      for (const std::string& p : g.paths) all.Add(g.key, p);
    }
    // The prepared route asked about the playlists in its sheet.
    EndRun(log, &all, syncMode, prepared != nullptr ? 0 : 1, finishFlag);
  } catch (const std::exception& e) {
    SaveLastTransfer(true);
    KernelDeviceClient::ReportError("Problem encountered during transfer to your device.", e);
  }
}

void CTransferDialog::TransferDataFiles(TransferLogFile* log, const KernelId& folder,
                                        const std::vector<std::string>& paths, int finishFlag) {
  if (!OpenRun(log, "Transferring to Device", paths, kSecondLine)) return;
  try {
    target_ = folder;
    dataTarget_.reset();
    // Folder 0 is no folder: such files go where the direct route puts data files.
    const KernelId into = folder.word[0] != 0 ? folder : DataTarget();
    WriteLog(log, platform::Printf("Transfer target is %s and data folder %u.", device_.GetModelName().c_str(), into.word[0]));
    if (deviceUniqueId_.empty()) deviceUniqueId_ = device_.GetDeviceUniqueId();
    runStart_ = platform::GetTickCount64();
    while (!fileList_.empty() && !cancelled_) {
      FileResult r;
      r.path = fileList_.front();
      fileList_.pop_front();
      ++processed_;
      r.line = "File: " + r.path + ".";
      try {
        SetCurrentFile(SplitFilePath(r.path).FileName());
        if (!SentAlready(r)) SendDataFile(r, into, 0);
        FinishOutcome(log, r);
      } catch (const std::exception& e) {
        AppendStep(r.line, std::string("error: ") + e.what());
        WriteLog(log, r.line);
        throw;
      }
    }
    EndRun(log, nullptr, 0, 0, finishFlag);
  } catch (const std::exception& e) {
    SaveLastTransfer(true);
    KernelDeviceClient::ReportError("Problem encountered during transfer to your device.", e);
  }
  shell_->NotifyFixedFoldersUpdated();
  ReloadFolderViews();
}

void CTransferDialog::EndRun(TransferLogFile* log, const SourceGroups* roots, int syncMode, int ask, int finishFlag) {
  SaveLastTransfer(true);
  // A player that went away was reported once; asking it more would only fail again.
  if (!deviceGone_) device_.CommitChanges();
  if (roots != nullptr && !roots->empty() && syncMode == 0 && !cancelled_ && device_.SupportsPlaylists() != 0) {
    playlistsCreated_ = BuildAutoPlaylists(log, *roots, sentTracks_, ask);
  }
  if (log != nullptr) log->Close();
  if (refused_ > 0 && !deviceGone_) {
    ShowMessageBox(platform::Printf("%d of the files could not be sent to the player.  The transfer log says why.", refused_),
                   platform::MB_ICONINFORMATION);
  }
  RefreshFolderViews();
  FinishRun(finishFlag);
}

// ---- One file ----

void CTransferDialog::TransferOneFile(FileResult& r, int syncMode) {
  ++processed_;
  const FilePathParts parts = SplitFilePath(r.path);
  r.line = "File: " + r.path + ".";
  SetCurrentFile(parts.FileName());
  if (SentAlready(r)) return;
  if (IsTransferableFormat(r.path)) {
    SendAudioFile(r);
  } else {
    SendDataFile(r, DataTarget(), syncMode);
  }
}

bool CTransferDialog::SentAlready(FileResult& r) {
  struct stat st {};
  if (::stat(platform::ToPosixPath(r.path).c_str(), &st) != 0) return false;  // its own step says why
  r.sourceSize = static_cast<std::int64_t>(st.st_size);
  const auto [first, added] = sentFiles_.try_emplace({st.st_dev, st.st_ino}, r.path);
  if (added) return false;
  // Playlists that name it by this path get the track sent for the first.
  if (const auto sent = sentTracks_.find(first->second); sent != sentTracks_.end()) sentTracks_[r.path] = sent->second;
  r.outcome = kOutcomeSkipped;
  r.line += "already sent in this run as " + first->second + "...";
  return true;
}

bool CTransferDialog::RefusedBeforeSending(FileResult& r) {
  const std::string reason = UnholdablePathReason(r.path);
  if (reason.empty()) return false;
  ++refused_;
  r.outcome = kOutcomeSkipped;
  r.line += reason + "...";
  return true;
}

void CTransferDialog::SendPreparedFile(FileResult& r, TrackRecord& record) {
  ++processed_;
  r.line = "File: " + r.path + ".";
  SetCurrentFile(SplitFilePath(r.path).FileName());
  if (SentAlready(r)) return;
  if (IsTransferableFormat(r.path)) {
    r.line += "File is audio...";
    if (RefusedBeforeSending(r)) return;
    // The sheet read the file: neither a playing time nor a bitrate means no audio.
    if (record.length <= 0 && record.bitrate <= 0) {
      ++refused_;
      r.outcome = kOutcomeSkipped;
      r.line += "no audio found in the file...";
      return;
    }
    SendCheckedAudio(r, record, NeedsConversion(r.path), "");
  } else {
    SendDataFile(r, DataTarget(), 0);
  }
}

KernelId CTransferDialog::DataTarget() {
  // Data files go into the player's data root: a memory segment's number names no folder.
  if (!dataTarget_) {
    KernelId root;
    device_.GetDataRootFolder(root);
    dataTarget_ = root.word[0] != 0 ? root : target_;
  }
  return *dataTarget_;
}

void CTransferDialog::SendAudioFile(FileResult& r) {
  const FilePathParts parts = SplitFilePath(r.path);
  r.line += "File is audio...";
  if (RefusedBeforeSending(r)) return;
  r.line += "reading tag...";
  const int convert = NeedsConversion(r.path);
  TrackRecord record;
  TagReadFacts facts;
  if (ReadTagsOf(r.path, &record, &facts) == 0) {
    r.outcome = kOutcomeSkipped;
    if (cancelled_) {
      r.line += "canceled while reading...";
      return;
    }
    ++skipped_;
    r.line += "tag could not be read, file may be corrupted...";
    return;
  }
  // A file that cannot be read, or holds no audio, would reach the player as a silent
  // track of nothing.
  if (facts.openError != platform::OpenFileError::kNone || !facts.audio) {
    ++refused_;
    r.outcome = kOutcomeSkipped;
    r.line += facts.openError != platform::OpenFileError::kNone
                  ? "the file cannot be sent: " + platform::OpenFileErrorText(facts.openError) + "..."
                  : "no audio found in the file...";
    return;
  }
  // The converted file's tags: the record without the fill text's placeholders.
  TrackRecord fileTags;
  bool placeholders = false;
  if (device_.SupportsTagIndex() != 0) {
    const auto present = [](const FixedString256& s) { return !s.GetText().empty(); };
    if (present(record.artist) && present(record.title) && present(record.album)) {
      r.line += "tag is good...a(" + record.artist.Str() + ")b(" + record.album.Str() + ")t(" + record.title.Str() + ")...";
    } else {
      r.line += "some required tag fields are missing...";
      if (!present(record.title)) record.title.Set(parts.name);
      bool filled = false;
      CTagFillDlg fill(parts.FileName(), &record, GetSafeHwnd());
      if (itagSkip_) {
        ++skipped_;
        r.outcome = kOutcomeSkipped;
        r.line += "autoskipping...";
      } else if (itagFill_) {
        r.line += "autofilling...";
        ++autoFilled_;
        filled = true;
      } else if (fill.DoModal() != platform::IDOK) {
        ++skipped_;
        r.outcome = kOutcomeSkipped;
        r.line += "user wanted to skip...";
      } else {
        r.line += "manual fill...";
        filled = true;
      }
      if (filled) {
        fill.ApplyToTrack();
        if (!present(record.title)) record.title.Set(parts.name);
        TrackRecord::Copy(fileTags, record);
        fill.RemovePlaceholders(fileTags);
        placeholders = true;
      }
    }
  }
  SendCheckedAudio(r, record, convert, "", placeholders ? &fileTags : nullptr);
}

void CTransferDialog::SendCheckedAudio(FileResult& r, TrackRecord& record, int convert, const char* beforeStart,
                                       const TrackRecord* fileTags) {
  const FilePathParts parts = SplitFilePath(r.path);
  std::string sendPath = r.path;
  if (convert != 0 && r.outcome == kOutcomeSent) {
    const std::string converted =
        ConvertForDevice(r.line, r.path, GetConversionRule(GetAudioFileCodec(r.path)), fileTags ? fileTags : &record);
    if (converted.empty()) {
      r.outcome = kOutcomeSkipped;
    } else {
      r.convertedPath = sendPath = converted;
      TrackRecord made;
      ReadTagsTimed(converted, &made, 1, 0);
      record.bitrate = made.bitrate;
      record.codec = made.codec;
      record.fileSize = made.fileSize;
      SetCurrentFile(parts.FileName());
    }
  }
  if (r.outcome != kOutcomeSent) return;
  r.line += std::string(beforeStart) + "starting transfer...";
  KernelId result;
  device_.SetProgressWindow(GetSafeHwnd());
  fileStart_ = platform::GetTickCount64();
  waiting_ = true;  // the completion may come while the call still runs
  doneResult_ = 0;
  r.outcome = device_.UploadTrack(sendPath, record, result);
  r.newId = result.word[0];
  // The record's size field holds 32 bits; the totals count the file's own 64-bit size,
  // the source's as taken a moment ago unless a converted file went.
  if (sendPath == r.path && r.sourceSize) {
    fileSize_ = r.size = *r.sourceSize;
  } else {
    const platform::FileInfo sent = platform::QueryFile(sendPath);
    fileSize_ = r.size = sent.exists ? static_cast<std::int64_t>(sent.size) : std::max<std::int64_t>(record.fileSize, 0);
  }
  r.contentId = KernelDevice::MakeContentId(record.artist.GetText(), record.album.GetText(), record.title.GetText());
}

void CTransferDialog::SendDataFile(FileResult& r, const KernelId& folder, int syncMode) {
  r.line += "File is data...";
  if (syncMode != 0) {
    r.outcome = kOutcomeSkipped;
    r.line += "data files skipped during sync...";
    return;
  }
  if (RefusedBeforeSending(r)) return;
  // Only a plain file is sent: the manager would hang opening a FIFO, copy a device
  // without end.
  platform::OpenFileError error = platform::OpenFileError::kNone;
  std::uint64_t size = 0;
  const int fd = platform::OpenRegularFile(platform::ToPosixPath(r.path), error, &size);
  if (fd < 0) {
    r.outcome = kOutcomeSkipped;
    if (error == platform::OpenFileError::kMissing || platform::QueryFile(r.path).directory) {
      // A folder or a vanished file has nothing the device could copy.
      r.line += "not a file...";
    } else {
      ++refused_;
      r.line += platform::OpenFileErrorText(error) + "...";
    }
    return;
  }
  ::close(fd);
  r.line += "starting transfer...";
  KernelId result;
  device_.SetProgressWindow(GetSafeHwnd());
  fileStart_ = platform::GetTickCount64();
  waiting_ = true;
  doneResult_ = 0;
  r.outcome = device_.UploadDataFile(r.path, folder, result);
  r.newId = result.word[0];
  fileSize_ = r.size = static_cast<std::int64_t>(size);
}

bool CTransferDialog::DeviceStillThere() { return ::DeviceStillThere(device_); }

void CTransferDialog::ReadTagsAhead() {
  if (readAhead_ || fileList_.empty() || !IsTransferableFormat(fileList_.front())) return;
  readAhead_ = std::make_shared<TagRead>(fileList_.front(), TrackRecord(), 0, 0, timedTagReads_);
}

int CTransferDialog::ReadTagsOf(const std::string& path, TrackRecord* record, TagReadFacts* facts) {
  std::shared_ptr<TagRead> read = std::move(readAhead_);
  if (!read || read->path != path) read = std::make_shared<TagRead>(path, *record, 0, 0, timedTagReads_);
  // An untimed read is waited for as long as it takes, the window served, until Cancel.
  return read->Finish(record, facts, [this] { return cancelled_; });
}

void CTransferDialog::WaitForDevice(FileResult& r) {
  std::uint64_t lastCheck = platform::GetTickCount64();
  while (waiting_) {
    if (cancelled_) return;  // the device finishes or drops the file on its own
    WaitForMessages(50);
    if (!waiting_) break;
    // Neither a player taken away nor a manager that ended sends the completion.
    if (platform::GetTickCount64() - lastCheck >= 1000) {
      lastCheck = platform::GetTickCount64();
      if (!DeviceStillThere()) {
        waiting_ = false;
        r.outcome = kOutcomeFailed;
        r.errorText = "The player is no longer connected.";
        return;
      }
    }
  }
  if (doneResult_ == kNoticeStorageFull) {
    r.outcome = kOutcomeStorageFull;
    return;
  }
  if (doneResult_ != 0) {
    r.outcome = kOutcomeFailed;
    r.errorCode = doneResult_;
    r.errorText = "The player did not complete the transfer.";
    return;
  }
  r.delivered = true;
}

void CTransferDialog::FinishOutcome(TransferLogFile* log, FileResult& r) {
  if (r.outcome != kOutcomeSent) waiting_ = false;
  bool timed = false;
  const auto storageFull = [&] {
    cancelled_ = stop_ = true;
    stopReason_ = "the player's memory is full";
    ++unsent_;  // the file the player had no room for
    ShowMessageBox("Memory is full.", platform::MB_ICONINFORMATION);
    r.line += "memory is full.";
  };
  switch (r.outcome) {
    case kOutcomeSkipped:
      r.line += "skipped.";
      break;
    case kOutcomeExists:
      ++existing_;
      r.line += "already exists...skipped.";
      // The player's own copy is found by its tags.
      if (!r.contentId.empty()) sentTracks_[r.path] = {0, r.contentId};
      break;
    case kOutcomeStorageFull:
      storageFull();
      break;
    case kOutcomeSynchronous:
      r.line += "synchronous...";
      OnUploadProgress(100);
      // The device finished at once: the id it gave back is the file's item.
      OnUploadDone(r.newId, 0);
      r.delivered = true;
      [[fallthrough]];
    case kOutcomeSent:
      if (r.outcome == kOutcomeSent) WaitForDevice(r);
      if (r.outcome == kOutcomeFailed) break;
      if (r.outcome == kOutcomeStorageFull) {  // it ran full during the copy
        storageFull();
        break;
      }
      if (!r.delivered) {
        r.line += "canceled.";
        ++unsent_;
      } else {
        r.line += "complete.";
        ++completed_;
        timed = true;
        // Playlists take the very item the player made of this file.
        if (!r.contentId.empty()) sentTracks_[r.path] = {r.outcome == kOutcomeSynchronous ? r.newId : currentId_, r.contentId};
      }
      break;
    case kOutcomeNotActivated:
      OnUploadProgress(100);
      OnUploadDone(0, 0);
      ShowMessageBox("This protected file has not yet been activated for use on this computer.\nIt will not be "
                     "transferred.\n\nTry activating this file and transferring again.",
                     platform::MB_ICONINFORMATION);
      r.line += "not activated for transfer...skipped.";
      break;
    default:
      LastDeviceError(device_, r.errorCode, r.errorText);
      break;
  }
  if (r.outcome != kOutcomeSkipped && r.outcome != kOutcomeExists && r.outcome != kOutcomeStorageFull &&
      r.outcome != kOutcomeSynchronous && r.outcome != kOutcomeSent && r.outcome != kOutcomeNotActivated) {
    // The source stays as it was; the line says why the file is not on the player.
    r.line += platform::Printf("error (0x%x)(0x%x).", static_cast<unsigned>(r.outcome), static_cast<unsigned>(r.errorCode));
    if (!r.errorText.empty()) r.line += " " + r.errorText;
    if (DeviceStillThere()) {
      // The player refused this one file (its name, its content): the others may go.
      ++refused_;
    } else {
      cancelled_ = stop_ = true;
      deviceGone_ = true;
      stopReason_ = "the player is no longer connected";
      const std::string name = SplitFilePath(r.path).FileName();
      ShowMessageBox(platform::Printf("Could not send file:\n%s\n\nError code: %d\n\nDescription:%s", name.c_str(),
                            r.errorCode, r.errorText.c_str()),
                     platform::MB_ICONINFORMATION);
    }
  }
  if (timed) {
    totalMs_ += platform::GetTickCount64() - fileStart_;
    totalBytes_ += static_cast<std::uint64_t>(std::max<std::int64_t>(r.size, 0));
  }
  if (!r.convertedPath.empty()) platform::RemoveFile(r.convertedPath);
  if (completed_ % 50 == 0 && !deviceGone_) device_.CommitChanges();
  OnUploadProgress(100);
  WriteLog(log, r.line);
  SaveLastTransfer();
}

// ---- Conversion ----

int CTransferDialog::NeedsConversion(const std::string& path) {
  // Asked for every file: a look at the settings each time cost more than the rest of
  // the file's checks.
  if (!conversionOn_) conversionOn_ = SettingOn("Xc2_On", 0);
  if (!*conversionOn_) return 0;
  const std::uint32_t rule = GetConversionRule(GetAudioFileCodec(path));
  if (rule <= 0xFFFF) return 0;
  switch (rule >> 16) {
    case 1:
      return 1;
    case 2: {
      TrackRecord record;
      ReadTagsTimed(path, &record, 0, 0);  // a file that hangs is not reduced
      std::uint32_t threshold = 128;
      ReadSettingDword("Xc2_RThr", threshold);
      return record.bitrate > 0 && static_cast<std::uint32_t>(record.bitrate) > threshold ? 1 : 0;
    }
    default:
      return 0;
  }
}

void CTransferDialog::PumpUntilConverted() {
  while (busy_.load()) {
    WaitForMessages(20);
    // The clock goes on between the job's reports.
    if (platform::GetTickCount64() - convShown_ >= 1000) ShowConversion();
  }
}

std::string CTransferDialog::ConvertForDevice(std::string& logLine, const std::string& path, std::uint32_t rule,
                                              const TrackRecord* record) {
  const int targetCodec = static_cast<int>(rule & 0xFFFF);
  const FilePathParts parts = SplitFilePath(path);
  std::string folder;
  GetWorkFolder(folder, "xcode");
  const std::string wav = folder + "tmp.wav";
  conversionCancel_ = MakeConversionCancel();
  if (cancelled_) conversionCancel_->store(true);

  if (IsOpen()) SetDlgItemText(kStatusId, "Tonavel Decoding..." + parts.FileName());
  busy_.store(true);
  conversionError_.store(0);
  BeginConversion(platform::QueryFile(path).size);
  StartDecodeJob(path, wav, &CTransferDialog::ConversionProgress, this, 5, conversionCancel_);
  PumpUntilConverted();
  if (const int error = conversionError_.load(); error != 0) {
    logLine += platform::Printf("Tonavel decoding error %d...", error);
    platform::RemoveFile(wav);
    return {};
  }

  const std::string extension = GetCodecExtension(targetCodec);
  const std::string output = folder + parts.name + "." + extension;
  const std::string upper = platform::ToUpperAscii(extension);
  const EncoderSettings encoder = ReadEncoderSettings(targetCodec);
  const bool vbr = encoder.vbr;
  const int value = encoder.Value();
  logLine += targetCodec == kCodecWav ? std::string("Tonaveling to WAV...")
                                      : platform::Printf("Tonaveling to %s %s %d...", upper.c_str(), vbr ? "VBR" : "CBR", value);

  if (IsOpen()) SetDlgItemText(kStatusId, "Tonavel Encoding..." + parts.FileName());
  busy_.store(true);
  conversionError_.store(0);
  BeginConversion(platform::QueryFile(wav).size);
  StartEncodeJob(wav, output, targetCodec, vbr, value, &CTransferDialog::ConversionProgress, this, 5,
                 conversionCancel_);
  PumpUntilConverted();
  platform::RemoveFile(wav);
  if (const int error = conversionError_.load(); error != 0) {
    logLine += platform::Printf("Tonavel encoding error %d...", error);
    return {};
  }

  TrackRecord tags;
  if (record != nullptr) {
    TrackRecord::Copy(tags, *record);
  } else {
    ReadTagsTimed(path, &tags, 1, 0);
  }
  tags.path.Set(output);
  WriteAudioFileTagsTimed(tags);
  return output;
}

// ---- Speed report ----

std::string CTransferDialog::SpeedQuery() const {
  std::string vendor, mhz;
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line) && (vendor.empty() || mhz.empty());) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string key = platform::Trim(line.substr(0, colon));
    const std::string value = platform::Trim(line.substr(colon + 1));
    if (key == "vendor_id" && vendor.empty()) vendor = value;
    if (key == "cpu MHz" && mhz.empty()) mhz = value;
  }
  const std::string make = vendor == "AuthenticAMD" ? "AMD" : vendor == "GenuineIntel" ? "INTEL" : "X86";
  int speed = platform::ParseInt32(mhz);
  if (speed % 5 != 0) speed += 5 - speed % 5;

  std::string version;
  GetModuleVersion(version);
  std::string type;
  if (auto* client = dynamic_cast<KernelDeviceClient*>(&device_)) {
    const int kind = client->GetDeviceIndex();
    const std::uint32_t number = client->GetDeviceId().word[0];
    if (kind == 0) type = number == 1 ? "JB" : number == 2 ? "J2" : number == 3 ? "J3" : number == 4 ? "JZ" : "";
    if (kind == 1) type = number == 0 ? "II" : number == 1 ? "JB" : "";
    if (kind == 5 && number == 0) type = "MV";
  }
  // Values are escaped where they would break the query; blanks become "+".
  const auto value = [](const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
      if (c == ' ') {
        out += '+';
      } else if (c < 0x20 || c >= 0x7F || c == '&' || c == '=' || c == '%' || c == '+' || c == '#') {
        out += platform::Printf("%%%02X", c);
      } else {
        out += static_cast<char>(c);
      }
    }
    return out;
  };
  KernelDevice& device = const_cast<KernelDevice&>(device_);
  return "cpu_make=" + value(make) + "&cpu_speed=" + std::to_string(speed) + "&os=Linux&obxe_ver=" + value(version) +
         "&dev_type=" + value(type) + "&dev_hwver=" + value(device.GetHardwareVersion()) +
         "&dev_fwver=" + value(device.GetFirmwareVersion()) + "&obxe_mbps=" + std::to_string(rateTimes100_) +
         "&obxe_sampsize=" + std::to_string(fileCount_);
}

void CTransferDialog::OpenSpeedComparison() {
  std::string address;
  ReadSettingString("URL_Verdassy", address);
  if (!address.empty()) platform::ShellOpen(address);
}

void CTransferDialog::PostSpeedResult() {
  std::string address;
  ReadSettingString("URL_VerdassyPost", address);
  if (address.empty()) return;  // nowhere to post to
  try {
    platform::ShellOpen(address + SpeedQuery());
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not read the player's versions.", e);
  }
}

}  // namespace transfer
