// TQX filter (id 5; "DDZ " files read alike): the framework's container of DXT
// mipmap levels, each a compressed block or stored as it is.
//
// Layout: "TQX ", width and height (16-bit), the FourCC, the level count (16-bit),
// then per level an int32 n and |n| bytes: a compressed block when n > 0, the raw
// DXT blocks when n <= 0. The reader keeps the blocks (type 5) only when the format
// may stay compressed and the keep-compressed option is on, and decodes them
// otherwise; each level must hold exactly the blocks its size needs, so what goes
// to the GL or the decoder is never short. The writer takes the compressed levels
// of a DDS bitmap and stores a level raw when packing would not make it shorter.
// Depends on: base (compressed blocks, file layer, tracked memory, log), the S3TC
// decoders of _dds.cpp.

#include <algorithm>
#include <cstring>

#include "base/file.h"
#include "base/z.h"
#include "media/texture/TL_private.h"

namespace {

constexpr int32_t kHeader = 14;
// The one limit is the loader's: the levels kept or decoded, with the unpacked blocks
// of a level being decoded, are what a load may hold. A packed level may inflate at
// any ratio deflate gives (about 1032:1, the compressed blocks' own bound), so a small
// file can make the reader write up to that limit; the sides (at most 32767) and the
// block sizes are the format's.

inline int32_t I16(const uint8_t *p) { return (int16_t)(p[0] | (p[1] << 8)); }
inline int32_t I32(const uint8_t *p) {
  return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24);
}

txBitmap *Fail(int32_t code, txBitmap *bitmap, const char *why) {
  txRelease(bitmap);
  TX_FAIL(code, "[TL][ddz]", "%s (%s)", why, txSettings.currentName ? txSettings.currentName : "-");
  return nullptr;
}

int32_t WriteFail(int32_t code, SYS_File_t *file, void *block, const char *why, const char *path) {
  if (block) SYS_MemFree(&block);
  if (file) SYS_FileClose(file);
  TX_FAIL(code, "[TL][ddz]", "%s (%s)", why, path ? path : "-");
  return -1;
}

// The header's kind, sides and level count, and the levels the quality setting
// skips; false when the header is short or the kind, a side or the count is not one
// the reader takes.
struct Header {
  const txDxtKind_t *kind;
  int32_t slot, width, height, levels, skip;
};

bool ReadHeader(const uint8_t *data, int64_t size, Header &h) {
  if (size < kHeader) return false;
  h.width = I16(data + 4);
  h.height = I16(data + 6);
  h.levels = I16(data + 12);
  h.slot = 0;
  h.kind = txDxtKind(data + 8, &h.slot);
  if (!h.kind || h.width <= 0 || h.height <= 0 || h.levels < 1 || h.levels > TX_MAX_LEVELS) return false;
  h.skip = txQualitySkip(h.levels);
  return true;
}

}  // namespace

bool ddzSides(const uint8_t *head, int64_t bytes, int64_t, int64_t &width, int64_t &height) {
  Header h;
  if (!ReadHeader(head, bytes, h)) return false;
  width = txLevelSide(h.width, h.skip);
  height = txLevelSide(h.height, h.skip);
  return true;
}

