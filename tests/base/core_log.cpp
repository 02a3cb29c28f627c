// Last error with its callback, and the debug log checked on the file it writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <regex>
#include <string>
#include <vector>

#include "base/log.h"
#include "core_util.h"
#include "platform/thread.h"

using namespace core_test;

TEST(CoreError, LastErrorIsReadOnceAndCallbackSeesOnlyTexts)
{
  static int calls;
  static std::string seen;
  calls = 0;
  errSetCallback([](int32_t code, const char *text) -> int {
    calls++;
    seen = std::to_string(code) + ":" + text;
    return 77;
  });
  errSetLastError(5);
  EXPECT_EQ(errGetLastError(), 5);
  EXPECT_EQ(errGetLastError(), 0);
  EXPECT_EQ(errSetLastErrorEx(11, nullptr), 0);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(errGetLastError(), 11);
  EXPECT_EQ(errSetLastErrorEx(1, "some/path"), 77);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(seen, "1:some/path");
  errSetCallback(nullptr);
  EXPECT_EQ(errSetLastErrorEx(1, "again"), 0);
  EXPECT_EQ(calls, 1);
  errClear();
  EXPECT_EQ(errGetLastError(), 0);
}

class CoreLog : public Scratch {};

// A component line as the framework writes it; SYS_POS fills the position part.
static void componentLine(int option)
{
  SYS_DbgLevelPrintf(SYS_DBG_LEVEL(option), "[file][%s:%d:%s()] opened '%s'\n", SYS_POS, "x.txt");
}

TEST_F(CoreLog, ComponentLinesFollowTheirOptions)
{
  struct Case {
    std::initializer_list<const char *> args;
    bool shown;
  } cases[] = {
      {{"-v"}, false},
      {{"-v", "-debug-file"}, true},
      {{"-v", "-DEBUG-ALL"}, true},
      {{"-debug-file"}, false},  // the log itself is off
  };
  const std::regex line(R"(^\[file\]\[core_log\.cpp:\d+:componentLine\(\)\] opened 'x\.txt'$)");
  for (const Case &c : cases) {
    std::filesystem::remove("debug.log");
    start(c.args);
    componentLine(SYS_DbgOpt.file);
    SYS_BaseDone();
    int found = 0;
    for (const std::string &l : lines(readFile("debug.log")))
      found += std::regex_match(l, line);
    EXPECT_EQ(found, c.shown ? 1 : 0) << *c.args.begin() << " " << c.args.size();
  }
}

TEST_F(CoreLog, BannerAndLevelsOnTheFile)
{
  start({"-v"});
  SYS_DbgLevelPrintf(1, "careful\n");
  SYS_DbgLevelPrintf(3, "broken\n");
  SYS_DbgLevelPrintf(0, "hidden\n");
  SYS_DbgLog("plain\n");
  SYS_BaseDone();
  const std::string log = readFile("debug.log");
  EXPECT_TRUE(std::regex_match(log, std::regex("\n\n--- tarvo!korvadyne application framework 0\\.85\n"
                                               "--- started : \\d{8} \\d{6}\n"
                                               "--- application : prog\n\n"
                                               "([\\s\\S]*\n)?\\[wrn\\]careful\n\\[err\\]broken\nplain\n"
                                               "\n--- End of log\\.\n\n")))
      << log;
}

TEST_F(CoreLog, TimeStampsOnlyWhereAllowedAndAskedFor)
{
  const time_t before = time(nullptr);
  start({"-v", "-debug-ts"});
  SYS_DbgPrintf(0, "bare\n");
  SYS_DbgPrintf(1, "stamped\n");
  SYS_DbgLevelPrintf(2, "level\n");
  SYS_BaseDone();
  const time_t after = time(nullptr);
  const std::string log = readFile("debug.log");
  // Every stamp is the local clock's at some second of the run, to the second; the
  // run may cross a minute, an hour, a day.
  std::vector<std::string> clock;
  for (time_t t = before; t <= after; t++) {
    tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d %H%M%S", &local);
    clock.push_back(text);
  }
  const std::regex anyStamp(R"(\d{8} \d{6})");
  int stamps = 0;
  for (auto it = std::sregex_iterator(log.begin(), log.end(), anyStamp); it != std::sregex_iterator(); ++it, ++stamps)
    EXPECT_TRUE(std::find(clock.begin(), clock.end(), it->str()) != clock.end())
        << it->str() << " is not the clock's between " << clock.front() << " and " << clock.back();
  EXPECT_GE(stamps, 7);
  const std::string stamp = R"(\d{8} \d{6} )";
  EXPECT_TRUE(std::regex_match(log, std::regex("\n\n" + stamp + "--- tarvo!korvadyne application framework 0\\.85\n" +
                                               stamp + "--- started : \\d{8} \\d{6}\n" + stamp +
                                               "--- application : prog\n\n([\\s\\S]*\n)?bare\n" + stamp + "stamped\n" + stamp +
                                               "level\n" + stamp + "\n--- End of log\\.\n\n")))
      << log;
}

TEST_F(CoreLog, ConsoleCopyWithCAndFileOnlyWithV)
{
  for (const char *option : {"-c", "-v"}) {
    ::testing::internal::CaptureStdout();
    start({option, "-debug-append"});
    SYS_DbgLog("both\n");
    SYS_BaseDone();
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("both\n") != std::string::npos, option[1] == 'c') << option;
  }
  const std::string log = readFile("debug.log");
  EXPECT_NE(log.find("both\n"), log.rfind("both\n")) << "both runs reach the file";
}

