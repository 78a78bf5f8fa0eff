#include "device/memory_device.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <type_traits>

#include "device/device_status.h"
#include "device/sortable.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"

namespace device {

namespace {

constexpr std::uint32_t kAttributeDirectory = 0x10;
constexpr std::uint32_t kAttributeArchive = 0x20;

DeviceError NoSuch(std::string_view what) {
  return DeviceError(platform::E_FAIL, "Memory Device", "No such " + std::string(what) + " on the device.");
}

std::string FileNamePart(std::string_view path) {
  const std::size_t sep = path.find_last_of("\\/");
  return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

bool ReadWholeFile(std::string_view windowsPath, std::string& out) {
  std::ifstream in(platform::ToPosixPath(windowsPath), std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  out = buffer.str();
  return !in.bad();
}

bool WriteWholeFile(std::string_view windowsPath, const std::string& content) {
  std::ofstream outFile(platform::ToPosixPath(windowsPath), std::ios::binary | std::ios::trunc);
  if (!outFile) return false;
  outFile.write(content.data(), static_cast<std::streamsize>(content.size()));
  return static_cast<bool>(outFile);
}

int KiloBytes(long long bytes) { return static_cast<int>((bytes + 1023) / 1024); }

}  // namespace

// ---- Folder trees (data files, notes, contacts) ----

struct MemoryDeviceBase::Node {
  std::uint32_t id = 0;
  std::uint32_t parent = 0;  // 0 for the root
  bool folder = false;
  std::string name;
  std::string content;  // a data file's bytes, a note's text
  std::vector<std::uint32_t> children;
  std::uint32_t modified = 0;
  std::uint32_t attributes = 0;
  std::unique_ptr<ContactRecord> contact;
};

struct MemoryDeviceBase::Tree {
  Tree(std::string itemWord, bool folderFlagInId) : what(std::move(itemWord)), flagInId(folderFlagInId) {}

  std::string what;  // "data item", "note", "contact"
  bool flagInId;     // data items carry word 1 = 1 for a folder
  std::uint32_t root = 0;
  std::map<std::uint32_t, Node> nodes;
  std::map<std::uint32_t, std::size_t> cursors;  // per folder: the next child

  Node& Get(const KernelId& id) {
    auto it = nodes.find(id.word[0]);
    if (it == nodes.end()) throw NoSuch(what);
    return it->second;
  }
  Node* Find(const KernelId& id) {
    auto it = nodes.find(id.word[0]);
    return it == nodes.end() ? nullptr : &it->second;
  }
  Node& Folder(const KernelId& id) {
    Node& node = Get(id);
    if (!node.folder) throw NoSuch(what + " folder");
    return node;
  }
  KernelId IdOf(const Node& node) const {
    KernelId id(node.id);
    if (flagInId) id.word[1] = node.folder ? 1 : 0;
    id.SetName(node.name);
    return id;
  }
  Node* FindChild(const Node& folder, std::string_view name) {
    for (std::uint32_t child : folder.children) {
      Node& node = nodes.at(child);
      if (platform::EqualsNoCase(node.name, name)) return &node;
    }
    return nullptr;
  }
  Node& Add(std::uint32_t id, std::uint32_t parent, std::string_view name, bool folder) {
    Node& node = nodes[id];
    node.id = id;
    node.parent = parent;
    node.folder = folder;
    node.name = std::string(name);
    node.attributes = folder ? kAttributeDirectory : kAttributeArchive;
    node.modified = static_cast<std::uint32_t>(std::time(nullptr));
    if (parent != 0) nodes.at(parent).children.push_back(id);
    return node;
  }
  void Detach(Node& node) {
    if (node.parent == 0) return;
    auto& siblings = nodes.at(node.parent).children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), node.id), siblings.end());
  }
  void Remove(std::uint32_t id) {
    Node& node = nodes.at(id);
    const std::vector<std::uint32_t> children = node.children;
    for (std::uint32_t child : children) Remove(child);
    Detach(nodes.at(id));
    nodes.erase(id);
    cursors.erase(id);
  }

  // The operations the three trees share, written once.
  // A seeded folder or item (tests, the demo): in the root when `parentId` is empty.
  template <typename NewId>
  Node& Seed(const KernelId& parentId, std::string_view name, bool folder, NewId newId) {
    Node& parent = parentId.IsEmpty() ? nodes.at(root) : Folder(parentId);
    return Add(newId(), parent.id, name, folder);
  }
  int IsFolder(const KernelId& id) {
    const Node* node = Find(id);
    return node != nullptr && node->folder ? 1 : 0;
  }
  // A new folder or item in the folder `parentId`, its id from `newId` (asked only when it
  // is made). One of that name there already: its id, and "folder exists" or "file exists".
  template <typename NewId>
  int Create(const KernelId& parentId, std::string_view name, bool folder, NewId newId, KernelId& made,
             Node** node = nullptr) {
    Node& parent = Folder(parentId);
    if (Node* existing = FindChild(parent, name)) {
      made = IdOf(*existing);
      return folder ? kStatusFolderExists : kStatusFileExists;
    }
    Node& added = Add(newId(), parent.id, name, folder);
    if (node != nullptr) *node = &added;
    made = IdOf(added);
    return 0;
  }
  // Deletes an item (not a folder: "No such <itemWord>").
  void DeleteItem(const KernelId& id, std::string_view itemWord) {
    Node& node = Get(id);
    if (node.folder) throw NoSuch(itemWord);
    Remove(node.id);
  }
  // Deletes a folder with what it holds; never the root.
  void DeleteFolder(const KernelId& id) {
    Node& node = Folder(id);
    if (node.id == root) {
      throw DeviceError(platform::E_FAIL, "Memory Device", "The root folder cannot be deleted.");
    }
    Remove(node.id);
  }

