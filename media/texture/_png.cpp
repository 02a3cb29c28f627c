// PNG filter (id 3) over libpng: decoding from the loader's buffer, encoding into a
// file of the framework file layer.
//
// Samples arrive as stored (16-bit ones stay 16-bit, big-endian; palette images stay
// indices) except that sub-byte depths are widened to one byte per sample (here, not
// by libpng), so every bitmap has whole bytes per pixel and rows without gaps. The
// reader pushes the data through libpng's progressive reader, which hands over each
// row as it inflates and stops inflating once the picture's rows are complete: the
// sequential reader inflated whatever compressed data followed them, to drop it, at
// about 1000 bytes out for each byte in. libpng reports errors by longjmp: the error
// handler jumps back into the reader or writer, which frees what it holds and fails
// with an error code; nothing is read past the data's size, and no image is allocated
// larger than its compressed data could possibly inflate to or than one load may hold
// (below), nor are libpng's own rows: they are counted at the header, and libpng
// allocates through a counter that refuses what the load cannot hold.
// Depends on: libpng, base (file layer, tracked memory, log).

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/file.h"
#include "media/texture/TL_private.h"

namespace {

// Limits. Deflate cannot inflate beyond about 1032:1, so rows as stored that need
// more than that of the file cannot be there (the slack covers tiny images); past
// that, one picture of what a load may hold, whatever the file's size: a flat picture
// costs little more than writing its bytes. The sides are libpng's, up to 2^31 - 1,
// not its default cap of a million.
constexpr uint64_t kMaxInflate = 1032;
constexpr uint64_t kInflateSlack = 1 << 16;

// Beside the picture (at most kTxMaxLoadBytes) a load holds libpng's two rows as
// stored. These get 1 MiB on top of the picture's limit: the widest real texture,
// 16384 pixels of RGBA at 16 bits, needs 2 x 131129 = 262258 bytes of them, so every
// picture within the limit and up to that width loads, while a one-row picture of
// gigantic width, whose rows are twice the picture, is refused at its header.
constexpr uint64_t kPngRowAllowance = 1 << 20;
constexpr uint64_t kPngMaxHold = kTxMaxLoadBytes + kPngRowAllowance;
// What libpng allocates that the header does not count (its structures, zlib's state
// and window: tens of KB) may add this much; its allocator refuses
// anything past kPngMaxHold plus this, whatever the header arithmetic said.
constexpr uint64_t kPngLibSlack = 1 << 20;

// Bytes of the two rows libpng allocates when reading starts (png_read_start_row):
// each holds the stored bits of the width rounded up to 8 pixels, a filter byte, one
// more pixel and 48 bytes. False past the limit.
bool LibpngRows(uint64_t width, uint64_t pixelBits, uint64_t &bytes) {
  uint64_t bits = 0;
  if (!korv::SizeProduct({(width + 7) & ~(uint64_t)7, pixelBits}, UINT64_MAX, bits)) return false;
  return korv::SizeProduct({2, (bits + 7) / 8 + 1 + (pixelBits + 7) / 8 + 48}, kPngMaxHold, bytes);
}

// Whether the image data as stored fit what size bytes of file can inflate to: each
// row of the image (or of each Adam7 pass) is a filter byte and its samples packed
// at pixelBits, before any widening. A 1-bit page compresses far beyond 1032:1
// measured in widened bytes, but never in stored ones.
bool StoredDataFits(png_uint_32 width, png_uint_32 height, uint64_t pixelBits, bool interlaced, int32_t size) {
  uint64_t limit = 0, total = 0;
  if (!korv::SizeProduct({(uint64_t)size, kMaxInflate}, UINT64_MAX, limit) ||
      !korv::SizeSum(limit, kInflateSlack, UINT64_MAX, limit))
    return false;
  for (int pass = 0; pass < (interlaced ? 7 : 1); ++pass) {
    const uint64_t w = interlaced ? PNG_PASS_COLS(width, pass) : width;
    const uint64_t h = interlaced ? PNG_PASS_ROWS(height, pass) : height;
    if (w == 0 || h == 0) continue;  // an empty pass stores no rows at all
    uint64_t rowBits = 0, passBytes = 0;
    if (!korv::SizeProduct({w, pixelBits}, UINT64_MAX, rowBits) ||
        !korv::SizeProduct({(rowBits + 7) / 8 + 1, h}, limit, passBytes) ||
        !korv::SizeSum(total, passBytes, limit, total))
      return false;
  }
  return true;
}

// Widening of packed samples (1, 2 or 4 bits) to a byte each, a table lookup a
// packed byte: libpng's own transform goes sample by sample, and with interlacing
// combines each pass into the widened rows, several times the work. Grey scales to
// 0..255 as libpng does (v x 255 / (2^depth - 1)); palette indices stay as they are.
struct Widening {
  int perByte;
  uint8_t table[256][8];
};

void MakeWidening(Widening &w, int depth, bool grey) {
  const unsigned mask = (1u << depth) - 1, scale = grey ? 255 / mask : 1;
  w.perByte = 8 / depth;
  for (unsigned b = 0; b < 256; ++b)
    for (int i = 0; i < w.perByte; ++i) w.table[b][i] = (uint8_t)(((b >> (8 - depth * (i + 1))) & mask) * scale);
}

// Widens the width samples packed at the start of row, from the end: packed byte k
// widens to bytes k x kPer and on, never below k, so no packed byte is overwritten
// before it is read. kPer is a constant so that each copy is one store, not a call.
template <int kPer>
TX_PIXEL_LOOP void WidenInPlace(const Widening &w, uint8_t *row, size_t width) {
  const size_t whole = width / kPer, rest = width % kPer;
  if (rest) {
    const uint8_t *from = w.table[row[whole]];
    for (size_t i = rest; i-- > 0;) row[whole * kPer + i] = from[i];
  }
  for (size_t k = whole; k-- > 0;) std::memcpy(row + k * kPer, w.table[row[k]], kPer);
}

void Widen(const Widening &w, uint8_t *row, size_t width) {
  switch (w.perByte) {
    case 8: return WidenInPlace<8>(w, row, width);
    case 4: return WidenInPlace<4>(w, row, width);
    default: return WidenInPlace<2>(w, row, width);
  }
}

// Widens the width samples of a pass row into their places, step bytes apart, in one
// go (no widened pass row between).
template <int kPer>
TX_PIXEL_LOOP void WidenSpreadOf(const Widening &w, const uint8_t *packed, uint8_t *to, size_t width, size_t step) {
  const size_t whole = width / kPer, rest = width % kPer;
  if (step == 1)
    for (size_t k = 0; k < whole; ++k) std::memcpy(to + k * kPer, w.table[packed[k]], kPer);
  else
    for (size_t k = 0; k < whole; ++k) {
      const uint8_t *from = w.table[packed[k]];
      uint8_t *at = to + k * kPer * step;
      for (int i = 0; i < kPer; ++i) at[i * step] = from[i];
    }
  if (rest) {
    const uint8_t *from = w.table[packed[whole]];
    for (size_t i = 0; i < rest; ++i) to[(whole * kPer + i) * step] = from[i];
  }
}

void WidenSpread(const Widening &w, const uint8_t *packed, uint8_t *to, size_t width, size_t step) {
  switch (w.perByte) {
    case 8: return WidenSpreadOf<8>(w, packed, to, width, step);
    case 4: return WidenSpreadOf<4>(w, packed, to, width, step);
    default: return WidenSpreadOf<2>(w, packed, to, width, step);
  }
}

// Places the width pixels of a pass row, step pixels apart.
template <size_t kBytes>
TX_PIXEL_LOOP void SpreadOf(const uint8_t *from, uint8_t *to, size_t width, size_t step) {
  if (step == 1) return (void)std::memcpy(to, from, width * kBytes);
  for (size_t i = 0; i < width; ++i) std::memcpy(to + i * step * kBytes, from + i * kBytes, kBytes);
}

void Spread(const uint8_t *from, uint8_t *to, size_t width, size_t step, size_t pixelBytes) {
  switch (pixelBytes) {
    case 1: return SpreadOf<1>(from, to, width, step);
    case 2: return SpreadOf<2>(from, to, width, step);
    case 3: return SpreadOf<3>(from, to, width, step);
    case 4: return SpreadOf<4>(from, to, width, step);
    case 6: return SpreadOf<6>(from, to, width, step);
    default: return SpreadOf<8>(from, to, width, step);
  }
}

struct PngSource {
  int32_t size;  // of the data
  int32_t refused;  // the code of a failure already logged, else 0
  png_uint_32 width, height;  // from the header, for the allocator's refusal
  // libpng's allocations: what it holds, its most at once, and what it may hold.
  uint64_t libHeld, libPeak, libBudget;
  // The picture as its rows arrive: sizes fixed at the header, rows still to come.
  txBitmap *bitmap;
  bool packed, interlaced, ended;
  size_t pixelBytes, rowBytes, storedRowBytes;
  uint64_t rowsLeft;
  Widening widening;
  char lastWarning[80];  // libpng repeats a warning for each chunk of excess data
};

// Most bytes libpng held at once during the last read.
uint64_t lastLibPeak = 0;

// libpng allocates through these, each block led by its size, so that it can never
// hold more than what the load leaves it: a refusal fails the allocation, and libpng
// then stops with an error.
constexpr size_t kBlockHead = 16;

png_voidp PngMalloc(png_structp png, png_alloc_size_t n) {
  PngSource *src = (PngSource *)png_get_mem_ptr(png);
  uint64_t held = 0;
  if (!korv::SizeSum(src->libHeld, n, src->libBudget, held)) {
    if (!src->refused)
      TX_REFUSE_SIZE("[TL][png]", src->width, src->height,
                     "libpng asks for %llu bytes while it holds %llu: past the %llu it may hold beside the picture, "
                     "of the %llu bytes a PNG load may hold with libpng's slack",
                     (unsigned long long)n, (unsigned long long)src->libHeld, (unsigned long long)src->libBudget,
                     (unsigned long long)(kPngMaxHold + kPngLibSlack));
    src->refused = 1005;
    return nullptr;
  }
  uint8_t *p = (uint8_t *)std::malloc(n + kBlockHead);
  if (!p) return nullptr;
  std::memcpy(p, &n, sizeof n);
  src->libHeld = held;
  src->libPeak = std::max(src->libPeak, held);
  return p + kBlockHead;
}

void PngFree(png_structp png, png_voidp block) {
  if (!block) return;
  PngSource *src = (PngSource *)png_get_mem_ptr(png);
  uint8_t *p = (uint8_t *)block - kBlockHead;
  png_alloc_size_t n = 0;
  std::memcpy(&n, p, sizeof n);
  src->libHeld -= n;
  std::free(p);
}

void PngError(png_structp png, png_const_charp message) {
  SYS_DbgLevelPrintf(SYS_DBG_LEVEL(txSettings.verbose), "[TL][png][%s:%d:%s()] ! libpng: %s\n", SYS_POS, message);
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp message) { TX_LOG("[TL][png]", "libpng warning: %s\n", message); }

// The reader's warnings, each once in a row: excess compressed data warns again in
// every IDAT chunk that follows the picture's rows.
void PngReadWarning(png_structp png, png_const_charp message) {
  PngSource *src = (PngSource *)png_get_mem_ptr(png);
  if (std::strncmp(src->lastWarning, message, sizeof src->lastWarning - 1) == 0) return;
  std::snprintf(src->lastWarning, sizeof src->lastWarning, "%s", message);
  PngWarning(png, message);
}

// Called at the first IDAT chunk, with the header and palette read: checks what the
// picture needs against the data and the limits, starts libpng's rows and allocates
// the picture. A refusal is logged here and jumps back to the reader.
void PngHeader(png_structp png, png_infop info) {
  PngSource &src = *(PngSource *)png_get_progressive_ptr(png);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colourType = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &colourType, &interlace, nullptr, nullptr);
  const bool interlaced = interlace != PNG_INTERLACE_NONE;
  const uint64_t storedBits = (uint64_t)png_get_channels(png, info) * depth;
  if (!StoredDataFits(width, height, storedBits, interlaced, src.size)) {
    TX_FAIL(1002, "[TL][png]", "rows of %ux%u need more data than the file holds (%s)", (unsigned)width,
            (unsigned)height, txSettings.currentName ? txSettings.currentName : "-");
    src.refused = 1002;
    png_longjmp(png, 1);
  }
  // Samples below 8 bits (grey or palette, one channel) come packed into the start of
  // their rows and are widened afterwards, in place.
  const bool packed = depth < 8;
  const int32_t bits = packed ? 8 : (int32_t)storedBits;
  const size_t pixelBytes = (size_t)bits / 8, rowBytes = (size_t)width * pixelBytes;
  const int32_t bytes = txImageBytes(width, height, bits);
  src.width = width, src.height = height;
  // Everything the read holds is counted here, before libpng allocates its rows: the
  // picture and libpng's rows (an interlaced image's pass rows are placed straight
  // from libpng's).
  uint64_t held = 0, libRows = 0;
  if (bytes < 0 || !txHold(held, (uint64_t)bytes)) {
    TX_REFUSE_SIZE("[TL][png]", width, height, "%d bits a pixel pass the %llu bytes a load may hold", bits,
                   (unsigned long long)kTxMaxLoadBytes);
    src.refused = 1005;
    png_longjmp(png, 1);
  }
  if (!LibpngRows(width, storedBits, libRows) || !txHold(held, libRows, kPngMaxHold)) {
    TX_REFUSE_SIZE("[TL][png]", width, height,
                   "%d bits a pixel with libpng's rows pass the %llu bytes a PNG load may hold", bits,
                   (unsigned long long)kPngMaxHold);
    src.refused = 1005;
    png_longjmp(png, 1);
  }
  src.libBudget = kPngMaxHold + kPngLibSlack - (held - libRows);  // held - libRows <= kPngMaxHold
  png_read_update_info(png, info);
  if ((int64_t)rowBytes * height != bytes || png_get_rowbytes(png, info) > rowBytes)
    png_error(png, "row size differs from the picture's");
  src.bitmap->image[0] = (uint8_t *)SYS_MemGet(bytes, "pngRead: bitmap");
  if (!src.bitmap->image[0]) {
    TX_FAIL(5, "[TL][png]", "no memory (%s)", txSettings.currentName ? txSettings.currentName : "-");
    src.refused = 5;
    png_longjmp(png, 1);
  }
  src.bitmap->width = (int32_t)width;
  src.bitmap->height = (int32_t)height;
  src.bitmap->bits = bits;
  src.bitmap->imagesize[0] = bytes;
  // 32 bits are four channels with alpha only for 8-bit RGBA, not 16-bit grey+alpha.
  src.bitmap->subtype = bits == 8    ? (colourType == PNG_COLOR_TYPE_GRAY ? TX_SUB_GREY : TX_SUB_PALETTE)
                        : bits == 24 ? TX_SUB_COLOR
                        : bits == 32 && colourType == PNG_COLOR_TYPE_RGBA ? TX_SUB_ALPHA
                                                                           : TX_SUB_OTHER;
  src.packed = packed, src.interlaced = interlaced;
  src.pixelBytes = pixelBytes, src.rowBytes = rowBytes, src.storedRowBytes = png_get_rowbytes(png, info);
  if (packed) MakeWidening(src.widening, depth, colourType == PNG_COLOR_TYPE_GRAY);
  src.rowsLeft = 0;
  for (int pass = 0; pass < (interlaced ? 7 : 1); ++pass) {
    const uint64_t w = interlaced ? PNG_PASS_COLS(width, pass) : width;
    const uint64_t h = interlaced ? PNG_PASS_ROWS(height, pass) : height;
    if (w != 0) src.rowsLeft += h;  // libpng skips empty passes too
  }
}

