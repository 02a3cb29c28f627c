// libFuzzer harness of the config-file reader: arbitrary bytes read into a table of
// every variable type give values of their type, never read past a line, and leave
// the caller one tracked copy per text variable however often the file names it.
#include <cstdint>
#include <cstring>

#include "base/cfg.h"
#include "base/main.h"
#include "base/mem.h"
#include "tests/common/fuzz_util.h"

namespace {

long g_callbacks;

void OnValue(const char *value) {
  fuzz::Expect(value != nullptr && std::strlen(value) < 2048, "callback value within a line");
  g_callbacks++;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const bool up = SYS_BaseInit(nullptr, 0, nullptr, nullptr) == 0;
  fuzz::Expect(up, "framework start");
  if (!fuzz::WriteInput("fuzz.cfg", data, size)) return 0;
  fuzz::GivesBackWhatItTakes([&] {
    int32_t flag = 7, number = 0, hidden = 0;
    float real = 0;
    char *text = nullptr;
    SYS_CFG_t table[] = {
        {"flag", &flag, SYS_CFG_FLAG, nullptr},
        {"text", &text, SYS_CFG_TEXT, nullptr},
        {"number", &number, SYS_CFG_INT, nullptr},
        {"real", &real, SYS_CFG_FLOAT, nullptr},
        {"call", reinterpret_cast<void *>(OnValue), SYS_CFG_CALLBACK, &hidden},
        {"", &number, SYS_CFG_INT, nullptr},
        {nullptr, nullptr, 0, nullptr},
    };
    fuzz::Expect(SYS_CfgLoad("fuzz.cfg", table) == 0, "an existing file loads");
    fuzz::Expect(flag == 7 || flag == 0 || flag == 1, "a flag reads 0 or 1");
    if (text) {
      fuzz::Expect(std::strlen(text) < 2048, "text within a line");
      SYS_MemFree(&text);
    }
    // The writer's lines read back as the values they were written from.
    hidden = 0;
    if (SYS_CfgSave("fuzz-out.cfg", table) == 0) {
      const int32_t savedFlag = flag, savedNumber = number;
      flag = 9, number = ~savedNumber;
      fuzz::Expect(SYS_CfgLoad("fuzz-out.cfg", table) == 0, "a written file loads");
      fuzz::Expect(flag == (savedFlag != 0) && number == savedNumber, "written values read back");
      SYS_MemFree(&text);
    }
  });
  return 0;
}
