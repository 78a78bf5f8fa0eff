#include "platform/window/message_box.h"

#include <atomic>
#include <cstdio>

#include "platform/kernel/process_object.h"

namespace platform {

namespace {

struct ShowerState {
  std::atomic<MessageBoxShower> shower{nullptr};
};
ShowerState& State() { return ProcessObject<ShowerState>("platform.window.message_box"); }

}  // namespace

void SetMessageBoxShower(MessageBoxShower shower) { State().shower.store(shower); }

int ShowProcessMessageBox(const std::string& text, const std::string& caption, UINT flags) {
  if (MessageBoxShower shower = State().shower.load()) return shower(text, caption, flags);
  std::fprintf(stderr, "\n--- %s ---\n%s\n[no one to answer: Cancel]\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
  return IDCANCEL;
}

}  // namespace platform
