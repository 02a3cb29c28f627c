// End to end: a "-default" run of the real program on an Xvfb server of its own,
// watched through X11 captures of its window. The loading screen must be seen before
// the show's first frame, and the captures at about 3, 10, 16 and 30 s of the show
// must show a lit picture.
#include <gtest/gtest.h>

#include "tests/common/xvfb.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/program_run.h"
#include "tests/common/x11_window.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The build folder: from the environment, else the parent of the tests' working folder.
std::string BinaryDir() {
  const char *dir = std::getenv("KORV_BINARY_DIR");
  return dir && *dir ? dir : "..";
}

struct Capture {
  int width = 0, height = 0;
  std::vector<uint32_t> rgb;  // 0x00RRGGBB, row 0 at the top
  uint32_t At(int x, int y) const { return rgb[(size_t)y * width + x]; }
  // Share of pixels brighter than a dim grey within rows [y0, y1).
  double LitShare(int y0, int y1) const {
    size_t lit = 0, all = 0;
    for (int y = y0; y < y1; y++)
      for (int x = 0; x < width; x++, all++) {
        uint32_t p = At(x, y);
        lit += ((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255) > 90;
      }
    return all ? (double)lit / all : 0.0;
  }
};

bool Grab(Display *display, Window window, Capture &out) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable) return false;
  XImage *image = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
  if (!image) return false;
  out.width = attributes.width;
  out.height = attributes.height;
  out.rgb.resize((size_t)out.width * out.height);
  for (int y = 0; y < out.height; y++)
    for (int x = 0; x < out.width; x++) out.rgb[(size_t)y * out.width + x] = (uint32_t)XGetPixel(image, x, y) & 0xffffff;
  XDestroyImage(image);
  return true;
}

// The loading screen: the bar's well is black with a blue bar growing from its left
// end, at 300 of 720 layer units from the bottom, and the top of the picture is dark.
bool LooksLikeLoader(const Capture &c) {
  int y = c.height - (int)(c.height * 300.0 / 720.0);
  int x = (int)(c.width * 250.0 / 1280.0);
  uint32_t p = c.At(x, y);
  int r = (p >> 16) & 255, b = p & 255;
  return b > 150 && b > r + 40 && c.LitShare(0, c.height / 10) < 0.01;
}

class EffectsEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    StartServer();
    ASSERT_FALSE(display_.empty()) << "Xvfb did not start";
    char temp[] = "/tmp/effects_e2eXXXXXX";
    ASSERT_NE(mkdtemp(temp), nullptr);
    dir_ = temp;
    fs::copy(fs::path(BinaryDir()) / "bin", dir_, fs::copy_options::recursive);
    ASSERT_TRUE(fs::exists(dir_ / "korvadyne"));
  }
  void TearDown() override {
    run_.Kill();
    KillAndReap(server_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  void Start() {
    ASSERT_TRUE(run_.Start({.program = dir_ / "korvadyne",
                            .args = {"-default"},
                            .env = {{"KORVADYNE_HEADLESS", "1"},
                                    {"ALSOFT_DRIVERS", "null", /*keepExisting=*/true},
                                    {"DISPLAY", display_}},
                            .workDir = dir_}));
  }
  double Seconds() const { return std::chrono::duration<double>(Clock::now() - run_.Started()).count(); }
  bool Running() { return run_.Poll() == -1; }

  void StartServer() {
    server_ = StartPrivateXvfb("1280x720x24", &display_);
  }

  std::string display_;
  pid_t server_ = -1;
  fs::path dir_;
  RunningProgram run_;
};

// Marks are timeline seconds, counted from the first capture after the loading screen.
TEST_F(EffectsEndToEnd, LoadingScreenThenALitShow) {
  Display *display = nullptr;
  for (int tries = 0; !display && tries < 100; tries++) {
    display = X11Open(display_);
    if (!display) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_NE(display, nullptr) << "cannot connect to " << display_;
  Start();
  Window window = 0;
  bool sawLoader = false, sawShowBeforeLoader = false;
  double showStart = -1;
  const double marks[] = {3.0, 10.0, 16.0, 30.0};
  size_t nextMark = 0;
  Capture capture;
  while (nextMark < std::size(marks) && Running() && Seconds() < 90.0) {
    if (!window) window = X11FindWindow(display, DefaultRootWindow(display), "tarvo!korvadyne", run_.Pid());
    if (window && Grab(display, window, capture)) {
      bool loader = LooksLikeLoader(capture);
      if (loader && showStart < 0) sawLoader = true;
      if (!loader && !sawLoader && capture.LitShare(0, capture.height) > 0.001) sawShowBeforeLoader = true;
      if (!loader && sawLoader && showStart < 0) showStart = Seconds();
      if (showStart >= 0 && Seconds() - showStart >= marks[nextMark]) {
        double lit = capture.LitShare(0, capture.height);
        EXPECT_GT(lit, 0.002) << "at " << marks[nextMark] << " s the picture is dark";
        EXPECT_FALSE(LooksLikeLoader(capture)) << "the loading screen is back at " << marks[nextMark] << " s";
        nextMark++;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(showStart >= 0 ? 50 : 5));
  }
  XCloseDisplay(display);
  EXPECT_TRUE(sawLoader) << "the loading screen was never seen";
  EXPECT_FALSE(sawShowBeforeLoader) << "a lit picture came before the loading screen";
  EXPECT_EQ(nextMark, std::size(marks)) << "the run ended or hung before 30 s of show";
  EXPECT_TRUE(Running());
}

}  // namespace
