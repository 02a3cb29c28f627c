// String routines on zero-terminated bytes.
// Depends on: mem (tracked results and copies), log (last error of SYS_StrRep).
#include "base/str.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "base/log.h"
#include "base/mem.h"

char *SYS_StrSwap(char *text, char from, char to)
{
  if (!text)
    return text;
  for (char *p = text; *p; p++) {
    if (*p == from) {
      *p = to;
      if (!to)
        break;
    }
  }
  return text;
}

char *SYS_TrimLeft(char *text)
{
  if (!text)
    return nullptr;
  size_t skip = 0;
  while (text[skip] == ' ')
    skip++;
  if (skip)
    std::memmove(text, text + skip, std::strlen(text + skip) + 1);
  return text;
}

char *SYS_Trim(char *text)
{
  if (!SYS_TrimLeft(text))
    return nullptr;
  size_t length = std::strlen(text);
  while (length && text[length - 1] == ' ')
    text[--length] = '\0';
  return text;
}

int32_t SYS_Items(const char *text, char character)
{
  int32_t count = 0;
  if (text && character)
    for (const char *p = text; *p; p++)
      count += *p == character;
  return count;
}

char *SYS_Cut(const char *text, char *out, char separator, int32_t n)
{
  if (!text || !out || !separator)
    return nullptr;
  *out = '\0';
  if (n < 0)
    return out;
  const char *p = text;
  if (n == 0 && *p == separator)
    p++;
  for (int32_t seen = 0; seen < n; p++) {
    if (!*p)
      return out;
    seen += *p == separator;
  }
  char *o = out;
  while (*p && *p != separator)
    *o++ = *p++;
  *o = '\0';
  return out;
}

// Field n as a text in a tracked copy, or the whole text for separator 0; null when
// text is null or memory runs out. The caller releases the copy.
static char *field(const char *text, char separator, int32_t n)
{
  char *copy = SYS_StrDup(text);
  if (copy && separator)
    SYS_Cut(text, copy, separator, n);
  return copy;
}

int32_t SYS_Cuti(const char *text, char separator, int32_t n)
{
  char *f = field(text, separator, n);
  const int32_t value = f ? std::atoi(f) : 0;
  SYS_MemFree(&f);
  return value;
}

uint32_t SYS_Cutu(const char *text, char separator, int32_t n)
{
  char *f = field(text, separator, n);
  const uint32_t value = f ? static_cast<uint32_t>(std::strtoul(f, nullptr, 10)) : 0;
  SYS_MemFree(&f);
  return value;
}

float SYS_Cutf(const char *text, char separator, int32_t n)
{
  char *f = field(text, separator, n);
  const float value = f ? static_cast<float>(std::atof(f)) : 0.0f;
  SYS_MemFree(&f);
  return value;
}

char *SYS_Str2Uri(const char *text, char *out)
{
  static constexpr char hex[] = "0123456789ABCDEF";
  if (!text || !out)
    return nullptr;
  if (!*text)
    return const_cast<char *>(text);  // out is left as it was
  char *o = out;
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; p++) {
    const unsigned char c = *p;
    if (c == '.' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
      *o++ = static_cast<char>(c);
    } else {
      *o++ = '%';
      *o++ = hex[c >> 4];
      *o++ = hex[c & 15];
    }
  }
  *o = '\0';
  return out;
}

// "0"-"9" give their digit, anything else its code minus 55 ("A" 10 ... "F" 15).
static int uriDigit(unsigned char c) { return c >= '0' && c <= '9' ? c - '0' : c - 55; }

char *SYS_Uri2Str(const char *text, char *out)
{
  if (!text || !out)
    return nullptr;
  if (!*text)
    return const_cast<char *>(text);  // out is left as it was
  char *o = out;
  const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
  while (*p) {
    // A "%" without two characters after it is copied as it stands.
    if (p[0] == '%' && p[1] && p[2]) {
      *o++ = static_cast<char>((16 * uriDigit(p[1]) + uriDigit(p[2])) & 0xFF);
      p += 3;
    } else {
      *o++ = static_cast<char>(*p++);
    }
  }
  *o = '\0';
  return out;
}

char *SYS_StrRep(const char *text, const char *pattern, const char *replacement)
{
  errClear();
  if (!text || !pattern || !replacement || !*pattern)
    return errSetLastError(10), nullptr;
  const size_t patternLength = std::strlen(pattern), replacementLength = std::strlen(replacement);
  size_t count = 0;
  for (const char *p = std::strstr(text, pattern); p; p = std::strstr(p + 1, pattern))
    count++;
  const size_t textLength = std::strlen(text);
  if (count && replacementLength > (static_cast<size_t>(INT32_MAX) - textLength - 1) / count)
    return errSetLastError(5), nullptr;
  const size_t size = textLength + replacementLength * count + 1;
  if (size > static_cast<size_t>(INT32_MAX))
    return errSetLastError(5), nullptr;
  char *result = static_cast<char *>(SYS_MemGet(size, "SYS_StrRep: new buffer"));
  if (!result)
    return errSetLastError(5), nullptr;
  char *o = result;
  for (const char *p = text; *p;) {
    if (!std::strncmp(p, pattern, patternLength)) {
      std::memcpy(o, replacement, replacementLength);
      o += replacementLength;
      p += patternLength;
    } else {
      *o++ = *p++;
    }
  }
  *o = '\0';
  return result;
}

char *SYS_StrLwr(char *text)
{
  if (text)
    for (char *p = text; *p; p++)
      if (*p >= 'A' && *p <= 'Z')
        *p = static_cast<char>(*p + ('a' - 'A'));
  return text;
}

char *SYS_StrUpr(char *text)
{
  if (text)
    for (char *p = text; *p; p++)
      if (*p >= 'a' && *p <= 'z')
        *p = static_cast<char>(*p - ('a' - 'A'));
  return text;
}
