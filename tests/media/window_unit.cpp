// Window manager without a display: key table, event translation from SDL events
// through the window procedure, the wmOptions table, and list errors.
#include <gtest/gtest.h>

#include <SDL.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/main.h"
#include "base/mem.h"
#include "media/window/WM.h"
#include "media/window/gl_stub.h"
#include "media/window/wgl.h"
#include "platform/window.h"

namespace {

// Framework code = virtual key, as the keyboard rows list them.
constexpr struct { int code, vk; } kCodes[] = {
    {1, 0x1B},  {2, 0x70},  {3, 0x71},  {4, 0x72},  {5, 0x73},  {6, 0x74},  {7, 0x75},  {8, 0x76},
    {9, 0x77},  {10, 0x78}, {11, 0x79}, {12, 0x7A}, {13, 0x7B}, {15, 0x91}, {16, 0x13}, {17, 0xC0},
    {18, 0x31}, {19, 0x32}, {20, 0x33}, {21, 0x34}, {22, 0x35}, {23, 0x36}, {24, 0x37}, {25, 0x38},
    {26, 0x39}, {27, 0x30}, {28, 0xBD}, {29, 0xBB}, {30, 0x08}, {31, 0x2D}, {32, 0x24}, {33, 0x21},
    {34, 0x90}, {35, 0x6F}, {36, 0x6A}, {37, 0x6D}, {38, 0x09}, {39, 0x51}, {40, 0x57}, {41, 0x45},
    {42, 0x52}, {43, 0x54}, {44, 0x59}, {45, 0x55}, {46, 0x49}, {47, 0x4F}, {48, 0x50}, {49, 0xDB},
    {50, 0xDD}, {51, 0x0D}, {52, 0x2E}, {53, 0x23}, {54, 0x22}, {55, 0x67}, {56, 0x68}, {57, 0x69},
    {58, 0x6B}, {59, 0x14}, {60, 0x41}, {61, 0x53}, {62, 0x44}, {63, 0x46}, {64, 0x47}, {65, 0x48},
    {66, 0x4A}, {67, 0x4B}, {68, 0x4C}, {69, 0xBA}, {70, 0xDE}, {71, 0xE2}, {72, 0x64}, {73, 0x65},
    {74, 0x66}, {75, 0xA0}, {76, 0xDC}, {77, 0x5A}, {78, 0x58}, {79, 0x43}, {80, 0x56}, {81, 0x42},
    {82, 0x4E}, {83, 0x4D}, {84, 0xBC}, {85, 0xBE}, {86, 0xBF}, {87, 0xA1}, {88, 0x26}, {89, 0x61},
    {90, 0x62}, {91, 0x63}, {95, 0x20}, {98, 0x25}, {99, 0x28}, {100, 0x27}, {101, 0x60}, {102, 0x6E},
    {106, 0x10}, {107, 0x11}, {108, 0x5B}, {108, 0x5C}, {109, 0x12},
};

TEST(WindowKeys, TableHoldsEveryCodeAndNothingElse) {
  const int32_t *table = wmKeyTable();
  int expected[256] = {};
  for (const auto &c : kCodes) expected[c.vk] = c.code;
  int nonZero = 0;
  for (int vk = 0; vk < 256; ++vk) {
    EXPECT_EQ(table[vk], expected[vk]) << "virtual key 0x" << std::hex << vk;
    nonZero += table[vk] != 0;
  }
  EXPECT_EQ(nonZero, 101);
}

// Scancode -> virtual key -> framework code, where the mapping is a decision and
// not just the US row layout.
TEST(WindowKeys, ScancodesGiveTheKeysWindowsReports) {
  const int32_t *table = wmKeyTable();
  constexpr struct { SDL_Scancode sc; int code; } kCases[] = {
      {SDL_SCANCODE_LSHIFT, 106},   {SDL_SCANCODE_RSHIFT, 106}, {SDL_SCANCODE_LCTRL, 107},
      {SDL_SCANCODE_RCTRL, 107},    {SDL_SCANCODE_LALT, 109},   {SDL_SCANCODE_RALT, 109},
      {SDL_SCANCODE_KP_ENTER, 51},  {SDL_SCANCODE_RETURN, 51},  {SDL_SCANCODE_ESCAPE, 1},
      {SDL_SCANCODE_A, 60},         {SDL_SCANCODE_0, 27},       {SDL_SCANCODE_F12, 13},
      {SDL_SCANCODE_KP_0, 101},     {SDL_SCANCODE_NONUSBACKSLASH, 71}, {SDL_SCANCODE_LGUI, 108},
      {SDL_SCANCODE_GRAVE, 17},     {SDL_SCANCODE_UP, 88},      {SDL_SCANCODE_AUDIONEXT, 0},
      {SDL_SCANCODE_UNKNOWN, 0},
  };
  for (const auto &c : kCases)
    EXPECT_EQ(table[platVirtualKey(c.sc)], c.code) << SDL_GetScancodeName(c.sc);
  EXPECT_EQ(platVirtualKey(-1), 0);
  EXPECT_EQ(platVirtualKey(100000), 0);
}

class WindowRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    SYS_BaseInit(nullptr, 0, nullptr, nullptr);
    window = wmCreateWindow(10, 20, 640, 480);
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override {
    if (window) {
      window->handle = nullptr;  // the fake handle is no native window
      EXPECT_EQ(wmDestroyWindow(window), 0);
    }
    std::string report = ::testing::TempDir() + "window_mem_" + std::to_string(getpid()) + ".txt";
    SYS_MemInfo(report.c_str());
    std::ifstream in(report);
    std::stringstream text;
    text << in.rdbuf();
    // Nothing of the window manager's own is left (records, titles).
    EXPECT_EQ(text.str().find("[WM.cpp:"), std::string::npos) << text.str();
    std::remove(report.c_str());
    SYS_BaseDone();
  }
  wm_window_t *window = nullptr;
};

