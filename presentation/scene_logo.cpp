// Logo scenes (patterns 0 to 2).
//
// Every frame walks the 1024 x 64 logo pixels and sends one textured sprite quad for
// each lit one, displaced along that pixel's fixed random direction by an amount
// that depends on the pattern: settling column by column (0), a ripple running left
// to right (1), a ninth-power scatter (2). Values are held in single precision where
// the formulas store them; the casts are part of the picture.
// Depends on: GL table, procedural tables, IFE layers, main program state.
#include "presentation/scene_logo.h"

#include <cmath>
#include <cstdlib>
#include <numbers>

#include "presentation/gl.h"
#include "presentation/ife.h"
#include "presentation/scene_view.h"
#include "presentation/show.h"

namespace {

constexpr int32_t kLogoWidth = 1024, kLogoHeight = 64, kLogoHeader = 18;
constexpr int64_t kLogoBytes = kLogoHeader + 3 * kLogoWidth * kLogoHeight;

}  // namespace

void SpriteQuadCorners(const TVector &p, float s, float out[12]) {
  const float h = 16.0f * s / 9.0f;
  const float corners[12] = {p.x - s, p.y + h, p.z, p.x + s, p.y + h, p.z,
                             p.x + s, p.y - h, p.z, p.x - s, p.y - h, p.z};
  for (int i = 0; i < 12; i++) out[i] = corners[i];
}

void SpriteQuad(const TVector &p, float s) {
  float c[12];
  SpriteQuadCorners(p, s, c);
  for (int v = 0; v < 4; v++) {
    glTexCoord2f(kSpriteQuadTexCoords[2 * v], kSpriteQuadTexCoords[2 * v + 1]);
    glVertex3f(c[3 * v], c[3 * v + 1], c[3 * v + 2]);
  }
}

float LogoDisplacement(int32_t pattern, int32_t segmentTime, int32_t column) {
  switch (pattern) {
    case 0: {
      int32_t lag = 3 * column - segmentTime + 4111;
      return (float)((lag > 0 ? lag : 0) / 10.0);
    }
    case 1: {
      float c = (float)((segmentTime - 8111) / 7111.0 * 1400.0);
      float angle = (float)(std::numbers::pi / 2.0 - std::fabs(column - (double)c) / 100.0);
      if (angle <= 0.0f) angle = 0.0f;
      return (float)(20.0 * std::sin((double)angle));
    }
    case 2: {
      // u is stored; the nine-factor product is one expression, rounded once.
      const double u = (float)((segmentTime - column) / 2555.0);
      double u9 = u;
      for (int i = 1; i < 9; i++) u9 *= u;
      return (float)(1100.0 * u9);
    }
    default:
      return 0.0f;
  }
}

int LogoPixelLit(const uint8_t *image, int64_t imageSize, int32_t i, int32_t j) {
  if (!image || imageSize < kLogoBytes || i < 0 || i >= kLogoWidth || j < 0 || j >= kLogoHeight) return 0;
  return image[kLogoHeader + 3 * (kLogoWidth * j + i)] != 0;
}

void LogoScene(void) {
  const uint8_t *image = LogoImage;
  int64_t imageSize = image ? LogoImageSize : 0;
  int32_t pattern = Pattern, segmentTime = SegmentTime;

  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, (GLuint)SpriteTexture);
  ResetMatrices();
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR);
  glDisable(GL_DEPTH_TEST);
  glScalef(1.0f / 512.0f, 1.0f / 512.0f, 1.0f / 512.0f);
  glDisable(GL_LIGHTING);
  glColor3f(1.0f, 1.0f, 1.0f);
  glBegin(GL_QUADS);
  // The displacement depends on the column only: one value per column and frame.
  static float displacement[kLogoWidth];
  for (int32_t i = 0; i < kLogoWidth; i++) displacement[i] = LogoDisplacement(pattern, segmentTime, i);
  for (int32_t j = 0; j < kLogoHeight; j++)
    for (int32_t i = 0; i < kLogoWidth; i++) {
      if (!LogoPixelLit(image, imageSize, i, j)) continue;
      const TVector &v = RandomVectors[kLogoWidth * j + i];
      float d = displacement[i];
      TVector p = {(float)(i - 512 + (double)d * v.x), (float)(j - 32 + (double)d * v.y), 0.0f};
      SpriteQuad(p, 4.0f);
    }
  glEnd();
  if (pattern == 0) IfeRender(&IfeFadeoutFx, (float)(1000.0 - segmentTime / 7.0));
}

