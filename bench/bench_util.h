// Pieces the GL benchmarks share: frame timing, the median and longest of a frame
// list, the shown window, and the start and white flashes of a frame as the main loop
// draws them.
// Depends on: media/window, presentation (GL units, ife, show globals, tempo, main window).
#pragma once

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "media/window/WM.h"
#include "presentation/gl.h"
#include "presentation/ife.h"
#include "presentation/show.h"
#include "presentation/tempo.h"
#include "presentation/window.h"

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

// The middle element (the upper one of an even count); 0 for none.
inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}
inline double Worst(const std::vector<double> &v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

// Moves into folder, where the content is, and starts the window module and the GL
// units; false when the folder or the module is refused.
inline bool StartBenchGl(const char *folder) {
  if (chdir(folder) != 0 || wmInit() != 0) return false;
  InitGLUnit();
  InitGLUUnit();
  return true;
}

// A shown width x height window, or null.
inline wm_window_t *ShownWindow(int32_t width, int32_t height) {
  wm_window_t *window = wmCreateWindow(0, 0, width, height);
  if (!window || wmShowWindow(window) != 0) return nullptr;
  return window;
}

// A shown width x height window as the program's main window, with the screen size and
// the letterbox set to it; null when refused.
inline wm_window_t *ShownMainWindow(int32_t width, int32_t height) {
  wm_window_t *window = ShownWindow(width, height);
  if (!window) return nullptr;
  MainWindow = window;
  ScreenWidth = width;
  ScreenHeight = height;
  LetterboxHeight = LetterboxHeightFor(width);
  return window;
}

// The start of a frame: the whole window cleared, then the 16:9 letterbox as the
// viewport (cleared again where the main loop does), lighting and texturing off, white.
inline void BeginFrame(int32_t width, int32_t height, bool clearLetterbox = false) {
  glViewport(0, 0, width, height);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  LetterboxHeight = LetterboxHeightFor(width);
  glViewport(0, LetterboxY(height, LetterboxHeight), width, LetterboxHeight);
  if (clearLetterbox) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  glColor3f(1, 1, 1);
}

inline void DrawWhiteFlashes(int32_t pattern, int32_t segmentTime, int32_t row) {
  float flash[3];
  for (int32_t i = 0, n = WhiteFlashParams(pattern, segmentTime, row, flash); i < n; i++)
    IfeRender(&IfeWhiteFlashFx, flash[i]);
}
