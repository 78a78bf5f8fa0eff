#include "platform/media/codec_library.h"

#include <dlfcn.h>

#include <map>
#include <memory>
#include <mutex>

namespace platform {

namespace {

std::mutex& Lock() {
  static std::mutex m;
  return m;
}

// Never destroyed: the libraries stay loaded to the end of the process.
std::map<std::string, std::unique_ptr<CodecLibrary>>& Loaded() {
  static auto* loaded = new std::map<std::string, std::unique_ptr<CodecLibrary>>();
  return *loaded;
}

std::map<MediaLibrary, std::string>& Overrides() {
  static auto* overrides = new std::map<MediaLibrary, std::string>();
  return *overrides;
}

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

const CodecLibrary* CodecLibrary::Load(const std::string& path) {
  if (path.empty()) return nullptr;
  std::lock_guard<std::mutex> lock(Lock());
  auto& loaded = Loaded();
  if (auto it = loaded.find(path); it != loaded.end()) return it->second.get();
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return nullptr;
  auto& slot = loaded[path];
  slot = std::make_unique<CodecLibrary>(handle);
  return slot.get();
}

void* CodecLibrary::Symbol(const char* name) const { return ::dlsym(handle_, name); }

std::string MediaLibraryPath(MediaLibrary library) {
  std::lock_guard<std::mutex> lock(Lock());
  if (auto it = Overrides().find(library); it != Overrides().end()) return it->second;
  return DefaultName(library);
}

void SetMediaLibraryPath(MediaLibrary library, std::string path) {
  std::lock_guard<std::mutex> lock(Lock());
  if (path.empty()) {
    Overrides().erase(library);
  } else {
    Overrides()[library] = std::move(path);
  }
}

}  // namespace platform
