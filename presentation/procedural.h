// Procedural tables, random draws and spline paths of the show.
//
// Every random number the show uses is drawn once, during loading, from one
// Mersenne Twister seeded 0 at its first draw; the order of the draws decides every
// value, so the tables (and with them every scene) are the same on every run.
// Depends on: vectors (VecSub, VecNormalize), tracked memory (path points).
#pragma once

#include <cstdint>

#include "presentation/vectors.h"

// One particle path: a curve through `count` control points with parameter 0..count-1.
struct SplinePath {
  int32_t count;
  TVector *tangents;  // one per point, written by SplineRetangent only
  TVector *points;
};

enum : int32_t {
  kRandomVectorCount = 1000001,
  kShuffledIndexCount = 32768,
  kPathCount = 65536,
  kImagePathPoints = 8,
  kAttractorPathPoints = 10,
};

extern TVector RandomVectors[kRandomVectorCount];
extern TVector RandomDirections[kRandomVectorCount];
extern int32_t ShuffledIndices[kShuffledIndexCount];
extern SplinePath ImagePaths[kPathCount];
extern SplinePath AttractorPaths[kPathCount];

// The generator as the show uses it: floor(u * n / 2^32) of the next output u.
int32_t RandomBelow(int32_t n);
// The generator's next raw 32-bit output (the particle engine draws 64-bit values).
uint32_t RandomNext(void);
// Forget the generator state: the next draw reseeds with 0 (tests and benchmarks).
void RandomReset(void);

void RotatePoint(float *x, float *y, float *z, float X, float Y, float Z, float ax, float ay);
float PointDistance(float x1, float y1, float z1, float x2, float y2, float z2);

void SplineTangent(TVector *t, const TVector *a, const TVector *b);
void SplineRetangent(SplinePath *path);
void SplineEval(TVector *q, const SplinePath *path, float u);

// Builds every table in the order of the draws, calling `step` (the loading step)
// at its fixed places: twice after the vectors, once after the image paths, before
// every eighth row of attractor paths, after filling and after shuffling the
// indices (37 calls). `step` may be null. Returns 0, or -1 when the path memory
// cannot be had. Built once: a second call only runs the steps again.
int ProcBuildTables(void (*step)(void));

