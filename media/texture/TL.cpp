// Texture loader core: the filter table, txLoad and txSave, options, and the small
// bitmap services (dummy, duplicate, free, R/B swap, accessors).
//
// A load runs in a fixed order: read the whole file, close it, pick the first filter
// whose check accepts the leading bytes, decode, then (uncompressed images only)
// merge an "_a" alpha image, convert the byte order, flip, shrink for quality. The
// file is closed before decoding so that the nested "_a" load can use the same
// callbacks. A reader whose pixels lie in the file as rows may adopt the file buffer
// as its level 0, moving the rows in place (txAdoptRows), so a large image costs one
// read and one pass instead of a second buffer and a copy; with the default
// callbacks a large file's rows are even read straight into place, so the pass goes
// too (see kDeferMin). Only the main thread
// loads; the settings are process-wide and unlocked.
// Depends on: base (log, last error, tracked memory, options), read.cpp callbacks,
// converters (tx24to32, txScale), the filters.

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/cfg.h"
#include "media/texture/TL_private.h"

txSettings_t txSettings = {
    .io = {txIOpen, txIRead, txIFSize, txIClose, txIExist},
    .verbose = 0,
    .dxtDisable = 0,
    .quality = 0,
    .order = 0,
    .flip = 0,
    .dxtAllowed = {0, 0, 0},
    .keepCompressed = 1,
    .jpegBaseline = 1,
    .jpegProgressive = 1,
    .jpegOptimize = 100,
    .jpegSmoothing = 0,
    .jpegQuality = 75,
    .pngLevel = 9,
    .currentName = nullptr,
    .alphaMerge = 1,
    .adoptable = nullptr,
    .adopted = 0,
    .pending = 0,
    .readFailed = 0,
};

