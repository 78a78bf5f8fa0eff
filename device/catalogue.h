// Internal to KernelDevice: the catalogue caches built from the device's own operations.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "device/kernel_device.h"
#include "device/sortable.h"

namespace device {

struct KernelDevice::Catalogue {
  explicit Catalogue(KernelDevice* device) : playlistIds(device) {}

  int trackIndexDirty = 1;
  int playlistCacheDirty = 1;
  int trackPlaylistMapDirty = 1;

  // Track index. Every distinct track once, in walk order; the per-name track sets hold
  // positions in it, in the order the tracks were added.
  std::vector<KernelId> tracks;
  struct ArtistEntry {
    std::vector<std::uint32_t> tracks;
    std::unordered_set<std::string> albums;  // the albums of its tracks, "" included
    const std::string* lastAlbum = nullptr;  // tracks mostly come album by album
  };
  std::unordered_map<std::string, ArtistEntry> artistEntries;
  std::unordered_map<std::string, std::vector<std::uint32_t>> albumTracks;
  std::unordered_map<std::string, std::vector<std::uint32_t>> genreTracks;
  CSortableStringArray artists, albums, genres;
  CSortableStringArray artistAlbums;
  const CSortableStringArray* currentAlbums = nullptr;
  std::size_t artistCursor = 0, albumCursor = 0, genreCursor = 0;

  std::vector<KernelId> tagResults;
  std::size_t tagCursor = 0;

  SortablePlaylistIdArray playlistIds;
  std::size_t playlistCursor = 0;
  std::unordered_map<KernelId, std::vector<KernelId>, KernelIdHash> trackPlaylists;

  std::vector<KernelId> queryResults;
  std::size_t queryCursor = 0;

  std::unordered_map<std::string, KernelId> contentIds;
};

}  // namespace device
