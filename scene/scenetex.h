// Scene textures and release.
//
// Loads and releases the textures that a scene's materials and particle emitters
// name, through the texture management table; "$framebuffer$.jpg" stands for the
// renderer's render-target texture and is not loaded. SceneFree gives back every
// array of a scene (tracked chunk arrays and untracked derived ones) and its buffer
// objects.
// Depends on: scene/records.h, scene/counters.h, presentation/textures, bindings,
// presentation/gl.
#pragma once

#include "presentation/pstring.h"
#include "scene/records.h"

void SceneLoadTextures(_QLV_SCENE *scene, const ShortString &textureDir);
void SceneReleaseTextures(_QLV_SCENE *scene);
// Releases the arrays and buffer objects and zeroes their pointers, ids and counts;
// the rest of the record stays. Textures are SceneReleaseTextures' business.
void SceneFree(_QLV_SCENE *scene);
// The two halves of SceneFree's object work: an object's tracked arrays (read from
// the file, and derived neighbours), and everything else preparation made (the
// untracked derived arrays and the buffer objects) for the whole scene.
void SceneFreeObjectArrays(_QLV_OBJECT *obj);
void SceneFreeDerived(_QLV_SCENE *scene);
