// Soundtrack generator: synthesises the show's music and writes it as Ogg Vorbis.
//
// The piece follows the show's tempo map beat for beat: 16 beats of 444.4375 ms per
// pattern in the intro, 8 of 444.375 ms in the logo pattern and from pattern 5 on,
// 8 of 500 ms in the slower patterns 3 and 4. Every instrument is placed on that
// beat grid (a position in beats, turned into samples through the map), sections
// follow the scenes' pattern ranges, each white flash gets an impact and a crash,
// and the music ends at 210.6 s. The bytes are the same on every build: one fixed
// noise generator per event, a fixed Ogg serial number, no time or random seed.
// Depends on: libvorbisenc (libvorbis, libogg) only.
//
// Usage: korv-soundtrack <output.ogg> [seconds]  (seconds: render only the start)
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;
constexpr double kEndMs = 210637.0;   // the timeline's last frame
constexpr double kLengthMs = 211600.0; // silence after the end, so the file outlasts the show
constexpr int kSerial = 0x4B565231;    // fixed Ogg stream serial: identical bytes per build

// ---------------------------------------------------------------------------
// Tempo map: global beat number <-> milliseconds of the timeline.
// Beats 0-31: patterns 0 and 1 (16 beats each); 32-39: pattern 2; 40-55: patterns
// 3 and 4 at 500 ms; 56 on: patterns 5 to 56, 8 beats each.
constexpr double kSeg1Beat = 7111.0 / 16.0;
constexpr double kSeg2Beat = 3555.0 / 8.0;
constexpr double kSeg3Beat = 500.0;

double BeatMs(double b)
{
  if (b < 32.0)
    return b * kSeg1Beat;
  if (b < 40.0)
    return 14222.0 + (b - 32.0) * kSeg2Beat;
  if (b < 56.0)
    return 17777.0 + (b - 40.0) * kSeg3Beat;
  return 25777.0 + (b - 56.0) * kSeg2Beat;
}

double PatternBeat(int p)
{
  if (p < 2)
    return 16.0 * p;
  if (p == 2)
    return 32.0;
  if (p < 5)
    return 40.0 + 8.0 * (p - 3);
  return 56.0 + 8.0 * (p - 5);
}

int64_t MsToSample(double ms) { return (int64_t)std::llround(ms * kRate / 1000.0); }
int64_t BeatSample(double b) { return MsToSample(BeatMs(b)); }

double MidiHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

// ---------------------------------------------------------------------------
// Building blocks.

struct Noise {
  uint32_t s;
  explicit Noise(uint32_t seed) : s(seed * 2654435761u + 0x9E3779B9u) { if (!s) s = 1; }
  float Next()
  {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return (float)((int32_t)s) * (1.0f / 2147483648.0f);
  }
};

// Topology-preserving state-variable filter: stable under fast cutoff sweeps.
struct Svf {
  double ic1 = 0, ic2 = 0;
  double lp = 0, bp = 0, hp = 0;
  void Run(double x, double cutoff, double q)
  {
    cutoff = std::clamp(cutoff, 20.0, kRate * 0.45);
    const double g = std::tan(kPi * cutoff / kRate);
    const double k = 1.0 / q;
    const double a1 = 1.0 / (1.0 + g * (g + k));
    const double a2 = g * a1;
    const double a3 = g * a2;
    const double v3 = x - ic2;
    const double v1 = a1 * ic1 + a2 * v3;
    const double v2 = ic2 + a2 * ic1 + a3 * v3;
    ic1 = 2.0 * v1 - ic1;
    ic2 = 2.0 * v2 - ic2;
    lp = v2;
    bp = v1;
    hp = x - k * v1 - v2;
  }
};

// Band-limited sawtooth (polyBLEP).
struct Saw {
  double phase = 0;
  double Next(double inc)
  {
    double t = phase;
    double v = 2.0 * t - 1.0;
    if (t < inc) {
      t /= inc;
      v -= t + t - t * t - 1.0;
    } else if (t > 1.0 - inc) {
      t = (t - 1.0) / inc;
      v -= t * t + t + t + 1.0;
    }
    phase += inc;
    if (phase >= 1.0)
      phase -= 1.0;
    return v;
  }
};

// Stereo bus of the whole piece.
struct Bus {
  std::vector<float> l, r;
  explicit Bus(size_t n) : l(n, 0.0f), r(n, 0.0f) {}
  size_t Size() const { return l.size(); }
  void Add(int64_t i, double a, double b)
  {
    if (i >= 0 && (size_t)i < l.size()) {
      l[(size_t)i] += (float)a;
      r[(size_t)i] += (float)b;
    }
  }
};

// Equal-power pan: -1 left .. 1 right.
void PanGains(double pan, double &gl, double &gr)
{
  const double a = (pan + 1.0) * 0.25 * kPi;
  gl = std::cos(a) * 1.41421356;
  gr = std::sin(a) * 1.41421356;
}

// ---------------------------------------------------------------------------
// Instruments. Each renders one event into a bus, starting exactly at its sample.