std::vector<wm_event_t> g_events;
int record(wm_event_t *event) {
  g_events.push_back(*event);
  return 0;
}

// SDL event -> platform messages -> window procedure -> framework events.
void deliver(wm_window_t *window, const SDL_Event &e) {
  platMsg_t msgs[4];
  int n = platTranslateEvent(&e, msgs, 4);
  for (int i = 0; i < n; ++i) wmWindowProc(window->handle, msgs[i].message, msgs[i].wParam, msgs[i].lParam);
}

SDL_Event motion(int x, int y) {
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.x = x;
  e.motion.y = y;
  return e;
}
SDL_Event button(bool down, Uint8 which, int x, int y) {
  SDL_Event e{};
  e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  e.button.button = which;
  e.button.x = x;
  e.button.y = y;
  return e;
}
SDL_Event wheel(int notches, bool flipped, int x, int y) {
  SDL_Event e{};
  e.type = SDL_MOUSEWHEEL;
  e.wheel.y = notches;
  e.wheel.direction = flipped ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
  e.wheel.mouseX = x;
  e.wheel.mouseY = y;
  return e;
}
SDL_Event key(bool down, SDL_Scancode sc, bool repeat = false, Uint16 mod = 0) {
  SDL_Event e{};
  e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.keysym.scancode = sc;
  e.key.keysym.mod = mod;
  e.key.repeat = repeat;
  return e;
}
SDL_Event windowEvent(Uint8 kind, int a = 0, int b = 0) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = kind;
  e.window.data1 = a;
  e.window.data2 = b;
  return e;
}

