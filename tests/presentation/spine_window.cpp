// Main window events and the error callback.
#include <gtest/gtest.h>

#include <string>

#include "presentation/gl.h"

#include "base/file.h"
#include "base/log.h"
#include "media/window/WM.h"
#include "presentation/dialogs.h"
#include "presentation/window.h"
#include "spine_util.h"

namespace {

// An error reported in an earlier test would make the handler ignore this one's.
class SpineWindow : public spine_test::Framework {
 protected:
  void SetUp() override {
    Framework::SetUp();
    ErrorReported = false;
  }
};

// The key and quit state start as at program start in every test.
class SpineWindowEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    QuitFlag = 0;
    LastKey = 0;
  }
};

wm_event_t KeyEvent(int32_t state, int32_t key) {
  wm_event_t e{};
  e.type = WM_EVENT_KEY;
  e.key.type = state;
  e.key.key = key;
  return e;
}

TEST_F(SpineWindowEvents, KeysAreRecordedOnPressAndReleaseAndEscapeQuits) {
  wm_event_t e = KeyEvent(WM_KEY_DOWN, WM_KEYCODE_RIGHT);
  WindowEventHandler(&e);
  EXPECT_EQ(LastKey, WM_KEYCODE_RIGHT);
  EXPECT_EQ(QuitFlag, 0);
  e = KeyEvent(WM_KEY_UP, WM_KEYCODE_LEFT);
  WindowEventHandler(&e);
  EXPECT_EQ(LastKey, WM_KEYCODE_LEFT);
  wm_event_t mouse{};
  mouse.type = WM_EVENT_MOUSE;
  mouse.key.key = WM_KEYCODE_ESCAPE;  // a mouse event's key part is not looked at
  WindowEventHandler(&mouse);
  EXPECT_EQ(LastKey, WM_KEYCODE_LEFT);
  EXPECT_EQ(QuitFlag, 0);
  e = KeyEvent(WM_KEY_UP, WM_KEYCODE_ESCAPE);
  WindowEventHandler(&e);
  EXPECT_EQ(QuitFlag, -1);
  e = KeyEvent(WM_KEY_DOWN, 5);
  WindowEventHandler(&e);
  EXPECT_EQ(QuitFlag, -1);  // stays set
}

TEST_F(SpineWindowEvents, ClosingTheWindowQuits) {
  wm_event_t e{};
  e.type = WM_EVENT_WINDOW;
  e.conf.type = WM_CONF_CLOSE;
  WindowEventHandler(&e);
  EXPECT_EQ(QuitFlag, -1);
  EXPECT_EQ(LastKey, 0);
}

TEST(SpineWindowErrors, MessagesForEachCode) {
  const std::string longName(300, 'n');
  struct Case {
    int32_t code;
    const char *text;
    std::string expected;
  } cases[] = {
      {1, "cfg.xml", "File not found: cfg.xml."},
      {2, "music.ogg", "File not found: music.ogg."},
      {3, "a.ife", "File not found: a.ife."},
      {11, "b.tga", "File not found: b.tga."},
      {8, "loader.ife", "The pack entry loader.ife is damaged and cannot be read."},
      {7, "something else", "something else"},
      {5, nullptr, "Unknown error."},
      {1, nullptr, "File not found: Unknown error.."},
      {1, longName.c_str(), "File not found: " + std::string(255 - 16, 'n')},
  };
  for (const Case &c : cases) {
    char out[256];
    ErrorMessageFor(c.code, c.text, out, sizeof out);
    EXPECT_EQ(out, c.expected) << c.code;
  }
}

TEST_F(SpineWindow, AFileTheLayerCannotOpenEndsTheRunWithCode1) {
  RegisterFrameworkUnit();
  EXPECT_EXIT(SYS_FileOpen("no-such-file.ife", 0), ::testing::ExitedWithCode(1),
              "File not found: no-such-file.ife\\.");
  const std::string log = Log();
  const size_t message = log.find("File not found: no-such-file.ife.\n");
  ASSERT_NE(message, std::string::npos) << log;
  EXPECT_NE(log.find("[exit] --- subsystems", message), std::string::npos) << log;
  EXPECT_NE(log.find("--- End of log."), std::string::npos);
}

TEST_F(SpineWindow, ASecondErrorWhileShuttingDownIsIgnored) {
  ErrorReported = true;
  EXPECT_EQ(ErrorHandler(1, "late.ife"), 0);
  EXPECT_EQ(Log().find("late.ife"), std::string::npos);
}

}  // namespace
