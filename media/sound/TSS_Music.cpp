// Streamed music: handles, the refill and the player thread.
//
// The player keeps four 32 KB buffers cycling through one source: it waits for a
// played buffer, refills it from the decoder (applying any posted seek first) and
// queues it again. At the end of a stream that does not loop it lets the queued
// buffers play out before it reports the end, and a source that ran dry because
// the thread was held up is started again. Seeks, state and loop flag are atomic
// words shared with the caller's thread; the decoder is used under the handle's
// mutex because position queries come from the caller's thread.
// Depends on: base (thread, time, mem, log), media/sound/Vorbis, OpenAL.
#include <AL/al.h>
#include <AL/alext.h>

#include <mutex>

#include "base/log.h"
#include "base/mem.h"
#include "base/time.h"
#include "media/sound/TSS.h"

#define MUS_LOG(fmt, ...) SYS_DbgLevelPrintf(2, "[tss][mus][%s:%d:%s()] " fmt, SYS_POS, ##__VA_ARGS__)

namespace {

constexpr uint64_t kPending = 1ull << 32;
// An idle round of the player: a played buffer holds 186 ms of 44.1 kHz stereo,
// so polling every 10 ms refills in time and notices a stop request promptly.
constexpr uint32_t kIdleSleepMs = 10;

struct HandleLock {
  SYS_Thread_Mutex_p mutex;
  explicit HandleLock(SYS_Thread_Mutex_p m) : mutex(m) { SYS_MutexLock(mutex); }
  ~HandleLock() { SYS_MutexUnlock(mutex); }
  HandleLock(const HandleLock &) = delete;
  HandleLock &operator=(const HandleLock &) = delete;
};

void SetState(TSS_Music_p music, int32_t state)
{
  HandleLock lock(music->mutex);
  music->state.store(state);
}

bool StopAsked(SYS_Thread_p self)
{
  return self->stop.load() != 0 || self->state.load() == SYS_THREAD_STOPPING;
}

ALint SourceInt(ALuint source, ALenum what)
{
  ALint value = 0;
  alGetSourcei(source, what, &value);
  return value;
}

// Stops the source and detaches every buffer, so they can be refilled or deleted.
void ReleaseSource(TSS_Music_p music)
{
  alSourceStop(music->source);
  alSourcei(music->source, AL_BUFFER, 0);
}

// Ends the player thread: stops a running one and waits for it, collects one that
// ended by itself. The caller's thread only.
void JoinPlayer(TSS_Music_p music)
{
  if (music->thread) {
    SYS_ThreadKill(music->thread);
    music->thread = nullptr;
  }
}

uint32_t _TSS_MusicPlayer(void *argument)
{
  const TSS_Music_p music = static_cast<TSS_Music_p>(argument);
  const SYS_Thread_p self = SYS_ThreadSelf();
  MUS_LOG("[_TSS_MusicPlayer] start playing...\n");

  // Buffers not in the source's queue, waiting to be filled.
  ALuint spare[TSS_MUSIC_BUFFERS];
  int spares = 0;
  for (uint32_t name : music->buffers)
    spare[spares++] = name;
  int queued = 0;
  bool ended = false;
  bool prefill = true;
  // The source needs a play call: at the start, and after it ran dry.
  bool idle = true;

  // A stopped source reports every queued buffer as processed and would replay
  // them all from the front, so once it is seen stopped, all it holds has been
  // heard and is taken back before anything new is queued.
  const auto takeBackAll = [&]() {
    if (queued > 0) {
      alSourceUnqueueBuffers(music->source, queued, spare + spares);
      spares += queued;
      queued = 0;
    }
  };

  while (!StopAsked(self)) {
    if (!idle && SourceInt(music->source, AL_SOURCE_STATE) == AL_STOPPED) {
      takeBackAll();
      idle = true;
      if (!ended)
        MUS_LOG("[_TSS_MusicPlayer] restarting after an underrun\n");
    } else if (!idle) {
      const ALint processed = SourceInt(music->source, AL_BUFFERS_PROCESSED);
      if (processed > 0) {
        alSourceUnqueueBuffers(music->source, processed, spare + spares);
        spares += processed;
        queued -= processed;
      }
    }
    if (ended && queued == 0)
      break;  // everything queued has been played out
    if (ended || spares == 0) {
      SYS_Sleep(kIdleSleepMs);
      continue;
    }
    while (spares > 0 && !ended) {
      const ALuint name = spare[--spares];
      if (music->fill(music, name) <= 0) {
        spare[spares++] = name;
        ended = true;
        break;
      }
      if (!idle && SourceInt(music->source, AL_SOURCE_STATE) == AL_STOPPED) {
        takeBackAll();  // ran dry while this buffer was decoded
        idle = true;
        MUS_LOG("[_TSS_MusicPlayer] restarting after an underrun\n");
      }
      alSourceQueueBuffers(music->source, 1, &name);
      ++queued;
    }
    if (prefill) {
      MUS_LOG("[_TSS_MusicPlayer] prefilled buffers: %d\n", queued);
      prefill = false;
    }
    if (idle && queued > 0) {
      alSourcePlay(music->source);
      idle = false;
    }
  }

  ReleaseSource(music);
  SetState(music, TSS_ENDED);
  MUS_LOG("[_TSS_MusicPlayer] stop playing...\n");
  return 0;
}

#define MUS_FAIL(code, result) return errSetLastError(code), result

}  // namespace

