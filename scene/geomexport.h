// Geometry text export.
//
// Dumps every object's vertex positions into baseName + "v" and its triangles into
// baseName + "f": per object a name line, a line of one blank, then one numbered line
// per vertex ("3 1.0000 -0.5000 0.0000") or face ("3 0 1 2"). Plain disk paths.
// Depends on: scene/records.h, scene/scenefile (SceneLog).
#pragma once

#include <cstdint>

#include "presentation/pstring.h"
#include "scene/records.h"

// 0, or -1 (logged) when a file cannot be created or written; a vertex file already
// written stays.
int32_t SceneExportGeometry(_QLV_SCENE *scene, const ShortString &baseName);
