// Mouse events a test pushes through SDL, kept apart from the real pointer's.
// The display is shared with other tests: their windows mapping over the pointer
// make X send this window enter events, which SDL turns into mouse motion that
// clears a pressed button or adds an event. Pushed mouse events carry a mouse id of
// their own, and a filter drops every other mouse event before the window manager
// reads it.
// Depends on: SDL2.
#pragma once

#include <SDL.h>

constexpr Uint32 kPushedMouseId = 0x6b6f7276;

inline int KeepPushedMouseEvents(void *, SDL_Event *e) {
  switch (e->type) {
    case SDL_MOUSEMOTION: return e->motion.which == kPushedMouseId;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: return e->button.which == kPushedMouseId;
    case SDL_MOUSEWHEEL: return e->wheel.which == kPushedMouseId;
    default: return 1;
  }
}

// While one lives, only pushed mouse events reach the windows.
struct OnlyPushedMouseEvents {
  OnlyPushedMouseEvents() {
    SDL_FlushEvents(SDL_MOUSEMOTION, SDL_MOUSEWHEEL);
    SDL_SetEventFilter(KeepPushedMouseEvents, nullptr);
  }
  ~OnlyPushedMouseEvents() { SDL_SetEventFilter(nullptr, nullptr); }
  OnlyPushedMouseEvents(const OnlyPushedMouseEvents &) = delete;
  OnlyPushedMouseEvents &operator=(const OnlyPushedMouseEvents &) = delete;
};
