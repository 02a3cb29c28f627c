// Kaleidoscope and credits scene (patterns 41 to 46).
//
// A turning background effect, a feedback effect over a copy of it, the result
// folded eightfold through the screen copy, the glow, a fade that follows the beat
// and the credits effect on top. Only the fold is geometry of its own; the rest is
// effect data drawn by IfeRender.
// Depends on: GL table, IFE layers (IfeRender and the show's effects), glow
// (ScreenCopy, GlowPass), main program state (SegmentTime, Beat).
#pragma once

#include <cstdint>

enum : int32_t { kKaleidoscopeStart = 127980 };  // SegmentTime at the start of pattern 41

// The effect parameters at SegmentTime t and beat: background, fade, credits.
float KaleidoBackgroundTime(int32_t t);
float KaleidoFadeTime(float beat);
float KaleidoCreditsTime(int32_t t);

// Eight triangles over the viewport, each showing the copy's wedge between its lower
// left corner, the middle of its lower edge and its centre (texture bound by the caller).
void KaleidoFold(void);
// One frame of patterns 41 to 46.
void KaleidoscopeScene(void);
