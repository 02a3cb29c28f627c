// Shared helpers of the sound tests: short clips encoded here, reference decodes,
// OpenAL Soft configuration and leak counters (tracked blocks, open files).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>
#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/main.h"
#include "base/mem.h"
#include "media/sound/TSS.h"

namespace sound {

// Writes an Ogg Vorbis clip: per channel a tone with a slow sweep plus a little
// noise, so that every stretch of it is unique and alignment is unambiguous.
inline bool EncodeClip(const std::string &path, int channels, int rate, int frames)
{
  FILE *out = std::fopen(path.c_str(), "wb");
  if (!out)
    return false;
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, channels, rate, 0.5f) != 0) {
    std::fclose(out);
    return false;
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, 1234);
  ogg_packet h1, h2, h3;
  vorbis_analysis_headerout(&vd, &vc, &h1, &h2, &h3);
  ogg_stream_packetin(&os, &h1);
  ogg_stream_packetin(&os, &h2);
  ogg_stream_packetin(&os, &h3);
  ogg_page page;
  auto write = [&]() {
    std::fwrite(page.header, 1, (size_t)page.header_len, out);
    std::fwrite(page.body, 1, (size_t)page.body_len, out);
  };
  while (ogg_stream_flush(&os, &page))
    write();
  uint32_t noise = 12345;
  int done = 0;
  bool eos = false;
  while (!eos) {
    const int n = std::min(1024, frames - done);
    if (n <= 0) {
      vorbis_analysis_wrote(&vd, 0);
    } else {
      float **buf = vorbis_analysis_buffer(&vd, n);
      for (int i = 0; i < n; ++i) {
        const double t = (double)(done + i) / rate;
        for (int c = 0; c < channels; ++c) {
          noise = noise * 1664525u + 1013904223u;
          const double f = 220.0 * (c + 1) + 40.0 * t;
          buf[c][i] = (float)(0.4 * std::sin(2.0 * M_PI * f * t + c) + 0.05 * ((double)(noise >> 8) / 8388608.0 - 1.0));
        }
      }
      vorbis_analysis_wrote(&vd, n);
      done += n;
    }
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet op;
      while (vorbis_bitrate_flushpacket(&vd, &op)) {
        ogg_stream_packetin(&os, &op);
        while (!eos && ogg_stream_pageout(&os, &page)) {
          write();
          eos = ogg_page_eos(&page) != 0;
        }
      }
    }
  }
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return std::fclose(out) == 0;
}

// The reference: the whole clip decoded by libvorbisfile itself.
inline std::vector<int16_t> DecodeAll(const std::string &path, int *channels = nullptr, int *rate = nullptr)
{
  std::vector<int16_t> pcm;
  OggVorbis_File vf;
  if (ov_fopen(path.c_str(), &vf) != 0)
    return pcm;
  if (channels)
    *channels = ov_info(&vf, -1)->channels;
  if (rate)
    *rate = (int)ov_info(&vf, -1)->rate;
  char buf[8192];
  for (;;) {
    const long n = ov_read(&vf, buf, sizeof buf, 0, 2, 1, nullptr);
    if (n <= 0)
      break;
    const int16_t *s = reinterpret_cast<const int16_t *>(buf);
    pcm.insert(pcm.end(), s, s + n / 2);
  }
  ov_clear(&vf);
  return pcm;
}

inline std::string ReadFile(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string &path, const std::string &data)
{
  std::ofstream(path, std::ios::binary) << data;
}

// Tracked blocks held now, from the allocator's own report.
inline int TrackedBlocks(const std::string &dir)
{
  const std::string report = dir + "/mem.report";
  if (SYS_MemInfo(report.c_str()) != 0)
    return -1;
  const std::string text = ReadFile(report);
  int blocks = 0;
  for (size_t p = 0; (p = text.find(" bytes\n", p)) != std::string::npos; ++p)
    ++blocks;
  return blocks - 1;  // the "Total:" line
}

inline int OpenFiles()
{
  int n = 0;
  for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator("/proc/self/fd"))
    ++n;
  return n;
}

inline std::string TaskName(const std::filesystem::path &task)
{
  std::ifstream in(task / "comm");
  std::string name;
  std::getline(in, name);
  return name;
}

// True once a thread has begun to end. A join on a thread returns before the kernel
// reaps it, so a joined thread is still listed for a moment; but it is flagged as
// exiting (PF_EXITING) before the join can return, so counting only unflagged
// threads counts exactly the ones not yet joined.
inline bool TaskEnding(const std::filesystem::path &task)
{
  std::ifstream in(task / "stat");
  std::string stat;
  std::getline(in, stat);
  const size_t name = stat.rfind(')');  // the name may hold blanks and parentheses
  if (name == std::string::npos)
    return true;  // reaped meanwhile
  std::istringstream fields(stat.substr(name + 1));
  std::string field;
  for (int i = 0; i < 7; i++)  // state, parent, group, session, terminal, terminal group, flags
    fields >> field;
  constexpr unsigned long kExiting = 0x4;
  return (std::strtoul(field.c_str(), nullptr, 10) & kExiting) != 0;
}

