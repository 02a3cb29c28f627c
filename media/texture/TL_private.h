// Texture loader internals shared by the loader, converters and filters: the
// process-wide settings, bitmap construction with overflow-safe sizes, and the
// log and error helpers that keep every failure path to one line.
// Depends on: base/log.h, base/mem.h, base/sizes.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/log.h"
#include "base/mem.h"
#include "base/sizes.h"
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
  // Deferred read of a large file through the default callbacks: only the first
  // pending bytes of adoptable are read, the file stays open, and txAdoptRows reads
  // the rows from the file into their final places (or the rest as it lies).
  int32_t pending;
  int32_t readFailed;
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

// Marks a reader's inner loop over pixels, which has no branch worth a fuzzer's
// corpus entry: under clang it is left without coverage instrumentation, which would
// make a picture of hundreds of megabytes cost tens of seconds there; the sanitizers
// still check every access.
#if defined(__clang__)
#define TX_PIXEL_LOOP __attribute__((no_sanitize("coverage")))
#else
#define TX_PIXEL_LOOP
#endif

// Largest file a load reads: the allocator's 32-bit sizes with room for the zero tail
// after the file's bytes.
constexpr int64_t kTxMaxFileBytes = 0x7FFFFFFF - TX_CHECK_BYTES;

// Largest buffer a reader makes: the allocator's 32-bit sizes with room for the
// loader's zero tail.
constexpr uint64_t kTxMaxImageBytes = 0x3FFFFFFF;

// What one load may hold: every buffer a reader that decodes compressed data (PNG,
// DDS, TQX; JPEG has its own, below) makes for one file together, the picture, its
// other levels and a decoder's whole-image arrays. 384 MiB: about what the costliest of
// those readers decodes in 2 s of processor time (korv-bench-texture-worst), however
// small the file; the readers of raw pixels are bounded by their files.
constexpr uint64_t kTxMaxLoadBytes = 384u << 20;
// What one JPEG load may hold, the picture and the library's coefficients of a file of
// several scans: the largest real texture it must take, an 8192 x 8192 progressive
// JPEG at full chroma resolution, 8192 x 8192 x 3 bytes of picture (192 MiB) and
// 3 x 1024 x 1024 blocks of 64 two-byte coefficients (384 MiB): 576 MiB. The time a
// small file may cost is bounded apart, by the reader's cap on the work its scans ask.
constexpr uint64_t kTxMaxJpegLoadBytes = 576u << 20;

// Adds bytes to what a load holds; false past limit (held unchanged). A reader whose
// largest real texture needs more than kTxMaxLoadBytes passes its own limit.
inline bool txHold(uint64_t &held, uint64_t bytes, uint64_t limit = kTxMaxLoadBytes) {
  return korv::SizeSum(held, bytes, limit, held);
}

// Refuses a picture that would pass what one load may hold, or another absolute
// limit of its reader: error 1005 and one line in the log whatever the options, with
// the file, the picture's sides and the reason (printf-style). Returns -1.
#define TX_REFUSE_SIZE(tag, width, height, ...) txRefuseSize(tag, SYS_POS, width, height, __VA_ARGS__)
int32_t txRefuseSize(const char *tag, const char *file, int line, const char *func, int64_t width, int64_t height,
                     const char *format, ...) __attribute__((format(printf, 7, 8)));

// Byte count of a w x h image of bits per pixel, or -1 when the sides are not
// positive, the depth is not a whole number of bytes, or the product exceeds
// kTxMaxImageBytes. Every reader and writer sizes its pixels through this.
inline int32_t txImageBytes(int64_t width, int64_t height, int64_t bits) {
  uint64_t w, h, n;
  if (bits <= 0 || bits % 8 != 0 || !korv::SizeFromSigned(width, INT32_MAX, w) ||
      !korv::SizeFromSigned(height, INT32_MAX, h) || w == 0 || h == 0 ||
      !korv::SizeProduct({w, h, (uint64_t)bits / 8}, kTxMaxImageBytes, n))
    return -1;
  return (int32_t)n;
}

