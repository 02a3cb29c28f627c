// String routines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/log.h"
#include "base/mem.h"
#include "base/str.h"

TEST(CoreStr, Fields)
{
  struct Case {
    const char *text;
    char separator;
    int32_t n;
    const char *field;
  } cases[] = {
      {"a=b=c", '=', 0, "a"},    {"a=b=c", '=', 1, "b"},     {"a=b=c", '=', 2, "c"},   {"a=b=c", '=', 3, ""},
      {"a==b", '=', 1, ""},      {"a==b", '=', 2, "b"},      {"=a=b", '=', 0, "a"},    {"=a=b", '=', 1, "a"},
      {"=a=b", '=', 2, "b"},     {"\"v\"", '"', 1, "v"},     {" \"v\"", '"', 1, "v"},  {"abc", '=', 0, "abc"},
      {"abc", '=', 1, ""},       {"", '=', 0, ""},           {"a=b", '=', -1, ""},     {"a=b=", '=', 2, ""},
  };
  for (const Case &c : cases) {
    char out[32];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(SYS_Cut(c.text, out, c.separator, c.n), out);
    EXPECT_STREQ(out, c.field) << '"' << c.text << "\" field " << c.n;
  }
  char out[8];
  EXPECT_EQ(SYS_Cut(nullptr, out, '=', 0), nullptr);
  EXPECT_EQ(SYS_Cut("a", nullptr, '=', 0), nullptr);
  EXPECT_EQ(SYS_Cut("a", out, '\0', 0), nullptr);

  EXPECT_EQ(SYS_Cuti("10,-20,30", ',', 1), -20);
  EXPECT_EQ(SYS_Cutu("10,4000000000", ',', 1), 4000000000u);
  EXPECT_FLOAT_EQ(SYS_Cutf("1.5;2.25", ';', 1), 2.25f);
  EXPECT_EQ(SYS_Cuti("12,34", '\0', 5), 12);
  EXPECT_EQ(SYS_Cuti(nullptr, ',', 0), 0);
  EXPECT_EQ(SYS_Cuti("1,2", ',', 7), 0);
}

TEST(CoreStr, PercentCoding)
{
  struct Case {
    const char *plain;
    const char *encoded;
  } cases[] = {
      {"a b", "a%20b"}, {"/", "%2F"}, {"\xE9", "%E9"}, {"file.txt", "file.txt"}, {"A-z_9~", "A%2Dz%5F9%7E"},
  };
  for (const Case &c : cases) {
    char out[64], back[64];
    EXPECT_STREQ(SYS_Str2Uri(c.plain, out), c.encoded);
    EXPECT_STREQ(SYS_Uri2Str(out, back), c.plain);
  }
  struct Decode {
    const char *text;
    const char *plain;
  } decodes[] = {
      {"%41", "A"}, {"%4a", "\x6A"}, {"%e9", "\xE9"}, {"x%", "x%"}, {"x%4", "x%4"}, {"%%41", "\xE4" "1"},
  };
  for (const Decode &d : decodes) {
    char out[16];
    std::memset(out, '#', sizeof out);
    EXPECT_STREQ(SYS_Uri2Str(d.text, out), d.plain) << d.text;
  }
  char out[4] = "###";
  EXPECT_STREQ(SYS_Str2Uri("", out), "");
  EXPECT_STREQ(SYS_Uri2Str("", out), "");
  const char *empty = "";  // an empty text comes back itself, out untouched
  EXPECT_EQ(SYS_Str2Uri(empty, out), empty);
  EXPECT_EQ(SYS_Uri2Str(empty, out), empty);
  EXPECT_STREQ(out, "###");
  EXPECT_EQ(SYS_Str2Uri(nullptr, out), nullptr);
  EXPECT_EQ(SYS_Uri2Str(nullptr, out), nullptr);
}

TEST(CoreStr, Replace)
{
  struct Case {
    const char *text, *pattern, *replacement, *result;
  } cases[] = {
      {"aaa", "aa", "b", "ba"},
      {"one two one", "one", "three", "three two three"},
      {"abc", "x", "yyyy", "abc"},
      {"abab", "ab", "", ""},
      {"", "a", "b", ""},
  };
  for (const Case &c : cases) {
    errSetLastError(3);
    char *r = SYS_StrRep(c.text, c.pattern, c.replacement);
    EXPECT_EQ(errGetLastError(), 0);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r, c.result);
    EXPECT_GE(SYS_MemSize(r), static_cast<int32_t>(std::strlen(c.result) + 1));
    SYS_MemFree(&r);
  }
  EXPECT_EQ(SYS_StrRep("abc", "", "x"), nullptr);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_StrRep(nullptr, "a", "x"), nullptr);
  EXPECT_EQ(errGetLastError(), 10);
}

TEST(CoreStr, InPlaceRoutines)
{
  struct Case {
    char *(*routine)(char *);
    const char *text, *result;
  } cases[] = {
      {SYS_Trim, "  a b  ", "a b"},     {SYS_Trim, "    ", ""},          {SYS_Trim, "\ta\t", "\ta\t"},
      {SYS_TrimLeft, "  a ", "a "},     {SYS_StrLwr, "AbZ\xC9", "abz\xC9"}, {SYS_StrUpr, "aBz\xE9", "ABZ\xE9"},
  };
  for (const Case &c : cases) {
    std::string text = c.text;
    EXPECT_STREQ(c.routine(text.data()), c.result) << '"' << c.text << '"';
  }
  char cut[] = "name#comment#more";
  EXPECT_STREQ(SYS_StrSwap(cut, '#', '\0'), "name");
  EXPECT_STREQ(cut + 5, "comment#more");
  char tabs[] = "a\tb\tc";
  EXPECT_STREQ(SYS_StrSwap(tabs, '\t', ' '), "a b c");
  EXPECT_EQ(SYS_Items("a,b,,c", ','), 3);
  EXPECT_EQ(SYS_Items(nullptr, ','), 0);
  EXPECT_EQ(SYS_Trim(nullptr), nullptr);
  EXPECT_EQ(SYS_StrLwr(nullptr), nullptr);
}
