// Cube cloud scene (patterns 28 to 31).
//
// The picture depends only on the time: cube n waits ShuffledIndices[n] / 5 ms after
// the start of pattern 28, then moves d / 10000 along its length-16 direction (with
// the direction's y and z exchanged), d growing by 5 per millisecond. All 32768 cubes
// go into one GL_LINES draw of twelve edges each, from a client array that holds
// exactly the values, in exactly the order, that one glVertex3f per line end would
// send; the colour is the same for every cube, so it is set once.
// Depends on: GL and GLU tables, procedural tables, view helpers, glow, main
// program state.
#include "presentation/scene_cubes.h"

#include "presentation/gl.h"
#include "presentation/glow.h"
#include "presentation/procedural.h"
#include "presentation/scene_view.h"
#include "presentation/show.h"

namespace {

// The twelve edges as offset pairs from the lower corner, in drawing order.
constexpr float kEdges[12][2][3] = {
    {{0, 0, 0}, {1, 0, 0}}, {{0, 0, 0}, {0, 1, 0}}, {{1, 0, 0}, {1, 1, 0}}, {{1, 1, 0}, {0, 1, 0}},
    {{0, 0, 1}, {1, 0, 1}}, {{0, 0, 1}, {0, 1, 1}}, {{1, 0, 1}, {1, 1, 1}}, {{1, 1, 1}, {0, 1, 1}},
    {{0, 0, 0}, {0, 0, 1}}, {{1, 0, 0}, {1, 0, 1}}, {{1, 1, 0}, {1, 1, 1}}, {{0, 1, 0}, {0, 1, 1}},
};

}  // namespace

void CubeCorner(int32_t i, int32_t j, int32_t k, int32_t t, float corner[3]) {
  const int32_t n = 1024 * k + 32 * j + i;
  const TVector &D = RandomDirections[n];
  float d = (float)(5 * (int64_t)(t - kCubeCloudStart) - ShuffledIndices[n]);
  if (d < 0.0f) d = 0.0f;
  const double f = d / 10000.0;
  corner[0] = (float)(i - 16 + (double)(float)(f * D.x));
  corner[1] = (float)(j - 16 + (double)(float)(f * D.z));
  corner[2] = (float)(k - 16 + (double)(float)(f * D.y));
}

void CubeCloudVertices(int32_t t, float *out) {
  for (int32_t k = 0; k < 32; k++)
    for (int32_t j = 0; j < 32; j++)
      for (int32_t i = 0; i < 32; i++) {
        float p[3];
        CubeCorner(i, j, k, t, p);
        for (const auto &edge : kEdges)
          for (const float *o : {edge[0], edge[1]}) {
            *out++ = p[0] + o[0];
            *out++ = p[1] + o[1];
            *out++ = p[2] + o[2];
          }
      }
}

void CubeCloudScene(void) {
  // 9 MB of line ends, rewritten every frame; static so the frame allocates nothing.
  static float vertices[kCubeCloudVertices * 3];
  const int32_t t = SegmentTime;
  SceneCamera(115.0, 52.0, 0.0, 0.0, (float)(-t / 50.0));
  glDisable(GL_TEXTURE_2D);
  glBlendFunc(GL_ONE, GL_ONE);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glLineWidth(1.0f);
  CubeCloudVertices(t, vertices);
  // Every cube has the same colour: the current colour serves all of them.
  glColor3f(0.03f, 0.03f, 0.06f);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, vertices);
  glDrawArrays(GL_LINES, 0, kCubeCloudVertices);
  glDisableClientState(GL_VERTEX_ARRAY);
  GlowPass();
}