void Kick(Bus &bus, int64_t at, double gain)
{
  const int n = kRate * 45 / 100;
  for (int i = 0; i < n; ++i) {
    const double t = (double)i / kRate;
    // Pitch falls from 160 Hz to 48 Hz; the phase is the integral of that sweep.
    const double f0 = 160.0, f1 = 48.0, k = 28.0;
    const double phase = 2.0 * kPi * (f1 * t + (f0 - f1) * (1.0 - std::exp(-k * t)) / k);
    const double amp = std::exp(-t * 7.0) * std::min(1.0, t * 2000.0);
    double v = std::sin(phase) * amp;
    v = std::tanh(v * 1.6) / std::tanh(1.6);
    const double click = i < 90 ? (1.0 - i / 90.0) * 0.35 * std::sin(2.0 * kPi * 1800.0 * t) : 0.0;
    const double s = (v + click) * gain;
    bus.Add(at + i, s, s);
  }
}

void Clap(Bus &bus, int64_t at, double gain, uint32_t seed)
{
  Noise noise(seed);
  Svf bp, hp;
  const int n = kRate * 40 / 100;
  for (int i = 0; i < n; ++i) {
    const double t = (double)i / kRate;
    // Three quick slaps 9 ms apart, then the room tail.
    double env = 0.0;
    for (int k = 0; k < 3; ++k) {
      const double tk = t - k * 0.009;
      if (tk >= 0.0)
        env = std::max(env, std::exp(-tk * 180.0));
    }
    if (t >= 0.018)
      env = std::max(env, 0.55 * std::exp(-(t - 0.018) * 14.0));
    bp.Run(noise.Next(), 1700.0, 1.2);
    hp.Run(bp.bp, 600.0, 0.7);
    const double s = hp.hp * env * gain * 2.2;
    bus.Add(at + i, s * 0.95, s * 1.05);
  }
}

void Snare(Bus &bus, int64_t at, double gain, uint32_t seed)
{
  Noise noise(seed);
  Svf hp;
  const int n = kRate * 25 / 100;
  for (int i = 0; i < n; ++i) {
    const double t = (double)i / kRate;
    const double body = std::sin(2.0 * kPi * 190.0 * t) * std::exp(-t * 30.0) * 0.6;
    hp.Run(noise.Next(), 1800.0, 0.7);
    const double s = (body + hp.hp * std::exp(-t * 18.0)) * std::min(1.0, t * 3000.0) * gain;
    bus.Add(at + i, s, s);
  }
}

void Hat(Bus &bus, int64_t at, double gain, double decay, double pan, uint32_t seed)
{
  Noise noise(seed);
  Svf hp, pk;
  const int n = (int)(kRate * decay * 6.0);
  double gl, gr;
  PanGains(pan, gl, gr);
  for (int i = 0; i < n; ++i) {
    const double t = (double)i / kRate;
    hp.Run(noise.Next(), 7500.0, 0.8);
    pk.Run(hp.hp, 10000.0, 2.0);
    const double s = (hp.hp * 0.6 + pk.bp * 0.5) * std::exp(-t / decay) * std::min(1.0, t * 4000.0) * gain;
    bus.Add(at + i, s * gl, s * gr);
  }
}

void Crash(Bus &bus, int64_t at, double gain, uint32_t seed)
{
  Noise nl(seed), nr(seed ^ 0x5555u);
  Svf hl, hr;
  const int n = kRate * 3;
  for (int i = 0; i < n; ++i) {
    const double t = (double)i / kRate;
    const double env = std::exp(-t * 1.6) * std::min(1.0, t * 1500.0);
    hl.Run(nl.Next(), 5000.0, 0.8);
    hr.Run(nr.Next(), 5200.0, 0.8);
    bus.Add(at + i, hl.hp * env * gain, hr.hp * env * gain);
  }
}

// The white-flash accent: a sub drop with a noise burst on top.
void Impact(Bus &bus, int64_t at, double gain, uint32_t seed)
{
  Noise noise(seed);
  Svf lp;
  const int n = kRate * 2;
  for (int i = 0; i < n; ++i) {
    const double t = (double)i / kRate;
    const double f0 = 90.0, f1 = 32.0, k = 4.0;
    const double phase = 2.0 * kPi * (f1 * t + (f0 - f1) * (1.0 - std::exp(-k * t)) / k);
    const double boom = std::sin(phase) * std::exp(-t * 2.2) * std::min(1.0, t * 400.0);
    lp.Run(noise.Next(), 3000.0 * std::exp(-t * 3.0) + 200.0, 0.7);
    const double s = (boom * 0.8 + lp.lp * std::exp(-t * 5.0) * 0.5) * gain;
    bus.Add(at + i, s, s);
  }
}

// Noise swell that rises in brightness and level up to its end.
void Riser(Bus &bus, int64_t from, int64_t to, double gain, uint32_t seed)
{
  Noise nl(seed), nr(seed + 7);
  Svf fl, fr;
  const int64_t n = to - from;
  for (int64_t i = 0; i < n; ++i) {
    const double x = (double)i / (double)n;
    const double cutoff = 300.0 * std::pow(40.0, x);
    fl.Run(nl.Next(), cutoff, 2.5);
    fr.Run(nr.Next(), cutoff * 1.03, 2.5);
    const double env = x * x * gain;
    bus.Add(from + i, fl.bp * env, fr.bp * env);
  }
}

