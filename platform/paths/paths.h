// Windows-form paths inside, POSIX paths at the file-system boundary.
//
// The system's code keeps paths as the desktop writes them ("C:\dir\file.mp3",
// "\\server\share\x", "\dir\x") because names, list files and logs depend on them.
// Only the routines here touch the file system, and they map:
//   "\" -> "/"; a path beginning with "\" is rooted at "/"; a drive "X:" maps to the
//   root configured for it in $TOVARIN_DRIVES ("C=/home/u/c;D=/mnt/d"), default "/";
//   "\\server\share\x" -> "/server/share/x".
// A POSIX path from outside ("/home/u/a.mp3") enters as "\home\u\a.mp3", or as
// "C:\a.mp3" when it lies under the root configured for drive C.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

std::string ToPosixPath(std::string_view windowsPath);
std::string FromPosixPath(std::string_view posixPath);

struct FileInfo {
  bool exists = false;
  bool directory = false;
  bool symlink = false;   // the entry itself is a symbolic link (never followed by QueryEntry)
  bool readOnly = false;  // no write permission for the owner
  std::uint64_t size = 0;
};

// Follows symbolic links.
FileInfo QueryFile(std::string_view windowsPath);
// Describes the entry itself; a symbolic link is reported as such.
FileInfo QueryEntry(std::string_view windowsPath);

struct DirectoryEntry {
  std::string name;
  bool directory = false;  // a real directory, not a link to one
  bool symlink = false;
};
// Entries of a folder except "." and ".."; empty when it cannot be read.
std::vector<DirectoryEntry> ListDirectory(std::string_view windowsPath);

bool MakeDirectory(std::string_view windowsPath);    // one level; false when it failed or existed
bool RemoveDirectory(std::string_view windowsPath);  // an empty folder
bool RemoveFile(std::string_view windowsPath);       // a file or a symbolic link
bool ClearReadOnly(std::string_view windowsPath);    // adds owner write permission

// The user's temporary folder ($TMPDIR, else /tmp/tovarin-<uid>) in Windows form, with a
// trailing "\".
std::string GetTempPath();

}  // namespace platform