  int First(const KernelId& folderId, KernelId& out) {
    Node& folder = Folder(folderId);
    cursors[folder.id] = 0;
    if (folder.children.empty()) return 0;
    out = IdOf(nodes.at(folder.children.front()));
    cursors[folder.id] = 1;
    return static_cast<int>(folder.children.size());
  }
  int Next(const KernelId& folderId, KernelId& out) {
    Node& folder = Folder(folderId);
    std::size_t& cursor = cursors[folder.id];
    if (cursor >= folder.children.size()) return 0;
    out = IdOf(nodes.at(folder.children[cursor++]));
    return 1;
  }
};

MemoryDeviceBase::MemoryDeviceBase()
    : KernelDevice(nullptr, KernelId(5), KernelId(1)),
      data_(std::make_unique<Tree>("data item", true)),
      notes_(std::make_unique<Tree>("note", false)),
      contacts_(std::make_unique<Tree>("contact", false)) {
  data_->root = NewId();
  data_->Add(data_->root, 0, "DATA", true);
  notes_->root = NewId();
  notes_->Add(notes_->root, 0, "Notes", true);
  contacts_->root = NewId();
  contacts_->Add(contacts_->root, 0, "Contacts", true);
  // Like the jukebox: one store, no memory segments, none of the unnamed feature flags.
  for (DeviceOp op : {DeviceOp::SupportsStorageList, DeviceOp::SupportsStorageFlag2,
                      DeviceOp::SupportsTransferFlag2, DeviceOp::SupportsDataFlag2,
                      DeviceOp::SupportsGroup13000}) {
    SetCapability(op, 0);
  }
}

MemoryDeviceBase::~MemoryDeviceBase() = default;

// ---- Building ----

KernelId MemoryDeviceBase::AddTrack(const TrackSpec& desc) {
  TrackRecord record;
  record.artist.Set(desc.artist);
  record.album.Set(desc.album);
  record.title.Set(desc.title);
  record.genre.Set(desc.genre);
  record.comment.Set(desc.comment);
  record.composer.Set(desc.composer);
  record.trackNumber = desc.number;
  record.year = desc.year;
  record.length = desc.length;
  record.bitrate = desc.bitrate;
  record.codec = static_cast<std::uint8_t>(desc.codec);
  record.playOnly = desc.locked ? 1 : 0;
  record.fileSize = desc.fileSize >= 0 ? desc.fileSize : static_cast<int>(desc.content.size());
  if (desc.path.empty()) {
    char number[16];
    std::snprintf(number, sizeof(number), "%02d", desc.number);
    record.path.Set(desc.artist + " - " + desc.album + " - " + number + " - " + desc.title + "." +
                    GetCodecExtension(desc.codec));
  } else {
    record.path.Set(desc.path);
  }
  return AddTrack(record, desc.content);
}

KernelId MemoryDeviceBase::AddTrack(const TrackRecord& record, std::string content) {
  const std::uint32_t id = NewId();
  Track& track = tracks_[id];
  trackIndex_[id] = &track;
  trackOrder_.push_back(id);
  TrackRecord::Copy(track.record, record);
  track.content = std::move(content);
  InvalidateTrackIndex();
  return KernelId(id);
}

KernelId MemoryDeviceBase::AddPlaylist(std::string_view name, const std::vector<KernelId>& tracks) {
  const std::uint32_t id = NewId();
  Playlist& playlist = playlists_[id];
  playlist.name = std::string(name);
  for (const KernelId& t : tracks) playlist.items.push_back(KernelId(t.word[0]));
  InvalidatePlaylistCache();
  return PlaylistId(id);
}

KernelId MemoryDeviceBase::AddDataFolder(const KernelId& parent, std::string_view name) {
  return data_->IdOf(data_->Seed(parent, name, true, NewIds()));
}

KernelId MemoryDeviceBase::AddDataFile(const KernelId& folderId, std::string_view name,
                                       std::string content) {
  Node& node = data_->Seed(folderId, name, false, NewIds());
  node.content = std::move(content);
  return data_->IdOf(node);
}

KernelId MemoryDeviceBase::AddNoteFolder(const KernelId& parent, std::string_view name) {
  return notes_->IdOf(notes_->Seed(parent, name, true, NewIds()));
}

KernelId MemoryDeviceBase::AddNote(const KernelId& folderId, std::string_view name,
                                   std::string text) {
  Node& node = notes_->Seed(folderId, name, false, NewIds());
  node.content = std::move(text);
  return notes_->IdOf(node);
}

KernelId MemoryDeviceBase::AddContactFolder(const KernelId& parent, std::string_view name) {
  return contacts_->IdOf(contacts_->Seed(parent, name, true, NewIds()));
}

KernelId MemoryDeviceBase::AddContact(const KernelId& folderId, std::string_view name,
                                      const ContactRecord& record) {
  Node& node = contacts_->Seed(folderId, name, false, NewIds());
  node.contact = std::make_unique<ContactRecord>(record);
  return contacts_->IdOf(node);
}

KernelId MemoryDeviceBase::AddFMPreset(std::string_view name, int frequency) {
  const std::uint32_t id = NewId();
  presets_[id] = Preset{std::string(name), frequency};
  KernelId preset(id);
  preset.SetName(name);
  return preset;
}

KernelId MemoryDeviceBase::AddStorage(std::string_view name, int totalKB, int freeKB) {
  const std::uint32_t id = NewId();
  storages_.push_back(Storage{id, std::string(name), totalKB, freeKB});
  KernelId storage(id);
  storage.SetName(name);
  return storage;
}

KernelId MemoryDeviceBase::DataRoot() const { return data_->IdOf(data_->nodes.at(data_->root)); }
KernelId MemoryDeviceBase::NotesRoot() const {
  return notes_->IdOf(notes_->nodes.at(notes_->root));
}
KernelId MemoryDeviceBase::ContactsRoot() const {
  return contacts_->IdOf(contacts_->nodes.at(contacts_->root));
}

