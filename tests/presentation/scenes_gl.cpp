// The glow and the scenes of patterns 9 to 31 on a real context (llvmpipe under
// Xvfb): the screen copy drawn back as "BUF0.JPG" returns the letterbox the right way
// up and in place, the glow of the show's blur files only adds light next to what was
// lit, and each scene draws inside the letterbox of an 800 x 600 window only. The cube
// cloud and the attractors, drawn from client arrays, give the very pixels of the
// same scenes sent one vertex at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "media/window/WM.h"
#include "presentation/gl.h"
#include "presentation/glow.h"
#include "presentation/ife.h"
#include "presentation/procedural.h"
#include "presentation/scene_metaballs.h"
#include "presentation/scenes.h"
#include "presentation/show.h"
#include "presentation/tempo.h"
#include "presentation/scene_cubes.h"
#include "presentation/scene_particles.h"
#include "tests/common/gl_window.h"
#include "tests/presentation/scenes_immediate.h"

namespace {

constexpr int kWidth = 800, kHeight = 600, kBoxY = 75, kBoxHeight = 450;

class ScenesGl : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char *source = std::getenv("KORV_SOURCE_DIR");
    if (!source) source = KORV_SCENES_SOURCE_DIR;
    ASSERT_EQ(chdir((std::string(source) + "/data").c_str()), 0);
    const char *failed = "";
    window = PresentationGlWindow(kWidth, kHeight, &failed);
    ASSERT_NE(window, nullptr) << failed;
    ScreenWidth = kWidth;
    ScreenHeight = kHeight;
    ScreenTexCreate();
    IfeBufTextures[0] = ScreenTexture;
    IfeLoad(&IfeVBlurFx, "v_blur.ife", "");
    IfeLoad(&IfeHBlurFx, "h_blur.ife", "");
    ASSERT_GT(IfeVBlurFx.layerCount, 0);
    ASSERT_GT(IfeHBlurFx.layerCount, 0);
    ready = true;
  }
  // A failed suite set-up would only skip the tests: make each one fail instead.
  void SetUp() override { ASSERT_TRUE(ready) << "no GL window or no blur effects"; }

  // The frame prologue: window cleared black, drawing into the letterbox.
  static void Prologue() {
    glViewport(0, 0, kWidth, kHeight);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    LetterboxHeight = LetterboxHeightFor(kWidth);
    glViewport(0, LetterboxY(kHeight, LetterboxHeight), kWidth, LetterboxHeight);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
  }
  static std::vector<uint8_t> Read() {
    std::vector<uint8_t> rgb((size_t)kWidth * kHeight * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
  }
  static int Sum(const std::vector<uint8_t> &rgb, int x, int y) {
    const uint8_t *p = &rgb[((size_t)y * kWidth + x) * 3];
    return p[0] + p[1] + p[2];
  }
  // Lit pixels in the bars, leaving out the margin rows next to the box.
  static size_t LitInBars(const std::vector<uint8_t> &rgb, int margin = 0) {
    size_t lit = 0;
    for (int y = 0; y < kHeight; y++)
      if (y < kBoxY - margin || y >= kBoxY + kBoxHeight + margin)
        for (int x = 0; x < kWidth; x++) lit += Sum(rgb, x, y) > 0;
    return lit;
  }

  // A 16 x 16 linear-filtered RGBA texture of texels, made the sprite texture.
  static void SetSprite(const std::vector<uint8_t> &texels) {
    GLuint sprite = 0;
    glGenTextures(1, &sprite);
    glBindTexture(GL_TEXTURE_2D, sprite);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 16, 16, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    SpriteTexture = (int32_t)sprite;
  }

  static inline wm_window_t *window = nullptr;
  static inline bool ready = false;
};

