// Vector routines on three single-precision components.
//
// Shared by the procedural tables and the scene engine (whose vector records have
// the same layout). Each routine copies its inputs first and writes its output once,
// so an output may be one of the inputs; components are computed in double and
// rounded to single once.
// Depends on: nothing.
#pragma once

struct TVector {
  float x, y, z;
};

void VecZero(TVector *v);
void VecAdd(const TVector *a, const TVector *b, TVector *out);
void VecSub(const TVector *a, const TVector *b, TVector *out);
void VecScale(const TVector *a, float s, TVector *out);
// Right-handed a x b.
void VecCross(const TVector *a, const TVector *b, TVector *out);
float VecLength(const TVector *v);
// a / |a|; (0, 0, 0) when the length is 0 or not a number.
void VecNormalize(const TVector *a, TVector *out);
// Kept for modules that expect it; does nothing.
void VecNoOp(const TVector *a, const TVector *b, const void *unused);