// Bass: saw plus a sub sine through a resonant low-pass with a plucked envelope.
void Bass(Bus &bus, int64_t at, int64_t len, double note, double gain, double bright)
{
  Saw saw;
  Svf lp;
  const double hz = MidiHz(note);
  const double inc = hz / kRate;
  const int64_t rel = kRate / 100;
  double sub = 0.0;
  for (int64_t i = 0; i < len + rel; ++i) {
    const double t = (double)i / kRate;
    const double gate = i < len ? 1.0 : 1.0 - (double)(i - len) / rel;
    const double env = std::min(1.0, t * 400.0) * gate * (0.75 + 0.25 * std::exp(-t * 10.0));
    const double cutoff = hz * (1.5 + bright * 10.0 * std::exp(-t * 14.0));
    lp.Run(saw.Next(inc), cutoff, 1.6);
    const double s = (lp.lp * 0.7 + std::sin(sub) * 0.55) * env * gain;
    sub += 2.0 * kPi * inc;
    bus.Add(at + i, s, s);
  }
}

// Chord voice: five detuned saws per note spread across the stereo field.
void Chord(Bus &bus, int64_t at, int64_t len, const std::vector<double> &notes, double gain, double attack,
           double release, double cutoff, double cutoffEnv, double pluck)
{
  constexpr int kVoices = 5;
  constexpr std::array<double, kVoices> detune = {-0.11, -0.05, 0.0, 0.05, 0.11};
  constexpr std::array<double, kVoices> pan = {-0.8, -0.4, 0.0, 0.4, 0.8};
  const int64_t relN = (int64_t)(release * kRate);
  std::vector<Saw> saws(notes.size() * kVoices);
  for (size_t i = 0; i < saws.size(); ++i)
    saws[i].phase = std::fmod(0.137 * (double)i + 0.071 * (double)(i * i), 1.0);
  std::vector<double> incs(saws.size());
  std::vector<double> gl(kVoices), gr(kVoices);
  for (int v = 0; v < kVoices; ++v)
    PanGains(pan[v], gl[v], gr[v]);
  for (size_t n = 0; n < notes.size(); ++n)
    for (int v = 0; v < kVoices; ++v)
      incs[n * kVoices + v] = MidiHz(notes[n] + detune[v]) / kRate;
  Svf fl, fr;
  const double norm = gain / std::sqrt((double)(notes.size() * kVoices));
  for (int64_t i = 0; i < len + relN; ++i) {
    const double t = (double)i / kRate;
    double env = attack > 0.0 ? std::min(1.0, t / attack) : 1.0;
    if (pluck > 0.0)
      env *= 0.25 + 0.75 * std::exp(-t * pluck);
    if (i >= len)
      env *= 1.0 - (double)(i - len) / (double)relN;
    double l = 0.0, r = 0.0;
    for (size_t s = 0; s < saws.size(); ++s) {
      const double x = saws[s].Next(incs[s]);
      const int v = (int)(s % kVoices);
      l += x * gl[v];
      r += x * gr[v];
    }
    const double c = cutoff * (1.0 + cutoffEnv * std::exp(-t * 9.0));
    fl.Run(l, c, 0.9);
    fr.Run(r, c, 0.9);
    bus.Add(at + i, fl.lp * env * norm, fr.lp * env * norm);
  }
}

// Pluck for the arpeggio: a narrow pulse through a decaying low-pass.
void Pluck(Bus &bus, int64_t at, double note, double gain, double pan, double bright)
{
  Saw a, b;
  b.phase = 0.3;
  Svf lp;
  const double inc = MidiHz(note) / kRate;
  const int n = kRate * 30 / 100;
  double gl, gr;
  PanGains(pan, gl, gr);
  for (int i = 0; i < n; ++i) {
    const double t = (double)i / kRate;
    const double x = a.Next(inc) - b.Next(inc);  // two saws make a pulse
    lp.Run(x, 400.0 + bright * 5000.0 * std::exp(-t * 22.0), 1.2);
    const double s = lp.lp * std::exp(-t * 11.0) * std::min(1.0, t * 2000.0) * gain;
    bus.Add(at + i, s * gl, s * gr);
  }
}

// Lead: two detuned saws and a sub-octave square, vibrato after the attack.
void Lead(Bus &bus, int64_t at, int64_t len, double note, double gain)
{
  Saw s1, s2, s3, s4;
  s2.phase = 0.5;
  s4.phase = 0.25;
  Svf fl, fr;
  const int64_t rel = kRate * 12 / 100;
  for (int64_t i = 0; i < len + rel; ++i) {
    const double t = (double)i / kRate;
    const double vib = 1.0 + 0.004 * std::sin(2.0 * kPi * 5.5 * t) * std::min(1.0, std::max(0.0, t - 0.15) * 4.0);
    const double hz = MidiHz(note) * vib;
    const double sq = s3.Next(hz * 0.5 / kRate) - s4.Next(hz * 0.5 / kRate);
    const double x1 = s1.Next(hz * 1.004 / kRate), x2 = s2.Next(hz * 0.996 / kRate);
    double env = std::min(1.0, t * 150.0) * (0.7 + 0.3 * std::exp(-t * 6.0));
    if (i >= len)
      env *= 1.0 - (double)(i - len) / rel;
    const double c = 2000.0 + 5000.0 * std::exp(-t * 5.0);
    fl.Run(x1 * 0.6 + sq * 0.25, c, 1.0);
    fr.Run(x2 * 0.6 + sq * 0.25, c, 1.0);
    bus.Add(at + i, fl.lp * env * gain, fr.lp * env * gain);
  }
}

