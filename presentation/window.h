// Main window, window events, setup values and the error callback.
//
// The presentation framework unit: the setup values that choose size, window or full
// screen, vsync, sound and texture quality; the main window with the event callback
// that records keys and the quit request; and ErrorHandler, the error callback that
// turns a file the framework cannot open into a message and exit code 1.
// The setup dialog fills the setup values before the window opens; an error is shown
// in the message box (both in dialogs.h).
// Depends on: bindings, GL unit (glInitExt), dialogs, media/window, base (log).
#pragma once

#include <cstdint>

struct wm_window_t;
struct wm_event_t;

extern int32_t CfgState, CfgWidth, CfgHeight, CfgNoSound, CfgVSync, CfgFullScreen, CfgTextureQuality;
extern int32_t QuitFlag;  // -1 once the user asked to quit
extern int32_t LastKey;   // framework key code of the last key event, press or release
extern wm_window_t *MainWindow;
extern bool ErrorReported;

// Runs the setup, creates and shows the window and starts the GL extensions; the
// three in-out values receive the chosen size and mode.
void OpenMainWindow(const char *title, int32_t *width, int32_t *height, int32_t *fullscreen);
void CloseMainWindow(void);
int WindowEventHandler(wm_event_t *event);
// errCallback_t of the process.
int ErrorHandler(int32_t code, const char *text);
// The text ErrorHandler shows for (code, text).
void ErrorMessageFor(int32_t code, const char *text, char *out, int32_t size);

// Unit start-ups: the window-manager binding unit (registry slot 1), and the
// presentation framework unit, which installs ErrorHandler.
void RegisterWindowManagerUnit(void);
void RegisterFrameworkUnit(void);
