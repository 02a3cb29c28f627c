// FONT: registers a font file as a face and makes the font object that LABEL,
// BUTTON, CHECKBOX and RADIOBUTTON widgets name by FONTID. It owns the font.
// Depends on: widget internals, the font renderer.
#include "media/widget/widget_private.h"

namespace {

int fontInit(widget_item_t *w, int32_t count, char **names, char **values) {
  if (wdgParseAttributes(w, count, names, values, 1) != 0) return -1;
  widget_style_t &s = w->style;
  if (s.fontPath) ftAddFaceFile(s.fontPath);
  s.font = ftNewFont(s.encoding, 0xFFFFFFFFu, FR_HALIGN_LEFT, FR_VALIGN_TOP);
  if (!s.font) {
    WDG_LOG("[font]", " ! not enough memory for font.\n");
    return wdgFail(WDG_ERR_MEMORY);
  }
  w->ownsFont = 1;
  ftSetFont(s.font, w->name ? w->name : "", s.fontSize, s.bold ? 800 : 100, s.italic);
  WDG_LOG("[font]", " - new widget: %s (%d) : %s id: %d bold: %d italic: %d encoding: %d\n", w->wclass->name, w->id,
          w->name ? w->name : "", w->id, s.bold, s.italic, s.encoding);
  if (s.fontPath) WDG_LOG("[font]", "   - font file: %s\n", s.fontPath);
  return 0;
}

int fontEvent(widget_item_t *w, wm_event_t *event) {
  if (event->type == WDG_EVENT_UNLOAD) wdgFreeOwnFont(w);
  return 0;
}

}  // namespace

const widget_class_t wdgFontClass = {"FONT", WDG_FONT, fontInit, fontEvent};
