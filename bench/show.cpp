// Show benchmark: every pattern 0 to 56 played in show order in a real GL context at
// 1024 x 576 and 1920 x 1080 with the show's own effects, textures, images and tables,
// frame by frame as the main loop draws them (prologue, scene, white flashes, bar
// clear, state reset, swap). Each pattern plays its first second, its frames spread
// evenly over it in show time, so every run draws the same frames. The pass starts
// cold, as a real run does: the longest frame in the first second of each scene range
// is the hitch a viewer sees there. Per pattern it prints the median and the longest
// frame; per scene range the longest frame of its first second and the median of its
// other frames.
//
// Options: "-sizes 576" or "-sizes 1080" plays one size only; "-patterns A-B" patterns
// A to B only (still cold, still in show order); "-frames N" N frames per pattern
// (25); "-before" draws every frame twice, with the show's scenes and with the cube
// cloud and attractors sent one call per vertex, alternating, and prints both
// (before and after measured under the same load); "-reference" plays the latter
// alone; "-ab N" then, warm, N interleaved rounds of both ways on the patterns of the
// two scenes, after a read-back that must find 0 differing bytes; "-realtime" show time follows the clock, one line
// per frame on stderr (time, minor page faults); "-system-malloc" leaves the C
// library's allocator at its defaults (the program keeps freed memory); "-csv" one line
// per frame on stderr (variant, size, pattern, time, ms, minor page faults).
// Run under an X display (Xvfb) with LIBGL_ALWAYS_SOFTWARE=1 for llvmpipe.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "base/file.h"
#include "base/mem.h"
#include "media/texture/TL.h"
#include "media/window/WM.h"
#include "platform/sysinfo.h"
#include "presentation/bindings.h"
#include "presentation/gl.h"
#include "presentation/glow.h"
#include "presentation/ife.h"
#include "presentation/procedural.h"
#include "presentation/scene_metaballs.h"
#include "presentation/scenes.h"
#include "presentation/show.h"
#include "presentation/tempo.h"
#include "presentation/textures.h"
#include "presentation/window.h"
#include "bench/bench_util.h"
#include "tests/presentation/scenes_immediate.h"

