// The whole show, end to end: one "-default" run of the real program on an Xvfb server
// of its own, with shots of its window at times taken from the tempo map, inside each
// range of the scene table and the end part, and a burst of shots around white flashes.
// Each range is checked for a property its scene has and a blank or frozen one lacks;
// then the run must end by itself with exit code 0.
//
// Timeline zero is the program's own: the framework timer restarts right after the
// music's player thread is started, which the log (-v) reports; the test stamps the
// moment it reads that line, and takes every shot at that stamp plus a timeline time.
// A loaded machine only makes frames longer, so shots sit well inside their ranges,
// three shots half a second apart show motion (the brightest is measured), and a flash
// is looked for in a window after its start rather than at one instant.
//
// With KORV_SHOTS_DIR set, the measured shot of each range is written there as a PPM
// file, listed with a caption in index.txt (scripts/contact-sheet.sh makes the README's
// contact sheet from them).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
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

// True when a white flash shows anywhere in [t0, t1]: its effect fades to nothing at
// a parameter of 700 (350 ms).
bool FlashNear(int32_t t0, int32_t t1) {
  for (int32_t t = t0; t <= t1; t += 25) {
    const TempoState s = TempoAt(t);
    float p[3];
    const int32_t n = WhiteFlashParams(s.Pattern, s.SegmentTime, s.Row, p);
    for (int32_t i = 0; i < n; i++)
      if (p[i] > -100 && p[i] < 720) return true;
  }
  return false;
}

// Shots of a range, ms after its first. Whole beats apart: the star sphere of patterns
// 3 and 4 fades to black within each 500-ms beat and steps its time by beats, so its
// shots share a phase early in the beat and differ from one another.
constexpr int32_t kShotOffsets[] = {0, 500, 1000};
constexpr int32_t kShotsPerRange = (int32_t)std::size(kShotOffsets);
constexpr int32_t kShotSpan = kShotOffsets[kShotsPerRange - 1];

// The shots of a range: the one with most lit pixels is measured (a frame may lag its
// shot, and some scenes fade with the beat), the others show whether it moves.
struct Shots {
  const Capture &lit;
  std::vector<const Capture *> others;
};
using Check = std::function<std::string(const Shots &)>;

struct Range {
  int32_t first, last;  // patterns, as in the scene table
  const char *name;
  int32_t shotPattern, shotOffset;  // the first shot: pattern and ms into it
  Check check;  // an empty text when the shots pass, otherwise what was wrong
};

