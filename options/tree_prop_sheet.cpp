#include "options/tree_prop_sheet.h"

#include <new>

#include "platform/text/text.h"
#include "platform/ui/desktop.h"
#include "platform/ui/host.h"

namespace options::TreePropSheet {

using platform::HTREEITEM;
using platform::Rect;

namespace {

constexpr std::size_t kTabTextBytes = 259;  // a tab's text is read into 260 bytes

std::uint64_t PageData(int page) { return static_cast<std::uint64_t>(static_cast<std::int64_t>(page)); }
int PageOf(std::uint64_t data) { return static_cast<int>(static_cast<std::int64_t>(data)); }

}  // namespace

// ---- CPropPageFrame ----

void CPropPageFrame::SetCaptionVisible(bool visible) {
  showCaption_ = visible;
  InvalidateCaption();
}

void CPropPageFrame::SetCaptionHeight(int height) {
  captionHeight_ = height;
  InvalidateCaption();
}

void CPropPageFrame::SetCaptionText(const std::string& text, const std::string& icon) {
  captionText_ = text;
  captionIcon_ = icon;
  InvalidateCaption();
}

void CPropPageFrame::SetMessageText(const std::string& text) {
  messageText_ = text;
  InvalidateMessage();
}

void CPropPageFrame::SetMessageFormat(platform::UINT flags) {
  messageFormat_ = flags;
  InvalidateMessage();
}

void CPropPageFrame::DrawFrame(platform::Canvas& canvas) {
  client_ = canvas.ClientRect();
  if (showCaption_) DrawCaptionBar(canvas, GetCaptionArea(), captionText_, captionIcon_);
  DrawMessageText(canvas, GetMessageArea(), messageText_, messageFormat_);
}

Rect CPropPageFrame::GetMessageArea() {
  Rect r = client_;
  if (showCaption_) r.top += captionHeight_;
  return r;
}

void CPropPageFrame::DrawMessageText(platform::Canvas& canvas, Rect rect, const std::string& text,
                                     platform::UINT flags) {
  canvas.DrawText(text, rect, flags, platform::GetSysColor(platform::COLOR_WINDOWTEXT), platform::FontKind::Gui);
}

Rect CPropPageFrame::GetCaptionArea() {
  Rect r = client_;
  r.bottom = showCaption_ ? r.top + captionHeight_ : r.top;
  return r;
}

// Our frame window is one control: caption and message repaint together.
void CPropPageFrame::InvalidateCaption() {
  if (platform::PageAreaControl* w = GetFrameWindow()) w->Invalidate();
}

void CPropPageFrame::InvalidateMessage() {
  if (platform::PageAreaControl* w = GetFrameWindow()) w->Invalidate();
}

// ---- CPropPageFrameDefault ----

bool CPropPageFrameDefault::CreateFrameWindow(platform::UiWindow& sheet, int id) {
  window_ = dynamic_cast<platform::PageAreaControl*>(sheet.GetDlgItem(id));
  if (window_ == nullptr) return false;
  window_->SetText("Page Frame");
  return true;
}

void CPropPageFrameDefault::SetCaptionText(const std::string& text, const std::string& icon) {
  CPropPageFrame::SetCaptionText(text, icon);
  images_.Remove(-1);
  if (!icon.empty()) images_.Add(icon);
}

Rect CPropPageFrameDefault::GetMessageArea() {
  Rect r = GetClientRect();
  if (GetShowCaption()) r.top += GetCaptionHeight() + 1;
  return r;
}

Rect CPropPageFrameDefault::GetCaptionArea() {
  Rect r = GetClientRect();
  r.bottom = GetShowCaption() ? r.top + GetCaptionHeight() : r.top;
  return r;
}

void CPropPageFrameDefault::DrawCaptionBar(platform::Canvas& canvas, Rect rect, const std::string& text,
                                           const std::string& icon) {
  const platform::COLORREF left = platform::GetSysColor(platform::COLOR_INACTIVECAPTION);
  // The colour the frame is painted with; the bar fades into it.
  const platform::COLORREF right = platform::GetSysColor(platform::COLOR_BTNFACE);
  rect.top += 1;
  const int width = rect.right - rect.left;
  if (width >= 4 && !rect.IsEmpty()) {
    // Each column from left + 4 takes the left colour plus its steps, truncated per
    // channel; the last column drawn is rect.right.
    auto channel = [&](unsigned l, unsigned r) {
      const double step = (static_cast<double>(r) - static_cast<double>(l)) / width;
      return static_cast<unsigned>(static_cast<int>(l + step * (width - 4)));
    };
    const platform::COLORREF last =
        platform::RGB(channel(platform::GetRValue(left), platform::GetRValue(right)),
                      channel(platform::GetGValue(left), platform::GetGValue(right)),
                      channel(platform::GetBValue(left), platform::GetBValue(right)));
    canvas.GradientH({rect.left + 4, rect.top, rect.right + 1, rect.bottom}, left, last);
  }
  if (!icon.empty() && images_.GetImageCount() == 1) {
    const int h = images_.Height();
    canvas.DrawIcon(images_.GetIcon(0), 3, (rect.top + rect.bottom) / 2 - h / 2, h);
    rect.left += images_.Width() + 3;
  }
  rect.left += 4;
  if (rect.left < rect.right) {
    canvas.DrawText(" " + text, rect,
                    platform::DT_LEFT | platform::DT_VCENTER | platform::DT_SINGLELINE | platform::DT_END_ELLIPSIS,
                    platform::GetSysColor(platform::COLOR_CAPTIONTEXT), platform::FontKind::System);
  }
  const Rect c = GetClientRect();
  canvas.DrawSunkenEdge({c.left + 3, c.top + 1, c.right - 3, c.bottom - 3});
}

// ---- CTreePropSheet ----

CTreePropSheet::CTreePropSheet(std::string caption, platform::HWND parent, int firstPage)
    : PropertySheet(std::move(caption), parent, firstPage) {}

CTreePropSheet::~CTreePropSheet() = default;

bool CTreePropSheet::SetTreeViewMode(bool treeViewMode, bool pageCaption, bool treeImages) {
  if (IsOpen()) return false;
  treeViewMode_ = treeViewMode;
  if (treeViewMode) {
    pageCaption_ = pageCaption;
    treeImagesUsed_ = treeImages;
  }
  return true;
}

std::string CTreePropSheet::MakeEmptyPageMessage(const std::string& tmpl, const std::string& nodeText) {
  return platform::ReplaceAll(tmpl, "%1", nodeText);
}

std::unique_ptr<platform::TreeViewControl> CTreePropSheet::CreatePageTree(const platform::ControlTemplate& t) {
  return std::make_unique<platform::TreeViewControl>(this, t);
}

std::unique_ptr<CPropPageFrame> CTreePropSheet::CreatePageFrame() { return std::make_unique<CPropPageFrameDefault>(); }

platform::TreeViewControl* CTreePropSheet::GetPageTree() const {
  return dynamic_cast<platform::TreeViewControl*>(GetDlgItem(kTreeId));
}

platform::TabsControl* CTreePropSheet::GetTabs() const {
  return dynamic_cast<platform::TabsControl*>(GetDlgItem(platform::kSheetTabsId));
}

platform::DialogTemplate CTreePropSheet::BuildTemplate() {
  if (!treeViewMode_) return PropertySheet::BuildTemplate();
  namespace l = platform::layout;
  std::vector<platform::LayoutNode> buttons = {l::DefaultButton(platform::IDOK, "OK"),
                                               l::Button(platform::IDCANCEL, "Cancel")};
  if (!(GetFlags() & platform::PSH_NOAPPLYNOW)) buttons.push_back(l::Button(platform::ID_APPLY_NOW, "&Apply").Disabled());
  return platform::MakeTemplate(
      0, GetWindowText(),
      l::Column({l::Row({l::Tree(kTreeId)
                             .Width(kTreeWidthChars)
                             .Label("Pages")
                             .Style(platform::kStyleHasButtons | platform::kStyleHasLines | platform::kStyleLinesAtRoot |
                                    platform::kStyleShowSelAlways | platform::kStyleTrackSelect),
                         l::Column({l::Tabs(platform::kSheetTabsId).Hidden().Disabled(), l::PageArea(kFrameId)})
                             .Expand()})
                     .Expand(),
                 l::Buttons(std::move(buttons))}));
}

std::unique_ptr<platform::Control> CTreePropSheet::CreateControl(const platform::ControlTemplate& t) {
  if (treeViewMode_ && t.id == kTreeId && t.kind == platform::ControlKind::TreeView) {
    std::unique_ptr<platform::TreeViewControl> tree = CreatePageTree(t);
    if (tree == nullptr) throw std::bad_alloc();
    return tree;
  }
  return PropertySheet::CreateControl(t);
}

bool CTreePropSheet::OnInitDialog() {
  if (treeViewMode_) {
    const int cx = defaultImages_.GetImageCount() > 0 ? defaultImages_.Width() : 16;
    const int cy = defaultImages_.GetImageCount() > 0 ? defaultImages_.Height() : 16;
    treeImages_ = platform::ImageList(cx, cy);
  }
  const bool result = PropertySheet::OnInitDialog();
  platform::TabsControl* tabs = GetTabs();
  if (!treeViewMode_ || tabs == nullptr) return result;

  tabs->Show(false);
  tabs->Enable(false);
  frame_ = CreatePageFrame();
  if (frame_ == nullptr) throw std::bad_alloc();
  frame_->CreateFrameWindow(*this, kFrameId);
  frame_->SetCaptionVisible(pageCaption_);
  frame_->SetCaptionHeight(platform::GetSystemMetric(platform::kMetricTabItemHeight));
  // The page sits below the caption; without a caption it takes the whole frame.
  if (platform::PageAreaControl* area = frame_->GetFrameWindow()) {
    const Rect client = frame_->GetClientRect();
    area->SetTopInset(pageCaption_ ? frame_->GetMessageArea().top - client.top : 0);
  }
  platform::TreeViewControl* tree = GetPageTree();
  if (tree == nullptr) return result;
  if (treeImagesUsed_) tree->SetImageList(&treeImages_);
  RefillPageTree();
  if (tabs->GetCurSel() >= 0) SelectCurrentPageTreeItem();
  for (HTREEITEM item = tree->GetRootItem(); item != 0; item = tree->GetNextSiblingItem(item)) {
    tree->Expand(item, platform::TVE_EXPAND);
  }
  return result;
}

void CTreePropSheet::RefillPageTree() {
  platform::TreeViewControl* tree = GetPageTree();
  if (tree == nullptr) return;
  tree->DeleteAllItems();
  platform::TabsControl* tabs = GetTabs();
  if (tabs == nullptr) return;
  if (treeImagesUsed_) {
    treeImages_.Remove(-1);
    if (const platform::ImageList* tabImages = tabs->GetImageList()) {
      for (int i = 0; i < tabImages->GetImageCount(); ++i) treeImages_.Add(tabImages->GetIcon(i));
    }
    if (defaultImages_.GetImageCount() > 0) {
      treeImages_.Add(defaultImages_.GetIcon(0));
      if (defaultImages_.GetImageCount() > 1) treeImages_.Add(defaultImages_.GetIcon(1));
    }
  }
  for (int i = 0; i < tabs->GetItemCount(); ++i) {
    const platform::TabsControl::Tab* tab = tabs->GetItem(i);
    std::string text = tab->text.substr(0, platform::Utf8PrefixLength(tab->text, kTabTextBytes));
    HTREEITEM node = AddPageTreeNode(text, platform::TVI_ROOT);
    if (node == 0) continue;  // a node that could not be made is not used
    tree->SetItemData(node, PageData(i));
    if (treeImagesUsed_) {
      int image = tab->image;
      if (image < 0 || image >= treeImages_.GetImageCount()) {
        image = defaultImages_.GetImageCount() > 0 ? treeImages_.GetImageCount() - 1 : -1;
      }
      tree->SetItemImage(node, image, image);
    }
  }
}

HTREEITEM CTreePropSheet::AddPageTreeNode(std::string path, HTREEITEM parent) {
  platform::TreeViewControl* tree = GetPageTree();
  if (tree == nullptr) return 0;
  const std::string segment = SplitPagePath(path);
  HTREEITEM node = 0;
  for (HTREEITEM child : tree->GetChildren(parent)) {
    if (tree->GetItemText(child) == segment) {
      node = child;
      break;
    }
  }
  if (node == 0) {
    node = tree->InsertItem(segment, parent, platform::TVI_LAST);
    if (node == 0) return 0;
    tree->SetItemData(node, PageData(-1));
    if (!path.empty() && treeImagesUsed_ && defaultImages_.GetImageCount() > 0) {
      const int image = treeImages_.GetImageCount() - 2;
      tree->SetItemImage(node, image, image);
    }
  }
  return path.empty() ? node : AddPageTreeNode(std::move(path), node);
}

std::string CTreePropSheet::SplitPagePath(std::string& path) {
  std::size_t from = 0;
  for (;;) {
    const std::size_t sep = path.find("::", from);
    if (sep == std::string::npos) {
      std::string whole = std::move(path);
      path.clear();
      return whole;
    }
    if (sep == 0) {
      from = 1;
      continue;
    }
    std::size_t slashes = 0;
    while (slashes < sep && path[sep - 1 - slashes] == '\\') ++slashes;
    if (slashes % 2 == 1) {
      from = sep + 1;
      continue;
    }
    std::string segment = platform::ReplaceAll(path.substr(0, sep), "\\::", "::");
    segment = platform::ReplaceAll(segment, "\\\\", "\\");
    path = path.substr(sep + 2);
    return segment;
  }
}

HTREEITEM CTreePropSheet::FindPageTreeItem(int page, HTREEITEM start) const {
  platform::TreeViewControl* tree = GetPageTree();
  if (tree == nullptr || page < 0 || page >= GetPageCount()) return 0;
  for (HTREEITEM item = start; item != 0; item = tree->GetNextSiblingItem(item)) {
    if (PageOf(tree->GetItemData(item)) == page) return item;
    if (HTREEITEM inner = FindPageTreeItem(page, tree->GetChildItem(item))) return inner;
  }
  return 0;
}

void CTreePropSheet::SelectCurrentPageTreeItem() {
  platform::TreeViewControl* tree = GetPageTree();
  if (tree == nullptr) return;
  if (HTREEITEM item = FindPageTreeItem(GetActiveIndex(), tree->GetRootItem())) tree->SelectItem(item);
}

void CTreePropSheet::UpdateCaption() {
  platform::TreeViewControl* tree = GetPageTree();
  if (tree == nullptr || frame_ == nullptr) return;
  const bool pageVisible = GetShownPage() != nullptr;
  const HTREEITEM item = tree->GetSelectedItem();
  if (item == 0) return;
  const std::string text = tree->GetItemText(item);
  if (!pageVisible) frame_->SetMessageText(MakeEmptyPageMessage(emptyPageText_, text));
  platform::TabsControl* tabs = GetTabs();
  if (!pageCaption_ || tabs == nullptr) return;
  std::string icon;
  if (treeImagesUsed_) {
    int image = -1, selected = -1;
    tree->GetItemImage(item, image, selected);
    icon = treeImages_.GetIcon(image);
  } else if (pageVisible && tabs->GetImageList() != nullptr) {
    if (const platform::TabsControl::Tab* tab = tabs->GetItem(PageOf(tree->GetItemData(item)))) {
      icon = tabs->GetImageList()->GetIcon(tab->image);
    }
  }
  frame_->SetCaptionText(text, icon);
}

bool CTreePropSheet::SetActivePage(int index) {
  platform::TreeViewControl* tree = GetPageTree();
  if (tree != nullptr) tree->Invalidate();
  const bool result = PropertySheet::SetActivePage(index);
  if (treeViewMode_ && tree != nullptr) {
    SelectCurrentPageTreeItem();
    UpdateCaption();
  }
  return result;
}

void CTreePropSheet::AddPage(platform::PropertyPage* page) {
  PropertySheet::AddPage(page);
  if (treeViewMode_ && IsOpen()) {
    RefillPageTree();
    SelectCurrentPageTreeItem();
  }
}

void CTreePropSheet::RemovePage(int index) {
  PropertySheet::RemovePage(index);
  if (treeViewMode_ && IsOpen()) {
    RefillPageTree();
    SelectCurrentPageTreeItem();
  }
}

void CTreePropSheet::OnNotify(platform::Notification& n) {
  if (n.id != kTreeId) {
    PropertySheet::OnNotify(n);
    return;
  }
  if (n.code == platform::NotifyCode::SelChanging) {
    n.result = 0;
    if (selChanging_) return;
    selChanging_ = true;
    platform::TreeViewControl* tree = GetPageTree();
    const int page = tree != nullptr ? PageOf(tree->GetItemData(n.newItem)) : -1;
    const bool ok = page < 0 ? HideActivePage() : SetActivePage(page);
    if (!ok) n.result = 1;
    GotoDlgCtrl(kTreeId);
    selChanging_ = false;
  } else if (n.code == platform::NotifyCode::SelChanged) {
    UpdateCaption();
    n.result = 0;
  }
}

void CTreePropSheet::OnPaint(int controlId, platform::Canvas& canvas) {
  if (controlId == kFrameId && frame_ != nullptr) {
    canvas.SetBackground(platform::GetSysColor(platform::COLOR_BTNFACE));
    frame_->DrawFrame(canvas);
    return;
  }
  PropertySheet::OnPaint(controlId, canvas);
}

void CTreePropSheet::NextPage(bool forward) {
  platform::TreeViewControl* tree = GetPageTree();
  if (!treeViewMode_ || tree == nullptr) {
    PropertySheet::NextPage(forward);
    return;
  }
  const HTREEITEM item = tree->GetSelectedItem();
  if (item == 0) return;
  HTREEITEM next = 0;
  if (forward) {
    next = tree->GetChildItem(item);
    for (HTREEITEM at = item; next == 0 && at != 0; at = tree->GetParentItem(at)) next = tree->GetNextSiblingItem(at);
    if (next == 0) next = tree->GetRootItem();
  } else {
    auto deepestLast = [&](HTREEITEM h) {
      for (;;) {
        std::vector<HTREEITEM> children = tree->GetChildren(h);
        if (children.empty()) return h;
        h = children.back();
      }
    };
    if (HTREEITEM prev = tree->GetPrevSiblingItem(item)) {
      next = deepestLast(prev);
    } else if (HTREEITEM parent = tree->GetParentItem(item)) {
      next = parent;
    } else {
      std::vector<HTREEITEM> roots = tree->GetChildren(platform::TVI_ROOT);
      next = deepestLast(roots.back());
    }
  }
  tree->SelectItem(next, platform::kByKeyboard);
}

void CTreePropSheet::OnDestroy() {
  PropertySheet::OnDestroy();
  treeImages_.Remove(-1);
  frame_.reset();
}

}  // namespace options::TreePropSheet
