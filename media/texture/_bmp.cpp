// BMP input filter (id 2): uncompressed Windows bitmaps of 8, 24 and 32 bits.
//
// Rows are stored padded to 4 bytes and bottom-up unless the height is negative;
// the reader packs them and delivers the top row first, like the other filters.
// Pixel data start where the file header's data offset says; an 8-bit file's colour
// table lies between the headers and there. Only info headers of 40 bytes and more
// are read: the 12-byte core header lays its fields out differently. Bit fields that
// describe the uncompressed 32-bit layout (what encoders write for images with
// alpha) read as uncompressed, and opaque when they have no alpha mask; other bit
// fields and compressed (RLE) files are refused rather than decoded as raw pixels.
// Sizes go through base/sizes.h, so a hostile header can neither wrap a size test
// nor make a negative stride.
// Depends on: base (tracked memory, log, sizes).

#include <algorithm>
#include <cstring>

#include "media/texture/TL_private.h"

namespace {

constexpr int32_t kFileHeader = 14;
constexpr int32_t kCoreHeader = 12;
constexpr int32_t kInfoHeader = 40;
constexpr int32_t kMinHeaders = 54;  // file header and a 40-byte info header
constexpr int64_t kMaxEntries = 256;  // all an 8-bit index reaches
constexpr int32_t kBitFields = 3;

inline uint32_t U32(const uint8_t *p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24; }
inline int32_t I32(const uint8_t *p) { return (int32_t)U32(p); }
inline int32_t I16(const uint8_t *p) { return (int16_t)(p[0] | (p[1] << 8)); }

// Bit fields that lay out a 32-bit pixel exactly as an uncompressed one: B, G, R
// and alpha (or nothing) in the fourth byte. The masks follow a 40-byte header and
// are part of the larger ones; only those of 56 bytes and more carry an alpha mask.
// Without one the fourth byte is padding, whatever the encoder left in it, and
// *opaque says so.
bool StandardMasks(const uint8_t *data, int32_t size, int32_t infoSize, bool *opaque) {
  const uint8_t *m = data + kMinHeaders;
  if (size < kMinHeaders + (infoSize >= 56 ? 16 : 12)) return false;
  const uint32_t alpha = infoSize >= 56 ? U32(m + 12) : 0;
  *opaque = alpha == 0;
  return U32(m) == 0x00FF0000 && U32(m + 4) == 0x0000FF00 && U32(m + 8) == 0x000000FF &&
         (alpha == 0 || alpha == 0xFF000000);
}

txBitmap *Fail(int32_t code, txBitmap *bitmap, const char *why) {
  txRelease(bitmap);
  TX_FAIL(code, "[TL][bmp]", "%s (%s)", why, txSettings.currentName ? txSettings.currentName : "-");
  return nullptr;
}

}  // namespace

int64_t bmpHeadBytes(const uint8_t *head) {
  // Headers, masks and colour table all lie before the pixel data.
  const int64_t offset = U32(head + 10);
  return std::max<int64_t>(offset, kMinHeaders + 16);
}

bool bmpSides(const uint8_t *head, int64_t bytes, int64_t, int64_t &width, int64_t &height) {
  // Info headers of 40 bytes and more; a negative height is a top-down file of as
  // many rows, and the most negative one has no such count.
  if (bytes < kMinHeaders || I32(head + 14) < kInfoHeader || I32(head + 22) == INT32_MIN) return false;
  width = I32(head + 18);
  height = I32(head + 22);
  if (height < 0) height = -height;
  return true;
}

