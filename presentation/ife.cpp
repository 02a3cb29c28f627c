// IFE layers: loader, field and number readers, renderer and interpolation.
//
// IFE files are untrusted text. The readers accept exactly the format's grammar and
// refuse the rest the same way a malformed integer is refused (IfeRead reports it,
// IfeLoad ends the run with the run-time error exit, code 217), so a bad file ends the
// run with a log line instead of drawing garbage, looping at the end of the file or
// reading past an array:
//  - counts below 0 or beyond the arrays' declared bounds are malformed integers;
//  - a file that ends before its counts are satisfied is malformed;
//  - a layer with no keys is loaded but never drawn;
//  - two keys at the same time hold the earlier one instead of dividing 0 by 0;
//  - lines of any length are read whole, so a long comment cannot leak its tail
//    into the next value.
// Depends on: file layer, log, bindings (PasLogLn, PasMemGet, FatalError), texture
// table, GL table, render-target ids, main window.
#include "presentation/ife.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>

#include "base/file.h"
#include "base/log.h"
#include "media/window/WM.h"
#include "platform/msgbox.h"
#include "presentation/bindings.h"
#include "presentation/gl.h"
#include "presentation/rounding.h"
#include "presentation/textures.h"
#include "presentation/window.h"
#include "scene/counters.h"

ife_interface IfeLoaderFx, IfeVBlurFx, IfeHBlurFx, IfeFadeoutFx, IfeFeedbackFx, IfeCreditsFx, IfeEndpartFx,
    IfeGreetsFx, IfeRotateBkgFx, IfeWhiteFlashFx;
int32_t IfeBufTextures[8];
int32_t IfeLoadCounter = 0;
ife_interface IfeLoadingScreen;

namespace {

constexpr size_t kLineChunk = 512;  // the reader's buffer, as the format was written for

inline bool IsBlank(unsigned char c) { return c <= 32; }

bool NameIs(const ShortString &s, const char *text) {
  size_t n = std::strlen(text);
  return s.size() == n && std::memcmp(s.c_str(), text, n) == 0;
}

// The interpolation field keeps the low 8 bits of its rounded value.
uint8_t LowByte(float value) {
  if (!std::isfinite(value) || std::fabs(value) >= 9.2e18) return 0;
  return (uint8_t)(uint64_t)RoundHalfEven<int64_t>(value);
}

// Reads the counted lines of one file; the first problem is logged and kept.
struct Reader {
  SYS_File_t *file;
  const char *fileName;
  const char *failure = nullptr;

  bool Fail(const char *what, const char *text) {
    SYS_DbgPrintf(1, "[ife] %s: %s \"%.255s\"\n", fileName, what, text ? text : "");
    failure = what;
    return false;
  }

  bool Line(ShortString &line, const char *what) {
    return IfeReadLine(file, line) == 0 || Fail("file ends early, expected", what);
  }

  bool Integer(const char *what, int32_t *value) {
    ShortString line;
    if (!Line(line, what)) return false;
    return IfeParseInteger(line.c_str(), line.size(), value) || Fail("invalid integer", line.c_str());
  }

