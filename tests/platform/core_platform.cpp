// Platform layer: clock, threads, mutexes, message box.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/msgbox.h"
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
  EXPECT_GE(platClockMs() - b, 0u);
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
