// Contact sheet of the show: shots of the program's window laid out in a grid of
// captioned thumbnails, written as one PNG.
//
// Usage: korv-contactsheet <shots folder> <output.png> [columns]. The folder holds
// binary PPM shots and index.txt, one line per shot: file name, a tab, its caption
// (the whole-show end-to-end test writes both when KORV_SHOTS_DIR names the folder;
// scripts/contact-sheet.sh runs the two). Each shot is reduced by averaging to a
// quarter of its width and height, its channels to 16 levels, which keeps the sheet
// small enough to live in the repository.
// Depends on: tools/gentex_common.h (FreeType, the framework's PNG writer), base.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/main.h"
#include "tools/gentex_common.h"

namespace {

constexpr int kReduce = 4;       // shot pixels per thumbnail pixel, each way
constexpr int kGap = 6;          // between and around the thumbnails
constexpr int kCaption = 20;     // caption strip under a thumbnail
constexpr int kMaxSide = 8192;   // refuse shots larger than this
constexpr int kLevelStep = 16;   // of the levels kept per channel: fewer compress better

struct Shot {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

// A binary PPM as written by the capture (P6, maximum value 255, one blank after it).
bool ReadPpm(const std::string &path, Shot &shot) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int maxValue = 0;
  if (!(in >> magic >> shot.width >> shot.height >> maxValue) || magic != "P6" || maxValue != 255) return false;
  if (shot.width <= 0 || shot.height <= 0 || shot.width > kMaxSide || shot.height > kMaxSide) return false;
  in.get();
  shot.rgb.resize((size_t)shot.width * shot.height * 3);
  return (bool)in.read((char *)shot.rgb.data(), (std::streamsize)shot.rgb.size());
}

void PlaceReduced(gentex::RgbImage &sheet, const Shot &shot, int x0, int y0, int width, int height) {
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) {
      int sum[3] = {0, 0, 0};
      for (int dy = 0; dy < kReduce; dy++)
        for (int dx = 0; dx < kReduce; dx++) {
          const uint8_t *p = &shot.rgb[(((size_t)y * kReduce + dy) * shot.width + (size_t)x * kReduce + dx) * 3];
          for (int c = 0; c < 3; c++) sum[c] += p[c];
        }
      uint8_t *q = sheet.at(x0 + x, y0 + y);
      for (int c = 0; c < 3; c++) {
        const int mean = (sum[c] + kReduce * kReduce / 2) / (kReduce * kReduce);
        q[c] = (uint8_t)std::min(255, (mean + kLevelStep / 2) / kLevelStep * kLevelStep);
      }
    }
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: korv-contactsheet <shots folder> <output.png> [columns]\n");
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  const int columns = argc == 4 ? std::atoi(argv[3]) : 4;
  if (columns < 1 || columns > 16) {
    std::fprintf(stderr, "korv-contactsheet: columns must be 1 to 16\n");
    return 2;
  }
  std::ifstream index(dir + "index.txt");
  std::vector<std::pair<Shot, std::string>> shots;
  for (std::string line; std::getline(index, line);) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    Shot shot;
    if (!ReadPpm(dir + line.substr(0, tab), shot)) {
      std::fprintf(stderr, "korv-contactsheet: cannot read %s%s\n", dir.c_str(), line.substr(0, tab).c_str());
      return 1;
    }
    shots.emplace_back(std::move(shot), line.substr(tab + 1));
  }
  if (shots.empty()) {
    std::fprintf(stderr, "korv-contactsheet: no shots listed in %sindex.txt\n", dir.c_str());
    return 1;
  }
  // Every thumbnail takes the size of the first shot's; smaller shots are refused.
  const int thumbW = shots[0].first.width / kReduce, thumbH = shots[0].first.height / kReduce;
  for (const auto &[shot, caption] : shots)
    if (shot.width < thumbW * kReduce || shot.height < thumbH * kReduce) {
      std::fprintf(stderr, "korv-contactsheet: the shot of \"%s\" is smaller than the first\n", caption.c_str());
      return 1;
    }
  const int rows = ((int)shots.size() + columns - 1) / columns;
  gentex::RgbImage sheet(kGap + columns * (thumbW + kGap), kGap + rows * (thumbH + kCaption + kGap));
  for (size_t i = 0; i < sheet.rgb.size(); i += 3) {
    sheet.rgb[i] = sheet.rgb[i + 1] = 14;
    sheet.rgb[i + 2] = 20;
  }
  SYS_BaseInit(nullptr, 0, nullptr, nullptr);
  gentex::Lettering font(gentex::kFontRegular, 12);
  if (!font.ok()) {
    std::fprintf(stderr, "korv-contactsheet: cannot open %s\n", gentex::kFontRegular);
    return 1;
  }
  for (size_t i = 0; i < shots.size(); i++) {
    const int x = kGap + (int)(i % columns) * (thumbW + kGap), y = kGap + (int)(i / columns) * (thumbH + kCaption + kGap);
    PlaceReduced(sheet, shots[i].first, x, y, thumbW, thumbH);
    // A caption wider than its thumbnail is set smaller.
    int pixels = 12;
    for (font.SetPixelHeight(pixels); pixels > 8 && font.Measure(shots[i].second) > thumbW - 4;)
      font.SetPixelHeight(--pixels);
    font.DrawTinted(sheet, shots[i].second, x + thumbW / 2, y + thumbH + 14, 200, 205, 215);
  }
  const bool ok = gentex::WritePng(argv[2], sheet);
  if (!ok) std::fprintf(stderr, "korv-contactsheet: cannot write %s\n", argv[2]);
  SYS_BaseDone();
  return ok ? 0 : 1;
}
