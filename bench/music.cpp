// Music benchmark: how much of one core the player thread takes while it streams
// the soundtrack (decode plus queueing), and how fast the refill decodes alone.
// The output is OpenAL Soft's null device, which consumes audio in real time.
// Usage: korv-bench-music [seconds]   (default: the show's 210.6 s)
#include <dirent.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "base/file.h"
#include "base/main.h"
#include "base/time.h"
#include "media/sound/TSS.h"

namespace {

// utime + stime in seconds of the thread whose name starts with the given text.
double ThreadCpuSeconds(const char *name)
{
  DIR *tasks = opendir("/proc/self/task");
  if (!tasks)
    return -1.0;
  double seconds = -1.0;
  while (dirent *e = readdir(tasks)) {
    if (e->d_name[0] == '.')
      continue;
    const std::string base = std::string("/proc/self/task/") + e->d_name;
    char comm[64] = {0};
    if (FILE *f = std::fopen((base + "/comm").c_str(), "r")) {
      if (!std::fgets(comm, sizeof comm, f))
        comm[0] = 0;
      std::fclose(f);
    }
    if (std::strncmp(comm, name, std::strlen(name)) != 0)
      continue;
    if (FILE *f = std::fopen((base + "/stat").c_str(), "r")) {
      char line[1024] = {0};
      if (std::fgets(line, sizeof line, f)) {
        const char *p = std::strrchr(line, ')');
        unsigned long utime = 0, stime = 0;
        // Fields after the name: state, then 10 more, then utime and stime.
        if (p && std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) == 2)
          seconds = (double)(utime + stime) / (double)sysconf(_SC_CLK_TCK);
      }
      std::fclose(f);
    }
  }
  closedir(tasks);
  return seconds;
}

}  // namespace

int main(int argc, char **argv)
{
  const double seconds = argc > 1 ? std::atof(argv[1]) : 210.637;
  const std::string bin = KORV_BENCH_BINARY_DIR;
  setenv("ALSOFT_DRIVERS", "null", 1);
  SYS_BaseInit(nullptr, 0, nullptr, nullptr);
  const bool pack = SYS_FilePackOpen((bin + "/bin/quv.dat").c_str()) == 0 && SYS_FileExist("music.ogg") == 0;
  const std::string name = pack ? "music.ogg" : bin + "/content/music.ogg";
  if (TSS_Init(0x203) != 0)
    return std::fprintf(stderr, "no sound device\n"), 1;

  // Decoder alone: the whole stream through the refill, on this thread.
  TSS_Music_p music = TSS_NewMusic(0, name.c_str(), 0);
  if (!music)
    return std::fprintf(stderr, "cannot open %s\n", name.c_str()), 1;
  const double streamSeconds = (double)music->stream->size / (music->stream->channels * 2) / music->stream->rate;
  auto t0 = std::chrono::steady_clock::now();
  int64_t bytes = 0;
  for (int32_t n; (n = TSS_MusicFill(music, music->buffers[0])) > 0;)
    bytes += n;
  const double decodeWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  TSS_FreeMusic(music);
  std::printf("music: %s (%s), %.1f s of audio\n", name.c_str(), pack ? "from the pack" : "loose file", streamSeconds);
  std::printf("refill decode alone: %lld bytes in %.3f s = %.0fx real time\n", (long long)bytes, decodeWall,
              streamSeconds / decodeWall);

  // The player thread in real time.
  music = TSS_NewMusic(0, name.c_str(), 0);
  TSS_PlayMusic(music);
  t0 = std::chrono::steady_clock::now();
  double cpu = 0.0, wall = 0.0;
  while (TSS_GetMusicState(music) == TSS_PLAYING) {
    wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (wall >= seconds)
      break;
    const double c = ThreadCpuSeconds("TSS Music Play");
    if (c >= 0.0)
      cpu = c;
    SYS_Sleep(250);
  }
  TSS_StopMusic(music);
  TSS_FreeMusic(music);
  TSS_Done();
  std::printf("player thread: %.2f s CPU over %.1f s played = %.3f%% of one core\n", cpu, wall,
              wall > 0 ? cpu / wall * 100.0 : 0.0);
  SYS_BaseDone();
  return 0;
}
