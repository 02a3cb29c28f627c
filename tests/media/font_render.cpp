// Font renderer drawing: blending, measures and kerning against FreeType's own metrics,
// alignment, clipping, encodings, refused bitmaps and a bitmap-only face.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/main.h"
#include "base/mem.h"
#include "media/font/FR.h"

namespace {

const std::string kSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// A bitmap-only face: glyph 'A' is a 4x4 square ring, advance 5 pixels.
const char kBdf[] =
    "STARTFONT 2.1\n"
    "FONT -test-fixed-medium-r-normal--8-80-75-75-c-40-iso10646-1\n"
    "SIZE 8 75 75\n"
    "FONTBOUNDINGBOX 4 8 0 -2\n"
    "STARTPROPERTIES 4\n"
    "FONT_ASCENT 6\n"
    "FONT_DESCENT 2\n"
    "CHARSET_REGISTRY \"ISO10646\"\n"
    "CHARSET_ENCODING \"1\"\n"
    "ENDPROPERTIES\n"
    "CHARS 1\n"
    "STARTCHAR A\n"
    "ENCODING 65\n"
    "SWIDTH 500 0\n"
    "DWIDTH 5 0\n"
    "BBX 4 4 0 0\n"
    "BITMAP\nF0\n90\n90\nF0\n"
    "ENDCHAR\n"
    "ENDFONT\n";

// Ink extent of a one-byte-per-pixel or wider bitmap (any non-zero byte).
struct Ink {
  int left = INT_MAX, right = -1, top = INT_MAX, bottom = -1;
};
Ink InkOf(const txBitmap *b) {
  Ink ink;
  const int bpp = b->bits / 8;
  for (int y = 0; y < b->height; ++y)
    for (int x = 0; x < b->width; ++x)
      for (int c = 0; c < bpp; ++c)
        if (b->image[0][(y * b->width + x) * bpp + c]) {
          ink.left = std::min(ink.left, x);
          ink.right = std::max(ink.right, x);
          ink.top = std::min(ink.top, y);
          ink.bottom = std::max(ink.bottom, y);
        }
  return ink;
}

// DejaVu Sans opened by FreeType itself at 20 pixels, for the figures the renderer
// must reproduce; face is null when it cannot be opened.
struct SansFace {
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  SansFace() {
    if (FT_Init_FreeType(&lib) || FT_New_Face(lib, kSans.c_str(), 0, &face) ||
        FT_Set_Char_Size(face, 0, 20 * 64, 0, 0))
      face = nullptr;
  }
  ~SansFace() { FT_Done_FreeType(lib); }  // closes the face too
  SansFace(const SansFace &) = delete;
  SansFace &operator=(const SansFace &) = delete;
};

class FontRender : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kSans)) GTEST_SKIP() << "fonts-dejavu-core is not installed";
    ASSERT_EQ(SYS_BaseInit(nullptr, 0, nullptr, nullptr), 0);
    ASSERT_EQ(ftInit(), 0);
    ASSERT_EQ(ftAddFaceFile(kSans.c_str()), 0);
    font_ = ftNewFont(FR_ENC_ISO8859_1, 0xFFFFFFFFu, FR_HALIGN_LEFT, FR_VALIGN_TOP);
    ASSERT_NE(font_, nullptr);
    ASSERT_EQ(ftSetFont(font_, kSans.c_str(), 20, 400, 0), 0);
  }
  void TearDown() override {
    if (IsSkipped()) return;
    for (txBitmap *&b : bitmaps_) txFree(&b);
    ftFreeFont(font_);
    ftDone();
  }
  txBitmap *Bitmap(int layout, int w, int h) {
    txBitmap *b = txCreateDummy(layout, w, h);
    EXPECT_NE(b, nullptr);
    bitmaps_.push_back(b);
    return b;
  }
  // Measures of text without drawing anything that matters.
  void Measure(const char *text, int32_t *w, int32_t *h) {
    txBitmap *scratch = txCreateDummy(3, 1, 1);
    ASSERT_EQ(ftRender(font_, scratch, text, w, h), 0);
    txFree(&scratch);
  }
  ft_font_t *font_ = nullptr;
  std::vector<txBitmap *> bitmaps_;
};

