// Debug overlay and bitmap font: see overlay.h.
//
// The font texture's texel row r is pixel row r of the glyph table (GL puts the first
// uploaded row at v = 0), and each glyph is drawn with v growing downwards, so the
// glyphs stand upright. The text is drawn with whatever blending the frame's scene
// left; only the beat bar sets additive blending, which the next frame then inherits.
// The line and the bar live in fixed strings: the overlay allocates nothing.
// Depends on: GL and GLU tables, main program state.
#include "presentation/overlay.h"

#include <cmath>
#include <cstdio>

#include "presentation/gl.h"
#include "presentation/show.h"

const uint8_t FontGlyphs[kFontGlyphBytes] = {
    0x40, 0xAA, 0x24, 0x64, 0x24, 0x0A, 0x00, 0x80,  // 0
    0x40, 0xEA, 0x8C, 0x2A, 0x42, 0x44, 0x00, 0x80,  // 1
    0x40, 0xA0, 0x46, 0x0C, 0x42, 0xEE, 0xE0, 0x40,  // 2
    0x00, 0xE0, 0x2C, 0x0A, 0x42, 0x44, 0x00, 0x20,  // 3
    0x40, 0xA0, 0x86, 0x0E, 0x24, 0x0A, 0x06, 0x24,  // 4
    0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x02, 0x00,  // 5
    0x4C, 0x66, 0xE8, 0xE4, 0x44, 0x00, 0x08, 0x62,  // 6
    0x6A, 0x88, 0x2A, 0x82, 0xAA, 0x00, 0x04, 0x84,  // 7
    0x4A, 0x44, 0x6E, 0xC6, 0xC4, 0x44, 0xE2, 0x48,  // 8
    0x4A, 0x82, 0x88, 0x4A, 0x8A, 0x00, 0x04, 0x04,  // 9
    0xE6, 0x6E, 0x68, 0x44, 0x44, 0x64, 0xE8, 0x42,  // 10
    0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00,  // 11
    0x4E, 0xC6, 0xE6, 0xCE, 0xEA, 0xA8, 0xA2, 0x4A,  // 12
    0xAA, 0x2A, 0x2A, 0x22, 0x4A, 0xA8, 0xE2, 0xAE,  // 13
    0xEA, 0x26, 0x6A, 0xA6, 0x4E, 0x68, 0xE2, 0xAA,  // 14
    0xA2, 0x2A, 0x2A, 0xA2, 0x4A, 0xAA, 0xA2, 0xAA,  // 15
    0xAE, 0xC6, 0xE6, 0xC2, 0xEA, 0xA4, 0xAE, 0x4A,  // 16
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 17
    0x46, 0xC6, 0xAE, 0xAA, 0xAA, 0x6E, 0x62, 0x04,  // 18
    0xAA, 0x2A, 0xA4, 0xAA, 0xAA, 0x28, 0x42, 0x0A,  // 19
    0xA6, 0xE6, 0xA4, 0xEA, 0x44, 0x24, 0x44, 0x00,  // 20
    0xE2, 0x8A, 0xA4, 0xEA, 0x4A, 0x22, 0x48, 0x00,  // 21
    0xC2, 0x6A, 0xE4, 0xA4, 0x4A, 0x6E, 0x68, 0x00,  // 22
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0,  // 23
    0x06, 0x02, 0x08, 0x08, 0x42, 0x24, 0x04, 0x00,  // 24
    0x04, 0x02, 0x08, 0x04, 0x02, 0x20, 0x04, 0x00,  // 25
    0xC0, 0xC6, 0xEC, 0xEE, 0x46, 0xA4, 0xE4, 0x46,  // 26
    0xA0, 0x2A, 0x6A, 0xA4, 0x4A, 0x64, 0xE4, 0xAA,  // 27
    0xE0, 0xC6, 0xCC, 0x84, 0x4A, 0xA4, 0xA4, 0x4A,  // 28
    0x00, 0x00, 0x00, 0xE0, 0x00, 0x06, 0x00, 0x00,  // 29
    0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x64, 0xF0,  // 30
    0x00, 0x00, 0x04, 0x00, 0x00, 0x40, 0x44, 0xF0,  // 31
    0xC6, 0xC6, 0xAE, 0xAA, 0xAA, 0x66, 0xC4, 0xF0,  // 32
    0xAA, 0x42, 0xA4, 0xEA, 0xA4, 0x44, 0x44, 0xF0,  // 33
    0xC6, 0x62, 0xEC, 0xE4, 0x4A, 0xCC, 0x64, 0xF0,  // 34
    0x82, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0xF0,  // 35
};

