// Fuzzing the widget loader: arbitrary descriptions load, unload and give every
// tracked block back. Built as a libFuzzer target with KORV_LIBFUZZER (seed corpus
// in widget-corpus/), and run here over a fixed-seed mutation of the shipped
// dialogs, so every test run (and the sanitizer build) exercises it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/main.h"
#include "base/mem.h"
#include "media/widget/widget.h"

namespace {

// Loads data as a description and checks the set; false on a broken invariant.
bool LoadOnce(const std::string &doc) {
  SYS_List_p set = wdgLoad(0, doc.c_str());
  bool ok = true;
  for (SYS_List_p n = set; n; n = n->next) {
    const widget_item_t *w = (const widget_item_t *)n->item;
    ok &= w && w->wclass && w->wclass->id == w->classId;
    ok &= w->classId != WDG_GROUP || (w->memberCount > 0 && w->members);
    ok &= !w->bitmap || !w->ownsBitmap || (w->bitmap->width > 0 && w->bitmap->height > 0);
  }
  if (set) ok &= wdgUnload(set) == 0;
  return ok;
}

}  // namespace

#ifdef KORV_LIBFUZZER
#include "tests/common/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const bool up = SYS_BaseInit(nullptr, 0, nullptr, nullptr) == 0;
  fuzz::Expect(up, "framework start");
  const std::string doc((const char *)data, size);
  fuzz::GivesBackWhatItTakes([&] { fuzz::Expect(LoadOnce(doc), "a loaded set holds sound widgets and unloads"); });
  return 0;
}
#else
#include <fstream>
#include <sstream>

#include "tests/media/widget_fixtures.h"

namespace {

std::string Shipped(const char *name) {
  const char *src = std::getenv("KORV_SOURCE_DIR");
  std::ifstream in(std::string(src ? src : "..") + "/data/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(WidgetFuzz, MutatedDescriptionsLoadAndReleaseEverything) {
  widget_test::StartFramework();
  const std::string seeds[] = {
      Shipped("cfg.xml"),
      Shipped("msgbox.xml"),
      "<WINDOW ID=\"1\"/><GROUP ID=\"2\" WID=\"3\" WID=\"2\"/><STYLE ID=\"3\" BAC=\"FFFFFFFF\"/>"
      "<PROGRESS ID=\"4\" VALUE=\"0.5\" STYLE=\"3\"/><RADIOBUTTON GID=\"1\" VALUE=\"1\"/>",
  };
  ASSERT_GT(seeds[0].size(), 1000u) << "the shipped cfg.xml is missing";
  const char kPieces[] = "<>/=\" 019.-xX";
  uint32_t rng = 12345;
  auto next = [&rng] { return rng = rng * 1664525u + 1013904223u; };
  const long long before = widget_test::TrackedBytes();
  int broken = 0;
  for (int round = 0; round < 300; round++) {
    std::string doc = seeds[round % 3];
    const int edits = 1 + (int)(next() % 24);
    for (int e = 0; e < edits && !doc.empty(); e++) {
      size_t at = next() % doc.size();
      switch (next() % 4) {
        case 0: doc[at] = kPieces[next() % (sizeof kPieces - 1)]; break;
        case 1: doc.insert(at, 1, kPieces[next() % (sizeof kPieces - 1)]); break;
        case 2: doc.erase(at, 1 + next() % 16); break;
        default: doc.insert(at, doc.substr(next() % doc.size(), 1 + next() % 64)); break;
      }
    }
    broken += !LoadOnce(doc);
  }
  EXPECT_EQ(broken, 0);
  EXPECT_EQ(widget_test::TrackedBytes(), before);
}

}  // namespace
#endif
