// Helpers of the image generators: a grey canvas and a colour image, FreeType
// lettering onto either, and output as TGA (through the framework's TGA writer, or raw
// with a bottom-up row order and no ID field for files that are read as plain bytes,
// like "logo.tga") or as PNG through the framework's writer.
//
// Rows run top row first, like the texture loader's bitmaps. Header-only so that any
// generator in tools/ can include it; link Freetype::Freetype and media.
// Depends on: FreeType, media/texture (tgaWrite, txSave, txCreateDummy).
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "media/texture/TL.h"

namespace gentex {

constexpr const char *kFontBold = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
constexpr const char *kFontRegular = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct Canvas {
  int width = 0, height = 0;
  std::vector<uint8_t> px;  // one grey byte per pixel, row 0 at the top
  Canvas(int w, int h) : width(w), height(h), px((size_t)w * h, 0) {}
  uint8_t &at(int x, int y) { return px[(size_t)y * width + x]; }
  // Brightest of the old and new value, so overlapping glyphs never darken.
  void Plot(int x, int y, uint8_t v) {
    if (x >= 0 && y >= 0 && x < width && y < height) at(x, y) = std::max(at(x, y), v);
  }
  void Fill(int x0, int y0, int x1, int y1, uint8_t v) {
    for (int y = std::max(y0, 0); y < std::min(y1, height); ++y)
      for (int x = std::max(x0, 0); x < std::min(x1, width); ++x) at(x, y) = v;
  }
};

// A colour picture, three bytes R, G, B per pixel. Add saturates, so overlapping
// strokes only brighten.
struct RgbImage {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  RgbImage(int w, int h) : width(w), height(h), rgb((size_t)w * h * 3, 0) {}
  uint8_t *at(int x, int y) { return &rgb[((size_t)y * width + x) * 3]; }
  void Add(int x, int y, double r, double g, double b) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    uint8_t *p = at(x, y);
    p[0] = (uint8_t)std::min(255.0, p[0] + r);
    p[1] = (uint8_t)std::min(255.0, p[1] + g);
    p[2] = (uint8_t)std::min(255.0, p[2] + b);
  }
};

// One FreeType face at a pixel height; text is laid out left to right on a baseline.
class Lettering {
 public:
  Lettering(const char *fontPath, int pixelHeight) {
    if (FT_Init_FreeType(&lib_) != 0) return;
    if (FT_New_Face(lib_, fontPath, 0, &face_) != 0) {
      face_ = nullptr;
      return;
    }
    FT_Set_Pixel_Sizes(face_, 0, (FT_UInt)pixelHeight);
  }
  ~Lettering() {
    if (face_) FT_Done_Face(face_);
    if (lib_) FT_Done_FreeType(lib_);
  }
  Lettering(const Lettering &) = delete;
  Lettering &operator=(const Lettering &) = delete;

  bool ok() const { return face_ != nullptr; }

  void SetPixelHeight(int pixelHeight) {
    if (face_) FT_Set_Pixel_Sizes(face_, 0, (FT_UInt)pixelHeight);
  }

  // Advance width of text in pixels.
  int Measure(const std::string &text) {
    int w = 0;
    for (unsigned char c : text)
      if (face_ && FT_Load_Char(face_, c, FT_LOAD_DEFAULT) == 0) w += (int)(face_->glyph->advance.x >> 6);
    return w;
  }

  // Calls plot(x, y, coverage 0..255) for every pixel of every glyph of text, with
  // the pen starting at x on baseline y.
  template <class Plot>
  void Render(const std::string &text, int x, int y, Plot &&plot) {
    for (unsigned char ch : text) {
      if (!face_ || FT_Load_Char(face_, ch, FT_LOAD_RENDER) != 0) continue;
      const FT_GlyphSlot g = face_->glyph;
      const FT_Bitmap &bm = g->bitmap;
      for (unsigned r = 0; r < bm.rows; ++r)
        for (unsigned col = 0; col < bm.width; ++col)
          plot(x + g->bitmap_left + (int)col, y - g->bitmap_top + (int)r,
               bm.buffer[r * (size_t)std::abs(bm.pitch) + col]);
      x += (int)(g->advance.x >> 6);
    }
  }

