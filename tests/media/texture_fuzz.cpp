// Fuzzing the texture loader: one harness that loads arbitrary bytes through txLoad
// (served without a zero tail) and checks the bitmap it may return. Built as a
// libFuzzer target with KORV_LIBFUZZER (seed corpus in texture-corpus/, and a mutator
// that makes the chunk CRCs of a PNG right again after each mutation, or mutates its
// inflated image data, so mutations reach the chunk readers and the size guards
// instead of libpng's checksum test); in the test suite it runs over fixed-seed
// multi-byte mutations of the corpus, so every run and the sanitizer build exercise
// it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>

#include "tests/common/fuzz_util.h"
#include "tests/media/texture2_fixtures.h"

namespace {

uint32_t GetBE32(const uint8_t *p) { return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]; }
void SetBE32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = (uint8_t)(v >> (24 - 8 * i));
}

// Calls chunk(offset, length) for each whole chunk of a PNG, in order; the walk ends
// at the first chunk that the data does not hold.
template <typename Chunk>
void EachPngChunk(const uint8_t *data, size_t size, Chunk chunk) {
  for (size_t at = 8; at + 12 <= size;) {
    const uint32_t length = GetBE32(data + at);
    if (length > size - at - 12) break;
    chunk(at, length);
    at += 12 + (size_t)length;
  }
}

// Makes the CRC of every whole chunk right again.
void RepairPngCrcs(uint8_t *data, size_t size) {
  EachPngChunk(data, size, [&](size_t at, uint32_t length) {
    SetBE32(data + at + 8 + length, (uint32_t)crc32(0, data + at + 4, length + 4));
  });
}

// Bytes a decoded (uncompressed) level i must hold at least.
int64_t PixelBytes(const txBitmap *b, int32_t i) {
  const int64_t w = std::max(b->width >> i, 1), h = std::max(b->height >> i, 1);
  return w * h * (b->bits / 8);
}

// What every returned bitmap guarantees: sides, 1 to 13 levels each with a buffer of
// its recorded size, level 0 of a row image holding exactly w x h x bits / 8 bytes, a
// decoded DXT level max(64, its pixel bytes) (or the plain size once shrunk), a kept
// one its whole blocks. Every level and the palette are read through (below), so the
// sanitizer sees a short buffer.
bool Consistent(const txBitmap *b) {
  if (b->width <= 0 || b->height <= 0 || b->bits <= 0 || b->levels < 1 || b->levels > TX_MAX_LEVELS) return false;
  const bool dxt = b->format == TX_FMT_DDS || b->format == TX_FMT_TQX;
  uint32_t sum = 0;
  for (int32_t i = 0; i < TX_MAX_LEVELS; ++i) {
    if (i >= b->levels) {
      if (b->image[i]) return false;
      continue;
    }
    if (!b->image[i] || b->imagesize[i] <= 0) return false;
    int64_t want;
    if (b->type == TX_TYPE_COMPRESSED) {
      const int64_t blocks = (int64_t)((std::max(b->width >> i, 1) + 3) / 4) * ((std::max(b->height >> i, 1) + 3) / 4);
      want = blocks * (b->subtype == TX_DXT1 ? 8 : 16);
    } else if (dxt) {
      // The quality shrink of a one-level image sets the plain size.
      want = std::max<int64_t>(64, PixelBytes(b, i));
      if (b->levels == 1 && b->imagesize[0] == PixelBytes(b, 0)) want = PixelBytes(b, 0);
    } else {
      if (b->levels != 1) return false;
      want = PixelBytes(b, 0);
    }
    if (b->imagesize[i] != want) return false;
    // A large level is read every 16 bytes and at its end: no sanitizer red zone is
    // narrower, so a short buffer is still seen, at a sixteenth of the instrumented
    // reads of a picture of hundreds of megabytes.
    const size_t n = (size_t)b->imagesize[i], step = n > (1u << 20) ? 16 : 1;
    for (const uint8_t *p = b->image[i], *end = p + n; p < end; p += step) sum += *p;
    sum += b->image[i][n - 1];
  }
  if (b->palette)
    for (int32_t k = 0; k < 1024; ++k) sum += b->palette[k];
  volatile uint32_t sink = sum;
  (void)sink;
  return true;
}

// Loads data as "f.img", once with the default options and once with every
// post-processing step on (byte order, flip, quality shrink, DXT kept); returns false
// when a load fails without an error or returns an inconsistent bitmap.
bool LoadOne(const uint8_t *data, size_t size) {
  MemFiles::files["f.img"] = Bytes(data, data + size);
  MemFiles::opened.clear();  // the log of opened names would grow with every input
  bool ok = true;
  for (int pass = 0; pass < 2 && ok; ++pass) {
    const int32_t on = pass;
    txOptions(2, on);
    txOptions(3, on);
    txOptions(4, on);
    txOptions(TX_DXT1, on);
    txOptions(TX_DXT3, on);
    txOptions(TX_DXT5, on);
    txBitmap *b = txLoad("f.img");
    if (!b) {
      ok = errGetLastError() != 0;
      continue;
    }
    ok = Consistent(b);
    // The post-processing steps do the same for any size: in the fuzzer's builds (the
    // target and its replay) a picture of more than 32 MiB skips them, as they take
    // tens of seconds of instrumented code there; the suite's corpus test runs them
    // for every input.
#ifdef KORV_LIBFUZZER
    const bool large = b->imagesize[0] > (32 << 20);
#else
    const bool large = false;
#endif
    txFree(&b);
    if (large) break;
  }
  txOptions(2, 0);
  txOptions(3, 0);
  txOptions(4, 0);
  txOptions(TX_DXT1, 0);
  txOptions(TX_DXT3, 0);
  txOptions(TX_DXT5, 0);
  return ok;
}