// ---- Looking inside ----

MemoryDeviceBase::Track& MemoryDeviceBase::TrackOf(const KernelId& track) {
  // A catalogue walk reads the track it just reached: answer that without a search.
  auto it = trackIndex_.find(track.word[0]);
  if (it == trackIndex_.end()) throw NoSuch("track");
  return *it->second;
}

const MemoryDeviceBase::Track& MemoryDeviceBase::TrackOf(const KernelId& track) const {
  auto it = trackIndex_.find(track.word[0]);
  if (it == trackIndex_.end()) throw NoSuch("track");
  return *it->second;
}

TrackRecord& MemoryDeviceBase::RecordOf(const KernelId& track) { return TrackOf(track).record; }

const std::string& MemoryDeviceBase::ContentOf(const KernelId& item) const {
  auto it = tracks_.find(item.word[0]);
  if (it != tracks_.end()) return it->second.content;
  auto node = data_->nodes.find(item.word[0]);
  if (node == data_->nodes.end() || node->second.folder) throw NoSuch("file");
  return node->second.content;
}

MemoryDeviceBase::Playlist& MemoryDeviceBase::PlaylistOf(const KernelId& playlist) {
  auto it = playlists_.find(playlist.word[0]);
  if (it == playlists_.end()) throw NoSuch("playlist");
  return it->second;
}

KernelId MemoryDeviceBase::PlaylistId(std::uint32_t id) const {
  KernelId playlist(id);
  playlist.SetName(playlists_.at(id).name);
  return playlist;
}

std::vector<KernelId> MemoryDeviceBase::PlaylistItems(const KernelId& playlist) const {
  auto it = playlists_.find(playlist.word[0]);
  if (it == playlists_.end()) throw NoSuch("playlist");
  return it->second.items;
}

int MemoryDeviceBase::Capability(DeviceOp op) const {
  auto it = capabilities_.find(OpCode(op));
  return it == capabilities_.end() ? 1 : it->second;
}

int MemoryDeviceBase::UsedKB() const {
  long long bytes = 0;
  for (const auto& entry : tracks_) bytes += std::max(0, entry.second.record.fileSize);
  for (const auto& entry : data_->nodes) bytes += static_cast<long long>(entry.second.content.size());
  return KiloBytes(bytes);
}

// ---- Failures ----

void MemoryDeviceBase::FailWithError(DeviceOp op, std::int32_t code, std::string source,
                                     std::string detail, int times) {
  failures_[OpCode(op)] = Failure{false, code, std::move(source), std::move(detail), times};
}

void MemoryDeviceBase::FailWithStatus(DeviceOp op, int status, std::string replyText, int times) {
  failures_[OpCode(op)] = Failure{true, status, std::string(), std::move(replyText), times};
}

bool MemoryDeviceBase::TakeFailure(int opcode, int& status) {
  auto it = failures_.find(opcode);
  if (it == failures_.end()) return false;
  Failure failure = it->second;
  if (it->second.remaining > 0 && --it->second.remaining == 0) failures_.erase(it);
  if (!failure.isStatus) throw DeviceError(failure.code, failure.source, failure.text);
  SetReplyError(failure.code, failure.text);
  status = failure.code;
  return true;
}

// ---- Device ----

void MemoryDeviceBase::ShowSdkVersion() {
  SetReplyMessage("Memory device driver " + info_.driverVersion + ".");
}

void MemoryDeviceBase::Connect() {
  connected_ = 1;
  InvalidateTrackIndex();
  InvalidatePlaylistCache();
}

void MemoryDeviceBase::Disconnect() {
  connected_ = 0;
  KernelDevice::Disconnect();
}

int MemoryDeviceBase::IsConnected() { return connected_; }
void MemoryDeviceBase::Op2040() {}
std::string MemoryDeviceBase::GetModelName() { return info_.modelName; }
std::string MemoryDeviceBase::GetHardwareVersion() { return info_.hardwareVersion; }
std::string MemoryDeviceBase::GetFirmwareVersion() { return info_.firmwareVersion; }
std::string MemoryDeviceBase::GetDriverVersion() { return info_.driverVersion; }
std::string MemoryDeviceBase::GetDeviceUniqueId() { return info_.uniqueId; }
std::string MemoryDeviceBase::GetOwnerName() { return info_.ownerName; }

int MemoryDeviceBase::SetOwnerName(std::string_view name) {
  info_.ownerName = std::string(name);
  return 0;
}

int MemoryDeviceBase::Op2120() { return 0; }

int MemoryDeviceBase::GetDeviceTime() {
  return info_.deviceTime != 0 ? info_.deviceTime : static_cast<int>(std::time(nullptr));
}

int MemoryDeviceBase::SetDeviceTime(int time) {
  info_.deviceTime = time;
  return 0;
}

int MemoryDeviceBase::HasClock() { return info_.hasClock; }

// ---- Storage ----

int MemoryDeviceBase::SupportsStorageList() { return Capability(DeviceOp::SupportsStorageList); }

int MemoryDeviceBase::GetFirstStorage(KernelId& storage) {
  storageCursor_ = 0;
  if (storages_.empty()) return 0;
  storage = KernelId(storages_.front().id);
  storage.SetName(storages_.front().name);
  storageCursor_ = 1;
  return static_cast<int>(storages_.size());
}

int MemoryDeviceBase::GetNextStorage(KernelId& storage) {
  if (storageCursor_ >= storages_.size()) return 0;
  const Storage& s = storages_[storageCursor_++];
  storage = KernelId(s.id);
  storage.SetName(s.name);
  return 1;
}

std::string MemoryDeviceBase::GetStorageName(const KernelId& storage) {
  for (const Storage& s : storages_) {
    if (s.id == storage.word[0]) return s.name;
  }
  throw NoSuch("storage medium");
}

