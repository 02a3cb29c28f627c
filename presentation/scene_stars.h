// Star sphere scenes (patterns 3 to 8): a spinning four-spoke star projected to the
// screen through GL's raster position, drawn as glowing sprites joined by lines and
// guide lines, over a tunnel of streaks rushing along the camera's axis.
// Depends on: GL and GLU tables, procedural tables, sprite quad, IFE layers (the
// fade), main program state (SegmentTime, Beat, Pattern, screen size).
#pragma once

#include <cstdint>

#include "presentation/procedural.h"

// Projected star points in normalised device coordinates: 0..1027 the star,
// 1028..2055 the same points moved by a random direction. Refilled every frame.
extern TVector StarScreenPoints[2056];

// The streaks' wrap of z into -2000..2000 (one unit low for negative fractions).
float StarWrap(float z);

// Draws the star sphere scene of the current Pattern (3 to 8); in patterns 3 and 4
// SegmentTime is first stepped down to a multiple of 500.
void StarSphereScene(void);

