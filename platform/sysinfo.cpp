// System and processor queries for the system detection (uname, os-release,
// CPUID, time-stamp counter), and the C library's keep-freed-memory setting.
// Depends on: POSIX, <cpuid.h> and <x86intrin.h> on x86, <malloc.h> with glibc.
#include "platform/sysinfo.h"

#include <sys/utsname.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdio>
#include <cstring>
#include <ctime>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <x86intrin.h>
#define KORV_X86 1
#endif

namespace {

void CopyCut(char *out, size_t outSize, const char *text) {
  if (!outSize) return;
  snprintf(out, outSize, "%s", text);
}

}  // namespace

int platSysUname(char *system, size_t systemSize, char *release, size_t releaseSize) {
  struct utsname u;
  if (uname(&u) != 0) return -1;
  if (system) CopyCut(system, systemSize, u.sysname);
  if (release) CopyCut(release, releaseSize, u.release);
  return 0;
}

int platSysDistribution(char *out, size_t outSize) {
  FILE *f = fopen("/etc/os-release", "r");
  if (!f) f = fopen("/usr/lib/os-release", "r");
  if (!f) return -1;
  char line[512];
  int rc = -1;
  while (fgets(line, sizeof line, f)) {
    if (strncmp(line, "PRETTY_NAME=", 12)) continue;
    char *v = line + 12;
    v[strcspn(v, "\r\n")] = 0;
    size_t len = strlen(v);
    if (len >= 2 && (v[0] == '"' || v[0] == '\'') && v[len - 1] == v[0]) {
      v[len - 1] = 0;
      v++;
    }
    CopyCut(out, outSize, v);
    rc = 0;
    break;
  }
  fclose(f);
  return rc;
}

int platCpuHasId(void) {
#if defined(__x86_64__)
  return 1;
#elif defined(KORV_X86)
  // Toggles the ID bit of EFLAGS (a CPU whose highest function is 0 counts as none).
  return __get_cpuid_max(0, nullptr) != 0 ? 1 : 0;
#else
  return 0;
#endif
}

int platCpuId(uint32_t leaf, uint32_t regs[4]) {
#ifdef KORV_X86
  if (!platCpuHasId()) return -1;
  unsigned a, b, c, d;
  __cpuid_count(leaf, 0, a, b, c, d);
  regs[0] = a, regs[1] = b, regs[2] = c, regs[3] = d;
  return 0;
#else
  (void)leaf;
  regs[0] = regs[1] = regs[2] = regs[3] = 0;
  return -1;
#endif
}

uint64_t platCpuTicks(void) {
#ifdef KORV_X86
  return __rdtsc();
#else
  return 0;
#endif
}

uint64_t platCpuClockMicros(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (uint64_t)ts.tv_sec * 1000000u + (uint64_t)ts.tv_nsec / 1000u;
}

void platKeepFreedMemory(void) {
#if defined(__GLIBC__)
  // A fixed mmap threshold also stops the allocator from moving it as blocks come and
  // go; without trimming, freed pages stay mapped and are reused warm.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
}
