// Fuzzing the pack reader: one harness that registers arbitrary bytes as a pack,
// reads every entry it accepted and releases the pack again. Built as a libFuzzer
// target with KORV_LIBFUZZER (seed corpus in pack-corpus/, and a mutator that works
// inside the deflated catalog and makes its block header right again, so mutations
// reach the records), and run here over a fixed-seed, structure-aware mutation of
// valid packs: records and block headers are damaged and the CRCs made right again,
// so the damage gets past the checksums and reaches the record and entry checks
// behind them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/file-pack.h"
#include "base/file.h"
#include "base/log.h"

namespace {

int ignoreCallback(int32_t, const char *)
{
  return 0;
}

}  // namespace

// Registers the bytes as the pack file at path, reads every entry it holds and
// releases the pack; returns the number of faults seen (0 is sound) and counts the
// entries read.
long PackFuzzOne(const uint8_t *data, size_t size, const char *path, long *entriesRead)
{
  FILE *out = fopen(path, "wb");
  if (out == nullptr)
    return 1;
  fwrite(data, 1, size, out);
  fclose(out);
  errSetCallback(ignoreCallback);
  long faults = 0;
  SYS_Pack_t *before = SYS_PackNewest();
  if (SYS_FilePackOpen(path) == 0) {
    SYS_Pack_t *pack = SYS_PackNewest();
    faults += pack == before;
    for (int32_t i = 0; pack != nullptr && i < pack->count; ++i) {
      const SYS_PackEntry_t &e = pack->entries[i];
      bool earlier = false;  // a name this pack holds twice opens its first entry
      for (int32_t j = 0; j < i && !earlier; ++j)
        earlier = strcmp(pack->entries[j].name, e.name) == 0;
      if (earlier || SYS_FindPack(e.name) != pack)
        continue;  // or a name another pack or the disk serves first
      SYS_File_p f = SYS_FileOpen(e.name, 0);
      if (f == nullptr)
        continue;
      faults += f->size != int32_t(e.size) || SYS_FileSize(e.name) != f->size;
      char buffer[1024];
      long total = 0;
      for (int32_t n; (n = SYS_FileRead(f, buffer, sizeof buffer)) > 0;)
        total += n;
      faults += total != f->size || !SYS_FileEof(f);
      SYS_FileSeek(f, 0);
      while (SYS_FileGetStr(f, buffer, sizeof buffer) != nullptr) {
      }
      SYS_FileClose(f);
      if (entriesRead != nullptr)
        ++*entriesRead;
    }
    faults += pack == before || SYS_PackRelease(pack) != 0 || SYS_PackNewest() != before;
  }
  errSetCallback(nullptr);
  return faults;
}

#ifdef KORV_LIBFUZZER
#include <cstring>
#include <random>
#include <vector>

#include "base/main.h"
#include "tests/common/fuzz_mutate.h"
#include "tests/common/fuzz_util.h"

