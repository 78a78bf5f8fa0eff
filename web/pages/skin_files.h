// The files of the web skins. A skin is a sub-folder of the skins folder or a zipped
// archive in it (extension ProductIdentity::skinExtension, ".osk"); an archive's members
// are unpacked on demand into the work folder "skin" and served from there.
//
// Settings (product key): VX_Skin, the selected skin ("Default" when empty);
// VX_TestSkinsDir, a skins folder that replaces Gen_AppDataDir + "\skins" when it exists.
//
// No path handed in can leave the skin: names with "..", absolute paths, drives and
// control characters are refused, and so are skin names that are not a single entry
// of the skins folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace web {

// The skins folder with a trailing "\"; false (and the folder it would be) when it does
// not exist.
bool GetSkinsFolder(std::string& out);
// VX_Skin, or "Default" when the setting is missing or empty.
std::string GetSelectedSkin();

// The skins that the skins folder holds: its sub-folders and its skin archives, by the
// names the file system gives (archives with their extension), by name, case aside (names
// apart only by case in byte order): every picker shows them so, whatever order the
// folder keeps.
std::vector<std::string> ListSkins();
// Whether `name` is one of ListSkins (exact comparison).
bool IsInstalledSkin(std::string_view name);

// A request path or an include name as a path inside a skin: "/" taken as "\", empty,
// "." and ".." segments dropped. "/a/../b//c/" gives "a\b\c".
std::string SanitizeSkinPath(std::string_view path);

// True with the full path of the file `relativePath` (backslashes, inside the skin) in
// the selected skin; for an archive the member (found without regard to case) is first
// unpacked into the cache, once. A skin name that names nothing answers a path inside a
// folder that does not exist. False with the error text in `out`:
//   "Could not read installation directory from the registry."  (no skins folder)
//   "The requested file lies outside the skin."  (a refused path)
//   "The selected skin name is not valid."  (VX_Skin is not a plain name)
//   "Could not open zipped skin." / "Could not find file in zipped skin." /
//   "Could not open file in zipped skin." / "Could not cache file from zipped skin."
bool ResolveSkinFile(std::string_view relativePath, std::string& out);

// SanitizeSkinPath, then ResolveSkinFile: how pages and includes find their files.
bool ResolveSkinRequest(std::string_view path, std::string& out);

}  // namespace web
