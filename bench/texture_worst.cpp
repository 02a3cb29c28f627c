// The slowest and the largest inputs the texture loader takes, each loaded in a
// process of its own so that its peak memory is its own. Each case is built to make its
// reader do the most work per file byte within the loader's limits: flat pictures up
// to what one load may hold (1-, 2- and 4-bit PNG pages, arithmetic-coded and
// progressive JPEGs, packed TQX levels decoded or kept), PNG rows that each carry a
// Paeth filter byte, deflated zeros past a PNG's last row, scans up to the work
// bound, the largest flat files deflate allows under 256 KB, thousands of header
// lines or elements, and the large valid textures the former ratio bounds refused. Each file is written to a temporary directory and
// loaded through txLoad with the default callbacks; printed per case: file size,
// outcome (or error), processor time of the fastest and slowest of a few loads, the
// peak resident memory of the loading process and the load average after it. Goal: no
// file of at most 256 KB takes more than 2 s of processor time (its slowest load), and
// no load passes 2 GiB. Then txScale against the shrink it replaced (a sum cell per target
// pixel), interleaved, with a byte comparison of the two results. A part of a case's
// name as the argument runs only the cases that contain it.
// Depends on: base (framework start, compressed blocks), media/texture, libpng,
// libjpeg (the files).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "base/log.h"
#include "base/main.h"
#include "base/mem.h"
#include "base/z.h"
#include "bench/load_average.h"
#include "media/texture/TL.h"
#include "tests/media/dxt_maker.h"
#include "tests/media/jpeg_maker.h"
#include "tests/media/png_maker.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
constexpr size_t kLimit = 256 << 10;
constexpr int kRounds = 3;
constexpr double kCpuGoal = 2.0;
constexpr double kPeakGoalMiB = 2048;

// Processor time of this process: on a shared machine the wall time swings with the
// load.
double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

void Put(Bytes &f, size_t at, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) f[at + i] = (uint8_t)(v >> (8 * i));
}
void Append(Bytes &f, const void *p, size_t n) { f.insert(f.end(), (const uint8_t *)p, (const uint8_t *)p + n); }

// A TQX file of levels from w x h down, as many as given, each packed from blocks
// that repeat one block (all zeros when none is given).
Bytes PackedTqx(int w, int h, const char *fourcc, int levels, const Bytes &block = {}) {
  const int blockBytes = std::strcmp(fourcc, "DXT1") == 0 ? 8 : 16;
  std::vector<Bytes> raw;
  for (int i = 0; i < levels; ++i) {
    const int lw = std::max(w >> i, 1), lh = std::max(h >> i, 1);
    raw.emplace_back((size_t)((lw + 3) / 4) * ((lh + 3) / 4) * blockBytes, 0);
    if (!block.empty())
      for (size_t at = 0; at < raw.back().size(); at += block.size())
        std::memcpy(raw.back().data() + at, block.data(), block.size());
  }
  return MakeTqx(w, h, fourcc, raw, std::vector<bool>((size_t)levels, true));
}

Bytes Dds(int w, int h, const char *fourcc) {
  return MakeDds(w, h, 0, fourcc, Bytes((size_t)((w + 3) / 4) * ((h + 3) / 4) * 8, 0x55));
}

// "P5", then comment lines up to the size limit, then a 1x1 image.
Bytes PnmComments() {
  std::string s = "P5\n";
  while (s.size() < kLimit - 64) s += "#\n";
  s += "1 1\n255\n";
  Bytes f(s.begin(), s.end());
  f.push_back(7);
  return f;
}

// The smallest elements, one after another, then a 1x1 grey image.
Bytes DicomElements() {
  Bytes f(128, 0);
  f.reserve(kLimit);
  Append(f, "DICM", 4);
  const uint8_t empty[8] = {0x08, 0x00, 0x10, 0x00, 'C', 'S', 0, 0};
  while (f.size() < kLimit - 128) Append(f, empty, sizeof empty);
  const uint8_t tail[] = {0x28, 0, 0x02, 0, 'U', 'S', 2, 0, 1, 0, 0x28, 0, 0x10, 0, 'U', 'S', 2, 0, 1, 0,
                          0x28, 0, 0x11, 0, 'U', 'S', 2, 0, 1, 0, 0xE0, 0x7F, 0x10, 0, 'O', 'B', 0, 0,
                          2,    0, 0,    0, 9, 0};
  Append(f, tail, sizeof tail);
  return f;
}