// Each row as libpng delivers it, or of an interlaced image each row of a pass, whose
// pixels go to their places: placing them here spares libpng's interlace handling,
// which spreads every pass row over a whole row, pixel by pixel.
void PngRow(png_structp png, png_bytep row, png_uint_32 rowNumber, int pass) {
  PngSource &src = *(PngSource *)png_get_progressive_ptr(png);
  if (!row) return;
  const png_uint_32 width = src.width, height = src.height;
  if (src.rowsLeft == 0 || pass < 0 || pass > (src.interlaced ? 6 : 0)) png_error(png, "row out of the picture");
  const size_t y =
      src.interlaced ? PNG_PASS_START_ROW(pass) + ((size_t)rowNumber << PNG_PASS_ROW_SHIFT(pass)) : rowNumber;
  if (y >= height) png_error(png, "row out of the picture");
  --src.rowsLeft;
  png_bytep to = src.bitmap->image[0] + y * src.rowBytes;
  if (!src.interlaced) {
    std::memcpy(to, row, src.storedRowBytes);
    if (src.packed) Widen(src.widening, to, width);
    return;
  }
  const png_uint_32 w = PNG_PASS_COLS(width, pass);
  const size_t step = (size_t)1 << PNG_PASS_COL_SHIFT(pass);
  to += PNG_PASS_START_COL(pass) * src.pixelBytes;
  if (src.packed)
    WidenSpread(src.widening, row, to, w, step);
  else
    Spread(row, to, w, step, src.pixelBytes);
}