namespace {

uint32_t readLe32(const uint8_t *p)
{
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void writeLe32(uint8_t *p, uint32_t v)
{
  for (int i = 0; i < 4; ++i)
    p[i] = uint8_t(v >> (8 * i));
}

// Mutates the inflated catalog of a pack whose catalog block inflates, and writes it
// back deflated with its header (sizes, CRC) made right; 0 when the input has no such
// catalog.
size_t mutateCatalog(uint8_t *data, size_t size, size_t maxSize)
{
  if (size < 24 || memcmp(data, "TRVP", 4) != 0)
    return 0;
  const uint32_t at = readLe32(data + 8);
  if (at < 12 || at > size - 12)
    return 0;
  const uint32_t rawSize = readLe32(data + at);
  if (rawSize > (1u << 20))
    return 0;
  std::vector<uint8_t> out;
  size_t n = 0;
  if (!fuzz::MutateInflated(data + at + 12, size - at - 12, rawSize, out, n) || at + 12 + out.size() > maxSize)
    return 0;
  const size_t packed = out.size();
  writeLe32(data + at, uint32_t(n));
  writeLe32(data + at + 4, uint32_t(packed));
  writeLe32(data + at + 8, uint32_t(crc32(0, out.data(), uInt(packed))));
  memcpy(data + at + 12, out.data(), packed);
  return at + 12 + packed;
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize, unsigned int seed)
{
  std::minstd_rand rng(seed);
  if (rng() % 2)
    if (size_t n = mutateCatalog(data, size, maxSize))
      return n;
  size = LLVMFuzzerMutate(data, size, maxSize);
  // Keep the catalog block's CRC right when its extent survived the mutation.
  if (size >= 24 && memcmp(data, "TRVP", 4) == 0) {
    const uint32_t at = readLe32(data + 8);
    if (at >= 12 && at <= size - 12 && readLe32(data + at + 4) <= size - at - 12)
      writeLe32(data + at + 8, uint32_t(crc32(0, data + at + 12, uInt(readLe32(data + at + 4)))));
  }
  return size;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  static const bool up = SYS_BaseInit(nullptr, 0, nullptr, nullptr) == 0;
  fuzz::Expect(up, "framework start");
  fuzz::GivesBackWhatItTakes([&] {
    fuzz::Expect(PackFuzzOne(data, size, "fuzz.dat", nullptr) == 0, "entries read as registered, pack released");
  });
  return 0;
}
#else
#include <random>

#include "base/z.h"
#include "files_util.h"
#include "tests/common/fuzz_util.h"

using namespace files_test;

namespace {

std::string randomText(std::mt19937 &rng, size_t n)
{
  std::string s;
  while (s.size() < n)
    s += rng() % 5 ? "line of text\n" : std::string(1, char(rng()));
  s.resize(n);
  return s;
}

// A valid pack's parts, to damage and reassemble with correct CRCs.
struct Parts {
  std::vector<std::string> records;
  std::string data;
};

Parts validParts(std::mt19937 &rng, int iteration)
{
  Parts p;
  int count = 1 + int(rng() % 5);
  for (int i = 0; i < count; ++i) {
    std::string content = randomText(rng, rng() % 3000);
    bool compressed = rng() % 2;
    std::string stored = compressed ? block(uint32_t(content.size()), deflated(content)) : content;
    char name[32];
    snprintf(name, sizeof name, "f%d-%d", iteration, i);
    p.records.push_back(record(uint32_t(stored.size()), uint32_t(12 + p.data.size()), compressed, name));
    p.data += stored;
  }
  return p;
}

void flip32(std::string &s, size_t at, std::mt19937 &rng)
{
  if (at + 4 > s.size())
    return;
  static const uint32_t kValues[] = {0, 1, 11, 12, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFF4u};
  std::string v = le32(rng() % 2 ? kValues[rng() % 8] : uint32_t(rng() % 100000));
  s.replace(at, 4, v);
}

std::string mutated(std::mt19937 &rng, int iteration)
{
  Parts p = validParts(rng, iteration);
  uint32_t count = uint32_t(p.records.size());
  int edits = 1 + int(rng() % 3);
  for (int e = 0; e < edits; ++e) {
    std::string &r = p.records[rng() % p.records.size()];
    if (r.size() < 11)
      continue;  // cut by an earlier edit
    switch (rng() % 7) {
    case 0: flip32(r, 0, rng); break;                                     // stored size
    case 1: flip32(r, 4, rng); break;                                     // data offset
    case 2: r[8] = char(rng()); break;                                    // flags
    case 3: {                                                             // name length
      uint16_t n = uint16_t(rng());
      r[9] = char(n);
      r[10] = char(n >> 8);
      break;
    }
    case 4: r.resize(rng() % r.size()); break;                            // cut record
    case 5: count += uint32_t(rng() % 3) - 1; break;                      // count off by one
    case 6:                                                               // a block header lies
      if (size_t at = rng() % (p.data.size() + 1); at + 12 <= p.data.size())
        flip32(p.data, at, rng);
      break;
    }
  }
  std::string catalog;
  for (const std::string &r : p.records)
    catalog += r;
  return "TRVP" + le32(count) + le32(uint32_t(12 + p.data.size())) + p.data +
         block(uint32_t(catalog.size()), deflated(catalog));
}

using PackFuzz = Scratch;

// What the harness relies on to keep one pack per input: a released pack serves
// nothing, gives its memory back and cannot be released twice; one with an entry
// open stays registered.
TEST_F(PackFuzz, ReleaseUnregistersAPackWithNoEntryOpen)
{
  const std::string content = "released content\n";
  const std::string catalog = record(uint32_t(content.size()), 12, 0, "kept.txt");
  writeFile("one.dat", "TRVP" + le32(1) + le32(uint32_t(12 + content.size())) + content +
                           block(uint32_t(catalog.size()), deflated(catalog)));
  SYS_Pack_t *before = SYS_PackNewest();
  const long long tracked = fuzz::TrackedBytes();
  ASSERT_EQ(SYS_FilePackOpen("one.dat"), 0);
  SYS_Pack_t *pack = SYS_PackNewest();
  ASSERT_NE(pack, before);
  SYS_File_p open = SYS_FileOpen("kept.txt", 0);
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(SYS_PackRelease(pack), -1);
  EXPECT_EQ(SYS_FindPack("kept.txt"), pack);
  SYS_FileClose(open);
  EXPECT_EQ(SYS_PackRelease(pack), 0);
  EXPECT_EQ(SYS_PackNewest(), before);
  EXPECT_EQ(SYS_FindPack("kept.txt"), nullptr);
  EXPECT_EQ(SYS_FileOpen("kept.txt", 0), nullptr);
  EXPECT_EQ(fuzz::TrackedBytes(), tracked);
  EXPECT_EQ(SYS_PackRelease(pack), -1);
  EXPECT_EQ(errGetLastError(), 10);
}

TEST_F(PackFuzz, DamagedCatalogsAndBlocksReadSafely)
{
  std::mt19937 rng(20261210);
  long faults = 0, read = 0;
  for (int i = 0; i < 600; ++i) {
    std::string bytes = mutated(rng, i);
    std::string path = "fuzz-" + std::to_string(i) + ".dat";
    faults += PackFuzzOne(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), path.c_str(), &read);
  }
  // Raw bytes: mostly refused at the header, which must be just as safe.
  for (int i = 0; i < 200; ++i) {
    std::string bytes = "TRVP" + randomText(rng, rng() % 64);
    faults += PackFuzzOne(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), "raw.dat", &read);
  }
  EXPECT_EQ(faults, 0);
  EXPECT_GT(read, 300);  // the mutations still leave entries to read
}

}  // namespace
#endif
