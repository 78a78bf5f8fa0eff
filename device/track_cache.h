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

class ForwardingDevice : public KernelDevice {
 public:
  explicit ForwardingDevice(KernelDevice& inner) : inner_(inner) {}

#define FORWARDING_DEVICE_ROW(code, Name, R, Flow, ...) \
  ::devop::R::Type Name(DEVOP_PARAMS(__VA_ARGS__)) override { return inner_.Name(DEVOP_ARGS(__VA_ARGS__)); }
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
  int GetFirstAudioTrack(KernelId& track) override;
  int GetNextAudioTrack(KernelId& track) override;
  int GetFirstAudioTrackInfo(KernelId& track, TrackRecord& record) override {
    return KernelDevice::GetFirstAudioTrackInfo(track, record);
  }
  int GetNextAudioTrackInfo(KernelId& track, TrackRecord& record) override {
    return KernelDevice::GetNextAudioTrackInfo(track, record);
  }
  int GetTrackInfo(const KernelId& track, TrackRecord& record) override;
  std::string GetTrackFileName(const KernelId& track) override;
  int GetTrackSize(const KernelId& track) override;
  std::string GetTrackArtist(const KernelId& track) override;
  std::string GetTrackAlbum(const KernelId& track) override;
  int GetTrackNumber(const KernelId& track) override;
  std::string GetTrackTitle(const KernelId& track) override;
  int GetTrackCodec(const KernelId& track) override;
  int GetTrackLength(const KernelId& track) override;
  int GetTrackBitrate(const KernelId& track) override;
  int GetTrackYear(const KernelId& track) override;
  std::string GetTrackGenre(const KernelId& track) override;
  std::string GetTrackComment(const KernelId& track) override;
  int IsTrackLocked(const KernelId& track) override;

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
  void Connect() override;
  void Disconnect() override;
  int SelectStorage(const KernelId& storage) override;
  int RefreshStorage() override;
  int RecoverMissingTracks() override;
  int SetTrackInfo(const KernelId& track, const TrackRecord& record) override;
  int SetTrackArtist(const KernelId& track, std::string_view text) override;
  int SetTrackAlbum(const KernelId& track, std::string_view text) override;
  int SetTrackNumber(const KernelId& track, int number) override;
  int SetTrackTitle(const KernelId& track, std::string_view text) override;
  int SetTrackYear(const KernelId& track, int year) override;
  int SetTrackGenre(const KernelId& track, std::string_view text) override;
  int SetTrackComment(const KernelId& track, std::string_view text) override;
  int UploadTrack(std::string_view sourcePath, const TrackRecord& record, KernelId& newTrack) override;
  int DeleteAudioTrack(const KernelId& track) override;

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
