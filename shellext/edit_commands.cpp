#include "shellext/edit_commands.h"

#include "common/shell_utilities.h"
#include "platform/text/text.h"
#include "platform/ui/desktop.h"
#include "platform/ui/host.h"
#include "shellext/folder_commands.h"
#include "shellext/library.h"
#include "shellext/playlist_commands.h"

using namespace device;

namespace shellext {

namespace {

}  // namespace

void CreateNoteOrContact(const CPidlList& selection) {
  if (selection.size() != 1) {
    ShowInformation("Please select one item at a time.");
    return;
  }
  const CPidlLast& folder = selection.front();
  const bool notes = folder->nodeType == NT_NOTEFOLDER;
  if (!notes && folder->nodeType != NT_CONTACTFOLDER) {
    ShowInformation("Cannot create new items in this folder.");
    return;
  }
  std::string name;
  if (!AskForName(name, notes ? "Note Name" : "Contact Name")) return;  // asked again while blank; Cancel ends
  name = platform::Trim(name);
  try {
    platform::WaitCursor wait;
    KernelDevice& device = Device();
    KernelId made;
    int status = 0;
    if (notes) {
      status = device.CreateNote(name, folder.GetId(), made);
    } else {
      ContactRecord record;
      record.Clear();
      record.field[0].Set(name);  // cut to the field; the whole name goes to the player
      status = device.CreateContact(name, record, folder.GetId(), made);
    }
    if (NameTaken(status)) {
      ShowInformation("An item named " + name + " already exists.");
      return;
    }
    device.CommitChanges();
    RefreshFolderViews();
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not create new item.", e);
  }
}

}  // namespace shellext
