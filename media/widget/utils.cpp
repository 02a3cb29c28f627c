// Attribute parsing of the widget descriptions and the drawing routines that the
// classes share (backgrounds, borders, captions, colour packing), plus the small
// record helpers every class uses.
//
// Attributes apply in document order, so a later one overrides an earlier one and a
// STYLE attribute overrides the colours and font settings given before it. Values
// are parsed leniently (leading number, 0 if none); names are looked up without
// regard to case. Everything draws through the framework GL table into the current
// context, with y up and top = window height - Y.
// Depends on: base (log, last error, tracked memory), the texture loader
// and manager, the font renderer, the window manager, the framework GL table.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "media/texture/TM.h"
#include "media/widget/widget_private.h"
#include "media/window/gl_stub.h"

namespace {

enum Keyword {
  K_WIDTH, K_HEIGHT, K_X, K_Y, K_X2, K_Y2, K_ID, K_GID, K_FULLSCREEN, K_FONTID, K_SIZE,
  K_TITLE, K_NAME, K_SRC, K_BG, K_FONTNAME, K_ASPECT, K_DEPTH,
  K_BGCOLOR, K_FGCOLOR, K_OCOLOR, K_COLOR, K_BGFILTER, K_BOLD, K_ITALIC, K_RESIZEABLE, K_DND,
  K_ENCODING, K_STYLE, K_VALUE, K_WID,
};

// The dialog vocabulary. GCOLOR has no defined effect, so it is not a keyword: a
// strict parse reports it like any unknown name.
const widget_key_t kDialogKeys[] = {
    {"WIDTH", K_WIDTH},       {"HEIGHT", K_HEIGHT},       {"X", K_X},
    {"Y", K_Y},               {"X2", K_X2},               {"Y2", K_Y2},
    {"ID", K_ID},             {"GID", K_GID},             {"FULLSCREEN", K_FULLSCREEN},
    {"FONTID", K_FONTID},     {"SIZE", K_SIZE},           {"TITLE", K_TITLE},
    {"NAME", K_NAME},         {"SRC", K_SRC},             {"BG", K_BG},
    {"FONTNAME", K_FONTNAME}, {"ASPECT", K_ASPECT},       {"DEPTH", K_DEPTH},
    {"BGCOLOR", K_BGCOLOR},   {"FGCOLOR", K_FGCOLOR},     {"OCOLOR", K_OCOLOR},
    {"COLOR", K_COLOR},       {"BGFILTER", K_BGFILTER},   {"BOLD", K_BOLD},
    {"ITALIC", K_ITALIC},     {"RESIZEABLE", K_RESIZEABLE}, {"DND", K_DND},
    {"ENCODING", K_ENCODING}, {"STYLE", K_STYLE},         {"VALUE", K_VALUE},
    {"WID", K_WID},           {nullptr, 0},
};

const widget_key_t kFilters[] = {
    {"nearest", 0}, {"linear", 1}, {"mipmap_nearest", 2}, {"mipmap_linear", 3}, {nullptr, 0},
};
const widget_key_t kEncodings[] = {
    {"UNICODE", WDG_ENC_UNICODE},       {"UTF8", WDG_ENC_UTF8},
    {"ISO-8859-1", WDG_ENC_ISO8859_1}, {"ISO88591", WDG_ENC_ISO8859_1},
    {"ISO-8859-2", WDG_ENC_ISO8859_2}, {"ISO88592", WDG_ENC_ISO8859_2},
    {nullptr, 0},
};
const widget_key_t kAligns[] = {
    {"none", -1}, {"top", 3}, {"bottom", 4}, {"center", 2}, {"middle", 2}, {"left", 0}, {"right", 1},
    {nullptr, 0},
};

int upper(int c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

// Leading decimal integer (with sign), 0 if none, clamped to 32 bits.
int32_t parseInt(const char *text) {
  long long v = std::strtoll(text, nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return (int32_t)v;
}

float parseFloat(const char *text) { return std::strtof(text, nullptr); }

// VALUE: "" -> 0; digits -> integer; digits and dots -> float; anything else text.
int parseValue(widget_item_t *w, const char *text) {
  int digits = 0, dots = 0, other = 0;
  for (const char *p = text; *p; ++p) {
    if (*p >= '0' && *p <= '9')
      digits++;
    else if (*p == '.')
      dots++;
    else
      other++;
  }
  if (!*text) {
    w->value = 0;
  } else if (!other && dots == 0) {
    w->value = parseInt(text);
  } else if (!other && digits > 0) {
    w->fvalue = parseFloat(text);
  } else {
    return wdgSetField(&w->tvalue, text);
  }
  return 0;
}

int applyStyle(widget_item_t *w, const char *text) {
  widget_item_t *style = wdgFind(w->set, parseInt(text));
  if (!style || style->classId != WDG_STYLE) {
    WDG_LOG("[utils]", " ! requested item isn't style.\n");
    return wdgFail(WDG_ERR_ARG);
  }
  if (w->ownsFontPath) SYS_MemFree(&w->style.fontPath);
  w->ownsFontPath = 0;
  w->style = style->style;
  return 0;
}

}  // namespace

int wdgEqualNoCase(const char *a, const char *b) {
  for (; *a && *b; ++a, ++b)
    if (upper((unsigned char)*a) != upper((unsigned char)*b)) return 0;
  return *a == *b;
}

extern "C" {

int32_t wdgLookupKey(const widget_key_t *table, const char *word) {
  if (!table || !word) return -1;
  for (; table->name; ++table)
    if (wdgEqualNoCase(table->name, word)) return table->code;
  return -1;
}

int32_t wdgLookupEncoding(const char *word) {
  int32_t code = wdgLookupKey(kEncodings, word);
  if (code < 0) errSetLastError(WDG_ERR_ARG);
  return code;
}

int32_t wdgLookupAlign(const char *word) {
  // "none" is a word of its own with the code -1, so look for the word, not the code.
  for (const widget_key_t *k = kAligns; word && k->name; ++k)
    if (wdgEqualNoCase(k->name, word)) return k->code;
  errSetLastError(WDG_ERR_ARG);
  return -1;
}

int32_t wdgParseBool(const char *word) {
  if (!word) return 0;
  if (std::strcmp(word, "1") == 0) return 1;
  static const char *const kTrue[] = {"true", "yes", "on", "enable"};
  for (const char *t : kTrue)
    if (wdgEqualNoCase(t, word)) return 1;
  return 0;
}

void wdgParseColor(const char *rgba, float out[4]) {
  unsigned long long v = std::strtoull(rgba ? rgba : "", nullptr, 16);
  uint32_t c = (uint32_t)v;
  const float k = 0.003921569f;
  out[0] = (float)((c >> 24) & 0xFF) * k;
  out[1] = (float)((c >> 16) & 0xFF) * k;
  out[2] = (float)((c >> 8) & 0xFF) * k;
  out[3] = (float)(c & 0xFF) * k;
}

int wdgProcessParams(const widget_key_t *table, widget_item_t *w, int32_t count, char **names, char **values,
                     int32_t strict) {
  if (!w || count < 0 || (count > 0 && (!names || !values))) return wdgFail(WDG_ERR_ARG);
  for (int32_t i = 0; i < count; i++) {
    const char *name = names[i] ? names[i] : "";
    const char *value = values[i] ? values[i] : "";
    int32_t key = wdgLookupKey(table, name);
    if (key < 0) {
      errSetLastError(WDG_ERR_ARG);
      if (strict) {
        WDG_LOG("[utils]", " ! unknown parameter: %s(%s)\n", name, value);
        return -1;
      }
      continue;
    }
    int r = 0;
    switch (key) {
      case K_WIDTH: w->width = parseInt(value); break;
      case K_HEIGHT: w->height = parseInt(value); break;
      case K_X: w->x = parseInt(value); break;
      case K_Y: w->y = parseInt(value); break;
      case K_X2: w->x2 = parseInt(value); break;
      case K_Y2: w->y2 = parseInt(value); break;
      case K_ID: w->id = parseInt(value); break;
      case K_GID: w->gid = parseInt(value); break;
      case K_FULLSCREEN: w->fullscreen = parseInt(value); break;
      case K_FONTID:
        w->fontId = parseInt(value);
        w->fontIdGiven = 1;
        break;
      case K_SIZE: w->style.fontSize = parseInt(value); break;
      case K_TITLE: r = wdgSetField(&w->title, value); break;
      case K_NAME: r = wdgSetField(&w->name, value); break;
      case K_SRC: r = wdgSetField(&w->src, value); break;
      case K_BG: r = wdgSetField(&w->bg, value); break;
      case K_FONTNAME:
        if (!w->ownsFontPath) w->style.fontPath = nullptr;  // a STYLE's copy is not ours to free
        r = wdgSetField(&w->style.fontPath, value);
        w->ownsFontPath = w->style.fontPath != nullptr;
        break;
      case K_ASPECT: w->aspect = parseFloat(value); break;
      case K_DEPTH: w->depth = parseFloat(value); break;
      case K_BGCOLOR: wdgParseColor(value, w->style.bgcolor); break;
      case K_FGCOLOR: wdgParseColor(value, w->style.fgcolor); break;
      case K_OCOLOR: wdgParseColor(value, w->style.ocolor); break;
      case K_COLOR: wdgParseColor(value, w->style.color); break;
      case K_BGFILTER: {
        int32_t f = wdgLookupKey(kFilters, value);
        w->bgFilter = f < 0 ? 1 : f;
        break;
      }
      case K_BOLD: w->style.bold = wdgParseBool(value); break;
      case K_ITALIC: w->style.italic = wdgParseBool(value); break;
      case K_RESIZEABLE: w->resizeable = wdgParseBool(value); break;
      case K_DND: w->dnd = wdgParseBool(value); break;
      case K_ENCODING: w->style.encoding = wdgLookupEncoding(value); break;
      case K_STYLE: r = applyStyle(w, value); break;
      case K_VALUE: r = parseValue(w, value); break;
      case K_WID: break;
      default: break;
    }
    if (r != 0) return -1;
  }
  return 0;
}

int wdgParseAttributes(widget_item_t *widget, int32_t count, char **names, char **values, int32_t strict) {
  return wdgProcessParams(kDialogKeys, widget, count, names, values, strict);
}

int wdgWindowCallback(wm_event_t *event) {
  if (!event || !event->window) return 0;
  SYS_List_p set = (SYS_List_p)wmOptions(event->window, WM_OPT_GETUSERDATA, 0);
  for (SYS_List_p n = set; n; n = n->next) {
    widget_item_t *w = (widget_item_t *)n->item;
    if (w && w->wclass && w->wclass->event) w->wclass->event(w, event);
  }
  return 0;
}

void wdgDrawBackground(widget_item_t *w) {
  const widget_style_t &s = w->style;
  if (!s.background && !(w->hover && s.onMouse)) return;
  int32_t top = wdgWindowHeight(w) - w->y, bottom = top - w->height;
  wdgColor(w->hover ? s.ocolor : s.bgcolor);
  wmGL.glBegin(GL_QUADS);
  wmGL.glVertex2i(w->x, top);
  wmGL.glVertex2i(w->x, bottom);
  wmGL.glVertex2i(w->x + w->width, bottom);
  wmGL.glVertex2i(w->x + w->width, top);
  wmGL.glEnd();
}

void wdgDrawBorder(widget_item_t *w) {
  const widget_style_t &s = w->style;
  if (!s.border) return;
  int32_t x = w->x, wd = w->width;
  int32_t top = wdgWindowHeight(w) - w->y, bottom = top - w->height;
  wmGL.glBegin(GL_QUADS);
  wmGL.glColor4fv(s.borderLeft);
  wmGL.glVertex2i(x, top);
  wmGL.glVertex2i(x + 1, top);
  wmGL.glVertex2i(x + 1, bottom + 1);
  wmGL.glVertex2i(x, bottom + 1);
  wmGL.glColor4fv(s.borderTop);
  wmGL.glVertex2i(x, top);
  wmGL.glVertex2i(x + wd, top);
  wmGL.glVertex2i(x + wd, top - 1);
  wmGL.glVertex2i(x, top - 1);
  wmGL.glColor4fv(s.borderRight);
  wmGL.glVertex2i(x + wd, top);
  wmGL.glVertex2i(x + wd, bottom + 1);
  wmGL.glVertex2i(x + wd - 1, bottom + 1);
  wmGL.glVertex2i(x + wd - 1, top);
  wmGL.glColor4fv(s.borderBottom);
  wmGL.glVertex2i(x + wd, bottom);
  wmGL.glVertex2i(x, bottom);
  wmGL.glVertex2i(x, bottom + 1);
  wmGL.glVertex2i(x + wd, bottom + 1);
  wmGL.glEnd();
}

void wdgDrawText(int32_t x, int32_t y, widget_item_t *w) {
  if (!w->bitmap || !w->name || w->bitmap->width <= 0 || w->bitmap->height <= 0) return;
  wmGL.glEnable(GL_TEXTURE_2D);
  wmGL.glEnable(GL_BLEND);
  wmGL.glBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR);
  tmLoadFromBitmap(w->name, w->bitmap, 1);
  wdgTextQuad(x, y, w);
}

void wdgFillBitmap(uint8_t *pixels, int32_t size, uint32_t color) {
  if (!pixels || size <= 0) return;
  for (int32_t i = 0; i + 4 <= size; i += 4) std::memcpy(pixels + i, &color, 4);
}

namespace {
uint32_t byteOf(float c) {
  float v = c * 255.0f;
  if (!(v > 0.0f)) return 0;
  if (v >= 255.0f) return 255;
  return (uint32_t)v;
}
}  // namespace

uint32_t wdgPackColor(const float c[4]) {
  uint32_t r = byteOf(c[0]), g = byteOf(c[1]), b = byteOf(c[2]), a = byteOf(c[3]);
  if (txOptions(12, 0) == 1) return r << 24 | g << 16 | b << 8 | a;
  return a << 24 | b << 16 | g << 8 | r;
}

uint32_t wdgPackFillColor(const float c[4]) {
  uint32_t r = byteOf(c[0]), g = byteOf(c[1]), b = byteOf(c[2]), a = byteOf(c[3]);
  if (txOptions(12, 0) != 0) return a << 24 | b << 16 | g << 8 | r;
  return r << 24 | g << 16 | b << 8 | a;
}

}  // extern "C"

// ---- record helpers

void wdgTextQuad(int32_t x, int32_t y, widget_item_t *w) {
  if (!w->bitmap || w->bitmap->width <= 0 || w->bitmap->height <= 0) return;
  wdgColor(w->style.color);
  float tw = (float)w->textWidth / (float)w->bitmap->width;
  float th = (float)w->textHeight / (float)w->bitmap->height;
  wmGL.glBegin(GL_QUADS);
  wmGL.glTexCoord2f(0, th);
  wmGL.glVertex2i(x, y - w->textHeight);
  wmGL.glTexCoord2f(0, 0);
  wmGL.glVertex2i(x, y);
  wmGL.glTexCoord2f(tw, 0);
  wmGL.glVertex2i(x + w->textWidth, y);
  wmGL.glTexCoord2f(tw, th);
  wmGL.glVertex2i(x + w->textWidth, y - w->textHeight);
  wmGL.glEnd();
}


int32_t wdgWindowHeight(const widget_item_t *w) {
  wm_window_t *window = w->classId == WDG_WINDOW ? w->ownWindow : w->parentWindow;
  if (!window) return 0;
  return (int32_t)wmOptions(window, WM_OPT_HEIGHT, 0);
}

int wdgHitTest(widget_item_t *w, const wm_event_t *event, int clearPressed) {
  if (event->type != WM_EVENT_MOUSE || !w->visible || w->disabled) return 0;
  w->hover = 0;
  if (clearPressed) w->pressed = 0;
  int64_t mx = event->mouse.x, my = event->mouse.y, x = w->x, y = w->y;
  if (!(x < mx && mx < x + w->width && y < my && my < y + w->height)) return 0;
  w->hover = 1;
  return 1;
}

void wdgCallUser(widget_item_t *w, wm_event_t *event) {
  if (w->callback) w->callback(w, event);
}

void wdgDefaultStyle(widget_item_t *w) {
  widget_style_t &s = w->style;
  auto set = [](float *c, const char *rgba) { wdgParseColor(rgba, c); };
  switch (w->classId) {
    case WDG_WINDOW:
      set(s.bgcolor, "212B3BFF");
      s.background = 1;
      break;
    case WDG_LINE:
    case WDG_LABEL:
      set(s.fgcolor, "79818EFF");
      break;
    case WDG_FRAME:
      set(s.fgcolor, "79818EFF");
      set(s.bgcolor, "334051FF");
      s.background = s.border = 1;
      break;
    case WDG_BUTTON:
    case WDG_CHECKBOX:
    case WDG_RADIOBUTTON:
    case WDG_PROGRESS:
      set(s.fgcolor, "79818EFF");
      set(s.bgcolor, "334051FF");
      set(s.ocolor, "79818EFF");
      set(s.color, "FFFFFFFF");
      s.background = s.border = 1;
      s.onMouse = w->classId != WDG_PROGRESS;
      break;
    default:
      break;
  }
}

int wdgResolveFontId(widget_item_t *w) {
  if (!w->fontIdGiven) return 0;
  widget_item_t *font = wdgFind(w->set, w->fontId);
  if (!font) return wdgFail(WDG_ERR_ARG);
  w->style.font = font->style.font;
  return 0;
}

int wdgMakeTextBitmap(widget_item_t *w, int32_t width, int32_t height) {
  if (w->bitmap && w->ownsBitmap) txFree(&w->bitmap);
  w->bitmap = nullptr;
  w->ownsBitmap = 0;
  // A caption never needs more than a screen's worth; a wild size in a description
  // must not turn into a huge allocation.
  if (width <= 0 || height <= 0 || width > 4096 || height > 4096 || (int64_t)width * height > (1 << 22))
    return wdgFail(WDG_ERR_ARG);
  w->bitmap = txCreateDummy(2, width, height);
  if (!w->bitmap) return -1;
  w->ownsBitmap = 1;
  return 0;
}

void wdgClearBitmap(widget_item_t *w) {
  if (w->bitmap && w->ownsBitmap && w->bitmap->image[0])
    std::memset(w->bitmap->image[0], 0, (size_t)w->bitmap->imagesize[0]);
}

void wdgRenderCaption(widget_item_t *w, const char *text) {
  if (!w->bitmap || !w->ownsBitmap || !text) return;
  int32_t tw = w->textWidth, th = w->textHeight;
  if (ftRender(w->style.font, w->bitmap, text, &tw, &th) != 0) return;
  // Only the part inside the bitmap exists to be drawn.
  w->textWidth = tw < 0 ? 0 : tw > w->bitmap->width ? w->bitmap->width : tw;
  w->textHeight = th < 0 ? 0 : th > w->bitmap->height ? w->bitmap->height : th;
}

int wdgMakeName(widget_item_t *w, const char *prefix) {
  char key[48];
  std::snprintf(key, sizeof key, "%s-%d", prefix, (int)w->serial);
  return wdgSetField(&w->name, key);
}

int wdgSetField(char **field, const char *text) {
  if (*field) SYS_MemFree(field);
  if (!text) return 0;
  *field = SYS_StrDup(text);
  if (!*field) return wdgFail(WDG_ERR_MEMORY);
  return 0;
}

void wdgFreeFields(widget_item_t *w) {
  if (w->name) SYS_MemFree(&w->name);
  if (w->title) SYS_MemFree(&w->title);
  if (w->src) SYS_MemFree(&w->src);
  if (w->bg) SYS_MemFree(&w->bg);
  if (w->tvalue) SYS_MemFree(&w->tvalue);
  if (w->members) SYS_MemFree(&w->members);
  w->memberCount = 0;
  if (w->ownsFontPath && w->style.fontPath) SYS_MemFree(&w->style.fontPath);
  w->style.fontPath = nullptr;
  w->ownsFontPath = 0;
  if (w->bitmap && w->ownsBitmap) txFree(&w->bitmap);
  w->bitmap = nullptr;
  w->ownsBitmap = 0;
}

void wdgUnloadImage(const char *key) {
  if (!key) return;
  txBitmap *image = tmGetBitmap(key);
  if (tmUnload(key) == 0 && image) txFree(&image);
}

void wdgColor(const float color[4]) { wmGL.glColor4fv(color); }

void wdgQuad(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  wmGL.glBegin(GL_QUADS);
  wmGL.glVertex2i(x0, y0);
  wmGL.glVertex2i(x0, y1);
  wmGL.glVertex2i(x1, y1);
  wmGL.glVertex2i(x1, y0);
  wmGL.glEnd();
}

namespace {
void drawCheck(widget_item_t *w) {
  int32_t top = wdgWindowHeight(w) - w->y;
  int32_t b = top - (w->height - 10) / 2;
  wmGL.glDisable(GL_TEXTURE_2D);
  wmGL.glDisable(GL_BLEND);
  wdgDrawBackground(w);
  wdgDrawBorder(w);
  wdgColor(w->style.fgcolor);
  wdgQuad(w->x + 5, b, w->x + 15, b - 10);
  wdgColor(w->style.bgcolor);
  wdgQuad(w->x + 6, b - 1, w->x + 14, b - 9);
  if (w->value) {
    wdgColor(w->style.fgcolor);
    wdgQuad(w->x + 8, b - 3, w->x + 13, b - 8);
  }
  wdgDrawText(w->x + 20, top - (w->height - w->textHeight) / 2 - 1, w);
}
}  // namespace

int wdgCheckEvent(widget_item_t *w, wm_event_t *event) {
  switch (event->type) {
    case WDG_EVENT_DRAW:
      if (w->visible) drawCheck(w);
      break;
    case WDG_EVENT_UPDATE:
      tmUnload(w->name);
      wdgClearBitmap(w);
      wdgRenderCaption(w, w->title);
      break;
    case WDG_EVENT_UNLOAD:
      if (w->bitmap) tmUnload(w->name);
      break;
    default:
      break;
  }
  return 0;
}

void wdgFreeOwnFont(widget_item_t *w) {
  if (!w->ownsFont || !w->style.font) return;
  ftFreeFont(w->style.font);
  w->style.font = nullptr;
  w->ownsFont = 0;
}

int wdgInitCheck(widget_item_t *w, int32_t count, char **names, char **values, const char *tag) {
  w->aspect = 1.0f;
  wdgDefaultStyle(w);
  if (wdgParseAttributes(w, count, names, values, 1) != 0) return -1;
  if (wdgResolveFontId(w) != 0) {
    SYS_DbgPrintf(1, "[widget]%s[%s:%d:%s()]  ! requested font do not be there.\n", tag, SYS_POS);
    if (w->title) SYS_MemFree(&w->title);
    return -1;
  }
  if (wdgMakeTextBitmap(w, 512, 64) != 0 || wdgMakeName(w, "label") != 0) return -1;
  wdgRenderCaption(w, w->title);
  return 0;
}
