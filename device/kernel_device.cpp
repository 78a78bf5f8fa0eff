// KernelDevice: construction, the dispatcher, replies, the fixed default answers, the
// pending ids, storage sums, track records, the play queue and the notices.
#include "device/kernel_device.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "common/version.h"
#include "device/catalogue.h"
#include "device/codec.h"
#include "device/device_error.h"
#include "device/messages.h"
#include "device/operations.h"
#include "device/sortable.h"

namespace device {

KernelDevice::KernelDevice() : catalogue_(std::make_unique<Catalogue>(this)) {}

KernelDevice::KernelDevice(DeviceOwner* owner, const KernelId& device, const KernelId& segment)
    : owner_(owner),
      deviceId_(device),
      segmentId_(segment),
      catalogue_(std::make_unique<Catalogue>(this)) {}

KernelDevice::~KernelDevice() = default;

// ---- Dispatcher ----

void KernelDevice::WriteFailure(DeviceRequestBlock& block, std::int32_t code,
                                std::string_view title, std::string_view detail) {
  block.errorCode = code != 0 ? code : platform::E_FAIL;
  block.errorTitle.Set(title.empty() ? std::string_view("Device Error") : title);
  block.errorDetail.Set(detail);
}

void KernelDevice::Dispatch(DeviceRequestBlock* block) {
  if (block == nullptr) return;
  currentBlock_ = block;
  block->messageFlag = 0;
  block->errorCode = 0;
  // The caller's walks are its own (GetRequestCaller); its thread id is never the
  // catalogue's key.
  const std::uint32_t caller = block->callerThreadId == kCatalogueCaller ? kOwnCaller : block->callerThreadId;
  struct CallerScope {
    std::uint32_t& slot;
    std::uint32_t saved;
    ~CallerScope() { slot = saved; }
  } callerScope{requestCaller_, requestCaller_};
  requestCaller_ = caller;
  device::devop::Reply reply;
  try {
    switch (block->opcode) {
#define DEVOP_DISPATCH_ROW(code, Name, R, Flow, ...)                                      \
  case code:                                                                              \
    DEVOP_ROW(code, R, Flow, __VA_ARGS__)::Invoke(*this, &KernelDevice::Name, *block, reply); \
    break;
      KERNEL_DEVICE_OPERATIONS(DEVOP_DISPATCH_ROW)
#undef DEVOP_DISPATCH_ROW
      default:
        break;  // unknown code: nothing is called
    }
  } catch (const DeviceError& e) {
    reply = device::devop::Reply();
    WriteFailure(*block, e.code(), e.source(), e.detail());
  } catch (const std::bad_alloc&) {
    reply = device::devop::Reply();
    WriteFailure(*block, platform::E_OUTOFMEMORY, "Out of Memory",
                 "There was not enough memory to complete the device operation.");
  } catch (const std::exception& e) {
    reply = device::devop::Reply();
    WriteFailure(*block, platform::E_FAIL, "Device Error", e.what());
  } catch (...) {
    reply = device::devop::Reply();
    WriteFailure(*block, platform::E_FAIL, "Device Error",
                 "The device operation failed with an unknown error.");
  }
  block->flags = 0;
  block->textResult.Set(reply.textResult);
  block->intResult = reply.intResult;
}

const char* DeviceOpName(int opcode) {
  switch (opcode) {
#define DEVOP_NAME_ROW(code, Name, ...) \
  case code:                            \
    return #Name;
    KERNEL_DEVICE_OPERATIONS(DEVOP_NAME_ROW)
#undef DEVOP_NAME_ROW
    default:
      return nullptr;
  }
}

void KernelDevice::SetReplyMessage(std::string_view text) {
  currentBlock_->messageFlag = static_cast<std::uint32_t>(-1);
  currentBlock_->messageText.Set(text);
}

void KernelDevice::SetReplyError(int code, std::string_view text) {
  currentBlock_->replyCode = code;
  currentBlock_->replyText.Set(text);
}

// ---- Device ----

int KernelDevice::CheckDriverDevice() { return owner_ ? owner_->CheckDevice(deviceId_) : 0; }

int KernelDevice::IsConnectedModel(std::string_view) { return IsConnected(); }

std::string KernelDevice::GetHostVersion() {
  std::string version;
  GetModuleVersion(version);
  return version;
}

int KernelDevice::VerifyDeviceModel(const KernelId&, FixedString256&, FixedString256&) {
  return 1;
}

int KernelDevice::TryLockDevice(int) {
  if (busy_) return 0;
  busy_ = 1;
  return 1;
}

int KernelDevice::UnlockDevice() {
  busy_ = 0;
  return 0;
}

int KernelDevice::ClearPendingIds() {
  pendingIds_.clear();
  return 0;
}

int KernelDevice::AddPendingId(const KernelId& id) {
  pendingIds_.push_back(id);
  return static_cast<int>(pendingIds_.size());
}

int KernelDevice::CommitChanges() { return 0; }
int KernelDevice::IsAutoConnect() { return 0; }
int KernelDevice::SupportsEject() { return 0; }
int KernelDevice::Op2330() { return 0; }
int KernelDevice::UsesTrackDatabase() { return 0; }
int KernelDevice::RunSetupWizard(int) { return 0; }

// ---- Storage ----

int KernelDevice::GetStorageTotalKB(const KernelId& storage) {
  SelectStorage(storage);
  return GetTotalSpaceKB();
}

int KernelDevice::GetStorageFreeKB(const KernelId& storage) {
  SelectStorage(storage);
  return GetFreeSpaceKB();
}

int KernelDevice::GetStorageUsedKB(const KernelId& storage) {
  SelectStorage(storage);
  return GetDataFilesSize() + GetAudioFilesSize();
}

int KernelDevice::StorageHasItems(const KernelId& storage) {
  SelectStorage(storage);
  KernelId root;
  GetDataRootFolder(root);
  KernelId item;
  const int data = GetFirstDataItem(root, item);
  return data + GetFirstAudioTrack(item);
}

// ---- Track records ----

int KernelDevice::SupportsTagIndex() { return 1; }
int KernelDevice::SupportsSearch() { return 1; }

int KernelDevice::GetTrackInfo(const KernelId& track, TrackRecord& record) {
  record.path.Set(GetTrackFileName(track));
  record.fileSize = GetTrackSize(track);
  record.artist.Set(GetTrackArtist(track));
  record.album.Set(GetTrackAlbum(track));
  record.trackNumber = GetTrackNumber(track);
  record.title.Set(GetTrackTitle(track));
  record.codec = static_cast<std::uint8_t>(GetTrackCodec(track));
  record.length = GetTrackLength(track);
  record.bitrate = GetTrackBitrate(track);
  record.year = GetTrackYear(track);
  record.genre.Set(GetTrackGenre(track));
  record.comment.Set(GetTrackComment(track));
  record.playOnly = static_cast<std::uint8_t>(IsTrackLocked(track));
  return 0;
}

int KernelDevice::GetFileTrackInfo(std::string_view, TrackRecord&) { return 0; }

std::string KernelDevice::GetDefaultFileName(const KernelId& track) {
  const int codec = GetTrackCodec(track);
  const std::string title = GetTrackTitle(track);
  const std::string album = GetTrackAlbum(track);
  const std::string artist = GetTrackArtist(track);
  const int number = GetTrackNumber(track);
  char digits[16];
  std::snprintf(digits, sizeof(digits), "%02d", number);
  return artist + " - " + album + " - " + digits + " - " + title + "." + GetCodecExtension(codec);
}

// A device that answers "no track" must not be asked for a record of a stale id.
int KernelDevice::GetFirstAudioTrackInfo(KernelId& track, TrackRecord& record) {
  const int r = GetFirstAudioTrack(track);
  if (r > 0) GetTrackInfo(track, record);
  return r;
}

int KernelDevice::GetNextAudioTrackInfo(KernelId& track, TrackRecord& record) {
  const int r = GetNextAudioTrack(track);
  if (r > 0) GetTrackInfo(track, record);
  return r;
}

// ---- Transfers and notices ----

void KernelDevice::SetProgressWindow(platform::HWND window) {
  if (platform::IsWindow(window)) progressWindow_ = window;
}

void KernelDevice::AddNotifyWindow(platform::HWND window) {
  if (platform::IsWindow(window)) notifyWindows_.push_back(window);
}

namespace {
// The answer of the progress window, or 0 when it is gone; one that is gone is forgotten.
// The send finds that out itself, so the window is not looked up first.
int SendToProgressWindow(platform::HWND& window, platform::UINT message, platform::WPARAM wParam,
                         platform::LPARAM lParam) {
  if (window == 0) return 0;
  platform::LRESULT answer = 0;
  if (!platform::SendMessageTimeout(window, message, wParam, lParam, platform::INFINITE, &answer)) {
    if (!platform::IsWindow(window)) window = 0;
    return 0;
  }
  return static_cast<int>(answer);
}
}  // namespace

int KernelDevice::NotifyUploadProgress(int value) {
  return SendToProgressWindow(progressWindow_, WM_UPLOADPROGRESS, static_cast<platform::WPARAM>(value), 0);
}

int KernelDevice::NotifyDownloadProgress(int value) {
  return SendToProgressWindow(progressWindow_, WM_DOWNLOADPROGRESS, static_cast<platform::WPARAM>(value), 0);
}

int KernelDevice::NotifyUploadDone(const KernelId& item, int value) {
  const int answer = SendToProgressWindow(progressWindow_, WM_UPLOADDONE, item.word[0], value);
  progressWindow_ = 0;
  return answer;
}

int KernelDevice::NotifyDownloadDone(const KernelId& item, int value) {
  const int answer = SendToProgressWindow(progressWindow_, WM_DOWNLOADDONE, item.word[0], value);
  progressWindow_ = 0;
  return answer;
}

namespace {

// Posts to every live window, newest first; dead windows are dropped from the list.
void PostToNotifyWindows(std::vector<platform::HWND>& windows, platform::UINT message,
                         platform::WPARAM wParam, platform::LPARAM lParam) {
  for (std::size_t i = windows.size(); i-- > 0;) {
    if (platform::IsWindow(windows[i])) {
      platform::PostMessage(windows[i], message, wParam, lParam);
    } else {
      windows.erase(windows.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
}

}  // namespace

int KernelDevice::NotifyNowPlaying(int value) {
  PostToNotifyWindows(notifyWindows_, WM_NOWPLAYING, nowPlaying_.word[0], value);
  return 0;
}

int KernelDevice::NotifyStopped(int flag) {
  PostToNotifyWindows(notifyWindows_, WM_PLAYBACKSTOPPED, 0, 0);
  SetPlaybackStopped(1);  // until the next entry plays, if one does
  if ((flag & 0xFF) != 0) return PlayNextInQueue();
  ++queuePosition_;
  if (queuePosition_ >= 0 && static_cast<std::size_t>(queuePosition_) < queue_.size()) {
    nowPlaying_ = queue_[static_cast<std::size_t>(queuePosition_)];
  }
  return 0;
}

// ---- Play queue ----

int KernelDevice::GetFirstQueueEntry(KernelId& track) {
  if (queue_.empty()) return 0;
  queueCursor_ = 1;
  track.word[0] = queue_.front().word[0];
  return static_cast<int>(queue_.size());
}

int KernelDevice::GetNextQueueEntry(KernelId& track) {
  if (queueCursor_ >= queue_.size()) return 0;
  track.word[0] = queue_[queueCursor_++].word[0];
  return 1;
}

int KernelDevice::EnqueueTrack(const KernelId& track) {
  queue_.push_back(track);
  return 0;
}

int KernelDevice::RemoveFromQueue(const KernelId& track) {
  StopPlayback();
  for (std::size_t i = queue_.size(); i-- > 0;) {
    if (queue_[i].word[0] == track.word[0]) {
      queue_.erase(queue_.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  return 0;
}

int KernelDevice::ClearQueue() {
  StopPlayback();
  SetQueuePosition(0);
  queue_.clear();
  return 0;
}

int KernelDevice::ShuffleQueue() {
  StopPlayback();
  SetQueuePosition(0);
  const std::size_t n = queue_.size();
  for (std::size_t round = 0; round < n; ++round) {
    const std::size_t i = RandomIndex(n);
    const std::size_t j = RandomIndex(n);
    std::swap(queue_[i], queue_[j]);
  }
  return 0;
}

int KernelDevice::MoveQueueEntry(int from, int to) {
  StopPlayback();
  SetQueuePosition(0);
  const int n = static_cast<int>(queue_.size());
  // `to` may name the place after the last entry; anything further would pad the queue
  // with empty entries.
  if (from < 0 || from >= n || to < 0 || to > n) {
    throw InvalidArgumentError("The queue entry to move is outside the queue.");
  }
  if (from < to) {
    queue_.insert(queue_.begin() + to, queue_[static_cast<std::size_t>(from)]);
    queue_.erase(queue_.begin() + from);
  } else {
    KernelId entry = queue_[static_cast<std::size_t>(from)];
    queue_.erase(queue_.begin() + from);
    queue_.insert(queue_.begin() + to, entry);
  }
  return 0;
}

int KernelDevice::GetQueuePosition() { return queuePosition_; }

int KernelDevice::SetQueuePosition(int index) {
  if (!queue_.empty() && index >= 0) {
    queuePosition_ = std::min(index, static_cast<int>(queue_.size()) - 1);
  } else {
    queuePosition_ = 0;
  }
  return 0;
}

int KernelDevice::SetQueuePositionToTrack(const KernelId& track) {
  for (std::size_t i = 0; i < queue_.size(); ++i) {
    if (queue_[i].word[0] == track.word[0]) {
      queuePosition_ = static_cast<int>(i);
      break;
    }
  }
  return 0;
}

int KernelDevice::PlayQueueCurrent() {
  if (queuePosition_ < 0 || static_cast<std::size_t>(queuePosition_) >= queue_.size()) return 0;
  const KernelId entry = queue_[static_cast<std::size_t>(queuePosition_)];
  return PlayTrack(entry);
}

int KernelDevice::PlayNextInQueue() {
  ++queuePosition_;
  // Below the start (moved back past it more than once) there is nothing to play either.
  if (queuePosition_ < 0 || static_cast<std::size_t>(queuePosition_) >= queue_.size()) return 0;
  const KernelId entry = queue_[static_cast<std::size_t>(queuePosition_)];
  return PlayTrack(entry);
}

int KernelDevice::PlayPreviousInQueue() {
  --queuePosition_;
  if (queuePosition_ < 0) return 0;
  if (static_cast<std::size_t>(queuePosition_) >= queue_.size()) {
    throw InvalidArgumentError("The queue position is outside the queue.");
  }
  const KernelId entry = queue_[static_cast<std::size_t>(queuePosition_)];
  return PlayTrack(entry);
}

// ---- Notes and contacts: nothing unless a device has them ----

int KernelDevice::GetNotesRootFolder(KernelId&) { return 0; }
int KernelDevice::GetFirstNote(const KernelId&, KernelId&) { return 0; }
int KernelDevice::GetNextNote(const KernelId&, KernelId&) { return 0; }
std::string KernelDevice::GetNoteName(const KernelId&) { return std::string(); }
int KernelDevice::Op11140(const KernelId&) { return 0; }
int KernelDevice::CreateNote(std::string_view, const KernelId&, KernelId&) { return 0; }
int KernelDevice::DeleteNote(const KernelId&) { return 0; }
int KernelDevice::Op11170(const KernelId&, std::string_view) { return 0; }
int KernelDevice::IsNoteFolder(const KernelId&) { return 0; }
int KernelDevice::CreateNoteFolder(std::string_view, const KernelId&, KernelId&) { return 0; }
int KernelDevice::DeleteNoteFolder(const KernelId&) { return 0; }
std::string KernelDevice::GetNoteText(const KernelId&) { return std::string(); }
int KernelDevice::SetNoteText(const KernelId&, std::string_view) { return 0; }

int KernelDevice::GetContactsRootFolder(KernelId&) { return 0; }
int KernelDevice::GetFirstContact(const KernelId&, KernelId&) { return 0; }
int KernelDevice::GetNextContact(const KernelId&, KernelId&) { return 0; }
std::string KernelDevice::GetContactName(const KernelId&) { return std::string(); }
int KernelDevice::Op12140(const KernelId&) { return 0; }
int KernelDevice::CreateContact(std::string_view, const ContactRecord&, const KernelId&,
                                KernelId&) {
  return 0;
}
int KernelDevice::DeleteContact(const KernelId&) { return 0; }
int KernelDevice::Op12170(const KernelId&, std::string_view) { return 0; }
int KernelDevice::IsContactFolder(const KernelId&) { return 0; }
int KernelDevice::CreateContactFolder(std::string_view, const KernelId&, KernelId&) {
  return 0;
}
int KernelDevice::DeleteContactFolder(const KernelId&) { return 0; }
int KernelDevice::GetContactRecord(const KernelId&, ContactRecord&) { return 0; }
int KernelDevice::SetContactRecord(const KernelId&, const ContactRecord&) { return 0; }

std::string KernelDevice::GetRulePlaylistFolder() { return std::string(); }

}  // namespace device
