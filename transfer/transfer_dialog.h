// CTransferDialog: the modeless window of a transfer to the player and the transfer
// engine that runs in the same thread. The window shows the current file, a per-file and
// an overall bar, counters, the throughput, elapsed and remaining time, and at the end
// the buttons to close, to view the logs and to compare the throughput with other users;
// it receives the device's progress and completion notices and takes files dropped on it
// during a run. The engine sends a list of files: per file it decides audio or data,
// checks and completes the tags, converts when a rule says so, sends the file, waits for
// the device, and writes one line into the transfer log; afterwards it may make playlists
// of the folders and playlist files the files came from.
//
// Everything runs on the thread that made the window; waits pump its messages, so the
// window stays alive and the device's notices (sent messages) arrive.
//
//   CTransferDialog dialog(device, &shell);
//   dialog.Create(); dialog.ShowWindow(platform::SW_SHOW);
//   TransferLogFile log; log.Open();
//   dialog.StartTransfer(&log, KernelId(0), &files, &roots, 0, 0);
//   dialog.DestroyWindow();
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/device_status.h"
#include "device/kernel_device.h"
#include "platform/paths/paths.h"
#include "platform/ui/ui_window.h"
#include "transfer/formats/conversion.h"
#include "transfer/log_file.h"
#include "transfer/source_groups.h"

namespace transfer {

// What the engine asks of the library around it. The defaults do what a process that
// never listed the player's folders needs: no notices, and playlists made directly on
// the device. (The folder views of every process hear the engine's broadcast anyway.)
class TransferShell {
 public:
  virtual ~TransferShell() = default;
  // Change notices for the host's folder tree: the fixed folders, and the library's root
  // item (when it is known).
  virtual void NotifyFixedFoldersUpdated() {}
  virtual void NotifyRootFolderUpdated() {}
  // Makes a player playlist without asking and without messages: the number of tracks
  // given, or -1 when no playlist was made (a blank name, or one that exists already
  // and `JB_Tx_OverwritePlaylists` is 0). Device failures are thrown.
  virtual int CreateDevicePlaylist(device::KernelDevice& device, std::string& name, const std::vector<device::KernelId>& tracks);
};

// Outcomes of one file: the device's own statuses, and two of the run's.
constexpr int kOutcomeSent = device::kStatusOk;  // the device took it; its completion notice follows
constexpr int kOutcomeFailed = device::kStatusFailed;
constexpr int kOutcomeSkipped = 5;
constexpr int kOutcomeExists = device::kStatusFileExists;
constexpr int kOutcomeStorageFull = device::kStatusStorageFull;
constexpr int kOutcomeSynchronous = device::kStatusFinished;  // the device finished at once; no notice follows
constexpr int kOutcomeNotActivated = 10;  // a protected file not activated on this computer

// What a tag read found besides the tags.
struct TagReadFacts {
  platform::OpenFileError openError = platform::OpenFileError::kNone;  // the file could not be opened
  bool audio = true;  // the reader found a playing time or a bitrate
};

struct TagRead;  // transfer_engine.cpp

// A track sent in a run: the item the player made of that very file (0 when it told
// none), and the content id of its tags, by which a file the player held already is
// found.
struct SentTrack {
  std::uint32_t item = 0;
  std::string contentId;
};

class CTransferDialog : public platform::Dialog {
 public:
  static constexpr int kTemplateId = 511;
  static constexpr int kFileProgressId = 1000;
  static constexpr int kStatusId = 1001;
  static constexpr int kRunProgressId = 1002;
  static constexpr int kCancelId = 10002;
  static constexpr int kProcessingId = 1015;
  static constexpr int kSecondTitleId = 1019;
  static constexpr int kTransferredId = 1088;
  static constexpr int kSkippedTagsId = 1089;
  static constexpr int kSkippedExistingId = 1090;
  static constexpr int kAutoFilledId = 1091;
  static constexpr int kPlaylistsId = 1092;
  static constexpr int kCloseId = 1093;
  static constexpr int kViewLogsId = 1099;
  static constexpr int kRateBarId = 1126;
  static constexpr int kRateId = 1127;
  static constexpr int kCompareId = 1128;
  static constexpr int kElapsedId = 1129;
  static constexpr int kRemainingId = 1130;
  static constexpr int kPostResultsId = 1131;
  // The View Logs menu.
  static constexpr int kLogsMenuId = 627;
  static constexpr int kMenuTransferLog = 700;
  static constexpr int kMenuBuildLog = 701;
  static constexpr int kMenuFileList = 702;
  static constexpr int kMenuWriteBackLog = 703;

