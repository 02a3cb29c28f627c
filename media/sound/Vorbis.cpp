// Ogg Vorbis decoder over the framework file layer (see Vorbis.h).
//
// The callbacks turn libvorbisfile's stdio-like requests into file-layer calls.
// Offsets outside the 32-bit range the file layer can address are refused rather
// than cut to their low bits, so a bad seek never lands somewhere else.
// Depends on: base/file, base/mem, base/log, libvorbisfile.
#include "media/sound/Vorbis.h"

#include <vorbis/vorbisfile.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "base/file.h"
#include "base/log.h"
#include "base/mem.h"

#define VORBIS_LOG(fmt, ...) SYS_DbgLevelPrintf(2, "[vorbis][%s:%d:%s()] " fmt, SYS_POS, ##__VA_ARGS__)

namespace {

size_t vorbisRead(void *ptr, size_t size, size_t count, void *source)
{
  if (size == 0 || count == 0)
    return 0;
  size_t want = size * count;
  if (count > SIZE_MAX / size || want > (size_t)INT32_MAX)
    want = (size_t)INT32_MAX / size * size;
  const int32_t got = SYS_FileRead(static_cast<SYS_File_p>(source), ptr, (int32_t)want);
  return got > 0 ? (size_t)got / size : 0;
}

int vorbisSeek(void *source, ogg_int64_t offset, int whence)
{
  SYS_File_p file = static_cast<SYS_File_p>(source);
  int64_t target;
  switch (whence) {
  case SEEK_SET:
    target = offset;
    break;
  case SEEK_CUR:
    target = (int64_t)SYS_FileTell(file) + offset;
    break;
  case SEEK_END:
    if (file->size < 0)
      return -1;
    target = (int64_t)file->size + offset;
    break;
  default:
    target = 0;
    break;
  }
  if (target < 0 || target > INT32_MAX)
    return -1;
  return SYS_FileSeek(file, (int32_t)target) == 0 ? 0 : -1;
}

int vorbisClose(void *source)
{
  SYS_FileClose(static_cast<SYS_File_p>(source));
  return 0;
}

long vorbisTell(void *source) { return SYS_FileTell(static_cast<SYS_File_p>(source)); }

const ov_callbacks kCallbacks = {vorbisRead, vorbisSeek, vorbisClose, vorbisTell};

OggVorbis_File *Decoder(Vorbis_p stream) { return static_cast<OggVorbis_File *>(stream->decoder); }

}  // namespace

Vorbis_p Vorbis_Open(const char *fileName)
{
  errClear();
  if (!fileName)
    return errSetLastError(10), nullptr;
  Vorbis_p stream = static_cast<Vorbis_p>(SYS_MemGet(sizeof(Vorbis_t), "struct"));
  void *decoder = SYS_MemGet(sizeof(OggVorbis_File), "file struct");
  if (!stream || !decoder) {
    SYS_MemFree(&stream);
    SYS_MemFree(&decoder);
    return errSetLastError(5), nullptr;
  }
  std::memset(stream, 0, sizeof(*stream));
  std::memset(decoder, 0, sizeof(OggVorbis_File));
  stream->decoder = decoder;
  stream->file = SYS_FileOpen(fileName, 0);
  if (!stream->file) {
    SYS_MemFree(&decoder);
    SYS_MemFree(&stream);
    return errSetLastError(1), nullptr;
  }
  // On failure libvorbisfile leaves the data source open: it is ours to close.
  if (ov_open_callbacks(stream->file, Decoder(stream), nullptr, 0, kCallbacks) != 0) {
    VORBIS_LOG(" ! not an Ogg Vorbis stream: %s\n", fileName);
    SYS_FileClose(stream->file);
    SYS_MemFree(&decoder);
    SYS_MemFree(&stream);
    return errSetLastError(1), nullptr;
  }
  const vorbis_info *info = ov_info(Decoder(stream), -1);
  const ogg_int64_t samples = ov_pcm_total(Decoder(stream), -1);
  stream->channels = info ? info->channels : 0;
  stream->rate = info ? (int32_t)info->rate : 0;
  stream->size = samples > 0 ? (int64_t)samples * stream->channels * 2 : 0;
  VORBIS_LOG("stream: %s\n", fileName);
  VORBIS_LOG(" - channels: %d\n", stream->channels);
  VORBIS_LOG(" - rate: %dHz\n", stream->rate);
  VORBIS_LOG(" - size: %lld bytes\n", (long long)stream->size);
  return stream;
}

int32_t Vorbis_Read(Vorbis_p stream, void *buffer, int32_t length)
{
  if (!stream || !buffer || length <= 0)
    return 0;
  // A hole (pages lost or damaged) is reported once and decoding goes on after
  // it; only a real error or the end stops the stream.
  long got = OV_HOLE;
  for (int tries = 0; got == OV_HOLE && tries < 64; ++tries)
    got = ov_read(Decoder(stream), static_cast<char *>(buffer), length, 0, 2, 1, nullptr);
  return (int32_t)got;
}

int Vorbis_Seek(Vorbis_p stream, int64_t bytes)
{
  if (!stream || stream->channels <= 0)
    return -1;
  return ov_pcm_seek(Decoder(stream), bytes / stream->channels / 2) == 0 ? 0 : -1;
}

int Vorbis_SeekMs(Vorbis_p stream, int32_t ms)
{
  if (!stream)
    return -1;
  const float seconds = (float)ms * 0.001f;
  return ov_time_seek(Decoder(stream), seconds) == 0 ? 0 : -1;
}

int64_t Vorbis_Tell(Vorbis_p stream)
{
  if (!stream)
    return -1;
  const ogg_int64_t pcm = ov_pcm_tell(Decoder(stream));
  return pcm < 0 ? -1 : (int64_t)pcm * stream->channels * 2;
}

double Vorbis_TimeTell(Vorbis_p stream)
{
  return stream ? ov_time_tell(Decoder(stream)) : -1.0;
}

int64_t Vorbis_GetSize(Vorbis_p stream) { return stream ? stream->size : -1; }

void *Vorbis_ReadAll(Vorbis_p stream)
{
  errClear();
  if (!stream || stream->size > INT32_MAX)
    return errSetLastError(10), nullptr;
  const int32_t size = (int32_t)stream->size;
  char *buffer = static_cast<char *>(SYS_MemGet(size > 0 ? size : 1, "buffer"));
  if (!buffer)
    return errSetLastError(5), nullptr;
  int32_t filled = 0;
  while (filled < size) {
    const int32_t step = size - filled < 8192 ? size - filled : 8192;
    const int32_t got = Vorbis_Read(stream, buffer + filled, step);
    if (got <= 0)
      break;
    filled += got;
  }
  if (filled < size)
    std::memset(buffer + filled, 0, (size_t)(size - filled));
  return buffer;
}

void Vorbis_Close(Vorbis_p stream)
{
  if (!stream)
    return;
  ov_clear(Decoder(stream));  // closes the file through vorbisClose
  SYS_MemFree(&stream->decoder);
  SYS_MemFree(&stream);
}
