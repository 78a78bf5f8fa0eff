// ScriptedHost: the host for tests. What a person would answer comes from a queue the test
// fills beforehand, in the order the prompts will appear: message boxes, modal dialogs and
// sheets (each with a script that types and clicks through a DialogDriver), menus, and
// pickers. Every prompt is recorded in order. A prompt that nothing was queued for
// (an unexpected modal dialog included), a queued prompt of another kind, an answer that
// the prompt does not offer, a text that does not match, and answers left unused at the
// end are test failures (gtest); the prompt is then answered as Cancel so the code under
// test goes on. It makes itself the current host while it lives.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/host.h"
#include "platform/ui/menu.h"

namespace platform {

class DialogDriver;
class UiWindow;

struct ShownMessageBox {
  std::string text;
  std::string caption;
  UINT flags = 0;
  HWND owner = 0;
  int answer = 0;
};

enum class PromptKind { MessageBox, Dialog, Menu, FolderPicker, FilePicker, ColourPicker, Drag };
const char* PromptKindName(PromptKind kind);

// One prompt as it was shown and answered.
struct Prompt {
  PromptKind kind = PromptKind::MessageBox;
  int templateId = 0;   // dialogs
  std::string caption;  // message boxes, dialogs; pickers: the title
  std::string text;     // message boxes: the text; menus: Menu::Describe; drags: the formats, by ", "
  int answer = 0;       // the button / result / command chosen
  std::string picked;   // pickers: the path, or the colour as "#RRGGBB"; "" when cancelled
};

using DialogScript = std::function<void(DialogDriver&)>;
using MenuChoice = std::function<UINT(const Menu&)>;
// Where a drag's load goes: the script plays the drop target (asks for formats, drops on
// a window's handler, or refuses) and answers the effect.
using DragScript = std::function<DWORD(const std::shared_ptr<DataOffer>&)>;

class ScriptedHost : public Host {
 public:
  ScriptedHost();
  ~ScriptedHost() override;
  ScriptedHost(const ScriptedHost&) = delete;
  ScriptedHost& operator=(const ScriptedHost&) = delete;

  // Queues the answer to the next message box; a non-empty `textContains` must occur in
  // that box's text.
  ScriptedHost& ExpectMessageBox(int answer, std::string textContains = {});
  // The next modal dialog, of this template id (0: any); the script acts on it and must
  // end it (OK, Cancel, ...). A dialog the script leaves open is a failure and is
  // cancelled.
  ScriptedHost& ExpectDialog(int templateId, DialogScript script);
  // The next modal window whose caption contains `caption` (property sheets).
  ScriptedHost& ExpectDialog(std::string caption, DialogScript script);
  // The next menu: the item with this command, or with this text, is chosen; it must be
  // choosable. 0 (or an empty text) dismisses the menu.
  ScriptedHost& ExpectMenu(UINT command);
  ScriptedHost& ExpectMenu(std::string itemText);
  ScriptedHost& ExpectMenu(MenuChoice choose);
  // The next picker answers this POSIX path (nullopt: Cancel); a non-empty `titleContains`
  // must occur in its title.
  ScriptedHost& ExpectFolderPicker(std::optional<std::string> path, std::string titleContains = {});
  ScriptedHost& ExpectFilePicker(std::optional<std::string> path, std::string titleContains = {});
  ScriptedHost& ExpectColourPicker(std::optional<COLORREF> colour);
  // The next drag out of a window: the script is its drop target.
  ScriptedHost& ExpectDrag(DragScript script);
  // Queues at the front: the very next prompt (for scripts that run inside a dialog while
  // later prompts are queued already).
  ScriptedHost& ExpectNextMessageBox(int answer, std::string textContains = {});

  int MessageBox(const std::string& text, const std::string& caption, UINT flags) override;
  int RunModal(UiWindow& window) override;
  void WindowOpened(UiWindow& window) override;
  void WindowClosed(UiWindow& window) override;
  UINT TrackPopupMenu(const Menu& menu, int x, int y, HWND owner) override;
  std::optional<std::string> ShowFolderPicker(const FolderPickerRequest& request) override;
  std::optional<std::string> ShowFilePicker(const FilePickerRequest& request) override;
  std::optional<COLORREF> ShowColourPicker(ColourPickerRequest& request) override;
  DWORD DragOffer(std::shared_ptr<DataOffer> offer, DWORD allowedEffects) override;
  Rect GetTaskbarRect() override;
  Point GetCursorPos() override { return cursor_; }

  std::vector<Prompt> prompts() const;
  std::vector<ShownMessageBox> shown() const;
  std::vector<std::string> ShownTexts() const;
  std::size_t pendingAnswers() const;

  // Modeless windows open now, oldest first; the newest of a template id (null: none).
  std::vector<UiWindow*> OpenWindows() const;
  UiWindow* FindOpenWindow(int templateId) const;

  void SetTaskbarRect(const Rect& rect);
  void SetCursorPos(Point p) { cursor_ = p; }
  // A person clicks the tray icon: its window gets the callback message (sent) with the
  // icon's id and the mouse message. False when there is no such icon.
  bool ClickTrayIcon(UINT id, UINT mouseMessage);
  // How many times the wait cursor came up.
  int WaitCursorShows() const { return waitShows_; }

 protected:
  void WaitCursorChanged(bool on) override {
    if (on) ++waitShows_;
  }

 private:
  struct Expectation {
    explicit Expectation(PromptKind k, int a = 0, std::string t = {}) : kind(k), answer(a), text(std::move(t)) {}
    PromptKind kind;
    int answer = 0;
    std::string text;  // message boxes and pickers: what the text or title contains; dialogs: the caption
    int templateId = 0;
    DialogScript script;
    MenuChoice choose;
    DragScript drag;
    std::optional<std::string> path;
    std::optional<COLORREF> colour;
  };
  // The next expectation when it is of `kind`; a failure (naming `what`) otherwise.
  std::optional<Expectation> Take(PromptKind kind, const std::string& what);
  void Record(Prompt p);
  std::optional<std::string> AnswerPathPicker(PromptKind kind, const std::string& title);

  mutable std::recursive_mutex mutex_;
  std::deque<Expectation> expected_;
  std::vector<Prompt> prompts_;
  std::vector<ShownMessageBox> shown_;
  std::vector<UiWindow*> open_;
  std::optional<Rect> taskbar_;
  Point cursor_{};
  int waitShows_ = 0;
  Host* previous_;
};

}  // namespace platform
