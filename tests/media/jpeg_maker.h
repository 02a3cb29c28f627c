// JPEG files of every coding the reader meets, made in memory through libjpeg: Huffman
// or arithmetic coding, baseline or progressive (the library's script or one given
// scan by scan), chroma sampling, restart intervals; from pixels, or from quantized
// coefficients block by block as a transcoder writes them. Shared by the texture tests
// and the JPEG load benchmarks, which craft their worst cases with it.
#pragma once

#include <algorithm>
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

// A compressor writing to memory, set up from a JpegSpec: sides, components, quality,
// coding, sampling, restarts and script. No Adobe segment, so a CMYK file is plain.
// It stays where it was made (the library keeps pointers into it).
struct JpegWriter {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  unsigned char *out = nullptr;
  unsigned long outSize = 0;

  explicit JpegWriter(const JpegSpec &s) {
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
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
  }
  JpegWriter(const JpegWriter &) = delete;
  JpegWriter &operator=(const JpegWriter &) = delete;

  // Ends the file and hands its bytes over.
  std::vector<uint8_t> Finish() {
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> f(out, out + outSize);
    std::free(out);
    return f;
  }
};

// rowAt(y) gives row y of width x components bytes, so a large picture need not be
// held whole; the pointer must stay valid until the next call.
template <typename RowAt>
inline std::vector<uint8_t> MakeJpegRows(const JpegSpec &s, RowAt rowAt) {
  JpegWriter w(s);
  jpeg_compress_struct &c = w.c;
  jpeg_start_compress(&c, TRUE);
  if (!s.jfif) {
    const char exif[] = "Exif\0\0";
    jpeg_write_marker(&c, JPEG_APP0 + 1, (const JOCTET *)exif, 6);
  }
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = (JSAMPROW)rowAt((int)c.next_scanline);
    jpeg_write_scanlines(&c, &row, 1);
  }
  return w.Finish();
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

// A file written from its quantized coefficients (jpeg_write_coefficients):
// blockAt(component, x, y) gives the 64 values of that block, in natural (row-major)
// order, whatever the script makes of them. Colour is Y,Cb,Cr sampled as JpegSpec
// says. The whole image's coefficients are held while writing (128 bytes a block).
template <typename BlockAt>
inline std::vector<uint8_t> MakeJpegFromCoefficients(const JpegSpec &s, BlockAt blockAt) {
  JpegWriter w(s);
  jpeg_compress_struct &c = w.c;
  // Each component's blocks, padded to whole MCUs as a decoder's arrays are.
  int maxH = 1, maxV = 1;
  for (int i = 0; i < c.num_components; ++i) {
    maxH = std::max(maxH, c.comp_info[i].h_samp_factor);
    maxV = std::max(maxV, c.comp_info[i].v_samp_factor);
  }
  jvirt_barray_ptr arrays[MAX_COMPONENTS] = {};
  JDIMENSION rows[MAX_COMPONENTS] = {}, columns[MAX_COMPONENTS] = {};
  for (int i = 0; i < c.num_components; ++i) {
    const jpeg_component_info &k = c.comp_info[i];
    const long h = k.h_samp_factor, v = k.v_samp_factor;
    const long wide = ((long)s.width * h + maxH - 1) / maxH, high = ((long)s.height * v + maxV - 1) / maxV;
    columns[i] = (JDIMENSION)(((wide + 7) / 8 + h - 1) / h * h);
    rows[i] = (JDIMENSION)(((high + 7) / 8 + v - 1) / v * v);
    arrays[i] = (*c.mem->request_virt_barray)((j_common_ptr)&c, JPOOL_IMAGE, FALSE, columns[i], rows[i],
                                              (JDIMENSION)v);
  }
  (*c.mem->realize_virt_arrays)((j_common_ptr)&c);
  for (int i = 0; i < c.num_components; ++i)
    for (JDIMENSION y = 0; y < rows[i]; ++y) {
      JBLOCKARRAY row = (*c.mem->access_virt_barray)((j_common_ptr)&c, arrays[i], y, 1, TRUE);
      for (JDIMENSION x = 0; x < columns[i]; ++x) {
        const JCOEF *block = blockAt(i, (int)x, (int)y);
        std::copy(block, block + DCTSIZE2, row[0][x]);
      }
    }
  jpeg_write_coefficients(&c, arrays);
  return w.Finish();
}

