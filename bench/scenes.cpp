// Scenes benchmark: the median and longest frame of each pattern 9 to 31 (line tunnel,
// metaballs, wave field, cube cloud, each with its glow) drawn from the middle of the
// pattern on, in show order, in a real GL context at 1024 x 576 and 1920 x 1080, with
// the show's blur effects and with them emptied (geometry and copies only), plus the
// CPU share of the metaball field and polygonisation alone. Each pattern is warmed up
// first (the renderer builds its state variants on first use; the show benchmark
// measures that hitch), then frames with and without the blur layers alternate, so
// both columns see the same machine load.
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
#include "presentation/scene_metaballs.h"
#include "presentation/scenes.h"
#include "presentation/show.h"
#include "presentation/tempo.h"
#include "presentation/window.h"

namespace {

struct Figure {
  double median, worst;
};

// The middle of pattern p (>= 5) on the timeline.
int32_t PatternTime(int32_t p) { return 25777 + (p - 5) * 3555 + 1777; }

// Frames of pattern from its middle on (glowOnly 1 or 2: no scene, only the copy and
// blurs of the glow, 1 or 2 rounds), appended to times.
void Frames(wm_window_t *window, int32_t width, int32_t height, int32_t pattern, int frames, std::vector<double> &times,
            int glowOnly = 0) {
  TempoState tempo;
  TempoMapAt(tempo, PatternTime(pattern));
  for (int f = 0; f < frames; f++) {
    SegmentTime = tempo.SegmentTime + 16 * f;
    Pattern = tempo.Pattern;
    Beat = tempo.Beat;
    Clock::time_point a = Clock::now();
    BeginFrame(width, height);
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
}

Figure Figures(const std::vector<double> &times) { return {Median(times), Worst(times)}; }

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
  platKeepFreedMemory();  // as the program does first thing
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

  if (!StartBenchGl(KORV_BENCH_SOURCE_DIR "/data")) return 1;
  const int32_t sizes[2][2] = {{1024, 576}, {1920, 1080}};
  Figure full[2][32] = {}, bare[2][32] = {}, glow[2][3] = {};
  for (int s = 0; s < 2; s++) {
    const int32_t width = sizes[s][0], height = sizes[s][1];
    wm_window_t *window = ShownWindow(width, height);
    if (!window) return 1;
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
    const ife_interface vblur = IfeVBlurFx, hblur = IfeHBlurFx;
    for (int32_t p = 9; p <= 31; p++) {
      std::vector<double> warm, with, without;
      Frames(window, width, height, p, 5, warm);
      // With the blurs, then with them emptied, three times over.
      for (int round = 0; round < 3; round++) {
        Frames(window, width, height, p, 10, with);
        IfeVBlurFx = {};
        IfeHBlurFx = {};
        Frames(window, width, height, p, 10, without);
        IfeVBlurFx = vblur;
        IfeHBlurFx = hblur;
      }
      full[s][p] = Figures(with);
      bare[s][p] = Figures(without);
    }
    for (int g = 1; g <= 2; g++) {
      std::vector<double> warm, times;
      Frames(window, width, height, g == 1 ? 20 : 25, 5, warm, g);
      Frames(window, width, height, g == 1 ? 20 : 25, 30, times, g);
      glow[s][g] = Figures(times);
    }
    wmDestroyWindow(window);
  }
  std::printf("glow pass alone (median/worst ms): %.2f / %.2f at 1024x576, %.2f / %.2f at 1920x1080; double glow: "
              "%.2f / %.2f, %.2f / %.2f\n",
              glow[0][1].median, glow[0][1].worst, glow[1][1].median, glow[1][1].worst, glow[0][2].median,
              glow[0][2].worst, glow[1][2].median, glow[1][2].worst);
  std::printf("median / worst frame (ms) of 30 frames after 5 of warm-up; \"without blur layers\": the same frames "
              "with both blur effects emptied (the line tunnel has no glow: both columns time the same frame)\n");
  std::printf("pattern  scene        time(ms)     1024x576     1920x1080   without blur layers 1024x576 / 1920x1080\n");
  for (int32_t p = 9; p <= 31; p++) {
    const char *scene = p <= 16 ? "line tunnel" : p <= 24 ? "metaballs" : p <= 27 ? "wave field" : "cube cloud";
    std::printf("%7d  %-11s  %8d  %5.1f / %5.1f  %5.1f / %5.1f   %5.1f / %5.1f   %5.1f / %5.1f%s\n", p, scene,
                PatternTime(p), full[0][p].median, full[0][p].worst, full[1][p].median, full[1][p].worst,
                bare[0][p].median, bare[0][p].worst, bare[1][p].median, bare[1][p].worst,
                full[1][p].median < 16.7 ? "" : "  (over 16.7)");
  }
  return 0;
}
