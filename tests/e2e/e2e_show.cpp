// End-to-end runs of the real executable from a copy of the build's bin folder, each on
// an Xvfb server of its own, with KORVADYNE_HEADLESS set.
#include <gtest/gtest.h>

#include <X11/keysym.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/program_run.h"
#include "tests/common/x11_window.h"
#include "tests/common/xvfb.h"
#include "tests/e2e/capture.h"

namespace fs = std::filesystem;

namespace {

// A private copy of bin/ (and of the loose content when there is no pack), so a test
// can take files away without touching the build.
class Show : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = StartPrivateXvfb("1280x720x24", &display_);
    ASSERT_GT(server_, 0) << "Xvfb did not start";
    const char *bin = std::getenv("KORV_BINARY_DIR");
    ASSERT_NE(bin, nullptr);
    build_ = bin;
    ASSERT_TRUE(fs::exists(build_ / "bin" / "korvadyne")) << "korvadyne not built";
    dir_ = FreshTestFolder("korv-e2e");
    out_ = dir_;
    fs::copy_file(build_ / "bin" / "korvadyne", dir_ / "korvadyne");
    if (fs::exists(build_ / "bin" / "quv.dat")) fs::copy_file(build_ / "bin" / "quv.dat", dir_ / "quv.dat");
    else CopyContent();
  }
  void TearDown() override {
    run_.Kill();
    KillAndReap(server_);
    std::error_code ignored;
    if (!dir_.empty()) fs::remove_all(dir_, ignored);
    if (!out_.empty()) fs::remove_all(out_, ignored);
  }

  // The content as loose files instead of the pack.
  void CopyContent() {
    fs::remove(dir_ / "quv.dat");
    if (fs::exists(build_ / "content"))
      fs::copy(build_ / "content", dir_, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  }

  // Starts the copy with args; stdout and stderr go to files in the folder. With
  // executable, that open file is run instead of the copy's path.
  void Start(const std::vector<std::string> &args, int executable = -1) {
    // The log stays where the run starts: start in the folder it is read from
    // (e2e_files starts elsewhere).
    std::vector<EnvSetting> env = ShowEnvironment(display_);
    env.insert(env.end(), extraEnv_.begin(), extraEnv_.end());  // set later, so they win
    ASSERT_TRUE(run_.Start({.program = dir_ / "korvadyne",
                            .args = args,
                            .env = env,
                            .workDir = out_,
                            .err = out_ / "stderr.txt",
                            .out = out_ / "stdout.txt",
                            .executable = executable}));
  }

  // Exit code, or -1 when it did not end within the timeout (it is killed then).
  int Wait(std::chrono::seconds timeout) { return run_.Wait(timeout); }
  pid_t Pid() const { return run_.Pid(); }

  std::string Stderr() const { return ReadFile(out_ / "stderr.txt"); }

  std::string display_;
  pid_t server_ = -1;
  fs::path build_, dir_;
  fs::path out_;  // where stdout.txt and stderr.txt go: the copy's folder unless moved
  std::vector<EnvSetting> extraEnv_;  // on top of the show's environment
  RunningProgram run_;
};

// What a window manager sends when the user closes a window: WM_PROTOCOLS with
// WM_DELETE_WINDOW, delivered by the X server. False when there is no window yet.
bool SendClose(const std::string &display, pid_t pid) {
  Display *d = X11Open(display);
  if (!d) return false;
  Window w = X11FindWindow(d, DefaultRootWindow(d), "tarvo!korvadyne", pid, true);
  if (w) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, w, False, NoEventMask, &e);
    XFlush(d);
  }
  XCloseDisplay(d);
  return w != 0;
}

// Share of pixels of the window that are not black, or -1 when it cannot be read.
double LitShare(const std::string &display, pid_t pid) {
  Display *d = X11Open(display);
  if (!d) return -1;
  double share = -1;
  if (Window w = X11FindWindow(d, DefaultRootWindow(d), "tarvo!korvadyne", pid)) {
    XWindowAttributes a;
    XImage *img = XGetWindowAttributes(d, w, &a) ? XGetImage(d, w, 0, 0, a.width, a.height, AllPlanes, ZPixmap) : nullptr;
    if (img) {
      long lit = 0;
      for (int y = 0; y < a.height; y++)
        for (int x = 0; x < a.width; x++) lit += (XGetPixel(img, x, y) & 0xFFFFFF) != 0;
      share = (double)lit / ((double)a.width * a.height);
      XDestroyImage(img);
    }
  }
  XCloseDisplay(d);
  return share;
}