  explicit CTransferDialog(device::KernelDevice& device, TransferShell* shell = nullptr, platform::HWND parent = 0);
  ~CTransferDialog() override;

  // ---- The engine ----

  // The entry: caption "Transfer Manager", the prepared route (when `JB_Tx_UseATM` is set,
  // the player has a tag index and this is no synchronisation) or the direct route, then
  // the change notices for the fixed folders and command 3090 to the folder views.
  // `files` and `roots` are read (the roots may be null).
  void StartTransfer(TransferLogFile* log, const device::KernelId& target, const std::vector<std::string>* files,
                     const SourceGroups* roots, int syncMode, int finishFlag);
  // The direct route: each file sent with its tags checked and completed.
  void TransferFiles(TransferLogFile* log, const device::KernelId& target, const std::vector<std::string>& files,
                     const SourceGroups* roots, int syncMode, int finishFlag);
  // The prepared route: the preparation sheet over the files and the roots; on OK its
  // records are sent with the tags as edited there (audio, then data files unless the
  // sheet skips them), and its checked groups become playlists without asking. Cancel
  // sends nothing.
  void TransferPrepared(TransferLogFile* log, const device::KernelId& target, const std::vector<std::string>& files,
                        const SourceGroups* roots, int syncMode, int finishFlag);
  // A planned run by the direct route: each file into the memory segment beside it in
  // `targets` (one per file), made current whenever it changes; files dropped during the
  // run go to the last one. No playlists are made. Then the change notices, as above.
  void TransferToSegments(TransferLogFile* log, const std::vector<std::string>& files,
                          const std::vector<device::KernelId>& targets, int finishFlag);
  // The data-file route: each path sent as a data file into the device folder `folder`.
  void TransferDataFiles(TransferLogFile* log, const device::KernelId& folder, const std::vector<std::string>& paths,
                         int finishFlag);
  // Whether a file is converted before it is sent (`Xc2_On`, the rule of its format and,
  // for a bitrate reduction, `Xc2_RThr`).
  int NeedsConversion(const std::string& path);
  // Decodes and encodes the file into the work folder "xcode" by the rule, then writes
  // the tags of `record` (the file's own when null) into the result; the output path, or
  // empty when a step failed (the log line says which).
  std::string ConvertForDevice(std::string& logLine, const std::string& path, std::uint32_t rule,
                               const device::TrackRecord* record = nullptr);
  // Makes one player playlist per source group of the files sent, of the tracks made of
  // those very files; groups of which no track is on the player make none. The number made.
  int BuildAutoPlaylists(TransferLogFile* log, const SourceGroups& roots,
                         const std::map<std::string, SentTrack>& sentTracks, int ask);
  // The speed report buttons.
  void OpenSpeedComparison();
  void PostSpeedResult();
  // The report's query text ("cpu_make=...&...").
  std::string SpeedQuery() const;

  // ---- The window ----