// White-untextured or textured rectangles in the 1280 x 720 layer space.
struct Layers {
  std::vector<ife_keys> keys;
  std::vector<ife_layer> layers;
  void Add(const char *name, float x, float y, float w, float h, float r, float g, float b, int32_t texture = 0) {
    keys.push_back({0, x, y, 0, 0, w, h, r, g, b, 255});
    ife_layer layer = {};
    layer.textureName = name;
    layer.keyCount = 1;
    layer.glTexture = texture;
    layers.push_back(layer);
  }
  void Render() {
    for (size_t i = 0; i < layers.size(); i++) layers[i].keys = &keys[i];
    ife_interface iface = {(int32_t)layers.size(), 0, layers.data()};
    IfeRender(&iface, 0);
  }
};

TEST_F(ScenesGl, ScreenCopyDrawnBackReturnsTheLetterboxInPlace) {
  Prologue();
  Layers picture;
  picture.Add("white.tga", 320, 540, 640, 360, 255, 0, 0);   // top left red
  picture.Add("white.tga", 960, 540, 640, 360, 0, 255, 0);   // top right green
  picture.Add("white.tga", 640, 180, 1280, 360, 0, 0, 255);  // bottom blue
  picture.Add("white.tga", 100, 40, 80, 40, 255, 255, 0);    // a yellow mark near the bottom left
  picture.Render();
  const std::vector<uint8_t> before = Read();
  ScreenCopy();
  Prologue();
  Layers back;
  back.Add("BUF0.JPG", 640, 360, 1280, 720, 255, 255, 255, ScreenTexture);
  back.Render();
  const std::vector<uint8_t> after = Read();
  const int probes[][2] = {{100, 500}, {700, 500}, {400, 100}, {62, 100}, {62, 84}, {0, kBoxY}, {799, 524}};
  for (auto [x, y] : probes)
    for (int c = 0; c < 3; c++)
      EXPECT_NEAR(after[((size_t)y * kWidth + x) * 3 + c], before[((size_t)y * kWidth + x) * 3 + c], 2) << x << "," << y;
  EXPECT_EQ(before[((size_t)500 * kWidth + 100) * 3], 255);  // red at the top left
  EXPECT_EQ(LitInBars(after), 0u);
}

TEST_F(ScenesGl, GlowOnlyAddsLightNextToWhatWasLit) {
  for (int pass = 0; pass < 2; pass++) {
    Prologue();
    Layers lines;
    lines.Add("white.tga", 640, 360, 1280, 3, 200, 200, 200);  // horizontal across the middle
    lines.Add("white.tga", 320, 360, 3, 720, 200, 200, 200);   // vertical at a quarter
    lines.Render();
    const std::vector<uint8_t> before = Read();
    pass == 0 ? GlowPass() : DoubleGlowPass();
    const std::vector<uint8_t> after = Read();
    size_t darker = 0, brighter = 0;
    for (int y = 0; y < kHeight; y++)
      for (int x = 0; x < kWidth; x++) {
        darker += Sum(after, x, y) + 3 < Sum(before, x, y);
        brighter += Sum(after, x, y) > Sum(before, x, y) + 3;
      }
    EXPECT_EQ(darker, 0u) << pass;
    EXPECT_GT(brighter, 1000u) << pass;
    const int midY = kBoxY + kBoxHeight / 2, lineX = kWidth / 4;
    EXPECT_EQ(Sum(before, 600, midY + 4), 0);
    // Within 3 to 8 pixels on each side of each line some pixel has gained light.
    auto spread = [&](int x, int y, int dx, int dy) {
      int best = 0;
      for (int d = 3; d <= 8; d++) best = std::max(best, Sum(after, x + d * dx, y + d * dy));
      return best;
    };
    EXPECT_GT(spread(600, midY, 0, 1), 10) << "above the horizontal line, pass " << pass;
    EXPECT_GT(spread(600, midY, 0, -1), 10) << "below, pass " << pass;
    EXPECT_GT(spread(lineX, 150, 1, 0), 10) << "right of the vertical line, pass " << pass;
    EXPECT_GT(spread(lineX, 150, -1, 0), 10) << "left, pass " << pass;
    EXPECT_EQ(Sum(after, 600, midY + 60), 0) << pass;
    EXPECT_EQ(Sum(after, lineX + 60, 150), 0) << pass;
    EXPECT_EQ(LitInBars(after), 0u) << pass;
  }
}

