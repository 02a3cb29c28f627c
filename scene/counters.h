// Renderer counters and render-target texture ids.
//
// Plain process-wide values of the 3D renderer that code outside it touches: the
// main loop zeroes the three draw counters every frame, and IFE layers named "RT" or
// "GLOW" copy the render-target ids when they load (0 until the renderer makes them).
// The values are inline variables so that the presentation, which sits below the
// scene engine, can reach them without a link dependency on it.
// Depends on: nothing.
#pragma once

#include <cstdint>

inline int32_t FacesDrawn = 0;
inline int32_t ObjectsDrawn = 0;
inline int32_t ParticlesDrawn = 0;
inline int32_t FramebufferTexture[8] = {};
inline int32_t GlowTexture = 0;

// The frame's reset of the three draw counters.
inline void ResetRendererCounters() { FacesDrawn = ObjectsDrawn = ParticlesDrawn = 0; }
