// DDS and TQX filters and the S3TC decoders: known blocks decoded by hand, the keep
// or decode choice, the quality skip, TQX write-read round trips, the malformed
// cases, and a truncate-and-mutate loop over every valid fixture.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

#include "media/texture/TL_private.h"
#include "tests/media/texture2_fixtures.h"

namespace {

// Colours red 0xF800 and blue 0x001F; row indices 0, 1, 2, 3 in every row.
const Bytes kRedBlue = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0xE4, 0xE4, 0xE4};
const Bytes kBlueRed = {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0xE4, 0xE4, 0xE4};

Bytes Repeat(const Bytes &block, size_t n) {
  Bytes out;
  for (size_t i = 0; i < n; ++i) Append(out, block);
  return out;
}

// Pixel (x, y) of a decoded level.
Bytes Pixel(const Bytes &out, int w, int bpp, int x, int y) {
  const size_t at = ((size_t)y * w + x) * bpp;
  return Bytes(out.begin() + (long)at, out.begin() + (long)(at + bpp));
}

TEST(TextureDxt, Dxt1FourAndThreeColourBlocks) {
  Bytes out(16 * 4);
  dxt1Decompress(kRedBlue.data(), out.data(), 4, 4, 32);
  for (int y = 0; y < 4; ++y) {
    EXPECT_EQ(Pixel(out, 4, 4, 0, y), (Bytes{248, 0, 0, 255}));
    EXPECT_EQ(Pixel(out, 4, 4, 1, y), (Bytes{0, 0, 248, 255}));
    EXPECT_EQ(Pixel(out, 4, 4, 2, y), (Bytes{165, 0, 83, 255}));  // (2 c0 + c1 + 1) / 3
    EXPECT_EQ(Pixel(out, 4, 4, 3, y), (Bytes{83, 0, 165, 255}));  // (c0 + 2 c1 + 1) / 3
  }
  // c0 <= c1: the middle entry is the mean, the last one transparent but coloured.
  dxt1Decompress(kBlueRed.data(), out.data(), 4, 4, 32);
  EXPECT_EQ(Pixel(out, 4, 4, 2, 0), (Bytes{124, 0, 124, 255}));
  EXPECT_EQ(Pixel(out, 4, 4, 3, 0), (Bytes{165, 0, 83, 0}));
  // c0 == c1 is three-colour mode too: index 3 is the transparent entry.
  const Bytes same = {0xE0, 0x07, 0xE0, 0x07, 0xFF, 0xFF, 0xFF, 0xFF};
  dxt1Decompress(same.data(), out.data(), 4, 4, 32);
  EXPECT_EQ(Pixel(out, 4, 4, 3, 3), (Bytes{0, 252, 0, 0}));
  // 24-bit output, a 5x3 level of 2x1 blocks: only texels inside are written.
  Bytes two = Repeat(kRedBlue, 2);
  Bytes small(5 * 3 * 3 + 1, 0xAA);
  dxt1Decompress(two.data(), small.data(), 5, 3, 24);
  EXPECT_EQ(Pixel(small, 5, 3, 4, 2), (Bytes{248, 0, 0}));  // column 0 of the second block
  EXPECT_EQ(Pixel(small, 5, 3, 3, 2), (Bytes{83, 0, 165}));
  EXPECT_EQ(small.back(), 0xAA);
}

