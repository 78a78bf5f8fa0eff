#include "platform/ui/host.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>

#include "platform/kernel/process_object.h"
#include "platform/text/text.h"
#include "platform/ui/menu.h"
#include "platform/ui/ui_window.h"

namespace platform {

namespace {

// The current host of the process, shared with the copies of this code in loaded
// libraries: their message boxes and windows go to the program's host.
struct CurrentHostState {
  std::atomic<Host*> current{nullptr};
  std::once_flag once;
  Host* fallback = nullptr;
};
CurrentHostState& HostState() { return ProcessObject<CurrentHostState>("platform.ui.host"); }

const char* IconWord(UINT flags) {
  switch (flags & MB_ICONMASK) {
    case MB_ICONERROR:
      return "Error";
    case MB_ICONQUESTION:
      return "Question";
    case MB_ICONEXCLAMATION:
      return "Warning";
    case MB_ICONINFORMATION:
      return "Information";
    default:
      return nullptr;
  }
}

bool SameIcon(const TrayIcon& a, const TrayIcon& b) { return a.window == b.window && a.id == b.id; }

// The button the reply names: its number, or a unique start of its label; 0 when none.
int ParseChoice(const std::string& reply, const std::vector<int>& buttons) {
  if (reply.empty()) return 0;
  if (std::isdigit(static_cast<unsigned char>(reply[0]))) {
    long n = std::strtol(reply.c_str(), nullptr, 10);
    return n >= 1 && n <= static_cast<long>(buttons.size()) ? buttons[static_cast<std::size_t>(n - 1)] : 0;
  }
  int found = 0;
  for (int id : buttons) {
    std::string label = ButtonLabel(id);
    if (StartsWithNoCase(label, reply)) {
      if (found != 0) return 0;  // ambiguous
      found = id;
    }
  }
  return found;
}

}  // namespace

std::vector<int> MessageBoxButtons(UINT flags) {
  switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL:
      return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
      return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL:
      return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO:
      return {IDYES, IDNO};
    case MB_RETRYCANCEL:
      return {IDRETRY, IDCANCEL};
    case MB_CANCELTRYCONTINUE:
      return {IDCANCEL, IDTRYAGAIN, IDCONTINUE};
    default:
      return {IDOK};
  }
}

int DefaultButton(UINT flags) {
  std::vector<int> buttons = MessageBoxButtons(flags);
  std::size_t n = (flags & MB_DEFMASK) >> 8;
  return n < buttons.size() ? buttons[n] : buttons[0];
}

const char* ButtonLabel(int id) {
  switch (id) {
    case IDOK:
      return "OK";
    case IDCANCEL:
      return "Cancel";
    case IDABORT:
      return "Abort";
    case IDRETRY:
      return "Retry";
    case IDIGNORE:
      return "Ignore";
    case IDYES:
      return "Yes";
    case IDNO:
      return "No";
    case IDTRYAGAIN:
      return "Try Again";
    case IDCONTINUE:
      return "Continue";
    default:
      return "";
  }
}

// ---- Host: the answers of a host that cannot show a thing ----

int Host::RunModal(UiWindow& window) {
  window.UserClose();
  return IDCANCEL;
}

UINT Host::TrackPopupMenu(const Menu&, int, int, HWND) { return 0; }

std::optional<std::string> Host::ShowFolderPicker(const FolderPickerRequest&) { return std::nullopt; }
std::optional<std::string> Host::ShowFilePicker(const FilePickerRequest&) { return std::nullopt; }
std::optional<COLORREF> Host::ShowColourPicker(ColourPickerRequest&) { return std::nullopt; }

bool Host::NotifyIcon(UINT action, const TrayIcon& icon) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(trayIcons_.begin(), trayIcons_.end(), [&](const TrayIcon& t) { return SameIcon(t, icon); });
    switch (action) {
      case NIM_ADD:
        if (it != trayIcons_.end()) return false;
        trayIcons_.push_back(icon);
        break;
      case NIM_MODIFY:
        if (it == trayIcons_.end()) return false;
        *it = icon;
        break;
      case NIM_DELETE:
        if (it == trayIcons_.end()) return false;
        trayIcons_.erase(it);
        break;
      default:
        return false;
    }
  }
  TrayIconChanged(action, icon);
  return true;
}

