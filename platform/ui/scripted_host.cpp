#include "platform/ui/scripted_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "platform/ui/dialog_driver.h"
#include "platform/ui/ui_window.h"

namespace platform {

namespace {

std::string ColourText(COLORREF c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
  return buf;
}

std::string Describe(const UiWindow& w) {
  return "window " + std::to_string(w.GetTemplateId()) + " \"" + w.GetWindowText() + "\"";
}

}  // namespace

const char* PromptKindName(PromptKind kind) {
  switch (kind) {
    case PromptKind::MessageBox: return "message box";
    case PromptKind::Dialog: return "modal dialog";
    case PromptKind::Menu: return "menu";
    case PromptKind::FolderPicker: return "folder picker";
    case PromptKind::FilePicker: return "file picker";
    case PromptKind::ColourPicker: return "colour picker";
    case PromptKind::Drag: return "drag";
  }
  return "prompt";
}

ScriptedHost::ScriptedHost() : previous_(&CurrentHost()) { SetCurrentHost(this); }

ScriptedHost::~ScriptedHost() {
  SetCurrentHost(previous_);
  for (const auto& e : expected_) {
    std::string what = PromptKindName(e.kind);
    if (e.kind == PromptKind::MessageBox) what += " answered with " + std::string(ButtonLabel(e.answer));
    if (e.kind == PromptKind::Dialog) what += " " + (e.templateId != 0 ? std::to_string(e.templateId) : e.text);
    if (!e.text.empty() && e.kind != PromptKind::Dialog) what += " containing \"" + e.text + "\"";
    ADD_FAILURE() << "a " << what << " was never shown";
  }
  for (UiWindow* w : open_) w->ForgetHost(this);
}

ScriptedHost& ScriptedHost::ExpectMessageBox(int answer, std::string textContains) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  expected_.emplace_back(PromptKind::MessageBox, answer, std::move(textContains));
  return *this;
}

ScriptedHost& ScriptedHost::ExpectNextMessageBox(int answer, std::string textContains) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  expected_.emplace_front(PromptKind::MessageBox, answer, std::move(textContains));
  return *this;
}

ScriptedHost& ScriptedHost::ExpectDialog(int templateId, DialogScript script) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Expectation e(PromptKind::Dialog);
  e.templateId = templateId;
  e.script = std::move(script);
  expected_.push_back(std::move(e));
  return *this;
}

ScriptedHost& ScriptedHost::ExpectDialog(std::string caption, DialogScript script) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Expectation e(PromptKind::Dialog);
  e.text = std::move(caption);
  e.script = std::move(script);
  expected_.push_back(std::move(e));
  return *this;
}

ScriptedHost& ScriptedHost::ExpectMenu(UINT command) {
  return ExpectMenu([command](const Menu&) { return command; });
}

ScriptedHost& ScriptedHost::ExpectMenu(std::string itemText) {
  return ExpectMenu([itemText](const Menu& menu) -> UINT {
    if (itemText.empty()) return 0;
    const Menu::Item* item = menu.FindText(itemText);
    if (item == nullptr) {
      ADD_FAILURE() << "the menu has no item \"" << itemText << "\":\n" << menu.Describe();
      return 0;
    }
    return item->id;
  });
}

ScriptedHost& ScriptedHost::ExpectMenu(MenuChoice choose) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Expectation e(PromptKind::Menu);
  e.choose = std::move(choose);
  expected_.push_back(std::move(e));
  return *this;
}

ScriptedHost& ScriptedHost::ExpectFolderPicker(std::optional<std::string> path, std::string titleContains) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Expectation e(PromptKind::FolderPicker);
  e.path = std::move(path);
  e.text = std::move(titleContains);
  expected_.push_back(std::move(e));
  return *this;
}

ScriptedHost& ScriptedHost::ExpectFilePicker(std::optional<std::string> path, std::string titleContains) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Expectation e(PromptKind::FilePicker);
  e.path = std::move(path);
  e.text = std::move(titleContains);
  expected_.push_back(std::move(e));
  return *this;
}

