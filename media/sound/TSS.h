// Sound system and streamed music.
//
// One OpenAL device and context per process (TSS_Init, TSS_Done) and music
// handles: an Ogg Vorbis stream opened through the file layer, decoded on a
// player thread of its own ("TSS Music Player") into four 32 KB buffers that
// cycle through one OpenAL source. The caller's thread starts, stops, pauses
// and seeks; seeks are posted and applied by the player at its next refill, so
// they are heard after the buffers already queued (about 0.74 s of 44.1 kHz
// stereo).
// Depends on: base (thread, time, file, mem, log), media/sound/Vorbis, OpenAL.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/thread.h"
#include "media/sound/Vorbis.h"

extern "C" {

enum { TSS_MUSIC_BUFFERS = 4, TSS_MUSIC_BUFFER_BYTES = 0x8000 };
enum { TSS_STOPPED = 0, TSS_PLAYING = 1, TSS_PAUSED = 2, TSS_ENDED = 3 };
enum { TSS_KIND_FILE = 0 };

typedef struct TSS_Music_t TSS_Music_t, *TSS_Music_p;
typedef int32_t (*TSS_MusicFill_t)(TSS_Music_p music, uint32_t buffer);

struct TSS_Music_t {
  char *name;
  uint32_t buffers[TSS_MUSIC_BUFFERS];
  uint32_t source;
  std::atomic<int32_t> state;
  int32_t kind;
  int32_t format;  // AL_FORMAT_MONO16 or AL_FORMAT_STEREO16
  std::atomic<int32_t> loop;
  TSS_MusicFill_t fill;
  Vorbis_p stream;
  // A posted seek: bit 32 set = pending, low 32 bits the position. One word, so
  // posting and taking a request are single atomic operations.
  std::atomic<uint64_t> pendingBytes;
  std::atomic<uint64_t> pendingMs;
  SYS_Thread_p thread;       // written by the caller's thread only
  SYS_Thread_Mutex_p mutex;  // state changes and the decoder
};

// mode: low byte the rate (1 11025, 2 22050, 3 44100, 4 48000, 5 88200,
// 6 96000 Hz), high byte 1 = one mono source, 2 = one stereo source. -1 with
// error 10 for a bad mode, 11 when no device or context can be had.
int TSS_Init(int32_t mode);
int TSS_Done(void);

// kind 0 (file stream) only; fromMemory must be 0 (error 16 otherwise).
TSS_Music_p TSS_NewMusic(int32_t kind, const char *fileName, int32_t fromMemory);
int TSS_PlayMusic(TSS_Music_p music);
int TSS_StopMusic(TSS_Music_p music);
int TSS_PauseMusic(TSS_Music_p music);
int TSS_FreeMusic(TSS_Music_p music);
int TSS_SeekMusic(TSS_Music_p music, int32_t bytes);
int TSS_SeekMusicMs(TSS_Music_p music, int32_t ms);
int64_t TSS_TellMusic(TSS_Music_p music);
int32_t TSS_TellMusicMs(TSS_Music_p music);
int32_t TSS_GetMusicState(TSS_Music_p music);
int TSS_SetMusicLoop(TSS_Music_p music, int32_t flag);
int32_t TSS_GetMusicLoop(TSS_Music_p music);
int TSS_SetMusicGain(TSS_Music_p music, float gain);
float TSS_GetMusicGain(TSS_Music_p music);
// Refills one AL buffer from the stream (player thread); bytes placed, 0 at the
// end of a stream that does not loop.
int32_t TSS_MusicFill(TSS_Music_p music, uint32_t buffer);

}  // extern "C"
