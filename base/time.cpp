// Millisecond timer, sleep and time stamps.
//
// All clock arithmetic is unsigned and read back as signed 32-bit, so the timer
// survives the clock's wrap after 49.7 days exactly as differences modulo 2^32 do.
// No lock: the main thread is the timer's only user.
// Depends on: platform/clock, mem (SYS_StrDup for the time stamp).
#include "base/time.h"

#include <cstdio>
#include <ctime>

#include "base/mem.h"
#include "platform/clock.h"

static uint32_t timerBase = 0;
static uint32_t adjustment = 0;  // signed value held unsigned: wraps like the clock
static int32_t paused = 0;
static uint32_t pauseStart = 0;
static int32_t lastValue = 0;

void SYS_TimerReset(void)
{
  timerBase = platClockMs();
  adjustment = 0;
  lastValue = 0;
}

int32_t SYS_TimerGet(void)
{
  const uint32_t now = paused ? pauseStart : platClockMs();
  const int32_t value = static_cast<int32_t>(now - timerBase - adjustment);
  lastValue = value;
  if (value < 0) {
    SYS_TimerReset();
    return 0;
  }
  return value;
}

void SYS_TimerSetAdjust(int32_t ms) { adjustment += static_cast<uint32_t>(ms); }

void SYS_TimerPause(void)
{
  if (!paused) {
    paused = 1;
    pauseStart = platClockMs();
  } else {
    paused = 0;
    adjustment += platClockMs() - pauseStart;
  }
}

void SYS_Sleep(uint32_t ms) { platSleepMs(ms); }

char *SYS_TimeStamp(void)
{
  const time_t now = std::time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  char text[256];
  std::snprintf(text, sizeof text, "%d%02d%02d %02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return SYS_StrDup(text);
}
