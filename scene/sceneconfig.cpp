// Scene configuration text.
//
// Lines are split by the first occurrence of each separator, never by a grammar:
// head before the first "=", "(" or "."; item name between the first "(" and ")";
// key between the first "." and "="; value after the first "=". So an item name that
// holds "." or "=" spoils its own line and nothing else. Values are lenient (a
// malformed one reads 0) except the object's strict integers, whose malformed value
// ends the load with the lines before it applied. Numbers are written with exactly
// four decimals, so a written file reads back to the same four decimals.
// Depends on: scene/records.h, scene/scenefile (SceneLog, SceneDiskPath).
#include "scene/sceneconfig.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "scene/scenefile.h"

namespace {

// Copy(s, from, count) with 1-based positions; empty for count <= 0.
ShortString Copy(std::string_view s, int64_t from, int64_t count) {
  if (count <= 0 || from < 1 || from > static_cast<int64_t>(s.size())) return ShortString();
  return ShortString(s.substr(static_cast<size_t>(from - 1), static_cast<size_t>(count)));
}

// 1-based position of the first c, 0 when there is none.
int64_t Pos(std::string_view s, char c) {
  const size_t p = s.find(c);
  return p == std::string_view::npos ? 0 : static_cast<int64_t>(p) + 1;
}

std::string_view SkipBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

// Decimal number: optional sign, digits with an optional fraction, optional exponent;
// nothing may follow.
bool ParseNumber(std::string_view s, double *out) {
  s = SkipBlanks(s);
  char text[260];
  size_t i = 0, n = s.size();
  if (n == 0 || n >= sizeof(text)) return false;
  if (s[i] == '+' || s[i] == '-') i++;
  size_t digits = 0;
  while (i < n && s[i] >= '0' && s[i] <= '9') i++, digits++;
  if (i < n && s[i] == '.') {
    i++;
    while (i < n && s[i] >= '0' && s[i] <= '9') i++, digits++;
  }
  if (digits == 0) return false;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    i++;
    if (i < n && (s[i] == '+' || s[i] == '-')) i++;
    size_t exp = 0;
    while (i < n && s[i] >= '0' && s[i] <= '9') i++, exp++;
    if (exp == 0) return false;
  }
  if (i != n) return false;
  std::memcpy(text, s.data(), n);
  text[n] = 0;
  const double v = std::strtod(text, nullptr);
  if (!std::isfinite(v) || std::fabs(v) > 3.4028234663852886e38) return false;
  *out = v;
  return true;
}

// Decimal integer within [lo, hi]: optional sign and digits, nothing after.
bool ParseInteger(std::string_view s, int64_t lo, int64_t hi, int64_t *out) {
  s = SkipBlanks(s);
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i == s.size()) return false;
  int64_t v = 0;
  for (; i < s.size(); i++) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
    if (v > hi - lo + 1) return false;  // far enough outside either bound
  }
  v = negative ? -v : v;
  if (v < lo || v > hi) return false;
  *out = v;
  return true;
}

float Number(std::string_view s) {
  double v = 0;
  return ParseNumber(s, &v) ? static_cast<float>(v) : 0.0f;
}

int32_t LenientInt(std::string_view s) {
  int64_t v = 0;
  return ParseInteger(s, INT32_MIN, INT32_MAX, &v) ? static_cast<int32_t>(v) : 0;
}

uint8_t LenientByte(std::string_view s) {
  int64_t v = 0;
  return ParseInteger(s, 0, UINT32_MAX, &v) ? static_cast<uint8_t>(v & 0xFF) : 0;
}

bool Flag(std::string_view s) { return s == "1"; }

_QLV_VECTOR Triple(const ShortString &value) {
  return _QLV_VECTOR{Number(TripleFirst(value)), Number(TripleSecond(value)), Number(TripleThird(value))};
}
_QLV_RGB TripleRGB(const ShortString &value) {
  const _QLV_VECTOR v = Triple(value);
  return _QLV_RGB{v.x, v.y, v.z};
}

// ---------------------------------------------------------------------------------
// Writing

struct Out {
  FILE *file;
  bool ok = true;

