// Disk handler of the file layer ("Regular file handler"): C stdio streams.
// Depends on: file (records), log, mem, platform/fs.
#pragma once

#include "base/file.h"

extern const SYS_FileHandler_t SYS_RegularFileHandler;

// The disk handler's entries, shared with the directory-pack handler.
int SYS_FileOpen_reg(SYS_File_t *file);
// Opens the disk file at diskPath into file (whose path and flags are set).
int SYS_FileOpenAt_reg(SYS_File_t *file, const char *diskPath);
int SYS_FileSeek_reg(SYS_File_t *file, int32_t position);
int32_t SYS_FileRead_reg(SYS_File_t *file, void *buffer, int32_t length);
char *SYS_FileGetStr_reg(SYS_File_t *file, char *buffer, int32_t size);
int SYS_FilePutStr_reg(SYS_File_t *file, const char *text);
int SYS_FileWrite_reg(SYS_File_t *file, const void *data, int32_t length);
int SYS_FileEof_reg(SYS_File_t *file);
int32_t SYS_FileTell_reg(SYS_File_t *file);
void SYS_FileClose_reg(SYS_File_t *file);
int SYS_FileExist_reg(const char *path);
int32_t SYS_FileSize_reg(const char *path);
// Its size however large, or -1.
int64_t SYS_FileSize64_reg(const char *path);
