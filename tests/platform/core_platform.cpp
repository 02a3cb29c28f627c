// Platform layer: clock, threads, mutexes, message box, freed-memory setting.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/sysinfo.h"
#include "platform/thread.h"

namespace {
uint32_t driven = 0;
uint32_t drivenClock(void) { return driven; }
}  // namespace

TEST(PlatformClock, SystemClockIsMonotonicAndDrivenClockReplacesIt)
{
  const uint32_t a = platClockMs();
  platSleepMs(20);
  const uint32_t b = platClockMs();
  EXPECT_GE(b - a, 20u);
  EXPECT_LT(b - a, 2000u);
  platClockSetSource(drivenClock);
  driven = 0xFFFFFFF0u;
  EXPECT_EQ(platClockMs(), 0xFFFFFFF0u);
  driven += 0x20;
  EXPECT_EQ(platClockMs(), 0x10u);
  platClockSetSource(nullptr);
  // Back on the system clock: a little after b (an earlier value wraps to a huge difference).
  EXPECT_LT(platClockMs() - b, 2000u);
}

namespace {
// Leaves from two calls deep; what follows the exit never runs.
[[noreturn]] void leaveDeep(int depth)
{
  if (depth == 0)
    platThreadExit(42);
  leaveDeep(depth - 1);
}
}  // namespace

TEST(PlatformThread, ResultsOfReturnAndEarlyExit)
{
  platThread_t t = nullptr;
  uint32_t six = 6;
  ASSERT_EQ(platThreadStart(&t, [](void *arg) -> uint32_t { return *static_cast<uint32_t *>(arg) + 1; }, &six), 0);
  EXPECT_EQ(platThreadJoin(t), 7u);

  static bool after = false;
  ASSERT_EQ(platThreadStart(&t,
                            [](void *) -> uint32_t {
                              leaveDeep(2);
                              after = true;
                              return 1;
                            },
                            nullptr),
            0);
  EXPECT_EQ(platThreadJoin(t), 42u);
  EXPECT_FALSE(after);
}

TEST(PlatformThread, SystemNameIsCutTo15Characters)
{
  static std::string comm;
  platThread_t t = nullptr;
  ASSERT_EQ(platThreadStart(&t,
                            [](void *) -> uint32_t {
                              platThreadSetName("TSS Music Player");
                              std::ifstream in("/proc/self/task/" + std::to_string(platThreadId()) + "/comm");
                              std::getline(in, comm);
                              return 0;
                            },
                            nullptr),
            0);
  platThreadJoin(t);
  EXPECT_EQ(comm, "TSS Music Playe");
}

TEST(PlatformThread, RecursiveMutex)
{
  platMutex_t m;
  platMutexInit(&m);
  platMutexLock(&m);
  EXPECT_EQ(platMutexTryLock(&m), 1);
  int other = -1;
  std::thread([&] { other = platMutexTryLock(&m); }).join();
  EXPECT_EQ(other, 0);
  platMutexUnlock(&m);
  platMutexUnlock(&m);
  std::thread([&] {
    other = platMutexTryLock(&m);
    if (other)
      platMutexUnlock(&m);
  }).join();
  EXPECT_EQ(other, 1);
  platMutexDestroy(&m);
}

TEST(PlatformMsgBox, DesktopBoxOnlyWithDisplayAndNotHeadless)
{
  struct Case {
    const char *headless, *display, *wayland;
    int visible;
  } cases[] = {
      {"1", ":0", nullptr, 0}, {nullptr, nullptr, nullptr, 0}, {nullptr, "", nullptr, 0},
      {nullptr, ":0", nullptr, 1}, {nullptr, nullptr, "wayland-0", 1},
  };
  auto set = [](const char *name, const char *value) {
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  };
  const char *keep = std::getenv("DISPLAY");
  const std::string display = keep ? keep : "";
  for (const Case &c : cases) {
    set("KORVADYNE_HEADLESS", c.headless);
    set("DISPLAY", c.display);
    set("WAYLAND_DISPLAY", c.wayland);
    EXPECT_EQ(platMessageBoxVisible(), c.visible) << (c.display ? c.display : "-") << (c.wayland ? c.wayland : "-");
  }
  set("WAYLAND_DISPLAY", nullptr);
  set("DISPLAY", keep ? display.c_str() : nullptr);
  set("KORVADYNE_HEADLESS", "1");
  ::testing::internal::CaptureStderr();
  platMessageBox("Error!", "File not found: x", PLAT_MB_ERROR);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error!: File not found: x\n");
}

