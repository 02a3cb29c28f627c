// Native windows, GL contexts, input events, cursor, display modes and screensaver
// on SDL2 (see window.h for the Windows behaviour each part reproduces).
// Depends on: SDL2.
#include "platform/window.h"

#include <SDL.h>

#include <array>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char *kOwnerKey = "korv.window";  // marks SDL windows made here

int g_videoRefs = 0;
char g_error[256] = "";
int g_cursorCount = 0;

// Live GL contexts: a new context shares with any of them (they form one group).
struct LiveContext {
  SDL_Window *window;
  SDL_GLContext context;
};
std::array<LiveContext, 64> g_contexts{};

// Display mode claimed by platDisplayRequestMode, and the window that holds it.
bool g_pendingValid = false;
SDL_DisplayMode g_pending{};
SDL_Window *g_modeOwner = nullptr;

// Translated messages not yet handed out (one SDL event gives at most a few).
std::array<platMsg_t, 8> g_queue{};
int g_queueHead = 0, g_queueCount = 0;

SDL_Window *sdl(platWindow_t *w) { return reinterpret_cast<SDL_Window *>(w); }
platWindow_t *plat(SDL_Window *w) { return reinterpret_cast<platWindow_t *>(w); }

void keepError(void) { std::snprintf(g_error, sizeof g_error, "%s", SDL_GetError()); }

int modeBits(Uint32 format) { return SDL_BYTESPERPIXEL(format) == 4 ? 32 : (int)SDL_BITSPERPIXEL(format); }

void toPlat(const SDL_DisplayMode &m, platMode_t *out) {
  out->width = m.w;
  out->height = m.h;
  out->bits = modeBits(m.format);
  out->frequency = m.refresh_rate;
}

