// Codec libraries loaded at run time: a computer without one still runs, and the codec it
// provides is reported missing instead of the program failing to start.
//
// A library, once loaded, stays loaded for the life of the process (unloading and loading
// the media libraries again on every question is slow and not safe for all of them); a
// library that could not be loaded is tried again the next time it is asked for.
#pragma once

#include <string>

namespace platform {

class CodecLibrary {
 public:
  // The library at `path` (a file, or a library name the system's loader searches);
  // null when it cannot be loaded.
  static const CodecLibrary* Load(const std::string& path);

  // An exported symbol, or null.
  void* Symbol(const char* name) const;

  // Sets `fn` to the exported function `name`; false (and `fn` null) when it is missing.
  template <typename F>
  bool Resolve(const char* name, F*& fn) const {
    fn = reinterpret_cast<F*>(Symbol(name));
    return fn != nullptr;
  }

  explicit CodecLibrary(void* handle) : handle_(handle) {}

 private:
  void* handle_;
};

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
