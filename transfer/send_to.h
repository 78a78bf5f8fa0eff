// The transfer entry behind the exported DoTovarin: the launcher (started by a file
// manager's "send to", or by the library with a list file) hands over the names and its
// own path; the entry lets one transfer run at a time, connects the device proxy to the
// player that the launcher's file name selects, reads the library's list files or expands
// the names, shows the transfer window and runs the engine in the calling thread.
//
// One transfer at a time: a cross-process lock named by the identity's transfer word,
// freed by the system when its holder dies. The launcher row is chosen by the
// launcher's own file name, never by text elsewhere in its arguments. A name is read as a
// list file (and deleted) only when it is the library's own list file in its work folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/identity.h"
#include "device/kernel_device_client.h"
#include "transfer/transfer_dialog.h"

namespace transfer {

// The name of the cross-process lock that lets one transfer run at a time.
std::string TransferLockName();

// The row whose launcher name is the file name of `launcherPath` (folder and case
// ignored); null when none.
const LauncherRow* FindLauncherRow(std::string_view launcherPath);

// The quoted form of the names: split at every double quote; pieces blank after trimming
// are dropped, the others kept unchanged. A name holding a double quote cannot be given
// this way (the list form can).
std::vector<std::string> SplitQuotedNames(std::string_view files);

// A name as the launcher got it in the system's form: a POSIX path (made absolute
// against the process's folder when it is relative) in Windows form; a name in the
// system's form already (a drive or a leading backslash) as it is. Empty for a POSIX name
// holding a backslash, which no Windows-form path can name.
std::string SystemFormOfName(const std::string& name);

// The list files of the library's work folders, by kind. A synchronisation's list
// (Brevlink) is sent like a transfer's, as a synchronisation: data files are skipped and
// no playlists are made of its folders.
enum class ListFileKind { kNone, kTransfer, kStaging, kDataFolder, kSync };
// What `name` (Windows form) is: "_txman.dat", "_txdat.dat" or "_txsync.dat" in the work
// folder "tx2device", "_stq.dat" in "stageq"; kNone for any other file, whatever it is called.
ListFileKind ListFileKindOf(const std::string& name);

// The whole entry. `names` as the launcher got them (POSIX paths from outside, or the
// system's Windows form); `device` is the process's device proxy, which the entry
// connects as the launcher row says (any other device is used as it is).
void DoTovarin(const std::vector<std::string>& names, std::string_view launcherPath, device::KernelDevice& device,
               TransferShell* shell);

}  // namespace transfer
