// Fuzzing the widget loader: arbitrary descriptions load, take the events of a
// dialog, unload and give every tracked block back. Built as a libFuzzer target with
// KORV_LIBFUZZER (seed corpus in widget-corpus/: the shipped dialogs and those of the
// widget tests; dictionary widget.dict), and run here over a fixed-seed mutation of
// the corpus, so every test run (and the sanitizer build) exercises it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/main.h"
#include "base/mem.h"
#include "media/widget/widget.h"
#include "tests/media/widget_fixtures.h"

namespace {

// A press and release of the left button in the middle of w.
void Click(wm_window_t *window, const widget_item_t *w) {
  const int x = w->x + w->width / 2, y = w->y + w->height / 2;
  wm_event_t down = widget_test::Mouse(window, x, y, 1, WM_MOUSE_LEFT_DOWN);
  wdgWindowCallback(&down);
  wm_event_t up = widget_test::Mouse(window, x, y, 0, WM_MOUSE_LEFT_UP);
  wdgWindowCallback(&up);
}

// Loads data as a description, checks the set, runs it as a dialog does without a
// display (every widget but the WINDOW shown, disabled, enabled and clicked in its
// middle, then hidden: groups hand these on to their members) and unloads it; false
// on a broken invariant.
bool LoadOnce(const std::string &doc) {
  SYS_List_p set = wdgLoad(0, doc.c_str());
  bool ok = true;
  for (SYS_List_p n = set; n; n = n->next) {
    const widget_item_t *w = (const widget_item_t *)n->item;
    ok &= w && w->wclass && w->wclass->id == w->classId;
    ok &= w->classId != WDG_GROUP || (w->memberCount > 0 && w->members);
    ok &= !w->bitmap || !w->ownsBitmap || (w->bitmap->width > 0 && w->bitmap->height > 0);
  }
  if (!set) return ok;
  const widget_item_t *window = wdgGetClassItem(set, WDG_WINDOW);
  for (SYS_List_p n = set; n; n = n->next) {
    widget_item_t *w = (widget_item_t *)n->item;
    if (w->classId == WDG_WINDOW) continue;
    wdgShowItem(w);
    wdgDisable(w);
    wdgEnable(w);
    if (window && window->ownWindow) Click(window->ownWindow, w);
  }
  for (SYS_List_p n = set; n; n = n->next)
    if (((widget_item_t *)n->item)->classId != WDG_WINDOW) wdgHideItem((widget_item_t *)n->item);
  return wdgUnload(set) == 0 && ok;
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
#include <algorithm>
#include <filesystem>
#include <vector>

namespace {

TEST(WidgetFuzz, MutatedDescriptionsLoadAndReleaseEverything) {
  widget_test::StartFramework();
  const char *src = std::getenv("KORV_SOURCE_DIR");
  std::vector<std::string> seeds;
  for (const auto &entry : std::filesystem::directory_iterator(std::string(src ? src : "..") + "/tests/media/widget-corpus"))
    seeds.push_back(widget_test::ReadFile(entry.path()));
  ASSERT_GE(seeds.size(), 12u) << "the widget corpus is missing";
  std::sort(seeds.begin(), seeds.end());  // the folder's order is not fixed
  const char kPieces[] = "<>/=\" 019.-xX";
  uint32_t rng = 12345;
  auto next = [&rng] { return rng = rng * 1664525u + 1013904223u; };
  const long long before = widget_test::TrackedBytes();
  int broken = 0;
  for (int round = 0; round < 600; round++) {
    std::string doc = seeds[round % seeds.size()];
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