void PngEnd(png_structp png, png_infop) { ((PngSource *)png_get_progressive_ptr(png))->ended = true; }

// How much of the data to push: up to the end of its last whole chunk (IEND
// included, nothing after it), and on into a chunk cut short only when that is an
// IDAT, whose data libpng inflates as they come; any other chunk it would first copy
// aside whole, however long.
size_t WholeChunks(const uint8_t *data, size_t size) {
  size_t at = 8;
  while (size - at >= 8) {
    const size_t length =
        (size_t)data[at] << 24 | (size_t)data[at + 1] << 16 | (size_t)data[at + 2] << 8 | data[at + 3];
    const bool idat = std::memcmp(data + at + 4, "IDAT", 4) == 0, iend = std::memcmp(data + at + 4, "IEND", 4) == 0;
    if (size - at - 8 < 4 || length > size - at - 12) return idat ? size : at;
    at += 12 + length;
    if (iend) return at;
  }
  return at;
}

void PngWriteData(png_structp png, png_bytep data, size_t length) {
  SYS_File_t *file = (SYS_File_t *)png_get_io_ptr(png);
  if (SYS_FileWrite(file, data, (int32_t)length) != 0) png_error(png, "file write failed");
}

void PngFlush(png_structp) {}

txBitmap *Fail(int32_t code, txBitmap *bitmap, const char *why) {
  txRelease(bitmap);
  TX_FAIL(code, "[TL][png]", "%s (%s)", why, txSettings.currentName ? txSettings.currentName : "-");
  return nullptr;
}

}  // namespace

