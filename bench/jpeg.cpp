// The costliest small JPEGs the reader is meant to take, and a few it refuses, timed
// through txLoad from disk: many-scan progressive files up to the scan bound and past
// it, arithmetic-coded flat pictures, Huffman flat progressive pictures, a restart
// marker after every MCU, and an ordinary progressive photo-sized noise file for
// scale (the largest pictures, to what one load may hold, are in
// korv-bench-texture-worst). Prints per file its size, scans, the result (or
// the error) and the best of a few loads. Goal: every file under 256 KB below 1 s.
// Depends on: base (framework start), media/texture, libjpeg (the files).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "base/main.h"
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

}  // namespace

int main(int argc, char **argv) {
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
