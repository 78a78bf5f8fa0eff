// KernelDeviceCLSDK3: playlists, playback and contacts.
//
// The SDK can only append to a playlist, so every change of order writes the playlist
// anew (RewritePlaylist). Contacts have no store on the player: each is kept as up to four
// tiny audio tracks with the artist "{Contacts}", the contact's braced name as album and
// one field in each title. The track walk of the device leaves those tracks out, so the
// contact operations find them with a walk of their own over all tracks.
//
// A contact is written anew as a whole: its new tracks carry the next generation number
// in their year, and readers take the newest generation whose four tracks are all there.
// So an update that the player's going away cuts short leaves the old contact or the new
// one, never a mixture; leftovers go with the next update or delete.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "common/folders.h"
#include "device/codec.h"
#include "device/device_error.h"
#include "device/sortable.h"
#include "driver/device_clsdk3.h"
#include "driver/sdk_support.h"
#include "platform/window/wait.h"
#include "platform/window/window.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"

namespace driver {

using namespace device;

using platform::SdkItem;
using platform::SdkResult;

namespace {

// The contact fields kept as tracks: track number, the title's tag, the record element.
struct ContactTrackField {
  int number;
  const char* tag;
  int element;
};
constexpr ContactTrackField kContactFields[] = {
    {1, "PH", kContactHomePhone},
    {2, "PW", kContactWorkPhone},
    {3, "PM", kContactMobilePhone},
    {4, "EM", kContactEmail},
};

// One second of silence: RIFF, 8-bit mono PCM at 11025 samples a second, one sample.
std::string SmallWavBytes() {
  std::string b;
  auto u32 = [&b](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(char((v >> (8 * i)) & 0xFF));
  };
  auto u16 = [&b](std::uint16_t v) {
    b.push_back(char(v & 0xFF));
    b.push_back(char(v >> 8));
  };
  b += "RIFF";
  u32(37);
  b += "WAVE";
  b += "fmt ";
  u32(16);
  u16(1);
  u16(1);
  u32(11025);
  u32(11025);
  u16(1);
  u16(8);
  b += "data";
  u32(1);
  b.push_back(char(0x80));
  return b;
}

// The file holds exactly the small audio file afterwards.
bool EnsureSmallWav(const std::string& windowsPath) {
  const std::string want = SmallWavBytes();
  const std::string path = platform::ToPosixPath(windowsPath);
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    char have[64];
    const ssize_t n = ::read(fd, have, sizeof have);
    ::close(fd);
    if (n == static_cast<ssize_t>(want.size()) && std::memcmp(have, want.data(), want.size()) == 0) return true;
  }
  fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool written = ::write(fd, want.data(), want.size()) == static_cast<ssize_t>(want.size());
  return ::close(fd) == 0 && written;
}

// Whether a contact of that name can be kept: its name in braces is the album of its
// tracks, which the player keeps to 255 characters, and the name of its id.
bool ContactNameFits(std::string_view name) {
  const std::string braced = "{" + std::string(name) + "}";
  return braced.size() < KernelId::kNameSize && platform::Utf8ToSdkString(braced).size() <= platform::kSdkMaxNameLength;
}

constexpr const char* kContactNameTooLong =
    "The contact name is too long for the player: it may have at most 253 characters, fewer when they are "
    "not plain letters.";

// A contact id's name without the one pair of braces its tracks' album adds.
std::string_view WithoutOuterBraces(std::string_view braced) {
  if (braced.size() >= 2 && braced.front() == '{' && braced.back() == '}') return braced.substr(1, braced.size() - 2);
  return braced;
}

std::string WithoutBraces(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c != '{' && c != '}') out += c;
  }
  return out;
}

}  // namespace

// ---- Playlists ----

int KernelDeviceCLSDK3::SupportsPlaylists() { return 1; }

