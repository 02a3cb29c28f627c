// The show's scene table and the loading steps that join several units.
//
// The main program (show.cpp) fixes the order of every step and calls the effect,
// texture, overlay and music units directly; what is here is the scene table and the
// steps that are more than one call: a unit's set-up with the main program's tables
// (screen copy, metaball grid, the nine effect files) or with a fatal end when memory
// runs out. A pattern that no range covers draws nothing (the frame's clear).
// Depends on: the scene, IFE, texture, glow and procedural units it calls.
#pragma once

#include <cstdint>

// One range of patterns and the scene that draws it; tested in table order.
struct SceneRange {
  int32_t firstPattern, lastPattern;
  void (*draw)(void);
  const char *name;  // the scene, as the show benchmark names it
};
extern const SceneRange kSceneTable[];
extern const int32_t kSceneCount;
// Draws the scene of pattern (the first matching range); 0 when none matched.
int32_t ScenesDraw(int32_t pattern);

// Start-up and loading steps, in the order the main program calls them.
void ScenesTextureOptions(int32_t textureQuality);  // txOptions(3, 1); txOptions(2, quality)
void ScenesCreateScreenTexture(void);               // screen copy -> IfeBufTextures[0]
void ScenesInitMetaGrid(float *fieldGrid);          // 32 x 32 x 32 field of the metaballs
// The nine effect files, index 0..8: "v_blur.ife" .. "whiteflash.ife".
extern const char *const kEffectFiles[9];
void ScenesLoadEffect(int32_t index);
// The procedural tables; calls step exactly kTableSteps times, as the tables grow.
enum : int32_t { kTableSteps = 37 };
void ScenesBuildTables(void (*step)(void));
