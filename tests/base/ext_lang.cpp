// Language phrase table: the line rules, first-wins and CRC matching, the key
// fallback, the error codes and memory balance.
#include <string>

#include "base/file.h"
#include "base/lang.h"
#include "base/log.h"
#include "base/z.h"
#include "ext_util.h"

namespace {

// Phrase files live in the program directory; the name is per process because
// the tests run in parallel.
class ExtLang : public ext::BaseTest {
 protected:
  std::string name = "ext-lang-" + std::to_string(getpid()) + ".txt";
  std::string path;

  void SetUp() override {
    ext::BaseTest::SetUp();
    char *p = SYS_PathGet(1, name.c_str());
    ASSERT_NE(p, nullptr);
    path = p;
    SYS_MemFree(&p);
  }
  void TearDown() override {
    std::remove(path.c_str());
    ext::BaseTest::TearDown();
  }
  SYS_List_p Load(const std::string &text) {
    ext::WriteAll(path, text);
    return SYS_LangSetFile(name.c_str());
  }
};

TEST_F(ExtLang, LineRulesAndLookups) {
  ext::Tracked before = Count();
  SYS_List_p t = Load(
      "# comment line\n"
      "\n"
      "hello = \"Hallo Welt\"\n"
      "   indented=\"eingerueckt\"\r\n"
      "hello = \"second wins not\"\n"
      "two words = \"only the first word\"\n"
      "noquotes = plain\n"
      "hash = \"before # after\"\n"
      "eq = \"a=b\"\n"
      "tabbed\t= \"tab stays in the key\"\n"
      "      \n"
      "last=\"no line end\"");
  ASSERT_NE(t, nullptr);
  struct Case {
    const char *key, *phrase;
  } cases[] = {
      {"hello", "Hallo Welt"},  {"indented", "eingerueckt"}, {"two", "only the first word"},
      {"noquotes", ""},         {"hash", "before "},                {"eq", "a"},
      {"tabbed\t", "tab stays in the key"},                  {"last", "no line end"},
  };
  for (const Case &c : cases) {
    const char *p = SYS_LangGetPhrase(t, c.key);
    ASSERT_NE(p, nullptr) << c.key;
    EXPECT_STREQ(p, c.phrase) << c.key;
    EXPECT_NE(p, c.key);
  }
  // Unknown keys, and the part of a key after its blank, answer with the key itself.
  for (const char *key : {"missing", "words", "# comment line", ""}) {
    EXPECT_EQ(SYS_LangGetPhrase(t, key), key) << key;
    EXPECT_EQ(errGetLastError(), 0);
  }
  int items = 0;
  for (SYS_List_p n = t; n; n = n->next) items++;
  EXPECT_EQ(items, 9);  // comments and blank lines make none; the repeated key does
  EXPECT_EQ(SYS_LangDestroy(t), 0);
  EXPECT_EQ(Count(), before);
}

TEST_F(ExtLang, KeysMatchByCrcOnly) {
  // "plumless" and "buckeroo" share their CRC-32, so the first item answers both.
  ASSERT_EQ(SYS_ZCrc32("plumless", 8), SYS_ZCrc32("buckeroo", 8));
  SYS_List_p t = Load("plumless = \"first\"\nbuckeroo = \"second\"\n");
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(SYS_LangGetPhrase(t, "buckeroo"), "first");
  EXPECT_STREQ(SYS_LangGetPhrase(t, "plumless"), "first");
  SYS_LangDestroy(t);
}

TEST_F(ExtLang, MissingEmptyAndBadArguments) {
  EXPECT_EQ(SYS_LangSetFile("no-such-file.txt"), nullptr);
  EXPECT_EQ(errGetLastError(), 1);
  EXPECT_EQ(Load("# only comments\n\n   \n"), nullptr);
  EXPECT_EQ(errGetLastError(), 0);
  EXPECT_EQ(SYS_LangSetFile(nullptr), nullptr);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_LangDestroy(nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
  SYS_List_p t = Load("a=\"b\"\n");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(SYS_LangGetPhrase(nullptr, "a"), nullptr);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_LangGetPhrase(t, nullptr), nullptr);
  EXPECT_EQ(errGetLastError(), 10);
  SYS_LangDestroy(t);
}

TEST_F(ExtLang, LongLinesAndManyItems) {
  std::string text;
  for (int i = 0; i < 3000; i++) text += "key" + std::to_string(i) + " = \"phrase " + std::to_string(i) + "\"\n";
  text += "long = \"" + std::string(5000, 'x') + "\"\n";  // longer than a line: cut, no overrun
  SYS_List_p t = Load(text);
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(SYS_LangGetPhrase(t, "key2999"), "phrase 2999");
  EXPECT_STREQ(SYS_LangGetPhrase(t, "key0"), "phrase 0");
  const char *longPhrase = SYS_LangGetPhrase(t, "long");
  EXPECT_EQ(longPhrase[0], 'x');
  EXPECT_LT(strlen(longPhrase), 4096u);
  SYS_LangDestroy(t);
}

}  // namespace
