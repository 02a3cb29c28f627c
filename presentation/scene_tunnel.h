// Line tunnel scene (patterns 9 to 16): a flight through 201 broken rings of additive
// lines with three spiral streams of sprite crosses, the view turning slowly about the
// diagonal and making one extra eased turn at the start of pattern 13. No glow.
// Also home of the eased extra turn that the metaball and greetings scenes share.
// Depends on: GL and GLU tables, procedural tables (RandomVectors), main program
// state (SegmentTime, Beat, SpriteTexture).
#pragma once

#include <cstdint>

// The eased extra turn in degrees: 0 before start, 360 after start + length, easing
// out in between (1 - (1 - u)^3); every step in single precision.
float EaseOutTurn(float t, float start, float length);

// The tunnel's depth wrap of z into [-10000, 10000) for z >= -10000:
// (trunc(z + 10000) mod 20000) + frac(z) - 10000.
float TunnelWrap(float z);

// Draws one frame of patterns 9 to 16 at SegmentTime into the current viewport.
void LineTunnelScene(void);
