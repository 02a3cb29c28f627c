// Wave field scene (patterns 25 to 27).
//
// Heights first (4096 of them, each rounded to single once), then one GL_LINES batch
// of three lines per node (along i, up the whisker, along j) and one GL_POINTS batch
// of the whisker tips; the last row and column appear only as line ends.
// Depends on: GL and GLU tables, view helpers, glow, main program state.
#include "presentation/scene_wave.h"

#include <cmath>

#include "presentation/gl.h"
#include "presentation/glow.h"
#include "presentation/scene_view.h"
#include "presentation/show.h"

float WaveHeights[64][64];

void WaveHeightsFill(int32_t t) {
  for (int j = 0; j < 64; j++)
    for (int i = 0; i < 64; i++)
      WaveHeights[i][j] = (float)((2.0 * std::sin(t / 400.0 + i / 10.0) + 2.0 * std::cos(t / 300.0 + j / 10.0)) *
                                  2.0 * std::sin(i * j / 200.0));
}

void WaveFieldScene(void) {
  const int32_t t = SegmentTime;
  SceneCamera(115.0, 10.0, 0.0, 0.0, (float)(t / 50.0));
  glDisable(GL_TEXTURE_2D);
  glBlendFunc(GL_ONE, GL_ONE);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glLineWidth(1.0f);
  glColor3f(0.1f, 0.1f, 0.15f);
  WaveHeightsFill(t);

  const double ox = std::cos(t / 500.0), oy = std::sin(t / 500.0);
  const float (&H)[64][64] = WaveHeights;
  glBegin(GL_LINES);
  for (int j = 0; j < 63; j++)
    for (int i = 0; i < 63; i++) {
      const float px = (float)(i - 32), py = (float)(j - 32), qx = (float)(i + 1 - 32);
      glVertex3f(px, py, H[i][j]);
      glVertex3f(qx, py, H[i + 1][j]);
      glVertex3f(qx, py, H[i + 1][j]);
      glVertex3f((float)(ox + (i - 31)), (float)(oy + (j - 32)), H[i + 1][j] + 2.0f);
      glVertex3f(px, py, H[i][j]);
      glVertex3f(px, (float)(j + 1 - 32), H[i][j + 1]);
    }
  glEnd();

  glColor3f(0.5f, 0.5f, 1.0f);
  glBegin(GL_POINTS);
  for (int j = 0; j < 63; j++)
    for (int i = 0; i < 63; i++)
      glVertex3f((float)(ox + (i - 31)), (float)(oy + (j - 32)), H[i + 1][j] + 2.0f);
  glEnd();

  DoubleGlowPass();
}
