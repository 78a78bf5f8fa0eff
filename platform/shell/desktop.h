// What the desktop knows about file types and applications: the icon of a file type
// (from the shared MIME database; only the name is looked at, no file is touched) and
// the desktop's default application for a type.
#pragma once

#include <string>
#include <string_view>

namespace platform {

struct FileTypeIcon {
  std::string name;      // the type's own icon ("audio-mpeg")
  std::string fallback;  // its generic icon ("audio-x-generic")
};

// The icon of the type a file of this name has.
FileTypeIcon FileTypeIconOf(std::string_view fileName);

// What the desktop calls the type of a file of this name ("plain text document"); for a
// name it cannot place, the extension in capitals and " File" ("XYZ File"), or "File".
std::string FileTypeNameOf(std::string_view fileName);

// The display name of the desktop's default application for a MIME type, as xdg-mime
// names it and its desktop entry calls it; empty when there is none or it cannot be
// found.
std::string DefaultApplicationName(std::string_view mimeType);

}  // namespace platform
