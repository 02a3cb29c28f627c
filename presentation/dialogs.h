// Setup dialog, message box and error callback of the presentation (the presentation
// framework unit).
//
// The dialog engine (the framework's GL and GLU tables, font renderer, texture
// manager and widgets) starts on first use and loads the message box "msgbox.xml"
// at once, so that an error met later can still be shown. RunSetupDialog loads
// "cfg.xml", greys the screen sizes the display does not offer at 32 bits, runs the
// dialog (unless the option "default" is given, when its presets apply) and fills
// the setup values. ShowMessageBox shows a text in the message box until the user
// closes it; headless runs, and a message box that could not be loaded whole, fall
// back to the system message box (which also writes the text to stderr).
// ErrorHandler, the process's error callback, closes the main window, shows a file the
// framework cannot open in the message box and ends the run with exit code 1.
// Depends on: bindings (log, strings, FatalError), window (setup values, main
// window), media (widgets, window manager, texture loader and manager, font
// renderer, GL tables), base (options, timer, last error), platform/msgbox.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/list.h"

struct widget_item_t;
struct wm_event_t;

extern bool DialogEngineReady;
extern SYS_List_p SetupDialog;
extern SYS_List_p MessageBoxDialog;
extern bool ErrorReported;  // set by the first ErrorHandler call; later ones return at once

// Starts the dialog engine once and loads the message box; 0.
int32_t InitDialogEngine(void);
// Runs the setup dialog and fills the setup values; 0. The quit action ends the
// process with code 0.
int32_t RunSetupDialog(void);
int SetupDialogHandler(widget_item_t *widget, wm_event_t *event);
int MessageBoxHandler(widget_item_t *widget, wm_event_t *event);
// Shows text (cut to 255 characters) until the user closes the box; 0.
int32_t ShowMessageBox(std::string_view text);

// errCallback_t of the process.
int ErrorHandler(int32_t code, const char *text);
// The text ErrorHandler shows for (code, text).
void ErrorMessageFor(int32_t code, const char *text, char *out, int32_t size);
// Unit start-up of the presentation framework unit: installs ErrorHandler.
void RegisterFrameworkUnit(void);
