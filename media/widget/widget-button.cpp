// BUTTON: a text button (background, border and a centred caption) or an image
// button whose image stacks four states from top to bottom: normal, hover, pressed,
// disabled, each a quarter of its height.
// Depends on: widget internals, the texture manager, the font renderer, the
// framework GL table.
#include "media/texture/TM.h"
#include "media/widget/widget_private.h"
#include "media/window/gl_stub.h"

namespace {

int buttonInit(widget_item_t *w, int32_t count, char **names, char **values) {
  w->aspect = 1.0f;
  wdgDefaultStyle(w);
  if (wdgParseAttributes(w, count, names, values, 1) != 0) return -1;
  if (w->src) {
    WDG_LOG("[button]", " button texture: %s\n", w->src);
  } else {
    if (wdgResolveFontId(w) != 0) {
      WDG_LOG("[button]", " ! requested font do not be there.\n");
      if (w->title) SYS_MemFree(&w->title);
      return -1;
    }
    if (wdgMakeTextBitmap(w, 512, 64) != 0) return -1;
    wdgRenderCaption(w, w->title);
    if (wdgMakeName(w, "label") != 0) return -1;
  }
  WDG_LOG("[button]", " - new widget: %s (%d) : %s %d, %d, %d %dx%d fontid: %d '%s' '%s' %dx%d\n", w->wclass->name,
          w->id, w->name ? w->name : "", w->x, w->y, w->serial, w->width, w->height, w->fontId,
          w->title ? w->title : "", w->src ? w->src : "", w->textWidth, w->textHeight);
  return 0;
}

void drawImageButton(widget_item_t *w, int32_t top, int32_t bottom) {
  float s = (float)(w->disabled ? 3 : w->pressed ? 2 : w->hover ? 1 : 0);
  wmGL.glDisable(GL_TEXTURE_2D);
  tmBind(w->src);  // enables texturing when the image is there
  wmGL.glDisable(GL_BLEND);
  wdgColor(w->style.fgcolor);
  wmGL.glBegin(GL_QUADS);
  wmGL.glTexCoord2f(0, s * 0.25f + 0.25f);
  wmGL.glVertex2i(w->x, bottom);
  wmGL.glTexCoord2f(0, s * 0.25f);
  wmGL.glVertex2i(w->x, top);
  wmGL.glTexCoord2f(1, s * 0.25f);
  wmGL.glVertex2i(w->x + w->width, top);
  wmGL.glTexCoord2f(1, s * 0.25f + 0.25f);
  wmGL.glVertex2i(w->x + w->width, bottom);
  wmGL.glEnd();
}

int buttonEvent(widget_item_t *w, wm_event_t *event) {
  switch (event->type) {
    case WM_EVENT_MOUSE:
      if (!wdgHitTest(w, event, 1)) return 0;
      if (event->mouse.left == 1) w->pressed = 1;
      wdgCallUser(w, event);
      return 1;
    case WDG_EVENT_SHOW:
      if (w->visible && w->src && tmLoad(w->src, 1) >= 0) {
        txBitmap *image = tmGetBitmap(w->src);
        if (image) {
          w->width = image->width;
          w->height = image->height / 4;
        }
      }
      break;
    case WDG_EVENT_DRAW: {
      if (!w->visible) break;
      int32_t top = wdgWindowHeight(w) - w->y, bottom = top - w->height;
      if (w->src) {
        drawImageButton(w, top, bottom);
        break;
      }
      wmGL.glDisable(GL_BLEND);
      wmGL.glDisable(GL_TEXTURE_2D);
      wdgDrawBackground(w);
      wdgDrawBorder(w);
      wdgDrawText(w->x + (w->width - w->textWidth) / 2, top - (w->height - w->textHeight) / 2, w);
      break;
    }
    case WDG_EVENT_UPDATE:
      if (w->src || !w->bitmap) break;
      wdgClearBitmap(w);
      wdgRenderCaption(w, w->title);
      tmReloadFromBitmap(w->name, w->bitmap);
      break;
    case WDG_EVENT_UNLOAD:
      if (w->bitmap) tmUnload(w->name);
      wdgUnloadImage(w->src);
      break;
    default:
      break;
  }
  return 0;
}

}  // namespace

const widget_class_t wdgButtonClass = {"BUTTON", WDG_BUTTON, buttonInit, buttonEvent};