  void Line(std::string_view text) {
    if (ok) ok = std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fputc('\n', file) != EOF;
  }
};

ShortString F(float value) { return ConfigFixed4(value); }
ShortString I(int64_t value) {
  char text[32];
  std::snprintf(text, sizeof(text), "%lld", static_cast<long long>(value));
  return ShortString(text);
}
ShortString B(bool value) { return ShortString(value ? "1" : "0"); }
ShortString T3(float a, float b, float c) { return F(a) + "," + F(b) + "," + F(c); }
ShortString T3(const _QLV_RGB &c) { return T3(c.r, c.g, c.b); }
ShortString T3(const _QLV_VECTOR &v) { return T3(v.x, v.y, v.z); }

// The line is built in a longer buffer than a show string: a long name and value can
// exceed 255 characters and would otherwise lose the value's end.
void Item(Out &out, const char *head, const ShortString &name, const char *key, std::string_view value) {
  char line[600];
  const int n = std::snprintf(line, sizeof(line), "%s(%s).%s=%.*s", head, name.c_str(), key,
                              static_cast<int>(value.size()), value.data());
  out.Line(std::string_view(line, static_cast<size_t>(std::min(n, static_cast<int>(sizeof(line) - 1)))));
}

}  // namespace

// Fixed point with four decimals; a value that rounds to zero is written unsigned.
ShortString ConfigFixed4(float value) {
  char text[64];
  std::snprintf(text, sizeof(text), "%.4f", static_cast<double>(value));
  return ShortString(std::strcmp(text, "-0.0000") == 0 ? "0.0000" : text);
}

// ---------------------------------------------------------------------------------
// Line parts

ShortString ConfigHead(std::string_view line) {
  const size_t p = line.find_first_of("=(.");
  return ShortString(p == std::string_view::npos ? line : line.substr(0, p));
}

ShortString ConfigItemName(std::string_view line) {
  const int64_t open = Pos(line, '('), close = Pos(line, ')');
  return Copy(line, open + 1, close - open - 1);
}

ShortString ConfigKey(std::string_view line) {
  const int64_t dot = Pos(line, '.'), eq = Pos(line, '=');
  return Copy(line, dot + 1, eq - dot - 1);
}

ShortString ConfigValue(std::string_view line) { return Copy(line, Pos(line, '=') + 1, 255); }

// Without a comma there is no first part: Copy(value, 1, 0 - 1) is empty.
ShortString TripleFirst(std::string_view value) { return Copy(value, 1, Pos(value, ',') - 1); }

ShortString TripleSecond(std::string_view value) {
  const int64_t c1 = Pos(value, ',');
  if (c1 == 0) return ShortString();
  const ShortString rest = Copy(value, c1 + 1, 255);
  const int64_t c2 = Pos(rest, ',');
  return c2 == 0 ? rest : Copy(rest, 1, c2 - 1);
}

ShortString TripleThird(std::string_view value) {
  const int64_t c1 = Pos(value, ',');
  if (c1 == 0) return ShortString();
  const ShortString rest = Copy(value, c1 + 1, 255);
  const int64_t c2 = Pos(rest, ',');
  return c2 == 0 ? ShortString() : Copy(rest, c2 + 1, 255);
}

// ---------------------------------------------------------------------------------
// Lookups and appliers

int32_t ConfigFindMaterial(const _QLV_SCENE *scene, const ShortString &name) {
  int32_t found = 0;
  for (int32_t i = 0; i < scene->materialcount; i++)
    if (std::string_view(scene->materials[i].name) == std::string_view(name)) found = i;
  return found;
}

int32_t ConfigFindObject(const _QLV_SCENE *scene, const ShortString &name) {
  int32_t found = 0;
  for (int32_t i = 0; i < scene->objectcount; i++)
    if (std::string_view(scene->objects[i].name) == std::string_view(name)) found = i;
  return found;
}

int32_t ConfigFindLight(const _QLV_SCENE *scene, const ShortString &name) {
  int32_t found = 0;
  for (int32_t i = 0; i < kQlvLightCount; i++)
    if (std::string_view(scene->lights[i].name) == std::string_view(name)) found = i;
  return found;
}