// Windows virtual keys by USB scancode; positions as on a US keyboard.
constexpr std::array<uint8_t, SDL_NUM_SCANCODES> makeKeyMap() {
  std::array<uint8_t, SDL_NUM_SCANCODES> k{};
  for (int i = 0; i < 26; ++i) k[SDL_SCANCODE_A + i] = (uint8_t)('A' + i);
  for (int i = 0; i < 9; ++i) k[SDL_SCANCODE_1 + i] = (uint8_t)('1' + i);
  k[SDL_SCANCODE_0] = '0';
  for (int i = 0; i < 12; ++i) k[SDL_SCANCODE_F1 + i] = (uint8_t)(0x70 + i);
  for (int i = 0; i < 12; ++i) k[SDL_SCANCODE_F13 + i] = (uint8_t)(0x7C + i);
  for (int i = 0; i < 9; ++i) k[SDL_SCANCODE_KP_1 + i] = (uint8_t)(0x61 + i);
  k[SDL_SCANCODE_KP_0] = 0x60;
  k[SDL_SCANCODE_RETURN] = 0x0D;
  k[SDL_SCANCODE_KP_ENTER] = 0x0D;
  k[SDL_SCANCODE_ESCAPE] = 0x1B;
  k[SDL_SCANCODE_BACKSPACE] = 0x08;
  k[SDL_SCANCODE_TAB] = 0x09;
  k[SDL_SCANCODE_SPACE] = 0x20;
  k[SDL_SCANCODE_MINUS] = 0xBD;
  k[SDL_SCANCODE_EQUALS] = 0xBB;
  k[SDL_SCANCODE_LEFTBRACKET] = 0xDB;
  k[SDL_SCANCODE_RIGHTBRACKET] = 0xDD;
  k[SDL_SCANCODE_BACKSLASH] = 0xDC;
  k[SDL_SCANCODE_NONUSHASH] = 0xDC;  // same key position, same scancode on Windows
  k[SDL_SCANCODE_SEMICOLON] = 0xBA;
  k[SDL_SCANCODE_APOSTROPHE] = 0xDE;
  k[SDL_SCANCODE_GRAVE] = 0xC0;
  k[SDL_SCANCODE_COMMA] = 0xBC;
  k[SDL_SCANCODE_PERIOD] = 0xBE;
  k[SDL_SCANCODE_SLASH] = 0xBF;
  k[SDL_SCANCODE_NONUSBACKSLASH] = 0xE2;
  k[SDL_SCANCODE_CAPSLOCK] = 0x14;
  k[SDL_SCANCODE_PRINTSCREEN] = 0x2C;
  k[SDL_SCANCODE_SCROLLLOCK] = 0x91;
  k[SDL_SCANCODE_PAUSE] = 0x13;
  k[SDL_SCANCODE_INSERT] = 0x2D;
  k[SDL_SCANCODE_HOME] = 0x24;
  k[SDL_SCANCODE_PAGEUP] = 0x21;
  k[SDL_SCANCODE_DELETE] = 0x2E;
  k[SDL_SCANCODE_END] = 0x23;
  k[SDL_SCANCODE_PAGEDOWN] = 0x22;
  k[SDL_SCANCODE_RIGHT] = 0x27;
  k[SDL_SCANCODE_LEFT] = 0x25;
  k[SDL_SCANCODE_DOWN] = 0x28;
  k[SDL_SCANCODE_UP] = 0x26;
  k[SDL_SCANCODE_NUMLOCKCLEAR] = 0x90;
  k[SDL_SCANCODE_KP_DIVIDE] = 0x6F;
  k[SDL_SCANCODE_KP_MULTIPLY] = 0x6A;
  k[SDL_SCANCODE_KP_MINUS] = 0x6D;
  k[SDL_SCANCODE_KP_PLUS] = 0x6B;
  k[SDL_SCANCODE_KP_PERIOD] = 0x6E;
  k[SDL_SCANCODE_APPLICATION] = 0x5D;
  // Windows reports the generic modifier keys in WM_KEYDOWN, never the sided ones.
  k[SDL_SCANCODE_LSHIFT] = k[SDL_SCANCODE_RSHIFT] = 0x10;
  k[SDL_SCANCODE_LCTRL] = k[SDL_SCANCODE_RCTRL] = 0x11;
  k[SDL_SCANCODE_LALT] = k[SDL_SCANCODE_RALT] = 0x12;
  k[SDL_SCANCODE_LGUI] = 0x5B;
  k[SDL_SCANCODE_RGUI] = 0x5C;
  k[SDL_SCANCODE_MUTE] = 0xAD;
  k[SDL_SCANCODE_VOLUMEDOWN] = 0xAE;
  k[SDL_SCANCODE_VOLUMEUP] = 0xAF;
  k[SDL_SCANCODE_AUDIONEXT] = 0xB0;
  k[SDL_SCANCODE_AUDIOPREV] = 0xB1;
  k[SDL_SCANCODE_AUDIOSTOP] = 0xB2;
  k[SDL_SCANCODE_AUDIOPLAY] = 0xB3;
  return k;
}
constexpr std::array<uint8_t, SDL_NUM_SCANCODES> kKeyMap = makeKeyMap();

platMsg_t message(uint32_t id, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  return platMsg_t{nullptr, id, msg, wParam, lParam};
}

uintptr_t mouseKeys(Uint32 state) {
  return ((state & SDL_BUTTON_LMASK) ? 0x01u : 0u) | ((state & SDL_BUTTON_RMASK) ? 0x02u : 0u) |
         ((state & SDL_BUTTON_MMASK) ? 0x10u : 0u);
}

}  // namespace

int platVideoInit(void) {
  if (g_videoRefs > 0) {
    ++g_videoRefs;
    return 0;
  }
  // Without this hint SDL switches the screensaver off by itself; the window manager
  // decides that through platScreenSaverEnable.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    keepError();
    return -1;
  }
  SDL_StopTextInput();  // key messages only; no input method in between
  SDL_ShowCursor(g_cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
  g_videoRefs = 1;
  return 0;
}

