// Logo scenes (patterns 0 to 2): the logo image as one glowing sprite per lit pixel,
// flying in, rippling and scattering; and the sprite quad that the particle scenes share.
// Depends on: GL table, procedural tables (RandomVectors), IFE layers (the fade),
// main program state (SegmentTime, Pattern, LogoImage, SpriteTexture).
#pragma once

#include <cstdint>

#include "presentation/procedural.h"

// One GL_QUADS quad of half-width s around p, 16/9 taller so that it is square in
// the 16:9 letterbox under identity matrices; call between glBegin and glEnd.
void SpriteQuad(const TVector &p, float s);
// The same quad's four corners, x y z each, in the order SpriteQuad sends them (its
// texture coordinates are kSpriteQuadTexCoords), for client arrays.
void SpriteQuadCorners(const TVector &p, float s, float out[12]);
inline constexpr float kSpriteQuadTexCoords[8] = {0, 0, 1, 0, 1, 1, 0, 1};

// The displacement of logo column i at SegmentTime in pattern 0, 1 or 2.
float LogoDisplacement(int32_t pattern, int32_t segmentTime, int32_t column);

// True when logo pixel (i, j) of the image bytes is lit; images too short to hold the
// 1024 x 64 pixels behind their 18-byte header light nothing.
int LogoPixelLit(const uint8_t *image, int64_t imageSize, int32_t i, int32_t j);

// Draws the logo scene of the current Pattern (0, 1 or 2).
void LogoScene(void);

