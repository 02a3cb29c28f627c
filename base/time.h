// Millisecond timer, sleep and time stamps.
//
// One process-wide timer over the platform clock: readings are clock - base -
// adjustment, differences taken modulo 2^32. A reading that would be negative (a
// seek back beyond the start) resets the timer, which is its only lower bound.
// Depends on: platform/clock, mem (the time stamp text).
#pragma once

#include <cstdint>

extern "C" {

int32_t SYS_TimerGet(void);
void SYS_TimerReset(void);
// Later readings are ms smaller; a negative ms moves the timer forward.
void SYS_TimerSetAdjust(int32_t ms);
// Toggles the pause; the reading stands still while paused.
void SYS_TimerPause(void);
void SYS_Sleep(uint32_t ms);
// New tracked text "YYYYMMDD HHMMSS" of the local wall clock; release with SYS_MemFree.
char *SYS_TimeStamp(void);

}  // extern "C"
