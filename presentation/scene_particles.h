// Particle image scenes (patterns 32 to 40).
//
// Patterns 32-36 render a small lit, textured, turning cube into the window's lower
// left 256 x 256 pixels, read it back and clear it away, then send one sprite per
// lit pixel along its image path to that pixel's place in the letterbox, sized and
// shaded by the pixel's brightness. Patterns 37-40 send every particle along its
// attractor path. Both end with the glow.
// Depends on: GL and GLU tables, procedural tables (RandomVectors, ImagePaths,
// AttractorPaths, splines), SpriteQuad, view helpers (SceneLookAt), glow, main
// program state (SegmentTime, Beat, SpriteTexture, CubeTexture, screen size).
#pragma once

#include <cstdint>

enum : int32_t {
  kCubeImageSize = 256,
  kParticleImageStart = 95985,  // SegmentTime at the start of pattern 32
  kAttractorStart = 113760,     // pattern 37
  kParticleCount = kCubeImageSize * kCubeImageSize,
};

// The cube picture of the current frame: 256 x 256 RGB, rows from the bottom up as
// GL reads them.
extern uint8_t CubePixels[kCubeImageSize * kCubeImageSize * 3];

// Half-width of the sprite of a pixel whose channels sum to b (0..765).
float ImageParticleSize(int32_t b);

// Renders the cube at SegmentTime, reads it into CubePixels and restores the
// letterbox viewport with a clear (part of ParticleImageScene).
void CubeRender(void);
// One frame of patterns 32 to 36.
void ParticleImageScene(void);
// The attractor sprites' corners at time t and beat, SpriteQuadCorners order, 12
// floats per particle k = 0..65535 (out holds kParticleCount * 12).
void AttractorVertices(int32_t t, float beat, float *out);
// One frame of patterns 37 to 40.
void AttractorScene(void);
