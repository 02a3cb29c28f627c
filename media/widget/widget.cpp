// Widget sets: loading a description into a list of widgets, and the operations the
// application runs on a set or on one widget (show, hide, draw, pump, look up,
// change, read values).
//
// Loading walks the description's start tags in document order; each element that
// names a class becomes a zeroed record whose class init parses its attributes. A
// record remembers the set as it stood when it was made, so lookups from inside a
// widget (FONTID, STYLE, radio groups) see only the widgets before it. Serials name
// the caption textures ("label-%d"), which live in one process-wide texture list, so
// they never repeat: each load starts after the last serial of the one before.
// Depends on: base (XML reader, list, log, last error, tracked memory), the window
// manager, the widget classes.
#include <cstring>

#include "base/xml.h"
#include "media/widget/widget_private.h"

int32_t wdgLoadCount = 100000000;

// Lookup order of the element names.
const widget_class_t *const wdgClasses[] = {
    &wdgWindowClass, &wdgLineClass,  &wdgImgClass,      &wdgFrameClass,       &wdgFontClass,     &wdgLabelClass,
    &wdgButtonClass, &wdgGroupClass, &wdgCheckboxClass, &wdgRadiobuttonClass, &wdgProgressClass, &wdgStyleClass,
};
const int32_t wdgClassCount = (int32_t)(sizeof wdgClasses / sizeof wdgClasses[0]);

namespace {

struct LoadState {
  SYS_List_p set;
  int32_t counter;
};

widget_item_t *firstOfClass(SYS_List_p set, int32_t classId) {
  for (SYS_List_p n = set; n; n = n->next) {
    widget_item_t *w = (widget_item_t *)n->item;
    if (w && w->classId == classId) return w;
  }
  return nullptr;
}

void xmlOpen(SYS_XML_t *xml, const char *element, int32_t count, char **names, char **values) {
  LoadState *state = (LoadState *)xml->user;
  const widget_class_t *wclass = nullptr;
  for (int32_t i = 0; i < wdgClassCount && !wclass; i++)
    if (wdgEqualNoCase(element, wdgClasses[i]->name)) wclass = wdgClasses[i];
  if (!wclass) return;

  widget_item_t *window = firstOfClass(state->set, WDG_WINDOW);
  widget_item_t *w = (widget_item_t *)SYS_MemGet(sizeof(widget_item_t), "new widget");
  if (!w) {
    WDG_LOG("", " ! error in initialization: %s\n", element);
    return;
  }
  if (window && window->ownWindow) w->parentWindow = window->ownWindow;
  w->wclass = wclass;
  w->classId = wclass->id;
  w->set = state->set;
  w->serial = state->counter + wdgLoadCount;
  state->counter++;
  if (wclass->init(w, count, names, values) != 0) {
    WDG_LOG("", " ! error in initialization: %s\n", element);
    wdgFreeFields(w);
    SYS_MemFree(&w);
    return;
  }
  // The list reports a failed append only through the last error.
  int32_t before = errGetLastError();
  errClear();
  SYS_List_p grown = SYS_ListAddLast(state->set, w);
  if (errGetLastError() != 0) {
    WDG_LOG("", " ! error in initialization: %s\n", element);
    wdgSend(w, WDG_EVENT_UNLOAD);
    wdgFreeFields(w);
    SYS_MemFree(&w);
    return;
  }
  if (before) errSetLastError(before);
  state->set = grown;
}

}  // namespace

