// Faces of the cube from -1 to 1 on each axis: outward normal and four corners,
// front (+z) first, then back, top, bottom, right, left. Shared by the particle
// scene's picture cube and the spare shaded cube, which draw the same geometry.
// Depends on: nothing.
#pragma once

struct CubeFace {
  float normal[3];
  float corners[4][3];
};

inline constexpr CubeFace kCubeFaces[6] = {
    {{0, 0, 1}, {{1, 1, 1}, {-1, 1, 1}, {-1, -1, 1}, {1, -1, 1}}},
    {{0, 0, -1}, {{1, 1, -1}, {-1, 1, -1}, {-1, -1, -1}, {1, -1, -1}}},
    {{0, 1, 0}, {{1, 1, 1}, {-1, 1, 1}, {-1, 1, -1}, {1, 1, -1}}},
    {{0, -1, 0}, {{1, -1, 1}, {-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}}},
    {{1, 0, 0}, {{1, 1, 1}, {1, -1, 1}, {1, -1, -1}, {1, 1, -1}}},
    {{-1, 0, 0}, {{-1, 1, 1}, {-1, -1, 1}, {-1, -1, -1}, {-1, 1, -1}}},
};
