// Widgets on a real display (Xvfb, llvmpipe): what the classes draw, read back
// from the back buffer before the swap, and events pushed through SDL reaching the
// widgets through the window manager.
#include <SDL.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "media/font/FR.h"
#include "media/texture/TL.h"
#include "media/texture/TM.h"
#include "media/widget/widget_private.h"
#include "media/window/gl_stub.h"
#include "platform/window.h"
#include "tests/common/pushed_events.h"
#include "tests/media/widget_fixtures.h"

namespace {

using namespace widget_test;
namespace fs = std::filesystem;

constexpr const char *kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct Rgb {
  int r, g, b;
};

class WidgetGL : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    StartFramework();
    ASSERT_EQ(wmInit(), 0);
    ASSERT_EQ(gl_stub(), 0);
    ASSERT_EQ(glu_stub(), 0);
    ASSERT_EQ(ftInit(), 0);
    tmInit();
    txOptions(3, 1);
    g_seen.clear();
    dir_ = fs::temp_directory_path() / ("korv-widget-gl-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    fs::current_path(dir_);
  }
  void TearDown() override {
    if (!std::getenv("DISPLAY")) return;
    if (set_) wdgUnload(set_);
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(dir_);
  }
  SYS_List_p LoadAndShow(const std::string &xml) {
    set_ = wdgLoad(0, xml.c_str());
    if (set_) wdgShow(set_);
    return set_;
  }
  widget_item_t *Window() { return wdgGetClassItem(set_, WDG_WINDOW); }
  // Draws every widget as wdgDraw does, but reads back before the swap.
  void DrawNoSwap() {
    ASSERT_EQ(wmMakeCurrent(Window()->ownWindow), 1);
    for (widget_item_t *w : Items(set_)) wdgSend(w, WDG_EVENT_DRAW);
    wmGL.glFinish();
  }
  // Pixel at (x, y) in window coordinates (y down).
  Rgb Pixel(int x, int y) {
    unsigned char px[4] = {};
    int h = (int)wmOptions(Window()->ownWindow, WM_OPT_HEIGHT, 0);
    wmGL.glReadBuffer(GL_BACK);
    wmGL.glReadPixels(x, h - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    return {px[0], px[1], px[2]};
  }
  int LitPixels(int x0, int y0, int x1, int y1) {
    int lit = 0;
    for (int y = y0; y < y1; y++)
      for (int x = x0; x < x1; x++) {
        Rgb p = Pixel(x, y);
        lit += p.r + p.g + p.b > 200;
      }
    return lit;
  }
  template <typename P>
  bool PumpUntil(P pred) {
    for (int i = 0; i < 100; ++i) {
      wdgProcess(set_);
      if (pred()) return true;
      SDL_Delay(10);
    }
    return false;
  }

  fs::path dir_;
  SYS_List_p set_ = nullptr;
};

void ExpectColor(Rgb got, Rgb want, const char *what) {
  EXPECT_NEAR(got.r, want.r, 2) << what;
  EXPECT_NEAR(got.g, want.g, 2) << what;
  EXPECT_NEAR(got.b, want.b, 2) << what;
}

TEST_F(WidgetGL, FramesBoxesAndCaptionsDrawWhereTheDescriptionPutsThem) {
  const std::string xml = std::string("<WINDOW ID=\"1\" WIDTH=\"200\" HEIGHT=\"120\" BGCOLOR=\"000000FF\"/>") +
                          "<FONT ID=\"2\" NAME=\"" + kFont + "\" FONTNAME=\"" + kFont +
                          "\" SIZE=\"16\" ENCODING=\"ISO-8859-1\"/>"
                          "<STYLE ID=\"3\" BAC=\"00FF00FF\" BC=\"FF0000FF\"/>"
                          "<STYLE ID=\"4\" FC=\"FFFFFFFF\" BC=\"0000FFFF\" BORDER=\"no\" BACKGROUND=\"no\"/>"
                          "<FRAME ID=\"5\" X=\"10\" Y=\"10\" WIDTH=\"40\" HEIGHT=\"30\" STYLE=\"3\"/>"
                          "<CHECKBOX ID=\"6\" X=\"60\" Y=\"10\" WIDTH=\"20\" HEIGHT=\"20\" STYLE=\"4\" VALUE=\"1\"/>"
                          "<CHECKBOX ID=\"7\" X=\"90\" Y=\"10\" WIDTH=\"20\" HEIGHT=\"20\" STYLE=\"4\"/>"
                          "<LABEL ID=\"8\" X=\"10\" Y=\"60\" WIDTH=\"120\" HEIGHT=\"30\" FONTID=\"2\" "
                          "COLOR=\"FFFFFFFF\" TITLE=\"Hello\"/>";
  ASSERT_NE(LoadAndShow(xml), nullptr);
  ASSERT_EQ(Items(set_).size(), 8u);
  DrawNoSwap();
  ExpectColor(Pixel(30, 25), {255, 0, 0}, "frame inside");
  ExpectColor(Pixel(10, 25), {0, 255, 0}, "frame left border");
  ExpectColor(Pixel(30, 10), {0, 255, 0}, "frame top border");
  ExpectColor(Pixel(5, 25), {0, 0, 0}, "window background");
  // Box top b = top - (20 - 10) / 2: the mark's 5 x 5 square sits 3 to 8 below it.
  ExpectColor(Pixel(60 + 10, 10 + 5 + 5), {255, 255, 255}, "mark of the checked box");
  ExpectColor(Pixel(90 + 10, 10 + 5 + 5), {0, 0, 255}, "inside of the clear box");
  ExpectColor(Pixel(90 + 5, 10 + 5 + 5), {255, 255, 255}, "outline of the clear box");
  widget_item_t *label = wdgGetItem(set_, 8);
  EXPECT_GT(label->textWidth, 20);
  EXPECT_GT(label->textHeight, 8);
  EXPECT_GT(LitPixels(10, 60, 10 + label->textWidth, 60 + label->textHeight), 20);
  EXPECT_EQ(LitPixels(10 + label->textWidth + 2, 60, 130, 90), 0);

  // A new text renders at the next update; an empty one leaves nothing to see.
  EXPECT_EQ(wdgSetText(label, "Hello, a much longer caption"), 0);
  EXPECT_GT(label->textWidth, 100);
  EXPECT_LE(label->textWidth, 120);  // cut to the label's own bitmap
}

TEST_F(WidgetGL, ImageButtonsShowTheQuarterOfTheirState) {
  // 64 x 128 image, four stacked 32-row states: red, green, blue, white.
  const Rgb states[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  txBitmap *image = txCreateDummy(0, 64, 128);
  ASSERT_NE(image, nullptr);
  for (int y = 0; y < 128; y++)
    for (int x = 0; x < 64; x++) {
      uint8_t *p = image->image[0] + 3 * (y * 64 + x);
      p[0] = (uint8_t)states[y / 32].b;
      p[1] = (uint8_t)states[y / 32].g;
      p[2] = (uint8_t)states[y / 32].r;
    }
  ASSERT_EQ(tgaWrite("states.tga", image), 0);
  txFree(&image);
  ASSERT_NE(LoadAndShow("<WINDOW ID=\"1\" WIDTH=\"200\" HEIGHT=\"100\"/>"
                        "<BUTTON ID=\"2\" SRC=\"states.tga\" X=\"20\" Y=\"20\" WIDTH=\"10\" HEIGHT=\"90\" "
                        "FGCOLOR=\"FFFFFFFF\"/>"),
            nullptr);
  widget_item_t *button = wdgGetItem(set_, 2);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->width, 64);
  EXPECT_EQ(button->height, 32);
  struct Step {
    int hover, pressed, disabled, state;
  } steps[] = {{0, 0, 0, 0}, {1, 0, 0, 1}, {1, 1, 0, 2}, {1, 1, 1, 3}};
  for (const Step &s : steps) {
    button->hover = s.hover;
    button->pressed = s.pressed;
    button->disabled = s.disabled;
    DrawNoSwap();
    ExpectColor(Pixel(20 + 32, 20 + 16), states[s.state], "state quarter");
    ExpectColor(Pixel(20 + 32, 20 + 2), states[s.state], "top rows of the quarter");
  }
}

TEST_F(WidgetGL, PushedEventsReachTheWidgets) {
  ASSERT_NE(LoadAndShow("<WINDOW ID=\"1\" WIDTH=\"240\" HEIGHT=\"160\" TITLE=\"widget events\"/>"
                        "<BUTTON ID=\"2\" X=\"20\" Y=\"20\" WIDTH=\"80\" HEIGHT=\"30\"/>"
                        "<CHECKBOX ID=\"3\" X=\"20\" Y=\"80\" WIDTH=\"80\" HEIGHT=\"30\"/>"),
            nullptr);
  wdgSetCallback(set_, Record);
  PumpUntil([] { return false; });
  const OnlyPushedMouseEvents onlyPushed;
  g_seen.clear();
  const Uint32 id = platWindowId(Window()->ownWindow->handle);
  ASSERT_EQ(PushClick(id, 40, 90), 1);
  ASSERT_EQ(PushButton(id, SDL_MOUSEBUTTONDOWN, 50, 30), 1);
  ASSERT_EQ(PushKey(id, SDL_KEYUP, SDL_SCANCODE_ESCAPE), 1);
  ASSERT_TRUE(PumpUntil([] {
    return std::any_of(g_seen.begin(), g_seen.end(), [](const Seen &s) { return s.type == WM_EVENT_KEY; });
  }));
  EXPECT_EQ(wdgGetValue(wdgGetItem(set_, 3)), 1);  // pressed once, released once
  EXPECT_EQ(wdgGetItem(set_, 2)->pressed, 1);
  int boxEvents = 0, buttonEvents = 0;
  for (const Seen &s : g_seen) {
    boxEvents += s.id == 3;
    buttonEvents += s.id == 2;
  }
  EXPECT_EQ(boxEvents, 2);
  EXPECT_EQ(buttonEvents, 1);
  // The key went to the WINDOW only.
  EXPECT_EQ(g_seen.back().id, 1);
  // Hidden, the widgets no longer take the mouse.
  wdgHide(set_);
  wm_event_t click = Mouse(Window()->ownWindow, 40, 90, 1);
  wdgWindowCallback(&click);
  EXPECT_EQ(wdgGetValue(wdgGetItem(set_, 3)), 1);
}

TEST_F(WidgetGL, AWindowWithoutPositionIsCentredOnTheScreen) {
  ASSERT_NE(set_ = wdgLoad(0, "<WINDOW ID=\"1\"/>"), nullptr);
  const int32_t sw = (int32_t)wmOptions(nullptr, WM_OPT_SCREENWIDTH, 0);
  const int32_t sh = (int32_t)wmOptions(nullptr, WM_OPT_SCREENHEIGHT, 0);
  ASSERT_GT(sw, 0);
  EXPECT_EQ(Window()->x, (sw - 640) / 2);
  EXPECT_EQ(Window()->y, (sh - 480) / 2);
  EXPECT_EQ(Window()->width, 640);
  EXPECT_EQ(Window()->height, 480);
}

TEST_F(WidgetGL, ProgressBarsFillToTheirValue) {
  ASSERT_NE(LoadAndShow("<WINDOW ID=\"1\" WIDTH=\"200\" HEIGHT=\"60\" BGCOLOR=\"000000FF\"/>"
                        "<STYLE ID=\"2\" FC=\"FFFFFFFF\" BC=\"000000FF\" BORDER=\"no\"/>"
                        "<PROGRESS ID=\"3\" X=\"10\" Y=\"10\" WIDTH=\"103\" HEIGHT=\"20\" STYLE=\"2\" VALUE=\"0.5\"/>"),
            nullptr);
  widget_item_t *bar = wdgGetItem(set_, 3);
  ASSERT_NE(bar, nullptr);
  EXPECT_FLOAT_EQ(bar->fvalue, 0.5f);
  // inner = 100 from X + 2: the fill covers columns 12 to 12 + fill - 1, and rows 12
  // to 27; each edge column is checked near the fill's top and its bottom.
  const struct {
    float value;
    int fill;
  } cases[] = {{0.25f, 25}, {0.5f, 50}, {0.75f, 75}, {1.0f, 100}, {3.0f, 100} /* clamped to the inner width */};
  for (const auto &c : cases) {
    bar->fvalue = c.value;
    DrawNoSwap();
    for (int row : {13, 26}) {
      SCOPED_TRACE(testing::Message() << "value " << c.value << ", row " << row);
      ExpectColor(Pixel(10 + 2, row), {255, 255, 255}, "first lit column");
      ExpectColor(Pixel(10 + 2 + c.fill - 1, row), {255, 255, 255}, "last lit column");
      ExpectColor(Pixel(10 + 2 + c.fill, row), {0, 0, 0}, "first dark column");
    }
  }
}

}  // namespace
