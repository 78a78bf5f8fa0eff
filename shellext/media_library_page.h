// The library as a plug-in of a media player's library window: the tree entry it adds and
// the page that shows while the entry is selected. The page lists the player's first
// folder (all tracks on a jukebox, the first memory segment on a flash player, or the
// folder's message rows when the player cannot be reached) and sends tracks to the media
// player as stream addresses of the manager's HTTP server, to play at once or to enqueue.
//
// The page lives as long as its window: the host makes it through the plug-in's message
// routine and destroys its window when the entry is left; the page then deletes itself.
// Everything runs on the host's UI thread.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/menu.h"
#include "platform/ui/ui_window.h"
#include "shellext/media_library_plugin.h"
#include "shellext/shell_item.h"

namespace shellext {

class CShellFolder;
class CShellView;

// The plug-in's routines behind the header (the exported entry answers the header).
MediaLibraryPluginHeader* GetMediaLibraryPluginHeader();
int MediaLibraryPluginInit();
void MediaLibraryPluginQuit();
std::intptr_t MediaLibraryPluginMessageProc(int message, std::intptr_t param1, std::intptr_t param2,
                                            std::intptr_t param3);
// The tree entry's title: the product's name and the device tag of the proxy's binding
// ("JB1", "JB2", "JB3", "Zen" or "Unknown").
std::string MediaLibraryEntryTitle();

// The page's popup menu (632): "Play in Media Player" and "Enqueue in Media Player".
platform::Menu MediaLibraryListMenu();

class CWinampMLDlg final : public platform::View {
 public:
  static constexpr int kTemplateId = 6001;
  static constexpr int kListId = 1101;
  static constexpr int kStatusId = 6002;
  static constexpr int kCreditId = 6003;
  static constexpr int kIconId = 6004;
  static constexpr int kPlayId = 6005;
  static constexpr int kPlayAllId = 6006;
  static constexpr int kEnqueueId = 6007;
  static constexpr int kEnqueueAllId = 6008;
  static constexpr int kHelpId = 6009;
  // The window class hosts place the page by.
  static constexpr const char* kWindowClass = "#32770";

  // The header carries the host's windows.
  explicit CWinampMLDlg(const MediaLibraryPluginHeader& header);

  // Makes the page's window inside `parent` (and lists the folder); false when it cannot.
  bool CreatePage(platform::HWND parent);

  // Commands of the buttons and the menu.
  void PlayOrEnqueue(bool all, bool enqueue);
  void OnHelp();
  void UpdateStatus();

  platform::ListViewControl& List() const { return ListView(kListId); }

 protected:
  void OnCreate() override;
  bool OnCommand(int id, int code) override;
  void OnNotify(platform::Notification& n) override;
  platform::LRESULT WindowProc(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam) override;

 private:
  ~CWinampMLDlg() override;

  void FillList();
  void ClearList();
  void OnGetDispInfo(platform::Notification& n);
  void OnItemActivate();
  void OnColumnClick(int column);
  void OnRightClick();
  void OnSize(platform::WPARAM kind);
  using platform::View::OnPaint;  // the painting of a control stays the base's
  void OnPaint();
  void OnDestroyPage();
  // The text of a cell of a row's item.
  std::string CellText(const ShellItemData& item, int column) const;
  LPCITEMIDLIST RowList(int row) const;
  void* HostRoutine(int number) const;

  MediaLibraryPluginHeader header_;
  CShellFolder* folder_ = nullptr;
  CShellView* view_ = nullptr;
  PidlManager pidls_;
  SkinColourRoutine colour_ = nullptr;
  SkinMessageRoutine message_ = nullptr;
  SkinBorderRoutine borders_ = nullptr;
  SkinResizeRoutine registerResize_ = nullptr;
  SkinResizeRoutine resize_ = nullptr;
  platform::LRESULT skinHandle_ = 0;
  platform::COLORREF textColour_ = 0xFFFFFF;
  platform::COLORREF backColour_ = 0;
  bool destroyed_ = false;
};

}  // namespace shellext
