// Events a test pushes through SDL to one window, as the display would deliver them.
// Mouse events carry the pushed mouse's id, so OnlyPushedMouseEvents lets them pass
// while it drops the real pointer's. Each returns SDL_PushEvent's result: 1 when the
// event was queued, 0 when a filter dropped it.
// Depends on: SDL2.
#pragma once

#include <SDL.h>

#include "tests/common/pushed_mouse.h"

inline int PushButton(Uint32 window, Uint32 type, int x, int y, Uint8 button = SDL_BUTTON_LEFT) {
  SDL_Event e{};
  e.type = type;
  e.button.windowID = window;
  e.button.which = kPushedMouseId;
  e.button.button = button;
  e.button.x = x;
  e.button.y = y;
  return SDL_PushEvent(&e);
}

// A press and its release at one point.
inline int PushClick(Uint32 window, int x, int y) {
  const int down = PushButton(window, SDL_MOUSEBUTTONDOWN, x, y);
  return down == 1 ? PushButton(window, SDL_MOUSEBUTTONUP, x, y) : down;
}

inline int PushWheel(Uint32 window, int y, int mouseX, int mouseY) {
  SDL_Event e{};
  e.type = SDL_MOUSEWHEEL;
  e.wheel.windowID = window;
  e.wheel.which = kPushedMouseId;
  e.wheel.y = y;
  e.wheel.mouseX = mouseX;
  e.wheel.mouseY = mouseY;
  return SDL_PushEvent(&e);
}

inline int PushKey(Uint32 window, Uint32 type, SDL_Scancode key) {
  SDL_Event e{};
  e.type = type;
  e.key.windowID = window;
  e.key.keysym.scancode = key;
  return SDL_PushEvent(&e);
}

inline int PushWindowEvent(Uint32 window, Uint8 event) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = window;
  e.window.event = event;
  return SDL_PushEvent(&e);
}
