// Pixel converters and txScale.
#include <cmath>

#include "tests/media/texture_fixtures.h"

namespace {

class TextureConverters : public TextureTest {};

BitmapPtr Filled(int layout, int w, int h, const Bytes &pixels) {
  BitmapPtr b(txCreateDummy(layout, w, h));
  std::memcpy(b->image[0], pixels.data(), pixels.size());
  return b;
}

TEST_F(TextureConverters, ScaleAveragesExactBlocks) {
  // 4x4 grey to 2x2: each target is the mean of one 2x2 block.
  BitmapPtr b = Filled(3, 4, 4, Bytes{0, 4, 10, 10, 8, 12, 10, 10, 1, 1, 200, 100, 1, 1, 100, 200});
  ASSERT_EQ(txScale(b.p, 2, 2), 0);
  EXPECT_EQ(b->width, 2);
  EXPECT_EQ(b->height, 2);
  EXPECT_EQ(Level0(b.p), (Bytes{6, 10, 1, 150}));
}

TEST_F(TextureConverters, ScaleNonIntegerRatioTruncatesColumnMapping) {
  // 300x200 to 128x128: column x goes to target trunc(x * 128/300); value = x % 256
  // in channel 0, so each target averages the two or three columns mapped onto it.
  const int W = 300, H = 200;
  Bytes px((size_t)W * H * 3);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) px[((size_t)y * W + x) * 3] = (uint8_t)(x % 200);
  BitmapPtr b = Filled(0, W, H, px);
  ASSERT_EQ(txScale(b.p, 128, 128), 0);
  ASSERT_EQ(b->imagesize[0], 128 * 128 * 3);
  const float ix = 1.0f / ((float)W / 128.0f);
  for (int tx : {0, 1, 57, 127}) {
    int sum = 0, n = 0;
    for (int x = 0; x < W; ++x)
      if ((int)((float)x * ix) == tx) sum += x % 200, ++n;
    ASSERT_GE(n, 2);
    ASSERT_LE(n, 3);
    EXPECT_EQ(b->image[0][tx * 3], (uint8_t)((float)sum * (1.0f / (float)n))) << tx;
  }
}

TEST_F(TextureConverters, ScaleEdgeCases) {
  Bytes px = Ramp(12);
  BitmapPtr same = Filled(0, 2, 2, px);
  ASSERT_EQ(txScale(same.p, 2, 2), 0);
  EXPECT_EQ(Level0(same.p), px);

  BitmapPtr grow = Filled(0, 2, 2, px);
  EXPECT_EQ(txScale(grow.p, 4, 4), 0);  // magnify: unchanged
  EXPECT_EQ(grow->width, 2);
  EXPECT_EQ(txScale(grow.p, 1, 4), 0);  // one side growing: unchanged
  EXPECT_EQ(grow->height, 2);

  BitmapPtr zero = Filled(0, 2, 2, px);
  ASSERT_EQ(txScale(zero.p, 0, 0), 0);  // never a side of 0
  EXPECT_EQ(zero->width, 1);
  EXPECT_EQ(zero->height, 1);
  EXPECT_EQ(zero->imagesize[0], 3);

  BitmapPtr dxt(txCreateDummy(0, 4, 4));
  dxt->type = TX_TYPE_COMPRESSED;
  dxt->subtype = TX_DXT1;
  EXPECT_EQ(txScale(dxt.p, 2, 2), -1);
  EXPECT_EQ(dxt->width, 4);

  // 16-bit pixels: two channels averaged, nothing read past the level.
  BitmapPtr two(txCreateDummy(3, 4, 1));
  two->bits = 16;
  two->width = 2;
  std::memcpy(two->image[0], Bytes{10, 20, 30, 40}.data(), 4);
  ASSERT_EQ(txScale(two.p, 1, 1), 0);
  EXPECT_EQ(Level0(two.p), (Bytes{20, 30}));
}

TEST_F(TextureConverters, DepthConversions) {
  BitmapPtr b = Filled(0, 2, 1, Bytes{1, 2, 3, 4, 5, 6});
  ASSERT_EQ(tx24to32(b.p), 0);
  EXPECT_EQ(b->bits, 32);
  EXPECT_EQ(b->subtype, 0);  // unchanged by design
  EXPECT_EQ(Level0(b.p), (Bytes{1, 2, 3, 255, 4, 5, 6, 255}));
  EXPECT_EQ(tx24to32(b.p), 0);  // already 32: nothing changes
  EXPECT_EQ(b->imagesize[0], 8);
  ASSERT_EQ(tx32to24(b.p), 0);
  EXPECT_EQ(Level0(b.p), (Bytes{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(b->subtype, 0);
  ASSERT_EQ(tx24to8(b.p, 1), 0);
  EXPECT_EQ(Level0(b.p), (Bytes{2, 5}));
  EXPECT_EQ(b->subtype, 3);
  EXPECT_EQ(tx24to8(b.p, 0), -1);
  EXPECT_EQ(errGetLastError(), 1004);
  ASSERT_EQ(tx8to24(b.p), 0);
  EXPECT_EQ(Level0(b.p), (Bytes{2, 2, 2, 5, 5, 5}));
  EXPECT_EQ(tx8to24(b.p), -1);
  EXPECT_EQ(errGetLastError(), 1004);
  ASSERT_EQ(txInvert(b.p), 0);
  EXPECT_EQ(Level0(b.p), (Bytes{253, 253, 253, 250, 250, 250}));
}

TEST_F(TextureConverters, Intensity) {
  BitmapPtr red = Filled(1, 2, 1, Bytes{255, 0, 0, 30, 60, 90});
  BitmapPtr w(txIntensity(red.p, 1));
  ASSERT_TRUE(w);
  EXPECT_EQ(w->bits, 8);
  EXPECT_EQ(w->subtype, 3);
  EXPECT_EQ(Level0(w.p), (Bytes{76, (uint8_t)((77 * 30 + 150 * 60 + 29 * 90) >> 8)}));
  BitmapPtr mean(txIntensity(red.p, 0));
  EXPECT_EQ(Level0(mean.p), (Bytes{85, 60}));
  EXPECT_EQ(Level0(red.p), (Bytes{255, 0, 0, 30, 60, 90}));
  BitmapPtr grey(txCreateDummy(3, 1, 1));
  EXPECT_EQ(txIntensity(grey.p, 0), nullptr);
  EXPECT_EQ(errGetLastError(), 1004);
}

TEST_F(TextureConverters, ExpandPalette) {
  uint8_t palette[1024] = {};
  palette[4 * 2] = 9, palette[4 * 2 + 1] = 8, palette[4 * 2 + 2] = 7, palette[4 * 2 + 3] = 99;
  uint8_t idx[] = {2, 0};
  uint8_t out[6];
  txExpandPalette(idx, out, 2, palette);
  EXPECT_EQ(Bytes(out, out + 6), (Bytes{9, 8, 7, 0, 0, 0}));
}

}  // namespace
