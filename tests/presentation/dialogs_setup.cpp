// The show's two dialogs on a real display: presets with the option "default",
// choices made by clicks and keys pushed through SDL, the message box, and the
// error callback's exits when a dialog file or a file it names is missing.
#include <gtest/gtest.h>

#include <SDL.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/cfg.h"
#include "base/log.h"
#include "base/main.h"
#include "media/widget/widget.h"
#include "media/window/WM.h"
#include "media/window/dm.h"
#include "platform/window.h"
#include "presentation/dialogs.h"
#include "presentation/window.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A death test's child runs SetUp in a process of its own and ends inside the test
// body, so TearDown never runs there: each process removes its last folder at exit.
fs::path &ProcessFolder() {
  static fs::path folder;
  return folder;
}
void RemoveProcessFolder() {
  std::error_code ignored;
  if (!ProcessFolder().empty()) fs::remove_all(ProcessFolder(), ignored);
}

class Dialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Headless, as each test starts under ctest: the message-box test clears it, and a
    // later box in the same process would wait for a click.
    ::setenv("KORVADYNE_HEADLESS", "1", 1);
    // The program loads its two dialogs once; a test loads them from its own folder.
    SetupDialog = nullptr;
    MessageBoxDialog = nullptr;
    DialogEngineReady = false;
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / ("korv-dialogs-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    // The folder's path is made before the handler is registered, so it outlives it.
    static const bool removedAtExit = (ProcessFolder(), std::atexit(RemoveProcessFolder) == 0);
    (void)removedAtExit;
    ProcessFolder() = dir_;
    const fs::path content = fs::path(std::getenv("KORV_BINARY_DIR")) / "content";
    const fs::path data = fs::path(std::getenv("KORV_SOURCE_DIR")) / "data";
    for (const char *f : {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "dialog_head.tga"})
      fs::copy_file(content / f, dir_ / f);
    for (const char *f : {"cfg.xml", "msgbox.xml"}) fs::copy_file(data / f, dir_ / f);
    fs::current_path(dir_);
  }
  void TearDown() override {
    SYS_CfgDone();  // the next test starts with its own options only
    if (dir_.empty()) return;
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(dir_);
    ProcessFolder().clear();
  }
  // Starts the framework with the log in "dialogs.log" and the extra options.
  void Start(std::vector<const char *> options = {}) {
    std::vector<const char *> argv = {"dialogs-test", "-v", "-debug-log", "dialogs.log"};
    argv.insert(argv.end(), options.begin(), options.end());
    ASSERT_EQ(SYS_BaseInit(nullptr, (int32_t)argv.size(), argv.data(), nullptr), 0);
    // A framework started before in this process keeps its first log's name.
    ASSERT_EQ(SYS_DbgLogFile("dialogs.log"), 0);
    ASSERT_EQ(wmInit(), 0);
    RegisterFrameworkUnit();
  }
  std::string Log() const { return ReadFile(dir_ / "dialogs.log"); }
  // Loads the setup dialog ahead of RunSetupDialog and shows it, so that events
  // can be queued for its window before the dialog's own loop reads them.
  wm_window_t *PrepareSetupDialog() {
    InitDialogEngine();
    SetupDialog = wdgLoad(1, "cfg.xml");
    if (!SetupDialog) return nullptr;
    wdgSetCallback(SetupDialog, SetupDialogHandler);
    wdgShow(SetupDialog);
    return wdgGetClassItem(SetupDialog, WDG_WINDOW)->ownWindow;
  }
  static void Click(wm_window_t *window, widget_item_t *w) {
    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.windowID = platWindowId(window->handle);
    e.button.button = SDL_BUTTON_LEFT;
    e.button.x = w->x + w->width / 2;
    e.button.y = w->y + w->height / 2;
    SDL_PushEvent(&e);
    e.type = SDL_MOUSEBUTTONUP;
    SDL_PushEvent(&e);
  }
  static void Key(wm_window_t *window, SDL_Scancode key) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.windowID = platWindowId(window->handle);
    e.key.keysym.scancode = key;
    SDL_PushEvent(&e);
    e.type = SDL_KEYUP;
    SDL_PushEvent(&e);
  }

  fs::path dir_;
};

