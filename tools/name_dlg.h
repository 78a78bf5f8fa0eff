// The small dialogs many commands of the library share: CNameDlg asks for one name (a
// playlist, rule-defined playlist, folder, file, note, contact or the owner's), titled
// with what is being named; CDeleteDialog is the modeless
// progress pop-up that long operations step through item by item. They lie with the tag
// tools, below the transfers and tools that ask for names too; they keep the library's
// namespace.
#pragma once

#include <string>

#include "platform/ui/ui_window.h"

namespace shellext {

class CNameDlg : public platform::Dialog {
 public:
  static constexpr int kTemplateId = 526;
  static constexpr int kNameId = 1008;

  // `caption` says what is being named ("Playlist Name", "Folder Name", ...).
  explicit CNameDlg(platform::HWND parent = 0, const std::string& caption = "Name");

  // The suggested text before DoModal, the edited name after IDOK. The dialog checks
  // nothing: blank or duplicate names are the caller's to judge.
  std::string name;

  void DoDataExchange(platform::DataExchange& dx) override;
};

class CDeleteDialog : public platform::Dialog {
 public:
  static constexpr int kTemplateId = 513;
  static constexpr int kTextId = 1001;
  static constexpr int kProgressId = 1002;

  // Nothing is shown until Start.
  explicit CDeleteDialog(platform::HWND parent = 0);
  ~CDeleteDialog() override;

  // Makes the pop-up (without a parent), captions it with `title`, shows it centred on
  // top, sets the bar to 0..steps with a step of 1 at 0, and pumps the waiting messages
  // once so it is painted before the work starts.
  void Start(const std::string& title, int steps);
  // Hides and destroys the pop-up; it can be started again.
  void Close();
  // One step of the bar, and the item being worked on; nothing while the pop-up is closed.
  void Step();
  void SetItemText(const std::string& itemText);

  // Bound when the pop-up is made; null before Start and after Close.
  platform::LabelControl* text = nullptr;
  platform::ProgressControl* progress = nullptr;

  void DoDataExchange(platform::DataExchange& dx) override;

 protected:
  // The work closes the pop-up, not Escape.
  void OnCancel() override {}
  void OnDestroy() override;
};

const platform::DialogTemplate& NameDlgTemplate();
const platform::DialogTemplate& DeleteDialogTemplate();

}  // namespace shellext