bool pngSides(const uint8_t *head, int64_t bytes, int64_t, int64_t &width, int64_t &height) {
  // The IHDR chunk, which must come first: the fields libpng reads for the reader.
  if (bytes < 24 || std::memcmp(head + 12, "IHDR", 4) != 0) return false;
  width = (int64_t)png_get_uint_32(head + 16);
  height = (int64_t)png_get_uint_32(head + 20);
  return true;
}

extern "C" {

uint64_t pngLastLibPeak(void) { return lastLibPeak; }

int32_t pngCheck(const uint8_t *d) { return d[0] == 137 && d[1] == 'P' && d[2] == 'N' && d[3] == 'G' ? 0 : 1000; }

txBitmap *pngRead(const uint8_t *data, int32_t size) {
  if (!data || size < 8) return Fail(1002, nullptr, "signature truncated");
  txBitmap *b = (txBitmap *)SYS_MemGet(sizeof(txBitmap), "pngRead: struct");
  if (!b) return Fail(5, nullptr, "no memory");
  PngSource src = {};
  src.size = size;
  src.libBudget = kPngMaxHold + kPngLibSlack;
  src.bitmap = b;
  lastLibPeak = 0;
  png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngReadWarning, &src,
                                             PngMalloc, PngFree);
  if (!png) return Fail(5, b, "libpng cannot start");
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return Fail(5, b, "libpng cannot start");
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    const volatile PngSource &seen = src;  // set after setjmp, read after the jump
    lastLibPeak = seen.libPeak;
    if (seen.refused) {
      txRelease(b);
      return errSetLastError(seen.refused), nullptr;
    }
    return Fail(1000, b, "damaged PNG data");
  }
  png_set_progressive_read_fn(png, &src, PngHeader, PngRow, PngEnd);
  // Limits of a hostile file: no chunk (nor the inflated text or profile of one) may
  // claim more memory than the whole data holds, and the ancillary chunks the
  // bitmap does not use are skipped unread instead of being stored, so a header
  // that claims gigabytes is refused at the end of the data, not allocated.
  png_set_chunk_malloc_max(png, (png_alloc_size_t)size);
  png_set_chunk_cache_max(png, 32);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  // The loader picked this reader by the signature's first four bytes; libpng, which
  // checks all eight, gets them as they should be, so that files whose last four are
  // damaged load as they always did.
  png_byte signature[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};
  png_process_data(png, info, signature, sizeof signature);
  png_process_data(png, info, (png_bytep)data + 8, WholeChunks(data, (size_t)size) - 8);
  // libpng stops where the data end: without IEND they were cut short; with it and
  // rows missing, the image data end early.
  if (!src.refused && (!src.ended || !b->image[0] || src.rowsLeft != 0)) {
    png_destroy_read_struct(&png, &info, nullptr);
    lastLibPeak = src.libPeak;
    return src.ended ? Fail(1000, b, "image data end before the last row") : Fail(1002, b, "PNG data cut short");
  }
  if (!src.refused && png_get_color_type(png, info) == PNG_COLOR_TYPE_PALETTE) {
    b->palette = (uint8_t *)SYS_MemGet(1024, "pngRead: palette");
    if (!b->palette) {
      png_destroy_read_struct(&png, &info, nullptr);
      return Fail(5, b, "no memory");
    }
    png_colorp entries = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &entries, &count) != 0)
      for (int i = 0; i < count && i < 256; ++i) {
        b->palette[4 * i + 0] = entries[i].red;
        b->palette[4 * i + 1] = entries[i].green;
        b->palette[4 * i + 2] = entries[i].blue;
      }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  lastLibPeak = src.libPeak;
  if (src.refused) {  // libpng went on without a block it was refused
    txRelease(b);
    return errSetLastError(src.refused), nullptr;
  }
  b->type = TX_TYPE_RGB;
  b->levels = 1;
  return b;
}

