// Kaleidoscope and credits scene (patterns 41 to 46): see scene_kaleido.h.
//
// The background runs before the frame's first copy, so layers of it that show the
// screen copy see the previous frame's last copy (taken inside its glow). Blending is
// left as the feedback effect's last layer set it: the fold is drawn with that mode.
// Depends on: GL table, IFE layers, glow, main program state.
#include "presentation/scene_kaleido.h"

#include "presentation/gl.h"
#include "presentation/glow.h"
#include "presentation/ife.h"
#include "presentation/scene_view.h"
#include "presentation/show.h"

namespace {

// Corner, then the edge midpoint next to it; the centre closes every triangle.
constexpr float kFoldTriangles[8][2][2] = {
    {{-1, 1}, {0, 1}},  {{1, 1}, {0, 1}},  {{-1, -1}, {0, -1}}, {{1, -1}, {0, -1}},
    {{-1, 1}, {-1, 0}}, {{-1, -1}, {-1, 0}}, {{1, 1}, {1, 0}},  {{1, -1}, {1, 0}},
};

}  // namespace

float KaleidoBackgroundTime(int32_t t) { return (float)(t / 4 % 1000); }
float KaleidoFadeTime(float beat) { return (float)(500.0 - 500.0 * beat); }
float KaleidoCreditsTime(int32_t t) { return (float)((t - kKaleidoscopeStart) / 21.3); }

void KaleidoFold(void) {
  glBegin(GL_TRIANGLES);
  for (const auto &tri : kFoldTriangles) {
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(tri[0][0], tri[0][1]);
    glTexCoord2f(0.5f, 0.0f);
    glVertex2f(tri[1][0], tri[1][1]);
    glTexCoord2f(0.5f, 0.5f);
    glVertex2f(0.0f, 0.0f);
  }
  glEnd();
}

void KaleidoscopeScene(void) {
  const int32_t t = SegmentTime;
  IfeRender(&IfeRotateBkgFx, KaleidoBackgroundTime(t));
  ScreenCopy();
  IfeRender(&IfeFeedbackFx, 1000.0f);
  ScreenCopy();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  glEnable(GL_TEXTURE_2D);  // ScreenTexture is still bound by the copy
  ResetMatrices();
  glColor3f(1.0f, 1.0f, 1.0f);
  KaleidoFold();

  GlowPass();
  IfeRender(&IfeFadeoutFx, KaleidoFadeTime(Beat));
  IfeRender(&IfeCreditsFx, KaleidoCreditsTime(t));
}
