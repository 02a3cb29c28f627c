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
// keeps to its range's bounds and by how much every other range's check refuses it,
// with the spread over the runs replayed; a kept run also keeps the load average at
// its shots (load.txt). KORV_WHOLE_SHOW_MARGINS=file writes a replay's margins there:
// whole_show_margins.txt beside this file is written so, and a unit test fails while
// its bounds differ from those in whole_show_checks.h.
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
#include "tests/e2e/whole_show_checks.h"

namespace fs = std::filesystem;
using namespace whole_show;
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

// The room values from low to high keep inside [lo, hi] in their own unit, the unit of
// their spread; infinite when neither end limits them.
double Distance(double low, double high, double lo, double hi, Reach reach) {
  double distance = INFINITY;
  if (lo > reach.low) distance = std::min(distance, low - lo);
  if (hi < reach.high) distance = std::min(distance, hi - high);
  return distance;
}

// Bound b of r's check; b == look.size(): its motion.
struct Limits {
  const char *what;
  double Seen::*measure;
  double lo, hi;
  Reach reach;
};
Limits LimitsOf(const Range &r, size_t b) {
  if (b == r.look.size()) return {"changed", &Seen::changed, r.minChange, 1, {0, 1}};
  const Bound &bound = r.look[b];
  return {bound.what, bound.measure, bound.min, bound.max, ReachOf(bound.measure)};
}

struct Margin {
  std::string what;
  double value;  // the measure
  double room;   // Room() of it; a check refuses shots when one is negative
};

// Every bound of r's check with the room s keeps to it, the motion last.
std::vector<Margin> Margins(const Range &r, const Seen &s) {
  std::vector<Margin> margins;
  for (size_t b = 0; b <= r.look.size(); b++) {
    const Limits l = LimitsOf(r, b);
    margins.push_back({l.what, s.*l.measure, Room(s.*l.measure, l.lo, l.hi, l.reach)});
  }
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
  double loadLow = INFINITY, loadHigh = -INFINITY;  // the 1-minute load average at the shots
};

// The 1-minute load average now, or NaN.
double LoadAverage() {
  double load = NAN;
  if (FILE *f = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(f, "%lf", &load) != 1) load = NAN;
    std::fclose(f);
  }
  return load;
}

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
  if (r.loadLow <= r.loadHigh) {
    char load[64];
    std::snprintf(load, sizeof load, "%4.1f to %4.1f\n", r.loadLow, r.loadHigh);
    std::ofstream(dir / "load.txt") << load;
  }
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
        if (const double load = LoadAverage(); !std::isnan(load))
          r.loadLow = std::min(r.loadLow, load), r.loadHigh = std::max(r.loadHigh, load);
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

std::string Percent(double room) { return room > 9.99 ? ">999%" : Fmt("%.0f%%", room * 100); }

