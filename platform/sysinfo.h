// System and processor queries: uname, /etc/os-release, CPUID and the time-stamp
// counter.
//
// Stand-in for the version and registry calls of the system detection; whatever
// has no source here reports failure.
// Depends on: POSIX, the compiler's <cpuid.h> on x86.
#pragma once

#include <cstddef>
#include <cstdint>

// Kernel name and release ("Linux", "6.1.0-18-amd64"); -1 when uname fails.
int platSysUname(char *system, size_t systemSize, char *release, size_t releaseSize);

// PRETTY_NAME of /etc/os-release (or /usr/lib/os-release), unquoted; -1 when absent.
int platSysDistribution(char *out, size_t outSize);

// 1 when the processor has the CPUID instruction (always on x86-64, probed on
// 32-bit x86), 0 elsewhere.
int platCpuHasId(void);
// Runs CPUID for `leaf` (sub-leaf 0): regs = eax, ebx, ecx, edx. -1 without CPUID.
int platCpuId(uint32_t leaf, uint32_t regs[4]);
// The time-stamp counter; 0 where there is none.
uint64_t platCpuTicks(void);
// Monotonic clock in microseconds.
uint64_t platCpuClockMicros(void);

// Asks the C library to keep freed memory for reuse rather than hand it back to the
// system, and to serve blocks up to 32 MB from its heaps: a renderer that frees and
// reallocates large buffers every frame then touches fresh pages once, not every
// frame. Nothing happens where the library has no such settings.
void platKeepFreedMemory(void);
