// Tempo map, white-flash schedule, letterbox and frame-rate text of the show.
//
// The timeline is the framework's millisecond timer mapped through four tempo
// segments onto pattern, row and beat. Every test and every assignment of the segment
// time takes its own timer reading, so a frame whose readings straddle a boundary may
// apply two segments; the later one stands. The functions here are pure in those
// readings so they can be checked against the tempo table directly.
// Depends on: nothing.
#pragma once

#include <cstdint>

struct TempoState {
  int32_t SegmentTime = 0;   // ms since the current segment began
  int32_t TimelineTime = 0;  // SegmentTime plus the segment's start
  int32_t Pattern = 0;       // 0..56, 57 in the last frame
  int32_t Row = 0;
  float Beat = 0.0f;         // set in segments 3 and 4 only; kept elsewhere
};

enum : int32_t {
  kTimelineEnd = 210637,     // ms
  kLastSegmentEnd = 184860,  // SegmentTime in segment 4 at which the show ends
};

// One frame's mapping; read() is called once per test and per assignment, in order.
template <class Reader>
void TempoMapUpdate(TempoState &s, Reader &&read);
// The same with every reading equal to t.
void TempoMapAt(TempoState &s, int32_t t);

// The white flashes the frame draws after its scene: writes up to three parameters in
// drawing order and returns their number.
int32_t WhiteFlashParams(int32_t pattern, int32_t segmentTime, int32_t row, float out[3]);

// round(width / 16 * 9), halves to even.
int32_t LetterboxHeightFor(int32_t width);
// y of the letterbox viewport: (height - letterbox) div 2, truncated toward zero.
int32_t LetterboxY(int32_t height, int32_t letterboxHeight);

// frames / ms * 1000 with two decimals, no leading spaces, into out (at least 32 bytes).
void FormatFps(int32_t frames, int32_t ms, char *out, int32_t size);

// Segment arithmetic shared by TempoMapUpdate.
struct TempoSegment {
  int32_t start, firstPattern, length;
  double rowDivisor;
  int32_t beatPeriod;  // 0: Beat untouched
};
void TempoApply(TempoState &s, const TempoSegment &seg, int32_t reading);
extern const TempoSegment kTempoSegments[4];

template <class Reader>
void TempoMapUpdate(TempoState &s, Reader &&read) {
  const TempoSegment *last = nullptr;
  if (read() < 14222) TempoApply(s, *(last = &kTempoSegments[0]), read());
  if (read() >= 14222 && read() < 17777) TempoApply(s, *(last = &kTempoSegments[1]), read());
  if (read() >= 17777 && read() < 25777) TempoApply(s, *(last = &kTempoSegments[2]), read());
  if (read() >= 25777) TempoApply(s, *(last = &kTempoSegments[3]), read());
  if (last) s.TimelineTime = s.SegmentTime + last->start;
}
