// Layout of "greet.tga": 24 strips of 21 rows of greeting text, white on black, in an
// image 512 texels wide and high.
//
// The tunnel maps strip K to texture rows v from 1 - K * 21/512 down to
// 1 - (K + 1) * 21/512. GL puts the first row of the uploaded data at v = 0, and the
// loader delivers a top-down TGA with the file's first row first, so strip K is
// canvas rows 512 - 21 (K + 1) .. 512 - 21 K - 1: strip 0 at the bottom of the image,
// the 8 spare rows at its top. Inside a strip the glyphs stand upright in the canvas
// (their tops at the strip's lower row numbers): seen from inside the tunnel that
// reads unmirrored, front to back.
// Depends on: tools/gentex_common.h.
#pragma once

#include "tools/gentex_common.h"

namespace gentex {

constexpr int kGreetSize = 512;
constexpr int kGreetStrips = 24;
constexpr int kGreetStripRows = 21;
constexpr int kGreetPixelHeight = 15;
constexpr int kGreetBaseline = 16;  // within a strip, from its top row

// General words to the people who make and watch demos; no names.
constexpr const char *kGreetings[kGreetStrips] = {
    "greetings to every demo maker",
    "hello to all who watch",
    "respect to the coders",
    "thanks to the musicians",
    "cheers to the pixel artists",
    "hi to everyone at the party",
    "thanks to the organisers",
    "keep the scene alive",
    "greetings to the sizecoders",
    "hello to the trackers",
    "respect to the old school",
    "welcome to the newcomers",
    "cheers to the compo voters",
    "thanks to the video crews",
    "greetings to the shader folk",
    "hello to the chip lovers",
    "respect to the wild entries",
    "thanks to the archivists",
    "greetings to the late coders",
    "hi to the remote watchers",
    "cheers to the visitors",
    "love to the sound makers",
    "thanks for watching",
    "see you at the next party",
};

// First canvas row of strip K.
constexpr int GreetStripTop(int k) { return kGreetSize - kGreetStripRows * (k + 1); }

// One strip: a 512 x 21 canvas with greeting K centred, glyph tops at row 0.
inline Canvas GreetStrip(Lettering &font, int k) {
  Canvas strip(kGreetSize, kGreetStripRows);
  font.DrawCentred(strip, kGreetings[k], 0, kGreetSize, kGreetBaseline);
  return strip;
}

// The whole image.
inline Canvas GreetImage(Lettering &font) {
  Canvas c(kGreetSize, kGreetSize);
  for (int k = 0; k < kGreetStrips; ++k) {
    Canvas strip = GreetStrip(font, k);
    std::copy(strip.px.begin(), strip.px.end(), c.px.begin() + (size_t)GreetStripTop(k) * kGreetSize);
  }
  return c;
}

}  // namespace gentex
