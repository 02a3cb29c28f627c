// ARB shader program loader of the scene engine.
//
// Builds a GLSL program from a vertex and a fragment shader file through the ARB
// shader-object entries, reading the sources through the framework's file layer (so
// they may come from the data pack). Problems go to the log; the handles are returned
// whatever happened, so a caller may hold objects that do not work.
// Depends on: file layer, bindings (log, tracked memory), GL table.
#pragma once

#include <cstdint>

#include "presentation/pstring.h"

// Longest source the loader accepts, in bytes.
enum : int32_t { kShaderSourceMax = 65535 };

void ShaderLoad(int32_t *vertexShader, int32_t *fragmentShader, int32_t *program, const ShortString &vertexFile,
                const ShortString &fragmentFile);

// (x, y, z) rotated by yAngle about y, then by xAngle about x (radians).
void RotatePointRad(float *rx, float *ry, float *rz, float x, float y, float z, float xAngle, float yAngle);
