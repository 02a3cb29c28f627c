// The costliest small JPEGs the reader is meant to take, and a few it refuses, timed
// through txLoad from disk: many-scan progressive files up to the scan bound and past
// it, arithmetic-coded flat pictures, Huffman flat progressive pictures, a restart
// marker after every MCU, and an ordinary progressive photo-sized noise file for
// scale (the largest pictures, to what one load may hold, are in
// korv-bench-texture-worst). Prints per file its size, scans, the result (or
// the error) and the best of a few loads. The goal is korv-bench-texture-worst's:
// every file of at most 256 KB within 2 s of processor time.
// "costs" as the argument measures instead what the JPEG reader's work bound weighs:
// the processor time the library spends on each kind of scan for each block and each
// position of its band, and on the output pass for each block and sample (see Costs).
// Depends on: base (framework start), media/texture, libjpeg (the files).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <time.h>
#include <unistd.h>

#include "base/main.h"
#include "bench/load_average.h"
#include "media/texture/TL.h"
#include "tests/media/jpeg_maker.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

Bytes Flat(const JpegSpec &s) { return Bytes((size_t)s.width * s.height * s.components, 128); }

// A gradient with some noise (noise 0: a gradient alone, which codes to a few bytes a
// scan).
Bytes Textured(const JpegSpec &s, int noiseBits) {
  Bytes px((size_t)s.width * s.height * s.components);
  uint32_t r = 1;
  for (size_t i = 0; i < px.size(); ++i) {
    r = r * 1103515245u + 12345u;
    px[i] = (uint8_t)(((i / s.components) % s.width) * 255 / s.width / 2 + (noiseBits ? r >> (32 - noiseBits) : 0));
  }
  return px;
}

struct Case {
  const char *name;
  JpegSpec spec;
  int noiseBits;  // -1: flat
};

JpegSpec Spec(int w, int h, int components) {
  JpegSpec s;
  s.width = w, s.height = h, s.components = components;
  s.quality = 90;
  return s;
}


double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

// Processor time of the library alone on a file, the least of five: consuming its
// scans into coefficients (jpeg_read_coefficients), or the full decode to samples.
double LibraryTime(const Bytes &file, bool output) {
  double best = 1e9;
  for (int round = 0; round < 5; ++round) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, file.data(), (unsigned long)file.size());
    const double t0 = CpuSeconds();
    jpeg_read_header(&d, TRUE);
    if (output) {
      jpeg_start_decompress(&d);
      Bytes row((size_t)d.output_width * d.output_components);
      JSAMPROW p = row.data();
      while (d.output_scanline < d.output_height) jpeg_read_scanlines(&d, &p, 1);
      jpeg_finish_decompress(&d);
    } else {
      jpeg_read_coefficients(&d);
    }
    best = std::min(best, CpuSeconds() - t0);
    jpeg_destroy_decompress(&d);
  }
  return best;
}