TEST_F(WindowRecord, MouseSequenceCarriesButtonsStatesDeltasAndWheel) {
  window->handle = reinterpret_cast<platWindow_t *>(window);  // any unique value
  wmOptions(window, WM_OPT_CALLBACK, reinterpret_cast<intptr_t>(&record));
  g_events.clear();
  deliver(window, motion(10, 20));
  deliver(window, button(true, SDL_BUTTON_LEFT, 12, 22));
  deliver(window, motion(-5, 30));  // dragged out past the left edge
  deliver(window, button(true, SDL_BUTTON_RIGHT, -5, 30));
  deliver(window, button(false, SDL_BUTTON_LEFT, 0, 31));
  deliver(window, button(true, SDL_BUTTON_MIDDLE, 1, 2));
  deliver(window, button(false, SDL_BUTTON_MIDDLE, 1, 2));
  deliver(window, button(false, SDL_BUTTON_RIGHT, 1, 2));
  deliver(window, button(true, SDL_BUTTON_X1, 1, 2));  // no message
  deliver(window, wheel(1, false, 100, -50));
  deliver(window, wheel(1, true, 100, 50));
  deliver(window, wheel(0, false, 7, 7));  // horizontal only: no message

  struct Want { int button, left, right, middle, fwd, back, x, y, dx, dy; };
  const Want want[] = {
      {0, 0, 0, 0, 0, 0, 10, 20, 10, 20},   {1, 1, 0, 0, 0, 0, 12, 22, 2, 2},
      {0, 1, 0, 0, 0, 0, -5, 30, -17, 8},   {2, 1, 1, 0, 0, 0, -5, 30, 0, 0},
      {4, 0, 1, 0, 0, 0, 0, 31, 5, 1},      {3, 0, 1, 1, 0, 0, 1, 2, 1, -29},
      {6, 0, 1, 0, 0, 0, 1, 2, 0, 0},       {5, 0, 0, 0, 0, 0, 1, 2, 0, 0},
      {0, 0, 0, 0, 1, 0, 100, -50, 99, -52}, {0, 0, 0, 0, 0, 1, 100, 50, 0, 100},
  };
  ASSERT_EQ(g_events.size(), std::size(want));
  for (size_t i = 0; i < std::size(want); ++i) {
    const wm_mouse_t &m = g_events[i].mouse;
    const Want &w = want[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(g_events[i].type, WM_EVENT_MOUSE);
    EXPECT_EQ(g_events[i].window, window);
    EXPECT_EQ(m.type, 0);
    EXPECT_EQ(m.button, w.button);
    EXPECT_EQ(m.left, w.left);
    EXPECT_EQ(m.right, w.right);
    EXPECT_EQ(m.middle, w.middle);
    EXPECT_EQ(m.wheelForward, w.fwd);
    EXPECT_EQ(m.wheelBack, w.back);
    EXPECT_EQ(m.x, w.x);
    EXPECT_EQ(m.y, w.y);
    EXPECT_EQ(m.dx, w.dx);
    EXPECT_EQ(m.dy, w.dy);
  }
}

TEST_F(WindowRecord, KeyAndWindowMessagesBecomeFrameworkEvents) {
  window->handle = reinterpret_cast<platWindow_t *>(window);
  wmOptions(window, WM_OPT_CALLBACK, reinterpret_cast<intptr_t>(&record));
  g_events.clear();
  deliver(window, key(true, SDL_SCANCODE_A));
  deliver(window, key(true, SDL_SCANCODE_A, true));  // held: repeated down
  deliver(window, key(false, SDL_SCANCODE_A));
  deliver(window, key(true, SDL_SCANCODE_LALT));
  deliver(window, key(true, SDL_SCANCODE_F4, false, KMOD_LALT));  // Alt+F4: keys, no close
  deliver(window, key(true, SDL_SCANCODE_MUTE));                  // no framework code
  deliver(window, windowEvent(SDL_WINDOWEVENT_CLOSE));
  deliver(window, windowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 800, 600));
  deliver(window, windowEvent(SDL_WINDOWEVENT_RESIZED, 800, 600));  // the same change again: dropped
  deliver(window, windowEvent(SDL_WINDOWEVENT_MOVED, 30, -40));

  struct Want { int type, sub, code, x, y, w, h; };
  const Want want[] = {
      {0, 6, 60, 0, 0, 0, 0},  {0, 6, 60, 0, 0, 0, 0}, {0, 7, 60, 0, 0, 0, 0},
      {0, 6, 109, 0, 0, 0, 0}, {0, 6, 5, 0, 0, 0, 0},  {0, 6, 0, 0, 0, 0, 0},
      {2, 5, 0, 0, 0, 0, 0},   {2, 12, 0, 0, 0, 800, 600}, {2, 12, 0, 30, -40, 800, 600},
  };
  ASSERT_EQ(g_events.size(), std::size(want));
  for (size_t i = 0; i < std::size(want); ++i) {
    const wm_event_t &e = g_events[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(e.type, want[i].type);
    if (e.type == WM_EVENT_KEY) {
      EXPECT_EQ(e.key.type, want[i].sub);
      EXPECT_EQ(e.key.key, want[i].code);
      EXPECT_EQ(e.key.reserved, 0);
    } else {
      EXPECT_EQ(e.conf.type, want[i].sub);
      EXPECT_EQ(e.conf.x, want[i].x);
      EXPECT_EQ(e.conf.y, want[i].y);
      EXPECT_EQ(e.conf.width, want[i].w);
      EXPECT_EQ(e.conf.height, want[i].h);
    }
  }
  // The record follows the client area; the close left it in the list.
  EXPECT_EQ(wmOptions(window, WM_OPT_WIDTH, 0), 800);
  EXPECT_EQ(wmOptions(window, WM_OPT_HEIGHT, 0), 600);
  EXPECT_EQ(wmOptions(window, WM_OPT_X, 0), 30);
  EXPECT_EQ(wmOptions(window, WM_OPT_Y, 0), -40);
  EXPECT_EQ(wmGetWindowList()->item, window);

  // Messages of an unknown handle reach nobody.
  g_events.clear();
  wmWindowProc(reinterpret_cast<platWindow_t *>(&g_events), PLAT_WM_CLOSE, 0, 0);
  wmWindowProc(nullptr, PLAT_WM_CLOSE, 0, 0);
  EXPECT_TRUE(g_events.empty());
}

TEST_F(WindowRecord, OptionsTable) {
  wm_screenmode_t saved = dmScreen;
  dmScreen = {1024, 768, 32, 75};
  struct Screen { uint32_t code; intptr_t value; };
  for (Screen s : {Screen{5, 1024}, Screen{6, 768}, Screen{7, 32}, Screen{8, 75}, Screen{1, 0}, Screen{0, 0}}) {
    EXPECT_EQ(wmOptions(nullptr, s.code, 0), s.value) << s.code;
    EXPECT_EQ(wmOptions(window, s.code, 0), s.value) << s.code;
  }
  dmScreen = saved;
  for (uint32_t code : {3u, 4u, 9u, 10u, 11u, 12u, 13u, 100u, 101u, 102u, 104u, 105u, 106u, 108u, 200u}) {
    errClear();
    EXPECT_EQ(wmOptions(nullptr, code, 0), -1) << code;
    EXPECT_EQ(errGetLastError(), 3006) << code;
  }

  EXPECT_EQ(window->style, WM_STYLE_DEFAULT);
  wm_conf_t conf{0, 5, 6, 320, 200};
  EXPECT_EQ(wmOptions(window, WM_OPT_SETCONF, reinterpret_cast<intptr_t>(&conf)), 0);
  wm_conf_t got{99, 0, 0, 0, 0};
  EXPECT_EQ(wmOptions(window, WM_OPT_GETCONF, reinterpret_cast<intptr_t>(&got)), 0);
  EXPECT_EQ(got.type, 99);  // only the last four fields are written
  EXPECT_EQ(got.x, 5);
  EXPECT_EQ(got.y, 6);
  EXPECT_EQ(got.width, 320);
  EXPECT_EQ(got.height, 200);
  EXPECT_EQ(wmOptions(window, WM_OPT_GETCONF, 0), 0);
  EXPECT_EQ(wmOptions(window, WM_OPT_X, 0), 5);
  EXPECT_EQ(wmOptions(window, WM_OPT_HEIGHT, 0), 200);

  // The cursor counter goes down twice for "hide", up twice for "show".
  int before = platShowCursor(1) - 1;
  platShowCursor(0);
  EXPECT_EQ(wmOptions(window, WM_OPT_HIDECURSOR, 1), 0);
  EXPECT_EQ(window->hideCursor, 1);
  EXPECT_EQ(platShowCursor(1) - 1, before - 2);
  platShowCursor(0);
  wmOptions(window, WM_OPT_HIDECURSOR, 0);
  EXPECT_EQ(platShowCursor(1) - 1, before);
  platShowCursor(0);

  char title[] = "first";
  EXPECT_EQ(wmOptions(window, WM_OPT_TITLE, reinterpret_cast<intptr_t>(title)), 0);
  ASSERT_NE(window->title, nullptr);
  EXPECT_NE(window->title, title);
  title[0] = 'X';
  EXPECT_STREQ(window->title, "first");
  EXPECT_EQ(wmOptions(window, WM_OPT_TITLE, reinterpret_cast<intptr_t>("second")), 0);
  EXPECT_STREQ(window->title, "second");

  EXPECT_EQ(wmOptions(window, WM_OPT_BORDERLESS, 1), 0);
  EXPECT_EQ(window->style & WM_STYLE_DEFAULT, 0u);
  EXPECT_EQ(wmOptions(window, WM_OPT_RESIZABLE, 1), 0);
  EXPECT_EQ(window->style, WM_STYLE_THICKFRAME);
  EXPECT_EQ(wmOptions(window, WM_OPT_RESIZABLE, 0), 0);
  EXPECT_EQ(window->style, 0u);
  EXPECT_EQ(wmOptions(window, WM_OPT_BORDERLESS, 0), 0);
  EXPECT_EQ(window->style, WM_STYLE_DEFAULT);  // all bits back, whatever the resizable flag
  EXPECT_EQ(window->borderless, 0);

  EXPECT_EQ(wmOptions(window, WM_OPT_FULLSCREEN, 1), 0);
  EXPECT_EQ(window->fullscreen, 1);
  int owner = 0;
  EXPECT_EQ(wmOptions(window, WM_OPT_SETUSERDATA, reinterpret_cast<intptr_t>(&owner)), 0);
  EXPECT_EQ(wmOptions(window, WM_OPT_GETUSERDATA, 0), reinterpret_cast<intptr_t>(&owner));

  wm_window_t copy = *window;
  EXPECT_EQ(wmOptions(window, 200, 12345), 0);
  EXPECT_EQ(wmOptions(window, 109, 1), 0);
  EXPECT_EQ(std::memcmp(&copy, window, sizeof copy), 0);
}

TEST_F(WindowRecord, RecordsOutsideTheListAreRefused) {
  wm_window_t stray{};
  for (wm_window_t *w : {static_cast<wm_window_t *>(nullptr), &stray}) {
    errClear();
    EXPECT_EQ(wmHideWindow(w), -1);
    EXPECT_EQ(errGetLastError(), 10);
    errClear();
    EXPECT_EQ(wmDestroyWindow(w), -1);
    EXPECT_EQ(errGetLastError(), 10);
  }
  // Newest first; destroying one leaves the other listed.
  wm_window_t *second = wmCreateWindow(0, 0, 1, 1);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(wmGetWindowList()->item, second);
  EXPECT_EQ(wmGetWindowList()->next->item, window);
  EXPECT_EQ(wmDestroyWindow(second), 0);
  EXPECT_EQ(wmGetWindowList()->item, window);
  EXPECT_EQ(wmGetWindowList()->next, nullptr);
}

// Destroying a window delivers a last close to its callback, and that callback may
// destroy other windows, which may destroy the first again: each record is freed once.
wm_window_t *g_peer[2] = {};
int g_closes[2] = {};
int destroyPeer(wm_event_t *event) {
  const int self = event->window == g_peer[0] ? 0 : 1;
  if (event->type == WM_EVENT_WINDOW && event->conf.type == WM_CONF_CLOSE) {
    ++g_closes[self];
    EXPECT_EQ(wmDestroyWindow(g_peer[1 - self]), 0);
  }
  return 0;
}

TEST_F(WindowRecord, CloseCallbacksThatDestroyEachOtherFreeEachRecordOnce) {
  for (int first : {0, 1}) {
    SCOPED_TRACE(first);
    for (int i : {0, 1}) {
      g_peer[i] = wmCreateWindow(0, 0, 10, 10);
      ASSERT_NE(g_peer[i], nullptr);
      // Any unique value: without a display the platform ignores it.
      g_peer[i]->handle = reinterpret_cast<platWindow_t *>(g_peer[i]);
      wmOptions(g_peer[i], WM_OPT_CALLBACK, reinterpret_cast<intptr_t>(&destroyPeer));
      g_closes[i] = 0;
    }
    EXPECT_EQ(wmDestroyWindow(g_peer[first]), 0);
    EXPECT_EQ(g_closes[0], 1);
    EXPECT_EQ(g_closes[1], 1);
    // Only the fixture's own record is left.
    ASSERT_NE(wmGetWindowList(), nullptr);
    EXPECT_EQ(wmGetWindowList()->item, window);
    EXPECT_EQ(wmGetWindowList()->next, nullptr);
  }
}

// The pixel format follows the screen depth: up to 16 bits the screen's own depth
// without alpha, above it 24 colour bits with 8 of alpha; depth 24 and no stencil in
// every case. An unknown depth (0) gets 24 bits, not a buffer without colour.
TEST(WindowPixelFormat, FollowsTheScreenDepth) {
  const wm_screenmode_t saved = dmScreen;
  struct { int screen, color, alpha; } cases[] = {
      {8, 8, 0}, {15, 15, 0}, {16, 16, 0}, {17, 24, 8}, {24, 24, 8}, {32, 24, 8}, {0, 24, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.screen);
    dmScreen.bits = c.screen;
    wm_window_t w{};
    w.pfd.cStencilBits = 9;  // stale values are cleared
    wglPixelFormat(&w);
    EXPECT_EQ(w.pfd.cColorBits, c.color);
    EXPECT_EQ(w.pfd.cAlphaBits, c.alpha);
    EXPECT_EQ(w.pfd.cDepthBits, 24);
    EXPECT_EQ(w.pfd.cStencilBits, 0);
    EXPECT_EQ(w.pfd.nSize, 40);
    EXPECT_EQ(w.pfd.nVersion, 1);
    EXPECT_EQ(w.pfd.dwFlags, 0x25u);
  }
  dmScreen = saved;
}

// The display services on SDL's dummy display, which needs no server: one mode,
// 1024x768 at 32 bits, frequency unknown (0).
class WindowDisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    logPath_ = ::testing::TempDir() + "window_display_" + std::to_string(getpid()) + ".log";
    const char *argv[] = {"window-unit", "-v", "-debug-log", logPath_.c_str()};
    ASSERT_EQ(SYS_BaseInit(nullptr, 4, argv, nullptr), 0);
    baseUp_ = true;
  }
  void TearDown() override {
    if (!baseUp_) return;
    wmDone();
    SYS_BaseDone();
    std::remove(logPath_.c_str());
    unsetenv("SDL_VIDEODRIVER");
  }
  size_t mark() const { return log().size(); }
  std::string log() const {
    std::ifstream in(logPath_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // The window manager's lines from offset on, without their source positions.
  std::vector<std::string> wmLines(size_t from) const {
    static const std::regex position(R"(\[[^\[\]]+:[0-9]+:[^\[\]]+\(\)\])");
    std::istringstream in(log().substr(from));
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);)
      if (line.rfind("[wm]", 0) == 0) out.push_back(std::regex_replace(line, position, ""));
    return out;
  }
  std::string logPath_;
  bool baseUp_ = false;
};

