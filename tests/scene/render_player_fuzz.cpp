// Fuzzing the project file reader: arbitrary bytes loaded as a project never read
// outside the file, and the scenes they name go through the scene loader. Built as a
// libFuzzer target with KORV_LIBFUZZER (seed corpus in project-corpus/: projects that
// name the scenes and effect file the harness writes into data/), and run here over
// every truncation and a fixed-seed set of byte changes of a valid project. The
// target's worth is that nothing faults: a load may succeed or fail.
//
// An effect file that cannot be opened or read ends the program by design, so every
// filter name that is not one of the harness's effect files is pointed at one.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "presentation/bindings.h"
#include "scene/player.h"
#include "scene/renderhelpers.h"
#include "scene/scenefile.h"
#include "scene/scenetex.h"
#include "tests/common/fuzz_util.h"
#include "tests/scene/data_util.h"
#include "tests/scene/render_recorder.h"

namespace {

const char kPath[] = "fuzz.prj";

int32_t Int32At(const std::string &b, size_t at) {
  uint32_t v = 0;
  for (int k = 0; k < 4; k++) v |= (uint32_t)(uint8_t)b[at + k] << (8 * k);
  return (int32_t)v;
}

std::string PascalName(const std::string &s) {
  std::string b(1, (char)s.size());
  b += s;
  b.append(255 - s.size(), '\0');
  return b;
}

void KeepFiltersLoadable(std::string &bytes) {
  if (bytes.size() < kProjectHeaderSize) return;
  const int64_t scenes = Int32At(bytes, 272), filters = Int32At(bytes, 276);
  if (scenes < 0 || filters <= 0) return;
  for (int64_t i = 0; i < filters; i++) {
    const int64_t at = kProjectHeaderSize + kProjectNameSize * (scenes + i);
    if (at + kProjectNameSize > (int64_t)bytes.size()) return;
    const uint8_t length = (uint8_t)bytes[at];
    const ShortString key = SceneCacheKey(ShortString(std::string_view(bytes.data() + at + 1, length)));
    if (std::string_view(key) != "fx.ife" && std::string_view(key) != "fx2.ife")
      bytes.replace(at, kProjectNameSize, PascalName("fx.ife"));
  }
}

// The files a project may name: two scenes and two effect files in data/.
void WriteData() {
  std::filesystem::create_directories("data");
  scene_data_test::SmallScene small;
  // No image files here: a texture that cannot be had ends the program.
  for (_QLV_MATERIAL &m : small.materials) m.textured = m.envmap = false;
  for (_QLV_OBJECT &o : small.objects) o.particle.particletexture = "";
  SceneSave(&small.scene, "data/hall.qlv");
  small.objects[1].particle.particleenabled = true;
  small.objects[1].particle.newparticle = 5;
  small.objects[1].castshadow = true;
  SceneSave(&small.scene, "data/room.qlv");
  scene_data_test::WriteFile("data/fx.ife", "# two layers\n2\n0\nwhite.tga\n\n\n2\n2\n0 640 360 0 0 1280 720 255 255 255 0\n"
                                            "1000 640 360 1 0 1280 720 255 255 255 255\nRT\n\n\n1\n1\n0 1 2 0 0 3 4 5 6 7 8\n");
  scene_data_test::WriteFile("data/fx2.ife", "0\n0\n");
}

int LoadBytes(const uint8_t *data, size_t size) {
  std::string bytes((const char *)data, size);
  KeepFiltersLoadable(bytes);
  scene_data_test::WriteFile(kPath, bytes);
  rtest::Calls().clear();
  TVX_Project project;
  const int r = ProjectLoad(&project, kPath);
  _QLV_SCENE *const scenes = project.Scenes;
  const int32_t count = project.SceneCount;
  ProjectFree(&project);
  // The cache keeps what it holds for the whole run and ProjectFree keeps the records
  // it points into; each input starts from an empty cache, so what one input loads
  // cannot depend on the inputs before it.
  bool kept = false;
  for (int32_t c = 0; c < SceneCacheCount; c++) {
    _QLV_SCENE *scene = SceneCacheScenes[c];
    if (scene >= scenes && scene < scenes + count) {
      ParticlesFree(scene);
      SceneFree(scene);
      kept = true;
    }
    SceneCacheNames[c] = "";
    SceneCacheScenes[c] = nullptr;
  }
  SceneCacheCount = 0;
  if (kept) std::free(scenes);
  return r;
}

}  // namespace

#ifdef KORV_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static bool ready = false;
  if (!ready) {
    static const char *argv[] = {"fuzz-scene-project"};
    SYS_BaseInit(nullptr, 1, argv, nullptr);
    rtest::Install();
    InitSceneFileUnit();
    WriteData();
    ready = true;
  }
  // Tracked blocks stay listed, so the leak checker cannot see one that a failed
  // load forgot: the tracked total must come back.
  fuzz::GivesBackWhatItTakes([&] { LoadBytes(data, size); });
  return 0;
}
#else
namespace {

// A valid project: the two scenes (one through a folder prefix), the effect file and
// three operators with 0, 1 and 2 keys.
std::string Seed() {
  std::string b;
  auto i32 = [&](int32_t v) {
    for (int k = 0; k < 4; k++) b += (char)((uint32_t)v >> (8 * k));
  };
  b += PascalName("seed");
  for (int32_t v : {0, 0, 0, 0, 2, 1, 3}) i32(v);
  b += PascalName("x\\hall.qlv");
  b += PascalName("room.qlv");
  b += PascalName("fx.ife");
  for (int32_t keys = 0; keys < 3; keys++) {
    i32(1000 + keys);
    i32(0);
    b.append(32, '\x01');
    i32(0);
    i32(keys);
    b += PascalName("op");
  }
  for (int k = 0; k < 3; k++)
    for (int32_t v : {0, 10, 1, 0, 500, 1000}) i32(v);
  return b;
}

class ProjectFuzz : public rtest::Fixture {};

TEST_F(ProjectFuzz, TruncationsAndDamagedBytesNeverFault) {
  InitSceneFileUnit();
  WriteData();
  const std::string seed = Seed();
  ASSERT_EQ(LoadBytes((const uint8_t *)seed.data(), seed.size()), 0);
  // The string helper's buffer grows to the longest text it has held and is kept:
  // at its cap first, so that its growth is not counted.
  PasStr(std::string(255, 'x'));
  const long long before = fuzz::TrackedBytes();  // after a first load set up the log
  int accepted = 0;
  for (size_t n = 0; n < seed.size(); n++) accepted += LoadBytes((const uint8_t *)seed.data(), n) == 0;
  EXPECT_EQ(accepted, 0);  // every truncation of this project is short of its counts
  std::mt19937 random(1234);
  const size_t fields[] = {272, 273, 275, 276, 280, 283, 284 + 768 + 44, 284 + 768 + 304 + 47, 284 + 768 + 608 + 44};
  for (int round = 0; round < 400; round++) {
    std::string bytes = seed;
    const int changes = 1 + (int)(random() % 4);
    for (int c = 0; c < changes; c++) {
      const size_t at = random() % 2 ? fields[random() % 9] : random() % bytes.size();
      bytes[at] = (char)random();
    }
    LoadBytes((const uint8_t *)bytes.data(), bytes.size());
  }
  EXPECT_EQ(fuzz::TrackedBytes(), before);
}

}  // namespace
#endif
