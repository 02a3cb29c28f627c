// Widget sets without a display: loading, attribute parsing, lookups, the mouse
// logic of the classes (fed straight to the window callback), groups, unloading.
#include <unistd.h>

#include <cmath>

#include "media/widget/widget_private.h"
#include "tests/media/widget_fixtures.h"

namespace {

using namespace widget_test;

class WidgetUnit : public ::testing::Test {
 protected:
  void SetUp() override {
    StartFramework();
    g_seen.clear();
  }
  void TearDown() override {
    if (set_) wdgUnload(set_);
  }
  SYS_List_p Load(const char *xml) {
    set_ = wdgLoad(0, xml);
    return set_;
  }
  // Makes every widget but the WINDOW visible (showing the WINDOW needs a display).
  void ShowItems() {
    for (widget_item_t *w : Items(set_))
      if (w->classId != WDG_WINDOW) wdgShowItem(w);
  }
  wm_window_t *Window() { return wdgGetClassItem(set_, WDG_WINDOW)->ownWindow; }
  void Send(wm_event_t e) { wdgWindowCallback(&e); }

  SYS_List_p set_ = nullptr;
};

TEST_F(WidgetUnit, LoadsInDocumentOrderIgnoringCaseAndUnknownElements) {
  ASSERT_NE(Load("<?xml version=\"1.0\"?><dialog>\n"
                 "<window id=\"1\" width=\"300\" height=\"200\" title=\"t\"/>\n"
                 "<TEXTBOX ID=\"2\"/>\n"
                 "<Frame ID=\"3\" X=\"10\" Y=\"20\" WIDTH=\"30\" HEIGHT=\"40\"/>\n"
                 "<LABEL ID=\"4\" BOGUS=\"1\"/>\n"
                 "<LINE ID=\"3\" X2=\"9\"/>\n"
                 "</dialog>"),
            nullptr);
  std::vector<widget_item_t *> items = Items(set_);
  ASSERT_EQ(items.size(), 3u);  // TEXTBOX skipped, LABEL dropped by its unknown attribute
  EXPECT_EQ(items[0]->classId, WDG_WINDOW);
  EXPECT_EQ(items[0]->width, 300);
  EXPECT_STREQ(items[0]->title, "t");
  EXPECT_EQ(items[1]->classId, WDG_FRAME);
  EXPECT_EQ(items[2]->classId, WDG_LINE);
  // Serials count elements that matched a class, dropped ones included.
  EXPECT_EQ(items[1]->serial, items[0]->serial + 1);
  EXPECT_EQ(items[2]->serial, items[0]->serial + 3);
  // A second load goes on after the last serial of the first, so caption keys of
  // two sets never meet in the texture manager.
  SYS_List_p second = wdgLoad(0, "<WINDOW/><LABEL/>");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(Items(second)[0]->serial, items[2]->serial + 1);
  EXPECT_EQ(std::string(Items(second)[1]->name), "label-" + std::to_string(Items(second)[1]->serial));
  wdgUnload(second);
  // Same ID twice: the first in document order.
  EXPECT_EQ(wdgGetItem(set_, 3), items[1]);
  EXPECT_EQ(wdgGetItem(set_, 99), nullptr);
  EXPECT_EQ(errGetLastError(), 14);
  // Every widget after the WINDOW draws into its window, and the set is its user data.
  EXPECT_EQ(items[1]->parentWindow, items[0]->ownWindow);
  EXPECT_EQ((SYS_List_p)wmOptions(items[0]->ownWindow, WM_OPT_GETUSERDATA, 0), set_);
}

TEST_F(WidgetUnit, AttributeValuesParseByKeyword) {
  struct Case {
    const char *name, *value;
    int32_t widget_item_t::*field;
    int32_t want;
  } cases[] = {
      {"VALUE", "12", &widget_item_t::value, 12},
      {"value", "", &widget_item_t::value, 0},
      {"BGFILTER", "Mipmap_Linear", &widget_item_t::bgFilter, 3},
      {"BGFILTER", "nearest", &widget_item_t::bgFilter, 0},
      {"BGFILTER", "bilinear", &widget_item_t::bgFilter, 1},
      {"RESIZEABLE", "YES", &widget_item_t::resizeable, 1},
      {"RESIZEABLE", "Enable", &widget_item_t::resizeable, 1},
      {"RESIZEABLE", "2", &widget_item_t::resizeable, 0},
      {"DND", "1", &widget_item_t::dnd, 1},
      {"WIDTH", "42px", &widget_item_t::width, 42},
      {"X", "-7", &widget_item_t::x, -7},
      {"Y", "zz", &widget_item_t::y, 0},
      {"ID", "99999999999", &widget_item_t::id, INT32_MAX},
  };
  for (const Case &c : cases) {
    widget_item_t w{};
    w.value = w.bgFilter = w.resizeable = w.dnd = w.width = w.x = w.y = w.id = -12345;
    char *names[] = {const_cast<char *>(c.name)}, *values[] = {const_cast<char *>(c.value)};
    EXPECT_EQ(wdgParseAttributes(&w, 1, names, values, 1), 0) << c.name << "=" << c.value;
    EXPECT_EQ(w.*c.field, c.want) << c.name << "=" << c.value;
    wdgFreeFields(&w);
  }

  // VALUE: digits with dots are a float; a sign or a letter makes it text.
  struct Text {
    const char *value;
    float f;
    const char *text;
  } texts[] = {{"1.5", 1.5f, nullptr}, {"0.25", 0.25f, nullptr}, {"-3", 0, "-3"}, {"abc", 0, "abc"}};
  for (const Text &t : texts) {
    widget_item_t w{};
    char *names[] = {const_cast<char *>("VALUE")}, *values[] = {const_cast<char *>(t.value)};
    ASSERT_EQ(wdgParseAttributes(&w, 1, names, values, 1), 0);
    EXPECT_FLOAT_EQ(w.fvalue, t.f) << t.value;
    if (t.text) EXPECT_STREQ(w.tvalue, t.text);
    else EXPECT_EQ(w.tvalue, nullptr);
    EXPECT_EQ(w.value, 0) << t.value;
    wdgFreeFields(&w);
  }

  // Colours are RRGGBBAA, each byte / 255; later attributes win.
  widget_item_t w{};
  char *names[] = {const_cast<char *>("FGCOLOR"), const_cast<char *>("BGCOLOR"), const_cast<char *>("bgcolor"),
                   const_cast<char *>("ENCODING"), const_cast<char *>("BOLD")};
  char *values[] = {const_cast<char *>("FF800040"), const_cast<char *>("00000000"), const_cast<char *>("102030FF"),
                    const_cast<char *>("klingon"), const_cast<char *>("On")};
  ASSERT_EQ(wdgParseAttributes(&w, 5, names, values, 1), 0);
  EXPECT_FLOAT_EQ(w.style.fgcolor[0], 1.0f);
  EXPECT_NEAR(w.style.fgcolor[1], 128 / 255.0f, 1e-6);
  EXPECT_FLOAT_EQ(w.style.fgcolor[2], 0.0f);
  EXPECT_NEAR(w.style.fgcolor[3], 64 / 255.0f, 1e-6);
  EXPECT_NEAR(w.style.bgcolor[0], 16 / 255.0f, 1e-6);
  EXPECT_EQ(w.style.encoding, -1);  // unknown encoding: -1, error 10, parsing goes on
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(w.style.bold, 1);

  // Unknown names: strict parsing fails, lenient parsing skips them.
  char *bad[] = {const_cast<char *>("GCOLOR")}, *badValue[] = {const_cast<char *>("FFFFFFFF")};
  EXPECT_EQ(wdgParseAttributes(&w, 1, bad, badValue, 1), -1);
  EXPECT_EQ(wdgParseAttributes(&w, 1, bad, badValue, 0), 0);
  EXPECT_EQ(errGetLastError(), 10);
  wdgFreeFields(&w);
}

TEST_F(WidgetUnit, WordLookups) {
  EXPECT_EQ(wdgLookupEncoding("utf8"), 20);
  EXPECT_EQ(wdgLookupEncoding("Unicode"), 30);
  EXPECT_EQ(wdgLookupEncoding("iso88592"), 2);
  EXPECT_EQ(wdgLookupEncoding("ISO-8859-1"), 1);
  EXPECT_EQ(wdgLookupAlign("Middle"), 2);
  EXPECT_EQ(wdgLookupAlign("bottom"), 4);
  EXPECT_EQ(wdgLookupAlign("RIGHT"), 1);
  errClear();
  EXPECT_EQ(wdgLookupAlign("none"), -1);
  EXPECT_EQ(errGetLastError(), 0);  // "none" is a word, not a failure
  EXPECT_EQ(wdgLookupAlign("diagonal"), -1);
  EXPECT_EQ(errGetLastError(), 10);
  // Switches: "1" and the true words in any case are on, everything else off.
  const struct {
    const char *word;
    int32_t on;
  } switches[] = {
      {"1", 1},     {"true", 1}, {"TRUE", 1}, {"Yes", 1},  {"on", 1},  {"ENABLE", 1}, {"0", 0},      {"false", 0},
      {"FALSE", 0}, {"no", 0},   {"off", 0},  {"01", 0},   {"2", 0},   {"", 0},       {"truth", 0},  {nullptr, 0},
  };
  for (const auto &c : switches) EXPECT_EQ(wdgParseBool(c.word), c.on) << (c.word ? c.word : "(null)");
}

TEST_F(WidgetUnit, StylesCopyWholeAndOnlyFromStyles) {
  ASSERT_NE(Load("<WINDOW ID=\"1\"/>"
                 "<STYLE ID=\"5\" BAC=\"11223344\" TC=\"AABBCCDD\" BORDER=\"no\" FONT-SIZE=\"17\" UNKNOWN=\"x\"/>"
                 "<BUTTON ID=\"6\" FGCOLOR=\"FFFFFFFF\" STYLE=\"5\" BGCOLOR=\"01020304\"/>"
                 "<BUTTON ID=\"7\" STYLE=\"6\"/>"
                 "<FRAME ID=\"8\" STYLE=\"42\"/>"),
            nullptr);
  widget_item_t *style = wdgGetItem(set_, 5);
  ASSERT_NE(style, nullptr);  // unknown keys are skipped on a STYLE
  EXPECT_EQ(style->style.border, 0);
  EXPECT_EQ(style->style.background, 1);
  EXPECT_EQ(style->style.onMouse, 1);
  EXPECT_EQ(style->style.fontSize, 17);
  widget_item_t *button = wdgGetItem(set_, 6);
  ASSERT_NE(button, nullptr);
  // The style replaced what came before it (FGCOLOR), a later BGCOLOR overrides it.
  EXPECT_FLOAT_EQ(button->style.fgcolor[0], 0.0f);
  EXPECT_NEAR(button->style.borderLeft[0], 0x11 / 255.0f, 1e-6);
  EXPECT_NEAR(button->style.color[3], 0xDD / 255.0f, 1e-6);
  EXPECT_NEAR(button->style.bgcolor[3], 4 / 255.0f, 1e-6);
  EXPECT_EQ(button->style.border, 0);
  // STYLE naming a button or nothing drops the element.
  EXPECT_EQ(wdgGetItem(set_, 7), nullptr);
  EXPECT_EQ(wdgGetItem(set_, 8), nullptr);
}

TEST_F(WidgetUnit, RadioGroupsAndCheckBoxesFollowTheLeftButton) {
  ASSERT_NE(Load("<WINDOW ID=\"1\"/>"
                 "<RADIOBUTTON ID=\"10\" GID=\"2\" X=\"0\" Y=\"0\" WIDTH=\"50\" HEIGHT=\"20\" VALUE=\"1\"/>"
                 "<RADIOBUTTON ID=\"11\" GID=\"2\" X=\"0\" Y=\"20\" WIDTH=\"50\" HEIGHT=\"20\" VALUE=\"1\"/>"
                 "<RADIOBUTTON ID=\"12\" GID=\"2\" X=\"0\" Y=\"40\" WIDTH=\"50\" HEIGHT=\"20\"/>"
                 "<RADIOBUTTON ID=\"20\" GID=\"3\" X=\"100\" Y=\"0\" WIDTH=\"50\" HEIGHT=\"20\" VALUE=\"1\"/>"
                 "<CHECKBOX ID=\"30\" X=\"100\" Y=\"40\" WIDTH=\"50\" HEIGHT=\"20\"/>"),
            nullptr);
  wdgSetCallback(set_, Record);
  ShowItems();
  // In the description the last checked one of a group wins.
  EXPECT_EQ(wdgGetValue(wdgGetItem(set_, 10)), 0);
  EXPECT_EQ(wdgGetValue(wdgGetItem(set_, 11)), 1);

  // Clicking the first clears the later ones of its group, not the other group.
  Send(Mouse(Window(), 10, 10, 1, WM_MOUSE_LEFT_DOWN));
  EXPECT_EQ(wdgGetValue(wdgGetItem(set_, 10)), 1);
  EXPECT_EQ(wdgGetValue(wdgGetItem(set_, 11)), 0);
  EXPECT_EQ(wdgGetValue(wdgGetItem(set_, 12)), 0);
  EXPECT_EQ(wdgGetValue(wdgGetItem(set_, 20)), 1);

  // Check box: press toggles, each move while held toggles, release does not.
  g_seen.clear();
  wm_window_t *win = Window();
  Send(Mouse(win, 120, 50, 1, WM_MOUSE_LEFT_DOWN));
  EXPECT_EQ(wdgGetValue(wdgGetItem(set_, 30)), 1);
  Send(Mouse(win, 121, 50, 1));
  EXPECT_EQ(wdgGetValue(wdgGetItem(set_, 30)), 0);
  Send(Mouse(win, 121, 50, 0, WM_MOUSE_LEFT_UP));
  EXPECT_EQ(wdgGetValue(wdgGetItem(set_, 30)), 0);
  // The callback sees the new value; the WINDOW sees every mouse event too.
  std::vector<int32_t> values;
  for (const Seen &s : g_seen)
    if (s.id == 30) values.push_back(s.value);
  EXPECT_EQ(values, (std::vector<int32_t>{1, 0, 0}));
  EXPECT_EQ(std::count_if(g_seen.begin(), g_seen.end(), [](const Seen &s) { return s.id == 1; }), 3);

  // Edges are outside (strict test), and a disabled widget ignores the mouse.
  Send(Mouse(win, 100, 50, 1));
  Send(Mouse(win, 150, 50, 1));
  EXPECT_EQ(wdgGetValue(wdgGetItem(set_, 30)), 0);
  wdgDisable(wdgGetItem(set_, 30));
  Send(Mouse(win, 120, 50, 1));
  EXPECT_EQ(wdgGetValue(wdgGetItem(set_, 30)), 0);
  wdgEnable(wdgGetItem(set_, 30));
  Send(Mouse(win, 120, 50, 1));
  EXPECT_EQ(wdgGetValue(wdgGetItem(set_, 30)), 1);
}

TEST_F(WidgetUnit, OverlappingWidgetsAllSeeTheClickAndImagesReportLocalCoordinates) {
  ASSERT_NE(Load("<WINDOW ID=\"1\"/>"
                 "<IMG ID=\"2\" SRC=\"none.tga\" X=\"0\" Y=\"0\" WIDTH=\"200\" HEIGHT=\"200\"/>"
                 "<BUTTON ID=\"3\" X=\"10\" Y=\"10\" WIDTH=\"50\" HEIGHT=\"50\"/>"
                 "<BUTTON ID=\"4\" X=\"30\" Y=\"30\" WIDTH=\"50\" HEIGHT=\"50\"/>"),
            nullptr);
  wdgSetCallback(set_, Record);
  ShowItems();
  Send(Mouse(Window(), 40, 45, 1, WM_MOUSE_LEFT_DOWN));
  std::vector<int32_t> ids;
  for (const Seen &s : g_seen) ids.push_back(s.id);
  EXPECT_EQ(ids, (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(g_seen[1].x, 40 - 0 - 1);  // the image's user sees widget-local values
  EXPECT_EQ(g_seen[1].y, 45 - 0 - 1);
  EXPECT_EQ(g_seen[2].x, 40);  // the widgets after it see the event unchanged
  EXPECT_EQ(g_seen[3].x, 40);
  EXPECT_EQ(wdgGetItem(set_, 3)->pressed, 1);
  EXPECT_EQ(wdgGetItem(set_, 4)->pressed, 1);
  // Moving away clears hover and pressed of the buttons it leaves.
  Send(Mouse(Window(), 70, 70, 1));
  EXPECT_EQ(wdgGetItem(set_, 3)->hover, 0);
  EXPECT_EQ(wdgGetItem(set_, 3)->pressed, 0);
  EXPECT_EQ(wdgGetItem(set_, 4)->hover, 1);
}

TEST_F(WidgetUnit, GroupsPassEventsToMembersAndNestedGroups) {
  ASSERT_NE(Load("<WINDOW ID=\"1\"/>"
                 "<GROUP ID=\"50\" WID=\"51\" WID=\"3\" WID=\"4\"/>"
                 "<GROUP ID=\"51\" wid=\"5\" WID=\"6\" WID=\"777\"/>"
                 "<GROUP ID=\"52\"/>"
                 "<GROUP ID=\"53\" WID=\"54\"/>"
                 "<GROUP ID=\"54\" WID=\"53\" WID=\"3\"/>"
                 "<BUTTON ID=\"3\"/><BUTTON ID=\"4\"/><BUTTON ID=\"5\"/><BUTTON ID=\"6\"/>"),
            nullptr);
  EXPECT_EQ(wdgGetItem(set_, 52), nullptr);  // a group without members does not load
  ASSERT_NE(wdgGetItem(set_, 50), nullptr);
  EXPECT_EQ(wdgGetItem(set_, 51)->memberCount, 3);
  ShowItems();
  wdgHideItem(wdgGetItem(set_, 50));
  // The inner group hides its members; the rest of the outer list is left alone.
  EXPECT_EQ(wdgGetItem(set_, 5)->visible, 0);
  EXPECT_EQ(wdgGetItem(set_, 6)->visible, 0);
  EXPECT_EQ(wdgGetItem(set_, 3)->visible, 1);
  EXPECT_EQ(wdgGetItem(set_, 4)->visible, 1);
  wdgDisable(wdgGetItem(set_, 51));
  EXPECT_EQ(wdgGetItem(set_, 5)->disabled, 1);
  // Groups naming each other end instead of passing the event around for ever.
  wdgDisable(wdgGetItem(set_, 53));
  EXPECT_EQ(wdgGetItem(set_, 3)->disabled, 0);
}

TEST_F(WidgetUnit, NullArgumentsAndSetters) {
  EXPECT_EQ(wdgUnload(nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(wdgShow(nullptr), -1);
  EXPECT_EQ(wdgGetValue(nullptr), -1);
  EXPECT_FLOAT_EQ(wdgGetFloatValue(nullptr), -1.0f);
  EXPECT_EQ(wdgGetTextValue(nullptr), nullptr);
  EXPECT_EQ(wdgSetCallback(nullptr, Record), -1);
  EXPECT_EQ(wdgSetText(nullptr, "x"), -1);

  ASSERT_NE(Load("<WINDOW ID=\"1\"/><LINE ID=\"2\" X=\"1\" Y=\"2\"/>"), nullptr);
  widget_item_t *line = wdgGetItem(set_, 2);
  EXPECT_EQ(wdgSetCallback(set_, nullptr), -1);
  EXPECT_EQ(wdgSetText(line, nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(wdgSetText(line, "caption"), 0);
  EXPECT_STREQ(line->title, "caption");
  EXPECT_EQ(wdgSetPos(line, 7, 8), 0);
  int32_t x = 0, y = 0;
  EXPECT_EQ(wdgGetPos(line, &x, nullptr), 0);
  EXPECT_EQ(x, 7);
  EXPECT_EQ(wdgGetPos(line, nullptr, &y), 0);
  EXPECT_EQ(y, 8);
  EXPECT_EQ(wdgSetBorderLeftText(line, "000000FF"), 0);
  EXPECT_EQ(wdgSetColor(line, 255, 0, 51, 255), 0);
  EXPECT_FLOAT_EQ(line->style.color[0], 255 * 0.003921569f);
  EXPECT_FLOAT_EQ(line->style.color[2], 51 * 0.003921569f);
  EXPECT_FLOAT_EQ(line->style.borderLeft[3], 255 * 0.003921569f);
  EXPECT_EQ(wdgGetClassItem(set_, WDG_PROGRESS), nullptr);
  EXPECT_EQ(errGetLastError(), 14);

  // A record without class takes the text but reports it.
  widget_item_t bare{};
  EXPECT_EQ(wdgSetText(&bare, "t"), 0);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(wdgUpdate(&bare), -1);
  wdgFreeFields(&bare);

  // A set without WINDOW loads, but has no window to show or draw in.
  SYS_List_p windowless = wdgLoad(0, "<LINE ID=\"1\"/><FRAME ID=\"2\"/>");
  ASSERT_NE(windowless, nullptr);
  EXPECT_EQ(errGetLastError(), 14);
  EXPECT_EQ(wdgDraw(windowless), -1);
  EXPECT_EQ(errGetLastError(), 14);
  EXPECT_EQ(wdgUnload(windowless), 0);
  EXPECT_EQ(wdgLoad(0, ""), nullptr);
}

TEST_F(WidgetUnit, UnloadReleasesEveryBlock) {
  const long long before = TrackedBytes();
  SYS_List_p set = wdgLoad(0,
                           "<WINDOW ID=\"1\" TITLE=\"memory\" BG=\"none.tga\"/>"
                           "<STYLE ID=\"2\" FONT-PATH=\"none.ttf\" FONT-ENCODING=\"utf8\"/>"
                           "<LABEL ID=\"3\" STYLE=\"2\" TITLE=\"a\" FONTNAME=\"other.ttf\"/>"
                           "<BUTTON ID=\"4\" TITLE=\"b\" VALUE=\"text\"/>"
                           "<CHECKBOX ID=\"5\" TITLE=\"c\"/><PROGRESS ID=\"6\" NAME=\"bar\"/>"
                           "<GROUP ID=\"7\" WID=\"3\"/><IMG ID=\"8\" SRC=\"none.tga\"/>"
                           "<LABEL ID=\"9\" FONTID=\"404\" TITLE=\"dropped\"/>");
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(Items(set).size(), 8u);
  EXPECT_STREQ(wdgGetItem(set, 6)->name, "bar");
  EXPECT_EQ(wdgUnload(set), 0);
  EXPECT_EQ(TrackedBytes(), before);
}

}  // namespace
