// Sending files to the player from the host: the library never transfers files itself.
// It writes the list of source paths into a list file in its work folder "tx2device"
// (emptied first, so at most one list lies there) and starts the launcher of the target's
// player family with the list file's path as its only argument; the launcher's entry
// (DoTovarin) reads the list, deletes it and runs the transfer in its own process.
//
// List files are text with CR LF line ends: "_txman.dat" and "_txsync.dat" hold one
// source path a line; "_txdat.dat" begins with the target data folder's id word ("%u")
// and then the paths.
// The launcher is the installation folder (the default value of the product's settings
// key) + "\tovarin" + the device's model code for the target.
#pragma once

#include <string>
#include <vector>

#include "device/kernel_id.h"
#include "platform/shell/item_id_list.h"

namespace shellext {

// A drop on a storage folder or the device (target: the storage medium, or all zero when
// the player lists no storage media), and the paste command.
void SendFilesToPlayer(const device::KernelId& target, const std::vector<std::string>& paths);
// Brevlink's files, sent to the player as a synchronisation ("_txsync.dat", read like
// "_txman.dat").
void SyncFilesToPlayer(const std::vector<std::string>& paths);
// A drop on a data folder.
void SendDataFilesToFolder(const device::KernelId& folder, const std::vector<std::string>& paths);
// "Paste Tracks" (command 3065) and the view's Paste: the files the clipboard holds, sent
// into the folder the command was given in (the folder's item-id list).
void PasteFilesToPlayer(platform::LPCITEMIDLIST folder);

// Files a host hands to one of the library's folders: a data folder takes them as data
// files, any other folder as a paste does.
void SendFilesIntoFolder(platform::LPCITEMIDLIST folder, const std::vector<std::string>& paths);

// The launcher for a model code: installation folder + "\tovarin" + code.
std::string LauncherPathFor(const std::string& installFolder, const std::string& modelCode);

}  // namespace shellext