TEST(TextureDxt, Dxt3AndDxt5Alpha) {
  // DXT3: nibble i of the alpha half is texel i; colours always four-colour.
  Bytes dxt3 = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};
  Append(dxt3, kBlueRed);
  Bytes out(64);
  dxt3Decompress(dxt3.data(), out.data(), 4, 4, 32);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(out[4 * i + 3], i * 17) << i;
  EXPECT_EQ(Pixel(out, 4, 4, 2, 0), (Bytes{83, 0, 165, 34}));
  EXPECT_EQ(Pixel(out, 4, 4, 3, 0), (Bytes{165, 0, 83, 51}));

  // DXT5: texel i uses alpha index i mod 8.
  auto dxt5 = [](uint8_t a0, uint8_t a1) {
    uint64_t bits = 0;
    for (int i = 0; i < 16; ++i) bits |= (uint64_t)(i & 7) << (3 * i);
    Bytes b = {a0, a1};
    for (int i = 0; i < 6; ++i) b.push_back((uint8_t)(bits >> (8 * i)));
    Append(b, kRedBlue);
    return b;
  };
  const uint8_t eight[8] = {200, 100, 186, 171, 157, 143, 129, 114};
  const uint8_t six[8] = {50, 150, 70, 90, 110, 130, 0, 255};
  for (auto [a0, a1, table] : {std::tuple{200, 100, eight}, std::tuple{50, 150, six}}) {
    Bytes block = dxt5((uint8_t)a0, (uint8_t)a1);
    dxt5Decompress(block.data(), out.data(), 4, 4, 32);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(out[4 * i + 3], table[i & 7]) << a0 << " texel " << i;
    EXPECT_EQ(Pixel(out, 4, 4, 0, 0), (Bytes{248, 0, 0, table[0]}));
  }
}

class TextureDds : public TextureTest {
 protected:
  void TearDown() override {
    txOptions(TX_DXT1, 0);
    txOptions(TX_DXT3, 0);
    txOptions(TX_DXT5, 0);
    txOptions(0, 1);
    txOptions(2, 0);
  }
};

// 8x8 DXT5 with 4 levels (4, 1, 1, 1 blocks).
Bytes Dxt5Levels() {
  Bytes alpha = {255, 0, 0, 0, 0, 0, 0, 0};
  Append(alpha, kRedBlue);
  return Repeat(alpha, 7);
}

TEST_F(TextureDds, DecodedByDefaultKeptWhenAllowed) {
  const Bytes file = MakeDds(8, 8, 4, "DXT5", Dxt5Levels());
  {
    BitmapPtr b(Load(file, "t.dds"));
    ASSERT_TRUE(b);
    EXPECT_EQ(b->type, TX_TYPE_RGB);
    EXPECT_EQ(b->subtype, TX_SUB_ALPHA);
    EXPECT_EQ(b->bits, 32);
    EXPECT_EQ(b->format, TX_FMT_DDS);
    EXPECT_EQ(std::string(b->fourcc, 4), "DXT5");
    ASSERT_EQ(b->levels, 4);
    EXPECT_EQ(b->imagesize[0], 256);
    for (int i = 1; i < 4; ++i) EXPECT_EQ(b->imagesize[i], 64) << i;  // the minimum
    // Level 0 converted to the wanted order B,G,R: red lands in byte 2.
    EXPECT_EQ(Bytes(b->image[0], b->image[0] + 4), (Bytes{0, 0, 248, 255}));
    EXPECT_EQ(Bytes(b->image[3], b->image[3] + 4), (Bytes{0, 0, 248, 255}));
  }
  MemFiles::opened.clear();
  txOptions(TX_DXT5, 1);
  BitmapPtr kept(Load(file, "t.dds"));
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->type, TX_TYPE_COMPRESSED);
  EXPECT_EQ(kept->subtype, TX_DXT5);
  ASSERT_EQ(kept->levels, 4);
  const int sizes[4] = {64, 16, 16, 16};
  size_t at = 128;
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(kept->imagesize[i], sizes[i]);
    EXPECT_EQ(Bytes(kept->image[i], kept->image[i] + sizes[i]), Bytes(file.begin() + (long)at, file.begin() + (long)at + sizes[i]));
    at += (size_t)sizes[i];
  }
  EXPECT_EQ(MemFiles::opened, std::vector<std::string>{"t.dds"});  // no "_a" probe
}

