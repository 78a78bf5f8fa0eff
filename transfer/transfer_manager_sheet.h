// CTransferManagerSheet: the sheet shown before a prepared transfer. Its pages let the
// person review and edit the tags of the audio files about to be sent (and drop or
// reorder them), drop data files or skip them all, choose which folders and playlist
// files become player playlists, and set the automatic tagging options. OK writes the
// edited tags back into the source files (when write-back is on) and leaves the lists
// for the engine; Cancel sends nothing.
//
//   SourceGroups groups = roots;
//   CTransferManagerSheet sheet(&files, &groups, parent);
//   if (sheet.DoModal() == platform::IDOK) send(sheet.RecordsToSend()), playlists(groups);
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device/records.h"
#include "platform/ui/image_list.h"
#include "platform/ui/menu.h"
#include "platform/ui/property_sheet.h"
#include "transfer/opt_transfers.h"
#include "transfer/source_groups.h"

namespace transfer {

// Commands of the record menu (598) and the playlist menu (603).
constexpr int kMenuRecords = 598;
constexpr int kCmdEditTags = 5000;
constexpr int kCmdCopyField = 609;
constexpr int kCmdSwapFields = 608;
constexpr int kCmdAutoFillNumbers = 5001;
constexpr int kCmdPrependArtist = 626;
constexpr int kCmdPrependNumber = 625;
constexpr int kCmdRereadTags = 621;
constexpr int kCmdReparseNames = 606;
constexpr int kCmdRemove = 5002;
constexpr int kMenuPlaylists = 603;
constexpr int kCmdSelectAll = 604;
constexpr int kCmdDeselectAll = 605;

// The record menu; the data page's lacks its first four entries and acts only on Remove.
platform::Menu RecordMenu(bool dataPage);

using RecordList = std::vector<std::unique_ptr<device::TrackRecord>>;

// The audio files: one record per file, read when the page is first shown.
class CTMAudioPage : public platform::PropertyPage {
 public:
  static constexpr int kTemplateId = 521;
  static constexpr int kListId = 1101;
  static constexpr int kPathId = 1111;

  explicit CTMAudioPage(std::vector<std::string> paths);

  // The records in list order.
  const RecordList& Records() const { return records_; }
  RecordList& Records() { return records_; }

  bool OnInitDialog() override;
  // Runs a command of the record menu on the selected rows, then fills the list again.
  void RunCommand(int command);
  // Moves the record of row `from` as a drop on row `to` does: onto a later row it lands
  // just before it, onto an earlier row it takes its place; onto itself or the row right
  // after it nothing moves.
  void MoveRecord(int from, int to);
  // The tag write-back of OK: the edited tags into the source files (MP3 and WMA), when
  // `ATM_TWB_Enable` is set, logged in "_twblog.txt".
  void WriteBackTags();

 private:
  void ReadRecords();
  void FillList();
  std::vector<int> SelectedRows();
  void OnNotify(platform::Notification& n) override;
  void EditTags(const std::vector<int>& rows);
  void CopyOrSwap(const std::vector<int>& rows, bool swap);

  std::vector<std::string> paths_;
  RecordList records_;
  platform::ImageList images_;
  bool ready_ = false;
};

// The data files: one record (the path only) per file the audio page does not take.
class CTMDataPage : public platform::PropertyPage {
 public:
  static constexpr int kTemplateId = 533;
  static constexpr int kListId = 1101;
  static constexpr int kSkipId = 1108;

  // The records are made here, so a sheet closed without showing the page still sends
  // its files.
  explicit CTMDataPage(const std::vector<std::string>& paths);

  const RecordList& Records() const { return records_; }
  int skipAll = 0;

  bool OnInitDialog() override;
  void DoDataExchange(platform::DataExchange& dx) override;
  void RemoveSelected();

 private:
  void FillList();
  void OnNotify(platform::Notification& n) override;

  RecordList records_;
  platform::ImageList images_;
};

// The folders and playlist files the files came from; a checked row becomes a playlist.
class CTMPlaylistPage : public platform::PropertyPage {
 public:
  static constexpr int kTemplateId = 536;
  static constexpr int kListId = 1101;
  static constexpr int kOverwriteId = 1147;

  explicit CTMPlaylistPage(SourceGroups* roots);

  int overwrite = 0;  // `JB_Tx_OverwritePlaylists`

  bool OnInitDialog() override;
  void DoDataExchange(platform::DataExchange& dx) override;
  // Drops the groups of the unchecked rows from the roots and stores the overwrite box.
  void OnOK() override;
  void CheckAll(bool checked);

 private:
  void OnNotify(platform::Notification& n) override;

  SourceGroups* roots_;
};

class CTransferManagerSheet : public platform::PropertySheet {
 public:
  CTransferManagerSheet(const std::vector<std::string>* files, SourceGroups* roots, platform::HWND parent = 0);

  CTMAudioPage& AudioPage() { return audio_; }
  CTMDataPage& DataPage() { return data_; }
  CTMPlaylistPage& PlaylistPage() { return playlists_; }
  OptTransfersAdvanced& OptionsPage() { return options_; }

  // After IDOK: the audio records in list order, then the data records unless the data
  // page's box skips them all.
  std::vector<const device::TrackRecord*> RecordsToSend() const;

  // Every shown page saves (the options first take effect), then the tags are written
  // back, then the sheet ends.
  void OnOK() override;
  // Opens `URL_HelpATM`, else `URL_Help`.
  void OnHelp();

 protected:
  platform::DialogTemplate BuildTemplate() override;
  bool OnInitDialog() override;
  bool OnCommand(int id, int code) override;

 private:
  CTMAudioPage audio_;
  CTMDataPage data_;
  CTMPlaylistPage playlists_;
  OptTransfersAdvanced options_;
  platform::ImageList tabImages_;
};

const platform::DialogTemplate& AudioPageTemplate();
const platform::DialogTemplate& DataPageTemplate();
const platform::DialogTemplate& PlaylistPageTemplate();

}  // namespace transfer
