// Internals shared by the widget set, the shared routines and the classes.
// Depends on: widget.h, base (log, last error, tracked memory).
#pragma once

#include "base/log.h"
#include "base/mem.h"
#include "media/widget/widget.h"

// Every widget log line: "[widget][<class>][file:line:func()] ...".
#define WDG_LOG(tag, fmt, ...) SYS_DbgPrintf(1, "[widget]" tag "[%s:%d:%s()] " fmt, SYS_POS, ##__VA_ARGS__)

// Error codes the widgets set.
enum { WDG_ERR_MEMORY = 5, WDG_ERR_ARG = 10, WDG_ERR_NOITEM = 14 };

// Sets the last error and returns -1 (one line per error path).
inline int wdgFail(int32_t code) {
  errSetLastError(code);
  return -1;
}

// The class records (one per widget-*.cpp).
extern const widget_class_t wdgWindowClass, wdgLineClass, wdgImgClass, wdgFrameClass, wdgFontClass,
    wdgLabelClass, wdgButtonClass, wdgGroupClass, wdgCheckboxClass, wdgRadiobuttonClass,
    wdgProgressClass, wdgStyleClass;

// Sends a widget event (type only) to one widget's class; the class's result.
int wdgSend(widget_item_t *widget, int32_t type);
// First widget of id in the list from head (the widget's own "set so far" when
// called from inside a widget); null without setting an error.
widget_item_t *wdgFind(SYS_List_p head, int32_t id);
// The set the widget belongs to: its window's user data, else the set so far.
SYS_List_p wdgSetOf(widget_item_t *widget);

// Height of the widget's window, for top = height - Y.
int32_t wdgWindowHeight(const widget_item_t *widget);
// The strict hit test of the mouse classes; clears hover (and pressed when
// clearPressed) first. 1 when the event is a mouse event inside a visible,
// enabled widget (hover is then 1).
int wdgHitTest(widget_item_t *widget, const wm_event_t *event, int clearPressed);
// Calls the widget's user callback, if any.
void wdgCallUser(widget_item_t *widget, wm_event_t *event);

// Default style blocks by class.
void wdgDefaultStyle(widget_item_t *widget);
// LABEL/BUTTON/CHECKBOX/RADIOBUTTON: the font of the FONTID widget, when FONTID was
// given. -1 with error 10 when no widget has that id.
int wdgResolveFontId(widget_item_t *widget);
// A zeroed 32-bit caption bitmap of width x height owned by the widget; -1 (error 5).
int wdgMakeTextBitmap(widget_item_t *widget, int32_t width, int32_t height);
// Renders TITLE into the caption bitmap and keeps the measures, cut to the
// bitmap; nothing without font, bitmap or text.
void wdgRenderCaption(widget_item_t *widget, const char *text);
// Clears the caption bitmap to zero.
void wdgClearBitmap(widget_item_t *widget);
// "label-%d" / "progress-%d" with the serial into NAME; -1 (error 5).
int wdgMakeName(widget_item_t *widget, const char *prefix);
// 1 when a and b are the same text but for the case of ASCII letters, else 0.
int wdgEqualNoCase(const char *a, const char *b);
// Replaces *field by a tracked copy of text (null text: null); -1 (error 5).
int wdgSetField(char **field, const char *text);
// Releases every owned field of the record (not the record); idempotent.
void wdgFreeFields(widget_item_t *widget);

// FONT and STYLE: frees the font object the widget made (widgets that copied it
// hold the same pointer and must not use it after the unload).
void wdgFreeOwnFont(widget_item_t *widget);

// Removes the texture of an image file and frees the image the texture manager
// loaded for it (which removing alone would leave behind).
void wdgUnloadImage(const char *key);

// The caption quad of wdgDrawText without registering the bitmap again.
void wdgTextQuad(int32_t x, int32_t y, widget_item_t *widget);

// CHECKBOX and RADIOBUTTON share their look (box, mark when VALUE is set, caption)
// and every event but the mouse: draw, update (caption rendered again, registered
// by the next draw) and unload. 0.
int wdgCheckEvent(widget_item_t *widget, wm_event_t *event);
// Their shared init: style, attributes, font, caption bitmap and key. tag is the
// class's log tag.
int wdgInitCheck(widget_item_t *widget, int32_t count, char **names, char **values, const char *tag);

// GL helpers over the framework table.
void wdgColor(const float color[4]);
void wdgQuad(int32_t x0, int32_t y0, int32_t x1, int32_t y1);  // filled rectangle corners

// Load counter of the loader (for the serials).
extern int32_t wdgLoadCount;
