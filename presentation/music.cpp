// The show's music: start and stop of the soundtrack stream (see music.h).
// Depends on: media/sound (TSS), bindings (FatalError).
#include "presentation/music.h"

#include "presentation/bindings.h"

TSS_Music_p MusicHandle = nullptr;

void MusicStart(const char *fileName)
{
  if (TSS_Init(0x203) != 0)
    FatalError("Unable to initialise sound system.");
  MusicHandle = TSS_NewMusic(0, fileName, 0);
  if (!MusicHandle) {
    // The device is open: close it, since no fatal path may leave it behind.
    TSS_Done();
    FatalError("Unable to load music.");
  }
  TSS_PlayMusic(MusicHandle);
}

void MusicStop(void)
{
  if (MusicHandle) {
    TSS_StopMusic(MusicHandle);
    TSS_FreeMusic(MusicHandle);
    MusicHandle = nullptr;
  }
  TSS_Done();
}
