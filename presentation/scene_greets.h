// Greetings tunnel scene (patterns 47 to 54).
//
// A flight through 24 rings of 8 textured segments whose texture is a stack of 24
// text strips: each segment shows one strip, shifted by one from ring to ring so the
// strips run in helices, with a darker second skin and two thin bright quads near the
// axis. The camera sways, the rings turn at their own speeds, the tunnel makes an
// eased extra turn at patterns 49, 51, 53 and 54, and the glow follows.
// Depends on: GL and GLU tables, GL unit flags (anisotropic filtering), procedural
// tables (RandomVectors), line tunnel (EaseOutTurn), glow, main program state
// (SegmentTime, Beat, SpriteTexture, GreetTexture).
#pragma once

#include <cstdint>

enum : int32_t {
  kGreetsStart = 149310,  // SegmentTime at the start of pattern 47
  kGreetStripCount = 24,
  kGreetRings = 24,
  kGreetSegments = 8,
};

// Height of one strip in texture v: 21 of the image's 512 rows.
constexpr float kGreetStripHeight = 21.0f / 512.0f;

// Whether the greetings texture gets the GL's largest anisotropy: only with the
// extension, and not on Mesa's software rasterizers (renderer text "llvmpipe",
// "softpipe" or "swrast"), where anisotropic sampling is a slow path.
bool GreetsWantAnisotropy(bool hasExtension, const char *renderer);

// The extra turn of the whole tunnel in degrees at SegmentTime t.
float GreetsExtraTurn(int32_t t);

// One frame of patterns 47 to 54.
void GreetsScene(void);
