// Damaged scene files that still load are drawn by every render path: counts, pass
// numbers, emitter values, indices and keys come from the file, so none of them may
// make a pass read outside the scene's arrays or spin. The sanitizer build watches the
// processor side (shadow silhouettes, particles, flares, picking, occluders); the GL
// calls only record.
#include <random>
#include <string>

#include "scene/counters.h"
#include "scene/render.h"
#include "scene/renderhelpers.h"
#include "scene/scenefile.h"
#include "scene/scenetex.h"
#include "scene/shadow.h"
#include "tests/scene/data_util.h"
#include "tests/scene/render_recorder.h"

namespace {

class LoadedSceneFuzz : public rtest::Fixture {};

void DrawEverything(_QLV_SCENE *scene, float frame) {
  ParticlesCreate(scene, 64);
  for (float f : {frame, frame + 37.5f}) {
    RenderScene(scene, f);
    RenderScenePrelit(scene, f);
    _QLV_VECTOR light = {5, 5, 20};
    DrawShadowVolumes(scene, &light, f);
    DrawParticles(scene, f);
    FlareSample(scene, f);
    DrawFlares(scene, f);
    PickObject(scene, f);
    for (int32_t i = -1; i <= scene->objectcount; i++) {
      DrawObjectWire(scene, i, 0.5f, f);
      DrawObjectBlack(scene, i, f);
    }
    RenderMirrored(scene, 0, f, 1, 1, -1, 0.5f);
    rtest::Calls().clear();
  }
  ParticlesFree(scene);
}

TEST_F(LoadedSceneFuzz, DamagedScenesThatLoadDrawWithinTheirArrays) {
  InitSceneFileUnit();
  scene_data_test::SmallScene small;
  small.objects[1].castshadow = true;
  small.objects[1].particle.particleenabled = true;
  small.objects[1].particle.newparticle = 5;
  small.objects[1].particle.power = 1;
  small.objects[1].particle.deltapower = 0.3f;
  ASSERT_EQ(SceneSave(&small.scene, "hall.qlv"), 0);
  const std::string good = scene_data_test::ReadFile("hall.qlv");

  int loaded = 0;
  std::mt19937 rng(4103);
  for (int round = 0; round < 1500; round++) {
    std::string bytes = good;
    const int edits = 1 + int(rng() % 6);
    for (int e = 0; e < edits; e++) {
      const size_t at = rng() % bytes.size();
      // Mostly whole 32-bit values, where counts, indices and numbers live.
      if (rng() % 2 && at + 4 <= bytes.size()) {
        static const uint32_t kValues[] = {0, 1, 2, 3, 0x7fffffff, 0x80000000, 0xffffffff, 0x7f800000, 0x7fc00000};
        const uint32_t v = rng() % 3 ? kValues[rng() % 9] : uint32_t(rng());
        for (int k = 0; k < 4; k++) bytes[at + k] = char(v >> (8 * k));
      } else {
        bytes[at] = char(rng());
      }
    }
    scene_data_test::WriteFile("mut.qlv", bytes);
    _QLV_SCENE scene{};
    if (SceneLoad(&scene, "mut.qlv") == 0) {
      loaded++;
      DrawEverything(&scene, float(rng() % 300) - 50.0f);
    }
    SceneFree(&scene);
  }
  EXPECT_GT(loaded, 100);
}

}  // namespace