ScriptedHost& ScriptedHost::ExpectColourPicker(std::optional<COLORREF> colour) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Expectation e(PromptKind::ColourPicker);
  e.colour = colour;
  expected_.push_back(std::move(e));
  return *this;
}

ScriptedHost& ScriptedHost::ExpectDrag(DragScript script) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Expectation e(PromptKind::Drag);
  e.drag = std::move(script);
  expected_.push_back(std::move(e));
  return *this;
}

std::optional<ScriptedHost::Expectation> ScriptedHost::Take(PromptKind kind, const std::string& what) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (expected_.empty()) {
    ADD_FAILURE() << "unexpected " << PromptKindName(kind) << ": " << what;
    return std::nullopt;
  }
  if (expected_.front().kind != kind) {
    ADD_FAILURE() << "a " << PromptKindName(expected_.front().kind) << " was expected next, but a "
                  << PromptKindName(kind) << " came: " << what;
    return std::nullopt;
  }
  Expectation e = std::move(expected_.front());
  expected_.pop_front();
  return e;
}

void ScriptedHost::Record(Prompt p) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  prompts_.push_back(std::move(p));
}

int ScriptedHost::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
  ShownMessageBox box{text, caption, flags, GetOwnerWindow(), DefaultButton(flags)};
  if (auto e = Take(PromptKind::MessageBox, "\"" + caption + "\": " + text)) {
    if (!e->text.empty() && text.find(e->text) == std::string::npos) {
      ADD_FAILURE() << "message box text \"" << text << "\" lacks \"" << e->text << "\"";
    }
    std::vector<int> buttons = MessageBoxButtons(flags);
    if (std::find(buttons.begin(), buttons.end(), e->answer) == buttons.end()) {
      ADD_FAILURE() << "the message box \"" << text << "\" has no " << ButtonLabel(e->answer) << " button";
    }
    box.answer = e->answer;
  }
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    shown_.push_back(box);
  }
  Prompt p;
  p.kind = PromptKind::MessageBox;
  p.caption = caption;
  p.text = text;
  p.answer = box.answer;
  Record(std::move(p));
  return box.answer;
}

int ScriptedHost::RunModal(UiWindow& window) {
  Prompt p;
  p.kind = PromptKind::Dialog;
  p.templateId = window.GetTemplateId();
  p.caption = window.GetWindowText();
  const std::size_t index = [&] {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    prompts_.push_back(p);  // recorded now, so prompts inside it come after it
    return prompts_.size() - 1;
  }();
  auto* dialog = dynamic_cast<Dialog*>(&window);
  std::optional<Expectation> e = Take(PromptKind::Dialog, Describe(window));
  if (e) {
    const bool matches = e->templateId != 0 ? e->templateId == window.GetTemplateId()
                                            : (e->text.empty() || p.caption.find(e->text) != std::string::npos);
    if (!matches) {
      ADD_FAILURE() << "expected dialog " << (e->templateId != 0 ? std::to_string(e->templateId) : e->text) << ", but "
                    << Describe(window) << " came";
    } else if (e->script) {
      DialogDriver driver(window);
      e->script(driver);
    }
  }
  if (dialog != nullptr && !dialog->IsEnded()) {
    if (e) ADD_FAILURE() << Describe(window) << " was left open by its script";
    window.UserClose();
    if (!dialog->IsEnded()) dialog->EndDialog(IDCANCEL);
  }
  const int result = dialog != nullptr ? dialog->GetModalResult() : IDCANCEL;
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  prompts_[index].answer = result;
  return result;
}

void ScriptedHost::WindowOpened(UiWindow& window) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  open_.push_back(&window);
}

void ScriptedHost::WindowClosed(UiWindow& window) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  open_.erase(std::remove(open_.begin(), open_.end(), &window), open_.end());
}

std::vector<UiWindow*> ScriptedHost::OpenWindows() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return open_;
}

UiWindow* ScriptedHost::FindOpenWindow(int templateId) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  for (auto it = open_.rbegin(); it != open_.rend(); ++it) {
    if ((*it)->GetTemplateId() == templateId) return *it;
  }
  return nullptr;
}

