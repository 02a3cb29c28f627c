// Font renderer: one line of anti-aliased text blended into a txBitmap.
//
// Three layers: a constant table of font drivers (one, "TTF", over FreeType), the
// registered faces (whole font files kept in memory, newest first, looked up by
// exact name) and font objects that point at a face and carry size, encoding,
// colour and alignment. Faces must outlive the fonts that use them. Main thread only.
// Depends on: base (log, last error, tracked memory, options, list, file layer,
// character-set conversion), the texture loader's txBitmap, FreeType (ttf.cpp).
#pragma once

#include <cstdint>

#include "media/texture/TL.h"

struct FT_FaceRec_;

extern "C" {

// Encodings of the texts given to ftRender. Latin texts are 8-bit; UTF-8 is
// decoded to the Basic Multilingual Plane; UCS-2 texts are big-endian 16-bit units
// ending with a zero unit.
enum {
  FR_ENC_ISO8859_1 = 1,
  FR_ENC_ISO8859_2 = 2,
  FR_ENC_UTF8 = 20,
  FR_ENC_UCS2 = 30,
};

// Alignments; FR_ALIGN_POSITION (set by ftSetPosition) uses the font's x, y.
enum {
  FR_ALIGN_POSITION = -1,
  FR_HALIGN_LEFT = 0,
  FR_HALIGN_RIGHT = 1,
  FR_HALIGN_CENTER = 2,
  FR_VALIGN_CENTER = 2,
  FR_VALIGN_TOP = 3,
  FR_VALIGN_BOTTOM = 4,
};

typedef struct ft_font_t ft_font_t;
typedef struct ft_fontface_t ft_fontface_t;

// Draws text into bitmap; width and height (each may be null) get the measures.
typedef int32_t (*fr_render_t)(ft_font_t *font, txBitmap *bitmap, const char *text, int32_t *width,
                               int32_t *height);

typedef struct fr_driver_t {
  const char *name;
  int32_t (*init)(void);                     // 0 = ready
  int32_t (*done)(void);
  int32_t (*addFace)(ft_fontface_t *face);   // 0 = the driver takes the face
  fr_render_t render;
} fr_driver_t;

struct ft_fontface_t {
  char *name;       // owned; for file faces the path as given
  int32_t bold;
  int32_t italic;
  int32_t scalable;
  int32_t kerning;
  uint8_t *data;    // the whole font file (tracked); FreeType reads it while the face lives
  int32_t size;
  int32_t reserved;
  struct FT_FaceRec_ *handle;
  fr_render_t render;  // set by the driver that took the face
};

struct ft_font_t {
  ft_fontface_t *face;  // null until ftSetFont finds the face
  int32_t encoding;     // FR_ENC_*
  uint32_t color;       // 0xRRGGBBAA
  int32_t halign;
  int32_t valign;
  int32_t x, y;         // origin for FR_ALIGN_POSITION
  char *faceName;       // owned copy of the name given to ftSetFont
  int32_t size;         // character height in pixels
  int32_t weight;       // stored only
  int32_t italic;       // stored only
};

// Starts every driver (FreeType: error 13 when it cannot start).
int32_t ftInit(void);
// Stops the drivers and releases every face with its font data.
int32_t ftDone(void);
ft_fontface_t *ftFindFace(const char *name);
// Registers data (a tracked block of size bytes) under name; on success the face
// owns the block and ftDone frees it. A known name: 0 and the block stays the
// caller's. No driver takes the data: -1, error 11, the block stays the caller's.
int32_t ftAddFaceMem(const char *name, void *data, int32_t size);
// Registers the font file at path (read through the file layer) under its path.
int32_t ftAddFaceFile(const char *path);
// A font of size 10 without face; null with 10 (bad encoding) or 5.
ft_font_t *ftNewFont(int32_t encoding, uint32_t color, int32_t halign, int32_t valign);
int32_t ftFreeFont(ft_font_t *font);
// Stores size, weight and italic and points the font at the face of that name
// (-1, error 14 when none is registered: the font then has no face).
int32_t ftSetFont(ft_font_t *font, const char *faceName, int32_t size, int32_t weight, int32_t italic);
int32_t ftSetSize(ft_font_t *font, int32_t size);
int32_t ftSetColor(ft_font_t *font, uint32_t color);
int32_t ftSetWeight(ft_font_t *font, int32_t weight);
int32_t ftSetItalic(ft_font_t *font, int32_t italic);
int32_t ftSetEncoding(ft_font_t *font, int32_t encoding);
int32_t ftSetHAlign(ft_font_t *font, int32_t align);
int32_t ftSetVAlign(ft_font_t *font, int32_t align);
int32_t ftSetPosition(ft_font_t *font, int32_t x, int32_t y);
// Blends text into level 0 of bitmap (8, 24 or 32 bits; pixel type and subtype 0
// to 3) and reports the measured width (sum of advances) and height; glyphs are
// clipped to the bitmap. An empty text draws nothing and leaves the outputs alone.
int32_t ftRender(ft_font_t *font, txBitmap *bitmap, const char *text, int32_t *width, int32_t *height);

// The TTF driver's operations (ttf.cpp).
int32_t FR_Init(void);
int32_t FR_Done(void);
int32_t FR_AddFontFace(ft_fontface_t *face);
int32_t FR_Render(ft_font_t *font, txBitmap *bitmap, const char *text, int32_t *width, int32_t *height);

}  // extern "C"

// The verbose flag ("debug-fr"), shared by the renderer and its drivers.
extern int32_t frVerbose;
