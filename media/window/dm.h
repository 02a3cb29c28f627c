// Display modes: the screen mode at start, the list of modes, full-screen switches.
//
// A switch is a claim on a listed mode (the platform cannot change the display without
// a window): the next window shown takes it when it has the mode's size, and drops it
// with a log line otherwise, so no claim outlives that window's show. wmRestoreVideoMode
// leaves the mode and the window keeps its size. A mode not in the list is refused
// with 3007.
// Depends on: list, mem, log; platform/window.
#pragma once

#include <cstdint>

#include "base/list.h"

typedef struct platWindow_t platWindow_t;

typedef struct wm_videomode_t {
  int32_t width;
  int32_t height;
  int32_t bits;     // 32 for every 4-byte-per-pixel mode
  float frequency;  // Hz
} wm_videomode_t;

// The screen mode read by dmInit (wmOptions 5 to 8).
struct wm_screenmode_t {
  int32_t width, height, bits, frequency;
};
extern wm_screenmode_t dmScreen;

extern "C" {

int dmInit(void);
// List of tracked wm_videomode_t in the system's order, or null when none.
SYS_List_p wmGetVideoModes(void);
// Releases a list from wmGetVideoModes with its modes; 0.
int wmFreeVideoModes(SYS_List_p modes);
int wmSetVideoMode(int32_t width, int32_t height, int32_t bits, float frequency);
// 0 when no mode was switched, else the platform's restore: 0, or -1 when refused.
int wmRestoreVideoMode(void);
int dmDone(void);
// The claim ends at a window about to be shown, or at null for one that could not be
// created: 1 taken (full screen), 0 none, -1 dropped (logged).
int dmTakeMode(platWindow_t *window);

}  // extern "C"
