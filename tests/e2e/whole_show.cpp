// The whole show, end to end: one "-default" run of the real program on an Xvfb server
// of its own, with shots of its window at times taken from the tempo map, inside each
// range of the scene table and the end part, and bursts of shots around the white
// flashes. The run must end by itself with exit code 0, within a few seconds after the
// timeline does.
//
// Each range's check bounds measures of its scene's look (how much is lit and where,
// the hues, how sharp and how spread, how the brightness moves from shot to shot) and
// asks for motion; the bounds leave room for a shot taken late on a loaded machine.
// Every check must refuse the shots of every other range, those of the ranges drawn
// by the same scene with other parameters included, and the test proves that on its
// own shots, so a range drawing the wrong scene, or its scene's other variant, fails.
//
// Timeline zero is the program's own: the framework timer restarts right after the
// music's player thread is started, which the log (-v) reports; the test stamps the
// moment it reads that line, and takes every shot at that stamp plus a timeline time.
// A loaded machine only makes frames longer, so shots sit well inside their ranges,
// three shots half a second apart show motion (the brightest is measured), and a flash
// is judged only by frames the grabs show were drawn inside it.
//
// KORV_SHOTS_DIR=folder keeps the run there: every shot as a PPM file and record.txt
// (the times, the flash bursts and the end), and the measured shot of each range as
// range-NN.ppm, listed with a caption in index.txt (scripts/contact-sheet.sh makes the
// README's contact sheet from them). A failed run keeps the same in its scratch folder
// and names it. KORV_WHOLE_SHOW_REPLAY=folder checks a kept run instead of playing the
// show, in seconds: for work on the checks. Every run prints the room each measure
// keeps to its range's bounds and by how much every other range's check refuses it;
// whole_show_margins.txt beside this file keeps those of the runs the bounds were set
// by: each bound and cross-check keeps at least 30% of room over them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "presentation/tempo.h"
#include "tests/common/program_run.h"
#include "tests/common/x11_window.h"
#include "tests/common/xvfb.h"
#include "tests/e2e/capture.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Timeline ms at which pattern starts, from the tempo segments.
int32_t PatternStart(int32_t pattern) {
  const TempoSegment *seg = &kTempoSegments[0];
  for (const TempoSegment &s : kTempoSegments)
    if (s.firstPattern <= pattern) seg = &s;
  return seg->start + (pattern - seg->firstPattern) * seg->length;
}

TempoState TempoAt(int32_t t) {
  TempoState s;
  TempoMapAt(s, t);
  return s;
}

// The flashes' parameters at t that are inside their effect: it fades to nothing at a
// parameter of 700 (350 ms).
int32_t FlashesOn(int32_t t, int32_t below = 700) {
  const TempoState s = TempoAt(t);
  float p[3];
  const int32_t n = WhiteFlashParams(s.Pattern, s.SegmentTime, s.Row, p);
  int32_t on = 0;
  for (int32_t i = 0; i < n; i++) on += p[i] >= 0 && p[i] < below;
  return on;
}

// Timeline ms at which each flash starts.
std::vector<int32_t> FlashStarts() {
  std::vector<int32_t> starts;
  for (int32_t t = 0, before = 0; t < kTimelineEnd; t++) {
    const int32_t on = FlashesOn(t);
    if (on > before) starts.push_back(t);
    before = on;
  }
  return starts;
}

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

// Share of the lit pixels (channel sum above 90) in the middle fifth of rows and columns.
double CoreShare(const Capture &c) {
  size_t lit = 0, core = 0;
  for (int y = 0; y < c.height; y++)
    for (int x = 0; x < c.width; x++) {
      if (Capture::Sum(c.At(x, y)) <= 90) continue;
      lit++;
      core += x >= 2 * c.width / 5 && x < 3 * c.width / 5 && y >= 2 * c.height / 5 && y < 3 * c.height / 5;
    }
  return lit ? (double)core / lit : 0;
}

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