  bool Count(const char *what, int32_t limit, int32_t *value) {
    if (!Integer(what, value)) return false;
    if (*value >= 0 && *value <= limit) return true;
    char text[32];
    std::snprintf(text, sizeof text, "%d", *value);
    return Fail("count out of range", text);
  }
};

constexpr const char kOutOfMemory[] = "out of memory";

void FreeLayers(ife_interface *iface) {
  for (int32_t l = 0; iface->layers && l < iface->layerCount; l++) PasMemFree((void **)&iface->layers[l].keys);
  PasMemFree((void **)&iface->layers);
  *iface = {};
}

int32_t LayerTexture(const ShortString &name, const ShortString &textureDir) {
  if (NameIs(name, "white.tga")) return 0;
  if (NameIs(name, "RT")) return FramebufferTexture[0];
  if (NameIs(name, "GLOW")) return GlowTexture;
  if (name.size() >= 3 && std::memcmp(name.c_str(), "BUF", 3) == 0) {
    static const char *const kBufNames[8] = {"BUF0.JPG", "BUF1.JPG", "BUF2.JPG", "BUF3.JPG",
                                             "BUF4.JPG", "BUF5.JPG", "BUF6.JPG", "BUF7.JPG"};
    for (int i = 0; i < 8; i++)
      if (NameIs(name, kBufNames[i])) return IfeBufTextures[i];
    return 0;
  }
  if (textureDir.size() == 0) return TexLoad(name, 3);
  ShortString path = textureDir;
  path += "/";
  path += name;
  return TexLoad(path, 3);
}

// The screen copies are stored bottom row first; their quads map row 0 to the bottom.
bool BottomUp(const ShortString &name) {
  return NameIs(name, "RT") || NameIs(name, "BUF0.JPG") || NameIs(name, "BUF2.JPG");
}

void SetBlend(uint8_t blend) {
  switch (blend) {
    case 0: glDisable(GL_BLEND); break;
    case 1: glEnable(GL_BLEND); glBlendFunc(GL_ONE, GL_ONE); break;
    case 2: glEnable(GL_BLEND); glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); break;
    case 3: glEnable(GL_BLEND); glBlendFunc(GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA); break;
    case 4: glEnable(GL_BLEND); glBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR); break;
    case 5:
    case 6: glEnable(GL_BLEND); glBlendFunc(GL_ZERO, GL_ONE_MINUS_SRC_COLOR); break;
    default: break;  // blending stays as it was left
  }
}

void DrawLayer(const ife_layer &layer, float t) {
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluOrtho2D(0, 1280, 0, 720);
  SetBlend(layer.blend);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, (GLuint)layer.glTexture);

  // k: last key at or before t; n: first key at or after t.
  const ife_keys *keys = layer.keys;
  int32_t last = layer.keyCount - 1, k = 0, n = last;
  for (int32_t j = 0; j <= last; j++) {
    if ((double)t >= keys[j].time) k = j;  // exact for any key time
    if ((double)t <= keys[last - j].time) n = last - j;
  }
  const ife_keys &from = keys[k], &to = keys[n];
  const ife_keys *hold = nullptr;
  float f = 0.0f;
  if (k != n) {
    int64_t span = (int64_t)to.time - from.time;
    if (span == 0)
      hold = k < n ? &from : &to;  // same time: the earlier key
    else
      f = (float)(((double)t - from.time) / (double)(float)span);
  }
  const ife_keys &A = hold ? *hold : from, &B = hold ? *hold : to;
  uint8_t mode = from.interpolation;
  float x = IfeInterpolate(mode, A.x, B.x, f), y = IfeInterpolate(mode, A.y, B.y, f);
  float rotation = IfeInterpolate(mode, A.rotation, B.rotation, f);
  float width = IfeInterpolate(mode, A.width, B.width, f);
  float height = IfeInterpolate(mode, A.height, B.height, f);
  float r = IfeInterpolate(mode, A.r, B.r, f) / 255.0f, g = IfeInterpolate(mode, A.g, B.g, f) / 255.0f;
  float b = IfeInterpolate(mode, A.b, B.b, f) / 255.0f, a = IfeInterpolate(mode, A.a, B.a, f) / 255.0f;
  float hw = width / 2.0f, hh = height / 2.0f;
  glColor4f(r, g, b, a);
  glTranslatef(x, y, 0.0f);
  glRotatef(rotation, 0.0f, 0.0f, 1.0f);

  if (NameIs(layer.textureName, "white.tga"))
    glDisable(GL_TEXTURE_2D);
  else
    glEnable(GL_TEXTURE_2D);

  // Texture v of the upper edge: 1 for bottom-up screen copies, 0 for images.
  float top = BottomUp(layer.textureName) ? 1.0f : 0.0f, bottom = 1.0f - top;
  glBegin(GL_QUADS);
  glTexCoord2f(1.0f, top);
  glVertex2f(hw, hh);
  glTexCoord2f(1.0f, bottom);
  glVertex2f(hw, -hh);
  glTexCoord2f(0.0f, bottom);
  glVertex2f(-hw, -hh);
  glTexCoord2f(0.0f, top);
  glVertex2f(-hw, hh);
  glEnd();
}

}  // namespace