void platVideoDone(void) {
  if (g_videoRefs == 0 || --g_videoRefs > 0) return;
  g_pendingValid = false;
  g_modeOwner = nullptr;
  g_queueCount = 0;
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

int platVideoIsOn(void) { return g_videoRefs > 0; }

const char *platVideoError(void) { return g_error; }

platWindow_t *platWindowCreate(const char *title, int x, int y, int width, int height,
                               unsigned flags, const platPixelFormat_t *format) {
  if (!g_videoRefs) {
    std::snprintf(g_error, sizeof g_error, "video is not initialised");
    return nullptr;
  }
  // The visual is chosen when the window is created, so the format goes first.
  int colour = format ? format->colorBits : 24;
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, colour <= 16 ? 5 : 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, colour <= 16 ? 6 : 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, colour <= 16 ? 5 : 8);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, format ? format->alphaBits : 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, format ? format->depthBits : 24);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, format ? format->stencilBits : 0);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);

  Uint32 sdlFlags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
  if (!(flags & PLAT_WINDOW_BORDER)) sdlFlags |= SDL_WINDOW_BORDERLESS;
  if (flags & PLAT_WINDOW_RESIZABLE) sdlFlags |= SDL_WINDOW_RESIZABLE;
  SDL_Window *w = SDL_CreateWindow(title ? title : "", x, y, width, height, sdlFlags);
  if (!w) {
    keepError();
    return nullptr;
  }
  SDL_SetWindowData(w, kOwnerKey, w);
  return plat(w);
}

void platWindowDestroy(platWindow_t *window) {
  SDL_Window *w = sdl(window);
  if (!w) return;
  if (g_modeOwner == w) g_modeOwner = nullptr;
  for (LiveContext &c : g_contexts)
    if (c.window == w) c.window = nullptr;  // still alive, but no longer usable for sharing
  SDL_SetWindowData(w, kOwnerKey, nullptr);
  SDL_DestroyWindow(w);
}

void platWindowShow(platWindow_t *window) { SDL_ShowWindow(sdl(window)); }
void platWindowHide(platWindow_t *window) { SDL_HideWindow(sdl(window)); }
void platWindowRaise(platWindow_t *window) { SDL_RaiseWindow(sdl(window)); }
void platWindowSetTitle(platWindow_t *window, const char *title) { SDL_SetWindowTitle(sdl(window), title ? title : ""); }

void platWindowSetStyle(platWindow_t *window, unsigned flags) {
  SDL_SetWindowBordered(sdl(window), (flags & PLAT_WINDOW_BORDER) ? SDL_TRUE : SDL_FALSE);
  SDL_SetWindowResizable(sdl(window), (flags & PLAT_WINDOW_RESIZABLE) ? SDL_TRUE : SDL_FALSE);
}

void platWindowSetRect(platWindow_t *window, int x, int y, int width, int height) {
  SDL_SetWindowPosition(sdl(window), x, y);
  SDL_SetWindowSize(sdl(window), width, height);
}

void platWindowGetRect(platWindow_t *window, int *x, int *y, int *width, int *height) {
  int px = 0, py = 0, w = 0, h = 0;
  SDL_GetWindowPosition(sdl(window), &px, &py);
  SDL_GetWindowSize(sdl(window), &w, &h);
  if (x) *x = px;
  if (y) *y = py;
  if (width) *width = w;
  if (height) *height = h;
}

int platWindowIsFullScreen(platWindow_t *window) {
  return (SDL_GetWindowFlags(sdl(window)) & SDL_WINDOW_FULLSCREEN) != 0;
}

uint32_t platWindowId(platWindow_t *window) { return SDL_GetWindowID(sdl(window)); }

void *platGLCreateContext(platWindow_t *window) {
  SDL_Window *w = sdl(window);
  int share = 0;
  for (const LiveContext &c : g_contexts) {
    if (c.context && c.window && SDL_GL_MakeCurrent(c.window, c.context) == 0) {
      share = 1;
      break;
    }
  }
  SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, share);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GLContext context = SDL_GL_CreateContext(w);
  SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
  if (!context) {
    keepError();
    return nullptr;
  }
  for (LiveContext &c : g_contexts) {
    if (!c.context) {
      c = LiveContext{w, context};
      break;
    }
  }
  return context;
}

int platGLMakeCurrent(platWindow_t *window, void *context) {
  if (SDL_GL_MakeCurrent(sdl(window), context) != 0) {
    keepError();
    return -1;
  }
  return 0;
}

void platGLDeleteContext(void *context) {
  if (!context) return;
  for (LiveContext &c : g_contexts)
    if (c.context == context) c = LiveContext{};
  SDL_GL_DeleteContext(context);
}

void platGLSwap(platWindow_t *window) { SDL_GL_SwapWindow(sdl(window)); }

