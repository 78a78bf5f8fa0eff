// The display's own pointer and keyboard, through the X test extension, as a person uses
// them: for tests of real windows under a window manager.
#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <string>

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
  // Two clicks as close together as a person's double click; back once the display has
  // taken both.
  void DoubleClickAt(int x, int y) {
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    for (int i = 0; i < 2; ++i) {
      XTestFakeButtonEvent(display_, 1, True, CurrentTime);
      XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    }
    XSync(display_, False);
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
  // The caption of the window the window manager shows as active (empty: none). Keys go
  // to a window once it is active, which comes a little after it is drawn.
  std::string ActiveCaption() {
    const Window active = WindowProperty(DefaultRootWindow(display_), "_NET_ACTIVE_WINDOW");
    if (active == None) return {};
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string caption;
    if (XGetWindowProperty(display_, active, XInternAtom(display_, "_NET_WM_NAME", False), 0, 1024, False,
                           XInternAtom(display_, "UTF8_STRING", False), &type, &format, &count, &after,
                           &data) == Success &&
        data != nullptr && format == 8) {
      caption.assign(reinterpret_cast<const char*>(data), count);
    }
    if (data != nullptr) XFree(data);
    return caption;
  }

 private:
  Window WindowProperty(Window w, const char* name) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    Window found = None;
    if (XGetWindowProperty(display_, w, XInternAtom(display_, name, False), 0, 1, False, XA_WINDOW, &type, &format,
                           &count, &after, &data) == Success &&
        data != nullptr && format == 32 && count == 1) {
      found = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
    }
    if (data != nullptr) XFree(data);
    return found;
  }

  Display* display_;
};

}  // namespace platform::testing
