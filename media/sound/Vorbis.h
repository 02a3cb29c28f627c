// Ogg Vorbis decoder over the framework file layer, for the music handles.
//
// libvorbisfile reads through four callbacks onto a SYS_File_t, so a stream may
// sit loose on disk or inside a pack. Positions are in bytes of interleaved
// 16-bit PCM (samples per channel x channels x 2) or in time.
// Depends on: base (file layer, tracked memory, log, last error), libvorbisfile.
#pragma once

#include <cstdint>

extern "C" {

struct SYS_File_t;

typedef struct Vorbis_t {
  struct SYS_File_t *file;
  void *decoder;  // OggVorbis_File, tracked block "file struct"
  int64_t size;   // whole stream in bytes of 16-bit PCM
  int32_t channels;
  int32_t rate;
} Vorbis_t, *Vorbis_p;

// Null with error 5 (no memory) or 1 (missing file, not an Ogg Vorbis stream).
Vorbis_p Vorbis_Open(const char *fileName);
// Little-endian signed 16-bit PCM; bytes placed, 0 at the end, negative on a
// decode error. Holes in the data are skipped.
int32_t Vorbis_Read(Vorbis_p stream, void *buffer, int32_t length);
// 0, or -1 when the position is outside the stream or the stream cannot seek.
int Vorbis_Seek(Vorbis_p stream, int64_t bytes);
int Vorbis_SeekMs(Vorbis_p stream, int32_t ms);
int64_t Vorbis_Tell(Vorbis_p stream);
double Vorbis_TimeTell(Vorbis_p stream);
int64_t Vorbis_GetSize(Vorbis_p stream);
// The whole decoded stream in one tracked block ("buffer") of Vorbis_GetSize
// bytes, decoded from the current position (a shorter decode leaves zeros at
// the end). Null with error 5 without memory, 10 for a stream too big for a block.
void *Vorbis_ReadAll(Vorbis_p stream);
// Closes the file and frees the record; null is ignored.
void Vorbis_Close(Vorbis_p stream);

}  // extern "C"
