// Music handles without their thread: the refill, its looping and posted seeks,
// the refusals, and the system's mode checks (OpenAL Soft's null output).
#include <AL/al.h>
#include <AL/alc.h>

#include "base/log.h"
#include "tests/media/sound_fixtures.h"

namespace sound {
namespace {

class SoundFill : public SoundTest {
 protected:
  void SetUp() override
  {
    SoundTest::SetUp();
    UseNullOutput();
    ASSERT_EQ(TSS_Init(0x203), 0);
  }
  void TearDown() override
  {
    TSS_Done();
    SoundTest::TearDown();
  }
  static ALint BufferSize(uint32_t buffer)
  {
    ALint size = -1;
    alGetBufferi(buffer, AL_SIZE, &size);
    return size;
  }
};

constexpr int32_t kFull = TSS_MUSIC_BUFFER_BYTES;

TEST_F(SoundFill, BytesPerFillUntilTheEnd)
{
  struct Case {
    int channels, rate, frames;
    std::vector<int32_t> fills;  // returns of successive refills
    ALenum format;
  };
  const Case cases[] = {
      // 1 s of stereo: 176400 bytes = 5 full buffers and 12560.
      {2, 44100, 44100, {kFull, kFull, kFull, kFull, kFull, 12560, 0, 0}, AL_FORMAT_STEREO16},
      // 0.5 s of mono at 22050 Hz: 22050 bytes.
      {1, 22050, 11025, {22050, 0}, AL_FORMAT_MONO16},
      // Exactly two buffers.
      {2, 44100, 16384, {kFull, kFull, 0}, AL_FORMAT_STEREO16},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.channels << " ch, " << c.frames << " frames");
    TSS_Music_p music = TSS_NewMusic(0, Clip("clip.ogg", c.channels, c.rate, c.frames).c_str(), 0);
    ASSERT_NE(music, nullptr);
    EXPECT_EQ(music->format, c.format);
    EXPECT_EQ(music->fill, &TSS_MusicFill);
    EXPECT_EQ(music->stream->size, (int64_t)c.frames * c.channels * 2);
    int64_t position = 0;
    for (int32_t expected : c.fills) {
      EXPECT_EQ(TSS_MusicFill(music, music->buffers[0]), expected);
      position += expected;
      EXPECT_EQ(TSS_TellMusic(music), position);
      if (expected > 0) {
        EXPECT_EQ(BufferSize(music->buffers[0]), expected);
      }
    }
    EXPECT_EQ(TSS_GetMusicState(music), TSS_STOPPED);
    EXPECT_EQ(TSS_FreeMusic(music), 0);
  }
}

TEST_F(SoundFill, LoopWrapsToTheStartWithoutAnEmptyFill)
{
  TSS_Music_p music = TSS_NewMusic(0, Clip("loop.ogg", 2, 44100, 44100).c_str(), 0);
  ASSERT_NE(music, nullptr);
  EXPECT_EQ(TSS_GetMusicLoop(music), 0);
  ASSERT_EQ(TSS_SetMusicLoop(music, 1), 0);
  EXPECT_EQ(TSS_GetMusicLoop(music), 1);
  const std::vector<int32_t> fills = {kFull, kFull, kFull, kFull, kFull, 12560, kFull, kFull};
  for (int32_t expected : fills)
    EXPECT_EQ(TSS_MusicFill(music, music->buffers[1]), expected);
  EXPECT_EQ(TSS_TellMusic(music), 2 * kFull);  // wrapped once
  TSS_FreeMusic(music);
}

TEST_F(SoundFill, PendingSeeksAreAppliedBytesFirstThenMs)
{
  // 3 s of stereo at 44100 Hz: 176400 bytes a second.
  TSS_Music_p music = TSS_NewMusic(0, Clip("seek.ogg", 2, 44100, 3 * 44100).c_str(), 0);
  ASSERT_NE(music, nullptr);
  struct Step {
    int32_t bytes, ms;  // -1: not posted
    int64_t tellAfter;
  };
  const Step steps[] = {
      {-1, -1, kFull},                  // plain refill
      {176400, -1, 176400 + kFull},     // byte seek alone
      {-1, 2000, 352800 + kFull},       // ms seek alone
      {88200, 1000, 176400 + kFull},    // both: the ms seek is applied last and wins
      {-1, 0, kFull},                   // 0 ms is a real request: back to the start
      {0, -1, kFull},                   // and so is byte 0
      {-1, -1, 2 * kFull},              // requests are taken: the next refill goes on
      {176403, -1, 176400 + kFull},     // a byte position inside a frame rounds down to it
  };
  for (const Step &s : steps) {
    SCOPED_TRACE(testing::Message() << "bytes " << s.bytes << " ms " << s.ms);
    if (s.bytes >= 0) {
      ASSERT_EQ(TSS_SeekMusic(music, s.bytes), 0);
    }
    if (s.ms >= 0) {
      ASSERT_EQ(TSS_SeekMusicMs(music, s.ms), 0);
    }
    EXPECT_EQ(TSS_MusicFill(music, music->buffers[2]), kFull);
    EXPECT_EQ(TSS_TellMusic(music), s.tellAfter);
  }
  EXPECT_EQ(TSS_TellMusicMs(music), (int32_t)((176400 + kFull) / 176.4));
  // A seek past the end is refused by the decoder and leaves the position alone.
  TSS_SeekMusicMs(music, 60000);
  EXPECT_EQ(TSS_MusicFill(music, music->buffers[2]), kFull);
  EXPECT_EQ(TSS_TellMusic(music), 176400 + 2 * kFull);
  TSS_FreeMusic(music);
}

TEST_F(SoundFill, RefusalsLeakNothing)
{
  const std::string three = Clip("three.ogg", 3, 44100, 4410);
  const std::string garbage = dir + "/garbage.ogg";
  WriteFile(garbage, std::string(5000, 'x'));
  const std::string truncated = dir + "/truncated.ogg";
  WriteFile(truncated, ReadFile(Clip("whole.ogg", 2, 44100, 4410)).substr(0, 60));
  const std::string empty = dir + "/empty.ogg";
  WriteFile(empty, "");
  struct Case {
    const char *what;
    int32_t kind;
    std::string name;
    int32_t fromMemory;
    int32_t error;
  };
  const Case cases[] = {
      {"three channels", 0, three, 0, 10},
      {"missing file", 0, dir + "/missing.ogg", 0, 1},
      {"not Vorbis", 0, garbage, 0, 1},
      {"truncated headers", 0, truncated, 0, 1},
      {"empty file", 0, empty, 0, 1},
      {"other kind", 1, three, 0, 10},
      {"from memory", 0, three, 1, 16},
  };
  // Warm up everything that allocates once per process.
  TSS_FreeMusic(TSS_NewMusic(0, Clip("warm.ogg", 2, 44100, 4410).c_str(), 0));
  const int blocks = TrackedBlocks(dir), files = OpenFiles();
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(TSS_NewMusic(c.kind, c.name.c_str(), c.fromMemory), nullptr);
    EXPECT_EQ(errGetLastError(), c.error);
    EXPECT_EQ(TrackedBlocks(dir), blocks);
    EXPECT_EQ(OpenFiles(), files);
  }
  EXPECT_EQ(Vorbis_Open(garbage.c_str()), nullptr);
  EXPECT_EQ(errGetLastError(), 1);
  EXPECT_EQ(TrackedBlocks(dir), blocks);
  EXPECT_EQ(OpenFiles(), files);
}

