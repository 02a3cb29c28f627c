// Pack read benchmark: every entry of a ~64 MB pack of mixed compressible data
// read through SYS_FileOpen/SYS_FileRead, against inflating the same blocks with
// zlib directly (blocks already in memory, output into fresh buffers). Prints
// both throughputs (raw bytes per second) and their ratio; best of five rounds.
// Depends on: base (file layer, packs), zlib, korv-packwriter (builds the pack).
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "base/file-pack.h"
#include "base/file.h"
#include "base/main.h"
#include "base/z.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kTotal = 64u << 20;
constexpr int kRounds = 5;

// Text, structured binary, runs and a little noise, in proportions that vary by entry.
std::string mixedEntry(size_t size, uint32_t seed)
{
  std::mt19937 rng(seed);
  static const char *kWords[] = {"layer ", "texture ", "blend ", "key ", "0.250 ", "1000 ", "glow ", "# ", "\n"};
  std::string s;
  s.reserve(size);
  while (s.size() < size) {
    uint32_t kind = rng() % 16;
    if (kind < 7) {
      for (int i = 0; i < 40; ++i)
        s += kWords[rng() % 9];
    } else if (kind < 12) {
      uint8_t base = uint8_t(rng());
      for (int i = 0; i < 1024; ++i)
        s += char(base + i / 8 + (rng() % 4));
    } else if (kind < 15) {
      s.append(256 + rng() % 2048, char(rng() % 4));
    } else {
      for (int i = 0; i < 512; ++i)
        s += char(rng());
    }
  }
  s.resize(size);
  return s;
}

double seconds(std::chrono::steady_clock::time_point from)
{
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

}  // namespace

int main()
{
  SYS_BaseInit(nullptr, 0, nullptr, nullptr);
  fs::path dir = fs::temp_directory_path() / ("korv-bench-pack-" + std::to_string(getpid()));
  fs::create_directories(dir / "content");
  struct Cleanup {
    fs::path dir;
    ~Cleanup()
    {
      std::error_code ignored;
      fs::remove_all(dir, ignored);
    }
  } cleanup{dir};
  std::vector<std::string> names;
  size_t made = 0;
  for (uint32_t i = 0; made < kTotal; ++i) {
    size_t size = std::min(kTotal - made, size_t(256u << 10) + (i * 7919u % 1536u) * 1024u);
    std::string name = "entry" + std::to_string(i) + ".bin";
    std::ofstream(dir / "content" / name, std::ios::binary) << mixedEntry(size, i);
    names.push_back(name);
    made += size;
  }
  std::string command = std::string("'") + KORV_PACKWRITER + "' '" + (dir / "content").string() + "' '" +
                        (dir / "bench.dat").string() + "' > /dev/null";
  if (std::system(command.c_str()) != 0 || SYS_FilePackOpen((dir / "bench.dat").c_str()) != 0) {
    fprintf(stderr, "bench-pack: cannot build the pack\n");
    return 1;
  }
  fs::remove_all(dir / "content");

  // The stored blocks, in memory, for the direct run.
  SYS_Pack_t *pack = SYS_FindPack(names[0].c_str());
  std::ifstream in(dir / "bench.dat", std::ios::binary);
  std::vector<std::string> blocks;
  size_t packed = 0;
  for (int32_t i = 0; i < pack->count; ++i) {
    const SYS_PackEntry_t &e = pack->entries[i];
    if (!(e.flags & SYS_PACK_COMPRESSED)) {
      fprintf(stderr, "bench-pack: entry %s stored plain\n", e.name);
      return 1;
    }
    std::string b(e.storedSize, '\0');
    in.seekg(e.offset);
    in.read(b.data(), std::streamsize(b.size()));
    packed += b.size();
    blocks.push_back(std::move(b));
  }

  std::vector<char> chunk(64 << 10);
  double layerBest = 1e9, zlibBest = 1e9;
  uint64_t layerSum = 0, zlibSum = 0;
  for (int round = 0; round < kRounds; ++round) {
    auto t = std::chrono::steady_clock::now();
    layerSum = 0;
    for (const std::string &name : names) {
      SYS_File_p f = SYS_FileOpen(name.c_str(), 0);
      if (f == nullptr)
        return 1;
      uint8_t last = 0;
      for (int32_t n; (n = SYS_FileRead(f, chunk.data(), int32_t(chunk.size()))) > 0;) {
        last = uint8_t(chunk[size_t(n) - 1]);
        layerSum += uint32_t(n);
      }
      layerSum += last;
      SYS_FileClose(f);
    }
    layerBest = std::min(layerBest, seconds(t));

    t = std::chrono::steady_clock::now();
    zlibSum = 0;
    for (const std::string &b : blocks) {
      SYS_ZHeader_t h = SYS_ZHeaderRead(b.data());
      auto *out = static_cast<Bytef *>(malloc(h.rawSize));
      z_stream s{};
      inflateInit(&s);
      s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(b.data())) + SYS_ZHEADER_SIZE;
      s.avail_in = h.packedSize;
      s.next_out = out;
      s.avail_out = h.rawSize;
      if (inflate(&s, Z_FINISH) != Z_STREAM_END)
        return 1;
      inflateEnd(&s);
      zlibSum += out[h.rawSize - 1] + h.rawSize;
      free(out);
    }
    zlibBest = std::min(zlibBest, seconds(t));
  }
  if (layerSum != zlibSum) {
    fprintf(stderr, "bench-pack: the two runs read different data\n");
    return 1;
  }
  double mb = double(made) / (1 << 20);
  printf("pack: %zu entries, %.1f MB raw, %.1f MB packed (best of %d rounds)\n", names.size(), mb,
         double(packed) / (1 << 20), kRounds);
  printf("file layer (SYS_FileOpen/SYS_FileRead): %8.1f MB/s\n", mb / layerBest);
  printf("zlib inflate directly:                  %8.1f MB/s\n", mb / zlibBest);
  printf("file layer / zlib: %.3f\n", zlibBest / layerBest);
  SYS_BaseDone();
  return 0;
}
