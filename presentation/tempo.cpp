// Tempo map, white flashes, letterbox and frame-rate text: see tempo.h.
// Depends on: nothing.
#include "presentation/tempo.h"

#include <cmath>
#include <cstdio>

// The row divisors are the show's decimal constants, not the exact quotients of
// pattern length and row count; rows come out the same as the music's.
const TempoSegment kTempoSegments[4] = {
    {0, 0, 7111, 55.55469, 0},
    {14222, 2, 3555, 55.54688, 0},
    {17777, 3, 4000, 55.55556, 500},
    {25777, 5, 3555, 55.54688, 444},
};

void TempoApply(TempoState &s, const TempoSegment &seg, int32_t reading) {
  s.SegmentTime = (int32_t)((int64_t)reading - seg.start);
  s.Pattern = seg.firstPattern + s.SegmentTime / seg.length;
  const float q = (float)((double)(s.SegmentTime % seg.length) / seg.rowDivisor);
  s.Row = (int32_t)std::trunc(q);
  if (seg.beatPeriod) {
    const float f = (float)((double)(s.SegmentTime % seg.beatPeriod) / seg.beatPeriod);
    const float b = (float)(1.0 - f);
    s.Beat = (float)((double)b * b);
  }
}

void TempoMapAt(TempoState &s, int32_t t) {
  TempoMapUpdate(s, [t] { return t; });
}

int32_t WhiteFlashParams(int32_t pattern, int32_t segmentTime, int32_t row, float out[3]) {
  const auto at = [segmentTime](int32_t start) { return (float)(2 * (segmentTime - start)); };
  const auto half = [segmentTime](double start) { return (float)(((double)segmentTime - start) * 2.0); };
  switch (pattern) {
    case 2:
      if (segmentTime < 1776) return 0;
      out[0] = half(1777.5);
      return 1;
    case 31:
      if (segmentTime <= 94207) return 0;
      out[0] = at(94207);
      return 1;
    case 36:
      if (segmentTime <= 111982) return 0;
      out[0] = at(111982);
      return 1;
    case 40: {
      int32_t n = 0;
      if (row > 31) out[n++] = half(126202.6);
      if (row > 37) out[n++] = half(126535.9);
      if (row > 43) out[n++] = half(126869.2);
      return n;
    }
    case 5: case 9: case 13: case 17: case 19: case 20: case 21: case 22: case 23: case 25: case 28:
    case 30: case 37: case 41: case 45: case 47: case 49: case 51: case 53: case 54: case 55:
      // Each starts with its pattern, (pattern - 5) * 3555 into segment 4.
      out[0] = at((pattern - 5) * 3555);
      return 1;
    default:
      return 0;
  }
}

int32_t LetterboxHeightFor(int32_t width) {
  // width / 16 is exact in binary, so the only rounding is the final one.
  return (int32_t)std::nearbyint((double)width / 16.0 * 9.0);
}

int32_t LetterboxY(int32_t height, int32_t letterboxHeight) { return (height - letterboxHeight) / 2; }

void FormatFps(int32_t frames, int32_t ms, char *out, int32_t size) {
  const double fps = ms > 0 ? (double)frames / ms * 1000.0 : 0.0;
  std::snprintf(out, (size_t)size, "%.2f", fps);
}
