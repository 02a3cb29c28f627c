// Compressed blocks: round trips over levels and sizes (checked through the
// header fields and the data, never the compressed bytes, which change between
// zlib versions), the level setting, checksums and every refused block.
#include <cstring>
#include <random>

#include "base/mem.h"
#include "base/z.h"
#include "files_util.h"

using namespace files_test;

namespace {

// Text-like runs, zeros and noise: something for each of deflate's paths.
std::string mixed(size_t size, uint32_t seed)
{
  std::mt19937 rng(seed);
  std::string s;
  s.reserve(size);
  while (s.size() < size) {
    switch (rng() % 3) {
    case 0: s += "korvadyne block " + std::to_string(rng() % 100) + "; "; break;
    case 1: s.append(rng() % 300, '\0'); break;
    default: for (int i = 0; i < 64; ++i) s += char(rng()); break;
    }
  }
  s.resize(size);
  return s;
}

struct Block {
  std::string bytes;
  bool ok;
};

Block compress(const std::string &data)
{
  void *out = nullptr;
  int32_t length = 0;
  int r = SYS_ZCompress(data.data(), int32_t(data.size()), &out, &length);
  Block b{r == 0 ? std::string(static_cast<char *>(out), size_t(length)) : std::string(), r == 0};
  SYS_MemFree(&out);
  return b;
}

// Inflates through the bounded entry; "<fail N>" with the last error on failure.
std::string inflateN(const std::string &block)
{
  void *data = reinterpret_cast<void *>(1);
  int32_t size = -1;
  int r = SYS_ZUncompressN(block.data(), int32_t(block.size()), &data, &size);
  if (r != 0) {
    EXPECT_EQ(data, nullptr);
    return "<fail " + std::to_string(errGetLastError()) + ">";
  }
  std::string out(static_cast<char *>(data), size_t(size));
  SYS_MemFree(&data);
  return out;
}

}  // namespace

TEST(ZBlock, RoundTripsAcrossLevelsAndSizes)
{
  for (size_t size : {size_t(1), size_t(100), size_t(65543), size_t(3 << 20)}) {
    std::string data = mixed(size, uint32_t(size));
    for (uint32_t level = 0; level <= 9; ++level) {
      SCOPED_TRACE("size " + std::to_string(size) + " level " + std::to_string(level));
      SYS_ZSetCompLevel(level);
      ASSERT_EQ(errGetLastError(), 0);
      Block b = compress(data);
      ASSERT_TRUE(b.ok);
      SYS_ZHeader_t h = SYS_ZHeaderRead(b.bytes.data());
      EXPECT_EQ(h.rawSize, size);
      EXPECT_EQ(h.packedSize, b.bytes.size() - 12);
      EXPECT_EQ(h.crc, crcOf(b.bytes.substr(12)));
      if (level == 0) {
        EXPECT_GT(h.packedSize, size);  // stored: a little larger than the data
      }
      EXPECT_TRUE(inflateN(b.bytes) == data);
      void *out = nullptr;
      int32_t outSize = 0;
      ASSERT_EQ(SYS_ZUncompress(b.bytes.data(), &out, &outSize), 0);
      EXPECT_EQ(outSize, int32_t(size));
      EXPECT_EQ(memcmp(out, data.data(), size), 0);
      SYS_MemFree(&out);
    }
  }
  SYS_ZSetCompLevel(9);
}

TEST(ZBlock, LevelAboveNineKeepsTheOldLevel)
{
  std::string data(100000, 'a');
  SYS_ZSetCompLevel(0);
  SYS_ZSetCompLevel(10);
  EXPECT_EQ(errGetLastError(), 6);
  EXPECT_GT(compress(data).bytes.size(), data.size());  // still stored
  SYS_ZSetCompLevel(9);
  EXPECT_LT(compress(data).bytes.size(), 1000u);
}