  // Readies the window for a run: flags, counters, bars and texts reset.
  void BeginRun(const std::string& title, const std::string& secondLine, int fileCount);
  // The current file's name on the status line, the counters shown, the file bar at 0.
  void SetCurrentFile(const std::string& name);
  // A progress notice of the current file (also called by the engine with 100 after
  // each file): -1 asks the device to stop the file.
  int OnUploadProgress(int percent);
  // A completion notice: `item` is the new item's id, `result` 0 or the device's code.
  void OnUploadDone(std::uint32_t item, int result);
  // Writes the ids reported so far as "Kor_Tx_LastTransfer" + the short SHA-1 of the
  // device's unique id. The engine calls it after every file; a write (a settings file
  // synced to disk) happens when ids were added and a second has passed since the last
  // one, or when `force` is set, as at the end of a run.
  void SaveLastTransfer(bool force = false);
  // The end of a run: the window shows the totals and (unless it may close by itself)
  // waits until the person closes it.
  void FinishRun(int autoClose);
  // The conversion jobs' progress callback (any thread); `dialog` is the window object.
  static void ConversionProgress(void* dialog, int state, int value, int maximum);
  // While a job converts `sourceBytes`: its progress in the file bar, the elapsed and
  // remaining time of the run, and the conversion's rate as the throughput.
  void BeginConversion(std::uint64_t sourceBytes);
  void ShowConversion();

  // ---- State the engine keeps (read by tests and the caller) ----
  bool IsCancelled() const { return cancelled_; }
  bool IsClosed() const { return closed_; }
  int FilesProcessed() const { return processed_; }
  int FilesCompleted() const { return completed_; }
  int FilesSkipped() const { return skipped_; }
  int FilesExisting() const { return existing_; }
  int TagsAutoFilled() const { return autoFilled_; }
  int PlaylistsCreated() const { return playlistsCreated_; }
  const std::vector<std::uint32_t>& SentIds() const { return sentIds_; }
  const std::map<std::string, SentTrack>& SentTracks() const { return sentTracks_; }
  // Files the player or the engine refused in the run (the log says why); the run went on.
  int FilesRefused() const { return refused_; }
  std::int64_t LastRateTimes100() const { return rateTimes100_; }
  // Files taken from a drop during a run, appended to the list.
  void AddFiles(const std::vector<std::string>& paths);

  void DoDataExchange(platform::DataExchange& dx) override;
  bool OnInitDialog() override;

 protected:
  void OnCancel() override {}  // Escape does not end the window
  void OnClose() override { closed_ = true; }
  void OnDestroy() override;

 private:
  struct FileResult;
  void OnCancelButton();
  void OnViewLogs();
  void ShowCounters();
  // The start of both routes: the list taken, the window and the log told; false (after
  // saying so) for an empty list.
  bool OpenRun(TransferLogFile* log, const std::string& title, const std::vector<std::string>& files,
               const std::string& secondLine);
  // The direct route over files whose segments are `targets` (one for all, or one each);
  // `prepared` holds the preparation sheet's records for the first files (null: none).
  void RunDirect(TransferLogFile* log, const std::vector<std::string>& files, const std::vector<device::KernelId>& targets,
                 const SourceGroups* roots, int syncMode, int finishFlag, std::deque<device::TrackRecord>* prepared = nullptr);
  void TransferOneFile(FileResult& r, int syncMode);
  // One record of the preparation sheet, sent with its tags as they are.
  void SendPreparedFile(FileResult& r, device::TrackRecord& record);
  // The timed tag read of the direct route's next file starts while the device copies the
  // file before it; ReadTagsOf answers from it (as ReadTagsTimed with flags 0, 0 would) when
  // it is the file asked for.
  void ReadTagsAhead();
  int ReadTagsOf(const std::string& path, device::TrackRecord* record, TagReadFacts* facts);
  void SendAudioFile(FileResult& r);
  // Converts (when `convert`) and uploads an audio file whose record is final; `beforeStart`
  // goes into the log line before "starting transfer...". A converted file gets the tags
  // of `fileTags` (the record's when null).
  void SendCheckedAudio(FileResult& r, device::TrackRecord& record, int convert, const char* beforeStart,
                        const device::TrackRecord* fileTags = nullptr);
  void SendDataFile(FileResult& r, const device::KernelId& folder, int syncMode);
  void FinishOutcome(TransferLogFile* log, FileResult& r);
  // A file sent twice in one run (by another name, a link, a second playlist) is sent once;
  // true when `r` is such a second one (its line says so).
  bool SentAlready(FileResult& r);
  // Whether the engine refuses the file before it is sent (its line says why).
  bool RefusedBeforeSending(FileResult& r);
  void WaitForDevice(FileResult& r);
  bool DeviceStillThere();
  void EndRun(TransferLogFile* log, const SourceGroups* roots, int syncMode, int ask, int finishFlag);
  void PumpUntilConverted();
  // Where data files of the direct route go: the player's data root.
  device::KernelId DataTarget();

