// PNG files made in memory through libpng. Shared by the texture tests and the PNG
// load benchmarks, which build their largest flat pictures with it a row at a time.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <vector>

#include <png.h>

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