int32_t pngWrite(const char *path, txBitmap *b) {
  errClear();
  if (!b || b->type < 0 || b->type > 2 || b->subtype < 0 || b->subtype > 3)
    return TX_FAIL(1005, "[TL][png]", "cannot write type %d subtype %d", b ? b->type : -1, b ? b->subtype : -1), -1;
  static constexpr int32_t kBits[4] = {24, 24, 32, 8};
  const int32_t bytes = txImageBytes(b->width, b->height, b->bits);
  if (b->bits != kBits[b->subtype] || bytes < 0 || !b->image[0] || b->imagesize[0] < bytes)
    return TX_FAIL(1005, "[TL][png]", "no %dx%d %d-bit level to write", b->width, b->height, b->bits), -1;
  TX_LOG("[TL][png]", "PNG write: %s\n", path ? path : "-");
  TX_LOG("[TL][png]", " size: %dx%d %dbits\n", b->width, b->height, b->bits);
  TX_LOG("[TL][png]", " type: %d subtype: %d\n", b->type, b->subtype);

  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (!png) return TX_FAIL(10000, "[TL][png]", "libpng cannot start"), -1;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return TX_FAIL(9, "[TL][png]", "libpng cannot start"), -1;
  }
  SYS_File_t *volatile file = nullptr;
  png_bytep *volatile rows = nullptr;
  if (setjmp(png_jmpbuf(png))) {
    png_bytep *r = rows;
    if (r) SYS_MemFree(&r);
    png_destroy_write_struct(&png, &info);
    if (file) SYS_FileClose(file);
    return TX_FAIL(5, "[TL][png]", "encoding failed: %s", path), -1;
  }
  file = SYS_FileOpen(path, 0x10);
  if (!file) {
    png_destroy_write_struct(&png, &info);
    return TX_FAIL(9, "[TL][png]", "cannot create %s", path ? path : "-"), -1;
  }
  png_set_write_fn(png, file, PngWriteData, PngFlush);
  const int32_t level = txSettings.pngLevel;
  png_set_compression_level(png, level < -1 ? -1 : level > 9 ? 9 : level);
  // The subtype says the byte order: 0 and 2 hold B,G,R(,A), 1 holds R,G,B.
  static constexpr int kColour[4] = {PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGBA,
                                     PNG_COLOR_TYPE_GRAY};
  png_set_IHDR(png, info, (png_uint_32)b->width, (png_uint_32)b->height, 8, kColour[b->subtype], PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (b->subtype == TX_SUB_COLOR || b->subtype == TX_SUB_ALPHA) png_set_bgr(png);
  png_write_info(png, info);
  rows = (png_bytep *)SYS_MemGet((int64_t)b->height * sizeof(png_bytep), "pngWrite: rows");
  if (!rows) png_error(png, "no memory for the row table");
  const size_t rowBytes = (size_t)b->width * (b->bits / 8);
  for (int32_t i = 0; i < b->height; ++i) rows[i] = b->image[0] + (size_t)i * rowBytes;
  png_write_image(png, rows);
  png_write_end(png, info);
  {
    png_bytep *r = rows;
    rows = nullptr;
    SYS_MemFree(&r);
  }
  png_destroy_write_struct(&png, &info);
  SYS_FileClose(file);
  return 0;
}

const tx_filter_t txPngFilter = {
    TX_FMT_PNG, "tarvo!korvadyne's PNG filter", "Portable Network Graphics format (PNG)", pngCheck, pngRead, pngWrite,
    {9, 0},
};

}  // extern "C"