TEST_F(TextureDds, DisabledFormatStaysDecoded) {
  // txInit with "disable-dxt1" is covered by the loader's tests; the bit itself is
  // what txOptions honours.
  txSettings.dxtDisable |= 1;
  EXPECT_EQ(txOptions(TX_DXT1, 1), 0);
  txSettings.dxtDisable &= ~1;
  BitmapPtr b(Load(MakeDds(4, 4, 1, "DXT1", kRedBlue)));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->type, TX_TYPE_RGB);
  EXPECT_EQ(b->subtype, TX_SUB_COLOR);
  EXPECT_EQ(b->bits, 24);
  EXPECT_EQ(b->imagesize[0], 64);  // 4x4x3 = 48, the minimum is 64
}

// A decoded file with mipmap levels keeps its depth in every level: an "_a" image
// is not merged into level 0 alone.
TEST_F(TextureDds, AlphaImageLeavesDecodedMipmapsAlone) {
  MemFiles::files["m_a.tga"] = MakeTga(4, 4, 8, 3, 0x20, Ramp(16));
  BitmapPtr b(Load(MakeDds(4, 4, 3, "DXT1", Repeat(kRedBlue, 3)), "m.tga"));
  ASSERT_TRUE(b);
  EXPECT_EQ(errGetLastError(), 1003);
  EXPECT_EQ(b->bits, 24);
  EXPECT_EQ(b->levels, 3);
  EXPECT_EQ(b->imagesize[0], 64);
  // One level: the merge runs as for any 24-bit image.
  BitmapPtr one(Load(MakeDds(4, 4, 1, "DXT1", kRedBlue), "m.tga"));
  ASSERT_TRUE(one);
  EXPECT_EQ(one->bits, 32);
  EXPECT_EQ(one->subtype, TX_SUB_ALPHA);
  EXPECT_EQ(one->image[0][3], 1);
}

TEST_F(TextureDds, QualitySkipsLevels) {
  txOptions(TX_DXT1, 1);
  struct {
    int quality, side, mipmaps, width, levels;
  } cases[] = {
      {1, 16, 5, 8, 4}, {2, 16, 5, 4, 3}, {3, 16, 5, 16, 5},  // 3 skips nothing here
      {1, 16, 1, 16, 1}, {2, 2, 2, 1, 1},                     // the smallest level stays
  };
  for (auto c : cases) {
    SCOPED_TRACE(testing::Message() << "quality " << c.quality << " mipmaps " << c.mipmaps);
    Bytes levels;
    for (int i = 0; i < c.mipmaps; ++i) {
      int s = std::max(c.side >> i, 1);
      Append(levels, Repeat(i == 0 ? kRedBlue : kBlueRed, (size_t)((s + 3) / 4) * ((s + 3) / 4)));
    }
    const Bytes file = MakeDds(c.side, c.side, c.mipmaps, "DXT1", levels);
    txOptions(2, c.quality);
    BitmapPtr b(Load(file));
    txOptions(2, 0);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->width, c.width);
    EXPECT_EQ(b->height, c.width);
    EXPECT_EQ(b->levels, c.levels);
    const int s = c.width;
    EXPECT_EQ(b->imagesize[0], ((s + 3) / 4) * ((s + 3) / 4) * 8);
    if (c.levels < c.mipmaps) {
      EXPECT_EQ(Bytes(b->image[0], b->image[0] + 8), kBlueRed);
    }
  }
}

