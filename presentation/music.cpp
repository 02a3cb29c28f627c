// The show's music: start and stop of the soundtrack stream (see music.h).
// Depends on: media/sound (TSS), bindings (FatalError).
#include "presentation/music.h"

#include "presentation/bindings.h"

TSS_Music_p MusicHandle = nullptr;

namespace {
bool SoundOpen = false;
}

void MusicStart(const char *fileName)
{
  if (TSS_Init(0x203) != 0)
    FatalError("Unable to initialise sound system.");
  SoundOpen = true;
  ExitAndHaltFirst = MusicStop;
  // A missing file ends the run inside this call, through the error exit that stops us.
  MusicHandle = TSS_NewMusic(0, fileName, 0);
  if (!MusicHandle)
    FatalError("Unable to load music.");
  TSS_PlayMusic(MusicHandle);
}

// Also the first step of ExitAndHalt while the device is open.
void MusicStop(void)
{
  if (MusicHandle) {
    TSS_StopMusic(MusicHandle);
    TSS_FreeMusic(MusicHandle);
    MusicHandle = nullptr;
  }
  if (SoundOpen)
    TSS_Done();
  SoundOpen = false;
  ExitAndHaltFirst = nullptr;
}