UINT ScriptedHost::TrackPopupMenu(const Menu& menu, int, int, HWND) {
  Prompt p;
  p.kind = PromptKind::Menu;
  p.text = menu.Describe();
  UINT chosen = 0;
  if (auto e = Take(PromptKind::Menu, "\n" + p.text)) {
    chosen = e->choose ? e->choose(menu) : 0;
    if (chosen != 0) {
      const Menu::Item* item = menu.Find(chosen);
      if (item == nullptr || !item->IsChoosable()) {
        ADD_FAILURE() << "command " << chosen << " cannot be chosen in the menu:\n" << p.text;
        chosen = 0;
      }
    }
  }
  p.answer = static_cast<int>(chosen);
  Record(std::move(p));
  return chosen;
}

std::optional<std::string> ScriptedHost::AnswerPathPicker(PromptKind kind, const std::string& title) {
  Prompt p;
  p.kind = kind;
  p.caption = title;
  std::optional<std::string> answer;
  if (auto e = Take(kind, title)) {
    if (!e->text.empty() && title.find(e->text) == std::string::npos) {
      ADD_FAILURE() << PromptKindName(kind) << " title \"" << title << "\" lacks \"" << e->text << "\"";
    }
    answer = e->path;
  }
  p.picked = answer.value_or("");
  p.answer = answer ? IDOK : IDCANCEL;
  Record(std::move(p));
  return answer;
}

std::optional<std::string> ScriptedHost::ShowFolderPicker(const FolderPickerRequest& request) {
  return AnswerPathPicker(PromptKind::FolderPicker, request.title);
}

std::optional<std::string> ScriptedHost::ShowFilePicker(const FilePickerRequest& request) {
  return AnswerPathPicker(PromptKind::FilePicker, request.title);
}

std::optional<COLORREF> ScriptedHost::ShowColourPicker(ColourPickerRequest& request) {
  Prompt p;
  p.kind = PromptKind::ColourPicker;
  std::optional<COLORREF> answer;
  if (auto e = Take(PromptKind::ColourPicker, "starting at " + ColourText(request.initial))) answer = e->colour;
  p.picked = answer ? ColourText(*answer) : "";
  p.answer = answer ? IDOK : IDCANCEL;
  Record(std::move(p));
  return answer;
}

DWORD ScriptedHost::DragOffer(std::shared_ptr<DataOffer> offer, DWORD) {
  Prompt p;
  p.kind = PromptKind::Drag;
  if (offer) {
    for (const std::string& f : offer->Formats()) p.text += (p.text.empty() ? "" : ", ") + f;
  }
  DWORD effect = DROPEFFECT_NONE;
  if (auto e = Take(PromptKind::Drag, p.text)) effect = e->drag && offer ? e->drag(offer) : DROPEFFECT_NONE;
  p.answer = static_cast<int>(effect);
  Record(std::move(p));
  return effect;
}

Rect ScriptedHost::GetTaskbarRect() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return taskbar_ ? *taskbar_ : Host::GetTaskbarRect();
}

void ScriptedHost::SetTaskbarRect(const Rect& rect) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  taskbar_ = rect;
}

bool ScriptedHost::ClickTrayIcon(UINT id, UINT mouseMessage) {
  for (const TrayIcon& icon : TrayIcons()) {
    if (icon.id == id) {
      SendMessage(icon.window, icon.callbackMessage, id, static_cast<LPARAM>(mouseMessage));
      return true;
    }
  }
  return false;
}

std::vector<Prompt> ScriptedHost::prompts() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return prompts_;
}

std::vector<ShownMessageBox> ScriptedHost::shown() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return shown_;
}

std::vector<std::string> ScriptedHost::ShownTexts() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<std::string> texts;
  for (const auto& b : shown_) texts.push_back(b.text);
  return texts;
}

std::size_t ScriptedHost::pendingAnswers() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return expected_.size();
}

}  // namespace platform
