// View helpers shared by the scenes: the matrix reset, the perspective camera on the
// diagonal spin, and the depth wrap that folds moving geometry back into a range
// along the view axis.
// Depends on: GL and GLU tables, main program state (SpriteTexture).
#pragma once

#include <cstdint>

// Texture, projection and modelview matrices := identity; modelview stays selected.
void ResetMatrices(void);

// Sprite texture bound, texture matrix identity, projection gluPerspective(fovy, 16/9,
// 0.01, 10000), modelview gluLookAt(eye, origin, up z).
void SceneLookAt(double fovy, double eyeX, double eyeY, double eyeZ);
// SceneLookAt, then glRotatef(angle, 1, 1, 1).
void SceneCamera(double fovy, double eyeX, double eyeY, double eyeZ, float angle);

// (trunc(shifted) mod period) - half + frac(z), rounded to single once: z folded into
// [-half, half) when shifted is z + half (the caller computes that sum in the
// precision its formula names). A shift beyond the 64-bit range returns z unchanged.
float WrapDepth(double shifted, float z, int32_t period, double half);
