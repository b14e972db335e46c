// File-system helpers the platform layer lacks elsewhere.
#pragma once

#include "framework/framework_export.h"
#include "framework/framework_export.h"
#include "framework/types.h"

#include <functional>
#include <string>
#include <vector>

// Deletes a folder with everything in it. Symbolic links inside are removed, never
// followed. FALSE with the last error set (GetLastError) when something could not be
// removed; what could be removed is gone.
FRAMEWORK_API FRAMEWORK_API BOOL AfxDeleteFolderTree(const char* path);

class CFile;

// A program that builds folders which must not outlive an interrupted run calls this first,
// before it starts any thread: SIGINT, SIGTERM and SIGHUP are then taken by a watcher thread,
// which removes the folders registered at that moment and ends the program by the same
// signal; SIGXFSZ is ignored, so that a file-size limit is an ordinary write error.
FRAMEWORK_API void AfxInstallInterruptCleanup();
// Registers a folder an interruption removes (a copy is kept), until it is taken back with
// AfxRemoveInterruptCleanupFolder under the same name; several may be registered at once.
FRAMEWORK_API void AfxAddInterruptCleanupFolder(const char* folder);
FRAMEWORK_API void AfxRemoveInterruptCleanupFolder(const char* folder);

// What a path names, its link followed: the kinds a program treats differently.
enum class AfxPathKind { missing, regular, folder, other, unknown };
// `size` gets a regular file's length, `osError` the error when it is missing or unknown
// (no permission to look, a loop of links...).
FRAMEWORK_API AfxPathKind AfxGetPathKind(const char* path, long long* size = nullptr, LONG* osError = nullptr);

// The names in a folder that are there as files or folders themselves (not links, devices
// or entries of a kind the folder does not tell), "." and ".." left out, in no order. FALSE
// with the last error set when the folder cannot be read.
FRAMEWORK_API BOOL AfxListPlainFolderEntries(const char* path, std::vector<std::string>& names);

// How AfxWriteFileSafely treats the name it writes to (one of the first two), and options.
constexpr UINT AFX_WRITE_REPLACE = 0x0;       // replaces what is there: a link itself, never its target
constexpr UINT AFX_WRITE_CREATE_ONLY = 0x1;   // refuses a taken name (a dangling link takes it too)
constexpr UINT AFX_WRITE_UMASK = 0x2;         // the umask narrows `mode`, as for any new file
constexpr UINT AFX_WRITE_SERIALISED = 0x4;    // the caller's lock keeps other writers of the file out

// Fills the new file; a failure is thrown as CException*.
using AfxFileWriter = std::function<void(CFile& file)>;

// Writes a file whole or not at all. A new temporary file beside `path` ("<path>.tmp", or
// "<path>.<8 hex digits>.tmp" while that name is taken; with AFX_WRITE_SERIALISED a
// "<path>.tmp" left by a writer that died is removed instead) is created with `mode` (exactly,
// unless AFX_WRITE_UMASK), never through a link; `write` fills it; it is flushed to disk and
// renamed to `path`, and the folder is flushed so that the rename lasts. `write` runs only
// once the temporary file exists: a caller can tell a file that could not be begun from one
// that could not be finished. Any failure removes the temporary file and leaves `path` as it
// was. ERROR_SUCCESS, or the error number (also set as the last error): ERROR_ALREADY_EXISTS
// when AFX_WRITE_CREATE_ONLY finds the name taken.
FRAMEWORK_API DWORD AfxWriteFileSafely(const char* path, const AfxFileWriter& write, UINT options = AFX_WRITE_REPLACE,
                                       UINT mode = 0600);
