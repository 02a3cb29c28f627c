// System detection: OS type, distribution and kernel texts for the debug log,
// and the string queries over them and the CPU record.
// Depends on: cpu-x86, mem, log, platform/sysinfo.
#pragma once

#include <cstdint>

#include "base/cpu-x86.h"

extern "C" {

// Fills the three system texts, logs them with the memory sizes and detects the CPU.
int SYS_DetectSystem(void);

// kind 0 OS type, 1 distribution, 2 kernel version (null until SYS_DetectSystem),
// 3 CPU name, 4 clock text "%.2f MHz" (one static text, overwritten by the next
// call), 5 the CPU record (SYS_PCPU_t); other kinds: error 10, null.
void *SYS_GetString(uint32_t kind);

}  // extern "C"

// Shutdown step: releases the three system texts and forgets the detected processor.
void SYS_InfoDone(void);