TEST_F(SoundFill, DamagedStreamsDecodeWhatIsLeftAndEnd)
{
  const std::string whole = ReadFile(Clip("good.ogg", 2, 44100, 2 * 44100));
  ASSERT_GT(whole.size(), 8000u);
  struct Case {
    const char *what;
    std::string data;
  };
  std::string zeroed = whole, scribbled = whole;
  std::fill(zeroed.begin() + 6000, zeroed.begin() + 7000, '\0');
  for (size_t i = whole.size() / 2; i < whole.size(); i += 97)
    scribbled[i] = (char)(scribbled[i] ^ 0x5A);
  const Case cases[] = {
      {"cut in the middle", whole.substr(0, whole.size() / 2)},
      {"a zeroed stretch", zeroed},
      {"scribbled bytes", scribbled},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir + "/damaged.ogg";
    WriteFile(path, c.data);
    TSS_Music_p music = TSS_NewMusic(0, path.c_str(), 0);
    ASSERT_NE(music, nullptr);  // the headers are intact
    int64_t total = 0;
    int fills = 0;
    for (int32_t n; fills < 100 && (n = TSS_MusicFill(music, music->buffers[0])) > 0; ++fills) {
      EXPECT_LE(n, kFull);
      total += n;
    }
    EXPECT_LT(fills, 100);
    EXPECT_GT(total, 0);
    EXPECT_LE(total, 2 * 44100 * 4 + kFull);
    EXPECT_EQ(TSS_FreeMusic(music), 0);
  }
}

