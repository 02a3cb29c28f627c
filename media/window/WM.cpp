// Window manager: window records, events, message pump, buffer swaps (see WM.h).
//
// Start order (wmInit): display connection, GL library, framework GL table, adapter
// probe, screensaver off, screen mode. The GL library must come before the table
// because the table is filled from it; the screen mode must be known before the
// first window, whose pixel format follows the screen depth.
// Depends on: list, mem, log; dm, wgl, dpms, ddraw, gl_stub; platform/window.
#include "media/window/WM.h"

#include <array>

#include "base/log.h"
#include "base/mem.h"
#include "media/window/ddraw.h"
#include "media/window/dpms.h"
#include "media/window/gl_stub.h"
#include "media/window/wgl.h"
#include "platform/window.h"

#define WM_LOG(text, ...) SYS_DbgLevelPrintf(2, "[wm][%s:%d:%s()]" text "\n", SYS_POS __VA_OPT__(, ) __VA_ARGS__)

namespace {

SYS_List_p g_windows = nullptr;
bool g_started = false;
bool g_extensionsChecked = false;

// Framework key codes by Windows virtual key, along the rows of a PC keyboard.
constexpr std::array<int32_t, 256> makeKeyTable() {
  constexpr struct { uint8_t vk; int32_t code; } kKeys[] = {
      {0x1B, 1},   {0x70, 2},   {0x71, 3},   {0x72, 4},   {0x73, 5},   {0x74, 6},   {0x75, 7},
      {0x76, 8},   {0x77, 9},   {0x78, 10},  {0x79, 11},  {0x7A, 12},  {0x7B, 13},  {0x91, 15},
      {0x13, 16},  {0xC0, 17},  {0x31, 18},  {0x32, 19},  {0x33, 20},  {0x34, 21},  {0x35, 22},
      {0x36, 23},  {0x37, 24},  {0x38, 25},  {0x39, 26},  {0x30, 27},  {0xBD, 28},  {0xBB, 29},
      {0x08, 30},  {0x2D, 31},  {0x24, 32},  {0x21, 33},  {0x90, 34},  {0x6F, 35},  {0x6A, 36},
      {0x6D, 37},  {0x09, 38},  {0x51, 39},  {0x57, 40},  {0x45, 41},  {0x52, 42},  {0x54, 43},
      {0x59, 44},  {0x55, 45},  {0x49, 46},  {0x4F, 47},  {0x50, 48},  {0xDB, 49},  {0xDD, 50},
      {0x0D, 51},  {0x2E, 52},  {0x23, 53},  {0x22, 54},  {0x67, 55},  {0x68, 56},  {0x69, 57},
      {0x6B, 58},  {0x14, 59},  {0x41, 60},  {0x53, 61},  {0x44, 62},  {0x46, 63},  {0x47, 64},
      {0x48, 65},  {0x4A, 66},  {0x4B, 67},  {0x4C, 68},  {0xBA, 69},  {0xDE, 70},  {0xE2, 71},
      {0x64, 72},  {0x65, 73},  {0x66, 74},  {0xA0, 75},  {0xDC, 76},  {0x5A, 77},  {0x58, 78},
      {0x43, 79},  {0x56, 80},  {0x42, 81},  {0x4E, 82},  {0x4D, 83},  {0xBC, 84},  {0xBE, 85},
      {0xBF, 86},  {0xA1, 87},  {0x26, 88},  {0x61, 89},  {0x62, 90},  {0x63, 91},  {0x20, 95},
      {0x25, 98},  {0x28, 99},  {0x27, 100}, {0x60, 101}, {0x6E, 102}, {0x10, 106}, {0x11, 107},
      {0x5B, 108}, {0x5C, 108}, {0x12, 109},
  };
  std::array<int32_t, 256> t{};
  for (const auto &k : kKeys) t[k.vk] = k.code;
  return t;
}
constexpr std::array<int32_t, 256> kKeyTable = makeKeyTable();
// The named codes (WM.h) are the table's, by virtual key.
static_assert(kKeyTable[0x1B] == WM_KEYCODE_ESCAPE && kKeyTable[0x24] == WM_KEYCODE_HOME &&
              kKeyTable[0x21] == WM_KEYCODE_PAGEUP && kKeyTable[0x0D] == WM_KEYCODE_ENTER &&
              kKeyTable[0x22] == WM_KEYCODE_PAGEDOWN && kKeyTable[0x25] == WM_KEYCODE_LEFT &&
              kKeyTable[0x27] == WM_KEYCODE_RIGHT);

bool listed(const wm_window_t *window) {
  for (SYS_List_p n = g_windows; n; n = n->next)
    if (n->item == window) return true;
  return false;
}

wm_window_t *findByHandle(const platWindow_t *handle) {
  if (!handle) return nullptr;
  for (SYS_List_p n = g_windows; n; n = n->next) {
    auto *w = static_cast<wm_window_t *>(n->item);
    if (w->handle == handle) return w;
  }
  return nullptr;
}

unsigned platformStyle(uint32_t style) {
  return ((style & WM_STYLE_CAPTION) ? PLAT_WINDOW_BORDER : 0u) |
         ((style & WM_STYLE_THICKFRAME) ? PLAT_WINDOW_RESIZABLE : 0u);
}

int fail(int code) {
  errSetLastError(code);
  return -1;
}

}  // namespace

