// CPU detection over CPUID: vendor table, model-name table, feature flags, clock
// measured against the time-stamp counter, and the "disable-*" switches.
//
// The probe (platform) and the decoding (SYS_CPUDecode) are apart so that the
// name rules can be checked for processors other than the one we run on.
// Depends on: platform/sysinfo, base/time (SYS_Sleep), base/cfg, base/log.
#include "base/cpu-x86.h"

#include <cstdio>
#include <cstring>

#include "base/cfg.h"
#include "base/log.h"
#include "base/time.h"
#include "platform/sysinfo.h"

namespace {

#define CPU_LOG(...) SYS_DbgLevelPrintf(SYS_DBG_LEVEL(SYS_DbgOpt.cpu), __VA_ARGS__)

struct Vendor {
  const char *id;  // the 12 characters of CPUID function 0 (EBX, EDX, ECX)
  const char *name;
};
// Searched in this order.
constexpr Vendor kVendors[8] = {
    {"GenuineIntel", "Intel"},    {"UMC UMC UMC ", "UMC"},
    {"AuthenticAMD", "AMD"},      {"CyrixInstead", "Cyrix/VIA"},
    {"NexGenDriven", "NexGen"},   {"CentaurHauls", "IDT/Centaur/VIA"},
    {"RiseRiseRise", "Rise"},     {"GenuineTMx86", "Transmeta"},
};

struct ModelName {
  uint8_t vendor, family, model;
  const char *name;
};
// The named entries of the vendor x family x model table; every other entry is
// empty, except the computed "family:model" names (see LookupModel).
constexpr ModelName kModels[] = {
    {0, 4, 0, "i486DX-25/33"}, {0, 4, 1, "i486DX-50"}, {0, 4, 2, "i486SX"}, {0, 4, 3, "i486DX2"},
    {0, 4, 4, "i486SL"}, {0, 4, 5, "i486SX2"}, {0, 4, 7, "i486DX2"}, {0, 4, 8, "i486DX4"},
    {0, 4, 9, "i486DX4"},
    {0, 5, 0, "Pentium P5 A-step"}, {0, 5, 1, "Pentium P5"}, {0, 5, 2, "Pentium P54C"},
    {0, 5, 3, "Pentium OverDrive P24T"}, {0, 5, 4, "Pentium MMX P55C"},
    {0, 5, 7, "Pentium P54C (new)"}, {0, 5, 8, "Pentium MMX P55C (new)"},
    {0, 6, 0, "PentiumPro A-step"}, {0, 6, 1, "PentiumPro"},
    {0, 6, 3, "Pentium II Klamath/Pentium II OverDrive"},
    {0, 6, 5, "Celeron Covington/Pentium II Deschutes,Tonga/Pentium II Xeon"},
    {0, 6, 6, "Celeron A Mendocino/Pentium II Dixon"},
    {0, 6, 7, "Pentium III Katmai/Pentium III Xeon Tanner"},
    {0, 6, 8, "Celeron 2/Pentium III Coppermine,Geyserville"}, {0, 6, 9, "Pentium M Banias"},
    {0, 6, 10, "Pentium III Xeon Cascades"}, {0, 6, 11, "Celeron 2/Pentium III Tualatin"},
    {0, 6, 14, "Core Duo"}, {0, 6, 15, "Core 2 Duo"},
    {0, 7, 0, "Itanium Merced"},
    {0, 15, 1, "Pentium 4 Willamette"}, {0, 15, 2, "Pentium 4/Celeron Northwood"},
    {0, 15, 3, "Pentium 4 Xeon/Celeron Foster"},
    {1, 4, 1, "486DX U5D"}, {1, 4, 2, "486SX U5S"},
    {2, 4, 3, "486DX2"}, {2, 4, 7, "486DX2"}, {2, 4, 8, "486DX4/5x86"}, {2, 4, 9, "486DX4"},
    {2, 4, 14, "5x86"}, {2, 4, 15, "5x86/write-back"},
    {2, 5, 0, "K5 SSA5 (PR75,PR90,PR100)"}, {2, 5, 1, "K5 5k86 (PR120,PR133)"},
    {2, 5, 2, "K5 5k86 (PR166)"}, {2, 5, 3, "K5 5k86 (PR200)"}, {2, 5, 6, "K6"},
    {2, 5, 7, "K6 Little Foot"}, {2, 5, 8, "K6-2"}, {2, 5, 9, "K6-III Chomper"},
    {2, 5, 13, "K6-2+/K6-III+ Sharptooth"},
    {2, 6, 1, "Athlon K7"}, {2, 6, 2, "Athlon K75 Pluto,Orion"}, {2, 6, 3, "Duron Spitfire"},
    {2, 6, 4, "Athlon Thunderbird"}, {2, 6, 6, "Athlon MP/XP Palomino"},
    {2, 6, 7, "Duron MG Morgan"}, {2, 6, 8, "Athlon MP/XP Thoroughbred"},
    {2, 6, 10, "Athlon MP/XP/XP-M Barton"},
    {2, 15, 4, "Athlon 64 Clawhammer"}, {2, 15, 5, "Opteron Sledgehammer"},
    {3, 4, 4, "MediaGX"}, {3, 4, 9, "5x86"},
    {3, 5, 0, "M1 test-sample"}, {3, 5, 2, "6x86 M1"}, {3, 5, 3, "6x86L M1"}, {3, 5, 4, "GXm"},
    {3, 6, 0, "6x86MX M2/M-II"}, {3, 6, 5, "Cyrix III Joshua (M2 core)"},
    {4, 5, 0, "Nx586/Nx586FPU"},
    {5, 5, 4, "WinChip C6"}, {5, 5, 6, "Samuel"}, {5, 5, 8, "WinChip 2 C6+,W2,W2A,W2B"},
    {5, 5, 9, "WinChip 3 W3"}, {5, 5, 10, "WinChip 4 W4A"},
    {5, 6, 6, "Cyrix III Samuel (WinChip C5A core)"},
    {5, 6, 7, "C3 Samuel 2 (WinChip C5B core)/C3 Ezra"}, {5, 6, 8, "C3 Ezra-T"},
    {5, 6, 9, "C3 Nehemiah"},
    {6, 5, 0, "mP6 iDragon 6401,6441 Kirin"}, {6, 5, 1, "mP6 iDragon 6510 Lynx"},
    {6, 5, 8, "mP6 iDragon II"}, {6, 5, 9, "mP6 iDragon II (new)"},
    {7, 5, 4, "Crusoe TM3x00,TM5x00"},
};

// The model name of (vendor row, base family, model) into buf; empty when unnamed.
const char *LookupModel(int vendor, int family, int model, char *buf, size_t size) {
  for (const ModelName &m : kModels)
    if (m.vendor == vendor && m.family == family && m.model == model) return m.name;
  // Intel families 13 and 14, and the unnamed models of family 15, carry their numbers.
  if (vendor == 0 && (family == 13 || family == 14 || family == 15)) {
    snprintf(buf, size, "%d:%d", family, model);
    return buf;
  }
  return "";
}

SYS_CPU_t gCpu;
bool gDetected = false;

}  // namespace

