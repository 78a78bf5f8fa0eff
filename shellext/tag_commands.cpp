#include "shellext/tag_commands.h"

#include <array>
#include <optional>

#include "common/identity.h"
#include "common/shell_utilities.h"
#include "device/device_client_error.h"
#include "platform/ui/desktop.h"
#include "platform/ui/host.h"
#include "platform/window/wait.h"
#include "shellext/icons.h"
#include "shellext/library.h"
#include "shellext/name_dlg.h"
#include "tools/artist_info_dlg.h"
#include "tools/auto_fill_track_num_dialog.h"
#include "tools/tag_edit_dlg.h"
#include "transfer/log_file.h"

namespace shellext {

using tools::TagEditDlg;

namespace {

void Inform(const std::string& text) { ShowMessageBox(text, platform::MB_OK | platform::MB_ICONINFORMATION); }

// Each field of a record in the editor's flag order, as compared between the tracks:
// texts byte for byte, numbers by value.
std::array<std::string, TagEditDlg::kFieldCount> FieldsOf(const TrackRecord& r) {
  return {r.artist.Str(),         r.album.Str(),        std::to_string(r.trackNumber), r.title.Str(),
          std::to_string(r.year), r.genre.Str(),        r.comment.Str(),               r.composer.Str(),
          std::to_string(r.tempo), std::to_string(r.extraNumber1), std::to_string(r.rating)};
}

// The editor's values into a record, for the checked fields.
void ApplyEdits(const TagEditDlg& dlg, TrackRecord& r) {
  const auto on = [&](int field) { return dlg.apply[static_cast<std::size_t>(field)] != 0; };
  // Emptied names are kept: a track without them cannot be found by its tags.
  if (on(TagEditDlg::kArtist) && !dlg.artist.empty()) r.artist.Set(dlg.artist);
  if (on(TagEditDlg::kAlbum) && !dlg.album.empty()) r.album.Set(dlg.album);
  if (on(TagEditDlg::kTitle) && !dlg.title.empty()) r.title.Set(dlg.title);
  if (on(TagEditDlg::kTrackNumber)) r.trackNumber = dlg.trackNumber;
  if (on(TagEditDlg::kYear)) r.year = dlg.year;
  if (on(TagEditDlg::kGenre)) r.genre.Set(dlg.genre);
  if (on(TagEditDlg::kComment)) r.comment.Set(dlg.comment);
  if (on(TagEditDlg::kComposer)) r.composer.Set(dlg.composer);
  if (on(TagEditDlg::kBpm)) r.tempo = static_cast<std::int16_t>(dlg.bpm);
  if (on(TagEditDlg::kVolume)) r.extraNumber1 = dlg.volumeAdjustment;
  if (on(TagEditDlg::kRating)) r.rating = static_cast<std::uint8_t>(dlg.rating);
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
  TrackRecord first;
  int flags[TagEditDlg::kFieldCount];
  int layout = TagEditDlg::kBasicTemplateId;
  try {
    // Asked for their side effect on the device's catalogue; the answers are not used.
    FixedString256 name;
    device.GetFirstArtist(name);
    device.GetFirstAlbum(name, "");
    device.GetFirstGenre(name);
    device.GetTrackInfo(selection.front().GetId(), first);
    const auto firstFields = FieldsOf(first);
    for (int& f : flags) f = 1;
    for (std::size_t i = 1; i < selection.size(); ++i) {
      TrackRecord other;
      device.GetTrackInfo(selection[i].GetId(), other);
      const auto fields = FieldsOf(other);
      for (std::size_t k = 0; k < fields.size(); ++k) {
        if (fields[k] != firstFields[k]) flags[k] = 0;
      }
    }
    layout = TagEditLayout(device);
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not read tag.", e);
    return;
  }

  TagEditDlg dlg(layout, flags, GetOwnerWindow());
  const auto agreed = [&](int field) { return flags[field] != 0; };
  if (agreed(TagEditDlg::kArtist)) dlg.artist = first.artist.Str();
  if (agreed(TagEditDlg::kAlbum)) dlg.album = first.album.Str();
  if (agreed(TagEditDlg::kTrackNumber)) dlg.trackNumber = first.trackNumber;
  if (agreed(TagEditDlg::kTitle)) dlg.title = first.title.Str();
  if (agreed(TagEditDlg::kYear)) dlg.year = first.year;
  if (agreed(TagEditDlg::kGenre)) dlg.genre = first.genre.Str();
  if (agreed(TagEditDlg::kComment)) dlg.comment = first.comment.Str();
  if (agreed(TagEditDlg::kComposer)) dlg.composer = first.composer.Str();
  if (agreed(TagEditDlg::kBpm)) dlg.bpm = first.tempo;
  if (agreed(TagEditDlg::kVolume)) dlg.volumeAdjustment = first.extraNumber1;
  if (agreed(TagEditDlg::kRating)) dlg.rating = first.rating;
  dlg.playCount = first.playCount;
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
        ApplyEdits(dlg, r);
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

void RenumberTracks(const CPidlList& selection) {
  tools::CAutoFillTrackNumDialog dlg(GetOwnerWindow());
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
  if (failed) Inform("Could not change track numbers.");
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

bool RunTagCommand(int command, const CPidlList& selection) {
  switch (command) {
    case 3061: ViewSyncLog(); return true;
    case 3068: ShowArtistAlbums(selection); return true;
    case 4020: RenumberTracks(selection); return true;
    default: return false;
  }
}

}  // namespace shellext