// A JPEG of one row repeated: flat, or a smooth left-to-right ramp.
Bytes RowJpeg(JpegSpec s, bool ramp = false) {
  Bytes row((size_t)s.width * s.components, 128);
  if (ramp)
    for (size_t i = 0; i < row.size(); ++i) row[i] = (uint8_t)(i / s.components * 200 / s.width + 20 * (i % s.components));
  return MakeJpegRows(s, [&](int) { return row.data(); });
}

JpegSpec Jpeg(int w, int h, int components, bool arithmetic, bool progressive, int scans = 0) {
  JpegSpec s;
  s.width = w, s.height = h, s.components = components;
  s.quality = 75;
  s.arithmetic = arithmetic;
  s.progressive = progressive;
  if (scans) s.scans = ManyScans(scans, components);
  if (components == 3) s.hSample = s.vSample = 2;
  return s;
}

// The same at full chroma resolution (4:4:4).
JpegSpec FullChroma(JpegSpec s) {
  s.hSample = s.vSample = 1;
  return s;
}

// A JPEG written from coefficients whose every block holds only coefficient 63, or
// nothing: with an arithmetic-coded walking script every scan decides at every
// position of its band in every block, and a refinement scan walks its band, for a
// few hundred bytes of data. The coefficient is 1024, whose magnitude's decisions cost
// no bits either when every block holds it (2^14 would take more decisions, but
// costs a bit or two a block). Colour is 4:4:4.
JpegSpec Coded(int side, int components, bool arithmetic, std::vector<jpeg_scan_info> scans, int restartMcus = 0) {
  JpegSpec s;
  s.width = s.height = side, s.components = components, s.arithmetic = arithmetic;
  s.scans = std::move(scans);
  s.progressive = s.scans.empty();
  s.restartMcus = restartMcus;
  return s;
}

// One sequential scan of every component.
std::vector<jpeg_scan_info> Sequential(int components) { return {{components, {0, 1, 2, 3}, 0, 63, 0, 0}}; }

Bytes Walking(const JpegSpec &s, bool zero = false) {
  JCOEF block[DCTSIZE2] = {};
  if (!zero) block[63] = 1024;
  return MakeJpegFromCoefficients(s, block);
}

// Smooth waves and noise of +-19 a sample, 8192 x 8192 at full chroma resolution
// through libjpeg's progressive script: a photo's 13 MB. Made once; its
// coefficients rewritten through other scripts or coded arithmetically, as a
// transcoder does.
const Bytes &Photo() {
  static const Bytes photo = [] {
    const JpegSpec s = FullChroma(Jpeg(8192, 8192, 3, false, true));
    std::vector<int> across(8192 * 3), down(8192 * 3);
    for (int i = 0; i < 8192 * 3; ++i) {
      across[i] = (int)(60 * std::sin(i / 3 * 0.0021 + i % 3));
      down[i] = (int)(40 * std::cos(i / 3 * 0.0017 - i % 3 * 0.5));
    }
    Bytes row(8192 * 3);
    uint32_t seed = 1;
    return MakeJpegRows(s, [&](int y) {
      for (int i = 0; i < 8192 * 3; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int v = 128 + across[i] + down[y * 3 + i % 3] + (int)((seed >> 16) % 39) - 19;
        row[i] = (uint8_t)std::clamp(v, 0, 255);
      }
      return row.data();
    });
  }();
  return photo;
}

// A 24-bit BMP and a TGA of about the size limit, in the shapes the readers move
// most for: one pixel wide with padded rows, and bottom-up.
Bytes TallBmp() {
  const int h = (int)((kLimit - 54) / 4);
  Bytes f(54 + (size_t)h * 4, 0x33);
  f[0] = 'B', f[1] = 'M';
  Put(f, 2, (uint32_t)f.size(), 4);
  Put(f, 10, 54, 4);
  Put(f, 14, 40, 4);
  Put(f, 18, 1, 4);
  Put(f, 22, (uint32_t)h, 4);
  Put(f, 26, 1, 2);
  Put(f, 28, 24, 2);
  Put(f, 30, 0, 4);
  Put(f, 34, (uint32_t)h * 4, 4);
  Put(f, 46, 0, 4);
  return f;
}