// The margins of runs checked one after another: for each bound of each range's check,
// the range of values its shots showed, their spread (highest less lowest: what varies
// from run to run, and so what a flake comes from) and the least room they kept, both
// in the value's unit so the one reads against the other, the room also as a share; for
// each check and each other range, the least by which the check refused that range's
// shots, with the spread of that room over the runs.
class MarginTable {
 public:
  void Add(const Record &r, const std::vector<Seen> &seen, const std::vector<RangeShots> &measured) {
    const std::vector<Range> &ranges = Ranges();
    own_.resize(ranges.size());
    late_.resize(ranges.size(), {INFINITY, -INFINITY});
    std::vector<double> late(ranges.size(), 0);
    for (const Shot &s : r.shots)
      if (s.taken >= 0) late[s.range] = std::max(late[s.range], s.taken - s.planned);
    for (size_t i = 0; i < ranges.size(); i++)
      late_[i] = {std::min(late_[i].first, late[i]), std::max(late_[i].second, late[i])};
    cross_.resize(ranges.size(), std::vector<Cross>(ranges.size(), Cross{{"", 0, INFINITY}, -INFINITY}));
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
          Cross &c = cross_[j][i];
          if (refusal.room < c.least.room) c.least = refusal;
          c.most = std::max(c.most, refusal.room);
        }
    }
  }

  void Print(FILE *out) const {
    const std::vector<Range> &ranges = Ranges();
    std::fprintf(out, "%s%d run(s): bounds, values seen, their spread and least room, the least room as a share\n",
                 kOwnTitle, runs_);
    struct Thin {
      size_t i, b;
      double room, spread;
    };
    std::vector<Thin> thin;
    for (size_t i = 0; i < own_.size(); i++)
      for (size_t b = 0; b < own_[i].size(); b++) {
        const Own &o = own_[i][b];
        const Limits l = LimitsOf(ranges[i], b);
        const double room = Distance(o.low, o.high, l.lo, l.hi, l.reach), spread = o.high - o.low;
        std::fprintf(out, "%s  seen %8.4f to %8.4f  spread %6.4f  room %7.4f  %6s\n", BoundRow(i, b).c_str(), o.low,
                     o.high, spread, room, Percent(o.room).c_str());
        if (spread > 0 && std::isfinite(room)) thin.push_back({i, b, room, spread});
      }
    std::sort(thin.begin(), thin.end(), [](const Thin &a, const Thin &b) { return a.room * b.spread < b.room * a.spread; });
    thin.resize(std::min<size_t>(thin.size(), 10));
    std::fprintf(out, "the thinnest rooms over %d run(s): the least room over the spread, the lowest first\n", runs_);
    for (const Thin &t : thin)
      std::fprintf(out, "  %-30s %-14s room %7.4f  spread %6.4f  %5.1f spreads\n", RangeName(ranges[t.i]).c_str(),
                   LimitsOf(ranges[t.i], t.b).what, t.room, t.spread, t.room / t.spread);
    std::fprintf(out, "%s%d run(s): how late a shot may be, the latest shot, its spread\n", kLagTitle, runs_);
    for (size_t i = 0; i < late_.size(); i++)
      std::fprintf(out, "%s  latest %6.0f ms  spread %5.0f ms\n", LagRow(i).c_str(), late_[i].second,
                   late_[i].second - late_[i].first);
    std::fprintf(out, "cross-checks over %d run(s): the check refuses the other range's shots by at least, the spread of that\n",
                 runs_);
    for (size_t i = 0; i < cross_.size(); i++) {
      std::fprintf(out, "  %s:\n", RangeName(ranges[i]).c_str());
      for (size_t j = 0; j < cross_[i].size(); j++)
        if (j != i && std::isfinite(cross_[i][j].least.room))
          std::fprintf(out, "    %-30s %-14s %6s  spread %6s\n", RangeName(ranges[j]).c_str(), cross_[i][j].least.what.c_str(),
                       Percent(cross_[i][j].least.room).c_str(),
                       Percent(cross_[i][j].most - cross_[i][j].least.room).c_str());
    }
  }

 private:
  struct Own {
    double low, high, room;
  };
  struct Cross {
    Margin least;  // the run refused by the least
    double most;   // the most room of a refusal over the runs
  };
  int runs_ = 0;
  std::vector<std::vector<Own>> own_;                // [range][bound], the motion last
  std::vector<std::vector<Cross>> cross_;            // [check][shots]
  std::vector<std::pair<double, double>> late_;      // ms, the least and most of each range's latest shot
};

// The margins file, written from the replay of kept runs (KORV_WHOLE_SHOW_MARGINS=file):
// what the rooms mean, the runs with the load of each (load.txt, kept with the run), and
// the tables.
struct KeptRun {
  std::string folder;
  bool failed;  // a check refused it
};

