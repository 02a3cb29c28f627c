// Start-up of the scene engine's drawing units.
//
// The renderer, the shadow volumes and the timeline keep unit variables that the
// program's start-up sets to their start values once, after the texture management
// unit and before any scene is loaded or drawn.
// Depends on: renderer helpers, shadow volumes, timeline.
#pragma once

void InitSceneRenderUnits(void);
