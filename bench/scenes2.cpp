// Scenes benchmark: the median and longest frame of each pattern from 32 to 54 (the
// particle image, kaleidoscope and greetings scenes with their glow and white
// flashes, drawn with the show's own effects, textures and tables) a second into the
// pattern, in show order, in a real GL context at 1024 x 576 and 1920 x 1080, one row
// per pattern. Each pattern is warmed up first: the renderer builds its state variants
// on first use, a hitch the show benchmark measures apart.
// Run under an X display (Xvfb) with LIBGL_ALWAYS_SOFTWARE=1 for llvmpipe.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench/bench_util.h"
#include "media/window/WM.h"
#include "platform/sysinfo.h"
#include "presentation/gl.h"
#include "presentation/glow.h"
#include "presentation/ife.h"
#include "presentation/procedural.h"
#include "presentation/scenes.h"
#include "presentation/show.h"
#include "presentation/tempo.h"
#include "presentation/textures.h"
#include "presentation/window.h"

namespace {

constexpr int32_t kFirstPattern = 32, kLastPattern = 54, kPatterns = kLastPattern - kFirstPattern + 1;
constexpr int kFrames = 15, kWarmUp = 5;

// A second into pattern p, which segment 4 starts at (p - 5) x 3555 ms.
int32_t PatternTime(int32_t p) { return 25777 + (p - 5) * 3555 + 1000; }

struct Figure {
  double median, worst;
};

Figure FrameTimes(wm_window_t *window, int32_t width, int32_t height, int32_t pattern) {
  std::vector<double> times;
  for (int f = -kWarmUp; f < kFrames; f++) {
    TempoState tempo;
    TempoMapAt(tempo, PatternTime(pattern) + 17 * f);
    SegmentTime = tempo.SegmentTime;
    Pattern = tempo.Pattern;
    Row = tempo.Row;
    Beat = tempo.Beat;
    Clock::time_point a = Clock::now();
    BeginFrame(width, height);
    ScenesDraw(Pattern);
    DrawWhiteFlashes(Pattern, SegmentTime, Row);
    glDisable(GL_DEPTH_TEST);
    wmSwapBuffers(window);
    glFinish();
    if (f >= 0) times.push_back(Ms(a, Clock::now()));
  }
  return {Median(times), Worst(times)};
}

// The scene's own work at pattern p: the immediate-mode entries, array draws and the frame-buffer
// copies and read-backs are stubbed, so only the loops, the spline evaluations and the
// state calls remain.
double MedianSceneCpu(int32_t pattern) {
  auto begin = pgl::glBegin;
  auto end = pgl::glEnd;
  auto vertex3 = pgl::glVertex3f;
  auto vertex2 = pgl::glVertex2f;
  auto texCoord = pgl::glTexCoord2f;
  auto colour = pgl::glColor3f;
  auto normal = pgl::glNormal3f;
  auto copy = pgl::glCopyTexImage2D;
  auto read = pgl::glReadPixels;
  auto drawArrays = pgl::glDrawArrays;
  pgl::glDrawArrays = [](GLenum, GLint, GLsizei) {};
  pgl::glBegin = [](GLenum) {};
  pgl::glEnd = [] {};
  pgl::glVertex3f = [](GLfloat, GLfloat, GLfloat) {};
  pgl::glVertex2f = [](GLfloat, GLfloat) {};
  pgl::glTexCoord2f = [](GLfloat, GLfloat) {};
  pgl::glColor3f = [](GLfloat, GLfloat, GLfloat) {};
  pgl::glNormal3f = [](GLfloat, GLfloat, GLfloat) {};
  pgl::glCopyTexImage2D = [](GLenum, GLint, GLenum, GLint, GLint, GLsizei, GLsizei, GLint) {};
  pgl::glReadPixels = [](GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void *) {};
  std::vector<double> times;
  for (int f = 0; f < kFrames; f++) {
    TempoState tempo;
    TempoMapAt(tempo, PatternTime(pattern) + 17 * f);
    SegmentTime = tempo.SegmentTime;
    Pattern = tempo.Pattern;
    Beat = tempo.Beat;
    Clock::time_point a = Clock::now();
    ScenesDraw(Pattern);
    glFinish();
    times.push_back(Ms(a, Clock::now()));
  }
  pgl::glBegin = begin;
  pgl::glEnd = end;
  pgl::glVertex3f = vertex3;
  pgl::glVertex2f = vertex2;
  pgl::glTexCoord2f = texCoord;
  pgl::glColor3f = colour;
  pgl::glNormal3f = normal;
  pgl::glCopyTexImage2D = copy;
  pgl::glReadPixels = read;
  pgl::glDrawArrays = drawArrays;
  return Median(times);
}

}  // namespace

