// Codec libraries loaded at run time (platform/kernel/shared_library.h): a computer without
// one still runs, and the codec it provides is reported missing instead of the program
// failing to start.
#pragma once

#include <string>

#include "platform/kernel/shared_library.h"

namespace platform {

// The system libraries the media stand-ins are built on.
enum class MediaLibrary {
  kMp3Lame,     // the MP3 encoder behind the BladeEnc-style interface
  kAvUtil,      // FFmpeg: the media runtime's reader and writer, PCM conversion
  kSwResample,
  kAvCodec,
  kAvFormat,
};

// Where a library is loaded from: its Debian library name, unless a test pointed it at
// another path (to play a computer that lacks it).
std::string MediaLibraryPath(MediaLibrary library);
// An empty path restores the library name.
void SetMediaLibraryPath(MediaLibrary library, std::string path);

}  // namespace platform
