// Particle image scenes through a recording GL table: the cube drawn in the corner
// and read back, one sprite per lit read-back pixel placed on its image path, and the
// attractor particles at their start and end points; both followed by the glow. The
// attractors come from client arrays: they must record exactly the calls and values
// of the scene sent one vertex at a time.
#include <gtest/gtest.h>

#include <cmath>

#include "presentation/glow.h"
#include "presentation/procedural.h"
#include "presentation/scene_particles.h"
#include "presentation/show.h"
#include "tests/presentation/scenes2_recorder.h"
#include "tests/presentation/scenes_immediate.h"

namespace {

using namespace s2test;

constexpr int32_t kPixels = kCubeImageSize * kCubeImageSize;
constexpr float kSentinel = 9.0f;

class ScenesParticles : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int32_t n = 0; n < kPathCount + 1000; n++)
      RandomVectors[n] = {(n * 37 % 2000 - 1000) / 1000.0f, (n * 53 % 2000 - 1000) / 1000.0f,
                          (n * 71 % 2000 - 1000) / 1000.0f};
    // The read-back picture: every fifth pixel black, the rest of varied brightness.
    image.resize((size_t)kPixels * 3);
    for (int32_t k = 0; k < kPixels; k++) {
      const int32_t i = k % 256, j = k / 256;
      const bool black = (i + 2 * j) % 5 == 0;
      image[3 * k] = black ? 0 : (uint8_t)i;
      image[3 * k + 1] = black ? 0 : (uint8_t)j;
      image[3 * k + 2] = black ? 0 : (uint8_t)(1 + (i * j) % 255);
    }
    Rec().readSource = image.data();
    for (int32_t k = 0; k < kPathCount; k++) {
      const int32_t j = k / 256;
      TVector *P = ImagePaths[k].points;
      P[0] = {1.2f, (float)((j - 127) / 127.0), 0.0f};
      P[1] = {RandomVectors[k].x, RandomVectors[k].y, 0.0f};
      for (int p = 2; p <= 5; p++) P[p] = {kSentinel, kSentinel, kSentinel};
      P[6] = {RandomVectors[k + 1].x, RandomVectors[k + 1].y, 0.0f};
      P[7] = {RandomVectors[k].z, -2.0f, 0.0f};
      SplineRetangent(&ImagePaths[k]);
      TVector *A = AttractorPaths[k].points;
      for (int p = 0; p < kAttractorPathPoints; p++) A[p] = {(float)(k % 256) / 256 + p, (float)(k / 256) / 256 - p, 0};
      SplineRetangent(&AttractorPaths[k]);
    }
    SpriteTexture = 5;
    CubeTexture = 6;
    ScreenTexture = 8;
    ScreenWidth = 800;
    ScreenHeight = 600;
    Beat = 0.0f;
  }
  void TearDown() override { Rec().readSource = nullptr; }

  void Draw(void (*scene)(void), int32_t t) {
    Install();
    SegmentTime = t;
    scene();
  }
  // The sprites' glBegin: the one after the cube's.
  static size_t SpriteBegin() { return Find(kBegin, Find(kEnd) + 1); }
  static int32_t Brightness(const std::vector<uint8_t> &img, int32_t k) {
    return img[3 * k] + img[3 * k + 1] + img[3 * k + 2];
  }
  // Checks that four vertices from index v form the sprite of half-width s around q.
  static void ExpectSprite(const std::vector<Call> &v, size_t at, float qx, float qy, float s, double tolerance,
                           int32_t k) {
    const float h = 16.0f * s / 9.0f;
    const float corners[4][2] = {{qx - s, qy + h}, {qx + s, qy + h}, {qx + s, qy - h}, {qx - s, qy - h}};
    for (int c = 0; c < 4; c++) {
      ASSERT_NEAR(v[at + c].a[0], corners[c][0], tolerance) << "particle " << k << " corner " << c;
      ASSERT_NEAR(v[at + c].a[1], corners[c][1], tolerance) << "particle " << k << " corner " << c;
    }
  }

  PathBlock imagePaths{ImagePaths, kPathCount, kImagePathPoints};
  PathBlock attractorPaths{AttractorPaths, kPathCount, kAttractorPathPoints};
  std::vector<uint8_t> image;
};

