// IFE layers and scenes on a real context (llvmpipe under Xvfb): one read-back per
// blend mode, the screen copy drawn back full screen as "BUF0.JPG" gives the screen
// back the right way up, the scenes of patterns 0 to 8 with their flashes leave
// the letterbox bars of an 800 x 600 window black, and the loading sequence draws
// its 53 steps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/file.h"
#include "media/texture/TL.h"
#include "media/window/WM.h"
#include "presentation/bindings.h"
#include "presentation/gl.h"
#include "presentation/ife.h"
#include "presentation/procedural.h"
#include "presentation/scenes.h"
#include "presentation/show.h"
#include "presentation/tempo.h"
#include "presentation/textures.h"
#include "presentation/window.h"
#include "tests/common/gl_window.h"

namespace {

constexpr int kWidth = 800, kHeight = 600;

// The build folder: from the environment, else the parent of the tests' working folder.
std::string BinaryDir() {
  const char *dir = std::getenv("KORV_BINARY_DIR");
  return dir && *dir ? dir : "..";
}

// One window and context for the whole binary, with the presentation's GL tables.
class EffectsGl : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(chdir((BinaryDir() + "/content").c_str()), 0) << "the content folder holds the show's files";
    const char *failed = "";
    window = PresentationGlWindow(kWidth, kHeight, &failed);
    ASSERT_NE(window, nullptr) << failed;
    txOptions(3, 1);  // R,G,B as the show asks before its textures
    TexInit();
    ScreenWidth = kWidth;
    ScreenHeight = kHeight;
  }

  // Full-window viewport, cleared to black.
  static void Clear() {
    glViewport(0, 0, kWidth, kHeight);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  static std::vector<uint8_t> Read() {
    std::vector<uint8_t> rgb((size_t)kWidth * kHeight * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
  }
  static const uint8_t *Pixel(const std::vector<uint8_t> &rgb, int x, int y) { return &rgb[((size_t)y * kWidth + x) * 3]; }

  static inline wm_window_t *window = nullptr;
};

// A record of full-screen layers drawn straight from keys.
struct Layers {
  std::vector<ife_keys> keys;
  std::vector<ife_layer> layers;
  ife_interface iface = {};
  void Add(const char *name, uint8_t blend, float r, float g, float b, float a, int32_t texture = 0) {
    keys.push_back({0, 640, 360, 0, 0, 1280, 720, r, g, b, a});
    ife_layer layer = {};
    layer.textureName = name;
    layer.keyCount = 1;
    layer.blend = blend;
    layer.glTexture = texture;
    layers.push_back(layer);
  }
  void Render(float t) {
    for (size_t i = 0; i < layers.size(); i++) layers[i].keys = &keys[i];
    iface = {(int32_t)layers.size(), 0, layers.data()};
    IfeRender(&iface, t);
  }
};

TEST_F(EffectsGl, EachBlendModeMixesAsItsFunctionSays) {
  // Destination (0.2, 0.6, 1.0); source (0.8, 0.4, 0.0) with alpha 0.25.
  const double d[3] = {51 / 255.0, 153 / 255.0, 1.0}, s[3] = {204 / 255.0, 102 / 255.0, 0.0}, a = 64 / 255.0;
  for (uint8_t mode = 0; mode <= 7; mode++) {
    Clear();
    Layers layers;
    layers.Add("white.tga", 0, 51, 153, 255, 255);
    layers.Add("white.tga", mode, 204, 102, 0, 64);
    layers.Render(0);
    std::vector<uint8_t> rgb = Read();
    const uint8_t *p = Pixel(rgb, kWidth / 2, kHeight / 2);
    for (int c = 0; c < 3; c++) {
      double expected;
      switch (mode) {
        case 0: expected = s[c]; break;
        case 1: expected = s[c] + d[c]; break;
        case 2: expected = s[c] * a + d[c] * (1 - a); break;
        case 3: expected = s[c] * (1 - a) + d[c] * a; break;
        case 4: expected = s[c] * s[c] + d[c] * (1 - s[c]); break;
        case 5:
        case 6: expected = d[c] * (1 - s[c]); break;
        default: expected = s[c]; break;  // 7: no blend call, the first layer's "off" stays
      }
      EXPECT_NEAR(p[c], std::min(1.0, expected) * 255, 2.5) << "mode " << (int)mode << " channel " << c;
    }
  }
}

TEST_F(EffectsGl, ScreenCopyDrawnAsBuf0GivesTheScreenBack) {
  // A picture that tells up from down and left from right.
  Clear();
  Layers picture;
  picture.keys = {{0, 320, 540, 0, 0, 640, 360, 255, 0, 0, 255},
                  {0, 960, 540, 0, 0, 640, 360, 0, 255, 0, 255},
                  {0, 640, 180, 0, 0, 1280, 360, 0, 0, 255, 255},
                  {0, 100, 100, 0, 0, 100, 60, 255, 255, 0, 255}};
  for (int i = 0; i < 4; i++) {
    ife_layer layer = {};
    layer.textureName = "white.tga";
    layer.keyCount = 1;
    layer.blend = 0;
    picture.layers.push_back(layer);
  }
  picture.Render(0);
  std::vector<uint8_t> before = Read();

  GLuint copy = 0;
  glGenTextures(1, &copy);
  glBindTexture(GL_TEXTURE_2D, copy);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 0, 0, kWidth, kHeight, 0);
  Clear();
  Layers back;
  back.Add("BUF0.JPG", 0, 255, 255, 255, 255, (int32_t)copy);
  back.Render(1000);
  std::vector<uint8_t> after = Read();
  glDeleteTextures(1, &copy);

  const int probes[][2] = {{100, 500}, {700, 500}, {400, 100}, {62, 83}, {kWidth - 1, kHeight - 1}, {0, 0}};
  for (auto [x, y] : probes)
    for (int c = 0; c < 3; c++) EXPECT_NEAR(Pixel(after, x, y)[c], Pixel(before, x, y)[c], 2) << x << "," << y;
  EXPECT_EQ(Pixel(before, 100, 500)[0], 255);  // the red quarter is at the top left
}

