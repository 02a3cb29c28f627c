// Millisecond timer on a driven clock, sleep and time stamps.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "base/mem.h"
#include "base/time.h"
#include "platform/clock.h"

namespace {

uint32_t drivenNow = 0;
uint32_t drivenClock(void) { return drivenNow; }

class CoreTimer : public ::testing::Test {
protected:
  void SetUp() override { platClockSetSource(drivenClock); }
  void TearDown() override { platClockSetSource(nullptr); }
};

// One script step: set the clock, advance it, reset, adjust, toggle the pause, or
// read and expect a value.
enum Op { At, Advance, Reset, Adjust, Pause, Get };
struct Step {
  Op op;
  int64_t arg;
};

struct Script {
  const char *name;
  std::vector<Step> steps;
};

const Script scripts[] = {
    {"first reading is 0, then counts",
     {{At, 5000}, {Reset, 0}, {Get, 0}, {Advance, 3}, {Get, 3}, {Advance, 997}, {Get, 1000}}},
    {"adjust beyond elapsed restarts from 0",
     {{At, 0}, {Reset, 0}, {Advance, 400}, {Adjust, 1000}, {Get, 0}, {Advance, 250}, {Get, 250}}},
    {"negative adjust moves forward",
     {{At, 100}, {Reset, 0}, {Advance, 10}, {Adjust, -7500}, {Get, 7510}, {Advance, 5}, {Get, 7515}}},
    {"pause stands still and resumes without a jump",
     {{At, 0}, {Reset, 0}, {Advance, 300}, {Pause, 0}, {Advance, 500}, {Get, 300}, {Advance, 500}, {Get, 300},
      {Pause, 0}, {Get, 300}, {Advance, 20}, {Get, 320}}},
    {"adjust during a pause lowers the reading at once",
     {{At, 0}, {Reset, 0}, {Advance, 900}, {Pause, 0}, {Adjust, 100}, {Get, 800}, {Pause, 0}, {Get, 800}}},
    {"reset during a pause reads 0, then counts from 0 after it",
     {{At, 0}, {Reset, 0}, {Advance, 700}, {Pause, 0}, {Advance, 100}, {Reset, 0}, {Get, 0}, {Advance, 100},
      {Get, 0}, {Pause, 0}, {Get, 0}, {Advance, 40}, {Get, 40}}},
    {"clock wrap is invisible",
     {{At, 0xFFFFFF00u}, {Reset, 0}, {Advance, 0x100}, {Get, 0x100}, {Advance, 1000}, {Get, 1256}}},
};

}  // namespace

TEST_F(CoreTimer, Scripts)
{
  for (const Script &script : scripts) {
    SCOPED_TRACE(script.name);
    for (size_t i = 0; i < script.steps.size(); i++) {
      const Step &s = script.steps[i];
      switch (s.op) {
      case At: drivenNow = static_cast<uint32_t>(s.arg); break;
      case Advance: drivenNow += static_cast<uint32_t>(s.arg); break;
      case Reset: SYS_TimerReset(); break;
      case Adjust: SYS_TimerSetAdjust(static_cast<int32_t>(s.arg)); break;
      case Pause: SYS_TimerPause(); break;
      case Get: EXPECT_EQ(SYS_TimerGet(), s.arg) << "step " << i; break;
      }
    }
  }
}

TEST(CoreTime, SleepWaitsOnTheSystemClock)
{
  const uint32_t before = platClockMs();
  SYS_Sleep(30);
  EXPECT_GE(platClockMs() - before, 30u);
}

TEST(CoreTime, StampIsFifteenCharactersOfDateAndTime)
{
  char *stamp = SYS_TimeStamp();
  ASSERT_NE(stamp, nullptr);
  EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(20\d{2}[01]\d[0-3]\d [012]\d[0-5]\d[0-6]\d)"))) << stamp;
  EXPECT_EQ(SYS_MemSize(stamp), 16);
  SYS_MemFree(&stamp);
  EXPECT_EQ(stamp, nullptr);
}
