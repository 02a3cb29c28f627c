// Generates the show's four main textures into the content folder:
//   logo.tga    1024x64, 24-bit, bottom row first, no ID field: the title lettered
//               white on black, each pixel fully lit or black (the logo scenes make
//               one sprite per lit pixel, reading the bytes 18 onwards directly);
//   sprite8.tga 64x64 soft round glow, black at every edge;
//   kekviz.tga  256x256 bold, high-contrast cube face (frame, corner blocks, a big K);
//   greet.tga   512x512, 24 strips of greeting text (layout in gentex_greet.h).
// Usage: korv-gentex <output directory>
// Depends on: FreeType with the DejaVu fonts, the framework (base, TGA writer).
#include <cmath>
#include <cstdio>
#include <string>

#include "base/main.h"
#include "tools/gentex_common.h"
#include "tools/gentex_greet.h"

using namespace gentex;

namespace {

constexpr const char *kTitle = "tarvo!korvadyne";

Canvas Logo() {
  // Letter on a roomy canvas, then centre the lit box in 1024x64.
  int height = 84;
  Canvas big(1024, 160);
  for (;; height -= 2) {
    Lettering font(kFontBold, height);
    if (!font.ok()) return Canvas(1024, 64);
    if (font.Measure(kTitle) > 980 && height > 8) continue;
    big = Canvas(1024, 160);
    font.DrawCentred(big, kTitle, 0, 1024, 110, 128);
    int y0 = 160, y1 = -1;
    for (int y = 0; y < 160; ++y)
      for (int x = 0; x < 1024; ++x)
        if (big.at(x, y)) y0 = std::min(y0, y), y1 = std::max(y1, y);
    if (y1 - y0 + 1 <= 58 || height <= 8) {
      Canvas logo(1024, 64);
      int shift = (64 - (y1 - y0 + 1)) / 2 - y0;
      for (int y = y0; y <= y1; ++y)
        for (int x = 0; x < 1024; ++x) logo.at(x, y + shift) = big.at(x, y);
      return logo;
    }
  }
}

Canvas Sprite() {
  Canvas c(64, 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      double r = std::hypot(x - 31.5, y - 31.5) / 30.0;
      double v = r < 1 ? (1 - r * r) * (1 - r * r) : 0;
      c.at(x, y) = (uint8_t)std::lround(255 * v);
    }
  return c;
}

Canvas Kekviz() {
  Canvas c(256, 256);
  c.Fill(0, 0, 256, 256, 0);
  c.Fill(8, 8, 248, 24, 255);  // frame
  c.Fill(8, 232, 248, 248, 255);
  c.Fill(8, 8, 24, 248, 255);
  c.Fill(232, 8, 248, 248, 255);
  for (int cx : {40, 200})  // corner blocks
    for (int cy : {40, 200}) c.Fill(cx - 10, cy - 10, cx + 10, cy + 10, 255);
  Lettering font(kFontBold, 180);
  font.DrawCentred(c, "K", 0, 256, 193, 128);
  return c;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
    return 2;
  }
  SYS_BaseInit(nullptr, 0, nullptr, nullptr);
  const std::string dir = std::string(argv[1]) + "/";
  Lettering greetFont(kFontBold, kGreetPixelHeight);
  if (!greetFont.ok()) {
    std::fprintf(stderr, "gentex: cannot open %s\n", kFontBold);
    return 1;
  }
  bool ok = WriteRawBottomUpTga(dir + "logo.tga", Logo());
  ok = ok && WriteTga(dir + "sprite8.tga", Sprite());
  ok = ok && WriteTga(dir + "kekviz.tga", Kekviz());
  ok = ok && WriteTga(dir + "greet.tga", GreetImage(greetFont));
  if (!ok) std::fprintf(stderr, "gentex: cannot write the textures into %s\n", dir.c_str());
  SYS_BaseDone();
  return ok ? 0 : 1;
}
