// Pixel converters and the box-filter shrink of level 0.
//
// Each converter builds the new level in a fresh tracked buffer and frees the old one
// only once the new one is filled, so a failure leaves the bitmap as it was. txScale
// serves the loader's quality setting and the presentation's fit to the GL size
// limit; it only shrinks, averaging every source pixel into the target cell that its
// truncated scaled position falls in.
// Depends on: base (log, last error, tracked memory).

#include <algorithm>
#include <cstring>

#include "media/texture/TL_private.h"

namespace {

// Pixels that level 0 really holds, for a depth of bpp bytes.
int32_t Level0Pixels(const txBitmap *b, int32_t bpp) {
  int64_t want = (int64_t)b->width * b->height;
  if (!b->image[0] || b->width <= 0 || b->height <= 0 || bpp <= 0) return 0;
  int64_t have = b->imagesize[0] / bpp;
  return (int32_t)std::min(want, have);
}

// Replaces level 0 with buffer (bytes long) and the given depth.
void ReplaceLevel0(txBitmap *b, uint8_t *buffer, int32_t bytes, int32_t bits) {
  SYS_MemFree(&b->image[0]);
  b->image[0] = buffer;
  b->imagesize[0] = bytes;
  b->bits = bits;
}

}  // namespace

extern "C" {

int32_t tx32to24(txBitmap *b) {
  errClear();
  if (!b || b->bits != 32) return 0;
  int32_t pixels = Level0Pixels(b, 4);
  uint8_t *out = (uint8_t *)SYS_MemGet(std::max(pixels * 3, 1), "tx32to24");
  if (!out) return TX_FAIL(5, "[TL]", "no memory"), -1;
  const uint8_t *src = b->image[0];
  for (int32_t i = 0; i < pixels; ++i) std::memcpy(out + i * 3, src + i * 4, 3);
  ReplaceLevel0(b, out, pixels * 3, 24);
  b->subtype = TX_SUB_COLOR;
  return 0;
}

int32_t tx24to32(txBitmap *b) {
  errClear();
  if (!b || b->bits != 24) return 0;
  int32_t pixels = Level0Pixels(b, 3);
  if (pixels > 0x3FFFFFFF / 4) return TX_FAIL(5, "[TL]", "image too large"), -1;
  uint8_t *out = (uint8_t *)SYS_MemGet(std::max(pixels * 4, 1), "tx24to32");
  if (!out) return TX_FAIL(5, "[TL]", "no memory"), -1;
  std::memset(out, 255, (size_t)pixels * 4);
  const uint8_t *src = b->image[0];
  for (int32_t i = 0; i < pixels; ++i) std::memcpy(out + i * 4, src + i * 3, 3);
  ReplaceLevel0(b, out, pixels * 4, 32);
  return 0;
}

int32_t tx24to8(txBitmap *b, int32_t offset) {
  errClear();
  if (!b || b->bits < 24) return TX_FAIL(1004, "[TL]", "fewer than 24 bits"), -1;
  if (offset < 0 || offset > 2) return TX_FAIL(10, "[TL]", "channel offset %d", offset), -1;
  // Every third byte over width x height x 3, as a 24-bit layout.
  int32_t pixels = Level0Pixels(b, 3);
  uint8_t *out = (uint8_t *)SYS_MemGet(std::max(pixels, 1), "tx24to8");
  if (!out) return TX_FAIL(5, "[TL]", "no memory"), -1;
  const uint8_t *src = b->image[0] + offset;
  for (int32_t i = 0; i < pixels; ++i) out[i] = src[i * 3];
  ReplaceLevel0(b, out, pixels, 8);
  b->subtype = TX_SUB_GREY;
  return 0;
}

int32_t tx8to24(txBitmap *b) {
  errClear();
  if (!b || b->bits != 8) return TX_FAIL(1004, "[TL]", "not 8 bits"), -1;
  int32_t pixels = Level0Pixels(b, 1);
  if (pixels > 0x3FFFFFFF / 3) return TX_FAIL(5, "[TL]", "image too large"), -1;
  uint8_t *out = (uint8_t *)SYS_MemGet(std::max(pixels * 3, 1), "tx8to24");
  if (!out) return TX_FAIL(5, "[TL]", "no memory"), -1;
  const uint8_t *src = b->image[0];
  for (int32_t i = 0; i < pixels; ++i) out[i * 3] = out[i * 3 + 1] = out[i * 3 + 2] = src[i];
  ReplaceLevel0(b, out, pixels * 3, 24);
  b->subtype = TX_SUB_COLOR;
  return 0;
}

txBitmap *txIntensity(const txBitmap *b, int32_t weighted) {
  errClear();
  if (!b) return TX_FAIL(1000, "[TL]", "no bitmap"), nullptr;
  if (b->bits < 24) return TX_FAIL(1004, "[TL]", "fewer than 24 bits"), nullptr;
  int32_t step = b->bits == 32 ? 4 : 3;
  int32_t pixels = Level0Pixels(b, step);
  txBitmap *out = (txBitmap *)SYS_MemGet(sizeof(txBitmap), "txIntensity: struct");
  if (!out) return TX_FAIL(5, "[TL]", "no memory"), nullptr;
  out->image[0] = (uint8_t *)SYS_MemGet(std::max(pixels, 1), "txIntensity: bitmap");
  if (!out->image[0]) {
    SYS_MemFree(&out);
    return TX_FAIL(5, "[TL]", "no memory"), nullptr;
  }
  const uint8_t *src = b->image[0];
  for (int32_t i = 0; i < pixels; ++i, src += step) {
    uint32_t b0 = src[0], b1 = src[1], b2 = src[2];
    out->image[0][i] = (uint8_t)(weighted ? (77 * b0 + 150 * b1 + 29 * b2) >> 8 : (b0 + b1 + b2) / 3);
  }
  out->type = b->type;
  out->subtype = TX_SUB_GREY;
  out->width = b->width;
  out->height = b->height;
  out->bits = 8;
  out->levels = 1;
  out->imagesize[0] = pixels;
  return out;
}

void txExpandPalette(const uint8_t *indices, uint8_t *output, int32_t count, const uint8_t *palette) {
  for (int32_t i = 0; i < count; ++i, output += 3) std::memcpy(output, palette + 4 * indices[i], 3);
}

int32_t txInvert(txBitmap *b) {
  errClear();
  if (!b || !b->image[0]) return 0;
  uint8_t *p = b->image[0];
  for (int32_t i = 0; i < b->imagesize[0]; ++i) p[i] = (uint8_t)~p[i];
  return 0;
}

int32_t txScale(txBitmap *b, int32_t W, int32_t H) {
  errClear();
  SYS_DbgLevelPrintf(2, "[TL][%s:%d:%s()] !!! --- scale to %dx%d\n", SYS_POS, W, H);
  if (!b) return TX_FAIL(10, "[TL]", "no bitmap"), -1;
  if (b->type == TX_TYPE_COMPRESSED) return TX_FAIL(1000, "[TL]", "cannot scale compressed data"), -1;
  // Averages of palette indices would point at unrelated colours.
  if (b->subtype == TX_SUB_PALETTE) return TX_FAIL(1000, "[TL]", "cannot scale palette indices"), -1;
  // A shrink of a tiny image by a quality step must still leave one pixel per side.
  W = std::max(W, 1);
  H = std::max(H, 1);
  if (b->width < W && b->height < H) {
    SYS_DbgLevelPrintf(2, "[TL][%s:%d:%s()] !!! Magnify ... please implement me.\n", SYS_POS);
    return 0;
  }
  if (b->width < W || b->height < H) {
    SYS_DbgLevelPrintf(2, "[TL][%s:%d:%s()] !!! Scale ... please implement me.\n", SYS_POS);
    return 0;
  }
  const int32_t B = b->bits / 8;
  const int32_t srcBytes = txImageBytes(b->width, b->height, b->bits);
  if (B < 1 || srcBytes < 0 || !b->image[0] || b->imagesize[0] < srcBytes)
    return TX_FAIL(1000, "[TL]", "bitmap has no %dx%d %d-bit level", b->width, b->height, b->bits), -1;
  // Only the channels a pixel has; a 16-bit pixel has two bytes, not three.
  const int32_t N = std::min(B, 4);
  const int32_t outBytes = txImageBytes(W, H, b->bits);
  // Target rows follow the source rows in order (ty never decreases with y), so the
  // sums of one target row at a time suffice: a row is written out when the next
  // one starts. The target column of each source column is worked out once.
  uint64_t accBytes, columnBytes;
  if (outBytes < 0 || !korv::SizeProduct({(uint64_t)W, 5 * sizeof(int32_t)}, INT32_MAX, accBytes) ||
      !korv::SizeProduct({(uint64_t)b->width, sizeof(int32_t)}, INT32_MAX, columnBytes))
    return TX_FAIL(5, "[TL]", "target too large"), -1;

  int32_t *acc = (int32_t *)SYS_MemGet((int64_t)accBytes, "_Shrink: pixel buffer");
  int32_t *column = (int32_t *)SYS_MemGet((int64_t)columnBytes, "_Shrink: columns");
  uint8_t *out = (uint8_t *)SYS_MemGet(outBytes, "_Shrink: bitmap");
  if (!acc || !column || !out) {
    if (acc) SYS_MemFree(&acc);
    if (column) SYS_MemFree(&column);
    if (out) SYS_MemFree(&out);
    return TX_FAIL(5, "[TL]", "no memory"), -1;
  }
  const float rx = (float)b->width / (float)W, ry = (float)b->height / (float)H;
  const float ix = 1.0f / rx, iy = 1.0f / ry;
  for (int32_t x = 0; x < b->width; ++x) column[x] = std::min((int32_t)((float)x * ix), W - 1) * 5;
  auto finishRow = [&](int32_t ty) {
    uint8_t *o = out + (size_t)ty * W * B;
    for (int32_t i = 0; i < W; ++i) {
      int32_t *cell = acc + (size_t)i * 5;
      if (cell[4] == 0) continue;
      const float inv = 1.0f / (float)cell[4];
      for (int32_t c = 0; c < N; ++c) {
        float v = std::clamp((float)cell[c] * inv, 0.0f, 255.0f);
        o[(size_t)i * B + c] = (uint8_t)v;
      }
    }
    std::memset(acc, 0, (size_t)accBytes);
  };
  const uint8_t *src = b->image[0];
  int32_t current = -1;
  for (int32_t y = 0; y < b->height; ++y) {
    int32_t ty = std::min((int32_t)((float)y * iy), H - 1);
    if (ty != current) {
      if (current >= 0) finishRow(current);
      current = ty;
    }
    const uint8_t *p = src + (size_t)y * b->width * B;
    for (int32_t x = 0; x < b->width; ++x, p += B) {
      int32_t *cell = acc + column[x];
      for (int32_t c = 0; c < N; ++c) cell[c] += p[c];
      cell[4] += 1;
    }
  }
  if (current >= 0) finishRow(current);
  SYS_MemFree(&column);
  SYS_MemFree(&acc);
  SYS_MemFree(&b->image[0]);
  b->image[0] = out;
  b->imagesize[0] = outBytes;
  b->width = W;
  b->height = H;
  return 0;
}

}  // extern "C"