// A kept DDS bitmap written as TQX reads back with the same levels; a level that
// packing would not shorten is stored as it is.
TEST_F(TextureDds, TqxRoundTrip) {
  txInit(nullptr);
  const auto dir = std::filesystem::temp_directory_path() / ("korv-tqx-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string dds = (dir / "t.dds").string(), tqx = (dir / "t.tqx").string();
  Bytes levels = Repeat(kRedBlue, 16 * 16);                                 // 64x64: packs well
  for (int s : {32, 16, 8, 4}) Append(levels, Repeat(kBlueRed, (size_t)(s / 4) * (s / 4)));
  Append(levels, Bytes{0x9d, 0x31, 0xe2, 0x07, 0x5a, 0xc4, 0x1b, 0x86});  // 2x2
  Append(levels, Bytes{0x3f, 0xa8, 0x61, 0xd5, 0x0c, 0x97, 0x4e, 0xb2});  // 1x1
  {
    std::ofstream out(dds, std::ios::binary);
    const Bytes file = MakeDds(64, 64, 7, "DXT1", levels);
    out.write((const char *)file.data(), (std::streamsize)file.size());
  }
  txOptions(TX_DXT1, 1);
  BitmapPtr src(txLoad(dds.c_str()));
  ASSERT_TRUE(src);
  ASSERT_EQ(src->levels, 7);
  ASSERT_EQ(txSave(TX_FMT_TQX, tqx.c_str(), src.p), 0);

  std::ifstream in(tqx, std::ios::binary);
  const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GE(file.size(), 14u);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "TQX ");
  EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 12), "DXT1");
  EXPECT_EQ(file[12], 7);
  auto record = [&](size_t at) { return (int32_t)(file[at] | file[at + 1] << 8 | file[at + 2] << 16 | file[at + 3] << 24); };
  EXPECT_GT(record(14), 0);               // level 0 packed
  EXPECT_LT(record(14), 16 * 16 * 8);
  EXPECT_EQ(record(file.size() - 12), -8);  // level 6 stored

  BitmapPtr back(txLoad(tqx.c_str()));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->format, TX_FMT_TQX);
  EXPECT_EQ(back->type, TX_TYPE_COMPRESSED);
  EXPECT_EQ(back->subtype, TX_DXT1);
  EXPECT_EQ(back->fourcc[0], 0);
  ASSERT_EQ(back->levels, 7);
  for (int i = 0; i < 7; ++i) {
    ASSERT_EQ(back->imagesize[i], src->imagesize[i]) << i;
    EXPECT_EQ(Bytes(back->image[i], back->image[i] + back->imagesize[i]),
              Bytes(src->image[i], src->image[i] + src->imagesize[i]))
        << i;
  }
  // Only a kept DDS bitmap is written.
  back->format = TX_FMT_TQX;
  EXPECT_EQ(txSave(TX_FMT_TQX, tqx.c_str(), back.p), -1);
  EXPECT_EQ(errGetLastError(), 1000);
  txOptions(TX_DXT1, 0);
  BitmapPtr decoded(txLoad(dds.c_str()));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(txSave(TX_FMT_TQX, tqx.c_str(), decoded.p), -1);
  EXPECT_EQ(errGetLastError(), 1000);
  std::filesystem::remove_all(dir);
}

TEST_F(TextureDds, TqxKeepOptionAndMagic) {
  const Bytes l1 = Repeat(kRedBlue, 4), l2 = kBlueRed;  // 8x8, then 4x4
  txOptions(TX_DXT1, 1);
  for (const char *magic : {"TQX ", "DDZ "}) {
    SCOPED_TRACE(magic);
    BitmapPtr kept(Load(MakeTqx(8, 8, "DXT1", {l1, l2}, {true, false}, magic)));
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->type, TX_TYPE_COMPRESSED);
    EXPECT_EQ(Level0(kept.p), l1);
    EXPECT_EQ(Bytes(kept->image[1], kept->image[1] + 8), l2);
  }
  // Keep-compressed off: the TQX file decodes although DXT1 may stay compressed;
  // a DDS file does not look at that option.
  txOptions(0, 0);
  BitmapPtr decoded(Load(MakeTqx(8, 8, "DXT1", {l1, l2}, {true, false})));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->type, TX_TYPE_RGB);
  EXPECT_EQ(decoded->subtype, TX_SUB_COLOR);
  EXPECT_EQ(decoded->imagesize[0], 8 * 8 * 3);
  EXPECT_EQ(decoded->imagesize[1], 64);
  BitmapPtr dds(Load(MakeDds(8, 8, 2, "DXT1", Repeat(kRedBlue, 5))));
  ASSERT_TRUE(dds);
  EXPECT_EQ(dds->type, TX_TYPE_COMPRESSED);
}

