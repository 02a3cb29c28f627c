// Command-line options and config files.
//
// The argument store grows by one tracked vector per SYS_CfgAdd; option queries
// walk it in order, first match wins. Config files are read and written in the "C"
// locale of the calling thread only (uselocale), so the decimal point is always "."
// and the caller's locale is untouched afterwards.
// Depends on: mem, log, str (fields, trimming), file (the file layer, so a config
// may come from a pack).
#include "base/cfg.h"

#include <locale.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/file.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/str.h"

static char **arguments = nullptr;
static int32_t argumentCount = 0;

int SYS_CfgAdd(const char *text)
{
  errClear();
  if (!text)
    return errSetLastError(10), -1;
  char **vector = static_cast<char **>(SYS_MemGet((argumentCount + 1) * sizeof(char *), "SYS_CfgAdd"));
  char *copy = SYS_StrDup(text);
  if (!vector || !copy) {
    SYS_MemFree(&vector);
    SYS_MemFree(&copy);
    return errSetLastError(5), -1;
  }
  if (argumentCount)
    std::memcpy(vector, arguments, argumentCount * sizeof(char *));
  vector[argumentCount] = copy;
  SYS_MemFree(&arguments);
  arguments = vector;
  argumentCount++;
  return 0;
}

int32_t SYS_CfgCount(void) { return argumentCount; }

const char *SYS_CfgArg(int32_t index) { return index >= 0 && index < argumentCount ? arguments[index] : nullptr; }

void SYS_CfgDone(void)
{
  for (int32_t i = 0; i < argumentCount; i++)
    SYS_MemFree(&arguments[i]);
  SYS_MemFree(&arguments);
  argumentCount = 0;
}

// ASCII comparison without regard to letter case, independent of the locale.
static bool sameName(const char *a, const char *b)
{
  for (;; a++, b++) {
    const unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
    if ((x | (x >= 'A' && x <= 'Z' ? 0x20 : 0)) != (y | (y >= 'A' && y <= 'Z' ? 0x20 : 0)))
      return false;
    if (!x)
      return true;
  }
}

intptr_t SYS_CfgGet(const char *name, int32_t kind)
{
  errClear();
  if (!name)
    return errSetLastError(10), -1;
  for (int32_t i = 0; i < argumentCount; i++) {
    const char *argument = arguments[i];
    if ((argument[0] != '-' && argument[0] != '/') || !sameName(argument + 1, name))
      continue;
    if (kind == 0)
      return 1;
    if (kind < 1 || kind > 3)
      continue;
    if (i + 1 >= argumentCount)
      return errSetLastError(10), -1;
    const char *value = arguments[i + 1];
    if (kind == 1)
      return reinterpret_cast<intptr_t>(value);
    if (kind == 2)
      return std::atoi(value);
    const double number = std::trunc(std::atof(value));
    // Out of range (or not a number) would be undefined as an int32; clamp it.
    if (!(number >= INT32_MIN))
      return number != number ? 0 : INT32_MIN;
    return number > INT32_MAX ? INT32_MAX : static_cast<int32_t>(number);
  }
  return 0;
}

namespace {
// Switches the calling thread to the "C" locale for the lifetime of the object.
class CLocale {
public:
  CLocale() : c_(newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0))), old_(c_ ? uselocale(c_) : nullptr) {}
  ~CLocale()
  {
    if (c_) {
      uselocale(old_);
      freelocale(c_);
    }
  }
  CLocale(const CLocale &) = delete;
  CLocale &operator=(const CLocale &) = delete;

private:
  locale_t c_;
  locale_t old_;
};

constexpr int32_t LINE_SIZE = 2048;

bool isTrue(const char *value) { return !std::strcmp(value, "yes") || !std::strcmp(value, "true") || !std::strcmp(value, "1"); }