const std::vector<Range> &Ranges() {
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
      // beat, which shows the frame before it, nearly black. Patterns 5 to 8 do not fade:
      // only their sprites' size follows the beat, and their brightest pixels stay bright.
      {3, 4, "star sphere", 4, 100, 0.02,
       {{"lit", &L::lit, 0.02, 0.5}, {"blue", &L::blue, 0.6, 0.92}, {"column spread", &L::spreadX, 0.11, 0.25},
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

std::string Fmt(const char *format, double a, double b = 0, double c = 0) {
  char text[200];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

// The shots of a range: the one with most lit pixels is measured (a frame may lag its
// shot, and some scenes fade with the beat), the others show whether it moves.
struct RangeShots {
  const Capture *lit = nullptr;
  std::vector<const Capture *> others;
};

// The channel sum that the brightest 500th of the pixels reach.
int Highlight(const Capture &c) {
  size_t histogram[766] = {};
  for (uint32_t p : c.rgb) histogram[Capture::Sum(p)]++;
  size_t seen = 0;
  for (int v = 765; v > 0; v--)
    if ((seen += histogram[v]) * 500 >= c.rgb.size()) return v;
  return 0;
}

// The lowest value over the highest; 1 when all are 0.
double LowOverHigh(const std::vector<double> &v) {
  const auto [low, high] = std::minmax_element(v.begin(), v.end());
  return *high > 0 ? *low / *high : 1;
}

Seen See(const RangeShots &s) {
  Seen seen;
  static_cast<Look &>(seen) = Measure(*s.lit);
  std::vector<double> highlights{(double)Highlight(*s.lit)};
  for (const Capture *c : s.others) {
    seen.changed = std::max(seen.changed, ChangedShare(*s.lit, *c));
    highlights.push_back(Highlight(*c));
  }
  seen.faded = LowOverHigh(highlights);
  seen.aspect = seen.spreadY > 0 ? seen.spreadX / seen.spreadY : 0;
  seen.outer = (seen.top + seen.bottom) / 2;
  seen.core = CoreShare(*s.lit);
  return seen;
}

// An empty text when the shots pass the range's check, otherwise what was wrong.
std::string Check(const Range &r, const Seen &s) {
  std::string faults;
  for (const Bound &b : r.look) {
    const double v = s.*b.measure;
    if (v < b.min || v > b.max) faults += b.what + Fmt(" %.4f (%.4f to %.4f); ", v, b.min, b.max);
  }
  if (s.changed < r.minChange)
    faults += Fmt("at most %.4f of the pixels changed in 1 s (at least %.4f)", s.changed, r.minChange);
  return faults;
}

// How far the shots lie inside a range's bounds, or outside another range's: the
// distance of each measure to each bound, over the distance from that bound to the
// nearer end the measure can reach (0 and 1 of a share, 0 and 2 of the mirror
// difference, 0 of the aspect), or to 0 for the widening. So a bound of 0.05 on a
// share is passed by 0.065 with 30% of room, and one of 0.95 by 0.935: the share of
// the other pixels counts. A bound at an end of the measure is no limit.
struct Reach {
  double low, high;
  bool balanced = false;  // a signed balance, whose bounds are measured from its even 0
};
Reach ReachOf(double Seen::*measure) {
  if (measure == &Look::widening) return {-1, 1, true};
  if (measure == &Look::mirror) return {0, 2};
  if (measure == &Seen::aspect) return {0, INFINITY};
  return {0, 1};
}

// The room a value keeps inside [lo, hi] (negative outside); infinite when neither
// end limits it.
double Room(double v, double lo, double hi, Reach reach) {
  const auto scale = [&](double b) { return reach.balanced ? std::fabs(b) : std::min(b - reach.low, reach.high - b); };
  double room = INFINITY;
  if (lo > reach.low) room = std::min(room, (v - lo) / scale(lo));
  if (hi < reach.high) room = std::min(room, (hi - v) / scale(hi));
  return room;
}

struct Margin {
  std::string what;
  double value;  // the measure
  double room;   // Room() of it; a check refuses shots when one is negative
};

// Every bound of r's check with the room s keeps to it, the motion included.
std::vector<Margin> Margins(const Range &r, const Seen &s) {
  std::vector<Margin> margins;
  for (const Bound &b : r.look) {
    const double v = s.*b.measure;
    margins.push_back({b.what, v, Room(v, b.min, b.max, ReachOf(b.measure))});
  }
  margins.push_back({"changed", s.changed, Room(s.changed, r.minChange, 1, {0, 1})});
  return margins;
}

// The bound of r's check that s lies furthest outside of, with how far (as -room).
Margin Refusal(const Range &r, const Seen &s) {
  Margin worst{"none", 0, INFINITY};
  for (const Margin &m : Margins(r, s))
    if (m.room < worst.room) worst = m;
  return {worst.what, worst.value, -worst.room};
}

struct Shot {
  size_t range = 0, k = 0;  // the k-th shot of Ranges()[range]
  int32_t planned = 0;  // timeline ms
  double taken = -1;    // timeline ms when the grab began, -1 when none was made
  Capture picture{};
};

// The grabs around flashes keep only what the flash checks read, not their pictures.
struct Grab {
  double begin, end;  // timeline ms
  int lift;
  bool changed;  // a new frame since the grab before
};
struct Burst {
  std::vector<int32_t> starts;  // flashes less than a second apart share a burst
  std::vector<Grab> grabs;
};

struct Record {
  std::vector<Shot> shots;  // in the order of the ranges
  std::vector<Burst> bursts;
  int exit = -1;       // -1: still running when the test stopped waiting (and killed it)
  double ended = -1;   // timeline ms
};

// How far a picture is lifted above black: the darkest channel of the pixel a tenth of
// the way up from the darkest. A white flash adds the same amount to every pixel, 255
// at its start and nothing 350 ms later; the scenes around the flashes leave most of
// their pixels black.
int Lift(const Capture &c) {
  size_t histogram[256] = {};
  for (uint32_t p : c.rgb) histogram[std::min({Capture::R(p), Capture::G(p), Capture::B(p)})]++;
  size_t seen = 0;
  for (int v = 0; v < 256; v++)
    if ((seen += histogram[v]) * 10 > c.rgb.size()) return v;
  return 255;
}

constexpr int kFlashLift = 30;  // seen when a frame is drawn within 245 ms of the start
constexpr int32_t kBurstBefore = 300, kBurstAfter = 400;  // ms around a burst's starts
// A frame whose timeline reading is known to lie in [start + 10, start + 200] is lifted
// by about 60 in a flash (it fades faster than linearly: 145 at 106 ms, 28 at 250 ms,
// none at 345 ms), and by kFlashLift still when the stamp of timeline zero is 40 ms late.
constexpr double kInFlashFrom = 10, kInFlashTo = 200;
// Bursts grab a band of rows across the middle: a whole picture takes a loaded X
// server longer than a frame.
constexpr int kBurstRows = 48;
constexpr double kEndGrace = 5000;  // ms after the timeline's end by which the run has ended

// The plan: shots inside each range, bursts around the flashes.
Record Plan() {
  Record r;
  for (size_t i = 0; i < Ranges().size(); i++) {
    const Range &range = Ranges()[i];
    const int32_t t = PatternStart(range.shotPattern) + range.shotOffset;
    EXPECT_EQ(TempoAt(t).Pattern, range.shotPattern) << range.scene;
    EXPECT_LE(TempoAt(t + range.Span() + range.late - 1).Pattern, range.last) << range.scene << ": no room for late shots";
    for (int32_t u = t - 50; u <= t + range.Span() + 50; u += 10)
      EXPECT_EQ(FlashesOn(u, 720), 0) << range.scene << ": a flash in the shots at " << u << " ms";
    for (int32_t k = 0; k < range.shots; k++) r.shots.push_back({.range = i, .k = (size_t)k, .planned = t + k * range.every});
  }
  for (int32_t start : FlashStarts()) {
    if (r.bursts.empty() || start - r.bursts.back().starts.back() > 1000) r.bursts.push_back({});
    r.bursts.back().starts.push_back(start);
  }
  for (const Burst &b : r.bursts)
    for (const Shot &s : r.shots)
      EXPECT_TRUE(s.planned + 100 < b.starts.front() - kBurstBefore || s.planned > b.starts.back() + kBurstAfter)
          << "the burst of the flash at " << b.starts.front() << " ms meets the shot at " << s.planned << " ms";
  return r;
}

// The kept run: record.txt lists every shot (range, index, planned, taken), every burst
// with its grabs, and the end; the shots' pictures are shot-RR-K.ppm.
std::string ShotFile(const Shot &s) {
  char name[48];
  std::snprintf(name, sizeof name, "shot-%02zu-%zu.ppm", s.range, s.k);
  return name;
}

bool Save(const Record &r, const fs::path &dir) {
  std::ofstream out(dir / "record.txt");
  bool ok = true;
  for (const Shot &s : r.shots) {
    out << "shot " << s.range << ' ' << s.k << ' ' << s.planned << ' ' << s.taken << '\n';
    if (s.taken >= 0) ok = WritePpm((dir / ShotFile(s)).string(), s.picture) && ok;
  }
  for (const Burst &b : r.bursts) {
    out << "burst " << b.starts.size();
    for (int32_t s : b.starts) out << ' ' << s;
    out << '\n';
    for (const Grab &g : b.grabs) out << "grab " << g.begin << ' ' << g.end << ' ' << g.lift << ' ' << g.changed << '\n';
  }
  out << "end " << r.exit << ' ' << r.ended << '\n';
  return ok && out.good();
}

bool Load(Record &r, const fs::path &dir) {
  std::ifstream in(dir / "record.txt");
  std::string line, kind;
  bool ended = false;
  while (std::getline(in, line)) {
    std::istringstream s(line);
    s >> kind;
    if (kind == "shot") {
      Shot shot;
      s >> shot.range >> shot.k >> shot.planned >> shot.taken;
      if (!s || shot.range >= Ranges().size()) return false;
      if (shot.taken >= 0 && !ReadPpm((dir / ShotFile(shot)).string(), shot.picture)) return false;
      r.shots.push_back(std::move(shot));
    } else if (kind == "burst") {
      size_t n;
      s >> n;
      r.bursts.push_back({std::vector<int32_t>(n), {}});
      for (int32_t &start : r.bursts.back().starts) s >> start;
    } else if (kind == "grab" && !r.bursts.empty()) {
      Grab g;
      s >> g.begin >> g.end >> g.lift >> g.changed;
      r.bursts.back().grabs.push_back(g);
    } else if (kind == "end") {
      s >> r.exit >> r.ended;
      ended = true;
    } else {
      return false;
    }
    if (!s) return false;
  }
  return ended;
}

class WholeShow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char *replay = std::getenv("KORV_WHOLE_SHOW_REPLAY"); replay && *replay) return;
    const char *bin = std::getenv("KORV_BINARY_DIR");
    ASSERT_NE(bin, nullptr);
    ASSERT_TRUE(fs::exists(fs::path(bin) / "bin" / "korvadyne")) << "korvadyne not built";
    server_ = StartPrivateXvfb("1280x720x24", &display_);
    ASSERT_GT(server_, 0) << "Xvfb did not start";
    char temp[] = "/tmp/korv-whole-showXXXXXX";
    ASSERT_NE(mkdtemp(temp), nullptr);
    dir_ = temp;
    fs::copy_file(fs::path(bin) / "bin" / "korvadyne", dir_ / "korvadyne");
    fs::copy_file(fs::path(bin) / "bin" / "quv.dat", dir_ / "quv.dat");
  }
  void TearDown() override {
    run_.Kill();
    KillAndReap(server_);
    std::error_code ignored;
    if (!dir_.empty() && !keep_) fs::remove_all(dir_, ignored);
  }

  double Timeline(Clock::time_point t) const { return std::chrono::duration<double, std::milli>(t - zero_).count(); }
  void SleepUntilTimeline(double ms) {
    std::this_thread::sleep_until(zero_ + std::chrono::microseconds((int64_t)(ms * 1000)));
  }

  // Plays the show and takes the planned shots and bursts into r.
  void Play(Record &r) {
    Display *display = nullptr;
    for (int i = 0; i < 100 && !display; i++) {
      display = X11Open(display_);
      if (!display) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_NE(display, nullptr) << display_;
    // The log stays where the run starts: start in the folder it is read from.
    ASSERT_TRUE(run_.Start({.program = dir_ / "korvadyne",
                            .args = {"-default", "-v"},
                            .env = ShowEnvironment(display_),
                            .workDir = dir_,
                            .err = dir_ / "stderr.txt"}));
    const auto zero = WaitForText(run_, dir_ / "debug.log", kShowTimelineStarts, std::chrono::seconds(150));
    ASSERT_TRUE(zero) << "no timeline start in the log; exit " << run_.Poll() << "\n" << ReadFile(dir_ / "stderr.txt");
    zero_ = *zero;
    Window window = 0;
    for (int i = 0; i < 100 && !window; i++) {
      window = X11FindWindow(display, DefaultRootWindow(display), "tarvo!korvadyne", run_.Pid(), true);
      if (!window) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_NE(window, 0u) << "no window";

    // A run that ends early takes its window along: a grab then fails.
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, window, &attributes);
    const auto grab = [&](Capture &c, double &begin, int rows = 0) {
      begin = Timeline(Clock::now());
      return run_.Poll() == -1 && GrabWindow(display, window, c, rows ? (attributes.height - rows) / 2 : 0, rows);
    };
    size_t nextShot = 0, nextBurst = 0;
    while (run_.Poll() == -1 && (nextShot < r.shots.size() || nextBurst < r.bursts.size())) {
      const double shotAt = nextShot < r.shots.size() ? r.shots[nextShot].planned : 1e12;
      const double burstAt = nextBurst < r.bursts.size() ? r.bursts[nextBurst].starts.front() - kBurstBefore : 1e12;
      if (shotAt <= burstAt) {
        SleepUntilTimeline(shotAt);
        Shot &s = r.shots[nextShot++];
        double begin;
        if (grab(s.picture, begin)) s.taken = begin;
        continue;
      }
      Burst &burst = r.bursts[nextBurst++];
      SleepUntilTimeline(burstAt);
      Capture pictures[2];
      for (int k = 0; Timeline(Clock::now()) < burst.starts.back() + kBurstAfter; k ^= 1) {
        Grab g;
        if (!grab(pictures[k], g.begin, kBurstRows)) break;
        g.end = Timeline(Clock::now());
        g.lift = Lift(pictures[k]);
        g.changed = pictures[k].rgb != pictures[k ^ 1].rgb;
        burst.grabs.push_back(g);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    }
    XCloseDisplay(display);

    // The last frame and the shutdown take a few seconds at most.
    while (run_.Poll() == -1 && Timeline(Clock::now()) < (double)kTimelineEnd + kEndGrace)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (run_.Poll() != -1) {
      r.exit = run_.Poll();
      r.ended = Timeline(run_.Ended());
    }
  }

  std::string display_;
  pid_t server_ = -1;
  fs::path dir_;
  bool keep_ = false;
  RunningProgram run_;
  Clock::time_point zero_;
};

// The end: exit code 0, after the timeline's end and no more than kEndGrace after it.
void CheckEnd(const Record &r) {
  if (r.exit == -1) {
    ADD_FAILURE() << "the run was still going " << kEndGrace / 1000 << " s after the timeline's end at "
                  << (double)kTimelineEnd / 1000 << " s; killed";
    return;
  }
  std::printf("the run ended at %.3f s of the timeline with exit code %d\n", r.ended / 1000, r.exit);
  EXPECT_EQ(r.exit, 0);
  EXPECT_GE(r.ended, (double)kTimelineEnd - 200) << "the run ended at " << r.ended / 1000 << " s of the timeline, before "
                                          << (double)kTimelineEnd / 1000 << " s";
  EXPECT_LE(r.ended, (double)kTimelineEnd + kEndGrace);
}

// Each range's shots: taken, on time and inside the range, and passing its check; every
// other scene's check refuses them. Returns the shots each range measured, and what
// they showed in seen.
std::vector<RangeShots> CheckRanges(const Record &r, std::vector<Seen> &seen) {
  const std::vector<Range> &ranges = Ranges();
  std::vector<RangeShots> measured(ranges.size());
  seen.assign(ranges.size(), Seen{});
  for (size_t i = 0; i < ranges.size(); i++) {
    const Range &range = ranges[i];
    SCOPED_TRACE(std::string(range.scene) + ", patterns " + std::to_string(range.first) + "-" +
                 std::to_string(range.last));
    std::vector<const Shot *> shots;
    for (const Shot &s : r.shots)
      if (s.range == i) shots.push_back(&s);
    if (shots.empty() || (r.exit != -1 && shots.back()->planned > r.ended)) continue;  // the end says why
    const Shot *lit = nullptr;
    for (const Shot *shot : shots) {
      const Shot &s = *shot;
      if (s.taken < 0) {
        ADD_FAILURE() << "no shot at " << s.planned << " ms";
        continue;
      }
      // A shot taken late on a busy machine still has to be inside its range.
      const int32_t taken = (int32_t)s.taken;
      EXPECT_LT(taken - s.planned, range.late) << "shot planned at " << s.planned << " ms was taken at " << taken;
      EXPECT_GE(TempoAt(taken - 200).Pattern, range.first);
      EXPECT_LE(TempoAt(taken).Pattern, range.last);
      if (!lit || LitShare(s.picture, 0, s.picture.height) > LitShare(lit->picture, 0, lit->picture.height)) lit = &s;
    }
    if (!lit) continue;
    measured[i].lit = &lit->picture;
    for (const Shot *s : shots)
      if (s != lit && s->taken >= 0) measured[i].others.push_back(&s->picture);
    seen[i] = See(measured[i]);
    EXPECT_EQ(Check(range, seen[i]), "") << "shot at " << lit->taken << " ms";
    const Seen &k = seen[i];
    std::printf("%-24s %7.0f ms lit %.3f t/m/b %.3f %.3f %.3f grey %.3f blue %.3f violet %.3f warm %.3f bright %.3f "
                "sharp %.3f centre %.3f spread %.3f %.3f widening %+.3f mirror %.3f faded %.3f aspect %.3f outer %.3f core %.3f changed %.3f\n",
                range.scene, lit->taken, k.lit, k.top, k.middle, k.bottom, k.grey, k.blue, k.violet, k.warm,
                k.bright, k.sharp, k.centre, k.spreadX, k.spreadY, k.widening, k.mirror, k.faded, k.aspect, k.outer, k.core, k.changed);
  }
  // A range drawing what another range draws passes only if that range's check
  // refuses the shots of every other range, those drawn by the same scene included.
  for (size_t i = 0; i < ranges.size(); i++)
    for (size_t j = 0; j < ranges.size(); j++)
      if (i != j && measured[j].lit) {
        EXPECT_NE(Check(ranges[i], seen[j]), "")
            << "the check of the " << ranges[i].scene << " (patterns " << ranges[i].first << "-" << ranges[i].last
            << ") accepts the shots of the " << ranges[j].scene << " (patterns " << ranges[j].first << "-"
            << ranges[j].last << ")";
      }
  return measured;
}

std::string RangeName(const Range &r) {
  return std::string(r.scene) + " " + std::to_string(r.first) + (r.first == r.last ? "" : "-" + std::to_string(r.last));
}

std::string Percent(double room) { return room > 9.99 ? ">999%" : Fmt("%.0f%%", room * 100); }

// The margins of runs checked one after another: for each bound of each range's check,
// the range of values its shots showed and the least room they kept; for each check
// and each other range, the least by which the check refused that range's shots.
class MarginTable {
 public:
  void Add(const Record &r, const std::vector<Seen> &seen, const std::vector<RangeShots> &measured) {
    const std::vector<Range> &ranges = Ranges();
    own_.resize(ranges.size());
    late_.resize(ranges.size(), 0);
    for (const Shot &s : r.shots)
      if (s.taken >= 0) late_[s.range] = std::max(late_[s.range], s.taken - s.planned);
    cross_.resize(ranges.size(), std::vector<Margin>(ranges.size(), Margin{"", 0, INFINITY}));
    runs_++;
    for (size_t i = 0; i < ranges.size(); i++) {
      if (!measured[i].lit) continue;
      const std::vector<Margin> margins = Margins(ranges[i], seen[i]);
      own_[i].resize(margins.size(), {INFINITY, -INFINITY, INFINITY});
      for (size_t b = 0; b < margins.size(); b++) {
        own_[i][b].low = std::min(own_[i][b].low, margins[b].value);
        own_[i][b].high = std::max(own_[i][b].high, margins[b].value);
        own_[i][b].room = std::min(own_[i][b].room, margins[b].room);
      }
      for (size_t j = 0; j < ranges.size(); j++)
        if (j != i && measured[j].lit) {
          const Margin refusal = Refusal(ranges[j], seen[i]);
          if (refusal.room < cross_[j][i].room) cross_[j][i] = refusal;
        }
    }
  }

  void Print() const {
    const std::vector<Range> &ranges = Ranges();
    std::printf("own bounds over %d run(s): values seen, bounds, least room\n", runs_);
    for (size_t i = 0; i < own_.size(); i++)
      for (size_t b = 0; b < own_[i].size(); b++) {
        const bool motion = b == ranges[i].look.size();
        const double lo = motion ? ranges[i].minChange : ranges[i].look[b].min;
        const double hi = motion ? 1 : ranges[i].look[b].max;
        std::printf("  %-30s %-14s %8.4f to %8.4f  in %7.4f to %7.4f  %6s\n", b ? "" : RangeName(ranges[i]).c_str(),
                    motion ? "changed" : ranges[i].look[b].what, own_[i][b].low, own_[i][b].high, lo, hi,
                    Percent(own_[i][b].room).c_str());
      }
    std::printf("shot lag over %d run(s): the latest shot, how late a shot may be\n", runs_);
    for (size_t i = 0; i < late_.size(); i++)
      std::printf("  %-30s %6.0f ms of %5d ms\n", RangeName(ranges[i]).c_str(), late_[i], ranges[i].late);
    std::printf("cross-checks over %d run(s): the check refuses the other range's shots by at least\n", runs_);
    for (size_t i = 0; i < cross_.size(); i++) {
      std::printf("  %s:\n", RangeName(ranges[i]).c_str());
      for (size_t j = 0; j < cross_[i].size(); j++)
        if (j != i && std::isfinite(cross_[i][j].room))
          std::printf("    %-30s %-14s %6s\n", RangeName(ranges[j]).c_str(), cross_[i][j].what.c_str(),
                      Percent(cross_[i][j].room).c_str());
    }
  }

 private:
  struct Own {
    double low, high, room;
  };
  int runs_ = 0;
  std::vector<std::vector<Own>> own_;      // [range][bound], the motion last
  std::vector<std::vector<Margin>> cross_;  // [check][shots]
  std::vector<double> late_;                // ms, the latest shot of each range
};

// A flash shows as frames lifted above black. A grab's picture holds the newest frame
// the program presented before it; the program reads the timeline after presenting a
// frame and before presenting the next. So a frame first seen in grab b, the one
// before it first seen in grab a, read the timeline between the begin of grab a - 1
// and the end of grab b. Every frame known to have read it inside a flash's first
// 200 ms must be lifted, and those known to have read it in the 300 ms before the
// first flash of a burst must not. A busy machine may draw no frame known to be inside
// a flash (its heavy scenes take 100-300 ms a frame); a third of them must be judged.
void CheckFlashes(const Record &r) {
  int judged = 0, flashes = 0;
  for (const Burst &burst : r.bursts) {
    if (r.exit != -1 && burst.starts.back() > r.ended) continue;
    for (size_t f = 0; f < burst.starts.size(); f++) {
      const int32_t start = burst.starts[f];
      SCOPED_TRACE("the flash at " + std::to_string(start) + " ms");
      flashes++;
      int inside = 0, lifted = 0;
      const std::vector<Grab> &grabs = burst.grabs;
      size_t previous = 0;  // the grab that first showed the frame before, plus 1; 0: none
      for (size_t b = 0; b < grabs.size(); b++) {
        if (b > 0 && !grabs[b].changed) continue;
        const size_t a = previous;
        previous = b + 1;
        if (a < 2) continue;  // the frame before was there before the first grab
        const double from = grabs[a - 2].begin, to = grabs[b].end;
        const int lift = grabs[b].lift;
        if (from >= start + kInFlashFrom && to <= start + kInFlashTo) {
          inside++;
          lifted += lift >= kFlashLift;
          EXPECT_GE(lift, kFlashLift) << "a frame drawn between " << from << " and " << to << " ms is not lifted";
        }
        if (f == 0 && from >= start - kBurstBefore && to <= start - 10) {
          EXPECT_LT(lift, kFlashLift) << "a frame drawn between " << from << " and " << to
                                      << " ms, before the flash, is lifted by " << lift;
        }
      }
      std::printf("flash %6d ms: %zu grabs, %d frames inside, %d lifted\n", start, burst.grabs.size(), inside, lifted);
      judged += inside > 0;
    }
  }
  std::printf("%d of %d flashes judged\n", judged, flashes);
  EXPECT_GE(3 * judged, flashes) << "too few frames known to be drawn inside a flash";
}

// The measured shot of each range as range-NN.ppm, listed with a caption in index.txt.
void SaveContactSheetShots(const Record &r, const std::vector<RangeShots> &measured, const fs::path &folder) {
  std::ofstream index(folder / "index.txt");
  for (size_t i = 0; i < Ranges().size(); i++) {
    const Range &range = Ranges()[i];
    const auto shot = std::find_if(r.shots.begin(), r.shots.end(),
                                   [&](const Shot &s) { return &s.picture == measured[i].lit; });
    if (shot == r.shots.end()) continue;
    char name[64], caption[160];
    std::snprintf(name, sizeof name, "range-%02zu.ppm", i);
    const std::string patterns = range.first == range.last ? std::to_string(range.first)
                                                           : std::to_string(range.first) + "-" + std::to_string(range.last);
    std::snprintf(caption, sizeof caption, "%.1f s  %s (%s)", shot->taken / 1000, range.scene, patterns.c_str());
    if (WritePpm((folder / name).string(), shot->picture)) index << name << '\t' << caption << '\n';
  }
}

// KORV_WHOLE_SHOW_REPLAY may list several kept runs, split by ':': each is checked, and
// the margins are printed over all of them (whole_show_margins.txt keeps those the
// bounds were set by).
TEST_F(WholeShow, EveryRangeDrawsItsSceneFlashesComeOnTimeAndTheRunEndsWithCode0) {
  const auto folder = [](const char *name) {
    const char *value = std::getenv(name);
    return value && *value ? value : nullptr;
  };
  const char *replay = folder("KORV_WHOLE_SHOW_REPLAY");
  const char *keep = folder("KORV_SHOTS_DIR");
  MarginTable margins;
  std::vector<Seen> seen;
  if (replay) {
    std::istringstream list(replay);
    int runs = 0;
    for (std::string run; std::getline(list, run, ':');) {
      if (run.empty()) continue;
      runs++;
      SCOPED_TRACE("the run kept in " + run);
      Record r;
      if (!Load(r, run)) {
        ADD_FAILURE() << "no kept run in " << run;
        continue;
      }
      CheckEnd(r);
      const std::vector<RangeShots> measured = CheckRanges(r, seen);
      margins.Add(r, seen, measured);
      CheckFlashes(r);
    }
    EXPECT_GT(runs, 0) << "no kept run named in " << replay;
    margins.Print();
    return;
  }
  Record r = Plan();
  ASSERT_FALSE(HasFailure());
  Play(r);
  if (keep) {
    EXPECT_TRUE(Save(r, keep)) << keep;
  }
  ASSERT_FALSE(HasFatalFailure());
  CheckEnd(r);
  const std::vector<RangeShots> measured = CheckRanges(r, seen);
  margins.Add(r, seen, measured);
  margins.Print();
  CheckFlashes(r);
  if (keep) SaveContactSheetShots(r, measured, keep);
  if (keep || !HasFailure()) return;
  const fs::path kept = dir_ / "kept";
  fs::create_directories(kept);
  keep_ = Save(r, kept);
  std::printf("the run is kept in %s\n", kept.c_str());
}

}  // namespace
