// Start-up of the scene engine's drawing units.
// Depends on: renderer helpers (RendererInit), shadow volumes, timeline.
#include "scene/units.h"

#include "scene/renderhelpers.h"
#include "scene/shadow.h"
#include "scene/timeline.h"

void InitSceneRenderUnits(void) {
  RendererInit();
  VolumeExtrusion = 0.0f;
  PassProgramA = PassProgramB = 0;
}
