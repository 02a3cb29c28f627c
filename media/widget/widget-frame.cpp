// FRAME: a filled rectangle with a one-pixel border, behind other widgets.
// Depends on: widget internals, the framework GL table.
#include "media/widget/widget_private.h"
#include "media/window/gl_stub.h"

namespace {

int frameInit(widget_item_t *w, int32_t count, char **names, char **values) {
  w->aspect = 1.0f;
  wdgDefaultStyle(w);
  if (wdgParseAttributes(w, count, names, values, 1) != 0) return -1;
  WDG_LOG("[frame]", " - new widget: %s (%d) : %d, %d, %d %dx%d\n", w->wclass->name, w->id, w->x, w->y, w->serial,
          w->width, w->height);
  return 0;
}

int frameEvent(widget_item_t *w, wm_event_t *event) {
  switch (event->type) {
    case WDG_EVENT_SHOW:
      if (w->width && !w->height) w->height = (int32_t)((float)w->width * w->aspect);
      break;
    case WDG_EVENT_DRAW:
      if (!w->visible) break;
      wmGL.glDisable(GL_TEXTURE_2D);
      wmGL.glBlendFunc(GL_SRC_COLOR, GL_DST_COLOR);
      wdgDrawBackground(w);
      wdgDrawBorder(w);
      break;
    default:
      break;
  }
  return 0;
}

}  // namespace

const widget_class_t wdgFrameClass = {"FRAME", WDG_FRAME, frameInit, frameEvent};
