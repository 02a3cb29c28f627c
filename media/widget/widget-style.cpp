// STYLE: a named style block (border, fill, hover and text colours, font) that
// other widgets copy whole with their STYLE attribute. Its own key vocabulary is
// looked up here; general attributes such as ID apply, anything else is skipped.
// With FONT-PATH it registers the face and owns the font that its copies share.
// Depends on: widget internals, the font renderer.
#include <cstdlib>

#include "media/widget/widget_private.h"

namespace {

enum StyleKey {
  S_BAC, S_BTC, S_BBC, S_BLC, S_BRC, S_FC, S_BC, S_TC, S_OC, S_FONT_SIZE, S_FONT_BOLD, S_FONT_ITALIC,
  S_FONT_ENCODING, S_FONT_PATH, S_TEXT_VALIGN, S_TEXT_HALIGN, S_BACKGROUND, S_BORDER, S_ONMOUSE,
};

const widget_key_t kStyleKeys[] = {
    {"BAC", S_BAC},
    {"BTC", S_BTC},
    {"BBC", S_BBC},
    {"BLC", S_BLC},
    {"BRC", S_BRC},
    {"FC", S_FC},
    {"BC", S_BC},
    {"TC", S_TC},
    {"OC", S_OC},
    {"FONT-SIZE", S_FONT_SIZE},
    {"FONT-BOLD", S_FONT_BOLD},
    {"FONT-ITALIC", S_FONT_ITALIC},
    {"FONT-ENCODING", S_FONT_ENCODING},
    {"FONT-PATH", S_FONT_PATH},
    {"TEXT-VALIGN", S_TEXT_VALIGN},
    {"TEXT-HALIGN", S_TEXT_HALIGN},
    {"BACKGROUND", S_BACKGROUND},
    {"BORDER", S_BORDER},
    {"ONMOUSE", S_ONMOUSE},
    {nullptr, 0},
};

int32_t integer(const char *text) { return (int32_t)std::strtol(text, nullptr, 10); }

int applyKey(widget_item_t *w, int32_t key, const char *value) {
  widget_style_t &s = w->style;
  switch (key) {
    case S_BAC:
      wdgParseColor(value, s.borderTop);
      wdgParseColor(value, s.borderBottom);
      wdgParseColor(value, s.borderLeft);
      wdgParseColor(value, s.borderRight);
      break;
    case S_BTC: wdgParseColor(value, s.borderTop); break;
    case S_BBC: wdgParseColor(value, s.borderBottom); break;
    case S_BLC: wdgParseColor(value, s.borderLeft); break;
    case S_BRC: wdgParseColor(value, s.borderRight); break;
    case S_FC: wdgParseColor(value, s.fgcolor); break;
    case S_BC: wdgParseColor(value, s.bgcolor); break;
    case S_TC: wdgParseColor(value, s.color); break;
    case S_OC: wdgParseColor(value, s.ocolor); break;
    case S_FONT_SIZE: s.fontSize = integer(value); break;
    case S_FONT_BOLD: s.bold = integer(value); break;
    case S_FONT_ITALIC: s.italic = integer(value); break;
    case S_FONT_ENCODING: s.encoding = wdgLookupEncoding(value); break;
    case S_FONT_PATH:
      if (!w->ownsFontPath) s.fontPath = nullptr;  // a copied style's path is not ours
      if (wdgSetField(&s.fontPath, value) != 0) return -1;
      w->ownsFontPath = 1;
      break;
    case S_TEXT_VALIGN: s.valign = wdgLookupAlign(value); break;
    case S_TEXT_HALIGN: s.halign = wdgLookupAlign(value); break;
    case S_BACKGROUND: s.background = wdgParseBool(value); break;
    case S_BORDER: s.border = wdgParseBool(value); break;
    case S_ONMOUSE: s.onMouse = wdgParseBool(value); break;
    default: break;
  }
  return 0;
}

int styleInit(widget_item_t *w, int32_t count, char **names, char **values) {
  widget_style_t &s = w->style;
  s.halign = FR_HALIGN_LEFT;
  s.valign = FR_VALIGN_TOP;
  if (wdgParseAttributes(w, count, names, values, 0) != 0) return -1;
  s.background = s.border = s.onMouse = 1;
  for (int32_t i = 0; i < count; i++) {
    int32_t key = wdgLookupKey(kStyleKeys, names[i]);
    if (key >= 0 && applyKey(w, key, values[i] ? values[i] : "") != 0) return -1;
  }
  if (s.fontPath) {
    ftAddFaceFile(s.fontPath);
    ft_font_t *font = ftNewFont(s.encoding, 0xFFFFFFFFu, s.halign, s.valign);
    if (!font) {
      WDG_LOG("[style]", " ! not enough memory for font.\n");
      return wdgFail(WDG_ERR_MEMORY);
    }
    s.font = font;
    w->ownsFont = 1;
    ftSetFont(font, s.fontPath, s.fontSize, s.bold ? 800 : 100, s.italic);
  }
  WDG_LOG("[style]", " - new widget: %s (%d) : %s id: %d\n", w->wclass->name, w->id, w->name ? w->name : "", w->id);
  return 0;
}

int styleEvent(widget_item_t *w, wm_event_t *event) {
  if (event->type == WDG_EVENT_UNLOAD) wdgFreeOwnFont(w);
  return 0;
}

}  // namespace

const widget_class_t wdgStyleClass = {"STYLE", WDG_STYLE, styleInit, styleEvent};
