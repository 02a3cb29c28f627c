// The main program's frame and seek keys, through a recording GL table.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "effects_recorder.h"

#include "base/time.h"
#include "media/window/WM.h"
#include "presentation/show.h"
#include "presentation/window.h"
#include "scene/counters.h"
#include "spine_util.h"
#include "tests/common/still_clock.h"

namespace {

// The frame-rate counters start as at program start in every test.
class SpineShow : public spine_test::Framework {
 protected:
  void SetUp() override {
    Framework::SetUp();
    FrameCount = 0;
    FpsStartTime = 0;
    FpsValue = "0";
    FpsText = ShortString();
  }
};
using fxtest::Calls;
using spine_test::SetTimeline;

void InstallFrameRecorder() {
  fxtest::InstallRecorder();
  pgl::glClear = [](GLbitfield m) { fxtest::Record("glClear", {(double)m}); };
  pgl::glClearColor = [](GLfloat r, GLfloat g, GLfloat b, GLfloat a) { fxtest::Record("glClearColor", {r, g, b, a}); };
  pgl::glScissor = [](GLint x, GLint y, GLsizei w, GLsizei h) {
    fxtest::Record("glScissor", {(double)x, (double)y, (double)w, (double)h});
  };
  pgl::wglSwapIntervalEXT = [](int i) {
    fxtest::Record("wglSwapIntervalEXT", {(double)i});
    return 1;
  };
}

TEST_F(SpineShow, LastFrameIsTheEndPartInsideTheLetterboxAndResetsState) {
  InstallFrameRecorder();
  ScreenWidth = 800;
  ScreenHeight = 600;
  CfgVSync = 1;
  FacesDrawn = 7;
  ObjectsDrawn = 3;
  ParticlesDrawn = 9;
  SetTimeline(kTimelineEnd);
  ShowFrame();
  EXPECT_GE(SegmentTime, kLastSegmentEnd);
  EXPECT_EQ(Pattern, 57);
  EXPECT_EQ(FacesDrawn + ObjectsDrawn + ParticlesDrawn, 0);
  const auto vp = fxtest::Only("glViewport");
  ASSERT_GE(vp.size(), 3u);
  EXPECT_EQ(vp[0].args, (std::vector<double>{0, 0, 800, 600}));   // full clear
  EXPECT_EQ(vp[1].args, (std::vector<double>{0, 75, 800, 450}));  // the letterbox
  EXPECT_EQ(vp.back().args, (std::vector<double>{0, 0, 800, 600}));  // state reset
  EXPECT_EQ(LetterboxHeight, 450);
  // Two whole clears, then the two bars once more through the scissor box, which is
  // off again before the state reset.
  const auto clears = fxtest::Only("glClear");
  ASSERT_EQ(clears.size(), 4u);
  EXPECT_EQ(clears[0].args[0], GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  EXPECT_EQ(clears[1].args[0], GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  EXPECT_EQ(clears[2].args[0], GL_COLOR_BUFFER_BIT);
  EXPECT_EQ(clears[3].args[0], GL_COLOR_BUFFER_BIT);
  const auto boxes = fxtest::Only("glScissor");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].args, (std::vector<double>{0, 0, 800, 75}));
  EXPECT_EQ(boxes[1].args, (std::vector<double>{0, 525, 800, 75}));
  std::vector<double> scissorSwitches;
  for (const auto &c : Calls())
    if ((c.name == "glEnable" || c.name == "glDisable") && c.args[0] == GL_SCISSOR_TEST)
      scissorSwitches.push_back(c.name == "glEnable" ? 1 : 0);
  EXPECT_EQ(scissorSwitches, (std::vector<double>{1, 0}));
  const auto swaps = fxtest::Only("wglSwapIntervalEXT");
  ASSERT_EQ(swaps.size(), 1u);
  EXPECT_EQ(swaps[0].args[0], 1);
  // The reset ends with both matrices identity, modelview current, depth test off.
  std::vector<std::string> tail;
  for (size_t i = Calls().size() - 6; i < Calls().size(); i++) tail.push_back(Calls()[i].name);
  EXPECT_EQ(tail, (std::vector<std::string>{"glDisable", "glMatrixMode", "glLoadIdentity", "glMatrixMode",
                                            "glLoadIdentity", "glDisable"}));
  EXPECT_EQ(Calls().back().args[0], GL_DEPTH_TEST);
  EXPECT_EQ(LastKey, 0);
}

TEST_F(SpineShow, BarsAreClearedOnlyWhereThereAreBars) {
  InstallFrameRecorder();
  struct Case {
    int32_t width, height;
    std::vector<std::vector<double>> boxes;
  } cases[] = {
      {800, 600, {{0, 0, 800, 75}, {0, 525, 800, 75}}},
      {800, 601, {{0, 0, 800, 75}, {0, 525, 800, 76}}},  // the odd row goes to the top bar
      {1024, 576, {}},                                    // 16:9
      {1000, 500, {}},                                    // wider: the box is taller than the window
  };
  for (const Case &c : cases) {
    fxtest::Calls().clear();
    ScreenWidth = c.width;
    ScreenHeight = c.height;
    ShowClearLetterboxBars();
    std::vector<std::vector<double>> boxes;
    for (const auto &b : fxtest::Only("glScissor")) boxes.push_back(b.args);
    EXPECT_EQ(boxes, c.boxes) << c.width << "x" << c.height;
    EXPECT_EQ(fxtest::Count("glClear"), c.boxes.size()) << c.width << "x" << c.height;
    EXPECT_EQ(fxtest::Count("glEnable"), fxtest::Count("glDisable")) << c.width << "x" << c.height;
  }
}

TEST_F(SpineShow, FrameRateTextStaysZeroForTheFirst200ms) {
  InstallFrameRecorder();
  CfgVSync = 0;
  SetTimeline(0);
  ShowFrame();
  EXPECT_EQ(std::string_view(FpsValue), "0");
  EXPECT_EQ(std::string_view(FpsText), std::string_view("FPS : [0]\0", 10));
  EXPECT_EQ(fxtest::Only("wglSwapIntervalEXT").at(0).args[0], 0);
  SetTimeline(1000);
  ShowFrame();  // two frames in 1000 ms
  EXPECT_EQ(std::string_view(FpsValue), "2.00");
  EXPECT_EQ(FrameCount, 0);
  EXPECT_EQ(FpsStartTime, TimelineTime);
}

TEST_F(SpineShow, AConfigureEventSetsTheViewportToTheNewSize) {
  InstallFrameRecorder();
  wm_event_t e{};
  e.type = WM_EVENT_WINDOW;
  e.conf.type = WM_CONF_CONFIGURE;
  e.conf.width = 640;
  e.conf.height = 360;
  WindowEventHandler(&e);
  const auto vp = fxtest::Only("glViewport");
  ASSERT_EQ(vp.size(), 1u);
  EXPECT_EQ(vp[0].args, (std::vector<double>{0, 0, 640, 360}));
  EXPECT_EQ(QuitFlag, 0);
}

TEST_F(SpineShow, SeekKeysMoveTheTimer) {
  CfgNoSound = -1;
  const StillClock still;
  struct Case {
    int32_t key;
    int32_t from, expected;
  } cases[] = {
      {WM_KEYCODE_RIGHT, 5000, 6000},
      {WM_KEYCODE_LEFT, 5000, 4000},
      {WM_KEYCODE_PAGEDOWN, 5000, 12500},
      {WM_KEYCODE_PAGEUP, 10000, 2500},
      {WM_KEYCODE_HOME, 50000, 0},
      {WM_KEYCODE_LEFT, 500, 0},  // back past 0: the timer restarts at 0
      {7, 5000, 5000},            // F6: not a seek key
  };
  for (const Case &c : cases) {
    SetTimeline(c.from);
    ShowSeekKey(c.key);
    EXPECT_EQ(SYS_TimerGet(), c.expected) << "key " << c.key;
  }
}

// A frame acts on the last key event pumped before it: a press and its release in one
// frame move the show once, in two frames twice.
TEST_F(SpineShow, APressAndItsReleaseSeekOncePerFrameTheyArriveIn) {
  InstallFrameRecorder();
  CfgNoSound = -1;
  DebugMode = 1;
  auto key = [](int32_t state) {
    wm_event_t e{};
    e.type = WM_EVENT_KEY;
    e.key.type = state;
    e.key.key = WM_KEYCODE_RIGHT;
    WindowEventHandler(&e);
  };
  const StillClock still;
  SetTimeline(5000);
  key(WM_KEY_DOWN);
  key(WM_KEY_UP);
  ShowFrame();
  EXPECT_EQ(SYS_TimerGet(), 6000);
  key(WM_KEY_DOWN);
  ShowFrame();
  key(WM_KEY_UP);
  ShowFrame();
  EXPECT_EQ(SYS_TimerGet(), 8000);
  DebugMode = 0;
}

TEST_F(SpineShow, TouchMemoryKeepsTheBlockAndStopsAtWholeWords) {
  // 14 bytes on the heap: a word past the count would be caught by the sanitizer run.
  std::unique_ptr<uint8_t[]> block(new uint8_t[14]);
  for (int i = 0; i < 14; i++) block[i] = (uint8_t)(i * 7);
  TouchMemory(block.get(), 14);
  for (int i = 0; i < 14; i++) EXPECT_EQ(block[i], (uint8_t)(i * 7));
}

}  // namespace
