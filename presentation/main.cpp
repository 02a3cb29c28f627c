// Entry of the show: the units' start-ups in their fixed order, then the main program.
//
// The order is the one every unit relies on: the framework comes up first (base
// binding), the registry slots are filled in slot order (window manager 1, GL 2,
// GLU 3, texture loader 4), the error callback is in place before the first file is
// opened, the texture table is clear before anything loads, and the scene engine's
// units only set their start values. Before all of it, freed memory is kept for reuse:
// the renderer's per-frame buffers would otherwise come back as fresh pages, thousands
// of page faults a frame for seconds after a heavy scene.
// Depends on: the presentation's units.
#include "platform/sysinfo.h"
#include "presentation/bindings.h"
#include "presentation/dialogs.h"
#include "presentation/gl.h"
#include "presentation/show.h"
#include "presentation/texloader.h"
#include "presentation/textures.h"
#include "presentation/window.h"
#include "scene/scenefile.h"
#include "scene/units.h"

int main(int argc, char **argv) {
  platKeepFreedMemory();
  InitBaseLib(argc, argv);
  RegisterWindowManagerUnit();
  RegisterGLUnit();
  RegisterGLUUnit();
  RegisterTLUnit();
  RegisterFrameworkUnit();
  InitTexUnit();
  InitSceneRenderUnits();
  InitSceneFileUnit();
  return ShowRun();
}