int MemoryDeviceBase::SelectStorage(const KernelId& storage) {
  for (std::size_t i = 0; i < storages_.size(); ++i) {
    if (storages_[i].id == storage.word[0]) {
      selectedStorage_ = static_cast<int>(i);
      return 0;
    }
  }
  throw NoSuch("storage medium");
}

int MemoryDeviceBase::SupportsStorageFlag2() { return Capability(DeviceOp::SupportsStorageFlag2); }
int MemoryDeviceBase::RefreshStorage() { return 0; }
int MemoryDeviceBase::RecoverMissingTracks() { return 0; }

int MemoryDeviceBase::GetTotalSpaceKB() {
  if (selectedStorage_ >= 0) return storages_[static_cast<std::size_t>(selectedStorage_)].totalKB;
  return info_.totalKB;
}

int MemoryDeviceBase::GetFreeSpaceKB() {
  if (selectedStorage_ >= 0) return storages_[static_cast<std::size_t>(selectedStorage_)].freeKB;
  return std::max(0, info_.totalKB - UsedKB());
}

int MemoryDeviceBase::SupportsTrackReorder() { return Capability(DeviceOp::SupportsTrackReorder); }
int MemoryDeviceBase::Op3120(int, int) { return 0; }
int MemoryDeviceBase::Op3170() { return 0; }

// ---- Track tags ----

int MemoryDeviceBase::SupportsTagIndex() { return Capability(DeviceOp::SupportsTagIndex); }
int MemoryDeviceBase::SupportsSearch() { return Capability(DeviceOp::SupportsSearch); }

int MemoryDeviceBase::SetTrackInfo(const KernelId& track, const TrackRecord& record) {
  Track& t = TrackOf(track);
  // The tags change; the device's own file name and size stay.
  TrackRecord updated;
  TrackRecord::Copy(updated, record);
  updated.path = t.record.path;
  updated.fileSize = t.record.fileSize;
  TrackRecord::Copy(t.record, updated);
  InvalidateTrackIndex();
  return 0;
}

int MemoryDeviceBase::GetTrackSize(const KernelId& track) { return TrackOf(track).record.fileSize; }
// One copy of the stored record, as a real device answers it in one request; the
// reserved extra fields keep what the caller passed, as with the base operation.
int MemoryDeviceBase::GetTrackInfo(const KernelId& track, TrackRecord& record) {
  const TrackRecord& stored = TrackOf(track).record;
  const TrackRecord keep = record;
  record = stored;
  record.extraText = keep.extraText;
  record.extraNumber1 = keep.extraNumber1;
  record.extraNumber2 = keep.extraNumber2;
  record.extraNumber3 = keep.extraNumber3;
  record.extraFlag = keep.extraFlag;
  record.extraWord1 = keep.extraWord1;
  record.extraWord2 = keep.extraWord2;
  return 0;
}
std::string MemoryDeviceBase::GetTrackArtist(const KernelId& track) {
  return TrackOf(track).record.artist.Str();
}
std::string MemoryDeviceBase::GetTrackAlbum(const KernelId& track) {
  return TrackOf(track).record.album.Str();
}
int MemoryDeviceBase::GetTrackNumber(const KernelId& track) {
  return TrackOf(track).record.trackNumber;
}
std::string MemoryDeviceBase::GetTrackTitle(const KernelId& track) {
  return TrackOf(track).record.title.Str();
}
int MemoryDeviceBase::GetTrackCodec(const KernelId& track) { return TrackOf(track).record.codec; }
int MemoryDeviceBase::GetTrackLength(const KernelId& track) { return TrackOf(track).record.length; }
int MemoryDeviceBase::GetTrackBitrate(const KernelId& track) {
  return TrackOf(track).record.bitrate;
}
int MemoryDeviceBase::GetTrackYear(const KernelId& track) { return TrackOf(track).record.year; }
std::string MemoryDeviceBase::GetTrackGenre(const KernelId& track) {
  return TrackOf(track).record.genre.Str();
}
std::string MemoryDeviceBase::GetTrackComment(const KernelId& track) {
  return TrackOf(track).record.comment.Str();
}
int MemoryDeviceBase::IsTrackLocked(const KernelId& track) {
  return TrackOf(track).record.playOnly != 0 ? 1 : 0;
}

int MemoryDeviceBase::SetTrackArtist(const KernelId& track, std::string_view text) {
  TrackOf(track).record.artist.Set(text);
  InvalidateTrackIndex();
  return 0;
}
int MemoryDeviceBase::SetTrackAlbum(const KernelId& track, std::string_view text) {
  TrackOf(track).record.album.Set(text);
  InvalidateTrackIndex();
  return 0;
}
int MemoryDeviceBase::SetTrackNumber(const KernelId& track, int number) {
  TrackOf(track).record.trackNumber = number;
  InvalidateTrackIndex();
  return 0;
}
int MemoryDeviceBase::SetTrackTitle(const KernelId& track, std::string_view text) {
  TrackOf(track).record.title.Set(text);
  InvalidateTrackIndex();
  return 0;
}
int MemoryDeviceBase::SetTrackYear(const KernelId& track, int year) {
  TrackOf(track).record.year = year;
  InvalidateTrackIndex();
  return 0;
}
int MemoryDeviceBase::SetTrackGenre(const KernelId& track, std::string_view text) {
  TrackOf(track).record.genre.Set(text);
  InvalidateTrackIndex();
  return 0;
}
int MemoryDeviceBase::SetTrackComment(const KernelId& track, std::string_view text) {
  TrackOf(track).record.comment.Set(text);
  InvalidateTrackIndex();
  return 0;
}

// ---- Transfers ----

int MemoryDeviceBase::SupportsTransfers() { return Capability(DeviceOp::SupportsTransfers); }

