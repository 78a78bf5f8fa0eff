// The device trayhub hosts: the player driver over the vendor SDK when the SDK is
// installed, else the in-memory player with a small demo catalogue. $TOVARIN_DEVICE
// chooses explicitly: "memory" (the test switch, documented in the README) or "driver".
// The driver finds its player in the folder "player" of the application data folder
// (Gen_AppDataDir); when the setting names a usable folder and "player" does not exist in
// it yet, a demo player is made there first.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "device/kernel_device.h"
#include "device/memory_device.h"

namespace manager {

using DeviceFactory = std::function<std::unique_ptr<device::KernelDevice>()>;

// The catalogue of the hosted in-memory player: twelve tracks by four artists on four
// albums, two playlists, a data folder with two files, a note, a contact, a radio preset
// and a storage card. Deterministic: two devices seeded alike hand out the same ids.
void SeedDemoCatalogue(device::MemoryDeviceBase& device);

// What $TOVARIN_DEVICE selects (unset or empty: the driver when the SDK is installed, else
// the in-memory player); null, with a message on stderr, for a kind this build cannot host.
// The driver's device is kind 5 on SDK device number 1; its driver lives until the process
// ends.
std::unique_ptr<device::KernelDevice> MakeHostedDevice();

// The application data folder that Gen_AppDataDir names (Windows form, without a final
// "\"), when it is an existing folder given by its full path. Otherwise false, and
// `problem` completes "The setting Gen_AppDataDir ...": "is missing or cannot be read",
// "cannot be read: it is not a text", "is empty", "names \"x\", which is not a full path",
// "..., which does not exist" or "..., which is not a folder".
bool FindAppDataFolder(std::string& folder, std::string& problem);

}  // namespace manager
