// The commands that make or edit one item of a notes or contacts folder, or a track's
// tags: "New Note..." / "New Contact..." (3043) and the edit command of items (3044).
#pragma once

#include "shellext/shell_item.h"

namespace shellext {

// A note or a contact named by the person in the one selected notes or contacts folder;
// an existing name is refused with a message.
void CreateNoteOrContact(const CPidlList& selection);

}  // namespace shellext
