// Debug overlay and bitmap font (option "debug").
//
// One line of timing text in the window's top-left corner and a beat bar two rows
// below it, drawn every frame after the frame's state reset. The text uses 96 glyphs
// of 4 x 6 pixels carried as a 288-byte one-bit table and turned into a 64 x 64
// luminance texture at start; at 800 x 600 one glyph cell covers exactly 4 x 6 pixels.
// Depends on: GL and GLU tables, main program state (SegmentTime, Row, Pattern, Beat,
// FpsText).
#pragma once

#include <cstdint>

#include "presentation/pstring.h"

enum : int32_t { kFontGlyphBytes = 288, kFontTextureSize = 64 };

// 64 x 36 pixels, 16 x 6 cells, top row first, 8 bytes a row, lowest bit leftmost.
extern const uint8_t FontGlyphs[kFontGlyphBytes];
// GL name of the font texture; 0 until FontTextureBuild.
extern int32_t FontTexture;

// 255 when bit (0 = lowest) of FontGlyphs[byteIndex] is set, else 0.
uint8_t FontBit(int32_t byteIndex, int32_t bit);
// Builds FontTexture: luminance 0/255, nearest filtering, clamped. Needs the context.
void FontTextureBuild(void);

// One glyph as one GL_QUADS primitive. Grid mode: x a column and y a row from the
// top-left corner of the device square; raw mode: device coordinates. Characters
// outside 32..127 draw the blank glyph.
void DrawGlyph(char ch, bool raw, float x, float y);
// The text's characters side by side from (x, y); an empty text draws nothing.
void DrawText(const ShortString &text, bool raw, float x, float y);
// Decimal text of value, minus sign when negative.
ShortString IntToText(int32_t value);
// Drains glGetError, writing "GL_ERROR:" and the GLU text of each to stdout.
void DumpGLErrors(void);

// The overlay's timing line: time, " frame : ", time div 40, " ", the frame-rate
// text, " ", row, " / ", pattern.
ShortString OverlayLine(int32_t segmentTime, const ShortString &fpsText, int32_t row, int32_t pattern);
// The beat bar: round(16 beat) "=" characters (halves to even), at most 22.
ShortString BeatBar(float beat);
// Draws the line and the bar; leaves blending on with (GL_ONE, GL_ONE).
void DrawOverlay(void);
