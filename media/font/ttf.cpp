// TTF font driver over FreeType: opens faces from memory and renders one line.
//
// A render measures before it draws: every glyph is loaded, rendered to 8-bit
// coverage and kept, so a glyph that fails leaves the bitmap untouched. Then the
// line is placed by the font's alignment and blended glyph by glyph, clipped to the
// bitmap. The line height (vertical alignment only) comes from the face's OS/2 and
// hhea metrics the way the Windows rasteriser maps a pixel height to an em size.
// Depends on: FreeType 2, base (log, last error, tracked memory, charset conversion).

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "base/iconv.h"
#include "base/log.h"
#include "base/mem.h"
#include "media/font/FR.h"

namespace {

FT_Library g_library = nullptr;

#define TTF_LOG(fmt, ...) \
  do { \
    if (frVerbose) SYS_DbgPrintf(1, "[fr][ttf][%s:%d:%s()] " fmt, SYS_POS, ##__VA_ARGS__); \
  } while (0)

int fail(int32_t code) {
  errSetLastError(code);
  return -1;
}

// One measured character: its rendered glyph and where it goes.
struct Glyph {
  FT_Glyph glyph;
  int32_t left, top, kern, step;
};

// Em size in pixels for a character height h, from the OS/2 window metrics (or
// hhea ascender/descender when those are zero).
float PpemForHeight(FT_Face face, int32_t h) {
  const TT_OS2 *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (!os2) TTF_LOG(" ! Warning: pOS2 table is NULL.\n");
  const TT_HoriHeader *hhea = static_cast<const TT_HoriHeader *>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
  if (!hhea) TTF_LOG(" ! Warning: pHori table is NULL.\n");
  if (!os2 || !hhea) return 1.0f;
  if (h == 0) h = 16;
  if (h < 0) return (float)-(int64_t)h;
  int64_t scaled = (int64_t)face->units_per_EM * h;
  int64_t divisor = (int64_t)os2->usWinAscent + os2->usWinDescent;
  if (divisor == 0) divisor = (int64_t)hhea->Ascender - hhea->Descender;
  // Both metric pairs zero: take the height as the em size.
  if (divisor == 0) return (float)h;
  return (float)(scaled / divisor);
}

int32_t LineHeight(FT_Face face, int32_t size) {
  int32_t h = (int32_t)(size * 0.7654320987654321) + 1;
  float ppem = PpemForHeight(face, h);
  // Strike-only faces have no font units; their size metrics stand in.
  if (face->units_per_EM == 0) return (int32_t)((face->size ? face->size->metrics.height >> 6 : 0) + 5);
  double unit = 1.0 / face->units_per_EM;
  return (int32_t)std::trunc(face->bbox.yMax * unit * (double)ppem + 1.0) -
         (int32_t)std::trunc(face->bbox.yMin * unit * (double)ppem - 1.0) + 5;
}

// Decodes UTF-8 to Basic Multilingual Plane code units. A character beyond the
// plane becomes one U+FFFD; a malformed byte becomes U+FFFD and decoding resumes
// at the next byte.
int32_t DecodeUtf8(const uint8_t *s, int32_t n, uint16_t *out) {
  static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  int32_t count = 0;
  for (int32_t i = 0; i < n;) {
    const uint32_t c = s[i];
    const int32_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    bool ok = extra >= 0 && i + extra < n;
    uint32_t cp = extra == 0 ? c : extra == 1 ? c & 0x1F : extra == 2 ? c & 0x0F : c & 0x07;
    for (int32_t k = 1; ok && k <= extra; ++k) {
      ok = (s[i + k] & 0xC0) == 0x80;
      cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    if (ok && (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    out[count++] = ok && cp <= 0xFFFF ? (uint16_t)cp : 0xFFFD;
    i += ok ? extra + 1 : 1;
  }
  return count;
}

// Code units of the text in the font's encoding; -1 with the last error set.
int32_t TextToUnits(const ft_font_t *font, const char *text, uint16_t **units) {
  const uint8_t *s = reinterpret_cast<const uint8_t *>(text);
  int32_t n = 0;
  if (font->encoding == FR_ENC_UCS2)
    while (s[2 * n] || s[2 * n + 1]) ++n;
  else
    n = (int32_t)std::strlen(text);
  if (n <= 0 || n > (int32_t)(INT32_MAX / sizeof(Glyph))) return fail(10);
  *units = static_cast<uint16_t *>(SYS_MemGet(2 * n + 1, "FR_Render: text"));
  if (!*units) return fail(5);
  if (font->encoding == FR_ENC_UCS2) {
    for (int32_t i = 0; i < n; ++i) (*units)[i] = (uint16_t)(s[2 * i] << 8 | s[2 * i + 1]);
    return n;
  }
  if (font->encoding == FR_ENC_UTF8) return DecodeUtf8(s, n, *units);
  uint8_t *be = reinterpret_cast<uint8_t *>(*units);
  int32_t bytes = 0;
  if (SYS_IConvToUCS(font->encoding, SYS_ICONV_UCS2, s, n, be, &bytes) != 0) {
    SYS_MemFree(units);
    return fail(11);
  }
  for (int32_t i = 0; i < n; ++i) (*units)[i] = (uint16_t)(be[2 * i] << 8 | be[2 * i + 1]);
  return n;
}

void ReleaseGlyphs(Glyph *glyphs, int32_t count) {
  for (int32_t i = 0; i < count; ++i)
    if (glyphs[i].glyph) FT_Done_Glyph(glyphs[i].glyph);
}

// Coverage of column k in one row of a glyph bitmap (8-bit grey or 1-bit mono).
inline uint32_t Coverage(const FT_Bitmap &b, const uint8_t *row, uint32_t k) {
  if (b.pixel_mode == FT_PIXEL_MODE_MONO) return (row[k >> 3] & (0x80 >> (k & 7))) ? 255 : 0;
  return row[k];
}

void Blend(uint8_t *p, int32_t bpp, uint32_t a, uint32_t color) {
  uint32_t alpha = a * (color & 0xFF) / 255, inverse = 255 - alpha;
  p[0] = (uint8_t)(((color >> 24) * alpha + p[0] * inverse) / 255);
  if (bpp > 1) {
    p[1] = (uint8_t)((((color >> 16) & 0xFF) * alpha + p[1] * inverse) / 255);
    p[2] = (uint8_t)((((color >> 8) & 0xFF) * alpha + p[2] * inverse) / 255);
  }
  if (bpp == 4) p[3] = (uint8_t)((p[3] * inverse + 255 * alpha) / 255);
}

}  // namespace

int32_t FR_Init(void) {
  errClear();
  if (g_library) return 0;
  if (FT_Init_FreeType(&g_library) != 0) {
    g_library = nullptr;
    return fail(13);
  }
  return 0;
}

// Closing the library closes every face opened on it, before ftDone frees the data.
int32_t FR_Done(void) {
  errClear();
  if (g_library) FT_Done_FreeType(g_library);
  g_library = nullptr;
  return 0;
}

int32_t FR_AddFontFace(ft_fontface_t *face) {
  errClear();
  if (!face || !g_library) return fail(10);
  FT_Face handle = nullptr;
  if (FT_New_Memory_Face(g_library, face->data, face->size, 0, &handle) != 0) return fail(10);
  face->handle = handle;
  face->render = FR_Render;
  face->reserved = 0;
  face->bold = (handle->style_flags & FT_STYLE_FLAG_BOLD) != 0;
  face->italic = (handle->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
  face->scalable = (handle->face_flags & FT_FACE_FLAG_SCALABLE) != 0;
  face->kerning = (handle->face_flags & FT_FACE_FLAG_KERNING) != 0;
  TTF_LOG("New font: '%s' (b: %d i: %d s: %d k: %d)\n", face->name, face->bold, face->italic, face->scalable,
          face->kerning);
  if (handle->face_flags & FT_FACE_FLAG_FIXED_WIDTH) TTF_LOG(" ! added font is fixed width\n");
  TTF_LOG(" - encodings:\n");
  for (FT_Int i = 0; i < handle->num_charmaps; ++i) {
    uint32_t e = (uint32_t)handle->charmaps[i]->encoding;
    char tag[4] = {(char)(e >> 24), (char)(e >> 16), (char)(e >> 8), (char)e};
    TTF_LOG("   - %.4s\n", tag);
  }
  FT_Select_Charmap(handle, FT_ENCODING_UNICODE);
  return 0;
}

int32_t FR_Render(ft_font_t *font, txBitmap *bitmap, const char *text, int32_t *widthOut, int32_t *heightOut) {
  errClear();
  if (!font || !bitmap || !text || !font->face || !font->face->handle) return fail(10);
  if ((uint32_t)bitmap->type > 3 || (uint32_t)bitmap->subtype > 3) return fail(1005);
  const int32_t bpp = bitmap->bits / 8;
  const int32_t bw = bitmap->width, bh = bitmap->height;
  if ((bitmap->bits != 8 && bitmap->bits != 24 && bitmap->bits != 32) || bw <= 0 || bh <= 0 ||
      !bitmap->image[0] || (int64_t)bw * bh * bpp > bitmap->imagesize[0])
    return fail(1005);
  TTF_LOG(" - rendering: %s...\n", text);

  FT_Face face = font->face->handle;
  if (!font->face->scalable) {
    TTF_LOG("!!!! WARNING : unable to set font size.\n");
  } else if (FT_Set_Char_Size(face, 0, (FT_F26Dot6)font->size * 64, 0, 0) != 0) {
    // FreeType keeps the size of the previous render; drawing at it would be wrong.
    TTF_LOG(" ! unable to set font size %d.\n", font->size);
    return fail(10);
  }
  const int32_t lineHeight = LineHeight(face, font->size);

  uint16_t *units = nullptr;
  int32_t n = TextToUnits(font, text, &units);
  if (n < 0) return -1;
  Glyph *glyphs = static_cast<Glyph *>(SYS_MemGet((int64_t)n * sizeof(Glyph), "FR_Render: glyphs"));
  if (!glyphs) {
    SYS_MemFree(&units);
    return fail(5);
  }

  int64_t measured = 0;
  int32_t maxRows = 0, minTop = INT32_MAX;
  FT_UInt previous = 0;
  for (int32_t j = 0; j < n; ++j) {
    const uint32_t c = units[j];
    FT_UInt g = FT_Get_Char_Index(face, c);
    bool ok = FT_Load_Glyph(face, g, FT_LOAD_NO_HINTING | FT_LOAD_RENDER) == 0;
    int32_t kern = 0;
    if (ok && font->face->kerning && j > 0 && c && units[j - 1]) {
      FT_Vector v;
      if (FT_Get_Kerning(face, previous, g, FT_KERNING_DEFAULT, &v) == 0) kern = (int32_t)((v.x + 32) >> 6);
    }
    FT_GlyphSlot slot = face->glyph;
    if (ok && slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) {
      TTF_LOG(" ! FT_Render_Glyph 0x%04x (char '%c') failed.\n", c, text[j]);
      ok = false;
    }
    FT_Glyph glyph = nullptr;
    if (ok && FT_Get_Glyph(slot, &glyph) != 0) ok = false;
    if (ok && FT_Glyph_To_Bitmap(&glyph, FT_RENDER_MODE_NORMAL, nullptr, 1) != 0) {
      FT_Done_Glyph(glyph);
      ok = false;
    }
    if (!ok) {
      ReleaseGlyphs(glyphs, j);
      SYS_MemFree(&glyphs);
      SYS_MemFree(&units);
      return fail(10);
    }
    FT_BitmapGlyph bg = reinterpret_cast<FT_BitmapGlyph>(glyph);
    const int32_t advance = (int32_t)(slot->advance.x >> 6);
    glyphs[j] = {glyph, bg->left, bg->top, kern, advance - bg->left};
    measured += advance;
    maxRows = std::max(maxRows, (int32_t)bg->bitmap.rows);
    if (bg->top != 0) minTop = std::min(minTop, (int32_t)bg->top);
    previous = g;
  }

  // A line without any glyph top (spaces only) has no overhang to subtract.
  if (minTop == INT32_MAX) minTop = 0;
  const int32_t width = (int32_t)std::clamp<int64_t>(measured, INT32_MIN, INT32_MAX);
  const int32_t height = 2 * maxRows - minTop;
  if (widthOut) *widthOut = width;
  if (heightOut) *heightOut = height;
  TTF_LOG(" - bitmap size: %dx%d, top: %d\n", width, height, minTop);

  int64_t x0, y0;
  switch (font->halign) {
    case FR_HALIGN_LEFT: x0 = 0; break;
    case FR_HALIGN_RIGHT: x0 = bw - measured; break;
    case FR_HALIGN_CENTER: x0 = (bw - measured) / 2; break;
    default: x0 = font->x; break;
  }
  switch (font->valign) {
    case FR_VALIGN_TOP: y0 = 0; break;
    case FR_VALIGN_BOTTOM: y0 = bh - lineHeight; break;
    case FR_VALIGN_CENTER: y0 = (bh - lineHeight) / 2; break;
    default: y0 = font->y; break;
  }
  const int64_t baseline = y0 + maxRows;

  uint8_t *pixels = bitmap->image[0];
  int64_t pen = 0;
  for (int32_t j = 0; j < n; ++j) {
    const Glyph &gl = glyphs[j];
    if (j > 0) pen += gl.kern + gl.left;
    const FT_Bitmap &b = reinterpret_cast<FT_BitmapGlyph>(gl.glyph)->bitmap;
    if (b.pixel_mode == FT_PIXEL_MODE_GRAY || b.pixel_mode == FT_PIXEL_MODE_MONO) {
      const int64_t pitch = b.pitch < 0 ? -(int64_t)b.pitch : b.pitch;
      for (uint32_t r = 0; r < b.rows; ++r) {
        const int64_t y = baseline - gl.top + r;
        if (y < 0 || y >= bh) continue;
        // A negative pitch stores the bottom row first.
        const uint8_t *row = b.buffer + (b.pitch < 0 ? (b.rows - 1 - r) : r) * pitch;
        uint8_t *line = pixels + y * bw * bpp;
        for (uint32_t k = 0; k < b.width; ++k) {
          const int64_t x = x0 + pen + k;
          if (x < 0 || x >= bw) continue;
          uint32_t a = Coverage(b, row, k);
          if (a) Blend(line + x * bpp, bpp, a, font->color);
        }
      }
    }
    pen += gl.step;
    FT_Done_Glyph(gl.glyph);
  }
  SYS_MemFree(&glyphs);
  SYS_MemFree(&units);
  return 0;
}