TEST_F(WindowDisplay, StartAndShutdownLogTheProbesInOrder) {
  ASSERT_EQ(wmInit(), 0) << errGetLastError();
  EXPECT_EQ(wmOptions(nullptr, WM_OPT_ADAPTER, 0), 0);
  EXPECT_EQ(wmOptions(nullptr, WM_OPT_VIDEOMEMORY, 0), 0);
  EXPECT_EQ(wmOptions(nullptr, WM_OPT_SCREENWIDTH, 0), 1024);
  EXPECT_EQ(wmOptions(nullptr, WM_OPT_SCREENBITS, 0), 32);
  EXPECT_EQ(wmDone(), 0);
  const std::vector<std::string> want = {
      "[wm]   - initialize WGL subsystem...",
      "[wm][gl] loading OpenGL32.dll ...",
      "[wm][gl] ... loaded.",
      "[wm]  ...done.",
      "[wm]   - initialize DirectX subsystem...",
      "[wm][ddraw] lib: d3d9.dll ...",
      "[wm][ddraw] ...failed.",
      "[wm][ddraw] lib: DDraw.dll ...",
      "[wm][ddraw] ...failed",
      "[wm]  ...done.",
      "[wm][dpms] ScreenSaver: 1 (1)",
      "[wm][dpms] DPMS: 0 (0)",
      "[wm][dpms] ScreenSaver & DPMS disabled.",
      "[wm][dm] Screen size: 1024x768 0.00Hz 32bits",
      "[wm][ddraw] d3dLib: (nil)",
      "[wm][ddraw] ddLib: (nil)",
  };
  EXPECT_EQ(wmLines(0), want) << log();
}