std::string Fmt(const char *format, double a, double b = 0, double c = 0) {
  char text[200];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

// The picture in three bands of rows.
struct Bands {
  double top, middle, bottom, all;
};
Bands LitBands(const Capture &c) {
  const int h = c.height;
  return {LitShare(c, 0, h / 3), LitShare(c, h / 3, 2 * h / 3), LitShare(c, 2 * h / 3, h), LitShare(c, 0, h)};
}

// The faults of every scene: a black picture, one lit far beyond the scene's look, and
// one that stands still.
std::string Common(const Shots &s, double minLit, double maxLit, double minChange) {
  const double lit = LitShare(s.lit, 0, s.lit.height);
  if (lit < minLit || lit > maxLit) return Fmt("%.4f of the picture is lit, not %.4f to %.4f", lit, minLit, maxLit);
  double changed = 0;
  for (const Capture *c : s.others) changed = std::max(changed, ChangedShare(s.lit, *c));
  if (changed < minChange) return Fmt("at most %.4f of the pixels changed in 1 s (at least %.4f)", changed, minChange);
  return "";
}

std::string Grey(const MeanColour &m) {
  if (std::abs(m.r - m.g) < 10 && std::abs(m.b - m.r) < 20) return "";
  return Fmt("lit pixels average %.0f %.0f %.0f, not grey", m.r, m.g, m.b);
}

std::string Bluish(const MeanColour &m, double by) {
  if (std::abs(m.r - m.g) < 15 && m.b > m.r + by) return "";
  return Fmt("lit pixels average %.0f %.0f %.0f, not blue", m.r, m.g, m.b) + Fmt(" by %.0f", by);
}

// A strip across the middle (the logo's letters, the end part's title) on black.
std::string MiddleStrip(const Capture &c) {
  const Bands b = LitBands(c);
  if (b.top < 0.01 && b.bottom < 0.01 && b.middle > 0.01) return "";
  return Fmt("lit top %.4f, middle %.4f, bottom %.4f: not a strip across the middle", b.top, b.middle, b.bottom);
}

// Lit in every band: a tunnel or a field that fills the picture.
std::string Fills(const Capture &c, double each) {
  const Bands b = LitBands(c);
  if (std::min({b.top, b.middle, b.bottom}) >= each) return "";
  return Fmt("lit top %.4f, middle %.4f, bottom %.4f", b.top, b.middle, b.bottom) + Fmt(": not each %.2f", each);
}

// More lit in the middle band than above and below it: a cloud or band in the centre.
std::string Centred(const Capture &c, double factor) {
  const Bands b = LitBands(c);
  if (b.middle > factor * b.top && b.middle > factor * b.bottom) return "";
  return Fmt("lit top %.4f, middle %.4f, bottom %.4f: not centred", b.top, b.middle, b.bottom);
}

std::string All(std::initializer_list<std::string> faults) {
  for (const std::string &f : faults)
    if (!f.empty()) return f;
  return "";
}

const std::vector<Range> &Ranges() {
  static const std::vector<Range> ranges = {
      // Sprites settling into the logo while the picture fades in; a ripple along the
      // logo's strip; the sprites scattering after the flash.
      {0, 0, "logo", 0, 3500, [](const Shots &s) {
         return All({Common(s, 0.03, 0.6, 0.02), Grey(LitMean(s.lit)), Centred(s.lit, 1.3)});
       }},
      {1, 1, "logo", 1, 1100, [](const Shots &s) {
         return All({Common(s, 0.003, 0.3, 0.002), Grey(LitMean(s.lit)), MiddleStrip(s.lit)});
       }},
      {2, 2, "logo", 2, 2200, [](const Shots &s) { return All({Common(s, 0.03, 0.6, 0.02), Grey(LitMean(s.lit))}); }},
      {3, 4, "star sphere", 4, 150, [](const Shots &s) { return All({Common(s, 0.02, 0.6, 0.02), Bluish(LitMean(s.lit), 15)}); }},
      {5, 8, "star sphere", 7, 1100, [](const Shots &s) { return All({Common(s, 0.02, 0.6, 0.02), Bluish(LitMean(s.lit), 15)}); }},
      {9, 16, "line tunnel", 12, 1100, [](const Shots &s) { return All({Common(s, 0.05, 0.9, 0.02), Fills(s.lit, 0.05)}); }},
      {17, 24, "metaballs", 20, 1100, [](const Shots &s) {
         return All({Common(s, 0.03, 0.6, 0.02), Bluish(LitMean(s.lit), 50)});
       }},
      {25, 27, "wave field", 26, 1100, [](const Shots &s) {
         return All({Common(s, 0.05, 0.7, 0.02), Bluish(LitMean(s.lit), 10), Fills(s.lit, 0.03)});
       }},
      {28, 31, "cube cloud", 29, 1100, [](const Shots &s) {
         return All({Common(s, 0.03, 0.6, 0.02), Bluish(LitMean(s.lit), 15), Centred(s.lit, 2)});
       }},
      {32, 36, "particle image", 34, 1100, [](const Shots &s) { return All({Common(s, 0.03, 0.6, 0.02), Grey(LitMean(s.lit))}); }},
      {37, 40, "attractors", 38, 1100, [](const Shots &s) { return All({Common(s, 0.03, 0.7, 0.02), Grey(LitMean(s.lit))}); }},
      {41, 46, "kaleidoscope and credits", 43, 1100, [](const Shots &s) {
         const MeanColour m = LitMean(s.lit);
         if (!(m.b > m.r + 50 && m.b > m.g + 50 && m.r > m.g))
           return Fmt("lit pixels average %.0f %.0f %.0f, not blue-violet", m.r, m.g, m.b);
         return All({Common(s, 0.5, 1.0, 0.02), Fills(s.lit, 0.3)});
       }},
      {47, 54, "greetings tunnel", 50, 1100, [](const Shots &s) {
         return All({Common(s, 0.05, 0.7, 0.02), Bluish(LitMean(s.lit), 20), Fills(s.lit, 0.05)});
       }},
      {55, 57, "end part", 56, 1100, [](const Shots &s) {
         const MeanColour m = LitMean(s.lit);
         if (m.r + m.g + m.b < 450) return Fmt("lit pixels average %.0f %.0f %.0f, not white lettering", m.r, m.g, m.b);
         return All({Common(s, 0.005, 0.3, 0.002), MiddleStrip(s.lit)});
       }},
  };
  return ranges;
}

// Flashes looked for: each starts with its pattern, over a darker scene.
constexpr int32_t kFlashPatterns[] = {9, 17, 41};
constexpr int32_t kFlashBefore = 600, kFlashAfter = 900;  // burst around the start, ms

struct Shot {
  explicit Shot(int32_t at) : planned(at) {}
  int32_t planned;    // timeline ms
  double taken = -1;  // timeline ms when the grab began, -1 when none was made
  Capture picture;
};

// The shots around a flash keep only their lift (below), not their pictures.
struct Burst {
  int32_t start;  // the flash's start on the timeline
  struct Lifted {
    double taken;
    int lift;
  };
  std::vector<Lifted> shots;
};

class WholeShow : public ::testing::Test {
 protected:
  void SetUp() override {
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
    if (!dir_.empty()) fs::remove_all(dir_, ignored);
  }

  void Start() {
    // The log stays where the run starts: start in the folder it is read from.
    ASSERT_TRUE(run_.Start({.program = dir_ / "korvadyne",
                            .args = {"-default", "-v"},
                            .env = ShowEnvironment(display_),
                            .workDir = dir_,
                            .err = dir_ / "stderr.txt"}));
  }

  // Exit code, or -1 while it runs.
  int Poll() { return exit_ = run_.Poll(); }

  // Waits for the log line written just before the timer restarts; false when the run
  // ended or it did not come in time. Polled every millisecond, so the stamp is late
  // by about that, plus whatever the scheduler adds.
  bool WaitForTimelineZero(std::chrono::seconds timeout) {
    const fs::path log = dir_ / "debug.log";
    std::string seen;
    while (Clock::now() - run_.Started() < timeout && Poll() == -1) {
      struct stat st {};
      if (stat(log.c_str(), &st) == 0 && (size_t)st.st_size > seen.size()) {
        seen = ReadFile(log);
        if (seen.find("thread created: \"TSS Music Player\"") != std::string::npos) {
          zero_ = Clock::now();
          return true;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

  double Timeline(Clock::time_point t) const { return std::chrono::duration<double, std::milli>(t - zero_).count(); }
  void SleepUntilTimeline(double ms) {
    std::this_thread::sleep_until(zero_ + std::chrono::microseconds((int64_t)(ms * 1000)));
  }

  bool Grab(Display *d, Window w, Shot &shot) {
    const double t = Timeline(Clock::now());
    if (!GrabWindow(d, w, shot.picture)) return false;
    shot.taken = t;
    return true;
  }

  std::string display_;
  pid_t server_ = -1;
  int exit_ = -1;
  fs::path dir_;
  RunningProgram run_;
  Clock::time_point zero_;
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

constexpr int kFlashLift = 30;  // seen when a frame is drawn within 309 ms of the start
constexpr double kFlashMs = 350;

TEST_F(WholeShow, EveryRangeDrawsItsSceneFlashesComeOnTimeAndTheRunEndsWithCode0) {
  // The plan, from the tempo map: shots inside each range, bursts around the flashes.
  std::vector<Shot> shots;
  for (const Range &r : Ranges()) {
    const int32_t t = PatternStart(r.shotPattern) + r.shotOffset;
    ASSERT_EQ(TempoAt(t).Pattern, r.shotPattern) << r.name;
    ASSERT_EQ(TempoAt(t + kShotSpan + 100).Pattern, r.shotPattern) << r.name;
    ASSERT_FALSE(FlashNear(t - 50, t + kShotSpan + 50)) << r.name << ": a flash in the shots";
    for (int32_t offset : kShotOffsets) shots.emplace_back(t + offset);
  }
  std::vector<Burst> bursts;
  for (int32_t p : kFlashPatterns) {
    float param[3];
    const int32_t start = PatternStart(p);
    ASSERT_EQ(WhiteFlashParams(p, TempoAt(start).SegmentTime, 0, param), 1);
    ASSERT_EQ(param[0], 0.0f) << "the flash of pattern " << p << " does not start with it";
    bursts.push_back({start, {}});
  }

  Display *display = nullptr;
  for (int i = 0; i < 100 && !display; i++) {
    display = XOpenDisplay(display_.c_str());
    if (!display) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_NE(display, nullptr) << display_;
  Start();
  ASSERT_TRUE(WaitForTimelineZero(std::chrono::seconds(150))) << "no timeline start in the log; exit " << exit_ << "\n"
                                                              << ReadFile(dir_ / "stderr.txt");
  Window window = 0;
  for (int i = 0; i < 100 && !window; i++) {
    window = X11FindWindow(display, DefaultRootWindow(display), "tarvo!korvadyne", run_.Pid(), true);
    if (!window) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_NE(window, 0u) << "no window";

  size_t nextShot = 0, nextBurst = 0;
  while (Poll() == -1 && (nextShot < shots.size() || nextBurst < bursts.size())) {
    const double shotAt = nextShot < shots.size() ? shots[nextShot].planned : 1e12;
    const double burstAt = nextBurst < bursts.size() ? bursts[nextBurst].start - kFlashBefore : 1e12;
    if (shotAt <= burstAt) {
      SleepUntilTimeline(shotAt);
      Grab(display, window, shots[nextShot++]);
      continue;
    }
    Burst &burst = bursts[nextBurst++];
    SleepUntilTimeline(burstAt);
    Shot grabbed(0);
    while (Poll() == -1 && Timeline(Clock::now()) < burst.start + kFlashAfter) {
      if (Grab(display, window, grabbed)) burst.shots.push_back({grabbed.taken, Lift(grabbed.picture)});
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  XCloseDisplay(display);

  // The timeline is 210.6 s of timer time; loading and the last frame come on top, and
  // on a loaded machine llvmpipe frames grow long, so only the test's timeout bounds it.
  while (Poll() == -1 && Clock::now() - zero_ < std::chrono::seconds(360))
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(Poll(), 0) << ReadFile(dir_ / "stderr.txt");
  if (exit_ != -1) {
    const double played = Timeline(run_.Ended());
    EXPECT_GE(played, (double)kTimelineEnd - 200) << "the run ended before the timeline did";
    std::printf("whole run: %.1f s, timeline %.1f s\n", std::chrono::duration<double>(run_.Ended() - run_.Started()).count(),
                played / 1000);
  }

  const char *keep = std::getenv("KORV_SHOTS_DIR");
  // One line per range shot kept: file name, a tab, its caption.
  std::ofstream index;
  if (keep) index.open(fs::path(keep) / "index.txt");
  for (size_t i = 0; i < Ranges().size(); i++) {
    const Range &r = Ranges()[i];
    const Shot *range = &shots[(size_t)kShotsPerRange * i];
    SCOPED_TRACE(std::string(r.name) + ", patterns " + std::to_string(r.first) + "-" + std::to_string(r.last));
    const Shot *lit = &range[0];
    for (int32_t k = 0; k < kShotsPerRange; k++) {
      const Shot &s = range[k];
      ASSERT_GE(s.taken, 0) << "no shot at " << s.planned << " ms";
      // A shot taken late on a busy machine still has to be inside its range.
      const int32_t taken = (int32_t)s.taken;
      EXPECT_LE(taken - s.planned, 1500) << "shot planned at " << s.planned << " ms was taken at " << taken;
      EXPECT_GE(TempoAt(taken - 200).Pattern, r.first);
      EXPECT_LE(TempoAt(taken).Pattern, r.last);
      if (LitShare(s.picture, 0, s.picture.height) > LitShare(lit->picture, 0, lit->picture.height)) lit = &s;
    }
    Shots measured{lit->picture, {}};
    for (int32_t k = 0; k < kShotsPerRange; k++)
      if (&range[k] != lit) measured.others.push_back(&range[k].picture);
    const std::string fault = r.check(measured);
    EXPECT_EQ(fault, "") << "shot at " << lit->taken << " ms";
    const Shot &a = *lit;
    const MeanColour m = LitMean(a.picture);
    const Bands b = LitBands(a.picture);
    double changed = 0;
    for (const Capture *c : measured.others) changed = std::max(changed, ChangedShare(a.picture, *c));
    std::printf("%-26s %7.0f ms lit %.4f top %.4f middle %.4f bottom %.4f changed %.4f mean %.0f %.0f %.0f\n", r.name,
                a.taken, b.all, b.top, b.middle, b.bottom, changed, m.r, m.g, m.b);
    if (keep) {
      char name[64], caption[160];
      std::snprintf(name, sizeof name, "range-%02zu.ppm", i);
      const std::string patterns = r.first == r.last ? std::to_string(r.first)
                                                     : std::to_string(r.first) + "-" + std::to_string(r.last);
      std::snprintf(caption, sizeof caption, "%.1f s  %s (%s)", a.taken / 1000, r.name, patterns.c_str());
      if (WritePpm((fs::path(keep) / name).string(), a.picture)) index << name << '\t' << caption << '\n';
    }
  }

  // A flash shows as a frame lifted above black. None may come before its start: a
  // frame shows no later timeline than its grab. A lift tells how far into the flash
  // the frame was drawn, so the flash began no later than that much before the grab,
  // plus the time from drawing to grab, which a loaded machine stretches to a few
  // hundred ms. A flash is missed only when no frame was drawn in its first 300 ms,
  // which a busy machine may cause once: at least one must be seen.
  int seen = 0;
  for (const Burst &burst : bursts) {
    SCOPED_TRACE("flash at " + std::to_string(burst.start) + " ms");
    ASSERT_FALSE(burst.shots.empty());
    int quietBefore = 0, lifted = 0;
    double began = 1e12;  // the earliest start the lifted shots allow
    for (const Burst::Lifted &s : burst.shots) {
      const int lift = s.lift;
      if (s.taken < burst.start - 150) quietBefore = std::max(quietBefore, lift);
      else if (lift >= kFlashLift) {
        lifted++;
        began = std::min(began, s.taken - kFlashMs * (1 - lift / 255.0));
      }
    }
    EXPECT_LT(quietBefore, kFlashLift) << "a lifted picture before the flash's start";
    std::printf("flash %d: %zu shots, before %d, %d lifted", burst.start, burst.shots.size(), quietBefore, lifted);
    if (!lifted) {
      std::printf("\n");
      continue;
    }
    std::printf(", so begun by %.0f ms\n", began);
    EXPECT_LE(began, burst.start + 700) << "the flash began late";
    seen++;
  }
  EXPECT_GE(seen, 1) << "no white flash seen";
}

}  // namespace