TEST_F(FontRender, FullCoverageBlendsTheColourAtItsAlpha) {
  // Red at alpha 128 over zero: a fully covered pixel is 128, 0, 0, 128.
  ftSetColor(font_, 0xFF000080u);
  ftSetSize(font_, 48);
  txBitmap *b = Bitmap(2, 64, 64);
  ASSERT_EQ(ftRender(font_, b, "I", nullptr, nullptr), 0);
  int full = 0, inked = 0;
  for (int32_t i = 0; i < b->imagesize[0]; i += 4) {
    const uint8_t *p = b->image[0] + i;
    if (!p[0] && !p[3]) continue;
    ++inked;
    // Every inked pixel is red at a coverage-scaled alpha, never above 128.
    EXPECT_EQ(p[0], p[3]);
    EXPECT_EQ(p[1], 0);
    EXPECT_EQ(p[2], 0);
    EXPECT_LE(p[0], 128);
    if (p[0] == 128) ++full;
  }
  EXPECT_GT(inked, 0);
  EXPECT_GT(full, 0) << "the stem of 'I' has fully covered pixels";
}

TEST_F(FontRender, BlendsOverTheBackgroundFromTheCoverage) {
  // White at full alpha into a grey bitmap gives the coverage itself.
  const char *text = "Wave";
  txBitmap *cover = Bitmap(3, 80, 30);
  ASSERT_EQ(ftRender(font_, cover, text, nullptr, nullptr), 0);

  const uint32_t colour = 0xC8643280u;  // 200, 100, 50, alpha 128
  ftSetColor(font_, colour);
  for (int layout : {0, 2}) {
    txBitmap *b = Bitmap(layout, 80, 30);
    const int bpp = b->bits / 8;
    for (int32_t i = 0; i < b->imagesize[0]; ++i) b->image[0][i] = (uint8_t)(10 + 10 * (i % bpp));
    ASSERT_EQ(ftRender(font_, b, text, nullptr, nullptr), 0);
    for (int px = 0; px < 80 * 30; ++px) {
      const uint32_t a = cover->image[0][px];
      const uint8_t *p = b->image[0] + px * bpp;
      const uint32_t alpha = a * 128 / 255, inv = 255 - alpha;
      const uint32_t expect[4] = {(200 * alpha + 10 * inv) / 255, (100 * alpha + 20 * inv) / 255,
                                  (50 * alpha + 30 * inv) / 255, (40 * inv + 255 * alpha) / 255};
      for (int c = 0; c < bpp; ++c)
        ASSERT_EQ(p[c], a ? expect[c] : 10 + 10 * c) << "layout " << layout << " pixel " << px << " byte " << c;
    }
  }
}

TEST_F(FontRender, MeasuresAreTheAdvancesAndTheTallestGlyph) {
  // The figures from FreeType itself: unhinted advances, bitmap rows and tops.
  const SansFace sans;
  ASSERT_NE(sans.face, nullptr);
  const FT_Face face = sans.face;
  for (const char *text : {"AVAWAy", "To, Ty.", "g", "   "}) {
    int32_t advance = 0, rows = 0, top = INT_MAX;
    for (const char *c = text; *c; ++c) {
      ASSERT_EQ(FT_Load_Char(face, (uint8_t)*c, FT_LOAD_NO_HINTING | FT_LOAD_RENDER), 0);
      advance += (int32_t)(face->glyph->advance.x >> 6);
      rows = std::max(rows, (int32_t)face->glyph->bitmap.rows);
      if (face->glyph->bitmap_top) top = std::min(top, face->glyph->bitmap_top);
    }
    if (top == INT_MAX) top = 0;
    int32_t w = -1, h = -1;
    Measure(text, &w, &h);
    EXPECT_EQ(w, advance) << text;  // kerning is not counted
    EXPECT_EQ(h, 2 * rows - top) << text;
  }
}

