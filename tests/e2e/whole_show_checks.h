// The whole-show test's checks: for each scene range of the show, where its shots are
// taken and the bounds its look must keep. Shared by the test and by the test of the
// margins file (whole_show_margins.txt), which holds the bounds it was written with.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e/capture.h"

namespace whole_show {

constexpr int32_t kShotLate = 1500;  // a shot must be taken less than this late, ms

// What a check reads of a range's shots: the look of the most lit one, with three
// shapes of it (how much wider than tall its lit pixels spread, a strip against a
// block; how much they reach the top and bottom thirds; how many lie in the picture's
// core, where a tunnel's far end is dim), and measures over the set: the most pixels
// that changed between it and another, and how far the darkest falls below the
// brightest in its highlights (a fade darkens every pixel; a scene whose sprites
// merely shrink keeps its brightest pixels).
struct Seen : Look {
  double changed = 0;
  double faded = 1;   // the lowest channel sum the shots' brightest 500th reach over the highest
  double aspect = 0;  // spreadX / spreadY, the column spread over the row spread
  double outer = 0;   // the mean lit share of the top and bottom thirds
  double core = 0;    // share of the lit pixels in the middle fifth of the rows and of the columns
};

// One bound of a check: a measure of the range's shots.
struct Bound {
  const char *what;
  double Seen::*measure;
  double min, max;
};

struct Range {
  int32_t first, last;  // patterns, as in the scene table
  const char *scene;
  int32_t shotPattern, shotOffset;  // the first shot: pattern and ms into it
  double minChange;  // share of the pixels that change between shots at least
  std::vector<Bound> look;
  int32_t shots = 3, every = 500;  // how many shots, how many ms apart
  int32_t late = kShotLate;         // how late a shot may be; the plan leaves that much room in the range
  int32_t Span() const { return (shots - 1) * every; }
};

inline const std::vector<Range> &Ranges() {
  using L = Look;
  static const std::vector<Range> ranges = {
      // Grey sprites settling column by column from the left into the logo's strip
      // while the picture fades in: a cloud that widens to the right, half as wide again
      // as tall (the particle image's cube is taller than wide).
      {0, 0, "logo", 0, 3500, 0.02,
       {{"lit", &L::lit, 0.03, 0.4}, {"grey", &L::grey, 0.95, 1}, {"column spread", &L::spreadX, 0.125, 0.33},
        {"row spread", &L::spreadY, 0.03, 0.21}, {"aspect", &Seen::aspect, 1.1, INFINITY},
        {"widening", &L::widening, 0.13, 1}}},
      // A ripple along the logo's strip.
      {1, 1, "logo", 1, 1100, 0.002,
       {{"lit", &L::lit, 0.005, 0.05}, {"grey", &L::grey, 0.95, 1}, {"row spread", &L::spreadY, 0, 0.025},
        {"top", &L::top, 0, 0.001}, {"bottom", &L::bottom, 0, 0.001}}},
      // The sprites scattering after the flash, the left columns first: a cloud that
      // narrows to the right, its rows spread far wider than the ripple's, and moving
      // fast. The flash leaves 1.37 s of the pattern: the shots come 150 ms apart from
      // its end, so the last one may still be 1 s late.
      {2, 2, "logo", 2, 2200, 0.02,
       {{"lit", &L::lit, 0.03, 0.4}, {"grey", &L::grey, 0.95, 1}, {"bright", &L::bright, 0.03, 0.3},
        {"row spread", &L::spreadY, 0.06, 0.3}, {"widening", &L::widening, -1, -0.1}},
       3, 150, 1000},
      // Blue-white spokes, guide lines and streaks around the centre, far from mirror
      // symmetric (the cube cloud is nearly so). In patterns 3 and 4 the picture fades to
      // black within each 500-ms beat and steps its time by beats: the shots, 600 ms
      // apart, meet five phases of the beat and five pictures, so some are bright however
      // late they come, and the one of the beat's last 100 ms or the one on the next
      // beat, which shows the frame before it, nearly black. The five pictures differ in
      // colour too: the brightest shot's blue share runs from 0.55 to 0.75 with the phase
      // it met. Patterns 5 to 8 do not fade:
      // only their sprites' size follows the beat, and their brightest pixels stay bright.
      {3, 4, "star sphere", 4, 100, 0.02,
       {{"lit", &L::lit, 0.02, 0.5}, {"blue", &L::blue, 0.45, 0.92}, {"column spread", &L::spreadX, 0.11, 0.25},
        {"mirror", &L::mirror, 0.8, 3}, {"faded", &Seen::faded, 0, 0.45}},
       5, 600},
      {5, 8, "star sphere", 7, 1100, 0.02,
       {{"lit", &L::lit, 0.05, 0.5}, {"blue", &L::blue, 0.6, 0.92}, {"column spread", &L::spreadX, 0.11, 0.25},
        {"mirror", &L::mirror, 0.8, 3}, {"faded", &Seen::faded, 0.9, 1}}},
      // Blue rings and glowing red, green and white streams.
      {9, 16, "line tunnel", 12, 1100, 0.02, {{"lit", &L::lit, 0.1, 0.95}, {"warm", &L::warm, 0.02, 1}}},
      // A fine blue wireframe around the middle of the picture (the greetings' far end is
      // dim).
      {17, 24, "metaballs", 20, 1100, 0.02,
       {{"lit", &L::lit, 0.05, 0.6}, {"blue", &L::blue, 0.93, 1}, {"sharp", &L::sharp, 0.35, 1},
        {"core", &Seen::core, 0.062, 1}}},
      // A dim grey-blue wire grid.
      {25, 27, "wave field", 26, 1100, 0.02,
       {{"lit", &L::lit, 0.05, 0.5}, {"grey", &L::grey, 0.4, 0.85}, {"blue", &L::blue, 0.15, 0.6},
        {"bright", &L::bright, 0, 0.12}}},
      // A glowing blue block in the middle, nearly mirror symmetric.
      {28, 31, "cube cloud", 29, 1100, 0.02,
       {{"lit", &L::lit, 0.05, 0.5}, {"blue", &L::blue, 0.55, 0.92}, {"centre", &L::centre, 0.38, 1},
        {"column spread", &L::spreadX, 0, 0.165}, {"mirror", &L::mirror, 0, 0.8}}},
      // Grey particles forming the picture of a cube in the middle, taller than wide.
      {32, 36, "particle image", 34, 1100, 0.02,
       {{"lit", &L::lit, 0.05, 0.4}, {"grey", &L::grey, 0.95, 1}, {"sharp", &L::sharp, 0, 0.25}, {"centre", &L::centre, 0.3, 1},
        {"row spread", &L::spreadY, 0.14, 0.28}, {"column spread", &L::spreadX, 0.08, 0.17},
        {"aspect", &Seen::aspect, 0, 0.85}}},
      // Dim grey particles along bent paths across the picture, into its top and bottom
      // thirds.
      {37, 40, "attractors", 38, 1100, 0.02,
       {{"lit", &L::lit, 0.05, 0.6}, {"grey", &L::grey, 0.95, 1}, {"bright", &L::bright, 0, 0.02},
        {"column spread", &L::spreadX, 0.17, 1}, {"row spread", &L::spreadY, 0.14, 1}, {"centre", &L::centre, 0, 0.37},
        {"outer", &Seen::outer, 0.13, 1}}},
      // Blue-violet rays folded eightfold, filling the picture.
      {41, 46, "kaleidoscope and credits", 43, 1100, 0.02,
       {{"lit", &L::lit, 0.6, 1}, {"violet", &L::violet, 0.02, 1}, {"mirror", &L::mirror, 0, 0.12}}},
      // Blue text strips on a tunnel around a dark far end.
      {47, 54, "greetings tunnel", 50, 1100, 0.02,
       {{"lit", &L::lit, 0.08, 0.5}, {"blue", &L::blue, 0.85, 1}, {"sharp", &L::sharp, 0.08, 0.5},
        {"centre", &L::centre, 0, 0.16}, {"core", &Seen::core, 0, 0.062}}},
      // White lettering across the middle.
      {55, 57, "end part", 55, 1500, 0.002,
       {{"lit", &L::lit, 0.005, 0.1}, {"grey", &L::grey, 0.6, 1}, {"bright", &L::bright, 0.2, 1},
        {"top", &L::top, 0, 0.001}, {"bottom", &L::bottom, 0, 0.001}}},
  };
  return ranges;
}

inline std::string Fmt(const char *format, double a, double b = 0, double c = 0) {
  char text[200];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

inline std::string RangeName(const Range &r) {
  std::string name = std::string(r.scene).append(" ").append(std::to_string(r.first));
  if (r.first != r.last) name.append("-").append(std::to_string(r.last));
  return name;
}

// The margins file (whole_show_margins.txt) is written by the replay of kept runs. Its
// tables of own bounds and of shot lag begin each row with the bound it is about, as
// below, and follow it with what the runs showed; a test compares those rows with the
// code's, so a bound changed here and not replayed fails it.
constexpr const char *kOwnTitle = "own bounds over ";
constexpr const char *kLagTitle = "shot lag over ";

// The row of bound b of range i's check; b == look.size(): its motion.
inline std::string BoundRow(size_t i, size_t b) {
  const Range &r = Ranges()[i];
  const bool motion = b == r.look.size();
  char text[160];
  std::snprintf(text, sizeof text, "  %-30s %-14s in %7.4f to %7.4f", b ? "" : RangeName(r).c_str(),
                motion ? "changed" : r.look[b].what, motion ? r.minChange : r.look[b].min, motion ? 1.0 : r.look[b].max);
  return text;
}

// The row of range i's shot lag: how late its shots may be.
inline std::string LagRow(size_t i) {
  char text[160];
  std::snprintf(text, sizeof text, "  %-30s may be %5d ms late", RangeName(Ranges()[i]).c_str(), Ranges()[i].late);
  return text;
}

// Every bound row and every lag row of the code, in the file's order.
inline std::vector<std::string> BoundRows() {
  std::vector<std::string> rows;
  for (size_t i = 0; i < Ranges().size(); i++)
    for (size_t b = 0; b <= Ranges()[i].look.size(); b++) rows.push_back(BoundRow(i, b));
  return rows;
}
inline std::vector<std::string> LagRows() {
  std::vector<std::string> rows;
  for (size_t i = 0; i < Ranges().size(); i++) rows.push_back(LagRow(i));
  return rows;
}

}  // namespace whole_show
