// IFE layers: the number and field grammar, key lines, whole files (comments, empty
// lines, special texture names, long lines, the malformed cases that end the run
// with 217) and the interpolation and key choice through a recording GL table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "base/file.h"
#include "presentation/ife.h"
#include "scene/counters.h"
#include "tests/presentation/effects_recorder.h"

namespace {

using fxtest::Only;

TEST(EffectsIfeParse, NumbersFollowTheGrammarExactly) {
  struct Case {
    const char *text;
    bool valid;
    float value;
  } cases[] = {
      {"1.5e2", true, 150.0f}, {"-.5", true, -0.5f},   {"+3", true, 3.0f},     {"1.", true, 1.0f},
      {"0.1", true, 0.1f},     {"1E-2", true, 0.01f},  {"7e+1", true, 70.0f},  {"-0", true, -0.0f},
      {"1e-60", true, 0.0f},   {"12abc", false, 0.0f}, {".", false, 0.0f},     {"1e", false, 0.0f},
      {"1e+", false, 0.0f},    {"", false, 0.0f},      {"-", false, 0.0f},     {"0x10", false, 0.0f},
      {"inf", false, 0.0f},    {"nan", false, 0.0f},   {"1,5", false, 0.0f},   {"--1", false, 0.0f},
      {"5 ", false, 0.0f},     {"1e39", false, 0.0f},  {"1e999", false, 0.0f},  {"1.2.3", false, 0.0f}, {"e5", false, 0.0f},
  };
  for (const Case &c : cases) {
    float value = 99.0f;
    EXPECT_EQ(IfeParseNumber(c.text, std::strlen(c.text), &value) != 0, c.valid) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
}

TEST(EffectsIfeParse, IntegersAndHalfEvenRounding) {
  struct Case {
    const char *text;
    bool valid;
    int32_t value;
  } cases[] = {{"12", true, 12},           {"-7", true, -7},          {"+3", true, 3},
               {"2147483647", true, INT32_MAX}, {"-2147483648", true, INT32_MIN}, {"2147483648", false, 0},
               {"", false, 0},             {"-", false, 0},           {"1.0", false, 0},
               {"12abc", false, 0},        {" 1", false, 0},          {"99999999999999999999", false, 0}};
  for (const Case &c : cases) {
    int32_t value = 99;
    EXPECT_EQ(IfeParseInteger(c.text, std::strlen(c.text), &value) != 0, c.valid) << c.text;
    if (c.valid) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
  const std::pair<float, int32_t> rounding[] = {{2.5f, 2},   {3.5f, 4},    {-2.5f, -2},        {-3.5f, -4},
                                                {0.5f, 0},   {1.5f, 2},    {0.49999997f, 0},   {-0.6f, -1},
                                                {1e10f, INT32_MAX}, {-1e10f, INT32_MIN}, {NAN, 0}};
  for (auto [in, out] : rounding) EXPECT_EQ(IfeRoundEven(in), out) << in;
}

TEST(EffectsIfeParse, FieldsAreCutAtSingleSpaces) {
  ShortString word;
  const ShortString line("a b  c\td e");
  const char *expected[] = {"a", "b", "", "c\td", "e", ""};
  for (int n = 1; n <= 6; n++) {
    IfeGetWord(line, n, word);
    EXPECT_EQ(std::string_view(word), expected[n - 1]) << n;
  }
  IfeGetWord(ShortString(" x y"), 1, word);  // the first character never separates
  EXPECT_EQ(std::string_view(word), "x");
  EXPECT_EQ(IfeGetFloat(ShortString("1 1.5e2"), 2), 150.0f);
}

TEST(EffectsIfeParse, KeyLines) {
  ife_keys key;
  IfeParseKey(ShortString("0 640 360 0 0 1280 720 255 255 255 128"), &key);
  EXPECT_EQ(key.time, 0);
  EXPECT_EQ(key.x, 640.0f);
  EXPECT_EQ(key.y, 360.0f);
  EXPECT_EQ(key.width, 1280.0f);
  EXPECT_EQ(key.height, 720.0f);
  EXPECT_EQ(key.r, 255.0f);
  EXPECT_EQ(key.a, 128.0f);
  // Two spaces after the first field: x reads empty and every later value moves one late.
  IfeParseKey(ShortString("0  640 360 0 0 1280 720 255 255 255 128"), &key);
  EXPECT_EQ(key.x, 0.0f);
  EXPECT_EQ(key.y, 640.0f);
  EXPECT_EQ(key.interpolation, 104);  // 360 keeps its low 8 bits
  EXPECT_EQ(key.a, 255.0f);
  IfeParseKey(ShortString("2.5 12abc"), &key);  // short line: missing fields are 0
  EXPECT_EQ(key.time, 2);
  EXPECT_EQ(key.x, 0.0f);
  EXPECT_EQ(key.a, 0.0f);
  IfeParseKey(ShortString("3.5 1 1 -1"), &key);
  EXPECT_EQ(key.time, 4);
  EXPECT_EQ(key.interpolation, 255);
}

TEST(EffectsIfeInterpolate, ModesAtTheMiddle) {
  EXPECT_FLOAT_EQ(IfeInterpolate(0, 100, 300, 0.5f), 200.0f);
  EXPECT_NEAR(IfeInterpolate(1, 100, 300, 0.5f), 100 + 200 * std::sin(M_PI / 4), 1e-4);
  EXPECT_NEAR(IfeInterpolate(2, 100, 300, 0.5f), 100 + 200 * (1 - std::cos(M_PI / 4)), 1e-4);
  for (uint8_t mode : {0, 1, 2}) {
    EXPECT_FLOAT_EQ(IfeInterpolate(mode, 100, 300, 0.0f), 100.0f) << (int)mode;
    EXPECT_FLOAT_EQ(IfeInterpolate(mode, 100, 300, 1.0f), 300.0f) << (int)mode;
  }
  EXPECT_FLOAT_EQ(IfeInterpolate(9, 100, 300, 0.25f), 150.0f);  // unknown modes draw linearly
}

// Writes text to a temporary file and loads it; the file is removed afterwards.
class IfeFile {
 public:
  explicit IfeFile(const std::string &text) {
    char name[] = "/tmp/effects_ifeXXXXXX";
    int fd = mkstemp(name);
    path_ = name;
    if (fd >= 0) {
      (void)!write(fd, text.data(), text.size());
      close(fd);
    }
  }
  ~IfeFile() { std::remove(path_.c_str()); }
  const std::string &Path() const { return path_; }
  ife_interface Load() const {
    ife_interface iface = {};
    IfeLoad(&iface, ShortString(path_), ShortString(""));
    return iface;
  }

 private:
  std::string path_;
};

std::string Layer(const char *name, int blend, std::initializer_list<const char *> keys) {
  std::string s = std::string(name) + "\nsecond\nthird\n" + std::to_string(keys.size()) + "\n" + std::to_string(blend) + "\n";
  for (const char *k : keys) s += std::string(k) + "\n";
  return s;
}

TEST(EffectsIfeLoad, CommentsEmptyLinesAndSpecialNames) {
  fxtest::InstallRecorder();
  IfeBufTextures[0] = 41;
  IfeBufTextures[2] = 43;
  FramebufferTexture[0] = 51;
  GlowTexture = 52;
  std::string text = "# header comment\n5\n  7  \n";
  text += Layer("white.tga", 1, {"0 1 2 0 0 3 4 5 6 7 8"});
  text += "#between layers\n";
  text += "BUF0.JPG\nsecond\n third \n3\n2\n0 10 0 0 0 0 0 0 0 0 0\n# a comment among keys\n\n1000 30 0 0 0 0 0 0 0 0 0\n";
  text += Layer("BUF9.JPG", 300, {"0"});
  text += Layer("RT", 0, {});
  text += Layer("GLOW", 0, {"0"});
  text += "anything after the last layer is not read\n";
  ife_interface iface = IfeFile(text).Load();
  ASSERT_EQ(iface.layerCount, 5);
  EXPECT_EQ(iface.headerValue, 7);
  const ife_layer *l = iface.layers;
  EXPECT_EQ(std::string_view(l[0].textureName), "white.tga");
  EXPECT_EQ(l[0].glTexture, 0);
  EXPECT_EQ(l[0].keys[0].a, 8.0f);
  EXPECT_EQ(l[1].glTexture, 41);
  EXPECT_EQ(std::string_view(l[1].text3), "third");
  ASSERT_EQ(l[1].keyCount, 3);
  EXPECT_EQ(l[1].keys[1].time, 0);  // the empty line: a key of zeros
  EXPECT_EQ(l[1].keys[1].x, 0.0f);
  EXPECT_EQ(l[1].keys[2].x, 30.0f);
  EXPECT_EQ(l[2].glTexture, 0);
  EXPECT_EQ(l[2].blend, 300 & 255);
  EXPECT_EQ(l[3].glTexture, 51);
  EXPECT_EQ(l[3].keyCount, 0);
  EXPECT_EQ(l[3].keys, nullptr);
  EXPECT_EQ(l[4].glTexture, 52);
  // Each layer sets the wrap of whatever texture is bound: two calls per layer.
  EXPECT_EQ(Only("glTexParameteri").size(), 10u);
  EXPECT_EQ(Only("glBindTexture").size(), 0u);
  IfeFree(&iface);
  EXPECT_EQ(iface.layerCount, 0);
  EXPECT_EQ(iface.layers, nullptr);
}

TEST(EffectsIfeLoad, LongLinesAreReadWhole) {
  fxtest::InstallRecorder();
  std::string longComment = "#" + std::string(3000, 'c') + "\n";
  std::string longKey = "0 640 360 0 0 1280 720 255 255 255 128" + std::string(600, ' ') + "9\n";
  std::string text = longComment + "1\n0\n" + longComment + "white.tga\n" + std::string(700, 'x') + "\n" + std::string(511, 'y') + "\n1\n2\n" + longKey;
  ife_interface iface = IfeFile(text).Load();
  ASSERT_EQ(iface.layerCount, 1);
  EXPECT_EQ(iface.layers[0].text2.size(), 255u);
  EXPECT_EQ(iface.layers[0].text3.size(), 255u);  // a line that fills the read buffer exactly
  EXPECT_EQ(iface.layers[0].keys[0].a, 128.0f);
  EXPECT_EQ(iface.layers[0].blend, 2);
  IfeFree(&iface);
}

// Lines around the 512-byte read buffer, with either line end, from a file on disk
// (whose reader drops the line end): each comes back once, cut to 255 characters,
// and the line after it is not shifted.
TEST(EffectsIfeLoad, LinesAroundTheReadBufferKeepTheirPlace) {
  for (const char *end : {"\n", "\r\n"})
    for (size_t length : {0, 1, 255, 256, 509, 510, 511, 512, 1021, 1022, 1023}) {
      const std::string text = std::string(length, 'x') + end + "next" + end + "last" + end;
      char name[] = "/tmp/effects_ife_lineXXXXXX";
      const int fd = mkstemp(name);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(write(fd, text.data(), text.size()), (ssize_t)text.size());
      close(fd);
      SCOPED_TRACE(std::to_string(length) + (end[0] == '\r' ? " CR LF" : " LF"));
      SYS_File_t *file = SYS_FileOpen(name, 0);
      ASSERT_NE(file, nullptr);
      ShortString line;
      ASSERT_EQ(IfeReadLine(file, line), 0);
      EXPECT_EQ(std::string_view(line), std::string(std::min<size_t>(length, 255), 'x'));
      ASSERT_EQ(IfeReadLine(file, line), 0);
      EXPECT_EQ(std::string_view(line), "next");
      ASSERT_EQ(IfeReadLine(file, line), 0);
      EXPECT_EQ(std::string_view(line), "last");
      EXPECT_NE(IfeReadLine(file, line), 0);
      SYS_FileClose(file);
      std::remove(name);
    }
}

// The reader reports what the loader turns into the 217 exit, and keeps nothing of a
// refused file, however far it got.
TEST(EffectsIfeRead, MalformedFilesAreReportedAndLeaveNothing) {
  const std::string good = Layer("white.tga", 0, {"0 1 1 0 0 1 1 1 1 1 1"});
  const std::pair<std::string, const char *> cases[] = {
      {"x\n0\n", "invalid integer"},
      {"5000\n0\n", "count out of range"},
      {"2\n0\n" + good, "file ends early, expected"},
      {"2\n0\n" + good + "white.tga\na\nb\n20000\n0\n", "count out of range"},
      {"1\n0\nwhite.tga\na\nb\n3\n0\n0 0\n", "file ends early, expected"},
  };
  for (const auto &[text, why] : cases) {
    IfeFile file(text);
    SYS_File_t *f = SYS_FileOpen(file.Path().c_str(), SYS_FILE_TEXT);
    ASSERT_NE(f, nullptr);
    ife_interface iface = {3, 4, (ife_layer *)&iface};
    const char *reason = nullptr;
    EXPECT_EQ(IfeRead(&iface, f, "case", &reason), -1) << text;
    SYS_FileClose(f);
    EXPECT_STREQ(reason, why) << text;
    EXPECT_EQ(iface.layerCount, 0) << text;
    EXPECT_EQ(iface.layers, nullptr) << text;
  }
  IfeFile file("1\n9\n" + good);
  SYS_File_t *f = SYS_FileOpen(file.Path().c_str(), SYS_FILE_TEXT);
  ASSERT_NE(f, nullptr);
  ife_interface iface;
  EXPECT_EQ(IfeRead(&iface, f, "good", nullptr), 0);
  SYS_FileClose(f);
  ASSERT_EQ(iface.layerCount, 1);
  EXPECT_EQ(iface.headerValue, 9);
  EXPECT_EQ(iface.layers[0].glTexture, 0);  // textures are the loader's step
  EXPECT_EQ(iface.layers[0].keys[0].a, 1.0f);
  IfeFree(&iface);
}

using EffectsIfeMalformedDeathTest = ::testing::Test;

TEST(EffectsIfeMalformedDeathTest, RefusedWithTheRuntimeErrorCode) {
  fxtest::InstallRecorder();
  const std::string good = Layer("white.tga", 0, {"0 1 1 0 0 1 1 1 1 1 1"});
  const std::string cases[] = {
      "x\n0\n",                                        // layer count not an integer
      "1\n1.0\n" + good,                               // header not an integer
      "-1\n0\n",                                       // negative layer count
      "5000\n0\n",                                     // beyond the layer array
      "1\n0\nwhite.tga\na\nb\n-2\n0\n",                // negative key count
      "1\n0\nwhite.tga\na\nb\n20000\n0\n",             // beyond the key array
      "1\n0\nwhite.tga\na\nb\n1\n12abc\n0\n",          // blend not an integer
      "1\n0\nwhite.tga\na\nb\n2\n0\n0 0\n# the end\n",  // ends early after a comment
      "2\n0\n" + good,                                 // a layer short
      "",                                              // empty file
  };
  for (const std::string &text : cases) {
    IfeFile file(text);
    EXPECT_EXIT(file.Load(), ::testing::ExitedWithCode(217), "Runtime error 217") << text;
  }
}

// Every truncation and a spread of byte mutations of a valid file either loads, is
// refused with 217, or (a mangled texture name) ends through the texture loader's
// fatal error: never a crash, a hang or a read past the arrays.
TEST(EffectsIfeMalformedDeathTest, TruncationsAndMutationsLoadOrRefuse) {
  fxtest::InstallRecorder();
  const std::string valid = "# fx\n2\n0\n" + Layer("white.tga", 2, {"0 640 360 0 0 1280 720 0 0 0 0", "1000 1 2 1 3 4 5 6 7 8 9"}) +
                            "#\n" + Layer("BUF0.JPG", 1, {"5 5 5 2 5 5 5 5 5 5 5"});
  std::vector<std::string> variants;
  for (size_t cut = 0; cut < valid.size(); cut += 3) variants.push_back(valid.substr(0, cut));
  uint32_t seed = 12345;
  const char noise[] = "#-+.e 9\n\t\0x";
  for (int i = 0; i < 60; i++) {
    std::string v = valid;
    for (int k = 0; k < 3; k++) {
      seed = seed * 1664525u + 1013904223u;
      v[(seed >> 8) % v.size()] = noise[(seed >> 20) % (sizeof noise - 1)];
    }
    variants.push_back(v);
  }
  for (const std::string &text : variants) {
    IfeFile file(text);
    const std::string said = file.Path() + ".said";
    pid_t pid = fork();
    if (pid == 0) {
      const int out = open(said.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (out < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0) _exit(126);
      // The exit code is the outcome: the child ends as soon as the code under test
      // exits, without the libraries' destructors and, in the sanitizer build, without
      // a leak check of the whole process, which made each of these children cost a
      // quarter of a second there (more than a minute and a half under load).
      on_exit([](int code, void *) { _exit(code); }, nullptr);
      ife_interface iface = file.Load();
      IfeFree(&iface);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << text;
    int code = WEXITSTATUS(status);
    std::ifstream in(said);
    const std::string output{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::remove(said.c_str());
    // A sanitizer's report also ends the process with 1: the loader's message tells them apart.
    EXPECT_TRUE(code == 0 || code == 217 || (code == 1 && output.find("Texture Loader Error") != std::string::npos))
        << code << "\n" << output << "\n" << text;
  }
}

// Loads keys into a one-layer record without a file.
struct OneLayer {
  ife_keys keys[4] = {};
  ife_layer layer = {};
  ife_interface iface = {};
  OneLayer(const char *name, uint8_t blend, std::initializer_list<ife_keys> list) {
    int n = 0;
    for (const ife_keys &k : list) keys[n++] = k;
    layer.textureName = name;
    layer.keyCount = n;
    layer.blend = blend;
    layer.glTexture = 7;
    layer.keys = keys;
    iface = {1, 0, &layer};
  }
  float XAt(float t) {
    fxtest::InstallRecorder();
    IfeRender(&iface, t);
    auto moves = Only("glTranslatef");
    return moves.empty() ? NAN : (float)moves[0].args[0];
  }
};

ife_keys Key(int32_t time, float x, uint8_t mode = 0) { return {time, x, 0, mode, 0, 10, 10, 255, 255, 255, 255}; }

TEST(EffectsIfeRender, KeyChoiceAndInterpolation) {
  OneLayer two("white.tga", 0, {Key(0, 100), Key(1000, 300)});
  const std::pair<float, float> linear[] = {{500, 200}, {-50, 100}, {2000, 300}, {1000, 300}, {0, 100}, {250, 150}};
  for (auto [t, x] : linear) EXPECT_FLOAT_EQ(two.XAt(t), x) << t;
  two.keys[0].interpolation = 1;
  EXPECT_NEAR(two.XAt(500), 241.42, 0.01);
  two.keys[0].interpolation = 2;
  EXPECT_NEAR(two.XAt(500), 158.58, 0.01);

  OneLayer three("white.tga", 0, {Key(0, 0, 0), Key(500, 100, 1), Key(1000, 300, 0)});
  EXPECT_EQ(three.XAt(500), 100.0f);
  EXPECT_NEAR(three.XAt(750), 100 + 200 * std::sin(M_PI / 4), 1e-3);  // the second key's mode

  OneLayer same("white.tga", 0, {Key(0, 0), Key(500, 100), Key(500, 200), Key(1000, 400)});
  EXPECT_EQ(same.XAt(500), 100.0f);  // two keys at one time: the earlier one holds
  EXPECT_FLOAT_EQ(same.XAt(750), 300.0f);

  OneLayer none("white.tga", 0, {});
  EXPECT_TRUE(std::isnan(none.XAt(10)));
  EXPECT_EQ(fxtest::Count("glBegin"), 0u);
}

TEST(EffectsIfeRender, BlendModesAndState) {
  const std::pair<GLenum, GLenum> funcs[7] = {{0, 0},
                                              {GL_ONE, GL_ONE},
                                              {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
                                              {GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA},
                                              {GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR},
                                              {GL_ZERO, GL_ONE_MINUS_SRC_COLOR},
                                              {GL_ZERO, GL_ONE_MINUS_SRC_COLOR}};
  for (uint8_t blend = 0; blend <= 8; blend++) {
    OneLayer layer("white.tga", blend, {Key(0, 640)});
    layer.XAt(0);
    auto blendFuncs = Only("glBlendFunc");
    if (blend == 0 || blend > 6) {
      EXPECT_TRUE(blendFuncs.empty()) << (int)blend;
    } else {
      ASSERT_EQ(blendFuncs.size(), 1u) << (int)blend;
      EXPECT_EQ(blendFuncs[0].args[0], funcs[blend].first) << (int)blend;
      EXPECT_EQ(blendFuncs[0].args[1], funcs[blend].second) << (int)blend;
    }
    bool disabled = false;
    for (auto &c : Only("glDisable")) disabled |= c.args[0] == GL_BLEND;
    EXPECT_EQ(disabled, blend == 0) << (int)blend;
  }
  OneLayer layer("white.tga", 0, {{0, 640, 360, 0, 30, 1280, 720, 255, 0, 51, 255}});
  layer.XAt(0);
  auto colours = Only("glColor4f");
  ASSERT_EQ(colours.size(), 1u);
  EXPECT_FLOAT_EQ(colours[0].args[0], 1.0f);
  EXPECT_FLOAT_EQ(colours[0].args[2], 0.2f);
  EXPECT_EQ(Only("glRotatef")[0].args[0], 30.0);
  EXPECT_EQ(Only("gluOrtho2D")[0].args[1], 1280.0);
  EXPECT_EQ(fxtest::Calls().back().name, "glMatrixMode");
  EXPECT_EQ(fxtest::Calls().back().args[0], GL_MODELVIEW);
  auto vertices = Only("glVertex2f");
  ASSERT_EQ(vertices.size(), 4u);
  EXPECT_EQ(vertices[0].args[0], 640.0);
  EXPECT_EQ(vertices[2].args[1], -360.0);
}

TEST(EffectsIfeRender, ScreenCopiesMapTheirFirstRowToTheBottom) {
  const std::pair<const char *, double> names[] = {
      {"BUF0.JPG", 1.0}, {"BUF2.JPG", 1.0}, {"RT", 1.0}, {"BUF1.JPG", 0.0}, {"buf0.jpg", 0.0}, {"image.tga", 0.0}};
  for (auto [name, topV] : names) {
    OneLayer layer(name, 1, {Key(0, 640)});
    layer.XAt(0);
    auto coords = Only("glTexCoord2f");
    ASSERT_EQ(coords.size(), 4u);
    EXPECT_EQ(coords[0].args[1], topV) << name;  // vertex 1 is the upper right corner
    EXPECT_EQ(coords[1].args[1], 1.0 - topV) << name;
    auto enables = Only("glEnable");
    EXPECT_EQ(enables.back().args[0], GL_TEXTURE_2D) << name;
  }
  OneLayer white("white.tga", 1, {Key(0, 640)});
  white.XAt(0);
  EXPECT_EQ(Only("glDisable").back().args[0], GL_TEXTURE_2D);
}

}  // namespace
