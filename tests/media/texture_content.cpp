// The generated textures as the show reads them: "greet.tga" strips in the rows that
// the tunnel's texture coordinates address, "logo.tga" as raw bytes, the sprite and
// the cube face through the loader.
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "tests/media/texture_fixtures.h"
#include "tools/gentex_greet.h"

namespace {

class TextureContent : public TextureTest {
 protected:
  void SetUp() override {
    TextureTest::SetUp();
    txInit(nullptr);
    txOptions(3, 1);  // the presentation's R,G,B order
  }
  static std::string Content(const char *name) {
    const char *bin = std::getenv("KORV_BINARY_DIR");
    return (bin ? std::string(bin) + "/content" : std::string(KORV_TEST_CONTENT_DIR)) + "/" + name;
  }
};

// Strip K of the tunnel spans v from 1 - (K + 1) c to 1 - K c (c = 21/512); GL's row
// r of the uploaded data covers v in [r/512, (r + 1)/512]. The loaded rows there must
// be greeting K, its glyph tops at the lower row numbers.
TEST_F(TextureContent, GreetStripsLieWhereTheTunnelMapsThem) {
  BitmapPtr b(txLoad(Content("greet.tga").c_str()));
  ASSERT_TRUE(b);
  ASSERT_EQ(b->height, 512);
  ASSERT_EQ(b->width, gentex::kGreetSize);
  ASSERT_EQ(b->bits, 24);
  gentex::Lettering font(gentex::kFontBold, gentex::kGreetPixelHeight);
  ASSERT_TRUE(font.ok());
  const double c = 21.0 / 512.0;
  for (int k = 0; k < 24; ++k) {
    SCOPED_TRACE(k);
    const int firstRow = (int)std::lround((1 - (k + 1) * c) * 512), endRow = (int)std::lround((1 - k * c) * 512);
    ASSERT_EQ(endRow - firstRow, 21);
    gentex::Canvas strip = gentex::GreetStrip(font, k);
    int lit = 0, mismatches = 0;
    for (int i = 0; i < 21; ++i)
      for (int x = 0; x < b->width; ++x) {
        uint8_t got = b->image[0][((size_t)(firstRow + i) * b->width + x) * 3];
        mismatches += got != strip.at(x, i);
        lit += got > 128;
      }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(lit, 200);
  }
  // Strip 0 is the last 21 rows of the data: v = 1 is its top.
  EXPECT_EQ((int)std::lround((1 - c) * 512), 512 - 21);
  for (int row = 0; row < 512 - 24 * 21; ++row)
    for (int x = 0; x < b->width; ++x) ASSERT_EQ(b->image[0][((size_t)row * b->width + x) * 3], 0);
}

TEST_F(TextureContent, LogoIsRaw24BitWithPixelsAt18) {
  std::ifstream f(Content("logo.tga"), std::ios::binary);
  Bytes d((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  ASSERT_EQ(d.size(), 18u + 1024 * 64 * 3);
  EXPECT_EQ(d[0], 0);  // no ID field
  EXPECT_EQ(d[2], 2);
  EXPECT_EQ(d[12] | d[13] << 8, 1024);
  EXPECT_EQ(d[14] | d[15] << 8, 64);
  EXPECT_EQ(d[16], 24);
  EXPECT_EQ(d[17] & 0x20, 0);  // bottom row first, as the scenes read it
  int lit = 0, colMin = 1024, colMax = -1;
  for (int j = 0; j < 64; ++j)
    for (int i = 0; i < 1024; ++i) {
      uint8_t v = d[18 + 3 * (1024 * j + i)];
      ASSERT_TRUE(v == 0 || v == 255);
      if (v) ++lit, colMin = std::min(colMin, i), colMax = std::max(colMax, i);
    }
  EXPECT_GT(lit, 5000);
  EXPECT_LT(lit, 40000);
  EXPECT_GT(colMax - colMin, 400);
  // Through the loader the same file comes top row first.
  BitmapPtr b(txLoad(Content("logo.tga").c_str()));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->image[0][0], d[18 + 3 * 1024 * 63]);
  EXPECT_EQ(0, std::memcmp(b->image[0], d.data() + 18 + 3 * 1024 * 63, 3 * 1024));
}

TEST_F(TextureContent, SpriteGlowsAndFadesToBlackEdges) {
  BitmapPtr b(txLoad(Content("sprite8.tga").c_str()));
  ASSERT_TRUE(b);
  const int w = b->width, h = b->height;
  ASSERT_EQ(b->bits, 24);
  auto px = [&](int x, int y) { return b->image[0][((size_t)y * w + x) * 3]; };
  for (int i = 0; i < w; ++i) EXPECT_TRUE(px(i, 0) == 0 && px(i, h - 1) == 0 && px(0, i % h) == 0 && px(w - 1, i % h) == 0);
  EXPECT_GT(px(w / 2, h / 2), 240);
  EXPECT_GT(px(w / 2, h / 2), px(w / 2 + w / 4, h / 2));
  EXPECT_GT(px(w / 2 + w / 4, h / 2), 0);
}

TEST_F(TextureContent, CubeFaceIsHighContrast) {
  BitmapPtr b(txLoad(Content("kekviz.tga").c_str()));
  ASSERT_TRUE(b);
  int dark = 0, bright = 0, n = b->width * b->height;
  for (int i = 0; i < n; ++i) {
    uint8_t v = b->image[0][i * 3];
    dark += v < 32;
    bright += v > 224;
  }
  EXPECT_GT(dark, n / 5);
  EXPECT_GT(bright, n / 5);
  EXPECT_GT(dark + bright, n * 9 / 10);
}

}  // namespace
