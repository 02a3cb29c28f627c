// Playback through the player thread, captured by OpenAL Soft's wave-file writer:
// what was played is compared sample for sample with the decoded stream.
#include <AL/al.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "base/time.h"
#include "tests/media/sound_fixtures.h"

namespace sound {
namespace {

using Clock = std::chrono::steady_clock;

// The 16-bit stereo frames of a wave file, or nothing when it is not one.
std::vector<int16_t> WaveFrames(const std::string &path)
{
  const std::string data = ReadFile(path);
  std::vector<int16_t> pcm;
  if (data.size() < 12 || data.compare(0, 4, "RIFF") != 0 || data.compare(8, 4, "WAVE") != 0)
    return pcm;
  size_t at = 12;
  int channels = 0, bits = 0;
  while (at + 8 <= data.size()) {
    uint32_t size;
    std::memcpy(&size, data.data() + at + 4, 4);
    const std::string id = data.substr(at, 4);
    const size_t body = at + 8;
    if (id == "fmt " && body + 16 <= data.size()) {
      uint16_t c, b;
      std::memcpy(&c, data.data() + body + 2, 2);
      std::memcpy(&b, data.data() + body + 14, 2);
      channels = c;
      bits = b;
    } else if (id == "data") {
      if (channels != 2 || bits != 16)
        return pcm;
      const size_t n = std::min<size_t>(size, data.size() - body) / 2;
      pcm.resize(n);
      std::memcpy(pcm.data(), data.data() + body, n * 2);
      return pcm;
    }
    at = body + size + (size & 1);
  }
  return pcm;
}

// Index of the first frame that is not silent, or -1.
long FirstSound(const std::vector<int16_t> &pcm, size_t from = 0)
{
  for (size_t i = from & ~size_t(1); i + 1 < pcm.size(); i += 2)
    if (pcm[i] != 0 || pcm[i + 1] != 0)
      return (long)(i / 2);
  return -1;
}

// Frames of the capture from frame `at` that equal the reference from `refAt`.
long MatchingFrames(const std::vector<int16_t> &got, long at, const std::vector<int16_t> &ref, long refAt)
{
  long n = 0;
  while ((size_t)(at + n) * 2 + 1 < got.size() && (size_t)(refAt + n) * 2 + 1 < ref.size() &&
         got[(size_t)(at + n) * 2] == ref[(size_t)(refAt + n) * 2] &&
         got[(size_t)(at + n) * 2 + 1] == ref[(size_t)(refAt + n) * 2 + 1])
    ++n;
  return n;
}

class SoundPlay : public SoundTest {
 protected:
  std::string wav;
  void SetUp() override
  {
    SoundTest::SetUp();
    wav = UseWaveOutput();
    ASSERT_FALSE(wav.empty());
    ASSERT_EQ(TSS_Init(0x203), 0);
    ASSERT_TRUE(std::filesystem::exists(wav)) << "the wave writer did not open " << wav;
  }
  void TearDown() override
  {
    TSS_Done();
    SoundTest::TearDown();
  }
  // Closing the device finishes the wave file.
  std::vector<int16_t> Captured()
  {
    TSS_Done();
    return WaveFrames(wav);
  }
  static bool WaitForEnd(TSS_Music_p music, int seconds)
  {
    const auto until = Clock::now() + std::chrono::seconds(seconds);
    while (TSS_GetMusicState(music) != TSS_ENDED && Clock::now() < until)
      SYS_Sleep(10);
    return TSS_GetMusicState(music) == TSS_ENDED;
  }
};

TEST_F(SoundPlay, WholeStreamIsPlayedSampleForSample)
{
  // 1.5 s: eight buffers, so the queue cycles; 0.3 s: shorter than the four buffers.
  for (int frames : {66150, 13230}) {
    SCOPED_TRACE(frames);
    const std::string path = Clip("clip" + std::to_string(frames) + ".ogg", 2, 44100, frames);
    const std::vector<int16_t> ref = DecodeAll(path);
    ASSERT_EQ(ref.size(), (size_t)frames * 2);
    TSS_Music_p music = TSS_NewMusic(0, path.c_str(), 0);
    ASSERT_NE(music, nullptr);
    ASSERT_EQ(TSS_PlayMusic(music), 0);
    EXPECT_EQ(TSS_GetMusicState(music), TSS_PLAYING);
    SYS_Thread_p first = music->thread;
    EXPECT_EQ(TSS_PlayMusic(music), 0);  // already playing: the same thread
    EXPECT_EQ(music->thread, first);
    EXPECT_EQ(PlayerThreads(first), 1);
    ASSERT_TRUE(WaitForEnd(music, 10));
    EXPECT_EQ(TSS_FreeMusic(music), 0);
    EXPECT_EQ(PlayerThreads(), 0);

    const std::vector<int16_t> got = Captured();
    ASSERT_FALSE(got.empty());
    const long start = FirstSound(got), refStart = FirstSound(ref);
    ASSERT_GE(start, 0);
    ASSERT_GE(refStart, 0);
    // Every frame to the last one was heard, and nothing after it.
    EXPECT_EQ(MatchingFrames(got, start, ref, refStart), frames - refStart);
    EXPECT_EQ(FirstSound(got, (size_t)(start + frames - refStart) * 2), -1);
    if (frames != 13230) {
      ASSERT_EQ(TSS_Init(0x203), 0);  // the wave file is rewritten for the next case
    }
  }
}

TEST_F(SoundPlay, SeekTo5sPlaysFrom5sAndStopIsPrompt)
{
  const std::string path = Clip("long.ogg", 2, 44100, 7 * 44100);
  const std::vector<int16_t> ref = DecodeAll(path);
  TSS_Music_p music = TSS_NewMusic(0, path.c_str(), 0);
  ASSERT_NE(music, nullptr);
  ASSERT_EQ(TSS_SeekMusicMs(music, 5000), 0);  // posted before play: applied by the prefill
  ASSERT_EQ(TSS_PlayMusic(music), 0);
  SYS_Sleep(600);
  const auto before = Clock::now();
  ASSERT_EQ(TSS_StopMusic(music), 0);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before).count();
  EXPECT_LT(took, 150);
  EXPECT_EQ(music->thread, nullptr);
  EXPECT_EQ(TSS_GetMusicState(music), TSS_STOPPED);
  EXPECT_EQ(PlayerThreads(), 0);
  TSS_FreeMusic(music);