int KernelDeviceCLSDK3::EnumFirstPlaylist(KernelId& playlist) {
  const int dev = SdkDeviceNumber();
  SdkItem item;
  if (playlistCount_ == -1) {
    int count = 0;
    SdkResult r = Sdk().FindFirstPlaylist(dev, playlistRoot_, &item);
    for (; r == platform::kSdkOk; r = Sdk().FindNextPlaylist(dev, playlistRoot_, &item)) ++count;
    if (r != platform::kSdkErrNoMoreItems) return 0;  // not counted; asked again next time
    playlistCount_ = count;
  }
  if (Sdk().FindFirstPlaylist(dev, playlistRoot_, &item) != platform::kSdkOk) return 0;
  playlist = KernelId(item.id);
  playlist.SetName(platform::SdkStringToUtf8(item.name));
  return playlistCount_;
}

int KernelDeviceCLSDK3::EnumNextPlaylist(KernelId& playlist) {
  SdkItem item;
  if (Sdk().FindNextPlaylist(SdkDeviceNumber(), playlistRoot_, &item) != platform::kSdkOk) return 0;
  playlist = KernelId(item.id);
  playlist.SetName(platform::SdkStringToUtf8(item.name));
  return 1;
}

int KernelDeviceCLSDK3::EnumFirstPlaylistItem(const KernelId& playlist, KernelId& track) {
  const int dev = SdkDeviceNumber();
  const SdkItem parent = Item(playlist.word[0], platform::kSdkPlaylist);
  SdkItem child;
  int count = 0;
  for (SdkResult r = Sdk().FindFirstChild(dev, parent, &child); r == platform::kSdkOk;
       r = Sdk().FindNextChild(dev, parent, &child)) {
    ++count;
  }
  if (count == 0 || Sdk().FindFirstChild(dev, parent, &child) != platform::kSdkOk) return 0;
  track = KernelId(child.id);
  return count;
}

int KernelDeviceCLSDK3::EnumNextPlaylistItem(const KernelId& playlist, KernelId& track) {
  SdkItem child;
  if (Sdk().FindNextChild(SdkDeviceNumber(), Item(playlist.word[0], platform::kSdkPlaylist), &child) !=
      platform::kSdkOk) {
    return 0;
  }
  track = KernelId(child.id);
  return 1;
}

bool KernelDeviceCLSDK3::CollectPlaylistEntries(const KernelId& playlist, std::vector<KernelId>* entries,
                                                int* status) {
  const int dev = SdkDeviceNumber();
  const SdkItem parent = Item(playlist.word[0], platform::kSdkPlaylist);
  SdkItem child;
  SdkResult r = Sdk().FindFirstChild(dev, parent, &child);
  for (; r == platform::kSdkOk; r = Sdk().FindNextChild(dev, parent, &child)) entries->push_back(KernelId(child.id));
  if (r == platform::kSdkErrNoMoreItems) return true;
  // A walk cut short is no list of entries: writing it back would lose the rest.
  *status = MapSdkResult(r);
  return false;
}

int KernelDeviceCLSDK3::CreateSdkPlaylist(std::string_view name, std::uint32_t* id) {
  const std::optional<platform::SdkString> wide = AnsiToBstr(name);
  if (!wide) return MapSdkResult(platform::kSdkErrInvalidArg);
  SdkItem item = Item(0, platform::kSdkPlaylist);
  item.name = *wide;
  const SdkResult r = Sdk().CreatePlaylist(SdkDeviceNumber(), playlistRoot_, &item);
  if (r != platform::kSdkOk) return MapSdkResult(r);
  if (item.id == 0) return MapSdkResult(platform::kSdkErrFail);
  *id = item.id;
  return kStatusOk;
}