// True once pid's window is not all black (the loading screen or a scene); false when
// run ends or timeout passes since its start first. The window draws once the program
// is up, which a loaded machine can make take many seconds.
bool WaitUntilDrawn(RunningProgram &run, const std::string &display, std::chrono::seconds timeout) {
  while (std::chrono::steady_clock::now() - run.Started() < timeout && run.Poll() == -1) {
    if (LitShare(display, run.Pid()) > 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  return false;
}

TEST_F(Show, EscapeEndsTheRunWithCode0) {
  Start({"-default", "-v"});
  std::this_thread::sleep_for(std::chrono::seconds(4));
  // A few seconds in the show draws (the loading screen or the first scene).
  EXPECT_TRUE(WaitUntilDrawn(run_, display_, std::chrono::seconds(60))) << "the window stays black";
  bool sent = false;
  for (int i = 0; i < 40 && !sent; i++) {
    sent = X11SendKeyTo(display_, "tarvo!korvadyne", Pid(), XK_Escape);
    if (!sent) std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  EXPECT_TRUE(sent) << "no window titled tarvo!korvadyne";
  EXPECT_EQ(WaitForEndAfterLoading(run_, dir_ / "debug.log", std::chrono::seconds(20)), 0) << Stderr();
  const std::string log = ReadFile(dir_ / "debug.log");
  for (const char *line : {"[init] call : Window manager ...\n", "[init] call : GL unit ...\n",
                           "[init] call : GLU unit ...\n", "[init] call : Texture loader ...\n",
                           "[cfg] width: 1024\n", "[gl] --- check extensions:\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
  // The normal end runs neither the exit procedures nor the framework's shutdown.
  EXPECT_EQ(log.find("[exit] --- subsystems"), std::string::npos);
}

// A terminal's Ctrl+C or a session's SIGTERM ends the show the way closing its window does.
TEST_F(Show, TerminationSignalEndsTheRunWithCode0) {
  Start({"-default", "-v"});
  // Once the window draws, the handler that turns the signal into a quit is in place.
  ASSERT_TRUE(WaitUntilDrawn(run_, display_, std::chrono::seconds(60))) << "the window stays black";
  ASSERT_EQ(kill(Pid(), SIGTERM), 0);
  EXPECT_EQ(WaitForEndAfterLoading(run_, dir_ / "debug.log", std::chrono::seconds(20)), 0) << Stderr();
}

// True once pid's window shows a frame of the show: after the log says the timeline
// starts, a lit picture that differs from the one then up (the loading screen's last).
bool WaitForShowFrame(const std::string &display, pid_t pid, std::chrono::seconds timeout) {
  Display *d = X11Open(display);
  if (!d) return false;
  const Window w = X11FindWindow(d, DefaultRootWindow(d), "tarvo!korvadyne", pid, true);
  Capture first, now;
  bool drawn = false;
  if (w && GrabWindow(d, w, first)) {
    for (const auto until = std::chrono::steady_clock::now() + timeout;
         !drawn && std::chrono::steady_clock::now() < until;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (!GrabWindow(d, w, now)) break;
      drawn = LitShare(now, 0, now.height) > 0.01 && ChangedShare(first, now) > 0.01;
    }
  }
  XCloseDisplay(d);
  return drawn;
}

TEST_F(Show, ClosingTheWindowEndsTheRunWithCode0) {
  Start({"-default", "-v"});
  // Once the show draws, so the close reaches the main loop rather than the loading.
  ASSERT_TRUE(WaitForText(run_, dir_ / "debug.log", kShowTimelineStarts, std::chrono::seconds(150)))
      << "no timeline start in the log; exit " << run_.Poll() << "\n" << Stderr();
  ASSERT_TRUE(WaitForShowFrame(display_, Pid(), std::chrono::seconds(30))) << "the show draws no frame";
  ASSERT_TRUE(SendClose(display_, Pid())) << "no window titled tarvo!korvadyne";
  EXPECT_EQ(run_.WaitFromNow(std::chrono::seconds(30)), 0) << Stderr();
  // The normal end: neither the exit procedures nor the framework's shutdown.
  EXPECT_EQ(ReadFile(dir_ / "debug.log").find("[exit] --- subsystems"), std::string::npos);
}

// The program moves into its own folder first; when that folder is gone the run ends
// in the runtime's error box with the system's error number (ENOENT).
TEST_F(Show, AProgramFolderThatIsGoneEndsInTheRuntimeErrorBox) {
  const int executable = open((dir_ / "korvadyne").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(executable, 0);
  out_ = dir_.string() + "-out";
  fs::create_directories(out_);
  fs::remove_all(dir_);
  Start({"-default"}, executable);
  close(executable);
  EXPECT_EQ(Wait(std::chrono::seconds(30)), ENOENT) << Stderr();
  EXPECT_NE(Stderr().find("Error: Runtime error 2: cannot change to " + dir_.string() + "/"), std::string::npos)
      << Stderr();
}

TEST_F(Show, AMissingFileEndsWithCode1AndNamesIt) {
  CopyContent();
  fs::remove(dir_ / "logo.tga");
  Start({"-default"});
  EXPECT_EQ(Wait(std::chrono::seconds(60)), 1) << Stderr();
  EXPECT_NE(Stderr().find("File not found: logo.tga."), std::string::npos) << Stderr();
}

// A malformed effect file ends in the runtime's error box with 217; an error the show
// cannot go on after, here a sound device that does not open, in its own box with 1.
TEST_F(Show, AMalformedEffectFileAndAFatalErrorEndWithTheirCodes) {
  CopyContent();
  const std::string loader = ReadFile(dir_ / "loader.ife");
  ASSERT_FALSE(loader.empty());
  WriteFile(dir_ / "loader.ife", "x\n0\n");
  Start({"-default"});
  EXPECT_EQ(Wait(std::chrono::seconds(60)), 217) << Stderr();
  EXPECT_NE(Stderr().find("Error: Runtime error 217: invalid integer in loader.ife"), std::string::npos) << Stderr();

  WriteFile(dir_ / "loader.ife", loader);
  extraEnv_ = {{"ALSOFT_DRIVERS", "no-such-backend"}};
  Start({"-default"});
  EXPECT_EQ(Wait(std::chrono::seconds(90)), 1) << Stderr();
  EXPECT_NE(Stderr().find("Error!: Unable to initialise sound system."), std::string::npos) << Stderr();
}

}  // namespace
