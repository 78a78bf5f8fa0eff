#include "platform/media/codec_library.h"

#include <utility>

namespace platform {

namespace {

const char* DefaultName(MediaLibrary library) {
  switch (library) {
    case MediaLibrary::kMp3Lame: return "libmp3lame.so.0";
    case MediaLibrary::kAvUtil: return "libavutil.so.57";
    case MediaLibrary::kSwResample: return "libswresample.so.4";
    case MediaLibrary::kAvCodec: return "libavcodec.so.59";
    case MediaLibrary::kAvFormat: return "libavformat.so.59";
  }
  return "";
}

}  // namespace

std::string MediaLibraryPath(MediaLibrary library) { return SharedLibrary::Redirected(DefaultName(library)); }

void SetMediaLibraryPath(MediaLibrary library, std::string path) {
  SharedLibrary::Redirect(DefaultName(library), std::move(path));
}

}  // namespace platform