void StartOnce() {
  static bool started = false;
  if (started) return;
  started = true;
  SYS_BaseInit(nullptr, 0, nullptr, nullptr);
  MemFiles::Install();
}

}  // namespace

#ifdef KORV_LIBFUZZER
#include <random>

#include "tests/common/fuzz_mutate.h"

namespace {

bool LooksLikePng(const uint8_t *data, size_t size) { return size >= 8 && std::memcmp(data, "\x89PNG", 4) == 0; }

// Replaces the image data of a PNG by a mutation of its inflated bytes, in one IDAT
// chunk where the first was, the chunks after it kept; 0 when no image data inflates.
size_t MutateImageData(uint8_t *data, size_t size, size_t maxSize) {
  Bytes packed, rest;
  size_t first = 0;
  EachPngChunk(data, size, [&](size_t at, uint32_t length) {
    if (std::memcmp(data + at + 4, "IDAT", 4) == 0) {
      if (!first) first = at;
      packed.insert(packed.end(), data + at + 8, data + at + 8 + length);
    } else if (first) {
      rest.insert(rest.end(), data + at, data + at + 12 + length);
    }
  });
  Bytes out;
  size_t rawSize = 0;
  if (!first || !fuzz::MutateInflated(packed.data(), packed.size(), 1 << 20, out, rawSize) ||
      first + 12 + out.size() + rest.size() > maxSize)
    return 0;
  SetBE32(data + first, (uint32_t)out.size());
  std::memcpy(data + first + 4, "IDAT", 4);
  std::copy(out.begin(), out.end(), data + first + 8);
  std::copy(rest.begin(), rest.end(), data + first + 12 + out.size());
  const size_t total = first + 12 + out.size() + rest.size();
  RepairPngCrcs(data, total);
  return total;
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize, unsigned int seed) {
  const bool png = LooksLikePng(data, size);
  std::minstd_rand rng(seed);
  if (png && rng() % 4 == 0)
    if (size_t n = MutateImageData(data, size, maxSize)) return n;
  size = LLVMFuzzerMutate(data, size, maxSize);
  if (png) RepairPngCrcs(data, size);
  return size;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  StartOnce();
  auto load = [&] { fuzz::Expect(LoadOne(data, size), "a load fails with an error or returns a consistent bitmap"); };
  // The tracked total comes from a written report, which costs a hundred times a
  // load: one input in sixteen (by length, so a finding reproduces) is checked.
  if (size % 16 == 0)
    fuzz::GivesBackWhatItTakes(load);
  else
    load();
  return 0;
}
#else
// What the fuzz mutator relies on: a PNG whose header was edited loads as edited
// once its CRCs are repaired, where the edit alone dies at the checksum.
TEST(TextureFuzz, RepairedChunkCrcsLetAnEditedPngThrough) {
  StartOnce();
  Bytes f = MakePng(3, 2, 8, 0, Ramp(6), 3);
  f[8 + 8 + 7] = 1;  // IHDR height 2 -> 1
  MemFiles::files["f.img"] = f;
  EXPECT_EQ(txLoad("f.img"), nullptr);
  RepairPngCrcs(f.data(), f.size());
  MemFiles::files["f.img"] = f;
  txBitmap *b = txLoad("f.img");
  ASSERT_TRUE(b) << "error " << errGetLastError();
  EXPECT_EQ(b->height, 1);
  EXPECT_EQ(Bytes(b->image[0], b->image[0] + b->imagesize[0]), Ramp(3));
  txFree(&b);
}

TEST(TextureFuzz, CorpusMutationsLoadOrFailCleanly) {
  StartOnce();
  const char *src = std::getenv("KORV_SOURCE_DIR");
  std::filesystem::path dir = std::filesystem::path(src ? src : KORV_TEST_SOURCE_DIR) / "tests/media/texture-corpus";
  std::mt19937 rng(20261210);
  int files = 0;
  std::set<int32_t> formats;
  long long before = -1;
  for (const auto &entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const Bytes seed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(seed.empty());
    ++files;
    // Every seed is a valid file of its format, so mutations start from a decode, or
    // a header at a size limit, refused for its size.
    MemFiles::files["f.img"] = seed;
    txBitmap *b = txLoad("f.img");
    ASSERT_TRUE(b || errGetLastError() == 1005) << entry.path() << " error " << errGetLastError();
    if (b) formats.insert(b->format);
    if (b) txFree(&b);
    ASSERT_TRUE(LoadOne(seed.data(), seed.size())) << entry.path();
    if (before < 0) before = fuzz::TrackedBytes();  // after a first load set up the log
    // The seeds of large pictures past 64 KB take up to seconds a load: mutating them is
    // the fuzzer's work.
    for (int round = 0; round < (seed.size() <= (64u << 10) ? 3000 : 0); ++round) {
      Bytes m = seed;
      const int edits = 1 + (int)(rng() % 4);
      for (int e = 0; e < edits; ++e) {
        const size_t at = rng() % m.size();
        switch (rng() % 4) {
          case 0: m[at] = (uint8_t)rng(); break;
          case 1: m[at] ^= (uint8_t)(1u << (rng() % 8)); break;
          case 2: m.resize(at + 1); break;
          default: m.insert(m.begin() + (long)at, (uint8_t)rng()); break;
        }
      }
      ASSERT_TRUE(LoadOne(m.data(), m.size())) << entry.path() << " round " << round;
    }
  }
  // Tracked blocks stay listed, so the leak checker cannot see one that a failed
  // load forgot: the total must come back.
  EXPECT_GE(before, 0);
  EXPECT_EQ(fuzz::TrackedBytes(), before);
  EXPECT_GE(files, 8);
  EXPECT_EQ(formats.size(), 8u) << "a seed of every format the loader reads";
}
#endif
