// The show's music: start and stop of the soundtrack stream.
//
// MusicStart opens the sound system (44.1 kHz, one stereo source) and plays the
// named stream from the file layer; the main loop posts its seeks straight to
// MusicHandle with TSS_SeekMusicMs. Failures are fatal for the presentation.
// Depends on: media/sound (TSS), bindings (FatalError).
#pragma once

#include "media/sound/TSS.h"

extern TSS_Music_p MusicHandle;

// "Unable to initialise sound system." or "Unable to load music." on failure.
void MusicStart(const char *fileName);
// Stops and frees the stream and closes the sound system, if open; ExitAndHalt calls
// it too (ExitAndHaltFirst), so no error exit leaves the device open.
void MusicStop(void);