TEST_F(CoreLog, FileIsTouchedOnlyWhenTheLogIsOn)
{
  struct Case {
    std::initializer_list<const char *> args;
    const char *file;
    bool oldKept;
  } cases[] = {
      {{}, "debug.log", true},
      {{"-v"}, "debug.log", false},
      {{"-v", "-debug-append"}, "debug.log", true},
      {{"-v", "-debug-log", "named.txt"}, "named.txt", false},
  };
  for (const Case &c : cases) {
    writeFile(c.file, "old run\n");
    start(c.args);
    SYS_BaseDone();
    const std::string log = readFile(c.file);
    EXPECT_EQ(log.rfind("old run\n", 0) == 0, c.oldKept) << c.file << " " << c.args.size();
    EXPECT_EQ(log.find("--- End of log.") != std::string::npos, c.args.size() > 0);
  }
  EXPECT_EQ(readFile("debug.log").find("named"), std::string::npos);
}

TEST_F(CoreLog, LongTextIsCutTo4095CharactersAndKeepsItsLineEnd)
{
  start({"-v"});
  const std::string text(5000, 'x'), line = text + "\n";
  SYS_DbgPrintf(0, "%s", text.c_str());
  SYS_DbgLevelPrintf(3, "%s", text.c_str());
  SYS_DbgPrintf(0, "\n");
  // A cut line still ends, whether the line end comes from the format or the text.
  SYS_DbgLevelPrintf(3, "%s", line.c_str());
  SYS_DbgPrintf(0, "%s\n", text.c_str());
  SYS_DbgLog(line.c_str());
  SYS_DbgLog("next\n");
  SYS_BaseDone();
  const std::string log = readFile("debug.log");
  const std::string glued = std::string("\n").append(4095, 'x').append("[err]").append(4090, 'x').append("\n");
  EXPECT_NE(log.find(glued), std::string::npos);
  const std::string cut = std::string(4094, 'x').append("\n");
  EXPECT_NE(log.find(std::string("\n[err]").append(4089, 'x').append("\n" + cut + cut + "next\n")), std::string::npos);
}

TEST_F(CoreLog, LogFileCanBeRenamedAndRefusesNull)
{
  start({"-v"});
  EXPECT_EQ(SYS_DbgLogFile(nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_DbgLogFile("second.log"), 0);
  SYS_DbgLog("moved\n");
  SYS_BaseDone();
  EXPECT_EQ(readFile("debug.log").find("moved"), std::string::npos);
  EXPECT_EQ(readFile("second.log").rfind("moved\n", 0), 0u);
}

// A host that changes its working directory after start-up (the program moves
// into its own folder) still writes one file, where the log was opened.
TEST_F(CoreLog, NameIsResolvedOnceWhenTheLogOpens)
{
  std::filesystem::create_directory("elsewhere");
  struct Case {
    std::initializer_list<const char *> args;
    const char *file;
  } cases[] = {
      {{"-v"}, "debug.log"},
      {{"-v", "-debug-log", "named.log"}, "named.log"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file);
    writeFile(std::string("elsewhere/") + c.file, "other run\n");
    start(c.args);
    SYS_DbgLog("before the move\n");
    std::filesystem::current_path("elsewhere");
    SYS_DbgLog("after the move\n");
    SYS_BaseDone();
    std::filesystem::current_path(dir_);
    const std::string log = readFile(c.file);
    EXPECT_EQ(log.find("\n\n--- tarvo!korvadyne application framework"), 0u) << log;
    EXPECT_NE(log.find("before the move\nafter the move\n"), std::string::npos) << log;
    EXPECT_NE(log.find("--- End of log."), std::string::npos) << log;
    EXPECT_EQ(readFile(std::string("elsewhere/") + c.file), "other run\n");
  }
  // A name set later is resolved when it is set.
  start({"-v"});
  EXPECT_EQ(SYS_DbgLogFile("later.log"), 0);
  std::filesystem::current_path("elsewhere");
  SYS_DbgLog("later\n");
  SYS_BaseDone();
  std::filesystem::current_path(dir_);
  EXPECT_EQ(readFile("later.log"), "later\n\n--- End of log.\n\n");
  EXPECT_FALSE(exists("elsewhere/later.log"));
}

// A module may switch the log on after a start-up without "v": its lines from
// two threads still come out whole, one entry at a time.
TEST_F(CoreLog, LogSwitchedOnLaterWritesUnderTheMutex)
{
  start({});
  SYS_DbgSetFlag(1);
  constexpr int kLines = 1500;
  auto writer = [](void *arg) -> uint32_t {
    const std::string line(3000, *static_cast<const char *>(arg));
    for (int i = 0; i < kLines; i++)
      SYS_DbgPrintf(0, "%s\n", line.c_str());
    return 0;
  };
  static const char a = 'a', b = 'b';
  platThread_t ta = nullptr, tb = nullptr;
  ASSERT_EQ(platThreadStart(&ta, writer, const_cast<char *>(&a)), 0);
  ASSERT_EQ(platThreadStart(&tb, writer, const_cast<char *>(&b)), 0);
  platThreadJoin(ta);
  platThreadJoin(tb);
  SYS_DbgSetFlag(0);
  SYS_BaseDone();
  int whole = 0, broken = 0;
  for (const std::string &l : lines(readFile("debug.log"))) {
    if (l == std::string(3000, 'a') || l == std::string(3000, 'b'))
      whole++;
    else
      broken++;
  }
  EXPECT_EQ(whole, 2 * kLines);
  EXPECT_EQ(broken, 0);
}
