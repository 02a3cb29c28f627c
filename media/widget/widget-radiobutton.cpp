// RADIOBUTTON: a check box of a group (GID) in which exactly the last one clicked,
// or the last one checked in the description, has VALUE 1.
// Depends on: widget internals.
#include "media/widget/widget_private.h"

namespace {

void clearGroup(SYS_List_p set, int32_t gid) {
  for (SYS_List_p n = set; n; n = n->next) {
    widget_item_t *other = (widget_item_t *)n->item;
    if (other && other->classId == WDG_RADIOBUTTON && other->gid == gid) other->value = 0;
  }
}

int radioInit(widget_item_t *w, int32_t count, char **names, char **values) {
  if (wdgInitCheck(w, count, names, values, "[radiobutton]") != 0) return -1;
  if (w->value) {
    clearGroup(w->set, w->gid);  // only those loaded before: later ones override this one
    w->value = 1;
  }
  WDG_LOG("[radiobutton]", " - new widget: %s (%d) : %d, %d, %d %dx%d '%s'\n", w->wclass->name, w->id, w->x, w->y,
          w->serial, w->width, w->height, w->title ? w->title : "");
  return 0;
}

int radioEvent(widget_item_t *w, wm_event_t *event) {
  switch (event->type) {
    case WM_EVENT_MOUSE:
      if (!wdgHitTest(w, event, 0)) return 0;
      if (event->mouse.left == 1) {
        clearGroup(wdgSetOf(w), w->gid);
        w->value = 1;
      }
      wdgCallUser(w, event);
      return 1;
    default:
      return wdgCheckEvent(w, event);
  }
}

}  // namespace

const widget_class_t wdgRadiobuttonClass = {"RADIOBUTTON", WDG_RADIOBUTTON, radioInit, radioEvent};