// What each kind of scan costs, from files made from coefficients to walk the most
// for the least data, as differences between two files that differ by the scans
// measured (so the arrays, headers and the rest cancel): each block holds only
// coefficient 63 (1024), which makes an arithmetic-coded scan decide at every
// position of its band and a refinement scan walk it; DC values run as a sawtooth of
// 64 blocks of one step each. DC first: a file of that scan alone, with the arrays it
// fills (128 bytes a block, zeroed), which every file of several scans pays for each
// block. Per block: an AC scan of a one-position band; per
// position: the rest of a 63-position band over 62. Then the output pass, a flat
// picture's full decode less its consumption, split into blocks and samples from a
// grey and a 4:4:4 picture. One step of the reader's bound is about a quarter of a
// nanosecond: the weights are these figures times 4.
void Costs() {
  constexpr int kSide = 8192;
  const double blocks = (double)(kSide / 8) * (kSide / 8);
  static JCOEF sawtooth[64][DCTSIZE2] = {};
  for (int i = 0; i < 64; ++i) {
    sawtooth[i][0] = (JCOEF)(8 * i - 256);
    sawtooth[i][63] = 1024;
  }
  auto blockAt = [](int, int x, int) { return sawtooth[x % 64]; };
  std::printf("load average %.2f; %dx%d, %.0f blocks a component; ns of processor time, least of 5\n", LoadAverage(),
              kSide, kSide, blocks);
  for (const bool arithmetic : {false, true}) {
    auto make = [&](int components, std::vector<jpeg_scan_info> scans) {
      JpegSpec s;
      s.width = s.height = kSide, s.components = components, s.arithmetic = arithmetic;
      s.scans = std::move(scans);
      return MakeJpegFromCoefficients(s, blockAt);
    };
    auto time = [&](int components, std::vector<jpeg_scan_info> scans) {
      return LibraryTime(make(components, std::move(scans)), false);
    };
    const jpeg_scan_info dc = {1, {0}, 0, 0, 0, 0};
    auto refinements = [](std::vector<jpeg_scan_info> script, int se) {
      for (int bit = 9; bit >= 0; --bit) script.push_back({1, {0}, 1, se, bit + 1, bit});
      return script;
    };
    // DC first: a file of that scan alone, so with the coefficient arrays it fills
    // (allocated, zeroed: 128 bytes a block); DC refinement: five more scans.
    const double dcOnly = time(1, {dc});
    const double dcFirst = dcOnly / blocks;
    std::vector<jpeg_scan_info> dcRefine = {{1, {0}, 0, 0, 0, 5}};
    for (int bit = 4; bit >= 0; --bit) dcRefine.push_back({1, {0}, 0, 0, bit + 1, bit});
    const double dcRefineCost = (time(1, dcRefine) - time(1, {{1, {0}, 0, 0, 0, 5}})) / (5 * blocks);
    const double first1 = time(1, {dc, {1, {0}, 1, 1, 0, 10}}), first63 = time(1, {dc, {1, {0}, 1, 63, 0, 10}});
    const double refine1 = time(1, refinements({dc, {1, {0}, 1, 1, 0, 10}}, 1));
    const double refine63 = time(1, refinements({dc, {1, {0}, 1, 63, 0, 10}}, 63));
    const double firstPosition = (first63 - first1) / (62 * blocks);
    const double refinePosition = ((refine63 - first63) - (refine1 - first1)) / (10 * 62 * blocks);
    const double sequential = time(1, {{1, {0}, 0, 63, 0, 0}});
    std::printf("%s:\n", arithmetic ? "arithmetic" : "Huffman");
    std::printf("  DC first %6.2f a block, DC refinement %6.2f a block\n", dcFirst * 1e9, dcRefineCost * 1e9);
    std::printf("  AC first: %6.2f a block, %6.3f a position; refinement: %6.2f a block, %6.3f a position\n",
                ((first1 - dcOnly) / blocks - firstPosition) * 1e9, firstPosition * 1e9,
                ((refine1 - first1) / (10 * blocks) - refinePosition) * 1e9, refinePosition * 1e9);
    std::printf("  a sequential scan: %6.2f a block, %6.3f a position of 64\n", sequential / blocks * 1e9,
                sequential / blocks / 64 * 1e9);
  }
  // The output pass of flat pictures: grey, 4:4:4 and 4:2:0 colour.
  const struct {
    const char *name;
    int components, sampling;
    double blocks;  // a picture's blocks over a component's
  } shapes[] = {{"grey", 1, 1, 1}, {"colour 4:4:4", 3, 1, 3}, {"colour 4:2:0", 3, 2, 1.5}};
  for (const auto &shape : shapes) {
    JpegSpec s;
    s.width = s.height = kSide, s.components = shape.components, s.progressive = true;
    s.hSample = s.vSample = shape.sampling;
    const JCOEF flat[DCTSIZE2] = {};
    const Bytes file = MakeJpegFromCoefficients(s, flat);
    const double all = LibraryTime(file, true) - LibraryTime(file, false);
    std::printf("output pass, %-12s: %6.2f a block, %6.3f a sample\n", shape.name, all / (blocks * shape.blocks) * 1e9,
                all / ((double)kSide * kSide * shape.components) * 1e9);
  }
  std::printf("load average %.2f at end\n", LoadAverage());
}

}  // namespace

