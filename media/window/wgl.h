// GL library and per-window GL contexts.
//
// The library is opened by name like on Windows (the module loader maps
// "OpenGL32.dll"); contexts come from the platform, which creates them with the
// compatibility profile and shares objects among all of them.
// Depends on: dl, log; platform/window.
#pragma once

#include <cstdint>

struct wm_window_t;

extern "C" {

int wglInit(void);  // 0, or 1 when the library cannot be loaded
int wglDone(void);
// Fills the window's pixel format from the screen depth; wmShowWindow calls it
// before the native window exists, since the surface is fixed at creation.
void wglPixelFormat(wm_window_t *window);
int wglContextCreate(wm_window_t *window);  // 0, or 1 with a log line
int wglContextDestroy(wm_window_t *window);
// Writes the GL identification strings and limits of the current context.
void wglLogInfo(void);
// Swap interval of the current context: 0, or -1 when this GL cannot set it (no
// error, no log: callers try it every frame).
int wglSwapInterval(int interval);

}  // extern "C"