TEST_F(FontRender, KerningMovesTheSecondGlyph) {
  // The second glyph's ink starts at the first one's advance less its left bearing,
  // plus the pair's kerning and its own bearing. The first glyph is the taller, so
  // drawn alone it sits on the same baseline, and the second glyph's ink is where the
  // pair's picture differs from it.
  const SansFace sans;
  ASSERT_NE(sans.face, nullptr);
  const FT_Face face = sans.face;
  struct Case {
    const char *pair;
    int32_t kern;  // DejaVu Sans at 20 pixels
  } cases[] = {
      {"To", -3}, {"AV", -1},
      // FreeType fits these to whole pixels otherwise than plain rounding of the
      // scaled kern would (-1.55 and -2.94 pixels), so they show which value the pen
      // takes.
      {"AT", -1}, {"Tr", -2},
  };
  for (const Case &c : cases) {
    const FT_UInt first = FT_Get_Char_Index(face, (uint8_t)c.pair[0]);
    const FT_UInt second = FT_Get_Char_Index(face, (uint8_t)c.pair[1]);
    FT_Vector kern;
    ASSERT_EQ(FT_Get_Kerning(face, first, second, FT_KERNING_DEFAULT, &kern), 0);
    ASSERT_EQ((kern.x + 32) >> 6, c.kern) << c.pair;
    ASSERT_EQ(FT_Load_Glyph(face, first, FT_LOAD_NO_HINTING | FT_LOAD_RENDER), 0);
    const int32_t step = (int32_t)(face->glyph->advance.x >> 6) - face->glyph->bitmap_left;
    ASSERT_EQ(FT_Load_Glyph(face, second, FT_LOAD_NO_HINTING | FT_LOAD_RENDER), 0);
    const FT_Bitmap &bits = face->glyph->bitmap;
    int32_t inkColumn = INT_MAX;
    for (uint32_t y = 0; y < bits.rows; ++y)
      for (uint32_t x = 0; x < bits.width; ++x)
        if (bits.buffer[y * bits.pitch + x]) inkColumn = std::min(inkColumn, (int32_t)x);
    const int32_t unkerned = step + face->glyph->bitmap_left + inkColumn;

    txBitmap *both = Bitmap(3, 40, 30), *alone = Bitmap(3, 40, 30);
    ASSERT_EQ(ftRender(font_, both, c.pair, nullptr, nullptr), 0);
    ASSERT_EQ(ftRender(font_, alone, std::string(c.pair, 1).c_str(), nullptr, nullptr), 0);
    int32_t landed = INT_MAX;
    for (int32_t i = 0; i < both->imagesize[0]; ++i)
      if (both->image[0][i] != alone->image[0][i]) landed = std::min(landed, i % 40);
    EXPECT_EQ(landed, unkerned + c.kern) << c.pair << ", unkerned at " << unkerned;
  }
}

TEST_F(FontRender, HorizontalAlignmentPlacesTheFirstInk) {
  int32_t w = 0, h = 0;
  Measure("Hi", &w, &h);
  ASSERT_GT(w, 0);
  struct Case {
    int32_t align, extra, firstColumn;
  } cases[] = {
      {FR_HALIGN_LEFT, 10, 0}, {FR_HALIGN_RIGHT, 10, 10}, {FR_HALIGN_CENTER, 10, 5},
      {FR_HALIGN_CENTER, 11, 5}, {FR_HALIGN_CENTER, 13, 6},
  };
  for (const Case &c : cases) {
    txBitmap *b = Bitmap(3, w + c.extra, 40);
    ASSERT_EQ(ftSetHAlign(font_, c.align), 0);
    ASSERT_EQ(ftRender(font_, b, "Hi", nullptr, nullptr), 0);
    EXPECT_EQ(InkOf(b).left, c.firstColumn) << "align " << c.align << " extra " << c.extra;
  }
  // An explicit position puts the ink at x and the top of 'H' at y.
  txBitmap *b = Bitmap(3, w + 20, 60);
  ftSetPosition(font_, 7, 9);
  ASSERT_EQ(ftRender(font_, b, "H", nullptr, nullptr), 0);
  EXPECT_EQ(InkOf(b).left, 7);
  EXPECT_EQ(InkOf(b).top, 9);
}

