// String routines: in-place character swap, trimming, fields, percent coding,
// substring replacement, ASCII case.
//
// Texts are zero-terminated bytes; nothing here knows multi-byte encodings. Only
// SYS_StrRep touches the last error.
// Depends on: mem (SYS_StrRep's result, the field companions' copy), log (errors).
#pragma once

#include <cstdint>

extern "C" {

char *SYS_StrSwap(char *text, char from, char to);
char *SYS_TrimLeft(char *text);
char *SYS_Trim(char *text);
int32_t SYS_Items(const char *text, char character);
// Field n of text split at separator into out (as long as text + 1). Fields are the
// texts between separators; one separator at the very start is skipped for field 0.
char *SYS_Cut(const char *text, char *out, char separator, int32_t n);
int32_t SYS_Cuti(const char *text, char separator, int32_t n);
uint32_t SYS_Cutu(const char *text, char separator, int32_t n);
float SYS_Cutf(const char *text, char separator, int32_t n);
// out has room for 3 * strlen(text) + 1.
char *SYS_Str2Uri(const char *text, char *out);
// out has room for strlen(text) + 1.
char *SYS_Uri2Str(const char *text, char *out);
// New tracked text with every pattern replaced; null with error 10 or 5.
char *SYS_StrRep(const char *text, const char *pattern, const char *replacement);
char *SYS_StrLwr(char *text);
char *SYS_StrUpr(char *text);

}  // extern "C"