int KernelDeviceCLSDK3::FindPlaylistNamed(std::string_view wanted, std::uint32_t except, KernelId& playlist) {
  const int dev = SdkDeviceNumber();
  SdkItem item;
  SdkResult r = Sdk().FindFirstPlaylist(dev, playlistRoot_, &item);
  for (; r == platform::kSdkOk; r = Sdk().FindNextPlaylist(dev, playlistRoot_, &item)) {
    const std::string existing = platform::SdkStringToUtf8(item.name);
    if (item.id != except && platform::TrimView(existing) == wanted) {
      playlist = KernelId(item.id);
      playlist.SetName(existing);
      return kStatusPlaylistExists;
    }
  }
  return r == platform::kSdkErrNoMoreItems ? kStatusOk : MapSdkResult(r);  // else the names were not all seen
}

int KernelDeviceCLSDK3::CreatePlaylist(std::string_view name, KernelId& playlist) {
  InvalidatePlaylistCache();
  const std::string_view wanted = platform::TrimView(name);
  if (const int status = FindPlaylistNamed(wanted, 0, playlist); status != kStatusOk) return status;
  std::uint32_t id = 0;
  if (const int status = CreateSdkPlaylist(wanted, &id); status != kStatusOk) return status;
  playlist = KernelId(id);
  playlist.SetName(wanted);
  return kStatusOk;
}

int KernelDeviceCLSDK3::DeletePlaylist(const KernelId& playlist) {
  InvalidatePlaylistCache();
  return MapSdkResult(Sdk().DeletePlaylist(SdkDeviceNumber(), Item(playlist.word[0], platform::kSdkPlaylist)));
}

std::string KernelDeviceCLSDK3::GetPlaylistName(const KernelId& playlist) { return std::string(playlist.GetName()); }

int KernelDeviceCLSDK3::RenamePlaylist(const KernelId& playlist, std::string_view name) {
  InvalidatePlaylistCache();
  // Two playlists of one name cannot be told apart: refused as creating one is.
  KernelId other;
  if (const int status = FindPlaylistNamed(platform::TrimView(name), playlist.word[0], other); status != kStatusOk) {
    return status;
  }
  const std::optional<platform::SdkString> wide = AnsiToBstr(platform::TrimView(name));
  return MapSdkResult(Sdk().RenamePlaylist(SdkDeviceNumber(), Item(playlist.word[0], platform::kSdkPlaylist),
                                           wide ? wide->c_str() : nullptr));
}

int KernelDeviceCLSDK3::AddPendingToPlaylist(const KernelId& playlist) {
  InvalidatePlaylistCache();
  std::vector<SdkItem> tracks;
  tracks.reserve(GetPendingIds().size());
  for (const KernelId& id : GetPendingIds()) tracks.push_back(Item(id.word[0], platform::kSdkTrack));
  return MapSdkResult(Sdk().AddTracksToPlaylist(SdkDeviceNumber(), Item(playlist.word[0], platform::kSdkPlaylist),
                                                std::uint32_t(tracks.size()), tracks.data()));
}

int KernelDeviceCLSDK3::RewritePlaylist(const std::vector<KernelId>& entries, const KernelId& playlist) {
  InvalidatePlaylistCache();
  const std::string name = GetPlaylistName(playlist);
  std::uint32_t newId = 0;
  if (const int status = CreateSdkPlaylist(name, &newId); status != kStatusOk) return status;
  KernelId fresh(newId);
  fresh.SetName(name);
  ClearPendingIds();
  for (const KernelId& e : entries) AddPendingId(e);
  int status = AddPendingToPlaylist(fresh);
  if (status == kStatusOk) status = DeletePlaylist(playlist);
  if (status != kStatusOk) {
    // The old playlist stays as it was; the new one goes (its result cannot be told better).
    Sdk().DeletePlaylist(SdkDeviceNumber(), Item(newId, platform::kSdkPlaylist));
    InvalidatePlaylistCache();
  }
  return status;
}

