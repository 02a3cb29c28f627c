// View helpers shared by the scenes: see scene_view.h.
// Depends on: GL and GLU tables, main program state.
#include "presentation/scene_view.h"

#include <cmath>

#include "presentation/gl.h"
#include "presentation/show.h"

void ResetMatrices(void) {
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void SceneLookAt(double fovy, double eyeX, double eyeY, double eyeZ) {
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, (GLuint)SpriteTexture);
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(fovy, 16.0 / 9.0, 0.01, 10000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(eyeX, eyeY, eyeZ, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0);
}

void SceneCamera(double fovy, double eyeX, double eyeY, double eyeZ, float angle) {
  SceneLookAt(fovy, eyeX, eyeY, eyeZ);
  glRotatef(angle, 1.0f, 1.0f, 1.0f);
}

float WrapDepth(double shifted, float z, int32_t period, double half) {
  // Converting a value outside int64 (or a NaN) is undefined: nothing to fold there.
  if (!(std::fabs(shifted) < 9.0e18)) return z;
  const int64_t whole = (int64_t)std::trunc(shifted) % period;
  // whole - half is an integer and z's fraction is exact in double. Their double sum
  // is exact too unless the fraction is below 2^-28 of whole - half (then it is off by
  // at most half a double ulp, 2e-12 at the callers' sizes); the single nearest to
  // either is whole - half itself while that is below 2^24, so the result is the exact
  // sum rounded to single once.
  return (float)((double)whole - half + ((double)z - std::trunc((double)z)));
}
