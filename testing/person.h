// The display's own pointer and keyboard, through the X test extension, as a person uses
// them: for tests of real windows under a window manager.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace platform::testing {

class Person {
 public:
  Person() : display_(XOpenDisplay(nullptr)) {}
  ~Person() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  Person(const Person&) = delete;
  Person& operator=(const Person&) = delete;

  bool ok() const {
    int event = 0, error = 0, major = 0, minor = 0;
    return display_ != nullptr && XTestQueryExtension(display_, &event, &error, &major, &minor);
  }
  void ClickAt(int x, int y) {
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XFlush(display_);
  }
  void Key(KeySym key) {
    const KeyCode code = XKeysymToKeycode(display_, key);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XFlush(display_);
  }
  // The key with Ctrl held.
  void Ctrl(KeySym key) {
    const KeyCode ctrl = XKeysymToKeycode(display_, XK_Control_L);
    XTestFakeKeyEvent(display_, ctrl, True, CurrentTime);
    Key(key);
    XTestFakeKeyEvent(display_, ctrl, False, CurrentTime);
    XFlush(display_);
  }

 private:
  Display* display_;
};

}  // namespace platform::testing
