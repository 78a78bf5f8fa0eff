// What the loop and qcontrol commands of the page-template language share: the context
// that runs them against the device, the ids that pages pass in their links, the track
// lists both walk, and the results of the last search (which a page lists with the
// SEARCHRESULTS loop and enqueues with qcontrol).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device/kernel_id.h"
#include "device/sortable.h"
#include "web/template/template.h"

namespace device {
class KernelDevice;
}  // namespace device

namespace web {

// The context the pages run against: the device their loops (template_loop.cpp) and
// queue commands (template_qcontrol.cpp) read and drive.
class DevicePageContext final : public TemplateContext {
 public:
  explicit DevicePageContext(device::KernelDevice& device) : device_(device) {}
  device::KernelDevice& device() const { return device_; }
  void RunLoop(ExpLoop& loop, TemplateOutput& output, PageVariables& variables) override;
  void RunQueueControl(ExpQueueControl& node, TemplateOutput& output, PageVariables& variables) override;

 private:
  device::KernelDevice& device_;
};

// An id as pages write it: the decimal 64-bit item id (words 0 and 1). Leading white
// space (platform::IsWhiteSpace) and a sign are allowed, reading stops at the first other character; no digits, or a number
// beyond 64 bits, give 0. A negative number stands for its two's complement.
device::KernelId ParseTemplateId(std::string_view text);
// The 64-bit item id of an id as text.
std::string FormatTemplateId(const device::KernelId& id);
// A whole number as pages write it (page numbers, sizes, levels): leading white space and
// a sign allowed (platform::ParseInt64), reading stops at the first other character, no digits give 0; a number
// beyond 64 bits gives the largest (or smallest) value.
long long ParseTemplateNumber(std::string_view text);

// Every track of the device (GetFirstAudioTrack / GetNextAudioTrack), in the default
// track order (SortByTrackInfo without a first column).
device::SortableKernelIdArray CollectAllTracks(device::KernelDevice& device);
// The tracks whose tags equal the texts (an empty text matches any), in the default track
// order. Three empty texts give no track.
device::SortableKernelIdArray CollectTracksByTags(device::KernelDevice& device, std::string_view artist, std::string_view album,
                                          std::string_view genre);
// The entries of a playlist, in playlist order.
std::vector<device::KernelId> CollectPlaylistItems(device::KernelDevice& device, const device::KernelId& playlist);

// The results of the last search of any page, in the order the engine gave them. The
// list lives as long as the process, starts empty and is never saved. Pages run one at a
// time (under the page lock); the list guards itself all the same.
std::vector<device::KernelId> GetSearchResults();
void ReplaceSearchResults(std::vector<device::KernelId> ids);

}  // namespace web
