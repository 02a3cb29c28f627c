// The cube cloud and attractor scenes as they were first written, one glVertex call
// per vertex inside one glBegin, kept as the reference that the array paths of the
// show are compared against: call for call through the recording table, pixel for
// pixel on llvmpipe, and frame time for frame time in the show benchmark.
// Depends on: the scenes' public helpers (CubeCorner, SceneCamera, SpriteQuad,
// SplineEval), glow, main program state.
#pragma once

#include <cstdint>

#include "presentation/gl.h"
#include "presentation/glow.h"
#include "presentation/procedural.h"
#include "presentation/scene_cubes.h"
#include "presentation/scene_logo.h"
#include "presentation/scene_particles.h"
#include "presentation/scene_view.h"
#include "presentation/show.h"

namespace immediate {

inline void CubeCloudScene(void) {
  static constexpr float kEdges[12][2][3] = {
      {{0, 0, 0}, {1, 0, 0}}, {{0, 0, 0}, {0, 1, 0}}, {{1, 0, 0}, {1, 1, 0}}, {{1, 1, 0}, {0, 1, 0}},
      {{0, 0, 1}, {1, 0, 1}}, {{0, 0, 1}, {0, 1, 1}}, {{1, 0, 1}, {1, 1, 1}}, {{1, 1, 1}, {0, 1, 1}},
      {{0, 0, 0}, {0, 0, 1}}, {{1, 0, 0}, {1, 0, 1}}, {{1, 1, 0}, {1, 1, 1}}, {{0, 1, 0}, {0, 1, 1}},
  };
  const int32_t t = SegmentTime;
  SceneCamera(115.0, 52.0, 0.0, 0.0, (float)(-t / 50.0));
  glDisable(GL_TEXTURE_2D);
  glBlendFunc(GL_ONE, GL_ONE);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glLineWidth(1.0f);
  glBegin(GL_LINES);
  for (int32_t k = 0; k < 32; k++)
    for (int32_t j = 0; j < 32; j++)
      for (int32_t i = 0; i < 32; i++) {
        float p[3];
        CubeCorner(i, j, k, t, p);
        glColor3f(0.03f, 0.03f, 0.06f);
        for (const auto &edge : kEdges)
          for (const float *o : {edge[0], edge[1]}) glVertex3f(p[0] + o[0], p[1] + o[1], p[2] + o[2]);
      }
  glEnd();
  GlowPass();
}

inline void AttractorScene(void) {
  const int32_t t = SegmentTime;
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, (GLuint)SpriteTexture);
  ResetMatrices();
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR);
  glDisable(GL_LIGHTING);
  glColor3f(1.0f, 1.0f, 1.0f);
  glBegin(GL_QUADS);
  const float s = (float)(0.003 + 0.0005 * Beat);
  const double progress = (t - kAttractorStart) / 1271.0 - 1.0;
  for (int32_t k = 0; k < kCubeImageSize * kCubeImageSize; k++) {
    TVector q;
    SplineEval(&q, &AttractorPaths[k], (float)(progress + RandomVectors[k].x));
    SpriteQuad(q, s);
  }
  glEnd();
  GlowPass();
}

}  // namespace immediate
