// Texture loader internals shared by the loader, converters and filters: the
// process-wide settings, bitmap construction with overflow-safe sizes, and the
// log and error helpers that keep every failure path to one line.
// Depends on: base/log.h, base/mem.h.
#pragma once

#include <cstdint>

#include "base/log.h"
#include "base/mem.h"
#include "media/texture/TL.h"

struct txSettings_t {
  txFunctions io;
  int32_t verbose;
  int32_t dxtDisable;  // bit 1 DXT1, 2 DXT3, 4 DXT5
  int32_t quality;
  int32_t order;  // wanted byte order: 0 B,G,R; 1 R,G,B
  int32_t flip;
  int32_t dxtAllowed[3];  // DXT1, DXT3, DXT5
  int32_t keepCompressed;
  int32_t jpegBaseline, jpegProgressive, jpegOptimize, jpegSmoothing, jpegQuality;
  int32_t pngLevel;
  const char *currentName;  // the file being loaded, for the filters' lines
  int32_t alphaMerge;       // 0 while an "_a" image loads for an outer call
  // The buffer of the current txLoad, which the reader may adopt as its level 0
  // (txAdoptRows) instead of copying the pixels; adopted is set when it does.
  uint8_t *adoptable;
  int32_t adopted;
};
extern txSettings_t txSettings;

// Verbose lines ("debug-tl"); the tag is "[TL]" or "[TL][tga]" and so on.
#define TX_LOG(tag, fmt, ...) \
  do { \
    if (txSettings.verbose) SYS_DbgPrintf(1, tag "[%s:%d:%s()] " fmt, SYS_POS, ##__VA_ARGS__); \
  } while (0)

// Failure line at the loader's level (shown with "debug-tl" or "debug-all"), then the
// last error; callers return their failure value right after.
#define TX_FAIL(code, tag, fmt, ...) \
  (SYS_DbgLevelPrintf(SYS_DBG_LEVEL(txSettings.verbose), tag "[%s:%d:%s()] ! " fmt "\n", SYS_POS, \
                      ##__VA_ARGS__), \
   errSetLastError(code))

// Byte count of a w x h image of bits per pixel, or -1 when the sides are not
// positive, the depth is not a whole number of bytes, or the product would not fit
// the allocator's 32-bit sizes (with room for the loader's zero tail).
inline int32_t txImageBytes(int32_t width, int32_t height, int32_t bits) {
  if (width <= 0 || height <= 0 || bits <= 0 || bits % 8 != 0) return -1;
  int64_t n = (int64_t)width * height * (bits / 8);
  return n > 0x3FFFFFFF ? -1 : (int32_t)n;
}

// Width and height of mipmap level i of a w x h image.
inline int32_t txLevelSide(int32_t side, int32_t level) {
  int32_t s = side >> level;
  return s < 1 ? 1 : s;
}

// Reverses the order of rows of rowBytes bytes in place.
void txReverseRows(uint8_t *data, int32_t rowBytes, int32_t rows);
// Turns the loader's file buffer into a level 0 of rows rows of rowBytes bytes, top
// row first: file row k lies at start + k * stride; reverse when the file stores the
// bottom row first. Returns the buffer, now the caller's, or null when data is not
// the adoptable buffer of the current load (the caller then copies).
uint8_t *txAdoptRows(const uint8_t *data, int64_t start, int64_t stride, int32_t rowBytes, int32_t rows,
                     bool reverse);
// Frees a bitmap's buffers and the record itself (no error state touched).
void txRelease(txBitmap *bitmap);
