// CPU detection: vendor, family, model, stepping, instruction-set extensions,
// measured clock and a readable model name, detected once per process.
// Depends on: platform/sysinfo (CPUID, time-stamp counter), time (sleep),
// cfg ("disable-*" switches), log.
#pragma once

#include <cstdint>

extern "C" {

typedef struct SYS_CPU_t {
  int32_t family;  // base family, or 15 + extended family when the base family is 15
  int32_t model;
  int32_t stepping;
  int32_t mmx;
  int32_t mmxext;
  int32_t _3dnow;
  int32_t _3dnowext;
  int32_t sse;
  int32_t sse2;
  int32_t sse3;
  int32_t reserved0[3];
  int32_t tsc;  // has a time-stamp counter
  int32_t reserved1;
  float clock;  // MHz, 0 when not measured
  char name[256];
} SYS_CPU_t;
typedef struct SYS_CPU_t *SYS_PCPU_t;
typedef struct SYS_CPU_t **SYS_PPCPU_t;

// The process's CPU record, detected on the first call; null with error 100 when
// the processor has no CPUID instruction (a later call tries again).
SYS_PCPU_t SYS_GetCPU(void);

}  // extern "C"

// The CPUID words the detection reads (zero where a function is not reported).
struct SYS_CPUIDRegs_t {
  uint32_t maxFunction;   // function 0: EAX
  uint32_t vendor[3];     // function 0: EBX, EDX, ECX
  uint32_t eax1, ecx1, edx1;  // function 1
  uint32_t maxExtended;   // function 0x80000000: EAX
  uint32_t edx81;         // function 0x80000001: EDX
};

// Fills `cpu` from the CPUID words and a measured clock (0: none): the fields, the
// flags and the name, with the detection's log lines. The "disable-*" switches are
// not applied here. Separate from the probe so that any processor can be described.
void SYS_CPUDecode(const SYS_CPUIDRegs_t *regs, float clockMHz, SYS_CPU_t *cpu);
// Shutdown step: forgets the detection, so the next SYS_GetCPU probes again and
// applies the "disable-*" switches of the options it then finds.
void SYS_CPUDone(void);
