// PROGRESS: a bar filled to the fraction VALUE (0 to 1) with its percentage as
// caption, drawn with the font of a STYLE.
// Depends on: widget internals, the texture manager, the font renderer, the
// framework GL table.
#include <cstdio>

#include "media/texture/TM.h"
#include "media/widget/widget_private.h"
#include "media/window/gl_stub.h"

namespace {

int progressInit(widget_item_t *w, int32_t count, char **names, char **values) {
  w->depth = 1.0f;
  if (wdgMakeName(w, "progress") != 0) return -1;
  wdgDefaultStyle(w);
  if (wdgParseAttributes(w, count, names, values, 1) != 0) return -1;
  if (wdgMakeTextBitmap(w, 512, 64) != 0) return -1;
  WDG_LOG("[progress]", " - new widget: %s (%d) : %d,%d %d,%d %f\n", w->wclass->name, w->id, w->x, w->y, w->x2, w->y2,
          (double)w->depth);
  return 0;
}

void drawProgress(widget_item_t *w) {
  int32_t top = wdgWindowHeight(w) - w->y, bottom = top - w->height;
  wmGL.glDisable(GL_TEXTURE_2D);
  wmGL.glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
  wdgDrawBackground(w);
  wdgDrawBorder(w);
  int32_t inner = w->width - 3 > 0 ? w->width - 3 : 0;
  float fraction = w->fvalue > 0.0f ? w->fvalue : 0.0f;
  int32_t fill = fraction > 1.0f ? inner : (int32_t)((float)inner * fraction);
  wdgColor(w->style.fgcolor);
  wmGL.glBegin(GL_QUADS);
  wmGL.glVertex2i(w->x + 2, top - 2);
  wmGL.glVertex2i(w->x + 2, bottom + 2);
  wmGL.glVertex2i(w->x + 2 + fill, bottom + 2);
  wmGL.glVertex2i(w->x + 2 + fill, top - 2);
  wmGL.glEnd();
  char caption[16];
  std::snprintf(caption, sizeof caption, "%.1f%%", (double)w->fvalue * 100.0);
  wdgClearBitmap(w);
  wdgRenderCaption(w, caption);
  tmReloadFromBitmap(w->name, w->bitmap);
  wdgDrawText(w->x + (w->width - w->textWidth) / 2, top - (w->height - w->textHeight) / 2 - 2, w);
}

int progressEvent(widget_item_t *w, wm_event_t *event) {
  switch (event->type) {
    case WM_EVENT_MOUSE:
      if (!wdgHitTest(w, event, 1)) return 0;
      if (event->mouse.left == 1) w->pressed = 1;
      wdgCallUser(w, event);
      return 1;
    case WDG_EVENT_DRAW:
      if (w->visible) drawProgress(w);
      break;
    case WDG_EVENT_UNLOAD:
      tmUnload(w->name);
      break;
    default:
      break;
  }
  return 0;
}

}  // namespace

const widget_class_t wdgProgressClass = {"PROGRESS", WDG_PROGRESS, progressInit, progressEvent};
