// Captures of the program's window for the end-to-end runs: the picture of a window
// as 0x00RRGGBB pixels, the measures the checks use, and binary PPM files for the
// shots a run keeps (the contact sheet is made from them; a kept run can be checked
// again without playing the show).
// Depends on: Xlib.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

struct Capture {
  int width = 0, height = 0;
  std::vector<uint32_t> rgb;  // 0x00RRGGBB, row 0 at the top

  uint32_t At(int x, int y) const { return rgb[(size_t)y * width + x]; }
  static int R(uint32_t p) { return (int)(p >> 16) & 255; }
  static int G(uint32_t p) { return (int)(p >> 8) & 255; }
  static int B(uint32_t p) { return (int)p & 255; }
  static int Sum(uint32_t p) { return R(p) + G(p) + B(p); }
};

// The window's picture as the X server has it now, or rows [top, top + rows) of it (all
// rows when rows is 0); false when it is not mapped.
inline bool GrabWindow(Display *d, Window w, Capture &out, int top = 0, int rows = 0) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable) return false;
  top = std::clamp(top, 0, a.height);
  const int height = rows > 0 ? std::min(rows, a.height - top) : a.height - top;
  if (height <= 0) return false;
  XImage *image = XGetImage(d, w, 0, top, (unsigned)a.width, (unsigned)height, AllPlanes, ZPixmap);
  if (!image) return false;
  out.width = a.width;
  out.height = height;
  out.rgb.resize((size_t)a.width * height);
  // The usual 24-bit visual stores 32-bit little-endian words: read them directly, as
  // XGetPixel per pixel costs more than a frame on a loaded machine.
  const bool direct = image->bits_per_pixel == 32 && image->byte_order == LSBFirst && image->red_mask == 0xff0000 &&
                      image->green_mask == 0xff00 && image->blue_mask == 0xff;
  for (int y = 0; y < height; y++) {
    const auto *row = (const uint8_t *)image->data + (size_t)y * image->bytes_per_line;
    for (int x = 0; x < a.width; x++) {
      uint32_t p;
      if (direct) p = (uint32_t)row[4 * x] | (uint32_t)row[4 * x + 1] << 8 | (uint32_t)row[4 * x + 2] << 16;
      else p = (uint32_t)XGetPixel(image, x, y);
      out.rgb[(size_t)y * a.width + x] = p & 0xffffff;
    }
  }
  XDestroyImage(image);
  return true;
}

// Share of pixels in rows [y0, y1) whose channels add up to more than sumAbove.
inline double LitShare(const Capture &c, int y0, int y1, int sumAbove = 90) {
  size_t lit = 0, all = 0;
  for (int y = y0; y < y1; y++)
    for (int x = 0; x < c.width; x++, all++) lit += Capture::Sum(c.At(x, y)) > sumAbove;
  return all ? (double)lit / all : 0.0;
}

// Share of pixels of two same-sized captures that differ by more than 24 in a channel.
inline double ChangedShare(const Capture &a, const Capture &b) {
  if (a.rgb.size() != b.rgb.size() || a.rgb.empty()) return 1.0;
  size_t n = 0;
  for (size_t i = 0; i < a.rgb.size(); i++) {
    const uint32_t p = a.rgb[i], q = b.rgb[i];
    n += std::abs(Capture::R(p) - Capture::R(q)) > 24 || std::abs(Capture::G(p) - Capture::G(q)) > 24 ||
         std::abs(Capture::B(p) - Capture::B(q)) > 24;
  }
  return (double)n / a.rgb.size();
}

// Mean red, green and blue of the pixels whose channels add up to more than sumAbove.
struct MeanColour {
  double r = 0, g = 0, b = 0;
  size_t count = 0;
};
inline MeanColour LitMean(const Capture &c, int sumAbove = 90) {
  MeanColour m;
  for (uint32_t p : c.rgb) {
    if (Capture::Sum(p) <= sumAbove) continue;
    m.r += Capture::R(p);
    m.g += Capture::G(p);
    m.b += Capture::B(p);
    m.count++;
  }
  if (m.count) {
    m.r /= (double)m.count;
    m.g /= (double)m.count;
    m.b /= (double)m.count;
  }
  return m;
}

// What a scene's check bounds: measures of one picture. Shares of the lit pixels unless
// said otherwise; a pixel is lit when its channels add up to more than 90.
struct Look {
  double lit = 0;                          // share of all pixels
  double top = 0, middle = 0, bottom = 0;  // lit share of each third of the rows
  double grey = 0;    // channels within 24 of one another
  double blue = 0;    // blue first by 24 or more
  double violet = 0;  // blue first, and red above green by 24 or more
  double warm = 0;    // red or green first by 24 or more
  double bright = 0;  // channels adding up to more than 600
  double sharp = 0;   // a step of more than 150 in channel sum to the pixel on the right
  double centre = 0;  // in the middle third of the rows and of the columns
  double spreadX = 0, spreadY = 0;  // standard deviation of the lit pixels' columns and rows, over width or height
  // How much more the lit pixels of the right third spread over the rows than those
  // of the left third: (right - left) / (right + left), 0 when either third is empty.
  double widening = 0;
  double mirror = 0;  // mean difference in channel sum of pixels mirrored left to right, over the mean sum
};

