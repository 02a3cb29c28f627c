// Rounding to the nearest integer with halves to the even neighbour: the rounding
// the effect files, the particle spreads and the timeline's rectangles were made
// with. Computed from floor, so it holds whatever rounding mode the FPU is in.
// Values from files may be huge or not a number: the result saturates at the
// integer type's range, and NaN gives 0.
// Depends on: nothing.
#pragma once

#include <cmath>
#include <concepts>
#include <limits>

template <std::signed_integral Int>
Int RoundHalfEven(double v) {
  if (std::isnan(v)) return 0;
  double r = std::floor(v);
  const double d = v - r;
  if (d > 0.5 || (d == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
  // 2^(digits) is exact in a double; the lowest value is its negation.
  constexpr double kTop = static_cast<double>(std::numeric_limits<Int>::max() / 2 + 1) * 2.0;
  if (r >= kTop) return std::numeric_limits<Int>::max();
  if (r < -kTop) return std::numeric_limits<Int>::min();
  return static_cast<Int>(r);
}
