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
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string ReadFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

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
    dir_ = fs::temp_directory_path() /
           ("korv-errorbox-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
            std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "desktop");
    fs::copy_file(build_ / "bin" / "korvadyne", dir_ / "korvadyne");
    // The stand-in box: records that it is up, then waits for the user that never comes.
    const fs::path zenity = dir_ / "desktop" / "zenity";
    std::ofstream(zenity) << "#!/bin/sh\necho $$ > '" << (dir_ / "box.pid").string() << "'\nexec sleep 120\n";
    fs::permissions(zenity, fs::perms::owner_all);
  }
  void TearDown() override {
    if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
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
    pid_ = fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      std::string exe = (dir_ / "korvadyne").string();
      std::string dflt = "-default";
      char *argv[] = {exe.data(), dflt.data(), nullptr};
      freopen((dir_ / "stderr.txt").c_str(), "w", stderr);
      freopen((dir_ / "stdout.txt").c_str(), "w", stdout);
      if (headless) setenv("KORVADYNE_HEADLESS", "1", 1);
      else unsetenv("KORVADYNE_HEADLESS");
      const char *path = std::getenv("PATH");
      setenv("PATH", ((dir_ / "desktop").string() + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
      setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
      setenv("ALSOFT_DRIVERS", "null", 1);
      chdir("/");
      execv(exe.c_str(), argv);
      _exit(127);
    }
    started_ = Clock::now();
  }

  // Exit code, 128 + signal, or -1 when the run did not end within the timeout.
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

  // True once the program has said the message (both boxes copy it to stderr first).
  bool WaitForMessage(const std::string &text, std::chrono::seconds timeout) {
    const auto end = Clock::now() + timeout;
    while (Clock::now() < end) {
      if (Stderr().find(text) != std::string::npos) return true;
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
      }
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
  pid_t pid_ = -1;
  Clock::time_point started_;
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
  ASSERT_EQ(waitpid(pid_, nullptr, WNOHANG), 0) << "the box did not wait: " << Stderr();
  ASSERT_EQ(kill(pid_, SIGTERM), 0);
  EXPECT_EQ(Wait(std::chrono::seconds(20)), 1) << Stderr();
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
