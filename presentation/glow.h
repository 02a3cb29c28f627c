// Screen copy and glow passes.
//
// One texture, ScreenTexture, holds the latest copy of the frame's 16:9 letterbox;
// the effect layers named "BUF0.JPG" draw it (IfeBufTextures[0]). The glow is two
// blur effects ("v_blur.ife", "h_blur.ife") drawn over the picture at their final
// time, each reading a fresh copy (GlowPass), or both blurs of a round reading one
// copy, twice over (DoubleGlowPass, the wave field's).
// Depends on: GL table, IFE layers (IfeRender, IfeVBlurFx, IfeHBlurFx), main program
// state (ScreenWidth, ScreenHeight, LetterboxHeight), tracked memory.
#pragma once

#include <cstdint>

// GL name of the screen copy; 0 until ScreenTexCreate. Never deleted.
extern int32_t ScreenTexture;

// Creates ScreenTexture, ScreenWidth x LetterboxHeight, nearest filtering, clamped.
// Needs the GL context. LetterboxHeight is 0 at start-up: every copy redefines the size.
void ScreenTexCreate(void);
// The copy rectangle of the letterbox: x, y, width, height.
void ScreenCopyRect(int32_t rect[4]);
// Copies the letterbox of the frame buffer into ScreenTexture; leaves texturing on
// and ScreenTexture bound.
void ScreenCopy(void);
// Copy, vertical blur, copy, horizontal blur.
void GlowPass(void);
// Copy, both blurs, copy, both blurs.
void DoubleGlowPass(void);