TEST_F(ScenesGl, ScenesDrawInsideTheLetterboxOnly) {
  ASSERT_EQ(ProcBuildTables(nullptr), 0);
  static float field[32768];
  MetaGrid = MetaGridInit(field, 32);
  ASSERT_NE(MetaGrid, nullptr);
  SetSprite(std::vector<uint8_t>(16 * 16 * 4, 255));
  // Patterns 9, 13, 17, 20, 23, 25, 27, 28, 30, 31.
  const int32_t timeline[] = {40000, 55000, 70000, 80000, 92000, 97000, 105000, 108000, 115000, 120000};
  for (int32_t t : timeline) {
    TempoState tempo;
    TempoMapAt(tempo, t);
    SegmentTime = tempo.SegmentTime;
    Pattern = tempo.Pattern;
    Beat = tempo.Beat;
    ASSERT_GE(Pattern, 9);
    ASSERT_LE(Pattern, 31);
    Prologue();
    ASSERT_EQ(ScenesDraw(Pattern), 1);
    const std::vector<uint8_t> rgb = Read();
    size_t lit = 0;
    for (int y = kBoxY; y < kBoxY + kBoxHeight; y++)
      for (int x = 0; x < kWidth; x++) lit += Sum(rgb, x, y) > 30;
    // GL rasterises wide lines past the viewport by up to half their width: the tunnel's
    // lines (up to 6 pixels) may touch the 3 rows next to the box, nothing beyond.
    EXPECT_EQ(LitInBars(rgb, 3), 0u) << "pattern " << Pattern;
    EXPECT_GT(lit, 500u) << "pattern " << Pattern;
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "pattern " << Pattern;
  }
}

TEST_F(ScenesGl, ArrayDrawsGiveThePixelsOfOneCallPerVertex) {
  ASSERT_EQ(ProcBuildTables(nullptr), 0);
  // Texels that differ along both axes, so a wrong texture coordinate shows.
  std::vector<uint8_t> texels(16 * 16 * 4);
  for (int i = 0; i < 16 * 16; i++) {
    texels[4 * i] = (uint8_t)(16 * (i % 16));
    texels[4 * i + 1] = (uint8_t)(16 * (i / 16));
    texels[4 * i + 2] = 200;
    texels[4 * i + 3] = 255;
  }
  SetSprite(texels);
  struct Case {
    void (*arrays)(void), (*reference)(void);
    int32_t timeline;
  };
  // Cube cloud at its start, bursting, scattered; attractors at their start, on the
  // way (on a beat), near their end. Timeline times.
  const Case cases[] = {
      {CubeCloudScene, immediate::CubeCloudScene, 107542},     {CubeCloudScene, immediate::CubeCloudScene, 109500},
      {CubeCloudScene, immediate::CubeCloudScene, 117000},     {AttractorScene, immediate::AttractorScene, 139537},
      {AttractorScene, immediate::AttractorScene, 142100},     {AttractorScene, immediate::AttractorScene, 152000},
  };
  for (const Case &c : cases) {
    TempoState tempo;
    TempoMapAt(tempo, c.timeline);
    std::vector<uint8_t> pictures[2];
    for (int pass = 0; pass < 2; pass++) {
      SegmentTime = tempo.SegmentTime;
      Pattern = tempo.Pattern;
      Beat = tempo.Beat;
      Prologue();
      (pass ? c.arrays : c.reference)();
      pictures[pass] = Read();
    }
    size_t differ = 0, lit = 0;
    for (size_t i = 0; i < pictures[0].size(); i++) {
      differ += pictures[0][i] != pictures[1][i];
      lit += pictures[0][i] > 0;
    }
    EXPECT_EQ(differ, 0u) << "timeline " << c.timeline;
    EXPECT_GT(lit, 5000u) << "timeline " << c.timeline;
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "timeline " << c.timeline;
  }
}

}  // namespace
