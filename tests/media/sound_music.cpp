// The show's music calls: start and stop around the sound system, and the two
// fatal messages when sound or music cannot be had.
#include <AL/alc.h>

#include "presentation/music.h"
#include "tests/media/sound_fixtures.h"

namespace sound {
namespace {

using SoundMusic = SoundTest;

TEST_F(SoundMusic, StartPlaysAndStopReleasesEverything)
{
  UseNullOutput();
  const std::string clip = Clip("music.ogg", 2, 44100, 3 * 44100);
  const int threads = ThreadCount();
  MusicStart(clip.c_str());
  ASSERT_NE(MusicHandle, nullptr);
  EXPECT_EQ(TSS_GetMusicState(MusicHandle), TSS_PLAYING);
  EXPECT_EQ(TSS_SeekMusicMs(MusicHandle, 0), 0);  // what Home does
  MusicStop();
  EXPECT_EQ(MusicHandle, nullptr);
  EXPECT_EQ(alcGetCurrentContext(), nullptr);
  EXPECT_EQ(ThreadCount(), threads);
}

TEST_F(SoundMusic, FailuresAreFatalWithTheirMessages)
{
  const std::string garbage = dir + "/garbage.ogg";
  WriteFile(garbage, std::string(4096, 'x'));
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