namespace {

// Probe order. Formats with a real signature come first; TGA has none (its check
// matches a few header bytes), so it must not shadow a stronger claim, and the
// 132-byte DICOM preamble is tested last.
const tx_filter_t *const kFilters[] = {
    &txBmpFilter,
    &txPngFilter,
    &txTgaFilter,
    &txJpegFilter,
    &txDdsFilter,
    &txDdzFilter,
    &txPnmFilter,
    &txDicomFilter,
    nullptr,
};

// Longest alpha-image name, terminator excluded.
constexpr size_t kAlphaNameMax = 511;

// Writes the first byte of each alpha pixel into the fourth byte of each pixel of a
// 32-bit level 0. Sizes were checked by the caller.
void MergeAlpha(txBitmap *bitmap, const txBitmap *alpha) {
  int32_t step = alpha->bits / 8;
  int32_t pixels = bitmap->width * bitmap->height;
  const uint8_t *src = alpha->image[0];
  uint8_t *dst = bitmap->image[0] + 3;
  for (int32_t i = 0; i < pixels; ++i, src += step, dst += 4) *dst = *src;
  bitmap->subtype = TX_SUB_ALPHA;
}

// Refusal reason of the alpha merge that the bitmap alone gives, or null.
const char *BitmapTakesNoAlpha(const txBitmap *bitmap) {
  if (!txByteChannels(bitmap)) return "bitmap is not 24 or 32 bits of byte channels";
  // Only level 0 would change depth; the other levels would no longer match bits.
  if (bitmap->levels > 1) return "bitmap has mipmap levels";
  return nullptr;
}

// Refusal reason of the alpha merge, or null when it can run.
const char *AlphaMismatch(const txBitmap *bitmap, const txBitmap *alpha) {
  if (alpha->type == TX_TYPE_COMPRESSED) return "alpha map is compressed";
  if (alpha->width != bitmap->width || alpha->height != bitmap->height) return "alpha map size differs";
  if (alpha->bits != 8 && alpha->bits != 24 && alpha->bits != 32) return "alpha map depth unsupported";
  if (!alpha->image[0] || alpha->imagesize[0] < txImageBytes(alpha->width, alpha->height, alpha->bits))
    return "alpha map has no pixels";
  return BitmapTakesNoAlpha(bitmap);
}

// The sides an "_a" image being loaded must have (0 while none is), and the other
// sides its header gave when it was refused for them before its decoding.
struct {
  int32_t width, height;
  bool differs;
  int64_t gotWidth, gotHeight;
} gTwin;

// The sides of the picture the chosen reader would deliver, from the first bytes of
// a file of size bytes, asked of the reader's own header parsing; false when those
// bytes do not tell positive sides.
bool HeaderSides(const tx_filter_t *filter, const uint8_t *head, int64_t bytes, int64_t size, int64_t &width,
                 int64_t &height) {
  bool (*const sides)(const uint8_t *, int64_t, int64_t, int64_t &, int64_t &) =
      filter->id == TX_FMT_TGA     ? tgaSides
      : filter->id == TX_FMT_BMP   ? bmpSides
      : filter->id == TX_FMT_PNG   ? pngSides
      : filter->id == TX_FMT_JPEG  ? jpegSides
      : filter->id == TX_FMT_DDS   ? ddsSides
      : filter->id == TX_FMT_TQX   ? ddzSides
      : filter->id == TX_FMT_PNM   ? pnmSides
      : filter->id == TX_FMT_DICOM ? dicomSides
                                   : nullptr;
  return sides && sides(head, bytes, size, width, height) && width > 0 && height > 0;
}

// Loads "alphaName" and merges it into bitmap. 0 on success; -1 with error 1003.
// What rules the merge out before the image is decoded does: a bitmap that takes no
// alpha (the image is only opened, so that an absent one stays quiet), or an image
// whose header gives other sides than the bitmap's.
int32_t AddAlpha(const char *alphaName, txBitmap *bitmap) {
  const char *early = BitmapTakesNoAlpha(bitmap);
  int32_t saved = txSettings.alphaMerge;
  const char *savedName = txSettings.currentName;
  txBitmap *alpha = nullptr;
  bool there = false;
  if (early) {
    there = txSettings.io.fOpen(alphaName) == 0;
    if (there) txSettings.io.fClose();
  } else {
    txSettings.alphaMerge = 0;
    gTwin = {bitmap->width, bitmap->height, false, 0, 0};
    alpha = txLoad(alphaName);
    txSettings.alphaMerge = saved;
    txSettings.currentName = savedName;
  }
  const auto twin = gTwin;
  gTwin = {};
  if (there) {
    SYS_DbgLevelPrintf(2, "[TL][%s:%d:%s()] ! %s: %s (bitmap %dx%d %d bits)\n", SYS_POS, early, alphaName,
                       bitmap->width, bitmap->height, bitmap->bits);
    errSetLastError(1003);
    return -1;
  }
  if (twin.differs) {
    SYS_DbgLevelPrintf(2, "[TL][%s:%d:%s()] ! alpha map size differs: %s (%lldx%lld, bitmap %dx%d %d bits)\n", SYS_POS,
                       alphaName, (long long)twin.gotWidth, (long long)twin.gotHeight, bitmap->width,
                       bitmap->height, bitmap->bits);
    errSetLastError(1003);
    return -1;
  }
  if (!alpha) {
    // Absent is the usual case and stays quiet; one that is there but cannot be read
    // leaves the texture without its alpha, which nobody should have to guess.
    const int32_t code = errGetLastError();
    if (code == 1)
      TX_LOG("[TL]", "alpha map not found.\n");
    else
      SYS_DbgLevelPrintf(2, "[TL][%s:%d:%s()] ! alpha map unreadable: %s (error %d)\n", SYS_POS, alphaName, code);
    errSetLastError(1003);
    return -1;
  }
  const char *why = AlphaMismatch(bitmap, alpha);
  if (!why && bitmap->bits == 24 && tx24to32(bitmap) != 0) why = "no memory for 32 bits";
  if (why) {
    SYS_DbgLevelPrintf(2, "[TL][%s:%d:%s()] ! %s: %s (%dx%d %d bits, bitmap %dx%d %d bits)\n", SYS_POS, why,
                       alphaName, alpha->width, alpha->height, alpha->bits, bitmap->width, bitmap->height,
                       bitmap->bits);
    txRelease(alpha);
    errSetLastError(1003);
    return -1;
  }
  MergeAlpha(bitmap, alpha);
  txRelease(alpha);
  return 0;
}

// Row flip of every level, each with its own size.
void FlipLevels(txBitmap *bitmap) {
  int32_t bpp = bitmap->bits / 8;
  for (int32_t i = 0; i < bitmap->levels && i < TX_MAX_LEVELS; ++i) {
    if (!bitmap->image[i]) continue;
    int32_t w = txLevelSide(bitmap->width, i), h = txLevelSide(bitmap->height, i);
    const int32_t rowBytes = txRowBytes(w, bpp * 8);
    if (rowBytes <= 0 || (int64_t)rowBytes * h > bitmap->imagesize[i]) continue;
    txReverseRows(bitmap->image[i], rowBytes, h);
  }
}

// Large files through the default callbacks are read in two steps: the head, enough
// for every check and for the headers of the row readers, then the rows straight into
// their final places, reversed a chunk at a time while the chunk is still in cache.
// That saves the separate pass over the whole image that a bottom-up file costs.
constexpr int32_t kDeferMin = 1 << 20;
constexpr int64_t kChunk = 256 << 10;

bool DefaultCallbacks() {
  const txFunctions &io = txSettings.io;
  return io.fOpen == txIOpen && io.fRead == txIRead && io.fFSize == txIFSize && io.fClose == txIClose;
}

// Whether the chosen reader reads nothing past the head before it adopts its rows.
bool ReadsOnlyTheHead(const tx_filter_t *filter, const uint8_t *head, int64_t size) {
  const int64_t need = filter->id == TX_FMT_TGA     ? tgaHeadBytes(head)
                       : filter->id == TX_FMT_BMP   ? bmpHeadBytes(head)
                       : filter->id == TX_FMT_PNM   ? pnmHeadBytes(head)
                       : filter->id == TX_FMT_DICOM ? dicomHeadBytes(head, size)
                                                    : 0;
  return need > 0 && need <= kTxHead;
}

// rows rows of R bytes from file offset start into buf, top row first.
int32_t ReadRowsInPlace(uint8_t *buf, int64_t start, int64_t R, int32_t rows, bool reverse) {
  if (!reverse) return txIReadAt(start, buf, R * rows);
  const int64_t chunkRows = std::max<int64_t>(1, kChunk / R);
  for (int64_t k = 0; k < rows; k += chunkRows) {
    const int64_t n = std::min<int64_t>(chunkRows, rows - k);
    uint8_t *dst = buf + (rows - k - n) * R;
    if (txIReadAt(start + k * R, dst, n * R) != 0) return -1;
    txReverseRows(dst, (int32_t)R, (int32_t)n);
  }
  return 0;
}

}  // namespace

