// DDS input filter (id 4): DXT1, DXT3 and DXT5 surfaces with their mipmap levels,
// and the software S3TC decoders that it shares with the TQX filter.
//
// A level either stays as its DXT blocks (type 5, for a compressed GL upload) when
// the caller allowed that format, or is decoded to R,G,B(,A) pixels (type 1). The
// quality setting drops the largest one or two levels instead of shrinking. Every
// level is checked against the bytes the file has before it is copied or decoded;
// the level chain ends at 1x1 whatever the header claims, and other pixel formats
// are refused rather than passed on as blocks nobody can size.
// Depends on: base (tracked memory, log), the loader's settings.

#include <algorithm>
#include <cstring>

#include "media/texture/TL_private.h"

namespace {

constexpr int32_t kHeader = 128;
constexpr uint32_t kFlagDepth = 0x800000;    // header flags (offset 8): the depth field is set
constexpr uint32_t kCaps2Volume = 0x200000;  // caps2 (offset 112): a volume texture

inline uint32_t U32(const uint8_t *p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
inline int32_t I32(const uint8_t *p) { return (int32_t)U32(p); }

txBitmap *Fail(int32_t code, txBitmap *bitmap, const char *why) {
  txRelease(bitmap);
  TX_FAIL(code, "[TL][dds]", "%s (%s)", why, txSettings.currentName ? txSettings.currentName : "-");
  return nullptr;
}

// The four colours of a block as R,G,B,A; DXT1 switches to three colours when
// c0 <= c1. The low bits of the expanded 5:6:5 channels stay 0.
void BlockColours(const uint8_t *blk, bool dxt1, uint8_t pal[4][4]) {
  const uint32_t c0 = blk[0] | blk[1] << 8, c1 = blk[2] | blk[3] << 8;
  const uint32_t e[2][3] = {{(c0 >> 11) << 3, ((c0 >> 5) & 63) << 2, (c0 & 31) << 3},
                            {(c1 >> 11) << 3, ((c1 >> 5) & 63) << 2, (c1 & 31) << 3}};
  const bool four = !dxt1 || c0 > c1;
  for (int c = 0; c < 3; ++c) {
    pal[0][c] = (uint8_t)e[0][c];
    pal[1][c] = (uint8_t)e[1][c];
    pal[2][c] = (uint8_t)(four ? (2 * e[0][c] + e[1][c] + 1) / 3 : (e[0][c] + e[1][c]) / 2);
    pal[3][c] = (uint8_t)((e[0][c] + 2 * e[1][c] + 1) / 3);
  }
  pal[0][3] = pal[1][3] = pal[2][3] = 255;
  pal[3][3] = four ? 255 : 0;
}

// Alpha of the 16 texels of a DXT3 or DXT5 block, row by row.
void Dxt3Alpha(const uint8_t *blk, uint8_t alpha[16]) {
  for (int i = 0; i < 16; ++i) alpha[i] = (uint8_t)(((blk[i / 2] >> (4 * (i & 1))) & 15) * 17);
}

void Dxt5Alpha(const uint8_t *blk, uint8_t alpha[16]) {
  const uint32_t a0 = blk[0], a1 = blk[1];
  uint8_t table[8] = {(uint8_t)a0, (uint8_t)a1};
  if (a0 > a1) {
    for (uint32_t k = 2; k < 8; ++k) table[k] = (uint8_t)(((8 - k) * a0 + (k - 1) * a1 + 3) / 7);
  } else {
    for (uint32_t k = 2; k < 6; ++k) table[k] = (uint8_t)(((6 - k) * a0 + (k - 1) * a1 + 2) / 5);
    table[6] = 0;
    table[7] = 255;
  }
  uint64_t bits = 0;
  for (int i = 0; i < 6; ++i) bits |= (uint64_t)blk[2 + i] << (8 * i);
  for (int i = 0; i < 16; ++i) alpha[i] = table[(bits >> (3 * i)) & 7];
}

// Walks the blocks of a level and writes the texels inside width x height. kind is
// 1, 3 or 5; DXT3 and DXT5 blocks hold 8 bytes of alpha in front of the colours.
void Decode(const uint8_t *blocks, uint8_t *out, int32_t width, int32_t height, int32_t bits, int kind) {
  const int32_t bpp = bits / 8;
  if (!blocks || !out || width <= 0 || height <= 0 || (bpp != 3 && bpp != 4)) return;
  const int32_t blockBytes = kind == 1 ? 8 : 16;
  const int32_t bw = (width + 3) / 4, bh = (height + 3) / 4;
  uint8_t pal[4][4], alpha[16];
  for (int32_t by = 0; by < bh; ++by)
    for (int32_t bx = 0; bx < bw; ++bx) {
      const uint8_t *blk = blocks + ((size_t)by * bw + bx) * blockBytes;
      const uint8_t *colour = kind == 1 ? blk : blk + 8;
      BlockColours(colour, kind == 1, pal);
      if (kind == 3) Dxt3Alpha(blk, alpha);
      if (kind == 5) Dxt5Alpha(blk, alpha);
      for (int32_t row = 0; row < 4; ++row) {
        const int32_t y = by * 4 + row;
        if (y >= height) break;
        const uint8_t indices = colour[4 + row];
        for (int32_t col = 0; col < 4; ++col) {
          const int32_t x = bx * 4 + col;
          if (x >= width) break;
          const uint8_t *c = pal[(indices >> (2 * col)) & 3];
          uint8_t *p = out + ((size_t)y * width + x) * bpp;
          p[0] = c[0];
          p[1] = c[1];
          p[2] = c[2];
          if (bpp == 4) p[3] = kind == 1 ? c[3] : alpha[row * 4 + col];
        }
      }
    }
}

constexpr txDxtKind_t kKinds[3] = {
    {"DXT1", 8, TX_DXT1, 24, TX_SUB_COLOR, dxt1Decompress},
    {"DXT3", 16, TX_DXT3, 32, TX_SUB_ALPHA, dxt3Decompress},
    {"DXT5", 16, TX_DXT5, 32, TX_SUB_ALPHA, dxt5Decompress},
};

// Levels of the chain from w x h down to 1x1.
int32_t ChainLength(int32_t w, int32_t h) {
  int32_t n = 1;
  for (int32_t s = std::max(w, h); s > 1; s >>= 1) ++n;
  return n;
}

}  // namespace

const txDxtKind_t *txDxtKind(const uint8_t *fourcc, int32_t *index) {
  for (int32_t i = 0; i < 3; ++i)
    if (std::memcmp(fourcc, kKinds[i].fourcc, 4) == 0) {
      if (index) *index = i;
      return &kKinds[i];
    }
  return nullptr;
}

int32_t txQualitySkip(int32_t levels) {
  if (levels <= 1) return 0;
  const int32_t skip = txSettings.quality == 1 ? 1 : txSettings.quality == 2 ? 2 : 0;
  return std::min(skip, levels - 1);  // the smallest level always stays
}

namespace {

// The header's kind, sides and the levels read (the chain ends at 1x1 whatever the
// header claims), and those the quality setting skips; false when the header is
// short, the kind is none of the three or a side is not positive.
struct Header {
  const txDxtKind_t *kind;
  int32_t slot, width, height, mipmaps, levels, skip;
};

bool ReadHeader(const uint8_t *data, int64_t size, Header &h) {
  if (size < kHeader) return false;
  h.height = I32(data + 12);
  h.width = I32(data + 16);
  h.mipmaps = std::max(I32(data + 28), 1);
  h.slot = 0;
  h.kind = txDxtKind(data + 84, &h.slot);
  if (!h.kind || h.width <= 0 || h.height <= 0) return false;
  h.levels = std::min({h.mipmaps, (int32_t)TX_MAX_LEVELS, ChainLength(h.width, h.height)});
  h.skip = txQualitySkip(h.levels);
  return true;
}

}  // namespace

bool ddsSides(const uint8_t *head, int64_t bytes, int64_t, int64_t &width, int64_t &height) {
  Header h;
  if (!ReadHeader(head, bytes, h)) return false;
  width = txLevelSide(h.width, h.skip);
  height = txLevelSide(h.height, h.skip);
  return true;
}

extern "C" {

void dxt1Decompress(const uint8_t *blocks, uint8_t *output, int32_t width, int32_t height, int32_t bits) {
  SYS_DbgPrintf(1, "[TL][dds][%s:%d:%s()] wxh %dx%d\n", SYS_POS, width, height);
  SYS_DbgPrintf(1, "[TL][dds][%s:%d:%s()] d: %d\n", SYS_POS, bits / 8);
  Decode(blocks, output, width, height, bits, 1);
}

void dxt3Decompress(const uint8_t *blocks, uint8_t *output, int32_t width, int32_t height, int32_t bits) {
  Decode(blocks, output, width, height, bits, 3);
}

void dxt5Decompress(const uint8_t *blocks, uint8_t *output, int32_t width, int32_t height, int32_t bits) {
  Decode(blocks, output, width, height, bits, 5);
}

int32_t ddsCheck(const uint8_t *d) { return std::memcmp(d, "DDS ", 4) == 0 ? 0 : 1000; }

txBitmap *ddsRead(const uint8_t *data, int32_t size) {
  if (!data || size < kHeader) return Fail(1002, nullptr, "header truncated");
  Header h{};
  const bool read = ReadHeader(data, size, h);
  const int32_t width = h.width, height = h.height, mipmaps = h.mipmaps, slot = h.slot;
  const txDxtKind_t *kind = h.kind;
  TX_LOG("[TL][dds]", "DDS: %s\n", txSettings.currentName ? txSettings.currentName : "-");
  TX_LOG("[TL][dds]", " size: %dx%d bits: %d (%s)\n", width, height, kind ? kind->bits : 0,
         kind ? kind->fourcc : "unknown");
  TX_LOG("[TL][dds]", " mipmap level: %d\n", mipmaps);
  TX_LOG("[TL][dds]", " size: %d\n", size - kHeader);
  if (!kind) return Fail(1000, nullptr, "pixel format is not DXT1, DXT3 or DXT5");
  if (!read) return Fail(1000, nullptr, "bad size");

  const int32_t levels = h.levels, skip = h.skip;
  const bool keep = txSettings.dxtAllowed[slot] != 0;
  TX_LOG("[TL][dds]", " decode: %s\n", keep ? "no" : "yes");

  txBitmap *b = (txBitmap *)SYS_MemGet(sizeof(txBitmap), "ddsRead: struct");
  if (!b) return Fail(5, nullptr, "no memory");
  b->type = keep ? TX_TYPE_COMPRESSED : TX_TYPE_RGB;
  b->subtype = keep ? kind->glFormat : kind->decodedSubtype;
  std::memcpy(b->fourcc, kind->fourcc, 4);
  b->width = txLevelSide(width, skip);
  b->height = txLevelSide(height, skip);
  b->bits = kind->bits;
  b->levels = levels - skip;

  // The one limit is the loader's: the levels kept or decoded are what a load may
  // hold, summed before any work. The blocks come from the file as they are, so its
  // size bounds the rest.
  uint64_t held = 0;
  bool fits = true;
  for (int32_t i = skip; i < levels && fits; ++i)
    fits = txHoldDxtLevel(held, txLevelSide(width, i), txLevelSide(height, i), kind->blockBytes, kind->bits, keep);
  if (!fits) {
    txRelease(b);
    TX_REFUSE_SIZE("[TL][dds]", width, height, "%d levels %s pass the %llu bytes a load may hold", levels - skip,
                   keep ? "kept" : "decoded", (unsigned long long)kTxMaxLoadBytes);
    return nullptr;
  }
  // A volume stores each level as its slices one after another, depth halving per
  // level down to 1; only the first slice of each level is read, the others are
  // stepped over. A cube map's first face holds its whole chain before the next
  // face, so it reads as a plain surface. Either mark (the depth flag or the volume
  // cap) makes the depth count: writers that set only one still store the slices.
  const bool volume = (U32(data + 112) & kCaps2Volume) || (U32(data + 8) & kFlagDepth);
  const uint64_t depth = volume ? std::max<uint32_t>(U32(data + 24), 1) : 1;
  // Where each level starts; every level must lie in the file before any is refused
  // for its size, as a claim the file cannot hold is damage.
  uint64_t starts[TX_MAX_LEVELS + 1] = {kHeader};
  for (int32_t i = 0; i < levels; ++i) {
    const uint64_t slices = std::max<uint64_t>(depth >> i, 1);
    const uint64_t w = (uint64_t)txLevelSide(width, i), h = (uint64_t)txLevelSide(height, i);
    uint64_t span;
    if (!korv::SizeProduct({(w + 3) / 4, (h + 3) / 4, (uint64_t)kind->blockBytes, slices}, (uint64_t)size, span) ||
        !korv::SizeSum(starts[i], span, (uint64_t)size, starts[i + 1]))
      return Fail(1002, b, "level data past the end");
  }
  for (int32_t i = 0; i < levels; ++i) {
    const int32_t w = txLevelSide(width, i), h = txLevelSide(height, i);
    const int64_t bytes = txDxtLevelBytes(w, h, kind->blockBytes);
    if (bytes < 0) {  // only a level skipped for quality gets here past the picture limit
      txRelease(b);
      TX_REFUSE_SIZE("[TL][dds]", width, height, "level %d passes the %llu bytes of the largest picture", i,
                     (unsigned long long)kTxMaxImageBytes);
      return nullptr;
    }
    const int32_t out = keep ? 0 : txDecodedLevelBytes(w, h, kind->bits);
    const uint8_t *src = data + starts[i];
    if (i < skip) continue;
    const int32_t at = i - skip;
    if (keep) {
      b->image[at] = (uint8_t *)SYS_MemGet(bytes, "ddsRead: bitmap (mipmap)");
      if (!b->image[at]) return Fail(5, b, "no memory");
      std::memcpy(b->image[at], src, (size_t)bytes);
      b->imagesize[at] = (int32_t)bytes;
    } else {
      b->image[at] = (uint8_t *)SYS_MemGet(out, "ddsRead: bitmap (mipmap, decompress)");
      if (!b->image[at]) return Fail(5, b, "no memory");
      kind->decompress(src, b->image[at], w, h, kind->bits);
      b->imagesize[at] = out;
    }
  }
  return b;
}

const tx_filter_t txDdsFilter = {
    TX_FMT_DDS, "tarvo!korvadyne's DDS input filter", "Windows DirectDrawSurface (DDS)", ddsCheck, ddsRead, nullptr,
    {0, 0},
};

}  // extern "C"
