// Sound system: the process's one OpenAL output device and context.
//
// The preferred device name comes first, then the system's default device; a
// device or context that cannot be had is a failure the caller can act on (the
// presentation then offers to run without sound).
// Depends on: base/log, OpenAL.
#include "media/sound/TSS.h"

#include <AL/al.h>
#include <AL/alc.h>

#include "base/log.h"

#define TSS_LOG(fmt, ...) SYS_DbgLevelPrintf(2, "[tss][%s:%d:%s()] " fmt, SYS_POS, ##__VA_ARGS__)

namespace {

ALCdevice *gDevice = nullptr;
ALCcontext *gContext = nullptr;

constexpr int32_t kRates[] = {0, 11025, 22050, 44100, 48000, 88200, 96000};

const char *Text(const char *s) { return s ? s : "(null)"; }

}  // namespace

int TSS_Init(int32_t mode)
{
  errClear();
  TSS_LOG("initialize...\n");
  const int32_t rateIndex = mode & 0xFF;
  const int32_t sources = (mode >> 8) & 0xFF;
  // Both halves are checked before anything is opened.
  if (rateIndex < 1 || rateIndex > 6 || (sources != 1 && sources != 2) || (mode & ~0xFFFF) != 0)
    return errSetLastError(10), -1;
  const ALCint attributes[] = {ALC_FREQUENCY, kRates[rateIndex], ALC_MONO_SOURCES, sources == 1 ? 1 : 0,
                               ALC_STEREO_SOURCES, sources == 2 ? 1 : 0, ALC_SYNC, 0, 0};
  if (gDevice)
    TSS_Done();

  ALCdevice *device = alcOpenDevice("DirectSound3D");
  if (!device)
    device = alcOpenDevice(nullptr);
  if (!device) {
    TSS_LOG(" ! no sound device\n");
    return errSetLastError(11), -1;
  }
  ALCcontext *context = alcCreateContext(device, attributes);
  if (!context || !alcMakeContextCurrent(context)) {
    TSS_LOG(" ! no sound context\n");
    if (context)
      alcDestroyContext(context);
    alcCloseDevice(device);
    return errSetLastError(11), -1;
  }
  gDevice = device;
  gContext = context;

  TSS_LOG(" - default device: %s\n", Text(alcGetString(nullptr, ALC_DEFAULT_DEVICE_SPECIFIER)));
  const ALCchar *specifier = alcGetString(nullptr, ALC_DEVICE_SPECIFIER);
  if (specifier && *specifier)
    TSS_LOG(" - device specifier: %s\n", specifier);
  ALCint major = 0, minor = 0;
  alcGetIntegerv(device, ALC_MAJOR_VERSION, 1, &major);
  alcGetIntegerv(device, ALC_MINOR_VERSION, 1, &minor);
  TSS_LOG(" - ALC version: %d.%d\n", major, minor);
  TSS_LOG(" - ALC extensions: %s\n", Text(alcGetString(device, ALC_EXTENSIONS)));
  TSS_LOG(" - AL vendor: %s\n", Text(alGetString(AL_VENDOR)));
  TSS_LOG(" - AL version: %s\n", Text(alGetString(AL_VERSION)));
  TSS_LOG(" - AL renderer: %s\n", Text(alGetString(AL_RENDERER)));
  TSS_LOG(" - AL extensions: %s\n", Text(alGetString(AL_EXTENSIONS)));
  TSS_LOG(" - AL speed of sound: %.2f\n", (double)alGetFloat(AL_SPEED_OF_SOUND));
  return 0;
}

int TSS_Done(void)
{
  errClear();
  alcMakeContextCurrent(nullptr);
  if (gContext)
    alcDestroyContext(gContext);
  if (gDevice)
    alcCloseDevice(gDevice);
  gContext = nullptr;
  gDevice = nullptr;
  return 0;
}
