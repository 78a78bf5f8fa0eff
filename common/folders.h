// Work folders, folder creation and deletion, and path clean-up, on Windows-form paths.
// The library and the manager call these under their own names; where the two name one
// routine apart, both names are offered.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The per-product work folder (+ sub-folder), always ending in "\" and created:
// `Gen_TempPath` when set and not an existing plain file, else the system temporary
// folder + "$" + productName + "$\". The work folder and each folder below it are
// private (platform::MakePrivateFolder): one that is not (another user's, a link) is
// refused, said once on the diagnostics stream, and files cannot be made in it
// (platform::CreatePrivateFile refuses).
std::string& GetWorkFolder(std::string& out, std::string_view subFolder);
// The same, answering whether every folder was private; `refusal` says which was not.
bool GetPrivateWorkFolder(std::string& out, std::string_view subFolder, std::string* refusal = nullptr);
// The work folder when `Gen_TempPath` names none: the system temporary folder + "$" +
// productName + "$\" (not created).
std::string DefaultWorkFolder();

// GetWorkFolder, then the folder deleted with its content and created again; a refused
// folder is left as it is.
std::string& EmptyWorkFolder(std::string& out, std::string_view subFolder);
std::string ResetWorkFolder(std::string_view subFolder);  // the manager's name

// Creates every missing folder of the path, parents first; errors are ignored.
void CreateDirectoryPath(std::string_view path);

// Deletes everything below the folder, then the folder; answers whether the folder
// itself was removed. Symbolic links are removed as links, never followed.
bool DeleteFolderTree(std::string_view path);

// "/" -> "\", the characters ? < > * | " removed, runs of backslashes collapsed (a
// leading "\\" of a network path kept), and every ":" after the drive removed.
std::string& NormalisePath(std::string& out, std::string_view path);
inline std::string& CleanPathName(std::string& out, std::string_view path) { return NormalisePath(out, path); }

// The text without any "/" or "\".
std::string& StripSlashes(std::string& out, std::string_view text);
inline std::string& StripPathSlashes(std::string& out, std::string_view text) { return StripSlashes(out, text); }

// The path without one trailing backslash; an empty path gives an empty path.
std::string& StripTrailingBackslash(std::string& out, std::string_view path);

// A name that came from outside (the player, a playlist) as one safe file-name part:
// "/", "\\", ":", control characters and ? < > * | " become "_", and so do leading dots (no
// "." or "..", no hidden file); an empty name is "_". At most `maxBytes` bytes, cut on a
// character boundary before the extension, which stays.
std::string SafeFileNamePart(std::string_view name, std::size_t maxBytes = 255);

// The whole content of a file; nullopt when it cannot be read.
std::optional<std::string> ReadFileBytes(std::string_view path);
// Makes `bytes` the file's whole content (mode 0644) as platform::ReplaceFile does: a
// write that fails leaves the old file as it was; false then.
bool ReplaceFileBytes(std::string_view path, std::string_view bytes);
