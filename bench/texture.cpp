// Loads a 2048x2048 24-bit TGA and BMP through txLoad and, in the same run, reads the
// same files with a plain fread; prints the best time of each over a few rounds and
// the ratio (goal: under 1.5). The baseline reads into the destination txLoad must
// start from, a fresh zero-filled tracked block of the file's size plus the check
// tail; the rounds alternate, so both see the same page cache and heap. The ratio to
// an fread into reused, unzeroed malloc memory is printed beside it.
// Depends on: base (framework start), media/texture.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "base/main.h"
#include "base/mem.h"
#include "media/texture/TL.h"

namespace {

constexpr int kSide = 2048;
constexpr int kRounds = 15;

using Clock = std::chrono::steady_clock;

std::vector<uint8_t> Pixels() {
  std::vector<uint8_t> px((size_t)kSide * kSide * 3);
  uint32_t s = 12345;
  for (auto &b : px) b = (uint8_t)((s = s * 1664525u + 1013904223u) >> 24);
  return px;
}

void Put(std::vector<uint8_t> &f, size_t at, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) f[at + i] = (uint8_t)(v >> (8 * i));
}

bool WriteFile(const std::string &path, const std::vector<uint8_t> &data) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

// A bottom-up uncompressed TGA, as most tools write them.
std::vector<uint8_t> Tga(const std::vector<uint8_t> &px) {
  std::vector<uint8_t> f(18, 0);
  f[2] = 2;
  Put(f, 12, kSide, 2);
  Put(f, 14, kSide, 2);
  f[16] = 24;
  f.insert(f.end(), px.begin(), px.end());
  return f;
}

std::vector<uint8_t> Bmp(const std::vector<uint8_t> &px) {
  std::vector<uint8_t> f(54, 0);
  f[0] = 'B', f[1] = 'M';
  Put(f, 2, (uint32_t)(54 + px.size()), 4);
  Put(f, 10, 54, 4);
  Put(f, 14, 40, 4);
  Put(f, 18, kSide, 4);
  Put(f, 22, kSide, 4);
  Put(f, 26, 1, 2);
  Put(f, 28, 24, 2);
  Put(f, 34, (uint32_t)px.size(), 4);
  f.insert(f.end(), px.begin(), px.end());
  return f;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double TimeLoad(const std::string &path) {
  auto t0 = Clock::now();
  txBitmap *b = txLoad(path.c_str());
  auto t1 = Clock::now();
  if (!b) {
    std::fprintf(stderr, "txLoad(%s) failed: %d\n", path.c_str(), txGetError());
    std::exit(1);
  }
  txFree(&b);
  return Seconds(t1 - t0);
}

// tracked: into a new zero-filled tracked block; else into malloc memory.
double TimeFread(const std::string &path, bool tracked) {
  auto t0 = Clock::now();
  FILE *f = std::fopen(path.c_str(), "rb");
  std::fseek(f, 0, SEEK_END);
  long n = std::ftell(f);
  std::fseek(f, 0, SEEK_SET);
  uint8_t *buffer = tracked ? (uint8_t *)SYS_MemGet(n + TX_CHECK_BYTES, "bench") : (uint8_t *)std::malloc((size_t)n);
  size_t got = std::fread(buffer, 1, (size_t)n, f);
  std::fclose(f);
  auto t1 = Clock::now();
  volatile uint8_t sink = buffer[got / 2];  // keep the read
  (void)sink;
  if (tracked)
    SYS_MemFree(&buffer);
  else
    std::free(buffer);
  return Seconds(t1 - t0);
}

}  // namespace

int main() {
  SYS_BaseInit(nullptr, 0, nullptr, nullptr);
  txInit(nullptr);
  const auto dir = std::filesystem::temp_directory_path() / ("korv-bench-texture-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::vector<uint8_t> px = Pixels();
  const std::string tga = (dir / "big.tga").string(), bmp = (dir / "big.bmp").string();
  if (!WriteFile(tga, Tga(px)) || !WriteFile(bmp, Bmp(px))) {
    std::fprintf(stderr, "cannot write the bench images into %s\n", dir.c_str());
    return 1;
  }
  int status = 0;
  for (const std::string &path : {tga, bmp}) {
    double load = 1e9, plain = 1e9, bare = 1e9;
    for (int r = 0; r < kRounds; ++r) {
      load = std::min(load, TimeLoad(path));
      plain = std::min(plain, TimeFread(path, true));
      bare = std::min(bare, TimeFread(path, false));
    }
    std::printf("%s 2048x2048x24: txLoad %.2f ms, fread %.2f ms, ratio %.2f (goal < 1.5); "
                "fread into malloc %.2f ms, ratio %.2f\n",
                path == tga ? "TGA" : "BMP", load * 1e3, plain * 1e3, load / plain, bare * 1e3, load / bare);
  }
  std::filesystem::remove_all(dir);
  SYS_BaseDone();
  return status;
}
