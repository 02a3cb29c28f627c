// Shows a window through the framework alone, resizes it halfway, closes it.
//
//   korv-window-demo [milliseconds]   (default 3000; Escape or the close box end it early)
//
// Draws a slowly changing clear colour with a white quad through the framework GL
// table; exits 0 when the window came up, received its resize as one configure
// event with the new size and went away cleanly, 1 otherwise.
// Depends on: base (start-up, timer), media/window.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/log.h"
#include "base/main.h"
#include "base/time.h"
#include "media/window/WM.h"
#include "media/window/gl_stub.h"

namespace {

bool g_quit = false;
int g_configures = 0, g_width = 0, g_height = 0;

int onEvent(wm_event_t *e) {
  if (e->type == WM_EVENT_KEY && e->key.key == WM_KEYCODE_ESCAPE) g_quit = true;
  if (e->type == WM_EVENT_WINDOW && e->conf.type == WM_CONF_CLOSE) g_quit = true;
  if (e->type == WM_EVENT_WINDOW && e->conf.type == WM_CONF_CONFIGURE) {
    ++g_configures;
    g_width = e->conf.width;
    g_height = e->conf.height;
    wmMakeCurrent(e->window);
    wmGL.glViewport(0, 0, e->conf.width, e->conf.height);
  }
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  const uint32_t runMs = argc > 1 ? (uint32_t)std::strtoul(argv[1], nullptr, 10) : 3000u;
  SYS_BaseInit(nullptr, 0, nullptr, nullptr);
  if (wmInit() != 0) {
    std::fprintf(stderr, "window-demo: wmInit failed (%d)\n", errGetLastError());
    return 1;
  }
  wm_window_t *win = wmCreateWindow(100, 100, 640, 360);
  if (!win) return 1;
  wmOptions(win, WM_OPT_TITLE, reinterpret_cast<intptr_t>("window demo"));
  wmOptions(win, WM_OPT_CALLBACK, reinterpret_cast<intptr_t>(&onEvent));
  wmOptions(win, WM_OPT_RESIZABLE, 1);
  if (wmShowWindow(win) != 0) {
    std::fprintf(stderr, "window-demo: wmShowWindow failed (%d)\n", errGetLastError());
    return 1;
  }
  std::printf("window-demo: shown 640x360 on %s\n",
              reinterpret_cast<const char *>(wmGL.glGetString(GL_RENDERER)));
  {
    auto t0 = std::chrono::steady_clock::now();
    gl_stub();
    auto t1 = std::chrono::steady_clock::now();
    size_t slots = 0, filled = 0;
    const wm_glslot_t *s = gl_stub_slots(&slots);
    for (size_t i = 0; i < slots; ++i) {
      void *p = nullptr;
      std::memcpy(&p, reinterpret_cast<const char *>(&wmGL) + s[i].offset, sizeof p);
      filled += p != nullptr;
    }
    std::printf("window-demo: GL table %zu of %zu slots filled, reload %.2f ms\n", filled, slots,
                std::chrono::duration<double, std::milli>(t1 - t0).count());
  }

  SYS_TimerReset();
  bool resized = false;
  int frames = 0;
  int configuresBefore = 0;
  while (!g_quit) {
    uint32_t t = SYS_TimerGet();
    if (t >= runMs) break;
    if (!resized && t >= runMs / 2) {
      wmProcessEvents();
      configuresBefore = g_configures;
      wm_conf_t conf{0, 100, 100, 800, 450};
      wmOptions(win, WM_OPT_SETCONF, reinterpret_cast<intptr_t>(&conf));
      resized = true;
    }
    wmMakeCurrent(win);
    float f = (float)(t % 2000) / 2000.0f;
    wmGL.glClearColor(0.1f, 0.2f + 0.6f * f, 0.4f, 1.0f);
    wmGL.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    wmGL.glMatrixMode(GL_PROJECTION);
    wmGL.glLoadIdentity();
    wmGL.glOrtho(-1, 1, -1, 1, -1, 1);
    wmGL.glBegin(GL_QUADS);
    wmGL.glVertex2f(-0.25f, -0.25f);
    wmGL.glVertex2f(0.25f, -0.25f);
    wmGL.glVertex2f(0.25f, 0.25f);
    wmGL.glVertex2f(-0.25f, 0.25f);
    wmGL.glEnd();
    wmSwapBuffers(win);
    ++frames;
    wmProcessEvents();
    SYS_Sleep(5);
  }
  int resizeEvents = g_configures - configuresBefore;
  std::printf("window-demo: %d frames, %d configure event(s) after the resize, last size %dx%d\n", frames,
              resizeEvents, g_width, g_height);
  int rc = 0;
  if (!g_quit && (resizeEvents != 1 || g_width != 800 || g_height != 450)) rc = 1;
  if (wmHideWindow(win) != 0 || wmDestroyWindow(win) != 0) rc = 1;
  wmDone();
  SYS_BaseDone();
  std::printf("window-demo: closed, %s\n", rc == 0 ? "ok" : "FAILED");
  return rc;
}
