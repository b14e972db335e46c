// INI-file profiles with the platform's semantics.
//
// Sections and keys match case-insensitively (ASCII) and ignoring surrounding blanks; the
// first section of a name counts. Lines starting with ';' are comments. Values are trimmed
// and lose one pair of surrounding quotes ("..." or '...') when read. Everything a write does
// not touch (comments, unknown lines, other sections, their order and the file's line ends)
// is kept. Writes take the lock beside the file and replace it atomically (AfxEditFileLocked),
// so two processes never lose each other's entries. A new file uses CR LF line ends.
// A file name without '/' lives in AfxGetConfigFolder() (the platform put such files in its
// own folder), which is created when a write needs it.
#pragma once

#include "framework/cstring.h"
#include "framework/framework_export.h"
#include "framework/types.h"

// section null: every section name; key null: every key of the section. Lists are names
// each followed by a NUL, with one more NUL at the end; a list cut short by the buffer ends in
// two NULs and returns size - 2. A single value cut short returns size - 1. A missing key
// gives the default (null: "") with trailing blanks removed. Returns the characters copied
// without the terminator.
FRAMEWORK_API DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                               char* buffer, DWORD size, const char* fileName);
// A leading decimal integer (sign allowed) of the value; the default when the key is
// missing or the value does not start with a number.
FRAMEWORK_API UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue, const char* fileName);
// key null deletes the section with its lines; value null deletes the key; otherwise the
// key is set ("key=value"), replacing its line in place or adding it at the end of the
// section, which is added at the end of the file when missing. section null: with key and
// value null too it only reports success (nothing is cached), else ERROR_INVALID_PARAMETER.
// Names or values holding CR or LF, a key holding '=' or starting with '[' or ';', and a
// section holding ']' are refused (ERROR_INVALID_PARAMETER): they would change other lines.
FRAMEWORK_API BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* fileName);

// Full path of a profile file name, as the functions above resolve it.
FRAMEWORK_API CString AfxResolveProfilePath(const char* fileName);
