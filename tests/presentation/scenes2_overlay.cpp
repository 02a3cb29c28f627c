// Debug overlay and bitmap font through a recording GL table: the font texture from
// the glyph table, glyph quads and their texture cells, the overlay line and the beat
// bar, and the GL error dump.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "presentation/overlay.h"
#include "presentation/show.h"
#include "tests/presentation/scenes2_recorder.h"

namespace {

using namespace s2test;

TEST(ScenesOverlay, FontTextureHoldsEveryGlyphBitAsOneLuminanceTexel) {
  EXPECT_EQ(FontBit(0, 6), 255);  // 0x40
  EXPECT_EQ(FontBit(0, 5), 0);
  EXPECT_EQ(FontBit(287, 7), 255);  // 0xF0: the filled block's last row
  EXPECT_EQ(FontBit(287, 3), 0);
  EXPECT_EQ(FontBit(288, 0), 0) << "outside the table";
  EXPECT_EQ(FontBit(-1, 0), 0);

  Install();
  Rec().texImage.clear();
  FontTextureBuild();
  EXPECT_EQ(FontTexture, (int32_t)kGeneratedTexture);
  const std::vector<Call> image = Only(kTexImage2D);
  ASSERT_EQ(image.size(), 1u);
  EXPECT_EQ(std::vector<double>(image[0].a, image[0].a + 8),
            (std::vector<double>{GL_TEXTURE_2D, 0, 1, 64, 64, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE}));
  const std::vector<uint8_t> &texels = Rec().texImage;
  ASSERT_EQ(texels.size(), 4096u);
  for (int32_t i = 0; i < kFontGlyphBytes; i++)
    for (int b = 0; b < 8; b++) ASSERT_EQ(texels[8 * i + b], (FontGlyphs[i] >> b) & 1 ? 255 : 0) << i << " " << b;
  for (size_t t = 8 * kFontGlyphBytes; t < texels.size(); t++) ASSERT_EQ(texels[t], 0) << t;
  // Glyph 16 ('0'), top row: 0x4C's low nibble, lowest bit leftmost: ..##
  EXPECT_EQ(std::string(texels.begin() + 6 * 64, texels.begin() + 6 * 64 + 4), std::string("\0\0\xff\xff", 4));

  std::vector<std::pair<double, double>> params;
  for (const Call &c : Only(kTexParameteri)) params.push_back({c.a[1], c.a[2]});
  const std::vector<std::pair<double, double>> expected = {{GL_TEXTURE_MIN_FILTER, GL_NEAREST},
                                                           {GL_TEXTURE_MAG_FILTER, GL_NEAREST},
                                                           {GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE},
                                                           {GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE}};
  EXPECT_EQ(params, expected);
}

TEST(ScenesOverlay, GlyphQuadsSitOnTheGridWithTheirTextureCell) {
  struct Case {
    char ch;
    bool raw;
    float x, y;
    double X, Y;  // top-left corner
    int glyph;
  };
  const Case cases[] = {
      {'0', false, 1, 1, -0.99, 0.98, 16},      {'A', false, 3, 2, -0.97, 0.96, 33},
      {'\0', false, 1, 1, -0.99, 0.98, 0},      {(char)0x80, false, 1, 1, -0.99, 0.98, 0},
      {'\x1f', true, 0.5f, -0.25f, 0.5, -0.25, 0}, {'\x7f', true, 0, 0, 0, 0, 95},
  };
  for (const Case &c : cases) {
    Install();
    DrawGlyph(c.ch, c.raw, c.x, c.y);
    ASSERT_EQ(Count(kBegin), 1u);
    EXPECT_EQ(Only(kBegin)[0].a[0], GL_QUADS);
    const std::vector<Call> v = Only(kVertex2f), t = Only(kTexCoord2f);
    ASSERT_EQ(v.size(), 4u);
    ASSERT_EQ(t.size(), 4u);
    const double u0 = c.glyph % 16 * 0.0625, v0 = c.glyph / 16 * 0.09375;
    const double corner[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int k = 0; k < 4; k++) {
      EXPECT_NEAR(v[k].a[0], c.X + corner[k][0] * 0.01, 1e-6) << (int)c.ch << " corner " << k;
      EXPECT_NEAR(v[k].a[1], c.Y - corner[k][1] * 0.02, 1e-6) << (int)c.ch << " corner " << k;
      EXPECT_FLOAT_EQ((float)t[k].a[0], (float)(u0 + corner[k][0] * 0.0625)) << (int)c.ch;
      EXPECT_FLOAT_EQ((float)t[k].a[1], (float)(v0 + corner[k][1] * 0.09375)) << (int)c.ch;
    }
  }
  // Texts advance one cell per character, in grid and raw mode; empty draws nothing.
  Install();
  DrawText("abc", false, 2, 5);
  ASSERT_EQ(Count(kVertex2f), 12u);
  EXPECT_NEAR(Only(kVertex2f)[8].a[0], 4 * 0.01 - 1, 1e-6);
  Install();
  DrawText("abc", true, -0.5f, 0);
  EXPECT_NEAR(Only(kVertex2f)[8].a[0], -0.48, 1e-6);
  Install();
  DrawText("", false, 1, 1);
  EXPECT_EQ(Calls().size(), 0u);
}

TEST(ScenesOverlay, LineAndBarTexts) {
  ShortString fps("FPS : [59.87]");
  fps += '\0';
  const ShortString line = OverlayLine(1234, fps, 22, 5);
  EXPECT_EQ(std::string_view(line), std::string_view("1234 frame : 30 FPS : [59.87]\0 22 / 5", 37));
  EXPECT_EQ(std::string_view(OverlayLine(0, fps, 0, 0)).substr(0, 12), "0 frame : 0 ");
  EXPECT_EQ(std::string_view(OverlayLine(-41, ShortString(), -1, 57)), "-41 frame : -1  -1 / 57");
  EXPECT_EQ(std::string_view(IntToText(INT32_MIN)), "-2147483648");

  const struct {
    float beat;
    size_t bars;
  } bars[] = {{1.0f, 16}, {0.03f, 0}, {0.5f, 8}, {0.03125f, 0}, {0.09375f, 2}, {0.0f, 0}, {-0.5f, 0}, {9.0f, 22}};
  for (const auto &b : bars) {
    const ShortString bar = BeatBar(b.beat);
    EXPECT_EQ(bar.size(), b.bars) << b.beat;
    EXPECT_EQ(std::string_view(bar).find_first_not_of('='), std::string_view::npos);
  }
  EXPECT_EQ(BeatBar(std::nanf("")).size(), 0u);
}

TEST(ScenesOverlay, OverlayDrawsTheLineThenTheBarAdditively) {
  Install();
  FontTexture = 12;
  SegmentTime = 1234;
  Row = 22;
  Pattern = 5;
  Beat = 0.5f;
  FpsText = "FPS : [59.87]";
  FpsText += '\0';
  DrawOverlay();
  const ShortString line = OverlayLine(1234, FpsText, 22, 5);
  const size_t firstGlyph = Find(kBegin), blend = Find(kBlendFunc);
  ASSERT_LT(blend, Calls().size());
  EXPECT_EQ(Only(kColor3f, 0, firstGlyph).size(), 1u);
  EXPECT_EQ(Only(kBindTexture, 0, firstGlyph).at(0).a[1], 12);
  EXPECT_LT(Find(kEnable, GL_TEXTURE_2D, 0), firstGlyph);
  EXPECT_EQ(Count(kBegin, 0, blend), line.size()) << "the text is drawn with the scene's blending";
  EXPECT_EQ(Calls()[blend].a[0], GL_ONE);
  EXPECT_EQ(Calls()[blend].a[1], GL_ONE);
  EXPECT_LT(Find(kEnable, GL_BLEND, firstGlyph), blend);
  EXPECT_EQ(Count(kBegin, blend), 8u);
  // The bar sits in row 3: its glyphs' tops at y = 1 - 3 * 0.02.
  EXPECT_NEAR(Only(kVertex2f, blend)[0].a[1], 0.94, 1e-6);
  EXPECT_NEAR(Only(kVertex2f)[0].a[0], -0.99, 1e-6);
}

TEST(ScenesOverlay, GlErrorsAreDumpedUntilNoneIsLeft) {
  Install();
  Rec().errors = {GL_INVALID_ENUM, GL_OUT_OF_MEMORY};
  testing::internal::CaptureStdout();
  DumpGLErrors();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "GL_ERROR:invalid enumerant\nGL_ERROR:out of memory\n");
  EXPECT_TRUE(Rec().errors.empty());
}

}  // namespace