  // Draws text with its pen starting at x on baseline y. threshold > 0 turns the
  // coverage into 0 or 255 (pixels at or above it lit), for images whose pixels are
  // read as lit or not.
  void Draw(Canvas &c, const std::string &text, int x, int y, int threshold = 0) {
    Render(text, x, y, [&](int px, int py, uint8_t v) {
      if (threshold > 0) v = v >= threshold ? 255 : 0;
      if (v) c.Plot(px, py, v);
    });
  }

  // Adds text centred on cx at baseline y, its coverage tinted by (r, g, b).
  void DrawTinted(RgbImage &image, const std::string &text, int cx, int y, double r, double g, double b) {
    Render(text, cx - Measure(text) / 2, y, [&](int px, int py, uint8_t coverage) {
      const double v = coverage / 255.0;
      image.Add(px, py, r * v, g * v, b * v);
    });
  }

  // Draws text centred horizontally between x0 and x1 on baseline y.
  void DrawCentred(Canvas &c, const std::string &text, int x0, int x1, int y, int threshold = 0) {
    Draw(c, text, x0 + (x1 - x0 - Measure(text)) / 2, y, threshold);
  }

 private:
  FT_Library lib_ = nullptr;
  FT_Face face_ = nullptr;
};

// Writes a grey canvas as a 24-bit TGA through the framework's writer, each grey
// value scaled by the colour (r, g, b) in 0..255. Rows are stored top first.
inline bool WriteTga(const std::string &path, const Canvas &c, int r = 255, int g = 255, int b = 255) {
  txBitmap *bmp = txCreateDummy(0, c.width, c.height);
  if (!bmp) return false;
  for (size_t i = 0; i < c.px.size(); ++i) {
    bmp->image[0][3 * i + 0] = (uint8_t)(c.px[i] * b / 255);
    bmp->image[0][3 * i + 1] = (uint8_t)(c.px[i] * g / 255);
    bmp->image[0][3 * i + 2] = (uint8_t)(c.px[i] * r / 255);
  }
  bool ok = tgaWrite(path.c_str(), bmp) == 0;
  txFree(&bmp);
  return ok;
}

// Writes a plain 24-bit TGA: 18-byte header, no ID field, rows bottom row first
// (descriptor 0), so pixel (x, row j from the bottom) lies at byte
// 18 + 3 * (width * j + x). fill(row, top) writes the B, G, R bytes of the image's
// row top (counted from the top) into row.
template <class Fill>
bool WriteRawBottomUpTgaRows(const std::string &path, int width, int height, Fill &&fill) {
  uint8_t h[18] = {};
  h[2] = 2;
  h[12] = (uint8_t)width;
  h[13] = (uint8_t)(width >> 8);
  h[14] = (uint8_t)height;
  h[15] = (uint8_t)(height >> 8);
  h[16] = 24;
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(h, 1, 18, f) == 18;
  std::vector<uint8_t> row((size_t)width * 3);
  for (int j = 0; j < height && ok; ++j) {
    fill(row.data(), height - 1 - j);
    ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
  }
  return std::fclose(f) == 0 && ok;
}

// A grey canvas in that layout.
inline bool WriteRawBottomUpTga(const std::string &path, const Canvas &c) {
  return WriteRawBottomUpTgaRows(path, c.width, c.height, [&](uint8_t *row, int top) {
    const uint8_t *src = c.px.data() + (size_t)top * c.width;
    for (int x = 0; x < c.width; ++x) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = src[x];
  });
}

// A colour image in that layout (stored B, G, R).
inline bool WriteRawBottomUpTga(const std::string &path, const RgbImage &image) {
  return WriteRawBottomUpTgaRows(path, image.width, image.height, [&](uint8_t *row, int top) {
    const uint8_t *src = &image.rgb[(size_t)top * image.width * 3];
    for (int x = 0; x < image.width; ++x) {
      row[3 * x] = src[3 * x + 2];
      row[3 * x + 1] = src[3 * x + 1];
      row[3 * x + 2] = src[3 * x];
    }
  });
}

// Writes a colour image as a PNG through the framework's writer.
inline bool WritePng(const std::string &path, const RgbImage &image) {
  txBitmap *bmp = txCreateDummy(1, image.width, image.height);
  if (!bmp) return false;
  std::memcpy(bmp->image[0], image.rgb.data(), image.rgb.size());
  const bool ok = txSave(TX_FMT_PNG, path.c_str(), bmp) == 0;
  txFree(&bmp);
  return ok;
}

}  // namespace gentex
