// Renderer helpers: objects by name, particles, flares, mirrored render, framebuffer
// and glow textures, and the renderer's start values.
//
// Particles live in a per-scene pool: every DrawParticles call emits from the
// emitting objects, draws every live particle as a camera-facing quad, then ages and
// moves it. Flares are camera-facing quads in the colour the flare visibility pass
// sampled. The framebuffer and glow textures are copies of the frame's lower-left
// corner at fixed sizes; their ids are the render-target ids of the counters header.
// Depends on: scene records, key interpolation, renderer, renderer counters,
// bindings (log, tracked memory, FatalError), procedural tables (random draws), GL.
#pragma once

#include <cstdint>
#include <string_view>

#include "scene/records.h"

extern int32_t GlowSize;       // edge of the glow texture in pixels
extern _QLV_VECTOR MirrorTint;  // stored by RenderMirrored; nothing reads it

// Every object named name gets visible set or cleared.
void ShowObject(_QLV_SCENE *scene, std::string_view name);
void HideObject(_QLV_SCENE *scene, std::string_view name);
// 0-based index of the last object named name; 65535 when there is none.
int32_t FindObject(_QLV_SCENE *scene, std::string_view name);

// A pool of count free particles (tracked, tagged with the scene name). A failed
// allocation is fatal; a negative count is refused with a log line.
void ParticlesCreate(_QLV_SCENE *scene, int32_t count);
void ParticlesFree(_QLV_SCENE *scene);
// Emit, draw, age and move one frame of the scene's particles.
void DrawParticles(_QLV_SCENE *scene, float frame);
// Flares after FlareSample filled their samplecolor.
void DrawFlares(_QLV_SCENE *scene, float frame);
// The scene scaled by (sx, sy, sz) (a mirror image for (1, 1, -1)), the mirror object
// added on top, then the scene again.
void RenderMirrored(const _QLV_SCENE *scene, int32_t mirror, float frame, float sx, float sy, float sz, float tint);

void SetObjectOffset(float x, float y, float z);
void SetMirrorTint(float r, float g, float b);
// Colour and depth to 0, then stencil.
void ClearBuffers(void);

// Eight 800 x 600 RGBA textures and the GlowSize x GlowSize glow texture; the copies
// take the lower-left corner of the frame (entries outside 0..7 are ignored).
void FramebufferTexturesCreate(void);
void CopyFramebuffer(int32_t i);
void CopyDepthToTexture(int32_t i);
void GlowTextureCreate(void);
void CopyGlow(void);

// Start values of every renderer variable.
void RendererInit(void);

// The presentation's 64-bit draw below n (0 for n = 0; |n| for a negative n).
int64_t ParticleRandom(int64_t n);
