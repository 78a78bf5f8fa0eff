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

// Paths as a person reads and types them are in the desktop's (POSIX) form; empty stays
// empty.
std::string ShownPath(std::string_view windowsPath);
// What a person typed in place of a shown path, in the system's form: `stored` when the
// text still shows it (kept to the byte), a POSIX path mapped in, anything else as typed.
std::string PathFromShown(std::string_view text, std::string_view stored);

struct FileInfo {
  bool exists = false;
  bool directory = false;
  bool symlink = false;   // the entry itself is a symbolic link (never followed by QueryEntry)
  bool regular = false;   // a plain file (not a folder, FIFO, socket, device or link)
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

// Files a person, a folder or a playlist names may be anything: a FIFO whose open()
// blocks forever, a device that never ends, a link to either. These open such a file
// without blocking and take it only when it is a regular file.
enum class OpenFileError {
  kNone,
  kMissing,      // no such file (or a dangling link)
  kNotRegular,   // a folder, FIFO, socket or device
  kTooLarge,     // larger than the reader's bound
  kUnreadable,   // no permission, a link loop, an I/O error
  kNotPrivate,   // a link, another user's file, or one that others may read or write
};
// A short text for logs and messages: "not a regular file", "larger than 64 MB" ...
std::string OpenFileErrorText(OpenFileError error, std::uint64_t maxBytes = 0);

// Opens a POSIX path read-only (O_NONBLOCK, then fstat; the descriptor is put back to
// blocking mode). `flags` are added to the open (O_NOFOLLOW, say). Answers the
// descriptor, or -1 with the reason in `error`. `size` receives the file's size.
int OpenRegularFile(const std::string& posixPath, OpenFileError& error,
                    std::uint64_t* size = nullptr, int flags = 0);

struct ReadFileResult {
  OpenFileError error = OpenFileError::kNone;
  std::string bytes;
  bool ok() const { return error == OpenFileError::kNone; }
};
// The whole content of a regular file of at most `maxBytes` bytes, read from a
// Windows-form path. A file that grows past the bound while it is read is kTooLarge too.
ReadFileResult ReadRegularFile(std::string_view windowsPath, std::uint64_t maxBytes);

// Private folders and the files in them. Work folders hold logs, list files and copies
// that another user must neither read nor plant (a link, a list of their choosing): each
// is a real folder, not a link, owned by this user, mode 0700.

// Creates the folder (mode 0700) when missing and accepts it only when it is a real folder
// owned by this user, tightening its mode to 0700, that no other user can rename or swap:
// every folder above it (links resolved, and every link on the way) is this user's or
// root's, and sticky when everyone may write to it, as /tmp is. False otherwise, with a
// sentence that names the folder in `problem`.
bool MakePrivateFolder(const std::string& posixPath, std::string* problem = nullptr);

// A new file, open for writing, in a private folder of this user: whatever has the name
// (an old file, a link) is removed first, and the file is created exclusively, never
// through a link, mode 0600. -1 with a sentence in `problem` when the folder is not
// private or the file cannot be made.
int CreatePrivateFile(std::string_view windowsPath, std::string* problem = nullptr);

// The whole content of a file this user's programs made with CreatePrivateFile: a
// regular file, not a link, with one name, owned by this user, that nobody else may read
// or write, in a private folder of this user; kNotPrivate for anything else (kNotRegular
// for a FIFO, a device ...).
ReadFileResult ReadPrivateFile(std::string_view windowsPath, std::uint64_t maxBytes);

// How the file ReplaceFile writes may be read: by everyone (0644), by its owner alone
// (0600), or as the old file could (0644 when there was none).
enum class NewFileMode { kShared, kPrivate, kAsBefore };

// Makes `bytes` the whole content of the file at `posixPath` through a temporary file
// beside it: written, synced, renamed over the old one, then the folder synced. A failure
// at any step (a full disk, a folder that cannot be written) leaves the old file whole and
// no temporary file behind: false then, with a sentence in `problem`.
bool ReplaceFile(const std::string& posixPath, std::string_view bytes, NewFileMode mode,
                 std::string* problem = nullptr);

// The user's temporary folder ($TMPDIR, else the private folder /tmp/tovarin-<uid>) in
// Windows form, with a trailing "\".
std::string GetTempPath();

}  // namespace platform