extern "C" {

int wdgInit(void) {
  errClear();
  return 0;
}

SYS_List_p wdgLoad(int32_t kind, const char *source) {
  errClear();
  wdgLoadCount++;
  LoadState state{nullptr, 0};
  SYS_XML_t *xml = SYS_XMLOpen(kind, source);
  if (!xml) return nullptr;
  SYS_XMLSetCB(xml, xmlOpen, nullptr, nullptr, &state);
  SYS_XMLParse(xml);
  SYS_XMLClose(xml);
  // Two sets sharing a texture key would replace, and free, each other's captions.
  if (state.counter > 1) wdgLoadCount += state.counter - 1;
  widget_item_t *window = firstOfClass(state.set, WDG_WINDOW);
  if (window && window->ownWindow)
    wmOptions(window->ownWindow, WM_OPT_SETUSERDATA, (intptr_t)state.set);
  else
    errSetLastError(WDG_ERR_NOITEM);  // a set without window loads, but nothing can show it
  return state.set;
}

int wdgUnload(SYS_List_p set) {
  errClear();
  if (!set) return wdgFail(WDG_ERR_ARG);
  WDG_LOG("", " - unload widget set.\n");
  for (SYS_List_p n = set; n; n = n->next) {
    widget_item_t *w = (widget_item_t *)n->item;
    if (!w) continue;
    wdgSend(w, WDG_EVENT_UNLOAD);
    wdgFreeFields(w);
    SYS_MemFree(&w);
    n->item = nullptr;
  }
  SYS_ListRemove(set);
  return 0;
}

int wdgShow(SYS_List_p set) {
  errClear();
  if (!set) return wdgFail(WDG_ERR_ARG);
  for (SYS_List_p n = set; n; n = n->next) {
    widget_item_t *w = (widget_item_t *)n->item;
    w->visible = 1;
    wdgSend(w, WDG_EVENT_SHOW);
  }
  wdgDraw(set);
  return 0;
}

int wdgHide(SYS_List_p set) {
  errClear();
  if (!set) return wdgFail(WDG_ERR_ARG);
  for (SYS_List_p n = set; n; n = n->next) {
    widget_item_t *w = (widget_item_t *)n->item;
    w->visible = 0;
    wdgSend(w, WDG_EVENT_HIDE);
  }
  return 0;
}

int wdgDraw(SYS_List_p set) {
  errClear();
  if (!set) return wdgFail(WDG_ERR_ARG);
  widget_item_t *window = firstOfClass(set, WDG_WINDOW);
  // Without a window no context of ours is current: drawing would land elsewhere.
  if (!window || !window->ownWindow) return wdgFail(WDG_ERR_NOITEM);
  wmMakeCurrent(window->ownWindow);
  wm_window_t *last = nullptr;
  for (SYS_List_p n = set; n; n = n->next) {
    widget_item_t *w = (widget_item_t *)n->item;
    wdgSend(w, WDG_EVENT_DRAW);
    if (w->classId == WDG_WINDOW && w->ownWindow) last = w->ownWindow;
  }
  if (last) wmSwapBuffers(last);
  return 0;
}

int wdgProcess(SYS_List_p set) {
  errClear();
  if (!set) return wdgFail(WDG_ERR_ARG);
  wmProcessEvents();
  wdgDraw(set);
  return 0;
}

widget_item_t *wdgGetItem(SYS_List_p set, int32_t id) {
  errClear();
  if (!set) {
    errSetLastError(WDG_ERR_ARG);
    return nullptr;
  }
  widget_item_t *w = wdgFind(set, id);
  if (!w) errSetLastError(WDG_ERR_NOITEM);
  return w;
}

widget_item_t *wdgGetClassItem(SYS_List_p set, int32_t classId) {
  errClear();
  if (!set) {
    errSetLastError(WDG_ERR_ARG);
    return nullptr;
  }
  widget_item_t *w = firstOfClass(set, classId);
  if (!w) errSetLastError(WDG_ERR_NOITEM);
  return w;
}

int wdgSetCallback(SYS_List_p set, widget_callback_t callback) {
  errClear();
  if (!set || !callback) return wdgFail(WDG_ERR_ARG);
  for (SYS_List_p n = set; n; n = n->next) ((widget_item_t *)n->item)->callback = callback;
  return 0;
}

int wdgSetItemCallback(widget_item_t *widget, widget_callback_t callback) {
  errClear();
  if (!widget) return wdgFail(WDG_ERR_ARG);
  widget->callback = callback;
  return 0;
}

int wdgSetText(widget_item_t *widget, const char *text) {
  errClear();
  if (!widget || !text) return wdgFail(WDG_ERR_ARG);
  if (wdgSetField(&widget->title, text) != 0) return -1;
  if (!widget->wclass) {
    errSetLastError(WDG_ERR_ARG);
    return 0;
  }
  wdgSend(widget, WDG_EVENT_UPDATE);
  return 0;
}

int wdgSetSrc(widget_item_t *widget, const char *text) {
  errClear();
  if (!widget || !text) return wdgFail(WDG_ERR_ARG);
  if (wdgSetField(&widget->src, text) != 0) return -1;
  wdgSend(widget, WDG_EVENT_UPDATE);
  return 0;
}

int wdgGetPos(widget_item_t *widget, int32_t *x, int32_t *y) {
  errClear();
  if (!widget) return wdgFail(WDG_ERR_ARG);
  if (x) *x = widget->x;
  if (y) *y = widget->y;
  return 0;
}

int wdgGetSize(widget_item_t *widget, int32_t *width, int32_t *height) {
  errClear();
  if (!widget) return wdgFail(WDG_ERR_ARG);
  if (width) *width = widget->width;
  if (height) *height = widget->height;
  return 0;
}

int wdgSetPos(widget_item_t *widget, int32_t x, int32_t y) {
  errClear();
  if (!widget) return wdgFail(WDG_ERR_ARG);
  widget->x = x;
  widget->y = y;
  wdgSend(widget, WDG_EVENT_UPDATE);
  return 0;
}

int wdgSetSize(widget_item_t *widget, int32_t width, int32_t height) {
  errClear();
  if (!widget) return wdgFail(WDG_ERR_ARG);
  widget->width = width;
  widget->height = height;
  wdgSend(widget, WDG_EVENT_UPDATE);
  return 0;
}

int wdgShowItem(widget_item_t *widget) {
  errClear();
  if (!widget) return wdgFail(WDG_ERR_ARG);
  widget->visible = 1;
  wdgSend(widget, WDG_EVENT_SHOW);
  return 0;
}

int wdgHideItem(widget_item_t *widget) {
  errClear();
  if (!widget) return wdgFail(WDG_ERR_ARG);
  widget->visible = 0;
  wdgSend(widget, WDG_EVENT_HIDE);
  return 0;
}

int wdgEnable(widget_item_t *widget) {
  errClear();
  if (!widget) return wdgFail(WDG_ERR_ARG);
  widget->disabled = 0;
  wdgSend(widget, WDG_EVENT_ENABLE);
  return 0;
}

int wdgDisable(widget_item_t *widget) {
  errClear();
  if (!widget) return wdgFail(WDG_ERR_ARG);
  widget->disabled = 1;
  wdgSend(widget, WDG_EVENT_DISABLE);
  return 0;
}

int wdgRedrawItem(widget_item_t *widget) {
  errClear();
  if (!widget) return wdgFail(WDG_ERR_ARG);
  widget->disabled = 0;
  wdgSend(widget, WDG_EVENT_DRAW);
  return 0;
}

int wdgUpdate(widget_item_t *widget) {
  errClear();
  if (!widget || !widget->wclass) return wdgFail(WDG_ERR_ARG);
  wdgSend(widget, WDG_EVENT_UPDATE);
  return 0;
}

int32_t wdgGetValue(widget_item_t *widget) {
  errClear();
  if (!widget) return wdgFail(WDG_ERR_ARG);
  return widget->value;
}

float wdgGetFloatValue(widget_item_t *widget) {
  errClear();
  if (!widget) {
    errSetLastError(WDG_ERR_ARG);
    return -1.0f;
  }
  return widget->fvalue;
}

const char *wdgGetTextValue(widget_item_t *widget) {
  errClear();
  if (!widget) {
    errSetLastError(WDG_ERR_ARG);
    return nullptr;
  }
  return widget->tvalue;
}

}  // extern "C"