extern "C" {

TSS_Music_p TSS_NewMusic(int32_t kind, const char *fileName, int32_t fromMemory)
{
  errClear();
  if (fromMemory) {
    MUS_LOG(" ! Sorry, loading from memory not implemented.\n");
    MUS_FAIL(16, nullptr);
  }
  if (kind != TSS_KIND_FILE || !fileName)
    MUS_FAIL(10, nullptr);
  void *block = SYS_MemGet(sizeof(TSS_Music_t), "new handle");
  char *name = SYS_StrDup(fileName);
  SYS_Thread_Mutex_p mutex = SYS_MutexCreate();
  if (!block || !name || !mutex) {
    SYS_MemFree(&block);
    SYS_MemFree(&name);
    SYS_MutexDestroy(mutex);
    MUS_FAIL(5, nullptr);
  }
  TSS_Music_p music = new (block) TSS_Music_t{};
  music->name = name;
  music->mutex = mutex;
  music->kind = kind;
  music->fill = TSS_MusicFill;

  const auto discard = [&](int32_t code) {
    Vorbis_Close(music->stream);
    SYS_MutexDestroy(music->mutex);
    SYS_MemFree(&music->name);
    music->~TSS_Music_t();
    SYS_MemFree(&music);
    errSetLastError(code);
    return nullptr;
  };

  music->stream = Vorbis_Open(fileName);
  if (!music->stream) {
    const int32_t code = errGetLastError();
    MUS_LOG(" ! error when tried to loading vorbis file: %s -> %d\n", fileName, code);
    return discard(code);
  }
  if (music->stream->channels == 1) {
    music->format = AL_FORMAT_MONO16;
  } else if (music->stream->channels == 2) {
    music->format = AL_FORMAT_STEREO16;
  } else {
    MUS_LOG("[TSS_NewMusic] too many channels (%d)...\n", music->stream->channels);
    return discard(10);
  }

  alGetError();
  alGenBuffers(TSS_MUSIC_BUFFERS, music->buffers);
  if (alGetError() != AL_NO_ERROR) {
    MUS_LOG(" ! no sound buffers (is the sound system open?)\n");
    return discard(11);
  }
  alGenSources(1, &music->source);
  if (alGetError() != AL_NO_ERROR) {
    MUS_LOG(" ! no sound source (is the sound system open?)\n");
    alDeleteBuffers(TSS_MUSIC_BUFFERS, music->buffers);
    return discard(11);
  }
  // Music is not placed in space: its channels go straight to the speakers.
  if (alIsExtensionPresent("AL_SOFT_direct_channels"))
    alSourcei(music->source, AL_DIRECT_CHANNELS_SOFT, AL_TRUE);
  alSourcei(music->source, AL_SOURCE_RELATIVE, AL_TRUE);
  return music;
}

int TSS_PlayMusic(TSS_Music_p music)
{
  errClear();
  if (!music)
    MUS_FAIL(10, -1);
  if (music->state.load() == TSS_PLAYING)
    return 0;
  // One player per handle: a paused or ended one is collected first.
  JoinPlayer(music);
  ReleaseSource(music);
  SetState(music, TSS_PLAYING);
  music->thread = SYS_ThreadCreate(_TSS_MusicPlayer, music, 2, "TSS Music Player");
  if (!music->thread) {
    SetState(music, TSS_STOPPED);
    MUS_FAIL(5, -1);
  }
  return 0;
}

int TSS_StopMusic(TSS_Music_p music)
{
  errClear();
  if (!music)
    MUS_FAIL(10, -1);
  JoinPlayer(music);
  SetState(music, TSS_STOPPED);
  return 0;
}

int TSS_PauseMusic(TSS_Music_p music)
{
  errClear();
  if (!music)
    MUS_FAIL(10, -1);
  HandleLock lock(music->mutex);
  music->state.store(TSS_PAUSED);
  if (SourceInt(music->source, AL_SOURCE_STATE) == AL_PLAYING)
    alSourcePause(music->source);
  else
    alSourcePlay(music->source);
  return 0;
}

int TSS_FreeMusic(TSS_Music_p music)
{
  errClear();
  if (!music)
    MUS_FAIL(10, -1);
  MUS_LOG("[TSS_FreeMusic] freeing: %s\n", music->name);
  if (music->kind != TSS_KIND_FILE)
    MUS_FAIL(10, -1);
  JoinPlayer(music);
  music->state.store(TSS_STOPPED);
  // Buffers still attached to a source cannot be deleted.
  ReleaseSource(music);
  alDeleteSources(1, &music->source);
  alDeleteBuffers(TSS_MUSIC_BUFFERS, music->buffers);
  Vorbis_Close(music->stream);
  SYS_MutexDestroy(music->mutex);
  SYS_MemFree(&music->name);
  music->~TSS_Music_t();
  SYS_MemFree(&music);
  return 0;
}

int TSS_SeekMusic(TSS_Music_p music, int32_t bytes)
{
  errClear();
  if (!music)
    MUS_FAIL(10, -1);
  music->pendingBytes.store(kPending | (uint32_t)bytes);
  return 0;
}

int TSS_SeekMusicMs(TSS_Music_p music, int32_t ms)
{
  errClear();
  if (!music)
    MUS_FAIL(10, -1);
  music->pendingMs.store(kPending | (uint32_t)ms);
  return 0;
}

int64_t TSS_TellMusic(TSS_Music_p music)
{
  errClear();
  if (!music || music->kind != TSS_KIND_FILE)
    MUS_FAIL(10, -1);
  HandleLock lock(music->mutex);
  return Vorbis_Tell(music->stream);
}

int32_t TSS_TellMusicMs(TSS_Music_p music)
{
  errClear();
  if (!music || music->kind != TSS_KIND_FILE)
    MUS_FAIL(10, -1);
  HandleLock lock(music->mutex);
  return (int32_t)(Vorbis_TimeTell(music->stream) * 1000.0);
}

int32_t TSS_GetMusicState(TSS_Music_p music)
{
  errClear();
  if (!music)
    MUS_FAIL(10, -1);
  return music->state.load();
}

int TSS_SetMusicLoop(TSS_Music_p music, int32_t flag)
{
  errClear();
  if (!music)
    MUS_FAIL(10, -1);
  music->loop.store(flag);
  return 0;
}

int32_t TSS_GetMusicLoop(TSS_Music_p music)
{
  errClear();
  if (!music)
    MUS_FAIL(10, -1);
  return music->loop.load();
}

int TSS_SetMusicGain(TSS_Music_p music, float gain)
{
  errClear();
  if (!music || !(gain >= 0.0f && gain <= 1.0f))
    MUS_FAIL(10, -1);
  alSourcef(music->source, AL_GAIN, gain);
  return 0;
}

float TSS_GetMusicGain(TSS_Music_p music)
{
  errClear();
  if (!music)
    MUS_FAIL(10, -1.0f);
  ALfloat gain = -1.0f;
  alGetSourcef(music->source, AL_GAIN, &gain);
  return gain;
}

int32_t TSS_MusicFill(TSS_Music_p music, uint32_t buffer)
{
  if (!music || !music->stream)
    return 0;
  static thread_local char data[TSS_MUSIC_BUFFER_BYTES];
  int32_t filled = 0;
  {
    HandleLock lock(music->mutex);
    // Byte seek first, then the ms seek, as they were posted.
    const uint64_t bytes = music->pendingBytes.exchange(0);
    if (bytes & kPending)
      Vorbis_Seek(music->stream, (int32_t)(uint32_t)bytes);
    const uint64_t ms = music->pendingMs.exchange(0);
    if (ms & kPending)
      Vorbis_SeekMs(music->stream, (int32_t)(uint32_t)ms);

    bool rewound = false;
    for (;;) {
      while (filled < TSS_MUSIC_BUFFER_BYTES) {
        const int32_t got = Vorbis_Read(music->stream, data + filled, TSS_MUSIC_BUFFER_BYTES - filled);
        if (got <= 0)
          break;
        filled += got;
      }
      // A looping stream starts again; one that yields nothing even from its
      // start (an empty stream) ends instead of spinning.
      if (filled > 0 || !music->loop.load() || rewound)
        break;
      if (Vorbis_Seek(music->stream, 0) != 0)
        break;
      rewound = true;
    }
  }
  if (filled == 0)
    return 0;
  alBufferData(buffer, music->format, data, filled, music->stream->rate);
  return filled;
}

}  // extern "C"
