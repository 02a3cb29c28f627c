// Particle image scenes (patterns 32 to 40): see scene_particles.h.
//
// The cube is drawn into the window's corner only to be read back: the letterbox is
// cleared straight after, so the picture exists only as particles. Particle
// k = 256 j + i belongs to pixel column i and row j of the read-back (row 0 at the
// bottom), so the particle picture stands as upright as the cube did. Everything is
// sent in immediate mode inside one glBegin, but the attractors, whose quads all share
// one colour, come from client arrays holding exactly the values, in exactly the
// order, that SpriteQuad would send; the frame allocates nothing.
// Depends on: GL and GLU tables, cube faces, procedural tables, logo scene
// (SpriteQuad), glow, main program state.
#include "presentation/scene_particles.h"

#include "presentation/cube.h"
#include "presentation/gl.h"
#include "presentation/glow.h"
#include "presentation/procedural.h"
#include "presentation/scene_logo.h"
#include "presentation/scene_view.h"
#include "presentation/show.h"
#include "presentation/tempo.h"

uint8_t CubePixels[kCubeImageSize * kCubeImageSize * 3];

namespace {

constexpr float kFaceTexCoords[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};

// Sprite texture, identity matrices, no depth test, glowing blend, unlit white.
void SpriteState(void) {
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, (GLuint)SpriteTexture);
  ResetMatrices();
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR);
  glDisable(GL_LIGHTING);
  glColor3f(1.0f, 1.0f, 1.0f);
}

}  // namespace

float ImageParticleSize(int32_t b) { return (float)(b * 0.008 / 768.0 + 0.005); }

void CubeRender(void) {
  const int32_t t = SegmentTime;
  SceneLookAt(45.0, 5.0, 0.0, 0.0);

  // Light and material stay at GL's defaults; without colour material this colour
  // does not reach the lit cube.
  glDisable(GL_TEXTURE_2D);
  glColor3f(0.1f, 0.1f, 0.2f);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glRotatef((float)(-t / 30.0), -1.0f, 1.0f, 0.0f);

  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, (GLuint)CubeTexture);
  glViewport(0, 0, kCubeImageSize, kCubeImageSize);
  glBegin(GL_QUADS);
  for (const CubeFace &face : kCubeFaces) {
    glNormal3f(face.normal[0], face.normal[1], face.normal[2]);
    for (int c = 0; c < 4; c++) {
      glTexCoord2f(kFaceTexCoords[c][0], kFaceTexCoords[c][1]);
      glVertex3f(face.corners[c][0], face.corners[c][1], face.corners[c][2]);
    }
  }
  glEnd();
  // Rows of 768 bytes meet any pack alignment GL may be set to.
  glReadPixels(0, 0, kCubeImageSize, kCubeImageSize, GL_RGB, GL_UNSIGNED_BYTE, CubePixels);

  LetterboxHeight = LetterboxHeightFor(ScreenWidth);
  glViewport(0, LetterboxY(ScreenHeight, LetterboxHeight), ScreenWidth, LetterboxHeight);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void ParticleImageScene(void) {
  CubeRender();
  const int32_t t = SegmentTime;
  SpriteState();
  glBegin(GL_QUADS);
  // The home jitter moves every millisecond; the offset stays in 0..999 (SegmentTime
  // is never negative here, the wrap only keeps the index inside the table).
  const int32_t jitter = (t % 1000 + 1000) % 1000;
  const double progress = (t - kParticleImageStart) / 7111.0;
  for (int32_t j = 0; j < kCubeImageSize; j++) {
    const double homeY = (j - 127.5) / 127.5;
    for (int32_t i = 0; i < kCubeImageSize; i++) {
      const int32_t k = kCubeImageSize * j + i;
      const TVector &v = RandomVectors[jitter + k];
      const TVector home = {(float)((i - 127.5) / 127.5 + v.x / 100.0), (float)(homeY + v.y / 100.0), 0.0f};
      const uint8_t *pixel = CubePixels + 3 * k;
      const int32_t b = pixel[0] + pixel[1] + pixel[2];
      const float s = ImageParticleSize(b);
      const float shade = (float)(b / 512.0);
      glColor3f(shade, shade, shade);
      if (b == 0) continue;  // a black pixel has no particle and leaves its path alone
      SplinePath &path = ImagePaths[k];
      if (!path.points || path.count < 6) continue;  // tables not built
      for (int p = 2; p <= 5; p++) path.points[p] = home;
      SplineRetangent(&path);
      TVector q;
      SplineEval(&q, &path, (float)(progress * (3.0 + RandomVectors[k].x)));
      SpriteQuad(q, s);
    }
  }
  glEnd();
  GlowPass();
}

void AttractorVertices(int32_t t, float beat, float *out) {
  const float s = (float)(0.003 + 0.0005 * beat);
  const double progress = (t - kAttractorStart) / 1271.0 - 1.0;
  for (int32_t k = 0; k < kParticleCount; k++) {
    TVector q;
    SplineEval(&q, &AttractorPaths[k], (float)(progress + RandomVectors[k].x));
    SpriteQuadCorners(q, s, out + 12 * k);
  }
}

void AttractorScene(void) {
  // Corners rewritten every frame and the fixed texture coordinates: static, so the
  // frame allocates nothing.
  static float vertices[kParticleCount * 12];
  static float texCoords[kParticleCount * 8];
  if (texCoords[2] == 0.0f)
    for (int32_t k = 0; k < kParticleCount; k++)
      for (int c = 0; c < 8; c++) texCoords[8 * k + c] = kSpriteQuadTexCoords[c];
  SpriteState();
  AttractorVertices(SegmentTime, Beat, vertices);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, vertices);
  glTexCoordPointer(2, GL_FLOAT, 0, texCoords);
  glDrawArrays(GL_QUADS, 0, 4 * kParticleCount);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
  GlowPass();
}
