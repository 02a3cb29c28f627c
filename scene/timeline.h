// Project timeline: key ramps and operators.
//
// For every time the host passes, each operator of a loaded project runs once per
// key whose range holds the time, with the key's eased value: clears, scenes (with
// stencil shadows and particles), image filters, viewports, frame copies, shader
// passes, grain and textured overlays, a few procedural figures and changes to scene
// fields. The player neither clears nor swaps unless an operator says so.
// Depends on: project player, renderer, renderer helpers, shadow volumes, key
// interpolation, IFE layers, procedural tables (random draws), GL table.
#pragma once

#include <cstdint>

#include "scene/player.h"

// Programs of the shader operators; 0 (the fixed-function pipeline) unless the host
// sets them, for instance from ShaderLoad.
extern int32_t PassProgramA, PassProgramB;

void ProjectPlay(TVX_Project *project, float time);
float KeyRamp(uint8_t mode, float start, float end, float startValue, float midValue, float endValue, float t);
float EaseToMid(uint8_t mode, float a, float b, float f);
float EaseFromMid(uint8_t mode, float a, float b, float f);
void DrawNoiseOverlay(float intensity);
