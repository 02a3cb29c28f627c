// X11 helpers of the end-to-end runs: find the program's window by title and process
// id, and send it keys. Other runs may share the display, so the title alone is not
// enough; a window without _NET_WM_PID never matches.
// Depends on: Xlib.
#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/types.h>

#include <chrono>
#include <string>
#include <thread>

// On a live display a window can vanish between finding it and asking about it (a
// run that ends, a window the program replaces): the request then fails and says so,
// where Xlib's default handler would end the test process.
inline int X11IgnoreError(Display *, XErrorEvent *) { return 0; }

// XOpenDisplay, with X errors from then on failing the request instead of ending the
// process.
inline Display *X11Open(const std::string &display) {
  XSetErrorHandler(X11IgnoreError);
  return XOpenDisplay(display.c_str());
}

// The _NET_WM_PID of window w, or -1 when it has none.
inline long X11WindowPid(Display *d, Window w) {
  Atom pidAtom = XInternAtom(d, "_NET_WM_PID", True);
  if (pidAtom == None) return -1;
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char *data = nullptr;
  long pid = -1;
  if (XGetWindowProperty(d, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
      data && count == 1)
    pid = (long)*(unsigned long *)data;
  if (data) XFree(data);
  return pid;
}

// The first window below w (w included) titled title and owned by pid; with
// viewableOnly, only a mapped one. 0 when there is none.
inline Window X11FindWindow(Display *d, Window w, const char *title, pid_t pid, bool viewableOnly = false) {
  char *name = nullptr;
  if (XFetchName(d, w, &name) && name) {
    XWindowAttributes a;
    const bool match = std::string(name) == title && X11WindowPid(d, w) == pid &&
                       (!viewableOnly || (XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable));
    XFree(name);
    if (match) return w;
  }
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  Window found = 0;
  if (XQueryTree(d, w, &root, &parent, &children, &n)) {
    for (unsigned i = 0; i < n && !found; i++) found = X11FindWindow(d, children[i], title, pid, viewableOnly);
    if (children) XFree(children);
  }
  return found;
}

// A press and a release of key sent to window w.
inline void X11SendKey(Display *d, Window w, KeySym key) {
  // Without a window manager nothing gives the window the keyboard focus, and key
  // events only reach the focused window.
  XSetInputFocus(d, w, RevertToParent, CurrentTime);
  XSync(d, False);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  XEvent e{};
  e.xkey.display = d;
  e.xkey.window = w;
  e.xkey.root = DefaultRootWindow(d);
  e.xkey.same_screen = True;
  e.xkey.keycode = XKeysymToKeycode(d, key);
  e.xkey.time = CurrentTime;
  e.type = KeyPress;
  XSendEvent(d, w, True, KeyPressMask, &e);
  e.type = KeyRelease;
  XSendEvent(d, w, True, KeyReleaseMask, &e);
  XFlush(d);
}

// Opens display and sends key to pid's window titled title (with viewableOnly, only a
// mapped one); false while there is none.
inline bool X11SendKeyTo(const std::string &display, const char *title, pid_t pid, KeySym key,
                         bool viewableOnly = false) {
  Display *d = X11Open(display);
  if (!d) return false;
  const Window w = X11FindWindow(d, DefaultRootWindow(d), title, pid, viewableOnly);
  if (w) X11SendKey(d, w, key);
  XCloseDisplay(d);
  return w != 0;
}