// Every block the same.
inline std::vector<uint8_t> MakeJpegFromCoefficients(const JpegSpec &s, const JCOEF (&block)[DCTSIZE2]) {
  return MakeJpegFromCoefficients(s, [&](int, int, int) { return block; });
}

// The script that makes a decoder walk every AC position of every block many times
// for almost no data: for each component (non-interleaved, as AC scans are) the band
// 1-63 sent from bit al down, a first scan and then one refinement scan a bit, after
// an interleaved DC scan. With a single nonzero coefficient at position 63 in every
// block, each of these scans walks all 63 positions of every block.
inline std::vector<jpeg_scan_info> WalkingScans(int components, int al) {
  std::vector<jpeg_scan_info> script;
  script.push_back({components, {0, 1, 2, 3}, 0, 0, 0, 0});
  for (int c = 0; c < components; ++c)
    for (int bit = al; bit >= 0; --bit) script.push_back({1, {c}, 1, 63, bit == al ? 0 : bit + 1, bit});
  return script;
}

// A script of spectral selection and successive approximation as a transcoder is
// given one: an interleaved DC scan at bit 1 and its refinement, then for each
// component each band (from each edge to the next, the last to 63) sent from bit al
// down, a first scan and then a refinement scan a bit. 2 + components x bands x
// (al + 1) scans.
inline std::vector<jpeg_scan_info> SuccessiveScans(int components, const std::vector<int> &edges, int al) {
  std::vector<jpeg_scan_info> script;
  script.push_back({components, {0, 1, 2, 3}, 0, 0, 0, 1});
  for (int c = 0; c < components; ++c)
    for (size_t b = 0; b < edges.size(); ++b) {
      const int ss = edges[b], se = b + 1 < edges.size() ? edges[b + 1] - 1 : 63;
      for (int bit = al; bit >= 0; --bit) script.push_back({1, {c}, ss, se, bit == al ? 0 : bit + 1, bit});
    }
  script.push_back({components, {0, 1, 2, 3}, 0, 0, 1, 0});
  return script;
}

// The same picture's coefficients written again, coded as given through the given
// script (empty: libjpeg's progressive script), as a transcoder rewrites a file.
inline std::vector<uint8_t> RescanJpeg(const std::vector<uint8_t> &file, bool arithmetic,
                                       const std::vector<jpeg_scan_info> &scans = {}) {
  jpeg_decompress_struct d;
  jpeg_error_mgr derr;
  d.err = jpeg_std_error(&derr);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, file.data(), (unsigned long)file.size());
  jpeg_read_header(&d, TRUE);
  jvirt_barray_ptr *coefficients = jpeg_read_coefficients(&d);
  jpeg_compress_struct c;
  jpeg_error_mgr cerr;
  c.err = jpeg_std_error(&cerr);
  jpeg_create_compress(&c);
  unsigned char *out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&c, &out, &outSize);
  jpeg_copy_critical_parameters(&d, &c);
  c.arith_code = arithmetic ? TRUE : FALSE;
  c.optimize_coding = arithmetic ? FALSE : TRUE;
  if (scans.empty()) {
    jpeg_simple_progression(&c);
  } else {
    c.scan_info = scans.data();
    c.num_scans = (int)scans.size();
  }
  jpeg_write_coefficients(&c, coefficients);
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  std::vector<uint8_t> f(out, out + outSize);
  std::free(out);
  return f;
}