// Ids of this process's threads that have not begun to end.
inline std::set<std::string> LiveThreads()
{
  std::set<std::string> ids;
  for (const auto &task : std::filesystem::directory_iterator("/proc/self/task"))
    if (!TaskEnding(task.path()))
      ids.insert(task.path().filename().string());
  return ids;
}

// Live music players, counted by their system name (the thread name cut to 15
// characters), so that a thread some library starts meanwhile does not count. A
// player names itself once it runs: given a started one, this waits up to 2 s for it.
inline int PlayerThreads(const SYS_Thread_t *started = nullptr)
{
  const std::string name = std::string("TSS Music Player").substr(0, 15);
  for (int i = 0; started && i < 200; i++) {
    const uint32_t id = started->threadId.load();
    if (id && TaskName("/proc/self/task/" + std::to_string(id)) == name)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  int n = 0;
  for (const std::string &id : LiveThreads())
    n += TaskName("/proc/self/task/" + id) == name;
  return n;
}

inline std::string SourceFile(const std::string &name)
{
  const char *root = std::getenv("KORV_SOURCE_DIR");
  return std::string(root ? root : KORV_TEST_SOURCE_DIR) + "/tests/media/" + name;
}

// OpenAL Soft reads its configuration (ALSOFT_CONF, and ALSOFT_DRIVERS, which overrides
// the drivers it names) once a process, at its first use. So a test process has one
// output, chosen by the first test that asks, and a wave file whose path stays the same
// for every test of the process, in a folder that outlives them: the writer opens the
// file anew, emptied, each time a device opens, writes it while it mixes and completes
// its header when the device closes. Removed when the process that made it exits (not
// a death test's child).
class ProcessOutput {
 public:
  static ProcessOutput &Get()
  {
    static ProcessOutput output;
    return output;
  }
  // False, with a failure that says why, when the process already plays to the other one.
  bool Choose(const std::string &kind)
  {
    if (!kind_.empty() && kind_ != kind) {
      ADD_FAILURE() << "this process plays to OpenAL Soft's " << kind_ << " output already; it reads its configuration once a process, so a test of the " << kind << " output needs a process of its own";
      return false;
    }
    if (kind_.empty()) {
      std::string conf = SourceFile("alsoft-null.conf");
      if (kind == "wave") {
        char name[] = "/tmp/korv-sound-wave-XXXXXX";
        if (mkdtemp(name) == nullptr) {
          ADD_FAILURE() << "no folder for the wave output";
          return false;
        }
        folder_ = name;
        owner_ = getpid();
        conf = folder_ + "/alsoft.conf";
        WriteFile(conf, ReadFile(SourceFile("alsoft-wave.conf")) + "file = " + Wave() + "\n");
      }
      setenv("ALSOFT_CONF", conf.c_str(), 1);
      unsetenv("ALSOFT_DRIVERS");
      kind_ = kind;
    }
    return true;
  }
  std::string Wave() const { return folder_ + "/played.wav"; }
  ~ProcessOutput()
  {
    std::error_code ec;
    if (!folder_.empty() && getpid() == owner_)
      std::filesystem::remove_all(folder_, ec);
  }

 private:
  ProcessOutput() = default;
  std::string kind_, folder_;
  pid_t owner_ = 0;
};

// OpenAL Soft's null output for this process (see ProcessOutput).
inline void UseNullOutput() { ProcessOutput::Get().Choose("null"); }

// One framework and one temporary folder per test.
class SoundTest : public ::testing::Test {
 protected:
  std::string dir;

  void SetUp() override
  {
    char name[] = "/tmp/korv-sound-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir = name;
    SYS_BaseInit(nullptr, 0, nullptr, nullptr);
  }
  void TearDown() override
  {
    SYS_BaseDone();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  // The wave file the next device opened writes, removed first, so that what a test
  // reads is its own capture or nothing. Empty when the process has the null output.
  std::string UseWaveOutput()
  {
    ProcessOutput &output = ProcessOutput::Get();
    if (!output.Choose("wave"))
      return {};
    std::error_code ec;
    std::filesystem::remove(output.Wave(), ec);
    return output.Wave();
  }
  std::string Clip(const std::string &name, int channels, int rate, int frames)
  {
    const std::string path = dir + "/" + name;
    EXPECT_TRUE(EncodeClip(path, channels, rate, frames));
    return path;
  }
};

}  // namespace sound
