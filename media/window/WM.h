// Window manager: window records, events, message pump, buffer swaps.
//
// A window is first a record only (wmCreateWindow); wmShowWindow makes the native
// window and its GL context, in this order: pixel format, native window (hidden),
// cursor, a claimed display mode (dm.h; a window shown again takes one too), show,
// context, identification log. The platform turns native events into
// Windows messages; wmWindowProc turns those into wm_event_t records for the
// window's callback, keys through the 256-entry table indexed by virtual key.
// Everything runs on the main thread; the window list has no lock.
// Depends on: list, mem, log, str; dm, wgl, dpms, ddraw, gl_stub; platform/window.
#pragma once

#include <cstdint>

#include "base/list.h"
#include "media/window/dm.h"

typedef struct platWindow_t platWindow_t;

// Event types; the dialog widgets use 3 and up for their own records.
enum { WM_EVENT_KEY = 0, WM_EVENT_MOUSE = 1, WM_EVENT_WINDOW = 2 };
// wm_key_t.type
enum { WM_KEY_DOWN = 6, WM_KEY_UP = 7 };
// wm_key_t.key: names of the framework key codes that the program and its dialogs act
// on; the key table (wmKeyTable) maps 94 more keys.
enum : int32_t {
  WM_KEYCODE_ESCAPE = 1,
  WM_KEYCODE_HOME = 32,
  WM_KEYCODE_PAGEUP = 33,
  WM_KEYCODE_ENTER = 51,
  WM_KEYCODE_PAGEDOWN = 54,
  WM_KEYCODE_LEFT = 98,
  WM_KEYCODE_RIGHT = 100,
};
// wm_conf_t.type
enum { WM_CONF_CLOSE = 5, WM_CONF_CONFIGURE = 12 };
// wm_mouse_t.button
enum {
  WM_MOUSE_MOVE = 0,  // also the wheel
  WM_MOUSE_LEFT_DOWN = 1,
  WM_MOUSE_RIGHT_DOWN = 2,
  WM_MOUSE_MIDDLE_DOWN = 3,
  WM_MOUSE_LEFT_UP = 4,
  WM_MOUSE_RIGHT_UP = 5,
  WM_MOUSE_MIDDLE_UP = 6,
};

typedef struct wm_mouse_t {
  int32_t type;    // always 0
  int32_t button;  // WM_MOUSE_*
  int32_t left, right, middle;  // 1 while held
  int32_t wheelForward;  // 1 when the wheel turned away from the user
  int32_t wheelBack;     // 1 when it turned toward the user
  int32_t x, y;          // window coordinates (y down), signed
  int32_t dx, dy;        // since the previous mouse event of the window
} wm_mouse_t;

typedef struct wm_key_t {
  int32_t type;  // WM_KEY_DOWN (repeats included) or WM_KEY_UP
  int32_t key;   // framework key code (WM_KEYCODE_* and the table's others), 0 for none
  int32_t reserved;
} wm_key_t;

typedef struct wm_conf_t {
  int32_t type;  // WM_CONF_CLOSE or WM_CONF_CONFIGURE
  int32_t x, y, width, height;
} wm_conf_t;

typedef struct wm_window_t wm_window_t;

typedef struct wm_event_t {
  int32_t type;
  wm_window_t *window;
  wm_mouse_t mouse;
  wm_key_t key;
  wm_conf_t conf;
} wm_event_t;

typedef int (*wm_callback_t)(wm_event_t *event);  // result ignored

// What the window's GL surface is made with (the pixel format descriptor's fields).
typedef struct wm_pixelformat_t {
  uint16_t nSize, nVersion;
  uint32_t dwFlags;
  uint8_t iPixelType, cColorBits, cAlphaBits, cDepthBits, cStencilBits;
} wm_pixelformat_t;

// Style bits kept in the record, as on Windows.
enum : uint32_t {
  WM_STYLE_DEFAULT = 0x90CE0000u,  // popup, visible, caption, system menu, thick frame, minimise box
  WM_STYLE_CAPTION = 0x00C00000u,
  WM_STYLE_THICKFRAME = 0x00040000u,
  WM_STYLE_FULLSCREEN = 0x8u,
};

struct wm_window_t {
  platWindow_t *handle;  // native window, null until wmShowWindow
  int32_t x, y;          // client area position on the screen
  int32_t width, height; // client area size
  int32_t fullscreen;
  int32_t borderless;
  int32_t resizable;
  uint32_t style;
  int32_t hideCursor;
  int32_t lastMouseX, lastMouseY;
  int32_t left, middle, right;  // button states
  wm_pixelformat_t pfd;
  platWindow_t *dc;      // the surface the context draws to
  int32_t pixelFormat;   // 1 once the native window carries the format
  void *glContext;
  wm_callback_t callback;
  char *title;           // tracked copy
  void *userData;
  int32_t destroying;    // set while wmDestroyWindow runs, so callbacks cannot free it twice
};

// wmOptions codes.
enum : uint32_t {
  WM_OPT_ADAPTER = 0, WM_OPT_VIDEOMEMORY = 1, WM_OPT_CALLBACK = 3, WM_OPT_SETCONF = 4,
  WM_OPT_SCREENWIDTH = 5, WM_OPT_SCREENHEIGHT = 6, WM_OPT_SCREENBITS = 7, WM_OPT_SCREENHZ = 8,
  WM_OPT_WIDTH = 9, WM_OPT_HEIGHT = 10, WM_OPT_X = 11, WM_OPT_Y = 12, WM_OPT_GETCONF = 13,
  WM_OPT_HIDECURSOR = 100, WM_OPT_FULLSCREEN = 101, WM_OPT_TITLE = 102, WM_OPT_BORDERLESS = 104,
  WM_OPT_SETUSERDATA = 105, WM_OPT_GETUSERDATA = 106, WM_OPT_RESIZABLE = 108,
};

extern "C" {

int wmInit(void);
int wmDone(void);
wm_window_t *wmCreateWindow(int32_t x, int32_t y, int32_t width, int32_t height);
int wmShowWindow(wm_window_t *window);
int wmHideWindow(wm_window_t *window);
int wmDestroyWindow(wm_window_t *window);
// value and result carry flags, texts, pointers and callbacks alike.
intptr_t wmOptions(wm_window_t *window, uint32_t code, intptr_t value);
int wmProcessEvents(void);
int wmSwapBuffers(wm_window_t *window);  // 1 swapped, 0 not
int wmMakeCurrent(wm_window_t *window);  // 1 current, 0 not
int wmTransitionBegin(int32_t kind, float seconds);
int wmTransitionEnd(void);

// The window procedure: handles one message for the record owning handle; 0.
intptr_t wmWindowProc(platWindow_t *handle, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Head of the window list (newest first).
SYS_List_p wmGetWindowList(void);
// The framework key code of each virtual-key code (256 entries).
const int32_t *wmKeyTable(void);

}  // extern "C"
