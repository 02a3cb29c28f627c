// Texture loader: image files to txBitmap records and back.
//
// A load reads the whole file through five replaceable callbacks (by default the
// framework file layer, so packs work transparently), asks the filter table which
// format the leading bytes are, decodes, and then post-processes: an optional "_a"
// alpha image, the wanted byte order, an optional row flip, the quality shrink.
// Also here: the pixel converters and txScale (converters.cpp), the default file
// callbacks (read.cpp) and the filters (_tga, _bmp, _pnm, _dicom).
// Depends on: base (log, last error, tracked memory, options, file layer).
#pragma once

#include <cstdint>

extern "C" {

enum { TX_MAX_LEVELS = 13 };

// Byte orders (txBitmap.type).
enum { TX_TYPE_BGR = 0, TX_TYPE_RGB = 1, TX_TYPE_COMPRESSED = 5 };
// Channel layouts (txBitmap.subtype); for type 5 the GL compressed format instead.
enum {
  TX_SUB_OTHER = -1,
  TX_SUB_COLOR = 0,    // three channels, 24 bits
  TX_SUB_RGB = 1,      // three channels, only from txCreateDummy(1)
  TX_SUB_ALPHA = 2,    // four channels, 32 bits
  TX_SUB_GREY = 3,     // one channel, 8 bits
  TX_SUB_PALETTE = 4,  // 8-bit indices into palette
};
enum { TX_DXT1 = 0x83F0, TX_DXT3 = 0x83F2, TX_DXT5 = 0x83F3 };

// Filter ids (txBitmap.format, txSave).
enum {
  TX_FMT_TGA = 0, TX_FMT_JPEG = 1, TX_FMT_BMP = 2, TX_FMT_PNG = 3,
  TX_FMT_DDS = 4, TX_FMT_TQX = 5, TX_FMT_PNM = 6, TX_FMT_DICOM = 7,
};

typedef int32_t TImageSizeArray[TX_MAX_LEVELS];
typedef uint8_t *TImageArray[TX_MAX_LEVELS];

typedef struct txBitmap {
  int32_t type;
  int32_t subtype;
  int32_t format;
  char fourcc[4];  // "DXT1"/"DXT3"/"DXT5" from DDS files, else zero
  int32_t width, height;
  int32_t bits;
  int32_t levels;
  uint8_t *palette;  // 4 bytes per entry, owned by the bitmap
  TImageSizeArray imagesize;
  TImageArray image;  // level 0 first, rows packed without gaps
} txBitmap;

// The loader's file callbacks; all act on the one file a load has open.
typedef struct txFunctions {
  int32_t (*fOpen)(const char *name);
  void *(*fRead)(void);  // whole file in a tracked buffer
  int32_t (*fFSize)(void);
  int32_t (*fClose)(void);
  int32_t (*fFExist)(const char *name);
} txFunctions;

// One format filter. check sees the start of the file (the loader guarantees at
// least TX_CHECK_BYTES readable, zero past the end) and returns 0 for its format;
// read decodes data of size bytes; write is null for input-only filters.
typedef struct tx_filter_t {
  int32_t id;
  const char *author;
  const char *description;
  int32_t (*check)(const uint8_t *data);
  txBitmap *(*read)(const uint8_t *data, int32_t size);
  int32_t (*write)(const char *path, txBitmap *bitmap);
  intptr_t option[2];
} tx_filter_t;

// The longest prefix any check looks at (DICOM: 128-byte preamble and "DICM").
enum { TX_CHECK_BYTES = 132 };

int32_t txInit(const txFunctions *functions);
txBitmap *txLoad(const char *name);
int32_t txSave(int32_t format, const char *path, txBitmap *bitmap);
int32_t txOptions(int32_t code, int32_t value);
txBitmap *txCreateDummy(int32_t layout, int32_t width, int32_t height);
txBitmap *txDup(const txBitmap *bitmap);
int32_t txFree(txBitmap **bitmap);
int32_t txSwapRB(txBitmap *bitmap);
int32_t txAddAlphaChannel(const char *alphaName, txBitmap *bitmap);
const tx_filter_t *txFindFilter(const uint8_t *data);
int32_t txGetBits(const txBitmap *bitmap);
uint8_t *txGetImage(const txBitmap *bitmap, int32_t level);
int32_t txGetImageSize(const txBitmap *bitmap, int32_t level);
int32_t txVersion(void);
int32_t txGetError(void);

// Converters (level 0 only).
int32_t tx32to24(txBitmap *bitmap);
int32_t tx24to32(txBitmap *bitmap);
int32_t tx24to8(txBitmap *bitmap, int32_t offset);
int32_t tx8to24(txBitmap *bitmap);
txBitmap *txIntensity(const txBitmap *bitmap, int32_t weighted);
void txExpandPalette(const uint8_t *indices, uint8_t *output, int32_t count, const uint8_t *palette);
int32_t txInvert(txBitmap *bitmap);
int32_t txScale(txBitmap *bitmap, int32_t width, int32_t height);

// Default file callbacks over the framework file layer.
int32_t txIOpen(const char *name);
void *txIRead(void);
int32_t txIFSize(void);
int32_t txIClose(void);
int32_t txIExist(const char *name);

// Filters and their entry points (exposed for tests and tools).
extern const tx_filter_t txTgaFilter, txBmpFilter, txPnmFilter, txDicomFilter;
int32_t tgaCheck(const uint8_t *data);
txBitmap *tgaRead(const uint8_t *data, int32_t size);
int32_t tgaWrite(const char *path, txBitmap *bitmap);
int32_t bmpCheck(const uint8_t *data);
txBitmap *bmpRead(const uint8_t *data, int32_t size);
int32_t pnmCheck(const uint8_t *data);
txBitmap *pnmRead(const uint8_t *data, int32_t size);
int32_t pnmWrite(const char *path, txBitmap *bitmap);
int32_t dicomCheck(const uint8_t *data);
txBitmap *dicomRead(const uint8_t *data, int32_t size);

}  // extern "C"