int main() {
  platKeepFreedMemory();  // as the program does first thing
  const std::string binary = KORV_BENCH_BINARY_DIR;
  std::printf("scenes benchmark, patterns 32 to 54 (llvmpipe, %u hardware threads)\n",
              std::thread::hardware_concurrency());
  if (!StartBenchGl((binary + "/content").c_str())) return 1;
  Clock::time_point a = Clock::now();
  if (ProcBuildTables(nullptr) != 0) return 1;
  std::printf("procedural tables: %.1f ms\n", Ms(a, Clock::now()));
  std::fflush(stdout);

  const int32_t sizes[2][2] = {{1024, 576}, {1920, 1080}};
  Figure medians[2][kPatterns] = {};
  // The first window stays open: its context holds the textures both windows share.
  wm_window_t *windows[2] = {};
  for (int s = 0; s < 2; s++) {
    const int32_t width = sizes[s][0], height = sizes[s][1];
    wm_window_t *window = windows[s] = ShownMainWindow(width, height);
    if (!window) return 1;
    if (s == 0) {
      glInitExt();
      TexInit();
      ScreenTexCreate();
      IfeBufTextures[0] = ScreenTexture;
      const struct {
        ife_interface *fx;
        const char *file;
      } effects[] = {{&IfeVBlurFx, "v_blur.ife"},       {&IfeHBlurFx, "h_blur.ife"},       {&IfeFadeoutFx, "fadeout.ife"},
                     {&IfeFeedbackFx, "feedback.ife"},  {&IfeCreditsFx, "credits.ife"},    {&IfeRotateBkgFx, "rotatebkg.ife"},
                     {&IfeWhiteFlashFx, "whiteflash.ife"}};
      for (const auto &e : effects) IfeLoad(e.fx, e.file, "");
      SpriteTexture = TexLoad("sprite8.tga", 3);
      CubeTexture = TexLoad("kekviz.tga", 3);
      GreetTexture = TexLoad("greet.tga", 0);
    }
    for (int32_t p = 0; p < kPatterns; p++) {
      medians[s][p] = FrameTimes(window, width, height, kFirstPattern + p);
      std::fprintf(stderr, "%dx%d pattern %d: %.2f ms\n", width, height, kFirstPattern + p, medians[s][p].median);
    }
  }
  const int32_t cpuPatterns[] = {33, 38, 42, 48};
  double cpu[4];
  for (int i = 0; i < 4; i++) cpu[i] = MedianSceneCpu(cpuPatterns[i]);
  for (wm_window_t *w : windows) wmDestroyWindow(w);
  std::printf("median / worst frame (ms) of %d frames after %d of warm-up\n", kFrames, kWarmUp);
  std::printf("pattern  scene             timeline(ms)      1024x576     1920x1080\n");
  for (int32_t p = 0; p < kPatterns; p++) {
    const int32_t pattern = kFirstPattern + p;
    const char *scene = pattern <= 36 ? "particle image" : pattern <= 40 ? "attractors" : pattern <= 46 ? "kaleidoscope" : "greetings";
    std::printf("%7d  %-16s  %12d  %5.1f / %5.1f  %5.1f / %5.1f%s\n", pattern, scene, PatternTime(pattern),
                medians[0][p].median, medians[0][p].worst, medians[1][p].median, medians[1][p].worst,
                medians[1][p].median < 16.7 ? "" : "  (over 16.7)");
  }
  std::printf("scene loops alone (vertex calls, copies and read-backs stubbed):\n");
  for (int i = 0; i < 4; i++) std::printf("  pattern %d: %.2f ms\n", cpuPatterns[i], cpu[i]);
  return 0;
}