// ---------------------------------------------------------------------------
// Effects.

void PingPong(const Bus &in, Bus &out, int delay, double feedback, double mix)
{
  std::vector<float> dl((size_t)delay, 0.0f), dr((size_t)delay, 0.0f);
  Svf tl, tr;
  size_t p = 0;
  for (size_t i = 0; i < in.Size(); ++i) {
    const double yl = dl[p], yr = dr[p];
    tl.Run(in.l[i] * 0.5 + in.r[i] * 0.5 + yr * feedback, 3500.0, 0.7);
    tr.Run(yl * feedback, 3500.0, 0.7);
    dl[p] = (float)tl.lp;
    dr[p] = (float)tr.lp;
    p = (p + 1) % (size_t)delay;
    out.l[i] += (float)(yl * mix);
    out.r[i] += (float)(yr * mix);
  }
}

// Schroeder-style reverb: eight damped combs and four all-passes per side.
void Reverb(const Bus &in, Bus &out, double mix)
{
  static constexpr std::array<int, 8> combs = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
  static constexpr std::array<int, 4> passes = {556, 441, 341, 225};
  for (int side = 0; side < 2; ++side) {
    const std::vector<float> &x = side ? in.r : in.l;
    std::vector<float> &y = side ? out.r : out.l;
    const int spread = side ? 23 : 0;
    std::vector<std::vector<float>> cb(combs.size()), ab(passes.size());
    std::vector<size_t> cp(combs.size(), 0), ap(passes.size(), 0);
    std::vector<float> damp(combs.size(), 0.0f);
    for (size_t k = 0; k < combs.size(); ++k)
      cb[k].assign((size_t)(combs[k] + spread), 0.0f);
    for (size_t k = 0; k < passes.size(); ++k)
      ab[k].assign((size_t)(passes[k] + spread), 0.0f);
    for (size_t i = 0; i < x.size(); ++i) {
      const float input = x[i] * 0.015f;
      float acc = 0.0f;
      for (size_t k = 0; k < combs.size(); ++k) {
        const float o = cb[k][cp[k]];
        damp[k] = o * 0.6f + damp[k] * 0.4f;
        cb[k][cp[k]] = input + damp[k] * 0.86f;
        cp[k] = (cp[k] + 1) % cb[k].size();
        acc += o;
      }
      for (size_t k = 0; k < passes.size(); ++k) {
        const float b = ab[k][ap[k]];
        ab[k][ap[k]] = acc + b * 0.5f;
        acc = b - acc;
        ap[k] = (ap[k] + 1) % ab[k].size();
      }
      y[i] += acc * (float)mix;
    }
  }
}

// ---------------------------------------------------------------------------
// The arrangement.

struct Section {
  bool kick, clap, hats, openHats, bass, rollingBass, stabs, pad, arp, lead;
  int prog;  // chord progression
};

// Progressions of four chords, one chord per pattern (two bars). Notes in MIDI.
struct ChordDef {
  int root;                  // bass note
  std::array<int, 4> notes;  // chord voicing
};
constexpr std::array<std::array<ChordDef, 4>, 3> kProgs = {{
    // A minor, F, C, G
    {{{45, {57, 60, 64, 69}}, {41, {57, 60, 65, 69}}, {48, {55, 60, 64, 67}}, {43, {55, 59, 62, 67}}}},
    // D minor, F, C, E
    {{{38, {57, 62, 65, 69}}, {41, {57, 60, 65, 69}}, {48, {55, 60, 64, 67}}, {40, {56, 59, 64, 68}}}},
    // F major 7, G, E minor, A minor
    {{{41, {57, 60, 64, 65}}, {43, {55, 59, 62, 67}}, {40, {55, 59, 64, 67}}, {45, {57, 60, 64, 69}}}},
}};

struct Note {
  double beat, len;
  int note;
};
// Lead melodies over the 32 beats of a progression.
const std::vector<Note> kMelodyA = {
    {0, 1.5, 76},  {1.5, .5, 74}, {2, 1, 72},    {3, 1, 69},    {4, 1.5, 72},  {5.5, .5, 74}, {6, 2, 76},
    {8, 1.5, 77},  {9.5, .5, 76}, {10, 1, 72},   {11, 1, 69},   {12, 2, 72},   {14, 2, 69},   {16, 1.5, 79},
    {17.5, .5, 76}, {18, 1, 72},  {19, 1, 76},   {20, 1.5, 79}, {21.5, .5, 81}, {22, 2, 79},  {24, 1.5, 74},
    {25.5, .5, 71}, {26, 1, 67},  {27, 1, 71},   {28, 2, 74},   {30, 2, 76}};
