// Vector routines: see vectors.h.
// Depends on: nothing.
#include "presentation/vectors.h"

#include <cmath>

void VecZero(TVector *v) { *v = {0.0f, 0.0f, 0.0f}; }

void VecAdd(const TVector *a, const TVector *b, TVector *out) {
  const TVector A = *a, B = *b;
  *out = {(float)((double)A.x + B.x), (float)((double)A.y + B.y), (float)((double)A.z + B.z)};
}

void VecSub(const TVector *a, const TVector *b, TVector *out) {
  const TVector A = *a, B = *b;
  *out = {(float)((double)A.x - B.x), (float)((double)A.y - B.y), (float)((double)A.z - B.z)};
}

void VecScale(const TVector *a, float s, TVector *out) {
  const TVector A = *a;
  *out = {(float)((double)A.x * s), (float)((double)A.y * s), (float)((double)A.z * s)};
}

void VecCross(const TVector *a, const TVector *b, TVector *out) {
  const TVector A = *a, B = *b;
  *out = {(float)((double)A.y * B.z - (double)A.z * B.y), (float)((double)A.z * B.x - (double)A.x * B.z),
          (float)((double)A.x * B.y - (double)A.y * B.x)};
}

float VecLength(const TVector *v) {
  const TVector V = *v;
  return (float)std::sqrt((double)V.x * V.x + (double)V.y * V.y + (double)V.z * V.z);
}

void VecNormalize(const TVector *a, TVector *out) {
  const TVector A = *a;
  const float len = VecLength(&A);
  TVector r = {0.0f, 0.0f, 0.0f};
  // A NaN length fails this comparison too and leaves the zero vector.
  if (len > 0.0f) r = {(float)((double)A.x / len), (float)((double)A.y / len), (float)((double)A.z / len)};
  *out = r;
}

void VecNoOp(const TVector *a, const TVector *b, const void *unused) {
  (void)a;
  (void)b;
  (void)unused;
}
