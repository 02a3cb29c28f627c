// Procedural tables, random draws and spline paths of the show.
//
// The order of the draws is the contract: vectors and directions (five draws per
// index), then one draw per attractor path, then two per swap of the index shuffle.
// Formulas run in double precision and are rounded to float exactly where a value
// is stored (table entries, path points, named temporaries); those roundings are
// part of the result, so the casts below are deliberate.
// Depends on: vectors (VecSub, VecNormalize), tracked memory, log.
#include "presentation/procedural.h"

#include <cmath>
#include <cstring>
#include <numbers>

#include "base/log.h"
#include "base/mem.h"
#include "presentation/vectors.h"

TVector RandomVectors[kRandomVectorCount];
TVector RandomDirections[kRandomVectorCount];
int32_t ShuffledIndices[kShuffledIndexCount];
SplinePath ImagePaths[kPathCount];
SplinePath AttractorPaths[kPathCount];

namespace {

// MT19937 (624 words, offset 397, matrix 0x9908B0DF), seeded by init_genrand.
struct Mt19937 {
  static constexpr int N = 624, M = 397;
  uint32_t mt[N];
  int index = N + 1;  // N + 1: not seeded yet

  void Seed(uint32_t seed) {
    mt[0] = seed;
    for (int i = 1; i < N; i++) mt[i] = 1812433253u * (mt[i - 1] ^ (mt[i - 1] >> 30)) + (uint32_t)i;
    index = N;
  }

  void Twist() {
    auto mix = [](uint32_t upper, uint32_t lower, uint32_t far) {
      uint32_t y = (upper & 0x80000000u) | (lower & 0x7fffffffu);
      return far ^ (y >> 1) ^ ((y & 1u) ? 0x9908B0DFu : 0u);
    };
    int k = 0;
    for (; k < N - M; k++) mt[k] = mix(mt[k], mt[k + 1], mt[k + M]);
    for (; k < N - 1; k++) mt[k] = mix(mt[k], mt[k + 1], mt[k + M - N]);
    mt[N - 1] = mix(mt[N - 1], mt[0], mt[M - 1]);
    index = 0;
  }