int MemoryDeviceBase::UploadTrack(std::string_view sourcePath, const TrackRecord& record,
                                  KernelId& newTrack) {
  std::string content;
  if (!ReadWholeFile(sourcePath, content)) {
    SetReplyError(kStatusFailed, "Could not read " + std::string(sourcePath) + ".");
    return kStatusFailed;
  }
  for (const auto& entry : tracks_) {
    const TrackRecord& r = entry.second.record;
    if (r.artist.GetText() == record.artist.GetText() &&
        r.album.GetText() == record.album.GetText() && r.title.GetText() == record.title.GetText()) {
      newTrack = KernelId(entry.first);
      return kStatusFileExists;
    }
  }
  if (KiloBytes(static_cast<long long>(content.size())) > GetFreeSpaceKB()) {
    SetReplyError(kStatusStorageFull, "The device's storage is full.");
    return kStatusStorageFull;
  }
  TrackRecord stored;
  TrackRecord::Copy(stored, record);
  stored.path.Set(FileNamePart(sourcePath));
  stored.fileSize = static_cast<int>(content.size());
  newTrack = AddTrack(stored, std::move(content));
  return kStatusFinished;
}

int MemoryDeviceBase::UploadDataFile(std::string_view sourcePath, const KernelId& folderId,
                                     KernelId& newItem) {
  Node& folder = data_->Folder(folderId);
  const std::string name = FileNamePart(sourcePath);
  if (Node* existing = data_->FindChild(folder, name)) {
    newItem = data_->IdOf(*existing);
    return kStatusFileExists;
  }
  std::string content;
  if (!ReadWholeFile(sourcePath, content)) {
    SetReplyError(kStatusFailed, "Could not read " + std::string(sourcePath) + ".");
    return kStatusFailed;
  }
  if (KiloBytes(static_cast<long long>(content.size())) > GetFreeSpaceKB()) {
    SetReplyError(kStatusStorageFull, "The device's storage is full.");
    return kStatusStorageFull;
  }
  Node& node = data_->Add(NewId(), folder.id, name, false);
  node.content = std::move(content);
  newItem = data_->IdOf(node);
  return kStatusFinished;
}

int MemoryDeviceBase::DownloadTrack(const KernelId& track, std::string_view targetPath, int) {
  const Track& t = TrackOf(track);
  if (t.record.playOnly != 0) {
    SetReplyError(kStatusRefused, "This track may be played but not copied off the device.");
    return kStatusRefused;
  }
  if (!WriteWholeFile(targetPath, t.content)) {
    SetReplyError(kStatusFailed, "Could not write " + std::string(targetPath) + ".");
    return kStatusFailed;
  }
  return 0;
}

int MemoryDeviceBase::DownloadDataFile(const KernelId& item, std::string_view targetPath) {
  Node& node = data_->Get(item);
  if (node.folder) throw NoSuch("data file");
  if (!WriteWholeFile(targetPath, node.content)) {
    SetReplyError(kStatusFailed, "Could not write " + std::string(targetPath) + ".");
    return kStatusFailed;
  }
  return 0;
}

int MemoryDeviceBase::IsDownloadRunning() { return 0; }
int MemoryDeviceBase::IsUploadRunning() { return 0; }
void MemoryDeviceBase::CancelTransfer() {}
std::string MemoryDeviceBase::GetModelCode(const KernelId&) { return info_.modelCode; }
int MemoryDeviceBase::SupportsTransferFlag2() {
  return Capability(DeviceOp::SupportsTransferFlag2);
}
int MemoryDeviceBase::SupportsCopyToComputer() {
  return Capability(DeviceOp::SupportsCopyToComputer);
}

// ---- Audio tracks ----

int MemoryDeviceBase::SupportsAudio() { return Capability(DeviceOp::SupportsAudio); }

int MemoryDeviceBase::GetFirstAudioTrack(KernelId& track) {
  trackCursor_ = 0;
  trackAtValid_ = false;
  if (tracks_.empty()) return 0;
  trackAt_ = 0;
  trackAtValid_ = true;
  trackCursor_ = trackOrder_[0];
  track = KernelId(trackCursor_);
  return static_cast<int>(tracks_.size());
}

int MemoryDeviceBase::GetNextAudioTrack(KernelId& track) {
  if (trackCursor_ == 0) return 0;
  // Deleting a track forgets the place; the walk then goes on after the last id walked.
  const std::size_t next =
      trackAtValid_ ? trackAt_ + 1
                    : static_cast<std::size_t>(std::upper_bound(trackOrder_.begin(), trackOrder_.end(), trackCursor_) -
                                               trackOrder_.begin());
  if (next >= trackOrder_.size()) {
    trackCursor_ = 0;
    trackAtValid_ = false;
    return 0;
  }
  trackAt_ = next;
  trackAtValid_ = true;
  trackCursor_ = trackOrder_[next];
  track = KernelId(trackCursor_);
  return 1;
}

int MemoryDeviceBase::GetAudioFilesSize() {
  long long bytes = 0;
  for (const auto& entry : tracks_) bytes += std::max(0, entry.second.record.fileSize);
  return KiloBytes(bytes);
}

int MemoryDeviceBase::DeleteAudioTrack(const KernelId& track) {
  TrackOf(track);
  tracks_.erase(track.word[0]);
  trackIndex_.erase(track.word[0]);
  trackOrder_.erase(std::lower_bound(trackOrder_.begin(), trackOrder_.end(), track.word[0]));
  trackAtValid_ = false;
  for (auto& entry : playlists_) {
    auto& items = entry.second.items;
    items.erase(std::remove_if(items.begin(), items.end(),
                               [&](const KernelId& t) { return t.word[0] == track.word[0]; }),
                items.end());
  }
  InvalidateTrackIndex();
  InvalidatePlaylistCache();
  return 0;
}

std::string MemoryDeviceBase::GetTrackFileName(const KernelId& track) {
  return TrackOf(track).record.path.Str();
}