struct Bad {
  const char *name;
  Bytes file;
  int error;
};

std::vector<Bad> Malformed() {
  const Bytes l = Repeat(kRedBlue, 4);
  Bytes corrupt = MakeTqx(8, 8, "DXT1", {l}, {true});
  corrupt[corrupt.size() - 3] ^= 0x55;  // inside the stream: CRC fails
  Bytes pastEnd = MakeTqx(8, 8, "DXT1", {l}, {false});
  pastEnd.pop_back();
  Bytes noRecord = MakeTqx(8, 8, "DXT1", {l}, {false});
  Put16(noRecord, 12, 2);
  Bytes bigRecord = MakeTqx(8, 8, "DXT1", {l}, {false});
  Put32(bigRecord, 14, 0x80000000u);
  Bytes unknown = MakeDds(4, 4, 1, "DXT1", kRedBlue);
  std::memcpy(unknown.data() + 84, "ATI2", 4);
  Bytes negative = MakeDds(4, 4, 1, "DXT1", kRedBlue);
  Put32(negative, 16, 0xFFFFFFF0u);
  return {
      {"dds header truncated", Bytes{'D', 'D', 'S', ' ', 0, 0}, 1002},
      {"dds level past the end", MakeDds(8, 8, 1, "DXT1", Repeat(kRedBlue, 3)), 1002},
      {"dds mipmaps past the end", MakeDds(8, 8, 4, "DXT1", Repeat(kRedBlue, 5)), 1002},
      {"dds unknown fourcc", unknown, 1000},
      {"dds negative width", negative, 1000},
      {"dds zero height", MakeDds(4, 0, 1, "DXT1", kRedBlue), 1000},
      {"tqx header truncated", Bytes{'T', 'Q', 'X', ' ', 8, 0}, 1002},
      {"tqx no levels", MakeTqx(8, 8, "DXT1", {}, {}), 1000},
      {"tqx 14 levels", [] { Bytes f = MakeTqx(8, 8, "DXT1", {}, {}); Put16(f, 12, 14); return f; }(), 1000},
      {"tqx unknown fourcc", MakeTqx(8, 8, "RGBA", {l}, {false}), 1000},
      {"tqx corrupt block", corrupt, 8},
      {"tqx level past the end", pastEnd, 1002},
      {"tqx record missing", noRecord, 1002},
      {"tqx record length INT32_MIN", bigRecord, 1002},
      {"tqx stored level short", MakeTqx(8, 8, "DXT1", {kRedBlue}, {false}), 1000},
      {"tqx packed level long", MakeTqx(4, 4, "DXT1", {l}, {true}), 1000},
  };
}

// A packed TQX level inflates about a thousandfold, and decoding multiplies that by
// six: a few kilobytes of flat blocks are a large texture, which loads decoded and
// kept.
TEST_F(TextureDds, LargePackedLevelsDecodeAndKeep) {
  const Bytes big = MakeTqx(8192, 4096, "DXT1", {Bytes((size_t)2048 * 1024 * 8, 0)}, {true});
  ASSERT_LT(big.size(), 64u * 1024);
  BitmapPtr decoded(Load(big));
  ASSERT_TRUE(decoded) << errGetLastError();
  EXPECT_EQ(decoded->type, TX_TYPE_RGB);
  EXPECT_EQ(decoded->imagesize[0], 8192 * 4096 * 3);
  txOptions(TX_DXT1, 1);
  BitmapPtr kept(Load(big));
  txOptions(TX_DXT1, 0);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->type, TX_TYPE_COMPRESSED);
  EXPECT_EQ(kept->imagesize[0], 2048 * 1024 * 8);
  BitmapPtr dxt5(Load(MakeTqx(4096, 4096, "DXT5", {Bytes((size_t)1024 * 1024 * 16, 0)}, {true})));
  ASSERT_TRUE(dxt5);
  EXPECT_EQ(dxt5->imagesize[0], 64 << 20);
  EXPECT_EQ(dxt5->image[0][3], 0);  // alpha entry 0 of an all-zero block
}