Bytes WideTga() {
  const int w = 32767, h = (int)((kLimit - 18) / (3 * 32767));
  Bytes f(18 + (size_t)w * h * 3, 0x44);
  std::memset(f.data(), 0, 18);
  f[2] = 2;
  Put(f, 12, (uint32_t)w, 2);
  Put(f, 14, (uint32_t)h, 2);
  f[16] = 24;
  return f;
}

// The former txScale loop: one sum cell of five int32 per target pixel.
bool ShrinkBefore(const uint8_t *src, int32_t width, int32_t height, int32_t B, int32_t W, int32_t H, Bytes &out) {
  const int32_t N = std::min(B, 4);
  int32_t *acc = (int32_t *)SYS_MemGet((int64_t)W * H * 5 * 4, "bench: cells");
  uint8_t *o = (uint8_t *)SYS_MemGet((int64_t)W * H * B, "bench: out");
  if (!acc || !o) return false;
  const float rx = (float)width / (float)W, ry = (float)height / (float)H;
  const float ix = 1.0f / rx, iy = 1.0f / ry;
  for (int32_t y = 0; y < height; ++y) {
    int32_t ty = std::min((int32_t)((float)y * iy), H - 1);
    int32_t *row = acc + (size_t)ty * W * 5;
    const uint8_t *p = src + (size_t)y * width * B;
    for (int32_t x = 0; x < width; ++x, p += B) {
      int32_t *cell = row + std::min((int32_t)((float)x * ix), W - 1) * 5;
      for (int32_t c = 0; c < N; ++c) cell[c] += p[c];
      cell[4] += 1;
    }
  }
  for (int32_t i = 0; i < W * H; ++i) {
    const int32_t *cell = acc + (size_t)i * 5;
    if (cell[4] == 0) continue;
    const float inv = 1.0f / (float)cell[4];
    for (int32_t c = 0; c < N; ++c) o[(size_t)i * B + c] = (uint8_t)std::clamp((float)cell[c] * inv, 0.0f, 255.0f);
  }
  out.assign(o, o + (size_t)W * H * B);
  SYS_MemFree(&acc);
  SYS_MemFree(&o);
  return true;
}

// Before and after on one source, interleaved; false when the bytes differ.
bool CompareShrink(int32_t width, int32_t height, int32_t bits, int32_t W, int32_t H) {
  txBitmap *src = txCreateDummy(bits == 8 ? 3 : bits == 24 ? 0 : 2, width, height);
  if (!src) return false;
  uint32_t seed = 7;
  for (int32_t i = 0; i < src->imagesize[0]; ++i) src->image[0][i] = (uint8_t)((seed = seed * 1664525u + 1013904223u) >> 24);
  double before = 1e9, after = 1e9;
  bool same = true;
  for (int r = 0; r < kRounds; ++r) {
    Bytes old;
    auto t0 = Clock::now();
    same = ShrinkBefore(src->image[0], width, height, bits / 8, W, H, old) && same;
    before = std::min(before, std::chrono::duration<double>(Clock::now() - t0).count());
    txBitmap *b = txDup(src);
    t0 = Clock::now();
    same = b && txScale(b, W, H) == 0 && same;
    after = std::min(after, std::chrono::duration<double>(Clock::now() - t0).count());
    same = same && Bytes(b->image[0], b->image[0] + b->imagesize[0]) == old;
    if (b) txFree(&b);
  }
  txFree(&src);
  std::printf("txScale %dx%d %d-bit to %dx%d: before %7.1f ms, after %7.1f ms, %s\n", width, height, bits, W, H,
              before * 1e3, after * 1e3, same ? "byte-identical" : "DIFFERENT");
  return same;
}

struct Case {
  const char *name;
  std::function<Bytes()> make;
  std::function<void()> options;
};

void Defaults() {
  txOptions(2, 0);
  txOptions(0, 1);
  txOptions(0x83F0, 0);
  txOptions(0x83F2, 0);
  txOptions(0x83F3, 0);
}

std::function<void()> Kept(int32_t format) {
  return [format] {
    Defaults();
    txOptions(format, 1);
  };
}

// What a child reports of its loads.
struct Outcome {
  double cpuBest, cpuWorst, wallBest;
  int32_t error, width, height;
  bool loaded;
};