  const std::vector<int16_t> got = Captured();
  const long start = FirstSound(got);
  ASSERT_GE(start, 0);
  // About 0.6 s was heard, all of it from 5 s on.
  const long matching = MatchingFrames(got, start, ref, 5 * 44100);
  EXPECT_GT(matching, 44100 * 4 / 10);
  EXPECT_LT(matching, 44100);
}

TEST_F(SoundPlay, SourceThatRanDryIsRestarted)
{
  // The fifth refill is held up for longer than the queue lasts, so the source
  // stops on an empty queue; the player must start it again and lose nothing.
  const std::string path = Clip("late.ogg", 2, 44100, 66150);
  const std::vector<int16_t> ref = DecodeAll(path);
  TSS_Music_p music = TSS_NewMusic(0, path.c_str(), 0);
  ASSERT_NE(music, nullptr);
  static int calls;
  calls = 0;
  music->fill = [](TSS_Music_p m, uint32_t buffer) -> int32_t {
    if (++calls == 5)
      SYS_Sleep(1200);
    return TSS_MusicFill(m, buffer);
  };
  ASSERT_EQ(TSS_PlayMusic(music), 0);
  ASSERT_TRUE(WaitForEnd(music, 10));
  TSS_FreeMusic(music);

  const std::vector<int16_t> got = Captured();
  long at = FirstSound(got);
  ASSERT_GE(at, 0);
  const long refStart = FirstSound(ref);
  const long head = MatchingFrames(got, at, ref, refStart);
  EXPECT_EQ(head, 4 * TSS_MUSIC_BUFFER_BYTES / 4 - refStart);  // the prefilled four
  const long resumed = FirstSound(got, (size_t)(at + head) * 2);
  ASSERT_GT(resumed, at + head);  // a gap of silence
  EXPECT_EQ(MatchingFrames(got, resumed, ref, refStart + head), 66150 - refStart - head);
}

TEST_F(SoundPlay, PauseHoldsAndResumes)
{
  const std::string path = Clip("pause.ogg", 2, 44100, 2 * 44100);
  TSS_Music_p music = TSS_NewMusic(0, path.c_str(), 0);
  ASSERT_NE(music, nullptr);
  ASSERT_EQ(TSS_PlayMusic(music), 0);
  SYS_Sleep(300);
  ASSERT_EQ(TSS_PauseMusic(music), 0);
  EXPECT_EQ(TSS_GetMusicState(music), TSS_PAUSED);
  ALint state = 0;
  alGetSourcei(music->source, AL_SOURCE_STATE, &state);
  EXPECT_EQ(state, AL_PAUSED);
  SYS_Sleep(2500);  // longer than the clip: paused, it cannot end
  EXPECT_EQ(TSS_GetMusicState(music), TSS_PAUSED);
  ASSERT_EQ(TSS_PauseMusic(music), 0);  // resumes, the state stays "paused"
  alGetSourcei(music->source, AL_SOURCE_STATE, &state);
  EXPECT_EQ(state, AL_PLAYING);
  ASSERT_TRUE(WaitForEnd(music, 10));
  // Played again after its end (from the start, as posted) by one new player.
  EXPECT_EQ(PlayerThreads(), 0);
  ASSERT_EQ(TSS_SeekMusicMs(music, 0), 0);
  ASSERT_EQ(TSS_PlayMusic(music), 0);
  EXPECT_EQ(PlayerThreads(music->thread), 1);
  SYS_Sleep(200);
  EXPECT_EQ(TSS_GetMusicState(music), TSS_PLAYING);
  EXPECT_GT(TSS_TellMusic(music), 0);
  // Play on a paused handle replaces its player rather than adding one.
  ASSERT_EQ(TSS_PauseMusic(music), 0);
  ASSERT_EQ(TSS_PlayMusic(music), 0);
  EXPECT_EQ(PlayerThreads(music->thread), 1);
  EXPECT_EQ(TSS_GetMusicState(music), TSS_PLAYING);
  ASSERT_EQ(TSS_StopMusic(music), 0);
  EXPECT_EQ(PlayerThreads(), 0);
  TSS_FreeMusic(music);
}

}  // namespace
}  // namespace sound