int MemoryDeviceBase::TrackExists(const KernelId& track) {
  return tracks_.count(track.word[0]) != 0 ? 1 : 0;
}

// ---- Data files ----

int MemoryDeviceBase::SupportsDataFiles() { return Capability(DeviceOp::SupportsDataFiles); }
int MemoryDeviceBase::SupportsDataFlag2() { return Capability(DeviceOp::SupportsDataFlag2); }

int MemoryDeviceBase::GetDataRootFolder(KernelId& folder) {
  folder = DataRoot();
  return 1;
}

int MemoryDeviceBase::GetFirstDataItem(const KernelId& folder, KernelId& item) {
  return data_->First(folder, item);
}

int MemoryDeviceBase::GetNextDataItem(const KernelId& folder, KernelId& item) {
  return data_->Next(folder, item);
}

int MemoryDeviceBase::GetDataFilesSize() {
  long long bytes = 0;
  for (const auto& entry : data_->nodes) bytes += static_cast<long long>(entry.second.content.size());
  return KiloBytes(bytes);
}

int MemoryDeviceBase::DeleteDataFile(const KernelId& item) {
  data_->DeleteItem(item, "data file");
  return 0;
}

int MemoryDeviceBase::GetDataFileCount() {
  int count = 0;
  for (const auto& entry : data_->nodes) count += entry.second.folder ? 0 : 1;
  return count;
}

std::string MemoryDeviceBase::GetDataItemName(const KernelId& item) { return data_->Get(item).name; }

int MemoryDeviceBase::GetDataFileSize(const KernelId& item) {
  return static_cast<int>(data_->Get(item).content.size());
}

int MemoryDeviceBase::IsDataFolder(const KernelId& item) { return data_->IsFolder(item); }

int MemoryDeviceBase::CreateDataFolder(std::string_view name, const KernelId& parent,
                                       KernelId& newFolder) {
  return data_->Create(parent, name, true, NewIds(), newFolder);
}

int MemoryDeviceBase::GetDataItemModifiedTime(const KernelId& item) {
  return static_cast<int>(data_->Get(item).modified);
}

int MemoryDeviceBase::GetDataItemAttributes(const KernelId& item) {
  return static_cast<int>(data_->Get(item).attributes);
}

int MemoryDeviceBase::DeleteDataFolder(const KernelId& item) {
  data_->DeleteFolder(item);
  return 0;
}

int MemoryDeviceBase::RenameDataFile(const KernelId& item, std::string_view name) {
  Node& node = data_->Get(item);
  if (Node* other = data_->FindChild(data_->nodes.at(node.parent), name); other && other != &node) {
    return kStatusFileExists;
  }
  node.name = std::string(name);
  return 0;
}

int MemoryDeviceBase::RenameDataFolder(const KernelId& item, std::string_view name) {
  Node& node = data_->Folder(item);
  if (node.parent == 0) {
    throw DeviceError(platform::E_FAIL, "Memory Device", "The root folder cannot be renamed.");
  }
  if (Node* other = data_->FindChild(data_->nodes.at(node.parent), name); other && other != &node) {
    return kStatusFolderExists;
  }
  node.name = std::string(name);
  return 0;
}

int MemoryDeviceBase::MoveDataItem(const KernelId& item, const KernelId& targetFolder) {
  Node& node = data_->Get(item);
  Node& target = data_->Folder(targetFolder);
  for (std::uint32_t up = target.id; up != 0; up = data_->nodes.at(up).parent) {
    if (up == node.id) {
      throw InvalidArgumentError("A folder cannot be moved into itself.");
    }
  }
  if (node.parent == target.id) return 0;
  if (data_->FindChild(target, node.name) != nullptr) {
    return node.folder ? kStatusFolderExists : kStatusFileExists;
  }
  data_->Detach(node);
  node.parent = target.id;
  target.children.push_back(node.id);
  return 0;
}

int MemoryDeviceBase::GetDataItemParent(const KernelId& item, KernelId& parent) {
  Node& node = data_->Get(item);
  if (node.parent == 0) return 0;
  parent = data_->IdOf(data_->nodes.at(node.parent));
  return 1;
}

int MemoryDeviceBase::HasDataFilesStatus() { return info_.dataFilesStatus.empty() ? 0 : 1; }
std::string MemoryDeviceBase::GetDataFilesStatus() { return info_.dataFilesStatus; }

// ---- Playlists ----

int MemoryDeviceBase::SupportsPlaylists() { return Capability(DeviceOp::SupportsPlaylists); }

int MemoryDeviceBase::EnumFirstPlaylist(KernelId& playlist) {
  playlistCursor_ = 0;
  if (playlists_.empty()) return 0;
  playlistCursor_ = playlists_.begin()->first;
  playlist = PlaylistId(playlistCursor_);
  return static_cast<int>(playlists_.size());
}

int MemoryDeviceBase::EnumNextPlaylist(KernelId& playlist) {
  if (playlistCursor_ == 0) return 0;
  auto it = playlists_.upper_bound(playlistCursor_);
  if (it == playlists_.end()) {
    playlistCursor_ = 0;
    return 0;
  }
  playlistCursor_ = it->first;
  playlist = PlaylistId(playlistCursor_);
  return 1;
}

int MemoryDeviceBase::EnumFirstPlaylistItem(const KernelId& playlist, KernelId& track) {
  auto it = playlists_.find(playlist.word[0]);
  if (it == playlists_.end()) return 0;
  std::size_t& cursor = playlistItemCursors_[playlist.word[0]];
  cursor = 0;
  if (it->second.items.empty()) return 0;
  track = it->second.items.front();
  cursor = 1;
  return static_cast<int>(it->second.items.size());
}

