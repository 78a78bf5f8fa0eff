#include "shellext/tag_commands.h"

#include <optional>
#include <vector>

#include "common/identity.h"
#include "common/shell_utilities.h"
#include "device/device_client_error.h"
#include "platform/ui/desktop.h"
#include "platform/ui/host.h"
#include "platform/window/wait.h"
#include "shellext/icons.h"
#include "shellext/library.h"
#include "tools/name_dlg.h"
#include "shellext/search_commands.h"
#include "tools/artist_info_dlg.h"
#include "tools/auto_fill_track_num_dialog.h"
#include "tools/tag_edit_dlg.h"
#include "transfer/log_file.h"

using namespace device;

namespace shellext {

using tools::TagEditDlg;

namespace {

// A player tells whether it keeps comments only by taking one: the track's own comment is
// given back to it unchanged, and a player without them refuses.
bool PlayerKeepsComments(KernelDevice& device, const KernelId& track, const TrackRecord& record) {
  return device.SetTrackComment(track, record.comment.GetText()) == 0;
}

}  // namespace

int TagEditLayout(KernelDevice& device) {
  const int variant = g_ProductIdentity.variantCode;
  if (variant == 4) return TagEditDlg::kFullTemplateId;
  if (variant == 7 || variant == 8) return TagEditDlg::kExtendedTemplateId;
  if (device.GetModelCode(KernelId()) == "m2") return TagEditDlg::kExtendedTemplateId;
  return TagEditDlg::kBasicTemplateId;
}

void EditTrackTags(const CPidlList& selection) {
  if (selection.empty()) return;
  KernelDevice& device = Device();
  std::vector<TrackRecord> records(selection.size());
  int layout = TagEditDlg::kBasicTemplateId;
  bool keepsComments = true;
  try {
    // Asked for their side effect on the device's catalogue; the answers are not used.
    FixedString256 name;
    device.GetFirstArtist(name);
    device.GetFirstAlbum(name, "");
    device.GetFirstGenre(name);
    for (std::size_t i = 0; i < selection.size(); ++i) device.GetTrackInfo(selection[i].GetId(), records[i]);
    layout = TagEditLayout(device);
    keepsComments = PlayerKeepsComments(device, selection.front().GetId(), records.front());
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not read tag.", e);
    return;
  }
  std::vector<const TrackRecord*> read;
  for (const TrackRecord& r : records) read.push_back(&r);
  const auto flags = TagEditDlg::AgreementOf(read);
  TagEditDlg dlg(layout, flags.data(), GetOwnerWindow());
  dlg.offerComment = keepsComments;  // a comment typed for a player without them would be lost
  dlg.PresetFrom(records.front());
  if (dlg.DoModal() != platform::IDOK) return;

  // One track takes the dialog's play count; several keep their own unless it was reset.
  const bool setCount = selection.size() == 1 || dlg.playCountReset;
  std::optional<std::exception_ptr> failure;
  {
    platform::WaitCursor wait;
    CDeleteDialog progress;
    progress.Start("Updating tag information", static_cast<int>(selection.size()));
    try {
      for (const CPidlLast& item : selection) {
        TrackRecord r;
        device.GetTrackInfo(item.GetId(), r);
        progress.SetItemText(r.title.Str());
        dlg.ApplyTo(r, true);
        if (setCount) r.playCount = dlg.playCount;
        if (r.playOnly == 0) device.SetTrackInfo(item.GetId(), r);
        progress.Step();
        platform::PumpMessages(0);
      }
    } catch (const std::exception&) {
      failure = std::current_exception();
    }
    progress.Close();
  }
  if (failure) {
    // What was written before the failure stays written.
    KernelDeviceClient::ReportError("Could not write tag.", *failure);
    return;
  }
  RefreshFolderViewsAfterEdit();
  RefreshFolderViews();
}

void EditItem(const CPidlList& selection) {
  if (selection.empty()) return;
  const std::uint32_t type = selection.front()->nodeType;
  const bool track = type == NT_TRACK || type == NT_PLITEM || type == NT_INDEXTRACK;
  if (!track && type != NT_NOTE && type != NT_CONTACT) {
    ShowInformation("This item cannot be edited.");
    return;
  }
  if (!track && selection.size() > 1) {
    ShowInformation("Please edit one item at a time.");
    return;
  }
  try {
    if (track) {
      EditTrackTags(selection);
    } else if (type == NT_NOTE) {
      EditNote(selection);
    } else {
      EditContact(selection);
    }
    Device().CommitChanges();
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not edit item.", e);
  }
}

void RenumberTracks(const CPidlList& selection) {
  tools::CAutoFillTrackNumDialog dlg(GetOwnerWindow(), selection.size());
  if (dlg.DoModal() != platform::IDOK) return;
  bool failed = false;
  {
    platform::WaitCursor wait;
    try {
      KernelDevice& device = Device();
      for (std::size_t i = 0; i < selection.size(); ++i) {
        device.SetTrackNumber(selection[i].GetId(), static_cast<int>(dlg.NumberFor(i)));
      }
      device.CommitChanges();
      RefreshFolderViews();
    } catch (const std::exception&) {
      failed = true;  // the numbers already set stay
    }
  }
  if (failed) ShowInformation("Could not change track numbers.");
}

void ShowArtistAlbums(const CPidlList& selection) {
  if (selection.empty()) return;
  std::string artist;
  try {
    TrackRecord r;
    Device().GetTrackInfo(selection.front().GetId(), r);
    artist = r.artist.Str();
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not read tag.", e);
    return;
  }
  tools::CArtistInfoDlg dlg(artist, Device(), &SharedImageList(true));
  dlg.DoModal();
}

void ViewSyncLog() { transfer::OpenLogFile("_outlsynclog.txt"); }

}  // namespace shellext
