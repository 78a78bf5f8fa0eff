// Contact synchronisation: the player's contacts replaced by those of the person's
// contacts folder (a folder of vCard files; the default one, or one the person picks),
// under a progress pop-up, with every step in the synchronisation log.
//
// Nothing on the player changes until the folder has been read whole: a folder that
// cannot be read changes nothing, and an empty one asks first. The player's own contacts
// are kept (names and records) before they are deleted; when creating the new ones fails
// part way, the new ones are deleted and the old ones created again, so the player ends
// with the old contacts or the new ones. Should the player go away before that is done,
// the contacts that could not be put back are written into the log in full.
#pragma once

#include <string>

#include "device/kernel_device.h"
#include "device/records.h"
#include "platform/contacts/vcard_folder.h"

namespace tools {

// 0: the default contacts folder; non-zero: a folder the person picks. `device` is the
// library's device (the tools lie below the library's core).
void SyncOutlookContacts(device::KernelDevice& device, int pickFolder);

// A card's fields in a player's contact record (each cut to the field's size).
void FillContactRecord(const platform::VCardContact& card, device::ContactRecord& record);

}  // namespace tools
