// Wave field scene (patterns 25 to 27): a 64 x 64 height field of interfering sine
// waves as an additive wire grid turning about the diagonal, with a slanted whisker
// from every node to a bright point circling with time, then the doubled glow.
// Depends on: GL and GLU tables, view helpers (SceneCamera), glow, main
// program state (SegmentTime, SpriteTexture).
#pragma once

#include <cstdint>

// H[i][j], recomputed every frame.
extern float WaveHeights[64][64];

// The heights at time t.
void WaveHeightsFill(int32_t t);

// Draws one frame of patterns 25 to 27 at SegmentTime into the current viewport.
void WaveFieldScene(void);