  uint32_t Next() {
    if (index >= N) {
      if (index > N) Seed(0);
      Twist();
    }
    uint32_t y = mt[index++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
  }
};

Mt19937 g_random;
bool g_tablesBuilt = false;

inline float F(double v) { return (float)v; }

void Step(void (*step)(void)) {
  if (step) step();
}

// The rotation with its sines and cosines given (each already rounded to single).
void RotateBy(float *x, float *y, float *z, float X, float Y, float Z, float s1, float c1, float s2, float c2) {
  float s1s2 = F((double)s1 * s2), s1c2 = F((double)s1 * c2);
  float c1s2 = F((double)c1 * s2), c1c2 = F((double)c1 * c2);
  double dX = X, dY = Y, dZ = Z;  // inputs first: the outputs may alias them
  *x = F(c2 * dX + s2 * dZ);
  *y = F(s1s2 * dX + c1 * dY - s1c2 * dZ);
  *z = F(-c1s2 * dX + s1 * dY + c1c2 * dZ);
}

// Sine and cosine of the whole degrees 0..359, exactly as RotatePoint rounds them:
// the million direction draws are whole degrees, so the table replaces 4 million
// trigonometric calls with the very same values.
struct DegreeTable {
  float sine[360], cosine[360];
  DegreeTable() {
    for (int d = 0; d < 360; d++) {
      float a = F(d * std::numbers::pi / 180.0);
      sine[d] = F(std::sin((double)a));
      cosine[d] = F(std::cos((double)a));
    }
  }
};

// The attractors of attractor-path point m (1..7): the first eight random vectors
// turned by 22 m degrees about both axes; the same for every path.
struct Attractor {
  float x, y;
};

void AttractorsOf(int m, Attractor out[8]) {
  for (int o = 0; o < 8; o++) {
    float x, y, z;
    RotatePoint(&x, &y, &z, RandomVectors[o].x, RandomVectors[o].y, 0.0f, F(22 * m), F(22 * m));
    out[o] = {x, y};
  }
}

void BuildVectors() {
  static const DegreeTable degrees;
  for (int32_t i = 0; i < kRandomVectorCount; i++) {
    TVector &v = RandomVectors[i];
    v.x = F((RandomBelow(2000) - 1000) / 1000.0);
    v.y = F((RandomBelow(2000) - 1000) / 1000.0);
    v.z = F((RandomBelow(2000) - 1000) / 1000.0);
    int32_t ax = RandomBelow(360);
    int32_t ay = RandomBelow(360);
    TVector &d = RandomDirections[i];
    RotateBy(&d.x, &d.y, &d.z, 16.0f, 0.0f, 0.0f, degrees.sine[ax], degrees.cosine[ax], degrees.sine[ay],
             degrees.cosine[ay]);
  }
}

void BuildImagePaths(TVector *memory) {
  for (int32_t j = 0; j < 256; j++) {
    for (int32_t i = 0; i < 256; i++) {
      int32_t k = 256 * j + i;
      SplinePath &p = ImagePaths[k];
      p.count = kImagePathPoints;
      p.points = memory + (size_t)k * 2 * kImagePathPoints;
      p.tangents = p.points + kImagePathPoints;
      p.points[0] = {1.2f, F((j - 127) / 127.0), 0.0f};
      p.points[1] = {RandomVectors[k].x, RandomVectors[k].y, 0.0f};
      for (int s = 2; s <= 5; s++) p.points[s] = {0.0f, 0.0f, 0.0f};
      p.points[6] = {RandomVectors[k + 65536].x, RandomVectors[k + 65536].y, 0.0f};
      p.points[7] = {RandomVectors[k].z, -2.0f, 0.0f};
      SplineRetangent(&p);
    }
  }
}

void BuildAttractorPaths(TVector *memory, void (*step)(void)) {
  Attractor attractors[8][8];  // [m][o], m = 1..7
  for (int m = 1; m <= 7; m++) AttractorsOf(m, attractors[m]);
  const float radius = 1.0f;

  for (int32_t j = 0; j < 256; j++) {
    if (j % 8 == 0) Step(step);
    for (int32_t i = 0; i < 256; i++) {
      int32_t k = 256 * j + i;
      SplinePath &p = AttractorPaths[k];
      p.count = kAttractorPathPoints;
      p.points = memory + (size_t)k * 2 * kAttractorPathPoints;
      p.tangents = p.points + kAttractorPathPoints;
      TVector *P = p.points;
      P[0] = {RandomVectors[k].x, RandomVectors[k].y, 0.0f};
      for (int m = 1; m <= 7; m++) {
        float sx = 0.0f, sy = 0.0f;
        for (int o = 0; o < 8; o++) {
          const Attractor &a = attractors[m][o];
          // A squared distance of 1 or more can never give d < 1: skip the root.
          double dx = (double)a.x - P[m - 1].x, dy = (double)a.y - P[m - 1].y;
          if (dx * dx + dy * dy >= 1.0) continue;
          float d = PointDistance(a.x, a.y, 0.0f, P[m - 1].x, P[m - 1].y, 0.0f);
          if (radius > d) {
            float w = F(1.0 - d);
            TVector from = {a.x, a.y, 0.0f}, to = {P[m - 1].x, P[m - 1].y, 0.0f}, v;
            VecSub(&from, &to, &v);
            VecNormalize(&v, &v);
            sx = F(sx + w * (double)v.x / 2.0);
            sy = F(sy + w * (double)v.y / 2.0);
          }
        }
        P[m] = {F((double)P[m - 1].x + sx), F((double)P[m - 1].y + sy), 0.0f};
      }
      P[8] = P[0];
      P[9] = {P[0].x, F(-1.1 - RandomBelow(1000) / 1000.0), 0.0f};
      SplineRetangent(&p);
    }
  }
}

void BuildShuffle(void (*step)(void)) {
  for (int32_t i = 0; i < kShuffledIndexCount; i++) ShuffledIndices[i] = i;
  Step(step);
  for (int round = 0; round < 100000; round++) {
    int32_t a = RandomBelow(kShuffledIndexCount);
    int32_t b = RandomBelow(kShuffledIndexCount);
    int32_t t = ShuffledIndices[a];
    ShuffledIndices[a] = ShuffledIndices[b];
    ShuffledIndices[b] = t;
  }
  Step(step);
}

}  // namespace

int32_t RandomBelow(int32_t n) {
  // Arithmetic shift floors, so a negative n stays within (n, 0].
  return (int32_t)(((int64_t)g_random.Next() * (int64_t)n) >> 32);
}

uint32_t RandomNext(void) { return g_random.Next(); }

void RandomReset(void) { g_random.index = Mt19937::N + 1; }

void RotatePoint(float *x, float *y, float *z, float X, float Y, float Z, float ax, float ay) {
  constexpr double pi = std::numbers::pi;
  float a1 = F(ax * pi / 180.0), a2 = F(ay * pi / 180.0);
  RotateBy(x, y, z, X, Y, Z, F(std::sin((double)a1)), F(std::cos((double)a1)), F(std::sin((double)a2)),
           F(std::cos((double)a2)));
}

float PointDistance(float x1, float y1, float z1, float x2, float y2, float z2) {
  double dx = (double)x1 - x2, dy = (double)y1 - y2, dz = (double)z1 - z2;
  return F(std::sqrt(dx * dx + dy * dy + dz * dz));
}

void SplineTangent(TVector *t, const TVector *a, const TVector *b) {
  TVector r = {F(((double)b->x - a->x) / 6.0), F(((double)b->y - a->y) / 6.0),
                  F(((double)b->z - a->z) / 6.0)};
  *t = r;
}

void SplineRetangent(SplinePath *path) {
  int32_t n = path->count;
  if (n <= 0 || !path->points || !path->tangents) return;
  TVector *P = path->points, *T = path->tangents;
  if (n == 1) {
    T[0] = {0.0f, 0.0f, 0.0f};
    return;
  }
  SplineTangent(&T[0], &P[0], &P[1]);
  SplineTangent(&T[n - 1], &P[n - 2], &P[n - 1]);
  for (int32_t s = 1; s <= n - 2; s++) SplineTangent(&T[s], &P[s - 1], &P[s + 1]);
}

void SplineEval(TVector *q, const SplinePath *path, float u) {
  int32_t n = path->count;
  if (n <= 0 || !path->points) {
    *q = {0.0f, 0.0f, 0.0f};
    return;
  }
  const TVector *P = path->points, *T = path->tangents;
  if (!(u > 0.0f) || n == 1) {  // NaN holds the start as well
    *q = P[0];
    return;
  }
  if (u >= (float)(n - 1)) {
    *q = P[n - 1];
    return;
  }
  int32_t s = (int32_t)u;
  float f = F((double)u - s), g = F(1.0 - f);
  double b0 = F((double)g * g * g), b1 = F(3.0 * g * g * f);
  double b2 = F(3.0 * g * f * f), b3 = F((double)f * f * f);
  const TVector &p0 = P[s], &p1 = P[s + 1], &t0 = T[s], &t1 = T[s + 1];
  auto mix = [&](float a, float ta, float b, float tb) {
    return F(b0 * a + b1 * ((double)a + ta) + b2 * ((double)b - tb) + b3 * b);
  };
  *q = {mix(p0.x, t0.x, p1.x, t1.x), mix(p0.y, t0.y, p1.y, t1.y), mix(p0.z, t0.z, p1.z, t1.z)};
}

int ProcBuildTables(void (*step)(void)) {
  if (g_tablesBuilt) {
    for (int i = 0; i < 37; i++) Step(step);
    return 0;
  }
  // One block per path set instead of 131,072 small ones; never given back.
  size_t imageBytes = (size_t)kPathCount * 2 * kImagePathPoints * sizeof(TVector);
  size_t attractorBytes = (size_t)kPathCount * 2 * kAttractorPathPoints * sizeof(TVector);
  auto *imageMemory = (TVector *)SYS_MemGet(imageBytes, "Image paths");
  auto *attractorMemory = (TVector *)SYS_MemGet(attractorBytes, "Attractor paths");
  if (!imageMemory || !attractorMemory) {
    SYS_MemFree(&imageMemory);
    SYS_MemFree(&attractorMemory);
    SYS_DbgPrintf(1, "[proc] cannot allocate the particle paths\n");
    return -1;
  }

  BuildVectors();
  Step(step);
  Step(step);
  BuildImagePaths(imageMemory);
  Step(step);
  BuildAttractorPaths(attractorMemory, step);
  BuildShuffle(step);
  g_tablesBuilt = true;
  return 0;
}

