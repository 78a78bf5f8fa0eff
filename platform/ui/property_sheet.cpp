#include "platform/ui/property_sheet.h"

#include <algorithm>

#include "platform/ui/host.h"

namespace platform {

namespace {

DialogTemplate Placeholder(const std::string& caption) {
  DialogTemplate t;
  t.caption = caption;
  return t;
}

}  // namespace

// ---- PropertyPage ----

PropertyPage::PropertyPage(const DialogTemplate& t) : PropertyPage(t, t.caption) {}

PropertyPage::PropertyPage(const DialogTemplate& t, std::string title) : Dialog(t), title_(std::move(title)) {}

bool PropertyPage::OnSetActive() {
  if (firstSetActive_) {
    firstSetActive_ = false;
    return true;
  }
  UpdateData(false);
  return true;
}

bool PropertyPage::OnKillActive() { return UpdateData(true); }

bool PropertyPage::OnApply() {
  OnOK();
  return true;
}

void PropertyPage::SetModified(bool modified) {
  modified_ = modified;
  if (sheet_ != nullptr) sheet_->PageModified();
}

bool PropertyPage::OpenInSheet(PropertySheet& sheet) {
  sheet_ = &sheet;
  firstSetActive_ = true;
  modified_ = false;
  if (!CreateWindowObject(sheet.GetSafeHwnd(), &sheet)) return false;
  OnInitDialog();
  return true;
}

void PropertyPage::CloseInSheet() {
  SetVisibleState(false);
  DestroyWindowObject();
}

// ---- PropertySheet ----

PropertySheet::PropertySheet(std::string caption, HWND parent, int firstPage)
    : Dialog(Placeholder(caption), parent), first_(firstPage) {
  SetWindowText(std::move(caption));
}

// Pages are often deleted before their sheet: the sheet no longer touches them here
// (they were closed when its window went).
PropertySheet::~PropertySheet() = default;

void PropertySheet::OnDestroy() {
  ClosePages();
  Dialog::OnDestroy();
}

void PropertySheet::AddPage(PropertyPage* page) {
  if (page == nullptr || GetPageIndex(page) >= 0) return;
  page->sheet_ = this;
  pages_.push_back(page);
  if (IsOpen()) {
    SyncTabs();
    if (active_ < 0) SetActivePage(0);
  }
}

void PropertySheet::RemovePage(int index) {
  PropertyPage* page = GetPage(index);
  if (page == nullptr) return;
  if (index == active_) {
    page->CloseInSheet();
    active_ = -1;
  } else if (page->IsOpen()) {
    page->CloseInSheet();
  }
  pages_.erase(pages_.begin() + index);
  page->sheet_ = nullptr;
  if (active_ > index) --active_;
  if (IsOpen()) {
    SyncTabs();
    if (active_ < 0 && !pages_.empty()) SetActivePage(std::min(index, GetPageCount() - 1));
    Changed(WindowAspect::ActivePage);
  }
}

PropertyPage* PropertySheet::GetPage(int index) const {
  return index >= 0 && index < GetPageCount() ? pages_[static_cast<std::size_t>(index)] : nullptr;
}

int PropertySheet::GetPageIndex(const PropertyPage* page) const {
  auto it = std::find(pages_.begin(), pages_.end(), page);
  return it == pages_.end() ? -1 : static_cast<int>(it - pages_.begin());
}

PropertyPage* PropertySheet::GetShownPage() const {
  PropertyPage* p = GetActivePage();
  return p != nullptr && p->IsOpen() && p->IsWindowVisible() ? p : nullptr;
}

bool PropertySheet::HideActivePage() {
  PropertyPage* shown = GetShownPage();
  if (shown == nullptr) return true;
  if (!shown->OnKillActive()) return false;
  shown->SetVisibleState(false);
  Changed(WindowAspect::ActivePage);
  return true;
}

bool PropertySheet::SetActivePage(int index) {
  PropertyPage* next = GetPage(index);
  if (next == nullptr || !IsOpen()) return false;
  if (index == active_ && GetShownPage() == next) return true;
  PropertyPage* shown = GetShownPage();
  if (shown != nullptr && !shown->OnKillActive()) return false;
  if (!next->IsOpen() && !next->OpenInSheet(*this)) return false;
  if (!next->OnSetActive()) return false;
  if (shown != nullptr && shown != next) shown->SetVisibleState(false);
  active_ = index;
  next->SetVisibleState(true);
  if (auto* tabs = dynamic_cast<TabsControl*>(GetDlgItem(kSheetTabsId))) tabs->SetCurSel(index);
  Changed(WindowAspect::ActivePage);
  return true;
}

DialogTemplate PropertySheet::BuildTemplate() {
  // Qualified: inside a window, Button and Tabs name its control accessors.
  std::vector<LayoutNode> buttons = {layout::DefaultButton(IDOK, "OK"), layout::Button(IDCANCEL, "Cancel")};
  if (!(flags_ & PSH_NOAPPLYNOW)) buttons.push_back(layout::Button(ID_APPLY_NOW, "&Apply").Disabled());
  return MakeTemplate(0, GetWindowText(),
                      layout::Column({layout::Tabs(kSheetTabsId), layout::PageArea(kSheetPageAreaId),
                                      layout::Buttons(std::move(buttons))}));
}

int PropertySheet::DoModal() {
  const std::string caption = GetWindowText();
  SetTemplate(BuildTemplate());
  SetWindowText(caption);
  active_ = -1;
  const int result = Dialog::DoModal();
  return result;
}

bool PropertySheet::OnInitDialog() {
  SyncTabs();
  if (!pages_.empty()) {
    int start = (first_ >= 0 && first_ < GetPageCount()) ? first_ : 0;
    SetActivePage(start);
  }
  return true;
}

void PropertySheet::SyncTabs() {
  auto* tabs = dynamic_cast<TabsControl*>(GetDlgItem(kSheetTabsId));
  if (tabs == nullptr) return;
  tabs->SetImageList(tabImages_);
  tabs->DeleteAllItems();
  for (PropertyPage* p : pages_) tabs->InsertItem(tabs->GetItemCount(), {p->GetTitle(), p->GetTabImage()});
  tabs->SetCurSel(active_);
}

void PropertySheet::OnNotify(Notification& n) {
  if (n.id == kSheetTabsId && n.code == NotifyCode::SelChanging) {
    n.result = SetActivePage(n.item) ? 0 : 1;
    return;
  }
  Dialog::OnNotify(n);
}

void PropertySheet::PageModified() {
  bool any = std::any_of(pages_.begin(), pages_.end(), [](const PropertyPage* p) { return p->IsModified(); });
  EnableDlgItem(ID_APPLY_NOW, any);
}

bool PropertySheet::Apply() {
  PropertyPage* shown = GetShownPage();
  if (shown != nullptr && !shown->OnKillActive()) return false;
  for (int i = 0; i < GetPageCount(); ++i) {
    PropertyPage* p = pages_[static_cast<std::size_t>(i)];
    if (!p->WasShown()) continue;
    if (!p->OnApply()) {
      SetActivePage(i);
      return false;
    }
    p->modified_ = false;
  }
  PageModified();
  return true;
}

void PropertySheet::OnOK() {
  if (Apply()) EndDialog(IDOK);
}

void PropertySheet::OnCancel() {
  for (PropertyPage* p : pages_) {
    if (p->WasShown()) p->OnCancel();
  }
  EndDialog(IDCANCEL);
}

bool PropertySheet::OnCommand(int id, int code) {
  if (id == ID_APPLY_NOW && code == BN_CLICKED) {
    Apply();
    return true;
  }
  return Dialog::OnCommand(id, code);
}

bool PropertySheet::OnKeyDown(UINT key, UINT modifiers) {
  if (key == VK_TAB && (modifiers & kModCtrl)) {
    NextPage(!(modifiers & kModShift));
    return true;
  }
  return Dialog::OnKeyDown(key, modifiers);
}

void PropertySheet::NextPage(bool forward) {
  const int n = GetPageCount();
  if (n == 0) return;
  int i = active_;
  if (i < 0 || i >= n) i = 0;
  SetActivePage(forward ? (i + 1) % n : (i + n - 1) % n);
}

void PropertySheet::ClosePages() {
  for (PropertyPage* p : pages_) {
    if (p->IsOpen()) p->CloseInSheet();
  }
}

}  // namespace platform