int KernelDeviceCLSDK3::RemovePendingFromPlaylist(const KernelId& playlist) {
  InvalidatePlaylistCache();
  std::vector<KernelId> entries;
  int status = kStatusOk;
  if (!CollectPlaylistEntries(playlist, &entries, &status)) return status;
  const std::vector<KernelId>& pending = GetPendingIds();
  std::erase_if(entries, [&pending](const KernelId& e) {
    return std::any_of(pending.begin(), pending.end(), [&e](const KernelId& p) { return p.word[0] == e.word[0]; });
  });
  return RewritePlaylist(entries, playlist);
}

int KernelDeviceCLSDK3::MovePlaylistItem(const KernelId& playlist, int from, int to) {
  InvalidatePlaylistCache();
  std::vector<KernelId> entries;
  int status = kStatusOk;
  if (!CollectPlaylistEntries(playlist, &entries, &status)) return status;
  const int n = static_cast<int>(entries.size());
  if (from < 0 || from >= n || to < 0 || to > n) {
    throw InvalidArgumentError("The playlist entry to move is outside the playlist.");
  }
  const KernelId entry = entries[static_cast<std::size_t>(from)];
  entries.erase(entries.begin() + from);
  entries.insert(entries.begin() + (from < to ? to - 1 : to), entry);
  return RewritePlaylist(entries, playlist);
}

int KernelDeviceCLSDK3::ShufflePlaylist(const KernelId& playlist) {
  InvalidatePlaylistCache();
  SortableKernelIdArray entries(this);
  int status = kStatusOk;
  if (!CollectPlaylistEntries(playlist, &entries, &status)) return status;
  entries.Shuffle();  // 5 x n swaps of positions drawn uniformly from [0, n)
  return RewritePlaylist(entries, playlist);
}

int KernelDeviceCLSDK3::SortPlaylist(const KernelId& playlist, int key) {
  SortableKernelIdArray entries(this);
  int status = kStatusOk;
  if (!CollectPlaylistEntries(playlist, &entries, &status)) return status;
  entries.SortByTrackInfo(key);
  return RewritePlaylist(entries, playlist);
}

// ---- Playback ----

int KernelDeviceCLSDK3::SupportsPlayback() { return 1; }

int KernelDeviceCLSDK3::GetVolume() { return GetIntProperty(platform::kSdkPropVolume); }

int KernelDeviceCLSDK3::SetVolume(int volume) { return SetIntProperty(platform::kSdkPropVolume, volume); }

int KernelDeviceCLSDK3::SetMute(int mute) { return SetIntProperty(platform::kSdkPropMute, mute); }

int KernelDeviceCLSDK3::IsMuted() { return GetIntProperty(platform::kSdkPropMute); }

void KernelDeviceCLSDK3::ShowAdvancedSoundSettings() {
  SetReplyMessage("Advanced Sound Settings for this Jukebox model are not yet available.");
}

int KernelDeviceCLSDK3::PlayTrack(const KernelId& track) {
  SdkItem item = Item(track.word[0], platform::kSdkTrack);
  const SdkResult r = Sdk().PlaybackControl(SdkDeviceNumber(), platform::kSdkPlay, &item);
  SetNowPlaying(track);
  SetPlaybackStopped(0);
  return MapSdkResult(r);
}

int KernelDeviceCLSDK3::StopPlayback() {
  SetPlaybackStopped(1);  // the stop notice that follows must not advance the queue
  return MapSdkResult(Sdk().PlaybackControl(SdkDeviceNumber(), platform::kSdkStop, nullptr));
}

int KernelDeviceCLSDK3::IsPaused() { return paused_; }

int KernelDeviceCLSDK3::SetPaused(int paused) {
  const SdkResult r = paused != 0 ? Sdk().PlaybackControl(SdkDeviceNumber(), platform::kSdkPause, nullptr)
                                  : Sdk().PlaybackControl(SdkDeviceNumber(), platform::kSdkResume, &resumeArgument_);
  paused_ = paused;
  return MapSdkResult(r);
}