// Blocks held as they are decode too: a 4096 x 8192 DXT1 DDS (16 MB, 96 MB decoded)
// and the same level stored raw in a TQX file load by default.
TEST_F(TextureDds, LargeStoredLevelsDecode) {
  const Bytes level = Repeat(kRedBlue, (size_t)1024 * 2048);
  for (const Bytes &file : {MakeDds(4096, 8192, 1, "DXT1", level), MakeTqx(4096, 8192, "DXT1", {level}, {false})}) {
    SCOPED_TRACE(std::string(file.begin(), file.begin() + 4));
    BitmapPtr b(Load(file));
    ASSERT_TRUE(b);
    EXPECT_EQ(b->type, TX_TYPE_RGB);
    EXPECT_EQ(b->imagesize[0], 4096 * 8192 * 3);
    const uint8_t *last = b->image[0] + b->imagesize[0] - 3 * 3;  // column 4093: blue, delivered B,G,R
    EXPECT_EQ(Bytes(last, last + 3), (Bytes{248, 0, 0}));
  }
}

// Blocks that hardly pack, as real ones do, load kept and decoded.
TEST_F(TextureDds, DensePackedLevelsLoadKeptAndDecoded) {
  Bytes noise((size_t)1024 * 1025 * 16);  // 4096 x 4100 DXT5, 67 MB decoded
  uint32_t seed = 1;
  for (auto &v : noise) v = (uint8_t)((seed = seed * 1664525u + 1013904223u) >> 24);
  SYS_ZSetCompLevel(1);
  const Bytes dense = MakeTqx(4096, 4100, "DXT5", {noise}, {true});
  SYS_ZSetCompLevel(9);
  txOptions(TX_DXT5, 1);
  BitmapPtr kept(Load(dense));
  txOptions(TX_DXT5, 0);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->type, TX_TYPE_COMPRESSED);
  EXPECT_TRUE(kept->imagesize[0] == (int32_t)noise.size() && std::memcmp(kept->image[0], noise.data(), noise.size()) == 0);
  BitmapPtr decoded(Load(dense));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->imagesize[0], 4096 * 4100 * 4);
}

// A DDS volume of depth slices: the header marks it by its depth flag and volume cap;
// the level bytes hold each level's slices one after another.
Bytes MakeDdsVolume(int w, int h, int depth, int mipmaps, const Bytes &levels) {
  Bytes f = MakeDds(w, h, mipmaps, "DXT1", levels);
  Put32(f, 8, 0x1007 | 0x20000 | 0x800000);  // caps, sides, pixel format, mipmap count, depth
  Put32(f, 24, (uint32_t)depth);
  Put32(f, 108, 0x401008);                   // complex, mipmap, texture
  Put32(f, 112, 0x200000);                   // volume
  return f;
}

// A flat DXT1 block of one 5:6:5 colour (index 0 everywhere).
Bytes FlatBlock(uint16_t colour) { return Bytes{(uint8_t)colour, (uint8_t)(colour >> 8), 0, 0, 0, 0, 0, 0}; }

