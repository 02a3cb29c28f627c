// Cube cloud scene (patterns 28 to 31): a block of 32 x 32 x 32 faint wireframe unit
// cubes that bursts apart, one cube after another in a fixed random order flying off
// in its own random direction at 0.008 units per millisecond, then the glow.
// Depends on: GL and GLU tables, procedural tables (ShuffledIndices,
// RandomDirections), view helpers (SceneCamera), glow, main program state
// (SegmentTime, SpriteTexture).
#pragma once

#include <cstdint>

// Pattern 28's first millisecond of SegmentTime: the cubes' clock starts here.
enum : int32_t { kCubeCloudStart = 81765 };
// Cubes, and line ends per frame: 12 edges each.
enum : int32_t { kCubeCount = 32768, kCubeCloudVertices = kCubeCount * 24 };

// The lower corner of cube n = 1024 k + 32 j + i at time t.
void CubeCorner(int32_t i, int32_t j, int32_t k, int32_t t, float corner[3]);

// The frame's cube corners at time t, three floats each: cubes n = 0..32767, each its
// eight corners (corner c offset by (c & 1, c >> 1 & 1, c >> 2)). out holds
// kCubeCount * 24 floats.
void CubeCloudCorners(int32_t t, float *out);

// Draws one frame of patterns 28 to 31 at SegmentTime into the current viewport.
void CubeCloudScene(void);
