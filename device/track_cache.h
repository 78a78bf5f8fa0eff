// Devices that stand in front of another device.
//
// ForwardingDevice passes every operation of the table on to another device.
//
// TrackCacheDevice keeps what the tracks' reads answered, so that a caller which reads
// the same tracks again and again (the web pages of the manager, whose device is the
// manager's own proxy: every read is a request to the manager's thread) asks the device
// once. The first walk over all tracks fetches each track with its record in one request
// (GetFirstAudioTrackInfo / GetNextAudioTrackInfo); a single track is fetched with
// GetTrackInfo. Every read of a track's fields is then answered from the record, exactly
// as the device's own text results would read (cut like a request's text result). The
// catalogue built from the tracks (artists, albums, genres, tag search) runs here, with
// the base class's rules, over the kept tracks. Everything else is passed on.
//
// What it keeps stays good while the version handed to Revalidate stays the same: the
// owner passes the CatalogueVersion of the device that holds the tracks, or nothing,
// and then every Revalidate starts afresh. Operations that change tracks, passed through
// this object, drop what it keeps as well.
//
// Like every device, an object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "device/kernel_device.h"
#include "device/operations.h"

namespace device {

class ForwardingDevice : public KernelDevice {
 public:
  explicit ForwardingDevice(KernelDevice& inner) : inner_(inner) {}

#define FORWARDING_DEVICE_ROW(code, Name, R, Flow, ...) \
  ::device::devop::R::Type Name(DEVOP_PARAMS(__VA_ARGS__)) override { return inner_.Name(DEVOP_ARGS(__VA_ARGS__)); }
  KERNEL_DEVICE_OPERATIONS(FORWARDING_DEVICE_ROW)
#undef FORWARDING_DEVICE_ROW

  int EnumFirstPlaylist(KernelId& playlist) override { return inner_.EnumFirstPlaylist(playlist); }
  int EnumNextPlaylist(KernelId& playlist) override { return inner_.EnumNextPlaylist(playlist); }
  int EnumFirstPlaylistItem(const KernelId& playlist, KernelId& track) override {
    return inner_.EnumFirstPlaylistItem(playlist, track);
  }
  int EnumNextPlaylistItem(const KernelId& playlist, KernelId& track) override {
    return inner_.EnumNextPlaylistItem(playlist, track);
  }

  std::optional<std::uint64_t> CatalogueVersion() const override { return inner_.CatalogueVersion(); }
  std::optional<bool> PlaybackStoppedNow() const override { return inner_.PlaybackStoppedNow(); }

  KernelDevice& inner() const { return inner_; }

 private:
  KernelDevice& inner_;
};

class TrackCacheDevice : public ForwardingDevice {
 public:
  explicit TrackCacheDevice(KernelDevice& inner) : ForwardingDevice(inner) {}

  // Keeps what it holds when `version` is the one it was filled at; else drops it all.
  void Revalidate(std::optional<std::uint64_t> version);
  // Drops what it holds.
  void Drop();

  // ---- Answered from the kept tracks ----
  DEVOP_OVERRIDE(GetFirstAudioTrack)
  DEVOP_OVERRIDE(GetNextAudioTrack)
  int GetFirstAudioTrackInfo(KernelId& track, TrackRecord& record) override {
    return KernelDevice::GetFirstAudioTrackInfo(track, record);
  }
  int GetNextAudioTrackInfo(KernelId& track, TrackRecord& record) override {
    return KernelDevice::GetNextAudioTrackInfo(track, record);
  }
  DEVOP_OVERRIDE(GetTrackInfo)
  DEVOP_OVERRIDE(GetTrackFileName)
  DEVOP_OVERRIDE(GetTrackSize)
  DEVOP_OVERRIDE(GetTrackArtist)
  DEVOP_OVERRIDE(GetTrackAlbum)
  DEVOP_OVERRIDE(GetTrackNumber)
  DEVOP_OVERRIDE(GetTrackTitle)
  DEVOP_OVERRIDE(GetTrackCodec)
  DEVOP_OVERRIDE(GetTrackLength)
  DEVOP_OVERRIDE(GetTrackBitrate)
  DEVOP_OVERRIDE(GetTrackYear)
  DEVOP_OVERRIDE(GetTrackGenre)
  DEVOP_OVERRIDE(GetTrackComment)
  DEVOP_OVERRIDE(IsTrackLocked)

  // ---- The catalogue of the base class, over the kept tracks ----
  int GetFirstArtist(FixedString256& name) override { return KernelDevice::GetFirstArtist(name); }
  int GetNextArtist(FixedString256& name) override { return KernelDevice::GetNextArtist(name); }
  int GetFirstAlbum(FixedString256& name, std::string_view artist) override {
    return KernelDevice::GetFirstAlbum(name, artist);
  }
  int GetNextAlbum(FixedString256& name) override { return KernelDevice::GetNextAlbum(name); }
  int GetFirstGenre(FixedString256& name) override { return KernelDevice::GetFirstGenre(name); }
  int GetNextGenre(FixedString256& name) override { return KernelDevice::GetNextGenre(name); }
  int GetFirstTrackByTags(KernelId& track, std::string_view artist, std::string_view album,
                          std::string_view genre) override {
    return KernelDevice::GetFirstTrackByTags(track, artist, album, genre);
  }
  int GetNextTrackByTags(KernelId& track) override { return KernelDevice::GetNextTrackByTags(track); }

  // ---- Passed on, then what is kept is dropped ----
  DEVOP_OVERRIDE(Connect)
  DEVOP_OVERRIDE(Disconnect)
  DEVOP_OVERRIDE(SelectStorage)
  DEVOP_OVERRIDE(RefreshStorage)
  DEVOP_OVERRIDE(RecoverMissingTracks)
  DEVOP_OVERRIDE(SetTrackInfo)
  DEVOP_OVERRIDE(SetTrackArtist)
  DEVOP_OVERRIDE(SetTrackAlbum)
  DEVOP_OVERRIDE(SetTrackNumber)
  DEVOP_OVERRIDE(SetTrackTitle)
  DEVOP_OVERRIDE(SetTrackYear)
  DEVOP_OVERRIDE(SetTrackGenre)
  DEVOP_OVERRIDE(SetTrackComment)
  DEVOP_OVERRIDE(UploadTrack)
  DEVOP_OVERRIDE(DeleteAudioTrack)

  // How many requests for tracks this object has passed on since it was made (for tests
  // and measurements).
  std::uint64_t fetches() const { return fetches_; }

 private:
  // Runs a call that passes a change on, and drops what is kept after it.
  template <typename Call>
  auto Changing(Call call);
  // The record of a track, fetched when it is not kept yet.
  const TrackRecord& Record(const KernelId& track);
  // Every track in the device's order, each with its record.
  const std::vector<KernelId>& Tracks();

  std::optional<std::uint64_t> version_;
  std::unordered_map<KernelId, TrackRecord, KernelIdHash> records_;
  std::optional<std::vector<KernelId>> tracks_;
  int walkCount_ = 0;  // the device's answer to the first step of the walk
  std::size_t cursor_ = 0;
  std::uint64_t fetches_ = 0;
};

}  // namespace device
