// libFuzzer harness of the scene file reader and the configuration text reader: a
// read, failed or not, gives every tracked block back. The first input byte picks the
// reader; the rest is the file. Seeds are in scene-corpus/; a folder named on the
// command line that is empty gets them written afresh (a written scene and its
// configuration text), so they follow the writer. scene-crashes/ holds inputs the
// ordinary build replays (one repeats an array chunk, whose first array must go).
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "data_util.h"
#include "scene/sceneconfig.h"
#include "scene/scenefile.h"
#include "scene/scenetex.h"
#include "tests/common/fuzz_util.h"

namespace {

std::string g_file;

void WriteSeed(const std::filesystem::path &dir, const char *name, char kind, const std::string &body) {
  scene_data_test::WriteFile((dir / name).string(), std::string(1, kind) + body);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  static const char *args[] = {"scene-data-fuzz"};
  SYS_BaseInit(nullptr, 1, const_cast<char **>(args), nullptr);
  InitSceneFileUnit();
  pgl::glGenBuffersARB = scene_data_test::RecGen;
  pgl::glBindBufferARB = scene_data_test::RecBind;
  pgl::glBufferDataARB = [](GLenum, GLsizeiptrARB, const void *, GLenum) {};
  pgl::glDeleteBuffersARB = scene_data_test::RecDelete;
  g_file = "fuzz-scene.bin";  // in the current folder, which scripts/fuzz.sh keeps in memory
  for (int i = 1; i < *argc; i++) {
    const std::filesystem::path dir = (*argv)[i];
    if ((*argv)[i][0] == '-' || !std::filesystem::is_directory(dir) || !std::filesystem::is_empty(dir)) continue;
    scene_data_test::SmallScene small;
    SceneSave(&small.scene, g_file.c_str());
    WriteSeed(dir, "seed-scene", 0, scene_data_test::ReadFile(g_file));
    SceneConfigSave(&small.scene, g_file.c_str());
    WriteSeed(dir, "seed-config", 1, scene_data_test::ReadFile(g_file));
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  scene_data_test::WriteFile(g_file, std::string(reinterpret_cast<const char *>(data) + 1, size - 1));
  // Tracked blocks stay listed, so the leak checker cannot see one that a failed
  // read forgot: the tracked total must come back.
  fuzz::GivesBackWhatItTakes([&] {
    scene_data_test::g_buffers.clear();
    if (data[0] % 2 == 0) {
      _QLV_SCENE scene{};
      if (SceneLoad(&scene, g_file.c_str()) == 0) SceneFree(&scene);
    } else {
      scene_data_test::SmallScene small;
      SceneConfigLoad(&small.scene, g_file.c_str());
    }
  });
  return 0;
}
