// End to end: a "-default" run of the real program under Xvfb, watched through X11
// captures of its window. The loading screen must be seen before the show's first
// frame, and the captures at about 3, 10, 16 and 30 s must show a lit picture.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <signal.h>
#include <sys/prctl.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

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

Window FindWindow(Display *display, Window root, const char *title) {
  char *name = nullptr;
  if (XFetchName(display, root, &name) && name) {
    bool match = std::string(name) == title;
    XFree(name);
    if (match) return root;
  }
  Window rootOut, parent, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, root, &rootOut, &parent, &children, &count)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < count && !found; i++) found = FindWindow(display, children[i], title);
  if (children) XFree(children);
  return found;
}

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
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "needs an X display (Xvfb)";
    char temp[] = "/tmp/effects_e2eXXXXXX";
    ASSERT_NE(mkdtemp(temp), nullptr);
    dir_ = temp;
    fs::copy(fs::path(BinaryDir()) / "bin", dir_, fs::copy_options::recursive);
    ASSERT_TRUE(fs::exists(dir_ / "korvadyne"));
  }
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  void Start() {
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive the watcher
      setenv("KORVADYNE_HEADLESS", "1", 1);
      setenv("ALSOFT_DRIVERS", "null", 0);
      std::string exe = (dir_ / "korvadyne").string();
      if (chdir(dir_.c_str()) == 0) execl(exe.c_str(), exe.c_str(), "-default", (char *)nullptr);
      _exit(127);
    }
    started_ = Clock::now();
  }
  double Seconds() const { return std::chrono::duration<double>(Clock::now() - started_).count(); }
  bool Running() { return waitpid(pid_, nullptr, WNOHANG) == 0; }

  fs::path dir_;
  pid_t pid_ = -1;
  Clock::time_point started_;
};

TEST_F(EffectsEndToEnd, LoadingScreenThenALitShow) {
  Display *display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  Start();
  Window window = 0;
  bool sawLoader = false, sawShowBeforeLoader = false, sawShow = false;
  const double marks[] = {3.0, 10.0, 16.0, 30.0};
  size_t nextMark = 0;
  Capture capture;
  while (nextMark < std::size(marks) && Running() && Seconds() < 60.0) {
    if (!window) window = FindWindow(display, DefaultRootWindow(display), "tarvo!korvadyne");
    if (window && Grab(display, window, capture)) {
      bool loader = LooksLikeLoader(capture);
      if (loader && !sawShow) sawLoader = true;
      if (!loader && capture.LitShare(0, capture.height) > 0.001) {
        if (!sawLoader) sawShowBeforeLoader = true;
        sawShow = true;
      }
      if (Seconds() >= marks[nextMark]) {
        double lit = capture.LitShare(0, capture.height);
        EXPECT_GT(lit, 0.002) << "at " << marks[nextMark] << " s the picture is dark";
        EXPECT_FALSE(LooksLikeLoader(capture)) << "still loading at " << marks[nextMark] << " s";
        nextMark++;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(sawShow ? 100 : 5));
  }
  XCloseDisplay(display);
  EXPECT_EQ(nextMark, std::size(marks)) << "the run ended or hung before 30 s";
  EXPECT_TRUE(sawLoader) << "the loading screen was never seen";
  EXPECT_FALSE(sawShowBeforeLoader);
  EXPECT_TRUE(Running());
}

}  // namespace
