// IFE layers: 2D effects made of key-framed, textured, coloured rectangles.
//
// An IFE file is a text stack of layers; each layer names a texture, a blend mode
// and a list of keys (time, centre, size, rotation, colour). IfeRender draws every
// layer at a time value on a 1280 x 720 orthographic screen.
// Depends on: file layer (SYS_FileOpen, SYS_FileGetStr), log, bindings (PasLogLn,
// PasMemGet, FatalError), texture table (TexLoad, TexRelease), GL table, renderer
// render-target ids (FramebufferTexture, GlowTexture), main window (wmSwapBuffers).
#pragma once

#include <cstddef>
#include <cstdint>

#include "presentation/pstring.h"

struct SYS_File_t;

// One key frame.
struct ife_keys {
  int32_t time;
  float x, y;  // centre in layer space, origin bottom left, y up
  uint8_t interpolation;  // mode from this key to the next: 0, 1 or 2
  float rotation;  // degrees, counter-clockwise
  float width, height;
  float r, g, b, a;  // 0..255
};

// The declared bounds of the key and layer arrays: counts beyond them are refused.
enum : int32_t { kIfeMaxKeys = 10001, kIfeMaxLayers = 1001 };

typedef ife_keys ife_keys_array[kIfeMaxKeys];

struct ife_layer {
  ShortString textureName;
  ShortString text2;  // stored, never read
  ShortString text3;  // stored, never read
  int32_t glTexture;
  int32_t keyCount;
  uint8_t blend;
  ife_keys *keys;
};

typedef ife_layer ife_layer_array[kIfeMaxLayers];

struct ife_interface {
  int32_t layerCount;
  int32_t headerValue;  // stored, never read
  ife_layer *layers;
};

// The show's ten effects, loaded by the main program: the loading screen, the two
// halves of the glow, the fade, the credits' feedback, credits, end part, greetings
// (loaded, never drawn), the credits' background and the white flash.
extern ife_interface IfeLoaderFx, IfeVBlurFx, IfeHBlurFx, IfeFadeoutFx, IfeFeedbackFx, IfeCreditsFx, IfeEndpartFx,
    IfeGreetsFx, IfeRotateBkgFx, IfeWhiteFlashFx;

extern int32_t IfeBufTextures[8];
extern int32_t IfeLoadCounter;
extern ife_interface IfeLoadingScreen;

// Reads an effect file's layers and keys from an open file (textures unresolved,
// glTexture 0). Returns 0, or -1 with the problem logged, *reason (when given) set
// to it and *iface empty.
int IfeRead(ife_interface *iface, SYS_File_t *file, const char *fileName, const char **reason);
// Opens and reads the file, then loads the layers' textures; a file that cannot be
// opened ends the run through FatalError, a malformed one with exit code 217.
void IfeLoad(ife_interface *iface, const ShortString &fileName, const ShortString &textureDir);
void IfeRender(ife_interface *iface, float t);
float IfeInterpolate(uint8_t mode, float A, float B, float f);
void IfeLoadingFrame(void);
void IfeFree(ife_interface *iface);

// Next line that does not begin with "#", trimmed and cut to 255 characters.
// Returns 0, or -1 at the end of the file (the loader refuses the file then).
int IfeReadLine(SYS_File_t *file, ShortString &line);
// Field n (from 1) of a key line split at single spaces, trimmed.
void IfeGetWord(const ShortString &line, int32_t n, ShortString &word);
float IfeGetFloat(const ShortString &line, int32_t n);

// The number rule of key fields: optional sign, digits, optional "." and digits,
// optional exponent with at least one digit; anything else (or a value beyond
// single precision) reads 0. Returns 1 when the text is a number.
int IfeParseNumber(const char *text, size_t length, float *value);
// Decimal integer with optional sign, nothing else, within 32 bits.
int IfeParseInteger(const char *text, size_t length, int32_t *value);
// Nearest integer, halves to the even neighbour, saturated to 32 bits (NaN: 0).
int32_t IfeRoundEven(float value);
// The eleven fields of a key line.
void IfeParseKey(const ShortString &line, ife_keys *key);