std::vector<TrayIcon> Host::TrayIcons() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return trayIcons_;
}

void Host::SetClipboardText(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  clipboard_ = std::make_shared<TextOffer>(text);
}

std::optional<std::string> Host::GetClipboardText() {
  std::shared_ptr<DataOffer> offer = GetClipboardOffer();
  if (!offer || !offer->Offers(kUtf8TextFormat)) return std::nullopt;
  return offer->Data(kUtf8TextFormat);
}

void Host::SetClipboardFiles(const std::vector<std::string>& files) {
  std::lock_guard<std::mutex> lock(mutex_);
  clipboard_ = std::make_shared<FilesOffer>(files);
}

std::optional<std::vector<std::string>> Host::GetClipboardFiles() {
  std::shared_ptr<DataOffer> offer = GetClipboardOffer();
  if (!offer || !offer->Offers(kUriListFormat)) return std::nullopt;
  const std::optional<std::string> list = offer->Data(kUriListFormat);
  if (!list) return std::nullopt;
  return ParseUriList(*list);
}

void Host::SetClipboardOffer(std::shared_ptr<DataOffer> offer) {
  std::lock_guard<std::mutex> lock(mutex_);
  clipboard_ = std::move(offer);
}

std::shared_ptr<DataOffer> Host::GetClipboardOffer() {
  std::lock_guard<std::mutex> lock(mutex_);
  return clipboard_;
}

DWORD Host::DragOffer(std::shared_ptr<DataOffer>, DWORD) { return DROPEFFECT_NONE; }

int Host::DragFiles(const std::vector<std::string>& posixPaths) {
  return static_cast<int>(DragOffer(std::make_shared<FilesOffer>(posixPaths), DROPEFFECT_COPY | DROPEFFECT_MOVE));
}

void Host::BeginWaitCursor() {
  if (waitDepth_.fetch_add(1) == 0) WaitCursorChanged(true);
}

void Host::EndWaitCursor() {
  int before = waitDepth_.load();
  while (before > 0 && !waitDepth_.compare_exchange_weak(before, before - 1)) {
  }
  if (before == 1) WaitCursorChanged(false);
}

COLORREF Host::GetSysColor(int index) {
  switch (index) {
    case COLOR_INACTIVECAPTION: return RGB(191, 205, 219);
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_CAPTIONTEXT: return RGB(0, 0, 0);
    case COLOR_HIGHLIGHT: return RGB(0, 120, 215);
    case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    case COLOR_GRAYTEXT: return RGB(109, 109, 109);
    case COLOR_BTNFACE:
    default:
      return RGB(240, 240, 240);
  }
}

Rect Host::GetTaskbarRect() { return {0, 1040, 1920, 1080}; }

int Host::GetSystemMetric(int index) {
  switch (index) {
    case SM_CXSCREEN: return 1920;
    case SM_CYSCREEN: return 1080;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    case kMetricTabItemHeight: return 20;
    case kMetricAverageCharWidth: return kDesignCharWidth;
    default: return 0;
  }
}

Host& CurrentHost() {
  CurrentHostState& state = HostState();
  if (Host* h = state.current.load()) return *h;
  std::call_once(state.once, [&state] { state.fallback = new ConsoleHost; });  // lives until the process ends
  return *state.fallback;
}

namespace {

int ShowThroughCurrentHost(const std::string& text, const std::string& caption, UINT flags) {
  return CurrentHost().MessageBox(text, caption, flags);
}

// From the start of a program with the UI core, not only once a host is made current: the
// lower layers' boxes go to the default host as the UI core's own do.
[[maybe_unused]] const bool kShowerSet = (SetMessageBoxShower(&ShowThroughCurrentHost), true);

}  // namespace

void SetCurrentHost(Host* host) {
  SetMessageBoxShower(&ShowThroughCurrentHost);
  HostState().current.store(host);
}

ConsoleHost::ConsoleHost() : ConsoleHost(stdin, stderr, ::isatty(STDIN_FILENO) != 0) {}