TEST_F(SoundFill, NullHandlesAndGainRange)
{
  EXPECT_EQ(TSS_PlayMusic(nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(TSS_GetMusicState(nullptr), -1);
  EXPECT_EQ(TSS_GetMusicLoop(nullptr), -1);
  EXPECT_EQ(TSS_TellMusic(nullptr), -1);
  EXPECT_EQ(TSS_TellMusicMs(nullptr), -1);
  EXPECT_EQ(TSS_GetMusicGain(nullptr), -1.0f);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(TSS_FreeMusic(nullptr), -1);

  TSS_Music_p music = TSS_NewMusic(0, Clip("gain.ogg", 1, 44100, 4410).c_str(), 0);
  ASSERT_NE(music, nullptr);
  // Both ends of the range are gains like any other: each reaches the source, and a
  // refused value leaves it as it was.
  for (float gain : {0.0f, 1.0f, 0.5f}) {
    SCOPED_TRACE(gain);
    EXPECT_EQ(TSS_SetMusicGain(music, gain), 0);
    EXPECT_EQ(TSS_GetMusicGain(music), gain);
    for (float bad : {1.5f, 1.0001f, -0.1f, -0.0001f, NAN}) {
      EXPECT_EQ(TSS_SetMusicGain(music, bad), -1);
      EXPECT_EQ(errGetLastError(), 10);
      EXPECT_EQ(TSS_GetMusicGain(music), gain);
    }
  }
  // Stopping a handle that never played is harmless.
  EXPECT_EQ(TSS_StopMusic(music), 0);
  EXPECT_EQ(TSS_GetMusicState(music), TSS_STOPPED);
  EXPECT_EQ(TSS_FreeMusic(music), 0);
}

TEST_F(SoundFill, ReadAllIsTheWholeStream)
{
  const std::string path = Clip("all.ogg", 2, 44100, 10000);
  Vorbis_p stream = Vorbis_Open(path.c_str());
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(Vorbis_GetSize(stream), 40000);
  int16_t *all = static_cast<int16_t *>(Vorbis_ReadAll(stream));
  ASSERT_NE(all, nullptr);
  EXPECT_EQ(SYS_MemSize(all), 40000);
  const std::vector<int16_t> reference = DecodeAll(path);
  ASSERT_EQ(reference.size(), 20000u);
  EXPECT_TRUE(std::equal(reference.begin(), reference.end(), all));
  SYS_MemFree(&all);
  Vorbis_Close(stream);
}

// Without an open system there are no buffers to stream into.
TEST(SoundSystem, ModesAndMissingSystem)
{
  char name[] = "/tmp/korv-sound-XXXXXX";
  ASSERT_NE(mkdtemp(name), nullptr);
  const std::string dir = name;
  SYS_BaseInit(nullptr, 0, nullptr, nullptr);
  UseNullOutput();
  ASSERT_TRUE(EncodeClip(dir + "/c.ogg", 2, 44100, 4410));
  const int blocks = TrackedBlocks(dir), files = OpenFiles();
  EXPECT_EQ(TSS_NewMusic(0, (dir + "/c.ogg").c_str(), 0), nullptr);
  EXPECT_EQ(errGetLastError(), 11);
  EXPECT_EQ(TrackedBlocks(dir), blocks);
  EXPECT_EQ(OpenFiles(), files);

  for (int32_t bad : {0x303, 0x003, 0x200, 0x207, 0x1FF, 0x10203}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(TSS_Init(bad), -1);
    EXPECT_EQ(errGetLastError(), 10);
    EXPECT_EQ(alcGetCurrentContext(), nullptr);
  }
  for (int32_t good : {0x203, 0x101, 0x204}) {
    SCOPED_TRACE(good);
    ASSERT_EQ(TSS_Init(good), 0);
    EXPECT_NE(alcGetCurrentContext(), nullptr);
    EXPECT_EQ(TSS_Done(), 0);
    EXPECT_EQ(alcGetCurrentContext(), nullptr);
  }
  SYS_BaseDone();
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace sound
