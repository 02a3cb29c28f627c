// Callback XML reader: loads a whole document (from memory or through the file
// layer), then walks it tag by tag and hands each tag's name and attributes to the
// caller's start, text and end callbacks.
//
// The walk never trusts the document: every search is bounded by the document's
// length, a tag without its closing ">" ends the walk, and an attribute without its
// "=" or its two double quotes ends the attribute list of that tag. Unbalanced or
// misnested elements are not noticed; the widget loader does not need them to be.
// Depends on: file (SYS_FileOpen & co), mem, log.
#include "base/xml.h"

#include <cstring>
#include <string_view>

#include "base/file.h"
#include "base/log.h"
#include "base/mem.h"

namespace {

#define XML_LOG(...) SYS_DbgLevelPrintf(SYS_DBG_LEVEL(SYS_DbgOpt.xml), __VA_ARGS__)

// Documents are handled with 32-bit sizes; a larger one is refused as out of memory.
constexpr size_t kMaxDocument = 0x3FFFFFFF;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// A tracked copy of `length` bytes of `text`, terminated.
char *DupRange(const char *text, size_t length, const char *tag) {
  char *copy = (char *)SYS_MemGet(length + 1, tag);
  if (copy) memcpy(copy, text, length);
  return copy;
}

// Releases the texts of the last tag; the arrays are kept for the next tag unless
// `arrays` is set, which saves two allocations per tag.
void ReleaseAttributes(SYS_XML_t *x, bool arrays) {
  for (int32_t i = 0; i < x->count; i++) {
    SYS_MemFree(&x->names[i]);
    SYS_MemFree(&x->values[i]);
  }
  x->count = 0;
  if (!arrays) return;
  SYS_MemFree(&x->names);
  SYS_MemFree(&x->values);
  x->capacity = 0;
}

// Appends one attribute, growing the arrays by doubling; false when memory runs out.
bool AddAttribute(SYS_XML_t *x, std::string_view name, std::string_view value) {
  if (x->count == x->capacity) {
    if (x->capacity > (1 << 24)) return false;
    int32_t cap = x->capacity ? x->capacity * 2 : 8;
    char **names = x->names, **values = x->values;
    if (!SYS_MemRealloc(&names, (size_t)cap * sizeof(char *), "XML attrs")) return false;
    x->names = names;
    if (!SYS_MemRealloc(&values, (size_t)cap * sizeof(char *), "XML values")) return false;
    x->values = values;
    x->capacity = cap;
  }
  char *n = DupRange(name.data(), name.size(), "XML attr");
  char *v = DupRange(value.data(), value.size(), "XML value");
  if (!n || !v) {
    SYS_MemFree(&n);
    SYS_MemFree(&v);
    return false;
  }
  for (char *p = n; *p; p++)
    if (IsSpace(*p)) *p = ' ';
  x->names[x->count] = n;
  x->values[x->count] = v;
  x->count++;
  return true;
}

// Parses one tag, from "<" to ">" inclusive: its name into `name` (room for the
// tag's length plus one) and its attributes into the handle. -1 when memory ran out.
int ParseTag(SYS_XML_t *x, std::string_view tag, char *name) {
  size_t i = 0, n = 0;
  for (; i < tag.size(); i++) {
    char c = tag[i];
    if (c == '<' || c == '/') continue;
    if (IsSpace(c) || c == '>') break;
    name[n++] = c;
  }
  name[n] = 0;

  ReleaseAttributes(x, false);
  while (i < tag.size()) {
    char c = tag[i];
    if (IsSpace(c)) {
      i++;
      continue;
    }
    if (c == '/' || c == '>') break;
    size_t eq = tag.find('=', i);
    if (eq == std::string_view::npos) break;
    size_t open = tag.find('"', eq + 1);
    if (open == std::string_view::npos) break;
    size_t close = tag.find('"', open + 1);
    if (close == std::string_view::npos) break;

    // The name: line breaks and tabs count as blanks, blanks around it go.
    std::string_view raw = tag.substr(i, eq - i);
    size_t b = 0, e = raw.size();
    while (b < e && IsSpace(raw[b])) b++;
    while (e > b && IsSpace(raw[e - 1])) e--;
    if (!AddAttribute(x, raw.substr(b, e - b), tag.substr(open + 1, close - open - 1))) return -1;
    i = close + 1;
  }
  return 0;
}

}  // namespace

