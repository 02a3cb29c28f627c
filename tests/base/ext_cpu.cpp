// System and CPU detection: the name rules over made-up CPUID words, the real
// processor's record, the disable switches, the string queries and the log lines.
#include <sys/utsname.h>

#include <chrono>
#include <cstring>

#include "base/cpu-x86.h"
#include "base/info.h"
#include "base/log.h"
#include "ext_util.h"

namespace {

SYS_CPUIDRegs_t Regs(const char *vendor, uint32_t family, uint32_t model, uint32_t extFamily,
                     uint32_t edx1 = 1u << 4) {
  SYS_CPUIDRegs_t r = {};
  r.maxFunction = 1;
  memcpy(&r.vendor[0], vendor, 4);
  memcpy(&r.vendor[1], vendor + 4, 4);
  memcpy(&r.vendor[2], vendor + 8, 4);
  r.eax1 = 3 | model << 4 | family << 8 | 1u << 12 | extFamily << 20;
  r.edx1 = edx1;
  return r;
}

TEST(ExtCpuDecode, NamesFamiliesAndClockText) {
  struct Case {
    SYS_CPUIDRegs_t regs;
    float clock;
    int family;
    const char *name;
  } cases[] = {
      {Regs("GenuineIntel", 15, 2, 0), 2000.0f, 15, "Intel Pentium 4/Celeron Northwood 2000.00 MHz"},
      {Regs("GenuineIntel", 6, 2, 0), 2000.0f, 6, "unknown Intel 6. Generation CPU 2000.00 MHz"},
      {Regs("GenuineIntel", 15, 4, 1), 3000.5f, 16, "Intel 15:4 3000.50 MHz"},
      {Regs("GenuineIntel", 13, 0, 0), 0.0f, 13, "Intel 13:0 0.00 MHz"},
      {Regs("AuthenticAMD", 15, 5, 0), 1800.0f, 15, "AMD Opteron Sledgehammer 1800.00 MHz"},
      {Regs("AuthenticAMD", 15, 1, 8), 1800.0f, 23, "unknown AMD 15. Generation CPU 1800.00 MHz"},
      {Regs("GenuineTMx86", 5, 4, 0, 0), 600.0f, 5, "Transmeta Crusoe TM3x00,TM5x00"},  // no TSC
      {Regs("UMC UMC UMC ", 4, 2, 0, 0), 0.0f, 4, "UMC 486SX U5S"},
      {Regs("SomeoneElse!", 6, 1, 0), 1000.0f, 6, ""},
  };
  for (const Case &c : cases) {
    SYS_CPU_t cpu;
    memset(&cpu, 0x55, sizeof cpu);
    SYS_CPUDecode(&c.regs, c.clock, &cpu);
    EXPECT_STREQ(cpu.name, c.name);
    EXPECT_EQ(cpu.family, c.family) << c.name;
    EXPECT_EQ(cpu.stepping, 3);
    EXPECT_EQ(cpu.tsc, (c.regs.edx1 >> 4) & 1);
    EXPECT_EQ(cpu.clock, cpu.tsc ? c.clock : 0.0f);
    EXPECT_EQ(cpu.reserved0[0] | cpu.reserved0[1] | cpu.reserved0[2] | cpu.reserved1, 0);
  }
}

TEST(ExtCpuDecode, FeatureBits) {
  SYS_CPUIDRegs_t r = Regs("AuthenticAMD", 6, 4, 0, 1u << 25 | 1u << 26);
  r.ecx1 = 1;
  r.maxExtended = 0x80000008u;
  r.edx81 = 1u << 23 | 1u << 22 | 1u << 31;
  SYS_CPU_t cpu;
  SYS_CPUDecode(&r, 0, &cpu);
  EXPECT_EQ(cpu.mmx, 1);  // from the extended function only
  EXPECT_EQ(cpu.mmxext, 1);
  EXPECT_EQ(cpu._3dnow, 1);
  EXPECT_EQ(cpu._3dnowext, 0);
  EXPECT_EQ(cpu.sse + cpu.sse2 + cpu.sse3, 3);
  EXPECT_STREQ(cpu.name, "AMD Athlon Thunderbird");

  // Highest function 0: only the extended flags are read.
  SYS_CPUIDRegs_t none = r;
  none.maxFunction = 0;
  SYS_CPUDecode(&none, 0, &cpu);
  EXPECT_EQ(cpu.family, 0);
  EXPECT_STREQ(cpu.name, "");
  EXPECT_EQ(cpu.sse, 0);
  EXPECT_EQ(cpu.mmxext, 1);
}

#if defined(__x86_64__) || defined(__i386__)
class ExtCpu : public ext::BaseTest {};

TEST_F(ExtCpu, RealProcessorDetectedOnce) {
  auto t0 = std::chrono::steady_clock::now();
  SYS_PCPU_t cpu = SYS_GetCPU();
  auto first = std::chrono::steady_clock::now() - t0;
  ASSERT_NE(cpu, nullptr);
  EXPECT_EQ(cpu->sse2, __builtin_cpu_supports("sse2") ? 1 : 0);
  EXPECT_EQ(cpu->sse, __builtin_cpu_supports("sse") ? 1 : 0);
  EXPECT_EQ(cpu->sse3, __builtin_cpu_supports("sse3") ? 1 : 0);
  EXPECT_EQ(cpu->mmx, __builtin_cpu_supports("mmx") ? 1 : 0);
  if (cpu->tsc) {
    EXPECT_GE(first, std::chrono::milliseconds(250));  // five 50 ms sleeps
    EXPECT_GT(cpu->clock, 100.0f);
    EXPECT_LT(cpu->clock, 10000.0f);
  }

  // Kept from the first call: a second detection would sleep the 250 ms again, so a
  // bound under that catches one however long a loaded machine holds this test up.
  t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(SYS_GetCPU(), cpu);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(200));
}