int MemoryDeviceBase::EnumNextPlaylistItem(const KernelId& playlist, KernelId& track) {
  auto it = playlists_.find(playlist.word[0]);
  if (it == playlists_.end()) return 0;
  std::size_t& cursor = playlistItemCursors_[playlist.word[0]];
  if (cursor >= it->second.items.size()) return 0;
  track = it->second.items[cursor++];
  return 1;
}

int MemoryDeviceBase::CreatePlaylist(std::string_view name, KernelId& playlist) {
  InvalidatePlaylistCache();
  const std::string_view trimmed = platform::TrimView(name);
  for (const auto& entry : playlists_) {
    if (platform::TrimView(entry.second.name) == trimmed) {
      playlist = PlaylistId(entry.first);
      return kStatusPlaylistExists;
    }
  }
  playlist = AddPlaylist(trimmed);
  return 0;
}

int MemoryDeviceBase::DeletePlaylist(const KernelId& playlist) {
  PlaylistOf(playlist);
  playlists_.erase(playlist.word[0]);
  playlistItemCursors_.erase(playlist.word[0]);
  InvalidatePlaylistCache();
  return 0;
}

std::string MemoryDeviceBase::GetPlaylistName(const KernelId& playlist) {
  return PlaylistOf(playlist).name;
}

int MemoryDeviceBase::RenamePlaylist(const KernelId& playlist, std::string_view name) {
  Playlist& p = PlaylistOf(playlist);
  const std::string_view trimmed = platform::TrimView(name);
  for (const auto& entry : playlists_) {
    if (entry.first != playlist.word[0] && platform::TrimView(entry.second.name) == trimmed) return kStatusPlaylistExists;
  }
  p.name = std::string(trimmed);
  InvalidatePlaylistCache();
  return 0;
}

int MemoryDeviceBase::AddPendingToPlaylist(const KernelId& playlist) {
  Playlist& p = PlaylistOf(playlist);
  for (const KernelId& id : GetPendingIds()) p.items.push_back(KernelId(id.word[0]));
  InvalidatePlaylistCache();
  return 0;
}

int MemoryDeviceBase::RemovePendingFromPlaylist(const KernelId& playlist) {
  Playlist& p = PlaylistOf(playlist);
  const std::vector<KernelId>& pending = GetPendingIds();
  p.items.erase(std::remove_if(p.items.begin(), p.items.end(),
                               [&](const KernelId& item) {
                                 return std::any_of(pending.begin(), pending.end(),
                                                    [&](const KernelId& id) {
                                                      return id.word[0] == item.word[0];
                                                    });
                               }),
                p.items.end());
  InvalidatePlaylistCache();
  return 0;
}

int MemoryDeviceBase::MovePlaylistItem(const KernelId& playlist, int from, int to) {
  Playlist& p = PlaylistOf(playlist);
  const int n = static_cast<int>(p.items.size());
  if (from < 0 || from >= n || to < 0 || to > n) {
    throw InvalidArgumentError("The playlist entry to move is outside the playlist.");
  }
  const KernelId entry = p.items[static_cast<std::size_t>(from)];
  p.items.erase(p.items.begin() + from);
  p.items.insert(p.items.begin() + (from < to ? to - 1 : to), entry);
  InvalidatePlaylistCache();
  return 0;
}

int MemoryDeviceBase::ShufflePlaylist(const KernelId& playlist) {
  Playlist& p = PlaylistOf(playlist);
  SortableKernelIdArray items(this);
  items.assign(p.items.begin(), p.items.end());
  items.Shuffle();
  p.items.assign(items.begin(), items.end());
  InvalidatePlaylistCache();
  return 0;
}

int MemoryDeviceBase::SortPlaylist(const KernelId& playlist, int key) {
  Playlist& p = PlaylistOf(playlist);
  SortableKernelIdArray items(this);
  items.assign(p.items.begin(), p.items.end());
  items.SortByTrackInfo(key);
  PlaylistOf(playlist).items.assign(items.begin(), items.end());
  InvalidatePlaylistCache();
  return 0;
}

// ---- Playback ----

int MemoryDeviceBase::SupportsPlayback() { return Capability(DeviceOp::SupportsPlayback); }
int MemoryDeviceBase::GetVolume() { return volume_; }

int MemoryDeviceBase::SetVolume(int volume) {
  volume_ = volume;
  return 0;
}

int MemoryDeviceBase::SetMute(int mute) {
  muted_ = mute;
  return 0;
}

int MemoryDeviceBase::IsMuted() { return muted_; }

void MemoryDeviceBase::ShowAdvancedSoundSettings() {
  SetReplyMessage("Advanced Sound Settings for this Jukebox model are not yet available.");
}

int MemoryDeviceBase::PlayTrack(const KernelId& track) {
  TrackOf(track);
  SetNowPlaying(KernelId(track.word[0]));
  SetPlaybackStopped(0);
  playLog_.push_back(KernelId(track.word[0]));
  return 0;
}

int MemoryDeviceBase::StopPlayback() {
  SetPlaybackStopped(1);
  return 0;
}

int MemoryDeviceBase::IsPaused() { return paused_; }

int MemoryDeviceBase::SetPaused(int paused) {
  paused_ = paused;
  return 0;
}

// ---- Radio presets ----

int MemoryDeviceBase::SupportsFMPresets() { return Capability(DeviceOp::SupportsFMPresets); }
int MemoryDeviceBase::Op10020(const KernelId&) { return 0; }
int MemoryDeviceBase::Op10030(int) { return 0; }
int MemoryDeviceBase::Op10040(const KernelId&) { return 0; }

int MemoryDeviceBase::GetFirstFMPreset(KernelId& preset) {
  presetCursor_ = 0;
  if (presets_.empty()) return 0;
  presetCursor_ = presets_.begin()->first;
  preset = KernelId(presetCursor_);
  preset.SetName(presets_.begin()->second.name);
  return static_cast<int>(presets_.size());
}

