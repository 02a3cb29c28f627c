// The show's music calls: start and stop around the sound system, the seek keys that
// move the music with the timeline, and the two fatal messages when sound or music
// cannot be had.
#include <AL/alc.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "base/time.h"
#include "media/window/WM.h"
#include "presentation/music.h"
#include "presentation/show.h"
#include "presentation/window.h"
#include "tests/common/still_clock.h"
#include "tests/media/sound_fixtures.h"

namespace sound {
namespace {

using SoundMusic = SoundTest;

TEST_F(SoundMusic, StartPlaysAndStopReleasesEverything)
{
  UseNullOutput();
  const std::string clip = Clip("music.ogg", 2, 44100, 3 * 44100);
  const std::set<std::string> before = LiveThreads();
  MusicStart(clip.c_str());
  ASSERT_NE(MusicHandle, nullptr);
  EXPECT_EQ(TSS_GetMusicState(MusicHandle), TSS_PLAYING);
  EXPECT_EQ(TSS_SeekMusicMs(MusicHandle, 0), 0);  // what Home does
  // What the start made: the music's player and the sound device's own threads.
  std::set<std::string> started;
  std::ranges::set_difference(LiveThreads(), before, std::inserter(started, started.end()));
  EXPECT_EQ(PlayerThreads(MusicHandle->thread), 1);
  EXPECT_GE(started.size(), 2u);
  MusicStop();
  EXPECT_EQ(MusicHandle, nullptr);
  EXPECT_EQ(alcGetCurrentContext(), nullptr);
  std::vector<std::string> left;
  std::ranges::set_intersection(LiveThreads(), started, std::back_inserter(left));
  EXPECT_EQ(left, std::vector<std::string>{}) << "threads the start made are still running";
}

// True once the music's decoder is at ms or up to a second past it: the player takes
// a seek when it next refills a buffer, and then reads its queue ahead.
bool MusicReaches(int32_t ms)
{
  for (int i = 0; i < 300; i++) {
    const int32_t at = TSS_TellMusicMs(MusicHandle);
    if (at >= ms && at <= ms + 1000)
      return true;
    SYS_Sleep(10);
  }
  return false;
}

// Right, Left, Page Down and Page Up seek the music to the timer's new value, Home to
// its start. Each target lies seconds away from where the music was, so a key that
// leaves the music alone is seen.
TEST_F(SoundMusic, SeekKeysMoveTheMusicWithTheTimer)
{
  UseNullOutput();
  const std::string clip = Clip("music.ogg", 2, 44100, 20 * 44100);
  CfgNoSound = 0;
  MusicStart(clip.c_str());
  ASSERT_NE(MusicHandle, nullptr);
  struct Case {
    const char *name;
    int32_t key, from, expected;
  } cases[] = {
      {"Page Down", WM_KEYCODE_PAGEDOWN, 500, 8000},  {"Left", WM_KEYCODE_LEFT, 5000, 4000},
      {"Right", WM_KEYCODE_RIGHT, 11000, 12000},      {"Page Up", WM_KEYCODE_PAGEUP, 10000, 2500},
      {"Right", WM_KEYCODE_RIGHT, 12500, 13500},      {"Home", WM_KEYCODE_HOME, 9000, 0},
      {"Page Down", WM_KEYCODE_PAGEDOWN, 7000, 14500}, {"Left past 0", WM_KEYCODE_LEFT, 500, 0},
  };
  for (const Case &c : cases) {
    const StillClock still;
    SYS_TimerReset();
    SYS_TimerSetAdjust(-c.from);
    ShowSeekKey(c.key);
    EXPECT_EQ(SYS_TimerGet(), c.expected) << c.name;
    EXPECT_TRUE(MusicReaches(c.expected)) << c.name << ": the music is at " << TSS_TellMusicMs(MusicHandle)
                                          << " ms, not " << c.expected;
  }
  MusicStop();
}

TEST_F(SoundMusic, FailuresAreFatalWithTheirMessages)
{
  const std::string garbage = dir + "/garbage.ogg";
  WriteFile(garbage, std::string(4096, 'x'));
  // Each child starts afresh, so that OpenAL Soft reads the configuration it is given
  // here and not the one an earlier test of this process had it read. GoogleTest
  // puts every flag back when a test ends, so the later tests keep their own style.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("ALSOFT_DRIVERS", "no-such-backend", 1);
        MusicStart(garbage.c_str());
      },
      testing::ExitedWithCode(1), "Unable to initialise sound system\\.");
  EXPECT_EXIT(
      {
        UseNullOutput();
        MusicStart(garbage.c_str());
      },
      testing::ExitedWithCode(1), "Unable to load music\\.");
}

}  // namespace
}  // namespace sound