// A named texture comes from the texture directory and shows its top row at the upper
// edge of the layer; "white.tga" in the same directory loads nothing and draws plain.
TEST_F(EffectsGl, NamedTexturesLoadFromTheTextureDirectoryUpright) {
  char dir[] = "/tmp/effects_texXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string image = std::string(dir) + "/updown.tga", effect = std::string(dir) + "/updown.ife";
  // 2 x 2, 24 bits, bottom row first: blue below, red above.
  const uint8_t tga[18 + 12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 24, 0,
                                255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255};
  FILE *f = std::fopen(image.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(tga, 1, sizeof tga, f);
  std::fclose(f);
  f = std::fopen(effect.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("2\n0\nupdown.tga\na\nb\n1\n0\n0 640 360 0 0 1280 720 255 255 255 255\n"
             "white.tga\na\nb\n1\n1\n0 640 360 0 0 10 10 0 0 0 255\n", f);
  std::fclose(f);
  ife_interface iface = {};
  IfeLoad(&iface, ShortString(effect), ShortString(dir));
  ASSERT_EQ(iface.layerCount, 2);
  EXPECT_NE(iface.layers[0].glTexture, 0);
  EXPECT_EQ(iface.layers[1].glTexture, 0);
  Clear();
  IfeRender(&iface, 0);
  std::vector<uint8_t> rgb = Read();
  const uint8_t *top = Pixel(rgb, 400, 550), *bottom = Pixel(rgb, 400, 50);
  EXPECT_GT(top[0], 200);
  EXPECT_LT(top[2], 60);
  EXPECT_GT(bottom[2], 200);
  EXPECT_LT(bottom[0], 60);
  IfeFree(&iface);
  std::remove(image.c_str());
  std::remove(effect.c_str());
  rmdir(dir);
}

// The scenes of patterns 0 to 8 and their flashes, drawn into the 800 x 600 letterbox.
TEST_F(EffectsGl, ScenesKeepTheLetterboxBarsBlack) {
  IfeLoad(&IfeFadeoutFx, "fadeout.ife", "");
  IfeLoad(&IfeWhiteFlashFx, "whiteflash.ife", "");
  SpriteTexture = TexLoad("sprite8.tga", 3);
  SYS_File_t *logo = SYS_FileOpen("logo.tga", 0);
  ASSERT_NE(logo, nullptr);
  LogoImageSize = SYS_FileSize("logo.tga");
  LogoImage = (uint8_t *)PasMemGet(LogoImageSize, "test logo");
  ASSERT_EQ(SYS_FileRead(logo, LogoImage, LogoImageSize), LogoImageSize);
  SYS_FileClose(logo);
  ASSERT_EQ(ProcBuildTables(nullptr), 0);
  const int32_t timeline[] = {3000, 6000, 10000, 15000, 16100, 19000, 23000, 26000, 30000, 36000, 39000};
  for (int32_t t : timeline) {
    TempoState tempo;
    TempoMapAt(tempo, t);
    SegmentTime = tempo.SegmentTime;
    Pattern = tempo.Pattern;
    Beat = tempo.Beat;
    Clear();
    LetterboxHeight = LetterboxHeightFor(kWidth);
    glViewport(0, LetterboxY(kHeight, LetterboxHeight), kWidth, LetterboxHeight);
    ASSERT_EQ(ScenesDraw(Pattern), 1) << t;
    float flash[3];
    for (int32_t i = 0, n = WhiteFlashParams(Pattern, SegmentTime, tempo.Row, flash); i < n; i++)
      IfeRender(&IfeWhiteFlashFx, flash[i]);
    std::vector<uint8_t> rgb = Read();
    ASSERT_EQ(LetterboxHeight, 450);
    size_t barLit = 0, boxLit = 0;
    for (int y = 0; y < kHeight; y++)
      for (int x = 0; x < kWidth; x++) {
        const uint8_t *p = Pixel(rgb, x, y);
        bool lit = p[0] + p[1] + p[2] > 30;
        (y < 75 || y >= 525 ? barLit : boxLit) += lit;
      }
    EXPECT_EQ(barLit, 0u) << "timeline " << t;
    EXPECT_GT(boxLit, 200u) << "timeline " << t;
  }
}

// What the loading screen draws, recorded on the way to the real entries.
std::vector<float> g_loaderTimes;
int g_loadClears = 0;
decltype(pgl::glTranslatef) g_realTranslate = nullptr;
decltype(pgl::glClear) g_realClear = nullptr;

// The whole loading sequence: 53 steps, each drawn twice (to the screen, then into
// the back buffer) at 18.8 times the step. A probe loader moves its one layer to x
// = its time parameter, which nothing else of the sequence translates.
TEST_F(EffectsGl, LoadingSequenceDrawsFiftyThreeSteps) {
  ife_keys keys[2] = {{0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0}, {1000, 1000, 0, 0, 0, 1, 1, 0, 0, 0, 0}};
  ife_layer layer = {};
  layer.textureName = "white.tga";
  layer.keyCount = 2;
  layer.keys = keys;
  IfeLoaderFx = {1, 0, &layer};
  MainWindow = window;
  LoadStepCount = 0;
  g_loaderTimes.clear();
  g_loadClears = 0;
  g_realTranslate = pgl::glTranslatef;
  g_realClear = pgl::glClear;
  pgl::glTranslatef = [](GLfloat x, GLfloat y, GLfloat z) {
    g_loaderTimes.push_back(x);
    g_realTranslate(x, y, z);
  };
  pgl::glClear = [](GLbitfield mask) {
    g_loadClears += mask == (GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    g_realClear(mask);
  };
  ShowLoadingSequence();
  pgl::glTranslatef = g_realTranslate;
  pgl::glClear = g_realClear;
  IfeLoaderFx = {};
  MainWindow = nullptr;

  EXPECT_EQ(LoadStepCount, 53);
  EXPECT_EQ(g_loadClears, 53);
  ASSERT_EQ(g_loaderTimes.size(), 2u * 53);
  for (int step = 1; step <= 53; step++)
    for (int draw = 0; draw < 2; draw++)
      EXPECT_NEAR(g_loaderTimes[2 * (step - 1) + draw], step * 18.8, 1e-3) << "step " << step;
}

}  // namespace
