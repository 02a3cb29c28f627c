// Callback XML reader for the dialog descriptions: elements, attributes in double
// quotes, nested elements and text; processing instructions are skipped. No entity
// decoding, comments, CDATA or validation.
// Depends on: file (mode 1), mem, log.
#pragma once

#include <cstdint>

extern "C" {

typedef struct SYS_XML_s SYS_XML_t;

// Name, names and values are valid during the call only.
typedef void (*SYS_XMLStart_t)(SYS_XML_t *xml, const char *name, int32_t count, char **names,
                               char **values);
typedef void (*SYS_XMLText_t)(SYS_XML_t *xml, const char *name, int32_t count, char **names,
                              char **values, const char *text);
typedef void (*SYS_XMLEnd_t)(SYS_XML_t *xml, const char *name);

enum { SYS_XML_MEMORY = 0, SYS_XML_FILE = 1 };

struct SYS_XML_s {
  SYS_XMLStart_t start;
  SYS_XMLText_t text;
  SYS_XMLEnd_t end;
  int32_t mode;    // SYS_XML_MEMORY or SYS_XML_FILE
  char *document;  // tracked: the whole document
  char *path;      // tracked copy of the file path (mode 1), else null
  int32_t count;   // attributes of the tag last parsed
  char **names;
  char **values;
  void *user;  // the caller's pointer, set with SYS_XMLSetCB
  int32_t capacity;  // entries allocated in names and values
};

// mode 0: source is the document text; mode 1: source is a path for SYS_FileOpen.
// A file that opens but fails to read gives null with error 3, which reaches the
// error callback with the path as a failed open does.
SYS_XML_t *SYS_XMLOpen(int32_t mode, const char *source);
int SYS_XMLSetCB(SYS_XML_t *xml, SYS_XMLStart_t start, SYS_XMLText_t text, SYS_XMLEnd_t end, void *user);
int SYS_XMLParse(SYS_XML_t *xml);
int SYS_XMLClose(SYS_XML_t *xml);

}  // extern "C"
