// Star sphere scenes (patterns 3 to 8).
//
// Order within a frame: project the 2056 star points (the raster position query is
// the one GL round trip per point), draw the streak tunnel in the letterbox with the
// blending the previous frame left, then the sprites additively, then the joining
// and guide lines, and in patterns 3 and 4 the beat fade.
// Depends on: GL and GLU tables, procedural tables, SpriteQuad, IFE layers, main
// program state.
#include "presentation/scene_stars.h"

#include <cmath>
#include <cstdlib>
#include <numbers>

#include "presentation/gl.h"
#include "presentation/ife.h"
#include "presentation/show.h"
#include "presentation/scene_logo.h"
#include "presentation/scene_view.h"
#include "presentation/tempo.h"

TVector StarScreenPoints[2056];

namespace {

constexpr double kPi = std::numbers::pi;

void Camera(int32_t segmentTime) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(55.0, 16.0 / 9.0, 0.01, 10000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(240.0, 0.0, 240.0, 0.0, 50.0 * std::sin(segmentTime / 800.0), 0.0, 0.0, 0.0, 1.0);
}

// Two passes over the 257 x 4 spoke points; the second moves each by a random direction.
void ProjectStar(int32_t segmentTime) {
  int32_t n = 0;
  for (int pass = 0; pass < 2; pass++) {
    for (int32_t i = -128; i <= 128; i++) {
      float r = (float)(std::abs(i) / 1000.0 + 0.01);
      float a = (float)(std::cos(segmentTime / 1000.0) * 1440.0 * r + segmentTime / 7.0);
      const float fi = (float)i, diagonal = (float)(0.7 * i);
      const TVector spokes[4] = {{fi, 0, 0}, {0, fi, 0}, {0, 0, fi}, {0, diagonal, diagonal}};
      for (const TVector &point : spokes) {
        TVector q;
        RotatePoint(&q.x, &q.y, &q.z, point.x, point.y, point.z, a, a);
        if (pass == 1) {
          q.x += RandomDirections[n].x;
          q.y += RandomDirections[n].y;
          q.z += RandomDirections[n].z;
        }
        glRasterPos3f(q.x, q.y, q.z);
        GLfloat window[4] = {0, 0, 0, 0};
        glGetFloatv(GL_CURRENT_RASTER_POSITION, window);
        StarScreenPoints[n] = {window[0] / 256.0f - 1.0f, window[1] / 256.0f - 1.0f, 0.0f};
        n++;
      }
    }
  }
}

void StreakTunnel(int32_t segmentTime) {
  LetterboxHeight = LetterboxHeightFor(ScreenWidth);
  glViewport(0, LetterboxY(ScreenHeight, LetterboxHeight), ScreenWidth, LetterboxHeight);
  Camera(segmentTime);
  glColor3f(0.3f, 0.3f, 0.6f);
  glDisable(GL_TEXTURE_2D);
  glBegin(GL_LINES);
  for (int32_t i = 0; i <= 10000; i++) {
    const TVector &v = RandomVectors[i];
    float angle = (float)(2.0 * v.x * kPi);
    float x = (float)(300.0 * std::sin((double)angle)), y = (float)(300.0 * std::cos((double)angle));
    float z1 = StarWrap((float)(segmentTime + 2000.0 * v.z));
    float z2 = StarWrap((float)(2000.0 * v.z + 20.0 + segmentTime));
    if (PointDistance(x, y, z1, x, y, z2) < 100.0f) {
      glColor3f(0.0f, 0.0f, 0.0f);
      glVertex3f(x, y, z1);
      glColor3f(0.3f, 0.3f, 0.6f);
      glVertex3f(x, y, z2);
    }
  }
  glEnd();
}

TVector SpriteCentre(int32_t index, double spread) {
  const TVector &v = RandomVectors[index], &s = StarScreenPoints[index];
  return {(float)(v.x / spread + s.x), (float)(v.y / spread + s.y), 0.0f};
}

void Sprites(float beat) {
  glBindTexture(GL_TEXTURE_2D, (GLuint)SpriteTexture);
  glEnable(GL_TEXTURE_2D);
  ResetMatrices();
  glEnable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  glColor3f(1.0f, 1.0f, 1.0f);
  glScalef(1.5f, 1.5f, 1.5f);
  glBlendFunc(GL_ONE, GL_ONE);
  glBegin(GL_QUADS);
  glColor3f(0.1f, 0.1f, 0.2f);
  float size = (float)(0.02 + 0.02 * beat);
  for (int32_t i = 0; i < 1028; i++) {
    SpriteQuad(SpriteCentre(i, 400.0), size);
    SpriteQuad(SpriteCentre(1028 + i, 500.0), 0.01f);
  }
  glEnd();
}

void Lines() {
  glDisable(GL_TEXTURE_2D);
  glBegin(GL_LINES);
  for (int32_t i = 0; i < 1028; i++) {
    TVector a = SpriteCentre(i, 400.0), b = SpriteCentre(1028 + i, 500.0);
    glColor3f(0.1f, 0.1f, 0.2f);
    glVertex3f(a.x, a.y, 0.0f);
    glVertex3f(b.x, b.y, 0.0f);
    glColor3f(0.01f, 0.01f, 0.02f);
    glVertex3f(b.x, -1.0f, 0.0f);
    glVertex3f(b.x, 1.0f, 0.0f);
    glVertex3f(1.0f, b.y, 0.0f);
    glVertex3f(-1.0f, b.y, 0.0f);
  }
  glEnd();
}

}  // namespace

// The shift is summed in double here, unlike the line tunnel's.
float StarWrap(float z) { return WrapDepth((double)z + 2000.0, z, 4000, 2000.0); }

void StarSphereScene(void) {
  int32_t pattern = Pattern;
  if (pattern == 3 || pattern == 4) SegmentTime = (SegmentTime / 500) * 500;
  int32_t segmentTime = SegmentTime;

  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, (GLuint)SpriteTexture);
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  Camera(segmentTime);
  glViewport(0, 0, 512, 512);
  ProjectStar(segmentTime);
  StreakTunnel(segmentTime);
  Sprites(Beat);
  Lines();
  if (pattern == 3 || pattern == 4) IfeRender(&IfeFadeoutFx, (float)(1000.0 - 2000.0 * Beat));
}

