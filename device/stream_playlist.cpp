#include "device/stream_playlist.h"

#include <unistd.h>

#include <cstdio>

#include "common/folders.h"
#include "common/identity.h"
#include "common/settings.h"
#include "device/device_client_error.h"
#include "device/kernel_device.h"
#include "device/sortable.h"
#include "device/track_names.h"
#include "platform/kernel/kernel.h"
#include "platform/paths/paths.h"
#include "platform/shell/shell.h"
#include "platform/window/message_box.h"

namespace device {

std::string WriteStreamPlaylist(KernelDevice& device, const SortableKernelIdArray& ids) {
  if (device.SupportsTagIndex() == 0) {
    ShowMessageBox("Skarnel mode is only supported by Jukebox-type devices.  Please choose another stream option.",
                   platform::MB_ICONINFORMATION);
    return {};
  }
  std::uint32_t disabled = 0;
  ReadSettingDword("VX_Disable", disabled);
  if (disabled != 0) {
    ShowMessageBox(g_ProductIdentity.webServerName +
                       " must be enabled for Skarnel Mode.\nPlease re-enable it and then try again.",
                   platform::MB_ICONINFORMATION);
    return {};
  }

  const std::string path = ResetWorkFolder("lumarest") + std::to_string(platform::GetTickCount()) + ".m3u";
  const std::string prefix = "http://127.0.0.1:" + std::to_string(GetStreamPort());
  std::string text = "#EXTM3U\r\n";
  bool lockedSeen = false;
  for (const KernelId& id : ids) {
    TrackRecord record;
    device.GetTrackInfo(id, record);
    if (record.playOnly != 0) {
      lockedSeen = true;
      continue;
    }
    std::string fileName;
    std::string streamName;
    GetTrackFileName(fileName, device, id);
    GetTrackStreamName(streamName, device, id);
    text += "#EXTINF:" + std::to_string(record.length) + "," + fileName + "\r\n";
    text += prefix + FormatStreamPath(id.GetItemId(), streamName) + "\r\n";
  }

  // Made anew in the private folder, never through a link.
  const int fd = platform::CreatePrivateFile(path);
  std::FILE* file = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
  if (file == nullptr && fd >= 0) ::close(fd);
  bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (file && std::fclose(file) != 0) written = false;
  if (lockedSeen) ShowMessageBox("Locked tracks cannot be streamed off of the player.", platform::MB_ICONINFORMATION);
  if (!written) {
    platform::RemoveFile(path);
    ShowMessageBox("Could not write the stream playlist " + platform::ShownPath(path) + ".", platform::MB_ICONERROR);
    return {};
  }
  platform::ShellOpen(platform::ToPosixPath(path), "");
  return path;
}

}  // namespace device
