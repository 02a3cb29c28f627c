// The main program: start-up, loading sequence, main loop and shutdown.
//
// After the units' start-ups (main.cpp) ShowRun starts the registered subsystems,
// opens the pack and the main window, loads the effects, textures and images behind a
// loading screen of 53 steps, starts the music, and then runs one loop: read the timer
// through the tempo map, draw the pattern's scene into the 16:9 letterbox, add the
// white flashes, keep the frame-rate text, apply vsync, reset the GL state, draw the
// debug overlay and act on the seek keys, swap. It ends when the timeline reaches
// 210,637 ms (that frame is still drawn) or the user quits, with exit code 0; the
// fatal paths end inside FatalError or the error callback instead.
// Depends on: bindings, GL units, main window, tempo map, scene hooks, base (files,
// timer, options), media/window.
#pragma once

#include <cstdint>

#include "presentation/pstring.h"
#include "presentation/tempo.h"

extern int32_t SegmentTime, TimelineTime, Pattern, Row;
extern float Beat;
extern int32_t DebugMode;
extern int32_t FrameCount, FpsStartTime;
extern ShortString FpsValue, FpsText;
extern int32_t ScreenWidth, ScreenHeight, ScreenFullScreen;
extern int32_t LetterboxHeight;
extern int32_t LoadStepCount;
extern int32_t SpriteTexture, CubeTexture, GreetTexture;
extern uint8_t *LogoImage, *GreetImage;
extern int32_t LogoImageSize, GreetImageSize;
extern float *FieldGrid;

// Runs the main program after the unit start-ups; returns the exit code of the
// normal end (0).
int ShowRun(void);

// The effects, textures, images and procedural tables, behind 53 loading steps.
void ShowLoadingSequence(void);
// One step of the loading screen: draw, swap, pump events, sleep 10 ms.
void LoadingStep(void);
// The whole file in a new tracked block (size in *size when given), then one loading
// step. A file that cannot be opened ends the run.
uint8_t *LoadFileToMemory(const char *name, int32_t *size = nullptr);
// Rewrites every 32-bit word of the block with itself (count bytes, whole words only).
void TouchMemory(void *block, int32_t count);

// One pass of the main loop.
void ShowFrame(void);
// The seek keys of the debug mode, acting on key.
void ShowSeekKey(int32_t key);
// Clears the black bars above and below the letterbox again (colour only, through a
// scissor box that is off afterwards); nothing happens when the window has no bars.
void ShowClearLetterboxBars(void);
// The state each frame ends with: the whole window as the viewport, identity
// matrices, lighting, texturing and depth test off, white.
void ShowResetState(void);
// The end part of patterns 55 and above.
void ShowDrawEndpart(void);
