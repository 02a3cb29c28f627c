// Millisecond clock and sleep.
//
// The clock is the system's monotonic clock in milliseconds as an unsigned 32-bit
// value that wraps, so callers take differences modulo 2^32. Tests may install a
// clock of their own; everything that reads time (the timer and all above it) then
// becomes deterministic.
// Depends on: POSIX clock_gettime, nanosleep.
#pragma once

#include <cstdint>

typedef uint32_t (*platClockSource_t)(void);

uint32_t platClockMs(void);
// Null restores the system clock.
void platClockSetSource(platClockSource_t source);
void platSleepMs(uint32_t ms);