ConsoleHost::ConsoleHost(std::FILE* in, std::FILE* out, bool interactive)
    : in_(in), out_(out), interactive_(interactive) {}

int ConsoleHost::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
  // One box at a time, whichever thread asks.
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  const std::vector<int> buttons = MessageBoxButtons(flags);
  const int byDefault = DefaultButton(flags);
  const char* icon = IconWord(flags);
  std::fprintf(out_, "\n--- %s%s%s%s ---\n%s\n", caption.c_str(), icon ? " (" : "", icon ? icon : "", icon ? ")" : "",
               text.c_str());
  std::string choices;
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    choices += (i ? "  " : "") + std::to_string(i + 1) + ") " + ButtonLabel(buttons[i]);
  }
  if (!interactive_ || in_ == nullptr) {
    std::fprintf(out_, "[%s] -> %s (no terminal: default button)\n", choices.c_str(), ButtonLabel(byDefault));
    std::fflush(out_);
    return byDefault;
  }
  for (;;) {
    std::fprintf(out_, "%s  [Enter: %s] > ", choices.c_str(), ButtonLabel(byDefault));
    std::fflush(out_);
    char line[256];
    if (std::fgets(line, sizeof line, in_) == nullptr) {
      std::fprintf(out_, "\n");
      return byDefault;  // input closed
    }
    std::string reply = platform::Trim(line);
    if (reply.empty()) return byDefault;
    if (int id = ParseChoice(reply, buttons)) return id;
    std::fprintf(out_, "Please answer with a number or a button name.\n");
  }
}

void ConsoleHost::Declined(const std::string& what) {
  std::fprintf(out_, "[%s cannot be shown here: Cancel]\n", what.c_str());
  std::fflush(out_);
}

int ConsoleHost::RunModal(UiWindow& window) {
  const std::string& caption = window.GetWindowText();
  Declined("The window \"" + (caption.empty() ? std::to_string(window.GetTemplateId()) : caption) + "\"");
  return Host::RunModal(window);
}

UINT ConsoleHost::TrackPopupMenu(const Menu&, int, int, HWND) {
  Declined("A menu");
  return 0;
}

std::optional<std::string> ConsoleHost::AskPath(const std::string& what, const std::string& title) {
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  if (!interactive_ || in_ == nullptr) {
    Declined(what + (title.empty() ? "" : " \"" + title + "\""));
    return std::nullopt;
  }
  std::fprintf(out_, "\n--- %s ---\n%s (empty: Cancel) > ", title.empty() ? what.c_str() : title.c_str(), what.c_str());
  std::fflush(out_);
  char line[4096];
  if (std::fgets(line, sizeof line, in_) == nullptr) return std::nullopt;
  std::string reply = platform::Trim(line);
  if (reply.empty()) return std::nullopt;
  return reply;
}

std::optional<std::string> ConsoleHost::ShowFolderPicker(const FolderPickerRequest& request) {
  return AskPath("Folder", request.title);
}

std::optional<std::string> ConsoleHost::ShowFilePicker(const FilePickerRequest& request) {
  return AskPath(request.save ? "Save as" : "File", request.title);
}

std::optional<COLORREF> ConsoleHost::ShowColourPicker(ColourPickerRequest&) {
  Declined("A colour picker");
  return std::nullopt;
}

bool HasDisplay() {
  const char* x = std::getenv("DISPLAY");
  const char* wl = std::getenv("WAYLAND_DISPLAY");
  return (x != nullptr && *x != '\0') || (wl != nullptr && *wl != '\0');
}

std::unique_ptr<Host> MakeConsoleHost() {
  struct Console : ConsoleHost {
    std::vector<UiWindow*> open;
    void WindowOpened(UiWindow& w) override { open.push_back(&w); }
    void WindowClosed(UiWindow& w) override { std::erase(open, &w); }
    ~Console() override {
      if (&CurrentHost() == this) SetCurrentHost(nullptr);
      for (UiWindow* w : open) w->ForgetHost(this);
    }
  };
  auto console = std::make_unique<Console>();
  SetCurrentHost(console.get());
  return console;
}

}  // namespace platform