// Of a volume only the first slice of each level loads: a 16x16x4 volume of 5 levels
// stores 4, 2, 1, 1, 1 slices, every slice its own colour, and each level is its first
// slice, kept or decoded, whichever of its two marks the writer set. A cube map's
// first face holds its whole chain, so its levels are the first ones in the file.
TEST_F(TextureDds, VolumeLevelsAreTheirFirstSlices) {
  const int blocks[5] = {16, 4, 1, 1, 1}, slices[5] = {4, 2, 1, 1, 1};
  auto colour = [](int level, int slice) { return (uint16_t)((level * 8 + slice + 1) << 5); };  // green
  Bytes volume;
  for (int i = 0; i < 5; ++i)
    for (int s = 0; s < slices[i]; ++s) Append(volume, Repeat(FlatBlock(colour(i, s)), (size_t)blocks[i]));
  const Bytes file = MakeDdsVolume(16, 16, 4, 5, volume);
  Bytes flagOnly = file, capOnly = file;
  Put32(flagOnly, 112, 0);
  Put32(capOnly, 8, 0x1007 | 0x20000);
  // Cube map: six faces of a 3-level 8x8 chain (4, 1, 1 blocks), face f level i its own colour.
  Bytes faces;
  for (int f = 0; f < 6; ++f)
    for (int i = 0; i < 3; ++i) Append(faces, Repeat(FlatBlock(colour(i, f)), i == 0 ? 4 : 1));
  Bytes cube = MakeDds(8, 8, 3, "DXT1", faces);
  Put32(cube, 108, 0x401008);
  Put32(cube, 112, 0x200 | 0xFC00);  // cube map, all six faces
  const struct {
    const char *name;
    const Bytes &file;
    int levels;
  } cases[] = {{"volume", file, 5},
               {"volume by its depth flag alone", flagOnly, 5},
               {"volume by its cap alone", capOnly, 5},
               {"cube map", cube, 3}};
  for (const auto &c : cases)
    for (const bool keep : {true, false}) {
      SCOPED_TRACE(testing::Message() << c.name << (keep ? " kept" : " decoded"));
      txOptions(TX_DXT1, keep);
      BitmapPtr b(Load(c.file, "v.dds"));
      ASSERT_TRUE(b) << errGetLastError();
      ASSERT_EQ(b->levels, c.levels);
      for (int i = 0; i < c.levels; ++i) {
        const int side = txLevelSide(b->width, i);
        const Bytes first = Repeat(FlatBlock(colour(i, 0)), (size_t)((side + 3) / 4 * ((side + 3) / 4)));
        if (keep) {
          EXPECT_EQ(Bytes(b->image[i], b->image[i] + b->imagesize[i]), first) << "level " << i;
          continue;
        }
        // B,G,R: green of 6 bits widened by two.
        const Bytes pixel = {0, (uint8_t)((colour(i, 0) >> 5) << 2), 0};
        for (int p = 0; p < side * side; ++p)
          ASSERT_EQ(Bytes(b->image[i] + p * 3, b->image[i] + p * 3 + 3), pixel) << "level " << i << " pixel " << p;
      }
    }
  // Missing the last slice's last byte, or every slice but the first of each level
  // (what a reader blind to the depth would take for a whole file): damaged.
  Bytes cut = file;
  cut.pop_back();
  Bytes firstSlices(file.begin(), file.begin() + 128);
  for (int i = 0; i < 5; ++i) Append(firstSlices, Repeat(FlatBlock(colour(i, 0)), (size_t)blocks[i]));
  for (const Bytes &bad : {cut, firstSlices})
    for (const bool keep : {true, false}) {
      txOptions(TX_DXT1, keep);
      BitmapPtr b(Load(bad, "v.dds"));
      EXPECT_FALSE(b);
      EXPECT_EQ(errGetLastError(), 1002);
    }
}

// A file served as its header followed by zeros up to a given size, the zeros never
// written: the buffer stays untouched unless a reader reads it.
struct HoleFile {
  static Bytes head;
  static int32_t size;
  static int32_t Open(const char *) { return 0; }
  static void *Read() {
    auto *p = (uint8_t *)SYS_MemGet(size, "HoleFile");
    if (p) std::memcpy(p, head.data(), head.size());
    return p;
  }
  static int32_t Size() { return size; }
  static int32_t Close() { return 0; }
  static int32_t Exist(const char *) { return -1; }
};
Bytes HoleFile::head;
int32_t HoleFile::size = 0;

