// Scenes benchmark: the median frame time of each pattern 9 to 31 (line tunnel,
// metaballs, wave field, cube cloud, each with its glow) drawn at a time inside the
// pattern in a real GL context at 1024 x 576 and 1920 x 1080, with the show's blur
// effects, plus the CPU share of the metaball field and polygonisation alone.
// Run under an X display (Xvfb) with LIBGL_ALWAYS_SOFTWARE=1 for llvmpipe.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "media/window/WM.h"
#include "presentation/gl.h"
#include "presentation/glow.h"
#include "presentation/ife.h"
#include "presentation/procedural.h"
#include "presentation/scene_metaballs.h"
#include "presentation/scenes.h"
#include "presentation/show.h"
#include "presentation/tempo.h"
#include "presentation/window.h"

namespace {

using Clock = std::chrono::steady_clock;
double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The middle of pattern p (>= 5) on the timeline.
int32_t PatternTime(int32_t p) { return 25777 + (p - 5) * 3555 + 1777; }

// One frame of pattern (0: no scene, only the copy and blurs of glow, 1 or 2 rounds).
double MedianFrame(wm_window_t *window, int32_t width, int32_t height, int32_t pattern, int frames, int glowOnly = 0) {
  TempoState tempo;
  TempoMapAt(tempo, PatternTime(pattern));
  std::vector<double> times;
  for (int f = 0; f < frames; f++) {
    SegmentTime = tempo.SegmentTime + 16 * f;
    Pattern = tempo.Pattern;
    Beat = tempo.Beat;
    Clock::time_point a = Clock::now();
    glViewport(0, 0, width, height);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    LetterboxHeight = LetterboxHeightFor(width);
    glViewport(0, LetterboxY(height, LetterboxHeight), width, LetterboxHeight);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    if (glowOnly == 1)
      GlowPass();
    else if (glowOnly == 2)
      DoubleGlowPass();
    else
      ScenesDraw(Pattern);
    wmSwapBuffers(window);
    glFinish();
    times.push_back(Ms(a, Clock::now()));
  }
  return Median(times);
}

// A white sprite in place of "sprite8.tga": the cost does not depend on its texels.
int32_t WhiteSprite() {
  std::vector<uint8_t> white(64 * 64 * 4, 255);
  GLuint id = 0;
  glGenTextures(1, &id);
  glBindTexture(GL_TEXTURE_2D, id);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, white.data());
  return (int32_t)id;
}

}  // namespace

int main() {
  std::printf("scenes benchmark (llvmpipe, %u hardware threads)\n", std::thread::hardware_concurrency());
  if (ProcBuildTables(nullptr) != 0) return 1;
  static float field[32768];
  MetaGrid = MetaGridInit(field, 32);
  if (!MetaGrid) return 1;

  // The CPU side of the metaballs alone: balls, field, polygonisation into no-op GL.
  {
    auto vertex = pgl::glVertex3fv;
    auto normal = pgl::glNormal3fv;
    pgl::glVertex3fv = [](const GLfloat *) {};
    pgl::glNormal3fv = [](const GLfloat *) {};
    std::vector<double> fill, draw;
    for (int f = 0; f < 60; f++) {
      int32_t t = PatternTime(17 + f % 8) - 25777 + f;
      Clock::time_point a = Clock::now();
      MetaBallsPlace(17 + f % 8, t);
      MetaFieldFill(MetaGrid, 0.5f);
      Clock::time_point b = Clock::now();
      MetaGridDraw(MetaGrid);
      draw.push_back(Ms(b, Clock::now()));
      fill.push_back(Ms(a, b));
    }
    pgl::glVertex3fv = vertex;
    pgl::glNormal3fv = normal;
    std::printf("metaballs CPU: field %.2f ms, polygonise (no GL) %.2f ms (medians)\n", Median(fill), Median(draw));
  }

  if (chdir(KORV_BENCH_SOURCE_DIR "/data") != 0 || wmInit() != 0) return 1;
  InitGLUnit();
  InitGLUUnit();
  const int32_t sizes[2][2] = {{1024, 576}, {1920, 1080}};
  double medians[2][32] = {}, bare[2][32] = {}, glow[2][3] = {};
  for (int s = 0; s < 2; s++) {
    const int32_t width = sizes[s][0], height = sizes[s][1];
    wm_window_t *window = wmCreateWindow(0, 0, width, height);
    if (!window || wmShowWindow(window) != 0) return 1;
    MainWindow = window;
    ScreenWidth = width;
    ScreenHeight = height;
    if (s == 0) {
      glInitExt();
      LetterboxHeight = 0;
      ScreenTexCreate();
      IfeBufTextures[0] = ScreenTexture;
      IfeLoad(&IfeVBlurFx, "v_blur.ife", "");
      IfeLoad(&IfeHBlurFx, "h_blur.ife", "");
    }
    SpriteTexture = WhiteSprite();
    for (int32_t p = 9; p <= 31; p++) medians[s][p] = MedianFrame(window, width, height, p, 30);
    glow[s][1] = MedianFrame(window, width, height, 20, 30, 1);
    glow[s][2] = MedianFrame(window, width, height, 25, 30, 2);
    // The same scenes with the blur effects emptied: geometry and copies only.
    const ife_interface vblur = IfeVBlurFx, hblur = IfeHBlurFx;
    IfeVBlurFx = {};
    IfeHBlurFx = {};
    for (int32_t p = 9; p <= 31; p++) bare[s][p] = MedianFrame(window, width, height, p, 30);
    IfeVBlurFx = vblur;
    IfeHBlurFx = hblur;
    wmDestroyWindow(window);
  }
  std::printf("glow pass alone: %.2f ms at 1024x576, %.2f ms at 1920x1080; double glow: %.2f, %.2f ms\n", glow[0][1],
              glow[1][1], glow[0][2], glow[1][2]);
  std::printf("pattern  scene        time(ms)  1024x576(ms)  1920x1080(ms)  without blur layers(ms)\n");
  for (int32_t p = 9; p <= 31; p++) {
    const char *scene = p <= 16 ? "line tunnel" : p <= 24 ? "metaballs" : p <= 27 ? "wave field" : "cube cloud";
    std::printf("%7d  %-11s  %8d  %12.2f  %13.2f  %8.2f / %8.2f%s\n", p, scene, PatternTime(p), medians[0][p],
                medians[1][p], bare[0][p], bare[1][p], medians[1][p] < 16.7 ? "" : "  (over 16.7)");
  }
  return 0;
}