namespace {

constexpr int32_t kPatterns = 57, kStep = 40;

int32_t PatternStart(int32_t p) {
  static constexpr int32_t kFirst[5] = {0, 7111, 14222, 17777, 21777};
  return p < 5 ? kFirst[p] : 25777 + (p - 5) * 3555;
}

// The index of the scene range pattern belongs to.
// 0: the show's scenes; 1: the cube cloud and attractors sent one vertex at a time
// (the reference the array draws are checked against).
int variant = 0;
void DrawScene(int32_t pattern) {
  if (variant == 1 && pattern >= 28 && pattern <= 31)
    immediate::CubeCloudScene();
  else if (variant == 1 && pattern >= 37 && pattern <= 40)
    immediate::AttractorScene();
  else
    ScenesDraw(pattern);
}

int32_t RangeOf(int32_t pattern) {
  for (int32_t r = 0; r < kSceneCount; r++)
    if (pattern >= kSceneTable[r].firstPattern && pattern <= kSceneTable[r].lastPattern) return r;
  return kSceneCount - 1;
}

uint8_t *ReadWhole(const char *name, int32_t *size) {
  SYS_File_p file = SYS_FileOpen(name, 0);
  if (!file) return nullptr;
  *size = SYS_FileSize(name);
  uint8_t *block = (uint8_t *)PasMemGet(*size > 0 ? *size : 1, "bench image");
  if (block && *size > 0) SYS_FileRead(file, block, *size);
  SYS_FileClose(file);
  return block;
}

long MinorFaults(void) {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_minflt;
}

// One frame of the main loop at timeline time t: the time from the frame's first GL
// call to the end of its swap.
double Frame(wm_window_t *window, int32_t width, int32_t height, int32_t t) {
  TempoState tempo;
  TempoMapAt(tempo, t);
  SegmentTime = tempo.SegmentTime;
  TimelineTime = tempo.TimelineTime;
  Pattern = tempo.Pattern;
  Row = tempo.Row;
  Beat = tempo.Beat;
  Clock::time_point a = Clock::now();
  BeginFrame(width, height, true);
  DrawScene(Pattern);
  DrawWhiteFlashes(Pattern, SegmentTime, Row);
  ShowClearLetterboxBars();
  ShowResetState();  // ScreenWidth and ScreenHeight are the window's
  wmSwapBuffers(window);
  glFinish();
  return Ms(a, Clock::now());
}

// Frame-buffer bytes of the last frame (the back buffer, read before the next clear).
std::vector<uint8_t> ReadBack(int32_t width, int32_t height) {
  std::vector<uint8_t> rgb((size_t)width * height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  return rgb;
}

// Before and after in one process: the patterns of the two array scenes, warm, the
// reference and the array draw alternating pattern by pattern, the order swapped every
// round. First each pattern's first frame is drawn both ways and read back.
void CompareArrays(wm_window_t *window, int32_t width, int32_t height, int32_t rounds, int32_t frames, const int pair[2]) {
  static constexpr int32_t kAbPatterns[] = {28, 29, 30, 31, 37, 38, 39, 40};
  size_t differ = 0, compared = 0;
  for (int32_t p : kAbPatterns) {
    std::vector<uint8_t> picture[2];
    for (int v = 0; v < 2; v++) {
      variant = pair[v];
      // The back buffer is read after the swap: draw without swapping.
      TempoState tempo;
      TempoMapAt(tempo, PatternStart(p) + 1000);
      SegmentTime = tempo.SegmentTime;
      Pattern = tempo.Pattern;
      Row = tempo.Row;
      Beat = tempo.Beat;
      BeginFrame(width, height);
      DrawScene(Pattern);
      picture[v] = ReadBack(width, height);
    }
    compared += picture[0].size();
    for (size_t i = 0; i < picture[0].size(); i++) differ += picture[0][i] != picture[1][i];
  }
  std::printf("%dx%d: one call per vertex and the show's draws read back %zu bytes, %zu differ\n", width, height,
              compared, differ);
  std::vector<double> times[2][8];
  for (int32_t r = 0; r < rounds; r++)
    for (int32_t i = 0; i < 8; i++)
      for (int w = 0; w < 2; w++) {
        const int v = (r % 2) ^ w;
        variant = pair[v];
        for (int32_t f = 0; f < frames; f++)
          times[v][i].push_back(Frame(window, width, height, PatternStart(kAbPatterns[i]) + 1000 + kStep * f));
      }
  variant = 0;
  std::printf("%dx%d, warm, %d rounds of %d frames each way:\n", width, height, rounds, frames);
  std::printf("  pattern  one call per vertex median/worst(ms)  show's draws median/worst(ms)  median change\n");
  for (int32_t i = 0; i < 8; i++)
    std::printf("  %7d  %22.1f / %6.1f  %14.1f / %6.1f  %+11.1f%%\n", kAbPatterns[i], Median(times[0][i]),
                Worst(times[0][i]), Median(times[1][i]), Worst(times[1][i]),
                100.0 * (Median(times[1][i]) / Median(times[0][i]) - 1.0));
}

bool LoadShow(void) {
  glInitExt();
  txOptions(3, 1);
  txOptions(2, 0);
  TexInit();
  ScreenTexCreate();
  IfeBufTextures[0] = ScreenTexture;
  for (int32_t i = 0; i < 9; i++) ScenesLoadEffect(i);
  SpriteTexture = TexLoad("sprite8.tga", 3);
  CubeTexture = TexLoad("kekviz.tga", 3);
  GreetTexture = TexLoad("greet.tga", 0);
  LogoImage = ReadWhole("logo.tga", &LogoImageSize);
  GreetImage = ReadWhole("greet.tga", &GreetImageSize);
  static float field[32768];
  MetaGrid = MetaGridInit(field, 32);
  return LogoImage && GreetImage && MetaGrid && ProcBuildTables(nullptr) == 0;
}

void PrintLoad(const char *when) {
  double load[3] = {};
  if (FILE *f = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(f, "%lf %lf %lf", &load[0], &load[1], &load[2]) != 3) load[0] = -1;
    std::fclose(f);
  }
  std::printf("load average %s: %.2f %.2f %.2f (%u hardware threads)\n", when, load[0], load[1], load[2],
              std::thread::hardware_concurrency());
}

// Per pattern median / worst of a frame list; per scene range the worst frame of its
// first second and the median of its other frames.
struct Played {
  std::vector<double> times[2][kPatterns];  // by size, pattern
};

void PrintPatterns(const Played &played, int32_t first, int32_t last) {
  std::printf("pattern  scene                      1024x576 median/worst(ms)  1920x1080 median/worst(ms)\n");
  for (int32_t p = first; p <= last; p++)
    std::printf("%7d  %-25s  %12.1f / %6.1f        %12.1f / %6.1f\n", p, kSceneTable[RangeOf(p)].name,
                Median(played.times[0][p]), Worst(played.times[0][p]), Median(played.times[1][p]),
                Worst(played.times[1][p]));
}

// The range's first second (frames of its first pattern up to 1000 ms in) and the rest.
void RangeFigures(const Played &played, int s, int32_t r, int32_t first, int32_t last, int32_t step, double *head,
                  double *rest) {
  const int32_t a = std::max(first, kSceneTable[r].firstPattern), b = std::min(last, kSceneTable[r].lastPattern);
  std::vector<double> h, o;
  for (int32_t p = a; p <= b; p++)
    for (size_t f = 0; f < played.times[s][p].size(); f++)
      (p == a && (int32_t)f * step < 1000 ? h : o).push_back(played.times[s][p][f]);
  *head = Worst(h);
  *rest = o.empty() ? -1 : Median(o);  // a one-pattern range has no other frames
}

// A figure as text, "-" when there is none.
std::string Ms1(double ms) {
  if (ms < 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", ms);
  return text;
}

void PrintRanges(const Played *before, const Played &after, int32_t first, int32_t last, int32_t step) {
  if (before) {
    std::printf("scene range  scene                      first second worst(ms), before -> after      "
                "other frames median(ms), before -> after\n");
    std::printf("                                           1024x576        1920x1080               "
                "1024x576        1920x1080\n");
  } else {
    std::printf("scene range  scene                      first second worst(ms)  other frames median(ms)\n");
    std::printf("                                          1024x576  1920x1080      1024x576  1920x1080\n");
  }
  for (int32_t r = 0; r < kSceneCount; r++) {
    if (std::max(first, kSceneTable[r].firstPattern) > std::min(last, kSceneTable[r].lastPattern)) continue;
    double head[2][2], rest[2][2];  // by variant (0 before, 1 after), size
    for (int s = 0; s < 2; s++) {
      if (before) RangeFigures(*before, s, r, first, last, step, &head[0][s], &rest[0][s]);
      RangeFigures(after, s, r, first, last, step, &head[1][s], &rest[1][s]);
    }
    char label[16];
    std::snprintf(label, sizeof label, "%d-%d", kSceneTable[r].firstPattern,
                  std::min(kSceneTable[r].lastPattern, kPatterns - 1));
    if (before)
      std::printf("%11s  %-25s  %6.1f -> %6.1f  %6.1f -> %6.1f      %6s -> %6s  %6s -> %6s\n", label,
                  kSceneTable[r].name, head[0][0], head[1][0], head[0][1], head[1][1], Ms1(rest[0][0]).c_str(),
                  Ms1(rest[1][0]).c_str(), Ms1(rest[0][1]).c_str(), Ms1(rest[1][1]).c_str());
    else
      std::printf("%11s  %-25s  %8.1f  %9.1f      %8s  %9s\n", label, kSceneTable[r].name, head[1][0], head[1][1],
                  Ms1(rest[1][0]).c_str(), Ms1(rest[1][1]).c_str());
  }
}

}  // namespace

int main(int argc, char **argv) {
  bool sizes[2] = {true, true}, csv = false, realTime = false, compare = false, keepFreed = true;
  int32_t first = 0, last = kPatterns - 1, frames = 25, abRounds = 0;
  int abPair[2] = {1, 0};
  for (int i = 1; i < argc; i++) {
    if (!std::strcmp(argv[i], "-sizes") && i + 1 < argc) {
      const char *s = argv[++i];
      sizes[0] = std::strstr(s, "576") != nullptr;
      sizes[1] = std::strstr(s, "1080") != nullptr;
    } else if (!std::strcmp(argv[i], "-patterns") && i + 1 < argc) {
      if (std::sscanf(argv[++i], "%d-%d", &first, &last) != 2) return 2;
      first = std::clamp(first, 0, kPatterns - 1);
      last = std::clamp(last, first, kPatterns - 1);
    } else if (!std::strcmp(argv[i], "-frames") && i + 1 < argc) {
      frames = std::clamp(std::atoi(argv[++i]), 1, 100);
    } else if (!std::strcmp(argv[i], "-before")) {
      compare = true;
    } else if (!std::strcmp(argv[i], "-reference")) {
      variant = 1;
    } else if (!std::strcmp(argv[i], "-ab") && i + 1 < argc) {
      abRounds = std::clamp(std::atoi(argv[++i]), 1, 50);
    } else if (!std::strcmp(argv[i], "-system-malloc")) {
      keepFreed = false;
    } else if (!std::strcmp(argv[i], "-realtime")) {
      realTime = true;
    } else if (!std::strcmp(argv[i], "-csv")) {
      csv = true;
    } else {
      std::fprintf(stderr,
                   "usage: %s [-sizes 576,1080] [-patterns A-B] [-frames N] [-before] [-reference] [-ab N] "
                   "[-system-malloc] [-realtime] [-csv]\n",
                   argv[0]);
      return 2;
    }
  }
  if (keepFreed) platKeepFreedMemory();  // as the program does first thing
  // Frames spread evenly over each pattern's first second.
  const int32_t step = 1000 / frames > 0 ? 1000 / frames : 1;
  if (!StartBenchGl(KORV_BENCH_BINARY_DIR "/content")) return 1;
  PrintLoad("at start");

  const int32_t kSizes[2][2] = {{1024, 576}, {1920, 1080}};
  static Played played[2];  // 0: the show's scenes; 1: the reference (with -before)
  // The first window stays open: its context holds the textures both windows share.
  wm_window_t *windows[2] = {};
  bool loaded = false;
  const int shown = variant;
  for (int s = 0; s < 2; s++) {
    if (!sizes[s]) continue;
    const int32_t width = kSizes[s][0], height = kSizes[s][1];
    wm_window_t *window = windows[s] = ShownMainWindow(width, height);
    if (!window) return 1;
    if (!loaded) {
      if (!LoadShow()) return 1;
      loaded = true;
      std::printf("renderer: %s; LP_NUM_THREADS=%s\n", (const char *)glGetString(GL_RENDERER),
                  std::getenv("LP_NUM_THREADS") ? std::getenv("LP_NUM_THREADS") : "(unset: one per hardware thread)");
    }
    glEnable(GL_NORMALIZE);
    if (realTime) {
      // Show time follows the clock from the first pattern's start, as in the main loop.
      Clock::time_point zero = Clock::now();
      for (;;) {
        const int32_t t = PatternStart(first) + (int32_t)Ms(zero, Clock::now());
        if (t >= (last + 1 < kPatterns ? PatternStart(last + 1) : kTimelineEnd)) break;
        const long faults = MinorFaults();
        const double ms = Frame(window, width, height, t);
        std::fprintf(stderr, "rt,%dx%d,%d,%d,%.2f,%ld\n", width, height, Pattern, t, ms, MinorFaults() - faults);
      }
      continue;
    }
    for (int32_t p = first; p <= last; p++)
      for (int32_t f = 0; f < frames; f++) {
        const int32_t t = PatternStart(p) + step * f;
        // With -before every frame is drawn both ways, the order alternating; a range's
        // first frame goes to the show's scenes first, so they pay the renderer's
        // first-use work shared by both.
        const bool rangeStart = p == kSceneTable[RangeOf(p)].firstPattern && f == 0;
        for (int w = 0; w < (compare ? 2 : 1); w++) {
          const int v = compare ? (rangeStart ? w : (f % 2) ^ w) : 0;
          variant = compare ? v : shown;
          const long faults = MinorFaults();
          const double ms = Frame(window, width, height, t);
          played[v].times[s][p].push_back(ms);
          if (csv)
            std::fprintf(stderr, "%d,%dx%d,%d,%d,%.2f,%ld\n", variant, width, height, p, t, ms, MinorFaults() - faults);
        }
      }
    variant = shown;
    if (abRounds) CompareArrays(window, width, height, abRounds, 5, abPair);
  }
  for (wm_window_t *w : windows)
    if (w) wmDestroyWindow(w);
  PrintLoad("at end");
  if (realTime) return 0;

  std::printf("%d frames per pattern, %d ms of show time apart, from each pattern's start%s\n", frames, step,
              compare ? "; each frame drawn by the show's scenes (after) and by the reference (before)" : "");
  if (compare) std::printf("before (cube cloud and attractors one call per vertex):\n");
  if (compare) PrintPatterns(played[1], first, last);
  if (compare) std::printf("after (the show's scenes):\n");
  PrintPatterns(played[0], first, last);
  PrintRanges(compare ? &played[1] : nullptr, played[0], first, last, step);
  return 0;
}
