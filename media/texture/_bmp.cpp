// BMP input filter (id 2): uncompressed Windows bitmaps of 8, 24 and 32 bits.
//
// Rows are stored padded to 4 bytes and bottom-up unless the height is negative;
// the reader packs them and delivers the top row first, like the other filters.
// Pixel data start where the file header's data offset says; compressed (RLE,
// bit-field) files are refused rather than decoded as raw pixels.
// Depends on: base (tracked memory, log).

#include <cstring>

#include "media/texture/TL_private.h"

namespace {

constexpr int32_t kFileHeader = 14;
constexpr int32_t kMinHeaders = 54;  // file header and a 40-byte info header

inline int32_t I32(const uint8_t *p) { return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24); }
inline int32_t I16(const uint8_t *p) { return (int16_t)(p[0] | (p[1] << 8)); }

txBitmap *Fail(int32_t code, txBitmap *bitmap, const char *why) {
  txRelease(bitmap);
  TX_FAIL(code, "[TL][bmp]", "%s (%s)", why, txSettings.currentName ? txSettings.currentName : "-");
  return nullptr;
}

}  // namespace

extern "C" {

int32_t bmpCheck(const uint8_t *d) { return d[0] == 'B' && d[1] == 'M' ? 0 : 1000; }

txBitmap *bmpRead(const uint8_t *data, int32_t size) {
  if (!data || size < kMinHeaders) return Fail(1002, nullptr, "header truncated");
  const int32_t dataOffset = I32(data + 10);
  const int32_t infoSize = I32(data + 14);
  const int32_t width = I32(data + 18);
  int32_t height = I32(data + 22);
  const int32_t bits = I16(data + 28);
  const int32_t compression = I32(data + 30);
  const int32_t colorsUsed = I32(data + 46);
  if (bits < 8 || bits == 16) return Fail(1004, nullptr, "unsupported depth");
  if (bits != 8 && bits != 24 && bits != 32) return Fail(1004, nullptr, "unsupported depth");
  if (compression != 0) return Fail(1004, nullptr, "compressed bitmap");
  const bool topDown = height < 0;
  if (height == INT32_MIN) return Fail(1000, nullptr, "bad height");
  if (topDown) height = -height;
  const int32_t bytes = txImageBytes(width, height, bits);
  if (bytes < 0) return Fail(1000, nullptr, "bad size");
  const int32_t headerEnd = infoSize >= 40 && infoSize <= size - kFileHeader ? kFileHeader + infoSize : kMinHeaders;
  if (dataOffset < headerEnd || dataOffset > size) return Fail(1002, nullptr, "pixel data offset outside the file");
  const int32_t rowBytes = width * (bits / 8);
  const int64_t stride = ((int64_t)rowBytes + 3) & ~(int64_t)3;
  if (dataOffset + stride * (height - 1) + rowBytes > size) return Fail(1002, nullptr, "data past the end");

  txBitmap *b = (txBitmap *)SYS_MemGet(sizeof(txBitmap), "bmpRead: struct");
  if (!b) return Fail(5, nullptr, "no memory");
  b->width = width;
  b->height = height;
  b->bits = bits;
  b->levels = 1;
  b->type = TX_TYPE_BGR;
  b->imagesize[0] = bytes;
  b->subtype = bits == 8 ? (colorsUsed != 0 ? TX_SUB_PALETTE : TX_SUB_GREY) : bits == 24 ? TX_SUB_COLOR : TX_SUB_ALPHA;
  TX_LOG("[TL][bmp]", "BMP: %s\n", txSettings.currentName ? txSettings.currentName : "-");
  TX_LOG("[TL][bmp]", " size: %dx%d bits: %d\n", width, height, bits);
  TX_LOG("[TL][bmp]", " clr used: %d\n", colorsUsed);
  TX_LOG("[TL][bmp]", " compression: %d\n", compression);
  TX_LOG("[TL][bmp]", " imagesize[0]: %lu\n", (unsigned long)bytes);

  if (colorsUsed != 0) {
    // The colour table as stored (B,G,R,0 entries), at least 256 entries long so
    // any 8-bit index stays inside it.
    const int32_t tableBytes = dataOffset - headerEnd;
    b->palette = (uint8_t *)SYS_MemGet(tableBytes > 1024 ? tableBytes : 1024, "bmpRead: palette");
    if (!b->palette) return Fail(5, b, "no memory");
    std::memcpy(b->palette, data + headerEnd, (size_t)tableBytes);
  }
  b->image[0] = txAdoptRows(data, dataOffset, stride, rowBytes, height, !topDown);
  if (b->image[0]) return b;
  b->image[0] = (uint8_t *)SYS_MemGet(bytes, "bmpRead: bitmap");
  if (!b->image[0]) return Fail(5, b, "no memory");
  // Top row first: a bottom-up file's last stored row is row 0 of the bitmap.
  for (int32_t j = 0; j < height; ++j) {
    int32_t fileRow = topDown ? j : height - 1 - j;
    std::memcpy(b->image[0] + (size_t)j * rowBytes, data + dataOffset + fileRow * stride, (size_t)rowBytes);
  }
  return b;
}

const tx_filter_t txBmpFilter = {
    TX_FMT_BMP, "tarvo!korvadyne's BMP input filter", "Windows bitmap (BMP)", bmpCheck, bmpRead, nullptr, {0, 0},
};

}  // extern "C"
