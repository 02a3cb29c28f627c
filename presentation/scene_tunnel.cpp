// Line tunnel scene (patterns 9 to 16).
//
// Everything is recomputed from SegmentTime each frame: 201 rings of 56 lines (each
// ring a 270-degree arc pair at radius 300 and 220 with its two closing spokes,
// turned by a random phase), then three streams of 2001 particles, each drawn as
// three crossed sprite quads. Values are computed in double and rounded to single
// where a coordinate is stored, so a frame depends only on its time and beat.
// Depends on: GL and GLU tables, procedural tables, main program state.
#include "presentation/scene_tunnel.h"

#include <cmath>
#include <numbers>

#include "presentation/gl.h"
#include "presentation/procedural.h"
#include "presentation/scene_view.h"
#include "presentation/show.h"

namespace {

constexpr double kPi = std::numbers::pi;

struct Stream {
  float r, g, b;
  double radius, divisor, phase;
};
constexpr Stream kStreams[3] = {
    {0.1f, 0.1f, 0.15f, 60.0, 8.0, 0.0},
    {0.15f, 0.1f, 0.1f, 70.0, 8.0, 3.09},
    {0.1f, 0.15f, 0.1f, 20.0, 20.0, 4.18},
};

void Rings(int32_t t) {
  glBegin(GL_LINES);
  for (int32_t j = -100; j <= 100; j++) {
    const TVector &v = RandomVectors[j + 100];
    const double turn = (float)((double)t * v.y / 300.0 + 2.0 * kPi * v.x);
    const float z = TunnelWrap((float)(t + 100 * j));
    // Arc angles 0, 10, ..., 270 degrees: each shared by two neighbouring pieces.
    double sx[28], cy[28];
    for (int a = 0; a < 28; a++) {
      sx[a] = std::sin(10 * a * kPi / 180.0 + turn);
      cy[a] = std::cos(10 * a * kPi / 180.0 + turn);
    }
    auto point = [&](int a, double radius) {
      glVertex3f((float)(radius * sx[a]), (float)(radius * cy[a]), z);
    };
    for (int s = 0; s < 27; s++) {
      point(s, 300.0);
      point(s + 1, 300.0);
      point(s, 220.0);
      point(s + 1, 220.0);
    }
    point(0, 300.0);
    point(0, 220.0);
    point(27, 300.0);
    point(27, 220.0);
  }
  glEnd();
}

void Quad(float x0, float y0, float z0, float x1, float y1, float z1, float x2, float y2, float z2, float x3,
          float y3, float z3) {
  glTexCoord2f(0.0f, 0.0f);
  glVertex3f(x0, y0, z0);
  glTexCoord2f(1.0f, 0.0f);
  glVertex3f(x1, y1, z1);
  glTexCoord2f(1.0f, 1.0f);
  glVertex3f(x2, y2, z2);
  glTexCoord2f(0.0f, 1.0f);
  glVertex3f(x3, y3, z3);
}

void Streams(int32_t t, float beat) {
  const float s = (float)(40.0 + 10.0 * beat);
  for (const Stream &stream : kStreams) {
    glColor3f(stream.r, stream.g, stream.b);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, (GLuint)SpriteTexture);
    glBegin(GL_QUADS);
    for (int32_t j = -1000; j <= 1000; j++) {
      const TVector &v = RandomVectors[j + 1000];
      const double a = j / stream.divisor + stream.phase;
      const float x = (float)(stream.radius * std::sin(a) + 10.0 * v.x);
      const float y = (float)(stream.radius * std::cos(a) + 10.0 * v.y);
      const float z = TunnelWrap((float)(2.0 * t + 10.0 * j + v.z));
      Quad(x - s, y - s, z, x + s, y - s, z, x + s, y + s, z, x - s, y + s, z);
      Quad(x, y - s, z - s, x, y - s, z + s, x, y + s, z + s, x, y + s, z - s);
      Quad(x - s, y, z - s, x - s, y, z + s, x + s, y, z + s, x + s, y, z - s);
    }
    glEnd();
  }
}

}  // namespace

float EaseOutTurn(float t, float start, float length) {
  float u;
  if (t < start)
    u = 0.0f;
  else if (t > start + length)
    u = 1.0f;
  else
    u = (float)(((double)t - start) / length);
  u = 1.0f - u;
  u = (float)((double)u * u * u);
  u = 1.0f - u;
  return (float)(360.0 * u);
}

// The shift is a single-precision sum, as the tunnel's formula stores it.
float TunnelWrap(float z) { return WrapDepth(z + 10000.0f, z, 20000, 10000.0); }

void LineTunnelScene(void) {
  const int32_t t = SegmentTime;
  const float beat = Beat;
  SceneCamera(85.0, 40.0, 0.0, 200.0, (float)((double)EaseOutTurn((float)t, 28440.0f, 1777.0f) + t / 50.0));
  glDisable(GL_TEXTURE_2D);
  glColor3f(0.2f, 0.2f, 0.4f);
  glBlendFunc(GL_ONE, GL_ONE);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glLineWidth((float)(2.0 + 4.0 * beat));
  Rings(t);
  Streams(t, beat);
}