bool txAlphaName(const char *name, char *out, size_t outSize) {
  const char *base = name;
  for (const char *p = name; *p; ++p)
    if (*p == '/' || *p == '\\') base = p + 1;
  const char *dot = std::strrchr(base, '.');
  int n = dot ? std::snprintf(out, outSize, "%.*s_a.%s", (int)(dot - name), name, dot + 1)
              : std::snprintf(out, outSize, "%s_a", name);
  return n > 0 && (size_t)n < outSize;
}

void txReverseRows(uint8_t *data, int32_t rowBytes, int32_t rows) {
  // Through a small buffer with memcpy: a byte-wise swap loop is several times slower.
  uint8_t tmp[4096];
  for (int32_t j = 0; j < rows / 2; ++j) {
    uint8_t *a = data + (size_t)j * rowBytes;
    uint8_t *b = data + (size_t)(rows - 1 - j) * rowBytes;
    for (int32_t off = 0; off < rowBytes; off += (int32_t)sizeof tmp) {
      const size_t n = std::min<size_t>(sizeof tmp, (size_t)(rowBytes - off));
      std::memcpy(tmp, a + off, n);
      std::memcpy(a + off, b + off, n);
      std::memcpy(b + off, tmp, n);
    }
  }
}

uint8_t *txAdoptRows(const uint8_t *data, int64_t start, int64_t stride, int32_t rowBytes, int32_t rows,
                     bool reverse) {
  if (!data || data != txSettings.adoptable || txSettings.adopted || rows <= 0 || rowBytes <= 0) return nullptr;
  uint8_t *buf = txSettings.adoptable;
  const int64_t R = rowBytes;
  if (txSettings.pending) {
    // Only the head is in memory: packed rows come from the file into place, others
    // after the rest of the file as it lies. A failed read leaves the load to fail.
    const int32_t head = txSettings.pending;
    txSettings.pending = 0;
    if (stride == R) {
      if (ReadRowsInPlace(buf, start, R, rows, reverse) != 0) return txSettings.readFailed = 1, nullptr;
      txSettings.adopted = 1;
      return buf;
    }
    if (txIReadAt(head, buf + head, (int64_t)txIFSize() - head) != 0) return txSettings.readFailed = 1, nullptr;
  }
  if (reverse && stride == R && start < R) {
    // One pass from both ends: the two rows a pair swaps are saved first, and so is
    // the next pair's bottom row, the only unsaved row a write can reach (its last
    // start bytes lie under the destination of the upper row).
    uint8_t *tmp = (uint8_t *)SYS_MemGet(2 * R, "txLoad: rows");
    if (!tmp) return nullptr;
    uint8_t *a = tmp, *b = tmp + R;
    auto src = [&](int64_t k) { return buf + start + k * R; };
    std::memcpy(b, src(rows - 1), (size_t)R);
    for (int64_t j = 0; j < rows / 2; ++j) {
      const int64_t top = rows - 1 - j;
      std::memcpy(a, src(j), (size_t)R);
      std::memcpy(buf + j * R, b, (size_t)R);
      if (j + 1 < rows / 2 || (rows & 1)) std::memcpy(b, src(top - 1), (size_t)R);
      std::memcpy(buf + top * R, a, (size_t)R);
    }
    if (rows & 1) std::memcpy(buf + (rows / 2) * R, b, (size_t)R);
    SYS_MemFree(&tmp);
  } else {
    // Rows move to lower or equal addresses, so a forward pass never overwrites a row
    // before it has moved.
    if (start != 0 || stride != R)
      for (int64_t j = 0; j < rows; ++j) std::memmove(buf + j * R, buf + start + j * stride, (size_t)R);
    if (reverse) txReverseRows(buf, rowBytes, rows);
  }
  txSettings.adopted = 1;
  return buf;
}

