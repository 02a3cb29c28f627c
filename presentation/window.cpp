// Main window, events and setup values: see window.h.
// Depends on: bindings, gl, dialogs (setup dialog), media/window/WM, base (log).
#include "presentation/window.h"

// The GL table first: it must see the system GL headers before anything else does.
#include "presentation/gl.h"

#include "base/log.h"
#include "media/window/WM.h"
#include "presentation/bindings.h"
#include "presentation/dialogs.h"

int32_t CfgState = 0, CfgWidth = 0, CfgHeight = 0, CfgNoSound = 0, CfgVSync = -1, CfgFullScreen = -1,
        CfgTextureQuality = 0;
int32_t QuitFlag = 0;
int32_t LastKey = 0;
wm_window_t *MainWindow = nullptr;

namespace {

void InitWindowManager(void) {
  if (wmInit() != 0) FatalError("WM initialization error.");
}
void UninitWindowManager(void) {}

}  // namespace

void RegisterWindowManagerUnit(void) {
  AddInit("Window manager ...", 1, InitWindowManager);
  AddExit("Uninit window manager ...", 1, UninitWindowManager);
}

void OpenMainWindow(const char *title, int32_t *width, int32_t *height, int32_t *fullscreen) {
  PasLogLn("creatwindow");
  if (RunSetupDialog() != 0) ExitAndHalt(0);
  PasLogLn("creatwindow2");
  *width = CfgWidth;
  *height = CfgHeight;
  *fullscreen = CfgFullScreen;
  int32_t x = 0, y = 0;
  if (!*fullscreen) {
    x = ((int32_t)wmOptions(nullptr, WM_OPT_SCREENWIDTH, 0) - *width) / 2;
    y = ((int32_t)wmOptions(nullptr, WM_OPT_SCREENHEIGHT, 0) - *height) / 2;
  }
  MainWindow = wmCreateWindow(x, y, *width, *height);
  if (!MainWindow) FatalError("Unable to create window.");
  wmOptions(MainWindow, WM_OPT_TITLE, (intptr_t)title);
  wmOptions(MainWindow, WM_OPT_CALLBACK, (intptr_t)WindowEventHandler);
  PasLogLn(" - set view mode.");
  if (*fullscreen) {
    wmTransitionBegin(0, 0.5f);
    wmOptions(MainWindow, WM_OPT_HIDECURSOR, 1);
    wmSetVideoMode(*width, *height, 32, 0.0f);
  }
  wmShowWindow(MainWindow);
  glInitExt();
  for (int i = 0; i < 4; i++) {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    wmSwapBuffers(MainWindow);
  }
  if (*fullscreen) {
    wmOptions(MainWindow, WM_OPT_BORDERLESS, 1);
    wmOptions(MainWindow, WM_OPT_FULLSCREEN, 1);
    wmTransitionEnd();
  }
}

void CloseMainWindow(void) {
  // The error callback may come after the normal end began closing: never twice.
  if (!MainWindow) return;
  wm_window_t *window = MainWindow;
  MainWindow = nullptr;
  if (CfgFullScreen) wmTransitionBegin(1, 4.0f);
  wmHideWindow(window);
  wmDestroyWindow(window);
  if (CfgFullScreen) wmTransitionEnd();
}

int WindowEventHandler(wm_event_t *event) {
  switch (event->type) {
    case WM_EVENT_KEY:
      LastKey = event->key.key;
      if (event->key.key == WM_KEYCODE_ESCAPE) QuitFlag = -1;
      break;
    case WM_EVENT_WINDOW:
      if (event->conf.type == WM_CONF_CLOSE) QuitFlag = -1;
      if (event->conf.type == WM_CONF_CONFIGURE) {
        wmMakeCurrent(event->window);
        glViewport(0, 0, event->conf.width, event->conf.height);
      }
      break;
    default:
      break;
  }
  return 0;
}
