// The fill dialog of a memory-based player: it plans what goes on the player's memory
// segments. The person collects audio files on the computer (a random pick from a
// folder, the tracks of an M3U playlist, files and folders dropped on the dialog, in that
// order of arrival), reorders them, and the dialog fits them over the ticked segments in
// list order with a cursor that never moves back, dropping the first file that fits
// nowhere and everything after it. The plan can be saved as an M3U playlist or sent to
// the player, each file to its segment.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/kernel_device.h"
#include "device/sortable.h"
#include "platform/ui/image_list.h"
#include "platform/ui/ui_window.h"

namespace tools {

// A segment's usable size: its total less 3.5 %, the 3.5 % truncated towards zero.
std::int64_t UsableSegmentKB(std::int64_t totalKB);

// The fit: files of these sizes (KB) in order over segments of these capacities (KB),
// only the ticked ones taking files. The cursor starts at the first segment and only
// moves on; the walk stops at the first file that fits in no segment at or after it.
struct FitResult {
  std::size_t kept = 0;                 // the files before the one that stopped the walk
  std::vector<int> fileSegment;         // per kept file, its segment
  std::vector<std::int64_t> remainingKB;  // per segment; 0 for an unticked one
};
FitResult FitFiles(const std::vector<std::int64_t>& fileKB, const std::vector<std::int64_t>& capacityKB,
                   const std::vector<bool>& ticked);

// Writes an M3U playlist: "#EXTM3U", then one path a line (CR LF), each in the form the
// desktop's players read (POSIX). The old file is replaced only by a whole new one; false
// when it cannot be written.
bool WriteFillPlaylist(const std::string& path, const std::vector<std::string>& files);

// The roads the dialog takes to the rest of the system.
struct FerrowinRoutes {
  // Names the person chose (a folder, a playlist file, dropped files and folders) to the
  // files they hold, as a transfer expands them: sorted or in their order, audio files
  // only or not.
  std::function<std::vector<std::string>(const std::vector<std::string>& names, bool sorted, bool audioOnly)> expand;
  // Sends the planned files to the player, each to the segment of its index, in a window
  // that `owner` (the dialog) owns.
  std::function<void(platform::HWND owner, const std::vector<std::string>& files, const std::vector<int>& fileSegment,
                     const std::vector<device::KernelId>& segments)>
      transfer;
};

class FerrowinDialog : public platform::Dialog {
 public:
  static constexpr int kTemplateId = 572;
  static constexpr int kTrackListId = 1073;
  static constexpr int kSegmentListId = 1074;
  static constexpr int kClearId = 1075;
  static constexpr int kPickTracksId = 1076;
  static constexpr int kRandomFolderId = 1077;
  static constexpr int kRandomPathId = 1078;
  static constexpr int kSortId = 1079;
  static constexpr int kShuffleId = 1080;
  static constexpr int kTotalsId = 1081;
  static constexpr int kTransferId = 1082;
  static constexpr int kSaveId = 1083;
  static constexpr int kLoadPlaylistId = 1084;
  static constexpr int kPlaylistFolderId = 1085;
  static constexpr int kPlaylistPathId = 1086;
  static constexpr int kHelpId = 1087;
  // At most this many files are picked per press of Pick Tracks.
  static constexpr int kPicksPerPress = 100;

  // The device whose storage media are the segments; the library's small image list (its
  // storage pictures name the segments); the roads to the expansion and the transfer.
  FerrowinDialog(device::KernelDevice& device, const platform::ImageList* smallImages, FerrowinRoutes routes,
                 platform::HWND parent = 0);

  // The plan: the files in transfer order, each one's segment after a fit, the segments.
  const device::CSortableStringArray& Files() const { return files_; }
  const std::vector<int>& FileSegments() const { return fileSegment_; }
  const std::vector<device::KernelId>& Segments() const { return segments_; }
  const std::vector<std::int64_t>& SegmentCapacityKB() const { return segmentCapacityKB_; }

  bool OnInitDialog() override;

 protected:
  bool OnCommand(int id, int code) override;
  void OnNotify(platform::Notification& n) override;
  void OnDropFiles(const std::vector<std::string>& paths, platform::Point at) override;

 private:
  int Fit();
  void Refresh(bool report);
  void AppendExpanded(const std::vector<std::string>& names, bool sorted, bool audioOnly);
  void PickTracks();
  void LoadPlaylist();
  void SetFolder(bool random);
  void SavePlaylist();
  void TransferToDevice();
  void OnHelp();
  void DeleteSelectedTracks();
  void OnBeginDrag();
  void OnReorderDrop(int source, int target);
  void Inform(const std::string& text);

  device::KernelDevice& device_;
  const platform::ImageList* images_;
  FerrowinRoutes routes_;
  std::vector<device::KernelId> segments_;
  std::vector<std::int64_t> segmentCapacityKB_;
  device::CSortableStringArray files_;
  std::vector<int> fileSegment_;
  std::vector<std::int64_t> fileKB_;  // per file, its size at the last fit
  bool initialised_ = false;
};

const platform::DialogTemplate& FerrowinTemplate();

}  // namespace tools