int IfeParseNumber(const char *text, size_t length, float *value) {
  *value = 0.0f;
  size_t i = 0, digits = 0;
  if (i < length && (text[i] == '+' || text[i] == '-')) i++;
  size_t start = length > 0 && text[0] == '+' ? 1 : 0;  // from_chars takes no plus sign
  while (i < length && text[i] >= '0' && text[i] <= '9') i++, digits++;
  if (i < length && text[i] == '.') {
    i++;
    while (i < length && text[i] >= '0' && text[i] <= '9') i++, digits++;
  }
  if (digits == 0) return 0;
  bool negativeExponent = false;
  if (i < length && (text[i] == 'e' || text[i] == 'E')) {
    i++;
    if (i < length && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
    size_t expDigits = 0;
    while (i < length && text[i] >= '0' && text[i] <= '9') i++, expDigits++;
    if (expDigits == 0) return 0;
  }
  if (i != length) return 0;
  double parsed = 0.0;
  auto [end, ec] = std::from_chars(text + start, text + length, parsed, std::chars_format::general);
  // Beyond double: a tiny value is the zero it nearly is; a huge one is no number.
  if (ec == std::errc::result_out_of_range) return negativeExponent ? 1 : 0;
  if (ec != std::errc() || end != text + length) return 0;
  float single = (float)parsed;
  if (!std::isfinite(single)) return 0;
  *value = single;
  return 1;
}

int IfeParseInteger(const char *text, size_t length, int32_t *value) {
  *value = 0;
  size_t i = 0;
  bool negative = false;
  if (i < length && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == length) return 0;
  int64_t v = 0;
  for (; i < length; i++) {
    if (text[i] < '0' || text[i] > '9') return 0;
    v = v * 10 + (text[i] - '0');
    if (v > (int64_t)INT32_MAX + 1) return 0;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return 0;
  *value = (int32_t)v;
  return 1;
}

int32_t IfeRoundEven(float value) { return RoundHalfEven<int32_t>(value); }

namespace {

// A disk file's reader drops the line end it read. A chunk one short of the buffer
// that took a whole buffer's bytes therefore ended on a CR or an LF; on the CR of a
// CR LF pair, the LF is still to come and belongs to this line.
bool StoppedOnCarriageReturn(SYS_File_t *file, int32_t chunkStart, size_t chunk) {
  const int32_t end = SYS_FileTell(file);
  if (chunk != kLineChunk - 2 || end - chunkStart != (int32_t)kLineChunk - 1) return false;
  char last = 0;
  return SYS_FileSeek(file, end - 1) == 0 && SYS_FileRead(file, &last, 1) == 1 && last == '\r';
}

}  // namespace

int IfeReadLine(SYS_File_t *file, ShortString &line) {
  char buffer[kLineChunk];
  for (;;) {
    int32_t chunkStart = SYS_FileTell(file);
    if (!SYS_FileGetStr(file, buffer, (int32_t)sizeof buffer)) return -1;
    const bool comment = buffer[0] == '#';
    // Trim leading blanks, keep the first 255 characters after them, and remember
    // where the last non-blank character of the whole line falls.
    char kept[ShortString::Capacity];
    size_t keptLength = 0, position = 0, lastNonBlank = 0;
    bool started = false;
    for (;;) {
      size_t chunk = std::strlen(buffer);
      if (!comment) {
        SYS_DbgLog(buffer);
        for (size_t c = 0; c < chunk; c++) {
          unsigned char ch = (unsigned char)buffer[c];
          if (!started && IsBlank(ch)) continue;
          started = true;
          if (keptLength < sizeof kept) kept[keptLength++] = (char)ch;
          position++;
          if (!IsBlank(ch)) lastNonBlank = position;
        }
      }
      // A full chunk without its line end is the start of a longer line: read on
      // until the line ends (a continuation of "" is the line end that fell just
      // past the chunk; pack entries keep their line ends, disk files drop them).
      const bool pendingLineFeed = StoppedOnCarriageReturn(file, chunkStart, chunk);
      if (!pendingLineFeed && (chunk < sizeof buffer - 1 || buffer[chunk - 1] == '\n')) break;
      chunkStart = SYS_FileTell(file);
      if (!SYS_FileGetStr(file, buffer, (int32_t)sizeof buffer) || buffer[0] == '\0') break;
    }
    if (!comment) {
      line = std::string_view(kept, lastNonBlank < keptLength ? lastNonBlank : keptLength);
      return 0;
    }
  }
}

void IfeGetWord(const ShortString &line, int32_t n, ShortString &word) {
  // 1-based positions, as the format defines them: the first character is never
  // taken for a separator, and two spaces in a row make an empty field.
  const char *s = line.c_str();
  int64_t length = (int64_t)line.size(), p = 1, start = 1;
  int64_t wordStart = 1, wordEnd = 0;
  for (int32_t i = 0; i < n; i++) {
    p++;
    while (p <= length && s[p - 1] != ' ') p++;
    wordStart = start;
    wordEnd = p - 1;
    start = p + 1;
  }
  if (wordEnd > length) wordEnd = length;
  while (wordStart <= wordEnd && IsBlank((unsigned char)s[wordStart - 1])) wordStart++;
  while (wordEnd >= wordStart && IsBlank((unsigned char)s[wordEnd - 1])) wordEnd--;
  if (n < 1 || wordStart > wordEnd)
    word = "";
  else
    word = std::string_view(s + wordStart - 1, (size_t)(wordEnd - wordStart + 1));
}

float IfeGetFloat(const ShortString &line, int32_t n) {
  ShortString word;
  IfeGetWord(line, n, word);
  float value;
  IfeParseNumber(word.c_str(), word.size(), &value);
  return value;
}

void IfeParseKey(const ShortString &line, ife_keys *key) {
  key->time = IfeRoundEven(IfeGetFloat(line, 1));
  key->x = IfeGetFloat(line, 2);
  key->y = IfeGetFloat(line, 3);
  key->interpolation = LowByte(IfeGetFloat(line, 4));
  key->rotation = IfeGetFloat(line, 5);
  key->width = IfeGetFloat(line, 6);
  key->height = IfeGetFloat(line, 7);
  key->r = IfeGetFloat(line, 8);
  key->g = IfeGetFloat(line, 9);
  key->b = IfeGetFloat(line, 10);
  key->a = IfeGetFloat(line, 11);
}

float IfeInterpolate(uint8_t mode, float A, float B, float f) {
  constexpr double halfPi = std::numbers::pi / 2.0;
  double a = A, d = (double)B - A, w;
  switch (mode) {
    case 1: w = std::sin(f * halfPi); break;
    case 2: w = 1.0 - std::sin(f * halfPi + halfPi); break;
    default: w = f; break;  // 0, and unknown modes draw linearly
  }
  return (float)(a + d * w);
}

int IfeRead(ife_interface *iface, SYS_File_t *file, const char *fileName, const char **reason) {
  *iface = {};
  Reader in{file, fileName};
  int32_t layers = 0, header = 0;
  bool ok = in.Count("layer count", kIfeMaxLayers, &layers) && in.Integer("header value", &header);
  iface->headerValue = header;
  if (ok && layers > 0) {
    iface->layers = (ife_layer *)PasMemGet((int32_t)(layers * sizeof(ife_layer)), "Interface layers");
    if (iface->layers)
      for (int32_t l = 0; l < layers; l++) iface->layers[l] = ife_layer{};
    else
      ok = in.Fail(kOutOfMemory, fileName);
  }
  // Counted as they are begun, so that a failure frees what the earlier layers hold.
  for (int32_t l = 0; ok && l < layers; l++) {
    ife_layer &layer = iface->layers[l];
    iface->layerCount = l + 1;
    int32_t blend = 0;
    ok = in.Line(layer.textureName, "texture name") && in.Line(layer.text2, "second layer line") &&
         in.Line(layer.text3, "third layer line") && in.Count("key count", kIfeMaxKeys, &layer.keyCount) &&
         in.Integer("blend mode", &blend);
    layer.blend = (uint8_t)blend;
    if (ok && layer.keyCount > 0) {
      layer.keys = (ife_keys *)PasMemGet((int32_t)(layer.keyCount * sizeof(ife_keys)), "Animation keys for interface");
      if (!layer.keys) ok = in.Fail(kOutOfMemory, fileName);
    }
    for (int32_t k = 0; ok && k < layer.keyCount; k++) {
      ShortString line;
      ok = in.Line(line, "key line");
      if (ok) IfeParseKey(line, &layer.keys[k]);
    }
  }
  if (ok) {
    iface->layerCount = layers;
    return 0;
  }
  FreeLayers(iface);
  if (reason) *reason = in.failure;
  return -1;
}

void IfeLoad(ife_interface *iface, const ShortString &fileName, const ShortString &textureDir) {
  ShortString message("[ife] load: ");
  message += fileName;
  PasLogLn(message);
  SYS_File_t *file = SYS_FileOpen(PasStr(fileName), 8);
  if (!file) {
    ShortString error("Unable to open ");
    error += fileName;
    FatalError(error);
  }
  const char *reason = "";
  const int read = IfeRead(iface, file, fileName.c_str(), &reason);
  SYS_FileClose(file);
  if (read != 0) {
    if (reason == kOutOfMemory) FatalError(ShortString("Out of memory for the layers of ") + fileName);
    // The run-time error exit of a malformed file.
    char text[512];
    std::snprintf(text, sizeof text, "Runtime error 217: %s in %s", reason, fileName.c_str());
    platMessageBox("Error", text, PLAT_MB_ERROR);
    std::exit(217);
  }
  // Textures are resolved once the file has read whole; the GL calls come in the
  // order the layers name them, as before.
  for (int32_t l = 0; l < iface->layerCount; l++) {
    ife_layer &layer = iface->layers[l];
    layer.glTexture = LayerTexture(layer.textureName, textureDir);
    // Acts on whatever texture is bound now: a newly loaded one, or an older one.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  }
}

void IfeRender(ife_interface *iface, float t) {
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_CULL_FACE);
  for (int32_t l = 0; l < iface->layerCount; l++) {
    const ife_layer &layer = iface->layers[l];
    if (layer.keyCount > 0 && layer.keys) DrawLayer(layer, t);
  }
  glMatrixMode(GL_MODELVIEW);
}

void IfeLoadingFrame(void) {
  IfeLoadCounter++;
  IfeRender(&IfeLoadingScreen, (float)(IfeLoadCounter * 14.0845));
  wmSwapBuffers(MainWindow);
}

void IfeFree(ife_interface *iface) {
  if (iface->layerCount <= 0) return;
  for (int32_t l = 0; l < iface->layerCount; l++) {
    TexRelease(iface->layers[l].glTexture);
    PasMemFree((void **)&iface->layers[l].keys);
  }
  PasMemFree((void **)&iface->layers);
  iface->layers = nullptr;
  iface->layerCount = 0;
}