int32_t FontTexture = 0;

uint8_t FontBit(int32_t byteIndex, int32_t bit) {
  if (byteIndex < 0 || byteIndex >= kFontGlyphBytes || bit < 0 || bit > 7) return 0;
  return (FontGlyphs[byteIndex] >> bit) & 1 ? 255 : 0;
}

void FontTextureBuild(void) {
  // Rows 36 to 63 hold no glyph and are never drawn; they stay black.
  uint8_t texels[kFontTextureSize * kFontTextureSize] = {};
  for (int32_t i = 0; i < kFontGlyphBytes; i++)
    for (int32_t j = 0; j < 8; j++) texels[8 * i + j] = FontBit(i, j);
  GLuint name = 0;
  glGenTextures(1, &name);
  FontTexture = (int32_t)name;
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  // Rows of 64 bytes meet any unpack alignment.
  glTexImage2D(GL_TEXTURE_2D, 0, 1, kFontTextureSize, kFontTextureSize, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, texels);
}

void DrawGlyph(char ch, bool raw, float x, float y) {
  int32_t g = (unsigned char)ch - 32;
  if (g < 0 || g > 95) g = 0;
  const float X = raw ? x : (float)(x * 0.01 - 1.0), Y = raw ? y : (float)(1.0 - y * 0.02);
  const float u = (float)((g % 16) * 0.0625), v = (float)((g / 16) * 0.09375);
  const float right = (float)(X + 0.01), bottom = (float)(Y - 0.02);
  const float uRight = (float)(u + 0.0625), vBottom = (float)(v + 0.09375);
  glBegin(GL_QUADS);
  glTexCoord2f(u, v);
  glVertex2f(X, Y);
  glTexCoord2f(uRight, v);
  glVertex2f(right, Y);
  glTexCoord2f(uRight, vBottom);
  glVertex2f(right, bottom);
  glTexCoord2f(u, vBottom);
  glVertex2f(X, bottom);
  glEnd();
}

void DrawText(const ShortString &text, bool raw, float x, float y) {
  for (size_t c = 0; c < text.size(); c++) {
    if (raw)
      DrawGlyph(text[c], true, (float)(x + c * 0.01), y);
    else
      DrawGlyph(text[c], false, (float)(x + (double)c), y);
  }
}

ShortString IntToText(int32_t value) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%d", (int)value);
  return ShortString(digits);
}

void DumpGLErrors(void) {
  for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError()) {
    const GLubyte *text = gluErrorString ? gluErrorString(error) : nullptr;
    std::printf("GL_ERROR:%s\n", text ? (const char *)text : "");
  }
}

ShortString OverlayLine(int32_t segmentTime, const ShortString &fpsText, int32_t row, int32_t pattern) {
  ShortString line = IntToText(segmentTime);
  line += " frame : ";
  line += IntToText(segmentTime / 40);
  line += " ";
  line += fpsText;
  line += " ";
  line += IntToText(row);
  line += " / ";
  line += IntToText(pattern);
  return line;
}

ShortString BeatBar(float beat) {
  static constexpr char kBar[] = "======================";
  const double n = std::nearbyint(16.0 * (double)beat);  // the default rounding: halves to even
  const size_t count = n >= 22.0 ? 22 : n > 0.0 ? (size_t)n : 0;  // NaN draws no bar
  return ShortString(std::string_view(kBar, count));
}

void DrawOverlay(void) {
  glColor3f(1.0f, 1.0f, 1.0f);
  glBindTexture(GL_TEXTURE_2D, (GLuint)FontTexture);
  glEnable(GL_TEXTURE_2D);
  DrawText(OverlayLine(SegmentTime, FpsText, Row, Pattern), false, 1.0f, 1.0f);
  glEnable(GL_BLEND);
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glBlendFunc(GL_ONE, GL_ONE);
  DrawText(BeatBar(Beat), false, 1.0f, 3.0f);
}
