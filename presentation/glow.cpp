// Screen copy and glow passes: see glow.h.
//
// The copy re-specifies the whole texture from the frame buffer each time
// (glCopyTexImage2D), so its size follows the letterbox and is never a power of two;
// the texture name stays, which is what lets the effect files bind it once at load.
// Depends on: GL table, IFE layers, main program state, bindings (tracked memory).
#include "presentation/glow.h"

#include "presentation/bindings.h"
#include "presentation/gl.h"
#include "presentation/ife.h"
#include "presentation/show.h"
#include "presentation/tempo.h"

int32_t ScreenTexture = 0;

void ScreenTexCreate(void) {
  // The contents are never read before the first copy: without the buffer (0 high, or
  // no memory) GL leaves the storage undefined just the same.
  const int64_t bytes = (int64_t)ScreenWidth * LetterboxHeight * 4;
  void *pixels = bytes > 0 && bytes <= INT32_MAX ? PasMemGet((int32_t)bytes, "ScreenTexCreate") : nullptr;
  glEnable(GL_TEXTURE_2D);
  GLuint name = 0;
  glGenTextures(1, &name);
  ScreenTexture = (int32_t)name;
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexImage2D(GL_TEXTURE_2D, 0, 4, ScreenWidth, LetterboxHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
  PasMemFree(&pixels);
}

void ScreenCopyRect(int32_t rect[4]) {
  rect[0] = 0;
  rect[1] = LetterboxY(ScreenHeight, LetterboxHeight);
  rect[2] = ScreenWidth;
  rect[3] = LetterboxHeight;
}

void ScreenCopy(void) {
  int32_t r[4];
  ScreenCopyRect(r);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, (GLuint)ScreenTexture);
  glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, r[0], r[1], r[2], r[3], 0);
}

void GlowPass(void) {
  ScreenCopy();
  IfeRender(&IfeVBlurFx, 1000.0f);
  ScreenCopy();  // the horizontal blur reads the picture with the vertical one drawn over it
  IfeRender(&IfeHBlurFx, 1000.0f);
}

void DoubleGlowPass(void) {
  for (int round = 0; round < 2; round++) {
    ScreenCopy();
    IfeRender(&IfeVBlurFx, 1000.0f);
    IfeRender(&IfeHBlurFx, 1000.0f);
  }
}
