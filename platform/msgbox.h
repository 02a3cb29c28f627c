// System message box.
//
// The text always goes to stderr; a desktop box is shown as well only when a
// display exists and KORVADYNE_HEADLESS is not set, so tests and headless runs never
// block on a dialog.
// Depends on: SDL2 (the box itself), /proc.
#pragma once

enum platMsgBoxIcon_t { PLAT_MB_ERROR = 0, PLAT_MB_WARNING = 1, PLAT_MB_INFO = 2 };

// Blocks until the user closes the box (when one is shown), or until SIGTERM or SIGINT
// comes, which closes it: 1 then, so the caller ends the run with its own exit code;
// 0 otherwise.
int platMessageBox(const char *title, const char *text, platMsgBoxIcon_t icon);
// 1 when a desktop box would be shown.
int platMessageBoxVisible(void);
