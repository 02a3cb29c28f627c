// Cube cloud scene (patterns 28 to 31).
//
// The picture depends only on the time: cube n waits ShuffledIndices[n] / 5 ms after
// the start of pattern 28, then moves d / 10000 along its length-16 direction (with
// the direction's y and z exchanged), d growing by 5 per millisecond. All 32768 cubes
// go into one GL_LINES draw of twelve edges each. The line ends come from a client
// array of each cube's eight corners through a fixed index list: every line end gets
// exactly the value, in exactly the order, that one glVertex3f per end would send, but
// the renderer transforms each corner once instead of three times. The colour is the
// same for every cube, so it is set once.
// Depends on: GL and GLU tables, procedural tables, view helpers, glow, main
// program state.
#include "presentation/scene_cubes.h"

#include "presentation/gl.h"
#include "presentation/glow.h"
#include "presentation/procedural.h"
#include "presentation/scene_view.h"
#include "presentation/show.h"

namespace {

// A cube's corners as offsets from its lower corner, corner c at (c & 1, c >> 1 & 1,
// c >> 2), and its twelve edges in drawing order as corner pairs: (0,0,0)-(1,0,0),
// (0,0,0)-(0,1,0), (1,0,0)-(1,1,0), (1,1,0)-(0,1,0), the same at z = 1, then the four
// uprights.
constexpr float kCorners[8][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0},
                                  {0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};
constexpr GLuint kEdgeCorners[12][2] = {{0, 1}, {0, 2}, {1, 3}, {3, 2}, {4, 5}, {4, 6},
                                        {5, 7}, {7, 6}, {0, 4}, {1, 5}, {3, 7}, {2, 6}};

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

void CubeCloudCorners(int32_t t, float *out) {
  for (int32_t k = 0; k < 32; k++)
    for (int32_t j = 0; j < 32; j++)
      for (int32_t i = 0; i < 32; i++) {
        float p[3];
        CubeCorner(i, j, k, t, p);
        for (const float *o : kCorners) {
          *out++ = p[0] + o[0];
          *out++ = p[1] + o[1];
          *out++ = p[2] + o[2];
        }
      }
}

void CubeCloudScene(void) {
  // 3 MB of corners rewritten every frame and the fixed line list: static, so the
  // frame allocates nothing.
  static float corners[kCubeCount * 8 * 3];
  static GLuint lines[kCubeCloudVertices];
  if (lines[1] == 0)
    for (GLuint n = 0; n < (GLuint)kCubeCount; n++)
      for (int e = 0; e < 24; e++) lines[24 * n + e] = 8 * n + kEdgeCorners[e / 2][e % 2];
  const int32_t t = SegmentTime;
  SceneCamera(115.0, 52.0, 0.0, 0.0, (float)(-t / 50.0));
  glDisable(GL_TEXTURE_2D);
  glBlendFunc(GL_ONE, GL_ONE);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glLineWidth(1.0f);
  CubeCloudCorners(t, corners);
  // Every cube has the same colour: the current colour serves all of them.
  glColor3f(0.03f, 0.03f, 0.06f);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, corners);
  glDrawElements(GL_LINES, kCubeCloudVertices, GL_UNSIGNED_INT, lines);
  glDisableClientState(GL_VERTEX_ARRAY);
  GlowPass();
}