TEST_F(Dialogs, DefaultAppliesThePresetsWithoutShowingTheDialog) {
  Start({"-default"});
  EXPECT_EQ(RunSetupDialog(), 0);
  EXPECT_EQ(CfgWidth, 1024);
  EXPECT_EQ(CfgHeight, 576);
  EXPECT_EQ(CfgFullScreen, 0);
  EXPECT_EQ(CfgNoSound, 0);
  EXPECT_NE(CfgVSync, 0);
  EXPECT_EQ(CfgTextureQuality, 0);
  ASSERT_NE(SetupDialog, nullptr);
  ASSERT_NE(MessageBoxDialog, nullptr);
  EXPECT_EQ(wdgGetClassItem(SetupDialog, WDG_WINDOW)->ownWindow->handle, nullptr);  // never shown
  const std::string log = Log();
  EXPECT_NE(log.find("[cfg] width: 1024\n[cfg] height: 576\n[cfg] windowed: true\n[cfg] vsync on\n"
                     "[cfg] sound on\n[cfg] texture quality high\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("anyad"), std::string::npos);
}

TEST_F(Dialogs, DefaultWithTheWindowedBoxClearGives800x600FullScreen) {
  std::string cfg = ReadFile("cfg.xml");
  cfg = std::regex_replace(cfg, std::regex("(ID=\"122\"[^>]*VALUE=)\"1\""), "$1\"0\"");
  cfg = std::regex_replace(cfg, std::regex("(ID=\"120\"[^>]*VALUE=)\"0\""), "$1\"1\"");
  cfg = std::regex_replace(cfg, std::regex("(ID=\"117\"[^>]*)/>"), "$1 VALUE=\"1\"/>");
  std::ofstream("cfg.xml", std::ios::trunc) << cfg;
  Start({"/default"});
  EXPECT_EQ(RunSetupDialog(), 0);
  EXPECT_EQ(CfgWidth, 800);
  EXPECT_EQ(CfgHeight, 600);
  EXPECT_EQ(CfgFullScreen, -1);
  EXPECT_EQ(CfgNoSound, 1);
  EXPECT_EQ(CfgTextureQuality, 2);
  EXPECT_NE(Log().find("[cfg] windowed: false\n[cfg] vsync on\n[cfg] nosound\n[cfg] texture quality low\n"),
            std::string::npos);
}

TEST_F(Dialogs, TheShippedDescriptionsLoadWhole) {
  Start();
  InitDialogEngine();
  struct File {
    const char *name;
    std::vector<std::pair<int32_t, int32_t>> ids;  // id, class
  } files[] = {
      {"cfg.xml",
       {{101, WDG_RADIOBUTTON}, {102, WDG_RADIOBUTTON}, {103, WDG_RADIOBUTTON}, {104, WDG_RADIOBUTTON},
        {105, WDG_RADIOBUTTON}, {106, WDG_RADIOBUTTON}, {107, WDG_RADIOBUTTON}, {108, WDG_RADIOBUTTON},
        {109, WDG_RADIOBUTTON}, {110, WDG_RADIOBUTTON}, {115, WDG_RADIOBUTTON}, {116, WDG_RADIOBUTTON},
        {117, WDG_RADIOBUTTON}, {120, WDG_CHECKBOX}, {121, WDG_CHECKBOX}, {122, WDG_CHECKBOX},
        {23, WDG_BUTTON}, {1000, WDG_BUTTON}}},
      {"msgbox.xml", {{100, WDG_LABEL}, {23, WDG_BUTTON}}},
  };
  for (const File &f : files) {
    const std::string text = ReadFile(f.name);
    const std::regex element("<[A-Za-z]+ ");
    const long elements = std::distance(std::sregex_iterator(text.begin(), text.end(), element), std::sregex_iterator());
    SYS_List_p set = wdgLoad(1, f.name);
    ASSERT_NE(set, nullptr) << f.name;
    long loaded = 0;
    for (SYS_List_p n = set; n; n = n->next) loaded++;
    EXPECT_EQ(loaded, elements) << f.name << ": an element failed to load";
    for (auto [id, cls] : f.ids) {
      widget_item_t *w = wdgGetItem(set, id);
      ASSERT_NE(w, nullptr) << f.name << " " << id;
      EXPECT_EQ(w->classId, cls) << f.name << " " << id;
    }
    wdgShow(set);
    // Every caption rendered: the fonts the description names were found.
    for (SYS_List_p n = set; n; n = n->next) {
      widget_item_t *w = (widget_item_t *)n->item;
      if (w->title && *w->title && w->classId != WDG_WINDOW) {
        EXPECT_GT(w->textWidth, 0) << f.name << " " << w->id;
      }
      // Nothing spills out of the window.
      if (w->classId != WDG_WINDOW && w->classId != WDG_FONT && w->classId != WDG_STYLE) {
        widget_item_t *win = wdgGetClassItem(set, WDG_WINDOW);
        EXPECT_LE(w->x + w->width, win->width) << f.name << " " << w->id;
        EXPECT_LE(w->y + w->height, win->height) << f.name << " " << w->id;
      }
    }
    wdgHide(set);
    wdgUnload(set);
  }
}

TEST_F(Dialogs, ClicksChooseSizeOptionsAndQuality) {
  Start();
  wm_window_t *window = PrepareSetupDialog();
  ASSERT_NE(window, nullptr);
  // A size the display offers at 32 bits, and one it does not.
  const int32_t sizes[10][3] = {{101, 800, 600},   {102, 1024, 768},  {103, 1280, 720},  {104, 1280, 800},
                                {105, 1280, 1024}, {106, 1440, 900},  {107, 1600, 1200}, {108, 1680, 1050},
                                {109, 1920, 1080}, {110, 1920, 1200}};
  int32_t offered = -1, missing = -1;
  SYS_List_p modes = wmGetVideoModes();
  for (const auto &s : sizes) {
    bool found = false;
    for (SYS_List_p n = modes; n; n = n->next) {
      const wm_videomode_t *m = (const wm_videomode_t *)n->item;
      found |= m->bits == 32 && m->width == s[1] && m->height == s[2];
    }
    if (found && offered < 0) offered = s[0];
    if (!found && missing < 0) missing = s[0];
  }
  wmFreeVideoModes(modes);
  if (offered < 0 || missing < 0) GTEST_SKIP() << "the display offers all or none of the ten sizes";

  Click(window, wdgGetItem(SetupDialog, offered));
  Click(window, wdgGetItem(SetupDialog, missing));  // grey: ignored
  Click(window, wdgGetItem(SetupDialog, 117));
  Click(window, wdgGetItem(SetupDialog, 120));
  Click(window, wdgGetItem(SetupDialog, 122));
  Click(window, wdgGetItem(SetupDialog, 1000));
  EXPECT_EQ(RunSetupDialog(), 0);
  EXPECT_EQ(CfgState, 1);
  EXPECT_EQ(CfgWidth, sizes[offered - 101][1]);
  EXPECT_EQ(CfgHeight, sizes[offered - 101][2]);
  EXPECT_EQ(CfgFullScreen, -1);
  EXPECT_NE(CfgNoSound, 0);
  EXPECT_NE(CfgVSync, 0);
  EXPECT_EQ(CfgTextureQuality, 2);
  EXPECT_EQ(wdgGetItem(SetupDialog, offered)->disabled, 0);
  EXPECT_EQ(wdgGetItem(SetupDialog, missing)->disabled, 1);
  EXPECT_NEAR(wdgGetItem(SetupDialog, missing)->style.color[0], 100 / 255.0f, 1e-3);
  EXPECT_NEAR(wdgGetItem(SetupDialog, offered)->style.color[0], 228 / 255.0f, 1e-3);
  const std::string log = Log();
  EXPECT_NE(log.find("[cfg] yep.\n"), std::string::npos);
  EXPECT_NE(log.find("anyad\n"), std::string::npos);
  EXPECT_NE(log.find("anyad1\n"), std::string::npos);
  EXPECT_NE(log.find("[cfg] windowed: false\n"), std::string::npos);
}

TEST_F(Dialogs, EnterStartsWithTheWindowedPresetWhateverSizeWasChosen) {
  Start();
  wm_window_t *window = PrepareSetupDialog();
  ASSERT_NE(window, nullptr);
  Key(window, SDL_SCANCODE_RETURN);
  EXPECT_EQ(RunSetupDialog(), 0);
  EXPECT_EQ(CfgWidth, 1024);
  EXPECT_EQ(CfgHeight, 576);
  EXPECT_EQ(CfgFullScreen, 0);
}

TEST_F(Dialogs, EscapeAndTheQuitButtonEndTheProcessWithCode0) {
  Start();
  EXPECT_EXIT(
      {
        wm_window_t *window = PrepareSetupDialog();
        Key(window, SDL_SCANCODE_ESCAPE);
        RunSetupDialog();
        std::exit(3);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        wm_window_t *window = PrepareSetupDialog();
        Click(window, wdgGetItem(SetupDialog, 23));
        RunSetupDialog();
        std::exit(3);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(Dialogs, TheMessageBoxShowsTheTextUntilClosed) {
  Start();
  ::unsetenv("KORVADYNE_HEADLESS");
  InitDialogEngine();
  ASSERT_NE(MessageBoxDialog, nullptr);
  wdgShow(MessageBoxDialog);
  wm_window_t *window = wdgGetClassItem(MessageBoxDialog, WDG_WINDOW)->ownWindow;
  Click(window, wdgGetItem(MessageBoxDialog, 23));
  testing::internal::CaptureStderr();
  EXPECT_EQ(ShowMessageBox("File not found: loader.ife."), 0);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("File not found: loader.ife."), std::string::npos);
  EXPECT_EQ(CfgState, 1);
  widget_item_t *text = wdgGetItem(MessageBoxDialog, 100);
  EXPECT_STREQ(text->title, "File not found: loader.ife.");
  EXPECT_GT(text->textWidth, 100);
  EXPECT_EQ(text->visible, 0);  // hidden again
  // Closing the window or a released Enter closes it as well.
  Key(window, SDL_SCANCODE_RETURN);
  EXPECT_EQ(ShowMessageBox(std::string(300, 'x')), 0);
  EXPECT_EQ(std::string(text->title), std::string(255, 'x'));
}

TEST_F(Dialogs, HeadlessMessageBoxesDoNotWait) {
  Start();
  testing::internal::CaptureStderr();
  EXPECT_EQ(ShowMessageBox("nobody reads this"), 0);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("nobody reads this"), std::string::npos);
}

TEST_F(Dialogs, MissingFilesEndTheRunWithCode1AndNameTheFile) {
  struct Case {
    const char *missing;
    const char *message;
  } cases[] = {
      {"cfg.xml", "File not found: cfg\\.xml\\."},
      {"msgbox.xml", "File not found: msgbox\\.xml\\."},
      {"DejaVuSans-Bold.ttf", "File not found: DejaVuSans-Bold\\.ttf\\."},  // the message box's own font
  };
  for (const Case &c : cases) {
    fs::remove(c.missing);
    EXPECT_EXIT(
        {
          Start();
          RunSetupDialog();
          std::exit(3);
        },
        ::testing::ExitedWithCode(1), c.message)
        << c.missing;
    fs::copy_file(fs::path(c.missing).extension() == ".xml"
                      ? fs::path(std::getenv("KORV_SOURCE_DIR")) / "data" / c.missing
                      : fs::path(std::getenv("KORV_BINARY_DIR")) / "content" / c.missing,
                  c.missing);
  }
}

}  // namespace
