// Dialog widget sets: XML descriptions loaded into lists of widget records.
//
// A description file is a flat list of elements, one widget each, in document
// order; the first WINDOW makes the dialog's window and every widget after it draws
// into that window. The loader matches element names against the class table, lets
// the class's init parse the attributes (strictly: an unknown attribute drops the
// element) and appends what loads to the set. The set is then the user data of its
// window, where the window callback finds it to hand every window event to every
// widget. The application shows a set, pumps it with wdgProcess, sees the widgets'
// events in its callback and reads values back. Coordinates are window pixels with y
// down; classes draw with y up (top = window height - Y). Main thread only.
// Depends on: base (log, last error, tracked memory, list, XML reader, strings),
// the window manager, the texture loader and manager, the font renderer, the
// framework GL table.
#pragma once

#include <cstdint>

#include "base/list.h"
#include "media/font/FR.h"
#include "media/texture/TL.h"
#include "media/window/WM.h"

extern "C" {

// Class ids.
enum {
  WDG_WINDOW = 0,
  WDG_BUTTON = 1,
  WDG_IMG = 2,
  WDG_FRAME = 3,
  WDG_LINE = 4,
  WDG_LABEL = 5,
  WDG_FONT = 6,
  WDG_GROUP = 7,
  WDG_CHECKBOX = 8,
  WDG_RADIOBUTTON = 9,
  WDG_STYLE = 10,
  WDG_PROGRESS = 11,
};

// Widget events (wm_event_t.type above the window manager's 0 key, 1 mouse, 2 window);
// they carry only their type.
enum {
  WDG_EVENT_DRAW = 3,
  WDG_EVENT_UNLOAD = 5,
  WDG_EVENT_SHOW = 6,
  WDG_EVENT_HIDE = 7,
  WDG_EVENT_ENABLE = 8,
  WDG_EVENT_DISABLE = 9,
  WDG_EVENT_UPDATE = 10,  // text, colour, position or size changed
};

// Encodings of ENCODING and FONT-ENCODING (the font renderer's codes).
enum { WDG_ENC_ISO8859_1 = 1, WDG_ENC_ISO8859_2 = 2, WDG_ENC_UTF8 = 20, WDG_ENC_UNICODE = 30 };

typedef struct widget_item_t widget_item_t;

// The application's callback; its result is ignored.
typedef int (*widget_callback_t)(widget_item_t *widget, wm_event_t *event);

typedef struct widget_class_t {
  const char *name;  // element name, matched without regard to case
  int32_t id;        // WDG_*
  // Completes a new record from its attributes; 0, or -1 and the loader drops it.
  int (*init)(widget_item_t *widget, int32_t count, char **names, char **values);
  // 1 when a mouse event inside the widget was handled, else 0.
  int (*event)(widget_item_t *widget, wm_event_t *event);
} widget_class_t;

// Colours are red, green, blue, alpha, each 0 to 1.
typedef struct widget_style_t {
  float borderTop[4], borderBottom[4], borderLeft[4], borderRight[4];
  float fgcolor[4];  // FGCOLOR: lines, frames, boxes, image modulation
  float bgcolor[4];  // BGCOLOR: backgrounds
  float ocolor[4];   // OCOLOR: background while hovered
  float color[4];    // COLOR: captions
  int32_t fontSize;
  int32_t bold;
  int32_t italic;
  int32_t encoding;
  char *fontPath;    // see widget_item_t.ownsFontPath
  ft_font_t *font;   // owned by the FONT or STYLE widget that made it; shared by copies
  int32_t background;
  int32_t border;
  int32_t onMouse;
  int32_t halign, valign;  // alignments of a STYLE's own font
} widget_style_t;

struct widget_item_t {
  SYS_List_p set;              // the set as it stood when the widget was created
  const widget_class_t *wclass;
  wm_window_t *parentWindow;   // the set's first WINDOW's window
  wm_window_t *ownWindow;      // the window a WINDOW makes
  int32_t resizeable;
  int32_t dnd;
  int32_t gid;
  int32_t id;
  char *name;                  // texture key of text widgets, face name of FONT
  char *title;                 // window title or caption
  int32_t classId;
  char *src;                   // image file
  char *bg;                    // background image of a WINDOW
  int32_t bgFilter;            // texture manager filter 0..3
  int32_t x, y;                // top-left corner (WINDOW: screen position, -1 centred)
  int32_t x2, y2;              // end point of a LINE
  int32_t serial;
  int32_t width, height;
  int32_t textWidth, textHeight;  // the rendered caption, within the text bitmap
  float aspect;                // height per width, for a missing HEIGHT
  float depth;                 // line width
  int32_t memberCount;         // GROUP
  int32_t *members;
  int32_t visible;
  int32_t hover;
  int32_t fullscreen;          // parsed and logged only
  int32_t disabled;
  int32_t pressed;
  int32_t value;               // check state; integer VALUE
  float fvalue;                // decimal VALUE; fill fraction of PROGRESS
  char *tvalue;                // any other VALUE text
  widget_style_t style;
  int32_t fontId;              // FONTID
  txBitmap *bitmap;            // caption bitmap (IMG: the texture manager's image)
  widget_callback_t callback;
  // Bookkeeping of this implementation.
  int32_t fontIdGiven;         // a FONTID attribute was seen
  int32_t ownsBitmap;          // bitmap is this widget's own (not IMG's borrowed one)
  int32_t ownsFontPath;        // style.fontPath is this widget's copy, not a STYLE's
  int32_t ownsFont;            // style.font was made by this FONT or STYLE
};

// One word of a keyword table; the table ends with a null name.
typedef struct widget_key_t {
  const char *name;
  int32_t code;
} widget_key_t;

int wdgInit(void);
// kind 1: source is a file path; 0: source is the description text itself.
SYS_List_p wdgLoad(int32_t kind, const char *source);
int wdgUnload(SYS_List_p set);
int wdgShow(SYS_List_p set);
int wdgHide(SYS_List_p set);
int wdgDraw(SYS_List_p set);
int wdgProcess(SYS_List_p set);
widget_item_t *wdgGetItem(SYS_List_p set, int32_t id);
widget_item_t *wdgGetClassItem(SYS_List_p set, int32_t classId);
int wdgSetCallback(SYS_List_p set, widget_callback_t callback);
int wdgSetItemCallback(widget_item_t *widget, widget_callback_t callback);
int wdgSetText(widget_item_t *widget, const char *text);
int wdgSetSrc(widget_item_t *widget, const char *text);
int wdgGetPos(widget_item_t *widget, int32_t *x, int32_t *y);
int wdgGetSize(widget_item_t *widget, int32_t *width, int32_t *height);
int wdgSetPos(widget_item_t *widget, int32_t x, int32_t y);
int wdgSetSize(widget_item_t *widget, int32_t width, int32_t height);
int wdgShowItem(widget_item_t *widget);
int wdgHideItem(widget_item_t *widget);
int wdgEnable(widget_item_t *widget);
int wdgDisable(widget_item_t *widget);
int wdgRedrawItem(widget_item_t *widget);
int wdgUpdate(widget_item_t *widget);
int32_t wdgGetValue(widget_item_t *widget);
float wdgGetFloatValue(widget_item_t *widget);
// The text VALUE; null for a null widget (the record's "-1").
const char *wdgGetTextValue(widget_item_t *widget);

// Colour setters: RRGGBBAA text, or four bytes.
int wdgSetFgColorText(widget_item_t *widget, const char *rgba);
int wdgSetFgColor(widget_item_t *widget, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
int wdgSetBgColorText(widget_item_t *widget, const char *rgba);
int wdgSetBgColor(widget_item_t *widget, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
int wdgSetOColorText(widget_item_t *widget, const char *rgba);
int wdgSetOColor(widget_item_t *widget, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
int wdgSetColorText(widget_item_t *widget, const char *rgba);
int wdgSetColor(widget_item_t *widget, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
int wdgSetBorderTopText(widget_item_t *widget, const char *rgba);
int wdgSetBorderTop(widget_item_t *widget, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
int wdgSetBorderBottomText(widget_item_t *widget, const char *rgba);
int wdgSetBorderBottom(widget_item_t *widget, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
int wdgSetBorderLeftText(widget_item_t *widget, const char *rgba);
int wdgSetBorderLeft(widget_item_t *widget, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
int wdgSetBorderRightText(widget_item_t *widget, const char *rgba);
int wdgSetBorderRight(widget_item_t *widget, uint8_t r, uint8_t g, uint8_t b, uint8_t a);

// Attribute parsing (utils). strict: an unknown name fails the parse.
int wdgProcessParams(const widget_key_t *table, widget_item_t *widget, int32_t count, char **names,
                     char **values, int32_t strict);
int wdgParseAttributes(widget_item_t *widget, int32_t count, char **names, char **values, int32_t strict);
// The code of word in table (any case), or -1.
int32_t wdgLookupKey(const widget_key_t *table, const char *word);
// Encoding word to code; unknown: -1 and error 10.
int32_t wdgLookupEncoding(const char *word);
// Alignment word to the font renderer's code; unknown: -1 and error 10.
int32_t wdgLookupAlign(const char *word);
int32_t wdgParseBool(const char *word);
// RRGGBBAA to four floats.
void wdgParseColor(const char *rgba, float out[4]);

// Shared drawing (utils).
int wdgWindowCallback(wm_event_t *event);
void wdgDrawBackground(widget_item_t *widget);
void wdgDrawBorder(widget_item_t *widget);
void wdgDrawText(int32_t x, int32_t y, widget_item_t *widget);
void wdgFillBitmap(uint8_t *pixels, int32_t size, uint32_t color);
uint32_t wdgPackColor(const float color[4]);
uint32_t wdgPackFillColor(const float color[4]);

// The class table, in lookup order, and its length.
extern const widget_class_t *const wdgClasses[];
extern const int32_t wdgClassCount;

}  // extern "C"
