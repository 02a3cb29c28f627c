// Logo and star sphere scenes through a recording GL table: one sprite per lit logo
// pixel, the displacement table at chosen times, the fade parameters, and the star
// sphere's stepped time, projection count and streak rule.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/mem.h"
#include "presentation/ife.h"
#include "presentation/show.h"
#include "presentation/procedural.h"
#include "presentation/scene_logo.h"
#include "presentation/scene_stars.h"
#include "tests/presentation/effects_recorder.h"

namespace {

using fxtest::Only;

constexpr int kLogoBytes = 18 + 3 * 1024 * 64;

// The build folder: from the environment, else the parent of the tests' working folder.
std::string BinaryDir() {
  const char *dir = std::getenv("KORV_BINARY_DIR");
  return dir && *dir ? dir : "..";
}

// A fade whose x follows its time parameter between 0 and 1000.
struct ProbeFade {
  ife_keys keys[2] = {{0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0}, {1000, 1000, 0, 0, 0, 1, 1, 0, 0, 0, 0}};
  ife_layer layer = {};
  ProbeFade() {
    layer.textureName = "white.tga";
    layer.keyCount = 2;
    layer.blend = 2;
    layer.keys = keys;
    IfeFadeoutFx = {1, 0, &layer};
  }
  ~ProbeFade() { IfeFadeoutFx = {}; }
};

// x of the first glTranslatef after the last glEnd: where the fade was drawn.
double FadeParameter() {
  const auto &calls = fxtest::Calls();
  bool afterEnd = false;
  for (const auto &c : calls) {
    if (c.name == "glEnd") afterEnd = true;
    if (afterEnd && c.name == "glTranslatef") return c.args[0];
  }
  return NAN;
}

std::vector<uint8_t> ReadFile(const std::string &path) {
  std::vector<uint8_t> bytes;
  if (FILE *f = std::fopen(path.c_str(), "rb")) {
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
  }
  return bytes;
}

class EffectsLogo : public ::testing::Test {
 protected:
  void SetUp() override {
    image_ = (uint8_t *)SYS_MemGet(kLogoBytes, "test logo");
    LogoImage = image_;
    LogoImageSize = kLogoBytes;
  }
  void TearDown() override {
    LogoImage = nullptr;
    LogoImageSize = 0;
    SYS_MemFree(&image_);
  }
  // Sprites drawn in pattern p at time t: quads of four glVertex3f.
  size_t Draw(int32_t pattern, int32_t t) {
    fxtest::InstallRecorder();
    Pattern = pattern;
    SegmentTime = t;
    LogoScene();
    return Only("glVertex3f").size() / 4;
  }
  uint8_t *image_ = nullptr;
};

TEST_F(EffectsLogo, OneSpritePerLitPixelOfTheShippedLogo) {
  std::vector<uint8_t> logo = ReadFile(BinaryDir() + "/content/logo.tga");
  ASSERT_GE(logo.size(), (size_t)kLogoBytes) << "logo.tga is built into the content folder";
  std::memcpy(image_, logo.data(), kLogoBytes);
  size_t lit = 0;
  for (int p = 0; p < 1024 * 64; p++) lit += logo[18 + 3 * p] != 0;
  ASSERT_GT(lit, 1000u);
  for (int32_t pattern : {0, 1, 2}) EXPECT_EQ(Draw(pattern, 5000), lit) << pattern;
}

TEST_F(EffectsLogo, OnlyTheFirstByteLightsAPixel) {
  image_[18 + 3 * (1024 * 5 + 7)] = 1;       // lit: (7, 5)
  image_[18 + 3 * (1024 * 9 + 100) + 1] = 255;  // dark: second and third bytes only
  image_[18 + 3 * (1024 * 9 + 100) + 2] = 255;
  RandomVectors[1024 * 5 + 7] = {0.5f, -0.25f, 0.0f};
  ASSERT_EQ(Draw(0, 1000), 1u);
  // d = (3 * 7 - 1000 + 4111) / 10 = 313.2; the quad's first vertex is (x - 4, y + 64/9).
  auto v = Only("glVertex3f")[0].args;
  EXPECT_NEAR(v[0], 7 - 512 + 313.2 * 0.5 - 4, 1e-3);
  EXPECT_NEAR(v[1], 5 - 32 - 313.2 * 0.25 + 64.0 / 9.0, 1e-3);
  auto scale = Only("glScalef");
  ASSERT_EQ(scale.size(), 1u);
  EXPECT_EQ(scale[0].args[0], 1.0 / 512.0);
  auto blend = Only("glBlendFunc");
  ASSERT_FALSE(blend.empty());
  EXPECT_EQ(blend[0].args[0], GL_SRC_COLOR);
}

TEST_F(EffectsLogo, FadeFollowsPatternZeroOnly) {
  ProbeFade fade;
  Draw(0, 0);
  EXPECT_NEAR(FadeParameter(), 1000.0, 1e-3);
  Draw(0, 3500);
  EXPECT_NEAR(FadeParameter(), 500.0, 1e-3);
  Draw(1, 7500);
  EXPECT_TRUE(std::isnan(FadeParameter()));
}

TEST(EffectsLogoDisplacement, TableAtChosenTimes) {
  struct Case {
    int32_t pattern, time, column;
    double d;
  } cases[] = {
      {0, 0, 0, 411.1},      {0, 4111, 0, 0.0},     {0, 4110, 0, 0.1},      {0, 7110, 1023, 7.0},
      {0, 7110, 999, 0.0},   {0, 7110, 1000, 0.1},  {1, 7111, 0, 0.0},      {1, 7111, 1023, 0.0},
      {1, 14221, 1023, 0.0}, {2, 0, 0, 0.0},        {2, 2555, 0, 1100.0},   {2, 1000, 1000, 0.0},
  };
  for (const Case &c : cases)
    EXPECT_NEAR(LogoDisplacement(c.pattern, c.time, c.column), c.d, 1e-3) << c.pattern << " " << c.time << " " << c.column;
  // Pattern 1: the ripple's centre c = (t - 8111) / 7111 * 1400; full height at c, none
  // beyond 157 columns from it.
  int32_t t = 8111 + 7111 * 500 / 1400;  // c about 500
  float c = (float)((t - 8111) / 7111.0 * 1400.0);
  int32_t centre = (int32_t)std::lround(c);
  EXPECT_NEAR(LogoDisplacement(1, t, centre), 20.0, 1e-2);
  EXPECT_GT(LogoDisplacement(1, t, centre + 156), 0.0f);
  EXPECT_EQ(LogoDisplacement(1, t, centre + 158), 0.0f);
  EXPECT_EQ(LogoDisplacement(1, t, centre - 158), 0.0f);
  // Pattern 2: about 21,400 units for column 0 at the end; a column not yet started
  // moves slightly backwards (odd power).
  EXPECT_NEAR(LogoDisplacement(2, 3554, 0), 1100.0 * std::pow(3554.0 / 2555.0, 9), 1.0);
  EXPECT_LT(LogoDisplacement(2, 100, 900), 0.0f);
  // u is stored in single precision, u^9 is one product rounded once: a chain of
  // single-precision products misses these in the last bits.
  for (int32_t column : {259, 296, 700}) {
    const double u = (float)((0 - column) / 2555.0);
    double u9 = 1.0;
    for (int f = 0; f < 9; f++) u9 *= u;
    EXPECT_EQ(LogoDisplacement(2, 0, column), (float)(1100.0 * u9)) << column;
  }
}

TEST(EffectsStars, WrapKeepsStreaksWithinTheTunnel) {
  const std::pair<float, float> cases[] = {{0.5f, 0.5f},      {-0.5f, -1.5f},     {1999.5f, 1999.5f},
                                           {2000.5f, -1999.5f}, {4000.0f, 0.0f},  {-1500.0f, -1500.0f},
                                           {6123.25f, -1876.75f}};
  for (auto [z, w] : cases) EXPECT_FLOAT_EQ(StarWrap(z), w) << z;
  // z + 2000 is summed in double: as a single it would round up to 8390002.
  EXPECT_EQ(StarWrap(8388001.5f), 1.5f);
  // Beyond the 64-bit range there is nothing to fold, and no undefined conversion.
  for (float z : {1e19f, -3e30f, INFINITY, -INFINITY}) EXPECT_EQ(StarWrap(z), z) << z;
  EXPECT_TRUE(std::isnan(StarWrap(NAN)));
}

class EffectsStarScene : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RandomReset();
    ProcBuildTables(nullptr);
  }
  void Draw(int32_t pattern, int32_t t, float beat) {
    fxtest::InstallRecorder();
    Pattern = pattern;
    SegmentTime = t;
    Beat = beat;
    ScreenWidth = 1024;
    ScreenHeight = 576;
    StarSphereScene();
  }
  ProbeFade fade;
};