  device::KernelDevice& device_;
  TransferShell* shell_;
  std::unique_ptr<TransferShell> ownShell_;

  // Run state.
  std::deque<std::string> fileList_;
  std::shared_ptr<TagRead> readAhead_;
  std::string title_;
  int fileCount_ = 0;
  int processed_ = 0;
  int completed_ = 0, skipped_ = 0, existing_ = 0, autoFilled_ = 0, playlistsCreated_ = 0, refused_ = 0;
  bool cancelled_ = false, stop_ = false, waiting_ = false, closed_ = false;
  // The player or its manager went away: nothing more is asked of it in this run.
  bool deviceGone_ = false;
  // Why the run stopped before its end when no person cancelled it (empty: they did).
  std::string stopReason_;
  int unsent_ = 0;  // files whose copy was stopped before the player completed it
  bool timedTagReads_ = false;  // JB_EnableTimedTagReads, read at the start of a run
  std::optional<bool> conversionOn_;  // Xc2_On, read once a run (at its first file)
  std::string runNote_;         // a line for the log after the run's title
  // The files of the run by identity (device, inode) -> the path first sent.
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::string> sentFiles_;
  std::uint32_t currentId_ = 0;
  int doneResult_ = 0;
  std::vector<std::uint32_t> sentIds_;
  std::size_t savedIds_ = 0;
  std::uint64_t lastSave_ = 0;
  std::string deviceUniqueId_;
  std::map<std::string, SentTrack> sentTracks_;
  std::uint64_t totalBytes_ = 0, totalMs_ = 0;
  std::uint64_t fileStart_ = 0, runStart_ = 0;
  std::int64_t fileSize_ = 0;
  std::int64_t rateTimes100_ = 0;
  std::uint64_t convStart_ = 0, convBytes_ = 0, convShown_ = 0;
  int convPercent_ = 0;
  device::KernelId target_;
  std::optional<device::KernelId> dataTarget_;
  bool itagSkip_ = false, itagFill_ = true;
  SourceGroups dropRoots_;

  // Conversion: set by the jobs' callback from their thread.
  std::atomic<bool> busy_{false};
  std::atomic<int> conversionError_{0};
  ConversionCancel conversionCancel_;

  // Bound controls.
  platform::ProgressControl* fileBar_ = nullptr;
  platform::ProgressControl* runBar_ = nullptr;
  platform::ProgressControl* rateBar_ = nullptr;
  std::string rateText_;

  void ShowRate(double mbps);
  void ShowTimes(double fraction, std::uint64_t now);
  // The part of the run done before the current file's `percent`.
  double RunFraction(int percent) const;
};

const platform::DialogTemplate& TransferDialogTemplate();

// Serves the calling thread's messages (and the toolkit's events) until a message
// arrives or `ms` pass; waits of the engine are loops of it.
void WaitForMessages(int ms);

// The timed tag read: reads the file's tags into `record` on a worker thread (unless
// `flagB`), trims them, and fills an empty artist, album or title from the path when
// `flagA` is set. With `JB_EnableTimedTagReads` ("Skip files with corrupt tags") set, a
// read is given up after the limit (5000 ms); without it, it is waited for. 1 when it
// finished; 0 when it was given up, and then the record is left as it was, also when the
// worker finishes later. Only plain files are opened (a FIFO would never answer).
int ReadTagsTimed(const std::string& path, device::TrackRecord* record, int flagA, int flagB,
                  TagReadFacts* facts = nullptr);
// The limit of ReadTagsTimed (5000 ms); tests shorten it.
void SetTagReadLimitForTesting(unsigned milliseconds);
// Runs on the worker before each file's tags are read (tests make a read slow with it);
// null removes it.
void SetTagReadHookForTesting(std::function<void(const std::string& path)> hook);

}  // namespace transfer