void SYS_CPUDecode(const SYS_CPUIDRegs_t *r, float clockMHz, SYS_CPU_t *cpu) {
  memset(cpu, 0, sizeof *cpu);
  if (r->maxFunction != 0) {
    uint32_t eax = r->eax1;
    int stepping = eax & 15, model = (eax >> 4) & 15, base = (eax >> 8) & 15;
    int type = (eax >> 12) & 3, extModel = (eax >> 16) & 15, extFamily = (eax >> 20) & 255;
    cpu->family = base == 15 ? 15 + extFamily : base;
    cpu->model = model;
    cpu->stepping = stepping;
    cpu->mmx = (r->edx1 >> 23) & 1;
    cpu->sse = (r->edx1 >> 25) & 1;
    cpu->sse2 = (r->edx1 >> 26) & 1;
    cpu->sse3 = r->ecx1 & 1;
    cpu->tsc = (r->edx1 >> 4) & 1;
    cpu->clock = cpu->tsc ? clockMHz : 0.0f;

    char clockText[16] = "";
    if (cpu->tsc) snprintf(clockText, sizeof clockText, " %.2f MHz", (double)cpu->clock);

    char id[13];
    memcpy(id, r->vendor, 12);
    id[12] = 0;
    for (int row = 0; row < 8; row++) {
      if (memcmp(id, kVendors[row].id, 12)) continue;
      char buf[16];
      const char *modelName = LookupModel(row, base, model, buf, sizeof buf);
      if (*modelName) {
        snprintf(cpu->name, sizeof cpu->name, "%s %s%s", kVendors[row].name, modelName, clockText);
      } else {
        snprintf(cpu->name, sizeof cpu->name, "unknown %s %d. Generation CPU%s", kVendors[row].name,
                 base, clockText);
        CPU_LOG("[cpu][%s:%d:%s()] unknown %s CPU:\n", SYS_POS, kVendors[row].name);
        CPU_LOG("[cpu][%s:%d:%s()] Vendor:   %s\n", SYS_POS, id);
        CPU_LOG("[cpu][%s:%d:%s()] Type:     %d\n", SYS_POS, type);
        CPU_LOG("[cpu][%s:%d:%s()] Family:   %d (ext: %d)\n", SYS_POS, base, extFamily);
        CPU_LOG("[cpu][%s:%d:%s()] Model:    %d (ext: %d)\n", SYS_POS, model, extModel);
        CPU_LOG("[cpu][%s:%d:%s()] Stepping: %d\n", SYS_POS, stepping);
      }
      break;
    }
    CPU_LOG("[cpu][%s:%d:%s()] %s (%d:%d:%d)\n", SYS_POS, cpu->name, cpu->family, cpu->model,
            cpu->stepping);
  }
  if (r->maxExtended > 0x80000000u) {
    cpu->mmx |= (r->edx81 >> 23) & 1;
    cpu->mmxext = (r->edx81 >> 22) & 1;
    cpu->_3dnow = (r->edx81 >> 31) & 1;
    cpu->_3dnowext = (r->edx81 >> 30) & 1;
  }
}

