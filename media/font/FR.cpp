// Font renderer core: the driver table, the registered faces and font objects.
//
// A face is offered to the drivers in table order and belongs to the first that
// takes it; its render operation then draws every font that points at it. The
// face list and the drivers' libraries are process-wide and unlocked.
// Depends on: base (log, last error, tracked memory, options, list, file layer),
// the TTF driver (ttf.cpp).

#include <cstring>

#include "base/cfg.h"
#include "base/file.h"
#include "base/list.h"
#include "base/log.h"
#include "base/mem.h"
#include "media/font/FR.h"

int32_t frVerbose = 0;

namespace {

const fr_driver_t kTtfDriver = {"TTF", FR_Init, FR_Done, FR_AddFontFace, FR_Render};

// Preference order; one driver today.
const fr_driver_t *const kDrivers[] = {&kTtfDriver, nullptr};

SYS_List_p g_faces = nullptr;

#define FR_LOG(fmt, ...) \
  do { \
    if (frVerbose) SYS_DbgPrintf(1, "[fr][%s:%d:%s()] " fmt, SYS_POS, ##__VA_ARGS__); \
  } while (0)

int fail(int32_t code) {
  errSetLastError(code);
  return -1;
}

bool validEncoding(int32_t e) {
  return e == FR_ENC_ISO8859_1 || e == FR_ENC_ISO8859_2 || e == FR_ENC_UTF8 || e == FR_ENC_UCS2;
}

}  // namespace

int32_t ftInit(void) {
  errClear();
  frVerbose = SYS_CfgGet("debug-fr", 0) == 1;
  for (const fr_driver_t *const *d = kDrivers; *d; ++d) {
    FR_LOG(" - initialize: %s\n", (*d)->name);
    if ((*d)->init() != 0) {
      int32_t code = errGetLastError();
      ftDone();
      return fail(code);
    }
  }
  FR_LOG(" ...done.\n");
  return 0;
}

int32_t ftDone(void) {
  errClear();
  for (const fr_driver_t *const *d = kDrivers; *d; ++d) {
    FR_LOG(" - closing: %s\n", (*d)->name);
    if ((*d)->done() != 0) FR_LOG("  - error code: %d\n", errGetLastError());
  }
  // The drivers have closed their faces, so the font data may go now.
  for (SYS_List_p n = g_faces; n; n = n->next) {
    ft_fontface_t *face = static_cast<ft_fontface_t *>(n->item);
    SYS_MemFree(&face->name);
    SYS_MemFree(&face->data);
    SYS_MemFree(&face);
  }
  if (g_faces) SYS_ListRemove(g_faces);
  g_faces = nullptr;
  errClear();
  return 0;
}

ft_fontface_t *ftFindFace(const char *name) {
  errClear();
  if (name)
    for (SYS_List_p n = g_faces; n; n = n->next) {
      ft_fontface_t *face = static_cast<ft_fontface_t *>(n->item);
      if (std::strcmp(face->name, name) == 0) return face;
    }
  errSetLastError(14);
  return nullptr;
}

int32_t ftAddFaceMem(const char *name, void *data, int32_t size) {
  errClear();
  if (!name || !data || size <= 0) return fail(10);
  if (ftFindFace(name)) return 0;
  errClear();
  ft_fontface_t *face = static_cast<ft_fontface_t *>(SYS_MemGet(sizeof(ft_fontface_t), "new font face"));
  if (!face) return -1;
  face->name = SYS_StrDup(name);
  if (!face->name) {
    SYS_MemFree(&face);
    return -1;
  }
  face->data = static_cast<uint8_t *>(data);
  face->size = size;
  // Listed before the drivers see it, so a face a driver has opened is never lost.
  SYS_List_p head = SYS_ListAddFirst(g_faces, face);
  if (!head || head->item != face) {
    SYS_MemFree(&face->name);
    SYS_MemFree(&face);
    return fail(5);
  }
  g_faces = head;
  for (const fr_driver_t *const *d = kDrivers; *d; ++d)
    if ((*d)->addFace(face) == 0) {
      errClear();
      return 0;
    }
  g_faces = SYS_ListDelItem(g_faces, face);
  SYS_MemFree(&face->name);
  SYS_MemFree(&face);
  return fail(11);
}

int32_t ftAddFaceFile(const char *path) {
  errClear();
  if (!path) return fail(10);
  if (ftFindFace(path)) return 0;
  errClear();
  SYS_File_p file = SYS_FileOpen(path, 0);
  if (!file) return -1;
  int32_t size = SYS_FileSize(path);
  if (size <= 0) {
    SYS_FileClose(file);
    SYS_DbgPrintf(1, "[fr][%s:%d:%s()]  ! empty or unreadable font file: %s\n", SYS_POS, path);
    return fail(3);
  }
  void *data = SYS_MemGet(size, "font buffer");
  if (!data) {
    SYS_FileClose(file);
    return fail(5);
  }
  int32_t got = SYS_FileRead(file, data, size);
  SYS_FileClose(file);
  if (got != size) {
    SYS_MemFree(&data);
    SYS_DbgPrintf(1, "[fr][%s:%d:%s()]  ! short read of font file: %s\n", SYS_POS, path);
    return fail(3);
  }
  if (ftAddFaceMem(path, data, size) != 0) {
    int32_t code = errGetLastError();
    SYS_MemFree(&data);
    return fail(code);
  }
  return 0;
}

ft_font_t *ftNewFont(int32_t encoding, uint32_t color, int32_t halign, int32_t valign) {
  errClear();
  if (!validEncoding(encoding)) {
    errSetLastError(10);
    return nullptr;
  }
  ft_font_t *font = static_cast<ft_font_t *>(SYS_MemGet(sizeof(ft_font_t), "new font"));
  if (!font) {
    errSetLastError(5);
    return nullptr;
  }
  font->encoding = encoding;
  font->color = color;
  font->halign = halign;
  font->valign = valign;
  font->size = 10;
  return font;
}

int32_t ftFreeFont(ft_font_t *font) {
  errClear();
  if (!font) return fail(10);
  if (font->faceName) SYS_MemFree(&font->faceName);
  SYS_MemFree(&font);
  return 0;
}

int32_t ftSetFont(ft_font_t *font, const char *faceName, int32_t size, int32_t weight, int32_t italic) {
  errClear();
  if (!font || !faceName) return fail(10);
  font->size = size;
  font->weight = weight;
  font->italic = italic;
  char *copy = SYS_StrDup(faceName);
  if (!copy) return fail(5);
  if (font->faceName) SYS_MemFree(&font->faceName);
  font->faceName = copy;
  font->face = ftFindFace(faceName);
  if (!font->face) return -1;
  FR_LOG("! set font: %s (handler: %p)\n", faceName, reinterpret_cast<void *>(font->face->render));
  return 0;
}

#define FR_SETTER(fn, type, field) \
  int32_t fn(ft_font_t *font, type value) { \
    errClear(); \
    if (!font) return fail(10); \
    font->field = value; \
    return 0; \
  }
FR_SETTER(ftSetSize, int32_t, size)
FR_SETTER(ftSetColor, uint32_t, color)
FR_SETTER(ftSetWeight, int32_t, weight)
FR_SETTER(ftSetItalic, int32_t, italic)
#undef FR_SETTER

int32_t ftSetEncoding(ft_font_t *font, int32_t encoding) {
  errClear();
  if (!font || !validEncoding(encoding)) return fail(10);
  font->encoding = encoding;
  return 0;
}

int32_t ftSetHAlign(ft_font_t *font, int32_t align) {
  errClear();
  if (!font || align < FR_HALIGN_LEFT || align > FR_HALIGN_CENTER) return fail(10);
  font->halign = align;
  return 0;
}

int32_t ftSetVAlign(ft_font_t *font, int32_t align) {
  errClear();
  if (!font || align < FR_VALIGN_CENTER || align > FR_VALIGN_BOTTOM) return fail(10);
  font->valign = align;
  return 0;
}

int32_t ftSetPosition(ft_font_t *font, int32_t x, int32_t y) {
  errClear();
  if (!font) return fail(10);
  font->halign = FR_ALIGN_POSITION;
  font->valign = FR_ALIGN_POSITION;
  font->x = x;
  font->y = y;
  return 0;
}

int32_t ftRender(ft_font_t *font, txBitmap *bitmap, const char *text, int32_t *width, int32_t *height) {
  errClear();
  if (!font || !bitmap || !text) return fail(10);
  bool empty = font->encoding == FR_ENC_UCS2 ? (text[0] == 0 && text[1] == 0) : text[0] == 0;
  if (empty) return 0;
  if (!font->face || !font->face->render) return fail(11);
  return font->face->render(font, bitmap, text, width, height) == -1 ? -1 : 0;
}
