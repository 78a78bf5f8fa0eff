// The device tables: "audio", "data", "playlist" and "plitem", views over one connected
// player reached through KernelDevice. Filling lists the rows' ids; a field is fetched
// from the device when first asked for, and kept while the same row is read.
//
// An audio row costs one request however many of its fields a statement reads (plus one
// for "locked"): the whole record with GetTrackInfo, whose answer tells a failed read. A
// read that fails ends the statement (the device's error, or "Device read failed." for an
// answer that is not 0): a row never mixes values that were read with ones that were not,
// and a join with an index fails on a row exactly where the walk without one does. The
// "id" column needs no request at all.
//
//   audio     id artist album tracknum title genre composer year comment length codec
//             bitrate size | locked rating playcount   (a select-all yields id..size)
//   data      id name size              (the root folder's items, folders among them)
//   playlist  id name
//   plitem    id plid pos aid           (id is the plid text followed by the pos text)
//
// Ids are written as the unsigned 64-bit number of words 0 (low) and 1 (high).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "device/kernel_device.h"
#include "device/kernel_id.h"
#include "device/records.h"
#include "sql/table.h"

namespace sql {

class CTableJukebox : public CTable {
 public:
  CTableJukebox(std::string name, std::int32_t columnCount,
                const std::vector<std::string_view>& columnNames, device::KernelDevice* device)
      : CTable(std::move(name), columnCount, columnNames), device_(device) {}

  // The id of a row; the reference stays valid until another row's id is asked for.
  const device::KernelId& GetRowId(std::int32_t row);
  // Words 0 (low) and 1 (high) of a row's id.
  std::uint64_t GetRowItemId(std::int32_t row) const { return ItemIdOf(ids_[static_cast<std::size_t>(row)]); }

 protected:
  // Ids are kept compact (a KernelId is 276 bytes, mostly an empty name).
  struct StoredId {
    std::uint32_t word[4];
    std::uint32_t name;  // 0: none, else 1 + index into names_
  };
  static std::uint64_t ItemIdOf(const StoredId& id) {
    return (static_cast<std::uint64_t>(id.word[1]) << 32) | id.word[0];
  }

  void ClearRows();
  void ReserveRows(int count);
  void AddRow(const device::KernelId& id);
  // Makes the added rows the table's rows.
  void CommitRows() { SetRowCount(ids_.size()); }
  // Adds the rows of a first/next walk and commits them: `count` is the first call's answer
  // for `id`; `next` moves `id` on and answers 0 after the last.
  template <typename Next>
  void AddWalkedRows(device::KernelId& id, int count, Next next) {
    ReserveRows(count);
    for (int more = count; more != 0; more = next()) AddRow(id);
    CommitRows();
  }

  // A value of one row, kept while the same row is read. The row is forgotten while
  // fetching, so a fetch that throws leaves no stale value behind.
  template <typename T>
  struct RowCache {
    template <typename Fetch>
    const T& Get(std::int32_t r, Fetch fetch) {
      if (r != row) {
        row = -1;
        value = fetch();
        row = r;
      }
      return value;
    }
    void Forget() { row = -1; }

    T value{};
    std::int32_t row = -1;
  };

  device::KernelDevice* device_;

 private:
  std::vector<StoredId> ids_;
  std::vector<std::string> names_;
  device::KernelId current_;
  std::int32_t currentRow_ = -1;
};

class CTableJukeboxAudio : public CTableJukebox {
 public:
  explicit CTableJukeboxAudio(device::KernelDevice* device);
  void Fill() override;
  std::string_view FieldView(std::int32_t row, std::int32_t column, std::string& scratch) override;

 private:
  const device::TrackRecord& Record(std::int32_t row);

  device::TrackRecord record_;
  std::int32_t recordRow_ = -1;
  RowCache<int> locked_;
};

class CTableJukeboxData : public CTableJukebox {
 public:
  explicit CTableJukeboxData(device::KernelDevice* device);
  void Fill() override;
  std::string_view FieldView(std::int32_t row, std::int32_t column, std::string& scratch) override;

 private:
  RowCache<std::string> name_;
};

class CTableJukeboxPlaylist : public CTableJukebox {
 public:
  explicit CTableJukeboxPlaylist(device::KernelDevice* device);
  void Fill() override;
  std::string_view FieldView(std::int32_t row, std::int32_t column, std::string& scratch) override;

 private:
  RowCache<std::string> name_;
};

class CTableJukeboxPlaylistItem : public CTableJukebox {
 public:
  explicit CTableJukeboxPlaylistItem(device::KernelDevice* device);
  void Fill() override;
  std::string_view FieldView(std::int32_t row, std::int32_t column, std::string& scratch) override;

 private:
  std::vector<std::int32_t> positions_;
  std::vector<std::uint64_t> trackIds_;
};

class CTableSourceJukebox : public CTableSource {
 public:
  // The device is not owned.
  explicit CTableSourceJukebox(device::KernelDevice* device) : device_(device) {}
  // "audio", "data", "playlist", "plitem" (exact); null for any other name.
  std::unique_ptr<CTable> GetTable(std::string_view name) override;

 private:
  device::KernelDevice* device_;
};

}  // namespace sql
