// Sortable arrays of ids and strings, the comparisons they sort with, and shuffles.
//
// Sorts are stable, so entries that compare equal (names that differ only in case, track
// records equal on every key, entries whose data could not be read) keep their order.
// The ids' sort data (playlist names, track records) is read from the device once per
// entry before sorting; an entry whose data cannot be read compares equal to every
// other. Shuffles draw their positions uniformly from the whole array.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/kernel_id.h"
#include "device/records.h"

namespace device {

class KernelDevice;

// Case-insensitive (ASCII) comparison: <0, 0, >0.
int CompareStringsNoCase(std::string_view a, std::string_view b);

// Track record keys of CompareTrackRecords.
enum TrackSortKey : int {
  kSortArtist = 0,
  kSortAlbum = 1,
  kSortTrackNumber = 2,
  kSortTitle = 3,
  kSortCodec = 4,  // by the codec's extension text
  kSortBitrate = 5,
  kSortLength = 6,
  kSortYear = 7,
  kSortGenre = 8,
  kSortComment = 9,
  kSortFileSize = 10,
  kSortPlayOnly = 11,
};

// -1, 0 or 1. The given keys are compared first, then every other key 0-11 in ascending
// order; texts without regard to case, numbers signed. With no keys, two tracks of the
// same album (exact text) are first ordered by track number.
int CompareTrackRecords(const TrackRecord& a, const TrackRecord& b, std::span<const int> keys);

// A growable array of ids that remembers the device whose data orders them.
class SortableKernelIdArray : public std::vector<KernelId> {
 public:
  explicit SortableKernelIdArray(KernelDevice* device = nullptr) : device_(device) {}

  KernelDevice* GetDevice() const { return device_; }
  void SetDevice(KernelDevice* device) { device_ = device; }

  // By the device's playlist name of each id, byte order.
  void SortByName();
  // By the device's track record of each id (CompareTrackRecords); firstKey < 0: no
  // leading key, the default key order.
  void SortByTrackInfo(int firstKey);
  // By word 0, unsigned; direction -1 puts the largest first.
  void SortById(int direction);
  // 5 x size swaps of uniformly drawn positions.
  void Shuffle();

 private:
  KernelDevice* device_;
};

class SortablePlaylistIdArray : public SortableKernelIdArray {
 public:
  using SortableKernelIdArray::SortableKernelIdArray;
};

class CSortableStringArray : public std::vector<std::string> {
 public:
  using Compare = int (*)(std::string_view, std::string_view);
  // Stable sort with a <0 / 0 / >0 comparison (CompareStringsNoCase as a rule).
  void Sort(Compare compare);
  // size swaps of uniformly drawn positions.
  void Shuffle();
};

// A position drawn uniformly from [0, count); count must be > 0.
std::size_t RandomIndex(std::size_t count);

}  // namespace device
