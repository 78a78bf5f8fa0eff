// The options sheet whose pages are picked from a tree on its left instead of from tabs.
// A page's place in the tree comes from its title: "::" separates levels, so
// "Jukebox::Tag Handling" is the child "Tag Handling" of a node "Jukebox". The sheet's
// page list and active page stay the property sheet's own (its hidden tab strip mirrors
// them); the tree is filled from them and follows every page change.
//
// On the right a page frame shows a caption bar above the page, and a message when the
// selected node has no page of its own.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/canvas.h"
#include "platform/ui/image_list.h"
#include "platform/ui/property_sheet.h"
#include "platform/ui/tree_view.h"

namespace options::TreePropSheet {

// The frame beside the tree: a caption bar above the page, and a message area shown when
// no page is visible. Its window is the sheet's page area.
class CPropPageFrame {
 public:
  CPropPageFrame() = default;
  virtual ~CPropPageFrame() = default;
  CPropPageFrame(const CPropPageFrame&) = delete;
  CPropPageFrame& operator=(const CPropPageFrame&) = delete;

  // Binds the frame to the page area `id` of `sheet`; false when there is none.
  virtual bool CreateFrameWindow(platform::UiWindow& sheet, int id) = 0;
  virtual platform::PageAreaControl* GetFrameWindow() = 0;

  virtual void SetCaptionVisible(bool visible);
  virtual void SetCaptionHeight(int height);
  virtual void SetCaptionText(const std::string& text, const std::string& icon);
  virtual void SetMessageText(const std::string& text);
  virtual void SetMessageFormat(platform::UINT flags);

  // The caption bar when shown, then the message.
  virtual void DrawFrame(platform::Canvas& canvas);
  // The frame's client area below the caption (when shown).
  virtual platform::Rect GetMessageArea();
  virtual void DrawMessageText(platform::Canvas& canvas, platform::Rect rect, const std::string& text,
                               platform::UINT flags);
  // The top strip of the caption's height when shown, else empty at the top.
  virtual platform::Rect GetCaptionArea();
  virtual void DrawCaptionBar(platform::Canvas&, platform::Rect, const std::string&, const std::string&) {}

  bool GetShowCaption() const { return showCaption_; }
  int GetCaptionHeight() const { return captionHeight_; }
  const std::string& GetCaptionText() const { return captionText_; }
  const std::string& GetCaptionIcon() const { return captionIcon_; }
  const std::string& GetMessageText() const { return messageText_; }
  platform::UINT GetMessageFormat() const { return messageFormat_; }

  // The frame's client rectangle as the host last painted it.
  platform::Rect GetClientRect() const { return client_; }
  void SetClientRect(const platform::Rect& r) { client_ = r; }

 protected:
  void InvalidateCaption();
  void InvalidateMessage();

 private:
  bool showCaption_ = false;
  int captionHeight_ = 0;
  std::string captionText_;
  std::string captionIcon_;
  std::string messageText_;
  platform::UINT messageFormat_ =
      platform::DT_CENTER | platform::DT_VCENTER | platform::DT_NOPREFIX | platform::DT_SINGLELINE;
  platform::Rect client_{0, 0, 400, 300};
};

class CPropPageFrameDefault : public CPropPageFrame {
 public:
  bool CreateFrameWindow(platform::UiWindow& sheet, int id) override;
  platform::PageAreaControl* GetFrameWindow() override { return window_; }
  void SetCaptionText(const std::string& text, const std::string& icon) override;
  platform::Rect GetMessageArea() override;
  platform::Rect GetCaptionArea() override;
  void DrawCaptionBar(platform::Canvas& canvas, platform::Rect rect, const std::string& text,
                      const std::string& icon) override;
  // The frame window went with the sheet.
  void Detach() { window_ = nullptr; }

  const platform::ImageList& GetCaptionImages() const { return images_; }

 private:
  platform::PageAreaControl* window_ = nullptr;
  platform::ImageList images_;  // the caption's icon (at most one)
};

class CTreePropSheet : public platform::PropertySheet {
 public:
  static constexpr int kTreeId = 0x7EEE;
  static constexpr int kFrameId = 0xFFFF;
  static constexpr int kTreeWidth = 150;  // pixels, shown as kTreeWidthChars characters
  static constexpr int kTreeWidthChars = 24;

  explicit CTreePropSheet(std::string caption, platform::HWND parent = 0, int firstPage = 0);
  ~CTreePropSheet() override;

  // Only before the sheet's window exists (false afterwards, nothing changed): the tree
  // mode, and with it whether the page caption and tree images are shown.
  bool SetTreeViewMode(bool treeViewMode = true, bool pageCaption = false, bool treeImages = false);
  bool IsTreeViewMode() const { return treeViewMode_; }

  // The message for a node without a page ("%1" is the node's text); empty by default.
  void SetEmptyPageText(std::string text) { emptyPageText_ = std::move(text); }
  // Icon 0 marks a node without a page, icon 1 a page whose tab has no image.
  platform::ImageList& DefaultImages() { return defaultImages_; }

  virtual std::string MakeEmptyPageMessage(const std::string& tmpl, const std::string& nodeText);
  virtual std::unique_ptr<platform::TreeViewControl> CreatePageTree(const platform::ControlTemplate& t);
  virtual std::unique_ptr<CPropPageFrame> CreatePageFrame();

  // The active page follows; in tree mode the tree selects the page's node and the
  // frame's caption follows.
  bool SetActivePage(int index) override;
  void AddPage(platform::PropertyPage* page) override;
  void RemovePage(int index) override;

  platform::TreeViewControl* GetPageTree() const;
  CPropPageFrame* GetFrame() const { return frame_.get(); }
  const platform::ImageList& GetTreeImages() const { return treeImages_; }

  // "a::b" -> "a" and the path becomes "b"; "\::" escapes a separator. A path without
  // a separator is taken whole (and not unescaped).
  static std::string SplitPagePath(std::string& path);

 protected:
  platform::DialogTemplate BuildTemplate() override;
  std::unique_ptr<platform::Control> CreateControl(const platform::ControlTemplate& t) override;
  bool OnInitDialog() override;
  void OnNotify(platform::Notification& n) override;
  void OnPaint(int controlId, platform::Canvas& canvas) override;
  void NextPage(bool forward) override;
  void OnDestroy() override;

 private:
  void RefillPageTree();
  platform::HTREEITEM AddPageTreeNode(std::string path, platform::HTREEITEM parent);
  platform::HTREEITEM FindPageTreeItem(int page, platform::HTREEITEM start) const;
  void SelectCurrentPageTreeItem();
  void UpdateCaption();
  platform::TabsControl* GetTabs() const;

  bool treeViewMode_ = true;
  bool selChanging_ = false;  // the selection-changing handler is running
  bool pageCaption_ = false;
  bool treeImagesUsed_ = false;
  platform::ImageList treeImages_;
  platform::ImageList defaultImages_;
  std::string emptyPageText_;
  std::unique_ptr<CPropPageFrame> frame_;
};

}  // namespace options::TreePropSheet
