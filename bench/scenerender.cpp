// Processor cost of the scene renderer's per-frame work: the shadow silhouette and
// quads of a closed 131,072-face mesh, and a 5000-particle pool, with the GL entries
// replaced by empty functions so only the engine's own work is timed.
#include <chrono>
#include <cstdio>
#include <vector>

#include "presentation/gl.h"
#include "scene/prepare.h"
#include "scene/render.h"
#include "scene/renderhelpers.h"
#include "scene/shadow.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void StubGL() {
  pgl::glBindTexture = [](GLenum, GLuint) {};
  pgl::glColor3f = [](GLfloat, GLfloat, GLfloat) {};
  pgl::glBegin = [](GLenum) {};
  pgl::glEnd = [] {};
  pgl::glVertex3f = [](GLfloat, GLfloat, GLfloat) {};
  pgl::glTexCoord2f = [](GLfloat, GLfloat) {};
  pgl::glEnable = [](GLenum) {};
  pgl::glDisable = [](GLenum) {};
  pgl::glDepthMask = [](GLboolean) {};
  pgl::glBlendFunc = [](GLenum, GLenum) {};
}

}  // namespace

int main() {
  StubGL();
  // A torus-like closed grid: N x N quads on a wrapped lattice, two faces each.
  const int N = 256;
  std::vector<_QLV_VECTOR> vertices(N * N), centers(2 * N * N), normals(2 * N * N), volume(12 * 2 * N * N);
  std::vector<_QLV_FACE> faces(2 * N * N), neighbours(2 * N * N);
  std::vector<uint8_t> lit(2 * N * N), contour(6 * N * N);
  for (int y = 0; y < N; y++)
    for (int x = 0; x < N; x++) vertices[y * N + x] = {(float)x, (float)y, (float)((x * 7 + y * 13) % 5)};
  for (int y = 0; y < N; y++)
    for (int x = 0; x < N; x++) {
      const int a = y * N + x, b = y * N + (x + 1) % N, c = ((y + 1) % N) * N + (x + 1) % N, d = ((y + 1) % N) * N + x;
      faces[2 * a] = {a, b, c};
      faces[2 * a + 1] = {a, c, d};
    }
  _QLV_OBJECT o{};
  o.visible = o.castshadow = true;
  o.vertexcount = N * N;
  o.facecount = 2 * N * N;
  o.vertices = vertices.data();
  o.faces = o.edgefaces = faces.data();
  o.neighbours = neighbours.data();
  o.facecenters = centers.data();
  o.facenormals = normals.data();
  o.lightvisible = lit.data();
  o.contour = contour.data();
  FindNeighbours(&o);
  for (int f = 0; f < o.facecount; f++) {
    const _QLV_VECTOR &A = vertices[faces[f].a];
    centers[f] = A;
    normals[f] = {0, 0, (f % 3 == 0) ? 1.0f : -1.0f};
  }
  _QLV_SCENE scene{};
  scene.objects = &o;
  scene.objectcount = 1;
  scene.volumearray = volume.data();
  VolumeExtrusion = 1000;
  const _QLV_VECTOR light = {128, 128, 50}, offset = {0, 0, 0};
  const int rounds = 50;
  auto t0 = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; r++) {
    scene.volumequadcount = 0;
    ShadowFacesLit(&o, &light, &offset);
    ShadowContour(&o);
    ShadowVolumeBuild(&scene, &o, &light, &offset);
  }
  const double shadow = Seconds(t0) / rounds;
  std::printf("shadow silhouette, %d faces: %.2f ms per frame (%d quads)\n", o.facecount, shadow * 1e3,
              scene.volumequadcount);

  // Particles: 10 emitters of 50 per frame, 100 frames of life: a full pool of 5000.
  _QLV_SCENE ps{};
  std::vector<_QLV_OBJECT> emitters(10);
  for (_QLV_OBJECT &e : emitters) {
    e.particle.particleenabled = true;
    e.particle.newparticle = 50;
    e.particle.power = 1;
    e.particle.deltapower = 0.01f;
    e.particle.size = 1;
    e.particle.colorattrib = 3;
    e.particle.deltavectorspread = {1, 1, 1};
  }
  ps.objects = emitters.data();
  ps.objectcount = 10;
  ParticlesCreate(&ps, 5000);
  CameraEye = {0, 0, -10};
  CameraTarget = {0, 0, 0};
  for (int f = 0; f < 200; f++) DrawParticles(&ps, (float)f);
  t0 = std::chrono::steady_clock::now();
  const int frames = 200;
  for (int f = 0; f < frames; f++) DrawParticles(&ps, (float)f);
  std::printf("particles, pool of %d: %.3f ms per frame\n", ps.particlecount, Seconds(t0) / frames * 1e3);
  return 0;
}
