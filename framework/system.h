// System services with the platform's names: ticks and clock, time zone and locale formats,
// random bytes, the platform version, temporary names and folders, the last-error word,
// loadable libraries, starting programs, the per-user folders and whole-file replacement.
//
// Error numbers: every function here that fails sets the calling thread's last error
// (GetLastError) to the platform's error number, translated from the C library's errno by
// AfxErrnoToWin32Error (ENOENT gives ERROR_FILE_NOT_FOUND, EACCES ERROR_ACCESS_DENIED, ...).
// An errno without a counterpart is given as 0x20000000 | errno, so it never looks like one.
#pragma once

#include "framework/cstring.h"
#include "framework/framework_export.h"
#include "framework/types.h"

#include <functional>
#include <string>
#include <vector>

// ---- Error numbers --------------------------------------------------------------------
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_OUTOFMEMORY = 14;
constexpr DWORD ERROR_WRITE_PROTECT = 19;
constexpr DWORD ERROR_SEEK = 25;
constexpr DWORD ERROR_WRITE_FAULT = 29;
constexpr DWORD ERROR_READ_FAULT = 30;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_LOCK_VIOLATION = 33;
constexpr DWORD ERROR_HANDLE_DISK_FULL = 39;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_BROKEN_PIPE = 109;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_CALL_NOT_IMPLEMENTED = 120;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_BAD_PATHNAME = 161;
constexpr DWORD ERROR_BUSY = 170;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_DIRECTORY = 267;
constexpr DWORD ERROR_BADDB = 1009;
constexpr DWORD ERROR_BADKEY = 1010;
constexpr DWORD ERROR_CANTREAD = 1012;
constexpr DWORD ERROR_CANTWRITE = 1013;
constexpr DWORD ERROR_KEY_DELETED = 1018;
constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_INVALID_THREAD_ID = 1444;
constexpr DWORD ERROR_TIMEOUT = 1460;

FRAMEWORK_API DWORD GetLastError();
FRAMEWORK_API void SetLastError(DWORD error);
FRAMEWORK_API DWORD AfxErrnoToWin32Error(int err);

// ---- Ticks, clock and time zone ---------------------------------------------------------

// Milliseconds of a monotonic clock, wrapping at 2^32 (about 49.7 days) like the platform's.
FRAMEWORK_API DWORD GetTickCount();

struct FRAMEWORK_API SYSTEMTIME {
    WORD wYear;
    WORD wMonth;        // 1-12
    WORD wDayOfWeek;    // 0 = Sunday
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

FRAMEWORK_API void GetSystemTime(SYSTEMTIME* time);   // universal time
FRAMEWORK_API void GetLocalTime(SYSTEMTIME* time);    // the system's local time (TZ), daylight saving included

// Minutes to add to local time to get universal time, for the local zone as it stands now
// (daylight saving included): UTC+1 gives -60, UTC-5 gives 300.
FRAMEWORK_API LONG AfxGetTimeZoneBias();

// The date and time as the user's locale (LC_ALL / LC_TIME / LANG) writes them, with the
// locale's day and month names. The weekday is computed from the date, never taken from
// wDayOfWeek. Long date: the order of the locale's short date decides the form:
//   month first (the C locale, en_US)  "%A, %B %d, %Y"   Tuesday, December 31, 1996
//   year first                         "%Y %B %d, %A"
//   day first                          "%A, %d %B %Y"   (or "%A, %d. %B %Y" when the
//                                                         locale's short date uses dots)
// Time: the locale's time format (C locale "%H:%M:%S"); without seconds the seconds field
// and the separator before it are left out ("23:59").
FRAMEWORK_API CString AfxFormatLongDate(const SYSTEMTIME& time);
FRAMEWORK_API CString AfxFormatTime(const SYSTEMTIME& time, BOOL withSeconds);

// ---- Random bytes -----------------------------------------------------------------------

// Fills the buffer from the operating system's random source; FALSE only when no source works.
FRAMEWORK_API BOOL AfxGetOSRandomBytes(void* buffer, size_t count);

// ---- Process limits ---------------------------------------------------------------------

// TRUE when the process's address space is limited (RLIMIT_AS): what more threads reserve
// (their stacks, their allocation arenas) is then taken from what the work may use.
FRAMEWORK_API BOOL AfxIsAddressSpaceLimited();

// ---- Platform version -------------------------------------------------------------------

constexpr DWORD VER_PLATFORM_WIN32s = 0;          // the 16-bit-hosted subset
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

struct FRAMEWORK_API OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;   // set by the caller to sizeof(OSVERSIONINFOA)
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char szCSDVersion[128];
};

