// The setup dialog in the real executable: run from a copy of the build's bin folder
// without "default", it opens before any window of the show; Escape there ends the
// run with code 0, Enter starts the show with the dialog's presets. Each run gets an
// Xvfb server of its own: on a shared display another test's window can take the
// keyboard focus between ours being given it and the key arriving, and the key is lost.
#include <gtest/gtest.h>

#include "tests/common/program_run.h"
#include "tests/common/x11_window.h"
#include "tests/common/xvfb.h"

#include <X11/keysym.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

constexpr const char *kSetupTitle = "tarvo!korvadyne - setup";
constexpr const char *kShowTitle = "tarvo!korvadyne";

class SetupDialogRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    build_ = std::getenv("KORV_BINARY_DIR");
    if (!fs::exists(build_ / "bin" / "korvadyne") || !fs::exists(build_ / "bin" / "quv.dat"))
      GTEST_SKIP() << "korvadyne and its pack are not built";
    StartServer();
    ASSERT_FALSE(display_.empty()) << "Xvfb did not start";
    dir_ = FreshTestFolder("korv-dialogs-e2e");
    fs::copy_file(build_ / "bin" / "korvadyne", dir_ / "korvadyne");
    fs::copy_file(build_ / "bin" / "quv.dat", dir_ / "quv.dat");
  }
  void TearDown() override {
    run_.Kill();
    KillAndReap(server_);
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  void StartServer() {
    server_ = StartPrivateXvfb("1920x1080x24", &display_);
  }
  void Start() {
    // The log stays where the run starts: start in the folder it is read from.
    ASSERT_TRUE(run_.Start({.program = dir_ / "korvadyne",
                            .args = {"-v"},
                            .env = ShowEnvironment(display_),
                            .workDir = dir_,
                            .err = dir_ / "stderr.txt"}));
  }
  // Retries sending until the window is there (about 20 s).
  bool SendWhenShown(const char *title, KeySym key) {
    for (int i = 0; i < 80; i++) {
      if (X11SendKeyTo(display_, title, run_.Pid(), key, true)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return false;
  }
  int Wait(std::chrono::seconds timeout) { return run_.Wait(timeout); }
  std::string Log() const { return ReadFile(dir_ / "debug.log"); }

  fs::path build_, dir_;
  std::string display_;
  pid_t server_ = -1;
  RunningProgram run_;
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
  EXPECT_EQ(WaitForEndAfterLoading(run_, dir_ / "debug.log", std::chrono::seconds(20)), 0)
      << ReadFile(dir_ / "stderr.txt");
  const std::string log = Log();
  EXPECT_NE(log.find("[cfg] width: 1024\n[cfg] height: 576\n[cfg] windowed: true\n[cfg] vsync on\n"
                     "[cfg] sound on\n[cfg] texture quality high\ncreatwindow2\n"),
            std::string::npos)
      << log;
}

}  // namespace
