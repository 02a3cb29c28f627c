// Window manager on a real display (Xvfb 1920x1080x24, llvmpipe): GL windows,
// shared contexts, the framework GL table, events pushed through SDL, display modes.
#include <gtest/gtest.h>

#include <SDL.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/main.h"
#include "media/window/WM.h"
#include "media/window/gl_stub.h"
#include "media/window/wgl.h"
#include "platform/window.h"
#include "tests/common/pushed_events.h"

namespace {

std::vector<wm_event_t> g_events;
int record(wm_event_t *event) {
  g_events.push_back(*event);
  return 0;
}

class WindowGL : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    logPath_ = ::testing::TempDir() + "window_gl_" + std::to_string(getpid()) + ".log";
    const char *argv[] = {"window-gl", "-v", "-debug-log", logPath_.c_str()};
    ASSERT_EQ(SYS_BaseInit(nullptr, 4, argv, nullptr), 0);
    baseUp_ = true;
    ASSERT_EQ(wmInit(), 0) << errGetLastError();
    g_events.clear();
  }
  void TearDown() override {
    if (!baseUp_) return;
    EXPECT_EQ(wmDone(), 0);
    SYS_BaseDone();
    std::remove(logPath_.c_str());
  }
  std::string log() const {
    std::ifstream in(logPath_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // Lines of the log from offset on that contain text.
  int logLines(size_t from, const char *text) const {
    std::istringstream in(log().substr(from));
    int n = 0;
    for (std::string line; std::getline(in, line);) n += line.find(text) != std::string::npos;
    return n;
  }
  wm_window_t *open(int x, int y, int w, int h) {
    wm_window_t *win = wmCreateWindow(x, y, w, h);
    if (!win) return nullptr;
    wmOptions(win, WM_OPT_TITLE, reinterpret_cast<intptr_t>("window test"));
    wmOptions(win, WM_OPT_CALLBACK, reinterpret_cast<intptr_t>(&record));
    if (wmShowWindow(win) != 0) return nullptr;
    return win;
  }
  // Pumps until pred holds or about a second has passed.
  template <typename P>
  bool pumpUntil(P pred) {
    for (int i = 0; i < 100; ++i) {
      wmProcessEvents();
      if (pred()) return true;
      SDL_Delay(10);
    }
    return false;
  }
  void drain() {
    pumpUntil([] { return false; });
    g_events.clear();
  }
  std::string logPath_;
  bool baseUp_ = false;
};

TEST_F(WindowGL, ShownWindowClearsToAColourAndSharesObjects) {
  wm_window_t *a = open(100, 100, 320, 240);
  ASSERT_NE(a, nullptr) << errGetLastError();
  ASSERT_NE(wmGL.glClearColor, nullptr);
  ASSERT_NE(wmGL.glReadPixels, nullptr);
  int w = 0, h = 0;
  platWindowGetRect(a->handle, nullptr, nullptr, &w, &h);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 240);

  // Compatibility profile: the fixed-function entry points and the old extension query work.
  const char *ext = reinterpret_cast<const char *>(wmGL.glGetString(GL_EXTENSIONS));
  ASSERT_NE(ext, nullptr);
  EXPECT_EQ(wmGL.glGetError(), (GLenum)GL_NO_ERROR);

  ASSERT_EQ(wmMakeCurrent(a), 1);
  wmGL.glViewport(0, 0, 320, 240);
  wmGL.glClearColor(0.25f, 0.5f, 0.75f, 1.0f);
  wmGL.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  unsigned char px[4] = {};
  wmGL.glReadPixels(160, 120, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
  EXPECT_NEAR(px[0], 64, 1);
  EXPECT_NEAR(px[1], 128, 1);
  EXPECT_NEAR(px[2], 191, 1);
  EXPECT_EQ(wmSwapBuffers(a), 1);
  GLint depth = 0;
  wmGL.glGetIntegerv(GL_DEPTH_BITS, &depth);
  EXPECT_GE(depth, 24);

  // A texture made in one window's context exists in the other's.
  GLuint tex = 0;
  wmGL.glGenTextures(1, &tex);
  wmGL.glBindTexture(GL_TEXTURE_2D, tex);
  wm_window_t *b = open(500, 100, 200, 200);
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(wmMakeCurrent(b), 1);
  EXPECT_EQ(wmGL.glIsTexture(tex), GL_TRUE);

  // Extension slots follow the extension string, not the library's export list.
  size_t n = 0;
  const wm_glslot_t *slots = gl_stub_slots(&n);
  int dropped = 0, kept = 0;
  for (size_t i = 0; i < n; ++i) {
    if (std::strncmp(slots[i].block, "GL_VERSION_", 11) == 0 || std::strcmp(slots[i].block, "GL_ARB_imaging") == 0)
      continue;
    void *slot = nullptr;
    std::memcpy(&slot, reinterpret_cast<const char *>(&wmGL) + slots[i].offset, sizeof slot);
    bool listed = gl_stub_has_extension(ext, slots[i].block);
    if (!listed) {
      EXPECT_EQ(slot, nullptr) << slots[i].name;
    }
    dropped += !listed;
    kept += slot != nullptr;
  }
  EXPECT_GT(dropped, 0);
  EXPECT_GT(kept, 0);
  EXPECT_NE(wmGL.glCompressedTexImage2DARB, nullptr);
  // A second load keeps the verdict.
  EXPECT_EQ(gl_stub(), 0);
  EXPECT_EQ(wmGL.glTexImage3DEXT == nullptr, !gl_stub_has_extension(ext, "GL_EXT_texture3D"));
  EXPECT_EQ(glu_stub(), 0);
  EXPECT_NE(wmGLU.gluBuild2DMipmaps, nullptr);

  // Swap interval: where this GL can set it (Xvfb's cannot), the context reports it
  // back; without a current context it fails, whatever the driver.
  for (int interval : {1, 0}) {
    if (wglSwapInterval(interval) == 0) {
      EXPECT_EQ(SDL_GL_GetSwapInterval(), interval);
    }
  }
  ASSERT_EQ(platGLMakeCurrent(nullptr, nullptr), 0);
  EXPECT_EQ(wglSwapInterval(0), -1);
  ASSERT_EQ(wmMakeCurrent(b), 1);

  // Showing again reuses the native window and context.
  platWindow_t *handle = b->handle;
  void *context = b->glContext;
  EXPECT_EQ(wmHideWindow(b), 0);
  EXPECT_EQ(wmShowWindow(b), 0);
  EXPECT_EQ(b->handle, handle);
  EXPECT_EQ(b->glContext, context);

  EXPECT_EQ(wmDestroyWindow(b), 0);
  ASSERT_EQ(wmMakeCurrent(a), 1);
  EXPECT_EQ(wmGL.glIsTexture(tex), GL_TRUE);
  wmGL.glDeleteTextures(1, &tex);
  EXPECT_EQ(wmDestroyWindow(a), 0);
}

TEST_F(WindowGL, PushedEventsReachTheCallback) {
  wm_window_t *win = open(50, 60, 300, 200);
  ASSERT_NE(win, nullptr);
  drain();
  const OnlyPushedMouseEvents onlyPushed;
  Uint32 id = platWindowId(win->handle);

  ASSERT_EQ(PushKey(id, SDL_KEYDOWN, SDL_SCANCODE_RSHIFT), 1);
  ASSERT_EQ(PushKey(id, SDL_KEYDOWN, SDL_SCANCODE_ESCAPE), 1);
  ASSERT_EQ(PushKey(id, SDL_KEYUP, SDL_SCANCODE_ESCAPE), 1);
  ASSERT_EQ(PushButton(id, SDL_MOUSEBUTTONDOWN, 40, 30), 1);
  ASSERT_EQ(PushWheel(id, -2, 41, 31), 1);
  ASSERT_EQ(PushWindowEvent(id, SDL_WINDOWEVENT_CLOSE), 1);

  ASSERT_TRUE(pumpUntil([] { return g_events.size() >= 6; })) << g_events.size();
  ASSERT_EQ(g_events.size(), 6u);
  EXPECT_EQ(g_events[0].type, WM_EVENT_KEY);
  EXPECT_EQ(g_events[0].key.key, 106);
  EXPECT_EQ(g_events[1].key.type, WM_KEY_DOWN);
  EXPECT_EQ(g_events[1].key.key, WM_KEYCODE_ESCAPE);
  EXPECT_EQ(g_events[2].key.type, WM_KEY_UP);
  EXPECT_EQ(g_events[2].key.key, WM_KEYCODE_ESCAPE);
  EXPECT_EQ(g_events[3].type, WM_EVENT_MOUSE);
  EXPECT_EQ(g_events[3].mouse.button, WM_MOUSE_LEFT_DOWN);
  EXPECT_EQ(g_events[3].mouse.left, 1);
  EXPECT_EQ(g_events[3].mouse.x, 40);
  EXPECT_EQ(g_events[3].mouse.y, 30);
  EXPECT_EQ(g_events[4].mouse.wheelBack, 1);
  EXPECT_EQ(g_events[4].mouse.x, 41);  // window coordinates, like every mouse event
  EXPECT_EQ(g_events[4].mouse.dx, 1);
  EXPECT_EQ(g_events[5].type, WM_EVENT_WINDOW);
  EXPECT_EQ(g_events[5].conf.type, WM_CONF_CLOSE);
  for (const wm_event_t &ev : g_events) EXPECT_EQ(ev.window, win);

  // The close left the window alone; destroying it delivers one more close.
  EXPECT_EQ(wmGetWindowList()->item, win);
  g_events.clear();
  EXPECT_EQ(wmDestroyWindow(win), 0);
  ASSERT_EQ(g_events.size(), 1u);
  EXPECT_EQ(g_events[0].conf.type, WM_CONF_CLOSE);
  EXPECT_EQ(wmGetWindowList(), nullptr);
  errClear();
  EXPECT_EQ(wmDestroyWindow(win), -1);
  EXPECT_EQ(errGetLastError(), 10);
}

TEST_F(WindowGL, ResizeGivesOneConfigureEventWithTheNewSize) {
  wm_window_t *win = open(200, 150, 320, 240);
  ASSERT_NE(win, nullptr);
  drain();
  wm_conf_t conf{0, 200, 150, 480, 270};
  EXPECT_EQ(wmOptions(win, WM_OPT_SETCONF, reinterpret_cast<intptr_t>(&conf)), 0);
  auto configures = [] {
    int n = 0;
    for (const wm_event_t &e : g_events) n += e.type == WM_EVENT_WINDOW && e.conf.type == WM_CONF_CONFIGURE;
    return n;
  };
  ASSERT_TRUE(pumpUntil([&] { return configures() >= 1; }));
  pumpUntil([] { return false; });  // anything else that would follow
  ASSERT_EQ(configures(), 1);
  EXPECT_EQ(g_events.back().conf.width, 480);
  EXPECT_EQ(g_events.back().conf.height, 270);
  EXPECT_EQ(wmOptions(win, WM_OPT_WIDTH, 0), 480);
  EXPECT_EQ(wmOptions(win, WM_OPT_HEIGHT, 0), 270);
  int w = 0, h = 0;
  platWindowGetRect(win->handle, nullptr, nullptr, &w, &h);
  EXPECT_EQ(w, 480);
  EXPECT_EQ(h, 270);
  EXPECT_EQ(wmDestroyWindow(win), 0);
}

TEST_F(WindowGL, ModeListAndSwitches) {
  EXPECT_EQ(wmOptions(nullptr, WM_OPT_SCREENWIDTH, 0), 1920);
  EXPECT_EQ(wmOptions(nullptr, WM_OPT_SCREENHEIGHT, 0), 1080);
  EXPECT_EQ(wmOptions(nullptr, WM_OPT_SCREENBITS, 0), 32);
  EXPECT_EQ(wmOptions(nullptr, WM_OPT_ADAPTER, 0), 0);  // no adapter probe here
  EXPECT_EQ(wmOptions(nullptr, WM_OPT_VIDEOMEMORY, 0), 0);

  SYS_List_p modes = wmGetVideoModes();
  ASSERT_NE(modes, nullptr);
  bool screen = false;
  for (SYS_List_p n = modes; n; n = n->next) {
    auto *m = static_cast<wm_videomode_t *>(n->item);
    screen |= m->width == 1920 && m->height == 1080 && m->bits == 32;
  }
  EXPECT_TRUE(screen);
  wmFreeVideoModes(modes);

  // The desktop mode itself: nothing to do, nothing to restore, no full screen.
  size_t mark = log().size();
  EXPECT_EQ(wmSetVideoMode(1920, 1080, 32, (float)wmOptions(nullptr, WM_OPT_SCREENHZ, 0)), 0);
  EXPECT_EQ(logLines(mark, "switch to"), 0) << log().substr(mark);
  EXPECT_EQ(wmRestoreVideoMode(), 0);
  wm_window_t *win = open(0, 0, 640, 360);
  ASSERT_NE(win, nullptr);
  EXPECT_FALSE(platWindowIsFullScreen(win->handle));
  EXPECT_EQ(wmDestroyWindow(win), 0);

  // A size the display does not list: refused, and the window keeps its size.
  errClear();
  EXPECT_EQ(wmSetVideoMode(1234, 567, 32, 0.0f), -1);
  EXPECT_EQ(errGetLastError(), 3007);
  win = open(0, 0, 1234, 567);
  ASSERT_NE(win, nullptr);
  int w = 0, h = 0;
  platWindowGetRect(win->handle, nullptr, nullptr, &w, &h);
  EXPECT_EQ(w, 1234);
  EXPECT_EQ(h, 567);
  EXPECT_FALSE(platWindowIsFullScreen(win->handle));
  EXPECT_EQ(wmDestroyWindow(win), 0);

  // A listed mode other than the desktop's. Xvfb lists one mode only, so the
  // remembered desktop mode is made to differ from it in frequency.
  wm_screenmode_t desktop = dmScreen;
  dmScreen.frequency = desktop.frequency + 1;
  auto claim = [] {
    errClear();
    EXPECT_EQ(wmSetVideoMode(1920, 1080, 32, 0.0f), 0) << errGetLastError();
  };

  // The program's way: the mode, then a window of that size, full screen until restored.
  claim();
  win = open(0, 0, 1920, 1080);
  ASSERT_NE(win, nullptr);
  EXPECT_TRUE(platWindowIsFullScreen(win->handle));
  platWindowGetRect(win->handle, nullptr, nullptr, &w, &h);
  EXPECT_EQ(w, 1920);
  EXPECT_EQ(h, 1080);
  EXPECT_EQ(wmRestoreVideoMode(), 0) << platVideoError();
  EXPECT_FALSE(platWindowIsFullScreen(win->handle));
  EXPECT_EQ(wmDestroyWindow(win), 0);

  // A window of another size ends the claim, says so, and keeps its size; the next
  // window of the mode's size no longer takes it.
  claim();
  mark = log().size();
  wm_window_t *other = open(10, 10, 100, 100);
  ASSERT_NE(other, nullptr);
  EXPECT_FALSE(platWindowIsFullScreen(other->handle));
  EXPECT_EQ(logLines(mark, "[wm][dm]"), 1) << log().substr(mark);
  EXPECT_EQ(logLines(mark, "mode 1920x1080 (0Hz) 32 bits not applied: the window is 100x100"), 1)
      << log().substr(mark);
  win = open(0, 0, 1920, 1080);
  ASSERT_NE(win, nullptr);
  EXPECT_FALSE(platWindowIsFullScreen(win->handle));
  EXPECT_EQ(wmDestroyWindow(win), 0);

  // A window that cannot be created (SDL refuses sides above 16384) ends the claim too.
  claim();
  mark = log().size();
  wm_window_t *huge = wmCreateWindow(0, 0, 20000, 20000);
  ASSERT_NE(huge, nullptr);
  EXPECT_EQ(wmShowWindow(huge), -1);
  EXPECT_EQ(errGetLastError(), 3005);
  EXPECT_EQ(logLines(mark, "mode 1920x1080 (0Hz) 32 bits not applied: no window"), 1) << log().substr(mark);
  EXPECT_EQ(wmDestroyWindow(huge), 0);
  win = open(0, 0, 1920, 1080);
  ASSERT_NE(win, nullptr);
  EXPECT_FALSE(platWindowIsFullScreen(win->handle));
  EXPECT_EQ(wmDestroyWindow(win), 0);

  // A window shown again is shown too: it takes a claim of its size.
  EXPECT_EQ(wmHideWindow(other), 0);
  wm_conf_t full{0, 0, 0, 1920, 1080};
  EXPECT_EQ(wmOptions(other, WM_OPT_SETCONF, reinterpret_cast<intptr_t>(&full)), 0);
  EXPECT_EQ(wmHideWindow(other), 0);
  ASSERT_TRUE(pumpUntil([&] {
    platWindowGetRect(other->handle, nullptr, nullptr, &w, &h);
    return w == 1920 && h == 1080;
  }));
  claim();
  EXPECT_EQ(wmShowWindow(other), 0);
  EXPECT_TRUE(platWindowIsFullScreen(other->handle));
  EXPECT_EQ(wmRestoreVideoMode(), 0) << platVideoError();
  EXPECT_FALSE(platWindowIsFullScreen(other->handle));
  EXPECT_EQ(wmDestroyWindow(other), 0);
  dmScreen = desktop;
}

}  // namespace