extern "C" {

int32_t ddzCheck(const uint8_t *d) {
  if (std::memcmp(d, "DDZ ", 4) == 0 || std::memcmp(d, "TQX ", 4) == 0) return 0;
  errSetLastError(1000);
  return -1;
}

txBitmap *ddzRead(const uint8_t *data, int32_t size) {
  if (!data || size < kHeader) return Fail(1002, nullptr, "header truncated");
  Header h{};
  ReadHeader(data, size, h);  // what it does not take is refused below, one reason at a time
  const int32_t width = h.width, height = h.height, fileLevels = h.levels, slot = h.slot;
  const txDxtKind_t *kind = h.kind;
  TX_LOG("[TL][ddz]", "DDZ: %s\n", txSettings.currentName ? txSettings.currentName : "-");
  TX_LOG("[TL][ddz]", " size: %dx%d bits: %d (%s)\n", width, height, kind ? kind->bits : 0,
         kind ? kind->fourcc : "unknown");
  TX_LOG("[TL][ddz]", " mipmap level: %d\n", fileLevels);
  TX_LOG("[TL][ddz]", " size: %d\n", size - kHeader);
  if (!kind) return Fail(1000, nullptr, "pixel format is not DXT1, DXT3 or DXT5");
  if (width <= 0 || height <= 0) return Fail(1000, nullptr, "bad size");
  if (fileLevels < 1 || fileLevels > TX_MAX_LEVELS) return Fail(1000, nullptr, "bad level count");

  const int32_t levels = fileLevels;
  const int32_t skip = h.skip;
  const bool keep = txSettings.dxtAllowed[slot] != 0 && txSettings.keepCompressed != 0;
  TX_LOG("[TL][ddz]", " decode: %s\n", keep ? "no" : "yes");

  txBitmap *b = (txBitmap *)SYS_MemGet(sizeof(txBitmap), "ddsRead: struct");
  if (!b) return Fail(5, nullptr, "no memory");
  b->type = keep ? TX_TYPE_COMPRESSED : TX_TYPE_RGB;
  b->subtype = keep ? kind->glFormat : kind->decodedSubtype;
  b->width = txLevelSide(width, skip);
  b->height = txLevelSide(height, skip);
  b->bits = kind->bits;
  b->levels = levels - skip;

  // What the load will hold, before any work: the levels kept or decoded and, while a
  // packed level decodes, its unpacked blocks beside them. Records past the end are
  // left to the reading below.
  uint64_t held = 0, unpacked = 0;
  bool fits = true;
  for (int64_t i = 0, at = kHeader; i < levels && at + 4 <= size; ++i) {
    const int64_t n = I32(data + at);
    at += 4 + (n > 0 ? n : -n);
    if (i < skip) continue;
    const int32_t w = txLevelSide(width, (int32_t)i), h = txLevelSide(height, (int32_t)i);
    if (!(fits = txHoldDxtLevel(held, w, h, kind->blockBytes, kind->bits, keep))) break;
    if (!keep && n > 0) unpacked = std::max(unpacked, (uint64_t)txDxtLevelBytes(w, h, kind->blockBytes));
  }
  if (!fits || !txHold(held, unpacked)) {
    txRelease(b);
    TX_REFUSE_SIZE("[TL][ddz]", width, height, "%d levels %s pass the %llu bytes a load may hold", levels - skip,
                   keep ? "kept" : "decoded", (unsigned long long)kTxMaxLoadBytes);
    return nullptr;
  }

  int64_t pos = kHeader;
  for (int32_t i = 0; i < levels; ++i) {
    if (pos + 4 > size) return Fail(1002, b, "level record past the end");
    const int64_t n = I32(data + pos);
    const int64_t length = n > 0 ? n : -n;
    const uint8_t *record = data + pos + 4;
    if (!korv::SizeWithin((uint64_t)pos + 4, (uint64_t)length, (uint64_t)size))
      return Fail(1002, b, "level data past the end");
    pos += 4 + length;
    if (i < skip) continue;

    const int32_t w = txLevelSide(width, i), h = txLevelSide(height, i);
    const int64_t need = txDxtLevelBytes(w, h, kind->blockBytes);
    const int32_t out = keep ? 0 : txDecodedLevelBytes(w, h, kind->bits);
    uint8_t *blocks = nullptr;  // the unpacked level, when it had to be inflated
    const uint8_t *src = record;
    if (n > 0) {
      // The block says what it inflates to: refuse a wrong size before inflating.
      if (length >= SYS_ZHEADER_SIZE && SYS_ZHeaderRead(record).rawSize != (uint64_t)need)
        return Fail(1000, b, "level size differs from its dimensions");
      void *raw = nullptr;
      int32_t rawSize = 0;
      if (SYS_ZUncompressN(record, (int32_t)length, &raw, &rawSize) != 0) {
        const int32_t code = errGetLastError();
        return Fail(code ? code : 8, b, "level block does not inflate");
      }
      blocks = (uint8_t *)raw;
      src = blocks;
      if (rawSize != need) {
        SYS_MemFree(&blocks);
        return Fail(1000, b, "level size differs from its dimensions");
      }
    } else if (length != need) {
      return Fail(1000, b, "level size differs from its dimensions");
    }

    const int32_t at = i - skip;
    if (keep) {
      if (!blocks) {
        blocks = (uint8_t *)SYS_MemGet(need, "ddzRead: dec.nocomp.");
        if (!blocks) return Fail(5, b, "no memory");
        std::memcpy(blocks, src, (size_t)need);
      }
      b->image[at] = blocks;
      b->imagesize[at] = (int32_t)need;
      continue;
    }
    b->image[at] = (uint8_t *)SYS_MemGet(out, "ddzRead: bitmap (mipmap, decompress)");
    if (b->image[at]) {
      kind->decompress(src, b->image[at], w, h, kind->bits);
      b->imagesize[at] = out;
    }
    if (blocks) SYS_MemFree(&blocks);
    if (!b->image[at]) return Fail(5, b, "no memory");
  }
  return b;
}

int32_t ddzWrite(const char *path, txBitmap *b) {
  errClear();
  if (!b || b->format != TX_FMT_DDS) return TX_FAIL(1000, "[TL][ddz]", "not a DDS bitmap"), -1;
  int32_t slot = 0;
  const txDxtKind_t *kind = txDxtKind((const uint8_t *)b->fourcc, &slot);
  TX_LOG("[TL][ddz]", " write : %s\n", path ? path : "-");
  TX_LOG("[TL][ddz]", "  - size : %dx%d\n", b->width, b->height);
  TX_LOG("[TL][ddz]", "  - mipmap level: %d\n", b->levels);
  TX_LOG("[TL][ddz]", "  - fourcc : %s\n", kind ? kind->fourcc : "unknown");
  // Only blocks can be written: a DDS bitmap that the reader decoded holds pixels.
  if (!kind || b->type != TX_TYPE_COMPRESSED) return TX_FAIL(1000, "[TL][ddz]", "bitmap holds no DXT blocks"), -1;
  if (b->width <= 0 || b->height <= 0 || b->width > 0x7FFF || b->height > 0x7FFF || b->levels < 1 ||
      b->levels > TX_MAX_LEVELS)
    return TX_FAIL(1000, "[TL][ddz]", "cannot store %dx%d with %d levels", b->width, b->height, b->levels), -1;
  for (int32_t i = 0; i < b->levels; ++i)
    if (!b->image[i] || b->imagesize[i] != txDxtLevelBytes(txLevelSide(b->width, i), txLevelSide(b->height, i),
                                                           kind->blockBytes))
      return TX_FAIL(1000, "[TL][ddz]", "level %d does not hold its blocks", i), -1;

  SYS_File_t *file = SYS_FileOpen(path, 0x10);
  if (!file) return TX_FAIL(2, "[TL][ddz]", "cannot create %s", path ? path : "-"), -1;
  uint8_t header[kHeader] = {'T', 'Q', 'X', ' '};
  header[4] = (uint8_t)b->width;
  header[5] = (uint8_t)(b->width >> 8);
  header[6] = (uint8_t)b->height;
  header[7] = (uint8_t)(b->height >> 8);
  std::memcpy(header + 8, b->fourcc, 4);
  header[12] = (uint8_t)b->levels;
  header[13] = 0;
  if (SYS_FileWrite(file, header, kHeader) != 0) return WriteFail(2, file, nullptr, "write failed", path);

  int64_t written = 0, total = 0;
  for (int32_t i = 0; i < b->levels; ++i) {
    const int32_t bytes = b->imagesize[i];
    TX_LOG("[TL][ddz]", "  - level %d : ", i);
    void *block = nullptr;
    int32_t blockLength = 0;
    if (SYS_ZCompress(b->image[i], bytes, &block, &blockLength) != 0)
      return WriteFail(errGetLastError(), file, nullptr, "level does not compress", path);
    const bool packed = blockLength < bytes;
    const int32_t n = packed ? blockLength : -bytes;
    const uint8_t record[4] = {(uint8_t)n, (uint8_t)(n >> 8), (uint8_t)(n >> 16), (uint8_t)(n >> 24)};
    bool ok = SYS_FileWrite(file, record, 4) == 0 &&
              SYS_FileWrite(file, packed ? block : b->image[i], packed ? blockLength : bytes) == 0;
    if (!ok) return WriteFail(2, file, block, "write failed", path);
    SYS_MemFree(&block);
    // The rest of the "level" line, without a new prefix.
    if (txSettings.verbose && packed)
      SYS_DbgPrintf(0, "%d -> %d (%.2f%%)\n", bytes, blockLength, (double)blockLength / bytes * 100.0);
    else if (txSettings.verbose)
      SYS_DbgPrintf(0, "not compressed\n");
    written += packed ? blockLength : bytes;
    total += bytes;
  }
  TX_LOG("[TL][ddz]", "  - compressed : %.2f%%\n", total ? (double)written / (double)total * 100.0 : 0.0);
  SYS_FileClose(file);
  return 0;
}

const tx_filter_t txDdzFilter = {
    TX_FMT_TQX, "tarvo!korvadyne's TQX filter", "Z packed DDS (TQX)", ddzCheck, ddzRead, ddzWrite, {0, 0},
};

}  // extern "C"
