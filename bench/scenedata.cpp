// Scene data benchmark: a grid of 2 x 250 x 250 triangles (about 63k vertices) is
// written with SceneSave and read back with SceneLoad, once as a version 1.2 file
// (neighbours in the file) and once as 1.1 (neighbours derived at load), best of five
// rounds each; then neighbour finding alone against the pairwise search it replaces
// on a smaller grid. No GL context: the buffer-object entries are stubs that keep nothing.
// Depends on: scene (file, preparation, release), presentation (bindings), base.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/main.h"
#include "presentation/gl.h"
#include "scene/prepare.h"
#include "scene/scenefile.h"
#include "scene/scenetex.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

struct Grid {
  std::vector<_QLV_VECTOR> vertices;
  std::vector<_QLV_FACE> faces, neighbours;
};

Grid MakeGrid(int32_t n) {
  Grid g;
  for (int32_t y = 0; y <= n; y++)
    for (int32_t x = 0; x <= n; x++) g.vertices.push_back({float(x), float(y), float((x * y) % 7) * 0.1f});
  for (int32_t y = 0; y < n; y++)
    for (int32_t x = 0; x < n; x++) {
      const int32_t v = y * (n + 1) + x;
      g.faces.push_back({v, v + 1, v + n + 2});
      g.faces.push_back({v + n + 2, v + n + 1, v});
    }
  g.neighbours.resize(g.faces.size());
  _QLV_OBJECT obj{};
  obj.facecount = int32_t(g.faces.size());
  obj.edgefaces = g.faces.data();
  obj.neighbours = g.neighbours.data();
  FindNeighbours(&obj);
  return g;
}

// The pairwise search over every face pair.
void Pairwise(const std::vector<_QLV_FACE> &e, std::vector<_QLV_FACE> &n) {
  auto at = [](const _QLV_FACE &f, int k) { return k == 0 ? f.a : k == 1 ? f.b : f.c; };
  auto set = [](_QLV_FACE &f, int k, int32_t v) { (k == 0 ? f.a : k == 1 ? f.b : f.c) = v; };
  const int32_t fc = int32_t(e.size());
  for (auto &f : n) f = {-1, -1, -1};
  for (int32_t i = 0; i < fc - 1; i++)
    for (int32_t j = i + 1; j < fc; j++)
      for (int ki = 0; ki < 3; ki++) {
        if (at(n[i], ki) != -1) continue;
        for (int kj = 0; kj < 3; kj++) {
          const int32_t a0 = at(e[i], ki), a1 = at(e[i], (ki + 1) % 3), b0 = at(e[j], kj), b1 = at(e[j], (kj + 1) % 3);
          if ((a0 == b0 && a1 == b1) || (a0 == b1 && a1 == b0)) set(n[i], ki, j), set(n[j], kj, i);
        }
      }
}

}  // namespace

int main(int argc, char **argv) {
  static const char *args[] = {"korv-bench-scenedata"};
  SYS_BaseInit(nullptr, 1, const_cast<char **>(args), nullptr);
  (void)argc, (void)argv;
  InitSceneFileUnit();
  // No GL context: buffer objects that hold nothing, so the figures are the reader's
  // and the preparation's own work.
  pgl::glGenBuffersARB = [](GLsizei n, GLuint *ids) {
    for (GLsizei i = 0; i < n; i++) ids[i] = 1;
  };
  pgl::glBindBufferARB = [](GLenum, GLuint) {};
  pgl::glBufferDataARB = [](GLenum, GLsizeiptrARB, const void *, GLenum) {};
  pgl::glDeleteBuffersARB = [](GLsizei, const GLuint *) {};

  Grid g = MakeGrid(250);
  _QLV_MATERIAL material{};
  material.name = "m";
  _QLV_OBJECT obj{};
  obj.name = "grid";
  obj.vertexcount = int32_t(g.vertices.size());
  obj.facecount = int32_t(g.faces.size());
  obj.vertices = g.vertices.data();
  obj.faces = obj.edgefaces = g.faces.data();
  obj.neighbours = g.neighbours.data();
  _QLV_SCENE scene{};
  scene.name = "bench";
  scene.materialcount = scene.objectcount = 1;
  scene.materials = &material;
  scene.objects = &obj;

  const std::string path = (std::filesystem::temp_directory_path() / "korv-bench-scenedata.qlv").string();
  for (uint8_t minor : {uint8_t(2), uint8_t(1)}) {
    FileVersionMinor = minor;
    double save = 1e9, load = 1e9;
    for (int round = 0; round < 5; round++) {
      const auto t0 = Clock::now();
      if (SceneSave(&scene, path.c_str()) != 0) return 1;
      const auto t1 = Clock::now();
      _QLV_SCENE loaded{};
      if (SceneLoad(&loaded, path.c_str()) != 0) return 1;
      const auto t2 = Clock::now();
      SceneFree(&loaded);
      save = std::min(save, Ms(t0, t1));
      load = std::min(load, Ms(t1, t2));
    }
    std::printf("version 1.%d, %d faces, %d vertices, %.1f MB: save %.1f ms, load+prepare %.1f ms\n", minor,
                obj.facecount, obj.vertexcount, double(std::filesystem::file_size(path)) / 1e6, save, load);
  }
  std::filesystem::remove(path);

  Grid small = MakeGrid(50);
  std::vector<_QLV_FACE> n(small.faces.size());
  _QLV_OBJECT o{};
  o.facecount = int32_t(small.faces.size());
  o.edgefaces = small.faces.data();
  o.neighbours = n.data();
  auto t0 = Clock::now();
  FindNeighbours(&o);
  auto t1 = Clock::now();
  std::vector<_QLV_FACE> ref(small.faces.size());
  Pairwise(small.faces, ref);
  auto t2 = Clock::now();
  const bool same = std::memcmp(n.data(), ref.data(), n.size() * sizeof(_QLV_FACE)) == 0;
  std::printf("neighbours of %d faces: grouped %.2f ms, pairwise %.1f ms (%s)\n", o.facecount, Ms(t0, t1), Ms(t1, t2),
              same ? "same table" : "TABLES DIFFER");
  SYS_BaseDone();
  return same ? 0 : 1;
}
