// Codec codes of audio files and their file-name extensions.
#pragma once

#include <string>
#include <string_view>

namespace device {

enum CodecCode : int {
  kCodecWav = 1,
  kCodecMp3 = 2,
  kCodecWma = 3,
  kCodecNvf = 4,
  kCodecM4a = 5,
  kCodecAa = 6,
  kCodecM4p = 7,
  kCodecM4b = 8,
  kCodecMp4 = 9,
  kCodecOgg = 10,
  kCodecFlac = 11,
};

// Lower-case extension without the dot ("mp3"); empty for an unknown code.
std::string GetCodecExtension(int code);

// Codec code of an extension given with or without its leading dot, compared without
// regard to case; 0 when unknown or shorter than 3 characters (dot included). "mp4"
// gives 5: code 9 is never derived from a name.
int GetCodecFromExtension(std::string_view extension);

// Codec code of the extension of the path's last component (Windows or POSIX form).
int GetCodecFromPath(std::string_view path);

}  // namespace device