// Colour setters: one slot each, in text (RRGGBBAA) and byte form.
#define WDG_COLOR_SETTER(textName, byteName, field)                                        \
  extern "C" int textName(widget_item_t *widget, const char *rgba) {                       \
    errClear();                                                                            \
    if (!widget || !rgba) return wdgFail(WDG_ERR_ARG);                                     \
    wdgParseColor(rgba, widget->style.field);                                              \
    wdgSend(widget, WDG_EVENT_UPDATE);                                                     \
    return 0;                                                                              \
  }                                                                                        \
  extern "C" int byteName(widget_item_t *widget, uint8_t r, uint8_t g, uint8_t b, uint8_t a) { \
    errClear();                                                                            \
    if (!widget) return wdgFail(WDG_ERR_ARG);                                              \
    const float k = 0.003921569f;                                                          \
    widget->style.field[0] = r * k;                                                        \
    widget->style.field[1] = g * k;                                                        \
    widget->style.field[2] = b * k;                                                        \
    widget->style.field[3] = a * k;                                                        \
    wdgSend(widget, WDG_EVENT_UPDATE);                                                     \
    return 0;                                                                              \
  }

WDG_COLOR_SETTER(wdgSetFgColorText, wdgSetFgColor, fgcolor)
WDG_COLOR_SETTER(wdgSetBgColorText, wdgSetBgColor, bgcolor)
WDG_COLOR_SETTER(wdgSetOColorText, wdgSetOColor, ocolor)
WDG_COLOR_SETTER(wdgSetColorText, wdgSetColor, color)
WDG_COLOR_SETTER(wdgSetBorderTopText, wdgSetBorderTop, borderTop)
WDG_COLOR_SETTER(wdgSetBorderBottomText, wdgSetBorderBottom, borderBottom)
WDG_COLOR_SETTER(wdgSetBorderLeftText, wdgSetBorderLeft, borderLeft)
WDG_COLOR_SETTER(wdgSetBorderRightText, wdgSetBorderRight, borderRight)

// ---- helpers shared with the classes

int wdgSend(widget_item_t *widget, int32_t type) {
  if (!widget || !widget->wclass || !widget->wclass->event) return 0;
  wm_event_t event;
  std::memset(&event, 0, sizeof event);
  event.type = type;
  return widget->wclass->event(widget, &event);
}

widget_item_t *wdgFind(SYS_List_p head, int32_t id) {
  for (SYS_List_p n = head; n; n = n->next) {
    widget_item_t *w = (widget_item_t *)n->item;
    if (w && w->id == id) return w;
  }
  return nullptr;
}

SYS_List_p wdgSetOf(widget_item_t *widget) {
  if (widget->parentWindow) {
    SYS_List_p set = (SYS_List_p)wmOptions(widget->parentWindow, WM_OPT_GETUSERDATA, 0);
    if (set) return set;
  }
  return widget->set;
}
