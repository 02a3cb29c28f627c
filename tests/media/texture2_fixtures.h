// Small PNG, JPEG, DDS and TQX files built in memory for the texture loader tests.
// PNG files are assembled chunk by chunk over zlib (independent of libpng) or, for
// packed depths and interlacing, written by libpng; JPEG files come from libjpeg's
// memory destination (jpeg_maker.h), DDS and TQX files from their headers and the
// given level bytes.
#pragma once

#include <cstdio>

#include <png.h>
#include <zlib.h>

#include <unistd.h>

#include <csetjmp>
#include <fstream>
#include <iterator>
#include <string>

#include "base/z.h"
#include "tests/media/dxt_maker.h"
#include "tests/media/jpeg_maker.h"
#include "tests/media/png_maker.h"
#include "tests/media/texture_fixtures.h"

inline void PutBE32(Bytes &b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back((uint8_t)(v >> s));
}

inline Bytes PngChunk(const char *type, const Bytes &data) {
  Bytes c;
  PutBE32(c, (uint32_t)data.size());
  Bytes body(type, type + 4);
  Append(body, data);
  Append(c, body);
  PutBE32(c, (uint32_t)crc32(0, body.data(), (uInt)body.size()));
  return c;
}

// filtered: the image data as the decoder sees it inflated (a filter byte of 0 in
// front of each row, or the Adam7 passes for interlaced files).
inline Bytes MakePngRaw(int w, int h, int depth, int colourType, const Bytes &filtered, const Bytes &plte = {},
                        int interlace = 0) {
  Bytes f = {137, 'P', 'N', 'G', 13, 10, 26, 10};
  Bytes ihdr;
  PutBE32(ihdr, (uint32_t)w);
  PutBE32(ihdr, (uint32_t)h);
  ihdr.insert(ihdr.end(), {(uint8_t)depth, (uint8_t)colourType, 0, 0, (uint8_t)interlace});
  Append(f, PngChunk("IHDR", ihdr));
  if (!plte.empty()) Append(f, PngChunk("PLTE", plte));
  uLongf packedSize = compressBound((uLong)filtered.size());
  Bytes packed(packedSize);
  compress2(packed.data(), &packedSize, filtered.data(), (uLong)filtered.size(), 9);
  packed.resize(packedSize);
  Append(f, PngChunk("IDAT", packed));
  Append(f, PngChunk("IEND", {}));
  return f;
}

// Rows of rowBytes each, top first, without filter bytes.
inline Bytes MakePng(int w, int h, int depth, int colourType, const Bytes &rows, size_t rowBytes,
                     const Bytes &plte = {}) {
  Bytes filtered;
  for (int y = 0; y < h; ++y) {
    filtered.push_back(0);
    filtered.insert(filtered.end(), rows.begin() + (long)(y * rowBytes), rows.begin() + (long)((y + 1) * rowBytes));
  }
  return MakePngRaw(w, h, depth, colourType, filtered, plte);
}

// A PNG written by libpng: rows packed as stored (samples below 8 bits share bytes),
// top row first; interlaced writes the Adam7 passes; alpha, the tRNS entries of a
// palette image.
inline Bytes WritePng(int w, int h, int depth, int colourType, const Bytes &rows, bool interlaced,
                      const Bytes &plte = {}, const Bytes &alpha = {}) {
  return PngBytes([&](png_structp png, png_infop info) {
    png_set_IHDR(png, info, (png_uint_32)w, (png_uint_32)h, depth, colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!plte.empty()) png_set_PLTE(png, info, (png_const_colorp)plte.data(), (int)plte.size() / 3);
    if (!alpha.empty()) png_set_tRNS(png, info, alpha.data(), (int)alpha.size(), nullptr);
    png_write_info(png, info);
    png_set_interlace_handling(png);
    std::vector<png_bytep> rowPointers((size_t)h);
    for (int y = 0; y < h; ++y)
      rowPointers[(size_t)y] = (png_bytep)rows.data() + (size_t)y * png_get_rowbytes(png, info);
    png_write_image(png, rowPointers.data());
  });
}

// The log written while run runs (the loader's verbose lines off).
template <typename Run>
std::string LogOf(Run run) {
  const std::string log = "texture2." + std::to_string(::getpid()) + ".log";
  EXPECT_EQ(SYS_DbgLogFile(log.c_str()), 0);
  SYS_DbgSetFlag(1);
  run();
  SYS_DbgSetFlag(0);
  std::ifstream in(log);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  std::remove(log.c_str());
  return text;
}

// Bytes this process has read through read() and the like so far.
inline uint64_t BytesRead() {
  std::ifstream io("/proc/self/io");
  std::string key;
  uint64_t value = 0;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return 0;
}

// The same JPEG file claiming other sides in its frame header.
inline Bytes Claiming(Bytes jpeg, int w, int h) {
  for (size_t i = 2; i + 9 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && (jpeg[i + 1] & 0xF0) == 0xC0 && jpeg[i + 1] != 0xC4 && jpeg[i + 1] != 0xC8 &&
        jpeg[i + 1] != 0xCC) {
      jpeg[i + 5] = (uint8_t)(h >> 8), jpeg[i + 6] = (uint8_t)h;
      jpeg[i + 7] = (uint8_t)(w >> 8), jpeg[i + 8] = (uint8_t)w;
      break;
    }
  return jpeg;
}

// A JPEG of the given pixels (1 or 3 components; 4 makes a CMYK file). jfif false
// leaves out the JFIF segment, as Exif files do.
inline Bytes MakeJpeg(int w, int h, int components, const Bytes &pixels, bool jfif = true, int quality = 100) {
  JpegSpec s;
  s.width = w, s.height = h, s.components = components;
  s.jfif = jfif;
  s.quality = quality;
  return MakeJpegOf(s, pixels);
}

// Every level a loaded bitmap claims is there and readable to its last byte.
inline ::testing::AssertionResult LevelsReadable(const txBitmap *b) {
  if (b->width <= 0 || b->height <= 0 || b->levels < 1 || b->levels > TX_MAX_LEVELS)
    return ::testing::AssertionFailure() << "bad record " << b->width << "x" << b->height << " " << b->levels;
  uint32_t sum = 0;
  for (int i = 0; i < b->levels; ++i) {
    if (!b->image[i] || b->imagesize[i] <= 0) return ::testing::AssertionFailure() << "level " << i << " missing";
    if (b->type != TX_TYPE_COMPRESSED) {
      const int64_t w = std::max(b->width >> i, 1), h = std::max(b->height >> i, 1);
      if (b->imagesize[i] < w * h * (b->bits / 8)) return ::testing::AssertionFailure() << "level " << i << " short";
    }
    for (int32_t k = 0; k < b->imagesize[i]; ++k) sum += b->image[i][k];
  }
  volatile uint32_t sink = sum;
  (void)sink;
  return ::testing::AssertionSuccess();
}