int main(int argc, char **argv) {
  if (argc > 1 && std::strcmp(argv[1], "costs") == 0) {
    Costs();
    return 0;
  }
  SYS_BaseInit(nullptr, 0, nullptr, nullptr);
  txInit(nullptr);
  txOptions(3, 1);
  const auto dir = std::filesystem::temp_directory_path() / ("korv-bench-jpeg-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  {
    // What the machine charges for fresh memory, which large pictures pay for their
    // level and the library's coefficient buffers whatever the coding.
    constexpr size_t kTouch = 48 << 20;
    const auto t0 = Clock::now();
    uint8_t *fresh = (uint8_t *)std::malloc(kTouch);
    std::memset(fresh, 1, kTouch);
    volatile uint8_t sink = fresh[kTouch / 2];
    (void)sink;
    std::printf("touching 48 MB of fresh memory: %.1f ms\n",
                std::chrono::duration<double>(Clock::now() - t0).count() * 1e3);
    std::free(fresh);
  }
  std::vector<Case> cases;
  auto add = [&](const char *name, JpegSpec s, int noiseBits = -1) { cases.push_back({name, s, noiseBits}); };
  for (int scans : {100, 128, 300, 694}) {
    JpegSpec s = Spec(4000, 4000, 1);
    s.scans = ManyScans(scans);
    add("grey 4000x4000, many scans", s, 0);
  }
  {
    JpegSpec s = Spec(1000, 1000, 1);
    s.scans = ManyScans(300);
    add("grey 1000x1000, many scans", s, 0);
    s.scans = ManyScans(301);
    add("grey 1000x1000, many scans", s, 0);
  }
  {
    JpegSpec s = Spec(2900, 2900, 3);
    s.scans = ManyScans(300, 3);
    add("colour 4:4:4 2900x2900, many scans", s, 0);
  }
  {
    JpegSpec s = Spec(4000, 4000, 1);
    s.scans = ManyScans(300);
    s.arithmetic = true;
    add("arithmetic grey 4000x4000, many scans", s, 0);
  }
  for (int side : {7000, 7200}) {
    JpegSpec s = Spec(side, side, 1);
    s.arithmetic = true;
    add(side == 7000 ? "arithmetic flat grey 7000x7000" : "arithmetic flat grey 7200x7200", s);
  }
  {
    JpegSpec s = Spec(4096, 4096, 3);
    s.arithmetic = true;
    add("arithmetic flat colour 4:4:4 4096x4096", s);
    s.progressive = true;
    add("arithmetic flat colour progressive 4096x4096", s);
    s.progressive = false;
    s.scans = ManyScans(300, 3);
    add("arithmetic flat colour 4096x4096, many scans", s);
  }
  {
    JpegSpec s = Spec(4096, 4096, 3);
    s.progressive = true;
    add("huffman flat colour 4:4:4 progressive 4096x4096", s);
    s = Spec(8192, 8192, 1);
    s.progressive = true;
    add("huffman flat grey progressive 8192x8192", s);
    s = Spec(8192, 8192, 3);
    s.hSample = s.vSample = 2;
    s.progressive = true;
    add("huffman flat colour 4:2:0 progressive 8192x8192", s);
    s = Spec(4096, 4096, 3);
    s.restartMcus = 1;
    add("huffman flat colour, restart every MCU 4096x4096", s);
    s = Spec(3000, 2000, 3);
    s.hSample = s.vSample = 2;
    s.progressive = true;
    add("textured colour 4:2:0 progressive 3000x2000", s, 5);
  }
  for (const Case &c : cases) {
    if (argc > 1 && !std::strstr(c.name, argv[1])) continue;
    const Bytes file = MakeJpegOf(c.spec, c.noiseBits >= 0 ? Textured(c.spec, c.noiseBits) : Flat(c.spec));
    const std::string path = (dir / "b.jpg").string();
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(file.data(), 1, file.size(), f) != file.size() || std::fclose(f) != 0) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    double best = 1e9;
    int error = 0;
    for (int round = 0; round < 3; ++round) {
      const auto t0 = Clock::now();
      txBitmap *b = txLoad(path.c_str());
      best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
      error = b ? 0 : txGetError();
      if (b) txFree(&b);
    }
    const size_t scans = c.spec.scans.empty() ? (c.spec.progressive ? (c.spec.components == 1 ? 6 : 10) : 1)
                                              : c.spec.scans.size();
    std::printf("%-50s %8zu bytes %4zu scans  %-10s %7.1f ms\n", c.name, file.size(), scans,
                error ? ("error " + std::to_string(error)).c_str() : "loads", best * 1e3);
  }
  std::filesystem::remove_all(dir);
  SYS_BaseDone();
  return 0;
}
