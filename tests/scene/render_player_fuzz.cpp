// Fuzzing the project file reader: arbitrary bytes loaded as a project must give 0
// or -1 and never read outside the file. Built as a libFuzzer target with
// KORV_LIBFUZZER, and run here over every truncation and a fixed-seed set of byte
// changes of a valid project. The filter count is forced to 0, because a filter
// that cannot be opened ends the run by design.
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "scene/player.h"
#include "tests/scene/render_recorder.h"

namespace {

const char kPath[] = "fuzz.prj";

int LoadBytes(const uint8_t *data, size_t size) {
  std::string bytes((const char *)data, size);
  if (bytes.size() >= 280) bytes.replace(276, 4, 4, '\0');
  FILE *f = std::fopen(kPath, "wb");
  if (!f) return 0;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  rtest::Calls().clear();
  TVX_Project project;
  const int r = ProjectLoad(&project, kPath);
  ProjectFree(&project);
  return r;
}

// A valid project: two scene names, three operators with 0, 1 and 2 keys.
std::string Seed() {
  std::string b;
  auto i32 = [&](int32_t v) {
    for (int k = 0; k < 4; k++) b += (char)((uint32_t)v >> (8 * k));
  };
  auto name = [&](const std::string &s) {
    b += (char)s.size();
    b += s;
    b.append(255 - s.size(), '\0');
  };
  name("seed");
  for (int32_t v : {0, 0, 0, 0, 2, 0, 3}) i32(v);
  name("x\\a.qlv");
  name("b.qlv");
  for (int32_t keys = 0; keys < 3; keys++) {
    i32(1000 + keys);
    i32(0);
    b.append(32, '\x01');
    i32(0);
    i32(keys);
    name("op");
  }
  for (int k = 0; k < 3; k++)
    for (int32_t v : {0, 10, 1, 0, 500, 1000}) i32(v);
  return b;
}

}  // namespace

#ifdef KORV_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static bool ready = false;
  if (!ready) {
    static const char *argv[] = {"fuzz-scene-project"};
    SYS_BaseInit(nullptr, 1, argv, nullptr);
    rtest::Install();
    ready = true;
  }
  LoadBytes(data, size);
  return 0;
}
#else
namespace {

class ProjectFuzz : public rtest::Fixture {};

TEST_F(ProjectFuzz, TruncationsAndDamagedBytesNeverFault) {
  const std::string seed = Seed();
  ASSERT_EQ(LoadBytes((const uint8_t *)seed.data(), seed.size()), -1);  // the scenes it names are missing
  int accepted = 0;
  for (size_t n = 0; n < seed.size(); n++) {
    const int r = LoadBytes((const uint8_t *)seed.data(), n);
    EXPECT_TRUE(r == 0 || r == -1);
    accepted += r == 0;
  }
  EXPECT_EQ(accepted, 0);  // every truncation of this project is short of its counts
  std::mt19937 random(1234);
  const size_t fields[] = {272, 273, 275, 280, 283, 284 + 512 + 44, 284 + 512 + 304 + 47, 284 + 512 + 608 + 44};
  for (int round = 0; round < 400; round++) {
    std::string bytes = seed;
    const int changes = 1 + (int)(random() % 4);
    for (int c = 0; c < changes; c++) {
      const size_t at = random() % 2 ? fields[random() % 8] : random() % bytes.size();
      bytes[at] = (char)random();
    }
    const int r = LoadBytes((const uint8_t *)bytes.data(), bytes.size());
    EXPECT_TRUE(r == 0 || r == -1);
  }
}

}  // namespace
#endif