// The desktop box waits for a helper process (here a stand-in dialog tool on PATH); a
// termination signal during the wait ends the helper and the call, and leaves the
// signal's handling as it was.
TEST(PlatformMsgBox, TerminationSignalClosesTheDesktopBox)
{
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(::testing::TempDir()) / ("korv-msgbox-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path pidFile = dir / "box.pid";
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
  setenv("PATH", (dir.string() + ":" + path).c_str(), 1);
  unsetenv("KORVADYNE_HEADLESS");
  unsetenv("WAYLAND_DISPLAY");
  setenv("DISPLAY", ":1999", 1);  // no server: only the helper can show the box

  struct Case {
    const char *tool;  // what the stand-in does once it is up
    int signal;        // 0: none
    bool once;         // sent once the stand-in is up, else as soon as the box is (maybe before it)
    int result;
  } cases[] = {
      {"exit 0", 0, true, 0},
      {"exec sleep 60", SIGTERM, true, 1},
      {"exec sleep 60", SIGINT, true, 1},
      {"exec sleep 60", SIGTERM, false, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.signal);
    fs::remove(pidFile);
    std::ofstream(dir / "zenity") << "#!/bin/sh\necho $$ > '" << pidFile.string() << "'\n" << c.tool << "\n";
    fs::permissions(dir / "zenity", fs::perms::owner_all);
    std::thread sender([&] {
      // The box is up once the signal is no longer handled the default way.
      auto armed = [] {
        struct sigaction now = {};
        sigaction(SIGTERM, nullptr, &now);
        return now.sa_handler != SIG_DFL;
      };
      for (int i = 0; i < 4000 && !armed(); i++)
        std::this_thread::sleep_for(std::chrono::microseconds(500));
      for (int i = 0; c.once && i < 200 && !fs::exists(pidFile); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
      if (c.once)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (c.signal)
        kill(getpid(), c.signal);
    });
    ::testing::internal::CaptureStderr();
    const int result = platMessageBox("Error!", "box", PLAT_MB_ERROR);
    ::testing::internal::GetCapturedStderr();
    sender.join();
    EXPECT_EQ(result, c.result);
    long box = 0;
    std::ifstream(pidFile) >> box;
    if (c.once) {
      ASSERT_GT(box, 0) << "the stand-in box never came up";
    }
    // Ended and waited for: no such process any more.
    if (box > 0) {
      EXPECT_EQ(kill((pid_t)box, 0), -1);
    }
    for (int sig : {SIGTERM, SIGINT, SIGALRM}) {
      struct sigaction now = {};
      sigaction(sig, nullptr, &now);
      EXPECT_EQ(now.sa_handler, SIG_DFL) << sig;
    }
  }
  setenv("PATH", path.c_str(), 1);
  setenv("KORVADYNE_HEADLESS", "1", 1);
  fs::remove_all(dir);
}

// Eight 1 MB blocks taken, written and freed, as a renderer's frame buffers are: by
// default the allocator serves them from its heap after the first round and trims the
// heap when they are freed, so every round touches 2,000 fresh pages again.
TEST(PlatformMemory, FreedFrameBuffersComeBackWithoutPageFaults) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator has its own policy";
#endif
  auto faults = [] {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
  };
  auto round = [&] {
    const long before = faults();
    void *blocks[8];
    for (void *&b : blocks) {
      b = std::malloc(1 << 20);
      std::memset(b, 1, 1 << 20);
      asm volatile("" : : "r"(b) : "memory");  // the writes must happen
    }
    for (int i = 7; i >= 0; i--) std::free(blocks[i]);
    return faults() - before;
  };
  platKeepFreedMemory();
  round();
  for (int i = 0; i < 3; i++) EXPECT_LT(round(), 64) << "round " << i;
}
