#include "platform/ui/host.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <mutex>

#include "platform/text/text.h"

namespace platform {

namespace {

std::atomic<Host*> g_current{nullptr};

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
    if (label.size() < reply.size()) continue;
    bool prefix = true;
    for (std::size_t i = 0; i < reply.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(label[i])) != std::tolower(static_cast<unsigned char>(reply[i]))) {
        prefix = false;
        break;
      }
    }
    if (prefix) {
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

Host& CurrentHost() {
  if (Host* h = g_current.load()) return *h;
  static ConsoleHost* fallback = new ConsoleHost;  // lives until the process ends
  return *fallback;
}

void SetCurrentHost(Host* host) { g_current.store(host); }

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

}  // namespace platform