const std::vector<Note> kMelodyB = {
    {0, 1.5, 77},  {1.5, .5, 76}, {2, 1, 74},    {3, 1, 69},    {4, 1.5, 74},  {5.5, .5, 76}, {6, 2, 77},
    {8, 1.5, 81},  {9.5, .5, 79}, {10, 1, 77},   {11, 1, 72},   {12, 2, 77},   {14, 2, 76},   {16, 1.5, 76},
    {17.5, .5, 74}, {18, 1, 72},  {19, 1, 67},   {20, 1.5, 72}, {21.5, .5, 74}, {22, 2, 76},  {24, 1, 80},
    {25, 1, 83},   {26, 2, 76},   {28, 1, 74},   {29, 1, 72},   {30, 2, 71}};

Section SectionOf(int p)
{
  //            kick   clap   hats   open   bass   roll   stabs  pad    arp    lead  prog
  if (p <= 1)
    return {false, false, false, false, false, false, false, true, p == 1, false, p == 1 ? 2 : 0};
  if (p == 2)
    return {true, false, true, false, true, false, false, true, true, false, 0};
  if (p <= 4)
    return {true, true, true, false, true, false, false, true, false, false, 2};
  if (p <= 8)
    return {true, true, true, true, true, false, true, true, false, false, 0};
  if (p <= 12)
    return {true, true, true, false, true, true, false, true, true, false, 0};
  if (p <= 16)
    return {true, true, true, true, true, true, false, true, true, true, 0};
  if (p <= 24)
    return {true, true, true, true, true, true, true, true, false, true, 1};
  if (p <= 27)
    return {false, false, false, false, false, false, false, true, true, false, 2};
  if (p <= 31)
    return {true, p >= 30, true, false, true, false, false, true, true, false, 0};
  if (p <= 36)
    return {true, true, true, true, true, true, true, true, true, false, 1};
  if (p <= 40)
    return {true, true, true, true, true, true, false, true, true, true, 0};
  if (p <= 46)
    return {true, p % 2 == 0, true, false, true, false, false, true, true, true, 2};
  if (p <= 54)
    return {true, true, true, true, true, true, true, true, true, true, 0};
  return {p == 55, false, p == 55, false, p == 55, false, false, true, false, false, 0};
}

// White flashes as global beats: pattern starts, and the ones inside patterns.
std::vector<double> FlashBeats()
{
  std::vector<double> beats = {PatternBeat(2) + 4.0};
  for (int p : {5, 9, 13, 17, 19, 20, 21, 22, 23, 25, 28, 30, 37, 41, 45, 47, 49, 51, 53, 54, 55})
    beats.push_back(PatternBeat(p));
  beats.push_back(PatternBeat(31) + 4.0);
  beats.push_back(PatternBeat(36) + 4.0);
  for (double b : {4.0, 4.75, 5.5})
    beats.push_back(PatternBeat(40) + b);
  std::sort(beats.begin(), beats.end());
  return beats;
}

struct Mix {
  Bus drums, music, send, echo;
  explicit Mix(size_t n) : drums(n), music(n), send(n), echo(n) {}
};

