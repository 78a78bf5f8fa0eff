// The device trayhub hosts. Until the player driver is part of the build, the manager
// hosts the in-memory player with a small demo catalogue; $TOVARIN_DEVICE=memory asks for
// it explicitly (the test switch, documented in the README).
#pragma once

#include <functional>
#include <memory>

#include "device/kernel_device.h"
#include "device/memory_device.h"

using DeviceFactory = std::function<std::unique_ptr<KernelDevice>()>;

// The catalogue of the hosted in-memory player: twelve tracks by four artists on four
// albums, two playlists, a data folder with two files, a note, a contact, a radio preset
// and a storage card. Deterministic: two devices seeded alike hand out the same ids.
void SeedDemoCatalogue(MemoryDeviceBase& device);

// What $TOVARIN_DEVICE selects (unset, empty or "memory": the in-memory player with the
// demo catalogue); null, with a message on stderr, for a kind this build cannot host.
std::unique_ptr<KernelDevice> MakeHostedDevice();
