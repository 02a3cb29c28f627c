// LABEL: a caption of its own WIDTH x HEIGHT bitmap, filled with BGCOLOR and
// written in COLOR, rendered when shown and when its text or colour changes.
// Depends on: widget internals, the texture manager, the font renderer, the
// framework GL table.
#include "media/texture/TM.h"
#include "media/widget/widget_private.h"
#include "media/window/gl_stub.h"

namespace {

int labelInit(widget_item_t *w, int32_t count, char **names, char **values) {
  w->width = 256;
  w->height = 32;
  w->depth = 1.0f;
  wdgDefaultStyle(w);
  if (wdgParseAttributes(w, count, names, values, 1) != 0) return -1;
  if (wdgResolveFontId(w) != 0) {
    WDG_LOG("[label]", " ! font id not found.\n");
    return -1;
  }
  if (wdgMakeName(w, "label") != 0 || wdgMakeTextBitmap(w, w->width, w->height) != 0) return -1;
  WDG_LOG("[label]", " - new widget: %s (%d) : %d, %d, %d %dx%d title: '%s'\n   - texture id: %s\n", w->wclass->name,
          w->id, w->x, w->y, w->serial, w->width, w->height, w->title ? w->title : "", w->name);
  return 0;
}

void render(widget_item_t *w) {
  if (!w->bitmap) return;
  wdgFillBitmap(w->bitmap->image[0], w->bitmap->imagesize[0], wdgPackFillColor(w->style.bgcolor));
  ftSetColor(w->style.font, wdgPackColor(w->style.color));
  wdgRenderCaption(w, w->title);
}

int labelEvent(widget_item_t *w, wm_event_t *event) {
  switch (event->type) {
    case WDG_EVENT_SHOW:
      render(w);
      if (w->bitmap) tmLoadFromBitmap(w->name, w->bitmap, 1);
      break;
    case WDG_EVENT_UPDATE:
      render(w);
      if (w->bitmap) tmReloadFromBitmap(w->name, w->bitmap);
      break;
    case WDG_EVENT_DRAW: {
      if (!w->visible) break;
      int32_t top = wdgWindowHeight(w) - w->y;
      wmGL.glEnable(GL_TEXTURE_2D);
      tmBind(w->name);
      wmGL.glEnable(GL_BLEND);
      wmGL.glBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR);
      wdgTextQuad(w->x, top, w);
      break;
    }
    case WDG_EVENT_UNLOAD:
      if (w->bitmap) tmUnload(w->name);
      break;
    default:
      break;
  }
  return 0;
}

}  // namespace

const widget_class_t wdgLabelClass = {"LABEL", WDG_LABEL, labelInit, labelEvent};