extern "C" {

int32_t bmpCheck(const uint8_t *d) { return d[0] == 'B' && d[1] == 'M' ? 0 : 1000; }

txBitmap *bmpRead(const uint8_t *data, int32_t size) {
  if (!data || size < kFileHeader + 4) return Fail(1002, nullptr, "header truncated");
  // The header size tells the layout; the core header (16-bit sides, bit count at 24)
  // and the short OS/2 headers are valid files of a kind not read here, and no header
  // is shorter than 12 bytes.
  const int32_t infoSize = I32(data + 14);
  if (infoSize < kCoreHeader) return Fail(1002, nullptr, "bad info header size");
  if (infoSize < kInfoHeader)
    return Fail(1000, nullptr,
                infoSize == kCoreHeader ? "12-byte core header not read" : "info header shorter than 40 bytes not read");
  if (size < kMinHeaders) return Fail(1002, nullptr, "header truncated");
  const int32_t dataOffset = I32(data + 10);
  const bool topDown = I32(data + 22) < 0;
  const int32_t bits = I16(data + 28);
  const int32_t compression = I32(data + 30);
  const uint32_t colorsUsed = U32(data + 46);
  if (bits < 8 || bits == 16) return Fail(1004, nullptr, "unsupported depth");
  if (bits != 8 && bits != 24 && bits != 32) return Fail(1004, nullptr, "unsupported depth");
  // A 40-byte info header is followed by the three masks of a bit-field file.
  const int32_t maskEnd = kMinHeaders + (infoSize == 40 && compression == kBitFields ? 12 : 0);
  bool opaque = false;
  if (compression == kBitFields) {
    if (bits != 32 || !StandardMasks(data, size, infoSize, &opaque))
      return Fail(1000, nullptr, "bit fields other than 8-bit B,G,R(,A)");
  } else if (compression != 0) {
    return Fail(1000, nullptr, "compressed bitmap");
  }
  int64_t sideX, sideY;
  if (!bmpSides(data, size, size, sideX, sideY)) return Fail(1000, nullptr, "bad height");
  const int32_t width = (int32_t)sideX, height = (int32_t)sideY;
  if (txPictureBytes(width, height, bits) < 0) return Fail(1000, nullptr, "bad size");
  const int32_t headerEnd = infoSize <= size - kFileHeader ? std::max(kFileHeader + infoSize, maskEnd) : maskEnd;
  if (dataOffset < headerEnd || dataOffset > size) return Fail(1002, nullptr, "pixel data offset outside the file");
  // Rows are padded to 4 bytes; the last one need not be. Sides below 2^31 and 32
  // bits keep every count within 64 bits.
  const uint64_t fullRow = (uint64_t)txPictureBytes(width, 1, bits);
  const uint64_t stride = (fullRow + 3) & ~(uint64_t)3;
  uint64_t span, end;
  if (!korv::SizeProduct({stride, (uint64_t)height - 1}, (uint64_t)size, span) ||
      !korv::SizeSum(span, fullRow, (uint64_t)size, span) ||
      !korv::SizeSum((uint64_t)dataOffset, span, (uint64_t)size, end))
    return Fail(1002, nullptr, "data past the end");
  const int32_t bytes = txImageBytes(width, height, bits);
  const int32_t rowBytes = txRowBytes(width, bits);
  if (bytes < 0 || rowBytes < 0) return TX_REFUSE_RAW("[TL][bmp]", width, height, bits), nullptr;

  // Colour table of an 8-bit file: a count of 0 means all 2^8 entries (what most
  // writers store), a larger count than 256 cannot be indexed. Only the entries that
  // lie before the pixel data are taken; with none there the indices are grey levels.
  int64_t entries = 0;
  if (bits == 8) {
    const int64_t wanted = colorsUsed == 0 ? kMaxEntries : std::min<int64_t>(colorsUsed, kMaxEntries);
    entries = std::min<int64_t>(wanted, (dataOffset - headerEnd) / 4);
  }

  txBitmap *b = (txBitmap *)SYS_MemGet(sizeof(txBitmap), "bmpRead: struct");
  if (!b) return Fail(5, nullptr, "no memory");
  b->width = width;
  b->height = height;
  b->bits = bits;
  b->levels = 1;
  b->type = TX_TYPE_BGR;
  b->imagesize[0] = bytes;
  b->subtype = bits == 8 ? (entries > 0 ? TX_SUB_PALETTE : TX_SUB_GREY) : bits == 24 ? TX_SUB_COLOR : TX_SUB_ALPHA;
  TX_LOG("[TL][bmp]", "BMP: %s\n", txSettings.currentName ? txSettings.currentName : "-");
  TX_LOG("[TL][bmp]", " size: %dx%d bits: %d\n", width, height, bits);
  TX_LOG("[TL][bmp]", " clr used: %d\n", (int32_t)colorsUsed);
  TX_LOG("[TL][bmp]", " compression: %d\n", compression);
  TX_LOG("[TL][bmp]", " imagesize[0]: %lu\n", (unsigned long)bytes);

  if (entries > 0) {
    // The entries as stored (B,G,R,0) in a table of 256, so that any index stays
    // inside it; entries the file does not hold are black.
    b->palette = (uint8_t *)SYS_MemGet(kMaxEntries * 4, "bmpRead: palette");
    if (!b->palette) return Fail(5, b, "no memory");
    std::memcpy(b->palette, data + headerEnd, (size_t)entries * 4);
  }
  b->image[0] = txAdoptRows(data, dataOffset, (int64_t)stride, rowBytes, height, !topDown);
  if (!b->image[0]) {
    b->image[0] = (uint8_t *)SYS_MemGet(bytes, "bmpRead: bitmap");
    if (!b->image[0]) return Fail(5, b, "no memory");
    // Top row first: a bottom-up file's last stored row is row 0 of the bitmap.
    for (int32_t j = 0; j < height; ++j) {
      int32_t fileRow = topDown ? j : height - 1 - j;
      std::memcpy(b->image[0] + (size_t)j * rowBytes, data + dataOffset + (size_t)fileRow * stride, (size_t)rowBytes);
    }
  }
  if (opaque)
    for (int32_t i = 3; i < bytes; i += 4) b->image[0][i] = 255;
  return b;
}

const tx_filter_t txBmpFilter = {
    TX_FMT_BMP, "tarvo!korvadyne's BMP input filter", "Windows bitmap (BMP)", bmpCheck, bmpRead, nullptr, {0, 0},
};

}  // extern "C"