void ConfigMaterialKey(const ShortString &key, const ShortString &value, _QLV_SCENE *scene, const ShortString &name) {
  if (scene->materialcount <= 0 || !scene->materials) return;  // no item 0 to fall back on
  _QLV_MATERIAL &m = scene->materials[ConfigFindMaterial(scene, name)];
  const std::string_view k = key;
  if (k == "texturename") m.texturename = value;
  else if (k == "envmaptexture") m.envmaptexture = value;
  else if (k == "envmap") m.envmap = Flag(value);
  else if (k == "transparency") m.transparency = Number(value);
  else if (k == "utile") m.utile = Number(value);
  else if (k == "vtile") m.vtile = Number(value);
  else if (k == "textured") m.textured = Flag(value);
  else if (k == "receivelight") m.receivelight = Flag(value);
  else if (k == "shine") m.shine = LenientInt(value);
  else if (k == "alphatest") m.alphatest = Number(value);
  else if (k == "flaresize") m.flaresize = Number(value);
  else if (k == "magtype") m.magtype = LenientInt(value);
  else if (k == "blend") m.blend = LenientByte(value);
  else if (k == "texturewrap") m.texturewrap = LenientByte(value);
  else if (k == "constantalpha") m.constantalpha = Number(value);
  else if (k == "depthtest") m.depthtest = LenientByte(value);
  else if (k == "ambient") m.ambient = TripleRGB(value);
  else if (k == "diffuse") m.diffuse = TripleRGB(value);
  else if (k == "specular") m.specular = TripleRGB(value);
}

int32_t ConfigObjectKey(const ShortString &key, const ShortString &value, _QLV_SCENE *scene, const ShortString &name) {
  if (scene->objectcount <= 0 || !scene->objects) return 0;
  _QLV_OBJECT &o = scene->objects[ConfigFindObject(scene, name)];
  _QLV_PARTICLEDATA &p = o.particle;
  const std::string_view k = key;
  const bool strict = k == "material" || k == "rendermode" || k == "passno" || k == "colorattrib" || k == "newparticle";
  if (strict) {
    int64_t v = 0;
    if (!ParseInteger(value, INT32_MIN, INT32_MAX, &v)) {
      SceneLog(ShortString("[qlv] config: ") + k + " of " + name + " is no integer: " + value);
      return -1;
    }
    if (k == "material") {
      // The renderer indexes the materials with it.
      if (v < 0 || v >= scene->materialcount) {
        SceneLog(ShortString("[qlv] config: material ") + value + " of " + name + " does not exist, line ignored");
        return 0;
      }
      o.material = static_cast<int32_t>(v);
    } else if (k == "rendermode") {
      o.rendermode = static_cast<uint8_t>(v & 0xFF);
    } else if (k == "passno") {
      o.passno = static_cast<int32_t>(v);
    } else if (k == "colorattrib") {
      p.colorattrib = static_cast<uint8_t>(v & 0xFF);
    } else {
      p.newparticle = static_cast<int32_t>(v);
    }
    return 0;
  }
  if (k == "visible") o.visible = Flag(value);
  else if (k == "backfacecull") o.backfacecull = Flag(value);
  else if (k == "particleenabled") p.particleenabled = Flag(value);
  else if (k == "particletexture") p.particletexture = value;
  else if (k == "power") p.power = Number(value);
  else if (k == "size") p.size = Number(value);
  else if (k == "deltapower") p.deltapower = Number(value);
  else if (k == "deltavector") p.deltavector = Triple(value);
  else if (k == "deltavectorspread") p.deltavectorspread = Triple(value);
  else if (k == "color") p.color = TripleRGB(value);
  else if (k == "colorspread") p.colorspread = TripleRGB(value);
  return 0;
}

void ConfigLightKey(const ShortString &key, const ShortString &value, _QLV_SCENE *scene, const ShortString &name) {
  _QLV_LIGHT &l = scene->lights[ConfigFindLight(scene, name)];
  const std::string_view k = key;
  if (k == "enabled") l.enabled = Flag(value);
  else if (k == "pos") l.pos = Triple(value);
  else if (k == "ambient") l.ambient = TripleRGB(value);
  else if (k == "diffuse") l.diffuse = TripleRGB(value);
  else if (k == "specular") l.specular = TripleRGB(value);
}

