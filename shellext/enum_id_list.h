// CEnumIDList: the enumerator of one folder's items. It builds the folder's whole content
// when it is constructed (folder_contents.cpp), item by item through the node builder
// AddItem (node_builder.cpp), and afterwards only walks its list, handing out copies.
//
// The list never changes after construction; Reset restarts the walk. Items are one-item
// lists from the shell allocator, owned by the enumerator; Next hands out copies that the
// receiver frees.
#pragma once

#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

#include "device/kernel_device.h"
#include "platform/shell/shell_interfaces.h"
#include "shellext/library.h"
#include "shellext/shell_item.h"

namespace shellext {

class CShellFolder;

// The track ids of the last search (written by the search command); the "Search" folder
// lists those still on the device.
extern std::vector<device::KernelId> g_SearchResults;
extern std::mutex g_SearchResultsLock;

// Absolute item-id lists of the device root and its fixed folders, recorded by the first
// root listing that contains them; null until then, never changed once set.
enum class FixedFolder {
  kDeviceRoot, kAudioTracks, kDataFiles, kSearch, kActiveQueue, kPlaylists, kArtists,
  kAlbums, kGenres, kContacts, kNotes, kCount
};
LPCITEMIDLIST GetFixedFolderList(FixedFolder which);
// Frees and forgets them (tests that check the recording, in a process that listed before).
void ForgetFixedFolderListsForTesting();

class CEnumIDList final : public platform::ComObject<platform::IEnumIDList> {
 public:
  // Builds the content of the folder whose list relative to the namespace root is
  // `relativeList` (null: the device root), for the SHCONTF flags; asks Device().
  CEnumIDList(CShellFolder* folder, LPCITEMIDLIST relativeList, platform::DWORD flags);

  // count > 1 needs `fetched`; S_FALSE when the list ended before `count` entries. A copy
  // the allocator cannot make is handed out as null and still counted.
  platform::HRESULT Next(platform::ULONG count, LPITEMIDLIST* out, platform::ULONG* fetched) override;
  platform::HRESULT Skip(platform::ULONG count) override;
  platform::HRESULT Reset() override;
  platform::HRESULT Clone(IEnumIDList** out) override;  // E_NOTIMPL

  // The node builder: one item of the type, id, position and name, with the numbers the
  // type asks the device for (`value` and `second` where the type takes them; `record`
  // a ready track record for a track). Appended to the list and returned; null when the
  // allocator cannot supply it. Device errors are thrown to the caller.
  ShellItemData* AddItem(std::uint32_t nodeType, const device::KernelId& id, int position, std::string_view name,
                         int value = 0, std::string_view second = {}, const device::TrackRecord* record = nullptr);

  std::size_t ItemCount() const { return items_.size(); }
  const ShellItemData& ItemAt(std::size_t i) const { return *reinterpret_cast<const ShellItemData*>(items_[i]); }

 private:
  friend class ContentBuilder;
  ~CEnumIDList() override;
  void BuildContents(LPCITEMIDLIST relativeList);
  void FillTrackFields(ShellItemData& item, const device::TrackRecord* record);

  LiveObject live_;
  PidlManager pidls_;
  std::vector<LPITEMIDLIST> items_;
  std::size_t current_ = 0;
  CShellFolder* folder_;  // used only while building
  platform::DWORD flags_;
  device::KernelDevice& device_;
};

}  // namespace shellext