class ExtCpuDisable : public ext::BaseTest {
  std::vector<std::string> Options() override { return {"-disable-sse2", "/DISABLE-MMX"}; }
};

TEST_F(ExtCpuDisable, SwitchesClearOnlyTheirFlags) {
  SYS_PCPU_t cpu = SYS_GetCPU();
  ASSERT_NE(cpu, nullptr);
  EXPECT_EQ(cpu->sse2, 0);
  EXPECT_EQ(cpu->mmx, 0);
  EXPECT_EQ(cpu->sse, __builtin_cpu_supports("sse") ? 1 : 0);
  EXPECT_EQ(cpu->sse3, __builtin_cpu_supports("sse3") ? 1 : 0);
}

TEST_F(ExtCpu, StringQueries) {
  // Without the system detection the system texts are null; the CPU ones work.
  EXPECT_EQ(SYS_GetString(0), nullptr);
  EXPECT_EQ(SYS_GetString(2), nullptr);
  SYS_PCPU_t cpu = (SYS_PCPU_t)SYS_GetString(5);
  ASSERT_NE(cpu, nullptr);
  EXPECT_EQ(cpu, SYS_GetCPU());
  EXPECT_EQ((const char *)SYS_GetString(3), cpu->name);
  char clock[64];
  snprintf(clock, sizeof clock, "%.2f MHz", (double)cpu->clock);
  EXPECT_STREQ((const char *)SYS_GetString(4), clock);
  EXPECT_EQ(SYS_GetString(6), nullptr);
  EXPECT_EQ(errGetLastError(), 10);

  ext::Tracked before = Count();
  EXPECT_EQ(SYS_DetectSystem(), 0);
  struct utsname u;
  ASSERT_EQ(uname(&u), 0);
  EXPECT_STREQ((const char *)SYS_GetString(0), u.sysname);
  EXPECT_STREQ((const char *)SYS_GetString(2), u.release);
  EXPECT_NE(SYS_GetString(1), nullptr);
  EXPECT_EQ(SYS_DetectSystem(), 0);  // a second run replaces the texts
  SYS_InfoDone();
  EXPECT_EQ(SYS_GetString(0), nullptr);
  EXPECT_EQ(Count(), before);
}

class ExtCpuLog : public ext::BaseTest {
  std::vector<std::string> Options() override {
    return {"-v", "-debug-cpu", "-debug-info", "-debug-log", "@LOG"};
  }
};

// The start-up with the log on runs the system detection itself.
TEST_F(ExtCpuLog, DetectionLinesInTheLog) {
  std::string log = ext::ReadAll(dir + "/debug.log");
  struct utsname u;
  uname(&u);
  EXPECT_NE(log.find(std::string("] OS type: ") + u.sysname + "\n"), std::string::npos) << log;
  EXPECT_NE(log.find("] Total memory: "), std::string::npos);
  EXPECT_NE(log.find("[cpu]["), std::string::npos);
  SYS_PCPU_t cpu = SYS_GetCPU();
  ASSERT_NE(cpu, nullptr);
  EXPECT_NE(log.find(std::string("] ") + cpu->name + " ("), std::string::npos);
  size_t flags = log.find("]  - ");
  ASSERT_NE(flags, std::string::npos);
  std::string line = log.substr(flags, log.find('\n', flags) - flags);
  EXPECT_EQ(line.find("[sse2] ") != std::string::npos, cpu->sse2 == 1) << line;
}

TEST(ExtCpuStartup, BaseInitHandsOutTheRecord) {
  const char *argv[] = {"prog"};
  SYS_PCPU_t cpu = nullptr;
  SYS_BaseInit(nullptr, 1, argv, &cpu);
  EXPECT_NE(cpu, nullptr);
  EXPECT_EQ(cpu, SYS_GetCPU());
  EXPECT_EQ(SYS_GetString(0), nullptr);  // log off: no system description
  SYS_BaseDone();
}

// A framework started again after its shutdown detects the processor again, with
// the switches of its own options.
TEST(ExtCpuStartup, ARestartAppliesItsOwnSwitches) {
  const char *plain[] = {"prog"};
  SYS_BaseInit(nullptr, 1, plain, nullptr);
  SYS_PCPU_t cpu = SYS_GetCPU();
  ASSERT_NE(cpu, nullptr);
  const int32_t sse2 = cpu->sse2;
  SYS_BaseDone();
  const char *disabled[] = {"prog", "-disable-sse2"};
  SYS_BaseInit(nullptr, 2, disabled, nullptr);
  EXPECT_EQ(SYS_GetCPU()->sse2, 0);
  SYS_BaseDone();
  SYS_BaseInit(nullptr, 1, plain, nullptr);
  EXPECT_EQ(SYS_GetCPU()->sse2, sse2);
  SYS_BaseDone();
}
#endif

}  // namespace
