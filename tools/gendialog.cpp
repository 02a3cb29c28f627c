// Generates the header image of the setup dialog, "dialog_head.tga" (560 x 72,
// 24-bit): a dark blue gradient with the show's name lettered on it and an accent
// line along its lower edge. Written through the framework's TGA writer.
// Usage: korv-gendialog <content folder>
// Depends on: FreeType with the DejaVu fonts, the framework (base, TGA writer).
#include <cstdio>
#include <string>

#include "base/main.h"
#include "tools/gentex_common.h"

namespace {

constexpr int kWidth = 560, kHeight = 72;

struct Rgb {
  int r, g, b;
};

Rgb Mix(Rgb a, Rgb b, int t, int range) {
  return {a.r + (b.r - a.r) * t / range, a.g + (b.g - a.g) * t / range, a.b + (b.b - a.b) * t / range};
}

bool WriteHeader(const std::string &path) {
  gentex::Canvas title(kWidth, kHeight), subtitle(kWidth, kHeight);
  gentex::Lettering bold(gentex::kFontBold, 26), regular(gentex::kFontRegular, 13);
  if (!bold.ok() || !regular.ok()) return false;
  bold.Draw(title, "tarvo!korvadyne", 24, 38);
  regular.Draw(subtitle, "display, sound and texture setup", 26, 58);

  txBitmap *bmp = txCreateDummy(0, kWidth, kHeight);
  if (!bmp) return false;
  const Rgb top{0x2C, 0x3E, 0x62}, bottom{0x1B, 0x22, 0x30};
  const Rgb ink{0xFF, 0xFF, 0xFF}, soft{0xA8, 0xB4, 0xC8}, accent{0x4A, 0x86, 0xE8};
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      Rgb c = y >= kHeight - 2 ? accent : Mix(top, bottom, y, kHeight - 1);
      c = Mix(c, soft, subtitle.at(x, y), 255);
      c = Mix(c, ink, title.at(x, y), 255);
      uint8_t *p = bmp->image[0] + 3 * ((size_t)y * kWidth + x);
      p[0] = (uint8_t)c.b;  // the writer takes B, G, R
      p[1] = (uint8_t)c.g;
      p[2] = (uint8_t)c.r;
    }
  bool ok = tgaWrite(path.c_str(), bmp) == 0;
  txFree(&bmp);
  return ok;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: korv-gendialog <content folder>\n");
    return 2;
  }
  SYS_BaseInit(nullptr, 0, nullptr, nullptr);
  const std::string dir = argv[1];
  bool ok = WriteHeader(dir + "/dialog_head.tga");
  if (!ok) std::fprintf(stderr, "korv-gendialog: cannot write %s/dialog_head.tga\n", dir.c_str());
  SYS_BaseDone();
  return ok ? 0 : 1;
}
