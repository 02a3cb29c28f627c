// PNG files made in memory through libpng, or for black pictures of any size straight
// over zlib. Shared by the texture tests and the PNG load benchmarks, which build
// their largest flat pictures with it a row at a time.
#pragma once

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <vector>

#include <png.h>
#include <zlib.h>

// The bytes libpng writes (compression level 9) when body(png, info) sets the header
// and writes the rows; empty when libpng stops with an error.
template <typename Body>
std::vector<uint8_t> PngBytes(Body body) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  auto write = [](png_structp p, png_bytep d, size_t n) {
    auto *o = (std::vector<uint8_t> *)png_get_io_ptr(p);
    o->insert(o->end(), d, d + n);
  };
  png_set_write_fn(png, &out, write, nullptr);
  png_set_compression_level(png, 9);
  body(png, info);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// A flat PNG: one row repeating pattern, written over and over (every pass of an
// interlaced file) with no row filter, so no picture is held and a zero row packs
// about 1030:1; plte, a palette image's colours (R, G, B each).
inline std::vector<uint8_t> FlatPng(int w, int h, int depth, int colourType, bool interlaced = false,
                                    const std::vector<uint8_t> &pattern = {0}, const std::vector<uint8_t> &plte = {}) {
  return PngBytes([&](png_structp png, png_infop info) {
    png_set_filter(png, 0, PNG_FILTER_NONE);
    png_set_IHDR(png, info, (png_uint_32)w, (png_uint_32)h, depth, colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!plte.empty()) png_set_PLTE(png, info, (png_const_colorp)plte.data(), (int)plte.size() / 3);
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    std::vector<png_byte> row(png_get_rowbytes(png, info));
    for (size_t i = 0; i < row.size(); ++i) row[i] = pattern[i % pattern.size()];
    for (int p = 0; p < passes; ++p)
      for (int y = 0; y < h; ++y) png_write_row(png, row.data());
  });
}