// ---- Contacts ----

int KernelDeviceCLSDK3::SupportsContacts() { return 0; }
int KernelDeviceCLSDK3::Op12170(const KernelId&, std::string_view) { return 0; }
int KernelDeviceCLSDK3::IsContactFolder(const KernelId&) { return 0; }
int KernelDeviceCLSDK3::DeleteContactFolder(const KernelId&) { return 0; }

std::vector<KernelId> KernelDeviceCLSDK3::ContactTracks(std::string_view bracedName, bool current) {
  std::vector<std::uint32_t> ids;
  WalkAllTracks(&ids);
  std::vector<KernelId> tracks;
  std::map<int, std::set<int>> generations;  // generation -> the field numbers it holds
  for (std::uint32_t id : ids) {
    const KernelId track(id);
    if (GetTrackArtist(track) != kContactsArtist || GetTrackAlbum(track) != bracedName) continue;
    tracks.push_back(track);
    generations[GetTrackYear(track)].insert(GetTrackNumber(track));
  }
  if (!current || generations.size() <= 1) return tracks;
  // The newest whole generation; the newest one when none is whole.
  int chosen = generations.rbegin()->first;
  for (auto g = generations.rbegin(); g != generations.rend(); ++g) {
    if (std::all_of(std::begin(kContactFields), std::end(kContactFields),
                    [&](const ContactTrackField& f) { return g->second.count(f.number) != 0; })) {
      chosen = g->first;
      break;
    }
  }
  std::erase_if(tracks, [&](const KernelId& t) { return GetTrackYear(t) != chosen; });
  return tracks;
}

int KernelDeviceCLSDK3::GetContactsRootFolder(KernelId& folder) {
  folder.SetName(kContactsArtist);
  return 0;
}

int KernelDeviceCLSDK3::GetFirstContact(const KernelId& folder, KernelId& item) {
  if (folder.GetName() != kContactsArtist) return 0;
  std::vector<std::uint32_t> ids;
  WalkAllTracks(&ids);
  CSortableStringArray names;
  for (std::uint32_t id : ids) {
    const KernelId track(id);
    if (GetTrackArtist(track) != kContactsArtist) continue;
    std::string album = GetTrackAlbum(track);
    if (std::find(names.begin(), names.end(), album) == names.end()) names.push_back(std::move(album));
  }
  names.Sort(CompareStringsNoCase);
  contactNames_.assign(names.begin(), names.end());
  contactCursor_ = 0;
  if (contactNames_.empty()) return 0;
  item = KernelId();
  item.SetName(contactNames_[contactCursor_++]);
  return static_cast<int>(contactNames_.size());
}

int KernelDeviceCLSDK3::GetNextContact(const KernelId&, KernelId& item) {
  if (contactCursor_ >= contactNames_.size()) return 0;
  item = KernelId();
  item.SetName(contactNames_[contactCursor_++]);
  return 1;
}

std::string KernelDeviceCLSDK3::GetContactName(const KernelId& item) { return WithoutBraces(item.GetName()); }

int KernelDeviceCLSDK3::CreateContact(std::string_view name, const ContactRecord& record, const KernelId&,
                                      KernelId& newContact) {
  newContact = KernelId();
  if (!ContactNameFits(name)) {
    SetReplyError(static_cast<int>(platform::kSdkErrInvalidArg), kContactNameTooLong);
    return kStatusFailed;
  }
  KernelId made;
  made.SetName("{" + std::string(name) + "}");
  const int status = SetContactRecord(made, record);
  if (status == kStatusOk) newContact = made;
  return status;
}