// Bytes of a w x h picture of bits per pixel however large (INT64_MAX past that), or
// -1 when the sides are not positive int32 values or the depth is not a whole number
// of bytes. The readers of raw pixels test the file with it first (a claim the file
// cannot hold is damage, 1002), then the picture limit (TX_REFUSE_RAW).
inline int64_t txPictureBytes(int64_t width, int64_t height, int64_t bits) {
  uint64_t w, h, n;
  if (bits <= 0 || bits % 8 != 0 || !korv::SizeFromSigned(width, INT32_MAX, w) ||
      !korv::SizeFromSigned(height, INT32_MAX, h) || w == 0 || h == 0)
    return -1;
  return korv::SizeProduct({w, h, (uint64_t)bits / 8}, INT64_MAX, n) ? (int64_t)n : INT64_MAX;
}
// The refusal of a raw picture that its file holds but that passes kTxMaxImageBytes.
#define TX_REFUSE_RAW(tag, width, height, bits) \
  TX_REFUSE_SIZE(tag, width, height, "%d bits a pixel pass the %llu bytes of the largest picture", (int)(bits), \
                 (unsigned long long)kTxMaxImageBytes)

// Bytes of one row of width pixels of bits per pixel, or -1 as for txImageBytes;
// never a negative or over-INT32_MAX stride.
inline int32_t txRowBytes(int64_t width, int64_t bits) { return txImageBytes(width, 1, bits); }

// Whether the pixels are three or four channels of one byte each, the layouts whose
// R and B bytes txLoad may exchange (16-bit samples and grey+alpha are not).
inline bool txByteChannels(const txBitmap *b) {
  return b->bits == 24 || (b->bits == 32 && b->subtype == TX_SUB_ALPHA);
}

// Width and height of mipmap level i of a w x h image.
inline int32_t txLevelSide(int32_t side, int32_t level) {
  int32_t s = side >> level;
  return s < 1 ? 1 : s;
}

// "dir/name_a.ext" for "dir/name.ext", "name_a" without an extension; the dot counts
// only in the last path component. False when it does not fit outSize.
bool txAlphaName(const char *name, char *out, size_t outSize);

// Reverses the order of rows of rowBytes bytes in place.
void txReverseRows(uint8_t *data, int32_t rowBytes, int32_t rows);
// Turns the loader's file buffer into a level 0 of rows rows of rowBytes bytes, top
// row first: file row k lies at start + k * stride; reverse when the file stores the
// bottom row first. Returns the buffer, now the caller's, or null when data is not
// the adoptable buffer of the current load (the caller then copies).
uint8_t *txAdoptRows(const uint8_t *data, int64_t start, int64_t stride, int32_t rowBytes, int32_t rows,
                     bool reverse);
// Large files through the default callbacks are read in two steps (TL.cpp): the
// first kTxHead bytes, then, when the reader adopts its rows, the rows straight into
// place. Until then the rest of the buffer is zeros, so only a reader that says how
// many leading bytes it reads itself before txAdoptRows (the header, tables and
// masks; 0 when it needs the whole file) is given the short buffer, and only when
// that fits the head. The answer lives beside each reader, where it must change with
// it.
constexpr int32_t kTxHead = 64 << 10;
int64_t tgaHeadBytes(const uint8_t *head);
int64_t bmpHeadBytes(const uint8_t *head);
int64_t pnmHeadBytes(const uint8_t *head);
int64_t dicomHeadBytes(const uint8_t *head, int64_t size);

// The sides of the picture each reader would deliver, told from the first bytes
// bytes of a file of size bytes (all of it, or a large file's head) by the header
// parsing the reader itself goes by: the loader compares an "_a" image's sides with
// its picture's before the rest of the file is read or decoded. False when those
// bytes cannot tell: the header is cut or of a kind the reader refuses, or (JPEG) the
// height comes only with the first scan; the reader then decides as it loads.
bool tgaSides(const uint8_t *head, int64_t bytes, int64_t size, int64_t &width, int64_t &height);
bool bmpSides(const uint8_t *head, int64_t bytes, int64_t size, int64_t &width, int64_t &height);
bool pngSides(const uint8_t *head, int64_t bytes, int64_t size, int64_t &width, int64_t &height);
bool jpegSides(const uint8_t *head, int64_t bytes, int64_t size, int64_t &width, int64_t &height);
bool ddsSides(const uint8_t *head, int64_t bytes, int64_t size, int64_t &width, int64_t &height);
bool ddzSides(const uint8_t *head, int64_t bytes, int64_t size, int64_t &width, int64_t &height);
bool pnmSides(const uint8_t *head, int64_t bytes, int64_t size, int64_t &width, int64_t &height);
bool dicomSides(const uint8_t *head, int64_t bytes, int64_t size, int64_t &width, int64_t &height);

