// Main window, window events and setup values.
//
// The setup values that choose size, window or full screen, vsync, sound and texture
// quality; the main window with the event callback that records keys and the quit
// request. The setup dialog fills the setup values before the window opens; the error
// callback that closes the window and shows the message box is in dialogs.h.
// Depends on: bindings, GL unit (glInitExt), dialogs, media/window, base (log).
#pragma once

#include <cstdint>

struct wm_window_t;
struct wm_event_t;

extern int32_t CfgState, CfgWidth, CfgHeight, CfgNoSound, CfgVSync, CfgFullScreen, CfgTextureQuality;
extern int32_t QuitFlag;  // -1 once the user asked to quit
extern int32_t LastKey;   // framework key code of the last key event, press or release
extern wm_window_t *MainWindow;

// Runs the setup, creates and shows the window and starts the GL extensions; the
// three in-out values receive the chosen size and mode.
void OpenMainWindow(const char *title, int32_t *width, int32_t *height, int32_t *fullscreen);
void CloseMainWindow(void);
int WindowEventHandler(wm_event_t *event);

// Unit start-up of the window-manager binding unit (registry slot 1).
void RegisterWindowManagerUnit(void);
