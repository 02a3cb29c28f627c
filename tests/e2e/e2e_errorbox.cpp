// End-to-end runs that end in the error box: a file is missing from a private copy of
// the bin folder, the box names it, and every way out of the box ends the run with the
// error's exit code and the sound device closed.
//
// How the box waits decides how a test holds it open: the dialog box of "msgbox.xml"
// waits in the program's own event loop while a desktop box is allowed
// (KORVADYNE_HEADLESS unset); without "msgbox.xml" (no pack) the system box waits for
// a helper process of the desktop, here a stand-in "zenity" on PATH that stays up
// until it is killed, as a box does until the user clicks.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/common/program_run.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

bool Alive(pid_t pid) {
  // A killed box may stay a zombie of init for a moment: only a running one counts.
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t paren = text.rfind(')');
  return paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] != 'Z';
}

class ErrorBox : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    const char *bin = std::getenv("KORV_BINARY_DIR");
    ASSERT_NE(bin, nullptr);
    build_ = bin;
    ASSERT_TRUE(fs::exists(build_ / "bin" / "korvadyne")) << "korvadyne not built";
    dir_ = FreshTestFolder("korv-errorbox");
    fs::create_directories(dir_ / "desktop");
    fs::copy_file(build_ / "bin" / "korvadyne", dir_ / "korvadyne");
    // The stand-in box: records that it is up, then waits for the user that never comes.
    const fs::path zenity = dir_ / "desktop" / "zenity";
    std::ofstream(zenity) << "#!/bin/sh\necho $$ > '" << (dir_ / "box.pid").string() << "'\nexec sleep 120\n";
    fs::permissions(zenity, fs::perms::owner_all);
  }
  void TearDown() override {
    run_.Kill();
    if (const pid_t box = BoxPid(); box > 0 && Alive(box)) kill(box, SIGKILL);
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  // The loose content of the build without one file, in place of the pack.
  void CopyContentWithout(const char *name) {
    ASSERT_TRUE(fs::exists(build_ / "content")) << "no loose content in the build";
    fs::copy(build_ / "content", dir_, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::remove(dir_ / name);
  }

  void Start(bool headless) {
    const char *path = std::getenv("PATH");
    ASSERT_TRUE(run_.Start(
        {.program = dir_ / "korvadyne",
         .args = {"-default"},
         .env = {{"KORVADYNE_HEADLESS", headless ? std::optional<std::string>("1") : std::nullopt},
                 {"PATH", (dir_ / "desktop").string() + ":" + (path ? path : "/usr/bin:/bin")},
                 {"LIBGL_ALWAYS_SOFTWARE", "1"},
                 {"ALSOFT_DRIVERS", "null"}},
         .workDir = "/",
         .err = dir_ / "stderr.txt",
         .out = dir_ / "stdout.txt",
         .dieWithTest = false}));
  }

  // Exit code, 128 + signal, or -1 when the run did not end within the timeout.
  int Wait(std::chrono::seconds timeout) { return run_.Wait(timeout); }

  // True once the program has said the message (both boxes copy it to stderr first).
  bool WaitForMessage(const std::string &text, std::chrono::seconds timeout) {
    const auto end = Clock::now() + timeout;
    while (Clock::now() < end) {
      if (Stderr().find(text) != std::string::npos) return true;
      if (run_.Poll() != -1) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  pid_t BoxPid() const {
    std::ifstream in(dir_ / "box.pid");
    long pid = 0;
    return (in >> pid) ? (pid_t)pid : 0;
  }

  std::string Stderr() const { return ReadFile(dir_ / "stderr.txt"); }
  void TerminateWhileTheBoxWaits(const char *message, bool systemBox);

  fs::path build_, dir_;
  RunningProgram run_;
};

// The music file is opened after the sound device: the error exit must close it.
TEST_F(ErrorBox, MissingMusicEndsWithCode1AndTheDeviceClosed) {
  CopyContentWithout("music.ogg");
  Start(true);
  EXPECT_EQ(Wait(std::chrono::seconds(90)), 1) << Stderr();
  EXPECT_NE(Stderr().find("File not found: music.ogg."), std::string::npos) << Stderr();
  EXPECT_EQ(Stderr().find("not closed"), std::string::npos) << Stderr();
}

// A termination signal while a box waits ends the run as closing the box would.
void ErrorBox::TerminateWhileTheBoxWaits(const char *message, bool systemBox) {
  Start(false);
  ASSERT_TRUE(WaitForMessage(message, std::chrono::seconds(90))) << Stderr();
  pid_t box = 0;
  if (systemBox) {
    // Where the desktop's own box works, it takes the place of the stand-in.
    for (int i = 0; i < 60 && !(box = BoxPid()); i++) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } else {
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  ASSERT_EQ(run_.Poll(), -1) << "the box did not wait: " << Stderr();
  ASSERT_EQ(kill(run_.Pid(), SIGTERM), 0);
  // From the signal: the message it waited for may have come late in a loaded run.
  EXPECT_EQ(run_.WaitFromNow(std::chrono::seconds(20)), 1) << Stderr();
  if (box > 0) {
    bool gone = false;
    for (int i = 0; i < 40 && !(gone = !Alive(box)); i++) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(gone) << "the box stays on the screen after the run ended";
  }
  EXPECT_EQ(Stderr().find("not closed"), std::string::npos) << Stderr();
}

// Without the pack even "msgbox.xml" is missing: the system box shows the message.
TEST_F(ErrorBox, TerminationSignalEndsTheSystemBoxWithCode1) {
  TerminateWhileTheBoxWaits("File not found: msgbox.xml.", true);
}

TEST_F(ErrorBox, TerminationSignalEndsTheDialogBoxWithCode1) {
  CopyContentWithout("logo.tga");
  TerminateWhileTheBoxWaits("File not found: logo.tga.", false);
}

}  // namespace
