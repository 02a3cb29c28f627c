// Vector routines.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "presentation/vectors.h"

namespace {

void ExpectVec(const TVector &v, float x, float y, float z) {
  EXPECT_FLOAT_EQ(v.x, x);
  EXPECT_FLOAT_EQ(v.y, y);
  EXPECT_FLOAT_EQ(v.z, z);
}

TEST(SpineVectors, ArithmeticAndAliasedOutputs) {
  TVector a = {1, -2, 3}, b = {4, 5, -6}, out;
  VecAdd(&a, &b, &out);
  ExpectVec(out, 5, 3, -3);
  VecSub(&a, &b, &a);  // output is the first input
  ExpectVec(a, -3, -7, 9);
  TVector s = {1, -2, 3};
  VecScale(&s, 0.5f, &s);
  ExpectVec(s, 0.5f, -1, 1.5f);
  VecZero(&s);
  ExpectVec(s, 0, 0, 0);
  TVector l = {1, 2, 2};
  EXPECT_FLOAT_EQ(VecLength(&l), 3.0f);
}

TEST(SpineVectors, CrossIsRightHandedAndAliasSafe) {
  TVector x = {1, 0, 0}, y = {0, 1, 0}, out;
  VecCross(&x, &y, &out);
  ExpectVec(out, 0, 0, 1);
  VecCross(&y, &x, &out);
  ExpectVec(out, 0, 0, -1);
  TVector a = {1, 2, 3}, b = {4, 5, 6};
  VecCross(&a, &b, &a);
  ExpectVec(a, -3, 6, -3);
}

TEST(SpineVectors, NormalizeHandlesZeroTinyAndNaN) {
  TVector v = {3, 0, 4}, out;
  VecNormalize(&v, &out);
  ExpectVec(out, 0.6f, 0, 0.8f);
  TVector zero = {0, 0, 0};
  VecNormalize(&zero, &out);
  ExpectVec(out, 0, 0, 0);
  TVector tiny = {1e-20f, 0, 0};
  VecNormalize(&tiny, &tiny);
  ExpectVec(tiny, 1, 0, 0);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  TVector bad = {nan, 1, 0};
  VecNormalize(&bad, &out);
  ExpectVec(out, 0, 0, 0);
}

}  // namespace
