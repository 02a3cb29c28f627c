// Options from the argument store, config files.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "base/cfg.h"
#include "base/mem.h"
#include "core_util.h"

using namespace core_test;

class CoreCfg : public Scratch {
protected:
  void TearDown() override
  {
    SYS_BaseDone();
    Scratch::TearDown();
  }
};

TEST_F(CoreCfg, OptionQueries)
{
  start({"-Foo", "/BAR", "5", "--baz", "-f1", "2.9", "-f2", "-2.9", "-neg", "-7", "-big", "1e30", "-last"});
  struct Case {
    const char *name;
    int32_t kind;
    intptr_t value;
    int32_t error;
  } cases[] = {
      {"foo", 0, 1, 0},      {"FOO", 0, 1, 0},    {"bar", 2, 5, 0},      {"baz", 0, 0, 0},
      {"-baz", 0, 1, 0},     {"f1", 3, 2, 0},     {"f2", 3, -2, 0},      {"neg", 2, -7, 0},
      {"big", 3, INT32_MAX, 0}, {"last", 1, -1, 10}, {"last", 2, -1, 10}, {"last", 0, 1, 0},
      {"missing", 2, 0, 0},  {"foo", 7, 0, 0},    {"prog", 0, 0, 0},
  };
  for (const Case &c : cases) {
    errSetLastError(99);
    EXPECT_EQ(SYS_CfgGet(c.name, c.kind), c.value) << c.name << " kind " << c.kind;
    EXPECT_EQ(errGetLastError(), c.error) << c.name << " kind " << c.kind;
  }
  // Kind 1 hands out the stored argument itself, also when it starts with "-".
  const char *value = reinterpret_cast<const char *>(SYS_CfgGet("f2", 1));
  EXPECT_STREQ(value, "-2.9");
  EXPECT_EQ(value, SYS_CfgArg(8));
  EXPECT_EQ(SYS_CfgGet(nullptr, 0), -1);
  EXPECT_EQ(errGetLastError(), 10);
}