bool WriteMargins(const fs::path &file, const std::vector<KeptRun> &runs, const MarginTable &margins) {
  FILE *out = std::fopen(file.c_str(), "w");
  if (!out) return false;
  std::fprintf(out,
               "Margins of the whole-show test's checks (tests/e2e/whole_show.cpp) over the kept runs below,\n"
               "written by its replay. Of each bound of a range's own check: the values the runs showed,\n"
               "their spread (the highest less the lowest) and their least room to the bounds (how far the\n"
               "value nearest a bound lies inside it), both in the value's own unit: a room near the spread\n"
               "or below it is a check that a run may one day fail. The thinnest follow the table.\n"
               "Last, the room taken as a share of each bound's distance to the nearer end the measure\n"
               "can reach (0 and 1 of a share, 0 and 2 of the mirror difference, 0 of the aspect), or to 0\n"
               "for the widening, the least over the bounds and runs: how tight the bounds sit, in the\n"
               "unit the cross-checks give how far a check refuses another range's shots and its spread.\n"
               "A bound at an end of its measure is no limit.\n"
               "\n"
               "To refresh (the unit test WholeShowMargins fails while the bounds here differ from the\n"
               "code's): keep a few runs, each with KORV_SHOTS_DIR=<folder> build/tests/e2e_whole_show_test,\n"
               "then replay them all with\n"
               "  KORV_WHOLE_SHOW_REPLAY=<folder>:<folder>:... KORV_WHOLE_SHOW_MARGINS=tests/e2e/whole_show_margins.txt\n"
               "  build/tests/e2e_whole_show_test\n"
               "\n"
               "Runs (Xvfb 1280x720, software GL, 8 cores; 1-minute load average, lowest and highest\n"
               "sampled at the shots):\n");
  for (size_t k = 0; k < runs.size(); k++) {
    std::string load = ReadFile(fs::path(runs[k].folder) / "load.txt");
    while (!load.empty() && (load.back() == '\n' || load.back() == ' ')) load.pop_back();
    std::fprintf(out, "  %zu  %s%s\n", k + 1, load.empty() ? "(load not kept)" : load.c_str(),
                 runs[k].failed ? "  FAILED a check" : "");
  }
  std::fprintf(out, "\n");
  margins.Print(out);
  return std::fclose(out) == 0;
}

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
// the margins are printed over all of them, and written to KORV_WHOLE_SHOW_MARGINS.
TEST_F(WholeShow, EveryRangeDrawsItsSceneFlashesComeOnTimeAndTheRunEndsWithCode0) {
  const auto folder = [](const char *name) {
    const char *value = std::getenv(name);
    return value && *value ? value : nullptr;
  };
  const char *replay = folder("KORV_WHOLE_SHOW_REPLAY");
  const char *keep = folder("KORV_SHOTS_DIR");
  const char *write = folder("KORV_WHOLE_SHOW_MARGINS");
  MarginTable margins;
  std::vector<Seen> seen;
  if (replay) {
    std::istringstream list(replay);
    std::vector<KeptRun> runs;
    for (std::string run; std::getline(list, run, ':');) {
      if (run.empty()) continue;
      SCOPED_TRACE("the run kept in " + run);
      Record r;
      if (!Load(r, run)) {
        ADD_FAILURE() << "no kept run in " << run;
        continue;
      }
      const int failures = ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
      CheckEnd(r);
      const std::vector<RangeShots> measured = CheckRanges(r, seen);
      margins.Add(r, seen, measured);
      CheckFlashes(r);
      runs.push_back({run, ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count() > failures});
    }
    EXPECT_FALSE(runs.empty()) << "no kept run in " << replay;
    margins.Print(stdout);
    if (write) {
      EXPECT_TRUE(WriteMargins(write, runs, margins)) << write;
    }
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
  margins.Print(stdout);
  CheckFlashes(r);
  if (keep) SaveContactSheetShots(r, measured, keep);
  if (keep || !HasFailure()) return;
  const fs::path kept = dir_ / "kept";
  fs::create_directories(kept);
  keep_ = Save(r, kept);
  std::printf("the run is kept in %s\n", kept.c_str());
}

}  // namespace