// Fills in the kernel's version with platform VER_PLATFORM_WIN32_NT (or the forced id).
// FALSE (ERROR_INSUFFICIENT_BUFFER) when dwOSVersionInfoSize is too small.
FRAMEWORK_API BOOL GetVersionExA(OSVERSIONINFOA* info);
// TRUE on the 16-bit-hosted subset, as GetVersionExA reports the platform (forced or not).
inline BOOL AfxIsWin32s()
{
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32s;
}
// Makes GetVersionExA report the given platform id; -1 reports the real one again.
FRAMEWORK_API void AfxForcePlatformId(int id);

// ---- Paths, temporary names and folders --------------------------------------------------
// Paths use '/' as separator. Buffers follow the platform's conventions: a function that
// fills a buffer returns the length written without the terminator, or, when the buffer is
// too small, the size needed including the terminator; 0 means failure.

constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x02;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

// $TMPDIR (when it names a folder) or /tmp, with a trailing '/'.
FRAMEWORK_API DWORD GetTempPathA(DWORD bufferLength, char* buffer);
// out (at least _MAX_PATH bytes) receives path + '/' + up to 3 characters of prefix + the
// number in upper-case hex + ".TMP". unique 0: a number is chosen and the file is created
// empty (owner-only) so the name is reserved; the number is returned. unique nonzero: the
// name is only formed (its low 16 bits are used) and unique is returned. 0 on failure.
FRAMEWORK_API UINT GetTempFileNameA(const char* path, const char* prefix, UINT unique, char* out);
// Creates one folder, readable by the owner only: folders of this program hold decrypted
// mail and scratch streams. The security argument is ignored. Fails with
// ERROR_ALREADY_EXISTS when the name exists.
FRAMEWORK_API BOOL CreateDirectoryA(const char* path, void* security);
FRAMEWORK_API BOOL RemoveDirectoryA(const char* path);      // an empty folder
FRAMEWORK_API BOOL DeleteFileA(const char* path);           // not a folder
FRAMEWORK_API BOOL MoveFileA(const char* from, const char* to);   // fails when `to` exists
FRAMEWORK_API DWORD GetCurrentDirectoryA(DWORD bufferLength, char* buffer);
FRAMEWORK_API BOOL SetCurrentDirectoryA(const char* path);
// FILE_ATTRIBUTE_DIRECTORY for folders, FILE_ATTRIBUTE_ARCHIVE for other files, plus
// FILE_ATTRIBUTE_READONLY when the file cannot be written and FILE_ATTRIBUTE_HIDDEN for a
// name starting with '.'; INVALID_FILE_ATTRIBUTES when it does not exist.
FRAMEWORK_API DWORD GetFileAttributesA(const char* path);
// The folder that stands for the system folder: $XDG_DATA_HOME/quillmar/system (default
// ~/.local/share/quillmar/system), created on demand; no trailing '/'.
FRAMEWORK_API UINT GetSystemDirectoryA(char* buffer, UINT size);

// Per-user folders, without trailing '/': $XDG_CONFIG_HOME/quillmar (default
// ~/.config/quillmar; not created here) and the runtime folder for sockets,
// $XDG_RUNTIME_DIR/quillmar or else /tmp/quillmar-<uid>, created owner-only on demand and
// refused (empty result) when it is not ours or open to others.
FRAMEWORK_API CString AfxGetConfigFolder();
FRAMEWORK_API CString AfxGetRuntimeFolder();
// The user's data folder, $XDG_DATA_HOME or ~/.local/share (the desktop's file types and
// programs are registered under it); not created here.
FRAMEWORK_API CString AfxGetUserDataFolder();
// The user's home folder: $HOME when it is an absolute path, else the one the user database
// gives, else "/"; no trailing '/' unless it is "/".
FRAMEWORK_API CString AfxGetHomeFolder();
// Creates the folder and its missing parents (new ones with the given mode).
FRAMEWORK_API BOOL AfxCreateFolderPath(const char* path, UINT mode = 0700);

