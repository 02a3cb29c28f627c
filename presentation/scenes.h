// The show's scenes and effects as the main program reaches them.
//
// The main program (show.cpp) fixes the order of every step; this file is the one
// place where the scene, effect, texture and music units plug into it, so each of
// them is wired by a small edit here: the scene table below, and one hook per
// loading or frame step that belongs to another unit. A hook whose unit is not built
// yet does nothing, and a pattern without a scene draws nothing (the frame's clear).
// Depends on: the scene, IFE, texture and music units it calls.
#pragma once

#include <cstdint>

// One range of patterns and the scene that draws it; tested in table order.
struct SceneRange {
  int32_t firstPattern, lastPattern;
  void (*draw)(void);  // null: no scene yet
  const char *name;
};
extern const SceneRange kSceneTable[];
extern const int32_t kSceneCount;
// Draws the scene of pattern (the first matching range); 0 when none matched.
int32_t ScenesDraw(int32_t pattern);

// Start-up and loading hooks, in the order the main program calls them.
void ScenesLoadLoaderScreen(void);                  // "loader.ife"
void ScenesTextureOptions(int32_t textureQuality);  // txOptions(3, 1); txOptions(2, quality)
void ScenesForgetTextures(void);                    // TexInit once more
void ScenesBuildFontTexture(void);                  // the overlay's bitmap font
void ScenesCreateScreenTexture(void);               // screen copy -> IfeBufTextures[0]
void ScenesInitMetaGrid(float *fieldGrid);          // 32 x 32 x 32 field of the metaballs
// The nine effect files, index 0..8: "v_blur.ife" .. "whiteflash.ife".
extern const char *const kEffectFiles[9];
void ScenesLoadEffect(int32_t index);
// The texture table's TexLoad: GL texture id.
int32_t ScenesTexLoad(const char *name, int32_t filter);
// The procedural tables; calls step exactly kTableSteps times, as the tables grow.
enum : int32_t { kTableSteps = 37 };
void ScenesBuildTables(void (*step)(void));

// Frame hooks.
void ScenesRenderLoader(float t);   // the loading screen at t
void ScenesRenderEndpart(float t);  // patterns 55 and above
void ScenesRenderWhiteFlash(float p);
void ScenesDrawOverlay(void);       // debug overlay (option "debug")

// Music: started after loading unless sound is off; seeks follow the timer.
void ScenesMusicStart(const char *fileName);
void ScenesMusicStop(void);
void ScenesMusicSeek(int32_t ms);