TEST_F(FontRender, VerticalAlignmentUsesTheLineHeight) {
  // The line height from DejaVu's metrics for size 20: em size from the OS/2
  // window metrics for a height of trunc(20 x 0.7654...) + 1 = 16.
  const SansFace sans;
  ASSERT_NE(sans.face, nullptr);
  const FT_Face face = sans.face;
  const TT_OS2 *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  ASSERT_NE(os2, nullptr);
  const float ppem = (float)(face->units_per_EM * 16 / (os2->usWinAscent + os2->usWinDescent));
  const double unit = 1.0 / face->units_per_EM;
  const int32_t line = (int32_t)std::trunc(face->bbox.yMax * unit * ppem + 1.0) -
                       (int32_t)std::trunc(face->bbox.yMin * unit * ppem - 1.0) + 5;

  // 'H' sits on the baseline and is as tall as the line's tallest glyph, so its
  // ink starts at the alignment's origin row.
  const int32_t bh = 61;
  struct Case {
    int32_t align, firstRow;
  } cases[] = {{FR_VALIGN_TOP, 0}, {FR_VALIGN_BOTTOM, bh - line}, {FR_VALIGN_CENTER, (bh - line) / 2}};
  for (const Case &c : cases) {
    txBitmap *b = Bitmap(3, 40, bh);
    ASSERT_EQ(ftSetVAlign(font_, c.align), 0);
    ASSERT_EQ(ftRender(font_, b, "H", nullptr, nullptr), 0);
    EXPECT_EQ(InkOf(b).top, c.firstRow) << "align " << c.align << " line height " << line;
  }
}

TEST_F(FontRender, GlyphsOutsideTheBitmapAreClipped) {
  // Tiny bitmaps and far origins: the sanitizer build sees any stray write.
  ftSetSize(font_, 64);
  struct Case {
    int32_t x, y;
  } cases[] = {{-30, -40}, {2, 2}, {-1000, 5}, {5, 100000}, {INT_MAX - 5, 0}, {0, INT_MIN + 5}};
  for (const Case &c : cases) {
    txBitmap *b = Bitmap(0, 5, 3);
    ftSetPosition(font_, c.x, c.y);
    int32_t w = 0;
    ASSERT_EQ(ftRender(font_, b, "WMg", &w, nullptr), 0);
    EXPECT_GT(w, 0);
  }
  // A glyph half outside keeps its inside part.
  txBitmap *b = Bitmap(3, 8, 8);
  ftSetPosition(font_, -2, -2);
  ASSERT_EQ(ftRender(font_, b, "H", nullptr, nullptr), 0);
  EXPECT_EQ(InkOf(b).left, 0);
}

TEST_F(FontRender, EncodingsReachTheSameGlyphs) {
  struct Case {
    int32_t encoding;
    std::string text;
    const char *same;  // ISO-8859-1 (or UTF-8 for 8859-2) text of the same glyphs
    int32_t sameEncoding;
  } cases[] = {
      {FR_ENC_UTF8, "\xC3\x89t\xC3\xA9", "\xC9t\xE9", FR_ENC_ISO8859_1},
      {FR_ENC_UCS2, std::string("\x00\xC9\x00t\x00\xE9\x00\x00", 8), "\xC9t\xE9", FR_ENC_ISO8859_1},
      {FR_ENC_ISO8859_2, "\xA3\xF3" "d\xBC", "\xC5\x81\xC3\xB3" "d\xC5\xBA", FR_ENC_UTF8},
      // A lone lead byte and a character beyond the BMP are each one U+FFFD.
      {FR_ENC_UTF8, "a\xC3", "a\xEF\xBF\xBD", FR_ENC_UTF8},
      {FR_ENC_UTF8, "\xF0\x9F\x98\x80!", "\xEF\xBF\xBD!", FR_ENC_UTF8},
  };
  for (const Case &c : cases) {
    txBitmap *a = Bitmap(3, 90, 30), *b = Bitmap(3, 90, 30);
    int32_t wa = 0, wb = 0;
    ftSetEncoding(font_, c.encoding);
    ASSERT_EQ(ftRender(font_, a, c.text.c_str(), &wa, nullptr), 0) << c.encoding;
    ftSetEncoding(font_, c.sameEncoding);
    ASSERT_EQ(ftRender(font_, b, c.same, &wb, nullptr), 0) << c.encoding;
    EXPECT_EQ(wa, wb) << c.encoding << " " << c.same;
    EXPECT_GT(wa, 0);
    EXPECT_EQ(std::memcmp(a->image[0], b->image[0], a->imagesize[0]), 0) << c.encoding << " " << c.same;
  }
}

