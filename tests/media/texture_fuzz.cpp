// Fuzzing the texture loader: one harness that loads arbitrary bytes through txLoad
// (served without a zero tail) and checks the bitmap it may return. Built as a
// libFuzzer target with KORV_LIBFUZZER (seed corpus in texture-corpus/); in the test
// suite it runs over fixed-seed multi-byte mutations of the corpus, so every run and
// the sanitizer build exercise it.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "tests/media/texture_fixtures.h"

namespace {

// Loads data as "f.img" (and its "_a" image, when the corpus gives one); returns
// false when a returned bitmap is inconsistent.
bool LoadOne(const uint8_t *data, size_t size) {
  MemFiles::files["f.img"] = Bytes(data, data + size);
  txBitmap *b = txLoad("f.img");
  if (!b) return errGetLastError() != 0;
  bool ok = b->width > 0 && b->height > 0 && b->levels == 1 && b->image[0] &&
            (int64_t)b->imagesize[0] == (int64_t)b->width * b->height * (b->bits / 8);
  uint32_t sum = 0;
  for (int32_t i = 0; ok && i < b->imagesize[0]; ++i) sum += b->image[0][i];
  volatile uint32_t sink = sum;
  (void)sink;
  txFree(&b);
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
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  StartOnce();
  if (!LoadOne(data, size)) std::abort();
  return 0;
}
#else
TEST(TextureFuzz, CorpusMutationsLoadOrFailCleanly) {
  StartOnce();
  const char *src = std::getenv("KORV_SOURCE_DIR");
  std::filesystem::path dir = std::filesystem::path(src ? src : KORV_TEST_SOURCE_DIR) / "tests/media/texture-corpus";
  std::mt19937 rng(20261210);
  int files = 0;
  for (const auto &entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const Bytes seed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(seed.empty());
    ++files;
    ASSERT_TRUE(LoadOne(seed.data(), seed.size())) << entry.path();
    for (int round = 0; round < 3000; ++round) {
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
  EXPECT_GE(files, 8);
}
#endif