void SYS_CPUDone(void) { gDetected = false; }

extern "C" SYS_PCPU_t SYS_GetCPU(void) {
  errClear();
  if (gDetected) return &gCpu;
  if (!platCpuHasId()) {
    CPU_LOG("[cpu][%s:%d:%s()] This processor dosent have CPUID instruction.\n", SYS_POS);
    errSetLastError(100);
    return nullptr;
  }
  memset(&gCpu, 0, sizeof gCpu);
  CPU_LOG("[cpu][%s:%d:%s()] --- CPU\n", SYS_POS);

  SYS_CPUIDRegs_t r = {};
  uint32_t w[4];
  platCpuId(0, w);
  r.maxFunction = w[0];
  r.vendor[0] = w[1], r.vendor[1] = w[3], r.vendor[2] = w[2];
  if (r.maxFunction >= 1) {
    platCpuId(1, w);
    r.eax1 = w[0], r.ecx1 = w[2], r.edx1 = w[3];
  }
  platCpuId(0x80000000u, w);
  r.maxExtended = w[0];
  if (r.maxExtended > 0x80000000u && r.maxExtended < 0x80010000u) {
    platCpuId(0x80000001u, w);
    r.edx81 = w[3];
  } else {
    r.maxExtended = 0;  // a garbage answer from a processor without extended functions
  }

  // Cycles per microsecond over five 50 ms sleeps; a microsecond clock keeps the
  // figure exact to a few kHz where a millisecond clock would be off by 2%.
  float clock = 0.0f;
  if (r.maxFunction >= 1 && ((r.edx1 >> 4) & 1)) {
    double sum = 0.0;
    for (int i = 0; i < 5; i++) {
      uint64_t c0 = platCpuTicks(), t0 = platCpuClockMicros();
      SYS_Sleep(50);
      uint64_t c1 = platCpuTicks(), t1 = platCpuClockMicros();
      if (t1 > t0) sum += (double)(c1 - c0) / (double)(t1 - t0);
    }
    clock = (float)(sum * 0.2);
  }

  SYS_CPUDecode(&r, clock, &gCpu);

  struct Switch {
    const char *option;
    int32_t *flag;
  };
  const Switch switches[] = {
      {"disable-mmx", &gCpu.mmx},     {"disable-mmxext", &gCpu.mmxext},
      {"disable-sse", &gCpu.sse},     {"disable-sse2", &gCpu.sse2},
      {"disable-sse3", &gCpu.sse3},   {"disable-3dnow", &gCpu._3dnow},
      {"disable-3dnowext", &gCpu._3dnowext},
  };
  for (const Switch &s : switches)
    if (SYS_CfgGet(s.option, 0) == 1) *s.flag = 0;

  CPU_LOG("[cpu][%s:%d:%s()]  - ", SYS_POS);
  const Switch names[] = {
      {"[mmx] ", &gCpu.mmx},   {"[mmx2] ", &gCpu.mmxext}, {"[sse] ", &gCpu.sse},
      {"[sse2] ", &gCpu.sse2}, {"[sse3] ", &gCpu.sse3},   {"[3dnow] ", &gCpu._3dnow},
      {"[3dnowext]", &gCpu._3dnowext},
  };
  bool any = false;
  for (const Switch &s : names) {
    if (!*s.flag) continue;
    SYS_DbgPrintf(0, "%s", s.option);
    any = true;
  }
  if (!any) SYS_DbgPrintf(0, "instruction set extensions not found.");
  SYS_DbgPrintf(0, "\n");

  gDetected = true;
  errClear();
  return &gCpu;
}
