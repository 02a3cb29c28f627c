// Tempo map, white flashes, letterbox and frame-rate text against the show's tables.
#include <gtest/gtest.h>

#include <vector>

#include "presentation/tempo.h"

namespace {

struct TempoCase {
  int32_t t;
  int32_t segmentTime, pattern, row;
};

TEST(SpineTempo, SegmentBoundariesAndInsides) {
  const TempoCase cases[] = {
      {0, 0, 0, 0},
      {55, 55, 0, 0},          // 55 / 55.55469 is just below 1
      {56, 56, 0, 1},
      {7110, 7110, 0, 127},
      {7111, 7111, 1, 0},
      {14221, 14221, 1, 127},  // last ms of segment 1
      {14222, 0, 2, 0},
      {17776, 3554, 2, 63},
      {17777, 0, 3, 0},
      {17777 + 500, 500, 3, 8},  // 500 / 55.55556 rounds below 9: the decimal divisor counts
      {17777 + 1000, 1000, 3, 17},
      {21776, 3999, 3, 71},
      {21777, 4000, 4, 0},
      {25776, 7999, 4, 71},
      {25777, 0, 5, 0},
      {25777 + 3554, 3554, 5, 63},
      {25777 + 3555, 3555, 6, 0},
      {203527, 177750, 55, 0},
      {207082, 181305, 56, 0},
      {210636, 184859, 56, 63},
      {210637, 184860, 57, 0},
  };
  for (const TempoCase &c : cases) {
    TempoState s;
    TempoMapAt(s, c.t);
    EXPECT_EQ(s.SegmentTime, c.segmentTime) << "t=" << c.t;
    EXPECT_EQ(s.Pattern, c.pattern) << "t=" << c.t;
    EXPECT_EQ(s.Row, c.row) << "t=" << c.t;
    EXPECT_EQ(s.TimelineTime, c.t) << "t=" << c.t;
  }
}

TEST(SpineTempo, RowsStayInTheirRangesAndPatternsAreMonotonic) {
  const int32_t rows[4] = {128, 64, 72, 64};
  TempoState s;
  int32_t lastPattern = 0;
  for (int32_t t = 0; t <= kTimelineEnd; t++) {
    TempoMapAt(s, t);
    const int seg = t < 14222 ? 0 : t < 17777 ? 1 : t < 25777 ? 2 : 3;
    ASSERT_GE(s.Row, 0) << t;
    ASSERT_LT(s.Row, rows[seg]) << t;
    ASSERT_GE(s.Pattern, lastPattern) << t;
    ASSERT_LE(s.Pattern - lastPattern, 1) << t;
    lastPattern = s.Pattern;
  }
  EXPECT_EQ(lastPattern, 57);
  EXPECT_EQ(s.SegmentTime, kLastSegmentEnd);
}

TEST(SpineTempo, BeatIsSetInSegmentsThreeAndFourOnlyAndKeptElsewhere) {
  TempoState s;
  TempoMapAt(s, 1000);
  EXPECT_EQ(s.Beat, 0.0f);
  TempoMapAt(s, 17777);
  EXPECT_EQ(s.Beat, 1.0f);
  TempoMapAt(s, 17777 + 250);
  EXPECT_FLOAT_EQ(s.Beat, 0.25f);
  TempoMapAt(s, 25777 + 222);
  EXPECT_FLOAT_EQ(s.Beat, 0.25f);
  TempoMapAt(s, 25777 + 111);
  EXPECT_FLOAT_EQ(s.Beat, 0.5625f);
  // A seek back to segment 1 keeps the last beat.
  TempoMapAt(s, 3000);
  EXPECT_EQ(s.Pattern, 0);
  EXPECT_FLOAT_EQ(s.Beat, 0.5625f);
  TempoMapAt(s, 15000);
  EXPECT_FLOAT_EQ(s.Beat, 0.5625f);
}

TEST(SpineTempo, ReadingsStraddlingABoundaryApplyBothSegmentsAndTheLaterStands) {
  // One reading per test and per assignment, in order; the second segment's test
  // takes two readings, the third's stops after its first.
  const std::vector<int32_t> readings = {14221, 14222, 14222, 14223, 14224, 14224, 14225};
  size_t next = 0;
  TempoState s;
  TempoMapUpdate(s, [&] { return readings.at(next++); });
  EXPECT_EQ(next, readings.size());
  // Segment 1 applied first (SegmentTime 14222, pattern 2), then segment 2 with the
  // fifth reading.
  EXPECT_EQ(s.SegmentTime, 2);
  EXPECT_EQ(s.Pattern, 2);
  EXPECT_EQ(s.TimelineTime, 14224);
}

struct FlashCase {
  int32_t pattern, segmentTime, row;
  std::vector<float> params;
};

TEST(SpineTempo, WhiteFlashSchedule) {
  const FlashCase cases[] = {
      {1, 5000, 50, {}},
      {2, 1775, 31, {}},
      {2, 1776, 31, {-3.0f}},
      {2, 2000, 36, {445.0f}},
      {3, 100, 1, {}},
      {5, 0, 0, {0.0f}},
      {5, 3554, 63, {7108.0f}},
      {9, 14220 + 10, 0, {20.0f}},
      {13, 28440, 0, {0.0f}},
      {17, 42660 + 1, 0, {2.0f}},
      {18, 46215, 0, {}},
      {19, 49770, 0, {0.0f}},
      {23, 63990 + 5, 0, {10.0f}},
      {25, 71100, 0, {0.0f}},
      {28, 81765, 0, {0.0f}},
      {30, 88875, 0, {0.0f}},
      {31, 94207, 32, {}},
      {31, 94208, 32, {2.0f}},
      {36, 111982, 32, {}},
      {36, 111983, 32, {2.0f}},
      {37, 113760 + 100, 0, {200.0f}},
      {40, 126300, 31, {}},
      {40, 126300, 32, {(float)((126300 - 126202.6) * 2)}},
      {40, 126600, 38, {(float)((126600 - 126202.6) * 2), (float)((126600 - 126535.9) * 2)}},
      {40, 126900, 44,
       {(float)((126900 - 126202.6) * 2), (float)((126900 - 126535.9) * 2), (float)((126900 - 126869.2) * 2)}},
      {41, 127980, 0, {0.0f}},
      {45, 142200, 0, {0.0f}},
      {47, 149310, 0, {0.0f}},
      {49, 156420, 0, {0.0f}},
      {51, 163530, 0, {0.0f}},
      {53, 170640, 0, {0.0f}},
      {54, 174195, 0, {0.0f}},
      {55, 177750 + 7, 0, {14.0f}},
      {56, 181305, 0, {}},
      {57, 184860, 0, {}},
  };
  for (const FlashCase &c : cases) {
    float out[3] = {};
    const int32_t n = WhiteFlashParams(c.pattern, c.segmentTime, c.row, out);
    ASSERT_EQ(n, (int32_t)c.params.size()) << "pattern " << c.pattern << " at " << c.segmentTime;
    for (int32_t i = 0; i < n; i++) EXPECT_EQ(out[i], c.params[i]) << "pattern " << c.pattern << " flash " << i;
  }
}

TEST(SpineTempo, LetterboxRoundsHalvesToEvenAndCentres) {
  EXPECT_EQ(LetterboxHeightFor(800), 450);
  EXPECT_EQ(LetterboxY(600, 450), 75);
  EXPECT_EQ(LetterboxHeightFor(1024), 576);
  EXPECT_EQ(LetterboxY(576, 576), 0);
  EXPECT_EQ(LetterboxHeightFor(8), 4);      // 4.5
  EXPECT_EQ(LetterboxHeightFor(24), 14);    // 13.5
  EXPECT_EQ(LetterboxHeightFor(1000), 562); // 562.5
  EXPECT_EQ(LetterboxHeightFor(1016), 572); // 571.5
  // Wider than 16:9: the box is taller than the window and starts below it.
  EXPECT_EQ(LetterboxY(500, LetterboxHeightFor(1000)), -31);
}

TEST(SpineTempo, FrameRateTextHasTwoDecimals) {
  char text[32];
  FormatFps(60, 1002, text, sizeof text);
  EXPECT_STREQ(text, "59.88");
  FormatFps(12, 200, text, sizeof text);
  EXPECT_STREQ(text, "60.00");
  FormatFps(1, 1000, text, sizeof text);
  EXPECT_STREQ(text, "1.00");
}

}  // namespace
