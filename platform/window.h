// Native windows, GL contexts, input events, cursor, display modes and screensaver.
//
// The window manager above is written against Windows: window handles, a window
// procedure fed with WM_* messages and virtual-key codes, a ShowCursor counter,
// EnumDisplaySettings/ChangeDisplaySettings. This layer gives it exactly that on
// SDL2: SDL events become the messages and virtual keys its procedure handles, so
// its 256-entry key table works as written.
// - Keys map by scancode (layout independent), both Shifts/Ctrls/Alts give the
//   generic keys and keypad Enter gives Enter, as Windows reports them.
// - Mouse positions are packed as two signed 16-bit halves of lParam, in window
//   coordinates for every mouse message, the wheel included.
// - GL attributes (compatibility profile, colour/alpha/depth bits) are set before the
//   native window exists; every context shares objects with the live ones.
// - A display mode is claimed first and handed to the next window shown, which
//   takes it only at the claimed size; either way the claim ends there.
//   platDisplayRestore takes it back.
// Depends on: SDL2.
#pragma once

#include <cstdint>

typedef struct platWindow_t platWindow_t;  // opaque: the window handle of the layers above

// Windows messages that the window manager's procedure handles.
enum : uint32_t {
  PLAT_WM_DESTROY = 0x0002,
  PLAT_WM_SIZE = 0x0005,             // lParam: client width (low 16 bits), height (high)
  PLAT_WM_CLOSE = 0x0010,
  PLAT_WM_WINDOWPOSCHANGED = 0x0047, // lParam: client position (platPoint)
  PLAT_WM_KEYDOWN = 0x0100,          // wParam: virtual key; lParam bit 30: was down (repeat)
  PLAT_WM_KEYUP = 0x0101,
  PLAT_WM_SYSKEYDOWN = 0x0104,       // with Alt held, and for Alt and F10 themselves
  PLAT_WM_SYSKEYUP = 0x0105,
  PLAT_WM_MOUSEMOVE = 0x0200,        // lParam: platPoint
  PLAT_WM_LBUTTONDOWN = 0x0201,
  PLAT_WM_LBUTTONUP = 0x0202,
  PLAT_WM_RBUTTONDOWN = 0x0204,
  PLAT_WM_RBUTTONUP = 0x0205,
  PLAT_WM_MBUTTONDOWN = 0x0207,
  PLAT_WM_MBUTTONUP = 0x0208,
  PLAT_WM_MOUSEWHEEL = 0x020A,       // wParam high 16 bits: signed delta, 120 per notch
  PLAT_WM_SIZING = 0x0214,
};

struct platMsg_t {
  platWindow_t *window;  // null when the event's window is not one of ours
  uint32_t windowId;
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};

// Two signed 16-bit coordinates in one lParam, as Windows packs them.
constexpr intptr_t platPoint(int x, int y) {
  return (intptr_t)(uint32_t)((uint16_t)(int16_t)x | ((uint32_t)(uint16_t)(int16_t)y << 16));
}
constexpr int platPointX(intptr_t p) { return (int16_t)(uint16_t)(p & 0xFFFF); }
constexpr int platPointY(intptr_t p) { return (int16_t)(uint16_t)((p >> 16) & 0xFFFF); }

// Video subsystem, reference counted. 0, or -1 with platVideoError() telling why.
int platVideoInit(void);
void platVideoDone(void);
int platVideoIsOn(void);
const char *platVideoError(void);

// Pixel format wanted for a GL window; set before the window is created.
struct platPixelFormat_t {
  int colorBits;    // 24 (8 per channel) or 16 (5-6-5)
  int alphaBits;
  int depthBits;
  int stencilBits;
};

enum : unsigned {
  PLAT_WINDOW_BORDER = 1,     // caption and frame
  PLAT_WINDOW_RESIZABLE = 2,
};

// A hidden GL-capable window with the given client rectangle; null when the system
// refuses (platVideoError).
platWindow_t *platWindowCreate(const char *title, int x, int y, int width, int height,
                               unsigned flags, const platPixelFormat_t *format);
void platWindowDestroy(platWindow_t *window);
void platWindowShow(platWindow_t *window);
void platWindowHide(platWindow_t *window);
void platWindowRaise(platWindow_t *window);  // foreground and input focus
void platWindowSetTitle(platWindow_t *window, const char *title);
void platWindowSetStyle(platWindow_t *window, unsigned flags);
void platWindowSetRect(platWindow_t *window, int x, int y, int width, int height);
// Client rectangle: position on the screen and size in pixels.
void platWindowGetRect(platWindow_t *window, int *x, int *y, int *width, int *height);
int platWindowIsFullScreen(platWindow_t *window);
uint32_t platWindowId(platWindow_t *window);

// GL context of a window, sharing objects with every other live context; null on
// failure. The new context is current on the window afterwards.
void *platGLCreateContext(platWindow_t *window);
// 0 or -1; a null context releases the current one.
int platGLMakeCurrent(platWindow_t *window, void *context);
void platGLDeleteContext(void *context);
void platGLSwap(platWindow_t *window);
// 0, or -1 when the GL cannot set it (no error is reported).
int platGLSetSwapInterval(int interval);

// Next translated message: 1 with *msg filled, 0 when the queue is empty.
int platPollMessage(platMsg_t *msg);
// Translation of one SDL_Event (passed as void * so no SDL header leaks out) into
// at most max messages; returns how many. windowId is set, window is left null.
int platTranslateEvent(const void *sdlEvent, platMsg_t *out, int max);
// Windows virtual-key code of an SDL scancode, 0 when the key has none.
uint8_t platVirtualKey(int scancode);

// ShowCursor: the counter goes up (show) or down; the cursor shows while it is >= 0.
// Returns the new count.
int platShowCursor(int show);

struct platMode_t {
  int width, height;
  int bits;       // 32 for every 4-byte-per-pixel format
  int frequency;  // Hz, 0 when unknown
};
// Desktop mode of the first display: 0, or -1.
int platDisplayDesktopMode(platMode_t *mode);
int platDisplayModeCount(void);
int platDisplayMode(int index, platMode_t *mode);
// Claims a listed mode (frequency 0: any) for the next window shown: 0, or -1 when no
// mode of the display matches (platVideoError names the request).
int platDisplayRequestMode(int width, int height, int bits, int frequency);
// Ends the claim at a window about to be shown: 1 when the window goes full screen in
// the claimed mode, 0 when nothing was claimed, -1 when it is of another size, is null
// (it could not be created) or the system refused (platVideoError tells which).
int platDisplayTakeMode(platWindow_t *window);
// Leaves an applied mode and drops a claim; the window keeps its size. 0, or -1 when
// the system would not leave full screen.
int platDisplayRestore(void);

// Screensaver: 0 with *enabled set, or -1 when it cannot be queried.
int platScreenSaverQuery(int *enabled);
void platScreenSaverEnable(int on);
