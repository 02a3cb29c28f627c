// 3D renderer of the scene engine: camera, lights, materials, scene and object drawing.
//
// Draws a loaded scene with the fixed-function pipeline from the buffer objects that
// preparation made: the camera from the scene's tracks (z up, aspect 4/3 whatever
// the window), eight lights, then the visible objects pass by pass in index order
// with their materials' blending, depth and alpha-test settings. Also a wireframe,
// a black occluder pass, the flare colour read-back and selection-mode picking.
// The unit variables below start at the values RendererInit gives them.
// Depends on: scene records, key interpolation, renderer counters, bindings (log),
// GL and GLU table.
#pragma once

#include <cstdint>
#include <string_view>

#include "scene/records.h"

extern _QLV_VECTOR CameraEye, CameraTarget;  // of the last camera set-up
extern float ProjectionScale;                // zoomed, prelit and pick projections
extern _QLV_VECTOR WorldScale;               // every object; the scaled view; flares
extern _QLV_VECTOR ObjectOffset;             // every object, after its own transform
extern bool AnisotropicFiltering;
extern bool ClipPlaneEnabled;
extern double ClipPlane[4];
extern float FaceFraction;  // share of each object's faces drawn; below 0 all
extern int32_t FlarePointSize;
extern int32_t PickX, PickY;  // window pixels, y from the top of a 480-pixel window
extern _QLV_VECTOR SpareTriple;

// The four render variants. A scene without a camera position or target track is
// logged and not drawn.
void RenderScene(_QLV_SCENE *scene, float frame);
void RenderSceneScaled(_QLV_SCENE *scene, float frame);
void RenderSceneZoomed(_QLV_SCENE *scene, float frame);
void RenderScenePrelit(_QLV_SCENE *scene, float frame);

// One object (0-based); an index outside the scene, an object whose material is
// outside the scene or one without vertex and face buffer objects draws nothing.
void DrawObject(_QLV_SCENE *scene, int32_t index, float frame);
void DrawObjectPrelit(_QLV_SCENE *scene, int32_t index, float frame);
void DrawObjectWire(_QLV_SCENE *scene, int32_t index, float grey, float frame);
void DrawObjectBlack(_QLV_SCENE *scene, int32_t index, float frame);

// Flare visibility: hides the flare objects and fills their samplecolor from the
// frame around each projected flare.
void FlareSample(_QLV_SCENE *scene, float frame);
// 1-based index of the nearest object under (PickX, PickY), 0 for none (and for a
// scene without camera tracks, silently).
int32_t PickObject(_QLV_SCENE *scene, float frame);

// Projection and view in the projection matrix alone (modelview stays identity).
void CameraSetup(_QLV_SCENE *scene, float frame);
void CameraSetupAt(_QLV_SCENE *scene, const _QLV_VECTOR *eye, const _QLV_VECTOR *target);

void EngineLog(std::string_view text);
void SetSpareTriple(float a, float b, float c);

// Whether the scene has both camera tracks; logs message when it has not.
bool SceneHasCamera(const _QLV_SCENE *scene, std::string_view message);
extern const char kNoCameraMessageUpper[];
extern const char kNoCameraMessageMixed[];
