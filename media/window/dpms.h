// Screensaver and monitor power-off control for the run.
//
// The platform can query and switch the screensaver; the monitor power-off setting
// has no query here, so its query counts as failed and it is never written.
// Depends on: log; platform/window.
#pragma once

extern "C" {

int dpmsInit(void);         // saves the current settings; 0
int dpmsEnable(int on);     // both on (non-zero) or off; 0
int dpmsDone(void);         // writes the saved settings back; 0

}  // extern "C"
