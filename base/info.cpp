// System detection: the OS type (kernel name), the distribution (os-release) and
// the kernel release as tracked texts, logged at start-up with the memory sizes.
// Queries that have no answer on this system leave their part of the text out.
// Depends on: platform/sysinfo, cpu-x86, mem, log.
#include "base/info.h"

#include <cstdio>

#include "base/log.h"
#include "base/mem.h"
#include "platform/sysinfo.h"

namespace {

#define INFO_LOG(...) SYS_DbgLevelPrintf(SYS_DBG_LEVEL(SYS_DbgOpt.info), __VA_ARGS__)

struct SystemDescription {
  char *osType;
  char *distribution;
  char *kernel;
  SYS_PCPU_t cpu;
};
SystemDescription gSystem;

char gClockText[512];

void ReleaseTexts() {
  SYS_MemFree(&gSystem.osType);
  SYS_MemFree(&gSystem.distribution);
  SYS_MemFree(&gSystem.kernel);
}

}  // namespace

extern "C" int SYS_DetectSystem(void) {
  errClear();
  ReleaseTexts();  // a second detection replaces the texts instead of leaking them

  char system[256] = "", release[256] = "", distribution[512] = "";
  bool haveUname = platSysUname(system, sizeof system, release, sizeof release) == 0;
  platSysDistribution(distribution, sizeof distribution);
  gSystem.osType = SYS_StrDup(haveUname ? system : "unknown");
  gSystem.distribution = SYS_StrDup(distribution);
  gSystem.kernel = SYS_StrDup(haveUname ? release : "unknown");

  auto text = [](const char *s) { return s ? s : ""; };
  INFO_LOG("[info][%s:%d:%s()] OS type: %s\n", SYS_POS, text(gSystem.osType));
  INFO_LOG("[info][%s:%d:%s()] Distrib: %s\n", SYS_POS, text(gSystem.distribution));
  INFO_LOG("[info][%s:%d:%s()] Kernel version: %s\n", SYS_POS, text(gSystem.kernel));
  INFO_LOG("[info][%s:%d:%s()] Total memory: %u KB\n", SYS_POS, (unsigned)(SYS_MemTotal() / 1024));
  INFO_LOG("[info][%s:%d:%s()] Free memory: %u KB\n", SYS_POS, (unsigned)(SYS_MemAvail() / 1024));

  gSystem.cpu = SYS_GetCPU();
  return 0;
}

extern "C" void *SYS_GetString(uint32_t kind) {
  errClear();
  if (!gSystem.cpu) gSystem.cpu = SYS_GetCPU();
  switch (kind) {
    case 0: return gSystem.osType;
    case 1: return gSystem.distribution;
    case 2: return gSystem.kernel;
    case 3: return gSystem.cpu ? gSystem.cpu->name : nullptr;
    case 4:
      if (!gSystem.cpu) return nullptr;
      snprintf(gClockText, sizeof gClockText, "%.2f MHz", (double)gSystem.cpu->clock);
      return gClockText;
    case 5: return gSystem.cpu;
    default: errSetLastError(10); return nullptr;
  }
}

void SYS_InfoDone(void) {
  ReleaseTexts();
  gSystem.cpu = nullptr;
  SYS_CPUDone();
}
