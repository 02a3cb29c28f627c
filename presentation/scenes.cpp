// Scene table and loading steps of the main program: see scenes.h.
// Depends on: the units wired below.
#include "presentation/scenes.h"

#include <climits>
#include <iterator>

#include "presentation/bindings.h"
#include "presentation/glow.h"
#include "presentation/ife.h"
#include "presentation/procedural.h"
#include "presentation/scene_cubes.h"
#include "presentation/scene_greets.h"
#include "presentation/scene_kaleido.h"
#include "presentation/scene_logo.h"
#include "presentation/scene_metaballs.h"
#include "presentation/scene_particles.h"
#include "presentation/scene_stars.h"
#include "presentation/scene_tunnel.h"
#include "presentation/scene_wave.h"
#include "presentation/show.h"
#include "presentation/textures.h"

// Fourteen ranges, in the order the frame tests them; at most one matches.
const SceneRange kSceneTable[] = {
    {0, 0, LogoScene, "logo"},
    {1, 1, LogoScene, "logo"},
    {2, 2, LogoScene, "logo"},
    {3, 4, StarSphereScene, "star sphere"},
    {5, 8, StarSphereScene, "star sphere"},
    {9, 16, LineTunnelScene, "line tunnel"},
    {17, 24, MetaballScene, "metaballs"},
    {25, 27, WaveFieldScene, "wave field"},
    {28, 31, CubeCloudScene, "cube cloud"},
    {32, 36, ParticleImageScene, "particle image"},
    {37, 40, AttractorScene, "attractors"},
    {41, 46, KaleidoscopeScene, "kaleidoscope and credits"},
    {47, 54, GreetsScene, "greetings tunnel"},
    {55, INT_MAX, ShowDrawEndpart, "end part"},
};
const int32_t kSceneCount = (int32_t)std::size(kSceneTable);

int32_t ScenesDraw(int32_t pattern) {
  for (const SceneRange &r : kSceneTable) {
    if (pattern < r.firstPattern || pattern > r.lastPattern) continue;
    if (r.draw) r.draw();
    return 1;
  }
  return 0;
}

const char *const kEffectFiles[9] = {"v_blur.ife",  "h_blur.ife", "fadeout.ife",   "feedback.ife",  "credits.ife",
                                     "endpart.ife", "greets.ife", "rotatebkg.ife", "whiteflash.ife"};

void ScenesTextureOptions(int32_t textureQuality) {
  txOptions(3, 1);
  txOptions(2, textureQuality);
}
void ScenesCreateScreenTexture(void) {
  ScreenTexCreate();
  IfeBufTextures[0] = ScreenTexture;
}
void ScenesInitMetaGrid(float *fieldGrid) {
  MetaGrid = MetaGridInit(fieldGrid, 32);
  if (!MetaGrid) FatalError("Not enough memory for the metaball grid.");
}
void ScenesLoadEffect(int32_t index) {
  static ife_interface *const kEffects[9] = {&IfeVBlurFx,   &IfeHBlurFx,  &IfeFadeoutFx,    &IfeFeedbackFx,   &IfeCreditsFx,
                                             &IfeEndpartFx, &IfeGreetsFx, &IfeRotateBkgFx, &IfeWhiteFlashFx};
  if (index >= 0 && index < 9) IfeLoad(kEffects[index], kEffectFiles[index], "");
}
void ScenesBuildTables(void (*step)(void)) {
  if (ProcBuildTables(step) != 0) FatalError("Not enough memory for the particle paths.");
}

