// JPEG files of every coding the reader meets, made in memory through libjpeg: Huffman
// or arithmetic coding, baseline or progressive (the library's script or one given
// scan by scan), chroma sampling, restart intervals. Shared by the texture tests and
// the JPEG load benchmark, which crafts its worst cases with it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

struct JpegSpec {
  int width = 8, height = 8;
  int components = 3;  // 1 grey, 3 colour, 4 CMYK
  int quality = 100;
  bool jfif = true;  // false: no JFIF segment, an Exif segment in its place
  bool arithmetic = false;
  bool progressive = false;  // the library's progressive script, unless scans are given
  std::vector<jpeg_scan_info> scans;
  int hSample = 1, vSample = 1;  // luma sampling against chroma: 2, 2 is 4:2:0
  int restartRows = 0;           // a restart marker every so many MCU rows
  int restartMcus = 0;           // or every so many MCUs
};

// rowAt(y) gives row y of width x components bytes, so a large picture need not be
// held whole; the pointer must stay valid until the next call.
template <typename RowAt>
inline std::vector<uint8_t> MakeJpegRows(const JpegSpec &s, RowAt rowAt) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char *out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&c, &out, &outSize);
  c.image_width = (JDIMENSION)s.width;
  c.image_height = (JDIMENSION)s.height;
  c.input_components = s.components;
  c.in_color_space = s.components == 1 ? JCS_GRAYSCALE : s.components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, s.quality, TRUE);
  c.write_JFIF_header = s.jfif ? TRUE : FALSE;
  c.write_Adobe_marker = FALSE;
  c.arith_code = s.arithmetic ? TRUE : FALSE;
  if (s.components == 3) {
    c.comp_info[0].h_samp_factor = s.hSample;
    c.comp_info[0].v_samp_factor = s.vSample;
  }
  c.restart_in_rows = s.restartRows;
  c.restart_interval = (unsigned)s.restartMcus;
  if (!s.scans.empty()) {
    c.scan_info = s.scans.data();
    c.num_scans = (int)s.scans.size();
  } else if (s.progressive) {
    jpeg_simple_progression(&c);
  }
  jpeg_start_compress(&c, TRUE);
  if (!s.jfif) {
    const char exif[] = "Exif\0\0";
    jpeg_write_marker(&c, JPEG_APP0 + 1, (const JOCTET *)exif, 6);
  }
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = (JSAMPROW)rowAt((int)c.next_scanline);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::vector<uint8_t> f(out, out + outSize);
  std::free(out);
  return f;
}

inline std::vector<uint8_t> MakeJpegOf(const JpegSpec &s, const std::vector<uint8_t> &pixels) {
  return MakeJpegRows(s, [&](int y) { return pixels.data() + (size_t)y * s.width * s.components; });
}

// A progressive script of as many scans as libjpeg lets an encoder write: the DC
// scan, then each AC coefficient of each component alone, sent from bit 10 down one
// bit a scan. Cut to the given number of scans (still a valid file: only the DC scan
// is required). Each scan carries a few bytes, yet costs a decoder a pass over every
// block of its component: the hostile many-scan file.
inline std::vector<jpeg_scan_info> ManyScans(int scans, int components = 1) {
  std::vector<jpeg_scan_info> script;
  jpeg_scan_info dc = {components, {0, 1, 2, 3}, 0, 0, 0, 0};
  script.push_back(dc);
  for (int k = 1; k <= 63; ++k)
    for (int c = 0; c < components; ++c)
      for (int bit = 10; bit >= 0; --bit) {
        if ((int)script.size() == scans) return script;
        script.push_back({1, {c}, k, k, bit == 10 ? 0 : bit + 1, bit});
      }
  return script;
}