// ---------------------------------------------------------------------------------
// Load and save

namespace {

// The writer's longest line: head, a 255-character name, the longest key and a
// 255-character value. Lines are kept to this (the rest is skipped) rather than to
// 255 characters, so that everything the writer writes reads back whole.
constexpr size_t kLineMax = 9 + 255 + 2 + 17 + 1 + 255;

// One line without its CR LF or LF; false at the end of the file.
bool ReadLine(FILE *f, std::string *line) {
  line->clear();
  int c = std::fgetc(f);
  if (c == EOF) return false;
  for (; c != EOF && c != '\n'; c = std::fgetc(f))
    if (line->size() < kLineMax + 1) line->push_back(static_cast<char>(c));
  if (!line->empty() && line->back() == '\r') line->pop_back();
  if (line->size() > kLineMax) line->resize(kLineMax);
  return true;
}

void UpdatePassCount(_QLV_SCENE *scene) {
  scene->passcount = 0;
  for (int32_t i = 0; i < scene->objectcount; i++)
    if (scene->objects[i].passno > scene->passcount) scene->passcount = scene->objects[i].passno;
}

}  // namespace

int32_t SceneConfigLoad(_QLV_SCENE *scene, const ShortString &fileName) {
  FILE *f = std::fopen(SceneDiskPath(fileName).c_str(), "rb");
  if (!f) {
    SceneLog(ShortString("Config file (") + fileName + ") not found.");
    return -1;
  }
  int32_t rc = 0;
  std::string line;
  while (rc == 0 && ReadLine(f, &line)) {
    if (!line.empty() && line[0] == '#') continue;
    const ShortString head = ConfigHead(line);
    const std::string_view h = head;
    if (h == "camerafov") scene->camerafov = Number(ConfigValue(line));
    else if (h == "cameranear") scene->cameranear = Number(ConfigValue(line));
    else if (h == "camerafar") scene->camerafar = Number(ConfigValue(line));
    else if (h == "material") ConfigMaterialKey(ConfigKey(line), ConfigValue(line), scene, ConfigItemName(line));
    else if (h == "object") rc = ConfigObjectKey(ConfigKey(line), ConfigValue(line), scene, ConfigItemName(line));
    else if (h == "light") ConfigLightKey(ConfigKey(line), ConfigValue(line), scene, ConfigItemName(line));
  }
  std::fclose(f);
  UpdatePassCount(scene);
  return rc;
}

