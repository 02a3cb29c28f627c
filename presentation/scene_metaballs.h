// Metaball scene (patterns 17 to 24): the wireframe iso-surface of 21 balls on three
// turning rings inside a 32 x 32 x 32 field, polygonised by marching cubes every
// frame and drawn as additive lines, inside a sphere of small crosses, then the glow.
// Depends on: GL and GLU tables, procedural tables (RandomVectors, RotatePoint,
// PointDistance), line tunnel (EaseOutTurn), view helpers (SceneCamera), glow, main program
// state (SegmentTime, Pattern, Beat).
#pragma once

#include <cstdint>

#include "presentation/vectors.h"

// A cubic scalar field of n^3 values and its cells' corner indices, made once.
struct TMetaGrid {
  float *field;      // F(x, y, z) at x n^2 + y n + z; not owned
  int32_t n;
  int32_t *corners;  // 8 indices per inner cell, cells z outer, y, x inner, each 1..n-2
};

// The metaball scene's grid over FieldGrid (set by the start-up hook); null before.
extern TMetaGrid *MetaGrid;
extern TVector MetaBalls[21];
extern float MetaBallStrengths[21];

// The marching-cubes tables for corners 0..7 at (0,0,0), (1,0,0), (1,1,0), (0,1,0),
// (0,0,1), (1,0,1), (1,1,1), (0,1,1) and edges 0..11 between corners (0,1), (1,2),
// (2,3), (3,0), (4,5), (5,6), (6,7), (7,4), (0,4), (1,5), (2,6), (3,7).
extern const uint16_t kMarchEdgeTable[256];
extern const int8_t kMarchTriTable[256][16];

// Allocates the record and its corner table for field (n^3 values, 3 <= n <= 256).
// Null when the arguments are unusable or memory runs out. Lives for the whole run.
TMetaGrid *MetaGridInit(float *field, int32_t n);
// Emits the iso-surface at 1.0 as line triangles (glNormal3fv, glVertex3fv per vertex)
// between the caller's glBegin(GL_LINES) and glEnd. A corner <= 1.0 counts as outside.
void MetaGridDraw(const TMetaGrid *grid);

// Ball positions and strengths for pattern at time t (the rings of patterns 17-19,
// 20-21 and 22-24).
void MetaBallsPlace(int32_t pattern, int32_t t);
// The field of the placed balls into grid->field (n must be 32), with the beat's noise.
void MetaFieldFill(TMetaGrid *grid, float beat);

// Draws one frame of patterns 17 to 24 at SegmentTime into the current viewport.
void MetaballScene(void);