inline Look Measure(const Capture &c) {
  Look k;
  const int w = c.width, h = c.height;
  double lit = 0, band[3] = {}, sx = 0, sxx = 0, sy = 0, syy = 0, mirrored = 0, sum = 0;
  double third[2][3] = {};  // left and right third: count, sum and sum of squares of rows
  for (int y = 0; y < h; y++) {
    for (int x = 0; x < w; x++) {
      const uint32_t p = c.At(x, y);
      const int r = Capture::R(p), g = Capture::G(p), b = Capture::B(p), s = r + g + b;
      sum += s;
      mirrored += std::abs(s - Capture::Sum(c.At(w - 1 - x, y)));
      if (s <= 90) continue;
      lit++;
      band[y * 3 / h]++;
      const int most = std::max({r, g, b}), least = std::min({r, g, b});
      if (most - least < 24) k.grey++;
      else if (b == most && b - std::max(r, g) >= 24) {
        k.blue++;
        k.violet += r >= g + 24;
      } else if ((r == most && r - std::max(g, b) >= 24) || (g == most && g - std::max(r, b) >= 24)) k.warm++;
      k.bright += s > 600;
      k.sharp += x + 1 < w && std::abs(s - Capture::Sum(c.At(x + 1, y))) > 150;
      k.centre += x >= w / 3 && x < 2 * w / 3 && y >= h / 3 && y < 2 * h / 3;
      sx += x;
      sxx += (double)x * x;
      sy += y;
      syy += (double)y * y;
      if (x < w / 3 || x >= w - w / 3) {
        double *t = third[x < w / 3 ? 0 : 1];
        t[0]++;
        t[1] += y;
        t[2] += (double)y * y;
      }
    }
  }
  const double all = (double)w * h;
  k.lit = all ? lit / all : 0;
  k.top = band[0] * 3 / all;
  k.middle = band[1] * 3 / all;
  k.bottom = band[2] * 3 / all;
  k.mirror = sum ? mirrored / sum : 0;
  if (!lit) return k;
  for (double *share : {&k.grey, &k.blue, &k.violet, &k.warm, &k.bright, &k.sharp, &k.centre}) *share /= lit;
  const auto deviation = [](double n, double s, double ss) { return std::sqrt(std::max(0.0, ss / n - (s / n) * (s / n))); };
  k.spreadX = deviation(lit, sx, sxx) / w;
  k.spreadY = deviation(lit, sy, syy) / h;
  if (third[0][0] && third[1][0]) {
    const double left = deviation(third[0][0], third[0][1], third[0][2]);
    const double right = deviation(third[1][0], third[1][1], third[1][2]);
    k.widening = left + right > 0 ? (right - left) / (right + left) : 0;
  }
  return k;
}

inline bool WritePpm(const std::string &path, const Capture &c) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%d %d\n255\n", c.width, c.height);
  std::vector<uint8_t> row((size_t)c.width * 3);
  bool ok = true;
  for (int y = 0; y < c.height && ok; y++) {
    for (int x = 0; x < c.width; x++) {
      const uint32_t p = c.At(x, y);
      row[3 * x] = (uint8_t)Capture::R(p);
      row[3 * x + 1] = (uint8_t)Capture::G(p);
      row[3 * x + 2] = (uint8_t)Capture::B(p);
    }
    ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
  }
  return std::fclose(f) == 0 && ok;
}

// A picture written by WritePpm; false for anything else.
inline bool ReadPpm(const std::string &path, Capture &c) {
  FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  int w = 0, h = 0, depth = 0;
  bool ok = std::fscanf(f, "P6 %d %d %d", &w, &h, &depth) == 3 && std::fgetc(f) == '\n' && w > 0 && h > 0 &&
            w <= 16384 && h <= 16384 && depth == 255;
  if (ok) {
    c.width = w;
    c.height = h;
    c.rgb.resize((size_t)w * h);
    std::vector<uint8_t> row((size_t)w * 3);
    for (int y = 0; y < h && ok; y++) {
      ok = std::fread(row.data(), 1, row.size(), f) == row.size();
      for (int x = 0; x < w && ok; x++)
        c.rgb[(size_t)y * w + x] = (uint32_t)row[3 * x] << 16 | (uint32_t)row[3 * x + 1] << 8 | row[3 * x + 2];
    }
  }
  std::fclose(f);
  return ok;
}