extern "C" SYS_XML_t *SYS_XMLOpen(int32_t mode, const char *source) {
  errClear();
  if ((mode != SYS_XML_MEMORY && mode != SYS_XML_FILE) || !source) return errSetLastError(10), nullptr;
  SYS_XML_t *x = (SYS_XML_t *)SYS_MemGet(sizeof(SYS_XML_t), "new xml handle");
  if (!x) return errSetLastError(5), nullptr;
  x->mode = mode;

  if (mode == SYS_XML_MEMORY) {
    XML_LOG("[xml][%s:%d:%s()] open input buffer: %p\n", SYS_POS, (const void *)source);
    size_t len = strlen(source);
    if (len > kMaxDocument || !(x->document = DupRange(source, len, "buffer"))) {
      SYS_MemFree(&x);
      return errSetLastError(5), nullptr;
    }
    return x;
  }

  SYS_File_p f = SYS_FileOpen(source, 0x08);
  XML_LOG("[xml][%s:%d:%s()] open input file: %s\n", SYS_POS, source);
  if (!f) {
    SYS_MemFree(&x);
    return nullptr;  // the file layer has set the error and told the error callback
  }
  // Read to the end rather than trusting a size known at open: a text-mode size
  // need not match what the reads deliver.
  size_t cap = 4096, len = 0;
  char *doc = (char *)SYS_MemGet(cap + 1, "buffer");
  bool readError = false;
  while (doc) {
    int32_t n = SYS_FileRead(f, doc + len, (int32_t)(cap - len));
    // Nothing read short of the end is a read error, not the end of the document.
    if (n < 0 || (n == 0 && !SYS_FileEof(f))) readError = true;
    if (n <= 0) break;
    len += (size_t)n;
    if (len < cap) continue;
    if (cap >= kMaxDocument) {
      SYS_MemFree(&doc);
      break;
    }
    cap = cap * 2 > kMaxDocument ? kMaxDocument : cap * 2;
    if (!SYS_MemRealloc(&doc, cap + 1, "buffer")) SYS_MemFree(&doc);
  }
  SYS_FileClose(f);
  if (readError) {
    SYS_MemFree(&doc);
    SYS_MemFree(&x);
    XML_LOG("[xml][%s:%d:%s()] read error: %s\n", SYS_POS, source);
    // Told like a file that does not open, so the caller's error path is the same.
    errSetLastErrorEx(3, source);
    return nullptr;
  }
  if (!doc || !(x->path = SYS_StrDup(source))) {
    SYS_MemFree(&doc);
    SYS_MemFree(&x);
    return errSetLastError(5), nullptr;
  }
  doc[len] = 0;
  x->document = doc;
  return x;
}

extern "C" int SYS_XMLSetCB(SYS_XML_t *x, SYS_XMLStart_t start, SYS_XMLText_t text, SYS_XMLEnd_t end,
                            void *user) {
  errClear();
  if (!x) return errSetLastError(10), -1;
  x->start = start;
  x->text = text;
  x->end = end;
  x->user = user;
  return 0;
}

extern "C" int SYS_XMLParse(SYS_XML_t *x) {
  errClear();
  if (!x || !x->document) return errSetLastError(10), -1;
  // A NUL byte inside a file ends its document.
  const std::string_view doc(x->document, strlen(x->document));
  char *name = (char *)SYS_MemGet(doc.size() + 1, "XML tag buffer");
  char *value = (char *)SYS_MemGet(doc.size() + 1, "XML value buffer");
  int rc = 0;
  if (!name || !value) rc = -1;

  constexpr size_t npos = std::string_view::npos;
  size_t cursor = 0;
  while (rc == 0) {
    size_t lt = doc.find('<', cursor);
    if (lt == npos) break;
    size_t gt = doc.find('>', lt + 1);
    if (gt == npos) break;
    std::string_view tag = doc.substr(lt, gt - lt + 1);
    cursor = gt + 1;

    if (tag[1] == '/') {
      if (x->end) {
        if (ParseTag(x, tag, name) < 0) rc = -1;
        else x->end(x, name);
      }
    } else if (tag[1] == '?') {
      // processing instruction: skipped
    } else if (tag[tag.size() - 2] == '/') {
      if (ParseTag(x, tag, name) < 0) {
        rc = -1;
        break;
      }
      if (x->start) x->start(x, name, x->count, x->names, x->values);
      if (x->end) x->end(x, name);
    } else {
      if (ParseTag(x, tag, name) < 0) {
        rc = -1;
        break;
      }
      if (x->start) x->start(x, name, x->count, x->names, x->values);
      size_t next = doc.find('<', gt + 1);
      if (next == npos) break;
      if (x->text) {
        memcpy(value, doc.data() + gt + 1, next - gt - 1);
        value[next - gt - 1] = 0;
        x->text(x, name, x->count, x->names, x->values, value);
      }
      cursor = next;
    }
  }
  SYS_MemFree(&name);
  SYS_MemFree(&value);
  if (rc < 0) return errSetLastError(5), -1;
  return 0;
}

extern "C" int SYS_XMLClose(SYS_XML_t *x) {
  errClear();
  if (!x) return errSetLastError(10), -1;
  ReleaseAttributes(x, true);
  SYS_MemFree(&x->document);
  SYS_MemFree(&x->path);
  SYS_MemFree(&x);
  return 0;
}
