// Greetings tunnel scene (patterns 47 to 54): see scene_greets.h.
//
// Segment j of ring i shows strip (i + j) mod 24 running along the tunnel, front to
// back in texture u, its 21 rows across the segment's 45-degree arc. No blending or
// depth call is made: the tunnel draws with the state the previous frame left. The
// greetings texture is sampled with the largest anisotropy the GL offers, asked for
// every frame; on a GL without the extension both calls are skipped, since they could
// only raise GL errors there, and so they are on Mesa's software rasterizers, whose
// anisotropic sampling takes a per-texel slow path (seconds per frame on llvmpipe).
// Depends on: GL and GLU tables, GL unit flags, procedural tables, line tunnel, glow,
// main program state.
#include "presentation/scene_greets.h"

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <numbers>

#include "presentation/gl.h"
#include "presentation/glow.h"
#include "presentation/procedural.h"
#include "presentation/scene_tunnel.h"
#include "presentation/show.h"

namespace {

struct Skin {
  int32_t stripOffset;
  double radius, angleOffset;
};
// Main skin (coloured by the beat), darker second skin, two thin quads near the axis.
constexpr Skin kSkins[4] = {{0, 40.0, 180.0}, {4, 40.0, 202.0}, {0, 1.0, 202.0}, {0, 2.0, 202.0}};

}  // namespace

bool GreetsWantAnisotropy(bool hasExtension, const char *renderer) {
  if (!hasExtension) return false;
  if (!renderer) return true;
  for (const char *software : {"llvmpipe", "softpipe", "swrast"})
    if (std::strstr(renderer, software)) return false;
  return true;
}

float GreetsExtraTurn(int32_t t) {
  const float time = (float)t;
  // The starts of patterns 51, 53, 49 and 54, in that order; each sum held in single.
  float e = EaseOutTurn(time, 163530.0f, 1777.0f);
  e = (float)((double)e + EaseOutTurn(time, 170640.0f, 1777.0f));
  e = (float)((double)e + EaseOutTurn(time, 156420.0f, 1777.0f));
  e = (float)((double)e + EaseOutTurn(time, 174195.0f, 1777.0f));
  return e;
}

void GreetsScene(void) {
  const int32_t T = SegmentTime;
  const double t = T - kGreetsStart;
  const float beat = Beat;

  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, 16.0 / 9.0, 0.1, 10000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(20.0 * std::sin(t / 10000.0), 10.0 * std::cos(t / 3000.0), 25.0, 0.0, 0.0, -100.0, 0.0, 1.0, 0.0);
  glRotatef(GreetsExtraTurn(T), 1.0f, 1.0f, 0.0f);

  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, (GLuint)SpriteTexture);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, (GLuint)GreetTexture);
  if (GreetsWantAnisotropy(GLHasAnisotropicFilter, (const char *)glGetString(GL_RENDERER))) {
    GLfloat anisotropy = 1.0f;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &anisotropy);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, anisotropy);
  }

  const float mainShade = (float)(0.2 + 0.2 * beat), mainBlue = (float)(0.4 + 0.4 * beat);
  const float colours[4][3] = {{mainShade, mainShade, mainBlue}, {0.1f, 0.1f, 0.2f}, {0.5f, 0.5f, 1.0f},
                               {0.5f, 0.5f, 1.0f}};
  glBegin(GL_QUADS);
  const float zs = (float)(t / 16.5);
  for (int32_t i = 0; i < kGreetRings; i++) {
    const double turn = (float)(t * RandomVectors[i].x / 1000.0);
    const float z0 = (float)((double)zs - 70.0 * i), z1 = (float)((double)zs - 70.0 * i - 70.0);
    for (int32_t j = 0; j < kGreetSegments; j++) {
      const int32_t n = i + j;
      for (int q = 0; q < 4; q++) {
        const Skin &skin = kSkins[q];
        const int32_t strip = (n + skin.stripOffset) % kGreetStripCount;
        const float vTop = (float)(1.0 - strip * (double)kGreetStripHeight);
        const float vBottom = (float)(1.0 - (strip + 1) * (double)kGreetStripHeight);
        const double a0 = (45.0 * n + skin.angleOffset) * std::numbers::pi / 180.0 + turn;
        const double a1 = (45.0 * (n + 1) + skin.angleOffset) * std::numbers::pi / 180.0 + turn;
        const float x0 = (float)(skin.radius * std::sin(a0)), y0 = (float)(skin.radius * std::cos(a0));
        const float x1 = (float)(skin.radius * std::sin(a1)), y1 = (float)(skin.radius * std::cos(a1));
        glColor3f(colours[q][0], colours[q][1], colours[q][2]);
        glTexCoord2f(0.0f, vTop);
        glVertex3f(x0, y0, z0);
        glTexCoord2f(0.0f, vBottom);
        glVertex3f(x1, y1, z0);
        glTexCoord2f(1.0f, vBottom);
        glVertex3f(x1, y1, z1);
        glTexCoord2f(1.0f, vTop);
        glVertex3f(x0, y0, z1);
      }
    }
  }
  glEnd();
  GlowPass();
}
