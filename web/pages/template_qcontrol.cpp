// The qcontrol command of the page-template language: it puts tracks into the player's
// active queue and drives playback and volume. It writes nothing to the page; its result
// text goes to the variable "qresult" (HTML-escaped where it quotes a request or the
// player). A device error ends the page before "qresult" is set. A command that plays
// (play, next, prev, skipto) but leaves no entry of the queue playing says so ("Nothing
// to play: ...") instead of announcing success.
#include <algorithm>
#include <cstdio>

#include "common/escape.h"
#include "device/kernel_device.h"
#include "device/track_names.h"
#include "platform/text/text.h"
#include "web/template/template.h"
#include "web/pages/template_loop.h"

namespace web {

using namespace device;

namespace {

// Appends the tracks of an enqueue source; false for a source it does not know.
bool EnqueueSource(KernelDevice& device, const std::string& source, const std::string& arg2, const std::string& arg3,
                   int& count) {
  auto append = [&](const std::vector<KernelId>& tracks, bool skipLocked) {
    for (const KernelId& track : tracks) {
      if (skipLocked && device.IsTrackLocked(track) != 0) continue;
      device.EnqueueTrack(track);
      ++count;
    }
  };
  if (source == "AUDIOSINGLE") {
    // Only a track of the player: the queue would otherwise hold an entry that names nothing.
    const KernelId track = ParseTemplateId(arg2);
    if (device.TrackExists(track) != 0) append({track}, false);
  } else if (source == "AUDIOALL") {
    append(CollectAllTracks(device), true);
  } else if (source == "SEARCHRESULTS") {
    SortableKernelIdArray results(&device);
    const std::vector<KernelId> list = GetSearchResults();
    results.assign(list.begin(), list.end());
    results.SortByTrackInfo(-1);
    append(results, false);
  } else if (source == "AUDIOBYARTIST") {
    append(CollectTracksByTags(device, arg2, "", ""), false);
  } else if (source == "AUDIOBYALBUM") {
    append(CollectTracksByTags(device, arg3, arg2, ""), false);
  } else if (source == "AUDIOBYGENRE") {
    append(CollectTracksByTags(device, "", "", arg2), false);
  } else if (source == "PLAYLIST") {
    append(CollectPlaylistItems(device, ParseTemplateId(arg2)), false);
  } else {
    return false;
  }
  return true;
}

std::string Enqueue(KernelDevice& device, const std::string& source, const std::string& arg2,
                    const std::string& arg3) {
  int count = 0;
  if (!EnqueueSource(device, source, arg2, arg3, count)) {
    return "Unknown enqueue loop type: '" + HtmlEscape(source) + "'.";
  }
  return std::to_string(count) + " track(s) enqueued.";
}

// What a command that plays did: `played` when an entry of the queue plays now, else
// why nothing does (the player answers such a command without an error).
std::string PlayResult(KernelDevice& device, std::string played) {
  KernelId first;
  const int count = device.GetFirstQueueEntry(first);
  const int position = device.GetQueuePosition();
  if (count <= 0) return "Nothing to play: the queue is empty.";
  if (position >= count) return "Nothing to play: the end of the queue was reached.";
  if (position < 0) return "Nothing to play: the start of the queue was reached.";
  return played;
}

}  // namespace

void DevicePageContext::RunQueueControl(ExpQueueControl& node, TemplateOutput&, PageVariables& variables) {
  KernelDevice& device = device_;
  const std::string command = platform::Trim(platform::ToLowerAscii(node.arg(0)));
  std::string result;
  if (command == "enqueue") {
    result = Enqueue(device, node.arg(1), node.arg(2), node.arg(3));
  } else if (command == "play") {
    device.PlayQueueCurrent();
    result = PlayResult(device, "Playback started.");
  } else if (command == "pause") {
    device.SetPaused(device.IsPaused() == 0 ? 1 : 0);
    result = device.IsPaused() != 0 ? "Playback paused." : "Playback unpaused.";
  } else if (command == "prev") {
    device.PlayPreviousInQueue();
    result = PlayResult(device, "Skipped to previous track.");
  } else if (command == "next") {
    device.PlayNextInQueue();
    result = PlayResult(device, "Skipped to next track.");
  } else if (command == "stop") {
    device.StopPlayback();
    result = "Playback stopped.";
  } else if (command == "skipto") {
    const KernelId track = ParseTemplateId(node.arg(1));
    device.SetQueuePositionToTrack(track);
    device.PlayQueueCurrent();
    std::string name;
    GetTrackDisplayName(name, device, track);
    result = PlayResult(device, "Skipped to: " + HtmlEscape(name) + ".");
  } else if (command == "shuffle") {
    device.ShuffleQueue();
    result = "Active Queue shuffled.";
  } else if (command == "clear") {
    device.ClearQueue();
    result = "Active Queue cleared.";
  } else if (command == "volume") {
    const int level = static_cast<int>(std::clamp(ParseTemplateNumber(node.arg(1)), 0LL, 100LL));
    device.SetVolume(level);
    result = "Volume set to " + std::to_string(level) + "%.";
  } else if (!command.empty()) {
    result = "Unknown queue control command: '" + HtmlEscape(command) + "'.";
  }
  variables["qresult"] = result;
}

}  // namespace web
