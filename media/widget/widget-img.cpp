// IMG: an image file drawn as an alpha-blended quad, sized from the image when the
// description leaves WIDTH or HEIGHT out; it reports clicks in its own coordinates.
// Depends on: widget internals, the texture manager, the framework GL table.
#include "media/texture/TM.h"
#include "media/widget/widget_private.h"
#include "media/window/gl_stub.h"

namespace {

int imgInit(widget_item_t *w, int32_t count, char **names, char **values) {
  w->aspect = 1.0f;
  if (wdgParseAttributes(w, count, names, values, 1) != 0) return -1;
  if (!w->src) WDG_LOG("[img]", " ! widget_img: texture is not defined.\n");
  WDG_LOG("[img]", " - new widget: %s (%d) : %s %d, %d, %d %dx%d %d\n", w->wclass->name, w->id, w->src ? w->src : "",
          w->x, w->y, w->serial, w->width, w->height, w->bgFilter);
  return 0;
}

void showImage(widget_item_t *w) {
  if (tmLoad(w->src, w->bgFilter) < 0) return;
  txBitmap *image = tmGetBitmap(w->src);
  w->bitmap = image;  // the texture manager's image: borrowed, never freed here
  w->ownsBitmap = 0;
  if (!image || image->width <= 0 || image->height <= 0) return;
  if (w->width && !w->height)
    w->height = (int32_t)((double)w->width / image->width * image->height * w->aspect);
  if (!w->width) w->width = image->width;
  if (!w->height) w->height = image->height;
}

void drawImage(widget_item_t *w) {
  int32_t top = wdgWindowHeight(w) - w->y, bottom = top - w->height;
  wmGL.glEnable(GL_TEXTURE_2D);
  if (tmBind(w->src) != 0) wmGL.glDisable(GL_TEXTURE_2D);
  wmGL.glEnable(GL_BLEND);
  wmGL.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  wdgColor(w->style.fgcolor);
  wmGL.glBegin(GL_QUADS);
  wmGL.glTexCoord2f(0, 1);
  wmGL.glVertex2i(w->x, bottom);
  wmGL.glTexCoord2f(0, 0);
  wmGL.glVertex2i(w->x, top);
  wmGL.glTexCoord2f(1, 0);
  wmGL.glVertex2i(w->x + w->width, top);
  wmGL.glTexCoord2f(1, 1);
  wmGL.glVertex2i(w->x + w->width, bottom);
  wmGL.glEnd();
  wmGL.glDisable(GL_BLEND);
}

int imgEvent(widget_item_t *w, wm_event_t *event) {
  switch (event->type) {
    case WM_EVENT_MOUSE: {
      if (!wdgHitTest(w, event, 0)) return 0;
      // The user sees widget-local coordinates; the event itself goes on unchanged
      // to the widgets after this one.
      wm_event_t local = *event;
      local.mouse.x = event->mouse.x - w->x - 1;
      local.mouse.y = event->mouse.y - w->y - 1;
      wdgCallUser(w, &local);
      return 1;
    }
    case WDG_EVENT_SHOW:
      if (w->visible && w->src) showImage(w);
      break;
    case WDG_EVENT_DRAW:
      if (w->visible && w->src) drawImage(w);
      break;
    case WDG_EVENT_UNLOAD:
      w->bitmap = nullptr;
      wdgUnloadImage(w->src);
      break;
    default:
      break;
  }
  return 0;
}

}  // namespace

const widget_class_t wdgImgClass = {"IMG", WDG_IMG, imgInit, imgEvent};