const int32_t *wmKeyTable(void) { return kKeyTable.data(); }

SYS_List_p wmGetWindowList(void) { return g_windows; }

int wmInit(void) {
  errClear();
  if (g_started) return 0;
  // The display connection stands in for the module handle and the window class.
  if (platVideoInit() != 0) {
    WM_LOG("  ! unable to open the display: %s", platVideoError());
    return fail(3008);
  }
  WM_LOG("   - initialize WGL subsystem...");
  if (wglInit() != 0) {
    WM_LOG("  ! FATAL ERROR in WGL initialization.");
    platVideoDone();
    return fail(3001);
  }
  WM_LOG("  ...done.");
  if (gl_stub() != 0) {
    WM_LOG("  ! FATAL ERROR in OpenGL initialization.");
    wglDone();
    platVideoDone();
    return fail(3001);
  }
  WM_LOG("   - initialize DirectX subsystem...");
  ddInit();  // never succeeds here: the adapter name stays null and the video memory 0
  WM_LOG("  ...done.");
  errClear();  // a missing adapter probe is no failure of the start
  dpmsInit();
  dpmsEnable(0);
  dmInit();
  g_started = true;
  return 0;
}

int wmDone(void) {
  // Native windows die with the display connection; records must not outlive them.
  while (g_windows) wmDestroyWindow(static_cast<wm_window_t *>(g_windows->item));
  ddDone();
  wglDone();
  dpmsDone();
  dmDone();
  if (g_started) platVideoDone();
  g_started = false;
  errClear();
  return 0;
}

wm_window_t *wmCreateWindow(int32_t x, int32_t y, int32_t width, int32_t height) {
  errClear();
  auto *w = static_cast<wm_window_t *>(SYS_MemGet(sizeof(wm_window_t), "New Window"));
  if (!w) {
    errSetLastError(5);
    return nullptr;
  }
  w->x = x;
  w->y = y;
  w->width = width;
  w->height = height;
  w->style = WM_STYLE_DEFAULT;
  SYS_List_p head = SYS_ListAddFirst(g_windows, w);
  if (errGetLastError() != 0) {  // the list hands the old head back
    SYS_MemFree(&w);
    errSetLastError(5);
    return nullptr;
  }
  g_windows = head;
  return w;
}

int wmShowWindow(wm_window_t *window) {
  errClear();
  if (!window || !listed(window)) return fail(10);
  wmOptions(window, WM_OPT_RESIZABLE, window->resizable);
  if (window->fullscreen) window->style |= WM_STYLE_FULLSCREEN;

  if (window->handle) {
    // Shown before: the same native window and context come up again.
    platWindowSetStyle(window->handle, platformStyle(window->style));
    dmTakeMode(window->handle);
    platWindowShow(window->handle);
    platWindowRaise(window->handle);
    return 0;
  }

  wglPixelFormat(window);
  platPixelFormat_t format{window->pfd.cColorBits, window->pfd.cAlphaBits, window->pfd.cDepthBits,
                           window->pfd.cStencilBits};
  window->handle = platWindowCreate(window->title, window->x, window->y, window->width, window->height,
                                    platformStyle(window->style), &format);
  if (!window->handle) {
    WM_LOG("  ! unable to create the window: %s", platVideoError());
    dmTakeMode(nullptr);  // the claim was this window's: it must not pass to the next
    return fail(3005);
  }
  window->pixelFormat = 1;
  wmOptions(window, WM_OPT_HIDECURSOR, window->hideCursor);
  dmTakeMode(window->handle);
  platWindowShow(window->handle);
  platWindowRaise(window->handle);
  if (wglContextCreate(window) != 0) return fail(3001);
  // The first context decides which extension slots of the framework table stay.
  if (!g_extensionsChecked && gl_stub_check() == 0) g_extensionsChecked = true;
  wglLogInfo();
  return 0;
}