// ---- Whole files -------------------------------------------------------------------------

// Reads a whole file; FALSE with the last error set when it cannot (ERROR_FILE_NOT_FOUND
// when it does not exist, ERROR_NOT_ENOUGH_MEMORY when it is larger than `limit`).
FRAMEWORK_API BOOL AfxReadWholeFile(const char* path, std::string& content, size_t limit = 64u << 20);

// Changes a small file that several of our processes may change at once. Under an exclusive
// advisory lock on "<path>.lock" the file is read afresh (empty and exists = FALSE when
// missing), `edit` changes the text, and the new text goes to "<path>.tmp", is flushed to
// disk and renamed over the file, so readers see the old or the new file, never a mix, and a
// crash leaves the old one. A symbolic link is followed and its target replaced. A new file
// gets `mode`, a replaced one keeps its own. `edit` returns ERROR_SUCCESS to write,
// AFX_EDIT_UNCHANGED to leave the file alone (the call then returns ERROR_SUCCESS), or an
// error number that is returned unchanged without writing. The folder must exist.
constexpr DWORD AFX_EDIT_UNCHANGED = 0xFFFFFFFFu;
using AfxFileEdit = std::function<DWORD(std::string& content, BOOL exists)>;
FRAMEWORK_API DWORD AfxEditFileLocked(const char* path, const AfxFileEdit& edit, UINT mode = 0600);

// ---- Loadable libraries ------------------------------------------------------------------

struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;

// Loads a shared library. A name with a '/' is loaded as it is. A bare name is looked for
// in GetSystemDirectoryA's folder and then on the system's library path, as given and, for
// a name ending in ".dll", as "lib<stem>.so" and "<stem>.so" (stem also lower-cased).
// Null with ERROR_MOD_NOT_FOUND when nothing loads; AfxGetLibraryError tells why.
FRAMEWORK_API HMODULE LoadLibraryA(const char* name);
FRAMEWORK_API void* GetProcAddress(HMODULE module, const char* name);   // null: ERROR_PROC_NOT_FOUND
FRAMEWORK_API BOOL FreeLibrary(HMODULE module);
FRAMEWORK_API CString AfxGetLibraryError();           // the loader's text of the calling thread's last failure
// Path of the running program (module null) or of a loaded library.
FRAMEWORK_API DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size);
// Path of the program or library that holds the given code or data address; empty if none.
FRAMEWORK_API CString AfxGetModulePathOf(const void* address);

// ---- Programs ------------------------------------------------------------------------------

FRAMEWORK_API DWORD GetCurrentProcessId();

// Splits a command line as the platform's programs do: blanks separate arguments, double
// quotes group (a doubled quote inside quotes is a literal one), 2n backslashes before a
// quote give n and toggle quoting, 2n+1 give n and a literal quote; other backslashes are
// ordinary characters.
FRAMEWORK_API std::vector<std::string> AfxSplitCommandLine(const char* commandLine);
// Joins arguments back into one command line, quoting those with blanks or quotes.
FRAMEWORK_API CString AfxJoinCommandLine(const std::vector<std::string>& args);

// Starts the program named by the first argument of commandLine (a name without '/' is
// looked for on PATH), with the remaining arguments, in `directory` (null: the current
// one), inheriting the standard streams. With wait, returns once the program has ended and
// stores its exit status (128 + signal number when a signal ended it) in *exitCode. Without
// wait, returns once the program runs; it is not left as a zombie. FALSE with the last
// error set when it cannot start: ERROR_FILE_NOT_FOUND for a missing program,
// ERROR_ACCESS_DENIED when not executable, ERROR_BAD_EXE_FORMAT, ERROR_DIRECTORY for a
// working folder that cannot be entered, ERROR_INVALID_PARAMETER for an empty command line.
FRAMEWORK_API BOOL AfxStartProcess(const char* commandLine, const char* directory, DWORD* exitCode, BOOL wait);
