#include "platform/media/audible.h"

#include <dlfcn.h>

namespace platform {

AudibleInfoResult CallAudibleFileInfo(const std::string& runtimePath, const std::string& filePath,
                                      unsigned char* info) {
  if (runtimePath.empty()) return AudibleInfoResult::kNoRuntime;
  void* library = ::dlopen(runtimePath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) return AudibleInfoResult::kNoRuntime;
  using Entry = int (*)(const char*, unsigned char*);
  auto entry = reinterpret_cast<Entry>(::dlsym(library, kAudibleInfoEntry));
  AudibleInfoResult result = AudibleInfoResult::kNoEntry;
  if (entry) result = entry(filePath.c_str(), info) == 0 ? AudibleInfoResult::kFilled : AudibleInfoResult::kFailed;
  ::dlclose(library);
  return result;
}

}  // namespace platform
