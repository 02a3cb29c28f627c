// The setup dialog in the real executable: run from a copy of the build's bin folder
// without "default", it opens before any window of the show; Escape there ends the
// run with code 0, Enter starts the show with the dialog's presets. Each run gets an
// Xvfb server of its own: on a shared display another test's window can take the
// keyboard focus between ours being given it and the key arriving, and the key is lost.
#include <gtest/gtest.h>

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

long WindowPid(Display *d, Window w) {
  Atom pidAtom = XInternAtom(d, "_NET_WM_PID", True);
  if (pidAtom == None) return -1;
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char *data = nullptr;
  long pid = -1;
  if (XGetWindowProperty(d, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
      data && count == 1)
    pid = (long)*(unsigned long *)data;
  if (data) XFree(data);
  return pid;
}

// The mapped window of process pid with that title (other runs may share the display).
Window FindWindow(Display *d, Window w, const char *title, pid_t pid) {
  char *name = nullptr;
  if (XFetchName(d, w, &name) && name) {
    XWindowAttributes a;
    const bool match = std::string(name) == title && WindowPid(d, w) == pid && XGetWindowAttributes(d, w, &a) &&
                       a.map_state == IsViewable;
    XFree(name);
    if (match) return w;
  }
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  Window found = 0;
  if (XQueryTree(d, w, &root, &parent, &children, &n)) {
    for (unsigned i = 0; i < n && !found; i++) found = FindWindow(d, children[i], title, pid);
    if (children) XFree(children);
  }
  return found;
}

// A press and a release of key to the titled window of pid; false while it has none.
bool SendKey(const std::string &display, pid_t pid, const char *title, KeySym key) {
  Display *d = XOpenDisplay(display.c_str());
  if (!d) return false;
  Window w = FindWindow(d, DefaultRootWindow(d), title, pid);
  if (w) {
    // Without a window manager nothing gives the window the keyboard focus.
    XSetInputFocus(d, w, RevertToParent, CurrentTime);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    XEvent e{};
    e.xkey.display = d;
    e.xkey.window = w;
    e.xkey.root = DefaultRootWindow(d);
    e.xkey.same_screen = True;
    e.xkey.keycode = XKeysymToKeycode(d, key);
    e.xkey.time = CurrentTime;
    e.type = KeyPress;
    XSendEvent(d, w, True, KeyPressMask, &e);
    e.type = KeyRelease;
    XSendEvent(d, w, True, KeyReleaseMask, &e);
    XFlush(d);
  }
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
  // Xvfb picks a free display number and writes it to the pipe once it accepts clients,
  // then a newline in a second write: the pipe stays open until that has arrived, or
  // the server dies of the failed write. No reset when the last client leaves, so a key
  // sender that comes before the program does not restart the server under it.
  void StartServer() {
    int fds[2];
    if (pipe(fds) != 0) return;
    server_ = fork();
    if (server_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1080x24", "-nolisten", "tcp",
             "-noreset", (char *)nullptr);
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c = 0;
    while (server_ > 0 && number.size() < 16) {
      const ssize_t n = read(fds[0], &c, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0 || c == '\n') break;
      number += c;
    }
    close(fds[0]);
    if (c != '\n' || number.empty()) return;
    char name[32];
    std::snprintf(name, sizeof name, ":%d", std::atoi(number.c_str()));
    display_ = name;
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
      chdir("/");
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
