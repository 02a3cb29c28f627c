// Which scene each pattern range draws: one whole frame per range through the main
// loop's own frame, recorded, reduced to what tells the scenes apart (primitive blocks
// and their vertex counts, screen copies and effects with their times, textures bound,
// blend functions, raster queries, read-backs) and checked against the counts of each
// scene's own geometry. A range drawn by another scene, or by none, fails its row.
// The ranges that share a scene are told apart by what their pattern moves: which logo
// columns lie off their pixels, and the time the star sphere's camera shows.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "presentation/glow.h"
#include "presentation/procedural.h"
#include "presentation/scenes.h"
#include "presentation/show.h"
#include "spine_util.h"
#include "tests/common/still_clock.h"
#include "tests/presentation/scenes2_recorder.h"

namespace {

using namespace s2test;

constexpr GLuint kSprite = 21, kCube = 22, kGreet = 23, kScreen = 24;

// A run of vertices between glBegin and glEnd; the expected count may be a range.
struct Block {
  double mode;
  size_t lo, hi;
};
struct Signature {
  std::vector<Block> blocks;
  std::vector<Step> steps;  // copies and effects, in order
  std::set<double> textures;
  std::set<std::pair<double, double>> blends;
  size_t rasterQueries = 0, readBacks = 0;
};

const char *ModeName(double mode) {
  return mode == GL_POINTS ? "points" : mode == GL_LINES ? "lines" : mode == GL_TRIANGLES ? "triangles"
                                     : mode == GL_QUADS ? "quads" : "other";
}

std::string Describe(const Signature &s) {
  std::ostringstream o;
  o << "blocks";
  for (const Block &b : s.blocks) {
    o << " " << ModeName(b.mode) << ":" << b.lo;
    if (b.hi != b.lo) o << ".." << b.hi;
  }
  o << "; steps";
  for (const Step &st : s.steps) o << " " << (st.kind ? std::to_string(st.kind) + "@" + std::to_string(st.t) : "copy");
  o << "; textures";
  for (double t : s.textures) o << " " << t;
  o << "; blends";
  for (const auto &b : s.blends) o << " " << b.first << "/" << b.second;
  o << "; raster queries " << s.rasterQueries << "; read-backs " << s.readBacks;
  return o.str();
}

bool Matches(const Signature &got, const Signature &want) {
  if (got.blocks.size() != want.blocks.size()) return false;
  for (size_t i = 0; i < got.blocks.size(); i++) {
    const Block &g = got.blocks[i], &w = want.blocks[i];
    if (g.mode != w.mode || g.lo < w.lo || g.lo > w.hi) return false;
  }
  return got.steps == want.steps && got.textures == want.textures && got.blends == want.blends &&
         got.rasterQueries == want.rasterQueries && got.readBacks == want.readBacks;
}

// The frame's calls outside the effect layers; each layer (from its gluOrtho2D to its
// glEnd) counts only as the probe step its glTranslatef names.
Signature Recorded() {
  Signature s;
  bool inLayer = false, inBlock = false;
  for (const Call &c : Calls()) {
    if (inLayer) {
      if (c.op == kTranslatef) s.steps.push_back({(int)c.a[1], c.a[0]});
      if (c.op == kEnd) inLayer = false;
      continue;
    }
    switch (c.op) {
      case kOrtho2D: inLayer = true; break;
      case kCopyTexImage2D: s.steps.push_back({0, 0}); break;
      case kBegin: s.blocks.push_back({c.a[0], 0, 0}); inBlock = true; break;
      case kVertex2f: case kVertex3f: case kVertex3fv:
        if (inBlock) s.blocks.back().hi = ++s.blocks.back().lo;
        break;
      case kEnd: inBlock = false; break;
      case kBindTexture: s.textures.insert(c.a[1]); break;
      case kBlendFunc: s.blends.insert({c.a[0], c.a[1]}); break;
      case kRasterPos3f: s.rasterQueries++; break;
      case kReadPixels: s.readBacks++; break;
      default: break;
    }
  }
  return s;
}

enum class Scene { kLogo, kStars, kTunnel, kMetaballs, kWave, kCubes, kImage, kAttractor, kKaleido, kGreets, kEnd };

Block Exactly(double mode, size_t n) { return {mode, n, n}; }
const std::pair<double, double> kAdd = {GL_ONE, GL_ONE}, kSpriteBlend = {GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR};
const std::vector<Step> kGlow = {{0, 0}, {kProbeVBlur, 1000}, {0, 0}, {kProbeHBlur, 1000}};

// What the scene draws, from its own counts, at segment time T and beat b. litLogo and
// litCube are the fixtures' lit pixels: one sprite each.
Signature Expected(Scene scene, int32_t pattern, int32_t T, float b, size_t litLogo, size_t litCube) {
  Signature s;
  switch (scene) {
    case Scene::kLogo:
      s.blocks = {Exactly(GL_QUADS, 4 * litLogo)};
      s.textures = {kSprite};
      s.blends = {kSpriteBlend};
      if (pattern == 0) s.steps = {{kProbeFadeout, 1000.0 - T / 7.0}};
      break;
    case Scene::kStars:
      // 10,001 streaks, absent only where the depth wrap cuts one (about 1 in 200);
      // 2056 sprites; per star point one joining and two guide lines.
      s.blocks = {{GL_LINES, 2 * 9000, 2 * 10001}, Exactly(GL_QUADS, 4 * 2056), Exactly(GL_LINES, 1028 * 3 * 2)};
      s.textures = {kSprite};
      s.blends = {kAdd};
      s.rasterQueries = 2056;
      if (pattern <= 4) s.steps = {{kProbeFadeout, 1000.0 - 2000.0 * b}};
      break;
    case Scene::kTunnel:
      // 201 rings of 27 arc pieces at two radii and 2 closing lines; three streams of
      // 2001 particles, three quads each.
      s.blocks = {Exactly(GL_LINES, 201 * (27 * 2 + 2) * 2)};
      for (int stream = 0; stream < 3; stream++) s.blocks.push_back(Exactly(GL_QUADS, 2001 * 3 * 4));
      s.textures = {kSprite};
      s.blends = {kAdd};
      break;
    case Scene::kMetaballs:
      // The surface: three lines per triangle, up to five triangles in each of the 30^3
      // cells; then the 44 x 44 crosses of three lines.
      s.blocks = {{GL_LINES, 6, 30 * 30 * 30 * 5 * 6}, Exactly(GL_LINES, 44 * 44 * 3 * 2)};
      s.textures = {kSprite, kScreen};
      s.blends = {kAdd};
      s.steps = kGlow;
      break;
    case Scene::kWave:
      s.blocks = {Exactly(GL_LINES, 63 * 63 * 3 * 2), Exactly(GL_POINTS, 63 * 63)};
      s.textures = {kSprite, kScreen};
      s.blends = {kAdd};
      s.steps = {{0, 0}, {kProbeVBlur, 1000}, {kProbeHBlur, 1000}, {0, 0}, {kProbeVBlur, 1000}, {kProbeHBlur, 1000}};
      break;
    case Scene::kCubes:
      s.blocks = {Exactly(GL_LINES, 32 * 32 * 32 * 12 * 2)};
      s.textures = {kSprite, kScreen};
      s.blends = {kAdd};
      s.steps = kGlow;
      break;
    case Scene::kImage:
      s.blocks = {Exactly(GL_QUADS, 6 * 4), Exactly(GL_QUADS, 4 * litCube)};
      s.textures = {kSprite, kCube, kScreen};
      s.blends = {kSpriteBlend};
      s.readBacks = 1;
      s.steps = kGlow;
      break;
    case Scene::kAttractor:
      s.blocks = {Exactly(GL_QUADS, 256 * 256 * 4)};
      s.textures = {kSprite, kScreen};
      s.blends = {kSpriteBlend};
      s.steps = kGlow;
      break;
    case Scene::kKaleido:
      s.blocks = {Exactly(GL_TRIANGLES, 8 * 3)};
      s.textures = {kScreen};
      s.steps = {{kProbeRotateBkg, (double)(T / 4 % 1000)}, {0, 0}, {kProbeFeedback, 1000}, {0, 0}};
      s.steps.insert(s.steps.end(), kGlow.begin(), kGlow.end());
      s.steps.push_back({kProbeFadeout, 500.0 - 500.0 * b});
      s.steps.push_back({kProbeCredits, (T - 127980) / 21.3});
      break;
    case Scene::kGreets:
      s.blocks = {Exactly(GL_QUADS, 24 * 8 * 4 * 4)};
      s.textures = {kSprite, kGreet, kScreen};
      s.steps = kGlow;
      break;
    case Scene::kEnd:
      s.steps = {{kProbeEndpart, (T - 177750) / 7.11}};
      break;
  }
  return s;
}

// The logo columns whose sprites lie more than a unit off their pixels, first to
// last, and the column moved furthest; -1 when none moved.
struct ColumnsMoved {
  int first = -1, last = -1, furthest = -1;
};

// Reads the frame's first quad block as one sprite per lit pixel of the logo, in the
// order rows then columns, each moved along its pixel's random direction.
ColumnsMoved LogoColumnsMoved(const std::vector<uint8_t> &logo) {
  std::vector<double> moved(1024, 0.0);
  size_t at = Find(kBegin, GL_QUADS, 0);
  for (int j = 0; j < 64; j++)
    for (int i = 0; i < 1024; i++) {
      if (!logo[18 + 3 * (1024 * j + i)]) continue;
      double cx = 0, cy = 0;
      for (int v = 0; v < 4; v++) {
        at = Find(kVertex3f, at + 1);
        if (at >= Calls().size()) return {};
        cx += Calls()[at].a[0] / 4;
        cy += Calls()[at].a[1] / 4;
      }
      const TVector &r = RandomVectors[1024 * j + i];
      const double length = std::hypot(r.x, r.y);
      if (length > 0.1) moved[i] = std::max(moved[i], std::hypot(cx - (i - 512), cy - (j - 32)) / length);
    }
  ColumnsMoved m;
  for (int i = 0; i < 1024; i++) {
    if (moved[i] <= 1) continue;
    if (m.first < 0) m.first = i;
    m.last = i;
    if (m.furthest < 0 || moved[i] > moved[m.furthest]) m.furthest = i;
  }
  return m;
}

bool Same(const ColumnsMoved &a, const ColumnsMoved &b) {
  return a.first == b.first && a.last == b.last && a.furthest == b.furthest;
}

using SpineDispatch = spine_test::Framework;
using spine_test::SetTimeline;

TEST_F(SpineDispatch, EveryRangeDrawsItsOwnScene) {
  ASSERT_EQ(ProcBuildTables(nullptr), 0);
  static std::vector<float> field(32768);
  ScenesInitMetaGrid(field.data());
  // Logo and cube read-back fixtures with a known number of lit pixels; an unlit
  // logo pixel keeps colour in its other bytes, which must not light it.
  std::vector<uint8_t> logo(18 + 3 * 1024 * 64), cube(256 * 256 * 3);
  size_t litLogo = 0, litCube = 0;
  for (int32_t k = 0; k < 1024 * 64; k++) {
    const bool lit = k % 13 == 0;
    logo[18 + 3 * k] = lit ? 200 : 0;
    logo[18 + 3 * k + 1] = 90;
    litLogo += lit;
  }
  for (int32_t k = 0; k < 256 * 256; k++)
    if (k % 7 == 0) {
      cube[3 * k + 2] = (uint8_t)(1 + k % 250);
      litCube++;
    }
  LogoImage = logo.data();
  LogoImageSize = (int32_t)logo.size();
  Rec().readSource = cube.data();
  SpriteTexture = kSprite;
  CubeTexture = kCube;
  GreetTexture = kGreet;
  ScreenTexture = kScreen;
  ScreenWidth = 800;
  ScreenHeight = 600;
  DebugMode = 0;
  ProbeEffects probes(kScreen);
  // The frame reads the timer the row sets however long the machine takes meanwhile.
  const StillClock still;

  // One time inside each range, clear of pattern starts; the beat fades stay in 0..1000.
  // The logo's rows name the columns its pattern moves: pattern 0 settles from the
  // left, so the right lies furthest off; pattern 1's ripple spans some 150 columns
  // either side of its centre; pattern 2 scatters the left columns first. The star
  // sphere's rows name the segment time its camera bobs at: patterns 3 and 4 step it
  // by 500-ms beats, each pattern on its own.
  const struct Row {
    int32_t first, last, timeline;
    Scene scene;
    ColumnsMoved moved{};
    int32_t shown = -1;
  } rows[] = {
      {0, 0, 3000, Scene::kLogo, {0, 1023, 1023}},
      {1, 1, 10000, Scene::kLogo, {220, 523, 372}},
      {2, 2, 17000, Scene::kLogo, {0, 1023, 0}},
      {3, 4, 19027, Scene::kStars, {}, 1000},
      {3, 4, 23027, Scene::kStars, {}, 5000},
      {5, 8, 31109, Scene::kStars, {}, 5332},
      {9, 16, 52439, Scene::kTunnel},
      {17, 24, 80879, Scene::kMetaballs},
      {25, 27, 102209, Scene::kWave},
      {28, 31, 112874, Scene::kCubes},
      {32, 36, 130649, Scene::kImage},
      {37, 40, 144869, Scene::kAttractor},
      {41, 46, 162644, Scene::kKaleido},
      {47, 54, 187529, Scene::kGreets},
      {55, INT_MAX, 205304, Scene::kEnd},
  };
  for (const Row &row : rows) {
    Install();
    SetTimeline(row.timeline);
    ShowFrame();
    const std::string range = "patterns " + std::to_string(row.first) +
                              (row.last == INT_MAX ? " and above" : ".." + std::to_string(row.last));
    ASSERT_GE(Pattern, row.first) << range;
    ASSERT_LE(Pattern, row.last) << range;
    const Signature got = Recorded(), want = Expected(row.scene, Pattern, SegmentTime, Beat, litLogo, litCube);
    EXPECT_TRUE(Matches(got, want)) << range << "\n drew:     " << Describe(got) << "\n expected: " << Describe(want);
    if (row.scene == Scene::kLogo) {
      const ColumnsMoved m = LogoColumnsMoved(logo);
      EXPECT_TRUE(Same(m, row.moved)) << range << ": columns " << m.first << " to " << m.last << " moved, furthest "
                                      << m.furthest << "; expected " << row.moved.first << " to " << row.moved.last
                                      << ", furthest " << row.moved.furthest;
    }
    if (row.scene == Scene::kStars) {
      // Both passes look at the star's bobbing centre, 50 sin(t / 800) high.
      const std::vector<Call> looks = Only(kLookAt);
      ASSERT_EQ(looks.size(), 2u) << range;
      for (const Call &c : looks)
        EXPECT_NEAR(c.a[4], 50 * std::sin(row.shown / 800.0), 0.01) << range << ": the camera shows another time";
    }
  }
  Rec().readSource = nullptr;
  LogoImage = nullptr;
  LogoImageSize = 0;
}

}  // namespace
