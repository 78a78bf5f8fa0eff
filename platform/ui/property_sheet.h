// Property sheets: pages of settings behind tabs, with OK, Cancel and Apply.
//
// A page is a dialog on its own template that lives inside the sheet. Its window is made
// the first time it is shown (OnInitDialog: data exchange into its controls); showing it
// again refreshes its controls (OnSetActive). Leaving a page asks it first (OnKillActive:
// data exchange out of its controls; a refusal keeps the page). OK asks the shown page to
// leave, then applies every page that was ever shown (OnApply, which calls OnOK where a
// page saves its settings) and ends the sheet; Apply does the same without ending; Cancel
// tells every shown page (OnCancel) and ends.
//
// The sheet builds its own template: the tab strip above the page area, and the buttons.
// A sheet that presents its pages differently (a tree of pages) builds another template
// around a PageArea control; hosts show the active page inside the PageArea.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/image_list.h"
#include "platform/ui/ui_window.h"

namespace platform {

constexpr int kSheetTabsId = 0x3020;
constexpr int ID_APPLY_NOW = 0x3021;
constexpr int kSheetPageAreaId = 0x3022;
constexpr UINT PSH_NOAPPLYNOW = 0x0080;

class PropertySheet;

class PropertyPage : public Dialog {
 public:
  // The page's title is its template's caption unless one is given.
  explicit PropertyPage(const DialogTemplate& t);
  PropertyPage(const DialogTemplate& t, std::string title);

  const std::string& GetTitle() const { return title_; }
  void SetTitle(std::string title) { title_ = std::move(title); }
  // The tab's image in the sheet's tab image list; -1 for none.
  int GetTabImage() const { return tabImage_; }
  void SetTabImage(int image) { tabImage_ = image; }
  PropertySheet* GetSheet() const { return sheet_; }
  // True once the page's window was made in this run of its sheet.
  bool WasShown() const { return IsOpen(); }

  // The page becomes the shown one; false refuses. The first time does nothing more than
  // OnInitDialog did; later times refresh the controls from the members.
  virtual bool OnSetActive();
  // The page is asked to leave; false refuses (a refused data exchange, for example).
  virtual bool OnKillActive();
  // OK or Apply: calls OnOK and answers true; false keeps the sheet open on this page.
  virtual bool OnApply();
  // Saves the page's settings; nothing by default.
  void OnOK() override {}
  // The sheet is cancelled; nothing by default.
  void OnCancel() override {}
  // Enables the sheet's Apply button.
  void SetModified(bool modified = true);
  bool IsModified() const { return modified_; }

 private:
  friend class PropertySheet;
  bool OpenInSheet(PropertySheet& sheet);
  void CloseInSheet();

  std::string title_;
  int tabImage_ = -1;
  PropertySheet* sheet_ = nullptr;
  bool firstSetActive_ = true;
  bool modified_ = false;
};

class PropertySheet : public Dialog {
 public:
  explicit PropertySheet(std::string caption, HWND parent = 0, int firstPage = 0);
  ~PropertySheet() override;

  // Pages stay the caller's and must live while the sheet runs; add them before DoModal
  // (or after: the tabs follow).
  virtual void AddPage(PropertyPage* page);
  virtual void RemovePage(int index);
  int GetPageCount() const { return static_cast<int>(pages_.size()); }
  PropertyPage* GetPage(int index) const;
  int GetPageIndex(const PropertyPage* page) const;
  // -1 before the sheet has a page.
  int GetActiveIndex() const { return active_; }
  PropertyPage* GetActivePage() const { return GetPage(active_); }

  // Shows page `index`: the page shown now is asked to leave first. False when it refuses
  // or the index is out of range; the same page again (shown) changes nothing.
  virtual bool SetActivePage(int index);
  bool SetActivePage(PropertyPage* page) { return SetActivePage(GetPageIndex(page)); }
  // Hides the active page (it stays the active one): true when it was hidden already or
  // agreed to leave.
  bool HideActivePage();
  // The page to show inside the page area: the active page while its window is visible.
  PropertyPage* GetShownPage() const;

  void SetFlags(UINT flags) { flags_ = flags; }
  UINT GetFlags() const { return flags_; }
  // Icons of the tabs (pages' tab images index it); not owned.
  void SetTabImageList(const ImageList* images) { tabImages_ = images; }
  const ImageList* GetTabImageList() const { return tabImages_; }

  int DoModal() override;

  // The buttons: OK, Cancel, Apply.
  void OnOK() override;
  void OnCancel() override;
  bool Apply();
  // A page changed its modified state.
  void PageModified();

 protected:
  // The sheet's own template; the default: tabs, the page area, OK / Cancel / Apply.
  virtual DialogTemplate BuildTemplate();
  bool OnInitDialog() override;
  bool OnCommand(int id, int code) override;
  // Ctrl+Tab and Ctrl+Shift+Tab: next and previous page.
  bool OnKeyDown(UINT key, UINT modifiers) override;
  virtual void NextPage(bool forward);
  // The tab strip follows the pages' titles and images.
  void SyncTabs();
  void OnNotify(Notification& n) override;
  // The pages' windows go with the sheet's.
  void OnDestroy() override;

 private:
  void ClosePages();

  std::vector<PropertyPage*> pages_;
  int first_;
  int active_ = -1;
  UINT flags_ = 0;
  const ImageList* tabImages_ = nullptr;
};

}  // namespace platform
