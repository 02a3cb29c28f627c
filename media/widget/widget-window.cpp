// WINDOW: the dialog's window. It makes the window record at load (the native window
// comes with the first show), clears and sets up the GL state for the other widgets
// on every draw and passes the window's key, mouse and window events to the user.
// Depends on: widget internals, the window manager, the texture manager, the
// framework GL table.
#include "media/texture/TM.h"
#include "media/widget/widget_private.h"
#include "media/window/gl_stub.h"

namespace {

void drawWindow(widget_item_t *w) {
  wm_window_t *window = w->ownWindow;
  wmMakeCurrent(window);
  wmGL.glViewport(0, 0, w->width, w->height);
  const float *bg = w->style.bgcolor;
  wmGL.glClearColor(bg[0], bg[1], bg[2], bg[3]);
  wmGL.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  wmGL.glDisable(GL_LIGHTING);
  wmGL.glDisable(GL_TEXTURE_2D);
  wmGL.glDisable(GL_BLEND);
  wmGL.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  wmGL.glEnable(GL_LINE_SMOOTH);
  wmGL.glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
  wmGL.glLineWidth(1.0f);
  wmGL.glShadeModel(GL_SMOOTH);
  wmGL.glDisable(GL_DEPTH_TEST);
  wmGL.glMatrixMode(GL_PROJECTION);
  wmGL.glLoadIdentity();
  int32_t width = (int32_t)wmOptions(window, WM_OPT_WIDTH, 0);
  int32_t height = (int32_t)wmOptions(window, WM_OPT_HEIGHT, 0);
  wmGL.glOrtho(0, width, 0, height, -10, 10);
  if (w->bg) {
    wmGL.glEnable(GL_TEXTURE_2D);
    tmBind(w->bg);
    wdgColor(w->style.fgcolor);
    wmGL.glBegin(GL_QUADS);
    wmGL.glTexCoord2f(0, 1);
    wmGL.glVertex2i(0, 0);
    wmGL.glTexCoord2f(0, 0);
    wmGL.glVertex2i(0, height);
    wmGL.glTexCoord2f(1, 0);
    wmGL.glVertex2i(width, height);
    wmGL.glTexCoord2f(1, 1);
    wmGL.glVertex2i(width, 0);
    wmGL.glEnd();
  }
}

int windowInit(widget_item_t *w, int32_t count, char **names, char **values) {
  w->x = w->y = -1;
  w->width = 640;
  w->height = 480;
  wdgDefaultStyle(w);
  if (wdgParseAttributes(w, count, names, values, 1) != 0) return -1;
  if (w->x == -1) w->x = ((int32_t)wmOptions(nullptr, WM_OPT_SCREENWIDTH, 0) - w->width) / 2;
  if (w->y == -1) w->y = ((int32_t)wmOptions(nullptr, WM_OPT_SCREENHEIGHT, 0) - w->height) / 2;
  w->ownWindow = wmCreateWindow(w->x, w->y, w->width, w->height);
  if (!w->ownWindow) return -1;
  wmOptions(w->ownWindow, WM_OPT_TITLE, (intptr_t)w->title);
  wmOptions(w->ownWindow, WM_OPT_CALLBACK, (intptr_t)wdgWindowCallback);
  wmOptions(w->ownWindow, WM_OPT_RESIZABLE, w->resizeable);
  wmOptions(w->ownWindow, 109, w->dnd);
  WDG_LOG("[window]", " - new widget: WINDOW (%d) : %d, %d %dx%d (%d)\n", w->id, w->x, w->y, w->width, w->height,
          w->fullscreen);
  return 0;
}

int windowEvent(widget_item_t *w, wm_event_t *event) {
  switch (event->type) {
    case WM_EVENT_KEY:
    case WM_EVENT_MOUSE:
    case WM_EVENT_WINDOW:
    case 4:
      wdgCallUser(w, event);
      break;
    case WDG_EVENT_SHOW:
      if (!w->visible || !w->ownWindow) break;
      WDG_LOG("[window]", " - show window.\n");
      wmShowWindow(w->ownWindow);
      WDG_LOG("[window]", " - load texutre.\n");
      if (w->bg) tmLoad(w->bg, w->bgFilter);
      drawWindow(w);
      wdgCallUser(w, event);
      break;
    case WDG_EVENT_DRAW:
      if (!w->visible || !w->ownWindow) break;
      drawWindow(w);
      wdgCallUser(w, event);
      break;
    case WDG_EVENT_HIDE:
      WDG_LOG("[window]", " ! hide window (%s).\n", w->title ? w->title : "");
      if (w->ownWindow) wmHideWindow(w->ownWindow);
      break;
    case WDG_EVENT_UNLOAD:
      if (w->ownWindow) {
        // Destroying delivers one more close event: the set is going away, so
        // nothing may receive it.
        wmOptions(w->ownWindow, WM_OPT_CALLBACK, 0);
        wmOptions(w->ownWindow, WM_OPT_SETUSERDATA, 0);
        wmDestroyWindow(w->ownWindow);
        w->ownWindow = nullptr;
      }
      wdgUnloadImage(w->bg);
      break;
    default:
      break;
  }
  return 0;
}

}  // namespace

const widget_class_t wdgWindowClass = {"WINDOW", WDG_WINDOW, windowInit, windowEvent};