int32_t SceneConfigSave(_QLV_SCENE *scene, const ShortString &fileName) {
  FILE *f = std::fopen(SceneDiskPath(fileName).c_str(), "wb");
  if (!f) {
    SceneLog(ShortString("[qlv] config: cannot create ") + fileName);
    return -1;
  }
  Out out{f};
  out.Line("# Qalvern config file");
  out.Line("#");
  out.Line(ShortString("camerafov=") + F(scene->camerafov));
  out.Line(ShortString("cameranear=") + F(scene->cameranear));
  out.Line(ShortString("camerafar=") + F(scene->camerafar));
  out.Line("#");
  static constexpr const char *kLegend[] = {
      "# Material Info",
      "# ",
      "#                  Texture min/mag filters:",
      "# 0 - NEAREST, 1 - LINEAR, 2 - MIPMAP_NEAREST, 3 - MIPMAP_LINEAR (default)",
      "# ",
      "# Depthtest : 0 -R/W ; 1 -R ; 2 -W ; 3 -N/A",
      "# Alphatest : 0 -N/A ; 0..1 -alpha testing value",
      "# Blend     : 0 -NO  ; 1 -ONE/ONE ; 2 -ALPHA ; 3 -1-ALPHA",
      "# ",
  };
  for (const char *l : kLegend) out.Line(l);

  for (int32_t i = 0; i < scene->materialcount; i++) {
    const _QLV_MATERIAL &m = scene->materials[i];
    const char *h = "material";
    Item(out, h, m.name, "texturename", m.texturename);
    Item(out, h, m.name, "transparency", F(m.transparency));
    Item(out, h, m.name, "utile", F(m.utile));
    Item(out, h, m.name, "vtile", F(m.vtile));
    Item(out, h, m.name, "textured", B(m.textured));
    Item(out, h, m.name, "ambient", T3(m.ambient));
    Item(out, h, m.name, "diffuse", T3(m.diffuse));
    Item(out, h, m.name, "specular", T3(m.specular));
    Item(out, h, m.name, "shine", I(m.shine));
    Item(out, h, m.name, "envmap", B(m.envmap));
    Item(out, h, m.name, "envmaptexture", m.envmaptexture);
    Item(out, h, m.name, "magtype", I(m.magtype));
    Item(out, h, m.name, "receivelight", B(m.receivelight));
    Item(out, h, m.name, "depthtest", I(m.depthtest));
    Item(out, h, m.name, "alphatest", F(m.alphatest));
    Item(out, h, m.name, "texturewrap", I(m.texturewrap));
    Item(out, h, m.name, "constantalpha", F(m.constantalpha));
    Item(out, h, m.name, "flaresize", F(m.flaresize));
    if (m.bitdepth == 24 && m.transparency == 0.0f) Item(out, h, m.name, "blend", "0");
    else if (m.bitdepth == 24 && m.transparency > 0.0f) Item(out, h, m.name, "blend", "1");
    else if (m.bitdepth == 32) Item(out, h, m.name, "blend", "2");
    out.Line("#");
  }

  out.Line("# Object Info");
  for (int32_t i = 0; i < scene->objectcount; i++) {
    const _QLV_OBJECT &o = scene->objects[i];
    const _QLV_PARTICLEDATA &p = o.particle;
    const char *h = "object";
    Item(out, h, o.name, "material", I(o.material));
    Item(out, h, o.name, "rendermode", I(o.rendermode));
    Item(out, h, o.name, "visible", B(o.visible));
    Item(out, h, o.name, "particleenabled", B(p.particleenabled));
    Item(out, h, o.name, "deltavector", T3(p.deltavector));
    Item(out, h, o.name, "deltavectorspread", T3(p.deltavectorspread));
    Item(out, h, o.name, "color", T3(p.color));
    Item(out, h, o.name, "colorspread", T3(p.colorspread));
    Item(out, h, o.name, "colorattrib", I(p.colorattrib));
    Item(out, h, o.name, "power", F(p.power));
    Item(out, h, o.name, "deltapower", F(p.deltapower));
    Item(out, h, o.name, "newparticle", I(p.newparticle));
    Item(out, h, o.name, "particletexture", p.particletexture);
    Item(out, h, o.name, "size", F(p.size));
    if (o.material >= 0 && o.material < scene->materialcount) {
      const _QLV_MATERIAL &m = scene->materials[o.material];
      const char *pass = nullptr, *comment = nullptr;
      if (m.bitdepth == 24 && m.transparency == 0.0f) pass = "0", comment = "#standard texture :";
      else if (m.bitdepth == 24 && m.transparency > 0.0f) pass = "1", comment = "#transparent material :";
      else if (m.bitdepth == 32) pass = "2", comment = "#alpha channel texture :";
      if (pass) {
        Item(out, h, o.name, "passno", pass);
        out.Line(ShortString(comment) + m.texturename);
      }
    }
    Item(out, h, o.name, "backfacecull", B(o.backfacecull));
    out.Line("#");
  }

  out.Line("# Light Info");
  for (const _QLV_LIGHT &l : scene->lights) {
    const char *h = "light";
    Item(out, h, l.name, "enabled", B(l.enabled));
    Item(out, h, l.name, "pos", T3(l.pos));
    Item(out, h, l.name, "ambient", T3(l.ambient));
    Item(out, h, l.name, "diffuse", T3(l.diffuse));
    Item(out, h, l.name, "specular", T3(l.specular));
    out.Line("#");
  }
  const bool ok = (std::fclose(f) == 0) && out.ok;
  if (!ok) {
    SceneLog(ShortString("[qlv] config: write failed on ") + fileName);
    return -1;
  }
  return 0;
}