// The screensaver is off while the window manager runs and as it was afterwards.
TEST_F(WindowDisplay, ScreensaverIsSavedAndRestored) {
  ASSERT_EQ(platVideoInit(), 0);  // keeps the display up past wmDone, to look
  for (int before : {1, 0}) {
    SCOPED_TRACE(before);
    if (before) SDL_EnableScreenSaver();
    else SDL_DisableScreenSaver();
    const size_t from = mark();
    ASSERT_EQ(wmInit(), 0);
    EXPECT_FALSE(SDL_IsScreenSaverEnabled());
    EXPECT_EQ(wmDone(), 0);
    EXPECT_EQ(SDL_IsScreenSaverEnabled(), before ? SDL_TRUE : SDL_FALSE);
    const std::vector<std::string> lines = wmLines(from);
    const std::string saved = "[wm][dpms] ScreenSaver: 1 (" + std::to_string(before) + ")";
    EXPECT_NE(std::find(lines.begin(), lines.end(), saved), lines.end()) << log().substr(from);
  }
  platVideoDone();
}

TEST_F(WindowDisplay, ModeRequestsReachTheDisplayAsTheSystemWouldTakeThem) {
  ASSERT_EQ(wmInit(), 0);
  struct Case {
    int width, height, bits;
    float hz;
    int result;
    const char *logged;   // the switch line, "" for none
    const char *request;  // what the display was asked for, null when it was not
  } cases[] = {
      {1024, 768, 32, 0.0f, 0, "", nullptr},  // the desktop mode: nothing to do
      {1024, 768, 32, 59.94f, -1, "switch to 1024x768 (59.94Hz) 32 bits", "1024x768 32 bits 59 Hz"},
      {1024, 768, 32, 75.9f, -1, "switch to 1024x768 (75.90Hz) 32 bits", "1024x768 32 bits 75 Hz"},
      {1024, 768, 16, 0.0f, -1, "switch to 1024x768 (0.00Hz) 16 bits", "1024x768 16 bits 0 Hz"},
      {800, 600, 32, 0.0f, -1, "switch to 800x600 (0.00Hz) 32 bits", "800x600 32 bits 0 Hz"},
      // Below one hertz the frequency is left to the system, which lists the mode.
      {1024, 768, 32, 0.5f, 0, "switch to 1024x768 (0.50Hz) 32 bits", nullptr},
      // No display has these: refused, never taken for "any frequency".
      {1024, 768, 32, -60.0f, -1, "switch to 1024x768 (-60.00Hz) 32 bits", nullptr},
      {1024, 768, 32, NAN, -1, "switch to 1024x768 (", nullptr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.logged);
    SCOPED_TRACE(c.hz);
    const size_t from = mark();
    errClear();
    EXPECT_EQ(wmSetVideoMode(c.width, c.height, c.bits, c.hz), c.result);
    EXPECT_EQ(errGetLastError(), c.result == 0 ? 0 : 3007);
    const std::vector<std::string> lines = wmLines(from);
    std::vector<std::string> want;
    if (*c.logged) want.push_back(std::string("[wm][dm] ") + c.logged);
    if (c.result != 0) want.push_back("[wm][dm]  ! unable to switch to requested mode.");
    ASSERT_EQ(lines.size(), want.size()) << log().substr(from);
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(lines[i].rfind(want[i], 0), 0u) << lines[i];
    if (c.request) {
      EXPECT_EQ(std::string(platVideoError()), std::string("no display mode ") + c.request);
    }
    wmRestoreVideoMode();  // drops what the case claimed
  }
}

