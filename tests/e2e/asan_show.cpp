// The sanitizer build's run of the real program: the first 30 s of the show with
// "-default" on an Xvfb server of its own, ended by Escape. AddressSanitizer, UBSan and
// the leak check at exit must stay silent and the exit code be 0. Built only in
// sanitizer builds, where the program is slow enough that 30 s of show is the most CI
// can afford; the leak suppressions come through LSAN_OPTIONS from the test's launcher.
//
// Timeline zero is the program's: the timer restarts right after the music's player
// thread is created, which the log (-v) reports.
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/common/program_run.h"
#include "tests/common/x11_window.h"
#include "tests/common/xvfb.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kShowPlayed = std::chrono::seconds(30);

class SanitizedShow : public ::testing::Test {
 protected:
  void SetUp() override {
    const char *bin = std::getenv("KORV_BINARY_DIR");
    ASSERT_NE(bin, nullptr);
    const fs::path build = bin;
    ASSERT_TRUE(fs::exists(build / "bin" / "korvadyne") && fs::exists(build / "bin" / "quv.dat"))
        << "korvadyne and its pack are not built";
    server_ = StartPrivateXvfb("1280x720x24", &display_);
    ASSERT_GT(server_, 0) << "Xvfb did not start";
    char temp[] = "/tmp/korv-asan-showXXXXXX";
    ASSERT_NE(mkdtemp(temp), nullptr);
    dir_ = temp;
    fs::copy_file(build / "bin" / "korvadyne", dir_ / "korvadyne");
    fs::copy_file(build / "bin" / "quv.dat", dir_ / "quv.dat");
  }
  void TearDown() override {
    run_.Kill();
    KillAndReap(server_);
    std::error_code ignored;
    if (!dir_.empty()) fs::remove_all(dir_, ignored);
  }

  void Start() {
    ASSERT_TRUE(run_.Start({.program = dir_ / "korvadyne",
                            .args = {"-default", "-v"},
                            .env = ShowEnvironment(display_),
                            .workDir = dir_,
                            .err = dir_ / "stderr.txt",
                            .out = dir_ / "stdout.txt"}));
  }

  // Exit code once the run has ended, -1 while it runs.
  int Poll() { return run_.Poll(); }

  // Waits until the log shows the timeline's start; false when the run ends or the
  // time is up first.
  bool WaitForTimelineZero(std::chrono::seconds timeout) {
    const auto until = Clock::now() + timeout;
    while (Clock::now() < until) {
      if (ReadFile(dir_ / "debug.log").find("thread created: \"TSS Music Player\"") != std::string::npos) return true;
      if ((exit_ = Poll()) >= 0) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  bool SendEscape() { return X11SendKeyTo(display_, "tarvo!korvadyne", run_.Pid(), XK_Escape, true); }

  std::string Stderr() const { return ReadFile(dir_ / "stderr.txt"); }

  std::string display_;
  pid_t server_ = -1;
  int exit_ = -1;
  fs::path dir_;
  RunningProgram run_;
};

TEST_F(SanitizedShow, First30SecondsThenEscapeEndCleanly) {
  Start();
  ASSERT_TRUE(WaitForTimelineZero(std::chrono::seconds(120)))
      << "no timeline start in the log; exit " << exit_ << "\n" << Stderr();
  const auto zero = Clock::now();
  while (Clock::now() - zero < kShowPlayed) {
    ASSERT_LT(exit_ = Poll(), 0) << "the run ended early with " << exit_ << "\n" << Stderr();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  // Escape ends the run; a key sent while the window is being remapped can be lost,
  // so it is sent again until the run is over.
  const auto until = Clock::now() + std::chrono::seconds(60);
  bool sent = false;
  while (exit_ < 0 && Clock::now() < until) {
    sent = SendEscape() || sent;
    for (int i = 0; i < 20 && (exit_ = Poll()) < 0; i++) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(sent) << "no window titled tarvo!korvadyne";
  const std::string err = Stderr();
  EXPECT_EQ(exit_, 0) << err;
  for (const char *report : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"})
    EXPECT_EQ(err.find(report), std::string::npos) << err;
  // Escape came during the show, not after its end.
  EXPECT_EQ(ReadFile(dir_ / "debug.log").find("[exit] --- subsystems"), std::string::npos);
}

}  // namespace