TEST_F(CoreCfg, AddedArgumentsAnswerLaterQueries)
{
  start({});
  EXPECT_EQ(SYS_CfgGet("late", 2), 0);
  EXPECT_EQ(SYS_CfgAdd("-late"), 0);
  EXPECT_EQ(SYS_CfgAdd("12"), 0);
  EXPECT_EQ(SYS_CfgGet("late", 2), 12);
  EXPECT_EQ(SYS_CfgAdd(nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_CfgCount(), 3);
}

namespace {
struct Vars {
  int32_t flag = 0, on = 1, off = 0, number = 0;
  float real = 0;
  char *text = nullptr;
  std::string called;
};
Vars *current = nullptr;
void onValue(const char *value) { current->called += std::string("<") + value + ">"; }
}  // namespace

TEST_F(CoreCfg, SavedFileReadsBackIntoTheSameTable)
{
  start({});
  Vars out, in;
  out.flag = 1;
  out.number = -42;
  out.real = 3.25f;
  out.text = SYS_StrDup("hello world");
  int32_t skip = 0;
  SYS_CFG_t saveTable[] = {
      {"flag", &out.flag, SYS_CFG_FLAG, nullptr},    {"number", &out.number, SYS_CFG_INT, nullptr},
      {"real", &out.real, SYS_CFG_FLOAT, nullptr},   {"text", &out.text, SYS_CFG_TEXT, nullptr},
      {"hidden", &out.number, SYS_CFG_INT, &skip},   {"cb", nullptr, SYS_CFG_CALLBACK, nullptr},
      {nullptr, nullptr, 0, nullptr},
  };
  ASSERT_EQ(SYS_CfgSave("out.cfg", saveTable), 0);
  EXPECT_EQ(readFile("out.cfg"), "flag = \"true\"\nnumber = \"-42\"\nreal = \"3.250000\"\ntext = \"hello world\"\n");

  SYS_CFG_t loadTable[] = {
      {"flag", &in.flag, SYS_CFG_FLAG, nullptr},  {"number", &in.number, SYS_CFG_INT, nullptr},
      {"real", &in.real, SYS_CFG_FLOAT, nullptr}, {"text", &in.text, SYS_CFG_TEXT, nullptr},
      {nullptr, nullptr, 0, nullptr},
  };
  ASSERT_EQ(SYS_CfgLoad("out.cfg", loadTable), 0);
  EXPECT_EQ(in.flag, 1);
  EXPECT_EQ(in.number, -42);
  EXPECT_FLOAT_EQ(in.real, 3.25f);
  EXPECT_STREQ(in.text, "hello world");
}

TEST_F(CoreCfg, LoadParsesLinesAsTheFormatSays)
{
  start({});
  writeFile("in.cfg",
            "# comment line\n"
            "\n"
            "\tflag = \"yes\"   # trailing comment\n"
            "eq = \"a=b\"\n"
            "bare = true\n"
            "twice = \"7\"\n"
            "number=\"12\"\n"
            "hash = \"x#y\"\n"
            "cb = \"called\"\n"
            "none = \"1\"\n");
  Vars v;
  current = &v;
  int32_t twiceA = 0, twiceB = 0, bare = 1, number = 0;
  char *eq = nullptr, *hash = nullptr;
  SYS_CFG_t table[] = {
      {"flag", &v.flag, SYS_CFG_FLAG, nullptr},
      {"eq", &eq, SYS_CFG_TEXT, nullptr},
      {"bare", &bare, SYS_CFG_FLAG, nullptr},
      {"twice", &twiceA, SYS_CFG_INT, nullptr},
      {"twice", &twiceB, SYS_CFG_INT, nullptr},
      {"number", &number, SYS_CFG_INT, nullptr},
      {"hash", &hash, SYS_CFG_TEXT, nullptr},
      {"cb", reinterpret_cast<void *>(&onValue), SYS_CFG_CALLBACK, nullptr},
      {"none", nullptr, SYS_CFG_CALLBACK, nullptr},
      {nullptr, nullptr, 0, nullptr},
  };
  ASSERT_EQ(SYS_CfgLoad("in.cfg", table), 0);
  EXPECT_EQ(v.flag, 1);
  EXPECT_STREQ(eq, "a");      // a value ends at "="
  EXPECT_EQ(bare, 0);         // no quotes: empty value
  EXPECT_EQ(twiceA, 7);
  EXPECT_EQ(twiceB, 7);
  EXPECT_EQ(number, 12);      // no blanks around "="
  EXPECT_STREQ(hash, "x");    // everything from "#" on is gone, quotes or not
  EXPECT_EQ(v.called, "<called>");
}

// A switch is on for exactly "true", "1" and "yes"; every other value, the false
// forms among them, turns it off, whatever it held before.
TEST_F(CoreCfg, SwitchValuesReadAsTheyAreMeant)
{
  start({});
  const struct {
    const char *value;
    int32_t on;
  } cases[] = {
      {"true", 1}, {"1", 1},  {"yes", 1}, {"false", 0}, {"0", 0},    {"no", 0},
      {"", 0},     {"on", 0}, {"TRUE", 0}, {"10", 0},   {"true ", 0},
  };
  const size_t n = std::size(cases);
  std::string text;
  std::vector<std::string> names(n);
  std::vector<int32_t> flags(n);
  std::vector<SYS_CFG_t> table;
  for (size_t i = 0; i < n; i++) {
    names[i] = "switch" + std::to_string(i);
    text += names[i] + " = \"" + cases[i].value + "\"\n";
    flags[i] = !cases[i].on;
  }
  for (size_t i = 0; i < n; i++)
    table.push_back({names[i].c_str(), &flags[i], SYS_CFG_FLAG, nullptr});
  table.push_back({nullptr, nullptr, 0, nullptr});
  writeFile("switches.cfg", text);
  ASSERT_EQ(SYS_CfgLoad("switches.cfg", table.data()), 0);
  for (size_t i = 0; i < n; i++)
    EXPECT_EQ(flags[i], cases[i].on) << "\"" << cases[i].value << "\"";
}

TEST_F(CoreCfg, LoadAndSaveLeaveTheCallersLocale)
{
  start({"-v"});
  ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
  writeFile("in.cfg", "real = \"1.5\"\n");
  float real = 0;
  SYS_CFG_t table[] = {{"real", &real, SYS_CFG_FLOAT, nullptr}, {nullptr, nullptr, 0, nullptr}};
  ASSERT_EQ(SYS_CfgLoad("in.cfg", table), 0);
  EXPECT_FLOAT_EQ(real, 1.5f);
  EXPECT_STREQ(std::setlocale(LC_ALL, nullptr), "C.UTF-8");
  ASSERT_EQ(SYS_CfgSave("out.cfg", table), 0);
  EXPECT_STREQ(std::setlocale(LC_ALL, nullptr), "C.UTF-8");
  EXPECT_EQ(SYS_CfgLoad("no-such.cfg", table), -1);
  EXPECT_NE(errGetLastError(), 0);
  EXPECT_STREQ(std::setlocale(LC_ALL, nullptr), "C.UTF-8");
  std::setlocale(LC_ALL, "C");
  const std::string log = readFile("debug.log");
  EXPECT_NE(log.find("[cfg][cfg.cpp:"), std::string::npos);
  EXPECT_NE(log.find("SYS_CfgLoad()] load config file: in.cfg...\n"), std::string::npos);
  EXPECT_NE(log.find("SYS_CfgLoad()] ...1 variables loaded.\n"), std::string::npos);
  EXPECT_NE(log.find("SYS_CfgSave()] ... saved 1 variable.\n"), std::string::npos);
}