int wmHideWindow(wm_window_t *window) {
  errClear();
  if (!window || !listed(window)) return fail(10);
  if (window->handle) platWindowHide(window->handle);
  return 0;
}

int wmDestroyWindow(wm_window_t *window) {
  errClear();
  if (!window || !listed(window)) return fail(10);
  // The last close below may run callbacks that destroy this window again, or others
  // whose callbacks do: the guard belongs to each record.
  if (window->destroying) return 0;
  window->destroying = 1;
  if (window->handle) platWindowHide(window->handle);
  platShowCursor(1);
  wglContextDestroy(window);
  if (window->handle) {
    // Windows delivers WM_DESTROY while the record is still listed: one more close.
    wmWindowProc(window->handle, PLAT_WM_DESTROY, 0, 0);
    platWindowDestroy(window->handle);
  }
  g_windows = SYS_ListDelItem(g_windows, window);
  SYS_MemFree(&window->title);
  SYS_MemFree(&window);
  errClear();
  return 0;
}

intptr_t wmOptions(wm_window_t *window, uint32_t code, intptr_t value) {
  errClear();
  switch (code) {
    case WM_OPT_ADAPTER: return 0;  // no adapter probe here (ddraw.h)
    case WM_OPT_VIDEOMEMORY: return 0;
    case WM_OPT_SCREENWIDTH: return dmScreen.width;
    case WM_OPT_SCREENHEIGHT: return dmScreen.height;
    case WM_OPT_SCREENBITS: return dmScreen.bits;
    case WM_OPT_SCREENHZ: return dmScreen.frequency;
    default: break;
  }
  if (!window) return fail(3006);
  switch (code) {
    case WM_OPT_CALLBACK:
      window->callback = reinterpret_cast<wm_callback_t>(value);
      return 0;
    case WM_OPT_SETCONF: {
      const auto *conf = reinterpret_cast<const wm_conf_t *>(value);
      if (!conf) return fail(10);
      window->x = conf->x;
      window->y = conf->y;
      window->width = conf->width;
      window->height = conf->height;
      if (window->handle) {
        platWindowSetRect(window->handle, conf->x, conf->y, conf->width, conf->height);
        platWindowShow(window->handle);
      }
      return 0;
    }
    case WM_OPT_WIDTH: return window->width;
    case WM_OPT_HEIGHT: return window->height;
    case WM_OPT_X: return window->x;
    case WM_OPT_Y: return window->y;
    case WM_OPT_GETCONF: {
      auto *conf = reinterpret_cast<wm_conf_t *>(value);
      if (conf) {
        conf->x = window->x;
        conf->y = window->y;
        conf->width = window->width;
        conf->height = window->height;
      }
      return 0;
    }
    case WM_OPT_HIDECURSOR:
      window->hideCursor = (int32_t)value;
      platShowCursor(value == 0);
      platShowCursor(value == 0);
      return 0;
    case WM_OPT_FULLSCREEN:
      window->fullscreen = (int32_t)value;
      if (window->handle)
        SYS_DbgLevelPrintf(2, "[wm][%s:%d:%s()]  ! TODO: switch fullscreen (%s:%d)\n", SYS_POS, __FILE_NAME__,
                           __LINE__);
      return 0;
    case WM_OPT_TITLE: {
      const char *text = reinterpret_cast<const char *>(value);
      SYS_MemFree(&window->title);
      window->title = text ? SYS_StrDup(text) : nullptr;
      if (text && !window->title) return fail(5);
      if (window->handle) platWindowSetTitle(window->handle, window->title);
      return 0;
    }
    case WM_OPT_BORDERLESS:
      window->borderless = (int32_t)value;
      window->style = value ? window->style & ~WM_STYLE_DEFAULT : window->style | WM_STYLE_DEFAULT;
      if (window->handle) {
        platWindowSetStyle(window->handle, platformStyle(window->style));
        platWindowShow(window->handle);
      }
      return 0;
    case WM_OPT_SETUSERDATA:
      window->userData = reinterpret_cast<void *>(value);
      return 0;
    case WM_OPT_GETUSERDATA: return reinterpret_cast<intptr_t>(window->userData);
    case WM_OPT_RESIZABLE:
      window->resizable = (int32_t)value;
      window->style = value ? window->style | WM_STYLE_THICKFRAME : window->style & ~WM_STYLE_THICKFRAME;
      if (window->handle) platWindowSetStyle(window->handle, platformStyle(window->style));
      return 0;
    default: return 0;
  }
}

