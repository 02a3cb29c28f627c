// TGA filter (id 0): uncompressed true-colour, grey and 8-bit colour-mapped images
// in, true-colour and grey images out.
//
// TGA has no magic number: the check matches the colour-map and image-type bytes of
// the three uncompressed kinds, which is why the loader probes it after the formats
// that have a real signature. Every header value is checked against the bytes the
// file has before anything is allocated; run-length-encoded files are not claimed.
// Depends on: base (file layer, tracked memory, log, sizes), converters (txExpandPalette,
// txSwapRB).

#include <cstring>

#include "base/file.h"
#include "media/texture/TL_private.h"

namespace {

constexpr int32_t kHeader = 18;
constexpr const char *kComment = "Created by tarvo!korvadyne's TGA output filter. v0.3";

inline int32_t U16(const uint8_t *p) { return p[0] | (p[1] << 8); }

txBitmap *Fail(int32_t code, txBitmap *bitmap, const char *why) {
  txRelease(bitmap);
  TX_FAIL(code, "[TL][tga]", "%s (%s)", why, txSettings.currentName ? txSettings.currentName : "-");
  return nullptr;
}

}  // namespace

int64_t tgaHeadBytes(const uint8_t *head) {
  // Header and ID field; a colour-mapped image reads its indices itself, unless they
  // would widen past the picture limit, which the header alone refuses.
  const int64_t mapLength = U16(head + 5);
  if (mapLength == 0) return kHeader + head[0];
  int64_t width = 0, height = 0;
  tgaSides(head, kTxHead, kTxHead, width, height);
  const int64_t widened = txPictureBytes(width, height, 24);
  return widened > (int64_t)kTxMaxImageBytes ? kHeader + head[0] + 3 * mapLength : 0;
}

bool tgaSides(const uint8_t *head, int64_t bytes, int64_t, int64_t &width, int64_t &height) {
  if (bytes < kHeader) return false;
  width = U16(head + 12);
  height = U16(head + 14);
  return true;
}

