// The setup dialog in the real executable: run from a copy of the build's bin folder
// without "default", it opens before any window of the show; Escape there ends the
// run with code 0, Enter starts the show with the dialog's presets. Each run gets an
// Xvfb server of its own: on a shared display another test's window can take the
// keyboard focus between ours being given it and the key arriving, and the key is lost.
#include <gtest/gtest.h>

#include "tests/common/x11_window.h"
#include "tests/common/xvfb.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char *kSetupTitle = "tarvo!korvadyne - setup";
constexpr const char *kShowTitle = "tarvo!korvadyne";

std::string ReadFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A press and a release of key to the titled window of pid; false while it has none.
bool SendKey(const std::string &display, pid_t pid, const char *title, KeySym key) {
  Display *d = XOpenDisplay(display.c_str());
  if (!d) return false;
  const Window w = X11FindWindow(d, DefaultRootWindow(d), title, pid, true);
  if (w) X11SendKey(d, w, key);
  XCloseDisplay(d);
  return w != 0;
}

class SetupDialogRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    build_ = std::getenv("KORV_BINARY_DIR");
    if (!fs::exists(build_ / "bin" / "korvadyne") || !fs::exists(build_ / "bin" / "quv.dat"))
      GTEST_SKIP() << "korvadyne and its pack are not built";
    StartServer();
    ASSERT_FALSE(display_.empty()) << "Xvfb did not start";
    dir_ = fs::temp_directory_path() /
           ("korv-dialogs-e2e-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
            std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::copy_file(build_ / "bin" / "korvadyne", dir_ / "korvadyne");
    fs::copy_file(build_ / "bin" / "quv.dat", dir_ / "quv.dat");
  }
  void TearDown() override {
    if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (server_ > 0) {
      kill(server_, SIGKILL);
      waitpid(server_, nullptr, 0);
    }
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  void StartServer() {
    server_ = StartPrivateXvfb("1920x1080x24", &display_);
  }
  void Start() {
    pid_ = fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      std::string exe = (dir_ / "korvadyne").string();
      char *argv[] = {exe.data(), const_cast<char *>("-v"), nullptr};
      freopen((dir_ / "stderr.txt").c_str(), "w", stderr);
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      setenv("KORVADYNE_HEADLESS", "1", 1);
      setenv("DISPLAY", display_.c_str(), 1);
      setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
      setenv("ALSOFT_DRIVERS", "null", 1);
      // The log stays where the run starts: start in the folder it is read from.
      if (chdir(dir_.c_str()) != 0) _exit(126);
      execv(exe.c_str(), argv);
      _exit(127);
    }
    started_ = Clock::now();
  }
  // Retries sending until the window is there (about 20 s).
  bool SendWhenShown(const char *title, KeySym key) {
    for (int i = 0; i < 80; i++) {
      if (SendKey(display_, pid_, title, key)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return false;
  }
  int Wait(std::chrono::seconds timeout) {
    int status = 0;
    while (Clock::now() - started_ < timeout) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
  }
  std::string Log() const { return ReadFile(dir_ / "debug.log"); }

  fs::path build_, dir_;
  std::string display_;
  pid_t server_ = -1;
  pid_t pid_ = -1;
  Clock::time_point started_;
};

TEST_F(SetupDialogRun, EscapeInTheSetupDialogEndsTheRunBeforeTheShowOpens) {
  Start();
  ASSERT_TRUE(SendWhenShown(kSetupTitle, XK_Escape)) << "no setup dialog";
  EXPECT_EQ(Wait(std::chrono::seconds(30)), 0) << ReadFile(dir_ / "stderr.txt");
  const std::string log = Log();
  EXPECT_NE(log.find("creatwindow\n"), std::string::npos) << log;
  EXPECT_NE(log.find("anyad1\n"), std::string::npos);
  EXPECT_EQ(log.find("creatwindow2"), std::string::npos);  // no window of the show
  EXPECT_EQ(log.find("[exit] --- subsystems"), std::string::npos);
}

TEST_F(SetupDialogRun, EnterStartsTheShowWithThePresets) {
  Start();
  ASSERT_TRUE(SendWhenShown(kSetupTitle, XK_Return)) << "no setup dialog";
  ASSERT_TRUE(SendWhenShown(kShowTitle, XK_Escape)) << "the show did not open";
  EXPECT_EQ(Wait(std::chrono::seconds(60)), 0) << ReadFile(dir_ / "stderr.txt");
  const std::string log = Log();
  EXPECT_NE(log.find("[cfg] width: 1024\n[cfg] height: 576\n[cfg] windowed: true\n[cfg] vsync on\n"
                     "[cfg] sound on\n[cfg] texture quality high\ncreatwindow2\n"),
            std::string::npos)
      << log;
}

}  // namespace
