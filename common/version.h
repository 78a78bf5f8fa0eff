// File version texts. Our programs and libraries carry a version block: the marker
// "TOVVERSIONBLOCK1" followed by four little-endian u16 words (major, minor, build,
// revision) in the section ".tovarin_version". GetFileVersionString finds it through the
// ELF section headers (other files are looked through for the marker, a piece at a time).
#pragma once

#include <string>

// "1.0.0" when the file is missing, unreadable or has no version block; else
// "%d.%d.%d.%d", or with `withLetter` "%d.%d.%d" plus the letter of the revision
// (1 gives "a", 2 "b"; nothing for 0).
std::string GetFileVersionString(const std::string& windowsPath, bool withLetter);

// The version of the module (program or shared library) that holds this code, with the
// letter, as GetFileVersionString gives it for the module's file; taken from the loaded
// module, so no file is read.
void GetModuleVersion(std::string& out);
