// Subsystem registry, string and memory bindings, FatalError and ExitAndHalt.
#include <gtest/gtest.h>

#include <string>

#include "base/mem.h"
#include "presentation/bindings.h"
#include "presentation/pstring.h"
#include "spine_util.h"

namespace {

using spine_test::Framework;

std::string g_calls;
void ProcA() { g_calls += "A"; }
void ProcB() { g_calls += "B"; }
void ProcC() { g_calls += "C"; }

TEST(SpinePasString, AssignAndAppendCutToCapacity) {
  PasString<5> s("abcdefgh");
  EXPECT_EQ(std::string_view(s), "abcde");
  EXPECT_TRUE(s.full());
  s = "ab";
  s += "cdefg";
  EXPECT_EQ(std::string_view(s), "abcde");
  EXPECT_STREQ(s.c_str(), "abcde");
  ShortString t(std::string(300, 'x'));
  EXPECT_EQ(t.size(), 255u);
  t = t;  // self-assignment keeps the text
  EXPECT_EQ(t.size(), 255u);
  ShortString nul;
  nul += '\0';
  EXPECT_EQ(nul.size(), 1u);
}

// The registry tables and the calls seen start empty in every test.
class SpineRegistry : public Framework {
 protected:
  void SetUp() override {
    Framework::SetUp();
    g_calls.clear();
    for (int32_t i = 0; i < kRegistrySlots; i++) InitProcs[i] = ExitProcs[i] = SYS_TExitProcEntry{};
  }
};

TEST_F(SpineRegistry, RunInitCallsAscendingAndLogsEveryName) {
  AddInit("third", 7, ProcC);
  AddInit("first", 0, ProcA);
  AddInit("second", 3, ProcB);
  AddInit("replaced", 3, ProcB);  // same slot: the second registration stands
  RunInit();
  EXPECT_EQ(g_calls, "ABC");
  const std::string log = Log();
  EXPECT_NE(log.find("[init] --- subsystems\n[init] -------------------------\n[init] call : first\n"
                     "[init] -------------------------\n[init] call : replaced\n"
                     "[init] -------------------------\n[init] call : third\n[init] --- end\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("second"), std::string::npos);
}

TEST_F(SpineRegistry, NamesAreCutTo32AndRemoveMatchesTheCutName) {
  const std::string longName = "Texture loader with a very long name ...";  // 40 characters
  AddInit(longName, 4, ProcA);
  EXPECT_EQ(std::string_view(InitProcs[4].name), longName.substr(0, 32));
  AddInit("keep", 5, ProcB);
  RemoveInit(longName);  // cut the same way before comparing
  EXPECT_EQ(InitProcs[4].active, 0);
  EXPECT_EQ(InitProcs[5].active, -1);
  RemoveInit("nothing registered");
  RunInit();
  EXPECT_EQ(g_calls, "B");
}

TEST_F(SpineRegistry, SlotsOutsideTheTableAreRefused) {
  AddInit("bad", 32, ProcA);
  AddExit("bad", -1, ProcA);
  RunInit();
  EXPECT_EQ(g_calls, "");
  EXPECT_NE(Log().find("[init] ! slot out of range: bad"), std::string::npos);
  EXPECT_NE(Log().find("[exit] ! slot out of range: bad"), std::string::npos);
}

TEST_F(SpineRegistry, ExitAndHaltRunsExitsDescendingThenEnds) {
  EXPECT_EXIT(
      {
        AddExit("zero", 0, [] { std::fputs("exit0 ", stderr); });
        AddExit("four", 4, [] { std::fputs("exit4 ", stderr); });
        AddExit("two", 2, [] { std::fputs("exit2 ", stderr); });
        ExitAndHalt(0x1FF);  // low 8 bits
      },
      ::testing::ExitedWithCode(0xFF), "exit4 exit2 exit0 ");
  const std::string log = Log();
  EXPECT_NE(log.find("[exit] --- subsystems\n[exit] call : four\n[exit] call : two\n[exit] call : zero\n[exit]\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("--- End of log."), std::string::npos);
}

TEST_F(SpineRegistry, ExitAndHaltWithNothingRegisteredStillShutsDown) {
  EXPECT_EXIT(ExitAndHalt(3), ::testing::ExitedWithCode(3), "");
  const std::string log = Log();
  EXPECT_NE(log.find("[exit] --- subsystems\n[exit]\n"), std::string::npos) << log;
  EXPECT_NE(log.find("--- End of log."), std::string::npos);
}

TEST_F(SpineRegistry, FatalErrorShowsTheWholeMessageAndEndsWithCode1) {
  const std::string message(255, 'm');  // no room left for the terminator
  EXPECT_EXIT(FatalError(message), ::testing::ExitedWithCode(1), message);
  // A 255-character log line has no room for its line feed.
  EXPECT_NE(Log().find(message + "[exit] --- subsystems"), std::string::npos);
}

// The shared string buffer starts unallocated in every test.
class SpineStrings : public Framework {
 protected:
  void SetUp() override {
    Framework::SetUp();
    PasMemFree((void **)&PasStrBuffer);
    PasStrCapacity = 0;
  }
};

TEST_F(SpineStrings, PasStrGrowsOnlyForLongerTexts) {
  const char *a = PasStr("0123456789");
  EXPECT_STREQ(a, "0123456789");
  EXPECT_EQ(SYS_MemSize(PasStrBuffer), 15);
  EXPECT_EQ(PasStrCapacity, 10);
  const char *b = PasStr("abcde");
  EXPECT_EQ(b, a);  // the first buffer is reused
  EXPECT_STREQ(a, "abcde");  // and the first result is overwritten
  PasStr("0123456789ab");
  EXPECT_EQ(SYS_MemSize(PasStrBuffer), 17);
  EXPECT_EQ(PasStrCapacity, 12);
  EXPECT_STREQ(PasStr(std::string(400, 'z')), std::string(255, 'z').c_str());
}

TEST_F(SpineStrings, EmptyFirstConversionHasABuffer) {
  const char *s = PasStr("");
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(s, "");
  EXPECT_NE(PasStrBuffer, nullptr);
}

TEST_F(SpineStrings, LogLinesAndTheLostLineFeed) {
  PasLog("no line end|");
  PasLogLn("with line end");
  PasLogLn(std::string(255, 'q'));
  PasLog("next");
  const std::string log = Log();
  EXPECT_NE(log.find("no line end|with line end\n"), std::string::npos);
  EXPECT_NE(log.find(std::string(255, 'q') + "next"), std::string::npos);
}

TEST_F(SpineStrings, TrackedMemoryCarriesThePasSource) {
  void *p = PasMemGet(64, "spine block");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(((unsigned char *)p)[63], 0);
  p = PasMemRealloc(&p, 128, "spine block");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(SYS_MemSize(p), 128);
  PasMemFree(&p);
  EXPECT_EQ(p, nullptr);
  PasMemFree(&p);  // null is accepted
}

}  // namespace