// The deferred read of the default callbacks: a zero-filled buffer of the open
// file's size plus the check tail with the first headBytes read, and a positioned
// read of the open file (0 or -1).
uint8_t *txIReadHead(int32_t headBytes);
int32_t txIReadAt(int64_t offset, uint8_t *dst, int64_t length);

// Frees a bitmap's buffers and the record itself (no error state touched).
void txRelease(txBitmap *bitmap);

// The library and texture-format filters (_png, _jpeg, _dds, _ddz).
extern "C" {
extern const tx_filter_t txPngFilter, txJpegFilter, txDdsFilter, txDdzFilter;
int32_t pngCheck(const uint8_t *data);
txBitmap *pngRead(const uint8_t *data, int32_t size);
// Most bytes libpng held at once during the last pngRead (its rows, zlib's state).
uint64_t pngLastLibPeak(void);
int32_t pngWrite(const char *path, txBitmap *bitmap);
int32_t jpegCheck(const uint8_t *data);
txBitmap *jpegRead(const uint8_t *data, int32_t size);
int32_t jpegWrite(const char *path, txBitmap *bitmap);
int32_t JPGWRITE(const char *name, const uint8_t *pixels, int32_t width, int32_t height, int32_t components);
int32_t ddsCheck(const uint8_t *data);
txBitmap *ddsRead(const uint8_t *data, int32_t size);
int32_t ddzCheck(const uint8_t *data);
txBitmap *ddzRead(const uint8_t *data, int32_t size);
int32_t ddzWrite(const char *path, txBitmap *bitmap);
// S3TC decoders: one level of width x height pixels, bits / 8 bytes each (R,G,B
// then A for 32 bits), top row first; blocks must hold the level's whole blocks.
void dxt1Decompress(const uint8_t *blocks, uint8_t *output, int32_t width, int32_t height, int32_t bits);
void dxt3Decompress(const uint8_t *blocks, uint8_t *output, int32_t width, int32_t height, int32_t bits);
void dxt5Decompress(const uint8_t *blocks, uint8_t *output, int32_t width, int32_t height, int32_t bits);
}

// The DXT kinds: index into txSettings.dxtAllowed, block bytes, GL format, depth.
struct txDxtKind_t {
  char fourcc[5];
  int32_t blockBytes;
  int32_t glFormat;
  int32_t bits;
  int32_t decodedSubtype;
  void (*decompress)(const uint8_t *, uint8_t *, int32_t, int32_t, int32_t);
};
// The kind of a FourCC, or null when it is none of DXT1, DXT3, DXT5; *index gets
// its slot in dxtAllowed.
const txDxtKind_t *txDxtKind(const uint8_t *fourcc, int32_t *index);
// Bytes of the DXT blocks of one w x h level (sides clamped to 1); -1 beyond
// kTxMaxImageBytes.
inline int64_t txDxtLevelBytes(int64_t w, int64_t h, int64_t blockBytes) {
  uint64_t n;
  const uint64_t bw = ((uint64_t)(w < 1 ? 1 : w) + 3) / 4, bh = ((uint64_t)(h < 1 ? 1 : h) + 3) / 4;
  return korv::SizeProduct({bw, bh, (uint64_t)blockBytes}, kTxMaxImageBytes, n) ? (int64_t)n : -1;
}
// Bytes of one DXT level decoded in software: max(64, w x h x bits / 8), or -1 past
// the image limit.
inline int32_t txDecodedLevelBytes(int64_t w, int64_t h, int64_t bits) {
  const int32_t n = txImageBytes(w < 1 ? 1 : w, h < 1 ? 1 : h, bits);
  return n < 0 ? -1 : n < 64 ? 64 : n;
}
// Adds one DXT level to what a load holds: its blocks when they are kept, its decoded
// pixels otherwise; false past either limit.
inline bool txHoldDxtLevel(uint64_t &held, int64_t w, int64_t h, int64_t blockBytes, int64_t bits, bool keep) {
  const int64_t blocks = txDxtLevelBytes(w, h, blockBytes);
  const int32_t out = keep ? 0 : txDecodedLevelBytes(w, h, bits);
  return blocks >= 0 && out >= 0 && txHold(held, keep ? (uint64_t)blocks : (uint64_t)out);
}
// Levels the quality setting skips in a file of the given level count.
int32_t txQualitySkip(int32_t levels);
