// korv-packwriter: lays a folder into a "TRVP" pack file.
//
// Usage: korv-packwriter <folder> <pack-file>
// Every regular file below the folder becomes an entry named by its path below
// it ("a/b.txt"), sorted by name so that the same folder always gives the same
// pack. An entry is stored as a compressed block when that saves at least a
// twentieth of its size, plain otherwise (empty files, and already compressed
// ones such as the music, which would only cost an inflate on every open). An empty folder gives a valid
// pack with 0 entries. The pack is written beside its target and renamed over
// it at the end, so a failed run never leaves a half pack behind.
// Depends on: base (file glob, z, mem), platform/fs.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/file-pack.h"
#include "base/file.h"
#include "base/main.h"
#include "base/mem.h"
#include "base/z.h"
#include "platform/fs.h"

namespace {

struct Entry {
  std::string name;  // below the folder
  std::string path;  // on disk
};

bool fail(const std::string &what)
{
  fprintf(stderr, "korv-packwriter: %s\n", what.c_str());
  return false;
}

bool collect(const std::string &root, const std::string &dir, const std::string &skip, std::vector<Entry> &out)
{
  SYS_Glob_p list = nullptr;
  bool listed = false;
  if (SYS_GlobListed((dir + "/*").c_str(), &list, &listed) != 0 || !listed) {
    SYS_GlobFree(&list);
    return fail("cannot list " + dir);
  }
  bool ok = true;
  for (int32_t i = 0; ok && i < list->count; ++i) {
    std::string path = list->paths[i];
    platFsStat_t st;
    if (platFsStat(path.c_str(), &st) != 0)
      continue;
    if (st.kind == PLAT_FS_DIR && !st.link)
      ok = collect(root, path, skip, out);
    else if (st.kind == PLAT_FS_FILE && path != skip)
      out.push_back({path.substr(root.size() + 1), path});
  }
  SYS_GlobFree(&list);
  return ok;
}

bool readWhole(const std::string &path, std::vector<uint8_t> &data)
{
  FILE *f = fopen(path.c_str(), "rb");
  if (f == nullptr)
    return false;
  data.clear();
  uint8_t chunk[1 << 16];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
    data.insert(data.end(), chunk, chunk + n);
  bool ok = !ferror(f);
  fclose(f);
  return ok;
}

void putLe32(std::vector<uint8_t> &out, uint32_t v)
{
  for (int i = 0; i < 4; ++i)
    out.push_back(uint8_t(v >> (8 * i)));
}

class Writer {
public:
  explicit Writer(FILE *f) : f_(f) {}
  bool put(const void *data, size_t n)
  {
    if (uint64_t(offset_) + n > uint64_t(INT32_MAX))
      return fail("pack would exceed 2 GB");
    if (n > 0 && fwrite(data, 1, n, f_) != n)
      return fail("write failed");
    offset_ += uint32_t(n);
    return true;
  }
  uint32_t offset() const { return offset_; }

private:
  FILE *f_;
  uint32_t offset_ = 0;
};

bool writePack(const std::vector<Entry> &entries, FILE *f)
{
  Writer w(f);
  uint8_t header[12] = {'T', 'R', 'V', 'P'};
  if (!w.put(header, sizeof header))
    return false;
  std::vector<uint8_t> catalog;
  std::vector<uint8_t> data;
  for (const Entry &e : entries) {
    if (e.name.size() > 0xFFFF)
      return fail("name too long: " + e.name);
    if (!readWhole(e.path, data))
      return fail("cannot read " + e.path);
    if (data.size() > size_t(INT32_MAX))
      return fail("file too large: " + e.path);
    uint8_t flags = 0;
    uint32_t offset = w.offset();
    uint32_t stored = uint32_t(data.size());
    void *block = nullptr;
    int32_t blockLength = 0;
    if (!data.empty() && SYS_ZCompressBlock(data.data(), int32_t(data.size()), &block, &blockLength) != 0)
      return fail("cannot compress " + e.path);
    bool ok;
    if (block != nullptr && size_t(blockLength) < data.size() - data.size() / 20) {
      flags = SYS_PACK_COMPRESSED;
      stored = uint32_t(blockLength);
      ok = w.put(block, size_t(blockLength));
    } else {
      ok = w.put(data.data(), data.size());
    }
    SYS_MemFree(&block);
    if (!ok)
      return false;
    putLe32(catalog, stored);
    putLe32(catalog, offset);
    catalog.push_back(flags);
    catalog.push_back(uint8_t(e.name.size()));
    catalog.push_back(uint8_t(e.name.size() >> 8));
    catalog.insert(catalog.end(), e.name.begin(), e.name.end());
  }
  if (catalog.size() > size_t(INT32_MAX))
    return fail("catalog too large");
  void *block = nullptr;
  int32_t blockLength = 0;
  if (SYS_ZCompressBlock(catalog.data(), int32_t(catalog.size()), &block, &blockLength) != 0)
    return fail("cannot compress the catalog");
  uint32_t catOffset = w.offset();
  bool ok = w.put(block, size_t(blockLength));
  SYS_MemFree(&block);
  if (!ok)
    return false;
  std::vector<uint8_t> head = {'T', 'R', 'V', 'P'};
  putLe32(head, uint32_t(entries.size()));
  putLe32(head, catOffset);
  if (fseek(f, 0, SEEK_SET) != 0 || fwrite(head.data(), 1, head.size(), f) != head.size())
    return fail("write failed");
  return true;
}

}  // namespace

int main(int argc, char **argv)
{
  if (argc != 3) {
    fprintf(stderr, "usage: korv-packwriter <folder> <pack-file>\n");
    return 2;
  }
  SYS_BaseInit(nullptr, 0, nullptr, nullptr);
  std::string root = argv[1];
  while (root.size() > 1 && root.back() == '/')
    root.pop_back();
  std::string target = argv[2];
  std::string temporary = target + ".tmp";

  bool ok = true;
  platFsStat_t st;
  if (platFsStat(root.c_str(), &st) != 0 || st.kind != PLAT_FS_DIR)
    ok = fail("not a folder: " + root);
  std::vector<Entry> entries;
  // The pack may be written into the folder it packs; it never packs itself.
  if (ok)
    ok = collect(root, root, target, entries);
  std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.name < b.name; });

  FILE *f = ok ? fopen(temporary.c_str(), "wb") : nullptr;
  if (ok && f == nullptr)
    ok = fail("cannot create " + temporary);
  if (ok)
    ok = writePack(entries, f);
  if (f != nullptr && fclose(f) != 0 && ok)
    ok = fail("write failed");
  if (ok && rename(temporary.c_str(), target.c_str()) != 0)
    ok = fail("cannot rename " + temporary + " to " + target);
  if (!ok)
    remove(temporary.c_str());
  else
    printf("korv-packwriter: %s: %zu entries\n", target.c_str(), entries.size());
  SYS_BaseDone();
  return ok ? 0 : 1;
}
