// libFuzzer harness of the phrase-table reader: arbitrary bytes as the language file
// give items whose texts fit their line, lookups that answer from the table or with
// the key, and a table that gives every tracked block back.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "base/file.h"
#include "base/lang.h"
#include "base/main.h"
#include "base/mem.h"
#include "tests/common/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static std::string name;
  if (name.empty()) {
    static const char *argv[] = {"fuzz-lang"};
    fuzz::Expect(SYS_BaseInit(nullptr, 1, argv, nullptr) == 0, "framework start");
    // The table is named from the program's folder; the input is written here.
    char *p = SYS_PathGet(1, "");
    fuzz::Expect(p != nullptr, "program folder");
    name = std::filesystem::relative(std::filesystem::current_path() / "fuzz-phrases.txt", p).string();
    SYS_MemFree(&p);
  }
  if (!fuzz::WriteInput("fuzz-phrases.txt", data, size)) return 0;
  fuzz::GivesBackWhatItTakes([&] {
    SYS_List_p table = SYS_LangSetFile(name.c_str());
    long items = 0;
    for (SYS_List_p n = table; n; n = n->next, items++) {
      const SYS_LangItem_t *item = static_cast<const SYS_LangItem_t *>(n->item);
      fuzz::Expect(item && item->key && item->phrase, "items hold both texts");
      fuzz::Expect(std::strlen(item->key) <= size && std::strlen(item->phrase) <= size, "texts come from the file");
      const char *phrase = SYS_LangGetPhrase(table, item->key);
      fuzz::Expect(phrase != nullptr, "a listed key has a phrase");
    }
    const char *missing = SYS_LangGetPhrase(table, "no such key in any table \x01");
    fuzz::Expect(!table || missing != nullptr, "an unknown key answers");
    if (table) fuzz::Expect(SYS_LangDestroy(table) == 0, "the table is released");
    fuzz::Expect(items <= (long)size, "one item per line at most");
  });
  return 0;
}