TEST(ZBlock, EmptyData)
{
  void *out = nullptr;
  int32_t length = 0;
  char c = 0;
  EXPECT_EQ(SYS_ZCompress(&c, 0, &out, &length), -1);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_ZCompress(nullptr, 5, &out, &length), -1);
  EXPECT_EQ(errGetLastError(), 10);

  ASSERT_EQ(SYS_ZCompressBlock(nullptr, 0, &out, &length), 0);
  std::string empty(static_cast<char *>(out), size_t(length));
  SYS_MemFree(&out);
  EXPECT_EQ(SYS_ZHeaderRead(empty.data()).rawSize, 0u);
  EXPECT_EQ(inflateN(empty), "");
  EXPECT_EQ(inflateN(block(0, storedStream(""))), "");
}

TEST(ZBlock, RefusedBlocks)
{
  std::string data = mixed(20000, 3);
  std::string stream = deflated(data);
  std::string good = block(uint32_t(data.size()), stream);
  ASSERT_EQ(inflateN(good), data);

  std::string damaged = good;
  damaged[12 + stream.size() / 2] ^= 0x10;
  std::string hugeRaw = block(0x7FFFFFF0u, stream);  // must fail before allocating 2 GB
  struct Case {
    const char *what;
    std::string bytes;
  } cases[] = {
      {"shorter than a header", good.substr(0, 11)},
      {"stream cut short, header says so", block(uint32_t(data.size()), stream.substr(0, stream.size() - 10))},
      {"block cut short", good.substr(0, good.size() - 1)},
      {"damaged stream", damaged},
      {"raw size too large", block(uint32_t(data.size() + 1), stream)},
      {"raw size too small", block(uint32_t(data.size() - 1), stream)},
      {"raw size impossible", hugeRaw},
      {"not zlib", block(4, "abcdefgh")},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(inflateN(c.bytes), "<fail 8>");
  }
  void *out = nullptr;
  int32_t size;
  EXPECT_EQ(SYS_ZUncompress(nullptr, &out, &size), -1);
  EXPECT_EQ(errGetLastError(), 10);
}

// Other writers leave the header's CRC unset or wrong, or pad the stream; the
// stream itself (its Adler-32 included) and the sizes are what is checked.
TEST(ZBlock, WrongCrcFieldAndBytesAfterTheStreamStillInflate)
{
  std::string data = mixed(20000, 5);
  std::string stream = deflated(data);
  std::string good = block(uint32_t(data.size()), stream);
  std::string zeroCrc = good;
  zeroCrc.replace(8, 4, le32(0));
  std::string flippedCrc = good;
  flippedCrc[9] ^= 0x5A;
  std::string padded = block(uint32_t(data.size()), stream + "xyz");
  padded.replace(8, 4, le32(crcOf(stream)));  // CRC of the stream alone
  std::string both = block(uint32_t(data.size()), stream + std::string(100, '\0'));
  both.replace(8, 4, le32(0xDEADBEEF));
  const struct {
    const char *what;
    std::string bytes;
    std::string expect;
  } cases[] = {
      {"CRC field 0", zeroCrc, data},
      {"CRC field wrong", flippedCrc, data},
      {"3 bytes after the stream", padded, data},
      {"100 bytes after the stream, CRC wrong", both, data},
      {"stored stream, CRC field 0", le32(5) + le32(uint32_t(storedStream("hello").size())) + le32(0) +
                                         storedStream("hello"), "hello"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_TRUE(inflateN(c.bytes) == c.expect);
    void *out = nullptr;
    int32_t size = 0;
    ASSERT_EQ(SYS_ZUncompress(c.bytes.data(), &out, &size), 0);
    EXPECT_TRUE(std::string(static_cast<char *>(out), size_t(size)) == c.expect);
    SYS_MemFree(&out);
  }
  // A wrong Adler-32 trailer is damage that zlib sees, whatever the CRC field says.
  std::string badAdler = stream;
  badAdler.back() ^= 1;
  EXPECT_EQ(inflateN(block(uint32_t(data.size()), badAdler)), "<fail 8>");
}

TEST(ZBlock, Checksums)
{
  const char *check = "123456789";
  EXPECT_EQ(SYS_ZCrc32(check, 9), 0xCBF43926u);
  EXPECT_EQ(SYS_ZAdler(check, 9), 0x091E01DEu);
  EXPECT_EQ(SYS_ZCrc32(check, 0), uint32_t(-1));
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_ZAdler(nullptr, 3), uint32_t(-1));
  EXPECT_EQ(errGetLastError(), 10);
}