intptr_t wmWindowProc(platWindow_t *handle, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  wm_window_t *w = findByHandle(handle);
  if (!w) return 0;
  wm_event_t ev{};
  ev.window = w;
  bool mouse = false;
  switch (message) {
    case PLAT_WM_DESTROY:
    case PLAT_WM_CLOSE:
      ev.type = WM_EVENT_WINDOW;
      ev.conf.type = WM_CONF_CLOSE;
      break;
    case PLAT_WM_SIZE:
    case PLAT_WM_SIZING:
      ev.type = WM_EVENT_WINDOW;
      ev.conf.type = WM_CONF_CONFIGURE;
      w->width = (int32_t)(lParam & 0xFFFF);
      w->height = (int32_t)((lParam >> 16) & 0xFFFF);
      ev.conf.width = w->width;
      ev.conf.height = w->height;
      break;
    case PLAT_WM_WINDOWPOSCHANGED:
      // The real client position, where Windows' GetClientRect would give 0, 0.
      ev.type = WM_EVENT_WINDOW;
      ev.conf.type = WM_CONF_CONFIGURE;
      w->x = platPointX(lParam);
      w->y = platPointY(lParam);
      ev.conf.x = w->x;
      ev.conf.y = w->y;
      ev.conf.width = w->width;
      ev.conf.height = w->height;
      break;
    case PLAT_WM_KEYDOWN:
    case PLAT_WM_SYSKEYDOWN:
    case PLAT_WM_KEYUP:
    case PLAT_WM_SYSKEYUP:
      ev.type = WM_EVENT_KEY;
      ev.key.type = (message == PLAT_WM_KEYDOWN || message == PLAT_WM_SYSKEYDOWN) ? WM_KEY_DOWN : WM_KEY_UP;
      ev.key.key = kKeyTable[wParam & 0xFF];
      break;
    case PLAT_WM_MOUSEMOVE: ev.mouse.button = WM_MOUSE_MOVE; mouse = true; break;
    case PLAT_WM_LBUTTONDOWN: w->left = 1; ev.mouse.button = WM_MOUSE_LEFT_DOWN; mouse = true; break;
    case PLAT_WM_LBUTTONUP: w->left = 0; ev.mouse.button = WM_MOUSE_LEFT_UP; mouse = true; break;
    case PLAT_WM_RBUTTONDOWN: w->right = 1; ev.mouse.button = WM_MOUSE_RIGHT_DOWN; mouse = true; break;
    case PLAT_WM_RBUTTONUP: w->right = 0; ev.mouse.button = WM_MOUSE_RIGHT_UP; mouse = true; break;
    case PLAT_WM_MBUTTONDOWN: w->middle = 1; ev.mouse.button = WM_MOUSE_MIDDLE_DOWN; mouse = true; break;
    case PLAT_WM_MBUTTONUP: w->middle = 0; ev.mouse.button = WM_MOUSE_MIDDLE_UP; mouse = true; break;
    case PLAT_WM_MOUSEWHEEL: {
      int16_t delta = (int16_t)(uint16_t)((wParam >> 16) & 0xFFFF);
      ev.mouse.button = WM_MOUSE_MOVE;
      if (delta > 0)
        ev.mouse.wheelForward = 1;
      else
        ev.mouse.wheelBack = 1;
      mouse = true;
      break;
    }
    default: return 0;
  }
  if (mouse) {
    ev.type = WM_EVENT_MOUSE;
    ev.mouse.left = w->left;
    ev.mouse.right = w->right;
    ev.mouse.middle = w->middle;
    ev.mouse.x = platPointX(lParam);
    ev.mouse.y = platPointY(lParam);
    ev.mouse.dx = ev.mouse.x - w->lastMouseX;
    ev.mouse.dy = ev.mouse.y - w->lastMouseY;
    w->lastMouseX = ev.mouse.x;
    w->lastMouseY = ev.mouse.y;
  }
  if (w->callback) w->callback(&ev);  // may destroy w: nothing touches it afterwards
  return 0;
}

int wmProcessEvents(void) {
  platMsg_t m;
  while (platPollMessage(&m)) wmWindowProc(m.window, m.message, m.wParam, m.lParam);
  return 0;
}

int wmSwapBuffers(wm_window_t *window) {
  if (!window || !window->dc) return 0;
  platGLSwap(window->dc);
  return 1;
}

int wmMakeCurrent(wm_window_t *window) {
  if (!window || !window->dc || !window->glContext) return 0;
  return platGLMakeCurrent(window->dc, window->glContext) == 0 ? 1 : 0;
}

int wmTransitionBegin(int32_t, float) {
  errClear();
  return 0;
}

int wmTransitionEnd(void) {
  errClear();
  return 0;
}
