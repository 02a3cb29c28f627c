// GROUP: a list of member ids (its WID attributes) that is shown, hidden, enabled or
// disabled as one. A member that is itself a group passes the event on, and the
// rest of the list is then left alone.
// Depends on: widget internals.
#include <cstdlib>
#include <cstring>

#include "media/widget/widget_private.h"

namespace {

// Groups naming each other would pass an event around for ever.
constexpr int kMaxNesting = 16;
int g_depth = 0;

int isWid(const char *name) {
  return name && (name[0] == 'W' || name[0] == 'w') && (name[1] == 'I' || name[1] == 'i') &&
         (name[2] == 'D' || name[2] == 'd') && name[3] == 0;
}

int groupInit(widget_item_t *w, int32_t count, char **names, char **values) {
  if (wdgParseAttributes(w, count, names, values, 1) != 0) return -1;
  int32_t members = 0;
  for (int32_t i = 0; i < count; i++) members += isWid(names[i]);
  if (members == 0) return wdgFail(WDG_ERR_ARG);
  w->members = (int32_t *)SYS_MemGet((size_t)members * sizeof(int32_t), "WID list");
  if (!w->members) return wdgFail(WDG_ERR_MEMORY);
  for (int32_t i = 0; i < count; i++)
    if (isWid(names[i])) w->members[w->memberCount++] = (int32_t)std::strtol(values[i] ? values[i] : "", nullptr, 10);
  WDG_LOG("[group]", " - new widget: %s (%d) : id: %d\n", w->wclass->name, w->id, w->id);
  return 0;
}

int groupEvent(widget_item_t *w, wm_event_t *event) {
  int32_t type = event->type;
  if (type != WDG_EVENT_DRAW && (type < WDG_EVENT_SHOW || type > WDG_EVENT_DISABLE)) return 0;
  if (g_depth >= kMaxNesting) return 0;
  SYS_List_p set = wdgSetOf(w);
  for (int32_t i = 0; i < w->memberCount; i++) {
    widget_item_t *member = wdgFind(set, w->members[i]);
    if (!member || member == w) continue;
    if (member->classId == WDG_GROUP) {
      g_depth++;
      wdgSend(member, type);
      g_depth--;
      break;
    }
    switch (type) {
      case WDG_EVENT_SHOW: member->visible = 1; break;
      case WDG_EVENT_HIDE: member->visible = 0; break;
      case WDG_EVENT_ENABLE: member->disabled = 0; break;
      case WDG_EVENT_DISABLE: member->disabled = 1; break;
      default: break;
    }
  }
  return 0;
}

}  // namespace

const widget_class_t wdgGroupClass = {"GROUP", WDG_GROUP, groupInit, groupEvent};
