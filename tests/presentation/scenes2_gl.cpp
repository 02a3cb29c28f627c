// Particle image, kaleidoscope, greetings and overlay on a real context (llvmpipe
// under Xvfb), where orientation matters: the overlay's glyphs stand upright 4 x 6
// pixels from the top-left corner, the fold shows the copy's lower-left wedge, the
// particle picture stands as upright as the cube it was read from; and the scenes of
// patterns 32 to 54 with the show's own effects and textures keep the bars black.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/file.h"
#include "media/window/WM.h"
#include "presentation/bindings.h"
#include "presentation/gl.h"
#include "presentation/glow.h"
#include "presentation/ife.h"
#include "presentation/overlay.h"
#include "presentation/procedural.h"
#include "presentation/scene_kaleido.h"
#include "presentation/scene_particles.h"
#include "presentation/scenes.h"
#include "presentation/show.h"
#include "presentation/tempo.h"
#include "presentation/textures.h"
#include "tests/presentation/scenes2_recorder.h"
#include "tests/common/gl_window.h"

namespace {

constexpr int kWidth = 800, kHeight = 600, kBoxY = 75, kBoxHeight = 450;

class Scenes2Gl : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char *binary = std::getenv("KORV_BINARY_DIR");
    ASSERT_NE(binary, nullptr);
    ASSERT_EQ(chdir((std::string(binary) + "/content").c_str()), 0) << "the content folder holds the show's files";
    const char *failed = "";
    window = PresentationGlWindow(kWidth, kHeight, &failed);
    ASSERT_NE(window, nullptr) << failed;
    TexInit();
    ScreenWidth = kWidth;
    ScreenHeight = kHeight;
    LetterboxHeight = LetterboxHeightFor(kWidth);
    ScreenTexCreate();
    IfeBufTextures[0] = ScreenTexture;
  }

  static void Clear() {
    glViewport(0, 0, kWidth, kHeight);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  static void Letterbox() {
    LetterboxHeight = LetterboxHeightFor(kWidth);
    glViewport(0, LetterboxY(kHeight, LetterboxHeight), kWidth, LetterboxHeight);
  }
  static void Identity() {
    for (GLenum m : {GL_TEXTURE, GL_PROJECTION, GL_MODELVIEW}) {
      glMatrixMode(m);
      glLoadIdentity();
    }
  }
  static std::vector<uint8_t> Read() {
    std::vector<uint8_t> rgb((size_t)kWidth * kHeight * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
  }
  static const uint8_t *Pixel(const std::vector<uint8_t> &rgb, int x, int y) {
    return &rgb[((size_t)y * kWidth + x) * 3];
  }
  // A texture of w x h RGB texels, rows from the first uploaded (v = 0).
  static GLuint Texture(int w, int h, const std::vector<uint8_t> &rgb, GLenum filter) {
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return id;
  }

  static inline wm_window_t *window = nullptr;
};

TEST_F(Scenes2Gl, OverlayGlyphsStandUprightInFourBySixCellsFromTheTopLeft) {
  FontTextureBuild();
  Clear();
  Identity();
  glDisable(GL_BLEND);  // opaque cells: each pixel is its glyph bit
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  SegmentTime = 98765;
  Row = 7;
  Pattern = 32;
  Beat = 1.0f;
  FpsText = "FPS : [12.50]";
  FpsText += '\0';
  DrawOverlay();
  const std::vector<uint8_t> rgb = Read();
  const ShortString line = OverlayLine(SegmentTime, FpsText, Row, Pattern);
  for (size_t n = 0; n < line.size(); n++) {
    int g = (unsigned char)line[n] - 32;
    if (g < 0 || g > 95) g = 0;
    for (int r = 0; r < 6; r++)
      for (int c = 0; c < 4; c++) {
        const int col = 4 * (g % 16) + c, row = 6 * (g / 16) + r;
        const bool bit = (FontGlyphs[row * 8 + col / 8] >> (col % 8)) & 1;
        const int x = 4 + 4 * (int)n + c, y = kHeight - 1 - (6 + r);  // 6 pixels below the top edge
        ASSERT_EQ(Pixel(rgb, x, y)[0], bit ? 255 : 0) << "character " << n << " row " << r << " column " << c;
      }
  }
  // The beat bar in row 3: 16 "=" at full beat, nothing after them.
  const int barRow = kHeight - 1 - (18 + 2);  // the "=" glyph's third row is set
  EXPECT_EQ(Pixel(rgb, 4 + 4 * 15 + 1, barRow)[0], 255);
  EXPECT_EQ(Pixel(rgb, 4 + 4 * 16 + 1, barRow)[0], 0);
  EXPECT_EQ(Pixel(rgb, 1, kHeight - 1)[0], 0);
}

// The copy's lower-left wedge (corner, middle of the lower edge, centre) is drawn red
// on blue; after the fold every triangle shows it, so the whole letterbox is red. The
// same picture with the wedge at the top left stays blue.
TEST_F(Scenes2Gl, TheFoldShowsTheCopysLowerLeftWedgeEverywhere) {
  const float wedges[2][3][2] = {{{-1, -1}, {0, -1}, {0, 0}}, {{-1, 1}, {0, 1}, {0, 0}}};
  for (ife_interface *fx : {&IfeRotateBkgFx, &IfeFeedbackFx, &IfeVBlurFx, &IfeHBlurFx, &IfeFadeoutFx, &IfeCreditsFx})
    *fx = {};  // copies and fold only
  for (int w = 0; w < 2; w++) {
    Clear();
    Letterbox();
    Identity();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glColor3f(0, 0, 1);
    glBegin(GL_QUADS);
    glVertex2f(-1, -1);
    glVertex2f(1, -1);
    glVertex2f(1, 1);
    glVertex2f(-1, 1);
    glEnd();
    glColor3f(1, 0, 0);
    glBegin(GL_TRIANGLES);
    for (const auto &p : wedges[w]) glVertex2f(p[0], p[1]);
    glEnd();
    SegmentTime = kKaleidoscopeStart + 1000;
    Beat = 0.0f;
    KaleidoscopeScene();
    const std::vector<uint8_t> rgb = Read();
    size_t red = 0, blue = 0, other = 0, barLit = 0;
    for (int y = 0; y < kHeight; y++)
      for (int x = 0; x < kWidth; x++) {
        const uint8_t *p = Pixel(rgb, x, y);
        if (y < kBoxY || y >= kBoxY + kBoxHeight)
          barLit += p[0] + p[1] + p[2] > 0;
        else
          (p[0] > 200 && p[2] < 50 ? red : p[2] > 200 && p[0] < 50 ? blue : other) += 1;
      }
    const size_t box = (size_t)kWidth * kBoxHeight;
    EXPECT_EQ(barLit, 0u) << "wedge " << w;
    if (w == 0)
      EXPECT_GT(red, box * 97 / 100);
    else
      EXPECT_GT(blue, box * 97 / 100);
  }
}

// The cube at rest (-T / 30 a whole number of turns), its +x face towards the eye;
// every face white in its upper texture half (v < 0.5) and black below. Its read-back is bright
// above and dark below, and so is the particle picture, with every particle at home.
TEST_F(Scenes2Gl, TheParticlePictureStandsAsUprightAsTheCube) {
  std::vector<uint8_t> face(64 * 64 * 3, 0), white(8 * 8 * 3, 255);
  std::fill(face.begin(), face.begin() + 32 * 64 * 3, (uint8_t)255);
  CubeTexture = (int32_t)Texture(64, 64, face, GL_LINEAR);
  SpriteTexture = (int32_t)Texture(8, 8, white, GL_NEAREST);
  // u = (t - 95985) / 7111 (3 + x) = 3.5 for every particle: it rests at its home, which
  // the jitter moves right by x / 100 and not up or down.
  const int32_t t = 97200;
  const float x = (float)(3.5 * 7111.0 / (t - kParticleImageStart) - 3.0);
  // The process's tables are built once: what this test writes into them goes back.
  const std::vector<TVector> savedVectors(RandomVectors, RandomVectors + kRandomVectorCount);
  struct Restore {
    const std::vector<TVector> &v;
    ~Restore() { std::copy(v.begin(), v.end(), RandomVectors); }
  } restore{savedVectors};
  for (int32_t n = 0; n < kPathCount + 1000; n++) RandomVectors[n] = {x, 0.0f, 0.0f};
  s2test::PathBlock paths(ImagePaths, kPathCount, kImagePathPoints);
  for (int32_t k = 0; k < kPathCount; k++) {
    TVector *P = ImagePaths[k].points;
    for (int p = 0; p < kImagePathPoints; p++) P[p] = {0, 0, 0};
    P[0] = {1.2f, (float)((k / 256 - 127) / 127.0), 0};
    P[7] = {0, -2, 0};
  }
  IfeVBlurFx = {};
  IfeHBlurFx = {};
  Clear();
  Letterbox();
  SegmentTime = t;
  ParticleImageScene();
  auto rows = [](int from, int to) {
    long sum = 0;
    for (int j = from; j < to; j++)
      for (int i = 0; i < 256 * 3; i++) sum += CubePixels[j * 256 * 3 + i];
    return sum;
  };
  const long cubeTop = rows(136, 256), cubeBottom = rows(0, 120);
  EXPECT_GT(cubeTop, 1000000);
  EXPECT_GT(cubeTop, 10 * cubeBottom);

  const std::vector<uint8_t> rgb = Read();
  long top = 0, bottom = 0, bars = 0;
  for (int y = 0; y < kHeight; y++)
    for (int i = 0; i < kWidth; i++) {
      const uint8_t *p = Pixel(rgb, i, y);
      const int b = p[0] + p[1] + p[2];
      if (y < kBoxY || y >= kBoxY + kBoxHeight)
        bars += b;
      else
        (y >= kBoxY + kBoxHeight / 2 ? top : bottom) += b;
    }
  EXPECT_EQ(bars, 0);
  EXPECT_GT(top, 1000000);
  EXPECT_GT(top, 10 * bottom);
  glDeleteTextures(1, (GLuint *)&CubeTexture);
  glDeleteTextures(1, (GLuint *)&SpriteTexture);
}

// The show's own effects, textures and tables: every scene of patterns 32 to 54 draws
// into the 800 x 600 letterbox and nothing outside it.
TEST_F(Scenes2Gl, ScenesOfPatterns32To54KeepTheLetterboxBarsBlack) {
  const struct {
    ife_interface *fx;
    const char *file;
  } effects[] = {{&IfeVBlurFx, "v_blur.ife"},      {&IfeHBlurFx, "h_blur.ife"},         {&IfeFadeoutFx, "fadeout.ife"},
                 {&IfeFeedbackFx, "feedback.ife"}, {&IfeCreditsFx, "credits.ife"},     {&IfeRotateBkgFx, "rotatebkg.ife"},
                 {&IfeWhiteFlashFx, "whiteflash.ife"}};
  for (const auto &e : effects) IfeLoad(e.fx, e.file, "");
  SpriteTexture = TexLoad("sprite8.tga", 3);
  CubeTexture = TexLoad("kekviz.tga", 3);
  GreetTexture = TexLoad("greet.tga", 0);
  ASSERT_EQ(ProcBuildTables(nullptr), 0);
  const int32_t timeline[] = {126000, 129000, 131000, 140000, 146000, 155000, 166000, 176000, 182000, 196000, 201000};
  for (int32_t when : timeline) {
    TempoState tempo;
    TempoMapAt(tempo, when);
    SegmentTime = tempo.SegmentTime;
    Pattern = tempo.Pattern;
    Row = tempo.Row;
    Beat = tempo.Beat;
    ASSERT_GE(Pattern, 32);
    ASSERT_LE(Pattern, 54);
    Clear();
    Letterbox();
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    ASSERT_EQ(ScenesDraw(Pattern), 1);
    float flash[3];
    for (int32_t i = 0, n = WhiteFlashParams(Pattern, SegmentTime, Row, flash); i < n; i++)
      IfeRender(&IfeWhiteFlashFx, flash[i]);
    const std::vector<uint8_t> rgb = Read();
    size_t barLit = 0, boxLit = 0;
    for (int y = 0; y < kHeight; y++)
      for (int x = 0; x < kWidth; x++) {
        const uint8_t *p = Pixel(rgb, x, y);
        const bool lit = p[0] + p[1] + p[2] > 30;
        (y < kBoxY || y >= kBoxY + kBoxHeight ? barLit : boxLit) += lit;
      }
    EXPECT_EQ(barLit, 0u) << "timeline " << when << " pattern " << Pattern;
    EXPECT_GT(boxLit, 2000u) << "timeline " << when << " pattern " << Pattern;
    // Each frame ends in the state reset that the main loop makes.
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
  }
}

}  // namespace