TEST_F(EffectsStarScene, PatternsThreeAndFourStepTheTimeIn500ms) {
  const std::pair<int32_t, int32_t> stepped[] = {{1234, 1000}, {499, 0}, {3999, 3500}};
  for (int32_t pattern : {3, 4})
    for (auto [t, s] : stepped) {
      Draw(pattern, t, 0.25f);
      EXPECT_EQ(SegmentTime, s) << pattern << " " << t;
      auto look = Only("gluLookAt");
      ASSERT_EQ(look.size(), 2u);
      EXPECT_NEAR(look[0].args[4], 50 * std::sin(s / 800.0), 1e-9);
      EXPECT_NEAR(FadeParameter(), 500.0, 1e-3);  // 1000 - 2000 * Beat
    }
  Draw(5, 1234, 0.25f);
  EXPECT_EQ(SegmentTime, 1234);
  EXPECT_NEAR(Only("gluLookAt")[0].args[4], 50 * std::sin(1234 / 800.0), 1e-9);
  EXPECT_TRUE(std::isnan(FadeParameter()));
}

TEST_F(EffectsStarScene, ProjectsEveryPointAndDrawsTwoSpritesEach) {
  fxtest::RasterAnswer()[0] = 384.0f;  // window x 384 -> 0.5
  fxtest::RasterAnswer()[1] = 128.0f;  // window y 128 -> -0.5
  Draw(6, 2000, 1.0f);
  EXPECT_EQ(Only("glRasterPos3f").size(), 2056u);
  EXPECT_EQ(StarScreenPoints[0].x, 0.5f);
  EXPECT_EQ(StarScreenPoints[2055].y, -0.5f);
  // The second pass moves each point by its random direction.
  auto raster = Only("glRasterPos3f");
  float x, y, z;
  RotatePoint(&x, &y, &z, -128, 0, 0, 0, 0);  // i = -128, x spoke, angle computed below
  float r = (float)(128 / 1000.0 + 0.01);
  float a = (float)(std::cos(2000 / 1000.0) * 1440.0 * r + 2000 / 7.0);
  RotatePoint(&x, &y, &z, -128, 0, 0, a, a);
  EXPECT_EQ(raster[0].args[0], x);
  EXPECT_FLOAT_EQ(raster[1028].args[0], x + RandomDirections[1028].x);
  // Sprites: 2 x 1028 quads of four vertices after the streaks; lines: 3 per point.
  size_t streaks = 0;
  for (int i = 0; i <= 10000; i++) {
    float z1 = StarWrap((float)(2000 + 2000.0 * RandomVectors[i].z));
    float z2 = StarWrap((float)(2000.0 * RandomVectors[i].z + 20.0 + 2000));
    streaks += std::fabs(z2 - z1) < 100.0f;
  }
  EXPECT_GT(streaks, 9900u);
  EXPECT_EQ(Only("glVertex3f").size(), 2 * streaks + 2056 * 4 + 1028 * 6);
  auto viewports = Only("glViewport");
  ASSERT_EQ(viewports.size(), 2u);
  EXPECT_EQ(viewports[0].args[2], 512.0);
  EXPECT_EQ(viewports[1].args[3], 576.0);
}

}  // namespace