int platGLSetSwapInterval(int interval) { return SDL_GL_SetSwapInterval(interval) == 0 ? 0 : -1; }

uint8_t platVirtualKey(int scancode) {
  return scancode >= 0 && scancode < SDL_NUM_SCANCODES ? kKeyMap[(size_t)scancode] : 0;
}

int platTranslateEvent(const void *sdlEvent, platMsg_t *out, int max) {
  const SDL_Event &e = *static_cast<const SDL_Event *>(sdlEvent);
  if (max < 1) return 0;
  switch (e.type) {
    // SIGINT, SIGTERM or the session asking the program to quit: every shown window is
    // closed, as the user could have done.
    case SDL_QUIT: {
      int n = 0;
      for (const LiveContext &c : g_contexts) {
        if (!c.window || n >= max) continue;
        uint32_t id = SDL_GetWindowID(c.window);
        bool seen = false;
        for (int i = 0; i < n; i++) seen = seen || out[i].windowId == id;
        if (!seen) out[n++] = message(id, PLAT_WM_CLOSE, 0, 0);
      }
      return n;
    }
    case SDL_WINDOWEVENT: {
      const SDL_WindowEvent &we = e.window;
      switch (we.event) {
        case SDL_WINDOWEVENT_CLOSE:
          out[0] = message(we.windowID, PLAT_WM_CLOSE, 0, 0);
          return 1;
        // SIZE_CHANGED comes once for every change, from the user or from the program;
        // RESIZED would repeat it for the user's.
        case SDL_WINDOWEVENT_SIZE_CHANGED:
          out[0] = message(we.windowID, PLAT_WM_SIZE, 0, platPoint(we.data1, we.data2));
          return 1;
        case SDL_WINDOWEVENT_MOVED:
          out[0] = message(we.windowID, PLAT_WM_WINDOWPOSCHANGED, 0, platPoint(we.data1, we.data2));
          return 1;
        default:
          return 0;
      }
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      const SDL_KeyboardEvent &ke = e.key;
      bool down = e.type == SDL_KEYDOWN;
      uint8_t vk = platVirtualKey(ke.keysym.scancode);
      // Windows sends Alt combinations, Alt itself and F10 as system keys.
      bool sys = (ke.keysym.mod & KMOD_ALT) || vk == 0x12 || vk == 0x79;
      uint32_t msg = down ? (sys ? PLAT_WM_SYSKEYDOWN : PLAT_WM_KEYDOWN) : (sys ? PLAT_WM_SYSKEYUP : PLAT_WM_KEYUP);
      uint32_t lp = 1u | ((uint32_t)(ke.keysym.scancode & 0xFF) << 16);
      if (!down || ke.repeat) lp |= 1u << 30;
      if (!down) lp |= 1u << 31;
      out[0] = message(ke.windowID, msg, vk, (intptr_t)lp);
      return 1;
    }
    case SDL_MOUSEMOTION:
      out[0] = message(e.motion.windowID, PLAT_WM_MOUSEMOVE, mouseKeys(e.motion.state),
                       platPoint(e.motion.x, e.motion.y));
      return 1;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      const SDL_MouseButtonEvent &be = e.button;
      bool down = e.type == SDL_MOUSEBUTTONDOWN;
      uint32_t msg;
      switch (be.button) {
        case SDL_BUTTON_LEFT: msg = down ? PLAT_WM_LBUTTONDOWN : PLAT_WM_LBUTTONUP; break;
        case SDL_BUTTON_RIGHT: msg = down ? PLAT_WM_RBUTTONDOWN : PLAT_WM_RBUTTONUP; break;
        case SDL_BUTTON_MIDDLE: msg = down ? PLAT_WM_MBUTTONDOWN : PLAT_WM_MBUTTONUP; break;
        default: return 0;  // side buttons have no message the window manager handles
      }
      out[0] = message(be.windowID, msg, 0, platPoint(be.x, be.y));
      return 1;
    }
    case SDL_MOUSEWHEEL: {
      const SDL_MouseWheelEvent &we = e.wheel;
      int notches = we.direction == SDL_MOUSEWHEEL_FLIPPED ? -we.y : we.y;
      if (notches == 0) return 0;  // horizontal only
      int delta = notches * 120;
      delta = delta > 32767 ? 32767 : delta < -32768 ? -32768 : delta;
      out[0] = message(we.windowID, PLAT_WM_MOUSEWHEEL, (uintptr_t)(uint16_t)(int16_t)delta << 16,
                       platPoint(we.mouseX, we.mouseY));
      return 1;
    }
    default:
      return 0;
  }
}