void Arrange(Mix &mix, std::vector<int64_t> &kicks)
{
  const size_t total = mix.drums.Size();
  const auto live = [&](double b) { return BeatSample(b) < (int64_t)total; };
  uint32_t seed = 1;

  for (int p = 0; p <= 56; ++p) {
    const Section s = SectionOf(p);
    const double start = PatternBeat(p);
    const double beats = PatternBeat(p + 1) - start;
    if (!live(start))
      break;
    const int chordIndex = p <= 2 ? 0 : p <= 4 ? (p - 3) * 2 : (p - 5) % 4;
    const std::array<ChordDef, 4> &prog = kProgs[(size_t)s.prog];
    const bool breakHalf = p == 31 || p == 36;  // build in the first half, the flash drops it
    const bool stabBreak = p == 40;             // beats 4, 4.75, 5.5 are the three flash stabs
    const bool outro = p >= 55;

    // Harmony: one chord per pattern, two in the intro's second pattern and in the
    // slow patterns (their 16 beats hold two chords each).
    const int chordsHere = p == 1 || p == 3 || p == 4 ? 2 : 1;
    for (int c = 0; c < chordsHere; ++c) {
      const ChordDef &chord = prog[(size_t)((chordIndex + c) % 4)];
      const double cb = start + beats * c / chordsHere;
      const double cl = beats / chordsHere;
      std::vector<double> notes(chord.notes.begin(), chord.notes.end());
      if (s.pad) {
        const double attack = p <= 1 ? 1.5 : 0.25;
        const double cutoff = p == 0 ? 500.0 : p <= 4 ? 1600.0 : (p >= 25 && p <= 27) ? 1300.0 : 2800.0;
        const double g = outro ? 0.34 : p <= 1 ? 0.30 : 0.22;
        std::vector<double> padNotes = notes;
        padNotes.push_back(chord.root + 12.0);
        const int64_t len = BeatSample(cb + cl) - BeatSample(cb);
        double release = 0.3;
        int64_t padLen = len;
        if (p == 56) {  // the last chord rings out and is gone by the end of the show
          padLen = MsToSample(kEndMs - 2500.0) - BeatSample(cb);
          release = 2.4;
        }
        Chord(mix.music, BeatSample(cb), padLen, padNotes, g, attack, release, cutoff, 0.0, 0.0);
        Chord(mix.send, BeatSample(cb), padLen, padNotes, g * 0.6, attack, release, cutoff, 0.0, 0.0);
      }
      if (p == 0)  // the intro opens up: second half of pattern 0 gets a brighter layer
        Chord(mix.music, BeatSample(start + 8), BeatSample(start + 16) - BeatSample(start + 8), notes, 0.10, 2.0,
              0.5, 2500.0, 0.0, 0.0);
    }

    for (int bi = 0; bi < (int)beats; ++bi) {
      const double b = start + bi;
      const int chordNo = (chordIndex + (chordsHere == 2 && bi >= (int)beats / 2 ? 1 : 0)) % 4;
      const ChordDef &chord = prog[(size_t)chordNo];
      const bool muted = (breakHalf && bi < 4) || (stabBreak && bi >= 4 && bi < 7);
      const bool slow = p == 3 || p == 4;

      // Drums.
      if (s.kick && !muted) {
        // The slow patterns keep a half-time feel: kick on 1 and 3, plus a push on the
        // last beat of each bar of the second slow pattern.
        const bool play = !slow || bi % 2 == 0 || (p == 4 && bi % 4 == 3);
        if (play) {
          const double g = p == 2 ? 0.55 + 0.05 * bi : outro ? 0.8 : 0.95;
          Kick(mix.drums, BeatSample(b), g);
          kicks.push_back(BeatSample(b));
        }
      }
      if (s.clap && !muted) {
        if (slow ? bi % 4 == 2 : bi % 2 == 1) {
          Clap(mix.drums, BeatSample(b), 0.5, seed++);
          Clap(mix.send, BeatSample(b), 0.6, seed++);
        }
      }
      if (s.hats && !muted) {
        for (int q = 0; q < 4; ++q) {
          const double hb = b + q * 0.25;
          if (q == 2) {
            if (s.openHats)
              Hat(mix.drums, BeatSample(hb), 0.36, 0.07, 0.2, seed++);
            else
              Hat(mix.drums, BeatSample(hb), 0.40, 0.025, 0.2, seed++);
          } else if (p >= 9 && p != 2 && !slow && q != 0) {
            Hat(mix.drums, BeatSample(hb), 0.15, 0.015, -0.3, seed++);
          }
        }
      }
      if (breakHalf && bi < 4) {  // snare roll building to the flash
        const int hits = 4 << (bi / 2);
        for (int h = 0; h < hits; ++h) {
          const double x = (bi + (double)h / hits) / 4.0;
          Snare(mix.drums, BeatSample(b + (double)h / hits), 0.15 + 0.35 * x, seed++);
        }
      }

      // Bass.
      if (s.bass && !muted && !(p == 55 && bi >= 6)) {
        const double bright = p == 2 ? 0.2 : 0.6;
        const double g = 0.38;
        if (slow) {
          // Long notes on the half-time groove.
          if (bi % 2 == 0)
            Bass(mix.music, BeatSample(b), BeatSample(b + 1.5) - BeatSample(b), chord.root, g, 0.4);
        } else if (s.rollingBass) {
          for (int q = 1; q < 4; ++q) {
            const double nb = b + q * 0.25;
            const int oct = q == 2 ? 12 : 0;
            Bass(mix.music, BeatSample(nb), BeatSample(nb + 0.2) - BeatSample(nb), chord.root + oct, g * 0.85, bright);
          }
        } else {
          const double nb = b + 0.5;
          Bass(mix.music, BeatSample(nb), BeatSample(nb + 0.4) - BeatSample(nb), chord.root, g, bright);
        }
      }

      // Stabs on the off-beats.
      if (s.stabs && !muted && bi % 2 == 1) {
        std::vector<double> notes(chord.notes.begin(), chord.notes.end());
        const double nb = b + 0.5;
        Chord(mix.music, BeatSample(nb), BeatSample(nb + 0.25) - BeatSample(nb), notes, 0.16, 0.002, 0.08, 2400.0,
              3.0, 8.0);
        Chord(mix.echo, BeatSample(nb), BeatSample(nb + 0.25) - BeatSample(nb), notes, 0.08, 0.002, 0.08, 2400.0,
              3.0, 8.0);
      }

      // Arpeggio: chord tones up over two octaves in sixteenths.
      if (s.arp && !(stabBreak && bi >= 4 && bi < 7)) {
        const int steps = p <= 2 || slow ? 2 : 4;
        for (int q = 0; q < steps; ++q) {
          const int idx = (bi * steps + q) % 8;
          const int note = chord.notes[(size_t)(idx % 4)] + (idx >= 4 ? 12 : 0);
          const double nb = b + (double)q / steps;
          const double pan = (idx % 2) ? 0.45 : -0.45;
          const double g = p <= 1 ? 0.05 + 0.05 * (bi / 16.0) : (p >= 25 && p <= 27) ? 0.10 : 0.085;
          const double bright = (p >= 25 && p <= 27) ? 0.3 + 0.7 * ((p - 25) * 8 + bi) / 24.0 : 0.9;
          Pluck(mix.music, BeatSample(nb), note, g, pan, bright);
          Pluck(mix.echo, BeatSample(nb), note, g * 0.7, pan, bright);
        }
      }
    }

    // Lead melody over the progression (32 beats = 4 patterns).
    if (s.lead) {
      const std::vector<Note> &mel = s.prog == 1 ? kMelodyB : kMelodyA;
      const double off = (double)(chordIndex * 8);
      const int shift = p >= 47 ? 12 : 0;
      for (const Note &n : mel) {
        if (n.beat < off || n.beat >= off + 8.0)
          continue;
        const double nb = start + n.beat - off;
        if (stabBreak && nb >= start + 4 && nb < start + 7)
          continue;
        const int64_t at = BeatSample(nb), len = BeatSample(nb + n.len) - at;
        Lead(mix.music, at, len, n.note + shift, p >= 47 ? 0.11 : 0.13);
        Lead(mix.echo, at, len, n.note + shift, 0.06);
        Lead(mix.send, at, len, n.note + shift, 0.08);
      }
    }
  }

  // The three stabs of pattern 40 hit with the full chord.
  for (double b : {4.0, 4.75, 5.5}) {
    const double nb = PatternBeat(40) + b;
    const ChordDef &chord = kProgs[0][3];
    std::vector<double> notes(chord.notes.begin(), chord.notes.end());
    notes.push_back(chord.root + 24.0);
    Chord(mix.music, BeatSample(nb), MsToSample(250.0), notes, 0.30, 0.001, 0.15, 2500.0, 2.0, 5.0);
    Chord(mix.send, BeatSample(nb), MsToSample(250.0), notes, 0.2, 0.001, 0.15, 2500.0, 2.0, 5.0);
    Bass(mix.music, BeatSample(nb), MsToSample(250.0), chord.root, 0.4, 0.8);
  }

  // Risers into the drops.
  Riser(mix.drums, BeatSample(PatternBeat(4)), BeatSample(PatternBeat(5)), 0.35, 901);
  Riser(mix.drums, BeatSample(PatternBeat(27)), BeatSample(PatternBeat(28)), 0.3, 902);
  Riser(mix.drums, BeatSample(PatternBeat(31)), BeatSample(PatternBeat(31) + 4.0), 0.3, 903);
  Riser(mix.drums, BeatSample(PatternBeat(36)), BeatSample(PatternBeat(36) + 4.0), 0.3, 904);
  Riser(mix.drums, BeatSample(PatternBeat(46)), BeatSample(PatternBeat(47)), 0.3, 905);
  Riser(mix.drums, BeatSample(PatternBeat(1) + 8.0), BeatSample(PatternBeat(2)), 0.22, 906);

  // Accents on every white flash.
  for (double fb : FlashBeats()) {
    if (!live(fb))
      continue;
    const int64_t at = BeatSample(fb);
    Crash(mix.drums, at, 0.20, seed++);
    Crash(mix.send, at, 0.15, seed++);
    Impact(mix.drums, at, 0.45, seed++);
  }
  // The final hit of the end part.
  const int64_t endHit = BeatSample(PatternBeat(56));
  if (endHit < (int64_t)total) {
    Impact(mix.drums, endHit, 0.6, 999);
    Crash(mix.drums, endHit, 0.25, 998);
    Kick(mix.drums, endHit, 0.9);
    kicks.push_back(endHit);
  }
}

