// LINE: a straight line of DEPTH pixels in FGCOLOR from (X, Y) to (X2, Y2).
// Depends on: widget internals, the framework GL table.
#include "media/widget/widget_private.h"
#include "media/window/gl_stub.h"

namespace {

int lineInit(widget_item_t *w, int32_t count, char **names, char **values) {
  w->depth = 1.0f;
  wdgDefaultStyle(w);
  if (wdgParseAttributes(w, count, names, values, 1) != 0) return -1;
  WDG_LOG("[line]", " - new widget: %s (%d) : %d, %d %d, %d %f\n", w->wclass->name, w->id, w->x, w->y, w->x2, w->y2,
          (double)w->depth);
  return 0;
}

int lineEvent(widget_item_t *w, wm_event_t *event) {
  if (event->type != WDG_EVENT_DRAW || !w->visible) return 0;
  int32_t h = wdgWindowHeight(w);
  wmGL.glDisable(GL_TEXTURE_2D);
  wmGL.glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
  wmGL.glLineWidth(w->depth);
  wdgColor(w->style.fgcolor);
  wmGL.glBegin(GL_LINES);
  wmGL.glVertex2i(w->x, h - w->y);
  wmGL.glVertex2i(w->x2, h - w->y2);
  wmGL.glEnd();
  return 0;
}

}  // namespace

const widget_class_t wdgLineClass = {"LINE", WDG_LINE, lineInit, lineEvent};
