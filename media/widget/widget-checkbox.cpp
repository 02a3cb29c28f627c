// CHECKBOX: a box with a caption whose VALUE flips with every left-button mouse
// event inside it (the press, and each move while the button is held).
// Depends on: widget internals.
#include "media/widget/widget_private.h"

namespace {

int checkboxInit(widget_item_t *w, int32_t count, char **names, char **values) {
  if (wdgInitCheck(w, count, names, values, "[checkbox]") != 0) return -1;
  WDG_LOG("[checkbox]", " - new widget: %s (%d) : %s %d, %d, %d %dx%d fontid: %d '%s' '%s' %dx%d\n", w->wclass->name,
          w->id, w->name, w->x, w->y, w->serial, w->width, w->height, w->fontId, w->title ? w->title : "",
          w->src ? w->src : "", w->textWidth, w->textHeight);
  return 0;
}

int checkboxEvent(widget_item_t *w, wm_event_t *event) {
  switch (event->type) {
    case WM_EVENT_MOUSE:
      if (!wdgHitTest(w, event, 0)) return 0;
      if (event->mouse.left == 1) w->value = w->value == 0 ? 1 : 0;
      wdgCallUser(w, event);
      return 1;
    default:
      return wdgCheckEvent(w, event);
  }
}

}  // namespace

const widget_class_t wdgCheckboxClass = {"CHECKBOX", WDG_CHECKBOX, checkboxInit, checkboxEvent};