// Ducks the music bus after every kick so the low end stays clean.
void Sidechain(Bus &bus, const std::vector<int64_t> &kicks)
{
  std::vector<float> gain(bus.Size(), 1.0f);
  for (int64_t k : kicks) {
    const int n = kRate * 30 / 100;
    for (int i = 0; i < n; ++i) {
      const int64_t at = k + i;
      if (at < 0 || (size_t)at >= gain.size())
        break;
      const double t = (double)i / kRate;
      const double g = 1.0 - 0.65 * std::exp(-t * 12.0) * std::min(1.0, t * 1000.0 + 0.3);
      gain[(size_t)at] = std::min(gain[(size_t)at], (float)g);
    }
  }
  for (size_t i = 0; i < bus.Size(); ++i) {
    bus.l[i] *= gain[i];
    bus.r[i] *= gain[i];
  }
}

// Sums the buses, applies the master fade and levels to -1 dBFS peak.
void Master(Mix &mix, std::vector<float> &outL, std::vector<float> &outR)
{
  const size_t n = mix.drums.Size();
  Bus wet(n);
  Reverb(mix.send, wet, 1.0);
  PingPong(mix.echo, wet, (int)MsToSample(kSeg2Beat * 0.75), 0.45, 0.8);
  outL.assign(n, 0.0f);
  outR.assign(n, 0.0f);
  const int64_t fadeFrom = MsToSample(kEndMs - 1500.0), fadeTo = MsToSample(kEndMs - 50.0);
  Svf hl, hr;  // removes sub-sonic rumble
  double peak = 0.0;
  for (size_t i = 0; i < n; ++i) {
    double l = mix.drums.l[i] + mix.music.l[i] + wet.l[i];
    double r = mix.drums.r[i] + mix.music.r[i] + wet.r[i];
    hl.Run(l, 24.0, 0.7);
    hr.Run(r, 24.0, 0.7);
    l = hl.hp;
    r = hr.hp;
    double fade = 1.0;
    if ((int64_t)i >= fadeTo)
      fade = 0.0;
    else if ((int64_t)i > fadeFrom)
      fade = std::pow(1.0 - (double)((int64_t)i - fadeFrom) / (double)(fadeTo - fadeFrom), 2.0);
    outL[i] = (float)(l * fade);
    outR[i] = (float)(r * fade);
    peak = std::max(peak, std::max(std::fabs(l), std::fabs(r)));
  }
  // Gentle saturation above 0.6 of the peak keeps the transients from dictating
  // the level, then the whole piece is scaled so its peak sits at -1 dBFS.
  const double knee = 0.6;
  auto shape = [&](double x) {
    const double a = std::fabs(x) / peak;
    if (a <= knee)
      return x / peak;
    const double over = (a - knee) / (1.0 - knee);
    const double y = knee + (1.0 - knee) * std::tanh(over * 1.3) / std::tanh(1.3);
    return std::copysign(y, x);
  };
  const double target = std::pow(10.0, -1.0 / 20.0);
  for (size_t i = 0; i < n; ++i) {
    outL[i] = (float)(shape(outL[i]) * target);
    outR[i] = (float)(shape(outR[i]) * target);
  }
}