// Loads path kRounds times in a child process; its peak resident memory (KiB) comes
// back in peakKiB. False when the child did not report.
bool LoadInChild(const std::string &path, const std::function<void()> &options, Outcome &out, long &peakKiB) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    options();
    Outcome o = {1e9, 0, 1e9, 0, 0, 0, false};
    for (int r = 0; r < kRounds; ++r) {
      const auto t0 = Clock::now();
      const double c0 = CpuSeconds();
      txBitmap *b = txLoad(path.c_str());
      const double cpu = CpuSeconds() - c0;
      o.wallBest = std::min(o.wallBest, std::chrono::duration<double>(Clock::now() - t0).count());
      o.cpuBest = std::min(o.cpuBest, cpu);
      o.cpuWorst = std::max(o.cpuWorst, cpu);
      o.loaded = b != nullptr;
      o.error = o.loaded ? 0 : errGetLastError();
      if (b) o.width = b->width, o.height = b->height;
      if (b) txFree(&b);
    }
    const bool ok = write(fds[1], &o, sizeof o) == (ssize_t)sizeof o;
    _exit(ok ? 0 : 1);
  }
  close(fds[1]);
  const bool got = pid > 0 && read(fds[0], &out, sizeof out) == (ssize_t)sizeof out;
  close(fds[0]);
  int status = 0;
  rusage usage = {};
  if (pid > 0) wait4(pid, &status, 0, &usage);
  peakKiB = usage.ru_maxrss;
  return got && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char **argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // a line per case as it ends
  SYS_BaseInit(nullptr, 0, nullptr, nullptr);
  txInit(nullptr);
  const auto dir = std::filesystem::temp_directory_path() / ("korv-bench-worst-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const Bytes flatDxt1 = {0x1F, 0x7C, 0x1F, 0x7C, 0, 0, 0, 0};  // c0 = c1: one colour, three-colour mode
  const std::vector<Case> cases = {
      // Flat pictures up to what one load may hold.
      {"png 20060x20060 1-bit grey", [] { return FlatPng(20060, 20060, 1, PNG_COLOR_TYPE_GRAY, false); }, Defaults},
      {"png 20060x20060 1-bit grey interlaced", [] { return FlatPng(20060, 20060, 1, PNG_COLOR_TYPE_GRAY, true); },
       Defaults},
      {"png 20070x20070 1-bit grey (past the limit)",
       [] { return FlatPng(20070, 20070, 1, PNG_COLOR_TYPE_GRAY, false); }, Defaults},
      {"png 8192x8190 RGBA (deflate's most under 256 KB)",
       [] { return FlatPng(8192, 8190, 8, PNG_COLOR_TYPE_RGBA, false); }, Defaults},
      // Packed pages at the limit, plain and with a Paeth filter byte on every row,
      // which libpng undoes a byte at a time, and at 8 bits and more the most rows
      // under 256 KB with such a byte, deflated (as the packed pages) with matches one
      // byte back, the slowest to inflate.
      {"png 20060x20060 2-bit grey", [] { return ZeroPng(20060, 20060, 2, PNG_COLOR_TYPE_GRAY, false); }, Defaults},
      {"png 20060x20060 4-bit palette", [] { return ZeroPng(20060, 20060, 4, PNG_COLOR_TYPE_PALETTE, false); },
       Defaults},
      {"png 20060x20060 4-bit palette interlaced",
       [] { return ZeroPng(20060, 20060, 4, PNG_COLOR_TYPE_PALETTE, true); }, Defaults},
      {"png 20060x20060 1-bit grey, Paeth", [] { return ZeroPng(20060, 20060, 1, PNG_COLOR_TYPE_GRAY, false, 4); },
       Defaults},
      {"png 20060x20060 1-bit grey interlaced, Paeth",
       [] { return ZeroPng(20060, 20060, 1, PNG_COLOR_TYPE_GRAY, true, 4); }, Defaults},
      {"png 20060x20060 2-bit grey, Paeth", [] { return ZeroPng(20060, 20060, 2, PNG_COLOR_TYPE_GRAY, false, 4); },
       Defaults},
      {"png 20060x20060 2-bit grey interlaced, Paeth",
       [] { return ZeroPng(20060, 20060, 2, PNG_COLOR_TYPE_GRAY, true, 4); }, Defaults},
      {"png 20060x20060 4-bit palette, Paeth",
       [] { return ZeroPng(20060, 20060, 4, PNG_COLOR_TYPE_PALETTE, false, 4); }, Defaults},
      {"png 20060x20060 4-bit palette interlaced, Paeth",
       [] { return ZeroPng(20060, 20060, 4, PNG_COLOR_TYPE_PALETTE, true, 4); }, Defaults},
      {"png 20066x19000 4-bit palette interlaced, Paeth",
       [] { return ZeroPng(20066, 19000, 4, PNG_COLOR_TYPE_PALETTE, true, 4); }, Defaults},
      {"png 15500x15500 8-bit grey, Paeth", [] { return ZeroPng(15500, 15500, 8, PNG_COLOR_TYPE_GRAY, false, 4); },
       Defaults},
      {"png 14760x14760 8-bit grey interlaced, Paeth",
       [] { return ZeroPng(14760, 14760, 8, PNG_COLOR_TYPE_GRAY, true, 4); }, Defaults},
      {"png 15500x15500 8-bit palette, Paeth",
       [] { return ZeroPng(15500, 15500, 8, PNG_COLOR_TYPE_PALETTE, false, 4); }, Defaults},
      {"png 10960x10960 16-bit grey, Paeth",
       [] { return ZeroPng(10960, 10960, 16, PNG_COLOR_TYPE_GRAY, false, 4); }, Defaults},
      {"png 8960x8960 RGB, Paeth", [] { return ZeroPng(8960, 8960, 8, PNG_COLOR_TYPE_RGB, false, 4); }, Defaults},
      {"png 7750x7750 RGBA interlaced, Paeth", [] { return ZeroPng(7750, 7750, 8, PNG_COLOR_TYPE_RGBA, true, 4); },
       Defaults},
      {"png 5480x5480 RGBA 16-bit, Paeth", [] { return ZeroPng(5480, 5480, 16, PNG_COLOR_TYPE_RGBA, false, 4); },
       Defaults},
      // Deflated zeros after the last row, about 1011 bytes to a byte of file: inflating
      // the rest of the stream only to drop it would be the whole cost.
      {"png 1x1 grey, 252 MiB of zeros deflated after its row",
       [] { return ZeroPng(1, 1, 8, PNG_COLOR_TYPE_GRAY, false, 0, 0, UINT64_MAX, 252ull << 20); }, Defaults},
      {"png 1x1 grey, 4 MB of deflated zeros after its row",
       [] { return ZeroPng(1, 1, 8, PNG_COLOR_TYPE_GRAY, false, 0, 0, UINT64_MAX, 4044ull << 20); }, Defaults},
      {"png 1x1 grey, 16 MB of deflated zeros after its row",
       [] { return ZeroPng(1, 1, 8, PNG_COLOR_TYPE_GRAY, false, 0, 0, UINT64_MAX, 16178ull << 20); }, Defaults},
      {"jpeg 14504x14504 grey arithmetic", [] { return RowJpeg(Jpeg(14504, 14504, 1, true, false)); }, Defaults},
      {"jpeg 11584x11584 colour 4:2:0 arithmetic", [] { return RowJpeg(Jpeg(11584, 11584, 3, true, false)); },
       Defaults},
      {"jpeg 9808x9808 grey arithmetic progressive", [] { return RowJpeg(Jpeg(9808, 9808, 1, true, true)); },
       Defaults},
      {"jpeg 11584x11584 grey arithmetic 12 scans", [] { return RowJpeg(Jpeg(11584, 11584, 1, true, false, 12)); },
       Defaults},
      {"jpeg 11584x11584 grey 12 scans", [] { return RowJpeg(Jpeg(11584, 11584, 1, false, false, 12)); }, Defaults},
      {"jpeg 2800x2800 grey 300 scans", [] { return RowJpeg(Jpeg(2800, 2800, 1, false, false, 300)); }, Defaults},
      {"jpeg 1400x1400 grey arithmetic 300 scans", [] { return RowJpeg(Jpeg(1400, 1400, 1, true, false, 300)); },
       Defaults},
      {"jpeg 6000x6000 colour 4:2:0 progressive", [] { return RowJpeg(Jpeg(6000, 6000, 3, false, true)); },
       Defaults},
      {"jpeg 8192x8192 colour 4:2:0 progressive (384 MiB with its coefficients)",
       [] { return RowJpeg(Jpeg(8192, 8192, 3, false, true)); }, Defaults},
      {"tqx 7960x7960 DXT5, 13 packed levels, decoded", [] { return PackedTqx(7960, 7960, "DXT5", 13); },
       Defaults},
      {"tqx 9440x9440 DXT1, 13 packed levels, decoded", [] { return PackedTqx(9440, 9440, "DXT1", 13); },
       Defaults},
      {"tqx 19000x19000 DXT1, 13 packed levels, kept", [] { return PackedTqx(19000, 19000, "DXT1", 13); },
       Kept(0x83F0)},
      {"tqx 16384x16384 DXT5, 1 packed level, decoded (past the limit)",
       [] { return PackedTqx(16384, 16384, "DXT5", 1); }, Defaults},
      // Large valid textures that the former ratio bounds refused.
      {"png 8192x8192 RGBA flat", [] { return FlatPng(8192, 8192, 8, PNG_COLOR_TYPE_RGBA, false); }, Defaults},
      {"jpeg 6000x4000 colour 4:2:2 progressive, smooth",
       [] {
         JpegSpec s = Jpeg(6000, 4000, 3, false, true);
         s.vSample = 1;
         return RowJpeg(s, true);
       },
       Defaults},
      {"tqx 8192x8192 DXT1 flat blocks, kept", [=] { return PackedTqx(8192, 8192, "DXT1", 1, flatDxt1); },
       Kept(0x83F0)},
      {"tqx 8192x8192 DXT1 flat blocks, decoded", [=] { return PackedTqx(8192, 8192, "DXT1", 1, flatDxt1); },
       Defaults},
      // JPEG at its own limits: 576 MiB held (the picture, and 128 bytes a block of
      // coefficients for several scans) and the work its scans may ask, 6 G steps
      // (about a quarter nanosecond each) for a file of at most 1.4 MB. Flat pictures
      // coded arithmetically are a few hundred bytes at any size. Files made from
      // coefficients walk the most a step: every block holds only coefficient 63, so
      // every arithmetic-coded scan decides at every position of its band in every block
      // and every refinement scan walks its band; each at the largest side the bound
      // lets through for its script, or past it, with a restart marker every MCU, and
      // with every block zero. Walking scripts: the DC scan, then for each component the
      // band 1-63 from bit 10 down (a first scan and ten refinements). Huffman codes and
      // restart markers take bytes for every block of every scan: those files pass 1.4 MB
      // and their data carry them up to what a load may hold.
      {"jpeg 24576x24576 grey arithmetic (baseline, 576 MiB, past the work bound)",
       [] { return RowJpeg(Jpeg(24576, 24576, 1, true, false)); }, Defaults},
      {"jpeg 14504x14504 grey arithmetic baseline, every block walking",
       [] { return Walking(Coded(14504, 1, true, Sequential(1))); }, Defaults},
      {"jpeg 8376x8376 colour 4:4:4 arithmetic baseline, every block walking",
       [] { return Walking(Coded(8376, 3, true, Sequential(3))); }, Defaults},
      {"jpeg 16384x12288 colour 4:4:4 baseline (576 MiB)",
       [] { return RowJpeg(FullChroma(Jpeg(16384, 12288, 3, false, false))); }, Defaults},
      {"jpeg 9816x9816 grey arithmetic progressive (past the work bound)",
       [] { return RowJpeg(Jpeg(9816, 9816, 1, true, true)); }, Defaults},
      {"jpeg 9808x9808 grey arithmetic progressive, every block walking",
       [] { return Walking(Coded(9808, 1, true, {})); }, Defaults},
      {"jpeg 14192x14192 grey arithmetic progressive (past the limit)",
       [] { return RowJpeg(Jpeg(14192, 14192, 1, true, true)); }, Defaults},
      {"jpeg 8192x8192 colour 4:4:4 arithmetic progressive (past the work bound)",
       [] { return RowJpeg(FullChroma(Jpeg(8192, 8192, 3, true, true))); }, Defaults},
      {"jpeg 6288x6288 colour 4:4:4 arithmetic progressive, every block walking",
       [] { return Walking(Coded(6288, 3, true, {})); }, Defaults},
      {"jpeg 8336x8336 colour 4:2:0 arithmetic progressive",
       [] { return RowJpeg(Jpeg(8336, 8336, 3, true, true)); }, Defaults},
      {"jpeg 5952x5952 grey arithmetic 12 scans walking",
       [] { return Walking(Coded(5952, 1, true, WalkingScans(1, 10))); }, Defaults},
      {"jpeg 5960x5960 grey arithmetic 12 scans walking (past the work bound)",
       [] { return Walking(Coded(5960, 1, true, WalkingScans(1, 10))); }, Defaults},
      {"jpeg 5952x5952 grey arithmetic 12 scans walking, restart every MCU",
       [] { return Walking(Coded(5952, 1, true, WalkingScans(1, 10), 1)); }, Defaults},
      {"jpeg 5952x5952 grey arithmetic 12 scans, every block zero",
       [] { return Walking(Coded(5952, 1, true, WalkingScans(1, 10)), true); }, Defaults},
      {"jpeg 14184x14184 grey arithmetic 2 scans walking (576 MiB)",
       [] { return Walking(Coded(14184, 1, true, WalkingScans(1, 0))); }, Defaults},
      {"jpeg 14184x14184 grey arithmetic 12 scans walking, restart every MCU (576 MiB)",
       [] { return Walking(Coded(14184, 1, true, WalkingScans(1, 10), 1)); }, Defaults},
      {"jpeg 14184x14184 grey 12 scans walking (576 MiB)",
       [] { return Walking(Coded(14184, 1, false, WalkingScans(1, 10))); }, Defaults},
      {"jpeg 14184x14184 grey 12 scans walking, restart every MCU (576 MiB)",
       [] { return Walking(Coded(14184, 1, false, WalkingScans(1, 10), 1)); }, Defaults},
      {"jpeg 10688x10688 grey 12 scans, every block zero",
       [] { return Walking(Coded(10688, 1, false, WalkingScans(1, 10)), true); }, Defaults},
      {"jpeg 3440x3440 colour 4:4:4 arithmetic 34 scans walking",
       [] { return Walking(Coded(3440, 3, true, WalkingScans(3, 10))); }, Defaults},
      {"jpeg 3440x3440 colour 4:4:4 arithmetic 34 scans walking, restart every MCU",
       [] { return Walking(Coded(3440, 3, true, WalkingScans(3, 10), 1)); }, Defaults},
      {"jpeg 3440x3440 colour 4:4:4 arithmetic 34 scans, every block zero",
       [] { return Walking(Coded(3440, 3, true, WalkingScans(3, 10)), true); }, Defaults},
      {"jpeg 8192x8192 colour 4:4:4 34 scans walking (576 MiB)",
       [] { return Walking(Coded(8192, 3, false, WalkingScans(3, 10))); }, Defaults},
      {"jpeg 8192x8192 colour 4:4:4 34 scans walking, restart every MCU (576 MiB)",
       [] { return Walking(Coded(8192, 3, false, WalkingScans(3, 10), 1)); }, Defaults},
      {"jpeg 11264x11264 grey 16 scans", [] { return RowJpeg(Jpeg(11264, 11264, 1, false, false, 16)); },
       Defaults},
      {"jpeg 3520x3520 grey arithmetic 300 scans", [] { return RowJpeg(Jpeg(3520, 3520, 1, true, false, 300)); },
       Defaults},
      {"jpeg 4096x4096 grey 301 scans", [] { return RowJpeg(Jpeg(4096, 4096, 1, false, false, 301)); }, Defaults},
      // The largest real texture, photo-like, and the same coefficients through other
      // scripts: coded arithmetically, and through scripts of spectral selection and
      // successive approximation of about 10, 64 and 128 scans.
      {"jpeg 8192x8192 colour 4:4:4 progressive, photo-like", [] { return Photo(); }, Defaults},
      {"jpeg 8192x8192 colour 4:4:4 arithmetic progressive, photo-like",
       [] { return RescanJpeg(Photo(), true); }, Defaults},
      {"jpeg 8192x8192 colour 4:4:4 11 scans, photo-like",
       [] { return RescanJpeg(Photo(), false, SuccessiveScans(3, {1}, 2)); }, Defaults},
      {"jpeg 8192x8192 colour 4:4:4 62 scans, photo-like",
       [] { return RescanJpeg(Photo(), false, SuccessiveScans(3, {1, 3, 6, 15, 28}, 3)); }, Defaults},
      {"jpeg 8192x8192 colour 4:4:4 128 scans, photo-like",
       [] { return RescanJpeg(Photo(), false, SuccessiveScans(3, {1, 3, 6, 10, 15, 21, 36}, 5)); }, Defaults},
      {"jpeg 8192x8192 colour 4:4:4 arithmetic 128 scans, photo-like",
       [] { return RescanJpeg(Photo(), true, SuccessiveScans(3, {1, 3, 6, 10, 15, 21, 36}, 5)); }, Defaults},
      // The other readers' worst.
      {"tqx 4096x5460 DXT1, 1 packed level, decoded, quality 1 (shrink)", [] { return PackedTqx(4096, 5460, "DXT1", 1); },
       [] {
         Defaults();
         txOptions(2, 1);
       }},
      {"dds 512x1020 DXT1, decoded", [] { return Dds(512, 1020, "DXT1"); }, Defaults},
      {"pnm 130000 comment lines", PnmComments, Defaults},
      {"dicom 32000 empty elements", DicomElements, Defaults},
      {"bmp 1 x 65522, padded rows", TallBmp, Defaults},
      {"tga 32767 x 2, bottom-up", WideTga, Defaults},
  };
  std::printf("load average %.2f at start; %d loads a case, each case in a process of its own\n", LoadAverage(),
              kRounds);
  std::printf("%-66s %8s  %-14s %21s %9s %5s\n", "case", "bytes", "outcome", "cpu fastest/slowest s", "peak MiB",
              "load");
  int status = 0;
  double slowestSmall = 0, peakMost = 0;
  for (const Case &c : cases) {
    if (argc > 1 && !std::strstr(c.name, argv[1])) continue;
    const std::string path = (dir / "worst.bin").string();
    size_t bytes = 0;
    {
      const Bytes file = c.make();
      bytes = file.size();
      FILE *f = std::fopen(path.c_str(), "wb");
      if (!f || std::fwrite(file.data(), 1, file.size(), f) != file.size()) return 1;
      std::fclose(f);
    }
    Outcome o = {};
    long peakKiB = 0;
    if (!LoadInChild(path, c.options, o, peakKiB)) {
      std::printf("%-66s %8zu  child failed\n", c.name, bytes);
      status = 1;
      continue;
    }
    const double peak = (double)peakKiB / 1024.0;
    if (bytes <= kLimit) slowestSmall = std::max(slowestSmall, o.cpuWorst);
    peakMost = std::max(peakMost, peak);
    char outcome[32];
    if (o.loaded)
      std::snprintf(outcome, sizeof outcome, "loaded");
    else
      std::snprintf(outcome, sizeof outcome, "refused (%d)", o.error);
    std::printf("%-66s %8zu%s %-14s %10.3f / %8.3f %9.0f %5.2f\n", c.name, bytes, bytes <= kLimit ? " " : "*",
                outcome, o.cpuBest, o.cpuWorst, peak, LoadAverage());
  }
  Defaults();
  std::printf("* more than 256 KB\n");
  std::printf("slowest file of at most 256 KB: %.3f s of processor time, slowest of %d loads (goal: at most %.0f s)\n",
              slowestSmall, kRounds, kCpuGoal);
  std::printf("highest peak of a loading process: %.0f MiB (goal: at most %.0f MiB)\n", peakMost, kPeakGoalMiB);
  std::printf("load average %.2f at end\n", LoadAverage());
  const int32_t shrinks[][5] = {{4096, 5460, 24, 2048, 2730}, {4096, 4096, 32, 1024, 1024}, {300, 200, 24, 128, 128},
                                {513, 257, 8, 256, 128},      {1000, 999, 32, 333, 998},    {7, 5, 24, 1, 1}};
  for (const auto &c : shrinks)
    if (argc == 1 && !CompareShrink(c[0], c[1], c[2], c[3], c[4])) status = 1;
  std::filesystem::remove_all(dir);
  SYS_BaseDone();
  return status || slowestSmall > kCpuGoal || peakMost > kPeakGoalMiB;
}