int MemoryDeviceBase::GetNextFMPreset(KernelId& preset) {
  if (presetCursor_ == 0) return 0;
  auto it = presets_.upper_bound(presetCursor_);
  if (it == presets_.end()) {
    presetCursor_ = 0;
    return 0;
  }
  presetCursor_ = it->first;
  preset = KernelId(presetCursor_);
  preset.SetName(it->second.name);
  return 1;
}

int MemoryDeviceBase::GetFMPresetFrequency(const KernelId& preset) {
  auto it = presets_.find(preset.word[0]);
  if (it == presets_.end()) throw NoSuch("radio preset");
  return it->second.frequency;
}

int MemoryDeviceBase::Op10080(const KernelId&, int) { return 0; }

// ---- Notes ----

int MemoryDeviceBase::SupportsNotes() { return Capability(DeviceOp::SupportsNotes); }

int MemoryDeviceBase::GetNotesRootFolder(KernelId& folder) {
  folder = NotesRoot();
  return 1;
}

int MemoryDeviceBase::GetFirstNote(const KernelId& folder, KernelId& item) {
  return notes_->First(folder, item);
}

int MemoryDeviceBase::GetNextNote(const KernelId& folder, KernelId& item) {
  return notes_->Next(folder, item);
}

std::string MemoryDeviceBase::GetNoteName(const KernelId& item) { return notes_->Get(item).name; }

int MemoryDeviceBase::CreateNote(std::string_view name, const KernelId& folderId,
                                 KernelId& newNote) {
  return notes_->Create(folderId, name, false, NewIds(), newNote);
}

int MemoryDeviceBase::DeleteNote(const KernelId& item) {
  notes_->DeleteItem(item, "note");
  return 0;
}

int MemoryDeviceBase::IsNoteFolder(const KernelId& item) { return notes_->IsFolder(item); }

int MemoryDeviceBase::CreateNoteFolder(std::string_view name, const KernelId& parent,
                                       KernelId& newFolder) {
  return notes_->Create(parent, name, true, NewIds(), newFolder);
}

int MemoryDeviceBase::DeleteNoteFolder(const KernelId& item) {
  notes_->DeleteFolder(item);
  return 0;
}

std::string MemoryDeviceBase::GetNoteText(const KernelId& item) {
  Node& node = notes_->Get(item);
  if (node.folder) throw NoSuch("note");
  return node.content;
}

int MemoryDeviceBase::SetNoteText(const KernelId& item, std::string_view text) {
  Node& node = notes_->Get(item);
  if (node.folder) throw NoSuch("note");
  node.content = std::string(text);
  return 0;
}

// ---- Contacts ----

int MemoryDeviceBase::SupportsContacts() { return Capability(DeviceOp::SupportsContacts); }

int MemoryDeviceBase::GetContactsRootFolder(KernelId& folder) {
  folder = ContactsRoot();
  return 1;
}

int MemoryDeviceBase::GetFirstContact(const KernelId& folder, KernelId& item) {
  return contacts_->First(folder, item);
}

int MemoryDeviceBase::GetNextContact(const KernelId& folder, KernelId& item) {
  return contacts_->Next(folder, item);
}

std::string MemoryDeviceBase::GetContactName(const KernelId& item) {
  return contacts_->Get(item).name;
}

int MemoryDeviceBase::CreateContact(std::string_view name, const ContactRecord& record,
                                    const KernelId& folderId, KernelId& newContact) {
  Node* node = nullptr;
  const int status = contacts_->Create(folderId, name, false, NewIds(), newContact, &node);
  if (node != nullptr) node->contact = std::make_unique<ContactRecord>(record);
  return status;
}

int MemoryDeviceBase::DeleteContact(const KernelId& item) {
  contacts_->DeleteItem(item, "contact");
  return 0;
}

int MemoryDeviceBase::IsContactFolder(const KernelId& item) { return contacts_->IsFolder(item); }

int MemoryDeviceBase::CreateContactFolder(std::string_view name, const KernelId& parent,
                                          KernelId& newFolder) {
  return contacts_->Create(parent, name, true, NewIds(), newFolder);
}

int MemoryDeviceBase::DeleteContactFolder(const KernelId& item) {
  contacts_->DeleteFolder(item);
  return 0;
}

int MemoryDeviceBase::GetContactRecord(const KernelId& item, ContactRecord& record) {
  Node& node = contacts_->Get(item);
  if (node.folder || !node.contact) throw NoSuch("contact");
  record = *node.contact;
  return 0;
}

int MemoryDeviceBase::SetContactRecord(const KernelId& item, const ContactRecord& record) {
  Node& node = contacts_->Get(item);
  if (node.folder) throw NoSuch("contact");
  node.contact = std::make_unique<ContactRecord>(record);
  return 0;
}

int MemoryDeviceBase::SupportsGroup13000() { return Capability(DeviceOp::SupportsGroup13000); }

// ---- Failure injection on every operation ----

namespace {

template <class T>
T InjectedResult([[maybe_unused]] int status) {
  if constexpr (std::is_same_v<T, int>) {
    return status;
  } else if constexpr (!std::is_void_v<T>) {
    return T();
  }
}

}  // namespace

#define MEMORY_DEVICE_DEFINE_ROW(code, Name, R, Flow, ...)                                   \
  ::device::devop::R::Type MemoryDevice::Name(DEVOP_PARAMS(__VA_ARGS__)) {                           \
    int status = 0;                                                                          \
    if (TakeFailure(code, status)) return InjectedResult<::device::devop::R::Type>(status);          \
    return MemoryDeviceBase::Name(DEVOP_ARGS(__VA_ARGS__));                                  \
  }
KERNEL_DEVICE_OPERATIONS(MEMORY_DEVICE_DEFINE_ROW)
#undef MEMORY_DEVICE_DEFINE_ROW

}  // namespace device
