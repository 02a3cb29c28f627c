// The soundtrack as built: its format and length, kicks on the tempo map's beat
// grid, no clipping, silence after the end, and the same bytes on every build.
#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;

// The timeline in ms of a global beat: 16 beats in each of patterns 0 and 1,
// 8 in pattern 2, 500 ms beats in patterns 3 and 4, then 444.375 ms.
double BeatMs(double b)
{
  if (b < 32)
    return b * 7111.0 / 16.0;
  if (b < 40)
    return 14222.0 + (b - 32) * 3555.0 / 8.0;
  if (b < 56)
    return 17777.0 + (b - 40) * 500.0;
  return 25777.0 + (b - 56) * 3555.0 / 8.0;
}

std::string ReadFile(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Decoded {
  int channels = 0;
  long rate = 0;
  std::vector<float> mono;
  int peak = 0;
  double tailEnergy = 0.0, endingEnergy = 0.0;
};

class Soundtrack : public ::testing::Test {
 protected:
  static Decoded *track;
  static void SetUpTestSuite()
  {
    track = new Decoded;
    const char *bin = std::getenv("KORV_BINARY_DIR");
    const std::string path = std::string(bin ? bin : KORV_TEST_BINARY_DIR) + "/content/music.ogg";
    OggVorbis_File vf;
    if (ov_fopen(path.c_str(), &vf) != 0)
      return;
    track->channels = ov_info(&vf, -1)->channels;
    track->rate = ov_info(&vf, -1)->rate;
    char buf[16384];
    long frame = 0;
    for (;;) {
      const long n = ov_read(&vf, buf, sizeof buf, 0, 2, 1, nullptr);
      if (n <= 0)
        break;
      const int16_t *s = reinterpret_cast<const int16_t *>(buf);
      for (long i = 0; i + 1 < n / 2; i += 2, ++frame) {
        track->peak = std::max({track->peak, std::abs((int)s[i]), std::abs((int)s[i + 1])});
        const double e = (double)s[i] * s[i] + (double)s[i + 1] * s[i + 1];
        if (frame > 210700L * kRate / 1000)
          track->tailEnergy += e;
        else if (frame > 208000L * kRate / 1000 && frame < 209000L * kRate / 1000)
          track->endingEnergy += e;
        track->mono.push_back((float)(s[i] + s[i + 1]) / 65536.0f);
      }
    }
    ov_clear(&vf);
  }
  static void TearDownTestSuite() { delete track; }
};
Decoded *Soundtrack::track = nullptr;

TEST_F(Soundtrack, FormatLengthLevelsAndEnding)
{
  ASSERT_EQ(track->channels, 2);
  EXPECT_EQ(track->rate, kRate);
  EXPECT_GE((double)track->mono.size() / kRate, 211.0);
  EXPECT_LT(track->peak, 32767);  // never at full scale
  EXPECT_GT(track->peak, 16384);  // but not timid either
  EXPECT_GT(track->endingEnergy, 0.0);  // still sounding in the last seconds
  EXPECT_EQ(track->tailEnergy, 0.0);   // and silent once the show has ended
}

// Kicks are found by a matched filter on the low band: the normalised correlation
// with the kick's body (a sine falling from 160 Hz to 48 Hz), on a signal
// decimated to 2756 Hz. Every strong match must sit on a beat of the tempo map.
TEST_F(Soundtrack, KicksFallOnTheBeatGrid)
{
  const std::vector<float> &m = track->mono;
  ASSERT_GT(m.size(), (size_t)kRate);
  constexpr int kDecimate = 16;
  const double fs = (double)kRate / kDecimate;
  // Zero-phase low-pass (two one-poles each way at 250 Hz), then decimation.
  std::vector<float> y(m);
  const double a = std::exp(-2.0 * M_PI * 250.0 / kRate);
  for (int dir = 0; dir < 2; ++dir) {
    double s1 = 0, s2 = 0;
    for (size_t k = 0; k < y.size(); ++k) {
      const size_t i = dir ? y.size() - 1 - k : k;
      s1 = y[i] + (s1 - y[i]) * a;
      s2 = s1 + (s2 - s1) * a;
      y[i] = (float)s2;
    }
  }
  std::vector<double> d;
  for (size_t i = 0; i < y.size(); i += kDecimate)
    d.push_back(y[i]);
  const int len = (int)(0.08 * fs);
  std::vector<double> tpl((size_t)len);
  double tplEnergy = 0.0;
  for (int i = 0; i < len; ++i) {
    const double t = i / fs;
    tpl[(size_t)i] = std::sin(2.0 * M_PI * (48.0 * t + 112.0 * (1.0 - std::exp(-28.0 * t)) / 28.0)) * std::exp(-7.0 * t);
    tplEnergy += tpl[(size_t)i] * tpl[(size_t)i];
  }
  std::vector<double> energy(d.size() + 1, 0.0);
  for (size_t i = 0; i < d.size(); ++i)
    energy[i + 1] = energy[i] + d[i] * d[i];
  std::vector<double> ncc(d.size(), 0.0);
  for (size_t i = 0; i + (size_t)len < d.size(); ++i) {
    double c = 0.0;
    for (int k = 0; k < len; ++k)
      c += d[i + (size_t)k] * tpl[(size_t)k];
    const double e = energy[i + (size_t)len] - energy[i];
    ncc[i] = e > 1e-9 ? c / std::sqrt(e * tplEnergy) : 0.0;
  }
  std::vector<double> grid;
  for (int b = 0; b <= 472; ++b)
    grid.push_back(BeatMs(b));
  const int window = (int)(0.1 * fs);
  int kicks = 0, slowKicks = 0;
  double worst = 0.0;
  for (size_t i = 1; i + 1 < ncc.size(); ++i) {
    if (ncc[i] < 0.7)
      continue;
    bool peak = true;
    for (int k = -window; k <= window && peak; ++k) {
      const long j = (long)i + k;
      if (j >= 0 && j < (long)ncc.size() && ncc[(size_t)j] > ncc[i])
        peak = false;
    }
    if (!peak)
      continue;
    const double p = (ncc[i - 1] - ncc[i + 1]) / (2.0 * (ncc[i - 1] - 2.0 * ncc[i] + ncc[i + 1]));
    const double ms = ((double)i + p) * 1000.0 / fs;
    double off = 1e9;
    for (double g : grid)
      if (std::fabs(ms - g) < std::fabs(off))
        off = ms - g;
    EXPECT_LE(std::fabs(off), 3.0) << "kick at " << ms << " ms";
    worst = std::max(worst, std::fabs(off));
    ++kicks;
    if (ms > 17777.0 && ms < 25777.0)
      ++slowKicks;
  }
  EXPECT_GE(kicks, 350);     // four to the floor through most of the show
  EXPECT_GE(slowKicks, 8);   // and on the 500 ms grid of patterns 3 and 4
  RecordProperty("kicks", kicks);
  RecordProperty("worst_offset_us", (int)(worst * 1000.0));
}

TEST(SoundtrackTool, SameBytesOnEveryRun)
{
  const std::string dir = std::filesystem::temp_directory_path() / ("korv-st-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string a = dir + "/a.ogg", b = dir + "/b.ogg";
  for (const std::string &out : {a, b})
    ASSERT_EQ(std::system((std::string(KORV_SOUNDTRACK_TOOL) + " " + out + " 8").c_str()), 0);
  const std::string da = ReadFile(a), db = ReadFile(b);
  EXPECT_GT(da.size(), 10000u);
  EXPECT_EQ(da, db);
  std::filesystem::remove_all(dir);
}

}  // namespace