// A level skipped for quality is stepped over as it lies in the file: one past the
// largest picture is refused for its size when the file holds every level, and the
// file is damaged when it does not. 46344x23172 DXT5 has 1073883168 bytes of blocks in level 0; kept at
// quality 2 the bitmap holds only level 2, 64 MiB.
TEST_F(TextureDds, SkippedLevelPastTheLargestPicture) {
  const Bytes header = MakeDds(46344, 23172, 3, "DXT5", {});
  const int64_t blocks[3] = {11586ll * 5793 * 16, 5793ll * 2897 * 16, 2897ll * 1449 * 16};
  txOptions(TX_DXT5, 1);
  txOptions(2, 2);
  static const txFunctions io = {HoleFile::Open, HoleFile::Read, HoleFile::Size, HoleFile::Close, HoleFile::Exist};
  txInit(&io);
  HoleFile::head = header;
  for (const bool holds : {true, false}) {
    SCOPED_TRACE(holds ? "file holds the levels" : "file one byte short");
    HoleFile::size = (int32_t)(128 + blocks[0] + blocks[1] + blocks[2] - (holds ? 0 : 1));
    int32_t error = 0;
    const std::string text = LogOf([&] {
      BitmapPtr b(txLoad("skip.dds"));
      EXPECT_FALSE(b);
      error = errGetLastError();
    });
    EXPECT_EQ(error, holds ? 1005 : 1002);
    EXPECT_EQ(text.find("too large to load: skip.dds (46344x23172): level 0 passes the 1073741823 bytes of the "
                        "largest picture") != std::string::npos,
              holds)
        << text;
  }
  MemFiles::Install();
}

TEST_F(TextureDds, MalformedFilesFail) {
  for (bool keep : {false, true}) {
    txOptions(TX_DXT1, keep);
    for (const Bad &c : Malformed()) {
      SCOPED_TRACE(testing::Message() << c.name << (keep ? " kept" : " decoded"));
      BitmapPtr b(Load(c.file));
      EXPECT_FALSE(b);
      EXPECT_EQ(errGetLastError(), c.error);
    }
  }
}

// Every prefix and many single-byte changes of each valid fixture, kept and decoded,
// either load into a consistent bitmap or fail with an error.
TEST_F(TextureDds, TruncatedAndMutatedFilesNeverOverrun) {
  Bytes dxt3 = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};
  Append(dxt3, kBlueRed);
  const Bytes levels5 = Dxt5Levels();
  const Bytes dxt5(levels5.begin(), levels5.begin() + 16);
  const std::vector<Bytes> valid = {
      MakeDds(8, 8, 4, "DXT5", Dxt5Levels()),
      MakeDds(5, 3, 1, "DXT3", Repeat(dxt3, 2)),
      MakeDds(8, 4, 0, "DXT1", Repeat(kRedBlue, 2)),
      MakeDdsVolume(8, 8, 3, 4, Repeat(kRedBlue, 4 * 3 + 1 + 1 + 1)),
      MakeTqx(8, 8, "DXT1", {Repeat(kRedBlue, 4), kBlueRed, kRedBlue, kBlueRed}, {true, false, true, false}),
      MakeTqx(4, 4, "DXT5", {dxt5, Repeat(Bytes{1}, 16)}, {true, false}, "DDZ "),
  };
  for (bool keep : {false, true}) {
    txOptions(TX_DXT1, keep);
    txOptions(TX_DXT3, keep);
    txOptions(TX_DXT5, keep);
    for (size_t f = 0; f < valid.size(); ++f) {
      SCOPED_TRACE(testing::Message() << "fixture " << f << (keep ? " kept" : " decoded"));
      const Bytes &file = valid[f];
      {
        BitmapPtr b(Load(file));
        ASSERT_TRUE(b);
      }
      auto check = [](const Bytes &data) {
        BitmapPtr b(Load(data));
        if (!b) {
          EXPECT_NE(errGetLastError(), 0);
          return;
        }
        EXPECT_TRUE(LevelsReadable(b.p));
      };
      for (size_t n = 0; n < file.size(); ++n) check(Bytes(file.begin(), file.begin() + (long)n));
      for (size_t at = 0; at < file.size(); ++at)
        for (uint8_t v : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
          Bytes m = file;
          m[at] = v;
          check(m);
        }
    }
  }
}

}  // namespace