// ownCopy: the text variable holds a copy this load made for an earlier line, which
// nobody else has seen, so a later line for the same name releases it.
void assign(const SYS_CFG_t &entry, const char *value, bool ownCopy)
{
  switch (entry.type) {
  case SYS_CFG_FLAG: *static_cast<int32_t *>(entry.variable) = isTrue(value); break;
  case SYS_CFG_TEXT:
    if (ownCopy)
      SYS_MemFree(static_cast<char **>(entry.variable));
    *static_cast<char **>(entry.variable) = SYS_StrDup(value);
    break;
  case SYS_CFG_INT: *static_cast<int32_t *>(entry.variable) = std::atoi(value); break;
  case SYS_CFG_FLOAT: *static_cast<float *>(entry.variable) = static_cast<float>(std::atof(value)); break;
  case SYS_CFG_CALLBACK:
    if (entry.variable)
      reinterpret_cast<SYS_CfgCallback_t>(entry.variable)(value);
    break;
  default: break;
  }
}
}  // namespace

int SYS_CfgLoad(const char *path, SYS_PCFG_t table)
{
  errClear();
  if (!path || !table)
    return errSetLastError(10), -1;
  CLocale locale;
  SYS_File_p file = SYS_FileOpen(path, SYS_FILE_TEXT);
  if (!file)
    return -1;
  SYS_DbgLevelPrintf(2, "[cfg][%s:%d:%s()] load config file: %s...\n", SYS_POS, path);
  char line[LINE_SIZE], name[LINE_SIZE], rest[LINE_SIZE], value[LINE_SIZE];
  int32_t loaded = 0;
  std::vector<bool> copied;  // per table entry: holds a text copy made by this load
  while (SYS_FileGetStr(file, line, LINE_SIZE)) {
    if (!*line)
      continue;
    SYS_StrSwap(line, '#', '\0');
    if (!*line)
      continue;
    SYS_StrSwap(line, '\t', ' ');
    SYS_TrimLeft(line);
    SYS_Cut(line, name, '=', 0);
    SYS_StrSwap(name, ' ', '\0');
    SYS_Cut(line, rest, '=', 1);
    SYS_Cut(rest, value, '"', 1);
    for (SYS_PCFG_t entry = table; entry->name; entry++)
      if (!std::strcmp(entry->name, name)) {
        const size_t index = size_t(entry - table);
        if (copied.size() <= index)
          copied.resize(index + 1, false);
        assign(*entry, value, copied[index]);
        copied[index] = entry->type == SYS_CFG_TEXT;
      }
    loaded++;
  }
  SYS_FileClose(file);
  SYS_DbgLevelPrintf(2, "[cfg][%s:%d:%s()] ...%d variables loaded.\n", SYS_POS, loaded);
  return 0;
}

int SYS_CfgSave(const char *path, SYS_PCFG_t table)
{
  errClear();
  if (!path || !table)
    return errSetLastError(10), -1;
  CLocale locale;
  SYS_File_p file = SYS_FileOpen(path, SYS_FILE_TEXT | SYS_FILE_WRITE);
  if (!file)
    return -1;
  SYS_DbgLevelPrintf(2, "[cfg][%s:%d:%s()] save config file: %s...\n", SYS_POS, path);
  int32_t saved = 0;
  for (SYS_PCFG_t entry = table; entry->name; entry++) {
    if (entry->enable && !*entry->enable)
      continue;
    switch (entry->type) {
    case SYS_CFG_FLAG:
      SYS_FilePutStr(file, "%s = \"%s\"\n", entry->name, *static_cast<int32_t *>(entry->variable) ? "true" : "false");
      break;
    case SYS_CFG_TEXT:
      if (const char *text = *static_cast<char **>(entry->variable))
        SYS_FilePutStr(file, "%s = \"%s\"\n", entry->name, text);
      break;
    case SYS_CFG_INT: SYS_FilePutStr(file, "%s = \"%d\"\n", entry->name, *static_cast<int32_t *>(entry->variable)); break;
    case SYS_CFG_FLOAT:
      SYS_FilePutStr(file, "%s = \"%f\"\n", entry->name, static_cast<double>(*static_cast<float *>(entry->variable)));
      break;
    default: break;
    }
    saved++;
  }
  SYS_FileClose(file);
  SYS_DbgLevelPrintf(2, "[cfg][%s:%d:%s()] ... saved %d variable.\n", SYS_POS, saved);
  return 0;
}
