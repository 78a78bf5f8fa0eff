#include "device/sortable.h"

#include <algorithm>
#include <numeric>
#include <optional>
#include <random>

#include "device/codec.h"
#include "device/kernel_device.h"
#include "platform/text/text.h"

namespace device {

int CompareStringsNoCase(std::string_view a, std::string_view b) {
  return platform::CompareNoCase(a, b);
}

namespace {

int Sign(long long v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

int CompareText(const FixedString256& a, const FixedString256& b) {
  return Sign(platform::CompareNoCase(a.GetText(), b.GetText()));
}

int CompareKey(const TrackRecord& a, const TrackRecord& b, int key) {
  switch (key) {
    case kSortArtist: return CompareText(a.artist, b.artist);
    case kSortAlbum: return CompareText(a.album, b.album);
    case kSortTrackNumber: return Sign(static_cast<long long>(a.trackNumber) - b.trackNumber);
    case kSortTitle: return CompareText(a.title, b.title);
    case kSortCodec:
      return Sign(platform::CompareNoCase(GetCodecExtension(a.codec), GetCodecExtension(b.codec)));
    case kSortBitrate: return Sign(static_cast<long long>(a.bitrate) - b.bitrate);
    case kSortLength: return Sign(static_cast<long long>(a.length) - b.length);
    case kSortYear: return Sign(static_cast<long long>(a.year) - b.year);
    case kSortGenre: return CompareText(a.genre, b.genre);
    case kSortComment: return CompareText(a.comment, b.comment);
    case kSortFileSize: return Sign(static_cast<long long>(a.fileSize) - b.fileSize);
    case kSortPlayOnly: return Sign(static_cast<int>(a.playOnly) - static_cast<int>(b.playOnly));
    default: return 0;
  }
}

constexpr int kKeyCount = 12;

// Reorders `items` by the stable order of their indices under `less`.
template <class Less>
void StableReorder(std::vector<KernelId>& items, Less less) {
  std::vector<std::size_t> order(items.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), less);
  std::vector<KernelId> sorted;
  sorted.reserve(items.size());
  for (std::size_t i : order) sorted.push_back(items[i]);
  items.swap(sorted);
}

}  // namespace

int CompareTrackRecords(const TrackRecord& a, const TrackRecord& b, std::span<const int> keys) {
  if (keys.empty() && a.album.GetText() == b.album.GetText() && a.trackNumber != b.trackNumber) {
    return a.trackNumber > b.trackNumber ? 1 : -1;
  }
  bool given[kKeyCount] = {};
  for (int key : keys) {
    if (key < 0 || key >= kKeyCount) continue;
    given[key] = true;
    if (int r = CompareKey(a, b, key)) return r;
  }
  for (int key = 0; key < kKeyCount; ++key) {
    if (given[key]) continue;
    if (int r = CompareKey(a, b, key)) return r;
  }
  return 0;
}

void SortableKernelIdArray::SortByName() {
  if (size() < 2 || device_ == nullptr) return;
  std::vector<std::optional<std::string>> names;
  names.reserve(size());
  for (const KernelId& id : *this) {
    try {
      names.emplace_back(device_->GetPlaylistName(id));
    } catch (const std::exception&) {
      names.emplace_back(std::nullopt);  // compares equal to everything
    }
  }
  StableReorder(*this, [&](std::size_t x, std::size_t y) {
    if (!names[x] || !names[y]) return false;
    return platform::CompareBytes(*names[x], *names[y]) < 0;
  });
}

void SortableKernelIdArray::SortByTrackInfo(int firstKey) {
  if (size() < 2 || device_ == nullptr) return;
  std::vector<TrackRecord> records(size());
  std::vector<bool> read(size(), false);
  for (std::size_t i = 0; i < size(); ++i) {
    try {
      device_->GetTrackInfo((*this)[i], records[i]);
      read[i] = true;
    } catch (const std::exception&) {
    }
  }
  const int keyList[1] = {firstKey};
  const std::span<const int> keys = firstKey >= 0 ? std::span<const int>(keyList)
                                                  : std::span<const int>();
  StableReorder(*this, [&](std::size_t x, std::size_t y) {
    if (!read[x] || !read[y]) return false;
    return CompareTrackRecords(records[x], records[y], keys) < 0;
  });
}

void SortableKernelIdArray::SortById(int direction) {
  std::stable_sort(begin(), end(), [direction](const KernelId& a, const KernelId& b) {
    return direction < 0 ? a.word[0] > b.word[0] : a.word[0] < b.word[0];
  });
}

void SortableKernelIdArray::Shuffle() {
  const std::size_t n = size();
  for (std::size_t round = 0; n > 0 && round < 5 * n; ++round) {
    const std::size_t i = RandomIndex(n);
    const std::size_t j = RandomIndex(n);
    std::swap((*this)[i], (*this)[j]);
  }
}

void CSortableStringArray::Sort(Compare compare) {
  std::stable_sort(begin(), end(), [compare](const std::string& a, const std::string& b) {
    return compare(a, b) < 0;
  });
}

void CSortableStringArray::Shuffle() {
  const std::size_t n = size();
  for (std::size_t round = 0; n > 0 && round < n; ++round) {
    const std::size_t i = RandomIndex(n);
    const std::size_t j = RandomIndex(n);
    std::swap((*this)[i], (*this)[j]);
  }
}

std::size_t RandomIndex(std::size_t count) {
  thread_local std::mt19937_64 engine{std::random_device{}()};
  return std::uniform_int_distribution<std::size_t>(0, count - 1)(engine);
}

}  // namespace device