// A black PNG assembled chunk by chunk, never holding a row: every row (of every Adam7
// pass when interlaced) is the filter byte and zeros. The deflate stream repeats one
// block of up to a megabyte of rows (or of a row's zeros), each block deflated once
// after a full flush, so it stands alone and its bytes can be repeated; a picture of
// hundreds of megabytes costs little more than its file. Only the first maxStored bytes
// of the image data are written (a header with too little data behind it), excess zeros
// follow the rows in the same stream, and an ancillary chunk after the data pads the
// file to padTo bytes. A palette image gets a palette of every index, all black.
inline std::vector<uint8_t> ZeroPng(uint32_t w, uint32_t h, int depth, int colourType, bool interlaced,
                                    uint8_t filter = 0, size_t padTo = 0, uint64_t maxStored = UINT64_MAX,
                                    uint64_t excess = 0) {
  std::vector<uint8_t> f = {137, 'P', 'N', 'G', 13, 10, 26, 10};
  auto chunk = [&f](const char *type, const uint8_t *data, size_t n) {
    const size_t at = f.size();
    for (int s = 24; s >= 0; s -= 8) f.push_back((uint8_t)(n >> s));
    f.insert(f.end(), type, type + 4);
    if (n) f.insert(f.end(), data, data + n);
    const uint32_t crc = (uint32_t)crc32(0, f.data() + at + 4, (uInt)(n + 4));
    for (int s = 24; s >= 0; s -= 8) f.push_back((uint8_t)(crc >> s));
  };
  const uint8_t ihdr[13] = {(uint8_t)(w >> 24), (uint8_t)(w >> 16), (uint8_t)(w >> 8), (uint8_t)w,
                            (uint8_t)(h >> 24), (uint8_t)(h >> 16), (uint8_t)(h >> 8), (uint8_t)h,
                            (uint8_t)depth,     (uint8_t)colourType, 0, 0, (uint8_t)(interlaced ? 1 : 0)};
  chunk("IHDR", ihdr, sizeof ihdr);
  if (colourType == PNG_COLOR_TYPE_PALETTE) {
    const std::vector<uint8_t> plte((size_t)3 << depth, 0);
    chunk("PLTE", plte.data(), plte.size());
  }
  const uint64_t channels = colourType == PNG_COLOR_TYPE_RGB          ? 3
                            : colourType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                            : colourType == PNG_COLOR_TYPE_RGBA       ? 4
                                                                      : 1;
  constexpr size_t kBlock = (size_t)1 << 20;
  std::vector<uint8_t> z = {0x78, 0xDA}, out(kBlock + 4096);
  uLong adler = adler32(0, nullptr, 0);
  uint64_t left = maxStored;
  // Appends unit, times over (as far as maxStored allows).
  auto emit = [&](const std::vector<uint8_t> &unit, uint64_t times) {
    if (unit.empty() || times == 0 || left == 0) return;
    const uint64_t whole = std::min<uint64_t>(times, left / unit.size());
    const size_t part = whole < times ? (size_t)std::min<uint64_t>(left - whole * unit.size(), unit.size()) : 0;
    for (const auto &[n, count] : {std::pair<size_t, uint64_t>{unit.size(), whole}, {part, part ? 1 : 0}}) {
      if (count == 0) continue;
      z_stream zs = {};
      deflateInit2(&zs, 9, Z_DEFLATED, -15, 9, Z_RLE);
      zs.next_in = (Bytef *)unit.data();
      zs.avail_in = (uInt)n;
      zs.next_out = out.data();
      zs.avail_out = (uInt)out.size();
      deflate(&zs, Z_FULL_FLUSH);
      const size_t packed = out.size() - zs.avail_out;
      deflateEnd(&zs);
      const uLong a = adler32(adler32(0, nullptr, 0), unit.data(), (uInt)n);
      for (uint64_t i = 0; i < count; ++i) {
        z.insert(z.end(), out.data(), out.data() + packed);
        adler = adler32_combine(adler, a, (z_off_t)n);
      }
      left -= n * count;
    }
  };
  for (int pass = 0; pass < (interlaced ? 7 : 1); ++pass) {
    const uint64_t pw = interlaced ? PNG_PASS_COLS(w, pass) : w, ph = interlaced ? PNG_PASS_ROWS(h, pass) : h;
    if (pw == 0 || ph == 0) continue;
    const uint64_t rowBytes = (pw * channels * (uint64_t)depth + 7) / 8;
    if (rowBytes + 1 <= kBlock) {
      const uint64_t rows = std::min<uint64_t>(ph, kBlock / (rowBytes + 1));
      std::vector<uint8_t> unit(rows * (rowBytes + 1), 0);
      for (uint64_t i = 0; i < rows; ++i) unit[i * (rowBytes + 1)] = filter;
      emit(unit, ph / rows);
      unit.resize((ph % rows) * (rowBytes + 1));
      emit(unit, 1);
    } else {
      for (uint64_t y = 0; y < ph; ++y) {
        emit({filter}, 1);
        emit(std::vector<uint8_t>(kBlock, 0), rowBytes / kBlock);
        emit(std::vector<uint8_t>(rowBytes % kBlock, 0), 1);
      }
    }
  }
  emit(std::vector<uint8_t>(kBlock, 0), excess / kBlock);
  emit(std::vector<uint8_t>(excess % kBlock, 0), 1);
  z.insert(z.end(), {0x03, 0x00});  // the last block: fixed codes, empty
  for (int s = 24; s >= 0; s -= 8) z.push_back((uint8_t)(adler >> s));
  for (size_t at = 0; at < z.size(); at += kBlock) chunk("IDAT", z.data() + at, std::min(kBlock, z.size() - at));
  if (f.size() + 24 < padTo) {
    const std::vector<uint8_t> pad(padTo - f.size() - 24, 0);
    chunk("paDd", pad.data(), pad.size());
  }
  chunk("IEND", nullptr, 0);
  return f;
}
