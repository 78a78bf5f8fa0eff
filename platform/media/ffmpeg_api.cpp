#include "platform/media/ffmpeg_api.h"

#include <map>
#include <mutex>
#include <string>

#include "platform/media/codec_library.h"

namespace platform {

namespace {

// Each resolves every function of one library's list into `api`; false when any is missing.

bool ResolveUtil(FfmpegApi& api) {
  const SharedLibrary* loaded = SharedLibrary::Load(MediaLibraryPath(MediaLibrary::kAvUtil));
  if (!loaded) return false;
  const SharedLibrary& library = *loaded;
  bool ok = true;
  TOVARIN_AVUTIL_FUNCTIONS(TOVARIN_LIBRARY_RESOLVE)
  return ok;
}

bool ResolveResample(FfmpegApi& api) {
  const SharedLibrary* loaded = SharedLibrary::Load(MediaLibraryPath(MediaLibrary::kSwResample));
  if (!loaded) return false;
  const SharedLibrary& library = *loaded;
  bool ok = true;
  TOVARIN_SWRESAMPLE_FUNCTIONS(TOVARIN_LIBRARY_RESOLVE)
  return ok;
}

bool ResolveCodec(FfmpegApi& api) {
  const SharedLibrary* loaded = SharedLibrary::Load(MediaLibraryPath(MediaLibrary::kAvCodec));
  if (!loaded) return false;
  const SharedLibrary& library = *loaded;
  bool ok = true;
  TOVARIN_AVCODEC_FUNCTIONS(TOVARIN_LIBRARY_RESOLVE)
  return ok;
}

bool ResolveFormat(FfmpegApi& api) {
  const SharedLibrary* loaded = SharedLibrary::Load(MediaLibraryPath(MediaLibrary::kAvFormat));
  if (!loaded) return false;
  const SharedLibrary& library = *loaded;
  bool ok = true;
  TOVARIN_AVFORMAT_FUNCTIONS(TOVARIN_LIBRARY_RESOLVE)
  return ok;
}

std::mutex& Lock() {
  static std::mutex m;
  return m;
}

// One table per set of library paths in force: a test that points a library elsewhere gets
// an answer for that path, and every table handed out stays valid (kept for the process's
// life, like the libraries).
template <typename Build>
const FfmpegApi* Cached(std::map<std::string, FfmpegApi>& tables, const std::string& key, Build build) {
  std::lock_guard<std::mutex> lock(Lock());
  if (auto it = tables.find(key); it != tables.end()) return &it->second;
  FfmpegApi api;
  if (!build(api)) return nullptr;
  api.av_log_set_level(AV_LOG_QUIET);
  return &tables.emplace(key, api).first->second;
}

}  // namespace

const FfmpegApi* LoadFfmpeg() {
  static auto* tables = new std::map<std::string, FfmpegApi>();
  const std::string key = MediaLibraryPath(MediaLibrary::kAvUtil) + "|" +
                             MediaLibraryPath(MediaLibrary::kSwResample) + "|" +
                             MediaLibraryPath(MediaLibrary::kAvCodec) + "|" +
                             MediaLibraryPath(MediaLibrary::kAvFormat);
  return Cached(*tables, key, [](FfmpegApi& api) {
    return ResolveUtil(api) && ResolveResample(api) && ResolveCodec(api) && ResolveFormat(api);
  });
}

const FfmpegApi* LoadResampler() {
  static auto* tables = new std::map<std::string, FfmpegApi>();
  const std::string key =
      MediaLibraryPath(MediaLibrary::kAvUtil) + "|" + MediaLibraryPath(MediaLibrary::kSwResample);
  return Cached(*tables, key, [](FfmpegApi& api) { return ResolveUtil(api) && ResolveResample(api); });
}

}  // namespace platform