TEST_F(ScenesParticles, TheCubeIsDrawnInTheCornerReadBackAndClearedAway) {
  Draw(CubeRender, 100000);
  const size_t begin = Find(kBegin), end = Find(kEnd);
  ASSERT_LT(end, Calls().size());
  const std::vector<Call> perspective = Only(kPerspective), lookAt = Only(kLookAt), rotate = Only(kRotatef);
  ASSERT_EQ(perspective.size(), 1u);
  EXPECT_EQ(perspective[0].a[0], 45);
  EXPECT_DOUBLE_EQ(perspective[0].a[1], 16.0 / 9.0);
  EXPECT_EQ(perspective[0].a[2], 0.01);
  ASSERT_EQ(lookAt.size(), 1u);
  const double eye[9] = {5, 0, 0, 0, 0, 0, 0, 0, 1};
  for (int n = 0; n < 9; n++) EXPECT_EQ(lookAt[0].a[n], eye[n]);
  ASSERT_EQ(rotate.size(), 1u);
  EXPECT_EQ(rotate[0].a[0], (float)(-100000 / 30.0));
  EXPECT_EQ(rotate[0].a[1], -1);
  EXPECT_EQ(rotate[0].a[2], 1);
  EXPECT_EQ(rotate[0].a[3], 0);

  // Lit, depth-tested, unblended, the cube texture bound, in the 256 x 256 corner.
  for (GLenum cap : {GL_LIGHTING, GL_LIGHT0, GL_DEPTH_TEST}) EXPECT_LT(Find(kEnable, cap, 0), begin) << cap;
  EXPECT_LT(Find(kDisable, GL_BLEND, 0), begin);
  EXPECT_EQ(Only(kBindTexture, 0, begin).back().a[1], CubeTexture);
  const Call corner = Only(kViewport, 0, begin).back();
  EXPECT_EQ(std::vector<double>(corner.a, corner.a + 4), (std::vector<double>{0, 0, 256, 256}));

  // Six faces: a normal, then four textured corners.
  const int normals[6][3] = {{0, 0, 1}, {0, 0, -1}, {0, 1, 0}, {0, -1, 0}, {1, 0, 0}, {-1, 0, 0}};
  const double tex[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  std::vector<Call> inside(Calls().begin() + (long)begin + 1, Calls().begin() + (long)end);
  ASSERT_EQ(inside.size(), 6u * 9);
  for (int f = 0; f < 6; f++) {
    const Call &n = inside[9 * f];
    ASSERT_EQ(n.op, kNormal3f);
    for (int c = 0; c < 3; c++) EXPECT_EQ(n.a[c], normals[f][c]) << "face " << f;
    for (int v = 0; v < 4; v++) {
      const Call &t = inside[9 * f + 1 + 2 * v], &p = inside[9 * f + 2 + 2 * v];
      ASSERT_EQ(t.op, kTexCoord2f);
      ASSERT_EQ(p.op, kVertex3f);
      EXPECT_EQ(t.a[0], tex[v][0]);
      EXPECT_EQ(t.a[1], tex[v][1]);
      // Every corner is a corner of the cube on the face's plane.
      for (int c = 0; c < 3; c++)
        if (normals[f][c] != 0) {
          EXPECT_EQ(p.a[c], normals[f][c]) << "face " << f << " corner " << v;
        }
      EXPECT_EQ(std::abs(p.a[0]) + std::abs(p.a[1]) + std::abs(p.a[2]), 3);
    }
  }

  // Read back, then the letterbox (800 x 600: 450 high from y 75) cleared again.
  const size_t read = Find(kReadPixels, end);
  ASSERT_LT(read, Calls().size());
  const std::vector<double> readArgs(Calls()[read].a, Calls()[read].a + 6);
  EXPECT_EQ(readArgs, (std::vector<double>{0, 0, 256, 256, GL_RGB, GL_UNSIGNED_BYTE}));
  EXPECT_EQ(std::memcmp(CubePixels, image.data(), image.size()), 0);
  const size_t letterbox = Find(kViewport, read);
  ASSERT_LT(letterbox, Calls().size());
  EXPECT_EQ(std::vector<double>(Calls()[letterbox].a, Calls()[letterbox].a + 4),
            (std::vector<double>{0, 75, 800, 450}));
  EXPECT_EQ(LetterboxHeight, 450);
  const size_t clear = Find(kClear, letterbox);
  ASSERT_LT(clear, Calls().size());
  EXPECT_EQ(Calls()[clear].a[0], GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

TEST_F(ScenesParticles, AtTheFirstFrameEveryLitPixelHasAParticleJustRightOfThePicture) {
  ProbeEffects probes(ScreenTexture);
  Draw(ParticleImageScene, kParticleImageStart);
  const size_t begin = SpriteBegin(), end = Find(kEnd, begin);
  ASSERT_LT(end, Calls().size());
  EXPECT_EQ(Only(kBlendFunc, 0, begin).back().a[0], GL_SRC_COLOR);
  EXPECT_EQ(Only(kBlendFunc, 0, begin).back().a[1], GL_ONE_MINUS_SRC_COLOR);
  EXPECT_EQ(Only(kBindTexture, 0, begin).back().a[1], SpriteTexture);
  const size_t cubeEnd = Find(kEnd);
  EXPECT_LT(Find(kDisable, GL_DEPTH_TEST, cubeEnd), begin);
  EXPECT_LT(Find(kDisable, GL_LIGHTING, cubeEnd), begin);
  EXPECT_LT(Find(kEnable, GL_BLEND, cubeEnd), begin);
  EXPECT_EQ(Find(kDisable, GL_LIGHT0, 0), Calls().size()) << "GL_LIGHT0 stays on";

  // Walk the pixels: one colour each, then a sprite when the pixel is lit.
  std::vector<Call> v;
  int32_t k = -1, lit = 0;
  for (size_t i = begin + 1; i < end; i++) {
    const Call &c = Calls()[i];
    if (c.op == kColor3f) {
      ASSERT_EQ(v.size(), 4u * lit) << "pixel " << k;
      k++;
      const int32_t b = Brightness(image, k);
      ASSERT_FLOAT_EQ((float)c.a[0], (float)(b / 512.0)) << k;
      ASSERT_EQ(c.a[0], c.a[1]);
      ASSERT_EQ(c.a[0], c.a[2]);
      if (b == 0) continue;
      lit++;
    } else if (c.op == kVertex3f) {
      v.push_back(c);
      if (v.size() % 4 == 0) {
        const int32_t j = k / 256;
        ExpectSprite(v, v.size() - 4, 1.2f, (float)((j - 127) / 127.0), ImageParticleSize(Brightness(image, k)), 0,
                     k);
        if (HasFatalFailure()) return;
      }
    }
  }
  EXPECT_EQ(k, kPixels - 1);
  EXPECT_EQ(v.size(), 4u * lit);

  // Lit pixels moved their path's middle points to their jittered home; black ones
  // left theirs alone.
  const int32_t jitter = kParticleImageStart % 1000;
  for (int32_t n = 0; n < kPixels; n++) {
    const TVector *P = ImagePaths[n].points, *T = ImagePaths[n].tangents;
    if (Brightness(image, n) == 0) {
      ASSERT_EQ(P[3].x, kSentinel) << n;
      continue;
    }
    const TVector &V = RandomVectors[jitter + n];
    const float hx = (float)((n % 256 - 127.5) / 127.5 + V.x / 100.0), hy = (float)((n / 256 - 127.5) / 127.5 + V.y / 100.0);
    for (int p = 2; p <= 5; p++) {
      ASSERT_EQ(P[p].x, hx) << n;
      ASSERT_EQ(P[p].y, hy) << n;
      ASSERT_EQ(P[p].z, 0.0f) << n;
    }
    ASSERT_EQ(T[3].x, 0.0f) << "tangents follow the new points";
    ASSERT_EQ(T[2].x, (float)((hx - (double)P[1].x) / 6.0)) << n;
  }
  const std::vector<Step> glow = {{0, 0}, {kProbeVBlur, 1000}, {0, 0}, {kProbeHBlur, 1000}};
  EXPECT_EQ(Steps(end), glow);
}

TEST_F(ScenesParticles, BetweenParameters3And4EveryParticleRestsAtItsHome) {
  for (int32_t n = 0; n < kPathCount + 1000; n++) RandomVectors[n].x = 0.0f;  // u = 3 (T - start) / 7111
  const int32_t t = kParticleImageStart + 8000;  // u = 3.375
  Draw(ParticleImageScene, t);
  const size_t begin = SpriteBegin(), end = Find(kEnd, begin);
  std::vector<Call> v = Only(kVertex3f, begin, end);
  size_t at = 0;
  for (int32_t k = 0; k < kPixels; k++) {
    const int32_t b = Brightness(image, k);
    if (b == 0) continue;
    const float hx = (float)((k % 256 - 127.5) / 127.5);
    const float hy = (float)((k / 256 - 127.5) / 127.5 + RandomVectors[t % 1000 + k].y / 100.0);
    ExpectSprite(v, at, hx, hy, ImageParticleSize(b), 1e-6, k);
    if (HasFatalFailure()) return;
    at += 4;
  }
  EXPECT_EQ(at, v.size());
}

TEST_F(ScenesParticles, AttractorParticlesRunFromTheirStartToTheirEndPoint) {
  struct Case {
    int32_t t;
    float beat, halfWidth;
    int point;
  };
  // u = (t - 113760) / 1271 - 1 + x: below 0 at the start, at least 9 after 11 x 1271 ms.
  const Case cases[] = {{kAttractorStart, 0.0f, 0.003f, 0}, {kAttractorStart + 11 * 1271, 1.0f, 0.0035f, 9}};
  for (const Case &c : cases) {
    ProbeEffects probes(ScreenTexture);
    Beat = c.beat;
    Draw(AttractorScene, c.t);
    const size_t begin = Find(kBegin), end = Find(kEnd);
    ASSERT_LT(end, Calls().size());
    EXPECT_EQ(Count(kColor3f, begin, end), 0u);
    EXPECT_EQ(Only(kBlendFunc, 0, begin).back().a[0], GL_SRC_COLOR);
    const std::vector<Call> v = Only(kVertex3f, begin, end);
    ASSERT_EQ(v.size(), 4u * kPixels);
    for (int32_t k = 0; k < kPixels; k++) {
      const TVector &p = AttractorPaths[k].points[c.point];
      ExpectSprite(v, 4 * (size_t)k, p.x, p.y, c.halfWidth, 0, k);
      if (HasFatalFailure()) return;
    }
    const std::vector<Step> glow = {{0, 0}, {kProbeVBlur, 1000}, {0, 0}, {kProbeHBlur, 1000}};
    EXPECT_EQ(Steps(end), glow);
  }

  // Three periods in, u = 2 + x: with x = 0 a particle sits on P[2], with x = -0.5
  // between P[1] and P[2].
  for (int32_t k = 0; k < kPixels; k++) RandomVectors[k].x = k % 2 ? -0.5f : 0.0f;
  Beat = 0.0f;
  Draw(AttractorScene, kAttractorStart + 3 * 1271);
  const std::vector<Call> v = Only(kVertex3f, Find(kBegin), Find(kEnd));
  ASSERT_EQ(v.size(), 4u * kPixels);
  for (int32_t k = 0; k < kPixels; k++) {
    const TVector *P = AttractorPaths[k].points;
    const double x = v[4 * (size_t)k].a[0] + 0.003;
    if (k % 2 == 0) {
      ExpectSprite(v, 4 * (size_t)k, P[2].x, P[2].y, 0.003f, 1e-6, k);
      if (HasFatalFailure()) return;
    } else {
      ASSERT_GT(x, P[1].x + 0.1) << k;
      ASSERT_LT(x, P[2].x - 0.1) << k;
    }
  }
}

TEST_F(ScenesParticles, TheAttractorArrayDrawSendsExactlyWhatOneCallPerVertexSent) {
  ProbeEffects probes(ScreenTexture);
  struct Case {
    int32_t t;
    float beat;
  };
  // Before any particle moves, on the way, the beat's larger sprites, all at their end.
  const Case cases[] = {{kAttractorStart, 0.0f}, {kAttractorStart + 2000, 0.25f}, {kAttractorStart + 5555, 1.0f},
                        {kAttractorStart + 11 * 1271, 0.5f}};
  std::vector<Call> reference;
  for (const Case &c : cases) {
    Beat = c.beat;
    Draw(immediate::AttractorScene, c.t);
    reference.swap(Rec().calls);
    Draw(AttractorScene, c.t);
    EXPECT_FALSE(scarrays::Arrays().unsupported);
    EXPECT_EQ(scarrays::Arrays().draws, 1);
    ASSERT_GT(scarrays::Colourless(reference, kColor3f), 8u * kPixels);
    EXPECT_EQ(scarrays::Differences(Calls(), reference, kColor3f, kBegin), std::vector<size_t>{}) << c.t;
  }
}

}  // namespace