TEST(WindowGLTable, ExtensionNamesMatchWholeEntriesOnly) {
  const char *ext = "GL_ARB_foo GL_EXT_bar_baz GL_NV_x";
  EXPECT_TRUE(gl_stub_has_extension(ext, "GL_ARB_foo"));
  EXPECT_TRUE(gl_stub_has_extension(ext, "GL_EXT_bar_baz"));
  EXPECT_TRUE(gl_stub_has_extension(ext, "GL_NV_x"));
  EXPECT_FALSE(gl_stub_has_extension(ext, "GL_ARB_fo"));
  EXPECT_FALSE(gl_stub_has_extension(ext, "GL_EXT_bar"));
  EXPECT_FALSE(gl_stub_has_extension(ext, "ARB_foo"));
  EXPECT_FALSE(gl_stub_has_extension(nullptr, "GL_NV_x"));
  EXPECT_FALSE(gl_stub_has_extension(ext, ""));

  // Every entry point the framework calls has a slot in its table.
  size_t n = 0;
  const wm_glslot_t *slots = gl_stub_slots(&n);
  for (const char *name : {"glEnable", "glDisable", "glGenTextures", "glDeleteTextures", "glBindTexture",
                           "glTexParameteri", "glTexImage2D", "glCompressedTexImage2DARB", "glGetError",
                           "glViewport", "glClearColor", "glClear", "glBlendFunc", "glHint", "glLineWidth",
                           "glShadeModel", "glMatrixMode", "glLoadIdentity", "glOrtho", "glColor4fv", "glBegin",
                           "glEnd", "glTexCoord2f", "glVertex2i"}) {
    bool found = false;
    for (size_t i = 0; i < n && !found; ++i) found = std::strcmp(slots[i].name, name) == 0;
    EXPECT_TRUE(found) << name;
  }
  slots = glu_stub_slots(&n);
  bool mipmaps = false;
  for (size_t i = 0; i < n; ++i) mipmaps |= std::strcmp(slots[i].name, "gluBuild2DMipmaps") == 0;
  EXPECT_TRUE(mipmaps);
}

}  // namespace