TEST_F(FontRender, RefusedBitmapsAreLeftUntouched) {
  struct Case {
    int32_t type, subtype, bits;
  } cases[] = {{5, 0, 24}, {0, 4, 8}, {4, 0, 24}, {0, -1, 24}, {0, 0, 16}, {0, 0, 0}};
  for (const Case &c : cases) {
    txBitmap *b = Bitmap(0, 16, 16);
    b->type = c.type;
    b->subtype = c.subtype;
    b->bits = c.bits;
    int32_t w = -3;
    EXPECT_EQ(ftRender(font_, b, "X", &w, nullptr), -1) << c.type << "/" << c.subtype << "/" << c.bits;
    EXPECT_EQ(errGetLastError(), 1005);
    EXPECT_EQ(w, -3);
    for (int32_t i = 0; i < b->imagesize[0]; ++i) ASSERT_EQ(b->image[0][i], 0);
  }
  // Level data shorter than the sides claim.
  txBitmap *b = Bitmap(2, 4, 4);
  b->width = 400;
  EXPECT_EQ(ftRender(font_, b, "X", nullptr, nullptr), -1);
  EXPECT_EQ(errGetLastError(), 1005);
  b->width = 4;
}

TEST_F(FontRender, SizeFreeTypeRefusesIsNotDrawnAtTheOldSize) {
  txBitmap *b = Bitmap(3, 32, 32);
  ASSERT_EQ(ftRender(font_, b, "x", nullptr, nullptr), 0);  // FreeType now holds size 20
  std::memset(b->image[0], 0, b->imagesize[0]);
  ftSetSize(font_, 100000);
  int32_t w = -2;
  EXPECT_EQ(ftRender(font_, b, "x", &w, nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(w, -2);
  EXPECT_EQ(InkOf(b).right, -1);
}

TEST(FontBitmapFace, StrikeFaceRendersAtItsOwnSizeAndWarns) {
  const std::string log = "font_render." + std::to_string(getpid()) + ".log";
  const char *argv[] = {"font", "-v", "-debug-fr", "-debug-log", log.c_str()};
  ASSERT_EQ(SYS_BaseInit(nullptr, 5, argv, nullptr), 0);
  // The log keeps the name it was first given until the framework shuts down, and
  // the other tests of this binary start it without one.
  ASSERT_EQ(SYS_DbgLogFile(log.c_str()), 0);
  ASSERT_EQ(ftInit(), 0);
  const int32_t size = (int32_t)sizeof(kBdf) - 1;
  void *data = SYS_MemGet(size, "bdf");
  std::memcpy(data, kBdf, size);
  ASSERT_EQ(ftAddFaceMem("ring.bdf", data, size), 0) << errGetLastError();
  EXPECT_EQ(ftFindFace("ring.bdf")->scalable, 0);

  ft_font_t *font = ftNewFont(FR_ENC_ISO8859_1, 0xFFFFFFFFu, FR_HALIGN_LEFT, FR_VALIGN_TOP);
  ASSERT_EQ(ftSetFont(font, "ring.bdf", 40, 400, 0), 0);
  txBitmap *b = txCreateDummy(3, 12, 6);
  int32_t w = 0, h = 0;
  ASSERT_EQ(ftRender(font, b, "AA", &w, &h), 0);
  EXPECT_EQ(w, 10);
  EXPECT_EQ(h, 4);  // 2 x 4 rows - top 4
  const char *expect[] = {
      "####.####...",
      "#..#.#..#...",
      "#..#.#..#...",
      "####.####...",
      "............",
      "............",
  };
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 12; ++x)
      EXPECT_EQ(b->image[0][y * 12 + x], expect[y][x] == '#' ? 255 : 0) << x << "," << y;
  txFree(&b);
  ftFreeFont(font);
  ftDone();
  SYS_BaseDone();

  std::ifstream in(log);
  std::stringstream s;
  s << in.rdbuf();
  std::remove(log.c_str());
  EXPECT_NE(s.str().find("[fr][ttf]"), std::string::npos);
  EXPECT_NE(s.str().find("!!!! WARNING : unable to set font size."), std::string::npos);
  EXPECT_NE(s.str().find("pOS2 table is NULL"), std::string::npos);
}

}  // namespace
