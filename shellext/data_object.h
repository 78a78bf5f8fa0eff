// CDataObject: the data object of selected player items, for drags and the clipboard.
// It offers, in this order:
//   "Quorvane Explorer No Transfer to Self"  the mark (never rendered): the data is the
//                                            player's own
//   the file list (CF_HDROP)                 copies on the computer, made by
//                                            PrepareFiles when a drop needs them
//   "Quorvane Explorer Kernel ID List"       the items' ids (clipboard_formats.h), only
//                                            on a player with playlists
// The object is also its own format enumerator (its second interface); EnumFormatEtc and
// Clone hand out enumerators of their own over a copy of the list.
#pragma once

#include <string>
#include <vector>

#include "platform/com/data_object.h"
#include "shellext/library.h"
#include "shellext/shell_item.h"

namespace shellext {

class CShellFolder;

class CDataObject final : public platform::IDataObject, public platform::IEnumFORMATETC {
 public:
  // The folder (held) and its selected items, each a list relative to the folder.
  CDataObject(CShellFolder* folder, platform::UINT count, LPCITEMIDLIST* items);

  // IUnknown, shared by both interfaces.
  platform::HRESULT QueryInterface(platform::REFIID riid, void** ppv) override;
  platform::ULONG AddRef() override { return refs_.Add(); }
  platform::ULONG Release() override;

  // IDataObject
  platform::HRESULT GetData(const platform::FORMATETC* format, platform::STGMEDIUM* medium) override;
  platform::HRESULT GetDataHere(const platform::FORMATETC* format, platform::STGMEDIUM* medium) override;
  // S_OK when a format of that number is offered with every medium bit it has among the
  // requested ones; DV_E_FORMATETC for a number not offered.
  platform::HRESULT QueryGetData(const platform::FORMATETC* format) override;
  platform::HRESULT GetCanonicalFormatEtc(const platform::FORMATETC* in, platform::FORMATETC* out) override;
  platform::HRESULT SetData(const platform::FORMATETC*, platform::STGMEDIUM*, bool) override {
    return platform::E_NOTIMPL;
  }
  platform::HRESULT EnumFormatEtc(platform::DWORD direction, platform::IEnumFORMATETC** out) override;

  // IEnumFORMATETC (the object's own position).
  platform::HRESULT Next(platform::ULONG count, platform::FORMATETC* out, platform::ULONG* fetched) override;
  platform::HRESULT Skip(platform::ULONG count) override;
  platform::HRESULT Reset() override;
  platform::HRESULT Clone(platform::IEnumFORMATETC** out) override;

  // Copies the items from the player into a folder of this object's own in the work
  // folder "tx2pc" for a drop on another program; the file list is served from then on.
  // The folder stays while the object lives (on the clipboard, until the clipboard
  // changes); what is no longer offered there is removed then. With no items, or from the
  // namespace's root: "Did not find any files to transfer to PC.".
  void PrepareFiles();
  bool FilesReady() const { return filesReady_; }
  // What the file list names: each file or folder the copy made at the top of its folder.
  const std::vector<std::string>& PreparedFiles() const { return files_; }

  // A copy on the clipboard has no drop to wait for: the files are made when a program
  // first asks for the file list.
  void PrepareFilesWhenAsked() { prepareWhenAsked_ = true; }

  // The display name of the first item when the object was made (empty when it could
  // not be read): the name of a playlist made by dropping the items.
  const std::string& SourceName() const { return sourceName_; }
  const std::vector<platform::FORMATETC>& Formats() const { return formats_; }

 private:
  ~CDataObject() override;
  CPidlList Selection() const;  // throws CPidlException for a bad list
  // The object's folder of "tx2pc" is no longer offered (removed with `remove`).
  void ForgetPrepared(bool remove);

  platform::RefCount refs_;
  platform::ULONG position_ = 0;
  std::vector<platform::FORMATETC> formats_;
  CShellFolder* folder_;
  PidlManager pidls_;
  std::vector<LPITEMIDLIST> items_;
  bool filesReady_ = false;
  bool prepareWhenAsked_ = false;
  std::vector<std::string> files_;
  std::string prepared_;  // the name of its folder in "tx2pc", once made
  std::string sourceName_;
};

// "Copy": the items (lists relative to the folder) on the desktop's clipboard as a data
// object whose files are made when a program pastes them.
void CopyItemsToClipboard(CShellFolder& folder, const std::vector<LPCITEMIDLIST>& items);

}  // namespace shellext