extern "C" {

int32_t tgaCheck(const uint8_t *d) {
  static constexpr uint8_t kTrue[7] = {0, 2, 0, 0, 0, 0, 0};
  static constexpr uint8_t kGrey[7] = {0, 3, 0, 0, 0, 0, 0};
  static constexpr uint8_t kMapped[5] = {1, 1, 0, 0, 0};
  if (std::memcmp(d + 1, kTrue, 7) == 0 || std::memcmp(d + 1, kGrey, 7) == 0 || std::memcmp(d + 1, kMapped, 5) == 0)
    return 0;
  return 1000;
}

txBitmap *tgaRead(const uint8_t *data, int32_t size) {
  int64_t sideX, sideY;
  if (!data || !tgaSides(data, size, size, sideX, sideY)) return Fail(1002, nullptr, "header truncated");
  const int32_t idLength = data[0];
  const int32_t mapLength = U16(data + 5);
  const int32_t mapEntryBits = data[7];
  const int32_t width = (int32_t)sideX, height = (int32_t)sideY;  // 16 bits each
  const int32_t bits = data[16];
  const bool topDown = data[17] & 0x20;
  if (width == 0 || height == 0) return Fail(1000, nullptr, "empty image");

  txBitmap *b = (txBitmap *)SYS_MemGet(sizeof(txBitmap), "tgaRead: struct");
  if (!b) return Fail(5, nullptr, "no memory");
  b->width = width;
  b->height = height;
  b->bits = bits;
  b->type = TX_TYPE_BGR;
  b->levels = 1;
  int64_t start = kHeader + idLength;

  if (mapLength != 0) {
    // The palette holds 256 entries; an 8-bit index cannot address more.
    if (bits != 8) return Fail(1000, b, "colour-mapped image is not 8 bits");
    if (mapLength > 256) return Fail(1000, b, "colour map larger than 256 entries");
    if (mapEntryBits != 24) return Fail(1000, b, "colour map entries are not 24 bits");
    // Sides of 16 bits: neither count can fail or pass 64 bits.
    const int64_t pixels = txPictureBytes(width, height, 8);
    if (!korv::SizeWithin((uint64_t)start + (uint64_t)mapLength * 3, (uint64_t)pixels, (uint64_t)size))
      return Fail(1002, b, "data past the end");
    const int32_t outBytes = txImageBytes(width, height, 24);
    if (outBytes < 0) {
      txRelease(b);
      return TX_REFUSE_RAW("[TL][tga]", width, height, 24), nullptr;
    }
    uint8_t *palette = (uint8_t *)SYS_MemGet(1024, "tgaRead: palette");
    if (!palette) return Fail(5, b, "no memory");
    const uint8_t *map = data + start;
    for (int32_t i = 0; i < mapLength; ++i) {
      palette[4 * i + 0] = map[3 * i + 2];
      palette[4 * i + 1] = map[3 * i + 1];
      palette[4 * i + 2] = map[3 * i + 0];
    }
    start += (int64_t)mapLength * 3;
    b->image[0] = (uint8_t *)SYS_MemGet(outBytes, "tgaRead: bitmap");
    if (!b->image[0]) {
      SYS_MemFree(&palette);
      return Fail(5, b, "no memory");
    }
    txExpandPalette(data + start, b->image[0], (int32_t)pixels, palette);
    SYS_MemFree(&palette);
    // The expansion writes R,G,B; the record says so, so that the loader's byte-order
    // step delivers what the caller asked for.
    b->type = TX_TYPE_RGB;
    b->bits = 24;
    b->subtype = TX_SUB_COLOR;
    b->imagesize[0] = outBytes;
  } else {
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return Fail(1000, b, "unsupported depth");
    if (!korv::SizeWithin((uint64_t)start, (uint64_t)txPictureBytes(width, height, bits), (uint64_t)size))
      return Fail(1002, b, "data past the end");
    const int32_t bytes = txImageBytes(width, height, bits);
    const int32_t rowBytes = txRowBytes(width, bits);
    if (bytes < 0 || rowBytes < 0) {
      txRelease(b);
      return TX_REFUSE_RAW("[TL][tga]", width, height, bits), nullptr;
    }
    b->subtype = bits == 8 ? TX_SUB_GREY : bits == 24 ? TX_SUB_COLOR : bits == 32 ? TX_SUB_ALPHA : TX_SUB_OTHER;
    b->imagesize[0] = bytes;
    b->image[0] = txAdoptRows(data, start, rowBytes, rowBytes, height, !topDown);
    if (b->image[0]) return b;
    b->image[0] = (uint8_t *)SYS_MemGet(bytes, "tgaRead: bitmap");
    if (!b->image[0]) return Fail(5, b, "no memory");
    std::memcpy(b->image[0], data + start, (size_t)bytes);
  }
  if (!topDown) txReverseRows(b->image[0], txRowBytes(width, b->bits), height);
  return b;
}

int32_t tgaWrite(const char *path, txBitmap *b) {
  errClear();
  if (!b) return TX_FAIL(1005, "[TL][tga]", "no bitmap"), -1;
  SYS_DbgPrintf(1, "[TL][tga][%s:%d:%s()] %s: %d\n", SYS_POS, "smp->type", b->type);
  SYS_DbgPrintf(1, "[TL][tga][%s:%d:%s()] %s: %d\n", SYS_POS, "smp->subtype", b->subtype);
  if ((b->type != 0 && b->type != 1) || b->subtype < 0 || b->subtype > 3)
    return TX_FAIL(1005, "[TL][tga]", "cannot write type %d subtype %d", b->type, b->subtype), -1;
  const int32_t bytes = txImageBytes(b->width, b->height, b->bits);
  if ((b->bits != 8 && b->bits != 24 && b->bits != 32) || b->width > 0xFFFF || b->height > 0xFFFF || bytes < 0 ||
      !b->image[0] || b->imagesize[0] < bytes)
    return TX_FAIL(1005, "[TL][tga]", "no %dx%d %d-bit level to write", b->width, b->height, b->bits), -1;

  uint8_t header[kHeader] = {};
  header[0] = (uint8_t)std::strlen(kComment);
  header[2] = b->subtype == TX_SUB_GREY ? 3 : 2;
  header[12] = (uint8_t)b->width;
  header[13] = (uint8_t)(b->width >> 8);
  header[14] = (uint8_t)b->height;
  header[15] = (uint8_t)(b->height >> 8);
  header[16] = (uint8_t)b->bits;
  header[17] = 0x20;

  SYS_File_t *file = SYS_FileOpen(path, 0x10);
  if (!file) return TX_FAIL(2, "[TL][tga]", "cannot create %s", path ? path : "-"), -1;
  TX_LOG("[TL][tga]", "filename (write): %s\n", path);
  TX_LOG("[TL][tga]", " size: %dx%d\n", b->width, b->height);
  TX_LOG("[TL][tga]", " bits: %d\n", b->bits);
  TX_LOG("[TL][tga]", " imagesize[0]: %u\n", (unsigned)b->imagesize[0]);
  TX_LOG("[TL][tga]", " comment: %s\n", kComment);

  // The file holds B,G,R; an R,G,B bitmap is swapped for the write and back after.
  const bool swap = b->subtype == TX_SUB_RGB;
  if (swap) txSwapRB(b);
  bool ok = SYS_FileWrite(file, header, kHeader) == 0 && SYS_FileWrite(file, kComment, header[0]) == 0 &&
            SYS_FileWrite(file, b->image[0], bytes) == 0;
  if (swap) txSwapRB(b);
  SYS_FileClose(file);
  if (!ok) return TX_FAIL(2, "[TL][tga]", "write failed: %s", path), -1;
  return 0;
}

const tx_filter_t txTgaFilter = {
    TX_FMT_TGA, "tarvo!korvadyne's TGA filter", "Targa (TGA)", tgaCheck, tgaRead, tgaWrite,
    {(intptr_t) "Created by tarvo!korvadyne's TGA output filter. v0.3", 0},
};

}  // extern "C"