int platPollMessage(platMsg_t *msg) {
  if (!g_videoRefs) return 0;
  for (;;) {
    while (g_queueCount > 0) {
      platMsg_t m = g_queue[(size_t)g_queueHead];
      g_queueHead = (g_queueHead + 1) % (int)g_queue.size();
      --g_queueCount;
      SDL_Window *w = SDL_GetWindowFromID(m.windowId);
      if (!w || SDL_GetWindowData(w, kOwnerKey) != w) continue;
      m.window = plat(w);
      *msg = m;
      return 1;
    }
    SDL_Event e;
    if (!SDL_PollEvent(&e)) return 0;
    g_queueHead = 0;
    g_queueCount = platTranslateEvent(&e, g_queue.data(), (int)g_queue.size());
  }
}

int platShowCursor(int show) {
  g_cursorCount += show ? 1 : -1;
  if (g_videoRefs) SDL_ShowCursor(g_cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
  return g_cursorCount;
}

int platDisplayDesktopMode(platMode_t *mode) {
  SDL_DisplayMode m;
  if (!g_videoRefs || SDL_GetDesktopDisplayMode(0, &m) != 0) return -1;
  toPlat(m, mode);
  return 0;
}

int platDisplayModeCount(void) {
  if (!g_videoRefs) return 0;
  int n = SDL_GetNumDisplayModes(0);
  return n > 0 ? n : 0;
}

int platDisplayMode(int index, platMode_t *mode) {
  SDL_DisplayMode m;
  if (!g_videoRefs || SDL_GetDisplayMode(0, index, &m) != 0) return -1;
  toPlat(m, mode);
  return 0;
}

int platDisplayRequestMode(int width, int height, int bits, int frequency) {
  int n = platDisplayModeCount();
  for (int i = 0; i < n; ++i) {
    SDL_DisplayMode m;
    if (SDL_GetDisplayMode(0, i, &m) != 0) continue;
    if (m.w == width && m.h == height && modeBits(m.format) == bits &&
        (frequency == 0 || m.refresh_rate == frequency)) {
      g_pending = m;
      g_pendingValid = true;
      return 0;
    }
  }
  std::snprintf(g_error, sizeof g_error, "no display mode %dx%d %d bits %d Hz", width, height, bits, frequency);
  return -1;
}

int platDisplayTakeMode(platWindow_t *window) {
  if (!g_pendingValid) return 0;
  g_pendingValid = false;
  SDL_Window *w = sdl(window);
  if (!w) {
    std::snprintf(g_error, sizeof g_error, "no window");
    return -1;
  }
  int width = 0, height = 0;
  SDL_GetWindowSize(w, &width, &height);
  // Full screen must never hand a window another size than it asked for.
  if (width != g_pending.w || height != g_pending.h) {
    std::snprintf(g_error, sizeof g_error, "the window is %dx%d", width, height);
    return -1;
  }
  // On a hidden window the switch happens when it is shown.
  if (SDL_SetWindowDisplayMode(w, &g_pending) != 0 || SDL_SetWindowFullscreen(w, SDL_WINDOW_FULLSCREEN) != 0) {
    keepError();
    return -1;
  }
  g_modeOwner = w;
  return 1;
}

int platDisplayRestore(void) {
  g_pendingValid = false;
  if (!g_modeOwner) return 0;
  SDL_Window *w = g_modeOwner;
  g_modeOwner = nullptr;
  if (SDL_SetWindowFullscreen(w, 0) != 0) {
    keepError();
    return -1;
  }
  return 0;
}

int platScreenSaverQuery(int *enabled) {
  if (!g_videoRefs) return -1;
  *enabled = SDL_IsScreenSaverEnabled() ? 1 : 0;
  return 0;
}

void platScreenSaverEnable(int on) {
  if (!g_videoRefs) return;
  if (on)
    SDL_EnableScreenSaver();
  else
    SDL_DisableScreenSaver();
}