int32_t txRefuseSize(const char *tag, const char *file, int line, const char *func, int64_t width, int64_t height,
                     const char *format, ...) {
  char why[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(why, sizeof why, format, args);
  va_end(args);
  SYS_DbgLevelPrintf(2, "%s[%s:%d:%s()] ! too large to load: %s (%lldx%lld): %s\n", tag, file, line, func,
                     txSettings.currentName ? txSettings.currentName : "-", (long long)width, (long long)height, why);
  errSetLastError(1005);
  return -1;
}

void txRelease(txBitmap *bitmap) {
  if (!bitmap) return;
  for (int i = 0; i < TX_MAX_LEVELS; ++i)
    if (bitmap->image[i]) SYS_MemFree(&bitmap->image[i]);
  if (bitmap->palette) SYS_MemFree(&bitmap->palette);
  SYS_MemFree(&bitmap);
}

extern "C" {

int32_t txInit(const txFunctions *functions) {
  errClear();
  if (functions)
    txSettings.io = *functions;
  else
    txSettings.io = {txIOpen, txIRead, txIFSize, txIClose, txIExist};
  txSettings.verbose = SYS_CfgGet("debug-tl", 0) == 1;
  if (SYS_CfgGet("disable-dxt1", 0) == 1) txSettings.dxtDisable |= 1;
  if (SYS_CfgGet("disable-dxt3", 0) == 1) txSettings.dxtDisable |= 2;
  if (SYS_CfgGet("disable-dxt5", 0) == 1) txSettings.dxtDisable |= 4;
  errClear();
  return 0;
}

const tx_filter_t *txFindFilter(const uint8_t *data) {
  errClear();
  if (data)
    for (const tx_filter_t *const *f = kFilters; *f; ++f)
      if ((*f)->check && (*f)->check(data) == 0) return *f;
  errSetLastError(1000);
  return nullptr;
}

txBitmap *txLoad(const char *name) {
  errClear();
  if (!name) {
    errSetLastError(10);
    return nullptr;
  }
  txSettings.currentName = name;
  TX_LOG("[TL]", "Load bitmap: %s\n", name);

  const txFunctions &io = txSettings.io;
  if (io.fOpen(name) != 0) {
    TX_LOG("[TL]", "  ! unable to open texture (%s).\n", name);
    return nullptr;
  }
  bool deferred = DefaultCallbacks() && txIFSize() > kDeferMin;
  uint8_t *data = deferred ? txIReadHead(kTxHead) : (uint8_t *)io.fRead();
  if (!data) {
    int32_t code = errGetLastError();
    TX_LOG("[TL]", "  ! unable to read texture (%s).\n", name);
    io.fClose();
    errSetLastError(code);
    return nullptr;
  }
  int32_t size = io.fFSize();
  if (!deferred) io.fClose();
  if (size < 0) size = 0;

  // Checks look at up to TX_CHECK_BYTES without a size; a short file from a caller's
  // own callbacks may lack the zero tail that the default reader provides.
  if (size < TX_CHECK_BYTES) {
    uint8_t *padded = (uint8_t *)SYS_MemGet(TX_CHECK_BYTES, "txLoad: short file");
    if (!padded) {
      SYS_MemFree(&data);
      errSetLastError(5);
      return nullptr;
    }
    std::memcpy(padded, data, (size_t)size);
    SYS_MemFree(&data);
    data = padded;
  }

  const tx_filter_t *filter = nullptr;
  for (const tx_filter_t *const *f = kFilters; *f; ++f)
    if ((*f)->check && (*f)->check(data) == 0) {
      filter = *f;
      break;
    }
  if (!filter) {
    if (deferred) io.fClose();
    SYS_MemFree(&data);
    TX_FAIL(1000, "[TL]", "unknown format (%s)", name);
    return nullptr;
  }
  // An "_a" image of other sides is refused from its header, before the rest of a
  // large file is read and before anything is decoded.
  int64_t twinWidth, twinHeight;
  const int64_t known = deferred ? std::min<int64_t>(size, kTxHead) : size;
  if (gTwin.width > 0 && HeaderSides(filter, data, known, size, twinWidth, twinHeight) &&
      (twinWidth != gTwin.width || twinHeight != gTwin.height)) {
    if (deferred) io.fClose();
    SYS_MemFree(&data);
    gTwin.differs = true;
    gTwin.gotWidth = twinWidth;
    gTwin.gotHeight = twinHeight;
    errSetLastError(1003);
    return nullptr;
  }
  if (deferred && !ReadsOnlyTheHead(filter, data, size)) {
    const bool ok = txIReadAt(kTxHead, data + kTxHead, (int64_t)size - kTxHead) == 0;
    io.fClose();
    deferred = false;
    if (!ok) {
      SYS_MemFree(&data);
      TX_FAIL(3, "[TL]", "short read (%s)", name);
      return nullptr;
    }
  }

  TX_LOG("[TL]", "type: %s\n", filter->description);
  txSettings.adoptable = data;
  txSettings.adopted = 0;
  txSettings.pending = deferred ? kTxHead : 0;
  txSettings.readFailed = 0;
  txBitmap *bitmap = filter->read(data, size);
  // A reader that returned pixels without taking the rows saw only the head.
  const bool readFailed = txSettings.readFailed || (txSettings.pending && bitmap);
  if (deferred) {
    const int32_t code = errGetLastError();  // closing may clear the reader's error
    io.fClose();
    errSetLastError(code);
  }
  if (!txSettings.adopted) SYS_MemFree(&data);
  txSettings.adoptable = nullptr;
  txSettings.adopted = 0;
  txSettings.pending = 0;
  txSettings.readFailed = 0;
  if (readFailed) {
    txRelease(bitmap);
    TX_FAIL(3, "[TL]", "short read (%s)", name);
    return nullptr;
  }
  if (!bitmap) return nullptr;
  bitmap->format = filter->id;
  TX_LOG("[TL]", "size: %dx%d bits: %d\n", bitmap->width, bitmap->height, bitmap->bits);
  TX_LOG("[TL]", "imagesize: %u\n", (unsigned)bitmap->imagesize[0]);

  if (txSettings.alphaMerge == 0 || bitmap->type == TX_TYPE_COMPRESSED) return bitmap;

  char alphaName[kAlphaNameMax + 1];
  int32_t alphaError = 0;
  if (txAlphaName(name, alphaName, sizeof alphaName)) {
    if (AddAlpha(alphaName, bitmap) != 0) alphaError = errGetLastError();
  } else {
    alphaError = 1003;
  }
  TX_LOG("[TL]", "---\n");

  if (bitmap->type != txSettings.order && txByteChannels(bitmap)) txSwapRB(bitmap);

  if (txSettings.flip) {
    TX_LOG("[TL]", "Horizontal flipping.\n");
    FlipLevels(bitmap);
  }

  // The box filter averages bytes: right for grey and 8-bit colour channels, wrong
  // for palette indices (other colours), 16-bit samples and packed pixels, which
  // therefore keep their size.
  const bool byteSamples = bitmap->subtype == TX_SUB_GREY || txByteChannels(bitmap);
  if (txSettings.quality != 0 && bitmap->levels == 1 && byteSamples) {
    int32_t div = txSettings.quality == 1 ? 2 : 4;
    if (txScale(bitmap, bitmap->width / div, bitmap->height / div) != 0) {
      int32_t code = errGetLastError();
      txRelease(bitmap);
      errSetLastError(code);
      return nullptr;
    }
  }
  // A missing alpha image is not a failure, but it stays visible as the last error.
  if (alphaError) errSetLastError(alphaError);
  return bitmap;
}

int32_t txSave(int32_t format, const char *path, txBitmap *bitmap) {
  errClear();
  for (const tx_filter_t *const *f = kFilters; *f; ++f) {
    if ((*f)->id != format || !(*f)->write) continue;
    TX_LOG("[TL]", " ! saving with %s\n", (*f)->author);
    int32_t result = (*f)->write(path, bitmap);
    if (result != 0) {
      int32_t code = errGetLastError();  // the read clears it
      TX_LOG("[TL]", " ! returned with error, code: %d\n", code);
      errSetLastError(code);
    }
    return result;
  }
  TX_LOG("[TL]", " ! unknown format.\n");
  errSetLastError(1000);
  return -1;
}

int32_t txOptions(int32_t code, int32_t value) {
  errClear();
  switch (code) {
    case 0: txSettings.keepCompressed = value; return 0;
    case 1: txSettings.verbose = value; return 0;
    case 2:
      txSettings.quality = value;
      SYS_DbgPrintf(1, "[TL][%s:%d:%s()] Set texture quality: %d\n", SYS_POS, value);
      return 0;
    case 3: txSettings.order = value; return 0;
    case 4: txSettings.flip = value; return 0;
    case 5: txSettings.jpegBaseline = value; return 0;
    case 6: txSettings.jpegProgressive = value; return 0;
    case 7: txSettings.jpegOptimize = value; return 0;
    case 8: txSettings.jpegSmoothing = value; return 0;
    case 9: txSettings.jpegQuality = value; return 0;
    case 11: txSettings.pngLevel = value; return 0;
    case 12: return txSettings.order;
    case TX_DXT1: if (!(txSettings.dxtDisable & 1)) txSettings.dxtAllowed[0] = value; return 0;
    case TX_DXT3: if (!(txSettings.dxtDisable & 2)) txSettings.dxtAllowed[1] = value; return 0;
    case TX_DXT5: if (!(txSettings.dxtDisable & 4)) txSettings.dxtAllowed[2] = value; return 0;
    default: errSetLastError(10); return -1;
  }
}

txBitmap *txCreateDummy(int32_t layout, int32_t width, int32_t height) {
  errClear();
  static constexpr int32_t kBits[] = {24, 24, 32, 8};
  if (layout < 0 || layout > 3) {
    errSetLastError(10);
    return nullptr;
  }
  int32_t bytes = txImageBytes(width, height, kBits[layout]);
  if (bytes < 0) {
    errSetLastError(10);
    return nullptr;
  }
  txBitmap *bitmap = (txBitmap *)SYS_MemGet(sizeof(txBitmap), "txCreateDummy: struct");
  if (!bitmap) {
    errSetLastError(5);
    return nullptr;
  }
  bitmap->image[0] = (uint8_t *)SYS_MemGet(bytes, "txCreateDummy: buffer");
  if (!bitmap->image[0]) {
    SYS_MemFree(&bitmap);
    errSetLastError(5);
    return nullptr;
  }
  bitmap->type = layout;
  bitmap->subtype = layout;
  bitmap->width = width;
  bitmap->height = height;
  bitmap->bits = kBits[layout];
  bitmap->levels = 1;
  bitmap->imagesize[0] = bytes;
  return bitmap;
}

txBitmap *txDup(const txBitmap *bitmap) {
  errClear();
  if (!bitmap) {
    errSetLastError(1001);
    return nullptr;
  }
  txBitmap *copy = (txBitmap *)SYS_MemGet(sizeof(txBitmap), "txDup: struct");
  if (!copy) {
    errSetLastError(5);
    return nullptr;
  }
  *copy = *bitmap;
  copy->palette = nullptr;
  for (int i = 0; i < TX_MAX_LEVELS; ++i) copy->image[i] = nullptr;
  bool ok = true;
  for (int i = 0; i < TX_MAX_LEVELS && ok; ++i) {
    if (!bitmap->image[i] || bitmap->imagesize[i] <= 0) continue;
    copy->image[i] = (uint8_t *)SYS_MemGet(bitmap->imagesize[i], "txDup: bitmap");
    ok = copy->image[i] != nullptr;
    if (ok) std::memcpy(copy->image[i], bitmap->image[i], (size_t)bitmap->imagesize[i]);
  }
  if (ok && bitmap->palette) {
    int32_t n = SYS_MemSize(bitmap->palette);
    if (n <= 0) n = 1024;
    copy->palette = (uint8_t *)SYS_MemGet(n, "txDup: palette");
    ok = copy->palette != nullptr;
    if (ok) std::memcpy(copy->palette, bitmap->palette, (size_t)n);
  }
  if (!ok) {
    txRelease(copy);
    errSetLastError(5);
    return nullptr;
  }
  return copy;
}

int32_t txFree(txBitmap **bitmap) {
  errClear();
  if (!bitmap || !*bitmap) {
    errSetLastError(10);
    return -1;
  }
  txRelease(*bitmap);
  *bitmap = nullptr;
  return 0;
}

int32_t txSwapRB(txBitmap *bitmap) {
  errClear();
  if (!bitmap || bitmap->bits < 24) {
    errSetLastError(1000);
    return -1;
  }
  int32_t step = bitmap->bits / 8;
  for (int32_t i = 0; i < TX_MAX_LEVELS; ++i) {
    uint8_t *p = bitmap->image[i];
    if (!p) continue;
    int32_t pixels = bitmap->imagesize[i] / step;
    for (int32_t k = 0; k < pixels; ++k, p += step) std::swap(p[0], p[2]);
  }
  return 0;
}

int32_t txAddAlphaChannel(const char *alphaName, txBitmap *bitmap) {
  errClear();
  if (!alphaName || !bitmap) {
    errSetLastError(10);
    return -1;
  }
  return AddAlpha(alphaName, bitmap);
}

int32_t txGetBits(const txBitmap *bitmap) { return bitmap ? bitmap->bits : 0; }

uint8_t *txGetImage(const txBitmap *bitmap, int32_t level) {
  return bitmap && level >= 0 && level < TX_MAX_LEVELS ? bitmap->image[level] : nullptr;
}

int32_t txGetImageSize(const txBitmap *bitmap, int32_t level) {
  return bitmap && level >= 0 && level < TX_MAX_LEVELS ? bitmap->imagesize[level] : 0;
}

int32_t txVersion(void) { return 96; }

int32_t txGetError(void) { return errGetLastError(); }

}  // extern "C"
