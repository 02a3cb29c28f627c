// The frame's bar clear on a real context (llvmpipe under Xvfb): wide lines drawn at
// the letterbox's edges spill into the bars, and the clear takes exactly that back
// while leaving the letterbox and the GL state as they were.
#include <gtest/gtest.h>

#include <vector>

#include "media/window/WM.h"
#include "presentation/gl.h"
#include "presentation/show.h"
#include "presentation/tempo.h"
#include "tests/common/gl_window.h"

namespace {

struct Size {
  int width, height;
};

class SpineFrameGl : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char *failed = "";
    window = PresentationGlWindow(800, 601, &failed);  // holds every picture below
    ASSERT_NE(window, nullptr) << failed;
    ready = true;
  }
  void SetUp() override { ASSERT_TRUE(ready) << "no GL window"; }

  // Black frame, then 6-pixel white lines along the bottom and top edges of the
  // letterbox of a w x h picture, as the tunnel draws them near its rim.
  static void DrawEdgeLines(int w, int h) {
    ScreenWidth = w;
    ScreenHeight = h;
    glViewport(0, 0, w, h);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    LetterboxHeight = LetterboxHeightFor(w);
    glViewport(0, LetterboxY(h, LetterboxHeight), w, LetterboxHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glColor3f(1, 1, 1);
    glLineWidth(6);
    glBegin(GL_LINES);
    for (float y : {-0.999f, 0.999f}) {
      glVertex2f(-0.9f, y);
      glVertex2f(0.9f, y);
    }
    glEnd();
    glLineWidth(1);
  }
  // Lit pixels per row of the w x h picture.
  static std::vector<int> LitRows(int w, int h) {
    std::vector<uint8_t> rgb((size_t)w * h * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    std::vector<int> rows(h, 0);
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        const uint8_t *p = &rgb[((size_t)y * w + x) * 3];
        rows[y] += p[0] + p[1] + p[2] > 0;
      }
    return rows;
  }

  static inline wm_window_t *window = nullptr;
  static inline bool ready = false;
};

TEST_F(SpineFrameGl, BarClearTakesBackWhatWideLinesSpilledAndNothingElse) {
  // 800 x 600 has bars of 75 rows; 800 x 601 an odd top bar; a 16:9 box has none.
  for (const Size s : {Size{800, 600}, Size{800, 601}, Size{800, 450}}) {
    const int box = LetterboxHeightFor(s.width), bottom = LetterboxY(s.height, box), top = bottom + box;
    DrawEdgeLines(s.width, s.height);
    const std::vector<int> before = LitRows(s.width, s.height);
    if (bottom > 0) {
      // The fault itself: the lines reach past the viewport into both bars.
      EXPECT_GT(before[bottom - 1], 0) << s.width << "x" << s.height;
      EXPECT_GT(before[top], 0) << s.width << "x" << s.height;
    }
    ShowClearLetterboxBars();
    EXPECT_EQ(glIsEnabled(GL_SCISSOR_TEST), GL_FALSE);
    const std::vector<int> after = LitRows(s.width, s.height);
    for (int y = 0; y < s.height; y++) {
      if (y < bottom || y >= top)
        EXPECT_EQ(after[y], 0) << "bar row " << y << " of " << s.width << "x" << s.height;
      else
        EXPECT_EQ(after[y], before[y]) << "box row " << y << " of " << s.width << "x" << s.height;
    }
    EXPECT_GT(after[bottom > 0 ? bottom : 0], 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
  }
}

}  // namespace