int KernelDeviceCLSDK3::DeleteContact(const KernelId& item) {
  // No contact of the player has a name that does not fit: its tracks are elsewhere.
  if (!ContactNameFits(WithoutOuterBraces(item.GetName()))) {
    SetReplyError(static_cast<int>(platform::kSdkErrInvalidArg), kContactNameTooLong);
    return kStatusFailed;
  }
  // Every track of every generation; the first failure is the answer.
  int status = kStatusOk;
  for (const KernelId& track : ContactTracks(item.GetName())) {
    const int deleted = DeleteAudioTrack(track);
    if (status == kStatusOk) status = deleted;
  }
  return status;
}

int KernelDeviceCLSDK3::CreateContactFolder(std::string_view name, const KernelId&, KernelId& newFolder) {
  if (name == "Outlook Contacts") {
    GetContactsRootFolder(newFolder);
  } else {
    SetReplyMessage("Sub-folders are not supported for contacts.");
  }
  return 0;
}

int KernelDeviceCLSDK3::GetContactRecord(const KernelId& item, ContactRecord& record) {
  record.Clear();
  for (const KernelId& track : ContactTracks(item.GetName(), true)) {
    const std::string title = WithoutBraces(GetTrackTitle(track));
    // " PH " before the text: a blank, the two letters and a blank.
    const std::string text = platform::Trim(title.size() > 4 ? std::string_view(title).substr(4) : std::string_view());
    const int number = GetTrackNumber(track);
    for (const ContactTrackField& f : kContactFields) {
      if (f.number == number) record.field[f.element].Set(text);
    }
  }
  return 0;
}

int KernelDeviceCLSDK3::SetContactRecord(const KernelId& item, const ContactRecord& record) {
  const std::string braced(item.GetName());
  if (!ContactNameFits(WithoutOuterBraces(braced))) {
    SetReplyError(static_cast<int>(platform::kSdkErrInvalidArg), kContactNameTooLong);
    return kStatusFailed;
  }
  const std::vector<KernelId> old = ContactTracks(braced);
  int generation = 0;
  for (const KernelId& track : old) generation = std::max(generation, GetTrackYear(track));
  std::string folder;
  GetWorkFolder(folder, "");
  const std::string wav = folder + "small.wav";
  if (!EnsureSmallWav(wav)) {
    throw DeviceError(platform::E_FAIL, "Contacts",
                      "The contact could not be stored on the player: the file \"" + wav +
                          "\" could not be written.");
  }
  TrackRecord r;
  r.Clear();
  r.fileSize = 45;
  r.length = 1;
  r.codec = kCodecWav;
  r.bitrate = 32;
  r.artist.Set(kContactsArtist);
  r.album.Set(braced);
  r.year = generation + 1;
  // The new tracks are written first; the old ones go only once all four are there.
  // Leftovers of a write cut short are of another generation, which readers pass over.
  std::vector<std::uint32_t> added;
  int status = kStatusOk;
  for (const ContactTrackField& f : kContactFields) {
    r.trackNumber = f.number;
    r.title.Set("{ " + std::string(f.tag) + " " + std::string(record.field[f.element].GetText()) + " }");
    uploadDoneSeen_ = 0;
    newItemId_ = 0;
    KernelId scratch;
    status = UploadTrack(wav, r, scratch);
    if (status != kStatusOk) break;
    const bool ended = PumpUntil([this] { return uploadDoneSeen_ != 0; }, TransferIdleLimitMs(), true);
    if (!ended || lastUploadResult_ != platform::kSdkOk || newItemId_ == 0) {
      status = MapSdkResult(ended && lastUploadResult_ != platform::kSdkOk ? lastUploadResult_
                                                                           : platform::kSdkErrTransfer);
      break;
    }
    added.push_back(newItemId_);
  }
  if (status != kStatusOk) {
    for (std::uint32_t id : added) Sdk().DeleteItem(SdkDeviceNumber(), Item(id, platform::kSdkTrack));
    InvalidateTrackIndex();
    return status;
  }
  for (const KernelId& track : old) DeleteAudioTrack(track);
  return kStatusOk;
}

}  // namespace driver