int Encode(const char *path, const std::vector<float> &l, const std::vector<float> &r)
{
  FILE *out = std::fopen(path, "wb");
  if (!out)
    return std::fprintf(stderr, "korv-soundtrack: cannot write %s\n", path), -1;
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, 2, kRate, 0.4f) != 0) {
    std::fclose(out);
    vorbis_info_clear(&vi);
    return std::fprintf(stderr, "korv-soundtrack: encoder refused the settings\n"), -1;
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_comment_add_tag(&vc, "TITLE", "korvadyne");
  vorbis_comment_add_tag(&vc, "ARTIST", "tarvo");
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, kSerial);
  ogg_packet header, comments, codebooks;
  vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &comments);
  ogg_stream_packetin(&os, &codebooks);
  ogg_page page;
  bool ok = true;
  while (ogg_stream_flush(&os, &page) != 0)
    ok = ok && std::fwrite(page.header, 1, (size_t)page.header_len, out) == (size_t)page.header_len &&
         std::fwrite(page.body, 1, (size_t)page.body_len, out) == (size_t)page.body_len;

  constexpr size_t kChunk = 4096;
  size_t pos = 0;
  bool eos = false;
  while (!eos && ok) {
    const size_t n = std::min(kChunk, l.size() - pos);
    if (n == 0) {
      vorbis_analysis_wrote(&vd, 0);
    } else {
      float **buf = vorbis_analysis_buffer(&vd, (int)n);
      std::copy(l.begin() + (ptrdiff_t)pos, l.begin() + (ptrdiff_t)(pos + n), buf[0]);
      std::copy(r.begin() + (ptrdiff_t)pos, r.begin() + (ptrdiff_t)(pos + n), buf[1]);
      vorbis_analysis_wrote(&vd, (int)n);
      pos += n;
    }
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&vd, &packet)) {
        ogg_stream_packetin(&os, &packet);
        while (!eos && ogg_stream_pageout(&os, &page) != 0) {
          ok = ok && std::fwrite(page.header, 1, (size_t)page.header_len, out) == (size_t)page.header_len &&
               std::fwrite(page.body, 1, (size_t)page.body_len, out) == (size_t)page.body_len;
          if (ogg_page_eos(&page))
            eos = true;
        }
      }
    }
  }
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  ok = std::fclose(out) == 0 && ok;
  if (!ok)
    return std::fprintf(stderr, "korv-soundtrack: write error on %s\n", path), -1;
  return 0;
}

}  // namespace

int main(int argc, char **argv)
{
  if (argc < 2 || argc > 3)
    return std::fprintf(stderr, "usage: korv-soundtrack <output.ogg> [seconds]\n"), 2;
  double lengthMs = kLengthMs;
  if (argc == 3) {
    const double s = std::atof(argv[2]);
    if (!(s > 0.0) || s * 1000.0 > kLengthMs)
      return std::fprintf(stderr, "korv-soundtrack: seconds must be in (0, %.1f]\n", kLengthMs / 1000.0), 2;
    lengthMs = s * 1000.0;
  }
  const size_t n = (size_t)MsToSample(lengthMs);
  Mix mix(n);
  std::vector<int64_t> kicks;
  Arrange(mix, kicks);
  Sidechain(mix.music, kicks);
  Sidechain(mix.send, kicks);
  std::vector<float> l, r;
  Master(mix, l, r);
  return Encode(argv[1], l, r) == 0 ? 0 : 1;
}
